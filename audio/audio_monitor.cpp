#include "audio/audio_monitor.h"

#include <soundio/soundio.h>

#include <QDebug>
#include <QMutexLocker>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "audio/alsa_library_device.h"
#include "audio/alsa_output.h"
#include "audio/jack_calls.h"
#include "audio/pulse_output.h"
#include "audio/sound_server_probe.h"
#include "base/pcm/channel_layouts.h"

namespace {

constexpr auto kIdleSleep = std::chrono::milliseconds(3);
constexpr uint32_t kMaxPlanes = kAudioOutputMaxPlanes;
// Source frames the rate converter takes at once.
constexpr uint32_t kRateBlockFrames = 8192;

// `frames` at 48000 Hz as frames at `rate`.
uint32_t at_rate(uint32_t frames, uint32_t rate) {
    return uint32_t((uint64_t(frames) * rate + AudioMonitor::kFrequency / 2) / AudioMonitor::kFrequency);
}

// The buffer the stream asks the device for, in seconds.
constexpr double kSoftwareLatency = 0.02;

// A plug device converts any rate to its slave's: its range comes out of the library
// overflowed (a maximum below its minimum).
bool converts_any_rate(const SoundIoDevice& device) {
    for (int i = 0; i < device.sample_rate_count; ++i)
        if (device.sample_rates[i].max < device.sample_rates[i].min) return true;
    return false;
}

// The device states its rates, and 48000 Hz is not among them (a device converting any
// rate takes 48000 Hz too).
bool takes_only_other_rates(const SoundIoDevice& device) {
    if (device.sample_rate_count <= 0 || converts_any_rate(device)) return false;
    for (int i = 0; i < device.sample_rate_count; ++i) {
        const SoundIoSampleRateRange& range = device.sample_rates[i];
        if (range.min <= int(AudioMonitor::kFrequency) && int(AudioMonitor::kFrequency) <= range.max) return false;
    }
    return true;
}

bool has_channel(const SoundIoChannelLayout& layout, SoundIoChannelId id) {
    for (int c = 0; c < layout.channel_count; ++c)
        if (layout.channels[c] == id) return true;
    return false;
}

// The channels of a stream in the order the player writes them: its 5.1 is L R C LFE
// and the surround pair, its 7.1 L R C LFE, the side pair and the rear pair. The
// library's own layouts of 6 and 8 channels put the LFE last, so ports named by them
// would not say what they carry. The 5.1 surround pair takes the ids the device uses
// (side or back), so each port still finds the device's port of the same name.
SoundIoChannelLayout layout_in_player_order(const SoundIoChannelLayout& device) {
    SoundIoChannelLayout layout = device;
    const auto set = [&layout](std::initializer_list<SoundIoChannelId> ids) {
        layout.name = nullptr;
        layout.channel_count = int(ids.size());
        int c = 0;
        for (SoundIoChannelId id : ids) layout.channels[c++] = id;
    };
    if (device.channel_count == 6) {
        const bool side =
            has_channel(device, SoundIoChannelIdSideLeft) && !has_channel(device, SoundIoChannelIdBackLeft);
        set({SoundIoChannelIdFrontLeft, SoundIoChannelIdFrontRight, SoundIoChannelIdFrontCenter, SoundIoChannelIdLfe,
             side ? SoundIoChannelIdSideLeft : SoundIoChannelIdBackLeft,
             side ? SoundIoChannelIdSideRight : SoundIoChannelIdBackRight});
    } else if (device.channel_count == 8) {
        set({SoundIoChannelIdFrontLeft, SoundIoChannelIdFrontRight, SoundIoChannelIdFrontCenter, SoundIoChannelIdLfe,
             SoundIoChannelIdSideLeft, SoundIoChannelIdSideRight, SoundIoChannelIdBackLeft,
             SoundIoChannelIdBackRight});
    }
    return layout;
}

// Output layout of a device channel count; -1 for a count the player cannot feed.
int layout_of_device_channels(int channels) {
    switch (channels) {
        case 1:
            return NAudioChannelLayout_Mono;
        case 2:
            return NAudioChannelLayout_Stereo;
        case 6:
            return NAudioChannelLayout_5_1;
        case 8:
            return NAudioChannelLayout_7_1;
        default:
            return -1;
    }
}

// Rates a chain of ALSA devices commonly ends at, nearest 48000 Hz first.
constexpr int kUsualRates[] = {44100, 96000, 88200, 32000, 192000, 176400, 22050, 16000, 11025, 8000};

float largest_magnitude(const float* samples, uint32_t count) {
    float largest = 0.0f;
    for (uint32_t i = 0; i < count; ++i) largest = std::max(largest, std::fabs(samples[i]));
    return largest;
}

int begin_write(void* stream, SoundIoChannelArea** areas, int* frames) {
    return soundio_outstream_begin_write(static_cast<SoundIoOutStream*>(stream), areas, frames);
}

int end_write(void* stream) { return soundio_outstream_end_write(static_cast<SoundIoOutStream*>(stream)); }

void ignore_underflow(SoundIoOutStream*) {}

// Without its own error callback the library ends the process on a stream error.
void report_stream_error(SoundIoOutStream*, int error) {
    qWarning("Audio output stream error : %s", soundio_strerror(error));
}

QString backend_name(const SoundIo* context) {
    return QString::fromUtf8(soundio_backend_name(context->current_backend));
}

void free_output_data(AudioOutputData* data) {
    if (!data) return;
    if (data->ring) {
        planar_ring_buffer_destroy(data->ring);
        delete data->ring;
    }
    delete data;
}

}  // namespace

// A libjack client of the monitor's (its JACK connection's or its stream's), as the JACK
// thread saw it: whether it opened, and libjack's count of reaps then. Written by the call
// that opens it, on the JACK thread; read by the monitor once that call came back, and by
// what closes it there.
struct JackClientState {
    bool opened = false;
    uint64_t reaps = 0;
    // A stream's: libjack had let the connection's client go when the stream's opened
    // (its server went away, and this open was the next): the server is gone.
    bool connectionReaped = false;
};

namespace {

// libjack deleted the client itself: closing it again would read freed memory.
bool reaped(const std::shared_ptr<JackClientState>& client) {
    return client && client->opened && jack_client_reaped(client->reaps);
}

// What the monitor holds on a JACK server, to be closed on the JACK thread in this order
// (the stream's callbacks write through `data` until the stream is gone; the device's
// count of references is the JACK thread's while it closes the stream).
struct HeldByJack {
    SoundIo* context = nullptr;
    std::shared_ptr<JackClientState> contextClient;
    SoundIoDevice* device = nullptr;
    SoundIoOutStream* stream = nullptr;
    std::shared_ptr<JackClientState> streamClient;
    AudioOutputData* data = nullptr;
};

// JACK thread. A client libjack deleted is never closed again: its library object is
// kept as it is.
void free_held(const HeldByJack& held) {
    if (held.stream) {
        if (reaped(held.streamClient)) jack_keep_reaped(held.stream);
        else soundio_outstream_destroy(held.stream);
    }
    if (held.device) soundio_device_unref(held.device);
    if (held.context) {
        if (reaped(held.contextClient)) jack_keep_reaped(held.context);
        else soundio_destroy(held.context);
    }
    free_output_data(held.data);
}

}  // namespace

