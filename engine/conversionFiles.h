#pragma once

#include "fileSystem.h"

#include <QString>

#include <optional>

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
