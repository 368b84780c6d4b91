// The main window's sound where no desktop sound server runs: on a JACK server that the
// test starts itself (its dummy driver, read back by a JACK client of the test's own,
// see jack_server.h), and on plain ALSA through a device of the test's own ALSA
// configuration. Driven with the keys a person uses. The movies' sound is seeded noise
// (matched sample for sample where the device takes 48 kHz) or a 1 kHz tone.
#include <gtest/gtest.h>
#include <samplerate.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "audio/audio_monitor.h"
#include "base/settings/global_settings.h"
#include "tests/app/window/continue_later.h"
#include "tests/app/window/heard_sound.h"
#include "tests/app/window/jack_server.h"
#include "tests/app/window/player_process.h"
#include "tests/app/window/pulse_server.h"
#include "tests/app/window/scoped_env.h"
#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"
#include "tests/support/audio_signal_analysis.h"
#include "ui/dialog_warning_err.h"
#include "ui/view_label.h"

namespace {

constexpr size_t kFrame = 1920;  // audio frames of one picture at 25 fps, at 48 kHz
constexpr size_t kMs = 48;       // audio frames of one millisecond at 48 kHz

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

using heardsound::describe;
using heardsound::locate;

class SoundWithoutServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
        // The library's own choice of backend, as the player makes it.
        m_previousFactory = MainWindow::setSoundIoFactory(nullptr);
    }
    void TearDown() override {
        shown.close();
        MainWindow::setSoundIoFactory(m_previousFactory);
        vktest::expect_no_validation_errors();
    }
    void open(const char* movie) {
        ASSERT_NO_FATAL_FAILURE(shown.open(fixture(movie)));
        ASSERT_NE(window()->movie(), nullptr);
    }
    MainWindow* window() { return shown.window.get(); }
    // The left channel of the long noise movie's sound.
    static std::vector<float> noiseReference() {
        return testsupport::read_raw_s16_channel(fixture("window_noise_long.s16").toStdString(), 2, 0);
    }
    void key(Qt::Key k) { QTest::keyClick(window(), k); }
    void playOrPause() { key(Qt::Key_Space); }

    ShownMainWindow shown;

private:
    MainWindow::SoundIoFactory m_previousFactory = nullptr;
};

// Plain ALSA through a configuration of the test's own (ALSA_CONFIG_PATH), and nothing
// else answering: no JACK server of that name, no PulseAudio in an empty runtime folder.
// The audio library watches /dev/snd for cards and finds no ALSA without it; this
// machine may have no sound card at all. The folder is made for the test and taken
// away after it, as on a machine with a card it is simply there.
class PlainAlsaTest : public SoundWithoutServerTest {
protected:
    void SetUp() override {
        SoundWithoutServerTest::SetUp();
        if (::access("/dev/snd", F_OK) != 0) {
            if (::mkdir("/dev/snd", 0755) != 0)
                GTEST_SKIP() << "no /dev/snd and no right to make it: ALSA cannot start";
            m_madeDevFolder = true;
        }
        ASSERT_TRUE(dir.isValid());
        const QByteArray runtime = dir.filePath("runtime").toUtf8();
        ASSERT_EQ(::mkdir(runtime.constData(), 0700), 0);
        m_jack.emplace("JACK_DEFAULT_SERVER", "no-jack-server-" + QByteArray::number(qint64(::getpid())));
        m_jackStart.emplace("JACK_NO_START_SERVER", QByteArray("1"));
        m_pulse.emplace("PULSE_SERVER", std::nullopt);
        m_xdg.emplace("XDG_RUNTIME_DIR", runtime);
    }
    void TearDown() override {
        SoundWithoutServerTest::TearDown();
        m_alsaConfig.reset();
        m_xdg.reset();
        m_pulse.reset();
        m_jackStart.reset();
        m_jack.reset();
        if (m_madeDevFolder) ::rmdir("/dev/snd");
    }
    // Writes an ALSA configuration of this text to a file of its own (ALSA reads a file
    // anew when its name changes): the configuration's files, the machine's own first
    // (as a person's ~/.asoundrc comes after it: ALSA's defaults, such as the least
    // period it picks, are those of every machine), for ALSA_CONFIG_PATH.
    QByteArray configure(const QString& text) {
        const QString path = dir.filePath(QString("asound-%1.conf").arg(++m_configs));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        const QString machine = "/usr/share/alsa/alsa.conf";
        return (QFile::exists(machine) ? machine + ":" + path : path).toUtf8();
    }
    // What a chain ends at: a device that writes what it is given to a file, as fast
    // as it comes (`channels` of `format` at `rate`).
    struct Written {
        const char* format;
        int rate;
        int channels;
    };
    // Makes `chain` ALSA's configuration, its devices ending at the device "written"
    // (which `chain` names): the path of the file that device writes.
    QString configureChain(const QString& chain);
    // `aplay` plays float stereo at 48 kHz through ALSA's default device as configured
    // (so the chain is one this machine plays): it wrote to `played`, which is then
    // removed for the player to write anew.
    void expectAplayPlays(const QString& played);
    // Opens `movie` anew (the chain's file anew too) and plays it from its start, at
    // frame `*start`, until the chain has written `seconds` of `written` or five
    // seconds have passed.
    void playUntilWritten(const char* movie, const QString& played, const Written& written, double seconds,
                          uint32_t* start);
    // Plays a noise movie (5.1 for six channels, else stereo) through the configured
    // chain, which writes `written` to `played`, until it wrote 0.4 s, and checks that device
    // channel c carries the movie's channel `fromMovie[c]` (its own place when empty),
    // from the play's position, at the movie's speed. `behindRateConverter`: the chain
    // has ALSA's rate converter (which delays the sound by a little).
    void playNoise(const QString& played, const Written& written, std::vector<int> fromMovie = {},
                   bool behindRateConverter = false);
    // Plays the movie with a 1 kHz tone on its left channel through the configured
    // chain: the tone's frequency on device channel 0 of `written`.
    double heardTonePitch(const QString& played, const Written& written);
    // Plays a noise movie (5.1 for six channels, else stereo) on ALSA's default
    // device, a plug device in front of a device that writes what it is
    // given to a file: `channels` of `format` at `rate`, directly or behind ALSA's own
    // rate converter. Checks that each channel written carries the movie's channel of
    // its place, from the play's position, at the movie's speed.
    void playOnDevice(const char* format, int rate, int channels, bool behindRateConverter);

    QTemporaryDir dir;

private:
    bool m_madeDevFolder = false;
    int m_configs = 0;
    int m_plays = 0;
    std::optional<ScopedEnv> m_jack, m_jackStart, m_pulse, m_xdg, m_alsaConfig;
};

// The first `frames` samples of a 48 kHz sound at `rate`.
std::vector<float> at_rate(const std::vector<float>& sound, size_t frames, int rate) {
    frames = std::min(frames, sound.size());
    std::vector<float> out(frames * size_t(rate) / 48000 + 64);
    SRC_DATA data{};
    data.data_in = sound.data();
    data.input_frames = long(frames);
    data.data_out = out.data();
    data.output_frames = long(out.size());
    data.src_ratio = double(rate) / 48000.0;
    if (src_simple(&data, SRC_SINC_BEST_QUALITY, 1) != 0) return {};
    out.resize(size_t(data.output_frames_gen));
    return out;
}

