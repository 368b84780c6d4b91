// Clicks in the expression fields of the snapshot parameters dialog and of the
// preferences window, as a user makes them while typing: the click that starts an
// edit shows the stored expression, the clicks inside that edit only move the cursor
// or select, and Alt-click resets.
#include <gtest/gtest.h>

#include <QTest>

#include "test_prefs_support.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/view_bitrate_set.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_warning.h"
#include "ui/view_btn_text.h"
#include "ui/view_spin_box_eval.h"
#include "ui/view_text_entry.h"
#include "widget_app.h"

namespace {

// A point inside the entry, right of its centred text: a click there puts the cursor
// at the end.
QPoint at_end(const ViewTextEntry* entry) { return QPoint(entry->width() - 4, entry->height() / 2); }

// Starts an edit as a user does: a click into the entry, Ctrl+A, then `text` typed.
void start_typing(ViewTextEntry* entry, const QString& text) {
    QTest::mouseClick(entry, Qt::LeftButton, Qt::NoModifier, at_end(entry));
    ASSERT_TRUE(entry->hasFocus());
    QTest::keyClick(entry, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(entry, text);
}

// A double click the way Qt delivers one: press, release, press, double click, release.
void double_click(ViewTextEntry* entry, QPoint at) {
    QTest::mousePress(entry, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(entry, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(entry, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(entry, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(entry, Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace

TEST(ExpressionFieldClicks, ClicksInsideAnEditKeepTheTypedText) {
    widget_app();
    GlobalSettings settings;
    settings.snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;  // width takes typing
    settings.warn_about_high_bitrate = true;                              // so does the bit rate

    {
        DialogSnapshotParams dialog(nullptr, &settings);
        ASSERT_TRUE(show_active(&dialog));
        ViewSpinBoxIntEval* width = dialog.page()->widthBox();
        ViewTextEntry* entry = width->entry();
        ASSERT_EQ(entry->text().toStdString(), "1920");
        start_typing(entry, "1000+234");
        QTest::mouseClick(entry, Qt::LeftButton, Qt::NoModifier, at_end(entry));
        EXPECT_EQ(entry->text().toStdString(), "1000+234");
        QTest::keyClicks(entry, "+1");
        QTest::keyClick(entry, Qt::Key_Return);
        EXPECT_EQ(width->value(), 1235);
        EXPECT_EQ(entry->text().toStdString(), "1235");

        // The edit has ended: the next click shows the expression to edit again.
        QTest::mouseClick(entry, Qt::LeftButton, Qt::NoModifier, at_end(entry));
        EXPECT_EQ(entry->text().toStdString(), "1000+234+1");
        QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
        EXPECT_EQ(settings.snapshot_scale_width, 1235u);
    }

    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));
    ViewBitrateSet* field = dialog.warningPage()->bitrateSet();
    ViewTextEntry* entry = field->spinBox()->entry();
    ASSERT_EQ(entry->text().toStdString(), "1");  // GBytes/s
    start_typing(entry, "0.5");
    double_click(entry, entry->rect().center());  // selects the word under it
    EXPECT_EQ(entry->text().toStdString(), "0.5");
    QTest::mouseClick(entry, Qt::LeftButton, Qt::NoModifier, at_end(entry));
    EXPECT_EQ(entry->text().toStdString(), "0.5");
    QTest::keyClicks(entry, "+2");
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_EQ(entry->text().toStdString(), "2.5");
    EXPECT_EQ(field->bitrate(), 2e10);

    // Alt-click resets, inside an edit too.
    start_typing(entry, "7");
    QTest::mouseClick(entry, Qt::LeftButton, Qt::AltModifier, at_end(entry));
    EXPECT_EQ(entry->text().toStdString(), "1");
    EXPECT_EQ(field->bitrate(), 8e9);
}
