// DXT1, DXT5, RGTC1 and YCoCg-DXT5 blocks to RGBA8, and the picture walk of every
// format. The per-block work is inlined into loops over whole rows of blocks: one
// palette per block, then table look-ups and stores per pixel, no calls.
#include "media/block_decoders.h"

#include <bit>
#include <cassert>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "media/hap_frame.h"

static_assert(std::endian::native == std::endian::little,
              "pixels are assembled as little-endian words (R in the lowest byte)");

namespace {

// Exact expansion of 5- and 6-bit endpoint channels to 8 bits.
struct ExpandTables {
    uint8_t five[32];
    uint8_t six[64];
};

constexpr ExpandTables make_expand_tables() {
    ExpandTables t{};
    for (uint32_t v = 0; v < 32; ++v) {
        const uint32_t x = v * 255 + 16;
        t.five[v] = uint8_t(((x >> 5) + x) >> 5);
    }
    for (uint32_t v = 0; v < 64; ++v) {
        const uint32_t x = v * 255 + 32;
        t.six[v] = uint8_t(((x >> 6) + x) >> 6);
    }
    return t;
}

constexpr ExpandTables kExpand = make_expand_tables();

constexpr uint32_t kOpaque = 0xFF000000u;

inline uint32_t load_u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

inline uint32_t load_u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The 48 index bits of an alpha block (bytes 2..7): pixel i at bits 3i..3i+2.
inline uint64_t load_alpha_indices(const uint8_t* block) {
    uint64_t v = 0;
    std::memcpy(&v, block + 2, 6);
    return v;
}

inline void store_pixel(uint8_t* p, uint32_t rgba) { std::memcpy(p, &rgba, 4); }

inline uint32_t pack_rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

// Colour palette with alpha bytes 0. `three_colours` picks the (c0 <= c1) palette of DXT1,
// whose index 3 is black; callers add the alpha they need.
inline void colour_palette(const uint8_t* block, bool allow_three_colours, uint32_t palette[4]) {
    const uint32_t c0 = load_u16(block);
    const uint32_t c1 = load_u16(block + 2);
    const uint32_t r0 = kExpand.five[c0 >> 11], g0 = kExpand.six[(c0 >> 5) & 63], b0 = kExpand.five[c0 & 31];
    const uint32_t r1 = kExpand.five[c1 >> 11], g1 = kExpand.six[(c1 >> 5) & 63], b1 = kExpand.five[c1 & 31];
    palette[0] = pack_rgb(r0, g0, b0);
    palette[1] = pack_rgb(r1, g1, b1);
    if (allow_three_colours && c0 <= c1) {
        palette[2] = pack_rgb((r0 + r1) >> 1, (g0 + g1) >> 1, (b0 + b1) >> 1);
        palette[3] = 0;
    } else {
        palette[2] = pack_rgb((2 * r0 + r1) / 3, (2 * g0 + g1) / 3, (2 * b0 + b1) / 3);
        palette[3] = pack_rgb((r0 + 2 * r1) / 3, (g0 + 2 * g1) / 3, (b0 + 2 * b1) / 3);
    }
}

inline void alpha_values(const uint8_t* block, uint32_t bias, uint32_t values[8]) {
    const uint32_t a0 = (block[0] + bias) & 0xFF;
    const uint32_t a1 = (block[1] + bias) & 0xFF;
    values[0] = a0;
    values[1] = a1;
    if (a0 > a1) {
        for (uint32_t i = 2; i < 8; ++i) values[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
    } else {
        for (uint32_t i = 2; i < 6; ++i) values[i] = ((6 - i) * a0 + (i - 1) * a1) / 5;
        values[6] = 0;
        values[7] = 255;
    }
}

// Writes 16 pixels from a 4-entry palette and 2-bit indices (row r in byte r).
inline void write_palette_pixels(uint8_t* destination, std::ptrdiff_t stride, const uint32_t palette[4],
                                 uint32_t indices) {
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride;
        const uint32_t bits = indices >> (8 * r);
        store_pixel(row, palette[bits & 3]);
        store_pixel(row + 4, palette[(bits >> 2) & 3]);
        store_pixel(row + 8, palette[(bits >> 4) & 3]);
        store_pixel(row + 12, palette[(bits >> 6) & 3]);
    }
}

inline void dxt1_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t palette[4];
    colour_palette(block, true, palette);
    for (uint32_t& c : palette) c |= kOpaque;
    write_palette_pixels(destination, stride, palette, load_u32(block + 4));
}

