#include "check.h"
#include "crc.h"
#include "discImage.h"
#include "testHelpers.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

constexpr qint64 sectorBytes = 2352;

struct Track
{
    int number;
    int control; ///< as the table of contents gives it
    int mode; ///< as MODE= writes it
    QByteArray flags; ///< as FLAGS= writes it; empty for no FLAGS= line
    std::optional<qint64> pregap;
    qint64 start;
};

struct Disc
{
    QList<Track> tracks;
    qint64 end; ///< the lead-out
};

QByteArray bcd(int value)
{
    return QByteArray(1, char((value / 10) << 4 | value % 10));
}

QByteArray msfOf(qint64 sector)
{
    const qint64 time = sector + 150;
    return bcd(int(time / 4500)) + bcd(int(time / 75 % 60)) + bcd(int(time % 75));
}

/** The control file of \a disc as a dumping program writes it: its table of
    contents, and with \a withTracks its [TRACK] sections. */
QByteArray controlFile(const Disc &disc, bool withTracks, const QByteArray &preGapMode = "0")
{
    QByteArray text =
        "[CloneCD]\nVersion=3\n[Disc]\nTocEntries=" + QByteArray::number(disc.tracks.size() + 1)
        + "\nSessions=1\nDataTracksScrambled=0\nCDTextLength=0\n[Session 1]\nPreGapMode="
        + preGapMode + "\nPreGapSubC=0\n";
    const auto entry = [&](int number, int point, int control, qint64 plba) {
        text += QStringLiteral("[Entry %1]\nSession=1\nPoint=0x%2\nADR=0x01\nControl=0x%3\n"
                               "TrackNo=0\nPLBA=%4\n")
                    .arg(number)
                    .arg(point, 2, 16, QLatin1Char('0'))
                    .arg(control, 2, 16, QLatin1Char('0'))
                    .arg(plba)
                    .toLatin1();
    };
    entry(0, 0xa2, disc.tracks.last().control, disc.end);
    for (const Track &track : disc.tracks)
        entry(track.number, track.number, track.control, track.start);
    for (const Track &track : disc.tracks) {
        if (!withTracks)
            break;
        text += "[TRACK " + QByteArray::number(track.number)
            + "]\nMODE=" + QByteArray::number(track.mode) + '\n';
        if (!track.flags.isEmpty())
            text += "FLAGS= " + track.flags + '\n';
        if (track.pregap)
            text += "INDEX 0=" + QByteArray::number(*track.pregap) + '\n';
        text += "INDEX 1=" + QByteArray::number(track.start) + '\n';
    }
    return crlf(text);
}

/// What to write into the image at a data track's first sector.
enum class Header {
    Real,
    None,
    ModeZero,
    Late, ///< the first 16 sectors unreadable, a real header after them
    Scrambled, ///< the mode byte as a scrambled image holds it
};

/** What stands under the name of the image or the .sub: an unpacked archive
    may hold a folder, a FIFO or a link to a device there. */
enum class Kind { File, None, Folder, Fifo, Zeros };

/// Makes \a kind at \a path, other than a file; false on a failure.
bool makeOther(const QString &path, Kind kind)
{
    switch (kind) {
    case Kind::Folder:
        return QDir().mkdir(path);
#ifdef Q_OS_UNIX
    case Kind::Fifo:
        return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    case Kind::Zeros:
        return QFile::link(QStringLiteral("/dev/zero"), path);
#endif
    default:
        return true;
    }
}

