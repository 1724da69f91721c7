#include "fileSystem.h"

#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>

#include <windows.h>

namespace morvant {

int escapedByte(QStringView, qsizetype)
{
    // Windows names files in UTF-16: every name reaches the program whole.
    return -1;
}

// Qt's own encoder maps a character that the code page lacks to a look-alike
// ("Łódź" to "Lodz"), and a cue sheet would then name another file.
QByteArray toSystemBytes(QStringView text, bool *isExact)
{
    if (isExact)
        *isExact = true;
    if (text.isEmpty())
        return {};
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int length = int(text.size());
    // UTF-8 as the ANSI code page holds every character but a lone
    // surrogate, and takes neither flag nor default character.
    const UINT codePage = GetACP();
    const bool isUtf8 = codePage == CP_UTF8;
    const DWORD flags = isUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL *askDefault = isUtf8 ? nullptr : &usedDefault;
    const int size =
        WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, askDefault);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, flags, wide, length, bytes.data(), size, nullptr, askDefault);
    if (isExact)
        *isExact = isUtf8 ? fromSystemBytes(bytes) == text : !usedDefault;
    return bytes;
}

QString fromSystemBytes(QByteArrayView bytes)
{
    return QStringDecoder(QStringDecoder::System).decode(bytes);
}

QStringDecoder::Encoding systemTextEncoding()
{
    return QStringDecoder::System;
}

QString systemResolvedPath(const QString &path)
{
    const bool isDriveRelative = path.size() >= 2 && path[1] == u':' && path[0].isLetter()
        && (path.size() == 2 || (path[2] != u'\\' && path[2] != u'/'));
    const bool endsInDropped = path.endsWith(u'.') || path.endsWith(u' ');
    if (!isDriveRelative && !endsInDropped)
        return path;
    const auto *given = reinterpret_cast<const wchar_t *>(path.utf16());
    const DWORD size = GetFullPathNameW(given, 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(given, size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return QString::fromStdWString(full);
}

QString shortFileName(const QString &path)
{
    const auto *longPath = reinterpret_cast<const wchar_t *>(path.utf16());
    const DWORD size = GetShortPathNameW(longPath, nullptr, 0);
    if (size == 0)
        return {};
    std::wstring shortPath(size, L'\0');
    const DWORD length = GetShortPathNameW(longPath, shortPath.data(), size);
    if (length == 0 || length >= size)
        return {};
    shortPath.resize(length);
    const QString name = QFileInfo(QString::fromStdWString(shortPath)).fileName();
    // A volume that keeps no short names gives the long name back.
    return name == QFileInfo(path).fileName() ? QString() : name;
}

bool hasLostItsBytes(const QString &)
{
    return false;
}

std::optional<QString> fromMsJis(QByteArrayView bytes, QString *error)
{
    // Qt decodes Shift_JIS through ICU, which Windows builds lack; the
    // system's own code page 932 is MS-JIS.
    const int size = MultiByteToWideChar(
        932, MB_ERR_INVALID_CHARS, bytes.constData(), int(bytes.size()), nullptr, 0);
    if (size == 0 && !bytes.isEmpty()) {
        *error = tr("a text is not valid MS-JIS");
        return std::nullopt;
    }
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.constData(), int(bytes.size()),
        reinterpret_cast<wchar_t *>(text.data()), size);
    return text;
}

namespace {

// Why \a path, which Qt could not open, cannot be read when another program
// holds it open without letting others read it (an editor, a burning or
// mounting program): asked again with the sharing that Qt asks for, the
// system tells. Its own words ("Sharing violation.") name neither the file
// nor what to do.
std::optional<QString> heldReason(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()),
        GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD code = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return std::nullopt;
    }
    if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION)
        return std::nullopt;
    return tr("Another program has %1 open and lets no other read it; close it there, then "
              "try again.")
        .arg(shownPath(path));
}

} // namespace

bool openForReading(QFile &file, const QString &path, QString *error)
{
    // Windows refuses to open a folder with "Access denied", which sends the
    // user looking for permissions.
    if (QFileInfo(path).isDir()) {
        *error = tr("It is a folder, not a file.");
        return false;
    }
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    *error = heldReason(path).value_or(file.errorString());
    return false;
}

bool openRegularFile(QFile &file, const QString &path, QString *error)
{
    // A folder is the one thing besides a file that a name leads to here.
    if (const FileStatus status = fileStatus(path); status.exists && !status.isFile) {
        *error = notAFile(status);
        return false;
    }
    return openForReading(file, path, error);
}

FileStatus fileStatus(const QString &path)
{
    const QFileInfo info(path);
    FileStatus status;
    status.exists = info.exists();
    status.isFile = info.isFile();
    status.isFolder = info.isDir();
    status.size = info.size();
    if (status.exists && !status.isFile)
        status.kind = info.isDir() ? tr("a folder") : tr("a special file");
    return status;
}

} // namespace morvant
