#include "aboutWindow.h"
#include "controlFiles.h"
#include "conversion.h"
#include "cueFile.h"
#include "cueTextEdit.h"
#include "helpViewer.h"
#include "mainWindow.h"
#include "widgetHelpers.h"
#include "windowDriver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace morvant;

namespace {

/** The bytes of the Latin-1 name that the window has as \a name, with U+FFFD
    for the byte 0xE9 that is not UTF-8: "Caf\xE9.ccd" for "Caf\uFFFD.ccd". */
QByteArray latin1Name(const QString &name)
{
    return QFile::encodeName(name).replace("\xEF\xBF\xBD", "\xE9");
}

struct Message
{
    QString text;
    QString title;
    // What the window showed when the message came.
    QString shownText;
    QString cuePath;
    bool saveEnabled = false;
    bool busyCursor = false;
    bool progressShown = false;
};

const QString prompt = QStringLiteral("Click File->Open or drop a CCD file here to begin.");
const QString lineEnd = QStringLiteral("\r\n");
const QString success = QStringLiteral("Operation complete!");
const QString fileError = QStringLiteral("File Error");

// An audio track, then a data track after a pregap.
QByteArray twoTrackFile()
{
    ControlFile file;
    file.tracks = { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x06, 1, "DCP", 16807, 16957 } };
    return controlFile(file);
}

const QByteArray demoFile = twoTrackFile();
const QByteArray otherControlFile = crlf("[CloneCD]\nSessions=1\n[TRACK 1]\nMODE=2\nINDEX 1=150\n");
const QByteArray notControlFile = crlf("[Disc]\nSessions=1\n");
const QByteArray twoSessions = crlf("[CloneCD]\nSessions=2\n");

/** How many pixels of \a area in \a image stand out from its commonest
    lightness by more than half the scale: those of its text, where the text
    can be read. */
int standingOut(const QImage &image, const QRect &area)
{
    QList<int> count(256, 0);
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++count[qGray(image.pixel(x, y))];
    }
    const auto commonest = int(std::max_element(count.begin(), count.end()) - count.begin());
    int standing = 0;
    for (int lightness = 0; lightness < 256; ++lightness) {
        if (qAbs(lightness - commonest) > 128)
            standing += count[lightness];
    }
    return standing;
}

QStringList titles(const QList<Message> &messages)
{
    QStringList result;
    for (const Message &message : messages)
        result.append(message.title);
    return result;
}

// The clipboard's content by kind: a text (possibly empty), only an image, or nothing.
void setClipboard(const QString &kind, const QString &text = {})
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (kind == u"text") {
        clipboard->setText(text);
    } else if (kind == u"image") {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        clipboard->setImage(image);
    }
}

QList<QString> helpFilesShown; // the help viewer's calls, by file

void recordHelp(const helpViewer::Request &request)
{
    helpFilesShown += QString::fromLocal8Bit(request.helpFile);
}

// Runs a check once a popup or a modal window is up, so that a blocking exec()
// can be looked into and closed. It keeps watching until it goes out of scope.
class WhenUp
{
public:
    WhenUp(const std::function<bool()> &isUp, const std::function<void()> &check)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, isUp, check] {
            if (isUp()) {
                timer.stop();
                check();
            }
        });
        timer.start(10);
    }

private:
    QTimer timer;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuItems_data();
    void menuItems();
    void layout();
    void resizing_data();
    void resizing();
    void longLineIsNotWrapped();

    void convert_data();
    void convert();
    void cancelledOpen();
    void openDialog();
    void openDialogFromOwnFolder();
    void drop_data();
    void drop();
    void saveItem_data();
    void saveItem();
    void writeFailure_data();
    void writeFailure();
    void answersWhileConverting_data();
    void answersWhileConverting();

    void enablingStep_data();
    void enablingStep();
    void editCommands_data();
    void editCommands();
    void disabledShortcuts_data();
    void disabledShortcuts();
    void rightPress_data();
    void rightPress();
    void noOtherContextMenu();

    void mainWindowAbout();
    void mainWindowWorksWhileAboutOpen();
    void helpContents();

    void messageBox_data();
    void messageBox();
    void exitEndsProgram();

private:
    template <typename T> T *find(const char *name) const
    {
        T *child = window->findChild<T *>(QLatin1String(name));
        if (!child)
            qWarning("no %s", name);
        return child;
    }
    QAction *action(const char *name) const { return find<QAction>(name); }
    QMenu *editMenu() const { return find<QMenu>("mnuEdit"); }
    // As the file dialog and a drop give paths: with the system's separators.
    QString path(const QString &name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    void convertBy(const QString &way, const QString &file);
    bool sendDrop(QMimeData *data, bool *enterAccepted = nullptr, Qt::DropAction *action = nullptr);
    void setSelection(const QString &text, int start, int length);
    void movePointer(QWidget *widget, QPoint pos);
    void openEditMenuFromBar();
    void clickEditItem(QAction *item);
    void closeEditMenu();
    void enableAllEditItems();
    QByteArray commandLineOutput(const QString &file);

    TestFolder dir{ TestFolder::Apart };
    MainWindow *window = nullptr;
    CueTextEdit *cueText = nullptr;
    QList<Message> messages;
    qsizetype shownInsideDrop = 0; ///< messages shown while the last drop was handled
};

void TestMainWindow::initTestCase()
{
    // The dialog is driven from the test, so it must be Qt's own.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestMainWindow::init()
{
    if (!dir.init())
        return;
    messages.clear();
    window = new MainWindow([this](const QString &text, const QString &title) {
        const auto *progress = window->findChild<QDialog *>(QStringLiteral("progress"));
        messages.append(
            { text, title, cueText->text(), window->cuePath, action("mnuSave")->isEnabled(),
                QGuiApplication::overrideCursor() != nullptr, progress && progress->isVisible() });
    });
    cueText = find<CueTextEdit>("cueText");
    QVERIFY(cueText);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
    dir.cleanup();
    // The About window belongs to the application, not to the main window.
    for (AboutWindow *about : aboutWindows())
        delete about;
    QVERIFY(!AboutWindow::instance());
}

void TestMainWindow::convertBy(const QString &way, const QString &file)
{
    if (way == u"open") {
        window->chooseFile = [file] { return file; };
        action("mnuOpen")->trigger();
    } else {
        auto *data = new QMimeData;
        // A file manager sends a name that is not UTF-8 by its bytes: Caf%E9.ccd.
        data->setUrls({ file.contains(QChar::ReplacementCharacter)
                ? QUrl::fromEncoded("file://" + latin1Name(file).toPercentEncoding("/"))
                : QUrl::fromLocalFile(file) });
        sendDrop(data);
        delete data;
        QCOMPARE(shownInsideDrop, 0);
    }
}

bool TestMainWindow::sendDrop(QMimeData *data, bool *enterAccepted, Qt::DropAction *dropAction)
{
    QWidget *target = cueText->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(
        at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (enterAccepted)
        *enterAccepted = enter.isAccepted();
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    const qsizetype before = messages.size();
    QApplication::sendEvent(target, &drop);
    // No box inside the drop: it would hold the drag source until closed.
    shownInsideDrop = messages.size() - before;
    QCoreApplication::sendPostedEvents(window, QEvent::MetaCall);
    if (dropAction)
        *dropAction = drop.dropAction();
    return drop.isAccepted();
}

void TestMainWindow::setSelection(const QString &text, int start, int length)
{
    cueText->setText(text);
    cueText->setSelectionStart(start);
    cueText->setSelectionLength(length);
}

// As a user does, the pointer goes to the title or item before it clicks: a
// menu takes a release close to where the pointer stood when it opened for
// the end of the click that opened it, and Qt 6.5 and later know where the
// pointer stands only from the moves they have seen. QTest::mouseMove moves
// the system's pointer, whose move can reach the program later (under wine
// it does), so each move is awaited, for a second at most: wine makes none
// for some moves, and what the test checks next tells. A pointer already
// there makes no move, so it steps aside first.
void TestMainWindow::movePointer(QWidget *widget, QPoint pos)
{
    struct Arrival : QObject
    {
        QPoint at;
        bool seen = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::MouseMove)
                seen = seen || static_cast<QMouseEvent *>(event)->globalPosition().toPoint() == at;
            return false;
        }
    } arrival;
    QCoreApplication::instance()->installEventFilter(&arrival);
    for (const QPoint step : { pos + QPoint(1, 1), pos }) {
        arrival.at = widget->mapToGlobal(step);
        if (QCursor::pos() == arrival.at)
            continue;
        arrival.seen = false;
        QTest::mouseMove(widget, step);
        static_cast<void>(QTest::qWaitFor([&] { return arrival.seen; }, 1000));
    }
}

