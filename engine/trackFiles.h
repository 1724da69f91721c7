#pragma once

#include "basics.h"
#include "cueSheet.h"
#include "discFiles.h"
#include "fileToWrite.h"
#include "findings.h"
#include "sessionImage.h"
#include "trackHashes.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QFile;

namespace morvant {

// The one-file-per-track layout that DATs describe and that --split writes:
// a track's file runs from its INDEX 00 (its INDEX 01 when it has none) to
// where the next track's file starts, the first from the image's start and
// the last to its end. The image holds no space between sessions, as a dump
// has it, so a session's last file ends at its lead-out; where an image
// holds that space, it goes into no file.

/// Where a CD's audio sample lies against the image's bytes: 2 channels of 16 bits.
inline constexpr qint64 sampleSize = 4;

/// A track's file in the one-file-per-track layout.
struct TrackFile
{
    QString number; ///< as the cue sheet writes it, "01"
    bool isAudio = false;
    QString name; ///< "Disc (Track 1).bin"
    qint64 start = 0; ///< the byte of the image where it starts
    qint64 size = 0; ///< in bytes
    qint64 sheetStart = 0; ///< the sector where it starts, as the cue sheet counts sectors

    /** Its bytes in the image, an audio track's taken \a offsetSamples
        samples later (earlier when negative), as a drive's read offset
        shifts them. */
    ByteStretch stretch(int offsetSamples = 0) const;
};

/** The name of the file of track \a number ("01") of a disc of \a count
    tracks, named after \a baseName as trackFiles() names them. */
QString trackFileName(const QString &baseName, const QString &number, qsizetype count);

/** The tracks' files of \a sheet, a cue sheet of one image, named after
    \a baseName: "NAME (Track 1).bin", two digits when there are ten tracks
    or more, and "NAME.bin" for a disc of one track. \a held tells how the
    image holds the sessions (empty for a disc of one session), \a imageSize
    its size in bytes. Empty, with the reason in \a error, when there are no
    tracks, when a track has
    no INDEX 01 that is a sector count, starts before the one before it or
    beyond the image's end. */
QList<TrackFile> trackFiles(const CueSheet &sheet, const QList<HeldSectors> &held, qint64 imageSize,
    const QString &baseName, QString *error);

/** Why \a sheet's image of \a imageSize bytes, held as \a held says (empty
    for a disc of one session), is not cut into files even where trackFiles()
    can cut it: --check's finding of its end, an index at or beyond it (a track
    would get an empty file, or an INDEX outside its file) or a last sector cut
    short (the last file would be no whole number of sectors); none when the
    image's end is sound. */
std::optional<Remark> imageEndRefusal(
    const CueSheet &sheet, const QList<HeldSectors> &held, qint64 imageSize);

/** --check's finding of an image of \a imageSize bytes that is no whole
    number of sectors, its last one cut short; none when it is whole. --split
    refuses such an image too. */
std::optional<Remark> partialSectorFinding(qint64 imageSize);

/** --check's finding of the INDEX lines of \a tracks that lie at or beyond
    \a end, the sector of the disc where the image ends; none when none does.
    --split refuses such an image too: a track's file would be empty. */
std::optional<Remark> beyondEndFinding(const QList<CueTrack> &tracks, qint64 end);

/** \a sheet as the sheet of \a files, as the preservation DATs list it:
    each track in a FILE of its own, its INDEX times counted from the start
    of its file; with \a isCdi (a CD-i disc) every data track's mode is
    CDI/2352. A later session is told by its REM SESSION line alone: the
    DATs' sheets give no length of the space between the sessions, which a
    reader takes to be a disc's usual one. */
CueSheet splitSheet(CueSheet sheet, const QList<TrackFile> &files, bool isCdi = false);

/** The files that --split writes beside the control file: \a tracks, cut
    from the image of \a files (audio tracks shifted by \a offsetSamples),
    and \a cueSheet, their sheet, to \a cuePath, last. The sheet's characters
    are checked and the image is opened first, into \a image, which the
    contents read while they are written; false with the message in \a
    error when either fails. \a progress is told of the bytes of the whole set
    as they are written, and stops the writing when it says so. */
bool trackFilesToWrite(const ConversionFiles &files, const QList<TrackFile> &tracks,
    int offsetSamples, const QString &cuePath, const QString &cueSheet, QList<FileToWrite> *written,
    std::shared_ptr<QFile> *image, QString *error, const Progress &progress = {});

} // namespace morvant
