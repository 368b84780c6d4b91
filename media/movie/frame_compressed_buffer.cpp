#include "media/movie/frame_compressed_buffer.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <system_error>

#include "media/movie/file_to_play.h"

FrameCompressedBuffer::FrameCompressedBuffer(QObject* parent, uint32_t slot_count, uint32_t prefill_count)
    : QObject(parent) {
    if (slot_count == 0) throw std::runtime_error("Invalid nb frames");
    try {
        pauseFrame_ = video_frame_new();
        slots_ = new VideoFrame*[slot_count]();
        slotLocks_ = new QMutex*[slot_count]();
        slotCount_ = slot_count;
        for (uint32_t i = 0; i < slot_count; ++i) {
            slots_[i] = video_frame_new();
            slotLocks_[i] = new QMutex();
        }
    } catch (...) {
        for (uint32_t i = 0; slots_ && i < slotCount_; ++i) video_frame_free(&slots_[i]);
        for (uint32_t i = 0; slotLocks_ && i < slotCount_; ++i) delete slotLocks_[i];
        delete[] slots_;
        delete[] slotLocks_;
        video_frame_free(&pauseFrame_);
        throw;
    }
    prefillCount_ = std::min(slot_count, prefill_count);
}

FrameCompressedBuffer::~FrameCompressedBuffer() {
    stopCacheThread();
    if (takenSlot_ >= 0) slotLocks_[takenSlot_]->unlock();
    video_frame_free(&pauseFrame_);
    for (uint32_t i = 0; i < slotCount_; ++i) {
        video_frame_free(&slots_[i]);
        delete slotLocks_[i];
    }
    delete[] slots_;
    delete[] slotLocks_;
}

bool FrameCompressedBuffer::setFile(FileToPlay* file) {
    // The job reads through the bound movie: never let it run across a change of movie.
    stopCacheThread();
    file_ = file;
    {
        QMutexLocker lock(&fifoLock_);
        frameCount_ = file ? file->frameCount() : 0;
        playStep_ = 0;
        inPoint_ = -1;
        outPoint_ = -1;
    }
    if (!file) return true;
    return allocSlots(file->hapTextureFormat(), file->width(), file->height());
}

bool FrameCompressedBuffer::allocSlots(uint32_t data_format, uint32_t width, uint32_t height) {
    if (takenSlot_ >= 0) {
        // The planes of a frame still on loan are about to change: take the slot back.
        qDebug("Warn : slot %d still taken while the slots are reallocated", takenSlot_);
        slotLocks_[takenSlot_]->unlock();
        takenSlot_ = -1;
    }
    try {
        {
            QMutexLocker pause(&pauseLock_);
            dxt_frame_realloc(pauseFrame_, width, height, data_format);
        }
        QMutexLocker fifo(&fifoLock_);
        for (uint32_t i = 0; i < slotCount_; ++i) {
            QMutexLocker slot(slotLocks_[i]);
            dxt_frame_realloc(slots_[i], width, height, data_format);
        }
        return true;
    } catch (const std::bad_alloc&) {
        qDebug("Memory error");
    } catch (const std::runtime_error& error) {
        qDebug() << "Runtime error : " << error.what();
    } catch (...) {
        qDebug("Unknown error alloc dxt buf");
    }
    return false;
}

bool FrameCompressedBuffer::prefill(uint32_t start) {
    if (takenSlot_ >= 0) {
        qDebug("Warn : slot %d still taken at prefill", takenSlot_);
        slotLocks_[takenSlot_]->unlock();
        takenSlot_ = -1;
    }
    QMutexLocker fifo(&fifoLock_);
    last_ = 0;
    if (count_ > slotCount_) qDebug() << "Warn nb items wait (" << count_ << ") > fifo size (" << slotCount_;
    // The head goes back to slot 0 even when the queue is already empty: the frames
    // below are written from slot 0 on.
    head_ = 0;
    count_ = 0;
    if (!file_ || frameCount_ == 0) return false;

    uint32_t frame = start;
    try {
        for (uint32_t i = 0; i < prefillCount_; ++i) {
            frame = nextFrameIndex(frame);
            QMutexLocker slot(slotLocks_[i]);
            file_->readFrame(frame, slots_[i]);
        }
    } catch (const std::exception& error) {
        qWarning("Prefill stopped : %s", error.what());
        return false;
    }
    last_ = frame;
    count_ = prefillCount_;
    return true;
}

