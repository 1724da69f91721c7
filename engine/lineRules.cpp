#include "lineRules.h"

#include "numbers.h"

#include <QRegularExpression>
#include <QStringBuilder>

#include <algorithm>
#include <array>
#include <cstring>

namespace morvant {

namespace {

inline qsizetype find(QByteArrayView line, std::string_view keyword)
{
    // memchr() for the first byte, the rest compared in place: with the
    // keyword a constant, far cheaper on short lines than a general search.
    const char *const end = line.end();
    for (const char *at = line.begin(); end - at >= qsizetype(keyword.size()); ++at) {
        at = static_cast<const char *>(std::memchr(at, keyword.front(), size_t(end - at)));
        if (!at || end - at < qsizetype(keyword.size()))
            break;
        if (std::equal(keyword.begin() + 1, keyword.end(), at + 1))
            return at - line.begin();
    }
    return -1;
}

inline qsizetype find(QStringView line, std::string_view keyword)
{
    // Compared a character at a time: Qt's search for a Latin-1 text in a
    // QStringView makes a QString of it first, on every call.
    const QChar first = QLatin1Char(keyword.front());
    const auto rest = keyword.substr(1);
    for (qsizetype at = line.indexOf(first); at >= 0; at = line.indexOf(first, at + 1)) {
        if (line.size() - at < qsizetype(keyword.size()))
            break;
        if (std::equal(rest.begin(), rest.end(), line.begin() + at + 1,
                [](char k, QChar c) { return c == QLatin1Char(k); }))
            return at;
    }
    return -1;
}

// The rules' keywords, in the order in which they are tried.
constexpr std::array<std::pair<LineRule, std::string_view>, 4> keywords{ {
    { LineRule::Track, "[TRACK" },
    { LineRule::Mode, "MODE=" },
    { LineRule::Index, "INDEX " },
    { LineRule::Flags, "FLAGS=" },
} };

// Each keyword a constant of its own, so that the compiler compares its
// few bytes in place rather than calling memcmp() for every line.
template <std::size_t next = 0, typename Text> Keyword firstKeywordIn(Text line)
{
    if constexpr (next == keywords.size()) {
        return {};
    } else {
        constexpr auto keyword = keywords[next];
        if (const qsizetype at = find(line, keyword.second); at >= 0)
            return { keyword.first, at + qsizetype(keyword.second.size()) };
        return firstKeywordIn<next + 1>(line);
    }
}

// Positions in the rules count from 1, as the control file's fields are
// described; 0 stands for "not found".
template <typename Text> qsizetype positionOf(Text line, char16_t c)
{
    // A plain loop: lines are short, and a library search costs more in calls.
    for (qsizetype at = 0; at < line.size(); ++at) {
        if (QChar(line[at]) == c)
            return at + 1;
    }
    return 0;
}

// The part of \a line from index \a from on, at most \a length characters
// long; a negative length, or a start beyond the line, gives an empty part.
template <typename Text> Text part(Text line, qsizetype from, qsizetype length)
{
    if (from >= line.size() || length <= 0)
        return {};
    return line.sliced(from, qMin(length, line.size() - from));
}

template <typename Text> BasicRuledLine<Text> piecesIn(Text line, Keyword keyword)
{
    BasicRuledLine<Text> ruled;
    ruled.rule = keyword.rule;
    switch (keyword.rule) {
    case LineRule::Track:
        ruled.number = part(line, 7, line.size() - positionOf(line, u' ') - 1);
        break;
    case LineRule::Mode:
        ruled.value = line.sliced(keyword.end);
        break;
    case LineRule::Index: {
        const qsizetype equals = positionOf(line, u'=');
        ruled.number = part(line, 6, equals - positionOf(line, u' ') - 1);
        if (equals > 0)
            ruled.value = line.sliced(equals);
        break;
    }
    case LineRule::Flags:
        ruled.value = part(line, 6, line.size());
        break;
    case LineRule::None:
        break;
    }
    return ruled;
}

// How a keyword line edited by hand, in another case or with other blanks,
// would be written so that the rules read it as meant; the empty text when
// \a line is no track keyword line at all.
QString intendedForm(QStringView line)
{
    static const QRegularExpression header(QStringLiteral("^\\[\\s*TRACK\\s*([0-9]+)\\s*\\]$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression indexKey(
        QStringLiteral("^INDEX\\s*([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = line.trimmed().toString();
    if (const auto match = header.match(trimmed); match.hasMatch())
        return QStringLiteral("[TRACK ") + match.captured(1) + u']';
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0)
        return {};
    const QString key = trimmed.left(equals).simplified();
    const QString value = trimmed.mid(equals + 1).trimmed();
    if (key.compare(u"MODE", Qt::CaseInsensitive) == 0)
        return QStringLiteral("MODE=") + value;
    if (key.compare(u"FLAGS", Qt::CaseInsensitive) == 0)
        return value.isEmpty() ? QStringLiteral("FLAGS=") : QStringLiteral("FLAGS= ") + value;
    if (const auto match = indexKey.match(key); match.hasMatch())
        return QStringLiteral("INDEX ") + match.captured(1) + u'=' + value;
    return {};
}

// What goes before a track's or an index's number in the cue sheet: nothing
// before two characters, a "0" before any other number.
template <typename Text> QLatin1String zeroBefore(Text number)
{
    return QLatin1String(number.size() == 2 ? "" : "0");
}

// The form of each line of the cue sheet, stated once for the scan's pieces
// and the model's lines alike; \a zero goes before the number.
template <typename Number, typename Mode, typename Flags>
void appendPieceOf(QString &cueSheet, LineRule rule, QLatin1String zero, const Number &number,
    const Mode &mode, qint64 sectors, const Flags &flags)
{
    // Each piece appended in one go: the cue sheet grows once a line.
    const QLatin1String lineEnd("\r\n");
    switch (rule) {
    case LineRule::Track:
        cueSheet += QLatin1String("  TRACK ") % zero % number;
        break;
    case LineRule::Mode:
        if (!mode.isEmpty())
            cueSheet += QLatin1Char(' ') % mode % lineEnd;
        break;
    case LineRule::Index:
        cueSheet += QLatin1String("    INDEX ") % zero % number % QLatin1Char(' ')
            % Msf(sectors).text() % lineEnd;
        break;
    case LineRule::Flags:
        cueSheet += QLatin1String("    FLAGS") % flags % lineEnd;
        break;
    case LineRule::None:
        break;
    }
}

template <typename Text> void appendPiece(QString &cueSheet, const BasicRuledLine<Text> &line)
{
    const QLatin1String mode = line.rule == LineRule::Mode ? modeOf(line.value) : QLatin1String();
    const qint64 sectors = line.rule == LineRule::Index ? sectorCountIn(line.value) : -1;
    appendPieceOf(
        cueSheet, line.rule, zeroBefore(line.number), line.number, mode, sectors, line.value);
}

} // namespace

qsizetype keywordAt(QByteArrayView line, std::string_view keyword)
{
    return find(line, keyword);
}

qsizetype keywordAt(QStringView line, std::string_view keyword)
{
    return find(line, keyword);
}

Keyword firstKeyword(QByteArrayView line)
{
    return firstKeywordIn(line);
}

RuledLine piecesOf(QStringView line, Keyword keyword)
{
    return piecesIn(line, keyword);
}

BasicRuledLine<QLatin1String> piecesOf(QLatin1String line, Keyword keyword)
{
    return piecesIn(line, keyword);
}

RuledLine ruleOf(QStringView line)
{
    return piecesIn(line, firstKeywordIn(line));
}

std::optional<Misreading> misreadingOf(QStringView line)
{
    QString intended = intendedForm(line);
    if (intended.isEmpty() || intended == line)
        return std::nullopt;
    const RuledLine ruled = ruleOf(line);
    QString given = cuePieceOf(ruled);
    if (ruled.rule != LineRule::None && ruled.rule == ruleOf(intended).rule
        && given.simplified() == cuePieceOf(ruleOf(intended)).simplified())
        return std::nullopt;
    return Misreading{ std::move(intended), std::move(given), ruled.rule != LineRule::None };
}

QString cueNumber(QStringView number)
{
    return zeroBefore(number) % number;
}

void appendCuePiece(QString &cueSheet, const RuledLine &line)
{
    appendPiece(cueSheet, line);
}

void appendCuePiece(QString &cueSheet, QLatin1String line, Keyword keyword)
{
    appendPiece(cueSheet, piecesIn(line, keyword));
}

void appendCueLine(QString &cueSheet, LineRule rule, QStringView number, QStringView mode,
    qint64 sectors, QStringView flags)
{
    appendPieceOf(cueSheet, rule, QLatin1String(), number, mode, sectors, flags);
}

QString cuePieceOf(const RuledLine &line)
{
    QString text;
    appendPiece(text, line);
    if (text.endsWith(u"\r\n"))
        text.chop(2);
    return text;
}

} // namespace morvant
