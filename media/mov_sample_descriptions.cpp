// The first sample description of the video, sound and timecode tracks, with the
// extension atoms that follow them, and the mapping of a sound track to a PCM codec.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "media/file_access.h"
#include "media/mov_atom_walk.h"
#include "media/mov_bytes.h"
#include "media/mov_file.h"

namespace {

// More channels than any layout we route; a larger count would only size allocations.
constexpr uint32_t kMaxAudioChannels = 1024;

void parse_video_extension(MovFile* movie, const uint8_t* buffer, const AtomHeader& atom) {
    const uint8_t* p = buffer + atom.dataOffset;
    const unsigned long long size = atom.dataSize;
    switch (atom.type) {
        case mov_fourcc("pasp"): {
            if (size < 8) {
                std::printf("Warning : Invalid PASP size : %llu\n", size);
                break;
            }
            const uint32_t h = mov_be32(p), v = mov_be32(p + 4);
            if (h == 0 || v == 0) {
                std::printf("Warning : Invalid PASP (%u / %u)\n", h, v);
            } else if (h != v) {
                movie->pixelAspectH = h;
                movie->pixelAspectV = v;
            } else {
                movie->pixelAspectH = 1;
                movie->pixelAspectV = 1;
            }
            break;
        }
        case mov_fourcc("fiel"): {
            if (size < 2) {
                std::printf("Warning : Invalid FIELD size : %llu\n", size);
                break;
            }
            if (p[0] == 1 || p[0] == 2) {
                movie->fieldInfoKnown = 1;
                movie->fieldCount = p[0];
                movie->fieldDetail = p[1];
            } else {
                std::printf("Warning : Invalid FIELD data (field count unknown : %d)\n", p[0]);
            }
            break;
        }
        case mov_fourcc("colr"): {
            if (size < 10) {
                std::printf("Warning : Invalid COLOR size : %llu\n", size);
                break;
            }
            const uint32_t type = mov_be32(p);
            if (type == mov_fourcc("nclc") || type == mov_fourcc("nclx")) {
                movie->colourKnown = 1;
                movie->colourPrimaries = mov_be16(p + 4);
                movie->colourTransfer = mov_be16(p + 6);
                movie->colourMatrix = mov_be16(p + 8);
                if (type == mov_fourcc("nclx") && size >= 11) {
                    movie->rangeKnown = 1;
                    movie->fullRange = p[10] >> 7;
                }
            } else {
                std::printf("Unknown color type COLOR : %u\n", type);
            }
            break;
        }
        case mov_fourcc("ACLR"): {
            if (movie->codec != mov_fourcc("AVdn") && movie->codec != mov_fourcc("AVdh")) {
                std::printf("ACLR Atom found but not DnxHD/HR : %u\n", movie->codec);
                break;
            }
            if (size < 12) {
                std::printf("Warning : Invalid ACLR size : %llu\n", size);
                break;
            }
            if (mov_be32(p) != mov_fourcc("ACLR")) {
                std::printf("ACLR unknown code\n");
                break;
            }
            const uint32_t range = mov_be32(p + 8);
            if (range == 1) {
                movie->rangeKnown = 1;
                movie->fullRange = 0;
            } else if (range == 0 || range == 2) {
                movie->rangeKnown = 1;
                movie->fullRange = 1;
            } else {
                std::printf("ACLR : Unknown color range : %u\n", range);
            }
            break;
        }
        case mov_fourcc("APRG"): {
            if (movie->codec != mov_fourcc("AVdn")) {
                std::printf("APRG Atom found but not DnxHD/HR\n");
                break;
            }
            if (size < 12) {
                std::printf("Warning : Invalid APRG size : %llu\n", size);
                break;
            }
            if (mov_be32(p) != mov_fourcc("APRG")) {
                std::printf("APRG unknown code\n");
                break;
            }
            const uint32_t mode = mov_be32(p + 8);
            if (mode == 1) {
                movie->fieldInfoKnown = 1;
                movie->fieldCount = 1;
                movie->fieldDetail = 0;
            } else if (mode == 2) {
                movie->fieldInfoKnown = 1;
                movie->fieldCount = 2;
                movie->fieldDetail = 1;
            } else {
                std::printf("APRG : Unknown interlaced mode : %u\n", mode);
            }
            break;
        }
        case mov_fourcc("ARES"): {
            if (movie->codec != mov_fourcc("AVdn")) {
                std::printf("ARES Atom found but not DnxHD\n");
                break;
            }
            if (size < 32) {
                std::printf("Warning : Invalid ARES size : %llu\n", size);
                break;
            }
            if (mov_be32(p) != mov_fourcc("ARES")) {
                std::printf("ARES unknown code\n");
                break;
            }
            const uint32_t id = mov_be32(p + 8);
            switch (id) {
                case 1237: case 1238: case 1242: case 1243: case 1244: case 1251:
                case 1252: case 1253: case 1258: case 1259: case 1260: case 1274:
                    movie->codecProfile = 1;
                    break;
                case 1235: case 1241: case 1250: movie->codecProfile = 2; break;
                case 1256: movie->codecProfile = 3; break;
                default:
                    std::printf("Unknown DnxHD Compression id : %u\n", id);
                    movie->codecProfile = 0;
                    break;
            }
            break;
        }
        case mov_fourcc("ADHR"): {
            if (movie->codec != mov_fourcc("AVdh")) {
                std::printf("ADHR Atom found but not DnxHR\n");
                break;
            }
            if (size < 24) {
                std::printf("Warning : Invalid ADHR size : %llu\n", size);
                break;
            }
            const uint32_t sampling = mov_be32(p + 8);
            const uint32_t depth_code = mov_be32(p + 12);
            if (mov_be16(p + 18) == 0) {
                movie->colourKnown = 1;
                movie->colourPrimaries = 1;
                movie->colourTransfer = 1;
                movie->colourMatrix = 1;
            }
            if (mov_be16(p + 20) != 0) std::printf("WARNING : ADHR : DnxHR with alpha (alpha unsupported)\n");
            movie->codecProfile = 0;
            if (sampling == 0 || sampling == 2) {
                if (depth_code >= 1 && depth_code <= 3)
                    movie->codecProfile = (sampling == 0 ? 3 : 6) + depth_code;
                else
                    std::printf("ADHR : Unknown bitdepth 422 : %u\n", depth_code);
            } else if (sampling == 1) {
                std::printf("ADHR : Sampling 420\n");
            } else {
                std::printf("ADHR : Unknown sub sampling : %u\n", sampling);
            }
            break;
        }
        default: break;
    }
}

// `enda` inside `wave`: the byte order of the codecs whose name does not fix it.
void parse_wave(MovAudioTrack* track, const uint8_t* buffer, const AtomHeader& wave) {
    // Writers end `wave` with a type-0 terminator: a failing header here only ends
    // this inner walk.
    mov_walk_children(buffer, wave.dataOffset, wave.dataSize, [&](const AtomHeader& atom) {
        if (atom.type != mov_fourcc("enda")) return true;
        if (atom.dataSize < 2) {
            std::printf("Warning Wave ENDA data len < 2 (%llu)\n", static_cast<unsigned long long>(atom.dataSize));
            return true;
        }
        const uint32_t codec = track->codec;
        if (codec != mov_fourcc("in24") && codec != mov_fourcc("in32") && codec != mov_fourcc("fl32") &&
            codec != mov_fourcc("fl64"))
            return true;
        const uint16_t value = mov_be16(buffer + atom.dataOffset);
        if (value == 0)
            track->pcmFlags |= MovPcmFlag_BigEndian;
        else if (value == 1)
            track->pcmFlags &= ~uint32_t(MovPcmFlag_BigEndian);
        else
            std::printf("Warning : Invalid ENDA endianness value : %d\n", value);
        return true;
    });
}

void parse_chan(MovAudioTrack* track, const uint8_t* buffer, const AtomHeader& chan) {
    if (chan.dataSize < 16) {
        std::printf("Warning invalid size CHAN STSD Audio : %llu\n", static_cast<unsigned long long>(chan.dataSize));
        return;
    }
    const uint8_t* p = buffer + chan.dataOffset;
    const uint32_t count = mov_be32(p + 12);
    if (count == 0) {
        std::printf("Warning Descriptors count CHAN No descriptors\n");
        return;
    }
    if (track->channels > kMaxAudioChannels) return;
    const uint32_t n = std::min(count, track->channels);
    if (chan.dataSize < 16 + 20 * uint64_t(n)) return;
    auto* labels = static_cast<uint32_t*>(std::malloc(size_t(track->channels) * sizeof(uint32_t)));
    if (!labels) throw std::bad_alloc();
    for (uint32_t k = 0; k < track->channels; ++k) labels[k] = 0xFFFFFFFFu;
    for (uint32_t k = 0; k < n; ++k) labels[k] = mov_be32(p + 16 + 20 * uint64_t(k));
    std::free(track->channelLabels);
    track->channelLabels = labels;
}

}  // namespace

