// Frames per second the read-ahead queue delivers while playing 4K and 8K HapQ movies
// whose files sit in the page cache, chunked and in one chunk per frame; the reader
// here takes and releases frames as fast as they come. Each movie is played twice in
// the same run: with one frame in flight (the plain schedule: read a frame, decode its
// chunks in parallel, then the next) and with the queue's own choice of frames in
// flight. Beside them, to show what bounds them: the frame reads alone and the chunk
// decode alone (frames already in memory), both on one thread, and FFmpeg's full
// decode of the same file as the reference a user would pick instead.
//
//   readahead_bench <movie folder> [seconds per measurement] [runs] [frames in flight,...]
//                   [movie name part]
//
// The folder is made by bench/make_bench_movies.sh. Every figure is the median of the
// runs; the load average is printed with them. The optional list ("-" for none) plays
// every movie again with each of those numbers of frames in flight, to weigh the
// queue's choice; the last argument keeps only the movies whose name contains it.
//
// The ratios: 'q/k*ser' is the queue against k times the plain schedule, k the smaller
// of the frames in flight and the cores (the scaling of single-chunk movies);
// 'q/min(r,d)' is the queue against the slower of reading alone and decoding alone (how
// well reading overlaps decoding, for chunked movies).
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "media/file_access.h"
#include "media/hap_decoder.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "media/video_frame.h"
#include "platform/cpu_info.h"
#include "tests/support/test_movies.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::Bytes;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Packet {
    uint64_t pos;
    uint64_t size;
};

std::vector<Packet> packets(const std::string& folder, const std::string& name) {
    std::vector<Packet> list;
    std::FILE* file = std::fopen((folder + "/" + name + ".packets").c_str(), "r");
    if (!file) throw std::runtime_error("missing packet list for " + name);
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        unsigned long long size = 0, pos = 0;
        if (std::sscanf(line, "size=%llu|pos=%llu", &size, &pos) == 2) list.push_back({pos, size});
    }
    std::fclose(file);
    return list;
}

// Reads the whole file once so that the measurements find it in the page cache.
void warm_page_cache(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("cannot open " + path);
    std::vector<char> buffer(1 << 22);
    while (std::fread(buffer.data(), 1, buffer.size(), file) == buffer.size()) {
    }
    std::fclose(file);
}

// Frames the queue's job produces per second in loop play, after a warm-up that
// fills the queue. Counted as frames taken plus the change of the queued count, so
// the frames that were already queued when the window opened do not count.
// `in_flight` 0 lets the queue choose.
double queue_fps(FileToPlay& movie, uint32_t in_flight, double seconds) {
    FrameCompressedBuffer queue(nullptr, 25, 10);
    queue.setFramesInFlight(in_flight);
    if (!queue.setFile(&movie)) throw std::runtime_error("slots could not be allocated");
    queue.setLoopMode(1);
    queue.setPlayStep(1);
    queue.prefill(0);
    if (!queue.startCacheThread()) throw std::runtime_error("read-ahead job did not start");
    const auto take_one = [&queue, &movie] {
        VideoFrame* frame = nullptr;
        const int32_t slot = queue.takeNextFrame(&frame);
        if (slot < 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            return false;
        }
        const bool failed = (frame->status & VideoFrameStatus_DecodeFailed) != 0;
        queue.releaseFrame(slot);
        if (failed) throw std::runtime_error("decode failed: " + movie.errorText().toStdString());
        return true;
    };
    for (int taken = 0; taken < 25;) taken += take_one() ? 1 : 0;
    const double queued_before = queue.cachedCount();
    uint64_t taken = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        taken += take_one() ? 1 : 0;
        elapsed = seconds_since(start);
    } while (elapsed < seconds);
    const double produced = double(taken) + double(queue.cachedCount()) - queued_before;
    queue.stopCacheThread();
    return produced / elapsed;
}

// The plain schedule's two steps apart, on one thread, over every frame in turn.
template <typename Step>
double steps_per_second(size_t frames, double seconds, Step step) {
    uint64_t done = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        step(done % frames);
        ++done;
        elapsed = seconds_since(start);
    } while (elapsed < seconds);
    return double(done) / elapsed;
}

double read_fps(const std::string& path, const std::vector<Packet>& list, double seconds) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("cannot open " + path);
    uint64_t largest = 0;
    for (const Packet& p : list) largest = std::max(largest, p.size);
    Bytes buffer(largest);
    const double fps = steps_per_second(list.size(), seconds, [&](size_t i) {
        file_read_at(file, buffer.data(), list[i].pos, uint32_t(list[i].size));
    });
    std::fclose(file);
    return fps;
}

double decode_fps(const std::string& path, const std::vector<Packet>& list, uint32_t width, uint32_t height,
                  double seconds) {
    std::vector<Bytes> frames;
    for (const Packet& p : list) frames.push_back(testsupport::read_file_bytes(path, p.pos, p.size));
    const uint32_t capacity = width / 4 * (height / 4) * 16u;  // HapQ: 16-byte blocks
    Bytes out(capacity);
    return steps_per_second(frames.size(), seconds, [&](size_t i) {
        uint32_t used = 0, format = 0;
        if (HapDecode(frames[i].data(), uint32_t(frames[i].size()), 0, HapDecodeCallback_MultiThread, nullptr,
                      out.data(), capacity, &used, &format))
            throw std::runtime_error("decode failed in " + path);
    });
}

