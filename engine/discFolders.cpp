#include "discFolders.h"

#include "basics.h"
#include "discFolders_p.h"

#include <QSet>

#include <algorithm>

namespace morvant {

namespace {

// In the order of the paths they make, letter case aside: a folder's name is
// compared as followed by the separator, so that "A/x.ccd" comes where "A/"
// does among its neighbours; names that differ only in case keep one order.
bool isBefore(const FolderEntry &a, const FolderEntry &b)
{
    const QString left = a.kind == FolderEntry::Folder ? a.name + u'/' : a.name;
    const QString right = b.kind == FolderEntry::Folder ? b.name + u'/' : b.name;
    const int folded = QString::compare(left, right, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : left < right;
}

QString joined(const QString &folder, const QString &name)
{
    const bool hasSeparator = folder.endsWith(u'/') || folder.endsWith(nativeSeparator);
    return hasSeparator ? folder + name : folder + u'/' + name;
}

QString cannotRead(const QString &reason)
{
    return tr("cannot read the folder: %1").arg(reason);
}

/// A folder being walked: what is left of its entries.
struct Level
{
    QString path;
    FileId id;
    QList<FolderEntry> entries;
    qsizetype next = 0;
};

} // namespace

bool isControlFileName(const QString &name)
{
    return name.size() >= 4 && name.endsWith(QLatin1String(".ccd"), Qt::CaseInsensitive);
}

void walkDiscFolder(const QString &path, const std::function<void(const FoundInFolder &)> &found)
{
    // Depth first, one folder's entries at a time: the folders on the way
    // down are all that is held of the tree.
    QList<Level> stack;
    QSet<FileId> enteredThroughLinks;
    QSet<FileId> told; // folders whose control files have been handed on
    const auto enter = [&](const QString &folder, bool isLink) {
        Level level{ folder, {}, {}, 0 };
        QString error;
        if (!fileId(folder, &level.id, &error)) {
            found({ folder, cannotRead(error) });
            return;
        }
        // A link back up would lead round for ever, and two links to one
        // folder would walk it twice.
        if (std::any_of(stack.begin(), stack.end(),
                [&](const Level &above) { return above.id == level.id; }))
            return;
        if (isLink) {
            if (enteredThroughLinks.contains(level.id))
                return;
            enteredThroughLinks.insert(level.id);
        }
        if (!readFolder(folder, &level.entries, &error))
            found({ folder, cannotRead(error) });
        // A folder met again, below a link to a folder above it say, hands
        // on only its folders, which may hold what has not been met yet.
        if (told.contains(level.id)) {
            level.entries.removeIf(
                [](const FolderEntry &entry) { return entry.kind != FolderEntry::Folder; });
        } else if (std::any_of(
                       level.entries.begin(), level.entries.end(), [](const FolderEntry &entry) {
                           return entry.kind != FolderEntry::Folder;
                       })) {
            told.insert(level.id);
        }
        std::sort(level.entries.begin(), level.entries.end(), isBefore);
        stack.append(std::move(level));
    };
    enter(path, false);
    while (!stack.isEmpty()) {
        Level &level = stack.last();
        if (level.next == level.entries.size()) {
            stack.removeLast();
            continue;
        }
        const FolderEntry entry = level.entries[level.next++];
        const QString entryPath = joined(level.path, entry.name);
        switch (entry.kind) {
        case FolderEntry::ControlFile:
            found({ entryPath, {} });
            break;
        case FolderEntry::Unreachable:
            found({ entryPath, entry.error });
            break;
        case FolderEntry::Folder:
            enter(entryPath, entry.isLink); // may move the stack: level is not used after
            break;
        }
    }
}

} // namespace morvant
