#include "texenc/block_encoders.h"

#include <immintrin.h>

#include <cstring>

namespace {

constexpr float kCentre = 128.0f / 255.0f;  // Co and Cg of a grey pixel
constexpr float kStep = 1.0f / 255.0f;

// Box lanes: (min Co, min Cg, max Co, max Cg); quantiser maxima per lane.
__attribute__((target("fma,sse4.1"))) inline uint32_t quantize_box(const float box[4], float scale, bool inset) {
    const __m128 c = _mm_set1_ps(kCentre);
    __m128 v = _mm_loadu_ps(box);
    v = _mm_fmadd_ps(_mm_sub_ps(v, c), _mm_set1_ps(scale), c);  // scale about the centre
    const __m128 lo = _mm_movelh_ps(v, v);                        // min Co, min Cg, min Co, min Cg
    const __m128 hi = _mm_movehl_ps(v, v);                        // max Co, max Cg, ...
    __m128 shift;
    if (inset) {
        shift = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(hi, lo), _mm_set1_ps(1.0f / 16.0f)), _mm_set1_ps(kStep * 0.5f));
    } else {
        shift = _mm_set1_ps(-kStep * 0.5f);
    }
    // min' = min + shift, max' = max - shift.
    const __m128 sign = _mm_setr_ps(1.0f, 1.0f, -1.0f, -1.0f);
    v = _mm_fmadd_ps(_mm_movelh_ps(shift, shift), sign, v);
    const __m128 levels = _mm_setr_ps(31.0f, 63.0f, 31.0f, 63.0f);
    __m128 q = _mm_round_ps(_mm_fmadd_ps(v, levels, _mm_set1_ps(0.5f)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    q = _mm_min_ps(_mm_max_ps(q, _mm_setzero_ps()), levels);
    alignas(16) float out[4];
    _mm_store_ps(out, q);
    const uint32_t colour1 = uint32_t(out[0]) << 11 | uint32_t(out[1]) << 5;
    const uint32_t colour0 = uint32_t(out[2]) << 11 | uint32_t(out[3]) << 5;
    return colour0 | colour1 << 16;
}

inline float expand5(uint32_t q) { return float((q << 3) | (q >> 2)) / 255.0f; }
inline float expand6(uint32_t q) { return float((q << 2) | (q >> 4)) / 255.0f; }

// The 2-bit index of the nearest of the palette (c0, c1, 2/3 c0 + 1/3 c1,
// 1/3 c0 + 2/3 c1) from the squared distances.
inline uint32_t nearest_index(float d0, float d1, float d2, float d3) {
    const uint32_t b0 = d0 > d3, b1 = d1 > d2, b2 = d0 > d2, b3 = d1 > d3, b4 = d2 > d3;
    const uint32_t x0 = b1 & b2, x1 = b0 & b3, x2 = b0 & b4;
    return x2 | ((x0 | x1) << 1);
}

inline uint64_t with_indices(uint32_t colour0, uint32_t colour1, uint32_t index_bits) {
    return uint64_t(colour0) | uint64_t(colour1) << 16 | uint64_t(index_bits) << 32;
}

__attribute__((target("sse4.1"))) uint64_t pack_dxt1(uint32_t c0, uint32_t c1, const uint8_t indices[16]) {
    if (c0 == c1) return uint64_t(c0);
    const __m128i idx = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(indices)), _mm_set1_epi8(3));
    const __m128i flip = c0 < c1 ? _mm_set1_epi8(1) : _mm_setzero_si128();
    const __m128i v = _mm_xor_si128(idx, flip);
    alignas(16) uint8_t b[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(b), v);
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= uint32_t(b[i]) << (2 * i);
    if (c0 < c1) return with_indices(c1, c0, bits);
    return with_indices(c0, c1, bits);
}

