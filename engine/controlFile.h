#pragma once

#include "cdText.h"
#include "engine.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

/// Why a control file gives no cue sheet.
enum class Refusal {
    None,
    Unreadable, ///< it cannot be opened or read to its end; the system tells why
    NotControlFile, ///< its first line is not "[CloneCD]", or no Sessions= line follows
    MultiSession, ///< its Sessions= value is not "1"
};

/// One [Entry n] section: an entry of the disc's table of contents.
struct TocEntry
{
    int line = 0; ///< of the section's first line
    qint64 session = 1;
    std::optional<qint64> point;
    std::optional<qint64> control;
    std::optional<qint64> plba;
};

/// What a control file's sections say besides its tracks.
struct ControlFileSections
{
    QList<TocEntry> toc;
    bool hasCdText = false;
    QList<ControlFileEntry> cdText; ///< at most maxCdTextEntries of the [CDText] section
    QString scrambled; ///< the [Disc] section's DataTracksScrambled= value
    int scrambledLine = 0;
    QString preGapMode; ///< the first PreGapMode= value, the mode the disc's first pregap is in
    int laterSessionLine = 0; ///< the first line that speaks of a second session
    int sessionsLine = 0; ///< the Sessions= line, given only when its value refuses the file
    QString sessions; ///< that line's value, as it stands
};

/// How a scan of a control file ended, and what it gathered.
struct ScanOutcome
{
    Refusal refusal = Refusal::None;
    QString reason; ///< the system's reason, when the file is unreadable
    ControlFileSections sections; ///< gathered only when every line is read
    bool hasTrackLines = false; ///< some line fits the rule of "[TRACK"
};

/// The rule that a line fits: the first whose keyword the line holds, in this order.
enum class LineRule { None, Track, Mode, Index, Flags };

/// A line read by the rule it fits: what the rule takes from the line's fixed
/// positions. The pieces view the line's text, or, for a plain ASCII line, its bytes.
template <typename Text> struct BasicRuledLine
{
    LineRule rule = LineRule::None;
    Text number; ///< of a track or an index, as the line writes it
    /// a mode line's text after "MODE=", an index line's after its first "=",
    /// a flags line's from its 7th character on
    Text value;
};
using RuledLine = BasicRuledLine<QStringView>;

/// A keyword line edited by hand that the rules read otherwise than it is meant.
struct Misreading
{
    QString intended; ///< the line as it would be written for the rules to read it as meant
    QString given; ///< what the line as written gives the cue sheet, without a line end
    bool isRead = false; ///< whether the line as written fits a rule at all
};

/** How the rules misread \a line, a keyword line in another case or with
    other blanks than the rules expect. Nothing when the line is written as
    meant, is no keyword line, or differs only by blanks that the conversion
    absorbs (INDEX 1= 0). */
std::optional<Misreading> misreadingOf(QStringView line);

/** The mode that a mode line's value chooses by its last character: "AUDIO",
    "MODE1/2352", "MODE2/2352", or the empty text for any other. */
template <typename Text> QLatin1String modeOf(const Text &value)
{
    switch (value.isEmpty() ? 0 : QChar(value.back()).unicode()) {
    case u'0':
        return QLatin1String("AUDIO");
    case u'1':
        return QLatin1String("MODE1/2352");
    case u'2':
        return QLatin1String("MODE2/2352");
    default:
        return {};
    }
}

/** A track's or an index's number as the cue sheet writes it: two characters
    as they are, any other number with a "0" before it. */
QString cueNumber(QStringView number);

/** Appends to \a cueSheet what \a line gives it. A track line gets no line
    end of its own: the mode line after it completes the line. */
void appendCuePiece(QString &cueSheet, const RuledLine &line);
void appendCuePiece(QString &cueSheet, const BasicRuledLine<QLatin1String> &line);

/** The text that \a line gives the cue sheet, without a line end. */
QString cuePieceOf(const RuledLine &line);

/// One line of a control file as a scan hands it out; the views last until the handler returns.
struct ControlFileLine
{
    int number = 0; ///< counted from 1
    QStringView text; ///< without its line end, decoded on its own
    bool isPastSessions = false; ///< past the Sessions= line, where the rules apply
    RuledLine ruled; ///< no rule before the Sessions= line
    QStringView section; ///< the [section] the line starts or lies in, blanks simplified
    bool startsSection = false;
};

using LineHandler = std::function<void(const ControlFileLine &line)>;

