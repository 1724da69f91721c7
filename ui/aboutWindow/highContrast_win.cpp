#include "highContrast.h"

#include <windows.h>

namespace morvant {

bool systemHasHighContrast()
{
    HIGHCONTRASTW state{};
    state.cbSize = sizeof(state);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, state.cbSize, &state, 0)
        && (state.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

} // namespace morvant
