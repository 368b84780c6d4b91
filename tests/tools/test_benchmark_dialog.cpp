// The benchmark window driven as a user would, without any modal loop: the rows of
// each mode, a finished run's report checked against the task's figures, a stopped
// run without results, the mode kept on Close, the bitrate units, and saving.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"
#include "tools/dialog_benchmark.h"
#include "tools/player_benchmark_task.h"
#include "tools/report_save.h"
#include "tools/view_progress_task.h"
#include "tools/view_result_rows.h"
#include "ui/dialog_ask.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_sub_menu.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

namespace {

QString fixture(const char* name) { return QString::fromStdString(testsupport::fixture_path(name)); }

QString two(double v) { return QString::number(float(v), 'f', 2); }

bool ended(const DialogBenchmark& dialog) {
    const PlayerBenchmarkTask* task = dialog.task();
    if (!task) return false;
    const uint32_t s = task->runState();
    return s == 4 || s == 5 || s >= 6;
}

// Runs the benchmark to its end and delivers the task's last signals.
void run_to_end(DialogBenchmark& dialog) {
    dialog.progressTask_clic_play(QString());
    ASSERT_NE(dialog.task(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended(dialog); }, 30000));
    dialog.task()->stop();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

std::vector<int> shown_rows(const DialogBenchmark& dialog) {
    std::vector<int> rows;
    for (int i = 0; i < dialog.rows().size(); ++i)
        if (!dialog.rows()[i]->isHidden()) rows.push_back(i);
    return rows;
}

QString message_text(const DialogBenchmark& dialog) {
    return dialog.messageDialog() && dialog.messageDialog()->messageLabel()
               ? dialog.messageDialog()->messageLabel()->text()
               : QString();
}

TEST(BenchmarkDialog, RowsOfEachMode) {
    widget_app();
    GlobalSettings settings;
    settings.benchmarkDialog()->ui_mode = 1;
    DialogBenchmark dialog(nullptr, &settings);
    dialog.show();
    EXPECT_EQ(dialog.mode(), 1u);  // the stored mode
    struct Case {
        uint32_t mode;
        std::vector<int> rows;
        bool report;
    };
    for (const Case& c : {Case{0, {0, 6, 7}, false}, Case{1, {0, 2, 4, 6, 7}, false},
                          Case{2, {0, 1, 2, 3, 4, 5, 6, 7}, true}}) {
        // The popup of the box, then a choice in it.
        dialog.ViewCombobox2_Clic(DialogBenchmark::kModeComboTag, dialog.modeBox()->dataSource());
        ASSERT_NE(dialog.subMenu(), nullptr);
        dialog.viewItemsSubMenuClose(QString(), DialogBenchmark::kModeComboTag, c.mode, 0);
        EXPECT_EQ(dialog.subMenu(), nullptr);
        EXPECT_EQ(shown_rows(dialog), c.rows) << "mode " << c.mode;
        EXPECT_EQ(dialog.reportView()->isVisible(), c.report) << "mode " << c.mode;
    }
    // Rows are laid one under the other from below the progress row.
    const auto& rows = dialog.rows();
    EXPECT_EQ(rows[1]->y(), rows[0]->y() + 30);
    EXPECT_EQ(rows[0]->y(), dialog.progressRow()->geometry().bottom() + 1 + 5);

    dialog.close_dialog_ok();
    EXPECT_EQ(settings.benchmarkDialog()->ui_mode, 2u);

    settings.benchmarkDialog()->ui_mode = 7;
    DialogBenchmark unknown(nullptr, &settings);
    EXPECT_EQ(unknown.mode(), 0u);
}

TEST(BenchmarkDialog, ReportOfAFinishedRun) {
    widget_app();
    GlobalSettings settings;
    FileToPlay movie(fixture("bench_hapq_100.mov"));
    DialogBenchmark dialog(nullptr, &settings);
    dialog.setFile(&movie);
    run_to_end(dialog);
    ASSERT_EQ(dialog.task()->runState(), uint32_t(ProcessTaskState_Finished));
    const BenchmarkRecord& r = *dialog.task()->record();
    EXPECT_EQ(r.framesMeasured, testsupport::read_packet_list("bench_hapq_100").size());

    const QString text = dialog.reportView()->text();
    const QString header = QStringLiteral("Benchmark source file\n\nFilepath : %1\nResolution : 640 x 360 px\n"
                                          "Codec : HAPQ (4 chunks)\nResults\n")
                               .arg(movie.filePath());
    EXPECT_TRUE(text.startsWith(header)) << text.toStdString();

    const QString num = QStringLiteral("(\\d+\\.\\d\\d)");
    const QString ms = QStringLiteral(" \\(ms\\) : Average : %1 / Min : %1 / Max : %1\n").arg(num);
    const QString fps = QStringLiteral(" \\(fps\\) : Average : %1 fps \\(x %1\\) / Min : %1 fps \\(x %1\\) / Max : %1 fps "
                                       "\\(x %1\\)\n")
                            .arg(num);
    const QString rate = QStringLiteral("\\d+(\\.\\d\\d)? [kMG]?bits/s");
    const QRegularExpression skeleton(QStringLiteral("Results\nDisk read%1Disk read%2\nDecode%1Decode%2\nGlobal%1Global%2\n"
                                                     "Disk bitrate : Average : %3 / Min : %3 / Max : %3$")
                                          .arg(ms, fps, rate));
    EXPECT_TRUE(skeleton.match(text).hasMatch()) << text.toStdString();

    // The lines carry the task's figures; Min fps is the slowest frame's rate.
    const QString global = QStringLiteral("Global (fps) : Average : %1 fps (x %2) / Min : %3 fps (x %4) / Max : %5 fps (x %6)")
                               .arg(two(r.global.fpsAtAverage), two(r.global.ratioAtAverage),
                                    two(r.global.fpsAtMaximum), two(r.global.ratioAtMaximum),
                                    two(r.global.fpsAtMinimum), two(r.global.ratioAtMinimum));
    EXPECT_TRUE(text.contains(global)) << global.toStdString();
    EXPECT_LE(r.global.fpsAtMaximum, r.global.fpsAtAverage);
    EXPECT_LE(r.global.fpsAtAverage, r.global.fpsAtMinimum);
    EXPECT_TRUE(text.contains(QStringLiteral("Global (ms) : Average : %1 /").arg(two(r.global.average * 1000))));

    // The rows show the same: average, minimum, maximum rate.
    const ViewBenchmarkLineResults* row = dialog.rows()[DialogBenchmark::Row_GlobalFps];
    EXPECT_EQ(row->valueLabel(1)->text(),
              QStringLiteral("%1 Fps (x %2)").arg(two(r.global.fpsAtMaximum), two(r.global.fpsAtMaximum / 25.0)));
    EXPECT_EQ(row->valueLabel(2)->text(),
              QStringLiteral("%1 Fps (x %2)").arg(two(r.global.fpsAtMinimum), two(r.global.fpsAtMinimum / 25.0)));
}

TEST(BenchmarkDialog, FailedRunLogsOnItsOwnLineWithoutResults) {
    widget_app();
    const auto packets = testsupport::read_packet_list("snap_hap");
    testsupport::Bytes bytes = testsupport::read_whole_file(testsupport::fixture_path("snap_hap.mov"));
    std::fill_n(bytes.begin() + std::ptrdiff_t(packets[0].offset), packets[0].size, uint8_t(0xFF));
    const std::string damaged = testsupport::scratch_path("bench_dialog_damaged.mov");
    testsupport::write_whole_file(damaged, bytes);

    GlobalSettings settings;
    FileToPlay movie(QString::fromStdString(damaged));
    DialogBenchmark dialog(nullptr, &settings);
    dialog.setFile(&movie);
    run_to_end(dialog);
    EXPECT_EQ(dialog.task()->runState(), uint32_t(ProcessTaskState_Failed));
    const QString text = dialog.reportView()->text();
    EXPECT_TRUE(text.endsWith(QStringLiteral("Codec : HAP (1 chunk)\n"
                                             "ERREUR : Fail to process : Decoding error : corrupt frame (header)")))
        << text.toStdString();
    EXPECT_FALSE(text.contains("Results"));
}

TEST(BenchmarkDialog, StoppedRunHasNoResultsAndStillSaves) {
    widget_app();
    GlobalSettings settings;
    // A movie long enough that the run is paused before it can end by itself, then
    // stopped: the stop never races the last frame.
    FileToPlay movie(fixture("window_long.mov"));
    DialogBenchmark dialog(nullptr, &settings);
    dialog.setFile(&movie);
    dialog.progressTask_clic_play(QString());
    ASSERT_NE(dialog.task(), nullptr);
    dialog.task()->requestPause();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.task()->runState() == ProcessTaskState_Pause || ended(dialog); },
                                30000));
    ASSERT_FALSE(ended(dialog)) << "the run ended before it could be paused";
    dialog.progressTask_clic_stop(QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended(dialog); }, 30000));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.task()->runState(), uint32_t(ProcessTaskState_Stop));
    EXPECT_FALSE(dialog.reportView()->text().contains("Results"));

    QTemporaryDir dir;
    QString caption, proposed;
    const QString target = dir.filePath("saved.txt");
    const SaveFileChooser previous = setSaveFileChooser(
        [&](QWidget*, const QString& c, const QString& p, const QString&) {
            caption = c;
            proposed = p;
            return target;
        });
    dialog.act_btn_bottom_left_btn(1);
    EXPECT_EQ(caption, "Save Benchmark results");
    EXPECT_EQ(QFileInfo(proposed).fileName(), "window_long_Benchmark.txt");
    EXPECT_EQ(QFileInfo(proposed).absolutePath(), QFileInfo(movie.filePath()).absolutePath());
    EXPECT_TRUE(QFileInfo::exists(target));

    // A file that cannot be written is reported by the name the user chose.
    setSaveFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return dir.filePath("missing/saved.txt");
    });
    dialog.act_btn_bottom_left_btn(1);
    EXPECT_EQ(message_text(dialog), "Can't write file : " + dir.filePath("missing/saved.txt"));
    setSaveFileChooser(previous);

    DialogBenchmark empty(nullptr, &settings);
    empty.act_btn_bottom_left_btn(1);
    EXPECT_EQ(message_text(empty), "No results to save");
    empty.progressTask_clic_play(QString());
    EXPECT_EQ(empty.reportView()->text(), "No input file\n\n");
}

