// Labels and buttons as a user meets them: fonts of the label kinds, clicks with
// their modifiers and tags, eliding, image buttons stepping through their pictures,
// missing pictures, the hand cursor, the mute/solo toggles and the fitted picture.
#include "tests/ui/core/message_capture.h"
#include "tests/ui/widgets/widget_test_util.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_mute_solo.h"
#include "ui/view_btn_text.h"
#include "ui/view_label.h"
#include "ui/view_simple_image.h"

#include <QEnterEvent>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QColor background_of(const QWidget& w) { return w.palette().color(w.backgroundRole()); }

struct KindCase {
    ViewLabelType kind;
    bool italic;
    bool bold;
    int pointSize;
    QColor color;
};

TEST(ViewLabelTest, KindsGiveRobotoFacesSizesAndColours) {
    widget_app();
    ASSERT_TRUE(QFile::exists(":/Rsc/RESSOURCES_UI/Roboto/Roboto-Italic.ttf"));
    const KindCase cases[] = {
        {10, false, true, 12, Qt::white},
        {2, true, false, 11, Qt::white},
        {6, true, false, 11, QColor(106, 186, 253)},
        {0, false, false, 10, QColor(213, 213, 213)},
        {9, false, false, 20, Qt::white},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.kind);
        ViewLabel label(nullptr, QRect(0, 0, 100, 20), "Text", c.kind);
        const QFontInfo info(label.font());
        EXPECT_EQ(info.family(), "Roboto");
        EXPECT_EQ(info.italic(), c.italic);
        EXPECT_EQ(info.bold(), c.bold);
        EXPECT_EQ(info.pointSize(), c.pointSize);
        EXPECT_EQ(label.palette().color(QPalette::WindowText), c.color);
    }
}

TEST(ViewLabelTest, UnknownKindKeepsDefaultFontAndSaysSoOnce) {
    widget_app();
    MessageCapture log;
    ViewLabel label(nullptr, QRect(0, 0, 100, 20), "Text", 15);
    EXPECT_EQ(log.count("Label type inconnu"), 1);
    EXPECT_EQ(label.font(), QApplication::font(&label));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST(ViewLabelTest, PressesEmitByButtonWithTagAndModifiers) {
    widget_app();
    qRegisterMetaType<const QMouseEvent*>();
    ViewLabel label(nullptr, QRect(0, 0, 100, 20), "Text", 1);
    label.tag = 7;
    QSignalSpy clic(&label, &ViewLabel::ViewLabel_Clic);
    QSignalSpy right(&label, &ViewLabel::ViewLabel_RightClic);
    QSignalSpy rightAct(&label, &ViewLabel::act_mouse_right_clic);
    QStringList order;
    QObject::connect(&label, &ViewLabel::ViewLabel_RightClic, [&] { order << "right"; });
    QObject::connect(&label, &ViewLabel::act_mouse_right_clic, [&] { order << "act"; });

    press(&label, Qt::LeftButton, Qt::ShiftModifier);
    ASSERT_EQ(clic.count(), 1);
    EXPECT_EQ(clic.at(0).at(0).toUInt(), 7u);
    EXPECT_EQ(clic.at(0).at(1).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));

    press(&label, Qt::RightButton);
    ASSERT_EQ(right.count(), 1);
    EXPECT_EQ(right.at(0).at(0).toUInt(), 7u);
    EXPECT_EQ(order, (QStringList{"right", "act"}));

    press(&label, Qt::MiddleButton);
    EXPECT_EQ(clic.count(), 1);
    EXPECT_EQ(right.count(), 1);

    label.disable();
    EXPECT_DOUBLE_EQ(view_opacity(&label), 0.6);
    press(&label, Qt::LeftButton);
    press(&label, Qt::RightButton);
    EXPECT_EQ(clic.count(), 1);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(rightAct.count(), 1);
}

TEST(ViewLabelTest, ElidesTheMiddleOnlyWhenAskedAndKeepsTheFullText) {
    widget_app();
    const QString text = "a_very_long_file_name_that_cannot_fit_in_sixty_pixels.mov";
    ViewLabel clipped(nullptr, QRect(0, 0, 60, 20), text, 1);
    EXPECT_EQ(clipped.shownText(), text);

    ViewLabel elided(nullptr, QRect(0, 0, 60, 20), "", 1);
    elided.setElideMiddle();
    elided.setText(text);
    EXPECT_EQ(elided.text(), text);
    const QString shown = elided.shownText();
    ASSERT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_TRUE(text.startsWith(shown.left(shown.indexOf(QChar(0x2026)))));
    EXPECT_TRUE(text.endsWith(shown.mid(shown.indexOf(QChar(0x2026)) + 1)));
    EXPECT_FALSE(shown.startsWith(QChar(0x2026)));
    EXPECT_FALSE(shown.endsWith(QChar(0x2026)));

    // Wide enough again after a resize: the whole text is back.
    elided.show();
    elided.resize(2000, 20);
    EXPECT_EQ(elided.shownText(), text);
}

