#include "tests/support/hap_frame_builder.h"

#include <snappy.h>

#include <numeric>
#include <string>

namespace testsupport {

namespace {
void put_u32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
}  // namespace

Bytes hap_section(uint8_t type, const Bytes& payload, bool extended) {
    Bytes out;
    const auto length = static_cast<uint32_t>(payload.size());
    if (extended || length == 0 || length > 0xFFFFFF) {
        out = {0, 0, 0, type};
        put_u32(out, length);
    } else {
        out = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
               type};
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes hap_chunked_payload(const std::vector<HapChunkSpec>& chunks, bool offsets,
                          const std::vector<size_t>& storage_order) {
    std::vector<size_t> order = storage_order;
    if (order.empty()) {
        order.resize(chunks.size());
        std::iota(order.begin(), order.end(), size_t(0));
    }
    Bytes compressors, sizes, offset_table, data;
    std::vector<uint32_t> chunk_offsets(chunks.size(), 0);
    for (size_t stored : order) {
        chunk_offsets[stored] = static_cast<uint32_t>(data.size());
        data.insert(data.end(), chunks[stored].stored.begin(), chunks[stored].stored.end());
    }
    for (size_t i = 0; i < chunks.size(); ++i) {
        compressors.push_back(chunks[i].compressor);
        put_u32(sizes, static_cast<uint32_t>(chunks[i].stored.size()));
        put_u32(offset_table, chunk_offsets[i]);
    }
    Bytes instructions = hap_section(0x02, compressors);
    Bytes size_section = hap_section(0x03, sizes);
    instructions.insert(instructions.end(), size_section.begin(), size_section.end());
    if (offsets) {
        Bytes offset_section = hap_section(0x04, offset_table);
        instructions.insert(instructions.end(), offset_section.begin(), offset_section.end());
    }
    Bytes payload = hap_section(0x01, instructions);
    payload.insert(payload.end(), data.begin(), data.end());
    return payload;
}

Bytes snappy_compress(const Bytes& raw) {
    std::string out;
    snappy::Compress(reinterpret_cast<const char*>(raw.data()), raw.size(), &out);
    return Bytes(out.begin(), out.end());
}

Bytes texture_pattern(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        if (i % 16 < 8) {
            state = state * 1664525u + 1013904223u;
            out[i] = static_cast<uint8_t>(state >> 24);
        } else {
            out[i] = static_cast<uint8_t>(i / 64);  // runs that compress
        }
    }
    return out;
}

}  // namespace testsupport
