// Sound in the main window: the routing rebuild, starting audio at the video position,
// the one-frame seek preview, stopping, gain and mute, the meter panel's mute and solo,
// the two audio panels, following the system's default output device, and going on
// without sound when the output goes away until it is found again: by itself while
// the movie plays, at the next play or step otherwise.
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
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "app/main_window.h"
#include "app/playback_clock.h"
#include "app/transport_rules.h"
#include "base/settings/global_settings.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_monitor.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "audio/sound_io_notifier.h"
#include "audio/sound_server_probe.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
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
    if (m_mappingPanel) {
        m_mappingPanel->setChannelLayout(m_tracks->outputLayout());
        m_mappingPanel->rebuildTrackViews(m_tracks);
    }
    rebuildAudioRouting();
}

void MainWindow::rebuildAudioRouting() {
    stopPlayback();
    // Paused playback leaves a seek preview's mixing job running on the source ring
    // that setTracks frees: stop every audio job first, whatever the transport says.
    stopAudio();
    if (m_sourceBuffer) {
        try {
            m_sourceBuffer->setTracks(m_tracks);
            m_sourceBuffer->setLoop(m_frameQueue->loopMode() == 1 ? 1 : 0);
            if (m_monitor)
                m_monitor->setLayout(m_sourceBuffer->sourceRing(), m_tracks->outputLayout(), m_sourceBuffer->directFlag());
        } catch (const std::exception& e) {
            qDebug().noquote() << "ERROR : audio routing :" << e.what();
        }
    }
    if (m_meterPanel) {
        // At most eight output channels: the low byte holds every meter.
        m_meterPanel->setChannelLayout(m_tracks->outputLayout(), uint8_t(m_tracks->unusedOutputMask() & 0xFF));
        m_meterPanel->setMeterBuffer(m_monitor ? m_monitor->peakRing() : nullptr);
        // The masks name channels of the layout: a new layout needs them again, or a
        // channel that was absent before stays silenced.
        act_notif_view_audio_mute_solo_changed();
    }
}

void MainWindow::PanelAudioMap_LayoutChange(uint32_t nLayout) {
    m_tracks->setOutputLayout(nLayout);
    rebuildAudioRouting();
}

void MainWindow::PanelAudioMap_DeleteTrack(uint32_t visibleTrackIndex) {
    // The fill job and the tool tasks read the tracks: nothing leaves the list while
    // one of them runs (the loudness analysis reads files of its own and is only asked
    // to stop).
    stopToolTasks();
    stopPlayback();
    stopAudio();
    if (m_sourceBuffer) m_sourceBuffer->releaseTracks();
    AudioSrcTrack* removed = m_tracks->deleteVisibleTrack(int(visibleTrackIndex));
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
    if (m_seekPreviewTimer) m_seekPreviewTimer->stop();
    if (!m_movie || !m_sourceBuffer || !m_monitor || !m_sourceBuffer->readyFlag() ||
        m_sourceBuffer->routedTrackCount() == 0)
        return;
    if (m_monitor->backendLost() && !reconnectAudioBackend()) return;
    const double fps = m_movie->fps();
    if (!(fps > 0.0)) return;
    const double d = 1.0 / fps;
    const int32_t step = m_frameQueue->playStep();
    // A play's sound starts where the picture's clock is: at a play's start that is the
    // frame on screen; once the clock runs (a restart after the output stalled or came
    // back), the frame the clock says is due now, however late the picture's own tick
    // is (the tick is about to leave the frame on screen), and as far into it as the
    // clock has gone. A step plays the frame on screen.
    uint32_t frame = m_currentFrame;
    double into = 0.0;  // seconds of the movie into that frame, in play direction
    if (!preview && step != 0 && m_clock && m_clock->isRunning()) {
        const double position = m_clock->position();
        const double due = std::floor(position);
        frame = m_frameQueue->frameAtPosition(static_cast<uint64_t>(due));
        // Within the frame: past its end is the next frame's, which the range, a loop or
        // a play once's end may make another.
        into = std::min((position - due) * std::abs(step), 0.999) * d;
    }
    double t = frame * d;
    if (step < 0) t += d - into;  // reverse plays the frame from its end
    else t += into;
    try {
        // A previous preview's mixing job may still read the source ring the seek
        // clears (stepping faster than a preview drains).
        m_sourceBuffer->stopFillTask();
        m_monitor->stopFeedTask();
        // A step plays its own frame forward at 1x, whatever the last play's speed and
        // direction left in the buffer; a play has set its own speed already.
        if (preview) m_sourceBuffer->setPlaySpeed(1);
        m_sourceBuffer->seek(t, preview ? 1 : 0);
        if (preview) m_monitor->seekPreview(static_cast<float>(d));
        else m_monitor->restartPlay();
        m_monitor->start();
    } catch (const std::exception& e) {
        qDebug().noquote() << "ERROR : audio restart :" << e.what();
        return;
    }
    if (m_meterPanel) m_meterPanel->startRefreshTimer();
}

