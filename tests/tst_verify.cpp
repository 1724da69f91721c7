#include "controlFiles.h"
#include "packedDats.h"
#include "referenceBytes.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include <optional>
#include <string>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <ftw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// --verify and --split through the program, on discs made here with bytes of
// their own and DATs written here from the test's own cut of the image: each
// track's file from its INDEX 00 (else INDEX 01) to the next one's, the first
// from the image's start and the last to its end.

namespace {

// clang-format off
/// One data track.
const Disc dataDisc{ { { 1, 0x04, 1, {}, {}, 0 } }, { 300 } };
/// A data track and three audio tracks, two of them with pregaps.
const Disc mixedDisc{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x00, 0, {}, 200, 230 },
    { 3, 0x00, 0, {}, {}, 300 }, { 4, 0x00, 0, {}, 380, 400 } }, { 480 } };
/// A PlayStation game: a Mode 2 data track, then audio with pregaps.
const Disc playStationDisc{ { { 1, 0x04, 2, {}, {}, 0 }, { 2, 0x00, 0, {}, 250, 400 },
    { 3, 0x00, 0, {}, 450, 460 } }, { 520 } };
// clang-format on

/// 99 audio tracks of 8 sectors each, every tenth with a pregap of 2.
Disc audioDisc()
{
    Disc disc;
    for (int number = 1; number <= 99; ++number) {
        const qint64 start = (number - 1) * 8;
        disc.tracks.append({ number, 0x00, 0, {},
            number % 10 == 0 ? std::optional<qint64>(start - 2) : std::nullopt, start });
    }
    disc.leadOuts = { 99 * 8 };
    return disc;
}

/// A track's file as the DAT lists it: its bytes, and whether it is audio.
struct CutTrack
{
    QByteArray bytes;
    bool isAudio = false;
};

/** The files of \a disc's \a image, the audio ones taken \a offset samples
    later in the image. */
QList<CutTrack> cut(const Disc &disc, const QByteArray &image, int offset = 0)
{
    QList<CutTrack> tracks;
    QList<qint64> starts;
    for (const Track &track : disc.tracks)
        starts.append(starts.isEmpty() ? 0 : track.pregap.value_or(track.start) * sectorBytes);
    starts.append(image.size());
    for (qsizetype i = 0; i < disc.tracks.size(); ++i) {
        const bool isAudio = disc.tracks[i].mode == 0;
        tracks.append({ stretchBytes(image, starts[i] + (isAudio ? 4 * offset : 0),
                            starts[i + 1] - starts[i]),
            isAudio });
    }
    return tracks;
}

/// Bytes that no two discs of a test share.
QByteArray imageBytes(const Disc &disc, quint32 seed)
{
    QByteArray bytes(disc.end() * sectorBytes, '\0');
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

/// How a DAT writes a game's name.
enum class Naming {
    Named,
    EmptyName, ///< name="" in XML, name "" in ClrMamePro's text
    NoName, ///< <game> without the attribute, a game block without the line
};

/// A file of a game in a DAT.
struct Rom
{
    QString game; ///< the DAT's name of the game, or what tells apart games written without one
    QString name;
    QByteArray bytes;
    Naming naming = Naming::Named;
};

QString trackName(const QString &game, qsizetype number, qsizetype count)
{
    if (count == 1)
        return game + ".bin";
    return QString("%1 (Track %2).bin").arg(game).arg(number, count >= 10 ? 2 : 1, 10, QChar('0'));
}

QList<Rom> romsOf(const QString &game, const QList<CutTrack> &tracks)
{
    QList<Rom> roms;
    for (qsizetype i = 0; i < tracks.size(); ++i)
        roms.append({ game, trackName(game, i + 1, tracks.size()), tracks[i].bytes });
    return roms;
}

/// A DAT of \a roms, in Logiqx XML or ClrMamePro's text, with their cue sheets listed too.
QByteArray datOf(const QList<Rom> &roms, bool isXml)
{
    QByteArray dat = isXml
        ? "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>Test</name></header>\n"
        : "clrmamepro (\n\tname \"Test\"\n)\n";
    QString game;
    const auto close = [&] {
        if (!game.isEmpty())
            dat += isXml ? "</game>\n" : ")\n";
    };
    for (const Rom &rom : roms) {
        if (rom.game != game) {
            close();
            game = rom.game;
            const QByteArray name = rom.naming == Naming::EmptyName ? QByteArray() : game.toUtf8();
            if (isXml)
                dat += (rom.naming == Naming::NoName ? "<game>" : "<game name=\"" + name + "\">")
                    + "\n<rom name=\"" + game.toUtf8() + ".cue\" size=\"100\" crc=\"00000000\"/>\n";
            else
                dat += "game (\n"
                    + (rom.naming == Naming::NoName ? QByteArray() : "\tname \"" + name + "\"\n");
        }
        const QByteArray size = QByteArray::number(rom.bytes.size());
        const QByteArray crc =
            QByteArray::number(referenceCrc32(rom.bytes), 16).rightJustified(8, '0');
        const QByteArray md5 = QCryptographicHash::hash(rom.bytes, QCryptographicHash::Md5).toHex();
        const QByteArray sha1 =
            QCryptographicHash::hash(rom.bytes, QCryptographicHash::Sha1).toHex();
        dat += isXml ? "<rom name=\"" + rom.name.toUtf8() + "\" size=\"" + size + "\" crc=\"" + crc
                + "\" md5=\"" + md5 + "\" sha1=\"" + sha1 + "\"/>\n"
                     : "\trom ( name \"" + rom.name.toUtf8() + "\" size " + size + " crc "
                + crc.toUpper() + " md5 " + md5 + " sha1 " + sha1 + " )\n";
    }
    close();
    return dat + (isXml ? "</datafile>\n" : "");
}

/// What a row does to the disc or the DAT after the DAT is written from the disc.
enum class Change {
    None,
    WrongByte, ///< a byte of track 2 changed in the image
    Decoys, ///< the DAT has other games with files of the same sizes
    SharedAudio, ///< another game lists the same audio track first
    AudioElsewhere, ///< the DAT's audio is another disc's
    OtherGame, ///< the DAT is another disc's altogether
    MoreTracks, ///< the DAT's game has a track more than the disc
    NoImage,
    NoTrackSections, ///< a control file with only a table of contents
    SplitNameless, ///< the DAT's tracks in two games of name="", two in each
    ShortNameless, ///< the DAT's game has no name and a track more than the disc
    NamelessCopy, ///< a game without the name attribute lists the same files first
    LastSwapped, ///< the DAT's last two files carry each other's numbers
    FirstSwapped, ///< the DAT's first two files carry each other's numbers
    OneMisnumbered, ///< the DAT's track 4 holds track 3's bytes, its track 3 other bytes
    SameBytes, ///< tracks 2 and 3 hold the same bytes
    TwoDigits, ///< the DAT numbers the tracks of a disc of four tracks "(Track 01)"
    /// on Windows, the image held open by another program that shares no reading
    ImageHeldOpen,
    Zipped, ///< the DAT is named Test.zip/Test.dat: Test.dat in a ZIP archive of two DATs
    Gzipped, ///< the DAT is gzipped, and named Test.dat as it is
};

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Disc)

class TestVerify : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void verify_data();
    void verify();
    void verifyJson();
    void verifySheet_data();
    void verifySheet();
    void damagedDat_data();
    void damagedDat();
    void folderOfDiscs();
    void unusualFolders_data();
    void unusualFolders();
    void everyModeTakesFolders_data();
    void everyModeTakesFolders();
    void namesThatActOnTerminals_data();
    void namesThatActOnTerminals();
    void progressFitsTheTerminal_data();
    void progressFitsTheTerminal();
    void split_data();
    void split();
    void splitSheet_data();
    void splitSheet();
    void splitSheetIsTheDats_data();
    void splitSheetIsTheDats();
    void splitRefused_data();
    void splitRefused();
    void splitNamedAfterDat_data();
    void splitNamedAfterDat();
    void splitLoadsInCdrdao();
    void splitNamedIntoAPlaylist();
    void verifyWrittenSet_data();
    void verifyWrittenSet();

private:
    /// Writes Disc.ccd and Disc.img of \a disc, the image from \a seed; its bytes.
    QByteArray makeDisc(const Disc &disc, quint32 seed, const QString &name = "Disc");
    Run runProgram(const QStringList &arguments);

    TestFolder folder{ TestFolder::Current };
    QString program;
};

void TestVerify::initTestCase()
{
    program = QFileInfo(QStringLiteral(MORVANT_PATH)).absoluteFilePath();
}

void TestVerify::init()
{
    folder.init();
}

void TestVerify::cleanup()
{
    folder.cleanup();
}

QByteArray TestVerify::makeDisc(const Disc &disc, quint32 seed, const QString &name)
{
    const QByteArray image = imageBytes(disc, seed);
    if (!writeFile(name + ".ccd", controlFile(dumpOf(disc, true)))
        || !writeFile(name + ".img", image))
        return {};
    return image;
}

Run TestVerify::runProgram(const QStringList &arguments)
{
    return run(program, arguments, folder.path(), withoutDisplay());
}

