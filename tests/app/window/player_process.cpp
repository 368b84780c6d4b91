#include "tests/app/window/player_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>

namespace {

// xdotool's output, or nothing when it failed.
QString xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(5000)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

}  // namespace

PlayerProcess::PlayerProcess(const QString& movie) : m_movie(movie) {}

PlayerProcess::~PlayerProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool PlayerProcess::available() {
    return QFile::exists(HAP_PLAYER_EXECUTABLE) && !QStandardPaths::findExecutable("xdotool").isEmpty();
}

void PlayerProcess::setEnvironment(const QString& name, const QString& value) { m_extra.insert(name, value); }

bool PlayerProcess::start() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Its preferences are written where nobody else reads them.
    env.insert("HOME", m_home.path());
    env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
    // In the sanitizer build, the audio library's JACK backend leaks the list of every
    // device scan (see tests/lsan.supp), which the player's executable reports at its
    // end without the library's name to suppress it by: the window tests look for
    // leaks, not this one, whose end is timed.
    if (env.contains("ASAN_OPTIONS")) env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    env.insert(m_extra);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(HAP_PLAYER_EXECUTABLE, {m_movie});
    return m_process.waitForStarted(5000);
}

bool PlayerProcess::waitForWindow(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const QString pid = QString::number(m_process.processId());
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        // Top-level windows only: the picture's own native window is a child of the main
        // window, with the process's pid too, and viewable from the same moment. A search
        // that checks the main window just before it is mapped and its child just after
        // would otherwise find the child alone.
        const QString found = xdotool({"search", "--maxdepth", "1", "--onlyvisible", "--pid", pid});
        if (!found.isEmpty()) {
            m_window = found.section('\n', 0, 0);
            return true;
        }
        QTest::qWait(20);
    }
    return false;
}

QString PlayerProcess::title() const { return m_window.isEmpty() ? QString() : xdotool({"getwindowname", m_window}); }

bool PlayerProcess::key(const QString& keys) {
    if (m_window.isEmpty()) return false;
    // No window manager gives it the focus: the keys go where the focus is.
    xdotool({"windowfocus", "--sync", m_window});
    QProcess tool;
    tool.start("xdotool", {"key", keys});
    return tool.waitForFinished(5000) && tool.exitCode() == 0;
}

bool PlayerProcess::waitForEnd(int timeoutMs) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

QString PlayerProcess::output() {
    m_printed += QString::fromUtf8(m_process.readAll());
    return m_printed;
}
