// Time the GUI thread spends in a seek of the audio source buffer: the five one-second
// fill steps that refill the source ring before playback starts (decode, resample
// to 48 kHz, route). Cases: one stereo 44.1 kHz WAV, eight mono 44.1 kHz WAVs on a
// 7.1 layout, and for comparison a stereo 48 kHz WAV (no resampling) and the
// one-step seek preview of the eight mono files.
//
// Each case is timed twice in the same run: with the channel-seconds converted in
// parallel (as the player does) and with every parallel loop held to one thread (the
// serial path). 'cores' is the CPU time the parallel seeks got per wall second: on a
// shared machine it shows how many cores were actually free.
//
//   audio_seek_refill_bench [repetitions]
//
// The WAVs are made with FFmpeg into a temporary folder, removed at the end.
#include <soundio/soundio.h>

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "bench/bench_support.h"
#include "platform/parallel_for.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool make_wav(const fs::path& path, const std::string& source) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i \"" + source +
                                "\" -c:a pcm_s16le \"" + path.string() + "\"";
    return std::system(command.c_str()) == 0;
}

struct Timing {
    std::vector<double> ms;  // one per seek
    double cores = 0;        // CPU seconds per wall second over the seeks
};

struct Case {
    const char* name;
    std::vector<fs::path> files;
    uint8_t preview;
    uint32_t channelSeconds;  // source channel-seconds converted per seek
};

// Milliseconds of each seek (the fill job it starts is stopped outside the timing).
Timing time_seeks(SoundIo* context, const Case& c, int repetitions) {
    AllAudioSrcTracks tracks;
    for (const fs::path& file : c.files) tracks.addTrack(new AudioSrcTrack(QString::fromStdString(file.string())));
    tracks.autoSelectLayout();
    Timing timing;
    std::vector<double>& times = timing.ms;
    double cpu = 0, wall = 0;
    {
        AudioSrcBuffer buffer(context);
        buffer.setTracks(&tracks);
        if (!buffer.readyFlag()) {
            std::fprintf(stderr, "%s: nothing routed\n", c.name);
            tracks.deleteAll();
            return timing;
        }
        buffer.seek(0.0, c.preview);  // warm up: buffers, caches, the converter's tables
        buffer.stopFillTask();
        for (int i = 0; i < repetitions; ++i) {
            const double cpu_start = bench::process_cpu_seconds();
            const auto start = Clock::now();
            buffer.seek(1.0 + 0.37 * i, c.preview);
            const auto end = Clock::now();
            cpu += bench::process_cpu_seconds() - cpu_start;
            buffer.stopFillTask();
            times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
            wall += times.back() / 1000.0;
        }
    }
    tracks.deleteAll();
    timing.cores = wall > 0 ? cpu / wall : 0;
    return timing;
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::string pattern = (fs::temp_directory_path() / "audio_seek_bench_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;

    const fs::path stereo44 = dir / "stereo_44k.wav";
    const fs::path stereo48 = dir / "stereo_48k.wav";
    bool made = make_wav(stereo44, "aevalsrc=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*1250*t):s=44100:d=12") &&
                make_wav(stereo48, "aevalsrc=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*1250*t):s=48000:d=12");
    std::vector<fs::path> mono;
    const char* suffixes[] = {"_L", "_R", "_C", "_LFE", "_Ls", "_Rs", "_Lrs", "_Rrs"};
    for (int i = 0; made && i < 8; ++i) {
        mono.push_back(dir / (std::string("mono") + suffixes[i] + ".wav"));
        const std::string tone = "sine=frequency=" + std::to_string(300 + 150 * i) + ":sample_rate=44100:duration=12";
        made = make_wav(mono.back(), tone);
    }
    if (!made) {
        std::fprintf(stderr, "ffmpeg could not make the WAV files\n");
        fs::remove_all(dir);
        return 1;
    }

    SoundIo* context = soundio_create();  // the rings take their page size from it
    if (!context) {
        fs::remove_all(dir);
        return 1;
    }
    const Case cases[] = {
        {"1 stereo 44.1 kHz WAV, seek", {stereo44}, 0, 2 * 5},
        {"8 mono 44.1 kHz WAVs (7.1), seek", mono, 0, 8 * 5},
        {"1 stereo 48 kHz WAV, seek", {stereo48}, 0, 2 * 5},
        {"8 mono 44.1 kHz WAVs (7.1), seek preview", mono, 1, 8},
    };
    std::printf("%-44s %10s %10s %10s %10s %8s %6s %6s\n", "case", "serial ms", "par ms", "par min", "par max",
                "speed-up", "cores", "load");
    for (const Case& c : cases) {
        const double load = bench::load_average();
        Timing serial;
        {
            platform::ParallelismLimit one_thread(1);
            serial = time_seeks(context, c, repetitions);
        }
        const Timing parallel = time_seeks(context, c, repetitions);
        if (serial.ms.empty() || parallel.ms.empty()) continue;
        const double serialMedian = bench::median(serial.ms), parallelMedian = bench::median(parallel.ms);
        std::printf("%-44s %10.1f %10.1f %10.1f %10.1f %8.2f %6.1f %6.1f\n", c.name, serialMedian, parallelMedian,
                    *std::min_element(parallel.ms.begin(), parallel.ms.end()),
                    *std::max_element(parallel.ms.begin(), parallel.ms.end()), serialMedian / parallelMedian,
                    parallel.cores, load);
        std::printf("%-44s %10.2f %10.2f   (ms per channel-second, %u channel-seconds)\n", "", serialMedian / c.channelSeconds,
                    parallelMedian / c.channelSeconds, c.channelSeconds);
    }
    soundio_destroy(context);
    fs::remove_all(dir);
    return 0;
}
