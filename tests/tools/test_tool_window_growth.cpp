// Tool windows that grow stay inside the available area of their screen: the meters
// panel widened by a layout with more channels, on screen or while closed, and any
// panel made taller at the bottom of the screen, move left or up just enough, and keep
// their place when they fit or shrink. On the offscreen platform, whose windows have a
// frame, so the frame is what must fit.
#include <gtest/gtest.h>

#include <QScreen>
#include <memory>
#include <string>

#include "base/pcm/channel_layouts.h"
#include "tools/panel_audio_meter.h"
#include "ui/base_dialog_widget.h"
#include "widget_app.h"

namespace {

QRect available_area(const QWidget& window) { return window.screen()->availableGeometry(); }

std::string text(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

// Shows the window with its frame's top-right corner at `corner`.
void show_with_top_right_at(QWidget& window, QPoint corner) {
    window.show();
    window.move(corner.x() - window.frameGeometry().width() + 1, corner.y());
    ASSERT_TRUE(window.frameGeometry().topRight() == corner) << text(window.frameGeometry());
}

class ToolWindowGrowthTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget_app();
        meters = std::make_unique<PanelAudioMeter>(nullptr, nullptr);
        ASSERT_NE(meters->screen(), nullptr);
        area = available_area(*meters);
    }
    std::unique_ptr<PanelAudioMeter> meters;
    QRect area;
};

}  // namespace

TEST_F(ToolWindowGrowthTest, MetersWidenedAtTheRightEdgeMoveLeftJustEnough) {
    const QPoint corner(area.right(), area.top() + 20);
    ASSERT_NO_FATAL_FAILURE(show_with_top_right_at(*meters, corner));
    const int stereoWidth = meters->width();

    meters->setChannelLayout(NAudioChannelLayout_7_1, 0);
    EXPECT_GT(meters->width(), stereoWidth);
    EXPECT_TRUE(area.contains(meters->frameGeometry())) << text(meters->frameGeometry()) << " in " << text(area);
    EXPECT_TRUE(meters->frameGeometry().topRight() == corner) << text(meters->frameGeometry());

    // Narrower again: it stays where it is.
    const QPoint place = meters->pos();
    meters->setChannelLayout(NAudioChannelLayout_Stereo, 0);
    EXPECT_TRUE(meters->pos() == place) << text(meters->frameGeometry());
}

TEST_F(ToolWindowGrowthTest, MetersWidenedWhileClosedOpenInsideTheArea) {
    const QPoint corner(area.right(), area.top() + 20);
    ASSERT_NO_FATAL_FAILURE(show_with_top_right_at(*meters, corner));
    meters->hide();
    meters->setChannelLayout(NAudioChannelLayout_7_1, 0);
    meters->show();
    EXPECT_TRUE(area.contains(meters->frameGeometry())) << text(meters->frameGeometry()) << " in " << text(area);
    EXPECT_TRUE(meters->frameGeometry().topRight() == corner) << text(meters->frameGeometry());
}

TEST_F(ToolWindowGrowthTest, MetersPlacedForStereoAndWidenedBeforeTheyWereEverShownOpenInsideTheArea) {
    // As the main window makes them: placed at the right edge at their first width, then
    // given the 7.1 layout of the mapping before the user opens them.
    meters->move(area.right() - meters->width() - 4, area.top() + 20);
    meters->setChannelLayout(NAudioChannelLayout_7_1, 0);
    meters->show();
    EXPECT_TRUE(area.contains(meters->frameGeometry())) << text(meters->frameGeometry()) << " in " << text(area);
}

TEST_F(ToolWindowGrowthTest, MetersWithRoomToGrowKeepTheirPlace) {
    meters->show();
    const QPoint place(area.left() + 30, area.top() + 40);
    meters->move(place);
    meters->setChannelLayout(NAudioChannelLayout_7_1, 0);
    EXPECT_TRUE(meters->pos() == place) << text(meters->frameGeometry());
    meters->hide();
    meters->setChannelLayout(NAudioChannelLayout_5_1, 0);
    meters->setChannelLayout(NAudioChannelLayout_7_1, 0);
    meters->show();
    EXPECT_TRUE(meters->pos() == place) << text(meters->frameGeometry());
}

TEST_F(ToolWindowGrowthTest, PanelMadeTallerInTheBottomRightCornerMovesUpAndLeft) {
    BaseDialogWidget panel(nullptr, QStringLiteral("Panel"));
    panel.resize(200, 150);
    panel.show();
    panel.move(area.right() - panel.frameGeometry().width() + 1, area.bottom() - panel.frameGeometry().height() + 1);
    ASSERT_TRUE(panel.frameGeometry().bottomRight() == area.bottomRight()) << text(panel.frameGeometry());

    panel.resize(260, 300);
    EXPECT_TRUE(area.contains(panel.frameGeometry())) << text(panel.frameGeometry()) << " in " << text(area);
    EXPECT_TRUE(panel.frameGeometry().bottomRight() == area.bottomRight()) << text(panel.frameGeometry());

    // Larger than the area: its top-left corner stays on screen.
    panel.resize(area.width() + 100, area.height() + 100);
    EXPECT_TRUE(panel.frameGeometry().topLeft() == area.topLeft()) << text(panel.frameGeometry());
}
