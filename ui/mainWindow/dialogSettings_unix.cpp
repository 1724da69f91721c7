#include "dialogSettings.h"

namespace morvant {

DialogSettings dialogSettingsNow()
{
    return {};
}

void putBack(const DialogSettings &) { }

} // namespace morvant
