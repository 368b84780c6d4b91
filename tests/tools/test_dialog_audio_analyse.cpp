// The loudness dialog driven through its slots, never a modal loop: the whole report
// of a stereo movie, the rows of Dual Stereo and of silence, no results after a stop,
// the range box and its preference, a task stopped by every way of closing, the
// progress row's rate in video frames, and saving (the chosen file, a failed write
// said out loud naming the file chosen, a write cut off by a full disk that keeps the
// old report, a movie name with double quotes through Qt's own save dialog, nothing
// to save).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMetaObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "base/settings/global_settings.h"
#include "audio/audio_src_track.h"
#include "file_bytes.h"
#include "loudness_task_support.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/loudness_refs.h"
#include "tests/support/test_movies.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/player_audio_analyse_task.h"
#include "tools/report_save.h"
#include "tools/view_progress_task.h"
#include "tools/view_result_rows.h"
#include "ui/dialog_ask.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

namespace {

// Waits until the task has ended and its last signals reached the dialog. (A record
// connected after the start could miss them: the body may end before it is made.)
bool run_to_end(DialogAudioAnalyse& dialog) {
    QMetaObject::invokeMethod(&dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    PlayerAudioAnalyseTask* task = dialog.task();
    if (!task) return false;
    const bool ended = QTest::qWaitFor(
        [task] {
            const uint32_t s = task->runState();
            return s == 4 || s == 5 || s >= 6;
        },
        20000);
    if (!ended) return false;
    task->stop();  // joins the body: everything it sent is queued
    QCoreApplication::sendPostedEvents();
    return true;
}

// A loudness window whose listeners are on the task before it starts, so even a body
// that ends at once cannot send anything they miss.
class ListenedDialog : public DialogAudioAnalyse {
public:
    using DialogAudioAnalyse::DialogAudioAnalyse;
    LoudnessTaskRun run;
    ProgressTaskInfo last;  // the last progress snapshot sent

protected:
    BaseProcessTask* createTask() override {
        BaseProcessTask* task = DialogAudioAnalyse::createTask();
        if (task) {
            listen_to(*task, run);
            QObject::connect(task, &BaseProcessTask::processTask_update_progress, task,
                             [this](const ProgressTaskInfo& info, const QString&) { last = info; });
        }
        return task;
    }
};

QString number(double value) { return QString::number(float(value), 'f', 2); }

class ChooserGuard {
public:
    explicit ChooserGuard(std::function<QString()> answer) {
        m_previous = setSaveFileChooser(
            [answer](QWidget*, const QString&, const QString&, const QString&) { return answer(); });
    }
    ~ChooserGuard() { setSaveFileChooser(m_previous); }

private:
    SaveFileChooser m_previous;
};

QString message_text(const DialogAudioAnalyse& dialog) {
    return dialog.messageDialog() && dialog.messageDialog()->messageLabel()
               ? dialog.messageDialog()->messageLabel()->text()
               : QString();
}

// The bottom button "Save results", as the user sees it.
ViewBtnText* save_results_button(const DialogAudioAnalyse& dialog) {
    for (ViewBtnText* button : dialog.rightButtons())
        if (button->text() == "Save results") return button;
    return nullptr;
}

// The user's OK on the message shown last, if any.
void close_message(DialogAudioAnalyse& dialog) {
    if (dialog.messageDialog()) dialog.messageDialog()->close();
}

// The save dialog as QFileDialog::getSaveFileName builds it (Qt's own widgets rather
// than the platform's, so it runs offscreen), shown without a modal loop and accepted
// with Return in its name field, as a user takes the proposed name.
QString accept_qt_save_dialog(QWidget* owner, const QString& caption, const QString& proposed, const QString& filter) {
    QFileDialog dialog(owner, caption, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(proposed);
    dialog.show();
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    if (!name) return QString();
    QTest::keyClick(name, Qt::Key_Return);
    return dialog.result() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString use_range_key() { return GlobalSettings::switchKey(GlobalSettings::Switch_AudioAnalyseUseInOutRange); }

}  // namespace

TEST(DialogAudioAnalyse, StereoReportIsWholeAndMatchesFfmpeg) {
    widget_app();
    LoudnessMovie input("ld_stereo.mov", 1);
    GlobalSettings settings;
    DialogAudioAnalyse dialog(nullptr, &settings);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    dialog.setRange(-1, -1);
    ASSERT_EQ(dialog.loudnessRows().size(), 1);
    ASSERT_EQ(dialog.peakRows().size(), 2);
    ASSERT_TRUE(run_to_end(dialog));

    double loudness[2], peaks[8];
    dialog.task()->integratedLoudness(loudness);
    dialog.task()->truePeaks(peaks);
    const testsupport::LoudnessRef ref = testsupport::read_loudness_ref("ld_stereo");
    EXPECT_NEAR(loudness[0], ref.integrated, 0.1);
    EXPECT_NEAR(peaks[0], ref.truePeaks.at(0), 0.2);
    EXPECT_NEAR(peaks[1], ref.truePeaks.at(1), 0.2);
    const QString expected = QStringLiteral(
                                 "Audio analyse\n\nFilepath : %1\nAudio Layout : Stereo\nResults\n"
                                 "Integrated Loudness :\n%2 LUFS\n\nTrue Peaks :\nL : %3 dbTP\nR : %4 dbTP")
                                 .arg(input.movie->filePath(), number(loudness[0]), number(peaks[0]), number(peaks[1]));
    EXPECT_EQ(dialog.reportView()->text(), expected);
    EXPECT_EQ(dialog.peakRows()[1]->valueLabel()->text(), QStringLiteral("%1 dBTP").arg(number(peaks[1])));
}

TEST(DialogAudioAnalyse, DualStereoAndSilenceRows) {
    widget_app();
    {
        LoudnessMovie input("ld_dual.mov", 3);
        DialogAudioAnalyse dialog(nullptr, nullptr);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        ASSERT_EQ(dialog.loudnessRows().size(), 2);
        ASSERT_EQ(dialog.peakRows().size(), 4);
        EXPECT_EQ(dialog.peakRows()[2]->titleLabel()->text(), "L2");
        ASSERT_TRUE(run_to_end(dialog));
        double loudness[2];
        dialog.task()->integratedLoudness(loudness);
        const QString text = dialog.reportView()->text();
        EXPECT_TRUE(text.contains("Audio Layout : Dual Stereo\n")) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Stereo 1 : %1 LUFS\nStereo 2 : %2 LUFS\n")
                                      .arg(number(loudness[0]), number(loudness[1]))))
            << text.toStdString();
        EXPECT_TRUE(text.contains("\nL1 : ") && text.endsWith(" dbTP")) << text.toStdString();
    }
    {
        LoudnessMovie input("ld_silence.mov", 1);
        DialogAudioAnalyse dialog(nullptr, nullptr);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        ASSERT_TRUE(run_to_end(dialog));
        EXPECT_TRUE(dialog.reportView()->text().endsWith(
            "Results\nIntegrated Loudness :\nSilent tracks\n\nTrue Peaks :\nL : Silent channel\nR : Silent channel"))
            << dialog.reportView()->text().toStdString();
    }
}

TEST(DialogAudioAnalyse, StopWritesNoResults) {
    widget_app();
    LoudnessMovie input("ld_ramp.mov", 1);
    ListenedDialog dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    QMetaObject::invokeMethod(&dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_NE(dialog.task(), nullptr);
    QMetaObject::invokeMethod(&dialog, "progressTask_clic_stop", Q_ARG(QString, QString()));
    ASSERT_TRUE(wait_end(dialog.run));
    EXPECT_EQ(dialog.run.endState(), 4u);
    EXPECT_FALSE(dialog.reportView()->text().contains("Results"));
    EXPECT_TRUE(dialog.reportView()->text().startsWith("Audio analyse\n\nFilepath : "));
}

TEST(DialogAudioAnalyse, EscapeStopsTheRunningTask) {
    widget_app();
    LoudnessMovie input("ld_ramp.mov", 1);
    DialogAudioAnalyse dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    QMetaObject::invokeMethod(&dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_NE(dialog.task(), nullptr);
    dialog.reject();
    // Asked at once; the body ends stopped when it next looks, the window not waiting.
    EXPECT_EQ(dialog.task()->publicState(), 4u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.task()->runState() == 4u; }, 20000));
}

// Closing by the button or the window's close stops the analysis too, as Escape does.
TEST(DialogAudioAnalyse, EveryWayOfClosingStopsTheTask) {
    widget_app();
    LoudnessMovie input("ld_stereo.mov", 1);
    const std::function<void(DialogAudioAnalyse&)> closers[] = {
        [](DialogAudioAnalyse& d) { d.close_dialog_ok(); },
        [](DialogAudioAnalyse& d) { d.close(); },
    };
    for (const auto& closeIt : closers) {
        DialogAudioAnalyse dialog(nullptr, nullptr);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        dialog.showDialog(false);
        QMetaObject::invokeMethod(&dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
        ASSERT_NE(dialog.task(), nullptr);
        QMetaObject::invokeMethod(&dialog, "progressTask_clic_pause", Q_ARG(QString, QString()));
        closeIt(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.task()->publicState(), 4u);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.task()->runState() == 4u; }, 20000));
    }
}

