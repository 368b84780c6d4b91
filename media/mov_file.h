#pragma once
// QuickTime movie reader: one plain record holding the single video track's frame
// table, the PCM sound tracks with their chunk tables, the timecode start and the
// descriptive fields of the sample descriptions and of our own user-data atoms.
//
// The top-level atoms are walked header by header from the stream; the whole `moov`
// atom is then read into memory and every deeper atom is parsed from that buffer.
// Unusable movies throw std::runtime_error with a fixed text; damage that leaves a
// usable movie is printed to standard output and recorded (problemFlags, counters,
// per-track status).
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "base/pcm/audio_data.h"

struct FrameIndexEntry {
    uint64_t offset;  // absolute file offset of the sample
    uint32_t size;    // 0 marks an entry the table walk did not reach
};

struct MovAudioChunk {
    uint64_t offset;   // absolute file offset
    uint32_t samples;  // samples per channel in the chunk
};

enum : uint64_t {
    MovAudioStatus_ChunkTableCut = 2,  // bit: the chunk table was cut short
    MovAudioStatus_Failed = 4,         // whole value: the track failed to parse
};

struct MovAudioTrack {
    uint64_t status;
    uint32_t codec;  // four-character code of the sound sample description
    uint32_t channels;
    uint32_t frequency;
    uint8_t pcmSupported;  // 1 only for a PCM layout readAudio can deliver
    uint32_t pcmFlags;     // QuickTime linear-PCM flags: 1 float, 2 big-endian, 4 signed, 8 packed
    uint32_t bitsPerSample;
    uint64_t sampleCount;    // samples per channel, lowered to what the chunk table holds
    uint64_t bytesPerFrame;  // (bitsPerSample / 8) x channels
    uint32_t* channelLabels;  // `channels` labels from `chan`, 0xFFFFFFFF where none; null without `chan`
    MovAudioChunk* chunks;
    uint32_t chunkCount;
    uint32_t leadChunks;           // chunks at the head that all hold the same number of samples
    uint32_t leadSamplesPerChunk;  // that number
};

enum : uint32_t {
    MovPcmFlag_Float = 1,
    MovPcmFlag_BigEndian = 2,
    MovPcmFlag_Signed = 4,
    MovPcmFlag_Packed = 8,
};

enum : uint64_t {
    MovProblem_IncompleteFrameTable = 2,
    MovProblem_InvalidSttsEntry = 8,
    MovProblem_SampleOutsideFile = 16,  // also: the tables disagree on the sample count
};

struct AtomHeader {
    uint32_t type;        // the four type bytes in file order, as one big-endian word
    uint64_t size;        // the atom's total size
    uint64_t dataOffset;  // where the payload begins (file offset, or offset in the moov buffer)
    uint64_t dataSize;    // payload length
};

// Payload position and size (in the moov buffer) of one atom of a track; 0 and 0 when absent.
struct TrakAtomRef {
    uint64_t position;
    uint64_t size;
};

struct TrakAtoms {
    uint32_t handler;           // "vide", "soun", "tmcd", ...
    uint32_t chunkOffsetWidth;  // 4 for stco, 8 for co64
    TrakAtomRef mdhd;
    uint32_t timescale;
    TrakAtomRef tkhd;
    TrakAtomRef stts;
    TrakAtomRef stsd;
    TrakAtomRef stsz;
    TrakAtomRef stsc;
    TrakAtomRef chunkOffsets;
};

// The temporary tables of one track while its frame or chunk table is built.
struct MovTrackTables {
    uint64_t* chunkOffsets;
    uint32_t chunkCount;
    uint32_t* sampleSizes;  // null when every sample has commonSize
    uint32_t sampleCount;
    uint32_t commonSize;
    uint32_t* samplesPerChunk;  // one value per chunk
    uint64_t* sampleStarts;     // start of each sample in time-scale units (variable rate only)
    uint32_t sampleStartCount;
};

