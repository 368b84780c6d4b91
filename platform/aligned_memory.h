#pragma once
// 64-byte aligned heap blocks for frame planes and other buffers read by vector kernels.
#include <cstddef>

namespace platform {

constexpr std::size_t kBufferAlignment = 64;

// Returns a block of at least `size` bytes starting on a 64-byte boundary, or nullptr
// when the memory cannot be had. A size of 0 still returns a valid, freeable block.
void* aligned_alloc64(std::size_t size) noexcept;

// Releases a block from aligned_alloc64; nullptr is ignored.
void aligned_free64(void* block) noexcept;

}  // namespace platform
