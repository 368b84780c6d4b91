// The scroll view's bars and auto-scroll, and the text log's appends.
#include "tests/support_qt/widget_app.h"
#include "ui/view_simple_scroll.h"
#include "ui/view_text_scrollable.h"

#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(SimpleScroll, BarsOnlyBeyondFivePixels) {
    widget_app();
    struct Case {
        int extraW, extraH;
        Qt::ScrollBarPolicy horizontal, vertical;
    } const cases[] = {
        {0, 4, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOff},
        {0, 5, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOff},
        {0, 6, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOn},
        {6, 0, Qt::ScrollBarAlwaysOn, Qt::ScrollBarAlwaysOff},
    };
    for (const Case& c : cases) {
        ViewSimpleScroll scroll(nullptr, QRect(0, 0, 200, 100));
        scroll.resize(200, 100);
        scroll.contentWidget()->resize(200 + c.extraW, 100 + c.extraH);
        scroll.updateLayout();
        EXPECT_EQ(scroll.scrollArea()->horizontalScrollBarPolicy(), c.horizontal) << c.extraW << "," << c.extraH;
        EXPECT_EQ(scroll.scrollArea()->verticalScrollBarPolicy(), c.vertical) << c.extraW << "," << c.extraH;
    }
}

TEST(SimpleScroll, AutoScrollRunsToTheEndAndStops) {
    widget_app();
    ViewSimpleScroll scroll(nullptr, QRect(0, 0, 200, 100));
    scroll.resize(200, 100);
    scroll.contentWidget()->resize(200, 400);
    scroll.updateLayout();
    scroll.show();
    QScrollBar* bar = scroll.scrollArea()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    scroll.setAutoScroll(40);
    EXPECT_EQ(bar->value(), 40);  // the first step is immediate
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == bar->maximum(); }, 10000));
    scroll.setAutoScroll(-1000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 0; }, 10000));
    scroll.setAutoScroll(10);
    scroll.setAutoScroll(0);  // stops before the next tick
    const int stopped = bar->value();
    QTest::qWait(50);
    EXPECT_EQ(bar->value(), stopped);
}

TEST(TextLog, AppendsKeepBatchesOnLinesOfTheirOwn) {
    widget_app();
    struct Step {
        int kind;  // 0 appendText, 1 appendLines
        QStringList input;
        bool newLine;
    };
    struct Case {
        QList<Step> steps;
        const char* expected;
    } const cases[] = {
        {{{1, {"a", "b"}, true}}, "a\nb"},
        {{{1, {"a", "b"}, true}, {0, {"c"}, true}}, "a\nbc\n"},
        // A batch after text without a final line feed starts a new line.
        {{{1, {"a", "b"}, true}, {1, {"c", "d"}, true}}, "a\nb\nc\nd"},
        {{{0, {"x"}, true}, {1, {"c", "d"}, true}}, "x\nc\nd"},
        {{{1, {"c", "d"}, true}}, "c\nd"},
        // Joined without line feeds, a batch continues the text as asked.
        {{{0, {"x"}, false}, {1, {"c", "d"}, false}}, "xcd"},
        {{{0, {"x"}, false}, {1, {}, true}}, "x"},
    };
    for (const Case& c : cases) {
        ViewTextScrollable view(nullptr, QRect(0, 0, 200, 100));
        for (const Step& s : c.steps) {
            if (s.kind == 0)
                view.appendText(s.input.first(), s.newLine);
            else
                view.appendLines(s.input, s.newLine);
        }
        EXPECT_EQ(view.text(), QString::fromLatin1(c.expected));
    }
}

TEST(TextLog, ReadOnlyClearAndKeyReleaseSignal) {
    widget_app();
    ViewTextScrollable view(nullptr, QRect(0, 0, 200, 100));
    view.tag = 4;
    EXPECT_TRUE(view.isReadOnly());
    EXPECT_FALSE(view.hasText());
    view.appendText(QStringLiteral("abc"), false);
    EXPECT_TRUE(view.hasText());
    view.clear();
    EXPECT_FALSE(view.hasText());

    QSignalSpy changed(&view, &ViewTextScrollable::ViewTextScrollable_textDidChange);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(&view, &release);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toUInt(), 4u);

    // A click makes the log editable only when its owner allows it.
    QTest::mouseClick(view.viewport(), Qt::LeftButton);
    EXPECT_TRUE(view.isReadOnly());
    view.editableOnClic = true;
    QTest::mouseClick(view.viewport(), Qt::LeftButton);
    EXPECT_FALSE(view.isReadOnly());
}
