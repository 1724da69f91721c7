#include "cueFile.h"

#include "cueFile_p.h"
#include "discFiles.h"
#include "fileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvant {

namespace {

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
        // Beyond a file size limit (ulimit -f) the kernel would end the
        // program with SIGXFSZ, and with it the rest of a batch; kept out, the
        // write fails with "File too large" as on a full disk.
        struct sigaction ignored = {};
        ignored.sa_handler = SIG_IGN;
        sigemptyset(&ignored.sa_mask);
        ::sigaction(SIGXFSZ, &ignored, &previousFileSizeAction);
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
        ::sigaction(SIGXFSZ, &previousFileSizeAction, nullptr);
    }

    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int descriptor = -1;
    int errorNumber = 0;

    /// Renames the file to \a name in its folder, replacing what is there; false with errno
    /// set.
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
    struct sigaction previousFileSizeAction = {};
};

// Not QSaveFile: its temporary file is named after the .cue, which no longer
// fits when the .cue's name is near the file system's limit, and it is left
// behind when an interruption ends the program mid-write.
bool writeFileIn(
    const CueFolder &folder, const QString &path, const WriteContent &content, QString *error)
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
        // The permissions alone: set-user-ID and set-group-ID bits on a file
        // that now belongs to whoever runs the program would run it as them.
        mode = earlier.st_mode & 0777;
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
    if (!content(file, error))
        return false;
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

} // namespace

bool writeFileAtomically(const QString &path, const WriteContent &content, QString *error)
{
    return writeFileIn(CueFolder(path), path, content, error);
}

bool writeBeside(
    const QString &inputPath, const QString &path, const WriteContent &content, QString *error)
{
    const CueFolder folder(path);
    *error = writeRefusal(cueTarget(inputPath, path, folder));
    return error->isEmpty() && writeFileIn(folder, path, content, error);
}

} // namespace morvant
