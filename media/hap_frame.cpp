#include "media/hap_frame.h"

#include <limits>
#include <new>
#include <stdexcept>

#include "media/file_access.h"
#include "media/hap_decoder.h"

namespace {
void throw_on_error(HapResult result) {
    if (result != HapResult_No_Error) throw std::runtime_error(hap_result_to_string(result));
}
}  // namespace

void hap_frame_init_from_memory(HapFrame* frame, uint32_t width, uint32_t height, const void* data, uint64_t size) {
    frame->width = width;
    frame->height = height;
    frame->data = static_cast<uint8_t*>(const_cast<void*>(data));
    frame->size = size;
    frame->owns_data = false;
    hap_frame_parse(frame);
}

void hap_frame_init_from_file(HapFrame* frame, uint32_t width, uint32_t height, std::FILE* file,
                              uint64_t offset, uint32_t size) {
    uint8_t* bytes = new uint8_t[size == 0 ? 1 : size];
    try {
        file_read_at(file, bytes, offset, size);
    } catch (...) {
        delete[] bytes;
        throw;
    }
    frame->width = width;
    frame->height = height;
    frame->data = bytes;
    frame->size = size;
    frame->owns_data = true;
    try {
        hap_frame_parse(frame);
    } catch (...) {
        // Callers that catch the error never get a frame to free: release the bytes here.
        hap_frame_free(frame);
        throw;
    }
}

void hap_frame_parse(HapFrame* frame) {
    // Frames are addressed with 32-bit sizes; a larger one cannot be a frame we read.
    if (frame->size > std::numeric_limits<uint32_t>::max()) throw_on_error(HapResult_Bad_Frame);
    const auto size = static_cast<uint32_t>(frame->size);

    uint32_t textures = 0;
    throw_on_error(HapGetFrameTextureCount(frame->data, size, &textures));
    uint32_t chunks = 0;
    throw_on_error(HapGetFrameTextureChunkCount(frame->data, size, 0, &chunks));
    frame->chunk_counts[0] = chunks;
    frame->chunk_counts[1] = 0;
    if (textures != 1 && textures != 2) throw std::runtime_error("Invalid texture count");
    frame->texture_count = static_cast<uint8_t>(textures);

    uint32_t format = 0;
    if (textures == 2) {
        throw_on_error(HapGetFrameTextureFormat(frame->data, size, 0, &format));
        if (format != HapTextureFormat_YCoCg_DXT5) throw std::runtime_error("First tex (of two) not YcoCg DXT5");
        throw_on_error(HapGetFrameTextureFormat(frame->data, size, 1, &format));
        if (format != HapTextureFormat_A_RGTC1) throw std::runtime_error("Second tex (of two) not RGTC1");
        throw_on_error(HapGetFrameTextureChunkCount(frame->data, size, 1, &chunks));
        frame->chunk_counts[1] = chunks;
        frame->codec = HapCodec_HapM;
        return;
    }
    throw_on_error(HapGetFrameTextureFormat(frame->data, size, 0, &format));
    switch (format) {
        case HapTextureFormat_RGB_DXT1: frame->codec = HapCodec_Hap1; break;
        case HapTextureFormat_RGBA_DXT5: frame->codec = HapCodec_Hap5; break;
        case HapTextureFormat_YCoCg_DXT5: frame->codec = HapCodec_HapY; break;
        case HapTextureFormat_A_RGTC1: frame->codec = HapCodec_HapA; break;
        case HapTextureFormat_RGBA_BPTC: frame->codec = HapCodec_Hap7; break;
        default: throw std::runtime_error("Hap Frame format unknown");
    }
}

void hap_frame_free(HapFrame* frame) {
    if (!frame) return;
    if (frame->owns_data) delete[] frame->data;
    frame->data = nullptr;
    frame->owns_data = false;
}
