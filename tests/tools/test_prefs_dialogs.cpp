// The preferences window and the snapshot parameters dialog driven as a user does:
// pages opened and closed with their triangles, choices made in the item lists, Save
// and Cancel, and what reaches the store.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

#include "test_prefs_support.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/view_bitrate_set.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_switches.h"
#include "tools/view_prefs_params_user_interface.h"
#include "tools/view_prefs_params_warning.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_choose_folder.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_sub_menu.h"
#include "ui/view_label.h"
#include "ui/view_params_color.h"
#include "ui/view_simple_scroll.h"
#include "ui/view_spin_box.h"
#include "ui/view_spin_box_eval.h"
#include "ui/view_text_entry.h"
#include "ui/view_widget_base.h"
#include "item_choice.h"
#include "widget_app.h"

namespace {

// Opens the combo box's item list with a click and clicks entry `index` in it.
template <class Window>
void choose(Window& window, ViewCombobox2* combo, int index) {
    ASSERT_NO_FATAL_FAILURE(click_item(window, combo, index));
    EXPECT_EQ(window.itemsSubMenu(), nullptr);
}

// The triangle of a page, clicked (Ctrl-click acts on every page).
void click_triangle(ViewClosableParams* page, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(page->triangle(), Qt::LeftButton, modifiers);
}

// Clicks into the entry and types `text` over what it shows, without Return: the edit
// stays open until something ends it.
void type_without_return(ViewTextEntry* entry, const QString& text) {
    QTest::mouseClick(entry, Qt::LeftButton);
    ASSERT_TRUE(entry->hasFocus());
    entry->selectAll();
    QTest::keyClicks(entry, text);
}

// Clicks into the entry, types `text` over what it shows and presses Return.
void type_and_return(ViewTextEntry* entry, const QString& text) {
    type_without_return(entry, text);
    QTest::keyClick(entry, Qt::Key_Return);
}

// The row name `text` of a page (a click on it ends the edit in progress).
ViewLabel* row_label(QWidget* page, const QString& text) {
    for (ViewLabel* label : page->findChildren<ViewLabel*>())
        if (label->text() == text) return label;
    return nullptr;
}

// The window shown on `settings` with the high bit-rate warning on, so that its
// bit-rate field takes typing; null when the window could not be made active.
ViewBitrateSet* show_bitrate_field(DialogPrefs& dialog, GlobalSettings& settings) {
    settings.warn_about_high_bitrate = true;
    dialog.setSettings(&settings);
    return show_active(&dialog) ? dialog.warningPage()->bitrateSet() : nullptr;
}

// Turns the mouse wheel over the scrolled pages by `notches` (positive: up).
void wheel(DialogPrefs& dialog, int notches) {
    QWidget* view = dialog.scroll()->scrollArea()->viewport();
    const QPointF at = QRectF(view->rect()).center();
    for (int i = 0; i < std::abs(notches); ++i) {
        QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, notches > 0 ? 120 : -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
    }
}

bool wholly_in_view(DialogPrefs& dialog, const QWidget* widget) {
    const QWidget* view = dialog.scroll()->scrollArea()->viewport();
    return view->rect().contains(QRect(widget->mapTo(view, QPoint(0, 0)), widget->size()));
}

// Turns the wheel a notch at a time until `widget` lies wholly in view.
bool wheel_into_view(DialogPrefs& dialog, const QWidget* widget) {
    const QWidget* view = dialog.scroll()->scrollArea()->viewport();
    for (int i = 0; i < 100 && !wholly_in_view(dialog, widget); ++i)
        wheel(dialog, widget->mapTo(view, QPoint(0, 0)).y() < 0 ? 1 : -1);
    return wholly_in_view(dialog, widget);
}

// Clicks the switch and lets its caption's fade run to its end.
void toggle_and_settle(ViewCheckbox* box) {
    const bool on = !box->isChecked();
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(12, box->height() / 2));
    ASSERT_EQ(box->isChecked(), on);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view_opacity(box->label()) == (on ? 1.0 : 0.6); }, 5000));
}

