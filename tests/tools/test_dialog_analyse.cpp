// The file test window driven as a user would, without any modal loop: the defect
// block, the report of a run, the option switch, pause and resume, a run that goes on
// with the window closed and is still on show when it opens again for the same movie,
// another movie starting over, and saving through a replaced file chooser.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "test_hap_file_test_movies.h"
#include "tools/dialog_analyse.h"
#include "tools/report_save.h"
#include "tools/test_hap_file_process_task.h"
#include "tools/view_progress_task.h"
#include "ui/dialog_ask.h"
#include "ui/view_btn_image.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_progress_bar_task.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

namespace {

const QString kNote = QStringLiteral("(Occurs sometimes when snappy compression is useless)");

bool ended(const DialogAnalyse& dialog) {
    const TestHapFileProcessTask* task = dialog.task();
    if (!task) return false;
    const uint32_t s = task->runState();
    return s == 4 || s == 5 || s >= 6;
}

void click_play(DialogAnalyse& dialog) {
    QTest::mouseClick(dialog.progressRow()->playPauseButton(), Qt::LeftButton);
}

// Waits for the running test's end and delivers the task's last signals.
void wait_end(DialogAnalyse& dialog) {
    ASSERT_NE(dialog.task(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended(dialog); }, 30000));
    dialog.task()->stop();  // joins the body
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void run_to_end(DialogAnalyse& dialog) {
    click_play(dialog);
    wait_end(dialog);
}

// A copy of `source` whose declared width (sample description and track header) is
// 2 pixels less.
QString narrowed(const QString& source, const QString& name) {
    return filetest::patched_copy(source, name, [](QByteArray& bytes) {
        const qsizetype stsd = bytes.indexOf("stsd");
        const qsizetype at = stsd + 44;  // the first entry's width
        const uint16_t width = uint16_t(uint8_t(bytes[at]) << 8 | uint8_t(bytes[at + 1])) - 2;
        bytes[at] = char(width >> 8);
        bytes[at + 1] = char(width & 0xFF);
        const qsizetype tkhd = bytes.indexOf("tkhd");
        bytes[tkhd + 80] = char(width >> 8);  // 16.16 fixed point
        bytes[tkhd + 81] = char(width & 0xFF);
    });
}

struct SaveCall {
    int calls = 0;
    QString caption, proposed, filter;
};

class ChooserGuard {
public:
    ChooserGuard(SaveCall& call, const QString& answer) {
        m_previous = setSaveFileChooser([&call, answer](QWidget*, const QString& caption, const QString& proposed,
                                                        const QString& filter) {
            ++call.calls;
            call.caption = caption;
            call.proposed = proposed;
            call.filter = filter;
            return answer;
        });
    }
    ~ChooserGuard() { setSaveFileChooser(m_previous); }

private:
    SaveFileChooser m_previous;
};

QString message_text(const DialogAnalyse& dialog) {
    return dialog.messageDialog() && dialog.messageDialog()->messageLabel()
               ? dialog.messageDialog()->messageLabel()->text()
               : QString();
}

QString warn_chunks_key() { return GlobalSettings::switchKey(GlobalSettings::Switch_FileTestWarnChunks); }

}  // namespace

TEST(DialogAnalyse, CleanMovieReportIsExactlyTheSummary) {
    widget_app();
    FileToPlay movie(filetest::clean_movie());
    GlobalSettings settings;
    DialogAnalyse dialog(nullptr);
    dialog.setFile(&movie, nullptr, &settings);
    EXPECT_FALSE(dialog.resultsView()->hasText());
    run_to_end(dialog);
    EXPECT_EQ(dialog.resultsView()->text(),
              "Video frames Test :\n\nGlobal results :\nFrames valids : 100\nFrames invalides : 0\n"
              "Frames with inconsistent chunk count : 0 " + kNote);
    EXPECT_EQ(dialog.logLineCount(), 4u);
    // Finished: both buttons off, grey bar.
    EXPECT_FALSE(dialog.progressRow()->stopButton()->isEnabledLook());
    EXPECT_FALSE(dialog.progressRow()->playPauseButton()->isEnabledLook());
}

