// The movie record: opening, the top-level and moov walks, the video and sound track
// branches, and the reads of movie audio.
#include "media/mov_file.h"

#include <fcntl.h>

#include <cerrno>
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "media/file_access.h"
#include "media/mov_atom_walk.h"
#include "media/mov_bytes.h"
#include "platform/file_utf8.h"
#include "base/formats/wstr_to_utf8.h"

namespace {

constexpr uint32_t kFtyp = mov_fourcc("ftyp");
constexpr uint32_t kMdat = mov_fourcc("mdat");
constexpr uint32_t kMoov = mov_fourcc("moov");
constexpr uint32_t kUdta = mov_fourcc("udta");
constexpr uint32_t kTrak = mov_fourcc("trak");

// A variable-rate track is resampled to its fastest rate; a hostile time table could
// ask for billions of output frames. 2^24 frames is more than three days at 60 fps.
constexpr uint64_t kMaxResampledFrames = uint64_t(1) << 24;

// One read moves at most this many bytes, so a huge audio request never passes the
// 32-bit byte count of file_read.
constexpr uint64_t kMaxReadBytes = uint64_t(1) << 30;

bool is_known_video_codec(uint32_t codec) {
    static constexpr uint32_t known[] = {
        mov_fourcc("Hap1"), mov_fourcc("Hap5"), mov_fourcc("Hap7"), mov_fourcc("HapA"), mov_fourcc("HapM"),
        mov_fourcc("HapY"), mov_fourcc("ap4h"), mov_fourcc("ap4x"), mov_fourcc("apch"), mov_fourcc("apcn"),
        mov_fourcc("apco"), mov_fourcc("apcs"), mov_fourcc("AVdh"), mov_fourcc("AVdn"), mov_fourcc("DXD3"),
        mov_fourcc("jpeg"), mov_fourcc("v210"), mov_fourcc("2vuy"), mov_fourcc("nclc")};
    for (uint32_t code : known)
        if (code == codec) return true;
    return false;
}

bool has_required_atoms(const TrakAtoms& atoms) {
    return atoms.mdhd.size && atoms.tkhd.size && atoms.stts.size && atoms.stsd.size && atoms.stsz.size &&
           atoms.stsc.size && atoms.chunkOffsets.size;
}

struct MediaHeader {
    uint32_t timescale;
    uint64_t duration;
};

// The media time scale and duration, at the places of the header's version: a
// version-1 header carries 64-bit dates and duration.
bool read_media_header(const uint8_t* buffer, const TrakAtomRef& mdhd, MediaHeader* out) {
    const uint8_t* p = buffer + mdhd.position;
    if (mdhd.size < 24) return false;
    if (p[0] == 1) {
        if (mdhd.size < 32) return false;
        out->timescale = mov_be32(p + 20);
        out->duration = mov_be64(p + 24);
    } else {
        out->timescale = mov_be32(p + 12);
        out->duration = mov_be32(p + 16);
    }
    return true;
}

void open_movie_file(MovFile* movie, bool random_access) {
    movie->file = platform::fopen_utf16(movie->path, "rb");
    if (!movie->file) file_throw_open_error(movie->path, errno);
    // Advice only: a refusal changes nothing.
    if (random_access) ::posix_fadvise(fileno(movie->file), 0, 0, POSIX_FADV_RANDOM);
}

void walk_moov(MovFile* movie, const uint8_t* buffer, uint64_t size) {
    mov_walk_children(buffer, 0, size, [&](const AtomHeader& child) {
        if (child.type == kUdta) {
            MovFile::parseUdta(movie, buffer, child);
        } else if (child.type == kTrak) {
            TrakAtoms atoms{};
            if (!MovFile::parseTrak(&atoms, buffer, child)) {
                std::printf("Erreur parse Trak\n");
                return true;
            }
            if (atoms.handler == mov_fourcc("vide")) {
                MovFile::parseVideoTrack(movie, atoms, buffer);
            } else if (atoms.handler == mov_fourcc("soun")) {
                MovFile::parseAudioTrack(movie, atoms, buffer);
            } else if (atoms.handler == mov_fourcc("tmcd")) {
                if (!has_required_atoms(atoms)) {
                    std::printf("Trak tc missing atoms\n");
                    return true;
                }
                try {
                    MovFile::parseTimecodeTrack(movie, atoms, buffer);
                } catch (const std::exception& error) {
                    movie->timecodePresent = 0;
                    std::printf("ERROR : Failed to parse tc trak : %s\n", error.what());
                } catch (...) {
                    movie->timecodePresent = 0;
                    std::printf("ERROR : TC track\n");
                }
            }
        }
        return true;
    });
}

}  // namespace

