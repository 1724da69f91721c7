#include "cueFile.h"

#include "cueFile_p.h"
#include "discFiles.h"
#include "fileSystem.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace morvant {

WriteContent cueSheetContent(const QString &text)
{
    return [text](QFileDevice &file, QString *error) { return writeText(file, text, error); };
}

WriteContent exactSheetContent(const QString &text)
{
    return
        [text](QFileDevice &file, QString *error) { return writeText(file, text, error, false); };
}

namespace {

// A short write is not a failure yet: the system tells why only when the rest
// is refused, as it is on a full disk. So the rest is tried again.
bool writeAll(QFileDevice &file, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 wrote = file.write(bytes.data(), bytes.size());
        if (wrote <= 0)
            return false;
        bytes = bytes.sliced(wrote);
    }
    return true;
}

} // namespace

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
    return writeFileAtomically(path, cueSheetContent(text), error);
}

namespace {

QString cannotWriteText(const QString &path, const QString &reason)
{
    return tr("Cannot write %1:\n%2").arg(shownPath(path), reason);
}

// One file is a set of one: its reason alone, which the caller puts after its path.
bool writeOne(const BesideControlFile *beside, const QString &path, const WriteContent &content,
    QString *error)
{
    SetFailure failure;
    if (writeFileSet(beside, { FileToWrite{ path, 0, content } }, &failure))
        return true;
    *error = failure.reason;
    return false;
}

bool saveBeside(const QString &inputPath, const QString &path, const WriteContent &content,
    const ShowMessage &showMessage)
{
    QString error;
    if (writeBeside(inputPath, path, content, &error))
        return true;
    showMessage(cannotWriteText(path, error), fileErrorTitle());
    return false;
}

} // namespace

bool writeFileAtomically(const QString &path, const WriteContent &content, QString *error)
{
    return writeOne(nullptr, path, content, error);
}

bool writeBeside(
    const QString &inputPath, const QString &path, const WriteContent &content, QString *error)
{
    const BesideControlFile beside{ inputPath,
        { { imagePathOf(path),
            tr("It is the disc image that the cue sheet names, which is never overwritten.") } } };
    return writeOne(&beside, path, content, error);
}

namespace {

QString shownPaths(const QStringList &paths)
{
    QStringList shown;
    for (const QString &path : paths)
        shown.append(shownPath(path));
    return shown.join(QStringLiteral(", "));
}

} // namespace

bool writeFilesBeside(const QString &inputPath, const QStringList &keptPaths,
    const QList<FileToWrite> &files, QString *error, QStringList *notes)
{
    BesideControlFile beside{ inputPath, {}, true };
    for (const QString &kept : keptPaths)
        beside.kept.append({ kept,
            tr("It is %1, one of the disc's own files, which is never overwritten.")
                .arg(shownPath(kept)) });
    SetFailure failure;
    Leftovers leftovers;
    const bool isWritten = writeFileSet(&beside, files, &failure, &leftovers);
    if (notes != nullptr && !leftovers.removed.isEmpty())
        notes->append(tr("removed what a writing of files here that was ended on the way left "
                         "behind: %1.")
                          .arg(shownPaths(leftovers.removed)));
    if (notes != nullptr && !leftovers.unknown.isEmpty())
        notes->append(tr("files named as MORVANT names its temporary files, which cannot be "
                         "told to be left by a writing that has ended, are left as they are: "
                         "%1. Remove them if no MORVANT is writing there.")
                          .arg(shownPaths(leftovers.unknown)));
    if (isWritten)
        return true;
    *error = cannotWriteText(files.value(failure.file).path, failure.reason);
    return false;
}

bool saveFilesBeside(const QString &inputPath, const QStringList &keptPaths,
    const QList<FileToWrite> &files, const ShowMessage &showMessage,
    const std::function<void(const QString &)> &showWarning)
{
    QString error;
    QStringList notes;
    const bool isWritten = writeFilesBeside(inputPath, keptPaths, files, &error, &notes);
    if (showWarning) {
        for (const QString &note : notes)
            showWarning(note);
    }
    if (isWritten)
        return true;
    showMessage(error, fileErrorTitle());
    return false;
}

QString cueSheetRefusal(const QString &text)
{
    return fitsSystemBytes(text) ? QString() : notInCodePageText();
}

bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage)
{
    return saveBeside(inputPath, cuePath, cueSheetContent(text), showMessage);
}

WriteContent bytesContent(const QByteArray &bytes)
{
    return [bytes](QFileDevice &file, QString *error) {
        if (writeAll(file, bytes))
            return true;
        *error = file.errorString();
        return false;
    };
}

bool saveSbiFile(const QString &inputPath, const QString &sbiPath, const QByteArray &bytes,
    const ShowMessage &showMessage)
{
    return saveBeside(inputPath, sbiPath, bytesContent(bytes), showMessage);
}

