// The menu bar: the File entries that open and quit, and the View entries of the
// overlays, controls and full screen.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/main_window.h"
#include "render/vulkan_win_renderer.h"

void MainWindow::createMenus() {
    fileMenu_ = menuBar()->addMenu(tr("&File"));
    QAction* open = fileMenu_->addAction(tr("Open..."));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &MainWindow::act_open_menu);
    fileMenu_->addSeparator();
    QAction* quit = fileMenu_->addAction(tr("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &MainWindow::act_quit_menu);

    viewMenu_ = menuBar()->addMenu(tr("&View"));
    informationAction_ = viewMenu_->addAction(tr("Show informations"));
    informationAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(informationAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_information);
    controlsAction_ = viewMenu_->addAction(tr("Show controls"));
    connect(controlsAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_controls);
    fullScreenAction_ = viewMenu_->addAction(tr("Enter Full Screen"));
    fullScreenAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(fullScreenAction_, &QAction::triggered, this, &MainWindow::act_menu_toggle_fullscreen);

    createAudioMenu();
}

void MainWindow::refreshMenuActions() {
    if (!renderer()) return;
    informationAction_->setText(informationShown_ ? tr("Hide informations") : tr("Show informations"));
    controlsAction_->setText(controlsShown_ ? tr("Hide controls") : tr("Show controls"));
    fullScreenAction_->setText(isFullScreen() ? tr("Exit Full Screen") : tr("Enter Full Screen"));
    refreshAudioMenuActions();
}
