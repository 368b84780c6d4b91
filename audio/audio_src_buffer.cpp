#include "audio/audio_src_buffer.h"

#include <QDebug>
#include <QList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "base/pcm/channel_layouts.h"
#include "platform/parallel_for.h"

namespace {

constexpr uint32_t kBlockFrames = AudioSrcBuffer::kFrequency;  // one second per fill step
constexpr uint32_t kRingBlocks = AudioSrcBuffer::kRingSeconds;

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
    // The new blocks read one second per step: forward 1x, direction and rate together.
    m_reverse = 0;
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
        m_converters.resize(trackCount);
        for (size_t i = 0; i < trackCount; ++i) audio_process_init(&m_converters[i]);
        m_firstChannel.resize(trackCount);

        planar_ring_buffer_create(m_context, m_ring, m_outputChannels, kFrequency, kRingFrames, sizeof(float));
        m_writePlanes.assign(m_outputChannels, nullptr);

        uint32_t first = 0;
        for (size_t i = 0; i < trackCount; ++i) {
            AudioSrcTrack* track = m_routed[i];
            m_firstChannel[i] = first;
            first += track->channels();
            AudioDescriptor descriptor;
            track->pcmDescriptor(&descriptor);
            audio_process_setup(&m_converters[i], &descriptor, unrouted_source_channels(track, m_outputChannels),
                                kFrequency, 1, 1);
        }
        m_blocks.resize(kRingBlocks);
        for (FillBlock& block : m_blocks) allocBlock(block);
        m_conversions.reserve(size_t(kRingBlocks) * m_routedChannels);
        m_blockOutputs.assign(m_outputChannels, nullptr);
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
    if (m_blocks.empty()) {
        qDebug("Error : source data arr not allocated");
        return;
    }
    for (size_t i = 0; i < m_converters.size(); ++i) {
        for (FillBlock& block : m_blocks)
            audio_data_realloc(&block.sourceData[i], block.sourceData[i].descriptor.frequency * step);
        audio_process_set_read_coeff(&m_converters[i], step);
    }
}

void AudioSrcBuffer::seek(double seconds, uint8_t preview) {
    // The ring is about to be cleared and refilled here: its producer must be stopped.
    stopFillTask();
    if (!m_ready || !m_ring) return;
    planar_ring_buffer_clear(m_ring);
    for (AudioSrcTrack* track : m_routed) track->seekSeconds(seconds);
    // One second is all the device needs to start; the job fills the rest at once.
    fillBlocks(1);
    if (!preview) startFillTask();
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
        // First whatever the ring has free, without waiting for the round's cadence:
        // after a seek the device holds a single second. The next second goes alone,
        // so it is ready as soon as can be, then the rest of the room in one step,
        // which spreads its channel-seconds over the cores.
        fillBlocks(1, &m_stop);
        if (!m_stop.load()) fillBlocks(kRingBlocks, &m_stop);
        pause();
        while (!m_stop.load()) {
            fillBlocks(1, &m_stop);
            pause();
        }
    } catch (const std::exception& error) {
        // Nothing may leave the job: an exception out of a thread ends the process.
        std::printf("ERR : Audio fill job stopped : %s\n", error.what());
    }
}

void AudioSrcBuffer::fillOneBlock() { fillBlocks(1); }

void AudioSrcBuffer::allocBlock(FillBlock& block) {
    const size_t trackCount = m_routed.size();
    block.sourceData.resize(trackCount);
    for (AudioData& data : block.sourceData) audio_data_init(&data);
    audio_data_init(&block.scratch);
    block.work.assign(m_routedChannels, {});
    block.workPlanes.assign(m_routedChannels, nullptr);
    block.targets.assign(m_routedChannels, nullptr);
    for (size_t i = 0; i < trackCount; ++i) {
        AudioData& data = block.sourceData[i];
        m_routed[i]->pcmDescriptor(&data.descriptor);
        audio_data_alloc(&data, data.descriptor.frequency);
        const AudioFormatProcess& converter = m_converters[i];
        if (!converter.needsConversion) continue;
        for (uint32_t c = 0; c < converter.channels; ++c) {
            const uint32_t k = m_firstChannel[i] + c;
            block.work[k].resize(converter.inFrequency);
            block.workPlanes[k] = block.work[k].data();
        }
    }
    audio_descriptor_init(&block.scratch.descriptor, AudioPcmCodec_F32LE, m_routedChannels, kFrequency, true);
    audio_data_alloc(&block.scratch, kBlockFrames);
    // Channels that are never converted keep their plane as it is: make it silence.
    std::memset(block.scratch.data, 0, block.scratch.capacity);
    block.scratchPlanes.resize(m_routedChannels);
    for (uint32_t k = 0; k < m_routedChannels; ++k)
        block.scratchPlanes[k] = reinterpret_cast<float*>(block.scratch.planes[k]);
}

