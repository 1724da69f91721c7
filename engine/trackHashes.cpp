#include "trackHashes.h"

#include "crc.h"
#include "translation.h"

#include <QCryptographicHash>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace morvant {

namespace {

// Large enough that handing chunks between threads costs nothing beside the
// hashing, small enough that the ring of them stays at a few MB. The fuzzing
// build reads in tiny chunks, so that its short images cross a chunk's end
// at every place of a stretch and of the offsets' window.
#ifdef MORVANT_READ_CHUNK_SIZE
constexpr qint64 chunkSize = MORVANT_READ_CHUNK_SIZE;
#else
constexpr qint64 chunkSize = qint64(1) << 20;
#endif

// Beyond any file: positions and sizes within it cannot overflow when offsets are added.
constexpr qint64 farthest = qint64(1) << 62;

bool isStretch(ByteStretch stretch)
{
    return stretch.size >= 0 && stretch.size < farthest && stretch.start > -farthest
        && stretch.start < farthest;
}

QString noStretch(ByteStretch stretch)
{
    return tr("%1 bytes from byte %2 are no stretch of an image")
        .arg(stretch.size)
        .arg(stretch.start);
}

// The device's reason, or \a otherwise where it gives none.
QString reason(const QIODevice &device, const QString &otherwise)
{
    const QString said = device.errorString();
    return said.isEmpty() || said == QIODevice::tr("Unknown error") ? otherwise : said;
}

// An image's bytes at any position, zeros before its start and after its
// end. Seeks only where a read does not go on from where the device stands,
// so that stretches end to end are read as one.
class ImageBytes
{
public:
    ImageBytes(QIODevice &image, qint64 imageSize)
        : image(image), imageSize(imageSize), at(image.pos())
    {
    }

    /// Fills \a data with the \a size bytes from \a from; false with the reason.
    bool read(qint64 from, char *data, qint64 size, QString *error)
    {
        const qint64 zerosBefore = std::clamp(-from, qint64(0), size);
        const qint64 first = std::max(from, qint64(0));
        const qint64 held = std::max(std::min(from + size, imageSize) - first, qint64(0));
        std::memset(data, 0, size_t(zerosBefore));
        if (held > 0 && !readHeld(first, data + zerosBefore, held, error))
            return false;
        std::memset(data + zerosBefore + held, 0, size_t(size - zerosBefore - held));
        return true;
    }

private:
    bool readHeld(qint64 first, char *data, qint64 size, QString *error)
    {
        if (at != first) {
            if (!image.seek(first)) {
                at = -1;
                *error = reason(image, tr("cannot go to byte %1").arg(first));
                return false;
            }
            at = first;
        }
        for (qint64 got = 0; got < size;) {
            const qint64 read = image.read(data + got, size - got);
            if (read <= 0) {
                // A short image: what it lacks is not the zeros beyond its end.
                *error = read < 0 ? reason(image, tr("cannot read byte %1").arg(at))
                                  : tr("it ends after %1 bytes, not %2").arg(at).arg(imageSize);
                at = -1;
                return false;
            }
            got += read;
            at += read;
        }
        return true;
    }

    QIODevice &image;
    qint64 imageSize;
    qint64 at; // where the device stands; -1 when not known
};

// A chunk of a stretch's bytes, on its way through the hashes.
struct Chunk
{
    std::vector<char> bytes;
    qint64 size = 0;
    qsizetype stretch = 0;
    bool ends = false; ///< the stretch's last chunk

    QByteArrayView view() const { return { bytes.data(), qsizetype(size) }; }
};

// What the second thread works out of each stretch.
struct SecondHashes
{
    quint32 crc32 = 0;
    QByteArray sha1;
};

// Works out the SHA-1 and CRC-32 of each stretch in a thread of its own,
// while the caller's thread reads the next chunks and works out their MD5,
// which takes about as long: chunks go round a small ring, filled by the
// caller, then hashed by both threads at once, then free again. Where the
// system gives no thread, the caller's thread works them out as well. The
// thread ends with the object, so that no return leaves it running.
class SecondThread
{
public:
    SecondThread(qsizetype stretches, qint64 chunkBytes) : results(stretches)
    {
        for (Chunk &chunk : ring)
            chunk.bytes.resize(size_t(chunkBytes));
        try {
            thread = std::thread([this] { run(); });
        } catch (const std::system_error &) {
            // No thread: handOver() hashes in the caller's.
        }
    }

