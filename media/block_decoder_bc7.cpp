// BC7 (BPTC unsigned normalised) blocks to RGBA8. A block holds 1 to 3 subsets of
// pixels, each with two endpoints; its mode (the lowest set bit of byte 0) fixes the
// field widths. Fields are read least significant bit first across the 128 bits.
#include <cstring>

#include "media/block_decoders.h"

namespace {

struct Bc7Bits {
    uint64_t low;
    uint64_t high;
    uint32_t position;

    explicit Bc7Bits(const uint8_t* block) : position(0) {
        std::memcpy(&low, block, 8);
        std::memcpy(&high, block + 8, 8);
    }

    // Reads up to 8 bits.
    uint32_t read(uint32_t count) {
        uint64_t v;
        if (position >= 64)
            v = high >> (position - 64);
        else if (position + count <= 64)
            v = low >> position;
        else
            v = (low >> position) | (high << (64 - position));
        position += count;
        return uint32_t(v) & ((1u << count) - 1);
    }
};

struct Bc7Mode {
    uint8_t subsets;
    uint8_t partition_bits;
    uint8_t rotation_bits;
    uint8_t index_selection_bits;
    uint8_t colour_bits;
    uint8_t alpha_bits;
    uint8_t endpoint_pbits;  // one p-bit per endpoint
    uint8_t shared_pbits;    // one p-bit per subset
    uint8_t index_bits;
    uint8_t secondary_index_bits;
};

constexpr Bc7Mode kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0}, {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

constexpr uint8_t kWeights2[4] = {0, 21, 43, 64};
constexpr uint8_t kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr uint8_t kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

const uint8_t* weights_for(uint32_t index_bits) {
    return index_bits == 2 ? kWeights2 : (index_bits == 3 ? kWeights3 : kWeights4);
}

// Two-subset partitions: bit i set when pixel i (raster order) is in subset 1.
constexpr uint16_t kPartitions2[64] = {
    0xCCCC, 0x8888, 0xEEEE, 0xECC8, 0xC880, 0xFEEC, 0xFEC8, 0xEC80, 0xC800, 0xFFEC, 0xFE80, 0xE800, 0xFFE8,
    0xFF00, 0xFFF0, 0xF000, 0xF710, 0x008E, 0x7100, 0x08CE, 0x008C, 0x7310, 0x3100, 0x8CCE, 0x088C, 0x3110,
    0x6666, 0x366C, 0x17E8, 0x0FF0, 0x718E, 0x399C, 0xAAAA, 0xF0F0, 0x5A5A, 0x33CC, 0x3C3C, 0x55AA, 0x9696,
    0xA55A, 0x73CE, 0x13C8, 0x324C, 0x3BDC, 0x6996, 0xC33C, 0x9966, 0x0660, 0x0272, 0x04E4, 0x4E40, 0x2720,
    0xC936, 0x936C, 0x39C6, 0x639C, 0x9336, 0x9CC6, 0x817E, 0xE718, 0xCCF0, 0x0FCC, 0x7744, 0xEE22,
};

// Three-subset partitions: the subset of each pixel in raster order.
constexpr uint8_t kPartitions3[64][16] = {
    {0, 0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 1, 2, 2, 2, 2}, {0, 0, 0, 1, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 2, 1},
    {0, 0, 0, 0, 2, 0, 0, 1, 2, 2, 1, 1, 2, 2, 1, 1}, {0, 2, 2, 2, 0, 0, 2, 2, 0, 0, 1, 1, 0, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2}, {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 2, 2, 0, 0, 2, 2},
    {0, 0, 2, 2, 0, 0, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}, {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2},
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2}, {0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2},
    {0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2}, {0, 1, 2, 2, 0, 1, 2, 2, 0, 1, 2, 2, 0, 1, 2, 2},
    {0, 0, 1, 1, 0, 1, 1, 2, 1, 1, 2, 2, 1, 2, 2, 2}, {0, 0, 1, 1, 2, 0, 0, 1, 2, 2, 0, 0, 2, 2, 2, 0},
    {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 2, 1, 1, 2, 2}, {0, 1, 1, 1, 0, 0, 1, 1, 2, 0, 0, 1, 2, 2, 0, 0},
    {0, 0, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2}, {0, 0, 2, 2, 0, 0, 2, 2, 0, 0, 2, 2, 1, 1, 1, 1},
    {0, 1, 1, 1, 0, 1, 1, 1, 0, 2, 2, 2, 0, 2, 2, 2}, {0, 0, 0, 1, 0, 0, 0, 1, 2, 2, 2, 1, 2, 2, 2, 1},
    {0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 2, 2, 0, 1, 2, 2}, {0, 0, 0, 0, 1, 1, 0, 0, 2, 2, 1, 0, 2, 2, 1, 0},
    {0, 1, 2, 2, 0, 1, 2, 2, 0, 0, 1, 1, 0, 0, 0, 0}, {0, 0, 1, 2, 0, 0, 1, 2, 1, 1, 2, 2, 2, 2, 2, 2},
    {0, 1, 1, 0, 1, 2, 2, 1, 1, 2, 2, 1, 0, 1, 1, 0}, {0, 0, 0, 0, 0, 1, 1, 0, 1, 2, 2, 1, 1, 2, 2, 1},
    {0, 0, 2, 2, 1, 1, 0, 2, 1, 1, 0, 2, 0, 0, 2, 2}, {0, 1, 1, 0, 0, 1, 1, 0, 2, 0, 0, 2, 2, 2, 2, 2},
    {0, 0, 1, 1, 0, 1, 2, 2, 0, 1, 2, 2, 0, 0, 1, 1}, {0, 0, 0, 0, 2, 0, 0, 0, 2, 2, 1, 1, 2, 2, 2, 1},
    {0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 2, 2, 1, 2, 2, 2}, {0, 2, 2, 2, 0, 0, 2, 2, 0, 0, 1, 2, 0, 0, 1, 1},
    {0, 0, 1, 1, 0, 0, 1, 2, 0, 0, 2, 2, 0, 2, 2, 2}, {0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0},
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0}, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0},
    {0, 1, 2, 0, 2, 0, 1, 2, 1, 2, 0, 1, 0, 1, 2, 0}, {0, 0, 1, 1, 2, 2, 0, 0, 1, 1, 2, 2, 0, 0, 1, 1},
    {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1}, {0, 1, 0, 1, 0, 1, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 2, 1, 2, 1, 2, 1}, {0, 0, 2, 2, 1, 1, 2, 2, 0, 0, 2, 2, 1, 1, 2, 2},
    {0, 0, 2, 2, 0, 0, 1, 1, 0, 0, 2, 2, 0, 0, 1, 1}, {0, 2, 2, 0, 1, 2, 2, 1, 0, 2, 2, 0, 1, 2, 2, 1},
    {0, 1, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 0, 1, 0, 1}, {0, 0, 0, 0, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1},
    {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 2, 2, 2, 2}, {0, 2, 2, 2, 0, 1, 1, 1, 0, 2, 2, 2, 0, 1, 1, 1},
    {0, 0, 0, 2, 1, 1, 1, 2, 0, 0, 0, 2, 1, 1, 1, 2}, {0, 0, 0, 0, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2},
    {0, 2, 2, 2, 0, 1, 1, 1, 0, 1, 1, 1, 0, 2, 2, 2}, {0, 0, 0, 2, 1, 1, 1, 2, 1, 1, 1, 2, 0, 0, 0, 2},
    {0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 2, 2}, {0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 2, 2, 1, 1, 2},
    {0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 2, 2, 2, 2, 2, 2}, {0, 0, 2, 2, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 2, 2},
    {0, 0, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 0, 0, 2, 2}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 2},
    {0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1}, {0, 2, 2, 2, 1, 2, 2, 2, 0, 2, 2, 2, 1, 2, 2, 2},
    {0, 1, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, {0, 1, 1, 1, 2, 0, 1, 1, 2, 2, 0, 1, 2, 2, 2, 0},
};