void MovFile::parseStsdVideo(MovFile* movie, uint64_t entrySize, const uint8_t* buffer, uint64_t entryPosition) {
    if (entrySize < 86) throw std::runtime_error("Not enough data in Sample Description");
    const uint8_t* entry = buffer + entryPosition;
    movie->codec = mov_be32(entry + 4);
    movie->depth = mov_be16(entry + 82);
    // The coded size of the frames. The track header's size (already read) is only a
    // presentation size, and frames are decoded and checked at the size given here.
    const uint32_t coded_width = mov_be16(entry + 32);
    const uint32_t coded_height = mov_be16(entry + 34);
    if (coded_width != 0 && coded_height != 0) {
        if (coded_width != movie->width || coded_height != movie->height) {
            std::printf("Video Trak : TKHD size (%ux%u) != sample description size (%ux%u)\n", movie->width,
                        movie->height, coded_width, coded_height);
        }
        movie->width = coded_width;
        movie->height = coded_height;
    }
    if (entrySize < 94) return;
    const bool complete = mov_walk_children(buffer, entryPosition + 86, entrySize - 86, [&](const AtomHeader& atom) {
        parse_video_extension(movie, buffer, atom);
        return true;
    });
    if (!complete) std::printf("Fail to parse Stsd additionnal atoms\n");
}

