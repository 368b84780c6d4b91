#pragma once
// Engine of the HAP file test: checks every frame of a HAP movie (header parses,
// texture count and codec as the movie declares, every texture decodes to exactly
// the expected byte count).
//
// Frames are read in batches of N (one per logical processor, at most 128) into one
// half of a table of 2N slots; each frame of a batch is then tested by its slot's
// worker while the next batch is read into the other half. The 2N workers are threads
// of the checker's own, one per slot, started by open and ended by release, so a movie
// of many small frames does not pay an operating-system thread start per frame. The
// reading thread touches a slot's input, target and result only while the slot's worker
// is not testing it: it fills the input before handing the slot over and reads the
// result after the worker has handed it back (an atomic hand-over word per slot, written
// with release and read with acquire ordering, orders every access).
//
// A slot's textures are reserved by its worker when a frame needs them, for what that
// frame's bytes can decode to, at most the picture's texture size: a small file that
// declares a huge picture reserves no more than its frames can fill.
//
// Driving order: open; repeat { join_current (review the joined results),
// read_batch (0 ends the loop), start_batch }; swap_and_join (review); release.
#include <atomic>
#include <cstdint>
#include <thread>

#include "media/hap_frame.h"
#include "media/mov_file.h"
#include "media/pad_buffer.h"

// One frame's compressed bytes, as read from the movie.
struct HapCheckInput {
    PadBuffer bytes;
    uint32_t byteCount;
    uint32_t frameIndex;
};

// Where a slot's worker decodes the textures of its frame. The layout is set once for
// the movie; the buffers grow when a frame needs more room.
struct HapCheckTarget {
    uint32_t width;
    uint32_t height;
    uint8_t* textures[2];     // 64-byte aligned; texture 1 only for two-texture codecs
    uint64_t lineSizes[2];    // bytes of one row of 4x4 blocks
    uint32_t blockBytes[2];   // bytes of one block; texture 1's is 0 unless the codec has two textures
    uint32_t byteSizes[2];    // bytes of the whole texture: what a valid frame decodes to
    uint32_t codec;           // HapCodec
    uint32_t capacities[2];   // bytes allocated at textures[t] (0 while none is)
};

enum HapCheckStatus : uint32_t {
    HapCheckStatus_Valid = 0,
    HapCheckStatus_InvalidHeader = 2,         // the frame header could not be parsed
    HapCheckStatus_InvalidTextureCount = 4,   // texture count differs from the codec's
    HapCheckStatus_InvalidCodec = 8,          // the frame's codec differs from the movie's
    HapCheckStatus_CorruptTexture = 16,       // a texture failed to decode, or to the wrong byte count
    HapCheckStatus_EmptyFrame = 32,           // the frame holds 0 bytes
};

struct HapCheckResult {
    uint32_t frameIndex;
    uint32_t status;  // HapCheckStatus
    uint32_t textureCount;
    uint32_t chunkCounts[2];
};

enum HapCheckSlotState : uint32_t {
    HapCheckSlot_Idle = 0,
    HapCheckSlot_Read = 1,     // bytes read, test not started
    HapCheckSlot_Started = 2,  // handed to the slot's worker, not yet joined
};

// The hand-over word of a slot, between the reading thread and the slot's worker.
enum HapCheckTurn : uint32_t {
    HapCheckTurn_Idle = 0,   // the worker waits; the slot belongs to the reading thread
    HapCheckTurn_Check = 1,  // the worker tests the slot's frame, then stores Idle
    HapCheckTurn_Exit = 2,   // the worker ends (stored by release, only while Idle)
};

struct HapFileChecker {
    MovFile movie{};
    uint32_t framesChecked = 0;   // frames whose test has been joined
    uint32_t threadsPerHalf = 0;  // N
    uint32_t currentHalf = 0;     // 0 or 1; slots of half h are h*N .. h*N + N - 1
    uint32_t nextFrame = 0;       // next frame to read

    // Kept for the file test task, which alone reads and writes them; open resets them.
    uint32_t expectedChunkCount = 0xFFFFFFFF;  // unset until the first valid frame
    uint32_t validFrames = 0;
    uint32_t invalidFrames = 0;
    uint32_t inconsistentChunkFrames = 0;

    // 2N of each.
    HapCheckInput* inputs = nullptr;
    HapCheckTarget* targets = nullptr;
    HapCheckResult* results = nullptr;
    std::atomic<uint32_t>* turns = nullptr;  // HapCheckTurn
    std::thread* threads = nullptr;          // the slots' workers
    uint32_t* slotStates = nullptr;          // HapCheckSlotState, the reading thread's own
};

// Parses the movie, allocates the 2N slots and starts their workers. Throws
// std::runtime_error ("Invalid zero duration", "Unsupported codec", "Texture size too
// large", the parser's texts), std::bad_alloc or std::system_error (a worker that
// cannot be started). Call hap_file_checker_release afterwards in every case, also
// after a throw. The functions below, except hap_file_checker_check_frame, are called by
// the one thread that opened the checker.
void hap_file_checker_open(HapFileChecker* checker, const char16_t* path);

// Reads the next min(N, frames left) frames into the current half; returns how many
// (0 when every frame has been read). A read error throws std::runtime_error and
// abandons the batch. The current half must have been joined first (std::logic_error).
uint32_t hap_file_checker_read_batch(HapFileChecker* checker);

// Hands each read slot of the current half to its worker, then makes the other half
// current. Never throws.
void hap_file_checker_start_batch(HapFileChecker* checker);

// Waits until the workers of the current half's started slots have handed them back;
// `first_slot` receives the half's first slot, from which the joined results follow.
// Returns the number joined.
uint32_t hap_file_checker_join_current(HapFileChecker* checker, uint32_t* first_slot);

// Makes the other half current, then joins it as hap_file_checker_join_current.
uint32_t hap_file_checker_swap_and_join(HapFileChecker* checker, uint32_t* first_slot);

// Tests one frame: what a worker does with its slot. Never throws; faults become the
// status (an allocation failure too: "invalid frame header", as any error raised while
// decoding). Reserves the target's textures as the frame needs them.
void hap_file_checker_check_frame(const HapCheckInput* input, HapCheckTarget* target, HapCheckResult* result);

// Waits for the frames still under test, ends and joins the workers, then frees the
// slots and closes the movie. Harmless on a released or never opened (zeroed) checker.
void hap_file_checker_release(HapFileChecker* checker);

// Zeroes a target; frees its two texture buffers.
void hap_file_checker_frame_init(HapCheckTarget* target);
void hap_file_checker_frame_free(HapCheckTarget* target);

// Sizes and allocates a target's textures, whole, from its width, height and codec.
// Throws std::runtime_error ("size unset", "codec hap unknown", "Texture size too
// large") or std::bad_alloc. A buffer already of the right size is kept.
void dxt_frame_setup_for_hap(HapCheckTarget* target);
