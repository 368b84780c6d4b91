// Switches, sliders, the volume control and the colour swatch as a user works them:
// presses toggle and report in order, slider positions map to values, the volume
// turns slider values into dB or mute, and the swatch takes only a colour the
// dialog really gave.
#include "tests/ui/core/message_capture.h"
#include "tests/ui/widgets/widget_test_util.h"
#include "ui/view_btn_image.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_params_color.h"
#include "ui/view_slider.h"
#include "ui/view_volume_controls.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ViewCheckboxTest, PressesToggleAndReportClickThenDelegate) {
    widget_app();
    ViewCheckbox box(nullptr, QRect(0, 0, 200, 20), "Loop", 0, 1);
    box.tag = 5;
    QStringList order;
    QObject::connect(&box, &ViewCheckbox::act_mouse_clic, [&] { order << "clic"; });
    QObject::connect(&box, &ViewCheckbox::ViewCheckboxDelegate, [&](uint32_t tag) { order << QString("delegate %1").arg(tag); });

    press(&box, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(box.isChecked());
    press(&box, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(order, (QStringList{"clic", "delegate 5", "clic", "delegate 5"}));
    // The switch settles where the last press sent it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.animState() == 0.0; }, 10000));

    // A click on the text toggles as well.
    ASSERT_NE(box.label(), nullptr);
    press(box.label(), Qt::LeftButton);
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(box.label()->geometry(), QRect(25, 0, 175, 20));
}

TEST(ViewCheckboxTest, SetCheckedIsSilentAndForceUncheckUnchecks) {
    widget_app();
    ViewCheckbox box(nullptr, QRect(0, 0, 200, 20), "Text", 20, 0);
    QSignalSpy delegate(&box, &ViewCheckbox::ViewCheckboxDelegate);
    box.setChecked(true);
    EXPECT_TRUE(box.isChecked());
    EXPECT_DOUBLE_EQ(box.animState(), 1.0);
    EXPECT_DOUBLE_EQ(view_opacity(box.label()), 1.0);
    EXPECT_EQ(delegate.count(), 0);
    EXPECT_EQ(box.label()->x(), 45);

    box.setChecked(false);
    box.forceUncheck = true;
    press(&box, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(box.isChecked());
    EXPECT_FALSE(box.forceUncheck);
    EXPECT_EQ(delegate.count(), 1);
}

TEST(ViewCheckboxTest, DisabledBoxIgnoresPressesAndLabelClicks) {
    widget_app();
    ViewCheckbox box(nullptr, QRect(0, 0, 200, 20), "Text", 0, 0);
    box.setChecked(true);
    QSignalSpy clic(&box, &ViewCheckbox::act_mouse_clic);
    box.disable();
    EXPECT_DOUBLE_EQ(view_opacity(box.label()), 0.6);
    press(&box, Qt::LeftButton, {}, QPoint(10, 10));
    press(box.label(), Qt::LeftButton);
    box.ViewLabel_Clic(0, {});
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(clic.count(), 0);
    (void)box.grab();

    ViewCheckbox bare(nullptr, QRect(0, 0, 40, 20), "", 0, 0);
    EXPECT_EQ(bare.label(), nullptr);
    EXPECT_TRUE(bare.findChildren<ViewLabel*>().isEmpty());
    bare.disable();
    press(&bare, Qt::LeftButton);
    EXPECT_FALSE(bare.isChecked());
}

struct SliderPressCase {
    int x;
    Qt::KeyboardModifiers mods;
    int32_t value;
};

TEST(ViewSliderTest, PressPositionsMapToValuesAlongTheTrack) {
    widget_app();
    ViewSlider slider(nullptr, QRect(0, 0, 85, 11), 0, 150, 100);
    slider.tag = 8;
    const SliderPressCase cases[] = {
        {5, {}, 0},     {42, {}, 74},   {80, {}, 150},  {79, {}, 149},
        {6, {}, 1},     {0, {}, 0},     {84, {}, 150},  {20, Qt::ControlModifier, 100},
    };
    for (const SliderPressCase& c : cases) {
        SCOPED_TRACE(c.x);
        slider.setValue(50);
        QStringList order;
        QList<uint32_t> values;
        auto a = QObject::connect(&slider, &ViewSlider::act_mouse_slider, [&] { order << "mouse"; });
        auto b = QObject::connect(&slider, &ViewSlider::ViewSlider_Changed, [&](uint32_t tag, uint32_t v) {
            order << "changed";
            values << tag << v;
        });
        press(&slider, Qt::LeftButton, c.mods, QPoint(c.x, 5));
        EXPECT_EQ(slider.value(), c.value);
        EXPECT_EQ(order, (QStringList{"mouse", "changed"}));
        EXPECT_EQ(values, (QList<uint32_t>{8, uint32_t(c.value)}));
        QObject::disconnect(a);
        QObject::disconnect(b);
    }
    // Only the left button moves it; dragging with it held follows the pointer.
    slider.setValue(50);
    press(&slider, Qt::RightButton, {}, QPoint(80, 5));
    EXPECT_EQ(slider.value(), 50);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent drag(QEvent::MouseMove, QPointF(42, 5), QPointF(42, 5), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &drag);
    EXPECT_EQ(slider.value(), 74);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(42, 5));
}

TEST(ViewSliderTest, ValuesOutsideTheRangeAreClampedAndAnEmptyRangeDraws) {
    widget_app();
    MessageCapture log;
    ViewSlider slider(nullptr, QRect(0, 0, 85, 11), 0, 150, 100);
    slider.setValue(200);
    EXPECT_EQ(slider.value(), 150);
    slider.setValue(-3);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(log.messages(), (QStringList{"Warn val (200) > Max val ( (150)", "Warn val (-3) < Min val ( (0)"}));

    MessageCapture log2;
    ViewSlider empty(nullptr, QRect(0, 0, 85, 11), 10, 5, 7);
    EXPECT_EQ(log2.messages(), (QStringList{"Invalid max val ( 5 (min ( 10)", "Warn default val (7) < Min val ( (10)"}));
    EXPECT_EQ(empty.minimum(), 10);
    EXPECT_EQ(empty.maximum(), 10);
    EXPECT_EQ(empty.value(), 10);
    EXPECT_EQ(empty.fraction(), 0.0f);
    press(&empty, Qt::LeftButton, {}, QPoint(42, 5));
    EXPECT_EQ(empty.value(), 10);
    // The knob sits at the start of the track: white there, the dark track beyond.
    const QImage shot = empty.grab().toImage();
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(60, 4), QColor(11, 13, 16));

    ViewSlider full(nullptr, QRect(0, 0, 85, 11), 0, 150, 150);
    const QImage fullShot = full.grab().toImage();
    EXPECT_EQ(fullShot.pixelColor(40, 4), QColor(45, 78, 84));
    EXPECT_EQ(fullShot.pixelColor(79, 5), QColor(Qt::white));
}

