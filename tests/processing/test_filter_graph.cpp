// Filter graphs, row slices and the graph tree: ordering, soft and hard input faults,
// capacity limits, and that a graph survives a failing node.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "processing/filter_graph.h"
#include "processing/graph_tree.h"
#include "tests/support/expect_error.h"

namespace {

void set_frame(VideoFrame& f, uint32_t number, uint32_t status = 0) {
    f.frame_number = number;
    f.status = status;
}

// A node that records the order it ran in and can be told to throw.
struct Probe {
    std::vector<int>* log;
    int id;
    bool fail;
};
FilterNode* probe_node(Probe* p) {
    FilterNode* n = filter_alloc(FilterType_Passthrough, 1);
    n->state = p;
    n->process = [](FilterNode* node) {
        Probe* p = static_cast<Probe*>(node->state);
        p->log->push_back(p->id);
        if (p->fail) throw std::runtime_error("probe failed");
        node->output = node->inputs[0];
    };
    return n;
}

}  // namespace

TEST(FilterGraph, PassthroughReturnsTheInputAndCapacityIsEnforced) {
    FilterGraph* g = filter_graph_alloc(2, 1);
    EXPECT_EQ(filter_graph_add_filter(g, create_passthrough_filter()), 0u);
    EXPECT_EQ(filter_graph_add_filter(g, create_passthrough_filter()), 1u);
    FilterNode* third = create_passthrough_filter();
    EXPECT_RUNTIME_ERROR(filter_graph_add_filter(g, third), "Not enough space in filter graph");
    filter_free(third);
    VideoFrame in;
    set_frame(in, 7);
    VideoFrame* frames[] = {&in};
    filter_graph_process(g, frames, 1);
    EXPECT_EQ(g->output, &in);
    EXPECT_EQ(filter_graph_output_frame(g, 1), &in);
    EXPECT_RUNTIME_ERROR(filter_graph_output_frame(g, 2), "Invalid filter index");
    EXPECT_RUNTIME_ERROR(filter_graph_output_frame(nullptr, 0), "No filter graph");
    filter_graph_free(g);
    EXPECT_RUNTIME_ERROR(filter_alloc(0, 0), "Zero input filter");
}

TEST(FilterGraph, InputStatusFaults) {
    FilterGraph* g = filter_graph_alloc(1, 1);
    filter_graph_add_filter(g, create_passthrough_filter());
    VideoFrame corrupt;
    set_frame(corrupt, 3, VideoFrameStatus_Corrupt);
    VideoFrame* frames[] = {&corrupt};
    filter_graph_process(g, frames, 1);
    EXPECT_STREQ(g->error_text, "Corrupt input frame");
    EXPECT_EQ(g->output, &corrupt);
    VideoFrame unreadable;
    set_frame(unreadable, 42, VideoFrameStatus_Invalid);
    frames[0] = &unreadable;
    EXPECT_RUNTIME_ERROR(filter_graph_process(g, frames, 1), "Fail to read frame : 42");
    // Null frames and missing frames are refused, never dereferenced or left stale.
    frames[0] = nullptr;
    EXPECT_RUNTIME_ERROR(filter_graph_process(g, frames, 1), "Invalid null input frame");
    EXPECT_RUNTIME_ERROR(filter_graph_process(g, frames, 0), "No input frame");
    filter_graph_free(g);

    // Without nodes the soft text is set and nothing throws.
    FilterGraph* empty = filter_graph_alloc(0, 1);
    frames[0] = &unreadable;
    filter_graph_process(empty, frames, 1);
    EXPECT_STREQ(empty->error_text, "Fail to read frame");
    EXPECT_EQ(empty->output, &unreadable);
    filter_graph_free(empty);
}

TEST(FilterGraph, ThrowingNodeStopsTheChainAndTheGraphRunsAgain) {
    std::vector<int> log;
    Probe a{&log, 1, false}, b{&log, 2, true}, c{&log, 3, false};
    FilterGraph* g = filter_graph_alloc(3, 1);
    filter_graph_add_filter(g, probe_node(&a));
    filter_graph_add_filter(g, probe_node(&b));
    filter_graph_add_filter(g, probe_node(&c));
    VideoFrame in;
    set_frame(in, 1);
    VideoFrame* frames[] = {&in};
    EXPECT_RUNTIME_ERROR(filter_graph_process(g, frames, 1), "probe failed");
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
    b.fail = false;
    log.clear();
    filter_graph_process(g, frames, 1);
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(g->output, &in);
    filter_graph_free(g);
}

TEST(SliceThreading, SplitsAsDocumented) {
    struct Case {
        uint32_t height, min, cores, count;
        std::vector<uint32_t> heights;  // expected heights, checked when given
    };
    std::vector<uint32_t> h64(64, 16);
    for (int i = 0; i < 56; ++i) h64[i] = 17;
    const Case cases[] = {
        {1080, 1, 8, 8, std::vector<uint32_t>(8, 135)},
        {1080, 1, 64, 64, h64},
        {1080, 1, 200, 64, h64},
        {5, 1, 8, 5, std::vector<uint32_t>(5, 1)},
        {10, 4, 8, 3, {4, 4, 2}},
        {0, 1, 8, 0, {}},
    };
    for (const Case& c : cases) {
        SliceThreadingInfo info;
        slice_threading_init(&info);
        slice_threading_calc(&info, c.height, c.min, c.cores);
        ASSERT_EQ(info.count, c.count) << c.height << " on " << c.cores;
        uint32_t row = 0;
        for (uint32_t i = 0; i < info.count; ++i) {
            EXPECT_EQ(info.start[i], row);
            EXPECT_EQ(info.height[i], c.heights[i]);
            row += info.height[i];
        }
        EXPECT_EQ(row, c.height);
    }
    SliceThreadingInfo info;
    EXPECT_RUNTIME_ERROR(slice_threading_calc(&info, 1080, 0, 8), "Invalid min height slice");
}

