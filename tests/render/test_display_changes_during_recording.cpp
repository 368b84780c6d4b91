// Display changes made on the GUI thread while a frame is being recorded on the pool:
// the frame draws with one set of values throughout (the one it began with), the
// change waits for it, and the next frame shows the change. A hook in the recording
// makes the change land at a fixed point of the frame, between two reads of what it
// changes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QList>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "render/panel_audio_meter_track_descriptor.h"
#include "render/vulkan_audio_meters_renderer.h"
#include "render/vulkan_audio_meters_widget.h"
#include "tests/render/test_video_renderer_fixture.h"

using namespace vktest;

namespace {

// Long enough for a change that does not wait for the frame to return, many times over.
constexpr auto kChangeWait = std::chrono::milliseconds(250);

// Stands between a renderer's recording hook (worker thread) and the test (GUI
// thread): keeps what each frame drew with and, in one armed frame, lets the GUI
// thread make a change at the hook's change point, which the frame waits for a
// bounded time.
template <typename Record>
class MidFrameChange {
public:
    // Recording thread.
    void atChangePoint() {
        std::unique_lock<std::mutex> lock(mutex);
        if (!armed) return;
        armed = false;
        inFrame = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return changing; });
        changed.wait_for(lock, kChangeWait, [this] { return changeReturned; });
        returnedDuringFrame = changeReturned;
    }
    void atEnd(const Record& record) {
        std::lock_guard<std::mutex> lock(mutex);
        if (inFrame) {
            inFrame = false;
            during = record;
            haveDuring = true;
        }
        latest = record;
    }

    // GUI thread: has a frame recorded, makes `change` at its change point, and waits
    // until the frame is recorded. What that frame drew with goes to `frame`; `early`
    // tells whether the change returned while the frame was still being recorded.
    ::testing::AssertionResult changeDuringFrame(QWindow& window, const std::function<void()>& change,
                                                 Record* frame, bool* early) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            armed = true;
            inFrame = haveDuring = changing = changeReturned = returnedDuringFrame = false;
        }
        window.requestUpdate();
        if (!wait_until([this] {
                std::lock_guard<std::mutex> lock(mutex);
                return inFrame;
            }))
            return ::testing::AssertionFailure() << "no frame reached the change point";
        setFlag(&changing);
        change();
        setFlag(&changeReturned);
        if (!wait_until([this] {
                std::lock_guard<std::mutex> lock(mutex);
                return haveDuring;
            }))
            return ::testing::AssertionFailure() << "the frame was not recorded";
        std::lock_guard<std::mutex> lock(mutex);
        *frame = during;
        *early = returnedDuringFrame;
        return ::testing::AssertionSuccess();
    }
    Record latestFrame() {
        std::lock_guard<std::mutex> lock(mutex);
        return latest;
    }

private:
    void setFlag(bool* flag) {
        std::lock_guard<std::mutex> lock(mutex);
        *flag = true;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool armed = false;
    bool inFrame = false;
    bool changing = false;
    bool changeReturned = false;
    bool returnedDuringFrame = false;
    bool haveDuring = false;
    Record during{};
    Record latest{};
};

std::string describe(const RecordedFrame& frame) {
    const char* filter = frame.videoFilter == VK_FILTER_NEAREST  ? "nearest"
                         : frame.videoFilter == VK_FILTER_LINEAR ? "linear"
                                                                 : "none";
    std::string clear;
    for (float c : frame.clearColour) clear += (clear.empty() ? "" : ",") + std::to_string(std::lround(c * 255));
    return frame.videoPipeline.toStdString() + " " + filter + " " + frame.background.toStdString() + " clear " +
           clear + " guides " + std::to_string(frame.guideLines);
}

class DisplayChangesDuringRecording : public VideoWindowTest {
protected:
    void TearDown() override {
        if (window && window->renderer) renderer().setRecordingHook({});
        if (meters) {
            meters->renderer()->setRecordingHook({});
            hide_and_release(*meters);
            meters.reset();
        }
        VideoWindowTest::TearDown();
    }

    // They outlive the windows whose hooks reach them (the windows go in TearDown).
    MidFrameChange<RecordedFrame> video;
    MidFrameChange<uint32_t> columns;
    std::unique_ptr<VulkanAudioMetersWidget> meters;
};

}  // namespace

