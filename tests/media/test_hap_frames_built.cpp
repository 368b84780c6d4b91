// HAP frames built byte by byte: the header forms, containers, tables and damage that
// FFmpeg never writes.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "tests/support/expect_error.h"
#include "tests/support/hap_frame_builder.h"

using testsupport::Bytes;
using testsupport::hap_chunked_payload;
using testsupport::hap_section;
using testsupport::HapChunkSpec;
using testsupport::snappy_compress;
using testsupport::texture_pattern;

namespace {

struct Decoded {
    HapResult result;
    Bytes bytes;
    uint32_t format = 0;
};

Decoded decode(const Bytes& frame, uint32_t texture, uint32_t capacity, HapDecodeCallback callback = hap_decode_callback_serial) {
    Decoded d;
    d.bytes.assign(capacity, 0xEE);
    uint32_t used = 0xDEADBEEF;
    d.result = HapDecode(frame.data(), static_cast<uint32_t>(frame.size()), texture, callback, nullptr,
                         d.bytes.data(), capacity, &used, &d.format);
    if (d.result == HapResult_No_Error) d.bytes.resize(used);
    return d;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void expect_parse_error(const Bytes& frame, const char* text) {
    HapFrame f;
    EXPECT_RUNTIME_ERROR(hap_frame_init_from_memory(&f, 4, 4, frame.data(), frame.size()), text);
}

}  // namespace

TEST(HapBuiltFrames, FourAndEightByteHeadersBothDecode) {
    const Bytes texture = texture_pattern(64, 1);
    for (bool extended : {false, true}) {
        const Bytes frame = hap_section(0xAB, texture, extended);
        EXPECT_EQ(frame.size(), texture.size() + (extended ? 8 : 4));
        Decoded d = decode(frame, 0, 64);
        ASSERT_EQ(d.result, HapResult_No_Error);
        EXPECT_EQ(d.bytes, texture);
        EXPECT_EQ(d.format, uint32_t(HapTextureFormat_RGB_DXT1));
    }
}

TEST(HapBuiltFrames, MalformedHeadersAreBadFrames) {
    Bytes seven = {0, 0, 0, 0xAB, 1, 0, 0};  // extended form with only 7 bytes
    EXPECT_EQ(decode(seven, 0, 16).result, HapResult_Bad_Frame);
    Bytes three = {1, 0, 0};
    EXPECT_EQ(decode(three, 0, 16).result, HapResult_Bad_Frame);
    Bytes overlong = hap_section(0xAB, texture_pattern(16, 2));
    overlong[0] += 1;  // payload claims one byte more than the frame has
    EXPECT_EQ(decode(overlong, 0, 64).result, HapResult_Bad_Frame);
    uint32_t count = 0;
    EXPECT_EQ(HapGetFrameTextureCount(overlong.data(), uint32_t(overlong.size()), &count), HapResult_Bad_Frame);
    expect_parse_error(overlong, "HapResult_Bad_Frame");
}

TEST(HapBuiltFrames, TextureFormatNibbles) {
    EXPECT_EQ(hap_texture_format_for_identifier(0xB), 0x83F0u);
    EXPECT_EQ(hap_texture_format_for_identifier(0xE), 0x83F3u);
    EXPECT_EQ(hap_texture_format_for_identifier(0xF), 1u);
    EXPECT_EQ(hap_texture_format_for_identifier(0x1), 0x8DBBu);
    EXPECT_EQ(hap_texture_format_for_identifier(0xC), 0x8E8Cu);
    EXPECT_EQ(hap_texture_format_for_identifier(0x5), 0u);
    const Bytes unknown = hap_section(0xA5, texture_pattern(8, 3));
    Decoded d = decode(unknown, 0, 8);
    EXPECT_EQ(d.result, HapResult_Bad_Frame);
    EXPECT_EQ(d.format, 0u);
    EXPECT_EQ(d.bytes[0], 0xEE);  // nothing decoded
    expect_parse_error(unknown, "HapResult_Bad_Frame");
    const Bytes unknown_compressor = hap_section(0xDB, texture_pattern(8, 3));
    EXPECT_EQ(decode(unknown_compressor, 0, 8).result, HapResult_Bad_Frame);
}

TEST(HapBuiltFrames, BadArguments) {
    const Bytes frame = hap_section(0xAB, texture_pattern(8, 4));
    uint8_t out[8];
    uint32_t format = 0;
    EXPECT_EQ(HapDecode(nullptr, 12, 0, hap_decode_callback_serial, nullptr, out, 8, nullptr, &format),
              HapResult_Bad_Arguments);
    EXPECT_EQ(HapDecode(frame.data(), 12, 2, hap_decode_callback_serial, nullptr, out, 8, nullptr, &format),
              HapResult_Bad_Arguments);
    EXPECT_EQ(HapDecode(frame.data(), 12, 0, nullptr, nullptr, out, 8, nullptr, &format), HapResult_Bad_Arguments);
    EXPECT_EQ(HapDecode(frame.data(), 12, 0, hap_decode_callback_serial, nullptr, nullptr, 8, nullptr, &format),
              HapResult_Bad_Arguments);
    EXPECT_EQ(HapDecode(frame.data(), 12, 0, hap_decode_callback_serial, nullptr, out, 8, nullptr, nullptr),
              HapResult_Bad_Arguments);
    // Texture 1 of a one-texture frame: no such texture, not a bad frame.
    EXPECT_EQ(decode(frame, 1, 8).result, HapResult_Bad_Arguments);
    uint32_t chunks = 99;
    EXPECT_EQ(HapGetFrameTextureChunkCount(frame.data(), 12, 1, &chunks), HapResult_Bad_Arguments);
    EXPECT_EQ(chunks, 0u);
    const void* payload = &frame;
    uint32_t length = 5, type = 5;
    EXPECT_EQ(hap_get_section_at_index(frame.data(), 12, 1, &payload, &length, &type), HapResult_Bad_Arguments);
    EXPECT_EQ(payload, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(type, 0u);
}

TEST(HapBuiltFrames, SnappyBlockAndTheDocumentedAsymmetry) {
    const Bytes raw = texture_pattern(4096, 5);
    const Bytes frame = hap_section(0xBE, snappy_compress(raw));
    Decoded d = decode(frame, 0, 4096);
    ASSERT_EQ(d.result, HapResult_No_Error);
    EXPECT_EQ(d.bytes, raw);
    EXPECT_EQ(decode(frame, 0, 4095).result, HapResult_Buffer_Too_Small);

    // A damaged snappy stream (its length prefix intact) is an internal error for a
    // single block...
    Bytes damaged = frame;
    for (size_t i = 10; i < damaged.size(); i += 3) damaged[i] = 0xFF;
    EXPECT_EQ(decode(damaged, 0, 4096).result, HapResult_Internal_Error);
    // ...but a bad frame inside a chunk.
    Bytes chunk_payload = hap_chunked_payload({{0x0B, Bytes(damaged.begin() + 4, damaged.end())}});
    EXPECT_EQ(decode(hap_section(0xCE, chunk_payload), 0, 4096).result, HapResult_Bad_Frame);
}

TEST(HapBuiltFrames, ChunkedWithOffsetTableOutOfOrder) {
    std::vector<Bytes> raw;
    std::vector<HapChunkSpec> chunks;
    for (uint32_t i = 0; i < 5; ++i) {
        raw.push_back(texture_pattern(512 + 16 * i, 10 + i));
        chunks.push_back(i % 2 ? HapChunkSpec{0x0A, raw.back()} : HapChunkSpec{0x0B, snappy_compress(raw.back())});
    }
    const Bytes expected = concat({raw[0], raw[1], raw[2], raw[3], raw[4]});
    const Bytes frame = hap_section(0xCF, hap_chunked_payload(chunks, true, {3, 0, 4, 2, 1}));
    uint32_t count = 0;
    ASSERT_EQ(HapGetFrameTextureChunkCount(frame.data(), uint32_t(frame.size()), 0, &count), HapResult_No_Error);
    EXPECT_EQ(count, 5u);
    for (HapDecodeCallback cb : {hap_decode_callback_serial, HapDecodeCallback_MultiThread}) {
        Decoded d = decode(frame, 0, uint32_t(expected.size()), cb);
        ASSERT_EQ(d.result, HapResult_No_Error);
        EXPECT_EQ(d.bytes, expected);
        EXPECT_EQ(d.format, 1u);
    }
    // One byte short is refused before any chunk is written.
    Decoded shortd = decode(frame, 0, uint32_t(expected.size() - 1));
    EXPECT_EQ(shortd.result, HapResult_Buffer_Too_Small);
    EXPECT_EQ(shortd.bytes, Bytes(expected.size() - 1, 0xEE));
}

TEST(HapBuiltFrames, TableDisagreementsAreBadFrames) {
    const Bytes a = texture_pattern(64, 20), b = texture_pattern(64, 21);
    {   // an offset table of one entry beside two chunks
        Bytes instructions = concat({hap_section(0x02, {0x0A, 0x0A}), hap_section(0x03, {64, 0, 0, 0, 64, 0, 0, 0}),
                               hap_section(0x04, {0, 0, 0, 0})});
        Bytes bad = concat({hap_section(0x01, instructions), a, b});
        EXPECT_EQ(decode(hap_section(0xCB, bad), 0, 128).result, HapResult_Bad_Frame);
        uint32_t count = 7;
        const Bytes f = hap_section(0xCB, bad);
        EXPECT_EQ(HapGetFrameTextureChunkCount(f.data(), uint32_t(f.size()), 0, &count), HapResult_Bad_Frame);
    }
    {   // size table missing
        Bytes bad = concat({hap_section(0x01, hap_section(0x02, {0x0A})), a});
        EXPECT_EQ(decode(hap_section(0xCB, bad), 0, 128).result, HapResult_Bad_Frame);
    }
    {   // a sub-section running past the container
        Bytes instructions = concat({hap_section(0x02, {0x0A}), hap_section(0x03, {64, 0, 0, 0})});
        Bytes container = hap_section(0x01, instructions);
        container[0] -= 2;  // the container now ends inside the size table
        EXPECT_EQ(decode(hap_section(0xCB, concat({container, a})), 0, 128).result, HapResult_Bad_Frame);
    }
    {   // container of the wrong type, and an empty one
        Bytes wrong = concat({hap_section(0x05, hap_section(0x02, {0x0A})), a});
        EXPECT_EQ(decode(hap_section(0xCB, wrong), 0, 128).result, HapResult_Bad_Frame);
        Bytes empty = concat({hap_section(0x01, {}), a});
        EXPECT_EQ(decode(hap_section(0xCB, empty), 0, 128).result, HapResult_Bad_Frame);
    }
    {   // compressor table entries, but an empty size table
        Bytes bad = concat({hap_section(0x01, concat({hap_section(0x02, {0x0A}), hap_section(0x03, {})})), a});
        EXPECT_EQ(decode(hap_section(0xCB, bad), 0, 128).result, HapResult_Bad_Frame);
    }
    {   // an unknown chunk compressor
        Bytes bad = hap_chunked_payload({{0x0C, a}});
        EXPECT_EQ(decode(hap_section(0xCB, bad), 0, 128).result, HapResult_Bad_Frame);
    }
    {   // unknown sub-sections are skipped
        Bytes instructions = concat({hap_section(0x02, {0x0A}), hap_section(0x7F, {1, 2, 3}),
                                     hap_section(0x03, {64, 0, 0, 0})});
        Bytes ok = concat({hap_section(0x01, instructions), a});
        Decoded d = decode(hap_section(0xCB, ok), 0, 64);
        ASSERT_EQ(d.result, HapResult_No_Error);
        EXPECT_EQ(d.bytes, a);
    }
}

TEST(HapBuiltFrames, EmptyTablesDecodeToNothing) {
    Bytes instructions = concat({hap_section(0x02, {}), hap_section(0x03, {}), hap_section(0x04, {})});
    const Bytes frame = hap_section(0xCB, hap_section(0x01, instructions));
    Decoded d = decode(frame, 0, 16);
    ASSERT_EQ(d.result, HapResult_No_Error);
    EXPECT_TRUE(d.bytes.empty());
    uint32_t count = 9;
    EXPECT_EQ(HapGetFrameTextureChunkCount(frame.data(), uint32_t(frame.size()), 0, &count), HapResult_No_Error);
    EXPECT_EQ(count, 0u);
}

TEST(HapBuiltFrames, ChunksOutsideTheTextureAreNeverRead) {
    const Bytes a = texture_pattern(64, 30), b = texture_pattern(64, 31);
    auto frame_with = [&](const Bytes& sizes, const Bytes* offsets) {
        Bytes instructions = concat({hap_section(0x02, {0x0A, 0x0A}), hap_section(0x03, sizes)});
        if (offsets) instructions = concat({instructions, hap_section(0x04, *offsets)});
        return hap_section(0xCB, concat({hap_section(0x01, instructions), a, b}));
    };
    // Last size one byte too large: reaches past the section.
    EXPECT_EQ(decode(frame_with({64, 0, 0, 0, 65, 0, 0, 0}, nullptr), 0, 256).result, HapResult_Bad_Frame);
    // Sizes whose 32-bit sum wraps around.
    EXPECT_EQ(decode(frame_with({0xFF, 0xFF, 0xFF, 0xFF, 64, 0, 0, 0}, nullptr), 0, 256).result, HapResult_Bad_Frame);
    // An offset beyond the data, and an offset + size just past it.
    const Bytes far = {0, 0, 0, 0, 0, 1, 0, 0};
    EXPECT_EQ(decode(frame_with({64, 0, 0, 0, 64, 0, 0, 0}, &far), 0, 256).result, HapResult_Bad_Frame);
    const Bytes edge = {0, 0, 0, 0, 65, 0, 0, 0};
    EXPECT_EQ(decode(frame_with({64, 0, 0, 0, 64, 0, 0, 0}, &edge), 0, 256).result, HapResult_Bad_Frame);
    const Bytes huge = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(decode(frame_with({64, 0, 0, 0, 64, 0, 0, 0}, &huge), 0, 256).result, HapResult_Bad_Frame);
    // Both chunks may point at the same bytes: inside the texture, so allowed.
    const Bytes same = {0, 0, 0, 0, 0, 0, 0, 0};
    Decoded d = decode(frame_with({64, 0, 0, 0, 64, 0, 0, 0}, &same), 0, 128);
    ASSERT_EQ(d.result, HapResult_No_Error);
    EXPECT_EQ(d.bytes, concat({a, a}));
}

TEST(HapBuiltFrames, TwoTextureFramesParseAsHapM) {
    const Bytes color = texture_pattern(16 * 4, 40), alpha = texture_pattern(8 * 4, 41);
    const Bytes color_chunks = hap_chunked_payload({{0x0B, snappy_compress(color)}, {0x0A, Bytes(color)}});
    const Bytes frame = hap_section(0x0D, concat({hap_section(0xCF, color_chunks), hap_section(0xA1, alpha)}));
    HapFrame f;
    hap_frame_init_from_memory(&f, 8, 8, frame.data(), frame.size());
    EXPECT_EQ(f.codec, uint32_t(HapCodec_HapM));
    EXPECT_EQ(f.texture_count, 2);
    EXPECT_EQ(f.chunk_counts[0], 2u);
    EXPECT_EQ(f.chunk_counts[1], 1u);
    EXPECT_FALSE(f.owns_data);
    hap_frame_free(&f);

    Decoded t0 = decode(frame, 0, 128);
    ASSERT_EQ(t0.result, HapResult_No_Error);
    EXPECT_EQ(t0.bytes, concat({color, color}));
    Decoded t1 = decode(frame, 1, 32);
    ASSERT_EQ(t1.result, HapResult_No_Error);
    EXPECT_EQ(t1.bytes, alpha);
    EXPECT_EQ(t1.format, 0x8DBBu);

    expect_parse_error(hap_section(0x0D, concat({hap_section(0xAE, color), hap_section(0xA1, alpha)})),
                       "First tex (of two) not YcoCg DXT5");
    expect_parse_error(hap_section(0x0D, concat({hap_section(0xAF, color), hap_section(0xAB, alpha)})),
                       "Second tex (of two) not RGTC1");
    expect_parse_error(hap_section(0x0D, concat({hap_section(0xAF, color), hap_section(0xA1, alpha),
                                                 hap_section(0xA1, alpha)})),
                       "Invalid texture count");
    // An empty container has no texture 0: its chunk count is asked for first.
    expect_parse_error(hap_section(0x0D, {}), "HapResult_Bad_Arguments");
}

TEST(HapBuiltFrames, MultipleTextureContainerWalk) {
    const Bytes a = texture_pattern(8, 50), b = texture_pattern(8, 51);
    Bytes frame = hap_section(0x0D, concat({hap_section(0xAF, a), hap_section(0xA1, b, true)}));
    uint32_t count = 0;
    ASSERT_EQ(HapGetFrameTextureCount(frame.data(), uint32_t(frame.size()), &count), HapResult_No_Error);
    EXPECT_EQ(count, 2u);
    const void* payload;
    uint32_t length, type;
    ASSERT_EQ(hap_get_section_at_index(frame.data(), uint32_t(frame.size()), 1, &payload, &length, &type),
              HapResult_No_Error);
    EXPECT_EQ(type, 0xA1u);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(std::memcmp(payload, b.data(), 8), 0);
    EXPECT_EQ(hap_get_section_at_index(frame.data(), uint32_t(frame.size()), 2, &payload, &length, &type),
              HapResult_Bad_Arguments);

    // The second texture claims more than the container holds.
    Bytes overrun = hap_section(0x0D, concat({hap_section(0xAF, a), hap_section(0xA1, b)}));
    overrun[overrun.size() - 12] = 9;
    EXPECT_EQ(hap_get_section_at_index(overrun.data(), uint32_t(overrun.size()), 1, &payload, &length, &type),
              HapResult_Bad_Frame);
    EXPECT_EQ(HapGetFrameTextureCount(overrun.data(), uint32_t(overrun.size()), &count), HapResult_Bad_Frame);
    // Fewer than 4 bytes left in the container after the first texture.
    Bytes tail = hap_section(0x0D, concat({hap_section(0xAF, a), Bytes{1, 2}}));
    EXPECT_EQ(hap_get_section_at_index(tail.data(), uint32_t(tail.size()), 1, &payload, &length, &type),
              HapResult_Bad_Frame);
}

TEST(HapBuiltFrames, SingleTextureCodecs) {
    const struct { uint8_t type; uint32_t codec; } cases[] = {
        {0xAB, HapCodec_Hap1}, {0xAE, HapCodec_Hap5}, {0xAF, HapCodec_HapY}, {0xA1, HapCodec_HapA}, {0xAC, HapCodec_Hap7}};
    for (const auto& c : cases) {
        const Bytes frame = hap_section(c.type, texture_pattern(16, c.type));
        HapFrame f;
        hap_frame_init_from_memory(&f, 4, 4, frame.data(), frame.size());
        EXPECT_EQ(f.codec, c.codec);
        EXPECT_EQ(f.texture_count, 1);
        EXPECT_EQ(f.chunk_counts[0], 1u);
    }
}

TEST(HapBuiltFrames, ResultTexts) {
    EXPECT_STREQ(hap_result_to_string(0), "HapResult_No_Error");
    EXPECT_STREQ(hap_result_to_string(1), "HapResult_Bad_Arguments");
    EXPECT_STREQ(hap_result_to_string(2), "HapResult_Buffer_Too_Small");
    EXPECT_STREQ(hap_result_to_string(3), "HapResult_Bad_Frame");
    EXPECT_STREQ(hap_result_to_string(4), "HapResult_Internal_Error");
    EXPECT_STREQ(hap_result_to_string(7), "HapResult : Error unknown");
}
