#include "conversion.h"

#include "cueFile.h"
#include "discImage.h"
#include "fileSystem.h"
#include "lineReader.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Cue sheets are written in the system's code page; on Windows a name that it
// cannot hold would come out as "???" or as a look-alike that names another
// file. The short name that Windows keeps for the image reaches it exactly.
// The empty text when there is no name to write.
QString imageFileName(const QString &path, QChar separator, ConvertedFile &converted)
{
    const QString name = imageName(path, separator) + QStringLiteral(".img");
    if (fitsSystemBytes(name))
        return name;
    const QString shortName = shortFileName(path.left(fileNameStart(path, separator)) + name);
    if (shortName.isEmpty() || !fitsSystemBytes(shortName))
        return {};
    converted.longImageName = name;
    converted.shortImageName = shortName;
    return shortName;
}

// CD-Text is left out whole rather than in part, as when it cannot be decoded.
QString unwritableText(const CdText &cdText)
{
    if (!fitsSystemBytes(cdText.title))
        return tr("the disc's TITLE");
    if (!fitsSystemBytes(cdText.performer))
        return tr("the disc's PERFORMER");
    for (auto title = cdText.titles.begin(); title != cdText.titles.end(); ++title) {
        if (!fitsSystemBytes(*title))
            return tr("the TITLE of track %1").arg(title.key());
    }
    for (auto performer = cdText.performers.begin(); performer != cdText.performers.end();
         ++performer) {
        if (!fitsSystemBytes(*performer))
            return tr("the PERFORMER of track %1").arg(performer.key());
    }
    return {};
}

// A time of the sheet's own writing, MM:SS:FF; -1 for anything else.
qint64 sheetSectors(QStringView time)
{
    const QList<QStringView> parts = time.split(u':');
    if (parts.size() != 3)
        return -1;
    bool isNumber[3] = {};
    const qint64 minutes = parts[0].toLongLong(&isNumber[0]);
    const qint64 seconds = parts[1].toLongLong(&isNumber[1]);
    const qint64 frames = parts[2].toLongLong(&isNumber[2]);
    return isNumber[0] && isNumber[1] && isNumber[2] ? (minutes * 60 + seconds) * 75 + frames : -1;
}

// The layout that the cue sheet gives a player, read back from the lines
// that the conversion wrote, so that it is the sheet's, sessions included.
SheetLayout sheetLayout(const QString &cueSheet)
{
    SheetLayout layout;
    // -1 when none: a plain number, as MinGW's optimised build warns of an optional here.
    qint64 leadOut = -1;
    const QList<QStringView> lines = QStringView(cueSheet).split(QStringLiteral("\r\n"));
    for (const QStringView line : lines) {
        const QList<QStringView> words = line.trimmed().split(u' ', Qt::SkipEmptyParts);
        if (words.size() >= 3 && words[0] == u"TRACK") {
            SheetTrack track;
            track.number = words[1].toInt();
            track.control = words[2] == u"AUDIO" ? 0 : 0x4;
            layout.tracks.append(track);
        } else if (words.size() >= 2 && words[0] == u"FLAGS" && !layout.tracks.isEmpty()) {
            for (const QStringView flag : words.sliced(1)) {
                if (flag == u"DCP")
                    layout.tracks.last().control |= 0x2;
                else if (flag == u"4CH")
                    layout.tracks.last().control |= 0x8;
                else if (flag == u"PRE")
                    layout.tracks.last().control |= 0x1;
            }
        } else if (words.size() == 3 && words[0] == u"INDEX" && !layout.tracks.isEmpty()) {
            const qint64 sector = sheetSectors(words[2]);
            if (sector < 0)
                continue;
            if (leadOut >= 0 && layout.tracks.last().indexes.isEmpty())
                layout.between.append({ leadOut, sector });
            leadOut = -1;
            layout.tracks.last().indexes.append({ words[1].toInt(), sector });
        } else if (words.size() == 3 && words[0] == u"REM" && words[1] == u"LEAD-OUT") {
            leadOut = sheetSectors(words[2]);
        }
    }
    return layout;
}

