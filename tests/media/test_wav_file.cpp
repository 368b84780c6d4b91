#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "media/wav_file.h"
#include "tests/support/test_movies.h"

namespace {

using testsupport::Bytes;

std::u16string to_u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// A WavFile that is closed however the test ends.
struct OpenedWav {
    WavFile wav;
    OpenedWav() { WavFile::init(&wav); }
    ~OpenedWav() { WavFile::close(&wav); }
    void open(const std::string& path) {
        const std::u16string wide = to_u16(path);
        WavFile::open(&wav, wide.c_str());
    }
};

std::string temp_dir() {
    static const std::string dir = [] {
        std::string pattern = testing::TempDir() + "wav_file_XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        return pattern;
    }();
    return dir;
}

std::string write_temp(const std::string& name, const Bytes& bytes) {
    const std::string path = temp_dir() + "/" + name;
    testsupport::write_whole_file(path, bytes);
    return path;
}

// Opens a file and returns the open's error text, or "no error"; what the walk
// printed goes to `printed`.
std::string open_error(const Bytes& bytes, std::string* printed = nullptr) {
    const std::string path = write_temp("case.wav", bytes);
    OpenedWav opened;
    testing::internal::CaptureStdout();
    const std::string error = error_of([&] { opened.open(path); });
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    return error;
}

void put_u16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put_u32(Bytes& b, uint32_t v) {
    put_u16(b, uint16_t(v));
    put_u16(b, uint16_t(v >> 16));
}
void put_u64(Bytes& b, uint64_t v) {
    put_u32(b, uint32_t(v));
    put_u32(b, uint32_t(v >> 32));
}

struct Chunk {
    std::string id;
    Bytes payload;
    int64_t sizeField = -1;  // the size written in the header; -1 for the payload's
};

// A RIFF/RF64 file made of the given chunks, each padded to even as writers do.
Bytes build_wav(const std::vector<Chunk>& chunks, const char* magic = "RIFF", const char* form = "WAVE") {
    Bytes b(magic, magic + 4);
    put_u32(b, 0);
    b.insert(b.end(), form, form + 4);
    for (const Chunk& c : chunks) {
        b.insert(b.end(), c.id.begin(), c.id.end());
        put_u32(b, c.sizeField >= 0 ? uint32_t(c.sizeField) : uint32_t(c.payload.size()));
        b.insert(b.end(), c.payload.begin(), c.payload.end());
        if (c.payload.size() % 2) b.push_back(0);
    }
    const uint32_t riff_size = uint32_t(b.size() - 8);
    std::memcpy(b.data() + 4, &riff_size, 4);
    return b;
}

Chunk fmt_chunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Chunk c{"fmt ", {}};
    put_u16(c.payload, tag);
    put_u16(c.payload, channels);
    put_u32(c.payload, rate);
    put_u32(c.payload, rate * channels * (bits / 8));
    put_u16(c.payload, uint16_t(channels * (bits / 8)));
    put_u16(c.payload, bits);
    return c;
}

Chunk fmt_extensible_chunk(uint16_t sub_format, uint16_t channels, uint32_t rate, uint16_t bits) {
    Chunk c = fmt_chunk(65534, channels, rate, bits);
    put_u16(c.payload, 22);
    put_u16(c.payload, bits);
    put_u32(c.payload, 0);
    put_u16(c.payload, sub_format);
    const uint8_t guid_tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    c.payload.insert(c.payload.end(), guid_tail, guid_tail + 14);
    return c;
}

Chunk ds64_chunk(uint64_t data_size, uint32_t table_length = 0) {
    Chunk c{"ds64", {}};
    put_u64(c.payload, 0);
    put_u64(c.payload, data_size);
    put_u64(c.payload, 0);
    put_u32(c.payload, table_length);
    return c;
}

Bytes counting_bytes(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + 1);
    return b;
}

Bytes slice(const Bytes& b, uint64_t offset, uint64_t size) {
    return Bytes(b.begin() + long(offset), b.begin() + long(offset + size));
}

