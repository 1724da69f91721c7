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
enum class Header { Real, None, ModeZero };

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
        const QByteArray bytes = QByteArray::fromHex("00ffffffffffffffffffff00")
            + msfOf(track.start) + char(header == Header::Real ? track.mode : 0);
        if (!file.seek(track.start * sectorBytes) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

QByteArray qBlock(QByteArray q)
{
    const quint16 crc = cdCrc(q);
    q += char(crc >> 8);
    q += char(crc & 0xff);
    return QByteArray(12, '\0') + q + QByteArray(72, '\0');
}

/** The subchannel of \a disc: Q mode 1 positions everywhere but every 97th
    sector, which carries the catalogue number (Q mode 2), as on real discs. */
QByteArray subchannel(const Disc &disc)
{
    QByteArray sub;
    for (qint64 sector = 0; sector < disc.end; ++sector) {
        if (sector % 97 == 50) {
            sub += qBlock(QByteArray::fromHex("02") + QByteArray(9, '\0'));
            continue;
        }
        int track = 1;
        int index = 1;
        for (const Track &t : disc.tracks) {
            if (sector >= t.start) {
                track = t.number;
                index = 1;
            } else if (t.pregap && sector >= *t.pregap) {
                track = t.number;
                index = 0;
            }
        }
        sub += qBlock(QByteArray::fromHex("01") + bcd(track) + bcd(index) + QByteArray(4, '\0')
            + msfOf(sector));
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
};

QByteArray damaged(QByteArray sub, Sub how)
{
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
        break;
    }
    return sub;
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

    const QList<std::pair<const char *, Disc>> discs{ { "data disc", dataDisc },
        { "audio disc", audioDisc }, { "mixed disc", mixedDisc },
        { "disc with pregaps", pregapDisc } };
    for (const auto &[name, disc] : discs) {
        QTest::addRow("%s, with .sub", name) << disc << true;
        QTest::addRow("%s, without .sub", name) << disc << false;
    }
}

// The table-of-contents-only file, rebuilt, against the plain conversion of
// the full one: all that the .sub cannot give without it is INDEX 00.
void TestRebuild::sameSheetAsTrackSections()
{
    QFETCH(Disc, disc);
    QFETCH(bool, withSub);

    // Without a .sub the pregaps are not known, and the full file is read without them.
    Disc known = disc;
    for (Track &track : known.tracks)
        track.pregap = withSub ? track.pregap : std::nullopt;
    QVERIFY(writeFile("full/Disc.ccd", controlFile(known, true)));
    QVERIFY(writeFile("Disc.ccd", controlFile(disc, false)));
    QVERIFY(makeImage("Disc.img", disc, Header::Real));
    if (withSub)
        QVERIFY(writeFile("Disc.sub", subchannel(disc)));

    const Run expected =
        run(program, withStdout("Disc.ccd", false), folder->path() + "/full", withoutDisplay());
    QCOMPARE(expected.status, 0);
    const Run rebuilt =
        run(program, withStdout("Disc.ccd", true), folder->path(), withoutDisplay());
    QCOMPARE(rebuilt.status, 0);
    QCOMPARE(rebuilt.out, expected.out);
    QCOMPARE(rebuilt.err.contains("no subchannel file"), !withSub);

    // The option leaves a file with [TRACK] sections as it is, and says nothing.
    const Run unchanged =
        run(program, withStdout("Disc.ccd", true), folder->path() + "/full", withoutDisplay());
    QCOMPARE(unchanged.out, expected.out);
    QCOMPARE(unchanged.err, QByteArray());

    // Nothing but the .sub, which a cue sheet cannot carry, is left to find.
    const CheckReport report = checkControlFile("Disc.ccd", { false, true });
    QStringList codes;
    for (const Finding &finding : report.findings)
        codes << finding.code;
    QCOMPARE(codes, withSub ? QStringList{ "subchannel" } : QStringList{});
    QCOMPARE(report.cueSheet.toLocal8Bit() + "\r\n", rebuilt.out);
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
    QTest::newRow("short .sub")             << Header::Real << file << QByteArray("0") << Sub::Short << file << none << "MODE2/2352" << true << false << "cannot be used: it is 287904 bytes long, not the 288000";
    QTest::newRow("bad CRC at the pregap")  << Header::Real << file << QByteArray("0") << Sub::BadCrcAtPregap << file << none << "MODE2/2352" << true << false << "before track 02 is damaged";
    QTest::newRow("bad CRC just before it") << Header::Real << file << QByteArray("0") << Sub::BadCrcBeforePregap << file << none << "MODE2/2352" << true << false << "before track 02 is damaged";
    QTest::newRow("bad CRC inside it")      << Header::Real << file << QByteArray("0") << Sub::BadCrcInPregap << file << none << "MODE2/2352" << true << true << "";
    QTest::newRow("garbage .sub")           << Header::Real << file << QByteArray("0") << Sub::Garbage << file << none << "MODE2/2352" << true << false << "before track 02 is damaged";
    QTest::newRow(".sub a sector off")      << Header::Real << file << QByteArray("0") << Sub::Shifted << file << none << "MODE2/2352" << true << false << "before track 02 is damaged";
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
    const CheckReport report = checkControlFile("Disc.ccd", { false, true });
    const bool hasRebuildFinding = std::any_of(report.findings.begin(), report.findings.end(),
        [](const Finding &finding) { return finding.code == u"rebuilt"; });
    QCOMPARE(hasRebuildFinding, !warning.isEmpty());
}

// The check value of the CRC-16 with this polynomial and no initial bits,
// 0x31c3, inverted as the Q channel stores it.
void TestRebuild::cdCrc()
{
    QCOMPARE(::cdCrc("123456789"), quint16(0xce3c));
}

QTEST_GUILESS_MAIN(TestRebuild)
#include "tst_rebuild.moc"