// Where in `expected`, from `from` to `to`, the `length` samples heard from `at` match
// best, and their normalised correlation there.
std::pair<long, double> best_match(const std::vector<float>& expected, size_t from, size_t to,
                                   const std::vector<float>& heard, size_t at, size_t length) {
    std::pair<long, double> best{-1, 0.0};
    if (at + length > heard.size()) return best;
    double heardEnergy = 0.0;
    for (size_t i = 0; i < length; ++i) heardEnergy += double(heard[at + i]) * heard[at + i];
    for (size_t offset = from; offset <= to && offset + length <= expected.size(); ++offset) {
        double product = 0.0;
        double energy = 0.0;
        for (size_t i = 0; i < length; ++i) {
            product += double(expected[offset + i]) * heard[at + i];
            energy += double(expected[offset + i]) * expected[offset + i];
        }
        const double correlation = energy > 0.0 && heardEnergy > 0.0 ? product / std::sqrt(energy * heardEnergy) : 0.0;
        if (correlation > best.second) best = {long(offset), correlation};
    }
    return best;
}

// The player's client on the JACK server.
const QString kPlayer = "Norvu HAP Player output";

// Runs `action` once, on the thread that logs it, the moment a message holding `text` is
// logged (after the handler installed before it has the message). One at a time.
class OnMessage {
public:
    OnMessage(QString text, std::function<void()> action) : m_text(std::move(text)), m_action(std::move(action)) {
        m_previous = qInstallMessageHandler(&OnMessage::handle);
        s_current.store(this);
    }
    ~OnMessage() {
        s_current.store(nullptr);
        qInstallMessageHandler(m_previous);
    }
    OnMessage(const OnMessage&) = delete;
    OnMessage& operator=(const OnMessage&) = delete;
    bool fired() const { return m_fired.load(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        OnMessage* self = s_current.load();
        if (!self) return;
        if (self->m_previous) self->m_previous(type, context, message);
        if (message.contains(self->m_text) && !self->m_fired.exchange(true)) self->m_action();
    }
    static inline std::atomic<OnMessage*> s_current{nullptr};
    const QString m_text;
    const std::function<void()> m_action;
    QtMessageHandler m_previous = nullptr;
    std::atomic<bool> m_fired{false};
};

class JackSoundTest : public SoundWithoutServerTest {
protected:
    void SetUp() override {
        SoundWithoutServerTest::SetUp();
        ASSERT_TRUE(JackServer::available()) << "jackd2 is not installed";
    }
    // A server of these settings, and the window on it with `movie`.
    void startWith(const JackServer::Options& options, const char* movie) {
        shown.close();
        server.reset();
        server = std::make_unique<JackServer>(options);
        ASSERT_TRUE(server->start()) << "the JACK server did not start";
        ASSERT_NO_FATAL_FAILURE(open(movie));
        AudioMonitor* monitor = window()->audioMonitor();
        ASSERT_NE(monitor, nullptr);
        ASSERT_TRUE(monitor->streamReady()) << monitor->errorText().toStdString();
    }
    void TearDown() override {
        shown.close();
        SoundWithoutServerTest::TearDown();
        server.reset();
    }
    // Waits up to `ms` until the recorder hears the movie's left channel where the
    // picture is; why not in `failure`.
    bool heardAtPicture(const JackServer::Recorder& recorder, const std::vector<float>& reference, int ms,
                        std::string* failure) {
        return heardsound::wait_for_sound_at_picture(
            reference, [&] { return recorder.channel(0); }, *window(), ms, failure);
    }
    // A recorder of the player's front left port, started; null when it could not start.
    std::unique_ptr<JackServer::Recorder> recordFrontLeft() {
        auto recorder = std::make_unique<JackServer::Recorder>(*server, kPlayer, 1, std::vector<QString>{"Front Left"});
        return recorder->start() ? std::move(recorder) : nullptr;
    }

    // The long noise movie played on a 48 kHz server until its sound is heard at the
    // picture, recorded by `recorder` (the player's front left).
    void playHeardNoise(const std::vector<float>& reference, std::unique_ptr<JackServer::Recorder>* recorder) {
        ASSERT_NO_FATAL_FAILURE(startWith({48000, 1024, 2}, "window_noise_long.mov"));
        *recorder = recordFrontLeft();
        ASSERT_NE(*recorder, nullptr);
        playOrPause();
        std::string failure;
        ASSERT_TRUE(heardAtPicture(**recorder, reference, 3000, &failure)) << "no sound before the loss: " << failure;
    }
    // The server killed: the loss told on the console `messages` captures.
    void killServerSeeingTheLoss(const vktest::MessageCapture& messages) {
        const auto losses = [&] { return messages.messages().filter("Sound output lost").size(); };
        const qsizetype before = losses();
        server->kill();
        ASSERT_TRUE(QTest::qWaitFor([&] { return losses() > before; }, vktest::kWaitMs)) << "the loss was never told";
    }

    std::unique_ptr<JackServer> server;
};

}  // namespace

// A JACK server at 44.1 or 96 kHz: the movie's 48 kHz sound is converted to its rate, so
// a 1 kHz tone is heard at 1 kHz (at 44.1 kHz unconverted, 919 Hz: 8 % slow), and a
// paused step plays its whole frame in one piece, even with the mixing job held off
// right after the press, as a busy machine holds it. Such a machine may also hold the
// player off a moment in the play while JACK plays on (silence, then the sound where
// the clock is): the pitch is taken where the play's sound is unbroken.
TEST_F(JackSoundTest, AtAnotherRateTheSoundKeepsItsSpeedPitchAndWholeSteps) {
    for (int rate : {44100, 96000}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        ASSERT_NO_FATAL_FAILURE(startWith({rate, 1024, 2}, "window_tone_left.mov"));
        JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
        ASSERT_TRUE(recorder.start());
        playOrPause();
        QTest::qWait(700);
        playOrPause();
        QTest::qWait(300);
        key(Qt::Key_Home);
        QTest::qWait(400);
        std::vector<uint32_t> steps;
        std::vector<size_t> stepHeardFrom;  // what was recorded when each step was pressed
        window()->audioMonitor()->holdMixing(true);
        for (int i = 0; i < 4; ++i) {
            stepHeardFrom.push_back(recorder.frames());
            key(Qt::Key_Right);
            steps.push_back(window()->currentFrame());
            QTest::qWait(350);
        }
        window()->audioMonitor()->holdMixing(false);
        recorder.stop();
        stepHeardFrom.push_back(recorder.frames());

        const std::vector<float> heard = recorder.channel(0);
        const size_t perMs = size_t(rate) / 1000;
        const auto runs = testsupport::sounding_runs(heard, 50 * perMs);
        // Each run belongs to the play or to the step pressed last before it began.
        std::vector<std::pair<size_t, size_t>> play;
        std::vector<std::vector<std::pair<size_t, size_t>>> stepRuns(steps.size());
        for (const auto& run : runs) {
            size_t after = 0;
            while (after < steps.size() && stepHeardFrom[after] <= run.first) ++after;
            if (after == 0) play.push_back(run);
            else stepRuns[after - 1].push_back(run);
        }
        size_t played = 0;
        for (const auto& [first, end] : play) played += end - first;
        ASSERT_GT(played, 500 * perMs) << "the play's 0.7 s were not heard; sound runs:" << describe(runs, perMs);
        // Its longest stretch without a moment of silence.
        std::pair<size_t, size_t> unbroken{0, 0};
        const std::vector<float> playHeard(heard.begin() + long(play.front().first),
                                           heard.begin() + long(play.back().second));
        for (const auto& [first, end] : testsupport::sounding_runs(playHeard, 32))
            if (end - first > unbroken.second - unbroken.first) unbroken = {first, end};
        ASSERT_GT(unbroken.second - unbroken.first, 200 * perMs) << "the play's sound is broken up";
        const double pitch = testsupport::tone_frequency(playHeard, unbroken.first + 20 * perMs,
                                                         unbroken.second - 20 * perMs, double(rate));
        EXPECT_NEAR(pitch, 1000.0, 5.0) << "the tone is heard at " << pitch << " Hz";
        // One picture's sound at the device's rate (1764 or 3840 frames), the filter's
        // edges aside.
        const double frame = double(kFrame) * rate / 48000.0;
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step to frame " + std::to_string(steps[i]));
            ASSERT_EQ(stepRuns[i].size(), 1u) << "sound runs:" << describe(runs, perMs);
            const double length = double(stepRuns[i][0].second - stepRuns[i][0].first);
            EXPECT_GT(length, 0.96 * frame);
            EXPECT_LT(length, 1.04 * frame);
        }
    }
}

