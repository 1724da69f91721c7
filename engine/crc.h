#pragma once

#include <QByteArrayView>

#include <array>

namespace morvant {

/** The CRC that a CD stores with a Q subchannel block (over its first 10
    bytes) and with a CD-Text pack (over its first 16): CRC-16 with the
    polynomial x^16 + x^12 + x^5 + 1, inverted. */
quint16 cdCrc(QByteArrayView bytes);

/** CRC-32 as zlib, PNG and the DATs give it (reflected 0xEDB88320, initial
    and final 0xFFFFFFFF); \a crc continues the value of the bytes before,
    so that crc32(b, crc32(a)) is the CRC-32 of a followed by b. */
quint32 crc32(QByteArrayView bytes, quint32 crc = 0);

/** The CRC-32 of a window of a fixed number of bytes that slides over a
    stream a byte at a time: a rolling CRC, which takes the leaving byte out
    with a table made for the window's length, rather than working the
    whole window out again at each step. */
class SlidingCrc32
{
public:
    /// A window of \a size bytes, empty until fill() has given it them.
    explicit SlidingCrc32(qint64 size);

    /// Adds \a bytes at the window's end, as it fills up to its size.
    void fill(QByteArrayView bytes) { crc = crc32(bytes, crc); }

    /// Slides the full window a byte on: \a in enters at its end, \a out, its first, leaves.
    void slide(uchar in, uchar out);

    /// The CRC-32 of the bytes in the window.
    quint32 value() const { return crc; }

private:
    quint32 crc = 0;
    /// By leaving byte: what taking it out of a window of this size changes in the register
    std::array<quint32, 256> leaving{};
};

} // namespace morvant
