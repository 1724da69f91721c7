#pragma once

#include "check.h"

#include <QList>
#include <QString>
#include <QStringList>

/// What `--check` reports when it ends; the worst file wins.
enum CheckStatus {
    checkClean = 0, ///< nothing found
    checkWarnings = 1, ///< a cue sheet, but one that may not load
    checkRefused = 2, ///< a file that cannot be read or that the conversion refuses
};

CheckStatus checkStatus(const CheckReport &report);

/** The report on one control file for people: the verdict, the image, the
    cue sheet's tracks and each finding with its advice, wrapped to 80
    columns. \a colour adds terminal colours to the verdict and severities. */
QString formatReport(const CheckReport &report, bool colour);

/// The reports on several files as one JSON document, for programs.
QByteArray formatJson(const QList<CheckReport> &reports);

/// The text that `--check` prints, and the exit status that goes with it.
struct CheckRun
{
    QByteArray output;
    CheckStatus status = checkClean;
};

/** Checks each command-line argument (a control file's path, quoted or not)
    and formats the reports, for people or as JSON. */
CheckRun checkFiles(
    const QStringList &arguments, const CheckOptions &options, bool json, bool colour);
