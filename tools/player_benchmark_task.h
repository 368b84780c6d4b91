#pragma once
// PlayerBenchmarkTask: reads every frame of the opened movie from the disk, one after
// the other, and decodes it into its textures, timing both with a steady clock. The
// statistics (sum, minimum, maximum, average time per frame, the frame rates they
// allow with their ratio to the movie's rate, and the disk bitrate) are computed over
// the frames measured whenever the run ends (finished, stopped or failed).
//
// Threads: constructed on the GUI thread, which is where the movie is looked at: the
// constructor copies the movie's rate, codec, size and its movie record pointer.
// The body (on the task's own thread) reads through that movie record, taking the
// movie's read lock around each read, so playback and the benchmark share the file
// in turn. The movie must outlive the run: its owner (the benchmark dialog) stops the
// task before the movie can go. record() is for the GUI thread once the end state has
// been signalled.
//
// Errors end the task in state 8 with "ERREUR : Fail to initialize" (no movie record,
// an empty movie, a codec other than the six HAP ones) or "ERREUR : Fail to process :
// ..." (a read or decode error) in the log.
#include <cstdint>
#include <vector>

#include "ui/base_process_task.h"

class FileToPlay;
struct FilterGraph;
struct MovFile;
struct VideoFrame;

// Ten values, seconds for the times.
struct BenchmarkStats {
    double sum = 0, minimum = 0, maximum = 0, average = 0;
    double fpsAtMinimum = 0, ratioAtMinimum = 0;  // rate at the minimum time: the fastest frame
    double fpsAtMaximum = 0, ratioAtMaximum = 0;  // rate at the maximum time: the slowest frame
    double fpsAtAverage = 0, ratioAtAverage = 0;
};

struct BenchmarkRecord {
    uint32_t frameCount = 0;
    uint32_t framesMeasured = 0;
    double movieFps = 0;
    MovFile* movie = nullptr;        // borrowed from the FileToPlay
    std::vector<double> readTimes;   // seconds, one per movie frame
    std::vector<double> decodeTimes;
    VideoFrame* frame = nullptr;     // one compressed frame, sized for the largest
    FilterGraph* graph = nullptr;    // one HAP decode node
    uint32_t nextFrame = 0;
    BenchmarkStats read;
    BenchmarkStats decode;
    BenchmarkStats global;  // read + decode per frame
    // Total read seconds, then minimum, maximum and average disk rate in bytes/s.
    double bitrate[4] = {0, 0, 0, 0};
};

// Frames measured between two looks at the pause and stop requests.
constexpr uint32_t kBenchmarkFramesPerCheck = 25;

class PlayerBenchmarkTask : public BaseProcessTask {
    Q_OBJECT
public:
    PlayerBenchmarkTask(QObject* parent, FileToPlay* movie);
    ~PlayerBenchmarkTask() override;

    // Null before the body has opened its input.
    const BenchmarkRecord* record() const { return m_record; }

    // The statistics of the first framesMeasured frames of the record (frame sizes
    // from the movie's frame table). Frame rates are 1 / time and ratios (1 / time) /
    // movieFps; a time of 0 (or a movie rate of 0) leaves both at 0, and a read time of
    // 0 counts as a disk rate of 0. With no frame measured everything stays 0.
    static void computeStats(BenchmarkRecord* record);
    static void computeFps(BenchmarkStats* stats, double movieFps);
    // The largest frame size of the movie's frame table; throws "No seek table found".
    static uint32_t checkSeekTable(const MovFile* movie);

protected:
    void coreProcessFunc() override;

private:
    bool openInput();
    bool benchmarkFrame();
    void freeRecord() noexcept;

    MovFile* m_movie = nullptr;
    bool m_hasMovie = false;
    double m_fps = 0;
    BenchmarkRecord* m_record = nullptr;
};
