// AVX2 builds of the integer and integer-to-float kernels: shifts, bit replication,
// byte moves, 16-bit premultiply and 2:1 sums, and one single-precision multiply by
// the same constant as the plain builds, so their results equal the plain builds' for
// every input. Each row runs whole vector blocks from its start and the rest of the
// row through the plain arithmetic. Compiled with -mavx2 -mfma (this file only); run
// only where pixconv_use_avx2() allowed it.
#include <immintrin.h>

#include <type_traits>

#define PIXCONV_ISA_NS pixconv_avx2
#include "pixconv/pixconv.h"
#include "pixconv/plane_rules.h"
#include "pixconv/yuv422_rules.h"

using namespace pixconv_avx2;

namespace {

inline __m256i load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// ---- blocks over samples: each takes a sample index and handles a fixed count ----

// 32 bytes to 32 u16 by (x << 8) | x.
inline void widen8_16_block(uint8_t* d, const uint8_t* s, __m256i or_mask) {
    const __m256i v = _mm256_permute4x64_epi64(load(s), 0xD8);
    store(d, _mm256_or_si256(_mm256_unpacklo_epi8(v, v), or_mask));
    store(d + 32, _mm256_or_si256(_mm256_unpackhi_epi8(v, v), or_mask));
}

// 32 bytes to 32 u16 by (x << 2) | (x >> 6).
inline void widen8_10_block(uint8_t* d, const uint8_t* s) {
    const __m256i v = _mm256_permute4x64_epi64(load(s), 0xD8);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = _mm256_unpacklo_epi8(v, zero), hi = _mm256_unpackhi_epi8(v, zero);
    store(d, _mm256_or_si256(_mm256_slli_epi16(lo, 2), _mm256_srli_epi16(lo, 6)));
    store(d + 32, _mm256_or_si256(_mm256_slli_epi16(hi, 2), _mm256_srli_epi16(hi, 6)));
}

// 8 bytes (or u16) to 8 floats times k; `alpha_one` sets lanes 3 and 7 to 1.0.
template <bool Sixteen>
inline void int_to_float_block(uint8_t* d, const uint8_t* s, __m256 k, bool alpha_one) {
    const __m256i x = Sixteen ? _mm256_cvtepu16_epi32(load16(s))
                              : _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)));
    __m256 f = _mm256_mul_ps(_mm256_cvtepi32_ps(x), k);
    if (alpha_one) f = _mm256_blend_ps(f, _mm256_set1_ps(1.0f), 0x88);
    _mm256_storeu_ps(reinterpret_cast<float*>(d), f);
}

// 32 u16 to 32 bytes: (x >> Shift) limited to the low byte.
template <int Shift>
inline void narrow16_8_block(uint8_t* d, const uint8_t* s, __m256i or_mask) {
    const __m256i byte = _mm256_set1_epi16(0xFF);
    const __m256i a = _mm256_and_si256(_mm256_srli_epi16(load(s), Shift), byte);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi16(load(s + 32), Shift), byte);
    store(d, _mm256_or_si256(_mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8), or_mask));
}

// 8-bit premultiply of 8 RGBA pixels in 16-bit lanes: t = (c + (a >> 7)) x a, then
// t >> 8 plus bit 7 of t where a < 128. Opaque writes 255 as alpha.
template <bool Opaque>
inline __m256i premul_4px(__m256i px) {
    const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(px, 0xFF), 0xFF);
    const __m256i s = _mm256_srli_epi16(a, 7);
    const __m256i t = _mm256_mullo_epi16(_mm256_add_epi16(px, s), a);
    const __m256i round = _mm256_and_si256(_mm256_srli_epi16(t, 7), _mm256_xor_si256(s, _mm256_set1_epi16(1)));
    const __m256i c = _mm256_add_epi16(_mm256_srli_epi16(t, 8), round);
    return _mm256_blend_epi16(c, Opaque ? _mm256_set1_epi16(255) : px, 0x88);
}

