#pragma once
// A sound server of the test's own, as a desktop runs one: PulseAudio, or PipeWire with
// its PulseAudio server (pipewire, wireplumber and pipewire-pulse on a session bus of
// their own), started in user mode in a temporary runtime folder, with its own socket
// and no autospawn, and pointed to by PULSE_SERVER for the whole process. Its null sink
// "out" takes float32 stereo at 48 kHz, so what the player plays reaches the sink's
// monitor sample for sample, and `Recorder` reads that monitor back through parec.
// Sinks of other names and channel counts can come and go while it runs. On PipeWire a
// server without any sink of the test's shows pipewire-pulse's stand-in "auto_null", as
// a desktop's does; PulseAudio's default source is a silent null source.
//
// GUI thread only (the recorder reads in Qt's event loop). Needs the programs
// pulseaudio or pipewire, wireplumber, pipewire-pulse, pw-metadata and dbus-daemon, and
// pactl and parec; `available()` says whether they are there.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <array>
#include <memory>
#include <vector>

#include "tests/app/window/scoped_env.h"

class PulseServer {
public:
    enum class Kind { PulseAudio, PipeWire };
    // A null sink; an empty channel map is the server's default for the count.
    struct Sink {
        QString name = "out";
        int channels = 2;
        QString channelMap;  // as pactl takes it, e.g. "front-left,front-right,front-center,lfe,rear-left,rear-right"
    };

    explicit PulseServer(Kind kind = Kind::PulseAudio);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    static bool available(Kind kind = Kind::PulseAudio);

    // Starts the server (again, on the same socket, after a kill), with the null sink
    // "out" as the default or without any sink; true once it answers (and names "out"
    // its default).
    bool start(bool withSink = true);
    // Kills the server, all its processes, as a crash would (SIGKILL), or stops and
    // continues the process that serves the clients (SIGSTOP, SIGCONT) as a hang or a
    // suspended machine would.
    void kill();
    void stop();
    void resume();
    // Stops and continues the whole server: on PipeWire its graph too (pipewire with
    // pipewire-pulse), so nothing of it runs meanwhile, as on a hang of the machine's
    // sound; on PulseAudio the same as stop() and resume().
    void stopWhole();
    void resumeWhole();
    // Adds the null sink "out" to a running server.
    bool loadSink();
    // Adds a null sink (float32 at 48 kHz); its module's index, empty on failure.
    QString loadSink(const Sink& sink);
    bool unloadSink(const QString& moduleIndex);
    // Removes every null sink at once.
    bool unloadAllSinks();
    // True once the server names the sink as its default.
    bool setDefaultSink(const QString& name);
    // Ends every stream that plays on the server, as a mixer's kill of a stream does
    // (the server's kill-sink-input request); false when none played or one was refused.
    bool killPlayingStreams();
    // Forces PipeWire's graph to run `frames` frames a cycle (0 lifts it), as Bluetooth
    // or power saving does; true once the server holds the setting. False on PulseAudio.
    bool setQuantum(int frames);
    bool running() const { return m_server.state() == QProcess::Running; }
    // PipeWire: its PulseAudio server (pipewire-pulse) logs its warnings into a file of
    // the server's folder from its next start on, rather than its errors to the test's
    // output; frontEndLog() reads what it logged so far (empty on PulseAudio).
    void logFrontEndWarnings() { m_frontEndLog = true; }
    QByteArray frontEndLog() const;
    // The process that serves the clients.
    qint64 pid() const { return m_server.processId(); }

    // Runs pactl on this server; its output, empty on failure.
    QByteArray pactl(const QStringList& arguments, int timeoutMs = 5000) const;

    // A sink's monitor as float32 at 48 kHz, read while the event loop runs. It stays on
    // its sink whatever the default, and ends when the sink goes (on PulseAudio after a
    // moment of silence).
    class Recorder {
    public:
        explicit Recorder(const PulseServer& server, const QString& sink = "out", int channels = 2,
                          const QString& channelMap = {});
        ~Recorder();
        bool start();
        // start() on a sink that has just come (loaded, or its server started) before
        // anything plays on it: on PulseAudio a null sink nobody uses renders its first
        // two seconds at once, and a stream that comes meanwhile without prebuffering
        // (the player's) is heard that much late. Suspended and resumed once the
        // recording is connected, the sink runs afresh at the recording's latency, as a
        // card in use does.
        bool startOnNewSink();
        void stop();
        // Samples of a channel read so far.
        const std::vector<float>& channel(int c) const { return m_channels[size_t(c)]; }
        const std::vector<float>& left() const { return m_channels[0]; }
        size_t frames() const { return m_channels[0].size(); }

    private:
        void read();
        bool begin();
        bool waitForSamples();
        const PulseServer& m_server;
        const QString m_sink;
        const QString m_channelMap;
        QProcess m_process;
        bool m_connected = false;  // the server has made the recording stream
        QByteArray m_pending;
        std::vector<std::vector<float>> m_channels;
    };

private:
    const Kind m_kind;
    QTemporaryDir m_dir;
    bool m_frontEndLog = false;
    // PipeWire's own processes; the server of the clients is m_server, on both kinds.
    QProcess m_bus;
    QProcess m_pipewire;
    QProcess m_sessionManager;
    QProcess m_server;
    // Restored once the processes have ended.
    std::vector<std::unique_ptr<ScopedEnv>> m_environment;
    // Every process, the server of the clients first.
    std::array<QProcess*, 4> processes() { return {&m_server, &m_sessionManager, &m_pipewire, &m_bus}; }
    QProcessEnvironment serverEnvironment() const;
    bool startPipeWire();
    QString socketPath() const;
    QString serverAddress() const;
};
