// The task reader end to end against FFmpeg's ebur128 meter (movie tracks in every
// layout, companion WAV files at 44.1 kHz), and the window it reads: marker ramps
// prove the first and last samples between in and out points, an out point at frame
// 0 is honoured, a short WAV leaves silence, and a movie track the player cannot
// decode only fails the reading when it is routed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "audio/audio_demuxer.h"
#include "base/pcm/channel_layouts.h"
#include "loudness_measure.h"
#include "tests/support/expect_error.h"
#include "tests/support/loudness_refs.h"

using namespace loudness_test;

namespace {

constexpr double kLoudnessTolerance = 0.1;  // LU
constexpr double kPeakTolerance = 0.2;      // dB

void expect_peak(double actual, double expected, const std::string& what) {
    if (std::isinf(expected)) {
        EXPECT_TRUE(std::isinf(actual) && actual < 0) << what << " : " << actual;
    } else {
        EXPECT_NEAR(actual, expected, kPeakTolerance) << what;
    }
}

// Ramp value of source sample n (the fixture writes (n mod 65536) / 65536).
float ramp(uint64_t n) { return float(n % 65536) / 65536.0f; }

}  // namespace

TEST(AudioReaderLoudness, MovieLayoutsMatchFfmpeg) {
    struct Case {
        const char* movie;
        uint32_t layout;
        uint32_t frames;
        uint32_t channels;
        const char* ref;
    } cases[] = {
        {"ld_stereo.mov", NAudioChannelLayout_Stereo, 100, 2, "ld_stereo"},
        {"ld_noise.mov", NAudioChannelLayout_Stereo, 125, 2, "ld_noise"},
        {"ld_51.mov", NAudioChannelLayout_5_1, 100, 6, "ld_51"},
        {"ld_71_side.mov", NAudioChannelLayout_7_1, 75, 8, "ld_71_side"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.movie);
        AudioReaderSources sources = make_sources(c.layout, c.frames);
        audio_source_setMovFile(&sources, fixture16(c.movie).c_str());
        route_movie_track(&sources, 0, c.channels, 0);
        const LoudnessResults r = measure(sources);
        const testsupport::LoudnessRef ref = testsupport::read_loudness_ref(c.ref);
        EXPECT_NEAR(r.integrated[0], ref.integrated, kLoudnessTolerance);
        EXPECT_EQ(r.stateCount, 1u);
        for (uint32_t ch = 0; ch < c.channels; ++ch)
            expect_peak(r.truePeak[ch], ref.truePeaks.at(int(ch)), "true peak " + std::to_string(ch));
        EXPECT_EQ(r.silent, 0);
    }
}

TEST(AudioReaderLoudness, RearPairOfSevenOneWeighsAsFrontPair) {
    // FFmpeg weighs the 7.1 rear pair as surrounds; the +-135 degree roles weigh them
    // 1.0, like L and R: the same tone reads as FFmpeg's stereo measure.
    AudioReaderSources sources = make_sources(NAudioChannelLayout_7_1, 75);
    audio_source_setMovFile(&sources, fixture16("ld_71_rear.mov").c_str());
    route_movie_track(&sources, 0, 8, 0);
    const LoudnessResults r = measure(sources);
    EXPECT_NEAR(r.integrated[0], testsupport::read_loudness_ref("ld_stereo").integrated, kLoudnessTolerance);
    EXPECT_NEAR(r.truePeak[6], -20.0, kPeakTolerance);
}

TEST(AudioReaderLoudness, LfeIsLeftOutOfTheLoudnessButPeaks) {
    AudioReaderSources sources = make_sources(NAudioChannelLayout_5_1, 75);
    audio_source_setMovFile(&sources, fixture16("ld_51_lfe.mov").c_str());
    route_movie_track(&sources, 0, 6, 0);
    const LoudnessResults r = measure(sources);
    EXPECT_TRUE(std::isinf(r.integrated[0]) && r.integrated[0] < 0) << r.integrated[0];
    EXPECT_NEAR(r.truePeak[AudioChannel_LFE], -20.0, kPeakTolerance);
    EXPECT_EQ(r.silent, 0);
}

