#include "commandLine.h"
#include "mainWindow.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

void showOnStandardError(const QString &text, const QString &title)
{
    print(stderr, title + QStringLiteral(": ") + text + u'\n');
}

bool hasDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    // A short-lived core application hands over the platform's own argument
    // list (on Windows too) without connecting to a display, which a
    // successful conversion never needs.
    QStringList arguments;
    {
        QCoreApplication core(argc, argv);
        arguments = QCoreApplication::arguments();
        helpFilePath = QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
            + nativeSeparator + QStringLiteral("MORVANT.hlp");
    }

    const Options options = parseArguments(arguments);
    if (!options.error.isEmpty()) {
        print(stderr,
            QStringLiteral("morvant: ") + options.error
                + QStringLiteral("\nTry 'morvant --help'.\n"));
        return exitUsage;
    }
    if (options.help) {
        print(stdout, usageText());
        return exitConverted;
    }
    if (options.version) {
        print(stdout, versionText());
        return exitConverted;
    }

    if (options.noWindow || !hasDisplay()) {
        if (options.files.isEmpty()) {
            print(stderr,
                QStringLiteral("morvant: no display to show the window on; "
                               "name a control file to convert.\n"));
            return exitUsage;
        }
        return convertFiles(options.files, showOnStandardError);
    }

    // The messages wait until there is an application to show them in; the
    // window opens only after every file has had its turn.
    QList<std::pair<QString, QString>> messages;
    if (!options.files.isEmpty()) {
        const auto keep = [&](const QString &text, const QString &title) {
            messages.append({ text, title });
        };
        if (convertFiles(options.files, keep) == exitConverted)
            return exitConverted;
    }

    QApplication application(argc, argv);
    for (const auto &[text, title] : messages)
        showMessageBox(text, title);
    MainWindow window(showMessageBox);
    if (!options.files.isEmpty())
        window.cuePath = commandLinePaths(options.files.last()).cuePath;
    window.show();
    return QApplication::exec();
}
