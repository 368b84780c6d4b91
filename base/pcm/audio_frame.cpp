#include "base/pcm/audio_frame.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "base/pcm/audio_data.h"

namespace {

uint8_t silence_byte(uint32_t codec) { return codec == AudioPcmCodec_U8 ? 128 : 0; }

// Bytes of `samples` samples of one plane.
uint64_t plane_bytes(const AudioFrame* frame, uint64_t samples) {
    const uint64_t per = uint64_t(frame->bytesPerSample) * (frame->planar ? 1 : frame->channels);
    return samples * per;
}

// Makes the three per-channel arrays at least `count` long (contents not kept).
void ensure_slots(AudioFrame* frame, uint32_t count) {
    if (frame->slotCount >= count && frame->planes && frame->masks && frame->status) return;
    std::unique_ptr<uint8_t*[]> planes(new uint8_t*[count]());
    std::unique_ptr<uint64_t[]> masks(new uint64_t[count]());
    std::unique_ptr<uint32_t[]> status(new uint32_t[count]());
    delete[] frame->planes;
    delete[] frame->masks;
    delete[] frame->status;
    frame->planes = planes.release();
    frame->masks = masks.release();
    frame->status = status.release();
    frame->slotCount = count;
}

// Fills [from, to) samples of every plane with silence.
void fill_silence_range(AudioFrame* frame, uint32_t from, uint32_t to) {
    if (from >= to || !frame->planes) return;
    const uint64_t offset = plane_bytes(frame, from);
    const uint64_t bytes = plane_bytes(frame, to - from);
    for (uint32_t p = 0; p < frame->planeCount; ++p)
        if (frame->planes[p]) std::memset(frame->planes[p] + offset, silence_byte(frame->codec), bytes);
}

}  // namespace

AudioFrame* audio_frame_new() {
    auto* frame = new AudioFrame;
    audio_frame_init(frame);
    return frame;
}

void audio_frame_init(AudioFrame* frame) noexcept {
    std::memset(frame, 0, sizeof(AudioFrame));
    frame->codec = AudioPcmCodec_S16LE;
}

void audio_frame_alloc(AudioFrame* frame, uint32_t codec, uint32_t channels, uint32_t frequency, bool planar,
                       uint32_t samples) {
    const uint32_t bytesPerSample = audio_pcm_bytes_per_sample(codec);
    if (channels == 0) throw std::runtime_error("Invalid zero channel");
    if (channels > kAudioFrameMaxChannels) throw std::runtime_error("Too much channels");
    if (frequency == 0) throw std::runtime_error("Invalid frequency (0)");
    if (samples == 0) throw std::runtime_error("Invalid samples (0)");
    if (channels == 1) planar = true;

    const uint64_t capacity = (uint64_t(samples) + frequency - 1) / frequency * frequency;
    const uint64_t blockSize = capacity * bytesPerSample * channels;
    if (blockSize == 0) throw std::runtime_error("Invalid audio data alloc size (0)");
    // The record counts bytes in 32 bits: a block beyond that cannot be described.
    if (blockSize > UINT32_MAX || capacity > UINT32_MAX) throw std::runtime_error("Invalid audio data alloc size");

    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    ensure_slots(frame, channels);
    delete[] frame->block;
    frame->block = block.release();
    frame->blockSize = uint32_t(blockSize);
    frame->codec = codec;
    frame->planar = planar ? 1 : 0;
    frame->channels = channels;
    frame->frequency = frequency;
    frame->bytesPerSample = bytesPerSample;
    frame->bytesPerSecond = bytesPerSample * frequency;
    frame->capacity = uint32_t(capacity);
    if (planar) {
        frame->planeCount = channels;
        frame->planeStride = uint32_t(capacity * bytesPerSample);
        for (uint32_t c = 0; c < channels; ++c) frame->planes[c] = frame->block + uint64_t(c) * frame->planeStride;
    } else {
        frame->planeCount = 1;
        frame->planeStride = 0;
        frame->planes[0] = frame->block;
    }
    for (uint32_t c = 0; c < channels; ++c) {
        frame->masks[c] = uint64_t(1) << c;
        frame->status[c] = AudioFrameStatus_Data;
    }
}

void audio_frame_ref(AudioFrame* dst, const AudioFrame* src) {
    ensure_slots(dst, src->slotCount > 0 ? src->slotCount : 1);
    delete[] dst->block;
    dst->block = nullptr;
    dst->blockSize = 0;
    dst->codec = src->codec;
    dst->planar = src->planar;
    dst->channels = src->channels;
    dst->frequency = src->frequency;
    dst->bytesPerSample = src->bytesPerSample;
    dst->bytesPerSecond = src->bytesPerSecond;
    dst->capacity = src->capacity;
    dst->planeStride = src->planeStride;
    dst->planeCount = src->planeCount;
    dst->sampleCount = src->sampleCount;
    for (uint32_t p = 0; p < src->planeCount; ++p) dst->planes[p] = src->planes[p];
    for (uint32_t c = 0; c < src->channels; ++c) {
        dst->masks[c] = src->masks[c];
        dst->status[c] = src->status[c];
    }
}

