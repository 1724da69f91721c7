// Preloaded (LD_PRELOAD) into a Qt program to tell runTimed when its first
// window has been shown and painted: the moment, on CLOCK_MONOTONIC, and the
// resident memory then, written to the file that MORVANT_BENCH_PROBE names.
// The program under test is left unchanged, so MORVANT and the bare window
// are measured by the same code.

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QObject>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> value)
            return value;
        status.ignore(4096, '\n');
    }
    return 0;
}

void report()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const char *path = std::getenv("MORVANT_BENCH_PROBE");
    if (path == nullptr)
        return;
    // Written whole under another name first: runTimed polls for the file.
    const std::string partial = std::string(path) + ".part";
    if (FILE *file = std::fopen(partial.c_str(), "w")) {
        std::fprintf(
            file, "%lld %ld\n", now.tv_sec * 1000000000LL + now.tv_nsec, residentKilobytes());
        std::fclose(file);
        std::rename(partial.c_str(), path);
    }
}

class FirstFrame : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The expose event paints the window; the report waits until the
        // event loop comes back, when the frame has been handed to the server.
        if (!done && event->type() == QEvent::Expose && watched->isWindowType()
            && static_cast<QWindow *>(watched)->isExposed()) {
            done = true;
            QMetaObject::invokeMethod(
                this, [] { report(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool done = false;
};

void install()
{
    // The first, short-lived QCoreApplication of MORVANT has no windows.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
        QCoreApplication::instance()->installEventFilter(
            new FirstFrame(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
