// The loudness dialog as the main window opens it from its Analyse menu, on the X
// server with lavapipe: refused without a movie and without routed audio, a new dialog
// at each use with the movie's tracks and in/out points, and its analysis of the movie.
#include <gtest/gtest.h>

#include <QTest>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "app/view_info_error.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/player_audio_analyse_task.h"
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
