// Damaged copies of real movies: every byte of the moov atom altered in turn, and the
// file cut at many lengths. Parsing and reading must fail cleanly or succeed, never
// crash or read out of bounds (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

// Parses the file and, when that works, reads the first frames' worth of every
// audio track; returns whether the parse succeeded.
bool parse_and_read(const std::string& path) {
    MovFile movie;
    MovFile::init(&movie);
    const std::u16string wide(path.begin(), path.end());
    bool parsed = true;
    try {
        MovFile::parse(&movie, wide.c_str());
        std::vector<uint8_t> buffer;
        for (uint32_t t = 0; t < movie.audioTrackCount; ++t) {
            const MovAudioTrack& track = movie.audioTracks[t];
            if (!track.pcmSupported || track.bytesPerFrame == 0 || track.bytesPerFrame > 4096) continue;
            const uint64_t count = std::min<uint64_t>(track.sampleCount, 3000);
            buffer.resize(count * track.bytesPerFrame);
            try {
                MovFile::readAudioLocked(&movie, buffer.data(), t, 0, count);
            } catch (const std::exception&) {
            }
        }
        (void)MovFile::averageByteRate(&movie);
    } catch (const std::exception&) {
        parsed = false;
    }
    MovFile::closeFile(&movie);
    MovFile::free(&movie);
    return parsed;
}

}  // namespace

TEST(MovRobustness, EveryMoovByteAlteredAndManyCuts) {
    const Bytes original = read_whole_file(fixture_path("mov_pcm_s16le.mov"));
    const AtomPos moov = find_atom(original, "moov");
    const std::string path = scratch_path("robustness_altered.mov");
    testing::internal::CaptureStdout();
    size_t parsed = 0, attempts = 0;
    for (uint64_t i = moov.offset; i < moov.offset + moov.size; ++i) {
        for (uint8_t value : {uint8_t(original[i] ^ 0x80), uint8_t(0xFF), uint8_t(0)}) {
            if (value == original[i]) continue;
            Bytes altered = original;
            altered[i] = value;
            write_whole_file(path, altered);
            parsed += parse_and_read(path);
            ++attempts;
        }
    }
    for (uint64_t length = 0; length < original.size(); length += 331) {
        write_whole_file(path, Bytes(original.begin(), original.begin() + length));
        parse_and_read(path);
    }
    testing::internal::GetCapturedStdout();
    // Most single-byte changes leave a usable movie; a walk that gave up early would not.
    EXPECT_GT(parsed, attempts / 2);
}
