#pragma once
// The floating "Audio meters" panel: one Vulkan-drawn level meter per output channel
// (up to eight) with a dB scale, a channel name, a clip lamp, and a solo and a mute
// button under each meter. While audio plays a 40 ms timer drains the ring of peak
// values the output mixer writes, turns each channel's largest value into a level
// with a held peak and hands the channel records to the meters renderer. Its solo and
// mute buttons are the player's channel solo and mute: the main window reads the two
// masks whenever the panel signals a change.
//
// Owned by the main window (no Qt parent); the peak ring is not owned. GUI thread only.
// Without a Vulkan instance (or before the meters window is ready) the panel keeps
// its records, masks and lamps and simply draws no meters.
#include <QList>
#include <QPointer>
#include <cstdint>

#include "ui/base_dialog_widget.h"

class PanelAudioMeterTrackDescriptor;
class QTimer;
class QVulkanInstance;
class ViewAudioMeterRedClip;
class ViewBtnMuteSolo;
class ViewLabel;
class VulkanAudioMetersWidget;
struct PlanarRingBuffer;

class PanelAudioMeter : public BaseDialogWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kSlots = 8;
    static constexpr int kRefreshMs = 40;

    PanelAudioMeter(QWidget* parent, QVulkanInstance* instance);
    ~PanelAudioMeter() override;

    // The output layout and the channels no source feeds (bit i: slot i shows as
    // absent). An unknown layout gives no channel at all.
    void setChannelLayout(uint32_t layout, uint8_t disabledMask);
    void setMeterBuffer(PlanarRingBuffer* ring) { m_ring = ring; }
    void startRefreshTimer();
    void stopRefreshTimer();
    bool isRefreshing() const { return m_timer != nullptr; }

    // Bit i: slot i is absent, muted, or not soloed while another slot is.
    uint8_t channelMuteMask() const;
    // Bit i: slot i is absent or muted (solo ignored).
    uint8_t channelDisabledMask() const;

    uint32_t channelLayout() const { return m_layout; }
    uint32_t channelCount() const { return m_channelCount; }
    PanelAudioMeterTrackDescriptor* descriptor(uint32_t slot) const { return m_descriptors.value(int(slot)); }
    ViewBtnMuteSolo* soloButton(uint32_t slot) const { return m_solo.value(int(slot)); }
    ViewBtnMuteSolo* muteButton(uint32_t slot) const { return m_mute.value(int(slot)); }
    ViewAudioMeterRedClip* clipLamp(uint32_t slot) const { return m_clip.value(int(slot)); }
    ViewLabel* nameLabel(uint32_t slot) const { return m_names.value(int(slot)); }
    // Null without a Vulkan instance.
    VulkanAudioMetersWidget* metersWindow() const { return m_meters; }
    QWidget* metersContainer() const { return m_container; }

    void rebuildChannelViews();
    void updateLayout();
    void refreshRenderer();

signals:
    void notif_view_audio_mute_solo_changed();
    void close_panel();

public slots:
    void act_timer_refresh();
    void viewBtnSoloChanged(uint32_t slot);
    void viewBtnMuteChanged(uint32_t slot);
    void viewAudioMetersRendererEndInit();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void resetLevels();
    bool anySolo() const;

    QList<PanelAudioMeterTrackDescriptor*> m_descriptors;
    QList<ViewLabel*> m_names;
    QList<ViewBtnMuteSolo*> m_solo;
    QList<ViewBtnMuteSolo*> m_mute;
    QList<ViewAudioMeterRedClip*> m_clip;
    QList<ViewLabel*> m_scale;
    VulkanAudioMetersWidget* m_meters = nullptr;  // owned by its container
    QWidget* m_container = nullptr;
    uint32_t m_layout = 4;
    uint32_t m_channelCount = kSlots;
    PlanarRingBuffer* m_ring = nullptr;
    QTimer* m_timer = nullptr;
};
