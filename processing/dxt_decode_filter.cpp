#include <cstdio>
#include <stdexcept>

#include "media/block_decoders.h"
#include "media/hap_frame.h"
#include "processing/codec_filters.h"
#include "processing/node_builder.h"

namespace {

struct DxtDecodeState {
    VideoFrame* frame = nullptr;
    BlockDecoder decoder;
    uint32_t codec = 0;
    uint32_t width = 0, height = 0;
};

constexpr uint32_t kTextureFormat[6] = {VideoDataFormat_Hap1, VideoDataFormat_Hap5, VideoDataFormat_HapY,
                                        VideoDataFormat_HapM, VideoDataFormat_HapA, VideoDataFormat_Hap7};

void dxt_decode_process(FilterNode* node) {
    DxtDecodeState* s = filter_state<DxtDecodeState>(node);
    const VideoFrame* in = filter_input(node);
    // The decoder walks the node's block grid: textures of another kind or size would
    // be read past their end.
    if (in->is_pixel || in->data_format != kTextureFormat[s->codec])
        throw std::runtime_error("Invalid data descriptor dxt decode");
    if (in->width != s->width || in->height != s->height) {
        std::printf("Invalid dxt decode resolution : Found : %u x %u ; Expected : %u x %u\n", in->width, in->height,
                    s->width, s->height);
        throw std::runtime_error("Invalid input resolution dxt decode");
    }
    const uint32_t textures = s->codec == HapCodec_HapM ? 2 : 1;
    const uint64_t blocks = uint64_t(s->decoder.blocks_across()) * s->decoder.blocks_down();
    for (uint32_t t = 0; t < textures; ++t) {
        const uint64_t needed = blocks * dxt_codec_block_bytes(dxt_codec_for_texture(in->data_format, t));
        if (!in->planes[t] || in->sizes[t] < needed) throw std::runtime_error("Invalid texture size dxt decode");
    }
    VideoFrame* out = s->frame;
    BlockDecoder::decode(&s->decoder, in->planes[0], textures > 1 ? in->planes[1] : nullptr, out->planes[0],
                         static_cast<std::ptrdiff_t>(out->line_sizes[0]));
    out->frame_number = in->frame_number;
    out->status = in->status;
    node->output = out;
}

void release_state(DxtDecodeState* s) {
    if (!s) return;
    video_frame_free(&s->frame);
    delete s;
}

}  // namespace

FilterNode* create_dxt_decode_filter(const DxtDecodeParams& params) {
    if (params.codec > HapCodec_Hap7) throw std::runtime_error("invalid codec");
    if (params.output_format != PixelFormat_RGBA8 && params.output_format != PixelFormat_RGBX8)
        throw std::runtime_error("Invalid output pix fmt dxt decode");
    if (params.width == 0 || params.height == 0 || params.width > 0xFFFF || params.height > 0xFFFF)
        throw std::runtime_error("Invalid dimensions dxt decode");
    return build_filter_node<DxtDecodeState>(
        FilterType_DxtDecode,
        [&](DxtDecodeState* s) {
            s->codec = params.codec;
            s->width = params.width;
            s->height = params.height;
            if (BlockDecoder::init(&s->decoder, static_cast<uint16_t>(params.width),
                                   static_cast<uint16_t>(params.height), block_decoder_format_for_hap_codec(params.codec),
                                   params.decoder_option, 0, params.float_flag) != 0)
                throw std::runtime_error("Can't create dxt decodeur ctx");
            s->frame = video_frame_new();
            video_frame_alloc_round_resolution(s->frame, params.width, params.height, params.output_format, true,
                                               align_up4(params.width), align_up4(params.height));
            return s->frame;
        },
        release_state, dxt_decode_process, free_filter_state<DxtDecodeState, release_state>);
}
