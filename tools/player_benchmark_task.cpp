#include "tools/player_benchmark_task.h"

#include <QDebug>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>
#include <stdexcept>

#include "media/file_access.h"
#include "media/mov_file.h"
#include "movie/file_to_play.h"
#include "media/video_frame.h"
#include "processing/codec_filters.h"
#include "processing/filter_graph.h"
#include "processing/snapshot_params.h"

namespace {

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The first value sets minimum and maximum; later ones widen them.
void take_extremes(double value, bool first, double* minimum, double* maximum) {
    if (first || value < *minimum) *minimum = value;
    if (first || value > *maximum) *maximum = value;
}

void rate_and_ratio(double seconds, double movieFps, double* fps, double* ratio) {
    *fps = 0;
    *ratio = 0;
    if (!(seconds > 0)) return;
    *fps = 1.0 / seconds;
    if (movieFps > 0) *ratio = *fps / movieFps;
}

}  // namespace

PlayerBenchmarkTask::PlayerBenchmarkTask(QObject* parent, FileToPlay* movie) : BaseProcessTask(parent) {
    if (!movie) return;
    movie->movFile(&m_movie);
    m_fps = double(movie->fps());
    m_hasMovie = m_movie != nullptr;
}

PlayerBenchmarkTask::~PlayerBenchmarkTask() {
    // The body uses the record: it must be over before the record goes.
    stop();
    freeRecord();
}

void PlayerBenchmarkTask::freeRecord() noexcept {
    if (!m_record) return;
    filter_graph_free(m_record->graph);
    video_frame_free(&m_record->frame);
    delete m_record;
    m_record = nullptr;
}

uint32_t PlayerBenchmarkTask::checkSeekTable(const MovFile* movie) {
    if (!movie || !movie->frameTable) throw std::runtime_error("No seek table found");
    uint32_t largest = 0;
    for (uint32_t i = 0; i < movie->frameCount; ++i)
        if (movie->frameTable[i].size > largest) largest = movie->frameTable[i].size;
    return largest;
}

bool PlayerBenchmarkTask::openInput() {
    if (!m_hasMovie) {
        // The body then ends failed (state 8).
        appendLog(QStringLiteral("ERROR : No input file"));
        return false;
    }
    // A second run starts from nothing.
    freeRecord();
    try {
        m_record = new BenchmarkRecord();
        m_record->movie = m_movie;
        m_record->frameCount = m_movie->frameCount;
        if (m_record->frameCount == 0) throw std::runtime_error("Empty file");
        m_record->readTimes.assign(m_record->frameCount, 0.0);
        m_record->decodeTimes.assign(m_record->frameCount, 0.0);
        const uint32_t largest = checkSeekTable(m_movie);

        m_record->frame = video_frame_new();
        if (!is_hap_fourcc(m_movie->codec)) throw std::runtime_error("Unsuppoted src codec");
        video_frame_alloc_data(m_record->frame, largest, VideoDataFormat_Compressed);

        m_record->graph = filter_graph_alloc(2, 1);
        HapDecodeParams params;
        params.codec = hap_codec_from_fourcc(m_movie->codec);
        params.width = m_movie->width;
        params.height = m_movie->height;
        params.threaded = 1;  // chunks over the cores, as in playback
        FilterNode* node = create_hap_decode_filter(params);
        try {
            filter_graph_add_filter(m_record->graph, node);
        } catch (...) {
            filter_free(node);
            throw;
        }
        m_record->movieFps = m_fps;
    } catch (const std::bad_alloc&) {
        appendLog(QStringLiteral("ERREUR : Fail to initialize (OOM)"));
        return false;
    } catch (const std::exception& error) {
        std::printf("ERREUR : Init reader bench faile : %s\n", error.what());
        appendLog(QStringLiteral("ERREUR : Fail to initialize"));
        return false;
    }
    return true;
}

