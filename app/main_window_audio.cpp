// Sound in the main window: the routing rebuild, starting audio at the video position,
// the one-frame seek preview, stopping, gain and mute, the meter panel's mute and solo,
// the two audio panels, and following the system's default output device.
//
// The device listener blocks in the audio library's event wait on a thread of its own
// (never a slot of Qt's global pool, which other long jobs share); it only relays the
// device-change callback to the GUI thread through the notifier's queued signal. The
// library wants its events and its device list handled on one thread: the GUI thread
// stops the listener before it flushes events, reads the default device or reopens it,
// and starts it again afterwards, so two threads are never inside the library's event
// handling at once.
#include <QDebug>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <soundio/soundio.h>

#include <algorithm>
#include <exception>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "audio/sound_io_notifier.h"
#include "media/movie/file_to_play.h"
#include "media/movie/frame_compressed_buffer.h"
#include "render/vulkan_window.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"

namespace {

MainWindow::OutputDeviceKey read_default_output_device(SoundIo* context) {
    MainWindow::OutputDeviceKey key;
    if (!context) return key;
    key.index = soundio_default_output_device_index(context);
    if (key.index < 0) return key;
    if (SoundIoDevice* device = soundio_get_output_device(context, key.index)) {
        key.id = QByteArray(device->id ? device->id : "");
        soundio_device_unref(device);
    }
    return key;
}

MainWindow::OutputDeviceReader g_device_reader = read_default_output_device;

}  // namespace

MainWindow::OutputDeviceReader MainWindow::setOutputDeviceReader(OutputDeviceReader reader) {
    OutputDeviceReader previous = g_device_reader;
    g_device_reader = reader ? reader : read_default_output_device;
    return previous;
}

// ---------------------------------------------------------------------------------
// Routing

// Imports and deletions call this after the track list changed: the mapping panel's
// rows are rebuilt from the list, then the routing. A grid click on the panel goes
// straight to rebuildAudioRouting (its rows already show the new mask).
void MainWindow::PanelAudioMap_MappingChange() {
    if (mappingPanel_) {
        mappingPanel_->setChannelLayout(tracks_->outputLayout());
        mappingPanel_->rebuildTrackViews(tracks_);
    }
    rebuildAudioRouting();
}

void MainWindow::rebuildAudioRouting() {
    stopPlayback();
    // Paused playback leaves a seek preview's mixing job running on the source ring
    // that setTracks frees: stop every audio job first, whatever the transport says.
    stopAudio();
    if (sourceBuffer_) {
        try {
            sourceBuffer_->setTracks(tracks_);
            sourceBuffer_->setLoop(frameQueue_->loopMode() == 1 ? 1 : 0);
            if (monitor_)
                monitor_->setLayout(sourceBuffer_->sourceRing(), tracks_->outputLayout(), sourceBuffer_->directFlag());
        } catch (const std::exception& e) {
            qDebug().noquote() << "ERROR : audio routing :" << e.what();
        }
    }
    if (meterPanel_) {
        // At most eight output channels: the low byte holds every meter.
        meterPanel_->setChannelLayout(tracks_->outputLayout(), uint8_t(tracks_->unusedOutputMask() & 0xFF));
        meterPanel_->setMeterBuffer(monitor_ ? monitor_->peakRing() : nullptr);
        // The masks name channels of the layout: a new layout needs them again, or a
        // channel that was absent before stays silenced.
        act_notif_view_audio_mute_solo_changed();
    }
}

void MainWindow::PanelAudioMap_LayoutChange(uint32_t nLayout) {
    tracks_->setOutputLayout(nLayout);
    rebuildAudioRouting();
}

void MainWindow::PanelAudioMap_DeleteTrack(uint32_t visibleTrackIndex) {
    // The fill job and the tool tasks read the tracks: nothing leaves the list while
    // one of them runs.
    stopToolTasks();
    stopPlayback();
    stopAudio();
    if (sourceBuffer_) sourceBuffer_->releaseTracks();
    AudioSrcTrack* removed = tracks_->deleteVisibleTrack(int(visibleTrackIndex));
    if (rendererHasResources()) {
        refreshInformationOverlay();
        refreshErrorOverlay();
    }
    PanelAudioMap_MappingChange();
    delete removed;  // no row and no audio job refers to it any more
    updateIfPaused();
}

void MainWindow::PanelAudioMap_DropFiles(QStringList arrayFilepath, int32_t IndexVisible) {
    loadFile(arrayFilepath, IndexVisible, false);
}

// ---------------------------------------------------------------------------------
// Start, preview, stop

