#pragma once
// One-plane depth changes between 8, 10le, 12le, 16le and 32f samples, and the plane
// loop they run in. In PIXCONV_ISA_NS like sample_rules.h.
#include <cstddef>
#include <cstring>

#include "pixconv/sample_rules.h"

namespace PIXCONV_ISA_NS {

struct depth_8 {
    using Sample = uint8_t;
};
struct depth_10le {
    using Sample = uint16_t;
};
struct depth_12le {
    using Sample = uint16_t;
};
struct depth_16le {
    using Sample = uint16_t;
};
struct depth_32f {
    using Sample = float;
};

template <class S, class D>
struct PlaneRule;
#define PIXCONV_PLANE_RULE(S, D, EXPR)                                      \
    template <>                                                              \
    struct PlaneRule<depth_##S, depth_##D> {                                 \
        static inline depth_##D::Sample apply(depth_##S::Sample x) { return static_cast<depth_##D::Sample>(EXPR); } \
    };
PIXCONV_PLANE_RULE(8, 10le, (x << 2) | (x >> 6))
PIXCONV_PLANE_RULE(8, 12le, (x << 4) | (x >> 4))
PIXCONV_PLANE_RULE(8, 16le, (x << 8) | x)
PIXCONV_PLANE_RULE(8, 32f, static_cast<float>(x) * kInv255)
PIXCONV_PLANE_RULE(10le, 8, (x >> 2) & 0xFF)
PIXCONV_PLANE_RULE(10le, 12le, ((x & 0x3FF) << 2) | ((x & 0x3FF) >> 8))
PIXCONV_PLANE_RULE(10le, 16le, ((x & 0x3FF) << 6) | ((x & 0x3FF) >> 4))
PIXCONV_PLANE_RULE(10le, 32f, static_cast<float>(x) / 1023.0f)
PIXCONV_PLANE_RULE(12le, 8, (x >> 4) & 0xFF)
PIXCONV_PLANE_RULE(12le, 10le, (x >> 2) & 0x3FF)
PIXCONV_PLANE_RULE(12le, 16le, ((x & 0xFFF) << 4) | ((x & 0xFFF) >> 8))
PIXCONV_PLANE_RULE(12le, 32f, static_cast<float>(x) / 4095.0f)
PIXCONV_PLANE_RULE(16le, 8, x >> 8)
PIXCONV_PLANE_RULE(16le, 10le, x >> 6)
PIXCONV_PLANE_RULE(16le, 12le, x >> 4)
PIXCONV_PLANE_RULE(16le, 32f, static_cast<float>(x) * kInv65535)
PIXCONV_PLANE_RULE(32f, 8, float_to_int<255>(x))
PIXCONV_PLANE_RULE(32f, 10le, float_to_int<1023>(x))
PIXCONV_PLANE_RULE(32f, 12le, float_to_int<4095>(x))
PIXCONV_PLANE_RULE(32f, 16le, float_to_int<65535>(x))
#undef PIXCONV_PLANE_RULE

// Samples [first, last) of one row.
template <class S, class D>
inline void convert_plane_row(uint8_t* drow, const uint8_t* srow, uint32_t first, uint32_t last) {
    using SS = typename S::Sample;
    using DS = typename D::Sample;
    for (uint32_t x = first; x < last; ++x) {
        SS v;
        std::memcpy(&v, srow + static_cast<size_t>(x) * sizeof(SS), sizeof(SS));
        const DS r = PlaneRule<S, D>::apply(v);
        std::memcpy(drow + static_cast<size_t>(x) * sizeof(DS), &r, sizeof(DS));
    }
}

template <class RowFn>
inline void for_each_plane_row(uint8_t* dst, const uint8_t* src, int64_t dst_stride, int64_t src_stride,
                               uint32_t width, uint32_t height, RowFn row) {
    if (width == 0 || height == 0) return;
    for (uint32_t y = 0; y < height; ++y) {
        row(dst, src, width);
        if (y + 1 == height) break;
        dst += dst_stride;
        src += src_stride;
    }
}

template <class S, class D>
inline void convert_plane(uint8_t* dst, const uint8_t* src, int64_t dst_stride, int64_t src_stride, uint32_t width,
                          uint32_t height) {
    for_each_plane_row(dst, src, dst_stride, src_stride, width, height,
                       [](uint8_t* d, const uint8_t* s, uint32_t w) { convert_plane_row<S, D>(d, s, 0, w); });
}

}  // namespace PIXCONV_ISA_NS
