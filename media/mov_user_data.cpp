// The user-data atoms: our own metadata `NRVU` and alpha note `NRVA`, and `ALFA`.
#include <cstdio>
#include <cstring>

#include "media/mov_atom_walk.h"
#include "media/mov_bytes.h"
#include "media/mov_file.h"

namespace {

// Reads an NRVU payload; returns false (after printing why) when its values are invalid.
bool read_own_metadata(MovFile* movie, const uint8_t* p) {
    movie->metaVersion = mov_le16(p);
    if (movie->metaVersion != 1) {
        std::printf("Invalid nrv version : %u\n", movie->metaVersion);
        return false;
    }
    movie->alphaKind = p[2];
    if (movie->alphaKind > 2) {
        std::printf("Invalid nrv alpha : %u\n", movie->alphaKind);
        return false;
    }
    if (p[3] == 1) {
        movie->displayWindowFlag = 1;
        movie->displayWidth = mov_le32(p + 4);
        movie->displayHeight = mov_le32(p + 8);
        movie->originX = mov_le32(p + 12);
        movie->originY = mov_le32(p + 16);
        if (movie->displayWidth == 0 || movie->displayHeight == 0) {
            std::printf("Invalid nrv crop : %u x %u\n", movie->displayWidth, movie->displayHeight);
            return false;
        }
    } else {
        movie->displayWindowFlag = 0;
        movie->displayWidth = movie->displayHeight = movie->originX = movie->originY = 0;
    }
    return true;
}

}  // namespace

void MovFile::parseUdta(MovFile* movie, const uint8_t* buffer, const AtomHeader& udta) {
    const bool complete = mov_walk_children(
        buffer, udta.dataOffset, udta.dataSize,
        [&](const AtomHeader& atom) {
            const uint8_t* p = buffer + atom.dataOffset;
            const uint64_t size = atom.dataSize;
            if (atom.type == mov_fourcc("ALFA")) {
                if (size < 10) {
                    std::printf("Unknown size for alfa metadata : %llu\n", static_cast<unsigned long long>(size));
                } else {
                    const uint32_t value = mov_le32(p + 5);
                    if (value == 0 && p[9] == 0)
                        movie->alfaMode = 3;
                    else if (value == 1 && p[9] == 1)
                        movie->alfaMode = 2;
                }
            } else if (atom.type == mov_fourcc("NRVU")) {
                if (size >= 20) {
                    if (read_own_metadata(movie, p)) {
                        movie->metaPresent = 1;
                    } else {
                        std::printf("Fail to read Nrv Metadata (invalid values), set a s unset\n");
                        movie->metaPresent = 0;
                    }
                }
            } else if (atom.type == mov_fourcc("NRVA")) {
                if (movie->metaPresent == 1 && movie->alphaKind != 0) return true;
                if (size >= 8 && std::memcmp(p, "straight", 8) == 0) {
                    movie->metaPresent = 1;
                    movie->alphaKind = 2;
                } else if (size >= 17 && std::memcmp(p, "premultiply_black", 17) == 0) {
                    movie->metaPresent = 1;
                    movie->alphaKind = 1;
                }
            }
            return true;
        },
        9);
    if (!complete) std::printf("Fail to parse UDTA additionnal atoms\n");
}
