#include "media/file_access.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "platform/file_utf8.h"

void file_read_at(std::FILE* file, void* buffer, uint64_t offset, uint32_t count) {
    constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (offset >= kMaxOffset) {
        throw std::runtime_error("Seek from start error (offset > INT64_MAX) : " + std::to_string(offset) +
                                 ". INT64_MAX : " + std::to_string(kMaxOffset) + ". ");
    }
    const int seek = platform::fseek64(file, static_cast<int64_t>(offset), SEEK_SET);
    if (seek != 0) {
        throw std::runtime_error("Seek from start error (return != 0) : " + std::to_string(seek) +
                                 ". Offset from start : " + std::to_string(offset) + ". ");
    }
    const size_t got = std::fread(buffer, 1, count, file);
    if (got < count) {
        std::printf("Nb bytes read request : %" PRIu32 ". Nb bytes read : %zu\n", count, got);
        throw std::runtime_error("File read error");
    }
}
