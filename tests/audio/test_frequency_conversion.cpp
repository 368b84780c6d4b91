#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/pcm/audio_data.h"
#include "audio/frequency_conversion.h"
#include "base/pcm/sample_format_kernels.h"
#include "tests/support/expect_error.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Tone {
    double frequency;
    double amplitude;
};

// `frames` frames of one tone per channel, starting at frame `first`, encoded in `codec`.
struct PcmInput {
    AudioData data;
    PcmInput(uint32_t codec, uint32_t rate, bool planar, const std::vector<Tone>& tones, uint32_t frames,
             uint64_t first = 0) {
        audio_data_init(&data);
        const uint32_t channels = static_cast<uint32_t>(tones.size());
        audio_descriptor_init(&data.descriptor, codec, channels, rate, planar);
        audio_data_alloc(&data, frames);
        std::vector<std::vector<float>> planes(channels, std::vector<float>(frames));
        std::vector<const float*> inputs;
        for (uint32_t c = 0; c < channels; ++c) {
            for (uint32_t i = 0; i < frames; ++i)
                planes[c][i] = static_cast<float>(tones[c].amplitude *
                                                  std::sin(2 * kPi * tones[c].frequency * double(first + i) / rate));
            inputs.push_back(planes[c].data());
        }
        AudioEncoder encoder;
        audio_encoder_init(&encoder, &data.descriptor);
        audio_encoder_process(&encoder, data.planes, inputs.data(), frames);
    }
    ~PcmInput() { audio_data_free(&data); }
};

struct Outputs {
    std::vector<std::vector<float>> planes;
    std::vector<float*> pointers;
    Outputs(uint32_t channels, size_t frames, float fill = 0.123f) : planes(channels, std::vector<float>(frames, fill)) {
        for (auto& p : planes) pointers.push_back(p.data());
    }
};

// Frequency from the first and last rising zero crossings (linearly interpolated).
double zero_crossing_frequency(const std::vector<float>& x, size_t from, size_t to, double rate) {
    double first = 0, last = 0;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (crossings++ == 0) first = t;
            last = t;
        }
    }
    return crossings > 1 ? (crossings - 1) / (last - first) * rate : 0.0;
}

// Amplitude of a sine from its RMS, around its mean.
double sine_amplitude(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0, squares = 0;
    for (size_t i = from; i < to; ++i) sum += x[i];
    const double mean = sum / double(to - from);
    for (size_t i = from; i < to; ++i) squares += (x[i] - mean) * (x[i] - mean);
    return std::sqrt(2 * squares / double(to - from));
}

double decibels(double ratio) { return 20 * std::log10(ratio); }

// The converter's calls, seen through the process's converter hook.
struct ConverterLog {
    int calls = 0;
    std::vector<long> generated, used;
};
ConverterLog g_log;
long g_generated_shift = 0;
long g_used_shift = 0;
int g_failure = 0;

int logging_converter(SRC_DATA* data, int type, int channels) {
    ++g_log.calls;
    EXPECT_EQ(type, SRC_SINC_BEST_QUALITY);
    EXPECT_EQ(channels, 1);
    if (g_failure) return g_failure;
    const int result = src_simple(data, type, channels);
    g_log.generated.push_back(data->output_frames_gen);
    g_log.used.push_back(data->input_frames_used);
    data->output_frames_gen += g_generated_shift;
    data->input_frames_used += g_used_shift;
    return result;
}

class FrequencyConversion : public testing::Test {
protected:
    void SetUp() override {
        g_log = ConverterLog{};
        g_generated_shift = g_used_shift = 0;
        g_failure = 0;
        audio_process_converter = logging_converter;
        audio_process_init(&m_process);
    }
    void TearDown() override {
        audio_process_free(&m_process);
        audio_process_converter = src_simple;
    }
    AudioFormatProcess m_process;
};

