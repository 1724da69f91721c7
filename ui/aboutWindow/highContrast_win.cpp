#include "highContrast.h"

#include <windows.h>

namespace morvant {

namespace {

int lightness(COLORREF colour)
{
    // The weights of ITU-R BT.601, on a scale of 0 to 255.
    return (299 * GetRValue(colour) + 587 * GetGValue(colour) + 114 * GetBValue(colour)) / 1000;
}

} // namespace

bool systemHasHighContrast()
{
    HIGHCONTRASTW state{};
    state.cbSize = sizeof(state);
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, state.cbSize, &state, 0)
        && (state.dwFlags & HCF_HIGHCONTRASTON) != 0)
        return true;
    // Wine gives a high-contrast scheme's colours but never its flag. Light
    // text on dark windows in the system's colours is such a scheme: Windows'
    // dark mode leaves these colours as they are.
    return lightness(GetSysColor(COLOR_WINDOWTEXT)) - lightness(GetSysColor(COLOR_WINDOW)) > 128;
}

} // namespace morvant
