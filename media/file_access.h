#pragma once
// Stream access shared by the movie and WAV readers: sizes, positions, exact
// positioned reads and small big/little-endian values. Every function throws
// std::runtime_error with a fixed text on failure. Callers serialise use of one
// stream (the movie or WAV reader holds its lock around these).
#include <cstdint>
#include <cstdio>

// Seeks to the end and returns the position.
uint64_t file_size(std::FILE* file);
// The current position.
uint64_t file_tell(std::FILE* file);
// Seeks to an absolute offset.
void file_seek(std::FILE* file, uint64_t offset);
// Seeks forward from the current position.
void file_seek_cur(std::FILE* file, uint64_t offset);
// Positions the stream at `offset` and reads exactly `count` bytes into `buffer`.
void file_read_at(std::FILE* file, void* buffer, uint64_t offset, uint32_t count);
// The same operation as file_read_at, under the name the readers use.
void file_read(std::FILE* file, void* buffer, uint64_t offset, uint32_t count);

uint32_t file_read_u32_be(std::FILE* file);
uint32_t file_read_u32_le(std::FILE* file);
uint16_t file_read_u16_le(std::FILE* file);
uint8_t file_read_u8(std::FILE* file);

// Throws the "Can't open file for read" text of a failed open of `path` with `error` (errno).
[[noreturn]] void file_throw_open_error(const char16_t* path, int error);

// Prints the four bytes of a code, most significant first when `in_file_order`.
void print_fourcc(uint32_t code, bool in_file_order);