void MainWindow::act_notif_end_audio_seek() {
    if (!m_seekPreviewTimer) {
        m_seekPreviewTimer = new QTimer(this);
        m_seekPreviewTimer->setSingleShot(true);
        connect(m_seekPreviewTimer, &QTimer::timeout, this, &MainWindow::act_timer_stop_after_seek);
    }
    m_seekPreviewTimer->stop();
    const double frame = m_movie && m_movie->fps() > 0.0f ? 1.0 / m_movie->fps() : 0.1;
    m_seekPreviewTimer->start(static_cast<int>(2.0 * std::clamp(frame, 0.1, 1.0) * 1000.0));
}

// The output stalled and caught up (its server stood, if only for a moment at the
// play's start, or reads the stream on without playing it): the device now plays what
// was due long ago. The sound starts again where the picture's clock is
// (restartAudioAt), not at the frame still on screen: when the whole player was held,
// the clock's next tick leaves that frame for the one due.
void MainWindow::act_notif_output_stalled() { restartAudioIfPlaying(); }

void MainWindow::restartAudioIfPlaying() {
    const int32_t speed = playSpeed();
    if (speed != 0 && transport_speed_has_audio(speed)) restartAudioAt(false);
}

void MainWindow::act_timer_stop_after_seek() { stopAudio(); }

void MainWindow::stopAudio() {
    if (m_sourceBuffer) m_sourceBuffer->stopFillTask();
    if (m_monitor) {
        m_monitor->pause();
        m_monitor->stopFeedTask();
    }
    if (m_meterPanel) m_meterPanel->stopRefreshTimer();
}

// ---------------------------------------------------------------------------------
// Gain, mute, solo

void MainWindow::viewVolumeGainChanged(float nGainDb) {
    if (m_monitor) m_monitor->setGainDb(nGainDb);
}

void MainWindow::act_notif_view_audio_gain_output_changed(float dbGainVal) {
    if (m_monitor) m_monitor->setGainDb(dbGainVal);
}

void MainWindow::viewVolumeMuted() {
    if (m_monitor) m_monitor->mute();
}

void MainWindow::act_notif_view_audio_mute_solo_changed() {
    if (!m_monitor || !m_meterPanel) return;
    m_monitor->setMuteMask(m_meterPanel->channelMuteMask());
    if (m_meterPanel->isVisible()) {
        m_monitor->setPeaksEnabled(true);
        m_monitor->setMeterMuteMask(m_meterPanel->channelDisabledMask());
    } else {
        m_monitor->setPeaksEnabled(false);
    }
}

// ---------------------------------------------------------------------------------
// Panels (their Window menu entries are rows of the action table)

void MainWindow::createAudioPanels() {
    m_meterPanel = new PanelAudioMeter(nullptr, m_instance);
    m_mappingPanel = new PanelAudioMapping(nullptr);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        m_meterPanel->setGeometry(std::min(area.width() - 212, frameGeometry().right()), geometry().top(), 348, 500);
        m_mappingPanel->move(area.x() + 10, area.height() - 40 - m_mappingPanel->height());
    }
    m_meterPanel->hide();
    m_mappingPanel->hide();
    connect(m_meterPanel, &PanelAudioMeter::notif_view_audio_mute_solo_changed, this,
            &MainWindow::act_notif_view_audio_mute_solo_changed);
    // Sent while the panel is still visible: its entry is unchecked here, not read again.
    connect(m_meterPanel, &PanelAudioMeter::close_panel, this,
            [this] { uncheckMenuEntry(ActionState::MetersPanelShown); });
    connect(m_mappingPanel, &PanelAudioMapping::PanelAudioMap_MappingChange, this, &MainWindow::rebuildAudioRouting);
    connect(m_mappingPanel, &PanelAudioMapping::PanelAudioMap_LayoutChange, this, &MainWindow::PanelAudioMap_LayoutChange);
    connect(m_mappingPanel, &PanelAudioMapping::PanelAudioMap_DeleteTrack, this, &MainWindow::PanelAudioMap_DeleteTrack);
    connect(m_mappingPanel, &PanelAudioMapping::PanelAudioMap_DropFiles, this, &MainWindow::PanelAudioMap_DropFiles);
    connect(m_mappingPanel, &PanelAudioMapping::close_panel, this,
            [this] { uncheckMenuEntry(ActionState::MappingPanelShown); });
}