// Pixels of `box` (window coordinates) in the window's picture that stand out from
// the background at the box's corner: the ink of a text drawn there.
int ink_in(const QImage& shot, const QRect& box) {
    const qreal ratio = shot.devicePixelRatio();
    const QRect area(box.topLeft() * ratio, box.size() * ratio);
    const QColor background = shot.pixelColor(area.topLeft());
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (std::max({std::abs(c.red() - background.red()), std::abs(c.green() - background.green()),
                          std::abs(c.blue() - background.blue())}) > 60)
                ++ink;
        }
    return ink;
}

// The captions of `boxes` (wholly in view) that the window shows without their text:
// under 10 pixels of ink, where a caption has over a hundred. Read from the screen
// once the pending paints are done, so that looking paints nothing.
QStringList blank_captions(DialogPrefs& dialog, const QList<ViewCheckbox*>& boxes) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    const QImage shot = dialog.screen()->grabWindow(dialog.winId()).toImage();
    QStringList blank;
    for (const ViewCheckbox* box : boxes) {
        const ViewLabel* caption = box->label();
        if (ink_in(shot, QRect(caption->mapTo(&dialog, QPoint(0, 0)), caption->size())) < 10)
            blank << caption->text();
    }
    return blank;
}

// The switches of `boxes` whose caption lies wholly in view.
QList<ViewCheckbox*> in_view(DialogPrefs& dialog, const QList<ViewCheckbox*>& boxes) {
    QList<ViewCheckbox*> shown;
    for (ViewCheckbox* box : boxes)
        if (wholly_in_view(dialog, box->label())) shown << box;
    return shown;
}

int content_height_of(const DialogPrefs& dialog) {
    int sum = 0;
    for (ViewClosableParams* page : dialog.pages()) sum += page->heightHint() + 5;
    return sum;
}

}  // namespace

TEST(PrefsWindow, FirstStartShowsEveryPageOpenAndSaveRecordsThem) {
    widget_app();
    GlobalSettings settings;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    EXPECT_EQ(dialog.size(), QSize(700, 600));
    ASSERT_EQ(dialog.pages().size(), 5);
    for (ViewClosableParams* page : dialog.pages()) {
        EXPECT_FALSE(page->isClosed()) << page->groupIdentifier.toStdString();
        EXPECT_EQ(page->width(), 680);
        EXPECT_EQ(page->heightHint(), page->contentHeight() + 32);
    }
    EXPECT_EQ(dialog.scroll()->contentWidget()->height(), content_height_of(dialog));

    QSignalSpy saved(&dialog, &DialogPrefs::clic_btn_dialog_1);
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(saved.count(), 1);
    const QByteArray xml = store_xml(settings);
    const char* keys[] = {"prefs_import", "prefs_playback", "prefs_snapshot", "prefs_user_interface",
                          "prefs_warning"};
    qsizetype last = 0;
    for (const char* key : keys) {
        const qsizetype at = xml.indexOf(QByteArray("<ui_bool_setting k=\"") + key + "\" v=\"YES\"/>");
        EXPECT_GT(at, last) << key;  // present, in ascending key order
        last = at;
    }
}

TEST(PrefsWindow, CollapsedPageIsRememberedBySave) {
    widget_app();
    GlobalSettings settings;
    {
        DialogPrefs dialog(nullptr);
        dialog.setSettings(&settings);
        click_triangle(dialog.warningPage());
        EXPECT_TRUE(dialog.warningPage()->isClosed());
        EXPECT_EQ(dialog.warningPage()->height(), 32);
        EXPECT_EQ(dialog.scroll()->contentWidget()->height(), content_height_of(dialog));
        // The page below moved up.
        EXPECT_EQ(dialog.importPage()->y(), dialog.warningPage()->y() + 32 + 5);
        dialog.close_dialog_ok();
    }
    EXPECT_FALSE(settings.boolSetting("prefs_warning", true));
    EXPECT_TRUE(settings.boolSetting("prefs_import", false));

    DialogPrefs next(nullptr);
    next.setSettings(&settings);
    for (ViewClosableParams* page : next.pages())
        EXPECT_EQ(page->isClosed(), page == next.warningPage()) << page->groupIdentifier.toStdString();
    EXPECT_EQ(next.warningPage()->height(), 32);
}

