#include "audio/pulse_output.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <soundio/soundio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <atomic>
#include <thread>

#include "audio/audio_output_writer.h"
#include "audio/planar_ring_buffer.h"
#include "audio/unheard_stream.h"

struct PulseOutput {
    AudioOutputData* data = nullptr;
    PulseOutputNotify notify = nullptr;
    void* userdata = nullptr;

    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* topUp = nullptr;

    // Loop thread (and the owner under the loop's lock).
    uint32_t channels = 0;
    uint32_t frameBytes = 0;
    std::atomic<uint32_t> requestFrames{0};
    SoundIoChannelArea areas[kAudioOutputMaxPlanes] = {};
    void* pending = nullptr;  // the area handed out by the last begin write
    size_t pendingBytes = 0;

    PulseSinkInfo sink;       // the sink the stream was opened on
    std::string defaultSink;  // the server's default sink as last told
    // A look at the server's sinks on its way (one at a time: changes that come during
    // it are in its answer, or bring another look once it is done).
    bool looking = false;
    std::string lookDefault;
    uint32_t lookSinks = 0;
    uint32_t servedPlay = 0;  // the play (AudioOutputData::play) the stream holds sound of
    bool startAtRead = false;  // the next write starts where the server reads
    bool trying = false;      // the stream runs on silence after its open (see there)
    pa_time_event* tryEnd = nullptr;
    pa_operation* timing = nullptr;  // a reading of what the server played, on its way
    bool pausing = false;  // corked once the server has played what it was given
    // A step's sound held back until the server asks at its own pace (watch_held_step):
    // since the server's first word, and its last request (the time and the frames
    // asked). After a stall (the server's first word came long after the step), its
    // readings decide (watch_held_reading): the last one, and how many in a row kept to
    // the clock.
    bool holding = false;
    bool released = false;  // the held step's sound is written at the next serve
    pa_usec_t holdPlayUs = 0;
    pa_usec_t holdSinceUs = 0;
    bool holdAfterStall = false;
    pa_usec_t askUs = 0;
    size_t askFrames = 0;
    pa_usec_t holdReadUs = 0;
    int64_t holdRead = 0;
    int holdReadsPaced = 0;
    pa_usec_t timingNextUs = 0;
    uint32_t timingSeed = 1;
    // The play (AudioOutputData::play) whose first question, asked with its start, is on
    // its way (0: none): how late the server answers it says whether it stood at the play.
    uint32_t askedAtPlay = 0;
    // PipeWire's PulseAudio server, which can lose count of what a stream read
    // (unheard_stream.h): a new play flushes before its first write, and a stream it
    // reads on without playing is started again.
    bool pipeWire = false;
    UnheardStream unheard;
    bool connected = false;  // notices are told only once the connection is made
    bool lost = false;       // told once; nothing is told after it
};

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSampleRate = 48000;
constexpr pa_usec_t kTopUpUs = 5000;
constexpr pa_usec_t kTryUs = 300000;
// How often a play asks the server what it played: 15 to 30 ms apart.
constexpr pa_usec_t kTimingUs = 15000;
// A server that takes longer than this to answer a play's first question stood at the
// play: the sound would start that late, more than a frame of the picture.
constexpr pa_usec_t kPlayAnsweredUs = 60000;

// A server without a sink of its own names a stand-in (PipeWire's, or PulseAudio's when
// it always keeps one) that plays nowhere: that is no output either.
bool is_output(const std::string& sink) { return !sink.empty() && sink != "auto_null"; }

void run_and_forget(pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
}

void tell(PulseOutput* out, PulseOutputNotice notice) {
    if (out->lost || !out->connected) return;
    if (notice != PulseOutputNotice::SinkChanged) out->lost = true;
    if (out->notify) out->notify(out->userdata, notice);
}

// The stream stops, and what the server still holds of it is dropped.
void cork_and_drop(PulseOutput* out) {
    out->pausing = false;
    run_and_forget(pa_stream_cork(out->stream, 1, nullptr, nullptr));
    run_and_forget(pa_stream_flush(out->stream, nullptr, nullptr));
}

// Waits, with the loop's lock held, until `done` or the deadline: the lock is let go
// between looks so the loop's thread can work.
template <typename Done>
bool wait_locked(PulseOutput* out, Clock::time_point deadline, Done done) {
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        pa_threaded_mainloop_unlock(out->loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pa_threaded_mainloop_lock(out->loop);
    }
    return true;
}

std::string context_error(PulseOutput* out) {
    return out->context ? pa_strerror(pa_context_errno(out->context)) : "no connection";
}

// ---------------------------------------------------------------------------------
// The device side: the server's requests, answered from the output ring.

