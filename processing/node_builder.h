#pragma once
// What every node kind does the same way: build a one-input node around its own
// state (freeing what was made when a step fails), free that state, and fetch the
// state and input a process callback works on.
#include <stdexcept>

#include "processing/filter_graph.h"

// `init(state)` fills a new State and returns the node's output frame (null when a
// run sets it). On any failure `release(state)` (which accepts null and a half-filled
// state) runs, the node is freed and the exception goes on.
template <class State, class Init>
FilterNode* build_filter_node(FilterTypeId type, Init&& init, void (*release)(State*), FilterProcessFn process,
                              FilterFreeFn free) {
    FilterNode* node = filter_alloc(type, 1);
    State* state = nullptr;
    VideoFrame* output = nullptr;
    try {
        state = new State;
        output = init(state);
    } catch (...) {
        release(state);
        filter_free(node);
        throw;
    }
    node->state = state;
    node->output = output;
    node->process = process;
    node->free = free;
    return node;
}

// The free callback of a node whose state `Release` frees.
template <class State, void (*Release)(State*)>
void free_filter_state(FilterNode* node) {
    Release(static_cast<State*>(node->state));
    node->state = nullptr;
}

// The node's state; throws "Invalid intern data" when it has none.
template <class State>
State* filter_state(FilterNode* node) {
    if (!node->state) throw std::runtime_error("Invalid intern data");
    return static_cast<State*>(node->state);
}

// Input slot 0; throws `missing` when it is empty.
inline VideoFrame* filter_input(FilterNode* node, const char* missing = "Invalid inputs") {
    VideoFrame* in = node->inputs ? node->inputs[0] : nullptr;
    if (!in) throw std::runtime_error(missing);
    return in;
}
