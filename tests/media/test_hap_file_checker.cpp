// The HAP file checker driven as the file test task drives it, on FFmpeg's movies, on
// movies rebuilt from their frames at batch-boundary lengths, and on damaged copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/hap_file_checker.h"
#include "tests/support/expect_error.h"
#include "tests/support/hap_frame_builder.h"
#include "tests/support/mov_parsed.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

struct Join {
    bool final;  // from the closing swap-and-join
    uint32_t first_slot;
    uint32_t count;
};

struct CheckRun {
    std::string error;       // open error
    std::string read_error;  // read_batch error
    uint32_t threads = 0;
    uint32_t frame_count = 0;
    uint32_t frames_checked = 0;
    std::vector<std::pair<uint32_t, uint32_t>> reads;  // (half, frames) of each batch
    std::vector<Join> joins;                           // the joins that returned frames
    std::map<uint32_t, HapCheckResult> results;        // by frame index
    int repeated_frames = 0;
    std::string output;
};

// Runs the checker in the task's order; `between` is called at the top of each loop turn.
CheckRun run_check(const std::string& path,
                   const std::function<void(HapFileChecker& checker, uint32_t batch)>& between = {}) {
    CheckRun run;
    HapFileChecker checker;
    const std::u16string wide = to_u16(path);
    testing::internal::CaptureStdout();
    try {
        hap_file_checker_open(&checker, wide.c_str());
        run.threads = checker.threadsPerHalf;
        run.frame_count = checker.movie.frameCount;
        auto collect = [&](bool final, uint32_t first, uint32_t count) {
            if (count == 0) return;
            run.joins.push_back({final, first, count});
            for (uint32_t slot = first; slot < first + count; ++slot) {
                const HapCheckResult& r = checker.results[slot];
                if (!run.results.emplace(r.frameIndex, r).second) ++run.repeated_frames;
            }
        };
        uint32_t first = 0;
        for (uint32_t batch = 0;; ++batch) {
            if (between) between(checker, batch);
            const uint32_t joined = hap_file_checker_join_current(&checker, &first);
            collect(false, first, joined);
            const uint32_t half = checker.currentHalf;
            uint32_t read = 0;
            try {
                read = hap_file_checker_read_batch(&checker);
            } catch (const std::runtime_error& e) {
                run.read_error = e.what();
                break;
            }
            if (read == 0) break;
            run.reads.push_back({half, read});
            hap_file_checker_start_batch(&checker);
        }
        const uint32_t joined = hap_file_checker_swap_and_join(&checker, &first);
        collect(true, first, joined);
        run.frames_checked = checker.framesChecked;
    } catch (const std::exception& e) {
        run.error = e.what();
    }
    hap_file_checker_release(&checker);
    run.output = testing::internal::GetCapturedStdout();
    return run;
}

std::vector<Bytes> movie_frames(const std::string& name) {
    std::vector<Bytes> frames;
    for (const MoviePacket& p : read_packet_list(name))
        frames.push_back(read_file_bytes(fixture_path(name + ".mov"), p.offset, p.size));
    return frames;
}

// A 64x48 movie (or `width` x `height` when given) holding `frames` back to back, one per
// chunk (25 fps by default).
std::string build_movie(const std::string& name, const std::vector<Bytes>& frames, const std::string& codec,
                        std::vector<std::pair<uint32_t, uint32_t>> stts = {}, uint32_t timescale = 25,
                        uint16_t width = 0, uint16_t height = 0) {
    Bytes mdat;
    std::vector<uint32_t> sizes;
    for (const Bytes& f : frames) {
        append(mdat, f);
        sizes.push_back(uint32_t(f.size()));
    }
    if (stts.empty()) stts = {{uint32_t(frames.size()), 1}};
    TrackAtoms track = simple_video_track(sizes, mdat_payload_offset(), timescale, stts, codec);
    if (width != 0) {
        track.tkhd = tkhd_payload(0, width, height);
        track.stsd = stsd_payload(video_entry(codec, 24, {}, width, height));
    }
    const std::string path = scratch_path("checker_" + name + ".mov");
    write_whole_file(path, movie_file(mdat, {trak_atom(track)}));
    return path;
}

