// Transport: the play speed, the playback clock's ticks, paused stepping and jumps,
// in and out points, play once or loop, and the frame-rate interpretation.
#include <QDebug>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "app/main_window.h"
#include "app/playback_clock.h"
#include "base/settings/global_settings.h"
#include "app/transport_rules.h"
#include "app/view_bottom_ctrl.h"
#include "app/view_in_out_point.h"
#include "app/view_progress_bar.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "ui/view_editable_time.h"

int32_t MainWindow::playSpeed() const { return m_frameQueue ? m_frameQueue->playStep() : 0; }

namespace {

// The frame the playback clock has reached, when the window has not shown it: a window
// held up (a busy machine) for a whole period or more, while the sound played on to it;
// or frames handed over ahead of the clock (`handedAhead`: a renderer behind its ticks),
// the last of which is beyond where the sound is. The frame last handed over otherwise.
uint32_t frame_clock_reached(const PlaybackClock& clock, const FrameCompressedBuffer& queue, uint32_t shown,
                             bool handedAhead) {
    if (!clock.isRunning()) return shown;
    const double due = std::floor(clock.position());
    if (!handedAhead && !(due >= double(clock.ticks() + 2))) return shown;
    return queue.frameAtPosition(static_cast<uint64_t>(due));
}

}  // namespace

void MainWindow::setPlaySpeed(int32_t speed) {
    if (!m_movie) return;
    speed = transport_clamp_speed(speed, m_movie->frameCount());
    const int32_t current = m_frameQueue->playStep();
    if (speed == current) return;

    if (current == 0) {
        act_timer_hide_error_info();
        if (m_frameQueue->loopMode() == 0)
            m_currentFrame = transport_play_once_start_frame(speed, m_currentFrame, m_movie->frameCount(),
                                                            m_frameQueue->inPoint(), m_frameQueue->outPoint());
        startPlayback(speed);
    } else {
        if (VulkanWinRenderer* r = renderer()) r->forceStop();
        // A pause or a new speed takes the play from where the clock (and the sound) is,
        // not from a frame a held window shows late: read once the renderer let go (a
        // slow one holds this thread a while, and the sound plays on meanwhile).
        const uint32_t reached = frame_clock_reached(*m_clock, *m_frameQueue, m_currentFrame, m_ticksAhead > 0);
        // The frame last handed over stays on screen, and play resumes from it.
        setShownFrame(m_currentFrame);
        stopRefreshTimer();
        m_frameQueue->stopCacheThread();
        stopAudio();
        if (speed == 0) {
            m_frameQueue->setPlayStep(0);
            if (reached != m_currentFrame) refreshPauseFrame(reached);
        } else {
            m_currentFrame = reached;
            startPlayback(speed);
        }
    }
    m_bottomCtrl->setPlayStepImages(speed);
}

void MainWindow::startPlayback(int32_t speed) {
    m_frameQueue->setPlayStep(speed);  // the audio start reads the direction
    m_frameQueue->prefill(m_currentFrame);
    m_frameQueue->startCacheThread();
    m_lastPosition = 0;
    // The sound runs on the device's clock and the picture on the playback clock, and
    // neither waits for the other afterwards: they start together, after the prefill,
    // or the sound leads the picture by the prefill's time for the whole play.
    if (transport_speed_has_audio(speed) && m_sourceBuffer) {
        m_sourceBuffer->setPlaySpeed(speed);
        restartAudioAt(false);
    } else {
        act_timer_stop_after_seek();
    }
    startRefreshTimer();
}

void MainWindow::startRefreshTimer() {
    if (!m_movie) {
        qDebug().noquote() << "ERROR No file play obj start timer refresh";
        return;
    }
    m_clock->start(m_movie->fps());
}

void MainWindow::stopRefreshTimer() {
    if (m_clock) m_clock->stop();
}

uint64_t MainWindow::pictureTick() {
    VulkanWinRenderer* r = renderer();
    // A frame still being drawn or presented is waited for before the choice: a frame
    // chosen before the wait would reach the screen the whole wait after it was due.
    if (r) r->finishFrameInFlight();
    const uint64_t tick = m_clock->catchUp();
    // A renderer slower than the clock shows each frame a while after it is handed
    // over: the tick hands over the frame due when it will be on screen, where the
    // sound will be then, rather than the frame due now.
    const uint32_t limit = m_frameQueue->prefillCount() > 0 ? m_frameQueue->prefillCount() - 1 : 0;
    m_ticksAhead =
        PlaybackClock::ticksAhead(m_ticksAhead, r ? r->presentDelayMs() : 0.0, m_clock->periodMs(), limit);
    const uint64_t position = tick + m_ticksAhead;
    // The frames came to be seen sooner: the picture holds until the clock is there.
    if (position <= m_lastPosition) return 0;
    m_lastPosition = position;
    return position;
}

