#include "tst_faults.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Faults that the file system can throw at the real program, run as a process
// without a display: each must end in a message that names the path and the
// system's reason, a non-zero status, and the earlier .cue and the folder
// exactly as they were.

namespace {

using namespace faults;

bool isSanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

/** Hides /proc from the calling process alone: an empty file system over it,
    in a mount namespace of its own. /proc is made private there first, so
    that nothing done to it reaches the system's namespace; /proc, not /, since
    in a chroot / is no mount point to make private. Returns 0, or the errno of
    the step the system refused. */
int hideProc()
{
    const bool hidden = ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/proc", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && ::mount("hidden", "/proc", "tmpfs", MS_RDONLY, "size=4k") == 0;
    return hidden ? 0 : errno;
}

/// Why hideProc() fails here, tried in a child that ends at once; empty when it works.
QString whyProcCannotBeHidden()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(hideProc());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return QStringLiteral("the trial did not end");
    return WEXITSTATUS(status) == 0 ? QString()
                                    : QString::fromLocal8Bit(strerror(WEXITSTATUS(status)));
}

/// Why the writer cannot be made to name its temporary files (\a isNamed:
/// /proc hidden from it) or to leave them unnamed here; empty when it can.
QString whyTemporaryFilesCannotBe(bool isNamed)
{
    if (isNamed && !isRoot())
        return QStringLiteral("hiding /proc from the writer needs root");
    if (const QString reason = isNamed ? whyProcCannotBeHidden() : QString(); !reason.isEmpty())
        return "hiding /proc from the writer in a mount namespace of its own failed: " + reason;
    if (!isNamed && !QFileInfo(QStringLiteral("/proc/self/fd")).isDir())
        return QStringLiteral(
            "without /proc the temporary files are named, which the named rows cover");
    return {};
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void inputRemovedWhileRead();
    void interruptedWrite_data();
    void interruptedWrite();
    void interruptedSetWrite_data();
    void interruptedSetWrite();
    void setEndedByKill_data();
    void setEndedByKill();
    void leftoversNotKnownToBeOurs();
    void setWriteFaults_data();
    void setWriteFaults();
    void largeCueSheetKeepsEveryCharacter();
    void linesAcrossReadChunks_data();
    void linesAcrossReadChunks();
    void boundedCost_data();
    void boundedCost();

private:
    Run run(const QStringList &arguments, bool unprivileged, qint64 fileSizeLimit = 0);

    TestFolder dir{ TestFolder::Apart };
    QString work; // the folder of the control file
    QString mountPoint;
    QString program;
    QTemporaryDir programDir;
};

void TestFaults::initTestCase()
{
    program = QStringLiteral(MORVANT_PATH);
    if (isRoot()) {
        // The unprivileged runs may not be able to reach the build folder.
        QVERIFY(programDir.isValid());
        QVERIFY(QFile::setPermissions(programDir.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                | QFile::ExeOther));
        const QString copy = programDir.filePath("morvant");
        QVERIFY(QFile::copy(program, copy));
        program = copy;
    }
}

void TestFaults::init()
{
    if (!dir.init())
        return;
    work = makeWorkFolder(dir.path());
    QVERIFY(!work.isEmpty());
}

void TestFaults::cleanup()
{
    release(dir.path(), &mountPoint);
    dir.cleanup();
}

Run TestFaults::run(const QStringList &arguments, bool unprivileged, qint64 fileSizeLimit)
{
    QStringList command{ program, "--no-window" };
    command += arguments;
    if (fileSizeLimit > 0)
        command =
            QStringList{ "prlimit", "--fsize=" + QString::number(fileSizeLimit), "--" } + command;
    if (unprivileged && isRoot())
        command = QStringList{ "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--" }
            + command;

    QProcess process;
    process.setWorkingDirectory(work);
    process.setProcessEnvironment(withoutDisplay());
    // SIGXFSZ as a shell leaves it: beyond a file size limit the kernel would
    // end the writer with it, unless the program itself keeps it out.
    process.setChildProcessModifier([] { ::signal(SIGXFSZ, SIG_DFL); });
    process.start(command.takeFirst(), command);
    return finished(process, 120000);
}

