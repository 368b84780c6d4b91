// The transport bar: what each button sends with its modifiers, which controls a
// narrow bar hides, and the states it shows; then the keyboard shortcuts panel.
#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <memory>

#include "base/settings/global_settings.h"
#include "app/view_bottom_ctrl.h"
#include "app/window_shortcuts.h"
#include "log_capture.h"
#include "ui/view_btn_image.h"
#include "ui/view_editable_time.h"
#include "ui/view_label.h"
#include "ui/view_volume_controls.h"
#include "widget_app.h"

namespace {

// Records every signal the bar sends, by name.
class SignalLog {
public:
    explicit SignalLog(ViewBottomCtrl* bar) {
        qRegisterMetaType<const QMouseEvent*>();
        const QMetaObject* meta = bar->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal) continue;
            m_spies.emplace(method.name().toStdString(),
                            std::make_unique<QSignalSpy>(bar, ("2" + method.methodSignature()).constData()));
        }
    }
    // Names of the signals sent since the last call.
    std::string take() {
        std::string names;
        for (auto& [name, spy] : m_spies) {
            for (int i = 0; i < spy->count(); ++i) names += (names.empty() ? "" : " ") + name;
            spy->clear();
        }
        return names;
    }
    size_t signalCount() const { return m_spies.size(); }
    QSignalSpy& spy(const std::string& name) { return *m_spies.at(name); }

private:
    std::map<std::string, std::unique_ptr<QSignalSpy>> m_spies;
};

const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
const Qt::KeyboardModifiers kAlt = Qt::AltModifier;
const Qt::KeyboardModifiers kAltShift = Qt::AltModifier | Qt::ShiftModifier;

}  // namespace

TEST(TransportBar, ClickDispatch) {
    widget_app();
    GlobalSettings settings;
    ViewBottomCtrl bar(nullptr, &settings);
    SignalLog log(&bar);
    EXPECT_EQ(log.signalCount(), 24u);

    struct Row {
        uint32_t tag;
        Qt::KeyboardModifiers modifiers;
        const char* sent;
    } rows[] = {
        {1, kNone, "viewControlsClicSnapshot"},      {1, kAltShift, "viewControlsClicSnapshot"},
        {2, kNone, "viewControlsClicSetIn"},         {2, kShift, "viewControlsClicGoToIn"},
        {2, kAlt, "viewControlsClicResetIn"},        {2, kAltShift, "viewControlsClicResetIn"},
        {3, kNone, "viewControlsClicSetOut"},        {3, kShift, "viewControlsClicGoToOut"},
        {3, kAltShift, "viewControlsClicResetOut"},  {4, kShift, "viewControlsClicStart"},
        {5, kNone, "viewControlsClicPrevFrame"},     {5, kShift, "viewControlsClicPrev10Frames"},
        {5, kAlt, "viewControlsClicPrevFrame"},      {5, kAltShift, "viewControlsClicPrevSecond"},
        {6, kShift, "viewControlsClicPlay"},         {7, kAlt, "viewControlsClicPlayReverse"},
        {8, kNone, "viewControlsClicNextFrame"},     {8, kShift, "viewControlsClicNext10Frames"},
        {8, kAlt, "viewControlsClicNextFrame"},      {8, kAltShift, "viewControlsClicNextSecond"},
        {9, kNone, "viewControlsClicEnd"},           {10, kNone, "viewControlsClicPlayMode"},
        {11, kAlt, "viewControlsClicFullScreen"},    {12, kNone, "viewControlsClicInformation"},
        {0, kNone, ""},                              {13, kShift, ""},
    };
    for (const Row& row : rows) {
        bar.ViewBtnImage_Clic(row.tag, row.modifiers);
        EXPECT_EQ(log.take(), row.sent) << row.tag << " " << int(row.modifiers);
    }
    LogCapture messages;
    bar.ViewBtnImage_Clic(13, kNone);
    EXPECT_TRUE(messages.contains("Unknown sender tag : 13"));

    // Real presses reach the same dispatch.
    QTest::mouseClick(bar.button(ViewBottomCtrl::Button_Next), Qt::LeftButton);
    EXPECT_EQ(log.take(), "viewControlsClicNextFrame");

    // A right press counts only on the snapshot button.
    QTest::mouseClick(bar.button(ViewBottomCtrl::Button_Play), Qt::RightButton);
    EXPECT_EQ(log.take(), "");
    QTest::mouseClick(bar.button(ViewBottomCtrl::Button_Snapshot), Qt::RightButton);
    EXPECT_EQ(log.take(), "viewControlsRightClicSnapshot");
    bar.ViewBtnImage_RightClic(5, nullptr);
    EXPECT_EQ(log.take(), "");
}

