#include "controlFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// These tests run the real program as a process, without a display, the way
// scripts and file managers start it.

namespace {

// An audio track, then a data track after a pregap.
QByteArray demoFile()
{
    ControlFile file;
    file.discLines = "PreGapMode=2\n";
    file.tracks = { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x06, 1, "DCP", 16807, 16957 } };
    return controlFile(file);
}

const QByteArray demo = demoFile();

QByteArray demoCue(const QByteArray &imageName)
{
    return "FILE \"" + imageName
        + ".img\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
          "  TRACK 02 MODE1/2352\r\n    FLAGS DCP\r\n    INDEX 00 03:44:07\r\n"
          "    INDEX 01 03:46:07\r\n\r\n";
}

// Spaces, quotes, non-ASCII and non-BMP characters; Windows allows no double
// quotes in a name, and writes the cue sheet in its ANSI code page (1252 here),
// which has no character outside the BMP.
#ifdef Q_OS_WIN
const QString fancyName = QStringLiteral("Dïsc Café Müß 'q'");
const QByteArray fancyNameInCueSheet = "D\xefsc Caf\xe9 M\xfc\xdf 'q'";
#else
const QString fancyName = QStringLiteral("Dïsc \U0001F4BF \"q\"");
const QByteArray fancyNameInCueSheet = "D\xc3\xafsc \xf0\x9f\x92\xbf \"q\"";
#endif

#ifdef Q_OS_UNIX
// 249 bytes of UTF-8: with ".ccd" or ".cue" the name nearly fills the 255
// bytes that the usual file systems allow, leaving no room for a temporary
// name made from it.
const QString longName = QString(83, QChar(0x4E2D));
#endif

QProcessEnvironment headless()
{
    QProcessEnvironment environment = withoutDisplay();
    environment.remove("QT_QPA_PLATFORM");
    return environment;
}

/** The arguments of a run as scripts make it: without a display on Linux, and
    on Windows, where there always is one, with --no-window, the option that
    sends messages to the console instead of message boxes. */
QStringList headless(QStringList arguments)
{
#ifdef Q_OS_WIN
    arguments.prepend("--no-window");
#endif
    return arguments;
}

#ifdef Q_OS_UNIX
bool isRoot()
{
    return ::geteuid() == 0;
}
#endif

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void convert_data();
    void convert();
    void nameNotInUtf8_data();
    void nameNotInUtf8();
    void versionAndHelp();
    void successNeedsNoDisplay();
    void noWindowOptionNeverOpensOne();
    void unusableDisplay_data();
    void unusableDisplay();
    void unwritableOutput_data();
    void unwritableOutput();
    void nonControlFileOfFourGigabytes();
    void unwritable_data();
    void unwritable();
    void windowsCommandLine_data();
    void windowsCommandLine();
    void shortNameOfAnotherFile();
    void endedWhileWriting();
    void reportsInAConsole_data();
    void reportsInAConsole();
    void namesInCheckReports_data();
    void namesInCheckReports();
    void playlists_data();
    void playlists();

private:
    TestFolder dir{ TestFolder::Apart };
    QString path(const QString &name) const { return dir.filePath(name); }
};

void TestCommandLine::init()
{
    if (!dir.init())
        return;
    QVERIFY(writeFile(path("Demo.ccd"), demo));
    QVERIFY(writeFile(path("Bad.ccd"), "[clonecd]\r\nSessions=1\r\n"));
    QVERIFY(writeFile(path("Bad.cue"), "earlier"));
    QVERIFY(writeFile(path("Two.ccd"), "[CloneCD]\r\nSessions=2\r\n"));
    QVERIFY(writeFile(path("Long.ccd"),
        "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nSessions=1\r\nComment=" + QByteArray(1 << 20, 'x')));
    QVERIFY(writeFile(path("Old.ccd"), demo));
    QVERIFY(writeFile(path("Old.cue"), QByteArray(4096, 'o')));
#ifdef Q_OS_UNIX
    // Another user's .cue, open to all and set-user-ID and set-group-ID: the
    // replacement is the runner's, and must not run as the runner.
    const QByteArray oldCue = QFile::encodeName(path("Old.cue"));
    QVERIFY(!isRoot() || ::chown(oldCue.constData(), 65534, 65534) == 0);
    QVERIFY(::chmod(oldCue.constData(), 06777) == 0);
#endif
    QVERIFY(writeFile(path("Same.cue"), demo));
    QVERIFY(writeFile(path("-dash.ccd"), demo));
    QVERIFY(writeFile(path("Esc.ccd"), demo + "[CDText]\r\nEntry \x1b[2J=80\r\n"));
    QVERIFY(writeFile(path(fancyName + ".ccd"), demo));
    QVERIFY(QDir(dir.path()).mkdir("folder.ccd"));
    // As Notepad saves "Unicode": UTF-16, little-endian, with a byte-order mark.
    const QString unicode = QString::fromLatin1(demo);
    QVERIFY(writeFile(path("Unicode.ccd"),
        "\xFF\xFE"
            + QByteArray(reinterpret_cast<const char *>(unicode.utf16()), unicode.size() * 2)));
#ifdef Q_OS_UNIX
    QVERIFY(writeFile(path(longName + ".ccd"), demo));
    QVERIFY(writeFile(path(longName + ".cue"), "earlier"));
#endif
}

void TestCommandLine::cleanup()
{
    dir.cleanup();
}

void TestCommandLine::convert_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // the start of standard error; empty: nothing at all
    QTest::addColumn<QString>("cueName");
    QTest::addColumn<QByteArray>("cue");

    const QString notControlFile =
        "File Error: Bad.ccd: The input file doesn't seem to be a proper CCD file.\n";
    QTest::newRow("converts") << QStringList{ "Demo.ccd" } << 0 << ""
                              << "Demo.cue" << demoCue("Demo");
    QTest::newRow("quotes still around the path") << QStringList{ "\"Demo.ccd\"" } << 0 << ""
                                                  << "Demo.cue" << demoCue("Demo");
    QTest::newRow("spaces, quotes, non-ASCII and non-BMP in the name")
        << QStringList{ fancyName + ".ccd" } << 0 << "" << fancyName + ".cue"
        << demoCue(fancyNameInCueSheet);
    QTest::newRow("earlier longer .cue replaced whole") << QStringList{ "Old.ccd" } << 0 << ""
                                                        << "Old.cue" << demoCue("Old");
