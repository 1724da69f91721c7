#include "verifyJob.h"

#include "translation.h"

namespace morvant {

VerifiedDisc verifyJob(const Disc &disc, const DatFile &dat, const ConversionOptions &options,
    const JobControl &control)
{
    // A set that --split wrote is named by its cue sheet.
    if (disc.kind == Disc::ControlFile && isSheetPath(disc.path))
        return verifySheetSet(disc.path, dat, control.progressOf(tr("Hashing")));
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
        // A written set's sheet is one of its files; the sheet that --split would write for a
        // control file is not yet anyone's.
        return isSheetPath(disc.controlFile) && disc.sheet.verdict == SheetVerdict::Differs
            ? verifyDiffers
            : verifyMatches;
    case DiscVerdict::NotVerified:
        return verifyRefused;
    default:
        return verifyDiffers;
    }
}

} // namespace morvant
