#pragma once
// One audio source the player can route to the output: a companion WAV/RF64 file or
// one audio track of the opened movie. Creation never throws: a source that cannot
// be opened keeps an error text and is neither playable nor routed. The reads run on
// the fill job's thread under the reader's own lock; everything else belongs to the
// GUI thread, and masks, flags and the loop range must not change while a fill job runs.
#include <QObject>
#include <QString>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "base/pcm/audio_data.h"
#include "audio/audio_src_track_descriptor.h"

struct MovFile;

class AudioSrcTrack : public QObject {
    Q_OBJECT
public:
    // A companion WAV or RF64 file.
    explicit AudioSrcTrack(const QString& path);
    // A movie audio track that cannot be decoded, listed for display only.
    AudioSrcTrack(const QString& name, uint32_t trackIndex, uint32_t channels, uint32_t frequency,
                  uint32_t formatCode, const uint64_t* masks);
    // A movie PCM track; the movie attaches itself as reader with setMovieReader.
    AudioSrcTrack(const QString& name, uint32_t trackIndex, uint32_t channels, uint32_t frequency, uint32_t codec,
                  const uint64_t* masks, uint64_t totalSamples);
    ~AudioSrcTrack() override;

    AudioSrcTrack(const AudioSrcTrack&) = delete;
    AudioSrcTrack& operator=(const AudioSrcTrack&) = delete;

    // Gives a movie PCM track the movie it reads from (not owned). Ignored for any
    // other kind of track.
    void setMovieReader(MovFile* movie);

    const QString& name() const { return m_name; }
    const QString& errorText() const { return m_errorText; }
    const AudioSrcTrackDescriptor* descriptor() const { return m_descriptor; }
    uint32_t channels() const { return m_descriptor ? m_descriptor->channels : 0; }
    uint32_t frequency() const { return m_descriptor ? m_descriptor->frequency : 0; }
    uint32_t codec() const { return m_descriptor ? m_descriptor->codec : uint32_t(AudioPcmCodec_None); }
    uint64_t totalSamples() const { return m_descriptor ? m_descriptor->totalSamples : 0; }
    uint64_t position() const { return m_descriptor ? m_descriptor->position : 0; }

    bool isMovieTrack() const;
    bool isWavFile() const;
    bool isRemoved() const;
    bool isPlayable() const;
    bool isActiveWithDemuxer() const;
    void deactivate();
    void activate();

    uint64_t channelMapping(int channel) const;
    void setChannelMapping(uint64_t mask, int channel);
    void clearChannelMapping();
    uint64_t defaultChannelMapping(int channel) const;
    uint64_t channelMaskUnion() const;
    bool defaultsToBothSides() const;
    bool isRoutedTo(uint32_t layout) const;
    uint64_t unusedOutputMask(uint32_t layout) const;
    void moveToSecondPair();

    void pcmDescriptor(AudioDescriptor* out) const;
    QString descriptorText() const;

    void seekSeconds(double seconds);
    void setInOutSeconds(double inSeconds, double outSeconds);

    // Delivers `count` interleaved frames in the track's own codec into `destination`
    // starting at sample `position`, and returns (and stores) the next sample to read.
    // Samples the reader cannot give are silence.
    uint64_t readForward(void* destination, uint64_t position, uint32_t count, bool loop);
    // Delivers `count` frames newest first: the frames that end at sample `position`,
    // and returns (and stores) the sample before them. Without a loop, past sample 0
    // that is kBeforeStart, from which every read is silence (a loop read from there
    // starts again at the out point).
    static constexpr uint64_t kBeforeStart = UINT64_MAX;
    uint64_t readReverse(void* destination, uint64_t position, uint32_t count, bool loop);

private:
    void failed(const char* what, bool outOfMemory, bool unknown);
    // Runs a construction step; whatever it throws makes the track unplayable with its text.
    template <typename Step>
    void creating(Step step) {
        try {
            step();
        } catch (const std::runtime_error& error) {
            failed(error.what(), false, false);
        } catch (const std::bad_alloc&) {
            failed(nullptr, true, false);
        } catch (...) {
            failed(nullptr, false, true);
        }
    }
    // Reads [position, position + count) with silence beyond the data end; no loop.
    void readPlain(uint8_t* destination, uint64_t position, uint64_t count);
    // False (after logging, and silencing the destination where the reader is unusable)
    // when there is nothing to read from.
    bool readerReady(void* destination, uint32_t count);
    // One call to the reader; returns how many frames it gave (0 on any failure).
    uint64_t readFromDemuxer(uint8_t* destination, uint64_t position, uint64_t count);
    void fillSilence(uint8_t* destination, uint64_t frames);

    QString m_errorText;
    AudioSrcTrackDescriptor* m_descriptor = nullptr;
    QString m_name;
};
