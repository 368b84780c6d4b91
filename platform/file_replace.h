#pragma once
// Writing a whole file so that a failure never leaves it half written: the reports of
// the tools and the preferences file go through here.
//
// The bytes go into a temporary file beside the target (same folder, a hidden name of
// its own), are written out completely, flushed to the disk and closed, and only then
// is the temporary renamed over the target. On any failure the temporary is removed and
// the target is left as it was. A symbolic link is followed to its final target: a
// link to a regular file stays a link and its target gets the new bytes; a dangling
// link gets its target created. A target that exists and is not a regular file (a
// folder, a FIFO, a device, a socket) or that we may not write is refused before
// anything is made, so a save can never put a file in place of a device node.
//
// Any thread may call (nothing is shared between calls); the process must not let
// SIGXFSZ kill it if it wants a file-size limit reported as an error.
#include <cstddef>
#include <string>

namespace platform {

struct FileReplaceResult {
    int error = 0;        // 0 on success, else the errno value of the step that failed
    std::string message;  // empty on success, else the system's text for `error`
    explicit operator bool() const { return error == 0; }
};

// Replaces the file at the UTF-8 `path` by the `size` bytes at `data` (see above). A new
// file gets mode 0666 less the umask; a replaced one keeps its permission bits (its
// owner becomes the caller, as with any new file). A target that is not a regular file
// fails with EISDIR for a folder and EINVAL ("not a regular file") otherwise.
FileReplaceResult replace_file_utf8(const char* path, const void* data, std::size_t size);

}  // namespace platform
