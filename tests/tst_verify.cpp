#include "controlFiles.h"
#include "referenceBytes.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <optional>

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

/// A file of a game in a DAT.
struct Rom
{
    QString game;
    QString name;
    QByteArray bytes;
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
            dat += isXml ? "<game name=\"" + game.toUtf8() + "\">\n<rom name=\"" + game.toUtf8()
                    + ".cue\" size=\"100\" crc=\"00000000\"/>\n"
                         : "game (\n\tname \"" + game.toUtf8() + "\"\n";
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
    void damagedDat_data();
    void damagedDat();
    void folderOfDiscs();
    void split_data();
    void split();
    void splitSheet();
    void splitRefused_data();
    void splitRefused();
    void splitLoadsInCdrdao();

private:
    /// Writes Disc.ccd and Disc.img of \a disc, the image from \a seed; its bytes.
    QByteArray makeDisc(const Disc &disc, quint32 seed, const QString &name = "Disc");
    Run runProgram(const QStringList &arguments);

    std::optional<CurrentFolder> folder;
    QString program;
};

void TestVerify::initTestCase()
{
    program = QFileInfo(QStringLiteral(MORVANT_PATH)).absoluteFilePath();
}

void TestVerify::init()
{
    folder.emplace();
    QVERIFY(folder->isCurrent());
}

void TestVerify::cleanup()
{
    folder.reset();
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
    return run(program, arguments, folder->path(), withoutDisplay());
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
    if (change == Change::MoreTracks)
        tracks.append({ QByteArray(2352, 'x'), true });
    roms << romsOf(change == Change::OtherGame ? "Other Disc (World)" : game,
        change == Change::OtherGame ? cut(disc, imageBytes(disc, 2)) : tracks);
    QVERIFY(writeFile("Test.dat", datOf(roms, isXml)));
    if (change == Change::WrongByte) {
        image[qsizetype(disc.tracks[1].start * sectorBytes + 1000)] ^= 0x10;
        QVERIFY(writeFile("Disc.img", image));
    }
    if (change == Change::NoImage)
        QVERIFY(QFile::remove("Disc.img"));
    if (change == Change::NoTrackSections)
        QVERIFY(writeFile("Disc.ccd", controlFile(dumpOf(disc, false))));

    const Run result = runProgram({ "--verify", "Test.dat", "Disc.ccd" });
    QVERIFY(!result.crashed);
    QCOMPARE(result.status, status);
    const QList<QByteArray> lines = textLines(result.out).split('\n');
    QVERIFY2(lines.first().startsWith("Disc.ccd: " + verdict.toUtf8()), result.out);
    QCOMPARE(result.err, QByteArray());
    if (status == 0) {
        // Each track named with the file it matches.
        for (qsizetype i = 0; i < tracks.size(); ++i)
            QVERIFY2(
                result.out.contains("matches \"" + trackName(game, i + 1, tracks.size()).toUtf8()
                    + "\" of \"" + game.toUtf8() + '"'),
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

// The sheet of the split files: each track in its own file, its times counted from it.
void TestVerify::splitSheet()
{
    QVERIFY(!makeDisc(mixedDisc, 1).isEmpty());
    const Run result = runProgram({ "--split", "Disc.ccd" });
    QCOMPARE(result.status, 0);
    QCOMPARE(readFile("Disc.cue"),
        QByteArray("FILE \"Disc (Track 1).bin\" BINARY\r\n"
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
                   "    INDEX 01 00:00:20\r\n\r\n"));
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
    const Run whole = run(cdrdao, { "show-toc", "Disc.cue" }, folder->path(), withoutDisplay());
    QCOMPARE(runProgram({ "--split", "Disc.ccd" }).status, 0);
    const Run split = run(cdrdao, { "show-toc", "Disc.cue" }, folder->path(), withoutDisplay());
    QCOMPARE(split.status, 0);
    QVERIFY2(split.out.contains("TRACK  3"), split.out);
    QCOMPARE(split.out, whole.out);
    const Run read = run(cdrdao, { "read-test", "Disc.cue" }, folder->path(), withoutDisplay());
    QVERIFY2(read.status == 0, read.err);
}

QTEST_GUILESS_MAIN(TestVerify)
#include "tst_verify.moc"