AudioMonitor::AudioMonitor(SoundIo* context, QObject* parent) : QObject(parent), m_context(context) {
    m_silence = new (std::nothrow) float[kSilenceSamples]();
    if (!m_silence) {
        m_errorText = QStringLiteral("Can't allocate tmp buf mute");
        return;
    }
    if (!context) {
        m_errorText = QStringLiteral("Invalid soundio");
        return;
    }
    // The records come first: a device that is missing now may come back later, and
    // reopening it needs them.
    m_outputData = new (std::nothrow) AudioOutputData;
    if (!m_outputData) {
        m_errorText = QStringLiteral("Can't allocate output audio data (OOM)");
        return;
    }
    m_outputData->ring = new (std::nothrow) PlanarRingBuffer;
    if (!m_outputData->ring) {
        m_errorText = QStringLiteral("Can't allocate output audio data buffer (OOM)");
        return;
    }
    planar_ring_buffer_init(m_outputData->ring);
    m_peakRing = new (std::nothrow) PlanarRingBuffer;
    if (!m_peakRing) {
        m_errorText = QStringLiteral("Can't allocate peak buffer");
        return;
    }
    planar_ring_buffer_init(m_peakRing);

    // A context the caller connected already (to a chosen backend) is kept as it is;
    // otherwise a JACK server comes first, as in the library's own order.
    if (context->current_backend == SoundIoBackendNone && soundio_have_backend(SoundIoBackendJack)) {
        QString why;
        if (connectJack(kServerProbeMs, &why) == JackAnswer::NoAnswer) {
            // A JACK server that took the connection and does not answer (stopped, hung)
            // is waited for silently, as a sound server that does not answer.
            qDebug("Sound server not ready : %s", qPrintable(why));
            m_lostBackend = SoundIoBackendJack;
            m_jackUnanswered = true;
            return;
        }
    }
    if (!m_jackContext && context->current_backend == SoundIoBackendNone) {
        const SoundServerAnswer server = probe_pulse_server(kServerProbeMs);
        if (server != SoundServerAnswer::NoServer) {
            // A server that has no output yet, or does not answer in time, is waited
            // for silently, as after a lost server: a play asks it again.
            if (server != SoundServerAnswer::Ready || !connectSoundServer(kServerAnswerMs)) {
                qDebug("Sound server not ready : %s", sound_server_answer_text(server));
                m_lostBackend = SoundIoBackendPulseAudio;
            }
            return;
        }
        connectLibraryBackend();
        if (!m_errorText.isEmpty()) return;
    }
    soundio_flush_events(libraryContext());
    openDefaultDevice(true);
}

AudioMonitor::JackAnswer AudioMonitor::connectJack(int limitMs, QString* why) {
    SoundIo* context = soundio_create();
    if (!context) {
        *why = QStringLiteral("out of memory");
        return JackAnswer::NoServer;
    }
    // Its events reach whoever handles the caller's context.
    context->app_name = m_context->app_name;
    context->userdata = m_context->userdata;
    context->on_backend_disconnect = m_context->on_backend_disconnect;
    context->on_devices_change = m_context->on_devices_change;
    context->on_events_signal = m_context->on_events_signal;
    context->emit_rtprio_warning = m_context->emit_rtprio_warning;
    context->jack_info_callback = m_context->jack_info_callback;
    // libjack's own reports are how its reaps are known (jack_calls.h).
    context->jack_error_callback = &jack_note_library_error;
    auto client = std::make_shared<JackClientState>();
    int error = 0;
    const bool answered = jack_call(
        [context, client] {
            const int connected = soundio_connect_backend(context, SoundIoBackendJack);
            client->opened = connected == 0;
            client->reaps = jack_reaps();
            return connected;
        },
        limitMs, &error,
        [context, client] {
            HeldByJack held;
            held.context = context;
            held.contextClient = client;
            free_held(held);
        });
    if (!answered) {
        *why = QStringLiteral("the JACK server does not answer");
        return JackAnswer::NoAnswer;
    }
    if (error != 0) {
        *why = QStringLiteral("Failed to connect to JACK (%1)").arg(QString::fromUtf8(soundio_strerror(error)));
        // Never connected: no client to close.
        soundio_destroy(context);
        return JackAnswer::NoServer;
    }
    m_jackContext = context;
    m_jackClient = client;
    m_jackUnanswered = false;
    return JackAnswer::Connected;
}

bool AudioMonitor::askJack(std::function<int()> call, int limitMs, int* result, bool closes) {
    if (!m_jackContext) {
        *result = call();
        return true;
    }
    return waitForJack(std::move(call), limitMs, result, closes);
}

bool AudioMonitor::waitForJack(std::function<int()> call, int limitMs, int* result, bool closes) {
    // The call may take the output record with it: nothing else writes it meanwhile.
    stopFeedTask();
    if (jack_call(std::move(call), limitMs, result, freeingJack(), nullptr, !closes)) return true;
    // Everything of that server is the JACK thread's now, closed once the server lets
    // the call go; the output is lost.
    qDebug("The JACK server does not answer : its output is lost");
    loseJack(QStringLiteral("The JACK server does not answer"));
    return false;
}

void AudioMonitor::dropJack(const QString& why) {
    stopFeedTask();
    jack_call_later(freeingJack());
    qDebug("The JACK server went away : %s", qPrintable(why));
    loseJack(why);
}

std::function<void()> AudioMonitor::freeingJack() const {
    HeldByJack held;
    held.context = m_jackContext;
    held.contextClient = m_jackClient;
    held.device = m_device;
    held.stream = m_stream;
    held.streamClient = m_streamClient;
    held.data = m_outputData;
    return [held] { free_held(held); };
}

void AudioMonitor::forgetJack() {
    m_jackContext = nullptr;
    m_jackClient.reset();
    m_device = nullptr;
    m_stream = nullptr;
    m_streamClient.reset();
    m_outputData = nullptr;
}

void AudioMonitor::loseJack(const QString& why) {
    forgetJack();
    m_streamReady = 0;
    m_streamStarted = 0;
    m_corked = 0;
    m_lostBackend = SoundIoBackendJack;
    m_errorText = why;
    replaceOutputData();
}

