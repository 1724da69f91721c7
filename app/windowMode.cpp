#include "windowMode.h"

#include "console.h"
#include "consoleModes.h"
#include "cueOutput.h"
#include "display.h"
#include "highContrast.h"
#include "mainWindow.h"
#include "optionWords.h"
#include "translation.h"

#include <QApplication>

namespace morvant {

namespace {

struct FileMessage
{
    QString path; ///< empty for a warning, whose text names its file
    QString text;
    QString title;
};

} // namespace

// The messages wait until there is an application to show them in; the
// window opens only after every file has had its turn, and only when one of
// them failed or none was named. A warning is shown too: started from
// Explorer's command, the program has no standard error that anyone sees.
int convertOrOpenWindow(int &argc, char **argv, const Options &options)
{
    // Started from a file manager or Explorer, the user has windows, not the
    // command line's options: the advice is given as the windows' choices.
    setWording(Wording::Window);
    QList<FileMessage> messages;
    ConversionStatus status = conversionDone;
    if (!options.files.isEmpty()) {
        const auto keep = [&](const QString &path, const QString &text, const QString &title) {
            messages.append({ path, text, title });
        };
        const auto keepWarning = [&](const QString &text) {
            warnOnStandardError(text);
            messages.append({ {}, text, tr("Warning") });
        };
        status = convertFiles(
            discSet(options.files), options.conversion, keep, keepWarning, noteOnStandardError);
        if (messages.isEmpty())
            return conversionDone;
    }

    const auto application = openDisplay(argc, argv, [&] {
        if (options.files.isEmpty())
            return convertWithoutWindow(options);
        for (const FileMessage &message : std::as_const(messages)) {
            if (!message.path.isEmpty())
                showOnStandardError(message.path, message.text, message.title);
        }
        return status;
    });
    followHighContrast();
    for (const FileMessage &message : std::as_const(messages))
        showMessageBox(message.text, message.title);
    if (!options.files.isEmpty() && status == conversionDone)
        return conversionDone;
    MainWindow window(showMessageBox);
    if (!options.files.isEmpty())
        window.cuePath = commandLinePaths(options.files.last()).cuePath;
    window.show();
    // The status tells what became of the files named, whatever the window did afterwards.
    return qMax(int(status), QApplication::exec());
}

} // namespace morvant