TEST(AudioReaderLoudness, DualStereoMeasuresEachPairLikeFfmpegOnEachTrack) {
    AudioReaderSources sources = make_sources(NAudioChannelLayout_DualStereo, 100);
    audio_source_setMovFile(&sources, fixture16("ld_dual.mov").c_str());
    route_movie_track(&sources, 0, 2, 0);
    route_movie_track(&sources, 1, 2, 2);
    const LoudnessResults r = measure(sources);
    ASSERT_EQ(r.stateCount, 2u);
    const char* refs[2] = {"ld_dual_0", "ld_dual_1"};
    for (uint32_t s = 0; s < 2; ++s) {
        const testsupport::LoudnessRef ref = testsupport::read_loudness_ref(refs[s]);
        EXPECT_NEAR(r.integrated[s], ref.integrated, kLoudnessTolerance) << s;
        expect_peak(r.truePeak[2 * s], ref.truePeaks.at(0), "L" + std::to_string(s + 1));
        expect_peak(r.truePeak[2 * s + 1], ref.truePeaks.at(1), "R" + std::to_string(s + 1));
    }
}

TEST(AudioReaderLoudness, CompanionFilesAt441kHzMatchFfmpeg) {
    struct Case {
        const char* wav;
        std::vector<uint64_t> masks;
        const char* ref;
    } cases[] = {
        {"ld_tone44.wav", {1, 2}, "ld_tone44"},
        {"ld_mono44.wav", {1}, "ld_mono44_left"},  // the mono file on L only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wav);
        AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 75);
        audio_source_setMovFile(&sources, fixture16("ld_stereo.mov").c_str());
        audio_source_addWavFile(&sources, fixture16(c.wav).c_str());
        for (uint32_t ch = 0; ch < c.masks.size(); ++ch) audio_source_mapWavTrack(&sources, ch, c.masks[ch]);
        uint64_t delivered = 0;
        const LoudnessResults r = measure(sources, &delivered);
        EXPECT_EQ(delivered, 144000u);
        const testsupport::LoudnessRef ref = testsupport::read_loudness_ref(c.ref);
        EXPECT_NEAR(r.integrated[0], ref.integrated, kLoudnessTolerance);
        expect_peak(r.truePeak[0], ref.truePeaks.at(0), "L");
    }
}

TEST(AudioReaderLoudness, OnlyTheRoutedTrackCounts) {
    // Entries for track 1 only: track 0 (the loud tone) is read but contributes nothing.
    AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 100);
    audio_source_setMovFile(&sources, fixture16("ld_dual.mov").c_str());
    route_movie_track(&sources, 1, 2, 0);
    const LoudnessResults r = measure(sources);
    EXPECT_NEAR(r.integrated[0], testsupport::read_loudness_ref("ld_dual_1").integrated, kLoudnessTolerance);
}

TEST(AudioReaderLoudness, UndecodableTrackFailsOnlyWhenRouted) {
    AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 75);
    audio_source_setMovFile(&sources, fixture16("ld_aac.mov").c_str());
    route_movie_track(&sources, 1, 2, 0);  // the PCM track beside the AAC one
    const LoudnessResults r = measure(sources);
    EXPECT_NEAR(r.integrated[0], testsupport::read_loudness_ref("ld_stereo").integrated, kLoudnessTolerance);

    AudioReaderSources routed = make_sources(NAudioChannelLayout_Stereo, 75);
    audio_source_setMovFile(&routed, fixture16("ld_aac.mov").c_str());
    route_movie_track(&routed, 0, 1, 0);
    AudioReader reader;
    EXPECT_RUNTIME_ERROR(audio_reader_build(&reader, &routed, 10), "Invalid pcm data");
    EXPECT_TRUE(reader.sources.empty());
}

