#include "discListMode.h"

#include "artwork.h"
#include "console.h"
#include "discListWindow.h"
#include "display.h"
#include "highContrast.h"
#include "mainWindow.h"

#include <QApplication>

namespace morvant {

int openDiscListWindow(int &argc, char **argv, const Options &options)
{
    const auto withoutDisplay = [] {
        print(
            stderr, QStringLiteral("morvant: --discs opens a window, and there is no display.\n"));
        return int(conversionUsage);
    };
    if (!hasDisplay())
        return withoutDisplay();
    const auto application = openDisplay(argc, argv, withoutDisplay);
    followHighContrast();
    DiscListWindow window(showMessageBox);
    window.setWindowIcon(programIcon());
    window.addPaths(options.files);
    window.show();
    return QApplication::exec();
}

} // namespace morvant
