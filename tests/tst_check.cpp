#include "check.h"
#include "checkReport.h"
#include "checkRows.h"
#include "cueFile.h"
#include "cueOutput.h"
#include "discImage.h"
#include "lineReader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace morvant;

namespace {

// The options of a plain conversion on a system whose folders are split by '/'.
ConversionOptions slashed()
{
    ConversionOptions options;
    options.separator = u'/';
    return options;
}

/// What --check writes for some files, and its status.
struct CheckRun
{
    QByteArray output;
    CheckStatus status = checkClean;
};

CheckRun checkRun(const QStringList &arguments, bool json)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const CheckStatus status = checkFiles(discSet(arguments), {}, json, false, buffer);
    return { buffer.data(), status };
}

QString stripColour(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\x1b\\[[0-9;]*m")));
}

QString cueFromTracks(const CheckReport &report)
{
    QString cue = report.cueSheet.left(report.cueSheet.indexOf(u"\r\n") + 2);
    for (const CueTrack &track : report.tracks) {
        cue += "  TRACK " + track.number + u' ' + track.mode + "\r\n";
        for (const QString &flags : track.flags())
            cue += "    FLAGS" + flags + "\r\n";
        for (const CueLine &index : track.indexes())
            cue += "    INDEX " + index.number + u' ' + index.time() + "\r\n";
    }
    return cue;
}

// A device that takes no byte, like a full disk behind standard output.
class FullDevice : public QIODevice
{
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64) override { return -1; }
};

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void findings_data();
    void findings();
    void refusalUsesTheConversionsMessage_data();
    void refusalUsesTheConversionsMessage();
    void imageInAnotherCase();
    void realisticReports_data();
    void realisticReports();
    void trackListingMatchesCueSheet_data();
    void trackListingMatchesCueSheet();
    void json();
    void colourOnlyWhenAsked();
    void convertToOutput_data();
    void convertToOutput();
    void convertWithWhatToAdd_data();
    void convertWithWhatToAdd();
    void commandLine_data();
    void commandLine();
    void readsEachFileOnce_data();
    void readsEachFileOnce();
    void documentedCodes_data();
    void documentedCodes();

private:
    TestFolder folder{ TestFolder::Current };
};

void TestCheck::init()
{
    folder.init();
}

void TestCheck::cleanup()
{
    folder.cleanup();
}

