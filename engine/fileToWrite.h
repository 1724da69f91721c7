#pragma once

#include <QString>

#include <functional>

class QFileDevice;

namespace morvant {

// A file that the writing beside the control file puts in place: what the
// writing of one file and of a set of them take.

/// Writes what a file beside the control file holds into the open \a file;
/// false with the reason in \a error.
using WriteContent = std::function<bool(QFileDevice &file, QString *error)>;

/// One file of a set that is written all or nothing.
struct FileToWrite
{
    QString path;
    qint64 size = 0; ///< how many bytes content writes, for the room needed
    WriteContent content; ///< writes the bytes into the open file
};

} // namespace morvant
