#pragma once

#include "basics.h"
#include "conversion.h"

#include <QStringList>

namespace morvant {

/// The control file and .cue paths that one command-line argument names.
struct CommandLinePaths
{
    QString inputPath;
    QString cuePath;
};

/** Reads one command-line argument: a path, with the double quotes around it
    removed when it still has them, and its .cue path by the same rule as
    cuePathForFile(). */
CommandLinePaths commandLinePaths(const QString &argument, QChar separator = nativeSeparator);

/// What the command line asks for.
struct Options
{
    QStringList files;
    bool noWindow = false;
    bool help = false;
    bool version = false;
    bool check = false; ///< --check: report on each file, write nothing
    bool json = false; ///< --json: the --check report for programs
    bool toStandardOutput = false; ///< --stdout: the one cue sheet goes to standard output
    QString verifyDat; ///< --verify DAT: each file's tracks against that DAT, writing nothing
    QString splitOffset; ///< as --split=OFFSET writes it; empty for none
    /// --cdtext, --rebuild, --sessions, --codes, --sbi, --sbi=all, --all:
    /// how each file is converted, or checked
    ConversionOptions conversion;
    QString error; ///< set when the command line cannot be understood
};

/** Reads the program's arguments, the program's own name first: options,
    then control files; "--" ends the options. */
Options parseArguments(const QStringList &arguments);

/// The text of --help.
QString usageText();

/// The text of --version.
QString versionText();

} // namespace morvant