TEST(SliceThreading, ZeroReportedProcessorsCountAsOne) {
    slice_threading_set_processor_count_fn([]() -> unsigned { return 0; });
    SliceThreadingInfo info;
    slice_threading_init(&info);
    slice_threading_calc(&info, 1080, 1, 0);
    slice_threading_set_processor_count_fn(nullptr);
    ASSERT_EQ(info.count, 1u);
    EXPECT_EQ(info.height[0], 1080u);
}

TEST(SliceThreading, EverySliceRunsExactlyOnce) {
    SliceThreadingInfo info;
    slice_threading_init(&info);
    slice_threading_calc(&info, 1000, 1, 64);
    std::vector<std::atomic<int>> hits(1000);
    process_slice_threading(
        &info,
        [](uint32_t start, uint32_t rows, void* user) {
            auto* h = static_cast<std::vector<std::atomic<int>>*>(user);
            for (uint32_t r = start; r < start + rows; ++r) (*h)[r]++;
        },
        &hits);
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1);
}

TEST(GraphTree, ConnectsBranchesAndReportsBadConnections) {
    VideoGraphTree* tree = video_graph_tree_alloc(2, 4, 2);
    VideoGraphBranch* first = video_graph_branch_alloc(1, 1);
    video_graph_branch_ensure_filter(first);
    video_graph_branch_connect_input(first, 0);
    video_graph_tree_add_branch(tree, first);
    VideoGraphBranch* second = video_graph_branch_alloc(1, 1);
    video_graph_branch_ensure_filter(second);
    video_graph_branch_connect_prev(tree, second);
    video_graph_tree_add_branch(tree, second);
    video_graph_tree_add_output_last(tree);
    video_graph_tree_add_output_branch(tree, 0);
    EXPECT_RUNTIME_ERROR(video_graph_tree_add_output_last(tree), "Not enough space in array connection");

    VideoFrame a, b;
    set_frame(a, 1);
    set_frame(b, 2);
    VideoFrame* frames[] = {&a, &b};
    video_graph_tree_set_inputs(tree, frames, 2);
    video_graph_tree_process(tree);
    ASSERT_EQ(tree->output_frames.count, 2u);
    EXPECT_EQ(tree->output_frames.frames[0], &a);
    EXPECT_EQ(tree->output_frames.frames[1], &a);

    EXPECT_RUNTIME_ERROR(video_graph_tree_resolve_connection(tree, {kGlobalInputSource, 2}),
                         "Invalid global frame index");
    VideoFrame* five[] = {&a, &a, &a, &a, &a};
    EXPECT_RUNTIME_ERROR(video_graph_tree_set_inputs(tree, five, 5), "Invalid input frames count graph tree");
    EXPECT_EQ(tree->branches[0]->processed, 0);
    EXPECT_RUNTIME_ERROR(video_graph_tree_resolve_connection(tree, {1, 0}), "Can't connect to unprocessed graph");
    // The tree runs again after the faults.
    video_graph_tree_set_inputs(tree, frames, 2);
    video_graph_tree_process(tree);
    EXPECT_EQ(tree->output_frames.frames[0], &a);
    video_graph_tree_free(&tree);
    EXPECT_EQ(tree, nullptr);
}

TEST(GraphTree, ForwardConnectionAndEmptySlotsAreRefused) {
    VideoGraphTree* tree = video_graph_tree_alloc(2, 3, 1);
    VideoGraphBranch* early = video_graph_branch_alloc(1, 1);
    video_graph_branch_ensure_filter(early);
    early->inputs.items[0] = {1, 0};  // names the branch added after it
    early->inputs.count = 1;
    video_graph_tree_add_branch(tree, early);
    VideoGraphBranch* late = video_graph_branch_alloc(1, 1);
    video_graph_branch_ensure_filter(late);
    video_graph_branch_connect_input(late, 1);
    video_graph_tree_add_branch(tree, late);
    video_graph_tree_add_output_last(tree);
    VideoFrame a;
    set_frame(a, 1);
    VideoFrame* frames[] = {&a, nullptr, nullptr};
    video_graph_tree_set_inputs(tree, frames, 3);
    EXPECT_RUNTIME_ERROR(video_graph_tree_process(tree), "Can't connect to unprocessed graph");
    early->inputs.items[0] = {kGlobalInputSource, 0};
    EXPECT_RUNTIME_ERROR(video_graph_tree_process(tree), "Invalid null frame connection");
    video_graph_tree_free(&tree);
    EXPECT_RUNTIME_ERROR(video_graph_tree_alloc(0, 1, 1), "No graph");
    EXPECT_RUNTIME_ERROR(video_graph_tree_alloc(1, 0, 1), "Invalid nb frames for array video frame ref (zero)");
}
