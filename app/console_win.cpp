#include "console.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// Qt reads the command line as the wide text that Windows keeps, so no name is lost.
QStringList programArguments(int, char **)
{
    return QCoreApplication::arguments();
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

bool isStandardOutputTerminal()
{
    return _isatty(_fileno(stdout));
}

// The cue sheet brings its own CR LF; text mode would double the CR.
void setBinaryStandardOutput()
{
    _setmode(_fileno(stdout), _O_BINARY);
}
