#include "cueFile.h"

#include "cueFile_p.h"
#include "fileSystem.h"
#include "systemReason_win.h"
#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace morvant {

namespace {

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.exists() || !infoB.exists())
        return false;
    // Compared on disk by the volume and the file's index, not as text: a hard
    // link, a short 8.3 name or another letter case still names the same file.
    const auto fileId = [](const QString &path, BY_HANDLE_FILE_INFORMATION *information) {
        const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
            FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        const bool known = GetFileInformationByHandle(handle, information);
        CloseHandle(handle);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION idA = {};
    BY_HANDLE_FILE_INFORMATION idB = {};
    if (fileId(a, &idA) && fileId(b, &idB))
        return idA.dwVolumeSerialNumber == idB.dwVolumeSerialNumber
            && idA.nFileIndexHigh == idB.nFileIndexHigh && idA.nFileIndexLow == idB.nFileIndexLow;
    return infoA.canonicalFilePath().compare(infoB.canonicalFilePath(), Qt::CaseInsensitive) == 0;
}

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// The reason of a failed replacement, as the user can act on it.
QString replaceReason(DWORD code)
{
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
        || code == ERROR_USER_MAPPED_FILE || code == ERROR_UNABLE_TO_REMOVE_REPLACED)
        return tr("Another program is using the file; close it there, then try again.\n%1")
            .arg(systemReason(code));
    return systemReason(code);
}

// The path as the system's wide functions take it whatever its length: whole,
// with backslashes, and with the \\?\ prefix that lifts the limit of 260
// characters (a temporary name beside a long .cue may pass it).
QString systemPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\?\\")) || native.startsWith(QLatin1String("\\\\.\\")))
        return native;
    const DWORD size = GetFullPathNameW(wide(native), 0, nullptr, nullptr);
    if (size == 0)
        return native;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide(native), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return native;
    full.resize(length);
    const QString absolute = QString::fromStdWString(full);
    if (absolute.startsWith(QLatin1String("\\\\")))
        return QStringLiteral("\\\\?\\UNC\\") + absolute.mid(2);
    return QStringLiteral("\\\\?\\") + absolute;
}

/// A new file with a short name of its own in a folder, removed unless kept.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString &folder)
    {
        // Short, so that it fits wherever the .cue's own name fits.
        for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
            path = folder
                + QStringLiteral("~mv%1.tmp")
                      .arg(QRandomGenerator::global()->bounded(0x100000), 5, 16, QLatin1Char('0'));
            handle = CreateFileW(wide(path), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                FILE_ATTRIBUTE_NORMAL, nullptr);
            errorCode = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (errorCode != ERROR_FILE_EXISTS && errorCode != ERROR_ALREADY_EXISTS)
                break;
        }
        // Removed by the system when its last handle closes, so that a
        // program ended while it writes (End task) leaves nothing behind;
        // kept() takes that back once the content is whole.
        if (handle != INVALID_HANDLE_VALUE)
            setDeletion(handle, true);
    }
    ~TemporaryFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        if (!isKept)
            DeleteFileW(wide(path));
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    /// Hands the handle over to \a file, which closes it.
    bool openIn(QFile &file)
    {
        const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (descriptor < 0)
            return false;
        handle = INVALID_HANDLE_VALUE;
        if (file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                QFileDevice::AutoCloseHandle))
            return true;
        _close(descriptor);
        return false;
    }

    /// Keeps the file, open through \a written, beyond its handle's closing;
    /// false with the system's error when it cannot.
    static bool keep(HANDLE written) { return setDeletion(written, false); }

    QString path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD errorCode = 0;
    bool isKept = false;

private:
    static bool setDeletion(HANDLE file, bool isDeleted)
    {
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = isDeleted ? TRUE : FALSE;
        return SetFileInformationByHandle(
            file, FileDispositionInfo, &disposition, sizeof(disposition));
    }
};

