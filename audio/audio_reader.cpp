#include "audio/audio_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "audio/audio_demuxer.h"
#include "audio/audio_filter.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/channel_layouts.h"

// One opened file: its demuxer, one frame per track (empty for a track that cannot
// be decoded) and the frequency filter of each readable track.
struct AudioReaderSource {
    AudioDemuxer* demuxer = nullptr;
    uint32_t fileIndex = 0;
    uint32_t trackCount = 0;
    AudioFilterPool pool{};
    AudioFrameArray frames{};
    std::vector<AudioFilter*> filters;  // per track; null for an unreadable track

    ~AudioReaderSource() {
        audio_filter_pool_free(&pool);
        audio_frame_array_free(&frames);
        audio_demuxer_free(demuxer);
    }
};

namespace {

bool mask_in_layout(uint64_t mask, uint32_t layout) {
    const uint32_t channels = audio_layout_channel_count(layout);
    if (channels == 0) return false;
    const uint64_t layoutMask = channels >= 64 ? ~uint64_t(0) : (uint64_t(1) << channels) - 1;
    return (mask & layoutMask) != 0;
}

void add_entry(AudioReaderSources* sources, const AudioMapEntry& entry) {
    if (sources->entries.size() >= sources->entryCapacity)
        throw std::runtime_error("Not enough space for audio track info mov");
    sources->entries.push_back(entry);
}

bool has_entry_for_file(const AudioReader* reader, uint32_t file) {
    return std::any_of(reader->entries.begin(), reader->entries.end(),
                       [file](const AudioMapEntry& e) { return e.file == file; });
}

uint64_t mask_of(const AudioReader* reader, uint32_t file, uint32_t track, uint32_t channel) {
    for (const AudioMapEntry& e : reader->entries)
        if (e.file == file && e.track == track && e.channel == channel) return e.mask;
    return 0;
}

// One frequency filter per readable track frame: to float planar at the output rate.
void audio_reader_source_filters(AudioReaderSource* source, const AudioReader* reader) {
    if (source->frames.count == 0) throw std::runtime_error("No tracks");
    audio_filter_pool_init(&source->pool, source->frames.count);
    source->filters.assign(source->frames.count, nullptr);
    for (uint32_t t = 0; t < source->frames.count; ++t) {
        const AudioFrame* frame = source->frames.frames[t];
        if (frame->channels == 0) continue;
        AudioFrequencyParams params{};
        params.secondsPerProcess = reader->secondsPerStep;
        params.channels = frame->channels;
        params.inCodec = frame->codec;
        params.inPlanar = frame->planar;
        params.inFrequency = frame->frequency;
        params.outCodec = AudioPcmCodec_F32LE;
        params.outPlanar = 1;
        params.outFrequency = reader->frequency;
        params.dualStereo = 0;
        AudioFilter* filter = audio_filter_frequency_new(&params);
        try {
            audio_filter_pool_add(&source->pool, filter);
        } catch (...) {
            audio_filter_free(filter);
            throw;
        }
        source->filters[t] = filter;
    }
}

void build_movie_source(AudioReader* reader, const AudioReaderSources* sources) {
    int64_t highest = -1;
    for (const AudioMapEntry& e : reader->entries)
        if (e.file == 0) highest = std::max<int64_t>(highest, e.track);
    if (highest < 0) {
        std::printf("INFO : No audio track to read in mov\n");
        return;
    }
    auto* source = new AudioReaderSource;
    reader->sources.push_back(source);
    source->fileIndex = 0;
    MovPcmDemuxerParams params{};
    params.path = sources->movPath.c_str();
    params.useMovieRate = 0;
    params.rateNum = reader->rateNum;
    params.rateDen = reader->rateDen;
    params.inFrame = reader->inFrame < 0 ? 0 : uint32_t(reader->inFrame);
    params.outFrame = reader->outFrame < 0 ? -1 : reader->outFrame;
    source->demuxer = mov_pcm_demuxer_new(&params, reader->secondsPerStep);
    source->trackCount =
        audio_demuxer_create_out_frames(source->demuxer, &source->frames, uint32_t(highest) + 1);
    // A track that cannot be decoded only matters when something of it is routed.
    for (const AudioMapEntry& e : reader->entries) {
        if (e.file != 0) continue;
        if (e.track >= source->trackCount) {
            std::printf("WARNING : Audio track not in mov : %u\n", e.track);
            continue;
        }
        if (!mov_pcm_demuxer_track_readable(source->demuxer, e.track)) {
            std::printf("ERR : Routed audio track can't be decoded : %u\n", e.track);
            throw std::runtime_error("Invalid pcm data");
        }
    }
    audio_reader_source_filters(source, reader);
}

void build_wav_sources(AudioReader* reader, const AudioReaderSources* sources) {
    for (uint32_t k = 0; k < sources->wavPaths.size(); ++k) {
        const uint32_t file = k + 1;
        if (!has_entry_for_file(reader, file)) {
            std::printf("INFO : No audio track to read in wav\n");
            continue;
        }
        auto* source = new AudioReaderSource;
        reader->sources.push_back(source);
        source->fileIndex = file;
        const double start = reader->inFrame > 0 ? reader->windowStart : 0.0;
        const double end = reader->outFrame >= 0 ? reader->windowEnd : -1.0;
        source->demuxer = wav_demuxer_new(sources->wavPaths[k].c_str(), start, end, reader->secondsPerStep);
        source->trackCount = audio_demuxer_create_out_frames(source->demuxer, &source->frames, 1);
        audio_reader_source_filters(source, reader);
    }
}

void build_mapping(AudioReader* reader) {
    std::vector<uint64_t> masks;
    uint32_t inputs = 0;
    for (const AudioReaderSource* source : reader->sources) {
        for (uint32_t t = 0; t < source->frames.count; ++t) {
            const AudioFrame* frame = source->frames.frames[t];
            if (!source->filters[t]) continue;
            ++inputs;
            for (uint32_t c = 0; c < frame->channels; ++c) masks.push_back(mask_of(reader, source->fileIndex, t, c));
        }
    }
    if (inputs == 0) throw std::runtime_error("No tracks");
    AudioMappingParams params{};
    params.samplesPerProcess = reader->frequency * reader->secondsPerStep;
    params.frequency = reader->frequency;
    params.inputCount = inputs;
    params.inputChannels = uint32_t(masks.size());
    params.outputChannels = audio_layout_channel_count(reader->layout);
    params.masks = masks.data();
    if (params.outputChannels == 0) throw std::runtime_error("Invalid layout");
    reader->mapping = audio_filter_mapping_new(&params);
}

}  // namespace

