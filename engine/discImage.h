#pragma once

#include "sessionImage.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class QIODevice;

namespace morvant {

/// The size of one raw sector in an image, header and error correction included.
inline constexpr qint64 imageSectorSize = 2352;

/// The size of one sector's block in a subchannel (.sub) file: 8 channels of 12 bytes.
inline constexpr qint64 subchannelBlockSize = 96;

/** The mode byte of the header of sector \a sector of the raw image \a image:
    1 or 2 for a data sector, as its header says. Reads those 16 bytes only.
    Gives nothing when the sector lies beyond the image or does not begin with
    the 12-byte sync pattern, as an audio sector does not. */
std::optional<int> sectorMode(QIODevice &image, qint64 sector);

/// Where a track starts (its INDEX 1), as the table of contents gives it.
struct TrackStart
{
    int track = 0; ///< 1 to 99
    qint64 sector = 0;
};

/// What a subchannel file tells of the tracks' pregaps.
struct Pregaps
{
    QHash<int, qint64> starts; ///< by track: the first sector of its index 0
    QList<int> unknown; ///< tracks whose pregap the data cannot tell for sure
    /// tracks where catalogue number or ISRC blocks stand at the pregap's
    /// start, so that only the P channel could tell where it begins, and does not
    QList<int> codesAtStart;
    /// by track: where the data puts its index 0, at or before the previous track's start
    QHash<int, qint64> beforePrevious;
    QString damage; ///< why none of the file can be trusted; empty when it can
};

/** Reads the subchannel file \a sub, in chunks, for where each of
    \a tracks (in the order of their starts) has index 0 before its start.
    \a sectors is how many sectors the image holds, -1 when unknown; a file
    of another length is damaged. A pregap is given only when the Q channel
    shows it whole, so that a damaged file leaves a pregap out rather than
    giving a wrong one. */
Pregaps readPregaps(QIODevice &sub, const QList<TrackStart> &tracks, qint64 sectors);

/// A track as the cue sheet lays it out, for the Q channel that a player makes of it.
struct SheetTrack
{
    int number = 0; ///< 1 to 99
    int control = 0; ///< the Q channel's control bits: 0x4 data, 0x2 DCP, 0x8 4CH, 0x1 PRE
    QList<std::pair<int, qint64>> indexes; ///< each index's number and first sector, in order
};

/// The disc as a cue sheet describes it, for the Q channel that a player makes of it.
struct SheetLayout
{
    QList<SheetTrack> tracks; ///< in the order of their first index
    /// From each lead-out that the sheet gives to the next session's first
    /// track: lead-out and lead-in, whose Q channel no cue sheet describes.
    QList<std::pair<qint64, qint64>> between;
    /// How the image holds the disc's sessions; empty when it holds every
    /// sector from the disc's start
    QList<HeldSectors> held;
};

/// A sector whose stored Q block differs from the one that the cue sheet gives.
struct AlteredQ
{
    qint64 sector = 0; ///< on the disc
    std::array<uchar, 10> q{}; ///< the block's first 10 bytes as the .sub holds them, no CRC
};

/// What a subchannel file holds that a cue sheet loses.
struct AlteredSubchannel
{
    QList<AlteredQ>
        blocks; ///< in ascending order of sector; the first of them when not all are kept
    qint64 count = 0; ///< of every altered sector, kept in blocks or not
    QString damage; ///< why the file cannot be read; empty when it can
};

/** More altered sectors than this mean a .sub that is damaged or misaligned
    rather than protected: a protected disc alters a few dozen. */
inline constexpr qsizetype mostProtectedSectors = 100;

/** Reads the subchannel file \a sub, in chunks, for every sector whose Q
    block fails its CRC or differs from the mode-1 block that \a layout
    gives it (control and ADR, track, index, relative and absolute time),
    leaving out blocks of the catalogue number or an ISRC (Q modes 2 and 3)
    and blocks that are what the disc's own subchannel says there, a
    position of one of the sheet's tracks whose times are the sector's own,
    as where the sheet lacks a pregap that the disc has: index 0 counting
    down to the track's INDEX 1, or the index from 1 on that the sheet gives
    the track there. A block of an index that the sheet lacks (INDEX 2 where
    it has 1) is kept, as a player makes another block there.
    A pregap's relative time may count down to 1 or to 0 at its end. The
    .sub holds the sectors that the image holds, in its order. \a sectors
    is how many sectors the image holds, -1 when unknown; a file of another
    length is damaged. Keeps the first \a kept blocks (-1 for all), so that
    a damaged .sub of any size is read in the memory of a protected disc's. */
AlteredSubchannel alteredQBlocks(
    QIODevice &sub, const SheetLayout &layout, qint64 sectors, qsizetype kept = -1);

/** The .sbi file that keeps \a blocks for PlayStation emulators: "SBI" and
    a zero byte, then for each block its absolute time in BCD (minute, second,
    frame), the format byte 1 and its 10 bytes of Q data. */
QByteArray sbiBytes(const QList<AlteredQ> &blocks);

} // namespace morvant
