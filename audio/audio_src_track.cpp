#include "audio/audio_src_track.h"

#include <QDebug>
#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/pcm/channel_layouts.h"
#include "media/mov_file.h"
#include "media/wav_file.h"

namespace {

// Default mask of a mono companion file from the end of its lower-cased base name.
uint64_t mono_mask_from_name(const QString& path) {
    const QString base = QFileInfo(path).completeBaseName().toLower();
    struct Suffix {
        const char* text;
        uint64_t mask;
    };
    static const Suffix kSuffixes[] = {
        {"_l", 1},    {"_r", 2},    {"_c", 4},     {"_lfe", 8},   {"_ls", 16},
        {"_lss", 16}, {"_rs", 32},  {"_rss", 32},  {"_lrs", 64},  {"_rrs", 128},
    };
    for (const Suffix& suffix : kSuffixes) {
        if (base.endsWith(QLatin1String(suffix.text))) return suffix.mask;
    }
    return 3;
}

// Bits of the channels of a layout (0 for an unknown layout, which prints).
uint64_t layout_bits(uint32_t layout) {
    const uint32_t count = audio_layout_channel_count(layout);
    if (count == 0) return 0;
    if (count >= 64) return ~uint64_t(0);
    return (uint64_t(1) << count) - 1;
}

// Seconds to a sample index: nearest sample, negative and NaN to 0, huge values
// clamped instead of overflowing the conversion.
uint64_t seconds_to_samples(double seconds, uint32_t frequency) {
    const double samples = std::nearbyint(double(frequency) * seconds);
    if (!(samples > 0)) return 0;
    if (samples >= 9.2e18) return uint64_t(9.2e18);
    return uint64_t(samples);
}

}  // namespace

AudioSrcTrack::AudioSrcTrack(const QString& path) : m_name(path) {
    creating([&] {
        m_descriptor = audio_src_track_descriptor_new();
        m_descriptor->kind = AudioSrcKind_Wav;
        // QString holds UTF-16 and keeps it zero-terminated.
        audio_src_track_descriptor_open_wav(m_descriptor, reinterpret_cast<const char16_t*>(path.utf16()));
        audio_src_track_descriptor_reset_range(m_descriptor);
    });
    if (m_errorText.isEmpty()) {
        if (m_descriptor->channels == 1) m_descriptor->defaultMasks[0] = mono_mask_from_name(path);
        for (uint32_t i = 0; i < m_descriptor->channels; ++i) {
            m_descriptor->currentMasks[i] = m_descriptor->defaultMasks[i];
        }
    }
}

AudioSrcTrack::AudioSrcTrack(const QString& name, uint32_t trackIndex, uint32_t channels, uint32_t frequency,
                             uint32_t formatCode, const uint64_t* masks)
    : m_name(name) {
    creating([&] {
        m_descriptor = audio_src_track_descriptor_new();
        audio_src_track_descriptor_init(m_descriptor, channels, frequency, masks);
        m_descriptor->kind = AudioSrcKind_Movie;
        m_descriptor->trackIndex = trackIndex;
        m_descriptor->playable = 0;
        m_descriptor->formatCode = formatCode;
        m_descriptor->demuxer = nullptr;
        m_descriptor->demuxerType = AudioSrcDemuxer_None;
        audio_src_track_descriptor_set_sample_size(m_descriptor);
    });
}

AudioSrcTrack::AudioSrcTrack(const QString& name, uint32_t trackIndex, uint32_t channels, uint32_t frequency,
                             uint32_t codec, const uint64_t* masks, uint64_t totalSamples)
    : m_name(name) {
    creating([&] {
        m_descriptor = audio_src_track_descriptor_new();
        audio_src_track_descriptor_init(m_descriptor, channels, frequency, masks);
        m_descriptor->kind = AudioSrcKind_Movie;
        m_descriptor->trackIndex = trackIndex;
        m_descriptor->codec = codec;
        m_descriptor->playable = 1;
        m_descriptor->demuxerType = AudioSrcDemuxer_Movie;
        audio_src_track_descriptor_set_sample_size(m_descriptor);
        m_descriptor->totalSamples = totalSamples;
        audio_src_track_descriptor_reset_range(m_descriptor);
        audio_src_track_descriptor_check_frequency(m_descriptor);
    });
}

