// The sample tables of a track (chunk offsets, sample sizes, sample-to-chunk, time-to-
// sample) and what is built from them: the video frame table, resampled to a constant
// rate for a variable-rate track, and the chunk table of a sound track.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "media/mov_bytes.h"
#include "media/mov_file.h"

namespace {

template <class T>
T* alloc_array(uint64_t count, const char* error) {
    void* table = std::calloc(count ? count : 1, sizeof(T));
    if (!table) throw std::runtime_error(error);
    return static_cast<T*>(table);
}

// The last sample that output frame k shows: the one that has started by the frame's
// time, or that starts less than half a frame after it (the frame nearest to a start is
// where the sample is first seen, as a constant-rate conversion rounds it). In whole
// time-scale units, sample j has started for frame k when 2 start(j) < (2k + 1) frame.
// Starts never decrease; the scan goes forward from sample i.
uint32_t sample_shown_at(const uint64_t* starts, uint32_t count, uint32_t i, uint64_t k, uint64_t frame) {
    const uint64_t limit = (2 * k + 1) * frame;
    while (i + 1 < count && 2 * starts[i + 1] < limit) ++i;
    return i;
}

// The (count, duration) entries of a time-to-sample table: at most `entryCount`, and
// no more than its payload holds.
struct SttsEntries {
    const uint8_t* first;  // the first entry's sample count
    uint64_t count;
};
SttsEntries stts_entries(const TrakAtoms& atoms, const uint8_t* buffer, uint32_t entryCount) {
    const uint64_t room = atoms.stts.size >= 8 ? (atoms.stts.size - 8) / 8 : 0;
    return {buffer + atoms.stts.position + 8, std::min<uint64_t>(entryCount, room)};
}

// The samples of the time-to-sample entries that last no time.
uint64_t stts_timeless_samples(const TrakAtoms& atoms, const uint8_t* buffer, uint32_t entryCount) {
    const SttsEntries entries = stts_entries(atoms, buffer, entryCount);
    uint64_t samples = 0;
    for (uint64_t e = 0; e < entries.count; ++e)
        if (mov_be32(entries.first + e * 8 + 4) == 0) samples += mov_be32(entries.first + e * 8);
    return samples;
}

}  // namespace

void MovFile::freeArray(void** table) {
    std::free(*table);
    *table = nullptr;
}

void MovFile::freeTablePair(void** table, uint32_t* count) {
    freeArray(table);
    *count = 0;
}

void MovFile::freeTrackTables(MovTrackTables* tables) {
    freeTablePair(reinterpret_cast<void**>(&tables->chunkOffsets), &tables->chunkCount);
    freeTablePair(reinterpret_cast<void**>(&tables->sampleSizes), &tables->sampleCount);
    tables->commonSize = 0;
    freeArray(reinterpret_cast<void**>(&tables->samplesPerChunk));
    freeTablePair(reinterpret_cast<void**>(&tables->sampleStarts), &tables->sampleStartCount);
}

void MovFile::parseStco(MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer) {
    const uint64_t size = atoms.chunkOffsets.size;
    const uint8_t* p = buffer + atoms.chunkOffsets.position;
    if (size < 8) throw std::runtime_error("Stco atom size invalid");
    const uint32_t count = mov_be32(p + 4);
    if (count == 0) throw std::runtime_error("Stco atom entries 0");
    const uint32_t width = atoms.chunkOffsetWidth == 8 ? 8 : 4;
    if (size < 8 + uint64_t(count) * width) throw std::runtime_error("Stco atom invalid size entries");
    tables->chunkOffsets = alloc_array<uint64_t>(count, "Memory error offset table");
    tables->chunkCount = count;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = p + 8 + uint64_t(i) * width;
        tables->chunkOffsets[i] = width == 8 ? mov_be64(entry) : mov_be32(entry);
    }
}

