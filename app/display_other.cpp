#include "display.h"

#include <QApplication>

namespace morvant {

// Where there is a display, it is always there to be opened.

bool hasDisplay()
{
    return true;
}

std::unique_ptr<QApplication> openDisplay(int &argc, char **argv, const std::function<int()> &)
{
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace morvant
