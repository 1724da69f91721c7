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
