#include "audio/loudness_analyser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <ebur128.h>

#include "audio/audio_filter.h"
#include "base/pcm/audio_data.h"
#include "base/pcm/audio_frame.h"

namespace {

// libebur128 mode bits added by each option (momentary is always on).
constexpr int kOptionModes[R128Option_Count] = {EBUR128_MODE_I, EBUR128_MODE_S, EBUR128_MODE_LRA,
                                                 EBUR128_MODE_TRUE_PEAK, EBUR128_MODE_TRUE_PEAK};

struct R128State {
    uint32_t channels = 0;
    uint32_t codec = 0;
    uint8_t planar = 0;
    uint8_t dualStereo = 0;
    uint8_t options[R128Option_Count] = {};
    ebur128_state* meters[2] = {nullptr, nullptr};
    uint32_t meterChannels[2] = {0, 0};
    uint32_t meterCount = 0;
    int mode = 0;
    uint8_t convert = 0;
    AudioFilter* conversion = nullptr;
};

void r128_state_free(R128State* state) noexcept {
    if (!state) return;
    for (ebur128_state*& meter : state->meters)
        if (meter) ebur128_destroy(&meter);
    audio_filter_free(state->conversion);
    delete state;
}

bool has_true_peak(const R128State* state) { return (state->mode & EBUR128_MODE_TRUE_PEAK) == EBUR128_MODE_TRUE_PEAK; }

// True when every channel's true peak is exactly 0. Without the true-peak mode
// nothing says so: not silent.
bool r128_is_silent(const R128State* state) {
    if (!has_true_peak(state)) return false;
    for (uint32_t s = 0; s < state->meterCount; ++s) {
        for (uint32_t c = 0; c < state->meterChannels[s]; ++c) {
            double peak = 0.0;
            const int error = ebur128_true_peak(state->meters[s], c, &peak);
            if (error != EBUR128_SUCCESS) {
                std::printf("WARNING : Fail to get sample peak %d (Ch : %d) : %d\n", int(s), int(c), error);
                return false;
            }
            if (std::isfinite(20.0 * std::log10(peak))) return false;
        }
    }
    return true;
}

void add_samples(ebur128_state* meter, const AudioFrame* frame) {
    const size_t n = frame->sampleCount;
    int error = EBUR128_SUCCESS;
    switch (frame->codec) {
        case AudioPcmCodec_S16LE:
            error = ebur128_add_frames_short(meter, reinterpret_cast<const short*>(frame->planes[0]), n);
            break;
        case AudioPcmCodec_S32LE:
            error = ebur128_add_frames_int(meter, reinterpret_cast<const int*>(frame->planes[0]), n);
            break;
        case AudioPcmCodec_F32LE:
            error = ebur128_add_frames_float(meter, reinterpret_cast<const float*>(frame->planes[0]), n);
            break;
        case AudioPcmCodec_F64LE:
            error = ebur128_add_frames_double(meter, reinterpret_cast<const double*>(frame->planes[0]), n);
            break;
        default: throw std::runtime_error("Unsupported audio descriptor");
    }
    if (error != EBUR128_SUCCESS) throw std::runtime_error("Fail to add audio frame to analyser");
}

bool r128_analyser_add_frames(AudioAnalyser* analyser, AudioFrame* frame) {
    auto* state = static_cast<R128State*>(analyser->state);
    if (frame->channels != state->channels) throw std::runtime_error("Invalid audio channels");
    if (frame->codec != state->codec) throw std::runtime_error("Not correct descriptor");
    if (frame->channels > 1 && frame->planar != state->planar) throw std::runtime_error("Not correct planar");

    const AudioFrame* measured[2] = {frame, nullptr};
    if (state->convert) {
        if (!state->conversion) throw std::runtime_error("Invalid audio scaling");
        state->conversion->inputs[0] = frame;
        audio_filter_process(state->conversion);
        measured[0] = state->conversion->output;
        measured[1] = state->conversion->secondOutput;
    }
    for (uint32_t s = 0; s < 2; ++s) {
        if (!measured[s]) {
            if (s == 0) throw std::runtime_error("Invalid first audio frame");
            break;
        }
        if (!state->meters[s]) throw std::runtime_error("Invalid r128 analyser");
        add_samples(state->meters[s], measured[s]);
    }
    bool onlySilence = state->options[R128Option_SilenceCheck] != 0;
    for (uint32_t o = 0; o < R128Option_SilenceCheck; ++o) onlySilence = onlySilence && state->options[o] == 0;
    return onlySilence ? r128_is_silent(state) : true;
}

double to_db(double linear) { return 20.0 * std::log10(linear); }

void r128_analyser_get_results(AudioAnalyser* analyser) {
    auto* state = static_cast<R128State*>(analyser->state);
    LoudnessResults* results = analyser->results;
    uint32_t index = 0;
    for (uint32_t s = 0; s < state->meterCount; ++s) {
        ebur128_state* meter = state->meters[s];
        if (state->meterChannels[s] == 0 || !meter) continue;
        int error = 0;
        double value = 0.0;
        if (state->options[R128Option_Integrated]) {
            if ((error = ebur128_loudness_momentary(meter, &value)) == EBUR128_SUCCESS)
                results->momentary[s] = value;
            else
                std::printf("WARNING : Fail to get momentary loudness : %d\n", error);
            if ((error = ebur128_loudness_global(meter, &value)) == EBUR128_SUCCESS)
                results->integrated[s] = value;
            else
                std::printf("WARNING : Fail to get global loudness : %d\n", error);
        }
        if (state->options[R128Option_ShortTerm]) {
            if ((error = ebur128_loudness_shortterm(meter, &value)) == EBUR128_SUCCESS)
                results->shortTerm[s] = value;
            else
                std::printf("WARNING : Fail to get short term loudness : %d\n", error);
        }
        if (state->options[R128Option_Range]) {
            if ((error = ebur128_loudness_range(meter, &value)) == EBUR128_SUCCESS)
                results->range[s] = value;
            else
                std::printf("WARNING : Fail to get loudness range : %d\n", error);
        }
        for (uint32_t c = 0; c < state->meterChannels[s]; ++c, ++index) {
            if (!state->options[R128Option_Peaks] || index >= kLoudnessMaxChannels) continue;
            if ((error = ebur128_sample_peak(meter, c, &value)) == EBUR128_SUCCESS)
                results->samplePeak[index] = to_db(value);
            else
                std::printf("WARNING : Fail to get sample peak %d : %d\n", int(index), error);
            if ((error = ebur128_true_peak(meter, c, &value)) == EBUR128_SUCCESS)
                results->truePeak[index] = to_db(value);
            else
                std::printf("WARNING : Fail to get true peak %d : %d\n", int(index), error);
        }
    }
    results->silent = r128_is_silent(state) ? 1 : 0;
}

void r128_analyser_close(AudioAnalyser* analyser) {
    r128_state_free(static_cast<R128State*>(analyser->state));
    analyser->state = nullptr;
    delete analyser->results;
    analyser->results = nullptr;
}

bool is_direct_codec(uint32_t codec) {
    return codec == AudioPcmCodec_S16LE || codec == AudioPcmCodec_S32LE || codec == AudioPcmCodec_F32LE ||
           codec == AudioPcmCodec_F64LE;
}

}  // namespace