template <bool Opaque>
inline void premul8_block(uint8_t* d, const uint8_t* s) {
    const __m256i lo = premul_4px<Opaque>(_mm256_cvtepu8_epi16(load16(s)));
    const __m256i hi = premul_4px<Opaque>(_mm256_cvtepu8_epi16(load16(s + 16)));
    store(d, _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
}

// ---- row drivers: blocks from the row start, the plain form for the rest ----

template <class S, class D, int Samples, class Block>
void plane_blocks(PIXCONV_PLANE_ARGS, Block block) {
    for_each_plane_row(dst, src, dst_stride, src_stride, width, height,
                       [&block](uint8_t* d, const uint8_t* s, uint32_t w) {
                           using SS = typename S::Sample;
                           using DS = typename D::Sample;
                           const uint32_t blocks = w / Samples;
                           for (uint32_t k = 0; k < blocks; ++k)
                               block(d + size_t(k) * Samples * sizeof(DS), s + size_t(k) * Samples * sizeof(SS));
                           convert_plane_row<S, D>(d, s, blocks * Samples, w);
                       });
}

template <class SF, class DF, Kind K, int Pixels, class Block>
void packed_blocks(PIXCONV_IMAGE_ARGS, Block block) {
    for_each_row<1, 1>(dst, src, dst_stride, src_stride, width, height,
                       [&block](uint8_t* const* drow, const uint8_t* const* srow, uint32_t w) {
                           constexpr size_t kSrcPx = 4 * sizeof(typename SF::Sample);
                           constexpr size_t kDstPx = 4 * sizeof(typename DF::Sample);
                           const uint32_t blocks = w / Pixels;
                           for (uint32_t k = 0; k < blocks; ++k)
                               block(drow[0] + size_t(k) * Pixels * kDstPx, srow[0] + size_t(k) * Pixels * kSrcPx);
                           convert_row<SF, DF, K>(drow, srow, blocks * Pixels, w);
                       });
}

// No bits to set (a function: a namespace-scope vector constant would be initialised
// with AVX instructions at program start, on any processor).
inline __m256i no_bits() { return _mm256_setzero_si256(); }

// 16 UYVY pixels (32 bytes) to 16 Y, 8 U and 8 V bytes.
inline void split_uyvy(const uint8_t* s, __m128i* y, __m128i* u, __m128i* v) {
    const __m256i order = _mm256_setr_epi8(1, 3, 5, 7, 9, 11, 13, 15, 0, 4, 8, 12, 2, 6, 10, 14,  //
                                           1, 3, 5, 7, 9, 11, 13, 15, 0, 4, 8, 12, 2, 6, 10, 14);
    const __m256i grouped = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(load(s), order), 0xD8);
    *y = _mm256_castsi256_si128(grouped);
    const __m128i uv = _mm_shuffle_epi32(_mm256_extracti128_si256(grouped, 1), 0xD8);  // U0-3 U4-7 V0-3 V4-7
    *u = uv;
    *v = _mm_srli_si128(uv, 8);
}

template <bool TenBits>
void uyvy_row(uint8_t* const* d, const uint8_t* const* s, uint32_t w) {
    const uint32_t blocks = w / 16;
    for (uint32_t k = 0; k < blocks; ++k) {
        __m128i y, u, v;
        split_uyvy(s[0] + size_t(k) * 32, &y, &u, &v);
        if constexpr (TenBits) {
            auto ten = [](__m256i x) { return _mm256_or_si256(_mm256_slli_epi16(x, 2), _mm256_srli_epi16(x, 6)); };
            store(d[0] + size_t(k) * 32, ten(_mm256_cvtepu8_epi16(y)));
            const __m256i uv = ten(_mm256_cvtepu8_epi16(_mm_unpacklo_epi64(u, v)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d[1] + size_t(k) * 16), _mm256_castsi256_si128(uv));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d[2] + size_t(k) * 16), _mm256_extracti128_si256(uv, 1));
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d[0] + size_t(k) * 16), y);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d[1] + size_t(k) * 8), u);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d[2] + size_t(k) * 8), v);
        }
    }
    // The rest of the row, the lone last pixel of an odd width included.
    using Y = std::conditional_t<TenBits, yuv_10, yuv_8>;
    uyvy_pairs_to_planar<Y>(d, s[0], blocks * 8, w / 2);
    if (w & 1) {
        using T = typename Y::Sample;
        const size_t i = w / 2;
        const uint8_t* p = s[0] + i * 4;
        put<T>(d[1], i, Y::from8(p[0]));
        put<T>(d[0], 2 * i, Y::from8(p[1]));
        put<T>(d[2], i, Y::from8(p[2]));
    }
}

