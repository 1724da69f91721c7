#pragma once

#include <QString>

#include <functional>

/// Shows a message to the user: a text and a title. Supplied by the caller.
using ShowMessage = std::function<void(const QString &text, const QString &title)>;

/// The separator of folders in paths: the backslash on Windows, where a forward
/// slash is an ordinary character of the image name, and `/` elsewhere, where
/// a backslash is one.
#ifdef Q_OS_WIN
inline constexpr QChar nativeSeparator = u'\\';
#else
inline constexpr QChar nativeSeparator = u'/';
#endif

/** Converts the control file at \a path into cue sheet text, every line ending
    in CR LF, with the FILE line naming imageName(). Returns the empty text
    after telling the user why through \a showMessage when the file cannot be
    read or is not a single-session control file. */
QString ccdToCue(
    const QString &path, const ShowMessage &showMessage, QChar separator = nativeSeparator);

/** The name of the image that the control file at \a path goes with, as the
    cue sheet's FILE line names it without ".img": the part of \a path after
    its last \a separator, less its last four characters. */
QString imageName(const QString &path, QChar separator = nativeSeparator);

/** Reads a sector count as a control file writes it: a whole number from 0
    to 2147483647, optionally signed and surrounded by blanks. Returns -1 for
    anything else. */
qint64 sectorCount(QStringView sectors);

/** Writes a sector count as an MM:SS:FF time (75 frames a second). Returns
    the empty text for a count that sectorCount() never gives. */
QString sectorCountToMsf(qint64 sectors);

/** Turns a sector count as a control file writes it into an MM:SS:FF time
    (75 frames a second). Returns the empty text for anything but a whole
    number from 0 to 2147483647, optionally signed and surrounded by blanks. */
QString sectorsToMsf(const QString &sectors);

/** The .cue path of a control file chosen or dropped in the window: \a path
    with its last four characters replaced by ".cue". Only characters of the
    file name itself are dropped, so the result always lies in the same folder. */
QString cuePathForFile(const QString &path, QChar separator = nativeSeparator);

/// The control file and .cue paths that one command-line argument names.
struct CommandLinePaths
{
    QString inputPath;
    QString cuePath;
};

/** Reads one command-line argument: a path, with the double quotes around it
    removed when it still has them, and its .cue path by the same rule as
    cuePathForFile(). */
CommandLinePaths commandLinePaths(const QString &argument, QChar separator = nativeSeparator);

/** Replaces the file at \a path with \a text in the local 8-bit encoding plus
    CR LF, atomically: on failure the earlier file, if any, is left whole, and
    on Unix no temporary file is left behind, an interruption included.
    Returns false with the system's reason in \a error when it cannot. */
bool writeCueFile(const QString &path, const QString &text, QString *error);

/** Writes \a text to \a cuePath for the control file \a inputPath. Refuses,
    changing nothing, when \a cuePath leads to the control file or to the
    disc image that the cue sheet names (by any path or link), or is a
    symbolic link at all, dangling or not. Returns false after telling the
    user through \a showMessage ("File Error", naming the path and the reason). */
bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage);
