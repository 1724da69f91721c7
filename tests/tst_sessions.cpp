#include "checkRows.h"
#include "discImage.h"

#include <QTest>

#include <limits>

using namespace morvant;

// --sessions: a disc of several sessions, such as an Enhanced CD, in one
// cue sheet with REM SESSION and REM LEAD-OUT; and what --check says of its
// layout in the image.

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void findings_data();
    void findings();
    void convertWithWhatToAdd_data();
    void convertWithWhatToAdd();

private:
    TestFolder folder{ TestFolder::Current };
};

void TestSessions::init()
{
    folder.init();
}

void TestSessions::cleanup()
{
    folder.cleanup();
}

void TestSessions::findings_data()
{
    addFindingsColumns();

    const auto row = [&](const char *name, const QByteArray &content, const QStringList &expected,
                         qint64 image = 2000 * imageSectorSize, bool sub = false,
                         bool cdText = false, const QStringList &options = {}) {
        QTest::newRow(name) << content << image << sub << cdText << expected << options;
    };

    // The Enhanced CD as dumps hold it: session 1, then session 2 from its
    // first track's INDEX 1 on; with that track's pregap as well; with every sector.
    const qint64 disc = 3600 * imageSectorSize;
    const qint64 withPregap = 3750 * imageSectorSize;
    const qint64 withSpace = 15000 * imageSectorSize;
    const QStringList sessions{ "sessions" };
    const QStringList codes{ "codes" }; // without "sessions"
    const QByteArray pregapTracks =
        replaced(enhancedTracks, "INDEX 1=13400", "INDEX 0=13250\nINDEX 1=13400");
    row("two sessions, an image without the space between them", sessionsFile(), {}, disc, false,
        false, sessions);
    row("two sessions, an image with the later session's first pregap", sessionsFile(pregapTracks),
        {}, withPregap, false, false, sessions);
    row("two sessions, an image with the space between them", sessionsFile(pregapTracks),
        { "session-space||" }, withSpace, false, false, sessions);
    // The tracks are listed as the sheet has them: an INDEX line without a
    // number is no INDEX 0, and stays.
    row("a numberless INDEX in the later session's first track",
        sessionsFile(replaced(enhancedTracks, "INDEX 1=13400", "INDEX 0\"0\nINDEX 1=13400")),
        { "index-value|03|INDEX 0\"0" }, disc, false, false, sessions);
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
}

void TestSessions::findings()
{
    checkFindingsRow();
}

void TestSessions::convertWithWhatToAdd_data()
{
    addConversionColumns();

    const auto row = [](const char *name, const QByteArray &content, qint64 sectors,
                         const QStringList &options, const QByteArray &expected, int status = 0,
                         const QString &err = {}) {
        QTest::newRow(name) << content << sectors << options << expected << status << err;
    };

    const QStringList sessions{ "--sessions" };
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
    // An INDEX line without a number is no INDEX 0: it stays as it stands.
    row("a numberless INDEX where a pregap the image lacks would be",
        sessionsFile(replaced(enhancedTracks, "INDEX 1=13400", "INDEX 0\"0\nINDEX 1=13400")), 3600,
        sessions,
        replaced(enhancedSheet, "    INDEX 01 02:58:50", "    INDEX 0 \r\n    INDEX 01 02:58:50"));
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

    // A slip of hand-editing: a [TRACK n] header written twice, the first
    // copy an empty section, which has no INDEX 1 to place its session by.
    // The conversion says what went wrong.
    row("a [TRACK n] header written twice",
        sessionsFile(replaced(enhancedTracks, "[TRACK 2]", "[TRACK 2]\n[TRACK 2]")), 3600, sessions,
        {}, 1,
        refusal
            + "Track 02 has no INDEX 1 with a sector count, so the offset of its session cannot "
              "be told.\nmorvant: warning: Disc.ccd: line 49: The header [TRACK 2] stands here "
              "and again on line 50, with no MODE=, INDEX or FLAGS= line between them, so the "
              "cue sheet's TRACK 02 line has no mode and runs into the one after it. Remove one "
              "of the two [TRACK 2] lines.\n");

    // Escapes in a field that reaches a message.
    const QByteArray osc = "\x1b]0;PWNED\x07";
    row("an escape in a track's section name, refused with --sessions",
        sessionsFile(replaced(enhancedTracks, "[TRACK 3]", "[TRACK " + osc + "]")), 3600, sessions,
        {}, 1, refusal + "No [Entry] row of the table of contents places track ");

    for (const char *name : { "data", "audio", "mixed", "tocOnly" }) {
        const QByteArray content = readFile(QFINDTESTDATA(QString("data/%1.ccd").arg(name)));
        // A sheet without tracks is told of however the file is converted.
        const QString err = QString(name) == "tocOnly"
            ? "morvant: warning: Disc.ccd: The control file has no [TRACK] sections"
            : QString();
        row(qPrintable(QString("%1 disc, the same with --sessions").arg(name)), content, 50000,
            { "--sessions" }, "=", 0, err);
    }
    // Told once, by the rebuild: the note that --rebuild would help does not follow.
    row("no tracks anywhere, --sessions with --rebuild",
        crlf("[CloneCD]\nVersion=3\n[Disc]\nSessions=1\n"), 50000,
        { "--sessions", "--rebuild", "--sbi" }, crlf("FILE \"Disc.img\" BINARY\n"), 0,
        "morvant: warning: Disc.ccd: The control file has neither [TRACK] sections nor tracks in "
        "its table of contents, so the cue sheet has no tracks.\nmorvant: Disc.ccd: no .sbi "
        "written: there is no subchannel file Disc.sub.\n");
    row("table of contents only, --sessions with --rebuild",
        readFile(QFINDTESTDATA("data/tocOnly.ccd")), 50000, { "--rebuild", "--sessions" },
        "=--rebuild", 0, "morvant: warning:");
}

// Through the program, as a user adds to the cue sheet.
void TestSessions::convertWithWhatToAdd()
{
    checkConversionRow(MORVANT_PATH, folder.path());
}

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_sessions.moc"
