// DXT1, DXT5, RGTC1 and YCoCg-DXT5 blocks to RGBA8: every frame of FFmpeg-made movies
// must equal FFmpeg's own RGBA decode byte for byte; hand-made blocks pin the edge cases
// of the block formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/block_decoders.h"
#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "tests/support/test_movies.h"

using testsupport::Bytes;

namespace {

struct MovieSize {
    const char* source;  // as named by the fixture script
    uint32_t width, height;
};

const MovieSize kSources[] = {
    {"flat_64x48", 64, 48},       {"flat_256x192", 256, 192}, {"noise_100x60", 100, 60},
    {"noise_128x96", 128, 96},    {"mandel_96x64", 96, 64},
};

struct Movie {
    std::vector<Bytes> frames;
    Bytes reference;  // FFmpeg's decode: 4 bytes per pixel (1 for grey), frame after frame
};

// `packets_of` names the movie whose packet list applies (a patched copy keeps its source's).
Movie load_movie(const std::string& name, const std::string& reference_extension = ".rgba",
                 const std::string& packets_of = "") {
    Movie movie;
    const std::string path = testsupport::fixture_path(name + ".mov");
    for (const auto& packet : testsupport::read_packet_list(packets_of.empty() ? name : packets_of))
        movie.frames.push_back(testsupport::read_file_bytes(path, packet.offset, packet.size));
    movie.reference = testsupport::read_whole_file(testsupport::fixture_path(name + reference_extension));
    return movie;
}

// One texture of a frame, as our HAP decoder gives it.
Bytes hap_texture(const Bytes& frame, uint32_t texture_index, uint32_t expected_bytes) {
    Bytes texture(expected_bytes);
    uint32_t used = 0, format = 0;
    const HapResult r = HapDecode(frame.data(), uint32_t(frame.size()), texture_index, hap_decode_callback_serial,
                                  nullptr, texture.data(), uint32_t(texture.size()), &used, &format);
    EXPECT_EQ(r, HapResult_No_Error) << hap_result_to_string(r);
    EXPECT_EQ(used, expected_bytes);
    return texture;
}

uint32_t texture_bytes(uint32_t width, uint32_t height, uint32_t block_bytes) {
    return ((width + 3) / 4) * ((height + 3) / 4) * block_bytes;
}

// Decodes a picture into a buffer of whole blocks with some slack per row.
struct Picture {
    uint32_t width, height;
    std::ptrdiff_t stride;
    Bytes pixels;
};

Picture decode_picture(int32_t format, uint8_t float_flag, uint32_t width, uint32_t height, const Bytes& texture0,
                       const Bytes* texture1 = nullptr) {
    BlockDecoder decoder;
    EXPECT_EQ(BlockDecoder::init(&decoder, uint16_t(width), uint16_t(height), format, 0, 0, float_flag), 0);
    Picture picture{width, height, std::ptrdiff_t(((width + 3) / 4) * 16 + 32), {}};
    picture.pixels.assign(size_t(picture.stride) * ((height + 3) / 4) * 4, 0xCD);
    EXPECT_EQ(BlockDecoder::decode(&decoder, texture0.data(), texture1 ? texture1->data() : nullptr,
                                   picture.pixels.data(), picture.stride),
              0);
    return picture;
}

// Counts differing bytes of the visible picture against a packed RGBA frame and names the first.
size_t count_differences(const Picture& picture, const uint8_t* reference, std::string* first) {
    size_t differences = 0;
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* ours = picture.pixels.data() + y * picture.stride;
        const uint8_t* theirs = reference + size_t(y) * picture.width * 4;
        for (uint32_t i = 0; i < picture.width * 4; ++i) {
            if (ours[i] == theirs[i]) continue;
            if (differences++ == 0)
                *first = "x " + std::to_string(i / 4) + " y " + std::to_string(y) + " channel " +
                         std::to_string(i % 4) + ": ours " + std::to_string(ours[i]) + ", FFmpeg " +
                         std::to_string(theirs[i]);
        }
    }
    return differences;
}

void expect_matches_reference(const Picture& picture, const uint8_t* reference) {
    std::string first;
    const size_t differences = count_differences(picture, reference, &first);
    EXPECT_EQ(differences, 0u) << "first difference at " << first;
}

// An RGTC1 texture whose every value is 255, for driving format 5 without alpha.
Bytes opaque_alpha_texture(uint32_t width, uint32_t height) {
    Bytes texture(texture_bytes(width, height, 8), 0);
    for (size_t i = 0; i < texture.size(); i += 8) texture[i] = texture[i + 1] = 255;
    return texture;
}

}  // namespace

