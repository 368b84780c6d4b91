#pragma once
// The player as a person runs it: its own executable, in a process of its own on the
// test's X display, given a movie on its command line, with its preferences in a
// folder of the test's own and the rest of the test's environment (so it finds the
// sound server the test set up). Keys are typed into its window through the X server
// (xdotool, by the XTEST extension), as a keyboard types them.
//
// GUI thread of a test. Needs xdotool; `available()` says whether it is there.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

class PlayerProcess {
public:
    explicit PlayerProcess(const QString& movie);
    // Kills the player if it still runs.
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    static bool available();

    // Sets a variable of the player's environment (before start()); an ASAN_OPTIONS given
    // here replaces the sanitizer run's own.
    void setEnvironment(const QString& name, const QString& value);
    bool start();
    // Waits up to `timeoutMs` until the player's window is on screen; false if it never
    // came (or the player ended).
    bool waitForWindow(int timeoutMs);
    // The title of the player's window ("" before it is shown).
    QString title() const;
    // Types `keys` (xdotool's names: "space", "ctrl+q") into the player's window.
    bool key(const QString& keys);
    // Waits up to `timeoutMs` until the process ended; true when it did.
    bool waitForEnd(int timeoutMs);
    int exitCode() const { return m_process.exitCode(); }
    // It ended by a signal (a crash, or SIGPIPE), not by returning.
    bool crashed() const { return m_process.exitStatus() == QProcess::CrashExit; }
    qint64 pid() const { return m_process.processId(); }
    // What the player printed so far (standard output and error).
    QString output();

private:
    const QString m_movie;
    QTemporaryDir m_home;
    QProcessEnvironment m_extra;
    QProcess m_process;
    QString m_window;  // the X window of the player's main window, once shown
    QString m_printed;
};
