// Transport: the play speed, the playback clock's ticks, paused stepping and jumps,
// in and out points, play once or loop, and the frame-rate interpretation.
#include <QDebug>
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
#include "media/movie/file_to_play.h"
#include "media/movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "ui/view_editable_time.h"

int32_t MainWindow::playSpeed() const { return frameQueue_ ? frameQueue_->playStep() : 0; }

void MainWindow::setPlaySpeed(int32_t speed) {
    if (!movie_) return;
    speed = transport_clamp_speed(speed, movie_->frameCount());
    const int32_t current = frameQueue_->playStep();
    if (speed == current) return;

    if (current == 0) {
        act_timer_hide_error_info();
        if (frameQueue_->loopMode() == 0)
            currentFrame_ = transport_play_once_start_frame(speed, currentFrame_, movie_->frameCount(),
                                                            frameQueue_->inPoint(), frameQueue_->outPoint());
        if (transport_speed_has_audio(speed) && sourceBuffer_) {
            sourceBuffer_->setPlaySpeed(speed);
            frameQueue_->setPlayStep(speed);  // the audio start reads the direction
            restartAudioAt(false);
        } else {
            act_timer_stop_after_seek();
        }
        frameQueue_->setPlayStep(speed);
        frameQueue_->prefill(currentFrame_);
        frameQueue_->startCacheThread();
        startRefreshTimer();
    } else {
        if (VulkanWinRenderer* r = renderer()) r->forceStop();
        stopRefreshTimer();
        frameQueue_->stopCacheThread();
        if (speed == 0) {
            frameQueue_->setPlayStep(0);
            stopAudio();
        } else {
            stopAudio();
            frameQueue_->setPlayStep(speed);
            frameQueue_->prefill(currentFrame_);
            frameQueue_->startCacheThread();
            if (transport_speed_has_audio(speed) && sourceBuffer_) {
                sourceBuffer_->setPlaySpeed(speed);
                restartAudioAt(false);
            } else {
                act_timer_stop_after_seek();
            }
            startRefreshTimer();
        }
    }
    bottomCtrl_->setPlayStepImages(speed);
}

void MainWindow::startRefreshTimer() {
    if (!movie_) {
        qDebug().noquote() << "ERROR No file play obj start timer refresh";
        return;
    }
    clock_->start(movie_->fps());
}

void MainWindow::stopRefreshTimer() {
    if (clock_) clock_->stop();
}

void MainWindow::act_timer_refresh() {
    if (!movie_) return;
    VideoFrame* frame = nullptr;
    const int32_t slot = frameQueue_->takeNextFrame(&frame);
    if (slot < 0) {
        setPlaySpeed(0);
        displayErrorInfo("Playback error", "Not enough disk bandwidth.\nTry to put your media on a faster storage");
        return;
    }
    if (!frame) {
        qDebug().noquote() << "DEV ?? : Null Video Frame";
        frameQueue_->releaseFrame(slot);
        return;
    }
    if (VulkanWinRenderer* r = renderer()) r->copyVideoFrame(*frame);
    currentFrame_ = frame->frame_number;
    frameQueue_->releaseFrame(slot);
    progressBar_->setCurrentFrame(currentFrame_);
    repaint();
    bottomCtrl_->timeDisplay()->setCurrent(currentFrame_);
    if (videoWindow_) videoWindow_->requestUpdate();

    if (frameQueue_->loopMode() == 0 &&
        transport_play_once_stops(frameQueue_->playStep(), currentFrame_, movie_->frameCount(),
                                  frameQueue_->inPoint(), frameQueue_->outPoint()))
        setPlaySpeed(0);
}

void MainWindow::seekByFrames(int64_t delta) {
    if (!movie_) return;
    uint32_t target = currentFrame_;
    try {
        const TransportRange range =
            transport_play_range(frameQueue_->frameCount(), frameQueue_->inPoint(), frameQueue_->outPoint());
        target = transport_seek_target(currentFrame_, delta, range, frameQueue_->loopMode() == 1);
    } catch (const std::exception& e) {
        qDebug().noquote() << "ERROR : seek :" << e.what();
        return;
    }
    if (target == currentFrame_) return;
    refreshPauseFrame(target);
    if (settings_->play_audio_frame_by_frame) restartAudioAt(true);
}

void MainWindow::refreshPauseFrame(uint32_t frame) {
    if (!movie_) return;
    if (frame >= movie_->frameCount()) {
        qDebug().noquote() << "Refresh pause frame : invalid frame request : " << frame;
        return;
    }
    if (rendererHasResources()) {
        frameQueue_->readPauseFrame(frame);
        frameQueue_->lockPauseFrame();
        if (VideoFrame* pause = frameQueue_->pauseFrame()) renderer()->copyVideoFrame(*pause);
        frameQueue_->unlockPauseFrame();
        videoWindow_->requestUpdate();
    }
    currentFrame_ = frame;
    progressBar_->setCurrentFrame(frame);
    repaint();
    bottomCtrl_->timeDisplay()->setCurrent(frame);
}

void MainWindow::showFrame(uint32_t frame) {
    stopPlayback();
    refreshPauseFrame(frame);
}

