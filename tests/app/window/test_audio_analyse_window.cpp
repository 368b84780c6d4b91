// The loudness dialog as the main window opens it from its Analyse menu, on the X
// server with lavapipe: refused without a movie and without routed audio, a new dialog
// at each use with the movie's tracks and in/out points, its analysis of the movie, the
// rate its progress row shows, in the movie's video frames, and its stop, close and
// Quit, and the imports and track deletions that stop it, answering at once while a
// long reading step is under way.
#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "app/view_info_error.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/panel_audio_mapping.h"
#include "tools/player_audio_analyse_task.h"
#include "tools/report_save.h"
#include "tools/view_progress_task.h"
#include "tools/view_track_audio_map.h"
#include "ui/base_process_task.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"
#include "widget_app.h"

TEST(AudioAnalyseFromMainWindow, RefusalsReplacementAndAnalysis) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open());
    std::unique_ptr<MainWindow>& window = shown.window;

    window->act_menu_audio_analyse();
    EXPECT_EQ(window->audioAnalyseDialog(), nullptr);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Audio Analyse");

    window->loadFile({QString(HAP_FIXTURE_DIR) + "/window_ramp.mov"}, -1, false);
    ASSERT_NE(window->movie(), nullptr);
    window->act_menu_audio_analyse();
    DialogAudioAnalyse* first = window->audioAnalyseDialog();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->peakRows().size(), 2);
    EXPECT_FALSE(first->rangeBox()->isEnabledLook());  // no in or out point yet

    QMetaObject::invokeMethod(first, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_NE(first->task(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->reportView()->text().contains("True Peaks :"); }, 20000));
    EXPECT_EQ(first->task()->totalSamples(), 96000u);  // 50 frames at 25 fps
    first->close_dialog_ok();

    window->ViewInOutPointDelegate_SetIn(10);
    window->act_menu_audio_analyse();
    DialogAudioAnalyse* second = window->audioAnalyseDialog();
    EXPECT_NE(second, first);  // replaced at each use
    EXPECT_TRUE(second->rangeBox()->isEnabledLook());
    second->close_dialog_ok();

    for (AudioSrcTrack* track : window->audioTracks()->tracks()) track->clearChannelMapping();
    window->act_menu_audio_analyse();
    EXPECT_EQ(window->audioAnalyseDialog(), second);
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Audio Analyse");

    shown.close();
    vktest::expect_no_validation_errors();
}

namespace {

// Frames per second times seconds, both as the row shows them and the task sent them.
double frames_shown(const DialogAudioAnalyse& dialog, const ProgressTaskInfo& last) {
    const QString shown = dialog.progressRow()->fpsValue()->text();
    EXPECT_EQ(shown, last.fpsText);
    EXPECT_TRUE(shown.endsWith(" f/s")) << shown.toStdString();
    return shown.chopped(4).toDouble() * last.elapsedSeconds;
}

}  // namespace

// A 24 s movie is read in ten-second steps: paused between two, the row's rate times
// the time spent is the movie's frames read so far (250 per step at 25 fps); at the
// end it is the whole movie's 600 frames.
TEST(AudioAnalyseFromMainWindow, ProcessFpsCountsTheMoviesFrames) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open(QString(HAP_FIXTURE_DIR) + "/window_long.mov"));
    std::unique_ptr<MainWindow>& window = shown.window;
    ASSERT_NE(window->movie(), nullptr);
    ASSERT_EQ(window->movie()->frameCount(), 600u);

    window->act_menu_audio_analyse();
    DialogAudioAnalyse* dialog = window->audioAnalyseDialog();
    ASSERT_NE(dialog, nullptr);
    QMetaObject::invokeMethod(dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    PlayerAudioAnalyseTask* task = dialog->task();
    ASSERT_NE(task, nullptr);
    ProgressTaskInfo last;
    QObject::connect(task, &BaseProcessTask::processTask_update_progress, task,
                     [&last](const ProgressTaskInfo& info, const QString&) { last = info; });
    QMetaObject::invokeMethod(dialog, "progressTask_clic_pause", Q_ARG(QString, QString()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return task->runState() == ProcessTaskState_Pause && !last.fpsText.isEmpty(); }, 20000));
    const double read = frames_shown(*dialog, last);
    const double steps = std::round(read / 250.0);
    EXPECT_GE(steps, 1.0) << read;
    EXPECT_LE(steps, 2.0) << read;
    EXPECT_NEAR(read, 250.0 * steps, 1.0);

    QMetaObject::invokeMethod(dialog, "progressTask_clic_play", Q_ARG(QString, QString()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return task->runState() == ProcessTaskState_Finished && last.percent == 100 && !last.fpsText.isEmpty(); },
        20000));
    QCoreApplication::processEvents();
    EXPECT_NEAR(frames_shown(*dialog, last), 600.0, 1.0);
    dialog->close_dialog_ok();

    shown.close();
    vktest::expect_no_validation_errors();
}

