#pragma once
// The output stream on a PulseAudio server (PipeWire's too), through libpulse on a
// threaded main loop of our own. The audio I/O library's own backend for such a server
// crashes when the server has no sink (it copies the missing default sink's name at
// every rescan, on its own thread), and waits without end on a stream open: so on a
// sound server the player plays here, and keeps the library for JACK, ALSA and its
// dummy device.
//
// The stream is float32 at 48000 Hz with the default sink's channel count when the
// player has a layout of it (1, 2, 6, 8; stereo otherwise, the server mixes), and a
// channel map naming the player's channel order (L R C LFE, then the surrounds).
// Every request of the server is answered in full through audio_output_write, from
// the output ring of `data` (silence where it runs short): the loop's thread is the
// device thread. `requestFrames` tells the most the server may ask at once, so the
// ring can hold it.
//
// Threads: the owner (the GUI thread) calls every function; the loop's thread runs
// the write callback and the server's notices. The owner never waits on the server
// longer than the time it gives a call: a server that does not answer in time is
// given up, as a lost one.
//
// Notices come on the loop's thread through `notify` and must only be relayed: the
// default sink changed, or the output was lost: the server has no sink any more (or
// the stream failed, its sink gone), or the server went away. After a loss nothing
// more is told; the owner frees the output and connects anew later.
#include <cstdint>
#include <string>
#include <vector>

struct AudioOutputData;
struct PulseOutput;

enum class PulseOutputNotice { SinkChanged, NoSink, ServerGone };
using PulseOutputNotify = void (*)(void* userdata, PulseOutputNotice notice);

// What the server says of its default sink.
struct PulseSinkInfo {
    std::string name;
    std::string description;
    uint32_t channels = 0;
    uint32_t rate = 0;
    std::string format;
    std::vector<std::string> channelNames;
};

// Null without memory or without a main loop thread.
PulseOutput* pulse_output_create(AudioOutputData* data, PulseOutputNotify notify, void* userdata);
// Closes the stream and the connection and joins the loop's thread.
void pulse_output_free(PulseOutput* output);

// Connects to the server the environment names (never starting one) and reads its
// default sink: false, with why, when it does not answer within `timeoutMs` or has no
// sink.
bool pulse_output_connect(PulseOutput* output, int timeoutMs, std::string* why);
// Opens the stream on the default sink, corked: false, with why, when the server does
// not make it ready within `timeoutMs`. A stream already open is closed first.
bool pulse_output_open_stream(PulseOutput* output, int timeoutMs, std::string* why);
void pulse_output_close_stream(PulseOutput* output);

// The open stream's channels, and the most frames the server asks at once.
uint32_t pulse_output_channels(const PulseOutput* output);
uint32_t pulse_output_request_frames(const PulseOutput* output);
// The sink the stream was opened on.
const PulseSinkInfo& pulse_output_sink(const PulseOutput* output);
// The server's default sink name as last told (empty when it has none).
std::string pulse_output_default_sink(PulseOutput* output);

// Play: what the server still holds of an earlier play is dropped (at the first write
// since the restart, which may come before this call, and which starts where the
// server reads; on PipeWire's server after a flush, which puts right its count of what
// the stream read should it have lost it), what the output ring holds is written, and
// the stream runs; what the server granted beyond its buffer before is spent on silence
// it drops, so the new sound is never queued behind it. A play asks the server a first
// question with its start: a late answer (the server stood at the play) is a stall, and
// the sound starts again once the server keeps to the clock (audio_output_note_stall),
// as when PipeWire's server reads the stream on without playing it (unheard_stream.h). A step's sound (a restart that does not keep time)
// is written only once the server asks at the pace it plays (after a stall: once its
// readings keep to the clock), so a server that catches up on a stall first does not
// run through it. Pause: the stream is corked and what the server holds dropped, so
// the next play never sounds a tail of another position first. After a step
// (`playOut`), whose one frame of sound must be heard whole, that happens only once
// the server says it has played what it was given: a server that stood meanwhile
// (stopped, or busy) plays the step when it runs again. A play before that keeps the
// stream running.
void pulse_output_play(PulseOutput* output);
void pulse_output_pause(PulseOutput* output, bool playOut = false);
