#include "check.h"
#include "controlFiles.h"
#include "discImage.h"

#include <QFileInfo>
#include <QTest>

#include <optional>

using namespace morvant;

// --sbi: the Q blocks of a copy-protected PlayStation disc that a cue sheet
// cannot give, written into a .sbi file for emulators.

namespace {

// clang-format off
/// A PlayStation game: one Mode 2 data track, then audio; LibCrypt alters sectors on minute 3.
const Disc playStationDisc{ { { 1, 0x04, 2, {}, {}, 0 }, { 2, 0x00, 0, {}, 14250, 14400 },
    { 3, 0x00, 0, {}, 14700, 14850 } }, { 15500 } };
// clang-format on

/// What a test does to the subchannel of the PlayStation disc.
enum class Sbi {
    Protected,
    ProtectedEndAtZero,
    OneSector,
    SpoiltPregapStart, ///< protected, and the first block of track 2's pregap fails its CRC
    /// protected, and a stretch of track 1 in index 2, which the sheet lacks,
    /// its CRC sound and its times the sheet's
    IndexTwo,
    Codes,
    None,
    Shifted,
    Folder, ///< a folder under the .sub's name, as an unpacked archive may hold
};

/// The sectors that LibCrypt alters: pairs five sectors apart, from 03:00:05 on.
QList<qint64> protectedSectors()
{
    QList<qint64> sectors;
    for (qint64 pair = 0; pair < 16; ++pair)
        sectors << 13355 + pair * 20 << 13360 + pair * 20;
    return sectors;
}

/// The sectors of track 1 that IndexTwo puts in index 2.
QList<qint64> indexTwoSectors()
{
    return { 13700, 13701, 13702, 13703, 13704 };
}

/** Alters \a sub as LibCrypt does: two bits of both times changed, and the
    CRC made again and spoilt, but for every fourth sector, whose CRC fits;
    in the first \a count of its sectors. */
QByteArray libCrypt(QByteArray sub, qsizetype count = 32)
{
    const QList<qint64> sectors = protectedSectors().first(count);
    for (qsizetype i = 0; i < sectors.size(); ++i) {
        const qsizetype q = sectors[i] * subchannelBlockSize + 12;
        sub[q + 4] = char(sub[q + 4] ^ 0x01);
        sub[q + 8] = char(sub[q + 8] ^ 0x02);
        const quint16 crc = quint16(discCrc(sub.mid(q, 10)) ^ (i % 4 == 3 ? 0 : 0x0080));
        sub[q + 10] = char(crc >> 8);
        sub[q + 11] = char(crc & 0xff);
    }
    return sub;
}

/// The records of a .sbi file by their sector, read as the format lays them out.
std::optional<QMap<qint64, QByteArray>> sbiRecords(const QByteArray &sbi)
{
    if (!sbi.startsWith(QByteArray("SBI\0", 4)) || (sbi.size() - 4) % 14 != 0)
        return std::nullopt;
    QMap<qint64, QByteArray> records;
    qint64 last = -1;
    const auto fromBcd = [](char byte) { return (uchar(byte) >> 4) * 10 + (uchar(byte) & 0x0f); };
    for (qsizetype at = 4; at < sbi.size(); at += 14) {
        const qint64 sector =
            fromBcd(sbi[at]) * 4500 + fromBcd(sbi[at + 1]) * 75 + fromBcd(sbi[at + 2]) - 150;
        if (sector <= last || sbi[at + 3] != 1)
            return std::nullopt;
        records.insert(sector, sbi.mid(at + 4, 10));
        last = sector;
    }
    return records;
}

} // namespace

Q_DECLARE_METATYPE(Sbi)

class TestSbi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sbi_data();
    void sbi();
    void sbiOfTwoSessions_data();
    void sbiOfTwoSessions();

private:
    TestFolder folder{ TestFolder::Current };
    QString program;
};

// Made absolute while the current folder is still the one the test started
// in: under wine a path from the root names the current folder's drive.
void TestSbi::initTestCase()
{
    program = QFileInfo(QStringLiteral(MORVANT_PATH)).absoluteFilePath();
}

void TestSbi::init()
{
    folder.init();
}

void TestSbi::cleanup()
{
    folder.cleanup();
}

