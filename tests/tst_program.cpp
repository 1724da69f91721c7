#include "controlFiles.h"
#include "windowDriver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The real program, started as a user starts it: the windows it shows, in
// which order, and how it ends, seen and driven through the system's windows
// and keyboard as a user would.

namespace {

/// The real program, run as a process of its own.
class Program
{
public:
    /// Without a file the main window opens at once.
    explicit Program(const QStringList &arguments = {}, const QString &folder = {})
    {
        process.setWorkingDirectory(folder);
        process.start(QStringLiteral(MORVANT_PATH), arguments);
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    /// The main window, once it is shown; empty if it never is.
    QString mainWindow()
    {
        if (window.isEmpty())
            window = waitForWindow(QStringLiteral("MORVANT by Tesselin"));
        return window;
    }

    /// The window titled \a title, once it shows; empty if it never does.
    QString waitForWindow(const QString &title) const
    {
        QString shown;
        for (int tries = 0; tries < 100 && shown.isEmpty(); ++tries) {
            shown = shownWindow(process.processId(), title);
            if (shown.isEmpty())
                QTest::qWait(100);
        }
        return shown;
    }

    /** Opens a menu of the main window with \a menuKey and, once it shows,
        chooses an item with \a itemKey. Returns whether the menu opened. */
    bool choose(const QString &menuKey, const QString &itemKey) const
    {
        const qsizetype before = visibleWindows(process.processId()).size();
        press(window, menuKey);
        // Pressed before the menu is up, the item's key would go to the text area.
        for (int tries = 0; tries < 50; ++tries) {
            if (visibleWindows(process.processId()).size() > before) {
                typeKey(itemKey);
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }

    /// Chooses Help > About in the main window; returns the About window shown.
    QString openAbout() const
    {
        if (!choose(QStringLiteral("alt+h"), QStringLiteral("a")))
            return {};
        for (int tries = 0; tries < 50; ++tries) {
            for (const QString &shown : visibleWindows(process.processId())) {
                if (shown != window && windowSize(shown) == QSize(492, 283))
                    return shown;
            }
            QTest::qWait(100);
        }
        return {};
    }

    bool isRunning() const { return process.state() == QProcess::Running; }

    /// Whether the program ends within \a milliseconds (or has ended already).
    bool ends(int milliseconds = 5000)
    {
        // The events processed while waiting may have seen it end already, and
        // waitForFinished() reports false for a process that is not running.
        return process.state() == QProcess::NotRunning || process.waitForFinished(milliseconds);
    }

    QProcess process;
    QString window;
};

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void exitEndsProgramWithAboutOpen();
    void refusedFileShowsItsMessageThenTheWindow();
    void closingMainWindow_data();
    void closingMainWindow();
    void fileDialogKeepsNoSettings();
    void warningShowsItsBoxThenEnds();
};

void TestProgram::exitEndsProgramWithAboutOpen()
{
    Program program;
    const QString main = program.mainWindow();
    QVERIFY2(!main.isEmpty(), "the main window did not show");
    QVERIFY2(!program.openAbout().isEmpty(), "Help > About showed no About window");

    QVERIFY(program.choose(QStringLiteral("alt+f"), QStringLiteral("x"))); // File > Exit
    QVERIFY(program.ends());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
}

void TestProgram::refusedFileShowsItsMessageThenTheWindow()
{
    QTemporaryDir dir;
    const QString junk = dir.filePath(QStringLiteral("junk.ccd"));
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a control file\r\n") > 0);
    file.close();
    Program program({ QDir::toNativeSeparators(junk) });

    // The message box comes first, while no window of the program shows.
    const QString box = program.waitForWindow(QStringLiteral("File Error"));
    QVERIFY2(!box.isEmpty(), "no \"File Error\" message box");
    QVERIFY(
        shownWindow(program.process.processId(), QStringLiteral("MORVANT by Tesselin")).isEmpty());
    press(box, QStringLiteral("Return")); // OK
    QVERIFY2(!program.mainWindow().isEmpty(), "the main window did not follow the message");
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("junk.cue"))));

    QVERIFY(program.choose(QStringLiteral("alt+f"), QStringLiteral("x"))); // File > Exit
    QVERIFY(program.ends());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 1); // the refusal's, whatever the window did after it
}

