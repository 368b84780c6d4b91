#include "app/transport_rules.h"

#include <algorithm>
#include <stdexcept>

int32_t transport_clamp_speed(int32_t speed, uint32_t frame_count) {
    if (frame_count == 1) return 0;
    if (speed < -4) return -16;
    if (speed > 4) return 16;
    return speed;
}

TransportRange transport_play_range(uint32_t frame_count, int32_t in_point, int32_t out_point) {
    if (frame_count == 0) throw std::runtime_error("durationf zero");
    const uint32_t last = frame_count - 1;
    TransportRange range;
    range.lo = in_point < 0 ? 0 : std::min(static_cast<uint32_t>(in_point), last);
    range.hi = out_point < 0 ? last : std::min(static_cast<uint32_t>(out_point), last);
    if (range.hi < range.lo) throw std::runtime_error("invalid out point");
    return range;
}

uint32_t transport_seek_target(uint32_t current, int64_t delta, const TransportRange& range, bool loop) {
    const int64_t lo = range.lo;
    const int64_t hi = range.hi;
    const int64_t length = hi - lo + 1;
    const int64_t from = std::clamp<int64_t>(current, lo, hi);
    if (length <= 1) return static_cast<uint32_t>(from);
    if (loop) delta %= length;  // keeps the sign
    const int64_t target = from + delta;
    if (target >= lo && target <= hi) return static_cast<uint32_t>(target);
    if (!loop) return static_cast<uint32_t>(target < lo ? lo : hi);
    return static_cast<uint32_t>(target < lo ? target + length : lo + (target - hi - 1));
}

bool transport_play_once_stops(int32_t step, uint32_t current, uint32_t frame_count, int32_t in_point,
                               int32_t out_point) {
    if (step < 0) return current == 0 || (in_point >= 0 && static_cast<uint32_t>(in_point) == current);
    if (step > 0)
        return (frame_count > 0 && current == frame_count - 1) ||
               (out_point >= 0 && static_cast<uint32_t>(out_point) == current);
    return false;
}

uint32_t transport_play_once_start_frame(int32_t step, uint32_t current, uint32_t frame_count, int32_t in_point,
                                         int32_t out_point) {
    if (frame_count == 0 || step == 0) return current;
    TransportRange range;
    try {
        range = transport_play_range(frame_count, in_point, out_point);
    } catch (const std::runtime_error&) {
        return current;
    }
    if (step > 0 && current >= range.hi) return range.lo;
    if (step < 0 && current <= range.lo) return range.hi;
    return current;
}

TransportAudioRange transport_audio_range(int32_t in_point, int32_t out_point, double fps, double duration_seconds) {
    TransportAudioRange range;
    if (!(fps > 0.0)) {
        range.end = duration_seconds;
        return range;
    }
    range.start = in_point > 0 ? in_point / fps : 0.0;
    range.end = out_point >= 0 ? (static_cast<double>(out_point) + 1.0) / fps : duration_seconds;
    return range;
}
