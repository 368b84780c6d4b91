#include "audio/audio_demuxer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "base/pcm/audio_data.h"
#include "media/mov_file.h"
#include "media/wav_file.h"

namespace {

struct MovPcmTrackInfo {
    uint64_t position = 0;  // next sample
    uint64_t end = 0;       // sample after the last to read
    uint64_t block = 0;     // samples per read
    uint32_t codec = AudioPcmCodec_None;  // None: the track cannot be decoded
    uint32_t frequency = 0;
    uint32_t channels = 0;
    uint8_t planar = 0;
};

struct MovPcmReader {
    MovFile movie;
    std::vector<MovPcmTrackInfo> tracks;
    MovPcmReader() { MovFile::init(&movie); }
    ~MovPcmReader() {
        MovFile::closeFile(&movie);
        MovFile::free(&movie);
    }
};

struct WavReader {
    WavFile wav;
    uint64_t position = 0;
    uint64_t end = 0;
    uint64_t block = 0;
    uint32_t codec = AudioPcmCodec_None;
    WavReader() { WavFile::init(&wav); }
    ~WavReader() { WavFile::close(&wav); }
};

uint64_t round_samples(double value) { return value <= 0.0 ? 0 : uint64_t(std::llround(value)); }

// The checks every read makes of the frame it fills.
void check_out_frame(const AudioFrame* frame, uint32_t channels, uint32_t frequency, uint32_t codec, uint64_t block,
                     const char* spaceText) {
    if (frame->channels != channels) throw std::runtime_error("Invalid channels");
    if (frame->frequency != frequency) throw std::runtime_error("Invalid freq");
    if (frame->planeCount != 1) throw std::runtime_error("Invalid planar");
    if (frame->codec != codec) throw std::runtime_error("Invalid pcm fmt");
    if (frame->capacity < block) throw std::runtime_error(spaceText);
}

void mov_pcm_demuxer_read(AudioDemuxer* demuxer, AudioFrame* frame, uint32_t track) {
    auto* reader = static_cast<MovPcmReader*>(demuxer->reader);
    if (track >= reader->tracks.size()) throw std::runtime_error("Invalid track num");
    MovPcmTrackInfo& info = reader->tracks[track];
    if (info.codec == AudioPcmCodec_None) throw std::runtime_error("Invalid pcm data");
    check_out_frame(frame, info.channels, info.frequency, info.codec, info.block, "Not enough space out f mov pcm");
    audio_frame_reset_status(frame);
    frame->sampleCount = 0;
    if (info.position < info.end) {
        const uint64_t n = std::min(info.block, info.end - info.position);
        const uint64_t got = MovFile::readAudioLocked(&reader->movie, frame->planes[0], track, info.position, n);
        if (got != n)
            std::printf("WARNING : Invalid mov pcm read : %llu (expected : %llu)\n", (unsigned long long)got,
                        (unsigned long long)n);
        info.position += n;
        // What the file could not give is silence (the tail fill below).
        frame->sampleCount = uint32_t(std::min(got, n));
    }
    audio_frame_fill_silence_tail(frame);
}

void mov_pcm_demuxer_close(AudioDemuxer* demuxer) {
    delete static_cast<MovPcmReader*>(demuxer->reader);
    demuxer->reader = nullptr;
}

uint32_t mov_pcm_demuxer_create_out_frames(AudioDemuxer* demuxer, AudioFrameArray* frames, uint32_t tracks) {
    auto* reader = static_cast<MovPcmReader*>(demuxer->reader);
    const uint32_t n = std::min<uint32_t>(uint32_t(reader->tracks.size()), tracks);
    if (n == 0) throw std::runtime_error("No out audio track");
    audio_frame_array_new(frames, n);
    for (uint32_t t = 0; t < n; ++t) {
        const MovPcmTrackInfo& info = reader->tracks[t];
        // An unreadable track keeps an empty frame (no channels): nothing reads into it.
        if (info.codec == AudioPcmCodec_None) continue;
        audio_frame_alloc(frames->frames[t], info.codec, info.channels, info.frequency, false, uint32_t(info.block));
    }
    return n;
}

void wav_demuxer_read(AudioDemuxer* demuxer, AudioFrame* frame, uint32_t track) {
    auto* reader = static_cast<WavReader*>(demuxer->reader);
    if (track != 0) throw std::runtime_error("Invalid track num");
    if (frame->channels != reader->wav.channels) {
        std::printf("ERR : Invalid channels out frame input wav : %d (expected : %d)\n", int(frame->channels),
                    int(reader->wav.channels));
        throw std::runtime_error("Invalid channels input wav");
    }
    check_out_frame(frame, reader->wav.channels, reader->wav.frequency, reader->codec, reader->block,
                    "Not enough space out f wav");
    audio_frame_reset_status(frame);
    frame->sampleCount = 0;
    if (reader->position < reader->end) {
        const uint64_t n = std::min(reader->block, reader->end - reader->position);
        const uint64_t got = WavFile::readSamplesLocked(&reader->wav, frame->planes[0], reader->position, n);
        if (got != n)
            std::printf("WARNING : Invalid wav read : %llu (expected : %llu)\n", (unsigned long long)got,
                        (unsigned long long)n);
        reader->position += n;
        frame->sampleCount = uint32_t(std::min(got, n));
    }
    audio_frame_fill_silence_tail(frame);
}

void wav_demuxer_close(AudioDemuxer* demuxer) {
    delete static_cast<WavReader*>(demuxer->reader);
    demuxer->reader = nullptr;
}

uint32_t wav_demuxer_create_out_frames(AudioDemuxer* demuxer, AudioFrameArray* frames, uint32_t tracks) {
    auto* reader = static_cast<WavReader*>(demuxer->reader);
    if (tracks == 0) throw std::runtime_error("Invalid max audio tracks");
    audio_frame_array_new(frames, 1);
    audio_frame_alloc(frames->frames[0], reader->codec, reader->wav.channels, reader->wav.frequency, false,
                      uint32_t(reader->block));
    return 1;
}

}  // namespace

