// The five preference pages as a user meets them in the preferences window: every
// value goes from the store to the controls and back unchanged, the resets give the
// defaults, the snapshot fields dim with the choices, and the number fields take
// expressions and refuse what is out of range.
#include <gtest/gtest.h>

#include <QTest>

#include "test_prefs_support.h"
#include "tools/dialog_prefs.h"
#include "tools/view_bitrate_set.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_switches.h"
#include "tools/view_prefs_params_user_interface.h"
#include "tools/view_prefs_params_warning.h"
#include "ui/data_item_menu.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_choose_folder.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_params_color.h"
#include "ui/view_simple_image.h"
#include "ui/view_spin_box.h"
#include "ui/view_spin_box_eval.h"
#include "ui/view_text_entry.h"
#include "widget_app.h"

namespace {

const char* const kPageSwitches[] = {"prefs_import", "prefs_playback", "prefs_snapshot", "prefs_user_interface",
                                     "prefs_warning"};

// Every key the pages edit moved away from its default, with the page switches
// already stored so that a Save adds nothing of its own.
void change_every_key(GlobalSettings& s, uint32_t timeMode) {
    s.ui_bitrate_unit_bits = false;
    s.ui_bandwidth_gpu_unit_bits = false;
    s.ui_filesize_unit_ki = false;
    s.ui_col_safe_area_action = QColor(1, 2, 3);
    s.ui_col_safe_area_title = QColor(4, 5, 6, 128);
    s.ui_col_video_area = QColor(7, 8, 9);
    s.ui_col_display_area = QColor(10, 11, 12);
    s.ui_letterbox_pillarbox_color = QColor(13, 14, 15);
    s.ui_custom_bg_color = QColor(16, 17, 18);
    s.ui_custom_checkerboard_color_1 = QColor(19, 20, 21);
    s.ui_custom_checkerboard_color_2 = QColor(22, 23, 24, 0);
    s.allow_hide_embed_audio_tracks = true;
    s.mute_embed_audio_tracks_when_adding_wav = true;
    s.hide_controls_in_full_screen = true;
    s.ui_remember_windows_view_settings = false;
    s.import_auto_load_wave_files = true;
    s.warn_about_variable_fps = false;
    s.warn_about_unsupported_audio = false;
    s.warn_about_not_multiple_4 = true;
    s.warn_about_codec_hap = true;
    s.warn_about_codec_hapa = true;
    s.warn_about_codec_hapq = true;
    s.warn_about_codec_hapqa = true;
    s.warn_about_codec_hapalphaonly = true;
    s.warn_about_codec_hapr = true;
    s.warn_about_high_bitrate = true;
    s.warn_bitrate_limit = 2.5e9;
    s.warn_high_bitrate_units = 1;
    s.play_audio_frame_by_frame = false;
    s.snapshot_format = 1;
    s.snapshot_dst_folder_mode = 2;
    s.snapshot_custom_folder_path = "/tmp/snaps & <shots>";
    s.snapshot_scale_mode = 2;
    s.snapshot_scale_width = 640;
    s.snapshot_scale_height = 360;
    s.snapshot_jpeg_qual = 55;
    s.snapshot_time_mode = timeMode;
    s.setDisplayWarnUnsupportedSoundCard(false);
}

void store_page_switches(GlobalSettings& s) {
    for (const char* key : kPageSwitches) s.setBoolSetting(true, key);
}

}  // namespace

TEST(PrefsPages, LoadThenSaveChangesNoKey) {
    widget_app();
    struct Case {
        const char* name;
        bool changed;
        uint32_t timeMode;
        double bitrate;
    } cases[] = {
        {"defaults", false, 1, 8e9},
        {"changed, HH:MM:SS:FF", true, 2, 2.5e9},
        {"changed, HH:MM:SS.Mill", true, 3, 2.5e9},
        {"changed, Timecode", true, 4, 2.5e9},
        // A limit too small to show in the chosen unit still goes back as it was.
        {"changed, tiny limit", true, 1, 2.0},
    };
    DialogPrefs dialog(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GlobalSettings settings;
        if (c.changed) change_every_key(settings, c.timeMode);
        settings.warn_bitrate_limit = c.bitrate;
        store_page_switches(settings);
        const QByteArray before = store_xml(settings);
        ASSERT_FALSE(before.isEmpty());
        dialog.setSettings(&settings);
        dialog.close_dialog_ok();
        EXPECT_EQ(store_xml(settings), before);
        EXPECT_EQ(settings.warn_bitrate_limit, c.bitrate);
    }
}

