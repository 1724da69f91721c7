#include "conversion.h"

#include "discFiles.h"
#include "discImage.h"
#include "fileSystem.h"
#include "lineReader.h"
#include "optionWords.h"
#include "refusals.h"

#include <QFile>
#include <QFileInfo>

namespace morvant {

namespace {

// Cue sheets are written in the system's code page; on Windows a name that it
// cannot hold would come out as "???" or as a look-alike that names another
// file. The short name that Windows keeps for the image reaches it exactly.
// The empty text when there is no name to write.
QString imageFileName(const ConversionFiles &files, ConvertedFile &converted)
{
    const QString &path = files.controlFile;
    const QString name = imageName(path, files.separator) + QStringLiteral(".img");
    if (fitsSystemBytes(name))
        return name;
    const QString shortName = shortFileName(path.left(fileNameStart(path, files.separator)) + name);
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

// Past a protected disc's few altered blocks only their count is kept, unless
// \a keepEvery asks for them all.
SbiContent sbiContent(const ConversionFiles &files, const CueSheet &sheet,
    const SessionLayout &sessions, bool keepEvery)
{
    SbiContent content;
    content.subPath = files.sub;
    content.hasSub = files.subStatus.exists;
    if (!content.hasSub)
        return content;
    SheetLayout layout = sheetLayout(sheet);
    layout.held = sessions.image.held;
    if (sessions.bounds.size() > 1 && layout.held.isEmpty()) {
        content.altered.damage = tr("where the later sessions lie in the image is not known, "
                                    "as the table of contents gives a session no lead-out");
        return content;
    }
    QFile file;
    if (openRegularFile(file, content.subPath, &content.altered.damage))
        content.altered = alteredQBlocks(file, layout, files.imageSectors().value_or(-1),
            keepEvery ? -1 : mostProtectedSectors + 1);
    return content;
}

// What the control file says of the whole image that no cue sheet can carry,
// or that leaves the sheet without a track: told of in every conversion. The
// tracks that the table of contents lists are named where its [Entry]
// sections were read (\a hasToc).
void noteWholeImage(ConvertedFile &converted, bool hasToc)
{
    const ControlFileSections &sections = converted.outcome.sections;
    // A rebuild that finds no tracks has said so in its own words, and the
    // advice to convert with --rebuild would send the user round in a circle.
    if (!converted.isRebuilt && !converted.outcome.hasTrackLines) {
        const QList<int> listed = hasToc ? tocTracks(sections).keys() : QList<int>();
        QStringList numbers;
        for (const int track : listed)
            numbers << QString::number(track);
        converted.additionRemarks.append({ FindingCode::NoTracks, 0, {},
            tr("The control file has no [TRACK] sections: the cue sheet names no track, and "
               "some "
               "programs hang on such a sheet."),
            numbers.isEmpty()
                ? tr("Convert it with %1, which takes the tracks from the table of "
                     "contents, or make the image again with a program that writes [TRACK] "
                     "sections.")
                      .arg(optionWords(AdvisedOption::Rebuild))
                : tr("The table of contents lists %1: convert with %2, which takes the "
                     "tracks from it, or add a [TRACK n] section for each, with MODE= and INDEX "
                     "1= from its [Entry].")
                      .arg((numbers.size() == 1 ? tr("track %1") : tr("tracks %1"))
                               .arg(numbers.join(QStringLiteral(", "))),
                          optionWords(AdvisedOption::Rebuild)) });
    }
    if (!sections.scrambled.isEmpty() && sections.scrambled != u"0") {
        converted.additionRemarks.append({ FindingCode::Scrambled, sections.scrambledLine, {},
            tr("DataTracksScrambled=%1: the image holds its data tracks scrambled.")
                .arg(sections.scrambled),
            tr("Programs that load a cue sheet expect plain sectors; make the image again "
               "without scrambling the data tracks.") });
    }
}

// A [TRACK n] header written twice leaves the first TRACK line of the cue
// sheet without a mode, running into the second: told of in every
// conversion, as the sheet's line looks broken without it.
void noteDoubledTrack(ConvertedFile &converted)
{
    const std::optional<DoubledTrack> &doubled = converted.outcome.doubledTrack;
    if (!doubled)
        return;
    converted.trackRemarks.append(
        { FindingCode::TrackNumber, doubled->line, cueNumber(doubled->number),
            tr("The header [TRACK %1] stands here and again on line %2, with no MODE=, INDEX or "
               "FLAGS= line between them, so the cue sheet's TRACK %3 line has no mode and runs "
               "into the one after it.")
                .arg(doubled->number)
                .arg(doubled->againLine)
                .arg(cueNumber(doubled->number)),
            tr("Remove one of the two [TRACK %1] lines.").arg(doubled->number) });
}

// Takes the tracks from the table of contents for a file without [TRACK]
// sections, or places them in their sessions, as \a options ask. False
// when the sessions refuse the file.
bool placeTracks(const ConversionOptions &options, ConvertedFile &converted)
{
    const int sessions = converted.outcome.sessions;
    if (options.rebuild && !converted.outcome.hasTrackLines) {
        if (sessions > 1) {
            // The rebuilt tracks are those of session 1 alone.
            converted.outcome.sessionRefusal = Remark{ FindingCode::SessionLayout, 0, {},
                tr("The file has no [TRACK] sections, and %2 takes the tracks of "
                   "session 1 "
                   "alone, so a cue sheet of its %1 sessions cannot be made.")
                    .arg(sessions)
                    .arg(optionWords(AdvisedOption::Rebuild)),
                tr("Convert it with %1 but without %2 for its first session, or "
                   "make the control file again with a program that writes [TRACK] "
                   "sections.")
                    .arg(optionWords(AdvisedOption::Rebuild),
                        optionWords(AdvisedOption::Sessions)) };
        } else {
            converted.isRebuilt = true;
            converted.rebuilt = rebuildTracks(converted.files, converted.outcome.sections);
            converted.sheet.lead.clear();
            converted.sheet.tracks = cueTracksOf(converted.rebuilt.tracks);
        }
    } else if (options.sessions && sessions == 1 && converted.outcome.sections.laterSessionLine) {
        converted.additionRemarks.append(laterSessionRemark(converted.outcome.sections));
    } else if (sessions > 1) {
        converted.layout = layOutSessions(converted.sheet.tracks, converted.outcome.sections,
            sessions, converted.files.imageSectors());
        converted.outcome.sessionRefusal = converted.layout.refusal;
        converted.additionRemarks = converted.layout.remarks;
    }
    if (!converted.outcome.sessionRefusal)
        return true;
    converted.outcome.refusal = Refusal::SessionLayout;
    return false;
}

// Cuts the image into the tracks' files, named \a names where given (one a
// track), and gives the cue sheet of those files in place of the image's own.
void splitImage(ConvertedFile &converted, const QStringList &names)
{
    const ConversionFiles &files = converted.files;
    if (!files.imageStatus.isFile) {
        converted.splitError = files.imageStatus.exists
            ? notAFile(files.imageStatus)
            : tr("there is no image %1 to cut").arg(shownPath(files.image));
        return;
    }
    converted.trackFiles =
        trackFiles(converted.sheet, converted.layout.image.held, files.imageStatus.size,
            imageName(files.controlFile, files.separator), &converted.splitError);
    if (converted.trackFiles.isEmpty())
        return;
    for (qsizetype i = 0; i < names.size() && i < converted.trackFiles.size(); ++i)
        converted.trackFiles[i].name = names[i];
    converted.cueSheet = cueText(
        splitSheet(converted.sheet, converted.trackFiles, isCdiDisc(converted.outcome.sections)));
}

} // namespace

QStringList ConvertedFile::warnings() const
{
    QStringList warnings;
    for (const Remark &remark : rebuilt.remarks)
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
    for (const Remark &remark : additionRemarks + trackRemarks) {
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

std::optional<Remark> unwrittenSbi(const QString &sbiPath, const SbiContent &content)
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
        return Remark{ FindingCode::StaleSbi, 0, {},
            tr("%1 beside the cue sheet %2 that no .sub here confirms; PlayStation "
               "emulators load it with the cue sheet all the same.")
                .arg(name, held),
            tr("Keep it only if it comes from a record of this disc's protection.") };
    return Remark{ FindingCode::StaleSbi, 0, {},
        tr("%1 beside the cue sheet %2, not the %3 that %4 gives; PlayStation "
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
    CueSheet &sheet = converted.sheet;
    converted.files = conversionFiles(path, options.separator);
    sheet.fileName = imageFileName(converted.files, converted);
    // The sections are read only where something needs them; a plain
    // conversion writes the scan's pieces straight into its text, which
    // costs less than a model of the sheet. The split sheet names a CD-i
    // disc's tracks as the table of contents' disc type tells.
    const bool readsSections = options.cdText || alsoEachLine || options.rebuild || options.sessions
        || options.codes || options.split;
    const bool isPlain = !readsSections && options.sbi == SbiWrite::No && !options.split;
    QString plainText = cueFileLine(sheet.fileName);
    CueSheetBuilder builder(sheet);
    converted.outcome = scanControlFile(path, isPlain ? &plainText : nullptr,
        isPlain ? nullptr : &builder, alsoEachLine, readsSections, options.sessions);
    // What the file is, or whether it can be read, tells the user more.
    if (!converted.isRefused() && sheet.fileName.isEmpty())
        converted.outcome.refusal = Refusal::ImageNameNotInCodePage;
    if (converted.isRefused())
        return converted;
    noteDoubledTrack(converted);
    if (isPlain) {
        noteWholeImage(converted, false);
        converted.cueSheet = plainText;
        return converted;
    }

    if (!placeTracks(options, converted))
        return converted;
    const ControlFileSections &sections = converted.outcome.sections;
    if (!converted.isRebuilt) {
        placeInSessions(sheet, converted.layout);
        if (options.codes)
            addIsrcs(sheet, sections, &converted.additionRemarks);
    }
    if (options.cdText && sections.hasCdText) {
        QList<QByteArray> packs;
        if (cdTextPacks(sections.cdText, &packs, &converted.cdTextError)
            && decodeCdText(packs, &converted.cdText, &converted.cdTextError)) {
            converted.unwritableCdText = unwritableText(converted.cdText);
            if (converted.unwritableCdText.isEmpty())
                sheet.cdText = converted.cdText;
        }
    }
    if (options.codes)
        addCatalog(sheet, sections, &converted.additionRemarks);
    noteWholeImage(converted, readsSections);
    if (options.sbi != SbiWrite::No)
        converted.sbi =
            sbiContent(converted.files, sheet, converted.layout, options.sbi == SbiWrite::Always);
    if (options.split)
        splitImage(converted, options.splitNames);
    else
        converted.cueSheet = cueText(sheet);
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

} // namespace morvant
