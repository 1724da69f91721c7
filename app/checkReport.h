#pragma once

#include "check.h"
#include "reportOutput.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace morvant {

/// What `--check` reports when it ends; the worst file wins.
enum CheckStatus {
    checkClean = 0, ///< nothing found
    checkWarnings = 1, ///< a cue sheet, but one that may not load
    checkRefused = 2, ///< a file that cannot be read or that the conversion refuses
};

CheckStatus checkStatus(const CheckReport &report);

/** Writes to \a output the report on one control file for people: the
    verdict, the image, the cue sheet's tracks and each finding with its
    advice, wrapped to 80 columns. \a colour adds terminal colours to the
    verdict and severities. */
void writeTextReport(const CheckReport &report, bool colour, ReportOutput output);

/** Checks each command-line argument (a control file's path, quoted or not)
    and writes the reports to \a output as it goes, for people or, with
    \a json, as one JSON document for programs. Returns the worst status. */
CheckStatus checkFiles(const QStringList &arguments, const ConversionOptions &options, bool json,
    bool colour, ReportOutput output);

} // namespace morvant