TEST(ViewBtnTextTest, ClickCarriesTheButtonsOwnTagAndHoverLightsUp) {
    widget_app();
    ViewBtnText button(nullptr, QRect(0, 0, 80, 25), "OK");
    button.setDefaultColors();
    button.tag = 12;
    static_cast<ViewLabel&>(button).tag = 99;
    QSignalSpy spy(&button, &ViewBtnText::ViewBtnText_Clic);
    press(&button, Qt::LeftButton, Qt::AltModifier);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toUInt(), 12u);
    EXPECT_EQ(spy.at(0).at(1).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::AltModifier));

    EXPECT_EQ(background_of(button), QColor(35, 45, 54));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(background_of(button), QColor(69, 88, 106));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(background_of(button), QColor(35, 45, 54));

    button.disable();
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(background_of(button), QColor(35, 45, 54));
}

// Two real pictures written to a temporary folder, so the stepping does not depend
// on the resources.
struct TwoPictures {
    QTemporaryDir dir;
    QStringList paths;
    TwoPictures() {
        for (const char* name : {"a.png", "b.png"}) {
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::red);
            const QString path = dir.filePath(name);
            pixmap.save(path);
            paths << path;
        }
    }
};

TEST(ViewBtnImageTest, CyclingButtonStepsOnlyOnLeftPresses) {
    widget_app();
    qRegisterMetaType<QMouseEvent*>();
    TwoPictures pictures;
    ViewBtnImage button(nullptr, QRect(0, 0, 32, 32), pictures.paths);
    button.tag = 6;
    QSignalSpy clic(&button, &ViewBtnImage::ViewBtnImage_Clic);
    QSignalSpy right(&button, &ViewBtnImage::ViewBtnImage_RightClic);

    QList<uint32_t> seen;
    for (int i = 0; i < 3; ++i) {
        press(&button, Qt::LeftButton);
        seen << button.imageIndex();
    }
    EXPECT_EQ(seen, (QList<uint32_t>{1, 0, 1}));
    ASSERT_EQ(clic.count(), 3);
    EXPECT_EQ(clic.at(2).at(0).toUInt(), 6u);

    // A right press tells the owner but must not flip a play/pause picture.
    press(&button, Qt::RightButton);
    press(&button, Qt::MiddleButton);
    EXPECT_EQ(button.imageIndex(), 1u);
    ASSERT_EQ(right.count(), 1);
    EXPECT_EQ(right.at(0).at(0).toUInt(), 6u);
    EXPECT_EQ(clic.count(), 3);
}

TEST(ViewBtnImageTest, PressModesOneAndTwoAndDisabledKeepThePicture) {
    widget_app();
    TwoPictures pictures;
    for (uint32_t mode : {1u, 2u}) {
        SCOPED_TRACE(mode);
        ViewBtnImage button(nullptr, QRect(0, 0, 32, 32), pictures.paths);
        button.setClickMode(mode);
        QSignalSpy clic(&button, &ViewBtnImage::ViewBtnImage_Clic);
        press(&button, Qt::LeftButton);
        press(&button, Qt::LeftButton);
        EXPECT_EQ(button.imageIndex(), 0u);
        EXPECT_EQ(clic.count(), 2);
        // The bounce ends at full size.
        EXPECT_TRUE(QTest::qWaitFor([&] { return button.scale() == 1.0; }, 10000));
    }
    ViewBtnImage button(nullptr, QRect(0, 0, 32, 32), pictures.paths);
    QSignalSpy clic(&button, &ViewBtnImage::ViewBtnImage_Clic);
    button.disable();
    EXPECT_DOUBLE_EQ(view_opacity(&button), 0.5);
    press(&button, Qt::LeftButton);
    EXPECT_EQ(button.imageIndex(), 0u);
    EXPECT_EQ(clic.count(), 0);
    button.enable();
    press(&button, Qt::LeftButton);
    EXPECT_EQ(button.imageIndex(), 1u);
}

TEST(ViewBtnImageTest, AnimatedIndexChangeCrossFadesAndOutOfRangeIsIgnored) {
    widget_app();
    TwoPictures pictures;
    ViewBtnImage button(nullptr, QRect(0, 0, 32, 32), pictures.paths);
    button.setImageIndex(5, true);
    EXPECT_EQ(button.imageIndex(), 0u);
    button.setImageIndex(1, true);
    EXPECT_EQ(button.imageIndex(), 1u);
    EXPECT_LT(button.fade(), 1.0);
    (void)button.grab();  // paints both pictures mid-fade
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.fade() >= 1.0; }, 10000));
    button.nextImage(false);
    EXPECT_EQ(button.imageIndex(), 0u);
}

