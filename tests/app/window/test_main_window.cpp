// The player's main window end to end, on the real X server (Xvfb) with lavapipe and
// the validation layer: a movie whose frame N is a flat grey of level 5N is opened,
// stepped, jumped, played and looped with the keys and the bar's buttons, and the
// frame on screen is read back from the renderer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include <soundio/soundio.h>

#include "app/main_window.h"
#include "tests/app/window/shown_main_window.h"
#include "app/playback_clock.h"
#include "base/settings/global_settings.h"
#include "app/view_bottom_ctrl.h"
#include "app/view_info_error.h"
#include "app/view_progress_bar.h"
#include "ui/dialog_warning_err.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "audio/all_audio_src_tracks.h"
#include "media/mov_file.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "tests/render/vulkan_harness.h"
#include "widget_app.h"

// Rectangles in failure messages as "x,y wxh" (the gtest printer would give bytes).
static void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace {

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

// Grey of frame N in the ramp movie, and how far DXT1 may move it.
int ramp_grey(uint32_t frame) { return static_cast<int>(5 * frame); }
constexpr int kGreyTolerance = 5;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_window_test();
        // Every test starts from the defaults, whatever an earlier one saved.
        QFile::remove(GlobalSettings::prefsFilePath());
        // A start-up audio error is logged, never shown in a modal box the test would wait on.
    }

    void TearDown() override {
        close();
        vktest::expect_no_validation_errors();
    }

    // The window as main makes it, shown, and waited for until its renderer is ready
    // (which opens `initial`).
    void open(const QString& initial = QString()) {
        ASSERT_NO_FATAL_FAILURE(shown.open(initial));
    }

    void close() {
        if (!window) return;
        window->setPlaySpeed(0);
        shown.close();
    }

    // The grey level at the centre of the picture on screen.
    int centreGrey() {
        video->renderer->refresh();
        const QImage image = vktest::grab_frame(*video);
        if (image.isNull()) return -1;
        const QRgb pixel = image.pixel(image.width() / 2, image.height() / 2);
        return qGreen(pixel);
    }

    void expectFrameShown(uint32_t frame) {
        EXPECT_EQ(window->currentFrame(), frame);
        EXPECT_NEAR(centreGrey(), ramp_grey(frame), kGreyTolerance) << "frame " << frame;
    }

    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(window.get(), k, mods); }

    ShownMainWindow shown;
    VulkanWindow*& video = shown.video;
    std::unique_ptr<MainWindow>& window = shown.window;
};

TEST_F(MainWindowTest, OpensTheCommandLineMovieAndShowsItsFirstFrame) {
    const QString path = fixture("window_ramp.mov");
    open(path);
    ASSERT_NE(window->movie(), nullptr);
    EXPECT_EQ(window->windowTitle(), "Norvu HAP Player : 2.1.1 : " + path);
    EXPECT_EQ(window->movie()->frameCount(), 50u);
    expectFrameShown(0);
}

TEST_F(MainWindowTest, NoMovieOrAnAudioArgumentOpensNothing) {
    open(fixture("window_tone.wav"));
    EXPECT_EQ(window->movie(), nullptr);
    EXPECT_EQ(window->windowTitle(), "Norvu HAP Player 2.1.1");
    key(Qt::Key_L);  // nothing to play: no crash, nothing changes
    key(Qt::Key_Right);
    EXPECT_EQ(window->playSpeed(), 0);
}

TEST_F(MainWindowTest, StepsAndJumpsWithTheKeys) {
    open(fixture("window_ramp.mov"));
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    expectFrameShown(3);
    key(Qt::Key_Right, Qt::ShiftModifier);
    expectFrameShown(13);
    key(Qt::Key_Right, Qt::ShiftModifier | Qt::AltModifier);  // one second at 25 fps
    expectFrameShown(38);
    key(Qt::Key_End);
    expectFrameShown(49);
    key(Qt::Key_Right);  // play once: the last frame stays
    expectFrameShown(49);
    key(Qt::Key_Home);
    expectFrameShown(0);
    key(Qt::Key_Left);
    expectFrameShown(0);
}

TEST_F(MainWindowTest, InAndOutPointsBoundPlaybackAndLoopWraps) {
    open(fixture("window_ramp.mov"));
    window->viewControlsSetNewTimeFrame(10);
    key(Qt::Key_I);
    window->viewControlsSetNewTimeFrame(20);
    key(Qt::Key_O);
    EXPECT_EQ(window->frameQueue()->inPoint(), 10);
    EXPECT_EQ(window->frameQueue()->outPoint(), 20);
    key(Qt::Key_Home);
    key(Qt::Key_I, Qt::ShiftModifier);
    expectFrameShown(10);
    key(Qt::Key_O, Qt::ShiftModifier);
    expectFrameShown(20);

    // Play once from the in point stops on the out point.
    key(Qt::Key_I, Qt::ShiftModifier);
    key(Qt::Key_L);
    EXPECT_EQ(window->playSpeed(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playSpeed() == 0; }, vktest::kWaitMs)) << "play once never stopped";
    expectFrameShown(20);

    // Loop: stepping past the out point wraps to the in point.
    window->viewControlsClicPlayMode(1);
    key(Qt::Key_Right);
    expectFrameShown(10);

    // Alt unsets the points.
    key(Qt::Key_I, Qt::AltModifier);
    key(Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(window->frameQueue()->inPoint(), -1);
    EXPECT_EQ(window->frameQueue()->outPoint(), -1);
}

