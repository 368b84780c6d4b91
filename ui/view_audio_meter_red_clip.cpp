#include "ui/view_audio_meter_red_clip.h"

#include "ui/view_widget_base.h"

ViewAudioMeterRedClip::ViewAudioMeterRedClip(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    setAutoFillBackground(true);
    recolour();
}

void ViewAudioMeterRedClip::recolour() {
    view_set_palette_color(this, backgroundRole(),
                           m_enabled && m_clip ? QColor(245, 70, 70) : QColor(23, 29, 35));
}

void ViewAudioMeterRedClip::setEnabledLook(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    view_set_opacity(this, enabled ? 1.0 : 0.6);
    recolour();
}

void ViewAudioMeterRedClip::setClip(bool clip) {
    if (clip == m_clip) return;
    m_clip = clip;
    recolour();
}
