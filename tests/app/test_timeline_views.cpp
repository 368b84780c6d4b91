// The timeline and the in/out strip: which frame a click or a drag gives, what the
// track shows, and where the markers sit.
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "app/view_in_out_point.h"
#include "app/view_progress_bar.h"
#include "ui/view_simple_image.h"
#include "widget_app.h"

namespace {

const QRgb kBackground = qRgb(6, 11, 14);
const QRgb kTrack = qRgb(23, 29, 35);
const QRgb kPlayed = qRgb(45, 78, 84);
const QRgb kRange = qRgb(137, 94, 29);
const QRgb kRangePlayed = qRgb(218, 150, 52);

// Colour runs along the track's middle row, as "x0-x1:colour" for every change.
std::vector<std::pair<int, QRgb>> track_runs(ViewProgressBar& bar) {
    const QImage image = bar.grab().toImage();
    std::vector<std::pair<int, QRgb>> runs;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, 9) | 0xFF000000u;
        if (runs.empty() || runs.back().second != pixel) runs.push_back({x, pixel});
    }
    return runs;
}

uint32_t last_frame(const QSignalSpy& spy) { return spy.isEmpty() ? UINT32_MAX : spy.last().at(0).toUInt(); }

}  // namespace

TEST(Timeline, FrameUnderThePointer) {
    struct Row {
        double x;
        int width;
        uint32_t count;
        uint32_t frame;
    } rows[] = {
        {112, 224, 100, 50},  // 12 + 200 / 2: round(99 x 0.5)
        {3, 224, 100, 0},     {12, 224, 100, 0},   {221, 224, 100, 99}, {500, 224, 100, 99},
        {13, 224, 100, 0},    {14.1, 224, 100, 1}, {150, 224, 1, 0},    {150, 224, 0, 0},
        {30, 20, 100, 99},    {5, 20, 100, 0},     {12, 24, 10, 0},     {13, 24, 10, 9},  // no track length
    };
    for (const Row& row : rows)
        EXPECT_EQ(timeline_frame_at(row.x, row.width, row.count), row.frame) << row.x << " " << row.width;
}

TEST(Timeline, ClicksAndDragsSendOnlyNewFrames) {
    widget_app();
    ViewProgressBar bar(nullptr, QRect(0, 0, 224, 18));
    QSignalSpy spy(&bar, &ViewProgressBar::viewProgressClicProgress);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(112, 9));
    EXPECT_TRUE(spy.isEmpty());  // no movie: nothing

    bar.setFrameCount(100);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(112, 9));
    EXPECT_EQ(last_frame(spy), 50u);
    bar.setCurrentFrame(50);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(112, 9));
    EXPECT_EQ(spy.count(), 1);  // already there
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(221, 9));
    EXPECT_EQ(last_frame(spy), 99u);

    // A move counts only while a button is held.
    QMouseEvent hover(QEvent::MouseMove, QPointF(30, 9), QPointF(30, 9), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&bar, &hover);
    EXPECT_EQ(spy.count(), 2);
    QMouseEvent drag(QEvent::MouseMove, QPointF(30, 9), QPointF(30, 9), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&bar, &drag);
    EXPECT_EQ(last_frame(spy), 9u);  // round(99 x 18 / 200)

    // The current frame stays inside the movie.
    bar.setCurrentFrame(500);
    EXPECT_EQ(bar.currentFrame(), 99u);
    bar.setFrameCount(10);
    EXPECT_EQ(bar.currentFrame(), 9u);
    bar.setFrameCount(0);
    EXPECT_EQ(bar.currentFrame(), 0u);
}

TEST(Timeline, TrackColours) {
    widget_app();
    ViewProgressBar bar(nullptr, QRect(0, 0, 124, 18));  // track 12..112, 1 px a frame
    using Runs = std::vector<std::pair<int, QRgb>>;
    EXPECT_EQ(track_runs(bar), (Runs{{0, kBackground}, {12, kTrack}, {112, kBackground}}));
    EXPECT_EQ(bar.grab().toImage().pixel(50, 2) | 0xFF000000u, kBackground);

    bar.setFrameCount(100);
    bar.setCurrentFrame(40);
    EXPECT_EQ(track_runs(bar), (Runs{{0, kBackground}, {12, kPlayed}, {52, kTrack}, {112, kBackground}}));

    struct Row {
        int32_t in, out;
        uint32_t current;
        Runs runs;
    } rows[] = {
        // Inside the range: its played part is lighter.
        {20, 59, 40, {{0, kBackground}, {12, kPlayed}, {32, kRangePlayed}, {52, kRange}, {72, kTrack}, {112, kBackground}}},
        // Before the in point: the whole range dark.
        {20, 59, 10, {{0, kBackground}, {12, kPlayed}, {22, kTrack}, {32, kRange}, {72, kTrack}, {112, kBackground}}},
        // Past the out point: the whole range light.
        {20, 59, 80, {{0, kBackground}, {12, kPlayed}, {32, kRangePlayed}, {72, kPlayed}, {92, kTrack}, {112, kBackground}}},
        // Only the in point: the range runs to the end.
        {20, -1, 60, {{0, kBackground}, {12, kPlayed}, {32, kRangePlayed}, {72, kRange}, {112, kBackground}}},
        // Only the out point: the range starts at 0.
        {-1, 49, 0, {{0, kBackground}, {12, kRange}, {62, kTrack}, {112, kBackground}}},
    };
    for (const Row& row : rows) {
        bar.setCurrentFrame(row.current);
        bar.setInOutPoints(row.in, row.out);
        EXPECT_EQ(track_runs(bar), row.runs) << row.in << " " << row.out << " " << row.current;
    }
}