// Periods of 2048 and 4096 frames (larger than the player's 40 ms of sound ahead) and of
// 256, changed while the window runs: every play sounds from its position without a
// gap, and every paused step plays its whole frame, then nothing more.
TEST_F(JackSoundTest, AnyPeriodPlaysUnbrokenAndEachStepItsWholeFrame) {
    ASSERT_NO_FATAL_FAILURE(startWith({48000, 2048, 2}, "window_noise_long.mov"));
    const std::vector<float> reference = noiseReference();
    JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
    ASSERT_TRUE(recorder.start());

    struct Heard {
        int period;
        bool play;
        uint32_t frame;
    };
    std::vector<Heard> expected;
    for (int period : {2048, 4096, 256}) {
        ASSERT_TRUE(server->setPeriod(period));
        QTest::qWait(300);
        expected.push_back({period, true, window()->currentFrame()});
        playOrPause();
        QTest::qWait(600);
        playOrPause();
        QTest::qWait(400);
        for (int i = 0; i < 3; ++i) {
            key(Qt::Key_Right);
            expected.push_back({period, false, window()->currentFrame()});
            QTest::qWait(350);
        }
        QTest::qWait(300);
    }
    recorder.stop();

    const std::vector<float> heard = recorder.channel(0);
    const auto runs = testsupport::sounding_runs(heard, 50 * kMs);
    ASSERT_EQ(runs.size(), expected.size()) << "sound runs:" << describe(runs, kMs);
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto [first, end] = runs[i];
        SCOPED_TRACE(std::string(expected[i].play ? "play" : "step") + " at frame " +
                     std::to_string(expected[i].frame) + ", period " + std::to_string(expected[i].period));
        const long from = locate(reference, heard, first) - long(expected[i].frame * kFrame);
        EXPECT_TRUE(from >= 0 && from <= long(20 * kMs)) << "the first sound heard is " << from << " samples off";
        if (expected[i].play) {
            EXPECT_GT(end - first, 400 * kMs);
            // Silence inside the play: a loaded machine may miss a period now and then,
            // never most of them.
            size_t silent = 0;
            const std::vector<float> play(heard.begin() + long(first), heard.begin() + long(end));
            for (const auto& [a, b] : testsupport::silent_runs(play, 32)) silent += b - a;
            EXPECT_LT(double(silent), 0.1 * double(end - first)) << silent << " silent frames";
        } else {
            EXPECT_GE(end - first, kFrame - 16);
            EXPECT_LE(end - first, kFrame);
        }
    }
}

// The JACK server stopped for three seconds while the movie plays (a hang) and then
// continued: the sound comes back by itself where the picture is. The same when the
// play is pressed while the server is stopped, from a pause and after a paused step.
TEST_F(JackSoundTest, AfterTheServerStallsTheSoundComesBackWithThePicture) {
    ASSERT_NO_FATAL_FAILURE(startWith({48000, 1024, 2}, "window_noise_long.mov"));
    const std::vector<float> reference = noiseReference();
    JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
    ASSERT_TRUE(recorder.start());
    playOrPause();
    ASSERT_EQ(window()->playSpeed(), 1);
    QTest::qWait(1000);
    server->stop();
    QTest::qWait(3000);
    server->resume();

    std::string failure;
    EXPECT_TRUE(heardsound::wait_for_sound_at_picture(
        reference, [&] { return recorder.channel(0); }, *window(), 2000, &failure))
        << failure;
    EXPECT_EQ(window()->playSpeed(), 1) << "the picture stopped";
    playOrPause();

    for (bool step : {false, true}) {
        SCOPED_TRACE(step ? "pause, step, play during the stall" : "pause, play during the stall");
        QTest::qWait(300);
        server->stop();
        if (step) {
            key(Qt::Key_Right);
            QTest::qWait(100);
        }
        playOrPause();
        QTest::qWait(2000);
        server->resume();
        EXPECT_TRUE(heardsound::wait_for_sound_at_picture(
            reference, [&] { return recorder.channel(0); }, *window(), 2000, &failure))
            << failure;
        EXPECT_EQ(window()->playSpeed(), 1) << "the picture stopped";
        playOrPause();
    }
    recorder.stop();
}

// The player held off the processor again and again while it plays (its client's
// cycles go by without it), then only its mixing held off while the server goes on
// asking (a busy machine): the sound that could not be given in time is silence, but
// what comes after is where the clock, and so the picture, is, not later by every such
// silence.
TEST_F(JackSoundTest, TheSoundKeepsToTheClockWhenThePlayerFallsBehind) {
    ASSERT_NO_FATAL_FAILURE(startWith({48000, 256, 2}, "window_noise_long.mov"));
    const std::vector<float> reference = noiseReference();
    JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
    ASSERT_TRUE(recorder.start());
    const auto heard = [&] { return recorder.channel(0); };
    QElapsedTimer clock;
    clock.start();
    playOrPause();
    const double before = heardsound::median_lead(reference, heard, clock, 15, 40);
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(heardsound::starve_process(100));
        QTest::qWait(300);
    }
    const double afterPlayer = heardsound::median_lead(reference, heard, clock, 15, 40);
    for (int i = 0; i < 6; ++i) {
        window()->audioMonitor()->holdMixing(true);
        QTest::qWait(100);
        window()->audioMonitor()->holdMixing(false);
        QTest::qWait(300);
    }
    const double afterMixing = heardsound::median_lead(reference, heard, clock, 15, 40);
    playOrPause();
    recorder.stop();
    ASSERT_FALSE(std::isnan(before) || std::isnan(afterPlayer) || std::isnan(afterMixing))
        << "the movie's sound was not heard";
    // Where it was before, give or take the readings' spread on a busy machine (two
    // frames); a sound kept late by each silence is half a second off.
    EXPECT_LT(std::fabs(afterPlayer - before), 0.08)
        << "player held off: lead before " << before << " s, after " << afterPlayer << " s";
    EXPECT_LT(std::fabs(afterMixing - before), 0.08)
        << "mixing held off: lead before " << before << " s, after " << afterMixing << " s";
}

// The player held up while the movie plays on a JACK server: its window's thread alone
// held 700 ms at a time and once 1.5 s, longer than the frame queue reads ahead, while
// its client's callbacks go on, then the whole player
// stopped 300 ms at a time while the server's cycles go by. Sound and picture stay
// within two frames of each other after each hold and at the end: the picture leaves
// out the frames it could not show in time, and the sound's restart after the stall
// lands where the picture's clock is.
TEST_F(JackSoundTest, SoundAndPictureStayTogetherWhenThePlayerIsHeldUp) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "timed: runs in the plain build";
#endif
    ASSERT_NO_FATAL_FAILURE(startWith({48000, 256, 2}, "window_noise_long.mov"));
    const std::vector<float> reference = noiseReference();
    JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
    ASSERT_TRUE(recorder.start());
    playOrPause();
    ASSERT_EQ(window()->playSpeed(), 1);
    // The last hold of the window is longer than the frame queue reads ahead (25 frames).
    const auto leads = heardsound::leads_through_holds(reference, [&] { return recorder.channel(0); }, *window(),
                                                       {700, 700, 700, 700, 1500}, {300, 300, 300, 300});
    EXPECT_EQ(window()->playSpeed(), 1) << "the picture stopped";
    playOrPause();
    recorder.stop();
    heardsound::expect_lead_kept(leads, 0.08);
}

