#pragma once

// What the walk of a folder (discFolders.cpp) asks of each system.

#include "fileId.h"

#include <QList>
#include <QString>

namespace morvant {

/// An entry of a folder that the walk cares for.
struct FolderEntry
{
    enum Kind {
        ControlFile, ///< a regular file whose name ends in ".ccd", links followed
        Folder, ///< a folder to walk
        Unreachable, ///< what cannot be told or read, with the reason in error
    };
    QString name;
    Kind kind = Unreachable;
    bool isLink = false; ///< a folder reached through a symbolic link or a junction
    QString error;
};

/** The control files, the folders and what cannot be told in the folder at
    \a path, in no order; everything else is left out. False with the
    system's reason in \a error when the folder cannot be read, with what was
    read before that in \a entries. */
bool readFolder(const QString &path, QList<FolderEntry> *entries, QString *error);

/// Whether \a name ends in ".ccd", in any case.
bool isControlFileName(const QString &name);

} // namespace morvant
