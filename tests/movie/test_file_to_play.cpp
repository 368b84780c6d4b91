// The opened movie: every frame of FFmpeg's HAP movies read and decoded through it
// matches FFmpeg's own RGBA decode; its values and texts; and its error paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_src_track.h"
#include "media/block_decoders.h"
#include "movie/file_to_play.h"
#include "media/hap_decode_frame_to_dxt.h"
#include "media/hap_decoder.h"
#include "base/text/time_text.h"
#include "media/video_frame.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

namespace {

using testsupport::Bytes;
using testsupport::fixture_path;

QString movie_path(const std::string& name) { return QString::fromStdString(fixture_path(name + ".mov")); }

struct TextureFrame {
    VideoFrame frame;
    explicit TextureFrame(const FileToPlay& movie) {
        dxt_frame_alloc(&frame, movie.width(), movie.height(), movie.hapTextureFormat());
    }
    ~TextureFrame() { video_frame_free_planes(&frame); }
    Bytes plane(uint32_t t) const { return Bytes(frame.planes[t], frame.planes[t] + frame.sizes[t]); }
};

// RGBA of a decoded texture frame, packed rows.
Bytes to_rgba(const VideoFrame& frame, int32_t format) {
    BlockDecoder decoder;
    EXPECT_EQ(BlockDecoder::init(&decoder, uint16_t(frame.width), uint16_t(frame.height), format, 0, 0, 1), 0);
    const std::ptrdiff_t stride = std::ptrdiff_t(frame.allocated_width) * 4;
    Bytes padded(size_t(stride) * frame.allocated_height, 0);
    BlockDecoder::decode(&decoder, frame.planes[0], frame.planes[1], padded.data(), stride);
    Bytes packed;
    for (uint32_t y = 0; y < frame.height; ++y)
        packed.insert(packed.end(), padded.begin() + y * stride, padded.begin() + y * stride + frame.width * 4);
    return packed;
}

// A copy of a fixture movie in the scratch folder, with the sample description's codec replaced.
std::string copy_with_codec(const std::string& name, const std::string& codec, const std::string& copy_name) {
    Bytes file = testsupport::read_whole_file(fixture_path(name + ".mov"));
    const auto stsd = testsupport::find_atom(file, "moov/trak:vide/mdia/minf/stbl/stsd");
    std::memcpy(file.data() + stsd.payload + 12, codec.data(), 4);
    const std::string path = testsupport::scratch_path(copy_name);
    testsupport::write_whole_file(path, file);
    return path;
}

}  // namespace

TEST(FileToPlayDecode, EveryFrameOfFfmpegMoviesEqualsFfmpegRgba) {
    struct Kind {
        const char* prefix;
        uint32_t data_format;
        int32_t block_format;
        const char* codec_name;
    };
    const Kind kinds[] = {{"blk_hap_", VideoDataFormat_Hap1, BlockDecoderFormat_DXT1, "HAP"},
                          {"blk_hap_none_", VideoDataFormat_Hap1, BlockDecoderFormat_DXT1, "HAP"},
                          {"blk_hap_alpha_", VideoDataFormat_Hap5, BlockDecoderFormat_DXT5, "HAPA"},
                          {"blk_hap_q_", VideoDataFormat_HapY, BlockDecoderFormat_YCoCg_DXT5, "HAPQ"},
                          {"blk_hap_q_none_", VideoDataFormat_HapY, BlockDecoderFormat_YCoCg_DXT5, "HAPQ"}};
    const char* sources[] = {"flat_64x48", "flat_256x192", "noise_100x60", "noise_128x96", "mandel_96x64"};
    for (const Kind& kind : kinds) {
        for (const char* source : sources) {
            const std::string name = std::string(kind.prefix) + source;
            SCOPED_TRACE(name);
            FileToPlay movie(movie_path(name));
            ASSERT_EQ(movie.errorText(), QString());
            EXPECT_EQ(movie.hapTextureFormat(), kind.data_format);
            EXPECT_TRUE(movie.codecText().startsWith(QString(kind.codec_name) + " ("));
            const Bytes reference = testsupport::read_whole_file(fixture_path(name + ".rgba"));
            const size_t frame_bytes = size_t(movie.width()) * movie.height() * 4;
            ASSERT_GT(movie.frameCount(), 0u);
            ASSERT_EQ(reference.size(), frame_bytes * movie.frameCount());

            TextureFrame texture(movie);
            for (uint32_t i = 0; i < movie.frameCount(); ++i) {
                texture.frame.frame_number = 12345;
                ASSERT_TRUE(movie.readFrame(i, &texture.frame)) << i << " " << movie.errorText().toStdString();
                EXPECT_EQ(texture.frame.status, 0u);
                EXPECT_EQ(texture.frame.frame_number, i);
                const Bytes rgba = to_rgba(texture.frame, kind.block_format);
                EXPECT_TRUE(std::equal(rgba.begin(), rgba.end(), reference.begin() + i * frame_bytes))
                    << "frame " << i;
            }
            EXPECT_EQ(movie.errorText(), QString());
        }
    }
}

