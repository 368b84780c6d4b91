#include "tests/app/window/pulse_server.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/prctl.h>

namespace {

// The server and the recorder end with the test program, even when it crashes: left
// running, they would hold its output open and keep the test runner waiting.
void end_with_parent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// The sound server's programs run as they are, without what a sanitizer run of the
// tests preloads into its own children.
QProcessEnvironment program_environment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_PRELOAD");
    return env;
}

// What the program says on its standard error goes to the test's, or to `errorFile`.
bool launch(QProcess& process, const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
            const QString& errorFile = {}) {
    process.setProcessEnvironment(env);
    if (errorFile.isEmpty()) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    } else {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setStandardErrorFile(errorFile, QIODevice::Append);
    }
    end_with_parent(process);
    process.start(program, arguments);
    return process.waitForStarted(5000);
}

// Waits for `ready` while `process` runs.
template <typename Ready>
bool wait_for(const QProcess& process, const QDeadlineTimer& deadline, Ready ready) {
    while (!deadline.hasExpired()) {
        if (process.state() != QProcess::Running) return false;
        if (ready()) return true;
        QThread::msleep(20);
    }
    return false;
}

void end(QProcess& process, bool crash) {
    if (process.state() == QProcess::NotRunning) return;
    ::kill(pid_t(process.processId()), SIGCONT);
    if (!crash) {
        process.terminate();
        if (process.waitForFinished(3000)) return;
    }
    process.kill();
    process.waitForFinished(3000);
}

}  // namespace

PulseServer::PulseServer(Kind kind) : m_kind(kind) {
    // Clients of this process find this server, never start one of their own, and keep
    // their runtime files in the test's folder.
    QFile config(m_dir.filePath("client.conf"));
    if (config.open(QIODevice::WriteOnly)) config.write("autospawn = no\n");
    m_environment.emplace_back(std::make_unique<ScopedEnv>("PULSE_SERVER", serverAddress().toUtf8()));
    m_environment.emplace_back(std::make_unique<ScopedEnv>("PULSE_CLIENTCONFIG", config.fileName().toUtf8()));
    m_environment.emplace_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", m_dir.path().toUtf8()));
}

PulseServer::~PulseServer() {
    for (QProcess* process : processes()) end(*process, false);
}

bool PulseServer::available(Kind kind) {
    QStringList programs{"pactl", "parec"};
    if (kind == Kind::PulseAudio) programs << "pulseaudio";
    else programs << "pipewire" << "wireplumber" << "pipewire-pulse" << "pw-metadata" << "dbus-daemon";
    for (const QString& program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty()) return false;
    return true;
}

// pipewire-pulse makes its socket in the runtime folder's "pulse".
QString PulseServer::socketPath() const {
    return m_dir.filePath(m_kind == Kind::PipeWire ? "pulse/native" : "native");
}
QString PulseServer::serverAddress() const { return "unix:" + socketPath(); }

QProcessEnvironment PulseServer::serverEnvironment() const {
    QProcessEnvironment env = program_environment();
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) env.insert(name, m_dir.path());
    env.remove("PULSE_SERVER");
    env.remove("DISPLAY");
    return env;
}

bool PulseServer::start(bool withSink) {
    if (running()) return false;
    QFile::remove(socketPath());
    if (m_kind == Kind::PipeWire) return startPipeWire() && (!withSink || (loadSink() && setDefaultSink("out")));
    QProcessEnvironment env = serverEnvironment();
    env.insert("PULSE_RUNTIME_PATH", m_dir.filePath("runtime"));
    env.insert("PULSE_STATE_PATH", m_dir.filePath("state"));
    QStringList arguments{"-n",
                          "--daemonize=no",
                          "--use-pid-file=no",
                          "--exit-idle-time=-1",
                          "--disallow-exit",
                          "--log-level=error",
                          "--log-target=stderr",
                          "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath(),
                          // The default source, before any monitor: when the default sink
                          // changes, the server moves the recordings of the old default's
                          // monitor, which would then hear another sink.
                          "--load=module-null-source source_name=silence",
                          // What a desktop's server loads besides its cards: sinks that
                          // come and go are followed, remembered and suspended when idle.
                          "--load=module-stream-restore",
                          "--load=module-default-device-restore",
                          "--load=module-switch-on-connect",
                          "--load=module-suspend-on-idle"};
    if (withSink) arguments << "--load=module-null-sink sink_name=out format=float32le rate=48000 channels=2";
    if (!launch(m_server, "pulseaudio", arguments, env)) return false;
    return wait_for(m_server, QDeadlineTimer(10000),
                    [this] { return QFile::exists(socketPath()) && !pactl({"info"}, 2000).isEmpty(); });
}

