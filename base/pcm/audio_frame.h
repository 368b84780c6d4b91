#pragma once
// AudioFrame: a block of PCM samples with its format, the unit the offline audio
// chain (task reader, filters, loudness analyser) passes along. Its capacity is always
// a whole number of seconds; every channel carries an output mask and a status.
//
// Plain records with explicit init, alloc and free; one thread at a time. Errors are
// std::runtime_error with fixed texts (std::bad_alloc when memory runs out); warnings
// are printed to standard output.
//
// Invariant the filters rely on: whoever fills a frame fills the room between the
// sample count and the capacity with silence (audio_frame_fill_silence_tail), so a
// reader of n samples may read a shorter frame up to n without meeting stale data.
#include <cstdint>

enum AudioFrameStatus : uint32_t {
    AudioFrameStatus_Data = 0,    // carries samples
    AudioFrameStatus_Silent = 2,  // no source or no samples
};

constexpr uint32_t kAudioFrameMaxChannels = 64;

struct AudioFrame {
    uint32_t codec;          // AudioPcmCodec; 1 in an empty frame
    uint8_t planar;          // 1 = one plane per channel; a mono frame is always planar
    uint32_t channels;       // 1..64
    uint32_t frequency;      // Hz
    uint32_t bytesPerSample;
    uint32_t bytesPerSecond;  // bytesPerSample x frequency (one channel)
    uint8_t* block;          // owned sample block; null in a reference frame
    uint32_t blockSize;      // bytes of the block
    uint32_t capacity;       // samples per channel the frame can hold
    uint32_t planeStride;    // bytes between two planes (planar)
    uint8_t** planes;        // owned array: one pointer per channel (planar) or one (interleaved)
    uint32_t planeCount;
    uint64_t* masks;         // owned, one output mask per channel
    uint32_t* status;        // owned, one AudioFrameStatus per channel
    uint32_t slotCount;        // length of the planes, masks and status arrays
    uint32_t sampleCount;    // valid samples per channel
};

// An owned array of owned frames.
struct AudioFrameArray {
    AudioFrame** frames;
    uint32_t count;
};

// A new empty frame (codec 1, interleaved, all else 0 or null); release with
// audio_frame_free_data then delete.
AudioFrame* audio_frame_new();
// The empty state on an existing record (nothing is freed: use on fresh records).
void audio_frame_init(AudioFrame* frame) noexcept;
// Allocates room for `samples` rounded up to whole seconds. Throws "Invalid zero
// channel", "Too much channels" (above 64), "Invalid frequency (0)", "Invalid samples
// (0)", "Invalid audio data alloc size (0)"; what the frame held before is released
// only once the new room exists. The block is not cleared; the sample count is kept.
void audio_frame_alloc(AudioFrame* frame, uint32_t codec, uint32_t channels, uint32_t frequency, bool planar,
                       uint32_t samples);
// Makes `dst` a view of `src` (format, capacity, planes, masks, statuses, count); dst
// owns no block. For empty frames or frames that already are views.
void audio_frame_ref(AudioFrame* dst, const AudioFrame* src);
// Drops the first `start` samples of a view: plane pointers move on, the count and the
// capacity shrink. Throws "Invalid start sample for ref" when start reaches the count.
void audio_frame_skip(AudioFrame* frame, uint32_t start);
// Checked copy of format-equal frames (see the texts in the .cpp); copies at most the
// destination's capacity (with a warning) and silences the rest.
void audio_frame_copy(AudioFrame* dst, const AudioFrame* src);
// Silence from the sample count to the capacity; a frame without samples is marked
// silent on every channel.
void audio_frame_fill_silence_tail(AudioFrame* frame);
// Silence from the sample count to the next whole second (the count is unchanged).
void audio_frame_pad_to_second(AudioFrame* frame);
void audio_frame_reset_status(AudioFrame* frame) noexcept;
// Frees the block and the arrays and nulls them; the record stays (empty format kept).
void audio_frame_free_data(AudioFrame* frame) noexcept;

void audio_frame_array_init(AudioFrameArray* array) noexcept;
// `count` new empty frames; 0 throws "Invalid nb frames".
void audio_frame_array_new(AudioFrameArray* array, uint32_t count);
// Frees every frame and the array; safe on an empty record.
void audio_frame_array_free(AudioFrameArray* array) noexcept;