void TestCheck::findings_data()
{
    addFindingsColumns();

    const qint64 whole = 2000 * imageSectorSize;
    const QByteArray clean = dumpFile();
    const auto row = [&](const char *name, const QByteArray &content, const QStringList &expected,
                         qint64 image = 2000 * imageSectorSize, bool sub = false,
                         bool cdText = false) {
        QTest::newRow(name) << content << image << sub << cdText << expected << QStringList();
    };

    row("clean", clean, {});
    row("first line not [CloneCD]", replaced(clean, "[CloneCD]", "[clonecd]"), { "refused||" });
    row("two sessions", replaced(clean, "Sessions=1", "Sessions=2"), { "refused||Sessions=2" });
    row("sessions 1 with a blank after it", replaced(clean, "Sessions=1", "Sessions=1 "),
        { "refused||Sessions=1" });
    row("sessions 1 with a tab before it", replaced(clean, "Sessions=1", "Sessions=\t1"),
        { "refused||Sessions=\t1" });
    row("a second session described", replaced(clean, "[Session 1]", "[Session 2]"),
        { "sessions||[Session 2]" });
    row("a TOC entry of session 2",
        replaced(clean, "Point=0x02\r\n", "Point=0x02\r\nSession=2\r\n"),
        { "toc-missing||", "sessions||Session=2" });
    row("table of contents only", dumpFile(""), { "no-tracks||" });
    row("track without INDEX 1", replaced(clean, "INDEX 1=1000", "INDEX 0=1000"),
        { "no-index-1|02|[TRACK 2]" });
    row("image missing", clean, { "image-missing||" }, -1);
    // Said for what it is, not called missing.
    row("image a folder", clean, { "image-not-file||" }, -2);
    row("image a FIFO", clean, { "image-not-file||" }, -3);
    row("image not whole sectors", clean, { "image-size||" }, whole + 100);
    row("image shorter than the disc", clean,
        { "image-length||", "index-beyond-end|02|INDEX 1=1000" }, 900 * imageSectorSize);
    row("index at the image's end",
        dumpFile(twoTracks, { { 0xa2, 0, 1000 }, { 1, 0, 0 }, { 2, 0, 1000 } }),
        { "short-track|02|[TRACK 2]", "index-beyond-end|02|INDEX 1=1000" }, 1000 * imageSectorSize);
    row("track numbers with a gap", replaced(clean, "[TRACK 2]", "[TRACK 3]"),
        { "toc-missing||", "track-number|03|[TRACK 3]" });
    row("first track not 1",
        dumpFile("[TRACK 2]\nMODE=0\nINDEX 1=0\n", { { 0xa2, 0, 2000 }, { 2, 0, 0 } }),
        { "track-number|02|[TRACK 2]" });
    row("track number beyond 99", replaced(clean, "[TRACK 2]", "[TRACK 100]"),
        { "toc-missing||", "track-number|0100|[TRACK 100]" });
    // Point A0 is no track: its Control and PLBA say nothing of a track 160.
    row("track numbered like the A0 entry",
        dumpFile(replaced(twoTracks, "[TRACK 2]", "[TRACK 160]"),
            { { 0xa0, 0x04, 1 }, { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000 } }),
        { "toc-missing||", "track-number|0160|[TRACK 160]" });
    row("index positions going backwards",
        dumpFile("[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 0=1000\nINDEX 1=900\n",
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 900 } }),
        { "index-order|02|INDEX 1=900" });
    row("index numbers going backwards",
        replaced(clean, "INDEX 1=1000", "INDEX 1=1000\nINDEX 0=1000"),
        { "index-order|02|INDEX 0=1000" });
    row("last track shorter than 4 seconds",
        dumpFile(replaced(twoTracks, "1000", "1701"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1701 } }),
        { "short-track|02|[TRACK 2]" });
    row("last track of exactly 4 seconds",
        dumpFile(replaced(twoTracks, "1000", "1700"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1700 } }),
        {});
    row("first track shorter than 4 seconds, up to the next one's INDEX 0",
        dumpFile("[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 0=299\nINDEX 1=1000\n"),
        { "short-track|01|[TRACK 1]" });
    row("data mode on an audio entry",
        replaced(clean, "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nMODE=1"),
        { "mode-mismatch|02|[TRACK 2]" });
    row("audio mode on a data entry",
        dumpFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0x04, 0 }, { 2, 0, 1000 } }),
        { "mode-mismatch|01|[TRACK 1]" });
    row("DCP in the TOC, no FLAGS",
        dumpFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-mismatch|02|[TRACK 2]" });
    row("FLAGS without a TOC bit", replaced(clean, "INDEX 1=1000", "FLAGS= DCP\nINDEX 1=1000"),
        { "flags-mismatch|02|[TRACK 2]" });
    row("FLAGS after INDEX",
        dumpFile(replaced(twoTracks, "INDEX 1=1000", "INDEX 1=1000\nFLAGS= DCP"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-order|02|FLAGS= DCP" });
    row("FLAGS between two INDEX lines",
        dumpFile(replaced(twoTracks, "INDEX 1=1000", "INDEX 0=850\nFLAGS= DCP\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-order|02|FLAGS= DCP" });
    row("empty FLAGS", replaced(clean, "INDEX 1=1000", "FLAGS=\nINDEX 1=1000"),
        { "flags-empty|02|FLAGS=" });
    row("FLAGS of blanks only, after INDEX",
        replaced(clean, "INDEX 1=1000", "INDEX 1=1000\nFLAGS=  "), { "flags-empty|02|FLAGS=" });
    row("escape sequences in the flags",
        dumpFile(replaced(twoTracks, "INDEX 1=1000",
                     "FLAGS= DCP\x1b[8m\xc2\x9b"
                     "2J\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-mismatch|02|[TRACK 2]" });
    row("all three audio flags agree",
        dumpFile(replaced(twoTracks, "INDEX 1=1000", "FLAGS= DCP 4CH PRE\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x0b, 1000 } }),
        {});
    row("4CH missing", dumpFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x08, 1000 } }),
        { "flags-mismatch|02|[TRACK 2]" });
    row("incremental data track needs no PRE",
        dumpFile("[TRACK 1]\nMODE=1\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 1=1000\n",
            { { 0xa2, 0, 2000 }, { 1, 0x05, 0 }, { 2, 0, 1000 } }),
        {});
    row("start differs from the TOC",
        dumpFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1001 } }),
        { "start-mismatch|02|[TRACK 2]" });
    row("no table of contents", dumpFile(twoTracks, {}), { "no-toc||" });
    row("TOC lacks a track", dumpFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 } }),
        { "toc-missing||" });
    row("scrambled data tracks", dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"),
        { "scrambled||DataTracksScrambled=1" });
    row("a subchannel file of another length than the image", clean, { "subchannel-unusable||" },
        whole, true);
    row("escape sequence in a track number", replaced(clean, "[TRACK 2]", "[TRACK \x1b[2J]"),
        { "track-number|0\x1b[2J|[TRACK \x1b[2J]" });
    row("escape sequence in a misread line",
        replaced(clean, "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nmode=0\x1b]0;x\x07"),
        { "keyword-form|02|mode=0\x1b]0;x\x07" });
    row("mode in lower case", replaced(clean, "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nmode=0"),
        { "keyword-form|02|mode=0" });
    row("mode with a blank after it",
        replaced(clean, "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nMODE=0 "),
        { "keyword-form|02|MODE=0" });
    row("index with blanks", replaced(clean, "INDEX 1=1000", "INDEX 1 = 1000"),
        { "keyword-form|02|INDEX 1 = 1000" });
    row("blanks the conversion absorbs",
        replaced(replaced(clean, "INDEX 1=1000", "INDEX 1= 1000 "), "[TRACK 2]\r\nMODE=0",
            "[TRACK 2]\r\nMODE= 0"),
        {});
    row("index in lower case", replaced(clean, "INDEX 1=1000", "index 1=1000"),
        { "keyword-form|02|index 1=1000" });
    row("flags without a blank",
        dumpFile(replaced(twoTracks, "INDEX 1=1000", "FLAGS=DCP\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "keyword-form|02|FLAGS=DCP" });
    row("track header without a blank", replaced(clean, "[TRACK 2]", "[TRACK2]"),
        { "keyword-form||[TRACK2]" });
    row("unknown mode", replaced(clean, "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nMODE=3"),
        { "track-line|02|MODE=3" });
    row("INDEX before MODE", replaced(clean, "MODE=0\r\nINDEX 1=1000", "INDEX 1=1000\r\nMODE=0"),
        { "track-line|02|[TRACK 2]", "stray-line|02|MODE=0" });
    row("track at the end without a mode", clean + "[TRACK 3]\r\n",
        { "toc-missing||", "track-line|03|[TRACK 3]", "no-index-1|03|[TRACK 3]" });
    row("line before the first track", replaced(clean, "[TRACK 1]", "FLAGS= DCP\n[TRACK 1]"),
        { "stray-line||FLAGS= DCP" });
    row("index not a number", replaced(clean, "INDEX 1=1000", "INDEX 1=abc"),
        { "index-value|02|INDEX 1=abc" });
    row("keywords before the sessions line are passed over",
        replaced(clean, "Sessions=1", "mode=1\r\nSessions=1"), {});

    const QByteArray badCdText = "[CDText]\r\nEntries=1\r\nEntry 0=80 00\r\n";
    row("undecodable CD-Text", clean + badCdText, { "cdtext||" }, whole, false, true);
    row("CD-Text not asked for", clean + badCdText, {}, whole, false, false);
}

void TestCheck::findings()
{
    checkFindingsRow();
}

void TestCheck::refusalUsesTheConversionsMessage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<QString>("code");
    QTest::addColumn<Refusal>("refusal");

    QTest::newRow("not a control file")
        << QByteArray("hello\r\n") << false << "refused" << Refusal::NotControlFile;
    QTest::newRow("no sessions line")
        << crlf("[CloneCD]\n[TRACK 1]\n") << false << "refused" << Refusal::NotControlFile;
    QTest::newRow("two sessions") << crlf("[CloneCD]\nSessions=2\n") << false << "refused"
                                  << Refusal::MultiSession;
    QTest::newRow("line over 1 MiB after the first")
        << crlf("[CloneCD]\nSessions=1\n") + QByteArray(LineReader::maxLineLength + 1, 'x') << false
        << "refused" << Refusal::LineTooLong;
    QTest::newRow("missing") << QByteArray() << false << "unreadable" << Refusal::Unreadable;
    QTest::newRow("folder") << QByteArray() << true << "unreadable" << Refusal::Unreadable;
}

void TestCheck::refusalUsesTheConversionsMessage()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, isFolder);
    QFETCH(QString, code);
    QFETCH(Refusal, refusal);

    if (isFolder)
        QVERIFY(QDir().mkdir("Disc.ccd"));
    else if (!content.isEmpty())
        QVERIFY(writeFile("Disc.ccd", content));
    QString message;
    QVERIFY(ccdToCue("Disc.ccd", [&](const QString &text, const QString &) {
        message = text;
    }).isEmpty());

    const CheckReport report = checkControlFile("Disc.ccd");
    QCOMPARE(report.findings.size(), 1);
    QCOMPARE(report.findings[0].name(), code);
    QCOMPARE(report.refusal, refusal);
    QCOMPARE(report.findings[0].message, message);
    QCOMPARE(checkStatus(report), checkRefused);
    QVERIFY(report.tracks.isEmpty());
    QVERIFY(
        textReport(report, false)
            .startsWith("Disc.ccd: " + QString(code == "refused" ? "refused" : "cannot be read")));
}

