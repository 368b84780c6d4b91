#pragma once
// An independent reference for the whole-image RGB kernels, written from the
// arithmetic rules in double precision: it knows the formats by the tokens of the
// kernel names and computes each output sample by itself, one pixel at a time.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "guarded_planes.h"

enum class Ty { U8, U16, F32 };

inline size_t size_of(Ty t) { return t == Ty::U8 ? 1 : t == Ty::U16 ? 2 : 4; }
inline double max_of(Ty t) { return t == Ty::U8 ? 255.0 : t == Ty::U16 ? 65535.0 : 1.0; }

struct FmtDesc {
    const char* token;
    Ty ty;
    bool planar;
    int samples;    // per packed pixel, or planes
    int pos[4];     // position (packed) or plane (planar) of R, G, B, A (-1: none)
    bool reads_alpha;
    bool writes_fourth;
};

inline const FmtDesc* find_format(const std::string& token) {
    static const FmtDesc kFormats[] = {
        {"argb8", Ty::U8, false, 4, {1, 2, 3, 0}, true, true},
        {"rgba8", Ty::U8, false, 4, {0, 1, 2, 3}, true, true},
        {"rgb8", Ty::U8, false, 3, {0, 1, 2, -1}, false, false},
        {"bgr8", Ty::U8, false, 3, {2, 1, 0, -1}, false, false},
        {"rgbx8", Ty::U8, false, 4, {0, 1, 2, 3}, false, true},
        {"rgba16", Ty::U16, false, 4, {0, 1, 2, 3}, true, true},
        {"rgbx16", Ty::U16, false, 4, {0, 1, 2, 3}, false, true},
        {"rgba32f", Ty::F32, false, 4, {0, 1, 2, 3}, true, true},
        {"rgbx32f", Ty::F32, false, 4, {0, 1, 2, 3}, false, true},
        {"planar_rgb8", Ty::U8, true, 3, {0, 1, 2, -1}, false, false},
        {"planar_rgba8", Ty::U8, true, 4, {0, 1, 2, 3}, true, true},
        {"planar_rgb16", Ty::U16, true, 3, {0, 1, 2, -1}, false, false},
        {"planar_rgba16", Ty::U16, true, 4, {0, 1, 2, 3}, true, true},
        {"planar_rgb32f", Ty::F32, true, 3, {0, 1, 2, -1}, false, false},
        {"planar_rgba32f", Ty::F32, true, 4, {0, 1, 2, 3}, true, true},
    };
    for (const FmtDesc& f : kFormats)
        if (token == f.token) return &f;
    return nullptr;
}

enum class Op { Straight, Premul, Unpremul, PremulOpaque };

struct KernelName {
    const FmtDesc* src = nullptr;
    const FmtDesc* dst = nullptr;
    Op op = Op::Straight;
};

// "conv_<src>_to_<dst>[_premul|_unpremul|_premul_opaque][_avx2]"; src null when the
// name is not an RGB whole-image kernel.
inline KernelName parse_kernel_name(std::string name) {
    KernelName k;
    auto strip = [&name](const std::string& suffix) {
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            name.resize(name.size() - suffix.size());
            return true;
        }
        return false;
    };
    strip("_avx2");
    if (strip("_premul_opaque")) k.op = Op::PremulOpaque;
    else if (strip("_unpremul")) k.op = Op::Unpremul;
    else if (strip("_premul")) k.op = Op::Premul;
    if (name.rfind("conv_", 0) != 0) return {};
    const size_t to = name.find("_to_");
    if (to == std::string::npos) return {};
    k.src = find_format(name.substr(5, to - 5));
    k.dst = find_format(name.substr(to + 4));
    if (!k.src || !k.dst) return {};
    return k;
}