inline void dxt5_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t alpha[8];
    alpha_values(block, 0, alpha);
    uint32_t palette[4];
    colour_palette(block + 8, false, palette);
    uint64_t alpha_bits = load_alpha_indices(block);
    uint32_t colour_bits = load_u32(block + 12);
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride;
        for (int x = 0; x < 4; ++x) {
            store_pixel(row + 4 * x, palette[colour_bits & 3] | alpha[alpha_bits & 7] << 24);
            colour_bits >>= 2;
            alpha_bits >>= 3;
        }
    }
}

inline void rgtc1_grey_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t values[8];
    alpha_values(block, 0, values);
    uint32_t grey[8];
    for (int i = 0; i < 8; ++i) grey[i] = values[i] * 0x010101u | kOpaque;
    uint64_t bits = load_alpha_indices(block);
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride;
        for (int x = 0; x < 4; ++x) {
            store_pixel(row + 4 * x, grey[bits & 7]);
            bits >>= 3;
        }
    }
}

inline void rgtc1_alpha_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t values[8];
    alpha_values(block, 0, values);
    uint64_t bits = load_alpha_indices(block);
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride + 3;
        for (int x = 0; x < 4; ++x) {
            row[4 * x] = uint8_t(values[bits & 7]);
            bits >>= 3;
        }
    }
}

// (v - 128) / scale truncated toward zero, for every scale 1..32 and byte v: the chroma
// terms of the integer YCoCg variant without a division per palette entry.
struct ChromaDivideTable {
    int8_t value[32][256];
};

constexpr ChromaDivideTable make_chroma_divide_table() {
    ChromaDivideTable t{};
    for (int scale = 1; scale <= 32; ++scale)
        for (int v = 0; v < 256; ++v) t.value[scale - 1][v] = int8_t((v - 128) / scale);
    return t;
}

constexpr ChromaDivideTable kChromaDivide = make_chroma_divide_table();

inline uint32_t clamp_u8(int32_t v) { return uint32_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// YCoCg-DXT5: the colour half carries Co (R), Cg (G) and the scale (B), the alpha half Y.
// The colour terms depend on the colour palette entry only, so they are worked out once
// per entry and each pixel adds its Y.
inline void ycocg_block_integer(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t luma[8];
    alpha_values(block, 0, luma);
    uint32_t palette[4];
    colour_palette(block + 8, false, palette);
    int32_t add_r[4], add_g[4], add_b[4];
    for (int k = 0; k < 4; ++k) {
        const int8_t* divide = kChromaDivide.value[(palette[k] >> 16 & 0xFF) >> 3];  // scale (B >> 3) + 1
        const int32_t co = divide[palette[k] & 0xFF];
        const int32_t cg = divide[palette[k] >> 8 & 0xFF];
        add_r[k] = co - cg;
        add_g[k] = cg;
        add_b[k] = -co - cg;
    }
    uint64_t alpha_bits = load_alpha_indices(block);
    uint32_t colour_bits = load_u32(block + 12);
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride;
        for (int x = 0; x < 4; ++x) {
            const int32_t y = int32_t(luma[alpha_bits & 7]);
            const uint32_t k = colour_bits & 3;
            store_pixel(row + 4 * x,
                        clamp_u8(y + add_r[k]) | clamp_u8(y + add_g[k]) << 8 | clamp_u8(y + add_b[k]) << 16 | kOpaque);
            colour_bits >>= 2;
            alpha_bits >>= 3;
        }
    }
}

constexpr float kInv255 = 0.003921569f;
constexpr float kHalfOffset = 0.5019608f;  // 128 / 255

#if defined(__SSE2__)

