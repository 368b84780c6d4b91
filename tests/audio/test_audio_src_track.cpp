#include <gtest/gtest.h>

#include <QString>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/pcm/audio_data.h"
#include "audio/audio_src_track.h"
#include "base/pcm/channel_layouts.h"
#include "media/mov_file.h"
#include "tests/support/audio_src_files.h"
#include "tests/support/expect_error.h"
#include "tests/support/test_movies.h"

namespace {

using testsupport::Bytes;
using testsupport::fixture_path;

constexpr uint8_t kStale = 0xAB;  // what a destination holds before a read

QString fixture(const std::string& name) { return QString::fromStdString(fixture_path(name)); }

Bytes raw_of(const std::string& name) { return testsupport::read_whole_file(fixture_path(name)); }

// The bytes of frames [first, first + count) of a raw copy.
Bytes frames_of(const Bytes& raw, uint64_t frame_bytes, uint64_t first, uint64_t count) {
    return Bytes(raw.begin() + first * frame_bytes, raw.begin() + (first + count) * frame_bytes);
}

Bytes silence(uint64_t frames, uint64_t frame_bytes, uint8_t value = 0) { return Bytes(frames * frame_bytes, value); }

Bytes reversed_frames(const Bytes& bytes, uint64_t frame_bytes) {
    Bytes out(bytes.size());
    const uint64_t frames = bytes.size() / frame_bytes;
    for (uint64_t i = 0; i < frames; ++i) {
        std::memcpy(&out[i * frame_bytes], &bytes[(frames - 1 - i) * frame_bytes], frame_bytes);
    }
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

uint64_t frame_bytes_of(const AudioSrcTrack& track) {
    return audio_src_track_descriptor_frame_bytes(track.descriptor());
}

Bytes read_forward(AudioSrcTrack& track, uint64_t position, uint32_t count, bool loop) {
    Bytes out(count * frame_bytes_of(track), kStale);
    track.readForward(out.data(), position, count, loop);
    return out;
}

Bytes read_reverse(AudioSrcTrack& track, uint64_t position, uint32_t count, bool loop) {
    Bytes out(count * frame_bytes_of(track), kStale);
    track.readReverse(out.data(), position, count, loop);
    return out;
}

// The opened movie that a movie track reads from.
struct ParsedMovie {
    MovFile movie;
    explicit ParsedMovie(const std::string& path) {
        MovFile::init(&movie);
        const std::u16string wide(path.begin(), path.end());
        MovFile::parse(&movie, wide.c_str());
    }
    ~ParsedMovie() { MovFile::free(&movie); }

    // A source for audio track i, as the opened movie makes it.
    std::unique_ptr<AudioSrcTrack> track(uint32_t i) {
        const MovAudioTrack& t = movie.audioTracks[i];
        std::vector<uint64_t> masks(t.channels);
        for (uint32_t c = 0; c < t.channels; ++c) masks[c] = t.channels == 1 ? 3 : uint64_t(1) << c;
        auto source = std::make_unique<AudioSrcTrack>(QStringLiteral("movie"), i, t.channels, t.frequency,
                                                      MovFile::pcmFormat(&t), masks.data(), t.sampleCount);
        source->setMovieReader(&movie);
        return source;
    }
};

TEST(AudioSrcTrack, CompanionFilesOpenWithTheirFormatAndRouting) {
    struct Case {
        const char* name;
        uint32_t codec, bytesPerSample, channels, frequency;
        const char* text;
    };
    const Case cases[] = {
        {"asrc_u8", AudioPcmCodec_U8, 1, 1, 22050, "Mono, PCM U8bits, 22050 Hz"},
        {"asrc_stereo", AudioPcmCodec_S16LE, 2, 2, 48000, "Stereo, PCM S16bits LE, 48000 Hz"},
        {"asrc_rf64", AudioPcmCodec_S24LE, 3, 2, 48000, "Stereo, PCM S24bits LE, 48000 Hz"},
        {"asrc_s32", AudioPcmCodec_S32LE, 4, 1, 48000, "Mono, PCM S32bits LE, 48000 Hz"},
        {"asrc_f32", AudioPcmCodec_F32LE, 4, 2, 96000, "Stereo, PCM Float 32bits LE, 96000 Hz"},
        {"asrc_f64", AudioPcmCodec_F64LE, 8, 1, 8000, "Mono, PCM Float 64bits LE, 8000 Hz"},
        {"asrc_6ch", AudioPcmCodec_S16LE, 2, 6, 48000, "6 channels, PCM S16bits LE, 48000 Hz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioSrcTrack track(fixture(std::string(c.name) + ".wav"));
        ASSERT_EQ(track.errorText(), QString());
        const AudioSrcTrackDescriptor& d = *track.descriptor();
        EXPECT_TRUE(track.isWavFile());
        EXPECT_FALSE(track.isMovieTrack());
        EXPECT_TRUE(track.isPlayable());
        EXPECT_TRUE(track.isActiveWithDemuxer());
        EXPECT_EQ(d.codec, c.codec);
        EXPECT_EQ(d.bytesPerSample, c.bytesPerSample);
        EXPECT_EQ(d.channels, c.channels);
        EXPECT_EQ(d.frequency, c.frequency);
        EXPECT_EQ(d.totalSamples, raw_of(std::string(c.name) + ".raw").size() / (c.channels * c.bytesPerSample));
        EXPECT_EQ(track.descriptorText(), QString::fromLatin1(c.text));
        // The whole file is the range until in and out points are set.
        EXPECT_EQ(d.inPoint, 0u);
        EXPECT_EQ(d.dataEnd, d.totalSamples);
        EXPECT_EQ(d.loopEnd, d.totalSamples);
        for (uint32_t i = 0; i < d.channels; ++i) {
            const uint64_t expected = c.channels == 1 ? 3 : uint64_t(1) << i;
            EXPECT_EQ(track.defaultChannelMapping(int(i)), expected);
            EXPECT_EQ(track.channelMapping(int(i)), expected);
        }
        AudioDescriptor pcm;
        track.pcmDescriptor(&pcm);
        EXPECT_EQ(pcm.codec, c.codec);
        EXPECT_EQ(pcm.channels, c.channels);
        EXPECT_EQ(pcm.frequency, c.frequency);
        EXPECT_EQ(pcm.planar, 0);
    }
}

TEST(AudioSrcTrack, MonoCompanionFileIsRoutedByItsNameSuffix) {
    const std::pair<const char*, uint64_t> cases[] = {
        {"voice_LFE.wav", 8}, {"music.wav", 3},   {"x_ls.wav", 16},  {"x_lss.wav", 16}, {"x_LRS.wav", 64},
        {"x_rrs.wav", 128},  {"a_L.wav", 1},     {"a_r.wav", 2},    {"a_C.wav", 4},    {"a_rs.wav", 32},
        {"a_Rss.wav", 32},   {"show.v2_L.wav", 1}, {"call.wav", 3},
    };
    for (const auto& [name, mask] : cases) {
        SCOPED_TRACE(name);
        AudioSrcTrack track(QString::fromStdString(testsupport::copy_fixture_as("asrc_mono.wav", name)));
        ASSERT_EQ(track.errorText(), QString());
        EXPECT_EQ(track.defaultChannelMapping(0), mask);
        EXPECT_EQ(track.channelMapping(0), mask);
        EXPECT_EQ(track.defaultsToBothSides(), mask == 3);
    }
    // Only mono files follow their name: a stereo one keeps channel i on output i.
    AudioSrcTrack stereo(QString::fromStdString(testsupport::copy_fixture_as("asrc_stereo.wav", "pair_LFE.wav")));
    EXPECT_EQ(stereo.channelMapping(0), 1u);
    EXPECT_EQ(stereo.channelMapping(1), 2u);
}

TEST(AudioSrcTrack, UnusableSourcesKeepAnErrorTextAndAreNeverRouted) {
    using testsupport::write_pcm_wav;
    const std::pair<std::string, const char*> cases[] = {
        {write_pcm_wav("int64.wav", 2, 48000, 64, false, 100), "Audio track error : Unsupported Wav integer format"},
        {write_pcm_wav("int40.wav", 1, 48000, 40, false, 100), "Audio track error : Unsupported Wav integer format"},
        {write_pcm_wav("float16.wav", 1, 48000, 16, true, 100), "Audio track error : Unsupported Wav float format"},
        {write_pcm_wav("rate100.wav", 1, 100, 16, false, 100),
         "Audio track error : Unsupported frequency for track (100 Hz)"},
        {write_pcm_wav("rate1M.wav", 1, 1000000, 16, false, 100),
         "Audio track error : Unsupported frequency for track (1000000 Hz)"},
    };
    for (const auto& [path, text] : cases) {
        SCOPED_TRACE(path);
        AudioSrcTrack track(QString::fromStdString(path));
        EXPECT_EQ(track.errorText(), QString::fromLatin1(text));
        EXPECT_TRUE(track.isWavFile());
        EXPECT_FALSE(track.isPlayable());
        EXPECT_FALSE(track.isActiveWithDemuxer());
        EXPECT_FALSE(track.isRoutedTo(NAudioChannelLayout_7_1));
        uint8_t guard[16];
        std::memset(guard, kStale, sizeof guard);
        EXPECT_EQ(track.readForward(guard, 5, 4, true), 5u);
        EXPECT_EQ(track.readReverse(guard, 5, 4, true), 5u);
        EXPECT_EQ(guard[0], kStale);  // an unplayable source has no buffer size to write to
    }
    AudioSrcTrack missing(QString::fromStdString(testsupport::audio_src_temp_dir() + "/absent.wav"));
    EXPECT_TRUE(missing.errorText().startsWith(QStringLiteral("Audio track error : ")));
    EXPECT_FALSE(missing.isPlayable());
    // 188 Hz and 768 kHz are the limits themselves and still play.
    AudioSrcTrack lowest(QString::fromStdString(write_pcm_wav("rate188.wav", 1, 188, 16, false, 10)));
    AudioSrcTrack highest(QString::fromStdString(write_pcm_wav("rate768k.wav", 1, 768000, 16, false, 10)));
    EXPECT_EQ(lowest.errorText(), QString());
    EXPECT_EQ(highest.errorText(), QString());
}

TEST(AudioSrcTrack, FileOf64ChannelsRoutesEachToItsOwnOutputBit) {
    const std::string path = testsupport::write_pcm_wav("ch64.wav", 64, 48000, 16, false, 50);
    AudioSrcTrack track(QString::fromStdString(path));
    ASSERT_EQ(track.errorText(), QString());
    ASSERT_EQ(track.channels(), 64u);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(track.channelMapping(i), uint64_t(1) << i) << i;
    EXPECT_EQ(track.channelMaskUnion(), ~uint64_t(0));
    // Every channel is read: the file's frames come back whole.
    const Bytes file = testsupport::read_whole_file(path);
    EXPECT_EQ(read_forward(track, 10, 20, false), Bytes(file.begin() + 44 + 10 * 128, file.begin() + 44 + 30 * 128));
}

TEST(AudioSrcTrack, ForwardReadsReturnTheFilesSamples) {
    const char* wavs[] = {"asrc_stereo", "asrc_mono", "asrc_rf64", "asrc_6ch", "asrc_u8"};
    for (const char* name : wavs) {
        SCOPED_TRACE(name);
        AudioSrcTrack track(fixture(std::string(name) + ".wav"));
        ASSERT_EQ(track.errorText(), QString());
        const Bytes raw = raw_of(std::string(name) + ".raw");
        const uint64_t total = track.totalSamples();
        Bytes all;
        uint64_t p = 0;
        while (p < total) {
            const uint32_t n = uint32_t(std::min<uint64_t>(3001, total - p));
            const Bytes block = read_forward(track, p, n, false);
            all.insert(all.end(), block.begin(), block.end());
            p += n;
            ASSERT_EQ(track.position(), p);
        }
        EXPECT_EQ(all, raw);
    }
    ParsedMovie movie(fixture_path("asrc_movie.mov"));
    ASSERT_EQ(movie.movie.audioTrackCount, 3u);
    const uint32_t codecs[] = {AudioPcmCodec_S16LE, AudioPcmCodec_S24BE, AudioPcmCodec_S16LE};
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        auto track = movie.track(i);
        ASSERT_EQ(track->errorText(), QString());
        EXPECT_EQ(track->codec(), codecs[i]);
        const Bytes raw = raw_of("asrc_movie.a" + std::to_string(i) + ".raw");
        const uint64_t fb = frame_bytes_of(*track);
        ASSERT_EQ(track->totalSamples(), raw.size() / fb);
        EXPECT_EQ(read_forward(*track, 0, uint32_t(track->totalSamples()), false), raw);
        EXPECT_EQ(read_forward(*track, 777, 5000, false), frames_of(raw, fb, 777, 5000));
        EXPECT_EQ(track->position(), 5777u);
    }
}

TEST(AudioSrcTrack, ReverseReadsReturnTheSamplesNewestFirst) {
    AudioSrcTrack track(fixture("asrc_stereo.wav"));
    ASSERT_EQ(track.errorText(), QString());
    // FFmpeg's atrim + areverse of samples 12000..35999.
    EXPECT_EQ(read_reverse(track, 35999, 24000, false), raw_of("asrc_stereo_rev.raw"));
    EXPECT_EQ(track.position(), 11999u);
    // In several blocks, each continuing where the last stopped.
    Bytes all;
    uint64_t p = 35999;
    for (int i = 0; i < 3; ++i) {
        const Bytes block = read_reverse(track, p, 8000, false);
        all.insert(all.end(), block.begin(), block.end());
        p = track.position();
    }
    EXPECT_EQ(all, raw_of("asrc_stereo_rev.raw"));

    ParsedMovie movie(fixture_path("asrc_movie.mov"));
    auto s24 = movie.track(1);
    const Bytes raw = raw_of("asrc_movie.a1.raw");
    EXPECT_EQ(read_reverse(*s24, 20999, 10000, false), reversed_frames(frames_of(raw, 3, 11000, 10000), 3));
    EXPECT_EQ(s24->position(), 10999u);
}

TEST(AudioSrcTrack, ForwardLoopWrapsAtTheOutPointAndPlaysSilencePastTheData) {
    AudioSrcTrack track(fixture("asrc_stereo.wav"));
    const Bytes raw = raw_of("asrc_stereo.raw");
    const uint64_t fb = 4;
    ASSERT_EQ(track.totalSamples(), 48000u);

    track.setInOutSeconds(0.25, 0.5);  // [12000, 24000)
    EXPECT_EQ(track.descriptor()->inPoint, 12000u);
    EXPECT_EQ(track.descriptor()->dataEnd, 24000u);
    EXPECT_EQ(track.descriptor()->loopEnd, 24000u);
    EXPECT_EQ(read_forward(track, 20000, 10000, true),
              cat({frames_of(raw, fb, 20000, 4000), frames_of(raw, fb, 12000, 6000)}));
    EXPECT_EQ(track.position(), 18000u);
    // Longer than two passes of the range in one read.
    EXPECT_EQ(read_forward(track, 23000, 30000, true),
              cat({frames_of(raw, fb, 23000, 1000), frames_of(raw, fb, 12000, 12000), frames_of(raw, fb, 12000, 12000),
                   frames_of(raw, fb, 12000, 5000)}));
    EXPECT_EQ(track.position(), 17000u);
    // Without loop the range ends in silence, and the position still advances.
    EXPECT_EQ(read_forward(track, 20000, 10000, false), cat({frames_of(raw, fb, 20000, 4000), silence(6000, fb)}));
    EXPECT_EQ(track.position(), 30000u);

    // A range longer than the file: the data, silence to the out point, then the in point.
    track.setInOutSeconds(0.5, 1.5);  // [24000, 72000), data ends at 48000
    EXPECT_EQ(track.descriptor()->dataEnd, 48000u);
    EXPECT_EQ(read_forward(track, 40000, 50000, true),
              cat({frames_of(raw, fb, 40000, 8000), silence(24000, fb), frames_of(raw, fb, 24000, 18000)}));
    EXPECT_EQ(track.position(), 42000u);
    EXPECT_EQ(read_forward(track, 40000, 20000, false), cat({frames_of(raw, fb, 40000, 8000), silence(12000, fb)}));
    EXPECT_EQ(track.position(), 60000u);
    // A position beyond the out point goes back to the in point at once.
    EXPECT_EQ(read_forward(track, 90000, 100, true), frames_of(raw, fb, 24000, 100));

    // A movie track loops the same way (the in point in its own samples).
    ParsedMovie movie(fixture_path("asrc_movie.mov"));
    auto s24 = movie.track(1);
    const Bytes mraw = raw_of("asrc_movie.a1.raw");
    s24->setInOutSeconds(0.1, 0.2);  // [4410, 8820)
    EXPECT_EQ(read_forward(*s24, 8000, 2000, true), cat({frames_of(mraw, 3, 8000, 820), frames_of(mraw, 3, 4410, 1180)}));
}

TEST(AudioSrcTrack, ReverseLoopWrapsFromTheInPointToTheOutPoint) {
    AudioSrcTrack track(fixture("asrc_stereo.wav"));
    const Bytes raw = raw_of("asrc_stereo.raw");
    const uint64_t fb = 4;
    track.setInOutSeconds(0.25, 0.5);  // [12000, 24000)

    // 13000 down to the in point, then from the last sample of the range downwards.
    EXPECT_EQ(read_reverse(track, 13000, 5000, true),
              cat({reversed_frames(frames_of(raw, fb, 12000, 1001), fb),
                   reversed_frames(frames_of(raw, fb, 20001, 3999), fb)}));
    EXPECT_EQ(track.position(), 20000u);
    // Exactly to the in point: the next read starts at the end of the range.
    read_reverse(track, 12999, 1000, true);
    EXPECT_EQ(track.position(), 23999u);
    // Below the in point the loop starts again from its end.
    EXPECT_EQ(read_reverse(track, 500, 100, true), reversed_frames(frames_of(raw, fb, 23900, 100), fb));
    // Several passes in one read.
    EXPECT_EQ(read_reverse(track, 12500, 25000, true),
              cat({reversed_frames(frames_of(raw, fb, 12000, 501), fb),
                   reversed_frames(frames_of(raw, fb, 12000, 12000), fb),
                   reversed_frames(frames_of(raw, fb, 12000, 12000), fb),
                   reversed_frames(frames_of(raw, fb, 23501, 499), fb)}));
    EXPECT_EQ(track.position(), 23500u);

    // Without loop, sample 0 ends the source: the rest is silence, and so is every read
    // after it, never the other end of the range (heard when the stop at the start of
    // the range comes late, on a busy machine). The same when a read ends on sample 0.
    EXPECT_EQ(read_reverse(track, 1000, 3000, false),
              cat({reversed_frames(frames_of(raw, fb, 0, 1001), fb), silence(1999, fb)}));
    EXPECT_EQ(read_reverse(track, track.position(), 3000, false), silence(3000, fb));
    EXPECT_EQ(read_reverse(track, track.position(), 3000, false), silence(3000, fb));
    EXPECT_EQ(read_reverse(track, 999, 1000, false), reversed_frames(frames_of(raw, fb, 0, 1000), fb));
    EXPECT_EQ(read_reverse(track, track.position(), 500, false), silence(500, fb));
}

TEST(AudioSrcTrack, EmptyOrInvertedRangesNeverLoopForever) {
    AudioSrcTrack track(fixture("asrc_stereo.wav"));
    const Bytes raw = raw_of("asrc_stereo.raw");
    const uint64_t fb = 4;
    // Fresh: the whole file loops.
    EXPECT_EQ(read_forward(track, 47000, 2000, true), cat({frames_of(raw, fb, 47000, 1000), frames_of(raw, fb, 0, 1000)}));
    EXPECT_EQ(read_reverse(track, 999, 2000, true),
              cat({reversed_frames(frames_of(raw, fb, 0, 1000), fb), reversed_frames(frames_of(raw, fb, 47000, 1000), fb)}));

    const std::pair<double, double> invalid[] = {{0.5, 0.25}, {0.5, 0.5}, {0.0, 0.0}, {-1.0, -0.5}};
    for (const auto& [in, out] : invalid) {
        SCOPED_TRACE(in);
        AudioSrcTrack fresh(fixture("asrc_stereo.wav"));
        fresh.setInOutSeconds(in, out);
        EXPECT_EQ(fresh.descriptor()->loopEnd, 0u);
        // Past the data the read plays silence and moves on instead of spinning.
        EXPECT_EQ(read_forward(fresh, 47990, 100, true), cat({frames_of(raw, fb, 47990, 10), silence(90, fb)}));
        EXPECT_EQ(fresh.position(), 48090u);
        EXPECT_EQ(read_forward(fresh, 60000, 100, true), silence(100, fb));
        EXPECT_EQ(fresh.position(), 60100u);
        EXPECT_EQ(read_reverse(fresh, 10, 100, true), cat({reversed_frames(frames_of(raw, fb, 0, 11), fb), silence(89, fb)}));
        EXPECT_EQ(read_reverse(fresh, fresh.position(), 100, true), silence(100, fb));
    }

    // An in point after the end of the data: the whole range is silence, then again.
    AudioSrcTrack beyond(fixture("asrc_stereo.wav"));
    beyond.setInOutSeconds(2.0, 2.1);  // [96000, 100800), data ends at 48000
    EXPECT_EQ(read_forward(beyond, 96000, 10000, true), silence(10000, fb));
    EXPECT_EQ(beyond.position(), 96400u);
    EXPECT_EQ(read_reverse(beyond, 96100, 10000, true), silence(10000, fb));
}

TEST(AudioSrcTrack, FailedReadsDeliverSilenceNotOldBytes) {
    // A file cut short after it was opened: the reader fails, the track goes on.
    const std::string path = testsupport::copy_fixture_as("asrc_stereo.wav", "cut.wav");
    AudioSrcTrack cut(QString::fromStdString(path));
    ASSERT_EQ(cut.errorText(), QString());
    const Bytes raw = raw_of("asrc_stereo.raw");
    const uint64_t header = std::filesystem::file_size(path) - raw.size();
    std::filesystem::resize_file(path, header + 1000 * 4);
    EXPECT_EQ(read_forward(cut, 2000, 500, false), silence(500, 4));
    EXPECT_EQ(cut.position(), 2500u);
    EXPECT_EQ(read_forward(cut, 0, 500, false), frames_of(raw, 4, 0, 500));
    EXPECT_EQ(read_reverse(cut, 30000, 500, true), silence(500, 4));

    // A U8 source's silence is 128.
    const std::string u8 = testsupport::write_pcm_wav("cut_u8.wav", 1, 8000, 8, false, 100000);
    AudioSrcTrack cut8(QString::fromStdString(u8));
    ASSERT_EQ(cut8.codec(), uint32_t(AudioPcmCodec_U8));
    std::filesystem::resize_file(u8, 44 + 1000);
    EXPECT_EQ(read_forward(cut8, 90000, 300, false), silence(300, 1, 128));

    // A movie track whose reader holds frames of another size is not read into a
    // buffer sized for this track.
    ParsedMovie movie(fixture_path("asrc_movie.mov"));
    const uint64_t masks[6] = {1, 2, 4, 8, 16, 32};
    AudioSrcTrack wrong(QStringLiteral("movie"), 0, 6, 48000, AudioPcmCodec_S16LE, masks, 48000);
    wrong.setMovieReader(&movie.movie);
    EXPECT_EQ(read_forward(wrong, 0, 100, false), silence(100, 12));
    AudioSrcTrack absent(QStringLiteral("movie"), 7, 2, 48000, AudioPcmCodec_S16LE, masks, 48000);
    absent.setMovieReader(&movie.movie);
    EXPECT_EQ(read_forward(absent, 0, 100, false), silence(100, 4));
    // Before the movie is attached there is nothing to read: silence, position unchanged.
    AudioSrcTrack unattached(QStringLiteral("movie"), 0, 2, 48000, AudioPcmCodec_S16LE, masks, 48000);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_forward(unattached, 10, 100, false), silence(100, 4));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No audio demuxer\n");
    EXPECT_EQ(unattached.position(), 0u);
    // An undecodable track has no reader either, and says so the same way.
    AudioSrcTrack undecodable(QStringLiteral("movie"), 1, 2, 48000, mov_fourcc("mp4a"), masks);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_forward(undecodable, 10, 1, false).size(), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No audio demuxer\n");
    // Zero samples asked: nothing happens.
    uint8_t guard = kStale;
    EXPECT_EQ(unattached.readForward(&guard, 42, 0, false), 42u);
    EXPECT_EQ(unattached.readReverse(&guard, 42, 0, false), 42u);
    EXPECT_EQ(guard, kStale);
}

TEST(AudioSrcTrack, MovieTrackConstructionAndTexts) {
    const uint64_t masks[8] = {1, 2, 4, 8, 16, 32, 64, 128};
    AudioSrcTrack pcm(QStringLiteral("m.mov"), 2, 2, 48000, AudioPcmCodec_S24BE, masks, 1234);
    ASSERT_EQ(pcm.errorText(), QString());
    EXPECT_TRUE(pcm.isMovieTrack());
    EXPECT_TRUE(pcm.isPlayable());
    EXPECT_TRUE(pcm.isActiveWithDemuxer());
    EXPECT_EQ(pcm.descriptor()->trackIndex, 2u);
    EXPECT_EQ(pcm.descriptor()->bytesPerSample, 3u);
    EXPECT_EQ(pcm.descriptor()->dataEnd, 1234u);
    EXPECT_EQ(pcm.descriptorText(), QStringLiteral("Stereo, PCM S24bits BE, 48000 Hz"));
    pcm.deactivate();
    EXPECT_TRUE(pcm.isRemoved());
    EXPECT_FALSE(pcm.isActiveWithDemuxer());
    EXPECT_FALSE(pcm.isRoutedTo(NAudioChannelLayout_Stereo));
    pcm.activate();
    EXPECT_FALSE(pcm.isRemoved());

    AudioSrcTrack aac(QStringLiteral("m.mov"), 0, 2, 48000, mov_fourcc("mp4a"), masks);
    EXPECT_EQ(aac.errorText(), QString());
    EXPECT_FALSE(aac.isPlayable());
    EXPECT_FALSE(aac.isActiveWithDemuxer());
    EXPECT_EQ(aac.descriptor()->bytesPerSample, 0u);
    EXPECT_EQ(aac.descriptorText(), QStringLiteral("Stereo, AAC (Unsupported), 48000 Hz"));
    AudioSrcTrack ac3(QStringLiteral("m.mov"), 1, 6, 44100, mov_fourcc("ac-3"), masks);
    EXPECT_EQ(ac3.descriptorText(), QStringLiteral("6 channels, ac-3 (Unsupported), 44100 Hz"));
    AudioDescriptor untouched;
    untouched.channels = 99;
    ac3.pcmDescriptor(&untouched);
    EXPECT_EQ(untouched.channels, 99u);

    const std::pair<std::function<AudioSrcTrack*()>, const char*> failures[] = {
        {[&] { return new AudioSrcTrack(QStringLiteral("m"), 0, 0, 48000, AudioPcmCodec_S16LE, masks, 10); },
         "Audio track error : Invalid channel count for track (0)"},
        {[&] { return new AudioSrcTrack(QStringLiteral("m"), 0, 2, 0, AudioPcmCodec_S16LE, masks, 10); },
         "Audio track error : Invalid frequency for track (0)"},
        {[&] { return new AudioSrcTrack(QStringLiteral("m"), 0, 2, 48000, 12, masks, 10); },
         "Audio track error : Unknown audio descriptor"},
        {[&] { return new AudioSrcTrack(QStringLiteral("m"), 0, 2, 100, AudioPcmCodec_S16LE, masks, 10); },
         "Audio track error : Unsupported frequency for track (100 Hz)"},
        {[&] { return new AudioSrcTrack(QStringLiteral("m"), 0, 0, 48000, mov_fourcc("mp4a"), masks); },
         "Audio track error : Invalid channel count for track (0)"},
    };
    for (const auto& [make, text] : failures) {
        std::unique_ptr<AudioSrcTrack> track(make());
        EXPECT_EQ(track->errorText(), QString::fromLatin1(text));
        EXPECT_FALSE(track->isPlayable());
        EXPECT_FALSE(track->isRoutedTo(NAudioChannelLayout_Stereo));
        EXPECT_FALSE(track->descriptorText().isNull());
    }
    // A refused PCM track still names its codec.
    AudioSrcTrack slow(QStringLiteral("m"), 0, 1, 100, AudioPcmCodec_S16LE, masks, 10);
    EXPECT_EQ(slow.descriptorText(), QStringLiteral("Mono, PCM S16bits LE (Unsupported), 100 Hz"));
}

TEST(AudioSrcTrack, MasksRoutingAndPositions) {
    const uint64_t masks[4] = {1, 2, 0, 0};
    AudioSrcTrack track(QStringLiteral("m"), 0, 4, 48000, AudioPcmCodec_S16LE, masks, 480000);
    EXPECT_EQ(track.channelMaskUnion(), 3u);
    EXPECT_EQ(track.channelMapping(4), 0u);
    EXPECT_EQ(track.channelMapping(-1), 0u);
    track.setChannelMapping(0x40, 2);
    track.setChannelMapping(0xFF, 4);   // out of range: nothing changes
    track.setChannelMapping(0xFF, -3);
    EXPECT_EQ(track.channelMaskUnion(), 0x43u);
    EXPECT_EQ(track.defaultChannelMapping(2), 0u);
    EXPECT_TRUE(track.isRoutedTo(NAudioChannelLayout_Mono));
    EXPECT_TRUE(track.isRoutedTo(NAudioChannelLayout_7_1));
    EXPECT_FALSE(track.isRoutedTo(9));
    EXPECT_EQ(track.unusedOutputMask(NAudioChannelLayout_Stereo), ~uint64_t(3));
    EXPECT_EQ(track.unusedOutputMask(NAudioChannelLayout_5_1), ~uint64_t(3));
    EXPECT_EQ(track.unusedOutputMask(NAudioChannelLayout_7_1), ~uint64_t(0x43));
    track.setChannelMapping(0, 0);
    track.setChannelMapping(0, 1);
    EXPECT_FALSE(track.isRoutedTo(NAudioChannelLayout_5_1));
    EXPECT_TRUE(track.isRoutedTo(NAudioChannelLayout_7_1));
    track.clearChannelMapping();
    EXPECT_EQ(track.channelMaskUnion(), 0u);
    EXPECT_FALSE(track.isRoutedTo(NAudioChannelLayout_7_1));
    EXPECT_EQ(track.unusedOutputMask(NAudioChannelLayout_7_1), ~uint64_t(0));
    EXPECT_FALSE(track.defaultsToBothSides());

    // The second pair: only a stereo source with the plain 1, 2 defaults moves.
    const uint64_t pair[2] = {1, 2}, both[2] = {3, 3};
    AudioSrcTrack plain(QStringLiteral("m"), 0, 2, 48000, AudioPcmCodec_S16LE, pair, 10);
    plain.moveToSecondPair();
    EXPECT_EQ(plain.defaultChannelMapping(0), 4u);
    EXPECT_EQ(plain.channelMapping(1), 8u);
    AudioSrcTrack shared(QStringLiteral("m"), 0, 2, 48000, AudioPcmCodec_S16LE, both, 10);
    shared.moveToSecondPair();
    EXPECT_EQ(shared.channelMapping(0), 3u);
    EXPECT_TRUE(shared.defaultsToBothSides());

    // Positions to the nearest sample; nonsense times give 0 rather than a wrapped value.
    track.seekSeconds(1.5);
    EXPECT_EQ(track.position(), 72000u);
    track.seekSeconds(1.0 / 48000.0 * 10.4);
    EXPECT_EQ(track.position(), 10u);
    track.seekSeconds(1.0 / 48000.0 * 10.6);
    EXPECT_EQ(track.position(), 11u);
    track.seekSeconds(-2.0);
    EXPECT_EQ(track.position(), 0u);
    track.seekSeconds(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(track.position(), 0u);
    track.seekSeconds(1e300);
    EXPECT_GT(track.position(), uint64_t(1) << 60);
    track.setInOutSeconds(0.5, 20.0);  // out past the end: the data stops at the source's end
    EXPECT_EQ(track.descriptor()->inPoint, 24000u);
    EXPECT_EQ(track.descriptor()->dataEnd, 480000u);
    EXPECT_EQ(track.descriptor()->loopEnd, 960000u);
}

TEST(AudioSrcTrackDescriptor, InitAndSampleSizes) {
    AudioSrcTrackDescriptor* d = audio_src_track_descriptor_new();
    EXPECT_EQ(d->active, 0);
    EXPECT_EQ(d->kind, uint32_t(AudioSrcKind_Movie));
    EXPECT_EQ(d->codec, uint32_t(AudioPcmCodec_None));
    EXPECT_EQ(d->playable, 1u);
    EXPECT_EQ(d->demuxerType, uint32_t(AudioSrcDemuxer_None));
    EXPECT_RUNTIME_ERROR(audio_src_track_descriptor_init(d, 0, 48000, nullptr), "Invalid channel count for track (0)");
    EXPECT_RUNTIME_ERROR(audio_src_track_descriptor_init(d, 2, 0, nullptr), "Invalid frequency for track (0)");
    const uint64_t masks[3] = {5, 6, 7};
    audio_src_track_descriptor_init(d, 3, 44100, masks);
    EXPECT_EQ(d->active, 1);
    EXPECT_EQ(d->codec, uint32_t(AudioPcmCodec_S16LE));
    EXPECT_EQ(d->currentMasks[2], 7u);
    EXPECT_EQ(d->defaultMasks[0], 5u);
    const uint32_t sizes[] = {1, 2, 2, 3, 3, 4, 4, 4, 4, 8, 8};
    for (uint32_t codec = 0; codec <= 10; ++codec) {
        d->codec = codec;
        audio_src_track_descriptor_set_sample_size(d);
        EXPECT_EQ(d->bytesPerSample, sizes[codec]) << codec;
    }
    d->codec = 11;
    EXPECT_RUNTIME_ERROR(audio_src_track_descriptor_set_sample_size(d), "Unknown audio descriptor");
    d->playable = 0;
    audio_src_track_descriptor_set_sample_size(d);
    EXPECT_EQ(d->bytesPerSample, 0u);
    audio_src_track_descriptor_free(d);
    audio_src_track_descriptor_free(nullptr);
}

}  // namespace