void TestSbi::sbi_data()
{
    QTest::addColumn<Sbi>("sub");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>(
        "records"); // in the .sbi; -1 for none, 0 for more than a protected disc has
    QTest::addColumn<QString>("line"); // a part of standard error
    QTest::addColumn<QByteArray>("before"); // the .sbi beside the sheet before the run; empty: none

    const QString written =
        "Disc.ccd: 32 sectors whose Q blocks a cue sheet loses went into Disc.sbi.";
    const QString damaged = "sectors of Disc.sub have Q blocks that differ from what the cue sheet "
                            "gives, far more than";
    // clang-format off
    QTest::newRow("protected disc")                     << Sbi::Protected << QStringList{ "--sbi" } << 32 << written << QByteArray();
    QTest::newRow("protected disc, --all")              << Sbi::Protected << QStringList{ "--all" } << 32 << written << QByteArray();
    QTest::newRow("protected disc, sheet to stdout")    << Sbi::Protected << QStringList{ "--sbi", "--stdout" } << 32 << written << QByteArray();
    QTest::newRow("protected disc, one file a track")   << Sbi::Protected << QStringList{ "--sbi", "--split" } << 32 << written << QByteArray();
    QTest::newRow("protected disc, rebuilt")            << Sbi::Protected << QStringList{ "--sbi", "--rebuild" } << 32 << written << QByteArray();
    QTest::newRow("pregaps counting down to 00:00:00")  << Sbi::ProtectedEndAtZero << QStringList{ "--sbi" } << 32 << written << QByteArray();
    QTest::newRow("a pregap that the sheet places")       << Sbi::SpoiltPregapStart << QStringList{ "--sbi" } << 33 << "Disc.ccd: 33 sectors whose Q blocks" << QByteArray();
    QTest::newRow("a pregap that the rebuilt sheet lacks") << Sbi::SpoiltPregapStart << QStringList{ "--sbi", "--rebuild" } << 33 << "Disc.ccd: 33 sectors whose Q blocks" << QByteArray();
    QTest::newRow("an index that the sheet lacks")         << Sbi::IndexTwo << QStringList{ "--sbi" } << 37 << "Disc.ccd: 37 sectors whose Q blocks" << QByteArray();
    QTest::newRow("an index that the rebuilt sheet lacks") << Sbi::IndexTwo << QStringList{ "--sbi", "--rebuild" } << 37 << "Disc.ccd: 37 sectors whose Q blocks" << QByteArray();
    QTest::newRow("one altered sector")                 << Sbi::OneSector << QStringList{ "--sbi" } << 1 << "Disc.ccd: 1 sector whose Q block a cue sheet loses went into Disc.sbi." << QByteArray();
    QTest::newRow(".sub a sector off")                  << Sbi::Shifted << QStringList{ "--sbi" } << -1 << damaged << QByteArray();
    QTest::newRow(".sub a sector off, --all")           << Sbi::Shifted << QStringList{ "--all" } << -1 << damaged << QByteArray();
    QTest::newRow(".sub a sector off, --sbi=all")       << Sbi::Shifted << QStringList{ "--sbi=all" } << 0 << "sectors whose Q blocks a cue sheet loses went into Disc.sbi." << QByteArray();
    QTest::newRow("catalogue number and ISRCs only")    << Sbi::Codes << QStringList{ "--sbi" } << -1 << "Disc.ccd: no .sbi written: every Q block of Disc.sub is what the cue sheet gives a player." << QByteArray();
    QTest::newRow("a folder under the .sub's name")     << Sbi::Folder << QStringList{ "--all" } << -1 << "Disc.ccd: no .sbi written: the subchannel file Disc.sub cannot be used:" << QByteArray();
    QTest::newRow("no .sub")                            << Sbi::None << QStringList{ "--sbi" } << -1 << "Disc.ccd: no .sbi written: there is no subchannel file Disc.sub." << QByteArray();
    // A .sbi from an earlier run, or from elsewhere, that the run leaves as it stands.
    const QByteArray earlier = QByteArray("SBI\0", 4) + QByteArray::fromHex("0300050141010102590500030205").repeated(3);
    QTest::newRow("an earlier .sbi, the .sub since mended")  << Sbi::Codes << QStringList{ "--sbi" } << -1 << "Disc.ccd: Disc.sbi beside the cue sheet holds 3 records, not the 0 records that Disc.sub gives; PlayStation emulators load it with the cue sheet all the same. Remove it unless" << earlier;
    QTest::newRow("an earlier .sbi, --all")                  << Sbi::Codes << QStringList{ "--all" } << -1 << "Disc.sbi beside the cue sheet holds 3 records" << earlier;
    QTest::newRow("an earlier .sbi, no .sub")                << Sbi::None << QStringList{ "--sbi" } << -1 << "Disc.ccd: Disc.sbi beside the cue sheet holds 3 records that no .sub here confirms" << earlier;
    QTest::newRow("an earlier .sbi, the .sub a sector off")  << Sbi::Shifted << QStringList{ "--sbi" } << -1 << "Disc.sbi beside the cue sheet holds 3 records, not the" << earlier;
    QTest::newRow("something else under the .sbi's name")    << Sbi::Codes << QStringList{ "--sbi" } << -1 << "Disc.sbi beside the cue sheet is no .sbi file that this program can read" << QByteArray("not a .sbi");
    QTest::newRow("an empty .sbi that the .sub confirms")    << Sbi::Codes << QStringList{ "--sbi" } << -1 << "no .sbi written: every Q block" << QByteArray("SBI\0", 4);
    QTest::newRow("an earlier .sbi replaced")                << Sbi::Protected << QStringList{ "--sbi" } << 32 << written << earlier;
    // clang-format on
}