int begin_write(void* handle, SoundIoChannelArea** areas, int* frames) {
    auto* out = static_cast<PulseOutput*>(handle);
    size_t bytes = size_t(*frames) * out->frameBytes;
    void* buffer = nullptr;
    if (pa_stream_begin_write(out->stream, &buffer, &bytes) < 0 || !buffer) return PA_ERR_INVALID;
    const size_t granted = std::min<size_t>(bytes / out->frameBytes, size_t(*frames));
    if (granted == 0) {
        pa_stream_cancel_write(out->stream);
        *frames = 0;
        return 0;
    }
    for (uint32_t c = 0; c < out->channels; ++c) {
        out->areas[c].ptr = static_cast<char*>(buffer) + c * sizeof(float);
        out->areas[c].step = int(out->frameBytes);
    }
    out->pending = buffer;
    out->pendingBytes = granted * out->frameBytes;
    *frames = int(granted);
    *areas = out->areas;
    return 0;
}

int end_write(void* handle) {
    auto* out = static_cast<PulseOutput*>(handle);
    // A new play's first sound goes where the server reads, dropping what it still held
    // (see serve).
    const pa_seek_mode_t seek = out->startAtRead ? PA_SEEK_RELATIVE_ON_READ : PA_SEEK_RELATIVE;
    out->startAtRead = false;
    const int written = pa_stream_write(out->stream, out->pending, out->pendingBytes, nullptr, 0, seek);
    out->pending = nullptr;
    return written < 0 ? pa_context_errno(out->context) : 0;
}

const char* write_error_text(int error) { return pa_strerror(error); }

// A step's one frame of sound goes to the server only once it asks at the pace it
// plays: a server that stood (stopped, or starved) catches up on the time it stood
// when it runs again, reading the stream at full speed for a moment (PipeWire's graph),
// and a step's sound it holds then is run through with the rest, cut up or lost. The
// server asks as it reads: what it asks grows by what it read since its last request,
// no faster than the clock allows (give or take a couple of milliseconds); or it asks
// once for all it misses and then waits for it (PulseAudio), quiet for a while. A
// server that never seems to keep to the clock has it half a second after it first
// asked all the same.
//
// A server that stood longer than a stall before its first word since the step may
// still have all that time to catch up on, and may begin only a moment after it first
// asks (PipeWire's graph, on a busy machine): one request at the clock's pace, or a
// quiet moment, says nothing then. There the server's readings decide: what it read
// since the last reading grew with the clock, twice in a row (not stood still, not run
// ahead). Half a second after its first word it has the step all the same.
constexpr pa_usec_t kHoldPaceUs = 2000;
constexpr pa_usec_t kHoldQuietUs = 10000;
constexpr pa_usec_t kHoldReadPaceUs = 10000;
constexpr pa_usec_t kHoldMostUs = 500000;

void release_held_step(PulseOutput* out) {
    out->holding = false;
    out->released = true;
}

// The server's first word since the step's play: whether it stood meanwhile.
void note_first_word(PulseOutput* out, pa_usec_t now) {
    out->holdSinceUs = now;
    out->holdAfterStall = now - out->holdPlayUs > pa_usec_t(kAudioOutputStallUs);
}

// The server took the step's uncork: its first word since (a server that prebuffers,
// or that asked enough before, may ask nothing more until it is given something).
void on_step_uncorked(pa_stream*, int, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    if (out->holding && out->askUs == 0) {
        out->askUs = pa_rtclock_now();
        note_first_word(out, out->askUs);
        out->askFrames = out->stream ? pa_stream_writable_size(out->stream) / out->frameBytes : 0;
    }
}

void watch_held_step(PulseOutput* out, size_t bytes) {
    const pa_usec_t now = pa_rtclock_now();
    const size_t frames = bytes / out->frameBytes;
    if (out->askUs != 0 && now > out->askUs && !out->holdAfterStall) {
        const size_t due = size_t((now - out->askUs + kHoldPaceUs) * kSampleRate / 1000000);
        if (frames <= out->askFrames + due) release_held_step(out);
    }
    if (out->askUs == 0) note_first_word(out, now);
    else if (now - out->holdSinceUs > kHoldMostUs) release_held_step(out);
    out->askUs = now;
    out->askFrames = frames;
}

