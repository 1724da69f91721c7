#include "cueFile.h"

#include "cueFile_p.h"
#include "fileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <dirent.h>
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
// for each file of the largest set, and one for each folder's record of it.
std::array<TemporaryName, std::size_t(2 * maxFilesAtOnce)> temporaryNames{};

extern "C" void removeTemporaryFiles(int signal)
{
    // Last taken first: a set's record goes after its files, so that a file
    // is never left without the record that makes it known as ours.
    for (auto entry = temporaryNames.rbegin(); entry != temporaryNames.rend(); ++entry) {
        if (entry->isTaken != 0)
            ::unlinkat(entry->folder, entry->name.data(), 0);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// What a set's record holds: it tells a later run that the temporary files
// named after it are ours. A writing holds the record locked for as long as
// it runs; the system lets the lock go when the program ends, by SIGKILL or
// a crash too, so that a record that can be locked was left by a writing
// that no longer runs.
constexpr char recordContent[] = "MORVANT: the temporary files named after this file are a set "
                                 "being written; removed by the next run once it has ended.\n";
constexpr char temporaryPrefix[] = ".morvant-";
constexpr qsizetype randomLetters = 6;

// A lock of the whole file, of its open file description where the system
// has them (Linux), so that no other descriptor's closing lets it go.
bool lockFile(int descriptor, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    return ::fcntl(descriptor, F_OFD_SETLK, &lock) == 0;
#else
    return ::fcntl(descriptor, F_SETLK, &lock) == 0;
#endif
}

bool isLockHeldElsewhere(int error)
{
    return error == EAGAIN || error == EACCES;
}

// A record's name: the prefix and six letters or digits, as it is made.
bool isRecordName(QByteArrayView name)
{
    const qsizetype prefix = qsizetype(sizeof temporaryPrefix) - 1;
    if (name.size() != prefix + randomLetters || !name.startsWith(temporaryPrefix))
        return false;
    return std::all_of(name.begin() + prefix, name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// The record that a temporary file's name names: ".morvant-AbC123" for
// ".morvant-AbC123-7"; empty for any other name.
QByteArray recordOf(QByteArrayView name)
{
    const qsizetype dash = qsizetype(sizeof temporaryPrefix) - 1 + randomLetters;
    if (name.size() <= dash + 1 || name[dash] != '-' || !isRecordName(name.first(dash)))
        return {};
    const bool isNumber = std::all_of(
        name.begin() + dash + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
    return isNumber ? name.first(dash).toByteArray() : QByteArray();
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

// Takes an entry of the handler's table for \a name in \a folder once \a
// make has made a file under it; false with errno set when none is free or
// \a make fails. Called with the interruptions held.
template <typename Make>
TemporaryName *takeEntry(int folder, const QByteArray &name, const Make &make)
{
    const auto free = std::find_if(temporaryNames.begin(), temporaryNames.end(),
        [](const TemporaryName &taken) { return taken.isTaken == 0; });
    if (free == temporaryNames.end()) {
        errno = EMFILE;
        return nullptr;
    }
    if (!make())
        return nullptr;
    std::copy(name.cbegin(), name.cend(), free->name.begin());
    free->name[std::size_t(name.size())] = '\0';
    free->folder = folder;
    free->isTaken = 1;
    return &*free;
}

// The record of a set in one folder of its files, made when the first of
// its temporary files there is named and removed after the last: a later run that
// finds it unlocked and with its content knows that the writing it stands
// for has ended and that the temporary files named after it are ours.
class SetRecord
{
public:
    explicit SetRecord(int folderDescriptor) : folder(::fcntl(folderDescriptor, F_DUPFD_CLOEXEC, 0))
    {
    }
    ~SetRecord()
    {
        const InterruptionsHeld held;
        if (entry != nullptr) {
            ::unlinkat(folder, entry->name.data(), 0);
            entry->isTaken = 0;
        }
        if (descriptor >= 0)
            ::close(descriptor);
        if (folder >= 0)
            ::close(folder);
    }
    SetRecord(const SetRecord &) = delete;
    SetRecord &operator=(const SetRecord &) = delete;

    /// Makes it, unless made, under a free name, locked, with its content;
    /// false with errno set. Where the system cannot lock it, it stays
    /// empty, and a later run tells of what it finds rather than removing
    /// it. Made only when the first temporary file is to have a name, so
    /// that where none has one until the end, a writing ended before then
    /// leaves nothing.
    bool make()
    {
        if (entry != nullptr)
            return true;
        if (folder < 0)
            return false;
        const InterruptionsHeld held;
        constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100 && entry == nullptr; ++attempt) {
            QByteArray candidate = temporaryPrefix;
            for (qsizetype i = 0; i < randomLetters; ++i)
                candidate += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
            entry = takeEntry(folder, candidate, [&] {
                descriptor = ::openat(
                    folder, candidate.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                return descriptor >= 0;
            });
            if (entry == nullptr && errno != EEXIST)
                return false;
            name = candidate;
        }
        if (entry == nullptr)
            return false;
        // A later run that reads the record just now holds a lock of its own
        // for as long as it reads it.
        bool isLocked = false;
        for (int wait = 0; wait < 1000; ++wait) {
            isLocked = lockFile(descriptor, F_WRLCK);
            if (isLocked || !isLockHeldElsewhere(errno))
                break;
            ::usleep(1000);
        }
        if (isLocked) {
            const ssize_t size = qsizetype(sizeof recordContent) - 1;
            // Cut short (a full disk), it is no record that a later run removes.
            if (::write(descriptor, recordContent, size_t(size)) != size) {
                [[maybe_unused]] const int emptied = ::ftruncate(descriptor, 0);
            }
        }
        return true;
    }

    int folder; ///< its own descriptor of the folder, which outlives the set's
    QByteArray name;

private:
    int descriptor = -1;
    TemporaryName *entry = nullptr;
};

// A temporary file in the folder of a file to write, named after the set's
// record there. Where the system allows, it has no name until the set is
// complete, so that nothing is left behind by SIGKILL or a power cut before
// then; otherwise it is named at once and removed again should an
// interruption end the program before it is renamed. Either way a later run
// removes what a writing that ended on the way left (removeLeftovers()).
// Its name is short, so that it fits wherever the file's own name does.
// Made while InterruptionHandlers stand.
class TemporaryFile
{
public:
    /// The file numbered \a number of the set whose \a record stands in \a folder.
    TemporaryFile(const TargetFolder &folder, SetRecord &record, qsizetype number)
        : folder(folder.descriptor), record(record), number(number)
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
        if (!takeName()) {
            errorNumber = errno;
            return;
        }
        entry = takeEntry(this->folder, wantedName, [this] {
            descriptor = ::openat(this->folder, wantedName.constData(),
                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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

    /// Gives the file its name, which rename() needs to put in place of
    /// another; false with errno set.
    bool name()
    {
        if (entry != nullptr)
            return true;
        const InterruptionsHeld held;
        if (!takeName())
            return false;
        const QByteArray source = "/proc/self/fd/" + QByteArray::number(descriptor);
        entry = takeEntry(folder, wantedName, [&] {
            return ::linkat(AT_FDCWD, source.constData(), folder, wantedName.constData(),
                       AT_SYMLINK_FOLLOW)
                == 0;
        });
        return entry != nullptr;
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
    // The name after the record, which is made first where it is not yet.
    bool takeName()
    {
        if (!record.make())
            return false;
        wantedName = record.name + '-' + QByteArray::number(number);
        return true;
    }

    int folder;
    SetRecord &record;
    qsizetype number;
    QByteArray wantedName;
    TemporaryName *entry = nullptr; ///< where the file has a name
};

// Removes from the folder of \a folder the temporary files that a writing
// left when it ended on the way (SIGKILL, a crash, a power cut), and its
// record, where they are ours beyond doubt: named after a record that is a
// file of the user's own, holds what every record holds, and is not locked,
// so that the writing it stands for no longer runs. Files named as ours that
// cannot be told to be (an empty record, one of another user, files without
// their record) are left and listed in \a leftovers as unknown; those of a
// writing that still runs are left alone.
void removeLeftovers(const TargetFolder &folder, const QString &folderPath, Leftovers *leftovers)
{
    const int listing = ::openat(folder.descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listing < 0 ? nullptr : ::fdopendir(listing);
    if (entries == nullptr) {
        if (listing >= 0)
            ::close(listing);
        return; // a folder that cannot be listed cannot be looked at
    }
    QList<QByteArray> records;
    QList<QByteArray> temporaries;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArrayView name(entry->d_name);
        if (isRecordName(name))
            records.append(name.toByteArray());
        else if (!recordOf(name).isEmpty())
            temporaries.append(name.toByteArray());
    }
    ::closedir(entries);
    std::sort(records.begin(), records.end());
    std::sort(temporaries.begin(), temporaries.end());

    const uid_t user = ::geteuid();
    const auto isOwnFile = [&](const struct stat &about) {
        return S_ISREG(about.st_mode) && about.st_uid == user;
    };
    QSet<QByteArray> known; // records of writings that run or that ended
    QStringList removed;
    QStringList unknown;
    for (const QByteArray &record : records) {
        const int descriptor = ::openat(
            folder.descriptor, record.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat about = {};
        bool isEnded = false;
        bool isRunning = false;
        if (descriptor >= 0 && ::fstat(descriptor, &about) == 0 && isOwnFile(about)) {
            if (lockFile(descriptor, F_RDLCK)) {
                std::array<char, sizeof recordContent> content{};
                const ssize_t size = ::pread(descriptor, content.data(), content.size(), 0);
                isEnded = size == ssize_t(sizeof recordContent) - 1
                    && std::equal(content.begin(), content.begin() + size, recordContent);
            } else {
                isRunning = isLockHeldElsewhere(errno);
            }
        }
        if (isEnded) {
            // Its files first, so that none is ever left without its record.
            for (const QByteArray &temporary : temporaries) {
                struct stat file = {};
                if (recordOf(temporary) == record
                    && ::fstatat(
                           folder.descriptor, temporary.constData(), &file, AT_SYMLINK_NOFOLLOW)
                        == 0
                    && isOwnFile(file)
                    && ::unlinkat(folder.descriptor, temporary.constData(), 0) == 0)
                    removed.append(folderPath + fromSystemBytes(temporary));
            }
            // Still the record read, held locked meanwhile.
            struct stat now = {};
            if (::fstatat(folder.descriptor, record.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
                && now.st_dev == about.st_dev && now.st_ino == about.st_ino
                && ::unlinkat(folder.descriptor, record.constData(), 0) == 0)
                removed.append(folderPath + fromSystemBytes(record));
        }
        if (isEnded || isRunning)
            known.insert(record);
        else
            unknown.append(folderPath + fromSystemBytes(record));
        if (descriptor >= 0)
            ::close(descriptor); // lets the lock go, after the removal
    }
    for (const QByteArray &temporary : temporaries) {
        if (!known.contains(recordOf(temporary)))
            unknown.append(folderPath + fromSystemBytes(temporary));
    }
    if (leftovers != nullptr) {
        leftovers->removed += removed;
        leftovers->unknown += unknown;
    }
}

// One file of a set on its way: its folder, what stands at its name, and
// its temporary file once the writing starts.
struct PendingFile
{
    explicit PendingFile(const QString &path) : path(path), folder(path) { }

    /// Why the file cannot be written at all, asked before anything is:
    /// its folder cannot be opened, its name is longer than the folder's
    /// file system takes or cannot be looked up there, its name is a
    /// folder's, or the file there may not be replaced. Sets the
    /// permissions the new file takes.
    QString whyNot()
    {
        if (folder.descriptor < 0)
            return qt_error_string(folder.errorNumber);
        // The folder's own file system tells, not NAME_MAX: FAT counts
        // UTF-16 units, some encrypting ones take fewer bytes.
        const long most = ::fpathconf(folder.descriptor, _PC_NAME_MAX);
        if (most > 0 && folder.name.size() > most)
            return nameLengthRefusal(folder.name.size(), most);
        struct stat earlier = {};
        const bool exists = folder.status(folder.name, &earlier);
        if (!exists && errno == ENAMETOOLONG)
            return nameLengthRefusal(folder.name.size(), most > 0 ? most : NAME_MAX);
        if (!exists && errno != ENOENT)
            return qt_error_string(errno);
        if (exists) {
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

    /// Makes its temporary file, named after the set's record where it is
    /// named, and opens it; false with the reason in \a error.
    bool create(QString *error)
    {
        temporary.emplace(folder, *record, number);
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
        return true;
    }

    /// Writes \a content into its temporary file, synced; false with the
    /// reason in \a error.
    bool write(const WriteContent &content, QString *error)
    {
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
    SetRecord *record = nullptr; ///< of the set, in the file's folder
    qsizetype number = 0; ///< in the set, from 1, which its temporary file's name gives
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

/** Whether the folder that \a about tells of, at \a path, is met for the
    first time by this process. What an ended writing left is looked for once
    a folder: a batch of a thousand files in one folder would otherwise list
    the folder's thousands of names a thousand times. What a writing ended
    meanwhile left is removed by the next run. */
bool isFirstVisit(const struct stat &about, const QString &path)
{
    static QMutex mutex;
    static QSet<QString> visited;
    const QString key =
        QStringLiteral("%1:%2:").arg(quint64(about.st_dev)).arg(quint64(about.st_ino)) + path;
    const QMutexLocker locker(&mutex);
    if (visited.contains(key))
        return false;
    visited.insert(key);
    return true;
}

} // namespace

// Not QSaveFile: its temporary file is named after the file it replaces,
// which no longer fits when that name is near the file system's limit, and it
// is left behind when an interruption ends the program mid-write; nor can it
// hold a set back until every file of it is written.
bool writeFileSet(const BesideControlFile *beside, const QList<FileToWrite> &files,
    SetFailure *failure, Leftovers *leftovers)
{
    // Standing until the last temporary file is gone, whichever way the set ends.
    const InterruptionHandlers handlers;
    // Before the files, so that they go before their records.
    std::vector<std::unique_ptr<SetRecord>> records;
    std::vector<std::unique_ptr<PendingFile>> pending;
    const auto refusal = [beside](const PendingFile &file) {
        return beside != nullptr ? writeRefusal(writeTarget(*beside, file.path, file.folder))
                                 : QString();
    };
    // In each folder of the set: what an ended writing left is removed, then
    // the set's record is made.
    const auto prepare = [&](SetFailure *failed) {
        std::vector<std::pair<struct stat, SetRecord *>> folders;
        for (std::size_t i = 0; i < pending.size(); ++i) {
            PendingFile &file = *pending[i];
            struct stat about = {};
            ::fstat(file.folder.descriptor, &about);
            auto known = std::find_if(folders.begin(), folders.end(), [&](const auto &folder) {
                return folder.first.st_dev == about.st_dev && folder.first.st_ino == about.st_ino;
            });
            if (known == folders.end()) {
                const QString folderPath = file.path.left(file.path.lastIndexOf(u'/') + 1);
                if (isFirstVisit(about, folderPath))
                    removeLeftovers(file.folder, folderPath, leftovers);
                SetRecord &record =
                    *records.emplace_back(std::make_unique<SetRecord>(file.folder.descriptor));
                if (record.folder < 0) {
                    *failed = { qsizetype(i), qt_error_string(errno) };
                    return false;
                }
                known = folders.insert(folders.end(), { about, &record });
            }
            file.record = known->second;
            file.number = qsizetype(i) + 1;
        }
        return true;
    };
    if (!writePendingFiles(files, refusal, prepare, pending, failure))
        return false;
    const InterruptionsHeld held;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!pending[std::size_t(i)]->temporary->name()) {
            *failure = { i, qt_error_string(errno) };
            return false;
        }
    }
    // The last file names the others (the cue sheet of the tracks' files):
    // its earlier file goes before any is replaced and it comes last, so
    // that a set ended on the way has no file that names it whole.
    bool isLastTakenAway = false;
    if (files.size() > 1) {
        if (beforeSetStepForTests != nullptr)
            beforeSetStepForTests(-1);
        const TargetFolder &last = pending.back()->folder;
        if (::unlinkat(last.descriptor, last.name.constData(), 0) == 0)
            isLastTakenAway = true;
        else if (errno != ENOENT) {
            *failure = { files.size() - 1, qt_error_string(errno) };
            return false;
        }
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (beforeSetStepForTests != nullptr)
            beforeSetStepForTests(i);
        PendingFile &file = *pending[std::size_t(i)];
        if (!file.temporary->renameTo(file.folder.name)) {
            *failure = { i, qt_error_string(errno) };
            if (i > 0 || isLastTakenAway)
                failure->reason += u'\n' + partlyReplacedText();
            return false;
        }
    }
    return true;
}

} // namespace morvant
