// Time-to-sample entries that hold no samples or last no time, in FFmpeg's 100-sample
// Hap1 movie with its time table rewritten: the rate, the frame count and the sample
// each frame shows follow the samples that last some time, and a table full of such
// entries says so in a few lines.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/mov_parsed.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

using Entries = std::vector<std::pair<uint32_t, uint32_t>>;  // (sample count, duration)

// mov_hap100 with the time table `entries` and a media duration of the time they cover.
std::string timed_copy(const std::string& name, const Entries& entries, uint32_t timescale = 12800) {
    Bytes file = with_payload(read_whole_file(fixture_path("mov_hap100.mov")), "moov/trak:vide/mdia/minf/stbl/stts",
                              stts_payload(entries));
    uint64_t covered = 0;
    for (const auto& [count, duration] : entries) covered += uint64_t(count) * duration;
    const AtomPos mdhd = find_atom(file, "moov/trak:vide/mdia/mdhd");
    set_be32(file, mdhd.payload + 12, timescale);
    set_be32(file, mdhd.payload + 16, uint32_t(covered));
    const std::string path = scratch_path("time_table_" + name + ".mov");
    write_whole_file(path, file);
    return path;
}

// The rate, then for each run of samples from `first` to `last`, the frames each shows.
struct Expected {
    uint32_t rateNum, rateDen;
    std::vector<std::vector<uint32_t>> runs;  // {first, last, frames each}
};

void expect_movie(const std::string& path, const Expected& expected) {
    std::vector<uint32_t> samples;
    for (const auto& run : expected.runs)
        for (uint32_t s = run[0]; s <= run[1]; ++s) samples.insert(samples.end(), run[2], s);
    const auto packets = read_packet_list("mov_hap100");
    ASSERT_EQ(packets.size(), 100u);
    ParsedMovie parsed(path);
    ASSERT_EQ(parsed.error, "") << parsed.output.substr(0, 2048);
    EXPECT_EQ(parsed.movie.rateNum, expected.rateNum);
    EXPECT_EQ(parsed.movie.rateDen, expected.rateDen);
    EXPECT_DOUBLE_EQ(parsed.movie.fps, double(expected.rateNum) / expected.rateDen);
    ASSERT_EQ(parsed.movie.frameCount, samples.size());
    for (uint32_t k = 0; k < parsed.movie.frameCount; ++k)
        ASSERT_EQ(parsed.movie.frameTable[k].offset, packets[samples[k]].offset)
            << "frame " << k << " should show sample " << samples[k];
}

// 30 samples of 1/25 s, 30 of 2/25 s, 40 of 1/25 s.
const Expected kHeld{25, 1, {{0, 29, 1}, {30, 59, 2}, {60, 99, 1}}};

}  // namespace

// An entry that holds no samples describes none: wherever it stands and whatever it
// says it lasts, the movie keeps the rate, the frames and the pictures of the same
// table without it.
TEST(MovTimeTable, AnEntryThatHoldsNoSamplesChangesNothing) {
    const std::pair<const char*, Entries> tables[] = {
        {"held", {{30, 512}, {30, 1024}, {40, 512}}},
        {"empty_first", {{0, 1}, {30, 512}, {30, 1024}, {40, 512}}},
        {"empty_between", {{30, 512}, {0, 1}, {30, 1024}, {40, 512}}},
        {"empty_last", {{30, 512}, {30, 1024}, {40, 512}, {0, 7}}},
        {"empty_no_time", {{0, 0}, {30, 512}, {0, 3}, {30, 1024}, {40, 512}, {0, 0}}},
    };
    for (const auto& [name, entries] : tables) {
        SCOPED_TRACE(name);
        expect_movie(timed_copy(name, entries), kHeld);
    }
    // A slide show at 90 kHz, 50 pictures of 5 s then 50 of 10 s: one frame every 5 s.
    for (const bool empty_first : {false, true}) {
        SCOPED_TRACE(empty_first ? "slides with an empty entry first" : "slides");
        Entries slides = {{50, 450000}, {50, 900000}};
        if (empty_first) slides.insert(slides.begin(), {0, 1});
        expect_movie(timed_copy(empty_first ? "slides_empty" : "slides", slides, 90000),
                     {90000, 450000, {{0, 49, 1}, {50, 99, 2}}});
    }
}

// A sample of no duration takes no frame wherever it stands, the first included; the
// rate is the shortest duration of the samples that last some time. A track in which no
// sample lasts any time has no rate.
TEST(MovTimeTable, SamplesOfNoDurationTakeNoFrameEvenFirst) {
    const std::tuple<const char*, Entries, Expected> cases[] = {
        {"first", {{1, 0}, {29, 512}, {30, 1024}, {40, 512}}, {25, 1, {{1, 29, 1}, {30, 59, 2}, {60, 99, 1}}}},
        {"three_first", {{2, 0}, {1, 0}, {27, 512}, {30, 1024}, {40, 512}},
         {25, 1, {{3, 29, 1}, {30, 59, 2}, {60, 99, 1}}}},
        {"middle", {{10, 512}, {1, 0}, {19, 512}, {30, 1024}, {40, 512}},
         {25, 1, {{0, 9, 1}, {11, 29, 1}, {30, 59, 2}, {60, 99, 1}}}},
    };
    for (const auto& [name, entries, expected] : cases) {
        SCOPED_TRACE(name);
        expect_movie(timed_copy(std::string("timeless_") + name, entries), expected);
    }
    ParsedMovie none_timed(timed_copy("timeless_all", {{1, 0}, {99, 0}}));
    EXPECT_EQ(none_timed.error, "Invalid fps (zero)");
}

// 200,000 entries of one bad kind after good ones: each kind is said once with the
// number of entries it covers, and the movie opens as the same table without them.
TEST(MovTimeTable, EachKindOfBadEntryIsSaidOnce) {
    const std::tuple<const char*, std::pair<uint32_t, uint32_t>, const char*, Expected> cases[] = {
        {"no_samples", {0, 512}, "STTS Entry invalid : Invalid sample count 0 ; entries : 200000\n",
         {25, 1, {{0, 99, 1}}}},
        {"no_samples_no_time", {0, 0}, "STTS Entry invalid : Invalid sample count and duration 0 ; entries : 200000\n",
         {25, 1, {{0, 99, 1}}}},
        // The 70 samples after the first 30 last no time: they take no frame.
        {"no_time", {1, 0}, "STTS : 200000 samples with 0 duration ; entries : 200000\n", {25, 1, {{0, 29, 1}}}},
    };
    for (const auto& [name, bad, line, expected] : cases) {
        SCOPED_TRACE(name);
        Entries entries(200001, bad);
        entries.front() = {30, 512};
        if (bad.first == 0) entries.push_back({70, 512});
        const std::string path = timed_copy(std::string("bad_entries_") + name, entries);
        ParsedMovie parsed(path);
        EXPECT_LT(parsed.output.size(), 1024u) << parsed.output.substr(0, 1024);
        EXPECT_NE(parsed.output.find(line), std::string::npos) << parsed.output.substr(0, 1024);
        EXPECT_EQ(parsed.movie.problemFlags, uint64_t(MovProblem_InvalidSttsEntry));
        expect_movie(path, expected);
    }
}
