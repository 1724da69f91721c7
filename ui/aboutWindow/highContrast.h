#pragma once

namespace morvant {

/** Whether the system shows a high-contrast scheme, whose colours every
    window then takes, those that have their own too: on Windows, its
    high-contrast setting; elsewhere the desktop's colours reach Qt's palette
    by themselves and no window keeps colours of its own against them. */
bool systemHasHighContrast();

} // namespace morvant
