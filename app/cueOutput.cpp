#include "cueOutput.h"

#include "conversion.h"
#include "fileSystem.h"

#include <QFileDevice>

namespace {

ConversionOptions conversionOptions(bool cdText, bool rebuild, bool sessions, bool codes)
{
    ConversionOptions options{ cdText, rebuild };
    options.sessions = sessions;
    options.codes = codes;
    return options;
}

QString cueSheetOf(const QString &inputPath, const ConversionOptions &options,
    const ShowMessage &showMessage, const ShowWarning &showWarning)
{
    const ConvertedFile converted = convert(inputPath, options);
    if (converted.isRefused())
        showRefusal(showMessage, inputPath, converted.outcome);
    const QStringList warnings = converted.warnings();
    for (const QString &warning : warnings)
        showWarning(shownPath(inputPath) + QStringLiteral(": ") + warning);
    return converted.cueSheet;
}

} // namespace

ExitStatus convertFiles(const QStringList &files, bool cdText, const ShowFileMessage &showMessage,
    const ShowWarning &showWarning, bool rebuild, bool sessions, bool codes)
{
    const ConversionOptions options = conversionOptions(cdText, rebuild, sessions, codes);
    ExitStatus status = exitConverted;
    for (const QString &argument : files) {
        const CommandLinePaths paths = commandLinePaths(argument);
        const auto showAboutFile = [&](const QString &text, const QString &title) {
            showMessage(paths.inputPath, text, title);
        };
        const QString cueSheet = cueSheetOf(paths.inputPath, options, showAboutFile, showWarning);
        if (cueSheet.isEmpty())
            status = qMax(status, exitRefused);
        else if (!saveCueSheet(paths.inputPath, paths.cuePath, cueSheet, showAboutFile))
            status = qMax(status, exitNotWritten);
    }
    return status;
}

ExitStatus convertToOutput(const QString &argument, bool cdText, QIODevice &output,
    const ShowMessage &showMessage, const ShowWarning &showWarning, bool rebuild, bool sessions,
    bool codes)
{
    const QString cueSheet = cueSheetOf(commandLinePaths(argument).inputPath,
        conversionOptions(cdText, rebuild, sessions, codes), showMessage, showWarning);
    if (cueSheet.isEmpty())
        return exitRefused;
    // The same bytes as writeCueFile() puts into the .cue file.
    bool isExact = false;
    const QByteArray bytes = toSystemBytes(cueSheet, &isExact) + "\r\n";
    if (!isExact) {
        showMessage(
            tr("Cannot write to standard output:\n%1").arg(notInCodePageText()), fileErrorTitle());
        return exitNotWritten;
    }
    auto *file = qobject_cast<QFileDevice *>(&output);
    if (output.write(bytes) != bytes.size() || (file && !file->flush())) {
        showMessage(
            tr("Cannot write to standard output:\n%1").arg(output.errorString()), fileErrorTitle());
        return exitNotWritten;
    }
    return exitConverted;
}
