#pragma once
// The device side of the output ring: what the output stream's write callback does
// on the library's device thread. It moves frames from the output ring into the
// device's channel areas through begin/end write calls, honouring the device's
// minimum (what the ring holds, then silence up to the minimum: the end of a paused
// step's sound is never held back for a later call) and consuming from the ring only
// the frames it really wrote. It neither allocates nor locks.
//
// The producer (the mixing job, or the GUI thread during a restart) may hold the
// consumer off: while `consumerHeld` is set the callback leaves the ring alone and
// writes only the silence the device insists on, and `callbacksInside` tells the
// producer when no callback is still inside, so the ring can then be cleared safely.
//
// On a sound server the stream is the player's own (pulse_output.h), which writes
// through the same function: `silenced` keeps it from writing while the sound is
// paused. The ALSA stream of our own (alsa_output.h) writes through it too, on its
// device thread. A device that went a quarter second without a request (its server or
// driver stalled) raises `stalled`, for the sound to start again where the playback
// clock is now (the picture's frame due, however late the window shows it). A restart
// counts that quarter second from its own time. A sound server may catch up on the
// time it stood once it runs again (PipeWire's graph reads the stream at full speed
// for a moment): the restart must come after that, or the server runs through its
// first sound ahead of the picture, so there `stalled` waits until the server's
// readings keep to the clock again. The sound server's output also tells of a stall
// its requests cannot show (audio_output_note_stall): a server that stood at a play's
// start for less than a quarter second, or that reads the stream on without playing it.
//
// While a play keeps to the clock (`keepTime`: not a step, not paused), what the output
// plays without the movie's sound is owed (`owedFrames`), for the mixing job to skip:
// the silence written for want of sound where the device insists on frames, and the
// lag of what the output played behind the clock (output_lag.h: a JACK server that ran
// on while the player was held off the processor, a server's graph that played zeros
// in its place). So a player that falls behind catches up rather than keeping the lag.
#include <atomic>
#include <cstdint>

#include "audio/output_lag.h"

struct PlanarRingBuffer;
struct SoundIoChannelArea;
class AudioOutputTap;

// The user data of the output stream.
struct AudioOutputData {
    PlanarRingBuffer* ring = nullptr;
    std::atomic<uint32_t> callbacksInside{0};
    std::atomic<uint8_t> consumerHeld{0};
    std::atomic<AudioOutputTap*> tap{nullptr};
    std::atomic<uint8_t> silenced{0};
    std::atomic<uint8_t> stalled{0};
    // Steady-clock time of the device's last request, in microseconds: the time of the
    // restart after one, so a server that stalled before its first request counts too.
    std::atomic<int64_t> lastCallUs{0};
    // The least the device asked at its last call (a JACK server's period): the mixing
    // job keeps twice that much in the ring.
    std::atomic<uint32_t> requestFrames{0};

    // Set by the restart of a play (cleared by a step's and by a pause), with `play`
    // counted up at every restart (a step's too) so the device side starts its clock
    // anew, and a sound server's stream drops what it holds of the last one.
    std::atomic<uint8_t> keepTime{0};
    std::atomic<uint32_t> play{0};
    // Frames at the device's rate that the output played without the movie's sound.
    std::atomic<uint64_t> owedFrames{0};

    // The device side's own (the device thread's, or the server loop's under its lock).
    uint64_t writtenFrames = 0;  // every frame written to the device, sound or silence
    OutputLag lag;
    uint32_t lagPlay = 0;
    // A server's stall seen (its time; 0: none), its restart waiting until the server
    // keeps to the clock: the last reading since, and how many readings in a row kept
    // to it.
    int64_t stallSeenUs = 0;
    int64_t paceUs = 0;
    int64_t pacePlayed = 0;
    int pacedReadings = 0;
    // A server's sampled readings: the last one, and since when they have kept to the
    // clock without a break (a server that asks nothing for a while but reads on at
    // the clock's pace all along had enough to play: that is no stall).
    int64_t readingUs = 0;
    int64_t readingPlayed = 0;
    int64_t pacedSinceUs = 0;
};

constexpr int64_t kAudioOutputStallUs = 250000;
// After a server's stall: how far two readings may stray from the clock and still keep
// to it (a server's cycle or two), and how long the restart waits at most for that (a
// server that reads in larger cycles than that never seems to keep to it).
constexpr int64_t kAudioOutputPaceUs = 40000;
constexpr int64_t kAudioOutputSettleUs = 500000;
// How recent a server's last reading must be to tell that it still reads on (its
// readings come every 15 to 30 ms while a play keeps to the clock).
constexpr int64_t kAudioOutputReadingUs = 100000;

// The begin/end write pair of an output stream, so the write path can run against a
// fake device in tests. Both return 0 or a library error code.
struct AudioDeviceWriter {
    void* stream = nullptr;
    int (*beginWrite)(void* stream, SoundIoChannelArea** areas, int* frames) = nullptr;
    int (*endWrite)(void* stream) = nullptr;
    const char* (*errorText)(int error) = nullptr;
    uint32_t channels = 0;  // channels of the device areas
    // The device only paces itself and plays nowhere (the library's dummy device): the
    // silence written for want of sound is owed by nobody.
    bool pacesOnly = false;
};

constexpr uint32_t kAudioOutputMaxPlanes = 8;

// One write callback: returns the frames taken from the ring. Device channels beyond
// the ring's planes are written as silence and ring planes beyond the device's
// channels are dropped, so a layout mismatch never writes past a buffer.
uint32_t audio_output_write(AudioOutputData* data, const AudioDeviceWriter& writer, int frameCountMin,
                            int frameCountMax) noexcept;

// Notes a request of the device; a quarter second since the one before (while not
// silenced) is a stall. It raises `stalled` at once, or, for a server whose readings
// are sampled (`waitForPace`), once two readings in a row keep to the clock again
// (audio_output_note_played), or half a second after the stall when they never do. A
// sampled server whose readings kept to the clock through the whole quiet time did
// not stall: it was given that much ahead. Device side.
void audio_output_note_request(AudioOutputData* data, bool waitForPace = false) noexcept;

// The server stood though it asked in time (it answered a play's first question late,
// or it reads the stream on without playing what it is given): as after a stall that
// its requests show (audio_output_note_request with `waitForPace`), `stalled` is raised
// once two of its readings in a row keep to the clock, or half a second later at the
// next request when they never do. Nothing while a restart holds the consumer. Device
// side.
void audio_output_note_stall(AudioOutputData* data) noexcept;

// A restart's resets, while the consumer is held: a play that keeps to the clock, or
// a step that does not; nothing owed, the device side's clock and the stall watch
// start anew from now.
void audio_output_begin_play(AudioOutputData* data, bool keepTime) noexcept;

// Notes what the output had played `ageUs` ago (`played` frames: any count that grows
// with it, at `rate` frames a second) while a play keeps to the clock: a lag behind
// the clock that grew and stayed is added to `owedFrames`. A reading of the last play
// that comes while a restart holds the consumer is dropped, so its lag never reaches
// the next play. Device side.
void audio_output_note_played(AudioOutputData* data, int64_t played, uint32_t rate, OutputReading reading,
                              int64_t ageUs = 0) noexcept;

// Makes the write callback leave the ring alone (and the device side's readings wait),
// and waits until no callback or reading is still inside. Paired with
// audio_output_release_consumer.
void audio_output_hold_consumer(AudioOutputData* data) noexcept;
void audio_output_release_consumer(AudioOutputData* data) noexcept;