void TestFaults::commandLine_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("status");

    QTest::newRow("folder not writable") << int(FolderNotWritable) << 3;
    QTest::newRow("earlier .cue read-only") << int(ReadOnlyCue) << 3;
    QTest::newRow(".cue name taken by a folder") << int(CueNameIsAFolder) << 3;
    QTest::newRow("disk full in the middle of the write") << int(DiskFull) << 3;
    QTest::newRow("file size limit in the middle of the write") << int(FileSizeLimit) << 3;
    QTest::newRow(".cue is a link to the control file") << int(CueLinksToInput) << 3;
    QTest::newRow(".cue is a link to the disc image") << int(CueLinksToImage) << 3;
    QTest::newRow(".cue is a hard link to the disc image") << int(CueIsHardLinkToImage) << 3;
    QTest::newRow(".cue is a dangling link") << int(CueIsDanglingLink) << 3;
    QTest::newRow(".cue is a link to another file") << int(CueLinksToOtherFile) << 3;
    QTest::newRow("input is a folder") << int(InputIsAFolder) << 1;
    QTest::newRow("input is a dangling link") << int(InputIsADanglingLink) << 1;
    QTest::newRow("input unreadable") << int(InputUnreadable) << 1;
    QTest::newRow("input removed before it is read") << int(InputMissing) << 1;
}

void TestFaults::commandLine()
{
    QFETCH(int, fault);
    QFETCH(int, status);
    const auto kind = Fault(fault);

    if (needsUnprivileged(kind) && isRoot() && QStandardPaths::findExecutable("setpriv").isEmpty())
        QSKIP("setpriv is needed to run the program unprivileged");
    if (kind == FileSizeLimit && QStandardPaths::findExecutable("prlimit").isEmpty())
        QSKIP("prlimit is needed to limit the file size");
    const QString problem = prepare(kind, work, &mountPoint);
    if (problem.startsWith(u"failed"))
        QFAIL(qPrintable(problem));
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));

    // A control file after the failing one, in a folder of its own: the batch goes on.
    const QString next = dir.filePath(QStringLiteral("next"));
    QVERIFY(QDir().mkdir(next) && ::chmod(QFile::encodeName(next).constData(), 0777) == 0);
    QVERIFY(writeFile(
        next + QStringLiteral("/next.ccd"), header + "[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n"));
    const QMap<QString, QByteArray> before = snapshot(work);
    const Run result = run({ inputName, QStringLiteral("../next/next.ccd") },
        needsUnprivileged(kind), kind == FileSizeLimit ? fileSizeLimit : 0);

    QVERIFY2(!result.crashed, "the program crashed or hung");
    QCOMPARE(result.status, status);
    QCOMPARE(result.out, QByteArray());
    // On the command line a folder stands for the discs below it, and this one has none.
    const QString reason = kind == InputIsAFolder ? QStringLiteral("no control file below it")
                                                  : reasonOf(kind, cueName, work);
    const QString expected = QStringLiteral("File Error: ") + inputName + QStringLiteral(": ")
        + (isReadFault(kind) ? QStringLiteral("Cannot read ") + inputName
                             : QStringLiteral("Cannot write ") + cueName)
        + QStringLiteral(":\n") + reason + u'\n';
    QCOMPARE(QString::fromUtf8(result.err), expected);
    // Nothing new, nothing half-written, the earlier .cue as it was.
    QCOMPARE(snapshot(work), before);
    QCOMPARE(readFile(next + QStringLiteral("/next.cue")),
        QByteArray(
            "FILE \"next.img\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n\r\n"));
}