// A reading of what the server played (`played` frames, `atUs` on the loop's clock)
// while a step waits after a stall.
void watch_held_reading(PulseOutput* out, pa_usec_t atUs, int64_t played) {
    if (out->holdReadUs != 0 && atUs > out->holdReadUs) {
        const int64_t due = int64_t((atUs - out->holdReadUs) * kSampleRate / 1000000);
        const int64_t read = played - out->holdRead;
        const int64_t allowed = int64_t(kHoldReadPaceUs * kSampleRate / 1000000);
        out->holdReadsPaced = read > 0 && read >= due - allowed && read <= due + allowed ? out->holdReadsPaced + 1 : 0;
    }
    out->holdReadUs = atUs;
    out->holdRead = played;
    if (out->holdReadsPaced >= 2) release_held_step(out);
}

// A flush, or a write that starts where the server reads, moves the server's write
// position there. When the server had read past what it was given (it ran on while the
// stream had nothing: a stall it caught up on, a step held back, a starved play),
// PulseAudio takes that jump for sound received and no longer counts on the request it
// made for it; the request stays granted here all the same (the library cannot know
// how far the position moved). The next play, writing all it is granted, then put that
// much sound in the server's buffer: heard as late as that (seconds after a stall)
// until the server, asking nothing while it played it off, seemed stalled. So before a
// new play's sound starts at the read position, what is granted beyond the buffer the
// server keeps is spent on silence that the move drops: both ends then agree again, on
// PulseAudio as on PipeWire (which still counts on the request, and would wait for it
// all the same).
void spend_credit_beyond_buffer(PulseOutput* out) {
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(out->stream);
    const size_t granted = pa_stream_writable_size(out->stream);
    if (!attr || granted == size_t(-1) || granted <= attr->tlength) return;
    size_t left = (granted - attr->tlength) / out->frameBytes * out->frameBytes;
    while (left > 0) {
        void* buffer = nullptr;
        size_t bytes = left;
        if (pa_stream_begin_write(out->stream, &buffer, &bytes) < 0 || !buffer) return;
        bytes = std::min(bytes, left) / out->frameBytes * out->frameBytes;
        if (bytes == 0) {
            pa_stream_cancel_write(out->stream);
            return;
        }
        std::memset(buffer, 0, bytes);
        if (pa_stream_write(out->stream, buffer, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        left -= bytes;
    }
}

// Writes what the ring holds, up to what the server takes now. Nothing while paused:
// a corked stream keeps what it is given. The first write of a new play drops what the
// server still holds of the last one (a position left), here rather than at the play:
// the owner may be held off between its restart and the play while this thread already
// writes the new position's sound, which must stay. It starts where the server reads,
// in the same message as the sound: after a flush of its own, a server reading on
// (through silence, while a step waited) could pass the new sound's first
// milliseconds before they came.
void serve(PulseOutput* out, size_t bytes) {
    if (!out->stream || out->frameBytes == 0 || out->channels > kAudioOutputMaxPlanes) return;
    // A pause that lets a step play out still writes what is left of it.
    if (out->holding || (out->data->silenced.load() && !out->pausing)) return;
    const uint32_t play = out->data->play.load();
    if (play != out->servedPlay) {
        spend_credit_beyond_buffer(out);
        // PipeWire's server may have lost count of what the stream read (see
        // watch_unheard): a write that starts where it reads then lands where it read
        // long ago, unheard. A flush puts its counts right; the write after it starts
        // where the server reads.
        if (out->pipeWire) run_and_forget(pa_stream_flush(out->stream, nullptr, nullptr));
        out->servedPlay = play;
        out->startAtRead = true;
    }
    AudioDeviceWriter writer;
    writer.stream = out;
    writer.beginWrite = &begin_write;
    writer.endWrite = &end_write;
    writer.errorText = &write_error_text;
    writer.channels = out->channels;
    const int frames = int(std::min<size_t>(bytes / out->frameBytes, 1u << 24));
    if (frames > 0) audio_output_write(out->data, writer, 0, frames);
    if (out->startAtRead) {
        // Nothing to write yet: the old tail goes all the same.
        out->startAtRead = false;
        run_and_forget(pa_stream_flush(out->stream, nullptr, nullptr));
    }
    if (out->released) {
        // As at a play (pulse_output_play): a server that prebuffers would hold the
        // step's one frame back.
        out->released = false;
        run_and_forget(pa_stream_trigger(out->stream, nullptr, nullptr));
    }
}

// The server asks as it plays: every few milliseconds while it runs. A quarter second
// without a request means it stalled, and what it plays next is long overdue; the
// sound starts again at the picture once the server's readings keep to the clock (a
// PipeWire server may first read on at full speed through the time it stood).
void on_write_request(pa_stream*, size_t bytes, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    audio_output_note_request(out->data, true);
    if (out->holding) watch_held_step(out, bytes);
    serve(out, bytes);
}

// ---------------------------------------------------------------------------------
// The server's notices.

void on_stream_state(pa_stream* stream, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    pa_threaded_mainloop_signal(out->loop, 0);
    // A stream the server ended (its sink went with no other to move to) is a lost output.
    if (stream == out->stream && pa_stream_get_state(stream) == PA_STREAM_FAILED) tell(out, PulseOutputNotice::NoSink);
}

void on_context_state(pa_context* context, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    pa_threaded_mainloop_signal(out->loop, 0);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) tell(out, PulseOutputNotice::ServerGone);
}

void finish_look(PulseOutput* out) {
    out->looking = false;
    const std::string previous = out->defaultSink;
    out->defaultSink = out->lookDefault;
    if (!is_output(out->defaultSink) || out->lookSinks == 0) {
        // Every sink gone (a dock unplugged): nothing to play on until one comes.
        tell(out, PulseOutputNotice::NoSink);
    } else if (out->stream && out->defaultSink != previous) {
        tell(out, PulseOutputNotice::SinkChanged);
    }
}

void on_look_sink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    if (eol == 0 && info) {
        ++out->lookSinks;
        return;
    }
    finish_look(out);
}