void TestCheck::imageInAnotherCase()
{
#ifdef Q_OS_WIN
    QSKIP("Windows finds a file whatever the letter case of its name");
#endif
    QVERIFY(writeFile("Disc.ccd", dumpFile()));
    QVERIFY(makeImage("Disc.IMG", 2000 * imageSectorSize));
    const CheckReport report = checkControlFile("Disc.ccd", slashed());
    QCOMPARE(report.findings.size(), 1);
    QCOMPARE(report.findings[0].name(), "image-missing");
    QVERIFY2(report.findings[0].advice.contains("Disc.IMG"), qPrintable(report.findings[0].advice));
}

void TestCheck::realisticReports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("sectors"); // of the image; -1 for none
    QTest::addColumn<bool>("hasSubchannel");
    QTest::addColumn<bool>("cdText");
    QTest::addColumn<int>("status");

    QTest::newRow("data disc") << "data" << qint64(16350) << false << false << int(checkClean);
    QTest::newRow("audio disc") << "audio" << qint64(41000) << false << false << int(checkClean);
    QTest::newRow("audio disc with CD-Text")
        << "audio" << qint64(41000) << false << true << int(checkClean);
    QTest::newRow("mixed disc with its subchannel file")
        << "mixed" << qint64(44300) << true << false << int(checkWarnings);
    QTest::newRow("table of contents only")
        << "tocOnly" << qint64(-1) << false << false << int(checkWarnings);
}