// A sparse image whose data tracks begin with a sector header.
bool makeImage(const QString &path, const Disc &disc, Header header)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(disc.end * sectorBytes))
        return false;
    for (const Track &track : disc.tracks) {
        if (track.mode == 0 || header == Header::None)
            continue;
        const qint64 sector = track.start + (header == Header::Late ? 16 : 0);
        const char mode = header == Header::Real || header == Header::Late ? char(track.mode)
            : header == Header::Scrambled                                  ? char(98)
                                                                           : char(0);
        const QByteArray bytes =
            QByteArray::fromHex("00ffffffffffffffffffff00") + msfOf(sector) + mode;
        if (!file.seek(sector * sectorBytes) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

QByteArray qBlock(QByteArray q, bool isPause = false)
{
    const quint16 crc = cdCrc(q);
    q += char(crc >> 8);
    q += char(crc & 0xff);
    return QByteArray(12, isPause ? '\xff' : '\0') + q + QByteArray(72, '\0');
}

/// A relative time as the Q channel writes it: MM:SS:FF in BCD, no lead-in.
QByteArray timeOf(qint64 sectors)
{
    return bcd(int(sectors / 4500)) + bcd(int(sectors / 75 % 60)) + bcd(int(sectors % 75));
}

/// How the Q channel of a generated disc is laid out besides its positions.
struct SubShape
{
    int codesEvery = 97; ///< every how many sectors a catalogue number block stands (Q mode 2)
    int codesAt = 50; ///< the first of them
    bool pregapsEndAtZero = false; ///< a pregap's relative time counts down to 0, not 1
    bool hasPause = false; ///< the P channel set through each pregap
    bool codesAtPregaps = false; ///< an ISRC block (Q mode 3) on each pregap's first sector
};

/** The subchannel of \a disc: Q mode 1 positions everywhere but every 97th
    sector, which carries the catalogue number (Q mode 2), as on real discs. */
QByteArray subchannel(const Disc &disc, const SubShape &shape = {})
{
    QByteArray sub;
    for (qint64 sector = 0; sector < disc.end; ++sector) {
        int track = 1;
        int index = 1;
        int control = disc.tracks.first().control;
        qint64 relative = sector;
        bool isPregapStart = false;
        for (const Track &t : disc.tracks) {
            if (sector >= t.start) {
                track = t.number;
                index = 1;
                relative = sector - t.start;
                control = t.control;
            } else if (t.pregap && sector >= *t.pregap) {
                track = t.number;
                index = 0;
                relative = t.start - sector - (shape.pregapsEndAtZero ? 1 : 0);
                control = t.control;
                isPregapStart = sector == *t.pregap;
            }
        }
        if (isPregapStart && shape.codesAtPregaps) {
            sub += qBlock(QByteArray::fromHex("03") + QByteArray(9, '\x11'), shape.hasPause);
            continue;
        }
        if (sector % shape.codesEvery == shape.codesAt) {
            sub += qBlock(
                QByteArray::fromHex("02") + QByteArray(9, '\0'), index == 0 && shape.hasPause);
            continue;
        }
        sub += qBlock(char(control << 4 | 1) + bcd(track) + bcd(index) + timeOf(relative)
                + QByteArray(1, '\0') + msfOf(sector),
            index == 0 && shape.hasPause);
    }
    return sub;
}

// clang-format off
const Disc dataDisc{ { { 1, 0x04, 1, {}, {}, 0 } }, 1000 };
const Disc audioDisc{ { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x0b, 0, "DCP 4CH PRE", {}, 1000 } }, 2000 };
const Disc mixedDisc{ { { 1, 0x06, 2, "DCP", {}, 0 }, { 2, 0x00, 0, {}, 1350, 1500 } }, 3000 };
const Disc pregapDisc{ { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x01, 0, "PRE", 900, 1050 },
    { 3, 0x04, 1, {}, 1999, 2000 }, { 4, 0x00, 0, {}, 2400, 2500 } }, 3000 };
// clang-format on

/** A disc of 99 tracks, data then audio, each audio track after a pregap of
    150 sectors, but track 50's, which has one sector. */
Disc ninetyNineTracks()
{
    Disc disc{ { { 1, 0x04, 1, {}, {}, 0 } }, 0 };
    for (int number = 2; number <= 99; ++number) {
        const qint64 start = 150 + (number - 1) * 450;
        disc.tracks.append({ number, 0x00, 0, {}, start - (number == 50 ? 1 : 150), start });
    }
    disc.end = disc.tracks.last().start + 450;
    return disc;
}

/// How a test damages the subchannel file of the mixed disc, whose track 2 has its pregap at 1350.
enum class Sub {
    Good,
    None,
    Short,
    BadCrcAtPregap,
    BadCrcInPregap,
    BadCrcBeforePregap,
    Garbage,
    Shifted,
    PregapFromStart, ///< sector 0 on, track 1 is called track 2's pregap
    IsrcAtPregap, ///< an ISRC block on the pregap's first sector, the P channel clear
    IsrcAtPregapWithPause, ///< the same, with the P channel set through the pregap
};

