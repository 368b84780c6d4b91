#pragma once
// The arithmetic of the main window's transport, apart from any window: the speed
// limits, the playable range, paused stepping with wrap or clamp, the play-once stop
// rule, the restart frame of a play-once start and the audio play range. Plain
// functions; any thread may call. Errors come back as std::runtime_error.
#include <cstdint>

// Frames advanced per tick after the player's limits: a one-frame movie never plays
// (0); below -4 becomes -16 and above 4 becomes 16 (8 becomes 16, 3 stays 3).
int32_t transport_clamp_speed(int32_t speed, uint32_t frame_count);

// The frames playback may show: [lo, hi], lo the in point (clamped to the last frame;
// 0 when unset), hi the out point (the last frame when unset).
struct TransportRange {
    uint32_t lo = 0;
    uint32_t hi = 0;
    uint32_t length() const { return hi - lo + 1; }
};

// Throws "durationf zero" for a movie without frames and "invalid out point" when
// the out point lies before lo (the frame queue keeps its points ordered, so neither
// arises from the window).
TransportRange transport_play_range(uint32_t frame_count, int32_t in_point, int32_t out_point);

// The frame a paused step of `delta` frames lands on: from the current frame clamped
// into the range; in loop mode the step wraps around the range, else it stops at the
// ends. A one-frame range never moves.
uint32_t transport_seek_target(uint32_t current, int64_t delta, const TransportRange& range, bool loop);

// Play once: whether the tick that showed `current` at `step` ends playback. Reverse
// stops on frame 0 or on a set in point, forward on the last frame or a set out point.
bool transport_play_once_stops(int32_t step, uint32_t current, uint32_t frame_count, int32_t in_point,
                               int32_t out_point);

// Play once: the frame a start from paused plays from. A forward start at or past the
// end of the playable range (the out point or the last frame) restarts at its start,
// a reverse start at or before its start restarts at its end; otherwise `current`.
uint32_t transport_play_once_start_frame(int32_t step, uint32_t current, uint32_t frame_count, int32_t in_point,
                                         int32_t out_point);

// The audio play range in seconds: from in / fps (0 when the in point is unset or 0)
// to (out + 1) / fps, or the movie's duration when the out point is unset.
struct TransportAudioRange {
    double start = 0.0;
    double end = 0.0;
};
TransportAudioRange transport_audio_range(int32_t in_point, int32_t out_point, double fps, double duration_seconds);

// Whether a speed plays sound: audio follows only from -2 to 2.
inline bool transport_speed_has_audio(int32_t speed) { return speed >= -2 && speed <= 2; }
