#include "check.h"
#include "lineRules.h"
#include "optionWords.h"

#include "basics.h"
#include "conversion.h"
#include "discFiles.h"
#include "discImage.h"
#include "fileSystem.h"
#include "numbers.h"
#include "rebuild.h"
#include "refusals.h"
#include "trackFiles.h"

#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <limits>
#include <optional>

namespace morvant {

namespace {

// Judges the lines of the control file as the scan hands them over, and
// gathers the tracks that the cue sheet gets from them and the findings.
struct Scan
{
    QList<CueTrack> tracks; ///< the sheet's, once the conversion has made it
    int trackCount = 0; ///< of the lines taken so far
    QString trackNumber; ///< of the last track taken, as the cue sheet writes it
    int trackLine = 0;
    bool trackHasIndex = false;
    QList<Remark> findings;
    /// On a long file most texts repeat: the advice of a kind of finding,
    /// track and index numbers. Each is kept once, so that the report stays
    /// small; a set keeps the text it holds when given an equal one.
    QSet<QString> texts;
    ControlFileSections sections;
    QSet<int> linesWithFindings;
    QSet<int> tracksWithModeFinding; ///< indexes into tracks
    QSet<int> tracksWithIndexOneFinding;
    QString section; ///< the current section's name, blanks simplified, upper case
    bool isTrackLineOpen = false; ///< a TRACK piece still waits for its mode
    int modeProblemLine = 0; ///< an unusable MODE line of the open track

    QString shared(const QString &text) { return *texts.insert(text); }
    void add(FindingCode code, int line, const QString &track, const QString &message,
        const QString &advice)
    {
        findings.append({ code, line, track, shared(message), shared(advice) });
    }
    void add(const Remark &remark)
    {
        add(remark.code, remark.line, remark.track, remark.message, remark.advice);
    }