AudioDemuxer* audio_demuxer_new(uint32_t seconds, uint32_t kind) {
    auto* demuxer = new AudioDemuxer{};
    demuxer->kind = kind;
    demuxer->secondsPerRead = seconds == 0 ? 1 : seconds;
    return demuxer;
}

void audio_demuxer_free(AudioDemuxer* demuxer) noexcept {
    if (!demuxer) return;
    if (demuxer->close && demuxer->reader) demuxer->close(demuxer);
    delete demuxer;
}

void audio_demuxer_read(AudioDemuxer* demuxer, AudioFrame* frame, uint32_t track) {
    if (!demuxer || !demuxer->read) throw std::runtime_error("Invalid audio demuxer (NULL)");
    demuxer->read(demuxer, frame, track);
}

uint32_t audio_demuxer_create_out_frames(AudioDemuxer* demuxer, AudioFrameArray* frames, uint32_t tracks) {
    if (!demuxer || !demuxer->createOutFrames)
        throw std::runtime_error("Out frames creation not implemented for audio demuxer");
    return demuxer->createOutFrames(demuxer, frames, tracks);
}

AudioDemuxer* mov_pcm_demuxer_new(const MovPcmDemuxerParams* params, uint32_t seconds) {
    std::unique_ptr<AudioDemuxer, void (*)(AudioDemuxer*)> demuxer(
        audio_demuxer_new(seconds, AudioDemuxerKind_MovPcm), [](AudioDemuxer* d) { audio_demuxer_free(d); });
    auto* reader = new MovPcmReader;
    demuxer->reader = reader;
    demuxer->close = mov_pcm_demuxer_close;
    demuxer->read = mov_pcm_demuxer_read;
    demuxer->createOutFrames = mov_pcm_demuxer_create_out_frames;

    MovFile::parse(&reader->movie, params->path);
    if (reader->movie.audioTrackCount == 0) throw std::runtime_error("Can't find audio");

    double fps = reader->movie.fps;
    if (!params->useMovieRate) {
        if (params->rateNum == 0 || params->rateDen == 0) throw std::runtime_error("Invalid fps");
        fps = double(params->rateNum) / params->rateDen;
    }
    if (!(fps > 0.0)) throw std::runtime_error("Invalid fps");
    if (params->outFrame >= 0 && params->outFrame < int64_t(params->inFrame)) throw std::runtime_error("Invalid end f");

    reader->tracks.resize(reader->movie.audioTrackCount);
    for (uint32_t t = 0; t < reader->movie.audioTrackCount; ++t) {
        const MovAudioTrack& track = reader->movie.audioTracks[t];
        MovPcmTrackInfo& info = reader->tracks[t];
        info.codec = track.status == MovAudioStatus_Failed ? uint32_t(AudioPcmCodec_None) : MovFile::pcmFormat(&track);
        info.frequency = track.frequency;
        info.channels = track.channels;
        info.planar = 0;
        if (info.codec != AudioPcmCodec_None && (info.frequency == 0 || info.channels == 0 ||
                                                 info.channels > kAudioFrameMaxChannels)) {
            info.codec = AudioPcmCodec_None;
        }
        if (info.codec == AudioPcmCodec_None) {
            std::printf("INFO : Audio track %u can't be decoded\n", t);
            continue;
        }
        info.end = track.sampleCount;
        info.block = uint64_t(info.frequency) * demuxer->secondsPerRead;
        if (params->inFrame != 0) info.position = round_samples(info.frequency * double(params->inFrame) / fps);
        if (params->outFrame >= 0) {
            const uint64_t end = info.position + round_samples(info.frequency *
                                                               double(params->outFrame - params->inFrame + 1) / fps);
            if (end >= track.sampleCount)
                std::printf("Not enough samples in audio track mov pcm\n");
            else
                info.end = end;
        }
    }
    return demuxer.release();
}

