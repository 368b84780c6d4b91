#pragma once
// The real-time end of the audio chain: the audio I/O library's backend connection,
// the default output device and one float32 48000 Hz output stream. A mixing job on
// a thread of its own moves frames from the source buffer's ring through the layout
// converter (source layout to the device's, with gain and per-channel mute) into a
// 40 ms output ring, and writes block peaks to a small peak ring for the meters. The
// device thread drains the output ring through the stream's write callback. A seek
// preview plays a budget of frames and then signals act_notif_end_audio_seek.
//
// Threads: the GUI thread calls every operation; the mixing job and the device
// thread meet only through the rings. The stream is started once when it is opened
// and then only paused and unpaused (starting it twice aborts the process in the
// library). The output ring is cleared only while the device callback is held off,
// and the mixing job is always stopped before a ring or the converter changes.
//
// The backend: JACK or ALSA through the audio I/O library when one answers, a sound
// server (PulseAudio, PipeWire's) through a PulseOutput of our own (pulse_output.h),
// and the library's dummy device when nothing else plays. A JACK server is reached
// through a context of the monitor's own, and every libjack call on it (connect, open
// and start the stream, close them) is made on the process's JACK thread
// (jack_calls.h), in order with every other JACK call of the process, while the GUI
// thread waits a limited time: a server that is stopped or hung holds neither the GUI
// thread nor the quit. One that does not answer in time takes what it holds with it
// (closed on the JACK thread once it lets go, before any later JACK call), and one that
// goes away while the stream opens or starts leaves it there too: the output counts as
// lost, to be tried again as a lost server is. On a sound server the ring
// holds at least what the server asks at once, and a pause drops what the server
// still holds, so the next start never plays a stale tail of another position before
// its own sound. An ALSA device that ALSA plays as `aplay` does is played on a stream
// of our own (alsa_output.h) at the rate and channel count its chain ends at
// (alsa_chain.h: a rate converter of the chain has no rate to change, a `route` to six
// channels or a six-channel card plays 5.1). A device that does not take 48000 Hz (a
// JACK server at 44.1 kHz, such an ALSA chain) gets the mix converted to its own rate;
// through the library, the ring is kept filled to twice what the device asks at once
// (a JACK period of up to 8192 frames), and the stream declares its channels in the
// order the player writes them, so a JACK port named LFE carries the LFE. On every
// output but the dummy device, what the output played without the movie's sound
// while a play runs is skipped from the source ring (audio_output_writer.h), so the
// sound keeps to the clock.

#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "audio/audio_output_writer.h"
#include "audio/output_resampler.h"
#include "base/pcm/layout_converter.h"
#include "audio/planar_ring_buffer.h"

struct SoundIo;
struct SoundIoDevice;
struct SoundIoOutStream;
struct PulseOutput;
struct JackClientState;
struct AlsaOutput;
struct PulseSinkInfo;
enum class PulseOutputNotice;
class AudioOutputTap;

class AudioMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr uint32_t kFrequency = 48000;
    static constexpr uint32_t kOutputRingFrames = 1920;  // 40 ms
    static constexpr uint32_t kPeakBlockFrames = 1920;
    static constexpr uint32_t kPeakRingValues = 3;
    static constexpr uint32_t kLatencyFillFrames = 960;
    // The output ring's capacity through the library: room for the largest request a
    // device makes at once (a JACK period of 8192 frames) and more.
    static constexpr uint32_t kLibraryRingFrames = 16384;
    // How long a sound server may take to say whether it can play; and how long the
    // start waits for each JACK call (a loaded machine may take a second to open a JACK
    // client with its ports).
    static constexpr int kServerProbeMs = 2000;
    // How long the GUI thread waits for a sound server to connect, or to open a stream,
    // once the window runs (a reconnect, a device change).
    static constexpr int kServerAnswerMs = 500;
    // How long the monitor's end waits for the JACK thread to close its stream and
    // connection (a server that runs lets them go in tens of milliseconds): they are
    // closed all the same later, and a quit ends within a second whatever the server does.
    static constexpr int kServerReleaseMs = 150;
    static constexpr uint32_t kSilenceSamples = 48000;

    // Connects to an audio backend unless `context` is connected already (JACK, then a
    // sound server, then ALSA; the dummy backend when no output device exists) and
    // opens the default output device. Failures leave errorText() set. A sound server
    // that has no output yet, or does not answer (a JACK server within kServerProbeMs),
    // is not connected: it counts as lost (without an error), to be tried again at a
    // play. `context` is the caller's and outlives the monitor; a JACK connection gets
    // its user data and its backend-lost and device-change handlers.
    explicit AudioMonitor(SoundIo* context, QObject* parent = nullptr);
    ~AudioMonitor() override;

    AudioMonitor(const AudioMonitor&) = delete;
    AudioMonitor& operator=(const AudioMonitor&) = delete;

    void openStream();
    // Stops the mixing job and binds the source ring; throws "Invalid layout monitor".
    void setLayout(PlanarRingBuffer* sourceRing, uint32_t sourceLayout, uint8_t direct);
    void restartPlay();
    void seekPreview(float frameSeconds);
    void start();
    void pause();
    void stopFeedTask();
    void setGainDb(float db);
    void mute();
    void setMuteMask(uint64_t mask);
    void setMeterMuteMask(uint64_t mask);
    void setPeaksEnabled(bool enabled);
    void reopenDefaultDevice();
    QString deviceName() const;

    // The backend went away (its sound server stopped or crashed): the stream and the
    // device are dropped and the context disconnected, so nothing is left on a dead
    // server. Nobody may wait for the context's events meanwhile.
    void dropLostBackend();
    // Connects the lost backend again and opens its default device and stream: true
    // when the stream is ready. Otherwise the context is left disconnected, the backend
    // still lost, to be tried again later, and errorText() saying why. Nobody may wait
    // for the context's events. A JACK server is waited for kServerAnswerMs at most a call.
    bool reconnectLostBackend();
    bool backendLost() const { return m_lostBackend != 0; }
    // The lost backend is a sound server, to be asked (probe_pulse_server) before
    // reconnectLostBackend, which would wait for it without end or crash on it.
    bool lostBackendIsSoundServer() const;
    // The lost backend is a JACK server, to be asked (probe_jack_server) off the GUI
    // thread first: reconnectLostBackend would give up on one that does not answer,
    // holding the GUI thread meanwhile.
    bool lostBackendIsJack() const;
    // The lost backend is a JACK server that did not answer at the start (the output
    // was never on it): if it then turns out not to be there at all, the output is the
    // one the start would have taken without it (leaveUnansweredJack).
    bool jackUnansweredAtStart() const { return m_jackUnanswered; }
    // Gives up on the JACK server that did not answer at the start: the lost backend is
    // then the sound server (`soundServer`, the server that answered its probe), else
    // the library's own backend, connected by reconnectLostBackend as the start does.
    void leaveUnansweredJack(bool soundServer);
    // Connected to a backend (the library's, or a sound server of our own).
    bool backendConnected() const;
    // The audio I/O context the output is on: the monitor's own connection to a JACK
    // server when on one, else the caller's. Whoever waits for the output's device events
    // or reads its device list uses this one; it changes when the backend is lost or
    // found again. GUI thread.
    SoundIo* libraryContext() const { return m_jackContext ? m_jackContext : m_context; }
    bool onSoundServer() const { return m_pulse != nullptr; }
    // On a sound server of our own: the sink the stream plays on (null otherwise), and
    // the server's default sink as last told (a change of it is a new output device).
    const PulseSinkInfo* soundServerSink() const;
    QString soundServerDefaultSink() const;

    const QString& errorText() const { return m_errorText; }
    void clearErrorText() { m_errorText.clear(); }
    uint8_t streamReady() const { return m_streamReady; }
    bool hasOutputDevice() const { return m_device != nullptr || m_pulse != nullptr; }
    // The library's record of the current output device (null when none), for reports
    // of its layout, rate and format. Valid until the device is reopened. GUI thread.
    const SoundIoDevice* outputDevice() const { return m_device; }
    PlanarRingBuffer* peakRing() const { return m_peakRing; }
    uint32_t outputLayout() const { return m_outputLayout; }
    uint32_t outputChannels() const { return m_outputChannels; }
    // The rate the device plays at; the mix is converted to it when it is not 48000.
    uint32_t deviceRate() const { return m_deviceRate; }
    uint32_t sourceLayout() const { return m_sourceLayout; }
    uint32_t sourceChannels() const { return m_sourceChannels; }
    float gain() const;
    bool isMuted() const { return m_muteFlag.load() != 0; }
    uint64_t previewBudget() const { return m_previewBudget.load(); }
    bool isMixingRunning() const { return m_running.load() != 0; }

    // Test seams. The channel count to ask the device for when the stream is (re)opened
    // (0: the device's own layout); and an observer of every block written to the device.
    void setRequestedDeviceChannels(uint32_t channels) { m_requestedChannels = channels; }
    void setOutputTap(AudioOutputTap* tap);
    // Holds the mixing job off while the device goes on, as a machine busier than it
    // has cores does.
    void holdMixing(bool held) { m_mixingHeld.store(held ? 1 : 0); }

    // One mixing step on the caller's thread: true when it moved frames.
    bool mixStep();

    // The stream's write callback (library device thread).
    static void writeCallback(SoundIoOutStream* stream, int frameCountMin, int frameCountMax);

