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

int64_t now_us() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* error_text(const AudioDeviceWriter& writer, int error) {
    return writer.errorText ? writer.errorText(error) : "unknown error";
}

// Writes `total` frames into the device: the first `sound` of them from the start of
// the ring planes (null planes: silence), silence after them. Returns the frames the
// device really took.
uint32_t write_frames(const AudioDeviceWriter& writer, uint8_t* const* planes, uint32_t planeCount, uint32_t sound,
                      uint32_t total, AudioOutputTap* tap) noexcept {
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
        const uint32_t heard = written < sound ? std::min(frames, sound - written) : 0;

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
                const float sample = source && i < heard ? source[i] : 0.0f;
                std::memcpy(target, &sample, sizeof(float));
                target += step;
            }
        }
        if (tap) {
            if (heard > 0) tap->onBlock(planes ? sources : nullptr, writer.channels, heard);
            if (frames > heard) tap->onBlock(nullptr, writer.channels, frames - heard);
        }

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

    data->requestFrames.store(minFrames, std::memory_order_relaxed);

    uint32_t consumed = 0;
    uint32_t written = 0;
    uint32_t silence = 0;  // written for want of sound
    bool wrote = false;
    PlanarRingBuffer* ring = data->ring;
    const bool held = data->consumerHeld.load() != 0;
    if (!held && ring && ring->planeCount <= kAudioOutputMaxPlanes) {
        uint32_t readable = 0;
        uint8_t* planes[kAudioOutputMaxPlanes] = {};
        planar_ring_buffer_get_read(ring, &readable, planes);
        if (readable > 0) {
            // Less than the device needs (the end of a step, or a late mixing job): what
            // there is, then silence, in the one write a period-bound device allows.
            const uint32_t sound = std::min(readable, maxFrames);
            const uint32_t total = std::max(sound, std::min(minFrames, maxFrames));
            written = write_frames(writer, planes, ring->planeCount, sound, total, tap);
            // Only what reached the device leaves the ring.
            consumed = std::min(written, sound);
            silence = written - consumed;
            planar_ring_buffer_advance_read(ring, consumed);
            wrote = true;
        }
    }
    // Nothing in the ring (or held off): the device still needs its minimum, as silence.
    if (!wrote && minFrames > 0) {
        written = write_frames(writer, nullptr, 0, 0, std::min(minFrames, maxFrames), tap);
        silence = written;
    }
    data->writtenFrames += written;
    // A restart holds the consumer while it sets up the next play: its silence is owed
    // by nobody.
    if (silence > 0 && !held && data->keepTime.load()) data->owedFrames.fetch_add(silence);

    data->callbacksInside.fetch_sub(1);
    return consumed;
}

void audio_output_note_request(AudioOutputData* data) noexcept {
    const int64_t now = now_us();
    const int64_t last = data->lastCallUs.exchange(now);
    if (last != 0 && now - last > kAudioOutputStallUs && !data->silenced.load()) data->stalled.store(1);
}

void audio_output_begin_play(AudioOutputData* data, bool keepTime) noexcept {
    data->stalled.store(0);
    data->lastCallUs.store(now_us());
    data->owedFrames.store(0);
    data->play.fetch_add(1);
    data->keepTime.store(keepTime ? 1 : 0);
}

void audio_output_note_played(AudioOutputData* data, int64_t played, uint32_t rate, OutputReading reading,
                              int64_t ageUs) noexcept {
    const uint32_t play = data->play.load();
    const bool keepTime = data->keepTime.load() != 0;
    if (!keepTime || play != data->lagPlay) {
        if (data->lag.started) output_lag_reset(&data->lag);
        data->lagPlay = play;
        if (!keepTime) return;
    }
    const uint64_t owed = output_lag_note(&data->lag, now_us() - ageUs, played, rate, reading);
    // A restart may have come meanwhile: the lag was the last play's.
    if (owed > 0 && data->play.load() == play) data->owedFrames.fetch_add(owed);
}

void audio_output_hold_consumer(AudioOutputData* data) noexcept {
    data->consumerHeld.store(1);
    // A callback that came in before the hold may still be reading; it never blocks,
    // so this wait is short.
    while (data->callbacksInside.load() != 0) std::this_thread::yield();
}

void audio_output_release_consumer(AudioOutputData* data) noexcept { data->consumerHeld.store(0); }
