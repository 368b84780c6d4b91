#include "tools/player_audio_analyse_task.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "movie/file_to_play.h"

namespace {

int32_t point_to_frame(uint32_t point) { return point == kAudioAnalysePointUnset ? -1 : int32_t(point); }

}  // namespace

PlayerAudioAnalyseTask::PlayerAudioAnalyseTask(QObject* parent, FileToPlay* movie, AllAudioSrcTracks* tracks,
                                               uint32_t inPoint, uint32_t outPoint, uint8_t truePeakMode,
                                               uint8_t peaks, uint8_t loudness)
    : BaseProcessTask(parent), m_truePeakMode(truePeakMode), m_peaks(peaks), m_loudness(loudness) {
    audio_frame_init(&m_frame);
    audio_reader_sources_init(&m_sources, NAudioChannelLayout_Stereo, 0, 0);
    m_hasInput = movie && tracks;
    if (m_hasInput) setupSources(&m_sources, movie, tracks, inPoint, outPoint);
}

PlayerAudioAnalyseTask::~PlayerAudioAnalyseTask() {
    // The body uses the members below: it must be over before they go.
    stop();
    freeAnalysis();
}

bool PlayerAudioAnalyseTask::setupSources(AudioReaderSources* sources, FileToPlay* movie, AllAudioSrcTracks* tracks,
                                          uint32_t inPoint, uint32_t outPoint) {
    uint32_t wavCount = 0;
    for (const AudioSrcTrack* track : tracks->tracks())
        if (track->isWavFile()) ++wavCount;
    const uint32_t channels = tracks->totalChannels();
    audio_reader_sources_init(sources, tracks->outputLayout(), wavCount, std::max<uint32_t>(channels, 1));

    uint32_t rateNum = 0, rateDen = 0;
    movie->fpsRational(&rateNum, &rateDen);
    sources->frameCount = movie->frameCount();
    sources->rateNum = rateNum;
    sources->rateDen = rateDen;
    sources->inFrame = point_to_frame(inPoint);
    sources->outFrame = point_to_frame(outPoint);
    if (channels == 0) {
        qDebug("INFO : No audio in");
        return false;
    }

    const QString path = movie->filePath();
    audio_source_setMovFile(sources, reinterpret_cast<const char16_t*>(path.utf16()));
    for (const AudioSrcTrack* track : tracks->tracks()) {
        if (!track->isMovieTrack() || track->isRemoved() || !track->isPlayable()) continue;
        for (uint32_t c = 0; c < track->channels(); ++c)
            audio_source_addMovTrack(sources, track->descriptor()->trackIndex, c, track->channelMapping(int(c)));
    }
    for (const AudioSrcTrack* track : tracks->tracks()) {
        if (!track->isWavFile() || !track->isPlayable()) continue;
        audio_source_addWavFile(sources, reinterpret_cast<const char16_t*>(track->name().utf16()));
        for (uint32_t c = 0; c < track->channels(); ++c)
            audio_source_mapWavTrack(sources, c, track->channelMapping(int(c)));
    }
    return true;
}

void PlayerAudioAnalyseTask::integratedLoudness(double out[2]) const {
    out[0] = m_results.integrated[0];
    out[1] = m_results.integrated[1];
}

void PlayerAudioAnalyseTask::truePeaks(double out[8]) const {
    for (uint32_t c = 0; c < 8; ++c) out[c] = m_results.truePeak[c];
}

uint64_t PlayerAudioAnalyseTask::videoFramesOf(uint64_t samples) const {
    if (m_sources.rateDen == 0 || m_sources.frequency == 0) return 0;
    return uint64_t(std::llround(double(samples) * double(m_sources.rateNum) /
                                 (double(m_sources.rateDen) * double(m_sources.frequency))));
}

bool PlayerAudioAnalyseTask::initAnalysis() {
    if (!m_hasInput) {
        std::printf("No input file or no audio tracks\n");
        appendLog(QStringLiteral("ERROR : No input file, or no audio tracks"));
        return false;
    }
    // A second run starts from nothing.
    audio_analyser_close(m_analyser);
    m_analyser = nullptr;
    m_results = LoudnessResults{};
    try {
        // Without a routed channel the description has no entry: the build says so.
        audio_reader_build(&m_reader, &m_sources, kAudioAnalyseSecondsPerStep);
        audio_reader_alloc_out_frame(&m_frame, &m_reader);
        m_totalSamples = m_reader.totalSamples;

        AudioAnalyserParams params{};
        // The conversion inside the analyser must hold one whole reading step.
        params.secondsPerProcess = kAudioAnalyseSecondsPerStep;
        params.channels = m_frame.channels;
        params.codec = AudioPcmCodec_F32LE;
        params.planar = 1;
        params.frequency = m_frame.frequency;
        const uint8_t options[R128Option_Count] = {m_loudness, m_loudness, m_loudness, m_peaks, m_truePeakMode};
        m_analyser = r128_analyser_create(&params, options);
    } catch (const std::bad_alloc&) {
        std::printf("Memory error audio analyse\n");
        appendLog(QStringLiteral("ERREUR : Fail to initialize (OOM)"));
        return false;
    } catch (const std::exception& error) {
        std::printf("ERREUR : Init Audio analyser failed : %s\n", error.what());
        appendLog(QStringLiteral("ERREUR : Fail to initialize"));
        return false;
    }
    return true;
}

void PlayerAudioAnalyseTask::finishAnalyser() {
    if (!m_analyser) return;
    audio_analyser_finish(m_analyser);
    m_results = *m_analyser->results;
}

void PlayerAudioAnalyseTask::freeAnalysis() noexcept {
    audio_analyser_close(m_analyser);
    m_analyser = nullptr;
    audio_reader_free(&m_reader);
    audio_frame_free_data(&m_frame);
}

void PlayerAudioAnalyseTask::coreProcessFunc() {
    if (!initAnalysis()) {
        qDebug("Create audio analyse failed");
        // finish turns the running state into the failed one.
        finish(true, false);
        return;
    }
    startStep(m_step);
    // The frame counts give the row's "Process fps", which speaks of video frames: the
    // movie's frames the audio covers, not the 48 kHz sample frames read.
    const uint64_t videoFrames = videoFramesOf(m_totalSamples);
    setStepFrameCount(uint32_t(std::min<uint64_t>(videoFrames, UINT32_MAX)));
    setTotalFrames(int64_t(videoFrames));
    m_samplesRead = 0;

    bool failed = false;
    try {
        for (;;) {
            const uint64_t n = audio_reader_readNext(&m_reader, &m_frame);
            if (n > 0) {
                audio_analyser_process(m_analyser, &m_frame);
                m_samplesRead += n;
            }
            setFramesDone(videoFramesOf(m_samplesRead));
            // The fraction itself stays exact to the sample.
            updateProgress(m_totalSamples ? float(double(m_samplesRead) / double(m_totalSamples)) : 0.0f);
            if (n == 0) break;
            if (!continueAfterPause()) break;
        }
    } catch (...) {
        logProcessError();
        failed = true;
    }
    // What was measured so far is kept, whatever ended the loop.
    finishAnalyser();
    finish(failed, false);
}