void TestFaults::inputRemovedWhileRead()
{
    // A pipe in place of the control file lets the test remove the file
    // between the program's opening it and its reading the rest: once open,
    // the whole file is converted all the same.
    const QString input = work + u'/' + inputName;
    QVERIFY(::mkfifo(QFile::encodeName(input).constData(), 0644) == 0);

    QProcess process;
    process.setWorkingDirectory(work);
    process.setProcessEnvironment(withoutDisplay());
    process.start(program, { "--no-window", inputName });
    QVERIFY(process.waitForStarted());

    int writer = -1;
    QElapsedTimer timer;
    timer.start();
    while ((writer = ::open(QFile::encodeName(input).constData(), O_WRONLY | O_NONBLOCK)) < 0
        && errno == ENXIO && timer.elapsed() < 30000)
        QTest::qWait(5);
    QVERIFY2(writer >= 0, "the program never opened its input");
    QVERIFY(::fcntl(writer, F_SETFL, 0) == 0);

    const QByteArray first = header + "[TRACK 1]\r\nMODE=0\r\n";
    const QByteArray rest = "INDEX 1=0\r\n[TRACK 2]\r\nMODE=1\r\nINDEX 1=16957\r\n";
    QCOMPARE(::write(writer, first.constData(), size_t(first.size())), ssize_t(first.size()));
    QVERIFY(QFile::remove(input));
    QCOMPARE(::write(writer, rest.constData(), size_t(rest.size())), ssize_t(rest.size()));
    ::close(writer);

    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(readFile(work + u'/' + cueName),
        ("FILE \"" + baseName
            + ".img\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
              "  TRACK 02 MODE1/2352\r\n    INDEX 01 03:46:07\r\n\r\n")
            .toUtf8());
}

