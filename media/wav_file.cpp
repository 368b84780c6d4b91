#include "media/wav_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "media/file_access.h"
#include "platform/file_utf8.h"
#include "base/formats/wstr_to_utf8.h"

namespace {

constexpr uint32_t fourcc_le(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

constexpr uint32_t kRiff = fourcc_le("RIFF");
constexpr uint32_t kRf64 = fourcc_le("RF64");
constexpr uint32_t kWave = fourcc_le("WAVE");
constexpr uint32_t kDs64 = fourcc_le("ds64");
constexpr uint32_t kData = fourcc_le("data");
constexpr uint32_t kFmt = fourcc_le("fmt ");

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 65534;

uint64_t read_u64_le(std::FILE* file) {
    const uint64_t low = file_read_u32_le(file);
    const uint64_t high = file_read_u32_le(file);
    return high << 32 | low;
}

char16_t* clone_path(const char16_t* path) {
    size_t length = 0;
    while (path[length]) ++length;
    const size_t bytes = (length + 1) * sizeof(char16_t);
    auto* copy = static_cast<char16_t*>(std::malloc(bytes));
    if (!copy) {
        std::printf("Fail to alloc str clone : (%zu)\n", length);
        throw std::bad_alloc();
    }
    std::memcpy(copy, path, bytes);
    return copy;
}

// What the chunk walk found; the record's fields are written as each chunk is accepted.
struct ChunkWalk {
    bool fmtFound = false;
    bool dataFound = false;
    bool ds64Found = false;
};

void parse_ds64(WavFile* wav, uint32_t size, ChunkWalk* walk) {
    if (!wav->isRf64) std::printf("WARNING : DS64 chunk found in RIFF file\n");
    if (size < 28) throw std::runtime_error("Invalid ds64 chunk size");
    file_seek_cur(wav->file, 8);  // RIFF size
    wav->dataSize = read_u64_le(wav->file);
    file_seek_cur(wav->file, 8);  // sample count
    wav->ds64TableLength = file_read_u32_le(wav->file);
    if (wav->ds64TableLength != 0) throw std::runtime_error("RF64 file with chunk table unsupported");
    walk->ds64Found = true;
}

void parse_fmt(WavFile* wav, uint32_t size, ChunkWalk* walk) {
    if (size < 16) throw std::runtime_error("Invalid fmt chunk size");
    std::FILE* file = wav->file;
    const uint16_t tag = file_read_u16_le(file);
    const uint16_t channels = file_read_u16_le(file);
    const uint32_t frequency = file_read_u32_le(file);
    file_seek_cur(file, 4 + 2);  // byte rate, block alignment
    const uint16_t bits = file_read_u16_le(file);
    bool is_float;
    if (tag == kFormatPcm) {
        is_float = false;
    } else if (tag == kFormatFloat) {
        is_float = true;
    } else if (tag == kFormatExtensible) {
        if (size < 40) throw std::runtime_error("Invalid fmt wav extensible chunk size");
        file_seek_cur(file, 4 + 4);  // extension size with valid bits, channel mask
        const uint16_t sub_format = file_read_u16_le(file);
        if (sub_format == kFormatPcm) {
            is_float = false;
        } else if (sub_format == kFormatFloat) {
            is_float = true;
        } else {
            throw std::runtime_error("Unsupported audio format (WAV EXTENSIBLE)");
        }
        file_seek_cur(file, 14);  // rest of the sub-format identifier
    } else {
        throw std::runtime_error("Unsupported audio format");
    }
    if (channels == 0) throw std::runtime_error("Invalid channels count (0)");
    if (bits < 8 || bits % 8 != 0) throw std::runtime_error("Unsupported bits per sample : " + std::to_string(bits));
    if (frequency == 0) throw std::runtime_error("Invalid frequency (0)");
    wav->isFloat = is_float ? 1 : 0;
    wav->channels = channels;
    wav->frequency = frequency;
    wav->bitsPerSample = bits;
    walk->fmtFound = true;
}

// Offset of the chunk after the one at `position` whose payload takes `advance`
// bytes (padded to even). False when that offset does not fit in 64 bits: sizes from
// ds64 are 64-bit, and a wrapped sum could send the walk back to an earlier chunk
// and loop for ever.
bool next_chunk_position(uint64_t position, uint64_t advance, uint64_t* next) {
    uint64_t padded;
    if (__builtin_add_overflow(advance, advance & 1, &padded)) return false;
    if (__builtin_add_overflow(position, uint64_t(8), next)) return false;
    return !__builtin_add_overflow(*next, padded, next);
}

// Walks the chunks from offset 12. A failing chunk ends the walk, not the open: what
// was found before it is kept, and the caller decides whether that is enough.
void walk_chunks(WavFile* wav, ChunkWalk* walk) {
    const uint64_t end = wav->fileSize - 8;
    uint64_t position = 12;
    try {
        file_seek(wav->file, position);
        for (;;) {
            const uint32_t id = file_read_u32_le(wav->file);
            const uint32_t size = file_read_u32_le(wav->file);
            uint64_t advance = size;
            if (id == kDs64) {
                parse_ds64(wav, size, walk);
            } else if (id == kData) {
                if (!wav->isRf64) {
                    wav->dataSize = size;
                } else if (wav->dataSize == 0) {
                    throw std::runtime_error("Invalid data chunk size in RF64");
                }
                wav->dataOffset = file_tell(wav->file);
                walk->dataFound = true;
                advance = wav->dataSize;
            } else if (id == kFmt) {
                parse_fmt(wav, size, walk);
            }
            uint64_t next;
            if (!next_chunk_position(position, advance, &next) || next > end) break;
            position = next;
            file_seek(wav->file, position);
        }
    } catch (const std::runtime_error& error) {
        std::printf("WARNING : failed to parse chunk in WAV : %s\n", error.what());
    } catch (...) {
        std::printf("WARNING : failed to parse chunk in WAV (unknown)\n");
    }
}

// The file is named: the import shows this text as it is, and a refused companion
// file was never picked by the user.
[[noreturn]] void throw_too_many_channels(const WavFile* wav) {
    char* utf8 = wstr_to_utf8(wav->path);
    const std::string message = "Unsupported channel count (" + std::to_string(wav->channels) + ", at most " +
                                std::to_string(kWavMaxChannels) + ") : " + (utf8 ? utf8 : "Unknown filepath");
    std::free(utf8);
    throw std::runtime_error(message);
}

}  // namespace

void WavFile::init(WavFile* wav) noexcept { std::memset(static_cast<void*>(wav), 0, sizeof *wav); }

void WavFile::open(WavFile* wav, const char16_t* path) {
    if (!path) throw std::bad_alloc();
    wav->path = clone_path(path);
    wav->readMutex = new std::mutex();

    errno = 0;
    wav->file = platform::fopen_utf16(path, "rb");
    if (!wav->file) file_throw_open_error(path, errno);

    wav->fileSize = file_size(wav->file);
    file_seek(wav->file, 0);
    if (wav->fileSize < 44) throw std::runtime_error("Not enough bytes in wav file");

    const uint32_t riff = file_read_u32_le(wav->file);
    if (riff == kRiff) {
        wav->isRf64 = 0;
    } else if (riff == kRf64) {
        wav->isRf64 = 1;
    } else {
        throw std::runtime_error("Not a riff/rf64 file");
    }
    file_seek_cur(wav->file, 4);  // RIFF size
    if (file_read_u32_le(wav->file) != kWave) throw std::runtime_error("Not a wav file");

    ChunkWalk walk;
    walk_chunks(wav, &walk);

    // Without ds64 an RF64 data chunk has no size and fails in the walk, so ds64 is
    // tested first to name the chunk that is really missing.
    if (wav->isRf64 && !walk.ds64Found) throw std::runtime_error("Can't find valid DS64 Chunk");
    if (!walk.fmtFound) throw std::runtime_error("Can't find valid FMT Chunk");
    if (wav->channels > kWavMaxChannels) throw_too_many_channels(wav);
    if (!walk.dataFound) throw std::runtime_error("Can't find valid DATA Chunk");

    wav->bytesPerFrame = uint64_t(wav->bitsPerSample / 8) * wav->channels;
    // A data size larger than the file (a truncated or still-growing file) counts
    // only the bytes present.
    const uint64_t present = wav->dataOffset <= wav->fileSize ? wav->fileSize - wav->dataOffset : 0;
    const uint64_t usable = wav->dataSize < present ? wav->dataSize : present;
    const uint64_t frames = usable / wav->bytesPerFrame;
    if (frames == 0) throw std::runtime_error("Can't calculate data samples count");
    wav->frameCount = frames;
    wav->durationSeconds = static_cast<float>(frames) / static_cast<float>(wav->frequency);
}

void WavFile::close(WavFile* wav) noexcept {
    if (!wav) return;
    if (wav->file) {
        std::fclose(wav->file);
        wav->file = nullptr;
    }
    std::free(wav->path);
    wav->path = nullptr;
    delete wav->readMutex;
    wav->readMutex = nullptr;
}

uint64_t WavFile::readSamples(WavFile* wav, void* destination, uint64_t start, uint64_t count) {
    if (start >= wav->frameCount) {
        throw std::runtime_error("Can't read samples (invalid start sample : " + std::to_string(start) +
                                 " ; Max samples count : " + std::to_string(wav->frameCount));
    }
    const uint64_t left = wav->frameCount - start;
    const uint64_t frames = count < left ? count : left;
    if (frames == 0) return 0;
    // frameCount x bytesPerFrame never passes the file size, so these cannot wrap.
    const uint64_t bytes = wav->bytesPerFrame * frames;
    if (bytes >= 4294967295u) throw std::runtime_error("Invalid wave size read samples");
    file_read(wav->file, destination, wav->dataOffset + wav->bytesPerFrame * start, static_cast<uint32_t>(bytes));
    return frames;
}

uint64_t WavFile::readSamplesLocked(WavFile* wav, void* destination, uint64_t start, uint64_t count) {
    // A record that was never opened has no lock and no frames: readSamples refuses it.
    if (!wav->readMutex) return readSamples(wav, destination, start, count);
    std::lock_guard<std::mutex> lock(*wav->readMutex);
    return readSamples(wav, destination, start, count);
}

AudioPcmCodec WavFile::checkFormat(const WavFile* wav) {
    if (wav->isFloat) {
        switch (wav->bitsPerSample) {
            case 32: return AudioPcmCodec_F32LE;
            case 64: return AudioPcmCodec_F64LE;
            default:
                std::printf("ERROR : Unsupported wav quantification float %d bits", int(wav->bitsPerSample));
                return AudioPcmCodec_None;
        }
    }
    switch (wav->bitsPerSample) {
        case 8: return AudioPcmCodec_U8;
        case 16: return AudioPcmCodec_S16LE;
        case 24: return AudioPcmCodec_S24LE;
        case 32: return AudioPcmCodec_S32LE;
        default:
            std::printf("ERROR : Unsupported wav quantification int %d bits", int(wav->bitsPerSample));
            return AudioPcmCodec_None;
    }
}