TEST_F(MainWindowTest, PlaysPausesAndChangesSpeedWithJKLAndTheBar) {
    open(fixture("window_ramp.mov"));
    key(Qt::Key_L);
    EXPECT_EQ(window->playSpeed(), 1);
    key(Qt::Key_L);
    EXPECT_EQ(window->playSpeed(), 2);
    key(Qt::Key_L);
    EXPECT_EQ(window->playSpeed(), 4);
    key(Qt::Key_L);
    EXPECT_EQ(window->playSpeed(), 16);
    key(Qt::Key_J);  // from forward, J reverses at -1
    EXPECT_EQ(window->playSpeed(), -1);
    key(Qt::Key_K);
    EXPECT_EQ(window->playSpeed(), 0);
    // K held: L steps one frame.
    const uint32_t before = window->currentFrame();
    QTest::keyPress(window.get(), Qt::Key_K);
    QTest::keyClick(window.get(), Qt::Key_L);
    QTest::keyRelease(window.get(), Qt::Key_K);
    EXPECT_EQ(window->currentFrame(), before < 49 ? before + 1 : before);
    EXPECT_EQ(window->playSpeed(), 0);

    // A short Space tap toggles play and pause; auto-repeated presses change nothing.
    key(Qt::Key_Space);
    EXPECT_EQ(window->playSpeed(), 1);
    QTest::keyPress(window.get(), Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(" "), true);
    QCoreApplication::sendEvent(window.get(), &repeat);
    QTest::keyRelease(window.get(), Qt::Key_Space);
    EXPECT_EQ(window->playSpeed(), 0);

    // The bar's play button toggles play and pause.
    window->viewControlsClicPlay();
    EXPECT_EQ(window->playSpeed(), 1);
    window->viewControlsClicPlay();
    EXPECT_EQ(window->playSpeed(), 0);
}

TEST_F(MainWindowTest, PlaysToTheLastFrameOnTheClock) {
    open(fixture("window_ramp.mov"));
    QElapsedTimer wall;
    wall.start();
    key(Qt::Key_L);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playSpeed() == 0; }, vktest::kWaitMs)) << "playback never ended";
    // 49 ticks at 25 fps: about 1.96 s. The clock never rushes; it lags only when the
    // machine holds the event loop back, and then it counts the late ticks, so the
    // upper bound holds whenever every tick came within a period of its due time.
    const qint64 elapsed = wall.elapsed();
    EXPECT_GE(elapsed, 1960 - 400);
    if (window->playbackClock()->lateTicks() == 0) {
        EXPECT_LE(elapsed, 1960 + 400);
    }
    expectFrameShown(49);
}

// The window's thread held while the movie plays, as on a machine that cannot give it
// the processor in time: once it runs again the picture shows the frame its clock says
// is due, leaving out those it could not show, at every speed both ways, looping over
// the movie or an in/out range. A play once that a hold takes past the end of its range
// stops on that end, shown. A read-ahead that cannot read while the window is held (the
// disk busy at that moment) holds the picture a moment rather than stopping the play
// for want of bandwidth. A picture that forgives the lateness stays the hold behind.
TEST_F(MainWindowTest, AfterTheWindowWasHeldThePictureShowsTheFrameDue) {
    open(fixture("window_ramp.mov"));
    ASSERT_EQ(window->movie()->frameCount(), 50u);
    FrameCompressedBuffer* queue = window->frameQueue();
    auto* loop = window->bottomBar()->button(ViewBottomCtrl::Button_PlayMode);
    const auto setLoop = [&](bool on) {
        if (window->bottomBar()->isPlayModeLoop() != on) QTest::mouseClick(loop, Qt::LeftButton);
        ASSERT_EQ(queue->loopMode(), on ? 1u : 0u);
    };
    const auto setRange = [&](int32_t in, int32_t out) {
        key(Qt::Key_I, Qt::AltModifier);
        key(Qt::Key_O, Qt::AltModifier);
        if (in >= 0) window->ViewInOutPointDelegate_SetIn(in);
        if (out >= 0) window->ViewInOutPointDelegate_SetOut(out);
    };
    // The frame of the clock's tick k of a play from `start` at `speed`: k frames on,
    // around the range in a loop, stopping at its ends once.
    const auto frameOfTick = [&](uint32_t start, int32_t speed, int64_t k) {
        const int64_t lo = std::max(queue->inPoint(), 0);
        const int64_t hi = queue->outPoint() >= 0 ? queue->outPoint() : 49;
        const int64_t from = std::clamp<int64_t>(start, lo, hi) + k * speed;
        if (queue->loopMode() == 0) return uint32_t(std::clamp<int64_t>(from, lo, hi));
        const int64_t length = hi - lo + 1;
        return uint32_t(lo + (((from - lo) % length) + length) % length);
    };
    // Plays from `start` with `keys`, holds the window `heldMs` after 300 ms, and waits
    // (up to a second) for the frame on screen to be one due by then: the clock's
    // tick, give or take the readings' spread.
    const auto playAndHold = [&](uint32_t start, std::initializer_list<Qt::Key> keys, int heldMs,
                                 const std::function<void()>& whileHeld = {}) {
        window->refreshPauseFrame(start);
        for (Qt::Key k : keys) key(k);
        QElapsedTimer wall;  // from just after the clock started
        wall.start();
        const int32_t speed = window->playSpeed();
        QTest::qWait(300);
        std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
        if (whileHeld) whileHeld();
        uint32_t shown = 0;
        int64_t due = 0;
        const bool onTime = QTest::qWaitFor(
            [&] {
                shown = window->currentFrame();
                due = wall.elapsed() / 40;
                for (int64_t k = due - 2; k <= due + 1; ++k)
                    if (shown == frameOfTick(start, speed, k)) return true;
                return false;
            },
            1000);
        EXPECT_TRUE(onTime) << "frame " << shown << " on screen at tick " << due << ", where frame "
                            << frameOfTick(start, speed, due) << " is due";
        return speed;
    };

    struct Loop {
        const char* name;
        int32_t in, out;
        uint32_t start;
        std::initializer_list<Qt::Key> keys;
    };
    ASSERT_NO_FATAL_FAILURE(setLoop(true));
    for (const Loop& c : {Loop{"1x over 10-39", 10, 39, 12, {Qt::Key_L}},
                          Loop{"-2x over the movie", -1, -1, 30, {Qt::Key_J, Qt::Key_J}},
                          Loop{"4x over 5-44", 5, 44, 6, {Qt::Key_L, Qt::Key_L, Qt::Key_L}},
                          Loop{"-16x over the movie", -1, -1, 20, {Qt::Key_J, Qt::Key_J, Qt::Key_J, Qt::Key_J}}}) {
        SCOPED_TRACE(c.name);
        setRange(c.in, c.out);
        playAndHold(c.start, c.keys, 700);
        EXPECT_NE(window->playSpeed(), 0) << "the loop stopped";
        key(Qt::Key_K);
    }

    ASSERT_NO_FATAL_FAILURE(setLoop(false));
    {
        SCOPED_TRACE("once, forward, held past the end");
        setRange(-1, -1);
        playAndHold(30, {Qt::Key_L}, 1500);
        EXPECT_EQ(window->playSpeed(), 0);
        expectFrameShown(49);
    }
    {
        SCOPED_TRACE("once, -2x, held past the in point");
        setRange(10, -1);
        playAndHold(35, {Qt::Key_J, Qt::Key_J}, 1000);
        EXPECT_EQ(window->playSpeed(), 0);
        expectFrameShown(10);
    }

    {
        SCOPED_TRACE("the disk busy through a hold longer than the queue reads ahead");
        setRange(-1, -1);
        ASSERT_NO_FATAL_FAILURE(setLoop(true));
        MovFile* movie = nullptr;
        window->movie()->movFile(&movie);
        std::atomic<bool> held{false};
        std::thread disk;
        playAndHold(0, {Qt::Key_L}, 1500, [&] {
            // From the hold's end the next 300 ms, while the window's thread goes on.
            disk = std::thread([&] {
                std::lock_guard<std::mutex> busy(*movie->readMutex);
                held.store(true);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            });
            while (!held.load()) std::this_thread::yield();
        });
        disk.join();
        EXPECT_EQ(window->playSpeed(), 1) << "the play stopped";
        EXPECT_FALSE(window->isErrorShown()) << window->pendingErrorTitle().toStdString();
        key(Qt::Key_K);
    }
}

