// Sound in the main window: the routing rebuild, starting audio at the video position,
// the one-frame seek preview, stopping, gain and mute, and following the system's
// default output device.
//
// The device listener blocks in the audio library's event wait on a thread of its own
// (never a slot of Qt's global pool, which other long jobs share); it only relays the
// device-change callback to the GUI thread through the notifier's queued signal.
#include <QDebug>
#include <QTimer>
#include <soundio/soundio.h>

#include <algorithm>
#include <exception>

#include "app/main_window.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_src_buffer.h"
#include "audio/sound_io_notifier.h"
#include "media/movie/file_to_play.h"
#include "media/movie/frame_compressed_buffer.h"

void MainWindow::PanelAudioMap_MappingChange() {
    stopPlayback();
    if (!sourceBuffer_) return;
    try {
        stopAudio();
        sourceBuffer_->setTracks(tracks_);
        sourceBuffer_->setLoop(frameQueue_->loopMode() == 1 ? 1 : 0);
        if (monitor_)
            monitor_->setLayout(sourceBuffer_->sourceRing(), tracks_->outputLayout(), sourceBuffer_->directFlag());
    } catch (const std::exception& e) {
        qDebug().noquote() << "ERROR : audio routing :" << e.what();
    }
}

void MainWindow::restartAudioAt(bool preview) {
    if (seekPreviewTimer_) seekPreviewTimer_->stop();
    if (!movie_ || !sourceBuffer_ || !monitor_ || sourceBuffer_->routedTrackCount() == 0) return;
    const double fps = movie_->fps();
    if (!(fps > 0.0)) return;
    const double d = 1.0 / fps;
    double t = currentFrame_ * d;
    if (frameQueue_->playStep() < 0) t += d;  // reverse plays the frame from its end
    try {
        sourceBuffer_->seek(t, preview ? 1 : 0);
        if (preview) monitor_->seekPreview(static_cast<float>(d));
        else monitor_->restartPlay();
        monitor_->start();
    } catch (const std::exception& e) {
        qDebug().noquote() << "ERROR : audio restart :" << e.what();
    }
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
}

void MainWindow::viewVolumeGainChanged(float nGainDb) {
    if (monitor_) monitor_->setGainDb(nGainDb);
}

void MainWindow::act_notif_view_audio_gain_output_changed(float dbGainVal) {
    if (monitor_) monitor_->setGainDb(dbGainVal);
}

void MainWindow::viewVolumeMuted() {
    if (monitor_) monitor_->mute();
}

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
    const int index = soundio_default_output_device_index(soundio_);
    if (outputDeviceIndex_ == -1) {
        outputDeviceIndex_ = index;
    } else if (index == outputDeviceIndex_) {
        return;
    }
    stopPlayback();
    if (!monitor_) {
        qDebug().noquote() << "Audio monitor not created";
        return;
    }
    monitor_->clearErrorText();
    monitor_->reopenDefaultDevice();
    outputDeviceIndex_ = index;
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
