// Messages and the two overlays drawn by the renderer, the layout of the views around
// the video, full screen, the screen's density, and the display state that moves
// between the renderer and the preferences.
#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
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
#include "movie/file_link_information_data.h"
#include "movie/frame_compressed_buffer.h"
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
    if (m_videoWindow && playSpeed() == 0) m_videoWindow->requestUpdate();
}

void MainWindow::showErrorOverlay(bool show) {
    m_errorShown = show;
    if (m_videoWindow) m_videoWindow->setShowErrorOverlay(show);
}

void MainWindow::stopMessageTimer() {
    if (!m_messageTimer) return;
    m_messageTimer->stop();
    m_messageTimer->deleteLater();
    m_messageTimer = nullptr;
}

void MainWindow::displayErrorInfo(const QString& title, const QString& text) {
    qDebug().noquote() << "ERROR : " + title + " : " + text;
    if (!m_rendererReady) {
        m_pendingErrorTitle = title;
        m_pendingErrorText = text;
        return;
    }
    m_infoError->setTexts(title, text);
    m_infoError->setStateError();
    refreshErrorOverlay();
    stopMessageTimer();
    showErrorOverlay(true);
    updateIfPaused();
}

void MainWindow::displayInfo(const QString& title, const QString& text) {
    qDebug().noquote() << "INFO : " + title + " : " + text;
    m_infoError->setTexts(title, text);
    m_infoError->setStateInfo();
    refreshErrorOverlay();
    showErrorOverlay(true);
    stopMessageTimer();
    m_messageTimer = new QTimer(this);
    m_messageTimer->setSingleShot(true);
    connect(m_messageTimer, &QTimer::timeout, this, &MainWindow::act_timer_hide_error_info);
    m_messageTimer->start(4000);
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
    const QImage image = grabWidgetToImage(m_infoError, m_screenDpi < 97 ? 1 : 2);
    if (!m_videoWindow || !renderer()) {
        qDebug().noquote() << "Can't edit error msg (no view or renderer)";
        return;
    }
    // The box's size follows its message: the click zone and the renderer's box with it.
    placeErrorOverlay();
    if (rendererHasResources()) renderer()->updateErrorOverlayImage(image, m_infoError->size());
}

void MainWindow::placeErrorOverlay() {
    if (!m_videoWindow) return;
    const QSize area = m_infoError->area();
    const QSize box = m_infoError->size();
    m_videoWindow->setErrorOverlayRect(
        QRect((area.width() - box.width()) / 2, (area.height() - box.height()) / 2, box.width(), box.height()));
}

void MainWindow::refreshInformationOverlay() {
    ViewInformation view(nullptr);
    view.setUnitSwitches(m_settings->ui_bitrate_unit_bits, m_settings->ui_bandwidth_gpu_unit_bits,
                  m_settings->ui_filesize_unit_ki);
    view.setFileInfo(m_movie, m_tracks);
    view.updateLayout();
    const QImage image = grabWidgetToImage(&view, m_screenDpi > 96 ? 2 : 1);
    VulkanWinRenderer* r = renderer();
    if (!r || !m_videoWindow) return;
    if (r->setInformationOverlayImage(image, static_cast<uint32_t>(view.height()))) r->refresh();
    const QList<FileLinkInformationData*> zones = view.fileLinks();  // ours to free
    m_videoWindow->setInformationZones(zones);
    qDeleteAll(m_informationZones);
    m_informationZones = zones;
}

void MainWindow::viewControlsClicInformation() {
    m_informationShown = !m_informationShown;
    if (m_videoWindow) m_videoWindow->setShowInformationOverlay(m_informationShown);
    refreshMenuActions();
    updateIfPaused();
}

void MainWindow::act_menu_show_hide_information() { viewControlsClicInformation(); }

void MainWindow::viewVideoClicNameFile(QString filepath) {
    if (filepath.isEmpty()) return;
    revealInFileManager(filepath);
}