// The float variant four pixels (one block row) at a time. The operations and their
// order are those of the scalar formula, lane by lane, so the results are identical.
inline void ycocg_block_float(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t luma[8];
    alpha_values(block, 0, luma);
    alignas(16) float y_values[8];
    for (int i = 0; i < 8; ++i) y_values[i] = float(luma[i]) * kInv255;
    uint32_t palette[4];
    colour_palette(block + 8, false, palette);
    alignas(16) float red[4], green[4], blue[4];
    for (int k = 0; k < 4; ++k) {
        red[k] = float(palette[k] & 0xFF);
        green[k] = float(palette[k] >> 8 & 0xFF);
        blue[k] = float(palette[k] >> 16 & 0xFF);
    }
    const __m128 inv255 = _mm_set1_ps(kInv255);
    const __m128 half_offset = _mm_set1_ps(kHalfOffset);
    const __m128 s = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_load_ps(blue), inv255), _mm_set1_ps(31.875f)),
                                _mm_set1_ps(1.0f));
    alignas(16) float co_values[4], cg_values[4];
    _mm_store_ps(co_values, _mm_div_ps(_mm_sub_ps(_mm_mul_ps(_mm_load_ps(red), inv255), half_offset), s));
    _mm_store_ps(cg_values, _mm_div_ps(_mm_sub_ps(_mm_mul_ps(_mm_load_ps(green), inv255), half_offset), s));

    alignas(16) float y[16], co[16], cg[16];
    uint64_t alpha_bits = load_alpha_indices(block);
    uint32_t colour_bits = load_u32(block + 12);
    for (int i = 0; i < 16; ++i) {
        y[i] = y_values[alpha_bits & 7];
        co[i] = co_values[colour_bits & 3];
        cg[i] = cg_values[colour_bits & 3];
        alpha_bits >>= 3;
        colour_bits >>= 2;
    }
    const __m128 scale255 = _mm_set1_ps(255.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 top = _mm_set1_ps(255.0f);
    // Round half away from zero and clamp to 0..255: for x >= 0.5, x + 0.5f is exact
    // wherever it matters, so its truncation is the rounding; below 0.5 the result is 0
    // (the sum itself could round up to 1 just below 0.5).
    auto to_byte = [&](__m128 x) {
        const __m128 t = _mm_andnot_ps(_mm_cmplt_ps(x, half), _mm_add_ps(x, half));
        return _mm_cvttps_epi32(_mm_min_ps(t, top));
    };
    const __m128i opaque = _mm_set1_epi32(int32_t(kOpaque));
    for (int r = 0; r < 4; ++r) {
        const __m128 yr = _mm_load_ps(y + 4 * r), cor = _mm_load_ps(co + 4 * r), cgr = _mm_load_ps(cg + 4 * r);
        const __m128i rr = to_byte(_mm_mul_ps(_mm_sub_ps(_mm_add_ps(yr, cor), cgr), scale255));
        const __m128i gg = to_byte(_mm_mul_ps(_mm_add_ps(yr, cgr), scale255));
        const __m128i bb = to_byte(_mm_mul_ps(_mm_sub_ps(_mm_sub_ps(yr, cor), cgr), scale255));
        const __m128i pixels =
            _mm_or_si128(_mm_or_si128(rr, _mm_slli_epi32(gg, 8)), _mm_or_si128(_mm_slli_epi32(bb, 16), opaque));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + r * stride), pixels);
    }
}

#else

// Rounds half away from zero and clamps to 0..255. For x >= 0.5, x + 0.5f is exact
// wherever it matters, so its truncation is the rounding; below 0.5 the result is 0.
inline uint32_t round_clamp_u8(float x) {
    if (x < 0.5f) return 0;
    if (x >= 254.5f) return 255;
    return uint32_t(int32_t(x + 0.5f));
}

inline void ycocg_block_float(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t luma[8];
    alpha_values(block, 0, luma);
    float y_values[8];
    for (int i = 0; i < 8; ++i) y_values[i] = float(luma[i]) * kInv255;
    uint32_t palette[4];
    colour_palette(block + 8, false, palette);
    float co[4], cg[4];
    for (int k = 0; k < 4; ++k) {
        const float s = float(palette[k] >> 16 & 0xFF) * kInv255 * 31.875f + 1.0f;
        co[k] = (float(palette[k] & 0xFF) * kInv255 - kHalfOffset) / s;
        cg[k] = (float(palette[k] >> 8 & 0xFF) * kInv255 - kHalfOffset) / s;
    }
    uint64_t alpha_bits = load_alpha_indices(block);
    uint32_t colour_bits = load_u32(block + 12);
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride;
        for (int x = 0; x < 4; ++x) {
            const float y = y_values[alpha_bits & 7];
            const uint32_t k = colour_bits & 3;
            const uint32_t red = round_clamp_u8((y + co[k] - cg[k]) * 255.0f);
            const uint32_t green = round_clamp_u8((y + cg[k]) * 255.0f);
            const uint32_t blue = round_clamp_u8((y - co[k] - cg[k]) * 255.0f);
            store_pixel(row + 4 * x, red | green << 8 | blue << 16 | kOpaque);
            colour_bits >>= 2;
            alpha_bits >>= 3;
        }
    }
}