void MainWindow::act_menu_audio_meters() {
    if (!m_meterPanel) createAudioPanels();
    m_meterPanel->show();
    m_meterPanel->activateWindow();
    // Peaks are produced only for a visible panel.
    act_notif_view_audio_mute_solo_changed();
    refreshMenuActions();
    refreshAudioMenuActions();
}

void MainWindow::act_menu_audio_mapping() {
    if (!m_mappingPanel) createAudioPanels();
    m_mappingPanel->show();
    m_mappingPanel->activateWindow();
    refreshMenuActions();
    refreshAudioMenuActions();
}

// Start-up: the panels reopen where they were when their records say so.
void MainWindow::restoreAudioPanels() {
    if (m_settings->isAudioMetersPanelVisible()) act_menu_audio_meters();
    if (m_settings->isAudioMappingPanelVisible()) act_menu_audio_mapping();
    const PanelSettings* meters = m_settings->audioMetersPanel();
    if (!meters) qDebug().noquote() << "Audio meters settings not init";
    else if (meters->valid && m_meterPanel) m_meterPanel->setGeometry(meters->geometry());
    const PanelSettings* mapping = m_settings->audioMappingPanel();
    if (!mapping) qDebug().noquote() << "Audio mapping settings not init";
    else if (mapping->valid && m_mappingPanel) m_mappingPanel->setGeometry(mapping->geometry());
}

void MainWindow::applyAudioMappingSettings() {
    if (!m_mappingPanel) return;
    m_mappingPanel->setAllowDelete(m_settings->allow_hide_embed_audio_tracks);
    bool reactivated = false;
    if (!m_settings->allow_hide_embed_audio_tracks) {
        for (AudioSrcTrack* track : m_tracks->tracks()) reactivated = reactivated || track->isRemoved();
        m_tracks->activateAll();
    }
    // Tracks that come back are routed again; otherwise only the rows change.
    if (reactivated) PanelAudioMap_MappingChange();
    else m_mappingPanel->rebuildTrackViews(m_tracks);
}

