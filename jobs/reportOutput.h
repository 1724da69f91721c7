#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>

class QIODevice;

namespace morvant {

/** Where a report goes: standard output, or a buffer in the tests. Text for
    people reaches a file or a pipe as the bytes that toShownBytes() gives,
    and a console, where one is given, as its characters; JSON is UTF-8 with
    shownJson()'s escapes, shown in a console as its characters too. */
class ReportOutput
{
public:
    /// Writes text to a console, which shows every character that its font has.
    using Console = std::function<void(const QString &text)>;

    // A device alone is what the tests hand over, so it converts as it is.
    ReportOutput(QIODevice &device, Console console = {})
        : device(device), console(std::move(console))
    {
    }

    /// Writes \a text, a part of a report for people, whose texts from files are escaped.
    void text(const QString &text);

    /// Writes \a json, a part of a JSON document.
    void json(const QByteArray &json);

private:
    QIODevice &device;
    Console console;
};

} // namespace morvant