// 1, 7 and 64 snappy chunks decode to exactly the texture an uncompressed encode stores.
TEST(FileToPlayDecode, ChunkedFullHdFramesEqualTheUncompressedTexture) {
    struct Format {
        const char* name;
        const char* codec_name;
        uint32_t plane_bytes;
    };
    const Format formats[] = {{"hap", "HAP", 1036800}, {"hap_alpha", "HAPA", 2073600}, {"hap_q", "HAPQ", 2073600}};
    for (const Format& format : formats) {
        const std::string none_name = std::string(format.name) + "_1920x1080_none";
        const auto packets = testsupport::read_packet_list(none_name);
        for (const char* chunks : {"1", "7", "64"}) {
            const std::string name = std::string(format.name) + "_1920x1080_c" + chunks;
            SCOPED_TRACE(name);
            FileToPlay movie(movie_path(name));
            ASSERT_EQ(movie.errorText(), QString());
            // FFmpeg may write fewer chunks than asked (7 become 6 at 1080 lines): the
            // frame's own header says how many.
            const Bytes first = testsupport::read_file_bytes(fixture_path(name + ".mov"),
                                                             testsupport::read_packet_list(name)[0].offset,
                                                             testsupport::read_packet_list(name)[0].size);
            uint32_t stored_chunks = 0;
            ASSERT_EQ(HapGetFrameTextureChunkCount(first.data(), uint32_t(first.size()), 0, &stored_chunks),
                      HapResult_No_Error);
            EXPECT_EQ(stored_chunks == 1, std::string(chunks) == "1");
            const QString count = stored_chunks == 1 ? "1 chunk" : QString("%1 chunks").arg(stored_chunks);
            EXPECT_EQ(movie.codecText(), QString("%1 (%2)").arg(format.codec_name, count));
            ASSERT_EQ(movie.frameCount(), packets.size());
            TextureFrame texture(movie);
            ASSERT_EQ(texture.frame.sizes[0], format.plane_bytes);
            for (uint32_t i = 0; i < movie.frameCount(); ++i) {
                ASSERT_TRUE(movie.readFrame(i, &texture.frame)) << i;
                EXPECT_EQ(texture.frame.status, 0u);
                EXPECT_EQ(texture.frame.frame_number, i);
                // The uncompressed frame is an 8-byte header and the texture itself.
                const Bytes stored =
                    testsupport::read_file_bytes(fixture_path(none_name + ".mov"), packets[i].offset + 8,
                                                 packets[i].size - 8);
                EXPECT_TRUE(texture.plane(0) == stored) << "frame " << i;
            }
        }
    }
}

