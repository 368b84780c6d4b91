#pragma once
// The arithmetic of one sample: depth changes, premultiply and un-premultiply, for
// the sample types u8, u16 and f32. Included by the plain and the AVX2 translation
// units alike; everything here lives in the namespace PIXCONV_ISA_NS, which each
// translation unit names differently, so no inline function compiled with AVX
// instructions can ever be shared with (and picked by the linker for) plain code.
#ifndef PIXCONV_ISA_NS
#error "define PIXCONV_ISA_NS before including pixconv/sample_rules.h"
#endif

#include <cmath>
#include <cstdint>

namespace PIXCONV_ISA_NS {

// Single-precision reciprocals of 255 and 65535 (bits 0x3B808081 and 0x37800080).
constexpr float kInv255 = 0.003921569f;
constexpr float kInv65535 = 1.5259022e-5f;

template <class T>
struct SampleMax;
template <>
struct SampleMax<uint8_t> {
    static constexpr uint8_t value = 255;
};
template <>
struct SampleMax<uint16_t> {
    static constexpr uint16_t value = 65535;
};
template <>
struct SampleMax<float> {
    static constexpr float value = 1.0f;
};

// Limits to 0..1 with NaN and -inf giving 0 and +inf giving 1 (no undefined cast).
inline float limit01(float x) { return x >= 1.0f ? 1.0f : (x > 0.0f ? x : 0.0f); }

// roundf(limit01(x) x M), M = 255, 1023, 4095 or 65535.
template <uint32_t M>
inline uint32_t float_to_int(float x) {
    return static_cast<uint32_t>(roundf(limit01(x) * static_cast<float>(M)));
}

inline uint16_t widen8(uint8_t x) { return static_cast<uint16_t>((x << 8) | x); }

// Rule 1: one sample from type S to type D.
template <class S, class D>
inline D depth(S x);
template <> inline uint8_t depth<uint8_t, uint8_t>(uint8_t x) { return x; }
template <> inline uint16_t depth<uint8_t, uint16_t>(uint8_t x) { return widen8(x); }
template <> inline float depth<uint8_t, float>(uint8_t x) { return static_cast<float>(x) * kInv255; }
template <> inline uint8_t depth<uint16_t, uint8_t>(uint16_t x) { return static_cast<uint8_t>(x >> 8); }
template <> inline uint16_t depth<uint16_t, uint16_t>(uint16_t x) { return x; }
template <> inline float depth<uint16_t, float>(uint16_t x) { return static_cast<float>(x) * kInv65535; }
template <> inline uint8_t depth<float, uint8_t>(float x) { return static_cast<uint8_t>(float_to_int<255>(x)); }
template <> inline uint16_t depth<float, uint16_t>(float x) { return static_cast<uint16_t>(float_to_int<65535>(x)); }
template <> inline float depth<float, float>(float x) { return x; }

// Rule 2: colour c premultiplied by alpha a (both in the source type).
inline uint16_t premul16(uint16_t c, uint16_t a) {
    return static_cast<uint16_t>(((static_cast<uint32_t>(c) + 1u) * a) >> 16);
}
template <class S, class D>
inline D premul(S c, S a);
template <> inline uint8_t premul<uint8_t, uint8_t>(uint8_t c, uint8_t a) {
    const uint32_t t = (static_cast<uint32_t>(c) + (a >> 7)) * a;
    return static_cast<uint8_t>((t >> 8) + (a < 128 ? ((t >> 7) & 1u) : 0u));
}
template <> inline uint16_t premul<uint8_t, uint16_t>(uint8_t c, uint8_t a) { return premul16(widen8(c), widen8(a)); }
template <> inline float premul<uint8_t, float>(uint8_t c, uint8_t a) {
    const float af = static_cast<float>(a) * kInv255;
    return (static_cast<float>(c) * kInv255) * af;
}
template <> inline uint8_t premul<uint16_t, uint8_t>(uint16_t c, uint16_t a) {
    return static_cast<uint8_t>(((static_cast<uint32_t>(c) + 1u) * a) >> 24);
}
template <> inline uint16_t premul<uint16_t, uint16_t>(uint16_t c, uint16_t a) { return premul16(c, a); }
template <> inline float premul<uint16_t, float>(uint16_t c, uint16_t a) {
    const float af = static_cast<float>(a) * kInv65535;
    return (static_cast<float>(c) * kInv65535) * af;
}
template <> inline uint8_t premul<float, uint8_t>(float c, float a) { return depth<float, uint8_t>(c * a); }
template <> inline uint16_t premul<float, uint16_t>(float c, float a) { return depth<float, uint16_t>(c * a); }
template <> inline float premul<float, float>(float c, float a) { return c * a; }

// Rule 3: colour c of a premultiplied pixel divided by its alpha a; alpha 0 gives 0.
inline uint16_t unpremul16(uint16_t c, uint16_t a) {
    if (a == 0) return 0;
    float q = static_cast<float>(c) / static_cast<float>(a);
    if (q > 1.0f) q = 1.0f;
    return static_cast<uint16_t>(roundf(q * 65535.0f));
}
template <class S, class D>
inline D unpremul(S c, S a);
template <> inline uint8_t unpremul<uint8_t, uint8_t>(uint8_t c, uint8_t a) {
    if (a == 0) return 0;
    const float q = static_cast<float>(c) / static_cast<float>(a);
    const float r = roundf(q * 255.0f);
    return static_cast<uint8_t>(r > 255.0f ? 255u : static_cast<uint32_t>(r));
}
template <> inline uint16_t unpremul<uint8_t, uint16_t>(uint8_t c, uint8_t a) {
    return unpremul16(widen8(c), widen8(a));
}
template <> inline float unpremul<uint8_t, float>(uint8_t c, uint8_t a) {
    if (a == 0) return 0.0f;
    const float af = static_cast<float>(a) * kInv255;
    return (static_cast<float>(c) * kInv255) / af;
}
template <> inline uint8_t unpremul<uint16_t, uint8_t>(uint16_t c, uint16_t a) {
    return static_cast<uint8_t>(unpremul16(c, a) >> 8);
}
template <> inline uint16_t unpremul<uint16_t, uint16_t>(uint16_t c, uint16_t a) { return unpremul16(c, a); }
template <> inline float unpremul<uint16_t, float>(uint16_t c, uint16_t a) {
    if (a == 0) return 0.0f;
    const float af = static_cast<float>(a) * kInv65535;
    return (static_cast<float>(c) * kInv65535) / af;
}
// The float tests compare with 0.0f, so an alpha of -0.0 counts as zero too.
template <> inline uint8_t unpremul<float, uint8_t>(float c, float a) {
    return a == 0.0f ? 0 : depth<float, uint8_t>(c / a);
}
template <> inline uint16_t unpremul<float, uint16_t>(float c, float a) {
    return a == 0.0f ? 0 : depth<float, uint16_t>(c / a);
}
template <> inline float unpremul<float, float>(float c, float a) { return a == 0.0f ? 0.0f : c / a; }

}  // namespace PIXCONV_ISA_NS