QByteArray damaged(QByteArray sub, Sub how)
{
    if (how == Sub::IsrcAtPregap || how == Sub::IsrcAtPregapWithPause) {
        SubShape shape;
        shape.codesAtPregaps = true;
        shape.hasPause = how == Sub::IsrcAtPregapWithPause;
        return subchannel(mixedDisc, shape);
    }
    const auto spoil = [&](qint64 sector) { sub[sector * subchannelBlockSize + 22] ^= 0x5a; };
    switch (how) {
    case Sub::Short:
        sub.chop(subchannelBlockSize);
        break;
    case Sub::BadCrcAtPregap:
        spoil(1350);
        break;
    case Sub::BadCrcInPregap:
        spoil(1400);
        break;
    case Sub::BadCrcBeforePregap:
        spoil(1349);
        break;
    case Sub::Garbage:
        for (qsizetype i = 0; i < sub.size(); ++i)
            sub[i] = char((i * 7919 + 13) % 251);
        break;
    case Sub::Shifted:
        sub = sub.right(subchannelBlockSize) + sub.chopped(subchannelBlockSize);
        break;
    case Sub::PregapFromStart:
        for (qint64 sector = 0; sector < 1350; ++sector)
            sub.replace(sector * subchannelBlockSize, subchannelBlockSize,
                qBlock(QByteArray::fromHex("010200") + QByteArray(4, '\0') + msfOf(sector)));
        break;
    case Sub::Good:
    case Sub::None:
    case Sub::IsrcAtPregap:
    case Sub::IsrcAtPregapWithPause:
        break;
    }
    return sub;
}

// clang-format off
/// A PlayStation game: one Mode 2 data track, then audio; LibCrypt alters sectors on minute 3.
const Disc playStationDisc{ { { 1, 0x04, 2, {}, {}, 0 }, { 2, 0x00, 0, {}, 14250, 14400 },
    { 3, 0x00, 0, {}, 14700, 14850 } }, 15500 };
// clang-format on

/// What a test does to the subchannel of the PlayStation disc.
enum class Sbi {
    Protected,
    ProtectedEndAtZero,
    OneSector,
    SpoiltPregapStart, ///< protected, and the first block of track 2's pregap fails its CRC
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
        const quint16 crc = quint16(cdCrc(sub.mid(q, 10)) ^ (i % 4 == 3 ? 0 : 0x0080));
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

QStringList withStdout(const QString &file, bool rebuild)
{
    return rebuild ? QStringList{ "--rebuild", "--stdout", file } : QStringList{ "--stdout", file };
}

} // namespace

Q_DECLARE_METATYPE(Disc)
Q_DECLARE_METATYPE(Header)
Q_DECLARE_METATYPE(Sub)
Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Sbi)
Q_DECLARE_METATYPE(SubShape)

class TestRebuild : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sameSheetAsTrackSections_data();
    void sameSheetAsTrackSections();
    void fallbacks_data();
    void fallbacks();
    void sbi_data();
    void sbi();
    void sbiOfTwoSessions_data();
    void sbiOfTwoSessions();
    void cdCrc();

private:
    std::optional<CurrentFolder> folder;
    QString program;
};

// Made absolute while the current folder is still the one the test started
// in: under wine a path from the root names the current folder's drive.
void TestRebuild::initTestCase()
{
    program = QFileInfo(QStringLiteral(MORVANT_PATH)).absoluteFilePath();
}

void TestRebuild::init()
{
    folder.emplace();
    QVERIFY(folder->isCurrent());
    QVERIFY(QDir().mkdir("full"));
}

void TestRebuild::cleanup()
{
    folder.reset();
}

void TestRebuild::sameSheetAsTrackSections_data()
{
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<bool>("withSub");
    QTest::addColumn<SubShape>("shape");

    const QList<std::pair<const char *, Disc>> discs{ { "data disc", dataDisc },
        { "audio disc", audioDisc }, { "mixed disc", mixedDisc },
        { "disc with pregaps", pregapDisc } };
    for (const auto &[name, disc] : discs) {
        QTest::addRow("%s, with .sub", name) << disc << true << SubShape{};
        QTest::addRow("%s, without .sub", name) << disc << false << SubShape{};
    }
    // ISRC and catalogue number blocks wherever they fall, on each pregap's
    // first sector too, where the P channel's pause places them.
    SubShape codes;
    codes.codesEvery = 10;
    codes.codesAt = 3;
    codes.codesAtPregaps = true;
    codes.hasPause = true;
    QTest::addRow("99 tracks, ISRC at each pregap's start") << ninetyNineTracks() << true << codes;
    codes.pregapsEndAtZero = true;
    QTest::addRow("99 tracks, ISRC at each pregap's start, pregaps ending at 00:00:00")
        << ninetyNineTracks() << true << codes;
}

