#include "tests/support/fuzz_targets.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <stdexcept>
#include <vector>

#include <QList>
#include <QString>

#include "audio/audio_src_track.h"
#include "media/block_decoders.h"
#include "media/hap_decoder.h"
#include "media/hap_file_checker.h"
#include "media/hap_frame.h"
#include "media/mov_file.h"
#include "movie/file_to_play.h"
#include "media/video_frame.h"
#include "media/wav_file.h"

namespace testsupport {

namespace {

// One scratch file per process and suffix, rewritten for each input.
std::string write_scratch(const uint8_t* data, size_t size, const char* suffix = ".bin") {
    const std::string path = "/tmp/hap_player_fuzz_" + std::to_string(getpid()) + suffix;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return {};
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

std::u16string wide(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// Frames read and decoded per movie, and frames checked: the checker starts a thread
// per frame, and its first two batches already use both halves of its slots.
constexpr uint32_t kExercisedFrames = 64;
constexpr uint32_t kCheckedFrames = 16;
// Pictures beyond this many pixels are opened but neither decoded nor checked: a movie
// whose frames are that large is entitled to its texture slots, and sixteen checker
// slots of them would pass the fuzzer's memory limit on their own.
constexpr uint64_t kExercisedPixels = 4096 * 4096;

void decode_frames(FileToPlay& movie) {
    VideoFrame frame;
    try {
        dxt_frame_alloc(&frame, movie.width(), movie.height(), movie.hapTextureFormat());
    } catch (const std::exception&) {
        return;
    }
    BlockDecoder decoder;
    const int32_t format = block_decoder_format_for_hap_codec(frame.data_format - VideoDataFormat_Hap1);
    BlockDecoder::init(&decoder, uint16_t(frame.width), uint16_t(frame.height), format, 0, 0, 1);
    const std::ptrdiff_t stride = std::ptrdiff_t(frame.allocated_width) * 4;
    std::vector<uint8_t> rgba(size_t(stride) * frame.allocated_height);
    const uint32_t frames = std::min(movie.frameCount(), kExercisedFrames);
    for (uint32_t i = 0; i < frames; ++i) {
        if (movie.readFrame(i, &frame)) BlockDecoder::decode(&decoder, frame.planes[0], frame.planes[1], rgba.data(), stride);
    }
    video_frame_free_planes(&frame);
    VideoFrame compressed;
    movie.readCompressedFrame(frames - 1, &compressed);
    video_frame_free_planes(&compressed);
}

void read_audio(FileToPlay& movie) {
    const QList<AudioSrcTrack*> tracks = movie.createAudioTracks();
    std::vector<uint8_t> buffer;
    for (AudioSrcTrack* track : tracks) {
        (void)track->descriptorText();
        (void)track->channelMaskUnion();
        (void)track->channelMapping(int(track->channels()) - 1);
        const uint64_t frame_bytes = audio_src_track_descriptor_frame_bytes(track->descriptor());
        if (!track->isPlayable() || frame_bytes == 0) continue;
        constexpr uint32_t kFrames = 256;
        buffer.resize(frame_bytes * kFrames);
        track->readForward(buffer.data(), 0, kFrames, true);
        track->readForward(buffer.data(), track->totalSamples() - 1, kFrames, false);
        track->readReverse(buffer.data(), track->totalSamples(), kFrames, true);
    }
    qDeleteAll(tracks);
}

// The file test task's order over the first two batches.
void check_frames(const std::string& path) {
    HapFileChecker checker;
    try {
        hap_file_checker_open(&checker, wide(path).c_str());
        uint32_t first = 0;
        for (;;) {
            hap_file_checker_join_current(&checker, &first);
            if (checker.nextFrame >= kCheckedFrames || hap_file_checker_read_batch(&checker) == 0) break;
            hap_file_checker_start_batch(&checker);
        }
        hap_file_checker_swap_and_join(&checker, &first);
    } catch (const std::exception&) {
    }
    hap_file_checker_release(&checker);
}

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

bool file_to_play_exercise(const std::string& path) {
    bool opened = false;
    bool decodable = false;
    {
        FileToPlay movie(QString::fromStdString(path));
        opened = movie.errorText().isEmpty();
        (void)movie.codecText();
        (void)movie.alphaText();
        (void)movie.sizeText();
        (void)movie.warningsText();
        (void)movie.timecodeStartText();
        (void)movie.bitrateText(true);
        (void)movie.codecBitrateText(false);
        (void)movie.durationSeconds();
        const uint64_t pixels = uint64_t(movie.width()) * movie.height();
        decodable = movie.isHapCodec() && movie.frameCount() > 0 && pixels > 0 && pixels <= kExercisedPixels;
        if (decodable) decode_frames(movie);
        read_audio(movie);
    }
    if (decodable) check_frames(path);
    return opened;
}

int fuzz_file_to_play(const uint8_t* data, size_t size) {
    const std::string path = write_scratch(data, size, ".mov");
    if (!path.empty()) file_to_play_exercise(path);
    return 0;
}

}  // namespace testsupport
