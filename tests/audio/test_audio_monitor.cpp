#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_output_capture.h"
#include "audio/audio_output_writer.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "base/pcm/channel_layouts.h"
#include "base/pcm/layout_converter.h"
#include "audio/planar_ring_buffer.h"
#include "audio/sound_io_notifier.h"
#include "tests/support/audio_signal_analysis.h"
#include "tests/support/test_movies.h"
#include "opened_movie.h"
#include "source_ring_checks.h"

using namespace testsupport;

namespace {

constexpr double kRate = 48000.0;
constexpr size_t kLatency = AudioMonitor::kLatencyFillFrames;

// A library context on its dummy backend (the one a machine without a sound card
// lands on), so every run sees the same device.
struct DummyContext {
    SoundIo* context = soundio_create();
    DummyContext() {
        if (context && soundio_connect_backend(context, SoundIoBackendDummy) == 0) soundio_flush_events(context);
    }
    ~DummyContext() { soundio_destroy(context); }
};

// The player's chain on the dummy device with the capture tap installed: tracks,
// source buffer, monitor.
struct Player {
    DummyContext dummy;
    AllAudioSrcTracks tracks;
    AudioOutputCapture capture;
    std::unique_ptr<AudioSrcBuffer> buffer;
    std::unique_ptr<AudioMonitor> monitor;

    explicit Player(uint32_t deviceChannels = 0, uint32_t captureFrames = 5 * 48000) : capture(captureFrames) {
        buffer = std::make_unique<AudioSrcBuffer>(dummy.context);
        monitor = std::make_unique<AudioMonitor>(dummy.context);
        if (deviceChannels != 0) {
            monitor->setRequestedDeviceChannels(deviceChannels);
            monitor->reopenDefaultDevice();
        }
        monitor->setOutputTap(&capture);
    }
    ~Player() {
        stop();
        monitor.reset();  // the device thread ends before the tap goes
        buffer.reset();
        tracks.deleteAll();
    }

    void addWav(const std::string& name, uint32_t layout) {
        tracks.addTrack(new AudioSrcTrack(QString::fromStdString(fixture_path(name))));
        tracks.setOutputLayout(layout);
        buffer->setTracks(&tracks);
        ASSERT_EQ(buffer->readyFlag(), 1);
        monitor->setLayout(buffer->sourceRing(), buffer->outputLayout(), buffer->directFlag());
    }

    // The main window's play sequence, then `frames` frames captured.
    void play(double seconds, size_t frames) {
        stop();
        buffer->seek(seconds, 0);
        // Before the restart: the device may take the first frames while still paused
        // (they wait in its buffer), and the capture must see them.
        capture.reset();
        monitor->restartPlay();
        monitor->start();
        EXPECT_TRUE(wait_until([&] { return capture.frames() >= frames; }));
    }

