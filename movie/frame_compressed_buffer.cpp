#include "movie/frame_compressed_buffer.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "movie/file_to_play.h"
#include "platform/cpu_info.h"

FrameCompressedBuffer::FrameCompressedBuffer(QObject* parent, uint32_t slot_count, uint32_t prefill_count)
    : QObject(parent) {
    if (slot_count == 0) throw std::runtime_error("Invalid nb frames");
    try {
        m_pauseFrame = video_frame_new();
        m_slots = new VideoFrame*[slot_count]();
        m_slotLocks = new QMutex*[slot_count]();
        m_slotCount = slot_count;
        for (uint32_t i = 0; i < slot_count; ++i) {
            m_slots[i] = video_frame_new();
            m_slotLocks[i] = new QMutex();
        }
    } catch (...) {
        for (uint32_t i = 0; m_slots && i < m_slotCount; ++i) video_frame_free(&m_slots[i]);
        for (uint32_t i = 0; m_slotLocks && i < m_slotCount; ++i) delete m_slotLocks[i];
        delete[] m_slots;
        delete[] m_slotLocks;
        video_frame_free(&m_pauseFrame);
        throw;
    }
    m_prefillCount = std::min(slot_count, prefill_count);
    m_slotFrameIndex.assign(slot_count, 0);
    m_slotPosition.assign(slot_count, 0);
    m_slotDecoded.assign(slot_count, 0);
    m_slotSkipped.assign(slot_count, 0);
    m_tickHeld.assign(2 * size_t(slot_count), 0);
}

FrameCompressedBuffer::~FrameCompressedBuffer() {
    stopCacheThread();
    if (m_takenSlot >= 0) m_slotLocks[m_takenSlot]->unlock();
    video_frame_free(&m_pauseFrame);
    for (uint32_t i = 0; i < m_slotCount; ++i) {
        video_frame_free(&m_slots[i]);
        delete m_slotLocks[i];
    }
    delete[] m_slots;
    delete[] m_slotLocks;
    freeReadBuffers();
}

bool FrameCompressedBuffer::setFile(FileToPlay* file) {
    // The job reads through the bound movie: never let it run across a change of movie.
    stopCacheThread();
    m_file = file;
    // The read buffers were sized for the last movie's frames.
    freeReadBuffers();
    {
        QMutexLocker lock(&m_fifoLock);
        m_frameCount = file ? file->frameCount() : 0;
        m_playStep = 0;
        m_inPoint = -1;
        m_outPoint = -1;
    }
    if (!file) return true;
    return allocSlots(file->hapTextureFormat(), file->width(), file->height());
}

