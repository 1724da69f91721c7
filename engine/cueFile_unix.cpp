#include "cueFile.h"

#include "cueFile_p.h"
#include "fileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvant {

namespace {

constexpr std::array<int, 3> interruptions{ SIGTERM, SIGINT, SIGHUP };

// A named temporary file of the set being written, for the signal handler:
// its name in the folder that the descriptor stands for. An entry is taken
// and given up with the interruptions held, so that the handler never sees
// half a name.
struct TemporaryName
{
    std::array<char, 32> name;
    int folder;
    volatile std::sig_atomic_t isTaken;
};
// A fixed table, which the handler can read without allocating: one entry
// for each file of the largest set.
std::array<TemporaryName, std::size_t(maxFilesAtOnce)> temporaryNames{};

extern "C" void removeTemporaryFiles(int signal)
{
    for (const TemporaryName &entry : temporaryNames) {
        if (entry.isTaken != 0)
            ::unlinkat(entry.folder, entry.name.data(), 0);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Keeps the interruptions out while a temporary file's name is taken or
// given up, and while a set's files are renamed into place, so that they are
// renamed all or (before the first) none.
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

// For as long as a set is written: an interruption removes its named
// temporary files before it ends the program, and a file size limit fails
// the write rather than ending the program.
class InterruptionHandlers
{
public:
    InterruptionHandlers()
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
            handler.sa_handler = removeTemporaryFiles;
            sigemptyset(&handler.sa_mask);
            ::sigaction(interruptions[i], nullptr, &previous[i]);
            // An interruption that the program was started to ignore stays ignored.
            if (previous[i].sa_handler != SIG_IGN)
                ::sigaction(interruptions[i], &handler, nullptr);
        }
    }
    ~InterruptionHandlers()
    {
        for (std::size_t i = 0; i < interruptions.size(); ++i)
            ::sigaction(interruptions[i], &previous[i], nullptr);
        ::sigaction(SIGXFSZ, &previousFileSizeAction, nullptr);
    }
    InterruptionHandlers(const InterruptionHandlers &) = delete;
    InterruptionHandlers &operator=(const InterruptionHandlers &) = delete;

private:
    std::array<struct sigaction, interruptions.size()> previous{};
    struct sigaction previousFileSizeAction = {};
};

// The folder of a file to write, opened once. What is checked there, where
// the temporary file is made and what is replaced are then in one folder,
// even should a folder on the way be renamed or a link in the path changed
// meanwhile.
class TargetFolder
{
public:
    explicit TargetFolder(const QString &filePath)
    {
        const QByteArray path = toSystemBytes(filePath);
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
    ~TargetFolder()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    TargetFolder(const TargetFolder &) = delete;
    TargetFolder &operator=(const TargetFolder &) = delete;

    /// What is there under \a entry, following a link when \a followLink.
    bool status(const QByteArray &entry, struct stat *about, bool followLink = true) const
    {
        return ::fstatat(descriptor, entry.constData(), about, followLink ? 0 : AT_SYMLINK_NOFOLLOW)
            == 0;
    }

    int descriptor = -1;
    int errorNumber = 0;
    QByteArray name; ///< of the file to write
};

// A temporary file in the folder of a file to write. Where the system
// allows, it has no name until the set is complete, so that nothing is left
// behind even by SIGKILL or a power cut; otherwise it is named at once and
// removed again should an interruption end the program before it is renamed.
// Its name is short, so that it fits wherever the file's own name does.
// Made while InterruptionHandlers stand.
class TemporaryFile
{
public:
    explicit TemporaryFile(const TargetFolder &folder) : folder(folder.descriptor)
    {
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
        const InterruptionsHeld held;
        if (entry != nullptr) {
            ::unlinkat(folder, entry->name.data(), 0);
            entry->isTaken = 0;
        }
    }

    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int descriptor = -1; ///< handed over to a QFile, which closes it
    int errorNumber = 0;