TEST(PrefsPages, TimeNamingMapsEntriesToStoredModes) {
    widget_app();
    ViewPrefsParamsSnapshot page(nullptr, QRect(0, 0, 680, 32));
    GlobalSettings settings;
    // Entry order on screen and the mode each one stores.
    const struct {
        const char* text;
        uint32_t mode;
    } entries[] = {{"Frames", 1}, {"HH:MM:SS:FF", 2}, {"Timecode", 4}, {"HH:MM:SS.Mill", 3}};
    for (int i = 0; i < 4; ++i) {
        page.timeModeCombo()->setCurrentIndex(i);
        EXPECT_EQ(page.timeModeCombo()->label()->text(), entries[i].text);
        page.saveToSettings(&settings);
        EXPECT_EQ(settings.snapshot_time_mode, entries[i].mode);
        page.timeModeCombo()->setCurrentIndex(0);
        page.loadFromSettings(&settings);
        EXPECT_EQ(page.timeModeCombo()->currentIndex(), i);
    }

    // An unknown stored mode opens as "Frames".
    LogCapture log;
    page.timeModeCombo()->setCurrentIndex(2);
    settings.snapshot_time_mode = 7;
    page.loadFromSettings(&settings);
    EXPECT_EQ(page.timeModeCombo()->currentIndex(), 0);
    EXPECT_TRUE(log.contains("Invalid snapshot time mode : 7"));

    // An entry that does not exist stores "Frames", never 0 (which names no mode).
    for (int64_t index : {int64_t(-1), int64_t(4), int64_t(1000)}) {
        EXPECT_EQ(ViewPrefsParamsSnapshot::timeModeForIndex(index), 1u) << index;
        EXPECT_TRUE(log.contains(QString("Warning : invalid combo time mode : %1").arg(index)));
    }
}

TEST(PrefsPages, UnknownStoredChoicesAndNumbersShowTheDefaults) {
    widget_app();
    ViewPrefsParamsSnapshot page(nullptr, QRect(0, 0, 680, 32));
    GlobalSettings settings;
    change_every_key(settings, 2);
    page.loadFromSettings(&settings);  // an earlier showing left other values on screen
    settings.snapshot_format = 5;
    settings.snapshot_dst_folder_mode = 3;
    settings.snapshot_scale_mode = 0xFFFFFFFFu;
    settings.snapshot_scale_width = 70000;
    settings.snapshot_scale_height = 3;
    settings.snapshot_jpeg_qual = 0;
    LogCapture log;
    page.loadFromSettings(&settings);
    EXPECT_EQ(page.formatCombo()->currentIndex(), 0);
    EXPECT_EQ(page.folderModeCombo()->currentIndex(), 0);
    EXPECT_EQ(page.scaleModeCombo()->currentIndex(), 0);
    EXPECT_EQ(page.widthBox()->value(), 1920);
    EXPECT_EQ(page.heightBox()->value(), 1080);
    EXPECT_EQ(page.qualityBox()->value(), 90);
    EXPECT_TRUE(log.contains("Invalid snapshot format : 5"));
    EXPECT_TRUE(log.contains("Invalid snapshot scale mode : 4294967295"));
    // Saved back, the store holds only values the snapshot converter knows.
    page.saveToSettings(&settings);
    EXPECT_EQ(settings.snapshot_format, 0u);
    EXPECT_EQ(settings.snapshot_scale_width, 1920u);
    EXPECT_EQ(settings.snapshot_jpeg_qual, 90u);
}

