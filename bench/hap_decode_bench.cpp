// Frames per second of HAP texture decoding on 4K movies: our decoder with the
// parallel and the serial chunk callbacks, the bare snappy decompression of the same
// chunks on one thread (the limit per core), and FFmpeg's full decode of the same
// file as the reference a user would pick instead.
//
// To show what bounds the parallel callback: the chunk count, the largest-to-average
// chunk time (a frame's chunks end together at best when they take equally long),
// the cores the parallel run actually got (process CPU time over wall time, low when
// the machine is shared) and the parallel speed-up over min(chunks, cores).
//
//   hap_decode_bench <movie folder> [seconds per measurement]
//
// The folder is made by bench/make_bench_movies.sh.
#include <snappy.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "media/hap_decoder.h"
#include "tests/support/test_movies.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::Bytes;

struct Movie {
    std::string name;
    std::vector<Bytes> frames;
};

struct SnappyChunk {
    const char* data;
    size_t size;
    size_t uncompressed;
};

Movie load_movie(const std::string& folder, const std::string& name) {
    Movie movie{name, {}};
    const std::string path = folder + "/" + name + ".mov";
    std::FILE* list = std::fopen((folder + "/" + name + ".packets").c_str(), "r");
    if (!list) throw std::runtime_error("missing packet list for " + path);
    char line[256];
    while (std::fgets(line, sizeof line, list)) {
        unsigned long long size = 0, pos = 0;
        if (std::sscanf(line, "size=%llu|pos=%llu", &size, &pos) == 2)
            movie.frames.push_back(testsupport::read_file_bytes(path, pos, size));
    }
    std::fclose(list);
    return movie;
}

// Room for a 4K texture of 16-byte blocks.
constexpr uint32_t kTextureCapacity = 3840u / 4 * 2160u / 4 * 16u;

// CPU seconds the process used during the last frames_per_second, per wall second.
double g_cores_used = 0;

// Runs `decode_all` repeatedly for about `seconds` and returns frames per second.
template <typename Body>
double frames_per_second(size_t frames_per_pass, double seconds, Body decode_all) {
    decode_all();  // warm caches and the task runtime
    size_t frames = 0;
    const double cpu_start = bench::process_cpu_seconds();
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        decode_all();
        frames += frames_per_pass;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    g_cores_used = (bench::process_cpu_seconds() - cpu_start) / elapsed;
    return frames / elapsed;
}

double hap_decode_fps(const Movie& movie, HapDecodeCallback callback, double seconds) {
    const uint32_t capacity = kTextureCapacity;
    Bytes out(capacity);
    return frames_per_second(movie.frames.size(), seconds, [&] {
        for (const Bytes& f : movie.frames) {
            uint32_t used = 0, format = 0;
            if (HapDecode(f.data(), uint32_t(f.size()), 0, callback, nullptr, out.data(), capacity, &used, &format))
                throw std::runtime_error("decode failed in " + movie.name);
        }
    });
}

// The chunks of every frame, as the decoder hands them to its callback.
std::vector<std::vector<SnappyChunk>> collect_chunks(const Movie& movie) {
    static thread_local std::vector<SnappyChunk>* sink = nullptr;
    std::vector<std::vector<SnappyChunk>> all;
    Bytes out(kTextureCapacity);
    for (const Bytes& f : movie.frames) {
        std::vector<SnappyChunk> chunks;
        sink = &chunks;
        uint32_t used = 0, format = 0;
        HapDecode(f.data(), uint32_t(f.size()), 0,
                  [](HapDecodeWorkFunction, void* table, unsigned count, void*) {
                      auto* work = static_cast<HapChunkWork*>(table);
                      for (unsigned i = 0; i < count; ++i)
                          sink->push_back({reinterpret_cast<const char*>(work[i].compressed),
                                           size_t(work[i].compressed_size), size_t(work[i].uncompressed_size)});
                  },
                  nullptr, out.data(), uint32_t(out.size()), &used, &format);
        all.push_back(std::move(chunks));
    }
    return all;
}

