#include "tst_faults.h"

#include "cueTextEdit.h"
#include "mainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace morvant;

// The file-system faults of tst_faults, met through the window's File > Open
// and a drop on its text area: each shows one message that names the path and
// the reason, writes nothing, and leaves the window as usable as before.

using namespace faults;

namespace {

struct Message
{
    QString text;
    QString title;
};

/** For as long as it lives, the test process's file access is judged as
    nobody's, not root's: the real and effective ids change (access(), which
    Qt uses, looks at the real one), the saved ones stay root so that the
    destructor can change back. Does nothing when not root. */
class Unprivileged
{
public:
    explicit Unprivileged(bool wanted) : active(wanted && isRoot())
    {
        if (active)
            active = ::setresgid(nobody, nobody, 0) == 0 && ::setresuid(nobody, nobody, 0) == 0;
    }
    ~Unprivileged()
    {
        if (active && (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0))
            qFatal("cannot become root again");
    }
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;

private:
    bool active;
};

/** For as long as it lives, files the process writes may not grow beyond
    fileSizeLimit. SIGXFSZ keeps its default action, which ends the process,
    as a shell leaves it: the program must keep it out itself, so that the
    write fails as on a full disk. */
class FileSizeLimited
{
public:
    explicit FileSizeLimited(bool wanted) : active(wanted)
    {
        if (!active)
            return;
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = fileSizeLimit;
        ::setrlimit(RLIMIT_FSIZE, &limited);
        previousHandler = std::signal(SIGXFSZ, SIG_DFL);
    }
    ~FileSizeLimited()
    {
        if (!active)
            return;
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimited(const FileSizeLimited &) = delete;
    FileSizeLimited &operator=(const FileSizeLimited &) = delete;

private:
    bool active;
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

} // namespace

class TestWindowFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void faults_data();
    void faults();

private:
    void convertBy(const QString &way, const QString &path);

    TestFolder dir{ TestFolder::Apart };
    QString work;
    QString mountPoint;
    MainWindow *window = nullptr;
    CueTextEdit *cueText = nullptr;
    QList<Message> messages;
};

void TestWindowFaults::init()
{
    if (!dir.init())
        return;
    work = makeWorkFolder(dir.path());
    QVERIFY(!work.isEmpty());

    messages.clear();
    window = new MainWindow([this](const QString &text, const QString &title) {
        messages.append({ text, title });
    });
    cueText = window->findChild<CueTextEdit *>(QStringLiteral("cueText"));
    QVERIFY(cueText);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestWindowFaults::cleanup()
{
    delete window;
    window = nullptr;
    release(dir.path(), &mountPoint);
    dir.cleanup();
}

void TestWindowFaults::convertBy(const QString &way, const QString &path)
{
    if (way == u"Open") {
        window->chooseFile = [path] { return path; };
        window->findChild<QAction *>(QStringLiteral("mnuOpen"))->trigger();
        return;
    }
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(path) });
    QWidget *target = cueText->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(
        at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    // The file is converted just after the drop has ended.
    QCoreApplication::sendPostedEvents(window, QEvent::MetaCall);
}

void TestWindowFaults::faults_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("fault");

    const QList<std::pair<const char *, Fault>> all = {
        { "folder not writable", FolderNotWritable },
        { "earlier .cue read-only", ReadOnlyCue },
        { ".cue name taken by a folder", CueNameIsAFolder },
        { "disk full in the middle of the write", DiskFull },
        { "file size limit in the middle of the write", FileSizeLimit },
        { ".cue is a link to the control file", CueLinksToInput },
        { ".cue is a link to the disc image", CueLinksToImage },
        { ".cue is a hard link to the disc image", CueIsHardLinkToImage },
        { ".cue is a dangling link", CueIsDanglingLink },
        { ".cue is a link to another file", CueLinksToOtherFile },
        { "input is a folder", InputIsAFolder },
        { "input is a dangling link", InputIsADanglingLink },
        { "input unreadable", InputUnreadable },
        { "input removed before it is read", InputMissing },
    };
    for (const QString way : { "Open", "drop" }) {
        for (const auto &[name, fault] : all) {
            // A folder dropped opens the disc list with its discs (tst_discList).
            if (way == u"drop" && fault == InputIsAFolder)
                continue;
            QTest::addRow("%s: %s", qPrintable(way), name) << way << int(fault);
        }
    }
}

void TestWindowFaults::faults()
{
    QFETCH(QString, way);
    QFETCH(int, fault);
    const auto kind = Fault(fault);

    const QString problem = prepare(kind, work, &mountPoint);
    if (problem.startsWith(u"failed"))
        QFAIL(qPrintable(problem));
    if (!problem.isEmpty())
        QSKIP(qPrintable(problem));

    const QString input = work + u'/' + inputName;
    const QString cue = work + u'/' + cueName;
    const QMap<QString, QByteArray> before = snapshot(work);
    {
        const Unprivileged unprivileged(needsUnprivileged(kind));
        const FileSizeLimited limited(kind == FileSizeLimit);
        convertBy(way, input);
    }

    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].title, QStringLiteral("File Error"));
    const QString reason =
        reasonOf(kind, QDir::toNativeSeparators(cue), QDir::toNativeSeparators(work));
    QCOMPARE(messages[0].text,
        (isReadFault(kind) ? QStringLiteral("Cannot read ") + QDir::toNativeSeparators(input)
                           : QStringLiteral("Cannot write ") + QDir::toNativeSeparators(cue))
            + QStringLiteral(":\n") + reason);
    QCOMPARE(window->findChild<QAction *>(QStringLiteral("mnuSave"))->isEnabled(), false);
    // A file that was not read leaves the prompt; a sheet that was not written stays shown.
    if (isReadFault(kind))
        QCOMPARE(
            cueText->text(), QStringLiteral("Click File->Open or drop a CCD file here to begin."));
    else
        QVERIFY(cueText->text().startsWith(
            QStringLiteral("FILE \"") + baseName + QStringLiteral(".img\"")));
    QCOMPARE(snapshot(work), before);

    // Still usable: the next conversion the same way goes through.
    messages.clear();
    release(dir.path(), &mountPoint);
    const QString good = dir.filePath("good.ccd");
    QVERIFY(writeFile(good, header + "[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n"));
    convertBy(way, good);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].title, QStringLiteral("Operation complete!"));
    QCOMPARE(readFile(dir.filePath("good.cue")),
        QByteArray(
            "FILE \"good.img\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n\r\n"));
    QVERIFY(window->isVisible() && window->isEnabled() && cueText->isEnabled());
}

QTEST_MAIN(TestWindowFaults)
#include "tst_windowFaults.moc"
