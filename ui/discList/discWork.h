#pragma once

#include "conversion.h"
#include "discListModel.h"
#include "job.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

namespace morvant {

// The disc list's work, on threads of its own so that the window keeps
// answering: what reads control files to list them and show their findings,
// and what runs the command line's jobs over the discs. Both speak to the
// window through queued signals only.

/// One disc of a run, or one to read for the list.
struct DiscTask
{
    quint64 id = 0;
    Disc disc;
    int offset = 0; ///< where Split cuts the audio tracks
};

/** Reads for the list: finds the discs below what the user added, reads each
    one's tracks and size, and checks the disc whose findings are asked for.
    It lives on a thread of its own; what it is asked is queued, the findings
    first, and may be asked from any thread. */
class DiscReader : public QObject
{
    Q_OBJECT

public:
    /// The discs that \a paths name, files and folders, as discSet() finds them.
    void find(const QStringList &paths);
    /// Reads the tracks and size of each disc of \a discs.
    void describe(const QList<DiscTask> &discs);
    /// Checks \a disc (\a id) as \a options ask, for its findings and cue sheet,
    /// before anything else queued; an earlier such request not begun is dropped.
    void readFindings(quint64 id, const Disc &disc, const ConversionOptions &options);
    /// Stops reading after the disc at hand, for good.
    void stop() { isStopped = true; }

signals:
    void found(const QList<morvant::FoundDisc> &discs);
    void described(const QList<morvant::DiscDescription> &descriptions);
    void findingsRead(quint64 id, const QString &findings, const QString &cueSheet);

private:
    struct FindingsRequest
    {
        quint64 id = 0;
        Disc disc;
        ConversionOptions options;
    };

    void wake();
    void work();

    QMutex mutex;
    QList<QStringList> toFind;
    QList<DiscTask> toDescribe;
    qsizetype describedCount = 0; ///< of toDescribe, the first ones done
    std::optional<FindingsRequest> findingsAsked;
    bool isAwake = false;
    std::atomic<bool> isStopped = false;
};

/// What the disc list does to each disc of a run.
enum class DiscAction { Check, Convert, Verify, Split };

/// What a run asks.
struct DiscRun
{
    DiscAction action = DiscAction::Check;
    QList<DiscTask> tasks;
    ConversionOptions options;
    QString datPath; ///< of Verify, and of Split with the DAT's names
};

/// What the work on one disc gave.
struct DiscResult
{
    quint64 id = 0;
    DiscState state = DiscState::Cancelled;
    int warnings = 0;
    QString findings; ///< the report on it, as text
    QString cueSheet;
    bool hasCueSheet = false; ///< the work read its cue sheet
    Disc sheetDisc; ///< with the name of the sheet written, the DAT's after a named split
    QString game;
    int offset = 0;
    bool hasOffset = false; ///< Verify found the game
    QString reportLine; ///< of the run's report: the disc's name and what became of it
};

/** Runs the command line's jobs over the discs of a run, one after another,
    on a thread of its own, and tells of each disc's start, progress and end. */
class DiscRunner : public QObject
{
    Q_OBJECT

public:
    /** Runs \a run; \a control is its cancellation, which the window may
        ask for from its own thread. */
    void run(const DiscRun &run, const std::shared_ptr<JobControl> &control);

signals:
    void started(quint64 id);
    void progressed(quint64 id, const QString &phase, double fraction);
    void finished(const morvant::DiscResult &result);
    /** The playlists of the run's multi-disc games (Playlists of multi-disc
        games) are written, or refused: \a told says what became of each, and
        \a written counts those written. */
    void playlistsDone(const QStringList &told, int written);
    /// The run is over; \a error says why it could not start, when it could not.
    void ended(const QString &error);

private:
    void writePlaylists(const QList<Disc> &discs, const QList<bool> &isWritten);
};

} // namespace morvant

Q_DECLARE_METATYPE(morvant::DiscResult)
Q_DECLARE_METATYPE(morvant::FoundDisc)
Q_DECLARE_METATYPE(morvant::DiscDescription)
