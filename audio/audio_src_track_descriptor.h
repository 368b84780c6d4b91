#pragma once
// The plain record behind one audio source: its PCM format, the per-channel routing
// masks, the loop range, the read position and the reader the samples come from
// (a companion WAV/RF64 file, or one track of the opened movie).
#include <cstddef>
#include <cstdint>

enum AudioSrcKind : uint32_t {
    AudioSrcKind_Wav = 0,    // companion WAV/RF64 file
    AudioSrcKind_Movie = 1,  // audio track of the movie
};

enum AudioSrcDemuxerType : uint32_t {
    AudioSrcDemuxer_Wav = 0,    // a WavFile owned by the track
    AudioSrcDemuxer_Movie = 1,  // the MovFile of the opened movie (not owned)
    AudioSrcDemuxer_None = 2,
};

// Sample rates a track accepts: the resampler refuses ratios beyond 256 against the
// 48000 Hz mix, and nothing real goes beyond 768 kHz.
constexpr uint32_t kAudioSrcMinFrequency = 188;
constexpr uint32_t kAudioSrcMaxFrequency = 768000;
// Channels beyond this many cannot be expressed in a 64-bit routing mask: a movie
// track's channels past it exist but are routed nowhere (the WAV reader refuses a file
// of more).
constexpr uint32_t kAudioSrcMaxRoutedChannels = 64;
// The most channels a movie track may declare: both mask arrays are sized by the
// channel count, so a larger count is refused before anything is allocated.
constexpr uint32_t kAudioSrcMaxChannels = 1024;

struct AudioSrcTrackDescriptor {
    uint8_t active = 0;
    uint32_t kind = AudioSrcKind_Movie;
    uint32_t trackIndex = 0;
    uint32_t channels = 0;
    uint32_t bytesPerSample = 0;
    uint32_t frequency = 0;
    uint32_t codec = 11;  // AudioPcmCodec_None
    uint32_t playable = 1;
    uint32_t formatCode = 0;  // four-character code, big-endian
    uint64_t* defaultMasks = nullptr;
    uint64_t* currentMasks = nullptr;
    uint64_t totalSamples = 0;
    uint64_t inPoint = 0;
    uint64_t dataEnd = 0;  // exclusive: reads at or beyond deliver silence
    uint64_t loopEnd = 0;  // exclusive end of the loop range
    uint64_t position = 0;
    void* demuxer = nullptr;
    uint32_t demuxerType = AudioSrcDemuxer_None;
    uint8_t* reverseBuffer = nullptr;
    size_t reverseBufferSize = 0;
};

// A fresh record (values above); throws std::bad_alloc when memory is short.
AudioSrcTrackDescriptor* audio_src_track_descriptor_new();
// Closes an owned WAV reader and releases the masks, the reverse buffer and the record.
void audio_src_track_descriptor_free(AudioSrcTrackDescriptor* descriptor) noexcept;

// Movie-track set-up: channels, frequency and one mask per channel (copied; null
// gives zero masks). Throws "Invalid channel count for track (0)",
// "Unsupported channel count for track (N)" above kAudioSrcMaxChannels,
// "Invalid frequency for track (0)", "Mapping Memory Error".
void audio_src_track_descriptor_init(AudioSrcTrackDescriptor* descriptor, uint32_t channels, uint32_t frequency,
                                     const uint64_t* masks);
// Bytes per sample from the codec (0 for an unplayable track); throws
// "Unknown audio descriptor" for a codec outside the table.
void audio_src_track_descriptor_set_sample_size(AudioSrcTrackDescriptor* descriptor);
// Throws "Unsupported frequency for track (N Hz)" outside the accepted rates.
void audio_src_track_descriptor_check_frequency(const AudioSrcTrackDescriptor* descriptor);
// Opens a WAV/RF64 file as the record's reader. Failures propagate; the record then
// holds no reader.
void audio_src_track_descriptor_open_wav(AudioSrcTrackDescriptor* descriptor, const char16_t* path);
// Loop range [0, total): the whole source, no silence, no early wrap.
void audio_src_track_descriptor_reset_range(AudioSrcTrackDescriptor* descriptor) noexcept;
// Bytes of one interleaved frame in the track's own codec.
inline uint64_t audio_src_track_descriptor_frame_bytes(const AudioSrcTrackDescriptor* descriptor) {
    return uint64_t(descriptor->channels) * descriptor->bytesPerSample;
}
