#include "crc.h"

#include <QTest>

using namespace morvant;

// The CRC that guards Q blocks and CD-Text packs. The values are those of
// CRC-16/XMODEM, the catalogued CRC with this polynomial and no initial bits
// (Python's binascii.crc_hqx with 0 works it out), inverted as a disc stores it.

class TestCrc : public QObject
{
    Q_OBJECT

private slots:
    void cdCrc_data();
    void cdCrc();
};

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

QTEST_GUILESS_MAIN(TestCrc)
#include "tst_crc.moc"
