// The audio meter panel without a Vulkan window: the level arithmetic and its hold,
// the mute and disabled masks from the solo and mute buttons, the fixed widths and
// names per layout, draining the peak ring, and the refresh timer.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>
#include <soundio/soundio.h>

#include "audio/planar_ring_buffer.h"
#include "tests/tools/audio_panel_test_support.h"
#include "tools/panel_audio_meter.h"
#include "tools/panel_audio_meter_level.h"
#include "render/panel_audio_meter_track_descriptor.h"
#include "ui/view_audio_meter_red_clip.h"
#include "ui/view_btn_mute_solo.h"
#include "ui/view_label.h"
#include "widget_app.h"

namespace {

float level_of(float value) {
    PanelAudioMeterTrackDescriptor meter;
    meter_update_level(&meter, value);
    return meter.level;
}

void click(ViewBtnMuteSolo* button) {
    ViewLabel* letter = button->findChild<ViewLabel*>();
    ASSERT_NE(letter, nullptr);
    QTest::mouseClick(letter, Qt::LeftButton);
}

class MeterPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget_app();
        panel = std::make_unique<PanelAudioMeter>(nullptr, nullptr);
    }
    std::unique_ptr<PanelAudioMeter> panel;
};

}  // namespace

TEST(MeterLevel, SampleValuesBecomeLevelsOnTheDecibelScale) {
    const struct {
        float value;
        float level;
    } cases[] = {
        {0.0f, 0.0f},
        {1.0f, 1.0f},
        {-2.0f, 1.0f},
        {5.0f, 1.0f},
        {0.5f, (48.0f - 6.0206f) / 48.0f},
        {-0.5f, (48.0f - 6.0206f) / 48.0f},
        {0.001f, 0.0f},  // -60 dB: below the floor
        {std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {std::numeric_limits<float>::infinity(), 1.0f},
    };
    for (const auto& c : cases) EXPECT_NEAR(level_of(c.value), c.level, 1e-4) << c.value;
}

TEST(MeterLevel, PeakHoldsFiftyOneRefreshesAndALouderPeakReplacesIt) {
    PanelAudioMeterTrackDescriptor meter;
    meter_update_level(&meter, 1.0f);
    EXPECT_TRUE(meter_is_peak_at_max(&meter));
    for (int i = 1; i <= 51; ++i) {
        meter_update_level(&meter, 0.0f);
        ASSERT_EQ(meter.peak, 1.0f) << "refresh " << i;
    }
    meter_update_level(&meter, 0.0f);
    EXPECT_EQ(meter.peak, 0.0f);
    EXPECT_FALSE(meter_is_peak_at_max(&meter));

    meter_update_level(&meter, 0.25f);
    const float held = meter.peak;
    meter_update_level(&meter, 0.1f);  // quieter: the held peak stays
    EXPECT_EQ(meter.peak, held);
    meter_update_level(&meter, 0.5f);  // louder: replaces it at once
    EXPECT_NEAR(meter.peak, level_of(0.5f), 1e-6);

    meter_update_level(&meter, 1.0f);
    meter.muted = 1;
    EXPECT_FALSE(meter_is_peak_at_max(&meter));
    meter_reset_level(&meter);
    EXPECT_EQ(meter.level, 0.0f);
    EXPECT_EQ(meter.holdCounter, 0u);
    EXPECT_EQ(meter.peak, 1.0f);
}

TEST_F(MeterPanelTest, MasksFollowSoloMuteAndAbsentChannels) {
    panel->setChannelLayout(4, 0);
    EXPECT_EQ(panel->channelMuteMask(), 0x00);
    click(panel->soloButton(2));
    EXPECT_EQ(panel->channelMuteMask(), 0xFB);
    EXPECT_EQ(panel->channelDisabledMask(), 0x00);  // solo is not a mute for the meters
    click(panel->soloButton(2));

    click(panel->muteButton(1));
    EXPECT_EQ(panel->channelMuteMask(), 0x02);
    EXPECT_EQ(panel->channelDisabledMask(), 0x02);
    click(panel->muteButton(1));

    panel->setChannelLayout(1, 0);
    EXPECT_EQ(panel->channelMuteMask(), 0xFC);
    panel->setChannelLayout(1, 0b10);
    EXPECT_FALSE(panel->descriptor(1)->isEnabled());
    EXPECT_EQ(panel->channelMuteMask(), 0xFE);
    EXPECT_EQ(panel->channelDisabledMask(), 0xFE);
    // An unfed channel's buttons do nothing.
    QSignalSpy changed(panel.get(), &PanelAudioMeter::notif_view_audio_mute_solo_changed);
    click(panel->muteButton(1));
    EXPECT_EQ(changed.count(), 0);
    click(panel->muteButton(0));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(panel->channelMuteMask(), 0xFF);
}

TEST_F(MeterPanelTest, WidthAndNamesFollowTheLayout) {
    const struct {
        uint32_t layout;
        int width;
        QStringList names;
    } cases[] = {
        {0, 110, {"C"}},
        {1, 144, {"L", "R"}},
        {2, 280, {"L", "R", "C", "Lfe", "Ls", "Rs"}},
        {3, 212, {"L1", "R1", "L2", "R2"}},
        {4, 348, {"L", "R", "C", "Lfe", "Lss", "Rss", "Lrs", "Rrs"}},
        {9, 76, {}},
    };
    for (const auto& c : cases) {
        panel->setChannelLayout(c.layout, 0);
        EXPECT_EQ(panel->width(), c.width) << c.layout;
        EXPECT_EQ(panel->minimumWidth(), c.width);
        EXPECT_EQ(panel->maximumWidth(), c.width);
        EXPECT_EQ(panel->channelCount(), uint32_t(c.names.size()));
        for (uint32_t slot = 0; slot < PanelAudioMeter::kSlots; ++slot) {
            const bool shown = slot < uint32_t(c.names.size());
            EXPECT_EQ(!panel->muteButton(slot)->isHidden(), shown) << c.layout << " slot " << slot;
            EXPECT_EQ(panel->descriptor(slot)->isEnabled(), shown);
            if (shown) {
                EXPECT_EQ(panel->nameLabel(slot)->text(), c.names[int(slot)]);
            }
        }
    }
}

TEST_F(MeterPanelTest, RefreshDrainsThePeakRingIntoTheLevels) {
    static SoundIo* context = soundio_create();  // rings take the library's page size
    ASSERT_NE(context, nullptr);
    PlanarRingBuffer ring;
    planar_ring_buffer_init(&ring);
    planar_ring_buffer_create(context, &ring, 2, 48000, 3, sizeof(float));
    panel->setChannelLayout(1, 0);
    panel->setMeterBuffer(&ring);

    panel->act_timer_refresh();  // empty ring: nothing changes
    EXPECT_EQ(panel->descriptor(0)->level, 0.0f);

    uint32_t frames = 0;
    uint8_t* planes[2] = {};
    planar_ring_buffer_get_write(&ring, &frames, planes);
    ASSERT_GE(frames, 3u);
    const float left[3] = {0.1f, 0.5f, 0.25f};
    const float right[3] = {1.0f, 0.0f, 0.0f};
    memcpy(planes[0], left, sizeof(left));
    memcpy(planes[1], right, sizeof(right));
    planar_ring_buffer_advance_write(&ring, 3);

    panel->act_timer_refresh();
    EXPECT_NEAR(panel->descriptor(0)->level, level_of(0.5f), 1e-6);
    EXPECT_EQ(panel->descriptor(1)->level, 1.0f);
    EXPECT_TRUE(panel->clipLamp(1)->isClip());
    EXPECT_FALSE(panel->clipLamp(0)->isClip());
    uint32_t left_over = 99;
    planar_ring_buffer_get_read(&ring, &left_over, planes);
    EXPECT_EQ(left_over, 0u);

    const float before = panel->descriptor(0)->level;
    panel->act_timer_refresh();
    EXPECT_EQ(panel->descriptor(0)->level, before);
    panel->setMeterBuffer(nullptr);
    planar_ring_buffer_destroy(&ring);
}

TEST_F(MeterPanelTest, TimerRunsWhileAudioPlaysAndStoppingEmptiesTheMeters) {
    panel->setChannelLayout(1, 0);
    panel->startRefreshTimer();
    EXPECT_TRUE(panel->isRefreshing());
    meter_update_level(panel->descriptor(0), 0.8f);
    meter_update_level(panel->descriptor(0), 0.1f);
    panel->stopRefreshTimer();
    EXPECT_FALSE(panel->isRefreshing());
    EXPECT_EQ(panel->descriptor(0)->level, 0.0f);
    EXPECT_EQ(panel->descriptor(0)->holdCounter, 0u);

    QSignalSpy changed(panel.get(), &PanelAudioMeter::notif_view_audio_mute_solo_changed);
    AudioPanelMessages messages;
    panel->viewBtnMuteChanged(2);
    panel->viewBtnSoloChanged(7);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(messages.contains("Warning, invalid mute channel index : 2"));
    EXPECT_TRUE(messages.contains("Warning, invalid solo channel index : 7"));
}

TEST_F(MeterPanelTest, ClosingTheWindowReportsIt) {
    panel->show();
    QSignalSpy closed(panel.get(), &PanelAudioMeter::close_panel);
    panel->close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(panel->isVisible());
}
