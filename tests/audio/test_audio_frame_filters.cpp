// Audio frames and the two filters of the offline chain: capacity in whole seconds,
// checked copies, the mapping sum, conversions with their sample counts and tone, the
// dual-stereo split, the pass-through view, and the capacity checks that keep a
// filter from writing past its output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audio_filter.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/audio_frame.h"
#include "tests/support/audio_signal_analysis.h"
#include "tests/support/expect_error.h"

namespace {

struct Frame {
    AudioFrame f;
    Frame() { audio_frame_init(&f); }
    ~Frame() { audio_frame_free_data(&f); }
    float* plane(uint32_t c) { return reinterpret_cast<float*>(f.planes[c]); }
};

struct Filter {
    AudioFilter* p;
    explicit Filter(AudioFilter* filter) : p(filter) {}
    ~Filter() { audio_filter_free(p); }
};

// A float planar frame whose channel c holds amplitude[c] x sin(2 pi freq[c] t).
void fill_tones(AudioFrame* frame, uint32_t samples, const std::vector<double>& freq,
                const std::vector<double>& amplitude) {
    for (uint32_t c = 0; c < frame->channels; ++c) {
        auto* plane = reinterpret_cast<float*>(frame->planes[c]);
        for (uint32_t i = 0; i < samples; ++i)
            plane[i] = float(amplitude[c] * std::sin(2 * M_PI * freq[c] * i / frame->frequency));
    }
    frame->sampleCount = samples;
    audio_frame_fill_silence_tail(frame);
}

std::vector<float> plane_vector(const AudioFrame* frame, uint32_t c) {
    const auto* p = reinterpret_cast<const float*>(frame->planes[c]);
    return std::vector<float>(p, p + frame->sampleCount);
}

}  // namespace

TEST(AudioFrame, AllocationRoundsToSecondsAndChecksItsArguments) {
    Frame a;
    audio_frame_alloc(&a.f, AudioPcmCodec_S16LE, 2, 48000, false, 1000);
    EXPECT_EQ(a.f.capacity, 48000u);
    EXPECT_EQ(a.f.blockSize, 48000u * 2 * 2);
    EXPECT_EQ(a.f.planeCount, 1u);
    audio_frame_alloc(&a.f, AudioPcmCodec_F32LE, 3, 48000, true, 96000);
    EXPECT_EQ(a.f.capacity, 96000u);
    EXPECT_EQ(a.f.planes[2], a.f.block + 2 * 96000 * 4);
    EXPECT_EQ(a.f.masks[2], 4u);

    Frame mono;
    audio_frame_alloc(&mono.f, AudioPcmCodec_S16LE, 1, 44100, false, 10);
    EXPECT_EQ(mono.f.planar, 1);

    Frame wide;
    audio_frame_alloc(&wide.f, AudioPcmCodec_S16LE, 64, 8000, false, 1);
    EXPECT_EQ(wide.f.channels, 64u);
    Frame bad;
    EXPECT_RUNTIME_ERROR(audio_frame_alloc(&bad.f, AudioPcmCodec_S16LE, 65, 8000, false, 1), "Too much channels");
    EXPECT_RUNTIME_ERROR(audio_frame_alloc(&bad.f, AudioPcmCodec_S16LE, 0, 8000, false, 1), "Invalid zero channel");
    EXPECT_RUNTIME_ERROR(audio_frame_alloc(&bad.f, AudioPcmCodec_S16LE, 2, 0, false, 1), "Invalid frequency (0)");
    EXPECT_RUNTIME_ERROR(audio_frame_alloc(&bad.f, AudioPcmCodec_S16LE, 2, 8000, false, 0), "Invalid samples (0)");
}

TEST(AudioFrame, CopyWarnsAtCapacityAndSilencesTheRest) {
    Frame src, dst;
    // Capacities are whole seconds: a 1 Hz frame holds 100 samples per 100 s asked.
    audio_frame_alloc(&src.f, AudioPcmCodec_F32LE, 1, 1, true, 200);
    audio_frame_alloc(&dst.f, AudioPcmCodec_F32LE, 1, 1, true, 100);
    for (uint32_t i = 0; i < 200; ++i) src.plane(0)[i] = float(i + 1);
    src.f.sampleCount = 200;
    audio_frame_copy(&dst.f, &src.f);
    EXPECT_EQ(dst.f.sampleCount, 100u);
    EXPECT_EQ(dst.plane(0)[99], 100.0f);

    src.f.sampleCount = 40;
    audio_frame_copy(&dst.f, &src.f);
    EXPECT_EQ(dst.plane(0)[39], 40.0f);
    for (uint32_t i = 40; i < 100; ++i) ASSERT_EQ(dst.plane(0)[i], 0.0f) << i;

    src.f.sampleCount = 0;
    audio_frame_copy(&dst.f, &src.f);
    EXPECT_EQ(dst.f.status[0], uint32_t(AudioFrameStatus_Silent));

    Frame s16;
    audio_frame_alloc(&s16.f, AudioPcmCodec_S16LE, 1, 1, true, 10);
    EXPECT_RUNTIME_ERROR(audio_frame_copy(&dst.f, &s16.f), "Can't copy frame : Audio descriptor not consistent");
}

