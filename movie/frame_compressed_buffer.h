#pragma once
// Read-ahead queue of decoded texture frames: a ring of slots that background workers
// fill with the next frames in play order (direction, step, loop, in/out points),
// and from which the interface thread takes, at each tick of the playback clock, the
// frame of that tick (takeFrameAt): the frames of ticks that came too late to show
// them are left out, and a tick whose frame is not there yet shows nothing new (the
// picture holds) rather than an older frame. A separate pause frame serves single
// frames while paused or seeking.
//
// Several frames can be in flight at once: each worker claims the next free slot and
// the next frame in play order (under the queue lock), reads and decodes that frame
// into the slot with a read buffer of its own, and the slots join the queue strictly
// in the order they were claimed, so frames are taken in play order whichever worker
// finishes first. The file reads are serialised by the movie and go in the order of
// the claims, so one worker reads while the others decode, and the frame needed next
// is read next. How many frames are in flight follows the movie's chunks:
// a frame of few chunks decodes on few cores, so more frames run side by side; a frame
// of as many chunks as cores keeps one frame decoding while the next is read. One
// frame in flight is the plain schedule (read, decode, repeat), used on one core.
//
// The workers run on threads of their own, not on Qt's global pool: that pool has one
// thread per core and other never-ending jobs live there too, so on a small machine
// the read-ahead could never start.
//
// Threads: everything public is for the interface thread (or the one thread that owns
// the queue); the workers only touch the slots they claimed and the queue state under
// the queue lock. Lock order: the queue lock, then one slot lock, then the read-turn
// lock, then the movie's locks; a worker never holds the queue lock while it waits for
// a slot lock or its turn to read.
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "media/pad_buffer.h"
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
    // `start` in the play direction, as many at once as frames may be in flight. Stops
    // a running job first. False without a movie with frames.
    bool prefill(uint32_t start);

    // Starts the read-ahead workers (stopping running ones first); false when no thread
    // could be started.
    bool startCacheThread();
    // Asks the workers to stop and waits for them. A frame a worker is decoding is
    // finished and queued in its turn, so the queue stops whole: the frames it holds
    // follow each other in play order and a restart goes on after the last of them.
    void stopCacheThread();
    bool isCacheThreadRunning() const { return m_running.load(); }

    // How many frames the workers read and decode at once: 0 (the default) chooses
    // from the movie's chunk count and the processor's cores (framesInFlightFor);
    // 1 is the plain schedule, one frame read then decoded after another. Takes effect
    // at the next prefill or start; at most the slot count.
    void setFramesInFlight(uint32_t frames) { m_framesInFlightSetting = frames; }
    // The number the next start uses.
    uint32_t framesInFlight() const;
    // The choice for a frame of `chunks` chunks (0 when unknown) on `cores` cores: one
    // frame on one core; otherwise enough frames to give every core a chunk, and at
    // least two, so that a frame is read while the one before decodes.
    static uint32_t framesInFlightFor(uint32_t chunks, uint32_t cores);

    // The oldest cached frame: returns its slot, locked until releaseFrame, or -1 when
    // the queue is empty. (For a consumer without a clock; the player uses takeFrameAt.)
    int32_t takeNextFrame(VideoFrame** frame);
    void releaseFrame(int32_t slot);

    // Play positions: the frames a play shows after its start frame (the prefill's
    // `start`) are its positions 1, 2, 3, ... in play order, whatever the step, loop
    // and range make of them; the playback clock's tick k shows position k.
    //
    // The frame of `position`, for a clock that may have left ticks out. The frames
    // queued for earlier positions are left out (released unseen): a frame older than
    // the tick is never shown. Returns the slot of the frame of `position` (the oldest
    // queued of it or later) as takeNextFrame does, or -1 when the read-ahead has not
    // queued it yet, and the picture is to hold. When the read-ahead has not even begun `position`, it moves
    // on: the frames it claims next are those of the positions after it; and a claim
    // whose turn to read comes after its position was asked for is not read at all.
    // Frames left out so are not read, and the storage's time goes to the frames due.
    int32_t takeFrameAt(uint64_t position, VideoFrame** frame);
    // Whether the ticks that takeFrameAt found without their frame are the read-ahead
    // catching up (after a hold of the clock longer than the queue, or a storage that
    // stalled a moment): the read-ahead runs, and at most as many of the last ticks
    // held as the queue has slots, of twice as many. False: the read-ahead is too slow
    // for the play. A prefill starts the count afresh.
    bool isCatchingUp() const;
    // Frames left out by takeFrameAt, since the last prefill.
    uint64_t leftOutCount() const;
    // The frame of a play position of the play the last prefill started, by the
    // current step, loop and range (the same frame the read-ahead queues for it).
    uint32_t frameAtPosition(uint64_t position) const;

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
    // The frame `count` frames after `current` in play order, as `count` calls of
    // nextFrameIndex give it, in one step. The caller holds the queue lock; throws as
    // nextFrameIndex does.
    uint32_t frameAfter(uint32_t current, uint64_t count) const;

    // Reads and decodes a frame into the pause frame (under the pause lock).
    bool readPauseFrame(uint32_t index);
    void lockPauseFrame() { m_pauseLock.lock(); }
    void unlockPauseFrame() { m_pauseLock.unlock(); }
    VideoFrame* pauseFrame() const { return m_pauseFrame; }

    void lockSlot(int32_t slot);
    void unlockSlot(int32_t slot);

    uint32_t frameCount() const { return m_frameCount; }
    uint32_t slotCount() const { return m_slotCount; }
    uint32_t prefillCount() const { return m_prefillCount; }
    // Queue state, read under the queue lock (for the player's diagnostics and tests).
    uint32_t cachedCount() const;
    uint32_t headSlot() const;
    uint32_t lastQueuedFrame() const;
    // Slots claimed by the workers and not queued yet: being read or decoded, or
    // decoded while a frame before them is still in flight.
    uint32_t pendingCount() const;
    // The frame of a slot; only meaningful while the caller holds that slot.
    VideoFrame* slotFrame(uint32_t slot) const { return slot < m_slotCount ? m_slots[slot] : nullptr; }