// `count` frames taken in turn from `pool`.
std::vector<Bytes> cycled(const std::vector<Bytes>& pool, uint32_t count) {
    std::vector<Bytes> frames;
    for (uint32_t i = 0; i < count; ++i) frames.push_back(pool[i % pool.size()]);
    return frames;
}

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Every frame of a run checked exactly once.
void expect_all_checked(const CheckRun& run) {
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.read_error, "");
    EXPECT_EQ(run.frames_checked, run.frame_count);
    EXPECT_EQ(run.repeated_frames, 0);
    EXPECT_EQ(run.results.size(), run.frame_count);
    for (const auto& [index, r] : run.results) EXPECT_LT(index, run.frame_count);
}

// ... each with the given status.
void expect_all(const CheckRun& run, uint32_t status) {
    expect_all_checked(run);
    for (const auto& [index, r] : run.results) EXPECT_EQ(r.status, status) << "frame " << index;
}

uint32_t probe_threads() {
    const CheckRun run = run_check(fixture_path("hap_64x48_c1.mov"));
    EXPECT_EQ(run.error, "");
    return run.threads;
}

}  // namespace

TEST(HapFileChecker, FfmpegMoviesCheckClean) {
    std::vector<std::string> names = {"mov_hap100", "mov_hap100_faststart", "mov_hapq_s24_tc", "mov_hap_none"};
    for (const char* format : {"hap", "hap_alpha", "hap_q"})
        for (const char* size : {"64x48", "1920x1080"})
            for (const char* variant : {"c1", "c7", "c64", "none"})
                names.push_back(std::string(format) + "_" + size + "_" + variant);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const CheckRun run = run_check(fixture_path(name + ".mov"));
        EXPECT_EQ(run.frame_count, read_packet_list(name).size());
        expect_all(run, HapCheckStatus_Valid);
        const bool single_chunk = name.ends_with("none") || name.ends_with("c1") || name.starts_with("mov_hap1");
        const uint32_t first_chunks = run.results.empty() ? 0 : run.results.begin()->second.chunkCounts[0];
        for (const auto& [index, r] : run.results) {
            EXPECT_EQ(r.textureCount, 1u);
            EXPECT_EQ(r.chunkCounts[0], first_chunks);
            EXPECT_EQ(r.chunkCounts[1], 0u);
            if (single_chunk) {
                EXPECT_EQ(r.chunkCounts[0], 1u);
            } else {
                EXPECT_GT(r.chunkCounts[0], 1u);
            }
        }
        EXPECT_TRUE(run.threads >= 1 && run.threads <= 128);
    }
}

TEST(HapFileChecker, BatchesAlternateHalvesAtEveryLength) {
    const uint32_t n = probe_threads();
    ASSERT_GE(n, 1u);
    for (const char* source : {"hap_64x48_c7", "hap_alpha_64x48_c1", "hap_q_64x48_c64"}) {
        const std::vector<Bytes> pool = movie_frames(source);
        const std::string codec = std::string(source).starts_with("hap_q") ? "HapY"
                                  : std::string(source).starts_with("hap_alpha") ? "Hap5" : "Hap1";
        std::vector<uint32_t> counts = {1, 2 * n, 2 * n + 1, 5 * n + 3};
        if (n > 2) counts.push_back(n - 1);
        for (uint32_t count : counts) {
            SCOPED_TRACE(std::string(source) + " x " + std::to_string(count));
            const CheckRun run = run_check(build_movie(std::string(source) + "_" + std::to_string(count),
                                                       cycled(pool, count), codec));
            ASSERT_EQ(run.frame_count, count);
            expect_all(run, HapCheckStatus_Valid);
            // Batches of N (the last one shorter) into halves 0, 1, 0, ...
            ASSERT_EQ(run.reads.size(), (count + n - 1) / n);
            for (size_t b = 0; b < run.reads.size(); ++b) {
                EXPECT_EQ(run.reads[b].first, b % 2);
                EXPECT_EQ(run.reads[b].second, std::min(n, count - uint32_t(b) * n));
            }
            // Each batch is joined from its own half's first slot; the last by the final swap.
            ASSERT_EQ(run.joins.size(), run.reads.size());
            for (size_t b = 0; b < run.joins.size(); ++b) {
                EXPECT_EQ(run.joins[b].first_slot, run.reads[b].first * n);
                EXPECT_EQ(run.joins[b].count, run.reads[b].second);
                EXPECT_EQ(run.joins[b].final, b + 1 == run.joins.size());
            }
        }
    }
}