signals:
    void act_notif_end_audio_seek();
    // The device went on without sound for a while (its server stalled and caught up):
    // what it plays now is late. Sent from the mixing job while it plays (not a preview).
    void act_notif_output_stalled();
    // On a sound server of our own (sent from its thread): its default sink changed, or
    // the output was lost (the server went away, or has no sink left), with the audio
    // I/O library's error code that says which.
    void act_notif_output_changed();
    void act_notif_output_lost(int error);

private:
    // mayUseDummy: with no output device, switch the context to the dummy backend
    // (only at construction, before anyone else waits on the context's events).
    void openDefaultDevice(bool mayUseDummy);
    // Stops mixing, drops the stream and the device, and disconnects the context.
    void disconnectBackend();
    void restartMixing();
    void mixingTask();
    void destroyStream();
    void initConverter();
    void writePeaks(uint8_t* const* sourcePlanes, uint32_t frames);
    void cork();
    // Connects a sound server of our own: false (and no server kept) when it cannot play.
    bool connectSoundServer(int timeoutMs);
    void connectLibraryBackend();
    enum class JackAnswer { Connected, NoServer, NoAnswer };
    // Connects a context of the monitor's own to the JACK server, waiting at most
    // `limitMs`: Connected when it is m_jackContext now. NoServer with `why` set.
    JackAnswer connectJack(int limitMs, QString* why);
    // Makes `call`, which asks the stream's device something, on the JACK thread with a
    // limit when on a JACK server (directly otherwise): true with its result in *result.
    // False when the server did not answer in time: the context, device, stream and
    // output record then go with the call (closed on the JACK thread once it returns),
    // the monitor has a new output record, and the JACK server counts as lost. Only
    // while nobody waits for the connection's events (the context may go).
    // A call that `closes` something is made even when the limit ran out before its turn.
    bool askJack(std::function<int()> call, int limitMs, int* result, bool closes = false);
    // The same, on a JACK server in any case: what it takes when it does not answer is
    // what the monitor still holds (clear what the call frees itself first). The mixing
    // job is stopped first.
    bool waitForJack(std::function<int()> call, int limitMs, int* result, bool closes = false);
    // The JACK server went away while a call on it ran (it refused the stream's start,
    // or libjack let the connection go as the stream opened): everything of it is
    // closed on the JACK thread, and the output counts as lost, `why`.
    void dropJack(const QString& why);
    // What frees everything the monitor holds of the JACK server (the connection, the
    // device, the stream and the output record), to run on the JACK thread; the monitor
    // still holds it all until forgetJack.
    std::function<void()> freeingJack() const;
    // The monitor no longer holds any of that (it went to the JACK thread).
    void forgetJack();
    // forgetJack, and the output counts as lost, `why`, with a new output record.
    void loseJack(const QString& why);
    // Lets the JACK connection go (the stream must be gone, the device released): it is
    // closed on the JACK thread, before any later JACK call, and nobody waits for it.
    void releaseJack();
    // A new, empty output record in place of one that went with a JACK call, with the
    // output tap; the old one is not touched again.
    void replaceOutputData();
    bool openSoundServerStream();
    // Opens the stream of our own on an ALSA device that ALSA plays as `aplay` does, at
    // the rate its chain ends at (alsa_output.h). NotOpened: no such device, or the
    // stream did not open (the library's stream is tried next); Unbound: it opened but
    // could not be bound (bindOpenStream), with the error text set.
    enum class AlsaStream { Opened, NotOpened, Unbound };
    AlsaStream openAlsaStream();
    // What every stream shares once open with `channels` at the device's rate: its
    // layout, the output ring (`ringFrames`, kept filled to at least `fillFrames`), the
    // layout converter and, at another rate than 48000, the rate converter. False with
    // the error text set.
    bool bindOpenStream(int channels, uint32_t ringFrames, uint32_t fillFrames);
    // The frames the mixing job may add to the output ring now: up to the fill level
    // (the stream's, or twice the device's last request when that is more), with the
    // ring's write planes.
    uint32_t outputRoom(uint8_t** planes) const;
    // Skips from the source ring what the output played without sound (owed by the
    // device side), at most the `readable` frames it holds: true when it skipped.
    bool skipOwedSound(uint32_t readable);
    // The source frames that fit in `room` frames of the output ring: as many at 48000
    // Hz, fewer before a rate conversion to a lower rate.
    uint32_t sourceFramesFor(uint32_t room) const;
    // Converts `frames` frames of the source planes into the output ring, through the
    // rate converter: the source frames taken (the whole block unless the ring runs out).
    uint32_t mixResampled(uint8_t* const* sourcePlanes, uint32_t frames, uint8_t* const* outputPlanes,
                          uint32_t room, bool drain, float gain);
    static void onSoundServerNotice(void* monitor, PulseOutputNotice notice);

    QString m_errorText;
    QString m_probeError;  // why the default device's probe failed (empty when it did not)
    uint8_t m_streamReady = 0;
    SoundIoDevice* m_device = nullptr;
    PlanarRingBuffer* m_peakRing = nullptr;
    std::atomic<uint8_t> m_peaksEnabled{1};
    SoundIo* m_context = nullptr;
    SoundIo* m_jackContext = nullptr;  // the monitor's own, connected to a JACK server (owned)
    // The libjack clients of that connection and of its stream (jack_calls.h): whether
    // each opened, and when, as the JACK thread saw it.
    std::shared_ptr<JackClientState> m_jackClient;
    std::shared_ptr<JackClientState> m_streamClient;
    // How long the GUI thread waits for a JACK call that opens or starts something:
    // kServerProbeMs for the start's stream, kServerAnswerMs afterwards.
    int m_jackWaitMs = kServerProbeMs;
    AudioOutputTap* m_tap = nullptr;  // the test seam's observer, on every output record
    SoundIoOutStream* m_stream = nullptr;
    PulseOutput* m_pulse = nullptr;  // the sound server's connection and stream, when on one
    AlsaOutput* m_alsa = nullptr;    // the stream of our own on an ALSA device, when on one
    uint8_t m_streamStarted = 0;
    uint8_t m_corked = 0;  // the stream is paused in the library (no write callbacks come)
    AudioOutputData* m_outputData = nullptr;
    PlanarRingBuffer* m_sourceRing = nullptr;
    std::atomic<uint64_t> m_meterMuteMask{0};
    AudioLayoutConverter m_converter;
    uint8_t m_converterReady = 0;
    uint8_t m_direct = 0;
    std::atomic<uint64_t> m_muteMask{0};
    float* m_silence = nullptr;
    float m_gain = 1.0f;
    mutable QMutex m_gainLock;
    std::atomic<uint8_t> m_muteFlag{0};
    std::atomic<uint8_t> m_previewFlag{0};
    std::atomic<uint64_t> m_previewBudget{0};
    uint32_t m_sourceLayout = 1;
    uint32_t m_outputLayout = 1;
    uint32_t m_sourceChannels = 2;
    uint32_t m_outputChannels = 2;
    uint32_t m_requestedChannels = 0;
    uint32_t m_deviceRate = kFrequency;
    uint32_t m_fillFrames = kOutputRingFrames;
    OutputResampler m_resampler;
    float* m_rateScratch = nullptr;  // the mix at 48000 Hz before its rate conversion, planar
    int m_lostBackend = 0;  // the SoundIoBackend that went away; 0 (none) while connected
    bool m_jackUnanswered = false;  // the start's JACK server did not answer, nor has since
    QString m_serverFailure;  // why the sound server last failed to connect or to open a stream
    std::thread m_mixThread;
    std::atomic<uint8_t> m_running{0};
    std::atomic<uint8_t> m_stop{0};
    std::atomic<uint8_t> m_mixingHeld{0};
};
