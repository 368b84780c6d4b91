#pragma once
// Read-ahead queue of decoded texture frames: a ring of slots that a background job
// fills with the next frames in play order (direction, step, loop, in/out points),
// and from which the interface thread takes one frame per refresh tick. A separate
// pause frame serves single frames while paused or seeking.
//
// The job runs on a thread of its own, not on Qt's global pool: that pool has one
// thread per core and other never-ending jobs live there too, so on a small machine
// the read-ahead could never start.
#include <QMutex>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <thread>

#include "media/video_frame.h"

class FileToPlay;

class FrameCompressedBuffer : public QObject {
    Q_OBJECT
public:
    // Throws std::runtime_error "Invalid nb frames" for 0 slots. The prefill count is
    // at most the slot count.
    FrameCompressedBuffer(QObject* parent, uint32_t slot_count, uint32_t prefill_count);
    ~FrameCompressedBuffer() override;
    FrameCompressedBuffer(const FrameCompressedBuffer&) = delete;
    FrameCompressedBuffer& operator=(const FrameCompressedBuffer&) = delete;

    // Binds a movie (stopping the job first): slots sized for its texture format and
    // picture, play step 0, in and out points unset. False when the slots could not be
    // allocated; the movie is bound all the same and its frames then fail to decode.
    bool setFile(FileToPlay* file);
    bool allocSlots(uint32_t data_format, uint32_t width, uint32_t height);

    // Empties the queue and decodes, right now, the prefill count of frames that follow
    // `start` in the play direction. Only while the job is stopped. False without a
    // movie with frames.
    bool prefill(uint32_t start);

    // Starts the read-ahead job (stopping a running one first); false when no thread
    // could be started.
    bool startCacheThread();
    // Asks the job to stop and waits for it.
    void stopCacheThread();
    bool isCacheThreadRunning() const { return running_.load(); }

    // The oldest cached frame: returns its slot, locked until releaseFrame, or -1 when
    // the queue is empty.
    int32_t takeNextFrame(VideoFrame** frame);
    void releaseFrame(int32_t slot);

    int32_t playStep() const;
    void setPlayStep(int32_t step);
    uint32_t loopMode() const;
    void setLoopMode(uint32_t mode);
    int32_t inPoint() const;
    int32_t outPoint() const;
    // In and out change together under the queue lock, so the job never sees an out
    // point before the in point.
    void setInPoint(int32_t in);
    void setOutPoint(int32_t out);
    void resetInPoint();
    void resetOutPoint();

    // The frame after `current` in play order. The caller holds the queue lock. Throws
    // std::runtime_error "invalid out point" or "durationf zero" for an empty range.
    uint32_t nextFrameIndex(uint32_t current) const;

    // Reads and decodes a frame into the pause frame (under the pause lock).
    bool readPauseFrame(uint32_t index);
    void lockPauseFrame() { pauseLock_.lock(); }
    void unlockPauseFrame() { pauseLock_.unlock(); }
    VideoFrame* pauseFrame() const { return pauseFrame_; }

    void lockSlot(int32_t slot);
    void unlockSlot(int32_t slot);

    uint32_t frameCount() const { return frameCount_; }
    uint32_t slotCount() const { return slotCount_; }
    uint32_t prefillCount() const { return prefillCount_; }
    // Queue state, read under the queue lock (for the player's diagnostics and tests).
    uint32_t cachedCount() const;
    uint32_t headSlot() const;
    uint32_t lastQueuedFrame() const;
    // The frame of a slot; only meaningful while the caller holds that slot.
    VideoFrame* slotFrame(uint32_t slot) const { return slot < slotCount_ ? slots_[slot] : nullptr; }

private:
    void ct_bg_thread_cache_next_frame();
    // One step of the job; false when the queue was full.
    bool cacheOneFrame();

    VideoFrame* pauseFrame_ = nullptr;
    uint32_t frameCount_ = 0;
    int32_t playStep_ = 0;
    uint32_t loopMode_ = 0;
    int32_t inPoint_ = -1;
    int32_t outPoint_ = -1;
    FileToPlay* file_ = nullptr;
    QMutex pauseLock_;
    VideoFrame** slots_ = nullptr;
    uint32_t slotCount_ = 0;
    QMutex** slotLocks_ = nullptr;
    uint32_t prefillCount_ = 0;
    uint32_t head_ = 0;
    uint32_t count_ = 0;
    uint32_t last_ = 0;
    int32_t takenSlot_ = -1;  // the slot handed out by takeNextFrame, until released
    mutable QMutex fifoLock_;
    std::thread cacheThread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
};
