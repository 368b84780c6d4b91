#include "audio/frequency_conversion.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

AudioSampleRateConverter audio_process_converter = src_simple;

namespace {

bool channel_skipped(const AudioFormatProcess* process, uint32_t channel) noexcept {
    return channel < 64 && (process->skipMask >> channel & 1u) != 0;
}

void release_work(AudioFormatProcess* process) noexcept {
    if (!process->work) return;
    for (uint32_t c = 0; c < process->channels; ++c) delete[] process->work[c];
    delete[] process->work;
    process->work = nullptr;
    process->workCapacity = 0;
}

}  // namespace

void audio_process_init(AudioFormatProcess* process) noexcept {
    process->skipMask = 0;
    process->channels = 0;
    process->codec = AudioPcmCodec_S16LE;
    process->planar = 0;
    process->inFrequency = 0;
    process->outFrequency = 0;
    process->ratio = 1.0;
    process->needsConversion = 0;
    process->readCoeff = 1;
    process->work = nullptr;
    process->workCapacity = 0;
    process->decoder = AudioDecoderKernels{};
}

void audio_process_setup(AudioFormatProcess* process, const AudioDescriptor* descriptor, uint64_t skipMask,
                         uint32_t outFrequency, uint32_t readCoeff, uint32_t seconds) {
    if (!process || !descriptor) throw std::runtime_error("Invalid params\n");
    const uint32_t channels = descriptor->channels;
    const uint32_t inFrequency = descriptor->frequency;
    if (channels == 0 || inFrequency == 0 || outFrequency == 0 || readCoeff == 0 || seconds == 0) {
        std::printf("ERR : Channels : %u ; Freq : %u ; Freq Out ; %u ; Coeff Read : %d, Initial sec intern : %u\n",
                    channels, inFrequency, outFrequency, static_cast<int>(readCoeff), seconds);
        throw std::runtime_error("Zero value audio process p f");
    }
    const bool needsConversion = inFrequency != outFrequency;
    const double ratio = needsConversion ? static_cast<double>(outFrequency) / inFrequency : 1.0;
    // The converter refuses every run beyond this ratio: refuse the stream up front
    // rather than failing each second of it.
    if (needsConversion && !src_is_valid_ratio(ratio)) {
        std::printf("ERR : Frequency conversion ratio out of range (in : %u Hz ; out : %u Hz)\n", inFrequency,
                    outFrequency);
        throw std::runtime_error("Frequency conversion error");
    }

    // Work planes sized for another channel count must not outlive it.
    release_work(process);
    process->skipMask = skipMask;
    process->channels = channels;
    process->codec = descriptor->codec;
    process->planar = channels == 1 ? 1 : descriptor->planar;
    process->inFrequency = inFrequency;
    process->outFrequency = outFrequency;
    process->ratio = ratio;
    process->needsConversion = needsConversion ? 1 : 0;
    // Kernels chosen for an earlier stream must not survive a refused codec.
    process->decoder = AudioDecoderKernels{};
    audio_process_set_read_coeff(process, readCoeff);
    audio_process_reserve(process, static_cast<uint64_t>(inFrequency) * seconds);
}

void audio_process_set_read_coeff(AudioFormatProcess* process, uint32_t readCoeff) {
    if (readCoeff != 1 && readCoeff != 2) throw std::runtime_error("Coeff read not supported");
    AudioDecoderKernels selected;
    audio_decoder_select(&selected, process->codec, process->channels, process->planar != 0, readCoeff);
    process->decoder = selected;
    process->readCoeff = readCoeff;
}

void audio_process_reserve(AudioFormatProcess* process, uint64_t samples) {
    if (!process->work) {
        process->work = new float*[process->channels]();
        process->workCapacity = 0;
    }
    if (process->workCapacity >= samples) return;
    for (uint32_t c = 0; c < process->channels; ++c) {
        delete[] process->work[c];
        process->work[c] = nullptr;
    }
    // Until every plane is allocated the record claims no room, so a failed
    // allocation is retried by the next reserve instead of leaving null planes behind.
    process->workCapacity = 0;
    for (uint32_t c = 0; c < process->channels; ++c) process->work[c] = new float[samples];
    process->workCapacity = samples;
}