void MainWindow::act_timer_refresh() {
    if (!m_movie) return;
    // The clock's tick says which frame of the play is due: a tick that came late by
    // more than a period leaves out the frames that could not be shown in time, and
    // the queue hands the frame due, never an older one.
    VideoFrame* frame = nullptr;
    const uint64_t tick = pictureTick();
    if (tick == 0) return;
    const int32_t slot = m_frameQueue->takeFrameAt(tick, &frame);
    if (slot < 0) {
        // The frame due is not read yet: the picture holds for this tick, as long as
        // the read-ahead is catching up (after a hold, or a storage that stalled).
        if (m_frameQueue->isCatchingUp()) return;
        setPlaySpeed(0);
        displayErrorInfo("Playback error", "Not enough disk bandwidth.\nTry to put your media on a faster storage");
        return;
    }
    if (!frame) {
        qDebug().noquote() << "DEV ?? : Null Video Frame";
        m_frameQueue->releaseFrame(slot);
        return;
    }
    if (VulkanWinRenderer* r = renderer()) r->copyVideoFrame(*frame);
    m_currentFrame = frame->frame_number;
    m_frameQueue->releaseFrame(slot);
    m_progressBar->setCurrentFrame(m_currentFrame);
    repaint();
    // The time display follows once the frame is on screen (viewVideoFramePresented).
    if (m_videoWindow) m_videoWindow->requestUpdate();

    // The queue's frames of a play once stay on the end of the range once there, so a
    // tick that leaves frames out past the end still shows the end and stops on it:
    // once the clock is there, not when a frame handed over ahead of it is, which
    // would cut the end of the sound.
    const uint32_t due = m_ticksAhead > 0 ? m_frameQueue->frameAtPosition(m_clock->ticks()) : m_currentFrame;
    if (m_frameQueue->loopMode() == 0 &&
        transport_play_once_stops(m_frameQueue->playStep(), due, m_movie->frameCount(),
                                  m_frameQueue->inPoint(), m_frameQueue->outPoint()))
        setPlaySpeed(0);
}

void MainWindow::viewVideoFramePresented(uint32_t frame) {
    if (m_movie) setShownFrame(frame);
}

void MainWindow::setShownFrame(uint32_t frame) {
    m_shownFrame = frame;
    m_bottomCtrl->timeDisplay()->setCurrent(frame);
}

void MainWindow::seekByFrames(int64_t delta) {
    if (!m_movie) return;
    uint32_t target = m_currentFrame;
    try {
        const TransportRange range =
            transport_play_range(m_frameQueue->frameCount(), m_frameQueue->inPoint(), m_frameQueue->outPoint());
        target = transport_seek_target(m_currentFrame, delta, range, m_frameQueue->loopMode() == 1);
    } catch (const std::exception& e) {
        qDebug().noquote() << "ERROR : seek :" << e.what();
        return;
    }
    if (target == m_currentFrame) return;
    refreshPauseFrame(target);
    if (m_settings->play_audio_frame_by_frame) restartAudioAt(true);
}

void MainWindow::refreshPauseFrame(uint32_t frame) {
    if (!m_movie) return;
    if (frame >= m_movie->frameCount()) {
        qDebug().noquote() << "Refresh pause frame : invalid frame request : " << frame;
        return;
    }
    if (rendererHasResources()) {
        m_frameQueue->readPauseFrame(frame);
        m_frameQueue->lockPauseFrame();
        if (VideoFrame* pause = m_frameQueue->pauseFrame()) renderer()->copyVideoFrame(*pause);
        m_frameQueue->unlockPauseFrame();
        m_videoWindow->requestUpdate();
    }
    m_currentFrame = frame;
    m_progressBar->setCurrentFrame(frame);
    repaint();
    setShownFrame(frame);
}

void MainWindow::showFrame(uint32_t frame) {
    stopPlayback();
    refreshPauseFrame(frame);
}

void MainWindow::viewControlsClicStart() {
    if (!m_movie) return;
    showFrame(0);
}

void MainWindow::viewControlsClicEnd() {
    if (!m_movie) return;
    const uint32_t count = m_movie->frameCount();
    showFrame(count > 0 ? count - 1 : 0);
}

void MainWindow::viewControlsClicGoToIn() {
    if (!m_movie) return;
    const int32_t in = m_frameQueue->inPoint();
    showFrame(in >= 0 ? static_cast<uint32_t>(in) : 0);
}

void MainWindow::viewControlsClicGoToOut() {
    if (!m_movie) return;
    const int32_t out = m_frameQueue->outPoint();
    const uint32_t count = m_movie->frameCount();
    showFrame(out >= 0 ? static_cast<uint32_t>(out) : (count > 0 ? count - 1 : 0));
}

void MainWindow::viewControlsClicPrevFrame() {
    stopPlayback();
    seekByFrames(-1);
}

void MainWindow::viewControlsClicPrev10Frames() {
    stopPlayback();
    seekByFrames(-10);
}

void MainWindow::viewControlsClicPrevSecond() {
    stopPlayback();
    if (m_movie) seekByFrames(-static_cast<int64_t>(m_movie->fpsRounded()));
}

void MainWindow::viewControlsClicNextFrame() {
    stopPlayback();
    seekByFrames(1);
}