#ifdef Q_OS_UNIX
    QTest::newRow("name near the file system's limit, earlier .cue replaced")
        << QStringList{ longName + ".ccd" } << 0 << "" << longName + ".cue"
        << demoCue(longName.toUtf8());
#endif
    QTest::newRow("not a control file keeps the earlier .cue")
        << QStringList{ "Bad.ccd" } << 1 << notControlFile << "Bad.cue" << QByteArray("earlier");
    QTest::newRow("line over 1 MiB")
        << QStringList{ "Long.ccd" } << 1
        << "File Error: Long.ccd: Line 5 is too long: it holds more than 1048576 bytes, which no "
           "line of a CCD file needs.\n"
        << "Long.cue" << missing;
    QTest::newRow("two sessions")
        << QStringList{ "Two.ccd" } << 1
        << "Disc Format Error: Two.ccd: Only single-session discs are supported.\n"
        << "Two.cue" << missing;
    QTest::newRow("two sessions with --sessions, but no track in any")
        << QStringList{ "--sessions", "Two.ccd" } << 1
        << "Disc Format Error: Two.ccd: The file says Sessions=2, but its tracks lie in 0 "
           "sessions.\n"
        << "Two.cue" << missing;
    QTest::newRow("--all converts a single-session file as it is")
        << QStringList{ "--all", "Demo.ccd" } << 0 << ""
        << "Demo.cue" << demoCue("Demo");
    QTest::newRow("several files, one refused") << QStringList{ "Bad.ccd", "Demo.ccd" } << 1
                                                << notControlFile << "Demo.cue" << demoCue("Demo");
    QTest::newRow("the refused file named among others") << QStringList{ "Demo.ccd", "Bad.ccd",
        "Old.ccd" } << 1 << notControlFile << "Old.cue" << demoCue("Old");
    QTest::newRow("missing input") << QStringList{ "missing.ccd" } << 1
                                   << "File Error: missing.ccd: Cannot read missing.ccd:\n"
                                   << "missing.cue" << missing;
    QTest::newRow("folder as input")
        << QStringList{ "folder.ccd" } << 1
        << "File Error: folder.ccd: Cannot read folder.ccd:\nno control file below it\n"
        << "folder.cue" << missing;
    QTest::newRow("saved as UTF-16")
        << QStringList{ "Unicode.ccd" } << 1
        << "File Error: Unicode.ccd: The input file is saved as UTF-16 (Unicode) text, not as "
           "the 8-bit text of a CCD file.\nSave it again as 8-bit text"
        << "Unicode.cue" << missing;
    QTest::newRow("input named .cue is never overwritten")
        << QStringList{ "Same.cue" } << 3 << "File Error: Same.cue: Cannot write Same.cue:\n"
        << "Same.cue" << demo;
    QTest::newRow("-- ends the options") << QStringList{ "--", "-dash.ccd" } << 0 << ""
                                         << "-dash.cue" << demoCue("-dash");
    QTest::newRow("unknown option converts nothing")
        << QStringList{ "--bogus", "Demo.ccd" } << 2 << "morvant: unknown option '--bogus'"
        << "Demo.cue" << missing;
    QTest::newRow("the first unknown option is named")
        << QStringList{ "--bogus", "--other", "Demo.ccd" } << 2
        << "morvant: unknown option '--bogus'\n"
        << "Demo.cue" << missing;
    QTest::newRow("--sbi takes no value but all")
        << QStringList{ "--sbi=x", "Demo.ccd" } << 2 << "morvant: unknown option '--sbi=x'\n"
        << "Demo.cue" << missing;
    QTest::newRow("a short name is no prefix")
        << QStringList{ "-hV", "Demo.ccd" } << 2 << "morvant: unknown option '-hV'\n"
        << "Demo.cue" << missing;
    // Text from a control file or the command line cannot act on the terminal.
    QTest::newRow("unknown option with a control character")
        << QStringList{ "-x\x1b]0;owned\x07.ccd", "Demo.ccd" } << 2
        << "morvant: unknown option '-x\\u001b]0;owned\\u0007.ccd'\n"
        << "Demo.cue" << missing;
    QTest::newRow("--cdtext warning quoting a control character")
        << QStringList{ "--cdtext", "Esc.ccd" } << 0
        << "morvant: warning: Esc.ccd: CD-Text left out, it cannot be decoded: line 15: Entry "
           "\\u001b[2J is out of order\n"
        << "Esc.cue" << demoCue("Esc");
    QTest::newRow("no file and no display") << QStringList{} << 2 << "morvant: no display"
                                            << "Demo.cue" << missing;
}

void TestCommandLine::convert()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, cueName);
    QFETCH(QByteArray, cue);

    const Run result = run(MORVANT_PATH, headless(arguments), dir.path(), headless());
    QCOMPARE(result.status, status);
    QCOMPARE(result.out, QByteArray());
    if (message.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith(message.toUtf8()), result.err.constData());
    QCOMPARE(readFile(path(cueName)), cue);
#ifdef Q_OS_UNIX
    // A replaced .cue keeps its permissions, and never the set-ID bits.
    struct stat about = {};
    if (cue != missing && ::stat(QFile::encodeName(path(cueName)).constData(), &about) == 0)
        QCOMPARE(about.st_mode & 07777, cueName == u"Old.cue" ? 0777u : about.st_mode & 0777);
#endif
}

