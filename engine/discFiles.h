#pragma once

#include "basics.h"

#include <QLatin1String>
#include <QString>

// The names of a disc's files beside its control file: the image and the .sub
// that it goes with, and the .cue and the .sbi that the conversion writes.

/** Where the file's own name starts in \a path: after its last \a separator
    or '/', which separates folders on Windows too and is in no file's name. */
qsizetype fileNameStart(const QString &path, QChar separator = nativeSeparator);

/** The name of the image that the control file at \a path goes with, as the
    cue sheet's FILE line names it without ".img": the part of \a path from
    fileNameStart(), less its last four characters. */
QString imageName(const QString &path, QChar separator = nativeSeparator);

/** The file that goes with the control file at \a path: in its folder, the
    image name that the cue sheet's FILE line gives, with \a extension
    (".img", ".sub"). */
QString besideControlFile(const QString &path, QChar separator, QLatin1String extension);

/** The name of a file in the folder of \a path whose name differs from that
    of \a path only in case; the empty text when there is none. */
QString sameNameOtherCase(const QString &path);

/** The .cue path of a control file chosen or dropped in the window: \a path
    with its last four characters replaced by ".cue". Only characters of the
    file name itself are dropped, so the result always lies in the same folder. */
QString cuePathForFile(const QString &path, QChar separator = nativeSeparator);

/** The .sbi path that goes with the .cue path \a cuePath: its last four
    characters, ".cue", replaced by ".sbi", so that a program that loads the
    cue sheet finds it under the same name. */
QString sbiPathFor(const QString &cuePath);

/** The image beside \a path (the .cue or the .sbi) that the cue sheet names. */
QString imagePathOf(const QString &path);
