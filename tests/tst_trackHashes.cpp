#include "crc.h"
#include "referenceBytes.h"
#include "trackHashes.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace morvant;

Q_DECLARE_METATYPE(morvant::ByteStretch)

// What --verify and --split read of an image: its stretches hashed or
// copied, zeros beyond its ends, and the read offsets at which an audio
// track's CRC-32 is found. Each result is compared with the same hashes of
// the same bytes built in memory, or, for the offsets, with the CRC-32 of
// every shifted window worked out one by one.

namespace {

// A chunk of the engine's reads is 1 MiB; several rows cross chunks.
constexpr qint64 mebibyte = qint64(1) << 20;
constexpr qint64 sector = 2352;

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

/// The bytes of \a stretch of \a image, zeros beyond its ends.
QByteArray stretchBytes(const QByteArray &image, ByteStretch stretch)
{
    return stretchBytes(image, stretch.start, stretch.size);
}

FileHashes hashesOf(const QByteArray &bytes)
{
    return { bytes.size(), crc32(bytes), QCryptographicHash::hash(bytes, QCryptographicHash::Md5),
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha1) };
}

/// \a Device that counts the seeks and the bytes read through it.
template <typename Device> class Counting : public Device
{
public:
    using Device::Device;
    int seeks = 0;
    qint64 bytesRead = 0;

    bool seek(qint64 position) override
    {
        ++seeks;
        return Device::seek(position);
    }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 got = Device::readData(data, size);
        bytesRead += std::max(got, qint64(0));
        return got;
    }
};

/// An image whose reads fail once \a failAfter bytes are read, as a disc or disk with a bad sector.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(QByteArray bytes, qint64 failAfter)
        : bytes(std::move(bytes)), failAfter(failAfter)
    {
    }
    qint64 size() const override { return bytes.size(); }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 from = pos();
        size = std::min(size, bytes.size() - from);
        if (from + size > failAfter) {
            setErrorString(QStringLiteral("Simulated read error"));
            return -1;
        }
        std::copy_n(bytes.constData() + from, size, data);
        return size;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes;
    qint64 failAfter;
};

// A device that takes no byte, like a full disk.
class FullDevice : public QIODevice
{
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64) override
    {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
};

/// How many threads the process runs; -1 where the system does not tell.
int runningThreads()
{
#ifdef Q_OS_LINUX
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
#else
    return -1;
#endif
}

/// What a Progress was told: each call's done and total.
struct ProgressCalls
{
    QList<std::pair<qint64, qint64>> calls;
    int stopAt = -1; ///< the call that returns false; -1 for none

    Progress progress()
    {
        return [this](qint64 done, qint64 total) {
            calls.append({ done, total });
            return calls.size() != stopAt;
        };
    }

    /// The calls count up to \a total, which each gives.
    bool countsUpTo(qint64 total) const
    {
        qint64 before = 0;
        for (const auto &[done, told] : calls) {
            if (told != total || done < before || done > total)
                return false;
            before = done;
        }
        return !calls.isEmpty() && calls.last().first == total;
    }
};

} // namespace

class TestTrackHashes : public QObject
{
    Q_OBJECT

private slots:
    void hashStretches_data();
    void hashStretches();
    void hashStretchesFails_data();
    void hashStretchesFails();
    void copyStretch_data();
    void copyStretch();
    void copyStretchFails_data();
    void copyStretchFails();
    void offsetsMatching_data();
    void offsetsMatching();
    void offsetsMatchingFails_data();
    void offsetsMatchingFails();
};

