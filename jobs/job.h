#pragma once

#include "trackHashes.h"

#include <QString>

#include <atomic>
#include <functional>

namespace morvant {

// What every job has in common, whichever mode it does: the command line runs
// jobs one after another and draws their progress on the console; a window
// runs the same jobs on a worker thread and draws it as a bar.

/// How far a job has come in its present phase.
struct JobProgress
{
    QString phase; ///< what it is doing, a word such as "Hashing"
    qint64 done = 0; ///< bytes of the phase done
    qint64 total = 0; ///< bytes of the phase in all

    double fraction() const { return total > 0 ? double(done) / double(total) : 0.0; }
};

/** Hands a job its progress reports and its cancellation. The job asks
    isCancelled() between reads; cancel() may be called from any thread. A
    job that is cancelled leaves nothing half-written: the files it writes go
    in place all together or not at all. */
class JobControl
{
public:
    /// Told of the job's progress, on the job's own thread; may be empty.
    std::function<void(const JobProgress &progress)> onProgress;

    void cancel() { cancelled = true; }
    bool isCancelled() const { return cancelled; }

    /** What the engine's reading and writing report their progress to for
        \a phase: it tells onProgress and says whether to go on. */
    Progress progressOf(const QString &phase) const
    {
        return [this, phase](qint64 done, qint64 total) {
            if (onProgress)
                onProgress({ phase, done, total });
            return !isCancelled();
        };
    }

private:
    std::atomic<bool> cancelled = false;
};

} // namespace morvant
