#include "ui/delay_action.h"

#include <QThread>
#include <QTimer>

DelayAction::DelayAction(QObject* owner, uint32_t delayMs) : QObject(owner), m_delayMs(delayMs) {
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &DelayAction::run);
}

DelayAction::~DelayAction() {
    m_cancel.store(true);
}

void DelayAction::trigger() {
    if (m_cancel.load())
        return;
    if (m_pending.exchange(true))
        return;  // already armed: this trigger coalesces into the pending emission
    // Armed on the owner's thread; a queued call is dropped if this object is gone.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_cancel.load())
                m_timer->start(int(m_delayMs.load()));
            else
                m_pending.store(false);
        },
        Qt::AutoConnection);
}

void DelayAction::cancelAndWait() {
    m_cancel.store(true);
    if (QThread::currentThread() == thread()) {
        m_timer->stop();
        m_pending.store(false);
    }
}

void DelayAction::run() {
    // Cleared before emitting: a trigger from a receiver, or from another thread while
    // the receivers run, arms a new emission instead of being lost.
    m_pending.store(false);
    if (!m_cancel.load())
        emit end_action();
}
