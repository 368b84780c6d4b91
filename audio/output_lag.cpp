#include "audio/output_lag.h"

#include <algorithm>

void output_lag_reset(OutputLag* lag) { *lag = OutputLag{}; }

uint64_t output_lag_note(OutputLag* lag, int64_t nowUs, int64_t played, uint32_t rate) {
    if (!lag->started) {
        lag->started = true;
        lag->startUs = nowUs;
        lag->startPlayed = played;
    }
    const int64_t elapsed = nowUs - lag->startUs;
    if (elapsed < 0) return 0;
    const int64_t value = elapsed * int64_t(rate) / 1000000 - (played - lag->startPlayed);
    lag->times[lag->next] = nowUs;
    lag->lags[lag->next] = value;
    lag->next = (lag->next + 1) % OutputLag::kReadings;
    lag->count = std::min(lag->count + 1, OutputLag::kReadings);

    // The least lag of the window: the readings of the last 150 ms, and at least the
    // last few (a device that asks rarely, as a JACK server at a large period).
    int64_t least = value;
    for (int i = 1; i < lag->count; ++i) {
        const int at = (lag->next - 1 - i + OutputLag::kReadings) % OutputLag::kReadings;
        if (i >= OutputLag::kLeastReadings && nowUs - lag->times[at] > OutputLag::kWindowUs) break;
        least = std::min(least, lag->lags[at]);
    }
    if (!lag->marked) {
        // The first full window sets what the output's own latency is.
        if (lag->count < OutputLag::kLeastReadings || nowUs - lag->startUs < OutputLag::kWindowUs) return 0;
        lag->marked = true;
        lag->mark = least;
        return 0;
    }
    const int64_t counted = OutputLag::kCountedUs * int64_t(rate) / 1000000;
    if (least > lag->mark + counted) {
        const int64_t owed = least - lag->mark;
        lag->mark = least;
        return uint64_t(owed);
    }
    lag->mark = std::min(lag->mark, least);
    return 0;
}
