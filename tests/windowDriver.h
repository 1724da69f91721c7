#pragma once

// Drives the windows of another process as a user would, through the system
// rather than through Qt: xdotool and the X server on Linux, the Windows API
// under wine, as on a Windows desktop. A window is named by its X window id or
// its handle, in text.

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QtGui/qwindowdefs.h>

/// The visible top-level windows of the process \a pid.
QStringList visibleWindows(qint64 pid);

/// The size of \a window's client area.
QSize windowSize(const QString &window);

/// The window titled \a title of the process \a pid once it shows; empty until then.
QString shownWindow(qint64 pid, const QString &title);

/// Types \a key ("alt+h", "a", "Return") into whatever window has the keyboard.
void typeKey(const QString &key);

/** Presses \a key in \a window, brought to the front and given the keyboard
    first, as a click or a window manager would. */
void press(const QString &window, const QString &key);

/** Asks \a window to close as its frame's close button does: with a
    WM_DELETE_WINDOW message on X11, SC_CLOSE on Windows. */
void closeThroughFrame(const QString &window);

/** Gives the session the colours of a black high-contrast scheme (with \a
    on), or its own again; false where the system has no such colours to
    set (X11, whose desktops give Qt their colours otherwise). */
bool useBlackSchemeColours(bool on);

#ifndef Q_OS_WIN
/// The X atom named \a name, through this process's own connection.
quint32 xcbAtom(const char *name);

/// The 32-bit values of a property of an X window; empty when it has none.
QList<quint32> windowProperty(WId window, const char *name);
#endif
