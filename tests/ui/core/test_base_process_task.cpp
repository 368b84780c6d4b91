#include "ui/base_process_task.h"
#include "ui/delay_action.h"

#include "message_capture.h"
#include "widget_app.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// Bound of every wait on the task's thread: generous for a loaded two-core machine under
// the sanitizers; a passing wait returns as soon as its condition holds.
constexpr int kWaitMs = 20000;

// A task whose body is given by the test.
class TestTask : public BaseProcessTask {
public:
    explicit TestTask(std::function<void(TestTask&)> body) : m_body(std::move(body)) {
        setEmitterDelays(40, 20);
    }
    ~TestTask() override { stop(); }

protected:
    void coreProcessFunc() override {
        if (m_body)
            m_body(*this);
        m_returned.store(true);
    }

public:
    // True once the body has returned: everything it sent is queued by then.
    bool bodyReturned() const { return m_returned.load(); }

private:
    std::function<void(TestTask&)> m_body;
    std::atomic<bool> m_returned{false};
};

// Everything a dialog would receive, on the GUI thread.
struct Recorder : QObject {
    explicit Recorder(BaseProcessTask& task) {
        connect(&task, &BaseProcessTask::processTask_update_state, this,
                [this](const ProcessingStateObj& s, const QString& id) {
                    states.push_back(s.state);
                    ids.append(id);
                });
        connect(&task, &BaseProcessTask::processTask_have_new_logs, this,
                [this](const QStringList& lines, const QString& id) {
                    logBatches.push_back(lines);
                    ids.append(id);
                });
        connect(&task, &BaseProcessTask::processTask_update_progress, this,
                [this](const ProgressTaskInfo& info, const QString& id) {
                    progress.push_back(info);
                    ids.append(id);
                });
    }
    QStringList allLogs() const {
        QStringList all;
        for (const QStringList& batch : logBatches)
            all += batch;
        return all;
    }
    bool hasState(uint32_t s) const { return std::find(states.begin(), states.end(), s) != states.end(); }

    std::vector<uint32_t> states;
    std::vector<QStringList> logBatches;
    std::vector<ProgressTaskInfo> progress;
    QStringList ids;
};

