#include <turbojpeg.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "processing/codec_filters.h"
#include "processing/node_builder.h"

namespace {

struct JpegState {
    VideoFrame* frame = nullptr;
    tjhandle compressor = nullptr;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    uint32_t width = 0, height = 0;
    int quality = 90;
};

[[noreturn]] void throw_jpeg_error(tjhandle handle) {
    const char* text = tjGetErrorStr2(handle);
    throw std::runtime_error(std::string("Fail to encode jpeg : ") + (text ? text : ""));
}

void jpeg_encode_process(FilterNode* node) {
    JpegState* s = filter_state<JpegState>(node);
    const VideoFrame* in = filter_input(node);
    if (!in->is_pixel || (in->pixel_format != PixelFormat_RGBA8 && in->pixel_format != PixelFormat_RGBX8))
        throw std::runtime_error("Encode Jpeg : unsupported pix fmt");
    // The compressor reads the node's size from the input's plane.
    if (in->width != s->width || in->height != s->height) {
        std::printf("Invalid jpeg encode resolution : Found : %u x %u ; Expected : %u x %u\n", in->width, in->height,
                    s->width, s->height);
        throw std::runtime_error("Invalid input resolution jpeg encode");
    }
    tjFree(s->buffer);
    s->buffer = nullptr;
    s->size = 0;
    tjDestroy(s->compressor);
    s->compressor = tjInitCompress();
    if (!s->compressor) throw_jpeg_error(nullptr);
    const int r = tjCompress2(s->compressor, in->planes[0], static_cast<int>(s->width),
                              static_cast<int>(in->line_sizes[0]), static_cast<int>(s->height), TJPF_RGBX, &s->buffer,
                              &s->size, TJSAMP_420, s->quality, TJFLAG_FASTDCT);
    // A failed compression may still leave bytes behind: never hand them on.
    if (r != 0) {
        const std::string text = tjGetErrorStr2(s->compressor) ? tjGetErrorStr2(s->compressor) : "";
        tjFree(s->buffer);
        s->buffer = nullptr;
        s->size = 0;
        throw std::runtime_error("Fail to encode jpeg : " + text);
    }
    video_frame_wrap_data(s->frame, s->buffer, static_cast<uint32_t>(s->size), VideoDataFormat_Jpeg);
    s->frame->frame_number = in->frame_number;
    node->output = s->frame;
}

void release_state(JpegState* s) {
    if (!s) return;
    video_frame_free(&s->frame);
    if (s->compressor) tjDestroy(s->compressor);
    tjFree(s->buffer);
    delete s;
}

}  // namespace

FilterNode* create_jpeg_encode_filter(const JpegEncodeParams& params) {
    return build_filter_node<JpegState>(
        FilterType_JpegEncode,
        [&](JpegState* s) {
            s->width = params.width;
            s->height = params.height;
            s->quality = params.quality == 0 ? 1 : (params.quality > 100 ? 100 : static_cast<int>(params.quality));
            s->compressor = tjInitCompress();
            if (!s->compressor) throw std::runtime_error("Fail to init jpeg encoding");
            s->frame = video_frame_new();
            return s->frame;
        },
        release_state, jpeg_encode_process, free_filter_state<JpegState, release_state>);
}
