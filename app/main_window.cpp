// Construction, the renderer-ready moment, close, quit and shutdown of the main window.
#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QVulkanInstance>
#include <soundio/soundio.h>

#include <new>
#include <stdexcept>

#include "app/playback_clock.h"
#include "base/settings/global_settings.h"
#include "app/view_bottom_ctrl.h"
#include "app/view_in_out_point.h"
#include "app/view_info_error.h"
#include "app/view_progress_bar.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_src_buffer.h"
#include "audio/sound_io_notifier.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "app/window_shortcuts.h"
#include "tools/dialog_benchmark.h"
#include "tools/dialog_hardware_information.h"
#include "tools/dialog_prefs.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "render/vulkan_window.h"
#include "movie/file_link_information_data.h"
#include "ui/dialog_about.h"
#include "ui/dialog_warning_err.h"
#include "ui/view_simple_image.h"
#include "ui/view_volume_controls.h"

namespace {
constexpr uint32_t kQueueSlots = 25;
constexpr uint32_t kQueuePrefill = 10;

void default_critical_box(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::critical(parent, title, text);
}
MainWindow::CriticalBoxProvider g_critical_box = default_critical_box;

void critical_box(QWidget* parent, const QString& title, const QString& text) { g_critical_box(parent, title, text); }

SoundIo* default_soundio_factory() { return soundio_create(); }
MainWindow::SoundIoFactory g_soundio_factory = default_soundio_factory;
}  // namespace

MainWindow::CriticalBoxProvider MainWindow::setCriticalBoxProvider(CriticalBoxProvider provider) {
    CriticalBoxProvider previous = g_critical_box;
    g_critical_box = provider ? provider : default_critical_box;
    return previous;
}

MainWindow::SoundIoFactory MainWindow::setSoundIoFactory(SoundIoFactory factory) {
    SoundIoFactory previous = g_soundio_factory;
    g_soundio_factory = factory ? factory : default_soundio_factory;
    return previous;
}

MainWindow::MainWindow(VulkanWindow* window, QVulkanInstance* instance, const QString& initial_file)
    : QMainWindow(nullptr), m_initialFile(initial_file), m_instance(instance), m_videoWindow(window) {
    // The video surface, embedded and focused; its drops and keys come through us.
    m_videoContainer = QWidget::createWindowContainer(window, this);
    m_videoContainer->setFocusPolicy(Qt::StrongFocus);
    m_videoContainer->setFocus(Qt::OtherFocusReason);
    window->installEventFilter(this);
    m_videoContainer->raise();

    m_settings = new GlobalSettings(this);
    m_settings->load();

    m_notifier = new SoundIoNotifier(this);
    // Queued even from the GUI thread: a device notice raised inside the library's
    // event flush must never re-enter the handler that flushed.
    connect(m_notifier, &SoundIoNotifier::device_changed, this, &MainWindow::act_event_audio_out_changed,
            Qt::QueuedConnection);
    connect(m_notifier, &SoundIoNotifier::backend_lost, this, &MainWindow::act_event_audio_backend_lost,
            Qt::QueuedConnection);

    m_frameQueue = new FrameCompressedBuffer(this, kQueueSlots, kQueuePrefill);
    m_tracks = new AllAudioSrcTracks(this);
    m_clock = std::make_unique<PlaybackClock>();
    connect(m_clock.get(), &PlaybackClock::tick, this, &MainWindow::act_timer_refresh);

    setAcceptDrops(true);
    setWindowTitle(kTitle);
    createUi();

    // Without sound the window is still built and plays silently: every use of the
    // monitor and the source buffer checks for them.
    m_soundio = g_soundio_factory();
    if (!m_soundio) {
        qDebug().noquote() << "Fail to init soundio";
        critical_box(this, "Sound error", "Failed to create soundio (OOM)");
    } else {
        m_soundio->userdata = m_notifier;
        // Without a handler of its own the library ends the process when the sound
        // server goes away; set before the first flush of its events.
        m_soundio->on_backend_disconnect = &MainWindow::onSoundIoBackendDisconnect;
        buildAudio();
    }

    createMenus();
    setMinimumSize(400, 300);
    resize(1280, 720);
    layoutViews();
}

