#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "processing/codec_filters.h"
#include "processing/node_builder.h"

namespace {

struct PngState {
    VideoFrame* frame = nullptr;
    PngEncodeParams params;
    uint8_t* buffer = nullptr;
    size_t size = 0;
    size_t capacity = 0;
};

enum PngOutcome { Png_Ok = 0, Png_NoWrite = 1, Png_NoInfo = 2, Png_Jumped = 3, Png_BadChannels = 4 };

// libpng write callback: appends to the node's buffer, growing it as needed.
void png_write_to_memory(png_structp png, png_bytep data, png_size_t length) {
    PngState* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (s->size + length > s->capacity) {
        size_t capacity = s->capacity ? s->capacity : 65536;
        while (capacity < s->size + length) capacity *= 2;
        uint8_t* grown = static_cast<uint8_t*>(std::realloc(s->buffer, capacity));
        if (!grown) png_error(png, "Write Error");
        s->buffer = grown;
        s->capacity = capacity;
    }
    std::memcpy(s->buffer + s->size, data, length);
    s->size += length;
}

// Everything between setjmp and the last libpng call lives here: no object with a
// destructor may be skipped by libpng's longjmp.
PngOutcome write_png(PngState* s, const VideoFrame* in, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return Png_NoWrite;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return Png_NoInfo;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Png_Jumped;
    }
    int colour_type = 0;
    switch (s->params.channels) {
        case 4: colour_type = PNG_COLOR_TYPE_RGBA; break;
        case 3: colour_type = PNG_COLOR_TYPE_RGB; break;
        case 2: colour_type = PNG_COLOR_TYPE_GRAY_ALPHA; break;
        case 1: colour_type = PNG_COLOR_TYPE_GRAY; break;
        default: png_destroy_write_struct(&png, &info); return Png_BadChannels;
    }
    png_set_IHDR(png, info, in->width, in->height, s->params.bit_depth, colour_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s->params.compression_mode == 0) {
        png_set_compression_level(png, 2);
        png_set_filter(png, 0, PNG_FILTER_NONE | PNG_FILTER_UP);
    } else if (s->params.compression_mode == 1) {
        png_set_compression_level(png, 3);
        png_set_filter(png, 0, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
    }
    png_set_rows(png, info, rows);
    png_set_write_fn(png, s, png_write_to_memory, nullptr);
    int transforms = PNG_TRANSFORM_IDENTITY;
    const uint32_t f = in->pixel_format;
    if ((f == 1 || f == 4 || f == 5 || f == 6) && s->params.channels == 3) transforms |= PNG_TRANSFORM_STRIP_FILLER_AFTER;
    if (f == 5 || f == 6 || f == 20) transforms |= PNG_TRANSFORM_SWAP_ENDIAN;
    png_write_png(png, info, transforms, nullptr);
    png_destroy_write_struct(&png, &info);
    return Png_Ok;
}

void png_encode_process(FilterNode* node) {
    PngState* s = filter_state<PngState>(node);
    const VideoFrame* in = filter_input(node);
    // The rows handed to libpng must hold what the header promises, or libpng reads
    // past them: one packed plane whose pixels are the channels (plus a stripped filler).
    if (!in->is_pixel || in->pixel_format >= PixelFormat_Undefined || !in->planes[0])
        throw std::runtime_error("Invalid input pix fmt png encode");
    const PixDescriptor d = get_pix_descriptor(in->pixel_format);
    const uint32_t f = in->pixel_format;
    const bool strip = (f == 1 || f == 4 || f == 5 || f == 6) && s->params.channels == 3;
    const uint32_t samples = s->params.channels + (strip ? 1u : 0u);
    if (d.plane_count != 1 || (s->params.bit_depth != 8 && s->params.bit_depth != 16) ||
        d.bytes_per_pixel[0] * 8u != samples * s->params.bit_depth)
        throw std::runtime_error("Invalid input pix fmt png encode");

    s->size = 0;  // the buffer is kept and overwritten
    png_bytep* rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * (in->height ? in->height : 1)));
    if (!rows) throw std::bad_alloc();
    for (uint32_t y = 0; y < in->height; ++y) rows[y] = in->planes[0] + uint64_t(y) * in->line_sizes[0];
    const PngOutcome outcome = write_png(s, in, rows);
    std::free(rows);
    switch (outcome) {
        case Png_Ok: break;
        case Png_NoWrite: throw std::runtime_error("Fail to encode png 1");
        case Png_NoInfo: throw std::runtime_error("Fail to encode png 2");
        case Png_Jumped: s->size = 0; throw std::runtime_error("Fail to encode png 3");
        case Png_BadChannels: throw std::runtime_error("Invalid channel count");
    }
    if (s->size > 0xFFFFFFFFu) throw std::runtime_error("Fail to encode png 3");
    video_frame_wrap_data(s->frame, s->buffer, static_cast<uint32_t>(s->size), VideoDataFormat_Png);
    s->frame->frame_number = in->frame_number;
    node->output = s->frame;
}

void release_state(PngState* s) {
    if (!s) return;
    video_frame_free(&s->frame);
    std::free(s->buffer);
    delete s;
}

}  // namespace

FilterNode* create_png_encode_filter(const PngEncodeParams& params) {
    return build_filter_node<PngState>(
        FilterType_PngEncode,
        [&](PngState* s) {
            s->params = params;
            s->frame = video_frame_new();
            return s->frame;
        },
        release_state, png_encode_process, free_filter_state<PngState, release_state>);
}
