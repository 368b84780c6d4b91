#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "base/pcm/channel_layouts.h"
#include "audio/frequency_conversion.h"
#include "audio/planar_ring_buffer.h"
#include "media/mov_file.h"
#include "tests/support/audio_signal_analysis.h"
#include "tests/support/audio_src_files.h"
#include "tests/support/test_movies.h"
#include "opened_movie.h"
#include "source_ring_checks.h"

using namespace testsupport;

namespace {

constexpr double kRate = 48000.0;

QString fixture(const std::string& name) { return QString::fromStdString(fixture_path(name)); }

// Rings need a library context (it sets their page size); no backend is needed.
class AudioSrcBufferTest : public testing::Test {
protected:
    static void SetUpTestSuite() { m_context = soundio_create(); }
    static void TearDownTestSuite() {
        soundio_destroy(m_context);
        m_context = nullptr;
    }
    void SetUp() override { ASSERT_NE(m_context, nullptr); }
    void TearDown() override { m_tracks.deleteAll(); }

    AudioSrcTrack* add(const QString& path) {
        auto* track = new AudioSrcTrack(path);
        EXPECT_EQ(track->errorText(), QString());
        m_tracks.addTrack(track);
        return track;
    }

    static SoundIo* m_context;
    AllAudioSrcTracks m_tracks;
};
SoundIo* AudioSrcBufferTest::m_context = nullptr;

// The first `frames` frames of one ring plane, left in the ring.
std::vector<float> ring_plane(PlanarRingBuffer* ring, uint32_t plane, uint32_t frames) {
    uint32_t available = 0;
    std::vector<uint8_t*> planes(ring->planeCount);
    planar_ring_buffer_get_read(ring, &available, planes.data());
    const auto* samples = reinterpret_cast<const float*>(planes.at(plane));
    return std::vector<float>(samples, samples + std::min(frames, available));
}

// What a track's file holds as floats, read by a second reader of the same file.
std::vector<float> decoded_s16_mono(const QString& path, uint32_t frames) {
    AudioSrcTrack reader(path);
    std::vector<int16_t> raw(frames);
    reader.readForward(raw.data(), 0, frames, false);
    std::vector<float> out(frames);
    for (uint32_t i = 0; i < frames; ++i) out[i] = float(raw[i]) / 32768.0f;
    return out;
}

int failing_converter(SRC_DATA*, int, int) { return 1; }

struct ConverterOverride {
    explicit ConverterOverride(AudioSampleRateConverter replacement) { audio_process_converter = replacement; }
    ~ConverterOverride() { audio_process_converter = src_simple; }
};

TEST_F(AudioSrcBufferTest, RoutingIsDirectOnlyForOneToOneMasks) {
    const QString a = fixture("play_mono_1000_48k.wav");
    const QString b = fixture("play_mono_1500_48k.wav");
    const std::vector<float> sourceA = decoded_s16_mono(a, 48000);
    const std::vector<float> sourceB = decoded_s16_mono(b, 48000);
    {
        // One mono source on both sides: the mixer copies it into both planes.
        AudioSrcTrack* only = add(a);
        only->setChannelMapping(3, 0);
        m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
        AudioSrcBuffer buffer(m_context);
        buffer.setTracks(&m_tracks);
        ASSERT_EQ(buffer.readyFlag(), 1);
        EXPECT_EQ(buffer.directFlag(), 0);
        buffer.seek(0.0, 1);
        ASSERT_EQ(readable(buffer.sourceRing()), 48000u);
        EXPECT_EQ(ring_plane(buffer.sourceRing(), 0, 48000), sourceA);
        EXPECT_EQ(ring_plane(buffer.sourceRing(), 1, 48000), sourceA);
    }
    m_tracks.deleteAll();
    {
        // Masks 1 and 2: each source straight into its own plane.
        add(a)->setChannelMapping(1, 0);
        add(b)->setChannelMapping(2, 0);
        m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
        AudioSrcBuffer buffer(m_context);
        buffer.setTracks(&m_tracks);
        ASSERT_EQ(buffer.readyFlag(), 1);
        EXPECT_EQ(buffer.directFlag(), 1);
        buffer.seek(0.0, 1);
        EXPECT_EQ(ring_plane(buffer.sourceRing(), 0, 48000), sourceA);
        EXPECT_EQ(ring_plane(buffer.sourceRing(), 1, 48000), sourceB);

        // A 5.1 layout: the four outputs nothing feeds are silence, not stale memory.
        m_tracks.setOutputLayout(NAudioChannelLayout_5_1);
        buffer.setTracks(&m_tracks);
        ASSERT_EQ(buffer.readyFlag(), 1);
        EXPECT_EQ(buffer.outputChannels(), 6u);
        buffer.seek(0.0, 1);
        for (uint32_t plane = 2; plane < 6; ++plane)
            EXPECT_EQ(peak_level(ring_plane(buffer.sourceRing(), plane, 48000), 0, 48000), 0.0f) << plane;
        EXPECT_EQ(ring_plane(buffer.sourceRing(), 1, 48000), sourceB);

        // Nothing routed, or a layout the player does not know: not ready.
        m_tracks.tracks()[0]->setChannelMapping(0, 0);
        m_tracks.tracks()[1]->setChannelMapping(0, 0);
        buffer.setTracks(&m_tracks);
        EXPECT_EQ(buffer.readyFlag(), 0);
        EXPECT_EQ(buffer.routedTrackCount(), 0u);
        m_tracks.tracks()[0]->setChannelMapping(1, 0);
        m_tracks.setOutputLayout(9);
        buffer.setTracks(&m_tracks);
        EXPECT_EQ(buffer.readyFlag(), 0);
        buffer.seek(0.0, 0);
        EXPECT_FALSE(buffer.isFillTaskRunning());
    }
}

TEST_F(AudioSrcBufferTest, ResampledSourceMatchesFFmpegAndKeepsPositions) {
    add(fixture("play_marker_44k.wav"));
    m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    ASSERT_EQ(buffer.readyFlag(), 1);
    ASSERT_EQ(buffer.directFlag(), 1);

    buffer.seek(0.0, 0);
    EXPECT_TRUE(buffer.isFillTaskRunning());
    EXPECT_TRUE(wait_for_full_ring(buffer));
    buffer.stopFillTask();
    EXPECT_FALSE(buffer.isFillTaskRunning());
    ASSERT_EQ(readable(buffer.sourceRing()), 240000u);
    const std::vector<float> tone = ring_plane(buffer.sourceRing(), 0, 240000);
    const std::vector<float> marker = ring_plane(buffer.sourceRing(), 1, 240000);
    EXPECT_NEAR(tone_frequency(tone, 0, tone.size(), kRate), 1000.0, 0.5);
    EXPECT_NEAR(peak_level(tone, 1000, 239000), 0.5f, 0.01f);
    const std::vector<float> reference = read_raw_f32_channel(fixture_path("play_marker_44k.f32"), 2, 0);
    EXPECT_LT(rms_difference_db(tone, reference, 1000, 239000), -50.0);
    // The impulse at 2.5 s of the 44.1 kHz file is sample 120000 at 48 kHz.
    EXPECT_NEAR(double(index_of_peak(marker, 0, marker.size())), 120000.0, 1.0);

    // A preview fills one second and starts no job; the marker is then sample 0.
    buffer.seek(2.5, 1);
    EXPECT_FALSE(buffer.isFillTaskRunning());
    ASSERT_EQ(readable(buffer.sourceRing()), 48000u);
    const std::vector<float> afterSeek = ring_plane(buffer.sourceRing(), 1, 48000);
    EXPECT_LE(index_of_peak(afterSeek, 0, afterSeek.size()), 1u);
    EXPECT_GT(peak_level(afterSeek, 0, 2), 0.5f);
}

TEST_F(AudioSrcBufferTest, SpeedTwoAndReverseReadTheRightSamples) {
    add(fixture("play_steps_48k.wav"));
    m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    ASSERT_EQ(buffer.readyFlag(), 1);
    const std::vector<float> left = read_raw_s16_channel(fixture_path("play_steps_48k.raw"), 2, 0);
    const std::vector<float> right = read_raw_s16_channel(fixture_path("play_steps_48k.raw"), 2, 1);

    // Speed 2 from 2.0 s: the 1500 Hz second plays at 3000 Hz in half a second and
    // the impulse at 2.5 s lands at 0.25 s, averaged with its neighbour.
    buffer.setPlaySpeed(2);
    buffer.seek(2.0, 1);
    ASSERT_EQ(readable(buffer.sourceRing()), 48000u);
    const std::vector<float> fast = ring_plane(buffer.sourceRing(), 0, 48000);
    EXPECT_NEAR(tone_frequency(fast, 500, 23500, kRate), 3000.0, 1.0);
    EXPECT_NEAR(tone_frequency(fast, 24500, 47500, kRate), 4000.0, 1.0);
    const std::vector<float> fastMarker = ring_plane(buffer.sourceRing(), 1, 48000);
    EXPECT_EQ(index_of_peak(fastMarker, 0, 48000), 12000u);
    EXPECT_NEAR(fastMarker[12000], right[120000] / 2.0f, 1e-6f);

    // Speed 3 is refused: the buffer still plays at 2.
    buffer.setPlaySpeed(3);
    buffer.seek(2.0, 1);
    EXPECT_EQ(ring_plane(buffer.sourceRing(), 0, 48000), fast);

    // Reverse: the frames that end at the seek position, newest first.
    buffer.setPlaySpeed(-1);
    buffer.seek(2.6, 0);
    EXPECT_TRUE(wait_for_full_ring(buffer));
    buffer.stopFillTask();
    ASSERT_EQ(readable(buffer.sourceRing()), 240000u);
    const std::vector<float> backLeft = ring_plane(buffer.sourceRing(), 0, 240000);
    const std::vector<float> backRight = ring_plane(buffer.sourceRing(), 1, 240000);
    const size_t position = 124800;
    size_t mismatches = 0;
    for (size_t i = 0; i <= position; ++i)
        if (backLeft[i] != left[position - i] || backRight[i] != right[position - i]) ++mismatches;
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(index_of_peak(backRight, 0, 48000), 4800u);
    // The rest of the second that reached the file's start (no loop) is silence.
    EXPECT_EQ(peak_level(backLeft, position + 1, 144000), 0.0f);

    // Reverse at speed 2 from 3.0 s: the 1500 Hz second at 3000 Hz.
    buffer.setPlaySpeed(-2);
    buffer.seek(3.0, 1);
    EXPECT_NEAR(tone_frequency(ring_plane(buffer.sourceRing(), 0, 48000), 500, 23500, kRate), 3000.0, 1.0);
}

TEST_F(AudioSrcBufferTest, FillJobKeepsTheRingFullAndLoops) {
    const QString path = fixture("play_mono_1000_48k.wav");  // 2 s
    add(path)->setChannelMapping(1, 0);
    m_tracks.setOutputLayout(NAudioChannelLayout_Mono);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    ASSERT_EQ(buffer.readyFlag(), 1);
    const std::vector<float> source = decoded_s16_mono(path, 96000);

    // Without loop the file ends after two seconds.
    buffer.seek(0.0, 0);
    ASSERT_TRUE(wait_for_full_ring(buffer));
    EXPECT_EQ(peak_level(ring_plane(buffer.sourceRing(), 0, 240000), 96000, 240000), 0.0f);

    buffer.setLoop(1);
    buffer.seek(0.0, 0);
    ASSERT_TRUE(buffer.isFillTaskRunning());
    ASSERT_TRUE(wait_for_full_ring(buffer));
    std::vector<float> ring = ring_plane(buffer.sourceRing(), 0, 240000);
    ASSERT_EQ(ring.size(), 240000u);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), ring.begin() + 96000));

    // The reader takes two seconds: the job refills them, continuing the loop.
    planar_ring_buffer_advance_read(buffer.sourceRing(), 96000);
    EXPECT_TRUE(wait_until([&] { return readable(buffer.sourceRing()) == 240000u; }));
    buffer.stopFillTask();
    ring = ring_plane(buffer.sourceRing(), 0, 240000);
    // The ring now holds seconds 2 to 6 of the loop: second 5 is the file's second 1
    // and second 6 its second 0 again.
    EXPECT_TRUE(std::equal(source.begin() + 48000, source.end(), ring.begin() + 144000));
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + 48000, ring.begin() + 192000));
}