void TestTrackHashes::hashStretches_data()
{
    QTest::addColumn<qint64>("imageSize");
    QTest::addColumn<QList<ByteStretch>>("stretches");
    QTest::addColumn<bool>("inFile"); // or in memory
    QTest::addColumn<int>("mostSeeks");

    const qint64 size = 3 * mebibyte + 1234;
    QList<ByteStretch> tracks; // end to end, as a disc's are, over the whole image
    for (qint64 start = 0; start < size; start += 700 * sector)
        tracks.append({ start, std::min(700 * sector, size - start) });
    QList<ByteStretch> many;
    for (qint64 start = 0; start < size; start += 10 * sector)
        many.append({ start, std::min(10 * sector, size - start) });

    // clang-format off
    QTest::newRow("inside")                   << size << QList<ByteStretch>{{1000, 5000}} << false << 1;
    QTest::newRow("from before the start")    << size << QList<ByteStretch>{{-3000, 10000}} << false << 1;
    QTest::newRow("to after the end")         << size << QList<ByteStretch>{{size - 2000, 7000}} << false << 1;
    QTest::newRow("wholly before the start")  << size << QList<ByteStretch>{{-9000, 4000}} << false << 0;
    QTest::newRow("wholly after the end")     << size << QList<ByteStretch>{{size + 10, 4000}} << false << 0;
    QTest::newRow("beyond both ends")         << size << QList<ByteStretch>{{-100, size + 300}} << false << 1;
    QTest::newRow("nothing")                  << size << QList<ByteStretch>{{500, 0}} << false << 0;
    QTest::newRow("nothing, beyond the end")  << size << QList<ByteStretch>{{size + 5, 0}} << false << 0;
    QTest::newRow("no stretch")               << size << QList<ByteStretch>{} << false << 0;
    QTest::newRow("larger than a chunk")      << size << QList<ByteStretch>{{12345, 2 * mebibyte + 17}} << false << 1;
    QTest::newRow("tracks end to end")        << size << tracks << false << 1;
    QTest::newRow("many tracks end to end")   << size << many << false << 1;
    QTest::newRow("a stretch of nothing between two") << size << QList<ByteStretch>{{0, 5000}, {5000, 0}, {5000, 3000}} << false << 1;
    QTest::newRow("ends beyond the image")    << size << QList<ByteStretch>{{-4000, 4000}, {0, size}, {size, 4000}} << false << 1;
    QTest::newRow("out of order")             << size << QList<ByteStretch>{{2 * mebibyte, 1000}, {0, 1000}} << false << 2;
    QTest::newRow("the same twice")           << size << QList<ByteStretch>{{100, 1000}, {100, 1000}} << false << 2;
    QTest::newRow("an empty image")           << qint64(0) << QList<ByteStretch>{{-10, 100}} << false << 0;
    QTest::newRow("in a file: tracks end to end")    << size << tracks << true << 1;
    QTest::newRow("in a file: beyond both ends")     << size << QList<ByteStretch>{{-100, size + 300}} << true << 1;
    QTest::newRow("in a file: larger than a chunk")  << size << QList<ByteStretch>{{12345, 2 * mebibyte + 17}} << true << 1;
    // clang-format on
}

void TestTrackHashes::hashStretches()
{
    QFETCH(qint64, imageSize);
    QFETCH(QList<ByteStretch>, stretches);
    QFETCH(bool, inFile);
    QFETCH(int, mostSeeks);

    const QByteArray image = randomBytes(imageSize, 7);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("image.img"));
    QFile write(path);
    QVERIFY(write.open(QIODevice::WriteOnly) && write.write(image) == image.size());
    write.close();
    Counting<QFile> file(path);
    Counting<QBuffer> buffer;
    buffer.setData(image);
    QIODevice &device = inFile ? static_cast<QIODevice &>(file) : buffer;
    QVERIFY(device.open(QIODevice::ReadOnly));
    file.seeks = buffer.seeks = 0;

    QList<FileHashes> hashes;
    QString error;
    ProgressCalls told;
    QVERIFY2(::hashStretches(device, imageSize, stretches, &hashes, &error, told.progress()),
        qPrintable(error));
    QCOMPARE(hashes.size(), stretches.size());
    qint64 total = 0;
    for (qsizetype index = 0; index < stretches.size(); ++index) {
        const FileHashes expected = hashesOf(stretchBytes(image, stretches[index]));
        QCOMPARE(hashes[index].size, expected.size);
        QCOMPARE(hashes[index].crc32, expected.crc32);
        QCOMPARE(hashes[index].md5.toHex(), expected.md5.toHex());
        QCOMPARE(hashes[index].sha1.toHex(), expected.sha1.toHex());
        total += stretches[index].size;
    }
    // Stretches end to end are read as one: no seek between them.
    QVERIFY2((inFile ? file.seeks : buffer.seeks) <= mostSeeks,
        qPrintable(QString::number(inFile ? file.seeks : buffer.seeks)));
    if (!stretches.isEmpty())
        QVERIFY(told.countsUpTo(total));
}

