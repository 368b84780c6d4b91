// The main window's sound end to end, on the X server with lavapipe and the audio
// library's own device (the dummy one on a machine without sound card), heard through
// the output capture tap: a grid click moves a tone to another output channel, a solo
// silences the other channels, a step plays one frame of audio and stops; the routing
// rebuild and fast stepping stop the running jobs first; device changes are told by
// the device's id and reach the window queued; the panels open from the Window menu
// and their state goes into the preferences file.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <cmath>
#include <memory>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "base/settings/global_settings.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_output_capture.h"
#include "audio/audio_src_track.h"
#include "audio/sound_io_notifier.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tests/support/audio_signal_analysis.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "tools/view_track_audio_channel_map.h"
#include "tools/view_track_audio_map.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_mute_solo.h"
#include "ui/view_label.h"
#include "widget_app.h"

namespace {

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

double rms(const std::vector<float>& samples, size_t from, size_t to) {
    return testsupport::rms_level(samples, from, to);
}

// First and one-past-last sample louder than the noise floor.
std::pair<size_t, size_t> sounding_span(const std::vector<float>& samples) {
    size_t first = samples.size(), last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) > 1e-3f) {
            first = std::min(first, i);
            last = i + 1;
        }
    }
    return {first, last};
}

// The default device the window reads on a device notice, set by the tests.
std::atomic<int> g_reads{0};
MainWindow::OutputDeviceKey g_device{0, "first"};
MainWindow::OutputDeviceKey fake_device(SoundIo*) {
    ++g_reads;
    return g_device;
}

class MainWindowAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
    }

    void TearDown() override {
        close();
        MainWindow::setOutputDeviceReader(nullptr);
        vktest::expect_no_validation_errors();
    }

    void open(const QString& movie) {
        ASSERT_NO_FATAL_FAILURE(shown.open(movie));
        ASSERT_NE(window->movie(), nullptr);
        monitor = window->audioMonitor();
        ASSERT_NE(monitor, nullptr) << "no audio device context";
        monitor->setOutputTap(&capture);
    }

    void close() {
        if (!window) return;
        window->setPlaySpeed(0);
        if (monitor) monitor->setOutputTap(nullptr);
        shown.close();
    }

    // Plays from frame 0 until `frames` frames went to the device, then pauses.
    void playAndCapture(uint64_t frames) {
        capture.reset();
        window->setPlaySpeed(1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.frames() >= frames; }, vktest::kWaitMs));
        window->setPlaySpeed(0);
        ASSERT_GE(capture.channels(), 2u);
    }

    QAction* menuAction(const QString& text) {
        for (QAction* menu : window->menuBar()->actions())
            if (menu->menu())
                for (QAction* action : menu->menu()->actions())
                    if (action->text() == text) return action;
        return nullptr;
    }

    ShownMainWindow shown;
    VulkanWindow*& video = shown.video;
    AudioOutputCapture capture{4 * 48000};
    std::unique_ptr<MainWindow>& window = shown.window;
    AudioMonitor* monitor = nullptr;
};

}  // namespace

TEST_F(MainWindowAudioTest, AGridClickMovesTheToneToAnotherOutputChannel) {
    open(fixture("window_tone_left.mov"));
    playAndCapture(9600);
    EXPECT_GT(rms(capture.channel(0), 2400, 9600), 0.03) << "the tone starts on the left";
    EXPECT_LT(rms(capture.channel(1), 0, 9600), 1e-4);

    window->act_menu_audio_mapping();
    PanelAudioMapping* panel = window->audioMappingPanel();
    ASSERT_TRUE(panel->isVisible());
    ASSERT_GE(panel->rows().size(), 1);
    ViewTrackAudioChannelMap* left = panel->rows()[0]->channelLines()[0];
    QTest::mouseClick(left->button(1), Qt::LeftButton);
    EXPECT_EQ(window->audioTracks()->tracks()[0]->channelMapping(0), 0b10u);

    window->refreshPauseFrame(0);
    playAndCapture(9600);
    EXPECT_LT(rms(capture.channel(0), 0, 9600), 1e-4);
    EXPECT_GT(rms(capture.channel(1), 2400, 9600), 0.03) << "the tone moved to the right";
    EXPECT_NEAR(testsupport::tone_frequency(capture.channel(1), 2400, 9600, 48000.0), 1000.0, 5.0);
}

