#include "engine.h"

#include "controlFile.h"
#include "fileSystem.h"
#include "translation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStringBuilder>

#include <array>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
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

#ifdef Q_OS_WIN
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.exists() || !infoB.exists())
        return false;
    // Compared on disk by the volume and the file's index, not as text: a hard
    // link, a short 8.3 name or another letter case still names the same file.
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
    return infoA.canonicalFilePath().compare(infoB.canonicalFilePath(), Qt::CaseInsensitive) == 0;
}
#endif

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
    constexpr qsizetype pieceSize = 64 * 1024;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype size = qMin(pieceSize, text.size() - at);
        if (at + size < text.size() && text[at + size - 1].isHighSurrogate())
            ++size;
        const QByteArray bytes = toSystemBytes(QStringView(text).mid(at, size));
        if (!writeAll(file, bytes))
            return false;
        at += size;
    }
    return writeAll(file, "\r\n");
}

#ifdef Q_OS_UNIX

// The temporary file being written, for the signal handler: one at a time,
// named in the folder that temporaryFolder stands for.
std::array<char, 32> temporaryName{};
volatile std::sig_atomic_t temporaryFolder = -1;
volatile std::sig_atomic_t hasTemporaryName = 0;
constexpr std::array<int, 3> interruptions{ SIGTERM, SIGINT, SIGHUP };