    void take(const ControlFileLine &line);
    void takeMisread(int number, QStringView line);
    void takeRuled(int number, const RuledLine &ruled);
    void reportRunOn(int number);
};

void Scan::take(const ControlFileLine &line)
{
    if (line.startsSection)
        section = line.section.toString().toUpper();
    if (!line.isPastSessions)
        return;
    takeMisread(line.number, line.text);
    if (line.ruled.rule != LineRule::None)
        takeRuled(line.number, line.ruled);
}

void Scan::takeMisread(int number, QStringView line)
{
    const std::optional<Misreading> misread = misreadingOf(line);
    if (!misread)
        return;
    const QString &intended = misread->intended;
    const bool isHeader = intended.startsWith(u'[');
    if (!isHeader && !section.startsWith(u"TRACK"))
        return;
    const QString quoted = quotedLine(line.toString());
    const QString message = !misread->isRead
        ? tr("%1 is passed over because of its case or spacing, so the cue sheet lacks it.")
              .arg(quoted)
        : misread->given.isEmpty()
        ? tr("%1 adds nothing to the cue sheet because of its case or spacing.").arg(quoted)
        : tr("%1 is misread because of its case or spacing: the cue sheet gets %2.")
              .arg(quoted, quotedLine(misread->given.trimmed()));
    add(FindingCode::KeywordForm, number, isHeader ? QString() : trackNumber, message,
        tr("Write it as %1; such lines usually come from editing by hand.")
            .arg(quotedLine(intended)));
    linesWithFindings.insert(number);
    if (trackCount == 0 || isHeader)
        return;
    const int track = trackCount - 1;
    if (intended.startsWith(u"MODE="))
        tracksWithModeFinding.insert(track);
    if (intended.startsWith(u"INDEX ")
        && QStringView(intended).sliced(6, intended.indexOf(u'=') - 6).toInt() == 1)
        tracksWithIndexOneFinding.insert(track);
}
void Scan::reportRunOn(int number)
{
    if (!isTrackLineOpen)
        return;
    isTrackLineOpen = false;
    if (tracksWithModeFinding.contains(trackCount - 1))
        return;
    const QString message = number
        ? tr("The TRACK %1 line of the cue sheet has no mode, so it runs into the "
             "cue sheet's next line.")
              .arg(trackNumber)
        : tr("The TRACK %1 line of the cue sheet has no mode and ends the cue "
             "sheet without a line end.")
              .arg(trackNumber);
    const QString advice = modeProblemLine
        ? tr("Its MODE= line (line %1) gives no mode a cue sheet knows: write MODE=0 for audio, "
             "MODE=1 or MODE=2 for data.")
              .arg(modeProblemLine)
        : tr("Put a MODE= line (0 audio, 1 or 2 data) right after the [TRACK] line, before any "
             "INDEX or FLAGS line.");
    const int line = modeProblemLine ? modeProblemLine : trackLine;
    add(FindingCode::TrackLine, line, trackNumber, message, advice);
    linesWithFindings.insert(line);
}

void Scan::takeRuled(int number, const RuledLine &ruled)
{
    const LineRule rule = ruled.rule;
    if (rule == LineRule::Track) {
        reportRunOn(number);
        ++trackCount;
        trackNumber = shared(cueNumber(ruled.number));
        trackLine = number;
        trackHasIndex = false;
        isTrackLineOpen = true;
        modeProblemLine = 0;
        return;
    }
    const QLatin1String mode = rule == LineRule::Mode ? modeOf(ruled.value) : QLatin1String();
    if (rule == LineRule::Mode && mode.isEmpty()) {
        if (isTrackLineOpen) {
            modeProblemLine = number;
        } else if (!linesWithFindings.contains(number)) {
            add(FindingCode::StrayLine, number, trackNumber,
                tr("%1 gives no mode a cue sheet knows.")
                    .arg(quotedLine(QStringLiteral("MODE=") + ruled.value.toString())),
                tr("Write MODE=0 for audio, MODE=1 or MODE=2 for data."));
        }
        return;
    }
    if (rule == LineRule::Mode && isTrackLineOpen) {
        isTrackLineOpen = false;
        return;
    }
    reportRunOn(number);
    if (trackCount == 0 || rule == LineRule::Mode) {
        if (linesWithFindings.contains(number))
            return;
        add(FindingCode::StrayLine, number, trackNumber,
            trackCount == 0
                ? tr("This line comes before the first track, so the cue sheet gets %1 "
                     "outside any track.")
                      .arg(quotedLine(cuePieceOf(ruled).trimmed()))
                : tr("This MODE= line does not follow a [TRACK] line directly, so the cue "
                     "sheet gets %1 on a line of its own.")
                      .arg(quotedLine(cuePieceOf(ruled))),
            tr("Keep MODE=, INDEX and FLAGS= lines inside a [TRACK] section, with "
               "MODE= right after the section's first line."));
        return;
    }
    if (rule == LineRule::Flags) {
        if (ruled.value.trimmed().isEmpty()) {
            add(FindingCode::FlagsEmpty, number, trackNumber,
                tr("This FLAGS= line names no flag, so the cue sheet gets a FLAGS line without "
                   "one, which programs that load it may refuse."),
                tr("Remove the line, or write the flags the track has, such as `FLAGS= DCP`."));
        } else if (trackHasIndex) {
            // The conversion keeps the lines' order, and a cue sheet's FLAGS
            // belong before the track's first INDEX.
            add(FindingCode::FlagsOrder, number, trackNumber,
                tr("This FLAGS= line comes after an INDEX line, so the cue sheet has FLAGS "
                   "after INDEX in track %1, where programs that load it expect it before.")
                    .arg(trackNumber),
                tr("Move the FLAGS= line above the INDEX lines of its [TRACK] section."));
        }
    } else if (rule == LineRule::Index) {
        trackHasIndex = true;
    }
}

void checkTracks(Scan &scan)
{
    std::optional<int> previousNumber;
    const CueLine *previousIndex = nullptr;
    for (int i = 0; i < scan.tracks.size(); ++i) {
        const CueTrack &track = scan.tracks[i];
        const std::optional<int> number = wholeNumber(track.number);
        if (!number) {
            if (!scan.linesWithFindings.contains(track.line))
                scan.add(FindingCode::TrackNumber, track.line, track.number,
                    tr("The track number %1 is not a number.").arg(quotedLine(track.number)),
                    tr("Write the section's first line as [TRACK n], n from 1 to 99."));
        } else if (*number < 1 || *number > 99) {
            scan.add(FindingCode::TrackNumber, track.line, track.number,
                tr("Track %1 lies outside the numbers 1 to 99 that a disc can have.")
                    .arg(track.number),
                tr("Number the tracks from 1 upwards."));
        } else if (*number != (previousNumber ? *previousNumber + 1 : 1)) {
            scan.add(FindingCode::TrackNumber, track.line, track.number,
                previousNumber
                    ? tr("Track %1 follows track %2: track numbers must run upwards without "
                         "gaps.")
                          .arg(track.number, cueNumber(QString::number(*previousNumber)))
                    : tr("The first track is track %1, but tracks are numbered from 1.")
                          .arg(track.number),
                tr("Check that no [TRACK] section is missing or doubled, and number the tracks "
                   "from 1 upwards."));
        }
        if (number)
            previousNumber = number;

        const bool hasIndexOne = std::any_of(track.lines.begin(), track.lines.end(),
            [](const CueLine &index) { return index.isIndex() && index.indexNumber() == 1; });
        if (!hasIndexOne && !scan.tracksWithIndexOneFinding.contains(i)) {
            scan.add(FindingCode::NoIndex1, track.line, track.number,
                tr("Track %1 has no INDEX 1, where a track starts: it cannot be played or "
                   "read.")
                    .arg(track.number),
                tr("Add an INDEX 1=sector line to the [TRACK] section, taking the sector from "
                   "the table of contents (PLBA of the track's [Entry])."));
        }

        std::optional<int> previousIndexNumber;
        for (const CueLine &index : track.lines) {
            if (!index.isIndex())
                continue;
            if (index.sectors < 0) {
                if (!scan.linesWithFindings.contains(index.line))
                    scan.add(FindingCode::IndexValue, index.line, track.number,
                        tr("The INDEX %1 value is not a sector count, so the cue sheet's INDEX "
                           "line has no time.")
                            .arg(index.number),
                        tr("Write the position as a whole number of sectors: INDEX n=sector."));
                continue;
            }
            const std::optional<int> indexNumber = index.indexNumber();
            if (indexNumber && previousIndexNumber && *indexNumber <= *previousIndexNumber) {
                scan.add(FindingCode::IndexOrder, index.line, track.number,
                    tr("INDEX %1 comes after INDEX %2 in track %3: index numbers must rise.")
                        .arg(index.number, cueNumber(QString::number(*previousIndexNumber)),
                            track.number),
                    tr("List a track's INDEX lines in rising order, each number once."));
            } else if (previousIndex && index.sectors < previousIndex->sectors) {
                scan.add(FindingCode::IndexOrder, index.line, track.number,
                    tr("INDEX %1 of track %2 (%3) lies before the index above it (%4): "
                       "positions must not go backwards.")
                        .arg(index.number, track.number, index.time(), previousIndex->time()),
                    tr("Check the sector counts against the table of contents; a digit may "
                       "have been lost."));
            }
            if (indexNumber)
                previousIndexNumber = indexNumber;
            previousIndex = &index;
        }
    }
}

std::optional<qint64> indexSectors(const CueTrack &track, std::optional<int> number)
{
    for (const CueLine &index : track.lines) {
        if (index.isIndex() && index.sectors >= 0 && (!number || index.indexNumber() == number))
            return index.sectors;
    }
    return std::nullopt;
}

// \a discEnd is -1 when unknown: plain numbers, as GCC's optimised builds
// warn of optionals here.
void checkLengths(Scan &scan, qint64 discEnd)
{
    for (qsizetype i = 0; i < scan.tracks.size(); ++i) {
        const CueTrack &track = scan.tracks[i];
        const qint64 start = indexSectors(track, 1).value_or(-1);
        // A session's last track ends at its lead-out.
        const bool endsSession = i + 1 < scan.tracks.size() && track.session > 0
            && scan.tracks[i + 1].session != track.session;
        const qint64 end = endsSession ? leadOutOfSession(scan.sections, track.session).value_or(-1)
            : i + 1 < scan.tracks.size()
            ? indexSectors(scan.tracks[i + 1], std::nullopt).value_or(-1)
            : discEnd;
        if (start < 0 || end < 0 || end < start || end - start >= shortestTrack)
            continue;
        scan.add(FindingCode::ShortTrack, track.line, track.number,
            tr("Track %1 lasts %2 sectors, less than the 4 seconds (300 sectors) a CD track "
               "must last.")
                .arg(track.number)
                .arg(end - start),
            tr("Burning programs refuse such a track; check its INDEX lines and those of the "
               "next track against the table of contents."));
    }
}

// The flags that the cue sheet gives \a track against those of its
// Control value in the table of contents (\a entry).
void checkFlags(Scan &scan, const CueTrack &track, const TocEntry &entry, bool isAudio)
{
    const qint64 control = *entry.control;
    QStringList given;
    for (const QString &flags : track.flags())
        given += flags.toUpper().split(u' ', Qt::SkipEmptyParts);
    given.removeDuplicates();
    given.sort();
    QStringList expected = tocFlags(control, isAudio).split(u' ', Qt::SkipEmptyParts);
    expected.sort();
    if (given != expected) {
        const auto described = [](const QStringList &flags) {
            return flags.isEmpty() ? tr("no flags") : tr("the flags %1").arg(flags.join(u' '));
        };
        scan.add(FindingCode::FlagsMismatch, track.line, track.number,
            tr("Track %1 has %2 in the cue sheet, but %3 by the table of contents "
               "(line %4: Control=0x%5).")
                .arg(track.number, described(given), described(expected))
                .arg(entry.line)
                .arg(control, 2, 16, QLatin1Char('0')),
            expected.isEmpty()
                ? tr("Remove the FLAGS= line, or make it agree with the table of contents.")
                : tr("Write `FLAGS= %1` in the [TRACK] section.").arg(expected.join(u' ')));
    }
}

void checkToc(Scan &scan, bool everySession)
{
    if (scan.tracks.isEmpty())
        return;
    if (scan.sections.toc.isEmpty()) {
        scan.add(FindingCode::NoToc, 0, {},
            tr("The control file has no table of contents ([Entry] sections), so the tracks' "
               "modes and flags cannot be checked."),
            tr("Such a file was probably written by hand; make sure each track's MODE and "
               "FLAGS are right."));
        return;
    }
    const QMap<int, const TocEntry *> entries =
        everySession ? tocTracksOfEverySession(scan.sections) : tocTracks(scan.sections);
    QStringList missing;
    for (const CueTrack &track : scan.tracks) {
        const std::optional<int> number = wholeNumber(track.number);
        if (!number)
            continue;
        const TocEntry *entry = entries.value(*number);
        if (!entry) {
            missing << track.number;
            continue;
        }
        if (!entry->control)
            continue;
        const qint64 control = *entry->control;
        const bool tocIsData = control & 0x04;
        if (!track.mode.isEmpty() && (track.mode != u"AUDIO") != tocIsData) {
            scan.add(FindingCode::ModeMismatch, track.line, track.number,
                tr("Track %1 is %2 in the cue sheet, but the table of contents marks it as %3 "
                   "(line %4: Control=0x%5).")
                    .arg(track.number, track.mode, tocIsData ? tr("data") : tr("audio"))
                    .arg(entry->line)
                    .arg(control, 2, 16, QLatin1Char('0')),
                tr("One of them is wrong; a player reads the track by the cue sheet's mode. "
                   "Make MODE= agree with the table of contents."));
        }
        checkFlags(scan, track, *entry, track.mode.isEmpty() ? !tocIsData : track.mode == u"AUDIO");
        const std::optional<qint64> start = indexSectors(track, 1);
        if (entry->plba && start && *entry->plba != *start) {
            scan.add(FindingCode::StartMismatch, track.line, track.number,
                tr("Track %1 starts at sector %2 by its INDEX 1, but at sector %3 by the "
                   "table of contents (line %4).")
                    .arg(track.number)
                    .arg(*start)
                    .arg(*entry->plba)
                    .arg(entry->line),
                tr("The track data does not match the disc: check INDEX 1 against the "
                   "[Entry] PLBA."));
        }
    }
    if (!missing.isEmpty()) {
        scan.add(FindingCode::TocMissing, 0, {},
            (missing.size() == 1 ? tr("The table of contents has no entry for track %1, so its "
                                      "mode and flags cannot be checked.")
                                 : tr("The table of contents has no entries for tracks %1, so "
                                      "their modes and flags cannot be checked."))
                .arg(missing.join(QStringLiteral(", "))),
            tr("The control file may be incomplete; make it again from the disc if you can."));
    }
}

void checkBeyondEnd(Scan &scan, qint64 end)
{
    if (const std::optional<Remark> finding = beyondEndFinding(scan.tracks, end))
        scan.add(*finding);
}

void checkImage(const ConversionFiles &files, Scan &scan, CheckReport &report, qint64 &discEnd,
    const SessionLayout *sessions)
{
    report.imagePath = files.image;
    const FileStatus &image = files.imageStatus;
    report.imageExists = image.isFile;
    if (image.exists && !image.isFile) {
        report.imageNotFile = notAFile(image);
        scan.add(FindingCode::ImageNotFile, 0, {},
            tr("The image %1 that the cue sheet names cannot be used: %2.")
                .arg(shownPath(report.imagePath), report.imageNotFile),
            tr("Put the image itself beside the control file under that name."));
        return;
    }
    if (!report.imageExists) {
        const QString other = sameNameOtherCase(report.imagePath);
        scan.add(FindingCode::ImageMissing, 0, {},
            tr("The image %1 that the cue sheet names is not beside the control file.")
                .arg(shownPath(report.imagePath)),
            other.isEmpty() ? tr("Put the image beside the control file under that name, or "
                                 "rename the control file after the image.")
                            : tr("There is %1, whose name differs in case: rename it to %2.")
                                  .arg(other,
                                      shownPath(imageName(files.controlFile, files.separator)
                                          + QStringLiteral(".img"))));
        return;
    }
    report.imageSize = image.size;
    const qint64 sectors = report.imageSize / imageSectorSize;
    if (sessions)
        report.imageHolds = sessions->image.holds;
    // With sessions the image's length is judged by how it holds them.
    if (sessions)
        discEnd = -1;
    if (const std::optional<Remark> finding = partialSectorFinding(report.imageSize)) {
        scan.add(*finding);
    } else if (discEnd >= 0 && discEnd != sectors) {
        scan.add(FindingCode::ImageLength, 0, {},
            tr("The image holds %1 sectors, but the table of contents says the disc has %2.")
                .arg(sectors)
                .arg(discEnd),
            tr("The image and the control file do not belong together, or the image is "
               "incomplete."));
    }
    // Where the image ends on the disc; not known when how it holds the
    // sessions is not.
    if (!sessions)
        discEnd = sectors;
    else if (!sessions->image.held.isEmpty())
        discEnd = discSector(sessions->image.held, sectors);
    checkBeyondEnd(scan, discEnd >= 0 ? discEnd : std::numeric_limits<qint64>::max());
}

// What the .sub beside the image gives, as --sbi reads it, whether or not
// there is an image.
void checkSubchannel(const ConversionFiles &files, Scan &scan, const std::optional<SbiContent> &sbi)
{
    const QString otherSub = files.subStatus.isFile ? files.sub : sameNameOtherCase(files.sub);
    if (sbi && sbi->hasSub && !sbi->altered.damage.isEmpty()) {
        scan.add(FindingCode::SubchannelUnusable, 0, {},
            tr("No .sbi can be made: %1").arg(unusableSubText(*sbi)),
            tr("Put the disc's .sub beside the image under its name, or make it again from the "
               "disc."));
        return;
    }
    // A few dozen altered blocks are protection; thousands, a damaged .sub.
    if (sbi && sbi->looksDamaged()) {
        scan.add(FindingCode::SubchannelUnusable, 0, {},
            tr("No .sbi can be made: %1").arg(damagedSubText(*sbi)),
            tr("Make the .sub again from the disc; %1 writes every differing block all the same.")
                .arg(optionWords(AdvisedOption::SbiAll)));
        return;
    }
    if (sbi && !sbi->altered.blocks.isEmpty()) {
        const qint64 count = sbi->altered.count;
        scan.add(FindingCode::AlteredSubchannel, 0, {},
            tr("This disc's subchannel holds altered blocks that a cue sheet loses: convert "
               "with %1.")
                .arg(quotedOptionWords(AdvisedOption::Sbi)),
            (count == 1 ? tr("%1 holds %2 Q block, at sector %3, that differs from what the cue "
                             "sheet gives a player, as copy protection such as LibCrypt on "
                             "PlayStation games makes them; %4 keeps it in a .sbi file "
                             "beside the cue sheet, which emulators read.")
                        : tr("%1 holds %2 Q blocks, the first at sector %3, that differ from what "
                             "the cue sheet gives a player, as copy protection such as LibCrypt "
                             "on PlayStation games makes them; %4 keeps them in a .sbi file "
                             "beside the cue sheet, which emulators read."))
                .arg(shownPath(QFileInfo(sbi->subPath).fileName()), QString::number(count),
                    QString::number(sbi->altered.blocks.first().sector),
                    optionWords(AdvisedOption::Sbi)));
    } else if (!otherSub.isEmpty()) {
        scan.add(FindingCode::Subchannel, 0, {},
            tr("There is subchannel data (%1) beside the image, which a cue sheet cannot "
               "carry.")
                .arg(shownPath(QFileInfo(otherSub).fileName())),
            tr("A program that loads the cue sheet sees no subchannel data, copy protection "
               "included; keep using the .ccd file where that matters."));
    }
}

// What the conversion itself tells of the file: CD-Text that cannot be
// decoded or written, an image named by its short name; and the disc's and
// tracks' CD-Text, which the report shows when asked for.
void addConversionNotes(
    Scan &scan, CheckReport &report, const ConvertedFile &converted, bool withCdText)
{
    if (scan.sections.hasCdText && !converted.cdTextError.isEmpty()) {
        scan.add(FindingCode::CdText, 0, {},
            tr("The [CDText] section cannot be decoded: %1.").arg(converted.cdTextError),
            tr("The cue sheet gets no TITLE or PERFORMER lines; add them by hand if you "
               "need them."));
    } else if (withCdText && scan.sections.hasCdText) {
        const CdText &cdText = converted.cdText;
        report.title = cdText.title;
        report.performer = cdText.performer;
        for (CueTrack &track : scan.tracks) {
            if (const std::optional<int> trackNumber = wholeNumber(track.number)) {
                track.title = cdText.titles.value(*trackNumber);
                track.performer = cdText.performers.value(*trackNumber);
            }
        }
    }

    if (!converted.shortImageName.isEmpty()) {
        scan.add(FindingCode::CodePage, 0, {},
            shortNameText(converted.longImageName, converted.shortImageName),
            tr("Programs that read cue sheets in the system's code page find the image; to "
               "name it by its own name, rename it and the control file with characters of "
               "the code page."));
    }
    if (!converted.unwritableCdText.isEmpty()) {
        scan.add(FindingCode::CodePage, 0, {},
            tr("The system's code page, in which cue sheets are written, cannot hold %1 of "
               "the CD-Text.")
                .arg(converted.unwritableCdText),
            tr("The cue sheet gets no TITLE or PERFORMER lines; add them by hand with "
               "characters of the code page if you need them."));
    }
}

} // namespace

CheckReport checkControlFile(const QString &path, const ConversionOptions &options)
{
    CheckReport report;
    report.path = path;

    Scan scan;
    // The .sub is always checked, as a conversion with --sbi reads it.
    ConversionOptions conversion = options;
    conversion.sbi = SbiWrite::UnlessDamaged;
    ConvertedFile converted =
        convert(path, conversion, [&](const ControlFileLine &line) { scan.take(line); });
    report.refusal = converted.outcome.refusal;
    if (report.isRefused()) {
        report.findings.append(refusalRemark(path, converted.outcome));
        return report;
    }
    scan.reportRunOn(0);
    scan.sections = converted.outcome.sections;
    report.cueSheet = converted.cueSheet;
    // The tracks are checked where the sheet puts them: rebuilt, or in their sessions.
    scan.tracks = std::move(converted.sheet.tracks);
    for (const Remark &remark : converted.rebuilt.remarks)
        scan.add(remark);
    const bool hasSessions = converted.outcome.sessions > 1;

    // With --sessions the conversion itself says so.
    if (scan.sections.laterSessionLine && !hasSessions && !options.sessions)
        scan.add(laterSessionRemark(scan.sections));
    // What the control file says of the whole image, and a sheet without
    // tracks, come with the conversion's remarks.
    checkTracks(scan);
    // -1 when unknown: a plain number, as GCC's optimised builds warn of an optional here.
    qint64 discEnd = (hasSessions ? leadOutOfSession(scan.sections, converted.outcome.sessions)
                                  : leadOut(scan.sections))
                         .value_or(-1);
    checkToc(scan, hasSessions);
    checkImage(converted.files, scan, report, discEnd, hasSessions ? &converted.layout : nullptr);
    checkSubchannel(converted.files, scan, converted.sbi);
    checkLengths(scan, discEnd);

    addConversionNotes(scan, report, converted, options.cdText);
    for (const Remark &remark : converted.additionRemarks)
        scan.add(remark);
    // A .sbi that a conversion with --sbi leaves as it stands.
    if (converted.sbi && !converted.sbi->isWritten()) {
        if (const std::optional<Remark> remark = unwrittenSbi(converted.files.sbi, *converted.sbi))
            scan.add(*remark);
    }

    std::stable_sort(scan.findings.begin(), scan.findings.end(),
        [](const Remark &a, const Remark &b) { return a.line < b.line; });
    report.tracks = scan.tracks;
    report.findings = scan.findings;
    return report;
}

} // namespace morvant
