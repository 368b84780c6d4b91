#pragma once
// Builds HAP frames byte by byte for the cases FFmpeg does not write: 4-byte headers,
// offset tables, multiple textures, and damaged frames.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// A section: header (4 bytes, or 8 when `extended` or when the payload needs it) + payload.
Bytes hap_section(uint8_t type, const Bytes& payload, bool extended = false);

struct HapChunkSpec {
    uint8_t compressor;  // 0x0A none, 0x0B snappy
    Bytes stored;        // the bytes as they lie in the frame
};

// A chunked texture payload: decode instructions (compressor, size and optional offset
// tables) followed by the chunk data. With `offsets`, chunks are stored in the order of
// `storage_order` (indices into `chunks`) and the offset table points at them.
Bytes hap_chunked_payload(const std::vector<HapChunkSpec>& chunks, bool offsets = false,
                          const std::vector<size_t>& storage_order = {});

Bytes snappy_compress(const Bytes& raw);

// Pseudo-random texture bytes with some repetition, so snappy has work to do.
Bytes texture_pattern(size_t size, uint32_t seed);

}  // namespace testsupport