// Bit c of a converter's skip mask is tested by source channel: six mono files on
// the six 5.1 channels must all convert, not only the one on channel 0.
TEST_F(AudioSrcBufferTest, EveryRoutedChannelOfResampledSourcesPlays) {
    const char* suffixes[] = {"_L", "_R", "_C", "_LFE", "_Ls", "_Rs"};
    const int tones[] = {400, 600, 800, 1000, 1200, 1400};
    for (int i = 0; i < 6; ++i) {
        add(QString::fromStdString(copy_fixture_as("play_tone_" + std::to_string(tones[i]) + "_44k.wav",
                                                   std::string("voice") + suffixes[i] + ".wav")));
    }
    m_tracks.autoSelectLayout();
    ASSERT_EQ(m_tracks.outputLayout(), uint32_t(NAudioChannelLayout_5_1));
    {
        AudioSrcBuffer buffer(m_context);
        buffer.setTracks(&m_tracks);
        ASSERT_EQ(buffer.readyFlag(), 1);
        EXPECT_EQ(buffer.directFlag(), 1);
        buffer.seek(0.0, 1);
        for (uint32_t plane = 0; plane < 6; ++plane) {
            const std::vector<float> samples = ring_plane(buffer.sourceRing(), plane, 48000);
            EXPECT_NEAR(peak_level(samples, 1000, 47000), 0.125f, 0.002f) << plane;  // FFmpeg's sine level
            EXPECT_NEAR(tone_frequency(samples, 1000, 47000, kRate), tones[plane], 0.5) << plane;
        }
    }
    m_tracks.deleteAll();

    // Two stereo movie tracks: dual stereo, the second pair on planes 2 and 3.
    OpenedMovie movie(fixture_path("play_dual_44k.mov"));
    ASSERT_EQ(movie.movie.audioTrackCount, 2u);
    // A mono track feeds both sides; a wider one maps channel c to output c.
    const auto mask_of = [](uint32_t, uint32_t c, uint32_t channels) { return channels == 1 ? uint64_t(3) : uint64_t(1) << c; };
    m_tracks.addTracks({movie.track(0, mask_of), movie.track(1, mask_of)});
    m_tracks.autoSelectLayout();
    ASSERT_EQ(m_tracks.outputLayout(), uint32_t(NAudioChannelLayout_DualStereo));
    {
        AudioSrcBuffer buffer(m_context);
        buffer.setTracks(&m_tracks);
        ASSERT_EQ(buffer.readyFlag(), 1);
        buffer.seek(0.5, 1);
        const double expected[] = {500, 700, 900, 1100};
        for (uint32_t plane = 0; plane < 4; ++plane) {
            const std::vector<float> samples = ring_plane(buffer.sourceRing(), plane, 48000);
            EXPECT_NEAR(peak_level(samples, 1000, 47000), 0.5f, 0.01f) << plane;
            EXPECT_NEAR(tone_frequency(samples, 1000, 47000, kRate), expected[plane], 0.5) << plane;
        }
    }
    m_tracks.deleteAll();

    // Mixer mode with a source channel routed nowhere: that channel stays out of the
    // mix and the outputs carry only the routed one.
    AudioSrcTrack* stereo = add(fixture("play_marker_44k.wav"));
    stereo->setChannelMapping(3, 0);
    stereo->setChannelMapping(0, 1);
    m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    ASSERT_EQ(buffer.directFlag(), 0);
    buffer.seek(2.4, 1);
    const std::vector<float> outL = ring_plane(buffer.sourceRing(), 0, 48000);
    EXPECT_EQ(ring_plane(buffer.sourceRing(), 1, 48000), outL);
    EXPECT_NEAR(tone_frequency(outL, 1000, 47000, kRate), 1000.0, 0.5);
    EXPECT_LT(peak_level(outL, 0, outL.size()), 0.51f);
}

