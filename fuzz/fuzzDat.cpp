// libFuzzer target: arbitrary bytes as a DAT, and their first bytes as a raw
// image whose stretches are hashed and copied and whose read offsets are
// searched. Every run checks what must hold whatever the input; a broken rule
// aborts, which libFuzzer reports as a finding together with the input that
// caused it.

#include "crc.h"
#include "datFile.h"
#include "fuzzRules.h"
#include "referenceBytes.h"
#include "trackHashes.h"

#include <QBuffer>
#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace morvant;

namespace {

// QList's own == hands memcmp() the null data of an empty list, which the
// sanitizer stops at.
template <typename T> bool isSame(const QList<T> &a, const QList<T> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Lines as any XML or text reader may count them: a line ends at LF, at CR LF
// or at a lone CR. The last line is the one after the last line end, empty
// or not, where a file that ends inside a block or an element is at fault.
qint64 lineCount(QByteArrayView bytes)
{
    qint64 lines = 1;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n'
            || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
            ++lines;
    }
    return lines;
}

/// A rom as the rules show it: game|name|size|crc|md5|sha1.
QString described(const DatRom &rom)
{
    return QStringList{ rom.game, rom.name, QString::number(rom.size),
        rom.hasCrc ? QString::number(rom.crc, 16) : QStringLiteral("-"),
        QString::fromLatin1(rom.md5.toHex()), QString::fromLatin1(rom.sha1.toHex()) }
        .join(u'|');
}

// The fast XML scanner against QXmlStreamReader: where the scanner reads a
// DAT itself, the two must agree on whether it is read and on every rom; where
// it hands the DAT over, they agree by construction.
void checkAgainstQt(const QByteArray &bytes, const DatFile &dat)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const DatFile byQt = readDatByQt(buffer);
    check(dat.isRead() == byQt.isRead(), "a DAT is read or refused alike by both XML readers",
        QStringLiteral("scanner: %1; QXmlStreamReader: %2")
            .arg(dat.isRead() ? QStringLiteral("read") : dat.error,
                byQt.isRead() ? QStringLiteral("read") : byQt.error));
    check(dat.roms.size() == byQt.roms.size(), "both XML readers give as many roms",
        QStringLiteral("%1 and %2").arg(dat.roms.size()).arg(byQt.roms.size()));
    for (qsizetype i = 0; i < dat.roms.size(); ++i) {
        check(described(dat.roms[i]) == described(byQt.roms[i]),
            "both XML readers give the same roms",
            described(dat.roms[i]) + QStringLiteral(" and ") + described(byQt.roms[i]));
    }
}

void checkDat(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const DatFile dat = readDat(buffer);
    checkAgainstQt(bytes, dat);
    check(dat.isRead() == dat.error.isEmpty(), "a DAT is read exactly when it has no error",
        dat.error);
    check(dat.errorLine >= 0 && dat.errorLine <= lineCount(bytes),
        "the line at fault is one of the file's, or none", dat.error);
    if (!dat.isRead()) {
        check(dat.roms.isEmpty(), "a DAT that cannot be read gives no rom", dat.error);
        return;
    }
    check(dat.errorLine == 0, "a read DAT has no line at fault");
    check(!dat.roms.isEmpty(), "a read DAT holds a rom");

    QHash<qint64, QList<qsizetype>> bySize; // every rom of each size, in the DAT's order
    for (qsizetype i = 0; i < dat.roms.size(); ++i) {
        const DatRom &rom = dat.roms[i];
        check(!rom.name.isEmpty(), "every rom has a name");
        check(rom.md5.isEmpty() || rom.md5.size() == 16, "an MD5 is 16 bytes or none", rom.name);
        check(rom.sha1.isEmpty() || rom.sha1.size() == 20, "a SHA-1 is 20 bytes or none", rom.name);
        check(rom.size >= -1, "a size is a number of bytes, or -1 for none", rom.name);
        check(rom.hasCrc || rom.crc == 0, "a rom without a CRC-32 has 0 for it", rom.name);
        if (rom.size >= 0)
            bySize[rom.size].append(i);
    }
    for (auto it = bySize.cbegin(); it != bySize.cend(); ++it) {
        check(isSame(dat.withSize(it.key()), it.value()),
            "withSize() gives every rom of that size and no other, in the DAT's order",
            QString::number(it.key()));
    }
    check(dat.withSize(-1).isEmpty(), "withSize() never gives a rom without a size");
}