void TestVerify::verify_data()
{
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<bool>("isXml");
    QTest::addColumn<int>("offset"); // of the DAT's audio, in samples
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict"); // the line after "Disc.ccd: "

    const QString matches = "every track matches \"Test Disc (World)\"";
    const auto shifted = [&](const char *offset) {
        return matches + ", the audio tracks at an offset of " + offset + " samples";
    };
    // clang-format off
    QTest::newRow("data, XML")                    << dataDisc << true << 0 << Change::None << 0 << matches;
    QTest::newRow("data, ClrMamePro")             << dataDisc << false << 0 << Change::None << 0 << matches;
    QTest::newRow("data, one DAT of a ZIP archive") << dataDisc << true << 0 << Change::Zipped << 0 << matches;
    QTest::newRow("mixed, a gzipped DAT")         << mixedDisc << false << 6 << Change::Gzipped << 0 << shifted("+6");
    QTest::newRow("mixed")                        << mixedDisc << true << 0 << Change::None << 0 << matches;
    QTest::newRow("PlayStation")                  << playStationDisc << false << 0 << Change::None << 0 << matches;
    QTest::newRow("99 audio tracks")              << audioDisc() << true << 0 << Change::None << 0 << matches;
    QTest::newRow("a wrong byte")                 << mixedDisc << true << 0 << Change::WrongByte << 1 << "3 of 4 tracks match";
    QTest::newRow("decoys of the same sizes")     << mixedDisc << false << 0 << Change::Decoys << 0 << matches;
    QTest::newRow("audio shared with another game") << mixedDisc << true << 0 << Change::SharedAudio << 0 << matches;
    QTest::newRow("audio 6 samples later")        << mixedDisc << true << 6 << Change::None << 0 << shifted("+6");
    QTest::newRow("audio 30 samples earlier")     << playStationDisc << false << -30 << Change::None << 0 << shifted("-30");
    QTest::newRow("audio, decoys, offset")        << playStationDisc << true << 667 << Change::Decoys << 0 << shifted("+667");
    QTest::newRow("last track past the end")      << audioDisc() << true << 2000 << Change::None << 0 << shifted("+2000");
    QTest::newRow("first track before the start") << audioDisc() << true << -6000 << Change::None << 0 << shifted("-6000");
    QTest::newRow("beyond the offsets looked at") << mixedDisc << true << 6001 << Change::None << 1 << "the data tracks match \"Test Disc (World)\", the audio tracks do not";
    QTest::newRow("the audio of another disc")    << mixedDisc << true << 0 << Change::AudioElsewhere << 1 << "the data tracks match \"Test Disc (World)\", the audio tracks do not";
    QTest::newRow("another disc")                 << mixedDisc << false << 0 << Change::OtherGame << 1 << "no track matches";
    QTest::newRow("a track missing")              << mixedDisc << true << 0 << Change::MoreTracks << 1 << "4 of 4 tracks match; \"Test Disc (World)\" lists 1 more track file that no track matches";
    QTest::newRow("no [TRACK] sections")          << mixedDisc << true << 0 << Change::NoTrackSections << 2 << "cannot be verified: the control file has no [TRACK] sections";
    QTest::newRow("no image")                     << mixedDisc << true << 0 << Change::NoImage << 2 << "cannot be verified: there is no image";
    // Games without a name are told apart by nothing, and match no disc.
    QTest::newRow("split over two games of name \"\"") << mixedDisc << true << 0 << Change::SplitNameless << 1 << "no track matches\n";
    QTest::newRow("a game without a name, a track more") << mixedDisc << false << 0 << Change::ShortNameless << 1 << "no track matches\n";
    QTest::newRow("a copy without a name first")  << mixedDisc << true << 0 << Change::NamelessCopy << 0 << matches + "\n";
    // Each track matches the file of its own number.
    QTest::newRow("tracks 3 and 4 swapped")       << mixedDisc << true << 0 << Change::LastSwapped << 1 << "every track matches a file of \"Test Disc (World)\", but out of order: tracks 03, 04 match the files of other tracks\n";
    QTest::newRow("swapped, audio at +6")         << playStationDisc << false << 6 << Change::LastSwapped << 1 << "every track matches a file of \"Test Disc (World)\", but out of order: tracks 02, 03 match the files of other tracks\n";
    QTest::newRow("99 tracks, 98 and 99 swapped") << audioDisc() << true << 0 << Change::LastSwapped << 1 << "every track matches a file of \"Test Disc (World)\", but out of order: tracks 98, 99 match the files of other tracks\n";
    QTest::newRow("99 tracks, 01 and 02 swapped") << audioDisc() << false << -30 << Change::FirstSwapped << 1 << "every track matches a file of \"Test Disc (World)\", but out of order: tracks 01, 02 match the files of other tracks\n";
    QTest::newRow("one track of another's number") << mixedDisc << true << 0 << Change::OneMisnumbered << 1 << "3 of 4 tracks match; \"Test Disc (World)\" lists 1 more track file that no track matches; track 03 matches the file of another track\n";
    QTest::newRow("two tracks of the same bytes") << audioDisc() << true << 0 << Change::SameBytes << 0 << matches + "\n";
    QTest::newRow("numbers of two digits")        << mixedDisc << false << 0 << Change::TwoDigits << 0 << matches + "\n";
#ifdef Q_OS_WIN
    QTest::newRow("image held open by another program") << mixedDisc << true << 0 << Change::ImageHeldOpen << 2 << "cannot be verified: Another program has Disc.img open and lets no other read it; close it there, then try again.";
#endif
    // clang-format on
}

void TestVerify::verify()
{
    QFETCH(Disc, disc);
    QFETCH(bool, isXml);
    QFETCH(int, offset);
    QFETCH(Change, change);
    QFETCH(int, status);
    QFETCH(QString, verdict);

    QByteArray image = makeDisc(disc, 1);
    QVERIFY(!image.isEmpty());
    if (change == Change::SameBytes) {
        const qsizetype two = disc.tracks[1].start * sectorBytes;
        const qsizetype three = disc.tracks[2].start * sectorBytes;
        image.replace(three, three - two, image.mid(two, three - two));
        QVERIFY(writeFile("Disc.img", image));
    }
    const QString game = "Test Disc (World)";
    QList<CutTrack> tracks = cut(disc, image, offset);
    QList<Rom> roms;
    const QList<Rom> other = romsOf("Other Disc (World)", cut(disc, imageBytes(disc, 2)));
    if (change == Change::Decoys)
        roms << other;
    if (change == Change::SharedAudio)
        roms << Rom{ "Other Disc (World)", "Other Disc (World) (Track 2).bin", tracks[1].bytes }
             << other[2];
    if (change == Change::AudioElsewhere) {
        for (qsizetype i = 0; i < tracks.size(); ++i)
            tracks[i].bytes = tracks[i].isAudio ? other[i].bytes : tracks[i].bytes;
    }
    if (change == Change::MoreTracks || change == Change::ShortNameless)
        tracks.append({ QByteArray(2352, 'x'), true });
    if (change == Change::NamelessCopy) {
        for (Rom rom : romsOf("Nameless", tracks)) {
            rom.naming = Naming::NoName;
            roms << rom;
        }
    }
    const qsizetype first = roms.size();
    roms << romsOf(change == Change::OtherGame ? "Other Disc (World)" : game,
        change == Change::OtherGame ? cut(disc, imageBytes(disc, 2)) : tracks);
    if (change == Change::SplitNameless || change == Change::ShortNameless) {
        for (qsizetype i = first; i < roms.size(); ++i) {
            const bool isFirstHalf = i - first < 2 || change == Change::ShortNameless;
            roms[i].game = isFirstHalf ? "First half" : "Second half";
            roms[i].naming = isXml ? Naming::EmptyName : Naming::NoName;
        }
    }
    if (change == Change::LastSwapped)
        std::swap(roms[roms.size() - 2].name, roms.last().name);
    if (change == Change::FirstSwapped)
        std::swap(roms[first].name, roms[first + 1].name);
    if (change == Change::OneMisnumbered) {
        roms[first + 3].bytes = roms[first + 2].bytes;
        roms[first + 2].bytes.fill('x');
    }
    if (change == Change::TwoDigits) {
        for (qsizetype i = first; i < roms.size(); ++i)
            roms[i].name.replace("(Track ", "(Track 0");
    }
    QString datPath = "Test.dat";
    if (change == Change::Zipped) {
        datPath = "Test.zip/Test.dat";
        QVERIFY(writeFile("Test.zip",
            zipped({ { "Other.dat", datOf({ { "Other", "Other.bin", "x" } }, isXml) },
                { "Test.dat", datOf(roms, isXml) } })));
    } else {
        const QByteArray dat = datOf(roms, isXml);
        QVERIFY(writeFile("Test.dat", change == Change::Gzipped ? gzipped(dat) : dat));
    }
    if (change == Change::WrongByte) {
        image[qsizetype(disc.tracks[1].start * sectorBytes + 1000)] ^= 0x10;
        QVERIFY(writeFile("Disc.img", image));
    }
    if (change == Change::NoImage)
        QVERIFY(QFile::remove("Disc.img"));
    if (change == Change::NoTrackSections)
        QVERIFY(writeFile("Disc.ccd", controlFile(dumpOf(disc, false))));
#ifdef Q_OS_WIN
    // As a program that opens a file for itself alone holds it: the test's
    // own process, to Windows another program.
    const HANDLE held = change == Change::ImageHeldOpen ? CreateFileW(L"Disc.img", GENERIC_READ, 0,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                                        : INVALID_HANDLE_VALUE;
    QCOMPARE(held != INVALID_HANDLE_VALUE, change == Change::ImageHeldOpen);
    const auto release = qScopeGuard([held] {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    });
#endif

    const Run result = runProgram({ "--verify", datPath, "Disc.ccd" });
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, status);
    const QList<QByteArray> lines = textLines(result.out).split('\n');
    // A verdict that ends in a line end is the whole line.
    QVERIFY2((lines.first() + '\n').startsWith("Disc.ccd: " + verdict.toUtf8()), result.out);
    QCOMPARE(result.err, QByteArray());
    if (offset != 0 && status != 2 && !verdict.endsWith("the audio tracks do not")) {
        const QString found = QString("The audio tracks match at an offset of %1%2 samples")
                                  .arg(offset > 0 ? "+" : "")
                                  .arg(offset);
        QVERIFY2(result.out.contains(found.toUtf8()), result.out);
    }
    // The files of games without a name, said once for the run, the cue sheets' among them.
    QSet<QString> namelessGames;
    qsizetype nameless = 0;
    for (const Rom &rom : roms) {
        if (rom.naming != Naming::Named) {
            ++nameless;
            namelessGames.insert(rom.game);
        }
    }
    nameless += isXml ? namelessGames.size() : 0;
    const QByteArray namelessLine = QString("The DAT Test.dat lists %1 files in games without a "
                                            "name; no disc is matched against them.")
                                        .arg(nameless)
                                        .toUtf8();
    QCOMPARE(lines.count(namelessLine), nameless > 0 ? 1 : 0);
    if (nameless > 0)
        QVERIFY2(textLines(result.out).endsWith(namelessLine + '\n'), result.out);
    // The tracks out of order, by their numbers.
    QJsonArray outOfOrder;
    if (change == Change::LastSwapped)
        outOfOrder = { int(tracks.size()) - 1, int(tracks.size()) };
    if (change == Change::FirstSwapped)
        outOfOrder = { 1, 2 };
    if (change == Change::OneMisnumbered)
        outOfOrder = { 3 };
    if (nameless > 0 || !outOfOrder.isEmpty()) {
        const Run json = runProgram({ "--verify", "Test.dat", "--json", "Disc.ccd" });
        QCOMPARE(json.status, status);
        const QJsonObject report = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(report["filesOfNamelessGames"].toInteger(-1), nameless);
        const QJsonObject reported = report["discs"].toArray().first().toObject();
        QCOMPARE(reported["outOfOrder"].toArray(), outOfOrder);
        if (!outOfOrder.isEmpty() && verdict.startsWith("every track"))
            QCOMPARE(reported["verdict"].toString(), "out-of-order");
    }
    if (status == 0) {
        // Each track named with the file it matches.
        for (qsizetype i = 0; i < tracks.size(); ++i)
            QVERIFY2(result.out.contains("matches \"" + roms[first + i].name.toUtf8() + "\" of \""
                         + game.toUtf8() + '"'),
                result.out);
    }
}