void audio_reader_sources_init(AudioReaderSources* sources, uint32_t layout, uint32_t wavCapacity,
                               uint32_t entryCapacity) {
    *sources = AudioReaderSources{};
    sources->layout = layout;
    sources->wavCapacity = wavCapacity;
    sources->entryCapacity = entryCapacity;
    sources->wavPaths.reserve(wavCapacity);
    sources->entries.reserve(entryCapacity);
}

void audio_source_setMovFile(AudioReaderSources* sources, const char16_t* path) {
    if (sources->hasMovPath) throw std::runtime_error("input mov file already set");
    if (!path) throw std::runtime_error("invalid mov file path");
    sources->movPath = path;
    sources->hasMovPath = true;
}

void audio_source_addMovTrack(AudioReaderSources* sources, uint32_t track, uint32_t channel, uint64_t mask) {
    if (!mask_in_layout(mask, sources->layout)) return;
    add_entry(sources, AudioMapEntry{0, track, channel, mask});
}

void audio_source_addWavFile(AudioReaderSources* sources, const char16_t* path) {
    if (sources->wavPaths.size() >= sources->wavCapacity) throw std::runtime_error("Not enough space for wav file");
    if (!path) throw std::runtime_error("invalid mov file path");
    sources->wavPaths.emplace_back(path);
}

void audio_source_mapWavTrack(AudioReaderSources* sources, uint32_t channel, uint64_t mask) {
    if (sources->wavPaths.empty()) throw std::runtime_error("No wav file assigned");
    if (!mask_in_layout(mask, sources->layout)) {
        std::printf("Wav track ignore by mapping : Channel : %u\n", channel);
        return;
    }
    add_entry(sources, AudioMapEntry{uint32_t(sources->wavPaths.size()), 0, channel, mask});
}