TEST(PrefsWindow, CtrlClickOpensOrClosesEveryPage) {
    widget_app();
    GlobalSettings settings;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    click_triangle(dialog.snapshotPage(), Qt::ControlModifier);
    for (ViewClosableParams* page : dialog.pages()) EXPECT_TRUE(page->isClosed());
    EXPECT_EQ(dialog.scroll()->contentWidget()->height(), 5 * (32 + 5));
    click_triangle(dialog.importPage(), Qt::ControlModifier);
    for (ViewClosableParams* page : dialog.pages()) EXPECT_FALSE(page->isClosed());
    EXPECT_EQ(dialog.scroll()->contentWidget()->height(), content_height_of(dialog));
    // Nothing reaches the store before Save.
    EXPECT_FALSE(settings.hasBoolSetting("prefs_import"));
}

TEST(PrefsWindow, CancelLeavesTheStoreAndTheNextShowingReloadsIt) {
    widget_app();
    GlobalSettings settings;
    settings.snapshot_format = 1;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    const QByteArray before = store_xml(settings);

    // Edits on every page, a reset and a collapse, then Cancel.
    ViewParamsColor::setColorDialogProvider([](const QColor&, QWidget*, const QString&) { return QColor(9, 9, 9); });
    QTest::mouseClick(dialog.userInterfacePage()->colorSwatch(0), Qt::LeftButton);
    ViewParamsColor::setColorDialogProvider({});
    EXPECT_EQ(dialog.userInterfacePage()->colorSwatch(0)->color(), QColor(9, 9, 9));
    choose(dialog, dialog.userInterfacePage()->unitCombo(1), 1);
    QTest::mouseClick(dialog.warningPage()->checkbox(3), Qt::LeftButton);
    QTest::mouseClick(dialog.importPage()->checkbox(0), Qt::LeftButton);
    QTest::mouseClick(dialog.playbackPage()->resetButton(), Qt::LeftButton);
    choose(dialog, dialog.snapshotPage()->formatCombo(), 0);
    click_triangle(dialog.playbackPage());
    QSignalSpy cancelled(&dialog, &DialogPrefs::clic_btn_dialog_2);
    QSignalSpy saved(&dialog, &DialogPrefs::clic_btn_dialog_1);
    QTest::mouseClick(dialog.rightButtons().at(1), Qt::LeftButton);  // "Cancel"
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(store_xml(settings), before);

    dialog.setSettings(&settings);
    EXPECT_EQ(dialog.userInterfacePage()->colorSwatch(0)->color(), settings.ui_col_safe_area_action);
    EXPECT_EQ(dialog.userInterfacePage()->unitCombo(1)->currentIndex(), 0);
    EXPECT_FALSE(dialog.warningPage()->checkbox(3)->isChecked());
    EXPECT_FALSE(dialog.importPage()->checkbox(0)->isChecked());
    EXPECT_EQ(dialog.snapshotPage()->formatCombo()->currentIndex(), 1);
}

TEST(PrefsWindow, BitrateUnitChangesTheShownNumberNotTheLimit) {
    widget_app();
    GlobalSettings settings;
    settings.warn_high_bitrate_units = 0;
    settings.warn_about_high_bitrate = true;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ViewBitrateSet* field = dialog.warningPage()->bitrateSet();
    EXPECT_EQ(field->spinBox()->value(), 8000.0f);
    choose(dialog, field->comboBox(), 3);
    EXPECT_EQ(field->spinBox()->value(), 1.0f);
    EXPECT_EQ(field->bitrate(), 8e9);
    EXPECT_EQ(settings.warn_high_bitrate_units, 0u);
    dialog.close_dialog_ok();
    EXPECT_EQ(settings.warn_high_bitrate_units, 3u);
    EXPECT_EQ(settings.warn_bitrate_limit, 8e9);
}