TEST_F(FrequencyConversion, ToneKeepsItsFrequencyAndLevelFromEveryRate) {
    for (uint32_t rate : {44100u, 96000u, 8000u}) {
        SCOPED_TRACE(rate);
        // Stereo S16 little-endian written by hand: 0.5 x sin at 1 kHz.
        AudioData in;
        audio_data_init(&in);
        audio_descriptor_init(&in.descriptor, AudioPcmCodec_S16LE, 2, rate, false);
        audio_data_alloc(&in, rate);
        for (uint32_t i = 0; i < rate; ++i) {
            const auto v = static_cast<int16_t>(std::lrint(0.5 * std::sin(2 * kPi * 1000.0 * i / rate) * 32767));
            for (int c = 0; c < 2; ++c) {
                in.data[4 * i + 2 * c] = static_cast<uint8_t>(v & 0xFF);
                in.data[4 * i + 2 * c + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
            }
        }
        audio_process_init(&m_process);
        audio_process_setup(&m_process, &in.descriptor, 0, 48000, 1, 1);
        EXPECT_EQ(m_process.ratio, 48000.0 / rate);
        EXPECT_EQ(m_process.needsConversion, 1);
        Outputs out(2, 48000);
        g_log = ConverterLog{};
        testing::internal::CaptureStdout();
        audio_process_run_checked(&m_process, out.pointers.data(), &in, 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(g_log.calls, 2);
        for (long generated : g_log.generated) EXPECT_EQ(generated, 48000);
        for (long used : g_log.used) EXPECT_EQ(used, long(rate));

        // The converter's filter reaches about 40 input samples past each block edge.
        const size_t margin = std::max<size_t>(200, 48000 / rate * 50);
        for (int c = 0; c < 2; ++c) {
            const auto& y = out.planes[c];
            EXPECT_NEAR(zero_crossing_frequency(y, margin, 48000 - margin, 48000), 1000.0, 0.5);
            EXPECT_NEAR(decibels(sine_amplitude(y, 192, 47808) / 0.5), 0.0, 0.05);
            double error = 0;
            for (size_t m = margin; m < 48000 - margin; ++m) {
                const double d = y[m] - 0.5 * std::sin(2 * kPi * 1000.0 * m / 48000);
                error += d * d;
            }
            EXPECT_LT(decibels(std::sqrt(error / double(48000 - 2 * margin))), -60.0);
        }
        audio_process_free(&m_process);
        audio_data_free(&in);
    }
}

TEST_F(FrequencyConversion, ConsecutiveSecondsJoinWithASmallSeam) {
    // Each second is converted on its own: the tone stays continuous across the
    // boundaries, with a small error where the converter saw no neighbours.
    const std::vector<Tone> tone = {{1000, 0.5}};
    PcmInput first(AudioPcmCodec_F32LE, 44100, true, tone, 44100);
    audio_process_setup(&m_process, &first.data.descriptor, 0, 48000, 1, 1);
    std::vector<float> joined;
    for (uint64_t second = 0; second < 3; ++second) {
        PcmInput in(AudioPcmCodec_F32LE, 44100, true, tone, 44100, second * 44100);
        Outputs out(1, 48000);
        audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1);
        joined.insert(joined.end(), out.planes[0].begin(), out.planes[0].end());
    }
    double seam = 0, interior = 0;
    for (size_t m = 200; m < joined.size() - 200; ++m) {
        const double d = std::fabs(joined[m] - 0.5 * std::sin(2 * kPi * 1000.0 * m / 48000));
        const size_t fromBoundary = std::min(m % 48000, 48000 - m % 48000);
        (fromBoundary < 200 ? seam : interior) = std::max(fromBoundary < 200 ? seam : interior, d);
    }
    EXPECT_LT(seam, 0.003);
    EXPECT_LT(interior, 0.001);
    EXPECT_NEAR(zero_crossing_frequency(joined, 200, joined.size() - 200, 48000), 1000.0, 0.1);
}

TEST_F(FrequencyConversion, ReadCoefficientTwoPlaysAtDoubleSpeed) {
    PcmInput in(AudioPcmCodec_S16LE, 44100, false, {{1000, 0.5}, {500, 0.25}}, 88200);
    audio_process_setup(&m_process, &in.data.descriptor, 0, 48000, 2, 1);
    EXPECT_EQ(m_process.readCoeff, 2u);
    Outputs out(2, 48000);
    audio_process_run_checked(&m_process, out.pointers.data(), &in.data, 1);
    EXPECT_EQ(g_log.used, (std::vector<long>{44100, 44100}));
    EXPECT_NEAR(zero_crossing_frequency(out.planes[0], 200, 47800, 48000), 2000.0, 0.5);
    EXPECT_NEAR(zero_crossing_frequency(out.planes[1], 200, 47800, 48000), 1000.0, 0.5);
    // Averaging frame pairs filters a 2 kHz tone at 88.2 kHz by cos(pi x 1000 / 44100).
    EXPECT_NEAR(sine_amplitude(out.planes[0], 192, 47808), 0.5 * std::cos(kPi * 1000 / 44100), 0.003);

    // Back to normal speed, with the input buffer still the double-speed size.
    audio_process_set_read_coeff(&m_process, 1);
    audio_process_run_checked(&m_process, out.pointers.data(), &in.data, 1);
    EXPECT_NEAR(zero_crossing_frequency(out.planes[0], 200, 47800, 48000), 1000.0, 0.5);
}

TEST_F(FrequencyConversion, EqualFrequenciesDecodeStraightIntoTheOutputs) {
    PcmInput in(AudioPcmCodec_S24BE, 48000, false, {{1000, 0.5}, {3000, 0.3}, {440, 0.9}}, 96000);
    audio_process_setup(&m_process, &in.data.descriptor, 0b010, 48000, 1, 2);
    EXPECT_EQ(m_process.ratio, 1.0);
    EXPECT_EQ(m_process.needsConversion, 0);
    Outputs out(3, 96000);
    audio_process_run(&m_process, out.pointers.data(), in.data.planes, 2);
    EXPECT_EQ(g_log.calls, 0);

    AudioDecoderKernels decoder;
    audio_decoder_select(&decoder, AudioPcmCodec_S24BE, 3, false, 1);
    Outputs decoded(3, 96000);
    audio_decoder_process(&decoder, decoded.pointers.data(), in.data.planes, 3, 96000);
    // The skip mask only spares the converter: channel 1 is decoded like the others.
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(std::memcmp(out.planes[c].data(), decoded.planes[c].data(), 96000 * sizeof(float)), 0) << c;
}

TEST_F(FrequencyConversion, SkippedChannelIsNeitherConvertedNorWritten) {
    PcmInput in(AudioPcmCodec_S16LE, 44100, false, {{1000, 0.5}, {1000, 0.5}, {2000, 0.5}}, 44100);
    audio_process_setup(&m_process, &in.data.descriptor, 0b010, 48000, 1, 1);
    Outputs out(3, 48000, 0.123f);
    audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1);
    EXPECT_EQ(g_log.calls, 2);
    for (float v : out.planes[1]) ASSERT_EQ(v, 0.123f);
    EXPECT_NEAR(zero_crossing_frequency(out.planes[2], 200, 47800, 48000), 2000.0, 0.5);
}