void TestCheck::realisticReports()
{
    QFETCH(QString, name);
    QFETCH(qint64, sectors);
    QFETCH(bool, hasSubchannel);
    QFETCH(bool, cdText);
    QFETCH(int, status);

    const QString source = QFINDTESTDATA("data/" + name + ".ccd");
    QVERIFY(!source.isEmpty());
    QVERIFY(QFile::copy(source, name + ".ccd"));
    if (sectors >= 0)
        QVERIFY(makeImage(name + ".img", sectors * imageSectorSize));
    if (hasSubchannel)
        QVERIFY(writeFile(name + ".sub", QByteArray(96, '\0')));

    ConversionOptions options = slashed();
    options.cdText = cdText;
    const CheckReport report = checkControlFile(name + ".ccd", options);
    const QString expectedPath =
        QFINDTESTDATA("data/" + name + (cdText ? "CdText" : "") + ".report");
    QVERIFY(!expectedPath.isEmpty());
    QCOMPARE(textReport(report, false), QString::fromUtf8(readFile(expectedPath)));
    QCOMPARE(int(checkStatus(report)), status);
}

void TestCheck::trackListingMatchesCueSheet_data()
{
    QTest::addColumn<QByteArray>("content");

    for (const char *name : { "data", "audio", "mixed", "tocOnly" })
        QTest::newRow(name) << readFile(QFINDTESTDATA(QString("data/%1.ccd").arg(name)));
    QTest::newRow("two-digit tracks and indexes") << crlf(
        "[CloneCD]\nSessions=1\n[TRACK 10]\nMODE=2\nFLAGS= DCP 4CH\nFLAGS=\nINDEX 12=450000\n"
        "INDEX 1=abc\n[TRACK 011]\nMODE=1\n");
    QTest::newRow("blanks around a sector count")
        << crlf("[CloneCD]\nSessions=1\n[TRACK 1]\nMODE=0\nINDEX 1= +75 \n");
}

// The listing is read by the same rules as the conversion: put back together, it is the cue sheet.
void TestCheck::trackListingMatchesCueSheet()
{
    QFETCH(QByteArray, content);
    QVERIFY(!content.isEmpty());
    QVERIFY(writeFile("Disc.ccd", content));
    const CheckReport report = checkControlFile("Disc.ccd", slashed());
    QVERIFY(!report.isRefused());
    QCOMPARE(report.cueSheet,
        ccdToCue(
            "Disc.ccd", [](const QString &, const QString &) {}, u'/'));
    QCOMPARE(cueFromTracks(report), report.cueSheet);
}