// The window's thread held longer than the read-ahead queue lasts, on storage that reads
// the movie's frames at a set pace: storage 1.4 times as fast as the play needs goes on
// playing after the hold, as a play it starts from an empty queue does; storage at 44 %
// of it is said ("Not enough disk bandwidth") within a few seconds of the hold, as
// without one. Throughout, each tick shows the frame due at it or holds the picture it
// has: never a frame older than the one due (such as one read before the hold).
TEST_F(MainWindowTest, AfterAHoldLongerThanTheQueueSlowStorageGoesOnOrIsSaid) {
    open(fixture("window_ramp.mov"));
    FileToPlay* movie = window->movie();
    ASSERT_EQ(movie->frameCount(), 50u);
    MovFile* file = nullptr;
    movie->movFile(&file);
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < file->frameCount; ++i) bytes += file->frameTable[i].size;
    const double frameBytes = double(bytes) / file->frameCount;
    FrameCompressedBuffer* queue = window->frameQueue();
    ASSERT_EQ(queue->slotCount(), 25u);
    // Every frame in flight that a many-core machine would have, whatever this one's.
    queue->setFramesInFlight(8);
    if (!window->bottomBar()->isPlayModeLoop())
        QTest::mouseClick(window->bottomBar()->button(ViewBottomCtrl::Button_PlayMode), Qt::LeftButton);
    ASSERT_EQ(queue->loopMode(), 1u);

    // What each tick of the clock showed: its tick and the frame it handed to the
    // renderer (on screen at the present that follows), with the ticks ahead of the
    // clock it hands its frames (a renderer slow on a busy machine).
    struct Shown {
        uint64_t tick;
        uint32_t frame;
        qint64 atMs;
        uint32_t ahead;
    };
    std::vector<Shown> shown;
    QElapsedTimer wall;
    wall.start();
    QObject::connect(window->playbackClock(), &PlaybackClock::tick, window.get(), [&] {
        // A tick that stopped the play (the storage found too slow) leaves the frame
        // where the clock stopped, as a pause does: not a frame of the play.
        if (window->playSpeed() == 0) return;
        shown.push_back(
            {window->playbackClock()->ticks(), window->handedFrame(), wall.elapsed(), window->ticksAhead()});
    });
    const auto playFromFrame0 = [&](double paceRatio) {
        movie->setReadPaceForTests(uint64_t(paceRatio * movie->fps() * frameBytes));
        window->refreshPauseFrame(0);
        shown.clear();
        key(Qt::Key_L);
        ASSERT_EQ(window->playSpeed(), 1);
    };
    // Each tick shows the frame due (tick k of a loop from frame 0, handed `ahead` ticks
    // early: frame (k + ahead) mod 50) or keeps the picture; `own` counts those of ticks after `fromMs` that showed their own.
    const auto expectNothingOlder = [&](qint64 fromMs, int* own, int* ticks) {
        uint32_t before = 0;
        for (const Shown& s : shown) {
            const uint32_t due = uint32_t((s.tick + s.ahead) % 50);
            if (s.frame != due) {
                EXPECT_EQ(s.frame, before) << "frame " << s.frame << " shown at tick " << s.tick << " (" << s.atMs
                                           << " ms), where frame " << due << " is due";
            }
            if (s.atMs >= fromMs) {
                *ticks += 1;
                if (s.frame == due) *own += 1;
            }
            before = s.frame;
        }
    };
    const auto playingError = [&] {
        return window->isErrorShown() && window->messageView()->titleLabel()->text() == "Playback error";
    };

    {
        SCOPED_TRACE("storage 1.4 times as fast as the play, from an empty queue");
        ASSERT_NO_FATAL_FAILURE(playFromFrame0(1.4));
        QTest::qWait(2000);
        EXPECT_EQ(window->playSpeed(), 1) << "the play stopped";
        EXPECT_FALSE(playingError());
        int own = 0;
        int ticks = 0;
        expectNothingOlder(1000, &own, &ticks);
        EXPECT_GE(own * 2, ticks) << own << " of " << ticks << " ticks of the last second showed their frame";
        key(Qt::Key_K);
    }
    {
        SCOPED_TRACE("storage 1.4 times as fast as the play, held 1.5 s");
        ASSERT_NO_FATAL_FAILURE(playFromFrame0(1.4));
        QTest::qWait(300);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const qint64 held = wall.elapsed();
        QTest::qWait(2000);
        EXPECT_EQ(window->playSpeed(), 1) << "the play stopped";
        EXPECT_FALSE(playingError());
        int own = 0;
        int ticks = 0;
        expectNothingOlder(held + 1000, &own, &ticks);
        EXPECT_GE(own * 2, ticks) << own << " of " << ticks << " ticks of the last second showed their frame";
        key(Qt::Key_K);
    }
    {
        SCOPED_TRACE("storage at 44 % of the play, held 1.5 s");
        ASSERT_NO_FATAL_FAILURE(playFromFrame0(0.44));
        QTest::qWait(300);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const qint64 held = wall.elapsed();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->playSpeed() == 0; }, 5000))
            << "still playing " << (wall.elapsed() - held) << " ms after the hold";
        EXPECT_TRUE(playingError());
        int own = 0;
        int ticks = 0;
        expectNothingOlder(held, &own, &ticks);
        key(Qt::Key_K);
    }
    movie->setReadPaceForTests(0);
}