// "Process fps" counts the movie's video frames: the rate the row shows, times the
// seconds the run took, is the number of frames analysed, at the rate the movie plays
// at (its interpret mode), whole or between the in and out points.
TEST(DialogAudioAnalyse, ProcessFpsCountsTheMoviesVideoFrames) {
    widget_app();
    struct Case {
        uint32_t fpsMode;
        int32_t in, out;
        double frames;
    } cases[] = {
        {FpsInterpretMode_File, -1, -1, 100},  // 4 s at 25 fps
        {FpsInterpretMode_50, -1, -1, 100},    // the same frames played in 2 s
        {FpsInterpretMode_File, 50, 74, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.fpsMode << " range " << c.in << "-" << c.out);
        LoudnessMovie input("ld_stereo.mov", 1);
        input.movie->setFpsMode(c.fpsMode);
        ASSERT_EQ(input.movie->fpsMode(), c.fpsMode);
        ASSERT_EQ(input.movie->frameCount(), 100u);
        ListenedDialog dialog(nullptr, nullptr);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        dialog.setRange(c.in, c.out);
        QMetaObject::invokeMethod(&dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
        ASSERT_NE(dialog.task(), nullptr);
        const LoudnessTaskRun& run = dialog.run;
        const ProgressTaskInfo& last = dialog.last;
        // The final snapshot comes after the end state.
        ASSERT_TRUE(QTest::qWaitFor([&] { return run.ended() && last.percent == 100 && !last.fpsText.isEmpty(); },
                                    20000));
        EXPECT_EQ(run.endState(), 6u);
        const QString shown = dialog.progressRow()->fpsValue()->text();
        EXPECT_EQ(shown, last.fpsText);
        ASSERT_TRUE(shown.endsWith(" f/s")) << shown.toStdString();
        const double fps = shown.chopped(4).toDouble();
        ASSERT_GT(last.elapsedSeconds, 0.0);
        EXPECT_NEAR(fps * last.elapsedSeconds, c.frames, 0.5) << shown.toStdString() << " over "
                                                              << last.elapsedSeconds << " s";
    }
}

TEST(DialogAudioAnalyse, RangeBoxAndItsPreference) {
    widget_app();
    LoudnessMovie input("ld_range.mov", 1);
    {
        // No points: the box shows unchecked and disabled, and the stored switch stays on.
        GlobalSettings settings;
        settings.setBoolSetting(true, use_range_key());
        DialogAudioAnalyse dialog(nullptr, &settings);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        dialog.setRange(-1, -1);
        EXPECT_FALSE(dialog.rangeBox()->isChecked());
        EXPECT_FALSE(dialog.rangeBox()->isEnabledLook());
        dialog.close_dialog_ok();
        EXPECT_TRUE(settings.boolSetting(use_range_key(), false));
    }
    {
        GlobalSettings settings;
        DialogAudioAnalyse dialog(nullptr, &settings);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        dialog.setRange(50, 99);
        EXPECT_TRUE(dialog.rangeBox()->isChecked());
        ASSERT_TRUE(run_to_end(dialog));
        double loudness[2];
        dialog.task()->integratedLoudness(loudness);
        EXPECT_EQ(dialog.task()->totalSamples(), 96000u);
        EXPECT_NEAR(loudness[0], testsupport::read_loudness_ref("ld_range_in").integrated, 0.1);
        dialog.rangeBox()->setChecked(false);
        dialog.close_dialog_ok();
        EXPECT_FALSE(settings.boolSetting(use_range_key(), true));
    }
    {
        // The box unchecked: the whole movie.
        GlobalSettings settings;
        settings.setBoolSetting(false, use_range_key());
        DialogAudioAnalyse dialog(nullptr, &settings);
        dialog.setTracks(input.movie.get(), input.tracks.get());
        dialog.setRange(50, 99);
        ASSERT_TRUE(run_to_end(dialog));
        EXPECT_EQ(dialog.task()->totalSamples(), 192000u);
    }
}

TEST(DialogAudioAnalyse, SaveWritesTheReportOrSaysWhyNot) {
    widget_app();
    LoudnessMovie input("ld_stereo.mov", 1);
    DialogAudioAnalyse dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    int calls = 0;
    QTemporaryDir folder;
    QString answer = folder.filePath("report.txt");
    ChooserGuard guard([&] {
        ++calls;
        return answer;
    });

    dialog.act_btn_bottom_left_btn(1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(message_text(dialog), "No results to save");

    ASSERT_TRUE(run_to_end(dialog));
    dialog.act_btn_bottom_left_btn(1);
    EXPECT_EQ(calls, 1);
    QFile saved(answer);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), dialog.reportView()->text());

    answer = folder.filePath("missing/folder/report.txt");
    dialog.act_btn_bottom_left_btn(1);
    EXPECT_EQ(message_text(dialog), "Can't write file : " + answer);  // the file chosen, not the one proposed
}