/// An image: the bytes a device holds, and the size the caller gives it,
/// which may be more when the image is taken to be longer than it is.
struct Image
{
    QByteArray held;
    qint64 size = 0;
};

// Whether reading \a stretch needs bytes that the image is said to hold and
// does not: those are no zeros, so the read must fail.
bool reachesPastHeld(const Image &image, ByteStretch stretch)
{
    const qint64 end = std::min(stretch.start + stretch.size, image.size);
    return stretch.size > 0 && end > std::max(stretch.start, qint64(image.held.size()));
}

/// Records the progress a call tells, and stops it at call stopAt (from 1; 0 for never).
struct ProgressLog
{
    int stopAt = 0;
    int calls = 0;
    qint64 done = 0;
    qint64 total = -1;
    bool isOrdered = true;

    Progress progress()
    {
        return [this](qint64 nowDone, qint64 nowTotal) {
            ++calls;
            if (total < 0)
                total = nowTotal;
            isOrdered = isOrdered && nowTotal == total && nowDone >= done && nowDone <= total;
            done = nowDone;
            return calls != stopAt;
        };
    }

    bool isStopped() const { return stopAt > 0 && calls == stopAt; }
};

// What holds of any call that reports progress: it is told in order, and the
// call stops exactly when told to, with its own reason.
void checkProgress(
    const ProgressLog &log, bool isDone, const QString &error, qint64 total, const char *call)
{
    check(log.isOrdered, "progress only grows, up to a total that stays", QString::fromUtf8(call));
    check(log.calls == 0 || log.total == total, "progress counts every byte to read",
        QString::fromUtf8(call));
    check(!log.isStopped() || (!isDone && error == QStringLiteral("Stopped")),
        "a call told to stop stops, and says so", QString::fromUtf8(call));
    check(!isDone || log.calls == 0 || log.done == total, "a call done has told all its bytes done",
        QString::fromUtf8(call));
}

void checkHashes(const Image &image, const QList<ByteStretch> &stretches, int stopAt)
{
    qint64 total = 0;
    bool isValid = true;
    bool isShort = false;
    for (const ByteStretch &stretch : stretches) {
        total += std::max(stretch.size, qint64(0));
        isValid = isValid && stretch.size >= 0;
        isShort = isShort || reachesPastHeld(image, stretch);
    }
    QBuffer device;
    device.setData(image.held);
    device.open(QIODevice::ReadOnly);
    QList<FileHashes> hashes{ FileHashes() };
    QString error;
    ProgressLog log{ stopAt };
    const bool isDone =
        hashStretches(device, image.size, stretches, &hashes, &error, log.progress());
    checkProgress(log, isDone, error, total, "hashStretches");
    check(isDone == error.isEmpty(), "hashStretches fails exactly with a reason", error);
    if (!isDone) {
        check(hashes.isEmpty(), "a failed hashStretches gives no hashes", error);
        check(log.isStopped() || !isValid || isShort,
            "hashStretches fails only where a stretch has no size or the image lacks bytes", error);
        return;
    }
    check(isValid && !isShort, "hashStretches refuses a negative size and an image cut short");
    check(hashes.size() == stretches.size(), "hashStretches gives hashes for every stretch");
    for (qsizetype i = 0; i < stretches.size(); ++i) {
        const QByteArray bytes = stretchBytes(image.held, stretches[i].start, stretches[i].size);
        const FileHashes &found = hashes[i];
        const QString detail = QStringLiteral("stretch %1: %2 bytes from %3")
                                   .arg(i)
                                   .arg(stretches[i].size)
                                   .arg(stretches[i].start);
        check(found.size == stretches[i].size, "a stretch's size is its own", detail);
        check(found.crc32 == referenceCrc32(bytes), "a stretch's CRC-32 is that of its bytes",
            detail);
        check(found.md5 == QCryptographicHash::hash(bytes, QCryptographicHash::Md5),
            "a stretch's MD5 is that of its bytes", detail);
        check(found.sha1 == QCryptographicHash::hash(bytes, QCryptographicHash::Sha1),
            "a stretch's SHA-1 is that of its bytes", detail);
    }
}

