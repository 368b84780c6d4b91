#include "processing/pad_filter.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "base/formats/pixfmt_name.h"
#include "processing/node_builder.h"

namespace {

struct PadState {
    VideoFrame* output = nullptr;
    uint32_t format = 0;
    uint32_t src_width = 0, src_height = 0;
    uint32_t left = 0, top = 0, right = 0, bottom = 0;
    uint32_t plane_count = 0;
    uint32_t bytes_per_pixel[4] = {};
    uint64_t fill_value[4] = {};
    RowFillFn fill[4] = {};
};

template <class T>
void fill_values(uint8_t* row, T value, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) std::memcpy(row + i * sizeof(T), &value, sizeof(T));
}

void zero_fill(uint8_t* row, uint32_t bytes_per_pixel, uint32_t count) {
    std::memset(row, 0, static_cast<size_t>(bytes_per_pixel) * count);
}

// Per format: the row fill of each plane and its value, opaque or transparent.
void choose_fills(PadState* s, bool transparent) {
    const uint64_t opaque8 = 0xFF000000ull;            // bytes 0, 0, 0, 255
    const uint64_t opaque16 = 0xFFFF000000000000ull;   // components 0, 0, 0, 65535
    for (uint32_t p = 0; p < 4; ++p) s->fill[p] = nullptr;
    switch (s->format) {
        case PixelFormat_RGBA8:
            s->fill[0] = transparent ? fill_row_zero4 : fill_row_u32;
            s->fill_value[0] = opaque8;
            break;
        case PixelFormat_RGBX8:
            s->fill[0] = fill_row_u32;
            s->fill_value[0] = opaque8;
            break;
        case PixelFormat_RGB8: s->fill[0] = fill_row_zero3; break;
        case PixelFormat_RGBA16:
            s->fill[0] = transparent ? fill_row_zero8 : fill_row_u64;
            s->fill_value[0] = opaque16;
            break;
        case PixelFormat_RGBX16:
            s->fill[0] = fill_row_u64;
            s->fill_value[0] = opaque16;
            break;
        case PixelFormat_RGBA32F: s->fill[0] = transparent ? fill_row_zero16 : fill_row_rgba32f_black; break;
        case PixelFormat_RGBX32F: s->fill[0] = fill_row_rgba32f_black; break;
        case PixelFormat_Planar_RGB8:
        case PixelFormat_Planar_RGBA8:
        case PixelFormat_Grey8:
            for (uint32_t p = 0; p < s->plane_count; ++p) s->fill[p] = fill_row_zero1;
            if (s->format == PixelFormat_Planar_RGBA8 && !transparent) {
                s->fill[3] = fill_row_u8;
                s->fill_value[3] = 255;
            }
            break;
        case PixelFormat_Planar_RGB16:
        case PixelFormat_Planar_RGBA16:
            for (uint32_t p = 0; p < s->plane_count; ++p) s->fill[p] = fill_row_zero2;
            if (s->format == PixelFormat_Planar_RGBA16 && !transparent) {
                s->fill[3] = fill_row_u16;
                s->fill_value[3] = 65535;
            }
            break;
        default:
            std::printf("Error, unknown pix fmt : %s\n", pixfmt_name(s->format));
            throw std::runtime_error("Filter Pad : unsupported pix fmt");
    }
}

void pad_process(FilterNode* node) {
    PadState* s = filter_state<PadState>(node);
    const VideoFrame* in = filter_input(node);
    // Copying rows of another size or layout would read past the input's planes.
    if (!in->is_pixel || in->pixel_format != s->format) throw std::runtime_error("Filter Pad : invalid input pix fmt");
    if (in->width != s->src_width || in->height != s->src_height)
        throw std::runtime_error("Filter Pad : invalid input resolution");
    VideoFrame* out = s->output;
    out->frame_number = in->frame_number;
    for (uint32_t p = 0; p < s->plane_count; ++p) {
        const uint32_t bpp = s->bytes_per_pixel[p];
        const uint32_t dst_width = out->width;
        const uint64_t row_bytes = static_cast<uint64_t>(s->src_width) * bpp;
        uint8_t* row = out->planes[p];
        for (uint32_t y = 0; y < s->top; ++y, row += out->line_sizes[p]) s->fill[p](row, s->fill_value[p], dst_width);
        const uint8_t* src = in->planes[p];
        for (uint32_t y = 0; y < s->src_height; ++y, row += out->line_sizes[p], src += in->line_sizes[p]) {
            s->fill[p](row, s->fill_value[p], s->left);
            std::memcpy(row + static_cast<uint64_t>(s->left) * bpp, src, row_bytes);
            s->fill[p](row + static_cast<uint64_t>(s->left) * bpp + row_bytes, s->fill_value[p], s->right);
        }
        for (uint32_t y = 0; y < s->bottom; ++y, row += out->line_sizes[p]) s->fill[p](row, s->fill_value[p], dst_width);
    }
    node->output = out;
}

