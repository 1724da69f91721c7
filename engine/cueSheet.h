#pragma once

#include "cdText.h"
#include "discImage.h"
#include "lineRules.h"
#include "numbers.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvant {

// The cue sheet as numbers: what the scan of a control file gives, before it
// becomes text. The additions (sessions, codes, CD-Text), --sbi and --check
// work on this model; cueText() alone writes it.

/// A word of a FLAGS line and the Q channel's control bit that it stands for.
struct CueFlag
{
    QLatin1String word;
    int bit = 0;
    bool isAudioOnly = false; ///< on a data track the bit means how it was recorded
};

/// The words of a FLAGS line, in the order that a FLAGS line lists them.
inline constexpr CueFlag cueFlags[] = { { QLatin1String("DCP"), 0x2, false },
    { QLatin1String("4CH"), 0x8, true }, { QLatin1String("PRE"), 0x1, true } };

/// A line of the cue sheet that a MODE=, FLAGS= or INDEX line of the control file gives.
struct CueLine
{
    /// None for a line that gives the sheet nothing, such as a later
    /// session's first INDEX 0 that the image does not hold
    LineRule rule = LineRule::None;
    QString number; ///< of an index, as the cue sheet writes it, "01"
    /// a mode line's mode ("AUDIO"; empty when it gives none), a flags line's
    /// text after "FLAGS" as it stands
    QString text;
    qint64 sectors = -1; ///< of an index; -1 when its value is not a sector count
    int line = 0; ///< of the control file

    bool isIndex() const { return rule == LineRule::Index; }
    /// The number of an index as the control file writes it, when it is a whole number
    std::optional<int> indexNumber() const;
    /// The time of an index, MM:SS:FF; empty when its value is not a sector count
    QString time() const { return sectorCountToMsf(sectors); }
};

/// A TRACK of the cue sheet and the lines that follow it.
struct CueTrack
{
    QString number; ///< as the cue sheet writes it, "01"
    int line = 0; ///< of the control file
    /// The mode that completes the TRACK line: "AUDIO", "MODE1/2352",
    /// "MODE2/2352", or empty when the line runs on without one
    QString mode;
    /// The lines after the TRACK line, in the control file's order: FLAGS,
    /// INDEX and any mode line but the one that completes it
    QList<CueLine> lines;
    qsizetype firstIndex = -1; ///< the place in lines of its first INDEX as read; -1 when none
    QString isrc; ///< written before the first INDEX; empty for none
    int session = 0; ///< of a disc written with its sessions; 0 otherwise
    /// Of a session's first track after the first: the lead-out before it, when known
    std::optional<qint64> leadOutBefore;
    bool startsSession = false;
    /// In a sheet of one file per track: its own file, which a FILE line
    /// before it names; its INDEX values count from that file's start
    QString fileName;
    QString title; ///< from CD-Text, for the report of --check
    QString performer; ///< from CD-Text, for the report of --check

    QList<CueLine> indexes() const;
    /// The text of each FLAGS line, as the cue sheet writes it after "FLAGS"
    QStringList flags() const;
    /// The track's INDEX with the whole number \a number and a sector count; null when none.
    const CueLine *index(int number) const;
    /// Whether the TRACK line has ended before its first INDEX, so that a line may go before it.
    bool endsLineBeforeFirstIndex() const;
};

} // namespace morvant

// Moved as bytes when a list grows, so that a long file's lines are not held
// twice while the list is copied to its larger place.
Q_DECLARE_TYPEINFO(morvant::CueLine, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(morvant::CueTrack, Q_RELOCATABLE_TYPE);

namespace morvant {

/// The whole cue sheet.
struct CueSheet
{
    QString
        fileName; ///< of the image, as the FILE line names it; empty when each track has its own
    QString catalog; ///< written first; empty for none
    std::optional<CdText> cdText; ///< its TITLE and PERFORMER lines, when they are written
    QList<CueLine> lead; ///< lines before the first track
    QList<CueTrack> tracks;
};

/// Builds a cue sheet, line by line, as the scan hands the control file's lines over.
class CueSheetBuilder
{
public:
    explicit CueSheetBuilder(CueSheet &sheet) : sheet(sheet) { }

    /** Takes line \a number of the control file, past its Sessions= line,
        as its rule reads it: from its decoded text, or from the bytes of a
        plain ASCII line. */
    template <typename Text> void take(int number, const BasicRuledLine<Text> &ruled);

private:
    /// A number as the cue sheet writes it, kept once for the lines that write it alike
    template <typename Text> QString numberOf(Text written);

    CueSheet &sheet;
    bool isTrackLineOpen = false; ///< the last TRACK line still waits for what ends it
    QList<std::pair<QString, QString>>
        numbers; ///< the last numbers met, as written and as the sheet writes them
};

/** The FILE line that names the image \a fileName, with its CR LF. */
QString cueFileLine(const QString &fileName);

/** The text of \a sheet, every line ending in CR LF, as the scan of the
    control file writes the lines it gives when nothing is added. */
QString cueText(const CueSheet &sheet);

/** The layout that \a sheet gives a player, sessions included. */
SheetLayout sheetLayout(const CueSheet &sheet);

} // namespace morvant
