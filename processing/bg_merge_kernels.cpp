#include "processing/bg_merge_kernels.h"

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

#include "media/pix_descriptor.h"
#include "pixconv/pixconv.h"

namespace {

enum Kind { Premul, Straight, Rgbx };

template <class T>
struct Depth;
template <>
struct Depth<uint8_t> {
    static constexpr float k = 0.003921569f;  // single-precision 1/255
    static constexpr float max = 255.0f;
};
template <>
struct Depth<uint16_t> {
    static constexpr float k = 1.5259022e-5f;  // single-precision 1/65535
    static constexpr float max = 65535.0f;
};
template <>
struct Depth<float> {
    static constexpr float k = 1.0f;
    static constexpr float max = 1.0f;
};

template <class T>
constexpr bool kIsFloat = std::is_same_v<T, float>;

// Integer outputs: limited to 0..1, scaled, rounded half away from zero.
template <class T>
inline T q(float v) {
    if (v >= 1.0f) v = 1.0f;
    else if (!(v >= 0.0f)) v = 0.0f;
    return static_cast<T>(std::roundf(v * Depth<T>::max));
}

template <class T>
inline T out_value(float v) {
    if constexpr (kIsFloat<T>) return v;
    else return q<T>(v);
}

template <class T>
inline float sample_k(T v) {
    if constexpr (kIsFloat<T>) return v;
    else return static_cast<float>(v) * Depth<T>::k;
}

// The background of pixel (x, y): three channels.
template <int Mode>
inline void background(uint32_t x, uint32_t y, const float* colours, float b[3]) {
    if constexpr (Mode == BgMerge_White) {
        b[0] = b[1] = b[2] = 1.0f;
    } else if constexpr (Mode == BgMerge_Checker || Mode == BgMerge_CustomChecker) {
        const bool first = ((x % 20) < 10) == ((y % 20) < 10);
        if constexpr (Mode == BgMerge_Checker) {
            b[0] = b[1] = b[2] = first ? 1.0f : 0.7f;
        } else {
            const float* c = first ? colours : colours + 4;
            b[0] = c[0], b[1] = c[1], b[2] = c[2];
        }
    } else if constexpr (Mode == BgMerge_Color) {
        b[0] = colours[0], b[1] = colours[1], b[2] = colours[2];
    } else {
        b[0] = b[1] = b[2] = 0.0f;
    }
}

// One pixel at opacity 1.0 (alpha-carrying sources only).
template <class T, Kind K, int Mode, bool InPlace>
inline void opaque_pixel(T* d, const T* s, uint32_t x, uint32_t y, const float* colours) {
    const T a = s[3];
    const T M = static_cast<T>(Depth<T>::max);
    if constexpr (std::is_same_v<T, uint8_t> && Mode == BgMerge_White) {
        if constexpr (K == Premul) {
            const int add = 255 - a;
            for (int c = 0; c < 3; ++c) {
                const int v = s[c] + add;
                d[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        } else {
            // The 8-bit premultiply of the conversion kernels, then white under it.
            for (int c = 0; c < 3; ++c) {
                const uint32_t t = (uint32_t(s[c]) + (a >> 7)) * a;
                uint32_t p = t >> 8;
                if (a < 128 && (t & 0x80)) p += 1;
                d[c] = static_cast<uint8_t>(p + (255u - a));
            }
        }
        d[3] = 255;
        return;
    }
    if (a == M) {
        if constexpr (InPlace) return;  // the samples already are the result
        d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = M;
        return;
    }
    float b[3];
    background<Mode>(x, y, colours, b);
    if (a == 0) {
        for (int c = 0; c < 3; ++c) d[c] = out_value<T>(b[c]);
        d[3] = M;
        return;
    }
    const float alpha = sample_k(a);
    float f[3];
    for (int c = 0; c < 3; ++c) f[c] = K == Premul ? sample_k(s[c]) : sample_k(s[c]) * alpha;
    for (int c = 0; c < 3; ++c) d[c] = out_value<T>(f[c] + b[c] * (1.0f - alpha));
    d[3] = M;
}

// One pixel at any other opacity.
template <class T, Kind K, int Mode>
inline void opacity_pixel(T* d, const T* s, uint32_t x, uint32_t y, float op, const float* colours) {
    const T M = static_cast<T>(Depth<T>::max);
    constexpr bool u8 = std::is_same_v<T, uint8_t>;
    if constexpr (Mode == BgMerge_KeepAlpha) {
        if constexpr (K == Rgbx) {
            for (int c = 0; c < 3; ++c) d[c] = out_value<T>(sample_k(s[c]) * op);
            d[3] = out_value<T>(op);
        } else if constexpr (u8) {
            if constexpr (K == Premul) {
                for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>(std::roundf(static_cast<float>(s[c]) * op));
            } else {
                d[0] = s[0], d[1] = s[1], d[2] = s[2];
                d[3] = static_cast<uint8_t>(std::roundf(static_cast<float>(s[3]) * op));
            }
        } else {
            if (s[3] == 0) {
                d[0] = d[1] = d[2] = d[3] = 0;
                return;
            }
            if constexpr (K == Premul) {
                for (int c = 0; c < 4; ++c) d[c] = out_value<T>(sample_k(s[c]) * op);
            } else {
                if constexpr (kIsFloat<T>) d[0] = s[0], d[1] = s[1], d[2] = s[2];
                else for (int c = 0; c < 3; ++c) d[c] = q<T>(sample_k(s[c]));
                d[3] = out_value<T>(sample_k(s[3]) * op);
            }
        }
        return;
    }
    if constexpr (u8 && K != Rgbx && (Mode == BgMerge_Black || Mode == BgMerge_White)) {
        const float a = static_cast<float>(s[3]);
        for (int c = 0; c < 3; ++c) {
            const float cv = static_cast<float>(s[c]);
            float v;
            if constexpr (K == Premul) v = Mode == BgMerge_Black ? std::roundf(cv * op) : std::roundf(cv * op + (255.0f - a * op));
            else v = Mode == BgMerge_Black ? std::roundf((cv * (a * op)) * Depth<T>::k)
                                           : std::roundf((cv * (a * op)) * Depth<T>::k + (255.0f - a * op));
            d[c] = static_cast<uint8_t>(v > 255.0f ? 255.0f : (v < 0.0f ? 0.0f : v));
        }
        d[3] = 255;
        return;
    }
    float b[3];
    background<Mode>(x, y, colours, b);
    if constexpr (K != Rgbx) {
        if (s[3] == 0) {
            for (int c = 0; c < 3; ++c) d[c] = out_value<T>(b[c]);
            d[3] = M;
            return;
        }
    }
    float alpha;
    float f[3];
    if constexpr (K == Rgbx) {
        alpha = op;
        for (int c = 0; c < 3; ++c) f[c] = sample_k(s[c]) * op;
    } else {
        alpha = sample_k(s[3]) * op;
        for (int c = 0; c < 3; ++c) f[c] = K == Premul ? sample_k(s[c]) * op : sample_k(s[c]) * alpha;
    }
    for (int c = 0; c < 3; ++c) d[c] = out_value<T>(f[c] + b[c] * (1.0f - alpha));
    d[3] = M;
}

#define BG_MERGE_ARGS                                                                                        \
    uint8_t *const *dst, const uint8_t *const *src, const int64_t *dst_stride, const int64_t *src_stride, \
        uint32_t width, uint32_t height, float opacity, uint32_t first_column, uint32_t first_row,          \
        const float *colours

template <class T, Kind K, int Mode, bool Opacity, bool InPlace>
void merge(BG_MERGE_ARGS) {
    uint8_t* drow = dst[0];
    const uint8_t* srow = src[0];
    for (uint32_t r = 0; r < height; ++r) {
        const uint32_t y = first_row + r;
        T* d = reinterpret_cast<T*>(drow);
        const T* s = reinterpret_cast<const T*>(srow);
        for (uint32_t x = first_column; x < width; ++x) {
            if constexpr (Opacity) opacity_pixel<T, K, Mode>(d + 4 * x, s + 4 * x, x, y, opacity, colours);
            else opaque_pixel<T, K, Mode, InPlace>(d + 4 * x, s + 4 * x, x, y, colours);
        }
        drow += dst_stride[0];
        srow += src_stride[0];
    }
}

// Straight colours over black are the premultiply-opaque conversion.
template <PixConvKernelFn Conv, uint32_t Bpp>
void black_wrapper(BG_MERGE_ARGS) {
    (void)opacity, (void)first_row, (void)colours;
    const uint8_t* moved[4] = {src[0] + static_cast<uint64_t>(first_column) * Bpp, src[1], src[2], src[3]};
    Conv(dst, moved, dst_stride, src_stride, width, height);
}

// Source tokens.
template <class T, Kind K>
struct Src {
    using Type = T;
    static constexpr Kind kind = K;
};
using rgba8_premul = Src<uint8_t, Premul>;
using rgba8_straight = Src<uint8_t, Straight>;
using rgbx8 = Src<uint8_t, Rgbx>;
using rgba16_premul = Src<uint16_t, Premul>;
using rgba16_straight = Src<uint16_t, Straight>;
using rgbx16 = Src<uint16_t, Rgbx>;
using rgba32f_premul = Src<float, Premul>;
using rgba32f_straight = Src<float, Straight>;
using rgbx32f = Src<float, Rgbx>;

constexpr int black = BgMerge_Black, white = BgMerge_White, checker = BgMerge_Checker,
              keep_alpha = BgMerge_KeepAlpha, color = BgMerge_Color, custom_checker = BgMerge_CustomChecker;

}  // namespace

#define BG_OPAQUE(S, M) merge<S::Type, S::kind, M, false, false>
#define BG_INPLACE(S, M) merge<S::Type, S::kind, M, false, true>
#define BG_OPACITY(S, M) merge<S::Type, S::kind, M, true, false>

namespace {

// Every kernel by name; the selectors below look their picks up here.
#define BG_ROW(NAME, FN) {NAME, FN},
#define BG_OPACITY_ROWS(S)                                              \
    BG_ROW("bg_merge_" #S "_black_opacity", (BG_OPACITY(S, black)))     \
    BG_ROW("bg_merge_" #S "_white_opacity", (BG_OPACITY(S, white)))     \
    BG_ROW("bg_merge_" #S "_checker_opacity", (BG_OPACITY(S, checker))) \
    BG_ROW("bg_merge_" #S "_keep_alpha_opacity", (BG_OPACITY(S, keep_alpha))) \
    BG_ROW("bg_merge_" #S "_color_opacity", (BG_OPACITY(S, color)))     \
    BG_ROW("bg_merge_" #S "_custom_checker_opacity", (BG_OPACITY(S, custom_checker)))

const BgMergeKernelInfo kKernels[] = {
    BG_ROW("bg_merge_rgba8_premul_white", (BG_OPAQUE(rgba8_premul, white)))
    BG_ROW("bg_merge_rgba8_premul_checker", (BG_OPAQUE(rgba8_premul, checker)))
    BG_ROW("bg_merge_rgba8_premul_checker_inplace", (BG_INPLACE(rgba8_premul, checker)))
    BG_ROW("bg_merge_rgba8_premul_color", (BG_OPAQUE(rgba8_premul, color)))
    BG_ROW("bg_merge_rgba8_premul_custom_checker", (BG_OPAQUE(rgba8_premul, custom_checker)))
    BG_ROW("bg_merge_rgba8_straight_black", (black_wrapper<conv_rgba8_to_rgba8_premul_opaque, 4>))
    BG_ROW("bg_merge_rgba8_straight_black_avx2", (black_wrapper<conv_rgba8_to_rgba8_premul_opaque_avx2, 4>))
    BG_ROW("bg_merge_rgba8_straight_white", (BG_OPAQUE(rgba8_straight, white)))
    BG_ROW("bg_merge_rgba8_straight_checker", (BG_OPAQUE(rgba8_straight, checker)))
    BG_ROW("bg_merge_rgba8_straight_checker_inplace", (BG_INPLACE(rgba8_straight, checker)))
    BG_ROW("bg_merge_rgba8_straight_color", (BG_OPAQUE(rgba8_straight, color)))
    BG_ROW("bg_merge_rgba8_straight_custom_checker", (BG_OPAQUE(rgba8_straight, custom_checker)))
    BG_ROW("bg_merge_rgba16_premul_white", (BG_OPAQUE(rgba16_premul, white)))
    BG_ROW("bg_merge_rgba16_premul_checker", (BG_OPAQUE(rgba16_premul, checker)))
    BG_ROW("bg_merge_rgba16_premul_color", (BG_OPAQUE(rgba16_premul, color)))
    BG_ROW("bg_merge_rgba16_straight_black", (black_wrapper<conv_rgba16_to_rgba16_premul_opaque, 8>))
    BG_ROW("bg_merge_rgba16_straight_white", (BG_OPAQUE(rgba16_straight, white)))
    BG_ROW("bg_merge_rgba16_straight_checker", (BG_OPAQUE(rgba16_straight, checker)))
    BG_ROW("bg_merge_rgba16_straight_color", (BG_OPAQUE(rgba16_straight, color)))
    BG_ROW("bg_merge_rgba32f_premul_white", (BG_OPAQUE(rgba32f_premul, white)))
    BG_ROW("bg_merge_rgba32f_premul_checker", (BG_OPAQUE(rgba32f_premul, checker)))
    BG_ROW("bg_merge_rgba32f_premul_color", (BG_OPAQUE(rgba32f_premul, color)))
    BG_ROW("bg_merge_rgba32f_straight_black", (black_wrapper<conv_rgba32f_to_rgba32f_premul_opaque, 16>))
    BG_ROW("bg_merge_rgba32f_straight_black_avx2", (black_wrapper<conv_rgba32f_to_rgba32f_premul_opaque_avx2, 16>))
    BG_ROW("bg_merge_rgba32f_straight_white", (BG_OPAQUE(rgba32f_straight, white)))
    BG_ROW("bg_merge_rgba32f_straight_checker", (BG_OPAQUE(rgba32f_straight, checker)))
    BG_ROW("bg_merge_rgba32f_straight_color", (BG_OPAQUE(rgba32f_straight, color)))
    BG_OPACITY_ROWS(rgba8_premul)
    BG_OPACITY_ROWS(rgba8_straight)
    BG_OPACITY_ROWS(rgbx8)
    BG_OPACITY_ROWS(rgba16_premul)
    BG_OPACITY_ROWS(rgba16_straight)
    BG_OPACITY_ROWS(rgbx16)
    BG_OPACITY_ROWS(rgba32f_premul)
    BG_OPACITY_ROWS(rgba32f_straight)
    BG_OPACITY_ROWS(rgbx32f)
};

BgMergeKernelFn by_name(const char* name) {
    for (const BgMergeKernelInfo& k : kKernels)
        if (std::strcmp(k.name, name) == 0) return k.fn;
    return nullptr;
}

const char* source_token(uint32_t format, uint32_t alpha_mode) {
    const bool premul = alpha_mode == 0;
    switch (format) {
        case PixelFormat_RGBA8: return premul ? "rgba8_premul" : "rgba8_straight";
        case PixelFormat_RGBX8: return "rgbx8";
        case PixelFormat_RGBA16: return premul ? "rgba16_premul" : "rgba16_straight";
        case PixelFormat_RGBX16: return "rgbx16";
        case PixelFormat_RGBA32F: return premul ? "rgba32f_premul" : "rgba32f_straight";
        case PixelFormat_RGBX32F: return "rgbx32f";
        default: return nullptr;
    }
}

const char* const kModeTokens[6] = {"black", "white", "checker", "keep_alpha", "color", "custom_checker"};

}  // namespace

BgMergeKernelFn bg_merge_select_opaque_kernel(uint32_t src_format, uint32_t alpha_mode, uint32_t mode, bool in_place,
                                              bool use_avx2) {
    const char* source = source_token(src_format, alpha_mode);
    if (!source || mode > 5 || mode == BgMerge_KeepAlpha) return nullptr;
    const bool premul = alpha_mode == 0;
    if (premul && mode == BgMerge_Black) return nullptr;  // already the picture over black
    std::string name = std::string("bg_merge_") + source + "_" + kModeTokens[mode];
    if (mode == BgMerge_CustomChecker && src_format != PixelFormat_RGBA8) name += "_opacity";
    if (mode == BgMerge_Checker && src_format == PixelFormat_RGBA8 && in_place) name += "_inplace";
    if (mode == BgMerge_Black && use_avx2 && src_format != PixelFormat_RGBA16) name += "_avx2";
    return by_name(name.c_str());
}

BgMergeKernelFn bg_merge_select_opacity_kernel(uint32_t src_format, uint32_t alpha_mode, uint32_t mode) {
    const char* source = source_token(src_format, alpha_mode);
    if (!source || mode > 5) return nullptr;
    return by_name((std::string("bg_merge_") + source + "_" + kModeTokens[mode] + "_opacity").c_str());
}

const char* bg_merge_kernel_name(BgMergeKernelFn fn) {
    if (!fn) return nullptr;
    for (const BgMergeKernelInfo& k : kKernels)
        if (k.fn == fn) return k.name;
    return nullptr;
}

const BgMergeKernelInfo* bg_merge_kernels(uint32_t* count) {
    if (count) *count = sizeof(kKernels) / sizeof(kKernels[0]);
    return kKernels;
}