namespace oracle {

inline double f32(double x) { return static_cast<double>(static_cast<float>(x)); }
inline double k_of(Ty t) { return t == Ty::U8 ? double(bits_float(0x3B808081u)) : double(bits_float(0x37800080u)); }

inline double to_int(double x, double m) {
    const double c = x >= 1.0 ? 1.0 : (x > 0.0 ? x : 0.0);
    return std::round(f32(c * m));
}

inline double depth(double v, Ty s, Ty d) {
    if (s == d) return v;
    if (d == Ty::F32) return f32(v * k_of(s));
    if (s == Ty::F32) return to_int(v, max_of(d));
    if (s == Ty::U8) return v * 257.0;  // 8 to 16: (x << 8) | x
    return std::floor(v / 256.0);       // 16 to 8: the high byte
}

inline double premul(double c, double a, Ty s, Ty d) {
    if (s == Ty::F32) {
        const double p = f32(c * a);
        return d == Ty::F32 ? p : to_int(p, max_of(d));
    }
    if (d == Ty::F32) return f32(f32(c * k_of(s)) * f32(a * k_of(s)));
    if (s == Ty::U8 && d == Ty::U8) {
        const unsigned ci = unsigned(c), ai = unsigned(a);
        const unsigned t = (ci + (ai >= 128 ? 1 : 0)) * ai;
        return double((t >> 8) + (ai < 128 ? (t >> 7) & 1 : 0));
    }
    const double c16 = s == Ty::U8 ? c * 257.0 : c, a16 = s == Ty::U8 ? a * 257.0 : a;
    const double p = std::floor((c16 + 1.0) * a16 / 65536.0);
    return d == Ty::U16 ? p : std::floor(p / 256.0);
}

inline double unpremul(double c, double a, Ty s, Ty d) {
    if (a == 0.0) return 0.0;
    if (s == Ty::F32) {
        const double q = f32(c / a);
        return d == Ty::F32 ? q : to_int(q, max_of(d));
    }
    if (d == Ty::F32) return f32(f32(c * k_of(s)) / f32(a * k_of(s)));
    if (s == Ty::U8 && d == Ty::U8) return std::fmin(std::round(f32(f32(c / a) * 255.0)), 255.0);
    const double c16 = s == Ty::U8 ? c * 257.0 : c, a16 = s == Ty::U8 ? a * 257.0 : a;
    const double r = std::round(f32(std::fmin(f32(c16 / a16), 1.0) * 65535.0));
    return d == Ty::U16 ? r : std::floor(r / 256.0);
}

// Output R, G, B, A of one pixel (A only meaningful when the destination writes it).
inline void pixel(const KernelName& k, const double in[4], double out[4]) {
    const Ty s = k.src->ty, d = k.dst->ty;
    const double a = k.src->reads_alpha ? in[3] : max_of(s);
    for (int ch = 0; ch < 3; ++ch) {
        switch (k.op) {
            case Op::Straight: out[ch] = depth(in[ch], s, d); break;
            case Op::Premul:
            case Op::PremulOpaque: out[ch] = premul(in[ch], a, s, d); break;
            case Op::Unpremul: out[ch] = unpremul(in[ch], a, s, d); break;
        }
    }
    out[3] = k.op == Op::PremulOpaque ? max_of(d) : depth(a, s, d);
}

}  // namespace oracle

// An image of one format in guarded planes.
struct TestImage {
    const FmtDesc* fmt = nullptr;
    uint32_t width = 0, height = 0;
    std::vector<GuardedPlane> planes;

    TestImage(std::mt19937& rng, const FmtDesc* f, uint32_t w, uint32_t h) : fmt(f), width(w), height(h) {
        const size_t unit = size_of(f->ty);
        const int n = f->planar ? f->samples : 1;
        const size_t row_bytes = f->planar ? w * unit : w * unit * f->samples;
        for (int p = 0; p < n; ++p) planes.push_back(make_plane(rng, row_bytes, h, unit));
    }
    // Plane pointers and strides; entries past the format's planes are poison.
    void pointers(uint8_t* ptr[4], int64_t stride[4]) {
        for (int p = 0; p < 4; ++p) {
            const bool used = p < int(planes.size());
            ptr[p] = used ? planes[p].data() : poison_plane();
            stride[p] = used ? planes[p].stride : kPoisonStride;
        }
    }
    uint8_t* at(uint32_t x, uint32_t y, int ch) {
        const size_t unit = size_of(fmt->ty);
        const int pos = fmt->pos[ch];
        if (fmt->planar) return planes[pos].row(y) + x * unit;
        return planes[0].row(y) + (size_t(x) * fmt->samples + pos) * unit;
    }
    double get(uint32_t x, uint32_t y, int ch) {
        const uint8_t* p = at(x, y, ch);
        switch (fmt->ty) {
            case Ty::U8: return read_at<uint8_t>(p, 0);
            case Ty::U16: return read_at<uint16_t>(p, 0);
            default: return read_at<float>(p, 0);
        }
    }
    void set(uint32_t x, uint32_t y, int ch, double v) {
        uint8_t* p = at(x, y, ch);
        switch (fmt->ty) {
            case Ty::U8: write_at<uint8_t>(p, 0, uint8_t(v)); break;
            case Ty::U16: write_at<uint16_t>(p, 0, uint16_t(v)); break;
            default: write_at<float>(p, 0, float(v)); break;
        }
    }
    void snapshot() {
        for (auto& p : planes) p.take_snapshot();
    }
};