TEST(PrefsWindow, NumbersTypedOnEachPageAreKeptByTheNextClickAndSaved) {
    widget_app();
    GlobalSettings settings;
    settings.warn_about_high_bitrate = true;  // the bitrate takes typing
    settings.snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;  // so do width and height
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));

    // File warning: 2 GBytes/s, then a switch of another page.
    ViewBitrateSet* field = dialog.warningPage()->bitrateSet();
    type_without_return(field->spinBox()->entry(), "2");
    QTest::mouseClick(dialog.importPage()->checkbox(0), Qt::LeftButton);
    EXPECT_EQ(field->bitrate(), 1.6e10);
    EXPECT_TRUE(dialog.importPage()->checkbox(0)->isChecked());

    // Snapshot: a width, then a choice in a combo box; a quality, then Save.
    ViewPrefsParamsSnapshot* page = dialog.snapshotPage();
    type_without_return(page->widthBox()->entry(), "640*2");
    choose(dialog, page->timeModeCombo(), 1);
    EXPECT_EQ(page->widthBox()->value(), 1280);
    type_without_return(page->qualityBox()->entry(), "55");
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_TRUE(dialog.isHidden());
    EXPECT_EQ(settings.warn_bitrate_limit, 1.6e10);
    EXPECT_EQ(settings.snapshot_scale_width, 1280u);
    EXPECT_EQ(settings.snapshot_time_mode, 2u);
    EXPECT_EQ(settings.snapshot_jpeg_qual, 55u);
    EXPECT_TRUE(settings.import_auto_load_wave_files);
}

TEST(PrefsWindow, TypedBitrateIsConvertedByTheUnitChosenNext) {
    widget_app();
    GlobalSettings settings;
    DialogPrefs dialog(nullptr);
    ViewBitrateSet* field = show_bitrate_field(dialog, settings);
    ASSERT_NE(field, nullptr);
    type_without_return(field->spinBox()->entry(), "2");  // GBytes/s
    choose(dialog, field->comboBox(), 0);                  // Mbits/s
    EXPECT_EQ(field->bitrate(), 1.6e10);
    EXPECT_EQ(field->spinBox()->value(), 16000.0f);
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.warn_bitrate_limit, 1.6e10);
    EXPECT_EQ(settings.warn_high_bitrate_units, 0u);
}

