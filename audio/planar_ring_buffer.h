#pragma once
// Lock-free single-producer single-consumer FIFO of planar samples: one byte ring of
// the audio I/O library per plane (channel), every plane advanced by the same number
// of frames. Used for the source ring (fill job -> mixing job), the output ring
// (mixing job -> device thread) and the peak ring (mixing job -> meters).
//
// The library rounds each ring's capacity up to its page size; `reserve` hides the
// extra room so the writable count never exceeds the capacity asked for.
//
// The library takes its page size from soundio_create(): a SoundIo context must have
// been created once in the process before any ring is.
//
// Threads: one producer (get_write / advance_write) and one consumer (get_read /
// advance_read) without locks. clear, create and destroy only while neither side runs:
// the library aborts the process when a ring is cleared under a live reader.
#include <cstdint>

struct SoundIo;
struct SoundIoRingBuffer;

struct PlanarRingBuffer {
    uint32_t bytesPerSample = 0;
    uint32_t planeCount = 0;
    uint32_t frequency = 0;  // kept for the owner; the ring does not use it
    uint32_t frames = 0;     // capacity asked for, in frames
    uint32_t reserve = 0;    // frames of real capacity beyond `frames`, never writable
    SoundIoRingBuffer** planes = nullptr;  // planeCount rings
};

void planar_ring_buffer_init(PlanarRingBuffer* rb) noexcept;

// Builds planeCount rings of frames x bytesPerSample bytes each. Throws
// std::runtime_error "Unallocated ring buffer p", "Invalid plane count (0)",
// "Invalid frequency (0)", "Invalid nb samples (0)", "Invalid byte per sample (0)"
// (checked in that order), or std::bad_alloc when a ring cannot be created; on a
// failure after the checks the record keeps what was built, for
// planar_ring_buffer_destroy. Rings the record already held are released first.
void planar_ring_buffer_create(SoundIo* context, PlanarRingBuffer* rb, uint32_t planeCount, uint32_t frequency,
                               uint32_t frames, uint32_t bytesPerSample);

void planar_ring_buffer_clear(PlanarRingBuffer* rb) noexcept;

// Releases the rings; harmless on a null, initialised-only or already destroyed record.
void planar_ring_buffer_destroy(PlanarRingBuffer* rb) noexcept;

// Producer side: the frames every plane can take now and one write pointer per plane
// (contiguous for the whole count). A record without rings reports 0.
void planar_ring_buffer_get_write(PlanarRingBuffer* rb, uint32_t* frames, uint8_t** planes) noexcept;

// Consumer side: the frames every plane holds and one read pointer per plane.
// Without rings it returns at once and leaves *frames untouched.
void planar_ring_buffer_get_read(PlanarRingBuffer* rb, uint32_t* frames, uint8_t** planes) noexcept;

// Moves every plane's write (read) offset by frames. The move is limited to what the
// matching get function would report, so a caller's overrun cannot corrupt the ring.
void planar_ring_buffer_advance_write(PlanarRingBuffer* rb, uint32_t frames) noexcept;
void planar_ring_buffer_advance_read(PlanarRingBuffer* rb, uint32_t frames) noexcept;
