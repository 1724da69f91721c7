#pragma once

#include <QString>

#include <windows.h>

namespace morvant {

/** The system's own words for the error \a code, as Windows gives them in the
    user's language; "Error N" where it has none. Not qt_error_string(), which
    reads some Windows codes as C library ones (ERROR_INVALID_DATA, 13, as
    "Permission denied"). */
QString systemReason(DWORD code);

} // namespace morvant
