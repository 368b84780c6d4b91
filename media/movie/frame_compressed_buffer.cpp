#include "media/movie/frame_compressed_buffer.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#include "media/movie/file_to_play.h"
#include "platform/cpu_info.h"

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
    slotFrameIndex_.assign(slot_count, 0);
    slotDecoded_.assign(slot_count, 0);
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
    freeReadBuffers();
}

bool FrameCompressedBuffer::setFile(FileToPlay* file) {
    // The job reads through the bound movie: never let it run across a change of movie.
    stopCacheThread();
    file_ = file;
    // The read buffers were sized for the last movie's frames.
    freeReadBuffers();
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
    if (running_) {
        qDebug("Warn : prefill while the read-ahead runs: stopped first");
        stopCacheThread();
    }
    if (takenSlot_ >= 0) {
        qDebug("Warn : slot %d still taken at prefill", takenSlot_);
        slotLocks_[takenSlot_]->unlock();
        takenSlot_ = -1;
    }
    QMutexLocker fifo(&fifoLock_);
    last_ = 0;
    lastClaimed_ = 0;
    if (count_ > slotCount_) qDebug() << "Warn nb items wait (" << count_ << ") > fifo size (" << slotCount_;
    // The head goes back to slot 0 even when the queue is already empty: the frames
    // below are written from slot 0 on.
    head_ = 0;
    count_ = 0;
    pending_ = 0;
    std::fill(slotDecoded_.begin(), slotDecoded_.end(), uint8_t(0));
    if (!file_ || frameCount_ == 0) return false;

    // The frame numbers first, each following the one before; then the frames
    // themselves, as many at once as frames may be in flight: lane k decodes slots k,
    // k + lanes, ... with read buffer k, lane 0 on this thread and the others on
    // helper threads that end with the prefill. One lane decodes them in order here.
    std::vector<uint32_t> frames(prefillCount_);
    uint32_t frame = start;
    uint32_t lanes = 1;
    try {
        for (uint32_t i = 0; i < prefillCount_; ++i) frames[i] = frame = nextFrameIndex(frame);
        lanes = std::min(framesInFlight(), prefillCount_);
        ensureReadBuffers(lanes);
    } catch (const std::exception& error) {
        qWarning("Prefill stopped : %s", error.what());
        return false;
    }
    const auto run_lane = [&](uint32_t lane) {
        for (uint32_t i = lane; i < prefillCount_; i += lanes) decodeInto(i, frames[i], lane);
    };
    std::vector<std::thread> helpers;
    uint32_t lane = 1;
    try {
        helpers.reserve(lanes);
        for (; lane < lanes; ++lane) helpers.emplace_back(run_lane, lane);
    } catch (const std::exception& error) {
        qWarning("Prefill helper not started : %s", error.what());
    }
    run_lane(0);
    for (; lane < lanes; ++lane) run_lane(lane);  // the lanes no helper took
    for (std::thread& helper : helpers) helper.join();
    last_ = frame;
    lastClaimed_ = frame;
    count_ = prefillCount_;
    return true;
}

uint32_t FrameCompressedBuffer::framesInFlightFor(uint32_t chunks, uint32_t cores) {
    if (cores <= 1) return 1;
    const uint32_t per_frame = std::max<uint32_t>(chunks, 1);
    return std::max<uint32_t>(2, (cores + per_frame - 1) / per_frame);
}

uint32_t FrameCompressedBuffer::framesInFlight() const {
    uint32_t frames = framesInFlightSetting_;
    if (frames == 0) frames = framesInFlightFor(file_ ? file_->textureChunkCount() : 0, platform::processor_count());
    return std::clamp<uint32_t>(frames, 1, slotCount_);
}

void FrameCompressedBuffer::ensureReadBuffers(uint32_t count) {
    while (readBuffers_.size() < count) {
        PadBuffer buffer;
        PadBuffer::init(&buffer);
        readBuffers_.push_back(buffer);
    }
}

void FrameCompressedBuffer::freeReadBuffers() {
    for (PadBuffer& buffer : readBuffers_) PadBuffer::free(&buffer);
    readBuffers_.clear();
}

