#include "sheetAdditions.h"

#include "lineRules.h"
#include "translation.h"

#include <QMap>

#include <algorithm>
#include <limits>

namespace {

QString sessionNumber(int session)
{
    return QStringLiteral("%1").arg(session, 2, 10, QLatin1Char('0'));
}

// A TRACK line without a mode runs into what follows it, so what is put
// before a piece must go where its line starts.
bool isLineStart(const QString &cueSheet, qsizetype at)
{
    return at == 0 || cueSheet[at - 1] == u'\n';
}

// The places of a session's first track in \a layout, and its disc position.
struct SessionStart
{
    int session = 0;
    qsizetype track = 0;
    qint64 sector = 0;
};

// The track's INDEX 1 with a sector count, where it starts; null when it has none.
const PlacedIndex *indexOneOf(const PlacedTrack &track)
{
    const auto found = std::find_if(track.indexes.begin(), track.indexes.end(),
        [](const PlacedIndex &index) { return index.isOne && index.sectors >= 0; });
    return found == track.indexes.end() ? nullptr : &*found;
}

SheetRemark refusal(
    const PlacedTrack *track, int line, const QString &message, const QString &advice)
{
    return { FindingCode::SessionLayout, line, track ? track->number : QString(), message, advice };
}

// Finds the first reason why the tracks cannot be placed, filling in
// \a layout as it goes; the sessions' starts go to \a starts.
std::optional<SheetRemark> placeTracks(const QList<PlacedTrack> &tracks,
    const ControlFileSections &sections, int sessions, SessionLayout &layout,
    QList<SessionStart> &starts)
{
    const QMap<int, const TocEntry *> entries = tocTracksOfEverySession(sections);
    const QString rebuildAdvice =
        tr("Make the control file again from the disc, or add the track's [Entry] row "
           "(Point=, Session=, PLBA=) as the disc has it.");
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const PlacedTrack &track = tracks[i];
        const std::optional<int> number = wholeNumber(track.number);
        const TocEntry *entry = number ? entries.value(*number) : nullptr;
        if (!entry)
            return refusal(&track, track.line,
                tr("No [Entry] row of the table of contents places track %1 in a session, so "
                   "where it lies on the disc is not known.")
                    .arg(track.number),
                rebuildAdvice);
        const int session = int(qBound(qint64(0), entry->session, qint64(100)));
        const int previous = starts.isEmpty() ? 0 : starts.last().session;
        if (starts.isEmpty() ? session != 1 : session != previous && session != previous + 1)
            return refusal(&track, entry->line,
                previous == 0 ? tr("The first track, %1, lies in session %2 by the table of "
                                   "contents (line %3), but a disc starts with session 1.")
                                    .arg(track.number)
                                    .arg(entry->session)
                                    .arg(entry->line)
                              : tr("Track %1 lies in session %2 by the table of contents (line "
                                   "%3), after a track of session %4: the sessions are out of "
                                   "order.")
                                    .arg(track.number)
                                    .arg(entry->session)
                                    .arg(entry->line)
                                    .arg(previous),
                tr("Check the Session= values of the [Entry] rows against the disc."));
        const PlacedIndex *indexOne = indexOneOf(track);
        if (!indexOne)
            return refusal(&track, track.line,
                tr("Track %1 has no INDEX 1 with a sector count, so the offset of its session "
                   "cannot be told.")
                    .arg(track.number),
                tr("Add an INDEX 1=sector line to the [TRACK] section."));
        if (!entry->plba)
            return refusal(&track, entry->line,
                tr("The [Entry] row of track %1 (line %2) gives no PLBA, so where the track "
                   "lies on the disc is not known.")
                    .arg(track.number)
                    .arg(entry->line),
                rebuildAdvice);
        const qint64 offset = *entry->plba - indexOne->sectors;
        if (session != previous) {
            if (session == 1 && offset != 0)
                return refusal(&track, indexOne->line,
                    tr("Track %1 starts at sector %2 by its INDEX 1, but at sector %3 by the "
                       "table of contents (line %4); in session 1 the two must agree.")
                        .arg(track.number)
                        .arg(indexOne->sectors)
                        .arg(*entry->plba)
                        .arg(entry->line),
                    tr("Check INDEX 1 against the [Entry] PLBA."));
            starts.append({ session, i, *entry->plba });
        } else if (offset != layout.offsets[starts.last().track]) {
            const PlacedTrack &first = tracks[starts.last().track];
            return refusal(&track, indexOne->line,
                tr("Track %1 lies %2 sectors after its INDEX 1 by the table of contents (line "
                   "%3), but %4, the first track of session %5, lies %6 after its own: the "
                   "tracks of a session must agree.")
                    .arg(track.number)
                    .arg(offset)
                    .arg(entry->line)
                    .arg(first.number)
                    .arg(session)
                    .arg(layout.offsets[starts.last().track]),
                tr("Check INDEX 1 of the track and its [Entry] PLBA against the disc."));
        }
        for (const PlacedIndex &index : track.indexes) {
            if (index.sectors >= 0
                && (index.sectors + offset < 0
                    || index.sectors + offset > std::numeric_limits<qint32>::max()))
                return refusal(&track, index.line,
                    tr("An INDEX of track %1 lies outside the disc once its session's offset "
                       "(%2 sectors) is added.")
                        .arg(track.number)
                        .arg(offset),
                    tr("Check the INDEX lines of the track against the table of contents."));
        }
        layout.sessions.append(session);
        layout.offsets.append(offset);
    }
    const int placed = starts.isEmpty() ? 0 : starts.last().session;
    if (placed != sessions)
        return refusal(nullptr, sections.sessionsLine,
            tr("The file says Sessions=%1, but its tracks lie in %2 sessions.")
                .arg(sessions)
                .arg(placed),
            tr("Make the control file again from the disc: a session's tracks are missing."));
    return std::nullopt;
}

} // namespace

