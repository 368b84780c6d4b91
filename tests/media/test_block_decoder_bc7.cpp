// BC7 blocks built bit by bit from the format's field layout, with the pixels each must
// give: every mode, partitions with anchors away from pixel 15, p-bits, rotations and
// the index selection of mode 4.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "media/block_decoders.h"

namespace {

using Block = std::array<uint8_t, 16>;
using Pixel = std::array<uint32_t, 4>;

// Writes fields least significant bit first across the 128 bits.
struct BitWriter {
    Block bytes{};
    uint32_t position = 0;
    void put(uint32_t value, uint32_t bits) {
        for (uint32_t i = 0; i < bits; ++i, ++position)
            if (value >> i & 1) bytes[position / 8] |= uint8_t(1u << (position % 8));
    }
    void mode(uint32_t m) { put(1u << m, m + 1); }  // m zero bits, then a one
};

const uint32_t kW2[4] = {0, 21, 43, 64};
const uint32_t kW3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
const uint32_t kW4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

const uint32_t* weights(uint32_t bits) { return bits == 2 ? kW2 : bits == 3 ? kW3 : kW4; }

// An endpoint of `precision` bits widened to 8 by repeating its top bits.
uint32_t widen(uint32_t v, uint32_t precision) {
    return precision == 8 ? v : (v << (8 - precision)) | (v >> (2 * precision - 8));
}

uint32_t mix(uint32_t e0, uint32_t e1, uint32_t w) { return ((64 - w) * e0 + w * e1 + 32) >> 6; }

std::array<Pixel, 16> decode(const Block& block) {
    std::vector<uint8_t> out(20 * 4, 0x5A);  // stride 20: 4 bytes of slack per row
    EXPECT_EQ(decode_bc7_block(out.data(), 20, block.data()), 16u);
    std::array<Pixel, 16> pixels;
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 4; ++c) pixels[i][c] = out[(i / 4) * 20 + (i % 4) * 4 + c];
    for (int r = 0; r < 3; ++r)
        for (int k = 16; k < 20; ++k) EXPECT_EQ(out[r * 20 + k], 0x5A) << "row slack written";
    return pixels;
}

// A mode with subsets from a partition: the layout of modes 0, 1, 2, 3 and 7.
struct PartitionedMode {
    uint32_t mode, partition_bits, subsets, colour_bits, alpha_bits, index_bits;
    enum { NoPbit, PbitPerEndpoint, PbitPerSubset } pbits;
};

struct PartitionedBlock {
    uint32_t partition;
    std::array<uint8_t, 16> subset_of;  // from the format's partition table
    std::vector<uint32_t> anchors;       // from the format's anchor tables (pixel 0 included)
    uint32_t endpoint[6][4];             // stored values: subset s has endpoints 2s and 2s+1
    uint32_t pbit[6];                    // per endpoint (for shared p-bits: equal within a subset)
    uint32_t index[16];
};

Block encode(const PartitionedMode& m, const PartitionedBlock& b) {
    BitWriter w;
    w.mode(m.mode);
    w.put(b.partition, m.partition_bits);
    const uint32_t channels = m.alpha_bits ? 4 : 3;
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t e = 0; e < 2 * m.subsets; ++e) w.put(b.endpoint[e][c], c == 3 ? m.alpha_bits : m.colour_bits);
    if (m.pbits == PartitionedMode::PbitPerEndpoint)
        for (uint32_t e = 0; e < 2 * m.subsets; ++e) w.put(b.pbit[e], 1);
    if (m.pbits == PartitionedMode::PbitPerSubset)
        for (uint32_t s = 0; s < m.subsets; ++s) w.put(b.pbit[2 * s], 1);
    for (uint32_t i = 0; i < 16; ++i) {
        bool anchor = false;
        for (uint32_t a : b.anchors) anchor = anchor || a == i;
        w.put(b.index[i], anchor ? m.index_bits - 1 : m.index_bits);
    }
    EXPECT_EQ(w.position, 128u) << "mode " << m.mode;
    return w.bytes;
}