// 4 destination pixels of the 2:1 box from 8 source pixels of two rows.
template <bool OpaqueOut>
inline void half_block(uint8_t* d, const uint8_t* s0, const uint8_t* s1) {
    const __m256i a = load(s0), b = load(s1);
    const __m256i lo = _mm256_add_epi16(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(a)),
                                        _mm256_cvtepu8_epi16(_mm256_castsi256_si128(b)));  // P0 P1 | P2 P3
    const __m256i hi = _mm256_add_epi16(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(a, 1)),
                                        _mm256_cvtepu8_epi16(_mm256_extracti128_si256(b, 1)));  // P4 P5 | P6 P7
    const __m256i slo = _mm256_add_epi16(lo, _mm256_bsrli_epi128(lo, 8));  // P0+P1 | P2+P3 in the low halves
    const __m256i shi = _mm256_add_epi16(hi, _mm256_bsrli_epi128(hi, 8));
    const __m256i sum = _mm256_unpacklo_epi64(slo, shi);  // Q0 Q2 | Q1 Q3
    const __m256i r = _mm256_srli_epi16(
        _mm256_add_epi16(sum, _mm256_and_si256(_mm256_srli_epi16(sum, 1), _mm256_set1_epi16(1))), 2);
    const __m256i bytes = _mm256_packus_epi16(r, r);  // Q0 Q2 Q0 Q2 | Q1 Q3 Q1 Q3 (32-bit pixels)
    __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
    if (OpaqueOut) ordered = _mm256_or_si256(ordered, _mm256_set1_epi32(int(0xFF000000u)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(ordered));
}

template <bool OpaqueOut>
void half_bilinear_blocks(PIXCONV_IMAGE_ARGS) {
    for_each_half_row(dst, src, dst_stride, src_stride, width, height,
                      [](uint8_t* d, const uint8_t* s0, const uint8_t* s1, uint32_t w) {
                          const uint32_t blocks = w / 4;
                          for (uint32_t k = 0; k < blocks; ++k)
                              half_block<OpaqueOut>(d + size_t(k) * 16, s0 + size_t(k) * 32, s1 + size_t(k) * 32);
                          half_bilinear_pixels<OpaqueOut>(d, s0, s1, blocks * 4, w);
                      });
}

}  // namespace

// ---- planes ----

void conv_plane_8_to_16le_avx2(PIXCONV_PLANE_ARGS) {
    plane_blocks<depth_8, depth_16le, 32>(dst, src, dst_stride, src_stride, width, height,
                                          [](uint8_t* d, const uint8_t* s) { widen8_16_block(d, s, no_bits()); });
}
void conv_plane_8_to_10le_avx2(PIXCONV_PLANE_ARGS) {
    plane_blocks<depth_8, depth_10le, 32>(dst, src, dst_stride, src_stride, width, height, widen8_10_block);
}
void conv_plane_8_to_32f_avx2(PIXCONV_PLANE_ARGS) {
    plane_blocks<depth_8, depth_32f, 8>(dst, src, dst_stride, src_stride, width, height,
                                        [](uint8_t* d, const uint8_t* s) {
                                            int_to_float_block<false>(d, s, _mm256_set1_ps(kInv255), false);
                                        });
}
void conv_plane_16le_to_32f_avx2(PIXCONV_PLANE_ARGS) {
    plane_blocks<depth_16le, depth_32f, 8>(dst, src, dst_stride, src_stride, width, height,
                                           [](uint8_t* d, const uint8_t* s) {
                                               int_to_float_block<true>(d, s, _mm256_set1_ps(kInv65535), false);
                                           });
}
void conv_plane_10le_to_8_avx2(PIXCONV_PLANE_ARGS) {
    plane_blocks<depth_10le, depth_8, 32>(dst, src, dst_stride, src_stride, width, height,
                                          [](uint8_t* d, const uint8_t* s) { narrow16_8_block<2>(d, s, no_bits()); });
}
void conv_plane_16le_to_8_avx2(PIXCONV_PLANE_ARGS) {
    plane_blocks<depth_16le, depth_8, 32>(dst, src, dst_stride, src_stride, width, height,
                                          [](uint8_t* d, const uint8_t* s) { narrow16_8_block<8>(d, s, no_bits()); });
}

