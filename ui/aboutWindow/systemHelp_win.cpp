#include "systemHelp.h"

namespace morvant {

// The one system call the program declares by name itself (User32).
extern "C" __declspec(dllimport) int __stdcall WinHelpA(
    void *window, const char *helpFile, unsigned int command, quintptr data);

void showSystemHelp(const helpViewer::Request &request)
{
    WinHelpA(reinterpret_cast<void *>(request.window), request.helpFile.constData(),
        request.command, request.data);
}

} // namespace morvant
