#include "audio/audio_src_track_descriptor.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "base/pcm/audio_data.h"
#include "media/wav_file.h"

// Every channel of a companion file has a default output bit.
static_assert(kWavMaxChannels <= kAudioSrcMaxRoutedChannels);

namespace {

// Both mask arrays, one entry per channel; the current masks start as the defaults.
void alloc_masks(AudioSrcTrackDescriptor* descriptor, uint32_t channels, const uint64_t* masks) {
    if (channels == 0) throw std::runtime_error("Invalid channel count for track (0)");
    auto* defaults = new (std::nothrow) uint64_t[channels];
    auto* current = new (std::nothrow) uint64_t[channels];
    if (!defaults || !current) {
        delete[] defaults;
        delete[] current;
        throw std::runtime_error("Mapping Memory Error");
    }
    for (uint32_t i = 0; i < channels; ++i) defaults[i] = current[i] = masks ? masks[i] : 0;
    delete[] descriptor->defaultMasks;
    delete[] descriptor->currentMasks;
    descriptor->defaultMasks = defaults;
    descriptor->currentMasks = current;
}

void close_wav(AudioSrcTrackDescriptor* descriptor) noexcept {
    auto* wav = static_cast<WavFile*>(descriptor->demuxer);
    if (wav) {
        WavFile::close(wav);
        delete wav;
    }
    descriptor->demuxer = nullptr;
    descriptor->demuxerType = AudioSrcDemuxer_None;
}

}  // namespace

AudioSrcTrackDescriptor* audio_src_track_descriptor_new() { return new AudioSrcTrackDescriptor(); }

void audio_src_track_descriptor_free(AudioSrcTrackDescriptor* descriptor) noexcept {
    if (!descriptor) return;
    delete[] descriptor->defaultMasks;
    delete[] descriptor->currentMasks;
    if (descriptor->demuxer) {
        if (descriptor->demuxerType == AudioSrcDemuxer_Wav) {
            close_wav(descriptor);
        } else if (descriptor->demuxerType != AudioSrcDemuxer_Movie) {
            std::printf("Unknown demuxer type\n");
        }
    }
    std::free(descriptor->reverseBuffer);
    delete descriptor;
}

void audio_src_track_descriptor_init(AudioSrcTrackDescriptor* descriptor, uint32_t channels, uint32_t frequency,
                                     const uint64_t* masks) {
    if (channels == 0) throw std::runtime_error("Invalid channel count for track (0)");
    if (channels > kAudioSrcMaxChannels)
        throw std::runtime_error("Unsupported channel count for track (" + std::to_string(channels) + ")");
    if (frequency == 0) throw std::runtime_error("Invalid frequency for track (0)");
    alloc_masks(descriptor, channels, masks);
    descriptor->active = 1;
    descriptor->kind = AudioSrcKind_Movie;
    descriptor->trackIndex = 0;
    descriptor->channels = channels;
    descriptor->frequency = frequency;
    descriptor->codec = AudioPcmCodec_S16LE;
    descriptor->playable = 1;
    descriptor->formatCode = 0;
    descriptor->totalSamples = 0;
    descriptor->inPoint = descriptor->dataEnd = descriptor->loopEnd = descriptor->position = 0;
}

void audio_src_track_descriptor_set_sample_size(AudioSrcTrackDescriptor* descriptor) {
    if (!descriptor->playable) {
        descriptor->bytesPerSample = 0;
        return;
    }
    descriptor->bytesPerSample = audio_pcm_bytes_per_sample(descriptor->codec);
}

void audio_src_track_descriptor_check_frequency(const AudioSrcTrackDescriptor* descriptor) {
    if (descriptor->frequency < kAudioSrcMinFrequency || descriptor->frequency > kAudioSrcMaxFrequency) {
        throw std::runtime_error("Unsupported frequency for track (" + std::to_string(descriptor->frequency) +
                                 " Hz)");
    }
}

void audio_src_track_descriptor_open_wav(AudioSrcTrackDescriptor* descriptor, const char16_t* path) {
    auto* wav = new (std::nothrow) WavFile;
    if (!wav) throw std::runtime_error("Wav demuxer Memory Error");
    WavFile::init(wav);
    descriptor->demuxer = wav;
    descriptor->demuxerType = AudioSrcDemuxer_Wav;
    try {
        WavFile::open(wav, path);

        uint32_t codec = AudioPcmCodec_None;
        if (wav->isFloat) {
            switch (wav->bitsPerSample) {
                case 32: codec = AudioPcmCodec_F32LE; break;
                case 64: codec = AudioPcmCodec_F64LE; break;
                default:
                    std::printf("Unsupported wav quantification float %d bits\n", int(wav->bitsPerSample));
                    throw std::runtime_error("Unsupported Wav float format");
            }
        } else {
            switch (wav->bitsPerSample) {
                case 8: codec = AudioPcmCodec_U8; break;
                case 16: codec = AudioPcmCodec_S16LE; break;
                case 24: codec = AudioPcmCodec_S24LE; break;
                case 32: codec = AudioPcmCodec_S32LE; break;
                default:
                    std::printf("Unsupported wav quantification int %d bits\n", int(wav->bitsPerSample));
                    throw std::runtime_error("Unsupported Wav integer format");
            }
        }

        // The masks first: a record refused below still answers for every channel it lists.
        alloc_masks(descriptor, wav->channels, nullptr);
        descriptor->active = 1;
        descriptor->kind = AudioSrcKind_Wav;
        descriptor->channels = wav->channels;
        descriptor->frequency = wav->frequency;
        descriptor->playable = 1;
        descriptor->formatCode = 0;
        descriptor->codec = codec;
        descriptor->bytesPerSample = audio_pcm_bytes_per_sample(codec);
        descriptor->totalSamples = wav->frameCount;
        audio_src_track_descriptor_check_frequency(descriptor);
        if (descriptor->channels > 1) {
            // Channel i feeds output i; a 64-bit mask has no bit for channels past 63.
            for (uint32_t i = 0; i < descriptor->channels && i < kAudioSrcMaxRoutedChannels; ++i) {
                descriptor->defaultMasks[i] = uint64_t(1) << i;
            }
        }
    } catch (...) {
        close_wav(descriptor);
        throw;
    }
}

void audio_src_track_descriptor_reset_range(AudioSrcTrackDescriptor* descriptor) noexcept {
    descriptor->inPoint = 0;
    descriptor->dataEnd = descriptor->totalSamples;
    descriptor->loopEnd = descriptor->totalSamples;
}