void release_state(PadState* s) {
    if (!s) return;
    video_frame_free(&s->output);
    delete s;
}

}  // namespace

void fill_row_u8(uint8_t* row, uint64_t value, uint32_t count) { std::memset(row, static_cast<int>(value & 0xFF), count); }
void fill_row_u16(uint8_t* row, uint64_t value, uint32_t count) { fill_values(row, static_cast<uint16_t>(value), count); }
void fill_row_u32(uint8_t* row, uint64_t value, uint32_t count) { fill_values(row, static_cast<uint32_t>(value), count); }
void fill_row_u64(uint8_t* row, uint64_t value, uint32_t count) { fill_values(row, value, count); }
void fill_row_rgba32f_black(uint8_t* row, uint64_t, uint32_t count) {
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (uint32_t i = 0; i < count; ++i) std::memcpy(row + i * sizeof(black), black, sizeof(black));
}
void fill_row_zero1(uint8_t* row, uint64_t, uint32_t count) { zero_fill(row, 1, count); }
void fill_row_zero2(uint8_t* row, uint64_t, uint32_t count) { zero_fill(row, 2, count); }
void fill_row_zero3(uint8_t* row, uint64_t, uint32_t count) { zero_fill(row, 3, count); }
void fill_row_zero4(uint8_t* row, uint64_t, uint32_t count) { zero_fill(row, 4, count); }
void fill_row_zero8(uint8_t* row, uint64_t, uint32_t count) { zero_fill(row, 8, count); }
void fill_row_zero16(uint8_t* row, uint64_t, uint32_t count) { zero_fill(row, 16, count); }

FilterNode* create_pad_filter(const PadParams& params) {
    return build_filter_node<PadState>(
        FilterType_Pad,
        [&](PadState* s) {
            s->format = params.format;
            s->src_width = params.src_width;
            s->src_height = params.src_height;
            // The format check comes first: get_pix_descriptor refuses only code 39.
            if (params.format >= PixelFormat_Undefined) {
                std::printf("Error, unknown pix fmt : %s\n", pixfmt_name(params.format));
                throw std::runtime_error("Filter Pad : unsupported pix fmt");
            }
            const PixDescriptor d = get_pix_descriptor(params.format);
            s->plane_count = d.plane_count;
            for (uint32_t p = 0; p < d.plane_count; ++p) s->bytes_per_pixel[p] = d.bytes_per_pixel[p];
            choose_fills(s, params.transparent_border != 0);
            uint32_t dst_width = 0, dst_height = 0;
            if (params.explicit_margins) {
                s->left = params.left;
                s->top = params.top;
                s->right = params.right;
                s->bottom = params.bottom;
                dst_width = params.src_width + params.left + params.right;
                dst_height = params.src_height + params.top + params.bottom;
            } else {
                if (params.src_width > params.dst_width) throw std::runtime_error("Pad filter : src > dst W");
                if (params.src_height > params.dst_height) throw std::runtime_error("Pad filter : src > dst H");
                const uint32_t extra_w = params.dst_width - params.src_width;
                const uint32_t extra_h = params.dst_height - params.src_height;
                s->left = (extra_w + 1) / 2;
                s->right = extra_w / 2;
                s->top = (extra_h + 1) / 2;
                s->bottom = extra_h / 2;
                dst_width = params.dst_width;
                dst_height = params.dst_height;
            }
            s->output = video_frame_new();
            video_frame_alloc(s->output, dst_width, dst_height, params.format, true);
            return s->output;
        },
        release_state, pad_process, free_filter_state<PadState, release_state>);
}
