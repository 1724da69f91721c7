#include "fileSystem.h"

#include "translation.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvant {

namespace {

// How many bytes from the start of \a bytes form one valid UTF-8 character;
// 0 when they do not. Encoded surrogates and overlong forms are not valid,
// so that no text decoded here holds an escape that was not a lone byte.
qsizetype utf8Length(QByteArrayView bytes)
{
    const auto byte = [&bytes](qsizetype at) { return static_cast<uchar>(bytes[at]); };
    const uchar lead = byte(0);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80; // the range of the second byte, which rules out the invalid forms
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (qsizetype at = 2; at < length; ++at) {
        if (byte(at) < 0x80 || byte(at) > 0xBF)
            return 0;
    }
    return length;
}

bool isSurrogatePairAt(QStringView text, qsizetype at)
{
    if (text[at].isHighSurrogate())
        return at + 1 < text.size() && text[at + 1].isLowSurrogate();
    return at > 0 && text[at - 1].isHighSurrogate();
}

FileStatus statusOf(const struct stat &about)
{
    FileStatus status;
    status.exists = true;
    status.isFile = S_ISREG(about.st_mode);
    status.isFolder = S_ISDIR(about.st_mode);
    status.size = about.st_size;
    if (S_ISDIR(about.st_mode))
        status.kind = tr("a folder");
    else if (S_ISFIFO(about.st_mode))
        status.kind = tr("a FIFO");
    else if (S_ISCHR(about.st_mode) || S_ISBLK(about.st_mode))
        status.kind = tr("a device");
    else if (S_ISSOCK(about.st_mode))
        status.kind = tr("a socket");
    else if (!status.isFile)
        status.kind = tr("a special file");
    return status;
}

} // namespace

int escapedByte(QStringView text, qsizetype at)
{
    const char16_t c = text[at].unicode();
    if (c < 0xDC80 || c > 0xDCFF || (at > 0 && text[at - 1].isHighSurrogate()))
        return -1;
    return c - 0xDC00;
}

QByteArray toSystemBytes(QStringView text, bool *isExact)
{
    QByteArray bytes;
    bool exact = true;
    qsizetype from = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        // Most texts hold no surrogate at all: one comparison a character.
        if (!text[at].isSurrogate())
            continue;
        if (const int byte = escapedByte(text, at); byte >= 0) {
            bytes += text.sliced(from, at - from).toUtf8();
            bytes += static_cast<char>(byte);
            from = at + 1;
        } else if (!isSurrogatePairAt(text, at)) {
            // UTF-8 has no form for a lone surrogate that stands for no byte.
            exact = false;
        }
    }
    if (isExact)
        *isExact = exact;
    if (from == 0)
        return text.toUtf8();
    return bytes + text.sliced(from).toUtf8();
}

QString fromSystemBytes(QByteArrayView bytes)
{
    QString text;
    qsizetype from = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (const qsizetype length = utf8Length(bytes.sliced(at)); length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(bytes.sliced(from, at - from));
        text += QChar(0xDC00 + static_cast<uchar>(bytes[at]));
        from = ++at;
    }
    return text + QString::fromUtf8(bytes.sliced(from));
}

// Unix opens every name as it is given.
QString systemResolvedPath(const QString &path)
{
    return path;
}

QString shortFileName(const QString &)
{
    return {};
}

QStringDecoder::Encoding systemTextEncoding()
{
    // The system's 8-bit encoding is UTF-8 to Qt here; asked for by name, a
    // decoder writes into a buffer without a QString of its own for every line.
    return QStringDecoder::Utf8;
}

bool hasLostItsBytes(const QString &path)
{
    if (!path.contains(QChar::ReplacementCharacter))
        return false;
    if (!fileStatus(path).exists)
        return true;
    // Latin-1 "Caf\xE9.ccd" and UTF-8 "Caf\uFFFD.ccd" reach the window alike:
    // with the first beside the second, which one was meant cannot be told.
    const QByteArray bytes = toSystemBytes(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : bytes.left(qMax<qsizetype>(slash, 1));
    const QString name = QString::fromUtf8(bytes.sliced(slash + 1));
    DIR *entries = ::opendir(folder.constData());
    if (!entries)
        return false;
    bool isAlike = false;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArrayView entryName(entry->d_name);
        if (QString::fromUtf8(entryName) == name && fromSystemBytes(entryName) != name) {
            isAlike = true;
            break;
        }
    }
    ::closedir(entries);
    return isAlike;
}

std::optional<QString> fromMsJis(QByteArrayView bytes, QString *error)
{
    QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid()) {
        *error = tr("the character code MS-JIS cannot be decoded on this system");
        return std::nullopt;
    }
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        *error = tr("a text is not valid MS-JIS");
        return std::nullopt;
    }
    return text;
}

bool openForReading(QFile &file, const QString &path, QString *error)
{
    const int descriptor = ::open(toSystemBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        *error = qt_error_string(errno);
        return false;
    }
    // A folder opens for reading on Unix; only its first read would fail.
    struct stat status = {};
    if (::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(descriptor);
        *error = qt_error_string(EISDIR);
        return false;
    }
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        *error = file.errorString();
        return false;
    }
    return true;
}

bool openRegularFile(QFile &file, const QString &path, QString *error)
{
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
    const int descriptor =
        ::open(toSystemBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        *error = qt_error_string(errno);
        return false;
    }
    struct stat about = {};
    const bool isKnown = ::fstat(descriptor, &about) == 0;
    const int statusError = errno;
    if (!isKnown || !S_ISREG(about.st_mode)) {
        ::close(descriptor);
        *error = isKnown ? notAFile(statusOf(about)) : qt_error_string(statusError);
        return false;
    }
    // A regular file never makes a read wait; the flag goes all the same.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0)
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        *error = file.errorString();
        return false;
    }
    return true;
}

FileStatus fileStatus(const QString &path)
{
    const QByteArray name = toSystemBytes(path);
    struct stat about = {};
    return ::stat(name.constData(), &about) == 0 ? statusOf(about) : FileStatus();
}

} // namespace morvant
