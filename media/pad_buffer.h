#pragma once
// Growable byte buffer into which compressed movie frames are read. It only grows:
// a request that fits keeps the block, so reading frame after frame settles on one
// allocation. Optional padding bytes after the requested size are kept zeroed for
// decoders that read a little past the end. No lock: the owner serialises its use.
#include <cstdint>

struct PadBuffer {
    uint8_t* data;     // owned block, or nullptr
    uint16_t padding;  // zeroed bytes kept after the requested size
    uint32_t capacity; // size of `data` in bytes
    uint32_t length;   // meaningful bytes, set by the owner after filling

    // All fields 0.
    static void init(PadBuffer* buffer) noexcept;
    // Frees the block and clears `data` and `capacity`; a null buffer is ignored.
    static void free(PadBuffer* buffer) noexcept;
    // Makes room for `size` bytes plus the padding. Keeps the block and its contents
    // when they fit; otherwise replaces it (contents lost). `length` is left alone.
    // Throws std::runtime_error for a null buffer or a size that leaves no room for
    // the padding, std::bad_alloc when memory runs out.
    static void alloc(PadBuffer* buffer, uint32_t size);
};