void MovFile::init(MovFile* movie) {
    *movie = MovFile{};
    movie->fps = 25.0;
    movie->rateNum = 25;
    movie->rateDen = 1;
    movie->pixelAspectH = 1;
    movie->pixelAspectV = 1;
    movie->fieldCount = 1;
}

void MovFile::parse(MovFile* movie, const char16_t* path, bool random_access) {
    init(movie);
    if (!path) throw std::runtime_error("No input filepath mov demuxer");
    size_t length = 0;
    while (path[length]) ++length;
    movie->path = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
    if (!movie->path) {
        std::printf("Fail to alloc str clone : (%zu)\n", length);
        throw std::bad_alloc();
    }
    std::memcpy(movie->path, path, (length + 1) * sizeof(char16_t));

    open_movie_file(movie, random_access);
    movie->readMutex = new std::mutex();
    movie->fileSize = file_size(movie->file);
    if (movie->fileSize < 12) throw std::runtime_error("Not a mov file (too small)");

    file_seek(movie->file, 4);
    const uint32_t start_word = file_read_u32_be(movie->file);
    if (start_word != kFtyp && start_word != kMdat) {
        std::printf("Error unknown value start file : %u\n", start_word);
        throw std::runtime_error("Not a mov file");
    }

    file_seek(movie->file, 0);
    AtomHeader atom;
    if (!atom_read_header(&atom, movie->file, movie->fileSize)) throw std::runtime_error("Fail to read mov header");
    if ((atom.type == kFtyp && atom.dataSize < 4) || (atom.type != kFtyp && atom.type != kMdat))
        throw std::runtime_error("Invalid Mov start file");

    for (;;) {
        const uint64_t position = atom.dataOffset + atom.dataSize;
        file_seek(movie->file, position);
        if (!atom_read_header(&atom, movie->file, movie->fileSize - position))
            throw std::runtime_error("Fail to parse root atom");
        if (atom.type != kMoov) continue;

        if (atom.dataSize > 4294967295ull) throw std::runtime_error("Invalid data len (overflow)");
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[atom.dataSize ? atom.dataSize : 1]);
        try {
            file_read(movie->file, buffer.get(), atom.dataOffset, static_cast<uint32_t>(atom.dataSize));
        } catch (const std::exception& error) {
            std::printf("Errror read buffer from file obj : %s\n", error.what());
            throw;
        }
        walk_moov(movie, buffer.get(), atom.dataSize);
        return;
    }
}

void MovFile::closeFile(MovFile* movie) {
    if (!movie || !movie->file) return;
    std::fclose(movie->file);
    movie->file = nullptr;
}

void MovFile::free(MovFile* movie) {
    if (!movie) return;
    std::free(movie->frameTable);
    movie->frameTable = nullptr;
    std::free(movie->path);
    movie->path = nullptr;
    for (uint32_t i = 0; i < movie->audioTrackCount; ++i) {
        std::free(movie->audioTracks[i].channelLabels);
        movie->audioTracks[i].channelLabels = nullptr;
        std::free(movie->audioTracks[i].chunks);
        movie->audioTracks[i].chunks = nullptr;
    }
    std::free(movie->audioTracks);
    movie->audioTracks = nullptr;
    movie->audioTrackCount = 0;
    delete movie->readMutex;
    movie->readMutex = nullptr;
}

