// The video renderer on a real window: start-up and the player icon (linear and
// staged), each codec at 1:1 against the CPU decoders, corrupt frames, a frame wider
// than the largest image, device loss and re-creation while playing, a second movie,
// and a device pixel ratio of 2.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstring>
#include <vector>

#include "movie/file_to_play.h"
#include "tests/render/pipeline_names.h"
#include "tests/render/test_video_renderer_fixture.h"
#include "tests/support/test_movies.h"

using namespace vktest;

namespace {

class VideoRenderer : public VideoWindowTest {};

QImage icon_image(const char* name) {
    return QImage(QStringLiteral(":/Rsc/RESSOURCES_UI/") + name).convertToFormat(QImage::Format_RGBA8888);
}

// The worst channel difference between the default image composited over `clear`
// and the square [x0, x0 + side) of the capture, sampled 1:1.
int default_image_error(const QImage& capture, const QImage& image, int x0, int y0, QRgb clear, QString* where) {
    int worst = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb expected = composite_over(image.pixel(x, y), clear);
            const int d = rgb_distance(capture.pixel(x0 + x, y0 + y), expected);
            if (d > worst) {
                worst = d;
                *where = QString("(%1, %2)").arg(x).arg(y);
            }
        }
    return worst;
}

void expect_picture(const QImage& capture, const Rgba8Picture& picture, const std::function<QRgb(const uint8_t*)>& shown,
                    int tolerance, const char* what) {
    ASSERT_FALSE(capture.isNull()) << what;
    int worst = 0;
    QString where;
    for (uint32_t y = 0; y < picture.height; ++y)
        for (uint32_t x = 0; x < picture.width; ++x) {
            const int d = rgb_distance(capture.pixel(int(x), int(y)), shown(picture.at(x, y)));
            if (d > worst) {
                worst = d;
                where = QString("(%1, %2)").arg(x).arg(y);
            }
        }
    EXPECT_LE(worst, tolerance) << what << " at " << where.toStdString();
}

QRgb as_stored(const uint8_t* px) { return qRgb(px[0], px[1], px[2]); }

}  // namespace

TEST_F(VideoRenderer, StartUpShowsThePlayerIcon) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(1024, 1024)));
    EXPECT_EQ(endInitCount, 1);
    EXPECT_TRUE(renderer().statusText().isEmpty());
    const QStringList& names = renderer_pipeline_names();
    EXPECT_EQ(renderer().pipelineRegistry().pipelines.size(), names.size());
    for (const QString& name : names) EXPECT_TRUE(renderer().pipelineRegistry().pipelines.contains(name)) << name.toStdString();

    const QImage capture = grab();
    ASSERT_EQ(capture.size(), QSize(1024, 1024));
    const QImage icon = icon_image("ICON_PLAYER.png");
    ASSERT_EQ(icon.size(), QSize(512, 512));
    QString where;
    EXPECT_LE(default_image_error(capture, icon, 256, 256, qRgb(0, 0, 0), &where), 1) << where.toStdString();
    for (const QPoint corner : {QPoint(0, 0), QPoint(1023, 0), QPoint(0, 1023), QPoint(1023, 1023), QPoint(255, 512)})
        EXPECT_EQ(capture.pixel(corner), qRgba(0, 0, 0, 255));
    EXPECT_EQ(renderer().drawInfo(CanvasDraw_Tiles).isSet(), false);
}

TEST(VideoRendererStaged, DefaultImagesThroughAStagingImageLookTheSame) {
    if (qEnvironmentVariableIsSet("QT_VK_FORCE_STAGE_TEX")) GTEST_SKIP() << "already the staged run";
    QProcessEnvironment env;
    env.insert("QT_VK_FORCE_STAGE_TEX", "1");
    QString output;
    const int code = run_self("VideoRenderer.StartUpShowsThePlayerIcon:VideoRenderer.CorruptFrameShowsUntilTheNextGoodFrame",
                              env, &output);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(output.contains("texStagingPending")) << "the staging path was not taken";
    EXPECT_TRUE(output.contains("2 tests")) << output.toStdString();
}