bool FrameCompressedBuffer::allocSlots(uint32_t data_format, uint32_t width, uint32_t height) {
    if (m_takenSlot >= 0) {
        // The planes of a frame still on loan are about to change: take the slot back.
        qDebug("Warn : slot %d still taken while the slots are reallocated", m_takenSlot);
        m_slotLocks[m_takenSlot]->unlock();
        m_takenSlot = -1;
    }
    try {
        {
            QMutexLocker pause(&m_pauseLock);
            dxt_frame_realloc(m_pauseFrame, width, height, data_format);
        }
        QMutexLocker fifo(&m_fifoLock);
        for (uint32_t i = 0; i < m_slotCount; ++i) {
            QMutexLocker slot(m_slotLocks[i]);
            dxt_frame_realloc(m_slots[i], width, height, data_format);
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
    if (m_running) {
        qDebug("Warn : prefill while the read-ahead runs: stopped first");
        stopCacheThread();
    }
    if (m_takenSlot >= 0) {
        qDebug("Warn : slot %d still taken at prefill", m_takenSlot);
        m_slotLocks[m_takenSlot]->unlock();
        m_takenSlot = -1;
    }
    QMutexLocker fifo(&m_fifoLock);
    m_last = 0;
    m_lastClaimed = 0;
    m_startFrame = start;
    m_lastPosition = 0;
    m_lastClaimedPosition = 0;
    m_askedPosition.store(0);
    std::fill(m_tickHeld.begin(), m_tickHeld.end(), uint8_t(0));
    m_heldTicks = 0;
    m_tickAt = 0;
    m_leftOut = 0;
    // No worker runs: the turns start again from the first claim after this prefill.
    m_turnsIssued = 0;
    {
        QMutexLocker turn(&m_turnLock);
        m_turnNext = 0;
    }
    std::fill(m_slotSkipped.begin(), m_slotSkipped.end(), uint8_t(0));
    if (m_count > m_slotCount) qDebug() << "Warn nb items wait (" << m_count << ") > fifo size (" << m_slotCount;
    // The head goes back to slot 0 even when the queue is already empty: the frames
    // below are written from slot 0 on.
    m_head = 0;
    m_count = 0;
    m_pending = 0;
    std::fill(m_slotDecoded.begin(), m_slotDecoded.end(), uint8_t(0));
    if (!m_file || m_frameCount == 0) return false;

    // The frame numbers first, each following the one before; then the frames
    // themselves, as many at once as frames may be in flight: lane k decodes slots k,
    // k + lanes, ... with read buffer k, lane 0 on this thread and the others on
    // helper threads that end with the prefill. One lane decodes them in order here.
    std::vector<uint32_t> frames(m_prefillCount);
    uint32_t frame = start;
    uint32_t lanes = 1;
    try {
        for (uint32_t i = 0; i < m_prefillCount; ++i) frames[i] = frame = nextFrameIndex(frame);
        lanes = std::min(framesInFlight(), m_prefillCount);
        ensureReadBuffers(lanes);
    } catch (const std::exception& error) {
        qWarning("Prefill stopped : %s", error.what());
        return false;
    }
    const auto run_lane = [&](uint32_t lane) {
        // Without turns: the clock starts only once every one of them is decoded.
        for (uint32_t i = lane; i < m_prefillCount; i += lanes) decodeInto(i, frames[i], lane, kNoTurn);
    };
    for (uint32_t i = 0; i < m_prefillCount; ++i) {
        m_slotFrameIndex[i] = frames[i];
        m_slotPosition[i] = i + 1;
    }
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
    m_last = frame;
    m_lastClaimed = frame;
    m_lastPosition = m_prefillCount;
    m_lastClaimedPosition = m_prefillCount;
    m_count = m_prefillCount;
    return true;
}

uint32_t FrameCompressedBuffer::framesInFlightFor(uint32_t chunks, uint32_t cores) {
    if (cores <= 1) return 1;
    const uint32_t per_frame = std::max<uint32_t>(chunks, 1);
    return std::max<uint32_t>(2, (cores + per_frame - 1) / per_frame);
}

uint32_t FrameCompressedBuffer::framesInFlight() const {
    uint32_t frames = m_framesInFlightSetting;
    if (frames == 0) frames = framesInFlightFor(m_file ? m_file->textureChunkCount() : 0, platform::processor_count());
    return std::clamp<uint32_t>(frames, 1, m_slotCount);
}

void FrameCompressedBuffer::ensureReadBuffers(uint32_t count) {
    while (m_readBuffers.size() < count) {
        PadBuffer buffer;
        PadBuffer::init(&buffer);
        m_readBuffers.push_back(buffer);
    }
}

void FrameCompressedBuffer::freeReadBuffers() {
    for (PadBuffer& buffer : m_readBuffers) PadBuffer::free(&buffer);
    m_readBuffers.clear();
}

bool FrameCompressedBuffer::startCacheThread() {
    stopCacheThread();
    if (!m_file || m_frameCount == 0) return false;
    const uint32_t lanes = framesInFlight();
    try {
        ensureReadBuffers(lanes);
    } catch (const std::bad_alloc&) {
        qWarning("Read-ahead not started : Memory error");
        return false;
    }
    m_stop = false;
    m_running = true;
    try {
        m_workers.reserve(lanes);
        for (uint32_t lane = 0; lane < lanes; ++lane)
            m_workers.emplace_back(&FrameCompressedBuffer::ct_bg_thread_cache_next_frame, this, lane);
    } catch (const std::exception& error) {
        // The workers that did start keep the queue going, only with fewer frames at once.
        qWarning("Read-ahead thread not started : %s (%u of %u running)", error.what(), unsigned(m_workers.size()),
                 lanes);
        if (m_workers.empty()) {
            m_running = false;
            return false;
        }
    }
    return true;
}

void FrameCompressedBuffer::stopCacheThread() {
    if (!m_running) return;
    {
        // Under the queue lock, so that a worker between its look at the flag and its
        // wait for room cannot miss the wake-up.
        QMutexLocker fifo(&m_fifoLock);
        m_stop = true;
        m_roomForFrames.wakeAll();
    }
    for (std::thread& worker : m_workers)
        if (worker.joinable()) worker.join();
    m_workers.clear();
    m_running = false;
    QMutexLocker fifo(&m_fifoLock);
    // Every claim is queued before its worker looks at the flag again; a claim left over
    // would be a slot that never joins the queue. (Without one, a move-on of the
    // read-ahead past the last queued frame stands.)
    if (m_pending != 0) {
        qDebug("Warn : %u read-ahead frames left unqueued", m_pending);
        m_lastClaimed = m_last;
        m_lastClaimedPosition = m_lastPosition;
        QMutexLocker turn(&m_turnLock);
        m_turnNext = m_turnsIssued;
    }
    m_pending = 0;
    std::fill(m_slotDecoded.begin(), m_slotDecoded.end(), uint8_t(0));
}

void FrameCompressedBuffer::ct_bg_thread_cache_next_frame(uint32_t lane) {
    // Nothing may escape the thread: an exception would end the whole program.
    try {
        while (!m_stop) {
            Claim claim{};
            if (!claimNextSlot(&claim)) continue;
            decodeInto(claim.slot, claim.frame, lane, claim.turn);
            queueDecoded(claim);
        }
    } catch (const std::exception& error) {
        qWarning("Read-ahead stopped : %s", error.what());
    } catch (...) {
        qWarning("Read-ahead stopped : unknown error");
    }
}

bool FrameCompressedBuffer::claimNextSlot(Claim* claim) {
    QMutexLocker fifo(&m_fifoLock);
    if (m_stop) return false;
    if (m_count + m_pending >= m_slotCount) {
        // Woken by a released slot or the stop; the time-out only bounds a lost wake-up.
        m_roomForFrames.wait(&m_fifoLock, 10);
        return false;
    }
    if (m_count == 0 && m_pending == 0) qDebug("aWARN ct_bg_thread_cache_next_frame queue empty");
    const uint32_t slot = (m_head + m_count + m_pending) % m_slotCount;
    if (slot == m_head && m_count + m_pending > 0) qDebug("Next indice write == index first !!");
    // May throw for a broken range; the locker lets go of the queue lock.
    const uint32_t frame = nextFrameIndex(m_lastClaimed);
    m_lastClaimed = frame;
    m_lastClaimedPosition += 1;
    m_pending += 1;
    m_slotFrameIndex[slot] = frame;
    m_slotPosition[slot] = m_lastClaimedPosition;
    m_slotDecoded[slot] = 0;
    m_slotSkipped[slot] = 0;
    *claim = {slot, frame, m_turnsIssued};
    m_turnsIssued += 1;
    return true;
}

void FrameCompressedBuffer::decodeInto(uint32_t slot, uint32_t frame, uint32_t lane, uint64_t turn) {
    // Only the slot lock while reading, so the interface thread can take and release
    // other slots, and other workers claim and queue theirs, meanwhile.
    QMutexLocker lock(m_slotLocks[slot]);
    VideoFrame* target = m_slots[slot];
    PadBuffer* bytes = &m_readBuffers[lane];
    std::string failure;
    bool read = false;
    try {
        if (turn != kNoTurn) {
            // The movie's lock lets any waiting reader in, not the one that waited
            // longest: the file is read in the order of the claims, or the frame the
            // clock needs next could wait while later ones are read again and again.
            QMutexLocker turns(&m_turnLock);
            while (m_turnNext != turn) m_turnDone.wait(&m_turnLock);
        }
        // Passes the turn on however the read ends.
        const struct TurnEnd {
            FrameCompressedBuffer* queue;
            uint64_t turn;
            ~TurnEnd() {
                if (turn == kNoTurn) return;
                QMutexLocker turns(&queue->m_turnLock);
                queue->m_turnNext = turn + 1;
                queue->m_turnDone.wakeAll();
            }
        } turn_end{this, turn};
        // A frame whose tick has passed is never shown: its read would only take the
        // storage from the frames still to come.
        if (turn != kNoTurn && m_slotPosition[slot] <= m_askedPosition.load()) {
            m_slotSkipped[slot] = 1;
            target->frame_number = frame;
            target->status |= VideoFrameStatus_DecodeFailed;
            return;
        }
        read = m_file->readFrameBytes(frame, target, bytes);
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown error";
    }
    if (read) {
        try {
            m_file->decodeFrameBytes(frame, target, *bytes);
            return;
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "unknown error";
        }
    }
    if (failure.empty()) {
        // A failed read said why in the movie's error text; the frame is marked, even
        // where the read refused it before touching it.
        target->frame_number = frame;
        target->status |= VideoFrameStatus_DecodeFailed;
        return;
    }
    // The slot still joins the queue, marked, or every later frame would wait on it.
    qWarning("Read-ahead frame %u failed : %s", frame, failure.c_str());
    target->frame_number = frame;
    target->status |= VideoFrameStatus_DecodeFailed;
}

void FrameCompressedBuffer::queueDecoded(const Claim& claim) {
    QMutexLocker fifo(&m_fifoLock);
    m_slotDecoded[claim.slot] = 1;
    while (m_pending > 0) {
        const uint32_t next = (m_head + m_count) % m_slotCount;
        if (!m_slotDecoded[next]) break;
        if (m_count >= m_slotCount) {
            qDebug("Possible ?? : queue full a la fin de l'ajout au fifo");
            break;
        }
        m_slotDecoded[next] = 0;
        m_count += 1;
        m_pending -= 1;
        m_last = m_slotFrameIndex[next];
        m_lastPosition = m_slotPosition[next];
    }
}

int32_t FrameCompressedBuffer::takeNextFrame(VideoFrame** frame) {
    uint32_t slot = 0;
    {
        QMutexLocker fifo(&m_fifoLock);
        dropHeadsWhile([&](uint32_t head) { return m_slotSkipped[head] != 0; });
        if (m_count == 0) return -1;
        slot = m_head;
    }
    m_slotLocks[slot]->lock();
    m_takenSlot = static_cast<int32_t>(slot);
    *frame = m_slots[slot];
    return static_cast<int32_t>(slot);
}

void FrameCompressedBuffer::dropHeadsWhile(const std::function<bool(uint32_t)>& stale) {
    // The head may be dropped only while no frame of the queue is on loan.
    uint32_t dropped = 0;
    while (m_takenSlot < 0 && m_count > 0 && stale(m_head)) {
        m_head = (m_head + 1) % m_slotCount;
        m_count -= 1;
        dropped += 1;
    }
    if (dropped == 0) return;
    m_leftOut += dropped;
    m_roomForFrames.wakeAll();
}

int32_t FrameCompressedBuffer::takeFrameAt(uint64_t position, VideoFrame** frame) {
    uint32_t slot = 0;
    {
        QMutexLocker fifo(&m_fifoLock);
        m_askedPosition.store(position);
        // The frames of earlier positions would show a picture older than the clock:
        // they are left out unseen, as are the claims whose read was skipped.
        dropHeadsWhile([&](uint32_t head) { return m_slotSkipped[head] != 0 || m_slotPosition[head] < position; });
        if (m_lastClaimedPosition < position) {
            // Not even begun: whatever it would read up to `position` comes too late to
            // be shown. The claims go on from the position after it.
            try {
                m_lastClaimed = frameAfter(m_lastClaimed, position - m_lastClaimedPosition);
                m_leftOut += position - m_lastClaimedPosition;
                m_lastClaimedPosition = position;
            } catch (const std::exception& error) {
                qDebug("Warn : read-ahead cannot move on : %s", error.what());
            }
        }
        // Nothing of this position or later yet: the picture holds.
        const bool held = m_count == 0 || m_slotSkipped[m_head] != 0 || m_slotPosition[m_head] < position;
        uint8_t& oldest = m_tickHeld[m_tickAt];
        m_heldTicks = m_heldTicks - oldest + (held ? 1 : 0);
        oldest = held ? 1 : 0;
        m_tickAt = (m_tickAt + 1) % uint32_t(m_tickHeld.size());
        if (held) return -1;
        slot = m_head;
    }
    m_slotLocks[slot]->lock();
    m_takenSlot = static_cast<int32_t>(slot);
    *frame = m_slots[slot];
    return static_cast<int32_t>(slot);
}

bool FrameCompressedBuffer::isCatchingUp() const {
    QMutexLocker fifo(&m_fifoLock);
    // A read-ahead that cannot keep up holds most ticks, whatever frame now and then
    // comes in time; one that is catching up holds a few ticks and then none.
    return m_running.load() && m_heldTicks <= m_slotCount;
}

uint64_t FrameCompressedBuffer::leftOutCount() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_leftOut;
}

uint32_t FrameCompressedBuffer::frameAtPosition(uint64_t position) const {
    QMutexLocker fifo(&m_fifoLock);
    try {
        return frameAfter(m_startFrame, position);
    } catch (const std::exception&) {
        return m_startFrame;
    }
}

void FrameCompressedBuffer::releaseFrame(int32_t slot) {
    if (slot < 0 || uint32_t(slot) >= m_slotCount) {
        qDebug() << "ERR : invalid frame index unlock : " << slot;
        return;
    }
    // Only the slot that was taken (and locked) is unlocked: unlocking a free mutex is
    // undefined.
    if (slot == m_takenSlot) {
        m_slotLocks[slot]->unlock();
        m_takenSlot = -1;
    }
    QMutexLocker fifo(&m_fifoLock);
    if (m_count == 0 || uint32_t(slot) != m_head) {
        qDebug() << "Warn : first fifo frame change (prev : " << slot << " ; new : "
                 << (m_count == 0 ? -1 : int64_t(m_head));
        // Advancing now would drop a frame that was never shown.
        return;
    }
    m_head = (m_head + 1) % m_slotCount;
    m_count -= 1;
    m_roomForFrames.wakeOne();
}

int32_t FrameCompressedBuffer::playStep() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_playStep;
}

