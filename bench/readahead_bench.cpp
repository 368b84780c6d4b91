// Frames per second the read-ahead queue delivers while playing 4K and 8K HapQ movies
// whose files sit in the page cache: its job reads each frame from the file and decodes
// its chunks in parallel; the reader here takes and releases frames as fast as they
// come. Beside it, to show what bounds it: the frame reads alone and the parallel chunk
// decode alone (frames already in memory), both on one thread as the job does them,
// and FFmpeg's full decode of the same file as the reference a user would pick instead.
//
//   readahead_bench <movie folder> [seconds per measurement] [runs]
//
// The folder is made by bench/make_bench_movies.sh. Every figure is the median of the
// runs; the load average is printed with them.
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
#include "media/movie/file_to_play.h"
#include "media/movie/frame_compressed_buffer.h"
#include "media/video_frame.h"
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
double queue_fps(FileToPlay& movie, double seconds) {
    FrameCompressedBuffer queue(nullptr, 25, 10);
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

// The job's two steps apart, on one thread, over every frame in turn.
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <movie folder> [seconds per measurement] [runs]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    std::printf("%-20s %9s %7s %10s %10s %10s %10s %10s %6s\n", "movie", "MB/frame", "chunks", "queue fps",
                "read fps", "decode fps", "ffmpeg fps", "queue/ffm", "load");
    try {
        for (const char* name : {"mandelbrot_hapq_4k", "mandelbrot_hapq_8k"}) {
            const std::string path = folder + "/" + name + ".mov";
            const std::vector<Packet> list = packets(folder, name);
            warm_page_cache(path);
            FileToPlay movie(QString::fromStdString(path));
            if (!movie.errorText().isEmpty() || movie.frameCount() == 0)
                throw std::runtime_error(path + ": " + movie.errorText().toStdString());
            double bytes = 0;
            for (const Packet& p : list) bytes += double(p.size);
            std::vector<double> queue, read, decode, reference, load;
            for (int run = 0; run < runs; ++run) {
                load.push_back(bench::load_average());
                queue.push_back(queue_fps(movie, seconds));
                read.push_back(read_fps(path, list, seconds / 2));
                decode.push_back(decode_fps(path, list, movie.width(), movie.height(), seconds / 2));
                reference.push_back(ffmpeg_fps(path, list.size()));
            }
            const double ffmpeg = bench::median(reference), delivered = bench::median(queue);
            std::printf("%-20s %9.2f %7u %10.1f %10.1f %10.1f %10.1f %10.2f %6.1f\n", name,
                        bytes / double(list.size()) / 1e6, movie.textureChunkCount(), delivered, bench::median(read),
                        bench::median(decode), ffmpeg, ffmpeg > 0 ? delivered / ffmpeg : 0, bench::median(load));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("(medians of %d runs; 'read' and 'decode' are the job's two steps apart, 'load' the 1-minute "
                "load average)\n",
                runs);
    return 0;
}
