// Loudness analysis speed: seconds of audio measured per second of wall time by the
// task's chain (movie reader, filters, R128 analyser with every option on) for a
// 10-minute stereo and a 10-minute 5.1 movie track at 48 kHz, against libebur128 alone
// fed the same samples (interleaved float, same mode) in the same run.
//
// Usage: loudness_bench [folder]   (the movies are made there with FFmpeg when missing)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <ebur128.h>

#include "audio/audio_reader.h"
#include "audio/loudness_analyser.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/audio_frame.h"
#include "base/pcm/channel_layouts.h"

namespace {

constexpr uint32_t kSeconds = 600;
constexpr uint32_t kFrames = kSeconds * 25;

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool make_movie(const std::string& path, uint32_t channels) {
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        return true;
    }
    const std::string layout = channels == 2 ? "stereo" : "5.1";
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=64x48:rate=25:duration=" +
        std::to_string(kSeconds) + " -f lavfi -i \"anoisesrc=c=pink:r=48000:a=0.3:d=" + std::to_string(kSeconds) +
        ",aformat=channel_layouts=" + layout + "\" -map 0:v -map 1:a -c:v hap -c:a pcm_s16le \"" + path + "\"";
    return std::system(command.c_str()) == 0;
}

AudioReaderSources sources_for(const std::string& path, uint32_t channels) {
    AudioReaderSources sources;
    const uint32_t layout = channels == 2 ? NAudioChannelLayout_Stereo : NAudioChannelLayout_5_1;
    audio_reader_sources_init(&sources, layout, 0, channels);
    sources.frameCount = kFrames;
    const std::u16string wide(path.begin(), path.end());
    audio_source_setMovFile(&sources, wide.c_str());
    for (uint32_t c = 0; c < channels; ++c) audio_source_addMovTrack(&sources, 0, c, uint64_t(1) << c);
    return sources;
}

// The whole chain; keeps the delivered samples interleaved for the reference run.
double run_chain(const AudioReaderSources& sources, std::vector<float>* interleaved, double* loudness) {
    AudioReader reader;
    AudioFrame frame;
    audio_frame_init(&frame);
    const auto start = Clock::now();
    audio_reader_build(&reader, &sources, 10);
    audio_reader_alloc_out_frame(&frame, &reader);
    const AudioAnalyserParams params{10, frame.channels, AudioPcmCodec_F32LE, 1, frame.frequency, 0, 0};
    const uint8_t options[R128Option_Count] = {1, 1, 1, 1, 1};
    AudioAnalyser* analyser = r128_analyser_create(&params, options);
    std::vector<float> kept;
    double keepSeconds = 0.0;
    while (const uint64_t n = audio_reader_readNext(&reader, &frame)) {
        audio_analyser_process(analyser, &frame);
        const auto keepStart = Clock::now();
        for (uint64_t i = 0; i < n; ++i)
            for (uint32_t c = 0; c < frame.channels; ++c)
                kept.push_back(reinterpret_cast<const float*>(frame.planes[c])[i]);
        keepSeconds += seconds_since(keepStart);
    }
    audio_analyser_finish(analyser);
    const double elapsed = seconds_since(start) - keepSeconds;
    *loudness = analyser->results->integrated[0];
    audio_analyser_close(analyser);
    audio_reader_free(&reader);
    audio_frame_free_data(&frame);
    *interleaved = std::move(kept);
    return elapsed;
}

double run_reference(const std::vector<float>& interleaved, uint32_t channels, double* loudness) {
    const auto start = Clock::now();
    ebur128_state* meter = ebur128_init(channels, 48000,
                                        EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA |
                                            EBUR128_MODE_TRUE_PEAK);
    const size_t frames = interleaved.size() / channels;
    const size_t step = 480000;
    for (size_t at = 0; at < frames; at += step)
        ebur128_add_frames_float(meter, interleaved.data() + at * channels, std::min(step, frames - at));
    ebur128_loudness_global(meter, loudness);
    double value = 0.0;
    ebur128_loudness_range(meter, &value);
    for (uint32_t c = 0; c < channels; ++c) ebur128_true_peak(meter, c, &value);
    const double elapsed = seconds_since(start);
    ebur128_destroy(&meter);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    for (uint32_t channels : {2u, 6u}) {
        const std::string path = folder + "/loudness_bench_" + std::to_string(channels) + "ch.mov";
        if (!make_movie(path, channels)) {
            std::fprintf(stderr, "could not make %s\n", path.c_str());
            return 1;
        }
        std::vector<float> samples;
        double chainLoudness = 0.0, refLoudness = 0.0;
        const double chain = run_chain(sources_for(path, channels), &samples, &chainLoudness);
        const double reference = run_reference(samples, channels, &refLoudness);
        std::printf("%s 48 kHz, %u s: chain %.2f s (%.0fx real time, I %.2f LUFS); libebur128 alone %.2f s "
                    "(%.0fx, I %.2f LUFS)\n",
                    channels == 2 ? "stereo" : "5.1", kSeconds, chain, kSeconds / chain, chainLoudness, reference,
                    kSeconds / reference, refLoudness);
    }
    return 0;
}
