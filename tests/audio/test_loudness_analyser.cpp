// The R128 analyser on generated signals: skipping and counting, the silent flag (and
// that it is never set without a true-peak measure), the silence-only early stop,
// direct and converted inputs agreeing, dual stereo's two meters, the refused channel
// counts, and a conversion that refuses a frame longer than its seconds.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/loudness_analyser.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/audio_frame.h"
#include "tests/support/expect_error.h"

namespace {

struct Frame {
    AudioFrame f;
    Frame() { audio_frame_init(&f); }
    ~Frame() { audio_frame_free_data(&f); }
};

struct Analyser {
    AudioAnalyser* a;
    Analyser(const AudioAnalyserParams& params, std::vector<uint8_t> options)
        : a(r128_analyser_create(&params, options.data())) {}
    ~Analyser() { audio_analyser_close(a); }
};

// A 1 kHz tone; channels differ by their amplitude only.
double tone(uint32_t i, double amplitude) { return amplitude * std::sin(2 * M_PI * 1000.0 * i / 48000.0); }

// `samples` of a tone of `amplitude` (0 = silence) per channel, planar float.
void planar_tone(AudioFrame* frame, uint32_t channels, uint32_t samples, std::vector<double> amplitude) {
    audio_frame_alloc(frame, AudioPcmCodec_F32LE, channels, 48000, true, samples);
    for (uint32_t c = 0; c < channels; ++c) {
        auto* plane = reinterpret_cast<float*>(frame->planes[c]);
        for (uint32_t i = 0; i < samples; ++i) plane[i] = float(tone(i, amplitude[c]));
    }
    frame->sampleCount = samples;
    audio_frame_fill_silence_tail(frame);
}

AudioAnalyserParams params_for(const AudioFrame& frame, uint64_t start = 0, uint64_t count = 0) {
    return AudioAnalyserParams{10, frame.channels, frame.codec, frame.planar, frame.frequency, start, count};
}

bool minus_infinity(double value) { return std::isinf(value) && value < 0; }

}  // namespace

TEST(LoudnessAnalyser, StartAndCountSliceTheFrames) {
    Frame piece;
    audio_frame_alloc(&piece.f, AudioPcmCodec_F32LE, 1, 48000, true, 1000);
    piece.f.sampleCount = 1000;
    audio_frame_fill_silence_tail(&piece.f);
    {
        Analyser skip(params_for(piece.f, 48000), {1, 0, 0, 0, 0});
        for (int i = 0; i < 48; ++i) ASSERT_TRUE(audio_analyser_process(skip.a, &piece.f));
        EXPECT_EQ(skip.a->processed, 0u);
        EXPECT_TRUE(audio_analyser_process(skip.a, &piece.f));
        EXPECT_EQ(skip.a->processed, 1000u);
    }
    {
        Analyser count(params_for(piece.f, 0, 1500), {1, 0, 0, 0, 0});
        EXPECT_TRUE(audio_analyser_process(count.a, &piece.f));
        EXPECT_FALSE(audio_analyser_process(count.a, &piece.f));
        EXPECT_EQ(count.a->processed, 1500u);
        EXPECT_FALSE(audio_analyser_process(count.a, &piece.f));
    }
    {
        // A start inside a frame: only its end is measured.
        Analyser inside(params_for(piece.f, 400), {1, 0, 0, 0, 0});
        EXPECT_TRUE(audio_analyser_process(inside.a, &piece.f));
        EXPECT_EQ(inside.a->processed, 600u);
    }
}

TEST(LoudnessAnalyser, SilentFlagNeedsATruePeakMeasure) {
    struct Case {
        std::vector<uint8_t> options;
        std::vector<double> amplitude;
        uint8_t silent;
    } cases[] = {
        {{1, 1, 1, 1, 1}, {0, 0}, 1},
        {{1, 0, 0, 0, 1}, {0, 0}, 1},
        {{1, 1, 1, 1, 1}, {0, 0.001}, 0},
        {{1, 0, 0, 0, 0}, {0, 0}, 0},  // nothing measured the peaks: not declared silent
    };
    for (const Case& c : cases) {
        Frame frame;
        planar_tone(&frame.f, 2, 48000, c.amplitude);
        Analyser analyser(params_for(frame.f), c.options);
        audio_analyser_process(analyser.a, &frame.f);
        audio_analyser_finish(analyser.a);
        EXPECT_EQ(analyser.a->results->silent, c.silent);
        if (c.silent && c.options[3]) {
            EXPECT_TRUE(minus_infinity(analyser.a->results->truePeak[0]));
            EXPECT_TRUE(minus_infinity(analyser.a->results->samplePeak[1]));
        }
    }
}

