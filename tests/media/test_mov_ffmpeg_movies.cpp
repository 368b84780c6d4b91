// The movie reader against movies FFmpeg made: the frame table equals ffprobe's packet
// list, the audio bytes equal FFmpeg's raw copy of the track, and the descriptive
// fields match what FFmpeg was asked to write.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/mov_parsed.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using testsupport::Bytes;
using testsupport::fixture_path;
using testsupport::ParsedMovie;

namespace {

std::string movie_path(const std::string& name) { return fixture_path(name + ".mov"); }

uint32_t fourcc_of(const char* code) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint8_t(code[3]);
}

void expect_frames_equal_packets(const MovFile& movie, const std::vector<testsupport::MoviePacket>& packets,
                                 size_t count, const std::string& name) {
    ASSERT_NE(movie.frameTable, nullptr) << name;
    ASSERT_LE(count, packets.size()) << name;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(movie.frameTable[i].offset, packets[i].offset) << name << " frame " << i;
        EXPECT_EQ(movie.frameTable[i].size, packets[i].size) << name << " frame " << i;
    }
}

// Reads the whole track in pieces of `step` samples (so that reads start and end
// inside chunks) and returns the bytes.
Bytes read_track_in_pieces(MovFile* movie, uint32_t track, uint64_t step) {
    const MovAudioTrack& t = movie->audioTracks[track];
    Bytes all(t.sampleCount * t.bytesPerFrame);
    for (uint64_t start = 0; start < t.sampleCount; start += step) {
        const uint64_t want = std::min(step, t.sampleCount - start);
        const uint64_t got =
            MovFile::readAudioLocked(movie, all.data() + start * t.bytesPerFrame, track, start, want);
        EXPECT_EQ(got, want) << "at " << start;
    }
    return all;
}

// The checksums of an FFmpeg framemd5 list, one per frame.
std::vector<std::string> frame_checksums(const std::string& file) {
    std::ifstream in(fixture_path(file));
    if (!in) throw std::runtime_error("missing checksum list " + file);
    std::vector<std::string> sums;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t comma = line.rfind(',');
        sums.push_back(line.substr(line.find_first_not_of(' ', comma + 1)));
    }
    return sums;
}

}  // namespace

TEST(MovFfmpegMovies, FrameTableEqualsFfprobePackets) {
    for (const std::string name :
         {"mov_hapq_s24_tc", "mov_tc_drop", "mov_hap_none", "mov_pcm_u8", "mov_pcm_s24be", "mov_pcm_f64be",
          "mov_pcm_s16le_96k", "mov_pcm_6ch", "mov_hap100_faststart", "mov_hap100", "mov_hap_ext", "mov_two_video",
          "mov_dnxhd", "mov_dnxhr"}) {
        ParsedMovie parsed(movie_path(name));
        ASSERT_EQ(parsed.error, "") << name << "\n" << parsed.output;
        const auto packets = testsupport::read_packet_list(name);
        EXPECT_EQ(parsed.movie.frameCount, packets.size()) << name;
        EXPECT_EQ(parsed.movie.problemFlags, 0u) << name;
        EXPECT_EQ(parsed.movie.variableFps, 0) << name;
        expect_frames_equal_packets(parsed.movie, packets, std::min<size_t>(packets.size(), parsed.movie.frameCount),
                                    name);

        uint64_t total = 0;
        for (const auto& p : packets) total += p.size;
        const double expected_rate = double(total) / (double(packets.size()) / parsed.movie.fps);
        EXPECT_NEAR(MovFile::averageByteRate(&parsed.movie), expected_rate, expected_rate * 1e-6) << name;
    }
}

