// The preferences window as the main window opens it from its menu: made once, and
// however often it was opened, one Save writes and applies the store once. The
// snapshot parameters dialog, made anew at each use. A Save on a full disk keeps the
// file. A Save while other windows changed settings keeps their changes, and a Save
// that cannot write the file says so in a message box.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <string>

#include "app/main_window.h"
#include "app/view_bottom_ctrl.h"
#include "tests/app/window/shown_main_window.h"
#include "base/settings/global_settings.h"
#include "file_bytes.h"
#include "item_choice.h"
#include "log_capture.h"
#include "render/vulkan_window.h"
#include "tests/support/file_size_limit.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_switches.h"
#include "tools/view_prefs_params_user_interface.h"
#include "ui/dialog_ask.h"
#include "ui/dialog_warning_err.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_spin_box.h"
#include "ui/view_spin_box_eval.h"
#include "ui/view_text_entry.h"
#include "widget_app.h"

namespace {

// These windows are made without Vulkan and never show video, so they run on the
// offscreen platform: on the shared X server another test's window could take the
// activation their typing needs. Start-up boxes are logged instead of shown.
void start_without_video() {
    widget_app();
    MainWindow::setCriticalBoxProvider([](QWidget*, const QString& title, const QString& text) {
        qWarning().noquote() << "critical box:" << title << text;
    });
}
// Runs `expect` on the store, then on the preferences file read anew.
void expect_in_store_and_file(const GlobalSettings* settings,
                              const std::function<void(const GlobalSettings* store)>& expect) {
    {
        SCOPED_TRACE("in the store");
        expect(settings);
    }
    GlobalSettings reread;
    reread.load();
    SCOPED_TRACE("in the file");
    expect(&reread);
}

// The dialog's count of connections to its Save signal.
// QObject::receivers is protected: reached through a member pointer named in a derived
// class, on the real object (no cast to a type the object does not have).
struct SaveReceivers : DialogPrefs {
    static int count(DialogPrefs* dialog) {
        int (QObject::*receivers)(const char*) const = &SaveReceivers::receivers;
        return (dialog->*receivers)(SIGNAL(clic_btn_dialog_1(uint32_t)));
    }
};
}  // namespace

TEST(PrefsFromMainWindow, OpenedThreeTimesOneSaveSavesOnce) {
    start_without_video();
    auto* video = new VulkanWindow;
    auto window = std::make_unique<MainWindow>(video, nullptr, QString());
    EXPECT_EQ(window->prefsDialog(), nullptr);
    for (int i = 0; i < 3; ++i) window->act_menu_prefs();
    DialogPrefs* prefs = window->prefsDialog();
    ASSERT_NE(prefs, nullptr);
    EXPECT_TRUE(prefs->isVisible());
    EXPECT_EQ(SaveReceivers::count(prefs), 1);

    // A change made in the window reaches the file with Save, and the window closes.
    QFile::remove(GlobalSettings::prefsFilePath());
    const bool before = window->settings()->import_auto_load_wave_files;
    QTest::mouseClick(prefs->importPage()->checkbox(0), Qt::LeftButton);
    QTest::mouseClick(prefs->rightButtons().at(0), Qt::LeftButton);  // "Save"
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(window->settings()->import_auto_load_wave_files, !before);
    GlobalSettings reread;
    reread.load();
    EXPECT_EQ(reread.import_auto_load_wave_files, !before);

    // Closing the main window closes the preferences window.
    window->act_menu_prefs();
    EXPECT_TRUE(prefs->isVisible());
    window->close();
    EXPECT_FALSE(prefs->isVisible());
    delete video;  // main destroys the video window before the main window
    window.reset();
}

