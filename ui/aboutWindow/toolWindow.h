#pragma once

#include <Qt>

class QWidget;

namespace morvant {

// A window that stays above the main window and out of the taskbar, without
// an owner, as the About window does. On Windows a tool window stays out of
// the taskbar, and without an owner it is not kept above the main window.
// X11 makes a tool window transient for the whole program, which window
// managers keep above its other windows; there an ordinary window that asks
// to skip the taskbar does both. Hence toolWindow_win.cpp and
// toolWindow_unix.cpp.

/// The kind of window to give such a window.
Qt::WindowType toolWindowKind();

/** Asks the window manager to leave \a window out of the taskbar and the
    pager, where its kind does not already. Called before it is first shown. */
void keepOutOfTaskbar(QWidget *window);

} // namespace morvant
