#include "checkRows.h"
#include "discImage.h"

#include <QTest>

using namespace morvant;

// --codes: the disc's catalogue number and the tracks' ISRCs in the cue
// sheet, as CATALOG and ISRC; and what --check says of codes a sheet cannot take.

class TestCodes : public QObject
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

void TestCodes::init()
{
    folder.init();
}

void TestCodes::cleanup()
{
    folder.cleanup();
}

void TestCodes::findings_data()
{
    addFindingsColumns();

    const auto row = [&](const char *name, const QByteArray &content, const QStringList &expected,
                         qint64 image = 2000 * imageSectorSize, bool sub = false,
                         bool cdText = false, const QStringList &options = {}) {
        QTest::newRow(name) << content << image << sub << cdText << expected << options;
    };

    const qint64 whole = 2000 * imageSectorSize;
    const QByteArray clean = dumpFile();
    const QStringList codes{ "codes" };
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

void TestCodes::findings()
{
    checkFindingsRow();
}

void TestCodes::convertWithWhatToAdd_data()
{
    addConversionColumns();

    const auto row = [](const char *name, const QByteArray &content, qint64 sectors,
                         const QStringList &options, const QByteArray &expected, int status = 0,
                         const QString &err = {}) {
        QTest::newRow(name) << content << sectors << options << expected << status << err;
    };

    const QByteArray plainSheet = crlf("FILE \"Disc.img\" BINARY\n"
                                       "  TRACK 01 AUDIO\n"
                                       "    INDEX 01 00:00:00\n"
                                       "  TRACK 02 AUDIO\n"
                                       "    INDEX 01 00:13:25\n");
    const QByteArray pregapSheet = replaced(
        enhancedSheet, "    INDEX 01 02:58:50", "    INDEX 00 02:56:50\r\n    INDEX 01 02:58:50");
    row("no [TRACK] sections, with --codes", dumpFile("", twoAudioTracks), 2000, { "--codes" },
        crlf("FILE \"Disc.img\" BINARY\n"), 0,
        "morvant: warning: Disc.ccd: The control file has no [TRACK] sections: the cue sheet "
        "names no track, and some programs hang on such a sheet. The table of contents lists "
        "tracks 1, 2: convert with --rebuild");

    // Keys in any letter case, and points however a hand writes them: each
    // still read where the sections are read for --codes.
    row("no [TRACK] sections, the points written otherwise",
        replaced(replaced(dumpFile("", twoAudioTracks), "Point=0x01", "point = +1"), "Point=0x02",
            "POINT=0X0000000000000002"),
        2000, { "--codes" }, crlf("FILE \"Disc.img\" BINARY\n"), 0,
        "morvant: warning: Disc.ccd: The control file has no [TRACK] sections: the cue sheet "
        "names no track, and some programs hang on such a sheet. The table of contents lists "
        "tracks 1, 2: convert with --rebuild");

    // Escapes in every field that reaches a message: CSI, DEL and C1.
    row("a CSI in a catalogue number",
        replaced(dumpFile(), "Sessions=1", "Sessions=1\nCATALOG=\x1b[2J"), 2000, { "--codes" },
        plainSheet, 0, "morvant: warning: Disc.ccd: line 6: `CATALOG=\\u001b[2J`");
    row("DEL and C1 in an ISRC",
        replaced(dumpFile(), "[TRACK 2]\r\nMODE=0",
            "[TRACK 2]\r\nMODE=0\nISRC=\x7f\xc2\x9b"
            "2J"),
        2000, { "--codes" }, plainSheet, 0, "morvant: warning: Disc.ccd: line 37: `ISRC=\\u007f");

    // The disc's codes.
    const QByteArray coded =
        replaced(replaced(dumpFile(), "Sessions=1", "Sessions=1\nCATALOG=0123456789012"),
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
    row("codes in other letter cases",
        replaced(replaced(coded, "CATALOG=", "catalog = "), "ISRC=", "Isrc= "), 2000, { "--codes" },
        codedSheet);
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
        row(qPrintable(QString("%1 disc, the same with --codes").arg(name)), content, 50000,
            { "--codes" }, "=", 0, err);
    }
}

// Through the program, as a user adds to the cue sheet.
void TestCodes::convertWithWhatToAdd()
{
    checkConversionRow(MORVANT_PATH, folder.path());
}

QTEST_GUILESS_MAIN(TestCodes)
#include "tst_codes.moc"
