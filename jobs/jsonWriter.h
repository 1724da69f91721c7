#pragma once

#include "reportOutput.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace morvant {

/** Writes JSON as QJsonDocument's indented form does, one value at a time and
    straight to a ReportOutput, so that a report is never held a second time
    as JSON objects or as text. The caller gives an object's members in the
    sorted order of their keys, as QJsonObject keeps them. */
class JsonWriter
{
public:
    explicit JsonWriter(ReportOutput &output) : output(output) { }

    /// Opens an object ('{') or an array ('['), after member() or element() but at the top.
    void open(char bracket);
    /// Closes the innermost object or array; the document, when it is the outermost.
    void close(char bracket);
    /// Starts the next element of an array.
    void element();
    /// Starts the member \a key of an object; its value follows.
    void member(const char *key);

    template <typename Value> void field(const char *key, const Value &value)
    {
        member(key);
        this->value(value);
    }

    template <typename Value> void optionalField(const char *key, const Value &value)
    {
        member(key);
        optional(value);
    }

    void value(const QString &string);
    /// UTF-8 text; without it, a literal would be taken for a bool.
    void value(const char *string);
    void value(qint64 number);
    void value(int number) { value(qint64(number)); }
    void value(bool isTrue);
    void null();

    // The empty text and negative counts stand for "none".
    void optional(const QString &string);
    void optional(qint64 number);

private:
    ReportOutput &output;
    QByteArray text;
    QList<bool> hasItems; ///< of each open object and array
};

} // namespace morvant
