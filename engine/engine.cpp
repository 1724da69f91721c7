#include "engine.h"

#include "controlFile.h"
#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <array>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

QString fileErrorTitle()
{
    return tr("File Error");
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

// Inline, so that the conversion reads and writes a time in one go.
inline qint64 readSectorCount(QStringView sectors)
{
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
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
        return -1;
    qint64 n = 0;
    for (; i < end; ++i) {
        const char16_t c = sectors[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
        if (n > std::numeric_limits<qint32>::max())
            return -1;
    }
    return negative && n != 0 ? -1 : n;
}

inline Msf msfOf(qint64 sectors)
{
    Msf msf;
    if (sectors < 0 || sectors > std::numeric_limits<qint32>::max())
        return msf;
    const auto sectorCount = static_cast<quint32>(sectors);
    msf.put(sectorCount / 4500);
    msf.chars[msf.size++] = ':';
    msf.put(sectorCount / 75 % 60);
    msf.chars[msf.size++] = ':';
    msf.put(sectorCount % 75);
    return msf;
}

void appendCueNumber(QString &cueSheet, QStringView number)
{
    if (number.size() != 2)
        cueSheet += u'0';
    cueSheet += number;
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

QString imageName(const QString &path, QChar separator)
{
    const qsizetype nameStart = path.lastIndexOf(separator) + 1;
    return path.mid(nameStart, qMax<qsizetype>(path.size() - nameStart - 4, 0));
}

qint64 sectorCount(QStringView sectors)
{
    return readSectorCount(sectors);
}

QString sectorCountToMsf(qint64 sectors)
{
    const Msf msf = msfOf(sectors);
    return msf.size > 0 ? QString(msf.text()) : QString();
}

QString cueNumber(QStringView number)
{
    QString text;
    appendCueNumber(text, number);
    return text;
}

void appendCuePiece(QString &cueSheet, const RuledLine &line)
{
    switch (line.rule) {
    case LineRule::Track:
        cueSheet += u"  TRACK ";
        appendCueNumber(cueSheet, line.number);
        break;
    case LineRule::Mode:
        if (const QLatin1String mode = modeOf(line.value); !mode.isEmpty()) {
            cueSheet += u' ';
            cueSheet += mode;
            cueSheet += u"\r\n";
        }
        break;
    case LineRule::Index:
        cueSheet += u"    INDEX ";
        appendCueNumber(cueSheet, line.number);
        cueSheet += u' ';
        cueSheet += msfOf(readSectorCount(line.value)).text();
        cueSheet += u"\r\n";
        break;
    case LineRule::Flags:
        cueSheet += u"    FLAGS";
        cueSheet += line.value;
        cueSheet += u"\r\n";
        break;
    case LineRule::None:
        break;
    }
}

ConvertedFile convertControlFile(const QString &path, bool withCdText,
    const LineHandler &alsoEachLine, QChar separator, bool rebuild)
{
    ConvertedFile converted;
    const QString fileLine = QStringLiteral("FILE \"") + imageName(path, separator)
        + QStringLiteral(".img\" BINARY\r\n");
    QString cueSheet = fileLine;
    bool hasTrackLines = false;
    const auto take = [&](const ControlFileLine &line) {
        appendCuePiece(cueSheet, line.ruled);
        hasTrackLines = hasTrackLines || line.ruled.rule == LineRule::Track;
        if (alsoEachLine)
            alsoEachLine(line);
    };
    converted.outcome = scanControlFile(path, take, withCdText || alsoEachLine || rebuild);
    if (converted.outcome.refusal != Refusal::None)
        return converted;

    if (rebuild && !hasTrackLines) {
        converted.isRebuilt = true;
        converted.rebuilt = rebuildTracks(path, converted.outcome.sections, separator);
        cueSheet = fileLine + cueLinesOf(converted.rebuilt.tracks);
    }

    if (withCdText && converted.outcome.sections.hasCdText) {
        QList<QByteArray> packs;
        if (cdTextPacks(converted.outcome.sections.cdText, &packs, &converted.cdTextError)
            && decodeCdText(packs, &converted.cdText, &converted.cdTextError))
            cueSheet = addCdText(cueSheet, converted.cdText);
    }
    converted.cueSheet = cueSheet;
    return converted;
}

QString ccdToCue(const QString &path, const ShowMessage &showMessage, QChar separator)
{
    const ConvertedFile converted = convertControlFile(path, false, {}, separator);
    if (converted.outcome.refusal != Refusal::None)
        showRefusal(showMessage, path, converted.outcome);
    return converted.cueSheet;
}

namespace {

QString cdTextLeftOut(const QString &error)
{
    return tr("CD-Text left out, it cannot be decoded: %1").arg(error);
}

} // namespace

QString ccdToCueWithCdText(
    const QString &path, const ShowMessage &showMessage, QString *warning, QChar separator)
{
    const ConvertedFile converted = convertControlFile(path, true, {}, separator);
    if (converted.outcome.refusal != Refusal::None)
        showRefusal(showMessage, path, converted.outcome);
    else if (!converted.cdTextError.isEmpty())
        *warning = cdTextLeftOut(converted.cdTextError);
    return converted.cueSheet;
}

QString ccdToCueRebuilt(const QString &path, const ShowMessage &showMessage, bool withCdText,
    QStringList *warnings, QChar separator)
{
    const ConvertedFile converted = convertControlFile(path, withCdText, {}, separator, true);
    if (converted.outcome.refusal != Refusal::None) {
        showRefusal(showMessage, path, converted.outcome);
        return {};
    }
    for (const RebuildRemark &remark : converted.rebuilt.remarks)
        *warnings << remark.message;
    if (!converted.cdTextError.isEmpty())
        *warnings << cdTextLeftOut(converted.cdTextError);
    return converted.cueSheet;
}

QString sectorsToMsf(const QString &sectors)
{
    return sectorCountToMsf(sectorCount(sectors));
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