TEST(PrefsPages, UserInterfaceResetGivesTheDefaults) {
    widget_app();
    DialogPrefs dialog(nullptr);
    GlobalSettings settings;
    change_every_key(settings, 1);
    dialog.setSettings(&settings);
    ViewPrefsParamsUserInterface* page = dialog.userInterfacePage();
    EXPECT_EQ(page->unitCombo(0)->label()->text(), "Bytes");
    EXPECT_EQ(page->unitCombo(2)->label()->text(), "ko");

    QTest::mouseClick(page->resetButton(), Qt::LeftButton);
    EXPECT_EQ(page->unitCombo(0)->label()->text(), "bits");
    EXPECT_EQ(page->unitCombo(1)->label()->text(), "bits");
    EXPECT_EQ(page->unitCombo(2)->label()->text(), "ki");
    const bool expectedOn[] = {false, false, true, true};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(page->checkbox(i)->isChecked(), expectedOn[i]) << i;
    // Only the controls changed: the store waits for Save.
    EXPECT_EQ(settings.ui_custom_bg_color, QColor(16, 17, 18));

    dialog.close_dialog_ok();
    const GlobalSettings defaults;
    EXPECT_EQ(settings.ui_custom_bg_color, QColor(27, 43, 54, 255));
    EXPECT_EQ(settings.ui_custom_checkerboard_color_2, QColor(228, 85, 87, 255));
    EXPECT_EQ(settings.ui_col_safe_area_title, defaults.ui_col_safe_area_title);
    EXPECT_TRUE(settings.ui_bitrate_unit_bits && settings.ui_bandwidth_gpu_unit_bits && settings.ui_filesize_unit_ki);
    EXPECT_TRUE(settings.ui_remember_windows_view_settings);
    EXPECT_TRUE(settings.isDisplayWarnUnsupportedSoundCard());
    EXPECT_FALSE(settings.allow_hide_embed_audio_tracks || settings.hide_controls_in_full_screen);
    const QByteArray xml = store_xml(settings);
    EXPECT_TRUE(xml.contains("<params k=\"ui_custom_bg_color\" r=\"27\" g=\"43\" b=\"54\"/>")) << xml.constData();
    // Other pages kept their values.
    EXPECT_TRUE(settings.import_auto_load_wave_files);
    EXPECT_EQ(settings.snapshot_format, 1u);
}

TEST(PrefsPages, WarningResetTurnsOnTheFirstTwoAndDimsTheLimit) {
    widget_app();
    DialogPrefs dialog(nullptr);
    GlobalSettings settings;
    change_every_key(settings, 1);
    dialog.setSettings(&settings);
    ViewPrefsParamsWarning* page = dialog.warningPage();
    EXPECT_TRUE(page->bitrateSet()->spinBox()->isEnabledLook());
    EXPECT_EQ(page->bitrateSet()->spinBox()->value(), 2.5f);

    QTest::mouseClick(page->resetButton(), Qt::LeftButton);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(page->checkbox(i)->isChecked(), i < 2) << i;
    EXPECT_EQ(page->bitrateSet()->bitrate(), 8e9);
    EXPECT_EQ(page->bitrateSet()->unit(), 3u);
    EXPECT_EQ(page->bitrateSet()->spinBox()->value(), 1.0f);
    EXPECT_EQ(page->bitrateSet()->comboBox()->label()->text(), "GBytes/s");
    EXPECT_FALSE(page->bitrateSet()->spinBox()->isEnabledLook());
    EXPECT_FALSE(page->bitrateSet()->comboBox()->isEnabledLook());

    // The "Bitrate upper than" switch brings the limit back.
    QTest::mouseClick(page->highBitrateCheckbox(), Qt::LeftButton);
    EXPECT_TRUE(page->bitrateSet()->spinBox()->isEnabledLook());
    dialog.close_dialog_ok();
    EXPECT_TRUE(settings.warn_about_variable_fps && settings.warn_about_unsupported_audio);
    EXPECT_FALSE(settings.warn_about_codec_hapr);
    EXPECT_TRUE(settings.warn_about_high_bitrate);
    EXPECT_EQ(settings.warn_bitrate_limit, 8e9);
    EXPECT_EQ(settings.warn_high_bitrate_units, 3u);
}