TEST(HapFileChecker, DamagedFramesGetTheirStatusAtTheirIndex) {
    const std::vector<Bytes> hap1 = movie_frames("hap_64x48_c7");
    // FFmpeg's chunked layout: 8-byte top header, decode instructions (compressor
    // table, size table), then the chunks.
    for (const Bytes& f : hap1) {
        ASSERT_EQ(f[3], 0xCB);
        ASSERT_EQ(f[11], 0x01);
        ASSERT_EQ(f[15], 0x02);
        ASSERT_EQ(f[16], 0x0B);
        ASSERT_EQ(f[16 + f[12] + 3], 0x03);
    }
    std::vector<Bytes> frames = cycled(hap1, 12);
    std::map<uint32_t, uint32_t> expected;
    frames[3][16 + frames[3][12] - 1] = 0x0C;  // the last chunk's compressor unknown
    expected[3] = HapCheckStatus_CorruptTexture;
    const uint32_t top_length = le32(frames[4], 4) + 1;  // the section now runs past the frame
    for (int i = 0; i < 4; ++i) frames[4][4 + i] = uint8_t(top_length >> (8 * i));
    expected[4] = HapCheckStatus_InvalidHeader;
    frames[5] = movie_frames("hap_alpha_64x48_c1")[0];  // a DXT5 frame in a Hap1 movie
    expected[5] = HapCheckStatus_InvalidCodec;
    const size_t chunk_data = 16 + frames[6][12] + 4 + 4 * size_t(frames[6][12]);
    for (size_t i = chunk_data; i < chunk_data + 6; ++i) frames[6][i] = 0xFF;  // first chunk's snappy data broken
    expected[6] = HapCheckStatus_CorruptTexture;
    frames[7] = hap_section(0xAB, Bytes(1000, 0x11));  // decodes to too few bytes
    expected[7] = HapCheckStatus_CorruptTexture;
    frames[8] = hap_section(0xAB, Bytes(2000, 0x11));  // too many for the texture
    expected[8] = HapCheckStatus_CorruptTexture;
    frames[11] = movie_frames("hap_64x48_c1")[1];  // a single snappy block: valid
    const Bytes hapq = movie_frames("hap_q_64x48_c1")[0];
    Bytes two_textures = hapq;
    append(two_textures, hap_section(0xA1, Bytes(16 * 12 * 8, 0x22)));
    frames[9] = hap_section(0x0D, two_textures);  // a valid HapM frame in a Hap1 movie
    expected[9] = HapCheckStatus_InvalidTextureCount;
    frames[10] = hap_section(0xA7, Bytes(1536, 0));  // unknown texture format
    expected[10] = HapCheckStatus_InvalidHeader;

    const CheckRun run = run_check(build_movie("damaged_hap1", frames, "Hap1"));
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.frames_checked, 12u);
    ASSERT_EQ(run.results.size(), 12u);
    for (const auto& [index, r] : run.results) {
        const uint32_t want = expected.count(index) ? expected[index] : HapCheckStatus_Valid;
        EXPECT_EQ(r.status, want) << "frame " << index;
    }
    EXPECT_EQ(run.results.at(9).textureCount, 2u);
    EXPECT_EQ(run.results.at(9).chunkCounts[1], 1u);
    EXPECT_EQ(run.results.at(4).textureCount, 0u);
    EXPECT_NE(run.output.find("ERR : decoding tex 0 : Nb bytes decode (1000) != nb bytes dst : (1536)\n"),
              std::string::npos);
}

