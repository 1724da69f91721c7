#include "lineReader.h"

#include <QIODevice>

#include <cstring>

namespace morvant {

namespace {
// The fuzzing build reads in tiny chunks, so that its short inputs cross a
// chunk's end at every place a line can.
#ifdef MORVANT_READ_CHUNK_SIZE
constexpr qsizetype chunkSize = MORVANT_READ_CHUNK_SIZE;
#else
constexpr qsizetype chunkSize = 64 * 1024;
#endif
} // namespace

LineReader::LineReader(QIODevice &input) : device(input) { }

// Moves what is left of the buffer to its front and appends the next chunk.
// Returns false on a read error.
bool LineReader::fill()
{
    buffer.remove(0, start);
    scanned -= start;
    if (nextLf >= 0)
        nextLf -= start;
    lfSearchedFrom = qMax<qsizetype>(lfSearchedFrom - start, 0);
    start = 0;
    const qsizetype kept = buffer.size();
    buffer.resize(kept + chunkSize);
    const qint64 got = device.read(buffer.data() + kept, chunkSize);
    buffer.resize(kept + (got > 0 ? qsizetype(got) : 0));
    if (got < 0)
        return false;
    if (got == 0)
        atEnd = true;
    if (atStart && (buffer.size() >= 3 || atEnd)) {
        atStart = false;
        if (buffer.startsWith("\xEF\xBB\xBF"))
            start = scanned = 3;
    }
    return true;
}

LineReader::Result LineReader::next(QByteArrayView *line, qsizetype limit)
{
    for (;;) {
        const char *data = buffer.constData();
        const qsizetype size = buffer.size();
        // memchr runs many bytes a step; a line ends at its first LF or CR,
        // and the CR, when there is one, lies before the LF.
        if (nextLf < scanned) {
            const qsizetype from = qMax(scanned, lfSearchedFrom);
            const auto *lf = static_cast<const char *>(std::memchr(data + from, '\n', size - from));
            nextLf = lf != nullptr ? lf - data : -1;
            lfSearchedFrom = lf != nullptr ? nextLf : size;
        }
        const qsizetype lfAt = nextLf >= 0 ? nextLf : size;
        const auto *cr =
            static_cast<const char *>(std::memchr(data + scanned, '\r', lfAt - scanned));
        const qsizetype end = cr != nullptr ? cr - data : lfAt;
        // A CR as the last byte read may be the first half of a CR LF.
        const bool endFound = end < size && (data[end] == '\n' || end + 1 < size || atEnd);
        if (endFound && end - start <= limit) {
            *line = QByteArrayView(data + start, end - start);
            start = end + (data[end] == '\r' && end + 1 < size && data[end + 1] == '\n' ? 2 : 1);
            scanned = start;
            return Result::Line;
        }
        scanned = end;
        if (end - start > limit)
            return Result::TooLong;
        if (atEnd) {
            if (start == size)
                return Result::End;
            *line = QByteArrayView(data + start, size - start);
            start = scanned = size;
            return Result::Line;
        }
        if (!fill())
            return Result::ReadError;
    }
}

} // namespace morvant
