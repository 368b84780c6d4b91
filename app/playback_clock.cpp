#include "app/playback_clock.h"

#include <QDebug>
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
    m_originMs = 0.0;
    m_running = true;
    m_elapsed.start();
    armNext();
}

void PlaybackClock::stop() {
    m_timer.stop();
    m_running = false;
}

void PlaybackClock::armNext() {
    const double now = static_cast<double>(m_elapsed.nsecsElapsed()) / 1e6;
    double due = m_originMs + dueMs(m_tick + 1, m_periodMs);
    if (now - due > kMaxCatchUpMs) {
        // Too far behind to catch up smoothly: start the schedule again from now.
        qDebug().noquote() << QString("WARNING : playback clock %1 ms late, schedule restarted").arg(now - due, 0, 'f', 1);
        m_originMs = now - dueMs(m_tick, m_periodMs);
        // The next tick keeps the new schedule but is late by the old one: count it, so
        // a stall inside a tick's own slot is never reported as perfect timekeeping.
        ++m_late;
        due = m_originMs + dueMs(m_tick + 1, m_periodMs);
    }
    const double wait = due - now;
    m_timer.start(wait > 0.0 ? static_cast<int>(std::floor(wait)) : 0);
}

void PlaybackClock::onTimeout() {
    if (!m_running) return;
    // Qt's precise timers fire on whole milliseconds: wait out the fraction so a tick
    // is never early.
    const double due = m_originMs + dueMs(m_tick + 1, m_periodMs);
    double now = static_cast<double>(m_elapsed.nsecsElapsed()) / 1e6;
    if (due - now > 1.0) {
        m_timer.start(static_cast<int>(std::floor(due - now)));
        return;
    }
    if (now - due > m_periodMs) ++m_late;
    ++m_tick;
    emit tick();
    // A slot may have stopped or restarted the clock.
    if (m_running) armNext();
}
