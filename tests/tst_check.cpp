#include "check.h"
#include "checkReport.h"
#include "cueOutput.h"
#include "discImage.h"
#include "lineReader.h"
#include "testHelpers.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>

#include <limits>
#include <optional>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The options of a plain conversion on a system whose folders are split by '/'.
ConversionOptions slashed()
{
    ConversionOptions options;
    options.separator = u'/';
    return options;
}

// The text report on one file, as --check writes it.
QString textReport(const CheckReport &report, bool colour)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeTextReport(report, colour, buffer);
    return QString::fromLocal8Bit(buffer.data());
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
    const CheckStatus status = checkFiles(arguments, {}, json, false, buffer);
    return { buffer.data(), status };
}

bool makeImage(const QString &path, qint64 bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(bytes); // sparse where the system allows
}

struct Toc
{
    int point;
    int control;
    qint64 plba;
    int session = 1;
};

QByteArray tocEntries(const QList<Toc> &toc)
{
    QByteArray text;
    for (qsizetype i = 0; i < toc.size(); ++i) {
        text +=
            QStringLiteral("[Entry %1]\nSession=%5\nPoint=0x%2\nADR=0x01\nControl=0x%3\nTrackNo=0\n"
                           "PLBA=%4\n")
                .arg(i)
                .arg(toc[i].point, 2, 16, QLatin1Char('0'))
                .arg(toc[i].control, 2, 16, QLatin1Char('0'))
                .arg(toc[i].plba)
                .arg(toc[i].session)
                .toLatin1();
    }
    return text;
}

// Two audio tracks of 1000 sectors each, the disc ending at sector 2000.
const QList<Toc> twoAudioTracks{ { 0xa2, 0x00, 2000 }, { 1, 0x00, 0 }, { 2, 0x00, 1000 } };
const QByteArray twoTracks = "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 1=1000\n";

QByteArray controlFile(const QByteArray &tracks = twoTracks, const QList<Toc> &toc = twoAudioTracks,
    const QByteArray &disc = "DataTracksScrambled=0\n")
{
    return crlf("[CloneCD]\nVersion=3\n[Disc]\nTocEntries=3\nSessions=1\n" + disc
        + "CDTextLength=0\n[Session 1]\nPreGapMode=0\nPreGapSubC=0\n" + tocEntries(toc) + tracks);
}

QByteArray replaced(QByteArray text, const QByteArray &before, const QByteArray &after)
{
    return text.replace(before, after);
}

// An Enhanced CD: two audio tracks in session 1, whose lead-out is at sector
// 2000; a data track in session 2, 11,400 sectors on (lead-out, lead-in and
// pregap between them), the disc ending at sector 15000.
const QList<Toc> enhancedToc{ { 0xa2, 0x00, 2000 }, { 1, 0x00, 0 }, { 2, 0x00, 1000 },
    { 0xa2, 0x04, 15000, 2 }, { 3, 0x04, 13400, 2 } };
const QByteArray enhancedTracks = twoTracks + "[TRACK 3]\nMODE=1\nINDEX 1=13400\n";

// The Enhanced CD's table of contents with its entry \a at giving PLBA=\a plba.
QList<Toc> enhancedTocWith(qsizetype at, qint64 plba)
{
    QList<Toc> toc = enhancedToc;
    toc[at].plba = plba;
    return toc;
}

QByteArray sessionsFile(const QByteArray &tracks = enhancedTracks,
    const QList<Toc> &toc = enhancedToc, const QByteArray &sessions = "2")
{
    return replaced(controlFile(tracks, toc), "Sessions=1", "Sessions=" + sessions);
}

// A finding as "code|track|the line it points to", so that rows name lines by their text.
QStringList described(const CheckReport &report, const QByteArray &content)
{
    const QList<QByteArray> lines = content.split('\n');
    QStringList list;
    for (const Finding &finding : report.findings) {
        const QByteArray line =
            finding.line > 0 ? lines.value(finding.line - 1).trimmed() : QByteArray();
        list << finding.code + u'|' + finding.track + u'|' + QString::fromLatin1(line);
    }
    return list;
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
    std::optional<CurrentFolder> folder;
};

void TestCheck::init()
{
    folder.emplace();
    QVERIFY(folder->isValid());
    QVERIFY(folder->isCurrent());
}

void TestCheck::cleanup()
{
    folder.reset();
}

