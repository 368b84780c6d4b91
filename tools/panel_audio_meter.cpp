#include "tools/panel_audio_meter.h"

#include <QCloseEvent>
#include <QDebug>
#include <QPalette>
#include <QTimer>
#include <QVulkanInstance>
#include <algorithm>
#include <vector>

#include "base/pcm/channel_layouts.h"
#include "audio/planar_ring_buffer.h"
#include "render/vulkan_audio_meters_renderer.h"
#include "render/vulkan_audio_meters_widget.h"
#include "tools/panel_audio_meter_level.h"
#include "render/panel_audio_meter_track_descriptor.h"
#include "ui/view_audio_meter_red_clip.h"
#include "ui/view_btn_mute_solo.h"
#include "ui/view_label.h"

namespace {

const char* const kScaleTexts[9] = {"0", "-6", "-12", "-18", "-24", "-30", "-36", "-42", "-48"};

QStringList meter_names(uint32_t layout) {
    switch (layout) {
    case NAudioChannelLayout_Mono: return {"C"};
    case NAudioChannelLayout_Stereo: return {"L", "R"};
    case NAudioChannelLayout_5_1: return {"L", "R", "C", "Lfe", "Ls", "Rs"};
    case NAudioChannelLayout_DualStereo: return {"L1", "R1", "L2", "R2"};
    default: return {"L", "R", "C", "Lfe", "Lss", "Rss", "Lrs", "Rrs"};
    }
}

// Channels of a layout; 0 for an unknown value (without the engine's console line:
// the panel reports nothing for a layout it simply cannot show).
uint32_t layout_channels(uint32_t layout) {
    static constexpr uint32_t kCounts[5] = {1, 2, 6, 4, 8};
    return layout < 5 ? kCounts[layout] : 0;
}

int slot_x(uint32_t slot) { return 55 + 34 * int(slot); }

}  // namespace

PanelAudioMeter::PanelAudioMeter(QWidget* parent, QVulkanInstance* instance)
    : BaseDialogWidget(parent, QStringLiteral("Audio meters"), 280, 500) {
    setWindowFlags(windowFlags() | Qt::Tool);
    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        colours.setColor(group, QPalette::Window, QColor(23, 43, 55, 255));
    setPalette(colours);
    setAutoFillBackground(true);
    setMinimumHeight(200);
    resize(int(defaultWidth()), int(defaultHeight()));

    for (const char* text : kScaleTexts) {
        auto* label = new ViewLabel(this, QRect(0, 0, 35, 16), QString::fromLatin1(text), 5);
        label->alignRight();
        m_scale.append(label);
    }
    const QStringList names = meter_names(NAudioChannelLayout_7_1);
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        auto* name = new ViewLabel(this, QRect(0, 0, 29, 16), names[int(slot)], 5);
        name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_names.append(name);
        auto* solo = new ViewBtnMuteSolo(this, QRect(0, 0, 20, 14), slot, 1);
        connect(solo, &ViewBtnMuteSolo::viewBtnSoloChanged, this, &PanelAudioMeter::viewBtnSoloChanged);
        m_solo.append(solo);
        auto* mute = new ViewBtnMuteSolo(this, QRect(0, 0, 20, 14), slot, 0);
        connect(mute, &ViewBtnMuteSolo::viewBtnMuteChanged, this, &PanelAudioMeter::viewBtnMuteChanged);
        m_mute.append(mute);
        m_clip.append(new ViewAudioMeterRedClip(this, QRect(0, 0, 20, 10)));
        m_descriptors.append(new PanelAudioMeterTrackDescriptor(nullptr));
    }

    if (instance) {
        m_meters = new VulkanAudioMetersWidget;
        m_meters->setVulkanInstance(instance);
        m_container = QWidget::createWindowContainer(m_meters, this);
        m_container->raise();
        connect(m_meters, &VulkanAudioMetersWidget::viewAudioMetersRendererEndInit, this,
                &PanelAudioMeter::viewAudioMetersRendererEndInit);
    }
    setChannelLayout(NAudioChannelLayout_Stereo, 0);
}

PanelAudioMeter::~PanelAudioMeter() {
    delete m_timer;
    m_timer = nullptr;
    // The container owns the meters window and deletes it with the widget tree. Its
    // Vulkan device and swap chain go first, while the window is still a Vulkan
    // window: destroyed later, the surface would go before the swap chain.
    if (m_meters) m_meters->destroy();
    qDeleteAll(m_descriptors);
    m_descriptors.clear();
}

void PanelAudioMeter::setChannelLayout(uint32_t layout, uint8_t disabledMask) {
    m_layout = layout;
    m_channelCount = layout_channels(layout);
    for (uint32_t slot = 0; slot < kSlots; ++slot)
        m_descriptors[int(slot)]->enabled = (slot < m_channelCount && !(disabledMask & (1u << slot))) ? 1 : 0;
    rebuildChannelViews();
    refreshRenderer();
}

void PanelAudioMeter::resetLevels() {
    for (PanelAudioMeterTrackDescriptor* meter : m_descriptors) meter_reset_level(meter);
}

void PanelAudioMeter::startRefreshTimer() {
    delete m_timer;
    resetLevels();
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &PanelAudioMeter::act_timer_refresh);
    m_timer->start();
}

