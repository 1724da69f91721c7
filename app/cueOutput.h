#pragma once

#include "commandLine.h"

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace morvant {

/** What a conversion (into .cue files, with or without the window, or to
    standard output) ends with; the worst outcome of all files wins. --check
    has its own statuses, CheckStatus. */
enum ConversionStatus {
    conversionDone = 0, ///< every file converted
    conversionRefused = 1, ///< a file could not be read or is not a single-session control file
    conversionUsage = 2, ///< no file named and no window to open: a usage error
    conversionNotWritten = 3, ///< a .cue or .sbi file, or standard output, could not be written
};

/// Tells the user of something that went wrong without stopping the work.
using ShowWarning = std::function<void(const QString &text)>;

/// Shows a message, as ShowMessage does, about the control file at \a path.
using ShowFileMessage =
    std::function<void(const QString &path, const QString &text, const QString &title)>;

/** Converts each control file in turn as \a options ask, writing its .cue
    beside it, and tells the user of each failure through \a showMessage,
    with the path of the control file it concerns, and of each fact that the
    conversion could not give (CD-Text that cannot be decoded, a guess of
    --rebuild, what --sessions and --codes cannot write) through
    \a showWarning. When \a options ask for the .sbi, the Q blocks of the
    .sub that the cue sheet loses go into the .sbi beside the .cue, written
    as the .cue is, and a line through \a showNote tells how many, or why
    there is none. Returns the exit status. */
ConversionStatus convertFiles(const QStringList &files, const ConversionOptions &options,
    const ShowFileMessage &showMessage, const ShowWarning &showWarning,
    const ShowWarning &showNote = {});

/** Converts the control file that \a argument names and writes to \a output
    exactly the bytes its .cue file would hold. \a options work as
    for convertFiles(); the .sbi goes beside the control file, where the
    sheet is meant to be saved. Returns conversionRefused after telling the user
    through \a showMessage, conversionNotWritten when \a output fails, after
    telling the system's reason the same way. */
ConversionStatus convertToOutput(const QString &argument, const ConversionOptions &options,
    QIODevice &output, const ShowMessage &showMessage, const ShowWarning &showWarning,
    const ShowWarning &showNote = {});

} // namespace morvant
