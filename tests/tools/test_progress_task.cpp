// The task progress row of the tool windows: what each task state looks like, what
// the buttons send, and that only its own task drives it.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tools/view_progress_task.h"
#include "log_capture.h"
#include "ui/view_btn_image.h"
#include "ui/view_label.h"
#include "ui/view_progress.h"
#include "ui/view_progress_bar_task.h"
#include "widget_app.h"

namespace {
const QColor kGreen(0, 159, 115);
const QColor kAmber(254, 178, 7);
const QColor kGrey(101, 101, 101);
}  // namespace

TEST(ProgressRow, StateTable) {
    widget_app();
    ViewProgressTask row(nullptr, QRect(0, 0, 300, 120), "task-1");
    EXPECT_FALSE(row.stopButton()->isEnabledLook());
    EXPECT_TRUE(row.playPauseButton()->isEnabledLook());
    EXPECT_EQ(row.progressBar()->bar()->barColor(), kGreen);

    struct Row {
        uint32_t state;
        bool stop, play;
        uint32_t image;
        QColor colour;
    } rows[] = {
        {2, true, true, 1, kGreen},   {3, true, true, 0, kAmber},   {2, true, true, 1, kGreen},
        {4, false, false, 0, kGreen}, {0, false, true, 0, kGreen},  {5, false, false, 0, kGreen},
        {7, false, false, 0, kGreen}, {8, false, false, 0, kGreen}, {6, false, false, 0, kGrey},
    };
    for (const Row& r : rows) {
        row.updateState(r.state);
        EXPECT_EQ(row.stopButton()->isEnabledLook(), r.stop) << r.state;
        EXPECT_EQ(row.playPauseButton()->isEnabledLook(), r.play) << r.state;
        EXPECT_EQ(row.playPauseButton()->imageIndex(), r.image) << r.state;
        EXPECT_EQ(row.progressBar()->bar()->barColor(), r.colour) << r.state;
    }

    // Idle keeps the picture it had.
    row.updateState(2);
    row.updateState(0);
    EXPECT_EQ(row.playPauseButton()->imageIndex(), 1u);

    // A state no task sends is logged and changes nothing.
    for (uint32_t unknown : {1u, 9u, 1000u}) {
        LogCapture log;
        row.updateState(unknown);
        EXPECT_TRUE(log.contains(QString("Unknown task state : %1").arg(unknown)));
        EXPECT_TRUE(row.playPauseButton()->isEnabledLook());
        EXPECT_EQ(row.playPauseButton()->imageIndex(), 1u);
        EXPECT_EQ(row.progressBar()->bar()->barColor(), kGreen);
    }
}

TEST(ProgressRow, ButtonsSendTheTaskIdentifier) {
    widget_app();
    ViewProgressTask row(nullptr, QRect(0, 0, 300, 120), "task-7");
    QSignalSpy play(&row, &ViewProgressTask::progressTask_clic_play);
    QSignalSpy pause(&row, &ViewProgressTask::progressTask_clic_pause);
    QSignalSpy stop(&row, &ViewProgressTask::progressTask_clic_stop);

    QTest::mouseClick(row.stopButton(), Qt::LeftButton);  // stop disabled before a run
    EXPECT_TRUE(stop.isEmpty());
    QTest::mouseClick(row.playPauseButton(), Qt::LeftButton);  // steps to pause: run
    ASSERT_EQ(play.count(), 1);
    EXPECT_EQ(play.last().at(0).toString(), "task-7");
    row.updateState(2);
    QTest::mouseClick(row.playPauseButton(), Qt::LeftButton);  // steps to play: pause
    EXPECT_EQ(pause.count(), 1);
    row.updateState(3);
    QTest::mouseClick(row.stopButton(), Qt::LeftButton);
    ASSERT_EQ(stop.count(), 1);
    EXPECT_EQ(stop.last().at(0).toString(), "task-7");
    row.updateState(6);
    QTest::mouseClick(row.playPauseButton(), Qt::LeftButton);  // finished: nothing more
    EXPECT_EQ(play.count() + pause.count(), 2);
}

TEST(ProgressRow, OnlyItsOwnTaskDrivesIt) {
    widget_app();
    ViewProgressTask row(nullptr, QRect(0, 0, 300, 120), "mine");
    ProgressTaskInfo info;
    info.percent = 42;
    info.elapsedText = "12s";
    info.remainingText = "8s";
    info.fpsText = "25.00 f/s";
    row.processTask_update_progress(info, "other");
    EXPECT_EQ(row.elapsedValue()->text(), "-");
    row.processTask_update_state(ProcessingStateObj{ProcessTaskState_Running}, "other");
    EXPECT_FALSE(row.stopButton()->isEnabledLook());

    row.processTask_update_progress(info, "mine");
    EXPECT_EQ(row.elapsedValue()->text(), "12s");
    EXPECT_EQ(row.remainingValue()->text(), "8s");
    EXPECT_EQ(row.fpsValue()->text(), "25.00 f/s");
    EXPECT_FLOAT_EQ(row.progressBar()->bar()->value(), 0.42f);
    row.processTask_update_state(ProcessingStateObj{ProcessTaskState_Running}, "mine");
    EXPECT_TRUE(row.stopButton()->isEnabledLook());

    row.resetProgress();
    EXPECT_EQ(row.elapsedValue()->text(), "");
    EXPECT_FLOAT_EQ(row.progressBar()->bar()->value(), 0.0f);

    // Layout: buttons right of the bar, the three rows under it.
    EXPECT_EQ(row.playPauseButton()->geometry(), QRect(196, 12, 20, 20));
    EXPECT_EQ(row.stopButton()->geometry(), QRect(226, 12, 20, 20));
    EXPECT_EQ(row.fpsValue()->geometry(), QRect(90, 90, 210, 20));
    EXPECT_EQ(row.fpsValue()->toolTip(), "Number of video frames process by second");
}