// Waits for a body that ends normally, then delivers everything it queued. Waiting for
// the end state alone is not enough: the body may be held between sending that state and
// sending its final snapshot, while an earlier periodic snapshot is already there.
bool waitForTheBody(const TestTask& task) {
    if (!QTest::qWaitFor([&] { return task.bodyReturned(); }, kWaitMs))
        return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

bool stopRequested(TestTask& t) {
    const uint32_t s = t.publicState();
    return s == ProcessTaskState_Stop || s == ProcessTaskState_Stopped;
}

// The loop every tool body follows: work, report, honour pause and stop.
// `held`, when given, receives the time spent inside waitWhilePaused, and `inPause` is
// set just before the body enters it.
struct PauseProbe {
    std::atomic<bool> inPause{false};
    std::atomic<qint64> heldMs{0};
};

void framesBody(TestTask& t, uint32_t frames, int sleepMs, std::function<void(uint32_t)> perFrame = {},
                PauseProbe* probe = nullptr) {
    t.startStep(0);
    t.setStepFrameCount(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        if (sleepMs)
            QThread::msleep(sleepMs);
        t.updateProgressFrames(i + 1);
        if (perFrame)
            perFrame(i);
        const uint32_t s = t.publicState();
        if (s == ProcessTaskState_Pause) {
            t.setState(ProcessTaskState_Pause);
            QElapsedTimer held;
            held.start();
            if (probe)
                probe->inPause.store(true);
            t.waitWhilePaused();
            if (probe)
                probe->heldMs.fetch_add(held.elapsed());
        }
        if (stopRequested(t)) {
            t.setState(ProcessTaskState_Stop);
            break;
        }
    }
}

TEST(BaseProcessTask, NormalRunReportsLogsProgressAndEndState) {
    widget_app();
    TestTask task([](TestTask& t) {
        framesBody(t, 100, 0, [&t](uint32_t i) {
            if (i % 10 == 0)
                t.appendLog(QStringLiteral("line %1").arg(i / 10));
        });
        t.finish(false, false);
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(waitForTheBody(task));
    QTest::qWait(60);  // nothing may follow the final records

    EXPECT_EQ(rec.states, (std::vector<uint32_t>{2, 6}));
    QStringList expected;
    for (int i = 0; i < 10; ++i)
        expected << QStringLiteral("line %1").arg(i);
    EXPECT_EQ(rec.allLogs(), expected);
    EXPECT_EQ(rec.progress.back().percent, 100u);
    EXPECT_EQ(rec.progress.back().remainingText, QStringLiteral("-"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\{[0-9a-f-]{36}\\}$")).match(task.uuid()).hasMatch());
    for (const QString& id : rec.ids)
        EXPECT_EQ(id, task.uuid());
    EXPECT_EQ(task.runState(), 6u);
}

TEST(BaseProcessTask, FinishFlagsChooseTheEndState) {
    widget_app();
    struct Case { bool failed, warnings; uint32_t state; };
    for (const Case c : {Case{true, false, 8}, Case{false, true, 7}, Case{true, true, 8}, Case{false, false, 6}}) {
        TestTask task([c](TestTask& t) {
            t.startStep(0);
            t.finish(c.failed, c.warnings);
        });
        Recorder rec(task);
        task.start();
        ASSERT_TRUE(waitForTheBody(task));
        ASSERT_EQ(rec.states.size(), 2u);
        EXPECT_EQ(rec.states.back(), c.state) << c.failed << c.warnings;
        EXPECT_EQ(task.publicState(), c.state);
    }
}

TEST(BaseProcessTask, StopWaitsForTheBodyAndKeepsTheStopState) {
    widget_app();
    std::atomic<bool> started{false};
    std::atomic<bool> ended{false};
    TestTask task([&](TestTask& t) {
        t.appendLog(QStringLiteral("begin"));
        t.startStep(0);
        t.setStepFrameCount(1000000);
        started = true;
        for (uint32_t i = 1; !stopRequested(t); ++i) {
            t.updateProgressFrames(i);
            QThread::msleep(10);
        }
        t.setState(ProcessTaskState_Stop);
        t.appendLog(QStringLiteral("stopped"));
        t.finish(false, false);
        ended = true;
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, kWaitMs));
    QTest::qWait(30);
    task.stop();
    EXPECT_TRUE(ended.load());  // stop returns only once the body is over
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.allLogs().size() == 2 && rec.states.size() == 2; }, kWaitMs));
    QTest::qWait(30);
    EXPECT_EQ(rec.states, (std::vector<uint32_t>{2, 4}));
    EXPECT_EQ(rec.allLogs(), (QStringList{QStringLiteral("begin"), QStringLiteral("stopped")}));
    EXPECT_FALSE(rec.progress.empty());
    EXPECT_EQ(task.runState(), 4u);
    task.requestPause();
    task.requestResume();
    EXPECT_EQ(task.publicState(), 4u);
}

// A stop that lands while the body is in its last moments (the end state set, the
// last logs going out) only waits for it: the run stays finished.
TEST(BaseProcessTask, StopAtTheVeryEndKeepsTheFinishedState) {
    widget_app();
    TestTask task([](TestTask& t) {
        t.appendLog(QStringLiteral("done"));
        t.finish(false, false);
    });
    // Runs on the body's thread inside finish, after the end state and before the
    // body is over: holds it there while the GUI thread stops the task.
    QObject::connect(
        &task, &BaseProcessTask::processTask_have_new_logs, &task, [] { QThread::msleep(200); },
        Qt::DirectConnection);
    task.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return task.runState() == ProcessTaskState_Finished; }, kWaitMs));
    task.stop();
    EXPECT_EQ(task.runState(), uint32_t(ProcessTaskState_Finished));
    EXPECT_EQ(task.publicState(), uint32_t(ProcessTaskState_Finished));
}

// The results a short body reports after its last check: enough lines that a stop
// falls in its last moments in a good share of the runs.
constexpr int kResultLines = 200;

