#include "tests/app/window/jack_server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <jack/jack.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/jack_calls.h"

namespace {

// jack2 keeps its sockets and semaphores in /dev/shm whatever the environment says.
const QString kShm = "/dev/shm";

QString unique_name() {
    static int count = 0;
    return QString("hapt-%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
}

// The first client whose name starts with `prefix`, among full port names in JACK's
// order, and the short names of its ports among them.
struct Source {
    QString client;
    QStringList ports;
};

Source find_source(const QStringList& fullNames, const QString& prefix) {
    Source source;
    for (const QString& full : fullNames) {
        // A client's name ends at the first colon; a port's name may hold more.
        const QString owner = full.section(':', 0, 0);
        if (source.client.isEmpty() && owner.startsWith(prefix)) source.client = owner;
        if (!source.client.isEmpty() && owner == source.client) source.ports << full.section(':', 1);
    }
    return source;
}

}  // namespace

JackServer::JackServer() : JackServer(Options{}) {}

JackServer::JackServer(const Options& options) : m_options(options), m_name(unique_name()) {
    // Every client of this process finds this server and no other, never starts one of
    // its own, and reaches no PulseAudio server of the machine.
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment.emplace_back(std::make_unique<ScopedEnv>("JACK_DEFAULT_SERVER", m_name.toUtf8()));
    m_environment.emplace_back(std::make_unique<ScopedEnv>("JACK_NO_START_SERVER", QByteArray("1")));
    m_environment.emplace_back(std::make_unique<ScopedEnv>("PULSE_SERVER", std::nullopt));
    m_environment.emplace_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", m_runtime.path().toUtf8()));
}

JackServer::~JackServer() {
    if (running()) {
        resume();
        m_process.terminate();
        if (!m_process.waitForFinished(2000)) kill();
    }
    removeLeftovers();
}

bool JackServer::available() {
    for (const char* program : {"jackd", "jack_bufsize", "jack_lsp"})
        if (QStandardPaths::findExecutable(program).isEmpty()) return false;
    return true;
}

bool JackServer::start() {
    if (running()) return false;
    removeLeftovers();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // What a sanitizer run preloads into its children is not for the server.
    env.remove("LD_PRELOAD");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // Left running after a crash of the test, it would keep the test runner waiting.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // Realtime as JACK runs on a desktop; without the right to it, jackd says so and runs
    // all the same.
    QStringList arguments{"--name", m_name, "--silent"};
    if (m_options.synchronous) arguments << "--sync";
    arguments << "-d" << "dummy" << "-r" << QString::number(m_options.rate) << "-p" << QString::number(m_options.period)
              << "-P" << QString::number(m_options.ports) << "-C" << "0";
    m_process.start("jackd", arguments);
    if (!m_process.waitForStarted(5000)) return false;
    // Asked from another process: a client opened in this one would free the clients
    // here that a killed server left.
    const QString socket = QString("%1/jack_%2_%3_0").arg(kShm, m_name).arg(::getuid());
    const QDeadlineTimer deadline(5000);
    while (running() && !deadline.hasExpired()) {
        if (QFile::exists(socket) && tool("jack_bufsize", {}) == QByteArray::number(m_options.period)) return true;
        QThread::msleep(20);
    }
    return false;
}

void JackServer::stop() {
    if (running()) ::kill(pid_t(pid()), SIGSTOP);
}

void JackServer::resume() {
    if (running()) ::kill(pid_t(pid()), SIGCONT);
}

void JackServer::kill() {
    if (!running()) return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool JackServer::setPeriod(int frames) {
    if (!running() || !tool("jack_bufsize", {QString::number(frames)}) ||
        tool("jack_bufsize", {}) != QByteArray::number(frames))
        return false;
    m_options.period = frames;
    return true;
}

QStringList JackServer::outputPorts(const QString& clientPrefix) const {
    // Each port's full name, then its properties on an indented line.
    const QByteArray listed = tool("jack_lsp", {"--server", m_name, "--properties"}).value_or(QByteArray());
    const QList<QByteArray> lines = listed.split('\n');
    QStringList outputs;
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2)
        if (lines[i + 1].contains("output")) outputs << QString::fromUtf8(lines[i]);
    return find_source(outputs, clientPrefix).ports;
}

std::optional<QByteArray> JackServer::tool(const QString& program, const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_PRELOAD");
    env.insert("JACK_DEFAULT_SERVER", m_name);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
    return process.readAllStandardOutput().trimmed();
}

// What a killed server leaves in /dev/shm under its name; the next server start frees
// the shared memory segments of dead servers itself.
void JackServer::removeLeftovers() const {
    QDir shm(kShm);
    const QStringList filters{"jack_" + m_name + "_*", "jack_sem.*_" + m_name + "_*"};
    for (const QString& file : shm.entryList(filters, QDir::System | QDir::Files)) shm.remove(file);
}

JackServer::Recorder::Recorder(const JackServer& server, const QString& sourceClientPrefix, int channels,
                               std::vector<QString> portNames, int capacitySeconds)
    : m_server(server),
      m_source(sourceClientPrefix),
      m_portNames(std::move(portNames)),
      m_capacity(size_t(capacitySeconds) * size_t(server.rate())),
      m_channels(size_t(channels), std::vector<float>(m_capacity)) {}

JackServer::Recorder::~Recorder() { stop(); }

// On the process's JACK thread, in turn with the player's own JACK calls (see
// audio/jack_calls.h): a client of the test's opened meanwhile would otherwise close and
// delete the player's clients of a server that went away under a close of the player's.
int JackServer::Recorder::onJackThread(const std::function<int()>& call) {
    int result = -1;
    jack_call(call, -1, &result);
    return result;
}

bool JackServer::Recorder::start() {
    if (m_client) return false;
    m_shutDown = false;
    m_frames = 0;
    const bool activated = onJackThread([this] {
        jack_status_t status;
        const QByteArray server = m_server.name().toUtf8();
        const auto options = jack_options_t(JackNoStartServer | JackServerName);
        m_client = jack_client_open("recorder", options, &status, server.constData());
        m_reapsAtOpen = jack_reaps();
        if (!m_client) return 0;
        jack_on_shutdown(m_client, &Recorder::shutDown, this);
        for (size_t c = 0; c < m_channels.size(); ++c) {
            const QByteArray name = "in_" + QByteArray::number(qulonglong(c + 1));
            m_ports.push_back(
                jack_port_register(m_client, name.constData(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
        }
        return int(std::count(m_ports.begin(), m_ports.end(), nullptr) == 0 &&
                   jack_set_process_callback(m_client, &Recorder::process, this) == 0 && jack_activate(m_client) == 0);
    });
    if (!m_client) return false;
    // The player's client may only come once its window has opened its stream.
    const bool connected =
        activated && QTest::qWaitFor([this] { return onJackThread([this] { return int(connect()); }) == 1; }, 5000);
    if (!connected) stop();
    return connected;
}

bool JackServer::Recorder::connect() {
    QStringList outputs;
    const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    for (const char** port = ports; port && *port; ++port) outputs << QString::fromUtf8(*port);
    jack_free(ports);
    const Source source = find_source(outputs, m_source);
    QStringList chosen;
    if (m_portNames.empty()) chosen = source.ports.mid(0, int(m_ports.size()));
    else
        for (const QString& name : m_portNames)
            if (source.ports.contains(name)) chosen << name;
    if (size_t(chosen.size()) < m_ports.size()) return false;
    for (size_t c = 0; c < m_ports.size(); ++c) {
        const QByteArray from = (source.client + ':' + chosen[int(c)]).toUtf8();
        // A connection of an earlier try stands.
        const int error = jack_connect(m_client, from.constData(), jack_port_name(m_ports[c]));
        if (error != 0 && error != EEXIST) return false;
    }
    m_recording.store(true, std::memory_order_release);
    return true;
}

void JackServer::Recorder::stop() {
    if (!m_client) return;
    m_recording.store(false, std::memory_order_release);
    // The client of a server that went may be freed already (see start() of the server):
    // it is left to libjack.
    onJackThread([this] {
        if (!m_shutDown && !jack_client_reaped(m_reapsAtOpen)) {
            jack_deactivate(m_client);
            jack_client_close(m_client);
        }
        return 0;
    });
    m_client = nullptr;
    m_ports.clear();
}

std::vector<float> JackServer::Recorder::channel(int c) const {
    const std::vector<float>& samples = m_channels[size_t(c)];
    return {samples.begin(), samples.begin() + std::ptrdiff_t(frames())};
}

void JackServer::Recorder::shutDown(void* recorder) { static_cast<Recorder*>(recorder)->m_shutDown = true; }

// JACK's realtime thread: copies into what the constructor allocated, then publishes.
int JackServer::Recorder::process(uint32_t frames, void* recorder) {
    auto* self = static_cast<Recorder*>(recorder);
    if (!self->m_recording.load(std::memory_order_acquire)) return 0;
    const size_t at = self->m_frames.load(std::memory_order_relaxed);
    const size_t count = std::min(size_t(frames), self->m_capacity - at);
    if (count == 0) return 0;
    for (size_t c = 0; c < self->m_ports.size(); ++c) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(self->m_ports[c], frames));
        std::memcpy(self->m_channels[c].data() + at, in, count * sizeof(float));
    }
    self->m_frames.store(at + count, std::memory_order_release);
    return 0;
}

JackServer::StopOnClient::StopOnClient(const JackServer& server, int count, int stopMs, const QString& clientPrefix)
    : m_server(server), m_count(count), m_stopMs(stopMs), m_prefix(clientPrefix.toStdString()) {}

JackServer::StopOnClient::~StopOnClient() {
    if (m_watcher > 0) {
        ::kill(m_watcher, SIGTERM);
        ::waitpid(m_watcher, nullptr, 0);
    }
    // The watcher's end closes the pipe the reader reads.
    if (m_reader.joinable()) m_reader.join();
    if (m_continuer.joinable()) m_continuer.join();
}

bool JackServer::StopOnClient::start() {
    int pipe[2];
    if (m_watcher > 0 || ::pipe2(pipe, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    // Line by line, as the events come.
    char stdbuf[] = "stdbuf";
    char lines[] = "-oL";
    char evmon[] = "jack_evmon";
    char* argv[] = {stdbuf, lines, evmon, nullptr};
    // What a sanitizer run preloads into its children is not for the watcher.
    std::vector<char*> env;
    for (char** variable = environ; *variable; ++variable)
        if (std::strncmp(*variable, "LD_PRELOAD=", 11) != 0) env.push_back(*variable);
    env.push_back(nullptr);
    const int spawned = ::posix_spawnp(&m_watcher, "stdbuf", &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (spawned != 0) {
        m_watcher = -1;
        ::close(pipe[0]);
        return false;
    }
    m_reader = std::thread([this, output = pipe[0]] { watch(output); });
    // jack_evmon says nothing when it is connected: a client of the test's own that
    // comes and goes tells it.
    const QDeadlineTimer deadline(5000);
    while (!m_connected.load() && !m_fired.load() && !deadline.hasExpired()) {
        m_server.tool("jack_lsp", {});
        QThread::msleep(50);
    }
    return m_connected.load() || m_fired.load();
}

void JackServer::StopOnClient::waitUntilContinued() {
    if (m_fired.load() && m_continuer.joinable()) m_continuer.join();
}

// The reader's thread: the server is stopped at once, before the client that came can
// ask it anything more.
void JackServer::StopOnClient::watch(int output) {
    std::string line;
    char c;
    int seen = 0;
    while (::read(output, &c, 1) == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        // "Client NAME registered" (and "unregistered").
        const bool registered = line.rfind("Client ", 0) == 0 && line.size() > 18 &&
                                line.compare(line.size() - 11, 11, " registered") == 0;
        const std::string name = registered ? line.substr(7, line.size() - 18) : std::string();
        line.clear();
        if (!registered) continue;
        if (name.rfind("lsp", 0) == 0) {
            m_connected.store(true);
            continue;
        }
        if (name.rfind("recorder", 0) == 0 || m_fired.load()) continue;
        if (!m_prefix.empty() && name.rfind(m_prefix, 0) != 0) continue;
        if (++seen != m_count) continue;
        const pid_t pid = pid_t(m_server.pid());
        ::kill(pid, SIGSTOP);
        const int stopMs = m_stopMs;
        if (stopMs >= 0)
            m_continuer = std::thread([pid, stopMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(stopMs));
                ::kill(pid, SIGCONT);
            });
        // Told after the continuer exists, which the test's thread then joins.
        m_fired.store(true);
    }
    ::close(output);
}
