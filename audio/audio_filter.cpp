#include "audio/audio_filter.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "audio/frequency_conversion.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/channel_mixer.h"
#include "base/pcm/sample_format_kernels.h"

namespace {

// An AudioFrame that frees its data with its owner.
struct OwnedFrame {
    AudioFrame frame;
    OwnedFrame() { audio_frame_init(&frame); }
    ~OwnedFrame() { audio_frame_free_data(&frame); }
    OwnedFrame(const OwnedFrame&) = delete;
    OwnedFrame& operator=(const OwnedFrame&) = delete;
};

struct MappingState {
    uint32_t inputCount = 0;
    uint32_t inputChannels = 0;
    uint32_t outputChannels = 0;
    uint32_t samplesPerProcess = 0;
    OwnedFrame output;
    AudioChannelMixer mixer{};
    std::vector<const float*> inputPlanes;

    MappingState() { audio_mixer_reset(&mixer); }
    ~MappingState() { audio_mixer_free(&mixer); }
};

struct FrequencyState {
    uint32_t inFrequency = 0;
    uint32_t channels = 0;
    uint32_t outFrequency = 0;
    uint32_t secondsPerProcess = 0;
    double ratio = 1.0;
    bool resample = false;
    bool convert = false;
    bool encode = false;
    bool dualStereo = false;
    AudioFormatProcess conversion{};
    AudioEncoder encoder{};
    OwnedFrame work;
    OwnedFrame output;
    OwnedFrame secondOutput;

    FrequencyState() { audio_process_init(&conversion); }
    ~FrequencyState() { audio_process_free(&conversion); }
};

void mapping_free(AudioFilter* filter) {
    delete static_cast<MappingState*>(filter->state);
    filter->state = nullptr;
}

void frequency_free(AudioFilter* filter) {
    delete static_cast<FrequencyState*>(filter->state);
    filter->state = nullptr;
}

bool is_planar_float(uint32_t codec, bool planar) { return codec == AudioPcmCodec_F32LE && planar; }

void mapping_process(AudioFilter* filter) {
    auto* state = static_cast<MappingState*>(filter->state);
    if (filter->inputCount != state->inputCount) throw std::runtime_error("Inconsistent inputs mapping");
    state->inputPlanes.clear();
    uint32_t n = filter->inputs[0] ? filter->inputs[0]->sampleCount : 0;
    uint32_t channels = 0;
    for (uint32_t i = 0; i < filter->inputCount; ++i) {
        const AudioFrame* input = filter->inputs[i];
        if (!input) throw std::runtime_error("Inconsistent inputs mapping");
        if (!input->planar) throw std::runtime_error("Invalid data layout");
        if (input->codec != AudioPcmCodec_F32LE) throw std::runtime_error("Invalid data type");
        if (input->sampleCount > n) {
            std::printf("Warning : inconsistent sample count for track (Frame samples : %u ; Sample process : %u\n",
                        input->sampleCount, n);
            n = input->sampleCount;
        }
        if (channels + input->channels > state->inputChannels) {
            std::printf("ERROR : Invalid channels count in Mapping : %d > %d\n", int(channels + input->channels),
                        int(state->inputChannels));
            throw std::runtime_error("Invalid channels count in");
        }
        channels += input->channels;
        for (uint32_t c = 0; c < input->channels; ++c)
            state->inputPlanes.push_back(reinterpret_cast<const float*>(input->planes[c]));
    }
    if (channels != state->inputChannels) {
        std::printf("ERROR : Invalid channels count in Mapping : %d < %d\n", int(channels), int(state->inputChannels));
        throw std::runtime_error("Invalid channels count in");
    }
    // Shorter inputs are read up to n (their silent tail); none may be read past its room.
    AudioFrame* output = &state->output.frame;
    for (uint32_t i = 0; i < filter->inputCount; ++i) {
        if (n > filter->inputs[i]->capacity || n > output->capacity) {
            std::printf("ERR : Mapping samples : %u ; Input capacity : %u ; Output capacity : %u\n", n,
                        filter->inputs[i]->capacity, output->capacity);
            throw std::runtime_error("Mapping input beyond capacity");
        }
    }
    if (n == 0) {
        std::printf("Warning No sample to process\n");
        output->sampleCount = 0;
        return;
    }
    audio_mixer_process(&state->mixer, reinterpret_cast<float* const*>(output->planes), state->inputPlanes.data(),
                        n);
    output->sampleCount = n;
}

// The output takes the masks and statuses of input channels [first, first + count).
void take_channel_info(AudioFrame* output, const AudioFrame* input, uint32_t first) {
    for (uint32_t c = 0; c < output->channels; ++c) {
        output->masks[c] = input->masks[first + c];
        output->status[c] = input->status[first + c];
    }
}

void frequency_process(AudioFilter* filter) {
    auto* state = static_cast<FrequencyState*>(filter->state);
    AudioFrame* input = filter->inputs[0];
    if (!input) throw std::runtime_error("Invalid in frame");
    if (input->frequency != state->inFrequency) throw std::runtime_error("Invalid in freq");
    if (input->channels != state->channels) throw std::runtime_error("Invalid in ch");
    AudioFrame* output = &state->output.frame;
    AudioFrame* second = state->dualStereo ? &state->secondOutput.frame : nullptr;
    const uint32_t n = input->sampleCount;

    if (!state->convert && !state->encode) {
        // The output views the input's samples, room included.
        for (uint32_t p = 0; p < output->planeCount; ++p) output->planes[p] = input->planes[p];
        output->capacity = input->capacity;
        output->sampleCount = n;
        take_channel_info(output, input, 0);
        if (n == 0) audio_frame_reset_status(output), audio_frame_fill_silence_tail(output);
        return;
    }
    if (n == 0) {
        output->sampleCount = 0;
        audio_frame_fill_silence_tail(output);
        if (second) {
            second->sampleCount = 0;
            audio_frame_fill_silence_tail(second);
        }
        return;
    }

    const uint32_t outCapacity = state->secondsPerProcess * state->outFrequency;
    const uint64_t seconds = (uint64_t(n) + state->inFrequency - 1) / state->inFrequency;
    const uint64_t outCount = state->resample ? uint64_t(std::llround(double(n) * state->ratio)) : n;
    const bool tooLong = state->resample ? (seconds > state->secondsPerProcess || seconds * state->inFrequency >
                                                                                     input->capacity)
                                         : n > input->capacity;
    if (tooLong || outCount > outCapacity) {
        std::printf("ERR : Frequency filter samples : %u ; Input capacity : %u ; Output capacity : %u\n", n,
                    input->capacity, outCapacity);
        throw std::runtime_error("Frequency filter input beyond capacity");
    }

    // The float planes the encoder reads: converted samples, or the input itself.
    float* const* floats = reinterpret_cast<float* const*>(input->planes);
    if (state->convert) {
        AudioFrame* target = state->encode ? &state->work.frame : output;
        float* const* planes = reinterpret_cast<float* const*>(target->planes);
        if (state->resample) {
            audio_frame_pad_to_second(input);
            audio_process_run(&state->conversion, planes, input->planes, uint32_t(seconds));
        } else {
            audio_decoder_process(&state->conversion.decoder, planes, input->planes, state->channels, n);
        }
        floats = planes;
    }
    if (state->encode) {
        if (second) {
            audio_encoder_process(&state->encoder, output->planes, floats, uint32_t(outCount));
            audio_encoder_process(&state->encoder, second->planes, floats + 2, uint32_t(outCount));
        } else {
            audio_encoder_process(&state->encoder, output->planes, floats, uint32_t(outCount));
        }
    }
    output->sampleCount = uint32_t(outCount);
    audio_frame_fill_silence_tail(output);
    take_channel_info(output, input, 0);
    if (second) {
        second->sampleCount = uint32_t(outCount);
        audio_frame_fill_silence_tail(second);
        take_channel_info(second, input, 2);
    }
}

}  // namespace

