#include "helpViewer.h"

#include "systemHelp.h"

#include <QString>
#include <QWidget>

#include <utility>

namespace morvant::helpViewer {
namespace {

Viewer &currentViewer()
{
    static Viewer viewer = showSystemHelp;
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

} // namespace morvant::helpViewer
