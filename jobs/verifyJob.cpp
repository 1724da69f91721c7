#include "verifyJob.h"

#include "translation.h"

namespace morvant {

VerifiedDisc verifyJob(const Disc &disc, const DatFile &dat, const ConversionOptions &options,
    const JobControl &control)
{
    if (disc.kind == Disc::ControlFile)
        return verifyDisc(disc.path, dat, options, control.progressOf(tr("Hashing")));
    VerifiedDisc unreached;
    unreached.controlFile = disc.path;
    unreached.error = disc.reason();
    return unreached;
}

VerifyStatus verifyStatus(const VerifiedDisc &disc)
{
    switch (disc.verdict) {
    case DiscVerdict::Matches:
        return verifyMatches;
    case DiscVerdict::NotVerified:
        return verifyRefused;
    default:
        return verifyDiffers;
    }
}

} // namespace morvant
