#include "audio/audio_output_writer.h"

#include <soundio/soundio.h>

#include <QDebug>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "audio/audio_output_capture.h"
#include "audio/planar_ring_buffer.h"

namespace {

const char* error_text(const AudioDeviceWriter& writer, int error) {
    return writer.errorText ? writer.errorText(error) : "unknown error";
}

// Writes `total` frames into the device from the start of the ring planes (null
// planes: silence). Returns the frames the device really took.
uint32_t write_frames(const AudioDeviceWriter& writer, uint8_t* const* planes, uint32_t planeCount, uint32_t total,
                      AudioOutputTap* tap) noexcept {
    const uint32_t channels = std::min(writer.channels, kAudioOutputMaxPlanes);
    uint32_t written = 0;
    while (written < total) {
        int granted = static_cast<int>(total - written);
        SoundIoChannelArea* areas = nullptr;
        const int begin = writer.beginWrite(writer.stream, &areas, &granted);
        if (begin != 0) {
            qDebug("begin write error: %s", error_text(writer, begin));
            break;
        }
        if (granted <= 0 || !areas) break;
        const uint32_t frames = std::min(static_cast<uint32_t>(granted), total - written);

        const float* sources[kAudioOutputMaxPlanes] = {};
        for (uint32_t c = 0; c < channels; ++c) {
            if (planes && c < planeCount && planes[c])
                sources[c] = reinterpret_cast<const float*>(planes[c]) + written;
        }
        for (uint32_t c = 0; c < channels; ++c) {
            char* target = areas[c].ptr;
            const int step = areas[c].step;
            const float* source = sources[c];
            for (uint32_t i = 0; i < frames; ++i) {
                const float sample = source ? source[i] : 0.0f;
                std::memcpy(target, &sample, sizeof(float));
                target += step;
            }
        }
        if (tap) tap->onBlock(planes ? sources : nullptr, writer.channels, frames);

        written += frames;
        const int end = writer.endWrite(writer.stream);
        if (end != 0) {
            qDebug("end write error: %s", error_text(writer, end));
            break;
        }
    }
    return written;
}

}  // namespace

uint32_t audio_output_write(AudioOutputData* data, const AudioDeviceWriter& writer, int frameCountMin,
                            int frameCountMax) noexcept {
    if (!data || !writer.beginWrite || !writer.endWrite) return 0;
    data->callbacksInside.fetch_add(1);
    AudioOutputTap* tap = data->tap.load();
    const uint32_t minFrames = frameCountMin > 0 ? static_cast<uint32_t>(frameCountMin) : 0;
    const uint32_t maxFrames = frameCountMax > 0 ? static_cast<uint32_t>(frameCountMax) : 0;

    uint32_t consumed = 0;
    bool wrote = false;
    PlanarRingBuffer* ring = data->ring;
    if (!data->consumerHeld.load() && ring && ring->planeCount <= kAudioOutputMaxPlanes) {
        uint32_t readable = 0;
        uint8_t* planes[kAudioOutputMaxPlanes] = {};
        planar_ring_buffer_get_read(ring, &readable, planes);
        if (readable > 0 && readable >= minFrames) {
            consumed = write_frames(writer, planes, ring->planeCount, std::min(readable, maxFrames), tap);
            // Only what reached the device leaves the ring.
            planar_ring_buffer_advance_read(ring, consumed);
            wrote = true;
        }
    }
    // Too little in the ring (or held off): the device still needs its minimum, as
    // silence; the ring keeps its frames for the next call.
    if (!wrote && minFrames > 0) write_frames(writer, nullptr, 0, std::min(minFrames, maxFrames), tap);

    data->callbacksInside.fetch_sub(1);
    return consumed;
}

void audio_output_hold_consumer(AudioOutputData* data) noexcept {
    data->consumerHeld.store(1);
    // A callback that came in before the hold may still be reading; it never blocks,
    // so this wait is short.
    while (data->callbacksInside.load() != 0) std::this_thread::yield();
}

void audio_output_release_consumer(AudioOutputData* data) noexcept { data->consumerHeld.store(0); }
