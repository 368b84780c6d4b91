#pragma once
// Asks the PulseAudio server (PipeWire's too) whether the audio I/O library can safely
// connect to it, before the library does. The library waits for a server without end,
// and it crashes on one that has no default output (a server still starting, or a
// desktop without a sound device): it copies the missing sink's name.
//
// Any thread; it blocks the caller at most `timeoutMs`. It never starts a server, and
// uses a connection of its own, closed before it returns.

enum class SoundServerAnswer {
    NoServer,  // nothing listens where the library would connect
    Ready,     // the server answered and has a default output and input
    NoSink,    // the server answered but has no default output (or input) yet
    NoAnswer,  // the server took the connection but did not answer in time
};

SoundServerAnswer probe_pulse_server(int timeoutMs);

const char* sound_server_answer_text(SoundServerAnswer answer);
