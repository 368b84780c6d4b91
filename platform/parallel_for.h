#pragma once
// A parallel loop over [0, count) on a work-stealing task runtime (oneTBB). Returns
// when every iteration has run. Safe to call from any thread, including workers of
// Qt's pool and from inside another parallel loop.
//
// Few iterations (up to kFewIterations) are taken to be heavy ones, such as the
// chunks of a texture or the channel-seconds of an audio refill: each becomes a task
// of its own, all offered to the workers at once while the caller runs the first, so
// an idle worker can take any one of them and none waits behind another on a thread
// that is busy or preempted. More iterations are grouped by the runtime's automatic
// partitioner.
#include <cstddef>
#include <memory>
#include <type_traits>

namespace platform {

using IndexBody = void (*)(void* context, std::size_t index);

inline constexpr std::size_t kFewIterations = 64;

void parallel_for(std::size_t count, IndexBody body, void* context);

// Convenience for lambdas: body(index) for every index in [0, count).
template <typename Body>
void parallel_for_each(std::size_t count, Body&& body) {
    parallel_for(
        count,
        [](void* ctx, std::size_t i) { (*static_cast<std::remove_reference_t<Body>*>(ctx))(i); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

// While it lives, every parallel loop of the process runs on at most `threads` threads
// (the caller included); 1 runs each loop on its calling thread alone. For
// benchmarks and tests that set a parallel result beside the serial one; create and
// destroy it on one thread while no loop runs.
class ParallelismLimit {
public:
    explicit ParallelismLimit(std::size_t threads);
    ~ParallelismLimit();
    ParallelismLimit(const ParallelismLimit&) = delete;
    ParallelismLimit& operator=(const ParallelismLimit&) = delete;

private:
    struct Control;
    std::unique_ptr<Control> m_control;
};

}  // namespace platform
