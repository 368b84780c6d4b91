#pragma once
// Filter nodes and filter graphs: a node turns its input frames into one output
// frame through a process callback; a graph runs a chain of nodes in order.
//
// Ownership: a graph owns its nodes; a node owns its private state (released by its
// free callback) but only borrows its input frames. Output frames belong to the node
// that made them (or are borrowed inputs, for pass-through kinds) and stay valid
// until the next run or until the graph is freed.
// Threads: a graph and its nodes belong to the thread that processes them.
// Errors: std::runtime_error with a fixed English text (std::bad_alloc for memory);
// after an exception the graph stays valid for another run or for freeing.
#include <cstdint>

#include "media/video_frame.h"

using FilterTypeId = uint32_t;

enum : FilterTypeId {
    FilterType_Passthrough = 0,
    FilterType_Scale = 1,
    FilterType_Pad = 4,
    FilterType_BgMerge = 6,
    FilterType_SafeArea = 11,
    FilterType_VideoArea = 12,
    FilterType_HapDecode = 25,
    FilterType_DxtDecode = 26,
    FilterType_PngEncode = 35,
    FilterType_JpegEncode = 36,
};

constexpr uint32_t kFilterErrorTextSize = 256;

struct FilterNode;
using FilterProcessFn = void (*)(FilterNode* node);
using FilterFreeFn = void (*)(FilterNode* node);

struct FilterNode {
    FilterTypeId type = FilterType_Passthrough;
    void* state = nullptr;
    VideoFrame** inputs = nullptr;  // borrowed frames, one per slot
    uint32_t input_count = 0;
    VideoFrame* output = nullptr;
    char error_text[kFilterErrorTextSize] = {};
    FilterProcessFn process = nullptr;
    FilterFreeFn free = nullptr;
};

struct FilterGraph {
    FilterNode** nodes = nullptr;
    uint32_t capacity = 0;
    uint32_t count = 0;
    VideoFrame** inputs = nullptr;
    uint32_t input_count = 0;
    VideoFrame* output = nullptr;
    char error_text[kFilterErrorTextSize] = {};
};

// Copies at most 255 characters and always ends the text.
void filter_set_error_text(char* field, const char* text);

// Input count 0 throws "Zero input filter".
FilterNode* filter_alloc(FilterTypeId type, uint32_t input_count);
// Frees a node that was never added to a graph; null is ignored.
void filter_free(FilterNode* node);

FilterGraph* filter_graph_alloc(uint32_t filter_capacity, uint32_t input_count);
// Takes ownership of the node; throws "Not enough space in filter graph" when full
// (the node then still belongs to the caller).
uint32_t filter_graph_add_filter(FilterGraph* graph, FilterNode* node);
void filter_graph_free(FilterGraph* graph);
VideoFrame* filter_graph_output_frame(const FilterGraph* graph, uint32_t index);
// Runs every node on the given frames. A null frame among those taken throws
// "Invalid null input frame", a frame count of 0 on a graph with inputs throws
// "No input frame"; input slots beyond the frames given are cleared.
void filter_graph_process(FilterGraph* graph, VideoFrame* const* frames, uint32_t frame_count);

FilterNode* create_passthrough_filter();

// Row slices of one picture, at most 64.
constexpr uint32_t kMaxSlices = 64;
struct SliceThreadingInfo {
    uint32_t start[kMaxSlices];
    uint32_t height[kMaxSlices];
    uint32_t count;
};
using SliceFn = void (*)(uint32_t start_row, uint32_t slice_height, void* user_data);

void slice_threading_init(SliceThreadingInfo* info);
// Core count 0 takes the processor count (a reported 0 counts as 1).
void slice_threading_calc(SliceThreadingInfo* info, uint32_t height, uint32_t min_slice_height,
                          uint32_t core_count);
void process_slice_threading(const SliceThreadingInfo* info, SliceFn fn, void* user_data);

// Where slice_threading_calc asks for the processor count; null restores the
// platform's answer. For tests that play machines other than this one.
using ProcessorCountFn = unsigned (*)();
void slice_threading_set_processor_count_fn(ProcessorCountFn fn);
