// Speed of the pixel kernels with an AVX2 build: megapixels per second of the plain
// and the AVX2 build at 3840x2160 (memory-bound) and on a 256x256 tile (cache
// resident), their ratio, and the bandwidth (bytes read + written) against memcpy
// moving the same number of bytes, timed in turns with the kernels. zimg's same-size depth conversions on one plane are
// timed alongside as an outside reference. Run by hand:
//   build/bench/pixconv_bench            (pin with taskset -c 2 for steadier figures)
// The 2:1 downscalers are counted in source pixels.
#include <zimg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixconv/kernel_registry.h"
#include "platform/aligned_memory.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Buffer {
    uint8_t* data = nullptr;
    size_t size = 0;
    explicit Buffer(size_t n) : data(static_cast<uint8_t*>(platform::aligned_alloc64(n))), size(n) {}
    ~Buffer() { platform::aligned_free64(data); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
};

size_t round64(size_t n) { return (n + 63) / 64 * 64; }

struct PlaneShape {
    size_t row_bytes;
    uint32_t rows;
};

struct Layout {
    std::vector<PlaneShape> src, dst;
    bool float_source = false;
};

size_t token_bytes(const std::string& t) {
    if (t == "8") return 1;
    if (t == "32f") return 4;
    if (t.size() > 2 && t.substr(t.size() - 2) == "le") return 2;
    if (t.find("32f") != std::string::npos) return 16;
    if (t.find("16") != std::string::npos) return 8;
    return 4;
}

Layout layout_of(const std::string& name, uint32_t w, uint32_t h) {
    Layout l;
    if (name.rfind("half_bilinear", 0) == 0) {
        l.src = {{size_t(w) * 4, h}};
        l.dst = {{size_t(w / 2) * 4, h / 2}};
        return l;
    }
    if (name.rfind("conv_uyvy", 0) == 0) {
        const size_t unit = name.find("_10") != std::string::npos ? 2 : 1;
        l.src = {{size_t(w) * 2, h}};
        l.dst = {{w * unit, h}, {w / 2 * unit, h}, {w / 2 * unit, h}};
        return l;
    }
    const size_t to = name.find("_to_");
    const bool plane = name.rfind("conv_plane_", 0) == 0;
    std::string s = name.substr(plane ? 11 : 5, to - (plane ? 11 : 5)), d = name.substr(to + 4);
    for (const char* suffix : {"_premul_opaque", "_unpremul", "_premul"}) {
        const size_t at = d.find(suffix);
        if (at != std::string::npos) d.resize(at);
    }
    l.src = {{w * token_bytes(s), h}};
    l.dst = {{w * token_bytes(d), h}};
    l.float_source = s.find("32f") != std::string::npos;
    return l;
}

struct Image {
    std::vector<Buffer*> planes;
    uint8_t* ptr[4] = {};
    int64_t stride[4] = {};
    size_t bytes = 0;  // the pixel bytes (rows x row bytes)
    explicit Image(const std::vector<PlaneShape>& desc) {
        for (size_t p = 0; p < desc.size(); ++p) {
            const size_t s = round64(desc[p].row_bytes);
            planes.push_back(new Buffer(s * desc[p].rows));
            ptr[p] = planes.back()->data;
            stride[p] = int64_t(s);
            bytes += desc[p].row_bytes * desc[p].rows;
        }
    }
    ~Image() {
        for (Buffer* b : planes) delete b;
    }
    void fill(std::mt19937& rng, bool floats) {
        for (Buffer* b : planes) {
            if (floats) {
                std::uniform_real_distribution<float> u(0.0f, 1.0f);
                for (size_t i = 0; i + 4 <= b->size; i += 4) {
                    const float v = u(rng);
                    std::memcpy(b->data + i, &v, 4);
                }
            } else {
                for (size_t i = 0; i < b->size; ++i) b->data[i] = uint8_t(rng());
            }
        }
    }
};