bool MovFile::parseTrak(TrakAtoms* atoms, const uint8_t* buffer, const AtomHeader& trak) {
    auto record = [](TrakAtomRef* ref, const AtomHeader& atom) {
        ref->position = atom.dataOffset;
        ref->size = atom.dataSize;
    };
    bool ok = true;
    const auto visit_stbl = [&](const AtomHeader& atom) {
        switch (atom.type) {
            case mov_fourcc("stts"): record(&atoms->stts, atom); break;
            case mov_fourcc("stsd"): record(&atoms->stsd, atom); break;
            case mov_fourcc("stsz"): record(&atoms->stsz, atom); break;
            case mov_fourcc("stsc"): record(&atoms->stsc, atom); break;
            case mov_fourcc("stco"):
                record(&atoms->chunkOffsets, atom);
                atoms->chunkOffsetWidth = 4;
                break;
            case mov_fourcc("co64"):
                record(&atoms->chunkOffsets, atom);
                atoms->chunkOffsetWidth = 8;
                break;
            default: break;
        }
        return true;
    };
    const auto visit_minf = [&](const AtomHeader& atom) {
        if (atom.type == mov_fourcc("stbl") &&
            !mov_walk_children(buffer, atom.dataOffset, atom.dataSize, visit_stbl)) {
            std::printf("Fail to parse Stbl childs\n");
            ok = false;
        }
        return ok;
    };
    const auto visit_mdia = [&](const AtomHeader& atom) {
        if (atom.type == mov_fourcc("mdhd")) {
            record(&atoms->mdhd, atom);
        } else if (atom.type == mov_fourcc("hdlr")) {
            if (atom.dataSize < 12) {
                std::printf("Invalid MDIA HDLR size\n");
                ok = false;
            } else {
                atoms->handler = mov_be32(buffer + atom.dataOffset + 8);
            }
        } else if (atom.type == mov_fourcc("minf")) {
            if (!mov_walk_children(buffer, atom.dataOffset, atom.dataSize, visit_minf)) {
                std::printf("Fail to parse Minf childs\n");
                ok = false;
            }
        }
        return ok;
    };
    const auto visit_trak = [&](const AtomHeader& atom) {
        if (atom.type == mov_fourcc("tkhd")) {
            record(&atoms->tkhd, atom);
        } else if (atom.type == mov_fourcc("mdia")) {
            if (!mov_walk_children(buffer, atom.dataOffset, atom.dataSize, visit_mdia)) {
                std::printf("Fail to parse Mdia childs\n");
                ok = false;
            }
        }
        return ok;
    };
    if (!mov_walk_children(buffer, trak.dataOffset, trak.dataSize, visit_trak)) {
        std::printf("Fail to parse trak childs\n");
        return false;
    }
    return ok;
}