void TestFaults::interruptedWrite_data()
{
    QTest::addColumn<int>("signal");

    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestFaults::interruptedWrite()
{
    QFETCH(int, signal);

    // Without /proc the program cannot name an unnamed (O_TMPFILE) file at the
    // end, so it names its temporary file from the start, as it must on NFS.
    if (!isRoot())
        QSKIP("hiding /proc from the program needs root");
    // A container's root may lack CAP_SYS_ADMIN, which a mount namespace needs.
    if (const QString reason = whyProcCannotBeHidden(); !reason.isEmpty())
        QSKIP(qPrintable(
            "hiding /proc from the program in a mount namespace of its own failed: " + reason));

    // About 60 MB of cue sheet: the program is stopped as soon as its
    // temporary file appears, long before the write can end.
    QByteArray control = header;
    control += QByteArray("[TRACK 1]\r\nMODE=1\r\nINDEX 1=150\r\n").repeated(1300000);
    QVERIFY(writeFile(work + u'/' + inputName, control));
    QVERIFY(writeFile(work + u'/' + cueName, earlierCue));
    const QMap<QString, QByteArray> before = snapshot(work);

    const int watch = ::inotify_init1(IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(::inotify_add_watch(watch, QFile::encodeName(work).constData(), IN_CREATE) >= 0);
    QProcess process;
    process.setWorkingDirectory(work);
    process.setProcessEnvironment(withoutDisplay());
    process.setChildProcessModifier([] {
        if (hideProc() != 0)
            ::_exit(126);
    });
    process.start(program, { "--no-window", inputName });
    QVERIFY(process.waitForStarted());
    // The set's record comes first, then the temporary file, named after it with "-1".
    alignas(inotify_event) std::array<char, 4096> events{};
    pollfd ready{ watch, POLLIN, 0 };
    bool created = false;
    while (!created && ::poll(&ready, 1, 20000) == 1) {
        const ssize_t size = ::read(watch, events.data(), events.size());
        for (ssize_t at = 0; at < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events.data() + at);
            created = created || (event->len > 0 && QByteArray(event->name).endsWith("-1"));
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::kill(pid_t(process.processId()), SIGSTOP);
    ::close(watch);
    QVERIFY(created);
    QCOMPARE(QDir(work).entryList(QDir::Files | QDir::Hidden).size(), before.size() + 2);

    ::kill(pid_t(process.processId()), signal);
    ::kill(pid_t(process.processId()), SIGCONT);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    // The earlier .cue whole, and no temporary file left behind.
    QCOMPARE(snapshot(work), before);
}

// The three files of a set that fileSetWriter writes, the first and the last
// there before, and the arguments that have it write them: 64 KiB, 128 KiB
// and 4 KiB.
const QStringList setPaths{ QStringLiteral("Disc (Track 1).bin"),
    QStringLiteral("Disc (Track 2).bin"), QStringLiteral("Disc.cue") };

QStringList setArguments(const QString &claim, int waitAt)
{
    return { QStringLiteral("Disc.ccd"), claim, QString::number(waitAt), setPaths[0],
        QStringLiteral("64"), setPaths[1], QStringLiteral("128"), setPaths[2],
        QStringLiteral("4") };
}

bool makeSetFolder(const QString &work)
{
    return writeFile(work + QStringLiteral("/Disc.ccd"), header)
        && writeFile(work + u'/' + setPaths[0], "the earlier track 1")
        && writeFile(work + u'/' + setPaths[2], earlierCue);
}

void TestFaults::interruptedSetWrite_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("isNamed"); // the temporary files, /proc hidden from the writer

    for (const bool isNamed : { false, true }) {
        const char *temporary = isNamed ? "named" : "unnamed";
        QTest::addRow("SIGTERM, %s temporary files", temporary) << int(SIGTERM) << isNamed;
        QTest::addRow("SIGINT, %s temporary files", temporary) << int(SIGINT) << isNamed;
        QTest::addRow("SIGHUP, %s temporary files", temporary) << int(SIGHUP) << isNamed;
    }
}

// Interrupted while the second of three files is written: no temporary file
// left, the first one's complete one included, and nothing replaced.
void TestFaults::interruptedSetWrite()
{
    QFETCH(int, signal);
    QFETCH(bool, isNamed);

    if (const QString reason = whyTemporaryFilesCannotBe(isNamed); !reason.isEmpty())
        QSKIP(qPrintable(reason));

    QVERIFY(makeSetFolder(work));
    const QMap<QString, QByteArray> before = snapshot(work);
    QProcess writer;
    writer.setWorkingDirectory(work);
    if (isNamed) {
        writer.setChildProcessModifier([] {
            if (hideProc() != 0)
                ::_exit(126);
        });
    }
    writer.start(QStringLiteral(FILE_SET_WRITER_PATH), setArguments(QStringLiteral("none"), 2));
    QVERIFY(writer.waitForStarted());
    QByteArray said;
    while (!said.contains("writing 2\n") && writer.waitForReadyRead(30000))
        said += writer.readAllStandardOutput();
    QCOMPARE(said, QByteArray("content 1\ncontent 2\nwriting 2\n"));
    // Every file's temporary file, made before the first content, the first
    // one complete, the second half-written, and the set's record: named,
    // all stand in the folder, and the handler must remove them all.
    const QStringList temporaries =
        QDir(work).entryList({ QStringLiteral(".morvant-*") }, QDir::Files | QDir::Hidden);
    QCOMPARE(temporaries.size(), isNamed ? 4 : 0);
    QCOMPARE(snapshot(work).size(), before.size() + temporaries.size());

    ::kill(pid_t(writer.processId()), signal);
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    QCOMPARE(snapshot(work), before);
}

/// The hidden files of writings beside the set, by name.
QStringList leftoversIn(const QString &work)
{
    QStringList names =
        QDir(work).entryList({ QStringLiteral(".morvant-*") }, QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

/** Starts fileSetWriter in \a work with \a arguments, /proc hidden from it
    when \a isNamed, and waits until it says \a line. */
bool startWriter(QProcess &writer, const QString &work, const QStringList &arguments, bool isNamed,
    const QByteArray &line)
{
    writer.setWorkingDirectory(work);
    if (isNamed) {
        writer.setChildProcessModifier([] {
            if (hideProc() != 0)
                ::_exit(126);
        });
    }
    writer.start(QStringLiteral(FILE_SET_WRITER_PATH), arguments);
    if (!writer.waitForStarted())
        return false;
    QByteArray said;
    while (!said.contains(line) && writer.waitForReadyRead(30000))
        said += writer.readAllStandardOutput();
    return said.contains(line);
}

void TestFaults::setEndedByKill_data()
{
    QTest::addColumn<QString>("waitAt"); // fileSetWriter's WAIT_AT, where SIGKILL ends it
    QTest::addColumn<QString>("said"); // what it says there
    QTest::addColumn<bool>("isNamed"); // the temporary files from the start, /proc hidden
    QTest::addColumn<int>("left"); // hidden files left: the temporary files and the record
    QTest::addColumn<bool>("isSheetGone"); // the earlier .cue taken away

    // clang-format off
    QTest::newRow("in the second file, named temporary files")      << "2" << "writing 2" << true << 4 << false;
    QTest::newRow("in the second file, unnamed temporary files")    << "2" << "writing 2" << false << 0 << false;
    QTest::newRow("before the earlier sheet is taken away")         << "placing-0" << "placing 0" << false << 4 << false;
    QTest::newRow("before the first file is put in place")          << "placing-1" << "placing 1" << false << 4 << true;
    QTest::newRow("with the first file in place over an earlier set") << "placing-2" << "placing 2" << false << 3 << true;
    QTest::newRow("with two in place, named temporary files")       << "placing-3" << "placing 3" << true << 2 << true;
    // clang-format on
}

// SIGKILL, which no handler sees, at chosen points of a set's writing: no
// sheet ever names a set that is not whole, and the next writing in the
// folder removes what was left, saying so, and writes the set.
void TestFaults::setEndedByKill()
{
    QFETCH(QString, waitAt);
    QFETCH(QString, said);
    QFETCH(bool, isNamed);
    QFETCH(int, left);
    QFETCH(bool, isSheetGone);

    if (const QString reason = whyTemporaryFilesCannotBe(isNamed); !reason.isEmpty())
        QSKIP(qPrintable(reason));

    QVERIFY(makeSetFolder(work));
    QProcess writer;
    QStringList arguments = setArguments(QStringLiteral("none"), 0);
    arguments[2] = waitAt;
    QVERIFY(startWriter(writer, work, arguments, isNamed, said.toUtf8() + '\n'));
    ::kill(pid_t(writer.processId()), SIGKILL);
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

    const QString sheet = work + u'/' + setPaths[2];
    QCOMPARE(QFile::exists(sheet), !isSheetGone);
    if (!isSheetGone)
        QCOMPARE(readFile(sheet), earlierCue);
    const QStringList leftovers = leftoversIn(work);
    QCOMPARE(leftovers.isEmpty(), left == 0);

    QProcess next;
    next.setWorkingDirectory(work);
    next.start(QStringLiteral(FILE_SET_WRITER_PATH), setArguments(QStringLiteral("none"), 0));
    const Run result = finished(next, 60000);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QByteArray());
    QByteArray expected = "content 1\ncontent 2\ncontent 3\n";
    if (!leftovers.isEmpty()) {
        // The record last, so that no file is left without it.
        QStringList removed = leftovers.mid(1);
        removed.append(leftovers.first());
        expected += "note: removed what a writing of files here that was ended on the way left "
                    "behind: "
            + removed.join(QStringLiteral(", ")).toUtf8() + ".\n";
    }
    QCOMPARE(leftoversIn(work), QStringList());
    QCOMPARE(result.out, expected);
    QCOMPARE(QFileInfo(work + u'/' + setPaths[1]).size(), 128 * 1024);
    QCOMPARE(QFileInfo(sheet).size(), 4 * 1024);
    // Every file that the writing named, and its record.
    QCOMPARE(leftovers.size(), left);
}

// What another writing that still runs has made is left alone, and files
// that look like ours but cannot be told to be are named and left.
void TestFaults::leftoversNotKnownToBeOurs()
{
    QVERIFY(makeSetFolder(work));
    QProcess running;
    QVERIFY(startWriter(running, work,
        { QStringLiteral("Disc.ccd"), QStringLiteral("none"), QStringLiteral("placing-1"),
            QStringLiteral("Other (Track 1).bin"), QStringLiteral("8"), QStringLiteral("Other.cue"),
            QStringLiteral("4") },
        false, "placing 1\n"));
    const QStringList runningFiles = leftoversIn(work);
    QVERIFY(!runningFiles.isEmpty());
    // As today's program leaves them: named after no record. And a record
    // that is not one: it holds something else.
    QVERIFY(writeFile(work + QStringLiteral("/.morvant-Ab12Cd"), "a track's bytes"));
    QVERIFY(writeFile(work + QStringLiteral("/.morvant-zZ9yY8-2"), "another track's bytes"));

    QProcess next;
    next.setWorkingDirectory(work);
    next.start(QStringLiteral(FILE_SET_WRITER_PATH), setArguments(QStringLiteral("none"), 0));
    const Run result = finished(next, 60000);
    ::kill(pid_t(running.processId()), SIGKILL);
    QVERIFY(running.waitForFinished(30000));
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out,
        QByteArray("content 1\ncontent 2\ncontent 3\nnote: files named as MORVANT names its "
                   "temporary files, which cannot be told to be left by a writing that has "
                   "ended, are left as they are: .morvant-Ab12Cd, .morvant-zZ9yY8-2. Remove them "
                   "if no MORVANT is writing there.\n"));
    QStringList expected = runningFiles;
    expected << QStringLiteral(".morvant-Ab12Cd") << QStringLiteral(".morvant-zZ9yY8-2");
    expected.sort();
    QCOMPARE(leftoversIn(work), expected);
    QCOMPARE(readFile(work + QStringLiteral("/.morvant-Ab12Cd")), QByteArray("a track's bytes"));
    // The running writing's two files and their record.
    QCOMPARE(runningFiles.size(), 3);
}

void TestFaults::setWriteFaults_data()
{
    QTest::addColumn<int>("fault"); // DiskFull or FileSizeLimit
    QTest::addColumn<QString>("claim"); // whether the sizes are told for the room needed
    QTest::addColumn<QString>("said"); // on standard output: the contents that ran
    QTest::addColumn<QString>("error");

    // A 96 KiB tmpfs holds the first file (64 KiB) but not the second (128 KiB).
    QTest::newRow("disk full in the second file")
        << int(DiskFull) << "none"
        << "content 1\ncontent 2\n"
        << "Cannot write Disc (Track 2).bin:\nNo space left on device\n";
    // Told the sizes, the writer refuses before the first content runs.
    QTest::newRow("no room for the set") << int(DiskFull) << "claim"
                                         << ""
                                         << "Cannot write Disc (Track 1).bin:\nThere is not room "
                                            "for the files: they need 1 MB, and 0 MB are free; "
                                            "nothing is written.\n";
    QTest::newRow("file size limit in the second file")
        << int(FileSizeLimit) << "none"
        << "content 1\ncontent 2\n"
        << "Cannot write Disc (Track 2).bin:\nFile too large\n";
}

// The folder as it was after a write that fails in the middle of the set.
void TestFaults::setWriteFaults()
{
    QFETCH(int, fault);
    QFETCH(QString, claim);
    QFETCH(QString, said);
    QFETCH(QString, error);

    QStringList command{ QStringLiteral(FILE_SET_WRITER_PATH) };
    if (fault == DiskFull) {
        if (!isRoot()
            || ::mount("tmpfs", QFile::encodeName(work).constData(), "tmpfs", 0, "size=96k") != 0)
            QSKIP("mounting a small tmpfs needs root; the file size limit stands in for a full "
                  "disk");
        mountPoint = work;
    } else {
        if (QStandardPaths::findExecutable(QStringLiteral("prlimit")).isEmpty())
            QSKIP("prlimit is needed to limit the file size");
        // Above the first file, below the second.
        command = QStringList{
            QStringLiteral("prlimit"), QStringLiteral("--fsize=100000"), QStringLiteral("--")
        } + command;
    }
    QVERIFY(makeSetFolder(work));
    const QMap<QString, QByteArray> before = snapshot(work);

    QProcess writer;
    writer.setWorkingDirectory(work);
    writer.setChildProcessModifier([] { ::signal(SIGXFSZ, SIG_DFL); });
    const QString executable = command.takeFirst();
    writer.start(executable, command + setArguments(claim, 0));
    const Run result = finished(writer, 60000);
    QVERIFY2(!result.crashed, "the writer crashed or hung");
    QCOMPARE(result.status, 3);
    QCOMPARE(QString::fromUtf8(result.out), said);
    QCOMPARE(QString::fromUtf8(result.err), error);
    QCOMPARE(snapshot(work), before);
}

// A file of FLAGS lines alone has no track, which the one warning tells; nothing else is said.
bool isNoTracksWarningAlone(const QByteArray &err)
{
    return err.startsWith("morvant: warning: " + inputName.toUtf8()
               + ": The control file has no [TRACK] sections")
        && err.count('\n') == 1;
}

void TestFaults::largeCueSheetKeepsEveryCharacter()
{
    // The cue sheet is encoded 65536 UTF-16 units at a time. Characters
    // outside the BMP take two units; here the first of a pair stands last in
    // every piece, the case that must not be cut in two.
    const QString fileLine = "FILE \"" + baseName + ".img\" BINARY\r\n";
    const qsizetype pairsFrom = fileLine.size() + QStringLiteral("    FLAGS").size();
    const QString text = QString((65535 - pairsFrom) % 2, u'x')
        + QString::fromUtf8("\xF0\x9F\x92\xBF").repeated(70000);
    const QString cueSheet = fileLine + QStringLiteral("    FLAGS") + text + QStringLiteral("\r\n");
    QVERIFY(cueSheet[65535].isHighSurrogate() && cueSheet[2 * 65536 - 1].isHighSurrogate());

    QVERIFY(writeFile(work + u'/' + inputName, header + "FLAGS=" + text.toUtf8() + "\r\n"));
    const Run result = run({ inputName }, false);
    QVERIFY(!result.crashed);
    QVERIFY2(isNoTracksWarningAlone(result.err), result.err.constData());
    QCOMPARE(result.status, 0);
    QVERIFY(readFile(work + u'/' + cueName) == (cueSheet + QStringLiteral("\r\n")).toUtf8());
}

void TestFaults::linesAcrossReadChunks_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<qint64>("shift"); // of the line end against the end of a read

    // The program reads 64 KiB at a time: a line end or a keyword may be cut
    // in two by the end of a read, and a CR at the end of one read may be the
    // first half of a CR LF that the next one completes.
    for (const char *lineEnd : { "\r\n", "\n", "\r" }) {
        for (const qint64 shift : { -7, -2, -1, 0, 1, 3 }) {
            QTest::addRow("%s at %+lld", QByteArray(lineEnd).toPercentEncoding().constData(), shift)
                << QByteArray(lineEnd) << shift;
        }
    }
}

void TestFaults::linesAcrossReadChunks()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(qint64, shift);

    // FLAGS lines only, each giving back its text: the expected cue sheet
    // follows from the lines alone. A long line ends so that its line end
    // starts at byte n * 65536 - 1 + shift, for n = 1, 2, 3; short lines fill
    // the rest.
    QByteArray control = header;
    QByteArray expected = "FILE \"" + baseName.toUtf8() + ".img\" BINARY\r\n";
    for (int stretch = 1; stretch <= 3; ++stretch) {
        const qint64 endAt = stretch * qint64(65536) + shift;
        const qint64 room = endAt - control.size() - qint64(qstrlen("FLAGS=")) - 1;
        QVERIFY(room > 0);
        const QByteArray text = QByteArray::number(stretch) + QByteArray(room - 1, 'y');
        control += "FLAGS=" + text + lineEnd;
        expected += "    FLAGS" + text + "\r\n";
        QCOMPARE(qint64(control.size()) - lineEnd.size(), endAt - 1);
        // Short lines follow, so that keywords too fall across the next ends.
        for (int line = 0; line < 3000; ++line) {
            const QByteArray number = QByteArray::number(line % 10);
            control += "FLAGS=" + number + lineEnd;
            expected += "    FLAGS" + number + "\r\n";
            if (control.size() > (stretch + 1) * 65536 - 40000)
                break;
        }
    }
    QVERIFY(writeFile(work + u'/' + inputName, control));
    const Run result = run({ inputName }, false);
    QVERIFY(!result.crashed);
    QVERIFY2(isNoTracksWarningAlone(result.err), result.err.constData());
    QCOMPARE(result.status, 0);
    QVERIFY(readFile(work + u'/' + cueName) == expected + "\r\n");
}

