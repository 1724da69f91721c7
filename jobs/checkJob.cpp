#include "checkJob.h"

#include "refusals.h"
#include "translation.h"

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

} // namespace morvant
