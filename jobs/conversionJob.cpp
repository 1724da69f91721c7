#include "conversionJob.h"

#include "cueFile.h"
#include "discFiles.h"
#include "fileSystem.h"
#include "optionWords.h"
#include "refusals.h"
#include "trackFiles.h"
#include "translation.h"
#include "verifyJob.h"
#include "verifyReport.h"

#include <QFile>

namespace morvant {

namespace {

Told message(const QString &text, const QString &title = fileErrorTitle())
{
    return { Told::Message, text, title };
}

// What becomes of the .sbi: one line tells it, so that a missing one is never
// a surprise. The first step tells why none is written, or writes it; the
// second says where it went.
QList<JobStep> sbiSteps(const Disc &disc, const ConvertedFile &converted, SbiWrite sbi)
{
    if (sbi == SbiWrite::No || !converted.sbi)
        return {};
    const SbiContent &content = *converted.sbi;
    const QString file = shownPath(disc.path) + QStringLiteral(": ");
    const QString subName = shownPath(content.subPath);
    const qint64 count = content.altered.count;
    const QString sbiPath = sbiPathFor(disc.cuePath);
    JobStep step;
    const auto warn = [&](const QString &text) { step.told.append({ Told::Warning, text, {} }); };
    // A .sbi left from an earlier run or another source is loaded with the
    // new sheet all the same, so one that is not what the .sub gives is named.
    const auto unwritten = [&]() -> QList<JobStep> {
        if (const std::optional<Remark> remark = unwrittenSbi(sbiPath, content))
            warn(file + remark->message + u' ' + remark->advice);
        return { step };
    };
    const auto noteNone = [&](const QString &text) {
        if (sbi != SbiWrite::Quietly)
            step.told.append({ Told::Note, file + text, {} });
        return unwritten();
    };
    if (!content.hasSub)
        return noteNone(tr("no .sbi written: there is no subchannel file %1.").arg(subName));
    if (!content.altered.damage.isEmpty()) {
        warn(file + tr("no .sbi written: ") + unusableSubText(content));
        return unwritten();
    }
    if (count == 0)
        return noteNone(
            tr("no .sbi written: every Q block of %1 is what the cue sheet gives a player.")
                .arg(subName));
    if (content.looksDamaged()) {
        const QString damaged = damagedSubText(content);
        if (sbi != SbiWrite::Always) {
            warn(file + tr("no .sbi written: ") + damaged
                + tr(" Use %1 to write them all the same.")
                      .arg(optionWords(AdvisedOption::SbiAll)));
            return unwritten();
        }
        warn(file + damaged
            + tr(" They are written, as %1 asks.").arg(optionWords(AdvisedOption::SbiAll)));
    }
    const QByteArray bytes = sbiBytes(content.altered.blocks);
    step.write.files.append({ sbiPath, bytes.size(), bytesContent(bytes) });
    const QString written =
        (count == 1 ? tr("%1 sector whose Q block a cue sheet loses went into %2.")
                    : tr("%1 sectors whose Q blocks a cue sheet loses went into %2."))
            .arg(count)
            .arg(shownPath(sbiPath));
    return { step, JobStep{ { { Told::Note, file + written, {} } }, {} } };
}

// --split: the tracks' files and their cue sheet, all written or none; false
// after telling why they cannot be.
bool addSplit(ConversionResult &result, const ConvertedFile &converted, int offsetSamples,
    const JobControl &control)
{
    JobStep &step = result.steps.first();
    const QString &path = result.disc.path;
    if (!converted.splitError.isEmpty()) {
        step.told.append(message(tr("Cannot cut the image of %1 into its tracks' files: %2.")
                                     .arg(shownPath(path), converted.splitError)));
        result.status = conversionRefused;
        return false;
    }
    if (const std::optional<Remark> refusal = imageEndRefusal(
            converted.sheet, converted.layout.image.held, converted.files.imageStatus.size)) {
        step.told.append(
            message(tr("Cannot cut the image of %1 into its tracks' files: %2 %3 (%5 calls "
                       "this %4.)")
                        .arg(shownPath(path), refusal->message, refusal->advice, refusal->name(),
                            optionWords(AdvisedOption::Check))));
        result.status = conversionRefused;
        return false;
    }
    QString error;
    if (!trackFilesToWrite(converted.files, converted.trackFiles, offsetSamples,
            result.disc.cuePath, converted.cueSheet, &step.write.files, &result.image, &error,
            control.progressOf(tr("Writing")))) {
        step.told.append(message(error));
        result.status = conversionNotWritten;
        return false;
    }
    step.write.keptPaths = QStringList{ converted.files.image, converted.files.sub };
    return true;
}

} // namespace

ConversionResult conversionJob(const Disc &disc, const ConversionOptions &options,
    const JobControl &control, bool toStandardOutput)
{
    ConversionResult result;
    result.disc = disc;
    if (control.isCancelled()) {
        result.isCancelled = true;
        return result;
    }
    result.steps.append(JobStep{});
    if (disc.kind != Disc::ControlFile) {
        // Told as a file that cannot be read is.
        result.steps.first().told.append(message(
            refusalRemark(disc.path, refusedFor(Refusal::Unreadable, disc.reason())).message));
        result.status = conversionRefused;
        return result;
    }
    const ConvertedFile converted = convert(disc.path, options);
    JobStep &first = result.steps.first();
    if (converted.isRefused()) {
        showRefusal([&](const QString &text,
                        const QString &title) { first.told.append(message(text, title)); },
            disc.path, converted.outcome);
    }
    const QStringList warnings = converted.warnings();
    for (const QString &warning : warnings)
        first.told.append(
            { Told::Warning, shownPath(disc.path) + QStringLiteral(": ") + warning, {} });
    result.cueSheet = converted.cueSheet;
    if (options.split && !converted.isRefused()) {
        if (!addSplit(result, converted, options.splitOffset, control))
            return result;
    } else if (converted.cueSheet.isEmpty()) {
        result.status = conversionRefused;
        return result;
    } else if (!toStandardOutput) {
        // At most 4 bytes a character in any code page, and the last line's end.
        first.write.files.append({ disc.cuePath, converted.cueSheet.size() * 4 + 2,
            cueSheetContent(converted.cueSheet) });
    }
    result.steps += sbiSteps(disc, converted, options.sbi);
    return result;
}

ConversionResult namedSplitJob(const Disc &disc, const ConversionOptions &options,
    const DatFile &dat, const JobControl &control)
{
    ConversionResult refused;
    refused.disc = disc;
    if (control.isCancelled()) {
        refused.isCancelled = true;
        return refused;
    }
    const VerifiedDisc verified = verifyJob(disc, dat, options, control);
    // A disc that is not the DAT's whole gets no name of it: a set named so
    // would be filed as the verified dump that it is not.
    // The verdict quotes the DAT's names as they may be shown already.
    const bool isWhole = verified.verdict == DiscVerdict::Matches;
    const DatNames names = isWhole ? datNames(verified, dat, disc.path) : DatNames{};
    const QString refusal = isWhole ? shownLine(names.refusal) : verdictText(verified);
    if (!refusal.isEmpty()) {
        refused.steps.append({ { message(tr("Cannot name the files of %1 after the DAT: %2.")
                                             .arg(shownPath(disc.path), refusal)) },
            {} });
        refused.status = conversionRefused;
        return refused;
    }
    ConversionOptions named = options;
    named.split = true;
    named.splitOffset = verified.audioOffset;
    named.splitNames = names.tracks;
    Disc renamed = disc;
    renamed.cuePath = disc.cuePath.left(fileNameStart(disc.cuePath)) + names.cue;
    ConversionResult result = conversionJob(renamed, named, control);
    if (result.status != conversionDone || result.steps.isEmpty())
        return result;
    const QString file = shownPath(disc.path) + QStringLiteral(": ");
    JobStep told;
    told.told.append({ Told::Note,
        file
            + tr("the files are named after \"%1\" of the DAT, %2 naming them.")
                  .arg(shownLine(names.game), shownPath(names.cue)),
        {} });
    if (sheetVerdictOf(result.cueSheet, names.game, dat) == SheetVerdict::Differs)
        told.told.append({ Told::Warning,
            file + tr("the cue sheet differs from the DAT's %1.").arg(shownPath(names.cue)), {} });
    result.steps.insert(1, told);
    return result;
}

bool writeSteps(const QString &controlFile, const QList<JobStep> &steps,
    const ShowMessage &showMessage, const ShowWarning &showWarning, const ShowWarning &showNote)
{
    for (const JobStep &step : steps) {
        for (const Told &told : step.told) {
            if (told.kind == Told::Message)
                showMessage(told.text, told.title);
            else if (told.kind == Told::Warning)
                showWarning(told.text);
            else if (showNote)
                showNote(told.text);
        }
        const FilesToWrite &write = step.write;
        if (write.files.isEmpty())
            continue;
        // What an earlier writing of a set left is told as a warning of the
        // control file, as its other warnings are.
        const auto warnAboutFile = [&](const QString &text) {
            showWarning(shownPath(controlFile) + QStringLiteral(": ") + text);
        };
        const bool isWritten = write.keptPaths.isEmpty() && write.files.size() == 1
            ? saveFileBeside(controlFile, write.files.first(), showMessage)
            : saveFilesBeside(
                controlFile, write.keptPaths, write.files, showMessage, warnAboutFile);
        if (!isWritten)
            return false;
    }
    return true;
}

} // namespace morvant
