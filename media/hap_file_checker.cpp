#include "media/hap_file_checker.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>

#include "media/file_access.h"
#include "media/hap_decoder.h"
#include "platform/aligned_memory.h"
#include "platform/cpu_info.h"

namespace {

constexpr uint32_t kMaxThreadsPerHalf = 128;

uint32_t codec_of_fourcc(uint32_t fourcc) {
    switch (fourcc) {
        case mov_fourcc("Hap1"): return HapCodec_Hap1;
        case mov_fourcc("Hap5"): return HapCodec_Hap5;
        case mov_fourcc("HapY"): return HapCodec_HapY;
        case mov_fourcc("HapM"): return HapCodec_HapM;
        case mov_fourcc("HapA"): return HapCodec_HapA;
        case mov_fourcc("Hap7"): return HapCodec_Hap7;
        default: throw std::runtime_error("Unsupported codec");
    }
}

uint32_t slot_count(const HapFileChecker* checker) { return checker->threadsPerHalf * 2; }

void free_texture(HapCheckTarget* target, int t) {
    platform::aligned_free64(target->textures[t]);
    target->textures[t] = nullptr;
    target->capacities[t] = 0;
}

// Gives texture t room for `bytes`, keeping a buffer already that size.
void reserve_texture(HapCheckTarget* target, int t, uint32_t bytes) {
    if (target->textures[t] && target->capacities[t] == bytes) return;
    free_texture(target, t);
    // Never a null buffer: the decoder refuses one, even for a texture of no bytes.
    target->textures[t] = static_cast<uint8_t*>(platform::aligned_alloc64(std::max<uint32_t>(bytes, 64)));
    if (!target->textures[t]) throw std::bad_alloc();
    target->capacities[t] = bytes;
}

// Sets the block bytes, line sizes and texture sizes of the target's codec and picture,
// without allocating anything.
void layout_target(HapCheckTarget* target) {
    if (target->width == 0 || target->height == 0) throw std::runtime_error("size unset");
    switch (target->codec) {
        case HapCodec_Hap1:
        case HapCodec_HapA: target->blockBytes[0] = 8; target->blockBytes[1] = 0; break;
        case HapCodec_Hap5:
        case HapCodec_HapY:
        case HapCodec_Hap7: target->blockBytes[0] = 16; target->blockBytes[1] = 0; break;
        case HapCodec_HapM: target->blockBytes[0] = 16; target->blockBytes[1] = 8; break;
        default: throw std::runtime_error("codec hap unknown");
    }
    const uint64_t across = (uint64_t(target->width) + 3) / 4;
    const uint64_t down = (uint64_t(target->height) + 3) / 4;
    for (int t = 0; t < 2; ++t) {
        const uint64_t line = across * target->blockBytes[t];
        const uint64_t size = line * down;
        // The decoder addresses a texture with 32-bit sizes.
        if (size > std::numeric_limits<uint32_t>::max()) throw std::runtime_error("Texture size too large");
        target->lineSizes[t] = line;
        target->byteSizes[t] = static_cast<uint32_t>(size);
    }
}

// The most that one texture of a frame of `frame_bytes` bytes, cut into `chunks`
// chunks, can decode to. A stored section or chunk decodes to its own bytes; a snappy
// block to at most 64/3 times its bytes (its longest element copies 64 bytes for 3), and
// anything longer than it declares fails to decode. Every chunk lies in the frame.
uint64_t decodable_bytes(uint32_t frame_bytes, uint32_t chunks) {
    return uint64_t(std::max(chunks, 1u)) * ((uint64_t(frame_bytes) * 64 + 2) / 3);
}

// Waits until the slot's worker has handed the slot back.
void wait_handed_back(std::atomic<uint32_t>& turn) {
    for (uint32_t now = turn.load(std::memory_order_acquire); now == HapCheckTurn_Check;
         now = turn.load(std::memory_order_acquire))
        turn.wait(HapCheckTurn_Check, std::memory_order_acquire);
}

// A slot's worker: tests the slot's frame each time the slot is handed over, until
// release tells it to end.
void slot_worker(HapFileChecker* checker, uint32_t slot) {
    std::atomic<uint32_t>& turn = checker->turns[slot];
    for (;;) {
        turn.wait(HapCheckTurn_Idle, std::memory_order_acquire);
        const uint32_t now = turn.load(std::memory_order_acquire);
        if (now == HapCheckTurn_Exit) return;
        if (now != HapCheckTurn_Check) continue;
        hap_file_checker_check_frame(&checker->inputs[slot], &checker->targets[slot], &checker->results[slot]);
        turn.store(HapCheckTurn_Idle, std::memory_order_release);
        turn.notify_one();
    }
}

uint32_t join_half(HapFileChecker* checker, uint32_t* first_slot) {
    const uint32_t first = checker->currentHalf * checker->threadsPerHalf;
    if (first_slot) *first_slot = first;
    uint32_t joined = 0;
    for (uint32_t slot = first; slot < first + checker->threadsPerHalf; ++slot) {
        if (checker->slotStates[slot] != HapCheckSlot_Started) continue;
        wait_handed_back(checker->turns[slot]);
        checker->slotStates[slot] = HapCheckSlot_Idle;
        ++joined;
    }
    checker->framesChecked += joined;
    return joined;
}

}  // namespace

