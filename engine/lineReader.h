#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

namespace morvant {

/** Reads a device line by line in a single pass, in bounded memory. A line
    ends at CR LF, LF or a lone CR; a UTF-8 byte-order mark at the very start
    is skipped. A line is handed out as bytes, valid until the next call. */
class LineReader
{
public:
    enum class Result { Line, End, TooLong, ReadError };

    /// No control file has lines this long; a longer one is not held in memory.
    static constexpr qsizetype maxLineLength = 1024 * 1024;

    explicit LineReader(QIODevice &input);

    /** Hands out the next line. A line longer than \a limit gives TooLong
        once no more than \a limit bytes of it have been read. */
    Result next(QByteArrayView *line, qsizetype limit = maxLineLength);

private:
    bool fill();

    QIODevice &device;
    QByteArray buffer;
    qsizetype start = 0;
    qsizetype scanned = 0;
    // The next LF at or after lfSearchedFrom, or -1 when the buffer holds none.
    // Kept between calls, so that a file whose lines end in a lone CR is not
    // searched to the end of the buffer for every line.
    qsizetype nextLf = -1;
    qsizetype lfSearchedFrom = 0;
    bool atEnd = false;
    bool atStart = true;
};

} // namespace morvant