void AudioMonitor::replaceOutputData() {
    // The old record, if any, is freed where it went.
    m_outputData = new (std::nothrow) AudioOutputData;
    if (!m_outputData) return;
    m_outputData->ring = new (std::nothrow) PlanarRingBuffer;
    if (!m_outputData->ring) {
        delete m_outputData;
        m_outputData = nullptr;
        return;
    }
    planar_ring_buffer_init(m_outputData->ring);
    m_outputData->tap.store(m_tap);
}

void AudioMonitor::releaseJack() {
    if (!m_jackContext) return;
    HeldByJack held;
    held.context = m_jackContext;
    held.contextClient = m_jackClient;
    m_jackContext = nullptr;
    m_jackClient.reset();
    jack_call_later([held] { free_held(held); });
}

// Without a sound server: plain ALSA, else the dummy device. The library's own
// PulseAudio backend is never chosen (see pulse_output.h).
void AudioMonitor::connectLibraryBackend() {
    if (soundio_have_backend(SoundIoBackendAlsa)) {
        const int error = soundio_connect_backend(m_context, SoundIoBackendAlsa);
        if (error == 0) return;
        qDebug("Can't connect to ALSA : %s", soundio_strerror(error));
    }
    const int error = soundio_connect_backend(m_context, SoundIoBackendDummy);
    if (error != 0)
        m_errorText = QStringLiteral("Failed to connect to an audio backend (%1)")
                          .arg(QString::fromUtf8(soundio_strerror(error)));
}

bool AudioMonitor::connectSoundServer(int timeoutMs) {
    m_pulse = pulse_output_create(m_outputData, &AudioMonitor::onSoundServerNotice, this);
    if (!m_pulse) {
        qDebug("Can't create the sound server output (OOM)");
        return false;
    }
    std::string why;
    if (!pulse_output_connect(m_pulse, timeoutMs, &why)) {
        qDebug("Can't connect to the sound server : %s", why.c_str());
        m_serverFailure = QStringLiteral("Can't connect to the sound server (%1)").arg(QString::fromStdString(why));
        pulse_output_free(m_pulse);
        m_pulse = nullptr;
        return false;
    }
    return true;
}

// The sound server's thread: relayed, queued, to whoever listens on the GUI thread.
void AudioMonitor::onSoundServerNotice(void* monitor, PulseOutputNotice notice) {
    auto* self = static_cast<AudioMonitor*>(monitor);
    switch (notice) {
        case PulseOutputNotice::SinkChanged:
            emit self->act_notif_output_changed();
            break;
        case PulseOutputNotice::NoSink:
            emit self->act_notif_output_lost(SoundIoErrorNoSuchDevice);
            break;
        case PulseOutputNotice::ServerGone:
            emit self->act_notif_output_lost(SoundIoErrorBackendDisconnected);
            break;
    }
}

AudioMonitor::~AudioMonitor() {
    stopFeedTask();
    if (m_jackContext) {
        // The stream, the connection and the output record are closed on the JACK
        // thread. The end waits for that a moment and no longer (a stopped server holds
        // it): this is no lost output.
        jack_call_later(freeingJack());
        forgetJack();
        int ignored = 0;
        jack_call([] { return 0; }, kServerReleaseMs, &ignored);
    }
    destroyStream();
    output_resampler_free(&m_resampler);
    delete[] m_rateScratch;
    m_rateScratch = nullptr;
    pulse_output_free(m_pulse);
    m_pulse = nullptr;
    if (m_device) soundio_device_unref(m_device);
    m_device = nullptr;
    free_output_data(m_outputData);
    m_outputData = nullptr;
    if (m_peakRing) {
        planar_ring_buffer_destroy(m_peakRing);
        delete m_peakRing;
        m_peakRing = nullptr;
    }
    delete[] m_silence;
    m_silence = nullptr;
}

void AudioMonitor::openDefaultDevice(bool mayUseDummy) {
    // A sound server's output is its default sink, asked when the stream opens.
    if (!m_context || m_pulse) return;
    m_probeError.clear();
    int index = soundio_default_output_device_index(libraryContext());
    if (index < 0 && mayUseDummy && libraryContext()->current_backend != SoundIoBackendDummy) {
        // No output device on this backend: play into the dummy device rather than nowhere.
        if (m_device) soundio_device_unref(m_device);
        m_device = nullptr;
        if (m_jackContext) {
            releaseJack();
        } else {
            soundio_disconnect(m_context);
        }
        const int error = soundio_connect_backend(m_context, SoundIoBackendDummy);
        if (error == 0) {
            soundio_flush_events(m_context);
            index = soundio_default_output_device_index(m_context);
        } else {
            qDebug("Can't connect to the dummy audio backend : %s", soundio_strerror(error));
        }
    }
    if (index < 0) {
        m_errorText = QStringLiteral("Can't found default output device");
        return;
    }
    if (m_device) soundio_device_unref(m_device);
    m_device = soundio_get_output_device(libraryContext(), index);
    if (!m_device) {
        m_errorText = QStringLiteral("Can't create output audio device (OOM)");
        return;
    }
    // The library's probe falls short on some ALSA chains that ALSA plays (a `route`
    // chain): ALSA itself is asked before the device is refused.
    if (m_device->probe_error != 0 && !alsa_library_accept_unprobed(*libraryContext(), m_device)) {
        m_errorText = QStringLiteral("Failed to connect to %1 (%2)")
                          .arg(backend_name(libraryContext()),
                               QString::fromUtf8(soundio_strerror(m_device->probe_error)));
        m_probeError = m_errorText;
        soundio_device_unref(m_device);
        m_device = nullptr;
    }
}

void AudioMonitor::destroyStream() {
    if (m_pulse) pulse_output_close_stream(m_pulse);
    // Joins the ALSA stream's device thread: nothing writes the output ring after this.
    alsa_output_free(m_alsa);
    m_alsa = nullptr;
    if (!m_stream) return;
    SoundIoOutStream* stream = m_stream;
    m_stream = nullptr;
    m_streamStarted = 0;
    m_corked = 0;
    // Joins the device thread: no write callback runs after this (on a JACK server
    // that does not answer, the callbacks' output record goes with the stream). A
    // stream whose client libjack deleted (its server went away) is never closed again.
    std::shared_ptr<JackClientState> client = std::move(m_streamClient);
    int ignored = 0;
    askJack(
        [stream, client] {
            if (reaped(client)) jack_keep_reaped(stream);
            else soundio_outstream_destroy(stream);
            return 0;
        },
        kServerAnswerMs, &ignored, true);
}

