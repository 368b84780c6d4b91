#include "processing/snapshot_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/file_utf8.h"
#include "platform/text_utf.h"

namespace {

// Writes everything, going on after partial writes and interruptions.
bool write_fully(int fd, const uint8_t* bytes, uint64_t count, uint64_t* written) {
    *written = 0;
    while (*written < count) {
        const uint64_t chunk = std::min<uint64_t>(count - *written, 1u << 30);
        const ssize_t n = ::write(fd, bytes + *written, size_t(chunk));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        *written += uint64_t(n);
    }
    return true;
}

}  // namespace

void file_write_all(const char16_t* path, const uint8_t* bytes, uint64_t count) {
    std::string utf8;
    if (!path || !platform::utf16_to_utf8(path, utf8) || utf8.empty()) {
        throw std::runtime_error("Can't open target file (write) : Unknown filepath . Error : " +
                                 std::to_string(EINVAL));
    }
    const int fd = ::open(utf8.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        char text[256];
        throw std::runtime_error("Can't open target file (write) : " + utf8 + ". Error : " + std::to_string(error) +
                                 ". " + platform::error_text(error, text, sizeof text));
    }
    uint64_t written = 0;
    const bool complete = write_fully(fd, bytes, count, &written);
    const bool closed = ::close(fd) == 0;
    if (!complete || !closed) {
        std::printf("Number of bytes to write : %llu. Number bytes write : %llu\n",
                    static_cast<unsigned long long>(count), static_cast<unsigned long long>(written));
        // No truncated picture is left behind.
        ::unlink(utf8.c_str());
        throw std::runtime_error("Error file write");
    }
}