AudioAnalyser* audio_analyser_create(uint32_t kind, const AudioAnalyserParams* params) {
    auto* analyser = new AudioAnalyser;
    std::memset(analyser, 0, sizeof(AudioAnalyser));
    analyser->kind = kind;
    analyser->startSample = params->startSample;
    analyser->sampleCount = params->sampleCount;
    return analyser;
}

AudioAnalyser* r128_analyser_create(const AudioAnalyserParams* params, const uint8_t options[R128Option_Count]) {
    const uint32_t channels = params->channels;
    if (channels != 1 && channels != 2 && channels != 4 && channels != 6 && channels != 8) {
        std::printf("Audio Channels not supported (%d)\n", int(channels));
        std::printf("Fail to create audio analyse loudness");
        throw std::runtime_error("Unsupported input");
    }
    AudioAnalyser* analyser = audio_analyser_create(AudioAnalyserKind_R128, params);
    R128State* state = nullptr;
    try {
        state = new R128State;
        state->channels = channels;
        state->codec = params->codec;
        state->planar = channels == 1 ? 1 : params->planar;
        for (uint32_t o = 0; o < R128Option_Count; ++o) state->options[o] = options[o] ? 1 : 0;
        state->dualStereo = channels == 4 ? 1 : 0;
        state->meterCount = state->dualStereo ? 2 : 1;
        state->meterChannels[0] = state->dualStereo ? 2 : channels;
        state->meterChannels[1] = state->dualStereo ? 2 : 0;
        state->mode = EBUR128_MODE_M;
        for (uint32_t o = 0; o < R128Option_Count; ++o)
            if (state->options[o]) state->mode |= kOptionModes[o];
        for (uint32_t s = 0; s < state->meterCount; ++s) {
            state->meters[s] = ebur128_init(state->meterChannels[s], params->frequency, state->mode);
            if (!state->meters[s]) throw std::runtime_error("Can't create ebur128_state");
        }
        if (channels == 8) {
            static const int roles[8] = {EBUR128_LEFT,  EBUR128_RIGHT, EBUR128_CENTER, EBUR128_UNUSED,
                                         EBUR128_Mp090, EBUR128_Mm090, EBUR128_Mp135,  EBUR128_Mm135};
            for (unsigned c = 0; c < 8; ++c)
                if (ebur128_set_channel(state->meters[0], c, roles[c]) != EBUR128_SUCCESS)
                    throw std::runtime_error("Can't create ebur128_state");
        }
        analyser->results = new LoudnessResults;
        std::memset(analyser->results, 0, sizeof(LoudnessResults));
        analyser->results->stateCount = state->meterCount;
        analyser->results->stateChannels[0] = state->meterChannels[0];
        analyser->results->stateChannels[1] = state->meterChannels[1];

        const bool direct = !state->dualStereo && is_direct_codec(params->codec) && (!params->planar || channels == 1);
        if (!direct) {
            AudioFrequencyParams conversion{};
            conversion.secondsPerProcess = params->secondsPerProcess;
            conversion.channels = channels;
            conversion.inCodec = params->codec;
            conversion.inPlanar = state->planar;
            conversion.inFrequency = params->frequency;
            conversion.outCodec = AudioPcmCodec_F32LE;
            conversion.outPlanar = 0;
            conversion.outFrequency = params->frequency;
            conversion.dualStereo = state->dualStereo;
            state->conversion = audio_filter_frequency_new(&conversion);
            state->convert = 1;
        }
        analyser->state = state;
        analyser->addFrames = r128_analyser_add_frames;
        analyser->finish = r128_analyser_get_results;
        analyser->close = r128_analyser_close;
    } catch (...) {
        std::printf("Fail to create audio analyse loudness");
        r128_state_free(state);
        delete analyser->results;
        delete analyser;
        throw;
    }
    return analyser;
}