void AudioMonitor::openStream() {
    // The mixing job writes the output ring that is rebuilt here.
    stopFeedTask();
    m_streamReady = 0;
    // The start's stream may take a loaded machine's JACK server a while; later ones are
    // waited for less (the window runs meanwhile).
    const int jackWaitMs = m_jackWaitMs;
    m_jackWaitMs = kServerAnswerMs;
    // Waiting for a sound server is no error: a play connects it again.
    if (backendLost()) return;
    if (m_pulse) {
        m_streamReady = openSoundServerStream() ? 1 : 0;
        return;
    }
    m_streamReady = 1;
    const auto fail = [this](const QString& text) {
        m_errorText = text;
        m_streamReady = 0;
        destroyStream();
    };
    // A device whose probe failed keeps the library's reason.
    if (!m_device) return fail(m_probeError.isEmpty() ? QStringLiteral("No valid audio device") : m_probeError);

    destroyStream();
    if (backendLost()) return;  // its JACK server did not let the old stream go
    // An ALSA device that ALSA plays as `aplay` does is played on a stream of our own
    // (alsa_output.h); the library's stream is left for the rest.
    switch (openAlsaStream()) {
        case AlsaStream::Opened:
            return;
        case AlsaStream::Unbound:
            return fail(m_errorText);
        case AlsaStream::NotOpened:
            break;
    }
    m_stream = soundio_outstream_create(m_device);
    if (!m_stream) {
        qDebug("Can't create stream (OOM)");
        return fail(QStringLiteral("Can't create stream (OOM)"));
    }
    if (!soundio_device_supports_format(m_device, SoundIoFormatFloat32LE)) {
        qDebug("Audio output doesn't support float fmt");
        return fail(QStringLiteral("Audio output doesn't support float fmt"));
    }
    m_stream->format = SoundIoFormatFloat32LE;
    // A device that does not take 48000 Hz plays at the rate nearest to it (a JACK
    // server runs at its own rate only), and the mix is converted to that rate.
    m_stream->sample_rate = int(kFrequency);
    if (takes_only_other_rates(*m_device)) {
        const int nearest = soundio_device_nearest_sample_rate(m_device, int(kFrequency));
        if (nearest > 0) m_stream->sample_rate = nearest;
    } else if (converts_any_rate(*m_device)) {
        // A plug device in front of a card of fixed rate (44.1 kHz, say) would convert
        // the rate itself, but ALSA's rate converter refuses the stream when its period
        // is left open, as the library leaves it ("incompatible device"): the stream
        // takes the card's own rate, when the library found it, and the mix is
        // converted here.
        if (m_device->sample_rate_current > 0) m_stream->sample_rate = m_device->sample_rate_current;
        alsa_library_allow_latency(m_device, kSoftwareLatency);
    }
    m_stream->software_latency = kSoftwareLatency;
    m_stream->name = "Norvu HAP Player output";
    m_stream->write_callback = &AudioMonitor::writeCallback;
    m_stream->underflow_callback = &ignore_underflow;
    m_stream->error_callback = &report_stream_error;
    m_stream->userdata = m_outputData;
    // The channels asked for, else stereo where the device takes it, else the device's
    // own layout (as the library would choose), declared in the player's order.
    const SoundIoChannelLayout* layout = nullptr;
    if (m_requestedChannels != 0) {
        layout = soundio_channel_layout_get_default(int(m_requestedChannels));
        if (!layout) {
            qDebug("Can't set channel layout : no layout of %u channels", m_requestedChannels);
            return fail(QStringLiteral("Can't set layout"));
        }
    } else if (!soundio_device_supports_layout(m_device,
                                               soundio_channel_layout_get_builtin(SoundIoChannelLayoutIdStereo)) &&
               m_device->layout_count > 0) {
        layout = &m_device->layouts[0];
    }
    if (layout) m_stream->layout = layout_in_player_order(*layout);
    int opened = 0;
    SoundIoOutStream* stream = m_stream;
    if (m_jackContext) {
        auto client = std::make_shared<JackClientState>();
        m_streamClient = client;
        const std::shared_ptr<JackClientState> connection = m_jackClient;
        const auto open = [stream, client, connection] {
            const int result = soundio_outstream_open(stream);
            client->opened = result == 0;
            client->reaps = jack_reaps();
            client->connectionReaped = reaped(connection);
            return result;
        };
        if (!waitForJack(open, jackWaitMs, &opened)) return;
        if (client->connectionReaped) {
            // The server went away just before, and libjack let the connection go as
            // this client opened (on a server of the same name started again, if it did).
            return dropJack(QStringLiteral("the JACK server went away as the stream opened"));
        }
    } else {
        opened = soundio_outstream_open(stream);
    }
    if (opened == SoundIoErrorIncompatibleDevice && converts_any_rate(*m_device)) {
        // A device that converts any rate and still refuses this one has an ALSA rate
        // converter in its chain, which refuses the period ALSA picks when the period
        // is left open, as the library leaves it (a frame, or 5 ms that do not divide
        // the buffer). That rate is not told (ALSA could not play the device as aplay
        // does, or the stream of our own did not open), so the usual ones are tried,
        // nearest 48000 Hz first, and the mix is converted to the one that opens.
        const int refused = m_stream->sample_rate;
        for (int rate : kUsualRates) {
            if (rate == refused) continue;
            m_stream->sample_rate = rate;
            m_stream->software_latency = kSoftwareLatency;
            if (soundio_outstream_open(m_stream) == 0) {
                opened = 0;
                break;
            }
        }
        // None opens: the refusal of the rate asked is the one to tell.
        if (opened != 0) m_stream->sample_rate = refused;
    }
    if (opened != 0) {
        qDebug("Can't open device : %s", soundio_strerror(opened));
        return fail(QStringLiteral("Can't open sound device : %1").arg(QString::fromUtf8(soundio_strerror(opened))));
    }
    // Most ALSA devices (plug, dmix) have no channel map to set: the stream still has
    // the channels the player writes, in its order, which is what such a device takes.
    if (m_stream->layout_error != 0)
        qDebug("Can't set channel layout : %s (playing in the player's channel order)",
               soundio_strerror(m_stream->layout_error));
    if (!m_outputData || !m_outputData->ring) {
        qDebug("Error unallocated data");
        return fail(QStringLiteral("Error unallocated data"));
    }

    // The channel count is the opened stream's: a device's current layout may report
    // none (the dummy device does).
    m_deviceRate = uint32_t(m_stream->sample_rate);
    if (!bindOpenStream(m_stream->layout.channel_count, kLibraryRingFrames, at_rate(kOutputRingFrames, m_deviceRate)))
        return fail(m_errorText);

    // Started once for the stream's whole life, then only paused and unpaused.
    int started = 0;
    if (!askJack([stream] { return soundio_outstream_start(stream); }, jackWaitMs, &started)) return;
    if (started != 0 && m_jackContext) {
        // A JACK server that refuses to run the stream's client, or to connect its ports,
        // went away or is going: the output is lost, and tried again.
        return dropJack(QStringLiteral("Can't start device : %1").arg(QString::fromUtf8(soundio_strerror(started))));
    }
    if (started != 0) {
        qDebug("Can't start device : %s", soundio_strerror(started));
    } else {
        m_streamStarted = 1;
        cork();
    }
    soundio_outstream_clear_buffer(m_stream);
}