/** Reads the control file at \a path once, from the front, in bounded memory,
    and appends to \a cueSheet what its lines give. With \a everyLine it also
    reads the sections and hands \a onLine, when given, every line in order;
    without, only the lines that hold a keyword are decoded, and plain ASCII
    ones not even those. Stops at the first reason to refuse the file, which
    it returns. */
ScanOutcome scanControlFile(
    const QString &path, QString &cueSheet, const LineHandler &onLine, bool everyLine);

/** Tells the user through \a showMessage why \a outcome refused the file at
    \a path: the message and title that the conversion shows. */
void showRefusal(const ShowMessage &showMessage, const QString &path, const ScanOutcome &outcome);

/** The text of the message that tells why \a outcome refused the file at \a path. */
QString refusalText(const QString &path, const ScanOutcome &outcome);

/** The cue sheet's flags that a table of contents' Control value gives a
    track, as a FLAGS line lists them: DCP, then for audio 4CH and PRE. Empty
    when it gives none. */
QString tocFlags(qint64 control, bool isAudio);

/** Where the table of contents of session 1 puts the disc's end (the PLBA of
    its lead-out entry, point A2); nothing when it does not say. */
std::optional<qint64> leadOut(const ControlFileSections &sections);

/// A track that the table of contents and the image give, for a control file without [TRACK]
/// sections.
struct RebuiltTrack
{
    int number = 0;
    int line = 0; ///< of the track's [Entry] section
    int mode = 0; ///< as a MODE= line writes it: 0 audio, 1 or 2 the data mode
    QString flags; ///< as tocFlags() gives them
    std::optional<qint64> pregap; ///< the first sector of index 0, when the subchannel shows it
    qint64 start = 0; ///< the sector of index 1
};

/// Something that the rebuilt cue sheet took from elsewhere than the disc's own data.
struct RebuildRemark
{
    int line = 0; ///< the control file line it concerns; 0 for the whole file
    QString track; ///< as the cue sheet writes it; empty for the whole disc
    QString message;
    QString advice;
    bool isWarning = true; ///< false for a note that leaves the cue sheet as good as it can be
};

/// The tracks of a control file without [TRACK] sections, read from its disc.
struct RebuiltTracks
{
    QList<RebuiltTrack> tracks;
    QList<RebuildRemark> remarks;
};

/** Builds the tracks of the control file at \a path from what its scan
    gathered in \a sections: their numbers and starts from the table of
    contents of session 1, their modes from the sector headers in the image,
    their pregaps from the subchannel file beside it, their flags from the
    Control values. Each fact that has to come from elsewhere gets a remark. */
RebuiltTracks rebuildTracks(
    const QString &path, const ControlFileSections &sections, QChar separator = nativeSeparator);

/** The cue sheet lines of \a tracks, in the form that the conversion gives
    the same tracks from [TRACK] sections. */
QString cueLinesOf(const QList<RebuiltTrack> &tracks);

/// What converting one control file gives.
struct ConvertedFile
{
    ScanOutcome outcome;
    QString cueSheet; ///< with the CD-Text lines when asked for; empty when refused
    CdText cdText; ///< what the [CDText] section gives, when asked for and decodable
    QString cdTextError; ///< why it cannot, when it cannot
    bool isRebuilt = false; ///< the tracks come from the table of contents and the image
    RebuiltTracks rebuilt;
};

/** Converts the control file at \a path in one reading; with \a withCdText it
    adds what its [CDText] section gives. \a alsoEachLine, when given, is
    handed every line of the same reading, for a caller that wants more of the
    file than the cue sheet. With \a rebuild, a file without [TRACK] sections
    gets its tracks from rebuildTracks(); any other is converted as without it.
    Tells nobody of a refusal: see showRefusal(). */
ConvertedFile convertControlFile(const QString &path, bool withCdText,
    const LineHandler &alsoEachLine = {}, QChar separator = nativeSeparator, bool rebuild = false);

/** As ccdToCue(), but a control file without [TRACK] sections gets its tracks
    from rebuildTracks(), and with \a withCdText its CD-Text too. What came
    from elsewhere than the disc's data, and CD-Text that cannot be decoded,
    are added to \a warnings, one text each. */
QString ccdToCueRebuilt(const QString &path, const ShowMessage &showMessage, bool withCdText,
    QStringList *warnings, QChar separator = nativeSeparator);
