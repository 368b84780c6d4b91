#include "ui/view_volume_controls.h"

#include "ui/view_btn_image.h"
#include "ui/view_label.h"
#include "ui/view_slider.h"

#include <algorithm>
#include <cmath>

ViewVolumeControls::ViewVolumeControls(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    m_muteButton = new ViewBtnImage(this, QRect(0, 0, 32, 32),
                                    QStringList{":/Rsc/RESSOURCES_UI/SOUND_mute.png", ":/Rsc/RESSOURCES_UI/SOUND_mute_OFF.png"});
    m_muteButton->setToolTip("Mute/Unmute sound output");
    connect(m_muteButton, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewVolumeControls::act_btn_mute);
    m_slider = new ViewSlider(this, QRect(37, 0, 85, 11), 0, 150, 100);
    connect(m_slider, &ViewSlider::act_mouse_slider, this, &ViewVolumeControls::act_slider_volume);
    m_valueText = new ViewLabel(this, QRect(127, 0, 0, 15), "100%", 3);
    connect(m_valueText, &ViewLabel::ViewLabel_Clic, this, &ViewVolumeControls::ViewLabel_Clic);
    updateLayout();
    refresh();
}

void ViewVolumeControls::updateLayout() {
    const int w = width();
    const int h = height();
    m_muteButton->setGeometry(0, int((h - 32) * 0.5), 32, 32);
    m_slider->setGeometry(37, int((h - 11) * 0.5), 85, 11);
    m_valueText->setGeometry(127, int((h - 15) * 0.5), w - 127, 15);
}

void ViewVolumeControls::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewVolumeControls::repaintSlider() { m_slider->update(); }

void ViewVolumeControls::refresh() {
    const int32_t percent = static_cast<int32_t>(std::lround(m_gain * 100.0f));
    m_slider->setValue(percent);
    if (m_muted) {
        m_muteButton->setImageIndex(0, false);
        m_slider->fadeOutLook(150);
        m_valueText->setText("Mute");
    } else {
        m_muteButton->setImageIndex(1, false);
        m_slider->fadeInLook(150);
        m_valueText->setText(QString("%1%2").arg(percent).arg("%"));
    }
}

void ViewVolumeControls::perform_action() {
    if (m_muted) {
        emit viewVolumeMuted();
        return;
    }
    const double gain = m_gain;
    emit viewVolumeGainChanged(static_cast<float>(20.0 * std::log10(gain * gain * gain)));
}

void ViewVolumeControls::act_btn_mute() {
    m_muted = !m_muted;
    refresh();
    perform_action();
}

void ViewVolumeControls::act_slider_volume() {
    const int32_t value = m_slider->value();
    if (value != 0) {
        m_muted = false;
        m_gain = std::clamp(float(value) / 100.0f, 0.0f, 1.5f);
    } else {
        m_muted = true;
    }
    refresh();
    perform_action();
}

void ViewVolumeControls::ViewLabel_Clic(uint32_t, Qt::KeyboardModifiers flags) {
    if (flags & Qt::ControlModifier) reset_volume();
}

void ViewVolumeControls::reset_volume() {
    m_muted = false;
    m_gain = 1.0f;
    refresh();
    perform_action();
}