TEST(HapFileChecker, TwoTextureAlphaAndBc7Movies) {
    const Bytes hapq = movie_frames("hap_q_64x48_c7")[0];
    uint32_t hapq_chunks = 0;
    {
        const CheckRun q = run_check(fixture_path("hap_q_64x48_c7.mov"));
        ASSERT_FALSE(q.results.empty());
        hapq_chunks = q.results.begin()->second.chunkCounts[0];
    }
    auto hapm = [&](size_t alpha_bytes) {
        Bytes textures = hapq;
        append(textures, hap_section(0xB1, snappy_compress(texture_pattern(alpha_bytes, 7))));
        return hap_section(0x0D, textures);
    };
    const CheckRun m = run_check(build_movie("hapm", {hapm(1536), hapq, hapm(1500), hapm(1536), hapm(2000)}, "HapM"));
    EXPECT_EQ(m.error, "");
    ASSERT_EQ(m.results.size(), 5u);
    EXPECT_EQ(m.results.at(0).status, HapCheckStatus_Valid);
    EXPECT_EQ(m.results.at(0).textureCount, 2u);
    EXPECT_EQ(m.results.at(0).chunkCounts[0], hapq_chunks);
    EXPECT_EQ(m.results.at(0).chunkCounts[1], 1u);
    // One texture only: wrong count, its chunk count still recorded.
    EXPECT_EQ(m.results.at(1).status, HapCheckStatus_InvalidTextureCount);
    EXPECT_EQ(m.results.at(1).textureCount, 1u);
    EXPECT_EQ(m.results.at(1).chunkCounts[0], hapq_chunks);
    EXPECT_EQ(m.results.at(2).status, HapCheckStatus_CorruptTexture);  // short alpha texture
    EXPECT_NE(m.output.find("ERR : decoding tex 1 : Nb bytes decode (1500) != nb bytes dst : (1536)"),
              std::string::npos);
    EXPECT_EQ(m.results.at(3).status, HapCheckStatus_Valid);
    EXPECT_EQ(m.results.at(4).status, HapCheckStatus_CorruptTexture);  // alpha texture too large

    // HapA: FFmpeg's uncompressed DXT1 frames relabelled as RGTC1 (same block size).
    std::vector<Bytes> alpha = movie_frames("hap_64x48_none");
    for (Bytes& f : alpha) {
        ASSERT_EQ(f[3], 0xAB);
        f[3] = 0xA1;
    }
    expect_all(run_check(build_movie("hapa", alpha, "HapA")), HapCheckStatus_Valid);

    const Bytes bc7 = hap_section(0xBC, snappy_compress(texture_pattern(16 * 12 * 16, 3)));
    const CheckRun b = run_check(build_movie("hap7", {bc7, bc7, movie_frames("hap_64x48_c1")[0]}, "Hap7"));
    ASSERT_EQ(b.results.size(), 3u);
    EXPECT_EQ(b.results.at(0).status, HapCheckStatus_Valid);
    EXPECT_EQ(b.results.at(1).status, HapCheckStatus_Valid);
    EXPECT_EQ(b.results.at(2).status, HapCheckStatus_InvalidCodec);
}

TEST(HapFileChecker, EmptyTableEntriesAreNotDecoded) {
    // The parser leaves (0, 0) entries where its table walk stopped short; such a
    // frame is reported empty without a read or a decode.
    const uint32_t count = 9;
    const std::string path = build_movie("empty_entries", cycled(movie_frames("hap_64x48_c1"), count), "Hap1");
    const CheckRun run = run_check(path, [&](HapFileChecker& checker, uint32_t batch) {
        if (batch != 0) return;
        checker.movie.frameTable[2] = FrameIndexEntry{0, 0};
        checker.movie.frameTable[count - 1] = FrameIndexEntry{0, 0};
    });
    expect_all_checked(run);
    for (const auto& [index, r] : run.results) {
        const bool empty = index == 2 || index == count - 1;
        EXPECT_EQ(r.status, empty ? HapCheckStatus_EmptyFrame : HapCheckStatus_Valid) << "frame " << index;
        EXPECT_EQ(r.textureCount, empty ? 0u : 1u);
    }
}