bool FrameCompressedBuffer::startCacheThread() {
    stopCacheThread();
    if (!file_ || frameCount_ == 0) return false;
    const uint32_t lanes = framesInFlight();
    try {
        ensureReadBuffers(lanes);
    } catch (const std::bad_alloc&) {
        qWarning("Read-ahead not started : Memory error");
        return false;
    }
    stop_ = false;
    running_ = true;
    try {
        workers_.reserve(lanes);
        for (uint32_t lane = 0; lane < lanes; ++lane)
            workers_.emplace_back(&FrameCompressedBuffer::ct_bg_thread_cache_next_frame, this, lane);
    } catch (const std::exception& error) {
        // The workers that did start keep the queue going, only with fewer frames at once.
        qWarning("Read-ahead thread not started : %s (%u of %u running)", error.what(), unsigned(workers_.size()),
                 lanes);
        if (workers_.empty()) {
            running_ = false;
            return false;
        }
    }
    return true;
}

void FrameCompressedBuffer::stopCacheThread() {
    if (!running_) return;
    {
        // Under the queue lock, so that a worker between its look at the flag and its
        // wait for room cannot miss the wake-up.
        QMutexLocker fifo(&fifoLock_);
        stop_ = true;
        roomForFrames_.wakeAll();
    }
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
    workers_.clear();
    running_ = false;
    QMutexLocker fifo(&fifoLock_);
    // Every claim is queued before its worker looks at the flag again; a claim left over
    // would be a slot that never joins the queue.
    if (pending_ != 0) qDebug("Warn : %u read-ahead frames left unqueued", pending_);
    pending_ = 0;
    lastClaimed_ = last_;
    std::fill(slotDecoded_.begin(), slotDecoded_.end(), uint8_t(0));
}

void FrameCompressedBuffer::ct_bg_thread_cache_next_frame(uint32_t lane) {
    // Nothing may escape the thread: an exception would end the whole program.
    try {
        while (!stop_) {
            Claim claim{};
            if (!claimNextSlot(&claim)) continue;
            decodeInto(claim.slot, claim.frame, lane);
            queueDecoded(claim);
        }
    } catch (const std::exception& error) {
        qWarning("Read-ahead stopped : %s", error.what());
    } catch (...) {
        qWarning("Read-ahead stopped : unknown error");
    }
}

bool FrameCompressedBuffer::claimNextSlot(Claim* claim) {
    QMutexLocker fifo(&fifoLock_);
    if (stop_) return false;
    if (count_ + pending_ >= slotCount_) {
        // Woken by a released slot or the stop; the time-out only bounds a lost wake-up.
        roomForFrames_.wait(&fifoLock_, 10);
        return false;
    }
    if (count_ == 0 && pending_ == 0) qDebug("aWARN ct_bg_thread_cache_next_frame queue empty");
    const uint32_t slot = (head_ + count_ + pending_) % slotCount_;
    if (slot == head_ && count_ + pending_ > 0) qDebug("Next indice write == index first !!");
    // May throw for a broken range; the locker lets go of the queue lock.
    const uint32_t frame = nextFrameIndex(lastClaimed_);
    lastClaimed_ = frame;
    pending_ += 1;
    slotFrameIndex_[slot] = frame;
    slotDecoded_[slot] = 0;
    *claim = {slot, frame};
    return true;
}

void FrameCompressedBuffer::decodeInto(uint32_t slot, uint32_t frame, uint32_t lane) {
    // Only the slot lock while reading, so the interface thread can take and release
    // other slots, and other workers claim and queue theirs, meanwhile.
    QMutexLocker lock(slotLocks_[slot]);
    VideoFrame* target = slots_[slot];
    std::string failure;
    try {
        file_->readFrame(frame, target, &readBuffers_[lane]);
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown error";
    }
    // The slot still joins the queue, marked, or every later frame would wait on it.
    qWarning("Read-ahead frame %u failed : %s", frame, failure.c_str());
    target->frame_number = frame;
    target->status |= VideoFrameStatus_DecodeFailed;
}

void FrameCompressedBuffer::queueDecoded(const Claim& claim) {
    QMutexLocker fifo(&fifoLock_);
    slotDecoded_[claim.slot] = 1;
    while (pending_ > 0) {
        const uint32_t next = (head_ + count_) % slotCount_;
        if (!slotDecoded_[next]) break;
        if (count_ >= slotCount_) {
            qDebug("Possible ?? : queue full a la fin de l'ajout au fifo");
            break;
        }
        slotDecoded_[next] = 0;
        count_ += 1;
        pending_ -= 1;
        last_ = slotFrameIndex_[next];
    }
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
    roomForFrames_.wakeOne();
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

uint32_t FrameCompressedBuffer::pendingCount() const {
    QMutexLocker fifo(&fifoLock_);
    return pending_;
}
