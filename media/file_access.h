#pragma once
// Exact positioned reads from a buffered file stream. Callers serialise use of one
// stream (the movie or WAV reader holds its lock around these).
#include <cstdint>
#include <cstdio>

// Positions the stream at the absolute `offset` and reads exactly `count` bytes into
// `buffer`; throws std::runtime_error when the seek fails or fewer bytes arrive.
void file_read_at(std::FILE* file, void* buffer, uint64_t offset, uint32_t count);
