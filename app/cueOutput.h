#pragma once

#include "commandLine.h"

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

/// Tells the user of something that went wrong without stopping the work.
using ShowWarning = std::function<void(const QString &text)>;

/** Converts each control file like convertFiles(), adding the titles and
    performers of its CD-Text. A file whose CD-Text cannot be decoded is
    converted without it, after a warning through \a showWarning. */
ExitStatus convertFilesWithCdText(
    const QStringList &files, const ShowMessage &showMessage, const ShowWarning &showWarning);

/** Converts the control file that \a argument names and writes to \a output
    exactly the bytes its .cue file would hold. With \a cdText the disc's
    CD-Text is added as by convertFilesWithCdText(). Returns exitRefused after
    telling the user through \a showMessage, exitNotWritten when \a output
    fails, after telling the system's reason the same way. */
ExitStatus convertToOutput(const QString &argument, bool cdText, QIODevice &output,
    const ShowMessage &showMessage, const ShowWarning &showWarning);
