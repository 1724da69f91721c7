#include "conversion.h"

#include "cueFile.h"
#include "discImage.h"
#include "fileSystem.h"

QStringList ConvertedFile::warnings() const
{
    QStringList warnings;
    for (const RebuildRemark &remark : rebuilt.remarks)
        warnings << remark.message;
    if (!cdTextError.isEmpty())
        warnings << tr("CD-Text left out, it cannot be decoded: %1").arg(cdTextError);
    for (const SheetRemark &remark : additionRemarks)
        warnings << (remark.line > 0 ? tr("line %1: %2").arg(remark.line).arg(remark.message)
                                     : remark.message);
    return warnings;
}

ConvertedFile convert(
    const QString &path, const ConversionOptions &options, const LineHandler &alsoEachLine)
{
    ConvertedFile converted;
    const QString fileLine = QStringLiteral("FILE \"") + imageName(path, options.separator)
        + QStringLiteral(".img\" BINARY\r\n");
    QString cueSheet = fileLine;
    // The tracks' places are noted only when something is to be added at them.
    const bool addsToTracks = options.sessions || options.codes;
    SheetPlaces places(cueSheet.size());
    const LineHandler onLine = !addsToTracks ? alsoEachLine : [&](const ControlFileLine &line) {
        places.take(line, cueSheet.size());
        if (alsoEachLine)
            alsoEachLine(line);
    };
    converted.outcome = scanControlFile(path, cueSheet, onLine,
        options.cdText || alsoEachLine || options.rebuild || addsToTracks, options.sessions);
    if (converted.isRefused())
        return converted;

    const int sessions = converted.outcome.sessions;
    if (options.rebuild && !converted.outcome.hasTrackLines) {
        if (sessions > 1) {
            // The rebuilt tracks are those of session 1 alone.
            converted.sessionRefusal = SheetRemark{ FindingCode::SessionLayout, 0, {},
                tr("The file has no [TRACK] sections, and --rebuild takes the tracks of session 1 "
                   "alone, so a cue sheet of its %1 sessions cannot be made.")
                    .arg(sessions),
                tr("Convert it with --rebuild but without --sessions for its first session, or "
                   "make the control file again with a program that writes [TRACK] "
                   "sections.") };
        } else {
            converted.isRebuilt = true;
            converted.rebuilt = rebuildTracks(path, converted.outcome.sections, options.separator);
            cueSheet = fileLine + cueLinesOf(converted.rebuilt.tracks);
        }
    } else if (sessions > 1) {
        const FileStatus image =
            fileStatus(besideControlFile(path, options.separator, QLatin1String(".img")));
        converted.layout = layOutSessions(places.tracks, converted.outcome.sections, sessions,
            image.isFile ? std::optional<qint64>(image.size / imageSectorSize) : std::nullopt);
        converted.sessionRefusal = converted.layout.refusal;
        converted.additionRemarks = converted.layout.remarks;
    }
    if (converted.sessionRefusal) {
        converted.outcome.refusal = Refusal::SessionLayout;
        converted.outcome.reason = converted.sessionRefusal->message;
        return converted;
    }
    if (addsToTracks && !converted.isRebuilt)
        cueSheet = addSessionsAndIsrcs(cueSheet, places.tracks, converted.layout,
            converted.outcome.sections, options.codes, &converted.additionRemarks);

    if (options.cdText && converted.outcome.sections.hasCdText) {
        QList<QByteArray> packs;
        if (cdTextPacks(converted.outcome.sections.cdText, &packs, &converted.cdTextError)
            && decodeCdText(packs, &converted.cdText, &converted.cdTextError))
            cueSheet = addCdText(cueSheet, converted.cdText);
    }
    if (options.codes)
        cueSheet = addCatalog(cueSheet, converted.outcome.sections, &converted.additionRemarks);
    converted.cueSheet = cueSheet;
    return converted;
}

QString ccdToCue(const QString &path, const ShowMessage &showMessage, QChar separator)
{
    const ConvertedFile converted = convert(path, { false, false, separator });
    if (converted.isRefused())
        showRefusal(showMessage, path, converted.outcome);
    return converted.cueSheet;
}

QString refusalText(const QString &path, const ScanOutcome &outcome)
{
    switch (outcome.refusal) {
    case Refusal::Unreadable:
        return tr("Cannot read %1:\n%2").arg(shownPath(path), outcome.reason);
    case Refusal::NotControlFile:
        return tr("The input file doesn't seem to be a proper CCD file.");
    case Refusal::MultiSession:
        return tr("Only single-session discs are supported.");
    case Refusal::SessionLayout:
        return outcome.reason;
    case Refusal::None:
        break;
    }
    return {};
}

void showRefusal(const ShowMessage &showMessage, const QString &path, const ScanOutcome &outcome)
{
    showMessage(refusalText(path, outcome),
        outcome.refusal == Refusal::MultiSession || outcome.refusal == Refusal::SessionLayout
            ? tr("Disc Format Error")
            : fileErrorTitle());
}
