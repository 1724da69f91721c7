#include "commandLine.h"
#include "controlFiles.h"
#include "conversion.h"
#include "cueFile.h"
#include "discFiles.h"
#include "lineReader.h"
#include "numbers.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace morvant;

namespace {

struct Message
{
    QString text;
    QString title;
};

struct Conversion
{
    QString result;
    QList<Message> messages;
};

// The lines above the tracks, which every dumping program writes.
const QByteArray header = controlFile({});

// Endless zeros: a disc image chosen by mistake, as large as anyone likes.
class Zeros : public QIODevice
{
public:
    qint64 delivered = 0;

protected:
    qint64 readData(char *data, qint64 size) override
    {
        std::fill(data, data + size, '\0');
        delivered += size;
        return size;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ccdToCue_data();
    void ccdToCue();
    void imageName_data();
    void imageName();
    void unreadable_data();
    void unreadable();
    void endlessLineIsRefusedEarly();
    void sectorsToMsf_data();
    void sectorsToMsf();
    void cuePathForFile_data();
    void cuePathForFile();
    void commandLinePaths_data();
    void commandLinePaths();
    void writeCueFile();
    void writeCueFileKeepsEarlierFileOnFailure();
    void saveCueSheetRefusesToOverwriteInput_data();
    void saveCueSheetRefusesToOverwriteInput();

private:
    Conversion convert(const QString &path, QChar separator = u'/');

    std::optional<CurrentFolder> folder;
};

void TestEngine::init()
{
    folder.emplace();
    QVERIFY(folder->isValid());
    // The naming cases use Windows paths, which are plain file names here.
    QVERIFY(folder->isCurrent());
}

void TestEngine::cleanup()
{
    folder.reset();
}

Conversion TestEngine::convert(const QString &path, QChar separator)
{
    Conversion conversion;
    conversion.result = ::ccdToCue(
        path,
        [&](const QString &text, const QString &title) {
            conversion.messages.append({ text, title });
        },
        separator);
    return conversion;
}

void TestEngine::ccdToCue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected"); // after the FILE line; empty when refused
    QTest::addColumn<QString>("title"); // of the one message; empty when none

    const QString fileError = "File Error";
    const QString discError = "Disc Format Error";
    const QByteArray none;

    QTest::newRow("worked example")
        << header
            + crlf("PreGapMode=2\n[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\n"
                   "FLAGS= DCP\nINDEX 0=16807\nINDEX 1=16957\n")
        << crlf("  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 MODE1/2352\n"
                "    FLAGS DCP\n    INDEX 00 03:44:07\n    INDEX 01 03:46:07\n")
        << QString();

    QTest::newRow("first line in lower case")
        << crlf("[clonecd]\nSessions=1\n") << none << fileError;
    QTest::newRow("first line with more") << crlf("[CloneCD]x\nSessions=1\n") << none << fileError;
    QTest::newRow("first line indented") << crlf(" [CloneCD]\nSessions=1\n") << none << fileError;
    QTest::newRow("empty file") << QByteArray() << none << fileError;
    QTest::newRow("no sessions line")
        << crlf("[CloneCD]\n[TRACK 1]\nMODE=0\n") << none << fileError;
    QTest::newRow("sessions in the first line only")
        << crlf("[CloneCD]Sessions=1\n") << none << fileError;
    QTest::newRow("two sessions") << crlf("[CloneCD]\nSessions=2\n") << none << discError;
    QTest::newRow("ten sessions") << crlf("[CloneCD]\nSessions=10\n") << none << discError;
    QTest::newRow("one and more") << crlf("[CloneCD]\nSessions=1x\n") << none << discError;
    QTest::newRow("no sessions value") << crlf("[CloneCD]\nSessions=\n") << none << discError;
    QTest::newRow("sessions value with a blank")
        << crlf("[CloneCD]\nSessions=1 \n") << none << discError;
    QTest::newRow("sessions case differs") << crlf("[CloneCD]\nsessions=1\n") << none << fileError;
    QTest::newRow("only the first sessions line counts")
        << crlf("[CloneCD]\nSessions=2\nSessions=1\n") << none << discError;
    QTest::newRow("sessions inside a line")
        << crlf("[CloneCD]\nXSessions=1\n") << QByteArray("") << QString();
    QTest::newRow("ends with the sessions line") << header << QByteArray("") << QString();
    QTest::newRow("keywords before the sessions line are passed over")
        << crlf("[CloneCD]\n[TRACK 1]\nMODE=0\nINDEX 1=0\nFLAGS= DCP\nSessions=1\n")
        << QByteArray("") << QString();
    QTest::newRow("pregap lines fit no rule")
        << header + crlf("PreGapMode=2\nPreGapSubC=0\n\n") << QByteArray("") << QString();