void SheetPlaces::take(const ControlFileLine &line, qsizetype sheetSize)
{
    const qsizetype start = before;
    before = sheetSize;
    if (!line.isPastSessions)
        return;
    if (line.ruled.rule == LineRule::Track) {
        tracks.append({ cueNumber(line.ruled.number), line.number, start, -1, {} });
        return;
    }
    if (line.ruled.rule != LineRule::Index || tracks.isEmpty())
        return;
    PlacedTrack &track = tracks.last();
    if (track.firstIndex < 0)
        track.firstIndex = start;
    if (line.sessions < 2)
        return;
    // The piece ends in the time and CR LF.
    const qint64 sectors = sectorCount(line.ruled.value);
    const qsizetype timeEnd = sheetSize - 2;
    const bool isOne = wholeNumber(line.ruled.number) == 1;
    track.indexes.append(
        { line.number, sectors, isOne, timeEnd - sectorCountToMsf(sectors).size(), timeEnd });
}

SessionLayout layOutSessions(const QList<PlacedTrack> &tracks, const ControlFileSections &sections,
    int sessions, std::optional<qint64> imageSectors)
{
    SessionLayout layout;
    QList<SessionStart> starts;
    layout.refusal = placeTracks(tracks, sections, sessions, layout, starts);
    if (layout.refusal)
        return layout;

    for (qsizetype s = 0; s + 1 < starts.size(); ++s) {
        const TocEntry *leadOut = leadOutEntry(sections, starts[s].session);
        const SessionStart &next = starts[s + 1];
        if (!leadOut) {
            layout.remarks.append({ FindingCode::SessionUnchecked, 0, {},
                tr("The table of contents gives session %1 no lead-out (point A2), so the cue "
                   "sheet has no REM LEAD-OUT line for it.")
                    .arg(starts[s].session),
                tr("Most programs do without it; make the control file again from the disc "
                   "if yours needs it.") });
        } else if (*leadOut->plba <= starts[s].sector) {
            layout.refusal = refusal(&tracks[starts[s].track], leadOut->line,
                tr("The lead-out of session %1 (line %2) lies at sector %3, not after the "
                   "session's first track, track %4, at sector %5.")
                    .arg(starts[s].session)
                    .arg(leadOut->line)
                    .arg(*leadOut->plba)
                    .arg(tracks[starts[s].track].number)
                    .arg(starts[s].sector),
                tr("The table of contents contradicts itself; make the control file again from "
                   "the disc."));
            return layout;
        } else if (*leadOut->plba >= next.sector) {
            layout.refusal = refusal(&tracks[next.track], leadOut->line,
                tr("The lead-out of session %1 (line %2) lies at sector %3, not before the "
                   "first track of session %4, track %5, at sector %6.")
                    .arg(starts[s].session)
                    .arg(leadOut->line)
                    .arg(*leadOut->plba)
                    .arg(next.session)
                    .arg(tracks[next.track].number)
                    .arg(next.sector),
                tr("The table of contents contradicts itself; make the control file again from "
                   "the disc."));
            return layout;
        }
    }

    // Every track has an INDEX 1 by now.
    const PlacedTrack *last = tracks.isEmpty() ? nullptr : &tracks.last();
    qint64 lastTrackStart = 0;
    if (last) {
        lastTrackStart = indexOneOf(*last)->sectors + layout.offsets.last();
    }
    if (!imageSectors) {
        layout.remarks.append({ FindingCode::SessionUnchecked, 0, {},
            tr("There is no image beside the control file, so nothing shows whether it keeps "
               "the space between the sessions, which the later sessions' positions count."),
            tr("Put the image beside the control file and convert again.") });
    } else if (last && *imageSectors <= lastTrackStart) {
        layout.refusal = refusal(last, last->line,
            tr("The image holds %1 sectors, but track %2 starts at sector %3: the space between "
               "the sessions has been cut from it, so every position after the first session "
               "would be wrong.")
                .arg(*imageSectors)
                .arg(last->number)
                .arg(lastTrackStart),
            tr("Make the image again from the disc with every sector, the space between the "
               "sessions included."));
    }
    return layout;
}