// The user's way through a full disk: Save results over a good report, then to a new
// file, both cut off by the file-size limit, then to a good place.
TEST(DialogAudioAnalyse, SaveThatCannotFinishSaysSoAndKeepsTheOldReport) {
    widget_app();
    LoudnessMovie input("ld_stereo.mov", 1);
    DialogAudioAnalyse dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    dialog.show();
    ASSERT_TRUE(run_to_end(dialog));
    const QString report = dialog.reportView()->text();
    ASSERT_GT(report.size(), 64);

    QTemporaryDir folder;
    const QString good = folder.filePath("report.txt");
    const QByteArray old_bytes = "Audio analyse\nan older report, whole\n";
    ASSERT_TRUE(write_bytes(good, old_bytes));
    QString answer = good;
    ChooserGuard guard([&] { return answer; });
    ViewBtnText* save = save_results_button(dialog);
    ASSERT_NE(save, nullptr);

    {
        testsupport::FileSizeLimit full(16);
        ASSERT_TRUE(full.armed());
        QTest::mouseClick(save, Qt::LeftButton);
        EXPECT_EQ(message_text(dialog), "Can't write file : " + good);
        answer = folder.filePath("new.txt");
        close_message(dialog);
        QTest::mouseClick(save, Qt::LeftButton);
        EXPECT_EQ(message_text(dialog), "Can't write file : " + answer);
    }
    EXPECT_EQ(read_bytes(good), old_bytes);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"report.txt"});

    answer = good;
    close_message(dialog);
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_EQ(QString::fromUtf8(read_bytes(good)), report);
}

