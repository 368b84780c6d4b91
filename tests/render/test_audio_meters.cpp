// The audio meters window drawn on lavapipe and read back: the level ramp against the
// meter fragment function's formula, the held-peak line, muted and absent columns,
// the tick scales (whose strip bridges must be culled), and the column count kept
// within the channel records.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <cmath>
#include <memory>

#include "render/vulkan_audio_meters_geometry.h"
#include "render/vulkan_audio_meters_renderer.h"
#include "render/vulkan_audio_meters_widget.h"
#include "tests/render/vulkan_harness.h"
#include "render/panel_audio_meter_track_descriptor.h"

using namespace vktest;

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 200;
constexpr int kTolerance = 3;
const QRgb kClear = qRgb(23, 43, 55);
const QRgb kEmpty = qRgb(23, 29, 35);
const QRgb kAbsent = qRgb(25, 35, 42);
const QRgb kPeak = qRgb(255, 255, 0);
const QRgb kTick = qRgb(116, 128, 135);

// The meter fragment function's ramp at v (0 top, 1 bottom), in 0..255.
QRgb ramp(double v) {
    struct C {
        double r, g, b;
    };
    const C red{245, 82, 70}, yellow{232, 242, 70}, green{55, 224, 70}, dark{55, 140, 70};
    auto mix = [](C a, C b, double t) { return C{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; };
    C c;
    if (v < 0.125) c = mix(red, yellow, v / 0.125);
    else if (v < 0.375) c = mix(yellow, green, (v - 0.125) / 0.25);
    else c = mix(green, dark, (v - 0.375) / 0.625);
    return qRgb(int(std::lround(c.r)), int(std::lround(c.g)), int(std::lround(c.b)));
}

class AudioMetersTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_validated_test();
        if (HasFatalFailure()) return;
        for (int i = 0; i < 9; ++i) records.append(std::make_shared<PanelAudioMeterTrackDescriptor>());
        window = std::make_unique<VulkanAudioMetersWidget>();
        window->setVulkanInstance(vulkan_instance());
        QObject::connect(window.get(), &VulkanAudioMetersWidget::viewAudioMetersRendererEndInit,
                         [this] { ++endInit; });
        ASSERT_TRUE(show_and_wait_ready(*window, QSize(kWidth, kHeight)));
        ASSERT_TRUE(wait_until([this] { return window->renderer() && endInit > 0; }));
        ASSERT_TRUE(renderer().arePipelinesReady());
    }

    void TearDown() override {
        if (window) {
            hide_and_release(*window);
            window.reset();
        }
        QCoreApplication::processEvents();
        expect_no_validation_errors();
    }

    VulkanRendererAudioMeters& renderer() { return *window->renderer(); }

    // Gives the first `count` records to the renderer.
    void give(int count = 8) {
        QList<PanelAudioMeterTrackDescriptor*> list;
        for (int i = 0; i < count; ++i) list.append(records[i].get());
        renderer().setTrackDescriptors(list);
    }

    QImage draw(uint32_t columns = 8) {
        renderer().updateGeometry(columns);
        QImage image = grab_frame(*window);
        EXPECT_EQ(image.size(), QSize(kWidth, kHeight));
        return image;
    }

    void setAll(float level, float peak) {
        for (auto& r : records) {
            r->level = level;
            r->peak = peak;
        }
    }

    // Every pixel of column `column`'s rows [y0, y1] is `expected` within the tolerance.
    void expectColumnRows(const QImage& image, int column, int y0, int y1, QRgb expected) {
        const int x0 = int(kAudioMetersColumnX + kAudioMetersColumnStep * column);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x < x0 + 20; ++x)
                ASSERT_LE(rgb_distance(image.pixel(x, y), expected), kTolerance)
                    << "column " << column << " x " << x << " y " << y;
    }

    // Column x of a scale: tick colour on the rows of its ticks (the minor ones too when
    // `minor`), the clear colour on every other row. Rows whose centre lies within a
    // hair of a tick's edge may go either way.
    void expectTickRows(const QImage& image, int x, bool minor) {
        static constexpr double kTable[10] = {0, 1.0 / 16, 1.0 / 8, 1.0 / 4, 3.0 / 8, 0.5, 5.0 / 8, 0.75, 7.0 / 8, 1};
        QList<double> tops;
        for (int k = 0; k < 9; ++k) {
            tops.append(kTable[k] * (kHeight - 2) + 1);
            if (minor)
                for (int j = 1; j <= 2; ++j)
                    tops.append((kTable[k] + j * (kTable[k + 1] - kTable[k]) / 3) * (kHeight - 2) + 1);
        }
        tops.append(kHeight - 2);
        for (int y = 0; y < kHeight; ++y) {
            const double centre = y + 0.5;
            bool inside = false;
            bool edge = false;
            for (double top : tops) {
                if (centre > top + 0.05 && centre < top + 1.95) inside = true;
                if (std::fabs(centre - top) <= 0.05 || std::fabs(centre - top - 2) <= 0.05) edge = true;
            }
            if (edge && !inside) continue;
            if (inside) EXPECT_LE(rgb_distance(image.pixel(x, y), kTick), kTolerance) << "x " << x << " y " << y;
            else EXPECT_EQ(image.pixel(x, y), kClear) << "x " << x << " y " << y;
        }
    }

    QList<std::shared_ptr<PanelAudioMeterTrackDescriptor>> records;
    std::unique_ptr<VulkanAudioMetersWidget> window;
    int endInit = 0;
};

}  // namespace