TEST(FileToPlayValues, UncompressedMovieValuesAndTexts) {
    const std::string path = fixture_path("mov_hap_none.mov");
    ASSERT_EQ(std::filesystem::file_size(path), 8462u);
    FileToPlay movie(QString::fromStdString(path));
    ASSERT_EQ(movie.errorText(), QString());
    EXPECT_EQ(movie.filePath(), QString::fromStdString(path));
    EXPECT_EQ(movie.frameCount(), 5u);
    EXPECT_TRUE(movie.isValidFrame(4));
    EXPECT_FALSE(movie.isValidFrame(5));
    EXPECT_EQ(movie.width(), 64u);
    EXPECT_EQ(movie.height(), 48u);
    EXPECT_EQ(movie.codecText(), "HAP (1 chunk)");
    EXPECT_EQ(movie.hapTextureFormat(), uint32_t(VideoDataFormat_Hap1));
    EXPECT_TRUE(movie.isHapCodec());
    EXPECT_EQ(movie.alphaText(), "Alpha : No");
    EXPECT_FLOAT_EQ(movie.fps(), 25.0f);
    EXPECT_DOUBLE_EQ(movie.durationSeconds(), 0.2);
    EXPECT_EQ(movie.fpsRounded(), 25u);
    EXPECT_EQ(movie.bitrateText(true), "308.80 kbits/s");
    EXPECT_EQ(movie.bitrateText(false), "38.60 kB/s");
    EXPECT_EQ(movie.codecBitrateText(true), "307.20 kbits/s");
    EXPECT_EQ(movie.codecBitrateText(false), "38.40 kB/s");
    EXPECT_EQ(movie.fileSizeText(true), "8.26 kiB");
    EXPECT_EQ(movie.fileSizeText(false), "8.46 kB");
    EXPECT_TRUE(movie.isMultipleOf4());
    EXPECT_FALSE(movie.isVariableFps());
    EXPECT_FALSE(movie.hasTimecode());
    EXPECT_EQ(movie.timecodeStartFrame(), 0u);
    EXPECT_EQ(movie.timecodeStartText(), "00:00:00:00");
    EXPECT_TRUE(movie.sizeText().isEmpty());
    EXPECT_TRUE(movie.warningsText().isEmpty());

    // Rate interpretation: 29.97 on a 25 fps file.
    EXPECT_FALSE(movie.setFpsMode(FpsInterpretMode_File));
    EXPECT_TRUE(movie.setFpsMode(FpsInterpretMode_29_97));
    EXPECT_FALSE(movie.setFpsMode(FpsInterpretMode_29_97));
    EXPECT_FLOAT_EQ(movie.fps(), 29.97003f);
    EXPECT_FLOAT_EQ(movie.fileFps(), 25.0f);
    EXPECT_EQ(movie.fpsRounded(), 30u);
    EXPECT_DOUBLE_EQ(movie.durationSeconds(), 5.0 / double(29.97003f));
    // The codec rate stays at the file's own rate.
    EXPECT_EQ(movie.codecBitrateText(true), "307.20 kbits/s");

    const uint32_t expected[10][2] = {{25, 1},  {24000, 1001}, {24, 1}, {25, 1},      {30000, 1001},
                                      {30, 1},  {48, 1},       {50, 1}, {60000, 1001}, {60, 1}};
    for (uint32_t mode = 0; mode < 10; ++mode) {
        movie.setFpsMode(mode);
        uint32_t num = 0, den = 0;
        movie.fpsRational(&num, &den);
        EXPECT_EQ(num, expected[mode][0]) << mode;
        EXPECT_EQ(den, expected[mode][1]) << mode;
    }
    testing::internal::CaptureStdout();
    movie.setFpsMode(12);
    uint32_t num = 0, den = 0;
    movie.fpsRational(&num, &den);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown fps interpret mode\n");
    EXPECT_EQ(num, 25u);
    EXPECT_EQ(den, 1u);

    EXPECT_EQ(formatFileSize(0, true), "0 Bytes");
    EXPECT_EQ(formatFileSize(1023, true), "1023 Bytes");
    EXPECT_EQ(formatFileSize(1536, true), "1.50 kiB");
    EXPECT_EQ(formatFileSize(1536, false), "1.54 kB");
    EXPECT_EQ(formatFileSize(999, false), "999 Bytes");
    EXPECT_EQ(formatFileSize(1000, false), "1.00 kB");
    EXPECT_EQ(formatFileSize(1048576, true), "1.00 MiB");
    EXPECT_EQ(formatFileSize(2500000, false), "2.50 MB");
    EXPECT_EQ(formatFileSize(5ull << 30, true), "5.00 GiB");
    EXPECT_EQ(formatFileSize(2500000000ull, false), "2.50 GB");
}