TEST(ViewBtnImageTest, HandCursorIsTheButtonsOwnAndNeverTheApplications) {
    auto host = shown_host();
    ViewBtnImage* button = new ViewBtnImage(host.get(), QRect(0, 0, 32, 32), QString());
    button->show();
    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // Disabled under the pointer (as a click that disables it would): no hand left.
    button->disable();
    EXPECT_NE(button->cursor().shape(), Qt::PointingHandCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    button->enable();
    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
}

TEST(ViewBtnImageTest, MissingPicturesAreLoggedAndPaintNothing) {
    widget_app();
    MessageCapture log;
    ViewBtnImage one(nullptr, QRect(0, 0, 32, 32), QString(":/nope.png"));
    EXPECT_EQ(log.count("Can't load Btn Img : :/nope.png"), 1);
    (void)one.grab();
    EXPECT_GE(log.count("imgPixNext null"), 1);

    ViewBtnImage two(nullptr, QRect(0, 0, 32, 32), QStringList{":/nope1.png", ":/nope2.png"});
    EXPECT_EQ(log.count("Can't load Btn img 2 : :/nope2.png"), 1);
    press(&two, Qt::LeftButton);
    EXPECT_EQ(two.imageIndex(), 1u);
    (void)two.grab();  // mid-fade with both pictures missing

    ViewBtnImage empty(nullptr, QRect(0, 0, 32, 32), QString());
    const int before = log.count("imgPixNext null");
    (void)empty.grab();
    EXPECT_EQ(log.count("imgPixNext null"), before + 1);
}

struct MuteSoloCase {
    uint32_t kind;
    QColor onColor;
    bool mute;
};

TEST(ViewBtnMuteSoloTest, ClicksToggleColourAndReportTheChannel) {
    widget_app();
    const MuteSoloCase cases[] = {{0, QColor(185, 105, 0), true}, {1, QColor(195, 26, 200), false}};
    for (const MuteSoloCase& c : cases) {
        SCOPED_TRACE(c.kind);
        ViewBtnMuteSolo button(nullptr, QRect(0, 0, 20, 20), 3, c.kind);
        button.resize(20, 20);
        QSignalSpy muted(&button, &ViewBtnMuteSolo::viewBtnMuteChanged);
        QSignalSpy solo(&button, &ViewBtnMuteSolo::viewBtnSoloChanged);
        auto* letter = button.findChild<ViewLabel*>();
        ASSERT_NE(letter, nullptr);
        EXPECT_EQ(letter->text(), c.mute ? "M" : "S");

        press(letter, Qt::LeftButton);
        EXPECT_TRUE(button.isOn());
        EXPECT_EQ(background_of(button), c.onColor);
        QSignalSpy& fired = c.mute ? muted : solo;
        ASSERT_EQ(fired.count(), 1);
        EXPECT_EQ(fired.at(0).at(0).toUInt(), 3u);
        EXPECT_EQ((c.mute ? solo : muted).count(), 0);

        button.setEnabledLook(false);
        EXPECT_FALSE(button.isOn());
        EXPECT_EQ(background_of(button), QColor(29, 54, 69));
        press(letter, Qt::LeftButton);
        EXPECT_EQ(fired.count(), 1);

        button.setEnabledLook(true);
        EXPECT_TRUE(button.isOn());
        press(letter, Qt::LeftButton);
        EXPECT_FALSE(button.isOn());
        EXPECT_EQ(background_of(button), QColor(29, 54, 69));
    }
}

TEST(ViewSimpleImageTest, FitsThePictureCentredAndSurvivesAMissingOne) {
    widget_app();
    QTemporaryDir dir;
    QPixmap pixmap(200, 100);
    pixmap.fill(Qt::green);
    const QString path = dir.filePath("wide.png");
    ASSERT_TRUE(pixmap.save(path));

    View_SimpleImage wide(nullptr, QRect(0, 0, 100, 100), path);
    EXPECT_EQ(wide.imageRect(), QRect(0, 25, 100, 50));
    wide.setAttribute(Qt::WA_NoSystemBackground);
    const QImage shot = wide.grab().toImage();
    EXPECT_EQ(shot.pixelColor(50, 50), QColor(Qt::green));
    EXPECT_NE(shot.pixelColor(50, 10), QColor(Qt::green));

    View_SimpleImage tall(nullptr, QRect(0, 0, 100, 40), path);
    EXPECT_EQ(tall.imageRect(), QRect(10, 0, 80, 40));

    MessageCapture log;
    View_SimpleImage missing(nullptr, QRect(0, 0, 100, 100), ":/nope.png");
    EXPECT_EQ(log.count("Can't load View Image : ':/nope.png'"), 1);
    EXPECT_TRUE(missing.imageRect().isEmpty());
    (void)missing.grab();

    View_SimpleImage none(nullptr, QRect(0, 0, 100, 100), QString());
    (void)none.grab();
}

}  // namespace
