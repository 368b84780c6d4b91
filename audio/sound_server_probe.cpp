#include "audio/sound_server_probe.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>

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

SoundServerAnswer ask(pa_mainloop* loop, pa_context* context, Clock::time_point deadline) {
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return SoundServerAnswer::NoServer;
    bool failed = false;
    const bool settled = run_until(loop, deadline, [&] {
        const pa_context_state_t state = pa_context_get_state(context);
        failed = !PA_CONTEXT_IS_GOOD(state);
        return failed || state == PA_CONTEXT_READY;
    });
    if (failed) return SoundServerAnswer::NoServer;
    if (!settled) return SoundServerAnswer::NoAnswer;

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

}  // namespace

SoundServerAnswer probe_pulse_server(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return SoundServerAnswer::NoServer;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Norvu HAP Player probe");
    SoundServerAnswer answer = SoundServerAnswer::NoServer;
    if (context) {
        answer = ask(loop, context, deadline);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return answer;
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