TEST(FileToPlayValues, TimecodeRatesAndChunkCounts) {
    FileToPlay plain(movie_path("mov_hapq_s24_tc"));
    ASSERT_EQ(plain.errorText(), QString());
    EXPECT_EQ(plain.codecText(), "HAPQ (4 chunks)");
    uint32_t num = 0, den = 0;
    plain.fpsRational(&num, &den);
    EXPECT_EQ(num, 30000u);
    EXPECT_EQ(den, 1001u);
    EXPECT_EQ(plain.fpsRounded(), 30u);
    EXPECT_TRUE(plain.hasTimecode());
    EXPECT_FALSE(plain.isDropFrameTimecode());
    EXPECT_EQ(plain.timecodeStartFrame(), 108000u);
    EXPECT_EQ(plain.timecodeStartText(), "01:00:00:00");

    FileToPlay drop(movie_path("mov_tc_drop"));
    ASSERT_EQ(drop.errorText(), QString());
    EXPECT_TRUE(drop.isDropFrameTimecode());
    EXPECT_EQ(drop.timecodeStartFrame(), 107892u);
    EXPECT_EQ(drop.timecodeStartText(), "01;00;00;00");

    FileToPlay vfr(movie_path("mov_vfr"));
    ASSERT_EQ(vfr.errorText(), QString());
    EXPECT_TRUE(vfr.isVariableFps());

    // The start frame is read in the chosen rate; a rate below half a frame per second
    // must still give a text (no division by a zero nominal rate).
    FileToPlay movie(movie_path("mov_hap_none"));
    MovFile* record = nullptr;
    movie.movFile(&record);
    record->timecodePresent = 1;
    record->timecodeStart = 90000;
    record->timecodeFlags = 0;
    EXPECT_EQ(movie.timecodeStartText(), "01:00:00:00");
    record->timecodeStart = 7;
    record->rateNum = 1;
    record->rateDen = 3;
    EXPECT_EQ(movie.timecodeStartText(), "00:00:07:00");
    record->rateDen = 0;
    EXPECT_EQ(movie.timecodeStartText(), "00:00:07:00");
}

// A timecode track counts frames at its own rate: a variable-rate movie resampled to
// another rate starts at the timecode ffprobe reads, at the file's rate and interpreted,
// and its labels run on from there at the played rate.
TEST(FileToPlayValues, TimecodeStartIsCountedAtTheTimecodeTracksRate) {
    for (const std::string name : {"mov_vfr_tc_100", "mov_vfr_tc_12800", "mov_tc_25"}) {
        SCOPED_TRACE(name);
        std::ifstream probed(fixture_path(name + ".timecode"));
        std::string expected;
        ASSERT_TRUE(std::getline(probed, expected));
        uint32_t h = 0, m = 0, sec = 0, f = 0;
        uint8_t drop = 0;
        ASSERT_TRUE(timecode_parse(QString::fromStdString(expected), &h, &m, &sec, &f, &drop));

        FileToPlay movie(movie_path(name));
        ASSERT_EQ(movie.errorText(), QString());
        ASSERT_TRUE(movie.hasTimecode());
        EXPECT_EQ(movie.timecodeStartText().toStdString(), expected);
        uint32_t num = 0, den = 0;
        movie.fpsRational(&num, &den);
        const uint32_t one_second = (num + den / 2) / den;
        EXPECT_EQ(timecode_from_frame_count(movie.timecodeStartAtPlayedRate() + one_second, num, den, false),
                  timecode_format(h, m, sec + 1, f, false))
            << num << "/" << den;

        ASSERT_TRUE(movie.setFpsMode(FpsInterpretMode_25));
        EXPECT_EQ(movie.timecodeStartText().toStdString(), expected);
    }
}

