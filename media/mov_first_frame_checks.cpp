// Checks that open the first video frame to learn what the sample description does
// not say: ProRes alpha, the DXV sub-codec and the DnxHR profile. They never throw
// and always put the stream position back.
#include <cstdio>
#include <exception>

#include "media/file_access.h"
#include "media/mov_bytes.h"
#include "media/mov_file.h"

namespace {

bool has_first_frame(const MovFile* movie) {
    if (movie->frameCount > 0 && movie->frameTable) return true;
    std::printf("Invalid duration for header check\n");
    return false;
}

// Reads `count` bytes at the start of frame 0 and restores the stream position.
bool read_first_frame_head(MovFile* movie, uint8_t* bytes, uint32_t count) {
    uint64_t back = 0;
    bool ok = true;
    try {
        back = file_tell(movie->file);
        file_read(movie->file, bytes, movie->frameTable[0].offset, count);
    } catch (const std::exception&) {
        ok = false;
    }
    try {
        file_seek(movie->file, back);
    } catch (const std::exception&) {
    }
    return ok;
}

}  // namespace

void MovFile::checkProRes(MovFile* movie) {
    if (movie->depth != 24 || (movie->codec != mov_fourcc("ap4h") && movie->codec != mov_fourcc("ap4x"))) return;
    if (!has_first_frame(movie)) return;
    if (movie->frameTable[0].size < 27) {
        std::printf("Fail to check prores (Invalid length)\n");
        return;
    }
    uint8_t head[26];
    if (!read_first_frame_head(movie, head, sizeof head)) {
        std::printf("Fail to check prores frame\n");
        return;
    }
    const uint8_t alpha_type = head[25] & 0x0F;
    if (alpha_type == 1 || alpha_type == 2) movie->depth = 32;
}

void MovFile::checkDxv(MovFile* movie) {
    if (movie->codec != mov_fourcc("DXD3")) return;
    if (!has_first_frame(movie)) return;
    if (movie->frameTable[0].size < 4) {
        std::printf("Fail to check dxv (Invalid length)\n");
        return;
    }
    uint8_t head[4];
    if (!read_first_frame_head(movie, head, sizeof head)) {
        std::printf("Fail to check dxv frame\n");
        return;
    }
    const uint32_t sub_codec = mov_be32(head);
    if (sub_codec == mov_fourcc("1TXD") || sub_codec == mov_fourcc("6GCY")) {
        movie->depth = 24;
    } else if (sub_codec == mov_fourcc("5TXD") || sub_codec == mov_fourcc("01GY")) {
        movie->depth = 32;
    } else {
        std::printf("Unknown DXV Sub codec : %d\n", static_cast<int>(sub_codec));
        print_fourcc(sub_codec, true);
        std::printf("\n");
        return;
    }
    movie->codecProfile = sub_codec;
}

void MovFile::checkDnxHR(MovFile* movie) {
    if (movie->codec != mov_fourcc("AVdh")) return;
    if (!has_first_frame(movie)) return;
    if (movie->frameTable[0].size < 640) {
        std::printf("Fail to check DnxHR (Invalid length)\n");
        return;
    }
    uint8_t head[45];
    if (!read_first_frame_head(movie, head, sizeof head)) {
        std::printf("Fail to check DnxHR frame\n");
        return;
    }
    if (head[7] & 1) std::printf("DEV : DnxHR with alpha (Alpha unsupported\n");
    const uint32_t depth_code = head[33] >> 5;
    const uint8_t sampling = head[44];
    movie->codecProfile = 0;
    if (!(sampling & 64)) {
        if (depth_code >= 1 && depth_code <= 3)
            movie->codecProfile = 3 + depth_code;
        else
            std::printf("ERROR : unknown DnxHR 422 bitdepth : %u\n", depth_code);
    } else if (sampling & 1) {
        if (depth_code >= 1 && depth_code <= 3)
            movie->codecProfile = 6 + depth_code;
        else
            std::printf("ERROR : unknown DnxHR 444 bitdepth : %u\n", depth_code);
    } else {
        std::printf("Warning : DnxHR RGB (Unsupported)\n");
    }
}
