#pragma once
// Writing a snapshot file. The file must not exist yet: it is created exclusively, so
// an existing picture is never overwritten, and a write that fails part-way removes
// what it wrote. Any thread.
#include <cstdint>

// Writes `count` bytes to the new file at `path` (null-terminated UTF-16). Throws
// std::runtime_error "Can't open target file (write) : <path>. Error : <errno>.
// <system text>" when the file cannot be created (an existing file included), and
// "Error file write" after a short write.
void file_write_all(const char16_t* path, const uint8_t* bytes, uint64_t count);