void TestCommandLine::nameNotInUtf8_data()
{
    QTest::addColumn<QByteArray>("folder"); // of the control file, its name's bytes
    QTest::addColumn<QString>("option"); // empty: none
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // the start of standard output
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QByteArray>("cue"); // what Caf\xE9.cue holds afterwards
    // The locale's variables, every other removed ("none": all of them); empty: as inherited.
    QTest::addColumn<QString>("locale");

    const QByteArray cue = demoCue("Caf\xE9");
    QTest::newRow("converts") << QByteArray("discs") << "" << 0 << QByteArray() << QByteArray()
                              << cue << "";
    // Qt needs a UTF-8 character type and takes one itself where the
    // environment names none; the run stays as silent, the name's bytes as they are.
    for (const char *locale : { "none", "LANG=C", "LC_ALL=C", "LC_ALL=POSIX LANG=C.UTF-8",
             "LANG=C.UTF-8 LC_CTYPE=C", "LANG=xx_XX.UTF-8" }) {
        QTest::addRow("converts, %s", locale)
            << QByteArray("discs") << "" << 0 << QByteArray() << QByteArray() << cue << locale;
    }
    QTest::newRow("--stdout, LANG unset")
        << QByteArray("discs") << "--stdout" << 0 << cue << QByteArray() << missing << "none";
    QTest::newRow("in a folder whose name is not UTF-8 either")
        << QByteArray("Disques \xE9t\xE9") << "" << 0 << QByteArray() << QByteArray() << cue << "";
    QTest::newRow("--stdout") << QByteArray("discs") << "--stdout" << 0 << cue << QByteArray()
                              << missing << "";
    QTest::newRow("--check finds the control file and the image")
        << QByteArray("discs") << "--check" << 1
        << QByteArray("discs/Caf\\xE9.ccd: 2 warnings\n  image  discs/Caf\\xE9.img, 0 sectors ")
        << QByteArray() << missing << "";
    QTest::newRow("folder not writable")
        << QByteArray("locked") << "" << 3 << QByteArray()
        << QByteArray("File Error: locked/Caf\\xE9.ccd: Cannot write locked/Caf\\xE9.cue:\n"
                      "Permission denied\n")
        << missing << "";
    QTest::newRow("folder not writable, LC_ALL=C")
        << QByteArray("locked") << "" << 3 << QByteArray()
        << QByteArray("File Error: locked/Caf\\xE9.ccd: Cannot write locked/Caf\\xE9.cue:\n"
                      "Permission denied\n")
        << missing << "LC_ALL=C";
}

// "Caf\xE9.ccd" as an old archive names it in Latin-1. Qt would name it in
// UTF-8 only, so the files are made and read here by their bytes, and the
// shell hands the program the name as it is.
void TestCommandLine::nameNotInUtf8()
{
#ifdef Q_OS_UNIX
    QFETCH(QByteArray, folder);
    QFETCH(QString, option);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, cue);
    QFETCH(QString, locale);

    QProcessEnvironment environment = headless();
    if (!locale.isEmpty()) {
        for (const QString &variable : environment.keys()) {
            if (variable == u"LANG" || variable == u"LANGUAGE" || variable.startsWith(u"LC_"))
                environment.remove(variable);
        }
        for (const QString &assignment : locale.split(u' ')) {
            if (assignment != u"none")
                environment.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
        }
    }
    const QByteArray root = QFile::encodeName(dir.path()) + '/';
    const QByteArray input = folder + "/Caf\xE9.ccd";
    const bool isLocked = folder == "locked";
    QVERIFY(::mkdir((root + folder).constData(), 0755) == 0);
    const auto namesIn = [&root, &folder] {
        QList<QByteArray> names;
        if (DIR *entries = ::opendir((root + folder).constData())) {
            while (const dirent *entry = ::readdir(entries))
                names += entry->d_name;
            ::closedir(entries);
        }
        names.removeAll(".");
        names.removeAll("..");
        std::sort(names.begin(), names.end());
        return names;
    };
    // QTemporaryDir cannot remove names that Qt cannot encode.
    const auto removeFolder = qScopeGuard([&] {
        ::chmod((root + folder).constData(), 0755);
        for (const QByteArray &name : namesIn())
            ::unlink((root + folder + '/' + name).constData());
        ::rmdir((root + folder).constData());
    });
    const auto make = [&root, &folder](const QByteArray &name, const QByteArray &bytes) {
        const int file = ::open((root + folder + '/' + name).constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const bool written =
            file >= 0 && ::write(file, bytes.constData(), size_t(bytes.size())) == bytes.size();
        return file >= 0 && ::close(file) == 0 && written;
    };
    QVERIFY(make("Caf\xE9.ccd", demo));
    QVERIFY(make("Caf\xE9.img", ""));
    QVERIFY(writeFile(path("argument"), input));

    QStringList command{ MORVANT_PATH, "--no-window" };
    if (!option.isEmpty())
        command += option;
    if (isLocked) {
        QVERIFY(::chmod((root + folder).constData(), 0555) == 0);
        // Root writes regardless of permissions, so the program runs as nobody
        // there. The shell stays root's and setpriv starts the program: a shell
        // run as nobody could not reach a build folder inside a private home.
        if (isRoot()) {
            if (QStandardPaths::findExecutable("setpriv").isEmpty())
                QSKIP("setpriv is needed to run the program unprivileged");
            QVERIFY(::chmod(root.constData(), 0755) == 0);
            command = QStringList{ "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" }
                + command;
        }
    }
    command = QStringList{ "sh", "-c", "exec \"$0\" \"$@\" \"$(cat argument)\"" } + command;
    const QString program = command.takeFirst();
    const Run result = run(program, command, dir.path(), environment);

    QCOMPARE(result.status, status);
    QVERIFY2(result.out.startsWith(out), result.out.constData());
    QCOMPARE(result.err, err);
    // The .cue under the control file's bytes with ".cue" for the last four,
    // its FILE line naming the image by its bytes, and nothing else new.
    QFile written;
    const int descriptor = ::open((root + folder + "/Caf\xE9.cue").constData(), O_RDONLY);
    QCOMPARE(descriptor >= 0
                && written.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
            ? written.readAll()
            : missing,
        cue);
    QList<QByteArray> expected{ "Caf\xE9.ccd", "Caf\xE9.img" };
    if (cue != missing)
        expected.insert(1, "Caf\xE9.cue");
    QCOMPARE(namesIn(), expected);
#else
    QSKIP("Windows names files in UTF-16: every name reaches the program whole");
#endif
}

void TestCommandLine::versionAndHelp()
{
    const Run version = run(MORVANT_PATH, { "--version" }, dir.path(), headless());
    QCOMPARE(version.status, 0);
    QCOMPARE(textLines(version.out), QByteArray("MORVANT 1.00\n"));

    const Run help = run(MORVANT_PATH, { "--help" }, dir.path(), headless());
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.startsWith("Usage: morvant "));
    QVERIFY(help.out.contains("--no-window"));
#ifdef Q_OS_WIN
    // As Windows programs answer it.
    const Run windowsHelp = run(MORVANT_PATH, { "/?" }, dir.path(), headless());
    QCOMPARE(windowsHelp.status, 0);
    QCOMPARE(windowsHelp.out, help.out);
#endif
}

