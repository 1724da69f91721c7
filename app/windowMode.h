#pragma once

#include "commandLine.h"

namespace morvant {

/** Converts each file named, each .cue beside its control file, and opens
    the main window when one of them failed or none was named; the messages
    are shown in message boxes before it. Without a display that can be
    opened, does what --no-window does instead. Returns the status the
    process ends with: a ConversionStatus, or what the window's run gave when
    that is worse. */
int convertOrOpenWindow(int &argc, char **argv, const Options &options);

} // namespace morvant