// A body that ends at once: three steps, each followed by the check for pause and
// stop, then its results. A stop seen at a check ends the run with the steps done.
// `afterLastCheck`, when given, runs once the body is past its last check.
void shortBody(TestTask& t, const std::function<void()>& afterLastCheck = {}) {
    for (int i = 0; i < 3; ++i) {
        t.appendLog(QStringLiteral("step %1").arg(i));
        if (!t.continueAfterPause()) {
            t.appendLog(QStringLiteral("partial"));
            t.finish(false, false);
            return;
        }
    }
    if (afterLastCheck)
        afterLastCheck();
    for (int i = 0; i < kResultLines; ++i)
        t.appendLog(QStringLiteral("result %1").arg(i));
    t.finish(false, false);
}

// After stop() has returned: what a window was sent and what the task says must tell one
// end. Empty when they agree, else what is wrong.
QString oneEndMismatch(const TestTask& task, const Recorder& rec) {
    std::vector<uint32_t> ends;
    for (const uint32_t s : rec.states) {
        if (s >= ProcessTaskState_Stop)
            ends.push_back(s);
    }
    const QStringList logs = rec.allLogs();
    QString seen = QStringLiteral("states sent");
    for (const uint32_t s : rec.states)
        seen += QStringLiteral(" %1").arg(s);
    seen += QStringLiteral(", run state %1, public state %2, %3 log lines, the last \"%4\"")
                .arg(task.runState())
                .arg(task.publicState())
                .arg(logs.size())
                .arg(logs.isEmpty() ? QString() : logs.back());
    if (ends.size() != 1 || ends.back() != rec.states.back())
        return seen;
    const uint32_t end = ends.back();
    if (task.runState() != end || task.publicState() != end)
        return seen;
    if (end == ProcessTaskState_Finished) {
        QStringList full{QStringLiteral("step 0"), QStringLiteral("step 1"), QStringLiteral("step 2")};
        for (int i = 0; i < kResultLines; ++i)
            full << QStringLiteral("result %1").arg(i);
        return logs == full ? QString() : seen;
    }
    if (end == ProcessTaskState_Stop)
        return logs.endsWith(QStringLiteral("partial")) && !logs.contains(QStringLiteral("result 0")) ? QString() : seen;
    return seen;
}

// A stop landing while a body is past its last check but has not ended yet: the body
// ends finished, and the stop must leave it so. First held there until the stop is
// asked, then by chance: thousands of runs stopped 0-400 us after their start, which
// end stopped or finished, each with one end.
TEST(BaseProcessTask, AStopRacingTheEndGivesOneEnd) {
    widget_app();
    {
        std::atomic<bool> pastLastCheck{false};
        TestTask task([&](TestTask& t) {
            shortBody(t, [&] {
                pastLastCheck.store(true);
                QElapsedTimer bound;
                bound.start();
                while (t.publicState() != ProcessTaskState_Stop && bound.elapsed() < kWaitMs)
                    QThread::yieldCurrentThread();
            });
        });
        Recorder rec(task);
        task.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return pastLastCheck.load(); }, kWaitMs));
        task.stop();
        QCoreApplication::sendPostedEvents();
        ASSERT_EQ(rec.states.back(), uint32_t(ProcessTaskState_Finished));
        EXPECT_EQ(oneEndMismatch(task, rec).toStdString(), "");
    }

    std::mt19937 random(20261207);
    std::uniform_int_distribution<qint64> delayNs(0, 400000);
    int disagreements = 0;
    QString first;
    constexpr int kRuns = 2000;
    for (int run = 0; run < kRuns; ++run) {
        TestTask task([](TestTask& t) { shortBody(t); });
        Recorder rec(task);
        const qint64 delay = delayNs(random);
        QElapsedTimer clock;
        task.start();
        clock.start();
        while (clock.nsecsElapsed() < delay) {
        }
        task.stop();
        QCoreApplication::sendPostedEvents();
        const QString mismatch = oneEndMismatch(task, rec);
        if (!mismatch.isEmpty() && disagreements++ == 0)
            first = QStringLiteral("run %1: %2").arg(run).arg(mismatch);
    }
    EXPECT_EQ(disagreements, 0) << first.toStdString();
}