void MovFile::parseStsdAudio(MovFile* movie, uint64_t entrySize, const uint8_t* buffer, uint64_t entryPosition) {
    MovAudioTrack* track = &movie->audioTracks[movie->audioTrackCount - 1];
    if (entrySize < 36) throw std::runtime_error("Not enough data in Sample Description audio");
    const uint8_t* entry = buffer + entryPosition;
    track->codec = mov_be32(entry + 4);
    track->pcmFlags = 0;
    const uint16_t version = mov_be16(entry + 16);
    bool unsupported = false;
    uint64_t version_data = 0;

    if (version == 0 || version == 1) {
        // A version-1 entry carries 16 more bytes that are read below.
        if (version == 1 && entrySize < 52) throw std::runtime_error("Not enough data in Sample Description audio");
        track->channels = mov_be16(entry + 24);
        if (track->channels == 0) throw std::runtime_error("Invalid channel (0)");
        const uint32_t rate = mov_be32(entry + 32);
        if (rate & 0xFFFF) std::printf("Warning : Sample rate not integer : %d\n", int(rate & 0xFFFF));
        if ((rate >> 16) == 0) throw std::runtime_error("Invalid sample rate (0)");
        track->frequency = rate >> 16;
        if (version == 1 && mov_be32(entry + 36) != 1) unsupported = true;
        const uint16_t sample_size = mov_be16(entry + 26);
        switch (track->codec) {
            case mov_fourcc("raw "):
                track->bitsPerSample = 8;
                track->pcmFlags = MovPcmFlag_Packed;
                break;
            case mov_fourcc("twos"):
            case mov_fourcc("sowt"):
                track->bitsPerSample = 16;
                track->pcmFlags = track->codec == mov_fourcc("twos") ? 14 : 12;
                // Signed 8-bit samples are stored under these codes too; there is no
                // signed 8-bit PCM codec to deliver them as.
                if (sample_size == 8) unsupported = true;
                break;
            case mov_fourcc("in24"):
                track->bitsPerSample = 24;
                track->pcmFlags = 14;
                break;
            case mov_fourcc("in32"):
                track->bitsPerSample = 32;
                track->pcmFlags = 14;
                break;
            case mov_fourcc("fl32"):
                track->bitsPerSample = 32;
                track->pcmFlags = 11;
                break;
            case mov_fourcc("fl64"):
                track->bitsPerSample = 64;
                track->pcmFlags = 11;
                break;
            default: unsupported = true; break;
        }
        version_data = version == 0 ? 20 : 36;
    } else if (version == 2) {
        if (entrySize < 72) throw std::runtime_error("Not enough data in Sample Description audio (v2)");
        uint64_t bits = mov_be64(entry + 40);
        double rate;
        std::memcpy(&rate, &bits, sizeof rate);
        rate = std::round(rate);
        if (!std::isfinite(rate) || rate <= 0 || rate > 4294967295.0)
            throw std::runtime_error("Invalid sample rate (<= 0)");
        track->frequency = static_cast<uint32_t>(rate);
        track->channels = mov_be32(entry + 48);
        if (track->channels == 0) throw std::runtime_error("Invalid channel (0)");
        if (track->channels > kMaxAudioChannels) unsupported = true;
        track->bitsPerSample = mov_be32(entry + 56);
        if (track->bitsPerSample % 8 != 0) {
            std::printf("Warning unsupported quantif : %u\n", track->bitsPerSample);
            unsupported = true;
        }
        track->pcmFlags = mov_be32(entry + 60);
        if (track->pcmFlags == 0x80000000u) throw std::runtime_error("Unset audio flags mode (v2)");
        const uint32_t frames_per_packet = mov_be32(entry + 68);
        if (frames_per_packet != 1) {
            std::printf("Warning unsupported pcm frames per packet : %u\n", frames_per_packet);
            unsupported = true;
        }
        version_data = 56;
    } else {
        throw std::runtime_error("Invalid Stsd audio version");
    }

    const uint64_t extensions = 16 + version_data;
    if (entrySize > extensions) {
        const bool complete =
            mov_walk_children(buffer, entryPosition + extensions, entrySize - extensions, [&](const AtomHeader& atom) {
                if (atom.type == mov_fourcc("wave"))
                    parse_wave(track, buffer, atom);
                else if (atom.type == mov_fourcc("chan"))
                    parse_chan(track, buffer, atom);
                return true;
            });
        if (!complete) {
            std::printf("Fail to parse Stsd additionnal atoms\n");
            return;
        }
    }

    const uint32_t codec = track->codec;
    if (codec == mov_fourcc("mp4a") || codec == mov_fourcc(".mp3")) return;
    if (!mov_is_pcm_codec(codec)) {
        std::printf("Codec audio unsupported demuxing : %u;", codec);
        print_fourcc(codec, true);
        std::printf("\n");
        return;
    }
    if (unsupported) {
        std::printf("Unsupported PCM Audio\n");
        return;
    }
    track->bytesPerFrame = uint64_t(track->bitsPerSample / 8) * track->channels;
    track->pcmSupported = 1;
}

