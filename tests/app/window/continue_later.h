#pragma once
// A process the test stopped (SIGSTOP: a server that hangs) continued after a while,
// whatever the test is waiting on meanwhile: a window held by that process then gets
// its answer, and the test goes on to tell that it was held. Joined when it goes, or
// by waitUntilContinued(); continueNow() continues it at once. A test's GUI thread.
#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/types.h>
#include <thread>

class ContinueLater {
public:
    ContinueLater(qint64 pid, std::chrono::milliseconds delay)
        : m_thread([this, pid, delay] {
              std::unique_lock<std::mutex> hold(m_lock);
              m_wake.wait_for(hold, delay, [this] { return m_now; });
              ::kill(pid_t(pid), SIGCONT);
          }) {}
    ~ContinueLater() { waitUntilContinued(); }
    ContinueLater(const ContinueLater&) = delete;
    ContinueLater& operator=(const ContinueLater&) = delete;

    void waitUntilContinued() {
        if (m_thread.joinable()) m_thread.join();
    }
    void continueNow() {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_now = true;
        }
        m_wake.notify_all();
        waitUntilContinued();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_now = false;
    std::thread m_thread;  // last: it starts once the members it waits on exist
};