namespace {

// Runs FFmpeg on a patched movie: its decode into `output` as raw `pixel_format`.
void ffmpeg_decode(const std::string& movie, const std::string& output, const char* pixel_format) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + movie +
                                "' -f rawvideo -pix_fmt " + pixel_format + " '" + output + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace

TEST(BlockDecoderMovies, Hap1AndHap5EqualFfmpegRgbaInEveryFrame) {
    struct Kind {
        const char* prefix;
        int32_t format;
        uint32_t block_bytes;
        uint32_t codec;
    };
    const Kind kinds[] = {{"blk_hap_", BlockDecoderFormat_DXT1, 8, HapCodec_Hap1},
                          {"blk_hap_none_", BlockDecoderFormat_DXT1, 8, HapCodec_Hap1},
                          {"blk_hap_alpha_", BlockDecoderFormat_DXT5, 16, HapCodec_Hap5}};
    for (const Kind& kind : kinds) {
        for (const MovieSize& size : kSources) {
            const std::string name = std::string(kind.prefix) + size.source;
            const Movie movie = load_movie(name);
            const size_t frame_bytes = size_t(size.width) * size.height * 4;
            ASSERT_EQ(movie.reference.size(), movie.frames.size() * frame_bytes) << name;
            for (size_t f = 0; f < movie.frames.size(); ++f) {
                SCOPED_TRACE(name + " frame " + std::to_string(f));
                HapFrame frame;
                hap_frame_init_from_memory(&frame, size.width, size.height, movie.frames[f].data(),
                                           movie.frames[f].size());
                ASSERT_EQ(frame.codec, kind.codec);
                EXPECT_EQ(block_decoder_format_for_hap_codec(frame.codec), kind.format);
                const Bytes texture =
                    hap_texture(movie.frames[f], 0, texture_bytes(size.width, size.height, kind.block_bytes));
                const Picture picture = decode_picture(kind.format, 0, size.width, size.height, texture);
                expect_matches_reference(picture, movie.reference.data() + f * frame_bytes);
            }
        }
    }
}

TEST(BlockDecoderMovies, HapYEqualsFfmpegRgbaWithBothVariants) {
    for (const MovieSize& size : kSources) {
        const std::string name = std::string("blk_hap_q_") + size.source;
        const Movie movie = load_movie(name);
        const size_t frame_bytes = size_t(size.width) * size.height * 4;
        ASSERT_EQ(movie.reference.size(), movie.frames.size() * frame_bytes) << name;
        const Bytes opaque = opaque_alpha_texture(size.width, size.height);
        for (size_t f = 0; f < movie.frames.size(); ++f) {
            SCOPED_TRACE(name + " frame " + std::to_string(f));
            const uint8_t* reference = movie.reference.data() + f * frame_bytes;
            const Bytes texture = hap_texture(movie.frames[f], 0, texture_bytes(size.width, size.height, 16));
            {
                SCOPED_TRACE("float variant (format 4)");
                expect_matches_reference(decode_picture(BlockDecoderFormat_YCoCg_DXT5, 0, size.width, size.height,
                                                        texture),
                                         reference);
            }
            {
                SCOPED_TRACE("integer variant (format 5, float flag 0, opaque alpha texture)");
                expect_matches_reference(decode_picture(BlockDecoderFormat_YCoCg_DXT5_Alpha, 0, size.width,
                                                        size.height, texture, &opaque),
                                         reference);
            }
            {
                SCOPED_TRACE("float variant (format 5, float flag 1, opaque alpha texture)");
                expect_matches_reference(decode_picture(BlockDecoderFormat_YCoCg_DXT5_Alpha, 1, size.width,
                                                        size.height, texture, &opaque),
                                         reference);
            }
        }
    }
}

// FFmpeg cannot write HapA but decodes it (to grey): an uncompressed Hap1 movie becomes
// one by renaming its sample description's codec and retyping each frame's texture
// section from DXT1 (0xAB) to RGTC1 (0xA1); the block bytes are then read as RGTC1.
// The same RGTC1 texture then serves as the alpha plane of a YCoCg + alpha picture.
TEST(BlockDecoderMovies, PatchedHapAEqualsFfmpegGreyAndFeedsTheAlphaPlane) {
    for (const MovieSize& size : kSources) {
        const std::string source_name = std::string("blk_hap_none_") + size.source;
        const std::string patched_name = std::string("blk_hapa_patched_") + size.source;
        SCOPED_TRACE(patched_name);
        Bytes file = testsupport::read_whole_file(testsupport::fixture_path(source_name + ".mov"));
        const auto packets = testsupport::read_packet_list(source_name);

        const std::string stsd = "stsd";
        auto at = std::search(file.begin(), file.end(), stsd.begin(), stsd.end());
        ASSERT_NE(at, file.end());
        const size_t fourcc = size_t(at - file.begin()) + 16;  // type, version+flags, count, entry size
        ASSERT_EQ(std::string(file.begin() + fourcc, file.begin() + fourcc + 4), "Hap1");
        std::memcpy(&file[fourcc], "HapA", 4);
        for (const auto& packet : packets) {
            ASSERT_EQ(file[packet.offset + 3], 0xAB);
            file[packet.offset + 3] = 0xA1;
        }
        const std::string patched = testsupport::fixture_path(patched_name + ".mov");
        testsupport::write_whole_file(patched, file);
        ffmpeg_decode(patched, testsupport::fixture_path(patched_name + ".gray"), "gray");

        const Movie movie = load_movie(patched_name, ".gray", source_name);
        const Movie colour = load_movie(std::string("blk_hap_q_") + size.source);
        const size_t pixels = size_t(size.width) * size.height;
        ASSERT_EQ(movie.reference.size(), movie.frames.size() * pixels);
        ASSERT_EQ(colour.frames.size(), movie.frames.size());
        for (size_t f = 0; f < movie.frames.size(); ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            HapFrame frame;
            hap_frame_init_from_memory(&frame, size.width, size.height, movie.frames[f].data(),
                                       movie.frames[f].size());
            ASSERT_EQ(frame.codec, HapCodec_HapA);
            EXPECT_EQ(block_decoder_format_for_hap_codec(frame.codec), BlockDecoderFormat_RGTC1_Grey);
            const Bytes alpha = hap_texture(movie.frames[f], 0, texture_bytes(size.width, size.height, 8));
            const uint8_t* grey_frame = movie.reference.data() + f * pixels;

            Bytes expected_grey(pixels * 4);
            for (size_t i = 0; i < pixels; ++i) {
                std::memset(&expected_grey[4 * i], grey_frame[i], 3);
                expected_grey[4 * i + 3] = 255;
            }
            for (int32_t format : {BlockDecoderFormat_RGTC1_Grey, BlockDecoderFormat_RGTC1_Grey_Alt})
                expect_matches_reference(decode_picture(format, 0, size.width, size.height, alpha),
                                         expected_grey.data());

            // YCoCg colour from the HapY movie of the same source, alpha from the RGTC1 texture.
            const Bytes ycocg = hap_texture(colour.frames[f], 0, texture_bytes(size.width, size.height, 16));
            Bytes expected_rgba(colour.reference.begin() + f * pixels * 4,
                                colour.reference.begin() + (f + 1) * pixels * 4);
            for (size_t i = 0; i < pixels; ++i) expected_rgba[4 * i + 3] = grey_frame[i];
            for (uint8_t float_flag : {0, 1})
                expect_matches_reference(decode_picture(BlockDecoderFormat_YCoCg_DXT5_Alpha, float_flag,
                                                        size.width, size.height, ycocg, &alpha),
                                         expected_rgba.data());
        }
    }
}

// FFmpeg's HapY encoder always writes chroma scale 0. Rewriting the scale bits (blue of
// both colour endpoints) of every block of uncompressed HapY movies gives real scales;
// FFmpeg's decode of them pins the integer variant, which FFmpeg follows. The float
// variant (the GPU's continuous scale) differs there by design.
TEST(BlockDecoderMovies, ScaledHapYEqualsFfmpegWithTheIntegerVariant) {
    for (const MovieSize& size : kSources) {
        const std::string source_name = std::string("blk_hap_q_none_") + size.source;
        const std::string patched_name = std::string("blk_hap_q_scaled_") + size.source;
        SCOPED_TRACE(patched_name);
        Bytes file = testsupport::read_whole_file(testsupport::fixture_path(source_name + ".mov"));
        const auto packets = testsupport::read_packet_list(source_name);
        const uint32_t bytes = texture_bytes(size.width, size.height, 16);
        uint32_t seed = 12345;
        for (const auto& packet : packets) {
            ASSERT_EQ(packet.size, bytes + 8);  // 8-byte header, then the raw texture
            ASSERT_EQ(file[packet.offset + 3], 0xAF);
            for (uint32_t block = 0; block < bytes / 16; ++block) {
                uint8_t* colour = &file[packet.offset + 8 + block * 16 + 8];
                for (int end = 0; end < 2; ++end) {
                    seed = seed * 1103515245u + 12345u;
                    colour[2 * end] = uint8_t((colour[2 * end] & ~31) | (seed >> 16 & 31));
                }
            }
        }
        const std::string patched = testsupport::fixture_path(patched_name + ".mov");
        testsupport::write_whole_file(patched, file);
        ffmpeg_decode(patched, testsupport::fixture_path(patched_name + ".rgba"), "rgba");

        const Movie movie = load_movie(patched_name, ".rgba", source_name);
        const size_t frame_bytes = size_t(size.width) * size.height * 4;
        ASSERT_EQ(movie.reference.size(), movie.frames.size() * frame_bytes);
        const Bytes opaque = opaque_alpha_texture(size.width, size.height);
        for (size_t f = 0; f < movie.frames.size(); ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            const Bytes texture = hap_texture(movie.frames[f], 0, bytes);
            const uint8_t* reference = movie.reference.data() + f * frame_bytes;
            expect_matches_reference(decode_picture(BlockDecoderFormat_YCoCg_DXT5_Alpha, 0, size.width, size.height,
                                                    texture, &opaque),
                                     reference);
            std::string first;
            EXPECT_GT(count_differences(decode_picture(BlockDecoderFormat_YCoCg_DXT5, 0, size.width, size.height,
                                                       texture),
                                        reference, &first),
                      0u)
                << "the scales were not patched in";
        }
    }
}

TEST(BlockDecoderPicture, RowRangesCoverThePictureAndNothingOutsideItsBlocks) {
    const Movie movie = load_movie("blk_hap_alpha_noise_100x60");
    const uint32_t width = 100, height = 60;
    const Bytes texture = hap_texture(movie.frames[0], 0, texture_bytes(width, height, 16));
    const Picture whole = decode_picture(BlockDecoderFormat_DXT5, 0, width, height, texture);

    // Rows decoded one at a time, last first, plus ranges clipped at the bottom.
    BlockDecoder decoder;
    ASSERT_EQ(BlockDecoder::init(&decoder, width, height, BlockDecoderFormat_DXT5, 0, 0, 0), 0);
    EXPECT_EQ(decoder.blocks_down(), 15u);
    Bytes pieces(whole.pixels.size(), 0xCD);
    for (uint32_t row = decoder.blocks_down(); row-- > 0;)
        EXPECT_EQ(BlockDecoder::decode_rows(&decoder, texture.data(), nullptr, pieces.data(), whole.stride, row, 1), 0);
    EXPECT_EQ(pieces, whole.pixels);
    Bytes clipped(whole.pixels.size(), 0xCD);
    BlockDecoder::decode_rows(&decoder, texture.data(), nullptr, clipped.data(), whole.stride, 0, 7);
    BlockDecoder::decode_rows(&decoder, texture.data(), nullptr, clipped.data(), whole.stride, 7, 1000);
    BlockDecoder::decode_rows(&decoder, texture.data(), nullptr, clipped.data(), whole.stride, 15, 3);  // past the end
    EXPECT_EQ(clipped, whole.pixels);

    // A 5x3 DXT1 picture is 2x1 blocks: it writes exactly the 8x4 area and nothing else.
    const std::ptrdiff_t stride = 40;
    Bytes area(stride * 6, 0xEE);
    Bytes blocks(16);
    for (size_t i = 0; i < blocks.size(); ++i) blocks[i] = uint8_t(i * 37 + 1);
    ASSERT_EQ(BlockDecoder::init(&decoder, 5, 3, BlockDecoderFormat_DXT1, 0, 0, 0), 0);
    EXPECT_EQ(decoder.blocks_across(), 2u);
    EXPECT_EQ(decoder.blocks_down(), 1u);
    BlockDecoder::decode(&decoder, blocks.data(), nullptr, area.data(), stride);
    for (std::ptrdiff_t y = 0; y < 6; ++y) {
        for (std::ptrdiff_t x = 0; x < stride; ++x) {
            const bool inside = y < 4 && x < 32;
            const uint8_t v = area[y * stride + x];
            if (inside && x % 4 == 3) {
                EXPECT_EQ(v, 255) << x << "," << y;  // DXT1 is opaque
            } else if (!inside) {
                EXPECT_EQ(v, 0xEE) << x << "," << y;
            }
        }
    }
}

TEST(BlockDecoderPicture, InitChoosesTheBlockFunctionsOfEachFormat) {
    struct Expect {
        int32_t format;
        uint8_t float_flag;
        BlockDecodeFunction block;
        BlockDecodeFunction alpha;
    };
    const Expect expects[] = {
        {0, 0, decode_dxt1_block, nullptr},
        {1, 0, decode_dxt5_block, nullptr},
        {2, 0, decode_rgtc1_red_block, nullptr},
        {3, 0, decode_rgtc1_red_block, nullptr},
        {4, 0, decode_ycocg_dxt5_block_f, nullptr},
        {5, 0, decode_ycocg_dxt5_block, decode_rgtc1_alpha_block},
        {5, 1, decode_ycocg_dxt5_block_f, decode_rgtc1_alpha_block},
        {6, 0, decode_bc7_block, nullptr},
    };
    for (const Expect& e : expects) {
        BlockDecoder decoder;
        ASSERT_EQ(BlockDecoder::init(&decoder, 7, 9, e.format, 11, 22, e.float_flag), 0) << e.format;
        EXPECT_EQ(decoder.block_function, e.block) << e.format;
        EXPECT_EQ(decoder.alpha_function, e.alpha) << e.format;
        EXPECT_EQ(decoder.settings[0], 11u);
        EXPECT_EQ(decoder.settings[1], 22u);
        EXPECT_EQ(decoder.width, 7);
        EXPECT_EQ(decoder.height, 9);
    }
    BlockDecoder decoder;
    EXPECT_EQ(BlockDecoder::init(&decoder, 4, 4, 7, 0, 0, 0), 1);
    EXPECT_EQ(BlockDecoder::init(&decoder, 4, 4, -1, 0, 0, 0), 1);

    EXPECT_EQ(block_decoder_format_for_hap_codec(HapCodec_Hap7), BlockDecoderFormat_BC7);
    EXPECT_EQ(block_decoder_format_for_hap_codec(HapCodec_HapM), BlockDecoderFormat_YCoCg_DXT5_Alpha);
    EXPECT_EQ(block_decoder_format_for_hap_codec(6), -1);

    // The block functions report their block sizes.
    Bytes block(16, 0x40), out(16 * 4);
    EXPECT_EQ(decode_dxt1_block(out.data(), 16, block.data()), 8u);
    EXPECT_EQ(decode_rgtc1_red_block(out.data(), 16, block.data()), 8u);
    EXPECT_EQ(decode_rgtc1_alpha_block(out.data(), 16, block.data()), 8u);
    EXPECT_EQ(decode_dxt5_block(out.data(), 16, block.data()), 16u);
    EXPECT_EQ(decode_ycocg_dxt5_block(out.data(), 16, block.data()), 16u);
    EXPECT_EQ(decode_ycocg_dxt5_block_f(out.data(), 16, block.data()), 16u);
    EXPECT_EQ(decode_bc7_block(out.data(), 16, block.data()), 16u);
}

namespace {

// 8-bit value of an n-bit (5 or 6) endpoint channel, as the format widens it: close to
// v * 255 / (2^n - 1) but not always its rounding (5-bit 29 gives 238, not 239).
uint32_t widen(uint32_t v, uint32_t bits) {
    const uint32_t t = v * 255 + (1u << (bits - 1));
    return ((t >> bits) + t) >> bits;
}

uint16_t rgb565(uint32_t r, uint32_t g, uint32_t b) { return uint16_t(r << 11 | g << 5 | b); }

void put_colour_half(uint8_t* block, uint16_t c0, uint16_t c1, uint32_t indices) {
    block[0] = uint8_t(c0);
    block[1] = uint8_t(c0 >> 8);
    block[2] = uint8_t(c1);
    block[3] = uint8_t(c1 >> 8);
    for (int i = 0; i < 4; ++i) block[4 + i] = uint8_t(indices >> (8 * i));
}

// 2-bit index of pixel (x, y) of a colour block: row y in byte y, pixel x at bits 2x.
uint32_t colour_indices(const uint32_t index[16]) {
    uint32_t v = 0;
    for (int i = 0; i < 16; ++i) v |= index[i] << (2 * i);
    return v;
}

void put_alpha_half(uint8_t* block, uint8_t a0, uint8_t a1, const uint32_t index[16]) {
    block[0] = a0;
    block[1] = a1;
    uint64_t v = 0;
    for (int i = 0; i < 16; ++i) v |= uint64_t(index[i]) << (3 * i);
    for (int i = 0; i < 6; ++i) block[2 + i] = uint8_t(v >> (8 * i));
}

struct Rgba {
    uint32_t r, g, b, a;
};

Rgba pixel_at(const Bytes& out, std::ptrdiff_t stride, int i) {
    const uint8_t* p = out.data() + (i / 4) * stride + (i % 4) * 4;
    return {p[0], p[1], p[2], p[3]};
}

#define EXPECT_RGBA(pixel, R, G, B, A)                                                       \
    do {                                                                                     \
        const Rgba p_ = (pixel);                                                             \
        EXPECT_EQ(p_.r, uint32_t(R));                                                        \
        EXPECT_EQ(p_.g, uint32_t(G));                                                        \
        EXPECT_EQ(p_.b, uint32_t(B));                                                        \
        EXPECT_EQ(p_.a, uint32_t(A));                                                        \
    } while (0)

}  // namespace

TEST(BlockDecoderBlocks, ColourBlocksWidenEndpointsAndChooseTheirPalette) {
    const std::ptrdiff_t stride = 24;
    Bytes out(stride * 4);
    uint8_t block[16] = {};
    const uint32_t cycle[16] = {0, 1, 2, 3, 3, 2, 1, 0, 0, 1, 2, 3, 3, 2, 1, 0};

    // Endpoint widening, values worked out by hand from the format's formula.
    const uint32_t fives[][2] = {{0, 0}, {1, 8}, {15, 123}, {16, 132}, {17, 140}, {29, 238}, {31, 255}};
    const uint32_t sixes[][2] = {{0, 0}, {1, 4}, {31, 125}, {32, 130}, {62, 251}, {63, 255}};
    for (const auto& f : fives) {
        EXPECT_EQ(widen(f[0], 5), f[1]);
        for (const auto& s : sixes) {
            put_colour_half(block, rgb565(f[0], s[0], 31 - f[0]), 0, 0);
            decode_dxt1_block(out.data(), stride, block);
            EXPECT_RGBA(pixel_at(out, stride, 5), f[1], s[1], widen(31 - f[0], 5), 255);
        }
    }
    for (const auto& s : sixes) EXPECT_EQ(widen(s[0], 6), s[1]);

    // DXT1, c0 > c1: four colours at thirds.
    const uint32_t r0 = 20, g0 = 50, b0 = 9, r1 = 3, g1 = 7, b1 = 30;
    const uint32_t R0 = widen(r0, 5), G0 = widen(g0, 6), B0 = widen(b0, 5);
    const uint32_t R1 = widen(r1, 5), G1 = widen(g1, 6), B1 = widen(b1, 5);
    put_colour_half(block, rgb565(r0, g0, b0), rgb565(r1, g1, b1), colour_indices(cycle));
    decode_dxt1_block(out.data(), stride, block);
    EXPECT_RGBA(pixel_at(out, stride, 0), R0, G0, B0, 255);
    EXPECT_RGBA(pixel_at(out, stride, 1), R1, G1, B1, 255);
    EXPECT_RGBA(pixel_at(out, stride, 2), (2 * R0 + R1) / 3, (2 * G0 + G1) / 3, (2 * B0 + B1) / 3, 255);
    EXPECT_RGBA(pixel_at(out, stride, 3), (R0 + 2 * R1) / 3, (G0 + 2 * G1) / 3, (B0 + 2 * B1) / 3, 255);
    EXPECT_RGBA(pixel_at(out, stride, 12), (R0 + 2 * R1) / 3, (G0 + 2 * G1) / 3, (B0 + 2 * B1) / 3, 255);

    // DXT1, c0 < c1: three colours, index 3 opaque black.
    put_colour_half(block, rgb565(r1, g1, b1), rgb565(r0, g0, b0), colour_indices(cycle));
    decode_dxt1_block(out.data(), stride, block);
    EXPECT_RGBA(pixel_at(out, stride, 2), (R0 + R1) / 2, (G0 + G1) / 2, (B0 + B1) / 2, 255);
    EXPECT_RGBA(pixel_at(out, stride, 3), 0, 0, 0, 255);
    // c0 == c1 counts as three colours too.
    put_colour_half(block, rgb565(r0, g0, b0), rgb565(r0, g0, b0), colour_indices(cycle));
    decode_dxt1_block(out.data(), stride, block);
    EXPECT_RGBA(pixel_at(out, stride, 2), R0, G0, B0, 255);
    EXPECT_RGBA(pixel_at(out, stride, 3), 0, 0, 0, 255);
    uint32_t palette[4];
    dxt1_color_palette(block, true, palette);
    EXPECT_EQ(palette[3], 0xFF000000u);
    dxt1_color_palette(block, false, palette);
    EXPECT_EQ(palette[3], R0 | G0 << 8 | B0 << 16 | 0xFF000000u);

    // DXT5 always uses four colours, whatever the endpoint order; alpha from its own half.
    const uint32_t alpha_index[16] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
    put_alpha_half(block, 255, 0, alpha_index);
    put_colour_half(block + 8, rgb565(r1, g1, b1), rgb565(r0, g0, b0), colour_indices(cycle));
    decode_dxt5_block(out.data(), stride, block);
    EXPECT_RGBA(pixel_at(out, stride, 2), (2 * R1 + R0) / 3, (2 * G1 + G0) / 3, (2 * B1 + B0) / 3, (6 * 255) / 7);
    EXPECT_RGBA(pixel_at(out, stride, 3), (R1 + 2 * R0) / 3, (G1 + 2 * G0) / 3, (B1 + 2 * B0) / 3, (5 * 255) / 7);
    Bytes body(out.size());
    decode_dxt5_block_body(body.data(), stride, block);
    EXPECT_EQ(body, out);

    // The colour half alone: opaque, and the three-colour choice is the caller's.
    Bytes colour(out.size());
    decode_dxt_color_block(colour.data(), stride, block + 8, true);
    EXPECT_RGBA(pixel_at(colour, stride, 3), 0, 0, 0, 255);
    decode_dxt_color_block(colour.data(), stride, block + 8, false);
    EXPECT_RGBA(pixel_at(colour, stride, 3), (R1 + 2 * R0) / 3, (G1 + 2 * G0) / 3, (B1 + 2 * B0) / 3, 255);
}

TEST(BlockDecoderBlocks, AlphaAndRgtc1Values) {
    const std::ptrdiff_t stride = 16;
    Bytes out(stride * 4);
    uint8_t block[8];
    const uint32_t all_indices[16] = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};