TEST(AudioFrame, SkippedViewStaysInsideItsSource) {
    Frame src, view;
    audio_frame_alloc(&src.f, AudioPcmCodec_S16LE, 2, 100, false, 100);
    src.f.sampleCount = 60;
    audio_frame_ref(&view.f, &src.f);
    EXPECT_EQ(view.f.block, nullptr);
    audio_frame_skip(&view.f, 10);
    EXPECT_EQ(view.f.planes[0], src.f.block + 10 * 2 * 2);
    EXPECT_EQ(view.f.sampleCount, 50u);
    EXPECT_EQ(view.f.capacity, 90u);
    EXPECT_RUNTIME_ERROR(audio_frame_skip(&view.f, 50), "Invalid start sample for ref");
}

TEST(AudioFilter, MappingSumsRoutedInputsAndMarksUnfedOutputs) {
    Frame a, b;
    audio_frame_alloc(&a.f, AudioPcmCodec_F32LE, 1, 48000, true, 48000);
    audio_frame_alloc(&b.f, AudioPcmCodec_F32LE, 1, 48000, true, 48000);
    fill_tones(&a.f, 1000, {440}, {0.3});
    fill_tones(&b.f, 700, {1000}, {0.2});  // shorter: read over its silent tail
    const uint64_t masks[2] = {1, 1};
    AudioMappingParams params{48000, 48000, 2, 2, 2, masks};
    Filter mapping(audio_filter_mapping_new(&params));
    mapping.p->inputs[0] = &a.f;
    mapping.p->inputs[1] = &b.f;
    audio_filter_process(mapping.p);
    const AudioFrame* out = mapping.p->output;
    ASSERT_EQ(out->sampleCount, 1000u);
    const auto* o0 = reinterpret_cast<const float*>(out->planes[0]);
    for (uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(o0[i], a.plane(0)[i] + b.plane(0)[i]) << i;
    EXPECT_EQ(out->status[0], uint32_t(AudioFrameStatus_Data));
    EXPECT_EQ(out->status[1], uint32_t(AudioFrameStatus_Silent));
}

TEST(AudioFilter, MappingRefusesInputsBeyondItsOutput) {
    Frame big;
    audio_frame_alloc(&big.f, AudioPcmCodec_F32LE, 1, 48000, true, 96000);
    fill_tones(&big.f, 96000, {440}, {0.1});
    const uint64_t masks[1] = {1};
    AudioMappingParams params{48000, 48000, 1, 1, 1, masks};
    Filter mapping(audio_filter_mapping_new(&params));
    mapping.p->inputs[0] = &big.f;
    EXPECT_RUNTIME_ERROR(audio_filter_process(mapping.p), "Mapping input beyond capacity");
}

TEST(AudioFilter, FrequencyConversionCountsAndTone) {
    // 44.1 kHz S16 interleaved stereo to float planar at 48 kHz.
    struct Case {
        uint32_t inSamples;
        uint32_t outSamples;
    } cases[] = {{44100, 48000}, {22050, 24000}, {30000, uint32_t(std::lround(30000 * 48000.0 / 44100))}};
    for (const Case& c : cases) {
        Frame in;
        audio_frame_alloc(&in.f, AudioPcmCodec_S16LE, 2, 44100, false, 44100);
        auto* s = reinterpret_cast<int16_t*>(in.f.block);
        for (uint32_t i = 0; i < c.inSamples; ++i) {
            s[2 * i] = int16_t(std::lround(3276.7 * std::sin(2 * M_PI * 1000.0 * i / 44100)));
            s[2 * i + 1] = s[2 * i];
        }
        in.f.sampleCount = c.inSamples;
        audio_frame_fill_silence_tail(&in.f);
        AudioFrequencyParams params{1, 2, AudioPcmCodec_S16LE, 0, 44100, AudioPcmCodec_F32LE, 1, 48000, 0};
        Filter filter(audio_filter_frequency_new(&params));
        filter.p->inputs[0] = &in.f;
        audio_filter_process(filter.p);
        const AudioFrame* out = filter.p->output;
        EXPECT_EQ(out->sampleCount, c.outSamples) << c.inSamples;
        const std::vector<float> left = plane_vector(out, 0);
        EXPECT_NEAR(testsupport::tone_frequency(left, 1000, left.size() - 1000, 48000), 1000.0, 0.5);
    }
}

TEST(AudioFilter, FrequencyFilterRefusesMoreThanItsSeconds) {
    Frame in;
    audio_frame_alloc(&in.f, AudioPcmCodec_S16LE, 2, 48000, false, 96000);
    in.f.sampleCount = 96000;
    audio_frame_fill_silence_tail(&in.f);
    // One second of room, two seconds given: refused, for a decode and for a resample.
    for (uint32_t outFrequency : {48000u, 44100u}) {
        AudioFrequencyParams params{1, 2, AudioPcmCodec_S16LE, 0, 48000, AudioPcmCodec_F32LE, 1, outFrequency, 0};
        Filter filter(audio_filter_frequency_new(&params));
        filter.p->inputs[0] = &in.f;
        EXPECT_RUNTIME_ERROR(audio_filter_process(filter.p), "Frequency filter input beyond capacity");
    }
}

TEST(AudioFilter, DualStereoSplitsIntoTwoInterleavedPairs) {
    Frame in;
    audio_frame_alloc(&in.f, AudioPcmCodec_F32LE, 4, 48000, true, 48000);
    fill_tones(&in.f, 4800, {300, 600, 900, 1200}, {0.1, 0.2, 0.3, 0.4});
    in.f.masks[2] = 0x10;
    in.f.status[3] = AudioFrameStatus_Silent;
    AudioFrequencyParams params{1, 4, AudioPcmCodec_F32LE, 1, 48000, AudioPcmCodec_F32LE, 0, 48000, 1};
    Filter filter(audio_filter_frequency_new(&params));
    filter.p->inputs[0] = &in.f;
    audio_filter_process(filter.p);
    const AudioFrame* pairs[2] = {filter.p->output, filter.p->secondOutput};
    for (uint32_t p = 0; p < 2; ++p) {
        ASSERT_EQ(pairs[p]->channels, 2u);
        ASSERT_EQ(pairs[p]->sampleCount, 4800u);
        const auto* data = reinterpret_cast<const float*>(pairs[p]->planes[0]);
        for (uint32_t i = 0; i < 4800; ++i) {
            ASSERT_EQ(data[2 * i], in.plane(2 * p)[i]);
            ASSERT_EQ(data[2 * i + 1], in.plane(2 * p + 1)[i]);
        }
    }
    EXPECT_EQ(pairs[1]->masks[0], 0x10u);
    EXPECT_EQ(pairs[1]->status[1], uint32_t(AudioFrameStatus_Silent));

    AudioFrequencyParams three{1, 3, AudioPcmCodec_F32LE, 1, 48000, AudioPcmCodec_F32LE, 0, 48000, 1};
    EXPECT_RUNTIME_ERROR(audio_filter_frequency_new(&three), "Invalid dual stereo channels");
    AudioFrequencyParams planar{1, 4, AudioPcmCodec_F32LE, 1, 48000, AudioPcmCodec_F32LE, 1, 48000, 1};
    EXPECT_RUNTIME_ERROR(audio_filter_frequency_new(&planar), "Invalid dual stereo out mode");
}

TEST(AudioFilter, PassThroughLendsTheInputPlanes) {
    Frame in;
    audio_frame_alloc(&in.f, AudioPcmCodec_F32LE, 2, 48000, true, 48000);
    fill_tones(&in.f, 100, {300, 600}, {0.1, 0.2});
    AudioFrequencyParams params{1, 2, AudioPcmCodec_F32LE, 1, 48000, AudioPcmCodec_F32LE, 1, 48000, 0};
    Filter filter(audio_filter_frequency_new(&params));
    filter.p->inputs[0] = &in.f;
    audio_filter_process(filter.p);
    EXPECT_EQ(filter.p->output->planes[0], in.f.planes[0]);
    EXPECT_EQ(filter.p->output->planes[1], in.f.planes[1]);
    EXPECT_EQ(filter.p->output->sampleCount, 100u);
}

TEST(AudioFilter, FullPoolRefusesAnotherFilter) {
    AudioFilterPool pool{};
    audio_filter_pool_init(&pool, 2);
    audio_filter_pool_add(&pool, audio_filter_new(AudioFilterKind_Mapping, 1));
    audio_filter_pool_add(&pool, audio_filter_new(AudioFilterKind_Mapping, 1));
    AudioFilter* extra = audio_filter_new(AudioFilterKind_Mapping, 1);
    EXPECT_RUNTIME_ERROR(audio_filter_pool_add(&pool, extra), "Not enough space for filter");
    audio_filter_free(extra);
    audio_filter_pool_free(&pool);
    EXPECT_RUNTIME_ERROR(audio_filter_new(AudioFilterKind_Mapping, 0), "Zero input filter audio");
}
