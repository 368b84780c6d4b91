// Sample descriptions and user data of hand-made movies: the sound layouts and their
// PCM codec, channel labels, picture aspect, and our own metadata atoms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "media/mov_file.h"
#include "tests/support/mov_parsed.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"

using namespace testsupport;

namespace {

std::string write_scratch(const std::string& name, const Bytes& bytes) {
    const std::string path = scratch_path(name);
    write_whole_file(path, bytes);
    return path;
}

// A movie with one sound track of 100 samples in one chunk, described by `entry`.
std::string sound_movie(const std::string& name, const Bytes& entry, uint32_t rate) {
    TrackAtoms sound;
    sound.handler = "soun";
    sound.tkhd = tkhd_payload(0, 0, 0);
    sound.mdhd = mdhd_payload(0, rate, 100);
    sound.stsd = stsd_payload(entry);
    sound.stts = stts_payload({{100, 1}});
    sound.stsz = stsz_payload(1, 100, {});
    sound.stsc = stsc_payload({{1, 100}});
    sound.stco = stco_payload({mdat_payload_offset()}, false);
    return write_scratch(name, movie_file(Bytes(100 * 8 * 8, 0), {trak_atom(sound)}));
}

// A movie with a short Hap1 video track whose sample description carries `extensions`,
// followed by a udta holding `user_data` atoms.
std::string described_movie(const std::string& name, const Bytes& extensions, const Bytes& user_data) {
    TrackAtoms video = simple_video_track({10, 10}, mdat_payload_offset(), 25, {{2, 1}});
    video.stsd = stsd_payload(video_entry("Hap1", 24, extensions));
    return write_scratch(name, movie_file(Bytes(20, 1), {trak_atom(video), atom("udta", user_data)}));
}

Bytes enda(uint16_t value) {
    Bytes payload;
    put_be16(payload, value);
    Bytes wave = atom("frma", Bytes{'i', 'n', '2', '4'});
    append(wave, atom("enda", payload));
    append(wave, Bytes(8, 0));  // writers close `wave` with a type-0 atom
    return atom("wave", wave);
}

Bytes nrvu(uint16_t version, uint8_t alpha, uint8_t window, uint32_t w, uint32_t h, uint32_t x, uint32_t y) {
    Bytes payload;
    put_le16(payload, version);
    put_u8(payload, alpha);
    put_u8(payload, window);
    put_le32(payload, w);
    put_le32(payload, h);
    put_le32(payload, x);
    put_le32(payload, y);
    return atom("NRVU", payload);
}

Bytes text_atom(const std::string& type, const std::string& text) {
    Bytes payload;
    put_text(payload, text);
    return atom(type, payload);
}

Bytes alfa(uint32_t value, uint8_t last, size_t size = 10) {
    Bytes payload(5, 0);
    put_le32(payload, value);
    put_u8(payload, last);
    payload.resize(size);
    return atom("ALFA", payload);
}

}  // namespace

TEST(MovDescriptions, SoundLayoutsAndTheirPcmCodec) {
    struct Case {
        const char* name;
        Bytes entry;
        uint32_t rate;
        uint8_t supported;
        uint32_t pcm;
    };
    const Case cases[] = {
        // enda only concerns the codecs whose name leaves the byte order open.
        {"twos_enda", sound_entry_v0("twos", 2, 16, 48000, enda(1)), 48000, 1, AudioPcmCodec_S16BE},
        {"in24_enda1", sound_entry_v0("in24", 2, 24, 48000, enda(1), true), 48000, 1, AudioPcmCodec_S24LE},
        {"in24_enda0", sound_entry_v0("in24", 2, 24, 48000, enda(0), true), 48000, 1, AudioPcmCodec_S24BE},
        {"fl32_v0", sound_entry_v0("fl32", 1, 32, 44100, {}), 44100, 1, AudioPcmCodec_F32BE},
        {"in24_packets", sound_entry_v0("in24", 2, 24, 48000, {}, true, 2), 48000, 0, AudioPcmCodec_None},
        {"twos_8bit", sound_entry_v0("twos", 1, 8, 48000, {}), 48000, 0, AudioPcmCodec_None},
        {"lpcm_v0", sound_entry_v0("lpcm", 1, 16, 48000, {}), 48000, 0, AudioPcmCodec_None},
        {"lpcm_s24be", sound_entry_v2("lpcm", 96000.0, 2, 24, 6, 1, {}), 96000, 1, AudioPcmCodec_S24BE},
        {"lpcm_f64le", sound_entry_v2("lpcm", 192000.0, 1, 64, 1, 1, {}), 192000, 1, AudioPcmCodec_F64LE},
        {"lpcm_20bit", sound_entry_v2("lpcm", 96000.0, 2, 20, 6, 1, {}), 96000, 0, AudioPcmCodec_None},
        {"lpcm_frames", sound_entry_v2("lpcm", 96000.0, 2, 16, 12, 4, {}), 96000, 0, AudioPcmCodec_None},
        {"lpcm_many_ch", sound_entry_v2("lpcm", 48000.0, 5000, 16, 12, 1, {}), 48000, 0, AudioPcmCodec_None},
        {"mp4a", sound_entry_v0("mp4a", 2, 16, 48000, {}), 48000, 0, AudioPcmCodec_None},
    };
    for (const Case& c : cases) {
        ParsedMovie parsed(sound_movie(std::string("sound_") + c.name + ".mov", c.entry, c.rate));
        ASSERT_EQ(parsed.error, "") << c.name << "\n" << parsed.output;
        ASSERT_EQ(parsed.movie.audioTrackCount, 1u) << c.name;
        const MovAudioTrack& track = parsed.movie.audioTracks[0];
        EXPECT_EQ(track.status, 0u) << c.name << "\n" << parsed.output;
        EXPECT_EQ(track.frequency, c.rate) << c.name;
        EXPECT_EQ(track.pcmSupported, c.supported) << c.name << "\n" << parsed.output;
        testing::internal::CaptureStdout();
        EXPECT_EQ(MovFile::pcmFormat(&track), c.pcm) << c.name;
        testing::internal::GetCapturedStdout();
        if (c.supported) {
            EXPECT_EQ(track.bytesPerFrame, uint64_t(track.bitsPerSample / 8) * track.channels) << c.name;
            EXPECT_EQ(track.sampleCount, 100u) << c.name;
        }
    }
}