void TestCheck::findings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("imageBytes"); // -1: no image, -2: a folder, -3: a FIFO
    QTest::addColumn<bool>("hasSubchannel");
    QTest::addColumn<bool>("cdText");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("options"); // "sessions", "codes"

    const qint64 whole = 2000 * imageSectorSize;
    const QByteArray clean = controlFile();
    const auto row = [&](const char *name, const QByteArray &content, const QStringList &expected,
                         qint64 image = 2000 * imageSectorSize, bool sub = false,
                         bool cdText = false, const QStringList &options = {}) {
        QTest::newRow(name) << content << image << sub << cdText << expected << options;
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
    row("table of contents only", controlFile(""), { "no-tracks||" });
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
        controlFile(twoTracks, { { 0xa2, 0, 1000 }, { 1, 0, 0 }, { 2, 0, 1000 } }),
        { "short-track|02|[TRACK 2]", "index-beyond-end|02|INDEX 1=1000" }, 1000 * imageSectorSize);
    row("track numbers with a gap", replaced(clean, "[TRACK 2]", "[TRACK 3]"),
        { "toc-missing||", "track-number|03|[TRACK 3]" });
    row("first track not 1",
        controlFile("[TRACK 2]\nMODE=0\nINDEX 1=0\n", { { 0xa2, 0, 2000 }, { 2, 0, 0 } }),
        { "track-number|02|[TRACK 2]" });
    row("track number beyond 99", replaced(clean, "[TRACK 2]", "[TRACK 100]"),
        { "toc-missing||", "track-number|0100|[TRACK 100]" });
    // Point A0 is no track: its Control and PLBA say nothing of a track 160.
    row("track numbered like the A0 entry",
        controlFile(replaced(twoTracks, "[TRACK 2]", "[TRACK 160]"),
            { { 0xa0, 0x04, 1 }, { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000 } }),
        { "toc-missing||", "track-number|0160|[TRACK 160]" });
    row("index positions going backwards",
        controlFile("[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 0=1000\nINDEX 1=900\n",
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 900 } }),
        { "index-order|02|INDEX 1=900" });
    row("index numbers going backwards",
        replaced(clean, "INDEX 1=1000", "INDEX 1=1000\nINDEX 0=1000"),
        { "index-order|02|INDEX 0=1000" });
    row("last track shorter than 4 seconds",
        controlFile(replaced(twoTracks, "1000", "1701"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1701 } }),
        { "short-track|02|[TRACK 2]" });
    row("last track of exactly 4 seconds",
        controlFile(replaced(twoTracks, "1000", "1700"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1700 } }),
        {});
    row("first track shorter than 4 seconds, up to the next one's INDEX 0",
        controlFile("[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 0=299\nINDEX 1=1000\n"),
        { "short-track|01|[TRACK 1]" });
    row("data mode on an audio entry",
        replaced(clean, "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nMODE=1"),
        { "mode-mismatch|02|[TRACK 2]" });
    row("audio mode on a data entry",
        controlFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0x04, 0 }, { 2, 0, 1000 } }),
        { "mode-mismatch|01|[TRACK 1]" });
    row("DCP in the TOC, no FLAGS",
        controlFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-mismatch|02|[TRACK 2]" });
    row("FLAGS without a TOC bit", replaced(clean, "INDEX 1=1000", "FLAGS= DCP\nINDEX 1=1000"),
        { "flags-mismatch|02|[TRACK 2]" });
    row("FLAGS after INDEX",
        controlFile(replaced(twoTracks, "INDEX 1=1000", "INDEX 1=1000\nFLAGS= DCP"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-order|02|FLAGS= DCP" });
    row("FLAGS between two INDEX lines",
        controlFile(replaced(twoTracks, "INDEX 1=1000", "INDEX 0=850\nFLAGS= DCP\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-order|02|FLAGS= DCP" });
    row("empty FLAGS", replaced(clean, "INDEX 1=1000", "FLAGS=\nINDEX 1=1000"),
        { "flags-empty|02|FLAGS=" });
    row("FLAGS of blanks only, after INDEX",
        replaced(clean, "INDEX 1=1000", "INDEX 1=1000\nFLAGS=  "), { "flags-empty|02|FLAGS=" });
    row("escape sequences in the flags",
        controlFile(replaced(twoTracks, "INDEX 1=1000",
                        "FLAGS= DCP\x1b[8m\xc2\x9b"
                        "2J\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x02, 1000 } }),
        { "flags-mismatch|02|[TRACK 2]" });
    row("all three audio flags agree",
        controlFile(replaced(twoTracks, "INDEX 1=1000", "FLAGS= DCP 4CH PRE\nINDEX 1=1000"),
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x0b, 1000 } }),
        {});
    row("4CH missing",
        controlFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0x08, 1000 } }),
        { "flags-mismatch|02|[TRACK 2]" });
    row("incremental data track needs no PRE",
        controlFile("[TRACK 1]\nMODE=1\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 1=1000\n",
            { { 0xa2, 0, 2000 }, { 1, 0x05, 0 }, { 2, 0, 1000 } }),
        {});
    row("start differs from the TOC",
        controlFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1001 } }),
        { "start-mismatch|02|[TRACK 2]" });
    row("no table of contents", controlFile(twoTracks, {}), { "no-toc||" });
    row("TOC lacks a track", controlFile(twoTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 } }),
        { "toc-missing||" });
    row("scrambled data tracks", controlFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"),
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
        controlFile(replaced(twoTracks, "INDEX 1=1000", "FLAGS=DCP\nINDEX 1=1000"),
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

    // The Enhanced CD as dumps hold it: session 1, then session 2 from its
    // first track's INDEX 1 on; with that track's pregap as well; with every sector.
    const qint64 disc = 3600 * imageSectorSize;
    const qint64 withPregap = 3750 * imageSectorSize;
    const qint64 withSpace = 15000 * imageSectorSize;
    const QStringList sessions{ "sessions" };
    const QStringList codes{ "codes" };
    const QByteArray pregapTracks =
        replaced(enhancedTracks, "INDEX 1=13400", "INDEX 0=13250\nINDEX 1=13400");
    row("two sessions, an image without the space between them", sessionsFile(), {}, disc, false,
        false, sessions);
    row("two sessions, an image with the later session's first pregap", sessionsFile(pregapTracks),
        {}, withPregap, false, false, sessions);
    row("two sessions, an image with the space between them", sessionsFile(pregapTracks),
        { "session-space||" }, withSpace, false, false, sessions);
    row("two sessions, an image of none of those sizes", sessionsFile(), { "image-length||" },
        3700 * imageSectorSize, false, false, sessions);
    row("two sessions, an image too short for the last track", sessionsFile(),
        { "session-layout|03|[TRACK 3]" }, 2000 * imageSectorSize, false, false, sessions);
    row("two sessions, counted from the session's start",
        sessionsFile(replaced(enhancedTracks, "INDEX 1=13400", "INDEX 1=0")), {}, disc, false,
        false, sessions);
    row("two sessions written Sessions=02", sessionsFile(enhancedTracks, enhancedToc, "02"), {},
        disc, false, false, sessions);
    row("two sessions written with a blank after", sessionsFile(enhancedTracks, enhancedToc, "2 "),
        {}, disc, false, false, sessions);
    row("two sessions, with --codes alone", sessionsFile(), { "refused||Sessions=2" }, disc, false,
        false, codes);
    row("Sessions=1 with a track in session 2, checked with sessions",
        sessionsFile(enhancedTracks, enhancedToc, "1"),
        { "toc-missing||", "image-length||", "sessions||Session=2",
            "index-beyond-end|03|INDEX 1=13400" },
        disc, false, false, sessions);
    row("a track that no entry places in a session",
        sessionsFile(enhancedTracks, { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000 } }),
        { "session-layout|03|[TRACK 3]" }, disc, false, false, sessions);
    row("sessions out of order",
        sessionsFile(enhancedTracks,
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000, 2 }, { 0xa2, 4, 15000, 2 },
                { 3, 4, 13400, 1 } }),
        { "session-layout|03|[Entry 4]" }, disc, false, false, sessions);
    row("offsets that disagree within a session",
        sessionsFile(enhancedTracks + "[TRACK 4]\nMODE=1\nINDEX 1=1000\n",
            enhancedToc + QList<Toc>{ { 4, 4, 14000, 2 } }),
        { "session-layout|04|INDEX 1=1000" }, disc, false, false, sessions);
    row("session 1 counted from elsewhere",
        sessionsFile(replaced(enhancedTracks, "INDEX 1=1000", "INDEX 1=900")),
        { "session-layout|02|INDEX 1=900" }, disc, false, false, sessions);
    row("a lead-out past the next session's first track",
        sessionsFile(enhancedTracks, enhancedTocWith(0, 13400)), { "session-layout|03|[TRACK 3]" },
        disc, false, false, sessions);
    row("a lead-out before a track of its session",
        sessionsFile(enhancedTracks, enhancedTocWith(0, 500)), { "session-layout|02|[Entry 0]" },
        disc, false, false, sessions);
    row("the last lead-out before the last track",
        sessionsFile(enhancedTracks, enhancedTocWith(3, 13000)), { "session-layout|03|[Entry 3]" },
        disc, false, false, sessions);
    row("a pregap that starts before the previous lead-out",
        sessionsFile(replaced(enhancedTracks, "INDEX 1=13400", "INDEX 0=1900\nINDEX 1=13400")),
        { "session-layout|03|INDEX 0=1900" }, disc, false, false, sessions);
    row("a PLBA at the 64-bit limit",
        sessionsFile(enhancedTracks, enhancedTocWith(4, std::numeric_limits<qint64>::max())),
        { "session-layout|03|[Entry 4]" }, disc, false, false, sessions);
    row("a PLBA at the negative 64-bit limit",
        sessionsFile(enhancedTracks, enhancedTocWith(4, std::numeric_limits<qint64>::min())),
        { "session-layout|03|[Entry 4]" }, disc, false, false, sessions);
    row("a lead-out PLBA at the 64-bit limit",
        sessionsFile(enhancedTracks, enhancedTocWith(3, std::numeric_limits<qint64>::max())),
        { "session-layout||[Entry 3]" }, disc, false, false, sessions);
    row("an INDEX past the last sector a disc may have, once its session's offset is added",
        sessionsFile(
            replaced(enhancedTracks, "INDEX 1=13400", "INDEX 1=0") + "INDEX 2=2147483000\n"),
        { "session-layout|03|INDEX 2=2147483000" }, disc, false, false, sessions);
    row("no image to check the sessions against", sessionsFile(),
        { "image-missing||", "session-unchecked||" }, -1, false, false, sessions);
    row("a session without its lead-out",
        sessionsFile(enhancedTracks,
            { { 1, 0, 0 }, { 2, 0, 1000 }, { 0xa2, 4, 15000, 2 }, { 3, 4, 13400, 2 } }),
        { "session-unchecked||", "session-unchecked||" }, disc, false, false, sessions);
    row("fewer sessions than the file says", sessionsFile(enhancedTracks, enhancedToc, "3"),
        { "session-layout||Sessions=3" }, disc, false, false, sessions);

    const QByteArray withCodes =
        replaced(replaced(clean, "Sessions=1", "Sessions=1\nCATALOG=0123456789012"),
            "[TRACK 2]\r\nMODE=0", "[TRACK 2]\r\nMODE=0\nISRC=GBAYE6700012");
    row("catalogue number and ISRC", withCodes, {}, whole, false, false, codes);
    row("catalogue number of 12 digits", replaced(withCodes, "0123456789012", "012345678901"),
        { "catalog||CATALOG=012345678901" }, whole, false, false, codes);
    row("ISRC in lower case", replaced(withCodes, "GBAYE", "gbaye"),
        { "isrc|02|ISRC=gbaye6700012" }, whole, false, false, codes);
    row("ISRC with hyphens", replaced(withCodes, "GBAYE6700012", "GB-AYE-67-00012"),
        { "isrc|02|ISRC=GB-AYE-67-00012" }, whole, false, false, codes);
    row("two catalogue numbers",
        replaced(withCodes, "CATALOG=0123456789012", "CATALOG=0123456789012\nCATALOG=1\n"),
        { "catalog||CATALOG=1" }, whole, false, false, codes);
    row("bad codes not asked for", replaced(withCodes, "0123456789012", "x"), {}, whole, false,
        false, {});
}