#endif

// One row of blocks of a one-texture format.
template <void (*Block)(uint8_t*, std::ptrdiff_t, const uint8_t*), uint32_t BlockBytes>
void decode_block_rows(const uint8_t* texture, uint8_t* destination, std::ptrdiff_t stride, uint32_t across,
                       uint32_t first_row, uint32_t row_count) {
    const uint8_t* block = texture + uint64_t(first_row) * across * BlockBytes;
    for (uint32_t by = first_row; by < first_row + row_count; ++by) {
        uint8_t* row = destination + std::ptrdiff_t(by) * 4 * stride;
        for (uint32_t bx = 0; bx < across; ++bx, block += BlockBytes) Block(row + 16 * bx, stride, block);
    }
}

// YCoCg-DXT5 colour with its RGTC1 alpha texture, block by block.
template <void (*Colour)(uint8_t*, std::ptrdiff_t, const uint8_t*)>
void decode_block_rows_with_alpha(const uint8_t* texture0, const uint8_t* texture1, uint8_t* destination,
                                  std::ptrdiff_t stride, uint32_t across, uint32_t first_row, uint32_t row_count) {
    const uint8_t* colour = texture0 + uint64_t(first_row) * across * 16;
    const uint8_t* alpha = texture1 + uint64_t(first_row) * across * 8;
    for (uint32_t by = first_row; by < first_row + row_count; ++by) {
        uint8_t* row = destination + std::ptrdiff_t(by) * 4 * stride;
        for (uint32_t bx = 0; bx < across; ++bx, colour += 16, alpha += 8) {
            Colour(row + 16 * bx, stride, colour);
            rgtc1_alpha_block(row + 16 * bx, stride, alpha);
        }
    }
}

inline void bc7_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    decode_bc7_block(destination, stride, block);
}

}  // namespace

// ---- block functions ----

uint32_t decode_dxt1_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    dxt1_block(destination, stride, block);
    return 8;
}

uint32_t decode_dxt5_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    dxt5_block(destination, stride, block);
    return 16;
}

uint32_t decode_ycocg_dxt5_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    ycocg_block_integer(destination, stride, block);
    return 16;
}

uint32_t decode_ycocg_dxt5_block_f(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    ycocg_block_float(destination, stride, block);
    return 16;
}

uint32_t decode_rgtc1_red_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    rgtc1_grey_block(destination, stride, block);
    return 8;
}

uint32_t decode_rgtc1_alpha_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    rgtc1_alpha_block(destination, stride, block);
    return 8;
}

// ---- inner pieces ----

void dxt1_color_palette(const uint8_t* block, bool allow_three_colours, uint32_t palette[4]) {
    colour_palette(block, allow_three_colours, palette);
    for (int i = 0; i < 4; ++i) palette[i] |= kOpaque;
}

void decode_dxt_color_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block,
                            bool allow_three_colours) {
    uint32_t palette[4];
    dxt1_color_palette(block, allow_three_colours, palette);
    write_palette_pixels(destination, stride, palette, load_u32(block + 4));
}

void decode_dxt5_block_body(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    dxt5_block(destination, stride, block);
}

void decode_rgtc1_values(const uint8_t* block, bool is_signed, uint8_t values[8]) {
    uint32_t v[8];
    alpha_values(block, is_signed ? 128 : 0, v);
    for (int i = 0; i < 8; ++i) values[i] = uint8_t(v[i]);
}

void decode_rgtc1_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block, bool is_signed,
                        bool channel_only, uint32_t channel_offset, uint32_t pixel_stride) {
    uint8_t values[8];
    decode_rgtc1_values(block, is_signed, values);
    uint64_t bits = load_alpha_indices(block);
    for (int r = 0; r < 4; ++r) {
        uint8_t* row = destination + r * stride;
        for (int x = 0; x < 4; ++x) {
            const uint8_t v = values[bits & 7];
            bits >>= 3;
            if (channel_only) {
                row[x * pixel_stride + channel_offset] = v;
            } else {
                store_pixel(row + 4 * x, v * 0x010101u | kOpaque);
            }
        }
    }
}

// ---- picture ----