TEST_F(MainWindowTest, BadFilesGiveTheirErrorAndKeepTheOpenMovie) {
    open(fixture("window_ramp.mov"));
    QTemporaryDir dir;
    const QString text = dir.filePath("notes.mov");
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a movie\n");
    }
    const QString truncated = dir.filePath("cut.mov");
    {
        QFile source(fixture("window_ramp.mov"));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        QFile cut(truncated);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(source.read(2000));
    }
    FileToPlay* kept = window->movie();
    for (const QString& path : {text, truncated, fixture("window_prores.mov"), dir.filePath("x.txt")}) {
        window->loadFile({path}, -1, false);
        EXPECT_TRUE(window->isErrorShown()) << path.toStdString();
        EXPECT_EQ(window->movie(), kept) << path.toStdString();
        window->viewVideoClicError();
    }
    // The window still plays the movie it had.
    key(Qt::Key_Right);
    expectFrameShown(1);
}

TEST_F(MainWindowTest, DropsAMovieWithItsAudioFile) {
    open();
    // Drops land on the video surface, whose events the main window filters.
    drop_files(video, {fixture("window_ramp.mov"), fixture("window_tone.wav")}, QPointF(50, 50));
    ASSERT_NE(window->movie(), nullptr);
    // The movie's own stereo track and the dropped file.
    EXPECT_EQ(window->audioTracks()->countWavTracks(), 1);
    EXPECT_EQ(window->audioTracks()->movieTracks().size(), 1);
    expectFrameShown(0);

    // Audio files alone, without a movie open before, are refused.
    close();
    open();
    window->loadFile({fixture("window_tone.wav")}, -1, false);
    EXPECT_EQ(window->movie(), nullptr);
    EXPECT_EQ(window->audioTracks()->countWavTracks(), 0);
}

TEST_F(MainWindowTest, QuitWritesThePreferencesFile) {
    const QString prefs = QDir(widget_test_home()).filePath(".config/norvu_hap_player_prefs.xml");
    QFile::remove(prefs);
    open(fixture("window_ramp.mov"));
    window->viewControlsClicPlayMode(1);
    window->bottomBar()->setPlayModeLoop(true);
    video->renderer->setBackgroundMode(3);  // Custom Color, as the menus number it
    window->act_quit_menu();
    ASSERT_TRUE(QFile::exists(prefs));
    QFile file(prefs);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray xml = file.readAll();
    EXPECT_TRUE(xml.contains("<params k=\"play_loop\" v=\"YES\"/>")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("<params k=\"view_bg_mode\" v=\"3\"/>")) << xml.toStdString();

    // The next start shows the same background.
    close();
    open();
    EXPECT_EQ(video->renderer->backgroundModeRaw(), 3u);
}

TEST_F(MainWindowTest, HidingTheControlsGivesTheVideoTheirHeight) {
    open(fixture("window_ramp.mov"));
    const int withControls = video->height();
    window->act_menu_show_hide_controls();
    EXPECT_FALSE(window->areControlsShown());
    EXPECT_EQ(video->height(), withControls + 78);  // 83 - 5 pixels more for the video
    window->act_menu_show_hide_controls();
    EXPECT_EQ(video->height(), withControls);
}

}  // namespace