void hap_file_checker_frame_init(HapCheckTarget* target) { *target = HapCheckTarget{}; }

void hap_file_checker_frame_free(HapCheckTarget* target) {
    if (!target) return;
    free_texture(target, 0);
    free_texture(target, 1);
}

void dxt_frame_setup_for_hap(HapCheckTarget* target) {
    layout_target(target);
    reserve_texture(target, 0, target->byteSizes[0]);
    // A target re-used for a one-texture codec keeps no stale second texture.
    if (target->blockBytes[1] != 0)
        reserve_texture(target, 1, target->byteSizes[1]);
    else
        free_texture(target, 1);
}

void hap_file_checker_open(HapFileChecker* checker, const char16_t* path) {
    MovFile::init(&checker->movie);
    checker->threadsPerHalf = std::min(std::max(platform::processor_count(), 1u), kMaxThreadsPerHalf);
    checker->currentHalf = 0;
    checker->nextFrame = 0;
    checker->framesChecked = 0;
    checker->expectedChunkCount = 0xFFFFFFFF;
    checker->validFrames = 0;
    checker->invalidFrames = 0;
    checker->inconsistentChunkFrames = 0;
    checker->inputs = nullptr;
    checker->targets = nullptr;
    checker->results = nullptr;
    checker->turns = nullptr;
    checker->threads = nullptr;
    checker->slotStates = nullptr;

    MovFile::parse(&checker->movie, path);
    // A video codec the parser does not know leaves a frame count but no frame table:
    // there is no frame to check.
    if (checker->movie.frameCount == 0 || !checker->movie.frameTable)
        throw std::runtime_error("Invalid zero duration");
    const uint32_t codec = codec_of_fourcc(checker->movie.codec);

    const uint32_t slots = slot_count(checker);
    checker->slotStates = new uint32_t[slots]();
    checker->turns = new std::atomic<uint32_t>[slots]();
    checker->threads = new std::thread[slots];
    checker->results = new HapCheckResult[slots]();
    checker->inputs = new HapCheckInput[slots]();
    for (uint32_t i = 0; i < slots; ++i) PadBuffer::init(&checker->inputs[i].bytes);
    checker->targets = new HapCheckTarget[slots];
    for (uint32_t i = 0; i < slots; ++i) hap_file_checker_frame_init(&checker->targets[i]);
    for (uint32_t i = 0; i < slots; ++i) {
        HapCheckTarget* target = &checker->targets[i];
        target->width = checker->movie.width;
        target->height = checker->movie.height;
        target->codec = codec;
        layout_target(target);
    }
    for (uint32_t i = 0; i < slots; ++i) checker->threads[i] = std::thread(slot_worker, checker, i);
}

uint32_t hap_file_checker_read_batch(HapFileChecker* checker) {
    const uint32_t left = checker->movie.frameCount - checker->nextFrame;
    const uint32_t count = std::min(checker->threadsPerHalf, left);
    if (count == 0) return 0;
    const uint32_t first = checker->currentHalf * checker->threadsPerHalf;
    for (uint32_t i = 0; i < count; ++i) {
        // Refilling a slot whose thread has not been joined would race with that thread.
        if (checker->slotStates[first + i] == HapCheckSlot_Started)
            throw std::logic_error("Frame slot still under test");
    }
    try {
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t slot = first + i;
            const uint32_t frame = checker->nextFrame + i;
            const FrameIndexEntry& entry = checker->movie.frameTable[frame];
            HapCheckInput* input = &checker->inputs[slot];
            // An empty frame (a table entry the walk never reached) has nothing to read.
            if (entry.size != 0) {
                PadBuffer::alloc(&input->bytes, entry.size);
                file_read_at(checker->movie.file, input->bytes.data, entry.offset, entry.size);
            }
            input->bytes.length = entry.size;
            input->byteCount = entry.size;
            input->frameIndex = frame;
            checker->slotStates[slot] = HapCheckSlot_Read;
        }
    } catch (...) {
        // The batch is abandoned: none of its frames may be started.
        for (uint32_t i = 0; i < count; ++i) checker->slotStates[first + i] = HapCheckSlot_Idle;
        throw;
    }
    checker->nextFrame += count;
    return count;
}