    ~SecondThread()
    {
        if (!thread.joinable())
            return;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            isAbandoned = true;
        }
        changed.notify_all();
        thread.join();
    }

    SecondThread(const SecondThread &) = delete;
    SecondThread &operator=(const SecondThread &) = delete;

    /// The next chunk to fill, once the thread is done with it.
    Chunk &freeChunk()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return handed - hashed < qint64(ring.size()); });
        return ring[size_t(handed % qint64(ring.size()))];
    }

    /// Hands the chunk that freeChunk() gave, filled, to the thread; the caller only reads it from
    /// now on.
    void handOver()
    {
        if (!thread.joinable()) {
            hash(ring[size_t(handed % qint64(ring.size()))]);
            ++handed;
            ++hashed;
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ++handed;
        }
        changed.notify_all();
    }

    /// Each stretch's hashes, once every chunk handed over is hashed.
    QList<SecondHashes> finish()
    {
        if (thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                isFinished = true;
            }
            changed.notify_all();
            thread.join();
        }
        return results;
    }

private:
    void run()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return hashed < handed || isFinished || isAbandoned; });
            if (isAbandoned || hashed == handed)
                return;
            const Chunk &chunk = ring[size_t(hashed % qint64(ring.size()))];
            lock.unlock();
            hash(chunk);
            lock.lock();
            ++hashed;
            lock.unlock();
            changed.notify_all();
        }
    }

    void hash(const Chunk &chunk)
    {
        sha1.addData(chunk.view());
        crc = crc32(chunk.view(), crc);
        if (chunk.ends) {
            results[chunk.stretch] = { crc, sha1.result() };
            sha1.reset();
            crc = 0;
        }
    }

    std::array<Chunk, 4> ring;
    QCryptographicHash sha1{ QCryptographicHash::Sha1 };
    quint32 crc = 0;
    QList<SecondHashes> results; // the thread's until it ends

    std::mutex mutex;
    std::condition_variable changed;
    qint64 handed = 0; // chunks filled and handed to the thread
    qint64 hashed = 0; // chunks the thread is done with
    bool isFinished = false; // no more chunks come
    bool isAbandoned = false; // the call fails: the thread ends at once
    std::thread thread; // last, so that it starts with all the rest made
};

} // namespace

QString stopped()
{
    return tr("Stopped");
}

bool hashStretches(QIODevice &image, qint64 imageSize, const QList<ByteStretch> &stretches,
    QList<FileHashes> *hashes, QString *error, const Progress &progress)
{
    hashes->clear();
    qint64 total = 0;
    for (const ByteStretch &stretch : stretches) {
        if (!isStretch(stretch)) {
            *error = noStretch(stretch);
            return false;
        }
        total += stretch.size;
    }

    ImageBytes bytes(image, imageSize);
    SecondThread second(stretches.size(), std::clamp(total, qint64(1), chunkSize));
    QList<FileHashes> found(stretches.size());
    QCryptographicHash md5(QCryptographicHash::Md5);
    qint64 done = 0;
    for (qsizetype index = 0; index < stretches.size(); ++index) {
        const ByteStretch stretch = stretches[index];
        // A stretch of no bytes still passes once, for its hashes of nothing.
        qint64 at = 0;
        do {
            Chunk &chunk = second.freeChunk();
            chunk.size = std::min(qint64(chunk.bytes.size()), stretch.size - at);
            if (!bytes.read(stretch.start + at, chunk.bytes.data(), chunk.size, error))
                return false;
            at += chunk.size;
            chunk.stretch = index;
            chunk.ends = at == stretch.size;
            second.handOver();

            md5.addData(chunk.view());
            if (chunk.ends) {
                found[index].size = stretch.size;
                found[index].md5 = md5.result();
                md5.reset();
            }
            done += chunk.size;
            if (progress && !progress(done, total)) {
                *error = stopped();
                return false;
            }
        } while (at < stretch.size);
    }

    const QList<SecondHashes> secondHashes = second.finish();
    for (qsizetype index = 0; index < found.size(); ++index) {
        found[index].crc32 = secondHashes[index].crc32;
        found[index].sha1 = secondHashes[index].sha1;
    }
    *hashes = found;
    return true;
}