TEST_F(FrequencyConversion, EveryCodecAndChannelCaseIsDecodedBeforeConversion) {
    struct Layout {
        uint32_t channels;
        bool planar;
    };
    for (uint32_t codec = 0; codec <= 10; ++codec) {
        for (const Layout layout : {Layout{1, false}, Layout{2, false}, Layout{3, false}, Layout{2, true}}) {
            SCOPED_TRACE(std::string(audio_pcm_codec_name(codec)) + " channels " + std::to_string(layout.channels) +
                         (layout.planar ? " planar" : " interleaved"));
            // Each channel its own tone and level, so a swapped or repeated channel shows.
            std::vector<Tone> tones;
            for (uint32_t c = 0; c < layout.channels; ++c) tones.push_back({1000.0 * (c + 1), 0.5 / (c + 1)});
            PcmInput in(codec, 32000, layout.planar, tones, 32000);
            AudioFormatProcess process;
            audio_process_init(&process);
            audio_process_setup(&process, &in.data.descriptor, 0, 48000, 1, 1);
            Outputs out(layout.channels, 48000);
            testing::internal::CaptureStdout();
            audio_process_run_checked(&process, out.pointers.data(), &in.data, 1);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
            for (uint32_t c = 0; c < layout.channels; ++c) {
                EXPECT_NEAR(zero_crossing_frequency(out.planes[c], 300, 47700, 48000), tones[c].frequency, 0.5) << c;
                // U8 is coarse: its code maps 0.5 to 0.5 x 127 / 128 and its rounding
                // follows the tone.
                const double tolerance = codec == AudioPcmCodec_U8 ? 0.25 : 0.05;
                EXPECT_NEAR(decibels(sine_amplitude(out.planes[c], 288, 47712) / tones[c].amplitude), 0.0, tolerance)
                    << c;
            }
            audio_process_free(&process);
        }
    }
}

