// Time-to-sample entries that hold no samples or last no time, in FFmpeg's 100-sample
// Hap1 movie with its time table rewritten: the rate, the frame count and the sample
// each frame shows follow the samples that last some time, and a table full of such
// entries says so in a few lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/mov_parsed.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

using Entries = std::vector<std::pair<uint32_t, uint32_t>>;  // (sample count, duration)

// mov_hap100 with the time table `entries`, the media time scale `timescale` and a media
// duration equal to the time the entries cover.
std::string timed_copy(const std::string& name, const Entries& entries, uint32_t timescale = 12800) {
    const Bytes original = read_whole_file(fixture_path("mov_hap100.mov"));
    Bytes file = with_payload(original, "moov/trak:vide/mdia/minf/stbl/stts", stts_payload(entries));
    const AtomPos mdhd = find_atom(file, "moov/trak:vide/mdia/mdhd");
    uint64_t covered = 0;
    for (const auto& [count, duration] : entries) covered += uint64_t(count) * duration;
    set_be32(file, mdhd.payload + 12, timescale);
    set_be32(file, mdhd.payload + 16, uint32_t(covered));
    const std::string path = scratch_path("time_table_" + name + ".mov");
    write_whole_file(path, file);
    return path;
}

Entries repeated(uint32_t times, std::pair<uint32_t, uint32_t> entry) { return Entries(times, entry); }

