#include "platform/parallel_for.h"

#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

namespace platform {

void parallel_for(std::size_t count, IndexBody body, void* context) {
    if (count == 0) return;
    tbb::parallel_for(
        std::size_t(0), count, [body, context](std::size_t i) { body(context, i); },
        tbb::auto_partitioner());
}

}  // namespace platform
