#pragma once

namespace morvant {

// The modes, and the exit status each ends with: the worst disc of a run wins.
// --help tells them (app/commandLine.cpp); tests hold the program to them.

/// What a run does with each disc.
enum class Mode {
    Convert, ///< the .cue (and what the options add) beside each control file
    StandardOutput, ///< --stdout: the one cue sheet to standard output
    Check, ///< --check: a report on each, writing nothing
    Verify, ///< --verify DAT: each disc's tracks against the DAT, writing nothing
    Split, ///< --split: one file per track and their .cue beside each
    DiscList, ///< --discs: the disc list opens with the discs named, to work on in the window
};

/// What a conversion (into .cue files, with or without the window, to
/// standard output, or --split) ends with.
enum ConversionStatus {
    conversionDone = 0, ///< every file converted
    conversionRefused = 1, ///< a file could not be read or is not a single-session control file
    conversionUsage = 2, ///< no file named and no window to open: a usage error
    conversionNotWritten =
        3, ///< a .cue, .sbi or .m3u file, or standard output, could not be written
};

/// What --check ends with.
enum CheckStatus {
    checkClean = 0, ///< nothing found
    checkWarnings = 1, ///< a cue sheet, but one that may not load
    checkRefused = 2, ///< a file that cannot be read or that the conversion refuses
};

/// What --verify ends with.
enum VerifyStatus {
    verifyMatches = 0, ///< every track of every disc matches the DAT
    verifyDiffers = 1, ///< some track matches nothing, or not the game of the others
    verifyRefused = 2, ///< the DAT cannot be read, or a disc cannot be verified
};

} // namespace morvant
