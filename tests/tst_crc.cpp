#include "crc.h"
#include "referenceBytes.h"

#include <QRandomGenerator>
#include <QTest>

using namespace morvant;

// The CRC that guards Q blocks and CD-Text packs. The values are those of
// CRC-16/XMODEM, the catalogued CRC with this polynomial and no initial bits
// (Python's binascii.crc_hqx with 0 works it out), inverted as a disc stores it.
// The CRC-32 of DATs and zip files, whose values are zlib's (Python's
// zlib.crc32 works them out), and the rolling CRC-32 of a sliding window.

class TestCrc : public QObject
{
    Q_OBJECT

private slots:
    void cdCrc_data();
    void cdCrc();
    void crc32_data();
    void crc32();
    void crc32AtEveryAlignment();
    void slidingCrc32_data();
    void slidingCrc32();
};

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

} // namespace

void TestCrc::cdCrc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");

    // clang-format off
    QTest::newRow("check value, 0x31c3 inverted") << QByteArray("123456789") << 0xce3c;
    QTest::newRow("nothing")                      << QByteArray() << 0xffff;
    QTest::newRow("Q block of track 1 at 00:02:00") << QByteArray::fromHex("41010100000000000200") << 0x2832;
    QTest::newRow("CD-Text pack of a disc title")   << QByteArray::fromHex("80000000414243000000000000000000") << 0x0e08;
    // clang-format on
}

void TestCrc::cdCrc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);

    QCOMPARE(::cdCrc(bytes), quint16(expected));
}

void TestCrc::crc32_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("expected");

    QByteArray everyByte;
    for (int byte = 0; byte < 256; ++byte)
        everyByte.append(char(byte));

    // clang-format off
    QTest::newRow("check value")         << QByteArray("123456789") << 0xcbf43926u;
    QTest::newRow("nothing")             << QByteArray() << 0x00000000u;
    QTest::newRow("one letter")          << QByteArray("a") << 0xe8b7be43u;
    QTest::newRow("three letters")       << QByteArray("abc") << 0x352441c2u;
    QTest::newRow("the quick brown fox") << QByteArray("The quick brown fox jumps over the lazy dog") << 0x414fa339u;
    QTest::newRow("32 zero bytes")       << QByteArray(32, '\0') << 0x190a55adu;
    QTest::newRow("32 bytes of 0xff")    << QByteArray(32, '\xff') << 0xff6cab0bu;
    QTest::newRow("every byte in order") << everyByte << 0x29058c73u;
    // clang-format on
}

void TestCrc::crc32()
{
    QFETCH(QByteArray, bytes);
    QFETCH(uint, expected);

    QCOMPARE(::crc32(bytes), quint32(expected));
    // The value of the bytes before continues, wherever the bytes are cut.
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        const QByteArrayView whole(bytes);
        QCOMPARE(::crc32(whole.sliced(cut), ::crc32(whole.first(cut))), quint32(expected));
    }
}

void TestCrc::crc32AtEveryAlignment()
{
    // Eight bytes are taken at a time: every start and length around them.
    const QByteArray bytes = randomBytes(300, 1);
    for (qsizetype start = 0; start < 8; ++start) {
        for (qsizetype size = 0; start + size <= bytes.size(); ++size) {
            const QByteArrayView slice = QByteArrayView(bytes).sliced(start, size);
            QCOMPARE(::crc32(slice), referenceCrc32(slice));
        }
    }
}

void TestCrc::slidingCrc32_data()
{
    QTest::addColumn<int>("windowSize");

    // clang-format off
    QTest::newRow("one byte")            << 1;
    QTest::newRow("three bytes")         << 3;
    QTest::newRow("eight bytes")         << 8;
    QTest::newRow("a sector")            << 2352;
    QTest::newRow("a power of 2")        << 4096;
    // clang-format on
}

void TestCrc::slidingCrc32()
{
    QFETCH(int, windowSize);

    const QByteArray stream = randomBytes(6000, quint32(windowSize));
    SlidingCrc32 window(windowSize);
    // Filled in two pieces, as chunks of a file may give it.
    window.fill(QByteArrayView(stream).first(windowSize / 2));
    window.fill(QByteArrayView(stream).sliced(windowSize / 2, windowSize - windowSize / 2));
    QCOMPARE(window.value(), ::crc32(QByteArrayView(stream).first(windowSize)));
    for (qsizetype first = 1; first + windowSize <= stream.size(); ++first) {
        window.slide(uchar(stream[first + windowSize - 1]), uchar(stream[first - 1]));
        QCOMPARE(window.value(), ::crc32(QByteArrayView(stream).sliced(first, windowSize)));
    }
}

QTEST_GUILESS_MAIN(TestCrc)
#include "tst_crc.moc"
