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
    // by nobody, as a device's that plays nowhere.
    if (silence > 0 && !held && !writer.pacesOnly && data->keepTime.load()) data->owedFrames.fetch_add(silence);

    data->callbacksInside.fetch_sub(1);
    return consumed;
}

void audio_output_note_request(AudioOutputData* data, bool waitForPace) noexcept {
    const int64_t now = now_us();
    const int64_t last = data->lastCallUs.exchange(now);
    if (last != 0 && now - last > kAudioOutputStallUs && !data->silenced.load()) {
        if (!waitForPace) {
            data->stalled.store(1);
            return;
        }
        // Quiet, but read on at the clock's pace from before the last request until a
        // moment ago: the server held that much of ours (after a restart that wrote all
        // it was granted), and what it plays is not overdue. A restart then would only
        // give it as much again, and be as quiet after it.
        const bool readOn = data->pacedSinceUs != 0 && data->pacedSinceUs <= last &&
                            now - data->readingUs <= kAudioOutputReadingUs;
        if (readOn) return;
        data->stallSeenUs = now;
        data->paceUs = 0;
        data->pacedReadings = 0;
    } else if (data->stallSeenUs != 0 && now - data->stallSeenUs > kAudioOutputSettleUs) {
        data->stallSeenUs = 0;
        data->stalled.store(1);
    }
}

void audio_output_note_stall(AudioOutputData* data) noexcept {
    data->callbacksInside.fetch_add(1);
    if (data->consumerHeld.load() == 0 && !data->silenced.load()) {
        data->stallSeenUs = now_us();
        data->paceUs = 0;
        data->pacedReadings = 0;
    }
    data->callbacksInside.fetch_sub(1);
}

void audio_output_begin_play(AudioOutputData* data, bool keepTime) noexcept {
    data->stalled.store(0);
    data->lastCallUs.store(now_us());
    // Nothing of the last play's lag reaches this one: the consumer's hold keeps the
    // device side's readings out meanwhile (audio_output_note_played).
    data->play.fetch_add(1);
    data->owedFrames.store(0);
    data->keepTime.store(keepTime ? 1 : 0);
}

namespace {

// After a stall: two readings in a row that kept to the clock since the one before say
// the server no longer catches up, and the restart may come. A reading that found
// nothing read since the one before does not: a server that has not begun again yet
// (PipeWire's graph, on a busy machine, a moment after its front end) may still have
// all its catching up before it.
// Whether the server read, from the reading at `fromUs` (`fromPlayed`) to this one, as
// much as the clock allows, give or take a server's cycle or two.
bool kept_to_clock(int64_t fromUs, int64_t fromPlayed, int64_t atUs, int64_t played, uint32_t rate) noexcept {
    const int64_t due = (atUs - fromUs) * int64_t(rate) / 1000000;
    const int64_t stray = played - fromPlayed - due;
    const int64_t allowed = kAudioOutputPaceUs * int64_t(rate) / 1000000;
    return played > fromPlayed && stray >= -allowed && stray <= allowed;
}

// A run of readings keeps to the clock only while they come close together: a server
// that stood answers late, and may have caught up on the time it stood by then
// (PulseAudio's null sink renders it at once), which looks like the clock's pace.
void note_reading_pace(AudioOutputData* data, int64_t atUs, int64_t played, uint32_t rate) noexcept {
    const bool kept = data->readingUs != 0 && atUs > data->readingUs && atUs - data->readingUs <= kAudioOutputReadingUs &&
                      kept_to_clock(data->readingUs, data->readingPlayed, atUs, played, rate);
    if (!kept) data->pacedSinceUs = atUs;
    data->readingUs = atUs;
    data->readingPlayed = played;
}

void watch_pace(AudioOutputData* data, int64_t atUs, int64_t played, uint32_t rate) noexcept {
    if (data->paceUs != 0 && atUs > data->paceUs) {
        const bool kept = kept_to_clock(data->paceUs, data->pacePlayed, atUs, played, rate);
        data->pacedReadings = kept ? data->pacedReadings + 1 : 0;
    }
    data->paceUs = atUs;
    data->pacePlayed = played;
    if (data->pacedReadings >= 2) {
        data->stallSeenUs = 0;
        data->stalled.store(1);
    }
}

}  // namespace

void audio_output_note_played(AudioOutputData* data, int64_t played, uint32_t rate, OutputReading reading,
                              int64_t ageUs) noexcept {
    // Counted as a callback, so a restart waits for it (audio_output_hold_consumer).
    data->callbacksInside.fetch_add(1);
    if (data->consumerHeld.load() != 0) {
        data->callbacksInside.fetch_sub(1);
        return;
    }
    const int64_t atUs = now_us() - ageUs;
    if (reading == OutputReading::Sampled) note_reading_pace(data, atUs, played, rate);
    if (data->stallSeenUs != 0 && reading == OutputReading::Sampled) watch_pace(data, atUs, played, rate);
    const uint32_t play = data->play.load();
    const bool keepTime = data->keepTime.load() != 0;
    if (!keepTime || play != data->lagPlay) {
        if (data->lag.started) output_lag_reset(&data->lag);
        data->lagPlay = play;
    }
    if (keepTime) {
        const uint64_t owed = output_lag_note(&data->lag, atUs, played, rate, reading);
        if (owed > 0) data->owedFrames.fetch_add(owed);
    }
    data->callbacksInside.fetch_sub(1);
}

void audio_output_hold_consumer(AudioOutputData* data) noexcept {
    data->consumerHeld.store(1);
    // A callback or a reading that came in before the hold may still be inside; neither
    // blocks, so this wait is short.
    while (data->callbacksInside.load() != 0) std::this_thread::yield();
}

void audio_output_release_consumer(AudioOutputData* data) noexcept { data->consumerHeld.store(0); }
