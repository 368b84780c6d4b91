#pragma once
// The output's own rate converter. The engine mixes at 48000 Hz; a device that runs
// at another rate and converts nothing itself (a JACK server at 44.1 kHz, a card that
// only takes 96 kHz) gets the mix converted here, as one continuous stream: the
// filter's state carries from one block to the next, so block edges are not heard.
//
// Owned by the output monitor. One thread at a time: the monitor's mixing job, or the
// GUI thread while that job is stopped. Allocates only in output_resampler_init.
#include <cstdint>
#include <string>

struct OutputResampler {
    void* state = nullptr;  // the conversion library's state
    uint32_t channels = 0;
    double ratio = 1.0;      // output frames per input frame
    uint32_t blockFrames = 0;  // input frames one call may take
    float* interleavedIn = nullptr;
    float* interleavedOut = nullptr;
    uint32_t outCapacity = 0;  // frames of interleavedOut
};

// Sets up a converter of `channels` planar channels from `inRate` to `outRate`,
// taking up to `blockFrames` input frames a call. False with `why` set on failure
// (the record is then freed).
bool output_resampler_init(OutputResampler* resampler, uint32_t channels, uint32_t inRate, uint32_t outRate,
                           uint32_t blockFrames, std::string* why);
// Harmless on a record that was never set up or was freed already.
void output_resampler_free(OutputResampler* resampler) noexcept;
// Forgets the stream so far: the next block starts a new one (a new position).
void output_resampler_reset(OutputResampler* resampler) noexcept;

// The most input frames whose output is sure to fit in `outRoom` frames (with what a
// drain adds when `draining`), at most blockFrames.
uint32_t output_resampler_input_for(const OutputResampler* resampler, uint32_t outRoom, bool draining) noexcept;

// Converts `inFrames` planar input frames into the output planes (room for `outRoom`
// frames). `drain` ends the stream after this block: what the filter still holds comes
// out too, and the next call starts a new stream. `used` and `made` tell the input
// frames taken and the output frames written. False on a conversion error (nothing
// taken, nothing written).
bool output_resampler_process(OutputResampler* resampler, const float* const* in, uint32_t inFrames,
                              float* const* out, uint32_t outRoom, bool drain, uint32_t* used,
                              uint32_t* made) noexcept;