void TestMainWindow::openEditMenuFromBar()
{
    QMenuBar *bar = window->menuBar();
    const QPoint title = bar->actionGeometry(editMenu()->menuAction()).center();
    movePointer(bar, title);
    QTest::mouseClick(bar, Qt::LeftButton, {}, title);
    QVERIFY(QTest::qWaitFor([&] { return editMenu()->isVisible(); }));
}

void TestMainWindow::clickEditItem(QAction *item)
{
    const QPoint center = editMenu()->actionGeometry(item).center();
    movePointer(editMenu(), center);
    QTest::mouseClick(editMenu(), Qt::LeftButton, {}, center);
}

void TestMainWindow::closeEditMenu()
{
    QTest::keyClick(editMenu(), Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return !editMenu()->isVisible(); }));
    // The menu bar keeps the keyboard after a popup's Escape; give it back.
    if (window->menuBar()->hasFocus() || !cueText->hasFocus())
        QTest::keyClick(window->menuBar(), Qt::Key_Escape);
    cueText->setFocus();
}

// Shortcuts act on the states of the last opening of the Edit menu.
void TestMainWindow::enableAllEditItems()
{
    setSelection(QStringLiteral("x"), 0, 1);
    setClipboard(QStringLiteral("text"), QStringLiteral("x"));
    openEditMenuFromBar();
    closeEditMenu();
    for (const char *name : { "mnuCut", "mnuCopy", "mnuPaste", "mnuSelectAll" })
        QVERIFY2(action(name)->isEnabled(), name);
}

// What the command line writes for the same file.
QByteArray TestMainWindow::commandLineOutput(const QString &file)
{
    const QString expected = path(QStringLiteral("expected/out.cue"));
    QDir(dir.path()).mkpath(QStringLiteral("expected"));
    QString error;
    const QString sheet = ccdToCue(file, [](const QString &, const QString &) {});
    if (sheet.isEmpty() || !writeCueFile(expected, sheet, &error))
        return QByteArray("<nothing written>");
    return readFile(expected);
}

void TestMainWindow::menuItems_data()
{
    QTest::addColumn<QString>("menu"); // empty for the menu bar
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("enabled");

    const QKeySequence none;
    // clang-format off
    QTest::newRow("mnuFile")         << "" << 0 << "&File" << none << true;
    QTest::newRow("mnuOpen")         << "mnuFile" << 0 << "&Open" << QKeySequence("Ctrl+O") << true;
    QTest::newRow("mnuSave")         << "mnuFile" << 1 << "&Save" << QKeySequence("Ctrl+S") << false;
    QTest::newRow("mnuDiscList")     << "mnuFile" << 2 << "Disc &List..." << QKeySequence("Ctrl+L") << true;
    QTest::newRow("mnuExit")         << "mnuFile" << 3 << "E&xit" << none << true;
    QTest::newRow("mnuEdit")         << "" << 1 << "&Edit" << none << true;
    QTest::newRow("mnuCut")          << "mnuEdit" << 0 << "Cut" << QKeySequence("Ctrl+X") << false;
    QTest::newRow("mnuCopy")         << "mnuEdit" << 1 << "Copy" << QKeySequence("Ctrl+C") << false;
    QTest::newRow("mnuPaste")        << "mnuEdit" << 2 << "&Paste" << QKeySequence("Ctrl+V") << false;
    QTest::newRow("mnuSelectAll")    << "mnuEdit" << 3 << "Select All" << QKeySequence("Ctrl+A") << true;
    QTest::newRow("mnuHelp")         << "" << 2 << "&Help" << none << true;
    QTest::newRow("mnuHelpContents") << "mnuHelp" << 0 << "&Contents..." << QKeySequence("F1") << false;
    QTest::newRow("mnuAbout")        << "mnuHelp" << 1 << "&About" << none << true;
    // clang-format on
}

