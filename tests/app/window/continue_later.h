#pragma once
// A process the test stopped (SIGSTOP: a server that hangs) continued after a while,
// whatever the test is waiting on meanwhile: a window held by that process then gets
// its answer, and the test goes on to tell that it was held. Joined when it goes, or
// by waitUntilContinued(). A test's GUI thread.
#include <QtGlobal>
#include <chrono>
#include <csignal>
#include <sys/types.h>
#include <thread>

class ContinueLater {
public:
    ContinueLater(qint64 pid, std::chrono::milliseconds delay)
        : m_thread([pid, delay] {
              std::this_thread::sleep_for(delay);
              ::kill(pid_t(pid), SIGCONT);
          }) {}
    ~ContinueLater() { waitUntilContinued(); }
    ContinueLater(const ContinueLater&) = delete;
    ContinueLater& operator=(const ContinueLater&) = delete;

    void waitUntilContinued() {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::thread m_thread;
};