TEST(MovDescriptions, BrokenSoundDescriptionsFailOnlyTheirTrack) {
    struct Case {
        const char* name;
        Bytes entry;
        const char* error;
    };
    Bytes short_v1 = sound_entry_v0("in24", 2, 24, 48000, {}, true);
    short_v1.resize(40);
    set_be32(short_v1, 0, 40);
    Bytes short_v2 = sound_entry_v0("lpcm", 2, 16, 48000, {});
    short_v2[17] = 2;  // version 2 in a 36-byte entry
    Bytes no_channels = sound_entry_v0("sowt", 0, 16, 48000, {});
    const Case cases[] = {
        {"short_v1", short_v1, "Not enough data in Sample Description audio"},
        {"short_v2", short_v2, "Not enough data in Sample Description audio (v2)"},
        {"no_channels", no_channels, "Invalid channel (0)"},
        {"nan_rate", sound_entry_v2("lpcm", std::nan(""), 2, 16, 12, 1, {}), "Invalid sample rate (<= 0)"},
        {"huge_rate", sound_entry_v2("lpcm", 1e30, 2, 16, 12, 1, {}), "Invalid sample rate (<= 0)"},
        {"unset_flags", sound_entry_v2("lpcm", 48000.0, 2, 16, 0x80000000u, 1, {}), "Unset audio flags mode (v2)"},
    };
    for (const Case& c : cases) {
        ParsedMovie parsed(sound_movie(std::string("broken_") + c.name + ".mov", c.entry, 48000));
        ASSERT_EQ(parsed.error, "") << c.name << "\n" << parsed.output;
        ASSERT_EQ(parsed.movie.audioTrackCount, 1u) << c.name;
        EXPECT_EQ(parsed.movie.audioTracks[0].status, uint64_t(MovAudioStatus_Failed)) << c.name;
        EXPECT_NE(parsed.output.find(std::string("ERROR : Failed to parse audio trak : ") + c.error + "\n"),
                  std::string::npos)
            << c.name << "\n"
            << parsed.output;
    }
}

