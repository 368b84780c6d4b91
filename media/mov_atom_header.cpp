// Atom headers, read from the stream (top level) or parsed from the moov buffer.
#include <cinttypes>
#include <cstdio>
#include <exception>

#include "media/file_access.h"
#include "media/mov_bytes.h"
#include "media/mov_file.h"

bool atom_read_header(AtomHeader* header, std::FILE* file, uint64_t limit) {
    if (limit < 8) {
        std::printf("Not enough data for atom parse : %" PRIu64 "\n", limit);
        return false;
    }
    uint32_t size32 = 0;
    uint64_t size = 0;
    try {
        size32 = file_read_u32_be(file);
        header->type = file_read_u32_be(file);
        if (size32 == 1) {
            if (limit < 16) {
                std::printf("Not enough data for extended parse atom : %" PRIu64 "\n", limit);
                return false;
            }
            const uint64_t high = file_read_u32_be(file);
            size = high << 32 | file_read_u32_be(file);
        }
    } catch (const std::exception& error) {
        std::printf("Error reading header size : %s\n", error.what());
        return false;
    }
    if (size32 == 0) {
        header->size = limit;
        header->dataSize = limit - 8;
    } else if (size32 == 1) {
        if (size <= 16) {
            std::printf("Invalid 64bits size : %" PRIu64 "\n", size);
            return false;
        }
        header->size = size;
        header->dataSize = size - 16;
    } else if (size32 < 8) {
        std::printf("Invalid size atom : %" PRIu32 "\n", size32);
        return false;
    } else {
        header->size = size32;
        header->dataSize = size32 - 8;
    }
    if (header->size > limit) {
        std::printf("Invalid data size and header\n");
        return false;
    }
    try {
        header->dataOffset = file_tell(file);
    } catch (const std::exception& error) {
        std::printf("Error reading offset : %s\n", error.what());
        return false;
    }
    return true;
}

bool atom_parse_header(AtomHeader* header, const uint8_t* buffer, uint64_t position, uint64_t remaining) {
    if (remaining < 8) {
        std::printf("Invalid size for atom parse\n");
        return false;
    }
    const uint8_t* p = buffer + position;
    const uint32_t size32 = mov_be32(p);
    header->type = mov_be32(p + 4);
    if (header->type == 0) return false;
    if (size32 == 0) {
        header->size = remaining;
        header->dataOffset = position + 8;
        header->dataSize = remaining - 8;
        return true;
    }
    if (size32 == 1) {
        if (remaining < 16) {
            std::printf("Not enough data for extended parse atom : %" PRIu64 "\n", remaining);
            return false;
        }
        const uint64_t size = mov_be64(p + 8);
        if (size < 16) return false;
        if (size > remaining) {
            std::printf("Invalid data size and header\n");
            return false;
        }
        header->size = size;
        header->dataOffset = position + 16;
        header->dataSize = size - 16;
        return true;
    }
    if (size32 < 8) return false;
    if (size32 > remaining) {
        std::printf("Err : Atom classic Invalid data size and header : Data len : %llu ; Max size : %llu\n",
                    static_cast<unsigned long long>(size32 - 8), static_cast<unsigned long long>(remaining));
        return false;
    }
    header->size = size32;
    header->dataOffset = position + 8;
    header->dataSize = size32 - 8;
    return true;
}
