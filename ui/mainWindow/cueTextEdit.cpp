#include "cueTextEdit.h"

#include <QMimeData>
#include <QTextDocument>

namespace {

const QString lineEnd = QStringLiteral("\r\n");

// The editor's separator between two lines.
constexpr QChar lineBreak = QChar::ParagraphSeparator;

// One pass, each piece copied once: QString::replace() moves the whole rest
// of the text again for every thousand replacements, which made a large cue
// sheet take time that grew with the square of its size.
QString replaced(QStringView text, QStringView before, QStringView after, qsizetype count)
{
    QString result;
    result.reserve(text.size() + count * (after.size() - before.size()));
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(before); at >= 0;
         from = at + before.size(), at = text.indexOf(before, from)) {
        result += text.sliced(from, at - from);
        result += after;
    }
    result += text.sliced(from);
    return result;
}

QString toProgramText(QStringView editorText)
{
    const QChar separator[] = { lineBreak };
    return replaced(editorText, separator, lineEnd, editorText.count(lineBreak));
}

QString toEditorText(QStringView text)
{
    // The editor would make the same one break of a CR LF; saying so keeps the
    // count of lines independent of how it treats a pair.
    return replaced(text, lineEnd, u"\n", 0);
}

} // namespace

CueTextEdit::CueTextEdit(QWidget *parent) : QPlainTextEdit(parent) { }

QString CueTextEdit::rawText() const
{
    return document()->toRawText();
}

QString CueTextEdit::text() const
{
    return toProgramText(rawText());
}

void CueTextEdit::setText(QString text)
{
    QString editorText = toEditorText(text);
    // A large sheet is then held twice at most, not three times: the editor's
    // copy and ours.
    text = QString();
    setPlainText(editorText);
}

QString CueTextEdit::selectedText() const
{
    return toProgramText(textCursor().selectedText());
}

void CueTextEdit::replaceSelection(const QString &text)
{
    QTextCursor cursor = textCursor();
    cursor.insertText(toEditorText(text));
    setTextCursor(cursor);
}

qsizetype CueTextEdit::toProgramPosition(int editorPosition) const
{
    const QString raw = rawText();
    const qsizetype end = qMin<qsizetype>(editorPosition, raw.size());
    return editorPosition + QStringView(raw).left(end).count(lineBreak);
}

int CueTextEdit::toEditorPosition(qsizetype programPosition) const
{
    const QString raw = rawText();
    qsizetype program = 0;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (program >= programPosition)
            return static_cast<int>(i);
        program += raw[i] == lineBreak ? 2 : 1;
    }
    return static_cast<int>(raw.size());
}

qsizetype CueTextEdit::selectionStart() const
{
    return toProgramPosition(textCursor().selectionStart());
}

qsizetype CueTextEdit::selectionLength() const
{
    const QTextCursor cursor = textCursor();
    return toProgramPosition(cursor.selectionEnd()) - toProgramPosition(cursor.selectionStart());
}

void CueTextEdit::setSelectionStart(qsizetype start)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(toEditorPosition(qMax<qsizetype>(start, 0)));
    setTextCursor(cursor);
}

void CueTextEdit::setSelectionLength(qsizetype length)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(toEditorPosition(toProgramPosition(start) + qMax<qsizetype>(length, 0)),
        QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

QMimeData *CueTextEdit::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(selectedText());
    return data;
}
