// AVX2 builds with hand-written blocks: float to integer with fused rounding, the
// integer un-premultiply, and the float alpha multiplies. Compiled with -mavx2 -mfma
// (this file only); run only where pixconv_use_avx2() allowed it.
//
// Each row is worked in whole blocks from its start (8 pixels, or 32 samples for the
// float planes); the rest of the row runs the plain arithmetic, compiled here.
// Fused rounding, r = truncate(fma(v, M, 0.5)) on v limited to 0..1, gives the same
// integer as roundf(v x M) for every float but one: 0x3B008080 with M = 255, which
// gives 1 where the plain form gives 0.
#include <immintrin.h>

#define PIXCONV_ISA_NS pixconv_avx2
#include "pixconv/pixconv.h"
#include "pixconv/pixel_engine.h"
#include "pixconv/plane_rules.h"

using namespace pixconv_avx2;

namespace {

// NaN -> 0 (max returns its second operand when unordered), then limited to 0..1,
// then truncate(v x M + 0.5) rounded once.
inline __m256i fused_to_int(__m256 v, __m256 m) {
    v = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    return _mm256_cvttps_epi32(_mm256_fmadd_ps(v, m, _mm256_set1_ps(0.5f)));
}

// 32 floats to 32 bytes, in order.
inline __m256i floats32_to_u8(const uint8_t* s) {
    const __m256 m = _mm256_set1_ps(255.0f);
    const __m256i a = fused_to_int(_mm256_loadu_ps(reinterpret_cast<const float*>(s)), m);
    const __m256i b = fused_to_int(_mm256_loadu_ps(reinterpret_cast<const float*>(s) + 8), m);
    const __m256i c = fused_to_int(_mm256_loadu_ps(reinterpret_cast<const float*>(s) + 16), m);
    const __m256i d = fused_to_int(_mm256_loadu_ps(reinterpret_cast<const float*>(s) + 24), m);
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// 16 floats to 16 little-endian u16, in order.
inline __m256i floats16_to_u16(const uint8_t* s) {
    const __m256 m = _mm256_set1_ps(65535.0f);
    const __m256i a = fused_to_int(_mm256_loadu_ps(reinterpret_cast<const float*>(s)), m);
    const __m256i b = fused_to_int(_mm256_loadu_ps(reinterpret_cast<const float*>(s) + 8), m);
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
}

inline void store(uint8_t* d, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v); }

// Packed float RGBA (or RGBX) rows to 8 or 16 bits: blocks of 8 pixels, then the
// plain form. OpaqueAlpha writes the maximum as alpha (RGBX sources).
template <class SF, class DF, bool OpaqueAlpha>
void float_rows_to_int(PIXCONV_IMAGE_ARGS) {
    using D = typename DF::Sample;
    for_each_row<1, 1>(dst, src, dst_stride, src_stride, width, height,
                       [](uint8_t* const* drow, const uint8_t* const* srow, uint32_t w) {
                           const uint32_t blocks = w / 8;
                           for (uint32_t k = 0; k < blocks; ++k) {
                               const uint8_t* s = srow[0] + static_cast<size_t>(k) * 128;
                               uint8_t* d = drow[0] + static_cast<size_t>(k) * 8 * 4 * sizeof(D);
                               if constexpr (sizeof(D) == 1) {
                                   __m256i v = floats32_to_u8(s);
                                   if (OpaqueAlpha) v = _mm256_or_si256(v, _mm256_set1_epi32(int(0xFF000000u)));
                                   store(d, v);
                               } else {
                                   const __m256i opaque = _mm256_set1_epi64x(int64_t(0xFFFF000000000000ull));
                                   __m256i lo = floats16_to_u16(s);
                                   __m256i hi = floats16_to_u16(s + 64);
                                   if (OpaqueAlpha) {
                                       lo = _mm256_or_si256(lo, opaque);
                                       hi = _mm256_or_si256(hi, opaque);
                                   }
                                   store(d, lo);
                                   store(d + 32, hi);
                               }
                           }
                           convert_row<SF, DF, Kind::Straight>(drow, srow, blocks * 8, w);
                       });
}

// Float planes to 8 or 16 bits: blocks of 32 samples, then the plain form.
template <class DD>
void float_plane_to_int(PIXCONV_PLANE_ARGS) {
    using D = typename DD::Sample;
    for_each_plane_row(dst, src, dst_stride, src_stride, width, height, [](uint8_t* d, const uint8_t* s, uint32_t w) {
        const uint32_t blocks = w / 32;
        for (uint32_t k = 0; k < blocks; ++k) {
            const uint8_t* sb = s + static_cast<size_t>(k) * 128;
            uint8_t* db = d + static_cast<size_t>(k) * 32 * sizeof(D);
            if constexpr (sizeof(D) == 1) {
                store(db, floats32_to_u8(sb));
            } else {
                store(db, floats16_to_u16(sb));
                store(db + 32, floats16_to_u16(sb + 64));
            }
        }
        convert_plane_row<depth_32f, DD>(d, s, blocks * 32, w);
    });
}

// Un-premultiply of 8 samples (2 RGBA pixels as i32 lanes): q = c / a (a broadcast
// per pixel), limited to 1 (so a colour above alpha gives the maximum however large
// the quotient), r = truncate(fma(q, M, 0.5)); alpha 0 gives colour 0; the alpha
// lanes keep the source alpha.
inline __m256i unpremul_lanes(__m256i px, float max) {
    const __m256i alpha = _mm256_shuffle_epi32(px, 0xFF);
    const __m256 q = _mm256_min_ps(_mm256_div_ps(_mm256_cvtepi32_ps(px), _mm256_cvtepi32_ps(alpha)),
                                   _mm256_set1_ps(1.0f));
    __m256i r = _mm256_cvttps_epi32(_mm256_fmadd_ps(q, _mm256_set1_ps(max), _mm256_set1_ps(0.5f)));
    r = _mm256_andnot_si256(_mm256_cmpeq_epi32(alpha, _mm256_setzero_si256()), r);
    return _mm256_blend_epi32(r, px, 0x88);
}

// 8-bit RGBA un-premultiply: blocks of 8 pixels.
void rgba8_unpremul_row(uint8_t* const* drow, const uint8_t* const* srow, uint32_t w) {
    const uint32_t blocks = w / 8;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint8_t* s = srow[0] + static_cast<size_t>(k) * 32;
        __m256i out[4];
        for (int j = 0; j < 4; ++j) {
            const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + 8 * j));
            out[j] = unpremul_lanes(_mm256_cvtepu8_epi32(two), 255.0f);
        }
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packus_epi32(out[0], out[1]), _mm256_packus_epi32(out[2], out[3]));
        store(drow[0] + static_cast<size_t>(k) * 32,
              _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
    }
    convert_row<fmt_rgba8, fmt_rgba8, Kind::Unpremul>(drow, srow, blocks * 8, w);
}

