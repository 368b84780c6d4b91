// Damaged and hostile movies: patched copies of FFmpeg movies and hand-made ones. Each
// must give its fixed error text, or a usable movie with its problems recorded, and
// never read outside what the file holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/mov_parsed.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

// A copy of an FFmpeg movie with one big-endian word rewritten at `field` bytes into
// the payload of the atom at `path`.
std::string patched_copy(const std::string& movie, const std::string& path, uint64_t field, uint32_t value,
                         const std::string& copy_name) {
    Bytes file = read_whole_file(fixture_path(movie + ".mov"));
    set_be32(file, find_atom(file, path).payload + field, value);
    const std::string copy = scratch_path(copy_name);
    write_whole_file(copy, file);
    return copy;
}

std::string write_scratch(const std::string& name, const Bytes& bytes) {
    const std::string path = scratch_path(name);
    write_whole_file(path, bytes);
    return path;
}

Bytes filler(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + 1);
    return bytes;
}

// A movie holding one video track built by the caller over `mdat` bytes of filler.
std::string video_movie(const std::string& name, const TrackAtoms& track, size_t mdat) {
    return write_scratch(name, movie_file(filler(mdat), {trak_atom(track)}));
}

const char* kStbl = "moov/trak:vide/mdia/minf/stbl/";

}  // namespace

TEST(MovMalformed, PatchedTablesOfAnFfmpegMovie) {
    struct Case {
        const char* atom;
        uint64_t field;
        uint32_t value;
        const char* error;
    };
    const Bytes original = read_whole_file(fixture_path("mov_hapq_s24_tc.mov"));
    const uint32_t stsz_count = get_be32(original, find_atom(original, std::string(kStbl) + "stsz").payload + 8);
    const Case cases[] = {
        {"stsz", 8, stsz_count + 1, "Stsz atom invalid size entries"},
        {"stco", 4, 0, "Stco atom entries 0"},
        {"stts", 4, 0, "Invalid STTS video trak (no entry)"},
        {"stts", 12, 0, "Sample duration zero (invalid)"},
        {"stsc", 4, 0, "Stsc atom entries 0"},
        {"stsc", 8, 0, "Invalid First chunk index (zero)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string copy = patched_copy("mov_hapq_s24_tc", std::string(kStbl) + c.atom, c.field, c.value,
                                              "patched_table_" + std::to_string(n++) + ".mov");
        ParsedMovie parsed(copy);
        EXPECT_EQ(parsed.error, c.error) << c.atom << "\n" << parsed.output;
        EXPECT_NE(parsed.output.find("ERROR : Video track\n"), std::string::npos) << c.atom;
    }
    // A zero media time scale would give 0 fps, which every later duration divides by.
    const std::string no_rate = patched_copy("mov_hapq_s24_tc", "moov/trak:vide/mdia/mdhd", 12, 0, "mdhd_ts0.mov");
    ParsedMovie parsed(no_rate);
    EXPECT_EQ(parsed.error, "Invalid fps (zero)");
}

TEST(MovMalformed, AudioTimescaleMismatchFailsOnlyTheTrack) {
    const std::string copy =
        patched_copy("mov_hapq_s24_tc", "moov/trak:soun/mdia/mdhd", 12, 44100, "audio_ts_44100.mov");
    ParsedMovie parsed(copy);
    ASSERT_EQ(parsed.error, "") << parsed.output;
    EXPECT_EQ(parsed.movie.frameCount, 30u);
    ASSERT_EQ(parsed.movie.audioTrackCount, 1u);
    EXPECT_EQ(parsed.movie.audioTracks[0].status, uint64_t(MovAudioStatus_Failed));
    EXPECT_NE(parsed.output.find("MDHD timescale (44100) != frequency (48000) (unsupported)\n"), std::string::npos);
    EXPECT_NE(parsed.output.find("ERROR : Failed to parse audio trak : Audio trak timescale not equal to frequency\n"),
              std::string::npos);
    EXPECT_EQ(parsed.movie.timecodePresent, 1);
}