void TestCommandLine::successNeedsNoDisplay()
{
    // A display that does not exist: connecting to it would abort the program.
    QProcessEnvironment environment = headless();
    environment.insert("DISPLAY", ":4711");
    const Run result = run(MORVANT_PATH, { "Demo.ccd" }, dir.path(), environment);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(readFile(path("Demo.cue")), demoCue("Demo"));
}

void TestCommandLine::noWindowOptionNeverOpensOne()
{
    QProcessEnvironment environment = headless();
#ifndef Q_OS_WIN
    // A display that would hang or fail the run if the program tried it. On
    // Windows DISPLAY means nothing to the program, only to wine, which now
    // and then let a child given a dead one end at once with no status.
    environment.insert("DISPLAY", ":4711");
#endif
    const Run result = run(MORVANT_PATH, { "--no-window", "Bad.ccd" }, dir.path(), environment);
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.startsWith("File Error: "));
}

void TestCommandLine::unusableDisplay_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("arguments");

    // clang-format off
    QTest::newRow("stale X display")        << "DISPLAY" << ":4711" << QStringList{ "Bad.ccd" };
    QTest::newRow("Wayland, no compositor") << "WAYLAND_DISPLAY" << "nowhere-4711" << QStringList{ "Bad.ccd" };
    QTest::newRow("refused and unwritable among others") << "DISPLAY" << ":4711" << QStringList{ "Demo.ccd", "Bad.ccd", "Same.cue" };
    QTest::newRow("no file")                << "DISPLAY" << ":4711" << QStringList{};
    // clang-format on
}

// A display that cannot be opened counts as none: one line says why, then
// come the messages and the status of a run without a display.
void TestCommandLine::unusableDisplay()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows always has its display");
#else
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(QStringList, arguments);

    const Run withoutOne = run(MORVANT_PATH, arguments, dir.path(), headless());
    QVERIFY(withoutOne.status != 0);
    const bool convertsDemo = arguments.contains("Demo.ccd");
    QCOMPARE(QFile::remove(path("Demo.cue")), convertsDemo);

    QProcessEnvironment environment = headless();
    environment.insert(variable, value);
    environment.insert("XDG_RUNTIME_DIR", dir.path()); // where no compositor listens
    const Run result = run(MORVANT_PATH, arguments, dir.path(), environment);
    QVERIFY2(!result.crashed, result.err.constData());
    QCOMPARE(result.status, withoutOne.status);
    QVERIFY2(result.err.startsWith("morvant: cannot open the window: "), result.err.constData());
    QVERIFY2(!result.err.contains("Reinstalling"), result.err.constData());
    QCOMPARE(result.err.mid(result.err.indexOf('\n') + 1), withoutOne.err);
    QCOMPARE(readFile(path("Demo.cue")), convertsDemo ? demoCue("Demo") : missing);
#endif
}

void TestCommandLine::unwritableOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");

    QTest::newRow("--help") << QStringList{ "--help" } << 3;
    QTest::newRow("--version") << QStringList{ "--version" } << 3;
    QTest::newRow("--check") << QStringList{ "--check", "Demo.ccd" } << 2;
    QTest::newRow("--check --json") << QStringList{ "--check", "--json", "Demo.ccd" } << 2;
    QTest::newRow("--stdout") << QStringList{ "--stdout", "Demo.ccd" } << 3;
}

// Output to a full disk is lost output: it must not pass for success.
void TestCommandLine::unwritableOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);

    if (!QFile::exists("/dev/full"))
        QSKIP("needs /dev/full, a device that is always full");
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setProcessEnvironment(headless());
    process.setStandardOutputFile("/dev/full");
    process.start(MORVANT_PATH, arguments);
    const Run result = finished(process, 60000);
    QCOMPARE(result.status, status);
    QVERIFY2(result.err.contains("standard output"), result.err.constData());
    QVERIFY2(result.err.contains(qPrintable(qt_error_string(ENOSPC))), result.err.constData());
}

void TestCommandLine::nonControlFileOfFourGigabytes()
{
    // Sparse: a disc image chosen by mistake costs no disk space here, and
    // must cost no time or memory in the program either.
    QFile image(path("disc.img"));
    QVERIFY(image.open(QIODevice::WriteOnly));
    QVERIFY(image.resize(qint64(4) << 30));
    image.close();
    const Run result = run(MORVANT_PATH, headless({ "disc.img" }), dir.path(), headless());
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.startsWith(
        "File Error: disc.img: The input file doesn't seem to be a proper CCD file."));
    QCOMPARE(readFile(path("disc.cue")), missing);
}

void TestCommandLine::unwritable_data()
{
    QTest::addColumn<bool>("folderWritable");

    QTest::newRow("folder not writable") << false;
    QTest::newRow("read-only earlier .cue") << true;
}

void TestCommandLine::unwritable()
{
    QFETCH(bool, folderWritable);

    QStringList command{ MORVANT_PATH };
#ifdef Q_OS_WIN
    if (!folderWritable)
        QSKIP("wine does not enforce a folder's access control list; the read-only .cue is "
              "Windows' own case");
#else
    // Root writes regardless of permissions, so the program runs as nobody there.
    if (isRoot()) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv is needed to run the program unprivileged");
        command =
            QStringList{ "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" } + command;
    }
