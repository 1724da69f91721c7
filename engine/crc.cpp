#include "crc.h"

#include <QtEndian>

namespace morvant {

quint16 cdCrc(QByteArrayView bytes)
{
    quint16 crc = 0;
    for (const char byte : bytes) {
        crc ^= quint16(static_cast<uchar>(byte) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return quint16(~crc);
}

namespace {

constexpr quint32 crc32Polynomial = 0xedb88320; // reflected

// Slicing by 16: table[k][b] is the register's change from byte b followed
// by k zero bytes, so that 16 bytes are taken with 16 look-ups at once rather
// than one after another.
using Crc32Tables = std::array<std::array<quint32, 256>, 16>;

constexpr Crc32Tables makeCrc32Tables()
{
    Crc32Tables tables{};
    for (quint32 byte = 0; byte < 256; ++byte) {
        quint32 crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ crc32Polynomial : crc >> 1;
        tables[0][byte] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::size_t byte = 0; byte < 256; ++byte) {
            const quint32 previous = tables[k - 1][byte];
            tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xff];
        }
    }
    return tables;
}

constexpr Crc32Tables crc32Tables = makeCrc32Tables();

// The register after one more byte.
constexpr quint32 crc32Step(quint32 reg, uchar byte)
{
    return (reg >> 8) ^ crc32Tables[0][(reg ^ byte) & 0xff];
}

// A linear map of 32-bit registers: column i is the image of bit i.
using Crc32Operator = std::array<quint32, 32>;

quint32 applied(const Crc32Operator &op, quint32 reg)
{
    quint32 image = 0;
    for (int bit = 0; reg != 0; ++bit, reg >>= 1) {
        if (reg & 1)
            image ^= op[std::size_t(bit)];
    }
    return image;
}

Crc32Operator composed(const Crc32Operator &second, const Crc32Operator &first)
{
    Crc32Operator result{};
    for (std::size_t bit = 0; bit < result.size(); ++bit)
        result[bit] = applied(second, first[bit]);
    return result;
}

// What \a count zero bytes do to a register, by squaring the one-byte map:
// a window of 800 MB takes some 30 squarings, not 800 million steps.
Crc32Operator zeroBytes(qint64 count)
{
    Crc32Operator power{}; // one zero byte, then squared
    Crc32Operator result{}; // none: the identity
    for (std::size_t bit = 0; bit < power.size(); ++bit) {
        power[bit] = crc32Step(quint32(1) << bit, 0);
        result[bit] = quint32(1) << bit;
    }
    for (; count > 0; count >>= 1) {
        if (count & 1)
            result = composed(power, result);
        power = composed(power, power);
    }
    return result;
}

} // namespace

quint32 crc32(QByteArrayView bytes, quint32 crc)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    qsizetype left = bytes.size();
    quint32 reg = ~crc;
    const auto &t = crc32Tables;
    for (; left >= 16; left -= 16, data += 16) {
        const quint32 first = reg ^ qFromLittleEndian<quint32>(data);
        const quint32 second = qFromLittleEndian<quint32>(data + 4);
        const quint32 third = qFromLittleEndian<quint32>(data + 8);
        const quint32 fourth = qFromLittleEndian<quint32>(data + 12);
        reg = t[15][first & 0xff] ^ t[14][(first >> 8) & 0xff] ^ t[13][(first >> 16) & 0xff]
            ^ t[12][first >> 24] ^ t[11][second & 0xff] ^ t[10][(second >> 8) & 0xff]
            ^ t[9][(second >> 16) & 0xff] ^ t[8][second >> 24] ^ t[7][third & 0xff]
            ^ t[6][(third >> 8) & 0xff] ^ t[5][(third >> 16) & 0xff] ^ t[4][third >> 24]
            ^ t[3][fourth & 0xff] ^ t[2][(fourth >> 8) & 0xff] ^ t[1][(fourth >> 16) & 0xff]
            ^ t[0][fourth >> 24];
    }
    for (; left > 0; --left, ++data)
        reg = crc32Step(reg, *data);
    return ~reg;
}

// A CRC register is linear in the initial register and the bytes together.
// Sliding first appends \a in, so that the register holds b x: b the
// leaving byte, x the window's new bytes, as many as its size. Then
// r(init, x) = r(init, b x) ^ r(0, b 0...0) ^ Z(init ^ r(init, 0)), where Z
// is the map of as many zero bytes as x holds: b's own share goes, and the
// initial register's share moves back to where it stands without b before x.
SlidingCrc32::SlidingCrc32(qint64 size)
{
    const Crc32Operator zeros = zeroBytes(size);
    const quint32 initial = 0xffffffff;
    const quint32 start = applied(zeros, initial ^ crc32Step(initial, 0));
    for (std::size_t byte = 0; byte < leaving.size(); ++byte)
        leaving[byte] = applied(zeros, crc32Tables[0][byte]) ^ start;
}

void SlidingCrc32::slide(uchar in, uchar out)
{
    crc = ~(crc32Step(~crc, in) ^ leaving[out]);
}

} // namespace morvant
