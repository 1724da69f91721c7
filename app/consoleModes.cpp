#include "consoleModes.h"

#include "checkReport.h"
#include "console.h"
#include "cueOutput.h"
#include "fileSystem.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

namespace morvant {

ReplyStatus printUsageError(const QString &error)
{
    // An unknown option is quoted, and may be a file's name that holds escape sequences.
    print(stderr,
        QStringLiteral("morvant: ") + shownText(error)
            + QStringLiteral("\nTry 'morvant --help'.\n"));
    return replyUsage;
}

ReplyStatus printText(const QString &text)
{
    errno = 0;
    print(stdout, text);
    // A text longer than the stream's buffer is partly written while it is
    // printed, and the system's reason for a failed write is known only then.
    const QString reason =
        std::ferror(stdout) ? qt_error_string(errno != 0 ? errno : EIO) : QString();
    return closeStandardOutput(reason) ? replyWritten : replyNotWritten;
}

CheckStatus runCheck(const Options &options)
{
    QFile output;
    const CheckStatus status = output.open(stdout, QIODevice::WriteOnly)
        ? checkFiles(options.files, options.conversion, options.json, isColourTerminal(), output)
        : checkRefused;
    const bool isWritten = output.flush() && output.error() == QFileDevice::NoError;
    const QString reason = isWritten ? QString() : output.errorString();
    output.close();
    return closeStandardOutput(reason) ? status : checkRefused;
}

VerifyStatus runVerify(const Options &options)
{
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly)) {
        reportUnwritableOutput(output.errorString());
        return verifyRefused;
    }
    // A line redrawn in place on a terminal; elsewhere it would fill a log.
    const bool isTerminal = isStandardErrorTerminal();
    qsizetype shown = 0;
    const auto showProgress = [&](const QString &line) {
        if (!isTerminal || (line.isEmpty() && shown == 0))
            return;
        print(stderr,
            u'\r' + line.leftJustified(shown)
                + (line.isEmpty() ? QStringLiteral("\r") : QString()));
        shown = line.size();
    };
    const VerifyStatus status = verifyFiles(
        options.files, options.verifyDat, options.conversion, options.json, output, showProgress);
    const bool isWritten = output.flush() && output.error() == QFileDevice::NoError;
    const QString reason = isWritten ? QString() : output.errorString();
    output.close();
    return closeStandardOutput(reason) ? status : verifyRefused;
}

ConversionStatus writeToStandardOutput(const Options &options)
{
    setBinaryStandardOutput();
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reportUnwritableOutput(output.errorString());
        return conversionNotWritten;
    }
    const QString &file = options.files.first();
    const ConversionStatus status = convertToOutput(
        file, options.conversion, output,
        [&file](const QString &text, const QString &title) {
            showOnStandardError(commandLinePaths(file).inputPath, text, title);
        },
        warnOnStandardError, noteOnStandardError);
    // A failed write has been told already.
    if (status == conversionNotWritten || closeStandardOutput())
        return status;
    return conversionNotWritten;
}

ConversionStatus convertWithoutWindow(const Options &options)
{
    if (options.files.isEmpty()) {
        print(stderr,
            QStringLiteral("morvant: no display to show the window on; "
                           "name a control file to convert.\n"));
        return conversionUsage;
    }
    return convertFiles(options.files, options.conversion, showOnStandardError, warnOnStandardError,
        noteOnStandardError);
}

} // namespace morvant
