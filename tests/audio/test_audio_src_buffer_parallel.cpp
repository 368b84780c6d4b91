// A seek converts the channel-seconds of its refill in parallel, the first second on
// the caller's thread and the rest on the fill job. The source ring must then hold,
// bit for bit, what the serial path writes: the same seek with every parallel loop
// held to one thread, and the seconds converted one after the other with the plain
// format process, as a reader of the files would.
#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "audio/frequency_conversion.h"
#include "base/pcm/channel_layouts.h"
#include "audio/planar_ring_buffer.h"
#include "media/mov_file.h"
#include "platform/parallel_for.h"
#include "tests/support/audio_src_files.h"
#include "tests/support/test_movies.h"
#include "opened_movie.h"
#include "source_ring_checks.h"

using namespace testsupport;

namespace {

class AudioSrcBufferParallel : public testing::Test {
protected:
    static void SetUpTestSuite() { m_context = soundio_create(); }
    static void TearDownTestSuite() {
        soundio_destroy(m_context);
        m_context = nullptr;
    }
    void SetUp() override { ASSERT_NE(m_context, nullptr); }
    void TearDown() override { m_tracks.deleteAll(); }

    // The ring after seek(seconds, preview) on a fresh buffer with loop on, the
    // parallel loops held to `threads` threads (0: no limit).
    Planes ring_after_seek(double seconds, uint8_t preview, size_t threads) {
        std::unique_ptr<platform::ParallelismLimit> limit;
        if (threads) limit = std::make_unique<platform::ParallelismLimit>(threads);
        AudioSrcBuffer buffer(m_context);
        buffer.setTracks(&m_tracks);
        EXPECT_EQ(buffer.readyFlag(), 1);
        EXPECT_EQ(buffer.directFlag(), 1);
        buffer.setLoop(1);
        buffer.seek(seconds, preview);
        if (!preview) {
            EXPECT_TRUE(wait_for_full_ring(buffer));
        }
        buffer.stopFillTask();
        EXPECT_EQ(buffer.failedSteps(), 0u);
        return ring_planes(buffer.sourceRing());
    }

    static SoundIo* m_context;
    AllAudioSrcTracks m_tracks;
};
SoundIo* AudioSrcBufferParallel::m_context = nullptr;

TEST_F(AudioSrcBufferParallel, EightCompanionWavsRefillAndPreviewLikeTheSerialPath) {
    const char* suffixes[] = {"_L", "_R", "_C", "_LFE", "_Ls", "_Rs", "_Lrs", "_Rrs"};
    const int tones[] = {400, 600, 800, 1000, 1200, 1400, 400, 600};
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        paths.push_back(copy_fixture_as("play_tone_" + std::to_string(tones[i]) + "_44k.wav",
                                        std::string("parallel") + suffixes[i] + ".wav"));
        m_tracks.addTrack(new AudioSrcTrack(QString::fromStdString(paths.back())));
    }
    m_tracks.autoSelectLayout();
    ASSERT_EQ(m_tracks.outputLayout(), uint32_t(NAudioChannelLayout_7_1));

    // The refill against the seconds converted one after the other.
    const Planes parallel = ring_after_seek(0.3, 0, 0);
    ASSERT_EQ(parallel.size(), 8u);
    ASSERT_EQ(parallel[0].size(), 240000u);
    std::vector<AudioSrcTrack*> routed(m_tracks.tracks().begin(), m_tracks.tracks().end());
    std::vector<AudioSrcTrack*> readers;
    for (const std::string& path : paths) readers.push_back(new AudioSrcTrack(QString::fromStdString(path)));
    EXPECT_TRUE(same_bits(parallel, serial_reference(routed, readers, 8, 0.3, 5)));
    for (AudioSrcTrack* reader : readers) delete reader;

    // A preview step against the same step run on one thread.
    const Planes serialStep = ring_after_seek(1.7, 1, 1);
    const Planes parallelStep = ring_after_seek(1.7, 1, 0);
    ASSERT_EQ(serialStep[0].size(), 48000u);
    EXPECT_TRUE(same_bits(serialStep, parallelStep));
}