TEST_F(FrequencyConversion, ConverterReportsAreHonoured) {
    PcmInput in(AudioPcmCodec_F32LE, 44100, true, {{1000, 0.5}, {1000, 0.5}}, 44100);
    audio_process_setup(&m_process, &in.data.descriptor, 0, 48000, 1, 1);

    // Fewer frames generated: the rest of the second is silence.
    g_generated_shift = -10;
    {
        Outputs out(2, 48000, 0.123f);
        testing::internal::CaptureStdout();
        audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        for (int c = 0; c < 2; ++c) {
            for (size_t m = 47990; m < 48000; ++m) EXPECT_EQ(out.planes[c][m], 0.0f);
            EXPECT_NE(out.planes[c][47989], 0.123f);
        }
    }
    // More reported than asked for, and input left over: both are reported.
    g_generated_shift = 10;
    g_used_shift = -5;
    {
        Outputs out(2, 48000);
        testing::internal::CaptureStdout();
        audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1);
        const std::string input = "Warning : not all input samples used for frequency conv (Expected 44100 ; found 44095)\n";
        const std::string output =
            "Warning : not all output samples used for frequency conv (outside range : Expected 48000 ; found "
            "48010)\n";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), input + output + input + output);
    }
    // A failure stops at the failing channel: the next keeps its contents.
    g_failure = 6;
    g_log = ConverterLog{};
    {
        Outputs out(2, 48000, 0.123f);
        testing::internal::CaptureStdout();
        EXPECT_RUNTIME_ERROR(audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1),
                             "Frequency conversion error");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("Sample rate error : ") + src_strerror(6) + "\n");
        EXPECT_EQ(g_log.calls, 1);
        for (float v : out.planes[1]) ASSERT_EQ(v, 0.123f);
    }
}