void TestFaults::boundedCost_data()
{
    QTest::addColumn<QByteArray>("line"); // repeated after the header
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<qint64>("subSize"); // of a .sub of zeros beside it; 0 for none

    const QByteArray typical = "[TRACK 1]\r\nMODE=1\r\nINDEX 1=150\r\n";
    QTest::newRow("typical control file")
        << typical << qint64(3000) << 0 << QStringList() << qint64(0);
    // Sparse: it costs no disk space here, and must cost no time or memory there.
    QTest::newRow("4 GB file that is not a control file")
        << QByteArray() << (qint64(4) << 30) << 1 << QStringList() << qint64(0);
    QTest::newRow("200 MB of lines that fit no rule")
        << QByteArray("PreGapMode=2\r\n") << qint64(200000000) << 0 << QStringList() << qint64(0);
    QTest::newRow("200 MB of track lines")
        << typical << qint64(200000000) << 0 << QStringList() << qint64(0);
    // A .sub whose every block differs from the sheet: past a protected
    // disc's few, blocks are counted, not kept.
    const qint64 subSize = 96 * ((qint64(1) << 30) / 96); // whole blocks
    QTest::newRow("--sbi, a 1 GB .sub of zeros")
        << typical << qint64(3000) << 0 << QStringList{ "--sbi" } << subSize;
    QTest::newRow("--check, a 1 GB .sub of zeros")
        << typical << qint64(3000) << 1 << QStringList{ "--check" } << subSize;
}

