// A number typed into an entry and not confirmed with Return: a click on any of the
// toolkit's clickable widgets ends that edit, as Return would, before the widget acts,
// so whatever the click starts sees the typed value.
#include "tests/ui/widgets/widget_test_util.h"
#include "ui/data_item_menu.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_mute_solo.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_params_color.h"
#include "ui/view_slider.h"
#include "ui/view_spin_box.h"
#include "ui/view_text_entry.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// Clicks into the box's entry and types `text` over what it shows, without Return.
void type_without_return(ViewSpinBoxInt* box, const QString& text) {
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    box->entry()->selectAll();
    QTest::keyClicks(box->entry(), text);
}

}  // namespace

TEST(PendingEdit, EveryClickableWidgetEndsTheTypedEditBeforeItActs) {
    auto host = shown_host(700, 200);
    auto* box = new ViewSpinBoxInt(host.get(), QRect(10, 10, 100, 25), 10, 0, 100);
    int seen = -1;  // the box's value when the clicked widget acted
    const auto record = [&] { seen = box->value(); };

    auto* button = new ViewBtnText(host.get(), QRect(120, 10, 100, 25), "Save");
    QObject::connect(button, &ViewBtnText::ViewBtnText_Clic, record);
    auto* image = new ViewBtnImage(host.get(), QRect(230, 10, 20, 20), ":/Rsc/RESSOURCES_UI/PLAY.png");
    QObject::connect(image, &ViewBtnImage::ViewBtnImage_Clic, record);
    QObject::connect(image, &ViewBtnImage::ViewBtnImage_RightClic, record);
    auto* sw = new ViewCheckbox(host.get(), QRect(260, 10, 150, 20), "Switch", 0, 0);
    QObject::connect(sw, &ViewCheckbox::ViewCheckboxDelegate, record);
    auto* slider = new ViewSlider(host.get(), QRect(420, 10, 85, 11), 0, 150, 100);
    QObject::connect(slider, &ViewSlider::ViewSlider_Changed, record);
    auto* swatch = new ViewParamsColor(host.get(), QRect(510, 10, 25, 25));
    QObject::connect(swatch, &ViewParamsColor::ViewParamsColor_ValueChanged, record);
    auto* combo = new ViewCombobox2(host.get(), QRect(10, 50, 120, 25));
    combo->dataSource()->setItems({"Jpeg", "Png"});
    combo->setCurrentIndex(0);
    QObject::connect(combo, &ViewCombobox2::ViewCombobox2_Clic, record);
    auto* mute = new ViewBtnMuteSolo(host.get(), QRect(0, 0, 20, 20), 0, 0);
    mute->setGeometry(140, 50, 20, 20);
    QObject::connect(mute, &ViewBtnMuteSolo::viewBtnMuteChanged, record);
    for (QWidget* w : host->findChildren<QWidget*>()) w->show();
    ViewParamsColor::setColorDialogProvider([](const QColor&, QWidget*, const QString&) { return QColor(1, 2, 3); });

    struct Click {
        const char* what;
        QWidget* widget;
        Qt::MouseButton button;
    };
    const Click clicks[] = {
        {"text button", button, Qt::LeftButton},
        {"image button", image, Qt::LeftButton},
        {"image button, right", image, Qt::RightButton},
        {"switch", sw, Qt::LeftButton},
        {"switch text", sw->label(), Qt::LeftButton},
        {"slider", slider, Qt::LeftButton},
        {"colour swatch", swatch, Qt::LeftButton},
        {"combo box", combo->label(), Qt::LeftButton},
        {"mute button", mute->findChild<ViewLabel*>(), Qt::LeftButton},
    };
    for (const Click& click : clicks) {
        SCOPED_TRACE(click.what);
        ASSERT_NE(click.widget, nullptr);
        ASSERT_TRUE(box->set_value(10));
        seen = -1;
        QSignalSpy ended(box, &ViewSpinBoxInt::act_spinbox_value_changed);
        type_without_return(box, "55");
        ASSERT_TRUE(box->entry()->hasFocus());
        QTest::mouseClick(click.widget, click.button, Qt::NoModifier, click.widget->rect().center());
        EXPECT_EQ(seen, 55);
        EXPECT_EQ(box->value(), 55);
        EXPECT_EQ(ended.count(), 1);
        EXPECT_FALSE(box->entry()->hasFocus());
    }
    ViewParamsColor::setColorDialogProvider({});
}

TEST(PendingEdit, ArrowStepsFromTheTypedValue) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxInt(host.get(), QRect(10, 10, 100, 25), 10, 0, 100);
    box->show();
    type_without_return(box, "55");
    QTest::mouseClick(box->upArrow(), Qt::LeftButton);
    EXPECT_EQ(box->value(), 56);
    EXPECT_EQ(box->entry()->text(), "56");
    EXPECT_FALSE(box->entry()->hasFocus());
}