TEST(BaseProcessTask, PauseExcludesThePausedTime) {
    widget_app();
    // The body holds at frame 8 until the pause is asked for, so the pause always falls
    // inside the work however the threads are scheduled. The body clocks its whole run
    // and the time it is held in the pause; the task must count the one without the
    // other. The pause lasts at least a second, so counting it would overshoot by that.
    PauseProbe probe;
    std::atomic<bool> atFrame8{false};
    std::atomic<qint64> bodyMs{0};
    TestTask task([&](TestTask& t) {
        QElapsedTimer clock;
        clock.start();
        framesBody(
            t, 30, 10,
            [&](uint32_t i) {
                if (i != 7)
                    return;
                atFrame8.store(true);
                QElapsedTimer bound;
                bound.start();
                while (t.publicState() != ProcessTaskState_Pause && bound.elapsed() < kWaitMs)
                    QThread::msleep(1);
            },
            &probe);
        t.finish(false, false);
        bodyMs.store(clock.elapsed());
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return atFrame8.load(); }, kWaitMs));
    task.requestPause();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.hasState(3) && probe.inPause.load(); }, kWaitMs));
    EXPECT_EQ(task.publicState(), 3u);
    QTest::qWait(1000);
    const size_t before = rec.states.size();
    task.requestResume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.states.size() > before; }, kWaitMs));
    EXPECT_EQ(rec.states[before], 2u);
    ASSERT_TRUE(waitForTheBody(task));
    QTest::qWait(30);
    EXPECT_EQ(rec.states, (std::vector<uint32_t>{2, 3, 2, 6}));
    const double held = double(probe.heldMs.load()) / 1000.0;
    const double work = double(bodyMs.load()) / 1000.0 - held;
    ASSERT_GE(held, 1.0);
    EXPECT_GT(rec.progress.back().elapsedSeconds, 0.25);  // 30 sleeps of 10 ms at least
    EXPECT_LT(rec.progress.back().elapsedSeconds, work + 0.5) << "work " << work << " s, held " << held << " s";
}

TEST(BaseProcessTask, StopWhilePausedEndsTheWaitPromptly) {
    widget_app();
    // Left alone the body would run for over a minute (12000 sleeps of 5 ms), so a stop
    // that returns within seconds has ended the paused wait rather than the work.
    TestTask task([](TestTask& t) {
        framesBody(t, 12000, 5);
        t.finish(false, false);
    });
    Recorder rec(task);
    task.start();
    task.requestPause();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.hasState(3); }, kWaitMs));
    QElapsedTimer clock;
    clock.start();
    task.stop();
    EXPECT_LT(clock.elapsed(), 20000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.hasState(4) && !rec.progress.empty(); }, kWaitMs));
    EXPECT_EQ(task.runState(), 4u);
    EXPECT_FALSE(rec.hasState(6));
}

