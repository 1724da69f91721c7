#pragma once

#include "check.h"
#include "discSet.h"
#include "job.h"
#include "modes.h"

namespace morvant {

/** --check of one disc: what checkControlFile() reports of it, writing
    nothing. What is no control file to read (an entry below a folder that
    cannot be read, a folder without one) is reported as a file that cannot
    be read. */
CheckReport checkJob(const Disc &disc, const ConversionOptions &options, const JobControl &control);

/// The status that \a report counts as.
CheckStatus checkStatus(const CheckReport &report);

/** What \a report finds of the files beside the control file that leaves its
    sheet unable to work as it is (no image, or one under another case; a .sub
    whose altered blocks the sheet loses), one warning each, naming the file.
    A conversion alone cannot tell them. */
QStringList unusableSheetWarnings(const CheckReport &report);

} // namespace morvant
