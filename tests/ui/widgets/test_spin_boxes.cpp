// Entries and spin boxes as a user types into them: Return ends an edit once, digit
// boxes clamp and snap, expression boxes compute what was typed, refuse what is out
// of range with the error icon, remember the formula, and the arrows stop at the
// edges of the range.
#include "tests/ui/core/message_capture.h"
#include "tests/ui/widgets/widget_test_util.h"
#include "ui/expr_evaluate.h"
#include "ui/view_simple_image.h"
#include "ui/view_spin_box.h"
#include "ui/view_spin_box_eval.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// Clicks into the entry, types `text` over what it shows and presses Return.
void type_and_return(ViewTextEntry* entry, const QString& text) {
    QTest::mouseClick(entry, Qt::LeftButton);
    entry->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(entry, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(entry, text);
    }
    QTest::keyClick(entry, Qt::Key_Return);
}

TEST(ViewTextEntryTest, ReturnEndsTheEditOnceThroughTheFocusOut) {
    auto host = shown_host();
    auto* entry = new ViewTextEntry(host.get(), QRect(0, 0, 100, 25));
    entry->tag = 4;
    entry->show();
    QSignalSpy ended(entry, &ViewTextEntry::end_text_edit);
    QSignalSpy endEdit(entry, &ViewTextEntry::ViewTextEntry_EndEdit);
    QSignalSpy returned(entry, &QLineEdit::returnPressed);
    entry->focusEntry();
    ASSERT_TRUE(QTest::qWaitFor([&] { return entry->hasFocus(); }, 10000));
    QTest::keyClicks(entry, "abc");
    entry->selectAll();
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_FALSE(entry->hasFocus());
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toUInt(), 4u);
    EXPECT_EQ(endEdit.count(), 1);
    EXPECT_EQ(returned.count(), 0);
    EXPECT_EQ(entry->text(), "abc");
    EXPECT_EQ(entry->rememberedSelectionStart(), 0);
    EXPECT_EQ(entry->rememberedSelectionLength(), 3);
}

TEST(ViewSpinBoxIntTest, TypedDigitsAreValidatedClampedOrDefaulted) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxInt(host.get(), QRect(0, 0, 100, 25), 10, 0, 100);
    box->show();
    QSignalSpy changed(box, &ViewSpinBoxInt::act_spinbox_value_changed);

    QTest::mouseClick(box->entry(), Qt::LeftButton);
    box->entry()->selectAll();
    QTest::keyClick(box->entry(), Qt::Key_Backspace);
    QTest::keyClicks(box->entry(), "abc");
    EXPECT_EQ(box->entry()->text(), "");  // letters never get in
    QTest::keyClick(box->entry(), Qt::Key_Return);
    EXPECT_EQ(box->value(), 10);
    EXPECT_EQ(changed.count(), 1);

    type_and_return(box->entry(), "42");
    EXPECT_EQ(box->value(), 42);
    type_and_return(box->entry(), "150");
    EXPECT_EQ(box->value(), 100);
    EXPECT_EQ(box->entry()->text(), "100");
    type_and_return(box->entry(), "");
    EXPECT_EQ(box->value(), 10);
    EXPECT_EQ(changed.count(), 4);

    // Alt-click restores the default without a signal.
    box->set_value(60);
    QTest::mouseClick(box->entry(), Qt::LeftButton, Qt::AltModifier);
    EXPECT_EQ(box->value(), 10);
    EXPECT_EQ(changed.count(), 4);
}

struct SnapCase {
    int32_t value;
    uint32_t multiple;
    bool accepted;
    int32_t result;
};

TEST(ViewSpinBoxIntTest, SnapsDownToTheMultipleAndRefusesOutsideTheRange) {
    widget_app();
    // The box holds 0 in -100..100 before each case; a refused value leaves it.
    const SnapCase cases[] = {
        {17, 5, true, 15},     {15, 5, true, 15},     {-7, 5, true, -10},      {-10, 5, true, -10},
        {-1, 4, true, -4},     {7, 0, true, 7},       {-7, 0, true, -7},       {-98, 5, true, -100},
        {99, 100, true, 0},    {-1, 100, true, -100}, {100, 100, true, 100},   {-103, 5, false, 0},
        {101, 0, false, 0},    {INT32_MIN, 7, false, 0},
    };
    for (const SnapCase& c : cases) {
        SCOPED_TRACE(QString("%1 by %2").arg(c.value).arg(c.multiple).toStdString());
        ViewSpinBoxInt box(nullptr, QRect(0, 0, 100, 25), 0, -100, 100);
        box.snapping = c.multiple;
        EXPECT_EQ(box.set_value(c.value), c.accepted);
        EXPECT_EQ(box.value(), c.result);
    }
    // The refusal names the snapped value.
    ViewSpinBoxInt box(nullptr, QRect(0, 0, 100, 25), 0, -100, 100);
    box.snapping = 5;
    MessageCapture log;
    EXPECT_FALSE(box.set_value(-103));
    EXPECT_EQ(log.count("ERREUR : ViewSpinBoxInt : set_value : invalid value : -105 (Min Value : -100 ; Max Value : 100"), 1);
}