void TestVerify::verifyJson()
{
    const QByteArray image = makeDisc(mixedDisc, 1);
    const QList<CutTrack> tracks = cut(mixedDisc, image, -5);
    QVERIFY(writeFile("Test.dat", datOf(romsOf("Test Disc (World)", tracks), true)));

    const Run result = runProgram({ "--verify", "Test.dat", "--json", "Disc.ccd" });
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, 0);
    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(result.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject disc = report["discs"].toArray().first().toObject();
    QCOMPARE(disc["verdict"].toString(), "matches");
    QCOMPARE(disc["game"].toString(), "Test Disc (World)");
    QCOMPARE(disc["audioOffset"].toInt(), -5);
    const QJsonArray reported = disc["tracks"].toArray();
    QCOMPARE(reported.size(), tracks.size());
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QJsonObject track = reported[i].toObject();
        const QByteArray &bytes = tracks[i].bytes;
        QCOMPARE(track["size"].toInteger(), bytes.size());
        QCOMPARE(track["type"].toString(), tracks[i].isAudio ? "audio" : "data");
        QCOMPARE(track["crc32"].toString().toUInt(nullptr, 16), referenceCrc32(bytes));
        QCOMPARE(track["md5"].toString().toLatin1(),
            QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        QCOMPARE(track["sha1"].toString().toLatin1(),
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
        QCOMPARE(track["matches"].toArray().size(), 1);
    }
    QCOMPARE(report["summary"].toObject()["match"].toInt(), 1);
}

/** The sheet that redump's DATs list for \a disc named \a game, with \a lineEnd
    after each line: a FILE line for each track, its times counted from its file. */
QByteArray redumpSheet(const QString &game, const Disc &disc, const QByteArray &lineEnd = "\r\n")
{
    const auto time = [](qint64 sectors) {
        return QString("%1:%2:%3")
            .arg(sectors / 4500, 2, 10, QChar('0'))
            .arg(sectors / 75 % 60, 2, 10, QChar('0'))
            .arg(sectors % 75, 2, 10, QChar('0'))
            .toLatin1();
    };
    const char *modes[] = { "AUDIO", "MODE1/2352", "MODE2/2352" };
    QByteArray sheet;
    for (qsizetype i = 0; i < disc.tracks.size(); ++i) {
        const Track &track = disc.tracks[i];
        sheet += "FILE \"" + trackName(game, i + 1, disc.tracks.size()).toUtf8() + "\" BINARY"
            + lineEnd + QString("  TRACK %1 ").arg(track.number, 2, 10, QChar('0')).toLatin1()
            + modes[track.mode] + lineEnd;
        if (track.pregap && i > 0)
            sheet += "    INDEX 00 00:00:00" + lineEnd;
        sheet += "    INDEX 01 "
            + time(i > 0 ? track.start - track.pregap.value_or(track.start) : 0) + lineEnd;
    }
    return sheet;
}

void TestVerify::verifySheet_data()
{
    QTest::addColumn<QString>("name"); // of the control file, without .ccd
    QTest::addColumn<int>("offset"); // of the DAT's audio, in samples
    QTest::addColumn<QByteArray>("lineEnd"); // of the DAT's sheet
    QTest::addColumn<QString>("verdict"); // the line after "NAME.ccd: "
    QTest::addColumn<QString>("sheetVerdict"); // in the JSON report

    const QString game = "Test Disc (World)";
    // clang-format off
    QTest::newRow("named after the game")      << game << 0 << QByteArray("\r\n") << "every track and the cue sheet match \"Test Disc (World)\"\n" << "matches";
    QTest::newRow("named after it, audio at +6") << game << 6 << QByteArray("\r\n") << "every track and the cue sheet match \"Test Disc (World)\", the audio tracks at an offset of +6 samples\n" << "matches";
    QTest::newRow("named after the control file") << "Disc" << 0 << QByteArray("\r\n") << "every track matches \"Test Disc (World)\"; the cue sheet names the files after \"Disc\", the DAT's after the game\n" << "named-otherwise";
    QTest::newRow("a sheet of other line ends") << game << 0 << QByteArray("\n") << "every track matches \"Test Disc (World)\"; the cue sheet differs from the DAT's\n" << "differs";
    // clang-format on
}

// Where the DAT lists the game's cue sheet, --verify looks up the sheet that
// --split writes as it looks up a track: the set is the DAT's only where it matches too.
void TestVerify::verifySheet()
{
    QFETCH(QString, name);
    QFETCH(int, offset);
    QFETCH(QByteArray, lineEnd);
    QFETCH(QString, verdict);
    QFETCH(QString, sheetVerdict);

    const QString game = "Test Disc (World)";
    const QByteArray image = makeDisc(mixedDisc, 1, name);
    QVERIFY(!image.isEmpty());
    const QByteArray sheet = redumpSheet(game, mixedDisc, lineEnd);
    QVERIFY(writeFile("Test.dat",
        datOf(QList<Rom>{ { game, game + ".cue", sheet } }
                + romsOf(game, cut(mixedDisc, image, offset)),
            false)));

    const Run result = runProgram({ "--verify", "Test.dat", name + ".ccd" });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    QVERIFY2(textLines(result.out).startsWith((name + ".ccd: " + verdict).toUtf8()), result.out);
    QVERIFY2(result.out.contains("\"" + game.toUtf8() + ".cue\""), result.out);

    // The sheet's hashes in the JSON report are those of the sheet --split writes.
    const Run json = runProgram({ "--verify", "Test.dat", "--json", name + ".ccd" });
    QCOMPARE(json.status, 0);
    const QJsonObject reported = QJsonDocument::fromJson(json.out)
                                     .object()["discs"]
                                     .toArray()
                                     .first()
                                     .toObject()["sheet"]
                                     .toObject();
    QCOMPARE(reported["verdict"].toString(), sheetVerdict);
    QCOMPARE(reported["datName"].toString(), game + ".cue");
    QCOMPARE(runProgram({ "--split", name + ".ccd" }).status, 0);
    const QByteArray written = readFile(name + ".cue");
    QCOMPARE(reported["size"].toInteger(), written.size());
    QCOMPARE(reported["md5"].toString().toLatin1(),
        QCryptographicHash::hash(written, QCryptographicHash::Md5).toHex());
    QCOMPARE(written == sheet, sheetVerdict == "matches");
}

void TestVerify::damagedDat_data()
{
    QTest::addColumn<QByteArray>("dat");
    QTest::addColumn<QString>("message"); // a part of the report

    // clang-format off
    QTest::newRow("XML cut short")      << QByteArray("<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"A\">\n<rom name=\"A.bin\" size=\"4\"") << "line 4";
    QTest::newRow("a parenthesis open") << QByteArray("clrmamepro ( name \"T\" )\ngame (\n\tname \"A\"\n\trom ( name \"A.bin\" size 4 crc 00000000 )\n") << "line ";
    QTest::newRow("a control file")     << controlFile(dumpOf(dataDisc, true)) << "Cannot read the DAT Test.dat";
    QTest::newRow("no DAT at all")      << QByteArray() << "Cannot read the DAT Test.dat";
    // clang-format on
}

void TestVerify::damagedDat()
{
    QFETCH(QByteArray, dat);
    QFETCH(QString, message);

    QVERIFY(!makeDisc(dataDisc, 1).isEmpty());
    QVERIFY(writeFile("Test.dat", dat));
    const Run result = runProgram({ "--verify", "Test.dat", "Disc.ccd" });
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.out.contains(message.toUtf8()), result.out);
    QVERIFY2(result.out.startsWith("Cannot read the DAT Test.dat: "), result.out);
}

void TestVerify::folderOfDiscs()
{
    QVERIFY(QDir().mkpath("Discs/Games/More"));
    const QByteArray good = makeDisc(mixedDisc, 1, "Discs/Good");
    const QByteArray shifted = makeDisc(playStationDisc, 3, "Discs/Games/Shifted");
    QVERIFY(!makeDisc(dataDisc, 4, "Discs/Games/More/Unknown").isEmpty());
    QVERIFY(writeFile("Discs/Games/NoImage.ccd", controlFile(dumpOf(dataDisc, true))));
    QVERIFY(writeFile("Test.dat",
        datOf(romsOf("Good", cut(mixedDisc, good))
                + romsOf("Shifted", cut(playStationDisc, shifted, 12)),
            false)));

    const Run result = runProgram({ "--verify", "Test.dat", "Discs" });
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, 2);
    const QString sep = QDir::separator();
    const QByteArray expected =
        QString("Discs%1Games%1More%1Unknown.ccd: no track matches\n"
                "Discs%1Games%1NoImage.ccd: cannot be verified: there is no image "
                "Discs%1Games%1NoImage.img to cut\n"
                "Discs%1Games%1Shifted.ccd: every track matches \"Shifted\", the audio tracks at "
                "an offset of +12 samples\n"
                "Discs%1Good.ccd: every track matches \"Good\"\n"
                "4 discs: 2 match, 1 do not, 1 cannot be verified.\n")
            .arg(sep)
            .toUtf8();
    QCOMPARE(textLines(result.out), expected);

    QVERIFY(QDir().mkdir("Empty"));
    const Run empty = runProgram({ "--verify", "Test.dat", "Empty" });
    QCOMPARE(empty.status, 2);
    QCOMPARE(textLines(empty.out),
        QByteArray("Empty: cannot be verified: no control file below it\n"
                   "1 disc: 0 match, 0 do not, 1 cannot be verified.\n"));
}