void FrameCompressedBuffer::setPlayStep(int32_t step) {
    QMutexLocker fifo(&m_fifoLock);
    m_playStep = step;
}

uint32_t FrameCompressedBuffer::loopMode() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_loopMode;
}

void FrameCompressedBuffer::setLoopMode(uint32_t mode) {
    QMutexLocker fifo(&m_fifoLock);
    m_loopMode = mode;
}

int32_t FrameCompressedBuffer::inPoint() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_inPoint;
}

int32_t FrameCompressedBuffer::outPoint() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_outPoint;
}

void FrameCompressedBuffer::setInPoint(int32_t in) {
    QMutexLocker fifo(&m_fifoLock);
    m_inPoint = in;
    if (m_outPoint >= 0 && m_outPoint < in) m_outPoint = -1;
}

void FrameCompressedBuffer::setOutPoint(int32_t out) {
    QMutexLocker fifo(&m_fifoLock);
    m_outPoint = out;
    if (out >= 0 && m_inPoint > out) m_inPoint = -1;
}

void FrameCompressedBuffer::resetInPoint() {
    QMutexLocker fifo(&m_fifoLock);
    m_inPoint = -1;
}

void FrameCompressedBuffer::resetOutPoint() {
    QMutexLocker fifo(&m_fifoLock);
    m_outPoint = -1;
}