// Earlier steps stay in the elapsed time of the task.
TEST(BaseProcessTask, ClosedStepsAddToTheTotal) {
    widget_app();
    TestTask task([](TestTask& t) {
        t.startStep(0);
        QThread::msleep(150);
        t.startStep(1);
        QThread::msleep(150);
        t.finish(false, false);
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(waitForTheBody(task));
    ASSERT_TRUE(rec.hasState(6) && !rec.progress.empty());
    EXPECT_GE(rec.progress.back().elapsedSeconds, 0.28);
}

// The frame counters of the whole task give the final snapshot when they are set.
TEST(BaseProcessTask, FinalSnapshotFromTotalFrames) {
    widget_app();
    TestTask task([](TestTask& t) {
        t.setTotalFrames(50);
        t.startStep(0);
        t.setStepFrameCount(50);
        QThread::msleep(60);
        t.updateProgressFrames(25);
        t.finish(false, false);
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(waitForTheBody(task));
    ASSERT_TRUE(rec.hasState(6) && !rec.progress.empty());
    const ProgressTaskInfo& last = rec.progress.back();
    EXPECT_EQ(last.percent, 100u);
    EXPECT_EQ(last.remainingText, QStringLiteral("-"));
    EXPECT_TRUE(last.fpsText.endsWith(QStringLiteral(" f/s"))) << last.fpsText.toStdString();
    EXPECT_EQ(last.step, 0u);
}

struct ThrowCase {
    std::function<void()> thrower;
    const char* line;
};

// A body that throws still ends, failed, with the reason in its log.
TEST(BaseProcessTask, ExceptionInTheBodyEndsTheTaskFailed) {
    widget_app();
    const ThrowCase cases[] = {
        {[] { throw std::runtime_error("disk gone"); }, "ERREUR : Fail to process : disk gone"},
        {[] { throw std::bad_alloc(); }, "ERREUR : Fail to process, memory error"},
        {[] { throw 42; }, "ERREUR : Fail to process, unknown error"},
    };
    for (const ThrowCase& c : cases) {
        TestTask task([&c](TestTask& t) {
            t.startStep(0);
            t.appendLog(QStringLiteral("before"));
            c.thrower();
        });
        Recorder rec(task);
        task.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return rec.hasState(8) && rec.allLogs().size() == 2 && !rec.progress.empty(); }, kWaitMs))
            << c.line;
        EXPECT_EQ(rec.states, (std::vector<uint32_t>{2, 8}));
        EXPECT_EQ(rec.allLogs(), (QStringList{QStringLiteral("before"), QString::fromUtf8(c.line)}));
        task.stop();  // the body is over: nothing to wait for, state kept
        EXPECT_EQ(task.runState(), 8u);
    }
}

TEST(BaseProcessTask, ExceptionWhilePausedEndsFailed) {
    widget_app();
    TestTask task([](TestTask& t) {
        t.startStep(0);
        t.setState(ProcessTaskState_Pause);
        throw std::runtime_error("late");
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.hasState(8); }, kWaitMs));
    EXPECT_EQ(rec.states, (std::vector<uint32_t>{2, 3, 8}));
}

TEST(BaseProcessTask, LogsCoalesceIntoOneSignalAfterTheDelay) {
    widget_app();
    BaseProcessTask task;  // default delays: logs 1000 ms, progress 500 ms
    Recorder rec(task);
    QElapsedTimer clock;
    clock.start();
    task.appendLog(QStringLiteral("a"));
    QTest::qWait(10);
    task.appendLogs({QStringLiteral("b"), QStringLiteral("c")});
    task.appendLogs({});
    for (int i = 1; i <= 5; ++i)
        task.updateProgress(0.1f * float(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rec.logBatches.empty(); }, kWaitMs));
    const qint64 delay = clock.elapsed();
    // The delay's timer is a coarse one, which Qt may fire up to 5 % early.
    EXPECT_GE(delay, 900);
    EXPECT_LT(delay, 5000);  // one delay, not several; loose for a loaded machine
    QTest::qWait(200);
    ASSERT_EQ(rec.logBatches.size(), 1u);
    EXPECT_EQ(rec.logBatches[0], (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    ASSERT_EQ(rec.progress.size(), 1u);
    EXPECT_EQ(rec.progress[0].percent, 50u);
}

TEST(BaseProcessTask, ATaskThatNeverLogsSendsNoLogs) {
    widget_app();
    TestTask task([](TestTask& t) {
        framesBody(t, 10, 0);
        t.finish(false, false);
    });
    Recorder rec(task);
    task.start();
    ASSERT_TRUE(waitForTheBody(task));
    ASSERT_TRUE(rec.hasState(6) && !rec.progress.empty());
    QTest::qWait(100);
    EXPECT_TRUE(rec.logBatches.empty());
}

struct DurationCase {
    double seconds;
    const char* text;
};

TEST(BaseProcessTask, FormatDuration) {
    const DurationCase cases[] = {
        {3725, "1h 2min 5s"}, {3600, "1h 0min"}, {90, "1min 30s"}, {60, "1min"}, {0.5, "0s"},
        {59.99, "59s"}, {-1, "NA"}, {360000, "100h 0min"}, {1e30, "277777777777h 46min 40s"},
    };
    for (const DurationCase& c : cases)
        EXPECT_EQ(BaseProcessTask::formatDuration(c.seconds).toStdString(), c.text) << c.seconds;
}

struct SnapshotCase {
    float progress;
    double total, step;
    uint32_t frames;
    uint32_t percent;
    const char* elapsed;
    const char* remaining;
    const char* fps;
};

TEST(BaseProcessTask, ProgressSnapshot) {
    const SnapshotCase cases[] = {
        {0.25f, 0, 30, 100, 25, "30s", "1min 30s", "0.83 f/s"},
        {0.0f, 0, 30, 100, 0, "30s", "-", ""},
        {1.0f, 0, 30, 100, 100, "30s", "-", "3.33 f/s"},
        {0.5f, 60, 30, 0, 50, "1min 30s", "30s", ""},
        {0.5f, 0, 0, 100, 50, "-", "-", ""},
        {-0.5f, 0, 10, 100, 0, "10s", "-", ""},
        {0.996f, 0, 10, 100, 100, "10s", "0s", "9.96 f/s"},
    };
    for (const SnapshotCase& c : cases) {
        const ProgressTaskInfo info = BaseProcessTask::makeProgressInfo(c.progress, c.total, c.step, c.frames, 2);
        EXPECT_EQ(info.percent, c.percent) << c.progress;
        EXPECT_EQ(info.elapsedText.toStdString(), c.elapsed) << c.progress;
        EXPECT_EQ(info.remainingText.toStdString(), c.remaining) << c.progress;
        EXPECT_EQ(info.fpsText.toStdString(), c.fps) << c.progress;
        EXPECT_EQ(info.step, 2u);
    }
}

QString readAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    QByteArray bytes;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, qsizetype(n));
    return QString::fromLocal8Bit(bytes);
}