namespace {

#ifdef Q_OS_UNIX
bool isRoot()
{
    return ::geteuid() == 0;
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}
#endif

/// Makes the file at \a path, named by its bytes (Latin-1 "Caf\xE9.ccd"), holding \a bytes.
bool makeFile(const QByteArray &path, const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        file >= 0 && ::write(file, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return file >= 0 && ::close(file) == 0 && written;
#else
    return writeFile(QString::fromUtf8(path), bytes);
#endif
}

#ifdef Q_OS_WIN
/** Makes a symbolic link at \a path to the folder \a target, both relative to
    the current folder. Windows makes one for an administrator or a user in
    developer mode. Wine 8 makes none (CreateSymbolicLinkW returns TRUE without
    one, mklink /d ends with status 0 and none, mklink /j fails, and
    FSCTL_SET_REPARSE_POINT is not supported), but it starts Linux's own ln,
    and shows its links as Windows' own: folders that are reparse points. */
bool makeFolderLink(const QByteArray &path, const QByteArray &target)
{
    const std::wstring link = QDir::toNativeSeparators(QString::fromUtf8(path)).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(QString::fromUtf8(target)).toStdWString();
    const auto isLink = [&] {
        const DWORD attributes = GetFileAttributesW(link.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    };
    const DWORD unprivileged = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    CreateSymbolicLinkW(link.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged);
    if (isLink())
        return true;
    std::wstring ln = L"Z:\\bin\\ln";
    std::wstring command = L"ln -s \"" + QString::fromUtf8(target).toStdWString() + L"\" \""
        + QString::fromUtf8(path).toStdWString() + L"\"";
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION started = {};
    if (GetFileAttributesW(ln.c_str()) == INVALID_FILE_ATTRIBUTES
        || !CreateProcessW(ln.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
            &start, &started))
        return false;
    // Wine hands over no handle that tells when a Linux program ends.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    for (int tries = 0; tries < 500 && !isLink(); ++tries)
        Sleep(10);
    return isLink();
}
#endif

bool makeFolder(const QByteArray &path)
{
#ifdef Q_OS_UNIX
    return ::mkdir(path.constData(), 0755) == 0;
#else
    return QDir().mkdir(QString::fromUtf8(path));
#endif
}

} // namespace

// Each row makes a tree of its own by steps: "disc PATH" writes PATH.ccd and
// PATH.img of a disc that the DAT lists as "Disc N", N counting the discs
// from 1; "folder PATH"; "link PATH TARGET", a link to a folder or a file;
// "locked PATH", which the program cannot read; "fifo PATH". Paths are bytes,
// '/' between folders, and so is the report but for its separators.
void TestVerify::unusualFolders_data()
{
    QTest::addColumn<QByteArrayList>("steps");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("report");

    const QByteArray one = "1 disc: 1 match, 0 do not, 0 cannot be verified.\n";
    const QByteArray oneUnverified = "1 disc: 0 match, 0 do not, 1 cannot be verified.\n";
    const QByteArray twoOneUnverified = "2 discs: 1 match, 0 do not, 1 cannot be verified.\n";
    const QByteArray discOne = "Discs/A.ccd: every track matches \"Disc 1\"\n";
    // clang-format off
    QTest::newRow("letter case aside")
        << QByteArrayList{ "folder Discs", "disc Discs/b", "disc Discs/A", "folder Discs/C", "disc Discs/C/d", "disc Discs/A-b", "folder Discs/A", "disc Discs/A/c" }
        << "Discs" << 0
        << QByteArray("Discs/A-b.ccd: every track matches \"Disc 4\"\nDiscs/A.ccd: every track matches \"Disc 2\"\n"
                      "Discs/A/c.ccd: every track matches \"Disc 5\"\nDiscs/b.ccd: every track matches \"Disc 1\"\n"
                      "Discs/C/d.ccd: every track matches \"Disc 3\"\n5 discs: 5 match, 0 do not, 0 cannot be verified.\n");
    QTest::newRow("a link back up")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "folder Discs/Sub", "link Discs/Sub/Up .." }
        << "Discs" << 0 << discOne + one;
    QTest::newRow("two links to one folder")
        << QByteArrayList{ "folder Other", "disc Other/A", "folder Discs", "link Discs/One ../Other", "link Discs/Two ../Other" }
        << "Discs" << 0 << QByteArray("Discs/One/A.ccd: every track matches \"Disc 1\"\n") + one;
    QTest::newRow("a link to a folder beside it")
        << QByteArrayList{ "folder Discs", "folder Discs/Real", "disc Discs/Real/A", "link Discs/Alias Real" }
        << "Discs" << 0 << QByteArray("Discs/Alias/A.ccd: every track matches \"Disc 1\"\n") + one;
    // What is named is taken as the discs it holds, each disc once where it comes first.
    QTest::newRow("a folder named twice")
        << QByteArrayList{ "folder Discs", "disc Discs/A" }
        << "Discs|Discs" << 0 << discOne + one;
    QTest::newRow("a folder and a control file in it named together")
        << QByteArrayList{ "folder Discs", "disc Discs/A" }
        << "Discs|Discs/A.ccd" << 0 << discOne + one;
    QTest::newRow("a folder and a folder in it named together")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "folder Discs/Sub", "disc Discs/Sub/B" }
        << "Discs|Discs/Sub" << 0
        << discOne + "Discs/Sub/B.ccd: every track matches \"Disc 2\"\n2 discs: 2 match, 0 do not, 0 cannot be verified.\n";
    QTest::newRow("a folder without a control file beside one with")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "folder Empty" }
        << "Discs|Empty" << 2
        << discOne + "Empty: cannot be verified: no control file below it\n" + twoOneUnverified;
#ifdef Q_OS_UNIX
    QTest::newRow("a folder that cannot be read")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "folder Discs/Secret", "disc Discs/Secret/B", "locked Discs/Secret" }
        << "Discs" << 2
        << discOne + "Discs/Secret: cannot be verified: cannot read the folder: Permission denied\n" + twoOneUnverified;
    QTest::newRow("a folder that cannot be read, named alone")
        << QByteArrayList{ "folder Secret", "disc Secret/B", "locked Secret" }
        << "Secret" << 2
        << "Secret: cannot be verified: cannot read the folder: Permission denied\n" + oneUnverified;
    QTest::newRow("a control file that cannot be read, its reason on its line")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "disc Discs/Secret", "locked Discs/Secret.ccd" }
        << "Discs" << 2
        << discOne + "Discs/Secret.ccd: cannot be verified: Cannot read Discs/Secret.ccd: Permission denied\n" + twoOneUnverified;
    QTest::newRow("names that are not UTF-8")
        << QByteArrayList{ "folder Discs", "disc Discs/Caf\xE9", "folder Discs/Disques \xE9t\xE9", "disc Discs/Disques \xE9t\xE9/Game" }
        << "Discs" << 0
        << QByteArray("Discs/Caf\\xE9.ccd: every track matches \"Disc 1\"\n"
                      "Discs/Disques \\xE9t\\xE9/Game.ccd: every track matches \"Disc 2\"\n"
                      "2 discs: 2 match, 0 do not, 0 cannot be verified.\n");
    QTest::newRow("a link to its own folder")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "link Discs/Self ." }
        << "Discs" << 0 << discOne + one;
    QTest::newRow("a link to a control file beside it")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "link Discs/B.ccd A.ccd" }
        << "Discs" << 0 << discOne + one;
    QTest::newRow("a FIFO with a control file's name")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "fifo Discs/Pipe.ccd" }
        << "Discs" << 2
        << discOne + "Discs/Pipe.ccd: cannot be verified: it is a FIFO, not a file\n" + twoOneUnverified;
    QTest::newRow("a link to nothing with a control file's name")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "link Discs/Gone.ccd Nowhere.ccd", "link Discs/Other nowhere" }
        << "Discs" << 2
        << discOne + "Discs/Gone.ccd: cannot be verified: Cannot read Discs/Gone.ccd: No such file or directory\n" + twoOneUnverified;
#else
    // Names that differ only in letter case are one file on Windows: one disc.
    QTest::newRow("a folder named twice in other letter cases")
        << QByteArrayList{ "folder Discs", "disc Discs/A" }
        << "Discs|DISCS" << 0 << discOne + one;
    // Windows keeps its recycle bin and its restore points in hidden system folders.
    QTest::newRow("a hidden system folder")
        << QByteArrayList{ "folder Discs", "disc Discs/A", "folder Discs/$RECYCLE.BIN", "disc Discs/$RECYCLE.BIN/B", "hidden-system Discs/$RECYCLE.BIN" }
        << "Discs" << 0 << discOne + one;
    QTest::newRow("a hidden folder")
        << QByteArrayList{ "folder Discs", "folder Discs/Hidden", "disc Discs/Hidden/A", "hidden Discs/Hidden" }
        << "Discs" << 0 << QByteArray("Discs/Hidden/A.ccd: every track matches \"Disc 1\"\n") + one;
#endif
    // clang-format on
}

void TestVerify::unusualFolders()
{
    QFETCH(QByteArrayList, steps);
    QFETCH(QString, argument);
    QFETCH(int, status);
    QFETCH(QByteArray, report);

    QList<Rom> roms;
    QByteArrayList locked;
    const QByteArray root = QFile::encodeName(folder.path()) + '/';
#ifdef Q_OS_UNIX
    // Names that Qt cannot encode stay behind QTemporaryDir; locked ones too.
    const auto removeTree = qScopeGuard([&] {
        for (const QByteArray &path : locked)
            ::chmod((root + path).constData(), 0755);
        for (const char *top : { "Discs", "Secret", "Other" })
            ::nftw((root + top).constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    });
#endif
    for (const QByteArray &step : steps) {
        const QByteArrayList words = step.split(' ');
        const QByteArray kind = words.first();
        const QByteArray path = step.mid(kind.size() + 1);
        if (kind == "disc") {
            const QByteArray image = imageBytes(dataDisc, quint32(roms.size() + 1));
            QVERIFY(makeFile(root + path + ".ccd", controlFile(dumpOf(dataDisc, true))));
            QVERIFY(makeFile(root + path + ".img", image));
            roms << romsOf(QString("Disc %1").arg(roms.size() + 1), cut(dataDisc, image));
        } else if (kind == "folder") {
            QVERIFY(makeFolder(root + path));
        } else if (kind == "locked") {
            locked << path;
#ifdef Q_OS_UNIX
        } else if (kind == "link") {
            QVERIFY(::symlink(words[2].constData(), (root + words[1]).constData()) == 0);
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo((root + path).constData(), 0644) == 0);
#else
        } else if (kind == "link") {
            if (!makeFolderLink(words[1], words[2]))
                QSKIP("no symbolic link can be made here");
        } else if (kind == "hidden" || kind == "hidden-system") {
            const DWORD attributes = kind == "hidden"
                ? FILE_ATTRIBUTE_HIDDEN
                : FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            QVERIFY(SetFileAttributesW(
                reinterpret_cast<const wchar_t *>(QString::fromUtf8(root + path).utf16()),
                attributes));
#endif
        } else {
            QFAIL(step.constData());
        }
    }
    QVERIFY(writeFile("Test.dat", datOf(roms, true)));

    QString program = this->program;
    // Several arguments are given apart by '|'.
    QStringList arguments = QStringList{ "--verify", "Test.dat" } + argument.split(u'|');
#ifdef Q_OS_UNIX
    for (const QByteArray &path : locked)
        QVERIFY(::chmod((root + path).constData(), 0) == 0);
    // Root reads regardless of permissions, so the program runs as nobody there.
    if (!locked.isEmpty() && isRoot()) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv is needed to run the program unprivileged");
        QVERIFY(::chmod(root.constData(), 0755) == 0);
        arguments =
            QStringList{ "--reuid=65534", "--regid=65534", "--clear-groups", program } + arguments;
        program = "setpriv";
    }
#endif
    const Run result = run(program, arguments, folder.path(), withoutDisplay());
    QVERIFY(!result.crashed);
    QCOMPARE(textLines(result.out), QByteArray(report).replace('/', QDir::separator().toLatin1()));
    QCOMPARE(result.status, status);
    QCOMPARE(result.err, QByteArray());
}

void TestVerify::everyModeTakesFolders_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("more"); // made beside the discs
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("verdicts"); // the report's lines that name a file
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QStringList>("written");

    const QByteArray converted =
        "morvant: 2 discs: 2 converted, 0 refused, 0 could not be written.\n";
    const QByteArray empty = "File Error: Empty: Cannot read Empty:\nno control file below it\n";
    // clang-format off
    QTest::newRow("converted")
        << QStringList{ "--no-window", "Discs" } << QByteArrayList{} << 0 << QByteArray()
        << converted << QStringList{ "Discs/A.cue", "Discs/Sub/B.cue" };
    QTest::newRow("checked")
        << QStringList{ "--check", "Discs" } << QByteArrayList{} << 0
        << QByteArray("Discs/A.ccd: no findings\nDiscs/Sub/B.ccd: no findings\n") << QByteArray()
        << QStringList{};
    QTest::newRow("split")
        << QStringList{ "--split", "Discs" } << QByteArrayList{} << 0 << QByteArray()
        << converted << QStringList{ "Discs/A.bin", "Discs/A.cue", "Discs/Sub/B.bin", "Discs/Sub/B.cue" };
    QTest::newRow("converted, a folder without a control file")
        << QStringList{ "--no-window", "Empty" } << QByteArrayList{} << 1 << QByteArray() << empty
        << QStringList{};
    QTest::newRow("checked, a folder without a control file")
        << QStringList{ "--check", "Empty" } << QByteArrayList{} << 2
        << QByteArray("Empty: cannot be read\n") << QByteArray() << QStringList{};
    QTest::newRow("split, a folder without a control file")
        << QStringList{ "--split", "Empty" } << QByteArrayList{} << 1 << QByteArray() << empty
        << QStringList{};
    QTest::newRow("converted, a disc named and its folder")
        << QStringList{ "--no-window", "Discs/Sub/B.ccd", "Discs" } << QByteArrayList{} << 0
        << QByteArray() << converted << QStringList{ "Discs/A.cue", "Discs/Sub/B.cue" };