// The table-of-contents-only file, rebuilt, against the plain conversion of
// the full one: all that the .sub cannot give without it is INDEX 00.
void TestRebuild::sameSheetAsTrackSections()
{
    QFETCH(Disc, disc);
    QFETCH(bool, withSub);
    QFETCH(SubShape, shape);

    // Without a .sub the pregaps are not known, and the full file is read without them.
    Disc known = disc;
    for (Track &track : known.tracks)
        track.pregap = withSub ? track.pregap : std::nullopt;
    QVERIFY(writeFile("full/Disc.ccd", controlFile(known, true)));
    QVERIFY(writeFile("Disc.ccd", controlFile(disc, false)));
    QVERIFY(makeImage("Disc.img", disc, Header::Real));
    if (withSub)
        QVERIFY(writeFile("Disc.sub", subchannel(disc, shape)));

    const Run expected =
        run(program, withStdout("Disc.ccd", false), folder->path() + "/full", withoutDisplay());
    QCOMPARE(expected.status, 0);
    const Run rebuilt =
        run(program, withStdout("Disc.ccd", true), folder->path(), withoutDisplay());
    QCOMPARE(rebuilt.status, 0);
    QCOMPARE(rebuilt.out, expected.out);
    QCOMPARE(rebuilt.err.contains("no subchannel file"), !withSub);
    if (withSub)
        QCOMPARE(rebuilt.err, QByteArray());

    // The option leaves a file with [TRACK] sections as it is, and says nothing.
    const Run unchanged =
        run(program, withStdout("Disc.ccd", true), folder->path() + "/full", withoutDisplay());
    QCOMPARE(unchanged.out, expected.out);
    QCOMPARE(unchanged.err, QByteArray());

    // Nothing but the .sub, which a cue sheet cannot carry, is left to find; without it, the
    // pregaps that it would give, as the conversion warns.
    ConversionOptions rebuilding;
    rebuilding.rebuild = true;
    const CheckReport report = checkControlFile("Disc.ccd", rebuilding);
    QStringList codes;
    for (const Finding &finding : report.findings)
        codes << finding.code;
    QCOMPARE(codes, withSub ? QStringList{ "subchannel" } : QStringList{ "rebuilt" });
    QCOMPARE(report.cueSheet.toLocal8Bit() + "\r\n", rebuilt.out);

    // Without the P channel's pauses nothing places the ISRC blocks: no INDEX 00 at all, rather
    // than one a sector late, and one warning for all the tracks.
    if (shape.codesAtPregaps) {
        SubShape noPause = shape;
        noPause.hasPause = false;
        QVERIFY(writeFile("Disc.sub", subchannel(disc, noPause)));
        const Run unplaced =
            run(program, withStdout("Disc.ccd", true), folder->path(), withoutDisplay());
        QCOMPARE(unplaced.status, 0);
        QCOMPARE(unplaced.out.count("INDEX 00"), 0);
        QCOMPARE(unplaced.err.count('\n'), 1);
        QVERIFY2(unplaced.err.contains("stand where the pregaps of 98 tracks would begin"),
            unplaced.err.constData());
    }

    // A .sub a sector off matches nowhere: one warning says so, not one for each track.
    if (withSub) {
        QVERIFY(writeFile("Disc.sub", damaged(subchannel(disc, shape), Sub::Shifted)));
        const Run shifted =
            run(program, withStdout("Disc.ccd", true), folder->path(), withoutDisplay());
        QCOMPARE(shifted.status, 0);
        QCOMPARE(shifted.err.count('\n'), 1);
        QVERIFY2(
            shifted.err.contains("no Q block's time matches its sector"), shifted.err.constData());
    }
}

