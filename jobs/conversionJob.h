#pragma once

#include "conversion.h"
#include "datFile.h"
#include "discSet.h"
#include "fileToWrite.h"
#include "job.h"
#include "modes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;

namespace morvant {

// The conversion of one disc and --split of one, as jobs: what they tell and
// what they write, in order, for a front end to tell and writeSteps() to write.

/// Something that a job tells of its disc.
struct Told
{
    enum Kind {
        Message, ///< a refusal or a failure, with its title
        Warning, ///< what the result lacks or may get wrong; its text names the file
        Note, ///< what was done besides, such as a .sbi written; its text names the file
    };
    Kind kind = Message;
    QString text;
    QString title; ///< of a message
};

/// Files written beside the control file in one go, all or none.
struct FilesToWrite
{
    QList<FileToWrite> files; ///< the last names the others, when there are several
    /// The disc's own files, which none of them may be. Empty for a file
    /// alone (the .cue, the .sbi), which may not be the image that its name
    /// gives, as writeBeside() refuses.
    QStringList keptPaths;
};

/// A step of a job: what it tells, then what it writes.
struct JobStep
{
    QList<Told> told;
    FilesToWrite write;
};

/// What converting (or splitting) one disc gives.
struct ConversionResult
{
    Disc disc;
    QString cueSheet; ///< the sheet of the conversion; empty when refused
    /// Told and written one after the other; a write that fails ends them
    QList<JobStep> steps;
    ConversionStatus status = conversionDone; ///< the run's, once every step is written
    bool isCancelled = false; ///< stopped before it began; nothing told or written
    /// The image, open, that the track files of --split are cut from
    std::shared_ptr<QFile> image;
};

/** Converts \a disc as \a options ask (with split, into the tracks' files and
    their sheet) and says what to tell and write, writing nothing itself.
    With \a toStandardOutput the first step writes no .cue: the sheet goes
    elsewhere, after the first step's warnings. The track files' contents
    report their progress through \a control while they are written, and stop
    when it is cancelled: \a control must outlive their writing. */
ConversionResult conversionJob(const Disc &disc, const ConversionOptions &options,
    const JobControl &control, bool toStandardOutput = false);

/** --split with a DAT: \a disc verified against \a dat, then split as
    conversionJob() splits it, at the audio offset found, its files named as
    the DAT names those of the game that it matches (datNames()), the sheet
    beside the control file under the DAT's name of it. A disc that does not
    match wholly, or whose names from the DAT are refused, is refused with
    the reason, and nothing is written. */
ConversionResult namedSplitJob(const Disc &disc, const ConversionOptions &options,
    const DatFile &dat, const JobControl &control);

/// Tells the user of something that went wrong without stopping the work.
using ShowWarning = std::function<void(const QString &text)>;

/** Tells and writes \a steps in turn, beside the control file \a
    controlFile, through \a showMessage, \a showWarning and \a showNote (which
    may be empty); a write that fails is told through \a showMessage and ends
    them. False when one failed. */
bool writeSteps(const QString &controlFile, const QList<JobStep> &steps,
    const ShowMessage &showMessage, const ShowWarning &showWarning, const ShowWarning &showNote);

} // namespace morvant