void checkCopy(const Image &image, ByteStretch stretch, int stopAt)
{
    QBuffer device;
    device.setData(image.held);
    device.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    ProgressLog log{ stopAt };
    const bool isDone = copyStretch(device, image.size, stretch, out, &error, log.progress());
    checkProgress(log, isDone, error, stretch.size, "copyStretch");
    check(isDone == error.isEmpty(), "copyStretch fails exactly with a reason", error);
    check(log.isStopped() || isDone == (stretch.size >= 0 && !reachesPastHeld(image, stretch)),
        "copyStretch copies every stretch that the image holds, and only those", error);
    if (isDone)
        check(out.data() == stretchBytes(image.held, stretch.start, stretch.size),
            "a copy holds the stretch's bytes, zeros beyond the image");
}

// The rolling CRC against the CRC of each window worked out by itself.
void checkSlidingCrc(QByteArrayView bytes, qsizetype window)
{
    if (window <= 0 || window > bytes.size())
        return;
    SlidingCrc32 crc(window);
    crc.fill(bytes.first(window));
    check(crc.value() == referenceCrc32(bytes.first(window)), "a filled window has its CRC-32");
    for (qsizetype at = window; at < bytes.size(); ++at) {
        crc.slide(uchar(bytes[at]), uchar(bytes[at - window]));
        check(crc.value() == referenceCrc32(bytes.sliced(at - window + 1, window)),
            "a slid window has the CRC-32 of the bytes now in it",
            QStringLiteral("window of %1 at %2").arg(window).arg(at - window + 1));
    }
}

void checkCrc(QByteArrayView bytes, qsizetype split)
{
    check(crc32(bytes) == referenceCrc32(bytes), "crc32() is CRC-32");
    split = std::min(split, bytes.size());
    check(crc32(bytes.sliced(split), crc32(bytes.first(split))) == referenceCrc32(bytes),
        "crc32() goes on from the CRC of the bytes before");
}

void checkOffsets(
    const Image &image, ByteStretch track, int mostSamples, const QSet<quint32> &crcs, int stopAt)
{
    const qint64 reach = 4 * qint64(std::max(mostSamples, 0));
    const bool reads = mostSamples >= 0 && track.size > 0;
    const bool isShort =
        reads && reachesPastHeld(image, { track.start - reach, track.size + 2 * reach });
    QBuffer device;
    device.setData(image.held);
    device.open(QIODevice::ReadOnly);
    QList<int> offsets{ 99 };
    QString error;
    ProgressLog log{ stopAt };
    const bool isDone = offsetsMatching(
        device, image.size, track, mostSamples, crcs, &offsets, &error, log.progress());
    checkProgress(log, isDone, error, track.size + 2 * reach, "offsetsMatching");
    check(isDone == error.isEmpty(), "offsetsMatching fails exactly with a reason", error);
    if (!isDone) {
        QStringList found;
        for (const int samples : offsets)
            found << QString::number(samples);
        check(offsets.isEmpty(), "a failed offsetsMatching gives no offsets",
            error + QStringLiteral(": ") + found.join(u' '));
        check(log.isStopped() || isShort || track.size < 0,
            "offsetsMatching fails only where it is stopped, the track has no size or the image "
            "lacks bytes",
            error);
        return;
    }
    check(track.size >= 0 && !isShort,
        "offsetsMatching refuses a negative size and an image cut short");

    QList<int> expected; // every window's CRC-32 worked out by itself
    for (int samples = -mostSamples; samples <= mostSamples; ++samples) {
        const QByteArray window =
            stretchBytes(image.held, track.start + 4 * qint64(samples), track.size);
        if (crcs.contains(referenceCrc32(window)))
            expected.append(samples);
    }
    QStringList shown;
    for (const QList<int> &list : { offsets, expected }) {
        QStringList numbers;
        for (const int samples : list)
            numbers << QString::number(samples);
        shown << numbers.join(u' ');
    }
    check(isSame(offsets, expected),
        "offsetsMatching gives every offset whose window has a CRC given",
        QStringLiteral("%1 bytes from %2, up to %3 samples: found %4, expected %5")
            .arg(track.size)
            .arg(track.start)
            .arg(mostSamples)
            .arg(shown[0], shown[1]));
}