bool PulseServer::startPipeWire() {
    // What is left of a server whose clients' side died (a test may kill that alone).
    for (QProcess* process : processes()) end(*process, true);
    const QString bus = m_dir.filePath("bus");
    const QString graph = m_dir.filePath("pipewire-0");
    for (const QString& socket : {bus, graph}) QFile::remove(socket);
    QProcessEnvironment env = serverEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + bus);
    env.insert("PIPEWIRE_RUNTIME_DIR", m_dir.path());
    for (const char* name : {"PIPEWIRE_REMOTE", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"}) env.remove(name);
    // Errors only, on standard error.
    env.insert("PIPEWIRE_DEBUG", "1");
    env.insert("WIREPLUMBER_DEBUG", "1");
    env.insert("PIPEWIRE_LOG_SYSTEMD", "false");
    const QDeadlineTimer deadline(10000);
    // Its log only goes to the system's: it tells nothing a test needs (only that this
    // machine caps its open files).
    if (!launch(m_bus, "dbus-daemon", {"--session", "--nofork", "--syslog-only", "--address=unix:path=" + bus}, env) ||
        !wait_for(m_bus, deadline, [&] { return QFile::exists(bus); }))
        return false;
    if (!launch(m_pipewire, "pipewire", {}, env) ||
        !wait_for(m_pipewire, deadline, [&] { return QFile::exists(graph); }))
        return false;
    QProcessEnvironment frontEnd = env;
    if (m_frontEndLog) frontEnd.insert("PIPEWIRE_DEBUG", "2");
    if (!launch(m_sessionManager, "wireplumber", {}, env) ||
        !launch(m_server, "pipewire-pulse", {}, frontEnd, m_frontEndLog ? m_dir.filePath("front_end.log") : QString()))
        return false;
    // The session manager has started once it names a default sink (pipewire-pulse's
    // "auto_null" when there is no other); before, it links no stream.
    return wait_for(m_server, deadline, [this] {
        const QByteArray sink = pactl({"get-default-sink"}, 2000).trimmed();
        return !sink.isEmpty() && sink != "@DEFAULT_SINK@" && m_sessionManager.state() == QProcess::Running;
    });
}

QByteArray PulseServer::frontEndLog() const {
    QFile log(m_dir.filePath("front_end.log"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

void PulseServer::kill() {
    for (QProcess* process : processes()) end(*process, true);
}

void PulseServer::stop() {
    if (running()) ::kill(pid_t(m_server.processId()), SIGSTOP);
}

void PulseServer::resume() {
    if (running()) ::kill(pid_t(m_server.processId()), SIGCONT);
}

void PulseServer::stopWhole() {
    stop();
    if (m_kind == Kind::PipeWire && m_pipewire.state() == QProcess::Running)
        ::kill(pid_t(m_pipewire.processId()), SIGSTOP);
}

void PulseServer::resumeWhole() {
    if (m_kind == Kind::PipeWire && m_pipewire.state() == QProcess::Running)
        ::kill(pid_t(m_pipewire.processId()), SIGCONT);
    resume();
}

bool PulseServer::loadSink() { return !loadSink(Sink{}).isEmpty(); }

QString PulseServer::loadSink(const Sink& sink) {
    QStringList arguments{"load-module", "module-null-sink", "sink_name=" + sink.name, "format=float32le", "rate=48000",
                          "channels=" + QString::number(sink.channels)};
    if (!sink.channelMap.isEmpty()) arguments << "channel_map=" + sink.channelMap;
    return QString::fromUtf8(pactl(arguments).trimmed());
}

bool PulseServer::unloadSink(const QString& moduleIndex) { return !pactl({"unload-module", moduleIndex}).isEmpty(); }

bool PulseServer::unloadAllSinks() {
    // pactl tells a name that matches no module, but exits with success all the same.
    return !pactl({"unload-module", "module-null-sink"}).isEmpty() &&
           !pactl({"list", "short", "modules"}).contains("module-null-sink");
}

bool PulseServer::setDefaultSink(const QString& name) {
    // PipeWire's session manager takes the choice in a while, and refuses it before it
    // has started.
    const QDeadlineTimer deadline(5000);
    do {
        if (!pactl({"set-default-sink", name}).isEmpty() && pactl({"get-default-sink"}).trimmed() == name.toUtf8())
            return true;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return false;
}

bool PulseServer::killPlayingStreams() {
    std::vector<uint32_t> streams;
    for (const QByteArray& line : pactl({"list", "short", "sink-inputs"}).split('\n'))
        if (!line.trimmed().isEmpty()) streams.push_back(line.split('\t').value(0).toUInt());
    if (streams.empty()) return false;
    // pactl of PulseAudio 16 has no command for this request: it goes through libpulse.
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "test kill");
    const QDeadlineTimer deadline(5000);
    const auto run_until = [&](const std::function<bool()>& done) {
        while (!done() && !deadline.hasExpired() && PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
            pa_mainloop_iterate(loop, 0, nullptr);
            QThread::msleep(1);
        }
        return done();
    };
    const QByteArray address = serverAddress().toUtf8();
    bool killed = pa_context_connect(context, address.constData(), PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
                  run_until([&] { return pa_context_get_state(context) == PA_CONTEXT_READY; });
    for (uint32_t stream : streams) {
        if (!killed) break;
        int success = -1;
        pa_operation* operation = pa_context_kill_sink_input(
            context, stream, [](pa_context*, int ok, void* result) { *static_cast<int*>(result) = ok; }, &success);
        killed = operation && run_until([&] { return success != -1; }) && success == 1;
        if (operation) pa_operation_unref(operation);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return killed;
}

bool PulseServer::setQuantum(int frames) {
    if (m_kind != Kind::PipeWire || !running()) return false;
    QProcessEnvironment env = program_environment();
    env.insert("XDG_RUNTIME_DIR", m_dir.path());
    env.insert("PIPEWIRE_RUNTIME_DIR", m_dir.path());
    env.remove("PIPEWIRE_REMOTE");
    const auto metadata = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start("pw-metadata", QStringList{"-n", "settings", "0", "clock.force-quantum"} + arguments);
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(1000);
            return QByteArray();
        }
        const bool done = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        return done ? process.readAllStandardOutput() : QByteArray();
    };
    const QString value = QString::number(frames);
    return !metadata({value}).isEmpty() && metadata({}).contains("value:'" + value.toUtf8() + "'");
}

QByteArray PulseServer::pactl(const QStringList& arguments, int timeoutMs) const {
    QProcess process;
    process.setProcessEnvironment(program_environment());
    process.start("pactl", QStringList{"-s", serverAddress()} + arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    const QByteArray out = process.readAllStandardOutput();
    return out.isEmpty() ? QByteArray("\n") : out;
}

PulseServer::Recorder::Recorder(const PulseServer& server, const QString& sink, int channels,
                                const QString& channelMap)
    : m_server(server), m_sink(sink), m_channelMap(channelMap), m_channels(size_t(channels)) {
    end_with_parent(m_process);
    m_process.setProcessEnvironment(program_environment());
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
    // PulseAudio moves a recording whose sink goes to its default source, the silent one
    // (see start()): the recording ends there, as on PipeWire.
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
        const QByteArray told = m_process.readAllStandardError();
        if (told.contains("Stream successfully created")) m_connected = true;
        if (told.contains("Stream moved")) m_process.kill();
    });
}

PulseServer::Recorder::~Recorder() { stop(); }

bool PulseServer::Recorder::begin() {
    // Kept on its sink, and ended with it: PipeWire's session manager would move the
    // recording to the next default sink (see start() for PulseAudio's), or to another
    // when the sink goes, and it would hear that one. Verbose, to tell a move.
    QStringList arguments{"-s", m_server.serverAddress(), "-d", m_sink + ".monitor", "--property=node.dont-reconnect=true",
                          "--verbose", "--raw", "--format=float32le", "--rate=48000",
                          "--channels=" + QString::number(m_channels.size()), "--latency-msec=10"};
    if (!m_channelMap.isEmpty()) arguments << "--channel-map=" + m_channelMap;
    m_connected = false;
    m_process.start("parec", arguments);
    return m_process.waitForStarted(5000);
}

bool PulseServer::Recorder::waitForSamples() {
    // The recording counts from its first samples.
    const bool recording = QTest::qWaitFor([this] { return frames() > 0; }, 5000);
    for (std::vector<float>& samples : m_channels) samples.clear();
    return recording;
}

bool PulseServer::Recorder::start() { return begin() && waitForSamples(); }

bool PulseServer::Recorder::startOnNewSink() {
    if (!begin()) return false;
    if (m_server.m_kind == Kind::PulseAudio) {
        const bool restarted = QTest::qWaitFor([this] { return m_connected; }, 5000) &&
                               !m_server.pactl({"suspend-sink", m_sink, "1"}).isEmpty() &&
                               !m_server.pactl({"suspend-sink", m_sink, "0"}).isEmpty();
        if (!restarted) return false;
    }
    return waitForSamples();
}

void PulseServer::Recorder::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

void PulseServer::Recorder::read() {
    m_pending += m_process.readAllStandardOutput();
    const int frameBytes = int(m_channels.size() * sizeof(float));
    const int frames = m_pending.size() / frameBytes;
    for (size_t c = 0; c < m_channels.size(); ++c) {
        std::vector<float>& samples = m_channels[c];
        const size_t at = samples.size();
        samples.resize(at + size_t(frames));
        for (int i = 0; i < frames; ++i)
            std::memcpy(&samples[at + size_t(i)], m_pending.constData() + i * frameBytes + c * sizeof(float), sizeof(float));
    }
    m_pending.remove(0, frames * frameBytes);
}
