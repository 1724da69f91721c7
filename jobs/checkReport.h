#pragma once

#include "check.h"
#include "checkJob.h"
#include "discSet.h"
#include "reportOutput.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace morvant {

/** Writes to \a output the report on one control file for people: the
    verdict, the image, the cue sheet's tracks and each finding with its
    advice, wrapped to 80 columns. \a colour adds terminal colours to the
    verdict and severities. */
void writeTextReport(const CheckReport &report, bool colour, ReportOutput output);

/** Checks each disc of \a discs and writes the reports to \a output as it goes, for people or, with
    \a json, as one JSON document for programs. Returns the worst status. */
CheckStatus checkFiles(const DiscSet &discs, const ConversionOptions &options, bool json,
    bool colour, ReportOutput output);

} // namespace morvant