namespace {

// The checks every run makes before it touches a sample.
void check_run(const AudioFormatProcess* process, float* const* outputs, const uint8_t* const* inputPlanes,
               uint32_t seconds) {
    if (!process || !outputs || !inputPlanes || !process->decoder.entry) throw std::runtime_error("Invalid params\n");
    const uint64_t outFrames = static_cast<uint64_t>(seconds) * process->outFrequency;
    const uint64_t inFrames = static_cast<uint64_t>(seconds) * process->inFrequency;
    // The kernels count frames in 32 bits, input frames included (two per output at speed 2).
    if (seconds == 0 || outFrames > UINT32_MAX || inFrames * process->readCoeff > UINT32_MAX)
        throw std::runtime_error("Invalid sec duration audio process");
}

// The checks on a caller's input buffer.
void check_input(const AudioFormatProcess* process, const AudioData* inputData, uint32_t seconds) {
    if (!process || !process->decoder.entry) throw std::runtime_error("Invalid params\n");
    if (seconds == 0) throw std::runtime_error("Invalid sec duration audio process");
    if (!inputData || !inputData->planes) throw std::runtime_error("Invalid track_in\n");
    const uint64_t frames = static_cast<uint64_t>(seconds) * process->inFrequency * process->readCoeff;
    if (frames > UINT32_MAX) throw std::runtime_error("Invalid sec duration audio process");
    // A buffer smaller than the seconds asked for would be read past its end.
    const uint64_t frameBytes = static_cast<uint64_t>(process->channels) * audio_pcm_bytes_per_sample(process->codec);
    const uint32_t planes = process->planar ? process->channels : 1;
    if (inputData->capacity / frameBytes < frames || inputData->planeCount < planes)
        throw std::runtime_error("Invalid track_in\n");
}

// Decodes into outputs (no conversion) or into work; true when conversion follows.
bool decode(const AudioFormatProcess* process, float* const* outputs, float* const* work,
            const uint8_t* const* inputPlanes, uint32_t seconds) {
    if (!process->needsConversion) {
        audio_decoder_process(&process->decoder, outputs, inputPlanes, process->channels,
                              static_cast<uint32_t>(uint64_t(seconds) * process->outFrequency));
        return false;
    }
    audio_decoder_process(&process->decoder, work, inputPlanes, process->channels,
                          static_cast<uint32_t>(uint64_t(seconds) * process->inFrequency));
    return true;
}

}  // namespace

void audio_process_convert_channel(const AudioFormatProcess* process, float* output, const float* work,
                                   uint32_t seconds) {
    const uint64_t outFrames = static_cast<uint64_t>(seconds) * process->outFrequency;
    const uint64_t inFrames = static_cast<uint64_t>(seconds) * process->inFrequency;
    SRC_DATA conversion{};
    conversion.data_in = work;
    conversion.data_out = output;
    conversion.input_frames = static_cast<long>(inFrames);
    conversion.output_frames = static_cast<long>(outFrames);
    conversion.src_ratio = process->ratio;
    const int result = audio_process_converter(&conversion, SRC_SINC_BEST_QUALITY, 1);
    if (result != 0) {
        std::printf("Sample rate error : %s\n", src_strerror(result));
        throw std::runtime_error("Frequency conversion error");
    }
    if (conversion.input_frames_used != static_cast<long>(inFrames))
        std::printf("Warning : not all input samples used for frequency conv (Expected %u ; found %ld)\n",
                    static_cast<uint32_t>(inFrames), conversion.input_frames_used);
    const long generated = conversion.output_frames_gen;
    if (generated < static_cast<long>(outFrames)) {
        std::fill(output + std::max(generated, 0L), output + outFrames, 0.0f);
    } else if (generated > static_cast<long>(outFrames)) {
        std::printf(
            "Warning : not all output samples used for frequency conv (outside range : Expected %u ; found %ld)\n",
            static_cast<uint32_t>(outFrames), generated);
    }
}

bool audio_process_channel_skipped(const AudioFormatProcess* process, uint32_t channel) noexcept {
    return channel_skipped(process, channel);
}

void audio_process_run(AudioFormatProcess* process, float* const* outputs, const uint8_t* const* inputPlanes,
                       uint32_t seconds) {
    check_run(process, outputs, inputPlanes, seconds);
    if (process->needsConversion) audio_process_reserve(process, static_cast<uint64_t>(seconds) * process->inFrequency);
    if (!decode(process, outputs, process->work, inputPlanes, seconds)) return;
    for (uint32_t c = 0; c < process->channels; ++c) {
        if (channel_skipped(process, c)) continue;
        audio_process_convert_channel(process, outputs[c], process->work[c], seconds);
    }
}

void audio_process_run_checked(AudioFormatProcess* process, float* const* outputs, const AudioData* inputData,
                               uint32_t seconds) {
    check_input(process, inputData, seconds);
    audio_process_run(process, outputs, inputData->planes, seconds);
}

bool audio_process_decode_checked(const AudioFormatProcess* process, float* const* outputs, float* const* work,
                                  const AudioData* inputData, uint32_t seconds) {
    check_input(process, inputData, seconds);
    check_run(process, outputs, inputData->planes, seconds);
    if (process->needsConversion && !work) throw std::runtime_error("Invalid params\n");
    return decode(process, outputs, work, inputData->planes, seconds);
}

void audio_process_free(AudioFormatProcess* process) noexcept {
    if (!process) return;
    release_work(process);
}
