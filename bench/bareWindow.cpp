// The floor for the window's start: an empty QMainWindow of the main window's
// size, shown and left to the event loop, with nothing of MORVANT's in it.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.resize(593, 545);
    window.show();
    return QApplication::exec();
}