#endif
    const QString folder = path("locked");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(writeFile(folder + "/Demo.ccd", demo));
    QVERIFY(writeFile(folder + "/Demo.cue", "earlier"));
    const auto readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const auto traversable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const auto writable = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    QVERIFY(QFile::setPermissions(dir.path(), readable | traversable | QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(
        folder, readable | traversable | (folderWritable ? writable : QFile::WriteOwner)));
    QVERIFY(QFile::setPermissions(folder + "/Demo.cue", readable));

    const QString program = command.takeFirst();
    const Run result =
        run(program, headless(command + QStringList{ "locked/Demo.ccd" }), dir.path(), headless());
    QFile::setPermissions(folder, readable | traversable | QFile::WriteOwner);
    QFile::setPermissions(folder + "/Demo.cue", readable | QFile::WriteOwner);
    QCOMPARE(result.status, 3);
    const QByteArray message = "File Error: " + QDir::toNativeSeparators("locked/Demo.ccd").toUtf8()
        + ": Cannot write " + QDir::toNativeSeparators("locked/Demo.cue").toUtf8() + ":\n";
    QVERIFY2(result.err.startsWith(message), result.err.constData());
    QCOMPARE(readFile(folder + "/Demo.cue"), QByteArray("earlier"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
        QStringList({ "Demo.ccd", "Demo.cue" }));
}

void TestCommandLine::windowsCommandLine_data()
{
    QTest::addColumn<QString>("name"); // of the control file, '/' in it as such
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("form"); // of the path: "" as Explorer gives it, "\\?\", "mixed"
    QTest::addColumn<QString>("situation"); // of the files beside it
    QTest::addColumn<QString>("cueName");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("message"); // in standard error; empty: none
    QTest::addColumn<QByteArray>("cue"); // empty: whatever names the image

    QByteArray cp1252Demo = demo;
    cp1252Demo.replace("FLAGS= DCP", "FLAGS= DCP \xe9\xfc\xdf");
    QByteArray cp1252Cue = demoCue("Caf\xe9 M\xfc\xdf");
    cp1252Cue.replace("FLAGS DCP", "FLAGS DCP \xe9\xfc\xdf");
    const QByteArray shortName = "so the cue sheet names it by its short name";
    const QString longest = QString(251, u'n'); // with ".ccd" the most that a name may have
    const QString nearly = QString(245, u'n');

    // clang-format off
    QTest::newRow("worked example") << "Demo Disc.ccd" << demo << "" << "" << "Demo Disc.cue" << 0
                                    << QByteArray() << demoCue("Demo Disc");
    QTest::newRow("cp1252 in the path and the file") << "Café Müß.ccd" << cp1252Demo << "" << ""
                                                     << "Café Müß.cue" << 0 << QByteArray() << cp1252Cue;
    QTest::newRow("cp1252 beyond Latin-1") << "€uro ‰ Ÿ.ccd" << demo << "" << "" << "€uro ‰ Ÿ.cue"
                                           << 0 << QByteArray() << demoCue("\x80uro \x89 \x9f");
    QTest::newRow("earlier .cue in other letter case") << "DISC.CCD" << demo << "" << "" << "disc.cue"
                                                       << 0 << QByteArray() << demoCue("DISC");
    QTest::newRow("input is its own .cue in other case") << "GAME.CUE" << demo << "" << "" << "GAME.CUE"
                                                         << 3 << QByteArray("It is the control file itself") << demo;
    QTest::newRow("Japanese") << "ゲーム.ccd" << demo << "" << "" << "ゲーム.cue" << 0
                              << QByteArray("name \\u30b2\\u30fc\\u30e0.img, " + shortName)
                              << QByteArray();
    QTest::newRow("Greek") << "Ελληνικά.ccd" << demo << "" << "" << "Ελληνικά.cue" << 0 << shortName
                           << QByteArray();
    QTest::newRow("Cyrillic") << "Диск.ccd" << demo << "" << "" << "Диск.cue" << 0 << shortName
                              << QByteArray();
    QTest::newRow("outside the BMP") << "Disc 💿.ccd" << demo << "" << "" << "Disc 💿.cue" << 0
                                     << shortName << QByteArray();
    QTest::newRow("look-alike of another file") << "Łódź Ōkami.ccd" << demo << "" << "look-alike"
                                                << "Łódź Ōkami.cue" << 0 << shortName << QByteArray();
    QTest::newRow("no image to take a short name from") << "Диск.ccd" << demo << "" << "no image"
        << "Диск.cue" << 1 << QByteArray("Rename the control file and the image") << missing;
    QTest::newRow("mixed separators") << "p3/sub/Disc.ccd" << demo << "mixed" << "" << "p3/sub/Disc.cue"
                                      << 0 << QByteArray() << demoCue("Disc");
    QTest::newRow("\\\\?\\ path") << "Demo Disc.ccd" << demo << "\\\\?\\" << "" << "Demo Disc.cue" << 0
                                << QByteArray() << demoCue("Demo Disc");
    QTest::newRow("name of 255 characters, earlier .cue") << longest + ".ccd" << demo << "" << "earlier"
        << longest + ".cue" << 0 << QByteArray() << demoCue(longest.toLatin1());
    QTest::newRow("name of 249 characters, \\\\?\\ path") << nearly + ".ccd" << demo << "\\\\?\\" << ""
        << nearly + ".cue" << 0 << QByteArray() << demoCue(nearly.toLatin1());
    QTest::newRow("a trailing dot, which Windows drops") << "Demo Disc.ccd" << demo << "dot" << ""
        << "Demo Disc.cue" << 0 << QByteArray() << demoCue("Demo Disc");
    QTest::newRow("relative to the drive's current folder") << "Demo Disc.ccd" << demo << "drive" << ""
        << "Demo Disc.cue" << 0 << QByteArray() << demoCue("Demo Disc");
    QTest::newRow("hidden .cue stays hidden") << "Demo Disc.ccd" << demo << "" << "hidden"
                                              << "Demo Disc.cue" << 0 << QByteArray() << demoCue("Demo Disc");
    QTest::newRow("read-only .cue") << "Demo Disc.ccd" << demo << "" << "read-only" << "Demo Disc.cue"
                                    << 3 << QByteArray("is read-only") << QByteArray("earlier");
    QTest::newRow(".cue in use") << "Demo Disc.ccd" << demo << "" << "in use" << "Demo Disc.cue" << 3
                                 << QByteArray("Another program is using the file")
                                 << QByteArray("earlier");
    // clang-format on
}

void TestCommandLine::windowsCommandLine()
{
#ifndef Q_OS_WIN
    QSKIP("Windows' own command line, paths and code page");
#else
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, form);
    QFETCH(QString, situation);
    QFETCH(QString, cueName);
    QFETCH(int, status);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, cue);

    QVERIFY(QDir(dir.path()).mkpath(QFileInfo(path(name)).path()));
    QVERIFY(writeFile(path(name), content));
    QVERIFY(writeFile(path("disc.cue"), "earlier"));
    // Each image holds its own name, so that the file a FILE line names is known.
    const QString image = path(name).chopped(4) + ".img";
    if (situation != "no image")
        QVERIFY(writeFile(image, image.toUtf8()));
    if (situation == "look-alike")
        QVERIFY(writeFile(path("Lodz Okami.img"), "another disc"));
    const QString earlierCue = path(cueName);
    const auto setAttributes = [&](DWORD attributes) {
        return SetFileAttributesW(
            reinterpret_cast<const wchar_t *>(earlierCue.utf16()), attributes);
    };
    if (situation == "earlier" || situation == "hidden" || situation == "read-only"
        || situation == "in use")
        QVERIFY(writeFile(earlierCue, "earlier"));
    if (situation == "hidden")
        QVERIFY(setAttributes(FILE_ATTRIBUTE_HIDDEN));
    if (situation == "read-only")
        QVERIFY(setAttributes(FILE_ATTRIBUTE_READONLY));
    const auto restore = qScopeGuard([&] { setAttributes(FILE_ATTRIBUTE_NORMAL); });
    // Held open as an editor or a player holds it, sharing it but not its removal.
    QFile inUse(earlierCue);
    if (situation == "in use")
        QVERIFY(inUse.open(QIODevice::ReadOnly));

    QString argument = QDir::toNativeSeparators(path(name));
    if (form == "mixed")
        argument = QDir::toNativeSeparators(dir.path()) + u'\\' + name;
    else if (form == "dot")
        argument += u'.';
    else if (form == "drive") // from the temporary folder the program starts in
        argument = argument.left(2)
            + QDir::toNativeSeparators(QDir(QDir::tempPath()).relativeFilePath(path(name)));
    else if (!form.isEmpty())
        argument.prepend(form);
    // As Explorer starts a verb's command: the full path in double quotes, as
    // the whole command line. What is to be said goes to the console instead
    // of a message box that would wait.
    QProcess process;
    process.setWorkingDirectory(QDir::tempPath());
    process.setProcessEnvironment(headless());
    process.setProgram(MORVANT_PATH);
    const QString option =
        status == 0 && message.isEmpty() ? QString() : QStringLiteral("--no-window ");
    process.setNativeArguments(option + u'"' + argument + u'"');
    process.start();
    const Run result = finished(process, 60000);
    inUse.close();
    QCOMPARE(result.status, status);
    if (message.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.contains(message), result.err.constData());
    const QByteArray written = readFile(path(cueName));
    if (!cue.isEmpty())
        QCOMPARE(written, cue);
    if (status == 0) {
        // Whatever its form, the FILE line names the image and no other file.
        const qsizetype end = written.indexOf("\" BINARY");
        QVERIFY(written.startsWith("FILE \"") && end > 0);
        const QString named = QString::fromLocal8Bit(written.mid(6, end - 6));
        QCOMPARE(readFile(QFileInfo(image).dir().filePath(named)), image.toUtf8());
    }
    if (situation == "hidden") {
        const DWORD attributes =
            GetFileAttributesW(reinterpret_cast<const wchar_t *>(earlierCue.utf16()));
        QVERIFY(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
    }
    // Windows names are one file whatever their letter case: no second .cue,
    // and no temporary file left beside it.
    const QStringList cueFiles =
        QDir(QFileInfo(earlierCue).path()).entryList({ "*.cue" }, QDir::Files | QDir::Hidden);
    QCOMPARE(cueFiles.filter(QFileInfo(cueName).fileName(), Qt::CaseInsensitive).size(),
        status == 1 ? 0 : 1);
    QCOMPARE(QDir(QFileInfo(earlierCue).path()).entryList({ "*.tmp" }, QDir::Files | QDir::Hidden),
        QStringList());
#endif
}

