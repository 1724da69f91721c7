#pragma once

#include "checkReport.h"
#include "commandLine.h"
#include "cueOutput.h"
#include "verifyReport.h"

namespace morvant {

// The modes that answer on the standard streams and open no window. Each
// returns the status the process ends with, of its own kind.

/// What --help and --version, or a command line that cannot be understood, end with.
enum ReplyStatus {
    replyWritten = 0, ///< the text of --help or --version is out
    replyUsage = 2, ///< the command line cannot be understood
    replyNotWritten = 3, ///< standard output could not be written
};

/// A command line that cannot be understood: \a error and where to look, on standard error.
ReplyStatus printUsageError(const QString &error);

/// --help and --version: \a text on standard output.
ReplyStatus printText(const QString &text);

/// --check: the report on each file named, as text or JSON, on standard output.
CheckStatus runCheck(const Options &options);

/// --verify: each file's tracks against the DAT, as text or JSON, on standard output.
VerifyStatus runVerify(const Options &options);

/// --stdout: the cue sheet of the one file named, on standard output.
ConversionStatus writeToStandardOutput(const Options &options);

/// --no-window, or no display: each .cue beside its control file, the messages on standard error.
ConversionStatus convertWithoutWindow(const Options &options);

} // namespace morvant