bool audio_analyser_process(AudioAnalyser* analyser, AudioFrame* frame) {
    if (!analyser) throw std::runtime_error("Invalid audio analyser (NULL)");
    if (!frame) throw std::runtime_error("Invalid audio frame (NULL)");
    const uint64_t n = frame->sampleCount;
    uint64_t offset = 0;
    if (analyser->position < analyser->startSample) {
        const uint64_t remaining = analyser->startSample - analyser->position;
        if (n <= remaining) {
            analyser->position += n;
            return true;
        }
        offset = remaining;
        analyser->position = analyser->startSample;
    } else if (n == 0) {
        return true;
    }
    if (analyser->sampleCount != 0 && analyser->processed >= analyser->sampleCount) return false;
    uint64_t m = n - offset;
    if (analyser->sampleCount != 0) m = std::min(m, analyser->sampleCount - analyser->processed);
    if (m == 0) return false;

    AudioFrame view;
    audio_frame_init(&view);
    bool goOn = true;
    try {
        audio_frame_ref(&view, frame);
        audio_frame_skip(&view, uint32_t(offset));
        view.sampleCount = uint32_t(m);
        goOn = analyser->addFrames ? analyser->addFrames(analyser, &view) : true;
    } catch (...) {
        audio_frame_free_data(&view);
        throw;
    }
    audio_frame_free_data(&view);
    analyser->processed += m;
    if (analyser->sampleCount != 0 && analyser->processed >= analyser->sampleCount) return false;
    return goOn;
}

void audio_analyser_finish(AudioAnalyser* analyser) {
    if (analyser && analyser->finish) analyser->finish(analyser);
}

void audio_analyser_close(AudioAnalyser* analyser) {
    if (!analyser) return;
    if (analyser->close)
        analyser->close(analyser);
    else
        std::printf("No close free func\n");
    delete analyser;
}