void hap_file_checker_start_batch(HapFileChecker* checker) {
    const uint32_t first = checker->currentHalf * checker->threadsPerHalf;
    for (uint32_t slot = first; slot < first + checker->threadsPerHalf; ++slot) {
        if (checker->slotStates[slot] != HapCheckSlot_Read) break;
        checker->slotStates[slot] = HapCheckSlot_Started;
        checker->turns[slot].store(HapCheckTurn_Check, std::memory_order_release);
        checker->turns[slot].notify_one();
    }
    checker->currentHalf = 1 - checker->currentHalf;
}

uint32_t hap_file_checker_join_current(HapFileChecker* checker, uint32_t* first_slot) {
    return join_half(checker, first_slot);
}

uint32_t hap_file_checker_swap_and_join(HapFileChecker* checker, uint32_t* first_slot) {
    checker->currentHalf = 1 - checker->currentHalf;
    return join_half(checker, first_slot);
}

void hap_file_checker_check_frame(const HapCheckInput* input, HapCheckTarget* target, HapCheckResult* result) {
    *result = HapCheckResult{};
    result->frameIndex = input->frameIndex;
    if (input->byteCount == 0) {
        result->status = HapCheckStatus_EmptyFrame;
        return;
    }
    try {
        HapFrame frame;
        hap_frame_init_from_memory(&frame, target->width, target->height, input->bytes.data, input->byteCount);
        result->textureCount = frame.texture_count;
        result->chunkCounts[0] = frame.chunk_counts[0];
        result->chunkCounts[1] = frame.chunk_counts[1];

        const uint32_t expected_textures = target->codec == HapCodec_HapM ? 2 : 1;
        if (frame.texture_count != expected_textures) {
            result->status = HapCheckStatus_InvalidTextureCount;
            return;
        }
        if (frame.codec != target->codec) {
            result->status = HapCheckStatus_InvalidCodec;
            return;
        }
        // Serial decode: the frames of a batch already run side by side.
        for (uint32_t t = 0; t < expected_textures; ++t) {
            // Room for what these bytes can decode to: a texture that would need more
            // fails to decode in any room, so the result is the same as with the whole
            // texture's, which a small file declaring a huge picture never gets.
            const uint64_t room = std::min<uint64_t>(target->byteSizes[t],
                                                     decodable_bytes(input->byteCount, result->chunkCounts[t]));
            if (target->capacities[t] < room) reserve_texture(target, int(t), static_cast<uint32_t>(room));
            uint32_t decoded = 0;
            uint32_t format = 0;
            const HapResult r = HapDecode(input->bytes.data, input->byteCount, t, hap_decode_callback_serial,
                                          nullptr, target->textures[t],
                                          std::min(target->capacities[t], target->byteSizes[t]), &decoded, &format);
            if (r != HapResult_No_Error) {
                result->status = HapCheckStatus_CorruptTexture;
            } else if (decoded != target->byteSizes[t]) {
                std::printf("ERR : decoding tex %u : Nb bytes decode (%lu) != nb bytes dst : (%u)\n", t,
                            static_cast<unsigned long>(decoded), target->byteSizes[t]);
                result->status = HapCheckStatus_CorruptTexture;
            }
        }
    } catch (...) {
        // Nothing may leave a thread body; a frame that cannot be described is a bad header.
        result->status = HapCheckStatus_InvalidHeader;
    }
}

void hap_file_checker_release(HapFileChecker* checker) {
    if (!checker) return;
    const uint32_t slots = slot_count(checker);
    // End the workers first: a frame still under test uses its slot's input and target.
    // A worker is told to end only once it has handed its slot back, so that its own
    // hand-back cannot overwrite the order.
    if (checker->threads) {
        for (uint32_t i = 0; i < slots; ++i) {
            if (!checker->threads[i].joinable()) continue;
            wait_handed_back(checker->turns[i]);
            checker->turns[i].store(HapCheckTurn_Exit, std::memory_order_release);
            checker->turns[i].notify_one();
            checker->threads[i].join();
        }
    }
    delete[] checker->threads;
    checker->threads = nullptr;
    delete[] checker->turns;
    checker->turns = nullptr;
    delete[] checker->slotStates;
    checker->slotStates = nullptr;
    if (checker->inputs) {
        for (uint32_t i = 0; i < slots; ++i) PadBuffer::free(&checker->inputs[i].bytes);
    }
    delete[] checker->inputs;
    checker->inputs = nullptr;
    if (checker->targets) {
        for (uint32_t i = 0; i < slots; ++i) hap_file_checker_frame_free(&checker->targets[i]);
    }
    delete[] checker->targets;
    checker->targets = nullptr;
    delete[] checker->results;
    checker->results = nullptr;
    MovFile::closeFile(&checker->movie);
    MovFile::free(&checker->movie);
}
