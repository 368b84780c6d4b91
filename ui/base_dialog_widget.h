#pragma once
// BaseDialogWidget: the free-standing panel (preferences, hardware information, audio
// panels, shortcuts, about), a DialogFrame on QWidget: the dialogs' dark background,
// right-aligned bottom buttons and button signals: OK and cancel emit
// clic_btn_dialog_1 / _2 with the sender tag and close the panel (closing does not
// delete it). It keeps a size given at construction that the subclass applies, and
// follows the screen of its native window to keep a high-DPI flag.
// A number still being typed in one of its entries ends, as Return would end it,
// before a button acts and before the window's close reaches a derived panel's
// handler (storing nothing by itself).
// A window of its own even with a parent. Owned by its creator. GUI thread only.
#include <QString>
#include <QWidget>

#include <cstdint>

#include "ui/base_dialog_common.h"

class ViewBtnText;

class BaseDialogWidget : public DialogFrame<BaseDialogWidget, QWidget> {
    Q_OBJECT
public:
    BaseDialogWidget(QWidget* parent, const QString& title, uint32_t defaultWidth = 100,
                     uint32_t defaultHeight = 100);

    // A 100 x 25 button with the default colours; unlike the dialog's, it goes to the
    // bottom buttons.
    ViewBtnText* createButton(const QString& text);

    uint32_t defaultWidth() const { return m_defaultWidth; }
    uint32_t defaultHeight() const { return m_defaultHeight; }

signals:
    void clic_btn_dialog_1(uint32_t sender_tag);
    void clic_btn_dialog_2(uint32_t sender_tag);
    void clic_btn_dialog_3(uint32_t sender_tag);

protected:
    // Places the bottom buttons; subclasses call it first.
    void resizeEvent(QResizeEvent* event) override;

private:
    uint32_t m_defaultHeight = 100;
    uint32_t m_defaultWidth = 100;
};

extern template class DialogFrame<BaseDialogWidget, QWidget>;