// Save in the preferences window on a full disk (a file-size limit smaller than the
// file): the failure is logged and the file the next start reads keeps every byte.
TEST(PrefsFromMainWindow, SaveOnAFullDiskKeepsThePreferencesFile) {
    start_without_video();
    auto* video = new VulkanWindow;
    auto window = std::make_unique<MainWindow>(video, nullptr, QString());
    const QString path = GlobalSettings::prefsFilePath();
    ASSERT_TRUE(window->settings()->save());
    const QByteArray before = read_bytes(path);
    ASSERT_GT(before.size(), 1024);

    window->act_menu_prefs();
    DialogPrefs* prefs = window->prefsDialog();
    ASSERT_NE(prefs, nullptr);
    const bool loaded = window->settings()->import_auto_load_wave_files;
    QTest::mouseClick(prefs->importPage()->checkbox(0), Qt::LeftButton);
    {
        LogCapture log;
        testsupport::FileSizeLimit full(1024);
        ASSERT_TRUE(full.armed());
        QTest::mouseClick(prefs->rightButtons().at(0), Qt::LeftButton);  // "Save"
        EXPECT_TRUE(log.contains("Fail to write pref file : " + path)) << log.joined().toStdString();
    }
    EXPECT_EQ(read_bytes(path), before);
    GlobalSettings reread;
    reread.load();
    EXPECT_EQ(reread.import_auto_load_wave_files, loaded);
    delete video;
    window.reset();
}

TEST(PrefsFromMainWindow, SnapshotParametersDialogIsReplacedAtEachUse) {
    start_without_video();
    auto* video = new VulkanWindow;
    auto window = std::make_unique<MainWindow>(video, nullptr, QString());
    window->settings()->snapshot_format = 1;
    window->act_context_menu_snapshot_params();
    QPointer<DialogSnapshotParams> first = window->findChild<DialogSnapshotParams*>();
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    EXPECT_EQ(first->page()->formatCombo()->currentIndex(), 1);
    window->act_context_menu_snapshot_params();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    const QList<DialogSnapshotParams*> dialogs = window->findChildren<DialogSnapshotParams*>();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_TRUE(dialogs.at(0)->isVisible());
    dialogs.at(0)->close();
    delete video;
    window.reset();
}

namespace {

// Clicks into the number entry, types `text` over what it shows and presses Return.
void type_number(ViewTextEntry* entry, const QString& text) {
    click(entry);
    entry->selectAll();
    QTest::keyClicks(entry, text);
    QTest::keyClick(entry, Qt::Key_Return);
}

// The snapshot parameters dialog made last (the one it replaced is deleted first).
DialogSnapshotParams* open_snapshot_params(MainWindow* window) {
    window->act_context_menu_snapshot_params();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto* dialog = window->findChild<DialogSnapshotParams*>();
    return dialog && show_active(dialog) ? dialog : nullptr;
}

// A main window without video whose sound card cannot be used, so that the start-up
// warning with its "Don't show again" box is there; no preferences file, and the
// snapshot size fields open to typing.
std::unique_ptr<MainWindow> window_with_sound_card_warning(VulkanWindow** video) {
    start_without_video();
    QFile::remove(GlobalSettings::prefsFilePath());
    const MainWindow::SoundIoFactory previous = MainWindow::setSoundIoFactory(context_with_unusable_device);
    *video = new VulkanWindow;
    auto window = std::make_unique<MainWindow>(*video, nullptr, QString());
    MainWindow::setSoundIoFactory(previous);
    window->settings()->snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;
    return window;
}

}  // namespace

