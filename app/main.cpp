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
        warnOnStandardError, options.rebuild);
}

int runCheck(const Options &options)
{
    QFile output;
    const CheckStatus status = output.open(stdout, QIODevice::WriteOnly)
        ? checkFiles(options.files, { options.cdText, options.rebuild }, options.json,
            isColourTerminal(), output)
        : checkRefused;
    if (!output.flush() || output.error() != QFileDevice::NoError) {
        print(stderr, QStringLiteral("morvant: cannot write to standard output\n"));
        return checkRefused;
    }
    return status;
}

int printUsageError(const QString &error)
{
    print(
        stderr, QStringLiteral("morvant: ") + error + QStringLiteral("\nTry 'morvant --help'.\n"));
    return exitUsage;
}

int printText(const QString &text)
{
    print(stdout, text);
    return exitConverted;
}

int convertWithoutWindow(const Options &options)
{
    if (options.files.isEmpty()) {
        print(stderr,
            QStringLiteral("morvant: no display to show the window on; "
                           "name a control file to convert.\n"));
        return exitUsage;
    }
    return convertFiles(
        options.files, options.cdText, showOnStandardError, warnOnStandardError, options.rebuild);
}

// The messages wait until there is an application to show them in; the
// window opens only after every file has had its turn, and only when one of
// them failed or none was named.
int convertOrOpenWindow(int &argc, char **argv, const Options &options)
{
    QList<std::pair<QString, QString>> messages;
    if (!options.files.isEmpty()) {
        const auto keep = [&](const QString &text, const QString &title) {
            messages.append({ text, title });
        };
        if (convertFiles(options.files, options.cdText, keep, warnOnStandardError, options.rebuild)
            == exitConverted)
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

// A short-lived core application hands over the platform's own argument list
// (on Windows too) without connecting to a display, which a successful
// conversion never needs.
QStringList startUp(int &argc, char **argv)
{
    QCoreApplication core(argc, argv);
    helpFilePath = QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
        + nativeSeparator + QStringLiteral("MORVANT.hlp");
    return QCoreApplication::arguments();
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parseArguments(startUp(argc, argv));
    if (!options.error.isEmpty() || options.help || options.version || options.check
        || options.toStandardOutput || options.noWindow)
        useCallersConsole();
    if (!options.error.isEmpty())
        return printUsageError(options.error);
    if (options.help)
        return printText(usageText());
    if (options.version)
        return printText(versionText());
    if (options.check)
        return runCheck(options);
    if (options.toStandardOutput)
        return writeToStandardOutput(options);
    if (options.noWindow || !hasDisplay())
        return convertWithoutWindow(options);
    return convertOrOpenWindow(argc, argv, options);
}
