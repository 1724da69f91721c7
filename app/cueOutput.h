#pragma once

#include "commandLine.h"

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

/// Tells the user of something that went wrong without stopping the work.
using ShowWarning = std::function<void(const QString &text)>;

/// Shows a message, as ShowMessage does, about the control file at \a path.
using ShowFileMessage =
    std::function<void(const QString &path, const QString &text, const QString &title)>;

/** Converts each control file in turn, writing its .cue beside it, and tells
    the user of each failure through \a showMessage, with the path of the
    control file it concerns. With \a cdText the
    titles and performers of its CD-Text are added; a file whose CD-Text
    cannot be decoded is converted without them, after a warning through
    \a showWarning. With \a rebuild a file without [TRACK] sections gets its
    tracks from its table of contents and image, with a warning for each fact
    that they could not give. With \a sessions a multi-session file is
    converted with its sessions, with \a codes the disc's CATALOG and the
    tracks' ISRC are added; what they cannot write gives a warning. With
    \a sbi the Q blocks of the .sub that the cue sheet loses go into the .sbi
    beside the .cue, written as the .cue is, and a line through \a showNote
    tells how many, or why there is none. Returns the exit status. */
ExitStatus convertFiles(const QStringList &files, bool cdText, const ShowFileMessage &showMessage,
    const ShowWarning &showWarning, bool rebuild = false, bool sessions = false, bool codes = false,
    SbiWrite sbi = SbiWrite::No, const ShowWarning &showNote = {});

/** Converts the control file that \a argument names and writes to \a output
    exactly the bytes its .cue file would hold. \a cdText, \a rebuild,
    \a sessions, \a codes and \a sbi work as for convertFiles(); the .sbi goes
    beside the control file, where the sheet is meant to be saved. Returns exitRefused after
    telling the user through \a showMessage, exitNotWritten when \a output
    fails, after telling the system's reason the same way. */
ExitStatus convertToOutput(const QString &argument, bool cdText, QIODevice &output,
    const ShowMessage &showMessage, const ShowWarning &showWarning, bool rebuild = false,
    bool sessions = false, bool codes = false, SbiWrite sbi = SbiWrite::No,
    const ShowWarning &showNote = {});
