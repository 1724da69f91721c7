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

} // namespace morvant
