#pragma once

#include "basics.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace morvant {

// What the user named, files and folders alike, as the discs to work on: every
// mode, on the command line or in a window, takes its discs from here.

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

/// One disc to work on: a control file, or what stood where one was looked for.
struct Disc
{
    enum Kind {
        ControlFile, ///< named, or found below a folder named
        Unreachable, ///< below a folder named, what could not be read, with the reason in error
        NoControlFile, ///< a folder named with no control file below it; path is as named
    };
    Kind kind = ControlFile;
    QString path; ///< the control file as the system opens it
    QString cuePath; ///< where its .cue goes
    QString error; ///< why an Unreachable one could not be read
    bool isInFolder = false; ///< found below a folder rather than named

    /// Why one that is no control file to read cannot be worked on, as a
    /// file that cannot be read is told of.
    QString reason() const;
};

/// The discs that the arguments name, each once, in the order named.
struct DiscSet
{
    QList<Disc> discs;
    bool hasFolder = false; ///< a folder was named among them
    qsizetype named = 0; ///< how many arguments there were
    /// Several discs or a folder: the run ends with a summary.
    bool isSeveral() const { return hasFolder || named > 1; }
};

/** The discs that \a arguments name. A file named is taken as it is, whatever
    its name (the mode refuses what is no control file); a folder stands for
    each control file below it, walked as walkDiscFolder() walks it. A disc
    reached twice (named twice, by two names, or named and below a folder
    named too) is taken once, where it comes first. */
DiscSet discSet(const QStringList &arguments);

} // namespace morvant