void on_look_server(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    out->lookDefault = info && info->default_sink_name ? info->default_sink_name : "";
    out->lookSinks = 0;
    pa_operation* operation = pa_context_get_sink_info_list(context, &on_look_sink, out);
    if (operation) pa_operation_unref(operation);
    else finish_look(out);
}

void look_at_sinks(PulseOutput* out) {
    if (out->looking || out->lost) return;
    pa_operation* operation = pa_context_get_server_info(out->context, &on_look_server, out);
    if (!operation) return;
    out->looking = true;
    pa_operation_unref(operation);
}

void on_server_event(pa_context*, pa_subscription_event_type_t, uint32_t, void* userdata) {
    look_at_sinks(static_cast<PulseOutput*>(userdata));
}

// ---------------------------------------------------------------------------------
// The default sink's description, for the stream's layout and the hardware report.

struct SinkQuery {
    bool serverDone = false;
    bool sinkDone = false;
    std::string serverName;
    std::string defaultSink;
    PulseSinkInfo info;
    pa_channel_map map{};
};

void on_query_server(pa_context*, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<SinkQuery*>(userdata);
    if (info && info->default_sink_name) query->defaultSink = info->default_sink_name;
    if (info && info->server_name) query->serverName = info->server_name;
    query->serverDone = true;
}

void on_query_sink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* query = static_cast<SinkQuery*>(userdata);
    if (eol != 0 || !info) {
        query->sinkDone = true;
        return;
    }
    query->info.name = info->name ? info->name : "";
    query->info.description = info->description ? info->description : "";
    query->info.channels = info->sample_spec.channels;
    query->info.rate = info->sample_spec.rate;
    query->info.format = pa_sample_format_to_string(info->sample_spec.format)
                             ? pa_sample_format_to_string(info->sample_spec.format)
                             : "";
    query->info.channelNames.clear();
    for (uint8_t c = 0; c < info->channel_map.channels; ++c)
        query->info.channelNames.emplace_back(pa_channel_position_to_pretty_string(info->channel_map.map[c]));
    query->map = info->channel_map;
}

template <typename Operation>
bool run_operation(PulseOutput* out, Clock::time_point deadline, pa_operation* operation, Operation done) {
    if (!operation) return false;
    const bool answered = wait_locked(out, deadline, [&] {
        return done() || pa_operation_get_state(operation) != PA_OPERATION_RUNNING ||
               !PA_CONTEXT_IS_GOOD(pa_context_get_state(out->context));
    });
    if (!answered) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return answered && done();
}

// The server's default sink into `query`: false, with why, when the server does not
// answer in time or has no output.
bool ask_default_sink(PulseOutput* out, Clock::time_point deadline, SinkQuery* query, std::string* why) {
    if (!run_operation(out, deadline, pa_context_get_server_info(out->context, &on_query_server, query),
                       [&] { return query->serverDone; })) {
        *why = "the sound server does not answer";
        return false;
    }
    if (!is_output(query->defaultSink)) {
        *why = "the sound server has no output";
        return false;
    }
    return true;
}

bool has_position(const pa_channel_map& map, pa_channel_position_t position) {
    for (uint8_t c = 0; c < map.channels; ++c)
        if (map.map[c] == position) return true;
    return false;
}

