#pragma once

#include "basics.h"

#include <QString>

// The .cue file: its name, and its writing beside the control file.

/** Where the file's own name starts in \a path: after its last \a separator
    or '/', which separates folders on Windows too and is in no file's name. */
qsizetype fileNameStart(const QString &path, QChar separator = nativeSeparator);

/** The name of the image that the control file at \a path goes with, as the
    cue sheet's FILE line names it without ".img": the part of \a path from
    fileNameStart(), less its last four characters. */
QString imageName(const QString &path, QChar separator = nativeSeparator);

/** The .cue path of a control file chosen or dropped in the window: \a path
    with its last four characters replaced by ".cue". Only characters of the
    file name itself are dropped, so the result always lies in the same folder. */
QString cuePathForFile(const QString &path, QChar separator = nativeSeparator);

/** The .sbi path that goes with the .cue path \a cuePath: its last four
    characters, ".cue", replaced by ".sbi", so that a program that loads the
    cue sheet finds it under the same name. */
QString sbiPathFor(const QString &cuePath);

/** Replaces the file at \a path with \a text in the local 8-bit encoding plus
    CR LF, atomically: on failure the earlier file, if any, is left whole, and
    on Unix no temporary file is left behind, an interruption included.
    Returns false with the system's reason in \a error when it cannot. */
bool writeCueFile(const QString &path, const QString &text, QString *error);

/** Why a cue sheet is not written when the system's code page cannot hold
    all of it. */
QString notInCodePageText();

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
