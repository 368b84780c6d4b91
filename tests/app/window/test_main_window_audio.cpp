// The main window's sound end to end, on the X server with lavapipe and the audio
// library's dummy device (whatever sound server the machine runs), heard through
// the output capture tap: a grid click moves a tone to another output channel, a solo
// silences the other channels, a step plays one frame of audio and stops; the routing
// rebuild and fast stepping stop the running jobs first; device changes are told by
// the device's id and reach the window queued; the panels open from the Window menu
// and their state goes into the preferences file.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "base/settings/global_settings.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_output_capture.h"
#include "audio/audio_src_track.h"
#include "audio/sound_io_notifier.h"
#include "media/mov_file.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tests/support/audio_signal_analysis.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "tools/view_track_audio_channel_map.h"
#include "tools/view_track_audio_map.h"
#include "app/view_bottom_ctrl.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_mute_solo.h"
#include "ui/view_label.h"
#include "widget_app.h"

#include <soundio/soundio.h>

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
        return menu_bar_entry(*window, [&](const QAction* action) { return action->text() == text; });
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
    g_device = {0, "first"};
    MainWindow::setOutputDeviceReader(fake_device);
    open(fixture("window_ramp.mov"));
    auto* notifier = window->findChild<SoundIoNotifier*>();
    ASSERT_NE(notifier, nullptr);
    vktest::MessageCapture messages;
    auto notice = [&] {
        const int before = g_reads.load();
        notifier->notifyDeviceChanged();
        EXPECT_EQ(g_reads.load(), before) << "the notice was handled inside the emit";
        EXPECT_TRUE(QTest::qWaitFor([&] { return g_reads.load() > before; }, vktest::kWaitMs)) << "the notice never arrived";
    };

    // The device played since start-up: its notice says nothing.
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

// The sound server going away reaches the window through the library's backend-lost
// handler, called here as the library calls it, from a thread of its own. The picture
// goes on without sound and the person is told; the next play, or step, finds the
// server again and the sound comes back; quitting then ends normally and saves.
SoundIo* g_context = nullptr;
SoundIo* recorded_context() {
    g_context = soundio_create();
    if (g_context && soundio_connect_backend(g_context, SoundIoBackendDummy) == 0) soundio_flush_events(g_context);
    return g_context;
}

TEST_F(MainWindowAudioTest, ALostSoundServerLeavesThePictureAndTheSoundComesBackAtTheNextPlay) {
    const MainWindow::SoundIoFactory previous = MainWindow::setSoundIoFactory(recorded_context);
    struct Restore {
        MainWindow::SoundIoFactory factory;
        ~Restore() { MainWindow::setSoundIoFactory(factory); }
    } restore{previous};
    open(fixture("window_tone_left.mov"));
    ASSERT_NE(g_context, nullptr);
    ASSERT_NE(g_context->on_backend_disconnect, nullptr);
    vktest::MessageCapture messages;
    const auto losses_told = [&] {
        return messages.messages().filter("ERROR : Sound output changed : Sound output lost :\nbackend disconnected").size();
    };
    const auto lose_server = [&] {
        const auto told = losses_told();
        std::thread library([] { g_context->on_backend_disconnect(g_context, SoundIoErrorBackendDisconnected); });
        library.join();
        ASSERT_TRUE(QTest::qWaitFor([&] { return losses_told() > told; }, vktest::kWaitMs)) << "the loss was never told";
        EXPECT_TRUE(window->isErrorShown());
        EXPECT_EQ(monitor->streamReady(), 0);
        EXPECT_EQ(g_context->current_backend, SoundIoBackendNone) << "still on the dead server";
    };

    // While playing: the picture goes on, silent.
    playAndCapture(9600);
    window->setPlaySpeed(1);
    lose_server();
    EXPECT_EQ(window->playSpeed(), 1);
    const uint32_t at = window->currentFrame();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->currentFrame() > at + 2; }, vktest::kWaitMs));
    const uint64_t heard = capture.frames();
    QTest::qWait(200);
    EXPECT_EQ(capture.frames(), heard) << "sound from a lost server";

    // The next play connects again and plays the sound.
    window->setPlaySpeed(0);
    QTest::keyClick(window.get(), Qt::Key_Home);
    playAndCapture(9600);
    EXPECT_EQ(monitor->streamReady(), 1);
    EXPECT_NE(g_context->current_backend, SoundIoBackendNone);
    EXPECT_TRUE(messages.contains("INFO : Sound output changed : New output card :\n"));

    // Paused with nothing played since, then a step with its one frame of sound.
    window->settings()->play_audio_frame_by_frame = true;
    lose_server();
    capture.reset();
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(monitor->streamReady(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return capture.frames() >= 1920; }, vktest::kWaitMs)) << "no preview heard";

    const QString prefs = QDir(widget_test_home()).filePath(".config/norvu_hap_player_prefs.xml");
    QFile::remove(prefs);
    close();
    EXPECT_TRUE(QFile::exists(prefs));
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
    drop_files(panel, {fixture("window_tone.wav")}, QPointF(300, panel->height() - 10));
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