void MovFile::parseVideoTrack(MovFile* movie, const TrakAtoms& atoms_in, const uint8_t* buffer) {
    if (!has_required_atoms(atoms_in)) {
        std::printf("Trak video missing atoms\n");
        return;
    }
    ++movie->videoTrackCount;
    if (movie->videoTrackCount > 1) {
        std::printf("More than 1 video track found. Track ignored\n");
        return;
    }
    TrakAtoms atoms = atoms_in;
    try {
        // Picture size: the integer parts of the 16.16 track width and height, until the
        // sample description gives the frames' own size.
        const uint8_t* tkhd = buffer + atoms.tkhd.position;
        const bool tkhd_v1 = atoms.tkhd.size > 0 && tkhd[0] == 1;
        const uint64_t tkhd_needed = tkhd_v1 ? 96 : 84;
        if (atoms.tkhd.size < tkhd_needed) {
            std::printf("Video Trak : TKHD invalid size ( < %" PRIu64 ") : found : %" PRIu64 "\n", tkhd_needed,
                        atoms.tkhd.size);
            throw std::runtime_error("Invalid tkhd video trak");
        }
        movie->width = mov_be16(tkhd + (tkhd_v1 ? 88 : 76));
        movie->height = mov_be16(tkhd + (tkhd_v1 ? 92 : 80));

        MediaHeader media{};
        if (!read_media_header(buffer, atoms.mdhd, &media)) {
            std::printf("Video Trak : MDHD invalid size ( < 24) : found : %" PRIu64 "\n", atoms.mdhd.size);
            throw std::runtime_error("Invalid Mdhd video trak");
        }
        atoms.timescale = media.timescale;

        const uint64_t stts_size = atoms.stts.size;
        const uint8_t* stts = buffer + atoms.stts.position;
        if (stts_size < 16) {
            std::printf("ERROR STTS : Size invalide ( < 16) ; found : %llu\n",
                        static_cast<unsigned long long>(stts_size));
            throw std::runtime_error("Invalid Stts Atom in video trak");
        }
        uint32_t entry_count = mov_be32(stts + 4);
        uint32_t frameDuration = 0;  // one output frame in time-scale units (variable rate)
        if (entry_count == 0) throw std::runtime_error("Invalid STTS video trak (no entry)");
        if (8 + 8 * uint64_t(entry_count) > stts_size) {
            entry_count = static_cast<uint32_t>((stts_size - 8) / 8);
            std::printf("Warning : not enough space for STTS entries, clamp to %u\n", entry_count);
        }

        if (entry_count == 1) {
            movie->variableFps = 0;
            movie->frameCount = mov_be32(stts + 8);
            const uint32_t duration = mov_be32(stts + 12);
            if (duration == 0) throw std::runtime_error("Sample duration zero (invalid)");
            // A zero time scale would give 0 fps, which every later duration divides by.
            if (media.timescale == 0) throw std::runtime_error("Invalid fps (zero)");
            movie->rateNum = media.timescale;
            movie->rateDen = duration;
            movie->fps = double(media.timescale) / duration;
        } else {
            std::printf("Variable fps\n");
            movie->variableFps = 1;
            // Only an entry that holds samples and lasts some time sets the rate: an empty
            // entry describes no sample, and a sample of no duration takes no frame,
            // wherever either stands.
            uint32_t shortest = 0;
            // The time the samples cover, in time-scale units: 2^32 entries of 2^64 at most.
            unsigned __int128 covered = 0;
            uint64_t timeless_samples = 0;
            uint32_t timeless_entries = 0;
            for (uint32_t e = 0; e < entry_count; ++e) {
                const uint32_t count = mov_be32(stts + 8 + 8 * uint64_t(e));
                const uint32_t duration = mov_be32(stts + 12 + 8 * uint64_t(e));
                if (count == 0) continue;
                if (duration == 0) {
                    timeless_samples += count;
                    ++timeless_entries;
                    continue;
                }
                if (shortest == 0 || duration < shortest) shortest = duration;
                covered += uint64_t(count) * duration;
            }
            // Said once for the whole table: a hostile file may hold millions of such entries.
            if (timeless_entries != 0)
                std::printf("STTS : %" PRIu64 " samples with 0 duration ; entries : %u\n", timeless_samples,
                            timeless_entries);
            if (media.timescale == 0 || shortest == 0) throw std::runtime_error("Invalid fps (zero)");
            movie->rateNum = media.timescale;
            movie->rateDen = shortest;
            movie->fps = double(media.timescale) / shortest;
            frameDuration = shortest;
            // Output frames past the last sample's end would only repeat it: a media
            // duration longer than the samples must not grow the table.
            uint64_t duration = media.duration;
            if (covered < duration) {
                std::printf("WARNING : Media duration (%" PRIu64 ") longer than its samples (%" PRIu64 ")\n",
                            duration, static_cast<uint64_t>(covered));
                duration = static_cast<uint64_t>(covered);
            }
            const double frames = std::round(double(duration) / media.timescale * movie->fps);
            if (frames > double(kMaxResampledFrames)) {
                std::printf("WARNING : Variable fps frame count too large (%.0f), clamp to %" PRIu64 "\n", frames,
                            kMaxResampledFrames);
                movie->frameCount = static_cast<uint32_t>(kMaxResampledFrames);
                movie->problemFlags |= MovProblem_IncompleteFrameTable;
            } else {
                movie->frameCount = static_cast<uint32_t>(frames);
            }
        }
        if (movie->rateDen == 0) throw std::runtime_error("Invalid fps (zero)");
        if (movie->rateDen > 1 && movie->rateNum % movie->rateDen == 0) {
            movie->rateNum /= movie->rateDen;
            movie->rateDen = 1;
        }

        const uint8_t* stsd = buffer + atoms.stsd.position;
        if (atoms.stsd.size < 12 || uint64_t(mov_be32(stsd + 8)) + 8 > atoms.stsd.size)
            throw std::runtime_error("Invalid Stsd video trak");
        parseStsdVideo(movie, mov_be32(stsd + 8), buffer, atoms.stsd.position + 8);

        movie->videoCodecKnown = is_known_video_codec(movie->codec) ? 1 : 0;
        if (!movie->videoCodecKnown) return;

        std::free(movie->frameTable);
        movie->frameTable = nullptr;
        if (movie->frameCount == 0) throw std::runtime_error("Invalid video duration");
        buildSampleTable(movie, atoms, buffer, entry_count, frameDuration);
        checkProRes(movie);
        checkDxv(movie);
        checkDnxHR(movie);
    } catch (...) {
        std::printf("ERROR : Video track\n");
        throw;
    }
}