AudioSrcTrack::~AudioSrcTrack() { audio_src_track_descriptor_free(m_descriptor); }

void AudioSrcTrack::failed(const char* what, bool outOfMemory, bool unknown) {
    if (what) {
        qDebug("Error init : %s", what);
        m_errorText = QStringLiteral("Audio track error : %1").arg(QString::fromUtf8(what));
    } else if (outOfMemory) {
        m_errorText = QStringLiteral("Memory error");
    } else if (unknown) {
        m_errorText = QStringLiteral("Unknown error");
    }
    if (!m_descriptor) {
        // Even the record could not be made: keep an empty one so that every query works.
        m_descriptor = new (std::nothrow) AudioSrcTrackDescriptor();
        if (!m_descriptor) return;
    }
    // A source that failed to open is never read nor routed.
    m_descriptor->playable = 0;
    m_descriptor->bytesPerSample = 0;
    if (m_descriptor->demuxerType != AudioSrcDemuxer_Wav || !m_descriptor->demuxer) {
        m_descriptor->demuxer = nullptr;
        m_descriptor->demuxerType = AudioSrcDemuxer_None;
    }
}

void AudioSrcTrack::setMovieReader(MovFile* movie) {
    if (!m_descriptor || m_descriptor->kind != AudioSrcKind_Movie || !m_descriptor->playable ||
        m_descriptor->demuxerType != AudioSrcDemuxer_Movie) {
        return;
    }
    m_descriptor->demuxer = movie;
}

bool AudioSrcTrack::isMovieTrack() const { return m_descriptor && m_descriptor->kind == AudioSrcKind_Movie; }
bool AudioSrcTrack::isWavFile() const { return m_descriptor && m_descriptor->kind == AudioSrcKind_Wav; }
bool AudioSrcTrack::isRemoved() const { return isMovieTrack() && m_descriptor->active == 0; }
bool AudioSrcTrack::isPlayable() const { return m_descriptor && m_descriptor->playable != 0; }

bool AudioSrcTrack::isActiveWithDemuxer() const {
    return m_descriptor && m_descriptor->active == 1 &&
           (m_descriptor->demuxerType == AudioSrcDemuxer_Wav || m_descriptor->demuxerType == AudioSrcDemuxer_Movie);
}

void AudioSrcTrack::deactivate() {
    if (m_descriptor) m_descriptor->active = 0;
}

void AudioSrcTrack::activate() {
    if (m_descriptor) m_descriptor->active = 1;
}

uint64_t AudioSrcTrack::channelMapping(int channel) const {
    if (!m_descriptor || channel < 0 || uint32_t(channel) >= m_descriptor->channels) {
        std::printf("Invalid channel : %d\n", channel);
        return 0;
    }
    return m_descriptor->currentMasks[channel];
}

uint64_t AudioSrcTrack::defaultChannelMapping(int channel) const {
    if (!m_descriptor || channel < 0 || uint32_t(channel) >= m_descriptor->channels) {
        std::printf("Invalid channel : %d\n", channel);
        return 0;
    }
    return m_descriptor->defaultMasks[channel];
}

void AudioSrcTrack::setChannelMapping(uint64_t mask, int channel) {
    if (!m_descriptor || channel < 0 || uint32_t(channel) >= m_descriptor->channels) {
        std::printf("Invalid channel : %d\n", channel);
        return;
    }
    m_descriptor->currentMasks[channel] = mask;
}

void AudioSrcTrack::clearChannelMapping() {
    if (!m_descriptor) return;
    for (uint32_t i = 0; i < m_descriptor->channels; ++i) m_descriptor->currentMasks[i] = 0;
}

