#pragma once

#include "commandLine.h"

namespace morvant {

/** --discs: opens the disc list with the discs of the files and folders
    named, and returns when it is closed. Without a display, says so and
    returns conversionUsage. */
int openDiscListWindow(int &argc, char **argv, const Options &options);

} // namespace morvant