bool PlayerBenchmarkTask::benchmarkFrame() {
    BenchmarkRecord* r = m_record;
    if (r->nextFrame >= r->frameCount) return false;
    const FrameIndexEntry entry = r->movie->frameTable[r->nextFrame];

    const int64_t t0 = now_ns();
    {
        // Released on a read error too; the wait for playback's reads counts as read time.
        std::lock_guard<std::mutex> lock(*r->movie->readMutex);
        file_read_at(r->movie->file, r->frame->planes[0], entry.offset, entry.size);
        r->frame->sizes[0] = entry.size;
    }
    const int64_t t1 = now_ns();

    r->frame->frame_number = r->nextFrame;
    const int64_t t2 = now_ns();
    try {
        VideoFrame* input = r->frame;
        filter_graph_process(r->graph, &input, 1);
    } catch (...) {
        std::printf("Fail to process graph\n");
        throw;
    }
    const int64_t t3 = now_ns();

    r->readTimes[r->nextFrame] = double(t1 - t0) / 1e9;
    r->decodeTimes[r->nextFrame] = double(t3 - t2) / 1e9;
    ++r->nextFrame;
    ++r->framesMeasured;
    return r->nextFrame < r->frameCount;
}

void PlayerBenchmarkTask::computeFps(BenchmarkStats* s, double movieFps) {
    rate_and_ratio(s->minimum, movieFps, &s->fpsAtMinimum, &s->ratioAtMinimum);
    rate_and_ratio(s->maximum, movieFps, &s->fpsAtMaximum, &s->ratioAtMaximum);
    rate_and_ratio(s->average, movieFps, &s->fpsAtAverage, &s->ratioAtAverage);
}

void PlayerBenchmarkTask::computeStats(BenchmarkRecord* r) {
    r->read = BenchmarkStats{};
    r->decode = BenchmarkStats{};
    r->global = BenchmarkStats{};
    for (double& value : r->bitrate) value = 0;
    const uint32_t n = r->framesMeasured;
    if (n == 0 || !r->movie || !r->movie->frameTable) return;

    double totalBytes = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const double read = r->readTimes[i];
        const double decode = r->decodeTimes[i];
        const double global = read + decode;
        const double bytes = double(r->movie->frameTable[i].size);
        const double rate = read > 0 ? bytes / read : 0.0;
        const bool first = i == 0;
        r->read.sum += read;
        r->decode.sum += decode;
        r->global.sum += global;
        r->bitrate[0] += read;
        totalBytes += bytes;
        take_extremes(read, first, &r->read.minimum, &r->read.maximum);
        take_extremes(decode, first, &r->decode.minimum, &r->decode.maximum);
        take_extremes(global, first, &r->global.minimum, &r->global.maximum);
        take_extremes(rate, first, &r->bitrate[1], &r->bitrate[2]);
    }
    r->read.average = r->read.sum / n;
    r->decode.average = r->decode.sum / n;
    r->global.average = r->global.sum / n;
    r->bitrate[3] = r->bitrate[0] > 0 ? totalBytes / r->bitrate[0] : 0.0;
    computeFps(&r->read, r->movieFps);
    computeFps(&r->decode, r->movieFps);
    computeFps(&r->global, r->movieFps);
}

void PlayerBenchmarkTask::coreProcessFunc() {
    if (!openInput()) {
        finish(true, false);
        return;
    }
    startStep(0);
    setStepFrameCount(m_record->frameCount);
    setTotalFrames(m_record->frameCount);

    bool failed = false;
    try {
        for (;;) {
            bool more = true;
            for (uint32_t i = 0; i < kBenchmarkFramesPerCheck && more; ++i) more = benchmarkFrame();
            setFramesDone(m_record->framesMeasured);
            updateProgressFrames(m_record->framesMeasured);
            if (!more) break;
            if (!continueAfterPause()) break;
        }
    } catch (...) {
        logProcessError();
        failed = true;
    }
    // Whatever ended the loop, the frames measured so far are summed up.
    computeStats(m_record);
    finish(failed, false);
}
