#include "engine.h"

#include "controlFile.h"
#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStringBuilder>
#include <QStringEncoder>

#include <array>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// Inline, so that the conversion reads and writes a time in one go; of the
// text of a line, or of the bytes of a plain ASCII line.
template <typename Text> qint64 readSectorCount(Text sectors)
{
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype i = 0;
    qsizetype end = sectors.size();
    while (i < end && isBlank(sectors[i]))
        ++i;
    while (end > i && isBlank(sectors[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (QChar(sectors[i]) == u'+' || QChar(sectors[i]) == u'-'))
        negative = QChar(sectors[i++]) == u'-';
    if (i == end)
        return -1;
    qint64 n = 0;
    for (; i < end; ++i) {
        const char16_t c = QChar(sectors[i]).unicode();
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

// What goes before a track's or an index's number in the cue sheet: nothing
// before two characters, a "0" before any other number.
template <typename Text> QLatin1String zeroBefore(Text number)
{
    return QLatin1String(number.size() == 2 ? "" : "0");
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
    return zeroBefore(number) % number;
}

namespace {

template <typename Text> void appendPiece(QString &cueSheet, const BasicRuledLine<Text> &line)
{
    // Each piece appended in one go: the cue sheet grows once a line.
    const QLatin1String lineEnd("\r\n");
    switch (line.rule) {
    case LineRule::Track:
        cueSheet += QLatin1String("  TRACK ") % zeroBefore(line.number) % line.number;
        break;
    case LineRule::Mode:
        if (const QLatin1String mode = modeOf(line.value); !mode.isEmpty())
            cueSheet += QLatin1Char(' ') % mode % lineEnd;
        break;
    case LineRule::Index:
        cueSheet += QLatin1String("    INDEX ") % zeroBefore(line.number) % line.number
            % QLatin1Char(' ') % msfOf(readSectorCount(line.value)).text() % lineEnd;
        break;
    case LineRule::Flags:
        cueSheet += QLatin1String("    FLAGS") % line.value % lineEnd;
        break;
    case LineRule::None:
        break;
    }
}

} // namespace

void appendCuePiece(QString &cueSheet, const RuledLine &line)
{
    appendPiece(cueSheet, line);
}

void appendCuePiece(QString &cueSheet, const BasicRuledLine<QLatin1String> &line)
{
    appendPiece(cueSheet, line);
}

QString cuePieceOf(const RuledLine &line)
{
    QString text;
    appendCuePiece(text, line);
    if (text.endsWith(u"\r\n"))
        text.chop(2);
    return text;
}

ConvertedFile convertControlFile(const QString &path, bool withCdText,
    const LineHandler &alsoEachLine, QChar separator, bool rebuild)
{
    ConvertedFile converted;
    const QString fileLine = QStringLiteral("FILE \"") + imageName(path, separator)
        + QStringLiteral(".img\" BINARY\r\n");
    QString cueSheet = fileLine;
    converted.outcome =
        scanControlFile(path, cueSheet, alsoEachLine, withCdText || alsoEachLine || rebuild);
    if (converted.outcome.refusal != Refusal::None)
        return converted;

    if (rebuild && !converted.outcome.hasTrackLines) {
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

// Encoded a piece at a time, so that a large cue sheet is not held twice in
// memory; a piece never ends between the two halves of a surrogate pair.
bool writeText(QFileDevice &file, const QString &text)
{
    QStringEncoder encoder(QStringEncoder::System);
    constexpr qsizetype pieceSize = 64 * 1024;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype size = qMin(pieceSize, text.size() - at);
        if (at + size < text.size() && text[at + size - 1].isHighSurrogate())
            ++size;
        const QByteArray bytes = encoder.encode(QStringView(text).mid(at, size));
        if (!writeAll(file, bytes))
            return false;
        at += size;
    }
    return writeAll(file, "\r\n");
}

#ifdef Q_OS_UNIX

// The temporary file being written, for the signal handler: one at a time.
std::array<char, PATH_MAX + 1> temporaryName{};
volatile std::sig_atomic_t hasTemporaryName = 0;
constexpr std::array<int, 3> interruptions{ SIGTERM, SIGINT, SIGHUP };

extern "C" void removeTemporaryFile(int signal)
{
    if (hasTemporaryName != 0)
        ::unlink(temporaryName.data());
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Keeps the interruptions out while the temporary file's name is taken or
// given up, so that the handler never sees half a name.
class InterruptionsHeld
{
public:
    InterruptionsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : interruptions)
            sigaddset(&held, signal);
        ::sigprocmask(SIG_BLOCK, &held, &before);
    }
    ~InterruptionsHeld() { ::sigprocmask(SIG_SETMASK, &before, nullptr); }
    InterruptionsHeld(const InterruptionsHeld &) = delete;
    InterruptionsHeld &operator=(const InterruptionsHeld &) = delete;

private:
    sigset_t before{};
};

// The temporary file in the folder of the .cue. Where the system allows, it
// has no name until it is complete, so that nothing is left behind even by
// SIGKILL or a power cut; otherwise it is named at once and removed again
// should an interruption end the program before it is renamed. Its name is
// short, so that it fits wherever the .cue's own name does.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QByteArray &folder) : folder(folder)
    {
        for (std::size_t i = 0; i < interruptions.size(); ++i) {
            struct sigaction handler = {};
            handler.sa_handler = removeTemporaryFile;
            sigemptyset(&handler.sa_mask);
            ::sigaction(interruptions[i], nullptr, &previous[i]);
            // An interruption that the program was started to ignore stays ignored.
            if (previous[i].sa_handler != SIG_IGN)
                ::sigaction(interruptions[i], &handler, nullptr);
        }
        if (folder.size() + qsizetype(qstrlen(namePattern)) >= qsizetype(temporaryName.size())) {
            errorNumber = ENAMETOOLONG;
            return;
        }
#ifdef O_TMPFILE
        // Naming the unnamed file at the end goes through /proc, which may be missing.
        if (::access("/proc/self/fd", X_OK) == 0) {
            descriptor = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            if (descriptor >= 0)
                return;
        }
#endif
        const InterruptionsHeld held;
        QByteArray name = folder + namePattern;
        descriptor = ::mkstemp(name.data());
        errorNumber = errno;
        if (descriptor >= 0)
            keepName(name);
    }

    ~TemporaryFile()
    {
        {
            const InterruptionsHeld held;
            if (hasTemporaryName != 0)
                ::unlink(temporaryName.data());
            hasTemporaryName = 0;
        }
        for (std::size_t i = 0; i < interruptions.size(); ++i)
            ::sigaction(interruptions[i], &previous[i], nullptr);
    }

    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int descriptor = -1;
    int errorNumber = 0;

    /// Renames the file to \a path, replacing what is there; false with errno set.
    bool renameTo(const QByteArray &path)
    {
        const InterruptionsHeld held;
        if ((hasTemporaryName == 0 && !giveName())
            || ::rename(temporaryName.data(), path.constData()) != 0)
            return false;
        hasTemporaryName = 0;
        return true;
    }

private:
    static constexpr const char *namePattern = "/.morvant-XXXXXX";

    static void keepName(const QByteArray &name)
    {
        std::copy(name.cbegin(), name.cend(), temporaryName.begin());
        temporaryName[std::size_t(name.size())] = '\0';
        hasTemporaryName = 1;
    }

    // rename() needs a name to put in place of the .cue: the unnamed file gets
    // one that is free, as mkstemp() would choose it.
    bool giveName() const
    {
        const QByteArray source = "/proc/self/fd/" + QByteArray::number(descriptor);
        constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray name = folder + namePattern;
            for (qsizetype i = name.size() - 6; i < name.size(); ++i)
                name[i] = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
            if (::linkat(
                    AT_FDCWD, source.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW)
                == 0) {
                keepName(name);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    QByteArray folder;
    std::array<struct sigaction, interruptions.size()> previous{};
};

#endif

} // namespace

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
#ifdef Q_OS_UNIX
    // Not QSaveFile: its temporary file is named after the .cue, which no longer
    // fits when the .cue's name is near the file system's limit, and it is
    // left behind when an interruption ends the program mid-write.
    const QFileInfo existing(path);
    if (existing.isDir()) {
        *error = tr("Filename refers to a directory");
        return false;
    }
    if (existing.exists() && !existing.isWritable()) {
        *error = tr("Existing file %1 is not writable").arg(QDir::toNativeSeparators(path));
        return false;
    }
    const QByteArray target = QFile::encodeName(path);
    struct stat earlier = {};
    mode_t mode = 0;
    if (::stat(target.constData(), &earlier) == 0) {
        mode = earlier.st_mode & 07777;
    } else {
        // Read back at once; the program writes from one thread only.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    TemporaryFile temporary(QFile::encodeName(existing.absolutePath()));
    if (temporary.descriptor < 0) {
        *error = qt_error_string(temporary.errorNumber);
        return false;
    }
    QFile file;
    // Unbuffered: a failed write gives its own reason ("No space left on
    // device") at once rather than "Unknown error" when it is closed.
    if (!file.open(temporary.descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
            QFileDevice::AutoCloseHandle)) {
        ::close(temporary.descriptor);
        *error = file.errorString();
        return false;
    }
    if (!writeText(file, text)) {
        *error = file.errorString();
        return false;
    }
    // fsync() as QSaveFile does: on a network file system a full disk may show
    // only here. EINVAL: a file system that cannot sync, nothing lost.
    if (::fchmod(file.handle(), mode) != 0 || (::fsync(file.handle()) != 0 && errno != EINVAL)) {
        *error = qt_error_string(errno);
        return false;
    }
    // Renamed while still open: an unnamed file is named through its descriptor.
    if (!temporary.renameTo(target)) {
        *error = qt_error_string(errno);
        return false;
    }
    return true;
#else
    // QSaveFile writes beside the .cue and renames over it. Unbuffered: a
    // failed write gives its own reason ("No space left on device") at once;
    // behind the buffer it came out at commit as "Unknown error".
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeText(file, text)
        && file.commit())
        return true;
    *error = file.errorString();
    return false;
#endif
}

namespace {

// Why the cue sheet of \a inputPath must not go to \a cuePath, or the empty
// text. The file written would otherwise be wherever a link leads: the saving
// would replace whatever it points to, or create a file through a dangling one.
QString writeRefusal(const QString &inputPath, const QString &cuePath)
{
    if (sameFile(inputPath, cuePath))
        return tr("It is the control file itself, which is never overwritten.");
    if (sameFile(
            cuePath.chopped(qMin<qsizetype>(4, cuePath.size())) + QStringLiteral(".img"), cuePath))
        return tr("It is the disc image that the cue sheet names, which is never overwritten.");
    const QFileInfo cue(cuePath);
    if (!cue.isSymbolicLink())
        return {};
    const QString target = QDir::toNativeSeparators(cue.symLinkTarget());
    if (!cue.exists())
        return tr("It is a link to %1, which does not exist; no file is created through a "
                  "dangling link.")
            .arg(target);
    return tr("It is a link to %1; a link is left alone, and so is the file it leads to. "
              "Remove the link to write the cue sheet here.")
        .arg(target);
}

} // namespace

bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage)
{
    QString error = writeRefusal(inputPath, cuePath);
    if (error.isEmpty() && writeCueFile(cuePath, text, &error))
        return true;
    showMessage(
        tr("Cannot write %1:\n%2").arg(QDir::toNativeSeparators(cuePath), error), fileErrorTitle());
    return false;
}