// While the preferences window is open, the snapshot parameters dialog, the sound card
// warning and the transport bar change settings; its Save keeps those changes (store,
// file, and its next showing) and stores what was edited in it. The snapshot dialog's
// Save likewise keeps what the preferences window saved while it was open.
TEST(PrefsFromMainWindow, SaveKeepsWhatOtherWindowsChangedWhileItWasOpen) {
    VulkanWindow* video = nullptr;
    auto window = window_with_sound_card_warning(&video);
    GlobalSettings* settings = window->settings();
    DialogWarningErr* warning = window->warningDialog();
    ASSERT_NE(warning, nullptr);
    window->act_menu_prefs();
    DialogPrefs* prefs = window->prefsDialog();
    ASSERT_TRUE(show_active(prefs));
    ViewPrefsParamsSnapshot* page = prefs->snapshotPage();
    ViewCheckbox* warnSoundCard = prefs->userInterfacePage()->checkbox(3);
    EXPECT_EQ(page->widthBox()->value(), 1920);
    EXPECT_TRUE(warnSoundCard->isChecked());
    type_number(page->qualityBox()->entry(), "55");  // edited here

    DialogSnapshotParams* params = open_snapshot_params(window.get());
    ASSERT_NE(params, nullptr);
    type_number(params->page()->widthBox()->entry(), "640");
    click(params->rightButtons().at(0));  // "Save"
    click(warning->dontShowAgain());
    click(warning->closeButton());
    click(window->bottomBar()->button(ViewBottomCtrl::Button_PlayMode));  // loop
    click(prefs->rightButtons().at(0));  // "Save"

    expect_in_store_and_file(settings, [&](const GlobalSettings* store) {
        EXPECT_EQ(store->snapshot_scale_width, 640u);
        EXPECT_FALSE(store->isDisplayWarnUnsupportedSoundCard());
        EXPECT_TRUE(store->play_loop);
        EXPECT_EQ(store->snapshot_jpeg_qual, 55u);
    });
    window->act_menu_prefs();
    EXPECT_EQ(page->widthBox()->value(), 640);
    EXPECT_FALSE(warnSoundCard->isChecked());

    // The other way round: the snapshot dialog stays open while the preferences
    // window saves a quality; its own Save (a height) keeps that quality.
    params = open_snapshot_params(window.get());
    ASSERT_NE(params, nullptr);
    ASSERT_TRUE(show_active(prefs));
    type_number(page->qualityBox()->entry(), "70");
    click(prefs->rightButtons().at(0));  // "Save"
    ASSERT_TRUE(show_active(params));
    type_number(params->page()->heightBox()->entry(), "720");
    click(params->rightButtons().at(0));  // "Save"
    EXPECT_EQ(settings->snapshot_jpeg_qual, 70u);
    EXPECT_EQ(settings->snapshot_scale_height, 720u);
    delete video;
    window.reset();
}

// Save in the preferences window when the file cannot be written (a full disk, a
// folder in its place): the window closes, a message box names the file and the
// reason, and the changed value stays in effect. Quit only logs it.
TEST(PrefsFromMainWindow, SaveThatCannotWriteTheFileSaysWhichFileAndWhy) {
    start_without_video();
    auto* video = new VulkanWindow;
    auto window = std::make_unique<MainWindow>(video, nullptr, QString());
    GlobalSettings* settings = window->settings();
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir folderInPlace;
    ASSERT_TRUE(QDir(folderInPlace.path()).mkpath("norvu_hap_player_prefs.xml"));
    const struct {
        QString home;  // empty: the test's own, under a file-size limit
        const char* reason;
    } cases[] = {{QString(), "File too large"}, {folderInPlace.path(), "Is a directory"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        if (!c.home.isEmpty()) qputenv("XDG_CONFIG_HOME", c.home.toUtf8());
        window->act_menu_prefs();
        DialogPrefs* prefs = window->prefsDialog();
        const bool autoImport = !settings->import_auto_load_wave_files;
        click(prefs->importPage()->checkbox(0));
        {
            std::optional<testsupport::FileSizeLimit> full;
            if (c.home.isEmpty()) {
                ASSERT_TRUE(full.emplace(1024).armed());
            }
            click(prefs->rightButtons().at(0));  // "Save"
        }
        EXPECT_FALSE(prefs->isVisible());
        DialogSimpleMsg* message = window->prefsSaveMessage();
        ASSERT_NE(message, nullptr);
        EXPECT_TRUE(message->isVisible());
        EXPECT_EQ(message->messageLabel()->text(), QString("Can't write preferences file : %1 (%2)")
                                                       .arg(QDir::toNativeSeparators(GlobalSettings::prefsFilePath()),
                                                            c.reason));
        EXPECT_EQ(settings->import_auto_load_wave_files, autoImport);
        click(message->rightButtons().at(0));  // "Ok"
        EXPECT_FALSE(message->isVisible());
        qputenv("XDG_CONFIG_HOME", configHome);
    }
    qputenv("XDG_CONFIG_HOME", folderInPlace.path().toUtf8());
    window->act_quit_menu();
    qputenv("XDG_CONFIG_HOME", configHome);
    for (DialogSimpleMsg* message : window->findChildren<DialogSimpleMsg*>()) EXPECT_FALSE(message->isVisible());
    delete video;
    window.reset();
}

namespace {

// Picks Window > Preferences as a person does (its menu opened, the entry clicked);
// returns the preferences window once it is active, else null.
DialogPrefs* pick_preferences(MainWindow* window) {
    QAction* entry = menu_bar_entry(*window, [](const QAction* a) { return a->text() == "Preferences..."; });
    auto* menu = entry ? qobject_cast<QMenu*>(entry->parent()) : nullptr;
    if (!menu) return nullptr;
    menu->popup(QPoint(0, 0));
    if (!QTest::qWaitForWindowExposed(menu)) return nullptr;
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(entry).center());
    DialogPrefs* prefs = window->prefsDialog();
    return prefs && QTest::qWaitForWindowActive(prefs) ? prefs : nullptr;
}

// What a number field shows.
template <class Box>
std::string shown(const Box* box) {
    return box->entry()->text().toStdString();
}

}  // namespace

