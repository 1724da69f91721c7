#include "trackFiles.h"

#include "cueFile.h"
#include "discImage.h"
#include "fileSystem.h"
#include "numbers.h"
#include "optionWords.h"
#include "translation.h"

#include <QFile>

#include <memory>

namespace morvant {

std::optional<Remark> partialSectorFinding(qint64 imageSize)
{
    if (imageSize % imageSectorSize == 0)
        return std::nullopt;
    return Remark{ FindingCode::ImageSize, 0, {},
        tr("The image is %1 bytes long, not a whole number of %2-byte sectors.")
            .arg(imageSize)
            .arg(imageSectorSize),
        tr("The image is cut off or is not a raw CloneCD image; make it again from the disc.") };
}

std::optional<Remark> beyondEndFinding(const QList<CueTrack> &tracks, qint64 end)
{
    int beyond = 0;
    const CueLine *first = nullptr;
    const CueTrack *firstTrack = nullptr;
    for (const CueTrack &track : tracks) {
        for (const CueLine &index : track.lines) {
            if (index.isIndex() && index.sectors >= end) {
                if (!first) {
                    first = &index;
                    firstTrack = &track;
                }
                ++beyond;
            }
        }
    }
    if (!first)
        return std::nullopt;
    return Remark{ FindingCode::IndexBeyondEnd, first->line, firstTrack->number,
        beyond == 1
            ? tr("INDEX %1 of track %2 (%3) lies at or beyond the image's end (%4).")
                  .arg(first->number, firstTrack->number, first->time(), sectorCountToMsf(end))
            : tr("%1 indexes lie at or beyond the image's end (%2), the first INDEX %3 "
                 "of track %4 (%5).")
                  .arg(beyond)
                  .arg(sectorCountToMsf(end), first->number, firstTrack->number, first->time()),
        tr("The image is shorter than the control file says: it is incomplete or belongs "
           "to another disc.") };
}

ByteStretch TrackFile::stretch(int offsetSamples) const
{
    return { start + (isAudio ? offsetSamples * sampleSize : 0), size };
}

namespace {

// Where the track's file starts, as the sheet counts sectors: its INDEX 00,
// else its INDEX 01; -1 when it has neither as a sector count.
qint64 sheetStartOf(const CueTrack &track)
{
    const CueLine *start = track.index(0);
    if (start == nullptr)
        start = track.index(1);
    return start == nullptr ? -1 : start->sectors;
}

} // namespace

QString trackFileName(const QString &baseName, const QString &number, qsizetype count)
{
    if (count == 1)
        return baseName + QStringLiteral(".bin");
    const int value = number.toInt();
    return QStringLiteral("%1 (Track %2).bin")
        .arg(baseName)
        .arg(value, count >= 10 ? 2 : 1, 10, QLatin1Char('0'));
}

namespace {

// The image's byte where the sheet's sector \a sector lies: the sheet counts
// a later session's sectors as the disc does, the image holds no space
// between sessions. -1 when the image does not hold it.
qint64 imageByte(const QList<HeldSectors> &held, qint64 sector)
{
    if (held.isEmpty())
        return sector * imageSectorSize;
    const std::optional<qint64> inImage = imageSector(held, sector);
    return inImage ? *inImage * imageSectorSize : -1;
}

// The last byte's end of the session that ends at the lead-out \a leadOut.
qint64 sessionEnd(const QList<HeldSectors> &held, qint64 leadOut)
{
    const qint64 last = imageByte(held, leadOut - 1);
    return last < 0 ? -1 : last + imageSectorSize;
}

} // namespace

QList<TrackFile> trackFiles(const CueSheet &sheet, const QList<HeldSectors> &held, qint64 imageSize,
    const QString &baseName, QString *error)
{
    QList<TrackFile> files;
    const qsizetype count = sheet.tracks.size();
    if (count == 0) {
        *error = tr("the control file has no [TRACK] sections (with only a table of contents, "
                    "%1 gives the tracks)")
                     .arg(optionWords(AdvisedOption::Rebuild));
        return {};
    }
    for (qsizetype i = 0; i < count; ++i) {
        const CueTrack &track = sheet.tracks[i];
        TrackFile file;
        file.number = track.number;
        file.isAudio = track.mode == u"AUDIO";
        file.name = trackFileName(baseName, track.number, count);
        const qint64 start = sheetStartOf(track);
        // The first file holds whatever the image has before the first track.
        file.sheetStart = i == 0 ? 0 : start;
        if (track.session > 1 && held.isEmpty()) {
            *error = tr("where track %1 lies in the image is not known: a session before it has "
                        "no lead-out")
                         .arg(track.number);
            return {};
        }
        if (start < 0) {
            *error = tr("track %1 has no INDEX 01 with a time").arg(track.number);
            return {};
        }
        file.start = i == 0 ? 0 : imageByte(held, file.sheetStart);
        if (file.start < 0 || file.start > imageSize) {
            *error = tr("the image ends before track %1 starts").arg(track.number);
            return {};
        }
        if (!files.isEmpty()) {
            TrackFile &before = files.last();
            qint64 end = file.start;
            if (track.startsSession && track.leadOutBefore && !held.isEmpty())
                end = qMin(end, sessionEnd(held, *track.leadOutBefore));
            if (end < before.start) {
                *error = tr("track %1 starts before track %2").arg(track.number, before.number);
                return {};
            }
            before.size = end - before.start;
        }
        files.append(file);
    }
    if (!files.isEmpty())
        files.last().size = imageSize - files.last().start;
    // A cue sheet of one file per track cannot put an index outside its track's file.
    for (qsizetype i = 0; i < count; ++i) {
        for (const CueLine &line : sheet.tracks[i].indexes()) {
            const qint64 inFile = line.sectors - files[i].sheetStart;
            if (line.sectors >= 0 && (inFile < 0 || inFile * imageSectorSize > files[i].size)) {
                *error = tr("INDEX %1 of track %2 lies outside the track's file")
                             .arg(line.number, files[i].number);
                return {};
            }
        }
    }
    return files;
}

std::optional<Remark> imageEndRefusal(
    const CueSheet &sheet, const QList<HeldSectors> &held, qint64 imageSize)
{
    if (std::optional<Remark> partial = partialSectorFinding(imageSize))
        return partial;
    const qint64 sectors = imageSize / imageSectorSize;
    return beyondEndFinding(sheet.tracks, held.isEmpty() ? sectors : discSector(held, sectors));
}

CueSheet splitSheet(CueSheet sheet, const QList<TrackFile> &files, bool isCdi)
{
    sheet.fileName.clear();
    for (qsizetype i = 0; i < sheet.tracks.size() && i < files.size(); ++i) {
        CueTrack &track = sheet.tracks[i];
        track.fileName = files[i].name;
        for (CueLine &line : track.lines) {
            if (line.isIndex() && line.sectors >= 0)
                line.sectors -= files[i].sheetStart;
        }
        // The DATs' sheets of CD-i discs name every data track's mode so.
        if (isCdi && !track.mode.isEmpty() && track.mode != u"AUDIO")
            track.mode = QStringLiteral("CDI/2352");
    }
    return sheet;
}

bool trackFilesToWrite(const ConversionFiles &files, const QList<TrackFile> &tracks,
    int offsetSamples, const QString &cuePath, const QString &cueSheet, QList<FileToWrite> *written,
    std::shared_ptr<QFile> *image, QString *error, const Progress &progress)
{
    // Asked of the sheet, the last file, before any track's bytes are written.
    if (const QString refusal = cueSheetRefusal(cueSheet); !refusal.isEmpty()) {
        *error = tr("Cannot write %1:\n%2").arg(shownPath(cuePath), refusal);
        return false;
    }
    const auto opened = std::make_shared<QFile>();
    QString reason;
    if (!openRegularFile(*opened, files.image, &reason)) {
        *error = tr("Cannot read %1:\n%2").arg(shownPath(files.image), reason);
        return false;
    }
    *image = opened;
    const qint64 imageSize = opened->size();
    const QString folder =
        files.controlFile.left(fileNameStart(files.controlFile, files.separator));
    // The progress of the whole set, of which each file is a stretch.
    qint64 total = 0;
    for (const TrackFile &track : tracks)
        total += track.size;
    qint64 before = 0;
    for (const TrackFile &track : tracks) {
        const ByteStretch stretch = track.stretch(offsetSamples);
        Progress ofFile;
        if (progress)
            ofFile = [progress, before, total](
                         qint64 done, qint64) { return progress(before + done, total); };
        before += stretch.size;
        written->append({ folder + track.name, stretch.size,
            [opened, imageSize, stretch, ofFile](QFileDevice &file, QString *failure) {
                return copyStretch(*opened, imageSize, stretch, file, failure, ofFile);
            } });
    }
    // At most 4 bytes a character in any code page. The sheet ends as the
    // DATs' sheets do, in its last line's CR LF, with no empty line after it.
    written->append({ cuePath, cueSheet.size() * 4, exactSheetContent(cueSheet) });
    return true;
}

} // namespace morvant
