#include "engine.h"

#include "lineReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

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
bool mayContain(QByteArrayView line, std::string_view keyword)
{
    // Inlined memchr and memcmp: far cheaper on short lines than a general search.
    return std::string_view(line.data(), static_cast<size_t>(line.size())).find(keyword)
        != std::string_view::npos;
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

// Which rule a line fits, tested in the rules' order, judged by its bytes.
enum class Rule { None, Track, Mode, Index, Flags };

Rule ruleOf(QByteArrayView line)
{
    if (mayContain(line, "[TRACK"))
        return Rule::Track;
    if (mayContain(line, "MODE="))
        return Rule::Mode;
    if (mayContain(line, "INDEX "))
        return Rule::Index;
    if (mayContain(line, "FLAGS="))
        return Rule::Flags;
    return Rule::None;
}

bool isAscii(QByteArrayView line)
{
    unsigned char bits = 0;
    for (const char c : line)
        bits |= static_cast<unsigned char>(c);
    return bits < 0x80;
}

// An MM:SS:FF time as plain ASCII: no more than "2147483647" sectors, 12 characters.
struct Msf
{
    std::array<char, 16> text{};
    qsizetype size = 0;

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
            text[size++] = digits[--count];
    }
};

// Shared by sectorsToMsf() and the conversion of plain ASCII lines, which so
// needs no 16-bit copy of the line: 8-bit and 16-bit text give the same time.
template <typename Char> Msf msfOf(const Char *sectors, qsizetype size)
{
    const auto isBlankChar = [](Char c) { return c == Char(' ') || c == Char('\t'); };
    qsizetype i = 0;
    qsizetype end = size;
    while (i < end && isBlankChar(sectors[i]))
        ++i;
    while (end > i && isBlankChar(sectors[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (sectors[i] == Char('+') || sectors[i] == Char('-')))
        negative = sectors[i++] == Char('-');
    Msf msf;
    if (i == end)
        return msf;

    qint64 n = 0;
    for (; i < end; ++i) {
        const Char c = sectors[i];
        if (c < Char('0') || c > Char('9'))
            return msf;
        n = n * 10 + (c - Char('0'));
        if (n > std::numeric_limits<qint32>::max())
            return msf;
    }
    if (negative && n != 0)
        return msf;

    const auto sectorCount = static_cast<quint32>(n);
    msf.put(sectorCount / 4500);
    msf.text[msf.size++] = ':';
    msf.put(sectorCount / 75 % 60);
    msf.text[msf.size++] = ':';
    msf.put(sectorCount % 75);
    return msf;
}

// The part of \a line from index \a from on, at most \a length bytes long;
// empty when \a from lies beyond the line or \a length is not positive.
QByteArrayView part(QByteArrayView line, qsizetype from, qsizetype length)
{
    if (from >= line.size() || length <= 0)
        return {};
    return line.sliced(from, qMin(length, line.size() - from));
}

qsizetype position(QByteArrayView line, char c)
{
    const auto *found = static_cast<const char *>(std::memchr(line.data(), c, line.size()));
    return found != nullptr ? found - line.data() + 1 : 0;
}

// appendLine() for a line of ASCII characters, where a character is a byte,
// without decoding the line: by far the most common case, and the one that
// makes large control files fast. \a piece is scratch space kept between lines.
void appendAsciiLine(QString &cueSheet, QByteArrayView line, Rule rule, std::string &piece)
{
    const auto add = [&piece](QByteArrayView text) { piece.append(text.data(), text.size()); };
    piece.clear();
    switch (rule) {
    case Rule::Track: {
        const QByteArrayView number = part(line, 7, line.size() - position(line, ' ') - 1);
        add(number.size() == 2 ? "  TRACK " : "  TRACK 0");
        add(number);
        break;
    }
    case Rule::Mode:
        switch (line.back()) {
        case '0':
            add(" AUDIO\r\n");
            break;
        case '1':
            add(" MODE1/2352\r\n");
            break;
        case '2':
            add(" MODE2/2352\r\n");
            break;
        default:
            return;
        }
        break;
    case Rule::Index: {
        const qsizetype equals = position(line, '=');
        const QByteArrayView number = part(line, 6, equals - position(line, ' ') - 1);
        const Msf time = equals > 0 ? msfOf(line.data() + equals, line.size() - equals) : Msf();
        add(number.size() == 2 ? "    INDEX " : "    INDEX 0");
        add(number);
        piece += ' ';
        piece.append(time.text.data(), time.size);
        add("\r\n");
        break;
    }
    case Rule::Flags:
        add("    FLAGS");
        add(part(line, 6, line.size()));
        add("\r\n");
        break;
    case Rule::None:
        return;
    }
    cueSheet.append(QLatin1String(piece.data(), static_cast<qsizetype>(piece.size())));
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

    // A longer first line is refused as soon as it is known to be longer, so
    // that a disc image chosen by mistake is not read any further.
    constexpr QByteArrayView firstLine("[CloneCD]");
    LineReader::Result result = reader.next(&bytes, firstLine.size());
    if (result != LineReader::Result::Line || bytes != firstLine)
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

    std::string piece;
    while ((result = reader.next(&bytes)) == LineReader::Result::Line) {
        const Rule rule = ruleOf(bytes);
        if (rule == Rule::None)
            continue;
        if (isAscii(bytes))
            appendAsciiLine(cueSheet, bytes, rule, piece);
        else
            appendLine(cueSheet, QString::fromLocal8Bit(bytes));
    }
    if (result != LineReader::Result::End)
        return refuse(result);
    return cueSheet;
}

QString sectorsToMsf(const QString &sectors)
{
    const Msf msf = msfOf(sectors.utf16(), sectors.size());
    return msf.size > 0 ? QString::fromLatin1(msf.text.data(), msf.size) : QString();
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

namespace {

// A short write is not a failure yet: the system tells why only when the rest
// is refused, as it is on a full disk. So the rest is tried again.
bool writeAll(QFileDevice &file, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 wrote = file.write(bytes.data(), bytes.size());
        if (wrote <= 0)
            return false;
        bytes = bytes.sliced(wrote);
    }
    return true;
}

} // namespace

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    // Unbuffered: a failed write gives its own reason ("No space left on
    // device") at once; behind the buffer it came out at commit as "Unknown error".
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    // Encoded a piece at a time, so that a large cue sheet is not held twice
    // in memory; a piece never ends between the two halves of a surrogate pair.
    QStringEncoder encoder(QStringEncoder::System);
    constexpr qsizetype pieceSize = 64 * 1024;
    for (qsizetype at = 0; written && at < text.size();) {
        qsizetype size = qMin(pieceSize, text.size() - at);
        if (at + size < text.size() && text[at + size - 1].isHighSurrogate())
            ++size;
        const QByteArray bytes = encoder.encode(QStringView(text).mid(at, size));
        written = writeAll(file, bytes);
        at += size;
    }
    if (written && writeAll(file, "\r\n") && file.commit())
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