TEST(MovMalformed, FilesThatAreNotMovies) {
    {
        ParsedMovie parsed(write_scratch("eleven.mov", filler(11)));
        EXPECT_EQ(parsed.error, "Not a mov file (too small)");
    }
    {
        Bytes file = movie_file(filler(64), {});
        file[4] = 'f', file[5] = 'r', file[6] = 'e', file[7] = 'e';
        ParsedMovie parsed(write_scratch("free_start.mov", file));
        EXPECT_EQ(parsed.error, "Not a mov file");
        EXPECT_NE(parsed.output.find("Error unknown value start file : "), std::string::npos);
    }
    {
        Bytes file = atom("ftyp", filler(12));
        append(file, atom("mdat", filler(100)));
        ParsedMovie parsed(write_scratch("no_moov.mov", file));
        EXPECT_EQ(parsed.error, "Fail to parse root atom");
    }
    {
        Bytes file = atom("ftyp", filler(2));
        append(file, atom("mdat", filler(100)));
        ParsedMovie parsed(write_scratch("short_ftyp.mov", file));
        EXPECT_EQ(parsed.error, "Invalid Mov start file");
    }
    {
        const std::string missing = scratch_path("does_not_exist.mov");
        ParsedMovie parsed(missing);
        EXPECT_EQ(parsed.error, "Can't open file for read : " + missing + ". Error : 2. No such file or directory");
    }
    {
        MovFile movie;
        MovFile::init(&movie);
        try {
            MovFile::parse(&movie, nullptr);
            ADD_FAILURE() << "no throw";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "No input filepath mov demuxer");
        }
        // No file, so no lock: the locked read refuses the record instead of locking nothing.
        EXPECT_THROW(MovFile::readAudioLocked(&movie, nullptr, 0, 0, 1), std::runtime_error);
        MovFile::closeFile(&movie);
        MovFile::free(&movie);
        MovFile::free(&movie);  // safe to free twice
        MovFile::free(nullptr);
    }
}

TEST(MovMalformed, LastMoovChildWithSizeZeroRunsToTheEnd) {
    const uint64_t first = mdat_payload_offset();
    const TrackAtoms track = simple_video_track({100, 200, 300}, first, 25, {{3, 1}});
    Bytes file = movie_file(filler(600), {trak_atom(track)});
    const AtomPos trak = find_atom(file, "moov/trak");
    set_be32(file, trak.offset, 0);
    ParsedMovie parsed(write_scratch("trak_size0.mov", file));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    ASSERT_EQ(parsed.movie.frameCount, 3u);
    EXPECT_EQ(parsed.movie.frameTable[2].offset, first + 300);
    EXPECT_EQ(parsed.movie.frameTable[2].size, 300u);
}

TEST(MovMalformed, Version1HeadersAreReadByTheirLayout) {
    const uint64_t first = mdat_payload_offset();
    TrackAtoms video = simple_video_track(std::vector<uint32_t>(10, 50), first, 30000, {{10, 1001}});
    video.tkhd = tkhd_payload(1, 1920, 1080);
    video.mdhd = mdhd_payload(1, 30000, 10010);

    TrackAtoms sound;
    sound.handler = "soun";
    sound.tkhd = tkhd_payload(1, 0, 0);
    sound.mdhd = mdhd_payload(1, 48000, 400);
    sound.stsd = stsd_payload(sound_entry_v0("sowt", 1, 16, 48000, {}));
    sound.stts = stts_payload({{400, 1}});
    sound.stsz = stsz_payload(1, 400, {});
    sound.stsc = stsc_payload({{1, 400}});
    sound.stco = stco_payload({first + 500}, true);
    sound.wide_offsets = true;
    const Bytes mdat = filler(500 + 800);
    ParsedMovie parsed(write_scratch("version1.mov", movie_file(mdat, {trak_atom(video), trak_atom(sound)})));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    EXPECT_EQ(parsed.movie.width, 1920u);
    EXPECT_EQ(parsed.movie.height, 1080u);
    EXPECT_EQ(parsed.movie.frameCount, 10u);
    EXPECT_EQ(parsed.movie.rateNum, 30000u);
    EXPECT_EQ(parsed.movie.rateDen, 1001u);
    ASSERT_EQ(parsed.movie.audioTrackCount, 1u);
    const MovAudioTrack& track = parsed.movie.audioTracks[0];
    EXPECT_EQ(track.status, 0u);
    EXPECT_EQ(track.sampleCount, 400u);
    Bytes pcm(800);
    EXPECT_EQ(MovFile::readAudio(&parsed.movie, pcm.data(), 0, 0, 400), 400u);
    EXPECT_EQ(pcm, Bytes(mdat.begin() + 500, mdat.end()));
}

TEST(MovMalformed, FrameRates) {
    const uint64_t first = mdat_payload_offset();
    struct Case {
        uint32_t timescale;
        std::vector<std::pair<uint32_t, uint32_t>> stts;
        uint32_t num, den, frames;
    };
    const Case cases[] = {
        {30000, {{10, 1001}}, 30000, 1001, 10},
        {25, {{10, 1}}, 25, 1, 10},
        {50, {{10, 2}}, 25, 1, 10},
    };
    for (const Case& c : cases) {
        ParsedMovie parsed(
            video_movie("rate_" + std::to_string(c.timescale) + ".mov",
                        simple_video_track(std::vector<uint32_t>(10, 40), first, c.timescale, c.stts), 400));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.rateNum, c.num);
        EXPECT_EQ(parsed.movie.rateDen, c.den);
        EXPECT_EQ(parsed.movie.frameCount, c.frames);
        EXPECT_DOUBLE_EQ(parsed.movie.fps, double(c.timescale) / c.stts[0].second);
    }
}