struct VolumeCase {
    int x;                 // press on the slider
    int32_t percent;  // the slider afterwards: a mute keeps showing the kept gain
    bool muted;
    double db;
    QString text;
};

TEST(ViewVolumeControlsTest, SliderPressesReportGainInDecibelsOrMute) {
    widget_app();
    ViewVolumeControls volume(nullptr, QRect(0, 0, 165, 32));
    ViewSlider* slider = volume.slider();
    EXPECT_EQ(volume.valueText()->text(), "100%");
    const VolumeCase cases[] = {
        {30, 50, false, -18.0618, "50%"},
        {5, 50, true, 0, "Mute"},
        {80, 150, false, 10.5655, "150%"},
        {42, 74, false, -7.8468, "74%"},
    };
    for (const VolumeCase& c : cases) {
        SCOPED_TRACE(c.x);
        QSignalSpy gain(&volume, &ViewVolumeControls::viewVolumeGainChanged);
        QSignalSpy muted(&volume, &ViewVolumeControls::viewVolumeMuted);
        press(slider, Qt::LeftButton, {}, QPoint(c.x, 5));
        EXPECT_EQ(slider->value(), c.percent);
        EXPECT_EQ(volume.valueText()->text(), c.text);
        EXPECT_EQ(volume.isMuted(), c.muted);
        EXPECT_EQ(muted.count(), c.muted ? 1 : 0);
        ASSERT_EQ(gain.count(), c.muted ? 0 : 1);
        if (!c.muted) {
            EXPECT_NEAR(gain.at(0).at(0).toFloat(), c.db, 1e-3);
        }
        EXPECT_EQ(volume.muteButton()->imageIndex(), c.muted ? 0u : 1u);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view_opacity(slider) == (c.muted ? 0.6 : 1.0); }, 10000));
    }
}