TEST_F(AudioMetersTest, FullLevelFollowsTheRampWithThePeakLineAboveTheBottom) {
    setAll(1.0f, 0.0f);
    give();
    const QImage image = draw();
    for (int y = 0; y < kHeight; ++y) {
        if (y == kHeight - 2) continue;
        const QRgb expected = ramp((y + 0.5) / kHeight);
        for (int x = 15; x < 35; ++x)
            ASSERT_LE(rgb_distance(image.pixel(x, y), expected), kTolerance) << "x " << x << " y " << y;
    }
    // The quoted colours at the top, the yellow, green and dark-green stretches.
    EXPECT_LE(rgb_distance(image.pixel(20, 0), qRgb(245, 85, 70)), kTolerance);
    EXPECT_LE(rgb_distance(image.pixel(20, 25), qRgb(232, 242, 70)), kTolerance);
    EXPECT_LE(rgb_distance(image.pixel(20, 75), qRgb(55, 224, 70)), kTolerance);
    EXPECT_LE(rgb_distance(image.pixel(20, 197), qRgb(55, 141, 70)), kTolerance);
    for (int column = 0; column < 8; ++column) expectColumnRows(image, column, kHeight - 2, kHeight - 2, kPeak);
}

TEST_F(AudioMetersTest, HalfLevelLeavesTheTopHalfEmptyAndAFullPeakSitsOnTheTopRow) {
    setAll(0.5f, 1.0f);
    give();
    const QImage image = draw();
    expectColumnRows(image, 0, 1, 99, kEmpty);
    for (int y = 100; y < kHeight; ++y) expectColumnRows(image, 0, y, y, ramp((y + 0.5) / kHeight));
    expectColumnRows(image, 0, 0, 0, kPeak);
}

TEST_F(AudioMetersTest, MutedAndAbsentColumnsHaveTheirOwnColours) {
    setAll(1.0f, 0.5f);
    records[1]->muted = 1;   // present and muted: empty colour, peak line on the bottom row
    records[2]->enabled = 0;  // absent (reads as muted too): its own colour, no line
    records[2]->muted = 1;
    give();
    const QImage image = draw();
    expectColumnRows(image, 1, 0, kHeight - 2, kEmpty);
    expectColumnRows(image, 1, kHeight - 1, kHeight - 1, kPeak);
    expectColumnRows(image, 2, 0, kHeight - 1, kAbsent);
    // The playing column keeps its ramp and its peak line at half height.
    expectColumnRows(image, 0, 5, 5, ramp(5.5 / kHeight));
}