AudioMonitor::AlsaStream AudioMonitor::openAlsaStream() {
    AlsaChainEnd chain;
    if (!alsa_library_chain_end(*libraryContext(), *m_device, &chain)) return AlsaStream::NotOpened;
    // The channels asked for, else those the chain ends at when the player has a layout
    // of them (a six-channel card behind a plug plays 5.1, and so does a `route` to
    // six), else stereo, which the plug converts.
    uint32_t channels = 2;
    if (m_requestedChannels != 0) channels = m_requestedChannels;
    else if (layout_of_device_channels(int(chain.channels)) >= 0) channels = chain.channels;
    // The rate the chain ends at: no converter of the chain has a rate to change (the
    // mix is converted here, at the exact ratio, when it is not 48000 Hz).
    std::string why;
    m_alsa = alsa_output_open(m_device->id, chain.rate, channels, m_outputData, &why);
    if (!m_alsa) {
        qDebug("Can't open the ALSA device %s at %u Hz : %s (trying the audio library's stream)", m_device->id,
               chain.rate, why.c_str());
        return AlsaStream::NotOpened;
    }
    m_deviceRate = chain.rate;
    if (!bindOpenStream(int(channels), kLibraryRingFrames, at_rate(kOutputRingFrames, m_deviceRate)))
        return AlsaStream::Unbound;
    return AlsaStream::Opened;
}

bool AudioMonitor::bindOpenStream(int channels, uint32_t ringFrames, uint32_t fillFrames) {
    const int layout = layout_of_device_channels(channels);
    if (layout < 0) {
        m_errorText = QStringLiteral("Unsupported Output Channel Count : %1").arg(channels);
        return false;
    }
    m_outputChannels = uint32_t(channels);
    m_outputLayout = uint32_t(layout);

    try {
        planar_ring_buffer_destroy(m_outputData->ring);
        planar_ring_buffer_create(m_context, m_outputData->ring, m_outputChannels, m_deviceRate, ringFrames,
                                  sizeof(float));
    } catch (const std::bad_alloc&) {
        qDebug("Memory error out buffer");
        m_errorText = QStringLiteral("Can't allocate out ring buffer");
        return false;
    } catch (const std::runtime_error& error) {
        qDebug("Buffer out Runtime error : %s", error.what());
        m_errorText = QStringLiteral("Failed to created out buffer : %1").arg(QString::fromUtf8(error.what()));
        return false;
    } catch (...) {
        qDebug("Unknown error out buf");
        m_errorText = QStringLiteral("Unknown error out buffer creation");
        return false;
    }
    m_fillFrames = std::min(fillFrames, ringFrames);
    m_outputData->requestFrames.store(0);

    output_resampler_free(&m_resampler);
    delete[] m_rateScratch;
    m_rateScratch = nullptr;
    if (m_deviceRate != kFrequency) {
        std::string why;
        m_rateScratch = new (std::nothrow) float[size_t(kRateBlockFrames) * m_outputChannels];
        if (!m_rateScratch) why = "out of memory";
        if (!m_rateScratch ||
            !output_resampler_init(&m_resampler, m_outputChannels, kFrequency, m_deviceRate, kRateBlockFrames, &why)) {
            m_errorText = QStringLiteral("Can't convert the sound to %1 Hz : %2")
                              .arg(m_deviceRate)
                              .arg(QString::fromStdString(why));
            return false;
        }
    }

    // A new device may have another layout: the converter must write its planes, not
    // the old device's.
    try {
        initConverter();
    } catch (const std::exception& error) {
        m_errorText = QString::fromUtf8(error.what());
        return false;
    }
    return true;
}

bool AudioMonitor::openSoundServerStream() {
    destroyStream();
    // The output writes what the ring holds, and nothing while paused: nothing until
    // a start, so the ring can be rebuilt for the new stream meanwhile.
    m_outputData->silenced.store(1);
    std::string why;
    if (!pulse_output_open_stream(m_pulse, kServerAnswerMs, &why)) {
        // The server went on without us (its sink went during the open, or it did not
        // answer in time): lost, and a play connects again.
        qDebug("Can't open the sound server's stream : %s", why.c_str());
        m_serverFailure = QStringLiteral("Can't open the sound server's stream (%1)").arg(QString::fromStdString(why));
        m_lostBackend = SoundIoBackendPulseAudio;
        disconnectBackend();
        return false;
    }
    // The ring holds at least what the server asks at once, so every request of a
    // play is answered with sound. The server converts any rate itself.
    m_deviceRate = kFrequency;
    const uint32_t ringFrames = std::max(kOutputRingFrames, pulse_output_request_frames(m_pulse));
    if (!bindOpenStream(int(pulse_output_channels(m_pulse)), ringFrames, ringFrames)) {
        destroyStream();
        return false;
    }
    return true;
}

void AudioMonitor::initConverter() {
    m_converterReady = 0;
    if (!m_sourceRing) return;
    audio_layout_converter_init(&m_converter, m_sourceLayout, m_outputLayout, m_direct != 0);
    m_converterReady = 1;
}

void AudioMonitor::setLayout(PlanarRingBuffer* sourceRing, uint32_t sourceLayout, uint8_t direct) {
    stopFeedTask();
    if (sourceLayout > NAudioChannelLayout_7_1) throw std::runtime_error("Invalid layout monitor");
    m_sourceRing = sourceRing;
    m_sourceLayout = sourceLayout;
    m_sourceChannels = audio_layout_channel_count(sourceLayout);
    m_direct = direct;
    if (m_peakRing) {
        planar_ring_buffer_destroy(m_peakRing);
        planar_ring_buffer_create(m_context, m_peakRing, m_sourceChannels, kPeakBlockFrames, kPeakRingValues,
                                  sizeof(float));
    }
    initConverter();
}

void AudioMonitor::restartPlay() {
    m_previewFlag.store(0);
    restartMixing();
}

void AudioMonitor::seekPreview(float frameSeconds) {
    m_previewFlag.store(1);
    uint64_t budget = 0;
    if (!(frameSeconds > 0.0f)) {
        qDebug("Invalid fps seek : %f", double(frameSeconds));
        budget = 480;
    } else if (frameSeconds < 1.0f) {
        budget = uint64_t(std::lround(double(frameSeconds) * kFrequency));
    } else {
        budget = kFrequency;
    }
    m_previewBudget.store(budget);
    restartMixing();
}