bool FrameCompressedBuffer::startCacheThread() {
    stopCacheThread();
    if (!file_ || frameCount_ == 0) return false;
    stop_ = false;
    running_ = true;
    try {
        cacheThread_ = std::thread(&FrameCompressedBuffer::ct_bg_thread_cache_next_frame, this);
    } catch (const std::system_error& error) {
        running_ = false;
        qWarning("Read-ahead thread not started : %s", error.what());
        return false;
    }
    return true;
}

void FrameCompressedBuffer::stopCacheThread() {
    if (!running_) return;
    stop_ = true;
    if (cacheThread_.joinable()) cacheThread_.join();
    running_ = false;
}

void FrameCompressedBuffer::ct_bg_thread_cache_next_frame() {
    // Nothing may escape the thread: an exception would end the whole program.
    try {
        while (!stop_) {
            if (!cacheOneFrame()) QThread::msleep(10);
        }
    } catch (const std::exception& error) {
        qWarning("Read-ahead stopped : %s", error.what());
    } catch (...) {
        qWarning("Read-ahead stopped : unknown error");
    }
}

bool FrameCompressedBuffer::cacheOneFrame() {
    uint32_t write_slot = 0;
    uint32_t frame = 0;
    {
        QMutexLocker fifo(&fifoLock_);
        if (count_ >= slotCount_) return false;
        if (count_ == 0) qDebug("aWARN ct_bg_thread_cache_next_frame queue empty");
        write_slot = (head_ + count_) % slotCount_;
        if (write_slot == head_ && count_ > 0) qDebug("Next indice write == index first !!");
        frame = nextFrameIndex(last_);
    }
    {
        // Only the slot lock while reading, so the interface thread can take and
        // release other slots meanwhile.
        QMutexLocker slot(slotLocks_[write_slot]);
        file_->readFrame(frame, slots_[write_slot]);
    }
    QMutexLocker fifo(&fifoLock_);
    if (count_ >= slotCount_) {
        qDebug("Possible ?? : queue full a la fin de l'ajout au fifo");
        return true;
    }
    count_ += 1;
    last_ = frame;
    return true;
}

int32_t FrameCompressedBuffer::takeNextFrame(VideoFrame** frame) {
    uint32_t slot = 0;
    {
        QMutexLocker fifo(&fifoLock_);
        if (count_ == 0) return -1;
        slot = head_;
    }
    slotLocks_[slot]->lock();
    takenSlot_ = static_cast<int32_t>(slot);
    *frame = slots_[slot];
    return static_cast<int32_t>(slot);
}

void FrameCompressedBuffer::releaseFrame(int32_t slot) {
    if (slot < 0 || uint32_t(slot) >= slotCount_) {
        qDebug() << "ERR : invalid frame index unlock : " << slot;
        return;
    }
    // Only the slot that takeNextFrame locked is unlocked: unlocking a free mutex is
    // undefined.
    if (slot == takenSlot_) {
        slotLocks_[slot]->unlock();
        takenSlot_ = -1;
    }
    QMutexLocker fifo(&fifoLock_);
    if (count_ == 0 || uint32_t(slot) != head_) {
        qDebug() << "Warn : first fifo frame change (prev : " << slot << " ; new : "
                 << (count_ == 0 ? -1 : int64_t(head_));
        // Advancing now would drop a frame that was never shown.
        return;
    }
    head_ = (head_ + 1) % slotCount_;
    count_ -= 1;
}

int32_t FrameCompressedBuffer::playStep() const {
    QMutexLocker fifo(&fifoLock_);
    return playStep_;
}

