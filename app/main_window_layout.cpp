// Messages and the two overlays drawn by the renderer, the layout of the views around
// the video, full screen, the screen's density, and the display state that moves
// between the renderer and the preferences.
#include <QApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "app/settings_canvas_colours.h"
#include "app/view_bottom_ctrl.h"
#include "app/view_in_out_point.h"
#include "app/view_info_error.h"
#include "app/view_information.h"
#include "app/view_progress_bar.h"
#include "audio/all_audio_src_tracks.h"
#include "media/movie/file_link_information_data.h"
#include "media/movie/frame_compressed_buffer.h"
#include "platform/desktop/reveal_file.h"
#include "platform/desktop/window_dpi.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "ui/view_editable_time.h"
#include "ui/view_simple_image.h"

QImage grabWidgetToImage(QWidget* widget, int scale) {
    QImage image(widget->size() * scale, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (scale != 1) painter.scale(scale, scale);
    widget->render(&painter, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

void MainWindow::updateIfPaused() {
    if (videoWindow_ && playSpeed() == 0) videoWindow_->requestUpdate();
}

void MainWindow::showErrorOverlay(bool show) {
    errorShown_ = show;
    if (videoWindow_) videoWindow_->setShowErrorOverlay(show);
}

void MainWindow::stopMessageTimer() {
    if (!messageTimer_) return;
    messageTimer_->stop();
    messageTimer_->deleteLater();
    messageTimer_ = nullptr;
}

void MainWindow::displayErrorInfo(const QString& title, const QString& text) {
    qDebug().noquote() << "ERROR : " + title + " : " + text;
    if (!rendererReady_) {
        pendingErrorTitle_ = title;
        pendingErrorText_ = text;
        return;
    }
    infoError_->setTexts(title, text);
    infoError_->setStateError();
    refreshErrorOverlay();
    stopMessageTimer();
    showErrorOverlay(true);
    updateIfPaused();
}

void MainWindow::displayInfo(const QString& title, const QString& text) {
    qDebug().noquote() << "INFO : " + title + " : " + text;
    infoError_->setTexts(title, text);
    infoError_->setStateInfo();
    refreshErrorOverlay();
    showErrorOverlay(true);
    stopMessageTimer();
    messageTimer_ = new QTimer(this);
    messageTimer_->setSingleShot(true);
    connect(messageTimer_, &QTimer::timeout, this, &MainWindow::act_timer_hide_error_info);
    messageTimer_->start(4000);
    updateIfPaused();
}

void MainWindow::act_timer_hide_error_info() {
    showErrorOverlay(false);
    updateIfPaused();
}

void MainWindow::viewVideoClicError() {
    showErrorOverlay(false);
    updateIfPaused();
    stopMessageTimer();
}

void MainWindow::refreshErrorOverlay() {
    const QImage image = grabWidgetToImage(infoError_, screenDpi_ < 97 ? 1 : 2);
    if (!videoWindow_ || !renderer()) {
        qDebug().noquote() << "Can't edit error msg (no view or renderer)";
        return;
    }
    if (rendererHasResources()) renderer()->updateErrorOverlayImage(image);
}

void MainWindow::refreshInformationOverlay() {
    ViewInformation view(nullptr);
    view.setUnitSwitches(settings_->ui_bitrate_unit_bits, settings_->ui_bandwidth_gpu_unit_bits,
                  settings_->ui_filesize_unit_ki);
    view.setFileInfo(movie_, tracks_);
    view.updateLayout();
    const QImage image = grabWidgetToImage(&view, screenDpi_ > 96 ? 2 : 1);
    VulkanWinRenderer* r = renderer();
    if (!r || !videoWindow_) return;
    if (r->setInformationOverlayImage(image, static_cast<uint32_t>(view.height()))) r->refresh();
    const QList<FileLinkInformationData*> zones = view.fileLinks();  // ours to free
    videoWindow_->setInformationZones(zones);
    qDeleteAll(informationZones_);
    informationZones_ = zones;
}

void MainWindow::viewControlsClicInformation() {
    informationShown_ = !informationShown_;
    if (videoWindow_) videoWindow_->setShowInformationOverlay(informationShown_);
    refreshMenuActions();
    updateIfPaused();
}

void MainWindow::act_menu_show_hide_information() { viewControlsClicInformation(); }

void MainWindow::viewVideoClicNameFile(QString filepath) {
    if (filepath.isEmpty()) return;
    revealInFileManager(filepath);
}

void MainWindow::layoutViews() {
    const bool full = isFullScreen();
    int W = width();
    int H = height();
    int M = 0;
    if (full) {
        menuBar()->hide();
        if (QScreen* s = screen()) {
            W = s->geometry().width();
            H = s->geometry().height();
        }
    } else {
        menuBar()->show();
        M = menuBar()->sizeHint().height();
    }
    const int Hv = controlsShown_ ? H - M - 83 : (full ? H - M : H - M - 5);
    const QRect video(0, M, W, std::max(Hv, 1));
    const QRect progress(5, M + Hv, W - 10, controlsShown_ ? 18 : 0);
    const QRect bar(5, controlsShown_ ? M + Hv + 18 : M + Hv, W - 10, controlsShown_ ? 55 : 0);
    const QRect markers(5, progress.y() + 17, W - 10, 12);
    const int w = logo_->width();
    const QRect logo(8, full ? H - 3 - w : H - 8 - w, w, w);
    const QRect information(W - 400, 0, 400, Hv);
    const QRect error((W - infoError_->width()) / 2, (Hv - infoError_->height()) / 2, infoError_->width(),
                      infoError_->height());

    if (videoWindow_) {
        videoWindow_->setErrorOverlayRect(error);
        videoWindow_->setInformationOverlayRect(information);
    }
    videoContainer_->setGeometry(video);
    if (controlsShown_) {
        progressBar_->setGeometry(progress);
        progressBar_->show();
        bottomCtrl_->setGeometry(bar);
        bottomCtrl_->show();
        logo_->setGeometry(logo);
        logo_->show();
        logo_->raise();
        if (markersVisible_) {
            inOutPoint_->setGeometry(markers);
            inOutPoint_->show();
            inOutPoint_->raise();
            inOutPoint_->updateLayout();
        } else {
            inOutPoint_->hide();
        }
    } else {
        progressBar_->hide();
        bottomCtrl_->hide();
        logo_->hide();
        inOutPoint_->hide();
    }
    if (VulkanWinRenderer* r = renderer()) r->refresh();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!rendererReady_) return;
    stopPlayback();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    layoutViews();
}

void MainWindow::act_menu_show_hide_controls() {
    controlsShown_ = !controlsShown_;
    refreshMenuActions();
    layoutViews();
}

void MainWindow::toggleFullScreen() {
    if (!isFullScreen()) {
        setWindowState(Qt::WindowFullScreen);
        showFullScreen();
        if (settings_->hide_controls_in_full_screen && isFullScreen() && controlsShown_) {
            controlsShown_ = false;
            controlsHiddenByFullScreen_ = true;
        }
        layoutViews();
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        showNormal();
        if (settings_->hide_controls_in_full_screen && !isFullScreen() && controlsHiddenByFullScreen_)
            controlsShown_ = true;
        // Cleared on leaving, so a later round trip never shows controls hidden by hand.
        controlsHiddenByFullScreen_ = false;
        layoutViews();
        QCoreApplication::processEvents();
    }
    refreshMenuActions();
}

void MainWindow::viewControlsClicFullScreen() { toggleFullScreen(); }
void MainWindow::viewVideoDoubleClick() { toggleFullScreen(); }
void MainWindow::act_menu_toggle_fullscreen() { toggleFullScreen(); }

void MainWindow::enterFullScreen() {
    if (!isFullScreen()) toggleFullScreen();
}

void MainWindow::exitFullScreen() {
    if (isFullScreen()) toggleFullScreen();
}

void MainWindow::screen_changed(QScreen*) {
    qDebug().noquote() << "Screen changed";
    updateDpi();
}

void MainWindow::updateDpi() {
    const int dpi = std::max<int>(96, static_cast<int>(platformWindowDpi(windowHandle())));
    if (dpi == screenDpi_) return;
    screenDpi_ = dpi;
    if (VulkanWinRenderer* r = renderer()) r->setHighDpi(dpi > 96);
    refreshInformationOverlay();
    refreshErrorOverlay();
    refreshViewSize();
}

void MainWindow::saveSettings() {
    if (VulkanWinRenderer* r = renderer()) {
        settings_->view_bg_mode = r->backgroundModeRaw();  // the menu's numbering, not the snapshot's
        settings_->view_alpha_mode = r->alphaMode();
        settings_->view_channels = r->channelMode();
        settings_->view_scaling_quality = r->scaleMode();
        settings_->view_cropbox_display_mode = r->cropBoxDisplayMode();
    }
    settings_->storeMainWinPanel(windowHandle());
    saveAudioPanelSettings();
    settings_->ui_timemode = bottomCtrl_->timeDisplay()->mode();
    settings_->play_loop = bottomCtrl_->isPlayModeLoop();
    settings_->view_show_controls = controlsShown_;
    settings_->save();
}

void MainWindow::applySettings(bool first) {
    if (!settings_) {
        qDebug().noquote() << "Null settings";
        return;
    }
    if (first && settings_->ui_remember_windows_view_settings && !settingsApplied_) {
        if (!videoWindow_) {
            qDebug().noquote() << "Invalid ui video";
        } else {
            settingsApplied_ = true;
            if (!settings_->view_show_controls) controlsShown_ = false;
            bottomCtrl_->setPlayModeLoop(settings_->play_loop);
            if (settings_->play_loop) viewControlsClicPlayMode(1);
            bottomCtrl_->timeDisplay()->setModeRefresh(settings_->ui_timemode);
            restoreAudioPanels();
            if (VulkanWinRenderer* r = renderer()) {
                r->setCropBoxDisplayMode(settings_->view_cropbox_display_mode);
                r->setBackgroundMode(settings_->view_bg_mode);
                r->setChannelMode(settings_->view_channels);
                r->setAlphaMode(settings_->view_alpha_mode);
                r->setScaleMode(settings_->view_scaling_quality);
            } else {
                qDebug().noquote() << "No renderer";
            }
            if (const PanelSettings* main = settings_->mainWinPanel()) {
                if (main->is_full_screen) enterFullScreen();
                else if (main->valid) setGeometry(main->geometry());
            } else {
                qDebug().noquote() << "Main window settings not init";
            }
        }
    }
    refreshInformationOverlay();
    applyAudioMappingSettings();
    if (VulkanWinRenderer* r = renderer()) {
        r->setBackgroundColors(canvas_colours(*settings_));
        r->setShowSafeArea(settings_->isSafeAreaVisible());
        r->setShowVideoArea(settings_->isVideoAreaVisible());
    }
    layoutViews();
}