TEST(PrefsWindow, SnapshotChoicesFromTheItemListsUpdateTheDimming) {
    widget_app();
    GlobalSettings settings;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ViewPrefsParamsSnapshot* page = dialog.snapshotPage();
    choose(dialog, page->formatCombo(), 1);
    EXPECT_FALSE(page->qualityBox()->isEnabledLook());
    choose(dialog, page->folderModeCombo(), 2);
    EXPECT_TRUE(page->folderChooser()->isEnabledLook());
    choose(dialog, page->scaleModeCombo(), 1);
    EXPECT_TRUE(page->widthBox()->isEnabledLook());
    choose(dialog, page->timeModeCombo(), 2);
    dialog.close_dialog_ok();
    EXPECT_EQ(settings.snapshot_format, 1u);
    EXPECT_EQ(settings.snapshot_dst_folder_mode, 2u);
    EXPECT_EQ(settings.snapshot_scale_mode, 1u);
    EXPECT_EQ(settings.snapshot_time_mode, 4u);

    // A press outside the rows cancels and changes nothing.
    QTest::mouseClick(page->formatCombo()->label(), Qt::LeftButton);
    ASSERT_NE(dialog.itemsSubMenu(), nullptr);
    QTest::mouseClick(dialog.itemsSubMenu(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    EXPECT_EQ(dialog.itemsSubMenu(), nullptr);
    EXPECT_EQ(page->formatCombo()->currentIndex(), 1);
}

TEST(PrefsWindow, SwitchCaptionsStayDrawnAfterTogglingScrollingAndTheFormatList) {
    widget_app();
    GlobalSettings settings;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));
    QList<ViewCheckbox*> boxes;
    for (ViewClosableParams* page : dialog.pages()) boxes << page->findChildren<ViewCheckbox*>();
    ASSERT_EQ(boxes.size(), 17);

    // On: Codec HAPA, HAPQ, HAPQA and HAPAlphaOnly; "Play audio..." off and on again.
    for (int row = 4; row <= 7; ++row) {
        ViewCheckbox* box = dialog.warningPage()->checkbox(row);
        ASSERT_TRUE(wheel_into_view(dialog, box));
        toggle_and_settle(box);
    }
    ViewCheckbox* playAudio = dialog.playbackPage()->checkbox(0);
    ASSERT_TRUE(wheel_into_view(dialog, playAudio));
    toggle_and_settle(playAudio);
    toggle_and_settle(playAudio);
    EXPECT_EQ(blank_captions(dialog, in_view(dialog, boxes)).join(", ").toStdString(), "");

    // Down to the end of the snapshot page; the Format list opened, then closed by a
    // click beside it.
    wheel(dialog, -100);
    QScrollBar* bar = dialog.scroll()->scrollArea()->verticalScrollBar();
    ASSERT_EQ(bar->value(), bar->maximum());
    ViewCombobox2* format = dialog.snapshotPage()->formatCombo();
    ASSERT_TRUE(wholly_in_view(dialog, format));
    ASSERT_TRUE(wholly_in_view(dialog, playAudio->label()));
    QTest::mouseClick(format->label(), Qt::LeftButton);
    ASSERT_NE(dialog.itemsSubMenu(), nullptr);
    EXPECT_EQ(blank_captions(dialog, in_view(dialog, boxes)).join(", ").toStdString(), "") << "with the list open";
    QTest::mouseClick(dialog.itemsSubMenu(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    ASSERT_EQ(dialog.itemsSubMenu(), nullptr);

    // Back up to the top a notch at a time: each caption, once wholly in view, shows
    // its text...
    QList<ViewCheckbox*> unseen = boxes;
    QStringList blank;
    for (int i = 0; i < 100 && !unseen.isEmpty(); ++i) {
        const QList<ViewCheckbox*> shown = in_view(dialog, unseen);
        blank << blank_captions(dialog, shown);
        for (ViewCheckbox* box : shown) unseen.removeOne(box);
        wheel(dialog, 1);
    }
    EXPECT_EQ(blank.join(", ").toStdString(), "");
    EXPECT_TRUE(unseen.isEmpty());
    // ...and at the top each keeps its text and its place in its row.
    wheel(dialog, 100);
    ASSERT_EQ(bar->value(), 0);
    for (ViewClosableParams* page : dialog.pages())
        for (const ViewCheckbox* box : page->findChildren<ViewCheckbox*>()) {
            const ViewLabel* caption = box->label();
            const QRect inPage = QRect(caption->mapTo(page, QPoint(0, 0)), caption->size()).intersected(page->rect());
            EXPECT_TRUE(caption->isVisible()) << caption->text().toStdString();
            EXPECT_FALSE(caption->text().isEmpty());
            EXPECT_EQ(caption->shownText(), caption->text());
            EXPECT_FALSE(inPage.isEmpty()) << caption->text().toStdString();
        }
}

TEST(PrefsWindow, NullStoreIsRefused) {
    widget_app();
    DialogPrefs dialog(nullptr);
    LogCapture log;
    dialog.setSettings(nullptr);
    EXPECT_TRUE(log.contains("Error : no settings at refresh"));
    QSignalSpy saved(&dialog, &DialogPrefs::clic_btn_dialog_1);
    dialog.close_dialog_ok();  // nothing to store into, and no crash
    EXPECT_EQ(saved.count(), 1);
}

TEST(SnapshotParamsDialog, FixedSizeAlwaysOpenPage) {
    widget_app();
    GlobalSettings settings;
    DialogSnapshotParams dialog(nullptr, &settings);
    EXPECT_EQ(dialog.minimumSize(), QSize(600, 400));
    EXPECT_EQ(dialog.maximumSize(), QSize(600, 400));
    EXPECT_EQ(dialog.page()->geometry(), QRect(10, 10, 580, 335));
    EXPECT_EQ(dialog.page()->heightHint(), dialog.page()->contentHeight() + 32);
    EXPECT_TRUE(dialog.page()->triangle()->isHidden());
    EXPECT_TRUE(dialog.page()->resetButton()->isHidden());
    EXPECT_FALSE(dialog.page()->content()->isHidden());
}

TEST(SnapshotParamsDialog, ResetThenCancelStoresNothing) {
    widget_app();
    GlobalSettings settings;
    settings.snapshot_format = 1;
    settings.snapshot_dst_folder_mode = 2;
    settings.snapshot_custom_folder_path = "/data/snaps";
    settings.snapshot_scale_mode = 1;
    settings.snapshot_scale_width = 800;
    settings.snapshot_jpeg_qual = 40;
    settings.snapshot_time_mode = 3;
    const QByteArray before = store_xml(settings);
    DialogSnapshotParams dialog(nullptr, &settings);
    EXPECT_EQ(dialog.page()->folderChooser()->folder(), "/data/snaps");
    QTest::mouseClick(dialog.leftButtons().at(0), Qt::LeftButton);  // "Reset"
    EXPECT_EQ(dialog.page()->formatCombo()->currentIndex(), 0);
    EXPECT_EQ(dialog.page()->widthBox()->value(), 1920);
    EXPECT_EQ(dialog.page()->folderChooser()->folder(), "");
    EXPECT_TRUE(dialog.page()->qualityBox()->isEnabledLook());
    QTest::mouseClick(dialog.rightButtons().at(1), Qt::LeftButton);  // "Cancel"
    EXPECT_EQ(store_xml(settings), before);
}

TEST(SnapshotParamsDialog, TypedNumbersAreStoredBySaveOnlyNotByCancelOrEscape) {
    widget_app();
    GlobalSettings settings;
    settings.snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;
    const QByteArray before = store_xml(settings);
    {
        DialogSnapshotParams dialog(nullptr, &settings);
        ASSERT_TRUE(show_active(&dialog));
        type_without_return(dialog.page()->qualityBox()->entry(), "55");
        QTest::mouseClick(dialog.rightButtons().at(1), Qt::LeftButton);  // "Cancel"
        EXPECT_TRUE(dialog.isHidden());
        ASSERT_TRUE(show_active(&dialog));
        type_without_return(dialog.page()->widthBox()->entry(), "1000");
        QTest::keyClick(dialog.page()->widthBox()->entry(), Qt::Key_Escape);
        EXPECT_TRUE(dialog.isHidden());
        EXPECT_EQ(store_xml(settings), before);
    }
    DialogSnapshotParams dialog(nullptr, &settings);
    ASSERT_TRUE(show_active(&dialog));
    type_without_return(dialog.page()->widthBox()->entry(), "1000");
    type_without_return(dialog.page()->qualityBox()->entry(), "55");
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.snapshot_scale_width, 1000u);
    EXPECT_EQ(settings.snapshot_jpeg_qual, 55u);
}

TEST(SnapshotParamsDialog, SaveStoresTheChoices) {
    widget_app();
    GlobalSettings settings;
    DialogSnapshotParams dialog(nullptr, &settings);
    ViewPrefsParamsSnapshot* page = dialog.page();
    choose(dialog, page->formatCombo(), 1);
    EXPECT_FALSE(page->qualityBox()->isEnabledLook());
    choose(dialog, page->folderModeCombo(), 2);
    EXPECT_TRUE(page->folderChooser()->isEnabledLook());
    page->folderChooser()->askFolder = [](QWidget*, const QString&, const QString&) { return QString("/media/out"); };
    QTest::mouseClick(page->folderChooser()->chooseButton(), Qt::LeftButton);
    choose(dialog, page->folderModeCombo(), 1);
    EXPECT_FALSE(page->folderChooser()->isEnabledLook());
    choose(dialog, page->scaleModeCombo(), 2);
    EXPECT_TRUE(page->heightBox()->isEnabledLook());
    choose(dialog, page->scaleModeCombo(), 0);
    EXPECT_FALSE(page->heightBox()->isEnabledLook());
    choose(dialog, page->timeModeCombo(), 2);
    EXPECT_EQ(settings.snapshot_format, 0u);  // nothing before Save

    QSignalSpy saved(&dialog, &DialogSnapshotParams::clic_btn_dialog_1);
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(saved.count(), 1);
    EXPECT_EQ(settings.snapshot_format, 1u);
    EXPECT_EQ(settings.snapshot_dst_folder_mode, 1u);
    EXPECT_EQ(settings.snapshot_custom_folder_path, "/media/out");
    EXPECT_EQ(settings.snapshot_scale_mode, 0u);
    EXPECT_EQ(settings.snapshot_time_mode, 4u);
}

// A size field whose value came from the store or from Reset shows that value when
// clicked into, and a click elsewhere keeps it: an expression typed before is not
// brought back, and what is shown is what Save writes.
TEST(PrefsWindow, SizeFieldKeepsTheLoadedOrResetValueNotAnExpressionTypedBefore) {
    widget_app();
    GlobalSettings settings;
    settings.snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;
    settings.snapshot_scale_width = 960;
    DialogPrefs dialog(nullptr);
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));
    ViewPrefsParamsSnapshot* page = dialog.snapshotPage();
    ViewSpinBoxIntEval* width = page->widthBox();
    ViewLabel* widthName = row_label(page, "Width");
    ASSERT_NE(widthName, nullptr);

    // Typed, confirmed, then Cancel; the window shown again as the main window does.
    type_and_return(width->entry(), "100*3");
    EXPECT_EQ(width->value(), 300);
    QTest::mouseClick(dialog.rightButtons().at(1), Qt::LeftButton);  // "Cancel"
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));
    EXPECT_EQ(width->entry()->text(), "960");
    QTest::mouseClick(width->entry(), Qt::LeftButton);
    ASSERT_TRUE(width->entry()->hasFocus());
    EXPECT_EQ(width->entry()->text(), "960");
    QTest::mouseClick(widthName, Qt::LeftButton);
    EXPECT_FALSE(width->entry()->hasFocus());
    EXPECT_EQ(width->value(), 960);
    EXPECT_EQ(width->entry()->text(), "960");

    // Typed, confirmed, then the page's Reset; "Fit to" again so the size takes clicks.
    type_and_return(width->entry(), "1000+1");
    EXPECT_EQ(width->value(), 1001);
    QTest::mouseClick(page->resetButton(), Qt::LeftButton);
    EXPECT_EQ(width->entry()->text(), "1920");
    choose(dialog, page->scaleModeCombo(), 1);
    QTest::mouseClick(width->entry(), Qt::LeftButton);
    ASSERT_TRUE(width->entry()->hasFocus());
    EXPECT_EQ(width->entry()->text(), "1920");
    QTest::mouseClick(widthName, Qt::LeftButton);
    EXPECT_EQ(width->value(), 1920);
    EXPECT_EQ(width->entry()->text(), "1920");

    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.snapshot_scale_width, 1920u);
    ASSERT_FALSE(store_xml(settings).isEmpty());
    GlobalSettings written;
    written.load();
    EXPECT_EQ(written.snapshot_scale_width, 1920u);

    // The snapshot parameters dialog's Reset forgets a typed expression too.
    DialogSnapshotParams snapshot(nullptr, &settings);
    ASSERT_TRUE(show_active(&snapshot));
    ViewSpinBoxIntEval* size = snapshot.page()->widthBox();
    type_and_return(size->entry(), "100*3");
    QTest::mouseClick(snapshot.leftButtons().at(0), Qt::LeftButton);  // "Reset"
    choose(snapshot, snapshot.page()->scaleModeCombo(), 1);
    QTest::mouseClick(size->entry(), Qt::LeftButton);
    EXPECT_EQ(size->entry()->text(), "1920");
    QTest::mouseClick(row_label(snapshot.page(), "Width"), Qt::LeftButton);
    QTest::mouseClick(snapshot.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.snapshot_scale_width, 1920u);
}