namespace {

TEST_F(MainWindowTest, ResizingWhilePlayingPauses) {
    open(fixture("window_ramp.mov"));
    key(Qt::Key_L);
    ASSERT_EQ(window->playSpeed(), 1);
    window->resize(900, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->playSpeed(), 0);
}

// Grabs each frame the video window asks for of its own accord (a resize, an expose)
// as it is drawn, so that what it drew is read back even where other windows on the
// shared display cover it.
struct OwnFrames : QObject {
    explicit OwnFrames(VulkanWindow* window) : window(window) {
        connect(window, &QVulkanWindow::frameGrabbed, this, [this](const QImage& image) { pictures.append(image); });
        window->installEventFilter(this);
    }
    ~OwnFrames() override { window->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::UpdateRequest || window->renderer->isFramePending()) return false;
        window->grab();
        return true;
    }
    // The last picture once one of `size` is drawn (null if none comes), then none.
    QImage drawn(QSize size) {
        const bool done = vktest::wait_until([&] {
            return !pictures.isEmpty() && pictures.last().size() == size && !window->renderer->isFramePending();
        });
        const QImage last = done ? pictures.last() : QImage();
        pictures.clear();
        return last;
    }
    VulkanWindow* window;
    QList<QImage> pictures;
};

// After every resize of the paused window, the first one included, the window draws
// its frame for the new size as it draws it when asked again.
TEST_F(MainWindowTest, EveryResizeShowsThePausedFrameDrawnForTheNewSize) {
    open(fixture("window_marks.mov"));
    ASSERT_EQ(window->size(), QSize(1280, 720));
    for (const QSize size : {QSize(900, 560), QSize(1600, 900), QSize(700, 700)}) {
        SCOPED_TRACE(::testing::Message() << "window " << size.width() << "x" << size.height());
        OwnFrames frames(video);
        video->requestUpdate();  // requests coalesce: once ours is drawn, none left draws the resize by chance
        ASSERT_FALSE(frames.drawn(video->swapChainImageSize()).isNull());
        window->resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->size() == size; }, vktest::kWaitMs));
        const QSize pixels = video->size() * video->devicePixelRatio();
        const QImage drawn = frames.drawn(pixels);
        ASSERT_FALSE(drawn.isNull()) << "no frame drawn for the new size";
        video->requestUpdate();
        EXPECT_TRUE(drawn == frames.drawn(pixels)) << "the frame drawn after the resize differs from one drawn anew";
    }
}

TEST_F(MainWindowTest, FullScreenHidesTheControlsOnlyWhenAskedAndGivesThemBack) {
    open(fixture("window_ramp.mov"));
    window->settings()->hide_controls_in_full_screen = true;
    window->act_menu_toggle_fullscreen();
    EXPECT_TRUE(window->isFullScreen());
    EXPECT_FALSE(window->areControlsShown());
    window->act_menu_toggle_fullscreen();
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(window->areControlsShown());

    // Controls hidden by hand stay hidden across a round trip.
    window->act_menu_show_hide_controls();
    window->act_menu_toggle_fullscreen();
    window->act_menu_toggle_fullscreen();
    EXPECT_FALSE(window->areControlsShown());

    // With the switch off, full screen leaves the controls as they are.
    window->act_menu_show_hide_controls();
    window->settings()->hide_controls_in_full_screen = false;
    window->act_menu_toggle_fullscreen();
    EXPECT_TRUE(window->areControlsShown());
    window->act_menu_toggle_fullscreen();
}

// Where the window system leaves a full-screen window at its own size (an X server
// without a window manager, as here), the views are laid out for that size: the
// picture and both bars inside the window, where a window of that size has them
// without its menu bar, and the picture drawn for the part of the window it has.
TEST_F(MainWindowTest, FullScreenLaysTheViewsOutForTheWindowsOwnSize) {
    open(fixture("window_ramp.mov"));
    window->settings()->hide_controls_in_full_screen = false;
    QApplication::setActiveWindow(window.get());
    key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(window->isFullScreen());
    QCoreApplication::processEvents();
    const int W = window->width();
    const int H = window->height();
    ASSERT_NE(window->size(), window->screen()->geometry().size())
        << "the window system gave the window its screen's size: nothing left to check";

    EXPECT_FALSE(window->menuBar()->isVisible());
    const QRect inside = window->rect();
    const QRect picture(window->mapFromGlobal(video->mapToGlobal(QPoint(0, 0))), video->size());
    EXPECT_EQ(picture, QRect(0, 0, W, H - 83));
    auto* progress = window->findChild<ViewProgressBar*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->geometry(), QRect(5, H - 83, W - 10, 18));
    EXPECT_EQ(window->bottomBar()->geometry(), QRect(5, H - 65, W - 10, 55));
    for (const QRect& view : {picture, progress->geometry(), window->bottomBar()->geometry()})
        EXPECT_TRUE(inside.contains(view)) << ::testing::PrintToString(view);
    EXPECT_TRUE(window->bottomBar()->isVisible());

    video->renderer->refresh();
    EXPECT_EQ(vktest::grab_frame(*video).size(), QSize(W, H - 83));

    window->act_menu_toggle_fullscreen();
    EXPECT_TRUE(window->menuBar()->isVisible());
}

// The smallest rectangle holding the pixels of `size` where `marked` holds.
QRect bounds(const QSize& size, const std::function<bool(int, int)>& marked) {
    QRect rect;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (marked(x, y)) rect |= QRect(x, y, 1, 1);
    return rect;
}