// The PlayStation disc converted, its .sbi read back by the format's own
// layout and compared with the .sub's altered blocks.
void TestSbi::sbi()
{
    QFETCH(Sbi, sub);
    QFETCH(QStringList, options);
    QFETCH(int, records);
    QFETCH(QString, line);
    QFETCH(QByteArray, before);

    QVERIFY(writeFile(
        "Disc.ccd", controlFile(dumpOf(playStationDisc, !options.contains("--rebuild")))));
    if (!before.isEmpty())
        QVERIFY(writeFile("Disc.sbi", before));
    QVERIFY(makeImage("Disc.img", playStationDisc, Header::Real));
    SubShape shape;
    shape.pregapsEndAtZero = sub == Sbi::ProtectedEndAtZero;
    shape.codesAtPregaps = true;
    shape.hasPause = true;
    QByteArray subBytes = subchannel(playStationDisc, shape);
    if (sub == Sbi::Protected || sub == Sbi::ProtectedEndAtZero)
        subBytes = libCrypt(subBytes);
    else if (sub == Sbi::OneSector)
        subBytes = libCrypt(subBytes, 1);
    QList<qint64> altered = protectedSectors().first(qBound(0, records, 32));
    if (sub == Sbi::SpoiltPregapStart) {
        subBytes = libCrypt(subBytes);
        subBytes[14250 * subchannelBlockSize + 22] ^= 0x5a;
        altered = protectedSectors() << 14250;
    } else if (sub == Sbi::IndexTwo) {
        subBytes = libCrypt(subBytes);
        for (const qint64 sector : indexTwoSectors()) {
            const qsizetype q = sector * subchannelBlockSize + 12;
            subBytes[q + 2] = 0x02;
            const quint16 crc = discCrc(subBytes.mid(q, 10));
            subBytes[q + 10] = char(crc >> 8);
            subBytes[q + 11] = char(crc & 0xff);
        }
        altered = protectedSectors() + indexTwoSectors();
    } else if (sub == Sbi::Shifted)
        subBytes = shiftedBySector(subBytes);
    if (sub == Sbi::Folder)
        QVERIFY(QDir().mkdir("Disc.sub"));
    else if (sub != Sbi::None)
        QVERIFY(writeFile("Disc.sub", subBytes));

    // As scripts run it: a warning goes to the console, not to a box, which
    // Windows, where there is always a display, would otherwise wait on.
    const Run result = run(program, QStringList{ "--no-window" } + options << "Disc.ccd",
        folder.path(), withoutDisplay());
    QVERIFY2(!result.crashed, "the program crashed or hung");
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.contains(line.toUtf8()), result.err.constData());
    QVERIFY2(!result.err.contains("QString::arg"), result.err.constData());
    QCOMPARE(result.out.isEmpty(), !options.contains("--stdout"));
    const QByteArray sbi = readFile("Disc.sbi");
    if (records < 0) {
        QCOMPARE(sbi, before.isEmpty() ? missing : before);
    } else {
        const auto read = sbiRecords(sbi);
        QVERIFY2(read, "not a .sbi file");
        if (records == 0)
            QVERIFY(read->size() > 100);
        else
            QCOMPARE(read->keys(), altered);
        for (auto it = read->cbegin(); it != read->cend(); ++it)
            QCOMPARE(*it, subBytes.mid(it.key() * subchannelBlockSize + 12, 10));
    }
    // The first record byte by byte: 03:00:05, format 1, the altered block of track 01, index
    // 01, relative time 02:58:05 and absolute time 03:00:05, each with a bit changed.
    if (records > 0)
        QCOMPARE(sbi.first(18).toHex(),
            QByteArray("53424900"
                       "030005"
                       "01"
                       "410101025905"
                       "00"
                       "030205"));

    // --check tells of the altered blocks rather than of the .sub in general.
    const CheckReport report =
        checkControlFile("Disc.ccd", { false, options.contains("--rebuild") });
    QStringList codes;
    for (const Remark &finding : report.findings)
        codes << finding.name();
    const bool isProtected = sub == Sbi::Protected || sub == Sbi::ProtectedEndAtZero
        || sub == Sbi::OneSector || sub == Sbi::SpoiltPregapStart || sub == Sbi::IndexTwo;
    QCOMPARE(codes.contains("altered-subchannel"), isProtected);
    QCOMPARE(codes.contains("subchannel"), sub == Sbi::Codes);
    // Every warning that the conversion gives of the .sub is a finding of the check.
    const bool isUnusable = sub == Sbi::Shifted || sub == Sbi::Folder;
    QCOMPARE(codes.contains("subchannel-unusable"), isUnusable);
    QCOMPARE(result.err.contains("no .sbi written: the subchannel file")
            || result.err.contains("looks damaged"),
        isUnusable);
    // A stale .sbi is told of by the check as by the conversion, and only then.
    QCOMPARE(codes.contains("stale-sbi"), line.contains("beside the cue sheet"));
    QCOMPARE(result.err.contains("beside the cue sheet"), line.contains("beside the cue sheet"));
}

