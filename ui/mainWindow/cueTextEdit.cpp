#include "cueTextEdit.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

#include <utility>

namespace morvant {

namespace {

// The editor's separator between two lines.
constexpr QChar lineBreak = QChar::ParagraphSeparator;

// In place, from the back: a text as large as the cue sheet is never held twice.
QString toProgramText(QString text)
{
    const qsizetype breaks = text.count(lineBreak);
    if (breaks == 0)
        return text;
    qsizetype from = text.size();
    qsizetype to = from + breaks;
    text.resize(to);
    QChar *data = text.data();
    while (from > 0) {
        const QChar character = data[--from];
        if (character == lineBreak) {
            data[--to] = u'\n';
            data[--to] = u'\r';
        } else {
            data[--to] = character;
        }
    }
    return text;
}

// The editor takes a piece of this many characters at a time: a few
// thousand lines, some milliseconds' work. After each piece the editor lays
// out the lines that end the text again, to size its scroll bar: smaller
// pieces would cost more time and memory in all.
constexpr qsizetype pieceSize = 64 * 1024;

// The editor would make the same one break of a CR LF, but it would keep both
// characters in its own copy of the text; joined here, in place, they take one.
QString toEditorText(QString text)
{
    const qsizetype first = text.indexOf(u"\r\n");
    if (first < 0)
        return text;
    QChar *data = text.data();
    const qsizetype size = text.size();
    qsizetype to = first;
    for (qsizetype from = first; from < size; ++from) {
        if (data[from] != u'\r' || from + 1 == size || data[from + 1] != u'\n')
            data[to++] = data[from];
    }
    text.truncate(to);
    return text;
}

} // namespace

CueTextEdit::CueTextEdit(QWidget *parent) : QPlainTextEdit(parent) { }

QString CueTextEdit::text() const
{
    return toProgramText(document()->toRawText());
}

void CueTextEdit::setText(QString text)
{
    setText(std::move(text), [](qsizetype, qsizetype) {});
}

void CueTextEdit::setText(
    QString text, const std::function<void(qsizetype shown, qsizetype total)> &pieceShown)
{
    // Made the editor's text in place: while the editor takes its own copy, a
    // large sheet is held twice, not three times.
    const QString editorText = toEditorText(std::move(text));
    const qsizetype total = editorText.size();
    // Never between the two halves of a character beyond the BMP.
    const auto pieceEnd = [&editorText, total](qsizetype start) {
        qsizetype end = qMin(start + pieceSize, total);
        if (end < total && editorText[end - 1].isHighSurrogate())
            ++end;
        return end;
    };
    // The first piece goes in as a whole text would: the caret at the start,
    // nothing to undo, not modified; the others go after it, as they are.
    qsizetype shown = pieceEnd(0);
    setPlainText(shown == total ? editorText : editorText.first(shown));
    if (shown == total)
        return;
    QTextDocument *editorDocument = document();
    const bool undoes = editorDocument->isUndoRedoEnabled();
    editorDocument->setUndoRedoEnabled(false);
    QTextCursor end(editorDocument);
    end.movePosition(QTextCursor::End);
    while (shown < total) {
        pieceShown(shown, total);
        const qsizetype pieceStart = shown;
        shown = pieceEnd(pieceStart);
        end.insertText(editorText.sliced(pieceStart, shown - pieceStart));
    }
    editorDocument->setUndoRedoEnabled(undoes);
    editorDocument->setModified(false);
}

qsizetype CueTextEdit::textLength() const
{
    const QTextDocument *editorText = document();
    return editorText->characterCount() - 1 + editorText->blockCount() - 1;
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

// Positions are worked out from the editor's lines, never from a copy of the
// text: before the start of line n come n line breaks, each one character
// longer in the program's text.
qsizetype CueTextEdit::toProgramPosition(int editorPosition) const
{
    const QTextDocument *editorText = document();
    const int end = qMin(editorPosition, editorText->characterCount() - 1);
    return editorPosition + qsizetype(editorText->findBlock(end).blockNumber());
}

int CueTextEdit::toEditorPosition(qsizetype programPosition) const
{
    const QTextDocument *editorText = document();
    const auto programStart = [editorText](int line) {
        return editorText->findBlockByNumber(line).position() + qsizetype(line);
    };
    // The last line that starts at or before the position.
    int low = 0;
    int high = editorText->blockCount() - 1;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (programStart(middle) <= programPosition)
            low = middle;
        else
            high = middle - 1;
    }
    const QTextBlock line = editorText->findBlockByNumber(low);
    // A position inside a CR LF moves on to the next line; the last line has no line end.
    const int lineLength = line.length() - (line.next().isValid() ? 0 : 1);
    return line.position()
        + static_cast<int>(
            qBound<qsizetype>(0, programPosition - programStart(low), qsizetype(lineLength)));
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

} // namespace morvant
