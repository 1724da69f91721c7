#pragma once

#include <QVariantMap>

namespace morvant {

/** What Qt's file dialog finds in the settings that every Qt program shares.
    The dialog writes its history, last folder and view there when it goes,
    and this program keeps no settings: what was there before it showed is
    put back afterwards. On Unix the program sends settings nowhere at start,
    so there is nothing to take or put back. */
struct DialogSettings
{
    bool existed = false; ///< the shared settings were there at all
    QVariantMap values; ///< the dialog's own among them
};

/// What the shared settings hold now.
DialogSettings dialogSettingsNow();

/// Leaves the shared settings as they were when \a before was taken.
void putBack(const DialogSettings &before);

} // namespace morvant
