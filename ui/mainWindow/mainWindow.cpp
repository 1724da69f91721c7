#include "mainWindow.h"

#include "aboutWindow.h"
#include "artwork.h"
#include "checkJob.h"
#include "conversionJob.h"
#include "cueFile.h"
#include "cueTextEdit.h"
#include "discFiles.h"
#include "discListWindow.h"
#include "fileSystem.h"
#include "helpViewer.h"
#include "highContrast.h"
#include "optionWords.h"
#include "refusals.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <future>
#include <utility>

namespace morvant {

QString helpFilePath;

void showMessageBox(const QString &text, const QString &title)
{
    QMessageBox box(
        QMessageBox::NoIcon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    // Messages quote the control file; Qt would take text that looks like
    // HTML (a CATALOG= of <h1> tags) as markup and show it styled.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

namespace {

// The client area, and the text area that fills it at start, in pixels at 96 dpi.
constexpr QSize clientSize(593, 545);

QString prompt()
{
    return MainWindow::tr("Click File->Open or drop a CCD file here to begin.");
}

// Qt 6.4's editor crashes when a middle click pastes an X11 primary selection
// that has no content at all; with nothing to paste, the click need not reach it.
bool isPrimarySelectionEmpty()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
        return false;
    const QMimeData *selection = clipboard->mimeData(QClipboard::Selection);
    return !selection || selection->formats().isEmpty();
}

// For as long as it lives, the busy cursor shows: cutting, copying or pasting
// a sheet of many megabytes takes seconds, as opening it does.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

MainWindow::MainWindow(ShowMessage showMessage, QWidget *parent)
    : QMainWindow(parent),
      // A message ends the wait: the box must not show a busy cursor, nor
      // the progress beside it, which then does not come back.
      showMessage([this, show = std::move(showMessage)](const QString &text, const QString &title) {
          setBusy(false);
          closeProgress();
          show(text, title);
      })
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(tr("MORVANT by Tesselin"));
    setWindowIcon(programIcon());
    chooseFile = [this] { return chooseFileInDialog(); };
    // What the engine and the jobs advise is told as the windows' choices,
    // which a window user has, not as options of the command line.
    setWording(Wording::Window);
    followHighContrast();

    createActions();
    createMenus();
    createTextArea();

    resize(clientSize.width(), clientSize.height() + menuBar()->sizeHint().height());
    // Laid out, the menu bar can take another height than it hints (by a pixel
    // under wine's fonts); the size that counts is the client area's.
    layout()->activate();
    resize(size() + clientSize - centralWidget()->size());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(
            Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void MainWindow::createActions()
{
    const auto action = [this](const QString &caption, const char *name,
                            const QKeySequence &shortcut = {}) {
        auto *item = new QAction(caption, this);
        item->setObjectName(QLatin1String(name));
        item->setShortcut(shortcut);
        return item;
    };

    mnuOpen = action(tr("&Open"), "mnuOpen", QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(mnuOpen, &QAction::triggered, this, &MainWindow::open);
    mnuSave = action(tr("&Save"), "mnuSave", QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuSave->setEnabled(false);
    connect(mnuSave, &QAction::triggered, this, &MainWindow::save);
    mnuDiscList = action(tr("Disc &List..."), "mnuDiscList", QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuDiscList, &QAction::triggered, this, [this] { openDiscList(); });
    mnuExit = action(tr("E&xit"), "mnuExit");
    connect(mnuExit, &QAction::triggered, this, &MainWindow::exit);

    mnuCut = action(tr("Cut"), "mnuCut", QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuCut->setEnabled(false);
    connect(mnuCut, &QAction::triggered, this, &MainWindow::cut);
    mnuCopy = action(tr("Copy"), "mnuCopy", QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuCopy->setEnabled(false);
    connect(mnuCopy, &QAction::triggered, this, &MainWindow::copy);
    mnuPaste = action(tr("&Paste"), "mnuPaste", QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuPaste->setEnabled(false);
    connect(mnuPaste, &QAction::triggered, this, &MainWindow::paste);
    mnuSelectAll = action(tr("Select All"), "mnuSelectAll", QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(mnuSelectAll, &QAction::triggered, this, &MainWindow::selectAll);

    mnuHelpContents = action(tr("&Contents..."), "mnuHelpContents", QKeySequence(Qt::Key_F1));
    // Nothing ever enables it, so neither the item nor F1 reaches the help viewer.
    mnuHelpContents->setEnabled(false);
    connect(mnuHelpContents, &QAction::triggered, this, &MainWindow::helpContents);
    mnuAbout = action(tr("&About"), "mnuAbout");
    connect(mnuAbout, &QAction::triggered, this, &MainWindow::about);
}

void MainWindow::createMenus()
{
    const auto menu = [this](
                          const QString &caption, const char *name, const QList<QAction *> &items) {
        QMenu *created = menuBar()->addMenu(caption);
        created->setObjectName(QLatin1String(name));
        created->menuAction()->setObjectName(QLatin1String(name));
        created->addActions(items);
        return created;
    };
    mnuFile = menu(tr("&File"), "mnuFile", { mnuOpen, mnuSave, mnuDiscList, mnuExit });
    mnuEdit = menu(tr("&Edit"), "mnuEdit", { mnuCut, mnuCopy, mnuPaste, mnuSelectAll });
    mnuHelp = menu(tr("&Help"), "mnuHelp", { mnuHelpContents, mnuAbout });

    // The same menu opens from the menu bar and as the text area's popup, and
    // either way its items take their states only now.
    connect(mnuEdit, &QMenu::aboutToShow, this, &MainWindow::enableEditItems);
}

void MainWindow::createTextArea()
{
    // No layout: the text area keeps its place and size whatever the window's size.
    auto *clientArea = new QWidget(this);
    setCentralWidget(clientArea);

    cueText = new CueTextEdit(clientArea);
    cueText->setObjectName(QStringLiteral("cueText"));
    cueText->setGeometry(QRect(QPoint(0, 0), clientSize));
    cueText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cueText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cueText->setLineWrapMode(QPlainTextEdit::NoWrap);

    QFont font(QStringLiteral("Courier New"));
    // Where the system lacks Courier New, its metric-compatible twin
    // Liberation Mono: Linux's fontconfig stands it in for Courier New by
    // itself, wine's DirectWrite, which Qt uses since 6.8, does not.
    font.setFamilies({ QStringLiteral("Courier New"), QStringLiteral("Liberation Mono") });
    font.setPointSize(9);
    font.setBold(true);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    cueText->setFont(font);

    cueText->setText(prompt() + QStringLiteral("\r\n"));

    // Only the Edit menu opens on a right press; the editor's own menu never does.
    cueText->setContextMenuPolicy(Qt::PreventContextMenu);
    // Presses and drops reach the viewport, keys the editor itself: the window
    // sees both first, so that a drop converts a file instead of inserting its
    // name and the Edit shortcuts reach the window's commands.
    cueText->installEventFilter(this);
    cueText->viewport()->installEventFilter(this);
    cueText->setFocus();
}

MainWindow::~MainWindow()
{
    // The dialog writes its state into the shared settings as it goes.
    if (fileDialog) {
        delete fileDialog;
        putBack(settingsBeforeDialog);
    }
}

QString MainWindow::chooseFileInDialog()
{
    if (!fileDialog) {
        settingsBeforeDialog = dialogSettingsNow();
        fileDialog = new QFileDialog(this, tr("Choose a File to Open..."));
        fileDialog->setObjectName(QStringLiteral("fileDialog"));
        fileDialog->setNameFilter(tr("CCD Files (*.ccd)"));
        fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
        fileDialog->setFileMode(QFileDialog::ExistingFile);
        // Started in its own folder, as the installer's shortcut starts it,
        // the program looks first in the user's documents, wherever the
        // system keeps them (moved, or kept by OneDrive), not among its files.
        if (QDir::current() == QDir(QCoreApplication::applicationDirPath()))
            fileDialog->setDirectory(
                QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    }
    if (!lastChosenFile.isEmpty())
        fileDialog->selectFile(lastChosenFile);
    // A cancel never gives the earlier choice again, so it never converts again.
    if (fileDialog->exec() != QDialog::Accepted || fileDialog->selectedFiles().isEmpty())
        return {};
    lastChosenFile = fileDialog->selectedFiles().constFirst();
    return lastChosenFile;
}

void MainWindow::open()
{
    if (isConverting)
        return;
    const QString path = chooseFile();
    if (!path.isEmpty())
        openFile(path);
}

void MainWindow::openFile(const QString &path)
{
    // Dialogs and drops give '/' everywhere; the image name must be the file's name alone.
    const QString inputPath = QDir::toNativeSeparators(path);
    cuePath = cuePathForFile(inputPath);
    setBusy(true);
    startConverting(inputPath);
    const auto ended = qScopeGuard([this] { endConverting(); });
    showSheet(convert(inputPath));
    showConversion(inputPath);
}

// A control file of many megabytes takes seconds to convert, and its sheet
// several times as long to show. While it is shown the window keeps painting
// itself and answering the system, and after a moment a dialog shows how far
// it has come; what the user does meanwhile waits until the sheet is shown,
// as it would in a window busy all along, and nothing else is converted in
// between.
void MainWindow::startConverting(const QString &inputPath)
{
    isConverting = true;
    sinceStart.start();
    progress = new QDialog(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setWindowTitle(windowTitle());
    // The file's name as it is, even where it looks like markup.
    auto *label = new QLabel(tr("Converting %1...").arg(QFileInfo(inputPath).fileName()));
    label->setTextFormat(Qt::PlainText);
    progressBar = new QProgressBar;
    progressBar->setMinimumWidth(300);
    progressBar->setRange(0, 1000);
    auto *column = new QVBoxLayout(progress);
    column->addWidget(label);
    column->addWidget(progressBar);
}

void MainWindow::endConverting()
{
    closeProgress();
    isConverting = false;
}

void MainWindow::closeProgress()
{
    delete progress;
    progress = nullptr;
    progressBar = nullptr;
}

// Lets the window paint and answer the system; the user's input waits.
void MainWindow::keepAnswering()
{
    if (progress && progress->isHidden() && sinceStart.elapsed() >= progressDelay)
        progress->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString MainWindow::convert(const QString &inputPath)
{
    // The dialog and a drop hand over a name that is not UTF-8 with U+FFFD in
    // place of its bytes, which may be the name of another file: that one is
    // never converted in its stead.
    if (hasLostItsBytes(inputPath)) {
        showRefusal(showMessage, inputPath, refusedFor(Refusal::Unreadable, lostBytesReason()));
        return {};
    }
    // The command line's job, so that the window tells what the command line
    // tells of the same file. The window writes the sheet that it shows.
    const Disc disc{ Disc::ControlFile, inputPath, cuePathForFile(inputPath), {}, false };
    const JobControl control;
    // The check reads the files again, which takes as long as the conversion
    // for a sheet of many tracks: it runs meanwhile, and the window answers
    // while it ends.
    std::future<CheckReport> check = std::async(
        std::launch::async, [disc] { return checkJob(disc, ConversionOptions{}, JobControl{}); });
    const ConversionResult result = conversionJob(disc, ConversionOptions{}, control, true);
    warnings.clear();
    for (const JobStep &step : result.steps) {
        for (const Told &told : step.told) {
            if (told.kind == Told::Message)
                showMessage(told.text, told.title);
            else if (told.kind == Told::Warning)
                warnings.append(told.text);
        }
    }
    while (check.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready)
        keepAnswering();
    if (!result.cueSheet.isEmpty())
        warnings += unusableSheetWarnings(check.get());
    return result.cueSheet;
}

bool MainWindow::dropFiles(const QStringList &paths)
{
    if (paths.size() > 1) {
        showMessage(tr("Only one file can be loaded at a time."), tr("Ack! Too much!"));
        return false;
    }
    // Without a file there is nothing to convert and no name to write under.
    if (paths.isEmpty())
        return false;

    const QString inputPath = QDir::toNativeSeparators(paths.constFirst());
    // A folder is no control file: its discs go to the disc list.
    if (fileStatus(inputPath).isFolder) {
        openDiscList({ inputPath });
        return true;
    }
    setBusy(true);
    startConverting(inputPath);
    const auto ended = qScopeGuard([this] { endConverting(); });
    showSheet(convert(inputPath));
    cuePath = cuePathForFile(inputPath);
    showConversion(inputPath);
    return true;
}

void MainWindow::showSheet(QString sheet)
{
    // Answered after every piece, the system would cost more than the pieces.
    constexpr qint64 answerEvery = 25; // milliseconds
    QElapsedTimer sinceAnswered;
    sinceAnswered.start();
    cueText->setText(std::move(sheet), [this, &sinceAnswered](qsizetype shown, qsizetype total) {
        if (sinceAnswered.elapsed() < answerEvery)
            return;
        if (progressBar)
            progressBar->setValue(int(shown * 1000 / total));
        keepAnswering();
        sinceAnswered.restart();
    });
    // Once more before the sheet is read back and written, after a long wait.
    if (sinceAnswered.elapsed() >= answerEvery)
        keepAnswering();
}

void MainWindow::setBusy(bool busy)
{
    if (busy == isBusy)
        return;
    isBusy = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void MainWindow::showConversion(const QString &inputPath)
{
    const QString text = cueText->text();
    if (text.isEmpty()) {
        cueText->setText(prompt());
        setBusy(false);
        return;
    }
    // A sheet that cannot be written stays shown, and the reason has been told.
    if (!saveCueSheet(inputPath, cuePath, text, showMessage))
        return;
    mnuSave->setEnabled(true);
    // A sheet that will not work as it is never comes with the confirmation alone.
    QString confirmation = tr("Cuesheet created successfully.");
    for (const QString &warning : std::as_const(warnings))
        confirmation += QStringLiteral("\n\n") + tr("Warning: %1").arg(warning);
    showMessage(confirmation, tr("Operation complete!"));
}

void MainWindow::save()
{
    // The conversion has written the .cue file already; edits stay in the window.
    mnuSave->setEnabled(false);
}

void MainWindow::exit()
{
    // Every window goes at once, the About window too, and nothing asks first.
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

void MainWindow::enableEditItems()
{
    mnuPaste->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
    // Asked of the cursor: the selected text of a large sheet would be copied.
    const bool hasSelection = cueText->textCursor().hasSelection();
    mnuCut->setEnabled(hasSelection);
    mnuCopy->setEnabled(hasSelection);
}

void MainWindow::cut()
{
    const BusyCursor busy;
    copy();
    cueText->replaceSelection(QString());
}

void MainWindow::copy()
{
    const BusyCursor busy;
    // Cleared first, so that even an empty selection leaves no earlier content behind.
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(cueText->selectedText());
}

void MainWindow::paste()
{
    const BusyCursor busy;
    cueText->replaceSelection(QGuiApplication::clipboard()->text());
}

void MainWindow::selectAll()
{
    cueText->setSelectionStart(0);
    cueText->setSelectionLength(cueText->textLength());
}

void MainWindow::showEditPopup(const QPoint &globalPosition)
{
    const bool hadFocus = cueText->hasFocus();
    cueText->setEnabled(false);
    cueText->setEnabled(true);
    // Disabling took the focus away; the text area is the window's only stop.
    if (hadFocus)
        cueText->setFocus(Qt::PopupFocusReason);
    mnuEdit->exec(globalPosition);
}

bool MainWindow::isEnabledEditShortcut(const QKeyEvent *event) const
{
    const QKeySequence pressed(event->keyCombination());
    for (const QAction *item : { mnuCut, mnuCopy, mnuPaste, mnuSelectAll }) {
        if (item->isEnabled() && item->shortcut() == pressed)
            return true;
    }
    return false;
}

bool MainWindow::handleDragAndDrop(QEvent *event)
{
    // A drop reaches the window while a sheet is being shown (the system
    // hands it over as no input of the user's), or before an earlier drop's
    // file is converted; it is not taken.
    if (isConverting || isDropWaiting) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            static_cast<QDropEvent *>(event)->setDropAction(Qt::IgnoreAction);
            event->ignore();
            return true;
        default:
            break;
        }
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (localFiles(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList paths = localFiles(drop->mimeData());
        // One file is taken; the drag source learns that several are not.
        if (paths.size() == 1) {
            drop->acceptProposedAction();
        } else {
            drop->setDropAction(Qt::IgnoreAction);
            drop->ignore();
        }
        // The drop ends before the file is converted or the refusal shown:
        // a box shown inside it would hold the drag source (Explorer) until
        // it is closed, and under wine could never be closed at all.
        if (!paths.isEmpty()) {
            isDropWaiting = true;
            QMetaObject::invokeMethod(
                this,
                [this, paths] {
                    isDropWaiting = false;
                    dropFiles(paths);
                },
                Qt::QueuedConnection);
        }
        return true;
    }
    default:
        return false;
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != cueText && watched != cueText->viewport())
        return QMainWindow::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // The editor claims Ctrl+X, C, V and A for itself; while the Edit item
        // is enabled, its command is the one that runs.
        if (isEnabledEditShortcut(static_cast<QKeyEvent *>(event))) {
            event->ignore();
            return true;
        }
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        showEditPopup(mouse->globalPosition().toPoint());
        return true;
    }
    case QEvent::MouseButtonRelease:
        return static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton
            && isPrimarySelectionEmpty();
    case QEvent::ContextMenu:
        return true;
    default:
        return handleDragAndDrop(event);
    }
}

void MainWindow::openDiscList(const QStringList &paths)
{
    if (!discList) {
        discList = new DiscListWindow(showMessage, this);
        discList->setWindowIcon(windowIcon());
    }
    discList->addPaths(paths);
    discList->show();
    discList->raise();
    discList->activateWindow();
}

void MainWindow::about()
{
    AboutWindow::showAbout();
}

void MainWindow::helpContents()
{
    // The command would come from a setting that nothing ever gives, so it is
    // 0, which is none of the help viewer's commands; the item is never
    // enabled, so the call is never made.
    helpViewer::showHelp(this, helpFilePath, 0, 0);
}

} // namespace morvant