// The long name of the existing file that \a path leads to, where that is
// another name than the one \a path gives: "Final Fantasy VII.cue" for
// FINA~FCN.cue. Empty when it is the same name, in any letter case.
QString otherLongName(const QString &path)
{
    const QString target = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const DWORD size = GetLongPathNameW(wide(target), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring longPath(size, L'\0');
    const DWORD length = GetLongPathNameW(wide(target), longPath.data(), size);
    if (length == 0 || length >= size)
        return {};
    longPath.resize(length);
    const QString longName = QFileInfo(QString::fromStdWString(longPath)).fileName();
    return longName.compare(QFileInfo(path).fileName(), Qt::CaseInsensitive) == 0 ? QString()
                                                                                  : longName;
}

// Holds off the console's Ctrl+C, Ctrl+Break and closing while a set's files
// are renamed into place, so that they are renamed all or (before the first)
// none. The system calls the handler on a thread of its own; it waits for the
// renames, then hands the event on, to the default handler that ends the
// program. Closing the console allows a handler some seconds, far more than
// the renames take.
std::atomic<bool> isRenaming{ false };

BOOL WINAPI waitForRenames(DWORD)
{
    while (isRenaming.load())
        Sleep(1);
    return FALSE;
}

class InterruptionsHeld
{
public:
    InterruptionsHeld()
    {
        isRenaming.store(true);
        SetConsoleCtrlHandler(waitForRenames, TRUE);
    }
    ~InterruptionsHeld()
    {
        isRenaming.store(false);
        SetConsoleCtrlHandler(waitForRenames, FALSE);
    }
    InterruptionsHeld(const InterruptionsHeld &) = delete;
    InterruptionsHeld &operator=(const InterruptionsHeld &) = delete;
};

// Asked before the writing and again before the renames: a program that holds
// the file open without letting it be removed (a player, an editor) would
// make the replacement fail only after the writing; asked first, nothing is
// written in vain, and asked again, the renames are not stopped halfway.
bool mayReplace(const QString &target, QString *error)
{
    const HANDLE earlier = CreateFileW(wide(target), DELETE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (earlier == INVALID_HANDLE_VALUE) {
        *error = replaceReason(GetLastError());
        return false;
    }
    CloseHandle(earlier);
    return true;
}

// One file of a set on its way: its full path, what stands there, and its
// temporary file once the writing starts.
struct PendingFile
{
    explicit PendingFile(const QString &path) : path(path), target(systemPath(path)) { }

    /// Why the file cannot be written at all, asked before anything is: its
    /// name is a folder's, or the file there may not be replaced.
    QString whyNot()
    {
        attributes = GetFileAttributesW(wide(target));
        exists = attributes != INVALID_FILE_ATTRIBUTES;
        if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return tr("Filename refers to a directory");
        if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
            return tr("Existing file %1 is read-only").arg(shownPath(path));
        QString error;
        if (exists && !mayReplace(target, &error))
            return error;
        return {};
    }

    /// Whether this file and \a other are one, by any name.
    bool isSameAs(const PendingFile &other) const
    {
        return target.compare(other.target, Qt::CaseInsensitive) == 0 || sameFile(path, other.path);
    }

    /// Makes its temporary file, removed when its handle closes, and opens
    /// it; false with the reason in \a error.
    bool create(QString *error)
    {
        temporary.emplace(target.left(target.lastIndexOf(u'\\') + 1));
        if (temporary->handle == INVALID_HANDLE_VALUE) {
            *error = systemReason(temporary->errorCode);
            return false;
        }
        if (!temporary->openIn(file)) {
            *error = systemReason(GetLastError());
            return false;
        }
        return true;
    }

    /// Writes \a content into its temporary file, flushed to the disk and
    /// still removed when its handle closes; false with the reason in \a error.
    bool write(const WriteContent &content, QString *error)
    {
        if (!content(file, error))
            return false;
        if (!FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())))) {
            *error = systemReason(GetLastError());
            return false;
        }
        return true;
    }

    /// Keeps the complete temporary file beyond its handle, and closes it;
    /// false with the reason in \a error.
    bool keep(QString *error)
    {
        if (!TemporaryFile::keep(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())))) {
            *error = systemReason(GetLastError());
            return false;
        }
        file.close();
        return true;
    }

    /// Puts the kept temporary file in place of the file; false with the
    /// reason in \a error.
    bool replace(QString *error)
    {
        // ReplaceFileW keeps the replaced file's security, its attributes and its
        // creation time; a new file takes what the folder gives it.
        const bool replaced = exists
            ? ReplaceFileW(wide(target), wide(temporary->path), nullptr,
                REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)
            : MoveFileExW(wide(temporary->path), wide(target), MOVEFILE_WRITE_THROUGH);
        if (!replaced) {
            *error = replaceReason(GetLastError());
            return false;
        }
        temporary->isKept = true;
        // Said again for the systems whose replacing forgets them (hidden, system),
        // and for the file that took the place of one taken away first.
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(wide(target), attributes);
        return true;
    }

    /// Takes the earlier file away, which the set's last file replaces after
    /// the others; false with the reason in \a error.
    bool takeAway(QString *error)
    {
        if (!exists)
            return true;
        if (!DeleteFileW(wide(target))) {
            *error = replaceReason(GetLastError());
            return false;
        }
        exists = false;
        return true;
    }

    QString path;
    QString target; ///< the path as the system's wide functions take it
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    bool exists = false;
    // The file is closed before its temporary goes, which removes it unless kept.
    std::optional<TemporaryFile> temporary;
    QFile file;
};

