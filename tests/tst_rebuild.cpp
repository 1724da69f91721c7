#include "check.h"
#include "controlFiles.h"
#include "discImage.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace morvant;

namespace {

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

// clang-format off
const Disc dataDisc{ { { 1, 0x04, 1, {}, {}, 0 } }, { 1000 } };
const Disc audioDisc{ { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x0b, 0, "DCP 4CH PRE", {}, 1000 } }, { 2000 } };
const Disc mixedDisc{ { { 1, 0x06, 2, "DCP", {}, 0 }, { 2, 0x00, 0, {}, 1350, 1500 } }, { 3000 } };
const Disc pregapDisc{ { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x01, 0, "PRE", 900, 1050 },
    { 3, 0x04, 1, {}, 1999, 2000 }, { 4, 0x00, 0, {}, 2400, 2500 } }, { 3000 } };
// clang-format on

/** A disc of 99 tracks, data then audio, each audio track after a pregap of
    150 sectors, but track 50's, which has one sector. */
Disc ninetyNineTracks()
{
    Disc disc{ { { 1, 0x04, 1, {}, {}, 0 } }, {} };
    for (int number = 2; number <= 99; ++number) {
        const qint64 start = 150 + (number - 1) * 450;
        disc.tracks.append({ number, 0x00, 0, {}, start - (number == 50 ? 1 : 150), start });
    }
    disc.leadOuts = { disc.tracks.last().start + 450 };
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
        sub = shiftedBySector(sub);
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

QStringList withStdout(const QString &file, bool rebuild)
{
    return rebuild ? QStringList{ "--rebuild", "--stdout", file } : QStringList{ "--stdout", file };
}

} // namespace

Q_DECLARE_METATYPE(Disc)
Q_DECLARE_METATYPE(Header)
Q_DECLARE_METATYPE(Sub)
Q_DECLARE_METATYPE(Kind)
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

private:
    TestFolder folder{ TestFolder::Current };
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
    if (!folder.init())
        return;
    QVERIFY(QDir().mkdir("full"));
}

void TestRebuild::cleanup()
{
    folder.cleanup();
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
    QVERIFY(writeFile("full/Disc.ccd", controlFile(dumpOf(known, true))));
    QVERIFY(writeFile("Disc.ccd", controlFile(dumpOf(disc, false))));
    QVERIFY(makeImage("Disc.img", disc, Header::Real));
    if (withSub)
        QVERIFY(writeFile("Disc.sub", subchannel(disc, shape)));

    const Run expected =
        run(program, withStdout("Disc.ccd", false), folder.path() + "/full", withoutDisplay());
    QCOMPARE(expected.status, 0);
    const Run rebuilt = run(program, withStdout("Disc.ccd", true), folder.path(), withoutDisplay());
    QCOMPARE(rebuilt.status, 0);
    QCOMPARE(rebuilt.out, expected.out);
    QCOMPARE(rebuilt.err.contains("no subchannel file"), !withSub);
    if (withSub)
        QCOMPARE(rebuilt.err, QByteArray());

    // The option leaves a file with [TRACK] sections as it is, and says nothing.
    const Run unchanged =
        run(program, withStdout("Disc.ccd", true), folder.path() + "/full", withoutDisplay());
    QCOMPARE(unchanged.out, expected.out);
    QCOMPARE(unchanged.err, QByteArray());

    // Nothing but the .sub, which a cue sheet cannot carry, is left to find; without it, the
    // pregaps that it would give, as the conversion warns.
    ConversionOptions rebuilding;
    rebuilding.rebuild = true;
    const CheckReport report = checkControlFile("Disc.ccd", rebuilding);
    QStringList codes;
    for (const Remark &finding : report.findings)
        codes << finding.name();
    QCOMPARE(codes, withSub ? QStringList{ "subchannel" } : QStringList{ "rebuilt" });
    QCOMPARE(report.cueSheet.toLocal8Bit() + "\r\n", rebuilt.out);

    // Without the P channel's pauses nothing places the ISRC blocks: no INDEX 00 at all, rather
    // than one a sector late, and one warning for all the tracks.
    if (shape.codesAtPregaps) {
        SubShape noPause = shape;
        noPause.hasPause = false;
        QVERIFY(writeFile("Disc.sub", subchannel(disc, noPause)));
        const Run unplaced =
            run(program, withStdout("Disc.ccd", true), folder.path(), withoutDisplay());
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
            run(program, withStdout("Disc.ccd", true), folder.path(), withoutDisplay());
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
    QByteArray content = controlFile(dumpOf(mixedDisc, false, preGapMode));
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

    const Run result = run(program, withStdout("Disc.ccd", true), folder.path(), withoutDisplay());
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
        run(program, { "--check", "--rebuild", "Disc.ccd" }, folder.path(), withoutDisplay());
    QVERIFY2(!check.crashed, "the check crashed or hung");
    QCOMPARE(check.status, 1); // the .sub, which a cue sheet cannot carry, is always a finding
    ConversionOptions rebuilding;
    rebuilding.rebuild = true;
    const CheckReport report = checkControlFile("Disc.ccd", rebuilding);
    const bool hasRebuildFinding = std::any_of(report.findings.begin(), report.findings.end(),
        [](const Remark &finding) { return finding.name() == u"rebuilt"; });
    QCOMPARE(hasRebuildFinding, !warning.isEmpty());
}

QTEST_GUILESS_MAIN(TestRebuild)
#include "tst_rebuild.moc"