// The JACK server killed while the movie plays and started again a moment later, with
// no key pressed after: the loss is told, and the sound comes back by itself where the
// picture is, told as a new output. Then a server that hangs (stopped) when a play asks
// it again: the play goes on at once, and the window closes at once.
TEST_F(JackSoundTest, AKilledServerThatComesBackHasTheSoundBackByItself) {
    const std::vector<float> reference = noiseReference();
    vktest::MessageCapture messages;
    const auto told = [&](const char* text) { return messages.messages().filter(text).size(); };
    std::unique_ptr<JackServer::Recorder> recorder;
    ASSERT_NO_FATAL_FAILURE(playHeardNoise(reference, &recorder));
    std::string failure;
    // The server killed, and the recorder's client gone with it (it has to be closed
    // before a client of this process opens again).
    ASSERT_NO_FATAL_FAILURE(killServerSeeingTheLoss(messages));
    recorder.reset();
    // The player asks meanwhile, and finds no server.
    QTest::qWait(700);
    ASSERT_TRUE(server->start());
    recorder = recordFrontLeft();
    ASSERT_NE(recorder, nullptr) << "the player's ports never came back";
    EXPECT_TRUE(heardAtPicture(*recorder, reference, 4000, &failure))
        << "the sound did not come back: " << failure;
    EXPECT_GT(told("New output card"), 0) << "the output found again was not told";
    EXPECT_EQ(window()->playSpeed(), 1) << "the picture stopped";

    ASSERT_NO_FATAL_FAILURE(killServerSeeingTheLoss(messages));
    recorder.reset();
    playOrPause();
    ASSERT_TRUE(server->start());
    server->stop();
    // Continued in any case, so that a window waiting for it gets its answer.
    ContinueLater continuer(server->pid(), std::chrono::seconds(2));
    QElapsedTimer clock;
    clock.start();
    playOrPause();
    EXPECT_LT(clock.elapsed(), 500) << "the play waited for the server";
    // Tried again while the question waits: a held window would show here too.
    QTest::qWait(600);
    clock.restart();
    shown.close();
    EXPECT_LT(clock.elapsed(), 1000) << "closing waited for the server";
    // The question the window left behind ends with the server (a server asked to end
    // while a client opens waits seconds for it, then is killed and stays registered),
    // and a server of the same name takes the place the killed one left.
    server->kill();
    ASSERT_TRUE(server->start());
}

// The player run as a person runs it, its JACK server stopped (SIGSTOP: a server that
// hangs) before it starts: the window opens all the same, within about two seconds, the
// movie plays, and its sound comes once the server runs again. Then the server stopped
// again and Ctrl+Q: the process ends within a second. Then a server stopped at the
// start and gone after it: the sound comes from the desktop's own sound server.
TEST_F(JackSoundTest, AStoppedServerHoldsNeitherTheStartNorTheQuit) {
    ASSERT_TRUE(PlayerProcess::available()) << "xdotool is not installed";
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->start()) << "the JACK server did not start";
    const std::vector<float> reference = noiseReference();
    server->stop();
    // Continued in any case: a player the server holds opens late rather than never.
    ContinueLater continuer(server->pid(), std::chrono::seconds(8));
    PlayerProcess player(fixture("window_noise_long.mov"));
    // What the player printed, on any failure, an early one too.
    const auto printed = qScopeGuard([&] {
        if (HasFailure()) std::printf("%s\n", qPrintable(player.output()));
    });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(player.start());
    ASSERT_TRUE(player.waitForWindow(vktest::kWaitMs)) << "the window never opened";
    const qint64 opened = clock.elapsed();
    // The player's own start takes a fraction of a second here; it gives a server that
    // does not answer two.
    EXPECT_LT(opened, 4000) << "the window opened " << opened << " ms after the start";
    // Its title names the movie once it is open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.title().contains("window_noise_long.mov"); }, vktest::kWaitMs))
        << "the movie never opened: " << player.title().toStdString();
    ASSERT_TRUE(player.key("space"));
    QTest::qWait(500);
    continuer.continueNow();

    JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
    EXPECT_TRUE(recorder.start()) << "the player's output never came";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<float> heard = recorder.channel(0);
            return heard.size() > 32 && locate(reference, heard, heard.size() - 32) >= 0;
        },
        5000))
        << "the movie's sound never came";

    server->stop();
    ContinueLater again(server->pid(), std::chrono::seconds(4));
    clock.restart();
    ASSERT_TRUE(player.key("ctrl+q"));
    EXPECT_TRUE(player.waitForEnd(vktest::kWaitMs)) << "the player never ended";
    const qint64 ended = clock.elapsed();
    EXPECT_LT(ended, 1000) << "the process ended " << ended << " ms after Ctrl+Q";
    EXPECT_EQ(player.exitCode(), 0);
    again.continueNow();
    recorder.stop();

    // The server stopped at the start again, and then gone for good, on a desktop whose
    // own sound server runs: once the player finds no JACK server, the movie sounds on
    // the desktop's server, as after a start without JACK.
    PulseServer desktop;
    ASSERT_TRUE(desktop.start()) << "the desktop's sound server did not start";
    PulseServer::Recorder onDesktop(desktop);
    ASSERT_TRUE(onDesktop.start());
    server->stop();
    PlayerProcess second(fixture("window_noise_long.mov"));
    const auto printedSecond = qScopeGuard([&] {
        if (HasFailure()) std::printf("%s\n", qPrintable(second.output()));
    });
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.waitForWindow(vktest::kWaitMs)) << "the window never opened";
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.title().contains("window_noise_long.mov"); }, vktest::kWaitMs))
        << "the movie never opened: " << second.title().toStdString();
    server->kill();
    ASSERT_TRUE(second.key("space"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<float>& heard = onDesktop.left();
            return heard.size() > 32 && locate(reference, heard, heard.size() - 32) >= 0;
        },
        5000))
        << "the movie's sound never came on the desktop's server";
    ASSERT_TRUE(second.key("ctrl+q"));
    EXPECT_TRUE(second.waitForEnd(vktest::kWaitMs)) << "the player never ended";
    EXPECT_EQ(second.exitCode(), 0);
    // A killed server stays registered on the machine, which holds few: one of the same
    // name takes its place, and its end at the test's end frees it.
    EXPECT_TRUE(server->start());
}

