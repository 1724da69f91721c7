#include "sheetAdditions.h"

#include "basics.h"
#include "lineRules.h"
#include "numbers.h"
#include "optionWords.h"
#include "translation.h"

#include <QMap>

#include <algorithm>
#include <limits>

namespace morvant {

namespace {

// A position that a disc can have; the rest is refused before any sum is made of it.
bool isDiscSector(qint64 sector)
{
    return sector >= 0 && sector <= std::numeric_limits<qint32>::max();
}

// A session's first track holds its pregap of two seconds, where the
// control file gives the track no INDEX 0.
constexpr qint64 sessionPregapSectors = 150;

Remark refusal(const CueTrack *track, int line, const QString &message, const QString &advice)
{
    return { FindingCode::SessionLayout, line, track ? track->number : QString(), message, advice };
}

QString contradictionAdvice()
{
    return tr("The table of contents contradicts itself; make the control file again from the "
              "disc.");
}

// A disc's sessions follow each other from session 1, and its tracks follow
// its sessions: \a session, the one the table of contents places \a track
// in, must be the session of the track before (\a previous, 0 for none) or
// the next one.
std::optional<Remark> sessionOrderRefusal(
    const CueTrack &track, const TocEntry &entry, int session, int previous)
{
    if (previous == 0 ? session != 1 : session != previous && session != previous + 1)
        return refusal(&track, entry.line,
            previous == 0 ? tr("The first track, %1, lies in session %2 by the table of "
                               "contents (line %3), but a disc starts with session 1.")
                                .arg(track.number)
                                .arg(entry.session)
                                .arg(entry.line)
                          : tr("Track %1 lies in session %2 by the table of contents (line "
                               "%3), after a track of session %4: the sessions are out of "
                               "order.")
                                .arg(track.number)
                                .arg(entry.session)
                                .arg(entry.line)
                                .arg(previous),
            tr("Check the Session= values of the [Entry] rows against the disc."));
    return std::nullopt;
}

// A track's offset is its PLBA less its INDEX 1: without either, or with a
// PLBA that no disc has, it cannot be told.
std::optional<Remark> offsetUnknownRefusal(
    const CueTrack &track, const TocEntry &entry, const QString &rebuildAdvice)
{
    if (!track.index(1))
        return refusal(&track, track.line,
            tr("Track %1 has no INDEX 1 with a sector count, so the offset of its session "
               "cannot be told.")
                .arg(track.number),
            tr("Add an INDEX 1=sector line to the [TRACK] section."));
    if (!entry.plba)
        return refusal(&track, entry.line,
            tr("The [Entry] row of track %1 (line %2) gives no PLBA, so where the track "
               "lies on the disc is not known.")
                .arg(track.number)
                .arg(entry.line),
            rebuildAdvice);
    if (!isDiscSector(*entry.plba))
        return refusal(&track, entry.line,
            tr("The [Entry] row of track %1 (line %2) gives PLBA=%3, which is no position "
               "on a disc.")
                .arg(track.number)
                .arg(entry.line)
                .arg(*entry.plba),
            rebuildAdvice);
    return std::nullopt;
}

// Session 1 starts where the disc does, so its tracks have no offset; every
// track of a later session has the offset of the session's first track.
std::optional<Remark> offsetRefusal(const QList<CueTrack> &tracks, const CueTrack &track,
    const TocEntry &entry, int session, bool startsSession, qint64 offset,
    const SessionLayout &layout)
{
    const CueLine *indexOne = track.index(1);
    if (startsSession) {
        if (session == 1 && offset != 0)
            return refusal(&track, indexOne->line,
                tr("Track %1 starts at sector %2 by its INDEX 1, but at sector %3 by the "
                   "table of contents (line %4); in session 1 the two must agree.")
                    .arg(track.number)
                    .arg(indexOne->sectors)
                    .arg(*entry.plba)
                    .arg(entry.line),
                tr("Check INDEX 1 against the [Entry] PLBA."));
    } else if (offset != layout.offsets[layout.firstTracks.last()]) {
        const CueTrack &first = tracks[layout.firstTracks.last()];
        return refusal(&track, indexOne->line,
            tr("Track %1 lies %2 sectors after its INDEX 1 by the table of contents (line "
               "%3), but %4, the first track of session %5, lies %6 after its own: the "
               "tracks of a session must agree.")
                .arg(track.number)
                .arg(offset)
                .arg(entry.line)
                .arg(first.number)
                .arg(session)
                .arg(layout.offsets[layout.firstTracks.last()]),
            tr("Check INDEX 1 of the track and its [Entry] PLBA against the disc."));
    }
    return std::nullopt;
}

// Every INDEX of the track, moved by its session's offset, must still lie on a disc.
std::optional<Remark> indexOffDiscRefusal(const CueTrack &track, qint64 offset)
{
    for (const CueLine &index : track.indexes()) {
        if (index.sectors >= 0 && !isDiscSector(index.sectors + offset))
            return refusal(&track, index.line,
                tr("An INDEX of track %1 lies outside the disc once its session's offset "
                   "(%2 sectors) is added.")
                    .arg(track.number)
                    .arg(offset),
                tr("Check the INDEX lines of the track against the table of contents."));
    }
    return std::nullopt;
}

// Finds the first reason why the tracks cannot be placed, filling in
// \a layout's sessions, offsets and first tracks as it goes.
std::optional<Remark> placeTracks(const QList<CueTrack> &tracks,
    const ControlFileSections &sections, int sessions, SessionLayout &layout)
{
    const QMap<int, const TocEntry *> entries = tocTracksOfEverySession(sections);
    const QString rebuildAdvice =
        tr("Make the control file again from the disc, or add the track's [Entry] row "
           "(Point=, Session=, PLBA=) as the disc has it.");
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const CueTrack &track = tracks[i];
        const std::optional<int> number = wholeNumber(track.number);
        const TocEntry *entry = number ? entries.value(*number) : nullptr;
        if (!entry)
            return refusal(&track, track.line,
                tr("No [Entry] row of the table of contents places track %1 in a session, so "
                   "where it lies on the disc is not known.")
                    .arg(track.number),
                rebuildAdvice);
        const int session = int(qBound(qint64(0), entry->session, qint64(100)));
        const int previous = layout.sessions.isEmpty() ? 0 : layout.sessions.last();
        if (std::optional<Remark> refused = sessionOrderRefusal(track, *entry, session, previous))
            return refused;
        if (std::optional<Remark> refused = offsetUnknownRefusal(track, *entry, rebuildAdvice))
            return refused;
        // Sector counts are at most 2^31 - 1, so neither this nor the sums below overflow.
        const qint64 offset = *entry->plba - track.index(1)->sectors;
        const bool startsSession = session != previous;
        if (std::optional<Remark> refused =
                offsetRefusal(tracks, track, *entry, session, startsSession, offset, layout))
            return refused;
        if (startsSession)
            layout.firstTracks.append(i);
        if (std::optional<Remark> refused = indexOffDiscRefusal(track, offset))
            return refused;
        layout.sessions.append(session);
        layout.offsets.append(offset);
    }
    const int placed = layout.sessions.isEmpty() ? 0 : layout.sessions.last();
    if (placed != sessions)
        return refusal(nullptr, sections.sessionsLine,
            tr("The file says Sessions=%1, but its tracks lie in %2 sessions.")
                .arg(sessions)
                .arg(placed),
            tr("Make the control file again from the disc: a session's tracks are missing."));
    return std::nullopt;
}

// Finds each session's bounds on the disc, and the first place where they
// contradict each other or the session's tracks.
std::optional<Remark> boundSessions(
    const QList<CueTrack> &tracks, const ControlFileSections &sections, SessionLayout &layout)
{
    for (qsizetype s = 0; s < layout.firstTracks.size(); ++s) {
        const int session = int(s + 1);
        const qsizetype first = layout.firstTracks[s];
        const qsizetype end =
            s + 1 < layout.firstTracks.size() ? layout.firstTracks[s + 1] : tracks.size();
        const qint64 offset = layout.offsets[first];
        SessionBounds bounds;
        bounds.start = tracks[first].index(1)->sectors + offset;
        const CueLine *indexZero = s > 0 ? tracks[first].index(0) : nullptr;
        const bool hasPregap = indexZero && indexZero->sectors + offset < bounds.start;
        bounds.pregap = s == 0 ? 0
            : hasPregap        ? indexZero->sectors + offset
                               : qMax(qint64(0), bounds.start - sessionPregapSectors);

        const TocEntry *leadOut = leadOutEntry(sections, session);
        if (leadOut && !isDiscSector(*leadOut->plba))
            return refusal(nullptr, leadOut->line,
                tr("The lead-out of session %1 (line %2) lies at PLBA=%3, which is no position "
                   "on a disc.")
                    .arg(session)
                    .arg(leadOut->line)
                    .arg(*leadOut->plba),
                contradictionAdvice());
        if (leadOut)
            bounds.leadOut = *leadOut->plba;
        for (qsizetype i = first; leadOut && i < end; ++i) {
            for (const CueLine &index : tracks[i].indexes()) {
                if (index.sectors < 0 || index.sectors + layout.offsets[i] < *bounds.leadOut)
                    continue;
                return refusal(&tracks[i], leadOut->line,
                    tr("The lead-out of session %1 (line %2) lies at sector %3, not after "
                       "track %4 of the session, which has an INDEX at sector %5.")
                        .arg(session)
                        .arg(leadOut->line)
                        .arg(*bounds.leadOut)
                        .arg(tracks[i].number)
                        .arg(index.sectors + layout.offsets[i]),
                    contradictionAdvice());
            }
        }
        if (const std::optional<qint64> previousEnd =
                s > 0 ? layout.bounds.last().leadOut : std::nullopt;
            previousEnd && (hasPregap ? bounds.pregap : bounds.start) <= *previousEnd) {
            return refusal(&tracks[first], hasPregap ? indexZero->line : tracks[first].line,
                hasPregap
                    ? tr("Track %1, the first of session %2, starts its pregap at sector %3 by "
                         "its INDEX 0, before the lead-out of session %4 at sector %5 ends.")
                          .arg(tracks[first].number)
                          .arg(session)
                          .arg(bounds.pregap)
                          .arg(session - 1)
                          .arg(*previousEnd)
                    : tr("Track %1, the first of session %2, starts at sector %3, before the "
                         "lead-out of session %4 at sector %5 ends.")
                          .arg(tracks[first].number)
                          .arg(session)
                          .arg(bounds.start)
                          .arg(session - 1)
                          .arg(*previousEnd),
                contradictionAdvice());
        }
        layout.bounds.append(bounds);
    }
    return std::nullopt;
}

// What the image's size tells of how it holds the sessions, and whether it
// holds the last track at all.
void judgeImage(
    const QList<CueTrack> &tracks, std::optional<qint64> imageSectors, SessionLayout &layout)
{
    layout.image = imageLayout(layout.bounds, imageSectors);
    if (!imageSectors) {
        layout.remarks.append({ FindingCode::SessionUnchecked, 0, {},
            tr("There is no image beside the control file, so nothing shows how it holds the "
               "sessions: the cue sheet is made for an image %1, as dumps are made.")
                .arg(imageHoldsText(layout.image.holds)),
            tr("Put the image beside the control file and convert again.") });
        return;
    }

    // An image shorter than its nearest way of holding the sessions may
    // still hold every track the way dumps are made.
    const CueTrack &last = tracks.last();
    const qint64 lastStart = last.index(1)->sectors + layout.offsets.last();
    const auto holdsLast = [&](const QList<HeldSectors> &held) {
        const std::optional<qint64> at = imageSector(held, lastStart);
        return at && *at < *imageSectors;
    };
    bool isNearest = true;
    if (!layout.image.held.isEmpty() && !holdsLast(layout.image.held)) {
        const QList<HeldSectors> dumped = heldStretches(layout.bounds, ImageHolds::SessionsOnly);
        if (!holdsLast(dumped)) {
            layout.refusal = refusal(&last, last.line,
                tr("The image holds %1 sectors, but track %2 starts at sector %3 of an image "
                   "even without the space between the sessions: the image is incomplete.")
                    .arg(*imageSectors)
                    .arg(last.number)
                    .arg(imageSector(dumped, lastStart).value_or(lastStart)),
                tr("Make the image again from the disc, or check that it belongs to this "
                   "control file."));
            return;
        }
        layout.image = { ImageHolds::SessionsOnly, false, dumped };
        isNearest = false;
    }

    const std::optional<qint64> dumpedSectors =
        sectorsHeld(layout.bounds, ImageHolds::SessionsOnly);
    if (!dumpedSectors) {
        layout.remarks.append({ FindingCode::SessionUnchecked, 0, {},
            tr("Without every session's lead-out the image's size cannot tell how it holds "
               "the sessions: the cue sheet is made for an image %1, as dumps are made.")
                .arg(imageHoldsText(layout.image.holds)),
            tr("Make the control file again from the disc if the later sessions' tracks do "
               "not load.") });
    } else if (!layout.image.isTold) {
        layout.remarks.append({ FindingCode::ImageLength, 0, {},
            tr("The image holds %1 sectors, which fits no way of holding these sessions: "
               "%2 without the space between them, %3 with each later session's first pregap "
               "as well, %4 with the space. It is taken to be an image %5, %6, so the later "
               "sessions' tracks may be read from the wrong sectors.")
                .arg(*imageSectors)
                .arg(*dumpedSectors)
                .arg(*sectorsHeld(layout.bounds, ImageHolds::Pregaps))
                .arg(*sectorsHeld(layout.bounds, ImageHolds::EverySector))
                .arg(imageHoldsText(layout.image.holds),
                    isNearest ? tr("the nearest") : tr("the only way that holds the last track")),
            tr("The image is incomplete or belongs to another disc; make it again from the "
               "disc.") });
    } else if (layout.image.holds == ImageHolds::EverySector) {
        layout.remarks.append({ FindingCode::SessionSpace, 0, {},
            tr("The image holds every sector up to the last lead-out, the space between the "
               "sessions included, where dumps hold none of it. Programs that read the "
               "sessions of a cue sheet (chdman) take its image to hold no such space, and "
               "read each later session's tracks from the sectors of the space before them; "
               "programs that take positions as places in the image read it right."),
            tr("For programs that read sessions, cut the space from the image: keep session "
               "1 to its lead-out, then each later session from its first track's INDEX 0.") });
    }
}

} // namespace