TEST(AudioReaderLoudness, SilenceIsFlaggedWithMinusInfinitePeaks) {
    AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 50);
    audio_source_setMovFile(&sources, fixture16("ld_silence.mov").c_str());
    route_movie_track(&sources, 0, 2, 0);
    const LoudnessResults r = measure(sources);
    EXPECT_EQ(r.silent, 1);
    for (int ch = 0; ch < 2; ++ch) EXPECT_TRUE(std::isinf(r.truePeak[ch]) && r.truePeak[ch] < 0);
}

TEST(AudioReaderLoudness, RangeMeasuresExactlyTheWindow) {
    struct Case {
        int32_t in, out;
        const char* ref;
    } cases[] = {{50, 99, "ld_range_in"}, {-1, -1, "ld_range"}, {50, -1, "ld_range_in"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ref);
        AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 100);
        sources.inFrame = c.in;
        sources.outFrame = c.out;
        audio_source_setMovFile(&sources, fixture16("ld_range.mov").c_str());
        route_movie_track(&sources, 0, 2, 0);
        EXPECT_NEAR(measure(sources).integrated[0], testsupport::read_loudness_ref(c.ref).integrated,
                    kLoudnessTolerance);
    }
}

TEST(AudioReaderWindow, MarkersProveTheFirstAndLastSamples) {
    AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 250);
    sources.inFrame = 50;
    sources.outFrame = 99;
    audio_source_setMovFile(&sources, fixture16("ld_ramp.mov").c_str());
    route_movie_track(&sources, 0, 2, 0);
    AudioReader reader;
    AudioFrame frame;
    audio_frame_init(&frame);
    audio_reader_build(&reader, &sources, 10);
    EXPECT_EQ(reader.totalSamples, 96000u);
    audio_reader_alloc_out_frame(&frame, &reader);
    ASSERT_EQ(audio_reader_readNext(&reader, &frame), 96000u);
    const auto* left = reinterpret_cast<const float*>(frame.planes[0]);
    const auto* right = reinterpret_cast<const float*>(frame.planes[1]);
    // Neighbouring ramp samples are 1/65536 apart: far more than the decoder's rounding.
    for (uint32_t i = 0; i < 96000; ++i) {
        ASSERT_NEAR(left[i], ramp(96000 + i), 1e-6) << i;
        ASSERT_NEAR(right[i], -ramp(96000 + i), 1e-6) << i;
    }
    EXPECT_EQ(audio_reader_readNext(&reader, &frame), 0u);
    audio_reader_free(&reader);
    audio_frame_free_data(&frame);
}

TEST(AudioReaderWindow, MovieTrackAt441kHzStartsAtItsOwnSample) {
    MovPcmDemuxerParams params{};
    const std::u16string path = fixture16("ld_ramp.mov");
    params.path = path.c_str();
    params.rateNum = 25;
    params.rateDen = 1;
    params.inFrame = 50;
    params.outFrame = 99;
    AudioDemuxer* demuxer = mov_pcm_demuxer_new(&params, 10);
    AudioFrameArray frames;
    audio_frame_array_init(&frames);
    ASSERT_EQ(audio_demuxer_create_out_frames(demuxer, &frames, 2), 2u);
    AudioFrame* track = frames.frames[1];
    audio_demuxer_read(demuxer, track, 1);
    EXPECT_EQ(track->sampleCount, 88200u);  // 2.0 s at 44.1 kHz
    // The first sample is source sample 88200, stored as 24-bit big-endian.
    const uint8_t* b = track->planes[0];
    const int32_t first = int32_t(uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8) >> 8;
    EXPECT_EQ(first, int32_t(88200 % 65536) * 128);
    audio_frame_array_free(&frames);
    audio_demuxer_free(demuxer);
}

