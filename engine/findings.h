#pragma once

#include <QString>

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