    // a0 <= a1: six values, then 0 and 255.
    put_alpha_half(block, 0, 255, all_indices);
    uint8_t values[8];
    decode_rgtc1_values(block, false, values);
    const uint8_t six[8] = {0, 255, 51, 102, 153, 204, 0, 255};
    EXPECT_EQ(std::memcmp(values, six, 8), 0);
    // a0 > a1: eight values at sevenths, truncated.
    put_alpha_half(block, 200, 10, all_indices);
    decode_rgtc1_values(block, false, values);
    for (uint32_t i = 2; i < 8; ++i) EXPECT_EQ(values[i], ((8 - i) * 200 + (i - 1) * 10) / 7) << i;
    // The signed variant adds 128 to both endpoints first: 0x7F, 0x81 become 255, 1.
    put_alpha_half(block, 0x7F, 0x81, all_indices);
    decode_rgtc1_values(block, true, values);
    EXPECT_EQ(values[0], 255);
    EXPECT_EQ(values[1], 1);
    EXPECT_EQ(values[2], (6 * 255 + 1) / 7);

    // Grey output and pixel order: pixel 4r + x is row r, column x.
    put_alpha_half(block, 0, 255, all_indices);
    decode_rgtc1_red_block(out.data(), stride, block);
    for (int i = 0; i < 16; ++i) {
        const uint32_t v = six[all_indices[i]];
        EXPECT_RGBA(pixel_at(out, stride, i), v, v, v, 255);
    }

