// The choice of video pipeline and texture planes over the whole selection matrix.
#include <gtest/gtest.h>

#include <QStringList>
#include <string>

#include "render/video_pipelines.h"

namespace {

constexpr uint32_t U = kVideoPlaneUnused;

struct Choice {
    std::string name;
    uint32_t planes[4];
};

Choice choose(uint32_t codec, uint8_t alpha, uint32_t channel, uint32_t scale, uint32_t alphaMode) {
    Choice c;
    c.name = VideoPipelines::selectVideoPipeline(codec, alpha, channel, scale, alphaMode, c.planes).toStdString();
    return c;
}

void expect_planes(const Choice& c, uint32_t p0, uint32_t p1) {
    EXPECT_EQ(c.planes[0], p0) << c.name;
    EXPECT_EQ(c.planes[1], p1) << c.name;
    EXPECT_EQ(c.planes[2], U) << c.name;
    EXPECT_EQ(c.planes[3], U) << c.name;
}

// Every name the video renderer registers; a selection must give one of them,
// "ui_fill_white" or "unknown".
const QStringList kVideoNames = {
    "rgba_to_rgbx_bilinear",          "rgba_to_rgbx_bicubic",          "rgba_to_rgba_straight_bilinear",
    "rgba_to_rgba_straight_bicubic",  "rgba_to_rgba_premult_bilinear", "rgba_to_rgba_premult_bicubic",
    "rgba_to_alpha_bilinear",         "rgba_to_alpha_bicubic",         "hapalphaonly_to_rgbx_bilinear",
    "hapalphaonly_to_rgbx_bicubic",   "hapq_to_rgbx_bilinear",         "hapq_to_rgbx_bicubic",
    "hapqa_to_rgba_straight_bilinear", "hapq_to_rgba_straight_bicubic", "hapqa_to_rgba_premult_bilinear",
    "hapq_to_rgba_premult_bicubic",   "ui_fill_white"};

}  // namespace

TEST(VideoPipelineChoice, NamedCases) {
    Choice c = choose(VideoCodecTag_Hap1, 0, 2, 1, 0);
    EXPECT_EQ(c.name, "ui_fill_white");
    expect_planes(c, U, U);

    c = choose(VideoCodecTag_HapM, 1, 0, 2, 1);
    EXPECT_EQ(c.name, "hapq_to_rgba_straight_bicubic");
    expect_planes(c, 0, 1);
    c = choose(VideoCodecTag_HapM, 1, 0, 1, 0);
    EXPECT_EQ(c.name, "hapqa_to_rgba_premult_bilinear");
    expect_planes(c, 0, 1);
    EXPECT_EQ(choose(VideoCodecTag_HapM, 1, 0, 1, 1).name, "hapqa_to_rgba_straight_bilinear");
    EXPECT_EQ(choose(VideoCodecTag_HapM, 1, 0, 2, 0).name, "hapq_to_rgba_premult_bicubic");
    c = choose(VideoCodecTag_HapM, 1, 2, 1, 0);
    EXPECT_EQ(c.name, "hapalphaonly_to_rgbx_bilinear");
    expect_planes(c, 1, U);
    c = choose(VideoCodecTag_HapM, 1, 1, 0, 1);
    EXPECT_EQ(c.name, "hapq_to_rgbx_bilinear");
    expect_planes(c, 0, U);

    EXPECT_EQ(choose(VideoCodecTag_Hap1, 0, 1, 2, 1).name, "rgba_to_rgbx_bicubic");
    EXPECT_EQ(choose(VideoCodecTag_Hap5, 1, 0, 1, 0).name, "rgba_to_rgba_premult_bilinear");
    EXPECT_EQ(choose(VideoCodecTag_Hap5, 1, 0, 1, 7).name, "rgba_to_rgba_straight_bilinear");  // any non-zero
    EXPECT_EQ(choose(VideoCodecTag_Hap5, 1, 1, 1, 0).name, "rgba_to_rgbx_bilinear");
    EXPECT_EQ(choose(VideoCodecTag_Hap5, 1, 2, 2, 0).name, "rgba_to_alpha_bicubic");
    EXPECT_EQ(choose(VideoCodecTag_HapY, 0, 0, 1, 1).name, "hapq_to_rgbx_bilinear");
    EXPECT_EQ(choose(VideoCodecTag_HapY, 0, 2, 1, 1).name, "ui_fill_white");
    c = choose(VideoCodecTag_HapA, 0, 1, 1, 1);
    EXPECT_EQ(c.name, "hapalphaonly_to_rgbx_bilinear");
    expect_planes(c, 0, U);
    EXPECT_EQ(choose(VideoCodecTag_HapA, 0, 2, 1, 1).name, "ui_fill_white");
}