void MainWindow::layoutViews() {
    // The window's own size, in full screen too: where the window system honours full
    // screen it is the screen's, and where it does not (an X session without a window
    // manager) the window keeps its size and the views must stay inside it.
    const bool full = isFullScreen();
    const int W = width();
    const int H = height();
    int M = 0;
    if (full) {
        menuBar()->hide();
    } else {
        menuBar()->show();
        M = menuBar()->sizeHint().height();
    }
    const int Hv = m_controlsShown ? H - M - 83 : (full ? H - M : H - M - 5);
    const QRect video(0, M, W, std::max(Hv, 1));
    const QRect progress(5, M + Hv, W - 10, m_controlsShown ? 18 : 0);
    const QRect bar(5, m_controlsShown ? M + Hv + 18 : M + Hv, W - 10, m_controlsShown ? 55 : 0);
    const QRect markers(5, progress.y() + 17, W - 10, 12);
    const int w = m_logo->width();
    const QRect logo(8, full ? H - 3 - w : H - 8 - w, w, w);
    const QRect information(W - 400, 0, 400, Hv);

    // A message in lines may take another size in the new video area.
    const QSize box = m_infoError->size();
    m_infoError->setArea(video.size());
    if (m_infoError->size() != box && rendererHasResources())
        refreshErrorOverlay();  // places it too
    else
        placeErrorOverlay();
    if (m_videoWindow) m_videoWindow->setInformationOverlayRect(information);
    m_videoContainer->setGeometry(video);
    if (m_controlsShown) {
        m_progressBar->setGeometry(progress);
        m_progressBar->show();
        m_bottomCtrl->setGeometry(bar);
        m_bottomCtrl->show();
        m_logo->setGeometry(logo);
        m_logo->show();
        m_logo->raise();
        if (m_markersVisible) {
            m_inOutPoint->setGeometry(markers);
            m_inOutPoint->show();
            m_inOutPoint->raise();
            m_inOutPoint->updateLayout();
        } else {
            m_inOutPoint->hide();
        }
    } else {
        m_progressBar->hide();
        m_bottomCtrl->hide();
        m_logo->hide();
        m_inOutPoint->hide();
    }
    if (VulkanWinRenderer* r = renderer()) r->refresh();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!m_rendererReady) return;
    stopPlayback();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    layoutViews();
}

void MainWindow::act_menu_show_hide_controls() {
    m_controlsShown = !m_controlsShown;
    refreshMenuActions();
    layoutViews();
}

void MainWindow::toggleFullScreen() {
    if (!isFullScreen()) {
        setWindowState(Qt::WindowFullScreen);
        showFullScreen();
        if (m_settings->hide_controls_in_full_screen && isFullScreen() && m_controlsShown) {
            m_controlsShown = false;
            m_controlsHiddenByFullScreen = true;
        }
        layoutViews();
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        showNormal();
        if (m_settings->hide_controls_in_full_screen && !isFullScreen() && m_controlsHiddenByFullScreen)
            m_controlsShown = true;
        // Cleared on leaving, so a later round trip never shows controls hidden by hand.
        m_controlsHiddenByFullScreen = false;
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
    if (dpi == m_screenDpi) return;
    m_screenDpi = dpi;
    if (VulkanWinRenderer* r = renderer()) r->setHighDpi(dpi > 96);
    refreshInformationOverlay();
    refreshErrorOverlay();
    refreshViewSize();
}

QString MainWindow::saveSettings() {
    if (VulkanWinRenderer* r = renderer()) {
        m_settings->view_bg_mode = r->backgroundModeRaw();  // the menu's numbering, not the snapshot's
        m_settings->view_alpha_mode = r->alphaMode();
        m_settings->view_channels = r->channelMode();
        m_settings->view_scaling_quality = r->scaleMode();
        m_settings->view_cropbox_display_mode = r->cropBoxDisplayMode();
    }
    m_settings->storeMainWinPanel(windowHandle());
    if (!m_quitClosingWindows) saveAudioPanelSettings();
    m_settings->ui_timemode = m_bottomCtrl->timeDisplay()->mode();
    m_settings->play_loop = m_bottomCtrl->isPlayModeLoop();
    m_settings->view_show_controls = m_controlsShown;
    GlobalSettings::SaveFailure failure;
    if (m_settings->save(&failure)) return QString();
    return QStringLiteral("Can't write preferences file : %1 (%2)")
        .arg(QDir::toNativeSeparators(failure.path), failure.reason);
}

void MainWindow::applySettings(bool first) {
    if (!m_settings) {
        qDebug().noquote() << "Null settings";
        return;
    }
    if (first && m_settings->ui_remember_windows_view_settings && !m_settingsApplied) {
        if (!m_videoWindow) {
            qDebug().noquote() << "Invalid ui video";
        } else {
            m_settingsApplied = true;
            if (!m_settings->view_show_controls) m_controlsShown = false;
            m_bottomCtrl->setPlayModeLoop(m_settings->play_loop);
            if (m_settings->play_loop) viewControlsClicPlayMode(1);
            m_bottomCtrl->timeDisplay()->setModeRefresh(m_settings->ui_timemode);
            restoreAudioPanels();
            if (VulkanWinRenderer* r = renderer()) {
                r->setCropBoxDisplayMode(m_settings->view_cropbox_display_mode);
                r->setBackgroundMode(m_settings->view_bg_mode);
                r->setChannelMode(m_settings->view_channels);
                r->setAlphaMode(m_settings->view_alpha_mode);
                r->setScaleMode(m_settings->view_scaling_quality);
            } else {
                qDebug().noquote() << "No renderer";
            }
            if (const PanelSettings* main = m_settings->mainWinPanel()) {
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
        r->setBackgroundColors(canvas_colours(*m_settings));
        r->setShowSafeArea(m_settings->isSafeAreaVisible());
        r->setShowVideoArea(m_settings->isVideoAreaVisible());
    }
    layoutViews();
}
