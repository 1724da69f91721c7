#include "engine.h"

#include "lineReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MORVANT", text);
}

QString fileErrorTitle()
{
    return tr("File Error");
}

QString notControlFileText()
{
    return tr("The input file doesn't seem to be a proper CCD file.");
}

QString readErrorText(const QString &path, const QString &reason)
{
    return tr("Cannot read %1:\n%2").arg(QDir::toNativeSeparators(path), reason);
}

// Keywords are ASCII, and every 8-bit code page writes ASCII as itself, so a
// line that lacks a keyword's bytes lacks the keyword: only the lines that
// have them are worth decoding. Decoding still decides, because in a
// double-byte code page the bytes may straddle characters.
bool mayContain(QByteArrayView line, QByteArrayView keyword)
{
    return line.size() >= keyword.size() && QByteArrayView(line).indexOf(keyword) >= 0;
}

// Positions in the rules below count from 1, as the control file's fields are
// described; 0 stands for "not found".
qsizetype position(const QString &line, QChar c)
{
    return line.indexOf(c) + 1;
}

// The part that follows a fixed position must never come out with a negative
// length; such a line gives an empty number instead.
QString numberAt(const QString &line, qsizetype from, qsizetype length)
{
    return line.mid(from - 1, qMax<qsizetype>(length, 0));
}

void appendLine(QString &cueSheet, const QString &line)
{
    if (line.contains(u"[TRACK")) {
        const QString number = numberAt(line, 8, line.size() - position(line, u' ') - 1);
        cueSheet += (number.size() == 2 ? QStringLiteral("  TRACK ") : QStringLiteral("  TRACK 0"))
            + number;
    } else if (line.contains(u"MODE=")) {
        switch (line.back().unicode()) {
        case u'0':
            cueSheet += QStringLiteral(" AUDIO\r\n");
            break;
        case u'1':
            cueSheet += QStringLiteral(" MODE1/2352\r\n");
            break;
        case u'2':
            cueSheet += QStringLiteral(" MODE2/2352\r\n");
            break;
        default:
            break;
        }
    } else if (line.contains(u"INDEX ")) {
        const qsizetype equals = position(line, u'=');
        const QString number = numberAt(line, 7, equals - position(line, u' ') - 1);
        const QString value = equals > 0 ? line.mid(equals) : QString();
        cueSheet +=
            (number.size() == 2 ? QStringLiteral("    INDEX ") : QStringLiteral("    INDEX 0"))
            + number + u' ' + sectorsToMsf(value) + QStringLiteral("\r\n");
    } else if (line.contains(u"FLAGS=")) {
        cueSheet += QStringLiteral("    FLAGS") + line.mid(6) + QStringLiteral("\r\n");
    }
}

bool mayFitARule(QByteArrayView line)
{
    return mayContain(line, "[TRACK") || mayContain(line, "MODE=") || mayContain(line, "INDEX ")
        || mayContain(line, "FLAGS=");
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.exists() || !infoB.exists())
        return false;
#ifdef Q_OS_UNIX
    // Compared on disk, not as text: a hard link or a second spelling of the
    // same path is still the same file.
    struct stat statA = {};
    struct stat statB = {};
    if (::stat(QFile::encodeName(a).constData(), &statA) == 0
        && ::stat(QFile::encodeName(b).constData(), &statB) == 0)
        return statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
#endif
    return infoA.canonicalFilePath().compare(infoB.canonicalFilePath(),
#ifdef Q_OS_WIN
               Qt::CaseInsensitive
#else
               Qt::CaseSensitive
#endif
               )
        == 0;
}

// Keeps at least the folder part of \a path: at most \a count characters of
// the file name after the last separator are dropped.
QString dropFromName(const QString &path, qsizetype count, QChar separator)
{
    const qsizetype nameLength = path.size() - (path.lastIndexOf(separator) + 1);
    return path.left(path.size() - qMin(count, nameLength));
}

} // namespace

QString ccdToCue(const QString &path, const ShowMessage &showMessage, QChar separator)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showMessage(readErrorText(path, file.errorString()), fileErrorTitle());
        return {};
    }
    LineReader reader(file);
    QByteArrayView bytes;

    const auto refuse = [&](LineReader::Result result) {
        if (result == LineReader::Result::ReadError)
            showMessage(readErrorText(path, file.errorString()), fileErrorTitle());
        else
            showMessage(notControlFileText(), fileErrorTitle());
        return QString();
    };

    LineReader::Result result = reader.next(&bytes);
    if (result != LineReader::Result::Line || bytes != "[CloneCD]")
        return refuse(result);

    // Whatever stands between the first line and the sessions line is passed over.
    for (;;) {
        result = reader.next(&bytes);
        if (result != LineReader::Result::Line)
            return refuse(result);
        if (!mayContain(bytes, "Sessions="))
            continue;
        const QString line = QString::fromLocal8Bit(bytes);
        const qsizetype at = line.indexOf(u"Sessions=");
        if (at < 0)
            continue;
        if (QStringView(line).mid(at + 9) != u"1") {
            showMessage(tr("Only single-session discs are supported."), tr("Disc Format Error"));
            return {};
        }
        break;
    }

    const qsizetype nameStart = path.lastIndexOf(separator) + 1;
    const QString imageName = path.mid(nameStart, qMax<qsizetype>(path.size() - nameStart - 4, 0));
    QString cueSheet = QStringLiteral("FILE \"") + imageName + QStringLiteral(".img\" BINARY\r\n");

    while ((result = reader.next(&bytes)) == LineReader::Result::Line) {
        if (mayFitARule(bytes))
            appendLine(cueSheet, QString::fromLocal8Bit(bytes));
    }
    if (result != LineReader::Result::End)
        return refuse(result);
    return cueSheet;
}

QString sectorsToMsf(const QString &sectors)
{
    qsizetype i = 0;
    qsizetype end = sectors.size();
    while (i < end && isBlank(sectors[i]))
        ++i;
    while (end > i && isBlank(sectors[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (sectors[i] == u'+' || sectors[i] == u'-'))
        negative = sectors[i++] == u'-';
    if (i == end)
        return {};

    qint64 n = 0;
    for (; i < end; ++i) {
        const char16_t c = sectors[i].unicode();
        if (c < u'0' || c > u'9')
            return {};
        n = n * 10 + (c - u'0');
        if (n > std::numeric_limits<qint32>::max())
            return {};
    }
    if (negative && n != 0)
        return {};

    const auto field = [](qint64 value) { return QString::number(value).rightJustified(2, u'0'); };
    return field(n / 4500) + u':' + field(n / 75 % 60) + u':' + field(n % 75);
}

QString cuePathForFile(const QString &path, QChar separator)
{
    return dropFromName(path, 4, separator) + QStringLiteral(".cue");
}

CommandLinePaths commandLinePaths(const QString &argument, QChar separator)
{
    const bool quoted = argument.size() >= 2 && argument.front() == u'"' && argument.back() == u'"';
    const QString inputPath = quoted ? argument.mid(1, argument.size() - 2) : argument;
    return { inputPath, cuePathForFile(inputPath, separator) };
}

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toLocal8Bit() + "\r\n";
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage)
{
    QString error;
    if (sameFile(inputPath, cuePath))
        error = tr("It is the control file itself, which is never overwritten.");
    else if (writeCueFile(cuePath, text, &error))
        return true;
    showMessage(
        tr("Cannot write %1:\n%2").arg(QDir::toNativeSeparators(cuePath), error), fileErrorTitle());
    return false;
}
