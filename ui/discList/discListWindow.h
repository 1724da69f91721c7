#pragma once

#include "basics.h"
#include "conversion.h"
#include "discWork.h"

#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QThread>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QMimeData;
class QPushButton;
class QTabWidget;
class QTreeView;

namespace morvant {

class DiscListModel;

/** The local files and folders that a drop's \a data names, in the system's
    separators; what is no local file is left out. Both windows take drops by it. */
QStringList localFiles(const QMimeData *data);

/** The disc list: the discs added from files and folders, each with its
    tracks, size and state, and the work of the command line's modes over
    them (Check, Convert, Verify, Split), run on a thread of its own. Nothing
    shows a box per disc; a run ends in a summary line and a report that can
    be copied. */
class DiscListWindow : public QWidget
{
    Q_OBJECT

public:
    /// \a showMessage tells what stops a whole run, such as a DAT that cannot be read.
    explicit DiscListWindow(ShowMessage showMessage, QWidget *parent = nullptr);
    ~DiscListWindow() override;

    /// Lists the discs that \a paths name, files and folders, as the command line finds them.
    void addPaths(const QStringList &paths);

    /// Asks for control files to add; the file dialog unless replaced.
    std::function<QStringList()> chooseFiles;
    /// Asks for a folder to add; the folder dialog unless replaced.
    std::function<QString()> chooseFolder;
    /// Asks for the DAT to verify against; the file dialog unless replaced.
    std::function<QString()> chooseDat;
    /// Asks whether to stop the work and close; a question box unless replaced.
    std::function<bool()> confirmClose;

    DiscListModel *model() const { return discs; }
    bool isWorking() const { return control != nullptr; }
    /// The summary line of the latest run.
    QString summary() const;
    /// The report of the latest run, as Copy Report copies it.
    QString report() const;

signals:
    /// A run has ended, cancelled or not.
    void runEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void addFiles();
    void addFolder();
    void removeSelected();
    void check();
    void convert();
    void verify();
    void split();
    void cancel();
    void copyReport() const;

private:
    void createControls();
    void startThreads();
    ConversionOptions chosenOptions() const;
    QList<int> targetRows() const;
    void startRun(DiscAction action, const QString &datPath = {});
    void takeFound(const QList<FoundDisc> &found);
    void listFound();
    void showStarted(quint64 id);
    void showProgress(quint64 id, const QString &phase, double fraction);
    void takeResult(const DiscResult &result);
    void endRun(const QString &error);
    void takePlaylists(const QStringList &told, int written);
    void showRunProgress();
    void showFindings();
    void takeFindings(quint64 id, const QString &findings, const QString &cueSheet);
    void enableControls();
    bool handleDrop(QEvent *event);
    void stopWork();

    ShowMessage showMessage;
    DiscListModel *discs = nullptr;
    QThread readerThread;
    QThread runnerThread;
    DiscReader *reader = nullptr;
    DiscRunner *runner = nullptr;
    qsizetype findsPending = 0;
    QList<FoundDisc> toList; ///< found, and listed a slice at a time
    qsizetype listedCount = 0; ///< of toList

    // The run at hand; control is null between runs.
    std::shared_ptr<JobControl> control;
    DiscAction runAction = DiscAction::Check;
    qsizetype runTotal = 0;
    qsizetype runDone = 0;
    double currentFraction = 0;
    QElapsedTimer sinceRunStart;
    QMap<DiscState, qsizetype> runCounts;
    QStringList runReport;
    QString runSummary;
    QString runDat; ///< of the run under way
    QString verifiedDat; ///< the DAT of the last Verify, whose names Split gives
    int playlistsWritten = -1; ///< of the run; -1 when it writes none

    QPushButton *addFilesButton = nullptr;
    QPushButton *addFolderButton = nullptr;
    QPushButton *removeButton = nullptr;
    QTreeView *list = nullptr;
    QTabWidget *panes = nullptr;
    QPlainTextEdit *findingsText = nullptr;
    QPlainTextEdit *cueText = nullptr;
    QPushButton *checkButton = nullptr;
    QPushButton *convertButton = nullptr;
    QPushButton *verifyButton = nullptr;
    QPushButton *splitButton = nullptr;
    QCheckBox *cdTextChoice = nullptr;
    QCheckBox *sessionsChoice = nullptr;
    QCheckBox *codesChoice = nullptr;
    QCheckBox *sbiChoice = nullptr;
    QCheckBox *sbiAllChoice = nullptr;
    QCheckBox *rebuildChoice = nullptr;
    QCheckBox *namesChoice = nullptr;
    QCheckBox *playlistsChoice = nullptr;
    QProgressBar *runBar = nullptr;
    QLabel *runLabel = nullptr;
    QPushButton *cancelButton = nullptr;
    QPushButton *copyReportButton = nullptr;
    QLabel *summaryLabel = nullptr;
};

} // namespace morvant