TEST(HapFileChecker, OpenErrors) {
    // An unknown video codec gets no frame table: nothing to check.
    EXPECT_EQ(run_check(fixture_path("mov_png.mov")).error, "Invalid zero duration");
    EXPECT_EQ(run_check(build_movie("jpeg", movie_frames("hap_64x48_c1"), "jpeg")).error, "Unsupported codec");
    EXPECT_TRUE(run_check(fixture_path("no_such_movie.mov")).error.starts_with("Can't open file for read : "));
    const std::string tiny = scratch_path("checker_tiny.mov");
    write_whole_file(tiny, Bytes(11, 0));
    EXPECT_EQ(run_check(tiny).error, "Not a mov file (too small)");
}

TEST(HapFileChecker, ReadErrorAndStopLeaveNothingRunning) {
    // Truncated between batches: the batch holding the first lost frame fails to read,
    // the batches started before it are still joined and valid.
    const std::string path = scratch_path("checker_truncated.mov");
    std::filesystem::copy_file(fixture_path("mov_hap100_faststart.mov"), path,
                               std::filesystem::copy_options::overwrite_existing);
    const std::vector<MoviePacket> packets = read_packet_list("mov_hap100_faststart");
    const uint32_t n = probe_threads();
    // Cut far past what the first batch's reads may have buffered.
    uint32_t cut = 0;
    const uint64_t read_end = packets[std::min<size_t>(n, packets.size()) - 1].offset + 16384;
    while (cut < packets.size() && packets[cut].offset < read_end) ++cut;
    if (cut >= packets.size()) GTEST_SKIP() << "movie too short to cut after the first batch";
    const CheckRun run = run_check(path, [&](HapFileChecker&, uint32_t batch) {
        if (batch == 1) std::filesystem::resize_file(path, packets[cut].offset);
    });
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.read_error, "File read error");
    EXPECT_NE(run.output.find("Nb bytes read request : "), std::string::npos);
    const uint32_t read_ok = cut / n * n;
    EXPECT_EQ(run.frames_checked, read_ok);
    ASSERT_EQ(run.results.size(), read_ok);
    for (const auto& [index, r] : run.results) EXPECT_EQ(r.status, HapCheckStatus_Valid) << "frame " << index;

    // Stopped with two batches in flight: the release joins them before freeing.
    HapFileChecker checker;
    const std::u16string wide = to_u16(build_movie("stop", cycled(movie_frames("hap_64x48_c1"), 2 * n + 1), "Hap1"));
    hap_file_checker_open(&checker, wide.c_str());
    uint32_t first = 0;
    for (int b = 0; b < 2; ++b) {
        EXPECT_EQ(hap_file_checker_join_current(&checker, &first), 0u);
        EXPECT_EQ(hap_file_checker_read_batch(&checker), n);
        hap_file_checker_start_batch(&checker);
    }
    EXPECT_EQ(checker.currentHalf, 0u);
    EXPECT_EQ(checker.framesChecked, 0u);
    // Reading into a half whose threads are not joined is refused.
    EXPECT_THROW(hap_file_checker_read_batch(&checker), std::logic_error);
    hap_file_checker_release(&checker);
    EXPECT_EQ(checker.threads, nullptr);
    EXPECT_EQ(checker.inputs, nullptr);
    EXPECT_EQ(checker.targets, nullptr);
    EXPECT_EQ(checker.movie.file, nullptr);
    hap_file_checker_release(&checker);  // a second release is harmless
}

