#pragma once

#include <QString>

namespace morvant {

/// How bad a finding is: a warning leaves a cue sheet that may not load; an
/// error means there is no cue sheet at all.
enum class Severity { Warning, Error };

/// Each kind of thing that --check finds. Programs rely on their codes.
enum class FindingCode {
    Unreadable,
    Refused,
    KeywordForm,
    TrackLine,
    StrayLine,
    FlagsEmpty,
    FlagsOrder,
    TrackNumber,
    NoIndex1,
    IndexValue,
    IndexOrder,
    ShortTrack,
    NoToc,
    ModeMismatch,
    FlagsMismatch,
    StartMismatch,
    TocMissing,
    ImageMissing,
    ImageNotFile,
    ImageSize,
    ImageLength,
    IndexBeyondEnd,
    Subchannel,
    Sessions,
    Scrambled,
    NoTracks,
    Rebuilt,
    CdText,
    CodePage,
    SessionLayout,
    SessionUnchecked,
    Catalog,
    Isrc,
    AlteredSubchannel,
    SessionSpace,
    StaleSbi,
    SubchannelUnusable,
};

/// The last of the codes, for a walk through all of them.
inline constexpr FindingCode lastFindingCode = FindingCode::SubchannelUnusable;

/// What a code of a finding stands for.
struct FindingInfo
{
    QString name; ///< the fixed name that the reports give, such as "image-missing"
    Severity severity = Severity::Warning;
    QString meaning; ///< in one line, as the documentation lists it
};

/** The one place that names each code, with its severity and meaning. */
FindingInfo findingInfo(FindingCode code);

/// Something the program tells of a control file, in words for the user: a
/// finding of --check, and what a conversion, its additions and --rebuild
/// could not do as the file says, each filed under the code that --check gives it.
struct Remark
{
    FindingCode code = FindingCode::Refused;
    int line = 0; ///< the control file line it concerns; 0 for the whole file
    QString track; ///< the number of the track it concerns, as the cue sheet writes it
    QString message; ///< what is wrong
    QString advice; ///< what the user can do about it

    /// findingInfo()'s name of its code, such as "image-missing"
    QString name() const { return findingInfo(code).name; }
    Severity severity() const { return findingInfo(code).severity; }
};

} // namespace morvant

// Moved as bytes when a list grows, so that a list of a long file's findings
// is not held twice while it is copied to its larger place.
Q_DECLARE_TYPEINFO(morvant::Remark, Q_RELOCATABLE_TYPE);