// Anchor pixels (whose index has an implied top bit of 0) of the subsets after the first;
// pixel 0 anchors subset 0.
constexpr uint8_t kAnchor2Of2[64] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 2,  8,  2,  2,  8,
    8,  15, 2,  8,  2,  2,  8,  8,  2,  2,  15, 15, 6,  8,  2,  8,  15, 15, 2,  8,  2,  2,
    2,  15, 15, 6,  6,  2,  6,  8,  15, 15, 2,  2,  15, 15, 15, 15, 15, 2,  2,  15,
};
constexpr uint8_t kAnchor2Of3[64] = {
    3, 3, 15, 15, 8,  3,  15, 15, 8,  8,  6, 6,  6, 5,  3,  3,  3,  3, 8, 15, 3, 3,
    6, 10, 5, 8,  8,  6,  8,  5,  15, 15, 8, 15, 3, 5,  6,  10, 8,  15, 15, 3, 15, 5,
    15, 15, 15, 15, 3, 15, 5, 5, 5,  8,  5,  10, 5, 10, 8,  13, 15, 12, 3, 3,
};
constexpr uint8_t kAnchor3Of3[64] = {
    15, 8,  8,  3,  15, 15, 3,  8,  15, 15, 15, 15, 15, 15, 15, 8,  15, 8,  15, 3,  15, 8,
    15, 8,  3,  15, 6,  10, 15, 15, 10, 8,  15, 3,  15, 10, 10, 8,  9,  10, 6,  15, 8,  15,
    3,  6,  6,  8,  15, 3,  15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 3,  15, 15, 8,
};