TEST_F(AudioSrcBufferParallel, MovieTracksRefillLikeTheSerialPath) {
    OpenedMovie movie(fixture_path("play_dual_44k.mov"));
    ASSERT_EQ(movie.movie.audioTrackCount, 2u);
    // Each track's channels on an output pair of their own.
    const auto mask_of = [](uint32_t track, uint32_t c, uint32_t) { return uint64_t(1) << (2 * track + c); };
    m_tracks.addTracks({movie.track(0, mask_of), movie.track(1, mask_of)});
    m_tracks.setOutputLayout(NAudioChannelLayout_DualStereo);

    const Planes parallel = ring_after_seek(0.4, 0, 0);
    ASSERT_EQ(parallel.size(), 4u);
    ASSERT_EQ(parallel[0].size(), 240000u);

    OpenedMovie second(fixture_path("play_dual_44k.mov"));
    std::vector<AudioSrcTrack*> routed(m_tracks.tracks().begin(), m_tracks.tracks().end());
    std::vector<AudioSrcTrack*> readers = {second.track(0, mask_of), second.track(1, mask_of)};
    EXPECT_TRUE(same_bits(parallel, serial_reference(routed, readers, 4, 0.4, 5)));
    for (AudioSrcTrack* reader : readers) delete reader;
}

// The eight mono noise files on the channels of 7.1, and a second reader of each.
struct NoiseWavs {
    std::vector<AudioSrcTrack*> routed;
    std::vector<AudioSrcTrack*> readers;
    explicit NoiseWavs(AllAudioSrcTracks& tracks) {
        const char* suffixes[] = {"_L", "_R", "_C", "_LFE", "_Ls", "_Rs", "_Lrs", "_Rrs"};
        for (int i = 0; i < 8; ++i) {
            const QString path = QString::fromStdString(copy_fixture_as(
                "refill_noise_" + std::to_string(i) + "_44k.wav", std::string("noise") + suffixes[i] + ".wav"));
            routed.push_back(new AudioSrcTrack(path));
            readers.push_back(new AudioSrcTrack(path));
            tracks.addTrack(routed.back());
        }
        tracks.autoSelectLayout();
    }
    ~NoiseWavs() {
        for (AudioSrcTrack* reader : readers) delete reader;
    }
    Planes reference(double seconds, uint32_t blocks, int speed) const {
        return serial_reference(routed, readers, 8, seconds, blocks, speed);
    }
};

// The first second is in the ring when the seek returns, and once the fill job has
// caught up the five seconds are the serial path's, with no second missing, repeated
// or out of place (every second of noise differs from every other); forwards, and
// backwards at double speed through the loop point of the 7 s files.
TEST_F(AudioSrcBufferParallel, TheFillJobCompletesASeekLikeTheSerialPath) {
    NoiseWavs wavs(m_tracks);
    ASSERT_EQ(m_tracks.outputLayout(), uint32_t(NAudioChannelLayout_7_1));
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    ASSERT_EQ(buffer.directFlag(), 1);
    buffer.setLoop(1);
    const struct {
        double seconds;
        int speed;
    } seeks[] = {{0.37, 1}, {1.2, -2}};
    for (const auto& seek : seeks) {
        SCOPED_TRACE(testing::Message() << seek.seconds << " s at speed " << seek.speed);
        buffer.setPlaySpeed(seek.speed);
        buffer.seek(seek.seconds, 0);
        const Planes expected = wavs.reference(seek.seconds, 5, seek.speed);
        const Planes first = ring_planes(buffer.sourceRing());  // the job may have added some
        ASSERT_GE(first[0].size(), 48000u);
        EXPECT_EQ(first[0].size() % 48000, 0u);
        EXPECT_TRUE(same_bits(first_frames(first, 48000), first_frames(expected, 48000)));
        ASSERT_TRUE(wait_for_full_ring(buffer));
        EXPECT_TRUE(buffer.isFillTaskRunning());
        buffer.stopFillTask();
        EXPECT_TRUE(same_bits(ring_planes(buffer.sourceRing()), expected));
    }
    EXPECT_EQ(buffer.failedSteps(), 0u);

    // A preview fills its own second and starts nothing.
    buffer.setPlaySpeed(1);
    buffer.seek(6.5, 1);
    EXPECT_FALSE(buffer.isFillTaskRunning());
    EXPECT_TRUE(same_bits(ring_planes(buffer.sourceRing()), wavs.reference(6.5, 1, 1)));
}

