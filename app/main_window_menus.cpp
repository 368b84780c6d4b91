// The menu bar and the video's context menu, both built from the action table
// (main_window_actions.cpp), with the refresh of their texts and check marks; the
// preferences window, the tool windows of the Analyse menu and the snapshot parameters
// dialog.
//
// The check marks are never kept in the menus: after every change they are read again
// from the states the rows name (MainWindow::actionState), for the menu bar by
// refreshMenuActions and for the context menu each time it is built.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include <utility>

#include "app/main_window.h"
#include "render/vulkan_win_renderer.h"
#include "audio/all_audio_src_tracks.h"
#include "movie/frame_compressed_buffer.h"
#include "tools/dialog_analyse.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/dialog_benchmark.h"
#include "tools/dialog_hardware_information.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "ui/dialog_ask.h"

namespace {

QAction* run_context_menu(QMenu* menu, const QPoint& at) {
    // Read the current runner by swapping it out and straight back in.
    const MainWindow::MenuExecProvider runner = MainWindow::setMenuExecProvider(nullptr);
    MainWindow::setMenuExecProvider(runner);
    return runner(menu, at);
}

}  // namespace

// The menus in the order of their first rows in the table (File, Window, View,
// Analyse, Help), each with its rows in table order.
void MainWindow::createMenus() {
    QList<ActionMenu> menus;
    for (const MainWindowAction& row : mainWindowActions())
        if (row.menu != ActionMenu::None && !menus.contains(row.menu)) menus << row.menu;
    for (const ActionMenu menu : std::as_const(menus)) {
        QList<const MainWindowAction*> rows;
        for (const MainWindowAction& row : mainWindowActions())
            if (row.menu == menu) rows << &row;
        m_menuEntries << addMenuEntries(menuBar()->addMenu(actionMenuTitle(menu)), rows, ActionTexts::MenuBar);
    }
    for (const MenuEntry& entry : std::as_const(m_menuEntries)) {
        const MainWindowAction* row = entry.row;
        if (row->isChoice()) {
            for (qsizetype i = 0; i < entry.choices.size(); ++i) {
                const uint32_t index = static_cast<uint32_t>(i);
                connect(entry.choices[i], &QAction::triggered, this, [this, row, index] { (this->*row->choose)(index); });
            }
            continue;
        }
        connect(entry.action, &QAction::triggered, this, row->run);
        // Full screen hides the menu bar, and a hidden bar's shortcuts are dead: the
        // window carries every entry that has a shortcut as well, so each works in full
        // screen as in a window (one action, so still once per press).
        if (row->hasShortcut()) {
            entry.action->setShortcut(row->shortcutSequence());
            addAction(entry.action);
        }
    }
}

QList<MainWindow::MenuEntry> MainWindow::addMenuEntries(QMenu* menu, const QList<const MainWindowAction*>& rows,
                                                        ActionTexts texts) {
    QList<MenuEntry> entries;
    QMenu* submenu = nullptr;
    const char* submenuTitle = nullptr;
    for (const MainWindowAction* row : rows) {
        if (row->isSeparator()) {
            menu->addSeparator();
            continue;
        }
        QMenu* into = menu;
        if (row->submenu) {
            if (!submenu || qstrcmp(submenuTitle, row->submenu) != 0) {
                submenu = menu->addMenu(actionText(row->submenu, texts));
                submenuTitle = row->submenu;
            }
            into = submenu;
        } else {
            submenu = nullptr;
        }
        const QString text = actionLabel(*row, texts);
        MenuEntry entry;
        entry.row = row;
        if (row->isChoice()) {
            entry.submenu = into->addMenu(text);
            entry.action = entry.submenu->menuAction();
            for (const QString& choice : actionChoiceTexts(*row, texts)) {
                QAction* action = entry.submenu->addAction(choice);
                action->setCheckable(true);
                entry.choices << action;
            }
        } else {
            entry.action = into->addAction(text);
            if (row->state != ActionState::None && !row->onLabel) entry.action->setCheckable(true);
        }
        entries << entry;
    }
    return entries;
}

void MainWindow::checkOnlyAction(const QList<QAction*>& actions, int index) {
    for (qsizetype i = 0; i < actions.size(); ++i) {
        actions[i]->setCheckable(true);
        actions[i]->setChecked(i == index);
    }
}

void MainWindow::applyActionState(const MenuEntry& entry, ActionTexts texts) const {
    const MainWindowAction& row = *entry.row;
    if (row.state != ActionState::None) {
        const int state = actionState(row.state);
        if (row.isChoice()) {
            checkOnlyAction(entry.choices, state);
        } else if (row.onLabel) {
            entry.action->setText(actionLabel(row, texts, state != 0));
        } else {
            entry.action->setChecked(state != 0);
        }
    }
    if (row.enabledWhen != ActionState::None) {
        const bool enabled = actionState(row.enabledWhen) != 0;
        if (entry.submenu) entry.submenu->setEnabled(enabled);
        else entry.action->setEnabled(enabled);
    }
}

void MainWindow::refreshMenuActions() {
    if (!renderer()) return;
    for (const MenuEntry& entry : std::as_const(m_menuEntries)) applyActionState(entry, ActionTexts::MenuBar);
}

void MainWindow::refreshAudioMenuActions() {
    for (const MenuEntry& entry : std::as_const(m_menuEntries)) {
        const ActionState state = entry.row->state;
        if (state == ActionState::MetersPanelShown || state == ActionState::MappingPanelShown)
            applyActionState(entry, ActionTexts::MenuBar);
    }
}

