#include "ui/view_btn_text.h"

#include "ui/view_widget_base.h"

ViewBtnText::ViewBtnText(QWidget* parent, const QRect& geometry, const QString& text)
    : ViewLabel(parent, geometry, text, 4) {
    alignCenter();
    connect(this, &ViewLabel::ViewLabel_Clic, this, &ViewBtnText::ViewLabel_ClicIntern);
}

void ViewBtnText::setDefaultColors() {
    m_normalColor = kViewThemeBackground;
    setBackgroundColor(m_normalColor);
    m_hoverColor = kViewThemeHover;
}

void ViewBtnText::ViewLabel_ClicIntern(uint32_t, Qt::KeyboardModifiers flags) { emit ViewBtnText_Clic(tag, flags); }

void ViewBtnText::enterEvent(QEnterEvent* event) {
    ViewLabel::enterEvent(event);
    if (m_hoverColor.isValid() && isEnabledLook()) setBackgroundColor(m_hoverColor);
}

void ViewBtnText::leaveEvent(QEvent* event) {
    ViewLabel::leaveEvent(event);
    if (m_normalColor.isValid()) setBackgroundColor(m_normalColor);
}