TEST_F(VideoRenderer, EachCodecAtOneToOneMatchesTheCpuDecoders) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(64, 48)));
    renderer().setScaleMode(BaseGpu2dCanvas_ScaleMode_Nearest);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_Black);

    // Hap1 read from the movie file as the player does.
    FileToPlay movie(QString::fromStdString(testsupport::fixture_path("hap_64x48_c1.mov")));
    ASSERT_TRUE(movie.errorText().isEmpty()) << movie.errorText().toStdString();
    FramePtr hap1(video_frame_new());
    dxt_frame_alloc(hap1.get(), movie.width(), movie.height(), movie.hapTextureFormat());
    ASSERT_TRUE(movie.readFrame(0, hap1.get()));
    renderer().allocVideoTextures(&movie);
    renderer().refresh();
    renderer().copyVideoFrame(*hap1);
    expect_picture(grab(), cpu_decode_texture(*hap1, 0), as_stored, 2, "Hap1");

    struct Case {
        const char* what;
        FramePtr frame;
        uint32_t codec;
        uint8_t alpha;
    };
    std::vector<Case> cases;
    cases.push_back({"Hap5", decode_fixture_frame("hap_alpha_64x48_c1", VideoDataFormat_Hap5), VideoCodecTag_Hap5, 1});
    cases.push_back({"HapY", decode_fixture_frame("hap_q_64x48_c7", VideoDataFormat_HapY), VideoCodecTag_HapY, 0});
    cases.push_back({"HapA", random_texture_frame(64, 48, VideoDataFormat_HapA, 5), VideoCodecTag_HapA, 1});
    cases.push_back({"Hap7", random_texture_frame(64, 48, VideoDataFormat_Hap7, 6), VideoCodecTag_Hap7, 0});
    for (Case& c : cases) {
        c.frame->frame_number = 0;
        showMovieFrame(source_for(*c.frame, c.codec, c.alpha), *c.frame);
        // Premultiplied (the default) over black shows the colour as stored.
        expect_picture(grab(), cpu_decode_texture(*c.frame, 0), as_stored, 3, c.what);
    }

    // HapM: the YCoCg texture of an FFmpeg movie with an alpha texture; straight alpha
    // from the file's metadata, over black.
    FramePtr hapY = decode_fixture_frame("hap_q_64x48_c1", VideoDataFormat_HapY);
    FramePtr hapM(video_frame_new());
    dxt_frame_alloc(hapM.get(), 64, 48, VideoDataFormat_HapM);
    memcpy(hapM->planes[0], hapY->planes[0], hapY->sizes[0]);
    fill_random_plane(hapM.get(), 1, 12);
    VideoSourceInfo source = source_for(*hapM, VideoCodecTag_HapM, 1);
    source.alphaKind = VideoSourceAlpha_Straight;
    showMovieFrame(source, *hapM);
    EXPECT_EQ(renderer().alphaModeRaw(), 1u);
    expect_picture(grab(), cpu_decode_hapm(*hapM),
                   [](const uint8_t* px) { return qRgb(px[0] * px[3] / 255, px[1] * px[3] / 255, px[2] * px[3] / 255); },
                   3, "HapM");
}

TEST_F(VideoRenderer, CorruptFrameShowsUntilTheNextGoodFrame) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(1024, 1024)));
    uint8_t block[8];
    bc1_solid_block(block, 200, 40, 40);
    FramePtr red = solid_texture_frame(256, 256, VideoDataFormat_Hap1, block, 1);
    showMovieFrame(source_for(*red, VideoCodecTag_Hap1, 0), *red);
    EXPECT_EQ(grab().pixel(512, 512), bc1_solid_colour(200, 40, 40));

    FramePtr broken = solid_texture_frame(256, 256, VideoDataFormat_Hap1, block, 2);
    broken->status |= VideoFrameStatus_DecodeFailed;
    renderer().copyVideoFrame(*broken);
    EXPECT_TRUE(renderer().isCorruptFrameShown());
    const QImage capture = grab();
    QString where;
    EXPECT_LE(default_image_error(capture, icon_image("CORRUPT_FRAME.png"), 256, 256, qRgb(0, 0, 0), &where), 1)
        << where.toStdString();

    bc1_solid_block(block, 40, 200, 40);
    FramePtr green = solid_texture_frame(256, 256, VideoDataFormat_Hap1, block, 3);
    renderer().copyVideoFrame(*green);
    EXPECT_FALSE(renderer().isCorruptFrameShown());
    EXPECT_EQ(grab().pixel(512, 512), bc1_solid_colour(40, 200, 40));

    // The same frame again is not copied again; a new movie's frame 0 is.
    MessageCapture messages;
    renderer().copyVideoFrame(*green);
    EXPECT_TRUE(messages.contains("No need update video tex"));
    bc1_solid_block(block, 40, 40, 200);
    FramePtr blue = solid_texture_frame(256, 256, VideoDataFormat_Hap1, block, 3);
    renderer().copyVideoFrame(*blue);
    EXPECT_EQ(grab().pixel(512, 512), bc1_solid_colour(40, 200, 40));  // same number: held
    showMovieFrame(source_for(*blue, VideoCodecTag_Hap1, 0), *blue);
    EXPECT_EQ(grab().pixel(512, 512), bc1_solid_colour(40, 40, 200));
}

