#include "discImage.h"

#include "crc.h"
#include "translation.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <limits>

namespace morvant {

namespace {

// Why a .sub of \a size bytes cannot go with an image of \a sectors sectors
// (-1: not known), or the empty text.
QString sizeDamage(qint64 size, qint64 sectors)
{
    // No file holds so many blocks; the length is as good as unknown.
    if (sectors > std::numeric_limits<qint64>::max() / subchannelBlockSize)
        sectors = -1;
    if (size % subchannelBlockSize == 0 && (sectors < 0 || size == sectors * subchannelBlockSize))
        return {};
    return sectors >= 0 ? tr("it is %1 bytes long, not the %2 that %3 sectors have")
                              .arg(size)
                              .arg(sectors * subchannelBlockSize)
                              .arg(sectors)
                        : tr("it is %1 bytes long, not a whole number of %2-byte blocks")
                              .arg(size)
                              .arg(subchannelBlockSize);
}

constexpr qsizetype headerSize = 16;
constexpr qsizetype qOffset = 12; // the P channel's 12 bytes come first

// Enough blocks a read to keep the calls few, few enough to keep memory small.
#ifdef MORVANT_READ_CHUNK_SIZE
constexpr qint64 blocksPerRead = 3;
#else
constexpr qint64 blocksPerRead = 2048;
#endif

// Reads until \a size bytes are in or the device has no more; a device may
// hand out less than asked without being at its end.
qint64 readFully(QIODevice &device, char *data, qint64 size)
{
    qint64 total = 0;
    while (total < size) {
        const qint64 got = device.read(data + total, size - total);
        if (got <= 0)
            return got < 0 && total == 0 ? -1 : total;
        total += got;
    }
    return total;
}

// Hands each block of the .sub to \a take with its sector, a chunk of blocks
// at a time, so that a large file is never held whole. Returns how many
// blocks there were; nothing when a read fails, as the device then tells.
template <typename Take> std::optional<qint64> forEachBlock(QIODevice &sub, Take take)
{
    QByteArray chunk(blocksPerRead * subchannelBlockSize, Qt::Uninitialized);
    qint64 sector = 0;
    for (;;) {
        const qint64 got = readFully(sub, chunk.data(), chunk.size());
        if (got < 0)
            return std::nullopt;
        const auto *data = reinterpret_cast<const uchar *>(chunk.constData());
        for (qint64 at = 0; at + subchannelBlockSize <= got; at += subchannelBlockSize, ++sector)
            take(sector, data + at);
        if (got < chunk.size())
            return sector;
    }
}

std::optional<int> fromBcd(uchar byte)
{
    const int high = byte >> 4;
    const int low = byte & 0x0f;
    if (high > 9 || low > 9)
        return std::nullopt;
    return high * 10 + low;
}

// Where the Q channel says a sector lies: a track and an index.
struct Position
{
    int track = 0;
    int index = 0;

    bool operator==(const Position &other) const
    {
        return track == other.track && index == other.index;
    }
};

enum class QKind { Position, Other, Bad };

// Whether the 12-byte Q block \a q passes its CRC, which its last two bytes hold.
bool hasSoundCrc(const uchar *q)
{
    const auto bytes = reinterpret_cast<const char *>(q);
    return cdCrc(QByteArrayView(bytes, 10)) == quint16((q[10] << 8) | q[11]);
}

// Reads one Q block of sector \a sector. A block that passes its CRC but
// names another sector than its own belongs to another place or disc, and
// counts as bad like one that fails it.
QKind readQ(const uchar *q, qint64 sector, Position *position)
{
    if (!hasSoundCrc(q))
        return QKind::Bad;
    // Q modes 2 and 3 carry the catalogue number and the ISRC, and no position.
    if ((q[0] & 0x0f) != 1)
        return QKind::Other;
    const auto track = fromBcd(q[1]);
    const auto index = fromBcd(q[2]);
    const auto minute = fromBcd(q[7]);
    const auto second = fromBcd(q[8]);
    const auto frame = fromBcd(q[9]);
    if (!track || !index || !minute || !second || !frame)
        return QKind::Bad;
    // Absolute time counts the 2-second lead-in gap that sector 0 follows.
    if ((qint64(*minute) * 60 + *second) * 75 + *frame - 150 != sector)
        return QKind::Bad;
    *position = { *track, *index };
    return QKind::Position;
}

// Whether the P channel of a block is set, as through a pause.
bool isPause(const uchar *block)
{
    return block[0] == 0xff;
}

// Where index 0 of a track was first met, and whether its start is certain.
struct Entry
{
    qint64 sector = 0;
    bool isCertain = true;
    /// The P channel of the catalogue number or ISRC blocks (Q modes 2 and 3)
    /// right before it, which may be the pregap's first sectors or the last of the track before
    QList<bool> codesBefore;
};

// What the Q channel showed just before a track's start.
struct Boundary
{
    std::optional<Position> last;
    bool isClean = true; ///< no bad block since the last position
    QList<bool> codesBefore; ///< as for Entry, right before the track's start
};

// How many of the blocks of \a pauses, from the last back, have their P channel set.
qsizetype pausesAtEnd(const QList<bool> &pauses)
{
    qsizetype count = 0;
    while (count < pauses.size() && pauses[pauses.size() - 1 - count])
        ++count;
    return count;
}

// What the Q channel of a .sub shows, block by block, of the tracks' pregaps:
// where each index 0 was first met, and what stood just before each track's
// start. The tracks' starts must be in order.
class PregapWalk
{
public:
    explicit PregapWalk(const QList<TrackStart> &starts) : starts(starts) { }

