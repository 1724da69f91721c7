#pragma once

#include "basics.h"
#include "controlFile.h"
#include "cueSheet.h"
#include "discFiles.h"
#include "findings.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvant {

// The tracks of a control file without [TRACK] sections, taken from what
// else the disc left: its table of contents, the image and the subchannel.

/** The cue sheet's flags that a table of contents' Control value gives a
    track, as a FLAGS line lists them: DCP, then for audio 4CH and PRE. Empty
    when it gives none. */
QString tocFlags(qint64 control, bool isAudio);

/// A track that the table of contents and the image give.
struct RebuiltTrack
{
    int number = 0;
    int line = 0; ///< of the track's [Entry] section
    int mode = 0; ///< as a MODE= line writes it: 0 audio, 1 or 2 the data mode
    QString flags; ///< as tocFlags() gives them
    std::optional<qint64> pregap; ///< the first sector of index 0, when the subchannel shows it
    qint64 start = 0; ///< the sector of index 1
};

/// The tracks of a control file without [TRACK] sections, read from its disc.
struct RebuiltTracks
{
    QList<RebuiltTrack> tracks;
    QList<Remark> remarks;
};

/** Builds the tracks of the control file of \a files from what its scan
    gathered in \a sections: their numbers and starts from the table of
    contents of session 1, their modes from the sector headers in the image,
    their pregaps from the subchannel file beside it, their flags from the
    Control values. Each fact that has to come from elsewhere gets a remark. */
RebuiltTracks rebuildTracks(const ConversionFiles &files, const ControlFileSections &sections);

/** The cue sheet's tracks of \a tracks, as the conversion gives the same
    tracks from [TRACK] sections. */
QList<CueTrack> cueTracksOf(const QList<RebuiltTrack> &tracks);

} // namespace morvant
