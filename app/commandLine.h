#pragma once

#include "basics.h"
#include "conversion.h"
#include "discSet.h"
#include "modes.h"

#include <QStringList>

namespace morvant {

/// What the command line asks for.
struct Options
{
    QStringList files;
    bool noWindow = false;
    bool help = false;
    bool version = false;
    /// What to do with each disc: the one mode that an option asked for, or the conversion
    Mode mode = Mode::Convert;
    bool json = false; ///< --json: the --check or --verify report for programs
    QString verifyDat; ///< --verify DAT: each file's tracks against that DAT, writing nothing
    QString splitOffset; ///< as --split=OFFSET writes it; empty for none
    /// --cdtext, --rebuild, --sessions, --codes, --sbi, --sbi=all, --all:
    /// how each file is converted, or checked
    ConversionOptions conversion;
    QString error; ///< set when the command line cannot be understood
    QList<Mode> modesAsked; ///< by their options, in the order given
};

/** Reads the program's arguments, the program's own name first: options,
    then control files and folders; "--" ends the options. */
Options parseArguments(const QStringList &arguments);

/// The text of --help.
QString usageText();

/// The text of --version.
QString versionText();

} // namespace morvant