    /// Gives the file a name, which rename() needs to put in place of another;
    /// false with errno set. The unnamed file gets one that is free.
    bool name()
    {
        if (entry != nullptr)
            return true;
        const InterruptionsHeld held;
        const QByteArray source = "/proc/self/fd/" + QByteArray::number(descriptor);
        return takeFreeName([&](const char *free) {
            return ::linkat(AT_FDCWD, source.constData(), folder, free, AT_SYMLINK_FOLLOW) == 0;
        });
    }

    /// Renames the file, once named, to \a target in its folder, replacing
    /// what is there; false with errno set.
    bool renameTo(const QByteArray &target)
    {
        const InterruptionsHeld held;
        if (entry == nullptr) {
            errno = ENOENT;
            return false;
        }
        if (::renameat(folder, entry->name.data(), folder, target.constData()) != 0)
            return false;
        entry->isTaken = 0;
        entry = nullptr;
        return true;
    }

private:
    // Tries names as mkstemp() chooses them until \a take makes a file under
    // one that is free, which is kept for the signal handler in a free entry
    // of its table. Called with the interruptions held.
    template <typename Take> bool takeFreeName(Take take)
    {
        const auto free = std::find_if(temporaryNames.begin(), temporaryNames.end(),
            [](const TemporaryName &taken) { return taken.isTaken == 0; });
        if (free == temporaryNames.end()) {
            errno = EMFILE;
            return false;
        }
        constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray name = ".morvant-XXXXXX";
            for (qsizetype i = name.size() - 6; i < name.size(); ++i)
                name[i] = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
            if (take(name.constData())) {
                std::copy(name.cbegin(), name.cend(), free->name.begin());
                free->name[std::size_t(name.size())] = '\0';
                free->folder = folder;
                free->isTaken = 1;
                entry = &*free;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    int folder;
    TemporaryName *entry = nullptr; ///< where the file has a name
};

// One file of a set on its way: its folder, what stands at its name, and
// its temporary file once the writing starts.
struct PendingFile
{
    explicit PendingFile(const QString &path) : path(path), folder(path) { }

    /// Why the file cannot be written at all, asked before anything is:
    /// its folder cannot be opened, its name is a folder's, or the file
    /// there may not be replaced. Sets the permissions the new file takes.
    QString whyNot()
    {
        if (folder.descriptor < 0)
            return qt_error_string(folder.errorNumber);
        struct stat earlier = {};
        if (folder.status(folder.name, &earlier)) {
            if (S_ISDIR(earlier.st_mode))
                return tr("Filename refers to a directory");
            if (::faccessat(folder.descriptor, folder.name.constData(), W_OK, 0) != 0)
                return tr("Existing file %1 is not writable").arg(shownPath(path));
            // The permissions alone: set-user-ID and set-group-ID bits on a file
            // that now belongs to whoever runs the program would run it as them.
            mode = earlier.st_mode & 0777;
        } else {
            // Read back at once; the program writes from one thread only.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        return {};
    }

    /// Whether this file and \a other are one: the same name in the same
    /// folder, or one file under two names.
    bool isSameAs(const PendingFile &other) const
    {
        struct stat folderA = {};
        struct stat folderB = {};
        if (::fstat(folder.descriptor, &folderA) == 0
            && ::fstat(other.folder.descriptor, &folderB) == 0 && folderA.st_dev == folderB.st_dev
            && folderA.st_ino == folderB.st_ino && folder.name == other.folder.name)
            return true;
        struct stat a = {};
        struct stat b = {};
        return folder.status(folder.name, &a, false)
            && other.folder.status(other.folder.name, &b, false) && a.st_dev == b.st_dev
            && a.st_ino == b.st_ino;
    }

    /// Writes \a content into a new temporary file, synced; false with the
    /// reason in \a error.
    bool write(const WriteContent &content, QString *error)
    {
        temporary.emplace(folder);
        if (temporary->descriptor < 0) {
            *error = qt_error_string(temporary->errorNumber);
            return false;
        }
        // Unbuffered: a failed write gives its own reason ("No space left on
        // device") at once rather than "Unknown error" when it is closed.
        if (!file.open(temporary->descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                QFileDevice::AutoCloseHandle)) {
            ::close(temporary->descriptor);
            *error = file.errorString();
            return false;
        }
        if (!content(file, error))
            return false;
        // fsync() as QSaveFile does: on a network file system a full disk may show
        // only here. EINVAL: a file system that cannot sync, nothing lost.
        if (::fchmod(file.handle(), mode) != 0
            || (::fsync(file.handle()) != 0 && errno != EINVAL)) {
            *error = qt_error_string(errno);
            return false;
        }
        return true;
    }

    QString path;
    TargetFolder folder;
    mode_t mode = 0;
    // The file is closed before its temporary goes: an unnamed one is named
    // through its descriptor, which stays open until the rename.
    std::optional<TemporaryFile> temporary;
    QFile file;
};

// Compared on disk, not as text: a hard link or a second spelling of the
// same path is still the same file. The control file and the disc's files
// beside the file are looked up in its folder as it was opened, so that the
// checks and the rename see the same folder.
WriteTarget writeTarget(
    const BesideControlFile &beside, const QString &path, const TargetFolder &folder)
{
    WriteTarget target;
    struct stat about = {};
    if (folder.descriptor < 0 || !folder.status(folder.name, &about, false))
        return target;
    target.isLink = S_ISLNK(about.st_mode);
    if (target.isLink) {
        QByteArray link(qMax<qsizetype>(qsizetype(about.st_size), 255) + 1, '\0');
        const ssize_t size = ::readlinkat(
            folder.descriptor, folder.name.constData(), link.data(), size_t(link.size()));
        link.truncate(qMax<qsizetype>(size, 0));
        target.linkTarget = fromSystemBytes(link);
        if (!target.linkTarget.startsWith(u'/'))
            target.linkTarget =
                QDir::cleanPath(QFileInfo(path).absolutePath() + u'/' + target.linkTarget);
    }
    target.leadsSomewhere = folder.status(folder.name, &about);
    if (!target.leadsSomewhere)
        return target;
    const QByteArray pathBytes = toSystemBytes(path);
    const qsizetype folderSize = pathBytes.size() - folder.name.size();
    const auto isSameAs = [&](const QString &otherPath) {
        const QByteArray other = toSystemBytes(otherPath);
        // Beside the file, as the naming rules put the control file and the
        // disc's files, it is looked up in the same folder.
        const bool isBeside =
            other.startsWith(pathBytes.first(folderSize)) && other.indexOf('/', folderSize) < 0;
        struct stat status = {};
        const bool exists = isBeside ? folder.status(other.sliced(folderSize), &status)
                                     : ::stat(other.constData(), &status) == 0;
        return exists && about.st_dev == status.st_dev && about.st_ino == status.st_ino;
    };
    target.isControlFile = isSameAs(beside.controlFile);
    for (const KeptFile &kept : beside.kept) {
        if (isSameAs(kept.path)) {
            target.keptRefusal = kept.refusal;
            break;
        }
    }
    return target;
}

} // namespace

// Not QSaveFile: its temporary file is named after the file it replaces,
// which no longer fits when that name is near the file system's limit, and it
// is left behind when an interruption ends the program mid-write; nor can it
// hold a set back until every file of it is written.
bool writeFileSet(
    const BesideControlFile *beside, const QList<FileToWrite> &files, SetFailure *failure)
{
    // Standing until the last temporary file is gone, whichever way the set ends.
    const InterruptionHandlers handlers;
    std::vector<std::unique_ptr<PendingFile>> pending;
    const auto refusal = [beside](const PendingFile &file) {
        return beside != nullptr ? writeRefusal(writeTarget(*beside, file.path, file.folder))
                                 : QString();
    };
    if (!writePendingFiles(files, refusal, pending, failure))
        return false;
    const InterruptionsHeld held;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!pending[std::size_t(i)]->temporary->name()) {
            *failure = { i, qt_error_string(errno) };
            return false;
        }
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        PendingFile &file = *pending[std::size_t(i)];
        if (!file.temporary->renameTo(file.folder.name)) {
            *failure = { i, qt_error_string(errno) };
            if (i > 0)
                failure->reason += u'\n' + partlyReplacedText();
            return false;
        }
    }
    return true;
}

} // namespace morvant
