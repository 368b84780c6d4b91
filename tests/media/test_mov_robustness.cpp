// Damaged copies of real movies: every byte of the moov atom altered in turn, and the
// file cut at many lengths. Parsing and reading must fail cleanly or succeed, never
// crash or read out of bounds (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/fuzz_targets.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;


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
            parsed += mov_parse_and_read(path);
            ++attempts;
        }
    }
    for (uint64_t length = 0; length < original.size(); length += 331) {
        write_whole_file(path, Bytes(original.begin(), original.begin() + length));
        mov_parse_and_read(path);
    }
    testing::internal::GetCapturedStdout();
    // Most single-byte changes leave a usable movie; a walk that gave up early would not.
    EXPECT_GT(parsed, attempts / 2);
}

// The same damage through the whole opened movie: frames read, decoded and checked,
// audio sources created and read. Every byte of the first list of atoms is altered
// three ways, every byte of the second once (the larger movie costs more per run);
// then the file is cut at many lengths.
TEST(MovRobustness, OpenedMovieSurvivesAlteredAtomsAndCuts) {
    struct Case {
        const char* name;
        std::vector<std::string> three_ways, once;
    };
    const std::string video = "moov/trak:vide/", sound = "moov/trak:soun/";
    const Case cases[] = {
        {"hap_64x48_c7", {video + "mdia/minf/stbl/stsd"}, {"moov"}},
        {"mov_hapq_s24_tc",
         {sound + "mdia/minf/stbl/stsd"},
         {video + "tkhd", video + "mdia/minf/stbl/stsd", sound + "mdia/mdhd", sound + "mdia/minf/stbl/stsz"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = fixture_path(std::string(c.name) + ".mov");
        const Bytes original = read_whole_file(source);
        ASSERT_TRUE(file_to_play_exercise(source));
        const std::string path = scratch_path("robustness_opened.mov");
        size_t opened = 0, attempts = 0;
        auto try_value = [&](uint64_t i, uint8_t value) {
            if (value == original[i]) return;
            Bytes altered = original;
            altered[i] = value;
            write_whole_file(path, altered);
            opened += file_to_play_exercise(path);
            ++attempts;
        };
        testing::internal::CaptureStdout();
        for (const std::string& atom_path : c.three_ways) {
            const AtomPos atom = find_atom(original, atom_path);
            for (uint64_t i = atom.offset; i < atom.offset + atom.size; ++i) {
                for (uint8_t value : {uint8_t(original[i] ^ 0x80), uint8_t(0xFF), uint8_t(0)}) try_value(i, value);
            }
        }
        for (const std::string& atom_path : c.once) {
            const AtomPos atom = find_atom(original, atom_path);
            for (uint64_t i = atom.offset; i < atom.offset + atom.size; ++i) try_value(i, original[i] ^ 0x80);
        }
        for (uint64_t length = 0; length < original.size(); length += original.size() / 40 + 1) {
            write_whole_file(path, Bytes(original.begin(), original.begin() + length));
            file_to_play_exercise(path);
        }
        testing::internal::GetCapturedStdout();
        EXPECT_GT(opened, attempts / 2);
    }
}
