#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
    // The caller runs index 0 itself. While it holds that index without waiting inside
    // the runtime, only a worker can run the others, so on more than one processor a
    // second thread must show up; the wait is bounded so a fault fails instead of
    // hanging, and is long enough for a loaded two-core machine to start its worker.
    const bool several = platform::processor_count() > 1;  // the processors this process may use
    std::mutex lock;
    std::set<std::thread::id> threads;
    std::atomic<int> inner_total{0};
    auto thread_count = [&] {
        std::lock_guard<std::mutex> guard(lock);
        return threads.size();
    };
    platform::parallel_for_each(64, [&](size_t i) {
        {
            std::lock_guard<std::mutex> guard(lock);
            threads.insert(std::this_thread::get_id());
        }
        if (i == 0 && several) {
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (thread_count() < 2 && std::chrono::steady_clock::now() < give_up)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        platform::parallel_for_each(16, [&](size_t) { inner_total.fetch_add(1); });
    });
    EXPECT_EQ(inner_total.load(), 64 * 16);
    if (several) {
        EXPECT_GT(threads.size(), 1u);
    }
}
