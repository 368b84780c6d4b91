#pragma once
// Asks a sound server whether it can play, before the player connects its output to
// it: a server that does not answer would hold the caller, and one without a default
// output (a server still starting, or a desktop without a sound device) has nothing to
// play on. Neither probe starts a server; each uses a connection of its own, closed
// before it returns.
//
// Any thread, meant for one of its own: the PulseAudio probe blocks the caller at most
// `timeoutMs`, the JACK probe as long as the JACK server takes to answer (libjack waits
// for a stopped server without a limit).
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
// device, NoSink when it sees none, NoServer when no server takes a client.
SoundServerAnswer probe_jack_server();

const char* sound_server_answer_text(SoundServerAnswer answer);
