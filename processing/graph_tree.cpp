#include "processing/graph_tree.h"

#include <cstdio>
#include <new>
#include <stdexcept>

namespace {

void free_ref_array(VideoFrameRefArray* array) {
    delete[] array->frames;
    *array = VideoFrameRefArray{};
}

void free_connection_array(GraphConnectionArray* array) {
    delete[] array->items;
    *array = GraphConnectionArray{};
}

void append_connection(GraphConnectionArray* array, GraphConnection connection) {
    if (array->count >= array->capacity) {
        std::printf("Not enough space in array connection : max size : %u (used size : %u)\n", array->capacity,
                    array->count);
        throw std::runtime_error("Not enough space in array connection");
    }
    array->items[array->count++] = connection;
}

void append_frame(VideoFrameRefArray* array, VideoFrame* frame) {
    if (array->count >= array->capacity) {
        std::printf("Not enough space to store video frame ref : max size : %u (used size : %u)\n",
                    array->capacity, array->count);
        throw std::runtime_error("Invalid space for array video frame");
    }
    array->frames[array->count++] = frame;
}

void release_branch(VideoGraphBranch* branch) {
    if (!branch) return;
    filter_graph_free(branch->graph);
    free_connection_array(&branch->inputs);
    free_ref_array(&branch->resolved);
    delete branch;
}

void release_tree(VideoGraphTree* tree) {
    if (!tree) return;
    for (uint32_t i = 0; i < tree->branch_count; ++i) release_branch(tree->branches[i]);
    delete[] tree->branches;
    free_ref_array(&tree->global_inputs);
    free_connection_array(&tree->outputs);
    free_ref_array(&tree->output_frames);
    delete tree;
}

}  // namespace

void video_frame_ref_array_init(VideoFrameRefArray* array, uint32_t capacity) {
    if (capacity == 0) throw std::runtime_error("Invalid nb frames for array video frame ref (zero)");
    array->frames = new VideoFrame*[capacity]();
    array->capacity = capacity;
    array->count = 0;
}

void graph_connection_array_init(GraphConnectionArray* array, uint32_t capacity) {
    if (capacity == 0) throw std::runtime_error("Invalid nb tree connection input zero");
    array->items = new GraphConnection[capacity];
    array->capacity = capacity;
    array->count = 0;
}

VideoGraphBranch* video_graph_branch_alloc(uint32_t filter_capacity, uint32_t input_count) {
    VideoGraphBranch* branch = new VideoGraphBranch;
    try {
        branch->graph = filter_graph_alloc(filter_capacity, input_count);
        graph_connection_array_init(&branch->inputs, input_count);
        video_frame_ref_array_init(&branch->resolved, input_count);
    } catch (const std::runtime_error& e) {
        std::printf("Fail to create video graph tree branch : %s\n", e.what());
        release_branch(branch);
        throw;
    } catch (const std::bad_alloc&) {
        std::printf("Not enough memory to allocate graph tree branch\n");
        release_branch(branch);
        throw;
    }
    return branch;
}

uint32_t video_graph_branch_add_filter(VideoGraphBranch* branch, FilterNode* node) {
    return filter_graph_add_filter(branch->graph, node);
}

void video_graph_branch_ensure_filter(VideoGraphBranch* branch) {
    if (!branch->graph) throw std::runtime_error("No graph in branch");
    if (branch->graph->count > 0) return;
    FilterNode* node = create_passthrough_filter();
    try {
        filter_graph_add_filter(branch->graph, node);
    } catch (...) {
        filter_free(node);
        throw;
    }
}

void video_graph_branch_connect_input(VideoGraphBranch* branch, uint32_t global_frame_index) {
    append_connection(&branch->inputs, {kGlobalInputSource, global_frame_index});
}

void video_graph_branch_connect_prev(const VideoGraphTree* tree, VideoGraphBranch* branch) {
    if (tree->branch_count == 0) throw std::runtime_error("No prev graph");
    const uint32_t last = tree->branch_count - 1;
    append_connection(&branch->inputs, {last, video_graph_branch_last_filter_index(tree->branches[last])});
}

uint32_t video_graph_branch_last_filter_index(const VideoGraphBranch* branch) {
    if (!branch->graph) throw std::runtime_error("invalid graph");
    if (branch->graph->count == 0) {
        std::printf("Empty graph branch\n");
        throw std::runtime_error("Empty graph branch");
    }
    return branch->graph->count - 1;
}

void video_graph_branch_free(VideoGraphBranch** branch) {
    if (!branch || !*branch) return;
    release_branch(*branch);
    *branch = nullptr;
}