void TestCheck::json()
{
    QVERIFY(writeFile("Disc.ccd", dumpFile(replaced(twoTracks, "INDEX 1=1000", "INDEX 1=abc"))));
    QVERIFY(makeImage("Disc.img", 2000 * imageSectorSize));
    QVERIFY(writeFile("Clean.ccd", dumpFile()));
    QVERIFY(makeImage("Clean.img", 2000 * imageSectorSize));

    const CheckRun run = checkRun({ "\"Clean.ccd\"", "Disc.ccd", "Missing.ccd" }, true);
    QCOMPARE(run.status, checkRefused);
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(run.output, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(root["status"].toInt(), 2);
    const QJsonArray files = root["files"].toArray();
    QCOMPARE(files.size(), 3);

    const QJsonObject clean = files[0].toObject();
    QCOMPARE(clean["path"].toString(), "Clean.ccd"); // quotes taken off as in a conversion
    QCOMPARE(clean["status"].toString(), "clean");
    QCOMPARE(clean["image"].toObject()["sectors"].toInteger(), 2000);
    QCOMPARE(clean["findings"].toArray().size(), 0);
    const QJsonArray tracks = clean["tracks"].toArray();
    QCOMPARE(tracks.size(), 2);
    const QJsonObject second = tracks[1].toObject();
    QCOMPARE(second["number"].toString(), "02");
    QCOMPARE(second["mode"].toString(), "AUDIO");
    QCOMPARE(second["line"].toInt(), 35);
    const QJsonObject index = second["indexes"].toArray()[0].toObject();
    QCOMPARE(index["number"].toString(), "01");
    QCOMPARE(index["time"].toString(), "00:13:25");
    QCOMPARE(index["sectors"].toInteger(), 1000);

    const QJsonObject disc = files[1].toObject();
    QCOMPARE(disc["status"].toString(), "warnings");
    const QJsonObject badIndex =
        disc["tracks"].toArray()[1].toObject()["indexes"].toArray()[0].toObject();
    QVERIFY(badIndex["sectors"].isNull());
    QVERIFY(badIndex["time"].isNull());
    const QJsonObject finding = disc["findings"].toArray()[0].toObject();
    QCOMPARE(finding["code"].toString(), "index-value");
    QCOMPARE(finding["severity"].toString(), "warning");
    QCOMPARE(finding["track"].toString(), "02");
    QCOMPARE(finding["line"].toInt(), 37);
    QVERIFY(!finding["advice"].toString().isEmpty());

    const QJsonObject missing = files[2].toObject();
    QCOMPARE(missing["status"].toString(), "unreadable");
    QCOMPARE(missing["findings"].toArray()[0].toObject()["severity"].toString(), "error");
    QVERIFY(!missing.contains("tracks"));
}

void TestCheck::colourOnlyWhenAsked()
{
    QVERIFY(writeFile("Disc.ccd", dumpFile()));
    const CheckReport report = checkControlFile("Disc.ccd", slashed()); // no image: a warning
    const QString plain = textReport(report, false);
    const QString coloured = textReport(report, true);
    QVERIFY(!plain.contains(u'\x1b'));
    QVERIFY(coloured.contains("\x1b[33mwarning\x1b[0m"));
    QCOMPARE(stripColour(coloured), plain);
}

void TestCheck::convertToOutput_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("cdText");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("hasWarning");

    QTest::newRow("plain") << dumpFile() << false << int(conversionDone) << false;
    QTest::newRow("CD-Text asked for, none there")
        << dumpFile() << true << int(conversionDone) << false;
    QTest::newRow("undecodable CD-Text") << dumpFile() + "[CDText]\r\nEntry 0=80\r\n"
                                         << true << int(conversionDone) << true;
    QTest::newRow("refused") << QByteArray("x\r\n") << false << int(conversionRefused) << false;
}

void TestCheck::convertToOutput()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, cdText);
    QFETCH(int, status);
    QFETCH(bool, hasWarning);

    QVERIFY(writeFile("Dïsc.ccd", content));
    QBuffer output;
    QVERIFY(output.open(QIODevice::WriteOnly));
    QStringList messages;
    QStringList warnings;
    ConversionOptions withCdText;
    withCdText.cdText = cdText;
    const ConversionStatus result = ::convertToOutput(
        "Dïsc.ccd", withCdText, output,
        [&](const QString &text, const QString &) { messages << text; },
        [&](const QString &text) { warnings << text; });
    QCOMPARE(int(result), status);
    QCOMPARE(warnings.size(), hasWarning ? 1 : 0);
    if (status == conversionRefused) {
        QCOMPARE(messages.size(), 1);
        QCOMPARE(output.data(), QByteArray());
        return;
    }
    // The same bytes as the .cue file that a plain conversion writes.
    QString error;
    QVERIFY(writeCueFile("Dïsc.cue", ccdToCue("Dïsc.ccd", {}), &error));
    QCOMPARE(output.data(), readFile("Dïsc.cue"));

    FullDevice full;
    QVERIFY(full.open(QIODevice::WriteOnly));
    messages.clear();
    QCOMPARE(
        ::convertToOutput(
            "Dïsc.ccd", withCdText, full,
            [&](const QString &text, const QString &title) { messages << title + ": " + text; },
            [](const QString &) {}),
        conversionNotWritten);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith("File Error: Cannot write to standard output:\n"),
        qPrintable(messages[0]));
}

