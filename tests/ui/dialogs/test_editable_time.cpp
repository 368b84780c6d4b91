// The editable time display: what each mode shows, mode switching, and the typed
// time read back as the inverse of the display (an unchanged entry never jumps).
#include "tests/support_qt/widget_app.h"
#include "tests/ui/core/message_capture.h"
#include "ui/time_entry_value.h"
#include "ui/view_editable_time.h"
#include "ui/view_label.h"
#include "ui/view_text_entry.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Rate {
    uint32_t num, den;
    bool drop;
};

std::unique_ptr<ViewEditableTimeSpendTotal> make_display(Rate rate, uint32_t start = 0) {
    widget_app();
    auto display = std::make_unique<ViewEditableTimeSpendTotal>(nullptr, QRect(0, 0, 180, 20));
    display->setRate(rate.num, rate.den);
    display->setLimits(start, rate.drop);
    return display;
}

// Types `text` into the entry as the user would after a click on the current time,
// then ends the edit.
void type_time(ViewEditableTimeSpendTotal& display, const QString& text, bool keepShownText = false) {
    display.ViewLabel_Clic(1, Qt::NoModifier);
    ASSERT_TRUE(display.isEditing());
    if (!keepShownText) display.entry()->setText(text);
    display.ViewTextEntry_EndEdit(0);
}

}  // namespace

TEST(EditableTimeDisplay, ShowsCurrentAndTotalInEachMode) {
    struct Case {
        uint32_t mode;
        uint32_t start;
        const char* current;
        const char* total;
    } const cases[] = {
        {0, 0, "00:00:03:15", "/ 00:00:10:00"},
        {2, 0, "00:00:03.600", "/ 00:00:10.000"},
        {3, 0, "90", "/ 250"},
        {1, 90000, "01:00:03:15", "/ 00:00:10:00"},
    };
    for (const Case& c : cases) {
        auto display = make_display({25, 1, false}, c.start);
        display->setModeRefresh(c.mode);
        display->setTotal(250);
        display->setCurrent(90);
        EXPECT_EQ(display->currentLabel()->text(), QString::fromLatin1(c.current)) << "mode " << c.mode;
        EXPECT_EQ(display->totalLabel()->text(), QString::fromLatin1(c.total)) << "mode " << c.mode;
    }
}

TEST(EditableTimeDisplay, ModeCyclesOnCtrlClickAndMenuAndIsReported) {
    auto display = make_display({25, 1, false});
    display->setTotal(250);
    display->setCurrent(90);
    QSignalSpy changed(display.get(), &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_ChangeTimeMode);

    const uint32_t expected[] = {1, 2, 3, 0};
    for (uint32_t i = 0; i < 4; ++i) {
        display->ViewLabel_Clic(i % 2 == 0 ? 1 : 2, Qt::ControlModifier);  // either label
        EXPECT_EQ(display->mode(), expected[i]);
    }
    ASSERT_EQ(changed.count(), 4);
    EXPECT_EQ(changed.at(3).at(0).value<UiTimemode>(), UiTimemode_HoursMinutesSecondsFrames);

    display->act_context_menu_time_mode(2);
    EXPECT_EQ(display->mode(), 2u);
    EXPECT_EQ(display->currentLabel()->text(), QStringLiteral("00:00:03.600"));
    display->act_context_menu_time_mode(7);
    EXPECT_EQ(display->mode(), 0u);

    // The right-click menu lists the four modes with the current one checked.
    display->act_context_menu_time_mode(3);
    QStringList seen;
    bool checkedFrames = false;
    display->execMenu = [&](QMenu& menu, const QPoint&) -> QAction* {
        for (QAction* a : menu.actions()) seen << a->text();
        checkedFrames = menu.actions().at(3)->isChecked();
        return menu.actions().at(1);
    };
    display->ViewLabel_RightClic(2, nullptr);
    EXPECT_EQ(seen, (QStringList{"HH:MM:SS:FF", "Timecode", "HH:MM:SS.Mill", "Frames"}));
    EXPECT_TRUE(checkedFrames);
    EXPECT_EQ(display->mode(), 1u);

    // The owner's own choice is not reported back to it.
    const int before = changed.count();
    display->setModeRefresh(2);
    EXPECT_EQ(changed.count(), before);
}

TEST(EditableTimeDisplay, ClicksDoNothingBeforeFirstValueAndTotalLabelDoesNotEdit) {
    auto display = make_display({25, 1, false});
    display->ViewLabel_Clic(1, Qt::NoModifier);
    EXPECT_FALSE(display->isEditing());
    display->setModeRefresh(3);
    EXPECT_TRUE(display->currentLabel()->text().isEmpty());
    EXPECT_TRUE(display->totalLabel()->text().isEmpty());

    display->setCurrent(5);
    display->ViewLabel_Clic(2, Qt::NoModifier);
    EXPECT_FALSE(display->isEditing());
    display->ViewLabel_Clic(1, Qt::NoModifier);
    EXPECT_TRUE(display->isEditing());
    EXPECT_TRUE(display->currentLabel()->isHidden());
    EXPECT_FALSE(display->entry()->isHidden());
    EXPECT_EQ(display->entry()->text(), QStringLiteral("5"));
    EXPECT_EQ(display->entry()->selectedText(), QStringLiteral("5"));
}

