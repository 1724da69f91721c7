#pragma once

// What the writing of a .cue file shares between its platforms' files.

#include <QString>

#include <functional>

class QFileDevice;

namespace morvant {

/// Writes what a file beside the control file holds into the open \a file;
/// false with the reason in \a error.
using WriteContent = std::function<bool(QFileDevice &file, QString *error)>;

/// What the .cue's name leads to, as far as the writing may care.
struct CueTarget
{
    bool isControlFile = false; ///< by any path or link
    bool isImage = false; ///< the image that the cue sheet names, by any path or link
    bool isLink = false; ///< the name itself is a symbolic link
    bool leadsSomewhere = false; ///< to a file or folder that exists
    QString linkTarget; ///< of such a link, absolute
    /// The name of the existing file that the name leads to where that is
    /// another name, as a Windows short name leads to a long one
    QString otherName;
};

/** Why the cue sheet must not go to \a cue, or the empty text. */
QString writeRefusal(const CueTarget &cue);

/** Writes \a text to \a file in the system's 8-bit form, and CR LF after it;
    false with the reason in \a error when the file refuses a part, or when
    the code page cannot hold a character of \a text, which would be lost. */
bool writeText(QFileDevice &file, const QString &text, QString *error);

/** Replaces the file at \a path with what \a content writes, atomically, as
    writeCueFile() does with its text; false with the reason in \a error. */
bool writeFileAtomically(const QString &path, const WriteContent &content, QString *error);

/** Writes \a content to \a path, a file beside the control file \a inputPath
    (the .cue, or the .sbi beside it), as writeFileAtomically() does, unless
    writeRefusal() finds a reason not to; false with the reason in \a error.
    Each platform looks at the name and writes it in its own way. */
bool writeBeside(
    const QString &inputPath, const QString &path, const WriteContent &content, QString *error);

} // namespace morvant
