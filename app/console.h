#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

namespace morvant {

// What the program exchanges with whoever started it: its arguments and its
// standard streams. What each platform does its own way is in
// console_unix.cpp and console_win.cpp.

/** The program's arguments, its own name first, each as the text that
    reaches the file its caller named; on Windows "/?" as "--help". Called while a QCoreApplication
    exists: on Windows it is Qt that reads the command line. */
QStringList programArguments(int argc, char **argv);

/** The program is a windowed one, so Windows gives it no console. What it
    writes goes where its caller sent it: to a pipe or a file when redirected,
    else to the console of the command prompt that started it. Started from
    Explorer there is none, and none is opened. Elsewhere nothing to do. */
void useCallersConsole();

/** Writes \a text to \a stream: to a console on Windows as it is, elsewhere
    as toShownBytes(). */
void print(FILE *stream, const QString &text);

/// Tells the user on standard error of \a text, titled \a title, about the control file at \a path.
void showOnStandardError(const QString &path, const QString &text, const QString &title);

/// Tells the user on standard error of \a text, a fault that does not stop the work.
void warnOnStandardError(const QString &text);

/// Tells the user on standard error what became of something asked for, prefixed "morvant: ".
void noteOnStandardError(const QString &text);

/// Tells the user on standard error that standard output could not be written, for \a reason.
void reportUnwritableOutput(const QString &reason);

/** Closes standard output as GNU tools do: output that never arrived (a full
    disk, a vanished NFS server), even where only the close finds out, is
    told on standard error instead of passing for success. \a reason is a
    failure already known. Returns whether all output arrived. */
bool closeStandardOutput(QString reason = {});

/// Whether standard output is a terminal.
bool isStandardOutputTerminal();

/// Whether standard error is a terminal, where a line of progress may be redrawn.
bool isStandardErrorTerminal();

/** How many columns wide the terminal or console of standard error is; 0
    when it is none or does not say. */
int standardErrorColumns();

/** Whether what print() writes to \a stream reaches a console as characters:
    a console on Windows; never elsewhere, where a terminal reads bytes. */
bool isConsole(FILE *stream);

/** Makes the terminal on standard output read colour codes where it must be
    asked to (a Windows console); false where it cannot. */
bool turnOnColourCodes();

/// Whether standard output is a terminal that a person wants colour on, and that shows it.
bool isColourTerminal();

/// Makes standard output pass every byte through as it is written.
void setBinaryStandardOutput();

} // namespace morvant
