#include "base/pcm/channel_mixer.h"

#include <cstring>
#include <memory>
#include <stdexcept>

void audio_mix_sum2(float* out, const float* a, const float* b, uint32_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = a[i] + b[i];
}

void audio_mix_sum3(float* out, const float* a, const float* b, const float* c, uint32_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = (a[i] + b[i]) + c[i];
}

void audio_mix_sum4(float* out, const float* a, const float* b, const float* c, const float* d, uint32_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = ((a[i] + b[i]) + c[i]) + d[i];
}

void audio_mixer_reset(AudioChannelMixer* mixer) noexcept {
    *mixer = AudioChannelMixer{};
}

namespace {

void release_routes(AudioMixRoute* routes, uint32_t count) noexcept {
    if (!routes) return;
    for (uint32_t j = 0; j < count; ++j) delete[] routes[j].sources;
    delete[] routes;
}

}  // namespace

void audio_mixer_init(AudioChannelMixer* mixer, uint32_t inChannels, uint32_t outChannels, const uint64_t* masks) {
    if (inChannels == 0 || outChannels == 0) throw std::runtime_error("Invalid tracks count In,out (0)");
    // Output j is bit j of a 64-bit mask: there is no bit for a 65th output.
    if (outChannels > kAudioMixerMaxOutChannels) throw std::runtime_error("Invalid tracks count In,out (more than 64 out)");

    // Built aside and swapped in, so a failed allocation leaves the mixer untouched.
    auto routes_deleter = [outChannels](AudioMixRoute* r) { release_routes(r, outChannels); };
    std::unique_ptr<AudioMixRoute, decltype(routes_deleter)> routes(new AudioMixRoute[outChannels], routes_deleter);
    for (uint32_t j = 0; j < outChannels; ++j) {
        AudioMixRoute& route = routes.get()[j];
        route.sources = new uint32_t[inChannels]();  // the unused tail stays 0
        for (uint32_t i = 0; i < inChannels; ++i) {
            if (masks[i] >> j & 1) route.sources[route.count++] = i;
        }
    }

    release_routes(mixer->routes, mixer->outChannels);
    mixer->inChannels = inChannels;
    mixer->outChannels = outChannels;
    mixer->routes = routes.release();
    mixer->sum2 = &audio_mix_sum2;
    mixer->sum3 = &audio_mix_sum3;
    mixer->sum4 = &audio_mix_sum4;
}

void audio_mixer_process(const AudioChannelMixer* mixer, float* const* outputs, const float* const* inputs,
                         uint32_t count) {
    for (uint32_t j = 0; j < mixer->outChannels; ++j) {
        const AudioMixRoute& route = mixer->routes[j];
        const uint32_t* s = route.sources;
        float* out = outputs[j];
        switch (route.count) {
            case 0:
                std::memset(out, 0, size_t(count) * sizeof(float));
                break;
            case 1:
                std::memmove(out, inputs[s[0]], size_t(count) * sizeof(float));
                break;
            case 2:
                mixer->sum2(out, inputs[s[0]], inputs[s[1]], count);
                break;
            case 3:
                mixer->sum3(out, inputs[s[0]], inputs[s[1]], inputs[s[2]], count);
                break;
            default: {
                mixer->sum4(out, inputs[s[0]], inputs[s[1]], inputs[s[2]], inputs[s[3]], count);
                // The rest folds into the running sum, still left to right.
                uint32_t next = 4;
                while (next < route.count) {
                    const uint32_t left = route.count - next;
                    if (left == 1) {
                        mixer->sum2(out, out, inputs[s[next]], count);
                        next += 1;
                    } else if (left == 2) {
                        mixer->sum3(out, out, inputs[s[next]], inputs[s[next + 1]], count);
                        next += 2;
                    } else {
                        mixer->sum4(out, out, inputs[s[next]], inputs[s[next + 1]], inputs[s[next + 2]], count);
                        next += 3;
                    }
                }
                break;
            }
        }
    }
}

void audio_mixer_free(AudioChannelMixer* mixer) noexcept {
    release_routes(mixer->routes, mixer->outChannels);
    audio_mixer_reset(mixer);
}