bool copyStretch(QIODevice &image, qint64 imageSize, ByteStretch stretch, QIODevice &out,
    QString *error, const Progress &progress)
{
    if (!isStretch(stretch)) {
        *error = noStretch(stretch);
        return false;
    }
    ImageBytes bytes(image, imageSize);
    std::vector<char> chunk(size_t(std::clamp(stretch.size, qint64(1), chunkSize)));
    for (qint64 done = 0; done < stretch.size;) {
        const qint64 size = std::min(qint64(chunk.size()), stretch.size - done);
        if (!bytes.read(stretch.start + done, chunk.data(), size, error))
            return false;
        if (out.write(chunk.data(), size) != size) {
            *error = reason(out, tr("cannot write byte %1").arg(done));
            return false;
        }
        done += size;
        if (progress && !progress(done, stretch.size)) {
            *error = stopped();
            return false;
        }
    }
    return true;
}

bool offsetsMatching(QIODevice &image, qint64 imageSize, ByteStretch track, int mostSamples,
    const QSet<quint32> &crcs, QList<int> *offsets, QString *error, const Progress &progress)
{
    offsets->clear();
    if (!isStretch(track)) {
        *error = noStretch(track);
        return false;
    }
    if (mostSamples < 0)
        return true;
    if (track.size == 0) { // every window holds nothing, whose CRC-32 is 0
        if (crcs.contains(0)) {
            for (int samples = -mostSamples; samples <= mostSamples; ++samples)
                offsets->append(samples);
        }
        return true;
    }

    // The window slides over the track and 4 * mostSamples bytes each side:
    // window k, k bytes on from the first, is that of offset k / 4 - mostSamples.
    const qint64 reach = 4 * qint64(mostSamples);
    const qint64 from = track.start - reach;
    const qint64 total = track.size + 2 * reach;
    // Byte k leaves the window as it moves from k to k + 1, so that only the
    // first 2 * reach bytes leave: they are kept, in a ring of the window's
    // size where the window is smaller, whose byte k is gone when byte
    // k + window size comes in, just as it leaves.
    std::vector<uchar> leaving(size_t(std::min(track.size, 2 * reach)));
    const auto ringSize = qint64(leaving.size());
    SlidingCrc32 crc(track.size);
    const auto check = [&](qint64 window) {
        if (window % 4 == 0 && crcs.contains(crc.value()))
            offsets->append(int(window / 4 - mostSamples));
    };

    ImageBytes bytes(image, imageSize);
    std::vector<char> chunk(size_t(std::min(total, chunkSize)));
    for (qint64 done = 0; done < total;) {
        const qint64 size = std::min(qint64(chunk.size()), total - done);
        if (!bytes.read(from + done, chunk.data(), size, error)) {
            // Offsets found before the failure are no answer: the later ones were never tried.
            offsets->clear();
            return false;
        }
        const auto *data = reinterpret_cast<const uchar *>(chunk.data());
        qint64 at = 0;
        if (done < track.size) {
            at = std::min(size, track.size - done);
            crc.fill(QByteArrayView(data, qsizetype(at)));
            if (done < ringSize)
                std::copy_n(data, std::min(at, ringSize - done), leaving.begin() + done);
            if (done + at == track.size)
                check(0);
        }
        for (; at < size; ++at) {
            const qint64 in = done + at;
            const qint64 out = in - track.size;
            uchar &kept = leaving[size_t(out % ringSize)];
            const uchar outByte = kept;
            if (in < 2 * reach)
                kept = data[at];
            crc.slide(data[at], outByte);
            check(out + 1);
        }
        done += size;
        if (progress && !progress(done, total)) {
            offsets->clear();
            *error = stopped();
            return false;
        }
    }
    return true;
}

} // namespace morvant
