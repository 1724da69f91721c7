#pragma once

#include <QVariantMap>

/** What Qt's file dialog finds in the settings that every Qt program shares,
    taken before it shows. The dialog writes its history, last folder and view
    there when it goes, and this program keeps no settings: putBack() undoes
    that. On Unix the program sends settings nowhere at start, so there is
    nothing to undo. */
class DialogSettings
{
public:
    DialogSettings();
    /// Leaves the shared settings as they were when this was made.
    void putBack() const;

private:
    [[maybe_unused]] bool existed = false; // Unix has nothing to undo, and never reads it
    QVariantMap values;
};