// A control file named like the short name of another disc's sheet: Windows
// would open that sheet under the name the conversion gives its own.
void TestCommandLine::shortNameOfAnotherFile()
{
#ifndef Q_OS_WIN
    QSKIP("Windows' short names");
#else
    const QString other = path("Final Fantasy VII.cue");
    QVERIFY(writeFile(other, "the other disc's sheet"));
    std::wstring shortPath(MAX_PATH, L'\0');
    const DWORD length = GetShortPathNameW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(other).utf16()),
        shortPath.data(), MAX_PATH);
    QVERIFY(length > 0 && length < MAX_PATH);
    shortPath.resize(length);
    const QString shortName = QFileInfo(QString::fromStdWString(shortPath)).fileName();
    if (shortName == QFileInfo(other).fileName())
        QSKIP("this volume keeps no short names");
    const QString base = shortName.chopped(4);
    QVERIFY(writeFile(path(base + ".ccd"), demo));
    QVERIFY(writeFile(path(base + ".img"), "its image"));

    const Run result = run(MORVANT_PATH, headless({ base + ".ccd" }), dir.path(), headless());
    QCOMPARE(result.status, 3);
    QVERIFY2(result.err.contains("It is the short name of Final Fantasy VII.cue, another file"),
        result.err.constData());
    QCOMPARE(readFile(other), QByteArray("the other disc's sheet"));
#endif
}

// Ended while it writes, as End task ends it: the temporary file goes with
// the program, and the earlier .cue stays as it was.
#ifdef Q_OS_WIN
namespace {

/// A console of the test's own, which the program is started in, read back as the user sees it.
class Console
{
public:
    Console()
    {
        FreeConsole();
        if (!AllocConsole())
            return;
        SECURITY_ATTRIBUTES inherited{ sizeof inherited, nullptr, TRUE };
        screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO about = {};
        if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &about))
            return;
        columns = SHORT(about.srWindow.Right - about.srWindow.Left + 1);
        rows = about.dwSize.Y;
    }
    ~Console()
    {
        if (screen != INVALID_HANDLE_VALUE)
            CloseHandle(screen);
        FreeConsole();
    }
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    bool isOpen() const { return columns > 0; }

    /// Each row of the screen, without the blanks at its end.
    QStringList screenRows() const
    {
        QStringList shown;
        for (SHORT row = 0; row < rows; ++row) {
            std::wstring text(size_t(columns), L' ');
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen, text.data(), DWORD(columns), { 0, row }, &read);
            text.resize(read);
            shown << QString::fromStdWString(text).trimmed();
        }
        return shown;
    }

    /// Runs the program in \a folder with standard output and error on the screen; its status.
    int run(const QStringList &arguments, const QString &folder,
        const std::function<void()> &whileRunning = {})
    {
        QString command = QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(MORVANT_PATH));
        for (const QString &argument : arguments)
            command += QStringLiteral(" \"%1\"").arg(argument);
        std::wstring line = command.toStdWString();
        const std::wstring where = QDir::toNativeSeparators(folder).toStdWString();
        STARTUPINFOW start = {};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdOutput = screen;
        start.hStdError = screen;
        PROCESS_INFORMATION started = {};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, where.c_str(),
                &start, &started))
            return -1;
        while (WaitForSingleObject(started.hProcess, 20) == WAIT_TIMEOUT) {
            if (whileRunning)
                whileRunning();
        }
        DWORD status = 0;
        GetExitCodeProcess(started.hProcess, &status);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return int(status);
    }

    SHORT columns = 0;

