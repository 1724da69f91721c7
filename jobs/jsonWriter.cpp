#include "jsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace morvant {

void JsonWriter::open(char bracket)
{
    text += bracket;
    text += '\n';
    hasItems.append(false);
}

void JsonWriter::close(char bracket)
{
    if (hasItems.takeLast())
        text += '\n';
    text += QByteArray(4 * hasItems.size(), ' ');
    text += bracket;
    if (hasItems.isEmpty())
        text += '\n';
    // Handed on after a bracket, never inside a string, whose escapes the output works out.
    if (text.size() >= 64 * 1024 || hasItems.isEmpty()) {
        output.json(text);
        text.clear();
    }
}

void JsonWriter::element()
{
    if (hasItems.last())
        text += ",\n";
    hasItems.last() = true;
    text += QByteArray(4 * hasItems.size(), ' ');
}

void JsonWriter::member(const char *key)
{
    element();
    text += '"';
    text += key;
    text += "\": ";
}

void JsonWriter::value(const QString &string)
{
    // QJsonDocument's own escapes, so that every string reads as it would in a document of it.
    const QByteArray escaped = QJsonDocument(QJsonArray{ string }).toJson(QJsonDocument::Compact);
    text += QByteArrayView(escaped).sliced(1, escaped.size() - 2);
}

void JsonWriter::value(const char *string)
{
    value(QString::fromUtf8(string));
}

void JsonWriter::value(qint64 number)
{
    text += QByteArray::number(number);
}

void JsonWriter::value(bool isTrue)
{
    text += isTrue ? "true" : "false";
}

void JsonWriter::null()
{
    text += "null";
}

void JsonWriter::optional(const QString &string)
{
    string.isEmpty() ? null() : value(string);
}

void JsonWriter::optional(qint64 number)
{
    number < 0 ? null() : value(number);
}

} // namespace morvant