#ifdef Q_OS_UNIX
    QTest::newRow("converted, a FIFO named as a control file")
        << QStringList{ "--no-window", "Discs" } << QByteArrayList{ "fifo Discs/Pipe.ccd" } << 1
        << QByteArray()
        << QByteArray("File Error: Discs/Pipe.ccd: Cannot read Discs/Pipe.ccd:\nit is a FIFO, not a file\n"
                      "morvant: 3 discs: 2 converted, 1 refused, 0 could not be written.\n")
        << QStringList{ "Discs/A.cue", "Discs/Sub/B.cue" };
    QTest::newRow("checked, a FIFO named as a control file")
        << QStringList{ "--check", "Discs" } << QByteArrayList{ "fifo Discs/Pipe.ccd" } << 2
        << QByteArray("Discs/A.ccd: no findings\nDiscs/Pipe.ccd: cannot be read\nDiscs/Sub/B.ccd: no findings\n")
        << QByteArray() << QStringList{};
#endif
    // clang-format on
}

void TestVerify::everyModeTakesFolders()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, more);
    QFETCH(int, status);
    QFETCH(QByteArray, verdicts);
    QFETCH(QByteArray, err);
    QFETCH(QStringList, written);

    QVERIFY(QDir().mkpath("Discs/Sub") && QDir().mkpath("Empty"));
    QVERIFY(!makeDisc(dataDisc, 1, "Discs/A").isEmpty());
    QVERIFY(!makeDisc(dataDisc, 2, "Discs/Sub/B").isEmpty());
    // What is not a control file below a folder is passed over in silence.
    QVERIFY(writeFile("Discs/notes.txt", "not a disc\r\n"));
    for (const QByteArray &step : more) {
#ifdef Q_OS_UNIX
        if (step.startsWith("fifo "))
            QVERIFY(::mkfifo(step.mid(5).constData(), 0644) == 0);
#endif
        QVERIFY(!step.startsWith("fifo ") || QFileInfo(QString::fromUtf8(step.mid(5))).exists());
    }
    // The regular files of the two folders of discs.
    const auto files = [] {
        QStringList list;
        for (const QString &folderName : { QStringLiteral("Discs"), QStringLiteral("Discs/Sub") }) {
            for (const QString &file : QDir(folderName).entryList(QDir::Files))
                list << folderName + u'/' + file;
        }
        list.sort();
        return list;
    };
    QStringList expected = files() + written;
    expected.sort();

    const Run result = runProgram(arguments);
    QVERIFY(!result.crashed);
    QByteArray named;
    for (const QByteArray &line : textLines(result.out).split('\n')) {
        if (!line.isEmpty() && !line.startsWith(' '))
            named += line + '\n';
    }
    QCOMPARE(named, QByteArray(verdicts).replace('/', QDir::separator().toLatin1()));
    QCOMPARE(result.err, QByteArray(err).replace('/', QDir::separator().toLatin1()));
    QCOMPARE(result.status, status);
    // What each mode writes, and nothing else.
    QCOMPARE(files(), expected);
}

void TestVerify::namesThatActOnTerminals_data()
{
    QTest::addColumn<QByteArray>("inXml"); // the game's name in the DAT
    QTest::addColumn<QString>("name"); // as it is
    QTest::addColumn<QByteArray>("shown"); // as the text report quotes it
    QTest::addColumn<QString>("mode"); // "disc", "folder" or "json"

    struct Name
    {
        const char *row;
        QByteArray inXml;
        QString name;
        QByteArray shown;
    };
    // clang-format off
    const Name names[] = {
        { "a line feed that forges a disc's line", "Real&#10;FORGED.ccd: every track matches &quot;Real Game&quot;",
          QString("Real\nFORGED.ccd: every track matches \"Real Game\""), "Real\\u000aFORGED.ccd: every track matches \"Real Game\"" },
        { "a carriage return", "Real&#13;Game", QString("Real\rGame"), "Real\\u000dGame" },
        { "a right-to-left override", "Game&#x202E;dcc.", QString("Game\u202Edcc."), "Game\\u202edcc." },
        { "bidi isolates", "&#x2066;Game&#x2067;&#x2068;&#x2069;", QString("\u2066Game\u2067\u2068\u2069"), "\\u2066Game\\u2067\\u2068\\u2069" },
        { "marks of direction", "Ga&#x200E;me&#x200F;", QString("Ga\u200Eme\u200F"), "Ga\\u200eme\\u200f" },
        { "a space of no width", "Real&#x200B;Game", QString("Real\u200BGame"), "Real\\u200bGame" },
        { "a line separator", "Real&#x2028;Game", QString("Real\u2028Game"), "Real\\u2028Game" },
        { "C1 controls and DEL", "Game&#x85;&#x9B;2J&#x7F;", QString("Game\u0085\u009B2J\u007F"), "Game\\u0085\\u009b2J\\u007f" },
    };
    // clang-format on
    for (const Name &name : names) {
        for (const char *mode : { "disc", "folder", "json" })
            QTest::addRow("%s, %s", name.row, mode)
                << name.inXml << name.name << name.shown << mode;
    }
}

// A name from a DAT reaches the report, and the terminal that shows it: no
// line of its own, no text shown in another order, nothing that the terminal
// acts on, in JSON too.
void TestVerify::namesThatActOnTerminals()
{
    QFETCH(QByteArray, inXml);
    QFETCH(QString, name);
    QFETCH(QByteArray, shown);
    QFETCH(QString, mode);

    QVERIFY(QDir().mkdir("Discs"));
    const QByteArray image = makeDisc(dataDisc, 1, "Discs/Disc");
    QVERIFY(!image.isEmpty());
    QVERIFY(
        writeFile("Test.dat", datOf(romsOf(QString::fromUtf8(inXml), cut(dataDisc, image)), true)));
    QStringList arguments{ "--verify", "Test.dat", mode == u"disc" ? "Discs/Disc.ccd" : "Discs" };
    if (mode == u"json")
        arguments << "--json";
    const Run result = runProgram(arguments);
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QByteArray());
    // Nothing that a terminal would act on or show otherwise reaches it as it is.
    for (const QChar c : name) {
        if (c.unicode() >= 0x7F)
            QVERIFY2(!result.out.contains(QString(c).toUtf8()), result.out.constData());
    }
    if (mode == u"json") {
        QJsonParseError error;
        const QJsonObject report = QJsonDocument::fromJson(result.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject disc = report["discs"].toArray().first().toObject();
        QCOMPARE(disc["game"].toString(), name);
        return;
    }
    QVERIFY2(result.out.contains("every track matches \"" + shown + '"'), result.out.constData());
    const QByteArray discLine = QString("Discs%1Disc.ccd: ").arg(QDir::separator()).toUtf8();
    for (const QByteArray &line : textLines(result.out).split('\n')) {
        QVERIFY2(line.isEmpty() || line.startsWith(discLine) || line.startsWith("  ")
                || line.startsWith("1 disc: "),
            line.constData());
    }
}

void TestVerify::progressFitsTheTerminal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("columns");

    // As long as the names of DATs are.
    const QString longName =
        "Harbour Lights - The Complete Recordings, Disc One (Europe) (En,Fr,De,Es,It,Nl)";
    QTest::newRow("85 characters, 80 columns") << longName << 80;
    QTest::newRow("85 characters, 40 columns") << longName << 40;
    QTest::newRow("wide characters, 80 columns") << QString(40, QChar(0x30B2)) << 80;
    QTest::newRow("a short name, 80 columns") << QString("Game") << 80;
}

// The line of progress on a terminal is redrawn from its start; one wider
// than the terminal wraps, and every redraw would leave a row of its own.
void TestVerify::progressFitsTheTerminal()
{
#ifdef Q_OS_UNIX
    QFETCH(QString, name);
    QFETCH(int, columns);

    // An image of 256 MiB, the least that shows progress, sparse.
    const Disc disc{ { { 1, 0x04, 1, {}, {}, 0 } }, { 114200 } };
    QVERIFY(writeFile(name + ".ccd", controlFile(dumpOf(disc, true))));
    QVERIFY(makeImage(name + ".img", disc.end() * sectorBytes));
    QVERIFY(writeFile("Test.dat", datOf({ { "Other", "Other.bin", "x" } }, true)));

    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(terminal >= 0);
    const auto closeTerminal = qScopeGuard([&] { ::close(terminal); });
    QVERIFY(::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    struct winsize size = {};
    size.ws_col = quint16(columns);
    size.ws_row = 24;
    QVERIFY(::ioctl(terminal, TIOCSWINSZ, &size) == 0);
    QVERIFY(::fcntl(terminal, F_SETFL, ::fcntl(terminal, F_GETFL) | O_NONBLOCK) == 0);

    QProcess process;
    process.setWorkingDirectory(folder.path());
    process.setProcessEnvironment(withoutDisplay());
    process.setStandardErrorFile(QString::fromLocal8Bit(::ptsname(terminal)));
    process.start(program, { "--verify", "Test.dat", name + ".ccd" });
    QByteArray shown;
    const auto take = [&] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, got);
    };
    while (!process.waitForFinished(20))
        take();
    take();
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(shown.contains("Hashing "), shown.constData());
    QVERIFY2(shown.contains("%"), shown.constData());
    for (const QByteArray &piece : shown.replace('\n', '\r').split('\r')) {
        qsizetype width = 0;
        for (const QChar c : QString::fromUtf8(piece))
            width += c.unicode() >= 0x3000 && c.unicode() <= 0x9FFF ? 2 : 1;
        QVERIFY2(width < columns, piece.constData());
    }
#else
    QSKIP("a console is tried in tst_commandLine");
#endif
}

void TestVerify::split_data()
{
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QStringList>("names");

    // clang-format off
    QTest::newRow("one track")          << dataDisc << 0 << QStringList{ "Disc.bin" };
    QTest::newRow("mixed")              << mixedDisc << 0 << QStringList{ "Disc (Track 1).bin", "Disc (Track 2).bin", "Disc (Track 3).bin", "Disc (Track 4).bin" };
    QTest::newRow("PlayStation, -30")   << playStationDisc << -30 << QStringList{ "Disc (Track 1).bin", "Disc (Track 2).bin", "Disc (Track 3).bin" };
    QTest::newRow("mixed, +588")        << mixedDisc << 588 << QStringList{ "Disc (Track 1).bin", "Disc (Track 2).bin", "Disc (Track 3).bin", "Disc (Track 4).bin" };
    // clang-format on
    QStringList names;
    for (int number = 1; number <= 99; ++number)
        names << QString("Disc (Track %1).bin").arg(number, 2, 10, QChar('0'));
    QTest::newRow("99 tracks, -6000") << audioDisc() << -6000 << names;
}