// FFmpeg's decode of the file played four times over, timed as a process.
double ffmpeg_fps(const std::string& path, size_t frames) {
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -threads 0 -stream_loop 3 -i '" + path + "' -f null -";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return 0;
    return double(frames * 4) / seconds_since(start);
}

// "2,4,8" as a list of positive counts.
std::vector<uint32_t> in_flight_list(const char* text) {
    std::vector<uint32_t> list;
    for (const char* p = text; *p;) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(p, &end, 10);
        if (end == p) break;
        if (value > 0) list.push_back(uint32_t(value));
        p = *end == ',' ? end + 1 : end;
    }
    return list;
}

void print_uptime(const char* when) {
    std::printf("load %s: ", when);
    std::fflush(stdout);
    if (std::system("uptime") != 0) std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s <movie folder> [seconds per measurement] [runs] [frames in flight,...] "
                     "[movie name part]\n",
                     argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::vector<uint32_t> sweep = argc > 4 ? in_flight_list(argv[4]) : std::vector<uint32_t>{};
    const std::string only = argc > 5 ? argv[5] : "";
    const uint32_t cores = platform::processor_count();
    print_uptime("before");
    std::printf("%-22s %8s %6s %6s %9s %9s %8s %8s %8s %8s %10s %8s %8s %5s\n", "movie", "MB/frame", "chunks",
                "flight", "plain fps", "queue fps", "q/plain", "q/k*ser", "read fps", "dec fps", "q/min(r,d)",
                "ffm fps", "q/ffm", "load");
    std::vector<std::string> sweep_lines;
    try {
        for (const char* name : {"mandelbrot_hapq_4k", "mandelbrot_hapq_8k", "mandelbrot_hapq_4k_c1",
                                 "mandelbrot_hapq_8k_c1"}) {
            if (std::string(name).find(only) == std::string::npos) continue;
            const std::string path = folder + "/" + name + ".mov";
            const std::vector<Packet> list = packets(folder, name);
            warm_page_cache(path);
            FileToPlay movie(QString::fromStdString(path));
            if (!movie.errorText().isEmpty() || movie.frameCount() == 0)
                throw std::runtime_error(path + ": " + movie.errorText().toStdString());
            double bytes = 0;
            for (const Packet& p : list) bytes += double(p.size);
            const uint32_t in_flight = FrameCompressedBuffer::framesInFlightFor(movie.textureChunkCount(), cores);
            std::vector<double> plain, queue, read, decode, reference, load;
            std::vector<std::vector<double>> swept(sweep.size());
            for (int run = 0; run < runs; ++run) {
                load.push_back(bench::load_average());
                plain.push_back(queue_fps(movie, 1, seconds));
                queue.push_back(queue_fps(movie, 0, seconds));
                for (size_t i = 0; i < sweep.size(); ++i) swept[i].push_back(queue_fps(movie, sweep[i], seconds));
                read.push_back(read_fps(path, list, seconds / 2));
                decode.push_back(decode_fps(path, list, movie.width(), movie.height(), seconds / 2));
                reference.push_back(ffmpeg_fps(path, list.size()));
            }
            const double serial = bench::median(plain), delivered = bench::median(queue);
            const double bound = std::min(bench::median(read), bench::median(decode));
            const double ffmpeg = bench::median(reference);
            const double scaled = double(std::min(in_flight, cores)) * serial;
            std::printf("%-22s %8.2f %6u %6u %9.1f %9.1f %8.2f %8.2f %8.1f %8.1f %10.2f %8.1f %8.2f %5.1f\n", name,
                        bytes / double(list.size()) / 1e6, movie.textureChunkCount(), in_flight, serial, delivered,
                        serial > 0 ? delivered / serial : 0, scaled > 0 ? delivered / scaled : 0,
                        bench::median(read), bench::median(decode), bound > 0 ? delivered / bound : 0, ffmpeg,
                        ffmpeg > 0 ? delivered / ffmpeg : 0, bench::median(load));
            std::fflush(stdout);
            for (size_t i = 0; i < sweep.size(); ++i) {
                char line[160];
                const double fps = bench::median(swept[i]);
                std::snprintf(line, sizeof line, "%-22s %6u %9.1f %8.2f %10.2f", name, sweep[i], fps,
                              serial > 0 ? fps / serial : 0, bound > 0 ? fps / bound : 0);
                sweep_lines.push_back(line);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (!sweep_lines.empty()) {
        std::printf("\n%-22s %6s %9s %8s %10s\n", "movie", "flight", "queue fps", "q/plain", "q/min(r,d)");
        for (const std::string& line : sweep_lines) std::printf("%s\n", line.c_str());
    }
    std::printf("(medians of %d runs on %u cores; 'plain' is one frame in flight, 'flight' the queue's choice; "
                "'read' and 'dec' are the plain schedule's two steps apart; 'load' the 1-minute load average)\n",
                runs, cores);
    print_uptime("after");
    return 0;
}
