#include "reportOutput.h"

#include "fileSystem.h"

#include <QIODevice>

namespace morvant {

void ReportOutput::text(const QString &text)
{
    if (console)
        console(text);
    else
        device.write(toShownBytes(text));
}

void ReportOutput::json(const QByteArray &json)
{
    // Names from files reach a terminal through JSON too.
    const QByteArray escaped = shownJson(json);
    if (console)
        console(QString::fromUtf8(escaped));
    else
        device.write(escaped);
}

} // namespace morvant
