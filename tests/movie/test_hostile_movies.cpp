// Movies crafted the way an attacker would: absurd channel counts and track header
// sizes that differ from the frames. Opening them, playing them and checking them must
// stay as cheap as the file is small.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_src_track.h"
#include "base/pcm/channel_layouts.h"
#include "media/hap_file_checker.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "media/video_frame.h"
#include "tests/support/audio_src_files.h"
#include "tests/support/fuzz_targets.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

std::string write_movie(const std::string& name, const SizedHapMovie& desc) {
    const std::string path = scratch_path(name);
    write_whole_file(path, sized_hap_movie(desc));
    return path;
}

long peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time of the whole process, every thread included, in seconds. Unlike the
// wall clock it does not grow while a loaded machine holds the process back.
double process_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Work and growth of the process's peak memory over `step`. The peak only ever grows,
// so an allocation in proportion to a hostile count (gigabytes) shows, where a few
// megabytes of ordinary work may hide under an earlier peak; a loop over such a count
// shows as seconds of processor time.
template <typename Step>
void expect_cheap(const char* what, Step step) {
    const long before = peak_rss_kib();
    const double start = process_cpu_seconds();
    step();
    const double seconds = process_cpu_seconds() - start;
    EXPECT_LT(seconds, 1.0) << what << ": processor seconds";
    EXPECT_LT(peak_rss_kib() - before, 32 * 1024) << what << ": peak memory grew by KiB";
}

// Address space the process holds now, in KiB.
long address_space_kib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return 0;
}

struct CheckedMovie {
    std::vector<uint32_t> statuses;  // by frame
    long heldKib = 0;  // address space the checker held, every frame checked, beyond the process's before
};

// Checks every frame of a movie in the file test's order. A slot's textures only grow
// until the release, so what the checker holds at the end is the most it ever held.
CheckedMovie check_every_frame(const std::string& path) {
    CheckedMovie out;
    const long before = address_space_kib();
    HapFileChecker checker;
    const std::u16string wide(path.begin(), path.end());
    hap_file_checker_open(&checker, wide.c_str());
    out.statuses.assign(checker.movie.frameCount, ~0u);
    auto collect = [&](uint32_t first, uint32_t count) {
        for (uint32_t slot = first; slot < first + count; ++slot)
            out.statuses.at(checker.results[slot].frameIndex) = checker.results[slot].status;
    };
    uint32_t first = 0;
    for (;;) {
        const uint32_t joined = hap_file_checker_join_current(&checker, &first);
        collect(first, joined);
        if (hap_file_checker_read_batch(&checker) == 0) break;
        hap_file_checker_start_batch(&checker);
    }
    const uint32_t joined = hap_file_checker_swap_and_join(&checker, &first);
    collect(first, joined);
    out.heldKib = address_space_kib() - before;
    hap_file_checker_release(&checker);
    return out;
}

SizedHapMovie lpcm_movie(uint32_t channels) {
    SizedHapMovie desc;
    desc.sound_entry = sound_entry_v2("lpcm", 48000.0, channels, 16, 12, 1, {});
    return desc;
}

}  // namespace

