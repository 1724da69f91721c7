#include "toolWindow.h"

namespace morvant {

Qt::WindowType toolWindowKind()
{
    return Qt::Tool;
}

// A tool window is never in the taskbar.
void keepOutOfTaskbar(QWidget *) { }

} // namespace morvant
