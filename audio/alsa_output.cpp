#include "audio/alsa_output.h"

#include <alsa/asoundlib.h>
#include <soundio/soundio.h>

#include <QDebug>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "audio/audio_output_writer.h"

struct AlsaOutput {
    snd_pcm_t* pcm = nullptr;
    AudioOutputData* data = nullptr;
    uint32_t rate = 0;
    uint32_t channels = 0;
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;

    // The device thread's own.
    std::vector<float> interleaved;  // one buffer of frames, the device areas point into it
    SoundIoChannelArea areas[kAudioOutputMaxPlanes] = {};
    uint32_t granted = 0;
    bool failed = false;   // the device went away: nothing more is written
    bool stopped = true;   // the device holds nothing and is not running

    std::thread thread;
    std::mutex lock;  // guards the wait for a play or the end
    std::condition_variable wake;
    std::atomic<bool> quit{false};
    std::atomic<bool> paused{true};
    std::atomic<bool> clear{false};
};

namespace {

// How long the device thread waits for room on the device, and sleeps when the ring is
// empty (a device that plays nowhere, such as ALSA's null device, always has room).
constexpr int kWaitMs = 10;
constexpr auto kIdle = std::chrono::milliseconds(2);

bool failed(int error, const char* step, std::string* why) {
    if (error >= 0) return false;
    if (why) *why = std::string(step) + ": " + snd_strerror(error);
    return true;
}

// The hardware parameters of the stream, with a buffer and period near those asked.
int set_up(snd_pcm_t* pcm, uint32_t rate, uint32_t channels, unsigned bufferUs, unsigned periodUs, std::string* why) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    int error = 0;
    if (failed(error = snd_pcm_hw_params_any(pcm, params), "parameters", why) ||
        failed(error = snd_pcm_hw_params_set_rate_resample(pcm, params, 1), "resampling", why) ||
        failed(error = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED), "access", why) ||
        failed(error = snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_FLOAT_LE), "float format", why) ||
        failed(error = snd_pcm_hw_params_set_channels(pcm, params, channels), "channels", why) ||
        failed(error = snd_pcm_hw_params_set_rate(pcm, params, rate, 0), "rate", why) ||
        failed(error = snd_pcm_hw_params_set_period_time_near(pcm, params, &periodUs, nullptr), "period", why) ||
        failed(error = snd_pcm_hw_params_set_buffer_time_near(pcm, params, &bufferUs, nullptr), "buffer", why) ||
        failed(error = snd_pcm_hw_params(pcm, params), "set-up", why))
        return error;
    return 0;
}

// Writes the frames the device thread was granted; a device that ran dry (or was
// suspended) is made ready again and written.
int end_write(void* stream) {
    auto* output = static_cast<AlsaOutput*>(stream);
    const float* frames = output->interleaved.data();
    snd_pcm_uframes_t left = output->granted;
    int tries = 0;
    while (left > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(output->pcm, frames, left);
        if (written >= 0) {
            frames += size_t(written) * output->channels;
            left -= snd_pcm_uframes_t(written);
            continue;
        }
        if (written == -EAGAIN) {
            snd_pcm_wait(output->pcm, kWaitMs);
        } else if (snd_pcm_recover(output->pcm, int(written), 1) < 0) {
            if (!output->failed) qWarning("Audio output stream error : %s", snd_strerror(int(written)));
            output->failed = true;
            return SoundIoErrorStreaming;
        }
        // A device that takes nothing after a few tries is not waited for: the rest of
        // this block is lost, not the thread.
        if (++tries > 8) return SoundIoErrorStreaming;
    }
    output->stopped = false;
    return 0;
}

// Drops what the device holds, ready for the next write.
void stop_device(AlsaOutput* output) {
    if (output->stopped) return;
    snd_pcm_drop(output->pcm);
    snd_pcm_prepare(output->pcm);
    output->stopped = true;
}

int begin_write(void* stream, SoundIoChannelArea** areas, int* frames) {
    auto* output = static_cast<AlsaOutput*>(stream);
    // A restart clears while it holds the writes off (audio_output_hold_consumer), so
    // the first write after it, here, is the first to find the clear told: what the
    // device holds of the last position goes, and none of the new one.
    if (output->clear.exchange(false)) stop_device(output);
    const auto capacity = int(output->interleaved.size() / output->channels);
    *frames = std::max(0, std::min(*frames, capacity));
    output->granted = uint32_t(*frames);
    *areas = output->areas;
    return 0;
}

const char* error_text(int error) { return soundio_strerror(error); }

