#include "checkReport.h"
#include "commandLine.h"
#include "cueOutput.h"
#include "fileSystem.h"
#include "mainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

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

// Each message names the control file it concerns: in a run over many
// files, from xargs say, a message alone would not tell which one failed.
void showOnStandardError(const QString &path, const QString &text, const QString &title)
{
    print(stderr,
        title + QStringLiteral(": ") + shownPath(path) + QStringLiteral(": ") + text + u'\n');
}

void reportUnwritableOutput(const QString &reason)
{
    print(stderr, QStringLiteral("morvant: cannot write to standard output: ") + reason + u'\n');
}

/** Closes standard output as GNU tools do: output that never arrived (a full
    disk, a vanished NFS server), even where only the close finds out, is
    told on standard error instead of passing for success. \a reason is a
    failure already known. Returns whether all output arrived. */
bool closeStandardOutput(QString reason = {})
{
    errno = 0;
    if (reason.isEmpty() && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        reason = qt_error_string(errno ? errno : EIO);
    if (std::fclose(stdout) != 0 && reason.isEmpty())
        reason = qt_error_string(errno);
    if (reason.isEmpty())
        return true;
    reportUnwritableOutput(reason);
    return false;
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
        reportUnwritableOutput(output.errorString());
        return exitNotWritten;
    }
    const QString &file = options.files.first();
    const ExitStatus status = convertToOutput(
        file, options.cdText, output,
        [&file](const QString &text, const QString &title) {
            showOnStandardError(commandLinePaths(file).inputPath, text, title);
        },
        warnOnStandardError, options.rebuild);
    // A failed write has been told already.
    if (status == exitNotWritten || closeStandardOutput())
        return status;
    return exitNotWritten;
}

int runCheck(const Options &options)
{
    QFile output;
    const CheckStatus status = output.open(stdout, QIODevice::WriteOnly)
        ? checkFiles(options.files, { options.cdText, options.rebuild }, options.json,
            isColourTerminal(), output)
        : checkRefused;
    const bool isWritten = output.flush() && output.error() == QFileDevice::NoError;
    const QString reason = isWritten ? QString() : output.errorString();
    output.close();
    return closeStandardOutput(reason) ? status : checkRefused;
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
    return closeStandardOutput() ? exitConverted : exitNotWritten;
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

struct FileMessage
{
    QString path;
    QString text;
    QString title;
};

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
/** Qt aborts the program when the display that DISPLAY or WAYLAND_DISPLAY
    names cannot be opened (a stale variable over ssh or in tmux, no
    compositor), and its own words then blame the installation. Such a
    display counts as none: while the application connects, what Qt says is
    held back, and should it give up, the program says why in one line and
    ends as it would have without a display. */
class DisplayConnection
{
public:
    /// \a withoutDisplay does what a run without a display does and gives its status.
    explicit DisplayConnection(std::function<int()> withoutDisplay)
        : withoutDisplay(std::move(withoutDisplay))
    {
        current = this;
        previous = qInstallMessageHandler(&DisplayConnection::take);
    }
    ~DisplayConnection() { release(); }
    DisplayConnection(const DisplayConnection &) = delete;
    DisplayConnection &operator=(const DisplayConnection &) = delete;

    /// Connected after all: what Qt said goes out as it would have.
    void release()
    {
        if (current != this)
            return;
        qInstallMessageHandler(previous);
        current = nullptr;
        for (const auto &[type, category, text] : std::as_const(held)) {
            const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
            qt_message_output(type, context, text);
        }
        held.clear();
    }

private:
    struct Held
    {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void take(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type != QtFatalMsg) {
            current->held.append({ type, context.category, text });
            return;
        }
        // The platform plugin's first word names the cause ("could not connect
        // to display :1"); Qt's last only says that it gives up.
        const auto byPlatform = std::find_if(current->held.cbegin(), current->held.cend(),
            [](const Held &held) { return held.category.startsWith("qt.qpa"); });
        const QString reason = byPlatform != current->held.cend() ? byPlatform->text : text;
        print(stderr, QStringLiteral("morvant: cannot open the window: ") + reason + u'\n');
        const int status = current->withoutDisplay();
        std::fflush(stderr);
        std::_Exit(status);
    }

    static inline DisplayConnection *current = nullptr;
    QtMessageHandler previous = nullptr;
    QList<Held> held;
    std::function<int()> withoutDisplay;
};
#else
// Where there is a display, it is always there to be opened.
class DisplayConnection
{
public:
    explicit DisplayConnection(const std::function<int()> &) { }
    void release() { }
};
#endif

// The messages wait until there is an application to show them in; the
// window opens only after every file has had its turn, and only when one of
// them failed or none was named.
int convertOrOpenWindow(int &argc, char **argv, const Options &options)
{
    QList<FileMessage> messages;
    ExitStatus status = exitConverted;
    if (!options.files.isEmpty()) {
        const auto keep = [&](const QString &path, const QString &text, const QString &title) {
            messages.append({ path, text, title });
        };
        status =
            convertFiles(options.files, options.cdText, keep, warnOnStandardError, options.rebuild);
        if (status == exitConverted)
            return exitConverted;
    }

    DisplayConnection connection([&] {
        if (options.files.isEmpty())
            return convertWithoutWindow(options);
        for (const FileMessage &message : std::as_const(messages))
            showOnStandardError(message.path, message.text, message.title);
        return int(status);
    });
    QApplication application(argc, argv);
    connection.release();
    for (const FileMessage &message : std::as_const(messages))
        showMessageBox(message.text, message.title);
    MainWindow window(showMessageBox);
    if (!options.files.isEmpty())
        window.cuePath = commandLinePaths(options.files.last()).cuePath;
    window.show();
    // The status tells what became of the files named, whatever the window did afterwards.
    return qMax(int(status), QApplication::exec());
}

// A short-lived core application hands over the platform's own argument list
// (on Windows too) without connecting to a display, which a successful
// conversion never needs.
QStringList startUp(int &argc, char **argv)
{
    QCoreApplication core(argc, argv);
    helpFilePath = QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
        + nativeSeparator + QStringLiteral("MORVANT.hlp");
#ifdef Q_OS_UNIX
    // Qt's list has U+FFFD for the bytes of a name that are not UTF-8, which
    // would name no file; these keep every byte.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments += fromSystemBytes(argv[i]);
    return arguments;
#else
    return QCoreApplication::arguments();
#endif
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
