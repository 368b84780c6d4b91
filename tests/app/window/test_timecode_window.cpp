// The time display of the main window in Timecode mode, on drop-frame movies made by
// FFmpeg whose timecode crosses midnight: every label shown is a label of the day
// (never 24:00:00), typing it lands on its own frame, and under every Interpret Fps
// rate frame 0 still shows the movie's own start timecode, which the information
// overlay says too; and a snapshot in Timecode naming is named after the label shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <string>

#include "app/main_window.h"
#include "app/view_bottom_ctrl.h"
#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"
#include "ui/view_btn_image.h"
#include "ui/view_editable_time.h"
#include "ui/view_label.h"
#include "ui/view_text_entry.h"

namespace {

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

// The context menu runner: picks "Interpret Fps" > g_rate without a modal loop.
QString g_rate;
QAction* pick_rate(QMenu* menu, const QPoint&) {
    for (QAction* top : menu->actions()) {
        if (top->text() != "Interpret Fps" || !top->menu()) continue;
        for (QAction* entry : top->menu()->actions())
            if (entry->text() == g_rate) return entry;
    }
    return nullptr;
}

// Two movies whose labels at the file's rate cross midnight at frame 10.
struct TimecodeMovie {
    const char* file;
    const char* labels[16];
} const kMovies[] = {
    {"window_tc_2997_midnight.mov",
     {"23;59;59;20", "23;59;59;21", "23;59;59;22", "23;59;59;23", "23;59;59;24", "23;59;59;25", "23;59;59;26",
      "23;59;59;27", "23;59;59;28", "23;59;59;29", "00;00;00;00", "00;00;00;01", "00;00;00;02", "00;00;00;03",
      "00;00;00;04", "00;00;00;05"}},
    {"window_tc_5994_midnight.mov",
     {"23;59;59;50", "23;59;59;51", "23;59;59;52", "23;59;59;53", "23;59;59;54", "23;59;59;55", "23;59;59;56",
      "23;59;59;57", "23;59;59;58", "23;59;59;59", "00;00;00;00", "00;00;00;01", "00;00;00;02", "00;00;00;03",
      "00;00;00;04", "00;00;00;05"}},
};

// The 59.94 movie under each Interpret Fps entry: the labels of frame 0 and of the
// last frame (15). Its start frame number 50 is beyond the slower rates, which start
// on their last.
struct InterpretedRate {
    const char* entry;
    const char* first;
    const char* last;
} const kRates[] = {
    {"Same as source", "23;59;59;50", "00;00;00;05"}, {"23.98", "23;59;59;23", "00;00;00;14"},
    {"24", "23;59;59;23", "00;00;00;14"},             {"25", "23;59;59;24", "00;00;00;14"},
    {"29.97", "23;59;59;29", "00;00;00;14"},          {"30", "23;59;59;29", "00;00;00;14"},
    {"48", "23;59;59;47", "00;00;00;14"},             {"50", "23;59;59;49", "00;00;00;14"},
    {"59.94", "23;59;59;50", "00;00;00;05"},          {"60", "23;59;59;50", "00;00;00;05"},
};

class TimecodeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
        previousRunner = MainWindow::setMenuExecProvider(pick_rate);
        QFile::remove(GlobalSettings::prefsFilePath());
    }

    void TearDown() override {
        shown.close();
        MainWindow::setMenuExecProvider(previousRunner);
        QFile::remove(GlobalSettings::prefsFilePath());
        vktest::expect_no_validation_errors();
    }

    ViewEditableTimeSpendTotal* time() { return shown.window->bottomBar()->timeDisplay(); }
    std::string shownTime() { return time()->currentLabel()->text().toStdString(); }
    uint32_t frame() { return shown.window->currentFrame(); }

    void key(Qt::Key k) { QTest::keyClick(shown.window.get(), k); }

    // Clicks the current time, types `text` over it and presses Return, as a user
    // would. The tests share one X server: the window is made active first, so that
    // the entry gets the focus that Return then takes away.
    void typeTime(const QString& text) {
        QApplication::setActiveWindow(shown.window.get());
        QTest::mouseClick(time()->currentLabel(), Qt::LeftButton);
        ViewTextEntry* entry = time()->entry();
        ASSERT_TRUE(QTest::qWaitFor([&] { return entry->hasFocus(); }, 5000)) << "the entry never got the focus";
        QTest::keyClicks(entry, text);
        QTest::keyClick(entry, Qt::Key_Return);
        ASSERT_FALSE(time()->isEditing());
    }

    void pickRate(const char* entry) {
        g_rate = QString::fromLatin1(entry);
        QTest::mouseClick(shown.video, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
    }

    ShownMainWindow shown;
    MainWindow::MenuExecProvider previousRunner = nullptr;
};