// The files hash to what --verify reports, and hold the test's own cut.
void TestVerify::split()
{
    QFETCH(Disc, disc);
    QFETCH(int, offset);
    QFETCH(QStringList, names);

    const QByteArray image = makeDisc(disc, 7);
    const QList<CutTrack> tracks = cut(disc, image, offset);
    QVERIFY(writeFile("Test.dat", datOf(romsOf("Disc", tracks), true)));
    const QString option =
        offset == 0 ? "--split" : QString("--split=%1%2").arg(offset > 0 ? "+" : "").arg(offset);

    const Run split = runProgram({ option, "Disc.ccd" });
    QVERIFY(!split.crashed);
    QCOMPARE(split.err, QByteArray());
    QCOMPARE(split.status, 0);
    QStringList written = QDir().entryList({ "*.bin" }, QDir::Files, QDir::Name);
    QStringList expected = names;
    expected.sort();
    QCOMPARE(written, expected);
    for (qsizetype i = 0; i < names.size(); ++i)
        QVERIFY2(readFile(names[i]) == tracks[i].bytes, qPrintable(names[i]));
    const QByteArray cue = readFile("Disc.cue");
    for (const QString &name : names)
        QVERIFY(cue.contains("FILE \"" + name.toUtf8() + "\" BINARY\r\n"));

    const Run verify = runProgram({ "--verify", "Test.dat", "Disc.ccd" });
    QCOMPARE(verify.status, 0);
    const QByteArray at = offset == 0 ? QByteArray()
                                      : QString(", the audio tracks at an offset of %1%2 samples")
                                            .arg(offset > 0 ? "+" : "")
                                            .arg(offset)
                                            .toUtf8();
    QVERIFY2(textLines(verify.out).startsWith("Disc.ccd: every track matches \"Disc\"" + at + '\n'),
        verify.out);
    // No temporary file is left beside them.
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), names.size() + 4);
}

void TestVerify::splitSheet_data()
{
    QTest::addColumn<QByteArray>("control"); // the control file
    QTest::addColumn<qint64>("imageSectors");
    QTest::addColumn<QByteArray>("sheet");

    QTest::newRow("data and audio, pregaps")
        << controlFile(dumpOf(mixedDisc, true)) << mixedDisc.end()
        << QByteArray("FILE \"Disc (Track 1).bin\" BINARY\r\n"
                      "  TRACK 01 MODE1/2352\r\n"
                      "    INDEX 01 00:00:00\r\n"
                      "FILE \"Disc (Track 2).bin\" BINARY\r\n"
                      "  TRACK 02 AUDIO\r\n"
                      "    INDEX 00 00:00:00\r\n"
                      "    INDEX 01 00:00:30\r\n"
                      "FILE \"Disc (Track 3).bin\" BINARY\r\n"
                      "  TRACK 03 AUDIO\r\n"
                      "    INDEX 01 00:00:00\r\n"
                      "FILE \"Disc (Track 4).bin\" BINARY\r\n"
                      "  TRACK 04 AUDIO\r\n"
                      "    INDEX 00 00:00:00\r\n"
                      "    INDEX 01 00:00:20\r\n");
    // The table of contents tells a CD-i disc by the disc type of its first
    // track's entry (point A0, PSEC 0x10); redump's sheets of CD-i discs, as
    // MAME's and chdman's users quote them, name the data track CDI/2352.
    const Disc cdi{ { { 1, 0x04, 2, {}, {}, 0 }, { 2, 0x00, 0, {}, 300, 450 } }, { 600 } };
    ControlFile cdiFile = dumpOf(cdi, true);
    cdiFile.toc.prepend({ 0xa0, 0x04, 0, 1, 0x10 });
    cdiFile.tocEntries = cdiFile.toc.size();
    QTest::newRow("CD-i") << controlFile(cdiFile) << cdi.end()
                          << QByteArray("FILE \"Disc (Track 1).bin\" BINARY\r\n"
                                        "  TRACK 01 CDI/2352\r\n"
                                        "    INDEX 01 00:00:00\r\n"
                                        "FILE \"Disc (Track 2).bin\" BINARY\r\n"
                                        "  TRACK 02 AUDIO\r\n"
                                        "    INDEX 00 00:00:00\r\n"
                                        "    INDEX 01 00:02:00\r\n");
    // A CD-ROM XA disc (PSEC 0x20) keeps its mode.
    cdiFile.toc.first().psec = 0x20;
    QTest::newRow("CD-ROM XA") << controlFile(cdiFile) << cdi.end()
                               << QByteArray("FILE \"Disc (Track 1).bin\" BINARY\r\n"
                                             "  TRACK 01 MODE2/2352\r\n"
                                             "    INDEX 01 00:00:00\r\n"
                                             "FILE \"Disc (Track 2).bin\" BINARY\r\n"
                                             "  TRACK 02 AUDIO\r\n"
                                             "    INDEX 00 00:00:00\r\n"
                                             "    INDEX 01 00:02:00\r\n");
    // Two sessions, the image holding no space between them: each session
    // marked before its FILE line, and no length of that space, as redump's
    // sheets of such discs have it (its site leaves out the REM LEAD-OUT,
    // REM LEAD-IN and REM PREGAP lines that the dumping programs write).
    const Disc twoSessions{ { { 1, 0x00, 0, {}, {}, 0, 1 }, { 2, 0x00, 0, {}, 150, 300, 1 },
                                { 3, 0x04, 1, {}, 11850, 12000, 2 } },
        { 600, 12300 } };
    QTest::newRow("two sessions") << controlFile(dumpOf(twoSessions, true)) << qint64(900)
                                  << QByteArray("REM SESSION 01\r\n"
                                                "FILE \"Disc (Track 1).bin\" BINARY\r\n"
                                                "  TRACK 01 AUDIO\r\n"
                                                "    INDEX 01 00:00:00\r\n"
                                                "FILE \"Disc (Track 2).bin\" BINARY\r\n"
                                                "  TRACK 02 AUDIO\r\n"
                                                "    INDEX 00 00:00:00\r\n"
                                                "    INDEX 01 00:02:00\r\n"
                                                "REM SESSION 02\r\n"
                                                "FILE \"Disc (Track 3).bin\" BINARY\r\n"
                                                "  TRACK 03 MODE1/2352\r\n"
                                                "    INDEX 01 00:00:00\r\n");
}

// The sheet of the split files: each track in its own file, its times counted from it.
void TestVerify::splitSheet()
{
    QFETCH(QByteArray, control);
    QFETCH(qint64, imageSectors);
    QFETCH(QByteArray, sheet);

    QVERIFY(writeFile("Disc.ccd", control));
    QVERIFY(writeFile("Disc.img", QByteArray(imageSectors * sectorBytes, '\x5a')));
    const Run result = runProgram({ "--split", "--sessions", "Disc.ccd" });
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    QCOMPARE(readFile("Disc.cue"), sheet);
}

void TestVerify::splitSheetIsTheDats_data()
{
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<QString>("game");
    QTest::addColumn<int>("size"); // of the DAT's cue sheet
    QTest::addColumn<QByteArray>("md5"); // of the DAT's cue sheet
    QTest::addColumn<QByteArray>("catalog"); // the control file's CATALOG=, given with --codes
    QTest::addColumn<bool>("cdi"); // a CD-i disc, as point A0's PSEC 0x10 tells

    // A sheet of one track depends only on the disc's name and its track's
    // mode, so its hash settles the sheet's form, down to its last line's end;
    // one of more tracks on each track's mode, pregap and flags, which the
    // discs here give them as the dumps have them.
    const Disc modeTwoDisc{ { { 1, 0x04, 2, {}, {}, 0 } }, { 300 } };
    const Disc modeOneDisc{ { { 1, 0x04, 1, {}, {}, 0 } }, { 300 } };
    const Disc withAudio{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x00, 0, {}, 300, 450 } }, { 600 } };
    // Audio tracks with pregaps of 2 seconds after a data track, each as a
    // track of \a flags (with their control bits) would have them.
    const auto pregapped = [](int tracks, const QByteArray &flags, int control) {
        Disc disc{ { { 1, 0x04, 1, {}, {}, 0 } }, {} };
        for (int number = 2; number <= tracks; ++number)
            disc.tracks.append({ number, control, 0, flags, number * 300, number * 300 + 150 });
        disc.leadOuts = { (tracks + 1) * 300 };
        return disc;
    };
    const Disc cdiWithAudio{ { { 1, 0x04, 2, {}, {}, 0 }, { 2, 0x00, 0, {}, 300, 450 } }, { 600 } };
    // Audio tracks 2 to 7 after a data track, each with a pregap of 149 sectors.
    Disc cdiPregapped{ { { 1, 0x04, 2, {}, {}, 0 } }, { 8 * 300 } };
    for (int number = 2; number <= 7; ++number)
        cdiPregapped.tracks.append({ number, 0x00, 0, {}, number * 300, number * 300 + 149 });
    // Audio tracks, the second session from track \a second on, 11,400
    // sectors after the first's lead-out (its lead-out, its lead-in and the
    // first pregap, which no track's file holds); from track \a pregappedFrom on a
    // pregap of 149 sectors each.
    const auto twoSessions = [](int tracks, int second, int pregappedFrom) {
        Disc disc;
        qint64 at = 0;
        for (int number = 1; number <= tracks; ++number) {
            if (number == second) {
                disc.leadOuts.append(at);
                at += 11400;
            }
            const std::optional<qint64> pregap =
                number >= pregappedFrom ? std::optional<qint64>(at) : std::nullopt;
            disc.tracks.append(
                { number, 0x00, 0, {}, pregap, pregap ? at + 149 : at, number < second ? 1 : 2 });
            at += 300;
        }
        disc.leadOuts.append(at);
        return disc;
    };
    // clang-format off
    // The .cue entries of redump's Sony - PlayStation DAT (Logiqx XML, as redump.org serves it).
    QTest::newRow("Ace Combat 3")
        << modeTwoDisc << "Ace Combat 3 - Electrosphere (Europe) (En,Fr,De,Es,It)" << 120 << QByteArray("56125070a7f679f547133512543a3585") << QByteArray() << false;
    QTest::newRow("Metal Gear Solid, disc 1")
        << modeTwoDisc << "Metal Gear Solid (USA) (Disc 1) (Rev 1)" << 105 << QByteArray("91fc49ae51815d04c3bb4384e9fe8bd7") << QByteArray() << false;
    QTest::newRow("a name with an apostrophe")
        << modeTwoDisc << "'98 Koushien (Japan) (Demo)" << 93 << QByteArray("ba3aedf4b27af49f6761cd000817f6a8") << QByteArray() << false;
    // The sheets of redump's Sega - Mega-CD & Sega CD sets, as the SegaCD
    // SMDB of frederic-mahe/Hardware-Target-Game-Database lists their files
    // (names, sizes, MD5 and SHA-1).
    QTest::newRow("Mode 1, one track")
        << modeOneDisc << "Sewer Shark (USA) (Rev 1)" << 91 << QByteArray("485cc697039decb27bac812bcf619460") << QByteArray() << false;
    QTest::newRow("data and audio with a pregap")
        << withAudio << "Animals!, The (USA)" << 208 << QByteArray("d9883cd0bdb045fcfa22865f85de973a") << QByteArray() << false;
    QTest::newRow("11 tracks, numbered with two digits")
        << pregapped(11, {}, 0x00) << "Radical Rex (USA)" << 1214 << QByteArray("11a38f10bf5f0759b18aea8abb4c214a") << QByteArray() << false;
    QTest::newRow("FLAGS PRE before the INDEX lines")
        << pregapped(7, "PRE", 0x01) << "Bram Stoker's Dracula (USA) (Version 2.0)" << 1017 << QByteArray("16f4ed2dc2d72da4bdcca04d5a3d3f7f") << QByteArray() << false;
    QTest::newRow("CATALOG first, with --codes")
        << withAudio << "Dune (USA)" << 213 << QByteArray("e5cddc67a3fbe46fd9a8a70a3a5273b3") << QByteArray("0000000000000") << false;
    // The .cue entries of redump's Philips - CD-i DAT (2021-09-05) and Atari -
    // Jaguar CD Interactive Multimedia System DAT (2021-06-20), as
    // normalgamer/RedumpVerifier holds them (commit 91cfadc0c5f5). Redump keeps
    // the CATALOG of zeros that many CD-i discs carry.
    QTest::newRow("CD-i, one track")
        << modeTwoDisc << "Mystic Midway - Rest in Pieces (USA, Europe)" << 108 << QByteArray("4b77e27d246131ee91d0313660961af9") << QByteArray() << true;
    QTest::newRow("CD-i, CATALOG first")
        << modeTwoDisc << "Hotel Mario (Europe)" << 107 << QByteArray("50d01be6fb247964d10d35a91faeba97") << QByteArray("0000000000000") << true;
    QTest::newRow("CD-i, data and audio")
        << cdiWithAudio << "Nature Under Threat (Europe)" << 247 << QByteArray("e2d35cfdac92997a1ecb281e8585b324") << QByteArray("0000000000000") << true;
    QTest::newRow("CD-i, pregaps of 1 second 74 frames")
        << cdiPregapped << "Weather Kitchen, The (USA)" << 820 << QByteArray("1ca0e1d06d6a9baa57d25dd5090e581c") << QByteArray() << true;
    QTest::newRow("two sessions")
        << twoSessions(6, 3, 99) << "Ants (USA) (Unl)" << 554 << QByteArray("b331911add5c680cb060b8a0ef44b164") << QByteArray() << false;
    QTest::newRow("two sessions, ten tracks")
        << twoSessions(10, 3, 99) << "World Tour Racing (USA) (Songbird)" << 1092 << QByteArray("a410e36ed5bfe57a85773fa5b9c9a8ca") << QByteArray() << false;
    QTest::newRow("two sessions, pregaps in the second")
        << twoSessions(21, 2, 3) << "Robinson's Requiem (USA) (Unl)" << 2611 << QByteArray("fc185e4106b8cef7d39f301f7983cb35") << QByteArray() << false;
    // clang-format on
}