TEST(MovFfmpegMovies, HapQWithMono24BitSoundAndTimecode) {
    ParsedMovie parsed(movie_path("mov_hapq_s24_tc"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    MovFile& movie = parsed.movie;
    EXPECT_EQ(movie.frameCount, 30u);
    EXPECT_EQ(movie.rateNum, 30000u);
    EXPECT_EQ(movie.rateDen, 1001u);
    EXPECT_DOUBLE_EQ(movie.fps, 30000.0 / 1001.0);
    EXPECT_EQ(movie.width, 64u);
    EXPECT_EQ(movie.height, 48u);
    EXPECT_EQ(movie.codec, mov_fourcc("HapY"));
    EXPECT_EQ(movie.videoCodecKnown, 1);
    EXPECT_EQ(movie.depth, 24);
    EXPECT_EQ(movie.videoTrackCount, 1u);

    ASSERT_EQ(movie.audioTrackCount, 1u);
    const MovAudioTrack& track = movie.audioTracks[0];
    EXPECT_EQ(track.status, 0u);
    EXPECT_EQ(track.codec, mov_fourcc("in24"));
    EXPECT_EQ(track.channels, 1u);
    EXPECT_EQ(track.frequency, 48000u);
    EXPECT_EQ(track.bitsPerSample, 24u);
    EXPECT_EQ(track.pcmFlags, 12u);  // the wave/enda atom cleared the big-endian bit
    EXPECT_EQ(track.pcmSupported, 1);
    EXPECT_EQ(MovFile::pcmFormat(&track), uint32_t(AudioPcmCodec_S24LE));
    EXPECT_EQ(track.sampleCount, 48000u);
    EXPECT_EQ(track.bytesPerFrame, 3u);
    EXPECT_EQ(track.leadChunks, 2u);
    EXPECT_EQ(track.leadSamplesPerChunk, 2048u);
    EXPECT_EQ(track.channelLabels, nullptr);
    EXPECT_NE(parsed.output.find("Warning Descriptors count CHAN No descriptors\n"), std::string::npos);

    const Bytes raw = testsupport::read_whole_file(fixture_path("mov_hapq_s24_tc.raw"));
    ASSERT_EQ(raw.size(), 144000u);
    Bytes all(raw.size());
    EXPECT_EQ(MovFile::readAudio(&movie, all.data(), 0, 0, 48000), 48000u);
    EXPECT_EQ(all, raw);

    // From inside the head run of equal chunks to past it: both ways of finding a chunk.
    Bytes middle(5000 * 3);
    EXPECT_EQ(MovFile::readAudioLocked(&movie, middle.data(), 0, 3000, 5000), 5000u);
    EXPECT_EQ(middle, Bytes(raw.begin() + 3000 * 3, raw.begin() + 8000 * 3));

    // A request past the end is cut to the track.
    Bytes tail(100 * 3);
    EXPECT_EQ(MovFile::readAudio(&movie, tail.data(), 0, 47950, 100), 50u);
    EXPECT_EQ(Bytes(tail.begin(), tail.begin() + 150), Bytes(raw.end() - 150, raw.end()));

    testing::internal::CaptureStdout();
    EXPECT_EQ(MovFile::readAudio(&movie, tail.data(), 0, 48000, 10), 0u);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Warning : ask audio sample after track"),
              std::string::npos);

    testing::internal::CaptureStdout();
    try {
        MovFile::readAudio(&movie, tail.data(), 1, 0, 10);
        ADD_FAILURE() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid audio track index");
    }
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR : Invalid audio track index : 1"),
              std::string::npos);

    EXPECT_EQ(movie.timecodePresent, 1);
    EXPECT_EQ(movie.timecodeStart, 108000u);  // 01:00:00:00 at 30 frames per second
    EXPECT_EQ(movie.timecodeFlags, 0u);
}