    void take(qint64 sector, const uchar *block)
    {
        while (nextStart < starts.size() && starts[nextStart].sector <= sector) {
            if (starts[nextStart].sector == sector)
                boundaries.insert(starts[nextStart].track, now);
            ++nextStart;
        }
        Position position;
        const bool pause = isPause(block);
        switch (readQ(block + qOffset, sector, &position)) {
        case QKind::Bad:
            now.isClean = false;
            now.codesBefore.clear();
            break;
        case QKind::Other:
            now.codesBefore.append(pause);
            break;
        case QKind::Position:
            if (position.index == 0 && !(now.last == position))
                enterPregap(position.track, sector);
            // The P channel tells pregaps only when it is set through each
            // of them and nowhere else.
            ++(pause == (position.index == 0) ? pausesAgree : pausesDisagree);
            now = { position, true, {} };
            break;
        }
    }

    QHash<int, Entry> entries;
    QHash<int, Boundary> boundaries;
    // Position blocks whose P channel is set in a pregap or clear elsewhere, and the others.
    qint64 pausesAgree = 0;
    qint64 pausesDisagree = 0;

private:
    // A second way into the same pregap means the file contradicts itself.
    void enterPregap(int track, qint64 sector)
    {
        const bool isFirst = !entries.contains(track);
        Entry &entry = entries[track];
        if (isFirst)
            entry = { sector, now.isClean && (now.last || sector == 0), now.codesBefore };
        else
            entry.isCertain = false;
    }