void AudioMonitor::restartMixing() {
    stopFeedTask();
    if (!m_streamReady || !m_outputData || !m_outputData->ring) return;
    PlanarRingBuffer* output = m_outputData->ring;

    // The device thread reads the output ring: keep it off while the ring is emptied
    // and primed (clearing under a live reader aborts the process).
    audio_output_hold_consumer(m_outputData);
    if (m_pulse && pulse_output_request_frames(m_pulse) > output->frames) {
        // The server asks more at once since the stream opened (its graph's cycle grew):
        // the ring grows to hold it.
        try {
            planar_ring_buffer_create(m_context, output, m_outputChannels, kFrequency,
                                      pulse_output_request_frames(m_pulse), sizeof(float));
            m_fillFrames = output->frames;
        } catch (const std::exception& error) {
            qDebug("Can't grow the output ring : %s", error.what());
        }
    }
    planar_ring_buffer_clear(output);
    if (m_peakRing) planar_ring_buffer_clear(m_peakRing);
    // A new position: nothing of the last one's stream comes out of the rate converter.
    output_resampler_reset(&m_resampler);
    audio_output_begin_play(m_outputData, !m_previewFlag.load());

    if (!m_previewFlag.load()) {
        uint32_t writable = 0;
        uint8_t* planes[kMaxPlanes] = {};
        if (output->planeCount <= kMaxPlanes) planar_ring_buffer_get_write(output, &writable, planes);
        const uint32_t latencyFill = at_rate(kLatencyFillFrames, m_deviceRate);
        if (writable == 0) {
            qDebug("Not space for latency fill");
        } else {
            if (writable < latencyFill)
                qDebug("Not enough space for latency fill (%d ; %d)", int(writable), int(latencyFill));
            const uint32_t frames = std::min(writable, latencyFill);
            for (uint32_t p = 0; p < output->planeCount; ++p) {
                if (planes[p]) {
                    std::memset(planes[p], 0, size_t(frames) * sizeof(float));
                } else {
                    qDebug("ERROR Dst peak buf invalid : %d", int(p));
                }
            }
            planar_ring_buffer_advance_write(output, frames);
        }
    }
    try {
        mixStep();
    } catch (const std::exception& error) {
        std::printf("ERR : Audio mixing failed : %s\n", error.what());
    }
    // The device's next write replaces what it still holds from before.
    if (m_stream) soundio_outstream_clear_buffer(m_stream);
    alsa_output_clear(m_alsa);
    audio_output_release_consumer(m_outputData);

    m_stop.store(0);
    m_running.store(1);
    try {
        // A long-lived loop: a thread of its own, never a slot of a shared pool.
        m_mixThread = std::thread([this] { mixingTask(); });
    } catch (const std::system_error& error) {
        m_running.store(0);
        std::printf("ERR : Can't start the audio mixing job : %s\n", error.what());
    }
}

void AudioMonitor::mixingTask() {
    while (!m_stop.load()) {
        if (m_mixingHeld.load()) {
            std::this_thread::sleep_for(kIdleSleep);
            continue;
        }
        if (!m_previewFlag.load() && m_outputData->stalled.exchange(0) != 0) emit act_notif_output_stalled();
        bool moved = false;
        bool failed = false;
        try {
            moved = mixStep();
        } catch (const std::exception& error) {
            std::printf("ERR : Audio mixing failed : %s\n", error.what());
            failed = true;
        } catch (...) {
            std::printf("ERR : Audio mixing failed : unknown error\n");
            failed = true;
        }
        if (moved) continue;
        if (m_previewFlag.load()) {
            // A preview longer than the output ring waits for the device to make room
            // and goes on until its budget or the source is spent.
            if (!failed && m_previewBudget.load() > 0 && m_sourceRing && m_outputData) {
                uint32_t source = 0;
                uint32_t room = 0;
                uint8_t* planes[kMaxPlanes] = {};
                if (m_sourceRing->planeCount <= kMaxPlanes) planar_ring_buffer_get_read(m_sourceRing, &source, planes);
                if (m_outputData->ring->planeCount <= kMaxPlanes) room = sourceFramesFor(outputRoom(planes));
                if (source > 0 && room == 0) {
                    std::this_thread::sleep_for(kIdleSleep);
                    continue;
                }
            }
            m_running.store(0);
            emit act_notif_end_audio_seek();
            return;
        }
        if (failed) break;
        std::this_thread::sleep_for(kIdleSleep);
    }
    m_running.store(0);
}

bool AudioMonitor::mixStep() {
    if (!m_streamReady || !m_outputData || !m_outputData->ring) return false;
    PlanarRingBuffer* output = m_outputData->ring;
    if (output->planeCount > kMaxPlanes) return false;
    uint8_t* outputPlanes[kMaxPlanes] = {};
    const uint32_t room = outputRoom(outputPlanes);
    const uint32_t writable = sourceFramesFor(room);
    if (writable == 0) return false;

    uint32_t peakRoom = 0;
    uint8_t* peakPlanes[kMaxPlanes] = {};
    const bool peaks = m_peaksEnabled.load() && m_peakRing && m_peakRing->planeCount <= kMaxPlanes;
    if (peaks) planar_ring_buffer_get_write(m_peakRing, &peakRoom, peakPlanes);

    if (!m_sourceRing) {
        qDebug("Audio monitor src ring buffer NULL");
        return false;
    }
    if (!m_sourceRing->planes) {
        qDebug("Err no buffers src ring buffer");
        return false;
    }
    // A ring or converter of another layout would be read or written past its planes.
    if (!m_converterReady || m_sourceRing->planeCount > kMaxPlanes ||
        m_sourceRing->planeCount < m_converter.inChannels || output->planeCount < m_converter.outChannels)
        return false;
    uint32_t readable = 0;
    uint8_t* sourcePlanes[kMaxPlanes] = {};
    planar_ring_buffer_get_read(m_sourceRing, &readable, sourcePlanes);
    if (readable > 0 && !m_previewFlag.load() && skipOwedSound(readable))
        planar_ring_buffer_get_read(m_sourceRing, &readable, sourcePlanes);
    if (readable == 0) return false;

    uint32_t frames = std::min({writable, readable, kFrequency});
    bool lastOfPreview = false;
    if (m_previewFlag.load()) {
        const uint64_t budget = m_previewBudget.load();
        if (budget == 0) return false;
        if (frames >= budget) {
            frames = uint32_t(budget);
            m_previewBudget.store(0);
            lastOfPreview = true;
        } else {
            m_previewBudget.store(budget - frames);
        }
    }

    if (peaks && peakRoom > 0) {
        const uint32_t blocks = frames / kPeakBlockFrames;
        const uint32_t whole = std::min(blocks, peakRoom);
        const uint32_t tail = frames - blocks * kPeakBlockFrames;
        const bool withTail = whole == blocks && peakRoom > whole && tail != 0;
        const uint32_t channels = std::min(m_peakRing->planeCount, m_sourceRing->planeCount);
        const uint64_t meterMask = m_meterMuteMask.load();
        for (uint32_t c = 0; c < channels; ++c) {
            auto* values = reinterpret_cast<float*>(peakPlanes[c]);
            const auto* samples = reinterpret_cast<const float*>(sourcePlanes[c]);
            const bool masked = c < 64 && (meterMask >> c & 1u) != 0;
            for (uint32_t b = 0; b < whole; ++b)
                values[b] = masked ? 0.0f : largest_magnitude(samples + size_t(b) * kPeakBlockFrames, kPeakBlockFrames);
            if (withTail)
                values[whole] = masked ? 0.0f : largest_magnitude(samples + size_t(blocks) * kPeakBlockFrames, tail);
        }
        planar_ring_buffer_advance_write(m_peakRing, whole + (withTail ? 1 : 0));
    }

    float gain = 0.0f;
    if (!m_muteFlag.load()) {
        QMutexLocker locker(&m_gainLock);
        gain = m_gain;
    }
    if (m_resampler.state) {
        const uint32_t used = mixResampled(sourcePlanes, frames, outputPlanes, room, lastOfPreview, gain);
        // Frames the converter left are mixed again at the next step.
        if (used < frames && m_previewFlag.load()) m_previewBudget.fetch_add(frames - used);
        planar_ring_buffer_advance_read(m_sourceRing, used);
        return used > 0;
    }
    audio_layout_converter_process(&m_converter, reinterpret_cast<float* const*>(outputPlanes),
                                   reinterpret_cast<const float* const*>(sourcePlanes), frames, m_muteMask.load(), gain,
                                   m_silence);
    planar_ring_buffer_advance_write(output, frames);
    planar_ring_buffer_advance_read(m_sourceRing, frames);
    return true;
}