    // The alpha plane writes A only.
    std::fill(out.begin(), out.end(), 0x11);
    decode_rgtc1_alpha_block(out.data(), stride, block);
    for (int i = 0; i < 16; ++i) EXPECT_RGBA(pixel_at(out, stride, i), 0x11, 0x11, 0x11, six[all_indices[i]]);

    // The general single-channel form: one byte per 2-byte pixel at offset 1.
    Bytes pairs(8 * 4, 0x22);
    decode_rgtc1_block(pairs.data(), 8, block, false, true, 1, 2);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(pairs[(i / 4) * 8 + (i % 4) * 2], 0x22);
        EXPECT_EQ(pairs[(i / 4) * 8 + (i % 4) * 2 + 1], six[all_indices[i]]);
    }
    Bytes grey(out.size());
    decode_rgtc1_block(grey.data(), stride, block, false, false, 0, 4);
    decode_rgtc1_red_block(out.data(), stride, block);
    EXPECT_EQ(grey, out);
}

TEST(BlockDecoderBlocks, YCoCgNeutralChromaGivesGreyAndTheAlphaPlaneReplacesAlpha) {
    // Co = Cg = 128 needs interpolated endpoints: red 123 and 140 (5-bit 15 and 17) give
    // (2*123+140)/3 = 128; green 130 and 125 (6-bit 32 and 31) give (2*130+125)/3 = 128.
    ASSERT_EQ(widen(15, 5), 123u);
    ASSERT_EQ(widen(17, 5), 140u);
    ASSERT_EQ(widen(32, 6), 130u);
    ASSERT_EQ(widen(31, 6), 125u);
    const uint32_t twos[16] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    const uint32_t zeros[16] = {};
    const std::ptrdiff_t stride = 16;
    for (uint32_t scale : {0u, 9u, 31u}) {
        uint8_t block[16];
        put_alpha_half(block, 200, 200, zeros);
        put_colour_half(block + 8, rgb565(15, 32, scale), rgb565(17, 31, scale), colour_indices(twos));
        for (auto function : {decode_ycocg_dxt5_block, decode_ycocg_dxt5_block_f}) {
            Bytes out(stride * 4);
            function(out.data(), stride, block);
            for (int i = 0; i < 16; ++i) EXPECT_RGBA(pixel_at(out, stride, i), 200, 200, 200, 255);
        }
    }

    // Chroma away from neutral: Co 255, Cg 0, scale byte 255, Y 30.
    // Integer: scale 32, co = 127 / 32 = 3, cg = -128 / 32 = -4 -> (37, 26, 31).
    // Float: s = 32.875, co = 0.0151495, cg = -0.0152688, y = 0.1176471
    //        -> (37.757, 26.106, 30.030) * rounded -> (38, 26, 30).
    uint8_t block[16];
    put_alpha_half(block, 30, 30, zeros);
    put_colour_half(block + 8, rgb565(31, 0, 31), rgb565(31, 0, 31), 0);
    Bytes out(stride * 4);
    decode_ycocg_dxt5_block(out.data(), stride, block);
    EXPECT_RGBA(pixel_at(out, stride, 0), 37, 26, 31, 255);
    decode_ycocg_dxt5_block_f(out.data(), stride, block);
    EXPECT_RGBA(pixel_at(out, stride, 15), 38, 26, 30, 255);

    // Format 5: the colour's alpha 255 gives way to the RGTC1 texture's value.
    put_alpha_half(block, 200, 200, zeros);
    put_colour_half(block + 8, rgb565(15, 32, 3), rgb565(17, 31, 3), colour_indices(twos));
    const uint32_t alpha_index[16] = {0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0};
    uint8_t alpha_block[8];
    put_alpha_half(alpha_block, 7, 250, alpha_index);
    for (uint8_t float_flag : {0, 1}) {
        BlockDecoder decoder;
        ASSERT_EQ(BlockDecoder::init(&decoder, 4, 4, BlockDecoderFormat_YCoCg_DXT5_Alpha, 0, 0, float_flag), 0);
        Bytes picture(stride * 4);
        BlockDecoder::decode(&decoder, block, alpha_block, picture.data(), stride);
        for (int i = 0; i < 16; ++i) EXPECT_RGBA(pixel_at(picture, stride, i), 200, 200, 200, alpha_index[i] ? 250 : 7);
    }
}

