#include "checkJob.h"

#include "fileSystem.h"
#include "refusals.h"
#include "translation.h"

#include <algorithm>

namespace morvant {

CheckReport checkJob(const Disc &disc, const ConversionOptions &options, const JobControl &control)
{
    // A control file is read in one go; a job stopped before it starts reads nothing.
    if (disc.kind == Disc::ControlFile && !control.isCancelled())
        return checkControlFile(disc.path, options);
    CheckReport report;
    report.path = disc.path;
    report.refusal = Refusal::Unreadable;
    const QString reason = disc.kind == Disc::ControlFile ? stopped() : disc.reason();
    Remark remark = refusalRemark(disc.path, refusedFor(Refusal::Unreadable, reason));
    if (disc.kind == Disc::NoControlFile)
        remark.advice = tr("Name a control file, or a folder that holds one.");
    report.findings.append(remark);
    return report;
}

CheckStatus checkStatus(const CheckReport &report)
{
    if (report.isRefused())
        return checkRefused;
    return report.hasWarnings() ? checkWarnings : checkClean;
}

// What --check finds of the files beside the control file that leaves the
// sheet unable to work as it is: a conversion reads the control file alone
// and cannot tell, and the command line leaves it to --check, but a window
// user has only the confirmation to go by. What the conversion warns of
// itself is not among them, so nothing is told twice.
QStringList unusableSheetWarnings(const CheckReport &report)
{
    constexpr FindingCode unusableSheet[] = { FindingCode::ImageMissing, FindingCode::ImageNotFile,
        FindingCode::AlteredSubchannel, FindingCode::SubchannelUnusable };
    QStringList warnings;
    for (const Remark &finding : report.findings) {
        if (std::find(std::begin(unusableSheet), std::end(unusableSheet), finding.code)
            != std::end(unusableSheet))
            warnings.append(shownPath(report.path) + QStringLiteral(": ") + finding.message + u' '
                + finding.advice);
    }
    return warnings;
}

} // namespace morvant