// The player's channel order for a channel count it has a layout of (0: none). The
// surrounds of 5.1 take the sink's own names for them (rear or side), so the server
// passes them through rather than mixing one pair into the other.
uint32_t player_channel_map(uint32_t channels, const pa_channel_map& sink, pa_channel_map* map) {
    pa_channel_map_init(map);
    const auto set = [map](std::initializer_list<pa_channel_position_t> positions) {
        map->channels = uint8_t(positions.size());
        uint8_t c = 0;
        for (pa_channel_position_t p : positions) map->map[c++] = p;
        return uint32_t(map->channels);
    };
    switch (channels) {
        case 1:
            return set({PA_CHANNEL_POSITION_MONO});
        case 6: {
            const bool side = !has_position(sink, PA_CHANNEL_POSITION_REAR_LEFT) &&
                              has_position(sink, PA_CHANNEL_POSITION_SIDE_LEFT);
            return set({PA_CHANNEL_POSITION_FRONT_LEFT, PA_CHANNEL_POSITION_FRONT_RIGHT,
                        PA_CHANNEL_POSITION_FRONT_CENTER, PA_CHANNEL_POSITION_LFE,
                        side ? PA_CHANNEL_POSITION_SIDE_LEFT : PA_CHANNEL_POSITION_REAR_LEFT,
                        side ? PA_CHANNEL_POSITION_SIDE_RIGHT : PA_CHANNEL_POSITION_REAR_RIGHT});
        }
        case 8:
            return set({PA_CHANNEL_POSITION_FRONT_LEFT, PA_CHANNEL_POSITION_FRONT_RIGHT,
                        PA_CHANNEL_POSITION_FRONT_CENTER, PA_CHANNEL_POSITION_LFE, PA_CHANNEL_POSITION_SIDE_LEFT,
                        PA_CHANNEL_POSITION_SIDE_RIGHT, PA_CHANNEL_POSITION_REAR_LEFT,
                        PA_CHANNEL_POSITION_REAR_RIGHT});
        default:
            return set({PA_CHANNEL_POSITION_FRONT_LEFT, PA_CHANNEL_POSITION_FRONT_RIGHT});
    }
}

// A stream PipeWire's server reads on without playing it (unheard_stream.h) starts again
// where the picture's clock is, as after a stall; the restart's flush (see serve) puts
// the server's counts right.
void watch_unheard(PulseOutput* out, const pa_timing_info* info, pa_usec_t atUs) {
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(out->stream);
    if (!attr || info->write_index_corrupt) return;
    const int64_t frameBytes = out->frameBytes;
    if (unheard_stream_note(&out->unheard, int64_t(atUs), info->read_index / frameBytes,
                            (info->write_index - info->read_index) / frameBytes, int64_t(attr->tlength) / frameBytes,
                            kSampleRate)) {
        audio_output_note_stall(out->data);
    }
}

void on_underflow(pa_stream* stream, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    if (stream == out->stream) unheard_stream_underflow(&out->unheard);
}

void on_started(pa_stream* stream, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    if (stream == out->stream) unheard_stream_started(&out->unheard, int64_t(pa_rtclock_now()));
}

// What the server says it played: the frames it read from the stream, less those
// still on their way through the sink. A server that played zeros in the stream's place
// (PipeWire's graph, when its PulseAudio front end was late) reads the rest later, and
// the output catches up (audio_output_note_played); PulseAudio itself drops what came
// late, and its reading keeps to the clock.
void on_timing(pa_stream* stream, int success, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    if (out->timing) {
        pa_operation_unref(out->timing);
        out->timing = nullptr;
    }
    const uint32_t askedAtPlay = out->askedAtPlay;
    out->askedAtPlay = 0;
    if (!success || stream != out->stream || out->frameBytes == 0) return;
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (!info || info->read_index_corrupt) return;
    // The server answered the play's first question (sent with its start) only once it
    // ran again: it stood at the play, for a moment too short to show as a stall in its
    // requests, and started the sound that late (or caught up on the time it stood
    // through the stream, ahead of the picture).
    if (askedAtPlay != 0 && askedAtPlay == out->data->play.load() && info->transport_usec > kPlayAnsweredUs)
        audio_output_note_stall(out->data);
    const int64_t played = int64_t(info->read_index / int64_t(out->frameBytes)) -
                           int64_t(info->sink_usec * kSampleRate / 1000000);
    // The server's time of the reading: how long its answer took to reach us is no lag.
    timeval now;
    pa_gettimeofday(&now);
    const int64_t age = pa_timeval_cmp(&now, &info->timestamp) > 0
                            ? std::min<int64_t>(int64_t(pa_timeval_diff(&now, &info->timestamp)), 50000)
                            : 0;
    if (out->holding && out->holdAfterStall && out->askUs != 0)
        watch_held_reading(out, pa_rtclock_now() - pa_usec_t(age), played);
    if (out->pipeWire && !out->pausing && out->data->keepTime.load())
        watch_unheard(out, info, pa_rtclock_now() - pa_usec_t(age));
    if (out->pausing) {
        // The step's sound is all written (nothing of it left in the ring) and played.
        uint32_t left = 0;
        uint8_t* planes[kAudioOutputMaxPlanes] = {};
        if (out->data->ring) planar_ring_buffer_get_read(out->data->ring, &left, planes);
        if (!out->holding && left == 0 && !info->write_index_corrupt &&
            played >= int64_t(info->write_index / int64_t(out->frameBytes)))
            cork_and_drop(out);
        return;
    }
    audio_output_note_played(out->data, played, kSampleRate, OutputReading::Sampled, age);
}

