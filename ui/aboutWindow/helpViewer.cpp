#include "helpViewer.h"

#include <QString>
#include <QWidget>

#include <utility>

#ifdef Q_OS_WIN
// The one system call the program declares by name itself (User32).
extern "C" __declspec(dllimport) int __stdcall WinHelpA(
    void *window, const char *helpFile, unsigned int command, quintptr data);
#endif

namespace helpViewer {
namespace {

    void platformViewer([[maybe_unused]] const Request &request)
    {
#ifdef Q_OS_WIN
        WinHelpA(reinterpret_cast<void *>(request.window), request.helpFile.constData(),
            request.command, request.data);
#endif
    }

    Viewer &currentViewer()
    {
        static Viewer viewer = platformViewer;
        return viewer;
    }

} // namespace

void showHelp(QWidget *window, const QString &helpFile, quint32 command, quint32 data)
{
    // toLocal8Bit() is the ANSI code page on Windows, which WinHelpA expects.
    const Request request{ window ? static_cast<quintptr>(window->winId()) : 0,
        helpFile.toLocal8Bit(), command, data };
    currentViewer()(request);
}

Viewer replaceViewer(Viewer viewer)
{
    return std::exchange(currentViewer(), std::move(viewer));
}

} // namespace helpViewer
