#include "conversion.h"

#include "cueFile.h"
#include "fileSystem.h"
#include "lineReader.h"

QStringList ConvertedFile::warnings() const
{
    QStringList warnings;
    for (const RebuildRemark &remark : rebuilt.remarks)
        warnings << remark.message;
    if (!cdTextError.isEmpty())
        warnings << tr("CD-Text left out, it cannot be decoded: %1").arg(cdTextError);
    return warnings;
}

ConvertedFile convert(
    const QString &path, const ConversionOptions &options, const LineHandler &alsoEachLine)
{
    ConvertedFile converted;
    const QString fileLine = QStringLiteral("FILE \"") + imageName(path, options.separator)
        + QStringLiteral(".img\" BINARY\r\n");
    QString cueSheet = fileLine;
    converted.outcome = scanControlFile(
        path, cueSheet, alsoEachLine, options.cdText || alsoEachLine || options.rebuild);
    if (converted.isRefused())
        return converted;

    if (options.rebuild && !converted.outcome.hasTrackLines) {
        converted.isRebuilt = true;
        converted.rebuilt = rebuildTracks(path, converted.outcome.sections, options.separator);
        cueSheet = fileLine + cueLinesOf(converted.rebuilt.tracks);
    }

    if (options.cdText && converted.outcome.sections.hasCdText) {
        QList<QByteArray> packs;
        if (cdTextPacks(converted.outcome.sections.cdText, &packs, &converted.cdTextError)
            && decodeCdText(packs, &converted.cdText, &converted.cdTextError))
            cueSheet = addCdText(cueSheet, converted.cdText);
    }
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
    case Refusal::LineTooLong:
        return tr("Line %1 is too long: it holds more than %2 bytes, which no line of a CCD "
                  "file needs.")
            .arg(outcome.tooLongLine)
            .arg(LineReader::maxLineLength);
    case Refusal::None:
        break;
    }
    return {};
}

void showRefusal(const ShowMessage &showMessage, const QString &path, const ScanOutcome &outcome)
{
    showMessage(refusalText(path, outcome),
        outcome.refusal == Refusal::MultiSession ? tr("Disc Format Error") : fileErrorTitle());
}