AudioFilter* audio_filter_new(uint32_t kind, uint32_t inputCount) {
    if (inputCount == 0) throw std::runtime_error("Zero input filter audio");
    auto filter = std::make_unique<AudioFilter>();
    filter->kind = kind;
    filter->state = nullptr;
    filter->inputs = new AudioFrame*[inputCount]();
    filter->inputCount = inputCount;
    filter->output = nullptr;
    filter->secondOutput = nullptr;
    filter->process = nullptr;
    filter->free = nullptr;
    return filter.release();
}

void audio_filter_free(AudioFilter* filter) noexcept {
    if (!filter) return;
    delete[] filter->inputs;
    if (filter->free) filter->free(filter);
    delete filter;
}

void audio_filter_process(AudioFilter* filter) {
    if (!filter || !filter->process) throw std::runtime_error("Invalid audio filter");
    filter->process(filter);
}

AudioFilter* audio_filter_mapping_new(const AudioMappingParams* params) {
    AudioFilter* filter = audio_filter_new(AudioFilterKind_Mapping, params->inputCount);
    try {
        auto state = std::make_unique<MappingState>();
        state->inputCount = params->inputCount;
        state->inputChannels = params->inputChannels;
        state->outputChannels = params->outputChannels;
        state->samplesPerProcess = params->samplesPerProcess;
        bool anyMask = false;
        for (uint32_t c = 0; params->masks && c < params->inputChannels; ++c) anyMask |= params->masks[c] != 0;
        if (!anyMask) std::printf("WARNING : No mapping mask\n");
        std::vector<uint64_t> masks(params->inputChannels, 0);
        for (uint32_t c = 0; params->masks && c < params->inputChannels; ++c) masks[c] = params->masks[c];
        audio_mixer_init(&state->mixer, params->inputChannels, params->outputChannels, masks.data());
        AudioFrame* output = &state->output.frame;
        audio_frame_alloc(output, AudioPcmCodec_F32LE, params->outputChannels, params->frequency, true,
                          params->samplesPerProcess);
        output->sampleCount = 0;
        for (uint32_t o = 0; o < params->outputChannels; ++o)
            if (state->mixer.routes[o].count == 0) output->status[o] = AudioFrameStatus_Silent;
        state->inputPlanes.reserve(params->inputChannels);
        filter->output = output;
        filter->state = state.release();
        filter->process = mapping_process;
        filter->free = mapping_free;
    } catch (...) {
        audio_filter_free(filter);
        throw;
    }
    return filter;
}