private:
    HANDLE screen = INVALID_HANDLE_VALUE;
    SHORT rows = 0;
};

} // namespace
#endif

void TestCommandLine::reportsInAConsole_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("shown"); // the start of a row of the screen
    QTest::addColumn<int>("status");

    // As long as the names of DATs are, with an image of 256 MiB, the least that shows progress.
    const QString longName =
        "Harbour Lights - The Complete Recordings, Disc One (Europe) (En,Fr,De,Es,It,Nl).ccd";
    // clang-format off
    QTest::newRow("--verify, a name beyond the code page")    << QStringList{ "--verify", "Test.dat", "ゲーム.ccd" }
        << "ゲーム.ccd: cannot be verified: The cue sheet cannot name the image ゲーム.img" << 2;
    QTest::newRow("--verify, a name in the code page")        << QStringList{ "--verify", "Test.dat", "Café.ccd" }
        << "Café.ccd: cannot be verified: there is no image Café.img to cut" << 2;
    QTest::newRow("--verify --json")                          << QStringList{ "--verify", "Test.dat", "--json", "ゲーム.ccd" }
        << "\"file\": \"ゲーム.ccd\"," << 2;
    QTest::newRow("--verify, the progress of a long name")    << QStringList{ "--verify", "Test.dat", longName }
        << "Harbour Lights - The Complete Recordings" << 1;
    QTest::newRow("--check, a name beyond the code page")     << QStringList{ "--check", "ゲーム.ccd" }
        << "ゲーム.ccd: " << 2;
    QTest::newRow("--check, a name in the code page")         << QStringList{ "--check", "Café.ccd" }
        << "Café.ccd: " << 1;
    QTest::newRow("--check --json")                           << QStringList{ "--check", "--json", "ゲーム.ccd" }
        << "\"path\": \"ゲーム.ccd\"," << 2;
    // clang-format on
}

// What a console shows is read back from its screen: a report gives each
// name as it is, as warnings do, in every code page.
void TestCommandLine::reportsInAConsole()
{
#ifndef Q_OS_WIN
    QSKIP("Windows' console; a terminal reads bytes, tried in tst_verify");
#else
    QFETCH(QStringList, arguments);
    QFETCH(QString, shown);
    QFETCH(int, status);

    QVERIFY(writeFile(path("ゲーム.ccd"), demo));
    QVERIFY(writeFile(path("Café.ccd"), demo));
    QVERIFY(writeFile(path("Test.dat"),
        "<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"G\">\n<rom name=\"G.bin\" size=\"4\" "
        "crc=\"00000000\" md5=\"00000000000000000000000000000000\" "
        "sha1=\"0000000000000000000000000000000000000000\"/>\n</game>\n</datafile>\n"));
    const QString named = arguments.last();
    const bool isLarge = named.startsWith("Harbour");
    if (isLarge) {
        const Disc disc{ { { 1, 0x04, 1, {}, {}, 0 } }, { 114200 } };
        QVERIFY(writeFile(path(named), controlFile(dumpOf(disc, true))));
        QVERIFY(makeImage(path(named.chopped(4) + ".img"), disc.end() * sectorBytes));
    }
    Console console;
    if (!console.isOpen())
        QSKIP("no console to show the program's output in (wine needs a display for one)");
    // A line of progress wider than the console wraps, and each redraw from
    // its start would leave a row behind.
    qsizetype mostRows = 0;
    const auto countProgress = [&] {
        const QStringList rows = console.screenRows();
        mostRows = qMax(mostRows, std::count_if(rows.begin(), rows.end(), [](const QString &row) {
            return row.contains("Hashing") || row.endsWith('%');
        }));
    };
    QCOMPARE(console.run(arguments, dir.path(), countProgress), status);
    const QStringList rows = console.screenRows();
    QVERIFY2(std::any_of(rows.begin(), rows.end(),
                 [&](const QString &row) { return row.startsWith(shown); }),
        qPrintable(rows.join(u'\n').trimmed()));
    if (isLarge) {
        QCOMPARE(mostRows, 1);
        QVERIFY2(std::none_of(rows.begin(), rows.end(),
                     [](const QString &row) { return row.contains("Hashing"); }),
            qPrintable(rows.join(u'\n').trimmed()));
    }
#endif
}

void TestCommandLine::namesInCheckReports_data()
{
    QTest::addColumn<QString>("name"); // of the control file
    QTest::addColumn<bool>("json");
    QTest::addColumn<QByteArray>("shown"); // in the report

    // clang-format off
    QTest::newRow("a right-to-left override")          << QString("Game\u202Edcc.ccd") << false << QByteArray("Game\\u202edcc.ccd: ");
    QTest::newRow("a right-to-left override, --json")  << QString("Game\u202Edcc.ccd") << true  << QByteArray("\"Game\\u202edcc.ccd\"");
    QTest::newRow("an isolate, --json")                << QString("\u2067Game.ccd")     << true  << QByteArray("\"\\u2067Game.ccd\"");
    QTest::newRow("a C1 control and DEL, --json")      << QString("Game\u009B2J\u007F.ccd") << true << QByteArray("\"Game\\u009b2J\\u007f.ccd\"");
    // clang-format on
}

// --check quotes the names of files, which an archive gives, and its JSON
// reaches terminals as much as its text.
void TestCommandLine::namesInCheckReports()
{
    QFETCH(QString, name);
    QFETCH(bool, json);
    QFETCH(QByteArray, shown);

    QVERIFY(writeFile(path(name), demo));
    QStringList arguments{ "--check", name };
    if (json)
        arguments << "--json";
    const Run result = run(MORVANT_PATH, headless(arguments), dir.path(), headless());
#ifdef Q_OS_WIN
    // Beyond the code page: the cue sheet could not name the image.
    QCOMPARE(result.status, 2);
#else
    QCOMPARE(result.status, 1);
#endif
    QVERIFY2(result.out.contains(shown), result.out.constData());
    for (const QChar c : name) {
        if (c.unicode() >= 0x7F)
            QVERIFY2(!result.out.contains(QString(c).toUtf8()), result.out.constData());
    }
}

