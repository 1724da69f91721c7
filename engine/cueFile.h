#pragma once

#include "basics.h"
#include "fileToWrite.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace morvant {

// The writing of the files beside the control file: the .cue, the .sbi, and
// a set of files (one per track and the .cue) written all or nothing.

/** What writes \a text as a cue sheet into a file: in the local 8-bit
    encoding, and CR LF after it. */
WriteContent cueSheetContent(const QString &text);

/** What writes \a text, a cue sheet whose every line ends in CR LF, into a
    file as it is, in the local 8-bit encoding: the sheet of the tracks'
    files, which the preservation DATs list ending in its last line's CR LF,
    and which emulators and frontends know by its checksum. */
WriteContent exactSheetContent(const QString &text);

/// What writes \a bytes into a file as they are, as the .sbi is written.
WriteContent bytesContent(const QByteArray &bytes);

/// The most files that writeFilesBeside() writes at once: 99 tracks and the .cue.
inline constexpr qsizetype maxFilesAtOnce = 100;

/** Replaces the file at \a path with \a text in the local 8-bit encoding plus
    CR LF, atomically: on failure the earlier file, if any, is left whole, and
    on Unix no temporary file is left behind, an interruption included.
    Returns false with the system's reason in \a error when it cannot. */
bool writeCueFile(const QString &path, const QString &text, QString *error);

/** Why a cue sheet is not written when the system's code page cannot hold
    all of it. */
QString notInCodePageText();

/** notInCodePageText() when the system's code page cannot hold all of \a
    text, a cue sheet, which is then not written; else the empty text. Asked
    before a set is written, so that no byte of it is written in vain. */
QString cueSheetRefusal(const QString &text);

/** Writes \a text to \a cuePath for the control file \a inputPath. Refuses,
    changing nothing, when \a cuePath leads to the control file or to the
    disc image that the cue sheet names (by any path or link), or is a
    symbolic link at all, dangling or not. Returns false after telling the
    user through \a showMessage ("File Error", naming the path and the reason). */
bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage);

/** Writes \a bytes to \a sbiPath for the control file \a inputPath, with the
    same refusals and the same atomic writing as saveCueSheet(). Returns false
    after telling the user through \a showMessage. */
bool saveSbiFile(const QString &inputPath, const QString &sbiPath, const QByteArray &bytes,
    const ShowMessage &showMessage);

/** Writes \a file beside the control file \a inputPath as saveCueSheet()
    writes the .cue, with the same refusals. */
bool saveFileBeside(
    const QString &inputPath, const FileToWrite &file, const ShowMessage &showMessage);

/** Writes every file of \a files beside the control file \a inputPath, or none.
    Refuses, changing nothing, when any of their paths is refused as
    saveCueSheet() refuses the .cue's (a symbolic link, dangling or not; the
    control file itself by any path or hard link; a Windows short name of
    another file), or leads to any of \a keptPaths (the disc image and the
    .sub, by any path or hard link), or when two of them are the same file, or
    when a name is longer than the folder's file system takes (on Windows,
    when a path is longer than programs without long paths open, 259
    characters), or when the folder has not room for the sum of their sizes
    (QStorageInfo::bytesAvailable(), checked before anything is written; the
    error says how much is needed and how much is free, in MB), or when they
    are more than maxFilesAtOnce.
    Each file is written to a temporary file in its folder first, as
    writeCueFile() does, every temporary file made before the first byte is
    written; only when every one is complete and synced are they put in
    place, each replacing whatever stood there whole. The last of \a files
    names the others (the cue sheet of the tracks' files): where there are
    others, its earlier file is taken away before any is put in place, and
    it is put in place after them, so that a set ended on the way never
    leaves a file that names it whole. Interruptions (SIGTERM, SIGINT,
    SIGHUP; on Windows the console's Ctrl+C and its closing) are held off
    meanwhile so that this all happens or (before the first step) none. On
    failure or an interruption before then, no temporary is left and no
    existing file changed; should a step itself fail, which the checks before
    the writing make unlikely, the error says which files are in place.
    On Unix, a writing ended where no handler runs (SIGKILL, a crash, a power
    cut) may leave temporary files, named ".morvant-" and six letters or
    digits, and files named after it; the next run's first writing in the
    folder (they are looked for once a folder in a run) removes them where
    they are ours beyond doubt (their record, the file named so
    without more, unlocked, so that the writing it stands for has ended, and
    with what every record holds), and adds a line to \a notes naming them,
    and one naming those that look like ours but cannot be told to be (left).
    The contents are called one after another, in the order of \a files, and
    only after every check has passed. False with "Cannot write PATH:\nREASON"
    in \a error, naming the file concerned. */
bool writeFilesBeside(const QString &inputPath, const QStringList &keptPaths,
    const QList<FileToWrite> &files, QString *error, QStringList *notes = nullptr);

/** Writes \a files as writeFilesBeside() does. Returns false after telling
    the user through \a showMessage ("File Error", naming the file concerned
    and the reason), as saveCueSheet() does; the lines of what was found left
    beside them go to \a showWarning, where given. */
bool saveFilesBeside(const QString &inputPath, const QStringList &keptPaths,
    const QList<FileToWrite> &files, const ShowMessage &showMessage,
    const std::function<void(const QString &)> &showWarning = {});

} // namespace morvant