    QTest::newRow("one-digit track")
        << header + crlf("[TRACK 9]\nMODE=0\n") << crlf("  TRACK 09 AUDIO\n") << QString();
    QTest::newRow("two-digit track")
        << header + crlf("[TRACK 10]\n") << QByteArray("  TRACK 10") << QString();
    QTest::newRow("three-digit track")
        << header + crlf("[TRACK 100]\n") << QByteArray("  TRACK 0100") << QString();
    QTest::newRow("track without number")
        << header + crlf("[TRACK \n") << QByteArray("  TRACK 0") << QString();
    QTest::newRow("track without blank")
        << header + crlf("[TRACK1]\n") << QByteArray("  TRACK 0]") << QString();
    QTest::newRow("mode 2") << header + crlf("MODE=2\n") << crlf(" MODE2/2352\n") << QString();
    QTest::newRow("mode ending in 0")
        << header + crlf("MODE=10\n") << crlf(" AUDIO\n") << QString();
    QTest::newRow("unknown mode adds nothing")
        << header + crlf("[TRACK 3]\nMODE=3\nINDEX 1=0\n")
        << crlf("  TRACK 03    INDEX 01 00:00:00\n") << QString();
    QTest::newRow("mode case differs")
        << header + crlf("mode=1\nPreGapMode=2\n") << QByteArray("") << QString();
    QTest::newRow("index of a second")
        << header + crlf("INDEX 1=75\n") << crlf("    INDEX 01 00:01:00\n") << QString();
    QTest::newRow("two-digit index")
        << header + crlf("INDEX 12=0\n") << crlf("    INDEX 12 00:00:00\n") << QString();
    QTest::newRow("index not a number")
        << header + crlf("INDEX 1=abc\n") << crlf("    INDEX 01 \n") << QString();
    QTest::newRow("index without =")
        << header + crlf("INDEX 1\n") << crlf("    INDEX 0 \n") << QString();
    QTest::newRow("index = before the blank")
        << header + crlf("A=1 INDEX 5\n") << crlf("    INDEX 0 \n") << QString();
    QTest::newRow("flags with blank")
        << header + crlf("FLAGS= DCP\n") << crlf("    FLAGS DCP\n") << QString();
    QTest::newRow("flags without blank")
        << header + crlf("FLAGS=DCP\n") << crlf("    FLAGSDCP\n") << QString();
    QTest::newRow("flags empty") << header + crlf("FLAGS=\n") << crlf("    FLAGS\n") << QString();
    QTest::newRow("mode wins over index")
        << header + crlf("INDEX 1=MODE=1\n") << crlf(" MODE1/2352\n") << QString();
    QTest::newRow("track wins over mode")
        << header + crlf("[TRACK 4]MODE=1\n") << QByteArray("  TRACK 04]MODE=") << QString();
    QTest::newRow("keyword further into the line")
        << header + crlf("xxINDEX 1=150\n") << crlf("    INDEX 0X 00:02:00\n") << QString();