bool saveFileBeside(
    const QString &inputPath, const FileToWrite &file, const ShowMessage &showMessage)
{
    return saveBeside(inputPath, file.path, file.content, showMessage);
}

// The file written would otherwise be wherever a link leads: the saving
// would replace whatever it points to, or create a file through a dangling one.
QString writeRefusal(const WriteTarget &cue)
{
    if (cue.isControlFile)
        return tr("It is the control file itself, which is never overwritten.");
    if (!cue.keptRefusal.isEmpty())
        return cue.keptRefusal;
    if (!cue.otherName.isEmpty())
        return tr("It is the short name of %1, another file, which is left alone. Rename the "
                  "control file so that its cue sheet gets a name of its own.")
            .arg(shownPath(cue.otherName));
    if (!cue.isLink)
        return {};
    const QString target = shownPath(cue.linkTarget);
    if (!cue.leadsSomewhere)
        return tr("It is a link to %1, which does not exist; no file is created through a "
                  "dangling link.")
            .arg(target);
    return tr("It is a link to %1; a link is left alone, and so is the file it leads to. "
              "Remove the link to write the file here.")
        .arg(target);
}

QString sameFileRefusal(const QString &other)
{
    return tr("It is the same file as %1, which is written too; each file needs a name of its "
              "own.")
        .arg(shownPath(other));
}

QString partlyReplacedText()
{
    return tr("The files before it were already put in place; it and the files after it were "
              "not, and the earlier file of the last one, which names the others, was taken "
              "away first, so that no file names a set that is not whole.");
}

void (*beforeSetStepForTests)(qsizetype file) = nullptr;

QString pathLengthRefusal(qsizetype size, qsizetype most)
{
    return tr("Its path is %1 characters long, and programs that do not read long paths open "
              "none longer than %2; nothing is written. Move the control file to a folder with "
              "a shorter path, or give it a shorter name.")
        .arg(size)
        .arg(most);
}

QString nameLengthRefusal(qsizetype size, qsizetype most)
{
    return tr("File name too long: the folder's file system takes names of at most %1 bytes, "
              "and this one has %2; nothing is written. Give the control file a shorter name.")
        .arg(most)
        .arg(size);
}

QString tooManyFilesRefusal()
{
    return tr("More than %1 files are never written at once.").arg(maxFilesAtOnce);
}

// Asked before anything is written: a disk that fills up halfway through a
// disc's tracks would cost the time of writing them all for nothing.
QString roomRefusal(const QList<FileToWrite> &files, qsizetype *file)
{
    struct Disk
    {
        QStorageInfo storage;
        qsizetype firstFile = 0;
        qint64 needed = 0;
    };
    QList<Disk> disks;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (files[i].size <= 0)
            continue;
        const QStorageInfo storage(QFileInfo(files[i].path).absolutePath());
        // Where the system cannot tell, the writing tells with its own reason.
        if (!storage.isValid() || storage.bytesAvailable() < 0)
            continue;
        auto disk = std::find_if(disks.begin(), disks.end(),
            [&storage](const Disk &known) { return known.storage == storage; });
        if (disk == disks.end())
            disk = disks.insert(disks.end(), { storage, i, 0 });
        disk->needed += files[i].size;
    }
    constexpr qint64 megabyte = 1000 * 1000;
    for (const Disk &disk : disks) {
        const qint64 available = disk.storage.bytesAvailable();
        if (disk.needed <= available)
            continue;
        *file = disk.firstFile;
        // Rounded apart, so that what is needed never reads as what is free.
        return tr("There is not room for the files: they need %1 MB, and %2 MB are free; "
                  "nothing is written.")
            .arg((disk.needed + megabyte - 1) / megabyte)
            .arg(available / megabyte);
    }
    return {};
}

// Encoded a piece at a time, so that a large cue sheet is not held twice in
// memory; a piece never ends between the two halves of a surrogate pair.
bool writeText(QFileDevice &file, const QString &text, QString *error, bool isLineEndAdded)
{
    constexpr qsizetype pieceSize = 64 * 1024;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype size = qMin(pieceSize, text.size() - at);
        if (at + size < text.size() && text[at + size - 1].isHighSurrogate())
            ++size;
        bool isExact = false;
        const QByteArray bytes = toSystemBytes(QStringView(text).mid(at, size), &isExact);
        if (!isExact) {
            *error = notInCodePageText();
            return false;
        }
        if (!writeAll(file, bytes)) {
            *error = file.errorString();
            return false;
        }
        at += size;
    }
    if (!isLineEndAdded || writeAll(file, "\r\n"))
        return true;
    *error = file.errorString();
    return false;
}

QString notInCodePageText()
{
    return tr("The cue sheet holds characters that the system's code page cannot hold; "
              "nothing is written, so that none of them is lost.");
}

} // namespace morvant
