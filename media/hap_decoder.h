#pragma once
// HAP frame bitstream: section walking and the decoder that turns one texture of a
// frame into its DXT/RGTC/BC7 blocks. Never throws; every function returns a HapResult.
#include <cstdint>

enum HapResult : uint32_t {
    HapResult_No_Error = 0,
    HapResult_Bad_Arguments = 1,
    HapResult_Buffer_Too_Small = 2,
    HapResult_Bad_Frame = 3,
    HapResult_Internal_Error = 4,
};

// Texture format values reported per texture (OpenGL enumerants, or our own for YCoCg).
enum HapTextureFormat : uint32_t {
    HapTextureFormat_Unknown = 0,
    HapTextureFormat_YCoCg_DXT5 = 1,
    HapTextureFormat_RGB_DXT1 = 0x83F0,
    HapTextureFormat_RGBA_DXT5 = 0x83F3,
    HapTextureFormat_A_RGTC1 = 0x8DBB,
    HapTextureFormat_RGBA_BPTC = 0x8E8C,
};

// Section types of the container structure.
enum HapSectionType : uint32_t {
    HapSection_MultipleTextures = 0x0D,
    HapSection_DecodeInstructions = 0x01,
    HapSection_ChunkCompressorTable = 0x02,
    HapSection_ChunkSizeTable = 0x03,
    HapSection_ChunkOffsetTable = 0x04,
};

enum HapCompressor : uint32_t {
    HapCompressor_None = 0x0A,
    HapCompressor_Snappy = 0x0B,
    HapCompressor_Complex = 0x0C,
};

// One chunk of a chunked texture, filled by HapDecode and worked on by hap_decode_chunk.
struct HapChunkWork {
    uint32_t result;
    uint32_t compressor;
    const uint8_t* compressed;
    uint64_t compressed_size;
    uint8_t* output;
    uint64_t uncompressed_size;
};

using HapDecodeWorkFunction = void (*)(void* work_table, unsigned int index);
// Must call work(work_table, i) once for each i in [0, count) and return when all are done.
using HapDecodeCallback = void (*)(HapDecodeWorkFunction work, void* work_table, unsigned int count,
                                   void* info);

// Runs the chunks in order on the calling thread.
void hap_decode_callback_serial(HapDecodeWorkFunction work, void* work_table, unsigned int count,
                                void* info);
// Runs the chunks as a parallel loop over the processor's cores.
void HapDecodeCallback_MultiThread(HapDecodeWorkFunction work, void* work_table, unsigned int count,
                                   void* info);

HapResult HapDecode(const void* frame, uint32_t frame_size, uint32_t texture_index,
                    HapDecodeCallback callback, void* info, void* destination,
                    uint32_t destination_capacity, uint32_t* bytes_used, uint32_t* texture_format);

HapResult HapGetFrameTextureCount(const void* frame, uint32_t frame_size, uint32_t* count);
HapResult HapGetFrameTextureChunkCount(const void* frame, uint32_t frame_size, uint32_t texture_index,
                                       uint32_t* chunk_count);
HapResult HapGetFrameTextureFormat(const void* frame, uint32_t frame_size, uint32_t texture_index,
                                   uint32_t* texture_format);

HapResult hap_get_section_at_index(const void* frame, uint32_t frame_size, uint32_t index,
                                   const void** payload, uint32_t* payload_length, uint32_t* type);
uint32_t hap_texture_format_for_identifier(uint32_t format_nibble);
HapResult hap_decode_single_texture(const void* payload, uint32_t payload_length, uint32_t section_type,
                                    HapDecodeCallback callback, void* info, void* destination,
                                    uint32_t destination_capacity, uint32_t* bytes_used,
                                    uint32_t* texture_format);
void hap_decode_chunk(void* work_table, unsigned int index);

const char* hap_result_to_string(uint32_t result);
