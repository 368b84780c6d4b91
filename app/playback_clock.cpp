#include "app/playback_clock.h"

#include <QDebug>
#include <cmath>

PlaybackClock::PlaybackClock(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PlaybackClock::onTimeout);
}

void PlaybackClock::start(double fps) {
    stop();
    if (!(fps > 0.0) || !std::isfinite(fps)) return;
    periodMs_ = 1000.0 / fps;
    nominalMs_ = static_cast<int>(periodMs_);
    tick_ = 0;
    late_ = 0;
    originMs_ = 0.0;
    running_ = true;
    elapsed_.start();
    armNext();
}

void PlaybackClock::stop() {
    timer_.stop();
    running_ = false;
}

void PlaybackClock::armNext() {
    const double now = static_cast<double>(elapsed_.nsecsElapsed()) / 1e6;
    double due = originMs_ + dueMs(tick_ + 1, periodMs_);
    if (now - due > kMaxCatchUpMs) {
        // Too far behind to catch up smoothly: start the schedule again from now.
        qDebug().noquote() << QString("WARNING : playback clock %1 ms late, schedule restarted").arg(now - due, 0, 'f', 1);
        originMs_ = now - dueMs(tick_, periodMs_);
        // The next tick keeps the new schedule but is late by the old one: count it, so
        // a stall inside a tick's own slot is never reported as perfect timekeeping.
        ++late_;
        due = originMs_ + dueMs(tick_ + 1, periodMs_);
    }
    const double wait = due - now;
    timer_.start(wait > 0.0 ? static_cast<int>(std::floor(wait)) : 0);
}

void PlaybackClock::onTimeout() {
    if (!running_) return;
    // Qt's precise timers fire on whole milliseconds: wait out the fraction so a tick
    // is never early.
    const double due = originMs_ + dueMs(tick_ + 1, periodMs_);
    double now = static_cast<double>(elapsed_.nsecsElapsed()) / 1e6;
    if (due - now > 1.0) {
        timer_.start(static_cast<int>(std::floor(due - now)));
        return;
    }
    if (now - due > periodMs_) ++late_;
    ++tick_;
    emit tick();
    // A slot may have stopped or restarted the clock.
    if (running_) armNext();
}
