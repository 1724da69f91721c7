#pragma once

#include <QByteArrayView>

namespace morvant {

/** The CRC that a CD stores with a Q subchannel block (over its first 10
    bytes) and with a CD-Text pack (over its first 16): CRC-16 with the
    polynomial x^16 + x^12 + x^5 + 1, inverted. */
quint16 cdCrc(QByteArrayView bytes);

} // namespace morvant
