#include "discFiles.h"

#include "discImage.h"

#include <QDir>
#include <QFileInfo>

namespace morvant {

namespace {

// \a path with its last four characters, the .cue's or the .sbi's extension,
// replaced by \a extension.
QString withExtension(const QString &path, QLatin1String extension)
{
    return path.chopped(qMin<qsizetype>(4, path.size())) + extension;
}

// Keeps at least the folder part of \a path: at most \a count characters of
// the file name after the last separator are dropped.
QString dropFromName(const QString &path, qsizetype count, QChar separator)
{
    const qsizetype nameLength = path.size() - fileNameStart(path, separator);
    return path.left(path.size() - qMin(count, nameLength));
}

} // namespace

qsizetype fileNameStart(const QString &path, QChar separator)
{
    return qMax(path.lastIndexOf(separator), path.lastIndexOf(u'/')) + 1;
}

QString imageName(const QString &path, QChar separator)
{
    const qsizetype nameStart = fileNameStart(path, separator);
    return path.mid(nameStart, qMax<qsizetype>(path.size() - nameStart - 4, 0));
}

QString besideControlFile(const QString &path, QChar separator, QLatin1String extension)
{
    return path.left(fileNameStart(path, separator)) + imageName(path, separator) + extension;
}

QString sameNameOtherCase(const QString &path)
{
    const QFileInfo info(path);
    const QStringList names = info.dir().entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (name.compare(info.fileName(), Qt::CaseInsensitive) == 0 && name != info.fileName())
            return name;
    }
    return {};
}

QString cuePathForFile(const QString &path, QChar separator)
{
    return dropFromName(path, 4, separator) + QStringLiteral(".cue");
}

QString sbiPathFor(const QString &cuePath)
{
    return withExtension(cuePath, QLatin1String(".sbi"));
}

QString imagePathOf(const QString &path)
{
    return withExtension(path, QLatin1String(".img"));
}

std::optional<qint64> ConversionFiles::imageSectors() const
{
    return imageStatus.isFile ? std::optional<qint64>(imageStatus.size / imageSectorSize)
                              : std::nullopt;
}

ConversionFiles conversionFiles(const QString &controlFile, QChar separator)
{
    ConversionFiles files;
    files.controlFile = controlFile;
    files.separator = separator;
    files.cue = cuePathForFile(controlFile, separator);
    files.image = besideControlFile(controlFile, separator, QLatin1String(".img"));
    files.imageStatus = fileStatus(files.image);
    files.sub = besideControlFile(controlFile, separator, QLatin1String(".sub"));
    files.subStatus = fileStatus(files.sub);
    files.sbi = sbiPathFor(files.cue);
    return files;
}

} // namespace morvant