void TestTrackHashes::hashStretchesFails_data()
{
    QTest::addColumn<qint64>("deviceSize");
    QTest::addColumn<qint64>("failAfter"); // -1: never
    QTest::addColumn<qint64>("imageSize");
    QTest::addColumn<QList<ByteStretch>>("stretches");
    QTest::addColumn<int>("stopAt"); // the progress call that stops it; -1 for none
    QTest::addColumn<QString>("expected");

    const qint64 size = 3 * mebibyte;
    const QList<ByteStretch> tracks{ { 0, mebibyte }, { mebibyte, mebibyte },
        { 2 * mebibyte, mebibyte } };
    const QString readError = QStringLiteral("Simulated read error");

    // clang-format off
    QTest::newRow("a read fails in the first chunk")  << size << qint64(1000) << size << tracks << -1 << readError;
    QTest::newRow("a read fails in a later track")    << size << 2 * mebibyte + 5 << size << tracks << -1 << readError;
    QTest::newRow("a read fails in the last chunk")   << size << size - 1 << size << tracks << -1 << readError;
    QTest::newRow("the image is shorter than said")   << size << qint64(-1) << size + 5000 << QList<ByteStretch>{{0, size + 5000}} << -1
                                                      << QStringLiteral("it ends after 3145728 bytes, not 3150728");
    QTest::newRow("a stretch of a negative size")     << size << qint64(-1) << size << QList<ByteStretch>{{0, 10}, {10, -1}} << -1
                                                      << QStringLiteral("-1 bytes from byte 10 are no stretch of an image");
    QTest::newRow("stopped at once")                  << size << qint64(-1) << size << tracks << 1 << QStringLiteral("Stopped");
    QTest::newRow("stopped in a later track")         << size << qint64(-1) << size << tracks << 2 << QStringLiteral("Stopped");
    // clang-format on
}

void TestTrackHashes::hashStretchesFails()
{
    QFETCH(qint64, deviceSize);
    QFETCH(qint64, failAfter);
    QFETCH(qint64, imageSize);
    QFETCH(QList<ByteStretch>, stretches);
    QFETCH(int, stopAt);
    QFETCH(QString, expected);

    FailingDevice device(randomBytes(deviceSize, 3), failAfter < 0 ? deviceSize : failAfter);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const int threads = runningThreads();
    QList<FileHashes> hashes{ FileHashes() };
    QString error;
    ProgressCalls told;
    told.stopAt = stopAt;
    QVERIFY(!::hashStretches(device, imageSize, stretches, &hashes, &error, told.progress()));
    QCOMPARE(error, expected);
    QVERIFY(hashes.isEmpty());
    if (stopAt > 0)
        QCOMPARE(told.calls.size(), stopAt);
    // The hashing thread has ended; a thread of the system's may take a moment to go.
    // (Not QTRY_COMPARE, whose timeout newer Qt versions narrow, which -Wconversion refuses.)
    QDeadlineTimer deadline(5000);
    while (runningThreads() != threads && !deadline.hasExpired())
        QThread::msleep(10);
    QCOMPARE(runningThreads(), threads);
}

void TestTrackHashes::copyStretch_data()
{
    QTest::addColumn<ByteStretch>("stretch");

    const qint64 size = 2 * mebibyte + 100; // of the image

    // clang-format off
    QTest::newRow("inside")                  << ByteStretch{1000, 5000};
    QTest::newRow("from before the start")   << ByteStretch{-3000, 10000};
    QTest::newRow("to after the end")        << ByteStretch{size - 2000, 7000};
    QTest::newRow("wholly before the start") << ByteStretch{-9000, 4000};
    QTest::newRow("wholly after the end")    << ByteStretch{size + 10, 4000};
    QTest::newRow("beyond both ends")        << ByteStretch{-100, size + 300};
    QTest::newRow("nothing")                 << ByteStretch{500, 0};
    QTest::newRow("larger than a chunk")     << ByteStretch{12345, mebibyte + 17};
    // clang-format on
}

void TestTrackHashes::copyStretch()
{
    QFETCH(ByteStretch, stretch);

    const QByteArray image = randomBytes(2 * mebibyte + 100, 11);
    QBuffer device;
    device.setData(image);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    QString error;
    ProgressCalls told;
    QVERIFY2(::copyStretch(device, image.size(), stretch, out, &error, told.progress()),
        qPrintable(error));
    QVERIFY(out.data() == stretchBytes(image, stretch));
    QVERIFY(stretch.size == 0 || told.countsUpTo(stretch.size));
}