void MainWindow::restartAudioAt(bool preview) {
    if (seekPreviewTimer_) seekPreviewTimer_->stop();
    if (!movie_ || !sourceBuffer_ || !monitor_ || !sourceBuffer_->readyFlag() ||
        sourceBuffer_->routedTrackCount() == 0)
        return;
    const double fps = movie_->fps();
    if (!(fps > 0.0)) return;
    const double d = 1.0 / fps;
    double t = currentFrame_ * d;
    if (frameQueue_->playStep() < 0) t += d;  // reverse plays the frame from its end
    try {
        // A previous preview's mixing job may still read the source ring the seek
        // clears (stepping faster than a preview drains).
        sourceBuffer_->stopFillTask();
        monitor_->stopFeedTask();
        sourceBuffer_->seek(t, preview ? 1 : 0);
        if (preview) monitor_->seekPreview(static_cast<float>(d));
        else monitor_->restartPlay();
        monitor_->start();
    } catch (const std::exception& e) {
        qDebug().noquote() << "ERROR : audio restart :" << e.what();
        return;
    }
    if (meterPanel_) meterPanel_->startRefreshTimer();
}

void MainWindow::act_notif_end_audio_seek() {
    if (!seekPreviewTimer_) {
        seekPreviewTimer_ = new QTimer(this);
        seekPreviewTimer_->setSingleShot(true);
        connect(seekPreviewTimer_, &QTimer::timeout, this, &MainWindow::act_timer_stop_after_seek);
    }
    seekPreviewTimer_->stop();
    const double frame = movie_ && movie_->fps() > 0.0f ? 1.0 / movie_->fps() : 0.1;
    seekPreviewTimer_->start(static_cast<int>(2.0 * std::clamp(frame, 0.1, 1.0) * 1000.0));
}

void MainWindow::act_timer_stop_after_seek() { stopAudio(); }

void MainWindow::stopAudio() {
    if (sourceBuffer_) sourceBuffer_->stopFillTask();
    if (monitor_) {
        monitor_->pause();
        monitor_->stopFeedTask();
    }
    if (meterPanel_) meterPanel_->stopRefreshTimer();
}

// ---------------------------------------------------------------------------------
// Gain, mute, solo

void MainWindow::viewVolumeGainChanged(float nGainDb) {
    if (monitor_) monitor_->setGainDb(nGainDb);
}

void MainWindow::act_notif_view_audio_gain_output_changed(float dbGainVal) {
    if (monitor_) monitor_->setGainDb(dbGainVal);
}

void MainWindow::viewVolumeMuted() {
    if (monitor_) monitor_->mute();
}

void MainWindow::act_notif_view_audio_mute_solo_changed() {
    if (!monitor_ || !meterPanel_) return;
    monitor_->setMuteMask(meterPanel_->channelMuteMask());
    if (meterPanel_->isVisible()) {
        monitor_->setPeaksEnabled(true);
        monitor_->setMeterMuteMask(meterPanel_->channelDisabledMask());
    } else {
        monitor_->setPeaksEnabled(false);
    }
}

// ---------------------------------------------------------------------------------
// Panels (their Window menu entries are rows of the action table)

void MainWindow::createAudioPanels() {
    meterPanel_ = new PanelAudioMeter(nullptr, instance_);
    mappingPanel_ = new PanelAudioMapping(nullptr);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        meterPanel_->setGeometry(std::min(area.width() - 212, frameGeometry().right()), geometry().top(), 348, 500);
        mappingPanel_->move(area.x() + 10, area.height() - 40 - mappingPanel_->height());
    }
    meterPanel_->hide();
    mappingPanel_->hide();
    connect(meterPanel_, &PanelAudioMeter::notif_view_audio_mute_solo_changed, this,
            &MainWindow::act_notif_view_audio_mute_solo_changed);
    // Sent while the panel is still visible: its entry is unchecked here, not read again.
    connect(meterPanel_, &PanelAudioMeter::close_panel, this,
            [this] { uncheckMenuEntry(ActionState::MetersPanelShown); });
    connect(mappingPanel_, &PanelAudioMapping::PanelAudioMap_MappingChange, this, &MainWindow::rebuildAudioRouting);
    connect(mappingPanel_, &PanelAudioMapping::PanelAudioMap_LayoutChange, this, &MainWindow::PanelAudioMap_LayoutChange);
    connect(mappingPanel_, &PanelAudioMapping::PanelAudioMap_DeleteTrack, this, &MainWindow::PanelAudioMap_DeleteTrack);
    connect(mappingPanel_, &PanelAudioMapping::PanelAudioMap_DropFiles, this, &MainWindow::PanelAudioMap_DropFiles);
    connect(mappingPanel_, &PanelAudioMapping::close_panel, this,
            [this] { uncheckMenuEntry(ActionState::MappingPanelShown); });
}

void MainWindow::act_menu_audio_meters() {
    if (!meterPanel_) createAudioPanels();
    meterPanel_->show();
    meterPanel_->activateWindow();
    // Peaks are produced only for a visible panel.
    act_notif_view_audio_mute_solo_changed();
    refreshMenuActions();
    refreshAudioMenuActions();
}