void TestSbi::sbiOfTwoSessions_data()
{
    QTest::addColumn<qint64>("heldFrom"); // where the image holds session 2 from
    QTest::addColumn<qint64>("sectors"); // of the image

    // Session 2's first track has its pregap at 26750 and starts at 26900.
    QTest::newRow("an image without the space between the sessions")
        << qint64(26900) << qint64(16600);
    QTest::newRow("an image with session 2's first pregap") << qint64(26750) << qint64(16750);
    QTest::newRow("an image with every sector") << qint64(15500) << qint64(28000);
}

// The PlayStation disc, a data track in a second session after it, dumped:
// each .sbi record carries the disc address of its sector, wherever the
// image, and the .sub with it, holds that sector.
void TestSbi::sbiOfTwoSessions()
{
    QFETCH(qint64, heldFrom);
    QFETCH(qint64, sectors);

    Disc disc = playStationDisc;
    disc.tracks.append({ 4, 0x04, 1, {}, 26750, 26900, 2 });
    disc.leadOuts.append(28000);
    QVERIFY(writeFile("Disc.ccd", controlFile(dumpOf(disc, true))));
    QFile image("Disc.img");
    QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(sectors * sectorBytes));
    image.close();

    SubShape shape;
    shape.codesAtPregaps = true;
    shape.hasPause = true;
    QByteArray disced = libCrypt(subchannel(disc, shape));
    const QList<qint64> inSessionTwo{ 27000, 27005 };
    for (const qint64 sector : inSessionTwo)
        disced[sector * subchannelBlockSize + 22] ^= 0x5a; // its CRC spoilt
    const QByteArray sub =
        disced.first(15500 * subchannelBlockSize) + disced.sliced(heldFrom * subchannelBlockSize);
    QCOMPARE(sub.size(), sectors * subchannelBlockSize);
    QVERIFY(writeFile("Disc.sub", sub));

    const Run result = run(program, { "--no-window", "--sessions", "--sbi", "Disc.ccd" },
        folder.path(), withoutDisplay());
    QVERIFY2(!result.crashed, "the program crashed or hung");
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.contains("34 sectors whose Q blocks a cue sheet loses went into Disc.sbi"),
        result.err.constData());
    const auto read = sbiRecords(readFile("Disc.sbi"));
    QVERIFY2(read, "not a .sbi file");
    QCOMPARE(read->keys(), protectedSectors() + inSessionTwo);
    for (auto it = read->cbegin(); it != read->cend(); ++it)
        QCOMPARE(*it, disced.mid(it.key() * subchannelBlockSize + 12, 10));
}

QTEST_GUILESS_MAIN(TestSbi)
#include "tst_sbi.moc"
