#pragma once
// One HAP frame described: its bytes, texture count, chunk counts and codec.
#include <cstdint>
#include <cstdio>

enum HapCodec : uint32_t {
    HapCodec_Hap1 = 0,  // one DXT1 texture
    HapCodec_Hap5 = 1,  // one DXT5 texture
    HapCodec_HapY = 2,  // one YCoCg-DXT5 texture
    HapCodec_HapM = 3,  // YCoCg-DXT5 then RGTC1 alpha
    HapCodec_HapA = 4,  // one RGTC1 texture
    HapCodec_Hap7 = 5,  // one BPTC texture
};

struct HapFrame {
    uint32_t width = 0;   // given by the caller: the frame bytes do not carry the picture size
    uint32_t height = 0;
    uint8_t* data = nullptr;
    uint64_t size = 0;
    uint8_t texture_count = 0;
    uint32_t chunk_counts[2] = {0, 0};
    uint32_t codec = HapCodec_Hap1;
    bool owns_data = false;  // true when the bytes were read from a file into the record
};

// Describes frame bytes held by the caller (not copied). Throws std::runtime_error on a bad frame.
void hap_frame_init_from_memory(HapFrame* frame, uint32_t width, uint32_t height, const void* data, uint64_t size);
// Reads `size` bytes at `offset` into a buffer the record owns, then parses them.
void hap_frame_init_from_file(HapFrame* frame, uint32_t width, uint32_t height, std::FILE* file,
                              uint64_t offset, uint32_t size);
void hap_frame_parse(HapFrame* frame);
void hap_frame_free(HapFrame* frame);
