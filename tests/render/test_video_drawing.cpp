// Each codec's pipeline drawing a known frame 1:1, compared with the CPU block
// decoders; the filters on uniform colour and on a hard edge; the checkerboard.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/render/render_test_frames.h"
#include "tests/render/video_scene.h"
#include "tests/render/vulkan_harness.h"

using namespace vktest;

namespace {

class VideoDrawing : public VulkanWindowTest {
protected:
    void SetUp() override {
        VulkanWindowTest::SetUp();
        if (HasFatalFailure()) return;
        scene = std::make_shared<VideoScene>();
        window = std::make_unique<TestVulkanWindow>();
        window->setVulkanInstance(vulkan_instance());
        VideoScene::attach(scene, *window);
        ASSERT_TRUE(show_and_wait_ready(*window, QSize(72, 56)));
    }

    QImage draw(const VideoFrame& frame, const VideoScene::Draw& d) {
        if (!scene->show(*window, frame, d)) return QImage();
        return grab_frame(*window);
    }

    // Compares every frame pixel (drawn at the origin) with `expected`.
    void expectPicture(const VideoFrame& frame, const VideoScene::Draw& d,
                       const std::function<QRgb(uint32_t, uint32_t)>& expected, int tolerance) {
        const QImage image = draw(frame, d);
        ASSERT_FALSE(image.isNull());
        int worst = 0;
        QString where;
        for (uint32_t y = 0; y < frame.height; ++y)
            for (uint32_t x = 0; x < frame.width; ++x) {
                const QRgb got = image.pixel(int(x), int(y));
                const int dist = rgb_distance(got, expected(x, y));
                if (dist > worst) {
                    worst = dist;
                    where = QString("(%1, %2): got %3 %4 %5, expected %6 %7 %8")
                                .arg(x).arg(y).arg(qRed(got)).arg(qGreen(got)).arg(qBlue(got))
                                .arg(qRed(expected(x, y))).arg(qGreen(expected(x, y))).arg(qBlue(expected(x, y)));
                }
            }
        EXPECT_LE(worst, tolerance) << scene->selected.toStdString() << " " << where.toStdString();
    }

    std::shared_ptr<VideoScene> scene;
};

VideoScene::Draw mode(uint32_t codec, uint8_t hasAlpha, uint32_t channel, uint32_t alphaMode, uint32_t scale = 0) {
    VideoScene::Draw d;
    d.codec = codec;
    d.fileHasAlpha = hasAlpha;
    d.channelMode = channel;
    d.alphaMode = alphaMode;
    d.scaleMode = scale;
    return d;
}

QRgb rgb(const Rgba8Picture& p, uint32_t x, uint32_t y) {
    const uint8_t* px = p.at(x, y);
    return qRgb(px[0], px[1], px[2]);
}

// Colour times alpha: a straight-alpha picture blended over the black clear colour.
QRgb over_black(const uint8_t* px, uint8_t alpha) {
    return qRgb(px[0] * alpha / 255, px[1] * alpha / 255, px[2] * alpha / 255);
}

// A pixel frame whose every pixel is `colour` except those `paint` changes.
FramePtr rgba_frame(uint32_t w, uint32_t h, const std::function<QRgb(uint32_t, uint32_t)>& colour) {
    FramePtr frame(video_frame_new());
    video_frame_alloc(frame.get(), w, h, PixelFormat_RGBA8, true);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const QRgb c = colour(x, y);
            const uint8_t px[4] = {uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)), 255};
            memcpy(frame->planes[0] + y * frame->line_sizes[0] + x * 4, px, 4);
        }
    return frame;
}

}  // namespace

TEST_F(VideoDrawing, DxtCodecsMatchTheCpuDecoders) {
    FramePtr hap1 = decode_fixture_frame("hap_64x48_c1", VideoDataFormat_Hap1);
    const Rgba8Picture hap1Picture = cpu_decode_texture(*hap1, 0);
    expectPicture(*hap1, mode(VideoCodecTag_Hap1, 0, 0, 0), [&](uint32_t x, uint32_t y) { return rgb(hap1Picture, x, y); }, 2);
    // Hap1 has no alpha: the Alpha channel mode shows white.
    expectPicture(*hap1, mode(VideoCodecTag_Hap1, 0, 2, 0), [](uint32_t, uint32_t) { return qRgb(255, 255, 255); }, 0);
    EXPECT_EQ(scene->selected, "ui_fill_white");

    FramePtr hap5 = decode_fixture_frame("hap_alpha_64x48_c1", VideoDataFormat_Hap5);
    const Rgba8Picture hap5Picture = cpu_decode_texture(*hap5, 0);
    // Straight: colour x alpha over black. Premultiplied: the colour as stored.
    expectPicture(*hap5, mode(VideoCodecTag_Hap5, 1, 0, 1),
                  [&](uint32_t x, uint32_t y) { return over_black(hap5Picture.at(x, y), hap5Picture.at(x, y)[3]); }, 2);
    expectPicture(*hap5, mode(VideoCodecTag_Hap5, 1, 0, 0), [&](uint32_t x, uint32_t y) { return rgb(hap5Picture, x, y); }, 2);
    // Alpha channel mode: (a, a, a); RGB mode: opaque colour.
    expectPicture(*hap5, mode(VideoCodecTag_Hap5, 1, 2, 0), [&](uint32_t x, uint32_t y) {
        const uint8_t a = hap5Picture.at(x, y)[3];
        return qRgb(a, a, a);
    }, 2);
    expectPicture(*hap5, mode(VideoCodecTag_Hap5, 1, 1, 1), [&](uint32_t x, uint32_t y) { return rgb(hap5Picture, x, y); }, 2);
}