    QTest::newRow("LF line ends") << QByteArray(
        "[CloneCD]\nSessions=1\n[TRACK 1]\nMODE=1\nINDEX 1=0\n")
                                  << crlf("  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n")
                                  << QString();
    QTest::newRow("lone CR line ends")
        << QByteArray("[CloneCD]\rSessions=1\r[TRACK 1]\rMODE=1\rINDEX 1=0\r")
        << crlf("  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n") << QString();
    QTest::newRow("byte-order mark")
        << "\xEF\xBB\xBF" + header + crlf("MODE=0\n") << crlf(" AUDIO\n") << QString();
    QTest::newRow("byte-order mark only at the start")
        << QByteArray("[CloneCD]\r\n\xEF\xBB\xBFSessions=1\r\nMODE=0") << crlf(" AUDIO\n")
        << QString();
    // Only the file's very first bytes can be a byte-order mark; at the start
    // of a later line U+FEFF is a character, which shifts the fixed positions.
    QTest::newRow("U+FEFF starting later lines")
        << header
            + crlf("\xEF\xBB\xBF[TRACK 1]\nMODE=0\n\xEF\xBB\xBFINDEX 1=150\n\xEF\xBB\xBF"
                   "FLAGS= DCP\n")
        << crlf("  TRACK 0  AUDIO\n    INDEX 0  00:02:00\n    FLAGS= DCP\n") << QString();
    QTest::newRow("last line without line end")
        << header + "INDEX 1=4500" << crlf("    INDEX 01 01:00:00\n") << QString();
    QTest::newRow("commas and quotes kept") << header + crlf("FLAGS= DCP, 4CH \"x\"\n")
                                            << crlf("    FLAGS DCP, 4CH \"x\"\n") << QString();
    // Fixed positions stay fixed: the keyword is found, the text taken from position 7.
    QTest::newRow("blanks before the keyword kept")
        << header + crlf("  FLAGS= DCP\n") << crlf("    FLAGSS= DCP\n") << QString();
    // Positions count UTF-16 code units: U+1F600 takes two, so it is a two-character number.
    QTest::newRow("track number outside the BMP")
        << header + crlf("[TRACK \xF0\x9F\x98\x80]\n") << QByteArray("  TRACK \xF0\x9F\x98\x80")
        << QString();
    QTest::newRow("line over 1 MiB") << header + QByteArray(LineReader::maxLineLength + 1, 'x')
            + "\r\n" << none << fileError;
    QTest::newRow("line of exactly 1 MiB")
        << header + QByteArray(LineReader::maxLineLength - 6, 'x') + "MODE=0\r\n"
        << crlf(" AUDIO\n") << QString();
}

void TestEngine::ccdToCue()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    QFETCH(QString, title);

#ifdef Q_OS_WIN
    // Rows about characters that only UTF-8 gives from these bytes.
    const QByteArrayView tag(QTest::currentDataTag());
    if (tag == "track number outside the BMP")
        QSKIP("Windows' ANSI code page has no character outside the BMP");
    if (tag == "U+FEFF starting later lines")
        QSKIP("in Windows' ANSI code page the bytes EF BB BF are three letters, not U+FEFF");
#endif
    QVERIFY(writeFile("Demo Disc.ccd", content));
    const Conversion conversion = convert("Demo Disc.ccd");
    const QByteArray fileLine = "FILE \"Demo Disc.img\" BINARY\r\n";
    QCOMPARE(conversion.result.toUtf8(), title.isEmpty() ? fileLine + expected : QByteArray());
    QCOMPARE(conversion.messages.size(), title.isEmpty() ? 0 : 1);
    if (!title.isEmpty()) {
        QCOMPARE(conversion.messages[0].title, title);
        // Past a first line "[CloneCD]", a line too long is named as such.
        if (QByteArrayView(QTest::currentDataTag()) == "line over 1 MiB")
            QCOMPARE(conversion.messages[0].text,
                "Line 5 is too long: it holds more than 1048576 bytes, which no line of a CCD "
                "file needs.");
        else if (title == "File Error")
            QCOMPARE(conversion.messages[0].text,
                "The input file doesn't seem to be a proper CCD file.");
        else
            QCOMPARE(conversion.messages[0].text, "Only single-session discs are supported.");
    }
}

void TestEngine::imageName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("imageName");

    QTest::newRow("no folder") << "Demo.ccd" << QChar(u'\\') << "Demo";
#ifdef Q_OS_WIN
    // There need not be a drive D: here; a relative path is as much a Windows path.
    QTest::newRow("Windows path") << "Images\\Demo Disc.ccd" << QChar(u'\\') << "Demo Disc";
#else
    QTest::newRow("Windows path") << "D:\\Images\\Demo Disc.ccd" << QChar(u'\\') << "Demo Disc";
