#pragma once
// A full disk without a full disk: while a FileSizeLimit lives, no file of the process
// may grow past `bytes` (RLIMIT_FSIZE, soft limit) and SIGXFSZ is ignored, so a write
// that would cross the limit writes what fits and the next one fails with EFBIG, as
// ENOSPC would on a full disk. The previous limit and signal disposition come back when
// it ends. The limit is process-wide: keep it to the few calls under test (a test log
// redirected to a regular file could lose lines written meanwhile; pipes are not
// limited). Main thread; one at a time.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

namespace testsupport {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        m_signalSaved = sigaction(SIGXFSZ, &ignore, &m_previousAction) == 0;
        m_limitSaved = getrlimit(RLIMIT_FSIZE, &m_previous) == 0;
        if (m_signalSaved && m_limitSaved) {
            struct rlimit limit = m_previous;
            limit.rlim_cur = bytes < m_previous.rlim_max ? bytes : m_previous.rlim_max;
            m_armed = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        EXPECT_TRUE(m_armed) << "the file-size limit could not be set";
    }
    ~FileSizeLimit() {
        if (m_limitSaved) setrlimit(RLIMIT_FSIZE, &m_previous);
        if (m_signalSaved) sigaction(SIGXFSZ, &m_previousAction, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool armed() const { return m_armed; }

private:
    struct rlimit m_previous {};
    struct sigaction m_previousAction {};
    bool m_signalSaved = false;
    bool m_limitSaved = false;
    bool m_armed = false;
};

}  // namespace testsupport