constexpr uint32_t mov_fourcc(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

// True for the sample description codes of PCM sound the player can read.
bool mov_is_pcm_codec(uint32_t codec);

struct MovFile {
    char16_t* path;
    std::FILE* file;
    uint64_t fileSize;
    std::mutex* readMutex;
    uint32_t videoTrackCount;
    uint32_t audioTrackCount;
    uint8_t videoCodecKnown;
    uint8_t variableFps;
    uint32_t droppedSamples;
    uint32_t duplicatedFrames;
    uint32_t width, height;
    double fps;
    uint32_t rateNum, rateDen;
    uint32_t frameCount;
    uint32_t codec;

    // Filled from the sample descriptions, the first frame and the user data.
    uint32_t codecProfile;  // DnxHD/DnxHR profile code, or a DXV movie's sub-codec bytes
    uint16_t depth;
    uint32_t pixelAspectH, pixelAspectV;
    uint8_t colourKnown;
    uint16_t colourPrimaries, colourTransfer, colourMatrix;
    uint8_t rangeKnown, fullRange;
    uint8_t fieldInfoKnown, fieldCount;
    uint32_t fieldDetail;
    uint8_t timecodePresent;
    uint32_t timecodeStart;
    uint32_t timecodeFlags;  // bit 1 = drop frame
    // The rate timecodeStart counts frames at: the timecode track's own time scale and
    // frame duration, reduced; 0 and 0 when its sample description does not give them.
    uint32_t timecodeRateNum, timecodeRateDen;
    uint32_t alfaMode;       // 0 unset, 2 premultiplied, 3 straight
    uint8_t metaPresent;
    uint16_t metaVersion;
    uint8_t alphaKind;  // 0 none, 1 premultiplied over black, 2 straight
    uint8_t displayWindowFlag;
    uint32_t displayWidth, displayHeight, originX, originY;

    FrameIndexEntry* frameTable;
    // Bytes of the video samples the frame table was built from, each counted once:
    // a variable-rate table repeats samples to fill its constant rate.
    uint64_t sampleBytes;
    uint64_t problemFlags;
    MovAudioTrack* audioTracks;

    static void init(MovFile* movie);
    // Opens and parses the movie at `path`. With `random_access`, the kernel is told from
    // the first read on that the reads come in the caller's own order and reads no more
    // than each asks (no read-ahead of its own): for a caller that reads ahead itself.
    static void parse(MovFile* movie, const char16_t* path, bool random_access = false);
    static void closeFile(MovFile* movie);
    static void free(MovFile* movie);

    // Copies up to `count` whole frames of one audio track, as stored, into `destination`;
    // returns how many it copied. The locked form holds readMutex around the read.
    static uint64_t readAudio(MovFile* movie, void* destination, uint32_t track, uint64_t start, uint64_t count);
    static uint64_t readAudioLocked(MovFile* movie, void* destination, uint32_t track, uint64_t start,
                                    uint64_t count);
    // The video's bytes per second of the movie's duration; 0 without frames or rate.
    static float averageByteRate(const MovFile* movie);
    static uint32_t pcmFormat(const MovAudioTrack* track);

    // Parsing steps, public for the tests and the tools.
    static bool parseTrak(TrakAtoms* atoms, const uint8_t* buffer, const AtomHeader& trak);
    static void parseVideoTrack(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer);
    static void parseAudioTrack(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer);
    static void parseStco(MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer);
    static void parseStsz(MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer);
    static void parseStsc(MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer);
    static void parseStts(MovFile* movie, MovTrackTables* tables, const TrakAtoms& atoms, const uint8_t* buffer,
                          uint32_t entryCount, uint32_t maxStarts);
    // `frameDuration` is one output frame of a variable-rate track in time-scale units.
    static void buildSampleTable(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer, uint32_t entryCount,
                                 uint32_t frameDuration);
    static void parseAudioTables(MovFile* movie, MovAudioTrack* track, const TrakAtoms& atoms,
                                 const uint8_t* buffer);
    static void freeTablePair(void** table, uint32_t* count);
    static void freeArray(void** table);
    static void freeTrackTables(MovTrackTables* tables);

    static void parseStsdVideo(MovFile* movie, uint64_t entrySize, const uint8_t* buffer, uint64_t entryPosition);
    static void parseStsdAudio(MovFile* movie, uint64_t entrySize, const uint8_t* buffer, uint64_t entryPosition);
    static void parseTimecodeTrack(MovFile* movie, const TrakAtoms& atoms, const uint8_t* buffer);
    static void parseUdta(MovFile* movie, const uint8_t* buffer, const AtomHeader& udta);
    static void checkProRes(MovFile* movie);
    static void checkDxv(MovFile* movie);
    static void checkDnxHR(MovFile* movie);
};

// Reads one atom header at the stream's position; `limit` is the room left in the file.
bool atom_read_header(AtomHeader* header, std::FILE* file, uint64_t limit);
// Parses one atom header inside the moov buffer; `remaining` counts the bytes from
// `position` to the end of the enclosing payload.
bool atom_parse_header(AtomHeader* header, const uint8_t* buffer, uint64_t position, uint64_t remaining);
