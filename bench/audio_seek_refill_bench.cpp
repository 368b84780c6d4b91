// Time the GUI thread spends in a seek of the audio source buffer: the five one-second
// fill steps that refill the source ring before playback starts (decode, resample
// to 48 kHz, route). Cases: one stereo 44.1 kHz WAV, eight mono 44.1 kHz WAVs on a
// 7.1 layout, and for comparison a stereo 48 kHz WAV (no resampling) and the
// one-step seek preview of the eight mono files.
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

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool make_wav(const fs::path& path, const std::string& source) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i \"" + source +
                                "\" -c:a pcm_s16le \"" + path.string() + "\"";
    return std::system(command.c_str()) == 0;
}

struct Case {
    const char* name;
    std::vector<fs::path> files;
    uint8_t preview;
    uint32_t channelSeconds;  // source channel-seconds converted per seek
};

// Milliseconds of each seek (the fill job it starts is stopped outside the timing).
std::vector<double> time_seeks(SoundIo* context, const Case& c, int repetitions) {
    AllAudioSrcTracks tracks;
    for (const fs::path& file : c.files) tracks.addTrack(new AudioSrcTrack(QString::fromStdString(file.string())));
    tracks.autoSelectLayout();
    std::vector<double> times;
    {
        AudioSrcBuffer buffer(context);
        buffer.setTracks(&tracks);
        if (!buffer.readyFlag()) {
            std::fprintf(stderr, "%s: nothing routed\n", c.name);
            tracks.deleteAll();
            return times;
        }
        buffer.seek(0.0, c.preview);  // warm up: buffers, caches, the converter's tables
        buffer.stopFillTask();
        for (int i = 0; i < repetitions; ++i) {
            const auto start = Clock::now();
            buffer.seek(1.0 + 0.37 * i, c.preview);
            const auto end = Clock::now();
            buffer.stopFillTask();
            times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    tracks.deleteAll();
    return times;
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
    std::printf("%-44s %10s %10s %10s %18s\n", "case", "min ms", "median ms", "max ms", "ms/channel-second");
    for (const Case& c : cases) {
        std::vector<double> times = time_seeks(context, c, repetitions);
        if (times.empty()) continue;
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        std::printf("%-44s %10.1f %10.1f %10.1f %18.2f\n", c.name, times.front(), median, times.back(),
                    median / c.channelSeconds);
    }
    soundio_destroy(context);
    fs::remove_all(dir);
    return 0;
}
