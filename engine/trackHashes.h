#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

class QIODevice;

namespace morvant {

// What --verify and --split read of a raw image: stretches of its bytes,
// hashed as a DAT gives a track's file or copied into a file of their own,
// and the read offset that makes an audio track's bytes match a DAT.

/** A stretch of an image's bytes. It may begin before the image's start or
    end after its end: zeros stand there, as where a drive's read offset
    reaches past the disc's data. */
struct ByteStretch
{
    qint64 start = 0; ///< the image's byte where it starts; negative before the image
    qint64 size = 0;
};

/// A file's size and the hashes a DAT gives of it.
struct FileHashes
{
    qint64 size = 0;
    quint32 crc32 = 0;
    QByteArray md5; ///< raw, 16 bytes
    QByteArray sha1; ///< raw, 20 bytes
};

/** Called now and then with how many bytes are done of how many; returns
    false to stop, and the call then fails with the error stopped(). */
using Progress = std::function<bool(qint64 done, qint64 total)>;

/// The error of work that its Progress stopped: "Stopped".
QString stopped();

/** Reads each of \a stretches of \a image (\a imageSize bytes) in chunks and
    gives its size, CRC-32, MD5 and SHA-1 in \a hashes, in the stretches'
    order. SHA-1 and CRC-32 are worked out in a second thread while this one
    reads and works out MD5, so that the whole takes about half as long as
    the three one after another; memory stays at a few MB whatever the
    sizes. Stretches that follow
    each other end to end, as tracks do, are read in one sequential pass.
    False with the reason in \a error, and \a hashes empty, when a stretch
    has a negative size or the image cannot be read: the system's reason, or
    where the image ends when it holds fewer bytes than \a imageSize (those
    are not taken for zeros). The second thread has ended when it returns. */
bool hashStretches(QIODevice &image, qint64 imageSize, const QList<ByteStretch> &stretches,
    QList<FileHashes> *hashes, QString *error, const Progress &progress = {});

/** Copies \a stretch of \a image (\a imageSize bytes) to \a out in chunks,
    zeros beyond the image's ends, for the files cut from the image. False
    with the reason in \a error when the image cannot be read, as
    hashStretches() tells it, or \a out cannot be written. */
bool copyStretch(QIODevice &image, qint64 imageSize, ByteStretch stretch, QIODevice &out,
    QString *error, const Progress &progress = {});

/** The read offsets N, in samples of 4 bytes within [-mostSamples,
    +mostSamples], at which \a track's bytes taken 4N bytes later in
    \a image (N negative: earlier), the stretch {start + 4N, size} with
    zeros beyond the image's ends, have a CRC-32 in \a crcs; in \a offsets,
    in ascending order of N. Reads the track's bytes and 4 * mostSamples on
    each side once, whatever mostSamples, with a rolling CRC-32
    (SlidingCrc32), and keeps 8 * mostSamples bytes at most besides a chunk.
    False with the reason in \a error as hashStretches() gives it, and
    \a offsets empty. */
bool offsetsMatching(QIODevice &image, qint64 imageSize, ByteStretch track, int mostSamples,
    const QSet<quint32> &crcs, QList<int> *offsets, QString *error, const Progress &progress = {});

} // namespace morvant