// The lines of the message box's message and where their ink falls in the box, its
// label painted as the main window paints the box; the ink must lie clear of the
// edges of the box and of the label, and the box inside the video area.
std::pair<QStringList, QRect> shown_message(ViewInfoError& box, QSize area) {
    ViewLabel* label = box.messageLabel();
    QImage image(label->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRect ink =
        bounds(image.size(), [&](int x, int y) { return qAlpha(image.pixel(x, y)) > 0; }).translated(label->pos());
    const QRect clear = box.rect().adjusted(1, 1, -1, -1) & label->geometry().adjusted(0, 1, 0, -1);
    EXPECT_TRUE(clear.contains(ink)) << ::testing::PrintToString(ink) << " out of " << ::testing::PrintToString(clear);
    EXPECT_TRUE(QRect(QPoint(), area).contains(box.rect()));
    return {label->shownText().split('\n'), ink};
}

TEST_F(MainWindowTest, AnErrorBeforeTheRendererIsReadyWaitsAndTheLastOneWins) {
    video = new VulkanWindow;
    video->setVulkanInstance(vktest::vulkan_instance());
    window = std::make_unique<MainWindow>(video, vktest::vulkan_instance(), QString());
    window->displayErrorInfo("First", "one");
    window->displayErrorInfo("Second", "two");
    EXPECT_FALSE(window->isErrorShown());
    EXPECT_EQ(window->pendingErrorTitle(), "Second");
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isRendererReady(); }, vktest::kWaitMs));
    EXPECT_TRUE(window->isErrorShown());
    EXPECT_EQ(window->pendingErrorTitle(), "");
    EXPECT_EQ(window->messageView()->titleLabel()->text(), "Second");
}

TEST_F(MainWindowTest, AMessageOverTheVideoIsShownWholeInLinesInsideTheVideoArea) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(open(dir.filePath(QString("a_rather_long_folder_name_for_the_programme/").repeated(4) +
                                              "reel_one_final_mix_approved_version_two_for_broadcast.mov")));
    ASSERT_TRUE(window->isErrorShown());
    ViewInfoError* box = window->messageView();
    const ViewLabel* label = box->messageLabel();
    const int spacing = label->fontMetrics().lineSpacing();

    // A long message, whole in lines (each character in order, painted from the first
    // line to the last) in a grown box, drawn centred in the video; a click closes it.
    const auto [lines, ink] = shown_message(*box, video->size());
    const QRegularExpression space("\\s");
    EXPECT_EQ(lines.join("").remove(space), label->text().remove(space));
    EXPECT_GE(ink.height(), (lines.size() - 1) * spacing + spacing / 2);
    EXPECT_GT(box->height(), 120);
    const QRect onScreen(QPoint((video->width() - box->width()) / 2, (video->height() - box->height()) / 2),
                         box->size());
    const auto picture = [&] { return video->renderer->refresh(), vktest::grab_frame(*video); };
    const QImage shown = picture();
    QTest::mouseClick(video, Qt::LeftButton, Qt::NoModifier, onScreen.topLeft() + QPoint(box->width() / 2, 3));
    EXPECT_FALSE(window->isErrorShown());
    const QImage hidden = picture();
    ASSERT_TRUE(!shown.isNull() && shown.size() == hidden.size());
    const QRect drawn = bounds(shown.size(), [&](int x, int y) { return shown.pixel(x, y) != hidden.pixel(x, y); });
    EXPECT_TRUE(onScreen.contains(drawn) && drawn.height() > 120)
        << ::testing::PrintToString(drawn) << " in " << ::testing::PrintToString(onScreen);

    // A short one keeps the box and the line it always had.
    window->displayErrorInfo("File import error", "Unsupported codec");
    EXPECT_EQ(box->size(), QSize(450, 120));
    EXPECT_EQ(label->geometry(), QRect(0, 40, 450, 65));
    EXPECT_EQ(shown_message(*box, video->size()).first, QStringList({"Unsupported codec"}));

    // Too long for the video area: as large as the area, from its beginning, in whole
    // lines; also in the smallest window, narrower than the usual box.
    QStringList folders;
    for (int i = 0; i < 1500; ++i) folders << QString("folder_%1").arg(i);
    window->displayErrorInfo("File import error", "Error loading file : " + folders.join('/'));
    for (const QSize size : {window->size(), window->minimumSize()}) {
        window->resize(size);
        QCoreApplication::processEvents();
        SCOPED_TRACE(::testing::Message() << size.width() << "x" << size.height());
        EXPECT_EQ(box->size(), video->size());
        const auto [lines, ink] = shown_message(*box, video->size());
        EXPECT_TRUE(lines.first().startsWith("Error loading file : folder_0/")) << lines.first().toStdString();
        EXPECT_LT(ink.top(), label->y() + spacing);
        EXPECT_EQ(label->height() % spacing, 0);
    }
}

}  // namespace

namespace {

TEST_F(MainWindowTest, WithoutSoundTheWindowPlaysAndEveryAudioActionDoesNothing) {
    const MainWindow::SoundIoFactory previous = MainWindow::setSoundIoFactory([]() -> SoundIo* { return nullptr; });
    open(fixture("window_ramp.mov"));
    MainWindow::setSoundIoFactory(previous);
    ASSERT_NE(window->movie(), nullptr);
    EXPECT_EQ(window->audioMonitor(), nullptr);

    key(Qt::Key_L);
    EXPECT_EQ(window->playSpeed(), 1);
    QTest::qWait(200);
    key(Qt::Key_K);
    window->settings()->play_audio_frame_by_frame = true;
    const uint32_t before = window->currentFrame();
    key(Qt::Key_Right);  // a step with its audio preview
    expectFrameShown(before + 1);
    window->viewVolumeGainChanged(-6.0f);
    window->viewVolumeMuted();
    window->PanelAudioMap_MappingChange();
    window->act_event_audio_out_changed();
    window->act_menu_audio_meters();
    window->act_menu_audio_mapping();
    window->loadFile({fixture("window_ramp.mov"), fixture("window_tone.wav")}, -1, false);
    EXPECT_EQ(window->audioTracks()->countWavTracks(), 1);
    expectFrameShown(0);
}

}  // namespace

