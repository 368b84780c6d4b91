#pragma once
// Asks the PulseAudio server (PipeWire's too) whether it can play, before the player
// connects its output to it (pulse_output.h): a server that does not answer would hold
// the caller, and one without a default output (a server still starting, or a desktop
// without a sound device) has nothing to play on.
//
// Any thread; it blocks the caller at most `timeoutMs`. It never starts a server, and
// uses a connection of its own, closed before it returns.

enum class SoundServerAnswer {
    NoServer,  // nothing listens where a client would connect
    Ready,     // the server answered and has a default output
    NoSink,    // the server answered but has no default output yet
    NoAnswer,  // the server took the connection but did not answer in time
};

SoundServerAnswer probe_pulse_server(int timeoutMs);

const char* sound_server_answer_text(SoundServerAnswer answer);
