#pragma once

#include "basics.h"
#include "controlFile.h"
#include "conversion.h"
#include "cueSheet.h"
#include "findings.h"
#include "sessionImage.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace morvant {

/// What checking one control file found.
struct CheckReport
{
    QString path;
    bool isRefused() const
    {
        return refusal != Refusal::None;
    } ///< the conversion gives no cue sheet
    Refusal refusal = Refusal::None; ///< why, when it gives none
    QString cueSheet; ///< the text the conversion gives, empty when refused
    QString imagePath; ///< where the cue sheet's image must be
    bool imageExists = false; ///< as a regular file
    QString imageNotFile; ///< why what stands there instead is no image, as notAFile() says
    qint64 imageSize = -1; ///< in bytes; -1 when it does not exist
    /// How the image holds the sessions of a file checked with them
    std::optional<ImageHolds> imageHolds;
    QString title; ///< the disc's, from CD-Text when asked for
    QString performer; ///< the disc's, from CD-Text when asked for
    QList<CueTrack> tracks; ///< as the cue sheet has them
    QList<Remark> findings; ///< file-wide findings first, then by line

    bool hasWarnings() const { return !findings.isEmpty(); }
};

/** Reads the control file at \a path by the conversion's own rules and tells
    whether the cue sheet it gives will load: the tracks it will have, and a
    finding for each problem with the control file, the image beside it and
    their agreement. Writes nothing. A file that the conversion refuses gives
    one error finding with the conversion's own message. \a options are
    those of the conversion to check; whatever they say of the .sbi, the .sub
    is read as --sbi reads it. */
CheckReport checkControlFile(const QString &path, const ConversionOptions &options = {});

/// The shortest track that a CD may have: four seconds, in sectors.
inline constexpr qint64 shortestTrack = 4 * 75;

} // namespace morvant