TEST(HapFileChecker, TargetSetupSizesTexturesFromTheCodec) {
    HapCheckTarget t;
    hap_file_checker_frame_init(&t);
    EXPECT_THROW(dxt_frame_setup_for_hap(&t), std::runtime_error);  // "size unset"
    t.width = 66;
    t.height = 50;
    t.codec = 6;
    EXPECT_EQ(runtime_error_text([&] { dxt_frame_setup_for_hap(&t); }), "codec hap unknown");

    t.codec = HapCodec_HapM;  // 17 x 13 blocks
    dxt_frame_setup_for_hap(&t);
    EXPECT_EQ(t.lineSizes[0], 17u * 16);
    EXPECT_EQ(t.byteSizes[0], 17u * 13 * 16);
    EXPECT_EQ(t.lineSizes[1], 17u * 8);
    EXPECT_EQ(t.byteSizes[1], 17u * 13 * 8);
    ASSERT_NE(t.textures[1], nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(t.textures[0]) % 64, 0u);

    uint8_t* const kept = t.textures[0];
    t.codec = HapCodec_Hap5;  // same size for texture 0: its buffer is kept; texture 1 goes
    dxt_frame_setup_for_hap(&t);
    EXPECT_EQ(t.textures[0], kept);
    EXPECT_EQ(t.textures[1], nullptr);
    EXPECT_EQ(t.blockBytes[1], 0u);
    t.codec = HapCodec_HapA;
    dxt_frame_setup_for_hap(&t);
    EXPECT_EQ(t.byteSizes[0], 17u * 13 * 8);

    // 65535 x 65535 BC7 would need 2^32 bytes: refused rather than wrapped.
    t.width = t.height = 65535;
    t.codec = HapCodec_Hap7;
    EXPECT_EQ(runtime_error_text([&] { dxt_frame_setup_for_hap(&t); }), "Texture size too large");
    hap_file_checker_frame_free(&t);
    EXPECT_EQ(t.textures[0], nullptr);
}

// A slot's textures get room for what each frame's bytes can decode to, at most the
// picture's: they grow when a later frame in the same slot needs more, and what a frame
// decodes to is what it would decode to with the whole picture's room. 1920x1080 Hap1:
// 1,036,800 texture bytes. Frame f lands in slot f mod 2N.
TEST(HapFileChecker, EachFrameGetsRoomForWhatItsBytesCanDecodeTo) {
    const uint32_t n = probe_threads();
    ASSERT_GE(n, 1u);
    const uint32_t texture_bytes = 480 * 270 * 8;
    // 12 bytes: decode to 8 bytes, in room for 256.
    const Bytes tiny = hap_section(0xAB, Bytes(8, 0x11));
    // 64 chunks, all pointing at one snappy block of a 64th of the texture: some 1.4 KB
    // that decode to the whole texture, far more than one block of that size could.
    const Bytes block = snappy_compress(Bytes(texture_bytes / 64, 0));
    const Bytes repeated = hap_section(0xCB, hap_chunked_payload(std::vector<HapChunkSpec>(64, {0x0B, block}), true, {0}));
    ASSERT_LT(repeated.size() * 64 / 3, texture_bytes);
    // A snappy block declaring the whole texture, cut after 100 bytes: cannot decode.
    Bytes cut = snappy_compress(texture_pattern(texture_bytes, 5));
    cut.resize(100);
    const Bytes whole = hap_section(0xBB, snappy_compress(texture_pattern(texture_bytes, 9)));

    std::vector<Bytes> frames(2 * n, tiny);                 // every slot starts small
    frames.insert(frames.end(), 2 * n, repeated);           // then needs the whole texture
    frames.push_back(hap_section(0xBB, cut));
    frames.push_back(whole);
    const CheckRun run = run_check(build_movie("room_1080p", frames, "Hap1", {}, 25, 1920, 1080));
    expect_all_checked(run);
    for (const auto& [index, r] : run.results) {
        const bool valid = (index >= 2 * n && index < 4 * n) || index == 4 * n + 1;
        EXPECT_EQ(r.status, valid ? HapCheckStatus_Valid : HapCheckStatus_CorruptTexture) << "frame " << index;
    }
    EXPECT_EQ(run.results.at(2 * n).chunkCounts[0], 64u);
    // Each tiny frame decoded, and said what it decoded to; no other frame did.
    auto count = [&](const std::string& text) {
        size_t found = 0;
        for (size_t at = run.output.find(text); at != std::string::npos; at = run.output.find(text, at + 1)) ++found;
        return found;
    };
    EXPECT_EQ(count("ERR : decoding tex 0 : Nb bytes decode (8) != nb bytes dst : (1036800)\n"), 2 * n);
    EXPECT_EQ(count("ERR : decoding tex"), 2 * n);
}