TEST(AudioReaderWindow, PointsAndTheirErrors) {
    struct Case {
        int32_t in, out;
        uint64_t total;  // 0: the build throws `error`
        const char* error;
    } cases[] = {
        {-1, 0, 1920, nullptr},     // an out point at frame 0 is a real point: one frame
        {-1, -1, 480000, nullptr},  // the whole movie
        {10, 999, 480000 - 19200, nullptr},  // beyond the movie: to its end
        {60, 50, 0, "Invalid audio duration"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " " + std::to_string(c.out));
        AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 250);
        sources.inFrame = c.in;
        sources.outFrame = c.out;
        audio_source_setMovFile(&sources, fixture16("ld_ramp.mov").c_str());
        route_movie_track(&sources, 0, 2, 0);
        AudioReader reader;
        if (c.error) {
            EXPECT_RUNTIME_ERROR(audio_reader_build(&reader, &sources, 10), c.error);
            continue;
        }
        uint64_t delivered = 0;
        measure(sources, &delivered);
        EXPECT_EQ(delivered, c.total);
    }
    AudioReaderSources empty = make_sources(NAudioChannelLayout_Stereo, 250);
    AudioReader reader;
    EXPECT_RUNTIME_ERROR(audio_reader_build(&reader, &empty, 10), "No audio track info\n");
    EXPECT_RUNTIME_ERROR(audio_reader_build(&reader, &empty, 0), "Invalid nb sec output");
}

TEST(AudioReaderWindow, ShortCompanionFileEndsInSilence) {
    // The movie tone on L for 4 s, a 1 s WAV on R: the reader delivers the whole
    // window and R is silent after the file.
    AudioReaderSources sources = make_sources(NAudioChannelLayout_Stereo, 100);
    audio_source_setMovFile(&sources, fixture16("ld_stereo.mov").c_str());
    audio_source_addMovTrack(&sources, 0, 0, 1);
    audio_source_addWavFile(&sources, fixture16("ld_short.wav").c_str());
    audio_source_mapWavTrack(&sources, 0, 2);
    AudioReader reader;
    AudioFrame frame;
    audio_frame_init(&frame);
    audio_reader_build(&reader, &sources, 10);
    audio_reader_alloc_out_frame(&frame, &reader);
    ASSERT_EQ(audio_reader_readNext(&reader, &frame), 192000u);
    const auto* right = reinterpret_cast<const float*>(frame.planes[1]);
    float before = 0.0f, after = 0.0f;
    for (uint32_t i = 0; i < 48000; ++i) before = std::max(before, std::fabs(right[i]));
    for (uint32_t i = 48000; i < 192000; ++i) after = std::max(after, std::fabs(right[i]));
    EXPECT_NEAR(before, 0.1f, 0.001f);
    EXPECT_EQ(after, 0.0f);
    audio_reader_free(&reader);
    audio_frame_free_data(&frame);
}

TEST(AudioReaderSources, RoutingEntriesKeepOnlyLayoutChannels) {
    AudioReaderSources sources;
    audio_reader_sources_init(&sources, NAudioChannelLayout_Stereo, 1, 2);
    audio_source_addMovTrack(&sources, 0, 0, 0);     // no output
    audio_source_addMovTrack(&sources, 0, 1, 0x4);   // beyond stereo
    audio_source_addMovTrack(&sources, 0, 2, 0x6);   // R (and a channel stereo lacks)
    EXPECT_EQ(sources.entries.size(), 1u);
    EXPECT_RUNTIME_ERROR(audio_source_mapWavTrack(&sources, 0, 1), "No wav file assigned");
    const std::u16string wav = u"a.wav";
    audio_source_addWavFile(&sources, wav.c_str());
    EXPECT_RUNTIME_ERROR(audio_source_addWavFile(&sources, wav.c_str()), "Not enough space for wav file");
    audio_source_mapWavTrack(&sources, 0, 1);
    EXPECT_RUNTIME_ERROR(audio_source_mapWavTrack(&sources, 1, 2), "Not enough space for audio track info mov");
    EXPECT_EQ(sources.entries.back().file, 1u);
    EXPECT_EQ(audio_reader_file_count(&sources), 2u);
    EXPECT_RUNTIME_ERROR(audio_source_setMovFile(&sources, nullptr), "invalid mov file path");
}
