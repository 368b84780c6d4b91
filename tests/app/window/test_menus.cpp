// The menu bar and the video's context menu of the main window, end to end on the X
// server with lavapipe: each display-mode entry sets the renderer's mode and leaves
// exactly its own entry checked, out-of-range slot values fall back to the defaults
// with their console line, the guides land in the preferences file, the context menu
// (run through the replaceable menu runner) changes what Quit saves, the About and
// Keyboard shortcuts windows are made once, and every shortcut of the menu bar works
// once per press, in a window and in full screen (where the bar is hidden).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "base/settings/global_settings.h"
#include "app/view_bottom_ctrl.h"
#include "app/window_shortcuts.h"
#include "media/mov_file.h"
#include "movie/file_to_play.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "ui/dialog_about.h"
#include "ui/view_label.h"
#include "widget_app.h"

namespace {

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

QAction* find_entry(const QList<QAction*>& actions, const QString& text) {
    for (QAction* action : actions)
        if (action->text() == text) return action;
    return nullptr;
}

// The entry at the end of `path` (menu titles, then the entry's text), or null.
QAction* entry_at(QMenu* menu, const QStringList& path) {
    QAction* found = nullptr;
    for (const QString& step : path) {
        if (!menu) return nullptr;
        found = find_entry(menu->actions(), step);
        if (!found) return nullptr;
        menu = found->menu();
    }
    return found;
}

// The context menu runner of the tests: it records the menu and picks the entry at
// `g_pick` without any modal loop.
QStringList g_pick;
QString g_menu_title;
bool g_crop_box_enabled = true;
QAction* pick_entry(QMenu* menu, const QPoint&) {
    g_menu_title = menu->title();
    if (QAction* crop = find_entry(menu->actions(), "Crop Box Display Mode"))
        g_crop_box_enabled = crop->menu()->isEnabled();
    return entry_at(menu, g_pick);
}

// Every entry of the menu bar that has a shortcut, submenus included.
QList<QAction*> entries_with_shortcuts(QMenuBar* bar) {
    QList<QAction*> found;
    std::function<void(QMenu*)> walk = [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            if (QMenu* sub = action->menu()) walk(sub);
            else if (!action->shortcut().isEmpty()) found << action;
        }
    };
    for (QAction* top : bar->actions())
        if (QMenu* menu = top->menu()) walk(menu);
    return found;
}

// Types `keys` where they go while the video has the focus. Shortcuts only reach the
// active window, and the window tests share one X server, where another test's window
// may take the focus at any moment: the application is told its window is active
// right before the keys, with no event handled in between.
void press_in_active_window(MainWindow* window, QWindow* video, QKeyCombination keys) {
    QApplication::setActiveWindow(window);
    QTest::keyClick(video, keys.key(), keys.keyboardModifiers());
}

QStringList checked_entries(QMenu* menu) {
    QStringList checked;
    for (QAction* action : menu->actions())
        if (action->isCheckable() && action->isChecked()) checked << action->text();
    return checked;
}

class MenusTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
        previousRunner = MainWindow::setMenuExecProvider(pick_entry);
        // Every test starts from the default preferences.
        QFile::remove(prefsPath());
    }

    void TearDown() override {
        close();
        MainWindow::setMenuExecProvider(previousRunner);
        QFile::remove(prefsPath());  // what Quit saved here is no other test's start
        vktest::expect_no_validation_errors();
    }

    void open(const QString& initial = QString()) {
        ASSERT_NO_FATAL_FAILURE(shown.open(initial));
    }

    void close() {
        if (!window) return;
        window->setPlaySpeed(0);
        shown.close();
    }

    QMenu* barMenu(const QString& title) {
        QAction* action = find_entry(window->menuBar()->actions(), title);
        return action ? action->menu() : nullptr;
    }
    QMenu* viewSubmenu(const QString& title) {
        QAction* action = entry_at(barMenu("&View"), {title});
        return action ? action->menu() : nullptr;
    }

    void rightClickVideo() { QTest::mouseClick(video, Qt::RightButton, Qt::NoModifier, QPoint(100, 100)); }

    static QString prefsPath() {
        return QDir(widget_test_home()).filePath(".config/norvu_hap_player_prefs.xml");
    }

    QByteArray quitAndReadPrefs() {
        QFile::remove(prefsPath());
        window->act_quit_menu();
        QFile file(prefsPath());
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll();
    }

    VulkanWinRenderer* renderer() const { return video->renderer; }

    MainWindow::MenuExecProvider previousRunner = nullptr;
    ShownMainWindow shown;
    VulkanWindow*& video = shown.video;
    std::unique_ptr<MainWindow>& window = shown.window;
};