void MainWindow::viewControlsClicNext10Frames() {
    stopPlayback();
    seekByFrames(10);
}

void MainWindow::viewControlsClicNextSecond() {
    stopPlayback();
    if (m_movie) seekByFrames(static_cast<int64_t>(m_movie->fpsRounded()));
}

void MainWindow::viewControlsSetNewTimeFrameOffset(int64_t nFrameOffset) {
    stopPlayback();
    seekByFrames(nFrameOffset);
}

void MainWindow::viewControlsSetNewTimeFrame(uint32_t nFrame) { showFrame(nFrame); }

void MainWindow::viewProgressClicProgress(uint32_t frameNum) { showFrame(frameNum); }

void MainWindow::viewControlsTimemodeChanged() {}

void MainWindow::viewControlsClicPlay() {
    if (!m_movie) {
        m_bottomCtrl->setPlayStepImages(0);
        return;
    }
    if (m_frameQueue->playStep() > 0) setPlaySpeed(0);
    else if (m_movie->frameCount() > 1) setPlaySpeed(1);
    else m_bottomCtrl->setPlayStepImages(0);
}

void MainWindow::viewControlsClicPlayReverse() {
    if (!m_movie) {
        m_bottomCtrl->setPlayStepImages(0);
        return;
    }
    if (m_frameQueue->playStep() < 0) setPlaySpeed(0);
    else if (m_movie->frameCount() > 1) setPlaySpeed(-1);
    else m_bottomCtrl->setPlayStepImages(0);
}

void MainWindow::viewControlsClicPlayMode(uint32_t nMode) {
    const int32_t speed = m_frameQueue->playStep();
    if (speed != 0) setPlaySpeed(0);
    // The picture and the sound take the new mode before play resumes: the sound's
    // restart reads its first second with the flag it finds, and the picture wraps
    // (or stops) at the out point by the queue's.
    m_frameQueue->setLoopMode(nMode);
    if (m_sourceBuffer) m_sourceBuffer->setLoop(nMode == 1 ? 1 : 0);
    if (speed != 0) setPlaySpeed(speed);
}

void MainWindow::viewControlsClicSetIn() {
    const uint32_t frame = m_currentFrame;
    stopPlayback();
    if (!m_movie) return;
    m_frameQueue->setInPoint(static_cast<int32_t>(frame));
    refreshInOutPoints(true);
}

void MainWindow::viewControlsClicSetOut() {
    const uint32_t frame = m_currentFrame;
    stopPlayback();
    if (!m_movie) return;
    m_frameQueue->setOutPoint(static_cast<int32_t>(frame));
    refreshInOutPoints(true);
}

void MainWindow::ViewInOutPointDelegate_SetIn(int32_t nPoint) {
    stopPlayback();
    if (!m_movie) return;
    m_frameQueue->setInPoint(nPoint);
    refreshInOutPoints(true);
}

void MainWindow::ViewInOutPointDelegate_SetOut(int32_t nPoint) {
    stopPlayback();
    if (!m_movie) return;
    m_frameQueue->setOutPoint(nPoint);
    refreshInOutPoints(true);
}

void MainWindow::viewControlsClicResetIn() {
    stopPlayback();
    m_frameQueue->resetInPoint();
    refreshInOutPoints(true);
}

void MainWindow::viewControlsClicResetOut() {
    stopPlayback();
    m_frameQueue->resetOutPoint();
    refreshInOutPoints(true);
}

void MainWindow::refreshInOutPoints(bool relayout) {
    const int32_t in = m_frameQueue->inPoint();
    const int32_t out = m_frameQueue->outPoint();
    m_progressBar->setInOutPoints(in, out);
    m_inOutPoint->setInOutPoints(in, out);
    updateAudioPlayRange();
    m_markersVisible = !(in < 0 && out < 0);
    if (relayout) layoutViews();
}

void MainWindow::updateAudioPlayRange() {
    if (!m_movie) return;
    const TransportAudioRange range = transport_audio_range(m_frameQueue->inPoint(), m_frameQueue->outPoint(),
                                                            m_movie->fps(), m_movie->durationSeconds());
    m_tracks->setInOutSeconds(range.start, range.end);
}

void MainWindow::act_menu_fps_mode(uint32_t mode) {
    if (mode > 9) {
        std::printf("Unknown fps interpret mode\n");
        mode = 0;
    }
    if (!m_movie) return;
    if (!m_movie->setFpsMode(mode)) return;
    setPlaySpeed(0);
    uint32_t numerator = 0;
    uint32_t denominator = 1;
    m_movie->fpsRational(&numerator, &denominator);
    ViewEditableTimeSpendTotal* time = m_bottomCtrl->timeDisplay();
    time->setRate(numerator, denominator);
    // The start label stays the movie's own; its count follows the rate.
    time->setLimits(m_movie->timecodeStartAtPlayedRate(), m_movie->isDropFrameTimecode());
    time->refresh();
    updateAudioPlayRange();
    // Its start timecode line says what frame 0 now shows.
    if (rendererHasResources()) refreshInformationOverlay();
}