TEST(TransportBar, PlayModeLoopAndDisabledControls) {
    widget_app();
    GlobalSettings settings;
    ViewBottomCtrl bar(nullptr, &settings);
    SignalLog log(&bar);
    ViewBtnImage* play_mode = bar.button(ViewBottomCtrl::Button_PlayMode);
    EXPECT_FALSE(bar.isPlayModeLoop());
    QTest::mouseClick(play_mode, Qt::LeftButton);  // steps to loop first, then tells
    EXPECT_TRUE(bar.isPlayModeLoop());
    ASSERT_EQ(log.spy("viewControlsClicPlayMode").count(), 1);
    EXPECT_EQ(log.spy("viewControlsClicPlayMode").last().at(0).toUInt(), 1u);
    QTest::mouseClick(play_mode, Qt::LeftButton);
    EXPECT_EQ(log.spy("viewControlsClicPlayMode").last().at(0).toUInt(), 0u);
    bar.setPlayModeLoop(true);
    EXPECT_TRUE(bar.isPlayModeLoop());
    log.take();

    // Without a movie the transport buttons ignore presses; play mode does not.
    bar.setControlsEnabled(false);
    for (uint32_t tag : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 12u})
        QTest::mouseClick(bar.button(tag), Qt::LeftButton);
    EXPECT_EQ(log.take(), "");
    EXPECT_EQ(bar.button(ViewBottomCtrl::Button_Play)->imageIndex(), 0u);
    QTest::mouseClick(play_mode, Qt::LeftButton);
    QTest::mouseClick(bar.button(ViewBottomCtrl::Button_FullScreen), Qt::LeftButton);
    EXPECT_EQ(log.take(), "viewControlsClicFullScreen viewControlsClicPlayMode");
    bar.setControlsEnabled(true);
    QTest::mouseClick(bar.button(ViewBottomCtrl::Button_Play), Qt::LeftButton);
    EXPECT_EQ(log.take(), "viewControlsClicPlay");

    // The play pictures follow the play step.
    struct Row {
        int32_t step;
        uint32_t play, reverse;
    } rows[] = {{4, 1, 0}, {-2, 0, 1}, {0, 0, 0}, {1, 1, 0}};
    for (const Row& row : rows) {
        bar.setPlayStepImages(row.step);
        EXPECT_EQ(bar.button(ViewBottomCtrl::Button_Play)->imageIndex(), row.play) << row.step;
        EXPECT_EQ(bar.button(ViewBottomCtrl::Button_PlayReverse)->imageIndex(), row.reverse) << row.step;
    }
}

