#pragma once

#include <QList>
#include <QtGlobal>

#include <optional>

namespace morvant {

// How an image holds a disc of several sessions. No drive reads a session's
// lead-out or the next one's lead-in, and dumping programs read each track
// from its INDEX 1 on, so a dump holds session 1 from its start to its
// lead-out, then each later session from its first track's INDEX 1 to its
// lead-out, end to end. Some keep each later session's first pregap as
// well; an image made otherwise may hold every sector up to the last
// lead-out, the space between the sessions included. The control file gives
// disc positions whichever it is: only the image's size tells.

/// What an image of a multi-session disc holds.
enum class ImageHolds {
    SessionsOnly, ///< each session, the later ones from their first track's INDEX 1, end to end
    Pregaps, ///< the same, each later session from its first track's pregap
    EverySector, ///< every sector up to the last lead-out, the space between the sessions included
};

/// One session's bounds on the disc, in sectors.
struct SessionBounds
{
    qint64 pregap = 0; ///< where its first track's pregap starts; 0 for session 1
    qint64 start = 0; ///< its first track's INDEX 1
    std::optional<qint64> leadOut; ///< where its lead-out starts; none when not known
};

/// A stretch of the disc that an image holds.
struct HeldSectors
{
    qint64 disc = 0; ///< the disc sector where it starts
    qint64 count = -1; ///< its sectors; -1 for as far as the image goes
};

/// How an image holds the sessions, as its size tells.
struct ImageLayout
{
    ImageHolds holds = ImageHolds::SessionsOnly;
    bool isTold = false; ///< the image's size is exactly that of an image that holds so
    /// The stretches it holds, end to end; empty when a lead-out before the
    /// last is not known, so that where a later session lies in it is not known
    QList<HeldSectors> held;
};

/** How many sectors an image of the disc whose sessions are \a sessions
    holds when it holds them as \a holds; none when a lead-out is not known. */
std::optional<qint64> sectorsHeld(const QList<SessionBounds> &sessions, ImageHolds holds);

/** The stretches of the disc that an image holding \a sessions as \a holds
    keeps, end to end; empty when a lead-out before the last is not known. */
QList<HeldSectors> heldStretches(const QList<SessionBounds> &sessions, ImageHolds holds);

/** How an image of \a imageSectors sectors holds \a sessions: the way whose
    size it has, or else the nearest (isTold false), and a dump's way when its
    size is not known or cannot tell. */
ImageLayout imageLayout(const QList<SessionBounds> &sessions, std::optional<qint64> imageSectors);

/** The disc sector that the image sector \a sector holds by \a held, which
    must not be empty. */
qint64 discSector(const QList<HeldSectors> &held, qint64 sector);

/** Where in the image \a held keeps the disc sector \a sector; none when it
    does not keep it. */
std::optional<qint64> imageSector(const QList<HeldSectors> &held, qint64 sector);

} // namespace morvant