template <int N>
inline void project(const float* pixels, const float axis[3], float* out) {
    const __m128 ax = _mm_set1_ps(axis[0]), ay = _mm_set1_ps(axis[1]), az = _mm_set1_ps(axis[2]);
    for (int g = 0; g < (N + 3) / 4; ++g) {
        alignas(16) float r[4] = {}, gr[4] = {}, b[4] = {};
        for (int i = 0; i < 4 && 4 * g + i < N; ++i) {
            r[i] = pixels[(4 * g + i) * 4 + 0];
            gr[i] = pixels[(4 * g + i) * 4 + 1];
            b[i] = pixels[(4 * g + i) * 4 + 2];
        }
        const __m128 dot = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(r), ax), _mm_mul_ps(_mm_load_ps(gr), ay)),
                                      _mm_mul_ps(_mm_load_ps(b), az));
        _mm_storeu_ps(out + 4 * g, dot);
    }
}

}  // namespace

bool texenc_cpu_supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("sse4.1");
}

uint32_t texenc_cocg_scale_code(const float box[4]) {
    float m = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const float d = box[i] > kCentre ? box[i] - kCentre : kCentre - box[i];
        if (d > m) m = d;
    }
    if (m < 32.0f / 255.0f) return 3;
    if (m < 64.0f / 255.0f) return 1;
    return 0;
}

uint32_t texenc_quantize_cocg_inset_scale1(const float box[4]) { return quantize_box(box, 1.0f, true); }
uint32_t texenc_quantize_cocg_inset_scale2(const float box[4]) { return quantize_box(box, 2.0f, true); }
uint32_t texenc_quantize_cocg_inset_scale4(const float box[4]) { return quantize_box(box, 4.0f, true); }
uint32_t texenc_quantize_cocg_widened_scale1(const float box[4]) { return quantize_box(box, 1.0f, false); }
uint32_t texenc_quantize_cocg_widened_scale2(const float box[4]) { return quantize_box(box, 2.0f, false); }
uint32_t texenc_quantize_cocg_widened_scale4(const float box[4]) { return quantize_box(box, 4.0f, false); }

__attribute__((target("avx,fma,sse4.1"))) uint64_t texenc_encode_cocg_block(const CocgBlockInput& in) {
    const uint32_t code = texenc_cocg_scale_code(in.box);
    const float scale = code == 3 ? 4.0f : code == 1 ? 2.0f : 1.0f;
    const uint32_t colours = quantize_box(in.box, scale, true);
    const uint32_t colour0 = colours & 0xFFFF, colour1 = colours >> 16;

    // The palette back in CoCg: 8-bit expansion, then unscaled about the centre.
    auto unscale = [scale](float v) { return (v - kCentre) / scale + kCentre; };
    const float co0 = unscale(expand5(colour0 >> 11)), cg0 = unscale(expand6(colour0 >> 5 & 63));
    const float co1 = unscale(expand5(colour1 >> 11)), cg1 = unscale(expand6(colour1 >> 5 & 63));
    const __m128 pco = _mm_setr_ps(co0, co1, (2 * co0 + co1) / 3, (co0 + 2 * co1) / 3);
    const __m128 pcg = _mm_setr_ps(cg0, cg1, (2 * cg0 + cg1) / 3, (cg0 + 2 * cg1) / 3);
    const __m128 dco = _mm_sub_ps(_mm_set1_ps(in.co[0]), pco), dcg = _mm_sub_ps(_mm_set1_ps(in.cg[0]), pcg);
    alignas(16) float d[4];
    _mm_store_ps(d, _mm_fmadd_ps(dco, dco, _mm_mul_ps(dcg, dcg)));
    const uint32_t index = nearest_index(d[0], d[1], d[2], d[3]);
    return with_indices(colour0 | code, colour1 | code, index * 0x55555555u);
}