uint32_t audio_reader_file_count(const AudioReaderSources* sources) {
    uint32_t highest = 0;
    for (const AudioMapEntry& e : sources->entries) highest = std::max(highest, e.file);
    return highest + 1;
}

void audio_reader_build(AudioReader* reader, const AudioReaderSources* sources, uint32_t secondsPerStep) {
    audio_reader_free(reader);
    if (secondsPerStep == 0) throw std::runtime_error("Invalid nb sec output");
    if (sources->frameCount == 0) throw std::runtime_error("Invalid video duration for audio reader (zero)");
    if (sources->rateNum == 0 || sources->rateDen == 0) throw std::runtime_error("Invalid fps");
    reader->frequency = sources->frequency;
    reader->secondsPerStep = secondsPerStep;
    reader->layout = sources->layout;
    reader->frameCount = sources->frameCount;
    reader->rateNum = sources->rateNum;
    reader->rateDen = sources->rateDen;
    reader->inFrame = sources->inFrame;
    reader->outFrame = sources->outFrame;

    const double fps = double(sources->rateNum) / sources->rateDen;
    double start = 0.0;
    double end = sources->frameCount / fps;
    if (sources->inFrame > 0) start = sources->inFrame / fps;
    // Only -1 leaves the out point unset: frame 0 is a real out point.
    if (sources->outFrame >= 0) {
        const double out = (double(sources->outFrame) + 1.0) / fps;
        if (out <= end)
            end = out;
        else
            std::printf("Out of range out point sec\n");
    }
    const double duration = end - start;
    if (duration <= 0.0) {
        std::printf(
            "ERROR : Invalid audio duration : In Point : %d ; Out Point : %d : In Sec : %.2f, OutSec : %.2f ; Duration "
            "Out : %.2f\n",
            int(sources->inFrame), int(sources->outFrame), start, end, duration);
        throw std::runtime_error("Invalid audio duration");
    }
    reader->windowStart = start;
    reader->windowEnd = end;
    reader->totalSamples = uint64_t(std::llround(double(sources->frequency) * duration));
    reader->producedSamples = 0;
    if (sources->entries.empty()) throw std::runtime_error("No audio track info\n");
    reader->entries = sources->entries;

    try {
        if (sources->hasMovPath) build_movie_source(reader, sources);
        build_wav_sources(reader, sources);
        build_mapping(reader);
    } catch (...) {
        audio_reader_free(reader);
        throw;
    }
}

void audio_reader_alloc_out_frame(AudioFrame* frame, const AudioReader* reader) {
    if (reader->secondsPerStep == 0) throw std::runtime_error("Invalid nb sec out");
    audio_frame_alloc(frame, AudioPcmCodec_F32LE, audio_layout_channel_count(reader->layout), reader->frequency, true,
                      reader->frequency * reader->secondsPerStep);
    frame->sampleCount = 0;
}

uint64_t audio_reader_readNext(AudioReader* reader, AudioFrame* frame) {
    if (!reader->mapping) throw std::runtime_error("Invalid audio reader");
    if (reader->producedSamples >= reader->totalSamples) {
        frame->sampleCount = 0;
        return 0;
    }
    uint32_t input = 0;
    for (AudioReaderSource* source : reader->sources) {
        for (uint32_t t = 0; t < source->frames.count; ++t) {
            AudioFilter* filter = source->filters[t];
            if (!filter) continue;
            audio_demuxer_read(source->demuxer, source->frames.frames[t], t);
            filter->inputs[0] = source->frames.frames[t];
            audio_filter_process(filter);
            reader->mapping->inputs[input++] = filter->output;
        }
    }
    audio_filter_process(reader->mapping);
    audio_frame_copy(frame, reader->mapping->output);

    uint64_t n = frame->sampleCount;
    if (reader->producedSamples + n > reader->totalSamples) {
        n = reader->totalSamples - reader->producedSamples;
        frame->sampleCount = uint32_t(n);
        audio_frame_fill_silence_tail(frame);
    }
    reader->producedSamples += n;
    return n;
}

void audio_reader_free(AudioReader* reader) noexcept {
    for (AudioReaderSource* source : reader->sources) delete source;
    reader->sources.clear();
    audio_filter_free(reader->mapping);
    reader->mapping = nullptr;
    reader->entries.clear();
    reader->totalSamples = 0;
    reader->producedSamples = 0;
}
