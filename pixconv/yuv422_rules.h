#pragma once
// Rows of the 4:2:2 repacks (UYVY, V210, planar YUV 4:2:2) and of the 2:1 box
// downscalers. In PIXCONV_ISA_NS like sample_rules.h.
#include <cstddef>
#include <cstring>

#include "pixconv/pixel_engine.h"

namespace PIXCONV_ISA_NS {

// The sample depths of planar YUV 4:2:2 and their bit-shift rules.
struct yuv_8 {
    using Sample = uint8_t;
    static Sample from8(uint8_t x) { return x; }
    static uint8_t to8(Sample x) { return x; }
    static Sample from10(uint32_t f) { return static_cast<Sample>(f >> 2); }
};
struct yuv_10 {
    using Sample = uint16_t;
    static Sample from8(uint8_t x) { return static_cast<Sample>((x << 2) | (x >> 6)); }
    static uint8_t to8(Sample x) { return static_cast<uint8_t>((x >> 2) & 0xFF); }
    static Sample from10(uint32_t f) { return static_cast<Sample>(f); }
};
struct yuv_12 {
    using Sample = uint16_t;
    static Sample from8(uint8_t x) { return static_cast<Sample>((x << 4) | (x >> 4)); }
    static uint8_t to8(Sample x) { return static_cast<uint8_t>((x >> 4) & 0xFF); }
};

template <class T>
inline void put(uint8_t* row, size_t index, T v) {
    std::memcpy(row + index * sizeof(T), &v, sizeof(T));
}
template <class T>
inline T get(const uint8_t* row, size_t index) {
    T v;
    std::memcpy(&v, row + index * sizeof(T), sizeof(T));
    return v;
}

// UYVY pairs [first, last) into planes Y, U, V.
template <class Y>
inline void uyvy_pairs_to_planar(uint8_t* const* d, const uint8_t* s, uint32_t first, uint32_t last) {
    using T = typename Y::Sample;
    for (uint32_t i = first; i < last; ++i) {
        const uint8_t* p = s + static_cast<size_t>(i) * 4;
        put<T>(d[1], i, Y::from8(p[0]));
        put<T>(d[0], 2 * static_cast<size_t>(i), Y::from8(p[1]));
        put<T>(d[2], i, Y::from8(p[2]));
        put<T>(d[0], 2 * static_cast<size_t>(i) + 1, Y::from8(p[3]));
    }
}

// A whole UYVY row. The last pixel of an odd width is read from its pair (the UYVY
// line always holds whole pairs) and written alone: its Y and the pair's U and V.
template <class Y>
inline void uyvy_row_to_planar(uint8_t* const* d, const uint8_t* const* s, uint32_t width) {
    using T = typename Y::Sample;
    uyvy_pairs_to_planar<Y>(d, s[0], 0, width / 2);
    if (width & 1) {
        const size_t i = width / 2;
        const uint8_t* p = s[0] + i * 4;
        put<T>(d[1], i, Y::from8(p[0]));
        put<T>(d[0], 2 * i, Y::from8(p[1]));
        put<T>(d[2], i, Y::from8(p[2]));
    }
}

// A whole planar row into UYVY. An odd width's last pixel fills its pair's four
// bytes, its Y repeated into the partner's place, so no output byte is left unset.
template <class Y>
inline void planar_row_to_uyvy(uint8_t* const* d, const uint8_t* const* s, uint32_t width) {
    using T = typename Y::Sample;
    const uint32_t pairs = (width + 1) / 2;
    for (uint32_t i = 0; i < pairs; ++i) {
        uint8_t* p = d[0] + static_cast<size_t>(i) * 4;
        const size_t y0 = 2 * static_cast<size_t>(i);
        const uint8_t left = Y::to8(get<T>(s[0], y0));
        p[0] = Y::to8(get<T>(s[1], i));
        p[1] = left;
        p[2] = Y::to8(get<T>(s[2], i));
        p[3] = (y0 + 1 < width) ? Y::to8(get<T>(s[0], y0 + 1)) : left;
    }
}

// A V210 row: groups of six pixels in four little-endian words; the last,
// partial group is read whole (the line is padded to 128 bytes) and only the samples
// of pixels inside the width are written, a lone last pixel included.
template <class Y>
inline void v210_row_to_planar(uint8_t* const* d, const uint8_t* const* s, uint32_t width) {
    using T = typename Y::Sample;
    const uint32_t groups = (width + 5) / 6;
    for (uint32_t k = 0; k < groups; ++k) {
        uint32_t w[4];
        std::memcpy(w, s[0] + static_cast<size_t>(k) * 16, 16);
        const uint32_t f[12] = {w[0] & 0x3FF, (w[0] >> 10) & 0x3FF, (w[0] >> 20) & 0x3FF,
                                w[1] & 0x3FF, (w[1] >> 10) & 0x3FF, (w[1] >> 20) & 0x3FF,
                                w[2] & 0x3FF, (w[2] >> 10) & 0x3FF, (w[2] >> 20) & 0x3FF,
                                w[3] & 0x3FF, (w[3] >> 10) & 0x3FF, (w[3] >> 20) & 0x3FF};
        // Field positions: Y0..Y5, then U0 V0, U1 V1, U2 V2.
        static constexpr int kY[6] = {1, 3, 5, 7, 9, 11};
        static constexpr int kU[3] = {0, 4, 8};
        static constexpr int kV[3] = {2, 6, 10};
        const uint32_t base = k * 6;
        const uint32_t count = width - base < 6 ? width - base : 6;
        for (uint32_t j = 0; j < count; ++j) put<T>(d[0], base + j, Y::from10(f[kY[j]]));
        for (uint32_t j = 0; 2 * j < count; ++j) {
            put<T>(d[1], k * 3 + j, Y::from10(f[kU[j]]));
            put<T>(d[2], k * 3 + j, Y::from10(f[kV[j]]));
        }
    }
}

// 2:1 box downscale of 8-bit RGBA rows: destination pixels [first, last) from two
// source rows; each channel is the 2x2 sum s rounded as (s + ((s >> 1) & 1)) >> 2.
// OpaqueOut writes alpha 255 (RGBX source).
template <bool OpaqueOut>
inline void half_bilinear_pixels(uint8_t* d, const uint8_t* s0, const uint8_t* s1, uint32_t first, uint32_t last) {
    for (uint32_t x = first; x < last; ++x) {
        const uint8_t* a = s0 + static_cast<size_t>(x) * 8;
        const uint8_t* b = s1 + static_cast<size_t>(x) * 8;
        uint8_t* o = d + static_cast<size_t>(x) * 4;
        for (int c = 0; c < 4; ++c) {
            const uint32_t sum = uint32_t(a[c]) + a[c + 4] + b[c] + b[c + 4];
            o[c] = static_cast<uint8_t>((sum + ((sum >> 1) & 1u)) >> 2);
        }
        if constexpr (OpaqueOut) o[3] = 255;
    }
}

// The 2:1 downscalers take the destination's width and height; the source plane holds
// twice as many pixels in both directions.
template <class RowFn>
inline void for_each_half_row(uint8_t* const* dst, const uint8_t* const* src, const int64_t* dst_stride,
                              const int64_t* src_stride, uint32_t width, uint32_t height, RowFn row) {
    if (width == 0 || height == 0) return;
    uint8_t* d = dst[0];
    const uint8_t* s = src[0];
    for (uint32_t y = 0; y < height; ++y) {
        row(d, s, s + src_stride[0], width);
        if (y + 1 == height) break;
        d += dst_stride[0];
        s += 2 * src_stride[0];
    }
}

}  // namespace PIXCONV_ISA_NS
