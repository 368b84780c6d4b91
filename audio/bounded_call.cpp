#include "audio/bounded_call.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// What the caller and the call's thread share; the last of them frees it.
struct Pending {
    std::mutex lock;
    std::condition_variable returned;
    bool done = false;
    bool abandoned = false;
    int result = 0;
    std::function<void()> orphaned;
};

}  // namespace

bool run_with_limit(std::function<int()> call, int limitMs, int* result, std::function<void()> orphaned) {
    auto pending = std::make_shared<Pending>();
    pending->orphaned = std::move(orphaned);
    try {
        std::thread([pending, call = std::move(call)] {
            const int value = call();
            std::function<void()> cleanup;
            {
                const std::lock_guard<std::mutex> hold(pending->lock);
                pending->done = true;
                pending->result = value;
                if (pending->abandoned) cleanup = std::move(pending->orphaned);
            }
            pending->returned.notify_all();
            if (cleanup) cleanup();
        }).detach();
    } catch (const std::system_error& error) {
        std::printf("ERR : Can't start a sound server call : %s\n", error.what());
        if (pending->orphaned) pending->orphaned();
        return false;
    }
    std::unique_lock<std::mutex> hold(pending->lock);
    if (pending->returned.wait_for(hold, std::chrono::milliseconds(limitMs), [&] { return pending->done; })) {
        *result = pending->result;
        return true;
    }
    pending->abandoned = true;
    return false;
}