std::array<Pixel, 16> expected(const PartitionedMode& m, const PartitionedBlock& b) {
    std::array<Pixel, 16> pixels;
    const bool has_pbit = m.pbits != PartitionedMode::NoPbit;
    auto value = [&](uint32_t e, uint32_t c) {
        if (c == 3 && !m.alpha_bits) return 255u;
        const uint32_t bits = c == 3 ? m.alpha_bits : m.colour_bits;
        return has_pbit ? widen(b.endpoint[e][c] << 1 | b.pbit[e], bits + 1) : widen(b.endpoint[e][c], bits);
    };
    for (int i = 0; i < 16; ++i)
        for (uint32_t c = 0; c < 4; ++c)
            pixels[i][c] = mix(value(2 * b.subset_of[i], c), value(2 * b.subset_of[i] + 1, c),
                               weights(m.index_bits)[b.index[i]]);
    return pixels;
}

// Fills endpoints and indices with values that differ per subset, channel and pixel,
// keeping each anchor's index below half the range (its top bit is not stored).
void fill(const PartitionedMode& m, PartitionedBlock& b, uint32_t seed) {
    for (uint32_t e = 0; e < 6; ++e) {
        for (uint32_t c = 0; c < 4; ++c) {
            const uint32_t bits = c == 3 ? m.alpha_bits : m.colour_bits;
            b.endpoint[e][c] = bits ? (seed * 7 + e * 13 + c * 29 + e * c) % (1u << bits) : 0;
        }
        b.pbit[e] = (seed + e) & 1;
    }
    if (m.pbits == PartitionedMode::PbitPerSubset)
        for (uint32_t s = 0; s < 3; ++s) b.pbit[2 * s + 1] = b.pbit[2 * s];
    for (uint32_t i = 0; i < 16; ++i) {
        b.index[i] = (i * 5 + seed) % (1u << m.index_bits);
        for (uint32_t a : b.anchors)
            if (a == i) b.index[i] = (i + seed) % (1u << (m.index_bits - 1));
    }
}

std::array<uint8_t, 16> two_subsets(uint16_t mask) {
    std::array<uint8_t, 16> s{};
    for (int i = 0; i < 16; ++i) s[i] = mask >> i & 1;
    return s;
}

}  // namespace

TEST(Bc7Blocks, KnownBlocksAndTheModelessBlock) {
    // Mode 6, every endpoint 127 with p-bit 1 (255), indices 0: opaque white.
    const Block white = {0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0};
    for (const Pixel& p : decode(white)) EXPECT_EQ(p, (Pixel{255, 255, 255, 255}));

    // No mode bit in byte 0: transparent black whatever follows.
    Block modeless;
    for (int i = 0; i < 16; ++i) modeless[i] = uint8_t(i == 0 ? 0 : 0x93 + i * 11);
    for (const Pixel& p : decode(modeless)) EXPECT_EQ(p, (Pixel{0, 0, 0, 0}));
    uint32_t words[16];
    unpack_bc7(modeless.data(), words);
    for (uint32_t w : words) EXPECT_EQ(w, 0u);

    // Mode 3, partition 0 (columns 2 and 3 form subset 1), solid colours per subset:
    // subset 0 red (127,0,0) with p-bit 1 -> (255,1,1); subset 1 blue (0,0,127) with p-bit 0 -> (0,0,254).
    BitWriter w;
    w.mode(3);
    w.put(0, 6);
    const uint32_t r[4] = {127, 127, 0, 0}, g[4] = {0, 0, 0, 0}, b[4] = {0, 0, 127, 127};
    for (const uint32_t* channel : {r, g, b})
        for (int e = 0; e < 4; ++e) w.put(channel[e], 7);
    for (uint32_t p : {1, 1, 0, 0}) w.put(p, 1);
    w.put(0, 30);
    ASSERT_EQ(w.position, 128u);
    const auto pixels = decode(w.bytes);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(pixels[i], (i % 4 < 2 ? Pixel{255, 1, 1, 255} : Pixel{0, 0, 254, 255})) << i;
}

