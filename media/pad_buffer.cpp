#include "media/pad_buffer.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

void PadBuffer::init(PadBuffer* buffer) noexcept {
    buffer->data = nullptr;
    buffer->padding = 0;
    buffer->capacity = 0;
    buffer->length = 0;
}

void PadBuffer::free(PadBuffer* buffer) noexcept {
    if (!buffer) return;
    // Test the pointer, not the capacity: a zero-byte request still owns a block.
    delete[] buffer->data;
    buffer->data = nullptr;
    buffer->capacity = 0;
}

void PadBuffer::alloc(PadBuffer* buffer, uint32_t size) {
    if (!buffer) throw std::runtime_error("buf obj est null");
    const uint64_t needed = uint64_t(size) + buffer->padding;
    if (needed >= 4294967295u) {
        throw std::runtime_error("Alloc buffer : Taille demandee ne laisse pas la place au padding : New size : " +
                                 std::to_string(size) + " ; padding : " + std::to_string(buffer->padding));
    }
    if (!buffer->data || needed > buffer->capacity) {
        // Free first so a failed allocation leaves an empty, consistent buffer.
        PadBuffer::free(buffer);
        buffer->data = new uint8_t[needed];
        buffer->capacity = static_cast<uint32_t>(needed);
    }
    std::memset(buffer->data + size, 0, buffer->padding);
}
