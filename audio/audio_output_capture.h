#pragma once
// An optional observer of what the output stream hands to the device. The write
// callback gives every block it writes to the tap installed on the monitor (none in
// the player), so tests can check the played signal where the device itself keeps
// nothing (the dummy backend of a machine without a sound card).
//
// AudioOutputCapture is the tap the tests install: it records the blocks into
// storage sized up front. It takes a lock on the device thread, which the player's
// write path never does; it is a test instrument, not for the player.
#include <cstdint>
#include <mutex>
#include <vector>

class AudioOutputTap {
public:
    virtual ~AudioOutputTap() = default;
    // Called on the device thread after each block of `frames` frames was written to
    // the device. `planes` holds `channels` planes of the samples written, or is null
    // when the block was silence.
    virtual void onBlock(const float* const* planes, uint32_t channels, uint32_t frames) noexcept = 0;
};

class AudioOutputCapture final : public AudioOutputTap {
public:
    static constexpr uint32_t kMaxChannels = 8;

    // Room for `capacityFrames` frames of up to eight channels; frames beyond it are
    // counted but not kept.
    explicit AudioOutputCapture(uint32_t capacityFrames);

    void onBlock(const float* const* planes, uint32_t channels, uint32_t frames) noexcept override;

    // Forgets everything recorded.
    void reset();

    // Channel count of the blocks recorded; a block with another count than the ones
    // before it starts the record again (a reopened device) and counts a change.
    uint32_t channels() const;
    // Frames recorded (at most the capacity) and frames seen in all.
    uint64_t frames() const;
    uint64_t framesSeen() const;
    uint32_t channelChanges() const;
    uint32_t blocks() const;
    // A copy of the recorded samples of one channel (empty for a channel not recorded).
    std::vector<float> channel(uint32_t index) const;

private:
    mutable std::mutex m_lock;
    uint32_t m_capacity = 0;
    uint32_t m_channels = 0;
    uint64_t m_frames = 0;
    uint64_t m_framesSeen = 0;
    uint32_t m_channelChanges = 0;
    uint32_t m_blocks = 0;
    std::vector<float> m_planes[kMaxChannels];
};
