#pragma once

#include "basics.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace morvant {

// The playlists of multi-disc games: GAME.m3u beside the discs' sheets, which
// RetroArch, DuckStation and mednafen load to swap discs. Each reads a line
// as a path relative to the playlist's folder, trims the blanks and the CR
// at its end, and passes over empty lines and those that begin with '#'; none
// takes a byte-order mark away. The discs of one game are told by their
// names, as redump ("Game (Europe) (Disc 2)") and TOSEC ("Game (1999)(Maker)
// (Disc 2 of 3)") write them.

/// Where a name gives a disc of a game: "Game (Europe) (Disc 2)".
struct DiscOfGame
{
    QString game; ///< the name without its disc: "Game (Europe)"
    int number = 0; ///< from 1
    int count = 0; ///< from "(Disc 2 of 3)"; 0 where the name gives none
};

/** The game and disc that \a name, a disc's name without its folder and
    extension, gives by its "(Disc N)" or "(Disc N of M)" (any letter case),
    the token and the space before it taken out of the game's name; none
    when it has no such token, its number is 0, or nothing else is left. */
std::optional<DiscOfGame> discOfGame(const QString &name);

/// One disc that may go into a playlist.
struct PlaylistDisc
{
    QString cuePath; ///< its sheet, which the playlist names
    /// The name that tells its game and disc: its sheet's name without
    /// ".cue", or the name that a DAT gives its game
    QString name;
};

/// A playlist of one game's discs.
struct Playlist
{
    QString path; ///< GAME.m3u, in the folder of its discs' sheets
    QString game;
    QList<qsizetype> discs; ///< indices of the discs given, in disc order
    QList<int> missing; ///< disc numbers that none of them has, before the last or the count
    QList<int> repeated; ///< disc numbers that more than one of them has
    /// Indices of its discs whose sheet's name no line can give as it is
    /// (isListable())
    QList<qsizetype> unlistable;
};

/** Whether a line of a playlist gives the file name  fileName as it is to
    each of those readers: it holds no line end, and neither begins with
    '#', which makes it a comment, nor with a blank, which some trim. */
bool isListable(const QString &fileName);

/** The playlists of the multi-disc games among \a discs: discs whose sheets
    lie in one folder and whose names give the same game (and the same count
    of discs, where they give one) are that game's discs, so that a revision
    or another region is a game of its own. A game of one disc gets none.
    In the order of each game's first disc among \a discs. */
QList<Playlist> playlists(const QList<PlaylistDisc> &discs, QChar separator = nativeSeparator);

/** The text of a playlist that names \a cuePaths, sheets in its own folder,
    in their order: each sheet's file name, without a folder, and CR LF after
    it, as the sheets' own lines end; no byte-order mark. */
QString playlistText(const QList<QString> &cuePaths, QChar separator = nativeSeparator);

} // namespace morvant