void TestCommandLine::endedWhileWriting()
{
#ifndef Q_OS_WIN
    QSKIP("on Unix the temporary file has no name until it is whole (tst_faults)");
#else
    // FLAGS lines give back their text: a sheet of some 150 MB takes a while to write.
    QByteArray control = "[CloneCD]\r\nSessions=1\r\n";
    const QByteArray line = "FLAGS=" + QByteArray(250, 'x') + "\r\n";
    control += line.repeated(600000);
    QVERIFY(writeFile(path("Large.ccd"), control));
    QVERIFY(writeFile(path("Large.cue"), "earlier"));
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setProcessEnvironment(headless());
    process.start(MORVANT_PATH, { "--no-window", "Large.ccd" });
    QVERIFY(process.waitForStarted());
    const QDir folder(dir.path());
    bool isWriting = false;
    while (!isWriting && process.state() != QProcess::NotRunning) {
        isWriting = !folder.entryList({ "*.tmp" }, QDir::Files | QDir::Hidden).isEmpty();
        if (!isWriting)
            QThread::msleep(1);
    }
    if (!isWriting)
        QSKIP("the sheet was written before the test could end the program");
    process.kill();
    QVERIFY(process.waitForFinished(60000));
    // Wine 10's server closes an ended program's files a while after it
    // ends, over 5 seconds on a loaded machine.
    QVERIFY(QTest::qWaitFor(
        [&] { return folder.entryList({ "*.tmp" }, QDir::Files | QDir::Hidden).isEmpty(); },
        30000));
    QCOMPARE(readFile(path("Large.cue")), QByteArray("earlier"));
#endif
}

QTEST_GUILESS_MAIN(TestCommandLine)
void TestCommandLine::playlists_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("earlier"); // in Games/Game (Europe).m3u before the run
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("told"); // a line of standard error
    QTest::addColumn<QByteArray>("playlist"); // in Games/Game (Europe).m3u after it

    const QByteArray europe = "Game (Europe) (Disc 1).cue\r\nGame (Europe) (Disc 2).cue\r\n"
                              "Game (Europe) (Disc 3).cue\r\n";
    const QString listed = "morvant: Games/Game (Europe).m3u lists the cue sheets of the 3 discs "
                           "in their order.";
    QTest::newRow("a folder of discs")
        << QStringList{ "--m3u", "Games" } << missing << 0 << listed << europe;
    QTest::newRow("with --split") << QStringList{ "--m3u", "--split", "Games" } << missing << 0
                                  << listed << europe;
    QTest::newRow("discs named out of order, the other games' too") << QStringList{
        "--m3u", "Games/Game (Europe) (Disc 3).ccd", "Games/Game (Europe) (Disc 1).ccd",
        "Games/Game (USA) (Disc 1).ccd", "Games/Game (Europe) (Disc 2).ccd"
    } << missing << 0 << listed << europe;
    QTest::newRow("a set without a disc")
        << QStringList{ "--m3u", "Games/Game (Europe) (Disc 3).ccd",
               "Games/Game (Europe) (Disc 1).ccd" }
        << missing << 0
        << "morvant: warning: Games/Game (Europe).m3u: not written: disc 2 of this game is not "
           "among the discs named."
        << missing;
    QTest::newRow("the same playlist written before")
        << QStringList{ "--m3u", "Games" } << europe << 0 << listed << europe;
    QTest::newRow("another playlist under its name is kept")
        << QStringList{ "--m3u", "Games" } << QByteArray("Game (Europe) (Disc 1).cue\n") << 3
        << "It is not the playlist of these discs. It is left as it is: remove it or move it "
           "away, and the playlist is written."
        << QByteArray("Game (Europe) (Disc 1).cue\n");
    QTest::newRow("a disc refused") << QStringList{ "--m3u", "Refused" } << missing << 1
                                    << "morvant: warning: Refused/Game (Europe).m3u: not written: "
                                       "the cue sheet of Refused/Game (Europe) (Disc 2).ccd, or a "
                                       "file with it, was not written."
                                    << missing;
    QTest::newRow("without --m3u") << QStringList{ "Games" } << missing << 0 << "" << missing;
    QTest::newRow("not with --check")
        << QStringList{ "--m3u", "--check", "Games" } << missing << 2
        << "morvant: --m3u goes with the conversion and --split only" << missing;
}

// The playlist of each game of several discs, as emulators load it; every
// other game, one of a single disc or another revision or region, none.
void TestCommandLine::playlists()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, earlier);
    QFETCH(int, status);
    QFETCH(QString, told);
    QFETCH(QByteArray, playlist);

    QDir folder(dir.path());
    QVERIFY(folder.mkdir("Games") && folder.mkdir("Refused"));
    const QStringList games{ "Game (Europe) (Disc 1)", "Game (Europe) (Disc 2)",
        "Game (Europe) (Disc 3)", "Game (Europe) (Disc 1) (Rev 1)", "Game (USA) (Disc 1)",
        "Game (USA) (Disc 3)", "Game (Japan)" };
    for (const QString &game : games) {
        QVERIFY(writeFile(path("Games/" + game + ".ccd"), dumpFile()));
        QVERIFY(makeImage(path("Games/" + game + ".img"), 2000 * sectorBytes));
    }
    QVERIFY(writeFile(path("Refused/Game (Europe) (Disc 1).ccd"), dumpFile()));
    QVERIFY(writeFile(path("Refused/Game (Europe) (Disc 2).ccd"), "[clonecd]\r\n"));
    if (earlier != missing)
        QVERIFY(writeFile(path("Games/Game (Europe).m3u"), earlier));

    const Run result = run(MORVANT_PATH, headless(arguments), dir.path(), headless());
    QCOMPARE(result.status, status);
    const QStringList lines = QString::fromUtf8(result.err).split(u'\n');
    QVERIFY2(told.isEmpty() || lines.contains(QDir::toNativeSeparators(told)), result.err);
    QCOMPARE(readFile(path("Games/Game (Europe).m3u")), playlist);
    const QStringList others = QDir(path("Games")).entryList({ "*.m3u" }, QDir::Files);
    QCOMPARE(others, playlist == missing ? QStringList() : QStringList{ "Game (Europe).m3u" });
    QVERIFY(!QFile::exists(path("Refused/Game (Europe).m3u")));
}

#include "tst_commandLine.moc"