TEST(MovMalformed, VariableRateResampling) {
    const uint64_t first = mdat_payload_offset();
    {
        // Samples start at 0, 1/12 and 1/8 s; at 24 fps the four frames show 0, 0, 1, 2.
        ParsedMovie parsed(video_movie(
            "vfr_small.mov", simple_video_track({10, 20, 30}, first, 24000, {{1, 2000}, {2, 1000}}), 60));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        const MovFile& movie = parsed.movie;
        EXPECT_NE(parsed.output.find("Variable fps\n"), std::string::npos);
        EXPECT_EQ(movie.rateNum, 24u);
        EXPECT_EQ(movie.rateDen, 1u);
        ASSERT_EQ(movie.frameCount, 4u);
        const uint32_t shown[] = {10, 10, 20, 30};
        for (int k = 0; k < 4; ++k) EXPECT_EQ(movie.frameTable[k].size, shown[k]) << k;
        EXPECT_EQ(movie.duplicatedFrames, 1u);
        EXPECT_EQ(movie.droppedSamples, 0u);
    }
    {
        // The time table counts 1000 samples, the size table 3: only the 3 are ever shown.
        ParsedMovie parsed(video_movie(
            "vfr_stts_long.mov", simple_video_track({10, 20, 30}, first, 24000, {{1, 2000}, {1000, 1000}}), 60));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        ASSERT_GT(parsed.movie.frameCount, 3u);
        for (uint32_t k = 0; k < parsed.movie.frameCount; ++k) {
            EXPECT_GE(parsed.movie.frameTable[k].offset, first);
            EXPECT_LT(parsed.movie.frameTable[k].offset, first + 60);
        }
        EXPECT_EQ(parsed.movie.frameTable[parsed.movie.frameCount - 1].size, 30u);
    }
    {
        // The last sample lies past the end of the file: no frame may show its empty entry.
        ParsedMovie parsed(video_movie(
            "vfr_last_past_end.mov", simple_video_track({10, 20, 5000}, first, 24000, {{1, 2000}, {2, 1000}}), 60));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        ASSERT_EQ(parsed.movie.frameCount, 4u);
        EXPECT_NE(parsed.movie.problemFlags & MovProblem_SampleOutsideFile, 0u);
        for (uint32_t k = 0; k < parsed.movie.frameCount; ++k) EXPECT_NE(parsed.movie.frameTable[k].size, 0u) << k;
        EXPECT_EQ(parsed.movie.frameTable[3].size, 20u);
    }
    {
        // Invalid entries are reported and skipped.
        ParsedMovie parsed(video_movie(
            "vfr_zero_entry.mov", simple_video_track({10, 20, 30}, first, 24000, {{1, 1000}, {0, 1000}, {2, 1000}}),
            60));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.problemFlags & MovProblem_InvalidSttsEntry, uint64_t(MovProblem_InvalidSttsEntry));
        EXPECT_NE(parsed.output.find("STTS Entry invalid : Invalid sample count 0 ; entries : 1\n"), std::string::npos);
    }
    {
        // A hostile time table asking for billions of output frames is held to a bound.
        TrackAtoms track = simple_video_track({10, 20}, first, 1, {{1, 1}, {1, 0xFFFFFFFFu}});
        track.mdhd = mdhd_payload(1, 1, uint64_t(1) << 32);
        ParsedMovie parsed(video_movie("vfr_huge.mov", track, 30));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.frameCount, 1u << 24);
        EXPECT_EQ(parsed.movie.frameTable[(1u << 24) - 1].size, 20u);
    }
}