SessionLayout layOutSessions(const QList<CueTrack> &tracks, const ControlFileSections &sections,
    int sessions, std::optional<qint64> imageSectors)
{
    SessionLayout layout;
    layout.refusal = placeTracks(tracks, sections, sessions, layout);
    if (!layout.refusal)
        layout.refusal = boundSessions(tracks, sections, layout);
    if (layout.refusal)
        return layout;
    for (qsizetype s = 0; s + 1 < layout.bounds.size(); ++s) {
        if (!layout.bounds[s].leadOut)
            layout.remarks.append({ FindingCode::SessionUnchecked, 0, {},
                tr("The table of contents gives session %1 no lead-out (point A2), so the cue "
                   "sheet has no REM LEAD-OUT line for it.")
                    .arg(s + 1),
                tr("Most programs do without it; make the control file again from the disc "
                   "if yours needs it.") });
    }
    judgeImage(tracks, imageSectors, layout);
    return layout;
}

QString imageHoldsText(ImageHolds holds)
{
    switch (holds) {
    case ImageHolds::SessionsOnly:
        return tr("without the space between the sessions");
    case ImageHolds::Pregaps:
        return tr("without the space between the sessions but with each later session's "
                  "first pregap");
    case ImageHolds::EverySector:
        return tr("with the space between the sessions");
    }
    return {};
}