uint32_t MovFile::pcmFormat(const MovAudioTrack* track) {
    if (track->pcmSupported != 1 || !mov_is_pcm_codec(track->codec)) return AudioPcmCodec_None;
    const uint32_t kind = track->pcmFlags & (MovPcmFlag_Signed | MovPcmFlag_Float);
    const bool is_signed = kind == MovPcmFlag_Signed;
    const bool is_float = kind == MovPcmFlag_Float;
    const bool big_endian = (track->pcmFlags & MovPcmFlag_BigEndian) != 0;
    switch (track->bitsPerSample) {
        case 8:
            if (kind == 0) return AudioPcmCodec_U8;
            std::printf("Mov Pcm : 8 bits PCM audio unsupported mode\n");
            return AudioPcmCodec_None;
        case 16:
            if (is_signed) return big_endian ? AudioPcmCodec_S16BE : AudioPcmCodec_S16LE;
            std::printf("Mov Pcm 16 bits PCM audio unsupported mode\n");
            return AudioPcmCodec_None;
        case 24:
            if (is_signed) return big_endian ? AudioPcmCodec_S24BE : AudioPcmCodec_S24LE;
            std::printf("Mov Pcm 24 bits PCM audio unsupported mode\n");
            return AudioPcmCodec_None;
        case 32:
            if (is_signed) return big_endian ? AudioPcmCodec_S32BE : AudioPcmCodec_S32LE;
            if (is_float) return big_endian ? AudioPcmCodec_F32BE : AudioPcmCodec_F32LE;
            std::printf("Mov Pcm 32 bits PCM audio unsupported mode\n");
            return AudioPcmCodec_None;
        case 64:
            if (is_float) return big_endian ? AudioPcmCodec_F64BE : AudioPcmCodec_F64LE;
            std::printf("64 bits PCM audio unsupported mode\n");
            return AudioPcmCodec_None;
        default: std::printf("Audio track PCM codec unsupported\n"); return AudioPcmCodec_None;
    }
}