void TestMainWindow::menuItems()
{
    QFETCH(QString, menu);
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, enabled);

    const QList<QAction *> items = menu.isEmpty()
        ? window->menuBar()->actions()
        : find<QMenu>(menu.toLatin1().constData())->actions();
    QCOMPARE(items.size(),
        menu.isEmpty()           ? 3
            : menu == u"mnuEdit" ? 4
            : menu == u"mnuFile" ? 4
                                 : 2);
    QAction *item = items.at(index);
    QCOMPARE(item->objectName(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(item->text(), caption);
    QCOMPARE(item->shortcut(), shortcut);
    QCOMPARE(item->isEnabled(), enabled);
    QVERIFY(item->isVisible());
    QVERIFY(!item->isSeparator());
    QVERIFY(!item->isCheckable());
    if (menu.isEmpty())
        QCOMPARE(item->menu()->objectName(), item->objectName());
}

void TestMainWindow::layout()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("MORVANT by Tesselin"));
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)));
    QVERIFY(iconSizes.contains(QSize(32, 32)));

    QCOMPARE(window->centralWidget()->size(), QSize(593, 545));
    QCOMPARE(cueText->geometry(), QRect(0, 0, 593, 545));
    const QRect available = window->screen()->availableGeometry();
    QVERIFY2((window->geometry().center() - available.center()).manhattanLength() < 60,
        "the window is not centred");

    QCOMPARE(cueText->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(cueText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(cueText->horizontalScrollBar()->isVisible());
    QVERIFY(cueText->verticalScrollBar()->isVisible());
    QCOMPARE(cueText->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(!cueText->isReadOnly());

    const QFontInfo font(cueText->font());
    QCOMPARE(cueText->font().family(), QStringLiteral("Courier New"));
    QVERIFY2(font.fixedPitch(), qPrintable(font.family()));
    QVERIFY(font.bold());
    QCOMPARE(font.pointSize(), 9);

    QCOMPARE(cueText->text(), prompt + lineEnd);
    QCOMPARE(cueText->text().size(), 52);
    QCOMPARE(cueText->toPlainText(), prompt + u'\n');
    QCOMPARE(cueText->document()->blockCount(), 2);

    QCOMPARE(QApplication::focusWidget(), cueText);
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget != cueText && widget->isVisibleTo(window))
            QVERIFY2(!(widget->focusPolicy() & Qt::TabFocus), widget->metaObject()->className());
    }

    // Ctrl+End at start: the caret stands on the empty second line, after the CR LF.
    QTest::keyClick(cueText, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(cueText->textCursor().blockNumber(), 1);
    QCOMPARE(cueText->selectionStart(), 52);

    // Select All before the Edit menu ever opened: the whole prompt, CR LF included.
    QSignalSpy selectAll(action("mnuSelectAll"), &QAction::triggered);
    QTest::keyClick(cueText, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(selectAll.count(), 1);
    QCOMPARE(cueText->selectionStart(), 0);
    QCOMPARE(cueText->selectionLength(), 52);
    QVERIFY(cueText->textCursor().atEnd());
}

void TestMainWindow::resizing_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(900, 800);
    QTest::newRow("smaller") << QSize(300, 200);
    QTest::newRow("narrow and tall") << QSize(200, 900);
}

void TestMainWindow::resizing()
{
    QFETCH(QSize, size);
    window->resize(size);
    QVERIFY(QTest::qWaitFor([&] { return window->size() == size; }));
    QCOMPARE(cueText->geometry(), QRect(0, 0, 593, 545));
}

void TestMainWindow::longLineIsNotWrapped()
{
    cueText->setText(QString(400, u'x') + lineEnd);
    QCOMPARE(cueText->document()->blockCount(), 2);
    QScrollBar *bar = cueText->horizontalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QTest::keyClick(cueText, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(cueText, Qt::Key_End);
    QVERIFY(QTest::qWaitFor([&] { return bar->value() > 0; }));
    QVERIFY(cueText->viewport()->rect().contains(cueText->cursorRect()));
}

void TestMainWindow::convert_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // empty: a folder of that name
    QTest::addColumn<QString>("cueFile");
    QTest::addColumn<QStringList>("titles");
    // What the last message tells besides the confirmation, %1 for the file's path
    QTest::addColumn<QString>("told");
    // The image written beside it: empty for the one the sheet names, "-" for none
    QTest::addColumn<QString>("image");

    const QStringList converted = { success };
    const QString sessionsAdvice =
        "Only single-session discs are supported.\n\nConvert it with the \"All sessions\" choice "
        "of Convert in File > Disc List, which makes a cue sheet of all its sessions; Check in "
        "File > Disc List checks it first.";
    const QByteArray tocAlone = dumpFile(QByteArray());
    const QString noTracks = "\n\nWarning: %1: The control file has no [TRACK] sections: the cue "
                             "sheet names no track, and "
                             "some programs hang on such a sheet. Convert it with the \"Rebuild "
                             "from the table of contents\" choice of Convert in "
                             "File > Disc List, which takes the tracks from the table of contents, "
                             "or make the image again with a program that "
                             "writes [TRACK] sections.";
    const QByteArray scrambled = dumpFile(twoTracks, twoAudioTracks, "DataTracksScrambled=1\n");
    const QString scrambledWarning =
        "\n\nWarning: %1: line 6: DataTracksScrambled=1: the image holds its data tracks "
        "scrambled. Programs that load a cue sheet expect plain sectors; make the image again "
        "without scrambling the data tracks.";
    // clang-format off
    QTest::newRow("open a control file")    << "open" << "Game.ccd" << demoFile << "Game.cue" << converted << "" << QString();
    QTest::newRow("drop a control file")    << "drop" << "Game.ccd" << demoFile << "Game.cue" << converted << "" << QString();
    QTest::newRow("open upper-case name")   << "open" << "GAME.CCD" << demoFile << "GAME.cue" << converted << "" << QString();
    QTest::newRow("drop spaces and accents") << "drop" << "Démo Disc.ccd" << otherControlFile << "Démo Disc.cue" << converted << "" << QString();
    QTest::newRow("drop a .txt name")       << "drop" << "Game.txt" << demoFile << "Game.cue" << converted << "" << QString();
    QTest::newRow("open dots in the name")  << "open" << "a.b.ccd" << otherControlFile << "a.b.cue" << converted << "" << QString();
    QTest::newRow("open not a control file") << "open" << "Game.ccd" << notControlFile << "Game.cue" << QStringList{fileError} << "" << QString();
    QTest::newRow("drop not a control file") << "drop" << "Game.ccd" << notControlFile << "Game.cue" << QStringList{fileError} << "" << QString();
    // Refused here, the disc converts in the disc list, which the message names after its own words.
    QTest::newRow("open two sessions")      << "open" << "Game.ccd" << twoSessions << "Game.cue" << QStringList{"Disc Format Error"} << sessionsAdvice << QString();
    QTest::newRow("drop two sessions")      << "drop" << "Game.ccd" << twoSessions << "Game.cue" << QStringList{"Disc Format Error"} << sessionsAdvice << QString();
    // A sheet that will not work comes with what the command line warns of, in the window's words.
    QTest::newRow("open a table of contents alone") << "open" << "Game.ccd" << tocAlone << "Game.cue" << converted << noTracks << QString();
    QTest::newRow("drop a scrambled image") << "drop" << "Game.ccd" << scrambled << "Game.cue" << converted << scrambledWarning << QString();
    // The same when the image is not there, or not under the name the sheet gives it.
    const QString imageMissing = "\n\nWarning: %1: The image %2 that the cue sheet names is not "
        "beside the control file. Put the image beside the control file under that name, or "
        "rename the control file after the image.";
    QTest::newRow("open without its image") << "open" << "Game.ccd" << demoFile << "Game.cue" << converted << imageMissing << "-";
#ifdef Q_OS_UNIX
    const QString otherCase = "\n\nWarning: %1: The image %2 that the cue sheet names is not "
        "beside the control file. There is GAME.IMG, whose name differs in case: rename it to GAME.img.";
    QTest::newRow("drop beside its image in capitals") << "drop" << "GAME.CCD" << demoFile << "GAME.cue" << converted << otherCase << "GAME.IMG";
#endif
    QTest::newRow("open a folder")          << "open" << "Folder.ccd" << QByteArray() << "Folder.cue" << QStringList{fileError} << "" << QString();
    // Latin-1 "Caf\xE9.ccd" reaches the window as "Caf\uFFFD.ccd", the name of
    // another file beside it, which is never converted in its stead.
    QTest::newRow("open a name not UTF-8 beside its look-alike") << "open" << "Caf\uFFFD.ccd" << otherControlFile << "Caf\uFFFD.cue" << QStringList{fileError} << "" << QString();
    QTest::newRow("drop a name not UTF-8 beside its look-alike") << "drop" << "Caf\uFFFD.ccd" << otherControlFile << "Caf\uFFFD.cue" << QStringList{fileError} << "" << QString();
#ifdef Q_OS_WIN
    // Code page 1252 cannot hold the name: the sheet names the image by its
    // short name, and the window says so with its confirmation.
    const QString shortName = "\n\nWarning: %1: The system's code page cannot hold the image's name ";
    QTest::newRow("open a name beyond the code page") << "open" << "ゲーム.ccd" << demoFile << "ゲーム.cue" << converted << shortName << QString();
    QTest::newRow("drop a name beyond the code page") << "drop" << "ゲーム.ccd" << demoFile << "ゲーム.cue" << converted << shortName << QString();
#endif
    // clang-format on
}

void TestMainWindow::convert()
{
    QFETCH(QString, way);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, cueFile);
    QFETCH(QStringList, titles);
    QFETCH(QString, told);
    QFETCH(QString, image);

    const QString input = path(file);
    if (content.isEmpty())
        QVERIFY(QDir(dir.path()).mkdir(file));
    else
        QVERIFY(writeFile(input, content));
    if (image != u'-')
        QVERIFY(writeFile(image.isEmpty() ? input.chopped(4) + ".img" : path(image), "image"));
    if (told.contains(u"%2"))
        told = told.arg(u"%1", QDir::toNativeSeparators(input.chopped(4) + ".img"));
    const bool isLatin1 = file.contains(QChar::ReplacementCharacter);
#ifdef Q_OS_UNIX
    // QTemporaryDir cannot remove a name that Qt cannot encode.
    const QByteArray latin1Path = latin1Name(input);
    const auto removeLatin1 = qScopeGuard([&] { ::unlink(latin1Path.constData()); });
    if (isLatin1) {
        const int made = ::open(latin1Path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(made >= 0
            && ::write(made, demoFile.constData(), size_t(demoFile.size())) == demoFile.size()
            && ::close(made) == 0);
    }
#else
    if (isLatin1)
        QSKIP("Windows names files in UTF-16: every name reaches the window whole");
#endif
    const QString cuePath = path(cueFile);
    const bool converts = titles.endsWith(success);
    const QByteArray expected = converts ? commandLineOutput(input) : QByteArray();
    window->cuePath = QStringLiteral("earlier.cue");
    // The text area changes only while the conversion runs.
    QList<Qt::CursorShape> cursorsWhileShown;
    const QObject watching;
    connect(cueText->document(), &QTextDocument::contentsChanged, &watching, [&] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        cursorsWhileShown.append(cursor ? cursor->shape() : Qt::ArrowCursor);
    });

    convertBy(way, input);

    // Busy while the conversion runs; never over a message box or afterwards.
    QVERIFY(!cursorsWhileShown.isEmpty());
    if (converts)
        QCOMPARE(cursorsWhileShown.constFirst(), Qt::WaitCursor);
    QVERIFY(!messages.isEmpty() && !messages.constFirst().busyCursor);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(::titles(messages), titles);
    QCOMPARE(window->cuePath, cuePath);
    if (converts) {
        const QString sheet = ccdToCue(input, [](const QString &, const QString &) {});
        // Shown, written and made saveable before the confirmation comes.
        const QString confirmation = QStringLiteral("Cuesheet created successfully.");
        if (told.isEmpty())
            QCOMPARE(messages.constLast().text, confirmation);
        else
            QVERIFY2(messages.constLast().text.startsWith(
                         confirmation + told.arg(QDir::toNativeSeparators(input))),
                qPrintable(messages.constLast().text));
        QCOMPARE(messages.constLast().shownText, sheet);
        QVERIFY(messages.constLast().saveEnabled);
        if (told.contains(u"short name"))
            QVERIFY2(messages[0].text.contains("by its short name") && !sheet.contains("ゲーム"),
                qPrintable(messages[0].text));
        QCOMPARE(cueText->text(), sheet);
        QCOMPARE(readFile(cuePath), expected);
        // One byte a character in Windows' ANSI code page, as many as UTF-8 takes elsewhere.
        QCOMPARE(readFile(cuePath).size(), sheet.toLocal8Bit().size() + 2);
        QVERIFY(action("mnuSave")->isEnabled());
    } else {
        // Open names the .cue file before converting, a drop after.
        QCOMPARE(messages[0].cuePath, way == u"open" ? cuePath : QStringLiteral("earlier.cue"));
        QCOMPARE(messages[0].shownText, prompt + lineEnd);
        QCOMPARE(cueText->text(), prompt);
        if (!told.isEmpty())
            QCOMPARE(messages[0].text, told);
        QVERIFY(!QFile::exists(cuePath));
        QVERIFY(!action("mnuSave")->isEnabled());
    }
    if (isLatin1) {
        QCOMPARE(messages[0].text,
            "Cannot read " + QDir::toNativeSeparators(input)
                + ":\nIts name holds bytes that are not UTF-8, which the window cannot open; "
                  "convert it from the command line, or rename the file.");
        QCOMPARE(QDir(dir.path()).entryList({ QStringLiteral("*.cue") }), QStringList());
    }
}

