#pragma once
// A tree of filter graphs: each graph sits in a branch whose inputs are connections
// to the tree's global input frames or to the output of a node of an earlier branch.
// Branches run in the order they were added, so connections only point backwards.
//
// Ownership: the tree owns its branches, a branch owns its graph; frames are borrowed.
// Threads: one thread builds, runs and frees a tree.
// Errors: std::runtime_error with fixed texts (std::bad_alloc for memory); after any
// exception the tree can be run again or freed.
#include <cstdint>

#include "processing/filter_graph.h"

constexpr uint32_t kGlobalInputSource = 0xFFFFFFFFu;

struct GraphConnection {
    uint32_t source_branch = kGlobalInputSource;
    uint32_t frame_index = 0;  // global input index, or node index in the source branch
};

struct GraphConnectionArray {
    GraphConnection* items = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
};

struct VideoFrameRefArray {
    VideoFrame** frames = nullptr;
    uint32_t capacity = 0;
    uint32_t count = 0;
};

struct VideoGraphBranch {
    FilterGraph* graph = nullptr;
    GraphConnectionArray inputs;
    VideoFrameRefArray resolved;
    uint8_t processed = 0;
};

struct VideoGraphTree {
    VideoFrameRefArray global_inputs;
    VideoGraphBranch** branches = nullptr;
    uint32_t branch_count = 0;
    uint32_t branch_capacity = 0;
    GraphConnectionArray outputs;
    VideoFrameRefArray output_frames;
};

void video_frame_ref_array_init(VideoFrameRefArray* array, uint32_t capacity);
void graph_connection_array_init(GraphConnectionArray* array, uint32_t capacity);

VideoGraphBranch* video_graph_branch_alloc(uint32_t filter_capacity, uint32_t input_count);
uint32_t video_graph_branch_add_filter(VideoGraphBranch* branch, FilterNode* node);
void video_graph_branch_ensure_filter(VideoGraphBranch* branch);
void video_graph_branch_connect_input(VideoGraphBranch* branch, uint32_t global_frame_index);
void video_graph_branch_connect_prev(const VideoGraphTree* tree, VideoGraphBranch* branch);
uint32_t video_graph_branch_last_filter_index(const VideoGraphBranch* branch);
void video_graph_branch_free(VideoGraphBranch** branch);

VideoGraphTree* video_graph_tree_alloc(uint32_t branch_capacity, uint32_t input_capacity,
                                       uint32_t output_capacity);
// Takes ownership of the branch (only when it returns normally).
void video_graph_tree_add_branch(VideoGraphTree* tree, VideoGraphBranch* branch);
void video_graph_tree_add_output_branch(VideoGraphTree* tree, uint32_t branch_index);
void video_graph_tree_add_output_last(VideoGraphTree* tree);
void video_graph_tree_set_inputs(VideoGraphTree* tree, VideoFrame* const* frames, uint32_t count);
// A connection that resolves to a null frame throws "Invalid null frame connection".
VideoFrame* video_graph_tree_resolve_connection(const VideoGraphTree* tree, const GraphConnection& connection);
void video_graph_tree_process(VideoGraphTree* tree);
void video_graph_tree_free(VideoGraphTree** tree);