// The bit-rate number converted by a unit change, or rounded for display, is not
// taken back by a click into it and Return: the limit stays what is shown.
TEST(PrefsWindow, BitrateNumberShownIsNotTypedAgainByAClickAndReturn) {
    widget_app();
    GlobalSettings settings;
    DialogPrefs dialog(nullptr);
    ViewBitrateSet* field = show_bitrate_field(dialog, settings);
    ASSERT_NE(field, nullptr);
    ViewTextEntry* entry = field->spinBox()->entry();

    type_and_return(entry, "2");  // GBytes/s
    EXPECT_EQ(field->bitrate(), 1.6e10);
    choose(dialog, field->comboBox(), 0);  // Mbits/s
    EXPECT_EQ(entry->text(), "16000");
    QTest::mouseClick(entry, Qt::LeftButton);
    ASSERT_TRUE(entry->hasFocus());
    EXPECT_EQ(entry->text(), "16000");
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_EQ(entry->text(), "16000");
    EXPECT_EQ(field->bitrate(), 1.6e10);
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.warn_bitrate_limit, 1.6e10);
    EXPECT_EQ(settings.warn_high_bitrate_units, 0u);

    // 1234567 bits/s shows as 1.23457 Mbits/s; looking at it keeps 1234567.
    settings.warn_bitrate_limit = 1234567.0;
    dialog.setSettings(&settings);
    ASSERT_TRUE(show_active(&dialog));
    EXPECT_EQ(entry->text(), "1.23457");
    QTest::mouseClick(entry, Qt::LeftButton);
    ASSERT_TRUE(entry->hasFocus());
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_EQ(field->bitrate(), 1234567.0);
    QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_EQ(settings.warn_bitrate_limit, 1234567.0);
}

