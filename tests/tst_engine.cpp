#include "commandLine.h"
#include "controlFiles.h"
#include "conversion.h"
#include "conversionJob.h"
#include "cueFile.h"
#include "discFiles.h"
#include "lineReader.h"
#include "numbers.h"
#include "playlist.h"
#include "verifyJob.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
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

// What stands beside the control file before a set of files is written: the
// disc's own files, earlier files of the set, another file and a folder.
const QMap<QString, QByteArray> discFolder{
    { "Disc.ccd", "the control file" },
    { "Disc.img", "the disc image" },
    { "Disc.sub", "the subchannel" },
    { "Disc (Track 1).bin", "the earlier track 1" },
    { "Disc.cue", "the earlier sheet" },
    { "other.bin", "another file" },
};
const QStringList discKept{ "Disc.img", "Disc.sub" };

/// Every file in the current folder, hidden ones and links included, with
/// what it holds or where it leads.
QMap<QString, QByteArray> folderFiles()
{
    QMap<QString, QByteArray> files;
    QDirIterator it(".", QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(it.fileName(),
            it.fileInfo().isSymLink() ? "link to " + it.fileInfo().symLinkTarget().toUtf8()
                                      : readFile(path));
    }
    return files;
}

/// What the \a index th file of a set holds: of its own length and letter,
/// more than one write's worth.
QByteArray setContent(qsizetype index)
{
    return QByteArray(10000 + 1000 * int(index), char('a' + index % 26));
}

/// Contents that write setContent() 4 KiB at a time and count their calls
/// in \a called; the content of \a failing writes half, then fails.
QList<FileToWrite> setFiles(
    const QStringList &paths, qsizetype failing, QList<qsizetype> *called, qint64 claimed = 0)
{
    QList<FileToWrite> files;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        files.append({ paths[i], claimed, [i, failing, called](QFileDevice &file, QString *error) {
                          called->append(i);
                          const QByteArray bytes = setContent(i);
                          const qsizetype end = i == failing ? bytes.size() / 2 : bytes.size();
                          for (qsizetype at = 0; at < end; at += 4096) {
                              const QByteArray chunk =
                                  bytes.mid(at, qMin<qsizetype>(4096, end - at));
                              if (file.write(chunk) != chunk.size()) {
                                  *error = file.errorString();
                                  return false;
                              }
                          }
                          if (i != failing)
                              return true;
                          *error = "the content's own reason";
                          return false;
                      } });
    }
    return files;
}

/// Puts discFolder in the current folder, and the folder "sub" for paths
/// that go through it.
bool makeDiscFolder()
{
    bool made = QDir().mkdir("sub");
    for (auto file = discFolder.cbegin(); file != discFolder.cend(); ++file)
        made = made && writeFile(file.key(), file.value());
    return made;
}

/// What a set of files may find in its way; see writeFilesBeside_data().
enum class InTheWay {
    Nothing,
    LinkToOtherFile,
    DanglingLink,
    HardLinkToControlFile,
    HardLinkToSub,
    HardLinkToTrack1,
    Folder,
    ShortNameOfOtherFile,
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
    void playlists_data();
    void playlists();
    void jobsShowProgressAndStop_data();
    void jobsShowProgressAndStop();
    void commandLinePaths_data();
    void commandLinePaths();
    void writeCueFile();
    void writeCueFileKeepsEarlierFileOnFailure();
    void saveCueSheetRefusesToOverwriteInput_data();
    void saveCueSheetRefusesToOverwriteInput();
    void writeFilesBeside_data();
    void writeFilesBeside();
    void writeFilesBesideNeedsRoom_data();
    void writeFilesBesideNeedsRoom();
    void saveFilesBeside_data();
    void saveFilesBeside();
    void setEndedWhileWritten();

private:
    Conversion convert(const QString &path, QChar separator = u'/');

    // The current one: the naming cases use Windows paths, which are plain file names here.
    TestFolder folder{ TestFolder::Current };
};

void TestEngine::init()
{
    folder.init();
}

