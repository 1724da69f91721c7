#include "highContrast.h"

#include <QApplication>
#include <QStyle>

namespace morvant {

void followHighContrast()
{
    // Windows' native style draws the menu bar, the buttons and the message
    // boxes' panel from the theme's light pictures, and their text in the
    // scheme's colour: white on white under a black scheme. The classic
    // Windows style draws every part in the palette's colours, which Qt takes
    // from the scheme.
    if (systemHasHighContrast() && QApplication::style()->name() != u"windows")
        QApplication::setStyle(QStringLiteral("Windows"));
}

} // namespace morvant
