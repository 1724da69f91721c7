#pragma once

#include "basics.h"
#include "fileSystem.h"

#include <QLatin1String>
#include <QString>

#include <optional>

namespace morvant {

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

/// The files of one conversion, named beside its control file and looked up
/// once, so that every step sees the same files and none names them again.
struct ConversionFiles
{
    QString controlFile; ///< as the caller names it
    QChar separator; ///< of the folders in its path
    QString cue; ///< where its cue sheet goes: beside it, under its name
    QString image; ///< NAME.img beside it
    FileStatus imageStatus;
    QString sub; ///< NAME.sub beside it
    FileStatus subStatus;
    QString sbi; ///< NAME.sbi beside the cue sheet

    /// The image's size in whole sectors; none when there is no image file.
    std::optional<qint64> imageSectors() const;
};

/** The files of the conversion of the control file at \a controlFile, whose
    folders \a separator splits. */
ConversionFiles conversionFiles(const QString &controlFile, QChar separator);

} // namespace morvant
