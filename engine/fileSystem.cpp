#include "fileSystem.h"

#include <QDir>

QString shownPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    QString shown;
    for (qsizetype at = 0; at < native.size(); ++at) {
        const QChar c = native[at];
        if (const int byte = escapedByte(native, at); byte >= 0)
            shown += QStringLiteral("\\x") + QString::number(byte, 16).toUpper();
        else if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
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
                bytes +=
                    QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toLatin1();
        }
        at += size;
    }
    return bytes;
}
