#include "console.h"

#include "fileSystem.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace morvant {

// Qt reads the command line as the wide text that Windows keeps, so no name
// is lost. Windows programs answer /? with their help; no file's name holds '?'.
QStringList programArguments(int, char **)
{
    QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"/?")
            arguments[i] = QStringLiteral("--help");
    }
    return arguments;
}

void useCallersConsole()
{
    const auto hasHandle = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool hasOutput = hasHandle(STD_OUTPUT_HANDLE);
    const bool hasError = hasHandle(STD_ERROR_HANDLE);
    if ((hasOutput && hasError) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!hasOutput)
        std::freopen("CONOUT$", "w", stdout);
    if (!hasError)
        std::freopen("CONOUT$", "w", stderr);
}

// A console of Windows 10 and later shows colour codes once asked to read
// escape sequences, and otherwise prints them as text (←[1;31m); where it
// cannot be asked, as in older consoles, no colour is written.
bool turnOnColourCodes()
{
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!handle || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0
        || SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool isStandardOutputTerminal()
{
    return _isatty(_fileno(stdout));
}

bool isStandardErrorTerminal()
{
    return _isatty(_fileno(stderr));
}

int standardErrorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO about = {};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &about))
        return 0;
    return about.srWindow.Right - about.srWindow.Left + 1;
}

namespace {

// The console that a stream shows on, or null. The C runtime's handle is the
// one to ask, but wine 10's runtime keeps a copy of a console handle that no
// console function takes, while the process's standard handle still works.
HANDLE consoleOf(FILE *stream)
{
    DWORD mode = 0;
    const HANDLE own = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (own == INVALID_HANDLE_VALUE)
        return nullptr;
    if (GetConsoleMode(own, &mode))
        return own;
    if (GetFileType(own) != FILE_TYPE_CHAR || (stream != stdout && stream != stderr))
        return nullptr;
    const HANDLE standard = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (standard && standard != INVALID_HANDLE_VALUE && GetConsoleMode(standard, &mode))
        return standard;
    return nullptr;
}

} // namespace

bool isConsole(FILE *stream)
{
    return consoleOf(stream) != nullptr;
}

// The cue sheet brings its own CR LF; text mode would double the CR.
void setBinaryStandardOutput()
{
    _setmode(_fileno(stdout), _O_BINARY);
}

// A console shows every character that its font has; a pipe or a file gets
// the code page's bytes.
void print(FILE *stream, const QString &text)
{
    if (const HANDLE handle = consoleOf(stream)) {
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(handle, text.utf16(), DWORD(text.size()), &written, nullptr);
        return;
    }
    std::fputs(toShownBytes(text).constData(), stream);
}

} // namespace morvant