TEST(TransportBar, TimeDisplayIsRelayedAndItsModeKept) {
    widget_app();
    GlobalSettings settings;
    ViewBottomCtrl bar(nullptr, &settings);
    SignalLog log(&bar);
    ViewEditableTimeSpendTotal* time = bar.timeDisplay();
    emit time->ViewEditableTimeSpendTotal_NewTimeValue(42);
    EXPECT_EQ(log.spy("viewControlsSetNewTimeFrame").last().at(0).toUInt(), 42u);
    emit time->ViewEditableTimeSpendTotal_NewTimeValueByOffset(-10);
    EXPECT_EQ(log.spy("viewControlsSetNewTimeFrameOffset").last().at(0).toLongLong(), -10);
    log.take();
    {
        LogCapture messages;
        emit time->ViewEditableTimeSpendTotal_InvalidNewTime();
        EXPECT_TRUE(messages.contains("Invalid time set"));
        EXPECT_EQ(log.take(), "");
    }

    // Two Ctrl-clicks on the current time: HH:MM:SS:FF -> Timecode -> Mill.
    time->setTotal(100);
    time->setCurrent(5);
    QTest::mouseClick(time->currentLabel(), Qt::LeftButton, Qt::ControlModifier);
    QTest::mouseClick(time->currentLabel(), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(settings.ui_timemode, 2u);
    EXPECT_EQ(log.take(), "viewControlsTimemodeChanged viewControlsTimemodeChanged");
}

TEST(TransportBar, NarrowBarsHideTheLessImportantControls) {
    widget_app();
    GlobalSettings settings;
    ViewBottomCtrl bar(nullptr, &settings);
    const auto shown = [&](QWidget* widget) { return !widget->isHidden(); };
    const auto button = [&](uint32_t tag) { return bar.button(tag); };
    bar.show();  // a shown widget lays out at once on every resize

    bar.resize(700, 40);
    for (uint32_t tag : {7u, 6u, 12u, 5u, 8u, 4u, 9u, 10u, 11u}) EXPECT_TRUE(shown(button(tag))) << tag;
    for (uint32_t tag : {1u, 2u, 3u}) EXPECT_FALSE(shown(button(tag))) << tag;
    EXPECT_FALSE(shown(bar.timeDisplay()));
    EXPECT_FALSE(shown(bar.volumeControls()));
    bar.resize(745, 40);
    EXPECT_FALSE(shown(bar.timeDisplay()));
    bar.resize(746, 40);
    EXPECT_TRUE(shown(bar.timeDisplay()));

    struct Row {
        int width;
        QWidget* widget;
        int threshold;
    } rows[] = {{0, button(4), 310},      {0, button(5), 240},     {0, button(1), 880},  {0, button(10), 445},
                {0, button(11), 600},     {0, bar.volumeControls(), 980}, {0, button(2), 1020}, {0, button(3), 1020}};
    for (const Row& row : rows) {
        bar.resize(row.threshold, 40);
        EXPECT_FALSE(shown(row.widget)) << row.threshold;
        bar.resize(row.threshold + 1, 40);
        EXPECT_TRUE(shown(row.widget)) << row.threshold;
    }
    bar.resize(100, 40);
    for (uint32_t tag : {6u, 7u, 12u}) EXPECT_TRUE(shown(button(tag))) << tag;

    // A 1270-pixel bar: play right of the middle, the rest from it.
    bar.resize(1270, 40);
    EXPECT_EQ(button(6)->geometry(), QRect(637, 4, 32, 32));
    EXPECT_EQ(button(8)->x(), 674);
    EXPECT_EQ(button(9)->x(), 711);
    EXPECT_EQ(button(10)->x(), 778);
    EXPECT_EQ(button(11)->x(), 850);
    EXPECT_EQ(button(7)->x(), 601);
    EXPECT_EQ(button(5)->x(), 564);
    EXPECT_EQ(button(4)->x(), 527);
    EXPECT_EQ(bar.timeDisplay()->geometry(), QRect(527 - 40 - 180, 10, 180, 20));
    EXPECT_EQ(button(3)->geometry(), QRect(307 - 10 - 23, 4, 23, 32));
    EXPECT_EQ(button(2)->x(), 274 - 2 - 23);
    EXPECT_EQ(button(12)->x(), 1270 - 32 - 5);
    EXPECT_EQ(bar.volumeControls()->x(), 1233 - 40 - 165);
    EXPECT_EQ(button(1)->x(), 70);
    EXPECT_EQ(bar.palette().color(QPalette::Window), QColor(23, 43, 55));
}

TEST(ShortcutsPanel, GroupsAndTexts) {
    widget_app();
    WindowShortcuts panel;
    EXPECT_EQ(panel.windowTitle(), "Keyboard Shortcuts");
    EXPECT_EQ(panel.size(), QSize(1220, 680));
    EXPECT_EQ(panel.maximumSize(), QSize(1220, 680));
    std::map<QString, QRect> at;
    for (const ViewLabel* label : panel.labels()) at[label->text()] = label->geometry();
    EXPECT_EQ(panel.labels().size(), 1 + 16 + 5 + 10);
    EXPECT_EQ(at["Keyboard Shortcuts"], QRect(535, 120, 300, 40));
    EXPECT_EQ(at["Navigation"], QRect(20, 200, 400, 20));
    EXPECT_EQ(at["View"], QRect(430, 200, 400, 20));
    EXPECT_EQ(at["Pan / Zoom"], QRect(810, 200, 350, 20));
    EXPECT_EQ(at["Space : Play/Pause"], QRect(20, 235, 400, 20));
    EXPECT_EQ(at["Shift o : Go to out point"], QRect(20, 235 + 14 * 25, 400, 20));
    EXPECT_EQ(at["Ctr O : Open file"], QRect(430, 235 + 3 * 25, 400, 20));
    EXPECT_EQ(at["Shift Z : Zoom fit"], QRect(810, 235 + 8 * 25, 350, 20));
    EXPECT_EQ(at.count("Esc : Output full screen"), 1u);
}
