#include "cueOutput.h"

#include "cdText.h"
#include "controlFile.h"
#include "fileSystem.h"
#include "translation.h"

#include <QFileDevice>

namespace {

QString convert(const QString &inputPath, bool cdText, bool rebuild, const ShowMessage &showMessage,
    const ShowWarning &showWarning)
{
    if (rebuild) {
        QStringList warnings;
        const QString cueSheet = ccdToCueRebuilt(inputPath, showMessage, cdText, &warnings);
        for (const QString &warning : std::as_const(warnings))
            showWarning(shownPath(inputPath) + QStringLiteral(": ") + warning);
        return cueSheet;
    }
    if (!cdText)
        return ccdToCue(inputPath, showMessage);
    QString warning;
    const QString cueSheet = ccdToCueWithCdText(inputPath, showMessage, &warning);
    if (!warning.isEmpty())
        showWarning(shownPath(inputPath) + QStringLiteral(": ") + warning);
    return cueSheet;
}

} // namespace

ExitStatus convertFiles(const QStringList &files, bool cdText, const ShowFileMessage &showMessage,
    const ShowWarning &showWarning, bool rebuild)
{
    ExitStatus status = exitConverted;
    for (const QString &argument : files) {
        const CommandLinePaths paths = commandLinePaths(argument);
        const auto showAboutFile = [&](const QString &text, const QString &title) {
            showMessage(paths.inputPath, text, title);
        };
        const QString cueSheet =
            convert(paths.inputPath, cdText, rebuild, showAboutFile, showWarning);
        if (cueSheet.isEmpty())
            status = qMax(status, exitRefused);
        else if (!saveCueSheet(paths.inputPath, paths.cuePath, cueSheet, showAboutFile))
            status = qMax(status, exitNotWritten);
    }
    return status;
}

ExitStatus convertToOutput(const QString &argument, bool cdText, QIODevice &output,
    const ShowMessage &showMessage, const ShowWarning &showWarning, bool rebuild)
{
    const QString cueSheet =
        convert(commandLinePaths(argument).inputPath, cdText, rebuild, showMessage, showWarning);
    if (cueSheet.isEmpty())
        return exitRefused;
    // The same bytes as writeCueFile() puts into the .cue file.
    const QByteArray bytes = toSystemBytes(cueSheet) + "\r\n";
    auto *file = qobject_cast<QFileDevice *>(&output);
    if (output.write(bytes) != bytes.size() || (file && !file->flush())) {
        showMessage(
            tr("Cannot write to standard output:\n%1").arg(output.errorString()), tr("File Error"));
        return exitNotWritten;
    }
    return exitConverted;
}