void MovFile::parseStsz(MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer) {
    const uint64_t size = atoms.stsz.size;
    const uint8_t* p = buffer + atoms.stsz.position;
    if (size < 12) throw std::runtime_error("Stsz atom taille invalid");
    const uint32_t common = mov_be32(p + 4);
    const uint32_t count = mov_be32(p + 8);
    if (count == 0) throw std::runtime_error("Stsz atom entries 0");
    tables->commonSize = common;
    if (common != 0) {
        tables->sampleCount = count;
        return;
    }
    if (size < 12 + uint64_t(count) * 4) throw std::runtime_error("Stsz atom invalid size entries");
    tables->sampleSizes = alloc_array<uint32_t>(count, "Not enough memory stsz table");
    tables->sampleCount = count;
    for (uint32_t i = 0; i < count; ++i) tables->sampleSizes[i] = mov_be32(p + 12 + uint64_t(i) * 4);
}

void MovFile::parseStsc(MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer) {
    const uint64_t size = atoms.stsc.size;
    const uint8_t* p = buffer + atoms.stsc.position;
    if (size < 8) throw std::runtime_error("Stsc atom size innvalid");
    const uint32_t count = mov_be32(p + 4);
    if (count == 0) throw std::runtime_error("Stsc atom entries 0");
    if (size < 8 + uint64_t(count) * 12) throw std::runtime_error("Stsc atom invalid size entries");
    const uint64_t chunks = tables->chunkCount;
    tables->samplesPerChunk = alloc_array<uint32_t>(chunks, "Not enough memory for stsc table");

    uint64_t filled = 0;
    for (uint32_t e = 0; e < count; ++e) {
        const uint8_t* entry = p + 8 + uint64_t(e) * 12;
        const uint64_t first = mov_be32(entry);
        const uint32_t samples = mov_be32(entry + 4);
        if (first == 0) throw std::runtime_error("Invalid First chunk index (zero)");
        uint64_t end = chunks + 1;  // one past the run's last chunk, 1-based
        if (e + 1 < count) {
            end = mov_be32(entry + 12);
            if (end == 0) throw std::runtime_error("Invalid Next First chunk index (zero)");
        }
        // Runs must follow each other; a first chunk going backwards would overlap them.
        if (end < first) throw std::runtime_error("Stsc error");
        if (end - 1 > chunks) throw std::runtime_error("Outside array index");
        for (uint64_t c = first - 1; c < end - 1; ++c) tables->samplesPerChunk[c] = samples;
        filled += end - first;
    }
    if (filled < chunks) throw std::runtime_error("Stsc error");
}

void MovFile::parseStts(MovFile* movie, MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer,
                        uint32_t entryCount, uint32_t maxStarts) {
    const SttsEntries entries = stts_entries(atoms, buffer, entryCount);
    tables->sampleStarts = alloc_array<uint64_t>(maxStarts, "Not enough memory for stts table");
    tables->sampleStartCount = 0;
    uint64_t start = 0;
    // Entries with no samples and no duration, no samples, no duration: each kind is
    // said once, with how many entries it covers, however many the table holds.
    uint64_t invalid[3] = {};
    for (uint64_t e = 0; e < entries.count && tables->sampleStartCount < maxStarts; ++e) {
        const uint32_t count = mov_be32(entries.first + e * 8);
        const uint32_t duration = mov_be32(entries.first + e * 8 + 4);
        if (count == 0 || duration == 0) {
            ++invalid[count == 0 && duration == 0 ? 0 : count == 0 ? 1 : 2];
            movie->problemFlags |= MovProblem_InvalidSttsEntry;
        }
        // A sample of no duration still holds its place: it starts where the next one
        // does, so it takes no output frame and moves no other sample.
        for (uint32_t k = 0; k < count && tables->sampleStartCount < maxStarts; ++k) {
            tables->sampleStarts[tables->sampleStartCount++] = start;
            start += duration;
        }
    }
    static const char* const kInvalidEntry[3] = {"Invalid sample count and duration 0", "Invalid sample count 0",
                                                 "Invalid duration 0"};
    for (int kind = 0; kind < 3; ++kind)
        if (invalid[kind] != 0)
            std::printf("STTS Entry invalid : %s ; entries : %" PRIu64 "\n", kInvalidEntry[kind], invalid[kind]);
}