void TestFaults::boundedCost()
{
    QFETCH(QByteArray, line);
    QFETCH(qint64, size);
    QFETCH(int, status);
    QFETCH(QStringList, options);
    QFETCH(qint64, subSize);

    if (isSanitized())
        QSKIP("memory and time are measured without AddressSanitizer, whose allocator keeps more");

    const QString input = work + u'/' + inputName;
    {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (line.isEmpty()) {
            QVERIFY(file.resize(size));
        } else {
            QVERIFY(file.write(header) == header.size());
            const QByteArray block = line.repeated(int(qMin<qint64>(size, 1048576) / line.size()));
            for (qint64 written = header.size(); written < size; written += block.size())
                QVERIFY(file.write(block) == block.size());
        }
    }

    const QString sub = work + u'/' + baseName + QStringLiteral(".sub");
    if (subSize > 0) {
        QFile file(sub);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(subSize));
    }

    // Run by hand: wait4() gives the peak resident memory of this one process.
    const QByteArray programPath = QFile::encodeName(program);
    const QByteArray folder = QFile::encodeName(work);
    struct Cost
    {
        qint64 milliseconds = 0;
        long peakKilobytes = 0;
        int status = -1;
    };
    const auto measured = [&](const QStringList &given, const QString &name) {
        QList<QByteArray> arguments{ "morvant", "--no-window" };
        for (const QString &option : given)
            arguments << option.toLatin1();
        arguments << QFile::encodeName(name);
        std::vector<char *> argv;
        for (QByteArray &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        QElapsedTimer timer;
        timer.start();
        const pid_t child = ::fork();
        if (child == 0) {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
            ::dup2(null, STDOUT_FILENO);
            if (::chdir(folder.constData()) == 0)
                ::execv(programPath.constData(), argv.data());
            ::_exit(127);
        }
        int wstatus = 0;
        rusage usage{};
        Cost cost;
        if (child > 0 && ::wait4(child, &wstatus, 0, &usage) == child && WIFEXITED(wstatus))
            cost = { timer.elapsed(), usage.ru_maxrss, WEXITSTATUS(wstatus) };
        return cost;
    };

    // Peak memory of a small conversion, measured beside each case: what the
    // program needs whatever the input, whichever case runs first.
    QVERIFY(writeFile(
        work + QStringLiteral("/Floor.ccd"), header + "[TRACK 1]\r\nMODE=1\r\nINDEX 1=150\r\n"));
    const Cost floor = measured({}, QStringLiteral("Floor.ccd"));
    QCOMPARE(floor.status, 0);
    QFile::remove(work + QStringLiteral("/Floor.ccd"));
    QFile::remove(work + QStringLiteral("/Floor.cue"));

    const Cost cost = measured(options, inputName);
    QCOMPARE(cost.status, status);
    const qint64 elapsed = cost.milliseconds;

    const long peak = cost.peakKilobytes;
    const qint64 cueSize = QFileInfo(work + u'/' + cueName).size();
    QFile::remove(input);
    QFile::remove(sub);
    QFile::remove(work + u'/' + cueName);
    qInfo("%s: %lld ms, peak %ld kB, cue sheet %lld bytes", QTest::currentDataTag(), elapsed, peak,
        cueSize);

    // The cue sheet is held once, as 16-bit text: two bytes a character. The
    // input is never held whole, whatever its size.
    const long allowed = floor.peakKilobytes + 64 * 1024 + long(2 * cueSize / 1024);
    QVERIFY2(peak <= allowed,
        qPrintable(QStringLiteral("peak %1 kB, allowed %2 kB").arg(peak).arg(allowed)));
    if (status != 0 && options.isEmpty())
        QVERIFY2(elapsed < 5000, "a file that is not a control file must be refused at once");
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