uint64_t AudioSrcTrack::channelMaskUnion() const {
    uint64_t all = 0;
    if (!m_descriptor) return all;
    for (uint32_t i = 0; i < m_descriptor->channels; ++i) all |= m_descriptor->currentMasks[i];
    return all;
}

bool AudioSrcTrack::defaultsToBothSides() const {
    if (!m_descriptor) return true;
    for (uint32_t i = 0; i < m_descriptor->channels; ++i) {
        if (m_descriptor->defaultMasks[i] != 3) return false;
    }
    return true;
}

bool AudioSrcTrack::isRoutedTo(uint32_t layout) const {
    if (isRemoved() || !isPlayable()) return false;
    const uint64_t bits = layout_bits(layout);
    return bits != 0 && (channelMaskUnion() & bits) != 0;
}

uint64_t AudioSrcTrack::unusedOutputMask(uint32_t layout) const {
    return ~(channelMaskUnion() & layout_bits(layout));
}

void AudioSrcTrack::moveToSecondPair() {
    if (!m_descriptor || m_descriptor->channels != 2) return;
    if (m_descriptor->defaultMasks[0] != 1 || m_descriptor->defaultMasks[1] != 2) return;
    m_descriptor->defaultMasks[0] = 4;
    m_descriptor->defaultMasks[1] = 8;
    m_descriptor->currentMasks[0] = 4;
    m_descriptor->currentMasks[1] = 8;
}

void AudioSrcTrack::pcmDescriptor(AudioDescriptor* out) const {
    if (!isPlayable()) {
        std::printf("Can't get track descriptor for non pcm data\n");
        return;
    }
    audio_descriptor_init(out, m_descriptor->codec, m_descriptor->channels, m_descriptor->frequency, false);
}

QString AudioSrcTrack::descriptorText() const {
    if (!m_descriptor) return QString();
    const AudioSrcTrackDescriptor& d = *m_descriptor;
    QString channels;
    if (d.channels == 1) {
        channels = QStringLiteral("Mono");
    } else if (d.channels == 2) {
        channels = QStringLiteral("Stereo");
    } else {
        channels = QStringLiteral("%1 channels").arg(d.channels);
    }
    QString format;
    if (d.playable) {
        format = QString::fromLatin1(audio_pcm_codec_name(d.codec));
    } else if (d.formatCode == mov_fourcc("mp4a")) {
        format = QStringLiteral("AAC (Unsupported)");
    } else if (d.formatCode == 0 && d.codec <= AudioPcmCodec_F64BE) {
        // A PCM track refused at creation (its rate, for instance) has no four-character code.
        format = QStringLiteral("%1 (Unsupported)").arg(QString::fromLatin1(audio_pcm_codec_name(d.codec)));
    } else {
        const char code[4] = {char(d.formatCode >> 24), char(d.formatCode >> 16), char(d.formatCode >> 8),
                              char(d.formatCode)};
        format = QStringLiteral("%1 (Unsupported)").arg(QString::fromLatin1(code, 4));
    }
    return QStringLiteral("%1, %2, %3").arg(channels, format, QStringLiteral("%1 Hz").arg(d.frequency));
}

void AudioSrcTrack::seekSeconds(double seconds) {
    if (!m_descriptor) return;
    m_descriptor->position = seconds_to_samples(seconds, m_descriptor->frequency);
}

void AudioSrcTrack::setInOutSeconds(double inSeconds, double outSeconds) {
    if (!m_descriptor) return;
    AudioSrcTrackDescriptor& d = *m_descriptor;
    const uint64_t in = seconds_to_samples(inSeconds, d.frequency);
    const uint64_t out = seconds_to_samples(outSeconds, d.frequency);
    if (in < out) {
        d.inPoint = in;
        // Every sample of [in, out) that the source holds is played; the rest of the
        // range is silence.
        d.dataEnd = out < d.totalSamples ? out : d.totalSamples;
        d.loopEnd = out;
    } else {
        std::printf("ERROR : Invalid in point samples : %lld and out_point : %lld\n", static_cast<long long>(in),
                    static_cast<long long>(out));
        // No loop range: a looped read past the data end then plays silence instead
        // of wrapping.
        d.loopEnd = 0;
    }
}

