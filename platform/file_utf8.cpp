#include "platform/file_utf8.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/types.h>

#include "platform/text_utf.h"

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace platform {

std::FILE* fopen_utf8(const char* path, const char* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    return std::fopen(path, mode);
}

std::FILE* fopen_utf16(const char16_t* path, const char* mode) {
    std::string utf8;
    if (!utf16_to_utf8(path, utf8)) {
        errno = EINVAL;
        return nullptr;
    }
    return fopen_utf8(utf8.c_str(), mode);
}

int fseek64(std::FILE* file, int64_t offset, int whence) {
    return fseeko(file, static_cast<off_t>(offset), whence);
}

int64_t ftell64(std::FILE* file) { return static_cast<int64_t>(ftello(file)); }

const char* error_text(int error_number, char* buffer, std::size_t buffer_size) {
    // GNU strerror_r may return a static string instead of filling the buffer.
    return strerror_r(error_number, buffer, buffer_size);
}

}  // namespace platform