void TestRebuild::fallbacks_data()
{
    QTest::addColumn<Header>("header");
    QTest::addColumn<Kind>("image");
    QTest::addColumn<QByteArray>("preGapMode");
    QTest::addColumn<Sub>("sub");
    QTest::addColumn<Kind>("subKind");
    QTest::addColumn<QByteArrayList>("edit"); // a text of the control file, and what replaces it
    QTest::addColumn<QString>("mode"); // of the data track, track 1; empty: it is left out
    QTest::addColumn<bool>("hasTrack2");
    QTest::addColumn<bool>("hasPregap");
    QTest::addColumn<QString>("warning"); // a part of standard error; empty for none

    const Kind file = Kind::File;
    const QByteArrayList none;
    const auto plba = [](const char *from, const char *to) {
        return QByteArrayList{ QByteArray("PLBA=") + from + "\r\n",
            QByteArray("PLBA=") + to + "\r\n" };
    };
    // clang-format off
    QTest::newRow("all good")               << Header::Real << file << QByteArray("0") << Sub::Good << file << none << "MODE2/2352" << true << true << "";
    QTest::newRow("no image")               << Header::Real << Kind::None << QByteArray("0") << Sub::Good << file << none << "MODE1/2352" << true << true << "Track 01 is data, but the image";
    QTest::newRow("no image, PreGapMode=2") << Header::Real << Kind::None << QByteArray("2") << Sub::Good << file << none << "MODE2/2352" << true << true << "comes from the control file's PreGapMode=2";
    QTest::newRow("no sector header")       << Header::None << file << QByteArray("0") << Sub::Good << file << none << "MODE1/2352" << true << true << "has no sector header";
    QTest::newRow("header of mode 0")       << Header::ModeZero << file << QByteArray("0") << Sub::Good << file << none << "MODE1/2352" << true << true << "gives mode 0";
    QTest::newRow("header 16 sectors in")   << Header::Late << file << QByteArray("0") << Sub::Good << file << none << "MODE2/2352" << true << true << "";
    QTest::newRow("scrambled image")        << Header::Scrambled << file << QByteArray("0") << Sub::Good << file << QByteArrayList{ "DataTracksScrambled=0", "DataTracksScrambled=1" } << "MODE1/2352" << true << true << "gives mode 98: the image holds its data tracks scrambled (the control file says DataTracksScrambled=1)";
    QTest::newRow("short .sub")             << Header::Real << file << QByteArray("0") << Sub::Short << file << none << "MODE2/2352" << true << false << "cannot be used: it is 287904 bytes long, not the 288000";
    QTest::newRow("bad CRC at the pregap")  << Header::Real << file << QByteArray("0") << Sub::BadCrcAtPregap << file << none << "MODE2/2352" << true << false << "before track 02 is damaged";
    QTest::newRow("bad CRC just before it") << Header::Real << file << QByteArray("0") << Sub::BadCrcBeforePregap << file << none << "MODE2/2352" << true << false << "before track 02 is damaged";
    QTest::newRow("bad CRC inside it")      << Header::Real << file << QByteArray("0") << Sub::BadCrcInPregap << file << none << "MODE2/2352" << true << true << "";
    QTest::newRow("garbage .sub")           << Header::Real << file << QByteArray("0") << Sub::Garbage << file << none << "MODE2/2352" << true << false << "no Q block's time matches its sector";
    QTest::newRow(".sub a sector off")      << Header::Real << file << QByteArray("0") << Sub::Shifted << file << none << "MODE2/2352" << true << false << "no Q block's time matches its sector";
    // A block without a position on the pregap's first sector: the P channel places it, or nothing does.
    QTest::newRow("ISRC at the pregap's start") << Header::Real << file << QByteArray("0") << Sub::IsrcAtPregap << file << none << "MODE2/2352" << true << false << "ISRC block, which gives no position, stands where the pregap of track 02 would begin";
    QTest::newRow("ISRC at the pregap's start, pause in P") << Header::Real << file << QByteArray("0") << Sub::IsrcAtPregapWithPause << file << none << "MODE2/2352" << true << true << "";
    // The table of contents wins over a .sub that contradicts it.
    QTest::newRow("pregap of track 2 from track 1's start") << Header::Real << file << QByteArray("0") << Sub::PregapFromStart << file << none << "MODE2/2352" << true << false << "puts the pregap of track 02 at sector 0, at or before the start of the track before it";
    // What an unpacked archive may hold under the names: used only when it is a file, never waited on.
    QTest::newRow("image a folder")         << Header::Real << Kind::Folder << QByteArray("0") << Sub::Good << file << none << "MODE1/2352" << true << true << "cannot be read (it is a folder, not a file)";
    QTest::newRow("image a FIFO")           << Header::Real << Kind::Fifo << QByteArray("0") << Sub::Good << file << none << "MODE1/2352" << true << true << "cannot be read (it is a FIFO, not a file)";
    QTest::newRow("image a link to /dev/zero") << Header::Real << Kind::Zeros << QByteArray("0") << Sub::Good << file << none << "MODE1/2352" << true << true << "cannot be read (it is a device, not a file)";
    QTest::newRow(".sub a folder")          << Header::Real << file << QByteArray("0") << Sub::Good << Kind::Folder << none << "MODE2/2352" << true << false << "Disc.sub cannot be used: it is a folder, not a file.";
    QTest::newRow(".sub a FIFO")            << Header::Real << file << QByteArray("0") << Sub::Good << Kind::Fifo << none << "MODE2/2352" << true << false << "Disc.sub cannot be used: it is a FIFO, not a file.";
    QTest::newRow("image and .sub links to /dev/zero") << Header::Real << Kind::Zeros << QByteArray("0") << Sub::Good << Kind::Zeros << none << "MODE1/2352" << true << false << "Disc.sub cannot be used: it is a device, not a file.";
    // Starts that no cue sheet time can write are left out; none is multiplied into bytes.
    QTest::newRow("start below 0")          << Header::Real << file << QByteArray("0") << Sub::Good << file << plba("1500", "-1") << "MODE2/2352" << false << false << "gives track 02 the start PLBA=-1, outside 0 to 2147483647";
    QTest::newRow("start at 2^31")          << Header::Real << file << QByteArray("0") << Sub::Good << file << plba("1500", "2147483648") << "MODE2/2352" << false << false << "the start PLBA=2147483648, outside";
    QTest::newRow("data track's start near 2^63") << Header::Real << file << QByteArray("0") << Sub::Good << file << plba("0", "9223372036854775000") << "" << true << true << "gives track 01 the start PLBA=9223372036854775000, outside";
    QTest::newRow("lead-out near 2^63, no image") << Header::Real << Kind::None << QByteArray("0") << Sub::Good << file << plba("3000", "9223372036854775807") << "MODE1/2352" << true << true << "Track 01 is data, but the image";
    // clang-format on
}