// Median seconds of `reps` timed runs of `body`, each repeated `inner` times.
template <class F>
double median_seconds(F body, int reps, int inner) {
    for (int i = 0; i < 2; ++i) body();
    std::vector<double> t;
    for (int r = 0; r < reps; ++r) {
        const auto start = Clock::now();
        for (int i = 0; i < inner; ++i) body();
        t.push_back(std::chrono::duration<double>(Clock::now() - start).count() / inner);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

struct Result {
    double plain_mpx, avx2_mpx, plain_gbs, avx2_gbs, memcpy_gbs;
};

Result time_pair(const PixConvKernelInfo& plain, uint32_t w, uint32_t h, int reps, int inner) {
    std::mt19937 rng(1);
    const Layout l = layout_of(plain.name, w, h);
    Image src(l.src), dst(l.dst);
    src.fill(rng, l.float_source);
    const double mpx = double(w) * h / 1e6;
    const double bytes = double(src.bytes + dst.bytes);
    auto run = [&](PixConvAnyFn fn) {
        if (plain.shape == PixConvShape::Plane) {
            reinterpret_cast<PlaneConvKernelFn>(fn)(dst.ptr[0], src.ptr[0], dst.stride[0], src.stride[0], w, h);
        } else {
            const uint8_t* sp[4] = {src.ptr[0], src.ptr[1], src.ptr[2], src.ptr[3]};
            const bool half = std::string(plain.name).rfind("half_bilinear", 0) == 0;
            reinterpret_cast<PixConvKernelFn>(fn)(dst.ptr, sp, dst.stride, src.stride, half ? w / 2 : w,
                                                  half ? h / 2 : h);
        }
    };
    // memcpy moving the same traffic: half the bytes read and written, copied.
    const size_t half_traffic = (src.bytes + dst.bytes) / 2;
    Buffer copy(half_traffic), from(half_traffic);
    std::memset(from.data, 1, from.size);
    std::memset(copy.data, 0, copy.size);
    // The three are timed in turns, so a busy machine slows them alike.
    std::vector<double> tp, ta, tm;
    for (int r = 0; r < reps + 2; ++r) {
        tp.push_back(median_seconds([&] { run(plain.fn); }, 1, inner));
        ta.push_back(median_seconds([&] { run(plain.avx2); }, 1, inner));
        tm.push_back(median_seconds([&] { std::memcpy(copy.data, from.data, half_traffic); }, 1, inner));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double p = median(tp), a = median(ta), m = median(tm);
    return {mpx / p, mpx / a, bytes / p / 1e9, bytes / a / 1e9, 2.0 * half_traffic / m / 1e9};
}

struct ZimgCase {
    const char* what;
    zimg_pixel_type_e from, to;
    PlaneConvKernelFn plain, avx2;
};

double time_zimg(const ZimgCase& c, uint32_t w, uint32_t h, zimg_cpu_type_e cpu, int reps) {
    zimg_image_format src_fmt, dst_fmt;
    zimg_image_format_default(&src_fmt, ZIMG_API_VERSION);
    zimg_image_format_default(&dst_fmt, ZIMG_API_VERSION);
    for (zimg_image_format* f : {&src_fmt, &dst_fmt}) {
        f->width = w;
        f->height = h;
        f->color_family = ZIMG_COLOR_GREY;
        f->pixel_range = ZIMG_RANGE_FULL;
    }
    src_fmt.pixel_type = c.from;
    dst_fmt.pixel_type = c.to;
    src_fmt.depth = c.from == ZIMG_PIXEL_BYTE ? 8 : c.from == ZIMG_PIXEL_WORD ? 16 : 32;
    dst_fmt.depth = c.to == ZIMG_PIXEL_BYTE ? 8 : c.to == ZIMG_PIXEL_WORD ? 16 : 32;
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    params.cpu_type = cpu;
    params.dither_type = ZIMG_DITHER_NONE;
    zimg_filter_graph* graph = zimg_filter_graph_build(&src_fmt, &dst_fmt, &params);
    if (!graph) return 0.0;
    size_t tmp_size = 0;
    zimg_filter_graph_get_tmp_size(graph, &tmp_size);
    const size_t su = c.from == ZIMG_PIXEL_BYTE ? 1 : c.from == ZIMG_PIXEL_WORD ? 2 : 4;
    const size_t du = c.to == ZIMG_PIXEL_BYTE ? 1 : c.to == ZIMG_PIXEL_WORD ? 2 : 4;
    Buffer src(round64(w * su) * h), dst(round64(w * du) * h), tmp(tmp_size + 64);
    std::memset(src.data, 0x40, src.size);
    zimg_image_buffer_const sb{};
    sb.version = ZIMG_API_VERSION;
    sb.plane[0].data = src.data;
    sb.plane[0].stride = ptrdiff_t(round64(w * su));
    sb.plane[0].mask = ZIMG_BUFFER_MAX;
    zimg_image_buffer db{};
    db.version = ZIMG_API_VERSION;
    db.plane[0].data = dst.data;
    db.plane[0].stride = ptrdiff_t(round64(w * du));
    db.plane[0].mask = ZIMG_BUFFER_MAX;
    const double t = median_seconds(
        [&] { zimg_filter_graph_process(graph, &sb, &db, tmp.data, nullptr, nullptr, nullptr, nullptr); }, reps, 1);
    zimg_filter_graph_free(graph);
    return double(w) * h / 1e6 / t;
}

double time_plane(PlaneConvKernelFn fn, size_t su, size_t du, uint32_t w, uint32_t h, int reps) {
    Buffer src(round64(w * su) * h), dst(round64(w * du) * h);
    std::memset(src.data, 0x40, src.size);
    const double t = median_seconds(
        [&] { fn(dst.data, src.data, int64_t(round64(w * du)), int64_t(round64(w * su)), w, h); }, reps, 1);
    return double(w) * h / 1e6 / t;
}

}  // namespace

int main() {
    const bool avx2 = pixconv_use_avx2(true);
    std::printf("AVX2 and FMA: %s\n\n", avx2 ? "yes" : "no (AVX2 columns skipped)");
    if (!avx2) return 0;
    size_t count = 0;
    const PixConvKernelInfo* all = pixconv_kernels(&count);
    std::printf("%-40s | %9s %9s %6s | %9s %9s %6s | %7s %7s %7s %6s\n", "kernel", "4K plain", "4K avx2", "ratio",
                "tile pl.", "tile avx2", "ratio", "GB/s pl", "GB/s av", "memcpy", "av/mc");
    std::printf("%-40s | %9s %9s %6s | %9s %9s %6s | %7s %7s %7s %6s\n", "", "Mpx/s", "Mpx/s", "", "Mpx/s", "Mpx/s",
                "", "4K", "4K", "GB/s", "");
    for (size_t i = 0; i < count; ++i) {
        if (!all[i].avx2) continue;
        const Result big = time_pair(all[i], 3840, 2160, 15, 1);
        const Result tile = time_pair(all[i], 256, 256, 15, 40);
        std::printf("%-40s | %9.0f %9.0f %6.2f | %9.0f %9.0f %6.2f | %7.1f %7.1f %7.1f %6.2f\n", all[i].name,
                    big.plain_mpx, big.avx2_mpx, big.avx2_mpx / big.plain_mpx, tile.plain_mpx, tile.avx2_mpx,
                    tile.avx2_mpx / tile.plain_mpx, big.plain_gbs, big.avx2_gbs, big.memcpy_gbs,
                    big.avx2_gbs / big.memcpy_gbs);
    }

    std::printf("\nSame-size depth conversions of one 3840x2160 plane, Mpx/s\n");
    std::printf("%-24s | %9s %9s | %9s %9s\n", "", "zimg none", "zimg auto", "plain", "avx2");
    const ZimgCase cases[] = {
        {"8 to 16", ZIMG_PIXEL_BYTE, ZIMG_PIXEL_WORD, conv_plane_8_to_16le, conv_plane_8_to_16le_avx2},
        {"16 to 8 (no dither)", ZIMG_PIXEL_WORD, ZIMG_PIXEL_BYTE, conv_plane_16le_to_8, conv_plane_16le_to_8_avx2},
        {"8 to float", ZIMG_PIXEL_BYTE, ZIMG_PIXEL_FLOAT, conv_plane_8_to_32f, conv_plane_8_to_32f_avx2},
        {"16 to float", ZIMG_PIXEL_WORD, ZIMG_PIXEL_FLOAT, conv_plane_16le_to_32f, conv_plane_16le_to_32f_avx2},
        {"float to 8 (no dither)", ZIMG_PIXEL_FLOAT, ZIMG_PIXEL_BYTE, conv_plane_32f_to_8, conv_plane_32f_to_8_avx2},
        {"float to 16 (no dither)", ZIMG_PIXEL_FLOAT, ZIMG_PIXEL_WORD, conv_plane_32f_to_16le,
         conv_plane_32f_to_16le_avx2},
    };
    for (const ZimgCase& c : cases) {
        const size_t su = c.from == ZIMG_PIXEL_BYTE ? 1 : c.from == ZIMG_PIXEL_WORD ? 2 : 4;
        const size_t du = c.to == ZIMG_PIXEL_BYTE ? 1 : c.to == ZIMG_PIXEL_WORD ? 2 : 4;
        std::printf("%-24s | %9.0f %9.0f | %9.0f %9.0f\n", c.what, time_zimg(c, 3840, 2160, ZIMG_CPU_NONE, 11),
                    time_zimg(c, 3840, 2160, ZIMG_CPU_AUTO, 11), time_plane(c.plain, su, du, 3840, 2160, 11),
                    time_plane(c.avx2, su, du, 3840, 2160, 11));
    }
    return 0;
}