Remark laterSessionRemark(const ControlFileSections &sections)
{
    return { FindingCode::Sessions, sections.laterSessionLine, {},
        tr("The file says Sessions=1, but it describes a second session."),
        tr("The cue sheet takes the disc as one session, so a later session's tracks are "
           "read where their INDEX lines point in the image, which may be wrong; if the disc "
           "has more sessions, write their number in Sessions= and convert with %1.")
            .arg(optionWords(AdvisedOption::Sessions)) };
}

std::optional<qint64> sessionPregap(const SessionLayout &layout, qsizetype session)
{
    if (layout.image.holds == ImageHolds::SessionsOnly)
        return std::nullopt;
    return layout.bounds[session].pregap;
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

void placeInSessions(CueSheet &sheet, const SessionLayout &layout)
{
    QList<CueTrack> &tracks = sheet.tracks;
    if (layout.sessions.size() != tracks.size() || layout.refusal || layout.sessions.isEmpty()
        || layout.sessions.last() < 2)
        return;
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        CueTrack &track = tracks[i];
        track.session = layout.sessions[i];
        track.startsSession = i == 0 || track.session != layout.sessions[i - 1];
        if (track.startsSession && i > 0)
            track.leadOutBefore = layout.bounds[track.session - 2].leadOut;
        for (CueLine &line : track.lines) {
            if (line.isIndex() && line.sectors >= 0)
                line.sectors += layout.offsets[i];
        }
        if (!track.startsSession || track.session == 1)
            continue;
        // A later session's first pregap is in the sheet exactly when the image holds it.
        const std::optional<qint64> pregap = sessionPregap(layout, track.session - 1);
        bool hasIndexZero = false;
        for (CueLine &line : track.lines) {
            if (!line.isIndex() || line.indexNumber() != 0)
                continue;
            hasIndexZero = true;
            if (!pregap)
                line.rule = LineRule::None;
        }
        if (pregap && !hasIndexZero && track.firstIndex >= 0) {
            CueLine indexZero;
            indexZero.rule = LineRule::Index;
            indexZero.number = QStringLiteral("00");
            indexZero.sectors = *pregap;
            indexZero.line = track.line;
            track.lines.insert(track.firstIndex, indexZero);
        }
    }
}