void AudioSrcTrack::fillSilence(uint8_t* destination, uint64_t frames) {
    const AudioSrcTrackDescriptor& d = *m_descriptor;
    const uint64_t frameBytes = audio_src_track_descriptor_frame_bytes(&d);
    if (d.codec > AudioPcmCodec_F64BE || frameBytes == 0) return;
    // audio_fill_silence counts in 32 bits: go by pieces.
    while (frames > 0) {
        const uint32_t piece = frames > 0x1000000u ? 0x1000000u : uint32_t(frames);
        audio_fill_silence(destination, d.codec, piece, d.channels);
        destination += uint64_t(piece) * frameBytes;
        frames -= piece;
    }
}

uint64_t AudioSrcTrack::readFromDemuxer(uint8_t* destination, uint64_t position, uint64_t count) {
    AudioSrcTrackDescriptor& d = *m_descriptor;
    const uint64_t frameBytes = audio_src_track_descriptor_frame_bytes(&d);
    try {
        if (d.demuxerType == AudioSrcDemuxer_Wav) {
            auto* wav = static_cast<WavFile*>(d.demuxer);
            if (wav->bytesPerFrame != frameBytes) {
                std::printf("Warning : wav frame size %llu differs from the track's %llu\n",
                            static_cast<unsigned long long>(wav->bytesPerFrame),
                            static_cast<unsigned long long>(frameBytes));
                return 0;
            }
            return WavFile::readSamplesLocked(wav, destination, position, count);
        }
        if (d.demuxerType == AudioSrcDemuxer_Movie) {
            auto* movie = static_cast<MovFile*>(d.demuxer);
            // The destination is sized from this track's format: a reader whose frames
            // are another size would write past it.
            if (d.trackIndex >= movie->audioTrackCount || !movie->audioTracks ||
                movie->audioTracks[d.trackIndex].bytesPerFrame != frameBytes) {
                std::printf("Warning : movie audio track %u does not match the track's format\n", d.trackIndex);
                return 0;
            }
            return MovFile::readAudioLocked(movie, destination, d.trackIndex, position, count);
        }
        std::printf("Unknown demuxer type read\n");
    } catch (const std::exception& error) {
        // A damaged or vanished file must not stop the fill job: the frames become silence.
        std::printf("Warning, audio read failed : %s\n", error.what());
    }
    return 0;
}

void AudioSrcTrack::readPlain(uint8_t* destination, uint64_t position, uint64_t count) {
    AudioSrcTrackDescriptor& d = *m_descriptor;
    const uint64_t frameBytes = audio_src_track_descriptor_frame_bytes(&d);
    if (position < d.dataEnd) {
        const uint64_t left = d.dataEnd - position;
        const uint64_t n = left < count ? left : count;
        const uint64_t got = readFromDemuxer(destination, position, n);
        if (got < n) {
            std::printf("Warning, can't read %llu samples (%llu read)\n", static_cast<unsigned long long>(n),
                        static_cast<unsigned long long>(got));
            fillSilence(destination + got * frameBytes, n - got);
        }
        destination += n * frameBytes;
        count -= n;
    }
    fillSilence(destination, count);
}

bool AudioSrcTrack::readerReady(void* destination, uint32_t count) {
    if (count == 0) {
        std::printf("Warning, requested 0 sample to read\n");
        return false;
    }
    if (!m_descriptor) return false;
    const AudioSrcTrackDescriptor& d = *m_descriptor;
    if (!d.demuxer) {
        std::printf("No audio demuxer\n");
        fillSilence(static_cast<uint8_t*>(destination), count);
        return false;
    }
    if (d.demuxerType == AudioSrcDemuxer_None) {
        std::printf("No unsupported audio demuxer\n");
        return false;
    }
    if (d.demuxerType != AudioSrcDemuxer_Wav && d.demuxerType != AudioSrcDemuxer_Movie) {
        std::printf("Unknown demuxer type lock\n");
        fillSilence(static_cast<uint8_t*>(destination), count);
        return false;
    }
    return true;
}