// Window > Preferences picked while the window is open, or minimised, brings it forward
// with what was typed in it, and Save stores that. After Cancel it opens on the store.
TEST(PrefsFromMainWindow, PickedAgainWhileOpenComesForwardWithWhatWasTyped) {
    VulkanWindow* video = nullptr;
    auto window = window_with_sound_card_warning(&video);
    DialogPrefs* prefs = pick_preferences(window.get());
    ASSERT_NE(prefs, nullptr);
    ViewSpinBoxIntEval* width = prefs->snapshotPage()->widthBox();
    type_number(width->entry(), "640");
    for (const bool minimized : {false, true}) {
        SCOPED_TRACE(minimized ? "minimized" : "open");
        if (minimized) prefs->showMinimized();
        EXPECT_EQ(pick_preferences(window.get()), prefs);
        EXPECT_FALSE(prefs->isMinimized());
        EXPECT_EQ(shown(width), "640");
    }
    click(prefs->rightButtons().at(0));  // "Save"
    EXPECT_EQ(window->settings()->snapshot_scale_width, 640u);

    ASSERT_EQ(pick_preferences(window.get()), prefs);
    type_number(width->entry(), "800");
    click(prefs->rightButtons().at(1));  // "Cancel"
    ASSERT_EQ(pick_preferences(window.get()), prefs);
    EXPECT_EQ(shown(width), "640");
    delete video;
    window.reset();
}

// An open preferences window shows what the snapshot parameters dialog and the sound
// card warning store, in each field not being edited there, and the dialog what the
// window stores. Each one's Save stores what it shows, also a value reset or typed back
// to the one it opened with.
TEST(PrefsFromMainWindow, OpenWindowShowsWhatOthersSaveAndSaveStoresWhatItShows) {
    VulkanWindow* video = nullptr;
    auto window = window_with_sound_card_warning(&video);
    GlobalSettings* settings = window->settings();
    DialogWarningErr* warning = window->warningDialog();
    ASSERT_NE(warning, nullptr);
    DialogPrefs* prefs = pick_preferences(window.get());
    ASSERT_NE(prefs, nullptr);
    ViewPrefsParamsSnapshot* page = prefs->snapshotPage();
    ViewCheckbox* warnSoundCard = prefs->userInterfacePage()->checkbox(3);
    type_number(page->qualityBox()->entry(), "55");  // being edited here

    DialogSnapshotParams* params = open_snapshot_params(window.get());
    ASSERT_NE(params, nullptr);
    type_number(params->page()->widthBox()->entry(), "640");
    type_number(params->page()->qualityBox()->entry(), "40");
    click(params->rightButtons().at(0));  // "Save"
    click(warning->dontShowAgain());
    click(warning->closeButton());
    EXPECT_EQ(shown(page->widthBox()), "640");
    EXPECT_EQ(shown(page->qualityBox()), "55");
    EXPECT_FALSE(warnSoundCard->isChecked());
    click(page->resetButton());  // the width back to 1920
    click(prefs->rightButtons().at(0));  // "Save"
    EXPECT_EQ(settings->snapshot_scale_width, 1920u);

    // The other way round, with the quality the dialog opened with typed back there.
    ASSERT_EQ(pick_preferences(window.get()), prefs);
    params = open_snapshot_params(window.get());
    ASSERT_NE(params, nullptr);
    const std::string opened = shown(params->page()->qualityBox());
    ASSERT_TRUE(show_active(prefs));
    type_number(page->qualityBox()->entry(), "70");
    click(prefs->rightButtons().at(0));  // "Save"
    EXPECT_EQ(shown(params->page()->qualityBox()), "70");
    ASSERT_TRUE(show_active(params));
    type_number(params->page()->qualityBox()->entry(), QString::fromStdString(opened));
    click(params->rightButtons().at(0));  // "Save"
    EXPECT_EQ(std::to_string(settings->snapshot_jpeg_qual), opened);
    delete video;
    window.reset();
}

