#pragma once
// The generic pixel loop behind every RGB whole-image kernel: a source format, a
// destination format and an alpha kind. A kernel is one instantiation,
// convert_image<fmt_source, fmt_destination, Kind>. Lives in PIXCONV_ISA_NS like
// sample_rules.h, for the same reason.
#include <cstring>

#include "pixconv/sample_rules.h"

namespace PIXCONV_ISA_NS {

enum class Kind { Straight, Premul, Unpremul, PremulOpaque };

template <class T>
struct Pixel {
    T r, g, b, a;
};

template <class T>
inline T load_sample(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}
template <class T>
inline void store_sample(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

// A packed format: `Channels` samples of type T per pixel; R, G, B, A give each
// channel's position (A = -1: none). ReadsAlpha: the fourth sample is alpha (not X)
// when read; WritesFourth: a fourth sample is written (alpha or X).
template <class T, int Channels, int R, int G, int B, int A, bool ReadsAlpha, bool WritesFourth>
struct PackedFormat {
    using Sample = T;
    static constexpr int kPlanes = 1;
    static constexpr bool kReadsAlpha = ReadsAlpha;
    static constexpr bool kWritesFourth = WritesFourth;
    static Pixel<T> load(const uint8_t* const* rows, uint32_t x) {
        const uint8_t* p = rows[0] + static_cast<size_t>(x) * Channels * sizeof(T);
        Pixel<T> px;
        px.r = load_sample<T>(p + R * sizeof(T));
        px.g = load_sample<T>(p + G * sizeof(T));
        px.b = load_sample<T>(p + B * sizeof(T));
        if constexpr (ReadsAlpha) px.a = load_sample<T>(p + A * sizeof(T));
        else px.a = SampleMax<T>::value;
        return px;
    }
    static void store(uint8_t* const* rows, uint32_t x, const Pixel<T>& px) {
        uint8_t* p = rows[0] + static_cast<size_t>(x) * Channels * sizeof(T);
        store_sample<T>(p + R * sizeof(T), px.r);
        store_sample<T>(p + G * sizeof(T), px.g);
        store_sample<T>(p + B * sizeof(T), px.b);
        if constexpr (WritesFourth) store_sample<T>(p + A * sizeof(T), px.a);
    }
};

// A planar format: planes R, G, B and, with Planes = 4, A.
template <class T, int Planes>
struct PlanarFormat {
    using Sample = T;
    static constexpr int kPlanes = Planes;
    static constexpr bool kReadsAlpha = Planes == 4;
    static constexpr bool kWritesFourth = Planes == 4;
    static Pixel<T> load(const uint8_t* const* rows, uint32_t x) {
        const size_t o = static_cast<size_t>(x) * sizeof(T);
        Pixel<T> px;
        px.r = load_sample<T>(rows[0] + o);
        px.g = load_sample<T>(rows[1] + o);
        px.b = load_sample<T>(rows[2] + o);
        if constexpr (Planes == 4) px.a = load_sample<T>(rows[3] + o);
        else px.a = SampleMax<T>::value;
        return px;
    }
    static void store(uint8_t* const* rows, uint32_t x, const Pixel<T>& px) {
        const size_t o = static_cast<size_t>(x) * sizeof(T);
        store_sample<T>(rows[0] + o, px.r);
        store_sample<T>(rows[1] + o, px.g);
        store_sample<T>(rows[2] + o, px.b);
        if constexpr (Planes == 4) store_sample<T>(rows[3] + o, px.a);
    }
};

// The format tokens of the kernel names. RGBX sources read no alpha (opaque); as
// destinations they are written like their RGBA twins.
using fmt_argb8 = PackedFormat<uint8_t, 4, 1, 2, 3, 0, true, true>;
using fmt_rgba8 = PackedFormat<uint8_t, 4, 0, 1, 2, 3, true, true>;
using fmt_rgb8 = PackedFormat<uint8_t, 3, 0, 1, 2, -1, false, false>;
using fmt_bgr8 = PackedFormat<uint8_t, 3, 2, 1, 0, -1, false, false>;
using fmt_rgbx8 = PackedFormat<uint8_t, 4, 0, 1, 2, 3, false, true>;
using fmt_rgba16 = PackedFormat<uint16_t, 4, 0, 1, 2, 3, true, true>;
using fmt_rgbx16 = PackedFormat<uint16_t, 4, 0, 1, 2, 3, false, true>;
using fmt_rgba32f = PackedFormat<float, 4, 0, 1, 2, 3, true, true>;
using fmt_rgbx32f = PackedFormat<float, 4, 0, 1, 2, 3, false, true>;
using fmt_planar_rgb8 = PlanarFormat<uint8_t, 3>;
using fmt_planar_rgba8 = PlanarFormat<uint8_t, 4>;
using fmt_planar_rgb16 = PlanarFormat<uint16_t, 3>;
using fmt_planar_rgba16 = PlanarFormat<uint16_t, 4>;
using fmt_planar_rgb32f = PlanarFormat<float, 3>;
using fmt_planar_rgba32f = PlanarFormat<float, 4>;

template <class S, class D, Kind K>
inline Pixel<D> convert_pixel(const Pixel<S>& in) {
    Pixel<D> out;
    if constexpr (K == Kind::Straight) {
        out.r = depth<S, D>(in.r);
        out.g = depth<S, D>(in.g);
        out.b = depth<S, D>(in.b);
    } else if constexpr (K == Kind::Unpremul) {
        out.r = unpremul<S, D>(in.r, in.a);
        out.g = unpremul<S, D>(in.g, in.a);
        out.b = unpremul<S, D>(in.b, in.a);
    } else {
        out.r = premul<S, D>(in.r, in.a);
        out.g = premul<S, D>(in.g, in.a);
        out.b = premul<S, D>(in.b, in.a);
    }
    out.a = K == Kind::PremulOpaque ? SampleMax<D>::value : depth<S, D>(in.a);
    return out;
}

// Pixels [first, last) of one row: every source sample of a pixel is read before
// any of its output is written, so converting in place (same packed plane) is safe.
template <class SF, class DF, Kind K>
inline void convert_row(uint8_t* const* drow, const uint8_t* const* srow, uint32_t first, uint32_t last) {
    using S = typename SF::Sample;
    using D = typename DF::Sample;
    for (uint32_t x = first; x < last; ++x) DF::store(drow, x, convert_pixel<S, D, K>(SF::load(srow, x)));
}

// Runs row(destination rows, source rows, width) for every row, moving the first
// SrcPlanes source and DstPlanes destination plane pointers by their strides.
template <int SrcPlanes, int DstPlanes, class RowFn>
inline void for_each_row(uint8_t* const* dst, const uint8_t* const* src, const int64_t* dst_stride,
                         const int64_t* src_stride, uint32_t width, uint32_t height, RowFn row) {
    if (width == 0 || height == 0) return;
    const uint8_t* srow[4] = {};
    uint8_t* drow[4] = {};
    for (int p = 0; p < SrcPlanes; ++p) srow[p] = src[p];
    for (int p = 0; p < DstPlanes; ++p) drow[p] = dst[p];
    for (uint32_t y = 0; y < height; ++y) {
        row(drow, srow, width);
        if (y + 1 == height) break;  // no pointer is formed past the last row
        for (int p = 0; p < SrcPlanes; ++p) srow[p] += src_stride[p];
        for (int p = 0; p < DstPlanes; ++p) drow[p] += dst_stride[p];
    }
}

template <class SF, class DF, Kind K>
inline void convert_image(uint8_t* const* dst, const uint8_t* const* src, const int64_t* dst_stride,
                          const int64_t* src_stride, uint32_t width, uint32_t height) {
    for_each_row<SF::kPlanes, DF::kPlanes>(dst, src, dst_stride, src_stride, width, height,
                            [](uint8_t* const* drow, const uint8_t* const* srow, uint32_t w) {
                                convert_row<SF, DF, K>(drow, srow, 0, w);
                            });
}

}  // namespace PIXCONV_ISA_NS

// The kind of a kernel-name suffix (used with token pasting: PIXCONV_KIND##suffix).
#define PIXCONV_KIND PIXCONV_ISA_NS::Kind::Straight
#define PIXCONV_KIND_premul PIXCONV_ISA_NS::Kind::Premul
#define PIXCONV_KIND_unpremul PIXCONV_ISA_NS::Kind::Unpremul
#define PIXCONV_KIND_premul_opaque PIXCONV_ISA_NS::Kind::PremulOpaque
