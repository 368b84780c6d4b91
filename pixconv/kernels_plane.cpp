// One-plane kernels: depth changes, the plane copy and the alpha fillers.
#include <cstring>

#define PIXCONV_ISA_NS pixconv_plain
#include "pixconv/pixconv.h"
#include "pixconv/plane_rules.h"

#define PIXCONV_DEFINE_PLANE(S, D)                                                                          \
    void conv_plane_##S##_to_##D(PIXCONV_PLANE_ARGS) {                                                      \
        pixconv_plain::convert_plane<pixconv_plain::depth_##S, pixconv_plain::depth_##D>(dst, src, dst_stride, \
                                                                                         src_stride, width, height); \
    }
PIXCONV_PLANE_KERNELS(PIXCONV_DEFINE_PLANE)

void copy_plane(PIXCONV_PLANE_ARGS) {
    if (width == 0 || height == 0) return;
    if (dst_stride == static_cast<int64_t>(width) && src_stride == static_cast<int64_t>(width)) {
        std::memcpy(dst, src, static_cast<size_t>(width) * height);
        return;
    }
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(dst, src, width);
        if (y + 1 == height) break;
        dst += dst_stride;
        src += src_stride;
    }
}

namespace {

// Rows of `row_bytes` bytes set to 0xFF: one memset when the rows are contiguous.
void fill_ff_rows(uint8_t* plane, int64_t stride, size_t row_bytes, uint32_t height) {
    if (row_bytes == 0 || height == 0) return;
    if (stride == static_cast<int64_t>(row_bytes)) {
        std::memset(plane, 0xFF, row_bytes * height);
        return;
    }
    for (uint32_t y = 0; y < height; ++y) {
        std::memset(plane, 0xFF, row_bytes);
        if (y + 1 == height) break;
        plane += stride;
    }
}

template <class T>
void fill_value_rows(uint8_t* plane, int64_t stride, uint32_t width, uint32_t height, T value) {
    if (width == 0 || height == 0) return;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) std::memcpy(plane + static_cast<size_t>(x) * sizeof(T), &value, sizeof(T));
        if (y + 1 == height) break;
        plane += stride;
    }
}

}  // namespace

void fill_alpha_plane_8(PIXCONV_FILL_ARGS) { fill_ff_rows(plane, stride, width, height); }
void fill_alpha_plane_16le(PIXCONV_FILL_ARGS) { fill_ff_rows(plane, stride, static_cast<size_t>(width) * 2, height); }
void fill_alpha_plane_10le(PIXCONV_FILL_ARGS) { fill_value_rows<uint16_t>(plane, stride, width, height, 1023); }
void fill_alpha_plane_12le(PIXCONV_FILL_ARGS) { fill_value_rows<uint16_t>(plane, stride, width, height, 4095); }
void fill_alpha_plane_32f(PIXCONV_FILL_ARGS) { fill_value_rows<float>(plane, stride, width, height, 1.0f); }
