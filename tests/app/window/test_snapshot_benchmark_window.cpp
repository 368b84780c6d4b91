// The snapshot button and the benchmark menu entry of the main window, on the X server
// with lavapipe: refusals without a movie, the frame on screen saved where the
// preferences say (paused, the information message naming the file), the button's
// context menu, and a new benchmark dialog at each use that measures the movie.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include <png.h>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "base/settings/global_settings.h"
#include "app/view_info_error.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/dialog_benchmark.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/player_benchmark_task.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

namespace {

// The grey level of the PNG's pixel (x, y), or -1 when the file is no readable PNG.
int png_grey_at(const QString& path, uint32_t x, uint32_t y) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.toLocal8Bit().constData())) return -1;
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return -1;
    return pixels[(size_t(y) * png.width + x) * 3];
}

}  // namespace

TEST(SnapshotAndBenchmarkFromMainWindow, RefusalsSnapshotsAndBenchmark) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    std::unique_ptr<MainWindow>& window = shown.window;

    window->viewControlsClicSnapshot();
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Snapshot error");
    EXPECT_EQ(window->messageView()->messageLabel()->text(), "No file load");
    window->act_menu_benchmark();
    EXPECT_EQ(window->benchmarkDialog(), nullptr);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Benchmark");

    window->loadFile({QString(HAP_FIXTURE_DIR) + "/window_ramp.mov"}, -1, false);
    ASSERT_NE(window->movie(), nullptr);

    // Frame N is a flat grey of 5N.
    QTemporaryDir dir;
    GlobalSettings* settings = window->settings();
    settings->snapshot_format = 1;
    settings->snapshot_dst_folder_mode = 2;
    settings->snapshot_custom_folder_path = dir.filePath("shots");
    settings->snapshot_time_mode = 1;
    window->viewControlsSetNewTimeFrame(10);
    window->setPlaySpeed(1);
    window->viewControlsClicSnapshot();
    EXPECT_EQ(window->playSpeed(), 0);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Snapshot creation");
    const uint32_t frame = window->currentFrame();
    const QString file = dir.filePath(QStringLiteral("shots/window_ramp_%1.png").arg(frame));
    EXPECT_EQ(window->messageView()->messageLabel()->text(), "Snapshot created at :\n" + file);
    EXPECT_NEAR(png_grey_at(file, 160, 120), int(5 * frame), 3);  // DXT1 keeps 5 or 6 bits a colour

    // The button's context menu opens the snapshot parameters.
    MainWindow::setMenuExecProvider([](QMenu* menu, const QPoint&) {
        EXPECT_EQ(menu->title(), "Context menu Snapshot");
        return menu->actions().value(0);
    });
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    window->viewControlsRightClicSnapshot(&right);
    MainWindow::setMenuExecProvider(nullptr);
    DialogSnapshotParams* params = window->findChild<DialogSnapshotParams*>();
    ASSERT_NE(params, nullptr);
    params->close();

    // The benchmark: a new dialog at each use, measuring the movie's 50 frames.
    window->act_menu_benchmark();
    DialogBenchmark* first = window->benchmarkDialog();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    QMetaObject::invokeMethod(first, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_NE(first->task(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->reportView()->text().contains("Disk bitrate"); }, 20000));
    EXPECT_EQ(first->task()->record()->framesMeasured, 50u);
    first->close_dialog_ok();
    window->act_menu_benchmark();
    EXPECT_NE(window->benchmarkDialog(), first);
    // A benchmark still running when the window goes ends before the movie does.
    QMetaObject::invokeMethod(window->benchmarkDialog(), "progressTask_clic_play", Q_ARG(QString, QString()));

    shown.close();
    vktest::expect_no_validation_errors();
}