namespace {

TEST_F(MainWindowTest, DontShowAgainOfTheAudioDeviceWarningHoldsAtTheNextStart) {
    struct Factory {
        MainWindow::SoundIoFactory previous = MainWindow::setSoundIoFactory(context_with_unusable_device);
        ~Factory() { MainWindow::setSoundIoFactory(previous); }
    } factory;
    enum class Closing { Button, Escape, MainWindow };
    struct Case {
        const char* name;
        bool tick;
        Closing closing;
    };
    for (const Case& c : {Case{"ticked, Close", true, Closing::Button}, Case{"ticked, main window closed", true, Closing::MainWindow},
                          Case{"not ticked, Escape", false, Closing::Escape}}) {
        SCOPED_TRACE(c.name);
        QFile::remove(GlobalSettings::prefsFilePath());
        open();
        DialogWarningErr* warning = window->warningDialog();
        ASSERT_NE(warning, nullptr);
        EXPECT_TRUE(warning->isVisible());
        EXPECT_EQ(warning->messageLabel()->text(), "Unsupported audio output device");
        if (c.tick) click(warning->dontShowAgain());
        if (c.closing == Closing::Button) click(warning->closeButton());
        if (c.closing == Closing::Escape) QTest::keyClick(warning, Qt::Key_Escape);
        if (c.closing != Closing::MainWindow) {
            EXPECT_FALSE(warning->isVisible());
        }
        close();  // writes the preferences

        vktest::MessageCapture log;
        open();
        if (c.tick) {
            EXPECT_EQ(window->warningDialog(), nullptr);
            EXPECT_TRUE(log.contains("Unsupported audio device (but no warning display)"));
        } else {
            ASSERT_NE(window->warningDialog(), nullptr);
            EXPECT_TRUE(window->warningDialog()->isVisible());
        }
        close();
    }
}

// The centre of the white mark of window_marks.mov nearest to `near` in a picture of
// the video window, each pixel weighted by its brightness so that the filtered edges
// count as drawn. Drawn here under 32 pixels wide and over 78 apart, a mark is the
// only one within 40 pixels of its edge.
QPointF mark_centre(const QImage& picture, QPointF near) {
    QPoint seed(-1000, -1000);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qGreen(picture.pixel(x, y)) > 128 && QLineF(near, QPoint(x, y)).length() < QLineF(near, seed).length())
                seed = QPoint(x, y);
    double sum = 0, sx = 0, sy = 0;
    for (int y = seed.y() - 40; y <= seed.y() + 40; ++y)
        for (int x = seed.x() - 40; x <= seed.x() + 40; ++x)
            if (const int w = picture.valid(x, y) ? qGreen(picture.pixel(x, y)) : 0; w > 8)
                sum += w, sx += w * (x + 0.5), sy += w * (y + 0.5);
    return QPointF(sx / sum, sy / sum);
}