TEST(BenchmarkDialog, EscapeAndDestructionStopTheTask) {
    widget_app();
    GlobalSettings settings;
    FileToPlay movie(fixture("bench_hapq_100.mov"));
    {
        DialogBenchmark dialog(nullptr, &settings);
        dialog.setFile(&movie);
        dialog.progressTask_clic_play(QString());
        dialog.reject();
        // The body is over once reject returns: the movie may go.
        EXPECT_TRUE(ended(dialog));
    }
    {
        auto dialog = std::make_unique<DialogBenchmark>(nullptr, &settings);
        dialog->setFile(&movie);
        dialog->progressTask_clic_play(QString());
        dialog.reset();  // no crash, no signal to a dead window
        QCoreApplication::processEvents();
    }
}

TEST(BenchmarkDialog, BitrateUnits) {
    BenchmarkRecord r;
    r.bitrate[1] = r.bitrate[2] = r.bitrate[3] = 312500;  // bytes per second
    EXPECT_EQ(DialogBenchmark::resultLines(r, true).last(),
              "Disk bitrate : Average : 2.50 Mbits/s / Min : 2.50 Mbits/s / Max : 2.50 Mbits/s");
    EXPECT_EQ(DialogBenchmark::resultLines(r, false).last(),
              "Disk bitrate : Average : 312.50 kB/s / Min : 312.50 kB/s / Max : 312.50 kB/s");
}

}  // namespace
