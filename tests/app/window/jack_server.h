#pragma once
// A JACK server of the test's own: jackd (jack2) with its dummy driver, which runs the
// graph on a timer at the rate and period asked for, under a name of its own that the
// whole process is pointed to (JACK_DEFAULT_SERVER), so the player's JACK client finds
// it and never starts a server itself. While it lives, no PulseAudio server of the
// machine is reachable (PULSE_SERVER unset, XDG_RUNTIME_DIR an empty folder of its
// own). `Recorder` reads back what another client plays, sample for sample, through a
// JACK client of its own connected to that client's output ports.
//
// GUI thread only (start() waits while Qt's events run); the recorder's data can be read
// from there while it records. Needs jackd, jack_bufsize and jack_lsp (jackd2);
// `available()` says whether they are there.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "tests/app/window/scoped_env.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

class JackServer {
public:
    struct Options {
        int rate = 48000;
        int period = 1024;  // frames of one cycle
        int ports = 2;      // playback ports ("system:playback_1", ...)
        // The server waits for every client each cycle. Without, a client after another
        // in the graph misses or repeats one cycle of it when a stall ends, and the
        // recorder would hear a fault the player did not make.
        bool synchronous = true;
    };

    JackServer();
    explicit JackServer(const Options& options);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    static bool available();

    // Starts the server (again, under the same name, after a kill); true once it answers.
    // Clients of a killed server have to be closed before a client of this process
    // opens again: libjack then frees them itself.
    bool start();
    // Stops and continues the server (SIGSTOP, SIGCONT), as a hang or a suspended machine
    // would: its clients' callbacks stop with it.
    void stop();
    void resume();
    // Kills the server as a crash would (SIGKILL): its clients are shut down.
    void kill();
    // Runs the graph `frames` frames a cycle from now on (jack_bufsize); true once the
    // server reports the new size.
    bool setPeriod(int frames);

    int rate() const { return m_options.rate; }
    int period() const { return m_options.period; }
    const QString& name() const { return m_name; }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    // The short names of the output ports of the first client whose name starts with
    // `clientPrefix`, in the order JACK lists them; empty when there is no such client.
    QStringList outputPorts(const QString& clientPrefix) const;

    // Records the output ports of another client from the moment they are connected, up
    // to a capacity (frames past it are dropped). Resume a stopped server before the
    // recorder stops: closing its client waits for the server. Its client opens and
    // closes in this process, on the player's JACK thread (audio/jack_calls.h), in turn
    // with the player's own JACK calls: see start() about a killed server.
    class Recorder {
    public:
        // Input c records the source's port named portNames[c], or with no names, the
        // source's c-th output port as JACK lists them.
        Recorder(const JackServer& server, const QString& sourceClientPrefix, int channels,
                 std::vector<QString> portNames = {}, int capacitySeconds = 60);
        ~Recorder();
        Recorder(const Recorder&) = delete;
        Recorder& operator=(const Recorder&) = delete;

        // Opens the client and connects it to the source, which may appear within 5 s
        // (Qt's events run meanwhile), and records from there on afresh; false when the
        // source does not come, or lacks a port.
        bool start();
        void stop();
        size_t frames() const { return m_frames.load(std::memory_order_acquire); }
        // The samples of a channel recorded so far.
        std::vector<float> channel(int c) const;

    private:
        static int process(uint32_t frames, void* recorder);
        static void shutDown(void* recorder);
        bool connect();
        static int onJackThread(const std::function<int()>& call);
        const JackServer& m_server;
        const QString m_source;
        const std::vector<QString> m_portNames;
        const size_t m_capacity;
        jack_client_t* m_client = nullptr;
        uint64_t m_reapsAtOpen = 0;  // jack_reaps() when the client opened
        std::vector<jack_port_t*> m_ports;
        std::vector<std::vector<float>> m_channels;
        std::atomic<bool> m_recording{false};
        std::atomic<bool> m_shutDown{false};
        std::atomic<size_t> m_frames{0};
    };

    // Stops the server (SIGSTOP) the moment the `count`-th client that is not the test's
    // own (its recorders) registers on it, counting only clients whose name starts with
    // `clientPrefix` when one is given, as a server that hangs just as a client comes,
    // and continues it `stopMs` later, whatever the test is waiting on then (a negative
    // `stopMs`: never; the test continues or kills it). The server's events are watched
    // by jack_evmon in a process of its own (a client of this process would be shut out
    // by the stop), read on a thread of the trap's.
    class StopOnClient {
    public:
        StopOnClient(const JackServer& server, int count, int stopMs, const QString& clientPrefix = {});
        ~StopOnClient();
        StopOnClient(const StopOnClient&) = delete;
        StopOnClient& operator=(const StopOnClient&) = delete;

        // Starts watching (the server must run); true once the watcher is connected.
        bool start();
        // The server was stopped (and is continued, or will be, `stopMs` after).
        bool fired() const { return m_fired.load(); }
        // Waits until the server was continued (at once when it never stopped).
        void waitUntilContinued();

    private:
        void watch(int output);
        const JackServer& m_server;
        const int m_count;
        const int m_stopMs;
        const std::string m_prefix;
        pid_t m_watcher = -1;
        std::thread m_reader;
        std::atomic<bool> m_connected{false};
        std::atomic<bool> m_fired{false};
        std::thread m_continuer;
    };

private:
    // A tool of jackd2 run against this server; its output, or nothing on failure.
    std::optional<QByteArray> tool(const QString& program, const QStringList& arguments) const;
    void removeLeftovers() const;
    Options m_options;
    const QString m_name;
    QTemporaryDir m_runtime;
    QProcess m_process;
    // Restored when the server is gone (the last members go first).
    std::vector<std::unique_ptr<ScopedEnv>> m_environment;
};
