#include <cstdio>
#include <stdexcept>

#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "processing/codec_filters.h"
#include "processing/node_builder.h"

namespace {

struct HapDecodeState {
    VideoFrame* frame = nullptr;
    uint32_t codec = 0;
    uint32_t textures = 1;  // textures decoded per run
    uint32_t selection = 0;
    uint32_t width = 0, height = 0;
    uint8_t threaded = 0;
};

uint32_t output_data_format(uint32_t codec, uint32_t selection) {
    switch (codec) {
        case HapCodec_Hap1: return VideoDataFormat_Hap1;
        case HapCodec_Hap5: return VideoDataFormat_Hap5;
        case HapCodec_HapY: return VideoDataFormat_HapY;
        case HapCodec_HapM:
            return selection == 0 ? VideoDataFormat_HapM : selection == 1 ? VideoDataFormat_HapY : VideoDataFormat_HapA;
        case HapCodec_HapA: return VideoDataFormat_HapA;
        default: return VideoDataFormat_Hap7;
    }
}

void fail(VideoFrame* out, uint32_t status, const char* text) {
    out->status |= status;
    throw std::runtime_error(text);
}

void hap_decode_process(FilterNode* node) {
    HapDecodeState* s = filter_state<HapDecodeState>(node);
    const VideoFrame* in = filter_input(node);
    if (in->data_format != VideoDataFormat_Compressed) throw std::runtime_error("Invalid data descriptor hap decode");
    VideoFrame* out = s->frame;
    node->error_text[0] = '\0';  // a corrupt earlier frame says nothing about this one
    if (in->sizes[0] == 0 || !in->planes[0]) {
        out->status = VideoFrameStatus_Invalid;
        throw std::runtime_error("Decoding error : invalid frame");
    }
    out->status = 0;
    out->frame_number = in->frame_number;

    HapFrame hap;
    try {
        hap_frame_init_from_memory(&hap, s->width, s->height, in->planes[0], in->sizes[0]);
    } catch (const std::exception& e) {
        std::printf("ERR decoding header tex hap : %s\n", e.what());
        fail(out, VideoFrameStatus_DecodeFailed, "Decoding error : corrupt frame (header)");
    }
    const uint32_t expected = s->codec == HapCodec_HapM ? 2 : 1;
    if (hap.texture_count != expected) {
        std::printf("ERR %d textures found, %u expected\n", static_cast<int>(hap.texture_count), expected);
        fail(out, VideoFrameStatus_Corrupt, "Decoding error : corrupt frame (textures count)");
    }
    if (hap.codec != s->codec) {
        std::printf("ERR codec found doesn't match expected\n");
        fail(out, VideoFrameStatus_Corrupt, "Decoding error : corrupt frame (codec)");
    }
    const HapDecodeCallback runner = s->threaded ? HapDecodeCallback_MultiThread : hap_decode_callback_serial;
    for (uint32_t t = 0; t < s->textures; ++t) {
        // Alone, the alpha texture of HapM lands in plane 0.
        const uint32_t texture = (s->codec == HapCodec_HapM && s->selection > 1) ? 1 : t;
        uint32_t used = 0, texture_format = 0;
        const HapResult r = HapDecode(in->planes[0], in->sizes[0], texture, runner, nullptr, out->planes[t],
                                      out->sizes[t], &used, &texture_format);
        if (r != HapResult_No_Error) {
            std::printf("ERR decoding tex %u hap : %s\n", texture, hap_result_to_string(r));
            fail(out, VideoFrameStatus_DecodeFailed, "Fail to decode hap frame");
        }
        if (used != out->sizes[t]) {
            std::printf("ERR decoding tex %u hap : Nb bytes decode (%lu) != nb bytes dxt (%u)\n", texture,
                        static_cast<unsigned long>(used), out->sizes[t]);
            out->status |= VideoFrameStatus_DecodeFailed;
            filter_set_error_text(node->error_text, "Corrupt hap frame");
        }
    }
    node->output = out;
}

void release_state(HapDecodeState* s) {
    if (!s) return;
    video_frame_free(&s->frame);
    delete s;
}

}  // namespace

FilterNode* create_hap_decode_filter(const HapDecodeParams& params) {
    if (params.codec > HapCodec_Hap7) throw std::runtime_error("Invalid codec");
    return build_filter_node<HapDecodeState>(
        FilterType_HapDecode,
        [&](HapDecodeState* s) {
            s->codec = params.codec;
            s->selection = params.texture_selection;
            s->width = params.width;
            s->height = params.height;
            s->threaded = params.threaded;
            const uint32_t format = output_data_format(params.codec, params.texture_selection);
            s->textures = format == VideoDataFormat_HapM ? 2 : 1;
            s->frame = video_frame_new();
            dxt_frame_alloc(s->frame, params.width, params.height, format);
            return s->frame;
        },
        release_state, hap_decode_process, free_filter_state<HapDecodeState, release_state>);
}