AudioFilter* audio_filter_frequency_new(const AudioFrequencyParams* params) {
    AudioFilter* filter = audio_filter_new(AudioFilterKind_Frequency, 1);
    try {
        const bool mono = params->channels == 1;
        const bool inPlanar = mono || params->inPlanar;
        const bool outPlanar = mono || params->outPlanar;
        if (params->dualStereo) {
            if (params->channels != 4) throw std::runtime_error("Invalid dual stereo channels");
            if (outPlanar) throw std::runtime_error("Invalid dual stereo out mode");
        }
        if (params->inFrequency == 0 || params->outFrequency == 0) throw std::runtime_error("Invalid frequency (0)");
        if (params->secondsPerProcess == 0) throw std::runtime_error("Invalid samples (0)");
        auto state = std::make_unique<FrequencyState>();
        state->inFrequency = params->inFrequency;
        state->channels = params->channels;
        state->outFrequency = params->outFrequency;
        state->secondsPerProcess = params->secondsPerProcess;
        state->ratio = double(params->outFrequency) / params->inFrequency;
        state->dualStereo = params->dualStereo != 0;
        state->resample = params->inFrequency != params->outFrequency;
        state->convert = state->resample || !is_planar_float(params->inCodec, inPlanar);
        state->encode = !is_planar_float(params->outCodec, outPlanar);

        if (state->convert) {
            AudioDescriptor in;
            audio_descriptor_init(&in, params->inCodec, params->channels, params->inFrequency, inPlanar);
            audio_process_setup(&state->conversion, &in, 0, params->outFrequency, 1, params->secondsPerProcess);
        }
        if (state->encode) {
            AudioDescriptor out;
            audio_descriptor_init(&out, params->outCodec, state->dualStereo ? 2 : params->channels,
                                  params->outFrequency, outPlanar);
            audio_encoder_init(&state->encoder, &out);
        }
        const uint32_t samples = params->outFrequency * params->secondsPerProcess;
        const uint32_t outChannels = state->dualStereo ? 2 : params->channels;
        if (state->convert && state->encode)
            audio_frame_alloc(&state->work.frame, AudioPcmCodec_F32LE, params->channels, params->outFrequency, true,
                              samples);
        audio_frame_alloc(&state->output.frame, params->outCodec, outChannels, params->outFrequency, outPlanar,
                          samples);
        state->output.frame.sampleCount = 0;
        filter->output = &state->output.frame;
        if (state->dualStereo) {
            audio_frame_alloc(&state->secondOutput.frame, params->outCodec, 2, params->outFrequency, outPlanar,
                              samples);
            state->secondOutput.frame.sampleCount = 0;
            filter->secondOutput = &state->secondOutput.frame;
        }
        filter->state = state.release();
        filter->process = frequency_process;
        filter->free = frequency_free;
    } catch (...) {
        audio_filter_free(filter);
        throw;
    }
    return filter;
}

void audio_filter_pool_init(AudioFilterPool* pool, uint32_t capacity) {
    if (capacity == 0) throw std::runtime_error("Invalid filters count");
    pool->filters = new AudioFilter*[capacity]();
    pool->capacity = capacity;
    pool->count = 0;
}

void audio_filter_pool_add(AudioFilterPool* pool, AudioFilter* filter) {
    if (!pool->filters || pool->count >= pool->capacity) {
        std::printf("ERR Pool invalid : Max : %u ; Current : %u\n", pool->capacity, pool->count);
        throw std::runtime_error("Not enough space for filter");
    }
    pool->filters[pool->count++] = filter;
}

void audio_filter_pool_free(AudioFilterPool* pool) noexcept {
    if (!pool->filters) return;
    for (uint32_t i = 0; i < pool->capacity; ++i) audio_filter_free(pool->filters[i]);
    delete[] pool->filters;
    pool->filters = nullptr;
    pool->capacity = 0;
    pool->count = 0;
}
