#include "console.h"

#include "fileSystem.h"

#include <cerrno>

namespace morvant {

// Each message names the control file it concerns: in a run over many
// files, from xargs say, a message alone would not tell which one failed.
void showOnStandardError(const QString &path, const QString &text, const QString &title)
{
    // A refusal may quote the control file too, a section's name say.
    print(stderr,
        title + QStringLiteral(": ") + shownPath(path) + QStringLiteral(": ") + shownText(text)
            + u'\n');
}

void warnOnStandardError(const QString &text)
{
    // A warning may quote the control file, whose text must not act on the terminal.
    print(stderr, QStringLiteral("morvant: warning: ") + shownText(text) + u'\n');
}

void noteOnStandardError(const QString &text)
{
    print(stderr, QStringLiteral("morvant: ") + shownText(text) + u'\n');
}

void reportUnwritableOutput(const QString &reason)
{
    print(stderr, QStringLiteral("morvant: cannot write to standard output: ") + reason + u'\n');
}

bool closeStandardOutput(QString reason)
{
    errno = 0;
    if (reason.isEmpty() && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        reason = qt_error_string(errno ? errno : EIO);
    if (std::fclose(stdout) != 0 && reason.isEmpty())
        reason = qt_error_string(errno);
    if (reason.isEmpty())
        return true;
    reportUnwritableOutput(reason);
    return false;
}

// Colour only for a person at a terminal, and never when they opted out.
bool isColourTerminal()
{
    return isStandardOutputTerminal() && qEnvironmentVariableIsEmpty("NO_COLOR")
        && qEnvironmentVariable("TERM") != QStringLiteral("dumb") && turnOnColourCodes();
}

} // namespace morvant