inline double f32_random(std::mt19937& rng) {
    return oracle::f32(-0.25 + 1.5 * double(rng() % 1000001) / 1000000.0);
}

// Random samples, with the rules' awkward values and the quoted (colour, alpha)
// pairs mixed in.
inline double random_sample(std::mt19937& rng, Ty t) {
    static const double k8[] = {0, 1, 3, 64, 100, 127, 128, 200, 213, 255};
    static const double k16[] = {0, 1, 255, 0x00FF, 0x01FF, 0x12FF, 16384, 30000, 32768, 40000, 65535};
    static const double kf[] = {0.0,  -0.0, 0.5, 1.0, 1.5, -0.2, -0.25, 1.2, 2.0, double(NAN), double(INFINITY),
                                -double(INFINITY), double(bits_float(0x3B008080u)), double(bits_float(0x3F7FFFFFu))};
    const bool special = rng() % 4 == 0;
    switch (t) {
        case Ty::U8: return special ? k8[rng() % std::size(k8)] : double(rng() % 256);
        case Ty::U16: return special ? k16[rng() % std::size(k16)] : double(rng() % 65536);
        default:
            return special ? kf[rng() % std::size(kf)] : f32_random(rng);
    }
}

// Fills every sample (X and padding samples included) at random; one pixel in eight
// gets a quoted (colour, alpha) pair in R and A.
inline void fill_random(std::mt19937& rng, TestImage& img) {
    struct Pair {
        double c, a;
    };
    static const Pair p8[] = {{255, 127}, {128, 128}, {1, 128}, {213, 3}, {200, 100}, {100, 200},
                              {255, 128}, {64, 128},  {127, 255}, {77, 0}, {0, 0}, {255, 1}};
    static const Pair p16[] = {{65535, 32768}, {16384, 32768}, {40000, 30000}, {65535, 1},
                               {40000, 1},     {1, 0},         {32768, 65535}, {65535, 65535}};
    const Pair pf[] = {{0.5, 0.5}, {0.75, 0.5}, {0.25, 0.5}, {2.0, 1.0}, {0.6, 0.5},
                       {2.0, 0.5}, {0.3, 0.0},  {0.3, -0.0}, {std::nan(""), 0.5}, {0.5, std::nan("")}};
    for (auto& plane : img.planes) {
        const size_t n = plane.row_bytes / size_of(img.fmt->ty);
        for (uint32_t y = 0; y < img.height; ++y)
            for (size_t i = 0; i < n; ++i) {
                const double v = random_sample(rng, img.fmt->ty);
                switch (img.fmt->ty) {
                    case Ty::U8: write_at<uint8_t>(plane.row(y), i, uint8_t(v)); break;
                    case Ty::U16: write_at<uint16_t>(plane.row(y), i, uint16_t(v)); break;
                    default: write_at<float>(plane.row(y), i, float(v)); break;
                }
            }
    }
    if (img.fmt->pos[3] < 0) return;
    for (uint32_t y = 0; y < img.height; ++y)
        for (uint32_t x = 0; x < img.width; ++x) {
            if (rng() % 8) continue;
            Pair p;
            switch (img.fmt->ty) {
                case Ty::U8: p = p8[rng() % std::size(p8)]; break;
                case Ty::U16: p = p16[rng() % std::size(p16)]; break;
                default: p = pf[rng() % std::size(pf)]; break;
            }
            img.set(x, y, 0, p.c);
            img.set(x, y, 3, p.a);
        }
}
