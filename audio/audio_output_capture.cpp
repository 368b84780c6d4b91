#include "audio/audio_output_capture.h"

#include <algorithm>
#include <cstring>

AudioOutputCapture::AudioOutputCapture(uint32_t capacityFrames) : m_capacity(capacityFrames) {
    for (auto& plane : m_planes) plane.assign(capacityFrames, 0.0f);
}

void AudioOutputCapture::onBlock(const float* const* planes, uint32_t channels, uint32_t frames) noexcept {
    std::lock_guard<std::mutex> guard(m_lock);
    if (channels != m_channels) {
        if (m_channels != 0) ++m_channelChanges;
        m_channels = channels;
        m_frames = 0;
    }
    ++m_blocks;
    m_framesSeen += frames;
    const uint64_t room = m_capacity > m_frames ? m_capacity - m_frames : 0;
    const uint32_t kept = static_cast<uint32_t>(std::min<uint64_t>(room, frames));
    const uint32_t recorded = std::min(channels, kMaxChannels);
    for (uint32_t c = 0; c < recorded; ++c) {
        float* target = m_planes[c].data() + m_frames;
        if (planes && planes[c]) {
            std::memcpy(target, planes[c], size_t(kept) * sizeof(float));
        } else {
            std::fill(target, target + kept, 0.0f);
        }
    }
    m_frames += kept;
}

void AudioOutputCapture::reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_channels = 0;
    m_frames = 0;
    m_framesSeen = 0;
    m_channelChanges = 0;
    m_blocks = 0;
}

uint32_t AudioOutputCapture::channels() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_channels;
}

uint64_t AudioOutputCapture::frames() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_frames;
}

uint64_t AudioOutputCapture::framesSeen() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_framesSeen;
}

uint32_t AudioOutputCapture::channelChanges() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_channelChanges;
}

uint32_t AudioOutputCapture::blocks() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_blocks;
}

std::vector<float> AudioOutputCapture::channel(uint32_t index) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (index >= m_channels || index >= kMaxChannels) return {};
    return std::vector<float>(m_planes[index].begin(), m_planes[index].begin() + static_cast<long>(m_frames));
}