TEST_F(VideoRenderer, FrameWiderThanTheLargestImageIsDrawnInTiles) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(1000, 200)));
    const uint32_t limit = renderer().canvasState().maxTileWidth;
    if (limit >= 20000) GTEST_SKIP() << "the device takes 20000-wide images in one tile";
    FramePtr frame(video_frame_new());
    dxt_frame_alloc(frame.get(), 20000, 1024, VideoDataFormat_Hap1);
    uint8_t red[8], blue[8];
    bc1_solid_block(red, 255, 0, 0);
    bc1_solid_block(blue, 0, 0, 255);
    const uint32_t across = 20000 / 4;
    const uint32_t split = (limit & ~3u) / 4;  // first block column of the second tile
    for (uint32_t by = 0; by < 1024 / 4; ++by)
        for (uint32_t bx = 0; bx < across; ++bx)
            memcpy(frame->planes[0] + (size_t(by) * across + bx) * 8, bx < split ? red : blue, 8);
    showMovieFrame(source_for(*frame, VideoCodecTag_Hap1, 0), *frame);
    EXPECT_EQ(renderer().videoTileCount(), 2u);
    const QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    // 1000 x 51.2 pixels, centred vertically.
    EXPECT_EQ(capture.pixel(500, 100 - 24), capture.pixel(500, 100)) << "picture height";
    EXPECT_NE(capture.pixel(500, 100 - 28), capture.pixel(500, 100));
    const double edge = double(split * 4) / 20000.0 * 1000.0;
    for (int x = 0; x < 1000; ++x) {
        const QRgb px = capture.pixel(x, 100);
        if (x < int(edge) - 1) {
            EXPECT_EQ(px, qRgba(255, 0, 0, 255)) << x;
        } else if (x > int(edge) + 1) {
            EXPECT_EQ(px, qRgba(0, 0, 255, 255)) << x;
        } else {
            EXPECT_TRUE(px == qRgba(255, 0, 0, 255) || px == qRgba(0, 0, 255, 255)) << "gap at " << x;
        }
    }
}

TEST_F(VideoRenderer, SurvivesHideAndShowWhilePlayingAndANewMovie) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(128, 96)));
    // As the main window does: after each (re-)initialisation, hand the movie and the
    // current frame again.
    VideoSourceInfo source;
    FramePtr current;
    QObject::connect(window.get(), &VulkanWindow::viewVideoRendererEndInit, [&] {
        if (!current) return;
        renderer().allocVideoTextures(source);
        renderer().refresh();
        renderer().copyVideoFrame(*current);
    });
    uint8_t block[8];
    auto frame = [&](uint32_t number) {
        bc1_solid_block(block, uint8_t(number * 40), 100, uint8_t(255 - number * 40));
        return solid_texture_frame(128, 96, VideoDataFormat_Hap1, block, number);
    };
    current = frame(0);
    source = source_for(*current, VideoCodecTag_Hap1, 0);
    showMovieFrame(source, *current);

    for (uint32_t round = 1; round <= 5; ++round) {
        hide_and_release(*window);
        ASSERT_FALSE(window->isValid());
        EXPECT_FALSE(renderer().isInitialised());
        MessageCapture messages;
        current = frame(round);
        renderer().copyVideoFrame(*current);  // no device: refused, nothing touched
        EXPECT_TRUE(messages.contains("Can't copy video frame before init end"));
        ASSERT_TRUE(show_and_wait_ready(*window, QSize(128, 96)));
        EXPECT_EQ(grab().pixel(64, 48), bc1_solid_colour(uint8_t(round * 40), 100, uint8_t(255 - round * 40)))
            << round;
    }
    EXPECT_EQ(endInitCount, 6);

    // A second movie of another size and codec while playing.
    FramePtr other = random_texture_frame(96, 64, VideoDataFormat_Hap5, 9);
    source = source_for(*other, VideoCodecTag_Hap5, 1);
    current.reset();
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_Black);
    renderer().allocVideoTextures(source);
    // Between the allocation and the first frame only the background shows.
    EXPECT_FALSE(renderer().hasVideoFrame());
    EXPECT_EQ(grab().pixel(64, 48), qRgba(0, 0, 0, 255));
    renderer().setScaleMode(BaseGpu2dCanvas_ScaleMode_Nearest);
    renderer().copyVideoFrame(*other);
    // 96 x 64 in 128 x 96: 128 x 85.33 pixels, letterboxed; each pixel shows the
    // nearest texel (premultiplied over black: the colour as stored).
    const Rgba8Picture picture = cpu_decode_texture(*other, 0);
    const QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    const double scale = 128.0 / 96.0;
    const double top = (96 - 64 * scale) / 2;
    int worst = 0, compared = 0;
    for (int y = int(top) + 1; y < int(top + 64 * scale) - 1; ++y)
        for (int x = 0; x < 128; ++x) {
            const double fx = (x + 0.5) / scale, fy = (y + 0.5 - top) / scale;
            const auto nearEdge = [](double v) { return v - std::floor(v) < 0.02 || v - std::floor(v) > 0.98; };
            if (nearEdge(fx) || nearEdge(fy)) continue;  // texel edges: either texel is right
            const uint8_t* px = picture.at(uint32_t(fx), uint32_t(fy));
            worst = std::max(worst, rgb_distance(capture.pixel(x, y), qRgb(px[0], px[1], px[2])));
            ++compared;
        }
    EXPECT_GT(compared, 5000);
    EXPECT_LE(worst, 3);
}