namespace {

// The frames a play may show, [first, last], from the frame count and the in and out
// points; throws for an empty range.
void play_range(uint32_t frame_count, int32_t in_point, int32_t out_point, int64_t* first, int64_t* last) {
    if (frame_count == 0) throw std::runtime_error("durationf zero");
    *last = int64_t(frame_count) - 1;
    *first = in_point >= 0 ? std::min<int64_t>(in_point, *last) : 0;
    if (out_point >= 0) {
        if (out_point < *first) throw std::runtime_error("invalid out point");
        // An out point past the movie's end plays to the last frame.
        *last = std::min<int64_t>(out_point, *last);
    }
    if (*last - *first + 1 <= 0) throw std::runtime_error("durationf zero");
}

}  // namespace

uint32_t FrameCompressedBuffer::frameAfter(uint32_t current, uint64_t count) const {
    if (count == 0) return current;
    int64_t first = 0;
    int64_t last = 0;
    play_range(m_frameCount, m_inPoint, m_outPoint, &first, &last);
    const int64_t length = last - first + 1;
    if (length == 1) return static_cast<uint32_t>(first);
    const int64_t clamped = std::clamp<int64_t>(current, first, last);
    if (m_loopMode) {
        // Each step wraps around the range: count steps are count x step around it.
        const __int128 turns = static_cast<__int128>(count % uint64_t(length)) * (m_playStep % length);
        const int64_t offset = static_cast<int64_t>((clamped - first + turns % length) % length);
        return static_cast<uint32_t>(first + (offset < 0 ? offset + length : offset));
    }
    // Play once stops at the ends: once there, every later step stays.
    const __int128 target = static_cast<__int128>(clamped) + static_cast<__int128>(count) * m_playStep;
    if (target < first) return static_cast<uint32_t>(first);
    if (target > last) return static_cast<uint32_t>(last);
    return static_cast<uint32_t>(target);
}

