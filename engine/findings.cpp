#include "findings.h"

namespace morvant {

namespace {

// Static texts: a finding copies its code's name without allocating it.
FindingInfo warning(QString name, QString meaning)
{
    return { std::move(name), Severity::Warning, std::move(meaning) };
}

} // namespace

FindingInfo findingInfo(FindingCode code)
{
    switch (code) {
    case FindingCode::Unreadable:
        return { QStringLiteral("unreadable"), Severity::Error,
            QStringLiteral("The control file cannot be opened or read to its end.") };
    case FindingCode::Refused:
        return { QStringLiteral("refused"), Severity::Error,
            QStringLiteral("The conversion refuses the file: it is not a single-session "
                           "control file, or its cue sheet cannot name the image.") };
    case FindingCode::KeywordForm:
        return warning(QStringLiteral("keyword-form"),
            QStringLiteral("A keyword line that the conversion passes over or misreads because "
                           "of its case or spacing."));
    case FindingCode::TrackLine:
        return warning(QStringLiteral("track-line"),
            QStringLiteral("A TRACK line without a mode, which runs into the next line of the "
                           "cue sheet."));
    case FindingCode::StrayLine:
        return warning(QStringLiteral("stray-line"),
            QStringLiteral("A MODE=, INDEX or FLAGS= line out of its place in a [TRACK] "
                           "section, or a mode that no cue sheet knows."));
    case FindingCode::FlagsEmpty:
        return warning(
            QStringLiteral("flags-empty"), QStringLiteral("A FLAGS= line that names no flag."));
    case FindingCode::FlagsOrder:
        return warning(QStringLiteral("flags-order"),
            QStringLiteral("A FLAGS= line after an INDEX line of its track."));
    case FindingCode::TrackNumber:
        return warning(QStringLiteral("track-number"),
            QStringLiteral("A track number that is no number, lies outside 1 to 99, or breaks "
                           "the tracks' sequence."));
    case FindingCode::NoIndex1:
        return warning(QStringLiteral("no-index-1"),
            QStringLiteral("A track without INDEX 1, where a track starts."));
    case FindingCode::IndexValue:
        return warning(QStringLiteral("index-value"),
            QStringLiteral("An INDEX value that is not a sector count."));
    case FindingCode::IndexOrder:
        return warning(QStringLiteral("index-order"),
            QStringLiteral("Index numbers that do not rise, or positions that go backwards."));
    case FindingCode::ShortTrack:
        return warning(QStringLiteral("short-track"),
            QStringLiteral("A track shorter than the 4 seconds a CD track must last."));
    case FindingCode::NoToc:
        return warning(QStringLiteral("no-toc"),
            QStringLiteral("No table of contents to check the tracks' modes and flags against."));
    case FindingCode::ModeMismatch:
        return warning(QStringLiteral("mode-mismatch"),
            QStringLiteral("A track's mode disagrees with the table of contents."));
    case FindingCode::FlagsMismatch:
        return warning(QStringLiteral("flags-mismatch"),
            QStringLiteral("A track's flags disagree with the table of contents."));
    case FindingCode::StartMismatch:
        return warning(QStringLiteral("start-mismatch"),
            QStringLiteral("A track's INDEX 1 disagrees with its start in the table of "
                           "contents."));
    case FindingCode::TocMissing:
        return warning(QStringLiteral("toc-missing"),
            QStringLiteral("The table of contents has no entry for a track."));
    case FindingCode::ImageMissing:
        return warning(QStringLiteral("image-missing"),
            QStringLiteral("The image that the cue sheet names is not beside the control "
                           "file."));
    case FindingCode::ImageNotFile:
        return warning(QStringLiteral("image-not-file"),
            QStringLiteral("What the cue sheet names as the image is no file: a folder, a FIFO "
                           "or a device."));
    case FindingCode::ImageSize:
        return warning(QStringLiteral("image-size"),
            QStringLiteral("The image is not a whole number of 2,352-byte sectors."));
    case FindingCode::ImageLength:
        return warning(QStringLiteral("image-length"),
            QStringLiteral("The image holds another number of sectors than the table of "
                           "contents gives the disc."));
    case FindingCode::IndexBeyondEnd:
        return warning(QStringLiteral("index-beyond-end"),
            QStringLiteral("An index lies at or beyond the image's end."));
    case FindingCode::Subchannel:
        return warning(QStringLiteral("subchannel"),
            QStringLiteral("Subchannel data (.sub) beside the image, which a cue sheet cannot "
                           "carry."));
    case FindingCode::Sessions:
        return warning(QStringLiteral("sessions"),
            QStringLiteral("The file says Sessions=1 but describes a second session."));
    case FindingCode::Scrambled:
        return warning(QStringLiteral("scrambled"),
            QStringLiteral("The image holds its data tracks scrambled."));
    case FindingCode::NoTracks:
        return warning(QStringLiteral("no-tracks"),
            QStringLiteral("No [TRACK] sections, only the table of contents."));
    case FindingCode::Rebuilt:
        return warning(QStringLiteral("rebuilt"),
            QStringLiteral("Something that --rebuild took from elsewhere than the disc's own "
                           "data."));
    case FindingCode::CdText:
        return warning(
            QStringLiteral("cdtext"), QStringLiteral("The [CDText] section cannot be decoded."));
    case FindingCode::CodePage:
        return warning(QStringLiteral("code-page"),
            QStringLiteral("The system's code page cannot hold the image's name, which the "
                           "cue sheet gives as its short name, or the CD-Text, which it leaves "
                           "out."));
    case FindingCode::SessionLayout:
        return { QStringLiteral("session-layout"), Severity::Error,
            QStringLiteral("With --sessions, the tracks cannot be placed on the disc: a track in "
                           "no session, sessions out of order, offsets that disagree, positions "
                           "that no disc has, a lead-out before a track of its session or after "
                           "the next session's start, or an image too short for the last "
                           "track.") };
    case FindingCode::SessionUnchecked:
        return warning(QStringLiteral("session-unchecked"),
            QStringLiteral("With --sessions, no image to tell how it holds the sessions, or a "
                           "session without its lead-out."));
    case FindingCode::Catalog:
        return warning(QStringLiteral("catalog"),
            QStringLiteral("With --codes, a CATALOG= value that is not 13 digits, left out of "
                           "the cue sheet."));
    case FindingCode::Isrc:
        return warning(QStringLiteral("isrc"),
            QStringLiteral("With --codes, an ISRC= value that is not 5 letters or digits and 7 "
                           "digits, or that has no place in the cue sheet, left out of it."));
    case FindingCode::AlteredSubchannel:
        return warning(QStringLiteral("altered-subchannel"),
            QStringLiteral("Q subchannel blocks (.sub) altered on purpose, as copy protection "
                           "such as LibCrypt does, which a cue sheet loses and --sbi keeps."));
    case FindingCode::SessionSpace:
        return warning(QStringLiteral("session-space"),
            QStringLiteral("With --sessions, an image that holds the space between the sessions, "
                           "which programs that read sessions do not expect."));
    case FindingCode::StaleSbi:
        return warning(QStringLiteral("stale-sbi"),
            QStringLiteral("A .sbi beside the cue sheet that is not what the .sub gives and that "
                           "a conversion does not replace, which PlayStation emulators load all "
                           "the same."));
    case FindingCode::SubchannelUnusable:
        return warning(QStringLiteral("subchannel-unusable"),
            QStringLiteral("A .sub beside the image from which no .sbi can be made: no file, "
                           "unreadable, of another length than the image, or with far more "
                           "altered blocks than a protected disc has."));
    }
    return {};
}

} // namespace morvant
