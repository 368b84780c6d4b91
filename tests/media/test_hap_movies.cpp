// Every frame of the FFmpeg-made movies: the same texture whatever the chunking and
// the compressor, and the same bytes from the serial and the parallel callbacks.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "tests/support/expect_error.h"
#include "tests/support/test_movies.h"

using testsupport::Bytes;

namespace {

struct FormatCase {
    const char* name;         // FFmpeg's -format
    uint32_t texture_format;  // what the decoder must report
    uint32_t codec;
    uint32_t block_bytes;
};

const FormatCase kFormats[] = {
    {"hap", 0x83F0, HapCodec_Hap1, 8},
    {"hap_alpha", 0x83F3, HapCodec_Hap5, 16},
    {"hap_q", 1, HapCodec_HapY, 16},
};

struct SizeCase {
    const char* name;
    uint32_t width, height;
};

const SizeCase kSizes[] = {{"64x48", 64, 48}, {"1920x1080", 1920, 1080}};

Bytes decode_texture(const Bytes& frame, HapDecodeCallback callback, uint32_t capacity, uint32_t* format) {
    Bytes out(capacity);
    uint32_t used = 0;
    const HapResult r = HapDecode(frame.data(), uint32_t(frame.size()), 0, callback, nullptr, out.data(), capacity,
                                  &used, format);
    EXPECT_EQ(r, HapResult_No_Error) << hap_result_to_string(r);
    out.resize(used);
    return out;
}

class HapMovies : public testing::TestWithParam<std::tuple<FormatCase, SizeCase>> {};

}  // namespace

TEST_P(HapMovies, EveryFrameDecodesTheSameWhateverTheChunking) {
    const auto& [format, size] = GetParam();
    const uint32_t texture_bytes = (size.width / 4) * (size.height / 4) * format.block_bytes;
    std::vector<Bytes> reference;  // per frame, from the first variant

    for (const std::string variant : {"c1", "c7", "c64", "none"}) {
        const std::string name = std::string(format.name) + "_" + size.name + "_" + variant;
        const auto packets = testsupport::read_packet_list(name);
        ASSERT_GE(packets.size(), 2u) << name;
        std::FILE* movie = std::fopen(testsupport::fixture_path(name + ".mov").c_str(), "rb");
        ASSERT_NE(movie, nullptr) << name;

        for (size_t i = 0; i < packets.size(); ++i) {
            SCOPED_TRACE(name + " frame " + std::to_string(i));
            HapFrame frame;
            hap_frame_init_from_file(&frame, size.width, size.height, movie, packets[i].offset, packets[i].size);
            const Bytes bytes(frame.data, frame.data + frame.size);
            EXPECT_TRUE(frame.owns_data);
            EXPECT_EQ(frame.codec, format.codec);
            EXPECT_EQ(frame.texture_count, 1);
            hap_frame_free(&frame);
            EXPECT_EQ(frame.data, nullptr);

            uint32_t count = 0;
            ASSERT_EQ(HapGetFrameTextureCount(bytes.data(), uint32_t(bytes.size()), &count), HapResult_No_Error);
            EXPECT_EQ(count, 1u);
            uint32_t chunks = 0;
            ASSERT_EQ(HapGetFrameTextureChunkCount(bytes.data(), uint32_t(bytes.size()), 0, &chunks),
                      HapResult_No_Error);
            // FFmpeg may lower the chunk count it is asked for so that chunks split the
            // texture evenly; never raise it.
            const uint32_t asked = variant == "none" ? 1 : uint32_t(std::stoi(variant.substr(1)));
            EXPECT_LE(chunks, asked);
            EXPECT_EQ(chunks > 1, asked > 1);
            uint32_t reported = 0;
            ASSERT_EQ(HapGetFrameTextureFormat(bytes.data(), uint32_t(bytes.size()), 0, &reported), HapResult_No_Error);
            EXPECT_EQ(reported, format.texture_format);

            uint32_t serial_format = 0, parallel_format = 0;
            const Bytes serial = decode_texture(bytes, hap_decode_callback_serial, texture_bytes, &serial_format);
            const Bytes parallel = decode_texture(bytes, HapDecodeCallback_MultiThread, texture_bytes, &parallel_format);
            EXPECT_EQ(serial.size(), texture_bytes);
            EXPECT_EQ(serial_format, format.texture_format);
            EXPECT_EQ(parallel_format, format.texture_format);
            EXPECT_TRUE(serial == parallel) << "serial and parallel callbacks differ";
            if (reference.size() <= i)
                reference.push_back(serial);
            else
                EXPECT_TRUE(serial == reference[i]) << "texture differs from the 1-chunk movie";

            // One byte too little room: refused, and the destination is untouched.
            Bytes small(texture_bytes - 1, 0x5C);
            uint32_t used = 0, f = 0;
            EXPECT_EQ(HapDecode(bytes.data(), uint32_t(bytes.size()), 0, hap_decode_callback_serial, nullptr,
                                small.data(), texture_bytes - 1, &used, &f),
                      HapResult_Buffer_Too_Small);
            EXPECT_EQ(small, Bytes(texture_bytes - 1, 0x5C));
        }
        std::fclose(movie);
    }
}