TEST_F(AudioSrcBufferParallel, TheFillJobCompletesAMovieTrackSeekLikeTheSerialPath) {
    OpenedMovie movie(fixture_path("refill_noise_44k.mov"));
    ASSERT_EQ(movie.movie.audioTrackCount, 1u);
    const auto mask_of = [](uint32_t, uint32_t c, uint32_t) { return uint64_t(1) << c; };
    m_tracks.addTrack(movie.track(0, mask_of));
    m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
    OpenedMovie second(fixture_path("refill_noise_44k.mov"));
    std::vector<AudioSrcTrack*> routed(m_tracks.tracks().begin(), m_tracks.tracks().end());
    std::unique_ptr<AudioSrcTrack> reader(second.track(0, mask_of));

    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    buffer.setLoop(1);
    const struct {
        double seconds;
        int speed;
    } seeks[] = {{0.45, 1}, {4.6, 1}, {3.3, 2}, {5.9, -1}};
    for (const auto& seek : seeks) {
        SCOPED_TRACE(testing::Message() << seek.seconds << " s at speed " << seek.speed);
        buffer.setPlaySpeed(seek.speed);
        buffer.seek(seek.seconds, 0);
        ASSERT_TRUE(wait_for_full_ring(buffer));
        buffer.stopFillTask();
        EXPECT_TRUE(same_bits(ring_planes(buffer.sourceRing()),
                              serial_reference(routed, {reader.get()}, 2, seek.seconds, 5, seek.speed)));
    }
}

// Seeks faster than the fill job catches up, and stops in the middle of it: what the
// ring holds afterwards is always a run of the latest seek's own seconds, never one
// read for an earlier position, and the next seek starts from where it says.
TEST_F(AudioSrcBufferParallel, ASeekOrAStopCancelsTheFillJobCleanly) {
    NoiseWavs wavs(m_tracks);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    buffer.setLoop(1);

    for (double seconds : {1.0, 1.5, 2.0, 2.5}) buffer.seek(seconds, 0);
    ASSERT_TRUE(wait_for_full_ring(buffer));
    buffer.stopFillTask();
    EXPECT_TRUE(same_bits(ring_planes(buffer.sourceRing()), wavs.reference(2.5, 5, 1)));

    // Stopped at once: whole seconds only, the first ones of this seek.
    buffer.seek(0.6, 0);
    buffer.stopFillTask();
    EXPECT_FALSE(buffer.isFillTaskRunning());
    const Planes stopped = ring_planes(buffer.sourceRing());
    ASSERT_GE(stopped[0].size(), 48000u);
    EXPECT_EQ(stopped[0].size() % 48000, 0u);
    EXPECT_TRUE(same_bits(stopped, wavs.reference(0.6, uint32_t(stopped[0].size() / 48000), 1)));

    // A preview, then a speed change, each cutting into a running job.
    buffer.seek(3.1, 0);
    buffer.seek(4.1, 1);
    EXPECT_TRUE(same_bits(ring_planes(buffer.sourceRing()), wavs.reference(4.1, 1, 1)));
    buffer.seek(0.2, 0);
    buffer.setPlaySpeed(-2);
    EXPECT_FALSE(buffer.isFillTaskRunning());
    buffer.seek(6.8, 0);
    ASSERT_TRUE(wait_for_full_ring(buffer));
    buffer.stopFillTask();
    // The first two seconds tell where the tracks were sent (the rest costs time only).
    EXPECT_TRUE(same_bits(first_frames(ring_planes(buffer.sourceRing()), 96000), wavs.reference(6.8, 2, -2)));
    EXPECT_EQ(buffer.failedSteps(), 0u);
}