// A movie name with double quotes, saved through Qt's own save dialog accepted with
// Return: the report lands in one file named after the movie, not in "q".
TEST(DialogAudioAnalyse, MovieNameWithQuotesIsSavedUnderOneFileNamedAfterIt) {
    widget_app();
    QTemporaryDir folder;
    const QString moviePath = folder.filePath("clip \"q\" x.mov");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testsupport::fixture_path("ld_stereo.mov")), moviePath));
    LoudnessMovie input(LoudnessMovie::AtPath{moviePath}, 1);
    DialogAudioAnalyse dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    dialog.show();
    ASSERT_TRUE(run_to_end(dialog));

    const SaveFileChooser previous = setSaveFileChooser(&accept_qt_save_dialog);
    QTest::mouseClick(save_results_button(dialog), Qt::LeftButton);
    setSaveFileChooser(previous);

    const QStringList files = QDir(folder.path()).entryList(QDir::Files);
    EXPECT_FALSE(files.contains("q")) << files.join(" | ").toStdString();
    const QStringList reports = files.filter(QRegularExpression("^clip q x"));
    ASSERT_EQ(reports, QStringList{"clip q x_AudioAnalyse.txt"}) << files.join(" | ").toStdString();
    EXPECT_EQ(QString::fromUtf8(read_bytes(folder.filePath(reports.at(0)))), dialog.reportView()->text());
}

TEST(DialogAudioAnalyse, FailureLineStartsALineOfItsOwn) {
    widget_app();
    LoudnessMovie input("ld_stereo.mov", 1);
    for (AudioSrcTrack* track : input.tracks->tracks()) track->clearChannelMapping();
    DialogAudioAnalyse dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    ASSERT_TRUE(run_to_end(dialog));
    // The log batch comes after the end state.
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.reportView()->text().contains("ERREUR"); }, 20000));
    EXPECT_EQ(dialog.reportView()->text(),
              QStringLiteral("Audio analyse\n\nFilepath : %1\nAudio Layout : Stereo\nERREUR : Fail to initialize")
                  .arg(input.movie->filePath()));
}

TEST(DialogAudioAnalyse, MovieClosedMeanwhileIsNoInput) {
    widget_app();
    LoudnessMovie input("ld_stereo.mov", 1);
    DialogAudioAnalyse dialog(nullptr, nullptr);
    dialog.setTracks(input.movie.get(), input.tracks.get());
    input.movie.reset();  // the player opened another movie
    QMetaObject::invokeMethod(&dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    EXPECT_EQ(dialog.task(), nullptr);
    EXPECT_EQ(dialog.reportView()->text(), "No input file, or no audio tracks\n\n");
    dialog.act_btn_bottom_left_btn(1);
    EXPECT_EQ(message_text(dialog), "No results to save");
}
