#pragma once

#include "conversion.h"
#include "reportOutput.h"

#include <QString>
#include <QStringList>

namespace morvant {

/// What --verify ends with; the worst disc wins.
enum VerifyStatus {
    verifyMatches = 0, ///< every track of every disc matches the DAT
    verifyDiffers = 1, ///< some track matches nothing, or not the game of the others
    verifyRefused = 2, ///< the DAT cannot be read, or a disc cannot be verified
};

/** Verifies the disc of each command-line argument against the DAT at
    \a datPath and writes the report to \a output: for a control file each
    track and the verdict; for a folder one line for each control file
    below it, and each thing below it that cannot be reached, as a disc
    that cannot be verified; a summary when there is more than one disc. With \a json, one
    JSON document for programs. \a showProgress, when given, is told how far
    the hashing of a large image has come. Returns the worst status. */
VerifyStatus verifyFiles(const QStringList &arguments, const QString &datPath,
    const ConversionOptions &options, bool json, ReportOutput output,
    const std::function<void(const QString &line)> &showProgress = {});

} // namespace morvant