void MovFile::parseAudioTrack(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer) {
    if (!has_required_atoms(atoms)) {
        std::printf("Trak audio missing atoms\n");
        return;
    }
    auto* grown = static_cast<MovAudioTrack*>(
        std::realloc(movie->audioTracks, (size_t(movie->audioTrackCount) + 1) * sizeof(MovAudioTrack)));
    if (!grown) {
        std::printf("ERROR : Fail to add Audio track\n");
        return;
    }
    movie->audioTracks = grown;
    MovAudioTrack* track = &movie->audioTracks[movie->audioTrackCount++];
    *track = MovAudioTrack{};
    try {
        const uint8_t* stsd = buffer + atoms.stsd.position;
        if (atoms.stsd.size < 12 || uint64_t(mov_be32(stsd + 8)) + 8 > atoms.stsd.size)
            throw std::runtime_error("Invalid Stsd audio trak");
        parseStsdAudio(movie, mov_be32(stsd + 8), buffer, atoms.stsd.position + 8);

        MediaHeader media{};
        if (!read_media_header(buffer, atoms.mdhd, &media)) {
            std::printf("Audio Trak : MDHD invalid size ( < 24) : found : %" PRIu64 "\n", atoms.mdhd.size);
            throw std::runtime_error("Invalid Mdhd audio trak");
        }
        if (media.timescale != track->frequency) {
            std::printf("MDHD timescale (%u) != frequency (%u) (unsupported)\n", media.timescale, track->frequency);
            throw std::runtime_error("Audio trak timescale not equal to frequency");
        }
        track->sampleCount = media.duration;
        if (track->pcmSupported == 1) parseAudioTables(movie, track, atoms, buffer);
    } catch (const std::exception& error) {
        track->status = MovAudioStatus_Failed;
        std::printf("ERROR : Failed to parse audio trak : %s\n", error.what());
    } catch (...) {
        track->status = MovAudioStatus_Failed;
        std::printf("ERROR : Audio track\n");
    }
}

