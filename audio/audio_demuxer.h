#pragma once
// Audio demuxers of the task reader: whole seconds of a movie's PCM tracks or of a
// companion WAV/RF64 file, each read into an interleaved AudioFrame in its own codec
// and frequency, between a start and an end sample. Each demuxer opens and parses
// its own file, so it shares no handle with playback.
//
// A movie track the player cannot decode (no PCM layout, e.g. AAC beside PCM tracks)
// is marked unreadable instead of refusing the movie: it gets no frame, and only a
// reader that routes one of its channels fails (see audio_reader_build).
//
// Plain records; the task thread only. Errors are std::runtime_error with fixed texts.
#include <cstdint>

#include "base/pcm/audio_frame.h"

enum AudioDemuxerKind : uint32_t {
    AudioDemuxerKind_Wav = 0,
    AudioDemuxerKind_MovPcm = 1,
};

struct AudioDemuxer {
    uint32_t kind;
    void* reader;              // the kind's private record
    uint32_t secondsPerRead;   // at least 1
    // Reads the next block of track `track` into `frame` (which create-out-frames made).
    void (*read)(AudioDemuxer* demuxer, AudioFrame* frame, uint32_t track);
    void (*close)(AudioDemuxer* demuxer);
    // Allocates one frame per track into `frames` (at most `tracks`); returns how many.
    uint32_t (*createOutFrames)(AudioDemuxer* demuxer, AudioFrameArray* frames, uint32_t tracks);
};

// The movie window in its frame numbers; out -1 = to the end. In frame 0 and an out
// frame of 0 are both real points.
struct MovPcmDemuxerParams {
    const char16_t* path;
    uint8_t useMovieRate;  // 1: the movie's own frame rate; 0: the rate below
    uint32_t rateNum;
    uint32_t rateDen;
    uint32_t inFrame;
    int64_t outFrame;
};

AudioDemuxer* audio_demuxer_new(uint32_t seconds, uint32_t kind);
// Closes the kind's record (and its file), then frees; null is ignored.
void audio_demuxer_free(AudioDemuxer* demuxer) noexcept;
// "Invalid audio demuxer (NULL)" for a null demuxer.
void audio_demuxer_read(AudioDemuxer* demuxer, AudioFrame* frame, uint32_t track);
uint32_t audio_demuxer_create_out_frames(AudioDemuxer* demuxer, AudioFrameArray* frames, uint32_t tracks);

// Parses the movie; "Can't find audio" when it has no audio track.
AudioDemuxer* mov_pcm_demuxer_new(const MovPcmDemuxerParams* params, uint32_t seconds);
// Movie tracks: their count, and whether track t can be decoded.
uint32_t mov_pcm_demuxer_track_count(const AudioDemuxer* demuxer);
bool mov_pcm_demuxer_track_readable(const AudioDemuxer* demuxer, uint32_t track);

// Opens the WAV/RF64 file; start and end in seconds, 0 and a negative end = whole file.
AudioDemuxer* wav_demuxer_new(const char16_t* path, double startSeconds, double endSeconds, uint32_t seconds);
