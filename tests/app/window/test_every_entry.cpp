// The whole window once: every entry of every menu is triggered with a movie open, each
// window it opens is closed again, and the main window then closes cleanly, with no
// validation message (and, in the sanitizer build, no sanitizer report).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "widget_app.h"

namespace {

void collect_actions(QMenu* menu, QList<QAction*>& out) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        if (QMenu* sub = action->menu()) collect_actions(sub, out);
        else out.append(action);
    }
}

TEST(WholeWindow, EveryMenuEntryOpensAndClosesCleanly) {
    start_window_test();
    const MainWindow::OpenFileProvider previousOpen =
        MainWindow::setOpenFileProvider([](QWidget*) { return QString(HAP_FIXTURE_DIR) + "/window_ramp.mov"; });
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    std::unique_ptr<MainWindow>& window = shown.window;

    QList<QAction*> actions;
    for (QAction* top : window->menuBar()->actions())
        if (QMenu* menu = top->menu()) collect_actions(menu, actions);
    // File 3, Window 4, View 29 (with its submenus), Analyse 3, Help 1.
    ASSERT_EQ(actions.size(), 40);

    int triggered = 0;
    for (QAction* action : actions) {
        if (action->shortcut() == QKeySequence(QKeySequence::Quit)) continue;  // ends the event loop
        SCOPED_TRACE(action->text().toStdString());
        action->trigger();
        QCoreApplication::processEvents();
        ++triggered;
        // Whatever window the entry opened is closed again before the next one.
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top != window.get() && top->isVisible()) top->close();
        QCoreApplication::processEvents();
        if (window->isFullScreen()) window->act_menu_toggle_fullscreen();
    }
    EXPECT_EQ(triggered, actions.size() - 1);
    ASSERT_NE(window->movie(), nullptr);  // "Open..." went through the provider

    shown.close();
    MainWindow::setOpenFileProvider(previousOpen);
    vktest::expect_no_validation_errors();
}

}  // namespace