uint64_t MovFile::readAudio(MovFile* movie, void* destination, uint32_t track_index, uint64_t start,
                            uint64_t count) {
    if (track_index >= movie->audioTrackCount) {
        std::printf("ERROR : Invalid audio track index : %u\n", track_index);
        throw std::runtime_error("Invalid audio track index");
    }
    const MovAudioTrack& track = movie->audioTracks[track_index];
    if (track.pcmSupported == 0) {
        std::printf("ERROR : Demuxing unsupported for track : %u\n", track_index);
        throw std::runtime_error("Demuxing audio track unsupported");
    }
    if (start >= track.sampleCount) {
        std::printf("Warning : ask audio sample after track\n");
        return 0;
    }
    const uint64_t wanted = std::min(track.sampleCount - start, count);
    if (wanted == 0) throw std::runtime_error("0 sample to read");

    auto* out = static_cast<uint8_t*>(destination);
    uint64_t copied = 0;
    while (copied < wanted) {
        if (!track.chunks) throw std::runtime_error("Audio seek table not allocated");
        if (track.leadChunks == 0) throw std::runtime_error("Invalid first chunk count");
        const uint64_t p = start + copied;
        const uint64_t lead_samples = uint64_t(track.leadChunks) * track.leadSamplesPerChunk;
        uint64_t chunk = 0, in_chunk = 0;
        if (p < lead_samples) {
            chunk = p / track.leadSamplesPerChunk;
            in_chunk = p % track.leadSamplesPerChunk;
        } else {
            uint64_t first = lead_samples;
            chunk = track.leadChunks;
            for (;; ++chunk) {
                if (chunk >= track.chunkCount) {
                    std::printf("Can't find sample num : %llu\n", static_cast<unsigned long long>(p));
                    throw std::runtime_error("Can't find sample");
                }
                if (p < first + track.chunks[chunk].samples) break;
                first += track.chunks[chunk].samples;
            }
            in_chunk = p - first;
        }
        const MovAudioChunk& c = track.chunks[chunk];
        const uint64_t frames = std::min<uint64_t>(c.samples - in_chunk, wanted - copied);
        const uint64_t bytes = frames * track.bytesPerFrame;
        if (bytes == 0) {
            std::printf("ERROR empty data to read\n");
            return copied;
        }
        uint64_t done = 0;
        while (done < bytes) {
            const uint64_t piece = std::min(bytes - done, kMaxReadBytes);
            file_read(movie->file, out + done, c.offset + in_chunk * track.bytesPerFrame + done,
                      static_cast<uint32_t>(piece));
            done += piece;
        }
        out += bytes;
        copied += frames;
    }
    return copied;
}

uint64_t MovFile::readAudioLocked(MovFile* movie, void* destination, uint32_t track, uint64_t start,
                                  uint64_t count) {
    // A record whose parse stopped before the file was open has no lock and no tracks:
    // readAudio refuses it.
    if (!movie->readMutex) return readAudio(movie, destination, track, start, count);
    std::lock_guard<std::mutex> lock(*movie->readMutex);
    return readAudio(movie, destination, track, start, count);
}

float MovFile::averageByteRate(const MovFile* movie) {
    // An empty or rate-less movie has no byte rate (rather than a division by zero).
    if (movie->frameCount == 0 || !movie->frameTable || !(movie->fps > 0)) return 0.0f;
    // A variable-rate table shows some samples more than once: its bytes are those of
    // the stored samples. A constant-rate table holds each sample once.
    uint64_t total = 0;
    if (movie->variableFps)
        total = movie->sampleBytes;
    else
        for (uint32_t i = 0; i < movie->frameCount; ++i) total += movie->frameTable[i].size;
    return static_cast<float>(double(total) / (double(movie->frameCount) / movie->fps));
}
