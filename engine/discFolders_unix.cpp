#include "discFolders_p.h"

#include "fileSystem.h"
#include "translation.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvant {

bool fileId(const QString &path, FileId *id, QString *error)
{
    struct stat about = {};
    if (::stat(toSystemBytes(path).constData(), &about) != 0) {
        *error = qt_error_string(errno);
        return false;
    }
    *id = { quint64(about.st_dev), quint64(about.st_ino) };
    return true;
}

bool readFolder(const QString &path, QList<FolderEntry> *entries, QString *error)
{
    // Names are taken as the bytes they are: one that is not UTF-8 is a disc
    // like any other.
    const int descriptor =
        ::open(toSystemBytes(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *folder = descriptor < 0 ? nullptr : ::fdopendir(descriptor);
    if (!folder) {
        *error = qt_error_string(errno);
        if (descriptor >= 0)
            ::close(descriptor);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent *found = ::readdir(folder);
        if (!found)
            break;
        const QByteArrayView bytes(found->d_name);
        if (bytes == "." || bytes == "..")
            continue;
        FolderEntry entry;
        entry.name = fromSystemBytes(bytes);
        const bool isControlFile = isControlFileName(entry.name);
        // Most systems tell a folder from a file as they list it; a link, and
        // what a system leaves untold, are looked at.
        unsigned char type = found->d_type;
        struct stat about = {};
        if (type == DT_LNK || type == DT_UNKNOWN) {
            if (::fstatat(descriptor, found->d_name, &about, 0) != 0) {
                // A link to nothing leads to no disc, unless it has a control file's name.
                if (errno == ENOENT && !isControlFile)
                    continue;
                entry.error = isControlFile
                    ? QString()
                    : tr("cannot tell whether it is a folder: %1").arg(qt_error_string(errno));
                entry.kind = isControlFile ? FolderEntry::ControlFile : FolderEntry::Unreachable;
                entries->append(entry);
                continue;
            }
            entry.isLink = type == DT_LNK;
            type = S_ISDIR(about.st_mode) ? DT_DIR : S_ISREG(about.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            entry.kind = FolderEntry::Folder;
        } else if (!isControlFile) {
            continue;
        } else {
            // Reading a FIFO would wait for a writer for ever; what has gone
            // meanwhile is told by the reading of the control file.
            const FileStatus status =
                type == DT_REG ? FileStatus() : fileStatus(path + u'/' + entry.name);
            entry.kind = type == DT_REG || !status.exists || status.isFile
                ? FolderEntry::ControlFile
                : FolderEntry::Unreachable;
            if (entry.kind == FolderEntry::Unreachable)
                entry.error = notAFile(status);
        }
        entries->append(entry);
    }
    const int readError = errno;
    ::closedir(folder);
    if (readError != 0) {
        *error = qt_error_string(readError);
        return false;
    }
    return true;
}

} // namespace morvant
