#include "discWork.h"

#include "checkJob.h"
#include "checkReport.h"
#include "conversionJob.h"
#include "datFile.h"
#include "fileId.h"
#include "fileSystem.h"
#include "playlistJob.h"
#include "verifyJob.h"
#include "verifyReport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>

namespace morvant {

namespace {

// Discs described between two reports to the window: enough that a folder
// of thousands is not reported disc by disc, few enough that rows fill in
// as the user watches.
constexpr qsizetype describedAtOnce = 64;

// The shortest time between two reports of a disc's progress: a read of a
// few megabytes reports far more often than a bar can be drawn.
constexpr qint64 progressEvery = 50; // milliseconds

QString identityOf(const Disc &disc)
{
    FileId id;
    QString error;
    if (disc.kind == Disc::ControlFile && fileId(disc.path, &id, &error))
        return QStringLiteral("file %1 %2").arg(id.volume).arg(id.file);
    return QStringLiteral("path %1 %2").arg(int(disc.kind)).arg(disc.path);
}

QString kindOf(const QString &mode)
{
    if (mode == u"AUDIO")
        return DiscReader::tr("audio");
    if (mode.startsWith(u"MODE1"))
        return DiscReader::tr("data (Mode 1)");
    if (mode.startsWith(u"MODE2"))
        return DiscReader::tr("data (Mode 2)");
    return mode.isEmpty() ? DiscReader::tr("no mode") : mode;
}

bool isTrackLine(QStringView trimmed)
{
    return trimmed.startsWith(u"TRACK ");
}

qsizetype trackCountOf(const QString &cueSheet)
{
    qsizetype count = 0;
    for (const QStringView line : QStringView(cueSheet).split(u'\n'))
        count += isTrackLine(line.trimmed()) ? 1 : 0;
    return count;
}

DiscDescription describeDisc(const DiscTask &entry)
{
    DiscDescription description;
    description.id = entry.id;
    if (entry.disc.kind != Disc::ControlFile)
        return description;
    const ConvertedFile converted = convert(entry.disc.path);
    if (converted.files.imageStatus.isFile)
        description.size = converted.files.imageStatus.size;
    QStringList kinds;
    for (const QStringView line : QStringView(converted.cueSheet).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (!isTrackLine(trimmed))
            continue;
        ++description.trackCount;
        const QList<QStringView> words = trimmed.split(u' ', Qt::SkipEmptyParts);
        const QString kind = kindOf(words.size() > 2 ? words[2].toString() : QString());
        if (!kinds.contains(kind))
            kinds.append(kind);
    }
    description.trackKinds = kinds.join(QStringLiteral(", "));
    return description;
}

QString checkText(const CheckReport &report)
{
    QString text;
    QBuffer unused;
    writeTextReport(
        report, false, ReportOutput(unused, [&text](const QString &part) { text += part; }));
    return text;
}

QString nameOf(const Disc &disc)
{
    return shownPath(QFileInfo(disc.path).fileName());
}

DiscResult checked(
    const DiscTask &task, const ConversionOptions &options, const JobControl &control)
{
    const CheckReport report = checkJob(task.disc, options, control);
    DiscResult result;
    result.id = task.id;
    result.findings = checkText(report);
    result.cueSheet = report.cueSheet;
    result.hasCueSheet = true;
    result.warnings = int(report.findings.size());
    result.state = report.isRefused() ? DiscState::Refused
        : report.hasWarnings()        ? DiscState::CheckedWithWarnings
                                      : DiscState::Checked;
    return result;
}

// The conversion, or Split, written as the command line writes it: what the
// job tells is kept for the report, never shown in a box of its own.
/// The disc of \a task converted, or split (at Verify's offset, or named after \a namesFrom's
/// game, at the offset that it matches at).
DiscResult converted(const DiscTask &task, ConversionOptions options, bool split,
    const DatFile *namesFrom, const JobControl &control)
{
    DiscResult result;
    result.id = task.id;
    options.split = split;
    options.splitOffset = split ? task.offset : 0;
    const ConversionResult conversion = namesFrom
        ? namedSplitJob(task.disc, options, *namesFrom, control)
        : conversionJob(task.disc, options, control);
    if (conversion.isCancelled || control.isCancelled())
        return result;
    QStringList told;
    bool hasMessage = false;
    const auto showMessage = [&](const QString &text, const QString &title) {
        hasMessage = true;
        told.append(title + QStringLiteral(": ") + text);
    };
    const auto showWarning = [&](const QString &text) {
        ++result.warnings;
        told.append(text);
    };
    const auto showNote = [&](const QString &text) { told.append(text); };
    const bool isWritten =
        writeSteps(task.disc.path, conversion.steps, showMessage, showWarning, showNote);
    // A cancelled Split has written none of its files.
    if (control.isCancelled() && !isWritten)
        return result;
    // A sheet that names no track loads in no program, and some hang on it:
    // never "Converted" alone.
    if (isWritten && !split && trackCountOf(conversion.cueSheet) == 0
        && !told.join(u'\n').contains(QStringLiteral("[TRACK]"))) {
        ++result.warnings;
        told.append(shownPath(task.disc.path) + QStringLiteral(": ")
            + DiscRunner::tr("The control file has no [TRACK] sections: the cue sheet names no "
                             "track. Choose \"Rebuild from the table of contents\" and convert "
                             "it again."));
    }
    result.cueSheet = conversion.cueSheet;
    result.hasCueSheet = true;
    result.sheetDisc = conversion.disc;
    result.findings = told.join(u'\n');
    if (!isWritten || conversion.status != conversionDone || hasMessage)
        result.state = DiscState::Refused;
    else if (split)
        result.state = DiscState::Split;
    else
        result.state =
            result.warnings > 0 ? DiscState::ConvertedWithWarnings : DiscState::Converted;
    return result;
}

DiscResult verified(const DiscTask &task, const DatFile &dat, const ConversionOptions &options,
    const JobControl &control)
{
    DiscResult result;
    result.id = task.id;
    const VerifiedDisc disc = verifyJob(task.disc, dat, options, control);
    if (control.isCancelled())
        return result;
    result.findings = verifiedDiscText(disc, dat);
    result.game = disc.game;
    switch (disc.verdict) {
    case DiscVerdict::Matches:
        result.state = disc.audioOffset == 0 ? DiscState::Matches : DiscState::MatchesAtOffset;
        result.offset = disc.audioOffset;
        result.hasOffset = true;
        break;
    case DiscVerdict::NotVerified:
        result.state = DiscState::Refused;
        break;
    default:
        result.state = DiscState::DoesNotMatch;
        break;
    }
    return result;
}

} // namespace

void DiscReader::find(const QStringList &paths)
{
    const QMutexLocker locker(&mutex);
    toFind.append(paths);
    wake();
}

void DiscReader::describe(const QList<DiscTask> &discs)
{
    const QMutexLocker locker(&mutex);
    toDescribe.append(discs);
    wake();
}

void DiscReader::readFindings(quint64 id, const Disc &disc, const ConversionOptions &options)
{
    const QMutexLocker locker(&mutex);
    findingsAsked = FindingsRequest{ id, disc, options };
    wake();
}

// With the mutex held.
void DiscReader::wake()
{
    if (isAwake)
        return;
    isAwake = true;
    QMetaObject::invokeMethod(this, &DiscReader::work, Qt::QueuedConnection);
}

void DiscReader::work()
{
    while (!isStopped) {
        std::optional<FindingsRequest> findings;
        QStringList paths;
        QList<DiscTask> entries;
        {
            const QMutexLocker locker(&mutex);
            if (findingsAsked) {
                findings = std::move(findingsAsked);
                findingsAsked.reset();
            } else if (!toFind.isEmpty()) {
                paths = toFind.takeFirst();
            } else if (describedCount < toDescribe.size()) {
                entries = toDescribe.mid(describedCount, describedAtOnce);
                describedCount += entries.size();
                if (describedCount == toDescribe.size()) {
                    toDescribe.clear();
                    describedCount = 0;
                }
            } else {
                isAwake = false;
                return;
            }
        }
        if (findings) {
            const JobControl control;
            const CheckReport report = checkJob(findings->disc, findings->options, control);
            emit findingsRead(findings->id, checkText(report), report.cueSheet);
        } else if (!paths.isEmpty()) {
            const DiscSet set = discSet(paths);
            QList<FoundDisc> discs;
            discs.reserve(set.discs.size());
            for (const Disc &disc : set.discs)
                discs.append({ disc, identityOf(disc) });
            emit found(discs);
        } else {
            QList<DiscDescription> descriptions;
            for (const DiscTask &entry : std::as_const(entries)) {
                if (isStopped)
                    return;
                descriptions.append(describeDisc(entry));
            }
            emit described(descriptions);
        }
    }
}

void DiscRunner::writePlaylists(const QList<Disc> &discs, const QList<bool> &isWritten)
{
    QStringList told;
    int written = 0;
    for (const PlaylistResult &playlist : playlistJobs(discs, isWritten)) {
        const auto tell = [&](const QString &text) { told.append(text); };
        const auto showMessage = [&](const QString &text, const QString &title) {
            told.append(title + QStringLiteral(": ") + text);
        };
        if (writeSteps(playlist.controlFile, playlist.steps, showMessage, tell, tell)
            && playlist.status == conversionDone)
            ++written;
    }
    emit playlistsDone(told, written);
}

void DiscRunner::run(const DiscRun &run, const std::shared_ptr<JobControl> &control)
{
    DatFile dat;
    const bool isNamedSplit = run.action == DiscAction::Split && !run.datPath.isEmpty();
    if (run.action == DiscAction::Verify || isNamedSplit) {
        dat = readDat(run.datPath);
        if (!dat.isRead()) {
            emit ended(tr("Cannot read the DAT %1: %2").arg(shownPath(run.datPath), dat.error));
            return;
        }
    }
    QList<Disc> discs; // those of the run, under their sheets' names, for their playlists
    QList<bool> isWritten;
    for (const DiscTask &task : run.tasks) {
        if (control->isCancelled()) {
            DiscResult cancelled;
            cancelled.id = task.id;
            cancelled.reportLine = nameOf(task.disc) + QStringLiteral(": ") + tr("Cancelled");
            emit finished(cancelled);
            continue;
        }
        emit started(task.id);
        QElapsedTimer sinceShown;
        sinceShown.start();
        control->onProgress = [&](const JobProgress &progress) {
            if (sinceShown.elapsed() < progressEvery && progress.done < progress.total)
                return;
            sinceShown.restart();
            emit progressed(task.id, progress.phase, progress.fraction());
        };
        DiscResult result;
        switch (run.action) {
        case DiscAction::Check:
            result = checked(task, run.options, *control);
            break;
        case DiscAction::Convert:
            result = converted(task, run.options, false, nullptr, *control);
            break;
        case DiscAction::Split:
            result = converted(task, run.options, true, isNamedSplit ? &dat : nullptr, *control);
            break;
        case DiscAction::Verify:
            result = verified(task, dat, run.options, *control);
            break;
        }
        DiscEntry entry;
        entry.state = result.state;
        entry.warnings = result.warnings;
        entry.game = result.game;
        entry.offset = result.offset;
        result.reportLine = nameOf(task.disc) + QStringLiteral(": ")
            + DiscListModel::stateText(entry)
            + (result.state == DiscState::Checked || result.findings.isEmpty()
                    ? QString()
                    : QStringLiteral("\n") + result.findings.trimmed());
        discs.append(result.sheetDisc.path.isEmpty() ? task.disc : result.sheetDisc);
        isWritten.append(result.state == DiscState::Converted
            || result.state == DiscState::ConvertedWithWarnings
            || result.state == DiscState::Split);
        emit finished(result);
    }
    control->onProgress = {};
    if (run.options.playlists && run.action != DiscAction::Check && run.action != DiscAction::Verify
        && !control->isCancelled())
        writePlaylists(discs, isWritten);
    emit ended({});
}

} // namespace morvant
