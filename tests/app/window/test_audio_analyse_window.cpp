// The loudness dialog as the main window opens it from its Analyse menu, on the X
// server with lavapipe: refused without a movie and without routed audio, a new dialog
// at each use with the movie's tracks and in/out points, its analysis of the movie, and
// the rate its progress row shows, in the movie's video frames.
#include <gtest/gtest.h>

#include <QTest>

#include <cmath>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "app/view_info_error.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/player_audio_analyse_task.h"
#include "tools/view_progress_task.h"
#include "ui/base_process_task.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

TEST(AudioAnalyseFromMainWindow, RefusalsReplacementAndAnalysis) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    std::unique_ptr<MainWindow>& window = shown.window;

    window->act_menu_audio_analyse();
    EXPECT_EQ(window->audioAnalyseDialog(), nullptr);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Audio Analyse");

    window->loadFile({QString(HAP_FIXTURE_DIR) + "/window_ramp.mov"}, -1, false);
    ASSERT_NE(window->movie(), nullptr);
    window->act_menu_audio_analyse();
    DialogAudioAnalyse* first = window->audioAnalyseDialog();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->peakRows().size(), 2);
    EXPECT_FALSE(first->rangeBox()->isEnabledLook());  // no in or out point yet

    QMetaObject::invokeMethod(first, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_NE(first->task(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->reportView()->text().contains("True Peaks :"); }, 20000));
    EXPECT_EQ(first->task()->totalSamples(), 96000u);  // 50 frames at 25 fps
    first->close_dialog_ok();

    window->ViewInOutPointDelegate_SetIn(10);
    window->act_menu_audio_analyse();
    DialogAudioAnalyse* second = window->audioAnalyseDialog();
    EXPECT_NE(second, first);  // replaced at each use
    EXPECT_TRUE(second->rangeBox()->isEnabledLook());
    second->close_dialog_ok();

    for (AudioSrcTrack* track : window->audioTracks()->tracks()) track->clearChannelMapping();
    window->act_menu_audio_analyse();
    EXPECT_EQ(window->audioAnalyseDialog(), second);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Audio Analyse");

    shown.close();
    vktest::expect_no_validation_errors();
}

namespace {

// Frames per second times seconds, both as the row shows them and the task sent them.
double frames_shown(const DialogAudioAnalyse& dialog, const ProgressTaskInfo& last) {
    const QString shown = dialog.progressRow()->fpsValue()->text();
    EXPECT_EQ(shown, last.fpsText);
    EXPECT_TRUE(shown.endsWith(" f/s")) << shown.toStdString();
    return shown.chopped(4).toDouble() * last.elapsedSeconds;
}

}  // namespace

// A 24 s movie is read in ten-second steps: paused between two, the row's rate times
// the time spent is the movie's frames read so far (250 per step at 25 fps); at the
// end it is the whole movie's 600 frames.
TEST(AudioAnalyseFromMainWindow, ProcessFpsCountsTheMoviesFrames) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open(QString(HAP_FIXTURE_DIR) + "/window_long.mov"));
    std::unique_ptr<MainWindow>& window = shown.window;
    ASSERT_NE(window->movie(), nullptr);
    ASSERT_EQ(window->movie()->frameCount(), 600u);

    window->act_menu_audio_analyse();
    DialogAudioAnalyse* dialog = window->audioAnalyseDialog();
    ASSERT_NE(dialog, nullptr);
    QMetaObject::invokeMethod(dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    PlayerAudioAnalyseTask* task = dialog->task();
    ASSERT_NE(task, nullptr);
    ProgressTaskInfo last;
    QObject::connect(task, &BaseProcessTask::processTask_update_progress, task,
                     [&last](const ProgressTaskInfo& info, const QString&) { last = info; });
    QMetaObject::invokeMethod(dialog, "progressTask_clic_pause", Q_ARG(QString, QString()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return task->runState() == ProcessTaskState_Pause && !last.fpsText.isEmpty(); }, 20000));
    const double read = frames_shown(*dialog, last);
    const double steps = std::round(read / 250.0);
    EXPECT_GE(steps, 1.0) << read;
    EXPECT_LE(steps, 2.0) << read;
    EXPECT_NEAR(read, 250.0 * steps, 1.0);

    QMetaObject::invokeMethod(dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return task->runState() == ProcessTaskState_Finished && last.percent == 100 && !last.fpsText.isEmpty(); },
        20000));
    QCoreApplication::processEvents();
    EXPECT_NEAR(frames_shown(*dialog, last), 600.0, 1.0);
    dialog->close_dialog_ok();

    shown.close();
    vktest::expect_no_validation_errors();
}