// Arrow steps on each of the three boxes: the arrow toward an edge dims at that edge
// and a click on it changes nothing.
template <class Box>
void check_arrows(Box& box, double max, double min) {
    box.set_value(max);
    EXPECT_DOUBLE_EQ(view_opacity(box.upArrow()), 0.5);
    EXPECT_DOUBLE_EQ(view_opacity(box.downArrow()), 1.0);
    press(box.upArrow(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(box.value(), max);
    press(box.downArrow(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(box.value(), max - 1);
    EXPECT_DOUBLE_EQ(view_opacity(box.upArrow()), 1.0);
    press(box.upArrow(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(box.value(), max);

    box.set_value(min);
    EXPECT_DOUBLE_EQ(view_opacity(box.downArrow()), 0.5);
    press(box.downArrow(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(box.value(), min);
    press(box.upArrow(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(box.value(), min + 1);

    // A disabled box keeps both arrows dimmed and deaf.
    box.setEnabledLook(false);
    EXPECT_DOUBLE_EQ(view_opacity(box.upArrow()), 0.5);
    EXPECT_DOUBLE_EQ(view_opacity(box.downArrow()), 0.5);
    press(box.upArrow(), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(box.value(), min + 1);
    box.setEnabledLook(true);
    EXPECT_DOUBLE_EQ(view_opacity(box.upArrow()), 1.0);
}

TEST(SpinBoxArrowsTest, ArrowsStopAtTheEdgesOfTheRange) {
    widget_app();
    ViewSpinBoxInt digits(nullptr, QRect(0, 0, 100, 25), 10, 0, 100);
    check_arrows(digits, 100, 0);
    ViewSpinBoxIntEval integers(nullptr, QRect(0, 0, 150, 25), 10, 0, 100);
    check_arrows(integers, 100, 0);
    ViewSpinBoxFloatEval floats(nullptr, QRect(0, 0, 150, 25), 1.0f, -2.0f, 5.0f);
    check_arrows(floats, 5.0, -2.0);

    // A step past the edge is refused, and the Changed signal still follows.
    integers.step = 10;
    integers.set_value(95);
    QSignalSpy changed(&integers, &ViewSpinBoxIntEval::ViewSpinboxIntEval_Changed);
    press(integers.upArrow(), Qt::LeftButton);
    EXPECT_EQ(integers.value(), 95);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 95);
}

TEST(ViewSpinBoxIntEvalTest, TypedExpressionIsComputedAndRememberedForTheNextEdit) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxIntEval(host.get(), QRect(0, 0, 150, 25), 20, 0, 100);
    box->tag = 3;
    box->show();
    QSignalSpy changed(box, &ViewSpinBoxIntEval::ViewSpinboxIntEval_Changed);

    type_and_return(box->entry(), "2*3+1");
    EXPECT_EQ(box->value(), 7);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toUInt(), 3u);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 7);
    EXPECT_EQ(box->entry()->text(), "7");
    EXPECT_FALSE(box->errorIcon()->isVisible());

    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "2*3+1");
    box->entry()->unfocus();

    // 2.5 rounds half away from zero.
    type_and_return(box->entry(), "5/2");
    EXPECT_EQ(box->value(), 3);
}

// A value given from outside replaces what was typed: the entry then shows the value
// when clicked into, and ending that edit changes nothing. A typed value out of range
// keeps its expression (and its message) for the next edit.
TEST(ViewSpinBoxIntEvalTest, ValueFromOutsideForgetsTheTypedExpression) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxIntEval(host.get(), QRect(0, 0, 150, 25), 20, 0, 100);
    box->show();

    type_and_return(box->entry(), "2*3+1");
    box->set_value(50);
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "50");
    box->entry()->unfocus();
    EXPECT_EQ(box->value(), 50);

    type_and_return(box->entry(), "4*4");
    box->set_to_default_value();
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "20");
    QTest::keyClick(box->entry(), Qt::Key_Return);
    EXPECT_EQ(box->value(), 20);

    // The icon of a failed expression goes with it.
    type_and_return(box->entry(), "1/0");
    EXPECT_TRUE(box->errorIcon()->isVisible());
    box->set_value(40);
    EXPECT_FALSE(box->errorIcon()->isVisible());
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "40");
    box->entry()->unfocus();

    type_and_return(box->entry(), "500");
    EXPECT_EQ(box->value(), 20);
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "500");
    box->entry()->unfocus();
    EXPECT_EQ(box->value(), 20);
    EXPECT_TRUE(box->errorIcon()->isVisible());
}

// The float box shows six significant digits; clicking into it and pressing Return
// without typing keeps the value it holds, not the rounded text, and still signals.
TEST(ViewSpinBoxFloatEvalTest, ReturnWithoutTypingKeepsTheUnroundedValue) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxFloatEval(host.get(), QRect(0, 0, 150, 25), 1.0f, 0.0f, 10.0f);
    box->show();
    box->set_value(1.234567f);
    EXPECT_EQ(box->entry()->text(), "1.23457");
    QSignalSpy changed(box, &ViewSpinBoxFloatEval::ViewSpinboxFloatEval_Changed);
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "1.23457");
    QTest::keyClick(box->entry(), Qt::Key_Return);
    EXPECT_EQ(box->value(), 1.234567f);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(1).toFloat(), 1.234567f);
}