TEST(MovFfmpegMovies, DropFrameTimecode) {
    ParsedMovie parsed(movie_path("mov_tc_drop"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    EXPECT_EQ(parsed.movie.timecodePresent, 1);
    EXPECT_EQ(parsed.movie.timecodeFlags & 1, 1u);
    EXPECT_EQ(parsed.movie.timecodeStart, 107892u);  // 01:00:00;00 drops 108 frame numbers
}

TEST(MovFfmpegMovies, CommonSampleSizeAndReducedRate) {
    ParsedMovie parsed(movie_path("mov_hap_none"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    const auto packets = testsupport::read_packet_list("mov_hap_none");
    // Uncompressed HAP: stsz gives one size for all samples, and 12800/512 reduces to 25/1.
    const Bytes file = testsupport::read_whole_file(movie_path("mov_hap_none"));
    const auto stsz = testsupport::find_atom(file, "moov/trak:vide/mdia/minf/stbl/stsz");
    ASSERT_NE(testsupport::get_be32(file, stsz.payload + 4), 0u);
    ASSERT_EQ(parsed.movie.frameCount, packets.size());
    expect_frames_equal_packets(parsed.movie, packets, packets.size(), "mov_hap_none");
    EXPECT_EQ(parsed.movie.rateNum, 25u);
    EXPECT_EQ(parsed.movie.rateDen, 1u);
    EXPECT_DOUBLE_EQ(parsed.movie.fps, 25.0);
}

TEST(MovFfmpegMovies, VariableRateIsResampledToTheFastestRate) {
    ParsedMovie parsed(movie_path("mov_vfr"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    const MovFile& movie = parsed.movie;
    const auto packets = testsupport::read_packet_list("mov_vfr");
    ASSERT_EQ(packets.size(), 12u);
    EXPECT_EQ(movie.variableFps, 1);
    EXPECT_EQ(movie.rateNum, 24u);  // 24000 / 1000 reduced
    EXPECT_EQ(movie.rateDen, 1u);
    EXPECT_DOUBLE_EQ(movie.fps, 24.0);
    // The first sample lasts two frame times: it is shown twice, then one frame per sample.
    ASSERT_EQ(movie.frameCount, 13u);
    EXPECT_EQ(movie.duplicatedFrames, 1u);
    EXPECT_EQ(movie.droppedSamples, 0u);
    EXPECT_EQ(movie.problemFlags, 0u);
    for (uint32_t k = 0; k < movie.frameCount; ++k) {
        const auto& packet = packets[k < 2 ? 0 : k - 1];
        EXPECT_EQ(movie.frameTable[k].offset, packet.offset) << k;
        EXPECT_EQ(movie.frameTable[k].size, packet.size) << k;
    }
}

// Each resampled frame shows the sample FFmpeg's fps filter shows at that frame: the one
// that has started, or that starts within half a frame, never one before its start.
TEST(MovFfmpegMovies, VariableRateFramesShowTheSampleFfmpegsFpsFilterShows) {
    struct Case {
        const char* name;
        uint32_t rateNum, rateDen;
    };
    for (const Case& c : {Case{"mov_vfr_hold_2s", 25, 1}, Case{"mov_vfr_hold_late", 25, 1},
                          Case{"mov_vfr_capture", 1000, 33}, Case{"mov_vfr_dropped", 30, 1}}) {
        SCOPED_TRACE(c.name);
        ParsedMovie parsed(movie_path(c.name));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        const MovFile& movie = parsed.movie;
        ASSERT_EQ(movie.variableFps, 1);
        EXPECT_EQ(movie.rateNum, c.rateNum);
        EXPECT_EQ(movie.rateDen, c.rateDen);
        const auto packets = testsupport::read_packet_list(c.name);
        const auto samples = frame_checksums(std::string(c.name) + ".samples.md5");
        const auto frames = frame_checksums(std::string(c.name) + ".fps.md5");
        ASSERT_EQ(samples.size(), packets.size());
        std::map<std::string, size_t> sample_of;
        for (size_t i = 0; i < samples.size(); ++i) sample_of[samples[i]] = i;
        ASSERT_EQ(sample_of.size(), samples.size()) << "the movie's pictures must all differ";
        // FFmpeg may end one frame later: it holds the last sample to the next whole frame.
        ASSERT_GE(frames.size(), movie.frameCount);
        ASSERT_LE(frames.size(), movie.frameCount + 1u);
        for (uint32_t k = 0; k < movie.frameCount; ++k) {
            ASSERT_EQ(sample_of.count(frames[k]), 1u) << k;
            const size_t expected = sample_of[frames[k]];
            EXPECT_EQ(movie.frameTable[k].offset, packets[expected].offset) << "frame " << k << ", sample " << expected;
        }
    }
    {
        // A sample of no duration in the middle takes no frame and moves no other one.
        const uint64_t first = testsupport::mdat_payload_offset();
        const std::string path = testsupport::scratch_path("vfr_zero_duration_sample.mov");
        testsupport::write_whole_file(
            path, testsupport::movie_file(Bytes(210, 1), {testsupport::trak_atom(testsupport::simple_video_track(
                                                          {10, 20, 30, 40, 50, 60}, first, 24000,
                                                          {{2, 1000}, {1, 0}, {3, 1000}}))}));
        ParsedMovie parsed(path);
        ASSERT_EQ(parsed.error, "") << parsed.output;
        ASSERT_EQ(parsed.movie.frameCount, 5u);
        const uint32_t shown[] = {10, 20, 40, 50, 60};
        for (uint32_t k = 0; k < 5; ++k) EXPECT_EQ(parsed.movie.frameTable[k].size, shown[k]) << k;
        EXPECT_NE(parsed.movie.problemFlags & MovProblem_InvalidSttsEntry, 0u);
    }
}

TEST(MovFfmpegMovies, EveryPcmLayoutReadsAsFfmpegCopiesIt) {
    struct Case {
        const char* name;
        const char* codec;
        uint32_t pcm;
        uint32_t channels;
        uint32_t frequency;
    };
    const Case cases[] = {
        {"mov_pcm_u8", "raw ", AudioPcmCodec_U8, 2, 48000},
        {"mov_pcm_s16le", "sowt", AudioPcmCodec_S16LE, 2, 48000},
        {"mov_pcm_s16be", "twos", AudioPcmCodec_S16BE, 2, 48000},
        {"mov_pcm_s24le", "in24", AudioPcmCodec_S24LE, 2, 48000},
        {"mov_pcm_s24be", "in24", AudioPcmCodec_S24BE, 2, 48000},
        {"mov_pcm_s32le", "in32", AudioPcmCodec_S32LE, 2, 48000},
        {"mov_pcm_f32le", "fl32", AudioPcmCodec_F32LE, 2, 48000},
        {"mov_pcm_f64be", "fl64", AudioPcmCodec_F64BE, 2, 48000},
        {"mov_pcm_s16le_96k", "lpcm", AudioPcmCodec_S16LE, 1, 96000},
        {"mov_pcm_6ch", "sowt", AudioPcmCodec_S16LE, 6, 48000},
    };
    for (const Case& c : cases) {
        ParsedMovie parsed(movie_path(c.name));
        ASSERT_EQ(parsed.error, "") << c.name << "\n" << parsed.output;
        ASSERT_EQ(parsed.movie.audioTrackCount, 1u) << c.name;
        const MovAudioTrack& track = parsed.movie.audioTracks[0];
        EXPECT_EQ(track.status, 0u) << c.name;
        EXPECT_EQ(track.codec, fourcc_of(c.codec)) << c.name;
        EXPECT_EQ(track.pcmSupported, 1) << c.name;
        EXPECT_EQ(MovFile::pcmFormat(&track), c.pcm) << c.name;
        EXPECT_EQ(track.channels, c.channels) << c.name;
        EXPECT_EQ(track.frequency, c.frequency) << c.name;
        EXPECT_EQ(track.bytesPerFrame, uint64_t(track.bitsPerSample / 8) * c.channels) << c.name;

        const Bytes raw = testsupport::read_whole_file(fixture_path(std::string(c.name) + ".raw"));
        ASSERT_EQ(track.sampleCount * track.bytesPerFrame, raw.size()) << c.name;
        EXPECT_GT(track.chunkCount, 2u) << c.name;  // the reads below cross chunk borders
        Bytes whole(raw.size());
        EXPECT_EQ(MovFile::readAudio(&parsed.movie, whole.data(), 0, 0, track.sampleCount), track.sampleCount);
        EXPECT_EQ(whole, raw) << c.name;
        EXPECT_EQ(read_track_in_pieces(&parsed.movie, 0, 777), raw) << c.name;
    }
}

TEST(MovFfmpegMovies, Signed8BitSoundIsListedButNotDelivered) {
    ParsedMovie parsed(movie_path("mov_pcm_s8"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    ASSERT_EQ(parsed.movie.audioTrackCount, 1u);
    const MovAudioTrack& track = parsed.movie.audioTracks[0];
    EXPECT_EQ(track.codec, mov_fourcc("sowt"));
    EXPECT_EQ(track.pcmSupported, 0);
    EXPECT_EQ(MovFile::pcmFormat(&track), uint32_t(AudioPcmCodec_None));
    EXPECT_NE(parsed.output.find("Unsupported PCM Audio\n"), std::string::npos);
    uint8_t bytes[16];
    testing::internal::CaptureStdout();
    try {
        MovFile::readAudio(&parsed.movie, bytes, 0, 0, 4);
        ADD_FAILURE() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Demuxing audio track unsupported");
    }
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERROR : Demuxing unsupported for track : 0"),
              std::string::npos);
}

TEST(MovFfmpegMovies, TruncatedMovies) {
    // moov first, the file cut in the middle of sample 50: the 50 whole samples stay.
    const auto packets = testsupport::read_packet_list("mov_hap100_faststart");
    ASSERT_EQ(packets.size(), 100u);
    Bytes file = testsupport::read_whole_file(movie_path("mov_hap100_faststart"));
    file.resize(packets[50].offset + packets[50].size / 2);
    const std::string cut = testsupport::scratch_path("hap100_cut_in_sample_50.mov");
    testsupport::write_whole_file(cut, file);
    {
        ParsedMovie parsed(cut);
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.problemFlags, uint64_t(MovProblem_SampleOutsideFile | MovProblem_IncompleteFrameTable));
        EXPECT_EQ(parsed.movie.frameCount, 50u);
        expect_frames_equal_packets(parsed.movie, packets, 50, "cut");
        EXPECT_NE(parsed.output.find("ERROR : Invalid offset size for sample : 50 (Offset : "), std::string::npos);
        EXPECT_NE(parsed.output.find("ERROR : Can't build entire video seek table"), std::string::npos);
    }
    // moov at the end, cut away: no moov to find.
    Bytes tail_file = testsupport::read_whole_file(movie_path("mov_hap100"));
    tail_file.resize(1000);
    const std::string no_moov = testsupport::scratch_path("hap100_cut_1000.mov");
    testsupport::write_whole_file(no_moov, tail_file);
    ParsedMovie parsed(no_moov);
    EXPECT_EQ(parsed.error, "Fail to parse root atom");
}

TEST(MovFfmpegMovies, PictureDescriptionExtensions) {
    ParsedMovie parsed(movie_path("mov_hap_ext"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    const MovFile& movie = parsed.movie;
    EXPECT_EQ(movie.pixelAspectH, 10u);
    EXPECT_EQ(movie.pixelAspectV, 11u);
    EXPECT_EQ(movie.fieldInfoKnown, 1);
    EXPECT_EQ(movie.fieldCount, 2);
    EXPECT_EQ(movie.fieldDetail, 9u);
    EXPECT_EQ(movie.colourKnown, 1);
    EXPECT_EQ(movie.colourPrimaries, 1);
    EXPECT_EQ(movie.colourTransfer, 1);
    EXPECT_EQ(movie.colourMatrix, 1);
    EXPECT_EQ(movie.rangeKnown, 0);
    EXPECT_EQ(movie.depth, 24);
}

TEST(MovFfmpegMovies, SecondVideoTrackAndUnknownCodec) {
    {
        ParsedMovie parsed(movie_path("mov_two_video"));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.videoTrackCount, 2u);
        EXPECT_NE(parsed.output.find("More than 1 video track found. Track ignored\n"), std::string::npos);
        const auto packets = testsupport::read_packet_list("mov_two_video");
        ASSERT_EQ(parsed.movie.frameCount, packets.size());
        expect_frames_equal_packets(parsed.movie, packets, packets.size(), "two video");
    }
    ParsedMovie parsed(movie_path("mov_png"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    EXPECT_EQ(parsed.movie.codec, mov_fourcc("png "));
    EXPECT_EQ(parsed.movie.videoCodecKnown, 0);
    EXPECT_EQ(parsed.movie.frameTable, nullptr);
    EXPECT_EQ(MovFile::averageByteRate(&parsed.movie), 0.0f);
}

TEST(MovFfmpegMovies, DnxhdAndDnxhrProfiles) {
    {
        ParsedMovie parsed(movie_path("mov_dnxhd"));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        const MovFile& movie = parsed.movie;
        EXPECT_EQ(movie.codec, mov_fourcc("AVdn"));
        EXPECT_EQ(movie.codecProfile, 1u);  // ARES 1253
        EXPECT_EQ(movie.rangeKnown, 1);
        EXPECT_EQ(movie.fullRange, 0);
        EXPECT_EQ(movie.fieldInfoKnown, 1);
        EXPECT_EQ(movie.fieldCount, 1);
        EXPECT_EQ(movie.fieldDetail, 0u);
        EXPECT_EQ(movie.width, 1920u);
        EXPECT_EQ(movie.height, 1080u);
    }
    ParsedMovie parsed(movie_path("mov_dnxhr"));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    const MovFile& movie = parsed.movie;
    EXPECT_EQ(movie.codec, mov_fourcc("AVdh"));
    EXPECT_EQ(movie.codecProfile, 4u);  // 4:2:2, depth code 1, from ADHR and again from the frame
    EXPECT_EQ(movie.colourKnown, 1);
    EXPECT_EQ(movie.colourPrimaries, 1);
    EXPECT_EQ(parsed.output.find("DEV : DnxHR with alpha"), std::string::npos);
    EXPECT_EQ(parsed.output.find("Fail to check DnxHR"), std::string::npos);
}
