#include "audio/alsa_library_device.h"

#include <soundio/soundio.h>

#include <algorithm>
#include <string>

bool alsa_library_chain_end(const SoundIo& context, const SoundIoDevice& device, AlsaChainEnd* end) {
    *end = AlsaChainEnd{};
    if (context.current_backend != SoundIoBackendAlsa || device.is_raw || device.aim != SoundIoDeviceAimOutput)
        return false;
    std::string why;
    return alsa_chain_end(device.id, end, &why);
}

bool alsa_library_accept_unprobed(const SoundIo& context, SoundIoDevice* device) {
    if (!device || device->probe_error == 0) return false;
    AlsaChainEnd end;
    if (!alsa_library_chain_end(context, *device, &end)) return false;
    device->probe_error = SoundIoErrorNone;
    return true;
}

void alsa_library_allow_latency(SoundIoDevice* device, double seconds) {
    device->software_latency_min = std::min(device->software_latency_min, seconds);
    device->software_latency_max = std::max(device->software_latency_max, seconds);
}