// 16-bit RGBA un-premultiply: blocks of 8 pixels, two per vector.
void rgba16_unpremul_row(uint8_t* const* drow, const uint8_t* const* srow, uint32_t w) {
    const uint32_t blocks = w / 8;
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint8_t* s = srow[0] + static_cast<size_t>(k) * 64;
        uint8_t* d = drow[0] + static_cast<size_t>(k) * 64;
        for (int half = 0; half < 2; ++half) {
            const __m256i a = unpremul_lanes(
                _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32 * half))), 65535.0f);
            const __m256i b = unpremul_lanes(
                _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32 * half + 16))),
                65535.0f);
            store(d + 32 * half, _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8));
        }
    }
    convert_row<fmt_rgba16, fmt_rgba16, Kind::Unpremul>(drow, srow, blocks * 8, w);
}

// Float RGBA alpha operations, two pixels per vector (the same single-precision
// multiply or divide as the plain form, so the same floats).
enum class FloatOp { Premul, PremulOpaque, Unpremul };

template <FloatOp Op>
void float_alpha_row(uint8_t* const* drow, const uint8_t* const* srow, uint32_t w) {
    const uint32_t blocks = w / 2;
    const float* s = reinterpret_cast<const float*>(srow[0]);
    float* d = reinterpret_cast<float*>(drow[0]);
    for (uint32_t k = 0; k < blocks; ++k) {
        const __m256 v = _mm256_loadu_ps(s + 8 * static_cast<size_t>(k));
        const __m256 a = _mm256_permute_ps(v, 0xFF);
        __m256 r;
        if constexpr (Op == FloatOp::Unpremul) {
            r = _mm256_div_ps(v, a);
            r = _mm256_andnot_ps(_mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_EQ_OQ), r);
            r = _mm256_blend_ps(r, v, 0x88);
        } else if constexpr (Op == FloatOp::Premul) {
            r = _mm256_blend_ps(_mm256_mul_ps(v, a), v, 0x88);
        } else {
            r = _mm256_blend_ps(_mm256_mul_ps(v, a), _mm256_set1_ps(1.0f), 0x88);
        }
        _mm256_storeu_ps(d + 8 * static_cast<size_t>(k), r);
    }
    constexpr Kind kKind = Op == FloatOp::Unpremul ? Kind::Unpremul
                           : Op == FloatOp::Premul ? Kind::Premul
                                                   : Kind::PremulOpaque;
    convert_row<fmt_rgba32f, fmt_rgba32f, kKind>(drow, srow, blocks * 2, w);
}

