// Frames per second of our processor path from a HAP movie to RGBA8 pixels (frame read,
// HAP decode with the multi-thread callback, block decode spread over all cores by rows
// of blocks) against FFmpeg's own full decode of the same file, timed as a process.
//
//   block_decode_bench <movie folder> [passes]
//
// The folder is made by bench/make_bench_movies.sh: 4K HapY and Hap1 from FFmpeg's
// mandelbrot source (realistic detail) and, as an easy second case, from testsrc2.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/block_decoders.h"
#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "platform/aligned_memory.h"
#include "platform/cpu_info.h"
#include "platform/parallel_for.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Packet {
    uint64_t offset;
    uint32_t size;
};

int run(const std::string& command) { return std::system(command.c_str()); }

// Reads "<movie>.packets": ffprobe's compact "size=N|pos=M" lines.
std::vector<Packet> packets_of(const std::string& movie_path) {
    const std::string list_path = movie_path.substr(0, movie_path.size() - 4) + ".packets";
    std::FILE* list = std::fopen(list_path.c_str(), "r");
    if (!list) throw std::runtime_error("missing packet list " + list_path);
    std::vector<Packet> packets;
    unsigned long long size = 0, pos = 0;
    char line[128];
    while (std::fgets(line, sizeof line, list))
        if (std::sscanf(line, "size=%llu|pos=%llu", &size, &pos) == 2) packets.push_back({pos, uint32_t(size)});
    std::fclose(list);
    if (packets.empty()) throw std::runtime_error("no packets in " + list_path);
    return packets;
}

struct Result {
    double ours_fps = 0;
    double block_only_fps = 0;
    double ffmpeg_fps = 0;
    size_t frames = 0;
};

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Result bench_movie(const std::string& path, uint32_t width, uint32_t height, int passes) {
    const std::vector<Packet> packets = packets_of(path);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("cannot open " + path);

    uint32_t largest = 0;
    for (const Packet& p : packets) largest = std::max(largest, p.size);
    std::vector<uint8_t> frame(largest);
    const uint32_t texture_capacity = ((width + 3) / 4) * ((height + 3) / 4) * 16;
    uint8_t* texture = static_cast<uint8_t*>(platform::aligned_alloc64(texture_capacity));
    const std::ptrdiff_t stride = std::ptrdiff_t(((width + 3) / 4) * 16);
    uint8_t* pixels = static_cast<uint8_t*>(platform::aligned_alloc64(size_t(stride) * ((height + 3) & ~3u)));
    if (!texture || !pixels) throw std::bad_alloc();

    BlockDecoder decoder{};
    int32_t format = -1;
    const uint32_t rows_per_task = 4;
    double block_seconds = 0;

    auto decode_frame = [&](const Packet& p) {
        if (fseeko(file, off_t(p.offset), SEEK_SET) != 0 || std::fread(frame.data(), 1, p.size, file) != p.size)
            throw std::runtime_error("read failed");
        if (format < 0) {
            HapFrame info;
            hap_frame_init_from_memory(&info, width, height, frame.data(), p.size);
            format = block_decoder_format_for_hap_codec(info.codec);
            if (BlockDecoder::init(&decoder, uint16_t(width), uint16_t(height), format, 0, 0, 1) != 0)
                throw std::runtime_error("no block decoder");
        }
        uint32_t used = 0, texture_format = 0;
        const HapResult r = HapDecode(frame.data(), p.size, 0, HapDecodeCallback_MultiThread, nullptr, texture,
                                      texture_capacity, &used, &texture_format);
        if (r != HapResult_No_Error) throw std::runtime_error(hap_result_to_string(r));
        const auto block_start = Clock::now();
        const uint32_t tasks = (decoder.blocks_down() + rows_per_task - 1) / rows_per_task;
        platform::parallel_for_each(tasks, [&](std::size_t task) {
            BlockDecoder::decode_rows(&decoder, texture, nullptr, pixels, stride, uint32_t(task) * rows_per_task,
                                      rows_per_task);
        });
        block_seconds += seconds_since(block_start);
    };

    decode_frame(packets[0]);  // warm-up: pages, thread pool
    block_seconds = 0;
    const auto start = Clock::now();
    for (int pass = 0; pass < passes; ++pass)
        for (const Packet& p : packets) decode_frame(p);
    const double ours = seconds_since(start);
    std::fclose(file);
    platform::aligned_free64(texture);
    platform::aligned_free64(pixels);

    Result result;
    result.frames = packets.size() * size_t(passes);
    result.ours_fps = double(result.frames) / ours;
    result.block_only_fps = double(result.frames) / block_seconds;

    // FFmpeg: the whole file decoded `passes` times in one process (start-up counted
    // once), best of two runs.
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -threads 0 -stream_loop " +
                                std::to_string(passes - 1) + " -i '" + path + "' -f null -";
    double best = 1e30;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto t0 = Clock::now();
        if (run(command) != 0) throw std::runtime_error("ffmpeg decode failed");
        best = std::min(best, seconds_since(t0));
    }
    result.ffmpeg_fps = double(result.frames) / best;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: block_decode_bench <movie folder> [passes]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    struct Movie {
        const char* label;
        const char* name;
    };
    const Movie movies[] = {
        {"4K HapY (YCoCg-DXT5, 8 chunks), mandelbrot", "mandelbrot_hapq_4k"},
        {"4K Hap1 (DXT1, 8 chunks), mandelbrot", "mandelbrot_hap1_4k"},
        {"4K HapY, testsrc2 (easy case)", "testsrc2_hapq_4k"},
        {"4K Hap1, testsrc2 (easy case)", "testsrc2_hap1_4k"},
    };
    std::printf("HAP to RGBA8 on the processor, %u threads, every frame x %d passes\n", platform::processor_count(),
                passes);
    int failures = 0;
    for (const Movie& m : movies) {
        try {
            const Result r = bench_movie(folder + "/" + m.name + ".mov", 3840, 2160, passes);
            std::printf("%s, %zu frames\n", m.label, r.frames);
            std::printf("  ours (read + HAP decode + block decode): %8.1f fps\n", r.ours_fps);
            std::printf("  block decode alone:                      %8.1f fps\n", r.block_only_fps);
            std::printf("  FFmpeg full decode (-threads 0):         %8.1f fps\n", r.ffmpeg_fps);
            std::printf("  ratio ours / FFmpeg:                     %8.2f\n", r.ours_fps / r.ffmpeg_fps);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", m.name, e.what());
            ++failures;
        }
        std::fflush(stdout);
    }
    return failures ? 1 : 0;
}
