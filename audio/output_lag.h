#pragma once
// How far an output has fallen behind the clock during one play, and what of it is new.
//
// A play's sound keeps to the clock as the picture does. An output that goes on
// without the player's sound (a JACK server that ran cycles while the player was held
// off the processor, a card that ran dry, a sound server's graph that played zeros
// while its front end was late) plays the rest of the sound later than it was due,
// and that lag stays. Readings of what the output has played (its requests, or what
// its server says it played) against the steady clock tell it: their lag, in frames,
// is the clock's frames since the first reading less the frames played.
//
// Single readings jitter (a callback scheduled late, a server's cycle, an answer that
// took its time, a server that reads in cycles of its own), so only a lag that every
// reading of the last 150 ms shows (and at least the last four) counts, and only once
// it exceeds what was counted before by more than 8 ms and by more than half as much
// again as those readings spread (and, when sampled, than a server's step). A lag that shrinks (the output caught up, or its
// clock runs fast)
// lowers the mark, so a later rise is counted from there. What is counted is owed:
// the caller skips that much of the movie's sound. The first 150 ms of a play are the
// output's own start (a sink that wakes, a graph that takes the stream up at its next
// cycle): the mark is first set from the window after them.
//
// A plain record for one thread (the output's device side); no allocation, no lock.
#include <cstdint>

// A reading taken at the device's own request (a JACK or ALSA write callback) is
// exact; one sampled by asking a server that reads in cycles of its own may run up to
// a cycle behind, so a rise counts there only once it exceeds the server's step too.
enum class OutputReading { AtRequest, Sampled };

struct OutputLag {
    static constexpr int kReadings = 256;
    static constexpr int kSteps = 16;
    static constexpr int64_t kWindowUs = 150000;
    static constexpr int64_t kSettleUs = 150000;
    static constexpr int kLeastReadings = 4;
    static constexpr int64_t kCountedUs = 8000;  // the least rise that counts
    bool started = false;
    bool marked = false;
    int64_t startUs = 0;
    int64_t startPlayed = 0;
    // The last readings: their time and lag in frames, the newest at `next - 1`.
    int64_t times[kReadings] = {};
    int64_t lags[kReadings] = {};
    int count = 0;
    int next = 0;
    int64_t mark = 0;  // the lag already counted
    // The last steps of what was played between two readings that saw it grow.
    int64_t lastPlayed = 0;
    int64_t steps[kSteps] = {};
    int stepCount = 0;
    int nextStep = 0;
};

// Forgets every reading: the next one starts a new play's clock.
void output_lag_reset(OutputLag* lag);

// One reading: `played` frames (any counter that grows with what the output played) at
// `nowUs` on the steady clock, at `rate` frames a second. Returns the frames newly
// owed (0 mostly).
uint64_t output_lag_note(OutputLag* lag, int64_t nowUs, int64_t played, uint32_t rate, OutputReading reading);
