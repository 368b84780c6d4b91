#pragma once
// Kernels between every PCM codec and the engine's working format, planar float32.
// Decoders turn planar or interleaved PCM into one float plane per channel, reading
// one input frame per output frame (read coefficient 1) or averaging two (read
// coefficient 2, double-speed playback). Encoders turn float planes into PCM of any
// codec, planar or interleaved. A selector picks the kernels once per stream from
// the codec, channel count, planar flag (and read coefficient); the real-time path
// then calls one entry function per block.
//
// Channel cases, the same in both directions:
// - plane: mono, or planar data of any channel count; one kernel call per plane;
// - stereo: interleaved data with exactly two channels;
// - generic: interleaved data with more than two channels.
// Interleaved data is always the first (only) pointer of its side.
#include <cstdint>

#include "base/pcm/audio_data.h"

struct AudioDecoderKernels;
struct AudioEncoder;

using AudioDecodePlaneKernel = void (*)(float* output, const uint8_t* input, uint32_t frames);
using AudioDecodeStereoKernel = void (*)(float* left, float* right, const uint8_t* input, uint32_t frames);
using AudioDecoderEntry = void (*)(const AudioDecoderKernels* kernels, float* const* outputs,
                                   const uint8_t* const* inputs, uint32_t channels, uint32_t frames);

using AudioEncodePlaneKernel = void (*)(uint8_t* output, const float* input, uint32_t frames);
using AudioEncodeStereoKernel = void (*)(uint8_t* output, const float* left, const float* right, uint32_t frames);
using AudioEncoderEntry = void (*)(const AudioEncoder* encoder, uint8_t* const* outputs, const float* const* inputs,
                                   uint32_t channels, uint32_t frames);

// The decoder fields that the audio format process embeds.
struct AudioDecoderKernels {
    AudioDecoderEntry entry = nullptr;
    AudioDecodePlaneKernel planeKernel = nullptr;    // plane case
    AudioDecodeStereoKernel stereoKernel = nullptr;  // stereo case
};

struct AudioEncoder {
    uint32_t channels = 0;
    uint32_t codec = 0;
    uint8_t planar = 0;  // forced to 1 for one channel
    uint32_t frequency = 0;
    AudioEncoderEntry entry = nullptr;
    AudioEncodePlaneKernel planeKernel = nullptr;    // plane case
    AudioEncodeStereoKernel stereoKernel = nullptr;  // stereo case
};

// Selects the decoder for a stream. Throws std::runtime_error "Coeff read not
// supported" for a read coefficient other than 1 or 2, and for a codec above 10
// "Unsupported pcm codec multi channels" (interleaved, more than 2 channels),
// "Unsupported pcm codec stereo" (interleaved stereo) or "Unsupported pcm codec mono"
// (mono or planar). Nothing is stored when it throws.
void audio_decoder_select(AudioDecoderKernels* decoder, uint32_t codec, uint32_t channels, bool planar,
                          uint32_t read_coefficient);

// Decodes `frames` output frames of every channel: outputs holds `channels` float
// planes; inputs holds `channels` planes (plane case) or one interleaved block with
// frames x read coefficient frames.
void audio_decoder_process(const AudioDecoderKernels* decoder, float* const* outputs, const uint8_t* const* inputs,
                           uint32_t channels, uint32_t frames);

// Selects the encoder for the stream `descriptor` describes.
// Throws std::runtime_error "invalid dest audio params" for 0 channels or frequency 0,
// "Unsupported pcm codec p" for a codec above 10 in the plane or stereo case,
// "Unsupported pcm codec gen" in the generic case. Nothing is stored when it throws.
void audio_encoder_init(AudioEncoder* encoder, const AudioDescriptor* descriptor);

// Encodes `frames` frames of every channel from float planes.
void audio_encoder_process(const AudioEncoder* encoder, uint8_t* const* outputs, const float* const* inputs,
                           uint32_t frames);
