#include "platform/parallel_for.h"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

namespace platform {

void parallel_for(std::size_t count, IndexBody body, void* context) {
    if (count == 0) return;
    if (count <= kFewIterations) {
        // One task per index: the automatic partitioner would hand a thread a run of
        // several heavy iterations at once.
        tbb::parallel_for(
            tbb::blocked_range<std::size_t>(0, count, 1),
            [body, context](const tbb::blocked_range<std::size_t>& range) {
                for (std::size_t i = range.begin(); i != range.end(); ++i) body(context, i);
            },
            tbb::simple_partitioner());
        return;
    }
    tbb::parallel_for(
        std::size_t(0), count, [body, context](std::size_t i) { body(context, i); }, tbb::auto_partitioner());
}

struct ParallelismLimit::Control {
    tbb::global_control control;
    explicit Control(std::size_t threads)
        : control(tbb::global_control::max_allowed_parallelism, threads == 0 ? 1 : threads) {}
};

ParallelismLimit::ParallelismLimit(std::size_t threads) : m_control(std::make_unique<Control>(threads)) {}

ParallelismLimit::~ParallelismLimit() = default;

}  // namespace platform