TEST(InOutStrip, MarkersSitOnThePoints) {
    widget_app();
    ViewInOutPoint strip(nullptr, QRect(0, 0, 124, 12));  // track 100 px
    EXPECT_TRUE(strip.inMarker()->isHidden());
    strip.setInOutPoints(20, 59);
    EXPECT_TRUE(strip.inMarker()->isHidden());  // no movie
    EXPECT_TRUE(strip.outMarker()->isHidden());

    strip.setFrameCount(100);
    strip.setInOutPoints(20, 59);
    strip.updateLayout();
    EXPECT_FALSE(strip.inMarker()->isHidden());
    EXPECT_EQ(strip.inMarker()->geometry(), QRect(20, 0, 12, 12));   // right edge on 12 + 20
    EXPECT_EQ(strip.outMarker()->geometry(), QRect(72, 0, 12, 12));  // left edge after frame 59

    strip.setInOutPoints(20, -1);  // out marker after the last frame
    strip.updateLayout();
    EXPECT_EQ(strip.outMarker()->x(), 112);
    EXPECT_FALSE(strip.outMarker()->isHidden());

    strip.setFrameCount(3);  // halves away from zero: 100 x 1 / 3 = 33.3 -> 33
    strip.setInOutPoints(1, 1);
    strip.updateLayout();
    EXPECT_EQ(strip.inMarker()->x(), 33);
    EXPECT_EQ(strip.outMarker()->x(), 79);  // 200 / 3 + 12 = 78.67

    strip.setFrameCount(1);
    strip.setInOutPoints(0, 0);
    strip.updateLayout();
    EXPECT_EQ(strip.inMarker()->x(), 0);
    EXPECT_EQ(strip.outMarker()->x(), 112);

    strip.setInOutPoints(-1, -1);
    EXPECT_TRUE(strip.inMarker()->isHidden());
    EXPECT_TRUE(strip.outMarker()->isHidden());
}

TEST(InOutStrip, DraggingAMarkerSendsItsNewPoint) {
    widget_app();
    ViewInOutPoint strip(nullptr, QRect(0, 0, 224, 12));  // track 200 px
    QSignalSpy in_spy(&strip, &ViewInOutPoint::ViewInOutPointDelegate_SetIn);
    QSignalSpy out_spy(&strip, &ViewInOutPoint::ViewInOutPointDelegate_SetOut);
    strip.setFrameCount(100);
    strip.setInOutPoints(20, 59);
    strip.updateLayout();  // in marker 40..51, out marker 132..143

    const auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(&strip, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, to, strip.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&strip, &move);
        QTest::mouseRelease(&strip, Qt::LeftButton, {}, to);
    };
    drag(QPoint(46, 6), QPoint(112, 6));
    ASSERT_EQ(in_spy.count(), 1);
    EXPECT_EQ(in_spy.last().at(0).toInt(), 50);
    EXPECT_TRUE(out_spy.isEmpty());

    drag(QPoint(138, 6), QPoint(212, 6));  // past the end of the track: the last frame
    ASSERT_EQ(out_spy.count(), 1);
    EXPECT_EQ(out_spy.last().at(0).toInt(), 99);

    drag(QPoint(46, 6), QPoint(210, 6));  // the in marker past the out point still moves
    EXPECT_EQ(in_spy.last().at(0).toInt(), 98);

    drag(QPoint(46, 6), QPoint(52, 6));  // onto its own point: nothing new
    EXPECT_EQ(in_spy.count(), 2);

    drag(QPoint(80, 6), QPoint(150, 6));  // between the markers: no drag
    EXPECT_EQ(in_spy.count() + out_spy.count(), 3);
    QMouseEvent after_release(QEvent::MouseMove, QPointF(150, 6), QPointF(150, 6), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&strip, &after_release);
    EXPECT_EQ(in_spy.count() + out_spy.count(), 3);

    strip.setInOutPoints(-1, -1);  // hidden markers cannot be grabbed
    drag(QPoint(138, 6), QPoint(112, 6));
    EXPECT_EQ(in_spy.count() + out_spy.count(), 3);
}
