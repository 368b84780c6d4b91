// The benchmark task on real movies: every frame measured, statistics that agree with
// the per-frame times, a pause-then-stop that keeps whole batches, the failures, and
// the guards against zero times and empty runs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>
#include <numeric>

#include "media/mov_file.h"
#include "movie/file_to_play.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"
#include "tools/player_benchmark_task.h"
#include "widget_app.h"

namespace {

QString fixture(const char* name) { return QString::fromStdString(testsupport::fixture_path(name)); }

bool ended(uint32_t s) { return s == 4 || s == 5 || s >= 6; }

// Runs the task to its end; returns every log line it sent.
QStringList run(PlayerBenchmarkTask& task, bool pauseThenStop = false) {
    QStringList logs;
    QObject::connect(&task, &BaseProcessTask::processTask_have_new_logs,
                     [&logs](const QStringList& lines, const QString&) { logs += lines; });
    task.start();
    if (pauseThenStop) {
        task.requestPause();
        EXPECT_TRUE(QTest::qWaitFor([&] { return task.runState() == 3 || ended(task.runState()); }, 20000));
        task.stop();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended(task.runState()); }, 20000));
    task.stop();  // joins the body
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return logs;
}

uint64_t packet_bytes(const std::vector<testsupport::MoviePacket>& packets, size_t n) {
    uint64_t total = 0;
    for (size_t i = 0; i < n; ++i) total += packets[i].size;
    return total;
}

void expect_near_rel(double a, double b, double rel) { EXPECT_LE(std::fabs(a - b), rel * std::max(std::fabs(b), 1e-300)); }

// Every block agrees with the per-frame times of the first framesMeasured frames.
void expect_consistent(const BenchmarkRecord& r, const std::vector<testsupport::MoviePacket>& packets) {
    const uint32_t n = r.framesMeasured;
    ASSERT_GT(n, 0u);
    const double readSum = std::accumulate(r.readTimes.begin(), r.readTimes.begin() + n, 0.0);
    const double decodeSum = std::accumulate(r.decodeTimes.begin(), r.decodeTimes.begin() + n, 0.0);
    expect_near_rel(r.read.sum, readSum, 1e-9);
    expect_near_rel(r.decode.sum, decodeSum, 1e-9);
    expect_near_rel(r.global.sum, r.read.sum + r.decode.sum, 1e-9);
    for (const BenchmarkStats* s : {&r.read, &r.decode, &r.global}) {
        EXPECT_GT(s->minimum, 0.0);
        EXPECT_LE(s->minimum, s->average);
        EXPECT_LE(s->average, s->maximum);
        expect_near_rel(s->average, s->sum / n, 1e-12);
        expect_near_rel(s->fpsAtMinimum, 1.0 / s->minimum, 1e-12);
        expect_near_rel(s->fpsAtMaximum, 1.0 / s->maximum, 1e-12);
        expect_near_rel(s->fpsAtAverage, 1.0 / s->average, 1e-12);
        expect_near_rel(s->ratioAtAverage, s->fpsAtAverage / 25.0, 1e-6);
        expect_near_rel(s->ratioAtMinimum, s->fpsAtMinimum / 25.0, 1e-6);
    }
    expect_near_rel(r.bitrate[0], readSum, 1e-9);
    expect_near_rel(r.bitrate[3], double(packet_bytes(packets, n)) / readSum, 1e-9);
    EXPECT_LE(r.bitrate[1], r.bitrate[3]);
    EXPECT_LE(r.bitrate[3], r.bitrate[2]);
}

TEST(BenchmarkTask, MeasuresEveryFrameOfTheMovie) {
    widget_app();
    FileToPlay movie(fixture("bench_hapq_100.mov"));
    const auto packets = testsupport::read_packet_list("bench_hapq_100");
    PlayerBenchmarkTask task(nullptr, &movie);
    const QStringList logs = run(task);
    EXPECT_EQ(task.runState(), uint32_t(ProcessTaskState_Finished)) << logs.join('\n').toStdString();
    ASSERT_NE(task.record(), nullptr);
    EXPECT_EQ(task.record()->framesMeasured, packets.size());
    EXPECT_EQ(task.record()->frameCount, packets.size());
    expect_consistent(*task.record(), packets);
}

TEST(BenchmarkTask, OneFrameMovie) {
    widget_app();
    FileToPlay movie(fixture("bench_hap_1.mov"));
    PlayerBenchmarkTask task(nullptr, &movie);
    run(task);
    ASSERT_EQ(task.runState(), uint32_t(ProcessTaskState_Finished));
    const BenchmarkRecord& r = *task.record();
    EXPECT_EQ(r.framesMeasured, 1u);
    for (const BenchmarkStats* s : {&r.read, &r.decode, &r.global}) {
        EXPECT_EQ(s->minimum, s->maximum);
        EXPECT_DOUBLE_EQ(s->average, s->minimum);
    }
    EXPECT_DOUBLE_EQ(r.bitrate[1], r.bitrate[2]);
    EXPECT_DOUBLE_EQ(r.bitrate[3], r.bitrate[1]);
}

