#pragma once
// The playback clock of the main window: one tick per frame period on an exact
// schedule. Tick k is due at start + k x 1000 / fps ms on a monotonic clock; a
// precise single-shot timer is re-armed after each tick for the next due time, so
// the truncated millisecond interval never accumulates into drift against the sound.
//
// The schedule is never moved. A tick that comes late by less than a period is the
// next one as usual; one that comes late by more (the event loop was held: a busy
// machine, a long slot, the process stopped) is the tick due now, and the ticks
// that could not come in time are left out: `ticks()` jumps to the tick due, and the
// window shows that tick's frame, so the picture stays with the sound, which runs on
// the device's clock whatever the event loop does.
//
// Lives on the GUI thread; every call and the `tick` signal happen there.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

class PlaybackClock : public QObject {
    Q_OBJECT
public:
    // Lateness past which a tick that leaves frames out is logged.
    static constexpr double kLogLateMs = 500.0;

    explicit PlaybackClock(QObject* parent = nullptr);

    // Starts ticking at `fps` frames per second (the first tick one period from now);
    // restarts when running. A rate of 0 or less does not start.
    void start(double fps);
    void stop();
    bool isRunning() const { return m_running; }

    // The nominal interval, 1000 / fps truncated to whole milliseconds.
    int nominalIntervalMs() const { return m_nominalMs; }
    // The tick the last `tick` signal stood for, counted from 1 after the start: the
    // play position whose frame is on screen. Ticks left out are counted too.
    uint64_t ticks() const { return m_tick; }
    // Ticks that came more than one period late (and so left frames out), and how many
    // ticks they left out in all.
    uint64_t lateTicks() const { return m_late; }
    uint64_t skippedTicks() const { return m_skipped; }
    // Where the schedule stands now, in periods since the start (tick k is due at k):
    // the tick due now and how far into its period the clock is. 0 when stopped.
    double position() const;
    // For a tick's slot that waited before it chose its frame (for the renderer): the
    // tick due now becomes the one the tick stands for, the ticks passed meanwhile
    // counted as left out, as for a late tick. Returns ticks().
    uint64_t catchUp();
    // The exact period, 1000 / fps ms; 0 before the first start.
    double periodMs() const { return m_periodMs; }

    // How many ticks ahead of the clock the picture chooses its frames, when they reach
    // the screen `delayMs` after they are handed over, so that each is seen when it is
    // due (pure; for tests): none while the delay is under a period (the renderer keeps
    // up, and every frame is shown in its own tick); else the delay in whole periods,
    // rounded, at most `limit`. Each change leaves a frame out or holds one, so from
    // `current` it changes only once the delay is a quarter period past the edge.
    static uint32_t ticksAhead(uint32_t current, double delayMs, double period_ms, uint32_t limit);

    // Milliseconds from the start to the due time of tick k (pure; for tests).
    static double dueMs(uint64_t k, double period_ms) { return static_cast<double>(k) * period_ms; }
    // The tick a timeout at `now_ms` after the start stands for, the last tick having
    // been `last` (pure; for tests): the next one, unless the one after it is due
    // already, then the latest tick due.
    static uint64_t tickAt(double now_ms, uint64_t last, double period_ms);

signals:
    void tick();

private:
    void onTimeout();
    void armNext();
    double nowMs() const { return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e6; }

    QTimer m_timer;
    QElapsedTimer m_elapsed;
    double m_periodMs = 0.0;
    uint64_t m_tick = 0;
    uint64_t m_late = 0;
    uint64_t m_skipped = 0;
    int m_nominalMs = 0;
    bool m_running = false;
};