namespace {

// Opens the combo box's item list with a click and clicks entry `index` in it.
template <class Window>
void choose(Window* window, ViewCombobox2* combo, int index) {
    ASSERT_NO_FATAL_FAILURE(click_item(*window, combo, index));
    EXPECT_EQ(combo->currentIndex(), index);
}

}  // namespace

// A field of the open preferences window that was typed into, chosen in or reset keeps
// what it shows when the snapshot parameters dialog or the sound card warning stores
// that value, also when it shows what it showed before the edit; a field left alone
// shows the stored value. Save stores what each field shows.
TEST(PrefsFromMainWindow, FieldEditedToTheValueItShowedKeepsItOverAnotherWindowsSave) {
    VulkanWindow* video = nullptr;
    auto window = window_with_sound_card_warning(&video);
    GlobalSettings* settings = window->settings();
    DialogWarningErr* warning = window->warningDialog();
    ASSERT_NE(warning, nullptr);
    const struct {
        const char* name;
        std::function<void(DialogPrefs*)> edit;
        const char* width;  // what Width shows once the dialog saved 640
        uint32_t format;    // and Format once it saved Png (1)
    } cases[] = {
        {"1920 typed into Width, Jpeg chosen, a switch clicked twice",
         [&](DialogPrefs* prefs) {
             ViewTextEntry* width = prefs->snapshotPage()->widthBox()->entry();
             click(width);
             width->selectAll();
             QTest::keyClicks(width, "1920");
             QTest::keyClick(width, Qt::Key_Tab);
             EXPECT_FALSE(width->hasFocus());
             choose(prefs, prefs->snapshotPage()->formatCombo(), 0);
             ViewCheckbox* warnSoundCard = prefs->userInterfacePage()->checkbox(3);
             click(warnSoundCard);
             click(warnSoundCard);
             // The warning's "Don't show again" stores the switch off meanwhile.
             click(warning->dontShowAgain());
             click(warning->closeButton());
             ASSERT_FALSE(settings->isDisplayWarnUnsupportedSoundCard());
             EXPECT_TRUE(warnSoundCard->isChecked());
         },
         "1920", 0},
        {"the snapshot page reset", [](DialogPrefs* prefs) { click(prefs->snapshotPage()->resetButton()); }, "1920",
         0},
        {"left alone", [](DialogPrefs*) {}, "640", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts on 1920 and Jpeg, with the size fields open (Reset turns scaling off).
        settings->snapshot_scale_width = 1920;
        settings->snapshot_format = GlobalSettings::SnapshotFormat_Jpeg;
        settings->snapshot_scale_mode = GlobalSettings::SnapshotScale_FitTo;
        DialogPrefs* prefs = pick_preferences(window.get());
        ASSERT_NE(prefs, nullptr);
        ViewPrefsParamsSnapshot* page = prefs->snapshotPage();
        ASSERT_EQ(shown(page->widthBox()), "1920");
        c.edit(prefs);

        DialogSnapshotParams* params = open_snapshot_params(window.get());
        ASSERT_NE(params, nullptr);
        type_number(params->page()->widthBox()->entry(), "640");
        choose(params, params->page()->formatCombo(), 1);
        click(params->rightButtons().at(0));  // "Save"
        ASSERT_EQ(settings->snapshot_scale_width, 640u);
        ASSERT_EQ(settings->snapshot_format, 1u);
        EXPECT_EQ(shown(page->widthBox()), c.width);
        EXPECT_EQ(page->formatCombo()->currentIndex(), int(c.format));

        click(prefs->rightButtons().at(0));  // "Save"
        EXPECT_EQ(std::to_string(settings->snapshot_scale_width), c.width);
        EXPECT_EQ(settings->snapshot_format, c.format);
        EXPECT_TRUE(settings->isDisplayWarnUnsupportedSoundCard());
    }
    delete video;
    window.reset();
}
