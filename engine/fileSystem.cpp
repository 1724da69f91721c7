#include "fileSystem.h"

#include "translation.h"

#include <QDir>

#include <algorithm>

namespace morvant {

namespace {

// How a message writes a character that must not reach a terminal or a code
// page as it is: \u001b, \u30b2; one outside the BMP as its two halves.
QString escaped(QChar c)
{
    return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

// A control character could act on a terminal, and a line end from a file
// would start a line of its own; a format character (U+202E, which shows what
// follows from right to left, U+2066 to U+2069, U+200B) or a line separator
// shows text otherwise than it is, or not at all.
bool isEscaped(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

/// The character at \a at of \a text, and how many of its units it takes.
char32_t characterAt(QStringView text, qsizetype at, qsizetype *size)
{
    if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        *size = 2;
        return QChar::surrogateToUcs4(text[at], text[at + 1]);
    }
    *size = 1;
    return text[at].unicode();
}

// \a keepsLineFeeds: a line feed that the text keeps is a line end of the message's own.
QString shown(const QString &text, bool keepsLineFeeds)
{
    const auto isShownAsIs = [&](QChar c) {
        return !c.isSurrogate() && !(isEscaped(c.unicode()) && !(keepsLineFeeds && c == u'\n'));
    };
    // Most texts hold neither an escaped byte nor a character to escape.
    if (std::all_of(text.begin(), text.end(), isShownAsIs))
        return text;
    QString result;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype size = 1;
        const char32_t c = characterAt(text, at, &size);
        if (const int byte = escapedByte(text, at); byte >= 0) {
            result += QStringLiteral("\\x") + QString::number(byte, 16).toUpper();
        } else if (isEscaped(c) && !(keepsLineFeeds && c == u'\n')) {
            for (qsizetype unit = at; unit < at + size; ++unit)
                result += escaped(text[unit]);
        } else {
            result += QStringView(text).sliced(at, size);
        }
        at += size;
    }
    return result;
}

} // namespace

QString shownPath(const QString &path)
{
    return shown(QDir::toNativeSeparators(path), false);
}

QString shownText(const QString &text)
{
    return shown(text, true);
}

QString shownLine(const QString &text)
{
    return shown(text, false);
}

QByteArray shownJson(const QByteArray &json)
{
    // Inside a string: what JSON leaves as it is, C0 controls and the
    // structure's own line ends being escaped or ASCII already.
    const auto isLeft = [](char32_t c) { return c < 0x7F || !isEscaped(c); };
    const QString text = QString::fromUtf8(json);
    if (std::all_of(text.begin(), text.end(), [&](QChar c) { return isLeft(c.unicode()); }))
        return json;
    QString result;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype size = 1;
        const char32_t c = characterAt(text, at, &size);
        for (qsizetype unit = at; unit < at + size; ++unit)
            result += isLeft(c) ? QString(text[unit]) : escaped(text[unit]);
        at += size;
    }
    return result.toUtf8();
}

QString lostBytesReason()
{
    return tr("Its name holds bytes that are not UTF-8, which the window cannot open; "
              "convert it from the command line, or rename the file.");
}

QString notAFile(const FileStatus &status)
{
    return tr("it is %1, not a file").arg(status.kind);
}

bool fitsSystemBytes(QStringView text)
{
    bool isExact = false;
    toSystemBytes(text, &isExact);
    return isExact;
}

QByteArray toShownBytes(QStringView text)
{
    bool isExact = false;
    QByteArray bytes = toSystemBytes(text, &isExact);
    if (isExact)
        return bytes;
    bytes.clear();
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype size =
            at + 1 < text.size() && text[at].isHighSurrogate() && text[at + 1].isLowSurrogate() ? 2
                                                                                                : 1;
        const QStringView character = text.sliced(at, size);
        const QByteArray one = toSystemBytes(character, &isExact);
        if (isExact) {
            bytes += one;
        } else {
            for (const QChar c : character)
                bytes += escaped(c).toLatin1();
        }
        at += size;
    }
    return bytes;
}

} // namespace morvant