TEST(FileToPlayValues, AlphaDisplayWindowAndWarnings) {
    FileToPlay alpha(movie_path("blk_hap_alpha_flat_64x48"));
    ASSERT_EQ(alpha.errorText(), QString());
    EXPECT_EQ(alpha.codecText(), "HAPA (1 chunk)");
    EXPECT_EQ(alpha.alphaText(), "Alpha : Yes");
    MovFile* record = nullptr;
    alpha.movFile(&record);
    record->metaPresent = 1;
    record->alphaKind = 1;
    EXPECT_EQ(alpha.alphaText(), "Alpha : Yes (Premultiply)");
    record->alphaKind = 2;
    EXPECT_EQ(alpha.alphaText(), "Alpha : Yes (Straight)");
    record->metaPresent = 0;
    record->alfaMode = 2;
    EXPECT_EQ(alpha.alphaText(), "Alpha : Yes (Premultiply)");
    record->alfaMode = 3;
    EXPECT_EQ(alpha.alphaText(), "Alpha : Yes (Straight)");

    // The display window needs the flag and a non-empty size.
    record->metaPresent = 1;
    record->displayWindowFlag = 1;
    record->displayWidth = 1920;
    record->displayHeight = 0;
    EXPECT_TRUE(alpha.sizeText().isEmpty());
    record->displayHeight = 1080;
    record->originX = 16;
    record->originY = 8;
    EXPECT_EQ(alpha.sizeText(), QStringList({"   Display window : 1920 x 1080 px",
                                             "   Origin file data (Top Left) : 16 x 8 px"}));
    record->problemFlags = MovProblem_InvalidSttsEntry | MovProblem_SampleOutsideFile;
    EXPECT_EQ(alpha.warningsText(),
              QStringList({"File contains frame(s) with invalid duration", "Incomplete mov file"}));

    // Codecs FFmpeg cannot write, by renaming the sample description of a real movie.
    FileToPlay bc7(QString::fromStdString(copy_with_codec("hap_1920x1080_c64", "Hap7", "ftp_hap7.mov")));
    ASSERT_EQ(bc7.errorText(), QString());
    EXPECT_EQ(bc7.codecText(), "HAPR (64 chunks)");
    EXPECT_EQ(bc7.hapTextureFormat(), uint32_t(VideoDataFormat_Hap7));
    EXPECT_EQ(bc7.alphaText(), "Alpha : No");  // depth 24
    bc7.movFile(&record);
    record->depth = 32;
    EXPECT_EQ(bc7.alphaText(), "Alpha : Yes");
    EXPECT_EQ(bc7.codecBitrateText(true), "414.72 Mbits/s");  // 480 x 270 blocks x 128 bits x 25

    FileToPlay hapm(QString::fromStdString(copy_with_codec("hap_q_1920x1080_c64", "HapM", "ftp_hapm.mov")));
    ASSERT_EQ(hapm.errorText(), QString());
    EXPECT_EQ(hapm.codecText(), "HAPQAlpha (64 chunks)");
    EXPECT_EQ(hapm.alphaText(), "Alpha : Yes");
    EXPECT_EQ(hapm.codecBitrateText(true), "622.08 Mbits/s");

    FileToPlay hapa(QString::fromStdString(copy_with_codec("mov_hap_none", "HapA", "ftp_hapa.mov")));
    ASSERT_EQ(hapa.errorText(), QString());
    EXPECT_EQ(hapa.codecText(), "HAP Alpha Only (1 chunk)");
    EXPECT_EQ(hapa.alphaText(), "Alpha : No");
    EXPECT_EQ(hapa.hapTextureFormat(), uint32_t(VideoDataFormat_HapA));
}

// A table of huge frames at the largest time scale: the rates pass what 64 bits hold
// and saturate instead of converting out of range.
TEST(FileToPlayValues, RatesBeyondSixtyFourBitsSaturate) {
    FileToPlay movie(movie_path("hap_1920x1080_c64"));
    ASSERT_EQ(movie.errorText(), QString());
    MovFile* record = nullptr;
    movie.movFile(&record);
    record->fps = 4294967295.0;
    record->width = record->height = 65535;
    for (uint32_t i = 0; i < record->frameCount; ++i) record->frameTable[i].size = 0xFFFFFFFFu;
    EXPECT_EQ(movie.codecBitrateText(true), "18446744073.71 Gbits/s");
    EXPECT_EQ(movie.bitrateText(true), "18446744073.71 Gbits/s");
    EXPECT_EQ(movie.bitrateText(false), "2305843009.21 GB/s");
}