void TestMainWindow::cancelledOpen()
{
    const QString input = path(QStringLiteral("Game.ccd"));
    QVERIFY(writeFile(input, demoFile));
    window->chooseFile = [] { return QString(); };
    action("mnuOpen")->trigger();
    QVERIFY(messages.isEmpty());
    QCOMPARE(cueText->text(), prompt + lineEnd);
    QVERIFY(window->cuePath.isEmpty());
    QVERIFY(!action("mnuSave")->isEnabled());
    QVERIFY(!QFile::exists(path(QStringLiteral("Game.cue"))));
}

// The real dialog: its title and filter, the last choice preselected, and a
// cancel that never converts the earlier choice again.
void TestMainWindow::openDialog()
{
    const QString input = path(QStringLiteral("Game.ccd"));
    QVERIFY(writeFile(input, demoFile));
    const auto dialog = [] {
        return qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    };

    QString title;
    QStringList filters;
    const WhenUp chosen([&] { return dialog() != nullptr; },
        [&] {
            title = dialog()->windowTitle();
            filters = dialog()->nameFilters();
            dialog()->selectFile(input);
            QMetaObject::invokeMethod(dialog(), "accept");
        });
    QTest::keyClick(cueText, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(title, QStringLiteral("Choose a File to Open..."));
    QCOMPARE(filters, QStringList{ QStringLiteral("CCD Files (*.ccd)") });
    QCOMPARE(::titles(messages), QStringList{ success });
    QVERIFY(QFile::remove(path(QStringLiteral("Game.cue"))));

    QStringList preselected;
    const WhenUp cancelled([&] { return dialog() != nullptr; },
        [&] {
            preselected = dialog()->selectedFiles();
            dialog()->reject();
        });
    action("mnuOpen")->trigger();
    // Qt's dialog speaks in its own separators on every system.
    QCOMPARE(preselected, QStringList{ QDir::fromNativeSeparators(input) });
    QCOMPARE(::titles(messages), QStringList{ success });
    QVERIFY(!QFile::exists(path(QStringLiteral("Game.cue"))));
}

// Started in its own folder, as the installer's shortcut starts it, the
// program opens its dialog in the user's documents.
void TestMainWindow::openDialogFromOwnFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY(QDir().mkpath(documents));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QCoreApplication::applicationDirPath()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(before); });
    MainWindow fresh([](const QString &, const QString &) {});
    QString shown;
    const WhenUp up([] { return qobject_cast<QFileDialog *>(QApplication::activeModalWidget()); },
        [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            shown = dialog->directory().absolutePath();
            dialog->reject();
        });
    fresh.findChild<QAction *>(QStringLiteral("mnuOpen"))->trigger();
    QCOMPARE(QDir(shown), QDir(documents));
}

void TestMainWindow::drop_data()
{
    QTest::addColumn<QStringList>("urls"); // names in the folder, or whole URLs
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enterAccepted");
    QTest::addColumn<bool>("dropAccepted");
    QTest::addColumn<QStringList>("titles");

    const QStringList none;
    // clang-format off
    QTest::newRow("one file")          << QStringList{"a.ccd"} << "" << true << true << QStringList{success};
    QTest::newRow("two files")         << QStringList{"a.ccd", "b.ccd"} << "" << true << false << QStringList{"Ack! Too much!"};
    QTest::newRow("three files")       << QStringList{"a.ccd", "b.ccd", "c.ccd"} << "" << true << false << QStringList{"Ack! Too much!"};
    QTest::newRow("text")              << none << "C:\\Discs\\a.ccd" << false << false << none;
    QTest::newRow("web link")          << QStringList{"http://example.org/a.ccd"} << "" << false << false << none;
    QTest::newRow("file and web link") << QStringList{"a.ccd", "http://example.org/b.ccd"} << "" << true << true << QStringList{success};
    // clang-format on
}

void TestMainWindow::drop()
{
    QFETCH(QStringList, urls);
    QFETCH(QString, text);
    QFETCH(bool, enterAccepted);
    QFETCH(bool, dropAccepted);
    QFETCH(QStringList, titles);

    QMimeData data;
    QList<QUrl> list;
    for (const QString &name : urls) {
        if (name.startsWith(u"http")) {
            list.append(QUrl(name));
        } else {
            QVERIFY(writeFile(path(name), demoFile));
            list.append(QUrl::fromLocalFile(path(name)));
        }
    }
    if (!list.isEmpty())
        data.setUrls(list);
    if (!text.isEmpty())
        data.setText(text);
    cueText->setText(QStringLiteral("edited"));
    cueText->setSelectionStart(3);

    bool entered = false;
    Qt::DropAction effect = Qt::CopyAction;
    QCOMPARE(sendDrop(&data, &entered, &effect), dropAccepted);
    QCOMPARE(shownInsideDrop, 0);
    QCOMPARE(entered, enterAccepted);
    QCOMPARE(::titles(messages), titles);
    if (dropAccepted) {
        QCOMPARE(effect, Qt::CopyAction);
        QCOMPARE(window->cuePath, path(QStringLiteral("a.cue")));
        QVERIFY(QFile::exists(window->cuePath));
        return;
    }
    if (!titles.isEmpty()) {
        QCOMPARE(messages[0].text, QStringLiteral("Only one file can be loaded at a time."));
        QCOMPARE(effect, Qt::IgnoreAction);
    }
    // Nothing converted, nothing inserted, nothing named.
    QCOMPARE(cueText->text(), QStringLiteral("edited"));
    QVERIFY(window->cuePath.isEmpty());
    QVERIFY(!action("mnuSave")->isEnabled());
    QCOMPARE(QDir(dir.path()).entryList({ QStringLiteral("*.cue") }, QDir::Files), QStringList());
}