void addIsrcs(CueSheet &sheet, const ControlFileSections &sections, QList<Remark> *remarks)
{
    QList<CueTrack> &tracks = sheet.tracks;
    QMap<int, qsizetype> trackOfSection; // by the line that starts the track's section
    for (qsizetype i = 0; i < tracks.size(); ++i)
        trackOfSection.insert(tracks[i].line, i);
    QMap<qsizetype, int> isrcLines; // the line of the ISRC each track has got
    for (const TrackCode &isrc : sections.isrcs) {
        const auto found = trackOfSection.constFind(isrc.sectionLine);
        CueTrack *track = found == trackOfSection.cend() ? nullptr : &tracks[*found];
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
        } else if (!track->endsLineBeforeFirstIndex()) {
            leftOut(tr("the TRACK line of track %1 has no mode, so its first INDEX shares "
                       "that line.")
                        .arg(track->number),
                tr("Put a MODE= line (0 audio, 1 or 2 data) right after the [TRACK] line."));
        } else {
            isrcLines.insert(*found, isrc.line);
            track->isrc = isrc.value;
        }
    }
}

void addCatalog(CueSheet &sheet, const ControlFileSections &sections, QList<Remark> *remarks)
{
    if (!sections.catalogLine)
        return;
    if (sections.otherCatalogLine) {
        remarks->append({ FindingCode::Catalog, sections.otherCatalogLine, {},
            tr("%1 is left out of the cue sheet: line %2 gives another catalogue number, %3, "
               "which is the one taken.")
                .arg(quotedLine(QStringLiteral("CATALOG=") + sections.otherCatalog))
                .arg(sections.catalogLine)
                .arg(quotedLine(QStringLiteral("CATALOG=") + sections.catalog)),
            tr("Keep one CATALOG= line in the [Disc] section, with the number the disc has.") });
    }
    if (isCatalogNumber(sections.catalog)) {
        sheet.catalog = sections.catalog;
        return;
    }
    remarks->append({ FindingCode::Catalog, sections.catalogLine, {},
        tr("%1 is left out of the cue sheet: a catalogue number is 13 digits.")
            .arg(quotedLine(QStringLiteral("CATALOG=") + sections.catalog)),
        tr("Write the disc's catalogue number as it has it, such as `CATALOG=0123456789012`, or "
           "remove the line.") });
}

} // namespace morvant