Entries joined(std::initializer_list<Entries> parts) {
    Entries all;
    for (const Entries& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The samples the frames show: for each run, every sample from `first` to `last`
// held `each` frames.
struct Run {
    uint32_t first, last, each;
};
std::vector<uint32_t> shown(std::initializer_list<Run> runs) {
    std::vector<uint32_t> samples;
    for (const Run& run : runs)
        for (uint32_t s = run.first; s <= run.last; ++s) samples.insert(samples.end(), run.each, s);
    return samples;
}

struct Expected {
    uint32_t rateNum, rateDen;
    std::vector<uint32_t> samples;  // the sample of each frame
};

void expect_movie(const std::string& path, const Expected& expected) {
    const auto packets = read_packet_list("mov_hap100");
    ASSERT_EQ(packets.size(), 100u);
    ParsedMovie parsed(path);
    ASSERT_EQ(parsed.error, "") << parsed.output.substr(0, 2048);
    const MovFile& movie = parsed.movie;
    EXPECT_EQ(movie.rateNum, expected.rateNum);
    EXPECT_EQ(movie.rateDen, expected.rateDen);
    EXPECT_DOUBLE_EQ(movie.fps, double(expected.rateNum) / expected.rateDen);
    ASSERT_EQ(movie.frameCount, expected.samples.size());
    for (uint32_t k = 0; k < movie.frameCount; ++k)
        ASSERT_EQ(movie.frameTable[k].offset, packets[expected.samples[k]].offset)
            << "frame " << k << " should show sample " << expected.samples[k];
}

// 30 samples of 1/25 s, 30 of 2/25 s, 40 of 1/25 s.
const Entries kHeld = {{30, 512}, {30, 1024}, {40, 512}};
const Expected kHeldFrames{25, 1, shown({{0, 29, 1}, {30, 59, 2}, {60, 99, 1}})};

}  // namespace

// An entry that holds no samples describes none: wherever it stands and whatever it
// says it lasts, the movie keeps the rate, the frames and the pictures of the same
// table without it.
TEST(MovTimeTable, AnEntryThatHoldsNoSamplesChangesNothing) {
    expect_movie(timed_copy("held", kHeld), kHeldFrames);
    const std::pair<const char*, Entries> with_empty[] = {
        {"empty_first", joined({{{0, 1}}, kHeld})},
        {"empty_between", {{30, 512}, {0, 1}, {30, 1024}, {40, 512}}},
        {"empty_last", joined({kHeld, {{0, 7}}})},
        {"empty_no_time", {{0, 0}, {30, 512}, {0, 3}, {30, 1024}, {40, 512}, {0, 0}}},
    };
    for (const auto& [name, entries] : with_empty) {
        SCOPED_TRACE(name);
        expect_movie(timed_copy(name, entries), kHeldFrames);
    }

    // A slide show at 90 kHz, 50 pictures of 5 s then 50 of 10 s: one frame every 5 s.
    const Expected slides{90000, 450000, shown({{0, 49, 1}, {50, 99, 2}})};
    expect_movie(timed_copy("slides", {{50, 450000}, {50, 900000}}, 90000), slides);
    SCOPED_TRACE("slides_empty_first");
    expect_movie(timed_copy("slides_empty_first", {{0, 1}, {50, 450000}, {50, 900000}}, 90000), slides);
}

// A sample of no duration takes no frame wherever it stands, the first included; the
// rate is the shortest duration of the samples that last some time. A track in which no
// sample lasts any time has no rate.
TEST(MovTimeTable, SamplesOfNoDurationTakeNoFrameEvenFirst) {
    {
        SCOPED_TRACE("first");
        expect_movie(timed_copy("timeless_first", {{1, 0}, {29, 512}, {30, 1024}, {40, 512}}),
                     {25, 1, shown({{1, 29, 1}, {30, 59, 2}, {60, 99, 1}})});
    }
    {
        SCOPED_TRACE("three first, in two entries");
        expect_movie(timed_copy("timeless_three_first", {{2, 0}, {1, 0}, {27, 512}, {30, 1024}, {40, 512}}),
                     {25, 1, shown({{3, 29, 1}, {30, 59, 2}, {60, 99, 1}})});
    }
    {
        SCOPED_TRACE("middle");
        expect_movie(timed_copy("timeless_middle", {{10, 512}, {1, 0}, {19, 512}, {30, 1024}, {40, 512}}),
                     {25, 1, shown({{0, 9, 1}, {11, 29, 1}, {30, 59, 2}, {60, 99, 1}})});
    }
    ParsedMovie none_timed(timed_copy("timeless_all", {{1, 0}, {99, 0}}));
    EXPECT_EQ(none_timed.error, "Invalid fps (zero)");
}

// 200,000 entries of one bad kind between good ones: each kind is said once with the
// number of entries it covers, and the movie opens as the same table without them.
TEST(MovTimeTable, EachKindOfBadEntryIsSaidOnce) {
    struct Case {
        const char* name;
        Entries entries;
        const char* line;
        Expected frames;
    };
    const Case cases[] = {
        {"no_samples", joined({{{30, 512}}, repeated(200000, {0, 512}), {{70, 512}}}),
         "STTS Entry invalid : Invalid sample count 0 ; entries : 200000\n", {25, 1, shown({{0, 99, 1}})}},
        {"no_samples_no_time", joined({{{30, 512}}, repeated(200000, {0, 0}), {{70, 512}}}),
         "STTS Entry invalid : Invalid sample count and duration 0 ; entries : 200000\n", {25, 1, shown({{0, 99, 1}})}},
        // The 70 samples after the first 30 last no time: they take no frame.
        {"no_time", joined({{{30, 512}}, repeated(200000, {1, 0})}),
         "STTS : 200000 samples with 0 duration ; entries : 200000\n", {25, 1, shown({{0, 29, 1}})}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = timed_copy(std::string("bad_entries_") + c.name, c.entries);
        ParsedMovie parsed(path);
        EXPECT_LT(parsed.output.size(), 1024u) << parsed.output.substr(0, 1024);
        EXPECT_NE(parsed.output.find(c.line), std::string::npos) << parsed.output.substr(0, 1024);
        EXPECT_EQ(parsed.movie.problemFlags, uint64_t(MovProblem_InvalidSttsEntry));
        expect_movie(path, c.frames);
    }
}
