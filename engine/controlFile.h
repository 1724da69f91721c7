#pragma once

#include "cdText.h"
#include "findings.h"
#include "lineRules.h"

#include <QMap>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

namespace morvant {

/// Why a control file gives no cue sheet.
enum class Refusal {
    None,
    Unreadable, ///< it cannot be opened or read to its end; the system tells why
    NotControlFile, ///< its first line is not "[CloneCD]", or no Sessions= line follows
    MultiSession, ///< its Sessions= value is not "1"
    Utf16Text, ///< it is saved as UTF-16 text, which no control file is
    ImageNameNotInCodePage, ///< the cue sheet cannot name the image in the system's code page
    LineTooLong, ///< after a first line "[CloneCD]", a line longer than any control file's
    SessionLayout, ///< its sessions cannot be placed on the disc; the reason says why
};

/** The number of sessions that a Sessions= value gives a file that is
    converted with its sessions: a whole number from 1 to 99, read as the
    table of contents' numbers are (blanks around it, 2 or 0x02). Nothing
    for any other value. */
std::optional<int> sessionCount(QStringView value);

/// One [Entry n] section: an entry of the disc's table of contents.
struct TocEntry
{
    int line = 0; ///< of the section's first line
    qint64 session = 1;
    std::optional<qint64> point;
    std::optional<qint64> control;
    std::optional<qint64> plba;
    /// Of the entry of point A0, the first track's: the disc's type (0x10 for CD-i)
    std::optional<qint64> psec;
};

/// An ISRC= entry of a [TRACK] section.
struct TrackCode
{
    QString value;
    int line = 0;
    int sectionLine = 0; ///< the line that starts its section
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
    int sessionsLine = 0; ///< the Sessions= line, given when its value refuses the file or is taken
                          ///< as more than one session
    QString sessions; ///< that line's value, as it stands
    QString catalog; ///< the [Disc] section's first CATALOG= value
    int catalogLine = 0;
    QString otherCatalog; ///< the first later CATALOG= value of [Disc] that differs from it
    int otherCatalogLine = 0;
    QList<TrackCode> isrcs; ///< the ISRC= entries of the [TRACK] sections, in order
};

/// A [TRACK n] header that a [TRACK n] header of the same track follows
/// with no line of the rules between them, as a slip of hand-editing leaves it.
struct DoubledTrack
{
    int line = 0; ///< of the first header
    int againLine = 0; ///< of the header that follows it
    QString number; ///< of the track, as the first header writes it
};

/// How a scan of a control file ended, and what it gathered.
struct ScanOutcome
{
    Refusal refusal = Refusal::None;
    QString reason; ///< the system's reason, when the file is unreadable
    ControlFileSections sections; ///< gathered only when every line is read
    bool hasTrackLines = false; ///< some line fits the rule of "[TRACK"
    std::optional<DoubledTrack> doubledTrack; ///< the first such header, when there is one
    int tooLongLine = 0; ///< the line that is too long, when that refuses the file
    int sessions = 1; ///< of a file converted with its sessions, as its Sessions= line gives them
    std::optional<Remark>
        sessionRefusal; ///< why its sessions cannot be placed, when that refuses it
};

/** What a scan that \a refusal ends gives, with the system's \a reason when
    the file cannot be read. */
ScanOutcome refusedFor(Refusal refusal, const QString &reason = {});

class CueSheetBuilder;

/// One line of a control file as a scan hands it out; the views last until the handler returns.
struct ControlFileLine
{
    int number = 0; ///< counted from 1
    QStringView text; ///< without its line end, decoded on its own
    bool isPastSessions = false; ///< past the Sessions= line, where the rules apply
    RuledLine ruled; ///< no rule before the Sessions= line
    QStringView section; ///< the [section] the line starts or lies in, blanks simplified
    bool startsSection = false;
    int sectionLine = 0; ///< where the line's section starts; 0 before the first
    int sessions = 1; ///< as the Sessions= line of a file converted with its sessions gives them
};

using LineHandler = std::function<void(const ControlFileLine &line)>;

/** Reads the control file at \a path once, from the front, in bounded memory,
    and gives what its lines give to the cue sheet: appended as text to
    \a cueSheet, and as lines to \a builder's model, each when not null. With
    \a everyLine it also reads the sections and hands \a onLine, when given,
    every line in order; without, only the lines that hold a keyword are
    decoded, and plain ASCII ones not even those. With \a withSessions a
    Sessions= value that sessionCount() reads is no reason to refuse the file.
    Stops at the first reason to refuse the file, which it returns. */
ScanOutcome scanControlFile(const QString &path, QString *cueSheet, CueSheetBuilder *builder,
    const LineHandler &onLine, bool everyLine, bool withSessions = false);

/** The tracks that the table of contents of session 1 lists: for each
    point from 1 to 99, the first [Entry] of that point, as a reader of the
    disc takes it. */
QMap<int, const TocEntry *> tocTracks(const ControlFileSections &sections);

/** Where the table of contents of session 1 puts the disc's end (the PLBA of
    its lead-out entry, point A2); nothing when it does not say, or gives a
    value that isSectorCount() refuses. */
std::optional<qint64> leadOut(const ControlFileSections &sections);

/** The session that the table of contents places each track in, and the
    track's entry: for each point from 1 to 99, the first [Entry] of that
    point, whatever its session. */
QMap<int, const TocEntry *> tocTracksOfEverySession(const ControlFileSections &sections);

/** The lead-out entry (point A2) of \a session in the table of contents,
    when it gives a PLBA; null otherwise. */
const TocEntry *leadOutEntry(const ControlFileSections &sections, qint64 session);

/** Where the table of contents puts the end of \a session (the PLBA of its
    lead-out entry, point A2); nothing when it does not say. */
std::optional<qint64> leadOutOfSession(const ControlFileSections &sections, qint64 session);

/** Whether the table of contents tells a CD-i disc: the PSEC of the first
    session's point A0, the disc's type, is 0x10. */
bool isCdiDisc(const ControlFileSections &sections);

} // namespace morvant
