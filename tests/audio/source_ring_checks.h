#pragma once
// What the source buffer's ring holds, against what the serial path makes of the same
// sources: every second read in order and converted on its own by a plain format
// process, one channel after the other. A seek fills the first second itself and its
// fill job the rest of the ring right after: waiting for the ring to be full is
// waiting for that job, whatever the machine's load.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "audio/frequency_conversion.h"
#include "base/pcm/audio_data.h"
#include "audio/planar_ring_buffer.h"

using Planes = std::vector<std::vector<float>>;

template <class Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds limit = std::chrono::milliseconds(20000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

inline uint32_t readable(PlanarRingBuffer* ring) {
    uint32_t frames = 0;
    std::vector<uint8_t*> planes(ring->planeCount);
    planar_ring_buffer_get_read(ring, &frames, planes.data());
    return frames;
}

// The fill job has filled the whole ring (nothing reads it meanwhile).
inline bool wait_for_full_ring(AudioSrcBuffer& buffer) {
    return wait_until([&] { return readable(buffer.sourceRing()) == AudioSrcBuffer::kRingFrames; });
}

// Every plane of the ring as it stands, left in the ring.
inline Planes ring_planes(PlanarRingBuffer* ring) {
    uint32_t frames = 0;
    std::vector<uint8_t*> planes(ring->planeCount);
    planar_ring_buffer_get_read(ring, &frames, planes.data());
    Planes result;
    for (uint8_t* plane : planes) {
        const auto* samples = reinterpret_cast<const float*>(plane);
        result.emplace_back(samples, samples + frames);
    }
    return result;
}

inline bool same_bits(const Planes& a, const Planes& b) {
    if (a.size() != b.size()) return false;
    for (size_t p = 0; p < a.size(); ++p) {
        if (a[p].size() != b[p].size()) return false;
        if (std::memcmp(a[p].data(), b[p].data(), a[p].size() * sizeof(float)) != 0) return false;
    }
    return true;
}

// The first `frames` frames of every plane.
inline Planes first_frames(const Planes& planes, size_t frames) {
    Planes result;
    for (const std::vector<float>& plane : planes)
        result.emplace_back(plane.begin(), plane.begin() + std::min(frames, plane.size()));
    return result;
}

// The output plane a one-channel-per-output source channel feeds.
inline uint32_t plane_of(const AudioSrcTrack* track, int channel) {
    const uint64_t mask = track->channelMapping(channel);
    return mask ? uint32_t(__builtin_ctzll(mask)) : 0;
}

// `blocks` seconds from `seconds` at `speed` (1, 2, -1 or -2), loop on: the tracks'
// seconds converted one after the other by a format process of their own, each track
// read by a second reader of its own (`readers`, in the order of `routed`), routed one
// to one onto `outputs` planes.
inline Planes serial_reference(const std::vector<AudioSrcTrack*>& routed, const std::vector<AudioSrcTrack*>& readers,
                               uint32_t outputs, double seconds, uint32_t blocks, int speed = 1) {
    const uint32_t step = uint32_t(std::abs(speed));
    Planes result(outputs, std::vector<float>(size_t(blocks) * 48000, 0.0f));
    for (AudioSrcTrack* reader : readers) reader->seekSeconds(seconds);
    for (uint32_t b = 0; b < blocks; ++b) {
        for (size_t i = 0; i < readers.size(); ++i) {
            AudioSrcTrack* reader = readers[i];
            AudioData data;
            audio_data_init(&data);
            reader->pcmDescriptor(&data.descriptor);
            audio_data_alloc(&data, data.descriptor.frequency * step);
            if (speed < 0) {
                reader->readReverse(data.data, reader->position(), data.frames, true);
            } else {
                reader->readForward(data.data, reader->position(), data.frames, true);
            }
            AudioFormatProcess process;
            audio_process_init(&process);
            audio_process_setup(&process, &data.descriptor, 0, 48000, step, 1);
            std::vector<float*> targets;
            for (uint32_t c = 0; c < reader->channels(); ++c)
                targets.push_back(result[plane_of(routed[i], int(c))].data() + size_t(b) * 48000);
            audio_process_run_checked(&process, targets.data(), &data, 1);
            audio_process_free(&process);
            audio_data_free(&data);
        }
    }
    return result;
}