uint32_t mov_pcm_demuxer_track_count(const AudioDemuxer* demuxer) {
    return uint32_t(static_cast<const MovPcmReader*>(demuxer->reader)->tracks.size());
}

bool mov_pcm_demuxer_track_readable(const AudioDemuxer* demuxer, uint32_t track) {
    const auto* reader = static_cast<const MovPcmReader*>(demuxer->reader);
    return track < reader->tracks.size() && reader->tracks[track].codec != AudioPcmCodec_None;
}

AudioDemuxer* wav_demuxer_new(const char16_t* path, double startSeconds, double endSeconds, uint32_t seconds) {
    std::unique_ptr<AudioDemuxer, void (*)(AudioDemuxer*)> demuxer(
        audio_demuxer_new(seconds, AudioDemuxerKind_Wav), [](AudioDemuxer* d) { audio_demuxer_free(d); });
    auto* reader = new WavReader;
    demuxer->reader = reader;
    demuxer->close = wav_demuxer_close;
    demuxer->read = wav_demuxer_read;
    demuxer->createOutFrames = wav_demuxer_create_out_frames;

    WavFile::open(&reader->wav, path);
    reader->codec = WavFile::checkFormat(&reader->wav);
    if (reader->codec == AudioPcmCodec_None) throw std::runtime_error("Invalid pcm data");
    if (reader->wav.channels == 0 || reader->wav.channels > kAudioFrameMaxChannels)
        throw std::runtime_error("Invalid channels input wav");
    reader->end = reader->wav.frameCount;
    reader->block = uint64_t(reader->wav.frequency) * demuxer->secondsPerRead;
    if (startSeconds > 0.0) reader->position = round_samples(reader->wav.frequency * startSeconds);
    if (endSeconds > 0.0) {
        const uint64_t end = round_samples(reader->wav.frequency * endSeconds);
        if (end > reader->wav.frameCount)
            std::printf("WARNING : Not enough sample, for end sample value\n");
        else
            reader->end = end;
    }
    return demuxer.release();
}
