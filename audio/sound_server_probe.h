#pragma once
// Asks a sound server whether it can play, before the player connects its output to
// it: a server that does not answer would hold the caller, and one without a default
// output (a server still starting, or a desktop without a sound device) has nothing to
// play on. Neither probe starts a server; each uses a connection of its own, closed
// before it answers (a JACK probe given up on closes its own later, on the JACK thread).
//
// Any thread but the JACK thread (jack_calls.h), meant for one of its own: each probe
// blocks the caller at most `timeoutMs`. The JACK probe asks on the JACK thread, in turn
// with the process's other JACK calls; one that a stopped server holds there goes on
// alone after the caller gave up, and one whose turn never came before is not made.
#include <atomic>

enum class SoundServerAnswer {
    NoServer,  // nothing listens where a client would connect
    Ready,     // the server answered and has a default output
    NoSink,    // the server answered but has no default output yet
    NoAnswer,  // the server took the connection but did not answer in time
};

// The PulseAudio server (PipeWire's too) that the environment names. It gives up
// (NoAnswer) soon after `cancel`, when given, turns true.
SoundServerAnswer probe_pulse_server(int timeoutMs, const std::atomic<bool>* cancel = nullptr);

// The JACK server that the environment names: Ready when a client of it sees an output
// device, NoSink when it sees none, NoServer when no server takes a client, NoAnswer
// when no answer came within `timeoutMs` (or before `cancel`, when given, turned true).
SoundServerAnswer probe_jack_server(int timeoutMs, const std::atomic<bool>* cancel = nullptr);

const char* sound_server_answer_text(SoundServerAnswer answer);