#endif
    QTest::newRow("upper-case extension") << "C:\\x\\DEMO.CCD" << QChar(u'\\') << "DEMO";
    QTest::newRow("other extension") << "C:\\x\\disc.txt" << QChar(u'\\') << "disc";
    QTest::newRow("extension only") << "C:\\x\\.ccd" << QChar(u'\\') << "";
    QTest::newRow("forward slash separates on Windows too")
        << "C:/x/Demo.ccd" << QChar(u'\\') << "Demo";
    QTest::newRow("mixed separators") << "p3\\x/sub/Disc.ccd" << QChar(u'\\') << "Disc";
    QTest::newRow("backslash is no separator here") << "sub/a\\b.ccd" << QChar(u'/') << "a\\b";
    QTest::newRow("name shorter than four") << "sub/ab" << QChar(u'/') << "";
#ifdef Q_OS_WIN
    // Beyond the ANSI code page a name takes its image's short name, or none.
    QTest::newRow("non-ASCII name") << "Dïsc Café.ccd" << QChar(u'/') << "Dïsc Café";
#else
    QTest::newRow("non-ASCII name")
        << "Dïsc \xF0\x9F\x92\xBF.ccd" << QChar(u'/') << "Dïsc \xF0\x9F\x92\xBF";
#endif
}

void TestEngine::imageName()
{
    QFETCH(QString, path);
    QFETCH(QChar, separator);
    QFETCH(QString, imageName);

    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(writeFile(path, header));
    QCOMPARE(convert(path, separator).result, "FILE \"" + imageName + ".img\" BINARY\r\n");
}

void TestEngine::unreadable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<QString>("reason"); // empty: the system's, whatever it says

    QTest::newRow("missing file") << "missing.ccd" << false << QString();
    QTest::newRow("folder") << "folder.ccd" << true << QString();
#ifdef Q_OS_UNIX
    // Latin-1 "Caf\xE9.ccd" as the window's file dialog or a drop hands it
    // over, with U+FFFD for the byte: the file is there, so "No such file"
    // would be false.
    QTest::newRow("name not UTF-8, from the window")
        << "Caf\uFFFD.ccd" << false
        << "Its name holds bytes that are not UTF-8, which the window cannot open; convert it "
           "from the command line, or rename the file.";
#endif
}

