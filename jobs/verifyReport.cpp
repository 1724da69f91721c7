#include "verifyReport.h"

#include "datFile.h"
#include "fileSystem.h"
#include "jsonWriter.h"
#include "optionWords.h"
#include "translation.h"
#include "verify.h"
#include "verifyJob.h"

#include <QFileInfo>
#include <QLocale>

namespace morvant {

namespace {

// A name from the DAT, escaped as it leaves: a line end in it (&#10;) would
// otherwise write a line of its own, which could read as another disc's.
QString quoted(const QString &text)
{
    return u'"' + shownLine(text) + u'"';
}

// A reason, on the line of the disc that it concerns: the line ends of the
// program's own messages ("Cannot read X:\nPermission denied") become blanks.
QString oneLine(const QString &reason)
{
    return shownText(reason).replace(u'\n', u' ');
}

QString offsetText(int samples)
{
    return (samples > 0 ? QStringLiteral("+") : QString()) + QString::number(samples);
}

// The tracks that match only files of the disc's game that carry other
// tracks' numbers, or nothing when there are none.
QString outOfOrderText(const VerifiedDisc &disc)
{
    QStringList numbers;
    for (const VerifiedTrack &track : disc.tracks) {
        if (track.isOutOfOrder)
            numbers.append(track.file.number);
    }
    if (numbers.isEmpty())
        return {};
    return numbers.size() == 1
        ? tr("track %1 matches the file of another track").arg(numbers.first())
        : tr("tracks %1 match the files of other tracks").arg(numbers.join(QStringLiteral(", ")));
}

// What differs of the sheet that --split writes, after a verdict of the
// tracks; nothing where it matches or the DAT lists none.
QString sheetDifference(const VerifiedDisc &disc)
{
    switch (disc.sheet.verdict) {
    case SheetVerdict::NamedOtherwise:
        return tr("; the cue sheet names the files after %1, the DAT's after the game")
            .arg(quoted(disc.sheet.baseName));
    case SheetVerdict::Differs:
        return tr("; the cue sheet differs from the DAT's");
    case SheetVerdict::NotListed:
    case SheetVerdict::Matches:
        break;
    }
    return {};
}

QString trackText(const VerifiedTrack &track, const DatFile &dat)
{
    const TrackFile &file = track.file;
    QString text = tr("  Track %1  %2  %3 bytes  CRC-32 %4\n")
                       .arg(file.number, file.isAudio ? tr("audio") : tr("data "),
                           QLocale::c().toString(track.hashes.size),
                           QStringLiteral("%1").arg(track.hashes.crc32, 8, 16, QLatin1Char('0')));
    if (!track.matches.isEmpty()) {
        // The file of the disc's game, where another game lists the same track first.
        const DatRom &rom = dat.roms[track.ofGame >= 0 ? track.ofGame : track.matches.first()];
        text += tr("            matches %1 of %2").arg(quoted(rom.name), quoted(rom.game));
        if (track.isOutOfOrder)
            text += tr(", the file of another track");
        if (track.matches.size() > 1)
            text += tr(" (and %1 more)").arg(track.matches.size() - 1);
    } else if (track.entriesOfItsSize == 0) {
        text += tr("            matches nothing: no file of the DAT has its size");
    } else {
        text += track.entriesOfItsSize == 1
            ? tr("            matches nothing, though 1 file of the DAT has its size")
            : tr("            matches nothing, though %1 files of the DAT have its size")
                  .arg(track.entriesOfItsSize);
    }
    return text + u'\n';
}

// The cue sheet that --split writes, as a track is given, against the game's.
QString sheetText(const VerifiedDisc &disc)
{
    const VerifiedSheet &sheet = disc.sheet;
    QString text = tr("  Cue sheet  %1 bytes  CRC-32 %2\n")
                       .arg(QLocale::c().toString(sheet.hashes.size),
                           QStringLiteral("%1").arg(sheet.hashes.crc32, 8, 16, QLatin1Char('0')));
    switch (sheet.verdict) {
    case SheetVerdict::Matches:
        return text
            + tr("            matches %1 of %2\n").arg(quoted(sheet.datName), quoted(disc.game));
    case SheetVerdict::NamedOtherwise:
        return text
            + tr("            differs from %1: it names the files after %2; named after the "
                 "game, as the DAT names them, it would match\n")
                  .arg(quoted(sheet.datName), quoted(sheet.baseName));
    case SheetVerdict::Differs:
    case SheetVerdict::NotListed:
        break;
    }
    return text
        + tr("            differs from %1 of %2\n").arg(quoted(sheet.datName), quoted(disc.game));
}

const char *sheetVerdictName(SheetVerdict verdict)
{
    switch (verdict) {
    case SheetVerdict::Matches:
        return "matches";
    case SheetVerdict::NamedOtherwise:
        return "named-otherwise";
    case SheetVerdict::Differs:
    case SheetVerdict::NotListed:
        break;
    }
    return "differs";
}

QString discText(const VerifiedDisc &disc, const DatFile &dat)
{
    QString text = shownPath(disc.controlFile) + QStringLiteral(": ") + verdictText(disc) + u'\n';
    for (const VerifiedTrack &track : disc.tracks)
        text += trackText(track, dat);
    if (disc.audioOffset != 0)
        text += tr("  The audio tracks match at an offset of %1 samples; %2 writes "
                   "them so.\n")
                    .arg(offsetText(disc.audioOffset),
                        optionWords(AdvisedOption::Split, offsetText(disc.audioOffset)));
    for (const QString &name : disc.missing)
        text += tr("  No track matches %1 of %2.\n").arg(quoted(name), quoted(disc.game));
    if (disc.sheet.verdict != SheetVerdict::NotListed)
        text += sheetText(disc);
    return text;
}

const char *verdictName(DiscVerdict verdict)
{
    switch (verdict) {
    case DiscVerdict::Matches:
        return "matches";
    case DiscVerdict::OutOfOrder:
        return "out-of-order";
    case DiscVerdict::DataOnly:
        return "data-only";
    case DiscVerdict::Partly:
        return "partly";
    case DiscVerdict::Nothing:
        return "nothing";
    case DiscVerdict::NotVerified:
        break;
    }
    return "not-verified";
}

// The members in their keys' sorted order, as QJsonObject kept them when the
// report was built of one.
void writeDisc(JsonWriter &json, const VerifiedDisc &disc, const DatFile &dat)
{
    json.open('{');
    json.field("audioOffset", disc.audioOffset);
    json.optionalField("error", disc.error);
    json.field("file", disc.controlFile);
    json.optionalField("game", disc.game);
    json.member("missing");
    json.open('[');
    for (const QString &name : disc.missing) {
        json.element();
        json.value(name);
    }
    json.close(']');
    json.member("outOfOrder");
    json.open('[');
    for (const VerifiedTrack &track : disc.tracks) {
        if (track.isOutOfOrder) {
            json.element();
            json.value(track.file.number.toInt());
        }
    }
    json.close(']');
    // Only where the DAT lists the game's sheet, as DATs without one always did.
    if (disc.sheet.verdict != SheetVerdict::NotListed) {
        json.member("sheet");
        json.open('{');
        json.field(
            "crc32", QStringLiteral("%1").arg(disc.sheet.hashes.crc32, 8, 16, QLatin1Char('0')));
        json.field("datName", disc.sheet.datName);
        json.field("md5", QString::fromLatin1(disc.sheet.hashes.md5.toHex()));
        json.field("sha1", QString::fromLatin1(disc.sheet.hashes.sha1.toHex()));
        json.field("size", disc.sheet.hashes.size);
        json.field("verdict", sheetVerdictName(disc.sheet.verdict));
        json.close('}');
    }
    json.member("tracks");
    json.open('[');
    for (const VerifiedTrack &track : disc.tracks) {
        json.element();
        json.open('{');
        json.field("crc32", QStringLiteral("%1").arg(track.hashes.crc32, 8, 16, QLatin1Char('0')));
        json.field("file", track.file.name);
        json.field("filesOfItsSize", track.entriesOfItsSize);
        json.member("matches");
        json.open('[');
        for (const qsizetype rom : track.matches) {
            json.element();
            json.open('{');
            json.field("game", dat.roms[rom].game);
            json.field("name", dat.roms[rom].name);
            json.close('}');
        }
        json.close(']');
        json.field("md5", QString::fromLatin1(track.hashes.md5.toHex()));
        json.field("number", track.file.number.toInt());
        json.field("sha1", QString::fromLatin1(track.hashes.sha1.toHex()));
        json.field("size", track.hashes.size);
        json.field("type", track.file.isAudio ? "audio" : "data");
        json.close('}');
    }
    json.close(']');
    json.field("verdict", verdictName(disc.verdict));
    json.close('}');
}

} // namespace

QString verdictText(const VerifiedDisc &disc)
{
    qsizetype matching = 0;
    for (const VerifiedTrack &track : disc.tracks)
        matching += track.matches.isEmpty() ? 0 : 1;
    switch (disc.verdict) {
    case DiscVerdict::Matches:
        // The whole set that --split writes is the DAT's where the sheet is too.
        if (disc.sheet.verdict == SheetVerdict::Matches)
            return disc.audioOffset == 0
                ? tr("every track and the cue sheet match %1").arg(quoted(disc.game))
                : tr("every track and the cue sheet match %1, the audio tracks at an offset "
                     "of %2 samples")
                      .arg(quoted(disc.game), offsetText(disc.audioOffset));
        return (disc.audioOffset == 0
                       ? tr("every track matches %1").arg(quoted(disc.game))
                       : tr("every track matches %1, the audio tracks at an offset of %2 samples")
                             .arg(quoted(disc.game), offsetText(disc.audioOffset)))
            + sheetDifference(disc);
    case DiscVerdict::OutOfOrder:
        return tr("every track matches a file of %1, but out of order: %2")
            .arg(quoted(disc.game), outOfOrderText(disc));
    case DiscVerdict::DataOnly:
        return tr("the data tracks match %1, the audio tracks do not").arg(quoted(disc.game));
    case DiscVerdict::Partly: {
        QString text = tr("%1 of %2 tracks match").arg(matching).arg(disc.tracks.size());
        if (!disc.missing.isEmpty())
            text += disc.missing.size() == 1
                ? tr("; %1 lists 1 more track file that no track matches").arg(quoted(disc.game))
                : tr("; %1 lists %2 more track files that no track matches")
                      .arg(quoted(disc.game))
                      .arg(disc.missing.size());
        if (const QString outOfOrder = outOfOrderText(disc); !outOfOrder.isEmpty())
            text += QStringLiteral("; ") + outOfOrder;
        return text;
    }
    case DiscVerdict::Nothing:
        return tr("no track matches");
    case DiscVerdict::NotVerified:
        break;
    }
    return tr("cannot be verified: %1").arg(oneLine(disc.error));
}

QString verifiedDiscText(const VerifiedDisc &disc, const DatFile &dat)
{
    return discText(disc, dat);
}

VerifyStatus verifyFiles(const DiscSet &discs, const QString &datPath,
    const ConversionOptions &options, bool json, ReportOutput output,
    const std::function<void(const JobProgress &progress, const QString &name)> &showProgress)
{
    const DatFile dat = readDat(datPath);
    if (!dat.isRead()) {
        // The reader's reason names the line where it stopped.
        if (json) {
            JsonWriter writer(output);
            writer.open('{');
            writer.field("dat", datPath);
            writer.field("error", dat.error);
            writer.field("line", dat.errorLine);
            writer.close('}');
        } else {
            output.text(
                tr("Cannot read the DAT %1: %2\n").arg(shownPath(datPath), oneLine(dat.error)));
        }
        return verifyRefused;
    }
    VerifyStatus status = verifyMatches;
    // Each disc is written as it is reported, between the DAT and the
    // summary, which the sorted keys put last: the discs are never held.
    JsonWriter writer(output);
    if (json) {
        writer.open('{');
        writer.field("dat", datPath);
        writer.member("discs");
        writer.open('[');
    }
    std::array<qsizetype, 3> counts{};
    JobControl control;
    for (const Disc &disc : discs.discs) {
        const QString name = shownPath(QFileInfo(disc.path).fileName());
        if (showProgress)
            control.onProgress = [&](const JobProgress &progress) { showProgress(progress, name); };
        const VerifiedDisc verified = verifyJob(disc, dat, options, control);
        if (showProgress)
            showProgress({}, name);
        status = qMax(status, verifyStatus(verified));
        ++counts[std::size_t(verifyStatus(verified))];
        // One line for each disc of a folder, a whole report for a disc named.
        if (json) {
            writer.element();
            writeDisc(writer, verified, dat);
        } else if (disc.isInFolder || disc.kind == Disc::NoControlFile) {
            output.text(shownPath(verified.controlFile) + QStringLiteral(": ")
                + verdictText(verified) + u'\n');
        } else {
            output.text(discText(verified, dat));
        }
    }
    const qsizetype total = counts[0] + counts[1] + counts[2];
    const qsizetype nameless = filesOfNamelessGames(dat);
    if (json) {
        writer.close(']');
        writer.field("filesOfNamelessGames", nameless);
        writer.member("summary");
        writer.open('{');
        writer.field("discs", total);
        writer.field("doNotMatch", counts[1]);
        writer.field("match", counts[0]);
        writer.field("notVerified", counts[2]);
        writer.close('}');
        writer.close('}');
    } else if (discs.isSeveral()) {
        const QString counted = total == 1 ? tr("1 disc") : tr("%1 discs").arg(total);
        output.text(tr("%1: %2 match, %3 do not, %4 cannot be verified.\n")
                        .arg(counted)
                        .arg(counts[0])
                        .arg(counts[1])
                        .arg(counts[2]));
    }
    // Once for the run, as it is said of the DAT: a disc that matches nothing may be one of them.
    if (!json && nameless > 0)
        output.text(nameless == 1
                ? tr("The DAT %1 lists 1 file in a game without a name; no disc is matched "
                     "against it.\n")
                      .arg(shownPath(datPath))
                : tr("The DAT %1 lists %2 files in games without a name; no disc is matched "
                     "against them.\n")
                      .arg(shownPath(datPath))
                      .arg(nameless));
    return total == 0 ? verifyRefused : status;
}

} // namespace morvant
