#include "cueFile.h"

#include "cueFile_p.h"

#include <QFileInfo>
#include <QSaveFile>

#include <windows.h>

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
} // namespace

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
    // QSaveFile writes beside the .cue and renames over it. Unbuffered: a
    // failed write gives its own reason ("No space left on device") at once;
    // behind the buffer it came out at commit as "Unknown error".
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeText(file, text)
        && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

bool writeBeside(
    const QString &inputPath, const QString &cuePath, const QString &text, QString *error)
{
    const QFileInfo cue(cuePath);
    CueTarget target;
    target.isControlFile = sameFile(inputPath, cuePath);
    target.isImage = sameFile(imagePathOf(cuePath), cuePath);
    target.isLink = cue.isSymbolicLink();
    target.leadsSomewhere = cue.exists();
    if (target.isLink)
        target.linkTarget = cue.symLinkTarget();
    *error = writeRefusal(target);
    return error->isEmpty() && writeCueFile(cuePath, text, error);
}
