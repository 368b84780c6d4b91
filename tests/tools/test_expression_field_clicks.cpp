// Clicks in the expression fields of the snapshot parameters dialog and of the
// preferences window, as a user makes them while typing: the click that starts an
// edit shows the stored expression, the clicks inside that edit only move the cursor
// or select, Alt-click resets, and what the entry's own context menu does is part of
// the edit.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>

#include "test_prefs_support.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/view_bitrate_set.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_warning.h"
#include "ui/view_btn_text.h"
#include "ui/view_spin_box.h"
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

// A key pressed as a user presses it: QTest gives it to the open menu, else to the
// widget that has the focus, whichever that is.
void press(Qt::Key key) { QTest::keyClick(static_cast<QWidget*>(nullptr), key); }

// A right click at the end of the entry's text, through the window as the platform
// delivers it (the press, then the context menu event), returns the menu it opened.
QMenu* open_entry_menu(ViewTextEntry* entry) {
    QWidget* window = entry->window();
    const QPoint at = entry->mapTo(window, at_end(entry));
    if (window->childAt(at) != entry) return nullptr;  // hidden by something, or out of view
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// Picks `name` in the entry's context menu with the arrow keys and Return, or a click.
void choose(ViewTextEntry* entry, const QString& name, bool byKeys) {
    QMenu* menu = open_entry_menu(entry);
    ASSERT_NE(menu, nullptr);
    QAction* action = nullptr;
    for (QAction* a : menu->actions())
        if (a->text().remove('&').section('\t', 0, 0) == name) action = a;
    ASSERT_NE(action, nullptr) << name.toStdString();
    if (byKeys) {
        for (int i = 0; i < menu->actions().size() && menu->activeAction() != action; ++i) press(Qt::Key_Down);
        ASSERT_EQ(menu->activeAction(), action);
        press(Qt::Key_Return);
    } else {
        QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    }
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
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

TEST(ExpressionFieldClicks, WhatTheEntrysOwnMenuDoesIsPartOfTheEdit) {
    widget_app();
    GlobalSettings settings;
    settings.snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;  // the width takes typing
    settings.snapshot_format = GlobalSettings::SnapshotFormat_Jpeg;       // and the quality
    DialogSnapshotParams dialog(nullptr, &settings);
    ASSERT_TRUE(show_active(&dialog));

    // An expression: Paste chosen with the keys, then Return evaluates what it shows.
    ViewSpinBoxIntEval* width = dialog.page()->widthBox();
    start_typing(width->entry(), "200");
    QApplication::clipboard()->setText("*3");
    choose(width->entry(), "Paste", true);
    EXPECT_EQ(width->entry()->text().toStdString(), "200*3");
    press(Qt::Key_Return);
    EXPECT_EQ(width->value(), 600);

    // The menu left with Escape: the typing goes on in the entry.
    start_typing(width->entry(), "5");
    ASSERT_NE(open_entry_menu(width->entry()), nullptr);
    press(Qt::Key_Escape);
    QTest::keyClicks(static_cast<QWidget*>(nullptr), "+20");
    EXPECT_EQ(width->entry()->text().toStdString(), "5+20");

    // A digit field: Select All and Cut, a digit typed, then Paste with a click.
    ViewTextEntry* quality = dialog.page()->qualityBox()->entry();
    start_typing(quality, "9");
    choose(quality, "Select All", true);
    choose(quality, "Cut", false);
    EXPECT_EQ(quality->text().toStdString(), "");
    QTest::keyClicks(static_cast<QWidget*>(nullptr), "6");
    choose(quality, "Paste", false);
    EXPECT_EQ(quality->text().toStdString(), "69");
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.snapshot_scale_width, 25u);
    EXPECT_EQ(settings.snapshot_jpeg_qual, 69u);
}