TEST(BaseProcessTask, ConsoleLines) {
    widget_app();
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    TestTask task([](TestTask& t) {
        t.startStep(0);
        t.updateProgress(0.25f);
        t.updateProgress(0.25f);  // the same percentage is not printed twice
        t.updateProgress(0.996f);
        t.updateProgress(1.0f);
        t.updateProgress(-0.5f);
        t.startStep(3);
        t.finish(false, false);
    });
    task.setConsoleReport(true, out);
    task.setStepNames({QStringLiteral("Reading")});
    Recorder rec(task);
    MessageCapture log;
    task.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.hasState(6); }, kWaitMs));
    task.stop();
    EXPECT_EQ(readAll(out), QStringLiteral("INFO : Start step : Reading\nPROGRESS : 0 %\n"
                                           "PROGRESS : 25 %\nPROGRESS : 99 %\nPROGRESS : 0 %\n"
                                           "INFO : Start step : Step 3\nPROGRESS : 0 %\n"
                                           "PROGRESS : 100 %\n"));
    EXPECT_EQ(log.count(QStringLiteral("Unknown step : 3")), 1);
    std::fclose(out);
}

TEST(BaseProcessTask, FinishFromAnUnexpectedStateIsReported) {
    widget_app();
    BaseProcessTask task;
    Recorder rec(task);
    MessageCapture log;
    task.appendLog(QStringLiteral("x"));
    task.finish(false, false);
    EXPECT_EQ(log.count(QStringLiteral("ERROR : Invalid end state : 0")), 1);
    // Logs and the snapshot still go out.
    EXPECT_EQ(rec.allLogs(), QStringList{QStringLiteral("x")});
    EXPECT_EQ(rec.progress.size(), 1u);
    EXPECT_TRUE(rec.states.empty());
}

TEST(DelayAction, TriggerFromAnotherThreadEmitsOnTheOwnersThread) {
    widget_app();
    QObject owner;
    DelayAction action(&owner, 30);
    std::vector<QThread*> threads;
    QObject::connect(&action, &DelayAction::end_action, [&threads] { threads.push_back(QThread::currentThread()); });
    QThread* worker = QThread::create([&action] {
        action.trigger();
        action.trigger();
    });
    worker->start();
    worker->wait();
    delete worker;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !threads.empty(); }, kWaitMs));
    QTest::qWait(60);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads[0], QThread::currentThread());
    EXPECT_FALSE(action.isPending());

    action.trigger();
    action.cancelAndWait();
    action.trigger();
    QTest::qWait(80);
    EXPECT_EQ(threads.size(), 1u);
}

}  // namespace
