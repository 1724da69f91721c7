#include "playlistJob.h"

#include "cueFile.h"
#include "discFiles.h"
#include "fileSystem.h"
#include "playlist.h"
#include "translation.h"

#include <QFile>

namespace morvant {

namespace {

QString discNumbers(const QList<int> &numbers)
{
    QStringList shown;
    for (const int number : numbers)
        shown.append(QString::number(number));
    return (numbers.size() == 1 ? tr("disc %1") : tr("discs %1"))
        .arg(shown.join(QStringLiteral(", ")));
}

// Why the playlist is not written, or the empty text; as its warning says it.
QString notListed(const Playlist &playlist, const QList<Disc> &discs, const QList<bool> &isWritten)
{
    if (!playlist.missing.isEmpty())
        return tr("%1 of this game is not among the discs named.")
            .arg(discNumbers(playlist.missing));
    if (!playlist.repeated.isEmpty())
        return tr("%1 of this game is named more than once.").arg(discNumbers(playlist.repeated));
    for (const qsizetype at : playlist.discs) {
        if (!isWritten.value(at))
            return tr("the cue sheet of %1, or a file with it, was not written.")
                .arg(shownPath(discs[at].path));
    }
    if (!playlist.unlistable.isEmpty())
        return tr("no line of a playlist gives the name %1 as it is: it holds a line end, or "
                  "begins with '#' or a blank.")
            .arg(shownPath(discs[playlist.unlistable.first()].cuePath));
    return {};
}

// Why the file at \a path, which is not \a bytes, is left as it is; the
// empty text when nothing stands there or it holds just them.
QString earlierPlaylist(const QString &path, const QByteArray &bytes)
{
    const FileStatus status = fileStatus(path);
    if (!status.exists)
        return {};
    const QString kept = tr(" It is left as it is: remove it or move it away, and the playlist "
                            "is written.");
    if (!status.isFile)
        return tr("Nothing can be written there: %1.").arg(notAFile(status)) + kept;
    QFile file;
    QString reason;
    if (status.size == bytes.size() && openRegularFile(file, path, &reason)
        && file.read(bytes.size() + 1) == bytes)
        return {};
    if (!reason.isEmpty())
        return tr("It cannot be read to tell whether it is this playlist: %1.").arg(reason) + kept;
    return tr("It is not the playlist of these discs.") + kept;
}

} // namespace

QList<PlaylistResult> playlistJobs(const QList<Disc> &discs, const QList<bool> &isWritten)
{
    QList<PlaylistDisc> named;
    for (const Disc &disc : discs) {
        // What is no control file has no sheet; its name gives no disc.
        named.append(disc.kind == Disc::ControlFile
                ? PlaylistDisc{ disc.cuePath, imageName(disc.cuePath) }
                : PlaylistDisc{});
    }
    QList<PlaylistResult> results;
    for (const Playlist &playlist : playlists(named)) {
        PlaylistResult result;
        result.controlFile = discs[playlist.discs.first()].path;
        JobStep step;
        const QString shown = shownPath(playlist.path);
        const QString reason = notListed(playlist, discs, isWritten);
        if (!reason.isEmpty()) {
            step.told.append({ Told::Warning, shown + tr(": not written: ") + reason, {} });
            result.steps.append(step);
            results.append(result);
            continue;
        }
        QStringList sheets;
        for (const qsizetype at : playlist.discs)
            sheets.append(discs[at].cuePath);
        bool isExact = false;
        const QByteArray bytes = toSystemBytes(playlistText(sheets), &isExact);
        const QString refusal = isExact
            ? earlierPlaylist(playlist.path, bytes)
            : tr("The names of its discs' cue sheets hold characters that the system's code page "
                 "cannot hold; nothing is written, so that none of them is lost.");
        if (!refusal.isEmpty()) {
            step.told.append({ Told::Message, tr("Cannot write %1:\n%2").arg(shown, refusal),
                fileErrorTitle() });
            result.status = conversionNotWritten;
            result.steps.append(step);
            results.append(result);
            continue;
        }
        step.write.files.append({ playlist.path, bytes.size(), bytesContent(bytes) });
        result.steps = { step,
            JobStep{ { { Told::Note,
                         tr("%1 lists the cue sheets of the %2 discs in their order.")
                             .arg(shown)
                             .arg(sheets.size()),
                         {} } },
                {} } };
        results.append(result);
    }
    return results;
}

} // namespace morvant