void FrameCompressedBuffer::setPlayStep(int32_t step) {
    QMutexLocker fifo(&fifoLock_);
    playStep_ = step;
}

uint32_t FrameCompressedBuffer::loopMode() const {
    QMutexLocker fifo(&fifoLock_);
    return loopMode_;
}

void FrameCompressedBuffer::setLoopMode(uint32_t mode) {
    QMutexLocker fifo(&fifoLock_);
    loopMode_ = mode;
}

int32_t FrameCompressedBuffer::inPoint() const {
    QMutexLocker fifo(&fifoLock_);
    return inPoint_;
}

int32_t FrameCompressedBuffer::outPoint() const {
    QMutexLocker fifo(&fifoLock_);
    return outPoint_;
}

void FrameCompressedBuffer::setInPoint(int32_t in) {
    QMutexLocker fifo(&fifoLock_);
    inPoint_ = in;
    if (outPoint_ >= 0 && outPoint_ < in) outPoint_ = -1;
}

void FrameCompressedBuffer::setOutPoint(int32_t out) {
    QMutexLocker fifo(&fifoLock_);
    outPoint_ = out;
    if (out >= 0 && inPoint_ > out) inPoint_ = -1;
}

void FrameCompressedBuffer::resetInPoint() {
    QMutexLocker fifo(&fifoLock_);
    inPoint_ = -1;
}

void FrameCompressedBuffer::resetOutPoint() {
    QMutexLocker fifo(&fifoLock_);
    outPoint_ = -1;
}

uint32_t FrameCompressedBuffer::nextFrameIndex(uint32_t current) const {
    if (frameCount_ == 0) throw std::runtime_error("durationf zero");
    int64_t last = int64_t(frameCount_) - 1;
    const int64_t first = inPoint_ >= 0 ? std::min<int64_t>(inPoint_, last) : 0;
    if (outPoint_ >= 0) {
        if (outPoint_ < first) throw std::runtime_error("invalid out point");
        // An out point past the movie's end plays to the last frame.
        last = std::min<int64_t>(outPoint_, last);
    }
    const int64_t length = last - first + 1;
    if (length <= 0) throw std::runtime_error("durationf zero");
    if (length == 1) return static_cast<uint32_t>(first);

    int64_t step = playStep_;
    if (loopMode_) step %= length;
    const int64_t clamped = std::clamp<int64_t>(current, first, last);
    const int64_t next = clamped + step;
    if (next >= first && next <= last) return static_cast<uint32_t>(next);
    if (!loopMode_) return static_cast<uint32_t>(next < first ? first : last);
    if (next > last) return static_cast<uint32_t>(next - last - 1 + first);
    return static_cast<uint32_t>(next + length);
}

bool FrameCompressedBuffer::readPauseFrame(uint32_t index) {
    QMutexLocker pause(&pauseLock_);
    if (!file_) return false;
    return file_->readFrame(index, pauseFrame_);
}

void FrameCompressedBuffer::lockSlot(int32_t slot) {
    if (slot < 0) return;
    if (uint32_t(slot) >= slotCount_) {
        qDebug() << "ERR : invalid frame index lock : " << slot;
        return;
    }
    slotLocks_[slot]->lock();
}

void FrameCompressedBuffer::unlockSlot(int32_t slot) {
    if (slot < 0) return;
    if (uint32_t(slot) >= slotCount_) {
        qDebug() << "ERR : invalid frame index unlock : " << slot;
        return;
    }
    slotLocks_[slot]->unlock();
}

uint32_t FrameCompressedBuffer::cachedCount() const {
    QMutexLocker fifo(&fifoLock_);
    return count_;
}

uint32_t FrameCompressedBuffer::headSlot() const {
    QMutexLocker fifo(&fifoLock_);
    return head_;
}

uint32_t FrameCompressedBuffer::lastQueuedFrame() const {
    QMutexLocker fifo(&fifoLock_);
    return last_;
}