void run(AlsaOutput* output) {
    AudioDeviceWriter writer;
    writer.stream = output;
    writer.beginWrite = &begin_write;
    writer.endWrite = &end_write;
    writer.errorText = &error_text;
    writer.channels = output->channels;
    AudioOutputData* data = output->data;
    while (!output->quit.load()) {
        if (output->paused.load() || output->failed) {
            stop_device(output);
            std::unique_lock<std::mutex> locked(output->lock);
            output->wake.wait_for(locked, std::chrono::milliseconds(50), [output] {
                return output->quit.load() || (!output->paused.load() && !output->failed);
            });
            continue;
        }
        const snd_pcm_sframes_t room = snd_pcm_avail_update(output->pcm);
        if (room < 0) {
            if (snd_pcm_recover(output->pcm, int(room), 1) < 0) {
                qWarning("Audio output stream error : %s", snd_strerror(int(room)));
                output->failed = true;
            }
            continue;
        }
        // A running device is written a period at a time (as it asks); one that is
        // stopped takes what there is at once.
        if (!output->stopped && snd_pcm_uframes_t(room) < output->periodFrames) {
            snd_pcm_wait(output->pcm, kWaitMs);
            continue;
        }
        // The device asks: as the library's write callback, every request is noted (a
        // device that stalls asks again after a while) and written what the ring holds.
        audio_output_note_request(data);
        audio_output_note_played(data, int64_t(data->writtenFrames), output->rate, OutputReading::AtRequest);
        const uint64_t before = data->writtenFrames;
        audio_output_write(data, writer, 0, int(std::min<snd_pcm_sframes_t>(room, 1 << 20)));
        if (data->writtenFrames == before) std::this_thread::sleep_for(kIdle);
    }
    stop_device(output);
}

}  // namespace

AlsaOutput* alsa_output_open(const char* name, uint32_t rate, uint32_t channels, AudioOutputData* data,
                             std::string* why) {
    if (!name || !*name || rate == 0 || channels == 0 || channels > kAudioOutputMaxPlanes || !data) {
        if (why) *why = "invalid stream";
        return nullptr;
    }
    auto* output = new (std::nothrow) AlsaOutput;
    if (!output) {
        if (why) *why = "out of memory";
        return nullptr;
    }
    output->data = data;
    output->rate = rate;
    output->channels = channels;
    // Not blocking: a device that another program holds is refused at once, and the
    // device thread writes only what there is room for.
    if (failed(snd_pcm_open(&output->pcm, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK), "open", why)) {
        delete output;
        return nullptr;
    }
    // The buffer asked first; where ALSA refuses it (a chain whose periods are fixed
    // larger), aplay's: half a second at most in four periods.
    if (set_up(output->pcm, rate, channels, kAlsaOutputBufferUs, kAlsaOutputPeriodUs, why) < 0) {
        std::string ignored;
        if (set_up(output->pcm, rate, channels, 500000, 125000, &ignored) < 0) {
            snd_pcm_close(output->pcm);
            delete output;
            return nullptr;
        }
    }
    snd_pcm_get_params(output->pcm, &output->bufferFrames, &output->periodFrames);
    if (output->periodFrames == 0) output->periodFrames = 1;
    try {
        output->interleaved.assign(size_t(std::max<snd_pcm_uframes_t>(output->bufferFrames, 1)) * channels, 0.0f);
    } catch (const std::bad_alloc&) {
        if (why) *why = "out of memory";
        snd_pcm_close(output->pcm);
        delete output;
        return nullptr;
    }
    for (uint32_t c = 0; c < channels; ++c) {
        output->areas[c].ptr = reinterpret_cast<char*>(output->interleaved.data() + c);
        output->areas[c].step = int(channels * sizeof(float));
    }
    try {
        output->thread = std::thread([output] { run(output); });
    } catch (const std::system_error& error) {
        if (why) *why = std::string("no device thread: ") + error.what();
        snd_pcm_close(output->pcm);
        delete output;
        return nullptr;
    }
    return output;
}

void alsa_output_free(AlsaOutput* output) {
    if (!output) return;
    {
        std::lock_guard<std::mutex> locked(output->lock);
        output->quit.store(true);
    }
    output->wake.notify_all();
    if (output->thread.joinable()) output->thread.join();
    snd_pcm_close(output->pcm);
    delete output;
}

void alsa_output_play(AlsaOutput* output) {
    if (!output) return;
    {
        std::lock_guard<std::mutex> locked(output->lock);
        output->paused.store(false);
    }
    output->wake.notify_all();
}

void alsa_output_pause(AlsaOutput* output) {
    if (output) output->paused.store(true);
}

void alsa_output_clear(AlsaOutput* output) {
    if (output) output->clear.store(true);
}