double bare_snappy_fps(const Movie& movie, double seconds) {
    const auto chunks = collect_chunks(movie);
    if (chunks.empty() || chunks[0].size() < 2) return 0;  // single-block frames never reach a callback
    Bytes out(kTextureCapacity);
    return frames_per_second(movie.frames.size(), seconds, [&] {
        for (const auto& frame : chunks) {
            size_t at = 0;
            for (const SnappyChunk& c : frame) {
                snappy::RawUncompress(c.data, c.size, reinterpret_cast<char*>(out.data()) + at);
                at += c.uncompressed;
            }
        }
    });
}

// Chunk count of the first frame and the mean over frames of the largest chunk's
// decode time over the frame's average, each chunk timed at its best of five.
std::pair<size_t, double> chunk_balance(const Movie& movie) {
    const auto chunks = collect_chunks(movie);
    if (chunks.empty() || chunks[0].size() < 2) return {chunks.empty() ? 0 : chunks[0].size(), 1.0};
    Bytes out(kTextureCapacity);
    double sum = 0;
    for (const auto& frame : chunks) {
        std::vector<double> best(frame.size(), 1e9);
        for (int pass = 0; pass < 5; ++pass) {
            size_t at = 0;
            for (size_t i = 0; i < frame.size(); ++i) {
                const auto start = Clock::now();
                snappy::RawUncompress(frame[i].data, frame[i].size, reinterpret_cast<char*>(out.data()) + at);
                best[i] = std::min(best[i], std::chrono::duration<double>(Clock::now() - start).count());
                at += frame[i].uncompressed;
            }
        }
        double total = 0;
        for (double b : best) total += b;
        sum += *std::max_element(best.begin(), best.end()) / (total / double(best.size()));
    }
    return {chunks[0].size(), sum / double(chunks.size())};
}

double ffmpeg_fps(const std::string& path, size_t frames) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -threads 0 -i '" + path + "' -f null -";
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) return 0;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::max(best, frames / seconds);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <movie folder> [seconds per measurement]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%-22s %8s %6s %8s %10s %10s %10s %10s %9s %9s %6s %9s %9s %5s\n", "movie", "MB/frame", "chunks",
                "max/avg", "parallel", "serial", "snappy1T", "ffmpeg", "par/ffm", "par/ser", "cores", "par/(ser*n)",
                "ser/snap", "load");
    for (const char* name : {"mandelbrot_hapq_4k", "mandelbrot_hap1_4k", "testsrc2_hapq_4k", "testsrc2_hap1_4k"}) {
        const Movie movie = load_movie(folder, name);
        double bytes = 0;
        for (const Bytes& f : movie.frames) bytes += f.size();
        const double load = bench::load_average();
        const auto [chunks, balance] = chunk_balance(movie);
        const double parallel = hap_decode_fps(movie, HapDecodeCallback_MultiThread, seconds);
        const double cores_used = g_cores_used;
        const double serial = hap_decode_fps(movie, hap_decode_callback_serial, seconds);
        const double snappy_one = bare_snappy_fps(movie, seconds);
        const double reference = ffmpeg_fps(folder + "/" + name + ".mov", movie.frames.size());
        // The goal is a speed-up of at least 0.6 per usable core: n = min(chunks, cores).
        const double n = std::min(double(std::max<size_t>(chunks, 1)), cores);
        std::printf("%-22s %8.2f %6zu %8.2f %10.1f %10.1f %10.1f %10.1f %9.2f %9.2f %6.1f %11.2f %9.2f %5.1f\n",
                    name, bytes / movie.frames.size() / 1e6, chunks, balance, parallel, serial, snappy_one, reference,
                    reference > 0 ? parallel / reference : 0, parallel / serial, cores_used, parallel / serial / n,
                    snappy_one > 0 ? serial / snappy_one : 0, load);
    }
    std::printf("(frames per second; 'ffmpeg' is FFmpeg's full decode of the same file, timed as a process;\n"
                " 'max/avg' the largest chunk's decode time over the average; 'cores' the CPU time the parallel\n"
                " run got per wall second; 'par/(ser*n)' the speed-up per usable core, n = min(chunks, cores);\n"
                " 'load' the 1-minute load average before the movie)\n");
    return 0;
}