INSTANTIATE_TEST_SUITE_P(FfmpegMovies, HapMovies, testing::Combine(testing::ValuesIn(kFormats), testing::ValuesIn(kSizes)),
                         [](const auto& info) {
                             std::string n = std::string(std::get<0>(info.param).name) + "_" +
                                             std::get<1>(info.param).name;
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

namespace {

// Positions inside an FFmpeg chunked frame: where its tables lie.
struct ChunkedLayout {
    size_t top_length_field = 0;  // the 32-bit length of the 8-byte top header
    size_t compressor_table = 0;
    size_t size_table = 0;
    uint32_t chunk_count = 0;
};

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

size_t section_header(const Bytes& b, size_t at, uint32_t* length) {
    const uint32_t l24 = uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16;
    if (l24 != 0) {
        *length = l24;
        return 4;
    }
    *length = le32(b, at + 4);
    return 8;
}

ChunkedLayout find_layout(const Bytes& frame) {
    ChunkedLayout layout;
    uint32_t length = 0;
    EXPECT_EQ(section_header(frame, 0, &length), 8u) << "FFmpeg writes the 8-byte top header";
    layout.top_length_field = 4;
    size_t at = 8;
    const size_t container_header = section_header(frame, at, &length);
    const size_t container_end = at + container_header + length;
    at += container_header;
    while (at < container_end) {
        const size_t h = section_header(frame, at, &length);
        if (frame[at + 3] == 0x02) {
            layout.compressor_table = at + h;
            layout.chunk_count = length;
        }
        if (frame[at + 3] == 0x03) layout.size_table = at + h;
        at += h + length;
    }
    return layout;
}

HapResult decode_patched(const Bytes& frame, uint32_t capacity) {
    Bytes out(capacity);
    uint32_t used = 0, format = 0;
    return HapDecode(frame.data(), uint32_t(frame.size()), 0, HapDecodeCallback_MultiThread, nullptr, out.data(),
                     capacity, &used, &format);
}

}  // namespace

TEST(HapMoviesPatched, DamagedTablesAndLengthsAreBadFrames) {
    const auto packets = testsupport::read_packet_list("hap_q_64x48_c7");
    const Bytes frame = testsupport::read_file_bytes(testsupport::fixture_path("hap_q_64x48_c7.mov"),
                                                     packets[0].offset, packets[0].size);
    const uint32_t capacity = 16 * 12 * 16;
    ASSERT_EQ(decode_patched(frame, capacity), HapResult_No_Error);
    const ChunkedLayout layout = find_layout(frame);
    ASSERT_GE(layout.chunk_count, 2u);
    ASSERT_NE(layout.size_table, 0u);

    Bytes bad_compressor = frame;
    bad_compressor[layout.compressor_table] = 0x0C;
    EXPECT_EQ(decode_patched(bad_compressor, capacity), HapResult_Bad_Frame);

    // The last chunk's size one byte larger: it would end past the frame.
    Bytes bad_size = frame;
    bad_size[layout.size_table + 4 * (layout.chunk_count - 1)] += 1;
    EXPECT_EQ(decode_patched(bad_size, capacity), HapResult_Bad_Frame);

    Bytes bad_length = frame;
    bad_length[layout.top_length_field] += 1;
    EXPECT_EQ(decode_patched(bad_length, capacity), HapResult_Bad_Frame);
    HapFrame parsed;
    EXPECT_RUNTIME_ERROR(hap_frame_init_from_memory(&parsed, 64, 48, bad_length.data(), bad_length.size()),
                         "HapResult_Bad_Frame");
}

TEST(HapMoviesPatched, TruncatedAndBitFlippedFramesNeverFaultTheDecoder) {
    // Each cut and flip must give a result code; ASan watches for stray reads and writes.
    const auto packets = testsupport::read_packet_list("hap_alpha_64x48_c7");
    const Bytes frame = testsupport::read_file_bytes(testsupport::fixture_path("hap_alpha_64x48_c7.mov"),
                                                     packets[0].offset, packets[0].size);
    const uint32_t capacity = 16 * 12 * 16;
    for (size_t cut = 0; cut < frame.size(); cut += 7) {
        Bytes truncated(frame.begin(), frame.begin() + cut);
        truncated.shrink_to_fit();
        EXPECT_NE(decode_patched(truncated, capacity), HapResult_No_Error) << "cut at " << cut;
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 400; ++round) {
        Bytes flipped = frame;
        for (int k = 0; k < 3; ++k) {
            seed = seed * 1103515245u + 12345u;
            // Damage the headers and tables mostly: that is where the structure lives.
            const size_t at = (seed >> 8) % std::min<size_t>(flipped.size(), round % 2 ? flipped.size() : 64);
            flipped[at] ^= static_cast<uint8_t>(1u << ((seed >> 4) & 7));
        }
        (void)decode_patched(flipped, capacity);
    }
}
