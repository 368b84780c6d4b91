// The menu bar, in the order File, Window, View, Analyse, Help (the View and Help
// menus are built in main_window_view_menu.cpp); the preferences window, the tool
// windows of the Analyse menu and the snapshot parameters dialog.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/main_window.h"
#include "render/vulkan_win_renderer.h"
#include "audio/all_audio_src_tracks.h"
#include "media/movie/frame_compressed_buffer.h"
#include "tools/dialog_analyse.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/dialog_benchmark.h"
#include "tools/dialog_hardware_information.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"

void MainWindow::createMenus() {
    fileMenu_ = menuBar()->addMenu(tr("&File"));
    QAction* about = fileMenu_->addAction(tr("About NorvuHAPPlayer"));
    connect(about, &QAction::triggered, this, &MainWindow::act_about_menu);
    fileMenu_->addSeparator();
    QAction* open = fileMenu_->addAction(tr("Open..."));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &MainWindow::act_open_menu);
    fileMenu_->addSeparator();
    QAction* quit = fileMenu_->addAction(tr("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &MainWindow::act_quit_menu);

    createAudioMenu();
    windowMenu_->addSeparator();
    QAction* hardware = windowMenu_->addAction(tr("Hardware informations..."));
    connect(hardware, &QAction::triggered, this, &MainWindow::act_menu_hardware_info);
    // The last entry of the Window menu.
    QAction* prefs = windowMenu_->addAction(tr("Preferences..."));
    connect(prefs, &QAction::triggered, this, &MainWindow::act_menu_prefs);

    createViewMenu();

    QMenu* analyse = menuBar()->addMenu(tr("&Analyse"));
    QAction* fileTest = analyse->addAction(tr("File test..."));
    connect(fileTest, &QAction::triggered, this, &MainWindow::act_menu_file_test);
    QAction* audioAnalyse = analyse->addAction(tr("Audio Analyse..."));
    connect(audioAnalyse, &QAction::triggered, this, &MainWindow::act_menu_audio_analyse);
    QAction* benchmark = analyse->addAction(tr("Benchmark..."));
    connect(benchmark, &QAction::triggered, this, &MainWindow::act_menu_benchmark);

    createHelpMenu();

    // Full screen hides the menu bar, and a hidden bar's shortcuts are dead: the window
    // carries every entry that has a shortcut as well, so each works in full screen as
    // in a window (one action, so still once per press).
    for (QAction* action : menuBar()->findChildren<QAction*>())
        if (!action->shortcut().isEmpty()) addAction(action);
}

void MainWindow::refreshMenuActions() {
    if (!renderer()) return;
    informationAction_->setText(informationShown_ ? tr("Hide informations") : tr("Show informations"));
    controlsAction_->setText(controlsShown_ ? tr("Hide controls") : tr("Show controls"));
    fullScreenAction_->setText(isFullScreen() ? tr("Exit Full Screen") : tr("Enter Full Screen"));
    refreshViewMenuActions();
    refreshAudioMenuActions();
}

void MainWindow::act_menu_prefs() {
    if (!prefsDialog_) prefsDialog_ = new DialogPrefs(nullptr);
    prefsDialog_->show();
    prefsDialog_->linkScreenChanged();
    // Made at every showing, so unique: one Save must save and apply once.
    connect(prefsDialog_, &DialogPrefs::clic_btn_dialog_1, this, &MainWindow::act_notif_close_prefs_panel,
            Qt::UniqueConnection);
    prefsDialog_->setSettings(settings_);
    prefsDialog_->activateWindow();
}

void MainWindow::act_notif_close_prefs_panel() {
    saveSettings();
    applySettings(false);
    if (prefsDialog_) prefsDialog_->close();
    updateIfPaused();
}

void MainWindow::act_context_menu_snapshot_params() {
    stopPlayback();
    if (snapshotParamsDialog_) snapshotParamsDialog_->deleteLater();
    snapshotParamsDialog_ = new DialogSnapshotParams(this, settings_);
    snapshotParamsDialog_->showDialog(false);
}

void MainWindow::act_menu_file_test() {
    stopPlayback();
    if (!movie_) {
        displayErrorInfo(tr("File test"), tr("No file load"));
        return;
    }
    // Built once; setFile keeps a test of this same movie on show, else starts over.
    if (!fileTestDialog_) fileTestDialog_ = new DialogAnalyse(this);
    fileTestDialog_->setFile(movie_, tracks_, settings_);
    fileTestDialog_->showDialog(false);
    fileTestDialog_->linkScreenChanged();
}

void MainWindow::act_menu_audio_analyse() {
    stopPlayback();
    if (!movie_) {
        displayErrorInfo(tr("Audio Analyse"), tr("No file load"));
        return;
    }
    if (!tracks_ || !tracks_->hasRoutedTrack()) {
        displayErrorInfo(tr("Audio Analyse"), tr("No audio"));
        return;
    }
    // A new dialog at each use; the previous one goes once its events are done.
    if (audioAnalyseDialog_) audioAnalyseDialog_->deleteLater();
    audioAnalyseDialog_ = new DialogAudioAnalyse(this, settings_);
    audioAnalyseDialog_->setTracks(movie_, tracks_);
    audioAnalyseDialog_->setRange(frameQueue_->inPoint(), frameQueue_->outPoint());
    audioAnalyseDialog_->showDialog(false);
    audioAnalyseDialog_->linkScreenChanged();
}

void MainWindow::act_menu_benchmark() {
    stopPlayback();
    if (!movie_) {
        displayErrorInfo(tr("Benchmark"), tr("No file load"));
        return;
    }
    // A new dialog at each use; the previous one goes once its events are done.
    if (benchmarkDialog_) benchmarkDialog_->deleteLater();
    benchmarkDialog_ = new DialogBenchmark(this, settings_);
    benchmarkDialog_->setFile(movie_);
    benchmarkDialog_->showDialog(false);
    benchmarkDialog_->linkScreenChanged();
}

void MainWindow::act_menu_hardware_info() {
    if (!hardwareDialog_) hardwareDialog_ = new DialogHardwareInformation(nullptr);
    hardwareDialog_->show();
    hardwareDialog_->linkScreenChanged();
    hardwareDialog_->buildText(videoWindow(), monitor_);
    hardwareDialog_->activateWindow();
}
