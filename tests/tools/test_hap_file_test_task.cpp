// The HAP file test task on movies made by FFmpeg: clean, joined encodes with other
// chunk counts or another texture format, copies damaged in known frames, a cut file,
// a non-HAP movie; its end states, the stop's partial results and the batch review.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <memory>

#include "media/hap_file_checker.h"
#include "movie/file_to_play.h"
#include "platform/cpu_info.h"
#include "test_hap_file_test_movies.h"
#include "tools/test_hap_file_process_task.h"
#include "widget_app.h"

namespace {

const QString kNote = QStringLiteral("(Occurs sometimes when snappy compression is useless)");

bool is_end_state(uint32_t s) { return s == 4 || s == 5 || s >= 6; }

// Everything a run sent: the log lines in order, every state, the progress count.
struct TaskRun {
    QStringList logs;
    QList<uint32_t> states;
    int progressUpdates = 0;
    uint32_t lastPercent = 0;
    uint32_t endState() const { return states.isEmpty() ? 0 : states.last(); }
};

void listen(TestHapFileProcessTask& task, TaskRun& run) {
    QObject::connect(&task, &BaseProcessTask::processTask_have_new_logs, &task,
                     [&run](const QStringList& lines, const QString&) { run.logs += lines; });
    QObject::connect(&task, &BaseProcessTask::processTask_update_state, &task,
                     [&run](const ProcessingStateObj& s, const QString&) { run.states.append(s.state); });
    QObject::connect(&task, &BaseProcessTask::processTask_update_progress, &task,
                     [&run](const ProgressTaskInfo& info, const QString&) {
                         ++run.progressUpdates;
                         run.lastPercent = info.percent;
                     });
}

// Waits for the body to end (stop() joins it), then delivers its last signals.
void drain(TestHapFileProcessTask& task) {
    task.stop();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

bool ended(const TaskRun& run) { return run.states.size() > 1 && is_end_state(run.endState()); }
bool paused_or_ended(const TaskRun& run) { return run.states.contains(3u) || is_end_state(run.endState()); }

// Starts `task` on two processors (its body, and the checker threads the body makes,
// inherit the limit: batches of two frames), listening into `run`.
void start_two_per_batch(TestHapFileProcessTask& task, TaskRun& run, bool pauseAtOnce = false) {
    listen(task, run);
    filetest::CpuLimit two(2);
    ASSERT_TRUE(two.ok());
    task.start();
    if (pauseAtOnce) task.requestPause();
}

TaskRun run_task(FileToPlay* movie, bool warnChunks = true) {
    widget_app();
    TestHapFileProcessTask task(nullptr, movie);
    task.setWarnChunksState(warnChunks);
    TaskRun run;
    listen(task, run);
    task.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended(run); }, 30000));
    drain(task);
    return run;
}

TaskRun run_file(const QString& path, bool warnChunks = true) {
    FileToPlay movie(path);
    return run_task(&movie, warnChunks);
}

QStringList lines_starting(const QStringList& logs, const QString& prefix) {
    QStringList out;
    for (const QString& line : logs)
        if (line.startsWith(prefix)) out.append(line);
    return out;
}

QString summary_line(const QString& name, int n) { return QStringLiteral("%1 : %2").arg(name).arg(n); }

}  // namespace

TEST(HapFileTestTask, CleanMovieGivesOnlyTheSummaryAndEveryPacketValid) {
    const QString path = filetest::clean_movie();
    const int packets = filetest::packet_count(path);
    ASSERT_EQ(packets, 100);
    const TaskRun run = run_file(path);
    EXPECT_EQ(run.logs, (QStringList{"Global results :", summary_line("Frames valids", packets), "Frames invalides : 0",
                                     "Frames with inconsistent chunk count : 0 " + kNote}));
    EXPECT_EQ(run.states.first(), 2u);
    EXPECT_EQ(run.endState(), 6u);
    EXPECT_EQ(run.lastPercent, 100u);
}

// The path reaches the checker whole: a folder and name outside ASCII.
TEST(HapFileTestTask, PathOutsideAscii) {
    const QString source = filetest::hap1_movie("five.mov", 5, 1);
    const QString folder = filetest::movie_dir() + QString::fromUtf8("/d\xc3\xa9j\xc3\xa0 vu \xe6\x98\xa0\xe7\x94\xbb");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QString::fromUtf8("/f\xc3\xbcnf.mov");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(source, path));
    const TaskRun run = run_file(path);
    EXPECT_TRUE(run.logs.contains("Frames valids : 5")) << run.logs.join('\n').toStdString();
    EXPECT_EQ(run.endState(), 6u);
}

