#pragma once
// A PulseAudio server of the test's own, as a desktop runs one: started in user mode
// in a temporary runtime folder, with its own socket and no autospawn, and pointed to
// by PULSE_SERVER for the whole process. Its null sink "out" takes float32 stereo at
// 48 kHz, so what the player plays reaches the sink's monitor sample for sample, and
// `Recorder` reads that monitor back through parec.
//
// GUI thread only (the recorder reads in Qt's event loop). Needs the programs
// pulseaudio, pactl and parec; `available()` says whether they are there.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <vector>

class PulseServer {
public:
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    static bool available();

    // Starts the server (again, on the same socket, after a kill), with the null sink
    // or without any sink; true once it answers.
    bool start(bool withSink = true);
    // Kills the server as a crash would (SIGKILL), or stops and continues it (SIGSTOP,
    // SIGCONT) as a hang or a suspended machine would.
    void kill();
    void stop();
    void resume();
    // Adds the null sink "out" to a running server.
    bool loadSink();
    bool running() const { return m_server.state() == QProcess::Running; }
    qint64 pid() const { return m_server.processId(); }

    // Runs pactl on this server; its output, empty on failure.
    QByteArray pactl(const QStringList& arguments, int timeoutMs = 5000) const;

    // The monitor of "out" as float32 stereo at 48 kHz, read while the event loop runs.
    class Recorder {
    public:
        explicit Recorder(const PulseServer& server);
        ~Recorder();
        bool start();
        void stop();
        // Left channel samples read so far.
        const std::vector<float>& left() const { return m_left; }
        size_t frames() const { return m_left.size(); }

    private:
        void read();
        const PulseServer& m_server;
        QProcess m_process;
        QByteArray m_pending;
        std::vector<float> m_left;
    };

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QByteArray m_previousServer;
    QByteArray m_previousConfig;
    QByteArray m_previousRuntime;
    QString socketPath() const;
    QString serverAddress() const;
};