TEST_F(VideoRenderer, ResourcesReplacedWhileAFrameIsInFlight) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(256, 128)));
    // Each step runs while a recorded frame waits to be handed back to Qt: the frame
    // must be submitted before what it uses is destroyed or rewritten.
    auto inFlight = [&](const std::function<void()>& step) {
        QElapsedTimer timer;
        timer.start();
        while (!renderer().isFramePending() && timer.elapsed() < kWaitMs) {
            window->requestUpdate();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        ASSERT_TRUE(renderer().isFramePending());
        QThread::msleep(20);  // the job has recorded; its finished signal is still queued
        step();
    };
    uint8_t block[8];
    bc1_solid_block(block, 0, 200, 0);
    FramePtr first = solid_texture_frame(256, 128, VideoDataFormat_Hap1, block, 0);
    inFlight([&] { showMovieFrame(source_for(*first, VideoCodecTag_Hap1, 0), *first); });  // vertex buffer grows
    FramePtr wide = random_texture_frame(512, 128, VideoDataFormat_Hap5, 3);
    inFlight([&] { showMovieFrame(source_for(*wide, VideoCodecTag_Hap5, 1), *wide); });  // new textures and sets
    renderer().setShowInformationOverlay(true);
    renderer().setShowErrorOverlay(true);
    inFlight([&] { renderer().setHighDpi(true); });
    inFlight([&] { renderer().setHighDpi(false); });
    QImage image(400, 300, QImage::Format_RGBA8888);
    image.fill(QColor(0, 0, 255));
    inFlight([&] { renderer().setInformationOverlayImage(image, 300); });
    inFlight([&] { renderer().updateErrorOverlayImage(image); });
    FramePtr next = random_texture_frame(512, 128, VideoDataFormat_Hap5, 4);
    next->frame_number = 1;
    inFlight([&] { renderer().copyVideoFrame(*next); });
    const QImage capture = grab();
    ASSERT_FALSE(capture.isNull());
    EXPECT_EQ(capture.pixel(250, 64), qRgba(0, 0, 255, 255));  // the overlays, opaque blue, cover the view
}

// What the main window reads of the renderer to show the frame on screen and to hand its
// frames over in time: a frame handed over is said on screen once a present has shown it,
// not when it is handed over; of two handed over before a present, only the second,
// which the present shows; a corrupt frame too, in place of the picture, and the good
// one after it. The time a frame takes from its hand-over to its present is measured:
// with a recording that takes 60 ms, at least that.
TEST_F(VideoRenderer, AFrameIsSaidOnScreenOnceItsPresentShowedIt) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(128, 96)));
    std::vector<uint32_t> said;
    QObject::connect(window.get(), &VulkanWindow::viewVideoFramePresented, [&](uint32_t frame) { said.push_back(frame); });
    renderer().setRecordingHook([](RecordingStep step, const RecordedFrame&) {
        if (step == RecordingStep_Recorded) QThread::msleep(60);
    });
    uint8_t block[8];
    auto frame = [&](uint32_t number) {
        bc1_solid_block(block, uint8_t(number * 40), 100, 50);
        return solid_texture_frame(128, 96, VideoDataFormat_Hap1, block, number);
    };
    const auto presentedUpTo = [&](uint32_t number) {
        window->requestUpdate();
        return wait_until([&] { return !said.empty() && said.back() == number; });
    };

    FramePtr first = frame(1);
    showMovieFrame(source_for(*first, VideoCodecTag_Hap1, 0), *first);
    EXPECT_TRUE(said.empty()) << "said on screen when handed over";
    ASSERT_TRUE(presentedUpTo(1));
    EXPECT_EQ(renderer().presentedFrame(), 1);

    FramePtr second = frame(2);
    FramePtr third = frame(3);
    renderer().copyVideoFrame(*second);
    renderer().copyVideoFrame(*third);
    ASSERT_TRUE(presentedUpTo(3));
    FramePtr broken = frame(4);
    broken->status |= VideoFrameStatus_DecodeFailed;
    renderer().copyVideoFrame(*broken);
    ASSERT_TRUE(presentedUpTo(4));
    FramePtr fifth = frame(5);
    renderer().copyVideoFrame(*fifth);
    ASSERT_TRUE(presentedUpTo(5));
    EXPECT_EQ(said, (std::vector<uint32_t>{1, 3, 4, 5}));
    EXPECT_GE(renderer().presentDelayMs(), 60.0);
    renderer().setRecordingHook({});
}

