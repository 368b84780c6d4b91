#include "platform/aligned_memory.h"

#include <cstdlib>

namespace platform {

void* aligned_alloc64(std::size_t size) noexcept {
    void* block = nullptr;
    if (posix_memalign(&block, kBufferAlignment, size == 0 ? 1 : size) != 0) return nullptr;
    return block;
}

void aligned_free64(void* block) noexcept { std::free(block); }

}  // namespace platform