void TestCheck::findings()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, imageBytes);
    QFETCH(bool, hasSubchannel);
    QFETCH(bool, cdText);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, options);

    QVERIFY(writeFile("Disc.ccd", content));
    if (imageBytes >= 0)
        QVERIFY(makeImage("Disc.img", imageBytes));
    else if (imageBytes == -2)
        QVERIFY(QDir().mkdir("Disc.img"));
#ifdef Q_OS_UNIX
    else if (imageBytes == -3)
        QVERIFY(::mkfifo("Disc.img", 0644) == 0);
#else
    else if (imageBytes == -3)
        QSKIP("Windows has no FIFOs");
#endif
    if (hasSubchannel)
        QVERIFY(writeFile("Disc.sub", QByteArray(96, '\0')));
    const QStringList before = QDir().entryList(QDir::Files);

    ConversionOptions checkOptions = slashed();
    checkOptions.cdText = cdText;
    checkOptions.sessions = options.contains("sessions");
    checkOptions.codes = options.contains("codes");
    const CheckReport report = checkControlFile("Disc.ccd", checkOptions);
    QCOMPARE(described(report, content), expected);
    QCOMPARE(QDir().entryList(QDir::Files), before); // writes nothing
    QCOMPARE(report.isRefused,
        expected.value(0).startsWith("refused|")
            || expected.value(0).startsWith("session-layout|"));
    for (const Finding &finding : report.findings) {
        QCOMPARE(finding.severity, report.isRefused ? Severity::Error : Severity::Warning);
        QVERIFY(!finding.message.isEmpty());
        QVERIFY(!finding.advice.isEmpty());
    }
    QCOMPARE(checkStatus(report),
        report.isRefused         ? checkRefused
            : expected.isEmpty() ? checkClean
                                 : checkWarnings);

    // Every line of the report fits 80 columns, apart from words longer than that,
    // and none holds a control character that a terminal would obey.
    const QString text = textReport(report, false);
    QCOMPARE(text.contains(QStringLiteral(".img, missing")), expected.contains("image-missing||"));
    const QStringList lines = text.split(u'\n');
    for (const QString &line : lines) {
        QVERIFY2(line.size() <= 80 || !line.trimmed().contains(u' '), qPrintable(line));
        QVERIFY2(std::none_of(line.begin(), line.end(),
                     [](QChar c) { return c.category() == QChar::Other_Control; }),
            qPrintable(line));
    }
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
    QCOMPARE(report.findings[0].code, code);
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
    QVERIFY(writeFile("Disc.ccd", controlFile()));
    QVERIFY(makeImage("Disc.IMG", 2000 * imageSectorSize));
    const CheckReport report = checkControlFile("Disc.ccd", slashed());
    QCOMPARE(report.findings.size(), 1);
    QCOMPARE(report.findings[0].code, "image-missing");
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
    QVERIFY(!report.isRefused);
    QCOMPARE(report.cueSheet,
        ccdToCue(
            "Disc.ccd", [](const QString &, const QString &) {}, u'/'));
    QCOMPARE(cueFromTracks(report), report.cueSheet);
}