TEST(HostileMovies, DeclaredChannelCountsSizeNothing) {
    struct Case {
        uint32_t channels;
        uint32_t listed;  // the channels the listed-only source keeps
    };
    const Case cases[] = {{1025, 1024}, {0x04000000, 1024}, {0x10000000, 1024}, {0xFFFFFFFF, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        const std::string path = write_movie("hostile_channels_" + std::to_string(c.channels) + ".mov",
                                             lpcm_movie(c.channels));
        expect_cheap("open and create sources", [&] {
            FileToPlay movie(QString::fromStdString(path));
            EXPECT_EQ(movie.errorText(), QString());
            const QList<AudioSrcTrack*> tracks = movie.createAudioTracks();
            ASSERT_EQ(tracks.size(), 1);
            EXPECT_FALSE(tracks[0]->isPlayable());
            EXPECT_EQ(tracks[0]->errorText(), QString());
            EXPECT_EQ(tracks[0]->channels(), c.listed);
            EXPECT_EQ(tracks[0]->defaultChannelMapping(0), 1u);
            EXPECT_EQ(tracks[0]->defaultChannelMapping(1023), 0u);
            EXPECT_EQ(tracks[0]->descriptorText(), QStringLiteral("1024 channels, lpcm (Unsupported), 48000 Hz"));
            qDeleteAll(tracks);
        });
        expect_cheap("whole exercise", [&] { EXPECT_TRUE(file_to_play_exercise(path)); });
    }

    // A source refuses such a count itself, before allocating anything.
    expect_cheap("source", [] {
        AudioSrcTrack track(QStringLiteral("m.mov"), 0, 0xFFFFFFFF, 48000, AudioPcmCodec_S16LE, nullptr, 100);
        EXPECT_EQ(track.errorText(), QStringLiteral("Audio track error : Unsupported channel count for track "
                                                    "(4294967295)"));
        EXPECT_FALSE(track.isPlayable());
        EXPECT_EQ(track.channelMaskUnion(), 0u);
    });
    // At the limit a track still plays.
    SizedHapMovie at_limit = lpcm_movie(1024);
    at_limit.sound_frame_bytes = 2 * 1024;
    FileToPlay movie(QString::fromStdString(write_movie("hostile_channels_1024.mov", at_limit)));
    const QList<AudioSrcTrack*> tracks = movie.createAudioTracks();
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_TRUE(tracks[0]->isPlayable());
    EXPECT_EQ(tracks[0]->channels(), 1024u);
    EXPECT_EQ(tracks[0]->defaultChannelMapping(5), uint64_t(1) << 5);
    EXPECT_EQ(tracks[0]->defaultChannelMapping(1023), 0u);
    qDeleteAll(tracks);
}

TEST(HostileMovies, PictureSizeComesFromTheSampleDescription) {
    struct Case {
        const char* name;
        uint32_t tkhd_width, tkhd_height;
        uint16_t coded_width, coded_height;
        uint32_t width, height;  // what the movie then reports
        bool logged;
    };
    const Case cases[] = {
        {"agree", 16, 16, 16, 16, 16, 16, false},
        {"wider_tkhd", 32, 16, 16, 16, 16, 16, true},
        {"huge_tkhd", 32767, 65535, 16, 16, 16, 16, true},
        {"no_coded_size", 16, 16, 0, 0, 16, 16, false},
        {"half_coded_size", 16, 16, 32, 0, 16, 16, false},
    };
    const Bytes texture = sized_hap_movie_texture();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SizedHapMovie desc;
        desc.tkhd_width = c.tkhd_width, desc.tkhd_height = c.tkhd_height;
        desc.coded_width = c.coded_width, desc.coded_height = c.coded_height;
        const std::string path = write_movie(std::string("hostile_size_") + c.name + ".mov", desc);

        testing::internal::CaptureStdout();
        expect_cheap("play", [&] {
            FileToPlay movie(QString::fromStdString(path));
            ASSERT_EQ(movie.errorText(), QString());
            EXPECT_EQ(movie.width(), c.width);
            EXPECT_EQ(movie.height(), c.height);
            // The read-ahead queue sizes its slots from the movie and decodes every frame.
            FrameCompressedBuffer queue(nullptr, 4, 3);
            ASSERT_TRUE(queue.setFile(&movie));
            EXPECT_EQ(queue.slotFrame(0)->sizes[0], texture.size());
            ASSERT_TRUE(queue.prefill(0));
            for (uint32_t i = 0; i < desc.frames; ++i) {
                VideoFrame* frame = nullptr;
                const int32_t slot = queue.takeNextFrame(&frame);
                ASSERT_GE(slot, 0);
                EXPECT_EQ(frame->status, 0u) << "frame " << i;
                EXPECT_EQ(Bytes(frame->planes[0], frame->planes[0] + frame->sizes[0]), texture);
                queue.releaseFrame(slot);
            }
        });
        expect_cheap("check", [&] {
            HapFileChecker checker;
            const std::u16string wide(path.begin(), path.end());
            hap_file_checker_open(&checker, wide.c_str());
            EXPECT_EQ(checker.targets[0].byteSizes[0], texture.size());
            // Batches hold as many frames as the machine has processors.
            uint32_t checked = 0;
            for (;;) {
                const uint32_t read = hap_file_checker_read_batch(&checker);
                if (read == 0) break;
                hap_file_checker_start_batch(&checker);
                uint32_t first = 0;
                ASSERT_EQ(hap_file_checker_swap_and_join(&checker, &first), read);
                for (uint32_t i = 0; i < read; ++i)
                    EXPECT_EQ(checker.results[first + i].status, uint32_t(HapCheckStatus_Valid)) << "frame " << checked + i;
                checked += read;
            }
            EXPECT_EQ(checked, desc.frames);
            hap_file_checker_release(&checker);
        });
        expect_cheap("whole exercise", [&] { EXPECT_TRUE(file_to_play_exercise(path)); });
        const std::string output = testing::internal::GetCapturedStdout();

        const std::string line = "Video Trak : TKHD size (" + std::to_string(c.tkhd_width) + "x" +
                                 std::to_string(c.tkhd_height) + ") != sample description size (" +
                                 std::to_string(c.coded_width) + "x" + std::to_string(c.coded_height) + ")\n";
        const size_t at = output.find(line);
        if (c.logged) {
            ASSERT_NE(at, std::string::npos) << output;
        } else {
            EXPECT_EQ(output.find("Video Trak : TKHD size"), std::string::npos) << output;
        }
    }
}