// A play's first question goes with its start: the reading it brings says how long the
// server took to answer (see on_timing). One of an earlier play still on its way is
// dropped.
void ask_at_play(PulseOutput* out) {
    if (out->timing) {
        pa_operation_cancel(out->timing);
        pa_operation_unref(out->timing);
    }
    out->timing = pa_stream_update_timing_info(out->stream, &on_timing, out);
    out->askedAtPlay = out->timing ? out->data->play.load() : 0;
}

// Asked at irregular times, 15 to 30 ms apart: readings in step with the server's own
// cycle would all fall at the same point of it, and miss where it really stands. While
// a play keeps to the clock, and while a pause waits for the server to play a step.
void ask_timing(PulseOutput* out) {
    if (out->timing) return;
    const bool stepWaits = out->holding && out->holdAfterStall;
    if (!out->pausing && !stepWaits && (out->data->silenced.load() || !out->data->keepTime.load())) return;
    const pa_usec_t now = pa_rtclock_now();
    if (now < out->timingNextUs) return;
    out->timingSeed = out->timingSeed * 1103515245u + 12345u;
    out->timingNextUs = now + kTimingUs + (out->timingSeed >> 16) % kTimingUs;
    out->timing = pa_stream_update_timing_info(out->stream, &on_timing, out);
}

// Between the server's requests the ring fills again: what it holds goes out at once,
// so a request the ring could not answer whole never leaves the server short.
void on_top_up(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    if (out->holding && out->askUs != 0) {
        const pa_usec_t now = pa_rtclock_now();
        if (out->holdAfterStall ? now - out->holdSinceUs > kHoldMostUs : now - out->askUs > kHoldQuietUs)
            release_held_step(out);
    }
    if (out->stream && pa_stream_get_state(out->stream) == PA_STREAM_READY) {
        const size_t writable = pa_stream_writable_size(out->stream);
        if (writable != size_t(-1) && writable > 0) serve(out, writable);
        ask_timing(out);
    }
    pa_context_rttime_restart(out->context, event, pa_rtclock_now() + kTopUpUs);
}

// The most the server may ask at once: its buffer and one request more.
void note_buffer(PulseOutput* out) {
    if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(out->stream)) {
        const uint32_t frames = (granted->tlength + granted->minreq) / out->frameBytes;
        if (frames > out->requestFrames.load()) out->requestFrames.store(frames);
    }
}

void end_try(PulseOutput* out) {
    if (!out->trying) return;
    out->trying = false;
    run_and_forget(pa_stream_cork(out->stream, 1, nullptr, nullptr));
    run_and_forget(pa_stream_flush(out->stream, nullptr, nullptr));
}

void on_try_end(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    end_try(static_cast<PulseOutput*>(userdata));
}

// The server sized the stream's buffer anew (its graph's cycle changed).
void on_buffer_changed(pa_stream*, void* userdata) {
    auto* out = static_cast<PulseOutput*>(userdata);
    note_buffer(out);
    end_try(out);
}

void drop_stream(PulseOutput* out) {
    out->trying = false;
    out->pausing = false;
    out->holding = false;
    out->released = false;
    out->askedAtPlay = 0;
    unheard_stream_reset(&out->unheard);
    if (out->tryEnd) {
        pa_threaded_mainloop_get_api(out->loop)->time_free(out->tryEnd);
        out->tryEnd = nullptr;
    }
    if (out->topUp) {
        pa_threaded_mainloop_get_api(out->loop)->time_free(out->topUp);
        out->topUp = nullptr;
    }
    if (out->timing) {
        pa_operation_cancel(out->timing);
        pa_operation_unref(out->timing);
        out->timing = nullptr;
    }
    if (!out->stream) return;
    pa_stream_set_write_callback(out->stream, nullptr, nullptr);
    pa_stream_set_state_callback(out->stream, nullptr, nullptr);
    pa_stream_set_buffer_attr_callback(out->stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(out->stream, nullptr, nullptr);
    pa_stream_set_started_callback(out->stream, nullptr, nullptr);
    pa_stream_disconnect(out->stream);
    pa_stream_unref(out->stream);
    out->stream = nullptr;
    out->channels = 0;
    out->frameBytes = 0;
    out->requestFrames.store(0);
}


}  // namespace

