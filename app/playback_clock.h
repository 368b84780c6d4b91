#pragma once
// The playback clock of the main window: one tick per frame period on an exact
// schedule. Tick k is due at start + k x 1000 / fps ms on a monotonic clock; a
// precise single-shot timer is re-armed after each tick for the next due time, so
// the truncated millisecond interval never accumulates into drift against the sound.
//
// A tick that comes late is followed at once by the next one until the schedule is
// met again; a stall longer than `kMaxCatchUpMs` is forgiven (the schedule restarts
// from now) rather than paid back with a burst of ticks.
//
// Lives on the GUI thread; every call and the `tick` signal happen there.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

class PlaybackClock : public QObject {
    Q_OBJECT
public:
    static constexpr double kMaxCatchUpMs = 500.0;

    explicit PlaybackClock(QObject* parent = nullptr);

    // Starts ticking at `fps` frames per second (the first tick one period from now);
    // restarts when running. A rate of 0 or less does not start.
    void start(double fps);
    void stop();
    bool isRunning() const { return m_running; }

    // The nominal interval, 1000 / fps truncated to whole milliseconds.
    int nominalIntervalMs() const { return m_nominalMs; }
    // Ticks emitted since start, and how many of them came more than one period late
    // (a schedule restart counts its next tick as late).
    uint64_t ticks() const { return m_tick; }
    uint64_t lateTicks() const { return m_late; }

    // Milliseconds from the start to the due time of tick k (pure; for tests).
    static double dueMs(uint64_t k, double period_ms) { return static_cast<double>(k) * period_ms; }

signals:
    void tick();

private:
    void onTimeout();
    void armNext();

    QTimer m_timer;
    QElapsedTimer m_elapsed;
    double m_periodMs = 0.0;
    double m_originMs = 0.0;  // schedule origin, moved forward only after a long stall
    uint64_t m_tick = 0;
    uint64_t m_late = 0;
    int m_nominalMs = 0;
    bool m_running = false;
};
