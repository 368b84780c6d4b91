#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <mutex>
#include <vector>

#include "platform/cpu_info.h"
#include "platform/parallel_for.h"

TEST(ParallelFor, RunsEveryIndexExactlyOnce) {
    for (size_t count : {size_t(0), size_t(1), size_t(2), size_t(7), size_t(64), size_t(10000)}) {
        std::vector<std::atomic<int>> hits(count);
        platform::parallel_for_each(count, [&](size_t i) { hits[i].fetch_add(1); });
        for (size_t i = 0; i < count; ++i) ASSERT_EQ(hits[i].load(), 1) << "index " << i << " of " << count;
    }
}

TEST(ParallelFor, SpreadsWorkOverThreadsAndNests) {
    std::mutex lock;
    std::set<std::thread::id> threads;
    std::atomic<int> inner_total{0};
    platform::parallel_for_each(64, [&](size_t) {
        {
            std::lock_guard<std::mutex> guard(lock);
            threads.insert(std::this_thread::get_id());
        }
        platform::parallel_for_each(16, [&](size_t) { inner_total.fetch_add(1); });
        volatile double sink = 0;
        for (int k = 0; k < 20000; ++k) sink = sink + k;
    });
    EXPECT_EQ(inner_total.load(), 64 * 16);
    if (platform::processor_count() > 1) {  // the processors this process may use
        EXPECT_GT(threads.size(), 1u);
    }
}