void MovFile::buildSampleTable(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer, uint32_t entryCount,
                               uint32_t frameDuration) {
    MovTrackTables tables{};
    FrameIndexEntry* samples = nullptr;  // the variable-rate sample table
    try {
        parseStco(&tables, atoms, buffer);
        parseStsz(&tables, atoms, buffer);
        parseStsc(&tables, atoms, buffer);

        const uint64_t file_size = movie->fileSize;
        const uint32_t frames = movie->frameCount;
        movie->sampleBytes = 0;
        const uint32_t sample_count = tables.sampleCount;
        const bool variable = movie->variableFps != 0;
        // Samples of no duration take no output frame, so a variable-rate track may hold
        // that many samples beyond its frame count.
        const uint64_t room = uint64_t(frames) + (variable ? stts_timeless_samples(atoms, buffer, entryCount) : 0);
        uint32_t table_length = sample_count;
        if (sample_count > room) {
            std::printf("WARNING : Too much STSZ entry\n");
            table_length = static_cast<uint32_t>(room);
        }
        // With one common size, no more samples than the file can hold side by side:
        // the table then follows the file, not a count a hostile header asks for.
        if (!tables.sampleSizes && tables.commonSize != 0)
            table_length = static_cast<uint32_t>(std::min<uint64_t>(table_length, file_size / tables.commonSize));

        if (!variable) {
            if (sample_count < frames) std::printf("WARNING : Not enough STSZ entry\n");
            movie->frameTable = alloc_array<FrameIndexEntry>(table_length, "Not enough memory for frame table");
            movie->frameCount = table_length;
            samples = movie->frameTable;
        } else {
            parseStts(movie, &tables, atoms, buffer, entryCount, table_length);
            samples = alloc_array<FrameIndexEntry>(table_length, "Not enough memory for frame table");
        }

        uint64_t filled = 0;
        bool incomplete = false;
        for (uint32_t c = 0; c < tables.chunkCount && !incomplete; ++c) {
            uint64_t in_chunk = tables.samplesPerChunk[c];
            if (in_chunk == 0) continue;
            if (filled >= table_length) {
                std::printf("Invalid sample count for sample : %llu (Max : %u)\n",
                            static_cast<unsigned long long>(filled), table_length);
                movie->problemFlags |= MovProblem_SampleOutsideFile;
                incomplete = true;
                break;
            }
            if (filled + in_chunk > table_length) in_chunk = table_length - filled;
            uint64_t offset = tables.chunkOffsets[c];
            for (uint64_t i = 0; i < in_chunk; ++i) {
                const uint32_t size = tables.sampleSizes ? tables.sampleSizes[filled] : tables.commonSize;
                if (tables.sampleSizes && size == 0) throw std::runtime_error("Stsz sample zero for frame");
                if (offset > file_size || size > file_size - offset) {
                    if (filled == 0) throw std::runtime_error("Invalid offset size");
                    if (tables.sampleSizes)
                        std::printf(
                            "ERROR : Invalid offset size for sample : %llu (Offset : %llu ; Size : %u ; Filesize : "
                            "%llu)\n",
                            static_cast<unsigned long long>(filled), static_cast<unsigned long long>(offset), size,
                            static_cast<unsigned long long>(file_size));
                    else
                        std::printf("ERROR : Invalid offset size for sample : %llu\n",
                                    static_cast<unsigned long long>(filled));
                    movie->problemFlags |= MovProblem_SampleOutsideFile;
                    incomplete = true;
                    break;
                }
                samples[filled] = FrameIndexEntry{offset, size};
                movie->sampleBytes += size;
                ++filled;
                offset += size;
            }
        }

        const uint32_t kept = static_cast<uint32_t>(std::min<uint64_t>(table_length, filled));
        if (kept == 0) throw std::runtime_error("Can't find valid video sample");
        if (incomplete || kept < table_length) {
            std::printf("ERROR : Can't build entire video seek table\n");
            movie->problemFlags |= MovProblem_IncompleteFrameTable;
            if (!variable) movie->frameCount = kept;
        }

        if (variable) {
            if (movie->frameCount == 0) throw std::runtime_error("Can't find enough frames");
            // Only filled samples with a start time may be shown, whatever either table counts.
            const uint32_t timed = std::min(tables.sampleStartCount, kept);
            if (timed == 0 || frameDuration == 0) throw std::runtime_error("Can't find enough frames");
            if (timed < kept) std::printf("Warning, invalid sample start : %u ; (Max : %u)\n", timed, kept);
            movie->frameTable = alloc_array<FrameIndexEntry>(movie->frameCount, "Not enough memory for frame table");
            const uint32_t first = sample_shown_at(tables.sampleStarts, timed, 0, 0, frameDuration);
            movie->droppedSamples += first;
            movie->frameTable[0] = samples[first];
            uint32_t i = first;
            for (uint32_t k = 1; k < movie->frameCount; ++k) {
                const uint32_t j = sample_shown_at(tables.sampleStarts, timed, i, k, frameDuration);
                if (j == i)
                    ++movie->duplicatedFrames;
                else if (j > i + 1)
                    movie->droppedSamples += j - i - 1;
                movie->frameTable[k] = samples[j];
                i = j;
            }
            std::free(samples);
        }
        freeTrackTables(&tables);
    } catch (...) {
        freeTrackTables(&tables);
        if (movie->variableFps) std::free(samples);
        // Never leave a frame count that points into a missing table.
        if (!movie->frameTable) movie->frameCount = 0;
        throw;
    }
}

