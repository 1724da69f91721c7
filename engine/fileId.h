#pragma once

#include <QHashFunctions>
#include <QString>

namespace morvant {

// Which file or folder a path leads to (defined with the walk of folders,
// discFolders_unix.cpp and discFolders_win.cpp, which tell folders apart by it).

/// Which file or folder a path leads to, whatever links lead there: on Unix
/// its device and inode, on Windows its volume's serial number and its file
/// index. Two names of one disc, or two links to one folder, have one.
struct FileId
{
    quint64 volume = 0;
    quint64 file = 0;

    friend bool operator==(const FileId &a, const FileId &b)
    {
        return a.volume == b.volume && a.file == b.file;
    }
};

inline size_t qHash(const FileId &id, size_t seed = 0)
{
    return qHashMulti(seed, id.volume, id.file);
}

/** Which file or folder \a path leads to; false with the system's reason in
    \a error when it cannot be told. */
bool fileId(const QString &path, FileId *id, QString *error);

} // namespace morvant
