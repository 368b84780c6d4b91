#include "media/hap_decoder.h"

#include <snappy.h>

#include <cstring>
#include <new>

namespace {

uint32_t read_u24(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }
uint32_t read_u32(const uint8_t* p) { return read_u24(p) | (uint32_t(p[3]) << 24); }

struct Section {
    const uint8_t* payload = nullptr;
    uint32_t payload_length = 0;
    uint32_t header_length = 0;
    uint32_t type = 0;
    uint64_t total() const { return uint64_t(header_length) + payload_length; }
};

// Reads the section header at `p`, which has `available` bytes after it. The header
// (4 bytes, or 8 when the 24-bit length is 0) and the payload must both fit.
HapResult read_section(const uint8_t* p, uint64_t available, Section* out) {
    if (available < 4) return HapResult_Bad_Frame;
    uint32_t length = read_u24(p);
    uint32_t header = 4;
    if (length == 0) {
        if (available < 8) return HapResult_Bad_Frame;
        length = read_u32(p + 4);
        header = 8;
    }
    if (uint64_t(header) + length > available) return HapResult_Bad_Frame;
    out->payload = p + header;
    out->payload_length = length;
    out->header_length = header;
    out->type = p[3];
    return HapResult_No_Error;
}

// The tables of a chunked texture's decode instructions.
struct DecodeInstructions {
    const uint8_t* compressors = nullptr;
    const uint8_t* sizes = nullptr;
    const uint8_t* offsets = nullptr;
    uint32_t chunk_count = 0;
    const uint8_t* chunk_data = nullptr;  // first byte after the instructions container
    uint64_t chunk_data_length = 0;       // bytes from there to the end of the texture
};

HapResult parse_decode_instructions(const uint8_t* payload, uint32_t payload_length, DecodeInstructions* out) {
    Section container;
    if (HapResult r = read_section(payload, payload_length, &container)) return r;
    if (container.type != HapSection_DecodeInstructions || container.payload_length == 0)
        return HapResult_Bad_Frame;

    uint32_t compressor_count = 0, size_count = 0, offset_count = 0;
    bool has_compressors = false, has_sizes = false;
    const uint8_t* end = container.payload + container.payload_length;
    for (const uint8_t* p = container.payload; p < end;) {
        Section table;
        if (HapResult r = read_section(p, uint64_t(end - p), &table)) return r;
        switch (table.type) {
            case HapSection_ChunkCompressorTable:
                out->compressors = table.payload;
                compressor_count = table.payload_length;
                has_compressors = true;
                break;
            case HapSection_ChunkSizeTable:
                out->sizes = table.payload;
                size_count = table.payload_length / 4;
                has_sizes = true;
                break;
            case HapSection_ChunkOffsetTable:
                out->offsets = table.payload;
                offset_count = table.payload_length / 4;
                break;
            default:
                break;
        }
        p += table.total();
    }
    if (!has_compressors || !has_sizes) return HapResult_Bad_Frame;

    // Every non-empty table must agree on the chunk count. An empty offset table means
    // "no offsets"; an empty compressor or size table beside chunks is a bad frame,
    // since the chunks could not be read without it.
    uint32_t count = 0;
    for (uint32_t c : {compressor_count, size_count, offset_count}) {
        if (c == 0) continue;
        if (count != 0 && c != count) return HapResult_Bad_Frame;
        count = c;
    }
    if (count != 0 && (compressor_count != count || size_count != count)) return HapResult_Bad_Frame;
    if (offset_count == 0) out->offsets = nullptr;

    out->chunk_count = count;
    out->chunk_data = container.payload + container.payload_length;
    out->chunk_data_length = uint64_t(payload_length) - container.total();
    return HapResult_No_Error;
}

HapResult decode_chunked(const uint8_t* payload, uint32_t payload_length, HapDecodeCallback callback,
                         void* info, uint8_t* destination, uint32_t capacity, uint32_t* bytes_used) {
    DecodeInstructions ins;
    if (payload_length < 4) return HapResult_Bad_Frame;
    if (HapResult r = parse_decode_instructions(payload, payload_length, &ins)) return r;
    if (ins.chunk_count == 0) {
        if (bytes_used) *bytes_used = 0;
        return HapResult_No_Error;
    }

    HapChunkWork* table = new (std::nothrow) HapChunkWork[ins.chunk_count];
    if (!table) return HapResult_Internal_Error;

    uint64_t running_offset = 0;
    uint64_t total_output = 0;
    for (uint32_t i = 0; i < ins.chunk_count; ++i) {
        HapChunkWork& w = table[i];
        w.result = HapResult_No_Error;
        w.compressor = ins.compressors[i];
        w.compressed_size = read_u32(ins.sizes + 4 * i);
        const uint64_t offset = ins.offsets ? read_u32(ins.offsets + 4 * i) : running_offset;
        running_offset += w.compressed_size;
        // A chunk must lie wholly inside the texture: offsets and sizes come from the file.
        if (offset > ins.chunk_data_length || w.compressed_size > ins.chunk_data_length - offset) {
            delete[] table;
            return HapResult_Bad_Frame;
        }
        w.compressed = ins.chunk_data + offset;
        if (w.compressor == HapCompressor_Snappy) {
            size_t length = 0;
            if (!snappy::GetUncompressedLength(reinterpret_cast<const char*>(w.compressed),
                                               static_cast<size_t>(w.compressed_size), &length)) {
                delete[] table;
                return HapResult_Bad_Frame;
            }
            w.uncompressed_size = length;
        } else {
            w.uncompressed_size = w.compressed_size;
        }
        w.output = nullptr;
        total_output += w.uncompressed_size;
    }
    if (total_output > capacity) {
        delete[] table;
        return HapResult_Buffer_Too_Small;
    }
    uint64_t output_offset = 0;
    for (uint32_t i = 0; i < ins.chunk_count; ++i) {
        table[i].output = destination + output_offset;
        output_offset += table[i].uncompressed_size;
    }

    if (ins.chunk_count == 1)
        hap_decode_chunk(table, 0);
    else
        callback(hap_decode_chunk, table, ins.chunk_count, info);

    HapResult result = HapResult_No_Error;
    for (uint32_t i = 0; i < ins.chunk_count; ++i) {
        if (table[i].result != HapResult_No_Error) {
            result = static_cast<HapResult>(table[i].result);
            break;
        }
    }
    delete[] table;
    if (result == HapResult_No_Error && bytes_used) *bytes_used = static_cast<uint32_t>(total_output);
    return result;
}

}  // namespace

