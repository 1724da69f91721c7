#pragma once

#include "datFile.h"
#include "discSet.h"
#include "job.h"
#include "modes.h"
#include "verify.h"

namespace morvant {

/** --verify of one disc against \a dat: its tracks' files hashed and looked
    up, as verifyDisc() does, writing nothing. The hashing reports its
    progress through \a control ("Hashing") and stops when it is cancelled.
    What is no control file to read cannot be verified, with the reason. */
VerifiedDisc verifyJob(const Disc &disc, const DatFile &dat, const ConversionOptions &options,
    const JobControl &control);

/// The status that \a disc counts as.
VerifyStatus verifyStatus(const VerifiedDisc &disc);

} // namespace morvant