struct RefusedCase {
    QString typed;
    int32_t value;  // after the edit (default 20, previous 30)
    bool icon;
    QString tooltip;
};

TEST(ViewSpinBoxIntEvalTest, OutOfRangeFailedAndEmptyExpressions) {
    auto host = shown_host();
    const RefusedCase cases[] = {
        {"500", 20, true, "Out of range value : 500 not in range 0 -> 100"},
        {"1e10", 20, true, "Out of range value : 10000000000 not in range 0 -> 100"},
        {"-1", 20, true, "Out of range value : -1 not in range 0 -> 100"},
        {"1/0", 30, true, "Fail to evaluate (divide by zero ?)"},
        {"2*(3", 30, true, "Fail to evaluate at character 4"},
        {"", 20, false, ""},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        auto* box = new ViewSpinBoxIntEval(host.get(), QRect(0, 0, 150, 25), 20, 0, 100);
        box->show();
        box->set_value(30);
        QSignalSpy changed(box, &ViewSpinBoxIntEval::ViewSpinboxIntEval_Changed);
        MessageCapture log;
        type_and_return(box->entry(), c.typed);
        EXPECT_EQ(box->value(), c.value);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(box->errorIcon()->isVisible(), c.icon);
        if (c.icon) {
            EXPECT_EQ(box->errorIcon()->toolTip(), c.tooltip);
            EXPECT_GE(log.count("Set picto tooltip : " + c.tooltip), 1);
        }
        // The arrows clear the expression and its error.
        press(box->downArrow(), Qt::LeftButton);
        EXPECT_FALSE(box->errorIcon()->isVisible());
        delete box;
    }
}

TEST(ViewSpinBoxFloatEvalTest, FailedExpressionKeepsTheValueAndDisplayUsesSixDigits) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxFloatEval(host.get(), QRect(0, 0, 150, 25), 1.0f, 0.0f, 2e6f);
    box->tag = 9;
    box->show();
    QSignalSpy changed(box, &ViewSpinBoxFloatEval::ViewSpinboxFloatEval_Changed);

    type_and_return(box->entry(), "0.1");
    EXPECT_FLOAT_EQ(box->value(), 0.1f);
    EXPECT_EQ(box->entry()->text(), "0.1");
    type_and_return(box->entry(), "1/0");
    EXPECT_FLOAT_EQ(box->value(), 0.1f);
    EXPECT_TRUE(box->errorIcon()->isVisible());
    EXPECT_EQ(box->errorIcon()->toolTip(), "Fail to evaluate (divide by zero ?)");
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toUInt(), 9u);
    EXPECT_FLOAT_EQ(changed.at(1).at(1).toFloat(), 0.1f);

    type_and_return(box->entry(), "1234567");
    EXPECT_EQ(box->entry()->text(), "1.23457e+06");
    EXPECT_FALSE(box->errorIcon()->isVisible());
    type_and_return(box->entry(), "3e6");
    EXPECT_FLOAT_EQ(box->value(), 1.0f);
    EXPECT_EQ(box->errorIcon()->toolTip(), "Out of range value : 3e+06 not in range 0 -> 2e+06");
}

