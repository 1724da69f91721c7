#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

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

    Result next(QByteArrayView *line);

private:
    bool fill();

    QIODevice &device;
    QByteArray buffer;
    qsizetype start = 0;
    qsizetype scanned = 0;
    bool atEnd = false;
    bool atStart = true;
};
