#include "engine.h"

#include "lineReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <array>
#include <limits>
#include <string_view>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
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

// The rules: the first whose keyword a line holds, in this order, decides
// what the line gives.
enum class Rule { Track, Mode, Index, Flags, None };

bool contains(QByteArrayView line, std::string_view keyword)
{
    // Inlined memchr and memcmp: far cheaper on short lines than a general search.
    return std::string_view(line.data(), static_cast<size_t>(line.size())).find(keyword)
        != std::string_view::npos;
}

bool contains(QStringView line, std::string_view keyword)
{
    return line.contains(QLatin1String(keyword.data(), static_cast<qsizetype>(keyword.size())));
}

template <typename Text> Rule ruleOf(Text line)
{
    return contains(line, "[TRACK") ? Rule::Track
        : contains(line, "MODE=")   ? Rule::Mode
        : contains(line, "INDEX ")  ? Rule::Index
        : contains(line, "FLAGS=")  ? Rule::Flags
                                    : Rule::None;
}

bool isAscii(QByteArrayView line)
{
    unsigned char bits = 0;
    for (const char c : line)
        bits |= static_cast<unsigned char>(c);
    return bits < 0x80;
}

// Lines are handled as QLatin1String when they are plain ASCII, where a byte
// is a character, and as decoded QStringView otherwise; the rules below are
// written once for both.

// Positions in the rules count from 1, as the control file's fields are
// described; 0 stands for "not found".
template <typename Text> qsizetype position(Text line, char c)
{
    for (qsizetype at = 0; at < line.size(); ++at) {
        if (QChar(line[at]) == QLatin1Char(c))
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

// An MM:SS:FF time: no more than "2147483647" sectors, 12 characters.
struct Msf
{
    std::array<char, 16> chars{};
    qsizetype size = 0;

    QLatin1String text() const { return QLatin1String(chars.data(), size); }

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
};

template <typename Text> Msf msfOf(Text sectors)
{
    const auto at = [sectors](qsizetype i) { return QChar(sectors[i]).unicode(); };
    const auto isBlank = [&at](qsizetype i) { return at(i) == u' ' || at(i) == u'\t'; };
    qsizetype i = 0;
    qsizetype end = sectors.size();
    while (i < end && isBlank(i))
        ++i;
    while (end > i && isBlank(end - 1))
        --end;
    bool negative = false;
    if (i < end && (at(i) == u'+' || at(i) == u'-'))
        negative = at(i++) == u'-';
    Msf msf;
    if (i == end)
        return msf;

    qint64 n = 0;
    for (; i < end; ++i) {
        const char16_t c = at(i);
        if (c < u'0' || c > u'9')
            return msf;
        n = n * 10 + (c - u'0');
        if (n > std::numeric_limits<qint32>::max())
            return msf;
    }
    if (negative && n != 0)
        return msf;

    const auto sectorCount = static_cast<quint32>(n);
    msf.put(sectorCount / 4500);
    msf.chars[msf.size++] = ':';
    msf.put(sectorCount / 75 % 60);
    msf.chars[msf.size++] = ':';
    msf.put(sectorCount % 75);
    return msf;
}

// A track line gives no line end of its own: its MODE line completes it.
template <typename Text> void appendLine(QString &cueSheet, Text line, Rule rule)
{
    switch (rule) {
    case Rule::Track: {
        const Text number = part(line, 7, line.size() - position(line, ' ') - 1);
        cueSheet += number.size() == 2 ? u"  TRACK " : u"  TRACK 0";
        cueSheet += number;
        break;
    }
    case Rule::Mode:
        switch (QChar(line.back()).unicode()) {
        case u'0':
            cueSheet += u" AUDIO\r\n";
            break;
        case u'1':
            cueSheet += u" MODE1/2352\r\n";
            break;
        case u'2':
            cueSheet += u" MODE2/2352\r\n";
            break;
        default:
            break;
        }
        break;
    case Rule::Index: {
        const qsizetype equals = position(line, '=');
        const Text number = part(line, 6, equals - position(line, ' ') - 1);
        cueSheet += number.size() == 2 ? u"    INDEX " : u"    INDEX 0";
        cueSheet += number;
        cueSheet += u' ';
        if (equals > 0)
            cueSheet += msfOf(line.sliced(equals)).text();
        cueSheet += u"\r\n";
        break;
    }
    case Rule::Flags:
        cueSheet += u"    FLAGS";
        cueSheet += part(line, 6, line.size());
        cueSheet += u"\r\n";
        break;
    case Rule::None:
        break;
    }
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
#ifdef Q_OS_WIN
    // The volume and the file's index, as for stat() above: a hard link, a
    // short 8.3 name or another letter case still names the same file.
    const auto fileId = [](const QString &path, BY_HANDLE_FILE_INFORMATION *information) {
        const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
            FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        const bool known = GetFileInformationByHandle(handle, information);
        CloseHandle(handle);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION idA = {};
    BY_HANDLE_FILE_INFORMATION idB = {};
    if (fileId(a, &idA) && fileId(b, &idB))
        return idA.dwVolumeSerialNumber == idB.dwVolumeSerialNumber
            && idA.nFileIndexHigh == idB.nFileIndexHigh && idA.nFileIndexLow == idB.nFileIndexLow;
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
        if (!contains(bytes, "Sessions="))
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
        // Keywords are ASCII, and every 8-bit code page writes ASCII as
        // itself, so a line that lacks a keyword's bytes lacks the keyword:
        // only the lines that have them are worth decoding. Decoding then
        // decides, because in a double-byte code page the bytes may straddle
        // characters.
        const Rule rule = ruleOf(bytes);
        if (rule == Rule::None)
            continue;
        if (isAscii(bytes)) {
            appendLine(cueSheet, QLatin1String(bytes.data(), bytes.size()), rule);
        } else {
            const QString line = QString::fromLocal8Bit(bytes);
            appendLine(cueSheet, QStringView(line), ruleOf(QStringView(line)));
        }
    }
    if (result != LineReader::Result::End)
        return refuse(result);
    return cueSheet;
}

QString sectorsToMsf(const QString &sectors)
{
    const Msf msf = msfOf(QStringView(sectors));
    return msf.size > 0 ? QString(msf.text()) : QString();
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
