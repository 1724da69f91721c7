#pragma once

// What the window tests ask of the widgets in this process.

#include "aboutWindow.h"

#include <QApplication>
#include <QList>
#include <QWidget>

using namespace morvant;

/// The control of \a window named \a name, as the windows name their controls.
template <typename T = QWidget> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

/// The About windows that exist now; the program keeps at most one.
inline QList<AboutWindow *> aboutWindows()
{
    QList<AboutWindow *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *about = qobject_cast<AboutWindow *>(widget))
            found += about;
    }
    return found;
}