void TestProgram::closingMainWindow_data()
{
    QTest::addColumn<bool>("aboutOpen");
    QTest::newRow("About window open") << true;
    QTest::newRow("main window alone") << false;
}

void TestProgram::closingMainWindow()
{
    QFETCH(bool, aboutOpen);
    Program program;
    const QString main = program.mainWindow();
    QVERIFY2(!main.isEmpty(), "the main window did not show");
    const QString about = aboutOpen ? program.openAbout() : QString();
    QCOMPARE(about.isEmpty(), !aboutOpen);

    closeThroughFrame(main);
    if (!aboutOpen) {
        QVERIFY(program.ends());
        QCOMPARE(program.process.exitCode(), 0);
        return;
    }
    QVERIFY(QTest::qWaitFor(
        [&] { return !visibleWindows(program.process.processId()).contains(main); }));
    QTest::qWait(500);
    QVERIFY(program.isRunning());
    QCOMPARE(visibleWindows(program.process.processId()), QStringList({ about }));

    press(about, QStringLiteral("Return")); // OK
    QVERIFY(program.ends());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
}

// The program keeps no settings, and Qt's file dialog would keep its history
// and last folder where Qt keeps every program's, which no uninstaller clears.
void TestProgram::fileDialogKeepsNoSettings()
{
#ifdef Q_OS_WIN
    QSettings settings(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\QtProject\\OrganizationDefaults"),
        QSettings::NativeFormat);
#else
    QSettings settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/QtProject.conf"),
        QSettings::IniFormat);
#endif
    // What this test's own home or an earlier run left there (the window's
    // tests show the dialog in their own process) says nothing of the program.
    settings.remove(QStringLiteral("FileDialog"));
    settings.sync();

    QTemporaryDir dir;
    Program program({}, dir.path());
    QVERIFY2(!program.mainWindow().isEmpty(), "the main window did not show");
    QVERIFY(program.choose(QStringLiteral("alt+f"), QStringLiteral("o"))); // File > Open
    const QString title = QStringLiteral("Choose a File to Open...");
    const QString dialog = program.waitForWindow(title);
    QVERIFY2(!dialog.isEmpty(), "File > Open showed no dialog");
    closeThroughFrame(dialog);
    QVERIFY(
        QTest::qWaitFor([&] { return shownWindow(program.process.processId(), title).isEmpty(); }));
    QVERIFY(program.choose(QStringLiteral("alt+f"), QStringLiteral("x"))); // File > Exit
    QVERIFY(program.ends());
    QCOMPARE(program.process.exitCode(), 0);

    settings.sync();
    QCOMPARE(settings.childGroups(), QStringList());
}

// Started with a file, as Explorer's command starts it, a conversion that
// succeeds with warnings says so in a box each, where no console would show
// them, with the window's choices where the command line's options would be.
void TestProgram::warningShowsItsBoxThenEnds()
{
    QTemporaryDir dir;
    const QString disc = dir.filePath(QStringLiteral("disc.ccd"));
    ControlFile text;
    text.hasVersion = false;
    // No [TRACK] section, and no CD-Text pack: two warnings.
    text.trackLines = "[CDText]\nEntry 0=zz\n";
    QVERIFY(writeFile(disc, controlFile(text)));
    Program program({ QStringLiteral("--cdtext"), QDir::toNativeSeparators(disc) });

    for (int box = 0; box < 2; ++box) {
        const QString shown = program.waitForWindow(QStringLiteral("Warning"));
        QVERIFY2(!shown.isEmpty(), "no \"Warning\" message box");
        press(shown, QStringLiteral("Return")); // OK
        QVERIFY(QTest::qWaitFor([&] {
            return shownWindow(program.process.processId(), QStringLiteral("Warning")) != shown;
        }));
    }
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("disc.cue"))));
    QVERIFY(program.ends());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    const QByteArray told = program.process.readAllStandardError();
    QVERIFY(told.contains("CD-Text left out"));
    QVERIFY2(told.contains("Convert it with the \"Rebuild from the table of contents\" choice of "
                           "Convert in File > Disc List")
            && !told.contains("--"),
        told.constData());
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