void hap_decode_chunk(void* work_table, unsigned int index) {
    HapChunkWork& w = static_cast<HapChunkWork*>(work_table)[index];
    if (w.compressor == HapCompressor_None) {
        std::memcpy(w.output, w.compressed, static_cast<size_t>(w.compressed_size));
        w.result = HapResult_No_Error;
    } else if (w.compressor == HapCompressor_Snappy) {
        const char* in = reinterpret_cast<const char*>(w.compressed);
        const size_t in_size = static_cast<size_t>(w.compressed_size);
        size_t length = 0;
        if (!snappy::GetUncompressedLength(in, in_size, &length)) {
            w.result = HapResult_Bad_Frame;
        } else if (length > w.uncompressed_size) {
            w.result = HapResult_Internal_Error;  // no room for what the chunk holds
        } else {
            w.result = snappy::RawUncompress(in, in_size, reinterpret_cast<char*>(w.output))
                           ? HapResult_No_Error
                           : HapResult_Bad_Frame;
        }
    } else {
        w.result = HapResult_Bad_Frame;
    }
}

uint32_t hap_texture_format_for_identifier(uint32_t format_nibble) {
    switch (format_nibble) {
        case 0xB:
            return HapTextureFormat_RGB_DXT1;
        case 0xE:
            return HapTextureFormat_RGBA_DXT5;
        case 0xF:
            return HapTextureFormat_YCoCg_DXT5;
        case 0x1:
            return HapTextureFormat_A_RGTC1;
        case 0xC:
            return HapTextureFormat_RGBA_BPTC;
        default:
            return HapTextureFormat_Unknown;
    }
}

HapResult hap_get_section_at_index(const void* frame, uint32_t frame_size, uint32_t index,
                                   const void** payload, uint32_t* payload_length, uint32_t* type) {
    auto clear = [&] {
        *payload = nullptr;
        *payload_length = 0;
        *type = 0;
    };
    Section top;
    if (HapResult r = read_section(static_cast<const uint8_t*>(frame), frame_size, &top)) return r;
    if (top.type != HapSection_MultipleTextures) {
        if (index != 0) {
            clear();
            return HapResult_Bad_Arguments;
        }
        *payload = top.payload;
        *payload_length = top.payload_length;
        *type = top.type;
        return HapResult_No_Error;
    }
    uint64_t position = 0;
    for (uint32_t i = 0;; ++i) {
        if (position >= top.payload_length) {
            clear();
            return HapResult_Bad_Arguments;
        }
        Section sub;
        if (HapResult r = read_section(top.payload + position, top.payload_length - position, &sub)) return r;
        if (i == index) {
            *payload = sub.payload;
            *payload_length = sub.payload_length;
            *type = sub.type;
            return HapResult_No_Error;
        }
        position += sub.total();
    }
}