void TestMainWindow::saveItem_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("successes");

    // clang-format off
    QTest::newRow("a conversion enables it")      << QStringList{"convert"} << true << 1;
    QTest::newRow("its click disables it")        << QStringList{"convert", "edit", "save"} << false << 1;
    QTest::newRow("Ctrl+S disables it")           << QStringList{"convert", "ctrl+s"} << false << 1;
    QTest::newRow("a second conversion")          << QStringList{"convert", "convert other"} << true << 2;
    QTest::newRow("a refused file leaves it on")  << QStringList{"convert", "refused"} << true << 1;
    QTest::newRow("a refused file leaves it off") << QStringList{"convert", "save", "refused"} << false << 1;
    QTest::newRow("a conversion after a save")    << QStringList{"convert", "save", "convert other"} << true << 2;
    // clang-format on
}

void TestMainWindow::saveItem()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, enabled);
    QFETCH(int, successes);

    QVERIFY(writeFile(path(QStringLiteral("a.ccd")), demoFile));
    QVERIFY(writeFile(path(QStringLiteral("b.ccd")), otherControlFile));
    QVERIFY(writeFile(path(QStringLiteral("bad.ccd")), notControlFile));
    for (const QString &step : steps) {
        if (step == u"convert")
            convertBy(QStringLiteral("open"), path(QStringLiteral("a.ccd")));
        else if (step == u"convert other")
            convertBy(QStringLiteral("drop"), path(QStringLiteral("b.ccd")));
        else if (step == u"refused")
            convertBy(QStringLiteral("drop"), path(QStringLiteral("bad.ccd")));
        else if (step == u"edit")
            QTest::keyClicks(cueText, QStringLiteral("typed"));
        else if (step == u"save")
            action("mnuSave")->trigger();
        else if (step == u"ctrl+s")
            QTest::keyClick(cueText, Qt::Key_S, Qt::ControlModifier);
    }
    QCOMPARE(action("mnuSave")->isEnabled(), enabled);
    QCOMPARE(::titles(messages).count(success), successes);
    // Each written file holds its own conversion, whatever was typed or saved since.
    QCOMPARE(
        readFile(path(QStringLiteral("a.cue"))), commandLineOutput(path(QStringLiteral("a.ccd"))));
    if (steps.contains(QStringLiteral("convert other")))
        QCOMPARE(readFile(path(QStringLiteral("b.cue"))),
            commandLineOutput(path(QStringLiteral("b.ccd"))));
}

void TestMainWindow::writeFailure_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("saveBefore");

    // clang-format off
    QTest::newRow("open, a folder in the way")  << "open" << "Game.ccd" << false;
    QTest::newRow("drop, a folder in the way")  << "drop" << "Game.ccd" << true;
    QTest::newRow("drop, the sheet would replace the control file") << "drop" << "Game.cue" << false;
    QTest::newRow("open, the sheet would replace the control file") << "open" << "Game.cue" << true;
    // clang-format on
}

void TestMainWindow::writeFailure()
{
    QFETCH(QString, way);
    QFETCH(QString, file);
    QFETCH(bool, saveBefore);

    const QString input = path(file);
    QVERIFY(writeFile(input, demoFile));
    const QString cuePath = path(QStringLiteral("Game.cue"));
    if (file != u"Game.cue")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Game.cue")));
    if (saveBefore) {
        QVERIFY(writeFile(path(QStringLiteral("other.ccd")), otherControlFile));
        convertBy(QStringLiteral("open"), path(QStringLiteral("other.ccd")));
        QVERIFY(action("mnuSave")->isEnabled());
        messages.clear();
    }

    convertBy(way, input);

    QCOMPARE(::titles(messages), QStringList{ fileError });
    QVERIFY2(
        messages[0].text.contains(QDir::toNativeSeparators(cuePath)), qPrintable(messages[0].text));
    QCOMPARE(cueText->text(), ccdToCue(input, [](const QString &, const QString &) {}));
    QCOMPARE(action("mnuSave")->isEnabled(), saveBefore);
    if (file == u"Game.cue")
        QCOMPARE(readFile(input), demoFile);
    else
        QVERIFY(QFileInfo(cuePath).isDir());
}

void TestMainWindow::answersWhileConverting_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<QByteArray>("repeated"); // after a header
    QTest::addColumn<int>("mebibytes"); // as many as this

    // clang-format off
    QTest::newRow("open a file of many tracks")          << "open" << crlf("[TRACK 1]\nMODE=1\nINDEX 1=150\n") << 2;
    QTest::newRow("drop many tracks with pregaps and flags") << "drop" << crlf("[TRACK 2]\nMODE=0\nFLAGS= DCP\nINDEX 0=0\nINDEX 1=150\n") << 2;
    // clang-format on
}

// A control file of megabytes, as a broken dump or a hostile one makes: the
// window shows and writes what the command line writes, shows how far it has
// come, and goes on answering while the sheet comes into the text area, which
// takes it several times as long as the command line takes for the whole
// file. It converts and writes in one go, as the command line does, and goes
// no longer without running its event loop than the longer of twice the
// command line's time for the same file (measured here: a busy machine slows
// both alike, not always at the same moment) and a quarter of its own wait,
// which leaves room for the time a system takes to show a dialog the first
// time. Filling the text area in one go takes several times the command line's.
void TestMainWindow::answersWhileConverting()
{
    QFETCH(QString, way);
    QFETCH(QByteArray, repeated);
    QFETCH(int, mebibytes);

    QByteArray content = crlf("[CloneCD]\nVersion=3\n[Disc]\nSessions=1\n");
    const qsizetype size = qsizetype(mebibytes) * 1024 * 1024;
    content.reserve(size + repeated.size());
    while (content.size() < size)
        content += repeated;
    const QString input = path(QStringLiteral("Large.ccd"));
    QVERIFY(writeFile(input, content));
    QVERIFY(writeFile(path(QStringLiteral("Large.img")), "image"));

    // What the command line does with the file, at the better of two tries.
    QElapsedTimer clock;
    qint64 commandLine = std::numeric_limits<qint64>::max();
    QByteArray expected;
    for (int run = 0; run < 2; ++run) {
        clock.start();
        expected = commandLineOutput(input);
        commandLine = qMin(commandLine, clock.elapsed());
    }
    QVERIFY(expected.size() > 100000);

    window->progressDelay = 0;
    qint64 longestStall = 0;
    bool progressShown = false;
    QList<int> progressValues;
    QElapsedTimer sinceTick;
    QTimer ticking;
    connect(&ticking, &QTimer::timeout, this, [&] {
        longestStall = qMax(longestStall, sinceTick.restart());
        const auto *progress = window->findChild<QDialog *>(QStringLiteral("progress"));
        if (!progress || !progress->isVisible())
            return;
        progressShown = true;
        const auto *bar = progress->findChild<QProgressBar *>();
        if (bar && (progressValues.isEmpty() || progressValues.constLast() != bar->value()))
            progressValues.append(bar->value());
    });
    ticking.start(5);
    sinceTick.start();
    clock.start();
    convertBy(way, input);
    const qint64 wait = clock.elapsed();
    longestStall = qMax(longestStall, sinceTick.elapsed());
    ticking.stop();

    QCOMPARE(titles(messages), QStringList{ success });
    QCOMPARE(readFile(path(QStringLiteral("Large.cue"))), expected);
    QCOMPARE(messages.constFirst().shownText.toLocal8Bit() + "\r\n", expected);
    QVERIFY(messages.constFirst().saveEnabled);
    QVERIFY(!messages.constFirst().busyCursor);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    // The progress comes, moves on while the sheet is shown, and is gone
    // before the confirmation.
    QVERIFY(progressShown);
    QVERIFY2(progressValues.size() >= 2, qPrintable(QString::number(progressValues.size())));
    QVERIFY(!messages.constFirst().progressShown);
    QVERIFY(!window->findChild<QDialog *>(QStringLiteral("progress")));
    QVERIFY2(longestStall <= qMax(commandLine * 2, wait / 4),
        qPrintable(QStringLiteral("The window did not answer for %1 ms of its %2; the command "
                                  "line took %3 ms for the whole file.")
                       .arg(longestStall)
                       .arg(wait)
                       .arg(commandLine)));
}