// The sheet that --split writes is the one the DAT lists, byte for byte:
// emulators and frontends tell a disc by that sheet's checksum.
void TestVerify::splitSheetIsTheDats()
{
    QFETCH(Disc, disc);
    QFETCH(QString, game);
    QFETCH(int, size);
    QFETCH(QByteArray, md5);
    QFETCH(QByteArray, catalog);
    QFETCH(bool, cdi);

    const QByteArray image = makeDisc(disc, 3, game);
    QVERIFY(!image.isEmpty());
    if (disc.leadOuts.size() > 1) {
        // As a dump holds two sessions: none of the space between them.
        const qint64 second = disc.leadOuts.first() + 11400;
        QVERIFY(writeFile(game + ".img",
            image.left(disc.leadOuts.first() * sectorBytes) + image.mid(second * sectorBytes)));
    }
    ControlFile file = dumpOf(disc, true);
    file.catalog = catalog;
    if (cdi) {
        file.toc.prepend({ 0xa0, 0x04, 0, 1, 0x10 });
        file.tocEntries = file.toc.size();
    }
    QVERIFY(writeFile(game + ".ccd", controlFile(file)));
    QStringList arguments{ "--split", game + ".ccd" };
    if (!catalog.isEmpty())
        arguments.prepend("--codes");
    if (disc.leadOuts.size() > 1)
        arguments.prepend("--sessions");
    const Run result = runProgram(arguments);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.status, 0);
    const QByteArray sheet = readFile(game + ".cue");
    QVERIFY2(sheet.size() == size, sheet.constData());
    QCOMPARE(QCryptographicHash::hash(sheet, QCryptographicHash::Md5).toHex(), md5);
}

/// Tracks 1, 2 and 10 of 100 sectors each, the first a data track.
const Disc tenthDisc{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x00, 0, {}, {}, 100 },
                          { 10, 0x00, 0, {}, {}, 200 } },
    { 300 } };
/// A data track and an audio track of 300 sectors each, neither with a pregap,
/// for images cut short.
const Disc shortImageDisc{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x00, 0, {}, {}, 300 } }, { 600 } };

void TestVerify::splitRefused_data()
{
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<QString>("name"); // of the control file, without .ccd
    QTest::addColumn<qint64>("imageSize"); // in bytes; -1 for the disc's
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("inTheWay"); // a folder under a track file's name, or ""
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // a part of standard error; %1 for the name

    const QString tooLong = QString(241, u'D');
    // clang-format off
    QTest::newRow("a folder in the way of track 3")    << mixedDisc << "Disc" << qint64(-1) << "--split" << "Disc (Track 3).bin" << 3 << "Cannot write Disc (Track 3).bin:\nFilename refers to a directory";
    QTest::newRow("--split= with no offset after it") << mixedDisc << "Disc" << qint64(-1) << "--split=" << "" << 2 << "--split=OFFSET takes a whole number of samples from -44100 to +44100, such as --split=+6, not nothing after the '='";
    QTest::newRow("an image that ends where track 2 starts") << shortImageDisc << "Disc" << qint64(300 * 2352) << "--split" << "" << 1
        << "Cannot cut the image of Disc.ccd into its tracks' files: INDEX 01 of track 02 (00:04:00) lies at or beyond the image's end (00:04:00)."
           " The image is shorter than the control file says: it is incomplete or belongs to another disc. (--check calls this index-beyond-end.)";
    QTest::newRow("an image that ends 100 bytes into its last sector") << shortImageDisc << "Disc" << qint64(599 * 2352 + 100) << "--split" << "" << 1
        << "Cannot cut the image of Disc.ccd into its tracks' files: The image is 1408948 bytes long, not a whole number of 2352-byte sectors.";
#ifdef Q_OS_WIN
    // Beyond the 259 characters that Windows' programs without long paths open.
    QTest::newRow("a name too long for the last track's file") << tenthDisc << tooLong << qint64(-1) << "--split" << "" << 3
        << "Cannot write " + tooLong + " (Track 1).bin:\nIts path is ";
#else
    // 241 bytes and " (Track 10).bin" are one more than the file system's 255.
    QTest::newRow("a name too long for the last track's file") << tenthDisc << tooLong << qint64(-1) << "--split" << "" << 3
        << "Cannot write " + tooLong + " (Track 10).bin:\nFile name too long: the folder's file system takes names of at most 255 bytes, and this one has 256; nothing is written.";
#endif
    // clang-format on
#ifdef Q_OS_WIN
    // The tracks' names fit their file system, but their paths, one character
    // longer than 259, not what programs without long paths open; "%long%"
    // stands for a name of that length in the test's folder.
    QTest::newRow("a path too long for programs without long paths")
        << mixedDisc << QString("%long%") << qint64(-1) << "--split"
        << "" << 3
        << "(Track 1).bin:\nIts path is 260 characters long, and programs that do not read long "
           "paths open none longer than 259; nothing is written.";
    // The sheet names the files in the ANSI code page, which has no ゲーム:
    // refused before the image is opened (held here, so that reading it
    // would fail first). Standard error, redirected, gives ゲーム as \u30b2...
    QTest::newRow("a name that the code page cannot hold")
        << mixedDisc << QString("ゲーム") << qint64(-1) << "--split"
        << "" << 3
        << ".cue:\nThe cue sheet holds characters that the system's code page cannot hold";
#endif
}

// Refused before anything is written: the files of the disc are left as they were.
void TestVerify::splitRefused()
{
    QFETCH(Disc, disc);
    QFETCH(QString, name);
    QFETCH(qint64, imageSize);
    QFETCH(QString, option);
    QFETCH(QString, inTheWay);
    QFETCH(int, status);
    QFETCH(QString, message);

    if (name == "%long%") {
        // As long as the folder's path allows: " (Track 1).bin" ends at 260.
        const qsizetype folderSize =
            QDir::toNativeSeparators(QDir::current().absolutePath()).size() + 1;
        name = QString(260 - folderSize - qsizetype(qstrlen(" (Track 1).bin")), u'P');
        message = name + ' ' + message;
    }
    QByteArray image = makeDisc(disc, 1, name);
    QVERIFY(!image.isEmpty());
    if (imageSize >= 0) {
        image.resize(imageSize, 'x');
        QVERIFY(writeFile(name + ".img", image));
    }
    QVERIFY(writeFile(name + ".cue", "earlier"));
    if (!inTheWay.isEmpty())
        QVERIFY(QDir().mkdir(inTheWay));
#ifdef Q_OS_WIN
    // Held open, reading shared with no one, as another program may hold it.
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (name == QString("ゲーム")) {
        holder = CreateFileW(reinterpret_cast<const wchar_t *>(QString(name + ".img").utf16()),
            GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(holder != INVALID_HANDLE_VALUE);
    }
#endif
    const Run result = runProgram({ option, name + ".ccd" });
#ifdef Q_OS_WIN
    if (holder != INVALID_HANDLE_VALUE)
        CloseHandle(holder);
#endif
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, status);
    QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err);
    QCOMPARE(readFile(name + ".cue"), QByteArray("earlier"));
    QCOMPARE(QDir().entryList({ "*.bin" }, QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 3);
    if (!inTheWay.isEmpty())
        QVERIFY(QFileInfo(inTheWay).isDir());
}

