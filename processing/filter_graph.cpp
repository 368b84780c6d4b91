#include "processing/filter_graph.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/cpu_info.h"
#include "platform/parallel_for.h"

namespace {

ProcessorCountFn g_processor_count = nullptr;

unsigned system_processor_count() {
    const unsigned n = g_processor_count ? g_processor_count() : platform::processor_count();
    return n == 0 ? 1 : n;  // a machine reporting no processor still has the calling one
}

void release_node(FilterNode* node) {
    if (!node) return;
    delete[] node->inputs;
    node->inputs = nullptr;
    if (node->free) node->free(node);
    delete node;
}

}  // namespace

void filter_set_error_text(char* field, const char* text) {
    std::strncpy(field, text ? text : "", kFilterErrorTextSize - 1);
    field[kFilterErrorTextSize - 1] = '\0';
}

FilterNode* filter_alloc(FilterTypeId type, uint32_t input_count) {
    if (input_count == 0) throw std::runtime_error("Zero input filter");
    FilterNode* node = new FilterNode;
    node->type = type;
    node->input_count = input_count;
    try {
        node->inputs = new VideoFrame*[input_count]();
    } catch (...) {
        delete node;
        throw;
    }
    return node;
}

void filter_free(FilterNode* node) { release_node(node); }

FilterGraph* filter_graph_alloc(uint32_t filter_capacity, uint32_t input_count) {
    FilterGraph* graph = new FilterGraph;
    try {
        if (filter_capacity) graph->nodes = new FilterNode*[filter_capacity]();
        if (input_count) graph->inputs = new VideoFrame*[input_count]();
    } catch (...) {
        delete[] graph->nodes;
        delete graph;
        throw;
    }
    graph->capacity = filter_capacity;
    graph->input_count = input_count;
    return graph;
}

uint32_t filter_graph_add_filter(FilterGraph* graph, FilterNode* node) {
    if (!graph) throw std::runtime_error("No filter graph");
    if (graph->count >= graph->capacity) {
        std::printf("Invalid nb filter (%u found), %u already store\n", graph->count, graph->capacity);
        throw std::runtime_error("Not enough space in filter graph");
    }
    graph->nodes[graph->count] = node;
    return graph->count++;
}

void filter_graph_free(FilterGraph* graph) {
    if (!graph) return;
    for (uint32_t i = 0; i < graph->count; ++i) release_node(graph->nodes[i]);
    delete[] graph->nodes;
    delete[] graph->inputs;
    delete graph;
}

VideoFrame* filter_graph_output_frame(const FilterGraph* graph, uint32_t index) {
    if (!graph) throw std::runtime_error("No filter graph");
    if (index >= graph->count) throw std::runtime_error("Invalid filter index");
    VideoFrame* out = graph->nodes[index]->output;
    if (!out) throw std::runtime_error("Invalid output frame graph filter");
    return out;
}

void filter_graph_process(FilterGraph* graph, VideoFrame* const* frames, uint32_t frame_count) {
    if (!graph) throw std::runtime_error("No filter graph");
    const uint32_t taken = frame_count < graph->input_count ? frame_count : graph->input_count;
    graph->error_text[0] = '\0';
    if (graph->input_count > 0 && taken == 0) throw std::runtime_error("No input frame");
    for (uint32_t i = 0; i < taken; ++i)
        if (!frames[i]) throw std::runtime_error("Invalid null input frame");

    if (graph->count == 0 && graph->input_count > 0) {
        VideoFrame* frame = frames[0];
        if (frame->status & VideoFrameStatus_Invalid) {
            filter_set_error_text(graph->error_text, "Fail to read frame");
            std::printf("WARNING : Input : Processing (Fail to read frame : %u)\n", frame->frame_number);
        } else if (frame->status) {
            filter_set_error_text(graph->error_text, "Corrupt input frame");
            std::printf("WARNING : Input : 0 is corrupt\n");
        }
        graph->output = frame;
        return;
    }

    bool corrupt = false;
    for (uint32_t i = 0; i < graph->input_count; ++i) graph->inputs[i] = i < taken ? frames[i] : nullptr;
    for (uint32_t i = 0; i < taken; ++i) {
        const VideoFrame* frame = frames[i];
        if (frame->status & VideoFrameStatus_Invalid)
            throw std::runtime_error("Fail to read frame : " + std::to_string(frame->frame_number));
        if (frame->status) {
            std::printf("WARNING : Input : %u is corrupt\n", i);
            corrupt = true;
        }
    }
    if (corrupt) filter_set_error_text(graph->error_text, "Corrupt input frame");

    for (uint32_t n = 0; n < graph->count; ++n) {
        FilterNode* node = graph->nodes[n];
        if (n == 0) {
            const uint32_t m = node->input_count < graph->input_count ? node->input_count : graph->input_count;
            for (uint32_t i = 0; i < m; ++i) node->inputs[i] = graph->inputs[i];
        } else if (node->input_count > 0) {
            node->inputs[0] = graph->nodes[n - 1]->output;
        }
        try {
            node->process(node);
        } catch (const std::bad_alloc&) {
            std::printf("Fail to process filter : OOM\n");
            throw;
        } catch (const std::runtime_error& e) {
            std::printf("Fail to process filter : %s\n", e.what());
            throw;
        }
    }
    graph->output = graph->count ? graph->nodes[graph->count - 1]->output : nullptr;
}

FilterNode* create_passthrough_filter() {
    FilterNode* node = filter_alloc(FilterType_Passthrough, 1);
    node->free = [](FilterNode*) {};
    node->process = [](FilterNode* n) { n->output = n->inputs[0]; };
    return node;
}

void slice_threading_init(SliceThreadingInfo* info) { std::memset(info, 0, sizeof(*info)); }

void slice_threading_set_processor_count_fn(ProcessorCountFn fn) { g_processor_count = fn; }

void slice_threading_calc(SliceThreadingInfo* info, uint32_t height, uint32_t min_slice_height,
                          uint32_t core_count) {
    info->count = 0;
    if (height == 0) return;
    if (min_slice_height == 0) throw std::runtime_error("Invalid min height slice");
    const uint32_t cores = core_count ? core_count : system_processor_count();
    const uint32_t n = cores < kMaxSlices ? cores : kMaxSlices;
    if (uint64_t(n) * min_slice_height < height) {
        const uint32_t base = height / n;
        const uint32_t extra = height % n;
        uint32_t row = 0;
        for (uint32_t i = 0; i < n; ++i) {
            info->start[i] = row;
            info->height[i] = base + (i < extra ? 1 : 0);
            row += info->height[i];
        }
        info->count = n;
        if (row != height) {
            std::printf("Invlaid height end slice threading : %u (expected : %u) (Nb cores : %u)\n", row, height, n);
            throw std::runtime_error("Fail to calc slice threading (2)");
        }
        return;
    }
    uint32_t row = 0;
    uint32_t count = 0;
    while (row < height && count < n) {
        const uint32_t h = height - row < min_slice_height ? height - row : min_slice_height;
        info->start[count] = row;
        info->height[count] = h;
        row += h;
        ++count;
    }
    info->count = count;
    if (n == 0 || row != height) throw std::runtime_error("Fail to calc slice threading (1)");
}

void process_slice_threading(const SliceThreadingInfo* info, SliceFn fn, void* user_data) {
    if (info->count == 0) return;
    if (info->count == 1) {
        fn(info->start[0], info->height[0], user_data);
        return;
    }
    platform::parallel_for_each(info->count, [info, fn, user_data](std::size_t i) {
        fn(info->start[i], info->height[i], user_data);
    });
}
