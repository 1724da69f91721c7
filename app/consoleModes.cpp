#include "consoleModes.h"

#include "checkReport.h"
#include "console.h"
#include "cueOutput.h"
#include "datFile.h"
#include "discSet.h"
#include "fileSystem.h"
#include "translation.h"

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

namespace {

// Where a report goes: a console is written as the warnings are, in its
// characters; a file or a pipe gets bytes.
ReportOutput standardOutput(QFile &output)
{
    if (!isConsole(stdout))
        return output;
    return { output, [](const QString &text) { print(stdout, text); } };
}

// How many columns a terminal gives \a c: two for the wide characters of
// East Asian scripts and for emoji, one for the rest.
int columnsOf(char32_t c)
{
    const bool isWide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E)
        || (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF)
        || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
        || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60)
        || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F)
        || (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
    return isWide ? 2 : 1;
}

// \a line in at most \a columns: a line longer than the terminal is wide
// wraps, and going back to its start would redraw only its last row, leaving
// a row for every redraw. The middle goes, so that the start of the name and
// the percentage stay.
QString fitted(const QString &line, int columns)
{
    const QList<uint> units = line.toUcs4();
    const QList<char32_t> characters(units.begin(), units.end());
    int total = 0;
    for (const uint c : characters)
        total += columnsOf(c);
    const QString cut = QStringLiteral("...");
    if (columns <= 0 || total <= columns)
        return line;
    const int room = qMax(0, columns - int(cut.size()));
    int tailColumns = 0;
    qsizetype tail = characters.size();
    while (tail > 0 && tailColumns + columnsOf(characters[tail - 1]) <= room / 2)
        tailColumns += columnsOf(characters[--tail]);
    int headColumns = 0;
    qsizetype head = 0;
    while (head < tail && headColumns + columnsOf(characters[head]) <= room - tailColumns)
        headColumns += columnsOf(characters[head++]);
    return QString::fromUcs4(characters.constData(), head) + cut
        + QString::fromUcs4(characters.constData() + tail, characters.size() - tail);
}

// Images smaller than this are read too soon for a progress line to help.
constexpr qint64 progressFrom = 256 * 1024 * 1024;

/** The console's view of a job's progress: one line on standard error,
    redrawn in place, when that is a terminal and the work is large enough to
    wait for; elsewhere it would fill a log. */
class ProgressLine
{
public:
    /// Shows \a progress of the disc \a name, or takes the line away for no progress.
    void show(const JobProgress &progress, const QString &name)
    {
        if (progress.total < progressFrom) {
            draw({});
            return;
        }
        draw(tr("%1 %2: %3%").arg(progress.phase, name).arg(progress.done * 100 / progress.total));
    }

    /// Takes the line away, so that a message is written where it stood.
    void clear() { draw({}); }

private:
    void draw(const QString &line)
    {
        if (!isTerminal || (line.isEmpty() && shown == 0))
            return;
        // The last column is left free: a console moves to the next row
        // once it is written.
        const QString text = fitted(line, standardErrorColumns() - 1);
        print(stderr,
            u'\r' + text.leftJustified(shown)
                + (text.isEmpty() ? QStringLiteral("\r") : QString()));
        shown = text.size();
    }

    const bool isTerminal = isStandardErrorTerminal();
    qsizetype shown = 0;
};

} // namespace

CheckStatus runCheck(const Options &options)
{
    QFile output;
    const CheckStatus status = output.open(stdout, QIODevice::WriteOnly)
        ? checkFiles(discSet(options.files), options.conversion, options.json, isColourTerminal(),
            standardOutput(output))
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
    ProgressLine line;
    const auto showProgress = [&line](const JobProgress &progress, const QString &name) {
        line.show(progress, name);
    };
    const VerifyStatus status = verifyFiles(discSet(options.files), options.verifyDat,
        options.conversion, options.json, standardOutput(output), showProgress);
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
    // --split writes large files, whose progress is shown as --verify's is.
    ProgressLine line;
    const auto showProgress = [&line](const JobProgress &progress, const QString &name) {
        line.show(progress, name);
    };
    if (options.verifyDat.isEmpty())
        return convertFiles(discSet(options.files), options.conversion, showOnStandardError,
            warnOnStandardError, noteOnStandardError, showProgress);
    // --split --verify DAT: the files named as the DAT names them.
    const DatFile dat = readDat(options.verifyDat);
    if (!dat.isRead()) {
        print(stderr,
            QStringLiteral("morvant: ")
                + tr("Cannot read the DAT %1: %2\n")
                      .arg(
                          shownPath(options.verifyDat), shownText(dat.error).replace(u'\n', u' ')));
        return conversionRefused;
    }
    return convertFiles(discSet(options.files), options.conversion, showOnStandardError,
        warnOnStandardError, noteOnStandardError, showProgress, &dat);
}

} // namespace morvant