void TestMainWindow::enablingStep_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("clipboardText");
    QTest::addColumn<bool>("cutCopy");
    QTest::addColumn<bool>("paste");

    for (const QString how : { "menu bar", "popup" }) {
        const auto row = [&](const char *name) {
            return &QTest::newRow(qPrintable(how + QStringLiteral(", ") + QLatin1String(name)));
        };
        // clang-format off
        *row("nothing selected, text on the clipboard") << how << "abc" << 1 << 0 << "text" << "x" << false << true;
        *row("one character, empty clipboard")      << how << "abc" << 1 << 1 << "none" << "" << true << false;
        *row("only a line end selected")            << how << "a\r\nb" << 1 << 2 << "none" << "" << true << false;
        *row("empty text area, text on clipboard")  << how << "" << 0 << 0 << "text" << "x" << false << true;
        *row("all selected, only an image")         << how << "abc" << 0 << 3 << "image" << "" << true << false;
        *row("an empty text on the clipboard")      << how << "abc" << 0 << 3 << "text" << "" << true << false;
        // clang-format on
    }
    QTest::newRow("access key, selection and text") << "access key"
                                                    << "abc" << 0 << 2 << "text"
                                                    << "x" << true << true;
}

void TestMainWindow::enablingStep()
{
    QFETCH(QString, how);
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QString, clipboard);
    QFETCH(QString, clipboardText);
    QFETCH(bool, cutCopy);
    QFETCH(bool, paste);

    // The opposite states first, so that every item must be set.
    for (const char *name : { "mnuCut", "mnuCopy" })
        action(name)->setEnabled(!cutCopy);
    action("mnuPaste")->setEnabled(!paste);
    setSelection(text, start, length);
    setClipboard(clipboard, clipboardText);

    QList<bool> shown;
    const auto record = [&] {
        for (const char *name : { "mnuCut", "mnuCopy", "mnuPaste", "mnuSelectAll" })
            shown.append(action(name)->isEnabled());
    };
    if (how == u"popup") {
        const WhenUp popup([&] { return QApplication::activePopupWidget() == editMenu(); },
            [&] {
                record();
                editMenu()->close();
            });
        QTest::mousePress(cueText->viewport(), Qt::RightButton, {}, QPoint(20, 20));
        QTest::mouseRelease(cueText->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    } else {
        if (how == u"access key")
            QTest::keyClick(cueText, Qt::Key_E, Qt::AltModifier);
        else
            openEditMenuFromBar();
        QVERIFY(QTest::qWaitFor([&] { return editMenu()->isVisible(); }));
        record();
        closeEditMenu();
    }
    QCOMPARE(shown, (QList<bool>{ cutCopy, cutCopy, paste, true }));

    // Until the menu opens again the states stay, whatever happens meanwhile.
    setSelection(QStringLiteral("xyz"), 0, cutCopy ? 0 : 2);
    setClipboard(paste ? QStringLiteral("none") : QStringLiteral("text"), QStringLiteral("y"));
    QCOMPARE(action("mnuCut")->isEnabled(), cutCopy);
    QCOMPARE(action("mnuCopy")->isEnabled(), cutCopy);
    QCOMPARE(action("mnuPaste")->isEnabled(), paste);
}

void TestMainWindow::editCommands_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("clipboard"); // "<image>": only an image
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedClipboard");
    QTest::addColumn<int>("expectedStart");
    QTest::addColumn<int>("expectedLength");

    const QString both = QStringLiteral("menu,shortcut");
    const QString image = QStringLiteral("<image>");
    const QString abc = QStringLiteral("abc\r\ndef");
    const QString all = prompt + lineEnd;
    const QString lines = QStringLiteral("ab\r\n").repeated(1000);
    struct Row
    {
        const char *name;
        QString item;
        QString ways;
        QString text;
        int start;
        int length;
        QString clipboard;
        QString expectedText;
        QString expectedClipboard;
        int expectedStart;
        int expectedLength;
    };
    // clang-format off
    const QList<Row> rows = {
        {"cut a word", "mnuCut", both, abc, 1, 2, "old", "a\r\ndef", "bc", 1, 0},
        {"cut across a line end", "mnuCut", both, abc, 2, 3, "old", "abdef", "c\r\n", 2, 0},
        // The editor claims Ctrl+X; only the window's command empties the clipboard here.
        {"cut with nothing selected", "mnuCut", "shortcut", abc, 3, 0, "old", abc, "", 3, 0},
        {"copy a line end", "mnuCopy", both, abc, 3, 2, "old", abc, "\r\n", 3, 2},
        {"copy with nothing selected", "mnuCopy", "shortcut", abc, 3, 0, "old", abc, "", 3, 0},
        // A selection ending inside a line end takes all of it; one starting inside starts after it.
        {"copy ending inside a line end", "mnuCopy", "menu", abc, 2, 2, "old", abc, "c\r\n", 2, 3},
        {"copy starting inside a line end", "mnuCopy", "menu", abc, 4, 2, "old", abc, "de", 5, 2},
        {"cut far down a long text", "mnuCut", "menu", lines, 2001, 4, "old", lines.left(2001) + lines.mid(2005), "b\r\na", 2001, 0},
        {"paste over a selection", "mnuPaste", both, abc, 0, 3, "xyz", "xyz\r\ndef", "xyz", 3, 0},
        {"paste restores a line break", "mnuPaste", both, "abdef", 2, 0, "c\r\n", abc, "c\r\n", 5, 0},
        {"paste a bare line feed", "mnuPaste", both, "ab", 1, 0, "x\ny", "ax\r\nyb", "x\ny", 5, 0},
        {"paste without text deletes", "mnuPaste", "shortcut", abc, 1, 2, image, "a\r\ndef", "", 1, 0},
        {"paste without text, nothing selected", "mnuPaste", "shortcut", abc, 5, 0, image, abc, "", 5, 0},
        {"select all of the prompt", "mnuSelectAll", both, all, 10, 0, "old", all, "old", 0, 52},
        {"select all of nothing", "mnuSelectAll", both, "", 0, 0, "old", "", "old", 0, 0},
        {"select all after a selection", "mnuSelectAll", both, abc, 5, 2, "old", abc, "old", 0, 8},
    };
    // clang-format on
    for (const Row &row : rows) {
        for (const QString &way : row.ways.split(u',')) {
            QTest::newRow(qPrintable(QLatin1String(row.name) + QStringLiteral(" by ") + way))
                << row.item << way << row.text << row.start << row.length << row.clipboard
                << row.expectedText << row.expectedClipboard << row.expectedStart
                << row.expectedLength;
        }
    }
}

void TestMainWindow::editCommands()
{
    QFETCH(QString, item);
    QFETCH(QString, way);
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QString, clipboard);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedClipboard);
    QFETCH(int, expectedStart);
    QFETCH(int, expectedLength);

    const bool imageOnly = clipboard == u"<image>";
    const auto prepare = [&] {
        setSelection(text, start, length);
        setClipboard(imageOnly ? QStringLiteral("image") : QStringLiteral("text"), clipboard);
    };
    QAction *command = action(item.toLatin1().constData());
    QSignalSpy triggered(command, &QAction::triggered);
    // Cut and Paste of a large sheet take seconds: the cursor says so while the text changes.
    QList<Qt::CursorShape> cursorsWhileChanged;
    QObject watching;
    const auto watch = [&] {
        connect(cueText->document(), &QTextDocument::contentsChanged, &watching, [&] {
            const QCursor *cursor = QGuiApplication::overrideCursor();
            cursorsWhileChanged.append(cursor ? cursor->shape() : Qt::ArrowCursor);
        });
    };

    if (way == u"menu") {
        prepare();
        watch();
        openEditMenuFromBar();
        QVERIFY(command->isEnabled());
        clickEditItem(command);
        QVERIFY(QTest::qWaitFor([&] { return !editMenu()->isVisible(); }));
    } else {
        enableAllEditItems();
        prepare();
        watch();
        QVERIFY(cueText->hasFocus());
        QTest::keySequence(cueText, command->shortcut());
    }

    QCOMPARE(triggered.count(), 1);
    QCOMPARE(cursorsWhileChanged.isEmpty(), expectedText == text);
    for (const Qt::CursorShape shape : std::as_const(cursorsWhileChanged))
        QCOMPARE(shape, Qt::WaitCursor);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(cueText->text(), expectedText);
    QCOMPARE(QGuiApplication::clipboard()->text(), expectedClipboard);
    if (imageOnly)
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasImage());
    QCOMPARE(cueText->selectionStart(), expectedStart);
    QCOMPARE(cueText->selectionLength(), expectedLength);
    QCOMPARE(cueText->selectedText().size(), expectedLength);
    QVERIFY(messages.isEmpty());
}