void TestRebuild::fallbacks()
{
    QFETCH(Header, header);
    QFETCH(Kind, image);
    QFETCH(QByteArray, preGapMode);
    QFETCH(Sub, sub);
    QFETCH(Kind, subKind);
    QFETCH(QByteArrayList, edit);
    QFETCH(QString, mode);
    QFETCH(bool, hasTrack2);
    QFETCH(bool, hasPregap);
    QFETCH(QString, warning);

#ifdef Q_OS_WIN
    if (image == Kind::Fifo || image == Kind::Zeros || subKind == Kind::Fifo
        || subKind == Kind::Zeros)
        QSKIP("Windows has neither FIFOs nor /dev/zero");
#endif
    QByteArray content = controlFile(mixedDisc, false, preGapMode);
    if (!edit.isEmpty()) {
        QCOMPARE(content.count(edit[0]), 1);
        content.replace(edit[0], edit[1]);
    }
    QVERIFY(writeFile("Disc.ccd", content));
    if (image == Kind::File)
        QVERIFY(makeImage("Disc.img", mixedDisc, header));
    QVERIFY(makeOther("Disc.img", image));
    if (subKind == Kind::File)
        QVERIFY(writeFile("Disc.sub", damaged(subchannel(mixedDisc), sub)));
    QVERIFY(makeOther("Disc.sub", subKind));

    const Run result = run(program, withStdout("Disc.ccd", true), folder->path(), withoutDisplay());
    QVERIFY2(!result.crashed, "the program crashed or hung");
    QCOMPARE(result.status, 0);
    const QByteArray &cue = result.out;
    if (mode.isEmpty())
        QVERIFY2(!cue.contains("TRACK 01"), cue.constData());
    else
        QVERIFY2(cue.contains("  TRACK 01 " + mode.toLatin1() + "\r\n"), cue.constData());
    QCOMPARE(cue.contains("    INDEX 00 00:18:00\r\n"), hasPregap);
    QCOMPARE(cue.count("INDEX 00"), hasPregap ? 1 : 0);
    QCOMPARE(cue.contains("  TRACK 02 AUDIO\r\n    INDEX "), hasTrack2);
    // Every INDEX line has its time.
    QCOMPARE(
        QString::fromLatin1(cue).count(QRegularExpression("INDEX 0[01] \\d\\d:\\d\\d:\\d\\d\r\n")),
        cue.count("INDEX"));
    if (warning.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith("morvant: warning: Disc.ccd: ")
                && result.err.contains(warning.toUtf8()),
            result.err.constData());

    // --check --rebuild lists the same warning, and tells by its status.
    const Run check =
        run(program, { "--check", "--rebuild", "Disc.ccd" }, folder->path(), withoutDisplay());
    QVERIFY2(!check.crashed, "the check crashed or hung");
    QCOMPARE(check.status, 1); // the .sub, which a cue sheet cannot carry, is always a finding
    ConversionOptions rebuilding;
    rebuilding.rebuild = true;
    const CheckReport report = checkControlFile("Disc.ccd", rebuilding);
    const bool hasRebuildFinding = std::any_of(report.findings.begin(), report.findings.end(),
        [](const Finding &finding) { return finding.code == u"rebuilt"; });
    QCOMPARE(hasRebuildFinding, !warning.isEmpty());
}