void TestTrackHashes::copyStretchFails_data()
{
    QTest::addColumn<qint64>("failAfter"); // -1: never
    QTest::addColumn<bool>("isOutFull");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("a read fails")   << qint64(5000) << false << -1 << QStringLiteral("Simulated read error");
    QTest::newRow("the out is full") << qint64(-1)  << true  << -1 << QStringLiteral("No space left on device");
    QTest::newRow("stopped")        << qint64(-1)   << false << 1  << QStringLiteral("Stopped");
    // clang-format on
}

void TestTrackHashes::copyStretchFails()
{
    QFETCH(qint64, failAfter);
    QFETCH(bool, isOutFull);
    QFETCH(int, stopAt);
    QFETCH(QString, expected);

    const qint64 size = 3 * mebibyte;
    FailingDevice device(randomBytes(size, 5), failAfter < 0 ? size : failAfter);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QBuffer buffer;
    FullDevice full;
    QIODevice &out = isOutFull ? static_cast<QIODevice &>(full) : buffer;
    QVERIFY(out.open(QIODevice::WriteOnly));
    QString error;
    ProgressCalls told;
    told.stopAt = stopAt;
    QVERIFY(!::copyStretch(device, size, { 0, size }, out, &error, told.progress()));
    QCOMPARE(error, expected);
}

void TestTrackHashes::offsetsMatching_data()
{
    QTest::addColumn<qint64>("imageSize");
    QTest::addColumn<bool>("isSilent"); // every byte of the image zero
    QTest::addColumn<ByteStretch>("track");
    QTest::addColumn<int>("mostSamples");
    QTest::addColumn<QList<int>>(
        "inDat"); // offsets whose window's CRC-32 the DAT gives, within mostSamples
    QTest::addColumn<QList<int>>("beyond"); // offsets beyond mostSamples whose CRC-32 it gives

    const qint64 size = 200000;
    const qint64 track = 10 * sector;
    const QList<int> several{ -20, -7, -1, 0, 3, 20 };
    const QList<int> justBeyond{ -21, 21 };

    // clang-format off
    QTest::newRow("a track in the middle")      << size << false << ByteStretch{80000, track} << 20 << several << justBeyond;
    QTest::newRow("a track at the image's start") << size << false << ByteStretch{0, track} << 20 << several << justBeyond;
    QTest::newRow("a track at the image's end") << size << false << ByteStretch{size - track, track} << 20 << several << justBeyond;
    QTest::newRow("the whole image")            << size << false << ByteStretch{0, size} << 20 << several << justBeyond;
    QTest::newRow("shorter than the slide")     << size << false << ByteStretch{1000, 16} << 20 << several << justBeyond;
    QTest::newRow("shorter at the start")       << size << false << ByteStretch{0, 30} << 20 << several << justBeyond;
    QTest::newRow("one byte")                   << size << false << ByteStretch{5000, 1} << 20 << several << justBeyond;
    QTest::newRow("an odd length")              << size << false << ByteStretch{5001, 999} << 20 << several << justBeyond;
    QTest::newRow("no offset but 0")            << size << false << ByteStretch{80000, track} << 0 << QList<int>{0} << QList<int>{-1, 1};
    QTest::newRow("no offset found")            << size << false << ByteStretch{80000, track} << 20 << QList<int>{} << justBeyond;
    QTest::newRow("larger than a chunk")        << 3 * mebibyte << false << ByteStretch{100000, mebibyte + 500 * sector + 12} << 5 << QList<int>{-5, 2, 5} << QList<int>{6};
    QTest::newRow("larger than a chunk, at the end") << 3 * mebibyte << false << ByteStretch{2 * mebibyte, mebibyte} << 5 << QList<int>{-5, 2, 5} << QList<int>{-6};
    QTest::newRow("a track of nothing")         << size << false << ByteStretch{100, 0} << 20 << QList<int>{0} << QList<int>{};
    QTest::newRow("silence: every offset")      << size << true << ByteStretch{80000, track} << 20 << QList<int>{0} << QList<int>{};
    QTest::newRow("beyond the image")           << size << false << ByteStretch{size + 100, track} << 20 << QList<int>{-20} << QList<int>{};
    // clang-format on
}