TEST(VideoRendererScaled, RunsWithScaleFactorTwo) {
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) GTEST_SKIP() << "already the scaled run";
    QProcessEnvironment env;
    env.insert("QT_SCALE_FACTOR", "2");
    QString output;
    const int code = run_self("VideoRendererScaledChild.*", env, &output);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

class VideoRendererScaledChild : public VideoWindowTest {};

// Runs only under QT_SCALE_FACTOR=2 (started by VideoRendererScaled).
TEST_F(VideoRendererScaledChild, DrawsAtDevicePixels) {
    if (qgetenv("QT_SCALE_FACTOR") != "2") GTEST_SKIP() << "needs QT_SCALE_FACTOR=2 before the application starts";
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(640, 360)));
    ASSERT_EQ(window->swapChainImageSize(), QSize(1280, 720));
    EXPECT_EQ(renderer().canvasState().viewWidth, 640.0);
    EXPECT_EQ(renderer().canvasState().viewHeight, 360.0);

    // The player icon: a square of half the shorter side, in device pixels.
    QImage capture = grab();
    ASSERT_EQ(capture.size(), QSize(1280, 720));
    EXPECT_EQ(capture.pixel(640 - 180 - 2, 360), qRgba(0, 0, 0, 255));
    EXPECT_NE(capture.pixel(640, 360), qRgba(0, 0, 0, 255));

    // A 640 x 360 movie, left half red and right half blue, fills the 1280 x 720 frame.
    FramePtr frame(video_frame_new());
    dxt_frame_alloc(frame.get(), 640, 360, VideoDataFormat_Hap1);
    uint8_t red[8], blue[8];
    bc1_solid_block(red, 255, 0, 0);
    bc1_solid_block(blue, 0, 0, 255);
    for (uint32_t i = 0; i < frame->sizes[0] / 8; ++i)
        memcpy(frame->planes[0] + i * 8, (i % 160) < 80 ? red : blue, 8);
    renderer().setScaleMode(BaseGpu2dCanvas_ScaleMode_Nearest);
    showMovieFrame(source_for(*frame, VideoCodecTag_Hap1, 0), *frame);
    capture = grab();
    EXPECT_EQ(capture.pixel(638, 700), qRgba(255, 0, 0, 255));
    EXPECT_EQ(capture.pixel(641, 10), qRgba(0, 0, 255, 255));

    // High-DPI overlays: the 450 x 120 error box covers 900 x 240 device pixels.
    renderer().setHighDpi(true);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_White);
    QImage box(900, 240, QImage::Format_RGBA8888);
    box.fill(Qt::transparent);
    renderer().updateErrorOverlayImage(box);
    renderer().setShowErrorOverlay(true);
    capture = grab();
    // Darkened to 20 % inside the box (x 190..1089, y 240..479), untouched outside.
    EXPECT_EQ(capture.pixel(200, 250), qRgba(51, 0, 0, 255));
    EXPECT_EQ(capture.pixel(1080, 470), qRgba(0, 0, 51, 255));
    EXPECT_EQ(capture.pixel(180, 360), qRgba(255, 0, 0, 255));
    EXPECT_EQ(capture.pixel(1100, 360), qRgba(0, 0, 255, 255));
    EXPECT_EQ(capture.pixel(641, 235), qRgba(0, 0, 255, 255));
    EXPECT_EQ(capture.pixel(641, 485), qRgba(0, 0, 255, 255));
}