TEST(DialogAnalyse, KnownDefectsComeBeforeTheTest) {
    widget_app();
    const QString vfr = QDir(filetest::movie_dir()).filePath("vfr.mov");
    ASSERT_EQ(filetest::run_ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=256x256:r=25:d=1", "-vf",
                                    "setpts='if(lt(N,10),N,N+1)/(25*TB)'", "-fps_mode", "passthrough", "-c:v", "hap",
                                    vfr}),
              QString());
    struct Case {
        QString path;
        QString before;
    } cases[] = {
        {filetest::hap1_movie("five.mov", 5, 1), QString()},
        {narrowed(filetest::hap1_movie("five.mov", 5, 1), "narrow.mov"), "WARNING : Not multiple 4 resolution\n"},
        {vfr, "WARNING : Variable fps\nFrames duplicate : 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        FileToPlay movie(c.path);
        DialogAnalyse dialog(nullptr);
        dialog.setFile(&movie, nullptr, nullptr);
        EXPECT_EQ(dialog.resultsView()->text(), c.before);
        run_to_end(dialog);
        const QString text = dialog.resultsView()->text();
        EXPECT_TRUE(text.startsWith(c.before + "Video frames Test :\n\nGlobal results :\n")) << text.toStdString();
    }

    DialogAnalyse none(nullptr);
    none.setFile(nullptr, nullptr, nullptr);
    EXPECT_EQ(none.resultsView()->text(), "No file Load.\n");
}

TEST(DialogAnalyse, WarnOptionComesFromAndGoesToThePreferences) {
    widget_app();
    FileToPlay movie(filetest::mixed_chunks_movie());
    GlobalSettings settings;
    settings.setBoolSetting(false, warn_chunks_key());
    DialogAnalyse dialog(nullptr);
    dialog.setFile(&movie, nullptr, &settings);
    EXPECT_FALSE(dialog.warnChunksBox()->isChecked());
    run_to_end(dialog);
    EXPECT_FALSE(dialog.resultsView()->text().contains("WARNING"));
    EXPECT_FALSE(dialog.resultsView()->text().contains("inconsistent"));
    EXPECT_EQ(dialog.task()->warnChunksState(), false);

    // The next showing, of the movie opened again (the same open movie would keep its
    // ended test on show), with the box checked reports the three frames and stores the
    // choice.
    FileToPlay reopened(filetest::mixed_chunks_movie());
    dialog.setFile(&reopened, nullptr, &settings);
    EXPECT_EQ(dialog.task(), nullptr);
    dialog.warnChunksBox()->setChecked(true);
    run_to_end(dialog);
    const QString w = "WARNING : Frame : %1 ; Inconsistent Chunk count : 2 found, 4 expected " + kNote;
    EXPECT_TRUE(dialog.resultsView()->text().contains(w.arg(5) + "\n" + w.arg(6) + "\n" + w.arg(7) + "\n"));
    EXPECT_TRUE(dialog.resultsView()->text().endsWith("Frames with inconsistent chunk count : 3 " + kNote));
    dialog.close_dialog_ok();
    EXPECT_TRUE(settings.boolSetting(warn_chunks_key(), false));
}

TEST(DialogAnalyse, LogBatchesStartOnLinesOfTheirOwnAndOnlyTheCurrentTaskWrites) {
    widget_app();
    FileToPlay movie(filetest::clean_movie());
    DialogAnalyse dialog(nullptr);
    dialog.setFile(&movie, nullptr, nullptr);
    run_to_end(dialog);
    const QString before = dialog.resultsView()->text();
    const QString uuid = dialog.task()->uuid();
    dialog.processTask_have_new_logs({"ERROR : Frame : 3 ; corrupt frame"}, uuid);
    dialog.processTask_have_new_logs({"ERROR : Frame : 9 ; corrupt frame", "Global results :"}, uuid);
    dialog.processTask_have_new_logs({"from an old task"}, "{another-task}");
    dialog.processTask_have_new_logs({}, uuid);
    EXPECT_EQ(dialog.resultsView()->text(),
              before + "\nERROR : Frame : 3 ; corrupt frame\nERROR : Frame : 9 ; corrupt frame\nGlobal results :");
    EXPECT_EQ(dialog.logLineCount(), 7u);
}

TEST(DialogAnalyse, PlayWhilePausedResumesTheSameTask) {
    widget_app();
    FileToPlay movie(filetest::clean_movie());
    DialogAnalyse dialog(nullptr);
    dialog.setFile(&movie, nullptr, nullptr);
    click_play(dialog);
    TestHapFileProcessTask* task = dialog.task();
    ASSERT_NE(task, nullptr);
    dialog.progressTask_clic_pause("NoUUID");
    QTest::qWait(50);
    dialog.progressTask_clic_play("NoUUID");
    EXPECT_EQ(dialog.task(), task);
    wait_end(dialog);
    EXPECT_EQ(dialog.resultsView()->text().count("Global results :"), 1);
    EXPECT_EQ(dialog.resultsView()->text().count("Video frames Test :"), 1);
    EXPECT_TRUE(dialog.resultsView()->text().contains("Frames valids : 100"));
}