// ---------------------------------------------------------------------------------
// The sound stays with the picture: a loop switched while playing, a play started
// from pause, a step after a play at another speed or direction. The movie's sound is
// seeded noise, so any stretch of it says where in the file it came from.

namespace {

constexpr uint32_t kFrameSamples = 1920;  // one 25 fps frame at 48 kHz
using testsupport::kNotFound;
using testsupport::locate;

// The left channel of what the device took from the output ring, block after block.
// The silence the device plays when the ring runs dry (a loaded machine) is left out,
// so the samples follow each other as the player made them.
class RingSamples final : public AudioOutputTap {
public:
    RingSamples() { m_left.reserve(kCapacity); }
    void onBlock(const float* const* planes, uint32_t channels, uint32_t frames) noexcept override {
        if (!planes || channels == 0 || !planes[0]) return;
        std::lock_guard<std::mutex> guard(m_lock);
        const size_t kept = std::min<size_t>(frames, kCapacity - m_left.size());
        m_left.insert(m_left.end(), planes[0], planes[0] + kept);
    }
    void reset() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_left.clear();
    }
    std::vector<float> left() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_left;
    }
    size_t size() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_left.size();
    }

private:
    static constexpr size_t kCapacity = 6 * 48000;
    mutable std::mutex m_lock;
    std::vector<float> m_left;
};

}  // namespace

class SoundWithPictureTest : public MainWindowAudioTest {
protected:
    void SetUp() override {
        MainWindowAudioTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(open(fixture("window_noise.mov")));
        ASSERT_EQ(window->movie()->frameCount(), 75u);
        ASSERT_FLOAT_EQ(monitor->gain(), 1.0f) << "the comparisons below take the samples as stored";
        monitor->setOutputTap(&ring);
        window->settings()->play_audio_frame_by_frame = true;
        file = testsupport::read_raw_s16_channel(fixture("window_noise.s16").toStdString(), 2, 0);
        ASSERT_EQ(file.size(), 75u * kFrameSamples);
    }

    void setLoop(bool loop) {
        window->viewControlsClicPlayMode(loop ? 1 : 0);
        window->bottomBar()->setPlayModeLoop(loop);
    }

    // Plays at `speed` with the loop the other way, and clicks the loop button to
    // `loopAfter` 1.5 s (37 frames) before the end of the play range. Gives the frame
    // play resumed from; the ring holds what was heard from the click on.
    uint32_t switchLoopWhilePlaying(int32_t speed, bool loopAfter) {
        setLoop(!loopAfter);
        const uint32_t switchAt = speed > 0 ? 74 - 37 : 37;
        window->refreshPauseFrame(speed > 0 ? switchAt - 5 : switchAt + 5);
        window->setPlaySpeed(speed);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return speed > 0 ? window->currentFrame() >= switchAt : window->currentFrame() <= switchAt; },
            vktest::kWaitMs))
            << "the picture never reached frame " << switchAt;
        ring.reset();
        QTest::mouseClick(window->bottomBar()->button(ViewBottomCtrl::Button_PlayMode), Qt::LeftButton);
        EXPECT_EQ(window->bottomBar()->isPlayModeLoop(), loopAfter);
        // Play resumed at once, from the frame on screen.
        return window->currentFrame();
    }

    std::vector<float> waitForSamples(size_t count) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return ring.size() >= count; }, vktest::kWaitMs))
            << "only " << ring.size() << " samples heard";
        return ring.left();
    }

    // What a paused step made by `key` plays.
    std::vector<float> stepSound(Qt::Key key) {
        ring.reset();
        QTest::keyClick(window.get(), key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->audioMeterPanel()->isRefreshing(); }, vktest::kWaitMs))
            << "the preview's stop timer never ran";
        return ring.left();
    }

    // A step's sound is frame `frame` of the file, forward, at its own rate: the frame's
    // samples from its first, one frame long.
    void expectFramesOwnSound(const std::vector<float>& heard, uint32_t frame, const char* when) {
        SCOPED_TRACE(when);
        ASSERT_FALSE(heard.empty()) << "the step was not heard";
        EXPECT_NEAR(double(heard.size()), double(kFrameSamples), 4.0);
        const size_t at = size_t(frame) * kFrameSamples + 8;
        const size_t found = locate(heard, 0, 16, file, at, kFrameSamples - 32);
        EXPECT_TRUE(found != kNotFound) << "frame " << frame << " did not play its own samples forward";
        if (found != kNotFound) {
            EXPECT_NEAR(double(found), 8.0, 2.0) << "the step did not start on its frame";
        }
    }

    RingSamples ring;
    std::vector<float> file;
};