void TestEngine::unreadable()
{
    QFETCH(QString, path);
    QFETCH(bool, isFolder);
    QFETCH(QString, reason);

    if (isFolder)
        QVERIFY(QDir().mkdir(path));
#ifdef Q_OS_UNIX
    if (!reason.isEmpty()) {
        const QByteArray realName = QFile::encodeName(path).replace("\xEF\xBF\xBD", "\xE9");
        const int made = ::open(realName.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(made >= 0);
        ::close(made);
    }
    // QTemporaryDir cannot remove a name that Qt cannot encode.
    const auto removeRealName = qScopeGuard([&] {
        if (!reason.isEmpty())
            ::unlink(QFile::encodeName(path).replace("\xEF\xBF\xBD", "\xE9").constData());
    });
#endif
    const Conversion conversion = convert(path);
    QCOMPARE(conversion.result, QString());
    QCOMPARE(conversion.messages.size(), 1);
    QCOMPARE(conversion.messages[0].title, "File Error");
    QVERIFY2(conversion.messages[0].text.startsWith("Cannot read " + path + ":\n"),
        qPrintable(conversion.messages[0].text));
    QVERIFY(conversion.messages[0].text.size() > QString("Cannot read " + path + ":\n").size());
    if (!reason.isEmpty())
        QCOMPARE(conversion.messages[0].text, "Cannot read " + path + ":\n" + reason);
}

void TestEngine::endlessLineIsRefusedEarly()
{
    Zeros image;
    QVERIFY(image.open(QIODevice::ReadOnly));
    LineReader reader(image);
    QByteArrayView line;
    QCOMPARE(reader.next(&line), LineReader::Result::TooLong);
    QVERIFY(image.delivered <= LineReader::maxLineLength + 128 * 1024);
}

void TestEngine::sectorsToMsf_data()
{
    QTest::addColumn<QString>("sectors");
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("zero")                << "0"          << "00:00:00";
    QTest::newRow("last frame")          << "74"         << "00:00:74";
    QTest::newRow("one second")          << "75"         << "00:01:00";
    QTest::newRow("last of a minute")    << "4499"       << "00:59:74";
    QTest::newRow("one minute")          << "4500"       << "01:00:00";
    QTest::newRow("mixed")               << "12345"      << "02:44:45";
    QTest::newRow("99 minutes")          << "449999"     << "99:59:74";
    QTest::newRow("100 minutes")         << "450000"     << "100:00:00";
    QTest::newRow("before 16-bit seconds") << "2457599"  << "546:07:74";
    QTest::newRow("no 16-bit limit")     << "2457600"    << "546:08:00";
    QTest::newRow("largest")             << "2147483647" << "477218:35:22";
    QTest::newRow("beyond 32 bits")      << "2147483648" << "";
    QTest::newRow("far beyond")          << "99999999999999999999" << "";
    QTest::newRow("blanks around")       << " \t150 "    << "00:02:00";
    QTest::newRow("plus sign")           << "+75"        << "00:01:00";
    QTest::newRow("leading zeros")       << "0075"       << "00:01:00";
    QTest::newRow("minus zero")          << "-0"         << "00:00:00";
    QTest::newRow("negative")            << "-1"         << "";
    QTest::newRow("not a number")        << "abc"        << "";
    QTest::newRow("empty")               << ""           << "";
    QTest::newRow("blanks only")         << "  "         << "";
    QTest::newRow("sign only")           << "-"          << "";
    QTest::newRow("blank inside")        << "1 5"        << "";
    QTest::newRow("blank after sign")    << "- 5"        << "";
    QTest::newRow("fraction")            << "1.5"        << "";
    QTest::newRow("exponent")            << "1e3"        << "";
    QTest::newRow("hexadecimal")         << "0x10"       << "";
    QTest::newRow("non-ASCII digit")     << "\u0663"     << "";
    // clang-format on
}

void TestEngine::sectorsToMsf()
{
    QFETCH(QString, sectors);
    QFETCH(QString, expected);
    QCOMPARE(::sectorsToMsf(sectors), expected);
}

void TestEngine::cuePathForFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("lower-case extension") << "C:\\Discs\\Game.ccd"   << QChar(u'\\') << "C:\\Discs\\Game.cue";
    QTest::newRow("upper-case extension") << "C:\\Discs\\Game.CCD"   << QChar(u'\\') << "C:\\Discs\\Game.cue";
    QTest::newRow("dots elsewhere")       << "C:\\My.Discs\\a.b.ccd" << QChar(u'\\') << "C:\\My.Discs\\a.b.cue";
    QTest::newRow("other extension")      << "C:\\Discs\\Game.txt"   << QChar(u'\\') << "C:\\Discs\\Game.cue";
    QTest::newRow("no extension")         << "C:\\Discs\\Game"       << QChar(u'\\') << "C:\\Discs\\.cue";
    QTest::newRow("Unix path")            << "/d/discs/Game.ccd"     << QChar(u'/')  << "/d/discs/Game.cue";
    QTest::newRow("short name stays in its folder") << "/d/discs/ab" << QChar(u'/')  << "/d/discs/.cue";
    QTest::newRow("short name, mixed separators") << "C:\\T\\p3/ab" << QChar(u'\\') << "C:\\T\\p3/.cue";
    QTest::newRow("folder only")          << "/d/discs/"             << QChar(u'/')  << "/d/discs/.cue";
    QTest::newRow("short relative name")  << "ab"                    << QChar(u'/')  << ".cue";
    QTest::newRow("empty")                << ""                      << QChar(u'/')  << ".cue";
    QTest::newRow("backslash in a Unix name") << "/d/a\\bcd"         << QChar(u'/')  << "/d/a.cue";
    QTest::newRow("outside the BMP")      << "/d/\U0001F4BF.ccd"     << QChar(u'/')  << "/d/\U0001F4BF.cue";
    // clang-format on
}

void TestEngine::cuePathForFile()
{
    QFETCH(QString, path);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(::cuePathForFile(path, separator), expected);
}

void TestEngine::commandLinePaths_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("inputPath");
    QTest::addColumn<QString>("cuePath");

    // clang-format off
    QTest::newRow("quoted")        << "\"C:\\Discs\\Game.ccd\"" << "C:\\Discs\\Game.ccd" << "C:\\Discs\\Game.cue";
    QTest::newRow("unquoted")      << "C:\\Discs\\Game.ccd"     << "C:\\Discs\\Game.ccd" << "C:\\Discs\\Game.cue";
    QTest::newRow("opening quote only") << "\"C:\\Game.ccd"     << "\"C:\\Game.ccd"      << "\"C:\\Game.cue";
    QTest::newRow("quotes only")   << "\"\""                    << ""                    << ".cue";
    QTest::newRow("one quote")     << "\""                      << "\""                  << ".cue";
    // clang-format on
}

