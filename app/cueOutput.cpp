#include "cueOutput.h"

#include "conversion.h"
#include "cueFile.h"
#include "discFiles.h"
#include "fileSystem.h"
#include "refusals.h"
#include "trackFiles.h"

#include <QFileDevice>

namespace morvant {

namespace {

ConvertedFile convertedFile(const QString &inputPath, const ConversionOptions &options,
    const ShowMessage &showMessage, const ShowWarning &showWarning)
{
    ConvertedFile converted = convert(inputPath, options);
    if (converted.isRefused())
        showRefusal(showMessage, inputPath, converted.outcome);
    const QStringList warnings = converted.warnings();
    for (const QString &warning : warnings)
        showWarning(shownPath(inputPath) + QStringLiteral(": ") + warning);
    return converted;
}

// One line tells what became of the .sbi, so that a missing one is never a surprise.
ConversionStatus writeSbi(const QString &inputPath, const QString &cuePath,
    const ConvertedFile &converted, SbiWrite sbi, const ShowMessage &showMessage,
    const ShowWarning &showWarning, const ShowWarning &showNote)
{
    if (sbi == SbiWrite::No || !converted.sbi)
        return conversionDone;
    const SbiContent &content = *converted.sbi;
    const QString file = shownPath(inputPath) + QStringLiteral(": ");
    const QString subName = shownPath(content.subPath);
    const qint64 count = content.altered.count;
    const auto note = [&](const QString &text) {
        if (showNote)
            showNote(file + text);
    };
    const QString sbiPath = sbiPathFor(cuePath);
    // A .sbi left from an earlier run or another source is loaded with the
    // new sheet all the same, so one that is not what the .sub gives is named.
    const auto unwritten = [&] {
        if (const std::optional<Remark> remark = unwrittenSbi(sbiPath, content))
            showWarning(file + remark->message + u' ' + remark->advice);
        return conversionDone;
    };
    const auto noteNone = [&](const QString &text) {
        if (sbi != SbiWrite::Quietly)
            note(text);
        return unwritten();
    };
    if (!content.hasSub)
        return noteNone(tr("no .sbi written: there is no subchannel file %1.").arg(subName));
    if (!content.altered.damage.isEmpty()) {
        showWarning(file + tr("no .sbi written: ") + unusableSubText(content));
        return unwritten();
    }
    if (count == 0)
        return noteNone(
            tr("no .sbi written: every Q block of %1 is what the cue sheet gives a player.")
                .arg(subName));
    if (content.looksDamaged()) {
        const QString damaged = damagedSubText(content);
        if (sbi != SbiWrite::Always) {
            showWarning(file + tr("no .sbi written: ") + damaged
                + tr(" Use --sbi=all to write them all the same."));
            return unwritten();
        }
        showWarning(file + damaged + tr(" They are written, as --sbi=all asks."));
    }
    if (!saveSbiFile(inputPath, sbiPath, sbiBytes(content.altered.blocks), showMessage))
        return conversionNotWritten;
    note((count == 1 ? tr("%1 sector whose Q block a cue sheet loses went into %2.")
                     : tr("%1 sectors whose Q blocks a cue sheet loses went into %2."))
             .arg(count)
             .arg(shownPath(sbiPath)));
    return conversionDone;
}

// --split: the tracks' files and their cue sheet, all written or none.
ConversionStatus writeSplit(const CommandLinePaths &paths, const ConvertedFile &converted,
    int offsetSamples, const ShowMessage &showMessage, const ShowWarning &showWarning)
{
    if (!converted.splitError.isEmpty()) {
        showMessage(tr("Cannot cut the image of %1 into its tracks' files: %2.")
                        .arg(shownPath(paths.inputPath), converted.splitError),
            fileErrorTitle());
        return conversionRefused;
    }
    if (const std::optional<Remark> refusal = imageEndRefusal(
            converted.sheet, converted.layout.image.held, converted.files.imageStatus.size)) {
        showMessage(tr("Cannot cut the image of %1 into its tracks' files: %2 %3 (--check calls "
                       "this %4.)")
                        .arg(shownPath(paths.inputPath), refusal->message, refusal->advice,
                            refusal->name()),
            fileErrorTitle());
        return conversionRefused;
    }
    const auto warnAboutFile = [&](const QString &text) {
        showWarning(shownPath(paths.inputPath) + QStringLiteral(": ") + text);
    };
    return saveTrackFiles(converted.files, converted.trackFiles, offsetSamples, paths.cuePath,
               converted.cueSheet, showMessage, warnAboutFile)
        ? conversionDone
        : conversionNotWritten;
}

} // namespace

ConversionStatus convertFiles(const QStringList &files, const ConversionOptions &options,
    const ShowFileMessage &showMessage, const ShowWarning &showWarning, const ShowWarning &showNote)
{
    ConversionStatus status = conversionDone;
    for (const QString &argument : files) {
        const CommandLinePaths paths = commandLinePaths(argument);
        const auto showAboutFile = [&](const QString &text, const QString &title) {
            showMessage(paths.inputPath, text, title);
        };
        const ConvertedFile converted =
            convertedFile(paths.inputPath, options, showAboutFile, showWarning);
        if (options.split && !converted.isRefused()) {
            const ConversionStatus split =
                writeSplit(paths, converted, options.splitOffset, showAboutFile, showWarning);
            status = qMax(status, split);
            if (split == conversionDone)
                status = qMax(status,
                    writeSbi(paths.inputPath, paths.cuePath, converted, options.sbi, showAboutFile,
                        showWarning, showNote));
        } else if (converted.cueSheet.isEmpty())
            status = qMax(status, conversionRefused);
        else if (!saveCueSheet(paths.inputPath, paths.cuePath, converted.cueSheet, showAboutFile))
            status = qMax(status, conversionNotWritten);
        else
            status = qMax(status,
                writeSbi(paths.inputPath, paths.cuePath, converted, options.sbi, showAboutFile,
                    showWarning, showNote));
    }
    return status;
}

ConversionStatus convertToOutput(const QString &argument, const ConversionOptions &options,
    QIODevice &output, const ShowMessage &showMessage, const ShowWarning &showWarning,
    const ShowWarning &showNote)
{
    const CommandLinePaths paths = commandLinePaths(argument);
    const ConvertedFile converted =
        convertedFile(paths.inputPath, options, showMessage, showWarning);
    const QString &cueSheet = converted.cueSheet;
    if (cueSheet.isEmpty())
        return conversionRefused;
    const auto notWritten = [&](const QString &reason) {
        showMessage(tr("Cannot write to standard output:\n%1").arg(reason), fileErrorTitle());
        return conversionNotWritten;
    };
    // The same bytes as writeCueFile() puts into the .cue file.
    bool isExact = false;
    const QByteArray bytes = toSystemBytes(cueSheet, &isExact) + "\r\n";
    if (!isExact)
        return notWritten(notInCodePageText());
    auto *file = qobject_cast<QFileDevice *>(&output);
    if (output.write(bytes) != bytes.size() || (file && !file->flush()))
        return notWritten(output.errorString());
    // The sheet is meant to be saved beside the image, where the .sbi goes too.
    return writeSbi(
        paths.inputPath, paths.cuePath, converted, options.sbi, showMessage, showWarning, showNote);
}

} // namespace morvant
