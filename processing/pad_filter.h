#pragma once
// The pad node (type 4): places a picture inside a larger canvas with borders, with
// explicit margins or centred (the odd row on top, the odd column on the left).
// Ownership: the node owns its output frame. Threads: the graph's thread.
// Errors: std::runtime_error with fixed texts; creation frees what it made.
#include <cstdint>

#include "processing/filter_graph.h"

struct PadParams {
    uint32_t transparent_border = 0;  // 0: opaque black (alpha at its maximum); else all zero
    uint32_t format = PixelFormat_RGBA8;  // 1, 2, 4, 5, 6, 7, 8, 9, 10, 13, 14, 17
    uint32_t src_width = 0, src_height = 0;
    uint32_t dst_width = 0, dst_height = 0;  // used when the margins are not explicit
    uint8_t explicit_margins = 0;
    uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

FilterNode* create_pad_filter(const PadParams& params);

// Row fills: (destination row, value, pixel count).
using RowFillFn = void (*)(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_u8(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_u16(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_u32(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_u64(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_rgba32f_black(uint8_t* row, uint64_t value, uint32_t count);  // (0, 0, 0, 1.0)
void fill_row_zero1(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_zero2(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_zero3(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_zero4(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_zero8(uint8_t* row, uint64_t value, uint32_t count);
void fill_row_zero16(uint8_t* row, uint64_t value, uint32_t count);