void MainWindow::uncheckMenuEntry(ActionState state) {
    for (const MenuEntry& entry : std::as_const(m_menuEntries))
        if (entry.row->state == state) entry.action->setChecked(false);
}

// Built anew at each click from the rows that have a context text. The chosen entry
// runs once the menu returns it: the menu runner may be replaced, and a replacement
// only names the entry, it triggers nothing.
void MainWindow::viewVideoRightClic(const QMouseEvent* event) {
    if (!event || !renderer()) return;
    QMenu menu(QStringLiteral("Context menu View Parameters"), this);
    QList<const MainWindowAction*> rows;
    for (const MainWindowAction& row : mainWindowActions())
        if (row.contextLabel) rows << &row;
    const QList<MenuEntry> entries = addMenuEntries(&menu, rows, ActionTexts::Context);
    for (const MenuEntry& entry : entries) applyActionState(entry, ActionTexts::Context);

    QAction* chosen = run_context_menu(&menu, event->globalPosition().toPoint());
    if (!chosen) return;
    for (const MenuEntry& entry : entries) {
        if (entry.action == chosen && entry.row->run) {
            (this->*entry.row->run)();
            return;
        }
        const qsizetype index = entry.choices.indexOf(chosen);
        if (index >= 0) {
            (this->*entry.row->choose)(static_cast<uint32_t>(index));
            return;
        }
    }
}

void MainWindow::act_menu_prefs() {
    if (!m_prefsDialog) m_prefsDialog = new DialogPrefs(nullptr);
    // Open already (it is not modal): only brought forward, so that what is typed in
    // it stays; it follows the store by itself while open.
    const bool opening = !m_prefsDialog->isVisible();
    m_prefsDialog->setWindowState(m_prefsDialog->windowState() & ~Qt::WindowMinimized);
    m_prefsDialog->show();
    m_prefsDialog->linkScreenChanged();
    // Made at every showing, so unique: one Save must save and apply once.
    connect(m_prefsDialog, &DialogPrefs::clic_btn_dialog_1, this, &MainWindow::act_notif_close_prefs_panel,
            Qt::UniqueConnection);
    if (opening) m_prefsDialog->setSettings(m_settings);
    m_prefsDialog->raise();
    m_prefsDialog->activateWindow();
}

void MainWindow::act_notif_close_prefs_panel() {
    const QString failure = saveSettings();
    applySettings(false);
    if (m_prefsDialog) m_prefsDialog->close();
    updateIfPaused();
    // The person asked for this save, so a file that could not be written is told
    // (Quit and closing only log it: they never wait on a message). The values stay
    // in effect for this run.
    if (failure.isEmpty()) return;
    if (m_prefsSaveMessage) m_prefsSaveMessage->deleteLater();
    m_prefsSaveMessage = new DialogSimpleMsg(this, failure);
    m_prefsSaveMessage->showDialog(true);
}

void MainWindow::act_context_menu_snapshot_params() {
    stopPlayback();
    if (m_snapshotParamsDialog) m_snapshotParamsDialog->deleteLater();
    m_snapshotParamsDialog = new DialogSnapshotParams(this, m_settings);
    m_snapshotParamsDialog->showDialog(false);
}

void MainWindow::act_menu_file_test() {
    stopPlayback();
    if (!m_movie) {
        displayErrorInfo(tr("File test"), tr("No file load"));
        return;
    }
    // Built once; setFile keeps a test of this same movie on show, else starts over.
    if (!m_fileTestDialog) m_fileTestDialog = new DialogAnalyse(this);
    m_fileTestDialog->setFile(m_movie, m_tracks, m_settings);
    m_fileTestDialog->showDialog(false);
    m_fileTestDialog->linkScreenChanged();
}

void MainWindow::act_menu_audio_analyse() {
    stopPlayback();
    if (!m_movie) {
        displayErrorInfo(tr("Audio Analyse"), tr("No file load"));
        return;
    }
    if (!m_tracks || !m_tracks->hasRoutedTrack()) {
        displayErrorInfo(tr("Audio Analyse"), tr("No audio"));
        return;
    }
    // A new dialog at each use; the previous one goes once its events are done.
    if (m_audioAnalyseDialog) m_audioAnalyseDialog->deleteLater();
    m_audioAnalyseDialog = new DialogAudioAnalyse(this, m_settings);
    m_audioAnalyseDialog->setTracks(m_movie, m_tracks);
    m_audioAnalyseDialog->setRange(m_frameQueue->inPoint(), m_frameQueue->outPoint());
    m_audioAnalyseDialog->showDialog(false);
    m_audioAnalyseDialog->linkScreenChanged();
}

void MainWindow::act_menu_benchmark() {
    stopPlayback();
    if (!m_movie) {
        displayErrorInfo(tr("Benchmark"), tr("No file load"));
        return;
    }
    // A new dialog at each use; the previous one goes once its events are done.
    if (m_benchmarkDialog) m_benchmarkDialog->deleteLater();
    m_benchmarkDialog = new DialogBenchmark(this, m_settings);
    m_benchmarkDialog->setFile(m_movie);
    m_benchmarkDialog->showDialog(false);
    m_benchmarkDialog->linkScreenChanged();
}

void MainWindow::act_menu_hardware_info() {
    if (!m_hardwareDialog) m_hardwareDialog = new DialogHardwareInformation(nullptr);
    m_hardwareDialog->show();
    m_hardwareDialog->linkScreenChanged();
    m_hardwareDialog->buildText(videoWindow(), m_monitor);
    m_hardwareDialog->activateWindow();
}
