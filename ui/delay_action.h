#pragma once
// DelayAction: a coalescing one-shot emitter. The first trigger() arms a single-shot
// timer of `delay` milliseconds; triggers while it is armed do nothing; when it
// fires, end_action() is emitted once. The timer lives on the owner's thread (the
// thread this object lives in, which must run an event loop), so no thread of any
// pool is held while waiting. end_action() is emitted on that thread.
//
// trigger() and cancelAndWait() may be called from any thread. After cancelAndWait()
// the emitter never emits again (later triggers do nothing). Owned by its parent.
#include <QObject>

#include <atomic>
#include <cstdint>

class QTimer;

class DelayAction : public QObject {
    Q_OBJECT
public:
    DelayAction(QObject* owner, uint32_t delayMs);
    ~DelayAction() override;

    void trigger();
    // Cancels for good. Called on the owner's thread it also stops the timer; from
    // another thread the timer may still fire once but then emits nothing.
    void cancelAndWait();

    bool isPending() const { return m_pending.load(); }
    uint32_t delay() const { return m_delayMs.load(); }
    // Takes effect at the next arming (tests shorten the delays with it).
    void setDelay(uint32_t delayMs) { m_delayMs.store(delayMs); }

signals:
    void end_action();

private:
    void run();

    QTimer* m_timer = nullptr;
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<uint32_t> m_delayMs{1000};
};