void TestCheck::json()
{
    QVERIFY(writeFile("Disc.ccd", controlFile(replaced(twoTracks, "INDEX 1=1000", "INDEX 1=abc"))));
    QVERIFY(makeImage("Disc.img", 2000 * imageSectorSize));
    QVERIFY(writeFile("Clean.ccd", controlFile()));
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
    QVERIFY(writeFile("Disc.ccd", controlFile()));
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

    QTest::newRow("plain") << controlFile() << false << int(conversionDone) << false;
    QTest::newRow("CD-Text asked for, none there")
        << controlFile() << true << int(conversionDone) << false;
    QTest::newRow("undecodable CD-Text") << controlFile() + "[CDText]\r\nEntry 0=80\r\n"
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
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("sectors"); // of the image; -1 for none
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("expected"); // the cue sheet; "=" and options: what those give
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err"); // a part of standard error; empty: nothing at all

    const QStringList sessions{ "--sessions" };
    const QByteArray enhancedSheet = crlf("FILE \"Disc.img\" BINARY\n"
                                          "  REM SESSION 01\n"
                                          "  TRACK 01 AUDIO\n"
                                          "    INDEX 01 00:00:00\n"
                                          "  TRACK 02 AUDIO\n"
                                          "    INDEX 01 00:13:25\n"
                                          "  REM LEAD-OUT 00:26:50\n"
                                          "  REM SESSION 02\n"
                                          "  TRACK 03 MODE1/2352\n"
                                          "    INDEX 01 02:58:50\n");
    const auto row = [](const char *name, const QByteArray &content, qint64 sectors,
                         const QStringList &options, const QByteArray &expected, int status = 0,
                         const QString &err = {}) {
        QTest::newRow(name) << content << sectors << options << expected << status << err;
    };
    const QString refusal = "Disc Format Error: Disc.ccd: ";
    const QString singleSession = refusal + "Only single-session discs are supported.\n";

    // Sessions, in images as dumps hold them: without the space between
    // them (3,600 sectors), with the later session's first pregap (3,750),
    // or with every sector (15,000).
    const QByteArray pregapTracks =
        replaced(enhancedTracks, "INDEX 1=13400", "INDEX 0=13250\nINDEX 1=13400");
    const QByteArray pregapSheet = replaced(
        enhancedSheet, "    INDEX 01 02:58:50", "    INDEX 00 02:56:50\r\n    INDEX 01 02:58:50");
    row("audio then data, counted from the disc's start", sessionsFile(), 3600, sessions,
        enhancedSheet);
    row("audio then data, counted from the session's start",
        sessionsFile(replaced(enhancedTracks, "INDEX 1=13400", "INDEX 1=0")), 3600, sessions,
        enhancedSheet);
    row("a pregap that the image does not hold", sessionsFile(pregapTracks), 3600, sessions,
        enhancedSheet);
    row("a pregap that the image holds", sessionsFile(pregapTracks), 3750, sessions, pregapSheet);
    row("a pregap that the image holds, but no INDEX 0 for it", sessionsFile(), 3750, sessions,
        pregapSheet);
    row("an image with the space between the sessions", sessionsFile(pregapTracks), 15000, sessions,
        pregapSheet, 0,
        "morvant: warning: Disc.ccd: The image holds every sector up to the last lead-out");
    row("an image of none of those sizes", sessionsFile(pregapTracks), 3700, sessions, pregapSheet,
        0,
        "morvant: warning: Disc.ccd: The image holds 3700 sectors, which fits no way of holding "
        "these sessions: 3600 without the space between them, 3750 with each later session's "
        "first pregap as well, 15000 with the space. It is taken to be an image without the "
        "space between the sessions but with each later session's first pregap, the nearest");
    row("an image too short for the last track", sessionsFile(), 2000, sessions, {}, 1,
        refusal
            + "The image holds 2000 sectors, but track 03 starts at sector 2000 of an image "
              "even without the space between the sessions");
    const QByteArray threeSessions =
        sessionsFile("[TRACK 1]\nMODE=1\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 1=16400\n"
                     "[TRACK 3]\nMODE=2\nINDEX 0=0\nINDEX 1=150\n",
            { { 0xa2, 4, 5000 }, { 1, 4, 0 }, { 0xa2, 4, 20000, 2 }, { 2, 4, 16400, 2 },
                { 0xa2, 4, 40000, 3 }, { 3, 4, 31400, 3 } },
            "3");
    const QByteArray threeSheet = crlf("FILE \"Disc.img\" BINARY\n"
                                       "  REM SESSION 01\n"
                                       "  TRACK 01 MODE1/2352\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  REM LEAD-OUT 01:06:50\n"
                                       "  REM SESSION 02\n"
                                       "  TRACK 02 MODE1/2352\n"
                                       "    INDEX 01 03:38:50\n"
                                       "  REM LEAD-OUT 04:26:50\n"
                                       "  REM SESSION 03\n"
                                       "  TRACK 03 MODE2/2352\n"
                                       "    INDEX 01 06:58:50\n");
    row("three sessions, each counted its own way", threeSessions, 17200, sessions, threeSheet);
    row("three sessions, each later one with its first pregap", threeSessions, 17500, sessions,
        replaced(replaced(threeSheet, "    INDEX 01 03:38:50",
                     "    INDEX 00 03:36:50\r\n    INDEX 01 03:38:50"),
            "    INDEX 01 06:58:50", "    INDEX 00 06:56:50\r\n    INDEX 01 06:58:50"));
    row("Sessions=02 with --sessions", sessionsFile(enhancedTracks, enhancedToc, "02"), 3600,
        sessions, enhancedSheet);
    row("Sessions=1 describing session 2, with --sessions",
        sessionsFile(enhancedTracks, enhancedToc, "1"), 3600, sessions,
        crlf("FILE \"Disc.img\" BINARY\n"
             "  TRACK 01 AUDIO\n"
             "    INDEX 01 00:00:00\n"
             "  TRACK 02 AUDIO\n"
             "    INDEX 01 00:13:25\n"
             "  TRACK 03 MODE1/2352\n"
             "    INDEX 01 02:58:50\n"),
        0,
        "morvant: warning: Disc.ccd: line 33: The file says Sessions=1, but it describes a "
        "second session.");
    row("two sessions without --sessions", sessionsFile(), 3600, {}, {}, 1, singleSession);
    row("two sessions with --codes alone", sessionsFile(), 3600, { "--codes" }, {}, 1,
        singleSession);
    row("Sessions=2x with --sessions", sessionsFile(enhancedTracks, enhancedToc, "2x"), 3600,
        sessions, {}, 1, singleSession);
    row("a track in no session", sessionsFile(enhancedTracks, twoAudioTracks), 3600, sessions, {},
        1, refusal + "No [Entry] row of the table of contents places track 03 in a session");
    row("sessions out of order",
        sessionsFile(enhancedTracks,
            { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000, 2 }, { 0xa2, 4, 15000, 2 },
                { 3, 4, 13400, 1 } }),
        3600, sessions, {}, 1, refusal + "Track 03 lies in session 1 by the table of contents");
    row("a first track in session 0",
        sessionsFile(enhancedTracks,
            { { 0xa2, 0, 2000 }, { 1, 0, 0, 0 }, { 2, 0, 1000 }, { 0xa2, 4, 15000, 2 },
                { 3, 4, 13400, 2 } }),
        3600, sessions, {}, 1, refusal + "The first track, 01, lies in session 0");
    row("offsets that disagree",
        sessionsFile(enhancedTracks + "[TRACK 4]\nMODE=1\nINDEX 1=1000\n",
            enhancedToc + QList<Toc>{ { 4, 4, 14000, 2 } }),
        3600, sessions, {}, 1, refusal + "Track 04 lies 13000 sectors after its INDEX 1");
    row("a lead-out past the next session", sessionsFile(enhancedTracks, enhancedTocWith(0, 14000)),
        3600, sessions, {}, 1,
        refusal
            + "Track 03, the first of session 2, starts at sector 13400, before the lead-out "
              "of session 1 at sector 14000 ends.");
    row("a lead-out before its session's first track",
        sessionsFile(enhancedTracks, enhancedTocWith(0, 0)), 3600, sessions, {}, 1,
        refusal + "The lead-out of session 1 (line 11) lies at sector 0, not after track 01");
    row("a PLBA at the 64-bit limit",
        sessionsFile(enhancedTracks, enhancedTocWith(4, std::numeric_limits<qint64>::min())), 3600,
        sessions, {}, 1,
        refusal
            + "The [Entry] row of track 03 (line 39) gives PLBA=-9223372036854775808, which "
              "is no position on a disc.");
    row("no image to check against", sessionsFile(), -1, sessions, enhancedSheet, 0,
        "morvant: warning: Disc.ccd: There is no image beside the control file");
    row("no lead-out for session 1",
        sessionsFile(enhancedTracks,
            { { 1, 0, 0 }, { 2, 0, 1000 }, { 0xa2, 4, 15000, 2 }, { 3, 4, 13400, 2 } }),
        3600, sessions, replaced(enhancedSheet, "  REM LEAD-OUT 00:26:50\r\n", ""), 0,
        "morvant: warning: Disc.ccd: The table of contents gives session 1 no lead-out");

    // What the control file says of the whole image, told of in every conversion.
    const QByteArray plainSheet = crlf("FILE \"Disc.img\" BINARY\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    INDEX 01 00:13:25\n");
    row("scrambled data tracks", controlFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"),
        2000, {}, plainSheet, 0,
        "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=1: the image holds its data "
        "tracks scrambled. Programs that load a cue sheet expect plain sectors");
    row("scrambled data tracks, the section in lower case",
        replaced(
            controlFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"), "[Disc]", "[disc]"),
        2000, {}, plainSheet, 0, "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=1");
    row("scrambled data tracks, the section's name between blanks",
        replaced(controlFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n"), "[Disc]",
            "[ DISC ]"),
        2000, {}, plainSheet, 0, "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=1");
    row("DataTracksScrambled=1 outside the [Disc] section",
        replaced(controlFile(twoTracks, twoAudioTracks, "DataTracksScrambled=0\n"),
            "[Session 1]\r\n", "[Session 1]\r\nDataTracksScrambled=1\r\n"),
        2000, {}, plainSheet);
    row("scrambled data tracks, with --rebuild",
        controlFile("", twoAudioTracks, "DataTracksScrambled=1\n"), 2000, { "--rebuild" },
        plainSheet, 0,
        "morvant: warning: Disc.ccd: There is no subchannel file Disc.sub, so the cue sheet has "
        "no INDEX 00 lines: pregaps are read from it.\nmorvant: warning: Disc.ccd: line 6: "
        "DataTracksScrambled=1");
    row("no [TRACK] sections", controlFile("", twoAudioTracks), 2000, {},
        crlf("FILE \"Disc.img\" BINARY\n"), 0,
        "morvant: warning: Disc.ccd: The control file has no [TRACK] sections: the cue sheet "
        "names no track, and some programs hang on such a sheet. Convert it with --rebuild");
    row("no [TRACK] sections, with --codes", controlFile("", twoAudioTracks), 2000, { "--codes" },
        crlf("FILE \"Disc.img\" BINARY\n"), 0,
        "morvant: warning: Disc.ccd: The control file has no [TRACK] sections: the cue sheet "
        "names no track, and some programs hang on such a sheet. The table of contents lists "
        "tracks 1, 2: convert with --rebuild");

    // Escapes in every field that reaches a message: ESC, CSI, OSC, DEL and C1.
    const QByteArray osc = "\x1b]0;PWNED\x07";
    row("an escape in a track's section name, refused with --sessions",
        sessionsFile(replaced(enhancedTracks, "[TRACK 3]", "[TRACK " + osc + "]")), 3600, sessions,
        {}, 1, refusal + "No [Entry] row of the table of contents places track ");
    row("a CSI in a catalogue number",
        replaced(controlFile(), "Sessions=1", "Sessions=1\nCATALOG=\x1b[2J"), 2000, { "--codes" },
        plainSheet, 0, "morvant: warning: Disc.ccd: line 6: `CATALOG=\\u001b[2J`");
    row("DEL and C1 in an ISRC",
        replaced(controlFile(), "[TRACK 2]\r\nMODE=0",
            "[TRACK 2]\r\nMODE=0\nISRC=\x7f\xc2\x9b"
            "2J"),
        2000, { "--codes" }, plainSheet, 0, "morvant: warning: Disc.ccd: line 37: `ISRC=\\u007f");
    row("an OSC in the scrambled value",
        controlFile(twoTracks, twoAudioTracks, "DataTracksScrambled=" + osc + "\n"), 2000, {},
        plainSheet, 0,
        "morvant: warning: Disc.ccd: line 6: DataTracksScrambled=\\u001b]0;PWNED\\u0007");

    // The disc's codes.
    const QByteArray coded =
        replaced(replaced(controlFile(), "Sessions=1", "Sessions=1\nCATALOG=0123456789012"),
            "[TRACK 2]\r\nMODE=0\r\nINDEX 1=1000",
            "[TRACK 2]\nMODE=0\nISRC=GBAYE6700012\nFLAGS= DCP\nINDEX 0=900\nINDEX 1=1000");
    const QByteArray codedSheet = crlf("CATALOG 0123456789012\n"
                                       "FILE \"Disc.img\" BINARY\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    FLAGS DCP\n"
                                       "    ISRC GBAYE6700012\n"
                                       "    INDEX 00 00:12:00\n"
                                       "    INDEX 01 00:13:25\n");
    row("catalogue number and ISRC", coded, 2000, { "--codes" }, codedSheet);
    row("codes not asked for", coded, 2000, {},
        replaced(replaced(codedSheet, "    ISRC GBAYE6700012\r\n", ""), "CATALOG 0123456789012\r\n",
            ""));
    row("catalogue number with a letter", replaced(coded, "0123456789012", "012345678901X"), 2000,
        { "--codes" }, replaced(codedSheet, "CATALOG 0123456789012\r\n", ""), 0,
        "morvant: warning: Disc.ccd: line 6: `CATALOG=012345678901X` is left out");
    row("two catalogue numbers",
        replaced(coded, "CATALOG=0123456789012",
            "CATALOG=0123456789012\nCATALOG=9999999999999\nCATALOG=0123456789012"),
        2000, { "--codes" }, codedSheet, 0,
        "morvant: warning: Disc.ccd: line 7: `CATALOG=9999999999999` is left out of the cue "
        "sheet: line 6 gives another catalogue number, `CATALOG=0123456789012`, which is the one "
        "taken.");
    row("the same catalogue number twice",
        replaced(coded, "CATALOG=0123456789012", "CATALOG=0123456789012\nCATALOG=0123456789012"),
        2000, { "--codes" }, codedSheet);
    row("ISRC of 11 characters", replaced(coded, "GBAYE6700012", "GBAYE670001"), 2000,
        { "--codes" }, replaced(codedSheet, "    ISRC GBAYE6700012\r\n", ""), 0,
        "morvant: warning: Disc.ccd: line 38: `ISRC=GBAYE670001` is left out");

    // Together.
    row("sessions and codes together",
        replaced(replaced(sessionsFile(), "Sessions=2", "Sessions=2\nCATALOG=0123456789012"),
            "MODE=1\r\nINDEX 1=13400", "MODE=1\nISRC=USABC9912345\nINDEX 1=13400"),
        3600, { "--all" },
        "CATALOG 0123456789012\r\n"
            + replaced(enhancedSheet, "MODE1/2352\r\n", "MODE1/2352\r\n    ISRC USABC9912345\r\n"));
    row("sessions and codes together, the ISRC before the pregap that the image holds",
        replaced(
            sessionsFile(), "MODE=1\r\nINDEX 1=13400", "MODE=1\nISRC=USABC9912345\nINDEX 1=13400"),
        3750, { "--sessions", "--codes" },
        replaced(pregapSheet, "MODE1/2352\r\n", "MODE1/2352\r\n    ISRC USABC9912345\r\n"));
    for (const char *name : { "data", "audio", "mixed", "tocOnly" }) {
        const QByteArray content = readFile(QFINDTESTDATA(QString("data/%1.ccd").arg(name)));
        // A sheet without tracks is told of however the file is converted.
        const QString err = QString(name) == "tocOnly"
            ? "morvant: warning: Disc.ccd: The control file has no [TRACK] sections"
            : QString();
        for (const char *option : { "--sessions", "--codes" })
            row(qPrintable(QString("%1 disc, the same with %2").arg(name, option)), content, 50000,
                { option }, "=", 0, err);
        row(qPrintable(QString("%1 disc, --all as --cdtext").arg(name)), content, 50000,
            { "--all" }, "=--cdtext", 0, err);
    }
    row("table of contents only, --sessions with --rebuild",
        readFile(QFINDTESTDATA("data/tocOnly.ccd")), 50000, { "--rebuild", "--sessions" },
        "=--rebuild", 0, "morvant: warning:");
}