void TestMainWindow::disabledShortcuts_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QKeySequence>("keys");

    QTest::newRow("Ctrl+X") << "mnuCut" << QKeySequence(Qt::CTRL | Qt::Key_X);
    QTest::newRow("Ctrl+C") << "mnuCopy" << QKeySequence(Qt::CTRL | Qt::Key_C);
    QTest::newRow("Ctrl+V") << "mnuPaste" << QKeySequence(Qt::CTRL | Qt::Key_V);
    QTest::newRow("F1") << "mnuHelpContents" << QKeySequence(Qt::Key_F1);
}

// A disabled item's shortcut never runs its command; the editor's own handling
// of the key still hands out line ends as CR LF.
void TestMainWindow::disabledShortcuts()
{
    QFETCH(QString, item);
    QFETCH(QKeySequence, keys);

    QAction *command = action(item.toLatin1().constData());
    QVERIFY(!command->isEnabled());
    QSignalSpy triggered(command, &QAction::triggered);
    setSelection(QStringLiteral("abc\r\ndef"), 2, 3);
    setClipboard(QStringLiteral("text"), QStringLiteral("old"));

    QTest::keySequence(cueText, keys);
    QCOMPARE(triggered.count(), 0);
    if (item == u"mnuCopy")
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("c\r\n"));
}

void TestMainWindow::rightPress_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("choice"); // an item to click in the popup, or none
    QTest::addColumn<QString>("primary"); // the X11 primary selection; empty: none at all

    // clang-format off
    QTest::newRow("right")             << Qt::RightButton << Qt::KeyboardModifiers() << "" << "";
    QTest::newRow("right, choose Copy") << Qt::RightButton << Qt::KeyboardModifiers() << "mnuCopy" << "";
    QTest::newRow("right with Shift, choose Select All") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << "mnuSelectAll" << "";
    QTest::newRow("right with Ctrl")   << Qt::RightButton << Qt::KeyboardModifiers(Qt::ControlModifier) << "" << "";
    QTest::newRow("right with Alt")    << Qt::RightButton << Qt::KeyboardModifiers(Qt::AltModifier) << "" << "";
    QTest::newRow("right with Ctrl+Shift, choose Cut") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier) << "mnuCut" << "";
    QTest::newRow("left")              << Qt::LeftButton << Qt::KeyboardModifiers() << "" << "";
    QTest::newRow("middle, nothing to paste") << Qt::MiddleButton << Qt::KeyboardModifiers() << "" << "";
    QTest::newRow("middle, pastes the primary selection") << Qt::MiddleButton << Qt::KeyboardModifiers() << "" << "xyz";
    // clang-format on
}

void TestMainWindow::rightPress()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, choice);
    QFETCH(QString, primary);
#ifdef Q_OS_WIN
    if (!primary.isEmpty())
        QSKIP("Windows has no primary selection");
#endif

    const QString text = QStringLiteral("abc\r\ndef\r\n");
    setSelection(text, 1, 5);
    setClipboard(QStringLiteral("none"));
    if (primary.isEmpty())
        QGuiApplication::clipboard()->clear(QClipboard::Selection);
    else
        QGuiApplication::clipboard()->setText(primary, QClipboard::Selection);
    const QPoint at = cueText->viewport()->rect().center();

    QList<bool> enabledChanges;
    struct Watch : QObject
    {
        QList<bool> *changes;
        QWidget *watched;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if (object == watched && event->type() == QEvent::EnabledChange)
                changes->append(watched->isEnabled());
            return false;
        }
    } watch;
    watch.changes = &enabledChanges;
    watch.watched = cueText;
    cueText->installEventFilter(&watch);

    bool opened = false;
    QPoint menuAt;
    QList<bool> states;
    QList<bool> changesBeforeShowing;
    bool enabledWhileShown = false;
    // Watches every press, so that a wrong popup is seen and closed too.
    const WhenUp popup([&] { return QApplication::activePopupWidget() == editMenu(); },
        [&] {
            opened = true;
            menuAt = editMenu()->pos();
            changesBeforeShowing = enabledChanges;
            enabledWhileShown = cueText->isEnabled();
            for (const char *name : { "mnuCut", "mnuCopy", "mnuPaste", "mnuSelectAll" })
                states.append(action(name)->isEnabled());
            if (choice.isEmpty()) {
                QTest::keyClick(editMenu(), Qt::Key_Escape);
            } else {
                clickEditItem(action(choice.toLatin1().constData()));
            }
        });
    // The popup opens on the press: the test returns from it before any release.
    movePointer(cueText->viewport(), at);
    QTest::mousePress(cueText->viewport(), button, modifiers, at);
    const QWidget *popupAfterPress = QApplication::activePopupWidget();
    QTest::mouseRelease(cueText->viewport(), button, modifiers, at);
    cueText->removeEventFilter(&watch);

    if (button != Qt::RightButton) {
        QVERIFY(!opened);
        QVERIFY(!popupAfterPress);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(enabledChanges.isEmpty());
        // The editor's own handling: the caret goes where pressed, and a
        // middle click pastes the primary selection when there is one.
        if (button == Qt::LeftButton)
            QCOMPARE(cueText->textCursor().position(), cueText->cursorForPosition(at).position());
        else
            QCOMPARE(cueText->text().size(), text.size() + primary.size());
        QVERIFY(cueText->text().contains(primary));
        return;
    }
    QVERIFY(opened);
    QVERIFY(!popupAfterPress);
    QCOMPARE(changesBeforeShowing, (QList<bool>{ false, true }));
    QVERIFY(enabledWhileShown);
    QVERIFY((menuAt - cueText->viewport()->mapToGlobal(at)).manhattanLength() <= 2);
    // The press left the selection alone, so Cut and Copy are offered for it.
    QCOMPARE(states, (QList<bool>{ true, true, false, true }));
    QVERIFY(cueText->isEnabled());
    QVERIFY(cueText->hasFocus());

    const QString selected = QStringLiteral("bc\r\nd");
    if (choice.isEmpty() || choice == u"mnuCopy") {
        QCOMPARE(cueText->text(), text);
        QCOMPARE(cueText->selectionStart(), 1);
        QCOMPARE(cueText->selectionLength(), 5);
        QCOMPARE(QGuiApplication::clipboard()->text(), choice.isEmpty() ? QString() : selected);
    } else if (choice == u"mnuCut") {
        QCOMPARE(cueText->text(), QStringLiteral("aef\r\n"));
        QCOMPARE(QGuiApplication::clipboard()->text(), selected);
    } else {
        QCOMPARE(cueText->selectionStart(), 0);
        QCOMPARE(cueText->selectionLength(), text.size());
    }
}

