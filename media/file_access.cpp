#include "media/file_access.h"

#include <cerrno>
#include <cstdlib>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "platform/file_utf8.h"
#include "base/formats/wstr_to_utf8.h"

namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

void check_offset(uint64_t offset, const char* what) {
    if (offset >= kMaxOffset) {
        throw std::runtime_error(std::string(what) + " (offset > INT64_MAX) : " + std::to_string(offset) +
                                 ". INT64_MAX : " + std::to_string(kMaxOffset) + ". ");
    }
}

void seek_or_throw(std::FILE* file, uint64_t offset, int whence) {
    const int result = platform::fseek64(file, static_cast<int64_t>(offset), whence);
    if (result != 0) {
        throw std::runtime_error("Seek from start error (return != 0) : " + std::to_string(result) +
                                 ". Offset from start : " + std::to_string(offset) + ". ");
    }
}

template <size_t N>
void read_value_bytes(std::FILE* file, uint8_t (&bytes)[N], const char* error) {
    if (std::fread(bytes, 1, N, file) != N) throw std::runtime_error(error);
}

}  // namespace

uint64_t file_size(std::FILE* file) {
    const int result = platform::fseek64(file, 0, SEEK_END);
    if (result != 0)
        throw std::runtime_error("Seek to end of file error (return != 0) : " + std::to_string(result) + ". ");
    try {
        return file_tell(file);
    } catch (...) {
        std::rewind(file);
        throw;
    }
}

uint64_t file_tell(std::FILE* file) {
    const int64_t position = platform::ftell64(file);
    if (position < 0) {
        const int error = errno;
        char text[256];
        throw std::runtime_error("Can't get file size : Ftell return " + std::to_string(position) + ". Error : " +
                                 std::to_string(error) + ". " + platform::error_text(error, text, sizeof text));
    }
    return static_cast<uint64_t>(position);
}

void file_seek(std::FILE* file, uint64_t offset) {
    check_offset(offset, "Seek from start error");
    seek_or_throw(file, offset, SEEK_SET);
}

void file_seek_cur(std::FILE* file, uint64_t offset) {
    check_offset(offset, "Seek from cur error");
    seek_or_throw(file, offset, SEEK_CUR);
}

void file_read_at(std::FILE* file, void* buffer, uint64_t offset, uint32_t count) {
    file_seek(file, offset);
    const size_t got = std::fread(buffer, 1, count, file);
    if (got < count) {
        std::printf("Nb bytes read request : %" PRIu32 ". Nb bytes read : %zu\n", count, got);
        throw std::runtime_error("File read error");
    }
}

void file_read(std::FILE* file, void* buffer, uint64_t offset, uint32_t count) {
    file_read_at(file, buffer, offset, count);
}

uint32_t file_read_u32_be(std::FILE* file) {
    uint8_t b[4];
    read_value_bytes(file, b, "Can't read value (end of file ?)");
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint32_t file_read_u32_le(std::FILE* file) {
    uint8_t b[4];
    read_value_bytes(file, b, "Can't read value (end of file ?");
    return uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
}

uint16_t file_read_u16_le(std::FILE* file) {
    uint8_t b[2];
    read_value_bytes(file, b, "Can't read value");
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint8_t file_read_u8(std::FILE* file) {
    uint8_t b[1];
    read_value_bytes(file, b, "Can't read value");
    return b[0];
}

void print_fourcc(uint32_t code, bool in_file_order) {
    for (int i = 0; i < 4; ++i) {
        const int shift = in_file_order ? 24 - 8 * i : 8 * i;
        std::putchar(static_cast<int>((code >> shift) & 0xFF));
    }
}

void file_throw_open_error(const char16_t* path, int error) {
    char text_buffer[256];
    const std::string system_text = platform::error_text(error, text_buffer, sizeof text_buffer);
    char* utf8 = wstr_to_utf8(path);
    std::string message;
    if (error == EACCES) {
        message = std::string("Can't open file for read : (Permission Denied) : ") + (utf8 ? utf8 : "");
    } else if (utf8) {
        message = std::string("Can't open file for read : ") + utf8 + ". Error : " + std::to_string(error) + ". " +
                  system_text;
    } else {
        message = "Can't open file for read : Unknown filepath . Error : " + std::to_string(error) + ". " + system_text;
    }
    std::free(utf8);
    throw std::runtime_error(message);
}
