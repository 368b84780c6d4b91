#include "audio/sound_server_probe.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <soundio/soundio.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "audio/jack_calls.h"

namespace {

// A connection of our own.
struct Connection {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
};

using Clock = std::chrono::steady_clock;

// How long a wait on the server lasts at most before the probe looks whether it was
// asked to give up.
constexpr long kCancelSliceUs = 20000;

// When the probe gives up: at its deadline, or once asked to.
struct Limit {
    Clock::time_point deadline;
    const std::atomic<bool>* cancel = nullptr;
};

struct ServerInfo {
    bool answered = false;
    bool hasSink = false;
};

void on_server_info(pa_context*, const pa_server_info* info, void* userdata) {
    auto* result = static_cast<ServerInfo*>(userdata);
    result->answered = true;
    if (!info) return;
    // A server without a sink of its own may name a stand-in that plays nowhere.
    result->hasSink = info->default_sink_name && info->default_sink_name[0] &&
                      std::strcmp(info->default_sink_name, "auto_null") != 0;
}

// Runs the loop until `done` says so; false when the limit came first.
template <typename Done>
bool run_until(pa_mainloop* loop, const Limit& limit, Done done) {
    while (!done()) {
        if (limit.cancel && limit.cancel->load()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(limit.deadline - Clock::now()).count();
        if (left <= 0) return false;
        const int wait = int(std::min<long>(left, kCancelSliceUs));
        if (pa_mainloop_prepare(loop, wait) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

bool connect(pa_mainloop* loop, pa_context* context, const Limit& limit, SoundServerAnswer* answer) {
    *answer = SoundServerAnswer::NoServer;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    bool failed = false;
    const bool settled = run_until(loop, limit, [&] {
        const pa_context_state_t state = pa_context_get_state(context);
        failed = !PA_CONTEXT_IS_GOOD(state);
        return failed || state == PA_CONTEXT_READY;
    });
    if (failed) return false;
    if (!settled) {
        *answer = SoundServerAnswer::NoAnswer;
        return false;
    }
    return true;
}

// The server's answer on a connected context.
SoundServerAnswer ask_outputs(pa_mainloop* loop, pa_context* context, const Limit& limit) {
    ServerInfo info;
    pa_operation* operation = pa_context_get_server_info(context, &on_server_info, &info);
    if (!operation) return SoundServerAnswer::NoServer;
    const bool answered = run_until(loop, limit, [&] {
        return info.answered || pa_operation_get_state(operation) != PA_OPERATION_RUNNING ||
               !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    });
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!answered) return SoundServerAnswer::NoAnswer;
    if (!info.answered) return SoundServerAnswer::NoServer;
    return info.hasSink ? SoundServerAnswer::Ready : SoundServerAnswer::NoSink;
}

void close_connection(Connection* connection) {
    if (connection->context) {
        pa_context_disconnect(connection->context);
        pa_context_unref(connection->context);
    }
    if (connection->loop) pa_mainloop_free(connection->loop);
}

}  // namespace

SoundServerAnswer probe_pulse_server(int timeoutMs, const std::atomic<bool>* cancel) {
    const Limit limit{Clock::now() + std::chrono::milliseconds(timeoutMs), cancel};
    Connection connection;
    connection.loop = pa_mainloop_new();
    if (connection.loop)
        connection.context = pa_context_new(pa_mainloop_get_api(connection.loop), "Norvu HAP Player probe");
    SoundServerAnswer answer = SoundServerAnswer::NoServer;
    if (connection.context && connect(connection.loop, connection.context, limit, &answer))
        answer = ask_outputs(connection.loop, connection.context, limit);
    close_connection(&connection);
    return answer;
}

SoundServerAnswer probe_jack_server(int timeoutMs, const std::atomic<bool>* cancel) {
    // A context of its own, connected as the player's would be, on the JACK thread: the
    // player's own is used by the GUI thread meanwhile. Its close is the JACK thread's next
    // call (before anything the answer leads to), so a machine slow to close a client
    // does not hold the answer up.
    const auto ask = [] {
        SoundIo* context = soundio_create();
        if (!context) return int(SoundServerAnswer::NoServer);
        context->app_name = "Norvu HAP Player probe";
        // The library's own handler ends the process when the server goes meanwhile.
        context->on_backend_disconnect = [](SoundIo*, int) {};
        // libjack's own reports are how its reaps are known.
        context->jack_error_callback = &jack_note_library_error;
        SoundServerAnswer answer = SoundServerAnswer::NoServer;
        bool connected = false;
        if (soundio_connect_backend(context, SoundIoBackendJack) == 0) {
            connected = true;
            soundio_flush_events(context);
            const bool hasOutput = soundio_default_output_device_index(context) >= 0;
            answer = hasOutput ? SoundServerAnswer::Ready : SoundServerAnswer::NoSink;
        }
        const uint64_t reaps = jack_reaps();
        jack_call_later([context, connected, reaps] {
            // A client libjack deleted (its server went away since) is not closed again.
            if (connected && jack_client_reaped(reaps)) jack_keep_reaped(context);
            else soundio_destroy(context);
        });
        return int(answer);
    };
    int answer = 0;
    // Not made at all when given up on before its turn: the next probe asks afresh.
    if (!jack_call(ask, timeoutMs, &answer, {}, cancel)) return SoundServerAnswer::NoAnswer;
    return SoundServerAnswer(answer);
}

const char* sound_server_answer_text(SoundServerAnswer answer) {
    switch (answer) {
        case SoundServerAnswer::NoServer:
            return "no sound server";
        case SoundServerAnswer::Ready:
            return "ready";
        case SoundServerAnswer::NoSink:
            return "the sound server has no output";
        case SoundServerAnswer::NoAnswer:
            return "the sound server does not answer";
    }
    return "unknown";
}
