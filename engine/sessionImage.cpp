#include "sessionImage.h"

#include <array>

namespace morvant {

namespace {

// Where the image starts to hold \a session, the second or a later one.
qint64 heldFrom(const SessionBounds &session, ImageHolds holds)
{
    return holds == ImageHolds::Pregaps ? session.pregap : session.start;
}

} // namespace

QList<HeldSectors> heldStretches(const QList<SessionBounds> &sessions, ImageHolds holds)
{
    if (holds == ImageHolds::EverySector)
        return { { 0, -1 } };
    QList<HeldSectors> held;
    for (qsizetype s = 0; s < sessions.size(); ++s) {
        const qint64 from = s == 0 ? 0 : heldFrom(sessions[s], holds);
        if (s + 1 == sessions.size()) {
            held.append({ from, -1 });
        } else if (sessions[s].leadOut) {
            held.append({ from, *sessions[s].leadOut - from });
        } else {
            return {};
        }
    }
    return held;
}

std::optional<qint64> sectorsHeld(const QList<SessionBounds> &sessions, ImageHolds holds)
{
    qint64 sectors = 0;
    for (qsizetype s = 0; s < sessions.size(); ++s) {
        if (!sessions[s].leadOut)
            return std::nullopt;
        if (holds == ImageHolds::EverySector)
            sectors = *sessions[s].leadOut;
        else
            sectors += *sessions[s].leadOut - (s == 0 ? 0 : heldFrom(sessions[s], holds));
    }
    return sectors;
}

ImageLayout imageLayout(const QList<SessionBounds> &sessions, std::optional<qint64> imageSectors)
{
    ImageLayout layout;
    constexpr std::array<ImageHolds, 3> ways{ ImageHolds::SessionsOnly, ImageHolds::Pregaps,
        ImageHolds::EverySector };
    std::optional<qint64> nearest;
    for (const ImageHolds holds : ways) {
        const std::optional<qint64> sectors = sectorsHeld(sessions, holds);
        if (!imageSectors || !sectors)
            break;
        const qint64 distance = qAbs(*sectors - *imageSectors);
        // On a tie the way that dumps are made.
        if (!nearest || distance < *nearest) {
            nearest = distance;
            layout.holds = holds;
            layout.isTold = distance == 0;
        }
    }
    layout.held = heldStretches(sessions, layout.holds);
    return layout;
}

qint64 discSector(const QList<HeldSectors> &held, qint64 sector)
{
    qint64 before = 0; // image sectors of the stretches passed
    for (const HeldSectors &stretch : held) {
        if (stretch.count < 0 || sector < before + stretch.count)
            return stretch.disc + sector - before;
        before += stretch.count;
    }
    return held.last().disc + sector - before + held.last().count;
}

std::optional<qint64> imageSector(const QList<HeldSectors> &held, qint64 sector)
{
    qint64 before = 0;
    for (const HeldSectors &stretch : held) {
        if (sector >= stretch.disc && (stretch.count < 0 || sector < stretch.disc + stretch.count))
            return before + sector - stretch.disc;
        before += stretch.count;
    }
    return std::nullopt;
}

} // namespace morvant
