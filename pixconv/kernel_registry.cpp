#include "pixconv/kernel_registry.h"

#include <vector>

#include "platform/cpu_info.h"

namespace {

template <class Fn>
constexpr PixConvAnyFn any(Fn fn) {
    return reinterpret_cast<PixConvAnyFn>(fn);
}

#define PIXCONV_AVX2_OF_IMAGE(NAME) \
    if (any(fn) == any(NAME)) return any(NAME##_avx2);
#define PIXCONV_AVX2_OF_PLANE(NAME) PIXCONV_AVX2_OF_IMAGE(NAME)

PixConvAnyFn avx2_build_of(PixConvAnyFn fn) {
    PIXCONV_AVX2_KERNELS(PIXCONV_AVX2_OF_IMAGE, PIXCONV_AVX2_OF_PLANE)
    return nullptr;
}

std::vector<PixConvKernelInfo> make_table() {
    std::vector<PixConvKernelInfo> t;
    auto add = [&t](const char* name, PixConvAnyFn fn, PixConvShape shape, bool is_avx2) {
        t.push_back({name, fn, shape, is_avx2, is_avx2 ? nullptr : avx2_build_of(fn)});
    };
#define PIXCONV_ROW_RGB(S, D, K) add("conv_" #S "_to_" #D #K, any(conv_##S##_to_##D##K), PixConvShape::Image, false);
#define PIXCONV_ROW_IMAGE(NAME) add(#NAME, any(NAME), PixConvShape::Image, false);
#define PIXCONV_ROW_PLANE(S, D) add("conv_plane_" #S "_to_" #D, any(conv_plane_##S##_to_##D), PixConvShape::Plane, false);
#define PIXCONV_ROW_FILL(D) add("fill_alpha_plane_" #D, any(fill_alpha_plane_##D), PixConvShape::Fill, false);
#define PIXCONV_ROW_AVX2_IMAGE(NAME) add(#NAME "_avx2", any(NAME##_avx2), PixConvShape::Image, true);
#define PIXCONV_ROW_AVX2_PLANE(NAME) add(#NAME "_avx2", any(NAME##_avx2), PixConvShape::Plane, true);
    PIXCONV_PLANE_KERNELS(PIXCONV_ROW_PLANE)
    add("copy_plane", any(copy_plane), PixConvShape::Copy, false);
    PIXCONV_FILL_KERNELS(PIXCONV_ROW_FILL)
    PIXCONV_RGB_KERNELS(PIXCONV_ROW_RGB)
    PIXCONV_OTHER_IMAGE_KERNELS(PIXCONV_ROW_IMAGE)
    PIXCONV_AVX2_KERNELS(PIXCONV_ROW_AVX2_IMAGE, PIXCONV_ROW_AVX2_PLANE)
    return t;
}

const std::vector<PixConvKernelInfo>& table() {
    static const std::vector<PixConvKernelInfo> t = make_table();
    return t;
}

}  // namespace

const PixConvKernelInfo* pixconv_kernels(size_t* count) {
    if (count) *count = table().size();
    return table().data();
}

const char* pixconv_kernel_name(PixConvAnyFn fn) {
    if (!fn) return nullptr;
    for (const PixConvKernelInfo& k : table())
        if (k.fn == fn) return k.name;
    return nullptr;
}

bool pixconv_use_avx2(bool allow) { return allow && platform::cpu_has_avx2_fma(); }

PixConvKernelFn pixconv_pick(PixConvKernelFn plain, bool use_avx2) {
    if (!use_avx2 || !plain) return plain;
    const PixConvAnyFn avx2 = avx2_build_of(any(plain));
    return avx2 ? reinterpret_cast<PixConvKernelFn>(avx2) : plain;
}

PlaneConvKernelFn pixconv_pick(PlaneConvKernelFn plain, bool use_avx2) {
    if (!use_avx2 || !plain) return plain;
    const PixConvAnyFn avx2 = avx2_build_of(any(plain));
    return avx2 ? reinterpret_cast<PlaneConvKernelFn>(avx2) : plain;
}
