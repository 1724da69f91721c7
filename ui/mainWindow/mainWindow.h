#pragma once

#include "basics.h"
#include "conversion.h"
#include "dialogSettings.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>

class QAction;
class QFileDialog;
class QMenu;
class QDialog;
class QProgressBar;

namespace morvant {

class CueTextEdit;
class DiscListWindow;

/// The help file that Help > Contents... names; set once at start.
extern QString helpFilePath;

/// Shows \a text titled \a title in a modal box with one OK button and no icon.
void showMessageBox(const QString &text, const QString &title);

/** The program's window: the text area that shows the cue sheet, the File,
    Edit and Help menus, and the ways of converting a control file in it. Every
    message goes through the hook given to the constructor. */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(ShowMessage showMessage, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// The .cue path of the latest conversion attempt; empty before any.
    QString cuePath;

    /** Asks for the control file to open: the full path, or the empty text when
        nothing was chosen. Shows the open dialog unless replaced. */
    std::function<QString()> chooseFile;

    /** How long, in milliseconds, a conversion runs before a dialog shows how
        far it has come. */
    int progressDelay = 1000;

    /// Converts the control file at \a path, shows and writes its cue sheet (File > Open).
    void openFile(const QString &path);

    /** Converts the one dropped file of \a paths as File > Open does, but names
        the .cue file after the conversion. Returns whether the drop was taken:
        false for more than one file (after saying so) and for none at all. A
        drop on the text area comes here just after it has ended. */
    bool dropFiles(const QStringList &paths);

    /// Shows the disc list (File > Disc List...), with the discs of \a paths added.
    void openDiscList(const QStringList &paths = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void open();
    void save();
    void exit();
    void about();
    void helpContents();
    void enableEditItems();
    void cut();
    void copy();
    void paste();
    void selectAll();

private:
    void createActions();
    void createMenus();
    void createTextArea();
    QString chooseFileInDialog();
    /// A busy cursor from the start of a conversion until its outcome is shown.
    void setBusy(bool busy);
    QString convert(const QString &inputPath);
    void showSheet(QString sheet);
    void showConversion(const QString &inputPath);
    void keepAnswering();
    void startConverting(const QString &inputPath);
    void endConverting();
    void closeProgress();
    void showEditPopup(const QPoint &globalPosition);
    bool handleDragAndDrop(QEvent *event);
    bool isEnabledEditShortcut(const QKeyEvent *event) const;

    bool isBusy = false;
    /// From the start of a conversion until its outcome is shown.
    bool isConverting = false;
    /// From a drop until its file is converted, just after the drop has ended.
    bool isDropWaiting = false;
    QDialog *progress = nullptr; ///< made when a conversion starts
    QProgressBar *progressBar = nullptr;
    QElapsedTimer sinceStart; ///< of the conversion
    ShowMessage showMessage;
    CueTextEdit *cueText = nullptr;
    QFileDialog *fileDialog = nullptr;
    DialogSettings settingsBeforeDialog; ///< taken when the dialog is made
    QString lastChosenFile;
    /// What the latest conversion warned of, each naming its file; told with its confirmation
    QStringList warnings;
    DiscListWindow *discList = nullptr; ///< made when first opened

    QMenu *mnuFile = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuSave = nullptr;
    QAction *mnuDiscList = nullptr;
    QAction *mnuExit = nullptr;
    QMenu *mnuEdit = nullptr;
    QAction *mnuCut = nullptr;
    QAction *mnuCopy = nullptr;
    QAction *mnuPaste = nullptr;
    QAction *mnuSelectAll = nullptr;
    QMenu *mnuHelp = nullptr;
    // Contents... stays disabled for the whole run; About shows the
    // application's one About window.
    QAction *mnuHelpContents = nullptr;
    QAction *mnuAbout = nullptr;
};

} // namespace morvant
