#include "crc.h"

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

} // namespace morvant
