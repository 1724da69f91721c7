#pragma once

#include "commandLine.h"

// The modes that answer on the standard streams and open no window. Each
// returns the status the process ends with.

/// A command line that cannot be understood: \a error and where to look, on standard error.
int printUsageError(const QString &error);

/// --help and --version: \a text on standard output.
int printText(const QString &text);

/// --check: the report on each file named, as text or JSON, on standard output.
int runCheck(const Options &options);

/// --stdout: the cue sheet of the one file named, on standard output.
int writeToStandardOutput(const Options &options);

/// --no-window, or no display: each .cue beside its control file, the messages on standard error.
int convertWithoutWindow(const Options &options);