extern "C" void removeTemporaryFile(int signal)
{
    if (hasTemporaryName != 0)
        ::unlinkat(temporaryFolder, temporaryName.data(), 0);
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

// The folder of the .cue, opened once. What is checked there, where the
// temporary file is made and what is replaced are then in one folder, even
// should a folder on the way be renamed or a link in the path changed
// meanwhile.
class CueFolder
{
public:
    explicit CueFolder(const QString &cuePath)
    {
        const QByteArray path = toSystemBytes(cuePath);
        const qsizetype slash = path.lastIndexOf('/');
        name = path.mid(slash + 1);
        const QByteArray folder =
            slash < 0 ? QByteArray(".") : path.left(qMax<qsizetype>(slash, 1));
#ifdef O_PATH
        constexpr int flags =
            O_PATH | O_DIRECTORY | O_CLOEXEC; // a folder that cannot be listed too
#else
        constexpr int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
        descriptor = ::open(folder.constData(), flags);
        errorNumber = errno;
    }
    ~CueFolder()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    CueFolder(const CueFolder &) = delete;
    CueFolder &operator=(const CueFolder &) = delete;

    /// What is there under \a entry, following a link when \a followLink.
    bool status(const QByteArray &entry, struct stat *about, bool followLink = true) const
    {
        return ::fstatat(descriptor, entry.constData(), about, followLink ? 0 : AT_SYMLINK_NOFOLLOW)
            == 0;
    }

    int descriptor = -1;
    int errorNumber = 0;
    QByteArray name; ///< of the .cue
};

// The temporary file in the folder of the .cue. Where the system allows, it
// has no name until it is complete, so that nothing is left behind even by
// SIGKILL or a power cut; otherwise it is named at once and removed again
// should an interruption end the program before it is renamed. Its name is
// short, so that it fits wherever the .cue's own name does.
class TemporaryFile
{
public:
    explicit TemporaryFile(const CueFolder &folder) : folder(folder.descriptor)
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
#ifdef O_TMPFILE
        // Naming the unnamed file at the end goes through /proc, which may be missing.
        if (::access("/proc/self/fd", X_OK) == 0) {
            descriptor = ::openat(this->folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            if (descriptor >= 0)
                return;
        }
#endif
        const InterruptionsHeld held;
        takeFreeName([this](const char *name) {
            descriptor =
                ::openat(this->folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            return descriptor >= 0;
        });
        errorNumber = errno;
    }

    ~TemporaryFile()
    {
        {
            const InterruptionsHeld held;
            if (hasTemporaryName != 0)
                ::unlinkat(folder, temporaryName.data(), 0);
            hasTemporaryName = 0;
        }
        for (std::size_t i = 0; i < interruptions.size(); ++i)
            ::sigaction(interruptions[i], &previous[i], nullptr);
    }

    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int descriptor = -1;
    int errorNumber = 0;

    /// Renames the file to \a name in its folder, replacing what is there; false with errno set.
    bool renameTo(const QByteArray &name)
    {
        const InterruptionsHeld held;
        if (hasTemporaryName == 0) {
            // rename() needs a name to put in place of the .cue: the unnamed
            // file gets one that is free.
            const QByteArray source = "/proc/self/fd/" + QByteArray::number(descriptor);
            if (!takeFreeName([&](const char *free) {
                    return ::linkat(AT_FDCWD, source.constData(), folder, free, AT_SYMLINK_FOLLOW)
                        == 0;
                }))
                return false;
        }
        if (::renameat(folder, temporaryName.data(), folder, name.constData()) != 0)
            return false;
        hasTemporaryName = 0;
        return true;
    }

private:
    // Tries names as mkstemp() chooses them until \a take makes a file under
    // one that is free, which is kept for the signal handler.
    template <typename Take> bool takeFreeName(Take take)
    {
        constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray name = ".morvant-XXXXXX";
            for (qsizetype i = name.size() - 6; i < name.size(); ++i)
                name[i] = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
            if (take(name.constData())) {
                std::copy(name.cbegin(), name.cend(), temporaryName.begin());
                temporaryName[std::size_t(name.size())] = '\0';
                temporaryFolder = folder;
                hasTemporaryName = 1;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    int folder;
    std::array<struct sigaction, interruptions.size()> previous{};
};

// Not QSaveFile: its temporary file is named after the .cue, which no longer
// fits when the .cue's name is near the file system's limit, and it is left
// behind when an interruption ends the program mid-write.
bool writeCueFileIn(
    const CueFolder &folder, const QString &path, const QString &text, QString *error)
{
    if (folder.descriptor < 0) {
        *error = qt_error_string(folder.errorNumber);
        return false;
    }
    struct stat earlier = {};
    mode_t mode = 0;
    if (folder.status(folder.name, &earlier)) {
        if (S_ISDIR(earlier.st_mode)) {
            *error = tr("Filename refers to a directory");
            return false;
        }
        if (::faccessat(folder.descriptor, folder.name.constData(), W_OK, 0) != 0) {
            *error = tr("Existing file %1 is not writable").arg(shownPath(path));
            return false;
        }
        mode = earlier.st_mode & 07777;
    } else {
        // Read back at once; the program writes from one thread only.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    TemporaryFile temporary(folder);
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
    if (!temporary.renameTo(folder.name)) {
        *error = qt_error_string(errno);
        return false;
    }
    return true;
}

#endif

// What the .cue's name leads to, as far as the writing may care.
struct CueTarget
{
    bool isControlFile = false; ///< by any path or link
    bool isImage = false; ///< the image that the cue sheet names, by any path or link
    bool isLink = false; ///< the name itself is a symbolic link
    bool leadsSomewhere = false; ///< to a file or folder that exists
    QString linkTarget; ///< of such a link, absolute
};

// Why the cue sheet must not go to \a cue, or the empty text. The file
// written would otherwise be wherever a link leads: the saving would replace
// whatever it points to, or create a file through a dangling one.
QString writeRefusal(const CueTarget &cue)
{
    if (cue.isControlFile)
        return tr("It is the control file itself, which is never overwritten.");
    if (cue.isImage)
        return tr("It is the disc image that the cue sheet names, which is never overwritten.");
    if (!cue.isLink)
        return {};
    const QString target = shownPath(cue.linkTarget);
    if (!cue.leadsSomewhere)
        return tr("It is a link to %1, which does not exist; no file is created through a "
                  "dangling link.")
            .arg(target);
    return tr("It is a link to %1; a link is left alone, and so is the file it leads to. "
              "Remove the link to write the cue sheet here.")
        .arg(target);
}

QString imagePathOf(const QString &cuePath)
{
    return cuePath.chopped(qMin<qsizetype>(4, cuePath.size())) + QStringLiteral(".img");
}

#ifdef Q_OS_UNIX

// Compared on disk, not as text: a hard link or a second spelling of the
// same path is still the same file. The control file and the image beside
// the .cue are looked up in its folder as it was opened, so that the checks
// and the rename see the same folder.
CueTarget cueTarget(const QString &inputPath, const QString &cuePath, const CueFolder &folder)
{
    CueTarget cue;
    struct stat about = {};
    if (folder.descriptor < 0 || !folder.status(folder.name, &about, false))
        return cue;
    cue.isLink = S_ISLNK(about.st_mode);
    if (cue.isLink) {
        QByteArray target(qMax<qsizetype>(qsizetype(about.st_size), 255) + 1, '\0');
        const ssize_t size = ::readlinkat(
            folder.descriptor, folder.name.constData(), target.data(), size_t(target.size()));
        target.truncate(qMax<qsizetype>(size, 0));
        cue.linkTarget = fromSystemBytes(target);
        if (!cue.linkTarget.startsWith(u'/'))
            cue.linkTarget =
                QDir::cleanPath(QFileInfo(cuePath).absolutePath() + u'/' + cue.linkTarget);
    }
    cue.leadsSomewhere = folder.status(folder.name, &about);
    if (!cue.leadsSomewhere)
        return cue;
    const auto isSame = [&about](const struct stat &other) {
        return about.st_dev == other.st_dev && about.st_ino == other.st_ino;
    };
    const QByteArray input = toSystemBytes(inputPath);
    const QByteArray cueBytes = toSystemBytes(cuePath);
    const qsizetype folderSize = cueBytes.size() - folder.name.size();
    struct stat other = {};
    // Beside the .cue, as the naming rules put it, the control file is looked up in the same
    // folder.
    const bool isBeside =
        input.startsWith(cueBytes.first(folderSize)) && input.indexOf('/', folderSize) < 0;
    cue.isControlFile = isBeside ? folder.status(input.sliced(folderSize), &other)
                                 : ::stat(input.constData(), &other) == 0;
    cue.isControlFile = cue.isControlFile && isSame(other);
    const QByteArray image = toSystemBytes(imagePathOf(cuePath)).sliced(folderSize);
    cue.isImage = folder.status(image, &other) && isSame(other);
    return cue;
}

#endif

} // namespace

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
#ifdef Q_OS_UNIX
    return writeCueFileIn(CueFolder(path), path, text, error);
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

bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage)
{
#ifdef Q_OS_UNIX
    const CueFolder folder(cuePath);
    QString error = writeRefusal(cueTarget(inputPath, cuePath, folder));
    if (error.isEmpty() && writeCueFileIn(folder, cuePath, text, &error))
        return true;
#else
    const QFileInfo cue(cuePath);
    CueTarget target;
    target.isControlFile = sameFile(inputPath, cuePath);
    target.isImage = sameFile(imagePathOf(cuePath), cuePath);
    target.isLink = cue.isSymbolicLink();
    target.leadsSomewhere = cue.exists();
    if (target.isLink)
        target.linkTarget = cue.symLinkTarget();
    QString error = writeRefusal(target);
    if (error.isEmpty() && writeCueFile(cuePath, text, &error))
        return true;
#endif
    showMessage(tr("Cannot write %1:\n%2").arg(shownPath(cuePath), error), fileErrorTitle());
    return false;
}