void TestCheck::convertWithWhatToAdd_data()
{
    addConversionColumns();

    const auto row = [](const char *name, const QByteArray &content, qint64 sectors,
                         const QStringList &options, const QByteArray &expected, int status = 0,
                         const QString &err = {}) {
        QTest::newRow(name) << content << sectors << options << expected << status << err;
    };
    // What the control file says of the whole image, told of in every conversion.
    const QByteArray plainSheet = crlf("FILE \"Disc.img\" BINARY\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    INDEX 01 00:13:25\n");
    row("scrambled data tracks", dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"),
        2000, {}, plainSheet, 0,
        "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=1: the image holds its data "
        "tracks scrambled. Programs that load a cue sheet expect plain sectors");
    row("scrambled data tracks, the section in lower case",
        replaced(
            dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"), "[Disc]", "[disc]"),
        2000, {}, plainSheet, 0, "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=1");
    row("scrambled data tracks, the section's name between blanks",
        replaced(
            dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"), "[Disc]", "[ DISC ]"),
        2000, {}, plainSheet, 0, "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=1");
    row("DataTracksScrambled=1 outside the [Disc] section",
        replaced(dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=0\n"), "[Session 1]\r\n",
            "[Session 1]\r\nDataTracksScrambled=1\r\n"),
        2000, {}, plainSheet);
    row("scrambled data tracks, with --rebuild",
        dumpFile("", twoAudioTracks, "DataTracksScrambled=1\n"), 2000, { "--rebuild" }, plainSheet,
        0,
        "morvant: warning: Disc.ccd: There is no subchannel file Disc.sub, so the cue sheet has "
        "no INDEX 00 lines: pregaps are read from it.\nmorvant: warning: Disc.ccd: line 6: "
        "DataTracksScrambled=1");
    row("no [TRACK] sections", dumpFile("", twoAudioTracks), 2000, {},
        crlf("FILE \"Disc.img\" BINARY\n"), 0,
        "morvant: warning: Disc.ccd: The control file has no [TRACK] sections: the cue sheet "
        "names no track, and some programs hang on such a sheet. Convert it with --rebuild");
    // An escape where the value reaches a message; tst_sessions and tst_codes have those of
    // their fields.
    const QByteArray osc = "\x1b]0;PWNED\x07";
    row("an OSC in the scrambled value",
        dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=" + osc + "\n"), 2000, {},
        plainSheet, 0,
        "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=\\u001b]0;PWNED\\u0007");

    for (const char *name : { "data", "audio", "mixed", "tocOnly" }) {
        const QByteArray content = readFile(QFINDTESTDATA(QString("data/%1.ccd").arg(name)));
        // A sheet without tracks is told of however the file is converted.
        const QString err = QString(name) == "tocOnly"
            ? "morvant: warning: Disc.ccd: The control file has no [TRACK] sections"
            : QString();
        row(qPrintable(QString("%1 disc, --all as --cdtext").arg(name)), content, 50000,
            { "--all" }, "=--cdtext", 0, err);
    }
}

// Through the program, as a user adds to the cue sheet.
void TestCheck::convertWithWhatToAdd()
{
    checkConversionRow(MORVANT_PATH, folder.path());
}

void TestCheck::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a part of standard output; "=cue" for the .cue file's bytes
    QTest::addColumn<QString>("err"); // a part of standard error
    QTest::addColumn<bool>("writesCue");

    // clang-format off
    QTest::newRow("check clean")        << QStringList {"--check", "Clean.ccd"} << 0 << "Clean.ccd: no findings\n" << "" << false;
    QTest::newRow("check warnings")     << QStringList {"--check", "Clean.ccd", "NoImage.ccd"} << 1 << "NoImage.ccd: 1 warning" << "" << false;
    QTest::newRow("check refused")      << QStringList {"--check", "Clean.ccd", "Missing.ccd"} << 2 << "Missing.ccd: cannot be read" << "" << false;
    QTest::newRow("check lists the contents' tracks once") << QStringList {"--check", "TocTwice.ccd"} << 1 << "lists tracks 1, 2: convert" << "" << false;
    QTest::newRow("check as JSON")      << QStringList {"--check", "--json", "NoImage.ccd"} << 1 << "\"code\": \"image-missing\"" << "" << false;
    QTest::newRow("stdout")             << QStringList {"--stdout", "Clean.ccd"} << 0 << "=cue" << "" << false;
    QTest::newRow("stdout refused")     << QStringList {"--stdout", "Missing.ccd"} << 1 << "" << "File Error: Missing.ccd: Cannot read" << false;
    QTest::newRow("stdout with CD-Text") << QStringList {"--stdout", "--cdtext", "Clean.ccd"} << 0 << "=cue" << "" << false;
    QTest::newRow("conversion with CD-Text") << QStringList {"--cdtext", "Clean.ccd"} << 0 << "" << "" << true;
    QTest::newRow("undecodable CD-Text warns") << QStringList {"--no-window", "--cdtext", "BadText.ccd"} << 0 << "" << "morvant: warning: BadText.ccd: CD-Text left out" << false;
    QTest::newRow("--json alone")       << QStringList {"--json", "Clean.ccd"} << 2 << "" << "--json goes with --check or --verify only" << false;
    QTest::newRow("--json with --split --verify") << QStringList {"--split", "--verify", "Test.dat", "--json", "Clean.ccd"} << 2 << "" << "--json goes with --check or --verify only, not with --split, whose --verify DAT names the files it writes" << false;
    QTest::newRow("--check without a file") << QStringList {"--check"} << 2 << "" << "--check needs a control file" << false;
    QTest::newRow("--stdout with two files") << QStringList {"--stdout", "Clean.ccd", "NoImage.ccd"} << 2 << "" << "--stdout takes exactly one" << false;
    QTest::newRow("--check with --stdout") << QStringList {"--check", "--stdout", "Clean.ccd"} << 2 << "" << "cannot be used together" << false;
    QTest::newRow("--verify without a DAT") << QStringList {"--verify"} << 2 << "" << "--verify needs a file after it" << false;
    QTest::newRow("--verify without a file") << QStringList {"--verify", "Test.dat"} << 2 << "" << "--verify needs a control file or a folder after the DAT" << false;
    QTest::newRow("--verify with --check") << QStringList {"--verify", "Test.dat", "--check", "Clean.ccd"} << 2 << "" << "--verify writes nothing and goes with neither --check nor --stdout" << false;
    QTest::newRow("--split --verify with an offset") << QStringList {"--split=+6", "--verify", "Test.dat", "Clean.ccd"} << 2 << "" << "--split with --verify takes the audio offset at which the tracks match the DAT; leave out =OFFSET" << false;
    QTest::newRow("--split --verify, a DAT that cannot be read") << QStringList {"--split", "--verify", "Missing.dat", "Clean.ccd"} << 1 << "" << "morvant: Cannot read the DAT Missing.dat: " << false;
    QTest::newRow("--split with --stdout") << QStringList {"--split", "--stdout", "Clean.ccd"} << 2 << "" << "--split writes files beside the control file" << false;
    QTest::newRow("--split=OFFSET not a number") << QStringList {"--split=6s", "Clean.ccd"} << 2 << "" << "--split=OFFSET takes a whole number of samples from -44100 to +44100, such as --split=+6, not '6s'" << false;
    QTest::newRow("--split=OFFSET too far") << QStringList {"--split=-44101", "Clean.ccd"} << 2 << "" << "not '-44101'" << false;
    QTest::newRow("--discs with --check") << QStringList {"--discs", "--check", "Clean.ccd"} << 2 << "" << "--discs opens the disc list and goes with none of --check" << false;
    QTest::newRow("help names --discs")  << QStringList {"--help"} << 0 << "  --discs      open the disc list, a window" << "" << false;
    QTest::newRow("help gives the values") << QStringList {"--help"} << 0 << "  --verify DAT\n               write nothing; hash" << "" << false;
    QTest::newRow("help gives --split's value") << QStringList {"--help"} << 0 << "  --split[=OFFSET]\n               write the image as one file" << "" << false;
    QTest::newRow("help names the options") << QStringList {"--help"} << 0 << "--cdtext" << "" << false;
    QTest::newRow("help groups what to add") << QStringList {"--help"} << 0 << "What to add to the cue sheet (a file that has nothing of the kind gives" << "" << false;
    QTest::newRow("check on two sessions names --sessions") << QStringList {"--check", "Sessions.ccd"} << 2 << "Convert it with\n           --sessions, which" << "" << false;
    QTest::newRow("check with --sessions shows the sessions") << QStringList {"--check", "--sessions", "Sessions.ccd"} << 0 << "  03     2        MODE1/2352         01 02:58:50\n" << "" << false;
    QTest::newRow("check with --all as JSON") << QStringList {"--check", "--json", "--all", "Sessions.ccd"} << 0 << "\"session\": 2" << "" << false;
#ifndef Q_OS_WIN
    // Windows always has a display: the list would open.
    QTest::newRow("--discs without a display") << QStringList {"--discs", "Clean.ccd"} << 2 << "" << "--discs opens a window, and there is no display" << false;
#endif
#ifdef Q_OS_WIN
    QTest::newRow("check a name beyond the code page") << QStringList {"--check", "--json", "Ελληνικά.ccd"} << 1 << "\"code\": \"code-page\"" << "" << false;
#endif
    // clang-format on
}

void TestCheck::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(bool, writesCue);

    QVERIFY(writeFile("Clean.ccd", dumpFile()));
    QVERIFY(makeImage("Clean.img", 2000 * imageSectorSize));
    QVERIFY(writeFile("NoImage.ccd", dumpFile()));
    QVERIFY(writeFile("BadText.ccd", dumpFile() + "[CDText]\r\nEntry 0=zz\r\n"));
    QVERIFY(writeFile("Ελληνικά.ccd", dumpFile()));
    QVERIFY(makeImage("Ελληνικά.img", 2000 * imageSectorSize));
    QVERIFY(writeFile("Sessions.ccd", sessionsFile()));
    QVERIFY(makeImage("Sessions.img", 3600 * imageSectorSize));
    QVERIFY(writeFile("TocTwice.ccd",
        dumpFile("", { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000 }, { 2, 0, 1000 } })));

    const Run result = run(MORVANT_PATH, arguments, folder.path(), withoutDisplay());
    QCOMPARE(result.status, status);
    if (out == "=cue") {
        QString error;
        const QString cueSheet = ccdToCue("Clean.ccd", {});
        QVERIFY(writeCueFile("Expected.cue", cueSheet, &error));
        QCOMPARE(result.out, readFile("Expected.cue"));
        QVERIFY(!QFile::exists("Clean.cue"));
    } else {
        QVERIFY2(textLines(result.out).contains(out.toUtf8()), result.out.constData());
    }
    QVERIFY2(result.err.contains(err.toUtf8()), result.err.constData());
    QCOMPARE(QFile::exists("Clean.cue"), writesCue);
    if (writesCue)
        QCOMPARE(readFile("Clean.cue"), ccdToCue("Clean.ccd", {}).toUtf8() + "\r\n");
}