void MainWindow::saveAudioPanelSettings() {
    m_settings->storeAudioMetersPanel(m_meterPanel ? m_meterPanel->windowHandle() : nullptr);
    m_settings->storeAudioMappingPanel(m_mappingPanel ? m_mappingPanel->windowHandle() : nullptr);
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

void MainWindow::onSoundIoBackendDisconnect(SoundIo* context, int error) {
    qWarning("Audio backend lost : %s", soundio_strerror(error));
    auto* notifier = context ? static_cast<SoundIoNotifier*>(context->userdata) : nullptr;
    if (notifier) notifier->notifyBackendLost(error);
}

// How often a listener on a JACK server is woken to read its events again.
constexpr int kListenerWakeMs = 250;

SoundIo* MainWindow::outputContext() const { return m_monitor ? m_monitor->libraryContext() : m_soundio; }

void MainWindow::startListenOutputDevice() {
    if (!m_soundio) {
        qDebug().noquote() << "Error : can't listen output device (NULL)";
        return;
    }
    if (m_monitor && m_monitor->onSoundServer()) {
        // The server tells its own changes (no listener); no start-up notice comes, so
        // the output played now is known from here and its first change is told.
        const OutputDeviceKey now = currentOutputDevice();
        m_outputDeviceIndex = now.index;
        m_outputDeviceId = now.id;
        m_firstDeviceChangeSeen = true;
        return;
    }
    // A disconnected context has no events to wait for (its backend was lost).
    if (m_monitor && m_monitor->backendLost()) return;
    SoundIo* context = outputContext();
    if (context->current_backend == SoundIoBackendNone) return;
    stopListenOutputDevice();
    context->on_devices_change = &MainWindow::onSoundIoDevicesChange;
    if (m_outputDeviceIndex == -1) {
        // The device played now is known from here (its events were read when it
        // opened): a JACK server's first notice may come only when another client adds
        // ports, and the same default device then must not stop the play.
        const OutputDeviceKey now = currentOutputDevice();
        if (now.index >= 0) {
            m_outputDeviceIndex = now.index;
            m_outputDeviceId = now.id;
            m_firstDeviceChangeSeen = true;
        }
    }
    m_listenerStop.store(false);
    m_listenerDone.store(false);
    m_listenerRunning = true;
    m_listenedContext = context;
    m_deviceListener = std::thread([this, context] {
        // The callback runs inside the wait, on this thread.
        while (!m_listenerStop.load()) soundio_wait_events(context);
        m_listenerDone.store(true);
    });
    if (context->current_backend == SoundIoBackendJack) {
        // The library's JACK wait reads the events, then waits for the next notice: a
        // server that goes away while it reads (as a listener starts on a server that is
        // killed then) gives its notice to nobody, and its end would never be read. Woken
        // now and then, the listener reads it within a moment.
        if (!m_listenerWakeTimer) {
            m_listenerWakeTimer = new QTimer(this);
            connect(m_listenerWakeTimer, &QTimer::timeout, this, [this] {
                if (m_listenerRunning && m_listenedContext) soundio_wakeup(m_listenedContext);
            });
        }
        m_listenerWakeTimer->start(kListenerWakeMs);
    }
}

void MainWindow::stopListenOutputDevice() {
    if (m_listenerWakeTimer) m_listenerWakeTimer->stop();
    if (!m_listenerRunning) return;
    if (!m_soundio) {
        qDebug().noquote() << "Error : can't stop listen output device (NULL)";
        return;
    }
    m_listenerStop.store(true);
    // A wakeup sent before the listener is inside its wait is lost (the library only
    // signals a thread that waits already, as PulseAudio's does): wake it until it left.
    while (!m_listenerDone.load()) {
        soundio_wakeup(m_listenedContext);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_deviceListener.joinable()) m_deviceListener.join();
    m_listenerRunning = false;
    m_listenedContext = nullptr;
}

// The default output as the backend tells it: the library's device list, or the sound
// server's default sink.
MainWindow::OutputDeviceKey MainWindow::currentOutputDevice() const {
    if (!m_monitor || !m_monitor->onSoundServer()) return g_device_reader(outputContext());
    OutputDeviceKey key;
    key.id = m_monitor->soundServerDefaultSink().toUtf8();
    key.index = key.id.isEmpty() ? -1 : 0;
    return key;
}

void MainWindow::act_event_audio_out_changed() {
    const bool onServer = m_monitor && m_monitor->onSoundServer();
    // A notice that was on its way when the backend was lost: nothing to read.
    if (!m_soundio || (!onServer && outputContext()->current_backend == SoundIoBackendNone)) return;
    // From here until the listener restarts, this thread alone handles the library's
    // events and device list.
    const bool listening = m_listenerRunning;
    stopListenOutputDevice();
    struct Restart {
        MainWindow* window;
        bool listening;
        ~Restart() {
            if (listening) window->startListenOutputDevice();
        }
    } restart{this, listening};

    if (!onServer) soundio_flush_events(outputContext());
    const OutputDeviceKey now = currentOutputDevice();
    if (m_outputDeviceIndex == -1) {
        m_outputDeviceIndex = now.index;
        m_outputDeviceId = now.id;
    } else if (now.index == m_outputDeviceIndex && now.id == m_outputDeviceId) {
        return;  // the same device: another device came or went
    }
    if (!m_monitor) {
        stopPlayback();
        qDebug().noquote() << "Audio monitor not created";
        return;
    }
    m_monitor->clearErrorText();
    m_monitor->reopenDefaultDevice();
    m_outputDeviceIndex = now.index;
    m_outputDeviceId = now.id;
    if (m_monitor->backendLost()) {
        // The server's new output went before its stream opened (PipeWire names a
        // stand-in a moment while its last sink goes): a lost output, not a new one, so
        // the picture plays on and the output is tried again, as after any loss.
        stopAudio();
        displayErrorInfo("Sound output changed", QString("Sound output lost :\n%1").arg(soundio_strerror(SoundIoErrorNoSuchDevice)));
        retryLostOutputSoon();
        return;
    }
    // A new output: the play stops (the person starts it again on the new device).
    stopPlayback();
    if (!m_monitor->errorText().isEmpty()) {
        displayErrorInfo("Sound output changed", "Error setting new output");
        return;
    }
    if (!m_firstDeviceChangeSeen) {
        m_firstDeviceChangeSeen = true;
        return;
    }
    displayInfo("Sound output changed", QString("New output card :\n%1").arg(m_monitor->deviceName()));
}

// The output went away (its server stopped or crashed, its last sink went, or the
// server ended the stream): the picture goes on without sound and the person is told.
// While the movie plays with sound the output is tried again every half second until
// it plays (retryLostOutput); otherwise the next play or step tries again.
void MainWindow::act_event_audio_backend_lost(int error) {
    const bool connected = m_monitor ? m_monitor->backendConnected()
                                     : m_soundio && m_soundio->current_backend != SoundIoBackendNone;
    if (!m_soundio || !connected) return;
    // The listener waits on the dead backend's events: it ends before the disconnect.
    stopListenOutputDevice();
    stopAudio();
    if (m_monitor) m_monitor->dropLostBackend();
    else soundio_disconnect(m_soundio);
    // Why it stays lost is told afresh for this loss.
    m_stillLostReason.clear();
    displayErrorInfo("Sound output changed", QString("Sound output lost :\n%1").arg(soundio_strerror(error)));
    retryLostOutputSoon();
}

// How soon a lost output is tried again while the movie plays.
constexpr int kOutputRetryMs = 500;
// How long the window, when it goes, waits for a probe that was asked to give up.
constexpr int kProbeEndMs = 100;
// A probe answers within kServerProbeMs (no answer in time is an answer); one that has
// not after that long is held up all the same (a busy machine): a later try asks again
// beside it, with so many probes waiting at most.
constexpr int kProbeOverdueMs = AudioMonitor::kServerProbeMs;
constexpr size_t kProbesWaitingAtMost = 3;
// How often a loss that lasts with the same reason is told again.
constexpr int kStillLostRepeatMs = 10000;

void MainWindow::retryLostOutputSoon() {
    if (!m_outputRetryTimer) {
        m_outputRetryTimer = new QTimer(this);
        m_outputRetryTimer->setSingleShot(true);
        connect(m_outputRetryTimer, &QTimer::timeout, this, &MainWindow::retryLostOutput);
    }
    m_outputRetryTimer->start(kOutputRetryMs);
}

// Only while the movie plays with sound: the play's restart connects the output again
// (reconnectAudioBackend) and sounds from the picture's frame. A pause ends the retries.
void MainWindow::retryLostOutput() {
    if (m_monitor && m_monitor->backendLost()) restartAudioIfPlaying();
}

// What a probe's thread shares with the window that started it: the window to answer,
// null once it goes (both under the lock), and the window's wish that the probe end.
struct MainWindow::ProbeReply {
    std::mutex lock;
    MainWindow* window = nullptr;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
};

bool MainWindow::reconnectAudioBackend() {
    const bool soundServer = m_monitor->lostBackendIsSoundServer();
    if (!soundServer && !m_monitor->lostBackendIsJack()) {
        if (connectLostBackend()) return true;
        retryLostOutputSoon();
        return false;
    }
    // A server is asked first, on a thread of its own: the library would wait for one
    // that does not answer (a stopped JACK server holds it until it runs again), and
    // crash on a PulseAudio server without output. This play stays silent; the answer,
    // when the server can play, connects it and gives the play its sound; no answer in
    // time is an answer too (the server is still lost, and asked again).
    pruneServerProbes();
    if (!m_serverProbes.empty()) {
        // The newest one's answer comes.
        const auto asked = std::chrono::steady_clock::now() - m_serverProbes.back().started;
        if (asked < std::chrono::milliseconds(kProbeOverdueMs)) return false;
        if (m_serverProbes.size() >= kProbesWaitingAtMost) return false;
    }
    auto reply = std::make_shared<ProbeReply>();
    reply->window = this;
    ServerProbe probe;
    probe.reply = reply;
    probe.started = std::chrono::steady_clock::now();
    // Either probe gives up within kServerProbeMs, or as soon as asked to.
    probe.givesUp = true;
    // A JACK server that did not answer at the start may simply not be there (a busy
    // machine, or another JACK server that held the library): then the sound server is
    // asked too, as the start would have.
    const bool orDesktop = !soundServer && m_monitor->jackUnansweredAtStart();
    probe.thread = std::thread([reply, soundServer, orDesktop] {
        const SoundServerAnswer answer =
            soundServer ? probe_pulse_server(AudioMonitor::kServerProbeMs, &reply->cancel)
                        : probe_jack_server(AudioMonitor::kServerProbeMs, &reply->cancel);
        const int desktop = orDesktop && answer == SoundServerAnswer::NoServer
                                ? int(probe_pulse_server(AudioMonitor::kServerProbeMs, &reply->cancel))
                                : -1;
        const std::lock_guard<std::mutex> hold(reply->lock);
        reply->done.store(true);
        // Posted while the window cannot go; a window gone later drops it unread.
        if (MainWindow* window = reply->window)
            QMetaObject::invokeMethod(
                window, [window, answer, desktop] { window->soundServerAnswered(int(answer), desktop); },
                Qt::QueuedConnection);
    });
    m_serverProbes.push_back(std::move(probe));
    return false;
}

void MainWindow::pruneServerProbes() {
    for (auto probe = m_serverProbes.begin(); probe != m_serverProbes.end();) {
        if (!probe->reply->done.load()) {
            ++probe;
            continue;
        }
        if (probe->thread.joinable()) probe->thread.join();
        probe = m_serverProbes.erase(probe);
    }
}

void MainWindow::endServerProbe() {
    for (ServerProbe& probe : m_serverProbes) {
        const std::lock_guard<std::mutex> hold(probe.reply->lock);
        probe.reply->window = nullptr;
        probe.reply->cancel.store(true);
    }
    // Either probe gives up within a moment once asked (a JACK probe's own call, that a
    // stopped server holds on the JACK thread, goes on alone there and answers nobody).
    const auto allDone = [this] {
        return std::all_of(m_serverProbes.begin(), m_serverProbes.end(), [](const ServerProbe& probe) {
            return !probe.givesUp || probe.reply->done.load();
        });
    };
    for (int waited = 0; waited < kProbeEndMs && !allDone(); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (ServerProbe& probe : m_serverProbes) {
        if (!probe.thread.joinable()) continue;
        if (probe.reply->done.load()) probe.thread.join();
        else probe.thread.detach();
    }
    m_serverProbes.clear();
}

void MainWindow::reportStillLost(const QString& why) {
    const auto now = std::chrono::steady_clock::now();
    if (why == m_stillLostReason && now - m_stillLostToldAt < std::chrono::milliseconds(kStillLostRepeatMs)) return;
    qDebug().noquote() << "Sound output still lost :" << why;
    m_stillLostReason = why;
    m_stillLostToldAt = now;
}

void MainWindow::soundServerAnswered(int answer, int desktop) {
    if (!m_monitor || !m_monitor->backendLost()) return;
    if (desktop >= 0 && m_monitor->jackUnansweredAtStart()) {
        // No JACK server after all: the output is the sound server's, as at a start
        // without JACK, else the library's own.
        m_monitor->leaveUnansweredJack(SoundServerAnswer(desktop) != SoundServerAnswer::NoServer);
        if (!m_monitor->lostBackendIsSoundServer()) {
            if (connectLostBackend()) restartAudioIfPlaying();
            else retryLostOutputSoon();
            return;
        }
        answer = desktop;
    }
    if (SoundServerAnswer(answer) != SoundServerAnswer::Ready) {
        reportStillLost(sound_server_answer_text(SoundServerAnswer(answer)));
    } else if (connectLostBackend()) {
        restartAudioIfPlaying();
        return;
    }
    // The answer may be older than the play that asked (a sink came meanwhile), and a
    // sink may come any moment: the server is asked again while the movie plays.
    retryLostOutputSoon();
}

bool MainWindow::connectLostBackend() {
    if (!m_monitor->reconnectLostBackend()) {
        reportStillLost(m_monitor->errorText());
        return false;
    }
    m_stillLostReason.clear();
    const OutputDeviceKey now = currentOutputDevice();
    m_outputDeviceIndex = now.index;
    m_outputDeviceId = now.id;
    startListenOutputDevice();
    displayInfo("Sound output changed", QString("New output card :\n%1").arg(m_monitor->deviceName()));
    return true;
}
