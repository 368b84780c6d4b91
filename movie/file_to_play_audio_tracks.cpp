// The movie's PCM tracks as audio sources: the channel routing each one starts with and
// the sample coding the engine reads it as.
#include <QDebug>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "base/pcm/audio_data.h"
#include "audio/audio_src_track.h"
#include "movie/file_to_play.h"

namespace {

// The engine's codec for a movie track, AudioPcmCodec_None when it cannot be decoded.
uint32_t movie_track_pcm_codec(const MovAudioTrack& track) {
    if (track.pcmSupported != 1 || !mov_is_pcm_codec(track.codec)) return AudioPcmCodec_None;
    const uint32_t kind = track.pcmFlags & (MovPcmFlag_Signed | MovPcmFlag_Float);
    const bool is_signed = kind == MovPcmFlag_Signed;
    const bool is_float = kind == MovPcmFlag_Float;
    const bool big_endian = (track.pcmFlags & MovPcmFlag_BigEndian) != 0;
    switch (track.bitsPerSample) {
        case 8:
            if (kind == 0) return AudioPcmCodec_U8;
            qDebug("8 bits PCM audio unsupported mode");
            return AudioPcmCodec_None;
        case 16:
            if (is_signed) return big_endian ? AudioPcmCodec_S16BE : AudioPcmCodec_S16LE;
            qDebug("16 bits PCM audio unsupported mode");
            return AudioPcmCodec_None;
        case 24:
            if (is_signed) return big_endian ? AudioPcmCodec_S24BE : AudioPcmCodec_S24LE;
            qDebug("24 bits PCM audio unsupported mode");
            return AudioPcmCodec_None;
        case 32:
            if (is_signed) return big_endian ? AudioPcmCodec_S32BE : AudioPcmCodec_S32LE;
            if (is_float) return big_endian ? AudioPcmCodec_F32BE : AudioPcmCodec_F32LE;
            qDebug("32 bits PCM audio unsupported mode");
            return AudioPcmCodec_None;
        case 64:
            if (is_float) return big_endian ? AudioPcmCodec_F64BE : AudioPcmCodec_F64LE;
            qDebug("64 bits PCM audio unsupported mode");
            return AudioPcmCodec_None;
        default: std::printf("Audio track PCM codec unsupported\n"); return AudioPcmCodec_None;
    }
}

// Output channels each of the first `count` source channels feeds at first: from the
// `chan` labels when the movie has them (centre 42 goes to both front channels), else
// in order.
std::vector<uint64_t> movie_track_masks(const MovAudioTrack& track, uint32_t count) {
    std::vector<uint64_t> masks(count, 0);
    for (uint32_t i = 0; i < count; ++i) {
        if (track.channelLabels) {
            const uint32_t label = track.channelLabels[i];
            if (label == 42)
                masks[i] = 3;
            else if (label >= 1 && label <= 6)
                masks[i] = uint64_t(1) << (label - 1);
            else if (label == 33)
                masks[i] = 64;
            else if (label == 34)
                masks[i] = 128;
            else
                masks[i] = i < 8 ? uint64_t(1) << i : 0;
        } else if (track.channels == 1) {
            masks[i] = 3;
        } else {
            masks[i] = i < 6 ? uint64_t(1) << i : 0;
        }
    }
    return masks;
}

}  // namespace

QList<AudioSrcTrack*> FileToPlay::createAudioTracks() {
    QList<AudioSrcTrack*> tracks;
    const QString name = filePath();
    for (uint32_t i = 0; i < m_movie.audioTrackCount; ++i) {
        const MovAudioTrack& track = m_movie.audioTracks[i];
        try {
            const uint32_t codec = movie_track_pcm_codec(track);
            // The parser refuses a decodable track above the source's channel limit, so
            // only a listed-only track meets the cap: it keeps the first channels, as no
            // per-channel array may grow with a count the file merely declares.
            const uint32_t channels = std::min(track.channels, kAudioSrcMaxChannels);
            const std::vector<uint64_t> masks = movie_track_masks(track, channels);
            if (codec != AudioPcmCodec_None && track.sampleCount != 0 && channels == track.channels) {
                auto* source =
                    new AudioSrcTrack(name, i, channels, track.frequency, codec, masks.data(), track.sampleCount);
                source->setMovieReader(&m_movie);
                tracks.append(source);
            } else {
                tracks.append(new AudioSrcTrack(name, i, channels, track.frequency, track.codec, masks.data()));
            }
        } catch (const std::bad_alloc&) {
            // A channel count too large to route: the track is left out rather than
            // the whole list lost.
            qWarning("Memory error creating audio track %u", i);
        }
    }
    return tracks;
}
