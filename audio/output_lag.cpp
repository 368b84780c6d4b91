#include "audio/output_lag.h"

#include <algorithm>

namespace {

// What a sampled reading may run behind: the median step of what was played between
// two readings that saw it grow (a server's cycle, or a few of them).
int64_t sampled_step(const OutputLag& lag) {
    if (lag.stepCount == 0) return 0;
    int64_t steps[OutputLag::kSteps];
    std::copy(lag.steps, lag.steps + lag.stepCount, steps);
    std::nth_element(steps, steps + lag.stepCount / 2, steps + lag.stepCount);
    return steps[lag.stepCount / 2];
}

}  // namespace

void output_lag_reset(OutputLag* lag) { *lag = OutputLag{}; }

uint64_t output_lag_note(OutputLag* lag, int64_t nowUs, int64_t played, uint32_t rate, OutputReading reading) {
    if (!lag->started) {
        lag->started = true;
        lag->startUs = nowUs;
        lag->startPlayed = played;
        lag->lastPlayed = played;
    }
    if (played > lag->lastPlayed) {
        lag->steps[lag->nextStep] = played - lag->lastPlayed;
        lag->nextStep = (lag->nextStep + 1) % OutputLag::kSteps;
        lag->stepCount = std::min(lag->stepCount + 1, OutputLag::kSteps);
    }
    lag->lastPlayed = played;
    const int64_t elapsed = nowUs - lag->startUs;
    if (elapsed < 0) return 0;
    const int64_t value = elapsed * int64_t(rate) / 1000000 - (played - lag->startPlayed);
    lag->times[lag->next] = nowUs;
    lag->lags[lag->next] = value;
    lag->next = (lag->next + 1) % OutputLag::kReadings;
    lag->count = std::min(lag->count + 1, OutputLag::kReadings);

    // The least and the most lag of the window: the readings of the last 150 ms, and
    // at least the last few (a device that asks rarely, as a JACK server at a large
    // period).
    int64_t least = value;
    int64_t most = value;
    for (int i = 1; i < lag->count; ++i) {
        const int at = (lag->next - 1 - i + OutputLag::kReadings) % OutputLag::kReadings;
        if (i >= OutputLag::kLeastReadings && nowUs - lag->times[at] > OutputLag::kWindowUs) break;
        least = std::min(least, lag->lags[at]);
        most = std::max(most, lag->lags[at]);
    }
    if (!lag->marked) {
        // The first full window once the output has settled says what its own latency is.
        if (lag->count < OutputLag::kLeastReadings || elapsed < OutputLag::kSettleUs + OutputLag::kWindowUs) return 0;
        lag->marked = true;
        lag->mark = least;
        return 0;
    }
    // A rise counts once it stands out of the readings' own spread by half as much
    // again, and out of a sampling server's step.
    const int64_t smallest = OutputLag::kCountedUs * int64_t(rate) / 1000000;
    int64_t counted = std::max(smallest, (most - least) * 3 / 2);
    if (reading == OutputReading::Sampled) counted = std::max(counted, sampled_step(*lag) + smallest / 2);
    if (least > lag->mark + counted) {
        const int64_t owed = least - lag->mark;
        lag->mark = least;
        return uint64_t(owed);
    }
    lag->mark = std::min(lag->mark, least);
    return 0;
}