    const QList<TrackStart> &starts;
    Boundary now;
    qsizetype nextStart = 0;
};

// Gives each track, in the order of \a starts, the pregap that \a walk shows
// for sure, or names it among those the data cannot tell. A pregap lies
// after the previous track's start: one that would begin at or before it
// contradicts the table of contents, which wins.
void placePregaps(const QList<TrackStart> &starts, const PregapWalk &walk, Pregaps &pregaps)
{
    const bool pauseTells = walk.pausesDisagree == 0 && !walk.entries.isEmpty();
    std::optional<qint64> previousStart;
    for (const TrackStart &start : starts) {
        const Boundary boundary = walk.boundaries.value(start.track, Boundary{ {}, false, {} });
        const auto entry = walk.entries.constFind(start.track);
        const bool endsInPregap = boundary.last == Position{ start.track, 0 };
        bool isFound = endsInPregap && entry != walk.entries.cend() && entry->isCertain
            && entry->sector < start.sector;
        std::optional<qint64> first = isFound ? std::optional<qint64>(entry->sector) : std::nullopt;
        // Catalogue number and ISRC blocks carry no position: those between
        // the track before and the pregap belong to either, and only the P
        // channel, set through a pause, tells which.
        const QList<bool> &codes = isFound                       ? entry->codesBefore
            : !endsInPregap && boundary.isClean && boundary.last ? boundary.codesBefore
                                                                 : QList<bool>{};
        if (!codes.isEmpty() && pauseTells) {
            const qsizetype pauses = pausesAtEnd(codes);
            if (pauses > 0)
                first = (isFound ? entry->sector : start.sector) - pauses;
            isFound = first.has_value();
        } else if (!codes.isEmpty()) {
            pregaps.codesAtStart.append(start.track);
            previousStart = start.sector;
            continue;
        }
        if (isFound && previousStart && *first <= *previousStart)
            pregaps.beforePrevious.insert(start.track, *first);
        else if (isFound)
            pregaps.starts.insert(start.track, *first);
        else if (endsInPregap || !boundary.isClean || entry != walk.entries.cend())
            pregaps.unknown.append(start.track);
        previousStart = start.sector;
    }
}

} // namespace

std::optional<int> sectorMode(QIODevice &image, qint64 sector)
{
    static constexpr std::array<uchar, 12> sync{ 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0x00 };
    std::array<char, headerSize> header{};
    if (sector < 0 || sector > std::numeric_limits<qint64>::max() / imageSectorSize
        || !image.seek(sector * imageSectorSize)
        || readFully(image, header.data(), headerSize) != headerSize)
        return std::nullopt;
    if (!std::equal(sync.begin(), sync.end(), header.begin(),
            [](uchar s, char h) { return s == static_cast<uchar>(h); }))
        return std::nullopt;
    return static_cast<uchar>(header[15]);
}

Pregaps readPregaps(QIODevice &sub, const QList<TrackStart> &tracks, qint64 sectors)
{
    Pregaps pregaps;
    pregaps.damage = sizeDamage(sub.size(), sectors);
    if (!pregaps.damage.isEmpty())
        return pregaps;

    QList<TrackStart> starts = tracks;
    std::stable_sort(starts.begin(), starts.end(),
        [](const TrackStart &a, const TrackStart &b) { return a.sector < b.sector; });
    PregapWalk walk(starts);
    const std::optional<qint64> blocks =
        forEachBlock(sub, [&walk](qint64 sector, const uchar *block) { walk.take(sector, block); });
    if (!blocks) {
        pregaps.damage = sub.errorString();
        return pregaps;
    }

    if (walk.pausesAgree + walk.pausesDisagree == 0 && *blocks > 0) {
        pregaps.damage = tr("no Q block's time matches its sector, so it belongs to another "
                            "disc or is shifted against the image");
        return pregaps;
    }
    placePregaps(starts, walk, pregaps);
    return pregaps;
}

namespace {

uchar toBcd(qint64 value)
{
    return uchar((value / 10 % 10) << 4 | value % 10);
}

void putTime(uchar *at, qint64 sectors)
{
    at[0] = toBcd(sectors / 4500);
    at[1] = toBcd(sectors / 75 % 60);
    at[2] = toBcd(sectors % 75);
}

// Where each sector lies by the cue sheet, walked through in order of sector.
class SheetWalk
{
public:
    explicit SheetWalk(const SheetLayout &layout) : layout(layout)
    {
        for (qsizetype t = 0; t < layout.tracks.size(); ++t) {
            std::optional<qint64> indexOne;
            for (const auto &[index, sector] : layout.tracks[t].indexes) {
                marks.append({ sector, t, index });
                if (index >= 1 && !indexOne)
                    indexOne = sector;
            }
            indexOnes.append(indexOne);
            if (!trackOf.contains(layout.tracks[t].number))
                trackOf.insert(layout.tracks[t].number, t);
        }
        std::stable_sort(marks.begin(), marks.end(),
            [](const Mark &a, const Mark &b) { return a.sector < b.sector; });
    }

    /// The Q blocks that a player makes of \a sector: one, or two where a
    /// pregap's relative time may end at 1 or at 0; none where the sheet
    /// does not describe the sector.
    int expected(qint64 sector, std::array<std::array<uchar, 10>, 2> &blocks)
    {
        while (next < marks.size() && marks[next].sector <= sector)
            ++next;
        for (const auto &[from, to] : layout.between) {
            if (sector >= from && sector < to)
                return 0;
        }
        if (marks.isEmpty())
            return 0;
        // Before the first index lies the first track's pregap.
        const Mark mark = next > 0 ? marks[next - 1] : Mark{ sector, marks.first().track, 0 };
        const SheetTrack &track = layout.tracks[mark.track];
        const std::optional<qint64> &indexOne = indexOnes[mark.track];
        if (!indexOne)
            return 0;
        std::array<uchar, 10> &q = blocks[0];
        q[0] = uchar((track.control & 0x0f) << 4 | 1);
        q[1] = toBcd(track.number);
        q[2] = toBcd(mark.index);
        const bool isPregap = mark.index == 0 || sector < *indexOne;
        putTime(&q[3], isPregap ? *indexOne - sector : sector - *indexOne);
        q[6] = 0;
        putTime(&q[7], sector + 150);
        if (!isPregap)
            return 1;
        blocks[1] = q;
        putTime(&blocks[1][3], *indexOne - sector - 1);
        return 2;
    }