// What the progress row shows: percentage text, elapsed, remaining, frames per second.
QStringList row_texts(const DialogAnalyse& dialog) {
    const ViewProgressTask* row = dialog.progressRow();
    return {row->progressBar()->textLabel()->text(), row->elapsedValue()->text(), row->remainingValue()->text(),
            row->fpsValue()->text()};
}

// Closing the window in any way leaves the test running (a long movie's test goes on
// while the user watches it); showing the window again for the same movie shows the
// run so far, and the run ends whole.
TEST(DialogAnalyse, ClosingLeavesTheTestRunningAndShowingAgainKeepsIt) {
    widget_app();
    const QString path = filetest::hap1_movie("long.mov", 150, 1, "1280x720");
    FileToPlay movie(path);
    const std::function<void(DialogAnalyse&)> closers[] = {
        [](DialogAnalyse& d) { d.close_dialog_ok(); },
        [](DialogAnalyse& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](DialogAnalyse& d) { d.close(); },
    };
    for (const auto& closeIt : closers) {
        DialogAnalyse dialog(nullptr);
        dialog.setFile(&movie, nullptr, nullptr);
        dialog.showDialog(false);
        click_play(dialog);
        TestHapFileProcessTask* task = dialog.task();
        ASSERT_NE(task, nullptr);
        dialog.progressTask_clic_pause("NoUUID");  // holds the run across the close
        // Paused, shown paused, and some progress on the row before the close.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return task->runState() == ProcessTaskState_Pause &&
                       dialog.progressRow()->playPauseButton()->imageIndex() == 0 &&
                       !dialog.progressRow()->elapsedValue()->text().isEmpty();
            },
            30000));
        closeIt(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(task->publicState(), uint32_t(ProcessTaskState_Pause));
        EXPECT_NE(task->runState(), uint32_t(ProcessTaskState_Stop));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();

        // Shown again as the main window does: setFile with the same movie, then show.
        const QString report = dialog.resultsView()->text();
        const QStringList progress = row_texts(dialog);
        dialog.setFile(&movie, nullptr, nullptr);
        dialog.showDialog(false);
        EXPECT_EQ(dialog.task(), task);
        EXPECT_EQ(dialog.resultsView()->text(), report);
        EXPECT_TRUE(report.startsWith("Video frames Test :\n\n")) << report.toStdString();
        EXPECT_EQ(row_texts(dialog), progress);
        EXPECT_TRUE(dialog.progressRow()->stopButton()->isEnabledLook());  // still a live run

        click_play(dialog);  // resumes
        EXPECT_EQ(dialog.task(), task);
        wait_end(dialog);
        const QString text = dialog.resultsView()->text();
        EXPECT_FALSE(text.contains("Partial results")) << text.toStdString();
        EXPECT_TRUE(text.contains("Global results :\nFrames valids : 150\nFrames invalides : 0")) << text.toStdString();
        EXPECT_EQ(text.count("Video frames Test :"), 1);

        // This end was seen on screen: the next showing starts a new test.
        closeIt(dialog);
        dialog.setFile(&movie, nullptr, nullptr);
        EXPECT_EQ(dialog.task(), nullptr);
        EXPECT_EQ(dialog.resultsView()->text(), "");
        EXPECT_TRUE(dialog.progressRow()->playPauseButton()->isEnabledLook());
    }
}

// A test that ends while its window is closed is on show at the next showing, once.
TEST(DialogAnalyse, AnEndNotYetSeenIsShownOnce) {
    widget_app();
    const QString path = filetest::hap1_movie("long.mov", 150, 1, "1280x720");
    FileToPlay movie(path);
    DialogAnalyse dialog(nullptr);
    dialog.setFile(&movie, nullptr, nullptr);
    dialog.showDialog(false);
    click_play(dialog);
    TestHapFileProcessTask* task = dialog.task();
    ASSERT_NE(task, nullptr);
    dialog.close_dialog_ok();
    ASSERT_FALSE(dialog.isVisible());
    // The task's state reads Finished a moment before its end state and last results
    // reach the window (queued, in that order): wait for the window's own record.
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.resultsView()->text().contains("Frames valids : 150"); }, 60000))
        << dialog.resultsView()->text().toStdString();
    EXPECT_EQ(task->publicState(), uint32_t(ProcessTaskState_Finished));
    const QString text = dialog.resultsView()->text();

    dialog.setFile(&movie, nullptr, nullptr);
    dialog.showDialog(false);
    EXPECT_EQ(dialog.task(), task);
    EXPECT_EQ(dialog.resultsView()->text(), text);

    dialog.close_dialog_ok();
    dialog.setFile(&movie, nullptr, nullptr);
    EXPECT_EQ(dialog.task(), nullptr);
    EXPECT_EQ(dialog.resultsView()->text(), "");
}

