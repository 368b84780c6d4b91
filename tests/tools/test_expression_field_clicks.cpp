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
#include <QScrollArea>
#include <QTest>

#include "test_prefs_support.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/view_bitrate_set.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_warning.h"
#include "ui/view_btn_text.h"
#include "ui/view_simple_scroll.h"
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

// Typing as a user does.
void type_keys(const QString& text) {
    for (const QChar c : text) QTest::keyClick(static_cast<QWidget*>(nullptr), c.toLatin1());
}

// A right click at the end of the entry's text, through the window as the platform
// delivers it (the press, then the context menu event), returns the menu it opened.
QMenu* open_entry_menu(ViewTextEntry* entry) {
    QWidget* window = entry->window();
    const QPoint at = entry->mapTo(window, at_end(entry));
    if (window->childAt(at) != entry) return nullptr;  // hidden by something, or out of view
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* menu_entry(QMenu* menu, const QString& name) {
    for (QAction* action : menu->actions())
        if (action->text().remove('&').section('\t', 0, 0) == name) return action;
    return nullptr;
}

// Picks `name` in the entry's context menu with the arrow keys and Return.
void choose_by_keys(ViewTextEntry* entry, const QString& name) {
    QMenu* menu = open_entry_menu(entry);
    ASSERT_NE(menu, nullptr);
    QAction* action = menu_entry(menu, name);
    ASSERT_NE(action, nullptr) << name.toStdString();
    for (int i = 0; i < menu->actions().size() && menu->activeAction() != action; ++i)
        press(Qt::Key_Down);
    ASSERT_EQ(menu->activeAction(), action);
    press(Qt::Key_Return);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// Picks `name` in the entry's context menu with a left click on it.
void choose_by_click(ViewTextEntry* entry, const QString& name) {
    QMenu* menu = open_entry_menu(entry);
    ASSERT_NE(menu, nullptr);
    QAction* action = menu_entry(menu, name);
    ASSERT_NE(action, nullptr) << name.toStdString();
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
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
    settings.warn_about_high_bitrate = true;                              // so does the bit rate
    settings.snapshot_format = GlobalSettings::SnapshotFormat_Jpeg;       // and the quality
    QClipboard* clipboard = QApplication::clipboard();

    {
        DialogSnapshotParams dialog(nullptr, &settings);
        ASSERT_TRUE(show_active(&dialog));
        ViewSpinBoxIntEval* width = dialog.page()->widthBox();
        ViewTextEntry* entry = width->entry();

        // Paste chosen with the keys, then Return.
        start_typing(entry, "200");
        clipboard->setText("*3");
        choose_by_keys(entry, "Paste");
        EXPECT_EQ(entry->text().toStdString(), "200*3");
        EXPECT_TRUE(entry->hasFocus());
        press(Qt::Key_Return);
        EXPECT_EQ(width->value(), 600);
        EXPECT_EQ(entry->text().toStdString(), "600");

        // The menu left with Escape: the typing goes on in the entry, and Save takes it.
        QTest::mouseClick(entry, Qt::LeftButton, Qt::NoModifier, at_end(entry));
        EXPECT_EQ(entry->text().toStdString(), "200*3");
        QMenu* menu = open_entry_menu(entry);
        ASSERT_NE(menu, nullptr);
        press(Qt::Key_Escape);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        type_keys("+20");
        EXPECT_EQ(entry->text().toStdString(), "200*3+20");
        QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
        EXPECT_EQ(settings.snapshot_scale_width, 620u);
    }

    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));
    QScrollArea* scroll = dialog.scroll()->scrollArea();

    // The bit rate: Paste chosen with a click, then Tab.
    ViewBitrateSet* field = dialog.warningPage()->bitrateSet();
    ViewTextEntry* entry = field->spinBox()->entry();
    scroll->ensureWidgetVisible(entry);
    start_typing(entry, "0.5");
    clipboard->setText("+1.5");
    choose_by_click(entry, "Paste");
    EXPECT_EQ(entry->text().toStdString(), "0.5+1.5");
    press(Qt::Key_Tab);
    EXPECT_EQ(field->bitrate(), 1.6e10);  // 2 GBytes/s

    // The JPEG quality, a digit field: Select All and Cut from the menu, a digit typed,
    // then Paste from the menu; Save takes the field as it shows.
    entry = dialog.snapshotPage()->qualityBox()->entry();
    scroll->ensureWidgetVisible(entry);
    start_typing(entry, "9");
    choose_by_keys(entry, "Select All");
    choose_by_click(entry, "Cut");
    EXPECT_EQ(entry->text().toStdString(), "");
    EXPECT_EQ(clipboard->text().toStdString(), "9");
    type_keys("6");
    choose_by_keys(entry, "Paste");
    EXPECT_EQ(entry->text().toStdString(), "69");
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.warn_bitrate_limit, 1.6e10);
    EXPECT_EQ(settings.snapshot_jpeg_qual, 69u);
}
