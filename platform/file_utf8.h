#pragma once
// Buffered file streams opened from UTF-8 or UTF-16 paths, with 64-bit positions.
// Movies and audio files are routinely larger than 2 GiB, so every seek and tell
// goes through these.
#include <cstdint>
#include <cstdio>

namespace platform {

// fopen on a UTF-8 path. Returns nullptr with errno set on failure.
std::FILE* fopen_utf8(const char* path, const char* mode);

// fopen on a null-terminated UTF-16 path; an invalid UTF-16 path fails with EINVAL.
std::FILE* fopen_utf16(const char16_t* path, const char* mode);

// Seek with a 64-bit offset; `whence` is SEEK_SET, SEEK_CUR or SEEK_END. Returns 0 on success.
int fseek64(std::FILE* file, int64_t offset, int whence);

// Current position as a 64-bit value, or -1 on failure.
int64_t ftell64(std::FILE* file);

// The system's text for an error number (thread-safe).
const char* error_text(int error_number, char* buffer, std::size_t buffer_size);

}  // namespace platform