void TestEngine::cleanup()
{
    folder.cleanup();
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

void TestEngine::playlists_data()
{
    QTest::addColumn<QStringList>("sheets"); // each disc's
    // Each playlist: its path, then the indices of its discs in its order,
    // and what keeps it from being written.
    QTest::addColumn<QStringList>("expected");

    // clang-format off
    QTest::newRow("two discs")
        << QStringList{ "/g/Game (Europe) (Disc 1).cue", "/g/Game (Europe) (Disc 2).cue" }
        << QStringList{ "/g/Game (Europe).m3u: 0 1" };
    QTest::newRow("three discs named out of order")
        << QStringList{ "/g/Game (Disc 3).cue", "/g/Game (Disc 1).cue", "/g/Game (Disc 2).cue" }
        << QStringList{ "/g/Game.m3u: 1 2 0" };
    QTest::newRow("a revision is a game of its own")
        << QStringList{ "/g/MGS (USA) (Disc 1) (Rev 1).cue", "/g/MGS (USA) (Disc 1).cue", "/g/MGS (USA) (Disc 2) (Rev 1).cue", "/g/MGS (USA) (Disc 2).cue" }
        << QStringList{ "/g/MGS (USA) (Rev 1).m3u: 0 2", "/g/MGS (USA).m3u: 1 3" };
    QTest::newRow("regions apart, a lone disc each")
        << QStringList{ "/g/Game (Europe) (Disc 1).cue", "/g/Game (USA) (Disc 2).cue", "/g/Other.cue" }
        << QStringList{};
    QTest::newRow("folders apart")
        << QStringList{ "/a/Game (Disc 1).cue", "/b/Game (Disc 2).cue" } << QStringList{};
    QTest::newRow("a disc missing in between")
        << QStringList{ "/g/Game (Disc 1).cue", "/g/Game (Disc 3).cue", "/g/Game (Disc 4).cue" }
        << QStringList{ "/g/Game.m3u: 0 1 2 missing 2" };
    QTest::newRow("TOSEC's count: the last disc missing, another count apart")
        << QStringList{ "/g/FF7 (1999)(Square)(US)(Disc 1 of 3).cue", "/g/FF7 (1999)(Square)(US)(Disc 2 of 3).cue", "/g/FF7 (1999)(Square)(US)(Disc 1 of 2).cue" }
        << QStringList{ "/g/FF7 (1999)(Square)(US).m3u: 0 1 missing 3" };
    QTest::newRow("a disc twice, in another case")
        << QStringList{ "/g/Game (Disc 1).cue", "/g/Game (DISC 2).cue", "/g/Game (disc 1).cue" }
        << QStringList{ "/g/Game.m3u: 0 2 1 repeated 1" };
    QTest::newRow("numbers, not text, in order")
        << QStringList{ "/g/Game (Disc 10).cue", "/g/Game (Disc 2).cue" }
        << QStringList{ "/g/Game.m3u: 1 0 missing 1,3,4,5,6,7,8,9" };
    QTest::newRow("no disc 0, no name that is a disc alone")
        << QStringList{ "/g/Game (Disc 0).cue", "/g/Game (Disc 0).cue", "/g/(Disc 1).cue", "/g/(Disc 2).cue" }
        << QStringList{};
    QTest::newRow("a name that a line would read as a comment")
        << QStringList{ "/g/#Game (Disc 1).cue", "/g/#Game (Disc 2).cue" }
        << QStringList{ "/g/#Game.m3u: 0 1 unlistable 0,1" };
    // clang-format on
}

void TestEngine::playlists()
{
    QFETCH(QStringList, sheets);
    QFETCH(QStringList, expected);

    QList<PlaylistDisc> discs;
    for (const QString &sheet : sheets)
        discs.append({ sheet, ::imageName(sheet, u'/') });
    const auto numbers = [](const auto &list) {
        QStringList shown;
        for (const auto number : list)
            shown.append(QString::number(number));
        return shown;
    };
    QStringList found;
    for (const Playlist &playlist : ::playlists(discs, u'/')) {
        QString shown = playlist.path + u':';
        for (const qsizetype at : playlist.discs)
            shown += u' ' + QString::number(at);
        if (!playlist.missing.isEmpty())
            shown += " missing " + numbers(playlist.missing).join(u',');
        if (!playlist.repeated.isEmpty())
            shown += " repeated " + numbers(playlist.repeated).join(u',');
        if (!playlist.unlistable.isEmpty())
            shown += " unlistable " + numbers(playlist.unlistable).join(u',');
        found.append(shown);
    }
    QCOMPARE(found, expected);
}

void TestEngine::jobsShowProgressAndStop_data()
{
    QTest::addColumn<bool>("isSplit"); // else verified
    QTest::addColumn<double>("stopAt"); // the share done at which it is cancelled; 2 for never

    QTest::newRow("verified") << false << 2.0;
    QTest::newRow("verified, cancelled halfway") << false << 0.5;
    QTest::newRow("split") << true << 2.0;
    QTest::newRow("split, cancelled halfway") << true << 0.5;
}

// The jobs that read a whole image, as a window runs them: each reports its
// progress in one phase, from nothing to all of it, and a job cancelled on
// the way stops at its next read, with nothing of its files written.
void TestEngine::jobsShowProgressAndStop()
{
    QFETCH(bool, isSplit);
    QFETCH(double, stopAt);

    // Two data tracks of 2,000 sectors: some 9 MB, read a chunk at a time.
    const ::Disc disc{ { { 1, 0x04, 1, {}, {}, 0 }, { 2, 0x04, 1, {}, {}, 2000 } }, { 4000 } };
    QVERIFY(writeFile("Disc.ccd", controlFile(dumpOf(disc, true))));
    QVERIFY(makeImage("Disc.img", disc, Header::Real));
    const QStringList before = QDir().entryList(QDir::Files);

    JobControl control;
    QList<JobProgress> seen;
    control.onProgress = [&](const JobProgress &progress) {
        seen << progress;
        if (progress.fraction() >= stopAt)
            control.cancel();
    };
    const morvant::Disc named = discSet({ QStringLiteral("Disc.ccd") }).discs.first();
    ConversionOptions options;
    options.split = isSplit;
    QString message;
    if (isSplit) {
        const ConversionResult result = conversionJob(named, options, control);
        QCOMPARE(result.status, conversionDone);
        const bool isWritten = writeSteps(
            named.path, result.steps, [&](const QString &text, const QString &) { message = text; },
            [](const QString &) {}, {});
        QCOMPARE(isWritten, stopAt > 1);
    } else {
        // A DAT of another disc: the tracks are hashed all the same.
        QByteArray xml = "<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"Other\">\n"
                         "<rom name=\"Other.bin\" size=\"2352\" crc=\"00000000\"/>\n"
                         "</game>\n</datafile>\n";
        QBuffer buffer(&xml);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const DatFile dat = readDat(buffer);
        QVERIFY2(dat.isRead(), qPrintable(dat.error));
        const VerifiedDisc verified = verifyJob(named, dat, options, control);
        message = verified.error;
    }

    QVERIFY(seen.size() > 2);
    const QString phase = isSplit ? QStringLiteral("Writing") : QStringLiteral("Hashing");
    for (qsizetype i = 0; i < seen.size(); ++i) {
        QCOMPARE(seen[i].phase, phase);
        QCOMPARE(seen[i].total, qint64(4000) * 2352);
        QVERIFY(i == 0 || seen[i].done >= seen[i - 1].done);
    }
    QStringList after = QDir().entryList(QDir::Files);
    if (stopAt > 1) {
        QCOMPARE(seen.last().fraction(), 1.0);
        if (isSplit)
            QCOMPARE(after,
                QStringList({ "Disc (Track 1).bin", "Disc (Track 2).bin", "Disc.ccd", "Disc.cue",
                    "Disc.img" }));
        return;
    }
    // Stopped at the first read past half, not read to the end.
    QVERIFY(seen.last().fraction() >= 0.5);
    QVERIFY(seen.last().fraction() < 1.0);
    QVERIFY2(message.endsWith(QStringLiteral("Stopped")), qPrintable(message));
    QCOMPARE(after, before);
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

void TestEngine::writeFilesBeside_data()
{
    QTest::addColumn<QStringList>("paths"); // of the set, in order; %short% for the short name
    QTest::addColumn<int>("inTheWay"); // InTheWay, at the set's second file unless said
    QTest::addColumn<int>("failing"); // the content that fails halfway, or -1
    QTest::addColumn<int>("concerned"); // the file that the error names, or -1 when all are written
    QTest::addColumn<QString>("reason"); // after "Cannot write PATH:\n"; %folder% for the folder

    const QString track1 = "Disc (Track 1).bin";
    const QString track2 = "Disc (Track 2).bin";
    const QString track3 = "Disc (Track 3).bin";
    const QStringList four{ track1, track2, track3, "Disc.cue" };
    const int none = int(InTheWay::Nothing);
    const QString content = "the content's own reason";
    const QString controlFile = "It is the control file itself, which is never overwritten.";
    const QString sameAsTrack1 = "It is the same file as " + track1
        + ", which is written too; each file needs a name of its own.";
    const auto kept = [](const QString &name) {
        return "It is " + name + ", one of the disc's own files, which is never overwritten.";
    };

    // clang-format off
    QTest::newRow("four files, two of them there before") << four << none << -1 << -1 << "";
    QTest::newRow("one file") << QStringList{ track2 } << none << -1 << -1 << "";
    QTest::newRow("the first content fails") << four << none << 0 << 0 << content;
    QTest::newRow("the third of four fails") << four << none << 2 << 2 << content;
    QTest::newRow("the last, the .cue, fails") << four << none << 3 << 3 << content;
    QTest::newRow("the control file") << QStringList{ track1, "Disc.ccd", track3 } << none << -1 << 1 << controlFile;
    QTest::newRow("the control file by another spelling") << QStringList{ track1, "sub/../Disc.ccd" } << none << -1 << 1 << controlFile;
    QTest::newRow("the disc image") << QStringList{ track1, track2, "Disc.img" } << none << -1 << 2 << kept("Disc.img");
    QTest::newRow("the .sub by another spelling") << QStringList{ track1, "./Disc.sub" } << none << -1 << 1 << kept("Disc.sub");
    QTest::newRow("the same file twice") << QStringList{ track1, track2, "./" + track1 } << none << -1 << 2 << sameAsTrack1;
    QTest::newRow("a new file twice") << QStringList{ track2, "sub/../" + track2 } << none << -1 << 1
                                      << "It is the same file as " + track2 + ", which is written too; each file needs a name of its own.";
    QTest::newRow("a folder in the way of the last")
        << QStringList{ track1, track2, track3 } << int(InTheWay::Folder) << -1 << 2 << "Filename refers to a directory";
    QStringList hundredAndOne;
    for (int i = 1; i <= 101; ++i)
        hundredAndOne << QString("f%1.bin").arg(i);
    QTest::newRow("more than 100 files") << hundredAndOne << none << -1 << 100 << "More than 100 files are never written at once.";
#ifdef Q_OS_WIN
    QTest::newRow("the same file in another letter case")
        << QStringList{ track1, "disc (track 1).BIN" } << none << -1 << 1 << sameAsTrack1;
    QTest::newRow("the short name of another file")
        << QStringList{ track1, "%short%" } << int(InTheWay::ShortNameOfOtherFile) << -1 << 1
        << "It is the short name of Final Fantasy VII (Track 2).bin, another file, which is left alone. "
           "Rename the control file so that its cue sheet gets a name of its own.";
#else
    QTest::newRow("a hard link to the control file")
        << four << int(InTheWay::HardLinkToControlFile) << -1 << 1 << controlFile;
    QTest::newRow("a hard link to the .sub") << four << int(InTheWay::HardLinkToSub) << -1 << 1 << kept("Disc.sub");
    QTest::newRow("one file under two names")
        << QStringList{ track1, track2 } << int(InTheWay::HardLinkToTrack1) << -1 << 1 << sameAsTrack1;
    QTest::newRow("a link to another file")
        << four << int(InTheWay::LinkToOtherFile) << -1 << 1
        << "It is a link to %folder%/other.bin; a link is left alone, and so is the file it leads to. "
           "Remove the link to write the file here.";
    QTest::newRow("a dangling link")
        << four << int(InTheWay::DanglingLink) << -1 << 1
        << "It is a link to %folder%/gone.bin, which does not exist; no file is created through a "
           "dangling link.";
#endif
    // clang-format on
}

// All or nothing: every file written, or the folder exactly as it was, with
// no temporary file left and no content called after the first refusal.
void TestEngine::writeFilesBeside()
{
    QFETCH(QStringList, paths);
    QFETCH(int, inTheWay);
    QFETCH(int, failing);
    QFETCH(int, concerned);
    QFETCH(QString, reason);

    QVERIFY(makeDiscFolder());
    const QString second = paths.value(1, paths.value(0));
    switch (InTheWay(inTheWay)) {
    case InTheWay::Nothing:
        break;
    case InTheWay::LinkToOtherFile:
        QVERIFY(QFile::link("other.bin", second));
        break;
    case InTheWay::DanglingLink:
        QVERIFY(QFile::link("gone.bin", second));
        break;
    case InTheWay::Folder:
        QVERIFY(QDir().mkdir(paths.last()));
        break;
    case InTheWay::HardLinkToControlFile:
    case InTheWay::HardLinkToSub:
    case InTheWay::HardLinkToTrack1:
#ifdef Q_OS_UNIX
    {
        const char *target = InTheWay(inTheWay) == InTheWay::HardLinkToControlFile ? "Disc.ccd"
            : InTheWay(inTheWay) == InTheWay::HardLinkToSub                        ? "Disc.sub"
                                                            : "Disc (Track 1).bin";
        QCOMPARE(::link(target, QFile::encodeName(second).constData()), 0);
        break;
    }
#else
        QFAIL("hard links are made on Unix");
#endif
    case InTheWay::ShortNameOfOtherFile:
#ifdef Q_OS_WIN
    {
        const QString other = "Final Fantasy VII (Track 2).bin";
        QVERIFY(writeFile(other, "another disc's track"));
        std::wstring shortPath(MAX_PATH, L'\0');
        const DWORD length = GetShortPathNameW(
            reinterpret_cast<const wchar_t *>(other.utf16()), shortPath.data(), MAX_PATH);
        QVERIFY(length > 0 && length < MAX_PATH);
        shortPath.resize(length);
        const QString shortName = QString::fromStdWString(shortPath);
        if (shortName == other)
            QSKIP("this volume keeps no short names");
        paths.replaceInStrings("%short%", shortName);
        break;
    }
#else
        QFAIL("short names are Windows'");
#endif
    }
    const QMap<QString, QByteArray> before = folderFiles();

    QList<qsizetype> called;
    QString error;
    const bool written =
        ::writeFilesBeside("Disc.ccd", discKept, setFiles(paths, failing, &called), &error);

    QCOMPARE(written, concerned < 0);
    if (written) {
        QMap<QString, QByteArray> expected = before;
        for (qsizetype i = 0; i < paths.size(); ++i)
            expected.insert(paths[i], setContent(i));
        QCOMPARE(folderFiles(), expected);
        QCOMPARE(called.size(), paths.size());
        QCOMPARE(error, QString());
        return;
    }
    reason.replace("%folder%", QDir::currentPath());
    QCOMPARE(error, "Cannot write " + QDir::toNativeSeparators(paths[concerned]) + ":\n" + reason);
    QCOMPARE(folderFiles(), before);
    // The contents up to the failing one, in order; none when refused.
    QList<qsizetype> expectedCalls;
    for (qsizetype i = 0; i <= failing; ++i)
        expectedCalls.append(i);
    QCOMPARE(called, expectedCalls);
}

void TestEngine::writeFilesBesideNeedsRoom_data()
{
    QTest::addColumn<QList<qint64>>("sizes"); // claimed; -1: half the free room and a byte
    QTest::addColumn<int>("concerned");

    const qint64 petabyte = qint64(1000) * 1000 * 1000 * 1000 * 1000;
    QTest::newRow("one file larger than the free room") << QList<qint64>{ 0, petabyte, 0 } << 1;
    QTest::newRow("each fits, together they do not") << QList<qint64>{ -1, -1, -1 } << 0;
}

// Refused before any content is called, whatever the contents would write:
// the sizes claimed are what counts.
void TestEngine::writeFilesBesideNeedsRoom()
{
    QFETCH(QList<qint64>, sizes);
    QFETCH(int, concerned);

    QVERIFY(makeDiscFolder());
    const qint64 available = QStorageInfo(QDir::currentPath()).bytesAvailable();
    QVERIFY(available > 0);
    const QStringList paths{ "Disc (Track 1).bin", "Disc (Track 2).bin", "Disc.cue" };
    QList<qsizetype> called;
    QList<FileToWrite> files = setFiles(paths, -1, &called);
    qint64 needed = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        files[i].size = sizes[i] < 0 ? available / 2 + 1 : sizes[i];
        needed += files[i].size;
    }
    const QMap<QString, QByteArray> before = folderFiles();

    QString error;
    QVERIFY(!::writeFilesBeside("Disc.ccd", discKept, files, &error));
    const QRegularExpression expected("^Cannot write "
        + QRegularExpression::escape(paths[concerned])
        + ":\nThere is not room for the files: they need (\\d+) MB, and (\\d+) MB are free; "
          "nothing is written\\.$");
    const QRegularExpressionMatch match = expected.match(error);
    QVERIFY2(match.hasMatch(), qPrintable(error));
    // In millions of bytes, what is needed rounded up and what is free down.
    QCOMPARE(match.captured(1).toLongLong(), (needed + 999999) / 1000000);
    QVERIFY(match.captured(2).toLongLong() < match.captured(1).toLongLong());
    QCOMPARE(called, QList<qsizetype>());
    QCOMPARE(folderFiles(), before);
}

void TestEngine::saveFilesBeside_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("message"); // empty when written

    QTest::newRow("written") << QStringList{ "Disc (Track 1).bin", "Disc.cue" } << QString();
    QTest::newRow("refused")
        << QStringList{ "Disc (Track 1).bin", "Disc.img" }
        << "Cannot write Disc.img:\nIt is Disc.img, one of the disc's own files, which is never "
           "overwritten.";
}