TEST_F(DisplayChangesDuringRecording, TheFrameKeepsTheValuesItBeganWithAndTheNextShowsTheChange) {
    ASSERT_NO_FATAL_FAILURE(openWindow(QSize(128, 96)));
    renderer().setRecordingHook([this](RecordingStep step, const RecordedFrame& frame) {
        if (step == RecordingStep_PipelineChosen) video.atChangePoint();
        else video.atEnd(frame);
    });
    // A Hap5 movie (its alpha follows the alpha mode) in a display window, so that the
    // crop box can be drawn.
    FramePtr frame = random_texture_frame(64, 48, VideoDataFormat_Hap5, 7);
    const VideoSourceInfo source = source_in_display_window(*frame, VideoCodecTag_Hap5, 1);
    renderer().setScaleMode(BaseGpu2dCanvas_ScaleMode_Bicubic);
    renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_White);
    renderer().setCropBoxDisplayMode(BaseGpu2dCanvas_CropBoxDisplayMode_DisplayWindow);
    showMovieFrame(source, *frame);
    ASSERT_FALSE(grab().isNull());
    std::string before = describe(video.latestFrame());
    ASSERT_EQ(before, "rgba_to_rgba_premult_bicubic linear ui_fill_white_opaque clear 0,0,0 guides 0");

    CanvasColours colours = default_colours();
    colours.canvas[0] = QColor(10, 20, 30);
    const struct {
        const char* change;
        std::function<void()> call;
        const char* after;
    } steps[] = {
        {"scale mode", [&] { renderer().setScaleMode(BaseGpu2dCanvas_ScaleMode_Nearest); },
         "rgba_to_rgba_premult_bilinear nearest ui_fill_white_opaque clear 0,0,0 guides 0"},
        {"alpha mode", [&] { renderer().setAlphaMode(BaseGpu2dCanvas_AlphaMode_Straight); },
         "rgba_to_rgba_straight_bilinear nearest ui_fill_white_opaque clear 0,0,0 guides 0"},
        {"channel mode", [&] { renderer().setChannelMode(BaseGpu2dCanvas_ChannelMode_Alpha); },
         "rgba_to_alpha_bilinear nearest ui_fill_white_opaque clear 0,0,0 guides 0"},
        {"background mode", [&] { renderer().setBackgroundMode(BaseGpu2dCanvas_BackgroundMode_Checkerboard); },
         "rgba_to_alpha_bilinear nearest bg_checkerboard clear 0,0,0 guides 0"},
        {"colours", [&] { renderer().setBackgroundColors(colours); },
         "rgba_to_alpha_bilinear nearest bg_checkerboard clear 10,20,30 guides 0"},
        {"safe area", [&] { renderer().setShowSafeArea(true); },
         "rgba_to_alpha_bilinear nearest bg_checkerboard clear 10,20,30 guides 2"},
        {"video area", [&] { renderer().setShowVideoArea(true); },
         "rgba_to_alpha_bilinear nearest bg_checkerboard clear 10,20,30 guides 3"},
        {"crop box", [&] { renderer().setShowCropBoxArea(true); },
         "rgba_to_alpha_bilinear nearest bg_checkerboard clear 10,20,30 guides 4"},
        {"crop box display mode", [&] { renderer().setCropBoxDisplayMode(BaseGpu2dCanvas_CropBoxDisplayMode_File); },
         "rgba_to_alpha_bilinear nearest bg_checkerboard clear 10,20,30 guides 3"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        RecordedFrame during;
        bool early = true;
        ASSERT_TRUE(video.changeDuringFrame(*window, step.call, &during, &early));
        EXPECT_EQ(describe(during), before) << "the frame being recorded took part of the change";
        EXPECT_FALSE(early) << "the change was made while the frame was being recorded";
        ASSERT_FALSE(grab().isNull());
        before = describe(video.latestFrame());
        EXPECT_EQ(before, step.after);
    }

    // The meters: a new column count while a frame is being recorded.
    meters = std::make_unique<VulkanAudioMetersWidget>();
    meters->setVulkanInstance(vulkan_instance());
    ASSERT_TRUE(show_and_wait_ready(*meters, QSize(300, 200)));
    ASSERT_TRUE(wait_until([this] { return meters->renderer() && meters->renderer()->arePipelinesReady(); }));
    VulkanRendererAudioMeters& meter = *meters->renderer();
    meter.setRecordingHook([this](AudioMetersRecordingStep step, uint32_t drawn) {
        if (step == AudioMetersRecordingStep_PassBegun) columns.atChangePoint();
        else columns.atEnd(drawn);
    });
    PanelAudioMeterTrackDescriptor record;
    record.level = 0.5f;
    meter.setTrackDescriptors(QList<PanelAudioMeterTrackDescriptor*>(8, &record));
    meter.updateGeometry(8);
    ASSERT_FALSE(grab_frame(*meters).isNull());
    uint32_t drawnBefore = columns.latestFrame();
    ASSERT_EQ(drawnBefore, 8u);
    for (const uint32_t count : {3u, 5u}) {
        SCOPED_TRACE(count);
        uint32_t during = 0;
        bool early = true;
        ASSERT_TRUE(columns.changeDuringFrame(*meters, [&] { meter.updateGeometry(count); }, &during, &early));
        EXPECT_EQ(during, drawnBefore) << "the frame being recorded drew the new column count";
        EXPECT_FALSE(early);
        ASSERT_FALSE(grab_frame(*meters).isNull());
        drawnBefore = columns.latestFrame();
        EXPECT_EQ(drawnBefore, count);
    }
}