TEST(VideoPipelineChoice, WholeMatrixFollowsTheRules) {
    const uint32_t codecs[] = {VideoCodecTag_Hap1, VideoCodecTag_Hap5, VideoCodecTag_HapY, VideoCodecTag_HapM,
                               VideoCodecTag_HapA};
    for (uint32_t codec : codecs)
        for (uint8_t alpha = 0; alpha < 2; ++alpha)
            for (uint32_t channel = 0; channel < 4; ++channel)
                for (uint32_t alphaMode = 0; alphaMode < 3; ++alphaMode) {
                    const Choice nearest = choose(codec, alpha, channel, 0, alphaMode);
                    const Choice bilinear = choose(codec, alpha, channel, 1, alphaMode);
                    const Choice bicubic = choose(codec, alpha, channel, 2, alphaMode);
                    SCOPED_TRACE(bilinear.name);
                    // Nearest filtering is the sampler's business: same pipeline.
                    EXPECT_EQ(nearest.name, bilinear.name);
                    EXPECT_EQ(choose(codec, alpha, channel, 9, alphaMode).name, bicubic.name);
                    EXPECT_TRUE(kVideoNames.contains(QString::fromStdString(bilinear.name)));
                    EXPECT_TRUE(kVideoNames.contains(QString::fromStdString(bicubic.name)));
                    if (bilinear.name != "ui_fill_white") {
                        EXPECT_NE(bilinear.name, bicubic.name);
                        EXPECT_NE(bilinear.planes[0], U);
                    }
                    // The RGB channel mode always gives an opaque output.
                    if (channel == 1) {
                        EXPECT_NE(bilinear.name.find("rgbx"), std::string::npos);
                    }
                    // The file's alpha byte matters only for Hap7 and DXD3.
                    EXPECT_EQ(choose(codec, 1 - alpha, channel, 1, alphaMode).name, bilinear.name);
                }
}

TEST(VideoPipelineChoice, Hap7AndDxd3FollowTheFileAlpha) {
    for (uint32_t codec : {uint32_t(VideoCodecTag_Hap7), uint32_t(VideoCodecTag_DXD3)})
        for (uint32_t channel = 0; channel < 3; ++channel)
            for (uint32_t scale = 0; scale < 3; ++scale)
                for (uint32_t alphaMode = 0; alphaMode < 2; ++alphaMode) {
                    const Choice opaque = choose(codec, 0, channel, scale, alphaMode);
                    const Choice hap1 = choose(VideoCodecTag_Hap1, 0, channel, scale, alphaMode);
                    EXPECT_EQ(opaque.name, hap1.name);
                    EXPECT_EQ(opaque.planes[0], hap1.planes[0]);
                    const Choice withAlpha = choose(codec, 1, channel, scale, alphaMode);
                    const Choice hap5 = choose(VideoCodecTag_Hap5, 1, channel, scale, alphaMode);
                    EXPECT_EQ(withAlpha.name, hap5.name);
                    EXPECT_EQ(withAlpha.planes[0], hap5.planes[0]);
                }

    testing::internal::CaptureStdout();
    Choice c = choose(VideoCodecTag_Hap7, 2, 0, 1, 0);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(c.name, "unknown");
    expect_planes(c, U, U);
    EXPECT_EQ(printed, "Unknown dxt case pipeline selection : " + std::to_string(int32_t(0x48617037)) + "\n");

    testing::internal::CaptureStdout();
    c = choose(0x61766331 /* avc1 */, 0, 0, 1, 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(c.name, "unknown");
    expect_planes(c, U, U);
}
