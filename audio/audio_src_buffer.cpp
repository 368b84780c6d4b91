#include "audio/audio_src_buffer.h"

#include <QDebug>
#include <QList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "audio/pcm/channel_layouts.h"

namespace {

constexpr uint32_t kBlockFrames = AudioSrcBuffer::kFrequency;  // one second per fill step
constexpr uint32_t kSeekBlocks = AudioSrcBuffer::kRingSeconds;

uint64_t layout_bits(uint32_t channels) {
    return channels >= 64 ? ~uint64_t(0) : (uint64_t(1) << channels) - 1;
}

// The source channels a converter may leave alone: those that feed no channel of
// the layout. The converter indexes its skip mask by source channel, so it is built
// from each channel's own routing, never from the set of unused outputs.
uint64_t unrouted_source_channels(const AudioSrcTrack* track, uint32_t outputChannels) {
    const uint64_t outputs = layout_bits(outputChannels);
    uint64_t skip = 0;
    const uint32_t channels = track->channels() < 64 ? track->channels() : 64;
    for (uint32_t c = 0; c < channels; ++c) {
        if ((track->channelMapping(int(c)) & outputs) == 0) skip |= uint64_t(1) << c;
    }
    return skip;
}

}  // namespace

AudioSrcBuffer::AudioSrcBuffer(SoundIo* context, QObject* parent) : QObject(parent), m_context(context) {
    audio_data_init(&m_scratch);
    audio_mixer_reset(&m_mixer);
    if (!context) {
        qDebug("ERREUR invalid soundio");
        return;
    }
    m_ring = new PlanarRingBuffer;
    planar_ring_buffer_init(m_ring);
}

AudioSrcBuffer::~AudioSrcBuffer() {
    stopFillTask();
    releaseTracks();
    if (m_ring) {
        planar_ring_buffer_destroy(m_ring);
        delete m_ring;
        m_ring = nullptr;
    }
}

void AudioSrcBuffer::setTracks(AllAudioSrcTracks* tracks) {
    stopFillTask();
    m_ready = 0;
    releaseTracks();
    if (!tracks || !m_ring) return;

    m_outputLayout = tracks->outputLayout();
    m_outputChannels = audio_layout_channel_count(m_outputLayout);
    for (AudioSrcTrack* track : tracks->tracks()) {
        if (!track->isRoutedTo(m_outputLayout)) continue;
        m_routed.push_back(track);
        m_routedChannels += track->channels();
    }
    if (m_routed.empty()) return;

    try {
        QList<uint64_t> masks;
        tracks->routedChannelMasks(masks);
        if (uint32_t(masks.size()) != m_routedChannels) throw std::runtime_error("Routed channel count mismatch");

        // Direct exactly when every source channel feeds at most one output and every
        // output is fed by at most one source channel.
        m_routing.assign(m_routedChannels, -1);
        std::vector<uint8_t> fed(m_outputChannels, 0);
        uint8_t direct = 1;
        for (uint32_t o = 0; o < m_outputChannels; ++o) {
            for (uint32_t k = 0; k < m_routedChannels; ++k) {
                if ((masks[k] >> o & 1u) == 0) continue;
                if (m_routing[k] == -1 && !fed[o]) {
                    m_routing[k] = int32_t(o);
                    fed[o] = 1;
                } else {
                    direct = 0;
                }
            }
        }
        if (!direct) {
            audio_mixer_init(&m_mixer, m_routedChannels, m_outputChannels, masks.constData());
        } else {
            // Outputs nothing feeds are written as silence by every step.
            for (uint32_t o = 0; o < m_outputChannels; ++o)
                if (!fed[o]) m_unfedOutputs.push_back(o);
        }
        m_direct = direct;

        const size_t trackCount = m_routed.size();
        m_sourceData.resize(trackCount);
        m_converters.resize(trackCount);
        for (size_t i = 0; i < trackCount; ++i) {
            audio_data_init(&m_sourceData[i]);
            audio_process_init(&m_converters[i]);
        }
        m_directPlanes.assign(m_routedChannels, nullptr);
        m_firstChannel.resize(trackCount);

        audio_descriptor_init(&m_scratch.descriptor, AudioPcmCodec_F32LE, m_routedChannels, kFrequency, true);
        audio_data_alloc(&m_scratch, kBlockFrames);
        // Channels that are never converted keep their plane as it is: make it silence.
        std::memset(m_scratch.data, 0, m_scratch.capacity);
        m_scratchPlanes.resize(m_routedChannels);
        for (uint32_t k = 0; k < m_routedChannels; ++k)
            m_scratchPlanes[k] = reinterpret_cast<float*>(m_scratch.planes[k]);

        planar_ring_buffer_create(m_context, m_ring, m_outputChannels, kFrequency, kRingFrames, sizeof(float));
        m_writePlanes.assign(m_outputChannels, nullptr);

        uint32_t first = 0;
        for (size_t i = 0; i < trackCount; ++i) {
            AudioSrcTrack* track = m_routed[i];
            m_firstChannel[i] = first;
            first += track->channels();
            AudioData& data = m_sourceData[i];
            track->pcmDescriptor(&data.descriptor);
            audio_data_alloc(&data, data.descriptor.frequency);
            audio_process_setup(&m_converters[i], &data.descriptor, unrouted_source_channels(track, m_outputChannels),
                                kFrequency, 1, 1);
        }
    } catch (...) {
        releaseTracks();
        throw;
    }
    m_ready = 1;
}

void AudioSrcBuffer::setLoop(uint8_t loop) { m_loop.store(loop); }

