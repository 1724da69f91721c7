#pragma once

#include "helpViewer.h"

namespace morvant {

/** Hands \a request to the system's help viewer: WinHelpA on Windows
    (systemHelp_win.cpp). Elsewhere there is no such viewer
    (systemHelp_unix.cpp), and nothing happens. */
void showSystemHelp(const helpViewer::Request &request);

} // namespace morvant
