// Converts one control file as File > Open does, in a shown main window whose
// messages go nowhere, and ends once the window has caught up: the benchmark
// times it against the command line on the same file.
//
// With --editor-only it opens a cue sheet instead, and puts its text as it
// stands into a bare QPlainTextEdit of the text area's size and settings: the
// floor that Qt's editor sets for showing that sheet, with nothing of
// MORVANT's around it.
//
//   windowOpen FILE.ccd
//   windowOpen --editor-only FILE.cue

#include "mainWindow.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

using namespace morvant;

namespace {

int showInBareEditor(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    QPlainTextEdit editor;
    editor.resize(593, 545);
    editor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    editor.show();
    // The bytes go before the editor takes its copy, as MORVANT lets go of its own.
    const QString text = QString::fromUtf8(file.readAll());
    editor.setPlainText(text);
    QApplication::processEvents();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == u"--editor-only")
        return showInBareEditor(arguments[2]);
    if (arguments.size() != 2)
        return 2;
    MainWindow window([](const QString &, const QString &) {});
    window.show();
    window.openFile(arguments[1]);
    QApplication::processEvents();
    return 0;
}
