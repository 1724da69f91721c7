#pragma once

#include <QChar>
#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <array>
#include <limits>
#include <optional>

namespace morvant {

// Numbers as a control file writes them: sector counts and the MM:SS:FF times
// that a cue sheet writes for them, and whole numbers in ASCII digits.

/** Reads a sector count as a control file writes it: a whole number from 0
    to 2147483647, optionally signed and surrounded by blanks. Returns -1 for
    anything else. */
qint64 sectorCount(QStringView sectors);

/** Whether \a sectors is a count that sectorCount() may give, 0 to
    2147483647: the positions that a cue sheet's times can write. */
inline bool isSectorCount(qint64 sectors)
{
    return sectors >= 0 && sectors <= std::numeric_limits<qint32>::max();
}

/** Writes a sector count as an MM:SS:FF time (75 frames a second). Returns
    the empty text for a count that sectorCount() never gives. */
QString sectorCountToMsf(qint64 sectors);

/** Turns a sector count as a control file writes it into an MM:SS:FF time:
    sectorCountToMsf() of sectorCount(). */
QString sectorsToMsf(const QString &sectors);

/** Whether \a c is an ASCII digit, the only digits that a control file's
    numbers are written in. */
bool isAsciiDigit(QChar c);

/** A number as the cue sheet writes it ("01"): ASCII digits alone, no more
    of them than an int holds. Nothing for anything else. */
std::optional<int> wholeNumber(QStringView text);

// The two below stand here in full rather than behind a call for the line
// rules, which take the commonest line of a control file from its bytes to
// the cue sheet in one step, its count read and its time written in that step.

/** sectorCount() of the text of a line, or of the bytes of a plain ASCII line. */
template <typename Text> qint64 sectorCountIn(Text sectors)
{
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype i = 0;
    qsizetype end = sectors.size();
    while (i < end && isBlank(sectors[i]))
        ++i;
    while (end > i && isBlank(sectors[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (QChar(sectors[i]) == u'+' || QChar(sectors[i]) == u'-'))
        negative = QChar(sectors[i++]) == u'-';
    if (i == end)
        return -1;
    qint64 n = 0;
    for (; i < end; ++i) {
        const char16_t c = QChar(sectors[i]).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
        if (n > std::numeric_limits<qint32>::max())
            return -1;
    }
    return negative && n != 0 ? -1 : n;
}

/// An MM:SS:FF time, written without a QString of its own, so that the
/// conversion reads and writes a time in one go: no more than "2147483647"
/// sectors, 12 characters. Empty for a count that sectorCount() never gives.
class Msf
{
public:
    explicit Msf(qint64 sectors)
    {
        if (!isSectorCount(sectors))
            return;
        const auto count = static_cast<quint32>(sectors);
        put(count / 4500);
        chars[size++] = ':';
        put(count / 75 % 60);
        chars[size++] = ':';
        put(count % 75);
    }

    QLatin1String text() const { return QLatin1String(chars.data(), size); }

private:
    // 32-bit division: noticeably cheaper than 64-bit on every INDEX line.
    void put(quint32 field)
    {
        std::array<char, 12> digits{};
        qsizetype count = 0;
        do {
            digits[count++] = static_cast<char>('0' + field % 10);
            field /= 10;
        } while (field != 0);
        if (count < 2)
            digits[count++] = '0';
        while (count > 0)
            chars[size++] = digits[--count];
    }

    std::array<char, 16> chars{};
    qsizetype size = 0;
};

} // namespace morvant
