#pragma once

// What the tests and the fuzz target hold the engine's CRC-32 and its reading
// of an image's stretches to, worked out the plain way, apart from the
// program's own.

#include <QByteArray>
#include <QByteArrayView>

/// CRC-32 as zlib and the DATs give it, a bit at a time, as its definition gives it.
inline quint32 referenceCrc32(QByteArrayView bytes)
{
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= static_cast<uchar>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xedb88320 : crc >> 1;
    }
    return ~crc;
}

/// The \a size bytes of \a image from \a start, zeros beyond its ends.
inline QByteArray stretchBytes(const QByteArray &image, qint64 start, qint64 size)
{
    QByteArray bytes(qsizetype(size), '\0');
    for (qint64 at = 0; at < size; ++at) {
        const qint64 from = start + at;
        if (from >= 0 && from < image.size())
            bytes[qsizetype(at)] = image[qsizetype(from)];
    }
    return bytes;
}