TEST_F(MenusTest, MenuBarInItsOrderWithTheFileEntries) {
    open();
    QStringList titles;
    for (QAction* action : window->menuBar()->actions()) titles << action->text();
    EXPECT_EQ(titles, QStringList({"&File", "&Window", "&View", "&Analyse", "&Help"}));

    QStringList file;
    for (QAction* action : barMenu("&File")->actions()) file << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(file, QStringList({"About NorvuHAPPlayer", "-", "Open...", "-", "Quit"}));
    EXPECT_NE(entry_at(barMenu("&Help"), {"Keyboard shortcuts..."}), nullptr);
    EXPECT_EQ(entry_at(barMenu("&View"), {"Enter Full Screen"})->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
}

// Every entry of every display-mode submenu: the renderer's mode after it, and the
// one entry checked afterwards.
TEST_F(MenusTest, EachDisplayModeEntrySetsTheRendererAndChecksOnlyItself) {
    open(fixture("window_ramp.mov"));
    ASSERT_NE(window->movie(), nullptr);
    // The crop box modes need a movie with a display window.
    MovFile* record = nullptr;
    window->movie()->movFile(&record);
    record->metaPresent = 1;
    record->displayWindowFlag = 1;
    record->displayWidth = 640;
    record->displayHeight = 480;

    struct Row {
        const char* submenu;
        std::vector<uint32_t> modes;  // the mode of entry i
        std::function<uint32_t(const VulkanWinRenderer&)> mode;
    };
    const Row rows[] = {
        {"Background", {0, 1, 3, 2, 4}, [](const VulkanWinRenderer& r) { return r.backgroundModeRaw(); }},
        {"Alpha Mode", {0, 1}, [](const VulkanWinRenderer& r) { return r.alphaModeRaw(); }},
        {"Channel", {0, 1, 2}, [](const VulkanWinRenderer& r) { return r.channelMode(); }},
        {"Scaling", {0, 1, 2}, [](const VulkanWinRenderer& r) { return r.scaleModeRaw(); }},
        {"Crop Box Display Mode", {0, 1}, [](const VulkanWinRenderer& r) { return r.cropBoxDisplayMode(); }},
        {"Zoom", {0, 1, 2, 3, 4, 5, 6}, [](const VulkanWinRenderer& r) { return uint32_t(r.zoomLevelIndex()); }},
    };
    for (const Row& row : rows) {
        QMenu* menu = viewSubmenu(row.submenu);
        ASSERT_NE(menu, nullptr) << row.submenu;
        ASSERT_EQ(size_t(menu->actions().size()), row.modes.size()) << row.submenu;
        // Backwards, so that every entry is a change.
        for (size_t i = row.modes.size(); i-- > 0;) {
            QAction* entry = menu->actions()[qsizetype(i)];
            entry->trigger();
            EXPECT_EQ(row.mode(*renderer()), row.modes[i]) << row.submenu << " entry " << i;
            EXPECT_EQ(checked_entries(menu), QStringList({entry->text()})) << row.submenu << " entry " << i;
        }
    }
    EXPECT_TRUE(viewSubmenu("Crop Box Display Mode")->isEnabled());
}

TEST_F(MenusTest, OutOfRangeModesFallBackToTheDefaultsWithTheirLine) {
    open(fixture("window_ramp.mov"));
    struct Row {
        std::function<void(MainWindow&, uint32_t)> slot;
        uint32_t other;  // a valid entry that is not the default
        const char* line;
        std::function<uint32_t(const VulkanWinRenderer&)> mode;
        uint32_t fallback;
    };
    const Row rows[] = {
        {&MainWindow::act_menu_bg, 3, "Unknown BaseGpu2dCanvas_BackgroundMode val : 9 (default Black)",
         [](const VulkanWinRenderer& r) { return r.backgroundModeRaw(); }, 0},
        {&MainWindow::act_menu_alpha_mode, 1, "Unknown alpha Mode val : 9 (default premult)",
         [](const VulkanWinRenderer& r) { return r.alphaModeRaw(); }, 0},
        {&MainWindow::act_menu_channels, 2, "Unknown BaseGpu2dCanvas_ChannelMode val : 9 (default RGBA)",
         [](const VulkanWinRenderer& r) { return r.channelMode(); }, 0},
        {&MainWindow::act_menu_scaling, 2, "Unknown scaling Mode val : 9 (default bilinear)",
         [](const VulkanWinRenderer& r) { return r.scaleModeRaw(); }, 1},
        {&MainWindow::act_menu_cropbox_display_mode, 1, "Unknown crop box display Mode val : 9 (default video data)",
         [](const VulkanWinRenderer& r) { return r.cropBoxDisplayMode(); }, 0},
    };
    for (const Row& row : rows) {
        row.slot(*window, row.other);
        ASSERT_NE(row.mode(*renderer()), row.fallback) << row.line;
        vktest::MessageCapture capture;
        row.slot(*window, 9);
        EXPECT_TRUE(capture.messages().contains(row.line)) << capture.messages().join('\n').toStdString();
        EXPECT_EQ(row.mode(*renderer()), row.fallback) << row.line;
    }

    // Unknown modes already in the renderer: the crop box checks its second entry,
    // scaling its default.
    renderer()->setCropBoxDisplayMode(7);
    renderer()->setScaleMode(5);
    vktest::MessageCapture capture;
    window->act_menu_alpha_mode(0);  // any change re-checks every menu
    EXPECT_TRUE(capture.messages().contains("Unknown crop box display Mode : 7"));
    EXPECT_TRUE(capture.messages().contains("Unknown scaling Mode : 5"));
    EXPECT_EQ(checked_entries(viewSubmenu("Crop Box Display Mode")), QStringList({"Position file in Display Window"}));
    EXPECT_EQ(checked_entries(viewSubmenu("Scaling")), QStringList({"Normal (Bilinear)"}));
}

TEST_F(MenusTest, CropBoxModesOnlyForAMovieWithADisplayWindow) {
    open();
    EXPECT_FALSE(viewSubmenu("Crop Box Display Mode")->isEnabled());
    window->loadFile({fixture("window_ramp.mov")}, -1, false);
    ASSERT_NE(window->movie(), nullptr);
    EXPECT_FALSE(viewSubmenu("Crop Box Display Mode")->isEnabled());
    g_pick = QStringList({"Center video"});
    g_crop_box_enabled = true;
    rightClickVideo();
    EXPECT_FALSE(g_crop_box_enabled);
}

TEST_F(MenusTest, ContextMenuChoicesAreWhatQuitSaves) {
    open(fixture("window_ramp.mov"));
    ASSERT_NE(window->movie(), nullptr);
    g_pick = QStringList({"Background", "White"});
    g_menu_title.clear();
    rightClickVideo();
    EXPECT_EQ(g_menu_title, "Context menu View Parameters");
    EXPECT_EQ(renderer()->backgroundModeRaw(), 1u);
    EXPECT_EQ(checked_entries(viewSubmenu("Background")), QStringList({"White"}));
    EXPECT_TRUE(quitAndReadPrefs().contains(R"(<params k="view_bg_mode" v="1"/>)"));

    g_pick = QStringList({"Background", "Checkerboard"});
    rightClickVideo();
    EXPECT_TRUE(quitAndReadPrefs().contains(R"(<params k="view_bg_mode" v="2"/>)"));

    // The same entries drive the movie's rate and the controls.
    g_pick = QStringList({"Interpret Fps", "25"});
    rightClickVideo();
    EXPECT_EQ(window->movie()->fpsMode(), uint32_t(FpsInterpretMode_25));
    g_pick = QStringList({"Hide controls"});
    rightClickVideo();
    EXPECT_FALSE(window->areControlsShown());
    g_pick = QStringList({"Show controls"});
    rightClickVideo();
    EXPECT_TRUE(window->areControlsShown());
    g_pick.clear();  // dismissed: nothing changes
    rightClickVideo();
    EXPECT_EQ(renderer()->backgroundModeRaw(), 2u);
}

TEST_F(MenusTest, GuideTogglesAreStoredSwitches) {
    open();
    QMenu* guides = viewSubmenu("Guides");
    ASSERT_NE(guides, nullptr);
    entry_at(guides, {"Safe area"})->trigger();
    entry_at(guides, {"Video area"})->trigger();
    entry_at(guides, {"Video area"})->trigger();
    entry_at(guides, {"Crop Box Display Window Area"})->trigger();
    EXPECT_TRUE(window->settings()->isSafeAreaVisible());
    EXPECT_FALSE(window->settings()->isVideoAreaVisible());
    EXPECT_TRUE(window->settings()->isDisplayWindowAreaVisible());
    EXPECT_EQ(renderer()->canvasState().showSafeArea, 1u);
    EXPECT_EQ(renderer()->canvasState().showVideoArea, 0u);
    EXPECT_EQ(renderer()->canvasState().showCropBoxArea, 1u);
    EXPECT_EQ(checked_entries(guides), QStringList({"Safe area", "Crop Box Display Window Area"}));

    // The context menu's guides are the same switches.
    g_pick = QStringList({"Guides", "Crop Box Display Window"});
    rightClickVideo();
    EXPECT_FALSE(window->settings()->isDisplayWindowAreaVisible());

    const QByteArray xml = quitAndReadPrefs();
    EXPECT_TRUE(xml.contains(R"(<ui_bool_setting k="ui_safe_area_visible" v="YES"/>)")) << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<ui_bool_setting k="ui_video_area_visible" v="NO"/>)"));
    EXPECT_TRUE(xml.contains(R"(<ui_bool_setting k="ui_display_window_area_visible" v="NO"/>)"));
}