void MovFile::parseTimecodeTrack(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer) {
    const uint8_t* stsd = buffer + atoms.stsd.position;
    if (atoms.stsd.size < 12 || uint64_t(mov_be32(stsd + 8)) + 8 > atoms.stsd.size)
        throw std::runtime_error("Invalid Stsd audio trak");
    const uint32_t entry_size = mov_be32(stsd + 8);
    if (entry_size < 24) throw std::runtime_error("Not enough data in Sample Description timecode");
    movie->timecodeFlags = mov_be32(stsd + 8 + 20);
    // The frame number counts frames at the track's own rate, which a variable-rate
    // video's resampled rate is not.
    if (entry_size >= 32) {
        const uint32_t timescale = mov_be32(stsd + 8 + 24);
        const uint32_t frame_duration = mov_be32(stsd + 8 + 28);
        if (timescale != 0 && frame_duration != 0) {
            const uint32_t common = std::gcd(timescale, frame_duration);
            movie->timecodeRateNum = timescale / common;
            movie->timecodeRateDen = frame_duration / common;
        }
    }

    MovTrackTables tables{};
    try {
        parseStco(&tables, atoms, buffer);
        const uint64_t back = file_tell(movie->file);
        file_seek(movie->file, tables.chunkOffsets[0]);
        movie->timecodeStart = file_read_u32_be(movie->file);
        movie->timecodePresent = 1;
        file_seek(movie->file, back);
        freeTrackTables(&tables);
    } catch (...) {
        freeTrackTables(&tables);
        throw;
    }
}

bool mov_is_pcm_codec(uint32_t codec) {
    switch (codec) {
        case mov_fourcc("lpcm"):
        case mov_fourcc("raw "):
        case mov_fourcc("twos"):
        case mov_fourcc("sowt"):
        case mov_fourcc("in24"):
        case mov_fourcc("in32"):
        case mov_fourcc("fl32"):
        case mov_fourcc("fl64"): return true;
        default: return false;
    }
}