void TestCheck::readsEachFileOnce_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("isFifo"); // else standard input, a pipe
    QTest::addColumn<QString>("out"); // a part of standard output

    const QStringList check{ "--check", "--json" };
    const QStringList cdText{ "--stdout", "--cdtext" };
    const QStringList plain{ "--stdout" };
    // clang-format off
    QTest::newRow("check, pipe")      << check  << false << "\"number\": \"03\"";
    QTest::newRow("check, FIFO")      << check  << true  << "\"number\": \"03\"";
    QTest::newRow("CD-Text, pipe")    << cdText << false << "    TITLE \"Lantern Song\"\r\n";
    QTest::newRow("CD-Text, FIFO")    << cdText << true  << "    TITLE \"Lantern Song\"\r\n";
    QTest::newRow("cue sheet, pipe")  << plain  << false << "  TRACK 03 AUDIO\r\n";
    QTest::newRow("cue sheet, FIFO")  << plain  << true  << "  TRACK 03 AUDIO\r\n";
    // clang-format on
}

// A pipe or a FIFO can be read only once: a second reading finds it empty or
// waits for a writer that never comes.
void TestCheck::readsEachFileOnce()
{
#ifdef Q_OS_UNIX
    QFETCH(QStringList, options);
    QFETCH(bool, isFifo);
    QFETCH(QString, out);

    const QByteArray content = readFile(QFINDTESTDATA("data/audio.ccd"));
    QProcess process;
    process.setWorkingDirectory(folder.path());
    process.setProcessEnvironment(withoutDisplay());
    std::thread writer;
    if (isFifo) {
        QVERIFY(::mkfifo("Disc.ccd", 0600) == 0);
        writer = std::thread([&content] {
            QFile fifo("Disc.ccd");
            if (fifo.open(QIODevice::WriteOnly))
                fifo.write(content);
        });
        process.start(MORVANT_PATH, options << "Disc.ccd");
    } else {
        process.start(MORVANT_PATH, options << "/dev/stdin");
        process.write(content);
        process.closeWriteChannel();
    }
    const Run result = finished(process, 20000);
    if (writer.joinable()) {
        // Lets a writer go that the program never read from.
        const int unblock = ::open("Disc.ccd", O_RDONLY | O_NONBLOCK);
        writer.join();
        ::close(unblock);
    }
    QVERIFY(!result.crashed);
    QVERIFY2(result.out.contains(out.toUtf8()), result.out.constData());
    QVERIFY2(!result.err.contains("warning"), result.err.constData());
#else
    QSKIP("/dev/stdin and FIFOs by name are a Unix matter");
#endif
}

