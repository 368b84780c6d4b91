#pragma once
// Every call of the process into libjack that opens or closes a client, or asks the JACK
// server something, made on one thread of the process's own (the JACK thread), one at a
// time, in the order asked: the audio I/O library's JACK connect, stream open, start and
// close, and context close, the JACK probe's, and a test's own JACK clients.
//
// Why one thread. libjack waits without end for a JACK server that is stopped or hung, in
// every call that asks it something, and holds a lock of the whole process meanwhile. And
// once a client of the process has seen its server go away, the next client opened in the
// process makes libjack close and delete every client that server left: a close of one of
// those afterwards reads freed memory (a crash), and two threads inside libjack at once, one
// closing and one opening, can wait on each other for good. On one thread, a close asked
// before an open is made before it; a client that libjack deleted all the same (its server
// went away and something opened since) is told by jack_client_reaped and must never be
// closed again: its library objects are kept as they are (jack_keep_reaped).
//
// A caller waits at most a limit of its own. A call that does not come back in time is
// made all the same (unless it had not begun and may be dropped: then it is not made at
// all), and what it uses is the JACK thread's from then on: `orphaned` runs there right
// after it (or in its place), before anything asked later, and frees it. So a stopped server holds neither the caller
// nor a quit, only later JACK calls, which wait their turn behind it.
//
// The thread blocks SIGPIPE, as do the threads libjack starts from it: a client writing to
// the socket of a server that was killed gets an error rather than ending the process. It
// is never joined: one still inside libjack when the process ends goes with it.
//
// Any thread may ask; never the JACK thread itself (a call from a call would wait for
// itself). Calls must not throw.
#include <atomic>
#include <cstdint>
#include <functional>

// Runs `call` on the JACK thread after everything asked before it. True, with what it
// returned in *result, when it came back within `limitMs` (a negative limit waits for it
// in any case). False when it did not, or when `cancel`, given, turned true first: then
// `orphaned`, given, runs on the JACK thread after the call, or in its place when the
// call had not begun and `mayDrop` (an open, a question; never a close, which must be
// made before any later open). Without a JACK thread (none could be started) the call is
// not made, `orphaned` runs at once, and the answer is false.
bool jack_call(std::function<int()> call, int limitMs, int* result, std::function<void()> orphaned = {},
               const std::atomic<bool>* cancel = nullptr, bool mayDrop = true);

// Runs `job` on the JACK thread after everything asked before it, without waiting for it
// (a close whose end nobody needs to know).
void jack_call_later(std::function<void()> job);

// How many times libjack has deleted the clients of a server that went away. Read it on
// the JACK thread right after a client opened, and again before its close.
uint64_t jack_reaps();
// True when libjack deleted the client that opened when jack_reaps() was `reapsAtOpen`.
bool jack_client_reaped(uint64_t reapsAtOpen);
// Keeps a library object (a context or a stream) whose libjack client was reaped, for the
// life of the process: freeing it would close its client again.
void jack_keep_reaped(void* object);

// The audio I/O library's jack_error_callback for every JACK context of the process: it
// counts libjack's reaps (libjack says so as an error when it makes one).
void jack_note_library_error(const char* message);