bool AudioMonitor::skipOwedSound(uint32_t readable) {
    const uint64_t owed = m_outputData->owedFrames.exchange(0);
    if (owed == 0) return false;
    // Owed at the device's rate; the source ring runs at 48000 Hz.
    const uint64_t wanted = (owed * kFrequency + m_deviceRate / 2) / m_deviceRate;
    const uint32_t skipped = uint32_t(std::min<uint64_t>(wanted, readable));
    planar_ring_buffer_advance_read(m_sourceRing, skipped);
    // What the source does not hold yet is skipped as it comes.
    if (skipped < wanted) m_outputData->owedFrames.fetch_add(at_rate(uint32_t(wanted - skipped), m_deviceRate));
    return skipped > 0;
}

uint32_t AudioMonitor::outputRoom(uint8_t** planes) const {
    PlanarRingBuffer* output = m_outputData->ring;
    uint32_t writable = 0;
    planar_ring_buffer_get_write(output, &writable, planes);
    const uint32_t held = output->frames - std::min(writable, output->frames);
    // Two of the device's requests: a JACK server may run two cycles back to back (at a
    // start, after a stall) before the mixing job has had a turn. A step's sound, which
    // its budget bounds, goes in whole as far as the ring holds it: the restart mixes it
    // at once, and no part of it waits for the mixing job, which a busy machine may hold
    // off while the device plays the rest (at another rate the converter's drain needs
    // more room than one frame of sound).
    const uint32_t request = m_outputData->requestFrames.load(std::memory_order_relaxed);
    const uint32_t level =
        m_previewFlag.load() ? output->frames : std::min(output->frames, std::max(m_fillFrames, 2 * request));
    return level > held ? std::min(writable, level - held) : 0;
}

uint32_t AudioMonitor::sourceFramesFor(uint32_t room) const {
    return m_resampler.state ? output_resampler_input_for(&m_resampler, room, m_previewFlag.load() != 0) : room;
}

uint32_t AudioMonitor::mixResampled(uint8_t* const* sourcePlanes, uint32_t frames, uint8_t* const* outputPlanes,
                                    uint32_t room, bool drain, float gain) {
    frames = std::min(frames, kRateBlockFrames);
    float* mixed[kMaxPlanes] = {};
    for (uint32_t c = 0; c < m_outputChannels && c < kMaxPlanes; ++c)
        mixed[c] = m_rateScratch + size_t(c) * kRateBlockFrames;
    audio_layout_converter_process(&m_converter, mixed, reinterpret_cast<const float* const*>(sourcePlanes), frames,
                                   m_muteMask.load(), gain, m_silence);
    uint32_t used = 0;
    uint32_t made = 0;
    if (!output_resampler_process(&m_resampler, mixed, frames, reinterpret_cast<float* const*>(outputPlanes), room,
                                  drain, &used, &made)) {
        qDebug("Sound rate conversion failed");
        return 0;
    }
    planar_ring_buffer_advance_write(m_outputData->ring, made);
    return used;
}

void AudioMonitor::writeCallback(SoundIoOutStream* stream, int frameCountMin, int frameCountMax) {
    AudioDeviceWriter writer;
    writer.stream = stream;
    writer.beginWrite = &begin_write;
    writer.endWrite = &end_write;
    writer.errorText = &soundio_strerror;
    writer.channels = stream->layout.channel_count > 0 ? uint32_t(stream->layout.channel_count) : 0;
    auto* data = static_cast<AudioOutputData*>(stream->userdata);
    // A JACK server or a card that stopped asking for a while (a stall, a suspend) asks
    // again for sound that is long overdue; one that ran on without asking, or was
    // given silence, plays the rest late. The dummy device only paces itself.
    writer.pacesOnly = stream->device->soundio->current_backend == SoundIoBackendDummy;
    if (data && !writer.pacesOnly) {
        audio_output_note_request(data);
        audio_output_note_played(data, int64_t(data->writtenFrames), uint32_t(stream->sample_rate),
                                 OutputReading::AtRequest);
    }
    audio_output_write(data, writer, frameCountMin, frameCountMax);
}

void AudioMonitor::start() {
    if (m_pulse) {
        if (!m_streamReady) return;
        m_outputData->silenced.store(0);
        pulse_output_play(m_pulse);
        return;
    }
    if (m_alsa) {
        if (m_streamReady) alsa_output_play(m_alsa);
        return;
    }
    if (!m_stream || !m_streamReady) return;
    if (!m_streamStarted) {
        // A JACK stream is started where it opens, with a limit, while nobody waits for
        // the connection's events; here the device listener may: one that did not start
        // stays silent until it opens again (a device change, a reconnect).
        if (m_jackContext) return;
        const int started = soundio_outstream_start(m_stream);
        if (started != 0) {
            qDebug("Can't start device : %s", soundio_strerror(started));
            return;
        }
        m_streamStarted = 1;
    }
    const int resumed = soundio_outstream_pause(m_stream, false);
    if (resumed != 0) qDebug("Can't pause device : %s", soundio_strerror(resumed));
    m_corked = 0;
}