TEST_F(AudioMetersTest, ThreeColumnsLeaveTheRestClearAndTheScalesDrawn) {
    setAll(1.0f, 0.0f);
    give();
    const QImage image = draw(3);
    expectColumnRows(image, 2, 10, 10, ramp(10.5 / kHeight));
    for (int column = 3; column < 8; ++column) {
        const int x0 = int(kAudioMetersColumnX + kAudioMetersColumnStep * column);
        // Column 7 would reach x 253..272: the right scale starts at 290.
        for (int y : {10, 100, 190}) EXPECT_EQ(image.pixel(x0 + 10, y), kClear) << "column " << column;
    }
    // Major ticks on both edges and the bottom ticks; the right scale fills x 290-299.
    for (int y : {1, 2, kHeight - 2, kHeight - 1}) {
        EXPECT_LE(rgb_distance(image.pixel(2, y), kTick), kTolerance) << y;
        EXPECT_LE(rgb_distance(image.pixel(kWidth - 1, y), kTick), kTolerance) << y;
        EXPECT_LE(rgb_distance(image.pixel(kWidth - 10, y), kTick), kTolerance) << y;
    }
    EXPECT_EQ(image.pixel(kWidth - 11, 1), kClear);
    // A separator between columns 0 and 1 (x 39-44).
    EXPECT_LE(rgb_distance(image.pixel(41, kHeight - 1), kTick), kTolerance);
    // Between the ticks every row is clear, at the major ticks' reach (x 2) and at the
    // minor ticks' (x 7) on the left, mirrored on the right: only a bridge triangle of
    // a scale's strip could draw there.
    expectTickRows(image, 2, false);
    expectTickRows(image, 7, true);
    expectTickRows(image, kWidth - 3, false);
    expectTickRows(image, kWidth - 8, true);
}

TEST_F(AudioMetersTest, NineRecordsDrawNoColumnsButTheScale) {
    setAll(1.0f, 0.0f);
    MessageCapture capture;
    give(9);
    const QImage image = draw(8);
    EXPECT_TRUE(capture.contains("ERR : Invalid track descriptor count : 9"));
    EXPECT_EQ(renderer().trackCount(), 9);
    EXPECT_EQ(image.pixel(20, 100), kClear);
    EXPECT_LE(rgb_distance(image.pixel(2, 1), kTick), kTolerance);
}

TEST_F(AudioMetersTest, MoreColumnsThanRecordsAreClampedToEight) {
    setAll(1.0f, 0.0f);
    give();
    const QImage image = draw(12);
    EXPECT_EQ(renderer().columnCount(), 8u);
    expectColumnRows(image, 7, 10, 10, ramp(10.5 / kHeight));
}

TEST_F(AudioMetersTest, ResizingWhileDrawingNeitherHangsNorUpsetsValidation) {
    setAll(0.7f, 0.9f);
    give();
    QElapsedTimer timer;
    timer.start();
    int step = 0;
    while (timer.elapsed() < 700) {
        window->resize(kWidth + (step % 5) * 17, kHeight + (step % 3) * 11);
        renderer().updateGeometry(uint32_t(step % 9));
        window->requestUpdate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ++step;
    }
    window->resize(kWidth, kHeight);
    ASSERT_TRUE(wait_until([this] { return window->swapChainImageSize() == QSize(kWidth, kHeight); }));
    EXPECT_FALSE(draw(8).isNull());
}

TEST(AudioMetersRenderer, ColumnCountIsStoredAndClampedBeforeTheSwapChainExists) {
    ensure_application();
    VulkanAudioMetersWidget window;
    VulkanRendererAudioMeters renderer(&window);
    MessageCapture capture;
    renderer.updateGeometry(5);
    EXPECT_TRUE(capture.contains("Swapchain not initialized"));
    EXPECT_EQ(renderer.columnCount(), 5u);
    renderer.updateGeometry(12);
    EXPECT_EQ(renderer.columnCount(), 8u);
}

TEST(PanelAudioMeterTrackDescriptor, DefaultsCopyAndStates) {
    PanelAudioMeterTrackDescriptor a;
    EXPECT_TRUE(a.isEnabled());
    EXPECT_FALSE(a.isMuted());
    a.muted = 1;
    a.level = 0.5f;
    a.peak = 0.75f;
    a.holdCounter = 12;
    PanelAudioMeterTrackDescriptor b(nullptr, &a);
    EXPECT_TRUE(b.isMuted());
    EXPECT_EQ(b.level, 0.5f);
    EXPECT_EQ(b.peak, 0.75f);
    EXPECT_EQ(b.holdCounter, 12u);
    b.muted = 0;
    b.enabled = 0;
    EXPECT_TRUE(b.isMuted());  // a disabled channel is silent whatever its button says
    EXPECT_FALSE(b.isEnabled());
}
