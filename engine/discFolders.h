#pragma once

#include <QString>

#include <functional>

namespace morvant {

// A folder named on the command line stands for every disc below it. Archives
// and disks hold what no tidy tree does (folders that cannot be read, names
// that are not UTF-8, links back up, the system's own folders), and each disc
// that the walk cannot reach is said, never passed over in silence.

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