// A unit in which the limit does not fit the field (0.0001 to 1e10) brings it to the
// nearest end of that range: shown, stored, saved and shown again after a reload.
TEST(PrefsWindow, BitrateOutsideTheFieldInTheNewUnitIsStoredAsShown) {
    widget_app();
    const struct {
        int32_t from;
        const char* typed;
        int32_t to;
        const char* unit;
        const char* shown;
        double limit;  // bits per second
    } cases[] = {
        {0, "0.0001", 3, "GBytes/s", "0.0001", 8e5},  // 100 bits/s is 1.25e-8 GBytes/s
        {3, "1e10", 0, "Mbits/s", "1e+10", 1e16},     // 8e19 bits/s is 8e13 Mbits/s
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        GlobalSettings settings;
        DialogPrefs dialog(nullptr);
        ViewBitrateSet* field = show_bitrate_field(dialog, settings);
        ASSERT_NE(field, nullptr);
        if (c.from != field->comboBox()->currentIndex()) choose(dialog, field->comboBox(), c.from);
        type_and_return(field->spinBox()->entry(), c.typed);
        LogCapture log;
        choose(dialog, field->comboBox(), c.to);
        EXPECT_FALSE(log.contains("invalid value"));
        EXPECT_EQ(field->spinBox()->entry()->text(), c.shown);
        EXPECT_EQ(field->comboBox()->label()->text(), c.unit);
        // The number is a float: 0.0001 is a few parts in 1e8 off.
        EXPECT_NEAR(field->bitrate(), c.limit, c.limit * 1e-7);

        QTest::mouseClick(dialog.rightButtons().at(0), Qt::LeftButton);  // "Save"
        EXPECT_EQ(settings.warn_bitrate_limit, field->bitrate());
        EXPECT_EQ(settings.warn_high_bitrate_units, uint32_t(c.to));
        ASSERT_FALSE(store_xml(settings).isEmpty());
        GlobalSettings written;
        written.load();
        EXPECT_EQ(written.warn_bitrate_limit, settings.warn_bitrate_limit);
        DialogPrefs next(nullptr);
        next.setSettings(&written);
        ViewBitrateSet* shown = next.warningPage()->bitrateSet();
        EXPECT_EQ(shown->spinBox()->entry()->text(), c.shown);
        EXPECT_EQ(shown->comboBox()->label()->text(), c.unit);
        EXPECT_EQ(shown->bitrate(), written.warn_bitrate_limit);
    }
}
