#pragma once

namespace morvant {

/** Whether the system shows a high-contrast scheme, whose colours every
    window then takes, those that have their own too: on Windows, its
    high-contrast setting; elsewhere the desktop's colours reach Qt's palette
    by themselves and no window keeps colours of its own against them. */
bool systemHasHighContrast();

/** Under a high-contrast scheme, has every window drawn in its colours: the
    classic Windows style, which draws every part in the palette's colours,
    in place of the native one. Called once the application is made, before
    the first window or message box shows. */
void followHighContrast();

} // namespace morvant
