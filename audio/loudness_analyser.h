#pragma once
// The loudness analyser: a generic AudioAnalyser fed AudioFrames, with one kind, the
// EBU R128 meter on libebur128 (integrated, momentary and short-term loudness,
// loudness range, per-channel sample and true peaks, and a silence check).
//
// Channel roles: 1, 2 and 6 channels keep libebur128's default order (L R C LFE-unused
// Ls Rs); 4 channels are dual stereo, two independent stereo meters (0-1 and 2-3);
// 8 channels are L R C, LFE unused, then the +90, -90, +135 and -135 degree speakers.
//
// One analyser belongs to one thread (the analysis task's). Errors are
// std::runtime_error with fixed texts; reading results only warns.
#include <cstdint>

struct AudioFrame;

enum AudioAnalyserKind : uint32_t { AudioAnalyserKind_R128 = 1 };

struct AudioAnalyserParams {
    uint32_t secondsPerProcess;  // room of the conversion filter: at least the seconds of one frame
    uint32_t channels;
    uint32_t codec;
    uint8_t planar;
    uint32_t frequency;
    uint64_t startSample;  // samples skipped before measuring
    uint64_t sampleCount;  // samples measured; 0 = all
};

// Option bytes given at creation.
enum R128Option : uint32_t {
    R128Option_Integrated = 0,
    R128Option_ShortTerm = 1,
    R128Option_Range = 2,
    R128Option_Peaks = 3,
    R128Option_SilenceCheck = 4,
    R128Option_Count = 5,
};

constexpr uint32_t kLoudnessMaxChannels = 64;

struct LoudnessResults {
    uint32_t stateCount;
    uint32_t stateChannels[2];
    double momentary[2];    // LUFS
    double shortTerm[2];    // LUFS
    double integrated[2];   // LUFS
    double range[2];        // LU
    double samplePeak[kLoudnessMaxChannels];  // dB, channels of state 0 then state 1
    double truePeak[kLoudnessMaxChannels];    // dB
    uint8_t silent;  // 1 when every true peak is exactly 0; 0 when no true peak was measured
};

struct AudioAnalyser {
    uint32_t kind;
    void* state;
    LoudnessResults* results;
    uint64_t startSample;
    uint64_t sampleCount;
    uint64_t position;   // samples seen while skipping
    uint64_t processed;  // samples handed to the kind
    bool (*addFrames)(AudioAnalyser* analyser, AudioFrame* frame);
    void (*finish)(AudioAnalyser* analyser);
    void (*close)(AudioAnalyser* analyser);
};

// A bare analyser of `kind` with no state and no functions.
AudioAnalyser* audio_analyser_create(uint32_t kind, const AudioAnalyserParams* params);
// The R128 analyser. Channels must be 1, 2, 4, 6 or 8 ("Unsupported input"); "Can't
// create ebur128_state" when the library refuses. Interleaved S16, S32, F32 and F64
// go to the meter directly; anything else (and dual stereo) through a conversion to
// interleaved float of params->secondsPerProcess seconds.
AudioAnalyser* r128_analyser_create(const AudioAnalyserParams* params, const uint8_t options[R128Option_Count]);
// Feeds one frame; false once the measurement is complete (sample count reached, or
// the first sound with only the silence check). Throws "Invalid audio analyser (NULL)"
// and the kind's feeding errors.
bool audio_analyser_process(AudioAnalyser* analyser, AudioFrame* frame);
// Computes the results.
void audio_analyser_finish(AudioAnalyser* analyser);
// Frees the kind's state and the analyser; null is ignored.
void audio_analyser_close(AudioAnalyser* analyser);