// Lets the first `free` conversions through and holds every later one until opened:
// with the seek's own conversions let through, it holds the fill job in the middle of
// a step. Opened (and the plain converter back) when it goes.
class ConverterGate {
public:
    explicit ConverterGate(int free) {
        State& s = state();
        s.free = free;
        s.calls = 0;
        s.held = 0;
        s.open = false;
        audio_process_converter = &convert;
    }
    ~ConverterGate() {
        open();
        audio_process_converter = src_simple;
    }
    int held() {
        std::lock_guard<std::mutex> guard(state().lock);
        return state().held;
    }
    void open() {
        {
            std::lock_guard<std::mutex> guard(state().lock);
            state().open = true;
        }
        state().wake.notify_all();
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable wake;
        int free = 0;
        int calls = 0;
        int held = 0;
        bool open = false;
    };
    static State& state() {
        static State shared;
        return shared;
    }
    static int convert(SRC_DATA* data, int type, int channels) {
        State& s = state();
        {
            std::unique_lock<std::mutex> lock(s.lock);
            if (s.calls++ >= s.free) {
                ++s.held;
                s.wake.wait(lock, [&s] { return s.open; });
            }
        }
        return src_simple(data, type, channels);
    }
};

// A stop that comes while the fill job is converting: the conversions already running
// finish, none other starts, and the ring keeps only the seek's own second.
TEST_F(AudioSrcBufferParallel, AStopInTheMiddleOfAStepAdvancesNothing) {
    NoiseWavs wavs(m_tracks);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    buffer.setLoop(1);
    {
        ConverterGate gate(8);  // the eight channels of the seek's second
        buffer.seek(2.9, 0);
        ASSERT_TRUE(wait_until([&] { return gate.held() > 0; }));
        std::thread stopper([&] { buffer.stopFillTask(); });
        EXPECT_TRUE(wait_until([&] { return !buffer.isFillTaskRunning(); }));
        gate.open();
        stopper.join();
    }
    EXPECT_TRUE(same_bits(ring_planes(buffer.sourceRing()), wavs.reference(2.9, 1, 1)));
    EXPECT_EQ(buffer.failedSteps(), 0u);
}

// A second whose conversion fails plays silence, and every track has still been read
// for it: the tracks stay in step instead of the later ones falling a second behind.
TEST_F(AudioSrcBufferParallel, FailedConversionsKeepTheTracksInStep) {
    auto* left = new AudioSrcTrack(QString::fromStdString(copy_fixture_as("play_tone_400_44k.wav", "step_L.wav")));
    auto* right = new AudioSrcTrack(QString::fromStdString(copy_fixture_as("play_tone_600_44k.wav", "step_R.wav")));
    m_tracks.addTracks({left, right});
    m_tracks.autoSelectLayout();
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    ASSERT_EQ(buffer.routedTrackCount(), 2u);
    buffer.setLoop(1);
    audio_process_converter = [](SRC_DATA*, int, int) { return 1; };
    buffer.seek(0.5, 0);
    EXPECT_TRUE(wait_until([&] { return buffer.failedSteps() == 5u && readable(buffer.sourceRing()) == 240000u; }));
    buffer.stopFillTask();
    audio_process_converter = src_simple;
    EXPECT_EQ(buffer.failedSteps(), 5u);
    EXPECT_EQ(left->position(), uint64_t(1.5 * 44100));  // 0.5 s + 5 s, looped over the 2 s file
    EXPECT_EQ(right->position(), left->position());
    for (const std::vector<float>& plane : ring_planes(buffer.sourceRing())) {
        ASSERT_EQ(plane.size(), 240000u);
        EXPECT_EQ(*std::max_element(plane.begin(), plane.end()), 0.0f);
        EXPECT_EQ(*std::min_element(plane.begin(), plane.end()), 0.0f);
    }
}

}  // namespace
