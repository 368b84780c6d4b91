#pragma once
// The offline chain as the analysis task runs it: reader steps of ten seconds into
// the R128 analyser with every option on. For the reader and analyser tests.
#include <gtest/gtest.h>

#include <string>

#include "audio/audio_reader.h"
#include "audio/loudness_analyser.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/audio_frame.h"
#include "tests/support/test_movies.h"

namespace loudness_test {

inline std::u16string u16(const std::string& text) { return std::u16string(text.begin(), text.end()); }
inline std::u16string fixture16(const std::string& name) { return u16(testsupport::fixture_path(name)); }

// A description with room for 4 WAV files and 64 entries, `frames` frames at 25 fps.
inline AudioReaderSources make_sources(uint32_t layout, uint32_t frames) {
    AudioReaderSources sources;
    audio_reader_sources_init(&sources, layout, 4, 64);
    sources.frameCount = frames;
    sources.rateNum = 25;
    sources.rateDen = 1;
    return sources;
}

// Routes channel c of a movie track to output channel first + c.
inline void route_movie_track(AudioReaderSources* sources, uint32_t track, uint32_t channels, uint32_t first) {
    for (uint32_t c = 0; c < channels; ++c) audio_source_addMovTrack(sources, track, c, uint64_t(1) << (first + c));
}

inline LoudnessResults measure(const AudioReaderSources& sources, uint64_t* delivered = nullptr) {
    AudioReader reader;
    AudioFrame frame;
    audio_frame_init(&frame);
    audio_reader_build(&reader, &sources, 10);
    audio_reader_alloc_out_frame(&frame, &reader);
    AudioAnalyserParams params{10, frame.channels, AudioPcmCodec_F32LE, 1, frame.frequency, 0, 0};
    const uint8_t options[R128Option_Count] = {1, 1, 1, 1, 1};
    AudioAnalyser* analyser = r128_analyser_create(&params, options);
    uint64_t total = 0;
    while (const uint64_t n = audio_reader_readNext(&reader, &frame)) {
        audio_analyser_process(analyser, &frame);
        total += n;
    }
    audio_analyser_finish(analyser);
    const LoudnessResults results = *analyser->results;
    audio_analyser_close(analyser);
    audio_reader_free(&reader);
    audio_frame_free_data(&frame);
    if (delivered) *delivered = total;
    return results;
}

}  // namespace loudness_test
