#include "platform/parallel_for.h"

#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_group.h>

namespace platform {

void parallel_for(std::size_t count, IndexBody body, void* context) {
    if (count == 0) return;
    if (count <= kFewIterations) {
        // One task per index, all offered at once, the caller taking index 0 straight
        // away: the automatic partitioner would split the range step by step and could
        // hand a thread a run of several heavy iterations.
        tbb::task_group group;
        for (std::size_t i = 1; i < count; ++i) group.run([body, context, i] { body(context, i); });
        try {
            body(context, 0);
        } catch (...) {
            group.wait();
            throw;
        }
        group.wait();
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
