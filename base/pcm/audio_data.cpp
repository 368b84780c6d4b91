#include "base/pcm/audio_data.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace {

struct CodecRow {
    uint32_t bytes;
    const char* name;
};

constexpr CodecRow kCodecs[] = {
    {1, "PCM U8bits"},          {2, "PCM S16bits LE"},      {2, "PCM S16bits BE"},
    {3, "PCM S24bits LE"},      {3, "PCM S24bits BE"},      {4, "PCM S32bits LE"},
    {4, "PCM S32bits BE"},      {4, "PCM Float 32bits LE"}, {4, "PCM Float 32bits BE"},
    {8, "PCM Float 64bits LE"}, {8, "PCM Float 64bits BE"},
};
constexpr uint32_t kCodecCount = sizeof(kCodecs) / sizeof(kCodecs[0]);

// Sizes come from file headers: computed in 64 bits and refused past 32 bits,
// never wrapped into a small buffer that a later read would overrun.
uint32_t buffer_bytes(const AudioDescriptor& d, uint32_t frames) {
    const uint64_t bytes = uint64_t(frames) * d.channels * d.bytesPerSample;
    if (bytes > std::numeric_limits<uint32_t>::max()) throw std::runtime_error("Audio data size too large");
    return static_cast<uint32_t>(bytes);
}

void lay_out_planes(AudioData* data, uint32_t frames) {
    const uint64_t spacing = uint64_t(frames) * data->descriptor.bytesPerSample;
    for (uint32_t i = 0; i < data->planeCount; ++i) data->planes[i] = data->data + (data->descriptor.planar ? i * spacing : 0);
}

}  // namespace

uint32_t audio_pcm_bytes_per_sample(uint32_t codec) {
    if (codec >= kCodecCount) throw std::runtime_error("Unknown audio descriptor");
    return kCodecs[codec].bytes;
}

const char* audio_pcm_codec_name(uint32_t codec) noexcept {
    return codec < kCodecCount ? kCodecs[codec].name : "Unknown";
}

void audio_descriptor_init(AudioDescriptor* descriptor, uint32_t codec, uint32_t channels, uint32_t frequency,
                           bool planar) {
    const uint32_t bytes = audio_pcm_bytes_per_sample(codec);
    if (channels == 0) throw std::runtime_error("Invalid channel count (0)");
    if (frequency == 0) throw std::runtime_error("Invalid frequency (0)");
    const uint64_t per_second = uint64_t(bytes) * frequency;
    if (per_second > std::numeric_limits<uint32_t>::max()) throw std::runtime_error("Invalid frequency (overflow)");
    descriptor->codec = codec;
    descriptor->planar = planar ? 1 : 0;
    descriptor->channels = channels;
    descriptor->frequency = frequency;
    descriptor->bytesPerSample = bytes;
    descriptor->bytesPerChannelSecond = static_cast<uint32_t>(per_second);
}

void audio_data_init(AudioData* data) noexcept {
    data->descriptor = AudioDescriptor{};
    data->descriptor.codec = AudioPcmCodec_S16LE;
    data->data = nullptr;
    data->capacity = 0;
    data->frames = 0;
    data->planes = nullptr;
    data->planeCount = 0;
}

void audio_data_alloc(AudioData* data, uint32_t frames) {
    const uint32_t size = buffer_bytes(data->descriptor, frames);
    if (size == 0) throw std::runtime_error("Invalid audio data alloc size (0)");
    const uint32_t plane_count = data->descriptor.planar ? data->descriptor.channels : 1;
    uint8_t* block = new uint8_t[size];
    uint8_t** planes = new (std::nothrow) uint8_t*[plane_count];
    if (!planes) {
        delete[] block;
        throw std::bad_alloc();
    }
    data->data = block;
    data->capacity = size;
    data->frames = frames;
    data->planes = planes;
    data->planeCount = plane_count;
    lay_out_planes(data, frames);
}

void audio_data_realloc(AudioData* data, uint32_t frames) {
    const uint32_t needed = buffer_bytes(data->descriptor, frames);
    if (needed <= data->capacity) {
        data->frames = frames;
        return;
    }
    uint8_t* block = new uint8_t[needed];
    delete[] data->data;
    data->data = block;
    data->capacity = needed;
    data->frames = frames;
    if (data->planes) lay_out_planes(data, frames);
}

void audio_data_free(AudioData* data) noexcept {
    delete[] data->data;
    delete[] data->planes;
    data->data = nullptr;
    data->planes = nullptr;
}

void audio_fill_silence(void* buffer, uint32_t codec, uint32_t frames, uint32_t channels) {
    const uint32_t bytes = audio_pcm_bytes_per_sample(codec);
    const uint64_t total = uint64_t(frames) * channels * bytes;
    std::memset(buffer, codec == AudioPcmCodec_U8 ? 128 : 0, static_cast<size_t>(total));
}

void audio_frames_reverse_copy(void* destination, const void* source, uint32_t frames, uint32_t frame_bytes) noexcept {
    auto* dst = static_cast<uint8_t*>(destination);
    const auto* src = static_cast<const uint8_t*>(source);
    for (uint32_t i = 0; i < frames; ++i)
        std::memcpy(dst + uint64_t(i) * frame_bytes, src + uint64_t(frames - 1 - i) * frame_bytes, frame_bytes);
}
