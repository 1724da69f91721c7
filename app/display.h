#pragma once

#include <functional>
#include <memory>

class QApplication;

namespace morvant {

// Remark and opening the display the window is shown on. Only X11 and
// Wayland name it in the environment, where it may be missing or gone
// (display_unix.cpp); elsewhere it is always there (display_other.cpp).

/// Whether there is a display to show the window on.
bool hasDisplay();

/** The application, connected to the display. Should the display not open,
    the program says why in one line, runs \a withoutDisplay, which does
    what a run without a display does, and ends with its status. */
std::unique_ptr<QApplication> openDisplay(
    int &argc, char **argv, const std::function<int()> &withoutDisplay);

} // namespace morvant
