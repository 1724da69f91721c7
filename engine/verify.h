#pragma once

#include "conversion.h"
#include "datFile.h"
#include "trackFiles.h"
#include "trackHashes.h"

#include <QList>
#include <QString>

namespace morvant {

// --verify: each track's file, as the one-file-per-track layout cuts the
// image, hashed and looked for in a DAT. A CloneCD image holds audio as the
// drive read it, shifted by the drive's read offset, where DATs hold it
// corrected; audio tracks that match nothing are looked for at the offsets
// that would correct them.

/// How far either way the audio tracks are looked for: drives' read offsets
/// lie within a few thousand samples.
inline constexpr int mostOffsetSamples = 6000;

/// One track's file as --verify finds it.
struct VerifiedTrack
{
    TrackFile file;
    /// Of its bytes; at the disc's audio offset, for an audio track, when one is found
    FileHashes hashes;
    QList<qsizetype> matches; ///< the DAT's files that it matches: size and all three hashes
    qsizetype entriesOfItsSize = 0; ///< the DAT's files of its size, matching or not
    /// The file of the disc's game that it matches, of its own number where the game has one;
    /// -1 when it matches none of the game's files
    qsizetype ofGame = -1;
    /// Whether it matches only files of the disc's game that carry another track's number
    bool isOutOfOrder = false;
};

/// What a disc's tracks are, against a DAT.
enum class DiscVerdict {
    /// every track matches a file of one game, of its own number, and that game has no other track
    Matches,
    /// every track matches a file of one game that has no other track, some of them only
    /// files of other tracks' numbers
    OutOfOrder,
    DataOnly, ///< the data tracks match one game's files, the audio tracks none
    Partly, ///< some tracks match, or all but not of one game, or the game has more
    Nothing, ///< no track matches
    NotVerified, ///< the disc cannot be verified
};

/// The cue sheet that --split writes for a disc, against the .cue of the disc's game.
enum class SheetVerdict {
    NotListed, ///< the DAT lists no .cue of the game with its size and all three hashes
    Matches,
    /// differs only in its files' names: named after the game, it would match
    NamedOtherwise,
    Differs,
};

/// The sheet checked against a DAT, looked up as a track's file is.
struct VerifiedSheet
{
    FileHashes hashes; ///< of the sheet as --split writes it
    QString datName; ///< the game's .cue in the DAT; empty when it lists none
    /// The name --split gives the files ("Disc"), where the DAT's sheet names them after the game
    QString baseName;
    SheetVerdict verdict = SheetVerdict::NotListed;
};

/// A disc checked against a DAT.
struct VerifiedDisc
{
    QString controlFile;
    QString error; ///< why it cannot be verified; empty when it can
    QList<VerifiedTrack> tracks;
    /// Samples later in the image (earlier when negative) at which every
    /// audio track matches, when they match only there; 0 otherwise
    int audioOffset = 0;
    QString game; ///< the game whose files the tracks match, as many of them as one game covers
    QStringList missing; ///< that game's track files that no track matches
    DiscVerdict verdict = DiscVerdict::NotVerified;
    VerifiedSheet sheet; ///< the game's cue sheet against the one --split writes
};

/// What --split with a DAT names a disc's files: as the DAT lists them.
struct DatNames
{
    QString game; ///< the game whose names they are
    QStringList tracks; ///< each track's file's, in the disc's order
    QString cue; ///< the game's cue sheet's: as the DAT lists it, else the game's name and ".cue"
    QString refusal; ///< why the files are not named so; empty when they are
};

/** The names of the files of the game that every track of \a disc, which
    Matches, matches in \a dat. Several such games (a region's or a
    revision's twin of the same tracks) leave the choice to the name of the
    control file \a controlFile: the game it is named after, else none, and
    the refusal names them. A name that is not one file's beside the control
    file on every system (a folder separator, "." or "..", a character or a
    device name that Windows refuses, a trailing dot or blank), that is the
    control file's, the image's or the .sub's, or that two files share is
    refused too, with the reason. */
DatNames datNames(const VerifiedDisc &disc, const DatFile &dat, const QString &controlFile);

/** \a cueSheet, as --split writes it, against the cue sheet of \a game that
    \a dat lists: NotListed, Matches or Differs. */
SheetVerdict sheetVerdictOf(const QString &cueSheet, const QString &game, const DatFile &dat);

/** The number of the track whose file the DAT names \a name, as redump names
    them: 3 for "Game (Track 3).bin" or, on a disc of ten tracks or more,
    "Game (Track 03).bin"; -1 for a name that carries none, as the file of a
    disc of one track ("Game.bin") has none. */
int trackNumberOf(const QString &name);

/** How many files of \a dat are in games without a name (or one of blanks
    alone): no disc is matched against them, as nothing tells such games
    apart. */
qsizetype filesOfNamelessGames(const DatFile &dat);

/** Verifies the disc of the control file at \a path, converted as \a options
    ask, against \a dat, reading its image once for the hashes, and once
    more for audio tracks that match nothing at the offsets of
    mostOffsetSamples either way. \a progress is told of the bytes read. */
VerifiedDisc verifyDisc(const QString &path, const DatFile &dat, const ConversionOptions &options,
    const Progress &progress = {});

/// Whether \a path names a cue sheet (`.cue`), which --verify takes for the set of files it names.
bool isSheetPath(const QString &path);

/** Verifies the set of files that the cue sheet at \a path names (as
    --split writes one, a `FILE` line for each track) against \a dat: each
    file hashed whole and looked up as a track's file is, and the sheet's own
    bytes against the .cue of the game that they match. Nothing is cut or
    shifted: the set is what a ROM manager would check. A named file that is
    missing, or a sheet that names none, cannot be verified, with the
    reason. \a progress is told of the bytes read. */
VerifiedDisc verifySheetSet(const QString &path, const DatFile &dat, const Progress &progress = {});

} // namespace morvant
