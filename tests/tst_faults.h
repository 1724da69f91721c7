#pragma once

// The file-system faults that the process tests (tst_faults) and the window
// tests (tst_windowFaults) provoke, and the fixture that sets each one up in a
// folder of its own.

#include "controlFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QString>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faults {

// Spaces, double quotes, a non-ASCII letter and a character outside the BMP,
// so that every message is also checked to name such a path correctly.
inline const QString baseName = QStringLiteral("Dïsc \"one\" \U0001F4BF");
inline const QString inputName = baseName + QStringLiteral(".ccd");
inline const QString cueName = baseName + QStringLiteral(".cue");
inline const QByteArray earlierCue = "FILE \"earlier.img\" BINARY\r\n  TRACK 01 AUDIO\r\n\r\n";
inline const QByteArray header = controlFile({});

inline constexpr uid_t nobody = 65534;
/// The file size limit of FileSizeLimit: less than the large cue sheet.
inline constexpr long long fileSizeLimit = 16384;

enum Fault {
    FolderNotWritable,
    ReadOnlyCue,
    CueNameIsAFolder,
    DiskFull,
    FileSizeLimit,
    CueLinksToInput,
    CueLinksToImage,
    CueIsHardLinkToImage,
    CueIsDanglingLink,
    CueLinksToOtherFile,
    InputIsAFolder,
    InputIsADanglingLink,
    InputUnreadable,
    InputMissing,
};

/// Whether the fault binds only below root: the program must run unprivileged.
inline bool needsUnprivileged(Fault fault)
{
    return fault == FolderNotWritable || fault == ReadOnlyCue || fault == InputUnreadable;
}

/// Whether the fault is met on reading the control file, else on writing the .cue.
inline bool isReadFault(Fault fault)
{
    return fault >= InputIsAFolder;
}

inline bool isRoot()
{
    return ::geteuid() == 0;
}

// A control file whose cue sheet is about 63 KB, larger than the room the
// disk-full cases leave.
inline QByteArray largeControlFile()
{
    QByteArray bytes = header;
    for (int track = 0; track < 1365; ++track)
        bytes += "[TRACK 1]\r\nMODE=1\r\nINDEX 1=0\r\n";
    return bytes;
}

/** Makes the folder "work" in the temporary folder \a parent for the control
    file of one fault, and returns its path, or an empty text on a failure. A
    temporary folder is open to its owner alone; the unprivileged runs must
    reach the work folder. */
inline QString makeWorkFolder(const QString &parent)
{
    const QString work = parent + QStringLiteral("/work");
    const bool made =
        ::chmod(QFile::encodeName(parent).constData(), 0755) == 0 && QDir().mkdir(work);
    return made ? work : QString();
}

/// Every name under \a folder, hidden ones included, with what each holds.
inline QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        entries.insert(QDir(folder).relativeFilePath(path),
            info.isSymLink()   ? "link to " + info.symLinkTarget().toUtf8()
                : info.isDir() ? QByteArray("folder")
                               : readFile(path));
    }
    return entries;
}

/** The system's words for the fault, or the program's for a refusal, as the
    message gives them after the path; \a work is the folder as the program
    sees it. */
inline QString reasonOf(Fault fault, const QString &cuePath, const QString &work)
{
    switch (fault) {
    case FolderNotWritable:
    case InputUnreadable:
        return QStringLiteral("Permission denied");
    case ReadOnlyCue:
        return QStringLiteral("Existing file ") + cuePath + QStringLiteral(" is not writable");
    case CueNameIsAFolder:
        return QStringLiteral("Filename refers to a directory");
    case DiskFull:
        return QStringLiteral("No space left on device");
    case FileSizeLimit:
        return QStringLiteral("File too large");
    case InputIsAFolder:
        return QStringLiteral("Is a directory");
    case InputIsADanglingLink:
    case InputMissing:
        return QStringLiteral("No such file or directory");
    case CueLinksToInput:
        return QStringLiteral("It is the control file itself, which is never overwritten.");
    case CueLinksToImage:
    case CueIsHardLinkToImage:
        return QStringLiteral(
            "It is the disc image that the cue sheet names, which is never overwritten.");
    case CueIsDanglingLink:
        return QStringLiteral("It is a link to ") + work
            + QStringLiteral("/gone.cue, which does not exist; no file is created through a "
                             "dangling link.");
    case CueLinksToOtherFile:
        return QStringLiteral("It is a link to ") + work
            + QStringLiteral("/other.cue; a link is left alone, and so is the file it leads to. "
                             "Remove the link to write the file here.");
    }
    return {};
}