struct FfmpegWav {
    const char* name;
    uint8_t isRf64;
    uint16_t channels;
    uint16_t bits;
    uint8_t isFloat;
    uint32_t frequency;
    AudioPcmCodec codec;
    uint16_t formatTag;    // the fmt tag FFmpeg wrote, to know which branch was exercised
    uint64_t dataOffset;   // checked by hand with a chunk dump
};

const FfmpegWav kFfmpegWavs[] = {
    {"wav_u8_stereo", 0, 2, 8, 0, 44100, AudioPcmCodec_U8, 1, 78},
    {"wav_s16_stereo", 0, 2, 16, 0, 48000, AudioPcmCodec_S16LE, 1, 78},
    {"wav_s24_96k_mono", 0, 1, 24, 0, 96000, AudioPcmCodec_S24LE, 65534, 102},
    {"wav_s32_stereo", 0, 2, 32, 0, 48000, AudioPcmCodec_S32LE, 65534, 102},
    {"wav_f32_stereo", 0, 2, 32, 1, 44100, AudioPcmCodec_F32LE, 65534, 114},
    {"wav_f64_mono", 0, 1, 64, 1, 48000, AudioPcmCodec_F64LE, 65534, 114},
    {"wav_s16_6ch", 0, 6, 16, 0, 48000, AudioPcmCodec_S16LE, 65534, 102},
    {"wav_rf64_f32_mono", 1, 1, 32, 1, 48000, AudioPcmCodec_F32LE, 65534, 150},
    {"wav_rf64_s16_stereo", 1, 2, 16, 0, 44100, AudioPcmCodec_S16LE, 1, 114},
};

}  // namespace

TEST(WavFileFfmpeg, FormatAndSamplesMatchFfmpegRawCopy) {
    for (const FfmpegWav& f : kFfmpegWavs) {
        SCOPED_TRACE(f.name);
        const std::string path = testsupport::fixture_path(std::string(f.name) + ".wav");
        const Bytes file = testsupport::read_whole_file(path);
        const Bytes raw = testsupport::read_whole_file(testsupport::fixture_path(std::string(f.name) + ".raw"));
        OpenedWav opened;
        opened.open(path);
        WavFile& w = opened.wav;

        EXPECT_EQ(w.isRf64, f.isRf64);
        EXPECT_EQ(w.channels, f.channels);
        EXPECT_EQ(w.bitsPerSample, f.bits);
        EXPECT_EQ(w.isFloat, f.isFloat);
        EXPECT_EQ(w.frequency, f.frequency);
        EXPECT_EQ(WavFile::checkFormat(&w), f.codec);
        EXPECT_EQ(w.fileSize, file.size());
        EXPECT_EQ(w.ds64TableLength, 0u);
        EXPECT_EQ(file[w.isRf64 ? 56 : 20] | file[w.isRf64 ? 57 : 21] << 8, f.formatTag);
        const uint64_t bpf = uint64_t(f.channels) * f.bits / 8;
        ASSERT_EQ(w.bytesPerFrame, bpf);
        EXPECT_EQ(w.dataSize, raw.size());
        EXPECT_EQ(w.dataOffset, f.dataOffset);
        ASSERT_EQ(w.frameCount, raw.size() / bpf);
        EXPECT_NEAR(w.durationSeconds, 0.1, 1e-6);

        const uint64_t n = w.frameCount;
        Bytes got(raw.size() + 64);
        const uint64_t starts[] = {0, 1, n / 3, n - 7, n - 1};
        const uint64_t counts[] = {n, 1, 517, 7, 10};
        for (int i = 0; i < 5; ++i) {
            const uint64_t expected = std::min(counts[i], n - starts[i]);
            const uint64_t copied = (i % 2) ? WavFile::readSamples(&w, got.data(), starts[i], counts[i])
                                            : WavFile::readSamplesLocked(&w, got.data(), starts[i], counts[i]);
            ASSERT_EQ(copied, expected) << "start " << starts[i];
            EXPECT_EQ(slice(got, 0, copied * bpf), slice(raw, starts[i] * bpf, copied * bpf)) << "start " << starts[i];
        }
        EXPECT_EQ(WavFile::readSamples(&w, got.data(), n - 1, 0), 0u);
        const std::string past = "Can't read samples (invalid start sample : " + std::to_string(n) +
                                 " ; Max samples count : " + std::to_string(n);
        EXPECT_EQ(error_of([&] { WavFile::readSamples(&w, got.data(), n, 1); }), past);
        EXPECT_EQ(error_of([&] { WavFile::readSamplesLocked(&w, got.data(), n, 1); }), past);
        // The lock is released when the exception passes, so the next read does not block.
        EXPECT_EQ(WavFile::readSamplesLocked(&w, got.data(), 0, 1), 1u);
    }
}

