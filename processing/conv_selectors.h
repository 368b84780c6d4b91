#pragma once
// Which pixel kernel serves a pair of formats: pure lookups over the kernel set,
// used when a scale node is built. They allocate nothing and are safe from any
// thread. The AVX2 build of a kernel is returned only when `use_avx2` is set (the
// caller ran the processor test); it always computes the same bytes as the plain one.
#include <cstdint>

#include "pixconv/pixconv.h"

PixConvKernelFn get_conv_kernel(uint32_t source, uint32_t destination, uint8_t use_avx2);
PixConvKernelFn get_premul_kernel(uint32_t source, uint32_t destination, uint8_t use_avx2);
PixConvKernelFn get_unpremul_kernel(uint32_t source, uint32_t destination, uint8_t use_avx2);

// The plane step between two planar formats of one family: per plane a depth kernel
// (copy_plane for equal depths, its width then counted in bytes), the width passed to
// it and the row count. `on` is false when the step is not needed or impossible.
struct PlaneStep {
    bool on = false;
    PlaneConvKernelFn kernels[4] = {nullptr, nullptr, nullptr, nullptr};
    uint32_t widths[4] = {0, 0, 0, 0};
    uint32_t rows[4] = {0, 0, 0, 0};
};

// Fills `step` for a picture of width x height. Equal formats need no step; in
// conversion mode 0 both formats are reduced to their no-alpha forms, so only the
// colour planes are carried.
void assign_plane_converters(PlaneStep* step, uint32_t from, uint32_t to, uint32_t width, uint32_t height,
                             uint32_t conversion_mode, uint8_t use_avx2);

// Planar working format of a format; throws "Can't find packed to planar fmt" or
// "Can't find no alpha planar fmt".
uint32_t pixfmt_to_planar(uint32_t format, uint8_t keep_alpha);
// 1 to 4, 7 to 8, 10 to 9, 14 to 13, 16 to 15, 30 to 29, 33 to 32; others unchanged.
uint32_t pixfmt_without_alpha(uint32_t format);