uint64_t AudioSrcTrack::readForward(void* destination, uint64_t position, uint32_t count, bool loop) {
    if (!readerReady(destination, count)) return position;
    AudioSrcTrackDescriptor& d = *m_descriptor;

    const uint64_t frameBytes = audio_src_track_descriptor_frame_bytes(&d);
    // An empty or inverted range would wrap without advancing: such a range does not loop.
    const bool looping = loop && d.loopEnd > d.inPoint;
    auto* out = static_cast<uint8_t*>(destination);
    uint64_t p = position;
    uint64_t remaining = count;
    while (remaining > 0) {
        if (p < d.dataEnd) {
            const uint64_t left = d.dataEnd - p;
            const uint64_t n = left < remaining ? left : remaining;
            readPlain(out, p, n);
            p += n;
            out += n * frameBytes;
            remaining -= n;
        } else if (!looping) {
            fillSilence(out, remaining);
            p += remaining;
            remaining = 0;
        } else {
            if (p < d.loopEnd) {
                const uint64_t left = d.loopEnd - p;
                const uint64_t n = left < remaining ? left : remaining;
                fillSilence(out, n);
                p += n;
                out += n * frameBytes;
                remaining -= n;
            }
            if (p >= d.loopEnd) p = d.inPoint;
        }
    }
    d.position = p;
    return p;
}

uint64_t AudioSrcTrack::readReverse(void* destination, uint64_t position, uint32_t count, bool loop) {
    if (!readerReady(destination, count)) return position;
    AudioSrcTrackDescriptor& d = *m_descriptor;

    const uint64_t frameBytes = audio_src_track_descriptor_frame_bytes(&d);
    const uint64_t needed = frameBytes * count;
    if (needed == 0) throw std::runtime_error("Can't allocate reverse data (O)");
    if (d.reverseBufferSize < needed) {
        void* grown = std::realloc(d.reverseBuffer, needed);
        if (!grown) throw std::bad_alloc();
        d.reverseBuffer = static_cast<uint8_t*>(grown);
        d.reverseBufferSize = needed;
    }

    // Played backwards, a loop runs from the out point down to the in point and then
    // starts again at the out point; without a loop the source ends at sample 0, and
    // from there on (kBeforeStart) it is silence.
    const bool looping = loop && d.loopEnd > d.inPoint;
    const uint64_t first = looping ? d.inPoint : 0;
    const uint64_t wrapTo = d.loopEnd > 0 ? d.loopEnd - 1 : 0;
    auto* out = static_cast<uint8_t*>(destination);
    uint64_t p = position;
    uint64_t remaining = count;
    while (remaining > 0) {
        if (p == kBeforeStart) {
            if (!looping) {
                fillSilence(out, remaining);
                break;
            }
            p = wrapTo;
            continue;
        }
        if (looping && p < first) {
            // Before the in point: start the range again from its end.
            p = wrapTo;
            continue;
        }
        if (p - first < remaining) {
            // The block reaches the start of the range: deliver first..p.
            const uint64_t n = p - first + 1;
            readPlain(d.reverseBuffer, first, n);
            audio_frames_reverse_copy(out, d.reverseBuffer, uint32_t(n), uint32_t(frameBytes));
            out += n * frameBytes;
            remaining -= n;
            p = looping ? wrapTo : kBeforeStart;
        } else {
            const uint64_t start = p - remaining + 1;
            readPlain(d.reverseBuffer, start, remaining);
            audio_frames_reverse_copy(out, d.reverseBuffer, uint32_t(remaining), uint32_t(frameBytes));
            remaining = 0;
            p = start - 1;
        }
    }
    d.position = p;
    return p;
}
