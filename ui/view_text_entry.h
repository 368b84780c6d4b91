#pragma once
// ViewTextEntry: the one-line text entry of the toolkit (frameless, dark, Roboto 10).
// Return and Enter only take the focus away, so an edit always ends through the
// focus-out: end_text_edit and ViewTextEntry_EndEdit, once each. The entry's own
// context menu is the one exception: it takes the focus while open without ending the
// edit, and what it does (Paste, Cut, Undo...) is typing like any other. The toolkit's
// buttons never take the focus, so they end an edit in progress themselves before
// they act, and the dialog bases before they close (view_pending_edit.h). A press in an
// enabled entry sends ViewTextEntry_Clic with the keyboard modifiers; while it is sent,
// pressInEdit() tells a press that starts an edit from one inside an edit in progress.
//
// Owned by its Qt parent. GUI thread only.
#include <QLineEdit>
#include <QRect>

#include <cstdint>

class ViewTextEntry : public QLineEdit {
    Q_OBJECT
public:
    ViewTextEntry(QWidget* parent, const QRect& geometry);

    // Sets the text and forgets the remembered selection.
    void setText(const QString& text);
    void alignCenter();
    void focusEntry();
    void unfocus();
    void setTextGrey();
    void setTextWhite();
    // Qt's enabled state and the look (opacity 1.0 or 0.6); acts only on a change.
    void setEnabledLook(bool enabled);
    bool isEnabledLook() const { return m_enabled; }

    // The selection when the entry last lost the focus: start -1 when none.
    int32_t rememberedSelectionStart() const { return m_selectionStart; }
    int32_t rememberedSelectionLength() const { return m_selectionLength; }

    // While ViewTextEntry_Clic is sent: true when the entry already had the focus before
    // this press (an edit is in progress and the press only moves the cursor or selects),
    // false for the press that gave it the focus.
    bool pressInEdit() const { return m_pressInEdit; }

    // Sent first in every signal; written by the owner.
    uint32_t tag = 0;

signals:
    void end_text_edit(uint32_t tag_view);
    void ViewTextEntry_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    void ViewTextEntry_EndEdit(uint32_t senderTag);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool ownMenuIsOpen() const;

    int32_t m_selectionStart = -1;
    int32_t m_selectionLength = 0;
    bool m_enabled = true;
    // Qt gives the focus before it delivers the press that asked for it, so the press
    // handler cannot tell by hasFocus() alone whether the edit started with it.
    bool m_focusFromPress = false;
    bool m_pressInEdit = false;
};
