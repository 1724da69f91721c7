#pragma once

#include "conversion.h"
#include "cueFile.h"

#include <QStringList>

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

/// What the process reports when it ends; the worst outcome of all files wins.
enum ExitStatus {
    exitConverted = 0,
    exitRefused = 1, ///< a file could not be read or is not a single-session control file
    exitUsage = 2,
    exitNotWritten = 3, ///< a .cue file could not be written
};

/// Whether to write the .sbi beside the .cue.
enum class SbiWrite {
    No,
    /// --all: as --sbi, but nothing is said when there is nothing to keep, so
    /// that a disc without a .sub converts as without the option
    Quietly,
    UnlessDamaged, ///< --sbi: not when so many blocks differ that the .sub looks damaged
    Always, ///< --sbi=all: however many blocks differ
};

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
    bool cdText = false; ///< --cdtext: add the disc's titles and performers
    bool rebuild =
        false; ///< --rebuild: tracks from the table of contents when there are no [TRACK] sections
    bool sessions = false; ///< --sessions: a cue sheet of every session of a multi-session file
    bool codes = false; ///< --codes: add the disc's CATALOG and the tracks' ISRC
    SbiWrite sbi = SbiWrite::No; ///< --sbi, --sbi=all: the altered Q blocks into a .sbi
    QString error; ///< set when the command line cannot be understood

    /// How each file is to be converted.
    ConversionOptions conversion() const;
};

/** Reads the program's arguments, the program's own name first: options,
    then control files; "--" ends the options. */
Options parseArguments(const QStringList &arguments);

/// The text of --help.
QString usageText();

/// The text of --version.
QString versionText();