void audio_frame_skip(AudioFrame* frame, uint32_t start) {
    if (start == 0) return;
    if (start >= frame->sampleCount) {
        std::printf("Start sample : %d ; Real sample count : %d\n", int(start), int(frame->sampleCount));
        throw std::runtime_error("Invalid start sample for ref");
    }
    frame->sampleCount -= start;
    // The view ends where its source ends: whatever reads it up to its capacity stays inside.
    frame->capacity -= start;
    const uint64_t offset = plane_bytes(frame, start);
    for (uint32_t p = 0; p < frame->planeCount; ++p) frame->planes[p] += offset;
}

void audio_frame_copy(AudioFrame* dst, const AudioFrame* src) {
    for (uint32_t c = 0; c < dst->channels && dst->status; ++c) dst->status[c] = AudioFrameStatus_Data;
    if (dst->codec != src->codec) {
        std::printf("Can't copy frame : Audio descriptor not consistent : Src : %s ; Dst : %s\n",
                    audio_pcm_codec_name(src->codec), audio_pcm_codec_name(dst->codec));
        throw std::runtime_error("Can't copy frame : Audio descriptor not consistent");
    }
    if (dst->planar != src->planar) throw std::runtime_error("Can't copy frame : Audio planar not consistent");
    if (dst->channels != src->channels) throw std::runtime_error("Can't copy frame : Audio channels not consistent");
    if (dst->frequency != src->frequency)
        throw std::runtime_error("Can't copy frame : Audio frequency not consistent");
    if (dst->planeCount != src->planeCount) throw std::runtime_error("Can't copy frame : Audio planes not consistent");

    uint32_t n = src->sampleCount;
    if (n > dst->capacity) {
        std::printf("WARNING : not enough space to store all sample in dst (%u need , %u available)\n", n,
                    dst->capacity);
        n = dst->capacity;
    }
    dst->sampleCount = n;
    if (n > 0) {
        const uint64_t bytes = plane_bytes(dst, n);
        for (uint32_t p = 0; p < dst->planeCount; ++p) std::memcpy(dst->planes[p], src->planes[p], bytes);
        for (uint32_t c = 0; c < dst->channels; ++c) {
            dst->masks[c] = src->masks[c];
            dst->status[c] = src->status[c];
        }
    }
    audio_frame_fill_silence_tail(dst);
}

void audio_frame_fill_silence_tail(AudioFrame* frame) {
    if (frame->sampleCount > frame->capacity) {
        std::printf("Warning invalid silence fill\n");
    } else {
        fill_silence_range(frame, frame->sampleCount, frame->capacity);
    }
    if (frame->sampleCount == 0)
        for (uint32_t c = 0; c < frame->channels && frame->status; ++c) frame->status[c] = AudioFrameStatus_Silent;
}

void audio_frame_pad_to_second(AudioFrame* frame) {
    if (frame->frequency == 0) return;
    const uint64_t next = (uint64_t(frame->sampleCount) + frame->frequency - 1) / frame->frequency * frame->frequency;
    if (frame->sampleCount > frame->capacity || next > frame->capacity) {
        std::printf("Warning invalid silence fill\n");
        return;
    }
    fill_silence_range(frame, frame->sampleCount, uint32_t(next));
}

void audio_frame_reset_status(AudioFrame* frame) noexcept {
    for (uint32_t c = 0; c < frame->channels && frame->status; ++c) frame->status[c] = AudioFrameStatus_Data;
}

void audio_frame_free_data(AudioFrame* frame) noexcept {
    delete[] frame->block;
    delete[] frame->planes;
    delete[] frame->masks;
    delete[] frame->status;
    frame->block = nullptr;
    frame->planes = nullptr;
    frame->masks = nullptr;
    frame->status = nullptr;
    frame->slotCount = 0;
    frame->blockSize = 0;
    frame->capacity = 0;
    frame->planeCount = 0;
    frame->sampleCount = 0;
}

void audio_frame_array_init(AudioFrameArray* array) noexcept {
    array->frames = nullptr;
    array->count = 0;
}

void audio_frame_array_new(AudioFrameArray* array, uint32_t count) {
    if (count == 0) throw std::runtime_error("Invalid nb frames");
    std::unique_ptr<AudioFrame*[]> frames(new AudioFrame*[count]());
    try {
        for (uint32_t i = 0; i < count; ++i) frames[i] = audio_frame_new();
    } catch (...) {
        for (uint32_t i = 0; i < count; ++i) delete frames[i];
        throw;
    }
    array->frames = frames.release();
    array->count = count;
}

void audio_frame_array_free(AudioFrameArray* array) noexcept {
    if (!array->frames) {
        array->count = 0;
        return;
    }
    for (uint32_t i = 0; i < array->count; ++i) {
        if (!array->frames[i]) continue;
        audio_frame_free_data(array->frames[i]);
        delete array->frames[i];
    }
    delete[] array->frames;
    audio_frame_array_init(array);
}
