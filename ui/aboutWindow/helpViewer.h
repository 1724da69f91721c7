#pragma once

#include <QByteArray>

#include <functional>

class QWidget;

/// The platform's help viewer, behind a seam that tests can watch.
namespace morvant::helpViewer {

/// One call to the help viewer, with its arguments as the viewer takes them.
struct Request
{
    quintptr window; ///< the native handle of the calling window
    QByteArray helpFile; ///< the help file's path in the system's ANSI code page
    quint32 command;
    quint32 data;
};

using Viewer = std::function<void(const Request &)>;

/** Asks the help viewer to show \a helpFile for \a window. On Windows this is
    WinHelpA; elsewhere there is no such viewer and a stand-in does nothing.
    The viewer's answer is ignored, and nothing is reported either way. */
void showHelp(QWidget *window, const QString &helpFile, quint32 command, quint32 data);

/// Puts \a viewer in place of the platform's one; returns the viewer it replaces.
Viewer replaceViewer(Viewer viewer);

} // namespace morvant::helpViewer