TEST_F(AudioSrcBufferTest, FailingStepsDeliverSilenceAndTheJobGoesOn) {
    {
        add(fixture("play_marker_44k.wav"));
        m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
        // Before the buffer: the fill job ends before the converter is put back, even
        // when a failed check ends the test early.
        ConverterOverride failing(&failing_converter);
        AudioSrcBuffer buffer(m_context);
        buffer.setTracks(&m_tracks);
        buffer.seek(1.0, 0);  // must not throw into the caller
        EXPECT_TRUE(buffer.isFillTaskRunning());
        EXPECT_TRUE(wait_until([&] { return buffer.failedSteps() == 5u && readable(buffer.sourceRing()) == 240000u; }));
        EXPECT_EQ(buffer.failedSteps(), 5u);
        ASSERT_EQ(readable(buffer.sourceRing()), 240000u);
        planar_ring_buffer_advance_read(buffer.sourceRing(), 48000);
        EXPECT_TRUE(wait_until([&] { return buffer.failedSteps() == 6u; }));
        buffer.stopFillTask();
        EXPECT_FALSE(buffer.isFillTaskRunning());
        for (uint32_t plane = 0; plane < 2; ++plane)
            EXPECT_EQ(peak_level(ring_plane(buffer.sourceRing(), plane, 240000), 0, 240000), 0.0f);
    }
    m_tracks.deleteAll();

    // The file shrinks under the fill job: the job keeps running and plays silence
    // where the looped file would have played its first seconds again.
    const std::string copy = copy_fixture_as("play_steps_48k.wav", "shrinking.wav");
    add(QString::fromStdString(copy));
    m_tracks.setOutputLayout(NAudioChannelLayout_Stereo);
    AudioSrcBuffer buffer(m_context);
    buffer.setTracks(&m_tracks);
    buffer.setLoop(1);
    buffer.seek(0.0, 0);
    ASSERT_TRUE(wait_for_full_ring(buffer));
    std::filesystem::resize_file(copy, 4096);
    planar_ring_buffer_advance_read(buffer.sourceRing(), 96000);
    EXPECT_TRUE(wait_until([&] { return readable(buffer.sourceRing()) == 240000u; }));
    EXPECT_TRUE(buffer.isFillTaskRunning());
    buffer.stopFillTask();
    const std::vector<float> tail = ring_plane(buffer.sourceRing(), 0, 240000);
    EXPECT_GT(peak_level(tail, 0, 48000), 0.4f);           // read before the cut
    EXPECT_EQ(peak_level(tail, 144000, 240000), 0.0f);     // read after it
}

}  // namespace