// Widens an endpoint of `precision` bits (5..8) to 8 bits by repeating its top bits.
inline uint32_t widen(uint32_t value, uint32_t precision) {
    if (precision >= 8) return value;
    return (value << (8 - precision)) | (value >> (2 * precision - 8));
}

inline uint32_t interpolate(uint32_t e0, uint32_t e1, uint32_t weight) {
    return ((64 - weight) * e0 + weight * e1 + 32) >> 6;
}

inline uint32_t pack_rgba(const uint32_t c[4]) { return c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24; }

// Endpoints of every subset: [subset * 2 + end][channel], already widened to 8 bits.
struct Bc7Endpoints {
    uint32_t value[6][4];
};

// Reads the endpoint fields and p-bits of `count` endpoints and widens them.
void read_endpoints(Bc7Bits& bits, const Bc7Mode& mode, uint32_t count, Bc7Endpoints& endpoints) {
    const uint32_t channels = mode.alpha_bits ? 4 : 3;
    for (uint32_t c = 0; c < channels; ++c) {
        const uint32_t width = c == 3 ? mode.alpha_bits : mode.colour_bits;
        for (uint32_t e = 0; e < count; ++e) endpoints.value[e][c] = bits.read(width);
    }
    uint32_t pbits[6] = {0, 0, 0, 0, 0, 0};
    const bool has_pbit = mode.endpoint_pbits || mode.shared_pbits;
    if (mode.endpoint_pbits) {
        for (uint32_t e = 0; e < count; ++e) pbits[e] = bits.read(1);
    } else if (mode.shared_pbits) {
        for (uint32_t s = 0; s < count / 2; ++s) pbits[2 * s] = pbits[2 * s + 1] = bits.read(1);
    }
    for (uint32_t e = 0; e < count; ++e) {
        for (uint32_t c = 0; c < channels; ++c) {
            uint32_t precision = c == 3 ? mode.alpha_bits : mode.colour_bits;
            uint32_t v = endpoints.value[e][c];
            if (has_pbit) {
                v = (v << 1) | pbits[e];
                ++precision;
            }
            endpoints.value[e][c] = widen(v, precision);
        }
        if (channels == 3) endpoints.value[e][3] = 255;
    }
}

// Modes 0 to 3 and 7: two or three subsets from a partition table, one index per pixel.
void unpack_partitioned(Bc7Bits& bits, const Bc7Mode& mode, uint32_t pixels[16]) {
    const uint32_t partition = bits.read(mode.partition_bits);
    uint8_t subset_of[16];
    uint32_t anchor1 = 0, anchor2 = 0;
    if (mode.subsets == 2) {
        for (uint32_t i = 0; i < 16; ++i) subset_of[i] = uint8_t(kPartitions2[partition] >> i & 1);
        anchor1 = kAnchor2Of2[partition];
        anchor2 = anchor1;
    } else {
        std::memcpy(subset_of, kPartitions3[partition], 16);
        anchor1 = kAnchor2Of3[partition];
        anchor2 = kAnchor3Of3[partition];
    }
    Bc7Endpoints endpoints;
    read_endpoints(bits, mode, mode.subsets * 2u, endpoints);

    const uint8_t* weights = weights_for(mode.index_bits);
    for (uint32_t i = 0; i < 16; ++i) {
        const bool anchor = i == 0 || i == anchor1 || i == anchor2;
        const uint32_t index = bits.read(anchor ? mode.index_bits - 1u : mode.index_bits);
        const uint32_t* e0 = endpoints.value[subset_of[i] * 2];
        const uint32_t* e1 = endpoints.value[subset_of[i] * 2 + 1];
        uint32_t c[4];
        for (int k = 0; k < 4; ++k) c[k] = interpolate(e0[k], e1[k], weights[index]);
        pixels[i] = pack_rgba(c);
    }
}

