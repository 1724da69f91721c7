#include "checkReport.h"
#include "commandLine.h"
#include "cueOutput.h"
#include "mainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

void showOnStandardError(const QString &text, const QString &title)
{
    print(stderr, title + QStringLiteral(": ") + text + u'\n');
}

/** The program is a windowed one, so Windows gives it no console. What it
    writes goes where its caller sent it: to a pipe or a file when redirected,
    else to the console of the command prompt that started it. Started from
    Explorer there is none, and none is opened. Elsewhere nothing to do. */
void useCallersConsole()
{
#ifdef Q_OS_WIN
    const auto hasHandle = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool hasOutput = hasHandle(STD_OUTPUT_HANDLE);
    const bool hasError = hasHandle(STD_ERROR_HANDLE);
    if ((hasOutput && hasError) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!hasOutput)
        std::freopen("CONOUT$", "w", stdout);
    if (!hasError)
        std::freopen("CONOUT$", "w", stderr);
#endif
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

void warnOnStandardError(const QString &text)
{
    print(stderr, QStringLiteral("morvant: warning: ") + text + u'\n');
}

// Colour only for a person at a terminal, and never when they opted out.
bool isColourTerminal()
{
#ifdef Q_OS_WIN
    const bool isTerminal = _isatty(_fileno(stdout));
#else
    const bool isTerminal = ::isatty(STDOUT_FILENO);
#endif
    return isTerminal && qEnvironmentVariableIsEmpty("NO_COLOR")
        && qEnvironmentVariable("TERM") != QStringLiteral("dumb");
}

int writeToStandardOutput(const Options &options)
{
#ifdef Q_OS_WIN
    // The cue sheet brings its own CR LF; text mode would double the CR.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        showOnStandardError(
            output.errorString(), QStringLiteral("Cannot write to standard output"));
        return exitNotWritten;
    }
    return convertToOutput(options.files.first(), options.cdText, output, showOnStandardError,
        [](const QString &text) { warnOnStandardError(text); });
}

int runCheck(const Options &options)
{
    const CheckRun run =
        checkFiles(options.files, { options.cdText }, options.json, isColourTerminal());
    if (std::fwrite(run.output.constData(), 1, size_t(run.output.size()), stdout)
            != size_t(run.output.size())
        || std::fflush(stdout) != 0) {
        print(stderr, QStringLiteral("morvant: cannot write to standard output\n"));
        return checkRefused;
    }
    return run.status;
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
    if (!options.error.isEmpty() || options.help || options.version || options.check
        || options.toStandardOutput || options.noWindow)
        useCallersConsole();
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

    if (options.check)
        return runCheck(options);
    if (options.toStandardOutput)
        return writeToStandardOutput(options);

    const auto convert = [&](const ShowMessage &showMessage) {
        return options.cdText ? convertFilesWithCdText(options.files, showMessage,
                   [](const QString &text) { warnOnStandardError(text); })
                              : convertFiles(options.files, showMessage);
    };

    if (options.noWindow || !hasDisplay()) {
        if (options.files.isEmpty()) {
            print(stderr,
                QStringLiteral("morvant: no display to show the window on; "
                               "name a control file to convert.\n"));
            return exitUsage;
        }
        return convert(showOnStandardError);
    }

    // The messages wait until there is an application to show them in; the
    // window opens only after every file has had its turn.
    QList<std::pair<QString, QString>> messages;
    if (!options.files.isEmpty()) {
        const auto keep = [&](const QString &text, const QString &title) {
            messages.append({ text, title });
        };
        if (convert(keep) == exitConverted)
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
