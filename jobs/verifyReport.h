#pragma once

#include "conversion.h"
#include "discSet.h"
#include "job.h"
#include "modes.h"
#include "reportOutput.h"
#include "verify.h"

#include <QString>
#include <QStringList>

namespace morvant {

/** The verdict on \a disc in one line, as the report gives it after its
    file's name: "every track matches \"Game (Europe)\"". */
QString verdictText(const VerifiedDisc &disc);

/** The report on \a disc, verified against \a dat, for people: the verdict,
    each track with what it matches, the audio offset and what the game
    lists that no track matches. */
QString verifiedDiscText(const VerifiedDisc &disc, const DatFile &dat);

/** Verifies each disc of \a discs against the DAT at \a datPath and writes
    the report to \a output: for a control file named each track and the
    verdict; for one below a folder, and each thing there that cannot be
    reached (as a disc that cannot be verified), one line; a summary when
    there is more than one disc. With \a json, one JSON document for
    programs. \a showProgress, when given, is told how far the hashing of
    each disc (named by \a name) has come, and once with no progress when it
    is done. Returns the worst status. */
VerifyStatus verifyFiles(const DiscSet &discs, const QString &datPath,
    const ConversionOptions &options, bool json, ReportOutput output,
    const std::function<void(const JobProgress &progress, const QString &name)> &showProgress = {});

} // namespace morvant