void TestRebuild::sbi_data()
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
    QTest::newRow("protected disc, rebuilt")            << Sbi::Protected << QStringList{ "--sbi", "--rebuild" } << 32 << written << QByteArray();
    QTest::newRow("pregaps counting down to 00:00:00")  << Sbi::ProtectedEndAtZero << QStringList{ "--sbi" } << 32 << written << QByteArray();
    QTest::newRow("a pregap that the sheet places")       << Sbi::SpoiltPregapStart << QStringList{ "--sbi" } << 33 << "Disc.ccd: 33 sectors whose Q blocks" << QByteArray();
    QTest::newRow("a pregap that the rebuilt sheet lacks") << Sbi::SpoiltPregapStart << QStringList{ "--sbi", "--rebuild" } << 33 << "Disc.ccd: 33 sectors whose Q blocks" << QByteArray();
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
void TestRebuild::sbi()
{
    QFETCH(Sbi, sub);
    QFETCH(QStringList, options);
    QFETCH(int, records);
    QFETCH(QString, line);
    QFETCH(QByteArray, before);

    QVERIFY(writeFile("Disc.ccd", controlFile(playStationDisc, !options.contains("--rebuild"))));
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
    } else if (sub == Sbi::Shifted)
        subBytes = damaged(subBytes, Sub::Shifted);
    if (sub == Sbi::Folder)
        QVERIFY(QDir().mkdir("Disc.sub"));
    else if (sub != Sbi::None)
        QVERIFY(writeFile("Disc.sub", subBytes));

    // As scripts run it: a warning goes to the console, not to a box, which
    // Windows, where there is always a display, would otherwise wait on.
    const Run result = run(program, QStringList{ "--no-window" } + options << "Disc.ccd",
        folder->path(), withoutDisplay());
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
    ConversionOptions checkOptions;
    checkOptions.rebuild = options.contains("--rebuild");
    const CheckReport report = checkControlFile("Disc.ccd", checkOptions);
    QStringList codes;
    for (const Finding &finding : report.findings)
        codes << finding.code;
    const bool isProtected = sub == Sbi::Protected || sub == Sbi::ProtectedEndAtZero
        || sub == Sbi::OneSector || sub == Sbi::SpoiltPregapStart;
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

void TestRebuild::sbiOfTwoSessions_data()
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
void TestRebuild::sbiOfTwoSessions()
{
    QFETCH(qint64, heldFrom);
    QFETCH(qint64, sectors);

    Disc disc = playStationDisc;
    disc.tracks.append({ 4, 0x04, 1, {}, 26750, 26900 });
    disc.end = 28000;
    QByteArray ccd = controlFile(disc, true);
    ccd.replace("Sessions=1", "Sessions=2");
    ccd.replace("PLBA=28000", "PLBA=15500"); // session 1's lead-out
    ccd.replace("Session=1\r\nPoint=0x04", "Session=2\r\nPoint=0x04");
    ccd += crlf("[Entry 5]\nSession=2\nPoint=0xa2\nADR=0x01\nControl=0x04\nTrackNo=0\n"
                "PLBA=28000\n");
    QVERIFY(writeFile("Disc.ccd", ccd));
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
        folder->path(), withoutDisplay());
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

// The check value of the CRC-16 with this polynomial and no initial bits,
// 0x31c3, inverted as the Q channel stores it.
void TestRebuild::cdCrc()
{
    QCOMPARE(::cdCrc("123456789"), quint16(0xce3c));
}

QTEST_GUILESS_MAIN(TestRebuild)
#include "tst_rebuild.moc"