TEST(ViewVolumeControlsTest, MuteButtonKeepsTheGainAndCtrlClickOnTheTextResets) {
    widget_app();
    ViewVolumeControls volume(nullptr, QRect(0, 0, 165, 32));
    press(volume.slider(), Qt::LeftButton, {}, QPoint(30, 5));  // 50 %
    QSignalSpy gain(&volume, &ViewVolumeControls::viewVolumeGainChanged);
    QSignalSpy muted(&volume, &ViewVolumeControls::viewVolumeMuted);

    press(volume.muteButton(), Qt::LeftButton);
    EXPECT_TRUE(volume.isMuted());
    EXPECT_EQ(volume.muteButton()->imageIndex(), 0u);
    EXPECT_EQ(volume.valueText()->text(), "Mute");
    EXPECT_EQ(muted.count(), 1);

    press(volume.muteButton(), Qt::LeftButton);
    EXPECT_FALSE(volume.isMuted());
    EXPECT_EQ(volume.muteButton()->imageIndex(), 1u);
    EXPECT_EQ(volume.valueText()->text(), "50%");
    ASSERT_EQ(gain.count(), 1);
    EXPECT_NEAR(gain.at(0).at(0).toFloat(), -18.0618, 1e-3);

    // A right press on the mute button neither mutes nor flips its picture.
    press(volume.muteButton(), Qt::RightButton);
    EXPECT_FALSE(volume.isMuted());
    EXPECT_EQ(volume.muteButton()->imageIndex(), 1u);

    press(volume.valueText(), Qt::LeftButton);
    EXPECT_EQ(volume.valueText()->text(), "50%");
    EXPECT_EQ(gain.count(), 1);
    press(volume.valueText(), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(volume.valueText()->text(), "100%");
    EXPECT_EQ(volume.slider()->value(), 100);
    ASSERT_EQ(gain.count(), 2);
    EXPECT_FLOAT_EQ(gain.at(1).at(0).toFloat(), 0.0f);
}

// Replaces the colour dialog for one test.
struct ScriptedColorDialog {
    QColor answer;
    int calls = 0;
    QColor initial;
    ScriptedColorDialog() {
        ViewParamsColor::setColorDialogProvider([this](const QColor& start, QWidget*, const QString&) {
            ++calls;
            initial = start;
            return answer;
        });
    }
    ~ScriptedColorDialog() { ViewParamsColor::setColorDialogProvider({}); }
};

TEST(ViewParamsColorTest, DialogColourIsTakenAndACancelChangesNothing) {
    widget_app();
    ScriptedColorDialog dialog;
    ViewParamsColor swatch(nullptr, QRect(0, 0, 40, 20));
    swatch.tag = 11;
    swatch.setColor(QColor(10, 20, 30));
    swatch.setDefaultColor(QColor(255, 0, 0));
    QSignalSpy changed(&swatch, &ViewParamsColor::ViewParamsColor_ValueChanged);

    dialog.answer = QColor(0, 128, 255);
    press(&swatch, Qt::LeftButton);
    EXPECT_EQ(dialog.initial, QColor(10, 20, 30));
    EXPECT_EQ(swatch.color(), QColor(0, 128, 255));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toUInt(), 11u);
    EXPECT_EQ(changed.at(0).at(1).value<QColor>(), QColor(0, 128, 255));
    EXPECT_EQ(swatch.grab().toImage().pixelColor(20, 10), QColor(0, 128, 255));

    dialog.answer = QColor();  // cancelled
    press(&swatch, Qt::LeftButton);
    EXPECT_EQ(dialog.calls, 2);
    EXPECT_EQ(swatch.color(), QColor(0, 128, 255));
    EXPECT_EQ(changed.count(), 1);

    // Alt restores the default without asking.
    press(&swatch, Qt::LeftButton, Qt::AltModifier);
    EXPECT_EQ(dialog.calls, 2);
    EXPECT_EQ(swatch.color(), QColor(255, 0, 0));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(1).value<QColor>(), QColor(255, 0, 0));
}

}  // namespace