void unpack_bc7_mode0_2(Bc7Bits& bits, uint32_t mode, uint32_t pixels[16]) {
    unpack_partitioned(bits, kModes[mode], pixels);
}

void unpack_bc7_mode1_3_7(Bc7Bits& bits, uint32_t mode, uint32_t pixels[16]) {
    unpack_partitioned(bits, kModes[mode], pixels);
}

// Modes 4 and 5: one subset, separate colour and alpha indices, and a rotation that
// swaps alpha with one colour channel after interpolation.
void unpack_bc7_mode4_5(Bc7Bits& bits, uint32_t mode_number, uint32_t pixels[16]) {
    const Bc7Mode& mode = kModes[mode_number];
    const uint32_t rotation = bits.read(2);
    const uint32_t index_selection = mode.index_selection_bits ? bits.read(1) : 0;
    Bc7Endpoints endpoints;
    read_endpoints(bits, mode, 2, endpoints);

    uint32_t primary[16], secondary[16];
    for (uint32_t i = 0; i < 16; ++i) primary[i] = bits.read(i == 0 ? mode.index_bits - 1u : mode.index_bits);
    for (uint32_t i = 0; i < 16; ++i)
        secondary[i] = bits.read(i == 0 ? mode.secondary_index_bits - 1u : mode.secondary_index_bits);

    const uint32_t* colour_index = index_selection ? secondary : primary;
    const uint32_t* alpha_index = index_selection ? primary : secondary;
    const uint8_t* colour_weights = weights_for(index_selection ? mode.secondary_index_bits : mode.index_bits);
    const uint8_t* alpha_weights = weights_for(index_selection ? mode.index_bits : mode.secondary_index_bits);
    const uint32_t* e0 = endpoints.value[0];
    const uint32_t* e1 = endpoints.value[1];
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t c[4];
        for (int k = 0; k < 3; ++k) c[k] = interpolate(e0[k], e1[k], colour_weights[colour_index[i]]);
        c[3] = interpolate(e0[3], e1[3], alpha_weights[alpha_index[i]]);
        if (rotation != 0) {
            const uint32_t swapped = c[rotation - 1];
            c[rotation - 1] = c[3];
            c[3] = swapped;
        }
        pixels[i] = pack_rgba(c);
    }
}

// Mode 6: one subset, RGBA endpoints of 7 bits plus a p-bit each, 4-bit indices.
void unpack_bc7_mode6(Bc7Bits& bits, uint32_t pixels[16]) {
    const Bc7Mode& mode = kModes[6];
    Bc7Endpoints endpoints;
    read_endpoints(bits, mode, 2, endpoints);
    const uint32_t* e0 = endpoints.value[0];
    const uint32_t* e1 = endpoints.value[1];
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t weight = kWeights4[bits.read(i == 0 ? 3 : 4)];
        uint32_t c[4];
        for (int k = 0; k < 4; ++k) c[k] = interpolate(e0[k], e1[k], weight);
        pixels[i] = pack_rgba(c);
    }
}

}  // namespace

void unpack_bc7(const uint8_t* block, uint32_t pixels[16]) {
    if (block[0] == 0) {
        // No mode: the format reserves it; give transparent black rather than garbage.
        for (int i = 0; i < 16; ++i) pixels[i] = 0;
        return;
    }
    const uint32_t mode = uint32_t(__builtin_ctz(block[0]));
    Bc7Bits bits(block);
    bits.read(mode + 1);
    switch (mode) {
    case 0:
    case 2: unpack_bc7_mode0_2(bits, mode, pixels); break;
    case 1:
    case 3:
    case 7: unpack_bc7_mode1_3_7(bits, mode, pixels); break;
    case 4:
    case 5: unpack_bc7_mode4_5(bits, mode, pixels); break;
    default: unpack_bc7_mode6(bits, pixels); break;
    }
}

uint32_t decode_bc7_block(uint8_t* destination, std::ptrdiff_t stride, const uint8_t* block) {
    uint32_t pixels[16];
    unpack_bc7(block, pixels);
    for (int r = 0; r < 4; ++r) std::memcpy(destination + r * stride, pixels + 4 * r, 16);
    return 16;
}
