#pragma once

#include <QHashFunctions>
#include <QString>

#include <functional>

namespace morvant {

// A folder named on the command line stands for every disc below it. Archives
// and disks hold what no tidy tree does (folders that cannot be read, names
// that are not UTF-8, links back up, the system's own folders), and each disc
// that the walk cannot reach is said, never passed over in silence.

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

/// What the walk of a folder hands on: a control file, or what it could not reach.
struct FoundInFolder
{
    QString path; ///< below the folder walked, joined with '/'
    QString error; ///< why it could not be reached; empty for a control file found
};

/** Walks the folder at \a path and every folder below it, links to folders
    followed, and hands \a found each control file (a regular file whose name
    ends in ".ccd", in any case) and each folder or entry that could not be
    read, with the reason, as soon as it is met. They come in the order of
    their paths, letter case aside, alike on every system. Each folder is
    walked once however many links lead to it: one that a link leads back up
    to is not walked again, and a control file reached twice is handed on
    once. On Windows the system's hidden folders ($RECYCLE.BIN, System Volume
    Information) are not walked. What it holds grows with the depth of the
    tree and the control files found, not with the number of files. */
void walkDiscFolder(const QString &path, const std::function<void(const FoundInFolder &)> &found);

} // namespace morvant