WriteTarget writeTarget(const BesideControlFile &beside, const QString &path)
{
    const QFileInfo file(path);
    WriteTarget target;
    target.isControlFile = sameFile(beside.controlFile, path);
    for (const KeptFile &kept : beside.kept) {
        if (sameFile(kept.path, path)) {
            target.keptRefusal = kept.refusal;
            break;
        }
    }
    target.isLink = file.isSymbolicLink();
    target.leadsSomewhere = file.exists();
    if (target.isLink)
        target.linkTarget = file.symLinkTarget();
    target.otherName = otherLongName(path);
    return target;
}

} // namespace

// Not QSaveFile: it takes the colon of a \\?\C:\ path for a stream's name, its
// temporary name is the file's plus seven characters, too long beside a name
// near the limit of 255, its rename drops the replaced file's attributes, and
// it cannot hold a set back until every file of it is written.
bool writeFileSet(const BesideControlFile *beside, const QList<FileToWrite> &files,
    SetFailure *failure, Leftovers *)
{
    std::vector<std::unique_ptr<PendingFile>> pending;
    const auto refusal = [beside](const PendingFile &file) {
        if (beside == nullptr)
            return QString();
        // As a program without long paths would be given it: without \\?\ (or
        // \\?\UNC\ for \\), whose limit of MAX_PATH counts the closing null.
        const QString &target = file.target;
        const qsizetype length = target.startsWith(QLatin1String("\\\\?\\UNC\\"))
            ? target.size() - 6
            : target.startsWith(QLatin1String("\\\\?\\")) ? target.size() - 4
                                                          : target.size();
        if (beside->isForShortPaths && length >= MAX_PATH)
            return pathLengthRefusal(length, MAX_PATH - 1);
        return writeRefusal(writeTarget(*beside, file.path));
    };
    // The temporary files go when their handles close, End task included,
    // until just before they are put in place: nothing to look for.
    const auto prepare = [](SetFailure *) { return true; };
    if (!writePendingFiles(files, refusal, prepare, pending, failure))
        return false;
    const InterruptionsHeld held;
    // Failing here, the kept temporary files are removed before the held
    // interruption may end the program.
    const auto failAt = [&](qsizetype i) {
        failure->file = i;
        pending.clear();
        return false;
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        const PendingFile &file = *pending[std::size_t(i)];
        if (file.exists && !mayReplace(file.target, &failure->reason))
            return failAt(i);
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!pending[std::size_t(i)]->keep(&failure->reason))
            return failAt(i);
    }
    // The last file names the others (the cue sheet of the tracks' files):
    // its earlier file goes before any is replaced and it comes last, so
    // that a set ended on the way has no file that names it whole.
    bool isLastTakenAway = false;
    if (files.size() > 1) {
        if (beforeSetStepForTests != nullptr)
            beforeSetStepForTests(-1);
        PendingFile &last = *pending.back();
        isLastTakenAway = last.exists;
        if (!last.takeAway(&failure->reason))
            return failAt(files.size() - 1);
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (beforeSetStepForTests != nullptr)
            beforeSetStepForTests(i);
        if (!pending[std::size_t(i)]->replace(&failure->reason)) {
            if (i > 0 || isLastTakenAway)
                failure->reason += u'\n' + partlyReplacedText();
            return failAt(i);
        }
    }
    return true;
}

} // namespace morvant
