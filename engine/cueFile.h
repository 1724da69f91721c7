#pragma once

#include "basics.h"

#include <QString>

namespace morvant {

// The writing of the .cue file and of the .sbi beside the control file.

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

} // namespace morvant
