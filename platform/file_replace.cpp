#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/file_utf8.h"

namespace platform {

namespace {

// Links followed before giving up, as the kernel does (ELOOP).
constexpr int kMaxLinks = 40;
// Bytes of the target's name kept in the temporary's name, so the whole name stays far
// below the file systems' 255-byte limit.
constexpr std::size_t kNameBytesKept = 100;

FileReplaceResult failure(int error) {
    FileReplaceResult result;
    result.error = error;
    char buffer[256];
    result.message = error_text(error, buffer, sizeof buffer);
    return result;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path's final target after following every symbolic link of its last component.
// `exists` tells whether that target exists; `info` is its lstat when it does.
int resolve_target(std::string& path, bool& exists, struct stat& info) {
    for (int links = 0;; ++links) {
        if (lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT) return errno;
            exists = false;  // a new file, or a dangling link's target
            return 0;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return 0;
        }
        if (links == kMaxLinks) return ELOOP;
        // st_size is the link's length on most file systems and 0 on some: room for a
        // whole path either way.
        std::vector<char> link(static_cast<std::size_t>(info.st_size > 4095 ? info.st_size : 4095) + 1);
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0) return errno;
        if (static_cast<std::size_t>(length) >= link.size()) return ENAMETOOLONG;  // grew meanwhile
        const std::string next(link.data(), static_cast<std::size_t>(length));
        path = (!next.empty() && next[0] == '/') ? next : folder_of(path) + "/" + next;
    }
}

// Opens a new temporary file beside `target`: "<folder>/.<name>.<pid>-<n>.tmp".
int open_temporary(const std::string& target, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    std::string name = name_of(target);
    if (name.size() > kNameBytesKept) {
        std::size_t cut = kNameBytesKept;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // whole characters
        name.resize(cut);
    }
    const std::string stem = folder_of(target) + "/." + name + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, "%ld-%u%04llx.tmp", static_cast<long>(getpid()), counter++,
                      ticks & 0xFFFFu);
        temporary = stem + suffix;
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

int write_all(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;  // no progress and no error: never loop forever
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

FileReplaceResult replace_file_utf8(const char* path, const void* data, std::size_t size) {
    if (!path || !*path || (!data && size > 0)) return failure(path && !*path ? ENOENT : EINVAL);

    std::string target = path;
    bool exists = false;
    struct stat info {};
    if (const int error = resolve_target(target, exists, info)) return failure(error);
    if (exists) {
        if (S_ISDIR(info.st_mode)) return failure(EISDIR);
        if (!S_ISREG(info.st_mode)) {
            FileReplaceResult result;
            result.error = EINVAL;
            result.message = "not a regular file";
            return result;
        }
        // As opening it for writing would have refused.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return failure(errno);
    }

    std::string temporary;
    const int fd = open_temporary(target, temporary);
    if (fd < 0) return failure(errno);
    int error = 0;
    if (exists && fchmod(fd, info.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) != 0) error = errno;
    if (!error) error = write_all(fd, data, size);
    if (!error && fsync(fd) != 0) error = errno;
    // A failed close may be the first word of a failed write (network file systems).
    if (close(fd) != 0 && !error && errno != EINTR) error = errno;
    if (!error && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        unlink(temporary.c_str());
        return failure(error);
    }
    return {};
}

}  // namespace platform
