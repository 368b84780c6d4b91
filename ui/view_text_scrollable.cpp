#include "ui/view_text_scrollable.h"

#include "ui/view_fonts.h"
#include "ui/view_simple_scroll.h"
#include "ui/view_widget_base.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

ViewTextScrollable::ViewTextScrollable(QWidget* parent, const QRect& geometry) : QPlainTextEdit(parent) {
    view_set_palette_color(this, QPalette::Base, kViewThemeBackground);
    view_set_palette_color(this, QPalette::Text, Qt::white);
    setAutoFillBackground(true);
    setFrameShape(QFrame::NoFrame);
    setReadOnly(true);
    if (const auto font = view_roboto_font(QStringLiteral("Roboto-Regular"), 10)) setFont(*font);
    verticalScrollBar()->setStyleSheet(view_scroll_bar_style_sheet());
    setGeometry(geometry);
}

void ViewTextScrollable::insertAtEnd(const QString& text) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

void ViewTextScrollable::appendText(const QString& text, bool newLine) {
    insertAtEnd(newLine ? text + QLatin1Char('\n') : text);
}

void ViewTextScrollable::appendLines(const QStringList& lines, bool newLines) {
    QString batch = lines.join(newLines ? QStringLiteral("\n") : QString());
    // Without this, a batch following text that has no final line feed would
    // continue that text's last line.
    if (newLines && !batch.isEmpty()) {
        const QTextDocument* doc = document();
        const int length = doc->characterCount() - 1;  // without the closing separator
        if (length > 0 && doc->characterAt(length - 1) != QChar::ParagraphSeparator)
            batch.prepend(QLatin1Char('\n'));
    }
    insertAtEnd(batch);
}

void ViewTextScrollable::clear() {
    setPlainText(QString());
}

QString ViewTextScrollable::text() const {
    return toPlainText();
}

bool ViewTextScrollable::hasText() const {
    return document()->characterCount() > 1;
}

void ViewTextScrollable::keyReleaseEvent(QKeyEvent* event) {
    QPlainTextEdit::keyReleaseEvent(event);
    emit ViewTextScrollable_textDidChange(tag);
}

void ViewTextScrollable::mousePressEvent(QMouseEvent*) {
    // The log is not selectable with the mouse; reports are saved as files instead.
    if (editableOnClic) setReadOnly(false);
}
