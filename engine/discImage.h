#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class QIODevice;

/// The size of one raw sector in an image, header and error correction included.
inline constexpr qint64 imageSectorSize = 2352;

/// The size of one sector's block in a subchannel (.sub) file: 8 channels of 12 bytes.
inline constexpr qint64 subchannelBlockSize = 96;

/** The file that goes with the control file at \a path: in its folder, the
    image name that the cue sheet's FILE line gives, with \a extension
    (".img", ".sub"). */
QString besideControlFile(const QString &path, QChar separator, QLatin1String extension);

/** The name of a file in the folder of \a path whose name differs from that
    of \a path only in case; the empty text when there is none. */
QString sameNameOtherCase(const QString &path);

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