PulseOutput* pulse_output_create(AudioOutputData* data, PulseOutputNotify notify, void* userdata) {
    auto* out = new (std::nothrow) PulseOutput;
    if (!out) return nullptr;
    out->data = data;
    out->notify = notify;
    out->userdata = userdata;
    out->loop = pa_threaded_mainloop_new();
    if (!out->loop) {
        delete out;
        return nullptr;
    }
    // Named before it starts: once started, the library names the calling thread
    // instead (the process itself, when the GUI thread calls).
    pa_threaded_mainloop_set_name(out->loop, "sound output");
    if (pa_threaded_mainloop_start(out->loop) < 0) {
        pa_threaded_mainloop_free(out->loop);
        delete out;
        return nullptr;
    }
    return out;
}

void pulse_output_free(PulseOutput* out) {
    if (!out) return;
    pa_threaded_mainloop_lock(out->loop);
    drop_stream(out);
    if (out->context) {
        pa_context_set_state_callback(out->context, nullptr, nullptr);
        pa_context_set_subscribe_callback(out->context, nullptr, nullptr);
        pa_context_disconnect(out->context);
        pa_context_unref(out->context);
        out->context = nullptr;
    }
    pa_threaded_mainloop_unlock(out->loop);
    // Joins the loop's thread: no callback of ours runs after this.
    pa_threaded_mainloop_stop(out->loop);
    pa_threaded_mainloop_free(out->loop);
    delete out;
}

