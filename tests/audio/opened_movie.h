#pragma once
// A movie opened the way the player opens it, with one audio source per track; the
// test says where each channel of a track goes.
#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "audio/audio_src_track.h"
#include "media/mov_file.h"

struct OpenedMovie {
    MovFile movie;
    explicit OpenedMovie(const std::string& path) {
        MovFile::init(&movie);
        const std::u16string wide(path.begin(), path.end());
        MovFile::parse(&movie, wide.c_str());
    }
    ~OpenedMovie() { MovFile::free(&movie); }
    OpenedMovie(const OpenedMovie&) = delete;
    OpenedMovie& operator=(const OpenedMovie&) = delete;

    // A new source for track `i` (the caller owns it); `mask_of(i, channel, channels)`
    // gives the output channels of each of its channels.
    template <typename MaskOf>
    AudioSrcTrack* track(uint32_t i, MaskOf mask_of) {
        const MovAudioTrack& t = movie.audioTracks[i];
        std::vector<uint64_t> masks(t.channels);
        for (uint32_t c = 0; c < t.channels; ++c) masks[c] = mask_of(i, c, t.channels);
        auto* source = new AudioSrcTrack(QStringLiteral("movie"), i, t.channels, t.frequency, MovFile::pcmFormat(&t),
                                         masks.data(), t.sampleCount);
        source->setMovieReader(&movie);
        return source;
    }
};