TEST(MovMalformed, SamplesOutsideTheFileOrTables) {
    const uint64_t first = mdat_payload_offset();
    {
        // 100 good samples, the 101st ends past the end of the file: the 100 stay.
        std::vector<uint32_t> sizes(101, 10);
        sizes[100] = 5000;
        ParsedMovie parsed(
            video_movie("sample_past_end.mov", simple_video_track(sizes, first, 25, {{101, 1}}), 1000 + 100));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.frameCount, 100u);
        EXPECT_EQ(parsed.movie.problemFlags, uint64_t(MovProblem_SampleOutsideFile | MovProblem_IncompleteFrameTable));
        EXPECT_EQ(parsed.movie.frameTable[99].offset, first + 990);
    }
    {
        // The first sample outside the file leaves nothing to play.
        ParsedMovie parsed(video_movie("first_past_end.mov", simple_video_track({5000}, first, 25, {{1, 1}}), 100));
        EXPECT_EQ(parsed.error, "Invalid offset size");
    }
    {
        // A 64-bit chunk offset near 2^64 must not wrap the bounds test.
        TrackAtoms track = simple_video_track({10, 10}, first, 25, {{2, 1}});
        track.stsc = stsc_payload({{1, 1}});
        track.stco = stco_payload({first, 0xFFFFFFFFFFFFFFF8ull}, true);
        track.wide_offsets = true;
        ParsedMovie parsed(video_movie("co64_wrap.mov", track, 100));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.frameCount, 1u);
        EXPECT_EQ(parsed.movie.problemFlags & MovProblem_SampleOutsideFile, uint64_t(MovProblem_SampleOutsideFile));
    }
    {
        // Sample-to-chunk counting more samples than the sizes: the last real sample stays.
        TrackAtoms track = simple_video_track({10, 20, 30}, first, 25, {{3, 1}});
        track.stsc = stsc_payload({{1, 5}});
        track.stco = stco_payload({first}, false);
        ParsedMovie parsed(video_movie("stsc_overcount.mov", track, 60));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        ASSERT_EQ(parsed.movie.frameCount, 3u);
        EXPECT_EQ(parsed.movie.problemFlags, 0u);
        EXPECT_EQ(parsed.movie.frameTable[2].offset, first + 30);
    }
    {
        // Billions of samples claimed with one common size and a 60-byte mdat.
        TrackAtoms track = simple_video_track({10}, first, 25, {{0xFFFFFFF0u, 1}});
        track.stsz = stsz_payload(10, 0xFFFFFFF0u, {});
        track.stsc = stsc_payload({{1, 0xFFFFFFF0u}});
        const Bytes file = movie_file(filler(60), {trak_atom(track)});
        ParsedMovie parsed(write_scratch("huge_common_size.mov", file));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        // Samples run on through the moov atom until the end of the file.
        EXPECT_EQ(parsed.movie.frameCount, (file.size() - first) / 10);
        EXPECT_NE(parsed.movie.problemFlags & MovProblem_IncompleteFrameTable, 0u);
    }
    {
        TrackAtoms track = simple_video_track({10, 20, 30}, first, 25, {{3, 1}});
        track.stsc = stsc_payload({{2, 1}, {1, 1}});
        ParsedMovie parsed(video_movie("stsc_backwards.mov", track, 60));
        EXPECT_EQ(parsed.error, "Stsc error");
    }
    {
        TrackAtoms track = simple_video_track({10, 20, 30}, first, 25, {{3, 1}});
        track.stsz = stsz_payload(0, 3, {10, 0, 30});
        ParsedMovie parsed(video_movie("stsz_zero.mov", track, 60));
        EXPECT_EQ(parsed.error, "Stsz sample zero for frame");
    }
}

TEST(MovMalformed, AudioChunkPastTheEndKeepsTheChunksBefore) {
    const uint64_t first = mdat_payload_offset();
    TrackAtoms sound;
    sound.handler = "soun";
    sound.tkhd = tkhd_payload(0, 0, 0);
    sound.mdhd = mdhd_payload(0, 8000, 400);
    sound.stsd = stsd_payload(sound_entry_v0("twos", 2, 16, 8000, {}));
    sound.stts = stts_payload({{400, 1}});
    sound.stsz = stsz_payload(1, 400, {});
    sound.stsc = stsc_payload({{1, 100}, {3, 50}, {4, 150}});
    // 100 + 100 + 50 samples of 4 bytes inside the file, the fourth chunk far past it.
    sound.stco = stco_payload({first, first + 400, first + 800, first + 100000}, false);
    const Bytes mdat = filler(1000);
    ParsedMovie parsed(write_scratch("audio_chunk_past_end.mov", movie_file(mdat, {trak_atom(sound)})));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    ASSERT_EQ(parsed.movie.audioTrackCount, 1u);
    const MovAudioTrack& track = parsed.movie.audioTracks[0];
    EXPECT_EQ(track.status, uint64_t(MovAudioStatus_ChunkTableCut));
    EXPECT_EQ(track.chunkCount, 3u);
    EXPECT_EQ(track.sampleCount, 250u);
    EXPECT_EQ(track.leadChunks, 2u);
    EXPECT_EQ(track.leadSamplesPerChunk, 100u);
    EXPECT_NE(parsed.output.find("ERROR : Invalid Offset Size Audio chunk (Offset : "), std::string::npos);
    Bytes pcm(250 * 4);
    EXPECT_EQ(MovFile::readAudio(&parsed.movie, pcm.data(), 0, 0, 400), 250u);
    EXPECT_EQ(pcm, Bytes(mdat.begin(), mdat.begin() + 1000));
}
