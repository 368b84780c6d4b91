#pragma once
// Engine of the HAP file test: checks every frame of a HAP movie (header parses,
// texture count and codec as the movie declares, every texture decodes to exactly
// the expected byte count).
//
// Frames are read in batches of N (one per logical processor, at most 128) into one
// half of a table of 2N slots; each frame of a batch is then tested on an operating
// system thread of its own while the next batch is read into the other half. The
// reading thread touches a slot's input, target and result only while no test thread
// runs on it: it fills the input before starting the thread and reads the result
// after joining it, so the thread start and join order every access.
//
// Driving order: open; repeat { join_current (review the joined results),
// read_batch (0 ends the loop), start_batch }; swap_and_join (review); release.
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

// Where a test thread decodes the textures of its frame: sized once for the movie.
struct HapCheckTarget {
    uint32_t width;
    uint32_t height;
    uint8_t* textures[2];     // 64-byte aligned; texture 1 only for two-texture codecs
    uint64_t lineSizes[2];    // bytes of one row of 4x4 blocks
    uint32_t blockBytes[2];   // bytes of one block; texture 1's is 0 unless the codec has two textures
    uint32_t byteSizes[2];    // bytes of the whole texture
    uint32_t codec;           // HapCodec
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
    HapCheckSlot_Started = 2,  // test thread running or finished, not yet joined
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
    std::thread* threads = nullptr;
    uint32_t* slotStates = nullptr;  // HapCheckSlotState
};

// Parses the movie and allocates the 2N slots. Throws std::runtime_error ("Invalid zero
// duration", "Unsupported codec", the parser's texts) or std::bad_alloc. Call
// hap_file_checker_release afterwards in every case, also after a throw.
void hap_file_checker_open(HapFileChecker* checker, const char16_t* path);

// Reads the next min(N, frames left) frames into the current half; returns how many
// (0 when every frame has been read). A read error throws std::runtime_error and
// abandons the batch. The current half's threads must have been joined first.
uint32_t hap_file_checker_read_batch(HapFileChecker* checker);

// Starts one test thread per read slot of the current half, then makes the other half
// current. A thread that cannot be created throws std::system_error (the threads
// already started stay recorded and are joined by the join functions or the release).
void hap_file_checker_start_batch(HapFileChecker* checker);

// Joins the started threads of the current half; `first_slot` receives the half's first
// slot, from which the joined results follow. Returns the number joined.
uint32_t hap_file_checker_join_current(HapFileChecker* checker, uint32_t* first_slot);

// Makes the other half current, then joins it as hap_file_checker_join_current.
uint32_t hap_file_checker_swap_and_join(HapFileChecker* checker, uint32_t* first_slot);

// Tests one frame: the body of a test thread. Never throws; faults become the status.
void hap_file_checker_check_frame(const HapCheckInput* input, HapCheckTarget* target, HapCheckResult* result);

// Joins every thread still running, then frees the slots and closes the movie.
void hap_file_checker_release(HapFileChecker* checker);

// Zeroes a target; frees its two texture buffers.
void hap_file_checker_frame_init(HapCheckTarget* target);
void hap_file_checker_frame_free(HapCheckTarget* target);

// Sizes and allocates a target's textures from its width, height and codec. Throws
// std::runtime_error ("size unset", "codec hap unknown", "Texture size too large") or
// std::bad_alloc. A buffer already of the right size is kept.
void dxt_frame_setup_for_hap(HapCheckTarget* target);