bool isCatalogNumber(QStringView value)
{
    return value.size() == 13 && std::all_of(value.begin(), value.end(), isAsciiDigit);
}

bool isIsrc(QStringView value)
{
    if (value.size() != 12)
        return false;
    const auto isCode = [](QChar c) { return isAsciiDigit(c) || (c >= u'A' && c <= u'Z'); };
    return std::all_of(value.begin(), value.begin() + 5, isCode)
        && std::all_of(value.begin() + 5, value.end(), isAsciiDigit);
}

QString addSessionsAndIsrcs(const QString &cueSheet, const QList<PlacedTrack> &tracks,
    const SessionLayout &layout, const ControlFileSections &sections, bool withCodes,
    QList<SheetRemark> *remarks)
{
    struct Edit
    {
        qsizetype from = 0;
        qsizetype to = 0;
        QString text;
    };
    QList<Edit> edits;
    const bool hasSessions = layout.sessions.size() == tracks.size() && !layout.refusal
        && !layout.sessions.isEmpty() && layout.sessions.last() > 1;
    for (qsizetype i = 0; hasSessions && i < tracks.size(); ++i) {
        const PlacedTrack &track = tracks[i];
        const int session = layout.sessions[i];
        if (i == 0 || session != layout.sessions[i - 1]) {
            QString marks;
            if (i > 0) {
                if (const TocEntry *leadOut = leadOutEntry(sections, layout.sessions[i - 1]))
                    marks += QStringLiteral("  REM LEAD-OUT ") + sectorCountToMsf(*leadOut->plba)
                        + QStringLiteral("\r\n");
            }
            marks +=
                QStringLiteral("  REM SESSION ") + sessionNumber(session) + QStringLiteral("\r\n");
            edits.append({ track.start, track.start, marks });
        }
        if (layout.offsets[i] == 0)
            continue;
        for (const PlacedIndex &index : track.indexes) {
            if (index.sectors >= 0)
                edits.append({ index.timeStart, index.timeEnd,
                    sectorCountToMsf(index.sectors + layout.offsets[i]) });
        }
    }

    QMap<int, qsizetype> trackOfSection; // by the line that starts the track's section
    for (qsizetype i = 0; withCodes && i < tracks.size(); ++i)
        trackOfSection.insert(tracks[i].line, i);
    QMap<qsizetype, int> isrcLines; // the line of the ISRC each track has got
    for (const TrackCode &isrc : sections.isrcs) {
        if (!withCodes)
            break;
        const auto found = trackOfSection.constFind(isrc.sectionLine);
        const PlacedTrack *track = found == trackOfSection.cend() ? nullptr : &tracks[*found];
        const QString entry = quotedLine(QStringLiteral("ISRC=") + isrc.value);
        const auto leftOut = [&](const QString &why, const QString &advice) {
            remarks->append({ FindingCode::Isrc, isrc.line, track ? track->number : QString(),
                tr("%1 is left out of the cue sheet: %2").arg(entry, why), advice });
        };
        if (!track) {
            leftOut(tr("its section is no track of the cue sheet."),
                tr("Put it in the [TRACK n] section of its track."));
        } else if (!isIsrc(isrc.value)) {
            leftOut(tr("an ISRC is 5 upper-case letters or digits, then 7 digits."),
                tr("Write the track's ISRC as the disc has it, such as `ISRC=USABC9912345`, or "
                   "remove the line."));
        } else if (isrcLines.contains(*found)) {
            leftOut(tr("track %1 has its ISRC from line %2 already.")
                        .arg(track->number)
                        .arg(isrcLines.value(*found)),
                tr("Keep one ISRC= line in each [TRACK] section."));
        } else if (track->firstIndex < 0) {
            leftOut(tr("track %1 has no INDEX line to put it before.").arg(track->number),
                tr("Add the track's INDEX lines."));
        } else if (!isLineStart(cueSheet, track->firstIndex)) {
            leftOut(tr("the TRACK line of track %1 has no mode, so its first INDEX shares "
                       "that line.")
                        .arg(track->number),
                tr("Put a MODE= line (0 audio, 1 or 2 data) right after the [TRACK] line."));
        } else {
            isrcLines.insert(*found, isrc.line);
            edits.append({ track->firstIndex, track->firstIndex,
                QStringLiteral("    ISRC ") + isrc.value + QStringLiteral("\r\n") });
        }
    }
    if (edits.isEmpty())
        return cueSheet;

    std::stable_sort(
        edits.begin(), edits.end(), [](const Edit &a, const Edit &b) { return a.from < b.from; });
    QString edited;
    qsizetype done = 0;
    for (const Edit &edit : edits) {
        edited += QStringView(cueSheet).sliced(done, edit.from - done);
        edited += edit.text;
        done = edit.to;
    }
    edited += QStringView(cueSheet).sliced(done);
    return edited;
}

QString addCatalog(
    const QString &cueSheet, const ControlFileSections &sections, QList<SheetRemark> *remarks)
{
    if (!sections.catalogLine)
        return cueSheet;
    if (isCatalogNumber(sections.catalog))
        return QStringLiteral("CATALOG ") + sections.catalog + QStringLiteral("\r\n") + cueSheet;
    remarks->append({ FindingCode::Catalog, sections.catalogLine, {},
        tr("%1 is left out of the cue sheet: a catalogue number is 13 digits.")
            .arg(quotedLine(QStringLiteral("CATALOG=") + sections.catalog)),
        tr("Write the disc's catalogue number as it has it, such as `CATALOG=0123456789012`, or "
           "remove the line.") });
    return cueSheet;
}