TEST_F(MainWindowAudioTest, ASoloSilencesTheOtherChannels) {
    open(fixture("window_ramp.mov"));  // the same tone on both channels
    window->act_menu_audio_meters();
    PanelAudioMeter* meters = window->audioMeterPanel();
    ASSERT_TRUE(meters->isVisible());
    ASSERT_EQ(meters->channelCount(), 2u);
    QTest::mouseClick(meters->soloButton(1)->findChild<ViewLabel*>(), Qt::LeftButton);
    EXPECT_EQ(meters->channelMuteMask(), 0xFD);

    playAndCapture(9600);
    EXPECT_LT(rms(capture.channel(0), 0, 9600), 1e-4) << "left is not soloed";
    EXPECT_GT(rms(capture.channel(1), 2400, 9600), 0.03);

    // Solo off: both play again.
    QTest::mouseClick(meters->soloButton(1)->findChild<ViewLabel*>(), Qt::LeftButton);
    window->refreshPauseFrame(0);
    playAndCapture(9600);
    EXPECT_GT(rms(capture.channel(0), 2400, 9600), 0.03);
    EXPECT_GT(rms(capture.channel(1), 2400, 9600), 0.03);
}

TEST_F(MainWindowAudioTest, AStepPlaysOneFrameOfAudioAndStops) {
    open(fixture("window_tone_left.mov"));
    window->settings()->play_audio_frame_by_frame = true;
    capture.reset();
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(window->currentFrame(), 1u);
    // The meters follow the sound: their refresh runs from the start to the stop.
    EXPECT_TRUE(window->audioMeterPanel()->isRefreshing());
    // One 25 fps frame is 1920 samples; the stop comes 2 x 0.1 s after the preview.
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.frames() >= 1920; }, vktest::kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->audioMeterPanel()->isRefreshing(); }, vktest::kWaitMs))
        << "the preview's stop timer never ran";
    EXPECT_FALSE(monitor->isMixingRunning());
    // The device thread may still be handing over the preview's last block; the
    // checks below say what was missing if it never comes.
    (void)QTest::qWaitFor(
        [&] {
            const auto [from, to] = sounding_span(capture.channel(0));
            return from < to && to - from >= 1920 - 48;
        },
        vktest::kWaitMs);
    const auto [first, last] = sounding_span(capture.channel(0));
    ASSERT_LT(first, last) << "no preview heard";
    EXPECT_NEAR(double(last - first), 1920.0, 48.0);
    const uint64_t heard = capture.frames();
    QTest::qWait(200);
    const auto [first2, last2] = sounding_span(capture.channel(0));
    EXPECT_EQ(last2, last) << "sound after the preview ended (" << heard << " frames before)";
}

TEST_F(MainWindowAudioTest, FastSteppingAndRebuildsStopTheRunningJobsFirst) {
    open(fixture("window_tone_left.mov"));
    window->settings()->play_audio_frame_by_frame = true;
    window->act_menu_audio_mapping();
    PanelAudioMapping* panel = window->audioMappingPanel();
    // Key repeat: each step seeks while the previous preview may still be mixing.
    for (int i = 0; i < 12; ++i) QTest::keyClick(window.get(), i % 3 == 2 ? Qt::Key_Left : Qt::Key_Right);
    EXPECT_EQ(window->currentFrame(), 4u);
    // A grid click while paused, a preview still mixing: the rebuild frees the ring
    // only after every job stopped.
    QTest::keyClick(window.get(), Qt::Key_Right);
    ViewTrackAudioChannelMap* left = panel->rows()[0]->channelLines()[0];
    QTest::mouseClick(left->button(1), Qt::LeftButton);
    EXPECT_FALSE(monitor->isMixingRunning());
    // The rebuilt chain still plays: the next step is heard on the new channel. The
    // device may still take what was left of the earlier preview (on the old channel)
    // after the capture restarts, when a loaded machine runs its thread late; the step's
    // restart empties the rings, so its own sound is the span heard on the new channel.
    capture.reset();
    QTest::keyClick(window.get(), Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->audioMeterPanel()->isRefreshing(); }, vktest::kWaitMs))
        << "the preview's stop timer never ran";
    const auto [first, last] = sounding_span(capture.channel(1));
    ASSERT_LT(first, last) << "the step was not heard on the new channel";
    EXPECT_GT(rms(capture.channel(1), first, last), 0.01);
    EXPECT_LT(rms(capture.channel(0), first, last), 1e-4);
}

TEST_F(MainWindowAudioTest, DeviceChangesAreToldByTheDeviceIdAndArriveQueued) {
    open(fixture("window_ramp.mov"));
    MainWindow::setOutputDeviceReader(fake_device);
    auto* notifier = window->findChild<SoundIoNotifier*>();
    ASSERT_NE(notifier, nullptr);
    vktest::MessageCapture messages;
    auto notice = [&] {
        const int before = g_reads.load();
        notifier->notifyDeviceChanged();
        EXPECT_EQ(g_reads.load(), before) << "the notice was handled inside the emit";
        EXPECT_TRUE(QTest::qWaitFor([&] { return g_reads.load() > before; }, vktest::kWaitMs)) << "the notice never arrived";
    };

    // The first notice after start-up only records the device.
    g_device = {0, "first"};
    notice();
    EXPECT_FALSE(messages.contains("Sound output changed"));
    // Same id, same index: nothing.
    notice();
    EXPECT_FALSE(messages.contains("Sound output changed"));
    // Another device at the same index: a change.
    g_device = {0, "second"};
    window->setPlaySpeed(1);
    notice();
    EXPECT_EQ(window->playSpeed(), 0);
    EXPECT_TRUE(messages.contains("INFO : Sound output changed : New output card :\n"));
    EXPECT_TRUE(window->isErrorShown());
}

