#include "discListWindow.h"

#include "discListModel.h"
#include "optionWords.h"
#include "stateDelegate.h"
#include "workerPriority.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace morvant {

QStringList localFiles(const QMimeData *data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

namespace {

// A DAT dropped on the list is verified against, rather than listed: as its
// project serves it, zipped or gzipped, too.
bool isDat(const QString &path)
{
    for (const char *suffix : { ".dat", ".xml", ".zip", ".gz" }) {
        if (path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString duration(qint64 milliseconds)
{
    const qint64 seconds = (milliseconds + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

DiscListWindow::DiscListWindow(ShowMessage showMessage, QWidget *parent)
    : QWidget(parent, Qt::Window), showMessage(std::move(showMessage)),
      discs(new DiscListModel(this))
{
    setObjectName(QStringLiteral("discList"));
    setWindowTitle(tr("Disc List"));
    // The engine's advice names the list's own choices and buttons, not the
    // command line's options.
    setWording(Wording::Window);
    setAttribute(Qt::WA_DeleteOnClose, false);
    chooseFiles = [this] {
        return QFileDialog::getOpenFileNames(
            this, tr("Add Files"), {}, tr("CCD Files (*.ccd);;All Files (*)"));
    };
    chooseFolder = [this] { return QFileDialog::getExistingDirectory(this, tr("Add Folder")); };
    chooseDat = [this] {
        return QFileDialog::getOpenFileName(this, tr("Verify Against a DAT"), {},
            tr("DAT Files (*.dat *.xml *.zip *.gz);;All Files (*)"));
    };
    confirmClose = [this] {
        return QMessageBox::question(this, windowTitle(),
                   tr("Discs are still being worked on. Stop after the current read and "
                      "close?"))
            == QMessageBox::Yes;
    };
    createControls();
    startThreads();
    enableControls();
    // Room for its columns and a few dozen rows in the font of the system,
    // which scales with the screen.
    const QFontMetrics metrics = fontMetrics();
    resize(metrics.averageCharWidth() * 130, metrics.height() * 45);
}

DiscListWindow::~DiscListWindow()
{
    stopWork();
}

void DiscListWindow::createControls()
{
    const auto button = [this](const QString &caption, const char *name, auto slot) {
        auto *made = new QPushButton(caption, this);
        made->setObjectName(QLatin1String(name));
        made->setAccessibleName(QString(caption).remove(u'&'));
        made->setAutoDefault(false);
        connect(made, &QPushButton::clicked, this, slot);
        return made;
    };
    const auto choice = [this](const QString &caption, const char *name, bool isOn) {
        auto *made = new QCheckBox(caption, this);
        made->setObjectName(QLatin1String(name));
        made->setAccessibleName(QString(caption).remove(u'&'));
        made->setChecked(isOn);
        return made;
    };

    addFilesButton = button(tr("&Add Files..."), "addFiles", &DiscListWindow::addFiles);
    addFolderButton = button(tr("Add &Folder..."), "addFolder", &DiscListWindow::addFolder);
    removeButton = button(tr("Re&move"), "remove", &DiscListWindow::removeSelected);

    list = new QTreeView(this);
    list->setObjectName(QStringLiteral("discs"));
    list->setAccessibleName(tr("Discs"));
    list->setModel(discs);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true); // 10,000 rows are laid out without measuring each
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setItemDelegate(new StateDelegate(list));
    list->header()->setStretchLastSection(true);
    const int character = fontMetrics().averageCharWidth();
    list->header()->resizeSection(DiscListModel::NameColumn, character * 28);
    list->header()->resizeSection(DiscListModel::FolderColumn, character * 30);
    list->header()->resizeSection(DiscListModel::TracksColumn, character * 22);
    list->header()->resizeSection(DiscListModel::SizeColumn, character * 13);
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    list->viewport()->setAcceptDrops(true);
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &DiscListWindow::showFindings);

    const auto readOnlyText = [this](const char *name, const QString &accessibleName) {
        auto *text = new QPlainTextEdit(this);
        text->setObjectName(QLatin1String(name));
        text->setAccessibleName(accessibleName);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        return text;
    };
    findingsText = readOnlyText("findings", tr("Findings"));
    cueText = readOnlyText("cueSheet", tr("Cue sheet"));
    panes = new QTabWidget(this);
    panes->setObjectName(QStringLiteral("panes"));
    panes->addTab(findingsText, tr("Fin&dings"));
    panes->addTab(cueText, tr("C&ue Sheet"));

    checkButton = button(tr("&Check"), "check", &DiscListWindow::check);
    convertButton = button(tr("Con&vert"), "convert", &DiscListWindow::convert);
    verifyButton = button(tr("Verif&y..."), "verify", &DiscListWindow::verify);
    splitButton = button(tr("S&plit"), "split", &DiscListWindow::split);
    // All on at start: a disc without any of it converts to the same bytes.
    cdTextChoice = choice(tr("CD-&Text"), "cdText", true);
    sessionsChoice = choice(tr("All &sessions"), "sessions", true);
    codesChoice = choice(tr("CATALOG and &ISRC"), "codes", true);
    sbiChoice = choice(tr(".s&bi file"), "sbi", true);
    sbiAllChoice = choice(tr("&Every differing block in the .sbi"), "sbiAll", false);
    // Off: it changes what a file with only a table of contents gives.
    rebuildChoice = choice(tr("Rebuild from the table of co&ntents"), "rebuild", false);
    connect(sbiChoice, &QCheckBox::toggled, sbiAllChoice, &QCheckBox::setEnabled);
    // Off: a split named after a DAT needs the disc to match it wholly.
    namesChoice = choice(tr("Split &with the DAT's names"), "datNames", false);
    playlistsChoice = choice(tr("Playlists of multi-disc &games"), "playlists", false);

    runBar = new QProgressBar(this);
    runBar->setObjectName(QStringLiteral("runProgress"));
    runBar->setAccessibleName(tr("Progress of the run"));
    runBar->setRange(0, 1000);
    runBar->setValue(0);
    runLabel = new QLabel(this);
    runLabel->setObjectName(QStringLiteral("runLabel"));
    runLabel->setTextFormat(Qt::PlainText);
    cancelButton = button(tr("Cance&l"), "cancel", &DiscListWindow::cancel);
    copyReportButton = button(tr("Copy &Report"), "copyReport", &DiscListWindow::copyReport);
    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("summary"));
    summaryLabel->setAccessibleName(tr("Summary"));
    summaryLabel->setTextFormat(Qt::PlainText);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *listButtons = new QHBoxLayout;
    listButtons->addWidget(addFilesButton);
    listButtons->addWidget(addFolderButton);
    listButtons->addWidget(removeButton);
    listButtons->addStretch();

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(list);
    splitter->addWidget(panes);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto *actions = new QGridLayout;
    actions->addWidget(checkButton, 0, 0);
    actions->addWidget(convertButton, 0, 1);
    actions->addWidget(verifyButton, 1, 0);
    actions->addWidget(splitButton, 1, 1);
    auto *choices = new QGridLayout;
    choices->addWidget(cdTextChoice, 0, 0);
    choices->addWidget(sessionsChoice, 0, 1);
    choices->addWidget(codesChoice, 0, 2);
    choices->addWidget(sbiChoice, 1, 0);
    choices->addWidget(sbiAllChoice, 1, 1);
    choices->addWidget(rebuildChoice, 1, 2);
    choices->addWidget(namesChoice, 2, 0);
    choices->addWidget(playlistsChoice, 2, 1);
    auto *work = new QHBoxLayout;
    work->addLayout(actions);
    work->addSpacing(character * 2);
    work->addLayout(choices);
    work->addStretch();

    auto *run = new QHBoxLayout;
    run->addWidget(runBar, 1);
    run->addWidget(runLabel);
    run->addWidget(cancelButton);
    run->addWidget(copyReportButton);

    auto *column = new QVBoxLayout(this);
    column->addLayout(listButtons);
    column->addWidget(splitter, 1);
    column->addLayout(work);
    column->addLayout(run);
    column->addWidget(summaryLabel);

    // The keyboard goes through the window as it reads: the list, what to
    // do with it, then the run.
    const QList<QWidget *> order{ addFilesButton, addFolderButton, removeButton, list, panes,
        findingsText, cueText, checkButton, convertButton, cdTextChoice, sessionsChoice,
        codesChoice, sbiChoice, sbiAllChoice, rebuildChoice, namesChoice, playlistsChoice,
        verifyButton, splitButton, cancelButton, copyReportButton };
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    list->setFocus();
}

void DiscListWindow::startThreads()
{
    qRegisterMetaType<DiscResult>();
    qRegisterMetaType<QList<FoundDisc>>();
    qRegisterMetaType<QList<DiscDescription>>();
    reader = new DiscReader;
    reader->moveToThread(&readerThread);
    connect(reader, &DiscReader::found, this, &DiscListWindow::takeFound);
    connect(reader, &DiscReader::described, discs, &DiscListModel::describe);
    connect(reader, &DiscReader::findingsRead, this, &DiscListWindow::takeFindings);
    runner = new DiscRunner;
    runner->moveToThread(&runnerThread);
    connect(runner, &DiscRunner::started, this, &DiscListWindow::showStarted);
    connect(runner, &DiscRunner::progressed, this, &DiscListWindow::showProgress);
    connect(runner, &DiscRunner::finished, this, &DiscListWindow::takeResult);
    connect(runner, &DiscRunner::playlistsDone, this, &DiscListWindow::takePlaylists);
    connect(runner, &DiscRunner::ended, this, &DiscListWindow::endRun);
    readerThread.setObjectName(QStringLiteral("discReader"));
    runnerThread.setObjectName(QStringLiteral("discRunner"));
    readerThread.start();
    runnerThread.start();
    QMetaObject::invokeMethod(reader, &lowerThisThreadsPriority, Qt::QueuedConnection);
    QMetaObject::invokeMethod(runner, &lowerThisThreadsPriority, Qt::QueuedConnection);
}

void DiscListWindow::stopWork()
{
    if (control)
        control->cancel();
    if (reader)
        reader->stop();
    readerThread.quit();
    runnerThread.quit();
    readerThread.wait();
    runnerThread.wait();
    // Their threads have ended, and with them every event for them.
    delete reader;
    delete runner;
    reader = nullptr;
    runner = nullptr;
}

void DiscListWindow::addPaths(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    ++findsPending;
    runLabel->setText(tr("Listing..."));
    reader->find(paths);
}

void DiscListWindow::takeFound(const QList<FoundDisc> &found)
{
    const bool isListing = listedCount < toList.size();
    toList.append(found);
    --findsPending;
    if (!isListing)
        listFound();
}

// A slice of the discs found at each turn of the event loop: a folder of
// 10,000 taken at once keeps the window from answering for a while.
void DiscListWindow::listFound()
{
    constexpr qsizetype slice = 500;
    const QList<FoundDisc> found = toList.mid(listedCount, slice);
    listedCount += found.size();
    QList<DiscTask> toDescribe;
    const QList<DiscEntry> added = discs->add(found);
    toDescribe.reserve(added.size());
    for (const DiscEntry &entry : added)
        toDescribe.append({ entry.id, entry.disc, 0 });
    reader->describe(toDescribe);
    // The first disc's findings show, but nothing is selected: the buttons
    // work on every disc until some are.
    if (!list->currentIndex().isValid() && discs->rowCount() > 0)
        list->selectionModel()->setCurrentIndex(discs->index(0, 0), QItemSelectionModel::NoUpdate);
    enableControls();
    if (listedCount < toList.size()) {
        QTimer::singleShot(0, this, &DiscListWindow::listFound);
        return;
    }
    toList.clear();
    listedCount = 0;
    if (findsPending == 0 && !isWorking())
        runLabel->setText(
            discs->rowCount() == 1 ? tr("1 disc") : tr("%1 discs").arg(discs->rowCount()));
}

void DiscListWindow::addFiles()
{
    addPaths(chooseFiles());
}

void DiscListWindow::addFolder()
{
    const QString folder = chooseFolder();
    if (!folder.isEmpty())
        addPaths({ QDir::toNativeSeparators(folder) });
}

void DiscListWindow::removeSelected()
{
    if (isWorking())
        return;
    QList<int> rows;
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    if (rows.isEmpty() && list->currentIndex().isValid())
        rows.append(list->currentIndex().row());
    discs->remove(rows);
    showFindings();
    enableControls();
}

ConversionOptions DiscListWindow::chosenOptions() const
{
    ConversionOptions options;
    options.cdText = cdTextChoice->isChecked();
    options.sessions = sessionsChoice->isChecked();
    options.codes = codesChoice->isChecked();
    options.rebuild = rebuildChoice->isChecked();
    options.playlists = playlistsChoice->isChecked();
    // On for every disc, as --all is: a disc without a .sub is not told of.
    if (sbiChoice->isChecked())
        options.sbi = sbiAllChoice->isChecked() ? SbiWrite::Always : SbiWrite::Quietly;
    return options;
}

// The selected discs, or all of them when none is.
QList<int> DiscListWindow::targetRows() const
{
    QList<int> rows;
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty()) {
        for (int row = 0; row < discs->rowCount(); ++row)
            rows.append(row);
    }
    return rows;
}

void DiscListWindow::check()
{
    startRun(DiscAction::Check);
}

void DiscListWindow::convert()
{
    startRun(DiscAction::Convert);
}

void DiscListWindow::verify()
{
    if (isWorking() || discs->rowCount() == 0)
        return;
    const QString dat = chooseDat();
    if (!dat.isEmpty())
        startRun(DiscAction::Verify, QDir::toNativeSeparators(dat));
}

void DiscListWindow::split()
{
    if (!namesChoice->isChecked()) {
        startRun(DiscAction::Split);
        return;
    }
    if (isWorking() || discs->rowCount() == 0)
        return;
    // The DAT that the discs were verified against, or one asked for now.
    QString dat = verifiedDat;
    if (dat.isEmpty())
        dat = QDir::toNativeSeparators(chooseDat());
    if (!dat.isEmpty())
        startRun(DiscAction::Split, dat);
}

void DiscListWindow::startRun(DiscAction action, const QString &datPath)
{
    if (isWorking())
        return;
    DiscRun run;
    run.action = action;
    run.options = chosenOptions();
    run.datPath = datPath;
    const QList<int> rows = targetRows();
    for (const int row : rows) {
        const DiscEntry &entry = discs->entry(row);
        run.tasks.append({ entry.id, entry.disc, entry.hasOffset ? entry.offset : 0 });
        discs->update(entry.id, [](DiscEntry &waiting) {
            waiting.state = DiscState::Waiting;
            waiting.progress = 0;
        });
    }
    if (run.tasks.isEmpty())
        return;
    control = std::make_shared<JobControl>();
    runAction = action;
    runDat = datPath;
    runTotal = run.tasks.size();
    runDone = 0;
    currentFraction = 0;
    runCounts.clear();
    runReport.clear();
    runSummary.clear();
    playlistsWritten = -1;
    summaryLabel->clear();
    sinceRunStart.start();
    showRunProgress();
    enableControls();
    DiscRunner *worker = runner;
    const std::shared_ptr<JobControl> runControl = control;
    QMetaObject::invokeMethod(
        worker, [worker, run, runControl] { worker->run(run, runControl); }, Qt::QueuedConnection);
}

void DiscListWindow::showStarted(quint64 id)
{
    currentFraction = 0;
    discs->update(id, [](DiscEntry &entry) {
        entry.state = DiscState::Working;
        entry.phase.clear();
        entry.progress = 0;
    });
    showRunProgress();
}

void DiscListWindow::showProgress(quint64 id, const QString &phase, double fraction)
{
    currentFraction = fraction;
    discs->update(id, [&](DiscEntry &entry) {
        entry.phase = phase;
        entry.progress = fraction;
    });
    showRunProgress();
}

void DiscListWindow::showRunProgress()
{
    const double done = runTotal > 0 ? (double(runDone) + currentFraction) / double(runTotal) : 0;
    runBar->setValue(qRound(done * 1000));
    QString text = tr("%1 of %2 discs").arg(runDone).arg(runTotal);
    // The time left, once enough is done to judge by.
    const qint64 elapsed = sinceRunStart.elapsed();
    if (done >= 0.02 && elapsed >= 1000)
        text += tr(", %1 left").arg(duration(qint64(double(elapsed) * (1 - done) / done)));
    runLabel->setText(text);
}

void DiscListWindow::takeResult(const DiscResult &result)
{
    ++runDone;
    currentFraction = 0;
    ++runCounts[result.state];
    runReport.append(result.reportLine);
    discs->update(result.id, [&](DiscEntry &entry) {
        entry.state = result.state;
        entry.progress = 0;
        entry.warnings = result.warnings;
        if (result.state == DiscState::Cancelled)
            return;
        if (runAction == DiscAction::Verify) {
            entry.game = result.game;
            entry.offset = result.offset;
            entry.hasOffset = result.hasOffset;
        }
        entry.findings = result.findings;
        entry.hasFindings = true;
        if (result.hasCueSheet)
            entry.cueSheet = result.cueSheet;
    });
    if (const QModelIndex current = list->currentIndex();
        current.isValid() && discs->entry(current.row()).id == result.id)
        showFindings();
    showRunProgress();
}

void DiscListWindow::endRun(const QString &error)
{
    control.reset();
    const auto count = [this](std::initializer_list<DiscState> states) {
        qsizetype total = 0;
        for (const DiscState state : states)
            total += runCounts.value(state);
        return total;
    };
    QStringList parts;
    switch (runAction) {
    case DiscAction::Check:
        parts << tr("%1 checked").arg(count({ DiscState::Checked, DiscState::CheckedWithWarnings }))
              << tr("%1 with warnings").arg(count({ DiscState::CheckedWithWarnings }));
        break;
    case DiscAction::Convert:
        parts << tr("%1 converted")
                     .arg(count({ DiscState::Converted, DiscState::ConvertedWithWarnings }))
              << tr("%1 with warnings").arg(count({ DiscState::ConvertedWithWarnings }));
        break;
    case DiscAction::Split:
        parts << tr("%1 split").arg(count({ DiscState::Split }));
        break;
    case DiscAction::Verify:
        parts << tr("%1 match").arg(count({ DiscState::Matches, DiscState::MatchesAtOffset }))
              << tr("%1 at an offset").arg(count({ DiscState::MatchesAtOffset }))
              << tr("%1 do not match").arg(count({ DiscState::DoesNotMatch }));
        break;
    }
    parts << (runAction == DiscAction::Verify ? tr("%1 cannot be verified") : tr("%1 refused"))
                 .arg(count({ DiscState::Refused }));
    if (const qsizetype cancelled = count({ DiscState::Cancelled }); cancelled > 0)
        parts << tr("%1 cancelled").arg(cancelled);
    if (playlistsWritten >= 0)
        parts << (playlistsWritten == 1 ? tr("1 playlist written")
                                        : tr("%1 playlists written").arg(playlistsWritten));
    if (runAction == DiscAction::Verify && error.isEmpty())
        verifiedDat = runDat;
    runSummary = error.isEmpty() ? parts.join(QStringLiteral(", ")) : error;
    summaryLabel->setText(runSummary);
    runLabel->setText(tr("%1 of %2 discs").arg(runDone).arg(runTotal));
    runBar->setValue(runTotal > 0 ? int(runDone * 1000 / runTotal) : 0);
    enableControls();
    // The one box of a run: nothing was done.
    if (!error.isEmpty())
        showMessage(error, tr("File Error"));
    emit runEnded();
}

void DiscListWindow::takePlaylists(const QStringList &told, int written)
{
    runReport.append(told);
    playlistsWritten = written;
}

void DiscListWindow::cancel()
{
    if (control)
        control->cancel();
    cancelButton->setEnabled(false);
}

QString DiscListWindow::summary() const
{
    return runSummary;
}

QString DiscListWindow::report() const
{
    if (runSummary.isEmpty())
        return {};
    return runReport.join(u'\n') + QStringLiteral("\n\n") + runSummary + u'\n';
}

void DiscListWindow::copyReport() const
{
    QGuiApplication::clipboard()->setText(report());
}

void DiscListWindow::showFindings()
{
    const QModelIndex current = list->currentIndex();
    if (!current.isValid()) {
        findingsText->clear();
        cueText->clear();
        return;
    }
    const DiscEntry &entry = discs->entry(current.row());
    if (!entry.hasFindings) {
        // Read now, before the rest of the list is described: what Check
        // would report of it, as the choices stand.
        findingsText->setPlainText(tr("Reading..."));
        cueText->clear();
        reader->readFindings(entry.id, entry.disc, chosenOptions());
        return;
    }
    findingsText->setPlainText(entry.findings);
    cueText->setPlainText(entry.cueSheet);
}

void DiscListWindow::takeFindings(quint64 id, const QString &findings, const QString &cueSheet)
{
    discs->update(id, [&](DiscEntry &entry) {
        if (entry.hasFindings)
            return;
        entry.findings = findings;
        entry.cueSheet = cueSheet;
        entry.hasFindings = true;
    });
    const QModelIndex current = list->currentIndex();
    if (current.isValid() && discs->entry(current.row()).id == id)
        showFindings();
}

void DiscListWindow::enableControls()
{
    const bool isIdle = !isWorking();
    const bool hasDiscs = discs->rowCount() > 0;
    for (QPushButton *action : { checkButton, convertButton, verifyButton, splitButton })
        action->setEnabled(isIdle && hasDiscs);
    removeButton->setEnabled(isIdle && hasDiscs);
    cancelButton->setEnabled(!isIdle);
    copyReportButton->setEnabled(isIdle && !runSummary.isEmpty());
}

void DiscListWindow::closeEvent(QCloseEvent *event)
{
    if (isWorking() && !confirmClose()) {
        event->ignore();
        return;
    }
    if (control)
        control->cancel();
    event->accept();
}

bool DiscListWindow::handleDrop(QEvent *event)
{
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
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList paths = localFiles(drop->mimeData());
        if (paths.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // Taken once the drop has ended, so that nothing it shows holds the drag source.
        QMetaObject::invokeMethod(
            this,
            [this, paths] {
                if (paths.size() == 1 && isDat(paths.first())) {
                    if (discs->rowCount() == 0)
                        showMessage(tr("Add the discs to verify first: a DAT dropped on the list "
                                       "verifies the discs in it."),
                            windowTitle());
                    else if (!isWorking())
                        startRun(DiscAction::Verify, paths.first());
                } else {
                    addPaths(paths);
                }
            },
            Qt::QueuedConnection);
        return true;
    }
    default:
        return false;
    }
}

bool DiscListWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            removeSelected();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && list->currentIndex().isValid()) {
            showFindings();
            panes->setCurrentWidget(findingsText);
            findingsText->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    if (watched == list->viewport() && handleDrop(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

} // namespace morvant
