// The I and O keys on the real X server, typed as people type them: they act when the
// key comes up, by the chord that was typed, whichever of the modifier and the letter
// is let go first, on the main window as on the video window; and a release whose
// press went elsewhere (a menu shortcut, another window) changes no point.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTest>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "movie/frame_compressed_buffer.h"
#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"

namespace {

struct Points {
    int32_t in = -1;
    int32_t out = -1;
    uint32_t frame = 0;
    bool operator==(const Points&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Points& p) {
    return os << "in " << p.in << ", out " << p.out << ", frame " << p.frame;
}

Qt::Key key_of(Qt::KeyboardModifier modifier) {
    switch (modifier) {
    case Qt::ShiftModifier: return Qt::Key_Shift;
    case Qt::ControlModifier: return Qt::Key_Control;
    case Qt::AltModifier: return Qt::Key_Alt;
    default: return Qt::Key_unknown;
    }
}

// Types `key` with `modifier`: the modifier goes down, then the key (QTest presses
// the modifier's own key first); then the modifier comes up before the key, or after.
template <typename Target>
void type_chord(Target* target, Qt::Key key, Qt::KeyboardModifier modifier, bool modifierFirst) {
    QTest::keyPress(target, key, modifier);
    if (modifierFirst) {
        QTest::keyRelease(target, key_of(modifier));
        QTest::keyRelease(target, key);
    } else {
        QTest::keyRelease(target, key, modifier);  // then the modifier's own release
    }
}

class InOutKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
        QFile::remove(GlobalSettings::prefsFilePath());
        ASSERT_NO_FATAL_FAILURE(shown.open(QString(HAP_FIXTURE_DIR) + "/window_ramp.mov"));
        ASSERT_NE(window()->movie(), nullptr);
    }

    void TearDown() override {
        shown.close();
        vktest::expect_no_validation_errors();
    }

    MainWindow* window() const { return shown.window.get(); }

    Points points() const {
        return {window()->frameQueue()->inPoint(), window()->frameQueue()->outPoint(), window()->currentFrame()};
    }

    // In at 10, out at 40, frame 25 on screen: marked with plain I and O.
    void markPoints() {
        window()->viewControlsSetNewTimeFrame(10);
        QTest::keyClick(window(), Qt::Key_I);
        window()->viewControlsSetNewTimeFrame(40);
        QTest::keyClick(window(), Qt::Key_O);
        window()->viewControlsSetNewTimeFrame(25);
        ASSERT_EQ(points(), (Points{10, 40, 25}));
    }

    ShownMainWindow shown;
};

TEST_F(InOutKeysTest, ShiftAndAltChordsDoTheSameWhicheverKeyIsLetGoFirst) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifier modifier;
        Points expected;  // from in 10, out 40, frame 25
    };
    const Case cases[] = {
        {Qt::Key_O, Qt::ShiftModifier, {10, 40, 40}},  // go to the out point
        {Qt::Key_I, Qt::ShiftModifier, {10, 40, 10}},  // go to the in point
        {Qt::Key_O, Qt::AltModifier, {10, -1, 25}},    // clear the out point
        {Qt::Key_I, Qt::AltModifier, {-1, 40, 25}},    // clear the in point
    };
    for (const bool onVideo : {false, true}) {
        for (const Case& c : cases) {
            for (const bool modifierFirst : {true, false}) {
                SCOPED_TRACE(::testing::Message()
                             << (onVideo ? "video window, " : "main window, ")
                             << (c.modifier == Qt::ShiftModifier ? "Shift+" : "Alt+")
                             << (c.key == Qt::Key_I ? "I" : "O")
                             << (modifierFirst ? ", modifier let go first" : ", key let go first"));
                ASSERT_NO_FATAL_FAILURE(markPoints());
                if (onVideo) type_chord(shown.video, c.key, c.modifier, modifierFirst);
                else type_chord(window(), c.key, c.modifier, modifierFirst);
                EXPECT_EQ(points(), c.expected);
            }
        }
    }
}

TEST_F(InOutKeysTest, AReleaseWhosePressWentElsewhereChangesNoPoint) {
    ASSERT_NO_FATAL_FAILURE(markPoints());

    // Ctrl+I is the information overlay's shortcut, which takes the press: the
    // release of I, with or without Ctrl still down, sets no in point. In a window
    // and in full screen, where the window itself carries the shortcut.
    for (const bool fullScreen : {false, true}) {
        if (window()->isFullScreen() != fullScreen) window()->act_menu_toggle_fullscreen();
        ASSERT_EQ(window()->isFullScreen(), fullScreen);
        for (const bool onVideo : {false, true}) {
            for (const bool modifierFirst : {true, false}) {
                SCOPED_TRACE(::testing::Message()
                             << (fullScreen ? "full screen, " : "window, ") << (onVideo ? "video window, " : "main window, ")
                             << (modifierFirst ? "Ctrl let go first" : "I let go first"));
                const bool shown_before = window()->isInformationShown();
                // Shortcuts go to the active window only; the tests share one X server.
                QApplication::setActiveWindow(window());
                if (onVideo) type_chord(shown.video, Qt::Key_I, Qt::ControlModifier, modifierFirst);
                else type_chord(window(), Qt::Key_I, Qt::ControlModifier, modifierFirst);
                EXPECT_NE(window()->isInformationShown(), shown_before) << "the overlay did not toggle";
                EXPECT_EQ(points(), (Points{10, 40, 25}));
            }
        }
    }
    if (window()->isFullScreen()) window()->act_menu_toggle_fullscreen();

    // Releases whose presses went to another window.
    for (const Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                                  Qt::KeyboardModifiers(Qt::AltModifier)}) {
        for (const Qt::Key key : {Qt::Key_I, Qt::Key_O}) {
            QTest::keyRelease(window(), key, modifiers);
            QTest::keyRelease(shown.video, key, modifiers);
        }
    }
    EXPECT_EQ(points(), (Points{10, 40, 25}));

    // An I pressed just before the window lost the focus: its release went to the
    // other window, and it arms no later release once the window is back. (The
    // window is made active first: on the shared X server another test's window may
    // hold the focus.)
    QApplication::setActiveWindow(window());
    QTest::keyPress(window(), Qt::Key_I);
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(window());
    type_chord(window(), Qt::Key_I, Qt::ControlModifier, true);
    EXPECT_EQ(points(), (Points{10, 40, 25}));
}

}  // namespace