// Through the program, as a user adds to the cue sheet.
void TestCheck::convertWithWhatToAdd()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, sectors);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, expected);
    QFETCH(int, status);
    QFETCH(QString, err);

    QVERIFY(writeFile("Disc.ccd", content));
    if (sectors >= 0)
        QVERIFY(makeImage("Disc.img", sectors * imageSectorSize));
    const auto converted = [&](const QStringList &arguments) {
        return run(MORVANT_PATH, QStringList{ "--stdout" } + arguments + QStringList{ "Disc.ccd" },
            folder->path(), withoutDisplay());
    };
    const Run result = converted(options);
    QCOMPARE(result.status, status);
    if (expected.startsWith('=')) {
        const Run plain =
            converted(QString::fromLatin1(expected.mid(1)).split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(plain.status, 0);
        QVERIFY(!plain.out.isEmpty());
        QCOMPARE(result.out, plain.out);
    } else {
        QCOMPARE(result.out, expected.isEmpty() ? expected : expected + "\r\n");
    }
    if (err.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith(err.toUtf8()), result.err.constData());
    // What the control file holds never acts on the terminal.
    QStringDecoder system(QStringDecoder::System); // the code page on Windows
    const QString errText = system.decode(result.err);
    QVERIFY2(std::none_of(errText.begin(), errText.end(),
                 [](QChar c) { return c.category() == QChar::Other_Control && c != u'\n'; }),
        result.err.constData());
    QVERIFY(!QFile::exists("Disc.cue"));
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
    QTest::newRow("--json alone")       << QStringList {"--json", "Clean.ccd"} << 2 << "" << "--json goes with --check only" << false;
    QTest::newRow("--check without a file") << QStringList {"--check"} << 2 << "" << "--check needs a control file" << false;
    QTest::newRow("--stdout with two files") << QStringList {"--stdout", "Clean.ccd", "NoImage.ccd"} << 2 << "" << "--stdout takes exactly one" << false;
    QTest::newRow("--check with --stdout") << QStringList {"--check", "--stdout", "Clean.ccd"} << 2 << "" << "cannot be used together" << false;
    QTest::newRow("help names the options") << QStringList {"--help"} << 0 << "--cdtext" << "" << false;
    QTest::newRow("help groups what to add") << QStringList {"--help"} << 0 << "What to add to the cue sheet (a file that has nothing of the kind gives" << "" << false;
    QTest::newRow("check on two sessions names --sessions") << QStringList {"--check", "Sessions.ccd"} << 2 << "Convert it with\n           --sessions, which" << "" << false;
    QTest::newRow("check with --sessions shows the sessions") << QStringList {"--check", "--sessions", "Sessions.ccd"} << 0 << "  03     2        MODE1/2352         01 02:58:50\n" << "" << false;
    QTest::newRow("check with --all as JSON") << QStringList {"--check", "--json", "--all", "Sessions.ccd"} << 0 << "\"session\": 2" << "" << false;
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

    QVERIFY(writeFile("Clean.ccd", controlFile()));
    QVERIFY(makeImage("Clean.img", 2000 * imageSectorSize));
    QVERIFY(writeFile("NoImage.ccd", controlFile()));
    QVERIFY(writeFile("BadText.ccd", controlFile() + "[CDText]\r\nEntry 0=zz\r\n"));
    QVERIFY(writeFile("Ελληνικά.ccd", controlFile()));
    QVERIFY(makeImage("Ελληνικά.img", 2000 * imageSectorSize));
    QVERIFY(writeFile("Sessions.ccd", sessionsFile()));
    QVERIFY(makeImage("Sessions.img", 3600 * imageSectorSize));
    QVERIFY(writeFile("TocTwice.ccd",
        controlFile("", { { 0xa2, 0, 2000 }, { 1, 0, 0 }, { 2, 0, 1000 }, { 2, 0, 1000 } })));

    const Run result = run(MORVANT_PATH, arguments, folder->path(), withoutDisplay());
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
    process.setWorkingDirectory(folder->path());
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