TEST(HapFileTestTask, JoinedEncodesWithOtherChunkCounts) {
    const QString path = filetest::mixed_chunks_movie();
    ASSERT_EQ(filetest::packet_count(path), 8);
    struct Case {
        bool warn;
        QStringList warnings;
        bool inconsistentLine;
        uint32_t state;
    };
    const QString w = QStringLiteral("WARNING : Frame : %1 ; Inconsistent Chunk count : 2 found, 4 expected ") + kNote;
    const Case cases[] = {
        {true, {w.arg(5), w.arg(6), w.arg(7)}, true, 7},
        {false, {}, false, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warn);
        const TaskRun run = run_file(path, c.warn);
        EXPECT_EQ(lines_starting(run.logs, "WARNING"), c.warnings);
        EXPECT_TRUE(run.logs.contains("Frames valids : 8"));
        EXPECT_TRUE(run.logs.contains("Frames invalides : 0"));
        EXPECT_EQ(run.logs.contains("Frames with inconsistent chunk count : 3 " + kNote), c.inconsistentLine);
        EXPECT_EQ(lines_starting(run.logs, "Frames with inconsistent").size(), c.inconsistentLine ? 1 : 0);
        EXPECT_EQ(run.endState(), c.state);
    }
}

TEST(HapFileTestTask, FramesOfAnotherTextureFormatAreInvalidCodec) {
    const TaskRun run = run_file(filetest::mixed_codec_movie());
    EXPECT_EQ(lines_starting(run.logs, "ERROR"),
              (QStringList{"ERROR : Frame : 5 ; invalid codec", "ERROR : Frame : 6 ; invalid codec",
                           "ERROR : Frame : 7 ; invalid codec"}));
    EXPECT_TRUE(run.logs.contains("Frames valids : 5"));
    EXPECT_TRUE(run.logs.contains("Frames invalides : 3"));
    EXPECT_EQ(run.endState(), 8u);
}

// Two frames per batch (the body thread inherits the processor limit): 5 frames make
// the batches {0,1} {2,3} {4}, each with one damaged frame.
TEST(HapFileTestTask, DamagedFramesInEveryBatchAreReportedInFrameOrder) {
    if (platform::processor_count() < 2) GTEST_SKIP() << "batches of two frames need two processors";
    const QString source = filetest::hap1_movie("five.mov", 5, 1);
    const auto packets = filetest::packets(source);
    ASSERT_EQ(packets.size(), 5u);
    const QString damaged = filetest::patched_copy(source, "five_damaged.mov", [&](QByteArray& bytes) {
        filetest::set_section_type(bytes, packets, {1}, 0x00);  // no such section type
        filetest::break_snappy_stream(bytes, packets, 2);        // undecodable texture
        filetest::set_section_type(bytes, packets, {4}, 0xBE);   // DXT5 in a DXT1 movie
    });
    FileToPlay movie(damaged);
    widget_app();
    TestHapFileProcessTask task(nullptr, &movie);
    TaskRun run;
    start_two_per_batch(task, run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended(run); }, 30000));
    drain(task);
    EXPECT_EQ(lines_starting(run.logs, "ERROR"),
              (QStringList{"ERROR : Frame : 1 ; invalid frame header", "ERROR : Frame : 2 ; corrupt frame",
                           "ERROR : Frame : 4 ; invalid codec"}))
        << run.logs.join('\n').toStdString();
    EXPECT_TRUE(run.logs.contains("Frames valids : 2"));
    EXPECT_TRUE(run.logs.contains("Frames invalides : 3"));
    EXPECT_EQ(run.endState(), 8u);
}

TEST(HapFileTestTask, MovieThatCannotBeCheckedFailsAtOnce) {
    testing::internal::CaptureStdout();
    const TaskRun mjpeg = run_file(filetest::mjpeg_movie());
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(mjpeg.logs, QStringList{"ERREUR : Fail to initialize hap file tester"});
    EXPECT_NE(console.find("ERREUR : Init tester faile : Unsupported codec\n"), std::string::npos) << console;
    EXPECT_EQ(mjpeg.endState(), 8u);

    const TaskRun none = run_task(nullptr);
    EXPECT_EQ(none.logs, QStringList{"ERROR : No input file"});
    EXPECT_EQ(none.endState(), 8u);
}

// The file loses its last frames while the run is paused (the movie was opened whole):
// the batch that cannot be read ends the loop, the batches already started are still
// collected and the summary is written.
TEST(HapFileTestTask, ReadFailureStillCollectsTheFramesStartedAndWritesTheSummary) {
    if (platform::processor_count() < 2) GTEST_SKIP() << "batches of two frames need two processors";
    const QString source = filetest::hap1_movie("long.mov", 150, 1, "1280x720");
    const auto packets = filetest::packets(source);
    ASSERT_EQ(packets.size(), 150u);
    const QString path = filetest::patched_copy(source, "long_cut.mov", [](QByteArray&) {});
    FileToPlay movie(path);
    widget_app();
    TestHapFileProcessTask task(nullptr, &movie);
    TaskRun run;
    start_two_per_batch(task, run, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paused_or_ended(run); }, 30000));
    ASSERT_TRUE(run.states.contains(3u)) << "the run ended before the pause";
    // Frame 145 and the rest are gone: the batch {144, 145} fails.
    ASSERT_TRUE(QFile::resize(path, qint64(packets[145].first + 16)));
    task.requestResume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return is_end_state(run.endState()) && run.endState() != 4; }, 30000));
    drain(task);
    EXPECT_EQ(lines_starting(run.logs, "ERROR"), QStringList{"ERROR : Failed to load frames (After frame : 142)"})
        << run.logs.join('\n').toStdString();
    EXPECT_TRUE(run.logs.contains("Frames valids : 144")) << run.logs.join('\n').toStdString();
    EXPECT_TRUE(run.logs.contains("Frames invalides : 0"));
    EXPECT_EQ(run.endState(), 8u);
}

