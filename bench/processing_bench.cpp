// Speed of the snapshot chain on a 4K Hap5 frame: HAP decode, DXT decode, 2:1
// downscale, merge over a checkerboard, PNG and JPEG encode, each stage alone in
// milliseconds (median of the runs), once on one core (serial chunk runner, one
// merge slice) and once on every core. Run by hand:
//   build/bench/processing_bench [hap5 sample file] [runs]
// Without a file, FFmpeg makes one 3840x2160 Hap5 sample (8 snappy chunks, an alpha
// ramp over the mandelbrot source) into the temporary folder once.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/cpu_info.h"
#include "processing/bg_merge_filter.h"
#include "processing/codec_filters.h"
#include "processing/scale_filter.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kWidth = 3840, kHeight = 2160;

std::vector<uint8_t> load_sample(std::string path) {
    if (path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp ? tmp : "/tmp") + "/processing_bench_hap5_4k.bin";
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            const std::string cmd =
                "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i mandelbrot=size=3840x2160:rate=25 "
                "-vf \"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='255*X/W'\" -frames:v 1 -c:v hap "
                "-format hap_alpha -chunks 8 -f rawvideo '" + path + "'";
            std::printf("Making %s with FFmpeg\n", path.c_str());
            if (std::system(cmd.c_str()) != 0) return {};
        }
    }
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Median milliseconds of `runs` calls of one node's process callback.
double time_node(FilterNode* node, VideoFrame* input, int runs) {
    std::vector<double> ms;
    node->inputs[0] = input;
    node->process(node);  // warm: first-touch of the output pages
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        node->process(node);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

struct Stage {
    const char* name;
    double ms[2];
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<uint8_t> sample = load_sample(argc > 1 ? argv[1] : "");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    if (sample.empty()) {
        std::fprintf(stderr, "No Hap5 sample (FFmpeg missing?)\n");
        return 1;
    }
    VideoFrame* coded = video_frame_new();
    video_frame_alloc_data(coded, static_cast<uint32_t>(sample.size()), VideoDataFormat_Compressed);
    std::copy(sample.begin(), sample.end(), coded->planes[0]);

    Stage stages[] = {{"HAP decode (snappy, 8 chunks)", {}},
                      {"DXT5 decode to RGBA8", {}},
                      {"2:1 downscale, box (premultiplied)", {}},
                      {"2:1 downscale, zimg bilinear (straight)", {}},
                      {"merge over checkerboard (1920x1080)", {}},
                      {"PNG encode, RGB8 fast (1920x1080)", {}},
                      {"JPEG encode q90 (1920x1080)", {}}};
    for (int all = 0; all < 2; ++all) {
        HapDecodeParams hp{HapCodec_Hap5, kWidth, kHeight, 0, uint8_t(all)};
        FilterNode* hap = create_hap_decode_filter(hp);
        stages[0].ms[all] = time_node(hap, coded, runs);

        DxtDecodeParams dp;
        dp.codec = HapCodec_Hap5, dp.width = kWidth, dp.height = kHeight, dp.output_format = PixelFormat_RGBA8;
        FilterNode* dxt = create_dxt_decode_filter(dp);
        stages[1].ms[all] = time_node(dxt, hap->output, runs);

        ScaleParams sp;
        sp.src_format = sp.dst_format = PixelFormat_RGBA8;
        sp.src_width = kWidth, sp.src_height = kHeight, sp.dst_width = kWidth / 2, sp.dst_height = kHeight / 2;
        sp.quality = 1, sp.allow_avx2 = 1;
        FilterNode* box = create_scale_filter(sp);
        stages[2].ms[all] = time_node(box, dxt->output, runs);
        sp.src_alpha_mode = sp.dst_alpha_mode = ScaleAlpha_Straight;
        FilterNode* general = create_scale_filter(sp);
        stages[3].ms[all] = time_node(general, dxt->output, runs);

        BgMergeParams mp;
        mp.src_format = PixelFormat_RGBA8, mp.width = kWidth / 2, mp.height = kHeight / 2;
        mp.mode = BgMerge_Checker, mp.alpha_mode = 0, mp.slice_threading = uint8_t(all), mp.allow_avx2 = 1;
        FilterNode* merge = create_bg_merge_filter(&mp);
        stages[4].ms[all] = time_node(merge, box->output, runs);

        PngEncodeParams pp;
        pp.channels = 3, pp.bit_depth = 8, pp.compression_mode = 0;
        FilterNode* png = create_png_encode_filter(pp);
        stages[5].ms[all] = time_node(png, merge->output, std::max(1, runs / 3));

        JpegEncodeParams jp{kWidth / 2, kHeight / 2, 90};
        FilterNode* jpeg = create_jpeg_encode_filter(jp);
        stages[6].ms[all] = time_node(jpeg, merge->output, runs);
        if (all)
            std::printf("Sizes: sample %zu bytes, PNG %u bytes, JPEG %u bytes\n", sample.size(), png->output->sizes[0],
                        jpeg->output->sizes[0]);

        for (FilterNode* n : {hap, dxt, box, general, merge, png, jpeg}) filter_free(n);
    }
    std::printf("%-42s %10s %10s\n", "stage (ms, median)", "1 core", "all cores");
    for (const Stage& s : stages) std::printf("%-42s %10.2f %10.2f\n", s.name, s.ms[0], s.ms[1]);
    std::printf("(%u logical processors; only HAP decode and the merge use more than one)\n",
                platform::processor_count());
    video_frame_destroy(coded);
    return 0;
}