TEST_F(FrequencyConversion, RefusedSetUpsAndRuns) {
    AudioDescriptor stereo;
    audio_descriptor_init(&stereo, AudioPcmCodec_S16LE, 2, 44100, false);

    testing::internal::CaptureStdout();
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &stereo, 0, 48000, 1, 0), "Zero value audio process p f");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERR : Channels : 2 ; Freq : 44100 ; Freq Out ; 48000 ; Coeff Read : 1, Initial sec intern : 0\n");
    testing::internal::CaptureStdout();
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &stereo, 0, 0, 1, 1), "Zero value audio process p f");
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &stereo, 0, 48000, 0, 1), "Zero value audio process p f");
    testing::internal::GetCapturedStdout();
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &stereo, 0, 48000, 3, 1), "Coeff read not supported");

    // The converter accepts at most a factor of 256: 187 Hz cannot reach 48000 Hz.
    AudioDescriptor low;
    audio_descriptor_init(&low, AudioPcmCodec_S16LE, 1, 187, false);
    testing::internal::CaptureStdout();
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &low, 0, 48000, 1, 1), "Frequency conversion error");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERR : Frequency conversion ratio out of range (in : 187 Hz ; out : 48000 Hz)\n");
    audio_process_free(&m_process);
    audio_process_init(&m_process);
    {
        PcmInput in(AudioPcmCodec_S16LE, 188, false, {{50, 0.5}}, 188);
        audio_process_setup(&m_process, &in.data.descriptor, 0, 48000, 1, 1);
        Outputs out(1, 48000, 0.123f);
        audio_process_run_checked(&m_process, out.pointers.data(), &in.data, 1);
        // At this extreme ratio the converter may fall a frame short: the tail is silence.
        ASSERT_EQ(g_log.generated.size(), 1u);
        EXPECT_GE(g_log.generated[0], 47990);
        for (size_t m = g_log.generated[0]; m < 48000; ++m) EXPECT_EQ(out.planes[0][m], 0.0f);
        EXPECT_NEAR(zero_crossing_frequency(out.planes[0], 2000, 46000, 48000), 50.0, 0.5);
        audio_process_free(&m_process);
    }

    // The decoder's refusals name the channel case.
    Outputs out(2, 48000);
    PcmInput in(AudioPcmCodec_S16LE, 44100, false, {{1000, 0.5}, {1000, 0.5}}, 44100);
    audio_process_setup(&m_process, &in.data.descriptor, 0, 48000, 1, 1);
    AudioDescriptor none = stereo;
    none.codec = AudioPcmCodec_None;
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &none, 0, 48000, 1, 1), "Unsupported pcm codec stereo");
    none.channels = 6;
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &none, 0, 48000, 1, 1), "Unsupported pcm codec multi channels");
    none.planar = 1;
    EXPECT_RUNTIME_ERROR(audio_process_setup(&m_process, &none, 0, 48000, 1, 1), "Unsupported pcm codec mono");
    // A refused set-up leaves no decoder to run with.
    EXPECT_RUNTIME_ERROR(audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1), "Invalid params\n");
    audio_process_free(&m_process);
    audio_process_init(&m_process);

    // Runs without a set-up process, without buffers, or with too short an input.
    EXPECT_RUNTIME_ERROR(audio_process_run(nullptr, out.pointers.data(), in.data.planes, 1), "Invalid params\n");
    EXPECT_RUNTIME_ERROR(audio_process_run(&m_process, out.pointers.data(), in.data.planes, 1), "Invalid params\n");
    audio_process_setup(&m_process, &in.data.descriptor, 0, 48000, 1, 1);
    EXPECT_RUNTIME_ERROR(audio_process_run(&m_process, out.pointers.data(), in.data.planes, 0),
                         "Invalid sec duration audio process");
    EXPECT_RUNTIME_ERROR(audio_process_run_checked(&m_process, out.pointers.data(), nullptr, 1), "Invalid track_in\n");
    EXPECT_RUNTIME_ERROR(audio_process_run_checked(&m_process, out.pointers.data(), &in.data, 2), "Invalid track_in\n");
    audio_process_set_read_coeff(&m_process, 2);
    EXPECT_RUNTIME_ERROR(audio_process_run_checked(&m_process, out.pointers.data(), &in.data, 1), "Invalid track_in\n");
    EXPECT_RUNTIME_ERROR(audio_process_set_read_coeff(&m_process, 3), "Coeff read not supported");
    EXPECT_EQ(m_process.readCoeff, 2u);
    EXPECT_EQ(g_log.calls, 1);  // only the 188 Hz run reached the converter
}

TEST_F(FrequencyConversion, WorkPlanesGrowOnlyAndFollowTheChannelCount) {
    AudioDescriptor mono;
    audio_descriptor_init(&mono, AudioPcmCodec_S16LE, 1, 44100, false);
    audio_process_setup(&m_process, &mono, 0, 48000, 1, 1);
    EXPECT_EQ(m_process.planar, 1);
    EXPECT_EQ(m_process.workCapacity, 44100u);
    audio_process_reserve(&m_process, 1000);
    EXPECT_EQ(m_process.workCapacity, 44100u);
    audio_process_reserve(&m_process, 88200);
    EXPECT_EQ(m_process.workCapacity, 88200u);
    m_process.work[0][88199] = 1.0f;  // ASan: the whole plane is ours

    // Set up again for more channels without a free in between: planes for every channel.
    AudioDescriptor six;
    audio_descriptor_init(&six, AudioPcmCodec_S16LE, 6, 44100, false);
    audio_process_setup(&m_process, &six, 0, 48000, 1, 2);
    EXPECT_EQ(m_process.workCapacity, 88200u);
    for (int c = 0; c < 6; ++c) m_process.work[c][88199] = 1.0f;
    audio_process_free(&m_process);
    EXPECT_EQ(m_process.work, nullptr);
    EXPECT_EQ(m_process.workCapacity, 0u);
    audio_process_free(&m_process);
}

}  // namespace
