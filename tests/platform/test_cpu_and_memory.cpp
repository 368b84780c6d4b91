#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/aligned_memory.h"
#include "platform/cpu_info.h"

TEST(CpuInfo, ProcessorCountIsPositiveAndWithinTheMachine) {
    const unsigned n = platform::processor_count();
    EXPECT_GE(n, 1u);
    if (std::thread::hardware_concurrency() > 0) {
        EXPECT_LE(n, std::thread::hardware_concurrency());
    }
}

TEST(CpuInfo, Avx2AgreesWithTheCompilersOwnTest) {
    __builtin_cpu_init();
    EXPECT_EQ(platform::cpu_has_avx2(), __builtin_cpu_supports("avx2") != 0);
}

TEST(AlignedMemory, BlocksStartOn64BytesAndAreWritable) {
    for (size_t size : {size_t(0), size_t(1), size_t(63), size_t(64), size_t(1000), size_t(1) << 20}) {
        void* block = platform::aligned_alloc64(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
        std::memset(block, 0xA5, size);
        platform::aligned_free64(block);
    }
    platform::aligned_free64(nullptr);
}

TEST(AlignedMemory, ImpossibleSizeGivesNull) {
    EXPECT_EQ(platform::aligned_alloc64(SIZE_MAX - 16), nullptr);
}