uint32_t FrameCompressedBuffer::nextFrameIndex(uint32_t current) const {
    int64_t first = 0;
    int64_t last = 0;
    play_range(m_frameCount, m_inPoint, m_outPoint, &first, &last);
    const int64_t length = last - first + 1;
    if (length == 1) return static_cast<uint32_t>(first);

    int64_t step = m_playStep;
    if (m_loopMode) step %= length;
    const int64_t clamped = std::clamp<int64_t>(current, first, last);
    const int64_t next = clamped + step;
    if (next >= first && next <= last) return static_cast<uint32_t>(next);
    if (!m_loopMode) return static_cast<uint32_t>(next < first ? first : last);
    if (next > last) return static_cast<uint32_t>(next - last - 1 + first);
    return static_cast<uint32_t>(next + length);
}

bool FrameCompressedBuffer::readPauseFrame(uint32_t index) {
    QMutexLocker pause(&m_pauseLock);
    if (!m_file) return false;
    return m_file->readFrame(index, m_pauseFrame);
}

void FrameCompressedBuffer::lockSlot(int32_t slot) {
    if (slot < 0) return;
    if (uint32_t(slot) >= m_slotCount) {
        qDebug() << "ERR : invalid frame index lock : " << slot;
        return;
    }
    m_slotLocks[slot]->lock();
}

void FrameCompressedBuffer::unlockSlot(int32_t slot) {
    if (slot < 0) return;
    if (uint32_t(slot) >= m_slotCount) {
        qDebug() << "ERR : invalid frame index unlock : " << slot;
        return;
    }
    m_slotLocks[slot]->unlock();
}

uint32_t FrameCompressedBuffer::cachedCount() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_count;
}

uint32_t FrameCompressedBuffer::headSlot() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_head;
}

uint32_t FrameCompressedBuffer::lastQueuedFrame() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_last;
}

uint32_t FrameCompressedBuffer::pendingCount() const {
    QMutexLocker fifo(&m_fifoLock);
    return m_pending;
}