TEST_F(MenusTest, AboutAndKeyboardShortcutsAreMadeOnce) {
    open();
    auto visible_count = [](auto* type_tag) {
        using Window = std::remove_pointer_t<decltype(type_tag)>;
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<Window*>(widget) && widget->isVisible()) ++count;
        return count;
    };
    QAction* shortcuts = entry_at(barMenu("&Help"), {"Keyboard shortcuts..."});
    shortcuts->trigger();
    WindowShortcuts* first = window->shortcutsWindow();
    shortcuts->trigger();
    EXPECT_EQ(window->shortcutsWindow(), first);
    EXPECT_EQ(visible_count(static_cast<WindowShortcuts*>(nullptr)), 1);

    QAction* about = entry_at(barMenu("&File"), {"About NorvuHAPPlayer"});
    about->trigger();
    about->trigger();
    DialogAbout* dialog = window->aboutDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(visible_count(static_cast<DialogAbout*>(nullptr)), 1);
    EXPECT_EQ(dialog->windowTitle(), "About Norvu HAP Player");
    EXPECT_EQ(dialog->parent(), nullptr);
    EXPECT_EQ(dialog->splash()->versionLabel()->text(), "Version : 2.1.1");
    EXPECT_EQ(dialog->splash()->titleLabel()->text(), "Norvu HAP Player");

    window->close();
    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MenusTest, EveryMenuShortcutFiresOnceInAWindowAndInFullScreen) {
    open(fixture("window_ramp.mov"));
    int openDialogs = 0;
    static int* s_openDialogs = nullptr;
    s_openDialogs = &openDialogs;
    const MainWindow::OpenFileProvider previousOpen = MainWindow::setOpenFileProvider([](QWidget*) {
        ++*s_openDialogs;
        return QString();  // cancelled
    });

    const QList<QAction*> entries = entries_with_shortcuts(window->menuBar());
    QStringList names;
    for (const QAction* entry : entries) names << entry->text();
    // Open, Quit, Show informations, Enter Full Screen.
    ASSERT_EQ(entries.size(), 4) << names.join(", ").toStdString();

    for (const bool fullScreen : {false, true}) {
        SCOPED_TRACE(fullScreen ? "full screen" : "window");
        for (QAction* entry : entries) {
            if (entry->shortcut() == QKeySequence(QKeySequence::Quit)) continue;  // ends the event loop: below
            SCOPED_TRACE(entry->text().toStdString());
            if (window->isFullScreen() != fullScreen) window->act_menu_toggle_fullscreen();
            ASSERT_EQ(window->isFullScreen(), fullScreen);
            EXPECT_EQ(window->menuBar()->isVisible(), !fullScreen);
            QSignalSpy triggered(entry, &QAction::triggered);
            press_in_active_window(window.get(), video, entry->shortcut()[0]);
            EXPECT_EQ(triggered.count(), 1);
        }
    }

    // Ctrl+I toggles the overlay once per press, and Ctrl+O asks for one file.
    if (!window->isFullScreen()) window->act_menu_toggle_fullscreen();
    ASSERT_TRUE(window->isFullScreen());
    const bool information = window->isInformationShown();
    openDialogs = 0;
    press_in_active_window(window.get(), video, Qt::CTRL | Qt::Key_I);
    EXPECT_EQ(window->isInformationShown(), !information);
    press_in_active_window(window.get(), video, Qt::CTRL | Qt::Key_O);
    EXPECT_EQ(openDialogs, 1);
    MainWindow::setOpenFileProvider(previousOpen);

    // Ctrl+Q ends the event loop and writes the preferences.
    QFile::remove(prefsPath());
    window->viewControlsClicPlayMode(1);
    window->bottomBar()->setPlayModeLoop(true);
    QTimer press;
    press.setSingleShot(true);
    QObject::connect(&press, &QTimer::timeout,
                     [&] { press_in_active_window(window.get(), video, Qt::CTRL | Qt::Key_Q); });
    QTimer bound;  // a regression fails here instead of hanging
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    press.start(0);
    bound.start(vktest::kWaitMs);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "Ctrl+Q did not quit";
    QFile file(prefsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "Ctrl+Q did not write the preferences";
    EXPECT_TRUE(file.readAll().contains(R"(<params k="play_loop" v="YES"/>)"));
}

}  // namespace