namespace {

// Far below the seconds the rest of a step takes, far above a button's own cost.
constexpr qint64 kAnswerBoundMs = 500;
constexpr int kIntoTheStepMs = 500;

// Milliseconds from `act` until the event loop runs again once `until` holds: a
// zero-timer posted then fires only when what the loop was busy with is done.
qint64 answer_ms(const std::function<void()>& act, const std::function<bool()>& until = [] { return true; }) {
    QElapsedTimer clock;
    clock.start();
    act();
    bool fired = false;
    if (QTest::qWaitFor(until, vktest::kWaitMs)) QTimer::singleShot(0, [&fired] { fired = true; });
    return QTest::qWaitFor([&fired] { return fired; }, vktest::kWaitMs) ? clock.elapsed() : 2 * vktest::kWaitMs;
}

// Presses the row's play; `ends` receives the end states (4 and above) its task sends.
QPointer<PlayerAudioAnalyseTask> press_play(DialogAudioAnalyse* dialog, QList<uint32_t>& ends) {
    QTest::mouseClick(dialog->progressRow()->playPauseButton(), Qt::LeftButton);
    PlayerAudioAnalyseTask* task = dialog->task();
    if (task)
        QObject::connect(task, &BaseProcessTask::processTask_update_state, task,
                         [&ends](const ProcessingStateObj& s, const QString&) {
                             if (s.state >= ProcessTaskState_Stop) ends.append(s.state);
                         });
    return task;
}

ViewBtnText* bottom_button(const DialogAudioAnalyse* dialog, const QString& text) {
    for (ViewBtnText* button : dialog->rightButtons())
        if (button->text() == text) return button;
    return nullptr;
}

}  // namespace

