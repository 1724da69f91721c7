#include "commandLine.h"
#include "console.h"
#include "consoleModes.h"
#include "discListMode.h"
#include "display.h"
#include "mainWindow.h"
#include "utf8Locale.h"
#include "windowMode.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

using namespace morvant;

namespace {

// The program keeps no settings, and Qt's file dialog would keep its history,
// last folder and view for it in ~/.config/QtProject.conf, which no package
// removes. Settings files go instead to a folder below the program's own
// file, which no system can create, so nothing is written. (Windows keeps
// them in the registry, which no path moves: the window undoes them there.)
void keepNoSettings()
{
    const QString nowhere = QCoreApplication::applicationFilePath() + QStringLiteral("/settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, nowhere);
}

// A short-lived core application hands over the platform's own argument list
// (on Windows too) without connecting to a display, which a successful
// conversion never needs.
QStringList startUp(int &argc, char **argv)
{
    QCoreApplication core(argc, argv);
    keepNoSettings();
    helpFilePath = QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
        + nativeSeparator + QStringLiteral("MORVANT.hlp");
    return programArguments(argc, argv);
}

} // namespace

int main(int argc, char *argv[])
{
    useUtf8CharacterType();
    const Options options = parseArguments(startUp(argc, argv));
    // Every mode but the conversion and the disc list reports on the console
    // whatever the display.
    const bool isConsoleMode = options.mode != Mode::Convert && options.mode != Mode::DiscList;
    if (!options.error.isEmpty() || options.help || options.version || isConsoleMode
        || options.noWindow)
        useCallersConsole();
    if (!options.error.isEmpty())
        return printUsageError(options.error);
    if (options.help)
        return printText(usageText());
    if (options.version)
        return printText(versionText());
    switch (options.mode) {
    case Mode::Check:
        return runCheck(options);
    case Mode::Verify:
        return runVerify(options);
    case Mode::StandardOutput:
        return writeToStandardOutput(options);
    case Mode::Split:
        return convertWithoutWindow(options);
    case Mode::DiscList:
        return openDiscListWindow(argc, argv, options);
    case Mode::Convert:
        break;
    }
    if (options.noWindow || !hasDisplay())
        return convertWithoutWindow(options);
    return convertOrOpenWindow(argc, argv, options);
}
