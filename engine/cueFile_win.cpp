#include "cueFile.h"

#include "cueFile_p.h"
#include "discFiles.h"
#include "fileSystem.h"
#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <io.h>
#include <string>
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

// The system's own words; not qt_error_string(), which reads some Windows
// codes as C library ones (ERROR_INVALID_DATA, 13, as "Permission denied").
QString systemReason(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString reason = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed()
                                      : tr("Error %1").arg(code);
    LocalFree(text);
    return reason;
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

} // namespace

// Not QSaveFile: it takes the colon of a \\?\C:\ path for a stream's name, its
// temporary name is the .cue's plus seven characters, too long beside a name
// near the limit of 255, and its rename drops the replaced file's attributes.
bool writeFileAtomically(const QString &path, const WriteContent &content, QString *error)
{
    const QString target = systemPath(path);
    const QString folder = target.left(target.lastIndexOf(u'\\') + 1);
    const DWORD attributes = GetFileAttributesW(wide(target));
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = tr("Filename refers to a directory");
        return false;
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        *error = tr("Existing file %1 is read-only").arg(shownPath(path));
        return false;
    }
    // A program that holds the .cue open without letting it be removed (a
    // player, an editor) would make the replacement fail only after the
    // writing: asked first, nothing is written in vain.
    if (exists) {
        const HANDLE earlier = CreateFileW(wide(target), DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
            nullptr);
        if (earlier == INVALID_HANDLE_VALUE) {
            *error = replaceReason(GetLastError());
            return false;
        }
        CloseHandle(earlier);
    }

    TemporaryFile temporary(folder);
    if (temporary.handle == INVALID_HANDLE_VALUE) {
        *error = systemReason(temporary.errorCode);
        return false;
    }
    {
        QFile file;
        if (!temporary.openIn(file)) {
            *error = systemReason(GetLastError());
            return false;
        }
        if (!content(file, error))
            return false;
        const HANDLE written = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
        if (!FlushFileBuffers(written) || !TemporaryFile::keep(written)) {
            *error = systemReason(GetLastError());
            return false;
        }
    }

    // ReplaceFileW keeps the replaced file's security, its attributes and its
    // creation time; a new file takes what the folder gives it.
    const bool replaced = exists
        ? ReplaceFileW(wide(target), wide(temporary.path), nullptr,
            REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)
        : MoveFileExW(wide(temporary.path), wide(target), MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        *error = replaceReason(GetLastError());
        return false;
    }
    temporary.isKept = true;
    // Said again for the systems whose replacing forgets them (hidden, system).
    if (exists)
        SetFileAttributesW(wide(target), attributes);
    return true;
}

bool writeBeside(
    const QString &inputPath, const QString &path, const WriteContent &content, QString *error)
{
    const QFileInfo cue(path);
    CueTarget target;
    target.isControlFile = sameFile(inputPath, path);
    target.isImage = sameFile(imagePathOf(path), path);
    target.isLink = cue.isSymbolicLink();
    target.leadsSomewhere = cue.exists();
    if (target.isLink)
        target.linkTarget = cue.symLinkTarget();
    target.otherName = otherLongName(path);
    *error = writeRefusal(target);
    return error->isEmpty() && writeFileAtomically(path, content, error);
}

} // namespace morvant
