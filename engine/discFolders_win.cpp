#include "discFolders_p.h"
#include "systemReason_win.h"

#include "translation.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace morvant {

namespace {

// A path of MAX_PATH characters or more reaches the system only in the form
// that starts with \\?\ and is a full path without "." or "..": folders
// nest deeper than that in archives.
QString systemPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (native.size() < MAX_PATH - 12 || native.startsWith(QStringLiteral("\\\\?\\")))
        return native;
    const QString full =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    return full.startsWith(QStringLiteral("\\\\")) ? QStringLiteral("\\\\?\\UNC\\") + full.mid(2)
                                                   : QStringLiteral("\\\\?\\") + full;
}

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

} // namespace

bool fileId(const QString &path, FileId *id, QString *error)
{
    // A folder opens only with backup semantics (a file opens with them too);
    // a junction or a link is followed to what it leads to.
    const HANDLE handle = CreateFileW(wide(systemPath(path)), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = systemReason(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION about = {};
    const bool isKnown = GetFileInformationByHandle(handle, &about);
    const DWORD code = GetLastError();
    CloseHandle(handle);
    if (!isKnown) {
        *error = systemReason(code);
        return false;
    }
    *id = { about.dwVolumeSerialNumber,
        (quint64(about.nFileIndexHigh) << 32) | quint64(about.nFileIndexLow) };
    return true;
}

bool readFolder(const QString &path, QList<FolderEntry> *entries, QString *error)
{
    QString pattern = systemPath(path);
    if (!pattern.endsWith(u'\\'))
        pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileExW(wide(pattern), FindExInfoBasic, &found,
        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // An empty folder has "." at least; a drive's root has nothing at all.
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES)
            return true;
        *error = systemReason(code);
        return false;
    }
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        if (name == u"." || name == u"..")
            continue;
        const DWORD attributes = found.dwFileAttributes;
        FolderEntry entry;
        entry.name = name;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // The recycle bin and System Volume Information hold no discs of
            // the user's, and the latter cannot be read but by the system.
            const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            if ((attributes & hiddenSystem) == hiddenSystem)
                continue;
            entry.kind = FolderEntry::Folder;
            entry.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        } else if (isControlFileName(name)) {
            entry.kind = FolderEntry::ControlFile;
        } else {
            continue;
        }
        entries->append(entry);
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        *error = systemReason(code);
        return false;
    }
    return true;
}

} // namespace morvant
