#pragma once
// A library call that may wait on a sound server without end, made with a limit. libjack
// waits for a JACK server that is stopped or hung in every call that asks it something
// (opening, activating and closing a client), and holds a lock of the whole process
// meanwhile. The call runs on a thread of its own while the caller waits at most the
// limit. A call that does not return in time goes on alone: what it uses is its thread's
// from then on, `orphaned` runs there once the call has returned (to free it), and the
// caller must not touch it again.
//
// Any thread. The threads are detached: one still inside the library when the process
// ends goes with it (an exit does not wait for it).
#include <functional>

// True, with what `call` returned in *result, when it returned within `limitMs`. False
// when it did not, or when no thread could be had (the call is then not made, and
// `orphaned` runs at once).
bool run_with_limit(std::function<int()> call, int limitMs, int* result, std::function<void()> orphaned);