template <void (*Row)(uint8_t* const*, const uint8_t* const*, uint32_t)>
void packed_rows(PIXCONV_IMAGE_ARGS) {
    for_each_row<1, 1>(dst, src, dst_stride, src_stride, width, height, Row);
}

}  // namespace

void conv_rgba32f_to_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    float_rows_to_int<fmt_rgba32f, fmt_rgba8, false>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgba32f_to_rgba16_avx2(PIXCONV_IMAGE_ARGS) {
    float_rows_to_int<fmt_rgba32f, fmt_rgba16, false>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgbx32f_to_rgba8_avx2(PIXCONV_IMAGE_ARGS) {
    float_rows_to_int<fmt_rgbx32f, fmt_rgba8, true>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgbx32f_to_rgba16_avx2(PIXCONV_IMAGE_ARGS) {
    float_rows_to_int<fmt_rgbx32f, fmt_rgba16, true>(dst, src, dst_stride, src_stride, width, height);
}
void conv_plane_32f_to_8_avx2(PIXCONV_PLANE_ARGS) {
    float_plane_to_int<depth_8>(dst, src, dst_stride, src_stride, width, height);
}
void conv_plane_32f_to_16le_avx2(PIXCONV_PLANE_ARGS) {
    float_plane_to_int<depth_16le>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgba8_to_rgba8_unpremul_avx2(PIXCONV_IMAGE_ARGS) {
    packed_rows<rgba8_unpremul_row>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgba16_to_rgba16_unpremul_avx2(PIXCONV_IMAGE_ARGS) {
    packed_rows<rgba16_unpremul_row>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgba32f_to_rgba32f_premul_avx2(PIXCONV_IMAGE_ARGS) {
    packed_rows<float_alpha_row<FloatOp::Premul>>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgba32f_to_rgba32f_premul_opaque_avx2(PIXCONV_IMAGE_ARGS) {
    packed_rows<float_alpha_row<FloatOp::PremulOpaque>>(dst, src, dst_stride, src_stride, width, height);
}
void conv_rgba32f_to_rgba32f_unpremul_avx2(PIXCONV_IMAGE_ARGS) {
    packed_rows<float_alpha_row<FloatOp::Unpremul>>(dst, src, dst_stride, src_stride, width, height);
}
