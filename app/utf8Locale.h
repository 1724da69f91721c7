#pragma once

namespace morvant {

/** Gives the program a UTF-8 character type before Qt starts, where the
    environment names another (LANG unset, as in containers, cron and minimal
    systems, or LC_ALL=C). Qt on Unix needs UTF-8 and switches to it by
    itself, but since Qt 6.5 it says so in four lines on standard error at
    every start, which would break the silence of a successful run. The
    switch made here is the one Qt makes: the character type alone becomes
    the same locale in UTF-8 (else C.UTF-8), and every other category keeps
    what the environment gave it. File names keep their bytes either way. */
void useUtf8CharacterType();

} // namespace morvant
