#include "audio/output_resampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Frames a drain may add: the filter's delay, which for the fastest sinc filter is far
// less at the ratios a device asks (0.17 to 4).
constexpr uint32_t kDrainFrames = 512;
// Frames the output of one block may exceed its input times the ratio by.
constexpr uint32_t kSlackFrames = 16;

SRC_STATE* state_of(const OutputResampler* resampler) { return static_cast<SRC_STATE*>(resampler->state); }

}  // namespace

bool output_resampler_init(OutputResampler* resampler, uint32_t channels, uint32_t inRate, uint32_t outRate,
                           uint32_t blockFrames, std::string* why) {
    output_resampler_free(resampler);
    if (channels == 0 || inRate == 0 || outRate == 0 || blockFrames == 0) {
        if (why) *why = "invalid conversion";
        return false;
    }
    const double ratio = double(outRate) / double(inRate);
    if (!src_is_valid_ratio(ratio)) {
        if (why) *why = "unsupported rate ratio";
        return false;
    }
    int error = 0;
    SRC_STATE* state = src_new(SRC_SINC_FASTEST, int(channels), &error);
    if (!state) {
        if (why) *why = src_strerror(error);
        return false;
    }
    resampler->state = state;
    resampler->channels = channels;
    resampler->ratio = ratio;
    resampler->blockFrames = blockFrames;
    resampler->outCapacity = uint32_t(std::ceil(blockFrames * ratio)) + kDrainFrames + kSlackFrames;
    resampler->interleavedIn = new (std::nothrow) float[size_t(blockFrames) * channels];
    resampler->interleavedOut = new (std::nothrow) float[size_t(resampler->outCapacity) * channels];
    if (!resampler->interleavedIn || !resampler->interleavedOut) {
        output_resampler_free(resampler);
        if (why) *why = "out of memory";
        return false;
    }
    return true;
}

void output_resampler_free(OutputResampler* resampler) noexcept {
    if (resampler->state) src_delete(state_of(resampler));
    delete[] resampler->interleavedIn;
    delete[] resampler->interleavedOut;
    *resampler = OutputResampler{};
}

void output_resampler_reset(OutputResampler* resampler) noexcept {
    if (resampler->state) src_reset(state_of(resampler));
}

uint32_t output_resampler_input_for(const OutputResampler* resampler, uint32_t outRoom, bool draining) noexcept {
    const uint32_t reserve = kSlackFrames + (draining ? kDrainFrames : 0);
    if (!resampler->state || outRoom <= reserve) return 0;
    const auto frames = uint32_t(std::floor(double(outRoom - reserve) / resampler->ratio));
    return std::min(frames, resampler->blockFrames);
}

bool output_resampler_process(OutputResampler* resampler, const float* const* in, uint32_t inFrames,
                              float* const* out, uint32_t outRoom, bool drain, uint32_t* used,
                              uint32_t* made) noexcept {
    *used = 0;
    *made = 0;
    if (!resampler->state) return false;
    const uint32_t channels = resampler->channels;
    inFrames = std::min(inFrames, resampler->blockFrames);
    for (uint32_t i = 0; i < inFrames; ++i)
        for (uint32_t c = 0; c < channels; ++c) resampler->interleavedIn[size_t(i) * channels + c] = in[c][i];

    outRoom = std::min(outRoom, resampler->outCapacity);
    SRC_DATA data{};
    data.data_in = resampler->interleavedIn;
    data.input_frames = long(inFrames);
    data.data_out = resampler->interleavedOut;
    data.output_frames = long(outRoom);
    data.src_ratio = resampler->ratio;
    data.end_of_input = drain ? 1 : 0;
    uint32_t taken = 0;
    uint32_t written = 0;
    // A drain may take more than one call to give out what the filter holds.
    for (;;) {
        if (src_process(state_of(resampler), &data) != 0) {
            src_reset(state_of(resampler));
            return false;
        }
        taken += uint32_t(data.input_frames_used);
        written += uint32_t(data.output_frames_gen);
        const bool more = drain && data.output_frames_gen > 0 && written < outRoom;
        if (!more) break;
        data.data_in += data.input_frames_used * long(channels);
        data.input_frames -= data.input_frames_used;
        data.data_out += data.output_frames_gen * long(channels);
        data.output_frames -= data.output_frames_gen;
    }
    if (drain) src_reset(state_of(resampler));

    for (uint32_t i = 0; i < written; ++i)
        for (uint32_t c = 0; c < channels; ++c) out[c][i] = resampler->interleavedOut[size_t(i) * channels + c];
    *used = taken;
    *made = written;
    return true;
}
