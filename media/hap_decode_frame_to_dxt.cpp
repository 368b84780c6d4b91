#include "media/hap_decode_frame_to_dxt.h"

#include <cstdio>
#include <stdexcept>

#include "media/hap_decoder.h"
#include "media/hap_frame.h"

void hap_decode_frame_to_dxt(VideoFrame* frame, const uint8_t* bytes, uint32_t count, bool multithread) {
    frame->status = 0;
    HapFrame hap;
    try {
        hap_frame_init_from_memory(&hap, frame->width, frame->height, bytes, count);
    } catch (const std::runtime_error& error) {
        std::printf("ERR decoding header tex hap : %s\n", error.what());
        frame->status |= VideoFrameStatus_DecodeFailed;
        return;
    }

    const uint32_t expected = frame->data_format == VideoDataFormat_HapM ? 2 : 1;
    if (hap.texture_count != expected) {
        std::printf("ERR %u textures found, %u expected\n", unsigned(hap.texture_count), expected);
        frame->status |= VideoFrameStatus_DecodeFailed;
        return;
    }
    // HapCodec 0..5 lines up with the texture data formats 13..18.
    if (frame->data_format < VideoDataFormat_Hap1 || frame->data_format > VideoDataFormat_Hap7 ||
        hap.codec != frame->data_format - VideoDataFormat_Hap1) {
        std::printf("ERR codec found doesn't match expected\n");
        frame->status |= VideoFrameStatus_DecodeFailed;
        return;
    }

    const HapDecodeCallback callback = multithread ? HapDecodeCallback_MultiThread : hap_decode_callback_serial;
    for (uint32_t t = 0; t < expected; ++t) {
        uint32_t used = 0;
        uint32_t format = 0;
        // A frame whose plane was never allocated gets a null destination: HapDecode
        // refuses it as bad arguments instead of writing anywhere.
        const HapResult result =
            HapDecode(bytes, count, t, callback, nullptr, frame->planes[t], frame->sizes[t], &used, &format);
        if (result != HapResult_No_Error) {
            std::printf("ERR decoding tex %u hap : %s\n", t, hap_result_to_string(result));
            frame->status |= VideoFrameStatus_DecodeFailed;
        } else if (used != frame->sizes[t]) {
            std::printf("ERR : decoding tex %u : Nb bytes decode (%lu) != nb bytes dst : (%u)\n", t,
                        static_cast<unsigned long>(used), frame->sizes[t]);
            frame->status |= VideoFrameStatus_DecodeFailed;
        }
    }
}
