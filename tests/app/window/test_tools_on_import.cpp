// Tools stay safe while the movie changes: a file test, a loudness analysis and a
// benchmark running on a long movie are stopped before another import frees that movie
// and its tracks, and their windows then hold no movie that is gone. The file test goes
// on with its window closed until a track deletion or an import. Run under the
// sanitizers too, where a task reading a freed movie would be reported. The loudness
// analysis, reading files of its own, is only asked to stop.
#include <gtest/gtest.h>

#include <QTest>
#include <functional>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/dialog_analyse.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/dialog_benchmark.h"
#include "tools/player_audio_analyse_task.h"
#include "tools/player_benchmark_task.h"
#include "tools/test_hap_file_process_task.h"
#include "tools/view_progress_task.h"
#include "ui/base_process_task.h"
#include "ui/view_btn_image.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

namespace {

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

class ToolsOnImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
        ASSERT_NO_FATAL_FAILURE(shown.open(fixture("window_long.mov")));
        ASSERT_NE(window->movie(), nullptr);
    }

    void TearDown() override {
        window->setPlaySpeed(0);
        shown.close();
        vktest::expect_no_validation_errors();
    }

    // Starts the task of a tool window from its progress row, waits until it runs,
    // imports another movie, and checks the task was stopped before the import
    // returned, or with `waited` false, asked to stop by then and stopped soon after.
    void expectStoppedByImport(ViewProgressTask* row, const std::function<BaseProcessTask*()>& task,
                               bool waited = true) {
        ASSERT_NE(row, nullptr);
        QTest::mouseClick(row->playPauseButton(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return task() && task()->runState() == ProcessTaskState_Running; }, vktest::kWaitMs))
            << "the task never started";
        FileToPlay* before = window->movie();
        window->loadFile({fixture("window_ramp.mov")}, -1, false);
        ASSERT_NE(window->movie(), before);
        EXPECT_EQ(task()->publicState(), uint32_t(ProcessTaskState_Stop));
        if (waited)
            EXPECT_NE(task()->runState(), uint32_t(ProcessTaskState_Running));
        else
            EXPECT_TRUE(QTest::qWaitFor([&] { return task()->runState() >= ProcessTaskState_Stop; }, vktest::kWaitMs));
        QCoreApplication::processEvents();
        window->loadFile({fixture("window_long.mov")}, -1, false);  // back for the next tool
    }

    ShownMainWindow shown;
    VulkanWindow*& video = shown.video;
    std::unique_ptr<MainWindow>& window = shown.window;
};

TEST_F(ToolsOnImportTest, EveryRunningTaskIsStoppedBeforeTheMovieGoes) {
    window->act_menu_file_test();
    DialogAnalyse* fileTest = window->fileTestDialog();
    ASSERT_NE(fileTest, nullptr);
    expectStoppedByImport(fileTest->progressRow(), [&]() -> BaseProcessTask* { return fileTest->task(); });
    fileTest->close_dialog_ok();

    window->act_menu_audio_analyse();
    DialogAudioAnalyse* loudness = window->audioAnalyseDialog();
    ASSERT_NE(loudness, nullptr);
    expectStoppedByImport(loudness->progressRow(), [&]() -> BaseProcessTask* { return loudness->task(); }, false);
    loudness->close_dialog_ok();

    window->act_menu_benchmark();
    DialogBenchmark* benchmark = window->benchmarkDialog();
    ASSERT_NE(benchmark, nullptr);
    expectStoppedByImport(benchmark->progressRow(), [&]() -> BaseProcessTask* { return benchmark->task(); });
    benchmark->close_dialog_ok();
}

// The file test goes on with its window closed (Close, Escape, the window's close),
// so the user can watch the movie meanwhile; the menu shows the same run again, and
// its end reached while closed. A track deletion still stops it; a movie imported
// anew starts a new report.
TEST_F(ToolsOnImportTest, FileTestRunsOnWithItsWindowClosed) {
    window->act_menu_file_test();
    DialogAnalyse* fileTest = window->fileTestDialog();
    ASSERT_NE(fileTest, nullptr);
    ViewBtnImage* playPause = fileTest->progressRow()->playPauseButton();
    QTest::mouseClick(playPause, Qt::LeftButton);
    TestHapFileProcessTask* task = fileTest->task();
    ASSERT_NE(task, nullptr);
    QTest::mouseClick(playPause, Qt::LeftButton);  // pause: holds the run across the closes
    ASSERT_TRUE(QTest::qWaitFor([&] { return task->runState() == ProcessTaskState_Pause; }, vktest::kWaitMs));

    const std::function<void()> closers[] = {
        [&] { fileTest->close_dialog_ok(); },
        [&] { QTest::keyClick(fileTest, Qt::Key_Escape); },
        [&] { fileTest->close(); },
    };
    for (const auto& closeIt : closers) {
        closeIt();
        EXPECT_FALSE(fileTest->isVisible());
        EXPECT_EQ(task->publicState(), uint32_t(ProcessTaskState_Pause));
        QCoreApplication::processEvents();
        const QString report = fileTest->resultsView()->text();
        window->act_menu_file_test();
        EXPECT_EQ(window->fileTestDialog(), fileTest);
        EXPECT_TRUE(fileTest->isVisible());
        EXPECT_EQ(fileTest->task(), task);
        EXPECT_EQ(fileTest->resultsView()->text(), report);
        EXPECT_TRUE(report.startsWith("Video frames Test :\n\n")) << report.toStdString();
    }

    // Resumed, then closed: the run ends unseen and is there at the next showing.
    QTest::mouseClick(playPause, Qt::LeftButton);
    fileTest->close_dialog_ok();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileTest->resultsView()->text().contains("Frames invalides"); }, 60000));
    EXPECT_FALSE(fileTest->isVisible());
    const QString ended = fileTest->resultsView()->text();
    EXPECT_FALSE(ended.contains("Partial results")) << ended.toStdString();
    EXPECT_TRUE(ended.contains("Frames valids : 600\n")) << ended.toStdString();
    window->act_menu_file_test();
    EXPECT_EQ(fileTest->task(), task);
    EXPECT_EQ(fileTest->resultsView()->text(), ended);
    fileTest->close_dialog_ok();

    // The same file imported again is another movie: a new report, a new test.
    window->loadFile({fixture("window_long.mov")}, -1, false);
    window->act_menu_file_test();
    EXPECT_EQ(fileTest->task(), nullptr);
    EXPECT_EQ(fileTest->resultsView()->text(), QString());
    QTest::mouseClick(playPause, Qt::LeftButton);
    task = fileTest->task();
    ASSERT_NE(task, nullptr);
    QTest::mouseClick(playPause, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return task->runState() == ProcessTaskState_Pause; }, vktest::kWaitMs));
    fileTest->close_dialog_ok();

    // Deleting a track stops it before the track goes; the partial run stays on show.
    window->PanelAudioMap_DeleteTrack(0);
    EXPECT_EQ(task->publicState(), uint32_t(ProcessTaskState_Stop));
    EXPECT_NE(task->runState(), uint32_t(ProcessTaskState_Pause));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileTest->resultsView()->text().contains("Partial results"); },
                                vktest::kWaitMs));
    window->act_menu_file_test();
    EXPECT_EQ(fileTest->task(), task);
    EXPECT_TRUE(fileTest->resultsView()->text().contains("\nPartial results :\nProcess frames : "));
    fileTest->close_dialog_ok();
}

}  // namespace