// A wheel notch (sign 1 in, -1 out) with Alt held at `at`, as Qt brings it to the
// video window: the vertical wheel turned horizontal.
void alt_wheel_notch(VulkanWindow* video, QPointF at, int sign) {
    QTest::keyPress(video, Qt::Key_Alt, Qt::AltModifier);
    QWheelEvent wheel(at, video->mapToGlobal(at), QPoint(), QPoint(120 * sign, 0), Qt::NoButton, Qt::AltModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(video, &wheel);
    QTest::keyRelease(video, Qt::Key_Alt, Qt::AltModifier);
}

// A wheel notch with Alt zooms by a quarter around the pointer: the mark under it is
// still there in the picture drawn after.
TEST_F(MainWindowTest, AltWheelNotchKeepsThePointUnderThePointer) {
    open(fixture("window_marks.mov"));
    const BaseGpu2dCanvas& canvas = video->renderer->canvasState();
    const auto scale = [&] { return canvas.zoomMode == 1 ? BaseGpu2dCanvas::fitScale(&canvas) : canvas.scale; };
    const auto picture = [&] { return video->renderer->refresh(), vktest::grab_frame(*video); };
    const auto notch = [&](QPointF near, int sign, const char* what) {
        SCOPED_TRACE(what);
        const QPointF pointer = mark_centre(picture(), near);
        const double before = scale();
        alt_wheel_notch(video, pointer, sign);
        EXPECT_NEAR(scale(), before + 0.25 * sign, 1e-6);
        const QPointF mark = mark_centre(picture(), pointer);
        EXPECT_LE(QLineF(mark, pointer).length(), 1.5) << "pointer at " << pointer.x() << "," << pointer.y()
                                                        << ", its mark now at " << mark.x() << "," << mark.y();
    };

    notch(QPointF(400, 230), 1, "at Fit");
    // Zoomed in, then dragged right as far as it goes: the picture's left edge on the view's.
    key(Qt::Key_Z, Qt::ShiftModifier);
    key(Qt::Key_Plus, Qt::ControlModifier);
    QTest::mousePress(video, Qt::MiddleButton, {}, QPoint(100, 300));
    QTest::mouseMove(video, QPoint(1100, 250));
    QTest::mouseRelease(video, Qt::MiddleButton, {}, QPoint(1100, 250));
    notch(QPointF(1100, 180), -1, "zoomed in and panned, a notch out");
    // A narrower window letterboxes the picture.
    window->resize(900, 720);
    ASSERT_TRUE(QTest::qWaitFor([&] { return video->width() == 900; }, vktest::kWaitMs));
    key(Qt::Key_Z, Qt::ShiftModifier);
    notch(QPointF(600, 480), 1, "letterboxed at Fit");
}

// The picture as the renderer lays it out for the frames it draws: its rectangle in
// view pixels (free zoom).
QRectF drawn_picture(VulkanWinRenderer& renderer) {
    renderer.refresh();
    const BaseGpu2dCanvas& c = renderer.canvasState();
    const QSizeF size(c.imageWidth * c.scale, c.imageHeight * c.scale);
    return QRectF(QPointF((c.viewWidth - size.width()) / 2 + c.panX, (c.viewHeight - size.height()) / 2 - c.panY),
                  size);
}

// How far a pointer move of `d` may take a picture spanning [a, b] across a view
// [0, v]: with the pointer until an edge meets the view's (a picture smaller than the
// view stays inside it, a larger one covers it), and never further out than it is.
double pan_room(double a, double b, double v, double d) {
    const bool larger = b - a > v;
    const double low = larger ? v - b : -a;
    const double high = larger ? -a : v - b;
    return std::clamp(d, std::min(0.0, low), std::max(0.0, high));
}

// After Alt-wheel notches off the centre leave a band on one side of the picture, a
// middle-button or Space drag moves it with the pointer from where it is drawn: in
// from the band, never against the drag, and no further out than it was; back inside,
// the usual limits hold.
TEST_F(MainWindowTest, APanAfterAZoomOnThePointerMovesWithThePointerFromWhereThePictureIs) {
    open(fixture("window_marks.mov"));
    QSizeF view;
    // A drag from the view's centre through `moves` (pointer offsets from the press),
    // the picture checked after each move and after the release.
    const auto drag = [&](Qt::MouseButton button, const std::vector<QPoint>& moves, const char* what) {
        SCOPED_TRACE(what);
        const QPoint press(view.width() / 2, view.height() / 2);
        QRectF expected = drawn_picture(*video->renderer);
        const QPointF start = expected.topLeft();
        const auto expectDrawn = [&](QPoint moved) {
            const QPointF by = drawn_picture(*video->renderer).topLeft() - start;
            const QPointF wanted = expected.topLeft() - start;
            EXPECT_LE(QLineF(by, wanted).length(), 0.01) << "pointer moved by " << moved.x() << "," << moved.y()
                                                         << ", picture by " << by.x() << "," << by.y()
                                                         << " instead of " << wanted.x() << "," << wanted.y();
        };
        if (button == Qt::LeftButton) QTest::keyPress(video, Qt::Key_Space);
        QTest::mousePress(video, button, {}, press);
        QPoint last;
        for (const QPoint& move : moves) {
            expected.translate(pan_room(expected.left(), expected.right(), view.width(), move.x() - last.x()),
                               pan_room(expected.top(), expected.bottom(), view.height(), move.y() - last.y()));
            QTest::mouseMove(video, press + move);
            expectDrawn(last = move);
        }
        QTest::mouseRelease(video, button, {}, press + last);
        if (button == Qt::LeftButton) {
            QTest::qWait(int(kCanvasTapSeconds * 1000) + 50);  // held, not a tap that plays
            QTest::keyRelease(video, Qt::Key_Space);
        }
        expectDrawn(last);
    };
    const auto notches = [&](double x, double y) {
        view = video->size();
        for (int i = 0; i < 2; ++i) alt_wheel_notch(video, QPointF(view.width() * x, view.height() * y), 1);
        return drawn_picture(*video->renderer);
    };

    // Two notches at 10 %/20 % of the view leave a band on the left.
    const QRectF left = notches(0.1, 0.2);
    ASSERT_TRUE(left.left() > 40 && left.right() > view.width()) << left.left() << " " << left.right();
    drag(Qt::MiddleButton, {QPoint(60, 40)}, "further out to the right: the band stays");
    drag(Qt::LeftButton, {QPoint(-25, -20), QPoint(15, -40)}, "Space drag in, then back out");
    drag(Qt::MiddleButton, {QPoint(-120, 10), QPoint(200, 0)}, "in past the usual limit, then out to it");
    EXPECT_NEAR(drawn_picture(*video->renderer).left(), 0.0, 0.01);

    // Letterboxed, the band is at the top.
    window->resize(900, 720);
    ASSERT_TRUE(QTest::qWaitFor([&] { return video->width() == 900; }, vktest::kWaitMs));
    key(Qt::Key_Z, Qt::ShiftModifier);
    const QRectF top = notches(0.3, 0.1);
    ASSERT_TRUE(top.top() > 40 && top.bottom() > view.height()) << top.top() << " " << top.bottom();
    drag(Qt::LeftButton, {QPoint(40, -30)}, "Space drag up from the band");
    drag(Qt::MiddleButton, {QPoint(-20, 50)}, "further down: the band stays");
    drag(Qt::MiddleButton, {QPoint(0, -60), QPoint(0, 100)}, "up past the usual limit, then down to it");
    EXPECT_NEAR(drawn_picture(*video->renderer).top(), 0.0, 0.01);
    key(Qt::Key_Z, Qt::ShiftModifier);
    notches(0.3, 0.1);
    drag(Qt::MiddleButton, {}, "a middle click");
}

}  // namespace
