#pragma once

#include "conversion.h"
#include "conversionJob.h"
#include "discSet.h"
#include "modes.h"

#include <QString>

#include <functional>

class QIODevice;

namespace morvant {

/// Shows a message, as ShowMessage does, about the control file at \a path.
using ShowFileMessage =
    std::function<void(const QString &path, const QString &text, const QString &title)>;

/** Converts each disc of \a discs in turn as \a options ask (with split,
    into the tracks' files and their sheet), writing its .cue beside it, and
    tells the user of each failure through \a showMessage, with the path of
    the control file it concerns, and of each fact that the conversion could
    not give (CD-Text that cannot be decoded, a guess of --rebuild, what
    --sessions and --codes cannot write) through \a showWarning. When \a
    options ask for the .sbi, the Q blocks of the .sub that the cue sheet
    loses go into the .sbi beside the .cue, and a line through \a showNote
    tells how many, or why there is none. With options.playlists, each game
    of several discs among them then gets its playlist (playlistJobs()),
    told and written the same way. A folder of several discs ends with a
    summary through \a showNote. \a showProgress, when given, is told
    how far the writing of a disc's track files has come, and once with no
    progress before anything else is told. With \a namesFrom, a DAT, each
    disc is split as namedSplitJob() splits it. Returns the exit status. */
ConversionStatus convertFiles(const DiscSet &discs, const ConversionOptions &options,
    const ShowFileMessage &showMessage, const ShowWarning &showWarning,
    const ShowWarning &showNote = {},
    const std::function<void(const JobProgress &progress, const QString &name)> &showProgress = {},
    const DatFile *namesFrom = nullptr);

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
