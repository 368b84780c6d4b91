#pragma once
// Asks the PulseAudio server (PipeWire's too) whether the audio I/O library can safely
// connect to it, before the library does. The library waits for a server without end,
// and it crashes on one that has no default output (a server still starting, or a
// desktop without a sound device): it copies the missing sink's name.
//
// Any thread; it blocks the caller at most `timeoutMs`. It never starts a server, and
// uses a connection of its own, closed before it returns.
//
// The library also refreshes its device list at every change the server reports, and
// crashes there when the last sink has gone. A `SoundServerWatch` follows the server's
// outputs on a connection of its own, so that the thread that lets the library handle
// its events asks first whether an output is left.

enum class SoundServerAnswer {
    NoServer,  // nothing listens where the library would connect
    Ready,     // the server answered and has a default output and input
    NoSink,    // the server answered but has no default output (or input) yet
    NoAnswer,  // the server took the connection but did not answer in time
};

SoundServerAnswer probe_pulse_server(int timeoutMs);

const char* sound_server_answer_text(SoundServerAnswer answer);

// One watcher, used by one thread at a time. Opened connected and subscribed to the
// server's sinks and defaults; null when no server answers within `timeoutMs`.
struct SoundServerWatch;
SoundServerWatch* sound_server_watch_open(int timeoutMs);
void sound_server_watch_close(SoundServerWatch* watch);

enum class SoundServerEvent {
    None,     // nothing changed within the time given
    Changed,  // a sink or the server's defaults changed
    Lost,     // the connection to the server is gone
};
SoundServerEvent sound_server_watch_wait(SoundServerWatch* watch, int timeoutMs);
// Asks the watched server whether it has a default output now (as probe_pulse_server).
SoundServerAnswer sound_server_watch_ask(SoundServerWatch* watch, int timeoutMs);