// Another movie, or the same file opened again (a new movie object, which may even
// land at the old one's address), starts over: the previous test is stopped and gone.
TEST(DialogAnalyse, AnotherOrReopenedMovieStartsOver) {
    widget_app();
    const QString longPath = filetest::hap1_movie("long.mov", 150, 1, "1280x720");
    const QString narrow = narrowed(filetest::hap1_movie("five.mov", 5, 1), "narrow.mov");
    FileToPlay first(longPath);
    DialogAnalyse dialog(nullptr);
    dialog.setFile(&first, nullptr, nullptr);
    click_play(dialog);
    ASSERT_NE(dialog.task(), nullptr);
    click_play(dialog);  // the same button pauses

    FileToPlay second(narrow);
    dialog.setFile(&second, nullptr, nullptr);
    EXPECT_EQ(dialog.task(), nullptr);
    EXPECT_EQ(dialog.resultsView()->text(), "WARNING : Not multiple 4 resolution\n");
    EXPECT_EQ(dialog.logLineCount(), 0u);
    EXPECT_FALSE(dialog.progressRow()->stopButton()->isEnabledLook());
    EXPECT_TRUE(dialog.progressRow()->playPauseButton()->isEnabledLook());
    // Nothing of the dropped test arrives later.
    QTest::qWait(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.resultsView()->text(), "WARNING : Not multiple 4 resolution\n");

    auto reopened = std::make_unique<FileToPlay>(narrow);
    for (int i = 0; i < 2; ++i) {
        dialog.setFile(reopened.get(), nullptr, nullptr);
        run_to_end(dialog);
        EXPECT_TRUE(dialog.resultsView()->text().contains("Frames valids : 5"));
        // Closed, then opened again from the same file.
        reopened.reset();
        reopened = std::make_unique<FileToPlay>(narrow);
        dialog.setFile(reopened.get(), nullptr, nullptr);
        EXPECT_EQ(dialog.task(), nullptr);
        EXPECT_EQ(dialog.resultsView()->text(), "WARNING : Not multiple 4 resolution\n");
    }
}

TEST(DialogAnalyse, SaveResults) {
    widget_app();
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    auto movie = std::make_unique<FileToPlay>(filetest::clean_movie());
    DialogAnalyse dialog(nullptr);
    dialog.setFile(movie.get(), nullptr, nullptr);

    SaveCall call;
    {
        ChooserGuard chooser(call, out.filePath("report.txt"));
        dialog.act_btn_bottom_left_btn(1);  // nothing to save yet
        EXPECT_EQ(call.calls, 0);
        EXPECT_EQ(message_text(dialog), "No results to save");

        run_to_end(dialog);
        dialog.act_btn_bottom_left_btn(7);  // not the Save tag
        EXPECT_EQ(call.calls, 0);
        dialog.act_btn_bottom_left_btn(1);
        ASSERT_EQ(call.calls, 1);
        EXPECT_EQ(call.caption, "Save File test results");
        EXPECT_EQ(call.proposed, QDir(filetest::movie_dir()).filePath("t1_TestReport.txt"));
        EXPECT_EQ(call.filter, "Txt files (*.txt)");
        QFile saved(out.filePath("report.txt"));
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(saved.readAll()), dialog.resultsView()->text());
    }
    {
        ChooserGuard chooser(call, out.filePath("missing/folder/report.txt"));
        dialog.act_btn_bottom_left_btn(1);
        EXPECT_EQ(message_text(dialog), "Fail to save the results file");
    }
    {
        // The movie closed meanwhile: nothing to name the report after.
        ChooserGuard chooser(call, out.filePath("late.txt"));
        movie.reset();
        const int before = call.calls;
        dialog.act_btn_bottom_left_btn(1);
        EXPECT_EQ(call.calls, before);
        EXPECT_EQ(message_text(dialog), "No results to save");
    }
}
