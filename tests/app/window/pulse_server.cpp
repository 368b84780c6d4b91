#include "tests/app/window/pulse_server.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>

namespace {

const char* const kSink = "module-null-sink sink_name=out format=float32le rate=48000 channels=2";

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

}  // namespace

PulseServer::PulseServer()
    : m_previousServer(qgetenv("PULSE_SERVER")),
      m_previousConfig(qgetenv("PULSE_CLIENTCONFIG")),
      m_previousRuntime(qgetenv("XDG_RUNTIME_DIR")) {
    // Clients of this process find this server, never start one of their own, and keep
    // their runtime files in the test's folder.
    QFile config(m_dir.filePath("client.conf"));
    if (config.open(QIODevice::WriteOnly)) config.write("autospawn = no\n");
    qputenv("PULSE_SERVER", serverAddress().toUtf8());
    qputenv("PULSE_CLIENTCONFIG", m_dir.filePath("client.conf").toUtf8());
    qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
}

PulseServer::~PulseServer() {
    if (running()) {
        resume();
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) kill();
    }
    const std::pair<const char*, const QByteArray&> previous[] = {
        {"PULSE_SERVER", m_previousServer}, {"PULSE_CLIENTCONFIG", m_previousConfig}, {"XDG_RUNTIME_DIR", m_previousRuntime}};
    for (const auto& [name, value] : previous) value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
}

bool PulseServer::available() {
    return !QStandardPaths::findExecutable("pulseaudio").isEmpty() &&
           !QStandardPaths::findExecutable("pactl").isEmpty() && !QStandardPaths::findExecutable("parec").isEmpty();
}

QString PulseServer::socketPath() const { return m_dir.filePath("native"); }
QString PulseServer::serverAddress() const { return "unix:" + socketPath(); }

bool PulseServer::start(bool withSink) {
    if (running()) return false;
    QFile::remove(socketPath());
    QProcessEnvironment env = program_environment();
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) env.insert(name, m_dir.path());
    env.insert("PULSE_RUNTIME_PATH", m_dir.filePath("runtime"));
    env.insert("PULSE_STATE_PATH", m_dir.filePath("state"));
    env.remove("PULSE_SERVER");
    env.remove("DISPLAY");
    m_server.setProcessEnvironment(env);
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    end_with_parent(m_server);
    QStringList arguments{"-n",
                          "--daemonize=no",
                          "--use-pid-file=no",
                          "--exit-idle-time=-1",
                          "--disallow-exit",
                          "--log-level=error",
                          "--log-target=stderr",
                          "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath()};
    if (withSink) arguments << QString("--load=") + kSink;
    m_server.start("pulseaudio", arguments);
    if (!m_server.waitForStarted(5000)) return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!running()) return false;
        if (QFile::exists(socketPath()) && !pactl({"info"}, 2000).isEmpty()) return true;
        QThread::msleep(20);
    }
    return false;
}

void PulseServer::kill() {
    if (!running()) return;
    m_server.kill();
    m_server.waitForFinished(3000);
}

void PulseServer::stop() {
    if (running()) ::kill(pid_t(m_server.processId()), SIGSTOP);
}

void PulseServer::resume() {
    if (running()) ::kill(pid_t(m_server.processId()), SIGCONT);
}

bool PulseServer::loadSink() {
    const QStringList words = QString(kSink).split(' ');
    return !pactl(QStringList{"load-module"} + words).isEmpty();
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

PulseServer::Recorder::Recorder(const PulseServer& server) : m_server(server) {
    end_with_parent(m_process);
    m_process.setProcessEnvironment(program_environment());
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
}

PulseServer::Recorder::~Recorder() { stop(); }

bool PulseServer::Recorder::start() {
    m_process.start("parec", {"-s", m_server.serverAddress(), "-d", "out.monitor", "--raw", "--format=float32le",
                              "--rate=48000", "--channels=2", "--latency-msec=10"});
    if (!m_process.waitForStarted(5000)) return false;
    // The recording counts from its first samples.
    const bool recording = QTest::qWaitFor([this] { return !m_left.empty(); }, 5000);
    m_left.clear();
    return recording;
}

void PulseServer::Recorder::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

void PulseServer::Recorder::read() {
    m_pending += m_process.readAllStandardOutput();
    constexpr int kFrameBytes = 2 * sizeof(float);
    const int frames = m_pending.size() / kFrameBytes;
    const size_t at = m_left.size();
    m_left.resize(at + size_t(frames));
    for (int i = 0; i < frames; ++i) std::memcpy(&m_left[at + size_t(i)], m_pending.constData() + i * kFrameBytes, 4);
    m_pending.remove(0, frames * kFrameBytes);
}