TEST(Bc7Blocks, PartitionedModesWithTheirAnchorsAndPbits) {
    const PartitionedMode mode0{0, 4, 3, 4, 0, 3, PartitionedMode::PbitPerEndpoint};
    const PartitionedMode mode1{1, 6, 2, 6, 0, 3, PartitionedMode::PbitPerSubset};
    const PartitionedMode mode2{2, 6, 3, 5, 0, 2, PartitionedMode::NoPbit};
    const PartitionedMode mode3{3, 6, 2, 7, 0, 2, PartitionedMode::PbitPerEndpoint};
    const PartitionedMode mode7{7, 6, 2, 5, 5, 2, PartitionedMode::PbitPerEndpoint};

    struct Case {
        const PartitionedMode* mode;
        uint32_t partition;
        std::array<uint8_t, 16> subset_of;
        std::vector<uint32_t> anchors;
    };
    const Case cases[] = {
        // Three subsets: rows 0-1, row 2, row 3; anchors 8 and 15.
        {&mode0, 8, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}, {0, 8, 15}},
        // Three subsets by column (0 0 1 2); anchors 6 and 15.
        {&mode2, 11, {0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2}, {0, 6, 15}},
        // Three subsets by column (0 1 2 0); anchors 5 and 10.
        {&mode2, 35, {0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0}, {0, 5, 10}},
        // Two subsets: bottom half; anchor 15.
        {&mode1, 13, two_subsets(0xFF00), {0, 15}},
        // Two subsets: the right half; anchor 15.
        {&mode3, 0, two_subsets(0xCCCC), {0, 15}},
        // Two subsets: pixels 1, 2, 3 and 7; anchor 2.
        {&mode7, 17, two_subsets(0x008E), {0, 2}},
        // Two subsets: a checkerboard of 2x2 squares (0 0 1 1 / 0 0 1 1 / 1 1 0 0 / 1 1 0 0); anchor 8.
        {&mode7, 35, two_subsets(0x33CC), {0, 8}},
        // Two subsets: the diagonal band of 0x17E8; anchor 8.
        {&mode1, 28, two_subsets(0x17E8), {0, 8}},
    };
    for (const Case& c : cases) {
        for (uint32_t seed : {1u, 6u, 11u}) {
            SCOPED_TRACE("mode " + std::to_string(c.mode->mode) + " partition " + std::to_string(c.partition) +
                         " seed " + std::to_string(seed));
            PartitionedBlock block{c.partition, c.subset_of, c.anchors, {}, {}, {}};
            fill(*c.mode, block, seed);
            const auto want = expected(*c.mode, block);
            const auto got = decode(encode(*c.mode, block));
            for (int i = 0; i < 16; ++i) EXPECT_EQ(got[i], want[i]) << "pixel " << i;
        }
    }
}

