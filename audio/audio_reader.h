#pragma once
// The audio reader of the processing tasks: the movie's PCM tracks and the companion
// WAV/RF64 files, each source channel routed to output channels by a 64-bit mask,
// cut to the in/out window, delivered as planar float frames of the output layout,
// one step (a fixed number of seconds) at a time. It is the offline twin of the
// playback chain: its own demuxers (own file handles), one frequency filter per track
// to float planar at the output frequency, and one channel-mapping filter.
//
// The task fills an AudioReaderSources description on the GUI thread (a plain value it
// can copy), builds the reader from it on its own thread, then calls
// audio_reader_readNext until it returns 0. When every source ends before the window
// does, readNext returns 0 early: the task ends short of its total.
//
// In and out frames: -1 means unset; frame 0 is a real point. Errors are
// std::runtime_error with fixed texts; INFO, WARNING and ERR lines go to standard output.
#include <cstdint>
#include <string>
#include <vector>

#include "base/pcm/audio_frame.h"

struct AudioDemuxer;
struct AudioFilter;
struct AudioFilterPool;

struct AudioMapEntry {
    uint32_t file;     // 0 = the movie, k >= 1 = the k-th WAV file added
    uint32_t track;    // movie track index; 0 for a WAV file
    uint32_t channel;  // channel within the track or file
    uint64_t mask;     // output channels this channel feeds
};

constexpr uint32_t kAudioReaderFrequency = 48000;

struct AudioReaderSources {
    uint32_t layout = 1;          // NAudioChannelLayout
    std::u16string movPath;       // empty: no movie
    bool hasMovPath = false;
    std::vector<std::u16string> wavPaths;
    uint32_t wavCapacity = 0;
    std::vector<AudioMapEntry> entries;
    uint32_t entryCapacity = 0;
    uint32_t frameCount = 0;
    uint32_t rateNum = 25;
    uint32_t rateDen = 1;
    int32_t inFrame = -1;
    int32_t outFrame = -1;
    uint32_t frequency = kAudioReaderFrequency;
};

// An empty description for `layout` with room for that many WAV paths and entries.
void audio_reader_sources_init(AudioReaderSources* sources, uint32_t layout, uint32_t wavCapacity,
                               uint32_t entryCapacity);
// "input mov file already set"; "invalid mov file path" for a null path.
void audio_source_setMovFile(AudioReaderSources* sources, const char16_t* path);
// A mask with no bit among the layout's channels is ignored; a full table throws "Not
// enough space for audio track info mov".
void audio_source_addMovTrack(AudioReaderSources* sources, uint32_t track, uint32_t channel, uint64_t mask);
// "Not enough space for wav file"; "invalid mov file path" for a null path.
void audio_source_addWavFile(AudioReaderSources* sources, const char16_t* path);
// Routes a channel of the last WAV file added: "No wav file assigned" before any; a
// mask outside the layout prints "Wav track ignore by mapping : Channel : %u" and is
// ignored; "Not enough space for audio track info mov" when full.
void audio_source_mapWavTrack(AudioReaderSources* sources, uint32_t channel, uint64_t mask);
// Highest file index among the entries + 1 (1 without entries).
uint32_t audio_reader_file_count(const AudioReaderSources* sources);

struct AudioReaderSource;

struct AudioReader {
    uint32_t layout = 1;
    std::vector<AudioReaderSource*> sources;  // owned
    std::vector<AudioMapEntry> entries;
    uint64_t totalSamples = 0;
    uint64_t producedSamples = 0;
    uint32_t secondsPerStep = 0;
    uint32_t frequency = kAudioReaderFrequency;
    AudioFilter* mapping = nullptr;
    uint32_t frameCount = 0;
    uint32_t rateNum = 0;
    uint32_t rateDen = 0;
    int32_t inFrame = -1;
    int32_t outFrame = -1;
    double windowStart = 0.0;  // seconds
    double windowEnd = 0.0;
};

// Opens the sources and builds the filters. Throws "Invalid nb sec output", "Invalid
// video duration for audio reader (zero)", "Invalid audio duration", "No audio track
// info\n", "Too much audio file reader", "No tracks", the demuxers' errors, and
// "Invalid pcm data" when a routed movie track cannot be decoded. What was built is
// freed on a throw (the reader is left empty).
void audio_reader_build(AudioReader* reader, const AudioReaderSources* sources, uint32_t secondsPerStep);
// Sizes `frame` for one step: float32 planar, the layout's channels, the output
// frequency x seconds per step. "Invalid nb sec out" for 0 seconds.
void audio_reader_alloc_out_frame(AudioFrame* frame, const AudioReader* reader);
// Reads the next step into `frame`; returns the samples delivered, 0 at the end.
uint64_t audio_reader_readNext(AudioReader* reader, AudioFrame* frame);
// Frees the demuxers (closing the files), filters and frames; the record is empty after.
void audio_reader_free(AudioReader* reader) noexcept;