TEST(FileToPlayOpen, RefusedMoviesSayWhy) {
    EXPECT_EQ(FileToPlay(QString()).errorText(), "No filepath");
    FileToPlay mp4("/tmp/some movie.MP4");
    EXPECT_EQ(mp4.errorText(), "Unsupported extension : mp4");
    EXPECT_EQ(mp4.filePath(), QString());
    EXPECT_EQ(mp4.frameCount(), 0u);

    // The suffix is compared lower-cased.
    const std::string upper = testsupport::scratch_path("ftp_upper.MOV");
    std::filesystem::copy_file(fixture_path("mov_hap_none.mov"), upper,
                               std::filesystem::copy_options::overwrite_existing);
    FileToPlay upper_movie(QString::fromStdString(upper));
    EXPECT_EQ(upper_movie.errorText(), QString());
    EXPECT_EQ(upper_movie.frameCount(), 5u);

    // A codec the parser does not know leaves no frame table.
    EXPECT_EQ(FileToPlay(movie_path("mov_png")).errorText(), "Error loading file : Fail to read frames index table");

    // A codec the parser knows that is not HAP: refused, and frame 0 is not probed.
    FileToPlay dnxhd(movie_path("mov_dnxhd"));
    EXPECT_EQ(dnxhd.errorText(), "Unsupported codec");
    EXPECT_EQ(dnxhd.textureChunkCount(), 0u);
    EXPECT_EQ(dnxhd.codecText(), "Unknown codec");
    EXPECT_EQ(dnxhd.codecBitrateText(true), "Unknown codec");
    EXPECT_FALSE(dnxhd.isHapCodec());

    // A first frame that is no HAP frame: the probe says why and keeps nothing
    // (LeakSanitizer: the bytes it read are released).
    Bytes file = testsupport::read_whole_file(fixture_path("mov_hap_none.mov"));
    const auto packets = testsupport::read_packet_list("mov_hap_none");
    ASSERT_EQ(file[packets[0].offset + 3], 0xAB);
    file[packets[0].offset + 3] = 0xA0;
    const std::string bad_first = testsupport::scratch_path("ftp_bad_first.mov");
    testsupport::write_whole_file(bad_first, file);
    FileToPlay probed(QString::fromStdString(bad_first));
    EXPECT_EQ(probed.errorText(), "Error read first frame (HapResult_Bad_Frame)");
    EXPECT_EQ(probed.textureChunkCount(), 0u);

    // A movie that failed to open reads nothing and does not crash.
    FileToPlay missing(QString::fromStdString(testsupport::scratch_path("ftp_missing.mov")));
    EXPECT_TRUE(missing.errorText().startsWith("Error loading file : "));
    VideoFrame frame;
    EXPECT_FALSE(missing.readFrame(0, &frame));
    EXPECT_EQ(missing.errorText(), "Invalid frame : 0 (duration file : 0)");
    EXPECT_FALSE(missing.readCompressedFrame(0, &frame));
}

TEST(FileToPlayRead, BadIndexEmptyEntryAndCorruptFrame) {
    // Frame 2 of a copy gets texture format nibble 0xE (DXT5 YCoCg) in a Hap1 movie.
    Bytes file = testsupport::read_whole_file(fixture_path("mov_hap_none.mov"));
    const auto packets = testsupport::read_packet_list("mov_hap_none");
    ASSERT_EQ(file[packets[2].offset + 3], 0xAB);
    file[packets[2].offset + 3] = 0xAE;
    const std::string path = testsupport::scratch_path("ftp_corrupt.mov");
    testsupport::write_whole_file(path, file);

    FileToPlay movie(QString::fromStdString(path));
    ASSERT_EQ(movie.errorText(), QString());
    TextureFrame texture(movie);

    texture.frame.frame_number = 77;
    texture.frame.status = VideoFrameStatus_Corrupt;
    EXPECT_FALSE(movie.readFrame(5, &texture.frame));
    EXPECT_EQ(movie.errorText(), "Invalid frame : 5 (duration file : 5)");
    EXPECT_EQ(texture.frame.frame_number, 77u);  // untouched
    EXPECT_EQ(texture.frame.status, uint32_t(VideoFrameStatus_Corrupt));

    movie.clearErrorText();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(movie.readFrame(2, &texture.frame));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("ERR codec found doesn't match expected\n"),
              std::string::npos);
    EXPECT_EQ(movie.errorText(), "Corrupt frame : 2");
    EXPECT_EQ(texture.frame.status & VideoFrameStatus_DecodeFailed, uint32_t(VideoFrameStatus_DecodeFailed));
    EXPECT_EQ(texture.frame.frame_number, 2u);

    // The next read starts afresh.
    EXPECT_TRUE(movie.readFrame(3, &texture.frame));
    EXPECT_EQ(texture.frame.status, 0u);
    EXPECT_EQ(texture.frame.frame_number, 3u);

    // Compressed reads: the stored bytes as they are.
    VideoFrame raw;
    ASSERT_TRUE(movie.readCompressedFrame(1, &raw));
    EXPECT_EQ(raw.data_format, uint32_t(VideoDataFormat_Compressed));
    ASSERT_EQ(raw.sizes[0], packets[1].size);
    EXPECT_TRUE(Bytes(raw.planes[0], raw.planes[0] + raw.sizes[0]) ==
                Bytes(file.begin() + packets[1].offset, file.begin() + packets[1].offset + packets[1].size));
    movie.clearErrorText();
    EXPECT_FALSE(movie.readCompressedFrame(5, &raw));
    EXPECT_EQ(movie.errorText(), "Invalid frame : 5 (duration file : 5)");

    // An entry the table walk left empty.
    MovFile* record = nullptr;
    movie.movFile(&record);
    record->frameTable[1].size = 0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(movie.readFrame(1, &texture.frame));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(movie.errorText(), "Invalid frame");
    EXPECT_EQ(texture.frame.status & VideoFrameStatus_DecodeFailed, uint32_t(VideoFrameStatus_DecodeFailed));
    EXPECT_EQ(texture.frame.frame_number, 1u);
    movie.clearErrorText();
    EXPECT_FALSE(movie.readCompressedFrame(1, &raw));
    EXPECT_EQ(movie.errorText(), "Invalid frame");
    video_frame_free_planes(&raw);

    // A frame allocated for another picture size is refused, never overrun.
    VideoFrame small;
    dxt_frame_alloc(&small, 32, 16, VideoDataFormat_Hap1);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(movie.readFrame(0, &small));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(movie.errorText(), "Corrupt frame : 0");
    video_frame_free_planes(&small);
}