// The JACK server killed while the movie plays, started again, and stopped for a while
// the moment the player comes back to it: as the player's first client opens (its
// question whether the server plays), and as its second does (its output's connection).
// The window goes on meanwhile: a question the server holds waits off the window's
// thread, and an output the server does not let connect is given up on within half a
// second, and asked for again later. Once the server runs again, the sound comes back by
// itself where the picture is. While the server is gone, the console says why the output
// is still lost once, not at every try.
TEST_F(JackSoundTest, AServerThatStopsAsThePlayerComesBackHoldsNeitherTheWindowNorLaterTries) {
    const std::vector<float> reference = noiseReference();
    vktest::MessageCapture messages;
    const auto told = [&](const char* text) { return messages.messages().filter(text).size(); };
    std::unique_ptr<JackServer::Recorder> recorder;
    ASSERT_NO_FATAL_FAILURE(playHeardNoise(reference, &recorder));
    std::string failure;

    constexpr int kStopMs = 2500;
    for (int client : {1, 2}) {
        SCOPED_TRACE("the server stopped as the player's client " + std::to_string(client) + " opens");
        ASSERT_NO_FATAL_FAILURE(killServerSeeingTheLoss(messages));
        // The recorder's client went with the server (and is closed before another opens).
        recorder.reset();
        const qsizetype stillLost = told("Sound output still lost");
        // The player asks meanwhile, every half second, and finds no server.
        QTest::qWait(client == 1 ? 3000 : 700);
        if (client == 1) {
            EXPECT_EQ(told("Sound output still lost") - stillLost, 1) << "told at every try";
        }
        ASSERT_TRUE(server->start());
        JackServer::StopOnClient trap(*server, client, kStopMs);
        ASSERT_TRUE(trap.start());
        // The longest the window's events waited, from now until the server runs again.
        qint64 longest = 0;
        QElapsedTimer clock;
        clock.start();
        QElapsedTimer stopped;
        while (clock.elapsed() < vktest::kWaitMs && !(stopped.isValid() && stopped.elapsed() > kStopMs + 200)) {
            QElapsedTimer slice;
            slice.start();
            QTest::qWait(10);
            longest = std::max(longest, slice.elapsed());
            if (trap.fired() && !stopped.isValid()) stopped.start();
        }
        ASSERT_TRUE(trap.fired()) << "the player never came back to the server";
        trap.waitUntilContinued();
        EXPECT_LT(longest, 1200) << "the window was held " << longest << " ms";
        recorder = recordFrontLeft();
        ASSERT_NE(recorder, nullptr) << "the player's ports never came back";
        EXPECT_TRUE(heardAtPicture(*recorder, reference, 5000, &failure))
            << "the sound did not come back: " << failure;
        EXPECT_EQ(window()->playSpeed(), 1) << "the picture stopped";
    }
}

// The JACK server killed while the movie plays and started again, three ways: held
// (stopped) three seconds right after it is up; held two seconds the moment the player's
// output client registers on it; killed again the moment the player tells it has found
// its output back (as it begins to listen to that server), and started again. Every time
// the sound comes back by itself where the picture is, within a few seconds of the
// server's return, and while the server holds the player's questions the console says
// the output is still lost.
TEST_F(JackSoundTest, AfterEveryRestartTheSoundComesBack) {
    const std::vector<float> reference = noiseReference();
    vktest::MessageCapture messages;
    const auto told = [&](const char* text) { return messages.messages().filter(text).size(); };
    std::unique_ptr<JackServer::Recorder> recorder;
    ASSERT_NO_FATAL_FAILURE(playHeardNoise(reference, &recorder));
    std::string failure;
    // The server killed: the loss told, and the recorder's client gone with it.
    const auto lose = [&] {
        ASSERT_NO_FATAL_FAILURE(killServerSeeingTheLoss(messages));
        recorder.reset();
        QTest::qWait(500);
    };
    const auto soundBack = [&] {
        recorder = recordFrontLeft();
        ASSERT_NE(recorder, nullptr) << "the player's ports never came back";
        EXPECT_TRUE(heardAtPicture(*recorder, reference, 4000, &failure)) << "the sound did not come back: " << failure;
        EXPECT_EQ(window()->playSpeed(), 1) << "the picture stopped";
    };
    {
        SCOPED_TRACE("held right after it is up");
        ASSERT_NO_FATAL_FAILURE(lose());
        const qsizetype stillLost = told("Sound output still lost");
        ASSERT_TRUE(server->start());
        server->stop();
        QTest::qWait(3000);
        EXPECT_GT(told("Sound output still lost"), stillLost) << "the loss was not told while the server held on";
        server->resume();
        ASSERT_NO_FATAL_FAILURE(soundBack());
    }
    {
        SCOPED_TRACE("held as the player's output registers");
        ASSERT_NO_FATAL_FAILURE(lose());
        // Set before the window's next try (this thread is the window's).
        ASSERT_TRUE(server->start());
        JackServer::StopOnClient trap(*server, 1, 2000, kPlayer);
        ASSERT_TRUE(trap.start());
        ASSERT_TRUE(QTest::qWaitFor([&] { return trap.fired(); }, vktest::kWaitMs))
            << "the player never came back to the server";
        QTest::qWait(2100);
        trap.waitUntilContinued();
        ASSERT_NO_FATAL_FAILURE(soundBack());
    }
    {
        SCOPED_TRACE("killed as the player finds its output again");
        ASSERT_NO_FATAL_FAILURE(lose());
        {
            OnMessage killer("New output card", [&] { server->kill(); });
            ASSERT_TRUE(server->start());
            ASSERT_TRUE(QTest::qWaitFor([&] { return killer.fired(); }, vktest::kWaitMs))
                << "the output was never found again";
        }
        QTest::qWait(300);
        ASSERT_TRUE(server->start());
        ASSERT_NO_FATAL_FAILURE(soundBack());
    }
}

// A JACK server that stops (hangs) the moment the player's output client registers as
// the window starts: the window opens all the same, and the person is told of no
// unsupported device (that warning's "Don't show again" switch would turn off a warning
// they may need for a card the player really cannot use): the output is lost and tried
// again, and once the server runs again a play has its sound.
TEST_F(JackSoundTest, AServerThatStopsAsTheStartOpensTheStreamIsALostOutput) {
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->start()) << "the JACK server did not start";
    const std::vector<float> reference = noiseReference();
    // The warning is on, as on a first start.
    QFile::remove(GlobalSettings::prefsFilePath());
    vktest::MessageCapture log;
    JackServer::StopOnClient trap(*server, 1, 3000, kPlayer);
    ASSERT_TRUE(trap.start());
    ASSERT_NO_FATAL_FAILURE(open("window_noise_long.mov"));
    ASSERT_TRUE(trap.fired()) << "the window opened its stream before the server was watched";
    const DialogWarningErr* warning = window()->warningDialog();
    EXPECT_TRUE(warning == nullptr || !warning->isVisible()) << "an unsupported device was told";
    EXPECT_FALSE(log.contains("Invalid audio device")) << log.messages().join("\n").toStdString();
    trap.waitUntilContinued();
    playOrPause();
    auto recorder = recordFrontLeft();
    ASSERT_NE(recorder, nullptr) << "the player's output never came";
    std::string failure;
    EXPECT_TRUE(heardAtPicture(*recorder, reference, 5000, &failure)) << "no sound once the server ran: " << failure;
}

