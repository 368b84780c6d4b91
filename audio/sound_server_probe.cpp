#include "audio/sound_server_probe.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/subscribe.h>

#include <chrono>

// A connection of our own; a watch is one subscribed to the server's changes.
struct SoundServerWatch {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool changed = false;
};

namespace {

using Clock = std::chrono::steady_clock;

struct ServerInfo {
    bool answered = false;
    bool hasSink = false;
    bool hasSource = false;
};

void on_server_info(pa_context*, const pa_server_info* info, void* userdata) {
    auto* result = static_cast<ServerInfo*>(userdata);
    result->answered = true;
    if (!info) return;
    result->hasSink = info->default_sink_name && info->default_sink_name[0];
    result->hasSource = info->default_source_name && info->default_source_name[0];
}

// Runs the loop until `done` says so; false when the deadline passed first.
template <typename Done>
bool run_until(pa_mainloop* loop, Clock::time_point deadline, Done done) {
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        if (pa_mainloop_prepare(loop, int(left)) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

bool connect(pa_mainloop* loop, pa_context* context, Clock::time_point deadline, SoundServerAnswer* answer) {
    *answer = SoundServerAnswer::NoServer;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    bool failed = false;
    const bool settled = run_until(loop, deadline, [&] {
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
SoundServerAnswer ask_outputs(pa_mainloop* loop, pa_context* context, Clock::time_point deadline) {
    ServerInfo info;
    pa_operation* operation = pa_context_get_server_info(context, &on_server_info, &info);
    if (!operation) return SoundServerAnswer::NoServer;
    const bool answered = run_until(loop, deadline, [&] {
        return info.answered || pa_operation_get_state(operation) != PA_OPERATION_RUNNING ||
               !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    });
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!answered) return SoundServerAnswer::NoAnswer;
    if (!info.answered) return SoundServerAnswer::NoServer;
    return info.hasSink && info.hasSource ? SoundServerAnswer::Ready : SoundServerAnswer::NoSink;
}

Clock::time_point after(int timeoutMs) { return Clock::now() + std::chrono::milliseconds(timeoutMs); }

}  // namespace

namespace {

void on_server_event(pa_context*, pa_subscription_event_type_t, uint32_t, void* userdata) {
    static_cast<SoundServerWatch*>(userdata)->changed = true;
}

// A connected context, or null with why in `answer`.
SoundServerWatch* open_connection(const char* name, Clock::time_point deadline, SoundServerAnswer* answer) {
    *answer = SoundServerAnswer::NoServer;
    auto* connection = new SoundServerWatch;
    connection->loop = pa_mainloop_new();
    if (connection->loop) connection->context = pa_context_new(pa_mainloop_get_api(connection->loop), name);
    if (!connection->context || !connect(connection->loop, connection->context, deadline, answer)) {
        sound_server_watch_close(connection);
        return nullptr;
    }
    return connection;
}

}  // namespace

SoundServerAnswer probe_pulse_server(int timeoutMs) {
    const Clock::time_point deadline = after(timeoutMs);
    SoundServerAnswer answer;
    SoundServerWatch* connection = open_connection("Norvu HAP Player probe", deadline, &answer);
    if (!connection) return answer;
    answer = ask_outputs(connection->loop, connection->context, deadline);
    sound_server_watch_close(connection);
    return answer;
}

SoundServerWatch* sound_server_watch_open(int timeoutMs) {
    SoundServerAnswer answer;
    SoundServerWatch* watch = open_connection("Norvu HAP Player watch", after(timeoutMs), &answer);
    if (!watch) return nullptr;
    pa_context_set_subscribe_callback(watch->context, &on_server_event, watch);
    pa_operation* operation = pa_context_subscribe(
        watch->context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER), nullptr, nullptr);
    if (!operation) {
        sound_server_watch_close(watch);
        return nullptr;
    }
    pa_operation_unref(operation);
    return watch;
}

void sound_server_watch_close(SoundServerWatch* watch) {
    if (!watch) return;
    if (watch->context) {
        pa_context_disconnect(watch->context);
        pa_context_unref(watch->context);
    }
    if (watch->loop) pa_mainloop_free(watch->loop);
    delete watch;
}

SoundServerEvent sound_server_watch_wait(SoundServerWatch* watch, int timeoutMs) {
    bool lost = false;
    run_until(watch->loop, after(timeoutMs), [&] {
        lost = !PA_CONTEXT_IS_GOOD(pa_context_get_state(watch->context));
        return lost || watch->changed;
    });
    if (lost) return SoundServerEvent::Lost;
    if (!watch->changed) return SoundServerEvent::None;
    watch->changed = false;
    return SoundServerEvent::Changed;
}

SoundServerAnswer sound_server_watch_ask(SoundServerWatch* watch, int timeoutMs) {
    return ask_outputs(watch->loop, watch->context, after(timeoutMs));
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
