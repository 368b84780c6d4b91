#include "audio/alsa_device_channels.h"

#include <alsa/asoundlib.h>

int alsa_device_own_channels(const char* name) {
    if (!name || !*name) return 0;
    snd_pcm_t* pcm = nullptr;
    // Without the plug's channel conversion, the device's channels are those of what
    // lies behind it.
    if (snd_pcm_open(&pcm, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_CHANNELS) < 0)
        return 0;
    int channels = 0;
    snd_pcm_hw_params_t* params = nullptr;
    if (snd_pcm_hw_params_malloc(&params) == 0) {
        unsigned int least = 0;
        unsigned int most = 0;
        if (snd_pcm_hw_params_any(pcm, params) >= 0 && snd_pcm_hw_params_get_channels_min(params, &least) >= 0 &&
            snd_pcm_hw_params_get_channels_max(params, &most) >= 0 && least == most)
            channels = int(least);
        snd_pcm_hw_params_free(params);
    }
    snd_pcm_close(pcm);
    return channels;
}