// The player run as a person runs it, on a machine so loaded that each JACK client's
// close takes a second and a half (a library of the test's own holds jack_client_close up
// while a flag file exists). The server is killed while the movie plays, started again
// and held (stopped) the moment the player's output client registers, so that the
// output's open runs out of time and is left to finish later; then it is killed and
// started again, and the player opens its next clients while the clients of the dead
// server are still being closed. It plays on, its sound comes back, and a quit while the
// closes are held up ends it normally, without telling a lost output.
TEST_F(JackSoundTest, ClosesHeldUpAfterTheServerWentNeverCrashThePlayer) {
    ASSERT_TRUE(PlayerProcess::available()) << "xdotool is not installed";
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->start()) << "the JACK server did not start";
    const std::vector<float> reference = noiseReference();
    QTemporaryDir flags;
    ASSERT_TRUE(flags.isValid());
    const QString flag = flags.filePath("hold-closes");
    const auto holdCloses = [&](bool hold) {
        if (!hold) return void(QFile::remove(flag));
        QFile file(flag);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    PlayerProcess player(fixture("window_noise_long.mov"));
    player.setEnvironment("LD_PRELOAD", JACK_CLOSE_DELAY_LIBRARY);
    player.setEnvironment("JACK_CLOSE_DELAY_FLAG", flag);
    // The sanitizers' runtime loads after the preloaded library.
    if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
        player.setEnvironment("ASAN_OPTIONS",
                              qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0:verify_asan_link_order=0");
    const auto printed = qScopeGuard([&] {
        if (HasFailure()) std::printf("%s\n", qPrintable(player.output()));
    });
    const auto told = [&](const char* text) { return player.output().count(text); };
    ASSERT_TRUE(player.start());
    ASSERT_TRUE(player.waitForWindow(vktest::kWaitMs)) << "the window never opened";
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.title().contains("window_noise_long.mov"); }, vktest::kWaitMs))
        << "the movie never opened: " << player.title().toStdString();
    ASSERT_TRUE(player.key("space"));
    QTest::qWait(1000);

    const qsizetype losses = told("Sound output lost");
    server->kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return told("Sound output lost") > losses; }, vktest::kWaitMs))
        << "the loss was never told";
    // No try of the player's comes before the server is watched.
    ::kill(pid_t(player.pid()), SIGSTOP);
    const bool restarted = server->start();
    JackServer::StopOnClient trap(*server, 1, -1, kPlayer);
    const bool watched = restarted && trap.start();
    ::kill(pid_t(player.pid()), SIGCONT);
    ASSERT_TRUE(watched) << "the JACK server did not start again";
    const qsizetype unanswered = told("does not answer");
    ASSERT_TRUE(QTest::qWaitFor([&] { return trap.fired(); }, vktest::kWaitMs))
        << "the player never came back to the server";
    ASSERT_TRUE(QTest::qWaitFor([&] { return told("does not answer") > unanswered; }, vktest::kWaitMs))
        << "the output's open never ran out of time";
    ASSERT_NO_FATAL_FAILURE(holdCloses(true));
    server->kill();
    ASSERT_TRUE(server->start()) << "the JACK server did not start again";
    // The player asks the new server meanwhile, while the old clients' closes are held.
    QTest::qWait(4000);
    ASSERT_FALSE(player.waitForEnd(0)) << "the player ended (crash: " << player.crashed() << ")";
    holdCloses(false);

    JackServer::Recorder recorder(*server, kPlayer, 1, {"Front Left"});
    EXPECT_TRUE(recorder.start()) << "the player's output never came back";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<float> heard = recorder.channel(0);
            return heard.size() > 32 && locate(reference, heard, heard.size() - 32) >= 0;
        },
        5000))
        << "the movie's sound never came back";
    recorder.stop();

    ASSERT_NO_FATAL_FAILURE(holdCloses(true));
    ASSERT_TRUE(player.key("ctrl+q"));
    EXPECT_TRUE(player.waitForEnd(vktest::kWaitMs)) << "the player never ended";
    holdCloses(false);
    EXPECT_FALSE(player.crashed());
    EXPECT_EQ(player.exitCode(), 0);
    const QString output = player.output();
    const qsizetype ended = output.indexOf("App ret");
    EXPECT_GE(ended, 0) << "the player never returned from its event loop";
    EXPECT_FALSE(output.mid(ended).contains("output is lost")) << "the quit was told as a lost output";
}

// Six and eight output ports: each of the player's ports carries the channel its name
// says, so wiring by name sends the LFE to the subwoofer. A 5.1 movie on eight ports
// has its surround pair on the side ports and silent rears. The recorder's client
// comes just before the play, as another JACK program may: the play goes on.
TEST_F(JackSoundTest, EachPortCarriesTheChannelItsNameSays) {
    const std::vector<QString> names51 = {"Front Left", "Front Right", "Front Center",
                                          "LFE",        "Back Left",   "Back Right"};
    const std::vector<QString> names71 = {"Front Left", "Front Right", "Front Center", "LFE",
                                          "Side Left",  "Side Right",  "Back Left",    "Back Right"};
    for (int ports : {6, 8}) {
        SCOPED_TRACE(std::to_string(ports) + " ports");
        ASSERT_NO_FATAL_FAILURE(startWith({48000, 1024, ports}, "window_noise_51.mov"));
        const std::vector<QString>& names = ports == 6 ? names51 : names71;
        EXPECT_EQ(server->outputPorts(kPlayer).size(), ports);
        JackServer::Recorder recorder(*server, kPlayer, ports, names);
        ASSERT_TRUE(recorder.start());
        const uint32_t start = window()->currentFrame();
        playOrPause();
        QTest::qWait(600);
        // The recorder is another JACK client that added its ports: the same output
        // device, which must not stop the play.
        EXPECT_EQ(window()->playSpeed(), 1) << "the play stopped";
        playOrPause();
        QTest::qWait(200);
        recorder.stop();

        for (int c = 0; c < ports; ++c) {
            SCOPED_TRACE("port " + names[size_t(c)].toStdString());
            const std::vector<float> heard = recorder.channel(c);
            const long first = testsupport::first_above(heard, 1e-6f);
            if (c >= 6) {
                EXPECT_EQ(first, -1) << "a rear port of a 5.1 movie is not silent";
                continue;
            }
            if (first < 0) {
                ADD_FAILURE() << "nothing was heard";
                continue;
            }
            const std::vector<float> movie =
                testsupport::read_raw_s16_channel(fixture("window_noise_51.s16").toStdString(), 6, uint32_t(c));
            const long at = locate(movie, heard, size_t(first) + 10 * kMs);
            if (at == -1) {
                ADD_FAILURE() << "this port does not carry the movie's channel of its name";
                continue;
            }
            const long from = at - long(start * kFrame + 10 * kMs);
            EXPECT_TRUE(from >= 0 && from <= long(20 * kMs)) << "the first sound heard is " << from << " samples off";
        }
    }
}

QString PlainAlsaTest::configureChain(const QString& chain) {
    const QString played = dir.filePath(QString("played-%1.raw").arg(++m_plays));
    m_alsaConfig.reset();
    m_alsaConfig.emplace("ALSA_CONFIG_PATH", configure(chain + QString(R"(pcm.written {
    type file
    slave.pcm "nowhere"
    file "%1"
    format "raw"
}
pcm.nowhere { type null }
)")
                                                                   .arg(played)));
    return played;
}

void PlainAlsaTest::expectAplayPlays(const QString& played) {
    // A quarter second of a 1 kHz tone, float stereo at 48 kHz.
    const QString sound = dir.filePath("aplay-tone.f32");
    if (!QFile::exists(sound)) {
        std::vector<float> samples;
        for (int i = 0; i < 12000; ++i) {
            const auto value = float(0.25 * std::sin(2.0 * M_PI * 1000.0 * i / 48000.0));
            samples.insert(samples.end(), {value, value});
        }
        QFile file(sound);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float)));
    }
    QProcess aplay;
    aplay.setProcessChannelMode(QProcess::MergedChannels);
    aplay.start("aplay", {"-q", "-D", "default", "-t", "raw", "-f", "FLOAT_LE", "-r", "48000", "-c", "2", sound});
    ASSERT_TRUE(aplay.waitForStarted(10000)) << "aplay (alsa-utils) is not installed";
    ASSERT_TRUE(aplay.waitForFinished(20000));
    const QByteArray said = aplay.readAll();
    ASSERT_EQ(aplay.exitCode(), 0) << "aplay does not play this chain: " << said.toStdString();
    ASSERT_GT(QFileInfo(played).size(), 0) << "aplay wrote nothing through this chain";
    ASSERT_TRUE(QFile::remove(played));
}