void AudioMonitor::pause() {
    // The sound stops here: the output's silence from now on is owed by nobody.
    if (m_outputData) m_outputData->keepTime.store(0);
    if (m_pulse) {
        m_outputData->silenced.store(1);
        // A step's frame of sound is heard whole, even from a server that stood meanwhile.
        pulse_output_pause(m_pulse, m_previewFlag.load() != 0);
        return;
    }
    alsa_output_pause(m_alsa);
    if (!m_stream || !m_streamStarted) return;
    if (m_corked) return;
    cork();
}

void AudioMonitor::cork() {
    const int paused = soundio_outstream_pause(m_stream, true);
    if (paused != 0) qDebug("Can't pause device : %s", soundio_strerror(paused));
    else m_corked = 1;
}

void AudioMonitor::stopFeedTask() {
    m_stop.store(1);
    if (m_mixThread.joinable()) m_mixThread.join();
    m_running.store(0);
}

void AudioMonitor::setGainDb(float db) {
    m_muteFlag.store(0);
    QMutexLocker locker(&m_gainLock);
    m_gain = db == 0.0f ? 1.0f : std::pow(10.0f, db * 0.05f);
}

float AudioMonitor::gain() const {
    QMutexLocker locker(&m_gainLock);
    return m_gain;
}

void AudioMonitor::mute() { m_muteFlag.store(1); }

void AudioMonitor::setMuteMask(uint64_t mask) { m_muteMask.store(mask); }

void AudioMonitor::setMeterMuteMask(uint64_t mask) { m_meterMuteMask.store(mask); }

void AudioMonitor::setPeaksEnabled(bool enabled) { m_peaksEnabled.store(enabled ? 1 : 0); }

void AudioMonitor::reopenDefaultDevice() {
    // The mixing job writes the output ring and runs the converter that are rebuilt
    // for the new device.
    stopFeedTask();
    pause();
    if (m_pulse) {
        // The stream opens anew on the server's default sink, whatever it is now.
        openStream();
        return;
    }
    // A disconnected context (its backend lost) has no events to flush: it then
    // finds no device and opens no stream.
    SoundIo* context = libraryContext();
    if (context && context->current_backend != SoundIoBackendNone) soundio_flush_events(context);
    destroyStream();
    if (backendLost()) return;  // its JACK server did not let the stream go
    // The backend stays as it is: another thread may be waiting for its events, and
    // a device that comes back is only noticed on the real backend.
    openDefaultDevice(false);
    openStream();
}

void AudioMonitor::dropLostBackend() {
    if (backendLost() || !backendConnected()) return;
    m_lostBackend = m_pulse ? int(SoundIoBackendPulseAudio) : int(libraryContext()->current_backend);
    disconnectBackend();
}

bool AudioMonitor::backendConnected() const {
    return m_pulse != nullptr || m_jackContext != nullptr ||
           (m_context && m_context->current_backend != SoundIoBackendNone);
}

const PulseSinkInfo* AudioMonitor::soundServerSink() const {
    return m_pulse && m_streamReady ? &pulse_output_sink(m_pulse) : nullptr;
}

QString AudioMonitor::soundServerDefaultSink() const {
    return m_pulse ? QString::fromStdString(pulse_output_default_sink(m_pulse)) : QString();
}

void AudioMonitor::disconnectBackend() {
    stopFeedTask();
    destroyStream();
    m_streamReady = 0;
    if (m_device) soundio_device_unref(m_device);
    m_device = nullptr;
    pulse_output_free(m_pulse);
    m_pulse = nullptr;
    releaseJack();
    if (m_context && m_context->current_backend != SoundIoBackendNone) soundio_disconnect(m_context);
}

bool AudioMonitor::reconnectLostBackend() {
    if (!backendLost()) return m_streamReady != 0;
    m_errorText.clear();
    if (lostBackendIsSoundServer()) {
        m_lostBackend = 0;
        m_serverFailure.clear();
        if (connectSoundServer(kServerAnswerMs)) openStream();
        if (!m_streamReady) {
            // Why, for the caller's report: the stream's own error, else the server's.
            if (m_errorText.isEmpty()) m_errorText = m_serverFailure;
            disconnectBackend();
            m_lostBackend = SoundIoBackendPulseAudio;
            return false;
        }
        return true;
    }
    if (lostBackendIsJack()) {
        // A server that stopped again since it answered is given up on after a while.
        if (connectJack(kServerAnswerMs, &m_errorText) != JackAnswer::Connected) return false;
    } else {
        const int error = soundio_connect_backend(m_context, SoundIoBackend(m_lostBackend));
        if (error != 0) {
            m_errorText = QStringLiteral("Failed to connect to %1 (%2)")
                              .arg(QString::fromUtf8(soundio_backend_name(SoundIoBackend(m_lostBackend))),
                                   QString::fromUtf8(soundio_strerror(error)));
            return false;
        }
    }
    soundio_flush_events(libraryContext());
    const int lost = m_lostBackend;
    m_lostBackend = 0;
    openDefaultDevice(false);
    if (m_device) openStream();
    if (!m_streamReady) {
        // A server that is still starting may have no device yet: try again later. One
        // that stopped meanwhile took its stream and connection with it.
        if (!backendLost()) disconnectBackend();
        m_lostBackend = lost;
        return false;
    }
    return true;
}

bool AudioMonitor::lostBackendIsSoundServer() const { return m_lostBackend == SoundIoBackendPulseAudio; }

bool AudioMonitor::lostBackendIsJack() const { return m_lostBackend == SoundIoBackendJack; }

void AudioMonitor::leaveUnansweredJack(bool soundServer) {
    if (!m_jackUnanswered || !lostBackendIsJack()) return;
    m_jackUnanswered = false;
    if (soundServer)
        m_lostBackend = SoundIoBackendPulseAudio;
    else
        m_lostBackend = soundio_have_backend(SoundIoBackendAlsa) ? SoundIoBackendAlsa : SoundIoBackendDummy;
}

QString AudioMonitor::deviceName() const {
    if (const PulseSinkInfo* sink = soundServerSink()) {
        const std::string& name = sink->description.empty() ? sink->name : sink->description;
        return name.empty() ? QStringLiteral("Unnamed") : QString::fromStdString(name);
    }
    if (!m_device) return QStringLiteral("Undefined");
    if (!m_device->name || !m_device->name[0]) return QStringLiteral("Unnamed");
    return QString::fromUtf8(m_device->name);
}

void AudioMonitor::setOutputTap(AudioOutputTap* tap) {
    m_tap = tap;
    if (!m_outputData) return;
    m_outputData->tap.store(tap);
    // A callback that loaded the previous tap may still be using it.
    while (m_outputData->callbacksInside.load() != 0) std::this_thread::yield();
}