VideoGraphTree* video_graph_tree_alloc(uint32_t branch_capacity, uint32_t input_capacity,
                                       uint32_t output_capacity) {
    VideoGraphTree* tree = new VideoGraphTree;
    try {
        video_frame_ref_array_init(&tree->global_inputs, input_capacity);
        if (branch_capacity == 0) throw std::runtime_error("No graph");
        tree->branches = new VideoGraphBranch*[branch_capacity]();
        tree->branch_capacity = branch_capacity;
        video_frame_ref_array_init(&tree->output_frames, output_capacity);
        graph_connection_array_init(&tree->outputs, output_capacity);
    } catch (const std::runtime_error& e) {
        std::printf("Fail to create video graph tree : %s\n", e.what());
        release_tree(tree);
        throw;
    } catch (const std::bad_alloc&) {
        std::printf("Not enough memory to allocate graph tree\n");
        release_tree(tree);
        throw;
    }
    return tree;
}

void video_graph_tree_add_branch(VideoGraphTree* tree, VideoGraphBranch* branch) {
    if (tree->branch_count >= tree->branch_capacity) {
        std::printf("Not enough space to store tree branch : max size : %u (used size : %u)\n",
                    tree->branch_capacity, tree->branch_count);
        throw std::runtime_error("Invalid space for video graph branch");
    }
    tree->branches[tree->branch_count++] = branch;
}

void video_graph_tree_add_output_branch(VideoGraphTree* tree, uint32_t branch_index) {
    if (branch_index >= tree->branch_count) throw std::runtime_error("Invalid graph prev index");
    append_connection(&tree->outputs,
                      {branch_index, video_graph_branch_last_filter_index(tree->branches[branch_index])});
}

void video_graph_tree_add_output_last(VideoGraphTree* tree) {
    if (tree->branch_count == 0) throw std::runtime_error("Invalid last graph : no graph");
    video_graph_tree_add_output_branch(tree, tree->branch_count - 1);
}

void video_graph_tree_set_inputs(VideoGraphTree* tree, VideoFrame* const* frames, uint32_t count) {
    for (uint32_t i = 0; i < tree->branch_count; ++i) tree->branches[i]->processed = 0;
    tree->output_frames.count = 0;
    if (count > tree->global_inputs.capacity) {
        std::printf("ERROR : Too much input frames for graph (Nb inputs : %d ; Max nb Frames : %d)\n",
                    static_cast<int>(count), static_cast<int>(tree->global_inputs.capacity));
        throw std::runtime_error("Invalid input frames count graph tree");
    }
    for (uint32_t i = 0; i < tree->global_inputs.capacity; ++i)
        tree->global_inputs.frames[i] = i < count ? frames[i] : nullptr;
    tree->global_inputs.count = count;
}

VideoFrame* video_graph_tree_resolve_connection(const VideoGraphTree* tree, const GraphConnection& connection) {
    VideoFrame* frame = nullptr;
    if (connection.source_branch == kGlobalInputSource) {
        if (connection.frame_index >= tree->global_inputs.count) {
            std::printf("Input frame outside array (index : %u ; Nb global frames : %u)\n", connection.frame_index,
                        tree->global_inputs.count);
            throw std::runtime_error("Invalid global frame index");
        }
        frame = tree->global_inputs.frames[connection.frame_index];
    } else {
        if (connection.source_branch >= tree->branch_count) throw std::runtime_error("Invalid graph index");
        const VideoGraphBranch* source = tree->branches[connection.source_branch];
        if (source->processed != 1) throw std::runtime_error("Can't connect to unprocessed graph");
        frame = filter_graph_output_frame(source->graph, connection.frame_index);
    }
    // An empty global slot is never handed to a graph as if it were a picture.
    if (!frame) throw std::runtime_error("Invalid null frame connection");
    return frame;
}

void video_graph_tree_process(VideoGraphTree* tree) {
    for (uint32_t b = 0; b < tree->branch_count; ++b) {
        VideoGraphBranch* branch = tree->branches[b];
        branch->resolved.count = 0;
        for (uint32_t c = 0; c < branch->inputs.count; ++c)
            append_frame(&branch->resolved, video_graph_tree_resolve_connection(tree, branch->inputs.items[c]));
        if (branch->resolved.count != branch->inputs.count) {
            std::printf("Inputs frames : %u != Branch connexions count : %u\n", branch->resolved.count,
                        branch->inputs.count);
            throw std::runtime_error("Can't connect all inputs for branch processing");
        }
        filter_graph_process(branch->graph, branch->resolved.frames, branch->resolved.count);
        branch->processed = 1;
    }
    tree->output_frames.count = 0;
    for (uint32_t c = 0; c < tree->outputs.count; ++c)
        append_frame(&tree->output_frames, video_graph_tree_resolve_connection(tree, tree->outputs.items[c]));
    if (tree->output_frames.count != tree->outputs.count)
        throw std::runtime_error("Invalid output frame connections");
}

void video_graph_tree_free(VideoGraphTree** tree) {
    if (!tree || !*tree) return;
    release_tree(*tree);
    *tree = nullptr;
}
