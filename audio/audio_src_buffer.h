#pragma once
// The routed audio sources as one planar float32 48000 Hz stream, one plane per
// channel of the output layout, kept five seconds ahead in the source ring. A fill
// job on a thread of its own reads |speed| seconds of every routed source per round
// (forwards or backwards, with loop), converts them to one second at 48000 Hz and
// routes them one to one, or mixes them, into the ring. The output monitor is the
// ring's only reader. The sources are read in order; the channel-seconds of a step
// are then converted at once on the platform's parallel loop, which gives the same
// bits as converting them one by one (no converter state passes between seconds).
//
// A seek fills only the first second on the caller's thread, all it can play at
// once, and leaves the other four to the fill job, which starts on them at once:
// the next second alone (the device may be holding only the first), then the rest
// together, and only then settles into one second per 10 ms round. The ring holds
// the same samples as a seek that filled all five seconds itself. A stop, or the
// next seek, cancels the job between channel-seconds: it waits only for the
// conversions already running (one channel-second each), and a cancelled step
// advances nothing, so no second read before a seek ever reaches the ring after it.
//
// Threads: every operation belongs to the GUI thread. seek, setPlaySpeed, setTracks
// and releaseTracks stop the fill job before they touch buffers or the ring; the
// caller stops the ring's reader (the monitor's mixing job) before seek and setTracks.
// Only the loop flag changes while the job runs.
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/pcm/audio_data.h"
#include "base/pcm/channel_mixer.h"
#include "audio/frequency_conversion.h"
#include "audio/planar_ring_buffer.h"

struct SoundIo;
class AllAudioSrcTracks;
class AudioSrcTrack;

class AudioSrcBuffer : public QObject {
    Q_OBJECT
public:
    static constexpr uint32_t kFrequency = 48000;
    static constexpr uint32_t kRingSeconds = 5;
    static constexpr uint32_t kRingFrames = kFrequency * kRingSeconds;

    explicit AudioSrcBuffer(SoundIo* context, QObject* parent = nullptr);
    ~AudioSrcBuffer() override;

    AudioSrcBuffer(const AudioSrcBuffer&) = delete;
    AudioSrcBuffer& operator=(const AudioSrcBuffer&) = delete;

    // Rebinds everything to the tracks of `tracks` routed to its output layout, at 1x
    // forward (the speed is set again by the next setPlaySpeed). Set-up failures
    // propagate (the buffer is then left empty and not ready).
    void setTracks(AllAudioSrcTracks* tracks);
    void setLoop(uint8_t loop);
    // Speeds -2..2 (0 counts as 1); others change nothing. Stops the fill job.
    void setPlaySpeed(int32_t speed);
    // Empties the ring, moves every routed track to `seconds` and fills one second.
    // Unless it is a preview, the fill job then starts and fills the rest of the ring.
    void seek(double seconds, uint8_t preview);
    // Cancels the fill job's step in progress (a cancelled step writes nothing the
    // reader can see) and joins the job.
    void stopFillTask();
    // Starts the fill job, which first fills all the free room of the ring. seek calls
    // it: a cancelled step leaves the tracks past the ring's end, so after a stop the
    // job starts again only through a seek.
    void startFillTask();
    // One fill step on the caller's thread: nothing unless a whole second is free.
    // A failing read or conversion writes silence for the second and is reported.
    void fillOneBlock();
    void releaseTracks();

    PlanarRingBuffer* sourceRing() const { return m_ring; }
    uint8_t directFlag() const { return m_direct; }
    uint8_t readyFlag() const { return m_ready; }
    uint32_t outputLayout() const { return m_outputLayout; }
    uint32_t outputChannels() const { return m_outputChannels; }
    bool isFillTaskRunning() const { return m_running.load() != 0; }
    uint32_t routedTrackCount() const { return uint32_t(m_routed.size()); }
    // Fill steps that failed and delivered silence instead.
    uint64_t failedSteps() const { return m_failedSteps.load(); }

private:
    // One second being filled: the sources read for it, their decoded samples awaiting
    // conversion, and (mixing mode) the converted routed channels.
    struct FillBlock {
        std::vector<AudioData> sourceData;     // one per routed track
        std::vector<std::vector<float>> work;  // one per routed channel (converting tracks only)
        std::vector<float*> workPlanes;        // one per routed channel, into work
        AudioData scratch;                     // routedChannels planes of one second
        std::vector<float*> scratchPlanes;
        std::vector<float*> targets;  // one per routed channel: where its converted second goes
        std::string error;            // why this second plays silence; empty when it plays
    };
    // One channel-second that still needs the rate converter.
    struct Conversion {
        uint32_t block;
        uint32_t track;
        uint32_t channel;  // routed-channel number
        std::string error;
    };

    void fillTask();
    // Fills up to `blocks` seconds (as many as are free): reads and decodes them in order,
    // converts their channel-seconds in parallel, then routes or mixes each second.
    // When `cancel` is given and set meanwhile, the step ends without advancing the
    // ring (the tracks have still moved on: only a seek follows a cancelled step).
    void fillBlocks(uint32_t blocks, const std::atomic<uint8_t>* cancel = nullptr);
    void readBlock(uint32_t block, float* const* outputs, bool loop);
    void allocBlock(FillBlock& block);

    PlanarRingBuffer* m_ring = nullptr;
    uint8_t m_direct = 1;
    uint8_t m_ready = 0;
    SoundIo* m_context = nullptr;
    std::vector<uint8_t*> m_writePlanes;
    uint32_t m_outputLayout = 1;
    uint32_t m_outputChannels = 2;
    std::vector<AudioSrcTrack*> m_routed;  // not owned
    uint32_t m_routedChannels = 0;
    std::vector<FillBlock> m_blocks;  // as many as the ring holds
    std::vector<Conversion> m_conversions;  // sized once: a fill step allocates nothing
    std::vector<float*> m_blockOutputs;     // the write planes of the second being routed
    std::vector<AudioFormatProcess> m_converters;
    std::vector<uint32_t> m_firstChannel;  // first routed-channel number of each track
    std::vector<int32_t> m_routing;
    std::vector<uint32_t> m_unfedOutputs;  // direct mode: output planes no source feeds
    AudioChannelMixer m_mixer;
    uint8_t m_reverse = 0;
    std::atomic<uint8_t> m_loop{0};
    std::thread m_fillThread;
    std::atomic<uint8_t> m_running{0};
    std::atomic<uint8_t> m_stop{0};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::atomic<uint64_t> m_failedSteps{0};
};