HapResult HapGetFrameTextureCount(const void* frame, uint32_t frame_size, uint32_t* count) {
    if (!frame || !count) return HapResult_Bad_Arguments;
    Section top;
    if (HapResult r = read_section(static_cast<const uint8_t*>(frame), frame_size, &top)) return r;
    if (top.type != HapSection_MultipleTextures) {
        *count = 1;
        return HapResult_No_Error;
    }
    uint32_t n = 0;
    for (uint64_t position = 0; position < top.payload_length; ++n) {
        Section sub;
        if (HapResult r = read_section(top.payload + position, top.payload_length - position, &sub)) return r;
        position += sub.total();
    }
    *count = n;
    return HapResult_No_Error;
}

HapResult HapGetFrameTextureChunkCount(const void* frame, uint32_t frame_size, uint32_t texture_index,
                                       uint32_t* chunk_count) {
    if (chunk_count) *chunk_count = 0;
    if (!frame || !chunk_count || texture_index > 1) return HapResult_Bad_Arguments;
    const void* payload;
    uint32_t length, type;
    if (HapResult r = hap_get_section_at_index(frame, frame_size, texture_index, &payload, &length, &type))
        return r;
    switch (type >> 4) {
        case HapCompressor_None:
        case HapCompressor_Snappy:
            *chunk_count = 1;
            return HapResult_No_Error;
        case HapCompressor_Complex: {
            if (length < 4) return HapResult_Bad_Frame;
            DecodeInstructions ins;
            if (HapResult r = parse_decode_instructions(static_cast<const uint8_t*>(payload), length, &ins))
                return r;
            *chunk_count = ins.chunk_count;
            return HapResult_No_Error;
        }
        default:
            return HapResult_Bad_Frame;
    }
}

HapResult HapGetFrameTextureFormat(const void* frame, uint32_t frame_size, uint32_t texture_index,
                                   uint32_t* texture_format) {
    if (!frame || texture_index > 1 || !texture_format) return HapResult_Bad_Arguments;
    const void* payload;
    uint32_t length, type;
    if (HapResult r = hap_get_section_at_index(frame, frame_size, texture_index, &payload, &length, &type))
        return r;
    *texture_format = hap_texture_format_for_identifier(type & 0x0F);
    return *texture_format == HapTextureFormat_Unknown ? HapResult_Bad_Frame : HapResult_No_Error;
}

HapResult hap_decode_single_texture(const void* payload, uint32_t payload_length, uint32_t section_type,
                                    HapDecodeCallback callback, void* info, void* destination,
                                    uint32_t destination_capacity, uint32_t* bytes_used,
                                    uint32_t* texture_format) {
    *texture_format = hap_texture_format_for_identifier(section_type & 0x0F);
    if (*texture_format == HapTextureFormat_Unknown) return HapResult_Bad_Frame;

    const uint8_t* data = static_cast<const uint8_t*>(payload);
    uint8_t* out = static_cast<uint8_t*>(destination);
    switch (section_type >> 4) {
        case HapCompressor_None:
            if (payload_length > destination_capacity) return HapResult_Buffer_Too_Small;
            std::memcpy(out, data, payload_length);
            if (bytes_used) *bytes_used = payload_length;
            return HapResult_No_Error;
        case HapCompressor_Snappy: {
            size_t length = 0;
            const char* in = reinterpret_cast<const char*>(data);
            if (!snappy::GetUncompressedLength(in, payload_length, &length)) return HapResult_Internal_Error;
            if (length > destination_capacity) return HapResult_Buffer_Too_Small;
            if (!snappy::RawUncompress(in, payload_length, reinterpret_cast<char*>(out)))
                return HapResult_Internal_Error;
            if (bytes_used) *bytes_used = static_cast<uint32_t>(length);
            return HapResult_No_Error;
        }
        case HapCompressor_Complex:
            return decode_chunked(data, payload_length, callback, info, out, destination_capacity, bytes_used);
        default:
            return HapResult_Bad_Frame;
    }
}

HapResult HapDecode(const void* frame, uint32_t frame_size, uint32_t texture_index,
                    HapDecodeCallback callback, void* info, void* destination,
                    uint32_t destination_capacity, uint32_t* bytes_used, uint32_t* texture_format) {
    if (!frame || texture_index > 1 || !callback || !destination || !texture_format)
        return HapResult_Bad_Arguments;
    const void* payload;
    uint32_t length, type;
    if (HapResult r = hap_get_section_at_index(frame, frame_size, texture_index, &payload, &length, &type))
        return r;
    return hap_decode_single_texture(payload, length, type, callback, info, destination,
                                     destination_capacity, bytes_used, texture_format);
}

const char* hap_result_to_string(uint32_t result) {
    switch (result) {
        case HapResult_No_Error:
            return "HapResult_No_Error";
        case HapResult_Bad_Arguments:
            return "HapResult_Bad_Arguments";
        case HapResult_Buffer_Too_Small:
            return "HapResult_Buffer_Too_Small";
        case HapResult_Bad_Frame:
            return "HapResult_Bad_Frame";
        case HapResult_Internal_Error:
            return "HapResult_Internal_Error";
        default:
            return "HapResult : Error unknown";
    }
}
