#include "ui/view_text_entry.h"

#include "ui/view_fonts.h"
#include "ui/view_widget_base.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>

ViewTextEntry::ViewTextEntry(QWidget* parent, const QRect& geometry) : QLineEdit(parent) {
    setGeometry(geometry);
    setFrame(false);
    setAutoFillBackground(true);
    setStyleSheet(
        "QLineEdit {border: 0px;border-radius: 0px;padding: 0 8px;background: #232D36;"
        "selection-background-color: darkgray;}");
    if (const auto font = view_roboto_font("Roboto-Regular", 10)) setFont(*font);
    setTextWhite();
}

void ViewTextEntry::setText(const QString& text) {
    QLineEdit::setText(text);
    m_selectionStart = -1;
    m_selectionLength = 0;
}

void ViewTextEntry::alignCenter() { setAlignment(Qt::AlignCenter); }

void ViewTextEntry::focusEntry() { setFocus(Qt::OtherFocusReason); }

void ViewTextEntry::unfocus() { clearFocus(); }

void ViewTextEntry::setTextGrey() { view_set_palette_color(this, QPalette::Text, Qt::gray); }

void ViewTextEntry::setTextWhite() { view_set_palette_color(this, QPalette::Text, Qt::white); }

void ViewTextEntry::setEnabledLook(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    setEnabled(enabled);
    view_set_opacity(this, enabled ? 1.0 : 0.6);
}

void ViewTextEntry::focusInEvent(QFocusEvent* event) {
    m_focusFromPress = event->reason() == Qt::MouseFocusReason;
    QLineEdit::focusInEvent(event);
}

void ViewTextEntry::focusOutEvent(QFocusEvent* event) {
    // The entry's own context menu (Paste, Cut, Undo...) takes the focus only while it
    // is open and hands it back when it closes: what it does belongs to the edit, which
    // must go on, so that the text shown when the edit ends is the text evaluated.
    if (event->reason() == Qt::PopupFocusReason && ownMenuIsOpen()) {
        QLineEdit::focusOutEvent(event);
        return;
    }
    m_focusFromPress = false;
    if (hasSelectedText()) {
        m_selectionStart = selectionStart();
        m_selectionLength = static_cast<int32_t>(selectedText().size());
    } else {
        m_selectionStart = -1;
        m_selectionLength = 0;
    }
    QLineEdit::focusOutEvent(event);
    emit end_text_edit(tag);
    emit ViewTextEntry_EndEdit(tag);
}

bool ViewTextEntry::ownMenuIsOpen() const {
    // QLineEdit makes its standard context menu a child of the entry.
    const QWidget* popup = QApplication::activePopupWidget();
    return popup != nullptr && popup->parentWidget() == this;
}

void ViewTextEntry::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        clearFocus();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ViewTextEntry::mousePressEvent(QMouseEvent* event) {
    m_pressInEdit = hasFocus() && !m_focusFromPress;
    m_focusFromPress = false;
    QLineEdit::mousePressEvent(event);
    if (m_enabled) emit ViewTextEntry_Clic(tag, QGuiApplication::keyboardModifiers());
    m_pressInEdit = false;
}