void AudioSrcBuffer::setPlaySpeed(int32_t speed) {
    if (m_routed.empty()) return;
    if (speed < -2 || speed > 2) return;
    stopFillTask();
    if (speed == 0) speed = 1;
    m_reverse = speed < 0 ? 1 : 0;
    const uint32_t step = uint32_t(std::abs(speed));
    if (m_sourceData.empty()) {
        qDebug("Error : source data arr not allocated");
        return;
    }
    for (size_t i = 0; i < m_sourceData.size(); ++i) {
        audio_data_realloc(&m_sourceData[i], m_sourceData[i].descriptor.frequency * step);
        audio_process_set_read_coeff(&m_converters[i], step);
    }
}

void AudioSrcBuffer::seek(double seconds, uint8_t preview) {
    // The ring is about to be cleared and refilled here: its producer must be stopped.
    stopFillTask();
    if (!m_ready || !m_ring) return;
    planar_ring_buffer_clear(m_ring);
    for (AudioSrcTrack* track : m_routed) track->seekSeconds(seconds);
    if (preview) {
        fillOneBlock();
        return;
    }
    for (uint32_t i = 0; i < kSeekBlocks; ++i) fillOneBlock();
    startFillTask();
}

void AudioSrcBuffer::stopFillTask() {
    {
        std::lock_guard<std::mutex> guard(m_wakeLock);
        m_stop.store(1);
    }
    m_wake.notify_all();
    m_running.store(0);
    if (m_fillThread.joinable()) m_fillThread.join();
}

void AudioSrcBuffer::startFillTask() {
    stopFillTask();
    m_running.store(1);
    m_stop.store(0);
    try {
        // A long-lived loop: a thread of its own, never a slot of a shared pool.
        m_fillThread = std::thread([this] { fillTask(); });
    } catch (const std::system_error& error) {
        m_running.store(0);
        std::printf("ERR : Can't start the audio fill job : %s\n", error.what());
    }
}

void AudioSrcBuffer::fillTask() {
    const auto pause = [this] {
        std::unique_lock<std::mutex> lock(m_wakeLock);
        m_wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_stop.load() != 0; });
    };
    try {
        pause();
        while (!m_stop.load()) {
            fillOneBlock();
            pause();
        }
    } catch (const std::exception& error) {
        // Nothing may leave the job: an exception out of a thread ends the process.
        std::printf("ERR : Audio fill job stopped : %s\n", error.what());
    }
}

void AudioSrcBuffer::fillOneBlock() {
    if (!m_ready || !m_ring) return;
    uint32_t writable = 0;
    planar_ring_buffer_get_write(m_ring, &writable, m_writePlanes.data());
    if (writable < kBlockFrames) return;
    try {
        fillStep();
    } catch (const std::exception& error) {
        std::printf("ERR : Audio fill failed, one second of silence instead : %s\n", error.what());
        for (uint8_t* plane : m_writePlanes) std::memset(plane, 0, size_t(kBlockFrames) * sizeof(float));
        m_failedSteps.fetch_add(1);
    } catch (...) {
        std::printf("ERR : Audio fill failed, one second of silence instead : unknown error\n");
        for (uint8_t* plane : m_writePlanes) std::memset(plane, 0, size_t(kBlockFrames) * sizeof(float));
        m_failedSteps.fetch_add(1);
    }
    planar_ring_buffer_advance_write(m_ring, kBlockFrames);
}

void AudioSrcBuffer::fillStep() {
    auto* const* outputs = reinterpret_cast<float* const*>(m_writePlanes.data());
    const bool loop = m_loop.load() != 0;
    for (size_t i = 0; i < m_routed.size(); ++i) {
        AudioSrcTrack* track = m_routed[i];
        AudioData& data = m_sourceData[i];
        if (m_reverse) {
            track->readReverse(data.data, track->position(), data.frames, loop);
        } else {
            track->readForward(data.data, track->position(), data.frames, loop);
        }
        const uint32_t first = m_firstChannel[i];
        float* const* targets = nullptr;
        if (m_direct) {
            for (uint32_t c = 0; c < track->channels(); ++c) {
                const uint32_t k = first + c;
                m_directPlanes[k] = m_routing[k] >= 0 ? outputs[m_routing[k]] : m_scratchPlanes[k];
            }
            targets = m_directPlanes.data() + first;
        } else {
            targets = m_scratchPlanes.data() + first;
        }
        audio_process_run_checked(&m_converters[i], targets, &data, 1);
    }
    if (!m_direct) {
        audio_mixer_process(&m_mixer, outputs, m_scratchPlanes.data(), kBlockFrames);
    } else {
        for (uint32_t o : m_unfedOutputs) std::memset(outputs[o], 0, size_t(kBlockFrames) * sizeof(float));
    }
}

void AudioSrcBuffer::releaseTracks() {
    stopFillTask();
    m_ready = 0;
    for (AudioData& data : m_sourceData) audio_data_free(&data);
    for (AudioFormatProcess& converter : m_converters) audio_process_free(&converter);
    m_sourceData.clear();
    m_converters.clear();
    audio_data_free(&m_scratch);
    audio_data_init(&m_scratch);
    audio_mixer_free(&m_mixer);
    m_routing.clear();
    m_unfedOutputs.clear();
    m_directPlanes.clear();
    m_scratchPlanes.clear();
    m_writePlanes.clear();
    m_firstChannel.clear();
    if (m_ring) planar_ring_buffer_destroy(m_ring);
    m_routed.clear();
    m_routedChannels = 0;
    m_direct = 1;
}