namespace {

// Limited to 0..1 first, so a value above 1 (a least-squares endpoint) gives the
// brightest level instead of wrapping through the bit mask.
__attribute__((target("sse4.1"))) uint32_t float_to_565(const float e[3]) {
    const __m128 v = _mm_min_ps(_mm_max_ps(_mm_setr_ps(e[0], e[1], e[2], 0.0f), _mm_setzero_ps()), _mm_set1_ps(1.0f));
    const __m128 q = _mm_round_ps(_mm_add_ps(_mm_mul_ps(v, _mm_setr_ps(31.0f, 63.0f, 31.0f, 0.0f)), _mm_set1_ps(0.5f)),
                                  _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    alignas(16) float f[4];
    _mm_store_ps(f, q);
    return (uint32_t(f[0]) & 31) << 11 | (uint32_t(f[1]) & 63) << 5 | (uint32_t(f[2]) & 31);
}

}  // namespace

uint64_t texenc_pack_dxt1_float(const float endpoint0[3], const float endpoint1[3], const uint8_t indices[16]) {
    return pack_dxt1(float_to_565(endpoint0), float_to_565(endpoint1), indices);
}

uint64_t texenc_pack_dxt1_565(const uint8_t endpoint0[3], const uint8_t endpoint1[3], const uint8_t indices[16]) {
    auto colour = [](const uint8_t e[3]) { return uint32_t(e[0] & 31) << 11 | uint32_t(e[1] & 63) << 5 | (e[2] & 31); };
    return pack_dxt1(colour(endpoint0), colour(endpoint1), indices);
}

#define TEXENC_PROJECT(N) \
    void texenc_project_##N(const float* pixels, const float axis[3], float* out) { project<N>(pixels, axis, out); }
TEXENC_PROJECT(2)
TEXENC_PROJECT(3)
TEXENC_PROJECT(4)
TEXENC_PROJECT(5)
TEXENC_PROJECT(6)
TEXENC_PROJECT(7)
TEXENC_PROJECT(8)
TEXENC_PROJECT(9)
TEXENC_PROJECT(10)
TEXENC_PROJECT(11)
TEXENC_PROJECT(12)
TEXENC_PROJECT(13)
TEXENC_PROJECT(14)
TEXENC_PROJECT(15)
TEXENC_PROJECT(16)

void texenc_alpha_range(const uint8_t alpha[16], uint8_t* minimum, uint8_t* maximum) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha));
    const __m128i zero = _mm_cmpeq_epi8(a, _mm_setzero_si128());
    const __m128i full = _mm_cmpeq_epi8(a, _mm_set1_epi8(-1));
    // 0 bytes become 255 for the minimum, 255 bytes become 0 for the maximum.
    __m128i lo = _mm_or_si128(a, zero);
    __m128i hi = _mm_andnot_si128(full, a);
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 8));
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 4));
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 2));
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 1));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 8));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 4));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 2));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 1));
    *minimum = uint8_t(_mm_cvtsi128_si32(lo));
    *maximum = uint8_t(_mm_cvtsi128_si32(hi));
}

void texenc_palette_weights(const float endpoint0[4], const float endpoint1[4], Dxt1PaletteWeights* out) {
    std::memset(out, 0, sizeof(*out));
    static const float kShare[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    const __m128 e0 = _mm_loadu_ps(endpoint0), e1 = _mm_loadu_ps(endpoint1);
    for (int k = 0; k < 4; ++k) {
        const float a = kShare[k], b = 1.0f - kShare[k];
        // Colour lanes times the share, the weight lane times the share squared.
        _mm_storeu_ps(out->from0[k], _mm_mul_ps(e0, _mm_setr_ps(a, a, a, a * a)));
        _mm_storeu_ps(out->from1[k], _mm_mul_ps(e1, _mm_setr_ps(b, b, b, b * b)));
    }
    out->cross[0] = 2.0f / 9.0f * endpoint0[3];
    out->cross[1] = 2.0f / 9.0f * endpoint1[3];
    out->cross[2] = out->cross[0] + out->cross[1];
}