TEST(WavFileFfmpeg, LockedReadsFromSeveralThreadsStayExact) {
    const std::string path = testsupport::fixture_path("wav_s16_6ch.wav");
    const Bytes raw = testsupport::read_whole_file(testsupport::fixture_path("wav_s16_6ch.raw"));
    OpenedWav opened;
    opened.open(path);
    WavFile* w = &opened.wav;
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t + 1);
            Bytes got(raw.size());
            for (int i = 0; i < 300; ++i) {
                const uint64_t start = random() % w->frameCount;
                const uint64_t copied = WavFile::readSamplesLocked(w, got.data(), start, 1 + random() % 300);
                if (std::memcmp(got.data(), raw.data() + start * 12, copied * 12) != 0) ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(WavFileFfmpeg, DataLargerThanTheFileCountsOnlyPresentFrames) {
    const Bytes file = testsupport::read_whole_file(testsupport::fixture_path("wav_s24_96k_mono.wav"));
    const Bytes raw = testsupport::read_whole_file(testsupport::fixture_path("wav_s24_96k_mono.raw"));
    const std::string path = write_temp("cut.wav", slice(file, 0, file.size() - 1000));
    OpenedWav opened;
    opened.open(path);
    EXPECT_EQ(opened.wav.dataSize, 28800u);
    ASSERT_EQ(opened.wav.frameCount, 9266u);  // 27800 / 3, the last partial frame dropped
    Bytes got(30);
    EXPECT_EQ(WavFile::readSamples(&opened.wav, got.data(), 9260, 10), 6u);
    EXPECT_EQ(slice(got, 0, 18), slice(raw, 9260 * 3, 18));
}

TEST(WavFileHandMade, PlainFloatOddChunksAndDs64InRiff) {
    const Bytes samples = counting_bytes(40);
    // An odd-sized chunk before the data is followed by its pad byte.
    const Bytes f32 = build_wav({fmt_chunk(3, 2, 22050, 32), {"JUNK", {1, 2, 3}}, {"data", samples}});
    OpenedWav a;
    a.open(write_temp("f32.wav", f32));
    EXPECT_EQ(a.wav.isFloat, 1);
    EXPECT_EQ(WavFile::checkFormat(&a.wav), AudioPcmCodec_F32LE);
    EXPECT_EQ(a.wav.dataOffset, 12u + 24 + 12 + 8);
    EXPECT_EQ(a.wav.frameCount, 5u);
    EXPECT_NEAR(a.wav.durationSeconds, 5.0 / 22050, 1e-9);
    Bytes got(40);
    ASSERT_EQ(WavFile::readSamples(&a.wav, got.data(), 0, 100), 5u);
    EXPECT_EQ(got, samples);

    // Extensible with the float sub-format; the fmt chunk is longer than read.
    Chunk ext = fmt_extensible_chunk(3, 1, 8000, 64);
    ext.payload.insert(ext.payload.end(), 6, 0xEE);
    OpenedWav b;
    b.open(write_temp("f64.wav", build_wav({{"LIST", {9}}, ext, {"data", samples}})));
    EXPECT_EQ(WavFile::checkFormat(&b.wav), AudioPcmCodec_F64LE);
    EXPECT_EQ(b.wav.frameCount, 5u);
    ASSERT_EQ(WavFile::readSamples(&b.wav, got.data(), 4, 1), 1u);
    EXPECT_EQ(slice(got, 0, 8), slice(samples, 32, 8));

    // A ds64 chunk in a RIFF file is reported, and the RIFF data size still rules.
    OpenedWav c;
    testing::internal::CaptureStdout();
    c.open(write_temp("riffds64.wav", build_wav({ds64_chunk(4), fmt_chunk(1, 1, 8000, 16), {"data", samples}})));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING : DS64 chunk found in RIFF file\n");
    EXPECT_EQ(c.wav.frameCount, 20u);
}

TEST(WavFileHandMade, HeaderFaults) {
    const Bytes good = build_wav({fmt_chunk(1, 1, 8000, 16), {"data", counting_bytes(16)}});
    EXPECT_EQ(open_error(slice(good, 0, 43)), "Not enough bytes in wav file");
    EXPECT_EQ(open_error({}), "Not enough bytes in wav file");
    // 44 bytes pass the size test but hold a data chunk header only; 46 hold one frame.
    EXPECT_EQ(open_error(slice(good, 0, 44)), "Can't calculate data samples count");
    EXPECT_EQ(open_error(slice(good, 0, 46)), "no error");
    EXPECT_EQ(open_error(build_wav({fmt_chunk(1, 1, 8000, 16), {"data", counting_bytes(16)}}, "RIFX")),
              "Not a riff/rf64 file");
    EXPECT_EQ(open_error(build_wav({fmt_chunk(1, 1, 8000, 16), {"data", counting_bytes(16)}}, "RIFF", "AVI ")),
              "Not a wav file");
}

TEST(WavFileHandMade, FormatFaultsEndTheWalkAndSurfaceAsMissingFmt) {
    const Bytes data = counting_bytes(24);
    Chunk short_fmt = fmt_chunk(1, 1, 8000, 16);
    short_fmt.payload.resize(14);
    Chunk short_ext = fmt_extensible_chunk(1, 1, 8000, 16);
    short_ext.sizeField = 18;
    struct Case {
        Chunk fmt;
        const char* inner;
    } cases[] = {
        {short_fmt, "Invalid fmt chunk size"},
        {short_ext, "Invalid fmt wav extensible chunk size"},
        {fmt_extensible_chunk(2, 1, 8000, 16), "Unsupported audio format (WAV EXTENSIBLE)"},
        {fmt_chunk(2, 1, 8000, 16), "Unsupported audio format"},
        {fmt_chunk(1, 0, 8000, 16), "Invalid channels count (0)"},
        {fmt_chunk(1, 1, 0, 16), "Invalid frequency (0)"},
        {fmt_chunk(1, 1, 8000, 12), "Unsupported bits per sample : 12"},
        {fmt_chunk(3, 1, 8000, 4), "Unsupported bits per sample : 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inner);
        std::string printed;
        EXPECT_EQ(open_error(build_wav({c.fmt, {"data", data}}), &printed), "Can't find valid FMT Chunk");
        EXPECT_EQ(printed, std::string("WARNING : failed to parse chunk in WAV : ") + c.inner + "\n");
    }
}

TEST(WavFileHandMade, MissingOrInvalidChunks) {
    const Bytes data = counting_bytes(24);
    const Chunk fmt = fmt_extensible_chunk(1, 2, 48000, 16);
    std::string printed;

    EXPECT_EQ(open_error(build_wav({{"fmX ", fmt.payload}, {"data", data}})), "Can't find valid FMT Chunk");
    EXPECT_EQ(open_error(build_wav({fmt, {"JUNK", data}})), "Can't find valid DATA Chunk");
    EXPECT_EQ(open_error(build_wav({fmt, {"data", {1, 2, 3}}})), "Can't calculate data samples count");

    EXPECT_EQ(open_error(build_wav({ds64_chunk(24), fmt, {"data", data, 0xFFFFFFFF}}, "RF64")), "no error");
    EXPECT_EQ(open_error(build_wav({fmt, {"data", data}}, "RF64"), &printed), "Can't find valid DS64 Chunk");
    EXPECT_EQ(printed, "WARNING : failed to parse chunk in WAV : Invalid data chunk size in RF64\n");
    EXPECT_EQ(open_error(build_wav({ds64_chunk(0), fmt, {"data", data}}, "RF64"), &printed),
              "Can't find valid DATA Chunk");
    EXPECT_EQ(printed, "WARNING : failed to parse chunk in WAV : Invalid data chunk size in RF64\n");
    Chunk short_ds64 = ds64_chunk(24);
    short_ds64.payload.resize(20);
    EXPECT_EQ(open_error(build_wav({short_ds64, fmt, {"data", data}}, "RF64"), &printed),
              "Can't find valid DS64 Chunk");
    EXPECT_EQ(printed, "WARNING : failed to parse chunk in WAV : Invalid ds64 chunk size\n");
    EXPECT_EQ(open_error(build_wav({ds64_chunk(24, 1), fmt, {"data", data}}, "RF64"), &printed),
              "Can't find valid DS64 Chunk");
    EXPECT_EQ(printed, "WARNING : failed to parse chunk in WAV : RF64 file with chunk table unsupported\n");

    // A fmt chunk cut by the end of the file fails its read and ends the walk.
    Bytes cut = build_wav({{"data", data}, fmt});
    cut.resize(cut.size() - 30);
    EXPECT_EQ(open_error(cut, &printed), "Can't find valid FMT Chunk");
    EXPECT_EQ(printed, "WARNING : failed to parse chunk in WAV : Can't read value\n");
}

TEST(WavFileHandMade, HostileSizesNeitherLoopNorReadPastTheFile) {
    const Bytes data = counting_bytes(24);
    const Chunk fmt = fmt_chunk(1, 2, 48000, 16);
    // A chunk that claims more than the file ends the walk before fmt.
    EXPECT_EQ(open_error(build_wav({{"JUNK", {0}, 0xFFFFFFFF}, fmt, {"data", data}})), "Can't find valid FMT Chunk");

    // 64-bit data sizes near the top of the range: the next chunk offset would wrap
    // (back onto the same chunk for 2^64 - 8), which must end the walk, not loop.
    for (uint64_t size : {0xFFFFFFFFFFFFFFF8ull, 0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFF0ull, 0x7FFFFFFFFFFFFFFFull}) {
        SCOPED_TRACE(size);
        OpenedWav opened;
        opened.open(write_temp("huge.wav", build_wav({ds64_chunk(size), fmt, {"data", data, 0xFFFFFFFF}}, "RF64")));
        EXPECT_EQ(opened.wav.dataSize, size);
        ASSERT_EQ(opened.wav.frameCount, 6u);
        Bytes got(24);
        EXPECT_EQ(WavFile::readSamples(&opened.wav, got.data(), 0, ~0ull), 6u);
        EXPECT_EQ(got, data);
    }

    // A RIFF data size of 0xFFFFFFFF (a file written to a pipe) counts the bytes present.
    OpenedWav streamed;
    streamed.open(write_temp("streamed.wav", build_wav({fmt, {"data", data, 0xFFFFFFFF}})));
    EXPECT_EQ(streamed.wav.frameCount, 6u);
}

TEST(WavFileHandMade, EveryTruncationAndByteChangeIsHandled) {
    const Bytes good =
        build_wav({ds64_chunk(30), fmt_extensible_chunk(1, 3, 44100, 16), {"LIST", {5, 6, 7}}, {"data", counting_bytes(30), 0xFFFFFFFF}},
                  "RF64");
    const std::string path = temp_dir() + "/mutant.wav";
    int opened_count = 0;
    auto try_open = [&](const Bytes& bytes) {
        testsupport::write_whole_file(path, bytes);
        OpenedWav opened;
        try {
            opened.open(path);
        } catch (const std::runtime_error&) {
            return;
        }
        ++opened_count;
        const WavFile& w = opened.wav;
        ASSERT_GT(w.bytesPerFrame, 0u);
        ASSERT_LE(w.dataOffset + w.frameCount * w.bytesPerFrame, bytes.size());
        Bytes got(w.frameCount * w.bytesPerFrame);
        ASSERT_EQ(WavFile::readSamples(&opened.wav, got.data(), 0, w.frameCount), w.frameCount);
        EXPECT_EQ(0, std::memcmp(got.data(), bytes.data() + w.dataOffset, got.size()));
    };
    testing::internal::CaptureStdout();
    for (size_t length = 0; length <= good.size(); ++length) try_open(slice(good, 0, length));
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(good[i] ^ 0x01), uint8_t(0x80)}) {
            Bytes mutant = good;
            mutant[i] = value;
            try_open(mutant);
        }
    }
    testing::internal::GetCapturedStdout();
    EXPECT_GT(opened_count, 0);
}