TEST(EditableTimeDisplay, TypedValuesAndOffsets) {
    struct Case {
        Rate rate;
        uint32_t mode;
        const char* typed;
        int kind;  // 0 absolute, 1 offset, 2 invalid
        int64_t value;
    } const cases[] = {
        {{25, 1, false}, 0, "+10", 1, 10},
        {{25, 1, false}, 0, "-1:00", 1, -25},
        {{30000, 1001, true}, 0, "00:01:00;02", 0, 1800},
        {{30000, 1001, true}, 1, "00:01:00;02", 0, 1800},
        {{30000, 1001, true}, 1, "00:10:00;00", 0, 17982},
        {{25, 1, false}, 2, "00:00:03.600", 0, 90},
        {{25, 1, false}, 2, "+1.000", 1, 25},
        {{25, 1, false}, 3, "1234", 0, 1234},
        {{25, 1, false}, 0, "1:x", 2, 0},
        // Too large for 32 bits: refused, never wrapped.
        {{25, 1, false}, 3, "4294967296", 2, 0},
        {{25, 1, false}, 0, "50000:00:00:00", 2, 0},
        {{25, 1, false}, 1, "+50000:00:00:00", 2, 0},
        {{25, 1, false}, 2, "99999999:00:00.000", 2, 0},
        {{25, 1, false}, 3, "4294967295", 0, 4294967295LL},
    };
    for (const Case& c : cases) {
        auto display = make_display(c.rate);
        display->setModeRefresh(c.mode);
        display->setTotal(100);
        display->setCurrent(0);
        QSignalSpy absolute(display.get(), &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValue);
        QSignalSpy offset(display.get(),
                          &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValueByOffset);
        QSignalSpy invalid(display.get(), &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_InvalidNewTime);
        type_time(*display, QString::fromLatin1(c.typed));
        EXPECT_FALSE(display->currentLabel()->isHidden()) << c.typed;
        EXPECT_TRUE(display->entry()->isHidden()) << c.typed;
        EXPECT_EQ(absolute.count(), c.kind == 0 ? 1 : 0) << c.typed;
        EXPECT_EQ(offset.count(), c.kind == 1 ? 1 : 0) << c.typed;
        EXPECT_EQ(invalid.count(), c.kind == 2 ? 1 : 0) << c.typed;
        if (c.kind == 0 && absolute.count() == 1) {
            EXPECT_EQ(absolute.at(0).at(0).toLongLong(), c.value) << c.typed;
        }
        if (c.kind == 1 && offset.count() == 1) {
            EXPECT_EQ(offset.at(0).at(0).toLongLong(), c.value) << c.typed;
        }
    }
}

TEST(EditableTimeDisplay, UnparsableTextIsLogged) {
    auto display = make_display({25, 1, false});
    display->setCurrent(0);
    MessageCapture log;
    type_time(*display, QStringLiteral("1:x"));
    EXPECT_EQ(log.count(QStringLiteral("Fail to parse Str TC : '1:x%'")), 1);
}

TEST(EditableTimeDisplay, UnchangedEntryGivesBackTheShownFrameInEveryMode) {
    const Rate rates[] = {{25, 1, false}, {30000, 1001, true}, {30000, 1001, false}, {24000, 1001, false},
                          {60000, 1001, true}, {50, 1, false}};
    const uint32_t starts[] = {0, 90000, 107892};
    const uint32_t frames[] = {0, 1, 90, 1799, 1800, 17982, 17983, 107891, 107892, 2000000};  // under a day at every rate
    for (const Rate& rate : rates) {
        for (uint32_t start : starts) {
            for (uint32_t mode = 0; mode < 4; ++mode) {
                auto display = make_display(rate, start);
                display->setModeRefresh(mode);
                for (uint32_t frame : frames) {
                    display->setCurrent(frame);
                    const QString shown = display->currentLabel()->text();
                    QSignalSpy absolute(display.get(),
                                        &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValue);
                    type_time(*display, QString(), /*keepShownText=*/true);
                    ASSERT_EQ(absolute.count(), 1) << qPrintable(shown);
                    EXPECT_EQ(absolute.at(0).at(0).toUInt(), frame)
                        << "rate " << rate.num << "/" << rate.den << (rate.drop ? " drop" : "") << " start " << start
                        << " mode " << mode << " shown " << qPrintable(shown);
                }
            }
        }
    }
}

TEST(TimeEntryValue, OffsetsInTimecodeModeIgnoreTheStart) {
    const TimeEntryValue v = time_entry_value(QStringLiteral("+00:00:01:00"), 1, 25, 1, 25.0f, 90000, false);
    ASSERT_TRUE(v.valid);
    EXPECT_EQ(v.sign, 1);
    EXPECT_EQ(v.frames, 25u);
    // An absolute time before the start of a movie that crosses midnight wraps.
    const TimeEntryValue w = time_entry_value(QStringLiteral("00:00:01:00"), 1, 25, 1, 25.0f, 2159975, false);
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.frames, 50u);
}
