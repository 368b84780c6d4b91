#pragma once
// Audio filters of the offline chain: nodes with a process and a free callback that
// turn n input frames into one (or two) output frames.
// - The channel-mapping filter sums the channels of several planar float frames onto
//   an output channel set, each input channel routed by a 64-bit mask.
// - The frequency filter converts one frame to another codec, storage and frequency,
//   and can split a four-channel frame into two stereo frames (dual stereo).
// A pool is a fixed array of filters freed together.
//
// Plain records; one thread at a time (the task thread). Errors are std::runtime_error
// with fixed texts; warnings go to standard output.
//
// Capacity contract: every output frame holds a whole number of seconds, fixed at
// creation (samples per process, or seconds per process x output frequency). A process
// call given more input samples than that throws instead of writing past the frame.
#include <cstdint>

#include "base/pcm/audio_frame.h"

enum AudioFilterKind : uint32_t {
    AudioFilterKind_Frequency = 0,
    AudioFilterKind_Mapping = 1,
};

struct AudioFilter {
    uint32_t kind;
    void* state;               // owned through `free`
    AudioFrame** inputs;       // owned array, not the frames; set before each process call
    uint32_t inputCount;
    AudioFrame* output;        // inside the state
    AudioFrame* secondOutput;  // dual stereo: channels 2-3
    void (*process)(AudioFilter* filter);
    void (*free)(AudioFilter* filter);
};

struct AudioFilterPool {
    AudioFilter** filters;  // owned; null entries allowed
    uint32_t capacity;
    uint32_t count;
};

struct AudioMappingParams {
    uint32_t samplesPerProcess;
    uint32_t frequency;
    uint32_t inputCount;
    uint32_t inputChannels;   // total over all inputs
    uint32_t outputChannels;
    const uint64_t* masks;    // inputChannels masks, bit j = feeds output channel j
};

struct AudioFrequencyParams {
    uint32_t secondsPerProcess;
    uint32_t channels;
    uint32_t inCodec;
    uint8_t inPlanar;
    uint32_t inFrequency;
    uint32_t outCodec;
    uint8_t outPlanar;
    uint32_t outFrequency;
    uint8_t dualStereo;
};

// A node with `inputCount` null inputs and no callbacks; 0 throws "Zero input filter audio".
AudioFilter* audio_filter_new(uint32_t kind, uint32_t inputCount);
// Frees the inputs array, runs the free callback, frees the node; null is ignored.
void audio_filter_free(AudioFilter* filter) noexcept;
// Runs the process callback.
void audio_filter_process(AudioFilter* filter);

// Output: float32 planar, outputChannels, samplesPerProcess rounded up to whole
// seconds; channels no input feeds have status 2. Inputs must be planar float32 with
// room for the largest input's sample count (see audio_frame.h: silence after the count).
AudioFilter* audio_filter_mapping_new(const AudioMappingParams* params);
// One input. Pass-through (planar float32 in and out at the same rate) lends the
// input's planes to the output. Throws "Invalid dual stereo channels" (dual stereo
// without 4 channels) and "Invalid dual stereo out mode" (dual stereo to planar).
AudioFilter* audio_filter_frequency_new(const AudioFrequencyParams* params);

// Capacity 0 throws "Invalid filters count".
void audio_filter_pool_init(AudioFilterPool* pool, uint32_t capacity);
// A full pool prints "ERR Pool invalid : Max : %u ; Current : %u" and throws "Not
// enough space for filter"; the filter then stays the caller's.
void audio_filter_pool_add(AudioFilterPool* pool, AudioFilter* filter);
void audio_filter_pool_free(AudioFilterPool* pool) noexcept;
