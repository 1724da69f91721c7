#pragma once

#include "basics.h"
#include "cdText.h"
#include "controlFile.h"
#include "cueSheet.h"
#include "discFiles.h"
#include "discImage.h"
#include "findings.h"
#include "rebuild.h"
#include "sheetAdditions.h"
#include "trackFiles.h"

#include <QString>
#include <QStringList>

namespace morvant {

/// Whether to write the .sbi beside the .cue.
enum class SbiWrite {
    No,
    /// --all: as --sbi, but nothing is said when there is nothing to keep, so
    /// that a disc without a .sub converts as without the option
    Quietly,
    UnlessDamaged, ///< --sbi: not when so many blocks differ that the .sub looks damaged
    Always, ///< --sbi=all: however many blocks differ
};

/** How to convert a control file besides the plain way; --check reads the
    file by the same record, as the conversion would. Filled by field name,
    so that a field added or moved never shifts another's value. */
struct ConversionOptions
{
    bool cdText = false; ///< add the titles and performers of its [CDText] section
    bool rebuild = false; ///< a file without [TRACK] sections gets its tracks from rebuildTracks()
    bool sessions = false; ///< convert a multi-session file, its sessions marked with REM lines
    bool codes = false; ///< add the disc's CATALOG and the tracks' ISRC
    /// Other than No: read the .sub for the Q blocks that the cue sheet loses;
    /// Always keeps every such block, not only as many as a protected disc has
    SbiWrite sbi = SbiWrite::No;
    /// --split: the image cut into one file per track, and a cue sheet of those files
    bool split = false;
    /// --split=OFFSET: the audio tracks' files taken so many samples later in
    /// the image (earlier when negative), undoing a drive's read offset
    int splitOffset = 0;
    /// --m3u: after a set of discs, a playlist beside the discs of each
    /// multi-disc game among them (playlistJobs()); one disc alone is
    /// converted as without it
    bool playlists = false;
    /// --split with a DAT: the names of the tracks' files, one a track in
    /// order, as the DAT lists the game's; empty for those named after the
    /// control file
    QStringList splitNames{};
    QChar separator = nativeSeparator; ///< of the folders in the control file's path
};

/// What the .sub beside the image holds that the cue sheet loses.
struct SbiContent
{
    QString subPath;
    bool hasSub = false; ///< a file stands under that name
    AlteredSubchannel altered;

    /// Too many sectors for a protected disc: the .sub looks damaged or misaligned.
    bool looksDamaged() const { return altered.count > mostProtectedSectors; }
    /// --sbi writes a .sbi: the .sub can be read and alters a protected disc's few sectors.
    bool isWritten() const
    {
        return hasSub && altered.damage.isEmpty() && !altered.blocks.isEmpty() && !looksDamaged();
    }
};

/** Why the .sub of \a content, which has damage, cannot be used: "the
    subchannel file Disc.sub cannot be used: …". */
QString unusableSubText(const SbiContent &content);

/** Why the .sub of \a content, which looksDamaged(), gives no .sbi: so many
    of its blocks differ that it looks damaged or misaligned. */
QString damagedSubText(const SbiContent &content);

/** What to tell of the .sbi at \a sbiPath beside a cue sheet, where the
    conversion writes none (\a content: what the .sub gives): a file there
    whose bytes are not the .sbi that the .sub gives is loaded by PlayStation
    emulators all the same. Nothing when nothing stands there or it holds
    just that. */
std::optional<Remark> unwrittenSbi(const QString &sbiPath, const SbiContent &content);

/// What converting one control file gives.
struct ConvertedFile
{
    ScanOutcome outcome; ///< its refusal says why there is no cue sheet
    ConversionFiles files; ///< the control file's, the image's and the rest, looked up once
    QString cueSheet; ///< with the CD-Text lines when asked for; empty when refused
    CueSheet
        sheet; ///< its model; none for a plain conversion, whose text comes straight from the scan
    CdText cdText; ///< what the [CDText] section gives, when asked for and decodable
    QString cdTextError; ///< why it cannot, when it cannot
    bool isRebuilt = false; ///< the tracks come from the table of contents and the image
    RebuiltTracks rebuilt;
    /// The image's own name, when the system's code page cannot hold it and
    /// the FILE line names the image by its short name instead
    QString longImageName;
    QString shortImageName; ///< that short name
    /// Which CD-Text text the system's code page cannot hold, such as "the
    /// disc's TITLE", when that leaves the CD-Text out
    QString unwritableCdText;
    SessionLayout layout; ///< of a file converted with its sessions
    QList<Remark> additionRemarks; ///< what --sessions and --codes could not write
    /// What the [TRACK] sections give the sheet that a slip of hand-editing
    /// explains, such as a header written twice; --check finds the same in
    /// its own words, track by track
    QList<Remark> trackRemarks;
    std::optional<SbiContent> sbi; ///< when asked for and there is a cue sheet
    /// With --split: the tracks' files that the cue sheet names, beside the control file
    QList<TrackFile> trackFiles;
    QString splitError; ///< why the image cannot be cut into them; then there are none

    bool isRefused() const { return outcome.refusal != Refusal::None; }
    /// What the user is told besides the cue sheet: each fact that a rebuilt
    /// cue sheet took from elsewhere than the disc's data, CD-Text that could
    /// not be decoded or written, an image named by its short name, what
    /// --sessions and --codes could not write, what the control file says of
    /// the whole image that the sheet cannot carry, and a [TRACK n] header
    /// written twice, each with what to do; one text each.
    QStringList warnings() const;
};

/** Converts the control file at \a path in one reading, as \a options ask.
    \a alsoEachLine, when given, is handed every line of the same reading,
    for a caller that wants more of the file than the cue sheet. Tells
    nobody of a refusal: see showRefusal(). */
ConvertedFile convert(const QString &path, const ConversionOptions &options = {},
    const LineHandler &alsoEachLine = {});

/** Converts the control file at \a path into cue sheet text, every line ending
    in CR LF, with the FILE line naming imageName(). Returns the empty text
    after telling the user why through \a showMessage when the file cannot be
    read or is not a single-session control file, or when the cue sheet
    cannot name the image in the system's code page. A cue sheet that names
    the image by its short name instead is told of through \a showMessage
    too, titled "Warning". */
QString ccdToCue(
    const QString &path, const ShowMessage &showMessage, QChar separator = nativeSeparator);

/** The text that tells that the cue sheet names the image \a longName by
    its short name \a shortName. */
QString shortNameText(const QString &longName, const QString &shortName);

} // namespace morvant
