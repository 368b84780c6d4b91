#pragma once
// CPU decoders of the texture blocks of a decoded HAP frame (DXT1, DXT5, RGTC1,
// YCoCg-DXT5 and BC7) into 8-bit RGBA pixels, for snapshots and the file test. The
// GPU path never comes here: the renderer uploads the blocks as they are.
//
// Output pixels are 4 bytes, R G B A. Blocks are read row of blocks by row of blocks,
// left to right; the block at (bx, by) lands at destination + by*4*stride + bx*16, so
// the destination must hold the picture rounded up to whole 4x4 blocks.
#include <cstddef>
#include <cstdint>

// Decodes one block to a 4x4 pixel area; returns the block's size in bytes (8 or 16).
using BlockDecodeFunction = uint32_t (*)(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);

enum BlockDecoderFormat : int32_t {
    BlockDecoderFormat_DXT1 = 0,
    BlockDecoderFormat_DXT5 = 1,
    BlockDecoderFormat_RGTC1_Grey = 2,
    BlockDecoderFormat_RGTC1_Grey_Alt = 3,  // same decode as 2
    BlockDecoderFormat_YCoCg_DXT5 = 4,      // always the float variant
    BlockDecoderFormat_YCoCg_DXT5_Alpha = 5,  // YCoCg-DXT5 texture + RGTC1 alpha texture
    BlockDecoderFormat_BC7 = 6,
};

struct BlockDecoder {
    int32_t format = BlockDecoderFormat_DXT1;
    uint32_t settings[2] = {0, 0};  // kept for the caller, unused by decoding
    uint16_t width = 0;
    uint16_t height = 0;
    BlockDecodeFunction block_function = nullptr;
    BlockDecodeFunction alpha_function = nullptr;  // format 5 only: texture 1 into the A bytes
    uint8_t use_float = 0;  // format 5: float (1) or integer (0) YCoCg variant

    // Returns 0, or 1 for a format code outside 0..6 (the context is then unusable).
    static int init(BlockDecoder* decoder, uint16_t width, uint16_t height, int32_t format, uint32_t setting0,
                    uint32_t setting1, uint8_t float_flag);
    // Decodes the whole picture. `texture1` is read for format 5 only. Returns 0.
    static int decode(const BlockDecoder* decoder, const uint8_t* texture0, const uint8_t* texture1,
                      uint8_t* destination, std::ptrdiff_t stride);
    // Decodes block rows [first_row, first_row + row_count) (clipped to the picture) of
    // the whole textures into the whole picture's destination, so that callers may split
    // one picture over threads by rows of blocks. Returns 0.
    static int decode_rows(const BlockDecoder* decoder, const uint8_t* texture0, const uint8_t* texture1,
                           uint8_t* destination, std::ptrdiff_t stride, uint32_t first_row, uint32_t row_count);

    uint32_t blocks_across() const { return (uint32_t(width) + 3) / 4; }
    uint32_t blocks_down() const { return (uint32_t(height) + 3) / 4; }
};

// Maps a HapCodec (0..5) to the decoder format code; -1 for anything else.
int32_t block_decoder_format_for_hap_codec(uint32_t hap_codec);

// Block functions.
uint32_t decode_dxt1_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
uint32_t decode_dxt5_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
uint32_t decode_ycocg_dxt5_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
uint32_t decode_ycocg_dxt5_block_f(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
uint32_t decode_rgtc1_red_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
uint32_t decode_rgtc1_alpha_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
uint32_t decode_bc7_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);

// Inner pieces.
// The four RGBA colours (R in the lowest byte of each word) of an 8-byte colour block;
// with `allow_three_colours` (DXT1) c0 <= c1 selects the three-colour palette with black.
void dxt1_color_palette(const uint8_t* block, bool allow_three_colours, uint32_t palette[4]);
// Colour half of DXT1/DXT5 into 4x4 RGBA pixels, alpha 255.
void decode_dxt_color_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block,
                            bool allow_three_colours);
// A whole 16-byte DXT5 block (alpha half first, colour half second).
void decode_dxt5_block_body(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block);
// The eight values of an alpha / RGTC1 block; the signed variant adds 128 to both
// endpoints first (no caller uses it).
void decode_rgtc1_values(const uint8_t* block, bool is_signed, uint8_t values[8]);
// One RGTC1 block: with `channel_only` writes the value into byte `channel_offset` of
// each pixel (`pixel_stride` bytes apart), leaving the other bytes; otherwise writes
// (v, v, v, 255) as 4-byte pixels.
void decode_rgtc1_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block, bool is_signed,
                        bool channel_only, uint32_t channel_offset, uint32_t pixel_stride);

// BC7: the 16 RGBA pixels of a block, in raster order (R in the lowest byte of each
// word). A block without a mode (first byte 0) gives 16 zero pixels.
void unpack_bc7(const uint8_t* block, uint32_t pixels[16]);