TEST(ViewSpinBoxEvalTest, AltClickResetsToDefaultAndOnlyTheFloatBoxSaysSo) {
    auto host = shown_host();
    auto* floats = new ViewSpinBoxFloatEval(host.get(), QRect(0, 0, 150, 25), 1.5f, 0.0f, 10.0f);
    floats->tag = 2;
    floats->show();
    floats->set_value(7.0f);
    QSignalSpy changed(floats, &ViewSpinBoxFloatEval::ViewSpinboxFloatEval_Changed);
    QSignalSpy reset(floats, &ViewSpinBoxFloatEval::ViewSpinboxFloatEval_ValueResetToDefault);
    QTest::mouseClick(floats->entry(), Qt::LeftButton, Qt::AltModifier);
    EXPECT_FLOAT_EQ(floats->value(), 1.5f);
    ASSERT_EQ(reset.count(), 1);
    EXPECT_EQ(reset.at(0).at(0).toUInt(), 2u);
    EXPECT_EQ(changed.count(), 0);

    auto* integers = new ViewSpinBoxIntEval(host.get(), QRect(0, 200, 150, 25), 4, 0, 10);
    integers->show();
    integers->set_value(8);
    QSignalSpy intChanged(integers, &ViewSpinBoxIntEval::ViewSpinboxIntEval_Changed);
    QTest::mouseClick(integers->entry(), Qt::LeftButton, Qt::AltModifier);
    EXPECT_EQ(integers->value(), 4);
    EXPECT_EQ(intChanged.count(), 0);
}

TEST(ViewSpinBoxEvalTest, ClearOnEditAndBlankBoxes) {
    auto host = shown_host();
    auto* box = new ViewSpinBoxIntEval(host.get(), QRect(0, 0, 150, 25), 5, 0, 10);
    box->show();
    box->clearOnEdit = true;
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    EXPECT_EQ(box->entry()->text(), "");
    QTest::keyClicks(box->entry(), "3");
    QTest::keyClick(box->entry(), Qt::Key_Return);
    EXPECT_EQ(box->value(), 3);
    EXPECT_FALSE(box->clearOnEdit);

    box->blank = true;
    box->set_value(4);
    EXPECT_FALSE(box->blank);  // an accepted value shows again
    EXPECT_EQ(box->entry()->text(), "4");
}

struct ConstructionCase {
    int32_t def, min, max;
    QStringList messages;
    int32_t value, minimum, maximum;
};

TEST(ViewSpinBoxEvalTest, RefusedConstructionArgumentsLeaveAUsableBox) {
    widget_app();
    const ConstructionCase cases[] = {
        {3, 5, 1,
         {"ERREUR : ViewSpinBoxIntEval : set all values : Min Value (5) doit etre inferieure ou egale a maxvalue (1)",
          "Invalid default value"},
         0, 0, 1},
        {50, 0, 10,
         {"ERREUR : ViewSpinBoxIntEval : set all values : Default value invalide (50) (Min Val : 0 : MaxVal : 10)",
          "Invalid default value"},
         0, 0, 10},
        {-5, -10, -2,
         {}, -5, -10, -2},
    };
    for (const ConstructionCase& c : cases) {
        SCOPED_TRACE(c.def);
        MessageCapture log;
        ViewSpinBoxIntEval box(nullptr, QRect(0, 0, 150, 25), c.def, c.min, c.max);
        EXPECT_EQ(log.messages(), c.messages);
        EXPECT_EQ(box.value(), c.value);
        EXPECT_EQ(box.minimum(), c.minimum);
        EXPECT_EQ(box.maximum(), c.maximum);
        EXPECT_EQ(box.entry()->text(), QString::number(c.value));
    }
    MessageCapture log;
    ViewSpinBoxInt digits(nullptr, QRect(0, 0, 100, 25), 3, 5, 1);
    EXPECT_EQ(log.messages(),
              (QStringList{"ERREUR : ViewSpinBoxInt : set all values : Min Value (5) doit etre inferieure ou egale a maxvalue (1)",
                           "Invalid default value"}));
    EXPECT_EQ(digits.value(), 0);
    ViewSpinBoxFloatEval floats(nullptr, QRect(0, 0, 100, 25), 3, 5, 1);
    EXPECT_TRUE(log.messages().contains(
        "ERREUR : ViewSpinBoxFloatEval : set all values : Min Value (5.000000) doit etre inferieure ou egale a maxvalue (1.000000)"));
    EXPECT_FLOAT_EQ(floats.value(), 0.0f);
}

}  // namespace
