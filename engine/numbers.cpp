#include "numbers.h"

#include <algorithm>

namespace morvant {

qint64 sectorCount(QStringView sectors)
{
    return sectorCountIn(sectors);
}

QString sectorCountToMsf(qint64 sectors)
{
    const Msf msf(sectors);
    return msf.text().isEmpty() ? QString() : QString(msf.text());
}

QString sectorsToMsf(const QString &sectors)
{
    return sectorCountToMsf(sectorCount(sectors));
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

std::optional<int> wholeNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), isAsciiDigit))
        return std::nullopt;
    return text.toInt();
}

} // namespace morvant