/** Sets \a fault up in the empty folder \a work: the control file inputName,
    an earlier .cue (unless the fault takes its name), and what makes the
    conversion fail. A small tmpfs is mounted on \a work for DiskFull, which
    \a mountPoint then names. Files that the fault needs unprivileged are
    handed to nobody when run as root. Returns an empty text, or why the fault
    cannot be set up here (the caller skips), or "failed: ..." on an error. */
inline QString prepare(Fault fault, const QString &work, QString *mountPoint)
{
    const auto path = [&work](
                          const QString &name) { return QFile::encodeName(work + u'/' + name); };
    if (fault == DiskFull) {
        // 96 KiB hold the control file (40 KB) and the earlier .cue, but not
        // the new cue sheet (63 KB).
        if (!isRoot()
            || ::mount("tmpfs", QFile::encodeName(work).constData(), "tmpfs", 0, "size=96k") != 0)
            return QStringLiteral("mounting a small tmpfs needs root; the file size limit "
                                  "stands in for a full disk");
        *mountPoint = work;
    }

    const QString input = work + u'/' + inputName;
    bool ready = true;
    switch (fault) {
    case InputIsAFolder:
        ready = QDir().mkdir(input);
        break;
    case InputIsADanglingLink:
        ready = QFile::link(QStringLiteral("gone.ccd"), input);
        break;
    case InputMissing:
        break;
    default:
        ready = writeFile(input,
            fault == DiskFull || fault == FileSizeLimit
                ? largeControlFile()
                : header + "[TRACK 1]\r\nMODE=0\r\nINDEX 1=0\r\n");
    }
    const QString cue = work + u'/' + cueName;
    const QString image = work + u'/' + baseName + QStringLiteral(".img");
    ready = ready && writeFile(image, "the disc image");
    switch (fault) {
    case CueNameIsAFolder:
        ready = ready && QDir().mkdir(cue);
        break;
    case CueLinksToInput:
        ready = ready && QFile::link(inputName, cue);
        break;
    case CueLinksToImage:
        ready = ready && QFile::link(baseName + QStringLiteral(".img"), cue);
        break;
    case CueIsHardLinkToImage:
        ready = ready && ::link(QFile::encodeName(image), QFile::encodeName(cue)) == 0;
        break;
    case CueIsDanglingLink:
        ready = ready && QFile::link(QStringLiteral("gone.cue"), cue);
        break;
    case CueLinksToOtherFile:
        ready = ready && writeFile(work + QStringLiteral("/other.cue"), earlierCue)
            && QFile::link(QStringLiteral("other.cue"), cue);
        break;
    default:
        ready = ready && writeFile(cue, earlierCue);
    }
    if (!ready)
        return QStringLiteral("failed: cannot set up the folder");

    if (needsUnprivileged(fault) && isRoot()) {
        // The user owns the files, as a user would; the permissions alone refuse.
        QDirIterator it(work, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            if (::lchown(QFile::encodeName(it.next()).constData(), nobody, nobody) != 0)
                return QStringLiteral("failed: chown");
        }
        if (::chown(QFile::encodeName(work).constData(), nobody, nobody) != 0)
            return QStringLiteral("failed: chown");
    }
    if ((fault == FolderNotWritable && ::chmod(QFile::encodeName(work).constData(), 0555) != 0)
        || (fault == ReadOnlyCue && ::chmod(path(cueName).constData(), 0444) != 0)
        || (fault == InputUnreadable && ::chmod(path(inputName).constData(), 0) != 0))
        return QStringLiteral("failed: chmod");
    return {};
}

/// Undoes prepare(): unmounts and makes everything under \a folder removable.
inline void release(const QString &folder, QString *mountPoint)
{
    if (!mountPoint->isEmpty()) {
        ::umount2(QFile::encodeName(*mountPoint).constData(), MNT_DETACH);
        mountPoint->clear();
    }
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        if (!it.fileInfo().isSymLink())
            ::chmod(QFile::encodeName(entry).constData(), 0755);
    }
}

} // namespace faults
