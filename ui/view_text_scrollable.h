#pragma once
// Read-only plain-text log of the tool windows (reports, hardware information). Text
// is only ever appended at the end or cleared; owners may let a click make it
// editable. GUI thread only.
#include <QPlainTextEdit>
#include <QStringList>

#include <cstdint>

class ViewTextScrollable : public QPlainTextEdit {
    Q_OBJECT
public:
    ViewTextScrollable(QWidget* parent, const QRect& geometry);

    // Appends `text` at the end, followed by a line feed when `newLine`.
    void appendText(const QString& text, bool newLine);
    // Appends a batch of lines, joined with line feeds when `newLines` (no line feed
    // after the last), else with nothing. With `newLines`, a batch appended to text
    // that does not end with a line feed starts on a line of its own.
    void appendLines(const QStringList& lines, bool newLines);

    void clear();
    QString text() const;
    bool hasText() const;

    uint32_t tag = 0;
    bool editableOnClic = false;  // a click makes the view editable

signals:
    void ViewTextScrollable_textDidChange(uint32_t senderTag);

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void insertAtEnd(const QString& text);
};
