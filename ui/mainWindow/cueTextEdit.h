#pragma once

#include <QPlainTextEdit>

#include <functional>

namespace morvant {

/** The main window's text area. The editor keeps each line break as one
    separator character, while the program's text, its selection and what it
    writes count a line end as CR LF, two characters. Everything the window's
    commands read or set goes through the members below, which speak in the
    program's terms: text with CR LF line ends, positions and lengths that count
    CR LF as two. */
class CueTextEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CueTextEdit(QWidget *parent = nullptr);

    /// The whole text, every line break as CR LF.
    QString text() const;
    /// Replaces the whole text; CR LF, LF and a lone CR each start a new line.
    void setText(QString text);
    /** Replaces the whole text as setText() does, a piece at a time, and
        calls \a pieceShown after each piece but the last with how many of
        the editor's characters are in and how many there are in all. */
    void setText(
        QString text, const std::function<void(qsizetype shown, qsizetype total)> &pieceShown);
    /// The length of text(), without making it.
    qsizetype textLength() const;

    /// The selected characters, empty when nothing is selected.
    QString selectedText() const;
    /// Replaces the selection (or inserts at the caret) and leaves the caret after \a text.
    void replaceSelection(const QString &text);

    qsizetype selectionStart() const;
    qsizetype selectionLength() const;
    /// Moves the caret to \a start and leaves nothing selected.
    void setSelectionStart(qsizetype start);
    /** Selects \a length characters from the selection start. A selection that
        would end inside a CR LF takes the whole line end. */
    void setSelectionLength(qsizetype length);

protected:
    // The editor's own copy and cut (used while the Edit items are disabled)
    // hand out the same CR LF text as the window's commands.
    QMimeData *createMimeDataFromSelection() const override;

private:
    qsizetype toProgramPosition(int editorPosition) const;
    int toEditorPosition(qsizetype programPosition) const;
};

} // namespace morvant
