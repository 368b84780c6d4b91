#include "ui/view_btn_mute_solo.h"

#include "ui/view_label.h"
#include "ui/view_widget_base.h"

ViewBtnMuteSolo::ViewBtnMuteSolo(QWidget* parent, const QRect& labelGeometry, uint32_t channelNum, uint32_t kind)
    : QWidget(parent), m_kind(kind), m_channelNum(channelNum) {
    setAutoFillBackground(true);
    m_label = new ViewLabel(this, labelGeometry, kind == 0 ? "M" : "S", 4);
    m_label->alignCenter();
    connect(m_label, &ViewLabel::ViewLabel_Clic, this, &ViewBtnMuteSolo::ViewLabel_Clic);
    applyColor();
}

void ViewBtnMuteSolo::ViewLabel_Clic(uint32_t, Qt::KeyboardModifiers) {
    if (!m_enabled) return;
    m_on = !m_on;
    applyColor();
    if (m_kind == 0) {
        emit viewBtnMuteChanged(m_channelNum);
    } else {
        emit viewBtnSoloChanged(m_channelNum);
    }
}

void ViewBtnMuteSolo::setEnabledLook(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    view_set_opacity(this, enabled ? 1.0 : 0.3);
    applyColor();
}

void ViewBtnMuteSolo::applyColor() {
    QColor color(29, 54, 69);
    if (isOn()) color = m_kind == 0 ? QColor(185, 105, 0) : QColor(195, 26, 200);
    view_set_palette_color(this, backgroundRole(), color);
}
