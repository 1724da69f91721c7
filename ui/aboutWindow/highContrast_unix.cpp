#include "highContrast.h"

namespace morvant {

// X11 desktops give no high-contrast setting that Qt reads; a high-contrast
// theme reaches the palette as any theme does, and the About window's own
// grey keeps its black text readable whatever the theme.
bool systemHasHighContrast()
{
    return false;
}

} // namespace morvant