TEST_F(MainWindowAudioTest, PanelsOpenFromTheWindowMenuAndTheirStateIsSaved) {
    const QString prefs = QDir(widget_test_home()).filePath(".config/norvu_hap_player_prefs.xml");
    QFile::remove(prefs);
    open(fixture("window_ramp.mov"));
    QAction* meters = menuAction("Audio meters");
    QAction* mapping = menuAction("Audio mapping");
    ASSERT_NE(meters, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_TRUE(meters->isCheckable());
    EXPECT_FALSE(meters->isChecked());

    meters->trigger();
    EXPECT_TRUE(window->audioMeterPanel()->isVisible());
    EXPECT_TRUE(meters->isChecked());
    EXPECT_EQ(window->audioMeterPanel()->windowTitle(), "Audio meters");
    mapping->trigger();
    EXPECT_TRUE(window->audioMappingPanel()->isVisible());
    EXPECT_TRUE(mapping->isChecked());
    // The mapping panel lists the movie's track.
    EXPECT_EQ(window->audioMappingPanel()->rows().size(), 1);

    window->audioMeterPanel()->close();
    EXPECT_FALSE(meters->isChecked());
    window->act_quit_menu();
    QFile file(prefs);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray xml = file.readAll();
    EXPECT_TRUE(xml.contains(R"(<panel name="audio_meters" is_visible="NO")")) << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<panel name="audio_mapping" is_visible="YES")")) << xml.toStdString();

    // The next start reopens what was open.
    close();
    open(fixture("window_ramp.mov"));
    EXPECT_TRUE(window->audioMappingPanel()->isVisible());
    EXPECT_FALSE(window->audioMeterPanel()->isVisible());
    EXPECT_TRUE(menuAction("Audio mapping")->isChecked());
    EXPECT_FALSE(menuAction("Audio meters")->isChecked());
    // Later windows of this program start without panels.
    window->audioMappingPanel()->close();
    close();
    QFile::remove(prefs);
}

TEST_F(MainWindowAudioTest, FilesDroppedOnTheMappingPanelJoinAndTheDeleteButtonRemovesThem) {
    open(fixture("window_ramp.mov"));
    window->act_menu_audio_mapping();
    PanelAudioMapping* panel = window->audioMappingPanel();
    ASSERT_EQ(panel->rows().size(), 1);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(fixture("window_tone.wav"))});
    QDropEvent drop(QPointF(300, panel->height() - 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject*>(panel)->event(&drop);
    EXPECT_EQ(window->audioTracks()->countWavTracks(), 1);
    ASSERT_EQ(panel->rows().size(), 2);
    EXPECT_FALSE(panel->rows()[1]->isMovieTrack());

    // Playing while the file is deleted: the jobs stop before it leaves the list.
    window->setPlaySpeed(1);
    QTest::qWait(100);
    QTest::mouseClick(panel->rows()[1]->deleteButton(), Qt::LeftButton);
    EXPECT_EQ(window->playSpeed(), 0);
    EXPECT_EQ(window->audioTracks()->countWavTracks(), 0);
    ASSERT_EQ(panel->rows().size(), 1);
    EXPECT_TRUE(panel->rows()[0]->isMovieTrack());
    // The movie's own track still plays.
    window->refreshPauseFrame(0);
    playAndCapture(4800);
    EXPECT_GT(rms(capture.channel(0), 2400, 4800), 0.03);
}

TEST_F(MainWindowAudioTest, ANewLayoutTakesTheMuteMaskAgain) {
    open(fixture("window_ramp.mov"));  // the same tone on both channels
    window->act_menu_audio_meters();
    PanelAudioMeter* meters = window->audioMeterPanel();
    // In mono every channel but the first is absent, and so muted in the mask a mute
    // change hands to the output.
    window->PanelAudioMap_LayoutChange(0);
    ASSERT_EQ(meters->channelCount(), 1u);
    ViewLabel* mute = meters->muteButton(0)->findChild<ViewLabel*>();
    QTest::mouseClick(mute, Qt::LeftButton);
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(meters->channelMuteMask(), 0xFE);

    // Back to stereo: the right channel exists again and must be heard.
    window->PanelAudioMap_LayoutChange(1);
    EXPECT_EQ(meters->channelMuteMask(), 0xFC);
    playAndCapture(9600);
    EXPECT_GT(rms(capture.channel(0), 2400, 9600), 0.03);
    EXPECT_GT(rms(capture.channel(1), 2400, 9600), 0.03) << "the right channel kept the mono mask";
}