void PlainAlsaTest::playUntilWritten(const char* movie, const QString& played, const Written& written,
                                     double seconds, uint32_t* start) {
    AudioMonitor* monitor = nullptr;
    for (int opens = 1;; ++opens) {
        shown.close();
        QFile::remove(played);
        ASSERT_NO_FATAL_FAILURE(open(movie));
        monitor = window()->audioMonitor();
        ASSERT_NE(monitor, nullptr);
        // On a machine held up, the player's question to a JACK server (there is none)
        // may run out of its time at the start: the output is then waited for as a lost
        // one, and the window is opened again.
        if (!monitor->backendLost() || opens == 3) break;
    }
    EXPECT_TRUE(monitor->errorText().isEmpty()) << monitor->errorText().toStdString();
    EXPECT_TRUE(monitor->streamReady());
    *start = window()->currentFrame();
    playOrPause();
    ASSERT_EQ(window()->playSpeed(), 1);
    // The chain writes as fast as it is given: what the play has sent so far.
    const qint64 bytesPerSecond =
        qint64(written.rate) * written.channels * (std::string(written.format) == "FLOAT_LE" ? 4 : 2);
    const auto wanted = qint64(seconds * double(bytesPerSecond));
    // What was written short of that is judged by the caller.
    static_cast<void>(QTest::qWaitFor([&] { return QFileInfo(played).size() >= wanted; }, 5000));
    QTest::qWait(100);
    playOrPause();
    QTest::qWait(100);
}

void PlainAlsaTest::playNoise(const QString& played, const Written& written, std::vector<int> fromMovie,
                              bool behindRateConverter) {
    const int channels = written.channels;
    const int rate = written.rate;
    if (fromMovie.empty())
        for (int c = 0; c < channels; ++c) fromMovie.push_back(c);
    const bool surround = channels == 6;
    const bool floats = std::string(written.format) == "FLOAT_LE";
    const bool converted = rate != 48000;
    const size_t perMs = size_t(rate) / 1000;
    const std::string movieSound = fixture(surround ? "window_noise_51.s16" : "window_noise_long.s16").toStdString();
    // What is wrong with what one play wrote (nothing when all is right).
    const auto problemsOfPlay = [&](uint32_t start) {
        std::vector<std::string> problems;
        if (!QFile::exists(played)) return std::vector<std::string>{"nothing was played"};
        // Where each channel's sound heard 20 and 200 ms into the play comes from in the
        // movie's sound at the device's rate: the same place on every channel. At 44.1
        // kHz the player's rate converter is not this one (they differ near the top of
        // the band: a correlation of about 0.94 where the sound is right, about 0 at
        // another place or speed), and its first samples may lead the sound by a
        // little. ALSA's rate converter filters the sound even when it has no rate to
        // convert, and delays it by half its filter (24 samples).
        std::vector<long> offsets;
        for (int c = 0; c < channels; ++c) {
            const std::string channel =
                "device channel " + std::to_string(c) + " (the movie's channel " + std::to_string(fromMovie[c]) + "): ";
            const std::vector<float> heard =
                floats ? testsupport::read_raw_f32_channel(played.toStdString(), uint32_t(channels), uint32_t(c))
                       : testsupport::read_raw_s16_channel(played.toStdString(), uint32_t(channels), uint32_t(c));
            const long first = testsupport::first_above(heard, 1e-6f);
            if (first < 0) {
                problems.push_back(channel + "nothing was played (" + std::to_string(heard.size()) + " frames written)");
                continue;
            }
            const auto runs = testsupport::sounding_runs({heard.begin() + first, heard.end()}, 2 * perMs);
            if (runs.empty() || runs[0].second - runs[0].first <= 200 * perMs)
                problems.push_back(channel + "no 200 ms of sound unbroken from the first; sound runs:" +
                                   describe(runs, perMs));

            const std::vector<float> movie =
                testsupport::read_raw_s16_channel(movieSound, surround ? 6 : 2, uint32_t(fromMovie[c]));
            const size_t startAt = start * kFrame * size_t(rate) / 48000;
            const std::vector<float> expected = converted ? at_rate(movie, start * kFrame + 3 * 48000, rate) : movie;
            const long tolerance = behindRateConverter ? 32 : converted ? 8 : 0;
            for (size_t into : {20 * perMs, 200 * perMs}) {
                const std::string when = std::to_string(into / perMs) + " ms into the play: ";
                const size_t at = size_t(first) + into;
                const auto [found, correlation] = best_match(expected, startAt + into - 20 * perMs,
                                                             startAt + into + 20 * perMs, heard, at, 10 * perMs);
                if (correlation <= (converted ? 0.8 : 0.9999))
                    problems.push_back(channel + when + "not the movie's sound of this channel at " +
                                       std::to_string(rate) + " Hz (correlation " + std::to_string(correlation) +
                                       ")");
                else if (std::abs(found - long(startAt + into)) > tolerance)
                    problems.push_back(channel + when + "the sound heard is " +
                                       std::to_string(found - long(startAt + into)) + " samples off");
                offsets.push_back(found - long(at));
            }
        }
        for (long offset : offsets)
            if (offset != offsets.front())
                problems.push_back("the sound does not keep the movie's speed on every channel: offsets " +
                                   std::to_string(offset) + " and " + std::to_string(offsets.front()));
        return problems;
    };
    // A busy machine may hold the player in a play (the picture then leaves frames out,
    // a device held a quarter second starts again where the picture is, a player behind
    // the clock skips what it owes): the sound jumps, which is no fault of the chain.
    // A wrong channel or speed is wrong in every play; each play is tried up to four
    // times, and one right play is enough.
    std::vector<std::string> problems;
    for (int tries = 0; tries < 4; ++tries) {
        uint32_t start = 0;
        ASSERT_NO_FATAL_FAILURE(playUntilWritten(surround ? "window_noise_51.mov" : "window_noise_long.mov", played,
                                                 written, 0.4, &start));
        problems = problemsOfPlay(start);
        if (problems.empty()) return;
    }
    for (const std::string& problem : problems) ADD_FAILURE() << problem;
}