TEST(Bc7Blocks, SingleSubsetModesWithRotationAndIndexSelection) {
    // Mode 6: 7-bit RGBA endpoints with a p-bit each, 4-bit indices (pixel 0 stores 3 bits).
    {
        const uint32_t e0[4] = {10, 100, 60, 127}, e1[4] = {120, 5, 64, 0};
        BitWriter w;
        w.mode(6);
        for (int c = 0; c < 4; ++c) {
            w.put(e0[c], 7);
            w.put(e1[c], 7);
        }
        w.put(0, 1);
        w.put(1, 1);
        for (uint32_t i = 0; i < 16; ++i) w.put(i == 0 ? 5 : 15 - i, i == 0 ? 3 : 4);
        ASSERT_EQ(w.position, 128u);
        const auto got = decode(w.bytes);
        for (uint32_t i = 0; i < 16; ++i) {
            const uint32_t weight = kW4[i == 0 ? 5 : 15 - i];
            for (int c = 0; c < 4; ++c) EXPECT_EQ(got[i][c], mix(e0[c] << 1, e1[c] << 1 | 1, weight)) << i << "," << c;
        }
    }

    // Modes 4 and 5: separate colour and alpha indices; the rotation swaps alpha with
    // red (1), green (2) or blue (3) after interpolation; mode 4's selection bit gives the
    // 3-bit indices to colour instead of alpha.
    struct Single {
        uint32_t mode, colour_bits, alpha_bits, index_bits, secondary_bits;
    };
    for (const Single& m : {Single{4, 5, 6, 2, 3}, Single{5, 7, 8, 2, 2}}) {
        for (uint32_t rotation = 0; rotation < 4; ++rotation) {
            for (uint32_t selection = 0; selection < (m.mode == 4 ? 2u : 1u); ++selection) {
                SCOPED_TRACE("mode " + std::to_string(m.mode) + " rotation " + std::to_string(rotation) +
                             " selection " + std::to_string(selection));
                uint32_t e[2][4];
                for (int k = 0; k < 2; ++k)
                    for (int c = 0; c < 4; ++c)
                        e[k][c] = (k * 19 + c * 7 + rotation * 3 + 2) % (1u << (c == 3 ? m.alpha_bits : m.colour_bits));
                uint32_t primary[16], secondary[16];
                for (uint32_t i = 0; i < 16; ++i) {
                    primary[i] = i == 0 ? 1 : (i * 3 + rotation) % (1u << m.index_bits);
                    secondary[i] = i == 0 ? (1u << (m.secondary_bits - 1)) - 1 : (i * 5 + 1) % (1u << m.secondary_bits);
                }
                BitWriter w;
                w.mode(m.mode);
                w.put(rotation, 2);
                if (m.mode == 4) w.put(selection, 1);
                for (int c = 0; c < 4; ++c)
                    for (int k = 0; k < 2; ++k) w.put(e[k][c], c == 3 ? m.alpha_bits : m.colour_bits);
                for (uint32_t i = 0; i < 16; ++i) w.put(primary[i], i == 0 ? m.index_bits - 1 : m.index_bits);
                for (uint32_t i = 0; i < 16; ++i) w.put(secondary[i], i == 0 ? m.secondary_bits - 1 : m.secondary_bits);
                ASSERT_EQ(w.position, 128u);

                const auto got = decode(w.bytes);
                for (uint32_t i = 0; i < 16; ++i) {
                    const uint32_t colour_weight =
                        selection ? weights(m.secondary_bits)[secondary[i]] : weights(m.index_bits)[primary[i]];
                    const uint32_t alpha_weight =
                        selection ? weights(m.index_bits)[primary[i]] : weights(m.secondary_bits)[secondary[i]];
                    Pixel want;
                    for (int c = 0; c < 3; ++c)
                        want[c] = mix(widen(e[0][c], m.colour_bits), widen(e[1][c], m.colour_bits), colour_weight);
                    want[3] = mix(widen(e[0][3], m.alpha_bits), widen(e[1][3], m.alpha_bits), alpha_weight);
                    if (rotation) std::swap(want[rotation - 1], want[3]);
                    EXPECT_EQ(got[i], want) << "pixel " << i;
                }
            }
        }
    }
}

TEST(Bc7Blocks, PictureWalkOfBc7) {
    // Two blocks side by side in a 6x2 picture: each lands at its 16-byte column.
    const Block white = {0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> texture(32, 0);  // the second block has no mode
    std::memcpy(texture.data(), white.data(), 16);
    BlockDecoder decoder;
    ASSERT_EQ(BlockDecoder::init(&decoder, 6, 2, BlockDecoderFormat_BC7, 0, 0, 0), 0);
    std::vector<uint8_t> out(32 * 4, 0x77);
    BlockDecoder::decode(&decoder, texture.data(), nullptr, out.data(), 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 32; ++x) EXPECT_EQ(out[y * 32 + x], x < 16 ? 255 : 0) << x << "," << y;
}