void MovFile::parseAudioTables(MovFile* movie, MovAudioTrack* track, const TrakAtoms& atoms,
                               const uint8_t* buffer) {
    MovTrackTables tables{};
    try {
        parseStco(&tables, atoms, buffer);
        parseStsc(&tables, atoms, buffer);
        track->chunks = static_cast<MovAudioChunk*>(std::calloc(tables.chunkCount, sizeof(MovAudioChunk)));
        if (!track->chunks) throw std::bad_alloc();
        track->chunkCount = tables.chunkCount;

        const uint64_t file_size = movie->fileSize;
        const uint64_t frame_bytes = track->bytesPerFrame;
        uint64_t total = 0;
        uint32_t kept = tables.chunkCount;
        bool lead_open = true;
        for (uint32_t c = 0; c < tables.chunkCount; ++c) {
            const uint64_t offset = tables.chunkOffsets[c];
            const uint32_t samples = tables.samplesPerChunk[c];
            if (offset > file_size || (frame_bytes != 0 && samples > (file_size - offset) / frame_bytes)) {
                std::printf("ERROR : Invalid Offset Size Audio chunk (Offset : %llu : Size : %llu (filesize : %llu)\n",
                            static_cast<unsigned long long>(offset),
                            static_cast<unsigned long long>(samples * frame_bytes),
                            static_cast<unsigned long long>(file_size));
                track->status |= MovAudioStatus_ChunkTableCut;
                kept = c;
                break;
            }
            if (c == 0) {
                track->leadChunks = 1;
                track->leadSamplesPerChunk = samples;
            } else if (lead_open && samples == track->leadSamplesPerChunk) {
                ++track->leadChunks;
            } else {
                lead_open = false;
            }
            track->chunks[c] = MovAudioChunk{offset, samples};
            total += samples;
        }
        track->chunkCount = kept;
        if (kept == tables.chunkCount) {
            if (total != track->sampleCount)
                std::printf("Warning : Audio MDHD duration (%llu) not equal samples found : (%llu)\n",
                            static_cast<unsigned long long>(track->sampleCount),
                            static_cast<unsigned long long>(total));
        }
        if (total < track->sampleCount) track->sampleCount = total;
        freeTrackTables(&tables);
    } catch (...) {
        freeTrackTables(&tables);
        std::free(track->chunks);
        track->chunks = nullptr;
        track->chunkCount = 0;
        throw;
    }
}