void MainWindow::act_menu_audio_mapping() {
    if (!mappingPanel_) createAudioPanels();
    mappingPanel_->show();
    mappingPanel_->activateWindow();
    refreshMenuActions();
    refreshAudioMenuActions();
}

// Start-up: the panels reopen where they were when their records say so.
void MainWindow::restoreAudioPanels() {
    if (settings_->isAudioMetersPanelVisible()) act_menu_audio_meters();
    if (settings_->isAudioMappingPanelVisible()) act_menu_audio_mapping();
    const PanelSettings* meters = settings_->audioMetersPanel();
    if (!meters) qDebug().noquote() << "Audio meters settings not init";
    else if (meters->valid && meterPanel_) meterPanel_->setGeometry(meters->geometry());
    const PanelSettings* mapping = settings_->audioMappingPanel();
    if (!mapping) qDebug().noquote() << "Audio mapping settings not init";
    else if (mapping->valid && mappingPanel_) mappingPanel_->setGeometry(mapping->geometry());
}

void MainWindow::applyAudioMappingSettings() {
    if (!mappingPanel_) return;
    mappingPanel_->setAllowDelete(settings_->allow_hide_embed_audio_tracks);
    bool reactivated = false;
    if (!settings_->allow_hide_embed_audio_tracks) {
        for (AudioSrcTrack* track : tracks_->tracks()) reactivated = reactivated || track->isRemoved();
        tracks_->activateAll();
    }
    // Tracks that come back are routed again; otherwise only the rows change.
    if (reactivated) PanelAudioMap_MappingChange();
    else mappingPanel_->rebuildTrackViews(tracks_);
}

void MainWindow::saveAudioPanelSettings() {
    settings_->storeAudioMetersPanel(meterPanel_ ? meterPanel_->windowHandle() : nullptr);
    settings_->storeAudioMappingPanel(mappingPanel_ ? mappingPanel_->windowHandle() : nullptr);
}

// ---------------------------------------------------------------------------------
// Default output device

void MainWindow::onSoundIoDevicesChange(SoundIo* context) {
    if (!context) {
        qDebug().noquote() << "Device changed, invalid soundio";
        return;
    }
    auto* notifier = static_cast<SoundIoNotifier*>(context->userdata);
    if (!notifier) {
        qDebug().noquote() << "Device changed, invalid user data";
        return;
    }
    notifier->notifyDeviceChanged();
}

void MainWindow::startListenOutputDevice() {
    if (!soundio_) {
        qDebug().noquote() << "Error : can't listen output device (NULL)";
        return;
    }
    soundio_->on_devices_change = &MainWindow::onSoundIoDevicesChange;
    stopListenOutputDevice();
    listenerStop_.store(false);
    listenerRunning_ = true;
    SoundIo* context = soundio_;
    deviceListener_ = std::thread([this, context] {
        // The callback runs inside the wait, on this thread.
        while (!listenerStop_.load()) soundio_wait_events(context);
    });
}

void MainWindow::stopListenOutputDevice() {
    if (!listenerRunning_) return;
    if (!soundio_) {
        qDebug().noquote() << "Error : can't stop listen output device (NULL)";
        return;
    }
    listenerStop_.store(true);
    soundio_wakeup(soundio_);
    if (deviceListener_.joinable()) deviceListener_.join();
    listenerRunning_ = false;
}

void MainWindow::act_event_audio_out_changed() {
    if (!soundio_) return;
    // From here until the listener restarts, this thread alone handles the library's
    // events and device list.
    const bool listening = listenerRunning_;
    stopListenOutputDevice();
    struct Restart {
        MainWindow* window;
        bool listening;
        ~Restart() {
            if (listening) window->startListenOutputDevice();
        }
    } restart{this, listening};

    soundio_flush_events(soundio_);
    const OutputDeviceKey now = g_device_reader(soundio_);
    if (outputDeviceIndex_ == -1) {
        outputDeviceIndex_ = now.index;
        outputDeviceId_ = now.id;
    } else if (now.index == outputDeviceIndex_ && now.id == outputDeviceId_) {
        return;  // the same device: another device came or went
    }
    stopPlayback();
    if (!monitor_) {
        qDebug().noquote() << "Audio monitor not created";
        return;
    }
    monitor_->clearErrorText();
    monitor_->reopenDefaultDevice();
    outputDeviceIndex_ = now.index;
    outputDeviceId_ = now.id;
    if (!monitor_->errorText().isEmpty()) {
        displayErrorInfo("Sound output changed", "Error setting new output");
        return;
    }
    if (!firstDeviceChangeSeen_) {
        firstDeviceChangeSeen_ = true;
        return;
    }
    displayInfo("Sound output changed", QString("New output card :\n%1").arg(monitor_->deviceName()));
}
