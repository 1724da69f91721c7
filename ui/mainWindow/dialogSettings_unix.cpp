#include "dialogSettings.h"

DialogSettings::DialogSettings() = default;

void DialogSettings::putBack() const { }
