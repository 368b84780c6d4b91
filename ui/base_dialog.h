#pragma once
// BaseDialog: the modal dialog every tool dialog is built on (a DialogFrame on
// QDialog). Dark background, a title bar without system buttons, and a 45-pixel bottom
// bar of text buttons: OK, cancel, abort and tagged buttons from the right (the first
// added is right-most), extra buttons from the left (hidden when they would reach the
// right ones). OK, cancel and abort emit clic_btn_dialog_1, _2 and _3 with the sender
// tag and close the dialog (closing does not delete it); tagged and left buttons call
// the virtual act_btn_bottom_left_btn with their tag.
//
// A number still being typed in one of its entries ends, as Return would end it,
// before a button acts (the toolkit's clickable widgets see to that), before Escape
// rejects the dialog and before the window's close reaches a derived window's
// handler; ending the edit stores nothing by itself, so Cancel and Escape still leave
// the preferences alone.
//
// showDialog shows it window-modal without a modal loop: the owner hears the result
// through the three signals (so tests drive the buttons directly). The dialog follows
// the screen of its native window to keep a high-DPI flag.
// Owned by its creator (or Qt parent). GUI thread only.
#include <QDialog>
#include <QList>
#include <QRect>
#include <QString>

#include <cstdint>

#include "ui/base_dialog_common.h"

class ViewBtnText;
class ViewLabel;

class BaseDialog : public DialogFrame<BaseDialog, QDialog> {
    Q_OBJECT
public:
    BaseDialog(QWidget* parent, const QRect& geometry, const QString& title);

    ViewBtnText* addAbortButton(const QString& text);
    ViewBtnText* addTaggedButton(const QString& text, uint32_t tag);
    ViewBtnText* addBottomLeftButton(const QString& text, uint32_t tag);

    // The left buttons in the order they were added (the right ones: rightButtons).
    const QList<ViewBtnText*>& leftButtons() const { return m_leftButtons; }

    // Height above the button bar: height - 45 with buttons, else the height.
    int32_t contentHeight() const;
    // Geometry (0, 0, width, height) with the height fixed.
    void setFixedHeightKeepWidth(uint32_t height);
    // Centres the dialog on its screen's available area.
    void centerOnScreen();
    // With `fitToScreen`, shrinks the dialog to the primary screen's available area
    // and centres it there (origin included, for screens not at 0,0). Then shows it
    // window-modal and follows its screen.
    void showDialog(bool fitToScreen);

signals:
    void clic_btn_dialog_1(uint32_t sender_tag);
    void clic_btn_dialog_2(uint32_t sender_tag);
    void clic_btn_dialog_3(uint32_t sender_tag);

public slots:
    virtual void layoutButtons();
    virtual void act_btn_bottom_left_btn(uint32_t senderTag);
    void _set_width_btn(ViewBtnText* tmpBtn, int nWidth);
    void ViewBtnText_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);

protected:
    void resizeEvent(QResizeEvent* event) override;

    // For the message boxes, whose `label` spans their width but for its side margins:
    // fixes the height that shows the label's text whole in lines
    // (ViewLabel::setWrapToWidth) with `around` pixels of the box above and below it,
    // never less than the present height, and centres the box. A text too tall for
    // the screen first widens the box to the screen's available width. The box never
    // grows past that area, less room for its frame; a text that still does not fit
    // is cut at the bottom.
    void growToShowText(const ViewLabel* label, int around);

private:
    QList<ViewBtnText*> m_leftButtons;
};

extern template class DialogFrame<BaseDialog, QDialog>;