// The float variant against a plain model of its formula (single precision, operations in
// the written order), over blocks with every scale: FFmpeg's files only carry scale 0.
TEST(BlockDecoderBlocks, YCoCgFloatVariantFollowsItsFormulaAtEveryScale) {
    uint32_t seed = 99;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const std::ptrdiff_t stride = 16;
    for (int n = 0; n < 4000; ++n) {
        uint8_t block[16];
        for (uint8_t& b : block) b = uint8_t(next());
        Bytes out(stride * 4);
        decode_ycocg_dxt5_block_f(out.data(), stride, block);
        Bytes dxt5(stride * 4);
        decode_dxt5_block(dxt5.data(), stride, block);  // Co, Cg, scale and Y per pixel
        for (int i = 0; i < 16; ++i) {
            const Rgba in = pixel_at(dxt5, stride, i);
            const float inv = 0.003921569f, offset = 0.5019608f;
            const float s = float(in.b) * inv * 31.875f + 1.0f;
            const float co = (float(in.r) * inv - offset) / s;
            const float cg = (float(in.g) * inv - offset) / s;
            const float y = float(in.a) * inv;
            auto byte = [](float v) {
                const float r = std::round(v);  // half away from zero
                return uint32_t(r < 0 ? 0 : r > 255 ? 255 : r);
            };
            const Rgba want{byte((y + co - cg) * 255.0f), byte((y + cg) * 255.0f), byte((y - co - cg) * 255.0f), 255};
            const Rgba got = pixel_at(out, stride, i);
            ASSERT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b && got.a == want.a)
                << "block " << n << " pixel " << i << ": got " << got.r << "," << got.g << "," << got.b
                << " want " << want.r << "," << want.g << "," << want.b;
        }
    }
}
