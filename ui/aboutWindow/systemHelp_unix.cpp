#include "systemHelp.h"

namespace morvant {

void showSystemHelp(const helpViewer::Request &) { }

} // namespace morvant