int32_t block_decoder_format_for_hap_codec(uint32_t hap_codec) {
    switch (hap_codec) {
    case HapCodec_Hap1: return BlockDecoderFormat_DXT1;
    case HapCodec_Hap5: return BlockDecoderFormat_DXT5;
    case HapCodec_HapY: return BlockDecoderFormat_YCoCg_DXT5;
    case HapCodec_HapM: return BlockDecoderFormat_YCoCg_DXT5_Alpha;
    case HapCodec_HapA: return BlockDecoderFormat_RGTC1_Grey;
    case HapCodec_Hap7: return BlockDecoderFormat_BC7;
    default: return -1;
    }
}

int BlockDecoder::init(BlockDecoder* decoder, uint16_t width, uint16_t height, int32_t format, uint32_t setting0,
                       uint32_t setting1, uint8_t float_flag) {
    BlockDecodeFunction block_function = nullptr;
    BlockDecodeFunction alpha_function = nullptr;
    switch (format) {
    case BlockDecoderFormat_DXT1: block_function = decode_dxt1_block; break;
    case BlockDecoderFormat_DXT5: block_function = decode_dxt5_block; break;
    case BlockDecoderFormat_RGTC1_Grey:
    case BlockDecoderFormat_RGTC1_Grey_Alt: block_function = decode_rgtc1_red_block; break;
    case BlockDecoderFormat_YCoCg_DXT5: block_function = decode_ycocg_dxt5_block_f; break;
    case BlockDecoderFormat_YCoCg_DXT5_Alpha:
        block_function = float_flag == 1 ? decode_ycocg_dxt5_block_f : decode_ycocg_dxt5_block;
        alpha_function = decode_rgtc1_alpha_block;
        break;
    case BlockDecoderFormat_BC7: block_function = decode_bc7_block; break;
    default: return 1;
    }
    decoder->format = format;
    decoder->settings[0] = setting0;
    decoder->settings[1] = setting1;
    decoder->width = width;
    decoder->height = height;
    decoder->block_function = block_function;
    decoder->alpha_function = alpha_function;
    decoder->use_float = float_flag == 1 ? 1 : 0;
    return 0;
}

int BlockDecoder::decode(const BlockDecoder* decoder, const uint8_t* texture0, const uint8_t* texture1,
                         uint8_t* destination, std::ptrdiff_t stride) {
    return decode_rows(decoder, texture0, texture1, destination, stride, 0, decoder->blocks_down());
}

int BlockDecoder::decode_rows(const BlockDecoder* decoder, const uint8_t* texture0, const uint8_t* texture1,
                              uint8_t* destination, std::ptrdiff_t stride, uint32_t first_row, uint32_t row_count) {
    const uint32_t across = decoder->blocks_across();
    const uint32_t down = decoder->blocks_down();
    if (first_row >= down || row_count == 0) return 0;
    if (row_count > down - first_row) row_count = down - first_row;
    // The destination holds whole blocks: each row of blocks is 16 bytes per block wide.
    assert(stride >= std::ptrdiff_t(across) * 16);

    switch (decoder->format) {
    case BlockDecoderFormat_DXT1:
        decode_block_rows<dxt1_block, 8>(texture0, destination, stride, across, first_row, row_count);
        break;
    case BlockDecoderFormat_DXT5:
        decode_block_rows<dxt5_block, 16>(texture0, destination, stride, across, first_row, row_count);
        break;
    case BlockDecoderFormat_RGTC1_Grey:
    case BlockDecoderFormat_RGTC1_Grey_Alt:
        decode_block_rows<rgtc1_grey_block, 8>(texture0, destination, stride, across, first_row, row_count);
        break;
    case BlockDecoderFormat_YCoCg_DXT5:
        decode_block_rows<ycocg_block_float, 16>(texture0, destination, stride, across, first_row, row_count);
        break;
    case BlockDecoderFormat_YCoCg_DXT5_Alpha:
        if (decoder->use_float)
            decode_block_rows_with_alpha<ycocg_block_float>(texture0, texture1, destination, stride, across,
                                                            first_row, row_count);
        else
            decode_block_rows_with_alpha<ycocg_block_integer>(texture0, texture1, destination, stride, across,
                                                              first_row, row_count);
        break;
    case BlockDecoderFormat_BC7:
        decode_block_rows<bc7_block, 16>(texture0, destination, stride, across, first_row, row_count);
        break;
    default: break;
    }
    return 0;
}