void PanelAudioMeter::stopRefreshTimer() {
    delete m_timer;
    m_timer = nullptr;
    resetLevels();
    refreshRenderer();
}

bool PanelAudioMeter::anySolo() const {
    for (uint32_t slot = 0; slot < std::min(m_channelCount, kSlots); ++slot)
        if (m_solo[int(slot)]->isOn()) return true;
    return false;
}

uint8_t PanelAudioMeter::channelMuteMask() const {
    const bool solo = anySolo();
    uint8_t mask = 0;
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        const PanelAudioMeterTrackDescriptor* meter = m_descriptors[int(slot)];
        const bool soloedOut = solo && !(slot < m_channelCount && m_solo[int(slot)]->isOn());
        if (!meter->isEnabled() || meter->isMuted() || soloedOut) mask |= uint8_t(1u << slot);
    }
    return mask;
}

uint8_t PanelAudioMeter::channelDisabledMask() const {
    uint8_t mask = 0;
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        const PanelAudioMeterTrackDescriptor* meter = m_descriptors[int(slot)];
        if (!meter->isEnabled() || meter->isMuted()) mask |= uint8_t(1u << slot);
    }
    return mask;
}

void PanelAudioMeter::act_timer_refresh() {
    if (!m_ring || m_ring->planeCount == 0) return;
    uint32_t frames = 0;
    std::vector<uint8_t*> planes(m_ring->planeCount, nullptr);
    planar_ring_buffer_get_read(m_ring, &frames, planes.data());
    if (frames == 0) return;
    const uint32_t channels = std::min<uint32_t>(m_ring->planeCount, kSlots);
    for (uint32_t c = 0; c < channels; ++c) {
        const float* values = reinterpret_cast<const float*>(planes[c]);
        float largest = values[0];
        for (uint32_t i = 1; i < frames; ++i) largest = std::max(largest, values[i]);
        meter_update_level(m_descriptors[int(c)], largest);
    }
    planar_ring_buffer_advance_read(m_ring, frames);
    refreshRenderer();
}

void PanelAudioMeter::viewBtnMuteChanged(uint32_t slot) {
    if (slot >= m_channelCount) {
        qDebug("Warning, invalid mute channel index : %d", int(slot));
        return;
    }
    m_descriptors[int(slot)]->muted = m_mute[int(slot)]->isOn() ? 1 : 0;
    emit notif_view_audio_mute_solo_changed();
    refreshRenderer();
}

void PanelAudioMeter::viewBtnSoloChanged(uint32_t slot) {
    if (slot >= m_channelCount) {
        qDebug("Warning, invalid solo channel index : %d", int(slot));
        return;
    }
    emit notif_view_audio_mute_solo_changed();
}

void PanelAudioMeter::rebuildChannelViews() {
    const QStringList names = meter_names(m_layout);
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        const bool exists = slot < m_channelCount;
        const bool enabled = m_descriptors[int(slot)]->isEnabled();
        if (slot < uint32_t(names.size())) m_names[int(slot)]->setText(names[int(slot)]);
        m_names[int(slot)]->setVisible(exists && enabled);
        m_solo[int(slot)]->setEnabledLook(enabled);
        m_mute[int(slot)]->setEnabledLook(enabled);
        m_clip[int(slot)]->setEnabledLook(enabled);
        m_solo[int(slot)]->setVisible(exists);
        m_mute[int(slot)]->setVisible(exists);
        m_clip[int(slot)]->setVisible(exists);
    }
    const int width = int(m_channelCount) * 34 + 76;
    setFixedWidth(width);
    updateLayout();
}

void PanelAudioMeter::updateLayout() {
    const int h = height();
    const int meterHeight = h - 106;
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
        const int x = slot_x(slot);
        m_names[int(slot)]->setGeometry(x - 4, 20, 29, 16);
        m_clip[int(slot)]->setGeometry(x, 46, 20, 10);
        m_solo[int(slot)]->setGeometry(x, h - 41, 20, 14);
        m_mute[int(slot)]->setGeometry(x, h - 24, 20, 14);
    }
    for (int k = 0; k < m_scale.size(); ++k)
        m_scale[k]->setGeometry(0, int(double(meterHeight) * k / 8.0 + 59.0) - 8, 35, 16);
    if (m_container) {
        const int count = int(m_channelCount);
        const int width = std::max(1, (count - 1) * 14 + count * 20 + 30);
        m_container->setGeometry(40, 59, width, std::max(1, meterHeight));
    }
    if (m_meters && m_meters->renderer()) m_meters->renderer()->updateGeometry(m_channelCount);
    refreshRenderer();
}

void PanelAudioMeter::refreshRenderer() {
    for (uint32_t slot = 0; slot < kSlots; ++slot) m_clip[int(slot)]->setClip(meter_is_peak_at_max(m_descriptors[int(slot)]));
    if (!m_meters || !m_meters->renderer()) return;
    m_meters->renderer()->setTrackDescriptors(m_descriptors);
    m_meters->requestUpdate();
}

void PanelAudioMeter::viewAudioMetersRendererEndInit() { updateLayout(); }

void PanelAudioMeter::resizeEvent(QResizeEvent* event) {
    BaseDialogWidget::resizeEvent(event);
    updateLayout();
}

void PanelAudioMeter::closeEvent(QCloseEvent* event) {
    emit close_panel();
    BaseDialogWidget::closeEvent(event);
}