TEST(WavFileOpen, OpenFailuresAndCloseOnPartialRecords) {
    const std::string missing = temp_dir() + "/missing.wav";
    EXPECT_EQ(error_of([&] {
                  OpenedWav opened;
                  opened.open(missing);
              }),
              "Can't open file for read : " + missing + ". Error : 2. No such file or directory");

    WavFile w;
    WavFile::init(&w);
    const char16_t lone_surrogate[] = {u'/', 0xD800, u'x', 0};
    EXPECT_EQ(error_of([&] { WavFile::open(&w, lone_surrogate); }),
              "Can't open file for read : Unknown filepath . Error : 22. Invalid argument");
    WavFile::close(&w);
    WavFile::close(&w);  // a second close is harmless
    EXPECT_EQ(w.file, nullptr);
    EXPECT_EQ(w.path, nullptr);
    EXPECT_EQ(w.readMutex, nullptr);

    EXPECT_THROW(WavFile::open(&w, nullptr), std::bad_alloc);
    WavFile::close(&w);

    // A record that never opened refuses reads instead of touching a missing stream.
    WavFile::init(&w);
    uint8_t byte;
    EXPECT_EQ(error_of([&] { WavFile::readSamplesLocked(&w, &byte, 0, 1); }),
              "Can't read samples (invalid start sample : 0 ; Max samples count : 0");
    WavFile::close(&w);

    if (geteuid() != 0) {  // root opens any file
        const std::string locked = write_temp("locked.wav", Bytes(64, 0));
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        EXPECT_EQ(error_of([&] {
                      OpenedWav opened;
                      opened.open(locked);
                  }),
                  "Can't open file for read : (Permission Denied) : " + locked);
    }
}