void TestCheck::documentedCodes_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("entry"); // %1 the code, %2 its severity, %3 its meaning
    QTest::addColumn<QString>("entries"); // what every entry of the list matches, and nothing else
    QTest::addColumn<bool>("isRoff"); // hyphens written as \-

    // clang-format off
    QTest::newRow("manual")   << "../docs/manual.md" << "| `%1` | %2 | %3 |\n"
                              << "^\\| `[^`]+` \\| (error|warning) \\|" << false;
    QTest::newRow("man page") << "../packaging/morvant.1.in" << ".TP\n.B %1\n(%2) %3\n"
                              << "^\\((error|warning)\\) " << true;
    // clang-format on
}

// Programs rely on the codes, so the documentation lists each with the
// catalogue's own severity and meaning, and no code that is not in it.
void TestCheck::documentedCodes()
{
    QFETCH(QString, document);
    QFETCH(QString, entry);
    QFETCH(QString, entries);
    QFETCH(bool, isRoff);

    const QString path = QFINDTESTDATA(document);
    QVERIFY(!path.isEmpty());
    const QString text = QString::fromUtf8(readFile(path));
    const auto written = [isRoff](QString words) {
        return isRoff ? words.replace(u'-', QStringLiteral("\\-")) : words;
    };
    for (int code = 0; code <= int(lastFindingCode); ++code) {
        const FindingInfo info = findingInfo(FindingCode(code));
        const QString severity =
            info.severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
        const QString expected = entry.arg(written(info.name), severity, written(info.meaning));
        QVERIFY2(text.contains(expected), qPrintable(expected));
    }
    int listed = 0;
    for (auto match =
             QRegularExpression(entries, QRegularExpression::MultilineOption).globalMatch(text);
         match.hasNext(); match.next())
        ++listed;
    QCOMPARE(listed, int(lastFindingCode) + 1);
}

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
