// The preferences window as the main window opens it from its menu: made once, and
// however often it was opened, one Save writes and applies the store once. The
// snapshot parameters dialog, made anew at each use. A Save on a full disk keeps the
// file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QTest>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "file_bytes.h"
#include "log_capture.h"
#include "render/vulkan_window.h"
#include "tests/support/file_size_limit.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_switches.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_combobox2.h"
#include "widget_app.h"

namespace {
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
    widget_app(true);
    MainWindow::setCriticalBoxProvider([](QWidget*, const QString& title, const QString& text) {
        qWarning().noquote() << "critical box:" << title << text;
    });
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
    widget_app(true);
    MainWindow::setCriticalBoxProvider([](QWidget*, const QString& title, const QString& text) {
        qWarning().noquote() << "critical box:" << title << text;
    });
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
    widget_app(true);
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