void MainWindow::buildAudio() {
    try {
        m_sourceBuffer = new AudioSrcBuffer(m_soundio, this);
        m_monitor = new AudioMonitor(m_soundio, this);
        connect(m_monitor, &AudioMonitor::act_notif_end_audio_seek, this, &MainWindow::act_notif_end_audio_seek);
        connect(m_monitor, &AudioMonitor::act_notif_output_stalled, this, &MainWindow::act_notif_output_stalled);
        // From the sound server's thread; queued, as the library's notices are.
        connect(m_monitor, &AudioMonitor::act_notif_output_changed, this, &MainWindow::act_event_audio_out_changed,
                Qt::QueuedConnection);
        connect(m_monitor, &AudioMonitor::act_notif_output_lost, this, &MainWindow::act_event_audio_backend_lost,
                Qt::QueuedConnection);
        m_monitor->openStream();
    } catch (const std::bad_alloc& e) {
        qDebug("Fail to init audio OOM %s", e.what());
        critical_box(this, "Audio error", "Failed to init audio (OOM)");
    } catch (const std::runtime_error& e) {
        qDebug("Fail to init audio %s", e.what());
        critical_box(this, "Audio error", "Failed to init audio");
    } catch (...) {
        qDebug("Fail to init audio Unknown error");
        critical_box(this, "Audio error", "Failed to init audio (Unknown error)");
    }
    if (!m_monitor || m_monitor->errorText().isEmpty()) return;
    if (m_monitor->backendLost()) {
        // Its server stopped answering, or went away, while the stream opened: a lost
        // output, tried again at the next play as a server not ready at the start is,
        // and nothing the person could switch off as an unsupported device.
        qDebug().noquote() << "Sound output lost at the start : " + m_monitor->errorText();
        return;
    }
    if (m_monitor->streamReady()) {
        // A stream that opened but reports an error cannot play: drop it and go on
        // without sound rather than leaving half-built audio objects in use.
        qDebug().noquote() << "Fail to init audio stream";
        critical_box(this, "Audio error", m_monitor->errorText());
        delete m_monitor;
        m_monitor = nullptr;
        return;
    }
    if (m_monitor->hasOutputDevice()) {
        displayErrorInfo("Audio error out stream (2)", m_monitor->errorText());
        return;
    }
    // The person is told the device is unsupported; the console keeps the library's reason.
    qDebug().noquote() << "Invalid audio device : " + m_monitor->errorText();
    if (m_settings->isDisplayWarnUnsupportedSoundCard()) {
        delete m_warningDialog;
        m_warningDialog = new DialogWarningErr(this, "Unsupported audio output device", "Audio error");
        m_warningDialog->settingKey = GlobalSettings::switchKey(GlobalSettings::Switch_WarnUnsupportedSoundCard);
        // However it closes (its button, Escape, the main window closing), its
        // "Don't show again" box decides whether the next start warns.
        DialogWarningErr* warning = m_warningDialog;
        connect(warning, &QDialog::finished, this, [this, warning] {
            m_settings->setBoolSetting(!warning->isDontShowAgainChecked(), warning->settingKey);
        });
        m_warningDialog->layoutContent();
        m_warningDialog->show();
    } else {
        qDebug().noquote() << "Unsupported audio device (but no warning display)";
    }
}