TEST(BenchmarkTask, StopKeepsWholeBatches) {
    widget_app();
    FileToPlay movie(fixture("bench_hapq_100.mov"));
    const auto packets = testsupport::read_packet_list("bench_hapq_100");
    PlayerBenchmarkTask task(nullptr, &movie);
    run(task, true);
    ASSERT_EQ(task.runState(), uint32_t(ProcessTaskState_Stop));
    const BenchmarkRecord& r = *task.record();
    EXPECT_EQ(r.framesMeasured % kBenchmarkFramesPerCheck, 0u);
    EXPECT_LT(r.framesMeasured, 100u);
    expect_consistent(r, packets);
}

TEST(BenchmarkTask, Failures) {
    widget_app();
    // A copy of a movie whose second frame is overwritten.
    const auto packets = testsupport::read_packet_list("snap_hap");
    testsupport::Bytes bytes = testsupport::read_whole_file(testsupport::fixture_path("snap_hap.mov"));
    std::fill_n(bytes.begin() + std::ptrdiff_t(packets[1].offset), packets[1].size, uint8_t(0xFF));
    const std::string damaged = testsupport::scratch_path("bench_damaged.mov");
    testsupport::write_whole_file(damaged, bytes);

    struct Case {
        QString path;  // empty: no movie
        const char* log;
        uint32_t measured;
    };
    const Case cases[] = {
        {QString(), "ERROR : No input file", 0},
        {fixture("window_prores.mov"), "ERREUR : Fail to initialize", 0},
        {QString::fromStdString(damaged), "ERREUR : Fail to process : Decoding error : corrupt frame (header)", 1},
    };
    for (const Case& c : cases) {
        std::unique_ptr<FileToPlay> movie(c.path.isEmpty() ? nullptr : new FileToPlay(c.path));
        PlayerBenchmarkTask task(nullptr, movie.get());
        const QStringList logs = run(task);
        EXPECT_EQ(task.runState(), uint32_t(ProcessTaskState_Failed)) << c.log;
        EXPECT_TRUE(logs.contains(QString::fromLatin1(c.log))) << logs.join('\n').toStdString();
        EXPECT_EQ(task.record() ? task.record()->framesMeasured : 0u, c.measured) << c.log;
    }
}

TEST(BenchmarkTask, StatisticsGuardZeroTimesAndEmptyRuns) {
    FrameIndexEntry table[3] = {{0, 1000}, {1000, 2000}, {3000, 500}};
    MovFile movie{};
    movie.frameTable = table;
    movie.frameCount = 3;
    BenchmarkRecord r;
    r.movie = &movie;
    r.frameCount = 3;
    r.movieFps = 25;
    r.readTimes = {0.0, 0.002, 0.001};
    r.decodeTimes = {0.0, 0.0, 0.004};

    r.framesMeasured = 0;
    PlayerBenchmarkTask::computeStats(&r);
    EXPECT_EQ(r.global.sum, 0.0);
    EXPECT_EQ(r.bitrate[3], 0.0);

    r.framesMeasured = 3;
    PlayerBenchmarkTask::computeStats(&r);
    EXPECT_EQ(r.read.minimum, 0.0);
    EXPECT_EQ(r.read.fpsAtMinimum, 0.0);  // a time of 0 has no rate
    EXPECT_EQ(r.read.ratioAtMinimum, 0.0);
    EXPECT_EQ(r.bitrate[1], 0.0);  // nor a disk rate
    EXPECT_DOUBLE_EQ(r.bitrate[2], 1e6);
    EXPECT_DOUBLE_EQ(r.bitrate[3], 3500 / 0.003);
    EXPECT_TRUE(std::isfinite(r.decode.fpsAtMinimum));
    EXPECT_DOUBLE_EQ(r.decode.fpsAtMaximum, 250.0);
    EXPECT_DOUBLE_EQ(r.decode.ratioAtMaximum, 10.0);

    r.movieFps = 0;  // no movie rate: rates but no ratios
    PlayerBenchmarkTask::computeStats(&r);
    EXPECT_DOUBLE_EQ(r.global.fpsAtMaximum, 200.0);
    EXPECT_EQ(r.global.ratioAtMaximum, 0.0);

    movie.frameTable = nullptr;
    EXPECT_THROW(PlayerBenchmarkTask::checkSeekTable(&movie), std::runtime_error);
    movie.frameTable = table;
    EXPECT_EQ(PlayerBenchmarkTask::checkSeekTable(&movie), 2000u);
}

}  // namespace
