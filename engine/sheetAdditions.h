#pragma once

#include "controlFile.h"
#include "cueSheet.h"
#include "findings.h"
#include "sessionImage.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvant {

// What --sessions and --codes add to a cue sheet from the disc's own data:
// the sessions' marks and the positions of the later sessions' tracks, the
// disc's catalogue number and the tracks' ISRCs.

/// Where --sessions puts each track: its session and what its INDEX values need added.
struct SessionLayout
{
    QList<int> sessions; ///< of each track, in the cue sheet's order
    QList<qint64> offsets; ///< of each track: sectors added to its INDEX values
    QList<qsizetype> firstTracks; ///< of each session, in the cue sheet's order
    QList<SessionBounds> bounds; ///< of each session, on the disc
    ImageLayout image; ///< how the image holds them
    QList<Remark> remarks; ///< warnings: what could not be checked or written
    std::optional<Remark> refusal; ///< why the tracks cannot be placed
};

/** Places \a tracks in the \a sessions sessions of the disc: each track's
    session from the [Entry] of its point; each session's offset from its
    first track's PLBA less its INDEX 1, the same for every track of the
    session and 0 for session 1. Tells from \a imageSectors, the image's size
    (none when there is no image), how the image holds the sessions. Refuses a
    track that no entry places, sessions out of order, offsets that disagree,
    positions that no disc has, a lead-out at or before a track of its own
    session, a pregap that starts before the previous session's lead-out
    ends, and an image that ends before the last track starts. */
SessionLayout layOutSessions(const QList<CueTrack> &tracks, const ControlFileSections &sections,
    int sessions, std::optional<qint64> imageSectors);

/** What a file that says Sessions=1 but describes a later session (in
    \a sections) is told. */
Remark laterSessionRemark(const ControlFileSections &sections);

/** How an image that \a holds so holds the sessions, in words: "without the
    space between the sessions". */
QString imageHoldsText(ImageHolds holds);

/** The INDEX 00 of the first track of the later session \a session
    (counted from 0) of \a layout: the sector where the cue sheet puts it, or
    none when the image does not hold that pregap, so that the sheet must
    not give it. */
std::optional<qint64> sessionPregap(const SessionLayout &layout, qsizetype session);

/** Whether \a value is a catalogue number as a cue sheet's CATALOG takes it: 13 digits. */
bool isCatalogNumber(QStringView value);

/** Whether \a value is an ISRC as a cue sheet takes it: 5 upper-case
    letters or digits, then 7 digits. */
bool isIsrc(QStringView value);

/** Puts the tracks of \a sheet in the sessions that \a layout places them
    in, when it places them in more than one: each session's marks, each
    track's INDEX values as disc addresses, and a later session's first
    INDEX 00 only where the image holds that pregap. */
void placeInSessions(CueSheet &sheet, const SessionLayout &layout);

/** Gives each track of \a sheet the ISRC of its [TRACK] section in
    \a sections; an ISRC that cannot be written gets a remark in \a remarks. */
void addIsrcs(CueSheet &sheet, const ControlFileSections &sections, QList<Remark> *remarks);

/** Gives \a sheet the disc's CATALOG, when the [Disc] section has a
    well-formed one; a malformed one gets a remark in \a remarks. */
void addCatalog(CueSheet &sheet, const ControlFileSections &sections, QList<Remark> *remarks);

} // namespace morvant
