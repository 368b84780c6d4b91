#pragma once
// A parallel loop over [0, count) on a work-stealing task runtime (oneTBB with its
// automatic partitioner). Returns when every iteration has run. Safe to call from
// any thread, including workers of Qt's pool and from inside another parallel loop.
#include <cstddef>
#include <type_traits>

namespace platform {

using IndexBody = void (*)(void* context, std::size_t index);

void parallel_for(std::size_t count, IndexBody body, void* context);

// Convenience for lambdas: body(index) for every index in [0, count).
template <typename Body>
void parallel_for_each(std::size_t count, Body&& body) {
    parallel_for(
        count,
        [](void* ctx, std::size_t i) { (*static_cast<std::remove_reference_t<Body>*>(ctx))(i); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

}  // namespace platform
