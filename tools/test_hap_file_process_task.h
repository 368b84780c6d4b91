#pragma once
// TestHapFileProcessTask: the background job of the file test. It opens the movie a
// second time through the HAP file checker engine, has every frame parsed and fully
// decoded (a batch of N = processors, at most 128, frames side by side on the checker's
// workers, while the batch before it is collected), and writes per-frame ERROR and WARNING
// lines and a summary into the task log:
//   Global results :
//   Frames valids : <n>
//   Frames invalides : <n>
//   Frames with inconsistent chunk count : <n> (Occurs ...)   [only with warnChunks]
// End state: 8 when a frame is invalid or a read failed, 7 when warnChunks is set and a
// frame's chunk count differs from the first valid frame's, else 6; a stop keeps 4 and
// writes "Partial results" with the frames reviewed, which are always frames 0..X-1.
//
// The task copies the movie's path at construction and never touches the movie again,
// so the movie may close while the task runs. Created, started, paused and stopped on
// the GUI thread; the body runs on the task's own thread (BaseProcessTask).
#include "ui/base_process_task.h"

#include <QStringList>

#include <atomic>
#include <cstdint>
#include <string>

class FileToPlay;
struct HapCheckResult;
struct HapFileChecker;

class TestHapFileProcessTask : public BaseProcessTask {
    Q_OBJECT
public:
    // `movie` may be null: the run then fails with "ERROR : No input file".
    TestHapFileProcessTask(QObject* parent, FileToPlay* movie);
    ~TestHapFileProcessTask() override;

    // Whether chunk-count mismatches are reported (on by default). Set before start.
    void setWarnChunksState(bool warn) { m_warnChunks.store(warn); }
    bool warnChunksState() const { return m_warnChunks.load(); }

    // The batch review: sorts `count` joined results (in frame order) into the valid,
    // invalid and inconsistent-chunk counters of `checker` (taking the expected chunk
    // count from the first valid frame) and returns the batch's log lines.
    static QStringList checkFrames(HapFileChecker* checker, const HapCheckResult* results, uint32_t count,
                                   bool warnChunks);

protected:
    void coreProcessFunc() override;
    // Test seam, on the body thread: a batch has just been started; `framesRead`
    // frames have been read so far. Does nothing here.
    virtual void batchStarted(uint32_t framesRead) { (void)framesRead; }

private:
    // Reviews the joined frames from `firstSlot`, logs them once, updates the progress.
    void reviewJoined(HapFileChecker* checker, uint32_t firstSlot, uint32_t count);

    std::u16string m_path;  // native separators; empty without a movie
    bool m_hasMovie = false;
    std::atomic<bool> m_warnChunks{true};
};