// ---- packed RGBA / RGBX ----

void conv_rgba8_to_rgba16_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgba8, fmt_rgba16, Kind::Straight, 8>(
        dst, src, dst_stride, src_stride, width, height,
        [](uint8_t* d, const uint8_t* s) { widen8_16_block(d, s, no_bits()); });
}
void conv_rgbx8_to_rgba16_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgbx8, fmt_rgba16, Kind::Straight, 8>(
        dst, src, dst_stride, src_stride, width, height, [](uint8_t* d, const uint8_t* s) {
            widen8_16_block(d, s, _mm256_set1_epi64x(int64_t(0xFFFF000000000000ull)));
        });
}
void conv_rgba8_to_rgba32f_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgba8, fmt_rgba32f, Kind::Straight, 2>(
        dst, src, dst_stride, src_stride, width, height,
        [](uint8_t* d, const uint8_t* s) { int_to_float_block<false>(d, s, _mm256_set1_ps(kInv255), false); });
}
void conv_rgbx8_to_rgba32f_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgbx8, fmt_rgba32f, Kind::Straight, 2>(
        dst, src, dst_stride, src_stride, width, height,
        [](uint8_t* d, const uint8_t* s) { int_to_float_block<false>(d, s, _mm256_set1_ps(kInv255), true); });
}
void conv_rgba16_to_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgba16, fmt_rgba8, Kind::Straight, 8>(
        dst, src, dst_stride, src_stride, width, height,
        [](uint8_t* d, const uint8_t* s) { narrow16_8_block<8>(d, s, no_bits()); });
}
void conv_rgbx16_to_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgbx16, fmt_rgba8, Kind::Straight, 8>(
        dst, src, dst_stride, src_stride, width, height, [](uint8_t* d, const uint8_t* s) {
            narrow16_8_block<8>(d, s, _mm256_set1_epi32(int(0xFF000000u)));
        });
}
void conv_rgba16_to_rgba32f_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgba16, fmt_rgba32f, Kind::Straight, 2>(
        dst, src, dst_stride, src_stride, width, height,
        [](uint8_t* d, const uint8_t* s) { int_to_float_block<true>(d, s, _mm256_set1_ps(kInv65535), false); });
}
void conv_rgbx16_to_rgba32f_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgbx16, fmt_rgba32f, Kind::Straight, 2>(
        dst, src, dst_stride, src_stride, width, height,
        [](uint8_t* d, const uint8_t* s) { int_to_float_block<true>(d, s, _mm256_set1_ps(kInv65535), true); });
}
void conv_rgba8_to_rgba8_premul_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgba8, fmt_rgba8, Kind::Premul, 8>(dst, src, dst_stride, src_stride, width, height,
                                                         premul8_block<false>);
}
void conv_rgba8_to_rgba8_premul_opaque_avx2(PIXCONV_IMAGE_ARGS) {
    packed_blocks<fmt_rgba8, fmt_rgba8, Kind::PremulOpaque, 8>(dst, src, dst_stride, src_stride, width, height,
                                                               premul8_block<true>);
}

// ---- UYVY and the 2:1 downscalers ----

void conv_uyvy_to_planar_yuv422_avx2(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 3>(dst, src, dst_stride, src_stride, width, height, uyvy_row<false>);
}
void conv_uyvy_to_planar_yuv422_10_avx2(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 3>(dst, src, dst_stride, src_stride, width, height, uyvy_row<true>);
}
void half_bilinear_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    half_bilinear_blocks<false>(dst, src, dst_stride, src_stride, width, height);
}
void half_bilinear_rgbx8_to_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    half_bilinear_blocks<true>(dst, src, dst_stride, src_stride, width, height);
}
