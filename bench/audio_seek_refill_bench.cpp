// Time the GUI thread spends in a seek of the audio source buffer, against the time of
// one channel-second: one second of one channel resampled from 44.1 kHz to 48 kHz by
// the best sinc converter, the unit of work that cannot be split. A seek fills the
// first second of every routed channel itself (its channel-seconds in parallel) and
// leaves the other four seconds of the ring to the fill job; the goal is a seek of at
// most 1.3 channel-seconds. Cases: one stereo 44.1 kHz WAV and eight mono 44.1 kHz
// WAVs on a 7.1 layout; for comparison a stereo 48 kHz WAV (no resampling) and the
// seek preview of the eight mono files.
//
// Every repetition times one channel-second on the calling thread and then the seeks,
// so the ratios compare figures taken under the same load. Columns (medians):
//   chan-s   one channel-second, ms
//   seek     the seek on the calling thread, its fill job stopped beforehand (as the
//            player stops audio before it seeks), ms, and / chan-s
//   busy     a seek made half a channel-second into the previous seek's catch-up: it
//            also waits for the conversions the cancelled job has running, ms, and
//            / chan-s
//   next     from the start of the seek until the fill job has added the second
//            second (the device plays the first meanwhile: it must come within 1 s)
//   full     from the start of the seek until the ring holds its five seconds, what a
//            seek used to cost the GUI thread when it filled all of them itself
//   cores    CPU time per wall second of the seeks: how many cores were free
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
#include <thread>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "audio/frequency_conversion.h"
#include "audio/planar_ring_buffer.h"
#include "bench/bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool make_wav(const fs::path& path, const std::string& source) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i \"" + source +
                                "\" -c:a pcm_s16le \"" + path.string() + "\"";
    return std::system(command.c_str()) == 0;
}

uint32_t readable(PlanarRingBuffer* ring) {
    uint32_t frames = 0;
    std::vector<uint8_t*> planes(ring->planeCount);
    planar_ring_buffer_get_read(ring, &frames, planes.data());
    return frames;
}

// Waits until the ring holds `frames` frames; the milliseconds since `start`.
double ms_until(PlanarRingBuffer* ring, uint32_t frames, Clock::time_point start) {
    while (readable(ring) < frames) std::this_thread::sleep_for(std::chrono::microseconds(200));
    return ms_since(start);
}

// One channel-second of a mono 44.1 kHz file, decoded once and resampled on demand.
class ChannelSecond {
public:
    explicit ChannelSecond(const fs::path& file) : m_track(QString::fromStdString(file.string())) {
        audio_data_init(&m_data);
        m_track.pcmDescriptor(&m_data.descriptor);
        audio_data_alloc(&m_data, m_data.descriptor.frequency);
        m_track.readForward(m_data.data, 0, m_data.frames, false);
        audio_process_init(&m_process);
        audio_process_setup(&m_process, &m_data.descriptor, 0, AudioSrcBuffer::kFrequency, 1, 1);
        m_work.resize(m_data.descriptor.frequency);
        m_output.resize(AudioSrcBuffer::kFrequency);
        float* work = m_work.data();
        float* output = m_output.data();
        audio_process_decode_checked(&m_process, &output, &work, &m_data, 1);
    }
    ~ChannelSecond() {
        audio_process_free(&m_process);
        audio_data_free(&m_data);
    }
    double ms() {
        const auto start = Clock::now();
        audio_process_convert_channel(&m_process, m_output.data(), m_work.data(), 1);
        return ms_since(start);
    }

private:
    AudioSrcTrack m_track;
    AudioData m_data;
    AudioFormatProcess m_process;
    std::vector<float> m_work;
    std::vector<float> m_output;
};

struct Case {
    const char* name;
    std::vector<fs::path> files;
    uint8_t preview;
};

struct Timings {
    std::vector<double> channelSecond, seek, busy, next, full;
    double cpu = 0, wall = 0;
};

void run_case(SoundIo* context, const Case& c, ChannelSecond& unit, int repetitions, Timings& t) {
    AllAudioSrcTracks tracks;
    for (const fs::path& file : c.files) tracks.addTrack(new AudioSrcTrack(QString::fromStdString(file.string())));
    tracks.autoSelectLayout();
    {
        AudioSrcBuffer buffer(context);
        buffer.setTracks(&tracks);
        if (!buffer.readyFlag()) {
            std::fprintf(stderr, "%s: nothing routed\n", c.name);
            tracks.deleteAll();
            return;
        }
        PlanarRingBuffer* ring = buffer.sourceRing();
        buffer.seek(0.0, c.preview);  // warm up: buffers, caches, the converter's tables
        if (!c.preview) ms_until(ring, AudioSrcBuffer::kRingFrames, Clock::now());
        buffer.stopFillTask();
        unit.ms();
        for (int i = 0; i < repetitions; ++i) {
            const double position = 1.0 + 0.37 * i;
            t.channelSecond.push_back(unit.ms());

            const double cpuStart = bench::process_cpu_seconds();
            const auto start = Clock::now();
            buffer.seek(position, c.preview);
            t.seek.push_back(ms_since(start));
            t.cpu += bench::process_cpu_seconds() - cpuStart;
            t.wall += t.seek.back() / 1000.0;
            if (c.preview) continue;
            t.next.push_back(ms_until(ring, 2 * AudioSrcBuffer::kFrequency, start));
            t.full.push_back(ms_until(ring, AudioSrcBuffer::kRingFrames, start));
            buffer.stopFillTask();

            // Again, half a channel-second into the catch-up of a first seek.
            buffer.seek(position + 2.0, 0);
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(t.channelSecond.back() / 2));
            const auto busyStart = Clock::now();
            buffer.seek(position, 0);
            t.busy.push_back(ms_since(busyStart));
            buffer.stopFillTask();
        }
    }
    tracks.deleteAll();
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
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
    {
        ChannelSecond unit(mono[0]);
        const Case cases[] = {
            {"1 stereo 44.1 kHz WAV, seek", {stereo44}, 0},
            {"8 mono 44.1 kHz WAVs (7.1), seek", mono, 0},
            {"1 stereo 48 kHz WAV, seek", {stereo48}, 0},
            {"8 mono 44.1 kHz WAVs (7.1), seek preview", mono, 1},
        };
        std::printf("%-42s %7s %7s %6s %7s %6s %7s %7s %6s %6s\n", "case", "chan-s", "seek", "ratio", "busy", "ratio",
                    "next", "full", "cores", "load");
        for (const Case& c : cases) {
            const double load = bench::load_average();
            Timings t;
            run_case(context, c, unit, repetitions, t);
            if (t.seek.empty()) continue;
            const double unitMs = bench::median(t.channelSecond);
            const double seekMs = bench::median(t.seek);
            std::printf("%-42s %7.1f %7.1f %6.2f", c.name, unitMs, seekMs, seekMs / unitMs);
            if (t.busy.empty()) {
                std::printf(" %7s %6s %7s %7s", "-", "-", "-", "-");
            } else {
                const double busyMs = bench::median(t.busy);
                std::printf(" %7.1f %6.2f %7.1f %7.1f", busyMs, busyMs / unitMs, bench::median(t.next),
                            bench::median(t.full));
            }
            std::printf(" %6.1f %6.1f\n", t.wall > 0 ? t.cpu / t.wall : 0.0, load);
        }
    }
    soundio_destroy(context);
    fs::remove_all(dir);
    return 0;
}
