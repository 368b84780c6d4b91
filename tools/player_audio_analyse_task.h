#pragma once
// PlayerAudioAnalyseTask: the EBU R128 measurement of the movie's audio as the player
// routes it (movie PCM tracks and companion WAV files, each channel by its output
// mask, in the current output layout), over the whole movie or between the in and out
// points. It keeps the integrated loudness (one value, two for Dual Stereo), the true
// peak of every output channel and whether the audio is silent.
//
// Threads: constructed on the GUI thread, which is where the routing is read: the
// constructor copies the movie's path, frame count and rate and every track's masks
// into a reader description, so the body never touches the FileToPlay or the
// AllAudioSrcTracks that the mapping panel may change or delete under it. The body
// (on the task's thread) opens its own readers. The result operations are for the
// GUI thread after the end state has been signalled.
//
// Progress: the fraction counts the output's sample frames; the frame counts behind the
// progress row's "Process fps" are the movie's video frames those samples cover, at
// the movie's rate for the interpret mode it had when the task was made.
//
// Errors end the task in state 8 with "ERREUR : Fail to initialize" or "ERREUR : Fail
// to process : ..." in the log; a stop ends in state 4 with the results of what was
// measured so far.
#include <cstdint>

#include "audio/audio_reader.h"
#include "audio/loudness_analyser.h"
#include "base/pcm/audio_frame.h"
#include "ui/base_process_task.h"

class AllAudioSrcTracks;
class FileToPlay;

constexpr uint32_t kAudioAnalysePointUnset = 0xFFFFFFFF;
constexpr uint32_t kAudioAnalyseSecondsPerStep = 10;

class PlayerAudioAnalyseTask : public BaseProcessTask {
    Q_OBJECT
public:
    // in and out: frame indexes, kAudioAnalysePointUnset for none. The three flags:
    // true-peak mode (silence check), per-channel peaks, loudness values.
    PlayerAudioAnalyseTask(QObject* parent, FileToPlay* movie, AllAudioSrcTracks* tracks, uint32_t inPoint,
                           uint32_t outPoint, uint8_t truePeakMode, uint8_t peaks, uint8_t loudness);
    ~PlayerAudioAnalyseTask() override;

    // The reader description of `tracks` for `movie`. GUI thread. Returns false (with
    // "INFO : No audio in" in the debug log) when the tracks carry no channel: the
    // description then has no entry, which the reader refuses.
    static bool setupSources(AudioReaderSources* sources, FileToPlay* movie, AllAudioSrcTracks* tracks,
                             uint32_t inPoint, uint32_t outPoint);

    // Integrated loudness of state 0 and 1 (LUFS; the second is 0 with one state).
    void integratedLoudness(double out[2]) const;
    // True peaks of output channels 0 to 7 (dBTP; -inf for a silent channel).
    void truePeaks(double out[8]) const;
    bool isSilent() const { return m_results.silent != 0; }
    const LoudnessResults& results() const { return m_results; }
    const AudioReaderSources& sources() const { return m_sources; }
    // Sample frames the reading step covers (the reader's total), once the body has built it.
    uint64_t totalSamples() const { return m_totalSamples; }
    uint64_t samplesRead() const { return m_samplesRead; }
    // The movie's video frames that `samples` output sample frames cover (rounded).
    uint64_t videoFramesOf(uint64_t samples) const;

protected:
    void coreProcessFunc() override;

private:
    bool initAnalysis();
    void finishAnalyser();
    void freeAnalysis() noexcept;

    bool m_hasInput = false;  // a movie and a track list were given
    uint32_t m_step = 0;
    uint8_t m_truePeakMode;
    uint8_t m_peaks;
    uint8_t m_loudness;
    AudioReaderSources m_sources;

    AudioReader m_reader;
    AudioFrame m_frame;
    AudioAnalyser* m_analyser = nullptr;
    uint64_t m_totalSamples = 0;
    uint64_t m_samplesRead = 0;
    LoudnessResults m_results{};
};