bool pulse_output_connect(PulseOutput* out, int timeoutMs, std::string* why) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pa_threaded_mainloop_lock(out->loop);
    const auto fail = [&](const std::string& text) {
        if (why) *why = text;
        pa_threaded_mainloop_unlock(out->loop);
        return false;
    };
    if (out->context) return fail("already connected");
    out->context = pa_context_new(pa_threaded_mainloop_get_api(out->loop), "Norvu HAP Player");
    if (!out->context) return fail("out of memory");
    pa_context_set_state_callback(out->context, &on_context_state, out);
    if (pa_context_connect(out->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return fail(context_error(out));
    const bool settled = wait_locked(out, deadline, [&] {
        const pa_context_state_t state = pa_context_get_state(out->context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled) return fail("the sound server does not answer");
    if (pa_context_get_state(out->context) != PA_CONTEXT_READY) return fail(context_error(out));

    pa_context_set_subscribe_callback(out->context, &on_server_event, out);
    run_and_forget(pa_context_subscribe(
        out->context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER), nullptr, nullptr));
    SinkQuery query;
    std::string failure;
    if (!ask_default_sink(out, deadline, &query, &failure)) return fail(failure);
    out->defaultSink = query.defaultSink;
    // "PulseAudio (on PipeWire 0.3.65)"
    out->pipeWire = query.serverName.find("PipeWire") != std::string::npos;
    out->connected = true;
    pa_threaded_mainloop_unlock(out->loop);
    return true;
}

bool pulse_output_open_stream(PulseOutput* out, int timeoutMs, std::string* why) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pa_threaded_mainloop_lock(out->loop);
    const auto fail = [&](const std::string& text) {
        drop_stream(out);
        if (why) *why = text;
        pa_threaded_mainloop_unlock(out->loop);
        return false;
    };
    drop_stream(out);
    if (!out->context || pa_context_get_state(out->context) != PA_CONTEXT_READY || out->lost)
        return fail("no sound server");

    SinkQuery query;
    std::string failure;
    if (!ask_default_sink(out, deadline, &query, &failure)) return fail(failure);
    if (!run_operation(out, deadline,
                       pa_context_get_sink_info_by_name(out->context, query.defaultSink.c_str(), &on_query_sink, &query),
                       [&] { return query.sinkDone; }) ||
        query.info.channels == 0)
        return fail("the sound server's output went away");
    out->defaultSink = query.defaultSink;
    out->sink = query.info;

    pa_channel_map map;
    const uint32_t channels = player_channel_map(query.info.channels, query.map, &map);
    pa_sample_spec samples;
    samples.format = PA_SAMPLE_FLOAT32LE;
    samples.rate = kSampleRate;
    samples.channels = uint8_t(channels);
    out->stream = pa_stream_new(out->context, "Norvu HAP Player output", &samples, &map);
    if (!out->stream) return fail(context_error(out));
    out->channels = channels;
    out->frameBytes = channels * uint32_t(sizeof(float));
    pa_stream_set_state_callback(out->stream, &on_stream_state, out);
    pa_stream_set_write_callback(out->stream, &on_write_request, out);
    pa_stream_set_buffer_attr_callback(out->stream, &on_buffer_changed, out);
    pa_stream_set_underflow_callback(out->stream, &on_underflow, out);
    pa_stream_set_started_callback(out->stream, &on_started, out);

    // 20 ms asked; the server may grant more (its own quantum, or PULSE_LATENCY_MSEC),
    // and the ring is sized on what it grants. No prebuffering: a stream the player
    // was late for goes on in time, and what came too late is dropped by the server.
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = 960 * out->frameBytes;
    attr.prebuf = 0;
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(out->stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
        return fail(context_error(out));
    const bool settled = wait_locked(out, deadline, [&] {
        const pa_stream_state_t state = pa_stream_get_state(out->stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!settled) return fail("the sound server does not answer");
    if (pa_stream_get_state(out->stream) != PA_STREAM_READY) return fail(context_error(out));
    out->topUp = pa_context_rttime_new(out->context, pa_rtclock_now() + kTopUpUs, &on_top_up, out);
    note_buffer(out);
    // A server whose graph runs larger cycles than asked (PipeWire's, forced for
    // Bluetooth or to save power) sizes a stream's buffer only once it runs: the stream
    // runs on silence for a moment (unless a play comes first), so the ring can hold
    // what the server will ask.
    out->trying = true;
    run_and_forget(pa_stream_cork(out->stream, 0, nullptr, nullptr));
    out->tryEnd = pa_context_rttime_new(out->context, pa_rtclock_now() + kTryUs, &on_try_end, out);
    pa_threaded_mainloop_unlock(out->loop);
    return true;
}

void pulse_output_close_stream(PulseOutput* out) {
    pa_threaded_mainloop_lock(out->loop);
    drop_stream(out);
    pa_threaded_mainloop_unlock(out->loop);
}

uint32_t pulse_output_channels(const PulseOutput* out) { return out->channels; }
uint32_t pulse_output_request_frames(const PulseOutput* out) { return out->requestFrames.load(); }
const PulseSinkInfo& pulse_output_sink(const PulseOutput* out) { return out->sink; }

std::string pulse_output_default_sink(PulseOutput* out) {
    pa_threaded_mainloop_lock(out->loop);
    std::string name = out->defaultSink;
    pa_threaded_mainloop_unlock(out->loop);
    return name;
}

void pulse_output_play(PulseOutput* out) {
    pa_threaded_mainloop_lock(out->loop);
    if (out->stream && pa_stream_get_state(out->stream) == PA_STREAM_READY) {
        out->trying = false;
        out->pausing = false;
        // A play's sound goes at once, a step's once the server asks at its pace (see
        // watch_held_step): the first write of either drops the old tail (see serve), so
        // the new sound starts where the server reads.
        out->holding = !out->data->keepTime.load();
        out->released = false;
        out->holdPlayUs = pa_rtclock_now();
        out->holdAfterStall = false;
        out->askUs = 0;
        out->holdReadUs = 0;
        out->holdReadsPaced = 0;
        // In this order on the connection: the old tail goes, the new sound is there
        // before the stream runs (without prebuffering it would start on nothing).
        uint32_t readable = 0;
        uint8_t* planes[kAudioOutputMaxPlanes] = {};
        if (out->data->ring) planar_ring_buffer_get_read(out->data->ring, &readable, planes);
        serve(out, size_t(readable) * out->frameBytes);
        run_and_forget(pa_stream_cork(out->stream, 0, out->holding ? &on_step_uncorked : nullptr, out));
        // A server that prebuffers (a latency set for the player) would hold back a
        // step's one frame of sound, shorter than its prebuffer, until the pause.
        run_and_forget(pa_stream_trigger(out->stream, nullptr, nullptr));
        if (!out->holding) ask_at_play(out);
    }
    pa_threaded_mainloop_unlock(out->loop);
}

void pulse_output_pause(PulseOutput* out, bool playOut) {
    pa_threaded_mainloop_lock(out->loop);
    if (out->stream && pa_stream_get_state(out->stream) == PA_STREAM_READY) {
        out->trying = false;
        // Nothing more is written (the owner silenced the output): the server's readings
        // tell when it has played the rest (on_timing), the loop asks for them (on_top_up).
        if (playOut) out->pausing = true;
        else cork_and_drop(out);
    }
    pa_threaded_mainloop_unlock(out->loop);
}
