#include "audio/unheard_stream.h"

#include <algorithm>

void unheard_stream_reset(UnheardStream* stream) { *stream = UnheardStream{}; }

void unheard_stream_underflow(UnheardStream* stream) { stream->underflowing = true; }

void unheard_stream_started(UnheardStream* stream, int64_t nowUs) {
    stream->underflowing = false;
    stream->startedUs = nowUs;
}

bool unheard_stream_note(UnheardStream* stream, int64_t atUs, int64_t read, int64_t held, int64_t target,
                         uint32_t rate) {
    bool readOn = false;
    if (stream->lastUs != 0 && atUs > stream->lastUs) {
        const int64_t due = (atUs - stream->lastUs) * int64_t(rate) / 1000000;
        const int64_t allowed = UnheardStream::kPaceUs * int64_t(rate) / 1000000;
        const int64_t stray = read - stream->lastRead - due;
        readOn = read > stream->lastRead && stray >= -allowed && stray <= allowed;
    }
    stream->lastUs = atUs;
    stream->lastRead = read;
    // Played a whole second since it last started: the restarts helped.
    if (!stream->underflowing && atUs >= stream->startedUs + UnheardStream::kHeardAgainUs) stream->restarts = 0;
    const bool full = target > 0 && held * 2 >= target;
    if (!stream->underflowing || !full || !readOn) {
        stream->readings = 0;
        return false;
    }
    if (stream->readings++ == 0) stream->sinceUs = atUs;
    const int64_t wait = UnheardStream::kUnheardUs << std::min(stream->restarts, UnheardStream::kLongestWait);
    if (stream->readings < UnheardStream::kReadings || atUs - stream->sinceUs < wait) return false;
    stream->readings = 0;
    ++stream->restarts;
    return true;
}