TEST(LoudnessAnalyser, SilenceCheckAloneStopsAtTheFirstSound) {
    Frame quiet, sound;
    planar_tone(&quiet.f, 1, 4800, {0});
    planar_tone(&sound.f, 1, 4800, {0.01});
    Analyser analyser(params_for(quiet.f), {0, 0, 0, 0, 1});
    EXPECT_TRUE(audio_analyser_process(analyser.a, &quiet.f));
    EXPECT_TRUE(audio_analyser_process(analyser.a, &quiet.f));
    EXPECT_FALSE(audio_analyser_process(analyser.a, &sound.f));
}

TEST(LoudnessAnalyser, DirectAndConvertedInputsAgree) {
    const uint32_t samples = 96000;
    Frame planar, interleaved;
    planar_tone(&planar.f, 2, samples, {0.1, 0.05});
    audio_frame_alloc(&interleaved.f, AudioPcmCodec_S16LE, 2, 48000, false, samples);
    auto* s = reinterpret_cast<int16_t*>(interleaved.f.block);
    for (uint32_t i = 0; i < samples; ++i)
        for (uint32_t c = 0; c < 2; ++c) s[2 * i + c] = int16_t(std::lround(32767.0 * tone(i, c ? 0.05 : 0.1)));
    interleaved.f.sampleCount = samples;

    double loudness[2];
    Frame* frames[2] = {&planar, &interleaved};
    for (int k = 0; k < 2; ++k) {
        Analyser analyser(params_for(frames[k]->f), {1, 1, 1, 1, 1});
        audio_analyser_process(analyser.a, &frames[k]->f);
        audio_analyser_finish(analyser.a);
        loudness[k] = analyser.a->results->integrated[0];
        EXPECT_NEAR(analyser.a->results->truePeak[0], -20.0, 0.1);
    }
    EXPECT_NEAR(loudness[0], loudness[1], 0.01);
}

TEST(LoudnessAnalyser, DualStereoHasTwoMeters) {
    Frame frame;
    planar_tone(&frame.f, 4, 96000, {0.1, 0.1, 0, 0});
    Analyser analyser(params_for(frame.f), {1, 1, 1, 1, 1});
    audio_analyser_process(analyser.a, &frame.f);
    audio_analyser_finish(analyser.a);
    const LoudnessResults* r = analyser.a->results;
    EXPECT_EQ(r->stateCount, 2u);
    EXPECT_NEAR(r->integrated[0], -20.0, 0.1);
    EXPECT_TRUE(minus_infinity(r->integrated[1]));
    EXPECT_NEAR(r->truePeak[1], -20.0, 0.1);
    EXPECT_TRUE(minus_infinity(r->truePeak[2]));
    EXPECT_TRUE(minus_infinity(r->truePeak[3]));
    EXPECT_EQ(r->silent, 0);
}

TEST(LoudnessAnalyser, RefusesUnsupportedChannelCounts) {
    for (uint32_t channels : {3u, 5u, 7u, 9u}) {
        const AudioAnalyserParams params{10, channels, AudioPcmCodec_F32LE, 1, 48000, 0, 0};
        const uint8_t options[R128Option_Count] = {1, 1, 1, 1, 1};
        EXPECT_RUNTIME_ERROR(r128_analyser_create(&params, options), "Unsupported input") << channels;
    }
}

TEST(LoudnessAnalyser, ConversionRefusesAFrameLongerThanItsSeconds) {
    Frame frame;
    planar_tone(&frame.f, 2, 96000, {0.1, 0.1});
    AudioAnalyserParams params = params_for(frame.f);
    params.secondsPerProcess = 1;  // room for one second, two given
    Analyser analyser(params, {1, 1, 1, 1, 1});
    EXPECT_RUNTIME_ERROR(audio_analyser_process(analyser.a, &frame.f), "Frequency filter input beyond capacity");
    // The analyser stays usable.
    frame.f.sampleCount = 48000;
    EXPECT_TRUE(audio_analyser_process(analyser.a, &frame.f));
}
