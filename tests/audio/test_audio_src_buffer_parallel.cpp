// A seek converts the channel-seconds of its refill in parallel. The source ring must
// then hold, bit for bit, what the serial path writes: the same seek with every
// parallel loop held to one thread, and the seconds converted one after the other with
// the plain format process, as a reader of the files would.
#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "audio/frequency_conversion.h"
#include "audio/pcm/channel_layouts.h"
#include "audio/planar_ring_buffer.h"
#include "media/mov_file.h"
#include "platform/parallel_for.h"
#include "tests/support/audio_src_files.h"
#include "tests/support/test_movies.h"
#include "opened_movie.h"

using namespace testsupport;

namespace {

using Planes = std::vector<std::vector<float>>;

// Every plane of the ring as it stands, left in the ring.
Planes ring_planes(PlanarRingBuffer* ring) {
    uint32_t frames = 0;
    std::vector<uint8_t*> planes(ring->planeCount);
    planar_ring_buffer_get_read(ring, &frames, planes.data());
    Planes result;
    for (uint8_t* plane : planes) {
        const auto* samples = reinterpret_cast<const float*>(plane);
        result.emplace_back(samples, samples + frames);
    }
    return result;
}

bool same_bits(const Planes& a, const Planes& b) {
    if (a.size() != b.size()) return false;
    for (size_t p = 0; p < a.size(); ++p) {
        if (a[p].size() != b[p].size()) return false;
        if (std::memcmp(a[p].data(), b[p].data(), a[p].size() * sizeof(float)) != 0) return false;
    }
    return true;
}

// The output plane a one-channel-per-output source channel feeds.
uint32_t plane_of(const AudioSrcTrack* track, int channel) {
    const uint64_t mask = track->channelMapping(channel);
    return mask ? uint32_t(__builtin_ctzll(mask)) : 0;
}

// The tracks' seconds converted one after the other by a format process of their own,
// each track read by a second reader of its own, routed one to one.
Planes serial_reference(const std::vector<AudioSrcTrack*>& routed, const std::vector<AudioSrcTrack*>& readers,
                        uint32_t outputs, double seconds, uint32_t blocks) {
    Planes result(outputs, std::vector<float>(size_t(blocks) * 48000, 0.0f));
    for (AudioSrcTrack* reader : readers) reader->seekSeconds(seconds);
    for (uint32_t b = 0; b < blocks; ++b) {
        for (size_t i = 0; i < readers.size(); ++i) {
            AudioSrcTrack* reader = readers[i];
            AudioData data;
            audio_data_init(&data);
            reader->pcmDescriptor(&data.descriptor);
            audio_data_alloc(&data, data.descriptor.frequency);
            reader->readForward(data.data, reader->position(), data.frames, true);
            AudioFormatProcess process;
            audio_process_init(&process);
            audio_process_setup(&process, &data.descriptor, 0, 48000, 1, 1);
            std::vector<float*> targets;
            for (uint32_t c = 0; c < reader->channels(); ++c)
                targets.push_back(result[plane_of(routed[i], int(c))].data() + size_t(b) * 48000);
            audio_process_run_checked(&process, targets.data(), &data, 1);
            audio_process_free(&process);
            audio_data_free(&data);
        }
    }
    return result;
}

class AudioSrcBufferParallel : public testing::Test {
protected:
    static void SetUpTestSuite() { context_ = soundio_create(); }
    static void TearDownTestSuite() {
        soundio_destroy(context_);
        context_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(context_, nullptr); }
    void TearDown() override { tracks_.deleteAll(); }

    // The ring after seek(seconds, preview) on a fresh buffer with loop on, the
    // parallel loops held to `threads` threads (0: no limit).
    Planes ring_after_seek(double seconds, uint8_t preview, size_t threads) {
        std::unique_ptr<platform::ParallelismLimit> limit;
        if (threads) limit = std::make_unique<platform::ParallelismLimit>(threads);
        AudioSrcBuffer buffer(context_);
        buffer.setTracks(&tracks_);
        EXPECT_EQ(buffer.readyFlag(), 1);
        EXPECT_EQ(buffer.directFlag(), 1);
        buffer.setLoop(1);
        buffer.seek(seconds, preview);
        buffer.stopFillTask();
        EXPECT_EQ(buffer.failedSteps(), 0u);
        return ring_planes(buffer.sourceRing());
    }

    static SoundIo* context_;
    AllAudioSrcTracks tracks_;
};
SoundIo* AudioSrcBufferParallel::context_ = nullptr;

TEST_F(AudioSrcBufferParallel, EightCompanionWavsRefillAndPreviewLikeTheSerialPath) {
    const char* suffixes[] = {"_L", "_R", "_C", "_LFE", "_Ls", "_Rs", "_Lrs", "_Rrs"};
    const int tones[] = {400, 600, 800, 1000, 1200, 1400, 400, 600};
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        paths.push_back(copy_fixture_as("play_tone_" + std::to_string(tones[i]) + "_44k.wav",
                                        std::string("parallel") + suffixes[i] + ".wav"));
        tracks_.addTrack(new AudioSrcTrack(QString::fromStdString(paths.back())));
    }
    tracks_.autoSelectLayout();
    ASSERT_EQ(tracks_.outputLayout(), uint32_t(NAudioChannelLayout_7_1));

    // The refill against the seconds converted one after the other.
    const Planes parallel = ring_after_seek(0.3, 0, 0);
    ASSERT_EQ(parallel.size(), 8u);
    ASSERT_EQ(parallel[0].size(), 240000u);
    std::vector<AudioSrcTrack*> routed(tracks_.tracks().begin(), tracks_.tracks().end());
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
    tracks_.addTracks({movie.track(0, mask_of), movie.track(1, mask_of)});
    tracks_.setOutputLayout(NAudioChannelLayout_DualStereo);

    const Planes parallel = ring_after_seek(0.4, 0, 0);
    ASSERT_EQ(parallel.size(), 4u);
    ASSERT_EQ(parallel[0].size(), 240000u);

    OpenedMovie second(fixture_path("play_dual_44k.mov"));
    std::vector<AudioSrcTrack*> routed(tracks_.tracks().begin(), tracks_.tracks().end());
    std::vector<AudioSrcTrack*> readers = {second.track(0, mask_of), second.track(1, mask_of)};
    EXPECT_TRUE(same_bits(parallel, serial_reference(routed, readers, 4, 0.4, 5)));
    for (AudioSrcTrack* reader : readers) delete reader;
}

// A second whose conversion fails plays silence, and every track has still been read
// for it: the tracks stay in step instead of the later ones falling a second behind.
TEST_F(AudioSrcBufferParallel, FailedConversionsKeepTheTracksInStep) {
    auto* left = new AudioSrcTrack(QString::fromStdString(copy_fixture_as("play_tone_400_44k.wav", "step_L.wav")));
    auto* right = new AudioSrcTrack(QString::fromStdString(copy_fixture_as("play_tone_600_44k.wav", "step_R.wav")));
    tracks_.addTracks({left, right});
    tracks_.autoSelectLayout();
    AudioSrcBuffer buffer(context_);
    buffer.setTracks(&tracks_);
    ASSERT_EQ(buffer.routedTrackCount(), 2u);
    buffer.setLoop(1);
    audio_process_converter = [](SRC_DATA*, int, int) { return 1; };
    buffer.seek(0.5, 0);
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
