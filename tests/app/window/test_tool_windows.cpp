// The file test and hardware information windows as the main window opens them from
// its menus, on the X server with lavapipe: refused without a movie, built once, given
// the current movie and the video window's device, closed with the main window.
#include <gtest/gtest.h>

#include <QTest>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "app/view_info_error.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/dialog_analyse.h"
#include "tools/dialog_hardware_information.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

TEST(ToolWindowsFromMainWindow, FileTestAndHardwareInformation) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    VulkanWindow* video = shown.video;
    std::unique_ptr<MainWindow>& window = shown.window;

    window->act_menu_file_test();
    EXPECT_EQ(window->fileTestDialog(), nullptr);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "File test");

    window->loadFile({QString(HAP_FIXTURE_DIR) + "/window_ramp.mov"}, -1, false);
    ASSERT_NE(window->movie(), nullptr);
    window->act_menu_file_test();
    DialogAnalyse* fileTest = window->fileTestDialog();
    ASSERT_NE(fileTest, nullptr);
    EXPECT_TRUE(fileTest->isVisible());
    EXPECT_EQ(fileTest->resultsView()->text(), QString());  // a clean movie: no known defect
    fileTest->close_dialog_ok();
    window->act_menu_file_test();
    EXPECT_EQ(window->fileTestDialog(), fileTest);  // built once

    window->act_menu_hardware_info();
    window->act_menu_hardware_info();
    DialogHardwareInformation* hardware = window->hardwareDialog();
    ASSERT_NE(hardware, nullptr);
    EXPECT_TRUE(hardware->isVisible());
    const VkPhysicalDeviceProperties* gpu = video->physicalDeviceProperties();
    ASSERT_NE(gpu, nullptr);
    EXPECT_TRUE(hardware->textView()->text().startsWith(
        ":: GPU informations ::\n\nName : " + QString::fromUtf8(gpu->deviceName) + "\n"));
    EXPECT_TRUE(hardware->textView()->text().contains("\n:: Audio output device informations ::\n\n"));

    fileTest->close_dialog_ok();
    window->close();
    EXPECT_FALSE(hardware->isVisible());
    shown.close();
    vktest::expect_no_validation_errors();
}