void TestTrackHashes::offsetsMatching()
{
    QFETCH(qint64, imageSize);
    QFETCH(bool, isSilent);
    QFETCH(ByteStretch, track);
    QFETCH(int, mostSamples);
    QFETCH(QList<int>, inDat);
    QFETCH(QList<int>, beyond);

    const QByteArray image = isSilent ? QByteArray(imageSize, '\0') : randomBytes(imageSize, 13);
    const auto windowCrc = [&](qint64 shift) {
        return crc32(stretchBytes(image, { track.start + shift, track.size }));
    };
    QSet<quint32> crcs;
    for (const int samples : inDat + beyond)
        crcs.insert(windowCrc(4 * qint64(samples)));
    // Decoys: windows between whole samples, and values of no window.
    crcs.insert(windowCrc(2));
    crcs.insert(windowCrc(-4 * qint64(mostSamples) - 1));
    crcs.insert(0xdeadbeef);
    crcs.insert(0x12345678);

    QList<int> expected; // every window's CRC-32 worked out by itself
    for (int samples = -mostSamples; samples <= mostSamples; ++samples) {
        if (crcs.contains(windowCrc(4 * qint64(samples))))
            expected.append(samples);
    }
    for (const int samples : inDat)
        QVERIFY(expected.contains(samples));
    for (const int samples : beyond)
        QVERIFY(!expected.contains(samples));

    Counting<QBuffer> device;
    device.setData(image);
    QVERIFY(device.open(QIODevice::ReadOnly));
    device.seeks = 0;
    QList<int> offsets{ 99 };
    QString error;
    ProgressCalls told;
    QVERIFY2(::offsetsMatching(
                 device, image.size(), track, mostSamples, crcs, &offsets, &error, told.progress()),
        qPrintable(error));
    QCOMPARE(offsets, expected);
    // One read of the track and the bytes each side, whatever the number of offsets.
    QVERIFY(device.seeks <= 1);
    QVERIFY(device.bytesRead <= track.size + 8 * qint64(mostSamples));
}

void TestTrackHashes::offsetsMatchingFails_data()
{
    QTest::addColumn<qint64>("failAfter"); // -1: never
    QTest::addColumn<ByteStretch>("track");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<bool>("givesFirst"); // the DAT gives the CRC-32 of the first window
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("a read fails in the track")  << qint64(mebibyte) << ByteStretch{1000, 2 * mebibyte} << -1 << false << QStringLiteral("Simulated read error");
    QTest::newRow("a read fails beyond it")     << 2 * mebibyte + 1100 << ByteStretch{1000, 2 * mebibyte} << -1 << false << QStringLiteral("Simulated read error");
    QTest::newRow("a read fails after a match") << 2 * mebibyte + 1100 << ByteStretch{1000, 2 * mebibyte} << -1 << true << QStringLiteral("Simulated read error");
    QTest::newRow("stopped")                    << qint64(-1) << ByteStretch{1000, 2 * mebibyte} << 1 << false << QStringLiteral("Stopped");
    QTest::newRow("a negative size")            << qint64(-1) << ByteStretch{1000, -5} << -1 << false << QStringLiteral("-5 bytes from byte 1000 are no stretch of an image");
    // clang-format on
}

void TestTrackHashes::offsetsMatchingFails()
{
    QFETCH(qint64, failAfter);
    QFETCH(ByteStretch, track);
    QFETCH(int, stopAt);
    QFETCH(bool, givesFirst);
    QFETCH(QString, expected);

    const qint64 size = 3 * mebibyte;
    const QByteArray image = randomBytes(size, 17);
    FailingDevice device(image, failAfter < 0 ? size : failAfter);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const int mostSamples = 100;
    QSet<quint32> crcs{ 0 };
    // Found before the read fails, and still no offset of a track not read to its end.
    if (givesFirst)
        crcs.insert(crc32(stretchBytes(image, { track.start - 4 * mostSamples, track.size })));
    QList<int> offsets{ 1 };
    QString error;
    ProgressCalls told;
    told.stopAt = stopAt;
    QVERIFY(!::offsetsMatching(
        device, size, track, mostSamples, crcs, &offsets, &error, told.progress()));
    QCOMPARE(error, expected);
    QVERIFY(offsets.isEmpty());
}

QTEST_GUILESS_MAIN(TestTrackHashes)
#include "tst_trackHashes.moc"