// Six channels of 24-bit 44.1 kHz sound make each ten-second reading step long (read,
// converted and resampled whole). Stop and Close pressed half a second into the first
// step answer at once, not when the step is over, and the run still ends once,
// stopped, the window and its saved report agreeing; the window opened again at once,
// a new run, and Quit during it answer too; each run left behind ends and goes.
TEST(AudioAnalyseFromMainWindow, StopCloseAndQuitAnswerWhileAStepIsRead) {
    start_window_test();
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open(QString(HAP_FIXTURE_DIR) + "/window_six_s24.mov"));
    MainWindow& window = *shown.window;
    QAction* entry = menu_bar_entry(window, [](const QAction* a) { return a->text() == "Audio Analyse..."; });
    ASSERT_NE(entry, nullptr);

    entry->trigger();
    DialogAudioAnalyse* stopped = window.audioAnalyseDialog();
    ASSERT_NE(stopped, nullptr);
    ASSERT_EQ(stopped->peakRows().size(), 6);
    QList<uint32_t> stoppedEnds;
    ASSERT_FALSE(press_play(stopped, stoppedEnds).isNull());
    QTest::qWait(kIntoTheStepMs);
    EXPECT_LT(answer_ms([&] { QTest::mouseClick(stopped->progressRow()->stopButton(), Qt::LeftButton); }),
              kAnswerBoundMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stoppedEnds.isEmpty(); }, vktest::kWaitMs));
    QTest::qWait(50);  // nothing may follow the end
    EXPECT_EQ(stoppedEnds, QList<uint32_t>{ProcessTaskState_Stop});
    EXPECT_FALSE(stopped->progressRow()->stopButton()->isEnabledLook());
    const QString report = stopped->reportView()->text();
    EXPECT_TRUE(report.startsWith("Audio analyse\n\nFilepath : ") && !report.contains("Results"))
        << report.toStdString();
    QTemporaryDir folder;
    const SaveFileChooser previous = setSaveFileChooser(
        [&](QWidget*, const QString&, const QString&, const QString&) { return folder.filePath("report.txt"); });
    QTest::mouseClick(bottom_button(stopped, "Save results"), Qt::LeftButton);
    setSaveFileChooser(previous);
    QFile saved(folder.filePath("report.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), report);

    entry->trigger();
    QPointer<DialogAudioAnalyse> closed = window.audioAnalyseDialog();
    QList<uint32_t> closedEnds;
    QPointer<PlayerAudioAnalyseTask> leftBehind = press_play(closed, closedEnds);
    ASSERT_FALSE(leftBehind.isNull());
    QTest::qWait(kIntoTheStepMs);
    EXPECT_LT(answer_ms([&] { QTest::mouseClick(bottom_button(closed, "Close"), Qt::LeftButton); }), kAnswerBoundMs);
    EXPECT_FALSE(closed->isVisible());
    EXPECT_LT(answer_ms([&] { entry->trigger(); }, [&] { return closed.isNull(); }), kAnswerBoundMs);
    QList<uint32_t> quitEnds;
    QPointer<PlayerAudioAnalyseTask> running = press_play(window.audioAnalyseDialog(), quitEnds);
    ASSERT_TRUE(QTest::qWaitFor([&] { return leftBehind.isNull(); }, vktest::kWaitMs)) << "the closed run never went";
    EXPECT_EQ(closedEnds, QList<uint32_t>{ProcessTaskState_Stop});
    ASSERT_EQ(running->runState(), uint32_t(ProcessTaskState_Running));

    // Quit ends the loop at once; deleting the windows after it, as main does, ends the
    // run still in its first step (no thread left, nothing used after it went).
    QAction* quit = menu_bar_entry(window,
                               [](const QAction* a) { return a->shortcut() == QKeySequence(QKeySequence::Quit); });
    ASSERT_NE(quit, nullptr);
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    bound.start(vktest::kWaitMs);
    QTimer::singleShot(0, quit, &QAction::trigger);
    QElapsedTimer quitClock;
    quitClock.start();
    ASSERT_EQ(QCoreApplication::exec(), 0) << "Quit did not end the event loop";
    EXPECT_LT(quitClock.elapsed(), kAnswerBoundMs);
    shown.close();
    EXPECT_TRUE(running.isNull());
    EXPECT_LE(quitEnds.size(), 1);
    vktest::expect_no_validation_errors();
}

// The analysis reads the movie and its WAV files with readers of its own, so a movie
// dropped on the window, File > Open once the analysis window was closed, a WAV file
// dropped on the mapping panel and that file's row deleted, each half a second into
// the first step of a run, answer at once; every run still ends once, stopped.
TEST(AudioAnalyseFromMainWindow, ImportsAndTrackDeletionsAnswerWhileAStepIsRead) {
    start_window_test();
    const QString movie = HAP_FIXTURE_DIR "/window_six_s24.mov";
    ShownMainWindow shown;
    ASSERT_NO_FATAL_FAILURE(shown.open(movie));
    MainWindow& window = *shown.window;
    QAction* analyse = menu_bar_entry(window, [](const QAction* a) { return a->text() == "Audio Analyse..."; });
    QAction* open = menu_bar_entry(window, [](const QAction* a) { return a->text() == "Open..."; });
    ASSERT_TRUE(analyse && open);
    window.act_menu_audio_mapping();
    PanelAudioMapping* panel = window.audioMappingPanel();
    ASSERT_NE(panel, nullptr);

    QList<uint32_t> ends[4];
    QPointer<PlayerAudioAnalyseTask> tasks[4];
    int runs = 0;
    // A run in a new analysis window, half a second into its first step.
    const auto start = [&] {
        analyse->trigger();
        ASSERT_NE(window.audioAnalyseDialog(), nullptr);
        tasks[runs] = press_play(window.audioAnalyseDialog(), ends[runs]);
        QTest::qWait(kIntoTheStepMs);
        ASSERT_TRUE(tasks[runs] && tasks[runs]->runState() == ProcessTaskState_Running && ends[runs].isEmpty());
        ++runs;
    };

    ASSERT_NO_FATAL_FAILURE(start());
    const FileToPlay* before = window.movie();
    EXPECT_LT(answer_ms([&] { drop_files(shown.video, {movie}, QPointF(50, 50)); }), kAnswerBoundMs)
        << "a movie dropped on the window";
    EXPECT_NE(window.movie(), before);

    ASSERT_NO_FATAL_FAILURE(start());
    QTest::mouseClick(bottom_button(window.audioAnalyseDialog(), "Close"), Qt::LeftButton);
    const MainWindow::OpenFileProvider previousOpen =
        MainWindow::setOpenFileProvider([](QWidget*) { return QString(HAP_FIXTURE_DIR "/window_six_s24.mov"); });
    before = window.movie();
    EXPECT_LT(answer_ms([&] { open->trigger(); }), kAnswerBoundMs) << "File > Open after the window's close";
    MainWindow::setOpenFileProvider(previousOpen);
    EXPECT_NE(window.movie(), before);

    ASSERT_NO_FATAL_FAILURE(start());
    const QString wav = HAP_FIXTURE_DIR "/window_tone.wav";
    EXPECT_LT(answer_ms([&] { drop_files(panel, {wav}, QPointF(300, panel->height() - 10)); }), kAnswerBoundMs)
        << "a WAV file dropped on the mapping panel";
    ASSERT_EQ(panel->rows().size(), 2);

    // This run reads the WAV file too: its row goes while the run's reader has it open.
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(tasks[3]->sources().wavPaths.size(), 1u);
    EXPECT_LT(answer_ms([&] { QTest::mouseClick(panel->rows()[1]->deleteButton(), Qt::LeftButton); }),
              kAnswerBoundMs)
        << "the WAV row deleted";
    EXPECT_EQ(window.audioTracks()->countWavTracks(), 0);

    // The runs wind down side by side on a loaded machine: a generous bound.
    for (const QList<uint32_t>& end : ends)
        ASSERT_TRUE(QTest::qWaitFor([&] { return !end.isEmpty(); }, 3 * vktest::kWaitMs)) << "a run never ended";
    QTest::qWait(50);  // nothing may follow an end
    for (const QList<uint32_t>& end : ends) EXPECT_EQ(end, QList<uint32_t>{ProcessTaskState_Stop});
    // Those whose windows were replaced go by themselves.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tasks[0] && !tasks[1] && !tasks[2]; }, vktest::kWaitMs));
    shown.close();
    vktest::expect_no_validation_errors();
}