// A context menu event, from the keyboard's menu key or the mouse, shows nothing.
void TestMainWindow::noOtherContextMenu()
{
    bool popupSeen = false;
    const WhenUp popup([] { return QApplication::activePopupWidget() != nullptr; },
        [&] {
            popupSeen = true;
            QApplication::activePopupWidget()->close();
        });
    QContextMenuEvent keyboard(
        QContextMenuEvent::Keyboard, QPoint(5, 5), cueText->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(cueText, &keyboard);
    QContextMenuEvent mouse(
        QContextMenuEvent::Mouse, QPoint(5, 5), cueText->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(cueText->viewport(), &mouse);
    QTest::qWait(100);
    QVERIFY(!popupSeen);
    QVERIFY(!QApplication::activePopupWidget());
}

// The message box of the program itself: modal, the text and title, one OK
// button and no icon.
void TestMainWindow::messageBox_data()
{
    QTest::addColumn<bool>("blackScheme");
    QTest::newRow("the system's colours") << false;
    // Under wine, whose theme draws light parts, the white text of the menu
    // bar and of the box vanished.
    QTest::newRow("a black high-contrast scheme") << true;
}

void TestMainWindow::messageBox()
{
    QFETCH(bool, blackScheme);
    if (blackScheme && !useBlackSchemeColours(true))
        QSKIP("Only Windows has a high-contrast scheme's colours for a test to set");
    // The window changes the application's style under such a scheme.
    const QString styleName = QApplication::style()->name();
    const auto restored = qScopeGuard([&] {
        if (blackScheme)
            useBlackSchemeColours(false);
        if (QApplication::style()->name() != styleName)
            QApplication::setStyle(styleName);
    });
    MainWindow real(showMessageBox);
    real.show();
    QVERIFY(QTest::qWaitForWindowExposed(&real));
    // Each label of the menu bar stands out from the bar.
    QMenuBar *bar = real.menuBar();
    const QImage barImage = bar->grab().toImage();
    for (QAction *menu : bar->actions())
        QVERIFY2(standingOut(barImage, bar->actionGeometry(menu)) >= 10, qPrintable(menu->text()));
    CueTextEdit *text = real.findChild<CueTextEdit *>(QStringLiteral("cueText"));
    QVERIFY(text);
    const QString before = text->text();

    QString shownText;
    QString shownTitle;
    QMessageBox::Icon icon = QMessageBox::Critical;
    Qt::TextFormat format = Qt::RichText;
    int buttons = 0;
    bool modal = false;
    bool textStandsOut = false;
    bool okStandsOut = false;
    const WhenUp boxUp(
        [] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr; },
        [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            shownText = box->text();
            shownTitle = box->windowTitle();
            icon = box->icon();
            format = box->textFormat();
            buttons = static_cast<int>(box->buttons().size());
            modal = box->isModal();
            // The text and the OK label stand out from what they are drawn on.
            const QImage boxImage = box->grab().toImage();
            const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            textStandsOut = label && standingOut(boxImage, label->geometry()) >= 50;
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            okStandsOut = standingOut(boxImage, ok->geometry()) >= 10;
            QTest::mouseClick(ok, Qt::LeftButton);
        });
    QVERIFY(!real.dropFiles({ path(QStringLiteral("a.ccd")), path(QStringLiteral("b.ccd")) }));
    QCOMPARE(shownText, QStringLiteral("Only one file can be loaded at a time."));
    QCOMPARE(shownTitle, QStringLiteral("Ack! Too much!"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(format, Qt::PlainText); // text from a file is never taken as markup
    QCOMPARE(buttons, 1);
    QVERIFY(modal);
    QVERIFY(textStandsOut);
    QVERIFY(okStandsOut);
    QCOMPARE(text->text(), before);
}

void TestMainWindow::mainWindowAbout()
{
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // The program icon, with both of its images.
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    QCOMPARE(
        window->windowIcon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32),
        QImage(QStringLiteral(MORVANT_ART_DIR "/morvant-32.png"))
            .convertToFormat(QImage::Format_ARGB32));

    auto *about = window->findChild<QAction *>(QStringLiteral("mnuAbout"));
    QVERIFY(about);
    QVERIFY(about->isEnabled());
    QVERIFY(!AboutWindow::instance());
    about->trigger();
    QPointer<AboutWindow> shown = AboutWindow::instance();
    QVERIFY(shown);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QVERIFY(!shown->parentWidget()); // owned by the application, not the main window
    about->trigger();
    QCOMPARE(AboutWindow::instance(), shown.data());
    QCOMPARE(aboutWindows().size(), 1);

    QTest::mouseClick(child<QPushButton>(shown, "aboutButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return shown.isNull(); }));
    QVERIFY(window->isVisible()); // OK leaves the main window alone
    about->trigger();
    QVERIFY(AboutWindow::instance());
}

void TestMainWindow::mainWindowWorksWhileAboutOpen()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString control = folder.filePath(QStringLiteral("Demo Disc.ccd"));
    QVERIFY(QFile::copy(QFINDTESTDATA("../examples/Demo Disc.ccd"), control));

    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->findChild<QAction *>(QStringLiteral("mnuAbout"))->trigger();
    QPointer<AboutWindow> about = AboutWindow::instance();
    QVERIFY(about);
    QVERIFY(QTest::qWaitForWindowActive(about));

    // Back to the main window: typing, its shortcuts and a conversion work.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(cueText);
    cueText->setFocus();
    QTest::keyClicks(cueText, QStringLiteral("typed"));
    QVERIFY(cueText->toPlainText().contains(u"typed"));
    QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_A));
    QCOMPARE(cueText->textCursor().selectedText().size(), cueText->toPlainText().size());

    window->openFile(control);
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("Demo Disc.cue"))));
    QVERIFY(cueText->toPlainText().startsWith(u"FILE \"Demo Disc.img\" BINARY"));
    QCOMPARE(messages.size(), 1); // the confirmation, and nothing else

    QVERIFY(about);
    QVERIFY(about->isVisible());
    QCOMPARE(AboutWindow::instance(), about.data());
}

void TestMainWindow::helpContents()
{
    helpFilePath = QDir::toNativeSeparators(QDir::tempPath()) + QStringLiteral("/MORVANT.hlp");
    helpFilesShown.clear();
    const helpViewer::Viewer platform = helpViewer::replaceViewer(recordHelp);
    const auto restore = qScopeGuard([&] { helpViewer::replaceViewer(platform); });

    QVERIFY(QTest::qWaitForWindowActive(window));
    auto *contents = window->findChild<QAction *>(QStringLiteral("mnuHelpContents"));
    QVERIFY(contents);
    QCOMPARE(contents->text(), QStringLiteral("&Contents..."));
    QCOMPARE(contents->shortcut(), QKeySequence(Qt::Key_F1));
    QVERIFY(!contents->isEnabled());

    // F1, the item chosen with the mouse in the open menu, and the item's
    // own trigger: none reaches the help viewer.
    QTest::keyClick(window, Qt::Key_F1);
    auto *help = window->findChild<QMenu *>(QStringLiteral("mnuHelp"));
    QVERIFY(help);
    help->popup(window->mapToGlobal(QPoint(20, 20)));
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QTest::mouseClick(help, Qt::LeftButton, {}, help->actionGeometry(contents).center());
    QTest::keyClick(help, Qt::Key_F1);
    help->close();
    contents->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(helpFilesShown, QList<QString>());
    QVERIFY(!contents->isEnabled());

    // The same F1 does reach it once the item is enabled, with the main
    // window and the help file: so it is the disabled item that stops it.
    contents->setEnabled(true);
    helpViewer::Request seen{};
    helpViewer::replaceViewer([&](const helpViewer::Request &request) {
        seen = request;
        recordHelp(request);
    });
    QTest::keyClick(window, Qt::Key_F1);
    QCOMPARE(helpFilesShown, QList<QString>({ helpFilePath }));
    QCOMPARE(seen.window, quintptr(window->winId()));
    QCOMPARE(seen.command, 0u);
    QCOMPARE(seen.data, 0u);
}

// Exit ends the program at once, other windows included, and asks nothing
// about edits.
void TestMainWindow::exitEndsProgram()
{
    QWidget other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QTest::keyClicks(cueText, QStringLiteral("edited"));

    QTimer::singleShot(0, action("mnuExit"), &QAction::trigger);
    QTimer guard; // a question would keep the program running
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window->isVisible());
    QVERIFY(!other.isVisible());
    QVERIFY(messages.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainWindow.moc"