void MainWindow::createUi() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::All, QPalette::Window, QColor(6, 11, 14));
    setPalette(palette);
    setAutoFillBackground(true);

    m_progressBar = new ViewProgressBar(this, QRect(0, 0, 10, 10));
    m_bottomCtrl = new ViewBottomCtrl(this, m_settings);
    m_bottomCtrl->setControlsEnabled(false);
    m_infoError = new ViewInfoError(nullptr, QRect(0, 0, 450, 120));
    m_logo = new View_SimpleImage(this, QRect(0, 0, 50, 50), ":/Rsc/RESSOURCES_UI/ICON_PLAYER_100.png");

    ViewBottomCtrl* bar = m_bottomCtrl;
    connect(bar, &ViewBottomCtrl::viewControlsClicStart, this, &MainWindow::viewControlsClicStart);
    connect(bar, &ViewBottomCtrl::viewControlsClicGoToIn, this, &MainWindow::viewControlsClicGoToIn);
    connect(bar, &ViewBottomCtrl::viewControlsClicPrevFrame, this, &MainWindow::viewControlsClicPrevFrame);
    connect(bar, &ViewBottomCtrl::viewControlsClicPrev10Frames, this, &MainWindow::viewControlsClicPrev10Frames);
    connect(bar, &ViewBottomCtrl::viewControlsClicPrevSecond, this, &MainWindow::viewControlsClicPrevSecond);
    connect(bar, &ViewBottomCtrl::viewControlsClicPlayReverse, this, &MainWindow::viewControlsClicPlayReverse);
    connect(bar, &ViewBottomCtrl::viewControlsClicPlay, this, &MainWindow::viewControlsClicPlay);
    connect(bar, &ViewBottomCtrl::viewControlsClicNextFrame, this, &MainWindow::viewControlsClicNextFrame);
    connect(bar, &ViewBottomCtrl::viewControlsClicNext10Frames, this, &MainWindow::viewControlsClicNext10Frames);
    connect(bar, &ViewBottomCtrl::viewControlsClicNextSecond, this, &MainWindow::viewControlsClicNextSecond);
    connect(bar, &ViewBottomCtrl::viewControlsClicEnd, this, &MainWindow::viewControlsClicEnd);
    connect(bar, &ViewBottomCtrl::viewControlsClicGoToOut, this, &MainWindow::viewControlsClicGoToOut);
    connect(bar, &ViewBottomCtrl::viewControlsClicFullScreen, this, &MainWindow::viewControlsClicFullScreen);
    connect(bar, &ViewBottomCtrl::viewControlsClicInformation, this, &MainWindow::viewControlsClicInformation);
    connect(bar, &ViewBottomCtrl::viewControlsClicPlayMode, this,
            [this](uint32_t mode) { viewControlsClicPlayMode(mode); });
    connect(bar, &ViewBottomCtrl::viewControlsClicSetIn, this, &MainWindow::viewControlsClicSetIn);
    connect(bar, &ViewBottomCtrl::viewControlsClicSetOut, this, &MainWindow::viewControlsClicSetOut);
    connect(bar, &ViewBottomCtrl::viewControlsClicResetIn, this, &MainWindow::viewControlsClicResetIn);
    connect(bar, &ViewBottomCtrl::viewControlsClicResetOut, this, &MainWindow::viewControlsClicResetOut);
    connect(bar, &ViewBottomCtrl::viewControlsClicSnapshot, this, &MainWindow::viewControlsClicSnapshot);
    connect(bar, &ViewBottomCtrl::viewControlsRightClicSnapshot, this, &MainWindow::viewControlsRightClicSnapshot);
    connect(bar, &ViewBottomCtrl::viewControlsSetNewTimeFrame, this, &MainWindow::viewControlsSetNewTimeFrame);
    connect(bar, &ViewBottomCtrl::viewControlsSetNewTimeFrameOffset, this,
            &MainWindow::viewControlsSetNewTimeFrameOffset);
    connect(bar, &ViewBottomCtrl::viewControlsTimemodeChanged, this, &MainWindow::viewControlsTimemodeChanged);
    connect(bar->volumeControls(), &ViewVolumeControls::viewVolumeGainChanged, this,
            &MainWindow::viewVolumeGainChanged);
    connect(bar->volumeControls(), &ViewVolumeControls::viewVolumeMuted, this, &MainWindow::viewVolumeMuted);

    m_inOutPoint = new ViewInOutPoint(this, QRect(0, 0, 30, 12));
    connect(m_inOutPoint, &ViewInOutPoint::ViewInOutPointDelegate_SetIn, this,
            &MainWindow::ViewInOutPointDelegate_SetIn);
    connect(m_inOutPoint, &ViewInOutPoint::ViewInOutPointDelegate_SetOut, this,
            &MainWindow::ViewInOutPointDelegate_SetOut);
    connect(m_progressBar, &ViewProgressBar::viewProgressClicProgress, this, &MainWindow::viewProgressClicProgress);

    VulkanWindow* video = m_videoWindow.data();
    connect(video, &VulkanWindow::viewVideoRightClic, this, &MainWindow::viewVideoRightClic);
    connect(video, &VulkanWindow::viewVideoDoubleClick, this, &MainWindow::viewVideoDoubleClick);
    connect(video, &VulkanWindow::viewVideoKeyPressEvent, this, &MainWindow::viewVideoKeyPressEvent);
    connect(video, &VulkanWindow::viewVideoKeyReleaseEvent, this, &MainWindow::viewVideoKeyReleaseEvent);
    connect(video, &VulkanWindow::viewVideoRendererEndInit, this, &MainWindow::viewVideoConnectEndInitRsc);
    connect(video, &VulkanWindow::viewVideoFramePresented, this, &MainWindow::viewVideoFramePresented);
    connect(video, &VulkanWindow::ViewVideo_MousePress, this, &MainWindow::ViewVideo_MousePress);
    connect(video, &VulkanWindow::ViewVideo_MouseDragged, this, &MainWindow::ViewVideo_MouseDragged);
    connect(video, &VulkanWindow::ViewVideo_MouseRelease, this, &MainWindow::ViewVideo_MouseRelease);
    connect(video, &VulkanWindow::ViewVideo_MiddleMousePress, this, &MainWindow::ViewVideo_MiddleMousePress);
    connect(video, &VulkanWindow::ViewVideo_MiddleMouseDragged, this, &MainWindow::ViewVideo_MiddleMouseDragged);
    connect(video, &VulkanWindow::ViewVideo_MiddleMouseRelease, this, &MainWindow::ViewVideo_MiddleMouseRelease);
    connect(video, &VulkanWindow::viewVideoMouseScroll, this, &MainWindow::viewVideoMouseScroll);
    connect(video, &VulkanWindow::viewVideoClicError, this, &MainWindow::viewVideoClicError);
    connect(video, &VulkanWindow::viewVideoClicNameFile, this, &MainWindow::viewVideoClicNameFile);
    connect(video, &QWindow::screenChanged, this, &MainWindow::screen_changed);

    // First place: 1280 x 720 clipped to the primary screen and centred on it.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        QRect first(0, 0, std::min(1280, available.width()), std::min(720, available.height()));
        first.moveCenter(available.center());
        setGeometry(first);
    }
    createAudioPanels();
}