TEST(MovDescriptions, ChannelLabels) {
    Bytes chan;
    put_be32(chan, 0);
    put_be32(chan, 0);  // layout tag: use descriptions
    put_be32(chan, 0);
    put_be32(chan, 2);
    for (uint32_t label : {33u, 34u}) {
        put_be32(chan, label);
        for (int i = 0; i < 4; ++i) put_be32(chan, 0);
    }
    ParsedMovie parsed(sound_movie("chan_2_of_6.mov", sound_entry_v0("sowt", 6, 16, 48000, atom("chan", chan)), 48000));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    const MovAudioTrack& track = parsed.movie.audioTracks[0];
    ASSERT_NE(track.channelLabels, nullptr);
    const std::vector<uint32_t> labels(track.channelLabels, track.channelLabels + track.channels);
    EXPECT_EQ(labels, (std::vector<uint32_t>{33, 34, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
}

TEST(MovDescriptions, PixelAspect) {
    auto pasp = [](uint32_t h, uint32_t v) {
        Bytes payload;
        put_be32(payload, h);
        put_be32(payload, v);
        return atom("pasp", payload);
    };
    {
        ParsedMovie parsed(described_movie("pasp_4_4.mov", pasp(4, 4), {}));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.pixelAspectH, 1u);
        EXPECT_EQ(parsed.movie.pixelAspectV, 1u);
    }
    ParsedMovie parsed(described_movie("pasp_0_3.mov", pasp(0, 3), {}));
    ASSERT_EQ(parsed.error, "") << parsed.output;
    EXPECT_EQ(parsed.movie.pixelAspectH, 1u);
    EXPECT_NE(parsed.output.find("Warning : Invalid PASP (0 / 3)\n"), std::string::npos);
}

TEST(MovDescriptions, OwnMetadataAndAlphaAtoms) {
    {
        ParsedMovie parsed(described_movie("nrvu_ok.mov", {}, nrvu(1, 2, 1, 1920, 1080, 0, 0)));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_EQ(parsed.movie.metaPresent, 1);
        EXPECT_EQ(parsed.movie.metaVersion, 1);
        EXPECT_EQ(parsed.movie.alphaKind, 2);
        EXPECT_EQ(parsed.movie.displayWindowFlag, 1);
        EXPECT_EQ(parsed.movie.displayWidth, 1920u);
        EXPECT_EQ(parsed.movie.displayHeight, 1080u);
    }
    {
        Bytes udta = nrvu(2, 1, 0, 0, 0, 0, 0);
        append(udta, text_atom("NRVA", "straight"));
        ParsedMovie parsed(described_movie("nrvu_v2_nrva.mov", {}, udta));
        ASSERT_EQ(parsed.error, "") << parsed.output;
        EXPECT_NE(parsed.output.find("Invalid nrv version : 2\n"), std::string::npos);
        EXPECT_NE(parsed.output.find("Fail to read Nrv Metadata (invalid values), set a s unset\n"),
                  std::string::npos);
        EXPECT_EQ(parsed.movie.metaPresent, 1);
        EXPECT_EQ(parsed.movie.alphaKind, 2);
    }
    {
        // NRVU wins over NRVA in either order.
        for (bool nrva_first : {false, true}) {
            Bytes udta;
            if (nrva_first) append(udta, text_atom("NRVA", "straight"));
            append(udta, nrvu(1, 1, 0, 0, 0, 0, 0));
            if (!nrva_first) append(udta, text_atom("NRVA", "straight"));
            ParsedMovie parsed(described_movie("nrvu_nrva_" + std::to_string(nrva_first) + ".mov", {}, udta));
            EXPECT_EQ(parsed.movie.metaPresent, 1);
            EXPECT_EQ(parsed.movie.alphaKind, 1) << nrva_first;
        }
    }
    {
        ParsedMovie parsed(described_movie("nrvu_no_width.mov", {}, nrvu(1, 1, 1, 0, 1080, 0, 0)));
        EXPECT_EQ(parsed.movie.metaPresent, 0);
        EXPECT_NE(parsed.output.find("Invalid nrv crop : 0 x 1080\n"), std::string::npos);
    }
    {
        ParsedMovie parsed(described_movie("nrva_premult.mov", {}, text_atom("NRVA", "premultiply_black")));
        EXPECT_EQ(parsed.movie.metaPresent, 1);
        EXPECT_EQ(parsed.movie.alphaKind, 1);
    }
    {
        ParsedMovie parsed(described_movie("alfa_straight.mov", {}, alfa(0, 0)));
        EXPECT_EQ(parsed.movie.alfaMode, 3u);
    }
    {
        ParsedMovie parsed(described_movie("alfa_premult.mov", {}, alfa(1, 1)));
        EXPECT_EQ(parsed.movie.alfaMode, 2u);
    }
    {
        ParsedMovie parsed(described_movie("alfa_short.mov", {}, alfa(1, 1, 9)));
        EXPECT_EQ(parsed.movie.alfaMode, 0u);
        EXPECT_NE(parsed.output.find("Unknown size for alfa metadata : 9\n"), std::string::npos);
    }
}

TEST(MovDescriptions, PcmFormatOfMismatchedFlags) {
    struct Case {
        uint32_t bits, flags, pcm;
        const char* printed;
    };
    const Case cases[] = {
        {8, 4, AudioPcmCodec_None, "Mov Pcm : 8 bits PCM audio unsupported mode"},
        {16, 1, AudioPcmCodec_None, "Mov Pcm 16 bits PCM audio unsupported mode"},
        {24, 5, AudioPcmCodec_None, "Mov Pcm 24 bits PCM audio unsupported mode"},
        {32, 0, AudioPcmCodec_None, "Mov Pcm 32 bits PCM audio unsupported mode"},
        {32, 6, AudioPcmCodec_S32BE, ""},
        {64, 4, AudioPcmCodec_None, "64 bits PCM audio unsupported mode"},
        {12, 4, AudioPcmCodec_None, "Audio track PCM codec unsupported"},
    };
    for (const Case& c : cases) {
        MovAudioTrack track{};
        track.codec = mov_fourcc("lpcm");
        track.pcmSupported = 1;
        track.bitsPerSample = c.bits;
        track.pcmFlags = c.flags;
        testing::internal::CaptureStdout();
        EXPECT_EQ(MovFile::pcmFormat(&track), c.pcm) << c.bits << "/" << c.flags;
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
    }
}