    /// Whether \a q, a block that the sheet does not give \a sector, is
    /// still what the disc's own subchannel says there: a position of one
    /// of the sheet's tracks counted from its INDEX 1, its CRC sound and its
    /// absolute time the sector's own, as where the sheet lacks a pregap
    /// that the disc has (index 0, counting down to INDEX 1) or gives one
    /// where the disc still has the track before. Copy protection alters the
    /// times; a block of another index than the sheet's, whatever its times,
    /// is one that a player makes otherwise, and the sheet loses it.
    bool isDiscOwn(qint64 sector, const uchar *q) const
    {
        Position position;
        if (readQ(q, sector, &position) != QKind::Position || q[6] != 0)
            return false;
        const auto found = trackOf.constFind(position.track);
        if (found == trackOf.cend() || !indexOnes[*found])
            return false;
        const qint64 indexOne = *indexOnes[*found];
        const auto minute = fromBcd(q[3]);
        const auto second = fromBcd(q[4]);
        const auto frame = fromBcd(q[5]);
        if (uchar(q[0] >> 4) != (layout.tracks[*found].control & 0x0f) || !minute || !second
            || !frame)
            return false;
        const qint64 relative = (qint64(*minute) * 60 + *second) * 75 + *frame;
        if (position.index == 0)
            return sector < indexOne
                && (relative == indexOne - sector || relative == indexOne - sector - 1);
        return sector >= indexOne && relative == sector - indexOne
            && position.index == indexAt(layout.tracks[*found], sector);
    }

private:
    /// The index from 1 on that \a track is in at \a sector by the sheet:
    /// the last one that starts at or before it.
    static int indexAt(const SheetTrack &track, qint64 sector)
    {
        int number = 0;
        for (const auto &[index, start] : track.indexes) {
            if (index >= 1 && start <= sector)
                number = index;
        }
        return number;
    }

    struct Mark
    {
        qint64 sector = 0;
        qsizetype track = 0;
        int index = 0;
    };
    const SheetLayout &layout;
    QList<Mark> marks;
    QList<std::optional<qint64>>
        indexOnes; ///< of each track: where its first index from 1 on starts
    QHash<int, qsizetype> trackOf; ///< the first track of each number
    qsizetype next = 0;
};

// A player makes nothing of a block that fails its CRC; a block of the
// catalogue number or an ISRC (Q modes 2 and 3) is on the disc on purpose.
bool isAltered(const uchar *q, const std::array<std::array<uchar, 10>, 2> &blocks, int count)
{
    if (!hasSoundCrc(q))
        return true;
    if ((q[0] & 0x0f) == 2 || (q[0] & 0x0f) == 3)
        return false;
    for (int i = 0; i < count; ++i) {
        if (std::equal(blocks[i].begin(), blocks[i].end(), q))
            return false;
    }
    return true;
}

} // namespace

AlteredSubchannel alteredQBlocks(
    QIODevice &sub, const SheetLayout &layout, qint64 sectors, qsizetype kept)
{
    AlteredSubchannel altered;
    altered.damage = sizeDamage(sub.size(), sectors);
    if (!altered.damage.isEmpty())
        return altered;
    SheetWalk walk(layout);
    std::array<std::array<uchar, 10>, 2> expected{};
    const bool isRead = forEachBlock(sub, [&](qint64 inImage, const uchar *block) {
        const qint64 sector = layout.held.isEmpty() ? inImage : discSector(layout.held, inImage);
        const int count = walk.expected(sector, expected);
        const uchar *q = block + qOffset;
        if (count == 0 || !isAltered(q, expected, count) || walk.isDiscOwn(sector, q))
            return;
        ++altered.count;
        if (kept >= 0 && altered.blocks.size() >= kept)
            return;
        AlteredQ stored{ sector, {} };
        std::copy_n(q, stored.q.size(), stored.q.begin());
        altered.blocks.append(stored);
    }).has_value();
    if (!isRead)
        altered.damage = sub.errorString();
    return altered;
}

QByteArray sbiBytes(const QList<AlteredQ> &blocks)
{
    QByteArray bytes("SBI\0", 4);
    bytes.reserve(4 + blocks.size() * 14);
    for (const AlteredQ &block : blocks) {
        std::array<uchar, 4> head{};
        putTime(head.data(), block.sector + 150);
        head[3] = 1; // the whole Q block follows, as against the short forms 2 and 3
        bytes.append(reinterpret_cast<const char *>(head.data()), head.size());
        bytes.append(reinterpret_cast<const char *>(block.q.data()), qsizetype(block.q.size()));
    }
    return bytes;
}

} // namespace morvant