void MainWindow::viewControlsClicStart() {
    if (!movie_) return;
    showFrame(0);
}

void MainWindow::viewControlsClicEnd() {
    if (!movie_) return;
    const uint32_t count = movie_->frameCount();
    showFrame(count > 0 ? count - 1 : 0);
}

void MainWindow::viewControlsClicGoToIn() {
    if (!movie_) return;
    const int32_t in = frameQueue_->inPoint();
    showFrame(in >= 0 ? static_cast<uint32_t>(in) : 0);
}

void MainWindow::viewControlsClicGoToOut() {
    if (!movie_) return;
    const int32_t out = frameQueue_->outPoint();
    const uint32_t count = movie_->frameCount();
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
    if (movie_) seekByFrames(-static_cast<int64_t>(movie_->fpsRounded()));
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
    if (movie_) seekByFrames(static_cast<int64_t>(movie_->fpsRounded()));
}

void MainWindow::viewControlsSetNewTimeFrameOffset(int64_t nFrameOffset) {
    stopPlayback();
    seekByFrames(nFrameOffset);
}

void MainWindow::viewControlsSetNewTimeFrame(uint32_t nFrame) { showFrame(nFrame); }

void MainWindow::viewProgressClicProgress(uint32_t frameNum) { showFrame(frameNum); }

void MainWindow::viewControlsTimemodeChanged() {}

void MainWindow::viewControlsClicPlay() {
    if (!movie_) {
        bottomCtrl_->setPlayStepImages(0);
        return;
    }
    if (frameQueue_->playStep() > 0) setPlaySpeed(0);
    else if (movie_->frameCount() > 1) setPlaySpeed(1);
    else bottomCtrl_->setPlayStepImages(0);
}

void MainWindow::viewControlsClicPlayReverse() {
    if (!movie_) {
        bottomCtrl_->setPlayStepImages(0);
        return;
    }
    if (frameQueue_->playStep() < 0) setPlaySpeed(0);
    else if (movie_->frameCount() > 1) setPlaySpeed(-1);
    else bottomCtrl_->setPlayStepImages(0);
}

void MainWindow::viewControlsClicPlayMode(uint32_t nMode) {
    const int32_t speed = frameQueue_->playStep();
    if (speed != 0) {
        setPlaySpeed(0);
        frameQueue_->setLoopMode(nMode);
        setPlaySpeed(speed);
    } else {
        frameQueue_->setLoopMode(nMode);
    }
    if (sourceBuffer_) sourceBuffer_->setLoop(nMode == 1 ? 1 : 0);
}

void MainWindow::viewControlsClicSetIn() {
    const uint32_t frame = currentFrame_;
    stopPlayback();
    if (!movie_) return;
    frameQueue_->setInPoint(static_cast<int32_t>(frame));
    refreshInOutPoints(true);
}

void MainWindow::viewControlsClicSetOut() {
    const uint32_t frame = currentFrame_;
    stopPlayback();
    if (!movie_) return;
    frameQueue_->setOutPoint(static_cast<int32_t>(frame));
    refreshInOutPoints(true);
}

void MainWindow::ViewInOutPointDelegate_SetIn(int32_t nPoint) {
    stopPlayback();
    if (!movie_) return;
    frameQueue_->setInPoint(nPoint);
    refreshInOutPoints(true);
}

void MainWindow::ViewInOutPointDelegate_SetOut(int32_t nPoint) {
    stopPlayback();
    if (!movie_) return;
    frameQueue_->setOutPoint(nPoint);
    refreshInOutPoints(true);
}

void MainWindow::viewControlsClicResetIn() {
    stopPlayback();
    frameQueue_->resetInPoint();
    refreshInOutPoints(true);
}

void MainWindow::viewControlsClicResetOut() {
    stopPlayback();
    frameQueue_->resetOutPoint();
    refreshInOutPoints(true);
}

void MainWindow::refreshInOutPoints(bool relayout) {
    const int32_t in = frameQueue_->inPoint();
    const int32_t out = frameQueue_->outPoint();
    progressBar_->setInOutPoints(in, out);
    inOutPoint_->setInOutPoints(in, out);
    updateAudioPlayRange();
    markersVisible_ = !(in < 0 && out < 0);
    if (relayout) layoutViews();
}

void MainWindow::updateAudioPlayRange() {
    if (!movie_) return;
    const TransportAudioRange range = transport_audio_range(frameQueue_->inPoint(), frameQueue_->outPoint(),
                                                            movie_->fps(), movie_->durationSeconds());
    tracks_->setInOutSeconds(range.start, range.end);
}

void MainWindow::act_menu_fps_mode(uint32_t mode) {
    if (mode > 9) {
        std::printf("Unknown fps interpret mode\n");
        mode = 0;
    }
    if (!movie_) return;
    if (!movie_->setFpsMode(mode)) return;
    setPlaySpeed(0);
    uint32_t numerator = 0;
    uint32_t denominator = 1;
    movie_->fpsRational(&numerator, &denominator);
    ViewEditableTimeSpendTotal* time = bottomCtrl_->timeDisplay();
    time->setRate(numerator, denominator);
    time->refresh();
    updateAudioPlayRange();
}