TEST(PrefsPages, ImportAndPlaybackResetAndSave) {
    widget_app();
    DialogPrefs dialog(nullptr);
    GlobalSettings settings;
    change_every_key(settings, 1);
    dialog.setSettings(&settings);
    EXPECT_TRUE(dialog.importPage()->checkbox(0)->isChecked());
    EXPECT_FALSE(dialog.playbackPage()->checkbox(0)->isChecked());
    QTest::mouseClick(dialog.importPage()->resetButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.playbackPage()->resetButton(), Qt::LeftButton);
    EXPECT_TRUE(settings.import_auto_load_wave_files);
    dialog.close_dialog_ok();
    EXPECT_FALSE(settings.import_auto_load_wave_files);
    EXPECT_FALSE(settings.mute_embed_audio_tracks_when_adding_wav);
    EXPECT_TRUE(settings.play_audio_frame_by_frame);
}

TEST(PrefsPages, SnapshotFieldsDimWithTheChoices) {
    widget_app();
    ViewPrefsParamsSnapshot page(nullptr, QRect(0, 0, 680, 32));
    // Defaults: JPEG, Desktop, same size.
    EXPECT_TRUE(page.qualityBox()->isEnabledLook());
    EXPECT_FALSE(page.folderChooser()->isEnabledLook());
    EXPECT_FALSE(page.widthBox()->isEnabledLook());
    EXPECT_FALSE(page.heightBox()->isEnabledLook());

    // After loading the stored values 1 (Png), 2 (Custom) and 0 (same as source)...
    GlobalSettings settings;
    settings.snapshot_format = 1;
    settings.snapshot_dst_folder_mode = 2;
    settings.snapshot_scale_mode = 0;
    page.loadFromSettings(&settings);
    EXPECT_FALSE(page.qualityBox()->isEnabledLook());
    EXPECT_TRUE(page.folderChooser()->isEnabledLook());
    EXPECT_FALSE(page.widthBox()->isEnabledLook());

    // ...and for each folder and scaling choice.
    const struct {
        uint32_t folder;
        uint32_t scale;
        bool chooser;
        bool size;
    } rows[] = {{0, 1, false, true}, {1, 2, false, true}, {2, 0, true, false}};
    for (const auto& row : rows) {
        page.folderModeCombo()->setCurrentIndex(int32_t(row.folder));
        page.scaleModeCombo()->setCurrentIndex(int32_t(row.scale));
        page.updateEnabledState();
        EXPECT_EQ(page.folderChooser()->isEnabledLook(), row.chooser) << row.folder;
        EXPECT_EQ(page.widthBox()->isEnabledLook(), row.size) << row.scale;
        EXPECT_EQ(page.heightBox()->isEnabledLook(), row.size) << row.scale;
    }
}

TEST(PrefsPages, SizeFieldsTakeExpressionsAndRefuseOutOfRange) {
    widget_app();
    ViewPrefsParamsSnapshot page(nullptr, QRect(0, 0, 680, 32));
    GlobalSettings settings;
    const struct {
        const char* typed;
        int32_t value;
        bool refused;
    } rows[] = {{"1920/2", 960, false}, {"70000", 1920, true}, {"3", 1920, true}, {"4", 4, false},
                {"65535", 65535, false}, {"2*(100+28)", 256, false}};
    for (const auto& row : rows) {
        page.widthBox()->set_value(1000);
        page.widthBox()->entry()->setText(row.typed);
        page.widthBox()->entry_end_edit();
        EXPECT_EQ(page.widthBox()->value(), row.value) << row.typed;
        EXPECT_EQ(page.widthBox()->errorIcon()->isVisibleTo(page.widthBox()), row.refused) << row.typed;
        if (row.refused) {
            EXPECT_TRUE(page.widthBox()->errorIcon()->toolTip().contains("not in range 4 -> 65535")) << row.typed;
        }
        page.saveToSettings(&settings);
        EXPECT_EQ(settings.snapshot_scale_width, uint32_t(row.value)) << row.typed;
    }
}
