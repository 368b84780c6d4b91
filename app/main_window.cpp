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
#include "media/movie/file_to_play.h"
#include "media/movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "app/window_shortcuts.h"
#include "tools/dialog_benchmark.h"
#include "tools/dialog_hardware_information.h"
#include "tools/dialog_prefs.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "render/vulkan_window.h"
#include "media/movie/file_link_information_data.h"
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
    : QMainWindow(nullptr), initialFile_(initial_file), instance_(instance), videoWindow_(window) {
    // The video surface, embedded and focused; its drops and keys come through us.
    videoContainer_ = QWidget::createWindowContainer(window, this);
    videoContainer_->setFocusPolicy(Qt::StrongFocus);
    videoContainer_->setFocus(Qt::OtherFocusReason);
    window->installEventFilter(this);
    videoContainer_->raise();

    settings_ = new GlobalSettings(this);
    settings_->load();

    notifier_ = new SoundIoNotifier(this);
    // Queued even from the GUI thread: a device notice raised inside the library's
    // event flush must never re-enter the handler that flushed.
    connect(notifier_, &SoundIoNotifier::device_changed, this, &MainWindow::act_event_audio_out_changed,
            Qt::QueuedConnection);

    frameQueue_ = new FrameCompressedBuffer(this, kQueueSlots, kQueuePrefill);
    tracks_ = new AllAudioSrcTracks(this);
    clock_ = std::make_unique<PlaybackClock>();
    connect(clock_.get(), &PlaybackClock::tick, this, &MainWindow::act_timer_refresh);

    setAcceptDrops(true);
    setWindowTitle(kTitle);
    createUi();

    // Without sound the window is still built and plays silently: every use of the
    // monitor and the source buffer checks for them.
    soundio_ = g_soundio_factory();
    if (!soundio_) {
        qDebug().noquote() << "Fail to init soundio";
        critical_box(this, "Sound error", "Failed to create soundio (OOM)");
    } else {
        soundio_->userdata = notifier_;
        buildAudio();
    }

    createMenus();
    setMinimumSize(400, 300);
    resize(1280, 720);
    layoutViews();
}

void MainWindow::buildAudio() {
    try {
        sourceBuffer_ = new AudioSrcBuffer(soundio_, this);
        monitor_ = new AudioMonitor(soundio_, this);
        connect(monitor_, &AudioMonitor::act_notif_end_audio_seek, this, &MainWindow::act_notif_end_audio_seek);
        monitor_->openStream();
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
    if (!monitor_ || monitor_->errorText().isEmpty()) return;
    if (monitor_->streamReady()) {
        // A stream that opened but reports an error cannot play: drop it and go on
        // without sound rather than leaving half-built audio objects in use.
        qDebug().noquote() << "Fail to init audio stream";
        critical_box(this, "Audio error", monitor_->errorText());
        delete monitor_;
        monitor_ = nullptr;
        return;
    }
    if (monitor_->hasOutputDevice()) {
        displayErrorInfo("Audio error out stream (2)", monitor_->errorText());
        return;
    }
    qDebug().noquote() << "Invalid audio device";
    if (settings_->isDisplayWarnUnsupportedSoundCard()) {
        delete warningDialog_;
        warningDialog_ = new DialogWarningErr(this, "Unsupported audio output device", "Audio error");
        warningDialog_->settingKey = GlobalSettings::switchKey(GlobalSettings::Switch_WarnUnsupportedSoundCard);
        // However it closes (its button, Escape, the main window closing), its
        // "Don't show again" box decides whether the next start warns.
        DialogWarningErr* warning = warningDialog_;
        connect(warning, &QDialog::finished, this, [this, warning] {
            settings_->setBoolSetting(!warning->isDontShowAgainChecked(), warning->settingKey);
        });
        warningDialog_->layoutContent();
        warningDialog_->show();
    } else {
        qDebug().noquote() << "Unsupported audio device (but no warning display)";
    }
}

void MainWindow::createUi() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::All, QPalette::Window, QColor(6, 11, 14));
    setPalette(palette);
    setAutoFillBackground(true);

    progressBar_ = new ViewProgressBar(this, QRect(0, 0, 10, 10));
    bottomCtrl_ = new ViewBottomCtrl(this, settings_);
    bottomCtrl_->setControlsEnabled(false);
    infoError_ = new ViewInfoError(nullptr, QRect(0, 0, 450, 120));
    logo_ = new View_SimpleImage(this, QRect(0, 0, 50, 50), ":/Rsc/RESSOURCES_UI/ICON_PLAYER_100.png");

    ViewBottomCtrl* bar = bottomCtrl_;
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

    inOutPoint_ = new ViewInOutPoint(this, QRect(0, 0, 30, 12));
    connect(inOutPoint_, &ViewInOutPoint::ViewInOutPointDelegate_SetIn, this,
            &MainWindow::ViewInOutPointDelegate_SetIn);
    connect(inOutPoint_, &ViewInOutPoint::ViewInOutPointDelegate_SetOut, this,
            &MainWindow::ViewInOutPointDelegate_SetOut);
    connect(progressBar_, &ViewProgressBar::viewProgressClicProgress, this, &MainWindow::viewProgressClicProgress);

    VulkanWindow* video = videoWindow_.data();
    connect(video, &VulkanWindow::viewVideoRightClic, this, &MainWindow::viewVideoRightClic);
    connect(video, &VulkanWindow::viewVideoDoubleClick, this, &MainWindow::viewVideoDoubleClick);
    connect(video, &VulkanWindow::viewVideoKeyPressEvent, this, &MainWindow::viewVideoKeyPressEvent);
    connect(video, &VulkanWindow::viewVideoKeyReleaseEvent, this, &MainWindow::viewVideoKeyReleaseEvent);
    connect(video, &VulkanWindow::viewVideoRendererEndInit, this, &MainWindow::viewVideoConnectEndInitRsc);
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
    clock_.reset();
    stopMessageTimer();
    stopListenOutputDevice();
    // Playback stops without touching a renderer main may already have destroyed.
    if (frameQueue_) frameQueue_->stopCacheThread();
    stopAudio();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    // The benchmark reads the movie's own file: it ends before the movie goes.
    if (benchmarkDialog_) benchmarkDialog_->progressTask_clic_stop(QString());
    delete movie_;
    movie_ = nullptr;
    delete frameQueue_;
    frameQueue_ = nullptr;
    delete monitor_;
    monitor_ = nullptr;
    delete sourceBuffer_;
    sourceBuffer_ = nullptr;
    delete mappingPanel_;
    mappingPanel_ = nullptr;
    delete meterPanel_;
    meterPanel_ = nullptr;
    if (tracks_) tracks_->deleteAll();
    if (videoWindow_) videoWindow_->setInformationZones({});
    qDeleteAll(informationZones_);
    delete infoError_;
    delete warningDialog_;
    delete prefsDialog_;
    delete hardwareDialog_;
    delete shortcutsWindow_;
    delete aboutDialog_;
    delete notifier_;
    notifier_ = nullptr;
    if (soundio_) soundio_destroy(soundio_);
}

