#include "fileSystem.h"

#include "translation.h"

#include <QDir>

#include <algorithm>

namespace morvant {

namespace {

// How a message writes a character that must not reach a terminal or a code
// page as it is: \u001b, \u30b2.
QString escaped(QChar c)
{
    return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

// A control character could act on a terminal; a line feed that the text
// keeps is a line end of the message's own.
bool isControl(QChar c, bool keepsLineFeeds)
{
    return c.category() == QChar::Other_Control && !(keepsLineFeeds && c == u'\n');
}

QString shown(const QString &text, bool keepsLineFeeds)
{
    // Most texts hold neither an escaped byte nor a control character.
    if (std::none_of(text.begin(), text.end(),
            [&](QChar c) { return c.isSurrogate() || isControl(c, keepsLineFeeds); }))
        return text;
    QString result;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        if (const int byte = escapedByte(text, at); byte >= 0)
            result += QStringLiteral("\\x") + QString::number(byte, 16).toUpper();
        else if (isControl(c, keepsLineFeeds))
            result += escaped(c);
        else
            result += c;
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
