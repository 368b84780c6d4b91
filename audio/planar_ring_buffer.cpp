#include "audio/planar_ring_buffer.h"

#include <soundio/soundio.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <new>
#include <stdexcept>

namespace {

// The smallest byte count over planes of `count` (free or filled bytes), with each
// plane's matching pointer; a missing plane counts 0.
uint64_t smallest_plane_bytes(const PlanarRingBuffer* rb, uint8_t** pointers,
                              int (*count)(SoundIoRingBuffer*), char* (*pointer)(SoundIoRingBuffer*)) noexcept {
    uint64_t smallest = UINT64_MAX;
    for (uint32_t p = 0; p < rb->planeCount; ++p) {
        SoundIoRingBuffer* ring = rb->planes[p];
        if (!ring) {
            if (pointers) pointers[p] = nullptr;
            smallest = 0;
            continue;
        }
        smallest = std::min<uint64_t>(smallest, static_cast<uint64_t>(count(ring)));
        if (pointers) pointers[p] = reinterpret_cast<uint8_t*>(pointer(ring));
    }
    return smallest == UINT64_MAX ? 0 : smallest;
}

// Bytes every plane can take now.
uint64_t smallest_free_bytes(const PlanarRingBuffer* rb, uint8_t** pointers) noexcept {
    return smallest_plane_bytes(rb, pointers, soundio_ring_buffer_free_count, soundio_ring_buffer_write_ptr);
}

// Bytes every plane holds now.
uint64_t smallest_fill_bytes(const PlanarRingBuffer* rb, uint8_t** pointers) noexcept {
    return smallest_plane_bytes(rb, pointers, soundio_ring_buffer_fill_count, soundio_ring_buffer_read_ptr);
}

uint32_t writable_frames(const PlanarRingBuffer* rb, uint8_t** pointers) noexcept {
    const uint64_t free_bytes = smallest_free_bytes(rb, pointers);
    if (free_bytes < rb->bytesPerSample) return 0;
    const uint64_t whole = free_bytes / rb->bytesPerSample;
    return whole > rb->reserve ? static_cast<uint32_t>(whole - rb->reserve) : 0;
}

uint32_t readable_frames(const PlanarRingBuffer* rb, uint8_t** pointers) noexcept {
    const uint64_t fill_bytes = smallest_fill_bytes(rb, pointers);
    if (fill_bytes < rb->bytesPerSample) return 0;
    return static_cast<uint32_t>(fill_bytes / rb->bytesPerSample);
}

bool has_rings(const PlanarRingBuffer* rb) noexcept {
    return rb && rb->planes && rb->bytesPerSample != 0;
}

}  // namespace

void planar_ring_buffer_init(PlanarRingBuffer* rb) noexcept {
    rb->bytesPerSample = 0;
    rb->planeCount = 0;
    rb->frequency = 0;
    rb->frames = 0;
    rb->reserve = 0;
    rb->planes = nullptr;
}

void planar_ring_buffer_create(SoundIo* context, PlanarRingBuffer* rb, uint32_t planeCount, uint32_t frequency,
                               uint32_t frames, uint32_t bytesPerSample) {
    if (!rb) throw std::runtime_error("Unallocated ring buffer p");
    if (planeCount == 0) throw std::runtime_error("Invalid plane count (0)");
    if (frequency == 0) throw std::runtime_error("Invalid frequency (0)");
    if (frames == 0) throw std::runtime_error("Invalid nb samples (0)");
    if (bytesPerSample == 0) throw std::runtime_error("Invalid byte per sample (0)");

    // Recreating without destroying first would leak the old rings.
    planar_ring_buffer_destroy(rb);
    rb->bytesPerSample = bytesPerSample;
    rb->planeCount = planeCount;
    rb->frequency = frequency;
    rb->frames = frames;
    rb->reserve = 0;
    rb->planes = new SoundIoRingBuffer*[planeCount]();

    // The library takes an int: a size that does not fit is refused, never wrapped.
    const uint64_t requested = static_cast<uint64_t>(frames) * bytesPerSample;
    uint64_t largest = requested;
    for (uint32_t p = 0; p < planeCount; ++p) {
        SoundIoRingBuffer* ring = nullptr;
        if (requested <= INT_MAX) ring = soundio_ring_buffer_create(context, static_cast<int>(requested));
        if (!ring) {
            std::printf("ERR : Fail to create ring buffer for : %" PRIu64 "\n", requested);
            throw std::bad_alloc();
        }
        rb->planes[p] = ring;
        largest = std::max<uint64_t>(largest, static_cast<uint64_t>(soundio_ring_buffer_capacity(ring)));
    }
    const uint64_t capacity_frames = largest / bytesPerSample;
    rb->reserve = capacity_frames > frames ? static_cast<uint32_t>(capacity_frames - frames) : 0;
}

void planar_ring_buffer_clear(PlanarRingBuffer* rb) noexcept {
    if (!rb || !rb->planes) return;
    for (uint32_t p = 0; p < rb->planeCount; ++p)
        if (rb->planes[p]) soundio_ring_buffer_clear(rb->planes[p]);
}

void planar_ring_buffer_destroy(PlanarRingBuffer* rb) noexcept {
    if (!rb || !rb->planes) return;
    for (uint32_t p = 0; p < rb->planeCount; ++p)
        if (rb->planes[p]) soundio_ring_buffer_destroy(rb->planes[p]);
    delete[] rb->planes;
    rb->planes = nullptr;
}

void planar_ring_buffer_get_write(PlanarRingBuffer* rb, uint32_t* frames, uint8_t** planes) noexcept {
    if (!has_rings(rb)) {
        *frames = 0;
        return;
    }
    *frames = writable_frames(rb, planes);
}

void planar_ring_buffer_get_read(PlanarRingBuffer* rb, uint32_t* frames, uint8_t** planes) noexcept {
    if (!has_rings(rb)) return;
    if (!rb->planes[0]) {
        *frames = 0;
        return;
    }
    *frames = readable_frames(rb, planes);
}

// The library asserts (aborting the process) when an offset passes the other side's,
// so each advance is limited to what that side may move.
void planar_ring_buffer_advance_write(PlanarRingBuffer* rb, uint32_t frames) noexcept {
    if (!has_rings(rb)) return;
    const uint32_t n = std::min(frames, writable_frames(rb, nullptr));
    if (n == 0) return;
    const int bytes = static_cast<int>(static_cast<uint64_t>(n) * rb->bytesPerSample);
    for (uint32_t p = 0; p < rb->planeCount; ++p) soundio_ring_buffer_advance_write_ptr(rb->planes[p], bytes);
}

void planar_ring_buffer_advance_read(PlanarRingBuffer* rb, uint32_t frames) noexcept {
    if (!has_rings(rb)) return;
    const uint32_t n = std::min(frames, readable_frames(rb, nullptr));
    if (n == 0) return;
    const int bytes = static_cast<int>(static_cast<uint64_t>(n) * rb->bytesPerSample);
    for (uint32_t p = 0; p < rb->planeCount; ++p) soundio_ring_buffer_advance_read_ptr(rb->planes[p], bytes);
}