VulkanWinRenderer* MainWindow::renderer() const {
    return videoWindow_ ? videoWindow_->renderer : nullptr;
}

bool MainWindow::rendererHasResources() const {
    VulkanWinRenderer* r = renderer();
    return r && r->isInitialised();
}

void MainWindow::viewVideoConnectEndInitRsc() {
    updateDpi();
    refreshMenuActions();
    applySettings(true);

    if (soundio_) startListenOutputDevice();
    else qDebug().noquote() << "Error : can't listen output device (NULL)";

    layoutViews();

    if (!initialFile_.isEmpty()) {
        qDebug().noquote() << "Try load file initial file";
        // The import's own checks: a file it refuses shows the error File > Open
        // shows for it (held until the renderer is ready, just below).
        loadFile({initialFile_}, -1, true);
        initialFile_.clear();
    }

    if (movie_ && renderer()) {
        renderer()->allocVideoTextures(movie_);
        refreshPauseFrame(currentFrame_);
    }
    if (VulkanWinRenderer* r = renderer()) r->refresh();
    rendererReady_ = true;

    if (!pendingErrorTitle_.isEmpty()) {
        const QString title = pendingErrorTitle_;
        const QString text = pendingErrorText_;
        pendingErrorTitle_.clear();
        pendingErrorText_.clear();
        displayErrorInfo(title, text);
    } else {
        refreshErrorOverlay();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    stopPlayback();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    // Its switch is stored as it closes, in time to be saved.
    if (warningDialog_) warningDialog_->close();
    saveSettings();
    stopAudio();
    if (sourceBuffer_) sourceBuffer_->releaseTracks();
    tracks_->deleteAll();
    if (hardwareDialog_) hardwareDialog_->close();
    if (shortcutsWindow_) shortcutsWindow_->close();
    if (prefsDialog_) prefsDialog_->close();
    if (meterPanel_) meterPanel_->close();
    if (mappingPanel_) mappingPanel_->close();
    if (aboutDialog_) aboutDialog_->close();
    event->accept();
}

void MainWindow::act_quit_menu() {
    stopPlayback();
    if (VulkanWinRenderer* r = renderer()) r->forceStop();
    saveSettings();
    QCoreApplication::quit();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        stopPlayback();
        if (VulkanWinRenderer* r = renderer()) r->forceStop();
    }
    QMainWindow::changeEvent(event);
}
