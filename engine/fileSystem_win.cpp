#include "fileSystem.h"

#include "translation.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <windows.h>

int escapedByte(QStringView, qsizetype)
{
    // Windows names files in UTF-16: every name reaches the program whole.
    return -1;
}

QByteArray toSystemBytes(QStringView text)
{
    return QStringEncoder(QStringEncoder::System).encode(text);
}

QString fromSystemBytes(QByteArrayView bytes)
{
    return QStringDecoder(QStringDecoder::System).decode(bytes);
}

QStringDecoder::Encoding systemTextEncoding()
{
    return QStringDecoder::System;
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

bool openForReading(QFile &file, const QString &path, QString *error)
{
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    *error = file.errorString();
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
    status.size = info.size();
    if (status.exists && !status.isFile)
        status.kind = info.isDir() ? tr("a folder") : tr("a special file");
    return status;
}
