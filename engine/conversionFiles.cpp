#include "conversionFiles.h"

#include "cueFile.h"
#include "discImage.h"

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
