#include "systemHelp.h"

void showSystemHelp(const helpViewer::Request &) { }