void TestVerify::splitNamedAfterDat_data()
{
    QTest::addColumn<Disc>("disc");
    QTest::addColumn<QString>("game"); // the DAT's game of the disc's tracks
    QTest::addColumn<QString>("twin"); // a game of the same tracks listed before it, or ""
    QTest::addColumn<QString>("name"); // of the control file, without .ccd
    QTest::addColumn<int>("offset"); // of the DAT's audio, in samples
    QTest::addColumn<Change>("change"); // None, WrongByte or TwoDigits
    QTest::addColumn<QString>("named"); // the game the files are named after; "" when refused
    QTest::addColumn<QString>("told"); // a part of standard error

    const QString world = "Test Disc (World)";
    const QString europe = "Test Disc (Europe)";
    const QString rev = "Test Disc (Europe) (Rev 1)";
    const QString refused = "Disc.ccd after the DAT: ";
    const QString unsafe = refused + "the DAT's name \"%1\" is no name for a file beside it: ";
    // clang-format off
    QTest::newRow("a match")              << mixedDisc << world << "" << "Disc" << 0 << Change::None << world << "Disc.ccd: the files are named after \"Test Disc (World)\" of the DAT, Test Disc (World).cue naming them.";
    QTest::newRow("a match, audio at -30") << playStationDisc << world << "" << "Disc" << -30 << Change::None << world << "named after \"Test Disc (World)\"";
    // The names are the DAT's as they stand, not made again from the game's.
    QTest::newRow("numbers of two digits") << mixedDisc << world << "" << "Disc" << 0 << Change::TwoDigits << world << "named after";
    QTest::newRow("one track")            << dataDisc << world << "" << "Disc" << 0 << Change::None << world << "named after";
    QTest::newRow("a wrong byte")         << mixedDisc << world << "" << "Disc" << 0 << Change::WrongByte << "" << refused + "3 of 4 tracks match; \"Test Disc (World)\" lists 1 more track file that no track matches.";
    QTest::newRow("beyond the offsets looked at") << mixedDisc << world << "" << "Disc" << 6001 << Change::None << "" << refused + "the data tracks match \"Test Disc (World)\", the audio tracks do not.";
    // Nothing on the disc tells twins of the same tracks apart; the dumper
    // who named it after one of them does.
    QTest::newRow("twins, the control file of neither") << mixedDisc << rev << europe << "Disc" << 0 << Change::None << "" << refused + "its tracks are those of 2 games alike, \"Test Disc (Europe)\", \"Test Disc (Europe) (Rev 1)\"; name the control file after the one it is.";
    QTest::newRow("twins, the control file of the second") << mixedDisc << rev << europe << rev << 0 << Change::None << rev << "named after \"Test Disc (Europe) (Rev 1)\"";
    QTest::newRow("twins, the control file of the first") << dataDisc << rev << europe << europe << 0 << Change::None << europe << "named after \"Test Disc (Europe)\"";
    QTest::newRow("a folder separator")   << mixedDisc << "../Outside" << "" << "Disc" << 0 << Change::None << "" << unsafe.arg("../Outside (Track 1).bin") + "it holds a folder separator.";
    QTest::newRow("a backslash")          << dataDisc << "..\\Outside" << "" << "Disc" << 0 << Change::None << "" << unsafe.arg("..\\Outside.bin") + "it holds a folder separator.";
    QTest::newRow("a device of Windows")  << dataDisc << "CON" << "" << "Disc" << 0 << Change::None << "" << unsafe.arg("CON.bin") + "Windows keeps it for a device.";
    QTest::newRow("a character Windows refuses") << mixedDisc << "Why?" << "" << "Disc" << 0 << Change::None << "" << unsafe.arg("Why? (Track 1).bin") + "it holds a character that Windows refuses in file names.";
    // clang-format on
}

// --split --verify DAT names the set as the DAT names the game's files, at
// the offset found: then every file is the DAT's, byte for byte. A disc that
// is not the DAT's whole, or a name that would land elsewhere, gets nothing.
void TestVerify::splitNamedAfterDat()
{
    QFETCH(Disc, disc);
    QFETCH(QString, game);
    QFETCH(QString, twin);
    QFETCH(QString, name);
    QFETCH(int, offset);
    QFETCH(Change, change);
    QFETCH(QString, named);
    QFETCH(QString, told);

    // The disc in a folder of its own, so that a name that climbs out of it is seen.
    QVERIFY(QDir().mkdir("set"));
    const QString at = "set/" + name;
    QByteArray image = makeDisc(disc, 5, at);
    QVERIFY(!image.isEmpty());
    const QList<CutTrack> tracks = cut(disc, image, offset);
    // The DAT's names of a game's track files, and its sheet naming them.
    const auto datName = [&](const QString &one, qsizetype i) {
        QString file = trackName(one, i + 1, tracks.size());
        return change == Change::TwoDigits ? file.replace("(Track ", "(Track 0") : file;
    };
    const auto datSheet = [&](const QString &one) {
        QByteArray sheet = redumpSheet(one, disc);
        for (qsizetype i = 0; i < tracks.size(); ++i)
            sheet.replace(trackName(one, i + 1, tracks.size()).toUtf8(), datName(one, i).toUtf8());
        return sheet;
    };
    QList<Rom> roms;
    for (const QString &one : twin.isEmpty() ? QStringList{ game } : QStringList{ twin, game }) {
        roms.append({ one, one + ".cue", datSheet(one) });
        for (qsizetype i = 0; i < tracks.size(); ++i)
            roms.append({ one, datName(one, i), tracks[i].bytes });
    }
    QVERIFY(writeFile("Test.dat", datOf(roms, false)));
    if (change == Change::WrongByte) {
        image[qsizetype(disc.tracks[1].start * sectorBytes + 7)] ^= 1;
        QVERIFY(writeFile(at + ".img", image));
    }

    const Run result = runProgram({ "--split", "--verify", "Test.dat", at + ".ccd" });
    QVERIFY(!result.crashed);
    QVERIFY2(QString::fromUtf8(result.err).contains(told), result.err);
    QCOMPARE(result.status, named.isEmpty() ? 1 : 0);
    QCOMPARE(readFile(at + ".img"), image);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{ "Test.dat" });
    QDir::setCurrent("set");
    const auto back = qScopeGuard([] { QDir::setCurrent(".."); });
    if (named.isEmpty()) {
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 2);
        return;
    }
    // Each file is the DAT's of the game chosen: what --verify looks up.
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QString track = datName(named, i);
        QVERIFY2(readFile(track) == tracks[i].bytes, qPrintable(track));
    }
    QCOMPARE(readFile(named + ".cue"), datSheet(named));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 2 + tracks.size() + 1);
}

// cdrdao lays out the split files' disc as the image's own sheet does, and reads every file.
void TestVerify::splitLoadsInCdrdao()
{
    const QString cdrdao = QStandardPaths::findExecutable("cdrdao");
    if (cdrdao.isEmpty())
        QSKIP("no cdrdao on this system");
    // Tracks of 4 seconds or more, as cdrdao wants them.
    const Disc disc{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x00, 0, {}, 300, 450 },
                         { 3, 0x00, 0, {}, {}, 800 } },
        { 1200 } };
    QVERIFY(!makeDisc(disc, 5).isEmpty());
    QCOMPARE(runProgram({ "--no-window", "Disc.ccd" }).status, 0);
    const Run whole = run(cdrdao, { "show-toc", "Disc.cue" }, folder.path(), withoutDisplay());
    QCOMPARE(runProgram({ "--split", "Disc.ccd" }).status, 0);
    const Run split = run(cdrdao, { "show-toc", "Disc.cue" }, folder.path(), withoutDisplay());
    QCOMPARE(split.status, 0);
    QVERIFY2(split.out.contains("TRACK  3"), split.out);
    QCOMPARE(split.out, whole.out);
    const Run read = run(cdrdao, { "read-test", "Disc.cue" }, folder.path(), withoutDisplay());
    QVERIFY2(read.status == 0, read.err);
}

// The discs of a game, whatever their control files are named, are grouped
// into one playlist by the DAT's names that --split --verify gives their sets.
void TestVerify::splitNamedIntoAPlaylist()
{
    QList<Rom> roms;
    for (const int disc : { 2, 1 }) {
        const QByteArray image = makeDisc(mixedDisc, quint32(disc), QString("SAGA_%1").arg(disc));
        QVERIFY(!image.isEmpty());
        roms += romsOf(QString("Saga (Europe) (Disc %1)").arg(disc), cut(mixedDisc, image));
    }
    QVERIFY(writeFile("Test.dat", datOf(roms, true)));
    const Run result =
        runProgram({ "--split", "--verify", "Test.dat", "--m3u", "SAGA_1.ccd", "SAGA_2.ccd" });
    QCOMPARE(result.status, 0);
    QCOMPARE(readFile("Saga (Europe).m3u"),
        QByteArray("Saga (Europe) (Disc 1).cue\r\nSaga (Europe) (Disc 2).cue\r\n"));
}

void TestVerify::verifyWrittenSet_data()
{
    QTest::addColumn<QString>("change"); // to the set after --split wrote it
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict"); // the line after "Game (World).cue: "

    const QString game = "\"Game (World)\"";
    // clang-format off
    QTest::newRow("as written")            << "none" << 0 << "every track and the cue sheet match " + game;
    QTest::newRow("a track's byte changed") << "track" << 1 << "3 of 4 tracks match";
    QTest::newRow("the sheet in LF")       << "line ends" << 1 << "every track matches " + game + "; the cue sheet differs";
    QTest::newRow("a track's file missing") << "missing" << 2 << "cannot be verified: Game (World) (Track 3).bin, which it names, is missing";
    QTest::newRow("a track's number not digits") << "escape" << 2 << "cannot be verified: it is no cue sheet of a set of files";
    QTest::newRow("a sheet naming no file") << "no file" << 2 << "cannot be verified: it is no cue sheet of a set of files";
    // clang-format on
}

// The set that --split --verify wrote, named by its sheet, is what the DAT
// lists, file for file: as a ROM manager would find it.
void TestVerify::verifyWrittenSet()
{
    QFETCH(QString, change);
    QFETCH(int, status);
    QFETCH(QString, verdict);

    const QByteArray image = makeDisc(mixedDisc, 3, "DUMP");
    QVERIFY(!image.isEmpty());
    QList<Rom> roms = romsOf("Game (World)", cut(mixedDisc, image));
    QVERIFY(writeFile("Test.dat", datOf(roms, true)));
    QCOMPARE(runProgram({ "--split", "--verify", "Test.dat", "DUMP.ccd" }).status, 0);
    // The DAT with the sheet that was written: its form is held to real DATs' by
    // splitSheetIsTheDats.
    roms.append({ "Game (World)", "Game (World).cue", readFile("Game (World).cue") });
    QVERIFY(writeFile("Test.dat", datOf(roms, true)));

    if (change == u"track") {
        QByteArray track = readFile("Game (World) (Track 2).bin");
        track[100] ^= 1;
        QVERIFY(writeFile("Game (World) (Track 2).bin", track));
    } else if (change == u"line ends") {
        QVERIFY(writeFile("Game (World).cue", readFile("Game (World).cue").replace("\r\n", "\n")));
    } else if (change == u"missing") {
        QVERIFY(QFile::remove("Game (World) (Track 3).bin"));
    } else if (change == u"escape") {
        QVERIFY(writeFile(
            "Game (World).cue", readFile("Game (World).cue").replace("TRACK 02", "TRACK \x1b[2J")));
    } else if (change == u"no file") {
        QVERIFY(writeFile("Game (World).cue", "REM nothing\r\n"));
    }
    const Run result = runProgram({ "--verify", "Test.dat", "Game (World).cue" });
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, status);
    QVERIFY2(result.out.startsWith("Game (World).cue: " + verdict.toUtf8()), result.out);
}

QTEST_GUILESS_MAIN(TestVerify)
#include "tst_verify.moc"
