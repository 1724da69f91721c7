// Converts one control file the way File > Open does, in a main window that is
// never shown, and ends: the benchmark times it against the command line on
// the same file. With --steps it prints what each step of the conversion took.

#include "engine.h"
#include "mainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2)
        return 2;
    MainWindow window([](const QString &, const QString &) {});
    if (arguments.size() > 2 && arguments[2] == QLatin1String("--steps")) {
        window.show();
        auto *text = window.findChild<QPlainTextEdit *>();
        QElapsedTimer timer;
        timer.start();
        const QString sheet = ccdToCue(arguments[1], {});
        std::printf("convert %lld ms\n", timer.restart());
        text->setPlainText(sheet);
        std::printf("setPlainText %lld ms\n", timer.restart());
        const QString back = text->toPlainText();
        std::printf("toPlainText %lld ms\n", timer.restart());
        QApplication::processEvents();
        std::printf("processEvents %lld ms\n", timer.restart());
        return back.isEmpty() ? 1 : 0;
    }
    window.show();
    QElapsedTimer timer;
    timer.start();
    window.openFile(arguments[1]);
    QApplication::processEvents();
    if (arguments.size() > 2)
        std::printf("openFile %lld ms\n", timer.elapsed());
    return 0;
}