TEST_F(VideoDrawing, HapQCodecsMatchTheCpuYCoCgDecoder) {
    FramePtr hapY = decode_fixture_frame("hap_q_64x48_c1", VideoDataFormat_HapY);
    const Rgba8Picture hapYPicture = cpu_decode_texture(*hapY, 0);
    expectPicture(*hapY, mode(VideoCodecTag_HapY, 0, 0, 0), [&](uint32_t x, uint32_t y) { return rgb(hapYPicture, x, y); }, 3);

    // HapM: FFmpeg's YCoCg texture with an alpha texture of random RGTC1 blocks.
    FramePtr hapM(video_frame_new());
    dxt_frame_alloc(hapM.get(), 64, 48, VideoDataFormat_HapM);
    memcpy(hapM->planes[0], hapY->planes[0], hapY->sizes[0]);
    fill_random_plane(hapM.get(), 1, 11);
    const Rgba8Picture hapMPicture = cpu_decode_hapm(*hapM);
    expectPicture(*hapM, mode(VideoCodecTag_HapM, 1, 0, 1),
                  [&](uint32_t x, uint32_t y) { return over_black(hapMPicture.at(x, y), hapMPicture.at(x, y)[3]); }, 3);
    expectPicture(*hapM, mode(VideoCodecTag_HapM, 1, 2, 1), [&](uint32_t x, uint32_t y) {
        const uint8_t a = hapMPicture.at(x, y)[3];
        return qRgb(a, a, a);
    }, 2);
}

TEST_F(VideoDrawing, AlphaOnlyAndBc7MatchTheCpuDecoders) {
    FramePtr hapA = random_texture_frame(64, 48, VideoDataFormat_HapA, 21);
    const Rgba8Picture hapAPicture = cpu_decode_texture(*hapA, 0);
    expectPicture(*hapA, mode(VideoCodecTag_HapA, 0, 0, 0), [&](uint32_t x, uint32_t y) { return rgb(hapAPicture, x, y); }, 2);

    FramePtr hap7 = random_texture_frame(64, 48, VideoDataFormat_Hap7, 22);
    const Rgba8Picture hap7Picture = cpu_decode_texture(*hap7, 0);
    expectPicture(*hap7, mode(VideoCodecTag_Hap7, 0, 0, 0), [&](uint32_t x, uint32_t y) { return rgb(hap7Picture, x, y); }, 1);
    // With the file's alpha, Hap7 draws as Hap5 does: straight alpha over black.
    expectPicture(*hap7, mode(VideoCodecTag_Hap7, 1, 0, 1),
                  [&](uint32_t x, uint32_t y) { return over_black(hap7Picture.at(x, y), hap7Picture.at(x, y)[3]); }, 2);
}

TEST_F(VideoDrawing, FiltersKeepUniformColourAndBicubicOnlyTouchesEdges) {
    FramePtr uniform = rgba_frame(64, 48, [](uint32_t, uint32_t) { return qRgb(37, 150, 220); });
    for (uint32_t scale = 0; scale < 3; ++scale) {
        SCOPED_TRACE(scale);
        expectPicture(*uniform, mode(VideoCodecTag_Hap1, 0, 0, 0, scale), [](uint32_t, uint32_t) { return qRgb(37, 150, 220); }, 0);
    }

    // A hard vertical edge between columns 31 and 32.
    FramePtr edge = rgba_frame(64, 48, [](uint32_t x, uint32_t) { return x < 32 ? qRgb(0, 0, 0) : qRgb(255, 255, 255); });
    const QImage bilinear = draw(*edge, mode(VideoCodecTag_Hap1, 0, 0, 0, 1));
    const QImage bicubic = draw(*edge, mode(VideoCodecTag_Hap1, 0, 0, 0, 2));
    ASSERT_FALSE(bilinear.isNull());
    ASSERT_FALSE(bicubic.isNull());
    const int y = 20;
    for (int x = 0; x < 64; ++x) {
        // 1:1 bilinear reproduces the texels.
        EXPECT_EQ(qRed(bilinear.pixel(x, y)), x < 32 ? 0 : 255) << x;
        const int difference = rgb_distance(bilinear.pixel(x, y), bicubic.pixel(x, y));
        if (x == 31 || x == 32) {
            EXPECT_GE(difference, 20) << x;
        } else if (x <= 29 || x >= 34) {
            EXPECT_LE(difference, 1) << x;
        }
    }
}

TEST_F(VideoDrawing, CheckerboardIsAnchoredToTheFramebuffer) {
    // A fully transparent Hap5 frame (zero blocks: alpha 0, black) shown premultiplied
    // leaves the background as it is.
    FramePtr clear(video_frame_new());
    dxt_frame_alloc(clear.get(), 64, 48, VideoDataFormat_Hap5);
    memset(clear->planes[0], 0, clear->sizes[0]);
    for (int origin : {0, 7}) {
        SCOPED_TRACE(origin);
        VideoScene::Draw d = mode(VideoCodecTag_Hap5, 1, 0, 0);
        d.background = "bg_checkerboard";
        d.originX = origin;
        d.originY = origin;
        const QImage image = draw(*clear, d);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.pixel(5, 5), qRgba(255, 255, 255, 255));
        EXPECT_EQ(image.pixel(15, 15), qRgba(255, 255, 255, 255));
        EXPECT_EQ(image.pixel(25, 5), qRgba(255, 255, 255, 255));
        for (const QPoint p : {QPoint(15, 5), QPoint(5, 15), QPoint(35, 25)}) {
            EXPECT_NEAR(qRed(image.pixel(p)), 178.5, 1.0) << p.x() << "," << p.y();
            EXPECT_EQ(qRed(image.pixel(p)), qBlue(image.pixel(p)));
        }
    }
}