void TestEngine::saveFilesBeside()
{
    QFETCH(QStringList, paths);
    QFETCH(QString, message);

    QVERIFY(makeDiscFolder());
    QList<qsizetype> called;
    QList<Message> messages;
    const bool written = ::saveFilesBeside("Disc.ccd", discKept, setFiles(paths, -1, &called),
        [&](const QString &text, const QString &title) {
            messages.append({ text, title });
        });
    QCOMPARE(written, message.isEmpty());
    QCOMPARE(messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(messages[0].title, "File Error");
        QCOMPARE(messages[0].text, message);
        QCOMPARE(readFile("Disc (Track 1).bin"), discFolder["Disc (Track 1).bin"]);
    } else {
        QCOMPARE(readFile("Disc.cue"), setContent(1));
    }
}

// Ended from outside while the second of three files is written: on Unix
// by SIGKILL, which no handler sees, so that only an unnamed temporary file
// leaves nothing (tst_faults ends it with the signals it can handle); on
// Windows as End task ends it, which the temporary files' removal on closing
// covers.
void TestEngine::setEndedWhileWritten()
{
#ifdef Q_OS_UNIX
    if (!QFileInfo("/proc/self/fd").isDir())
        QSKIP("without /proc the temporary files are named, which SIGKILL leaves behind");
#endif
    QVERIFY(makeDiscFolder());
    const QMap<QString, QByteArray> before = folderFiles();
    QProcess writer;
    writer.setProcessChannelMode(QProcess::SeparateChannels);
    writer.start(FILE_SET_WRITER_PATH,
        { "Disc.ccd", "none", "2", "Disc (Track 1).bin", "256", "Disc (Track 2).bin", "256",
            "Disc.cue", "4" });
    QVERIFY(writer.waitForStarted());
    QByteArray said;
    while (!textLines(said).contains("writing 2\n") && writer.waitForReadyRead(30000))
        said += writer.readAllStandardOutput();
    QCOMPARE(textLines(said), QByteArray("content 1\ncontent 2\nwriting 2\n"));
    writer.kill();
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    // Windows removes a file on its last handle's closing, not at once.
    QVERIFY(QTest::qWaitFor([&] { return folderFiles() == before; }, 10000));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