// Past a protected disc's few altered blocks only their count is kept, unless
// \a keepEvery asks for them all.
SbiContent sbiContent(const QString &path, QChar separator, const QString &cueSheet,
    const SessionLayout &sessions, bool keepEvery)
{
    SbiContent content;
    content.subPath = besideControlFile(path, separator, QLatin1String(".sub"));
    const FileStatus sub = fileStatus(content.subPath);
    content.hasSub = sub.exists;
    if (!content.hasSub)
        return content;
    SheetLayout layout = sheetLayout(cueSheet);
    layout.held = sessions.image.held;
    if (sessions.bounds.size() > 1 && layout.held.isEmpty()) {
        content.altered.damage = tr("where the later sessions lie in the image is not known, "
                                    "as the table of contents gives a session no lead-out");
        return content;
    }
    const FileStatus image = fileStatus(besideControlFile(path, separator, QLatin1String(".img")));
    QFile file;
    if (openRegularFile(file, content.subPath, &content.altered.damage))
        content.altered =
            alteredQBlocks(file, layout, image.isFile ? image.size / imageSectorSize : -1,
                keepEvery ? -1 : mostProtectedSectors + 1);
    return content;
}

// What the control file says of the whole image that no cue sheet can carry,
// or that leaves the sheet without a track: told of in every conversion.
void noteWholeImage(ConvertedFile &converted)
{
    const ControlFileSections &sections = converted.outcome.sections;
    const bool hasTracks =
        converted.isRebuilt ? !converted.rebuilt.tracks.isEmpty() : converted.outcome.hasTrackLines;
    if (!hasTracks) {
        const QList<int> listed = tocTracks(sections).keys();
        QStringList numbers;
        for (const int track : listed)
            numbers << QString::number(track);
        converted.additionRemarks.append({ FindingCode::NoTracks, 0, {},
            tr("The control file has no [TRACK] sections: the cue sheet names no track, and some "
               "programs hang on such a sheet."),
            numbers.isEmpty()
                ? tr("Convert it with --rebuild, which takes the tracks from the table of "
                     "contents, or make the image again with a program that writes [TRACK] "
                     "sections.")
                : tr("The table of contents lists %1: convert with --rebuild, which takes the "
                     "tracks from it, or add a [TRACK n] section for each, with MODE= and INDEX "
                     "1= from its [Entry].")
                      .arg((numbers.size() == 1 ? tr("track %1") : tr("tracks %1"))
                               .arg(numbers.join(QStringLiteral(", ")))) });
    }
    if (!sections.scrambled.isEmpty() && sections.scrambled != u"0") {
        converted.additionRemarks.append({ FindingCode::Scrambled, sections.scrambledLine, {},
            tr("DataTracksScrambled=%1: the image holds its data tracks scrambled.")
                .arg(sections.scrambled),
            tr("Programs that load a cue sheet expect plain sectors; make the image again "
               "without scrambling the data tracks.") });
    }
}

} // namespace

QStringList ConvertedFile::warnings() const
{
    QStringList warnings;
    for (const RebuildRemark &remark : rebuilt.remarks)
        warnings << remark.message;
    if (!cdTextError.isEmpty())
        warnings << tr("CD-Text left out, it cannot be decoded: %1").arg(cdTextError);
    if (!unwritableCdText.isEmpty())
        warnings << tr("CD-Text left out: the system's code page cannot hold %1, and cue "
                       "sheets are written in it")
                        .arg(unwritableCdText);
    if (!shortImageName.isEmpty())
        warnings << shortNameText(longImageName, shortImageName);
    // With what to do, as --check gives it.
    for (const SheetRemark &remark : additionRemarks) {
        const QString text =
            remark.advice.isEmpty() ? remark.message : remark.message + u' ' + remark.advice;
        warnings << (remark.line > 0 ? tr("line %1: %2").arg(remark.line).arg(text) : text);
    }
    return warnings;
}

QString unusableSubText(const SbiContent &content)
{
    return tr("the subchannel file %1 cannot be used: %2.")
        .arg(shownPath(QFileInfo(content.subPath).fileName()), content.altered.damage);
}

QString damagedSubText(const SbiContent &content)
{
    return tr("%1 sectors of %2 have Q blocks that differ from what the cue sheet gives, far "
              "more than the few dozen that a protected disc alters: the .sub looks damaged, or "
              "misaligned against the image.")
        .arg(content.altered.count)
        .arg(shownPath(QFileInfo(content.subPath).fileName()));
}

