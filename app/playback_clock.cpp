#include "app/playback_clock.h"

#include <QDebug>
#include <algorithm>
#include <cmath>

PlaybackClock::PlaybackClock(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PlaybackClock::onTimeout);
}

void PlaybackClock::start(double fps) {
    stop();
    if (!(fps > 0.0) || !std::isfinite(fps)) return;
    m_periodMs = 1000.0 / fps;
    m_nominalMs = static_cast<int>(m_periodMs);
    m_tick = 0;
    m_late = 0;
    m_skipped = 0;
    m_running = true;
    m_elapsed.start();
    armNext();
}

void PlaybackClock::stop() {
    m_timer.stop();
    m_running = false;
}

double PlaybackClock::position() const {
    if (!m_running || !(m_periodMs > 0.0)) return 0.0;
    return nowMs() / m_periodMs;
}

uint64_t PlaybackClock::catchUp() {
    if (!m_running || !(m_periodMs > 0.0)) return m_tick;
    const double due = std::floor(nowMs() / m_periodMs);
    if (due < 9.0e15 && static_cast<uint64_t>(due) > m_tick) {
        ++m_late;
        m_skipped += static_cast<uint64_t>(due) - m_tick;
        m_tick = static_cast<uint64_t>(due);
    }
    return m_tick;
}

uint32_t PlaybackClock::ticksAhead(uint32_t current, double delayMs, double period_ms, uint32_t limit) {
    if (!(period_ms > 0.0) || !(delayMs >= 0.0) || !std::isfinite(delayMs)) return std::min(current, limit);
    // The count a delay asks for: none under a period, else the periods rounded.
    const auto wanted = [limit](double periods) {
        return periods < 1.0 ? 0u : static_cast<uint32_t>(std::min<double>(std::lround(periods), limit));
    };
    const double periods = delayMs / period_ms;
    const uint32_t now = wanted(periods);
    if (now == current || current > limit) return now;
    // Only a delay a quarter period past the edge of the current count changes it, and
    // then to the count it asks for a quarter period nearer the current one (on an edge
    // between two counts, the count that the next reading will not change again).
    constexpr double kMargin = 0.25;
    const uint32_t nearer = wanted(now > current ? periods - kMargin : periods + kMargin);
    return nearer == current ? current : nearer;
}

uint64_t PlaybackClock::tickAt(double now_ms, uint64_t last, double period_ms) {
    if (!(period_ms > 0.0) || !(now_ms > 0.0)) return last + 1;
    const double due = std::floor(now_ms / period_ms);
    // Beyond any count a play reaches (2^53 periods): kept exact in a double.
    if (!(due < 9.0e15)) return last + 1;
    return std::max(last + 1, static_cast<uint64_t>(due));
}

void PlaybackClock::armNext() {
    const double wait = dueMs(m_tick + 1, m_periodMs) - nowMs();
    m_timer.start(wait > 0.0 ? static_cast<int>(std::floor(wait)) : 0);
}

void PlaybackClock::onTimeout() {
    if (!m_running) return;
    // Qt's precise timers fire on whole milliseconds: wait out the fraction so a tick
    // is never early.
    const double now = nowMs();
    const double due = dueMs(m_tick + 1, m_periodMs);
    if (due - now > 1.0) {
        m_timer.start(static_cast<int>(std::floor(due - now)));
        return;
    }
    const uint64_t next = tickAt(now, m_tick, m_periodMs);
    if (next > m_tick + 1) {
        // More than a period late: the frames that could not be shown in time are left
        // out, or the picture would stay behind the sound by this much.
        ++m_late;
        m_skipped += next - m_tick - 1;
        if (now - due > kLogLateMs)
            qDebug().noquote() << QString("WARNING : playback clock %1 ms late, %2 frames left out")
                                      .arg(now - due, 0, 'f', 1)
                                      .arg(next - m_tick - 1);
    }
    m_tick = next;
    emit tick();
    // A slot may have stopped or restarted the clock.
    if (m_running) armNext();
}
