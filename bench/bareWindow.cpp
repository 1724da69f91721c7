// The floor for the window's start: an empty QMainWindow of the main window's
// size, shown and left to the event loop, with nothing of MORVANT's in it.
// With --with-text it also has a menu bar and a text area holding a line of
// text, as MORVANT's window has: the floor of a window that draws text, which
// brings in the font system (fontconfig, FreeType) that the bare one never loads.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    if (QApplication::arguments().contains(QStringLiteral("--with-text"))) {
        window.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("E&xit"));
        window.setCentralWidget(new QPlainTextEdit(QStringLiteral("A line of text.")));
    }
    window.resize(593, 545);
    window.show();
    return QApplication::exec();
}