// The input's first bytes set an image and its stretches up, small enough
// that every window is worked out by itself in a moment:
//   0  the most samples of offset each way, -1 to 8
//   1  the track's size, 0 to 39 bytes, or from 240 on a negative one
//   2  its start, from 32 bytes before the image
//   3  the image's length, a prefix of the input of at most 127 bytes
//   4  bits 0-2 all set: the image is said to be longer than the bytes held
//   5  which windows' CRC-32s go into the set: bit k for offset k - 4, and
//      bit 7 for a window between whole samples
//   6  the stretches hashed: 0 to 3 of the track, the stretch after it, and
//      one at byte 10's start, of byte 11's size; bit 2 makes one negative
//   7  the progress call that stops hashStretches and copyStretch (low
//      half) and offsetsMatching (high half); 0 for none
//   8  where crc32() splits the image
// The input's last 8 bytes are two more CRC-32s for the set, as a DAT gives any.
void checkImage(QByteArrayView input)
{
    const auto byte = [&](qsizetype i) { return i < input.size() ? uchar(input[i]) : uchar(0); };
    const int mostSamples = byte(0) % 10 - 1;
    const ByteStretch track{ byte(2) % 96 - 32, byte(1) < 240 ? byte(1) % 40 : 239 - byte(1) };
    Image image;
    image.held = input.first(std::min<qsizetype>(input.size(), byte(3) % 128)).toByteArray();
    image.size = image.held.size();
    if ((byte(4) & 7) == 7)
        image.size += 1 + (byte(4) >> 3) % 8;

    QSet<quint32> crcs;
    for (int k = 0; k < 7; ++k) {
        if (byte(5) & (1 << k))
            crcs.insert(referenceCrc32(
                stretchBytes(image.held, track.start + 4 * qint64(k - 4), track.size)));
    }
    if (byte(5) & 0x80)
        crcs.insert(referenceCrc32(stretchBytes(image.held, track.start + 2, track.size)));
    if (input.size() >= 8) {
        for (qsizetype at = input.size() - 8; at < input.size(); at += 4) {
            const auto *word = reinterpret_cast<const uchar *>(input.data() + at);
            crcs.insert(quint32(word[0]) | quint32(word[1]) << 8 | quint32(word[2]) << 16
                | quint32(word[3]) << 24);
        }
    }

    const QList<ByteStretch> candidates{ track, { track.start + track.size, byte(9) % 24 },
        { byte(10) % 96 - 32, byte(11) % 24 } };
    QList<ByteStretch> stretches = candidates.first(byte(6) % 4);
    if ((byte(6) & 4) && !stretches.isEmpty())
        stretches.last().size = -1 - byte(6) % 3;

    checkCrc(image.held, byte(8) % 128);
    checkSlidingCrc(image.held, qsizetype(track.size));
    checkOffsets(image, track, mostSamples, crcs, byte(7) >> 4);
    checkHashes(image, stretches, byte(7) & 0x0f);
    for (const ByteStretch &stretch : stretches)
        checkCopy(image, stretch, byte(7) & 0x0f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Reads past the end of an image cut short are made on purpose, and
    // QBuffer warns of each seek there: the log would hold little else.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkDat(bytes);
    checkImage(bytes);
    return 0;
}