TEST(FileToPlayRead, TextureCountAndHeaderFaultsMarkTheFrame) {
    // A HapY movie renamed HapM: frames hold one texture where two are expected.
    FileToPlay hapm(QString::fromStdString(copy_with_codec("mov_hapq_s24_tc", "HapM", "ftp_hapm_small.mov")));
    ASSERT_EQ(hapm.errorText(), QString());
    TextureFrame texture(hapm);
    ASSERT_EQ(texture.frame.plane_count, 2u);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(hapm.readFrame(0, &texture.frame));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR 1 textures found, 2 expected\n");
    EXPECT_EQ(hapm.errorText(), "Corrupt frame : 0");

    // Bytes that are no HAP frame at all.
    VideoFrame frame;
    dxt_frame_alloc(&frame, 64, 48, VideoDataFormat_Hap1);
    const uint8_t garbage[16] = {0x10, 0x00, 0x00, 0x77, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    testing::internal::CaptureStdout();
    hap_decode_frame_to_dxt(&frame, garbage, sizeof garbage, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("ERR decoding header tex hap : ", 0), 0u);
    EXPECT_EQ(frame.status, uint32_t(VideoFrameStatus_DecodeFailed));
    testing::internal::CaptureStdout();
    hap_decode_frame_to_dxt(&frame, nullptr, 0, true);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(frame.status, uint32_t(VideoFrameStatus_DecodeFailed));
    video_frame_free_planes(&frame);
}

// A read that fails (the file shrank under the player) marks the frame and never
// decodes the bytes of an earlier frame in its place.
TEST(FileToPlayRead, TruncatedFileFailsWithoutStaleDecode) {
    const std::string path = testsupport::scratch_path("ftp_truncated.mov");
    std::filesystem::copy_file(fixture_path("mov_hap100_faststart.mov"), path,
                               std::filesystem::copy_options::overwrite_existing);
    FileToPlay movie(QString::fromStdString(path));
    ASSERT_EQ(movie.errorText(), QString());
    ASSERT_EQ(movie.frameCount(), 100u);
    TextureFrame texture(movie);
    ASSERT_TRUE(movie.readFrame(0, &texture.frame));
    const Bytes frame0 = texture.plane(0);

    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(movie.readFrame(99, &texture.frame));
    EXPECT_EQ(movie.errorText(), "Error reading frame : 99 ( File read error )");
    EXPECT_EQ(texture.frame.status & VideoFrameStatus_DecodeFailed, uint32_t(VideoFrameStatus_DecodeFailed));
    EXPECT_EQ(texture.frame.frame_number, 99u);
    EXPECT_TRUE(texture.plane(0) == frame0);  // nothing was decoded into it

    movie.clearErrorText();
    VideoFrame raw;
    EXPECT_FALSE(movie.readCompressedFrame(99, &raw));
    EXPECT_EQ(movie.errorText(), "Error reading frame : 99 ( File read error )");
    testing::internal::GetCapturedStdout();
    video_frame_free_planes(&raw);

    // The part still on disk reads on.
    movie.clearErrorText();
    EXPECT_TRUE(movie.readFrame(1, &texture.frame));
    EXPECT_EQ(movie.errorText(), QString());
}

TEST(FileToPlayAudio, MovieTracksBecomeSources) {
    FileToPlay tc(movie_path("mov_hapq_s24_tc"));
    ASSERT_EQ(tc.errorText(), QString());
    QList<AudioSrcTrack*> tracks = tc.createAudioTracks();
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_TRUE(tracks[0]->isPlayable());
    EXPECT_TRUE(tracks[0]->isMovieTrack());
    EXPECT_EQ(tracks[0]->name(), tc.filePath());
    EXPECT_EQ(tracks[0]->codec(), uint32_t(AudioPcmCodec_S24LE));
    EXPECT_EQ(tracks[0]->channels(), 1u);
    EXPECT_EQ(tracks[0]->frequency(), 48000u);
    EXPECT_EQ(tracks[0]->totalSamples(), 48000u);
    EXPECT_EQ(tracks[0]->defaultChannelMapping(0), 3u);  // mono without labels: both front channels
    qDeleteAll(tracks);

    FileToPlay six(movie_path("mov_pcm_6ch"));
    tracks = six.createAudioTracks();
    ASSERT_EQ(tracks.size(), 1);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(tracks[0]->defaultChannelMapping(c), uint64_t(1) << c) << c;
    qDeleteAll(tracks);

    // Channel labels, and channels beyond the sixth without labels, on the parsed record.
    MovFile* record = nullptr;
    six.movFile(&record);
    MovAudioTrack& track = record->audioTracks[0];
    ASSERT_EQ(track.channelLabels, nullptr);
    track.channels = 8;
    tracks = six.createAudioTracks();
    ASSERT_EQ(tracks.size(), 1);
    for (int c = 0; c < 8; ++c) EXPECT_EQ(tracks[0]->defaultChannelMapping(c), c < 6 ? uint64_t(1) << c : 0) << c;
    qDeleteAll(tracks);
    const uint32_t labels[8] = {42, 3, 33, 34, 99, 0xFFFFFFFF, 1, 0};
    track.channelLabels = static_cast<uint32_t*>(std::malloc(sizeof labels));
    std::memcpy(track.channelLabels, labels, sizeof labels);
    tracks = six.createAudioTracks();
    ASSERT_EQ(tracks.size(), 1);
    const uint64_t expected_masks[8] = {3, 4, 64, 128, 16, 32, 1, 128};
    for (int c = 0; c < 8; ++c) EXPECT_EQ(tracks[0]->defaultChannelMapping(c), expected_masks[c]) << c;
    qDeleteAll(tracks);
    track.channels = 6;

    struct Coding {
        const char* movie;
        uint32_t codec;
        const char* raw_format;
    };
    const Coding codings[] = {{"mov_pcm_u8", AudioPcmCodec_U8, "u8"},
                              {"mov_pcm_s16le", AudioPcmCodec_S16LE, "s16le"},
                              {"mov_pcm_s16be", AudioPcmCodec_S16BE, "s16be"},
                              {"mov_pcm_s24be", AudioPcmCodec_S24BE, "s24be"},
                              {"mov_pcm_s32le", AudioPcmCodec_S32LE, "s32le"},
                              {"mov_pcm_f32le", AudioPcmCodec_F32LE, "f32le"},
                              {"mov_pcm_f64be", AudioPcmCodec_F64BE, "f64be"}};
    for (const Coding& coding : codings) {
        SCOPED_TRACE(coding.movie);
        FileToPlay movie(movie_path(coding.movie));
        ASSERT_EQ(movie.errorText(), QString());
        tracks = movie.createAudioTracks();
        ASSERT_EQ(tracks.size(), 1);
        EXPECT_TRUE(tracks[0]->isPlayable());
        EXPECT_EQ(tracks[0]->codec(), coding.codec);
        EXPECT_EQ(tracks[0]->channels(), 2u);
        EXPECT_EQ(tracks[0]->defaultChannelMapping(0), 1u);
        EXPECT_EQ(tracks[0]->defaultChannelMapping(1), 2u);
        // The source reads through the movie it was given.
        const Bytes raw = testsupport::read_whole_file(fixture_path(std::string(coding.movie) + ".raw"));
        const size_t frame_bytes = raw.size() / tracks[0]->totalSamples();
        Bytes read(100 * frame_bytes, 0xEE);
        tracks[0]->readForward(read.data(), 0, 100, false);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), raw.begin()));
        qDeleteAll(tracks);
    }

    // 8-bit signed PCM has no engine codec: listed, not playable.
    FileToPlay s8(movie_path("mov_pcm_s8"));
    testing::internal::CaptureStdout();
    tracks = s8.createAudioTracks();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_FALSE(tracks[0]->isPlayable());
    EXPECT_EQ(tracks[0]->channels(), 2u);
    qDeleteAll(tracks);

    EXPECT_TRUE(FileToPlay(movie_path("mov_hap_none")).createAudioTracks().isEmpty());
}