TEST_F(SoundWithPictureTest, LoopSwitchedOnWhilePlayingSoundsAsASeekMadeWithLoopOn) {
    for (const int32_t speed : {1, -1}) {
        SCOPED_TRACE(speed > 0 ? "forward" : "reverse");
        const uint32_t resumedAt = switchLoopWhilePlaying(speed, true);
        ASSERT_EQ(window->playSpeed(), speed);
        // 2 s from the switch: the picture wraps 1.5 s in.
        const std::vector<float> heard = waitForSamples(2 * 48000 + 9600);
        window->setPlaySpeed(0);

        // The same position, the loop on before play starts.
        window->refreshPauseFrame(resumedAt);
        ring.reset();
        window->setPlaySpeed(speed);
        const std::vector<float> reference = waitForSamples(2 * 48000 + 9600);
        window->setPlaySpeed(0);

        // The reference from its first sound on (the restart primes the device with
        // silence) stands whole in what was heard after the switch (which may begin with
        // a block of the sound before it).
        const size_t start = sounding_span(reference).first + 8;
        const size_t length = 2 * 48000;
        ASSERT_LT(start, 9600u);
        const size_t found = locate(heard, 0, 9600, reference, start, length);
        ASSERT_TRUE(found != kNotFound) << "the sound after the switch is not the sound of a seek with the loop on";
        // Where the picture wraps, the sound goes on with the other end of the range.
        const size_t wrap = found - 8 + size_t(speed > 0 ? 75 - resumedAt : resumedAt + 1) * kFrameSamples;
        EXPECT_GT(rms(heard, wrap + 48, wrap + kFrameSamples), 0.1) << "silence where the picture wraps";
    }
}

TEST_F(SoundWithPictureTest, LoopSwitchedOffWhilePlayingEndsTheSoundWithThePicture) {
    for (const int32_t speed : {1, -1}) {
        SCOPED_TRACE(speed > 0 ? "forward" : "reverse");
        const uint32_t resumedAt = switchLoopWhilePlaying(speed, false);
        // The window's thread held off near the end, as on a busy machine: its stop at the
        // end of the range comes a second late, and the sound meanwhile is silence, never
        // the other end of the range.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return speed > 0 ? window->currentFrame() >= 72 : window->currentFrame() <= 2; }, vktest::kWaitMs));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->playSpeed() == 0; }, vktest::kWaitMs))
            << "play once never stopped";
        EXPECT_EQ(window->currentFrame(), speed > 0 ? 74u : 0u) << "the picture stops at the end of the range";
        const std::vector<float> heard = ring.left();
        const auto [first, last] = sounding_span(heard);
        ASSERT_LT(first, last) << "nothing heard after the switch";
        // The sound is the file's up to the end of the range at most, never the other
        // end of it that a loop would bring.
        const size_t toEnd = size_t(speed > 0 ? 75 - resumedAt : resumedAt + 1) * kFrameSamples;
        if (speed > 0) {
            const size_t found = locate(heard, 0, 9600, file, size_t(resumedAt) * kFrameSamples + 8, 9600);
            ASSERT_TRUE(found != kNotFound) << "the sound after the switch is not the file's from there";
            EXPECT_LE(last, found - 8 + toEnd) << "the sound went on past the end of the range";
        } else {
            // Counted from the silence the restart primes the device with: a busy machine
            // may have let a block or two of the sound before the switch through first.
            size_t from = first;
            for (const auto& [a, b] : testsupport::silent_runs(heard, AudioMonitor::kLatencyFillFrames - 16))
                if (a < 9600) from = b;
            EXPECT_LE(last - from, toEnd + kFrameSamples) << "the sound went on past the start of the range";
        }
    }
}

