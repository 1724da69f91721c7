#include "discSet.h"

#include "discFiles.h"
#include "discFolders.h"
#include "fileId.h"
#include "fileSystem.h"
#include "translation.h"

#include <QSet>

namespace morvant {

CommandLinePaths commandLinePaths(const QString &argument, QChar separator)
{
    const bool quoted = argument.size() >= 2 && argument.front() == u'"' && argument.back() == u'"';
    // The names are made from the file that the system opens.
    const QString inputPath =
        systemResolvedPath(quoted ? argument.mid(1, argument.size() - 2) : argument);
    return { inputPath, cuePathForFile(inputPath, separator) };
}

QString Disc::reason() const
{
    return kind == NoControlFile ? tr("no control file below it") : error;
}

DiscSet discSet(const QStringList &arguments)
{
    DiscSet set;
    set.named = arguments.size();
    QSet<FileId> taken;
    // False for a disc already taken; one whose identity cannot be told
    // (a file that is not there) is taken, and its mode says why it fails.
    const auto isNew = [&taken](const QString &path) {
        FileId id;
        QString error;
        if (!fileId(path, &id, &error))
            return true;
        if (taken.contains(id))
            return false;
        taken.insert(id);
        return true;
    };
    for (const QString &argument : arguments) {
        const CommandLinePaths paths = commandLinePaths(argument);
        if (!fileStatus(paths.inputPath).isFolder) {
            if (isNew(paths.inputPath))
                set.discs.append({ Disc::ControlFile, paths.inputPath, paths.cuePath, {}, false });
            continue;
        }
        set.hasFolder = true;
        bool isEmpty = true;
        walkDiscFolder(paths.inputPath, [&](const FoundInFolder &found) {
            isEmpty = false;
            if (!found.error.isEmpty())
                set.discs.append({ Disc::Unreachable, found.path, {}, found.error, true });
            else if (isNew(found.path))
                set.discs.append(
                    { Disc::ControlFile, found.path, cuePathForFile(found.path), {}, true });
        });
        if (isEmpty)
            set.discs.append({ Disc::NoControlFile, argument, {}, {}, false });
    }
    return set;
}

} // namespace morvant
