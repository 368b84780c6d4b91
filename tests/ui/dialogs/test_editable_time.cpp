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
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

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

// A display shown as a window of its own, so that its entry takes the focus and the
// keys as under a user's click.
std::unique_ptr<ViewEditableTimeSpendTotal> make_shown_display(Rate rate, uint32_t mode, uint32_t start = 0) {
    auto display = make_display(rate, start);
    display->setModeRefresh(mode);
    display->setTotal(100000);
    display->setCurrent(0);
    EXPECT_TRUE(show_active(display.get()));
    return display;
}

// Clicks the current time, types `text` over the selected shown time (or leaves it
// when null) and presses Return. Returns the absolute frame reported, or -1 for
// anything else (an offset or a refusal).
int64_t click_type_return(ViewEditableTimeSpendTotal& display, const QString& text) {
    QSignalSpy absolute(&display, &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValue);
    QTest::mouseClick(display.currentLabel(), Qt::LeftButton);
    ViewTextEntry* entry = display.entry();
    if (!QTest::qWaitFor([&] { return entry->hasFocus(); }, 5000)) return -2;
    if (!text.isNull()) QTest::keyClicks(entry, text);
    QTest::keyClick(entry, Qt::Key_Return);
    if (display.isEditing() || absolute.count() != 1) return -1;
    return absolute.at(0).at(0).toLongLong();
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

// In the millisecond mode the digits after the point are a decimal fraction of a
// second, as the display writes them: ".5" is half a second, not 5 ms.
TEST(EditableTimeDisplay, TypedFractionOfASecondLandsOnItsFrame) {
    auto display = make_shown_display({25, 1, false}, UiTimemode_HoursMinutesSecondsMillis);
    struct Case {
        const char* typed;
        int64_t frame;
    } const cases[] = {
        {"00:00:01.5", 38}, {"00:00:01.50", 38}, {"00:00:01.500", 38},  // 37.5 rounds up, as the mode always did
        {"00:00:03.25", 81}, {"00:00:01.9999", 50}, {"1.04", 26}, {"00:01:00.2", 1505},
        {".5", 13}, {"00:00:02.", 50}, {"00:00:03.600", 90},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(click_type_return(*display, QString::fromLatin1(c.typed)), c.frame) << c.typed;
    }
    // An offset reads the same way.
    QSignalSpy offset(display.get(), &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValueByOffset);
    click_type_return(*display, QStringLiteral("+1.5"));
    ASSERT_EQ(offset.count(), 1);
    EXPECT_EQ(offset.at(0).at(0).toLongLong(), 38);
}

// A 29.97 movie with a drop-frame timecode track starting at 01:00:00;00 (frame
// count 107892), played at another rate: the timecode shown reads back to the frame
// that shows it, whether confirmed unchanged or typed.
TEST(EditableTimeDisplay, TimecodeShownAtARateWithoutDropFrameReadsBack) {
    auto display = make_shown_display({25, 1, true}, UiTimemode_Timecode, 107892);
    EXPECT_EQ(click_type_return(*display, QString()), 0) << qPrintable(display->currentLabel()->text());
    const int64_t typed = click_type_return(*display, QStringLiteral("01;12;01;00"));
    ASSERT_GE(typed, 0);
    display->setCurrent(uint32_t(typed));
    EXPECT_EQ(display->currentLabel()->text(), QStringLiteral("01;12;01;00"));

    auto film = make_shown_display({24000, 1001, true}, UiTimemode_Timecode);
    film->setCurrent(14382);
    EXPECT_EQ(click_type_return(*film, QString()), 14382) << qPrintable(film->currentLabel()->text());
}

// Every rate the Interpret Fps menu offers and movie rates of all kinds, with and
// without the timecode track's drop-frame flag and with several timecode starts:
// each shown timecode reads back to its own frame around the minute, ten-minute,
// hour and day marks.
TEST(EditableTimeDisplay, TimecodeReadsBackAtEveryRate) {
    const std::pair<uint32_t, uint32_t> rates[] = {
        // Interpret Fps menu
        {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {48, 1}, {50, 1}, {60000, 1001}, {60, 1},
        // movies' own rates, odd ones included
        {2997, 100}, {5994, 100}, {60000, 2002}, {23976, 1000}, {15000, 1001}, {120000, 1001}, {12, 1},
        {15, 1}, {7, 2}, {100, 1}, {240, 1}, {1000, 1}, {25000, 1001}};
    const uint32_t starts[] = {0, 107892, 215784};
    const double minutes[] = {0, 1, 2, 9, 10, 11, 20, 59, 60, 61, 600, 601, 1439, 1440};
    for (const auto& [num, den] : rates) {
        const double exact = double(num) / double(den);
        for (bool drop : {false, true}) {
            for (uint32_t start : starts) {
                auto display = make_display({num, den, drop}, start);
                display->setModeRefresh(UiTimemode_Timecode);
                // Frames of one day at most: past it the display wraps to midnight.
                const double day = std::min(std::round(86400.0 * exact), 86400.0 * nominal_fps(num, den));
                std::vector<uint32_t> frames;
                for (double minute : minutes) {
                    for (double base : {std::round(minute * 60.0 * exact), minute * 60.0 * nominal_fps(num, den)}) {
                        // The day mark: where start + frame wraps at 24 hours.
                        const bool dayMark = minute >= 1440;
                        if (dayMark && start == 0) continue;
                        for (int delta = -3; delta <= 3; ++delta) {
                            const double frame = base + delta - (dayMark ? start : 0);
                            if (frame >= 0 && frame < day) frames.push_back(uint32_t(frame));
                        }
                    }
                }
                QSignalSpy absolute(display.get(),
                                    &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValue);
                for (uint32_t frame : frames) {
                    display->setCurrent(frame);
                    const QString shown = display->currentLabel()->text();
                    absolute.clear();
                    type_time(*display, QString(), /*keepShownText=*/true);
                    ASSERT_EQ(absolute.count(), 1) << qPrintable(shown);
                    ASSERT_EQ(absolute.at(0).at(0).toUInt(), frame)
                        << "rate " << num << "/" << den << (drop ? " drop" : "") << " start " << start
                        << " shown " << qPrintable(shown);
                }
            }
        }
    }
}