void AudioSrcBuffer::readBlock(uint32_t index, float* const* outputs, bool loop) {
    FillBlock& block = m_blocks[index];
    for (size_t i = 0; i < m_routed.size(); ++i) {
        AudioSrcTrack* track = m_routed[i];
        AudioData& data = block.sourceData[i];
        if (m_reverse) {
            track->readReverse(data.data, track->position(), data.frames, loop);
        } else {
            track->readForward(data.data, track->position(), data.frames, loop);
        }
        const uint32_t first = m_firstChannel[i];
        for (uint32_t c = 0; c < track->channels(); ++c) {
            const uint32_t k = first + c;
            block.targets[k] = m_direct && m_routing[k] >= 0 ? outputs[m_routing[k]] : block.scratchPlanes[k];
        }
        const AudioFormatProcess& converter = m_converters[i];
        if (!audio_process_decode_checked(&converter, block.targets.data() + first, block.workPlanes.data() + first,
                                          &data, 1))
            continue;
        for (uint32_t c = 0; c < converter.channels; ++c) {
            if (!audio_process_channel_skipped(&converter, c)) m_conversions.push_back({index, uint32_t(i), first + c, {}});
        }
    }
}

void AudioSrcBuffer::fillBlocks(uint32_t blocks, const std::atomic<uint8_t>* cancel) {
    if (!m_ready || !m_ring) return;
    const auto cancelled = [cancel] { return cancel && cancel->load() != 0; };
    uint32_t writable = 0;
    planar_ring_buffer_get_write(m_ring, &writable, m_writePlanes.data());
    const uint32_t count = std::min({blocks, uint32_t(m_blocks.size()), writable / kBlockFrames});
    if (count == 0) return;
    const bool loop = m_loop.load() != 0;
    const auto block_outputs = [this](uint32_t b, uint32_t o) {
        return reinterpret_cast<float*>(m_writePlanes[o]) + size_t(b) * kBlockFrames;
    };
    const auto describe = [](std::string& error) {
        try {
            throw;
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "unknown error";
        }
        if (error.empty()) error = "unknown error";
    };

    // The sources are read in order, second by second: a track's reader moves on with
    // every read. A second whose read fails leaves the rest of its tracks unread.
    m_conversions.clear();
    std::vector<float*>& outputs = m_blockOutputs;
    for (uint32_t b = 0; b < count; ++b) {
        if (cancelled()) return;
        m_blocks[b].error.clear();
        for (uint32_t o = 0; o < m_outputChannels; ++o) outputs[o] = block_outputs(b, o);
        try {
            readBlock(b, outputs.data(), loop);
        } catch (...) {
            describe(m_blocks[b].error);
        }
    }

    // No state passes from one channel-second to the next: convert them all at once.
    // A cancel lets the conversions already running finish and starts no other.
    platform::parallel_for_each(m_conversions.size(), [this, &describe, &cancelled](std::size_t i) {
        Conversion& job = m_conversions[i];
        const FillBlock& block = m_blocks[job.block];
        if (!block.error.empty() || cancelled()) return;
        try {
            audio_process_convert_channel(&m_converters[job.track], block.targets[job.channel],
                                          block.workPlanes[job.channel], 1);
        } catch (...) {
            describe(job.error);
        }
    });
    if (cancelled()) return;  // half-converted seconds: the ring is left as it was
    for (const Conversion& job : m_conversions) {
        std::string& error = m_blocks[job.block].error;
        if (error.empty() && !job.error.empty()) error = job.error;
    }

    for (uint32_t b = 0; b < count; ++b) {
        FillBlock& block = m_blocks[b];
        for (uint32_t o = 0; o < m_outputChannels; ++o) outputs[o] = block_outputs(b, o);
        if (block.error.empty()) {
            try {
                if (!m_direct) {
                    audio_mixer_process(&m_mixer, outputs.data(), block.scratchPlanes.data(), kBlockFrames);
                } else {
                    for (uint32_t o : m_unfedOutputs) std::memset(outputs[o], 0, size_t(kBlockFrames) * sizeof(float));
                }
            } catch (...) {
                describe(block.error);
            }
        }
        if (!block.error.empty()) {
            std::printf("ERR : Audio fill failed, one second of silence instead : %s\n", block.error.c_str());
            for (float* plane : outputs) std::memset(plane, 0, size_t(kBlockFrames) * sizeof(float));
            m_failedSteps.fetch_add(1);
        }
    }
    planar_ring_buffer_advance_write(m_ring, count * kBlockFrames);
}

void AudioSrcBuffer::releaseTracks() {
    stopFillTask();
    m_ready = 0;
    for (FillBlock& block : m_blocks) {
        for (AudioData& data : block.sourceData) audio_data_free(&data);
        audio_data_free(&block.scratch);
    }
    m_blocks.clear();
    m_conversions.clear();
    m_blockOutputs.clear();
    for (AudioFormatProcess& converter : m_converters) audio_process_free(&converter);
    m_converters.clear();
    audio_mixer_free(&m_mixer);
    m_routing.clear();
    m_unfedOutputs.clear();
    m_writePlanes.clear();
    m_firstChannel.clear();
    if (m_ring) planar_ring_buffer_destroy(m_ring);
    m_routed.clear();
    m_routedChannels = 0;
    m_direct = 1;
}
