#pragma once

#include "conversionJob.h"
#include "discSet.h"
#include "modes.h"

#include <QList>
#include <QString>

namespace morvant {

// --m3u: the playlist of each multi-disc game among the discs converted, as
// a job after theirs, for a front end to tell and writeSteps() to write.

/// What the playlist of one game gives.
struct PlaylistResult
{
    QString controlFile; ///< its first disc's, beside which it is written
    QList<JobStep> steps;
    /// conversionNotWritten when a file that is not this playlist stands
    /// under its name, or the code page cannot hold it
    ConversionStatus status = conversionDone;
};

/** The playlists (playlists()) of the multi-disc games among \a discs, each
    disc known by its sheet's name, to tell and write once their discs are
    converted; \a isWritten tells, for each disc, whether its sheet was
    written. A game whose set lacks a disc or holds one twice, one of whose
    sheets was not written, or whose sheet's name no line gives as it is,
    gets a warning and no playlist. A file under the playlist's name that is
    not the playlist itself, byte for byte, is left as it is, and the
    playlist refused. Writes nothing. */
QList<PlaylistResult> playlistJobs(const QList<Disc> &discs, const QList<bool> &isWritten);

} // namespace morvant