TEST(WavFileCheckFormat, CodecOfEveryDepth) {
    WavFile w;
    WavFile::init(&w);
    struct Case {
        uint8_t isFloat;
        uint16_t bits;
        AudioPcmCodec codec;
        const char* printed;
    } cases[] = {
        {0, 8, AudioPcmCodec_U8, ""},
        {0, 16, AudioPcmCodec_S16LE, ""},
        {0, 24, AudioPcmCodec_S24LE, ""},
        {0, 32, AudioPcmCodec_S32LE, ""},
        {0, 64, AudioPcmCodec_None, "ERROR : Unsupported wav quantification int 64 bits"},
        {0, 40, AudioPcmCodec_None, "ERROR : Unsupported wav quantification int 40 bits"},
        {1, 32, AudioPcmCodec_F32LE, ""},
        {1, 64, AudioPcmCodec_F64LE, ""},
        {1, 16, AudioPcmCodec_None, "ERROR : Unsupported wav quantification float 16 bits"},
        {1, 24, AudioPcmCodec_None, "ERROR : Unsupported wav quantification float 24 bits"},
    };
    for (const Case& c : cases) {
        w.isFloat = c.isFloat;
        w.bitsPerSample = c.bits;
        testing::internal::CaptureStdout();
        EXPECT_EQ(WavFile::checkFormat(&w), c.codec) << c.bits;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
}