void TestEngine::commandLinePaths()
{
    QFETCH(QString, argument);
    QFETCH(QString, inputPath);
    QFETCH(QString, cuePath);

    const CommandLinePaths paths = ::commandLinePaths(argument, u'\\');
    QCOMPARE(paths.inputPath, inputPath);
    QCOMPARE(paths.cuePath, cuePath);
}

void TestEngine::writeCueFile()
{
    QString error;
    QVERIFY(writeFile("Demo.cue", QByteArray(1000, 'x')));
    QVERIFY(::writeCueFile("Demo.cue", "FILE \"a.img\" BINARY\r\n", &error));
    // The longer earlier file leaves nothing behind; CR LF is added whatever the text ends with.
    QCOMPARE(readFile("Demo.cue"), QByteArray("FILE \"a.img\" BINARY\r\n\r\n"));

    QVERIFY(::writeCueFile("Demo.cue", "ab", &error));
    QCOMPARE(readFile("Demo.cue"), QByteArray("ab\r\n"));

    // Text is written in the local 8-bit encoding, without a byte-order mark:
    // the ANSI code page on Windows (1252 here), UTF-8 here elsewhere.
    QVERIFY(::writeCueFile("Demo.cue", "FILE \"Dïsc\".img", &error));
#ifdef Q_OS_WIN
    QCOMPARE(readFile("Demo.cue"), QByteArray("FILE \"D\xEFsc\".img\r\n"));
#else
    QCOMPARE(readFile("Demo.cue"), QByteArray("FILE \"D\xC3\xAFsc\".img\r\n"));
#endif
    QCOMPARE(QDir().entryList(QDir::Files), QStringList{ "Demo.cue" });
}

void TestEngine::writeCueFileKeepsEarlierFileOnFailure()
{
    QString error;
    QVERIFY(!::writeCueFile("missing folder/Demo.cue", "x", &error));
    QVERIFY(!error.isEmpty());

#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        QSKIP(
            "root writes whatever the permissions say; the process tests cover this unprivileged");
    QVERIFY(QDir().mkdir("locked"));
    QVERIFY(writeFile("locked/Demo.cue", "earlier"));
    QFile::setPermissions("locked", QFile::ReadOwner | QFile::ExeOwner);
    error.clear();
    QVERIFY(!::writeCueFile("locked/Demo.cue", "new", &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile("locked/Demo.cue"), QByteArray("earlier"));
    QFile::setPermissions("locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
}

void TestEngine::saveCueSheetRefusesToOverwriteInput_data()
{
    QTest::addColumn<QString>("inputPath");
    QTest::addColumn<bool>("refused");

    QTest::newRow("input named .cue") << "Demo.cue" << true;
    QTest::newRow("same file by another spelling") << "./sub/../Demo.cue" << true;
#ifdef Q_OS_UNIX
    QTest::newRow("hard link to the .cue") << "link.ccd" << true;
#endif
    QTest::newRow("different file") << "Demo.ccd" << false;
}

void TestEngine::saveCueSheetRefusesToOverwriteInput()
{
    QFETCH(QString, inputPath);
    QFETCH(bool, refused);

    QVERIFY(QDir().mkdir("sub"));
    QVERIFY(writeFile("Demo.cue", header));
    QVERIFY(writeFile("Demo.ccd", header));
#ifdef Q_OS_UNIX
    QCOMPARE(::link("Demo.cue", "link.ccd"), 0);
#endif
    QList<Message> messages;
    const bool saved =
        saveCueSheet(inputPath, "Demo.cue", "text", [&](const QString &text, const QString &title) {
            messages.append({ text, title });
        });
    QCOMPARE(saved, !refused);
    QCOMPARE(readFile("Demo.cue"), refused ? header : QByteArray("text\r\n"));
    QCOMPARE(messages.size(), refused ? 1 : 0);
    if (refused) {
        QCOMPARE(messages[0].title, "File Error");
        QVERIFY(messages[0].text.startsWith("Cannot write Demo.cue:\n"));
    }
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
