#include "cueOutput.h"

#include "cueFile.h"
#include "fileSystem.h"
#include "playlistJob.h"
#include "translation.h"

#include <QFileDevice>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace morvant {

ConversionStatus convertFiles(const DiscSet &discs, const ConversionOptions &options,
    const ShowFileMessage &showMessage, const ShowWarning &showWarning, const ShowWarning &showNote,
    const std::function<void(const JobProgress &progress, const QString &name)> &showProgress,
    const DatFile *namesFrom)
{
    ConversionStatus status = conversionDone;
    // How many discs ended with each status, for the summary.
    std::array<qsizetype, 4> counts{};
    JobControl control;
    // Each disc under the name of the sheet written for it (the DAT's, with
    // namesFrom), and whether it was, for the playlists.
    QList<Disc> sheets;
    QList<bool> isWritten;
    for (const Disc &disc : discs.discs) {
        const QString name = shownPath(QFileInfo(disc.path).fileName());
        // A progress line is taken away before a line is told where it stood.
        const auto cleared = [&] {
            if (showProgress)
                showProgress({}, name);
        };
        if (showProgress)
            control.onProgress = [&](const JobProgress &progress) { showProgress(progress, name); };
        const auto showAboutFile = [&](const QString &text, const QString &title) {
            cleared();
            showMessage(disc.path, text, title);
        };
        const auto warn = [&](const QString &text) {
            cleared();
            showWarning(text);
        };
        const auto note = [&](const QString &text) {
            cleared();
            if (showNote)
                showNote(text);
        };
        const ConversionResult result = namesFrom
            ? namedSplitJob(disc, options, *namesFrom, control)
            : conversionJob(disc, options, control);
        const ConversionStatus ended =
            writeSteps(disc.path, result.steps, showAboutFile, warn, note)
            ? result.status
            : qMax(result.status, conversionNotWritten);
        cleared();
        ++counts[std::size_t(ended)];
        status = qMax(status, ended);
        sheets.append(result.disc.path.isEmpty() ? disc : result.disc);
        isWritten.append(ended == conversionDone);
    }
    // Each game's playlist once its discs are written, before the summary.
    const QList<PlaylistResult> playlists =
        options.playlists ? playlistJobs(sheets, isWritten) : QList<PlaylistResult>();
    for (const PlaylistResult &playlist : playlists) {
        const auto showAboutFile = [&](const QString &text, const QString &title) {
            showMessage(playlist.controlFile, text, title);
        };
        const bool isPlaylistWritten =
            writeSteps(playlist.controlFile, playlist.steps, showAboutFile, showWarning, showNote);
        status = qMax(status, isPlaylistWritten ? playlist.status : conversionNotWritten);
    }
    // A folder's discs are told of one by one, and then counted.
    const bool isFromFolder = std::any_of(
        discs.discs.begin(), discs.discs.end(), [](const Disc &disc) { return disc.isInFolder; });
    if (isFromFolder && discs.discs.size() > 1 && showNote) {
        showNote(tr("%1 discs: %2 converted, %3 refused, %4 could not be written.")
                     .arg(discs.discs.size())
                     .arg(counts[conversionDone])
                     .arg(counts[conversionRefused])
                     .arg(counts[conversionNotWritten]));
    }
    return status;
}

ConversionStatus convertToOutput(const QString &argument, const ConversionOptions &options,
    QIODevice &output, const ShowMessage &showMessage, const ShowWarning &showWarning,
    const ShowWarning &showNote)
{
    const CommandLinePaths paths = commandLinePaths(argument);
    const Disc disc{ Disc::ControlFile, paths.inputPath, paths.cuePath, {}, false };
    const JobControl control;
    const ConversionResult result = conversionJob(disc, options, control, true);
    // The warnings first, then the sheet, then what becomes of the .sbi.
    if (!writeSteps(disc.path, result.steps.mid(0, 1), showMessage, showWarning, showNote))
        return conversionNotWritten;
    const QString &cueSheet = result.cueSheet;
    if (cueSheet.isEmpty())
        return qMax(result.status, conversionRefused);
    const auto notWritten = [&](const QString &reason) {
        showMessage(tr("Cannot write to standard output:\n%1").arg(reason), fileErrorTitle());
        return conversionNotWritten;
    };
    // The same bytes as writeCueFile() puts into the .cue file.
    bool isExact = false;
    const QByteArray bytes = toSystemBytes(cueSheet, &isExact) + "\r\n";
    if (!isExact)
        return notWritten(notInCodePageText());
    auto *file = qobject_cast<QFileDevice *>(&output);
    if (output.write(bytes) != bytes.size() || (file && !file->flush()))
        return notWritten(output.errorString());
    // The sheet is meant to be saved beside the image, where the .sbi goes too.
    return writeSteps(disc.path, result.steps.mid(1), showMessage, showWarning, showNote)
        ? result.status
        : conversionNotWritten;
}

} // namespace morvant
