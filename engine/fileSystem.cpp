#include "fileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The byte that the character at \a at stands for when it is an escaped
// one, or -1. The second half of a surrogate pair is a character's, not a byte's.
int escapedByte([[maybe_unused]] QStringView text, [[maybe_unused]] qsizetype at)
{
#ifdef Q_OS_UNIX
    const char16_t c = text[at].unicode();
    if (c < 0xDC80 || c > 0xDCFF || (at > 0 && text[at - 1].isHighSurrogate()))
        return -1;
    return c - 0xDC00;
#else
    // Windows names files in UTF-16: every name reaches the program whole.
    return -1;
#endif
}

#ifdef Q_OS_UNIX
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
#endif

} // namespace

QByteArray toSystemBytes(QStringView text)
{
#ifdef Q_OS_UNIX
    QByteArray bytes;
    qsizetype from = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        // Most texts hold no surrogate at all: one comparison a character.
        if (!text[at].isSurrogate())
            continue;
        if (const int byte = escapedByte(text, at); byte >= 0) {
            bytes += text.sliced(from, at - from).toUtf8();
            bytes += static_cast<char>(byte);
            from = at + 1;
        }
    }
    if (from == 0)
        return text.toUtf8();
    return bytes + text.sliced(from).toUtf8();
#else
    return QStringEncoder(QStringEncoder::System).encode(text);
#endif
}

QString fromSystemBytes(QByteArrayView bytes)
{
#ifdef Q_OS_UNIX
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
#else
    return QStringDecoder(QStringDecoder::System).decode(bytes);
#endif
}

QString shownPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    QString shown;
    for (qsizetype at = 0; at < native.size(); ++at) {
        const QChar c = native[at];
        if (const int byte = escapedByte(native, at); byte >= 0)
            shown += QStringLiteral("\\x") + QString::number(byte, 16).toUpper();
        else if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

bool openForReading(QFile &file, const QString &path, QString *error)
{
#ifdef Q_OS_UNIX
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
#else
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    *error = file.errorString();
    return false;
#endif
}

FileStatus fileStatus(const QString &path)
{
    FileStatus status;
#ifdef Q_OS_UNIX
    const QByteArray name = toSystemBytes(path);
    struct stat about = {};
    if (::stat(name.constData(), &about) == 0) {
        status.exists = true;
        status.isFile = S_ISREG(about.st_mode);
        status.size = about.st_size;
    }
#else
    const QFileInfo info(path);
    status.exists = info.exists();
    status.isFile = info.isFile();
    status.size = info.size();
#endif
    return status;
}
