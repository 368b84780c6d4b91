#pragma once
// ViewBtnText: a centred kind-4 label used as a push button. A left press sends
// ViewBtnText_Clic with the button's own tag; with default colours set, the
// background lights up while the pointer is over an enabled button.
//
// Owned by its Qt parent. GUI thread only.
#include "ui/view_label.h"

#include <QColor>

class ViewBtnText : public ViewLabel {
    Q_OBJECT
public:
    ViewBtnText(QWidget* parent, const QRect& geometry, const QString& text);

    // Normal background RGB(35,45,54), applied at once; hover RGB(69,88,106).
    void setDefaultColors();

    // The button's own tag, sent by ViewBtnText_Clic (hides the label's tag, which
    // only the label's own signals carry).
    uint32_t tag = 0;

signals:
    void ViewBtnText_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);

public slots:
    void ViewLabel_ClicIntern(uint32_t senderTag, Qt::KeyboardModifiers flags);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QColor m_normalColor;
    QColor m_hoverColor;
};
