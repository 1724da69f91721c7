#pragma once

#include <QString>

namespace morvant {

/// An option of the command line that a text of the engine or the jobs advises.
enum class AdvisedOption {
    Rebuild, ///< --rebuild
    Sessions, ///< --sessions
    Sbi, ///< --sbi
    SbiAll, ///< --sbi=all
    Codes, ///< --codes
    CdText, ///< --cdtext
    Check, ///< --check
    CheckSessions, ///< --check --sessions
    Split, ///< --split=OFFSET, the offset given as the value
};

/// Whose words the advice is given in: the command line's options, or the window's choices.
enum class Wording {
    CommandLine,
    Window,
};

/** Sets whose words optionWords() gives, once, before any work starts: the
    front end that tells the user chooses. The command line's at start. */
void setWording(Wording wording);
Wording wording();

/** How the user is told to do what \a option does: the option itself on the
    command line ("--rebuild"), the choice of the window that does it
    otherwise. \a value is the option's value, as --split's offset. */
QString optionWords(AdvisedOption option, const QString &value = {});

/// As optionWords(), the command line's option set as code: "`--sbi`".
QString quotedOptionWords(AdvisedOption option);

} // namespace morvant