TEST_F(TimecodeWindowTest, LabelsAcrossMidnightAndAtEveryInterpretedRateReadBack) {
    for (const TimecodeMovie& movie : kMovies) {
        SCOPED_TRACE(movie.file);
        shown.close();
        QFile::remove(GlobalSettings::prefsFilePath());  // not the time mode the last window saved
        ASSERT_NO_FATAL_FAILURE(shown.open(fixture(movie.file)));
        ASSERT_EQ(shown.window->movie()->frameCount(), 16u);
        QTest::mouseClick(time()->currentLabel(), Qt::LeftButton, Qt::ControlModifier);  // HH:MM:SS:FF -> Timecode
        ASSERT_EQ(time()->mode(), uint32_t(UiTimemode_Timecode));

        for (uint32_t f = 0; f < 16; ++f) {
            EXPECT_EQ(shownTime(), movie.labels[f]) << "frame " << f;
            if (f < 15) key(Qt::Key_Right);
        }
        // Each label typed from the frame before it (frame 0's from the last frame).
        for (uint32_t f = 0; f < 16; ++f) {
            ASSERT_NO_FATAL_FAILURE(typeTime(QString::fromLatin1(movie.labels[f])));
            EXPECT_EQ(frame(), f) << movie.labels[f];
        }
    }

    // The 59.94 movie, still open, under every Interpret Fps entry.
    for (const InterpretedRate& rate : kRates) {
        SCOPED_TRACE(rate.entry);
        pickRate(rate.entry);
        key(Qt::Key_Home);
        EXPECT_EQ(shownTime(), rate.first);
        EXPECT_EQ(shown.window->movie()->timecodeStartText().toStdString(), rate.first) << "the overlay's start line";
        key(Qt::Key_End);
        EXPECT_EQ(shownTime(), rate.last);
        ASSERT_NO_FATAL_FAILURE(typeTime(QString::fromLatin1(rate.first)));
        EXPECT_EQ(frame(), 0u) << "typed " << rate.first;
        ASSERT_NO_FATAL_FAILURE(typeTime(QString::fromLatin1(rate.last)));
        EXPECT_EQ(frame(), 15u) << "typed " << rate.last;
    }
}

// Timecode naming: the file of a frame (the first and the last of 8) carries the label
// the time display shows for it, separators made underscores, under Interpret Fps and
// at the movie's own rate; `first` is the label of frame 0.
TEST_F(TimecodeWindowTest, SnapshotNamesCarryTheShownLabelAtEveryInterpretedRate) {
    const struct {
        const char *movie, *entry, *first;
    } cases[] = {
        {"window_tc_2997_1h.mov", "25", "01;00;00;00"},
        {"window_tc_2997_1h.mov", "60", "01;00;00;00"},
        {"window_tc_25_10h.mov", "29.97", "10:00:00:00"},
        {"window_tc_25_10h.mov", "59.94", "10:00:00:00"},
        {"window_tc_2997_hour_end.mov", "24", "00;59;59;23"},
        {"window_tc_2997_hour_end.mov", "Same as source", "00;59;59;28"},
    };
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(shown.open(fixture(cases[0].movie)));
    QTest::mouseClick(time()->currentLabel(), Qt::LeftButton, Qt::ControlModifier);  // -> Timecode
    GlobalSettings& settings = *shown.window->settings();
    settings.snapshot_format = 1;  // PNG
    settings.snapshot_dst_folder_mode = 2;
    settings.snapshot_custom_folder_path = dir.path();
    settings.snapshot_time_mode = 4;  // timecode
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.movie) + " at " + c.entry);
        if (shown.window->movie()->filePath() != fixture(c.movie))
            shown.window->loadFile({fixture(c.movie)}, -1, false);
        pickRate(c.entry);
        for (const Qt::Key k : {Qt::Key_Home, Qt::Key_End}) {
            key(k);
            if (k == Qt::Key_Home) { EXPECT_EQ(shownTime(), c.first); }
            click(shown.window->bottomBar()->button(ViewBottomCtrl::Button_Snapshot));
            const QString label = QString::fromStdString(shownTime()).replace(':', '_').replace(';', '_');
            const QStringList files = QDir(dir.path()).entryList(QDir::Files);
            EXPECT_EQ(files.join(' ').toStdString(),
                      (QString(c.movie).chopped(4) + "_" + label + ".png").toStdString());
            for (const QString& f : files) QFile::remove(dir.filePath(f));
        }
    }
}

}  // namespace
