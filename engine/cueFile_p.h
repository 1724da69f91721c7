#pragma once

// What the writing of the files beside the control file shares between its
// platforms' files.

#include "fileToWrite.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QFileDevice;

namespace morvant {

/// A file that the files written must never be, with why not, as a refusal says it.
struct KeptFile
{
    QString path;
    QString refusal;
};

/// What the files written beside a control file must not be.
struct BesideControlFile
{
    QString controlFile; ///< the control file itself, by any path or link
    QList<KeptFile> kept; ///< the disc's own files, by any path or link
    /// On Windows, no path longer than programs without long paths open:
    /// a set of files that players and emulators open one by one
    bool isForShortPaths = false;
};

/// Why a set of files was not written: the file concerned, and the reason.
struct SetFailure
{
    qsizetype file = 0; ///< its index in the set
    QString reason;
};

/// What the name of a file to write leads to, as far as the writing may care.
struct WriteTarget
{
    bool isControlFile = false; ///< by any path or link
    QString keptRefusal; ///< of the kept file that it is, by any path or link
    bool isLink = false; ///< the name itself is a symbolic link
    bool leadsSomewhere = false; ///< to a file or folder that exists
    QString linkTarget; ///< of such a link, absolute
    /// The name of the existing file that the name leads to where that is
    /// another name, as a Windows short name leads to a long one
    QString otherName;
};

/** Why the file must not go to \a cue, or the empty text. */
QString writeRefusal(const WriteTarget &cue);

/** Why two files of a set are not written: the one concerned is the same
    file as \a other, which the set names too. */
QString sameFileRefusal(const QString &other);

/** What the error of a rename adds when files of the set before it were
    already renamed into place, or the earlier file of the set's last, which
    names the others, was taken away. */
QString partlyReplacedText();

/// Temporary files that interrupted writings left beside the files of a set.
struct Leftovers
{
    QStringList removed; ///< ours beyond doubt, and removed
    QStringList unknown; ///< that look like ours but cannot be told to be, left
};

/** Where set, called before the writing takes the earlier file of a set's
    last file away (with -1) and before it puts each file in place (with its
    index), so that the tests' helper program can end the writing there. The
    program itself never sets it. */
extern void (*beforeSetStepForTests)(qsizetype file);

/** Why a file whose full path is \a size characters long is not written
    where programs that do not read long paths open paths of at most \a most. */
QString pathLengthRefusal(qsizetype size, qsizetype most);

/** Why a name of \a size bytes is refused in a folder whose file system
    takes names of at most \a most bytes. */
QString nameLengthRefusal(qsizetype size, qsizetype most);

/** Why a set of more than maxFilesAtOnce files is not written. */
QString tooManyFilesRefusal();

/** Why \a files are not written when a folder of theirs has not room for
    them, checked by QStorageInfo before anything is written; the empty text
    when there is room, or when the system cannot tell. \a file is set to the
    first of the files in that folder. */
QString roomRefusal(const QList<FileToWrite> &files, qsizetype *file);

/** Writes \a text to \a file in the system's 8-bit form, and CR LF after it
    unless \a isLineEndAdded is false; false with the reason in \a error when
    the file refuses a part, or when the code page cannot hold a character of
    \a text, which would be lost. */
bool writeText(QFileDevice &file, const QString &text, QString *error, bool isLineEndAdded = true);

/** Replaces the file at \a path with what \a content writes, atomically, as
    writeCueFile() does with its text; false with the reason in \a error. */
bool writeFileAtomically(const QString &path, const WriteContent &content, QString *error);

/** Writes \a content to \a path, a file beside the control file \a inputPath
    (the .cue, or the .sbi beside it), as writeFileAtomically() does, unless
    writeRefusal() finds a reason not to, the disc image that the cue sheet
    names being kept; false with the reason in \a error. */
bool writeBeside(
    const QString &inputPath, const QString &path, const WriteContent &content, QString *error);

/** Writes \a files all or nothing, as writeFilesBeside() says, each replacing
    what stands at its path. With \a beside, none is written when
    writeRefusal() finds a reason not to write one of them; never when two of
    them are one file, or when roomRefusal() finds no room for them. False
    with the file concerned and the reason in \a failure. Each platform looks
    at the names and writes them in its own way; where it can tell the
    temporary files that an interrupted writing left in their folders, it
    removes them first and tells of them in \a leftovers. */
bool writeFileSet(const BesideControlFile *beside, const QList<FileToWrite> &files,
    SetFailure *failure, Leftovers *leftovers = nullptr);

/** Makes each platform's pending file of \a files (a \a Pending, made from
    its path, with whyNot(), isSameAs(), create() and write()) into \a
    pending, and writes each into it, after the checks that every platform
    makes before writing any: no more than maxFilesAtOnce, none that \a
    refusal (of its pending file) or its own whyNot() finds a reason not to
    write (its name's length and characters among them), no two that are one
    file, room for them all. \a prepare runs once the checks are passed and
    before the room is measured, so that what it frees counts. Every
    temporary file is created before the first content is called, so that
    none fails after bytes were written in vain. False with the file
    concerned and the reason in \a failure; putting them in place is the
    platform's. */
template <typename Pending, typename Refusal, typename Prepare>
bool writePendingFiles(const QList<FileToWrite> &files, const Refusal &refusal,
    const Prepare &prepare, std::vector<std::unique_ptr<Pending>> &pending, SetFailure *failure)
{
    if (files.size() > maxFilesAtOnce) {
        *failure = { maxFilesAtOnce, tooManyFilesRefusal() };
        return false;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        Pending &file = *pending.emplace_back(std::make_unique<Pending>(files[i].path));
        QString reason = refusal(file);
        if (reason.isEmpty())
            reason = file.whyNot();
        if (!reason.isEmpty()) {
            *failure = { i, reason };
            return false;
        }
    }
    for (qsizetype i = 1; i < files.size(); ++i) {
        for (qsizetype earlier = 0; earlier < i; ++earlier) {
            if (pending[std::size_t(i)]->isSameAs(*pending[std::size_t(earlier)])) {
                *failure = { i, sameFileRefusal(files[earlier].path) };
                return false;
            }
        }
    }
    if (!prepare(failure))
        return false;
    if (QString reason = roomRefusal(files, &failure->file); !reason.isEmpty()) {
        failure->reason = reason;
        return false;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!pending[std::size_t(i)]->create(&failure->reason)) {
            failure->file = i;
            return false;
        }
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!pending[std::size_t(i)]->write(files[i].content, &failure->reason)) {
            failure->file = i;
            return false;
        }
    }
    return true;
}

} // namespace morvant
