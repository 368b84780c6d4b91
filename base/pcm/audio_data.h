#pragma once
// PCM sample encodings, the descriptor of a PCM stream, and the sample buffer record.
#include <cstdint>

enum AudioPcmCodec : uint32_t {
    AudioPcmCodec_U8 = 0,  // silence is 128
    AudioPcmCodec_S16LE = 1,
    AudioPcmCodec_S16BE = 2,
    AudioPcmCodec_S24LE = 3,  // packed in 3 bytes
    AudioPcmCodec_S24BE = 4,
    AudioPcmCodec_S32LE = 5,
    AudioPcmCodec_S32BE = 6,
    AudioPcmCodec_F32LE = 7,  // the engine's working format (planar)
    AudioPcmCodec_F32BE = 8,
    AudioPcmCodec_F64LE = 9,
    AudioPcmCodec_F64BE = 10,
    AudioPcmCodec_None = 11,  // a track without a usable PCM codec
};

struct AudioDescriptor {
    uint32_t codec = AudioPcmCodec_S16LE;
    uint8_t planar = 0;
    uint32_t channels = 0;
    uint32_t frequency = 0;
    uint32_t bytesPerSample = 0;
    uint32_t bytesPerChannelSecond = 0;  // bytesPerSample x frequency
};

struct AudioData {
    AudioDescriptor descriptor;
    uint8_t* data = nullptr;
    uint32_t capacity = 0;
    uint32_t frames = 0;
    uint8_t** planes = nullptr;
    uint32_t planeCount = 0;
};

// Bytes of one sample; throws "Unknown audio descriptor" for codecs above 10.
uint32_t audio_pcm_bytes_per_sample(uint32_t codec);
const char* audio_pcm_codec_name(uint32_t codec) noexcept;

void audio_descriptor_init(AudioDescriptor* descriptor, uint32_t codec, uint32_t channels, uint32_t frequency,
                           bool planar);

void audio_data_init(AudioData* data) noexcept;
void audio_data_alloc(AudioData* data, uint32_t frames);
void audio_data_realloc(AudioData* data, uint32_t frames);
void audio_data_free(AudioData* data) noexcept;

void audio_fill_silence(void* buffer, uint32_t codec, uint32_t frames, uint32_t channels);
void audio_frames_reverse_copy(void* destination, const void* source, uint32_t frames, uint32_t frame_bytes) noexcept;
