#include "console.h"

#include "fileSystem.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace morvant {

QStringList programArguments(int argc, char **argv)
{
    // Qt's list has U+FFFD for the bytes of a name that are not UTF-8, which
    // would name no file; these keep every byte.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments += fromSystemBytes(argv[i]);
    return arguments;
}

// Unix hands every program its caller's standard streams.
void useCallersConsole() { }

// A terminal reads colour codes as it is.
bool turnOnColourCodes()
{
    return true;
}

bool isStandardOutputTerminal()
{
    return ::isatty(STDOUT_FILENO);
}

bool isStandardErrorTerminal()
{
    return ::isatty(STDERR_FILENO);
}

int standardErrorColumns()
{
    struct winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool isConsole(FILE *)
{
    return false;
}

// Unix has no text mode: every byte goes out as it is written.
void setBinaryStandardOutput() { }

void print(FILE *stream, const QString &text)
{
    std::fputs(toShownBytes(text).constData(), stream);
}

} // namespace morvant