std::optional<SbiRemark> unwrittenSbi(const QString &sbiPath, const SbiContent &content)
{
    if (!fileStatus(sbiPath).isFile)
        return std::nullopt;
    // Sectors of a disc of 100 minutes, 14 bytes each, and the header.
    constexpr qint64 largestSbi = 4 + 14 * qint64(100 * 60 * 75);
    QFile file;
    QString reason;
    const bool isRead = openRegularFile(file, sbiPath, &reason) && file.size() <= largestSbi;
    const QByteArray bytes = isRead ? file.readAll() : QByteArray();
    const bool hasSub = content.hasSub && content.altered.damage.isEmpty();
    const bool isSbi = bytes.startsWith(QByteArrayView("SBI\0", 4)) && (bytes.size() - 4) % 14 == 0;
    // Where not every altered block was kept, their count stands for them.
    const bool isKept = content.altered.count == content.altered.blocks.size();
    if (isRead && hasSub
        && (isKept ? bytes == sbiBytes(content.altered.blocks)
                   : isSbi && (bytes.size() - 4) / 14 == content.altered.count))
        return std::nullopt;
    const auto records = [](qint64 count) {
        return count == 1 ? tr("1 record") : tr("%1 records").arg(count);
    };
    const QString held = !isSbi ? tr("is no .sbi file that this program can read")
                                : tr("holds %1").arg(records((bytes.size() - 4) / 14));
    const QString name = shownPath(QFileInfo(sbiPath).fileName());
    if (!hasSub)
        return SbiRemark{ tr("%1 beside the cue sheet %2 that no .sub here confirms; PlayStation "
                             "emulators load it with the cue sheet all the same.")
                              .arg(name, held),
            tr("Keep it only if it comes from a record of this disc's protection.") };
    return SbiRemark{ tr("%1 beside the cue sheet %2, not the %3 that %4 gives; PlayStation "
                         "emulators load it with the cue sheet all the same.")
                          .arg(name, held, records(content.altered.count),
                              shownPath(QFileInfo(content.subPath).fileName())),
        tr("Remove it unless it comes from a record of this disc's protection.") };
}

QString shortNameText(const QString &longName, const QString &shortName)
{
    return tr("The system's code page cannot hold the image's name %1, so the cue sheet names "
              "it by its short name %2. Windows may give the image another short name when "
              "it is copied or moved: convert again there.")
        .arg(shownPath(longName), shortName);
}

ConvertedFile convert(
    const QString &path, const ConversionOptions &options, const LineHandler &alsoEachLine)
{
    ConvertedFile converted;
    const QString imageFile = imageFileName(path, options.separator, converted);
    const QString fileLine =
        QStringLiteral("FILE \"") + imageFile + QStringLiteral("\" BINARY\r\n");
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
    // What the file is, or whether it can be read, tells the user more.
    if (!converted.isRefused() && imageFile.isEmpty())
        converted.outcome.refusal = Refusal::ImageNameNotInCodePage;
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
    } else if (options.sessions && sessions == 1 && converted.outcome.sections.laterSessionLine) {
        converted.additionRemarks.append(laterSessionRemark(converted.outcome.sections));
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
            && decodeCdText(packs, &converted.cdText, &converted.cdTextError)) {
            converted.unwritableCdText = unwritableText(converted.cdText);
            if (converted.unwritableCdText.isEmpty())
                cueSheet = addCdText(cueSheet, converted.cdText);
        }
    }
    if (options.codes)
        cueSheet = addCatalog(cueSheet, converted.outcome.sections, &converted.additionRemarks);
    noteWholeImage(converted);
    converted.cueSheet = cueSheet;
    if (options.sbi != SbiWrite::No)
        converted.sbi = sbiContent(
            path, options.separator, cueSheet, converted.layout, options.sbi == SbiWrite::Always);
    return converted;
}

QString ccdToCue(const QString &path, const ShowMessage &showMessage, QChar separator)
{
    ConversionOptions plain;
    plain.separator = separator;
    const ConvertedFile converted = convert(path, plain);
    if (converted.isRefused())
        showRefusal(showMessage, path, converted.outcome);
    else if (!converted.shortImageName.isEmpty())
        showMessage(
            shortNameText(converted.longImageName, converted.shortImageName), tr("Warning"));
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
    case Refusal::Utf16Text:
        return tr("The input file is saved as UTF-16 (Unicode) text, not as the 8-bit text "
                  "of a CCD file.\nSave it again as 8-bit text (the encoding that Notepad "
                  "calls ANSI), then convert it again.");
    case Refusal::ImageNameNotInCodePage:
        return tr("The cue sheet cannot name the image %1: the system's code page, in which "
                  "cue sheets are written, cannot hold its name, and Windows keeps no short "
                  "name for it.\nRename the control file and the image with characters of the "
                  "code page, then convert again.")
            .arg(shownPath(imageName(path) + QStringLiteral(".img")));
    case Refusal::LineTooLong:
        return tr("Line %1 is too long: it holds more than %2 bytes, which no line of a CCD "
                  "file needs.")
            .arg(outcome.tooLongLine)
            .arg(LineReader::maxLineLength);
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