// Pauses itself once `frames` frames have been read, so a stop lands with two batches
// in flight.
class PauseAfter : public TestHapFileProcessTask {
public:
    PauseAfter(FileToPlay* movie, uint32_t frames) : TestHapFileProcessTask(nullptr, movie), m_frames(frames) {}

protected:
    void batchStarted(uint32_t framesRead) override {
        if (framesRead == m_frames) requestPause();
    }

private:
    uint32_t m_frames;
};

// A stop in the middle: both batches in flight are reviewed, older first, so the
// reviewed frames are exactly 0..X-1 (every even frame is damaged: each batch of two
// holds one, and a skipped batch would lose its error line).
TEST(HapFileTestTask, StopReviewsEveryFrameReadAndWritesPartialResults) {
    if (platform::processor_count() < 2) GTEST_SKIP() << "batches of two frames need two processors";
    const QString source = filetest::hap1_movie("long.mov", 150, 1, "1280x720");
    const auto packets = filetest::packets(source);
    const int total = int(packets.size());
    std::vector<int> even;
    for (int k = 0; k < total; k += 2) even.push_back(k);
    const QString damaged = filetest::patched_copy(source, "long_even.mov", [&](QByteArray& bytes) {
        filetest::set_section_type(bytes, packets, even, 0x00);
    });
    FileToPlay movie(damaged);
    widget_app();
    PauseAfter task(&movie, 10);  // batches {6,7} and {8,9} in flight at the pause
    TaskRun run;
    start_two_per_batch(task, run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paused_or_ended(run); }, 30000));
    ASSERT_TRUE(run.states.contains(3u));
    task.stop();
    drain(task);
    EXPECT_EQ(run.endState(), 4u);
    const int at = run.logs.indexOf("\nPartial results :");
    ASSERT_GE(at, 0);
    EXPECT_EQ(run.logs.value(at + 1), "Process frames : 10\n");
    QStringList expected;
    for (int k = 0; k < 10; k += 2) expected.append(QStringLiteral("ERROR : Frame : %1 ; invalid frame header").arg(k));
    EXPECT_EQ(lines_starting(run.logs, "ERROR"), expected) << run.logs.join('\n').toStdString();
    EXPECT_EQ(run.logs.mid(at + 2), (QStringList{"Global results :", "Frames valids : 5", "Frames invalides : 5",
                                                 "Frames with inconsistent chunk count : 0 " + kNote}));
}

// The review on hand-made results: the two-texture rules that FFmpeg cannot produce.
TEST(HapFileTestTask, BatchReviewRules) {
    HapFileChecker checker{};
    HapCheckResult results[4] = {
        {0, HapCheckStatus_CorruptTexture | HapCheckStatus_InvalidCodec, 1, {3, 0}},  // first bit in order wins
        {1, HapCheckStatus_Valid, 2, {6, 6}},                                          // sets the expected count
        {2, HapCheckStatus_Valid, 2, {5, 7}},                                          // both textures differ
        {3, 64, 1, {6, 0}},                                                            // an unknown bit
    };
    const QStringList lines = TestHapFileProcessTask::checkFrames(&checker, results, 4, true);
    EXPECT_EQ(lines, (QStringList{"ERROR : Frame : 0 ; invalid codec", "WARNING : Frame : 2 ; for tex (0) : 5 found, 6 expected",
                                  "WARNING : Frame : 2 ; for tex (1) : 7 found, 6 expected",
                                  "ERROR : Frame : 3 ; unknown error"}));
    EXPECT_EQ(checker.expectedChunkCount, 6u);  // the invalid frame 0 did not set it
    EXPECT_EQ(checker.validFrames, 2u);
    EXPECT_EQ(checker.invalidFrames, 2u);
    EXPECT_EQ(checker.inconsistentChunkFrames, 1u);  // counted once for two textures

    HapFileChecker quiet{};
    EXPECT_TRUE(TestHapFileProcessTask::checkFrames(&quiet, results + 1, 2, false).isEmpty());
    EXPECT_EQ(quiet.inconsistentChunkFrames, 1u);  // still counted without the lines
}