private:
    struct Claim {
        uint32_t slot;
        uint32_t frame;
        uint64_t turn;  // its turn to read the file
    };
    // The turn of a read that waits for none (the prefill's).
    static constexpr uint64_t kNoTurn = UINT64_MAX;
    // One worker's loop, reading into its own buffer `lane`.
    void ct_bg_thread_cache_next_frame(uint32_t lane);
    // Takes the next free slot and the next frame in play order; false (after a short
    // wait for room) when the queue is full or the workers are stopping.
    bool claimNextSlot(Claim* claim);
    // Reads and decodes `frame` into `slot` under its slot lock, with read buffer
    // `lane`, reading once the reads of the turns before `turn` are done (kNoTurn: at
    // once); a failure marks the frame (status bit DecodeFailed), nothing escapes. A
    // claim whose position was asked for before its turn is not read: it is marked
    // skipped.
    void decodeInto(uint32_t slot, uint32_t frame, uint32_t lane, uint64_t turn);
    // Drops the queue's head while `stale` says so of it and no frame is on loan,
    // counting the frames left out; under the queue lock.
    void dropHeadsWhile(const std::function<bool(uint32_t)>& stale);
    // Marks the slot decoded and queues every decoded slot that is next in line.
    void queueDecoded(const Claim& claim);
    // Makes at least `count` read buffers; only while no worker runs.
    void ensureReadBuffers(uint32_t count);
    void freeReadBuffers();

    VideoFrame* m_pauseFrame = nullptr;
    uint32_t m_frameCount = 0;
    int32_t m_playStep = 0;
    uint32_t m_loopMode = 0;
    int32_t m_inPoint = -1;
    int32_t m_outPoint = -1;
    FileToPlay* m_file = nullptr;
    QMutex m_pauseLock;
    VideoFrame** m_slots = nullptr;
    uint32_t m_slotCount = 0;
    QMutex** m_slotLocks = nullptr;
    uint32_t m_prefillCount = 0;
    uint32_t m_head = 0;
    uint32_t m_count = 0;
    uint32_t m_last = 0;
    // The claimed slots follow the queued ones: (head + count) .. (head + count +
    // pending - 1), modulo the slot count. m_lastClaimed is the frame of the newest claim,
    // the base of the next one; it equals m_last whenever nothing is pending, unless
    // the read-ahead moved on past m_last.
    uint32_t m_pending = 0;
    uint32_t m_lastClaimed = 0;
    // Play positions (see takeFrameAt): of the prefill's start frame's play, of the
    // newest queued frame and of the newest claim; m_askedPosition is the last one
    // takeFrameAt asked for (read by the workers without the queue lock). m_tickHeld
    // rings the last takeFrameAt calls (1: held, no frame), m_tickAt the next to
    // write, m_heldTicks how many of them held.
    uint32_t m_startFrame = 0;
    uint64_t m_lastPosition = 0;
    uint64_t m_lastClaimedPosition = 0;
    std::atomic<uint64_t> m_askedPosition{0};
    std::vector<uint8_t> m_tickHeld;
    uint32_t m_tickAt = 0;
    uint32_t m_heldTicks = 0;
    uint64_t m_leftOut = 0;
    std::vector<uint32_t> m_slotFrameIndex;  // per slot: the frame it was claimed for
    std::vector<uint64_t> m_slotPosition;    // per slot: the play position of that frame
    std::vector<uint8_t> m_slotDecoded;      // per slot: decoded, waiting for its turn
    std::vector<uint8_t> m_slotSkipped;      // per slot: claimed too late, never read
    int32_t m_takenSlot = -1;  // the slot handed out (takeNextFrame, takeFrameAt), until released
    mutable QMutex m_fifoLock;
    QWaitCondition m_roomForFrames;  // with m_fifoLock: a slot came free or stop
    // Read turns: handed out with the claims under the queue lock (m_turnsIssued, the
    // next one), taken in that order under m_turnLock (m_turnNext, the one reading).
    uint64_t m_turnsIssued = 0;
    QMutex m_turnLock;
    QWaitCondition m_turnDone;  // with m_turnLock: m_turnNext moved on
    uint64_t m_turnNext = 0;
    uint32_t m_framesInFlightSetting = 0;
    std::vector<PadBuffer> m_readBuffers;  // one per worker; grow while no worker runs
    std::vector<std::thread> m_workers;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
};