MainWindow::~MainWindow() {
    m_clock.reset();
    stopMessageTimer();
    stopListenOutputDevice();
    endServerProbe();
    // Playback stops without touching a renderer main may already have destroyed.
    if (m_frameQueue) m_frameQueue->stopCacheThread();
    stopAudio();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    // The benchmark reads the movie's own file: it ends before the movie goes.
    if (m_benchmarkDialog) m_benchmarkDialog->progressTask_clic_stop(QString());
    delete m_movie;
    m_movie = nullptr;
    delete m_frameQueue;
    m_frameQueue = nullptr;
    delete m_monitor;
    m_monitor = nullptr;
    delete m_sourceBuffer;
    m_sourceBuffer = nullptr;
    delete m_mappingPanel;
    m_mappingPanel = nullptr;
    delete m_meterPanel;
    m_meterPanel = nullptr;
    if (m_tracks) m_tracks->deleteAll();
    if (m_videoWindow) m_videoWindow->setInformationZones({});
    qDeleteAll(m_informationZones);
    delete m_infoError;
    delete m_warningDialog;
    delete m_prefsDialog;
    delete m_hardwareDialog;
    delete m_shortcutsWindow;
    delete m_aboutDialog;
    delete m_notifier;
    m_notifier = nullptr;
    if (m_soundio) soundio_destroy(m_soundio);
}

VulkanWinRenderer* MainWindow::renderer() const {
    return m_videoWindow ? m_videoWindow->renderer : nullptr;
}

bool MainWindow::rendererHasResources() const {
    VulkanWinRenderer* r = renderer();
    return r && r->isInitialised();
}

void MainWindow::viewVideoConnectEndInitRsc() {
    updateDpi();
    refreshMenuActions();
    applySettings(true);

    if (m_soundio) startListenOutputDevice();
    else qDebug().noquote() << "Error : can't listen output device (NULL)";

    layoutViews();

    if (!m_initialFile.isEmpty()) {
        qDebug().noquote() << "Try load file initial file";
        // The import's own checks: a file it refuses shows the error File > Open
        // shows for it (held until the renderer is ready, just below).
        loadFile({m_initialFile}, -1, true);
        m_initialFile.clear();
    }

    if (m_movie && renderer()) {
        renderer()->allocVideoTextures(m_movie);
        refreshPauseFrame(m_currentFrame);
    }
    if (VulkanWinRenderer* r = renderer()) r->refresh();
    m_rendererReady = true;

    if (!m_pendingErrorTitle.isEmpty()) {
        const QString title = m_pendingErrorTitle;
        const QString text = m_pendingErrorText;
        m_pendingErrorTitle.clear();
        m_pendingErrorText.clear();
        displayErrorInfo(title, text);
    } else {
        refreshErrorOverlay();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    stopPlayback();
    // A lost output found again now would only be connected to be closed.
    endServerProbe();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    // Its switch is stored as it closes, in time to be saved.
    if (m_warningDialog) m_warningDialog->close();
    saveSettings();
    stopAudio();
    if (m_sourceBuffer) m_sourceBuffer->releaseTracks();
    m_tracks->deleteAll();
    if (m_hardwareDialog) m_hardwareDialog->close();
    if (m_shortcutsWindow) m_shortcutsWindow->close();
    if (m_prefsDialog) m_prefsDialog->close();
    if (m_meterPanel) m_meterPanel->close();
    if (m_mappingPanel) m_mappingPanel->close();
    if (m_aboutDialog) m_aboutDialog->close();
    event->accept();
}

void MainWindow::act_quit_menu() {
    stopPlayback();
    // A lost output found again now would only be connected to be closed.
    endServerProbe();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    saveSettings();
    // The application closes every window before its loop ends, in an order of its
    // own: a panel may close before this window's closeEvent saves again. What was on
    // screen now is what stays recorded for the panels.
    m_quitClosingWindows = true;
    QCoreApplication::quit();
    m_quitClosingWindows = false;
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        stopPlayback();
        if (VulkanWinRenderer* r = renderer()) r->forceStop();
    }
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        m_inKeyPress.reset();
        m_outKeyPress.reset();
    }
    QMainWindow::changeEvent(event);
}