// A file of about 1 KB whose sample description declares a 65535 x 65535 Hap1 picture,
// 2 GiB a texture, holding 16x16 frames: each frame is reported as one whose bytes cannot
// fill the picture, and the check holds no more than it does for the same frames at
// their true size.
TEST(HostileMovies, HugeDeclaredPictureReservesOnlyWhatTheFramesCanFill) {
    SizedHapMovie true_size;
    SizedHapMovie huge;
    huge.tkhd_width = huge.tkhd_height = 65535;
    huge.coded_width = huge.coded_height = 65535;
    const std::string huge_path = write_movie("hostile_picture_65535.mov", huge);
    EXPECT_LT(std::filesystem::file_size(huge_path), 2048u);

    // The workers' stacks and the like, held whatever the picture size.
    const CheckedMovie reference = check_every_frame(write_movie("hostile_picture_16.mov", true_size));
    EXPECT_EQ(reference.statuses, std::vector<uint32_t>(true_size.frames, HapCheckStatus_Valid));

    testing::internal::CaptureStdout();
    CheckedMovie checked;
    expect_cheap("check", [&] { checked = check_every_frame(huge_path); });
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(checked.statuses, std::vector<uint32_t>(huge.frames, HapCheckStatus_CorruptTexture));
    // 16384 x 16384 blocks of 8 bytes expected; each frame's 16 blocks decoded.
    const std::string line = "ERR : decoding tex 0 : Nb bytes decode (128) != nb bytes dst : (2147483648)\n";
    uint32_t lines = 0;
    for (size_t at = output.find(line); at != std::string::npos; at = output.find(line, at + 1)) ++lines;
    EXPECT_EQ(lines, huge.frames) << output;
    // A slot holding the declared texture would hold 2 GiB more.
    EXPECT_LT(checked.heldKib - reference.heldKib, 512 * 1024) << "KiB held beyond the check at the true size";
}

// A companion file refused for its rate still lists its channels: each one answers for
// its routing instead of reading masks that were never made.
TEST(HostileMovies, RefusedWavAnswersForEveryChannel) {
    AudioSrcTrack track(QString::fromStdString(write_pcm_wav("hostile_rate100.wav", 6, 100, 16, false, 100)));
    EXPECT_EQ(track.errorText(), QStringLiteral("Audio track error : Unsupported frequency for track (100 Hz)"));
    ASSERT_EQ(track.channels(), 6u);
    EXPECT_EQ(track.channelMapping(5), 0u);
    EXPECT_EQ(track.channelMaskUnion(), 0u);
    track.clearChannelMapping();
    EXPECT_EQ(track.unusedOutputMask(NAudioChannelLayout_7_1), ~uint64_t(0));
}

// A variable-rate time table whose samples give no usable time, or cover far less than
// the media duration claims: the open says what is wrong in a few lines, and the frame
// table follows the samples, not the claimed duration.
TEST(HostileMovies, TimeTableProblemsAreSaidOnceAndSizeNothing) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, uint32_t>> stts;
        const char* error;  // "" when the movie opens
        uint32_t frames;
    };
    const Case cases[] = {
        {"no_usable_time", {{0, 1}, {10, 0}}, "Invalid fps (zero)", 0},
        {"one_tick", {{1, 1}, {9, 0}}, "", 1},
        {"times_for_fewer_samples", {{1, 2}, {3, 1}}, "", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SizedHapMovie desc;
        desc.frames = 10;
        desc.stts = c.stts;
        desc.media_duration = 0xFFFFFFFFu;
        const std::string path = write_movie(std::string("hostile_times_") + c.name + ".mov", desc);
        EXPECT_LT(std::filesystem::file_size(path), 4096u);
        testing::internal::CaptureStdout();
        expect_cheap("open", [&] {
            FileToPlay movie(QString::fromStdString(path));
            if (*c.error) {
                EXPECT_TRUE(movie.errorText().endsWith(c.error)) << movie.errorText().toStdString();
            } else {
                EXPECT_EQ(movie.errorText(), QString());
                EXPECT_EQ(movie.frameCount(), c.frames);
            }
        });
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_LT(output.size(), 1024u) << output.substr(0, 1024);
        expect_cheap("whole exercise", [&] { file_to_play_exercise(path); });
    }
}