double PlainAlsaTest::heardTonePitch(const QString& played, const Written& written) {
    const size_t perMs = size_t(written.rate) / 1000;
    // The pitch of what one play wrote; 0 with `why` set when it holds no stretch of
    // the tone long enough to read.
    const auto pitchOfPlay = [&](std::string* why) {
        if (!QFile::exists(played)) {
            *why = "nothing was played";
            return 0.0;
        }
        const std::vector<float> heard =
            std::string(written.format) == "FLOAT_LE"
                ? testsupport::read_raw_f32_channel(played.toStdString(), uint32_t(written.channels), 0)
                : testsupport::read_raw_s16_channel(played.toStdString(), uint32_t(written.channels), 0);
        const long first = testsupport::first_above(heard, 1e-3f);
        if (first < 0) {
            *why = "no tone was played (" + std::to_string(heard.size()) + " frames written)";
            return 0.0;
        }
        // The longest unbroken stretch of the tone (a converter may let a few samples
        // out before its filter has filled), less its edges (the filters ring there),
        // read in windows of 25 ms: each is 25 cycles, its pitch read to far better
        // than 0.01 %, and their median leaves out the few where a busy player skipped
        // the sound it owed (a jump in the tone, no change of its pitch).
        const auto runs = testsupport::sounding_runs({heard.begin() + first, heard.end()}, 2 * perMs);
        const auto longest = std::max_element(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
            return a.second - a.first < b.second - b.first;
        });
        if (longest == runs.end() || longest->second - longest->first < 150 * perMs) {
            *why = "the tone was not played unbroken: sound runs" + describe(runs, perMs);
            return 0.0;
        }
        const size_t end = size_t(first) + longest->second - 20 * perMs;
        std::vector<double> pitches;
        for (size_t at = size_t(first) + longest->first + 20 * perMs; at + 25 * perMs <= end; at += 25 * perMs)
            pitches.push_back(testsupport::tone_frequency(heard, at, at + 25 * perMs, double(written.rate)));
        std::sort(pitches.begin(), pitches.end());
        return pitches[pitches.size() / 2];
    };
    // A play the machine held may end the second-long movie early (the picture leaves
    // frames out, and the sound starts again where it is): played again, up to four
    // times.
    std::string why;
    for (int tries = 0; tries < 4; ++tries) {
        uint32_t start = 0;
        playUntilWritten("window_tone_left.mov", played, written, 0.4, &start);
        if (::testing::Test::HasFatalFailure()) return 0.0;
        const double pitch = pitchOfPlay(&why);
        if (pitch > 0.0) return pitch;
    }
    ADD_FAILURE() << why;
    return 0.0;
}

void PlainAlsaTest::playOnDevice(const char* format, int rate, int channels, bool behindRateConverter) {
    // A rate converter's slave names a format and a rate only.
    const QString chain = behindRateConverter ? QString(R"(pcm.!default {
    type plug
    slave.pcm "converted"
    hint { show on description "The test's output" }
}
pcm.converted {
    type rate
    slave { pcm "written" format %1 rate %2 }
}
)")
                                                    .arg(format)
                                                    .arg(rate)
                                              : QString(R"(pcm.!default {
    type plug
    slave { pcm "written" format %1 rate %2 channels %3 }
    hint { show on description "The test's output" }
}
)")
                                                    .arg(format)
                                                    .arg(rate)
                                                    .arg(channels);
    const QString played = configureChain(chain);
    playNoise(played, Written{format, rate, channels}, {}, behindRateConverter);
}

// A machine without a sound server: the player plays on ALSA's default device. Here it
// is a plug device (which, as plug and dmix devices do, has no channel map to set) in
// front of a device of fixed format that writes what it is given to a file: float32 at
// 48 kHz; signed 16-bit at 44.1 kHz, as most cards take; six channels of signed 16-bit
// at 48 kHz, played a 5.1 movie; and signed 16-bit at 44.1 kHz behind ALSA's own rate
// converter, a chain `aplay` plays. The file takes the sound as fast as it comes: each
// of the movie's channels on the device's channel of the same place (the player's
// order: L R C LFE and the surround pair), from the play's position at the movie's
// speed, 200 ms and more with no gap (at 44.1 kHz, the movie's sound
// at that rate).
TEST_F(PlainAlsaTest, ADeviceWithoutChannelMapPlays) {
    struct Device {
        const char* name;
        const char* format;
        int rate;
        int channels;
        bool behindRateConverter;
    };
    for (const Device& device : {Device{"float", "FLOAT_LE", 48000, 2, false},
                                 Device{"s16 at 44.1 kHz", "S16_LE", 44100, 2, false},
                                 Device{"six channels", "S16_LE", 48000, 6, false},
                                 Device{"rate converter", "S16_LE", 44100, 2, true}}) {
        SCOPED_TRACE(device.name);
        shown.close();
        playOnDevice(device.format, device.rate, device.channels, device.behindRateConverter);
    }
}

// Chains people write in their ALSA configuration, each played by `aplay` first (so the
// machine plays it): a plug in front of ALSA's rate converter (linear) to a device at
// 32 and at 96 kHz, and in front of the speexrate converter whose slave names a rate
// only (in front of a plug to the device, as `plughw:` is): the movie's 1 kHz tone is
// heard at 1 kHz within 0.01 % (aplay's own is that close), not at the pitch and speed
// a converter gives when its period is rounded off the rate ratio. And a plug in front
// of a `route` that swaps two channels, or reverses six, where the library's probe of
// the device fails: each of the movie's channels lands where the route puts it.
TEST_F(PlainAlsaTest, ChainsThatAplayPlaysPlayAtTheirPitchWithEachChannelWhereTheyPutIt) {
    const QString plug = R"(pcm.!default {
    type plug
    slave.pcm "chain"
    hint { show on description "The test's output" }
}
)";
    for (int rate : {32000, 96000}) {
        SCOPED_TRACE("linear rate converter to " + std::to_string(rate) + " Hz");
        const QString played = configureChain(plug + QString(R"(pcm.chain {
    type rate
    slave { pcm "written" format S16_LE rate %1 }
    converter "linear"
}
)")
                                                         .arg(rate));
        ASSERT_NO_FATAL_FAILURE(expectAplayPlays(played));
        EXPECT_NEAR(heardTonePitch(played, Written{"S16_LE", rate, 2}), 1000.0, 0.1);
    }
    {
        SCOPED_TRACE("speexrate converter to 32000 Hz");
        const QString played = configureChain(plug + R"(pcm.chain {
    type rate
    slave { pcm "card" rate 32000 }
    converter "speexrate"
}
pcm.card {
    type plug
    slave { pcm "written" format S16_LE }
}
)");
        ASSERT_NO_FATAL_FAILURE(expectAplayPlays(played));
        EXPECT_NEAR(heardTonePitch(played, Written{"S16_LE", 32000, 2}), 1000.0, 0.1);
    }
    {
        SCOPED_TRACE("route swapping two channels");
        const QString played = configureChain(plug + R"(pcm.chain {
    type route
    slave { pcm "written" format S16_LE channels 2 }
    ttable.0.1 1
    ttable.1.0 1
}
)");
        ASSERT_NO_FATAL_FAILURE(expectAplayPlays(played));
        playNoise(played, Written{"S16_LE", 48000, 2}, {1, 0});
    }
    {
        SCOPED_TRACE("route reversing six channels");
        const QString played = configureChain(plug + R"(pcm.chain {
    type route
    slave { pcm "written" format S16_LE channels 6 }
    ttable.0.5 1
    ttable.1.4 1
    ttable.2.3 1
    ttable.3.2 1
    ttable.4.1 1
    ttable.5.0 1
}
)");
        ASSERT_NO_FATAL_FAILURE(expectAplayPlays(played));
        playNoise(played, Written{"S16_LE", 48000, 6}, {5, 4, 3, 2, 1, 0});
    }
}

// A plug device in front of a card that is not there: the audio library cannot probe
// it. The person is told the output device is unsupported, and the console says why.
TEST_F(PlainAlsaTest, ADeviceTheLibraryCannotProbeIsRefusedWithItsReason) {
    ScopedEnv alsa("ALSA_CONFIG_PATH", configure(R"(pcm.!default {
    type plug
    slave { pcm "card" format S16_LE rate 44100 channels 2 }
    hint { show on description "The test's output" }
}
pcm.card { type hw card 31 }
)"));
    QFile::remove(GlobalSettings::prefsFilePath());
    vktest::MessageCapture log;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    DialogWarningErr* warning = window()->warningDialog();
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->messageLabel()->text(), "Unsupported audio output device");
    EXPECT_TRUE(log.contains("Invalid audio device : Failed to connect to ALSA (unable to open device)"))
        << log.messages().join("\n").toStdString();
}
