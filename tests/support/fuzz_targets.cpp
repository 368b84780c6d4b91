#include "tests/support/fuzz_targets.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <stdexcept>
#include <vector>

#include "media/hap_decoder.h"
#include "media/hap_frame.h"
#include "media/mov_file.h"
#include "media/wav_file.h"

namespace testsupport {

namespace {

// One scratch file per process, rewritten for each input.
std::string write_scratch(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/hap_player_fuzz_" + std::to_string(getpid()) + ".bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

std::u16string wide(const std::string& path) { return std::u16string(path.begin(), path.end()); }

}  // namespace

int fuzz_hap_decode(const uint8_t* data, size_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) return 0;
    // An exact-size copy, so any read past the frame is caught by the sanitizer.
    const std::vector<uint8_t> frame(data, data + size);
    const auto frame_size = static_cast<uint32_t>(size);
    std::vector<uint8_t> out(1 << 16);
    for (uint32_t texture = 0; texture < 2; ++texture) {
        for (HapDecodeCallback callback : {hap_decode_callback_serial, HapDecodeCallback_MultiThread}) {
            uint32_t used = 0, format = 0;
            HapDecode(frame.data(), frame_size, texture, callback, nullptr, out.data(), uint32_t(out.size()), &used,
                      &format);
        }
        uint32_t chunks = 0, format = 0;
        HapGetFrameTextureChunkCount(frame.data(), frame_size, texture, &chunks);
        HapGetFrameTextureFormat(frame.data(), frame_size, texture, &format);
    }
    HapFrame parsed;
    try {
        hap_frame_init_from_memory(&parsed, 64, 64, frame.data(), frame.size());
    } catch (const std::runtime_error&) {
    }
    return 0;
}

bool mov_parse_and_read(const std::string& path) {
    MovFile movie;
    MovFile::init(&movie);
    bool parsed = true;
    try {
        MovFile::parse(&movie, wide(path).c_str());
        std::vector<uint8_t> buffer;
        for (uint32_t t = 0; t < movie.audioTrackCount; ++t) {
            const MovAudioTrack& track = movie.audioTracks[t];
            if (!track.pcmSupported || track.bytesPerFrame == 0 || track.bytesPerFrame > 4096) continue;
            const uint64_t count = std::min<uint64_t>(track.sampleCount, 3000);
            buffer.resize(count * track.bytesPerFrame);
            try {
                MovFile::readAudioLocked(&movie, buffer.data(), t, 0, count);
            } catch (const std::exception&) {
            }
        }
        (void)MovFile::averageByteRate(&movie);
    } catch (const std::exception&) {
        parsed = false;
    }
    MovFile::closeFile(&movie);
    MovFile::free(&movie);
    return parsed;
}

int fuzz_mov_parse(const uint8_t* data, size_t size) {
    const std::string path = write_scratch(data, size);
    if (!path.empty()) mov_parse_and_read(path);
    return 0;
}

bool wav_open_and_read(const std::string& path) {
    WavFile wav;
    WavFile::init(&wav);
    bool opened = true;
    try {
        WavFile::open(&wav, wide(path).c_str());
        if (wav.frameCount > 0 && wav.bytesPerFrame > 0 && wav.bytesPerFrame <= 4096) {
            std::vector<uint8_t> buffer(wav.bytesPerFrame * 64);
            WavFile::readSamplesLocked(&wav, buffer.data(), 0, 64);
            WavFile::readSamples(&wav, buffer.data(), wav.frameCount - 1, 64);
        }
    } catch (const std::exception&) {
        opened = false;
    }
    WavFile::close(&wav);
    return opened;
}

int fuzz_wav_open(const uint8_t* data, size_t size) {
    const std::string path = write_scratch(data, size);
    if (!path.empty()) wav_open_and_read(path);
    return 0;
}

}  // namespace testsupport
