#pragma once
// The audio format process: whole seconds of PCM in any codec, layout and frequency
// become planar float32 at a target frequency. The sample-format kernels decode; when
// the frequencies differ each channel is then converted with libsamplerate's best
// sinc converter, one independent call per channel and run (no state is carried from
// one second to the next, which leaves a small seam at each second boundary).
//
// The read coefficient 2 reads two input frames per output frame (double speed).
// One task uses a process at a time.
#include <cstdint>

#include <samplerate.h>

#include "base/pcm/audio_data.h"
#include "base/pcm/sample_format_kernels.h"

struct AudioFormatProcess {
    uint64_t skipMask = 0;  // bit c: channel c is routed nowhere and is not converted
    uint32_t channels = 0;
    uint32_t codec = AudioPcmCodec_S16LE;  // of the input
    uint8_t planar = 0;                    // of the input; 1 whenever channels is 1
    uint32_t inFrequency = 0;
    uint32_t outFrequency = 0;
    double ratio = 1.0;  // outFrequency / inFrequency
    uint8_t needsConversion = 0;
    uint32_t readCoeff = 1;
    float** work = nullptr;  // channels planes of decoded input awaiting conversion
    uint64_t workCapacity = 0;  // floats per work plane
    AudioDecoderKernels decoder;
};

// The one-shot converter the process calls, with src_simple's contract. Tests replace
// it to count calls or to shape the converter's report; it is src_simple otherwise.
using AudioSampleRateConverter = int (*)(SRC_DATA* data, int converter_type, int channels);
extern AudioSampleRateConverter audio_process_converter;

void audio_process_init(AudioFormatProcess* process) noexcept;

// Prepares the process for `descriptor` input at outFrequency. Throws
// "Zero value audio process p f" (after printing an "ERR : Channels : " line) when the
// channel count, either frequency, readCoeff or seconds is 0, and "Frequency
// conversion error" (after printing an "ERR : " line) when the two frequencies are
// further apart than the converter accepts (a factor of 256: below 188 Hz for
// 48000 Hz output). Work planes get room for inFrequency x seconds frames.
void audio_process_setup(AudioFormatProcess* process, const AudioDescriptor* descriptor, uint64_t skipMask,
                         uint32_t outFrequency, uint32_t readCoeff, uint32_t seconds);

// Selects the decoder for reading readCoeff (1 or 2) input frames per output frame.
// Throws "Coeff read not supported" or the decoder selector's "Unsupported pcm codec"
// texts; nothing changes when it throws.
void audio_process_set_read_coeff(AudioFormatProcess* process, uint32_t readCoeff);

// Makes every work plane hold at least `samples` floats; never shrinks.
void audio_process_reserve(AudioFormatProcess* process, uint64_t samples);

// Converts `seconds` seconds: outputs holds `channels` float planes of at least
// seconds x outFrequency floats; inputPlanes is the planes array of an AudioData with
// seconds x inFrequency x readCoeff frames. Throws "Invalid params\n" without a set-up
// process or buffers, "Invalid sec duration audio process" for 0 seconds (or more than
// a 32-bit frame count), and "Frequency conversion error" when the converter fails.
void audio_process_run(AudioFormatProcess* process, float* const* outputs, const uint8_t* const* inputPlanes,
                       uint32_t seconds);

// audio_process_run with the planes of inputData; a null inputData throws "Invalid track_in\n".
void audio_process_run_checked(AudioFormatProcess* process, float* const* outputs, const AudioData* inputData,
                               uint32_t seconds);

// The two halves of audio_process_run_checked, for callers that convert the channels
// of several seconds at once. audio_process_decode_checked makes the run's checks and
// throws its texts; without conversion it decodes straight into outputs and returns
// false, else it decodes into `work` (channels planes of seconds x inFrequency floats,
// owned by the caller) and returns true: every channel that is not skipped is then
// converted by audio_process_convert_channel. Converting a channel gives the same
// bits as audio_process_run does. The process is only read, so any number of threads
// may convert different channels or seconds at once (each writes only its output).
bool audio_process_decode_checked(const AudioFormatProcess* process, float* const* outputs, float* const* work,
                                  const AudioData* inputData, uint32_t seconds);
bool audio_process_channel_skipped(const AudioFormatProcess* process, uint32_t channel) noexcept;
// Throws "Frequency conversion error" when the converter fails.
void audio_process_convert_channel(const AudioFormatProcess* process, float* output, const float* work,
                                   uint32_t seconds);

void audio_process_free(AudioFormatProcess* process) noexcept;
