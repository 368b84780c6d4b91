#pragma once
// Reader of companion audio files: RIFF WAVE and its 64-bit form RF64, with integer
// PCM or IEEE float samples, plain or extensible format. The format and the sample
// data are found once at opening; afterwards whole interleaved frames are copied, as
// stored, from any position. Errors are thrown as std::runtime_error with fixed
// texts; damaged but usable files are reported on standard output.
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "base/pcm/audio_data.h"

// The most channels a file may have: channel i starts routed to bit i of a 64-bit
// output mask, so later channels would have no route of their own, and the player
// sizes its routing blocks and builds a row of the mapping panel per channel. A
// larger count, which a crafted header states in two bytes, is refused at opening.
constexpr uint16_t kWavMaxChannels = 64;

struct WavFile {
    std::FILE* file;          // open stream (read, binary)
    char16_t* path;           // owned zero-terminated copy of the path
    std::mutex* readMutex;    // owned; serialises readSamplesLocked
    uint8_t isRf64;           // 1 for an RF64 file
    uint16_t channels;
    uint16_t bitsPerSample;   // a multiple of 8
    uint8_t isFloat;          // 1 for IEEE float samples
    uint32_t frequency;       // samples per second
    uint64_t fileSize;
    uint64_t dataOffset;      // file offset of the first sample byte
    uint64_t frameCount;      // whole sample frames present in the file
    uint64_t bytesPerFrame;   // (bitsPerSample / 8) x channels
    float durationSeconds;    // frameCount / frequency
    uint32_t ds64TableLength; // chunk table length of ds64 (0 in an accepted file)
    uint64_t dataSize;        // sample data length from the data chunk or from ds64

    // Zeroes the record.
    static void init(WavFile* wav) noexcept;
    // Opens and parses the file. Throws on failure and leaves the record for close();
    // more channels than kWavMaxChannels throw a text that names the file.
    static void open(WavFile* wav, const char16_t* path);
    // Closes the stream and frees what open() allocated; safe on a partly opened record.
    static void close(WavFile* wav) noexcept;
    // Copies up to `count` whole frames from frame `start` into `destination` and
    // returns how many were copied. A start at or past frameCount throws. One owner only.
    static uint64_t readSamples(WavFile* wav, void* destination, uint64_t start, uint64_t count);
    // The same under readMutex, for records shared between threads.
    static uint64_t readSamplesLocked(WavFile* wav, void* destination, uint64_t start, uint64_t count);
    // The PCM codec of the samples; AudioPcmCodec_None (printed) when unsupported.
    static AudioPcmCodec checkFormat(const WavFile* wav);
};
