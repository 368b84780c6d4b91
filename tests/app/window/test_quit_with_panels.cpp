// Quitting with the audio panels on screen, on the X server: the Quit entry ends the
// event loop as Ctrl+Q does, and the application closes every window on its way out in
// an order of its own (it changes with the windows' addresses, so each round makes new
// ones). Whatever that order, the preferences file says what was on screen when Quit
// was asked for, and the next window shows the panels again.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "widget_app.h"

namespace {

QString prefs_path() { return QDir(widget_test_home()).filePath(".config/norvu_hap_player_prefs.xml"); }

QAction* quit_entry(QMenuBar* bar) {
    for (QAction* top : bar->actions())
        if (QMenu* menu = top->menu())
            for (QAction* action : menu->actions())
                if (action->shortcut() == QKeySequence(QKeySequence::Quit)) return action;
    return nullptr;
}

// Triggers the entry from inside the event loop and returns the loop's exit code: 0
// when Quit ended it, 1 when it was still running after the harness's wait.
int run_until_quit(QAction* quit) {
    QTimer press;
    press.setSingleShot(true);
    QObject::connect(&press, &QTimer::timeout, quit, &QAction::trigger);
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    press.start(0);
    bound.start(vktest::kWaitMs);
    return QCoreApplication::exec();
}

// After the loop has ended, main deletes the windows without closing them again.
void delete_as_main_does(ShownMainWindow& shown) {
    vktest::hide_and_release(*shown.video);
    delete shown.video;
    shown.video = nullptr;
    shown.window.reset();
    QCoreApplication::processEvents();
}

}  // namespace

TEST(QuitWithPanels, EveryQuitRecordsBothShownPanelsAndTheNextWindowShowsThem) {
    start_window_test();
    QFile::remove(prefs_path());
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    shown.window->act_menu_audio_meters();
    shown.window->act_menu_audio_mapping();

    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_TRUE(shown.window->audioMeterPanel()->isVisible());
        ASSERT_TRUE(shown.window->audioMappingPanel()->isVisible());
        QAction* quit = quit_entry(shown.window->menuBar());
        ASSERT_NE(quit, nullptr);
        QFile::remove(prefs_path());
        ASSERT_EQ(run_until_quit(quit), 0) << "Quit did not end the event loop";
        EXPECT_FALSE(shown.window->isVisible());

        QFile file(prefs_path());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "Quit wrote no preferences";
        const QByteArray xml = file.readAll();
        EXPECT_TRUE(xml.contains(R"(<panel name="audio_meters" is_visible="YES")")) << xml.toStdString();
        EXPECT_TRUE(xml.contains(R"(<panel name="audio_mapping" is_visible="YES")")) << xml.toStdString();

        delete_as_main_does(shown);
        ASSERT_NO_FATAL_FAILURE(shown.open());
    }
    // Later windows of this program start without panels.
    shown.window->audioMeterPanel()->close();
    shown.window->audioMappingPanel()->close();
    shown.close();
    QFile::remove(prefs_path());
    vktest::expect_no_validation_errors();
}
