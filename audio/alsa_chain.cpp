#include "audio/alsa_chain.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kChannels = 2;
// aplay's buffer: at most half a second, in four periods.
constexpr unsigned kMostBufferUs = 500000;
constexpr unsigned kPeriodsPerBuffer = 4;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
struct ParamsFree {
    void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
struct OutputClose {
    void operator()(snd_output_t* output) const { snd_output_close(output); }
};

bool failed(int error, const char* step, std::string* why) {
    if (error >= 0) return false;
    if (why) *why = std::string(step) + ": " + snd_strerror(error);
    return true;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

unsigned alsa_dump_last_value(const std::string& dump, const char* key) {
    unsigned value = 0;
    size_t at = 0;
    while (at < dump.size()) {
        size_t end = dump.find('\n', at);
        if (end == std::string::npos) end = dump.size();
        const std::string line = dump.substr(at, end - at);
        at = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || trimmed(line.substr(0, colon)) != key) continue;
        const std::string text = trimmed(line.substr(colon + 1));
        char* stop = nullptr;
        const unsigned long read = std::strtoul(text.c_str(), &stop, 10);
        if (stop != text.c_str() && read > 0 && read < 0x7fffffffUL) value = unsigned(read);
    }
    return value;
}

bool alsa_chain_end(const char* name, AlsaChainEnd* end, std::string* why) {
    *end = AlsaChainEnd{};
    if (!name || !*name) {
        if (why) *why = "no device name";
        return false;
    }
    snd_pcm_t* opened = nullptr;
    if (failed(snd_pcm_open(&opened, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK), "open", why)) return false;
    const std::unique_ptr<snd_pcm_t, PcmCloser> pcm(opened);
    snd_pcm_hw_params_t* allocated = nullptr;
    if (failed(snd_pcm_hw_params_malloc(&allocated), "parameters", why)) return false;
    const std::unique_ptr<snd_pcm_hw_params_t, ParamsFree> params(allocated);

    // As aplay sets them, in its order: a stream that aplay plays through the chain
    // opens here too.
    unsigned rate = kRate;
    unsigned bufferUs = 0;
    if (failed(snd_pcm_hw_params_any(pcm.get(), params.get()), "parameters", why) ||
        failed(snd_pcm_hw_params_set_access(pcm.get(), params.get(), SND_PCM_ACCESS_RW_INTERLEAVED), "access", why) ||
        failed(snd_pcm_hw_params_set_format(pcm.get(), params.get(), SND_PCM_FORMAT_FLOAT_LE), "float format", why) ||
        failed(snd_pcm_hw_params_set_channels(pcm.get(), params.get(), kChannels), "channels", why) ||
        failed(snd_pcm_hw_params_set_rate_near(pcm.get(), params.get(), &rate, nullptr), "rate", why) ||
        failed(snd_pcm_hw_params_get_buffer_time_max(params.get(), &bufferUs, nullptr), "buffer", why))
        return false;
    if (bufferUs > kMostBufferUs) bufferUs = kMostBufferUs;
    unsigned periodUs = bufferUs / kPeriodsPerBuffer;
    if (failed(snd_pcm_hw_params_set_period_time_near(pcm.get(), params.get(), &periodUs, nullptr), "period", why) ||
        failed(snd_pcm_hw_params_set_buffer_time_near(pcm.get(), params.get(), &bufferUs, nullptr), "buffer", why) ||
        failed(snd_pcm_hw_params(pcm.get(), params.get()), "set-up", why))
        return false;

    snd_output_t* made = nullptr;
    if (failed(snd_output_buffer_open(&made), "description", why)) return false;
    const std::unique_ptr<snd_output_t, OutputClose> output(made);
    if (failed(snd_pcm_dump(pcm.get(), output.get()), "description", why)) return false;
    char* text = nullptr;
    const size_t length = snd_output_buffer_string(output.get(), &text);
    const std::string dump = text ? std::string(text, length) : std::string();
    end->rate = alsa_dump_last_value(dump, "rate");
    end->channels = alsa_dump_last_value(dump, "channels");
    if (end->rate == 0 || end->channels == 0) {
        if (why) *why = "no rate or channel count in ALSA's description of the device";
        return false;
    }
    return true;
}
