#pragma once

// DATs packed as their projects serve them, by zlib and minizip themselves:
// redump.org zips each, others gzip theirs.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryFile>

#include <zip.h>
#include <zlib.h>

#include <utility>

/// \a bytes gzipped, as `gzip` packs a file.
inline QByteArray gzipped(const QByteArray &bytes)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY)
        != Z_OK)
        return {};
    QByteArray packed(qsizetype(deflateBound(&stream, uLong(bytes.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(packed.data());
    stream.avail_out = uInt(packed.size());
    const bool isPacked = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    packed.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return isPacked ? packed : QByteArray();
}

/// A ZIP archive of \a files (each a name and its bytes), deflated; empty when it cannot be made.
inline QByteArray zipped(const QList<std::pair<QString, QByteArray>> &files)
{
    // minizip writes archives to files only.
    QTemporaryFile file;
    if (!file.open())
        return {};
    file.close();
    zipFile zip = zipOpen64(QFile::encodeName(file.fileName()).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return {};
    bool isWritten = true;
    for (const auto &[name, bytes] : files) {
        zip_fileinfo info{};
        isWritten = isWritten
            && zipOpenNewFileInZip(zip, name.toUtf8().constData(), &info, nullptr, 0, nullptr, 0,
                   nullptr, Z_DEFLATED, Z_BEST_COMPRESSION)
                == ZIP_OK
            && zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK
            && zipCloseFileInZip(zip) == ZIP_OK;
    }
    if (zipClose(zip, nullptr) != ZIP_OK || !isWritten || !file.open())
        return {};
    return file.readAll();
}
