#pragma once
// The kernel set by name, and the run-time choice between a kernel's plain and AVX2
// builds. The table is static and read-only: any thread may call these.
#include <cstddef>

#include "pixconv/pixconv.h"

enum class PixConvShape { Image, Plane, Fill, Copy };

// Any kernel pointer, stored without its signature (cast back with the shape).
using PixConvAnyFn = void (*)();

struct PixConvKernelInfo {
    const char* name;
    PixConvAnyFn fn;
    PixConvShape shape;
    bool is_avx2;
    PixConvAnyFn avx2;  // the AVX2 build of a plain kernel, or null
};

// Every kernel, the plain builds first, then the AVX2 builds.
const PixConvKernelInfo* pixconv_kernels(size_t* count);

// The name of a kernel pointer ("conv_rgba8_to_rgba16_avx2"), or null for a pointer
// that is no kernel (null included).
const char* pixconv_kernel_name(PixConvAnyFn fn);
template <class Fn>
const char* pixconv_kernel_name(Fn fn) {
    return pixconv_kernel_name(reinterpret_cast<PixConvAnyFn>(fn));
}

// Whether a node may run AVX2 builds: `allow` and the processor test (AVX2 with the
// OS saving its registers, and FMA, which the fused-rounding builds use). Run once
// when a node is created; the answer is then kept by the node.
bool pixconv_use_avx2(bool allow);

// The build to run: the AVX2 build of `plain` when `use_avx2` and it has one, else
// `plain` itself (null stays null).
PixConvKernelFn pixconv_pick(PixConvKernelFn plain, bool use_avx2);
PlaneConvKernelFn pixconv_pick(PlaneConvKernelFn plain, bool use_avx2);
