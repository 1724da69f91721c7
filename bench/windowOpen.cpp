// Converts one control file as File > Open does, in a shown main window whose
// messages go nowhere, and ends once the window has caught up: the benchmark
// times it against the command line on the same file.

#include "mainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2)
        return 2;
    MainWindow window([](const QString &, const QString &) {});
    window.show();
    window.openFile(arguments[1]);
    QApplication::processEvents();
    return 0;
}
