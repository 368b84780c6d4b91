#include "audio/jack_calls.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How often a caller that may be cancelled looks whether it was.
constexpr auto kCancelSlice = std::chrono::milliseconds(20);

// What jack2 says when a client opens in a process whose clients saw their server go:
// it then closes and deletes every one of them.
constexpr const char* kReapMessage = "Jack server was closed but clients are still allocated";

std::atomic<uint64_t> g_reaps{0};

// One call asked, shared by the caller and the JACK thread (under the queue's lock).
struct Call {
    std::function<int()> call;
    std::function<void()> orphaned;
    bool begun = false;
    bool done = false;
    bool abandoned = false;  // nobody waits for it any more (or nobody ever did)
    bool droppable = true;   // given up on before it began, it is not made
    int result = 0;
};

class JackThread {
public:
    static JackThread& instance() {
        // Never destroyed: its thread may still be inside libjack when the process ends.
        static JackThread* thread = new JackThread;
        return *thread;
    }

    bool running() const { return m_started; }

    void ask(const std::shared_ptr<Call>& call) {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_queue.push_back(call);
        }
        m_asked.notify_one();
    }

    // Waits for `call` until its limit or its cancel: true when it came back in time.
    // Otherwise it is left to the JACK thread.
    bool wait(const std::shared_ptr<Call>& call, int limitMs, const std::atomic<bool>* cancel, int* result) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs < 0 ? 0 : limitMs);
        std::unique_lock<std::mutex> hold(m_lock);
        while (!call->done) {
            if (cancel && cancel->load()) break;
            const auto now = Clock::now();
            if (limitMs >= 0 && now >= deadline) break;
            auto until = limitMs >= 0 ? deadline : now + kCancelSlice;
            if (cancel && until > now + kCancelSlice) until = now + kCancelSlice;
            m_returned.wait_until(hold, until);
        }
        if (call->done) {
            *result = call->result;
            // Not needed: the caller has what the call used back.
            call->orphaned = nullptr;
            return true;
        }
        call->abandoned = true;
        return false;
    }

private:
    JackThread() {
        try {
            std::thread([this] { run(); }).detach();
            m_started = true;
        } catch (const std::system_error& error) {
            std::printf("ERR : Can't start the JACK call thread : %s\n", error.what());
        }
    }

    void run() {
        // A write to the socket of a killed server fails with an error instead of ending
        // the process; libjack's own threads, started from here, inherit the mask.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        pthread_setname_np(pthread_self(), "jack calls");
        for (;;) {
            std::shared_ptr<Call> call;
            std::function<void()> orphaned;
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_asked.wait(hold, [this] { return !m_queue.empty(); });
                call = std::move(m_queue.front());
                m_queue.pop_front();
                if (call->abandoned && call->droppable) {
                    // Given up on before it began: only what it would have used is freed.
                    orphaned = std::move(call->orphaned);
                } else {
                    call->begun = true;
                }
            }
            if (!call->begun) {
                if (orphaned) orphaned();
                continue;
            }
            int value = -1;
            try {
                if (call->call) value = call->call();
            } catch (...) {
                std::printf("ERR : A JACK call failed with an exception\n");
            }
            {
                const std::lock_guard<std::mutex> hold(m_lock);
                call->done = true;
                call->result = value;
                if (call->abandoned) orphaned = std::move(call->orphaned);
            }
            m_returned.notify_all();
            if (orphaned) orphaned();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_asked;
    std::condition_variable m_returned;
    std::deque<std::shared_ptr<Call>> m_queue;
    bool m_started = false;
};

std::mutex g_keptLock;
std::vector<void*>* g_kept = nullptr;  // reachable for the life of the process

}  // namespace

bool jack_call(std::function<int()> call, int limitMs, int* result, std::function<void()> orphaned,
               const std::atomic<bool>* cancel, bool mayDrop) {
    JackThread& thread = JackThread::instance();
    if (!thread.running()) {
        if (orphaned) orphaned();
        return false;
    }
    auto asked = std::make_shared<Call>();
    asked->call = std::move(call);
    asked->orphaned = std::move(orphaned);
    asked->droppable = mayDrop;
    thread.ask(asked);
    return thread.wait(asked, limitMs, cancel, result);
}

void jack_call_later(std::function<void()> job) {
    JackThread& thread = JackThread::instance();
    if (!thread.running()) return;
    auto asked = std::make_shared<Call>();
    asked->call = [job = std::move(job)] {
        job();
        return 0;
    };
    asked->abandoned = true;
    asked->droppable = false;
    thread.ask(asked);
}

uint64_t jack_reaps() { return g_reaps.load(); }

bool jack_client_reaped(uint64_t reapsAtOpen) { return g_reaps.load() != reapsAtOpen; }

void jack_keep_reaped(void* object) {
    if (!object) return;
    const std::lock_guard<std::mutex> hold(g_keptLock);
    if (!g_kept) g_kept = new std::vector<void*>;
    g_kept->push_back(object);
}

void jack_note_library_error(const char* message) {
    if (message && std::strstr(message, kReapMessage)) g_reaps.fetch_add(1);
}
