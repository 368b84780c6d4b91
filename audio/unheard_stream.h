#pragma once
// Whether a sound server reads a stream on without playing what it is given.
//
// PipeWire's PulseAudio server (0.3.65) tells its main thread what each cycle of its
// graph read through a queue of its own, and drops the report when the queue is full (a
// busy machine; a stall's end, when the graph catches up): its count of what the stream
// read then falls behind what it really read. A stream without prebuffering (the
// player's) is read on through silence, and everything written to it lands behind where
// the server reads: not heard, for good, while the server asks for more at the clock's
// pace. A flush puts its counts right; a write that starts where it reads keeps them
// wrong.
//
// The server says so in its own way: an underflow, and no start after it, while in its
// numbers the stream's buffer is full (a stream that really ran dry has it empty) and
// what it read grows at the clock's pace (a server that stands reads nothing). A third
// of a second of that, over four readings at least, and the stream is unheard: the
// caller starts the sound again, with a flush. After each such restart that did not help
// the next waits twice as long (up to about five seconds), until the server has played
// a whole second since its last start.
//
// PulseAudio may tell an underflow and no start after it of a stream it plays (one it
// finds while rewinding): the caller watches PipeWire's server only.
//
// A plain record for one thread (the output's loop); no allocation, no lock.
#include <cstdint>

struct UnheardStream {
    static constexpr int64_t kUnheardUs = 300000;
    static constexpr int kReadings = 4;
    static constexpr int kLongestWait = 4;  // doublings of the wait
    static constexpr int64_t kHeardAgainUs = 1000000;
    // How far what the server read between two readings may stray from the clock (a
    // cycle or two of its graph).
    static constexpr int64_t kPaceUs = 40000;
    bool underflowing = false;  // an underflow told, and no start since
    int64_t startedUs = 0;      // the last start told
    // The last reading: its time and what the server had read.
    int64_t lastUs = 0;
    int64_t lastRead = 0;
    // Readings in a row that found the stream unheard, since when.
    int readings = 0;
    int64_t sinceUs = 0;
    int restarts = 0;  // restarts in a row for it, with no second played since
};

// Forgets everything (a new stream).
void unheard_stream_reset(UnheardStream* stream);

// The server's notices: the stream ran dry (underflow), or plays again (started), at
// `nowUs` on the steady clock.
void unheard_stream_underflow(UnheardStream* stream);
void unheard_stream_started(UnheardStream* stream, int64_t nowUs);

// One reading of the server's numbers, dated `atUs` on the steady clock: the frames it
// has read of the stream, and the frames it holds (written less read) of the `target`
// it keeps, at `rate` frames a second. True when the stream is unheard and the sound
// should start again (counted as a restart).
bool unheard_stream_note(UnheardStream* stream, int64_t atUs, int64_t read, int64_t held, int64_t target,
                         uint32_t rate);