    // The main window's stop sequence.
    void stop() {
        if (buffer) buffer->stopFillTask();
        if (monitor) {
            monitor->pause();
            monitor->stopFeedTask();
        }
    }
};

// A source ring the test fills by hand (the monitor's only other user is stopped).
// It stops the player's mixing before it goes, so that a test that ends early, on a
// failed check, never leaves the mixing thread reading a freed ring.
struct HandRing {
    PlanarRingBuffer ring;
    Player* player;
    HandRing(Player& reader, uint32_t planes) : player(&reader) {
        planar_ring_buffer_init(&ring);
        planar_ring_buffer_create(reader.dummy.context, &ring, planes, 48000, 240000, 4);
    }
    ~HandRing() {
        player->stop();
        planar_ring_buffer_destroy(&ring);
    }
    HandRing(const HandRing&) = delete;
    HandRing& operator=(const HandRing&) = delete;
    // `frames` frames of amplitude x sin(2 pi f t) on the planes of `tones` (0: silence).
    void fill(const std::vector<double>& tones, double amplitude, uint32_t frames) {
        planar_ring_buffer_clear(&ring);
        uint32_t room = 0;
        std::vector<uint8_t*> planes(ring.planeCount);
        planar_ring_buffer_get_write(&ring, &room, planes.data());
        ASSERT_GE(room, frames);
        for (uint32_t p = 0; p < ring.planeCount; ++p) {
            auto* out = reinterpret_cast<float*>(planes[p]);
            const double f = p < tones.size() ? tones[p] : 0.0;
            for (uint32_t i = 0; i < frames; ++i)
                out[i] = f > 0.0 ? float(amplitude * std::sin(2.0 * M_PI * f * i / kRate)) : 0.0f;
        }
        planar_ring_buffer_advance_write(&ring, frames);
    }
    std::vector<float> expected(double f, double amplitude, uint32_t frames) const {
        std::vector<float> out(frames);
        for (uint32_t i = 0; i < frames; ++i) out[i] = float(amplitude * std::sin(2.0 * M_PI * f * i / kRate));
        return out;
    }
};

std::vector<float> drain_peaks(PlanarRingBuffer* peaks, uint32_t plane) {
    uint32_t count = 0;
    std::vector<uint8_t*> planes(peaks->planeCount);
    planar_ring_buffer_get_read(peaks, &count, planes.data());
    const auto* values = reinterpret_cast<const float*>(planes.at(plane));
    return std::vector<float>(values, values + count);
}

TEST(AudioMonitor, OpensTheDefaultDeviceWithTheStreamsChannelCount) {
    {
        // Automatic backend order, as the player connects.
        SoundIo* context = soundio_create();
        ASSERT_NE(context, nullptr);
        {
            AudioMonitor monitor(context);
            monitor.openStream();
            EXPECT_EQ(monitor.errorText(), QString());
            EXPECT_EQ(monitor.streamReady(), 1);
            EXPECT_NE(monitor.deviceName(), QStringLiteral("Undefined"));
            const uint32_t channels = monitor.outputChannels();
            EXPECT_TRUE(channels == 1 || channels == 2 || channels == 6 || channels == 8) << channels;
        }
        soundio_destroy(context);
    }

    DummyContext dummy;
    AudioMonitor monitor(dummy.context);
    monitor.openStream();
    EXPECT_EQ(monitor.errorText(), QString());
    EXPECT_EQ(monitor.streamReady(), 1);
    EXPECT_EQ(monitor.deviceName(), QStringLiteral("Dummy Output Device"));
    EXPECT_EQ(monitor.outputLayout(), uint32_t(NAudioChannelLayout_Stereo));
    EXPECT_EQ(monitor.outputChannels(), 2u);

    const struct {
        uint32_t channels;
        uint32_t layout;
    } devices[] = {{1, NAudioChannelLayout_Mono}, {6, NAudioChannelLayout_5_1}, {8, NAudioChannelLayout_7_1}};
    for (const auto& device : devices) {
        monitor.clearErrorText();
        monitor.setRequestedDeviceChannels(device.channels);
        monitor.reopenDefaultDevice();
        EXPECT_EQ(monitor.errorText(), QString()) << device.channels;
        EXPECT_EQ(monitor.streamReady(), 1);
        EXPECT_EQ(monitor.outputLayout(), device.layout);
    }

    // Four channels cannot be fed: the stream is refused and nothing runs.
    monitor.clearErrorText();
    monitor.setRequestedDeviceChannels(4);
    monitor.reopenDefaultDevice();
    EXPECT_EQ(monitor.errorText(), QStringLiteral("Unsupported Output Channel Count : 4"));
    EXPECT_EQ(monitor.streamReady(), 0);
    monitor.restartPlay();
    monitor.start();
    EXPECT_FALSE(monitor.isMixingRunning());
    EXPECT_FALSE(monitor.mixStep());

    AudioMonitor orphan(nullptr);
    EXPECT_EQ(orphan.errorText(), QStringLiteral("Invalid soundio"));
    EXPECT_EQ(orphan.deviceName(), QStringLiteral("Undefined"));
    orphan.openStream();
    EXPECT_EQ(orphan.errorText(), QStringLiteral("No valid audio device"));

    SoundIoNotifier notifier;
    int changes = 0;
    QObject::connect(&notifier, &SoundIoNotifier::device_changed, [&] { ++changes; });
    notifier.notifyDeviceChanged();
    EXPECT_EQ(changes, 1);
}

TEST(AudioMonitor, WavToneComesOutAtItsFrequencyLevelChannelAndPosition) {
    Player player;
    player.monitor->openStream();
    player.addWav("play_marker_44k.wav", NAudioChannelLayout_Stereo);

    // From 2.4 s: the impulse of 2.5 s is 0.1 s after the latency fill.
    player.stop();
    player.buffer->seek(2.4, 0);
    player.capture.reset();
    player.monitor->restartPlay();
    const auto started = std::chrono::steady_clock::now();
    player.monitor->start();
    // Wait for one second of output, however loaded the machine is (bounded wait).
    wait_until([&] { return player.capture.framesSeen() >= uint64_t(kRate); });
    // Counted before the clock is read, so a stall between the two cannot make the
    // device look faster than real time.
    const double played = double(player.capture.framesSeen());
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    player.stop();
    // The device takes frames at its own pace: never faster than real time.
    EXPECT_GE(played, kRate);
    EXPECT_LE(played, 1.1 * elapsed * kRate + 4096);

    ASSERT_EQ(player.capture.channels(), 2u);
    const std::vector<float> left = player.capture.channel(0);
    const std::vector<float> right = player.capture.channel(1);
    ASSERT_GE(left.size(), 40000u);
    EXPECT_EQ(peak_level(left, 0, kLatency), 0.0f);
    EXPECT_NEAR(tone_frequency(left, kLatency + 200, left.size(), kRate), 1000.0, 1.0);
    EXPECT_NEAR(peak_level(left, kLatency + 200, left.size()), 0.5f, 0.01f);
    EXPECT_NEAR(double(index_of_peak(right, 0, right.size())), double(kLatency + 4800), 1.0);
    EXPECT_LT(peak_level(right, kLatency + 5000, right.size()), 0.01f);

    // The first peaks the meters would read: the left tone's 0.5.
    const std::vector<float> peaks = drain_peaks(player.monitor->peakRing(), 0);
    ASSERT_FALSE(peaks.empty());
    for (float peak : peaks) EXPECT_NEAR(peak, 0.5f, 0.001f);
}

TEST(AudioMonitor, SeeksReverseAndSpeedTwoPlayTheRightSamples) {
    Player player;
    player.monitor->openStream();
    player.addWav("play_steps_48k.wav", NAudioChannelLayout_Stereo);
    const std::vector<float> sourceRight = read_raw_s16_channel(fixture_path("play_steps_48k.raw"), 2, 1);
    const float impulse = sourceRight[120000];

    // Forward from 2.2 s: second 2's 1500 Hz tone, the impulse 0.3 s in, unaltered.
    player.play(2.2, kLatency + 16000);
    std::vector<float> left = player.capture.channel(0);
    std::vector<float> right = player.capture.channel(1);
    EXPECT_NEAR(tone_frequency(left, kLatency + 100, kLatency + 14000, kRate), 1500.0, 1.0);
    EXPECT_EQ(index_of_peak(right, 0, right.size()), kLatency + 14400);
    EXPECT_EQ(right.at(kLatency + 14400), impulse);

    // Backwards from 2.6 s: the impulse 0.1 s in.
    player.buffer->setPlaySpeed(-1);
    player.play(2.6, kLatency + 6000);
    left = player.capture.channel(0);
    right = player.capture.channel(1);
    EXPECT_NEAR(tone_frequency(left, kLatency + 100, kLatency + 4700, kRate), 1500.0, 1.0);
    EXPECT_EQ(index_of_peak(right, 0, right.size()), kLatency + 4800);

    // Double speed from 2.0 s: 3000 Hz, the impulse (averaged with its neighbour) 0.25 s in.
    player.buffer->setPlaySpeed(2);
    player.play(2.0, kLatency + 13000);
    left = player.capture.channel(0);
    right = player.capture.channel(1);
    EXPECT_NEAR(tone_frequency(left, kLatency + 100, kLatency + 11900, kRate), 3000.0, 1.0);
    EXPECT_EQ(index_of_peak(right, 0, right.size()), kLatency + 12000);
    EXPECT_NEAR(right.at(kLatency + 12000), impulse / 2.0f, 1e-6f);
}

// The first five seconds heard after a seek, from a movie's noise track: the second
// the seek fills and the four the fill job adds while the device plays follow each
// other with nothing between them, and they are the serial refill's samples.
TEST(AudioMonitor, TheFirstFiveSecondsAfterASeekAreTheSerialRefillWithoutAGap) {
    OpenedMovie movie(fixture_path("refill_noise_44k.mov"));
    OpenedMovie second(fixture_path("refill_noise_44k.mov"));
    ASSERT_EQ(movie.movie.audioTrackCount, 1u);
    const auto mask_of = [](uint32_t, uint32_t c, uint32_t) { return uint64_t(1) << c; };
    const uint32_t heard = 5 * 48000;
    Player player(0, kLatency + heard);
    player.monitor->openStream();
    AudioSrcTrack* track = movie.track(0, mask_of);
    player.tracks.addTrack(track);
    player.tracks.setOutputLayout(NAudioChannelLayout_Stereo);
    player.buffer->setTracks(&player.tracks);
    ASSERT_EQ(player.buffer->readyFlag(), 1);
    player.buffer->setLoop(1);
    player.monitor->setLayout(player.buffer->sourceRing(), player.buffer->outputLayout(), player.buffer->directFlag());

    player.play(4.3, kLatency + heard);  // through the loop point of the 7 s track
    player.stop();
    std::unique_ptr<AudioSrcTrack> reader(second.track(0, mask_of));
    const Planes expected = serial_reference({track}, {reader.get()}, 2, 4.3, 5);
    ASSERT_EQ(player.capture.channels(), 2u);
    for (uint32_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const std::vector<float> out = player.capture.channel(c);
        ASSERT_EQ(out.size(), kLatency + heard);
        EXPECT_EQ(peak_level(out, 0, kLatency), 0.0f);
        const std::vector<float> played(out.begin() + kLatency, out.end());
        size_t wrong = 0;
        for (size_t i = 0; i < heard; ++i)
            if (std::memcmp(&played[i], &expected[c][i], sizeof(float)) != 0) ++wrong;
        EXPECT_EQ(wrong, 0u);
        // No stretch of silence anywhere, the seams between seconds included.
        for (uint32_t second = 0; second + 1 < 5; ++second)
            EXPECT_GT(peak_level(played, second * 48000 + 47000, second * 48000 + 49000), 0.01f) << second;
    }
}

TEST(AudioMonitor, GainAndMute) {
    Player player;
    player.monitor->openStream();
    player.monitor->setGainDb(-6.0f);
    EXPECT_NEAR(player.monitor->gain(), 0.501187f, 1e-6f);
    player.monitor->mute();
    EXPECT_TRUE(player.monitor->isMuted());
    player.monitor->setGainDb(0.0f);
    EXPECT_EQ(player.monitor->gain(), 1.0f);
    EXPECT_FALSE(player.monitor->isMuted());

    player.addWav("play_mono_1000_48k.wav", NAudioChannelLayout_Mono);
    player.monitor->setGainDb(-6.0f);
    player.play(0.0, kLatency + 9600);
    std::vector<float> left = player.capture.channel(0);
    EXPECT_NEAR(peak_level(left, kLatency, left.size()), 0.5f * 0.501187f, 0.002f);
    EXPECT_EQ(player.capture.channel(1), left);  // mono on both sides of a stereo device

    // Muted while playing: once the frames mixed before are out, only zeros.
    const uint64_t before = player.capture.frames();
    player.monitor->mute();
    EXPECT_TRUE(wait_until([&] { return player.capture.frames() >= before + 9600; }));
    left = player.capture.channel(0);
    EXPECT_EQ(peak_level(left, before + 4800, left.size()), 0.0f);

    // A restart keeps the mute; the next gain change lifts it.
    player.play(0.0, kLatency + 4800);
    EXPECT_EQ(peak_level(player.capture.channel(0), 0, 5 * 48000), 0.0f);
    player.monitor->setGainDb(0.0f);
    player.play(0.0, kLatency + 4800);
    EXPECT_NEAR(peak_level(player.capture.channel(0), 0, 5 * 48000), 0.5f, 0.002f);
}

TEST(AudioMonitor, DownmixMuteSoloAndMeters) {
    Player player;
    player.monitor->openStream();
    HandRing surround(player, 6);
    const uint32_t frames = 12000;
    const std::vector<float> tone = surround.expected(1000.0, 0.5, frames);
    player.monitor->setLayout(&surround.ring, NAudioChannelLayout_5_1, 1);

    const auto playHand = [&](HandRing& ring, const std::vector<double>& tones, size_t wanted) {
        player.stop();
        ring.fill(tones, 0.5, frames);
        player.capture.reset();
        player.monitor->restartPlay();
        player.monitor->start();
        EXPECT_TRUE(wait_until([&] { return player.capture.frames() >= wanted; }));
    };

    // Centre only on a stereo device: -3 dB on both sides.
    playHand(surround, {0, 0, 1000.0}, kLatency + frames);
    std::vector<float> left = player.capture.channel(0);
    std::vector<float> right = player.capture.channel(1);
    size_t wrong = 0;
    for (size_t i = 0; i < frames; ++i) {
        const float expected = kAudioDownmixMinus3dB * tone[i];
        if (left[kLatency + i] != expected || right[kLatency + i] != expected) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    std::vector<float> peaks = drain_peaks(player.monitor->peakRing(), 2);
    ASSERT_FALSE(peaks.empty());
    EXPECT_NEAR(peaks[0], 0.5f, 0.001f);

    // Every channel muted: zeros on the device, yet the meters still move, except for
    // channels muted on the meters too.
    player.monitor->setMuteMask(0x3F);
    player.monitor->setMeterMuteMask(1u << 3);
    playHand(surround, {0, 0, 1000.0, 1000.0}, kLatency + frames);
    EXPECT_EQ(peak_level(player.capture.channel(0), 0, 5 * 48000), 0.0f);
    EXPECT_EQ(peak_level(player.capture.channel(1), 0, 5 * 48000), 0.0f);
    peaks = drain_peaks(player.monitor->peakRing(), 2);
    ASSERT_FALSE(peaks.empty());
    EXPECT_NEAR(peaks[0], 0.5f, 0.001f);
    for (float peak : drain_peaks(player.monitor->peakRing(), 3)) EXPECT_EQ(peak, 0.0f);
    player.monitor->setMeterMuteMask(0);

    // Stereo source: soloing R mutes L, muting R leaves L.
    player.stop();
    HandRing stereo(player, 2);
    player.monitor->setLayout(&stereo.ring, NAudioChannelLayout_Stereo, 1);
    player.monitor->setMuteMask(1u << 0);
    playHand(stereo, {1000.0, 1500.0}, kLatency + frames);
    EXPECT_EQ(peak_level(player.capture.channel(0), 0, 5 * 48000), 0.0f);
    right = player.capture.channel(1);
    EXPECT_NEAR(tone_frequency(right, kLatency, kLatency + frames, kRate), 1500.0, 1.0);
    player.monitor->setMuteMask(1u << 1);
    playHand(stereo, {1000.0, 1500.0}, kLatency + frames);
    EXPECT_EQ(peak_level(player.capture.channel(1), 0, 5 * 48000), 0.0f);
    left = player.capture.channel(0);
    EXPECT_NEAR(tone_frequency(left, kLatency, kLatency + frames, kRate), 1000.0, 1.0);
    EXPECT_EQ(std::vector<float>(left.begin() + kLatency, left.begin() + kLatency + frames), tone);
}

TEST(AudioMonitor, SeekPreviewPlaysOneFrameBudgetAndSignalsOnce) {
    Player player;
    player.monitor->openStream();
    player.addWav("play_steps_48k.wav", NAudioChannelLayout_Stereo);
    const std::vector<float> sourceLeft = read_raw_s16_channel(fixture_path("play_steps_48k.raw"), 2, 0);
    std::atomic<int> ends{0};
    QObject::connect(player.monitor.get(), &AudioMonitor::act_notif_end_audio_seek, [&] { ends.fetch_add(1); });

    const struct {
        float frameSeconds;
        uint64_t budget;
    } previews[] = {{1.0f / 25.0f, 1920}, {1.0f / 24.0f, 2000}, {0.0f, 480}, {-1.0f, 480}};
    for (const auto& preview : previews) {
        SCOPED_TRACE(preview.frameSeconds);
        player.stop();
        ends.store(0);
        player.buffer->seek(2.2, 1);
        EXPECT_FALSE(player.buffer->isFillTaskRunning());
        player.capture.reset();
        player.monitor->seekPreview(preview.frameSeconds);
        player.monitor->start();
        ASSERT_TRUE(wait_until([&] { return ends.load() > 0; }));
        EXPECT_TRUE(wait_until([&] { return player.capture.framesSeen() >= preview.budget; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(ends.load(), 1);
        EXPECT_EQ(player.capture.framesSeen(), preview.budget);
        EXPECT_FALSE(player.monitor->isMixingRunning());
        const std::vector<float> left = player.capture.channel(0);
        EXPECT_TRUE(std::equal(left.begin(), left.end(), sourceLeft.begin() + 105600));
    }
}

TEST(AudioMonitor, RestartsStartsAndPausesInAnyOrderNeverAbort) {
    Player player;
    player.monitor->openStream();
    player.buffer->setLoop(1);
    player.addWav("play_mono_1000_48k.wav", NAudioChannelLayout_Mono);
    player.buffer->seek(0.0, 0);  // the fill job runs through all of it
    for (int i = 0; i < 200; ++i) {
        player.monitor->restartPlay();
        player.monitor->start();
        player.monitor->pause();
        player.monitor->restartPlay();
        player.monitor->start();
        player.monitor->seekPreview(0.04f);
        player.monitor->restartPlay();  // no pause in between
    }
    EXPECT_TRUE(player.buffer->isFillTaskRunning());
    player.capture.reset();
    player.monitor->start();
    EXPECT_TRUE(wait_until([&] { return player.capture.frames() >= 9600; }));
    const std::vector<float> out = player.capture.channel(0);
    EXPECT_NEAR(tone_frequency(out, 0, out.size(), kRate), 1000.0, 1.0);
}

// A device change to fewer (or more) channels while a 5.1 layout is bound and
// playing: the converter follows the new device and output goes on.
TEST(AudioMonitor, ReopenedDeviceGetsItsOwnLayout) {
    Player player(6);
    ASSERT_EQ(player.monitor->outputChannels(), 6u);
    HandRing surround(player, 6);
    const uint32_t frames = 24000;
    const std::vector<float> tone = surround.expected(1000.0, 0.5, frames);
    player.monitor->setLayout(&surround.ring, NAudioChannelLayout_5_1, 1);
    surround.fill({0, 0, 1000.0}, 0.5, frames);
    player.monitor->restartPlay();
    player.monitor->start();
    ASSERT_TRUE(wait_until([&] { return player.capture.frames() >= kLatency + 4800; }));
    EXPECT_EQ(player.capture.channels(), 6u);
    EXPECT_NEAR(peak_level(player.capture.channel(2), 0, 5 * 48000), 0.5f, 1e-6f);
    EXPECT_EQ(peak_level(player.capture.channel(0), 0, 5 * 48000), 0.0f);

    const struct {
        uint32_t channels;
        float centreGain;  // how the centre reaches output channel 0
        uint32_t centrePlane;
    } devices[] = {{2, kAudioDownmixMinus3dB, 0}, {1, kAudioDownmixTwiceMinus3dB, 0}, {8, 1.0f, 2}, {6, 1.0f, 2}};
    for (const auto& device : devices) {
        SCOPED_TRACE(device.channels);
        // Reopened while the mixing job and the stream are running.
        player.monitor->setRequestedDeviceChannels(device.channels);
        player.monitor->reopenDefaultDevice();
        ASSERT_EQ(player.monitor->errorText(), QString());
        ASSERT_EQ(player.monitor->outputChannels(), device.channels);
        surround.fill({0, 0, 1000.0}, 0.5, frames);
        player.capture.reset();
        player.monitor->restartPlay();
        player.monitor->start();
        ASSERT_TRUE(wait_until([&] { return player.capture.frames() >= kLatency + 4800; }));
        EXPECT_EQ(player.capture.channels(), device.channels);
        const std::vector<float> out = player.capture.channel(device.centrePlane);
        size_t wrong = 0;
        for (size_t i = 0; i < 4800; ++i)
            if (out[kLatency + i] != device.centreGain * tone[i]) ++wrong;
        EXPECT_EQ(wrong, 0u);
    }
}

// The write path against a fake device: the device's minimum is always met, only
// frames that reached the device leave the ring, and a device with fewer or more
// channels than the ring is written within its own areas.
struct FakeDevice {
    uint32_t channels = 2;
    int grantLimit = 1 << 30;  // frames per begin_write
    int grants = 1 << 30;      // successful begin_write calls before it grants nothing
    int failAt = -1;           // begin_write call that fails
    int calls = 0;
    std::vector<float> samples;  // interleaved
    std::vector<SoundIoChannelArea> areas;
    size_t written = 0;

    explicit FakeDevice(uint32_t channelCount) : channels(channelCount), areas(channelCount) {
        samples.assign(size_t(channelCount) * 8192, -7.0f);
    }
    AudioDeviceWriter writer() {
        AudioDeviceWriter w;
        w.stream = this;
        w.channels = channels;
        w.beginWrite = [](void* s, SoundIoChannelArea** a, int* frames) {
            auto* d = static_cast<FakeDevice*>(s);
            const int call = d->calls++;
            if (call == d->failAt) return int(SoundIoErrorStreaming);
            if (call >= d->grants) {
                *frames = 0;
            } else {
                *frames = std::min(*frames, d->grantLimit);
            }
            for (uint32_t c = 0; c < d->channels; ++c) {
                d->areas[c].ptr = reinterpret_cast<char*>(d->samples.data() + d->written * d->channels + c);
                d->areas[c].step = int(d->channels * sizeof(float));
            }
            *a = d->areas.data();
            d->pending = *frames;
            return 0;
        };
        w.endWrite = [](void* s) {
            auto* d = static_cast<FakeDevice*>(s);
            d->written += size_t(d->pending);
            return 0;
        };
        w.errorText = &soundio_strerror;
        return w;
    }
    float at(size_t frame, uint32_t channel) const { return samples[frame * channels + channel]; }
    int pending = 0;
};

TEST(AudioOutputWrite, HonoursTheDeviceContract) {
    DummyContext dummy;
    AudioOutputData data;
    PlanarRingBuffer ring;
    planar_ring_buffer_init(&ring);
    planar_ring_buffer_create(dummy.context, &ring, 2, 48000, 4096, 4);
    data.ring = &ring;
    uint32_t next = 0;
    const auto push = [&](uint32_t frames) {
        uint32_t room = 0;
        uint8_t* planes[2];
        planar_ring_buffer_get_write(&ring, &room, planes);
        ASSERT_GE(room, frames);
        for (uint32_t i = 0; i < frames; ++i) {
            reinterpret_cast<float*>(planes[0])[i] = float(next + i);
            reinterpret_cast<float*>(planes[1])[i] = -float(next + i);
        }
        next += frames;
        planar_ring_buffer_advance_write(&ring, frames);
    };
    const auto held = [&] {
        uint32_t frames = 0;
        uint8_t* planes[2];
        planar_ring_buffer_get_read(&ring, &frames, planes);
        return frames;
    };

    {  // Small grants: several begin/end pairs, every frame in order.
        push(1000);
        FakeDevice device(2);
        device.grantLimit = 300;
        AudioOutputCapture tap(4096);
        data.tap.store(&tap);
        EXPECT_EQ(audio_output_write(&data, device.writer(), 0, 1024), 1000u);
        data.tap.store(nullptr);
        EXPECT_EQ(device.calls, 4);
        EXPECT_EQ(device.written, 1000u);
        EXPECT_EQ(device.at(999, 0), 999.0f);
        EXPECT_EQ(device.at(999, 1), -999.0f);
        EXPECT_EQ(held(), 0u);
        EXPECT_EQ(tap.frames(), 1000u);
        EXPECT_EQ(tap.blocks(), 4u);
        EXPECT_EQ(tap.channel(1).at(500), -500.0f);
    }
    {  // The device stops granting, or fails: what it did not take stays in the ring.
        push(1000);
        FakeDevice device(2);
        device.grantLimit = 300;
        device.grants = 1;
        EXPECT_EQ(audio_output_write(&data, device.writer(), 0, 1024), 300u);
        EXPECT_EQ(held(), 700u);
        FakeDevice failing(2);
        failing.grantLimit = 300;
        failing.failAt = 1;
        EXPECT_EQ(audio_output_write(&data, failing.writer(), 0, 1024), 300u);
        EXPECT_EQ(held(), 400u);
        EXPECT_EQ(failing.at(0, 0), 1300.0f);  // continues where the last write stopped
        FakeDevice rest(2);
        EXPECT_EQ(audio_output_write(&data, rest.writer(), 0, 1024), 400u);
    }
    {  // Fewer frames than the device's minimum (the end of a step): they go out at
       // once, then silence up to the minimum, in one write.
        push(100);
        FakeDevice device(2);
        EXPECT_EQ(audio_output_write(&data, device.writer(), 256, 1024), 100u);
        EXPECT_EQ(device.calls, 1);
        EXPECT_EQ(device.written, 256u);
        EXPECT_EQ(device.at(99, 1), -2099.0f);
        EXPECT_EQ(device.at(100, 0), 0.0f);
        EXPECT_EQ(device.at(255, 0), 0.0f);
        EXPECT_EQ(held(), 0u);
        // Enough: the minimum is met from the ring.
        push(200);
        FakeDevice enough(2);
        EXPECT_EQ(audio_output_write(&data, enough.writer(), 128, 1024), 200u);
        EXPECT_EQ(enough.at(0, 0), 2100.0f);
        // An empty ring still owes the minimum; without one, nothing is written.
        FakeDevice empty(2);
        EXPECT_EQ(audio_output_write(&data, empty.writer(), 128, 1024), 0u);
        EXPECT_EQ(empty.written, 128u);
        FakeDevice idle(2);
        EXPECT_EQ(audio_output_write(&data, idle.writer(), 0, 1024), 0u);
        EXPECT_EQ(idle.calls, 0);
    }
    {  // A held consumer leaves the ring alone.
        push(500);
        audio_output_hold_consumer(&data);
        FakeDevice device(2);
        EXPECT_EQ(audio_output_write(&data, device.writer(), 64, 1024), 0u);
        EXPECT_EQ(device.written, 64u);
        EXPECT_EQ(device.at(0, 0), 0.0f);
        EXPECT_EQ(held(), 500u);
        audio_output_release_consumer(&data);
    }
    {  // Mono device from a stereo ring, and a four-channel one: within their areas.
        FakeDevice mono(1);
        EXPECT_EQ(audio_output_write(&data, mono.writer(), 0, 200), 200u);
        EXPECT_EQ(mono.at(199, 0), 2499.0f);
        EXPECT_EQ(mono.samples.at(200), -7.0f);
        FakeDevice quad(4);
        EXPECT_EQ(audio_output_write(&data, quad.writer(), 0, 1024), 300u);
        EXPECT_EQ(quad.at(0, 1), -2500.0f);
        EXPECT_EQ(quad.at(299, 3), 0.0f);
        EXPECT_EQ(quad.at(300, 0), -7.0f);
    }
    planar_ring_buffer_destroy(&ring);
}

}  // namespace

// A sound server that asked nothing for longer than a stall while its readings kept to
// the clock all along (it held that much of ours, as after a restart that wrote all it
// was granted) did not stall: no restart, which would only give it as much again. One
// whose readings stood still meanwhile (a stopped server) did, once it keeps to the
// clock again; so did one that answers nothing meanwhile and has caught up on the time
// it stood by its first answer (PulseAudio's null sink).
TEST(AudioOutputWrite, AQuietServerThatReadOnAtTheClocksPaceDidNotStall) {
    enum class Quiet { ReadsOn, StandsStill, CaughtUpAtOnce };
    for (const Quiet quiet : {Quiet::ReadsOn, Quiet::StandsStill, Quiet::CaughtUpAtOnce}) {
        const bool readsOn = quiet == Quiet::ReadsOn;
        SCOPED_TRACE(readsOn ? "read on through the quiet"
                             : quiet == Quiet::StandsStill ? "stood still through the quiet" : "caught up at once");
        AudioOutputData data;
        audio_output_begin_play(&data, true);
        const auto start = std::chrono::steady_clock::now();
        int64_t stoodUs = 0;  // how long the server stood still so far
        const auto reading = [&] {
            const int64_t us =
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
            audio_output_note_played(&data, (us - stoodUs) * 48000 / 1000000, 48000, OutputReading::Sampled, 0);
        };
        const auto wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
        for (int i = 0; i < 5; ++i) {
            audio_output_note_request(&data, true);
            reading();
            wait(20);
        }
        // 350 ms without a request.
        const auto quietFrom = std::chrono::steady_clock::now();
        for (int i = 0; i < 17; ++i) {
            wait(20);
            if (readsOn) reading();
        }
        if (quiet == Quiet::StandsStill)
            stoodUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - quietFrom)
                          .count();
        // A server that caught up answers the reading asked before its stall first.
        if (quiet == Quiet::CaughtUpAtOnce) reading();
        for (int i = 0; i < 5; ++i) {
            audio_output_note_request(&data, true);
            reading();
            wait(20);
        }
        EXPECT_EQ(data.stalled.load(), readsOn ? 0 : 1);
    }
}
