#pragma once

#include <QByteArrayView>
#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

namespace morvant {

// The rules by which a control file's lines become the cue sheet's, each
// stated once, for the conversion, --check and --rebuild alike.

/// The rule that a line fits: the first whose keyword the line holds, in this order.
enum class LineRule { None, Track, Mode, Index, Flags };

/// A line read by the rule it fits: what the rule takes from the line's fixed
/// positions. The pieces view the line's text, or, for a plain ASCII line, its bytes.
template <typename Text> struct BasicRuledLine
{
    LineRule rule = LineRule::None;
    Text number; ///< of a track or an index, as the line writes it
    /// a mode line's text after "MODE=", an index line's after its first "=",
    /// a flags line's from its 7th character on
    Text value;
};
using RuledLine = BasicRuledLine<QStringView>;

/// The first keyword that a line holds, in the rules' order, and where it ends.
struct Keyword
{
    LineRule rule = LineRule::None;
    qsizetype end = 0;
};

/** Where the ASCII \a keyword first stands in \a line; -1 when nowhere. */
qsizetype keywordAt(QByteArrayView line, std::string_view keyword);
qsizetype keywordAt(QStringView line, std::string_view keyword);

/** The first of the rules' keywords that \a line holds. Every 8-bit code
    page writes ASCII as itself, so a line's bytes lack a keyword when its
    text does. */
Keyword firstKeyword(QByteArrayView line);

/** The pieces that the rule of \a keyword, found in \a line, takes from it;
    they point into \a line. */
RuledLine piecesOf(QStringView line, Keyword keyword);
BasicRuledLine<QLatin1String> piecesOf(QLatin1String line, Keyword keyword);

/** Reads \a line by the rules; the pieces point into \a line. */
RuledLine ruleOf(QStringView line);

/// A keyword line edited by hand that the rules read otherwise than it is meant.
struct Misreading
{
    QString intended; ///< the line as it would be written for the rules to read it as meant
    QString given; ///< what the line as written gives the cue sheet, without a line end
    bool isRead = false; ///< whether the line as written fits a rule at all
};

/** How the rules misread \a line, a keyword line in another case or with
    other blanks than the rules expect. Nothing when the line is written as
    meant, is no keyword line, or differs only by blanks that the conversion
    absorbs (INDEX 1= 0). */
std::optional<Misreading> misreadingOf(QStringView line);

/** The mode that a mode line's value chooses by its last character: "AUDIO",
    "MODE1/2352", "MODE2/2352", or the empty text for any other. */
template <typename Text> QLatin1String modeOf(const Text &value)
{
    switch (value.isEmpty() ? 0 : QChar(value.back()).unicode()) {
    case u'0':
        return QLatin1String("AUDIO");
    case u'1':
        return QLatin1String("MODE1/2352");
    case u'2':
        return QLatin1String("MODE2/2352");
    default:
        return {};
    }
}

/** A track's or an index's number as the cue sheet writes it: two characters
    as they are, any other number with a "0" before it. */
QString cueNumber(QStringView number);

/** Appends to \a cueSheet what \a line gives it. A track line gets no line
    end of its own: the mode line after it completes the line. */
void appendCuePiece(QString &cueSheet, const RuledLine &line);

/** Appends to \a cueSheet what the plain ASCII \a line, holding \a keyword,
    gives it: the pieces taken from its bytes, widened only as they are
    appended, in one step for the commonest line of a control file. */
void appendCuePiece(QString &cueSheet, QLatin1String line, Keyword keyword);

/** Appends to \a cueSheet the line of \a rule that a model of the sheet
    holds: the \a number of a track or an index as the sheet writes it
    ("01"), the \a mode of a mode line (nothing when empty), the \a sectors of
    an index, the \a flags text of a flags line. */
void appendCueLine(QString &cueSheet, LineRule rule, QStringView number, QStringView mode,
    qint64 sectors, QStringView flags);

/** The text that \a line gives the cue sheet, without a line end. */
QString cuePieceOf(const RuledLine &line);

} // namespace morvant