TEST_F(SoundWithPictureTest, AStepPlaysItsOwnFrameForwardWhateverTheLastPlay) {
    // A step before any play.
    window->refreshPauseFrame(20);
    expectFramesOwnSound(stepSound(Qt::Key_Right), 21, "before any play");

    const auto playThenPause = [&](uint32_t from, std::initializer_list<Qt::Key> keys, int32_t speed) {
        window->refreshPauseFrame(from);
        for (Qt::Key key : keys) QTest::keyClick(window.get(), key);
        EXPECT_EQ(window->playSpeed(), speed);
        QTest::qWait(150);
        QTest::keyClick(window.get(), Qt::Key_K);
        EXPECT_EQ(window->playSpeed(), 0);
        return window->currentFrame();
    };

    uint32_t frame = playThenPause(40, {Qt::Key_J}, -1);
    expectFramesOwnSound(stepSound(Qt::Key_Right), frame + 1, "+1 after reverse play");
    expectFramesOwnSound(stepSound(Qt::Key_Left), frame, "-1 after reverse play");

    frame = playThenPause(10, {Qt::Key_L, Qt::Key_L}, 2);
    expectFramesOwnSound(stepSound(Qt::Key_Right), frame + 1, "+1 after 2x play");
    expectFramesOwnSound(stepSound(Qt::Key_Left), frame, "-1 after 2x play");

    frame = playThenPause(40, {Qt::Key_J}, -1);
    window->PanelAudioMap_LayoutChange(window->audioTracks()->outputLayout());
    expectFramesOwnSound(stepSound(Qt::Key_Right), frame + 1, "+1 after a routing change");
    expectFramesOwnSound(stepSound(Qt::Key_Left), frame, "-1 after a routing change");
}

namespace {

// Notes when the device took its first block after being armed, and its largest block.
class FirstBlockClock final : public AudioOutputTap {
public:
    void arm() {
        m_first.store(0);
        m_largestBlock.store(0);
    }
    void onBlock(const float* const*, uint32_t, uint32_t frames) noexcept override {
        int64_t expected = 0;
        m_first.compare_exchange_strong(expected, now());
        if (frames > m_largestBlock.load()) m_largestBlock.store(frames);
    }
    int64_t first() const { return m_first.load(); }
    uint32_t largestBlock() const { return m_largestBlock.load(); }
    static int64_t now() {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    std::atomic<int64_t> m_first{0};
    std::atomic<uint32_t> m_largestBlock{0};
};

}  // namespace

// The tap outlives the window's teardown, which takes it off the monitor.
class PlayFromPauseTest : public MainWindowAudioTest {
protected:
    FirstBlockClock device;
};

TEST_F(PlayFromPauseTest, TheSoundStartsWithThePictureAfterTheFrameQueueFills) {
    // The movie has no sound of its own: its companion file does, so holding the movie's
    // file makes the frame queue's prefill slow (as a slow disk would) and the sound not.
    open(fixture("window_no_sound.mov"));
    window->loadFile({fixture("window_tone.wav")}, -1, false);
    ASSERT_EQ(window->audioTracks()->countWavTracks(), 1);
    monitor->setOutputTap(&device);
    MovFile* movie = nullptr;
    window->movie()->movFile(&movie);
    ASSERT_NE(movie, nullptr);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        window->refreshPauseFrame(0);
        ASSERT_EQ(window->playSpeed(), 0);
        // The file is busy for 150 ms from just before Play.
        std::atomic<bool> held{false};
        std::thread disk([&] {
            std::lock_guard<std::mutex> busy(*movie->readMutex);
            held.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        });
        while (!held.load()) std::this_thread::yield();
        device.arm();
        const int64_t asked = FirstBlockClock::now();
        window->setPlaySpeed(1);
        // The playback clock is started last, just before the call returns.
        const int64_t clockStarted = FirstBlockClock::now();
        disk.join();
        ASSERT_GE(clockStarted - asked, 100000) << "the prefill was not held up by the busy file";
        ASSERT_TRUE(QTest::qWaitFor([&] { return device.first() != 0; }, vktest::kWaitMs)) << "no sound";
        // One device period of slack: the device may take its first block between the
        // sound's start and the clock's.
        const int64_t period = std::max<int64_t>(int64_t(device.largestBlock()) * 1000000 / 48000, 20000);
        EXPECT_GE(device.first(), clockStarted - period)
            << "the sound started " << (clockStarted - device.first()) / 1000 << " ms before the picture's clock";
        window->setPlaySpeed(0);
    }
}
