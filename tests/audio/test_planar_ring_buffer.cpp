#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include <atomic>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/planar_ring_buffer.h"
#include "tests/support/expect_error.h"

namespace {

// The library takes its page size from soundio_create(): rings need a context first.
class PlanarRingBufferTest : public testing::Test {
protected:
    static void SetUpTestSuite() { m_context = soundio_create(); }
    static void TearDownTestSuite() {
        soundio_destroy(m_context);
        m_context = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(m_context, nullptr);
        planar_ring_buffer_init(&m_rb);
    }
    void TearDown() override { planar_ring_buffer_destroy(&m_rb); }

    uint32_t writable(uint8_t** planes = nullptr) {
        std::vector<uint8_t*> scratch(m_rb.planeCount);
        uint32_t frames = 0xDEAD;
        planar_ring_buffer_get_write(&m_rb, &frames, planes ? planes : scratch.data());
        return frames;
    }
    uint32_t readable(uint8_t** planes = nullptr) {
        std::vector<uint8_t*> scratch(m_rb.planeCount);
        uint32_t frames = 0;
        planar_ring_buffer_get_read(&m_rb, &frames, planes ? planes : scratch.data());
        return frames;
    }

    static SoundIo* m_context;
    PlanarRingBuffer m_rb;
};
SoundIo* PlanarRingBufferTest::m_context = nullptr;

TEST_F(PlanarRingBufferTest, ReserveHidesThePageRounding) {
    struct Case {
        uint32_t planes, frequency, frames, reserve;
    };
    // Source ring, output ring and peak ring of the player, 4-byte floats.
    for (const Case c : {Case{2, 48000, 240000, 640}, Case{8, 48000, 1920, 128}, Case{6, 1920, 3, 1021}}) {
        SCOPED_TRACE(c.frames);
        planar_ring_buffer_create(m_context, &m_rb, c.planes, c.frequency, c.frames, 4);
        EXPECT_EQ(m_rb.planeCount, c.planes);
        EXPECT_EQ(m_rb.frequency, c.frequency);
        EXPECT_EQ(m_rb.frames, c.frames);
        EXPECT_EQ(m_rb.bytesPerSample, 4u);
        EXPECT_EQ(m_rb.reserve, c.reserve);
        EXPECT_EQ(writable(), c.frames);
        EXPECT_EQ(readable(), 0u);
        // Filling the asked capacity leaves nothing writable although the library has room.
        planar_ring_buffer_advance_write(&m_rb, c.frames);
        EXPECT_EQ(writable(), 0u);
        EXPECT_EQ(readable(), c.frames);
        planar_ring_buffer_destroy(&m_rb);
        EXPECT_EQ(m_rb.planes, nullptr);
    }
    // A sample size that does not divide the page: 4096 bytes hold 1365 3-byte samples.
    planar_ring_buffer_create(m_context, &m_rb, 1, 48000, 1000, 3);
    EXPECT_EQ(m_rb.reserve, 365u);
    EXPECT_EQ(writable(), 1000u);
    planar_ring_buffer_advance_write(&m_rb, 1);
    EXPECT_EQ(writable(), 999u);
}

TEST_F(PlanarRingBufferTest, FramesWrittenInEveryPlaneAreReadBackThenCleared) {
    planar_ring_buffer_create(m_context, &m_rb, 6, 48000, 1920, 4);
    uint8_t* w[6];
    ASSERT_EQ(writable(w), 1920u);
    for (uint32_t p = 0; p < 6; ++p) {
        float* plane = reinterpret_cast<float*>(w[p]);
        for (uint32_t i = 0; i < 100; ++i) plane[i] = static_cast<float>(p * 1000 + i);
    }
    planar_ring_buffer_advance_write(&m_rb, 100);
    EXPECT_EQ(writable(), 1820u);
    uint8_t* r[6];
    ASSERT_EQ(readable(r), 100u);
    for (uint32_t p = 0; p < 6; ++p) {
        const float* plane = reinterpret_cast<const float*>(r[p]);
        for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(plane[i], static_cast<float>(p * 1000 + i)) << p << " " << i;
    }
    planar_ring_buffer_advance_read(&m_rb, 40);
    EXPECT_EQ(readable(r), 60u);
    EXPECT_EQ(reinterpret_cast<const float*>(r[3])[0], 3040.0f);
    planar_ring_buffer_clear(&m_rb);
    EXPECT_EQ(readable(), 0u);
    EXPECT_EQ(writable(), 1920u);
}

TEST_F(PlanarRingBufferTest, WrapAroundKeepsEachBlockContiguous) {
    // 1000 frames of 4 bytes sit in one 4096-byte page: the third block of 700 frames
    // crosses the end of the library's memory.
    planar_ring_buffer_create(m_context, &m_rb, 2, 48000, 1000, 4);
    uint32_t next_written = 0, next_read = 0;
    for (int round = 0; round < 20; ++round) {
        uint8_t* w[2];
        ASSERT_GE(writable(w), 700u);
        for (uint32_t p = 0; p < 2; ++p) {
            uint32_t* plane = reinterpret_cast<uint32_t*>(w[p]);
            for (uint32_t i = 0; i < 700; ++i) plane[i] = (next_written + i) * 2 + p;
        }
        next_written += 700;
        planar_ring_buffer_advance_write(&m_rb, 700);
        uint8_t* r[2];
        ASSERT_EQ(readable(r), 700u);
        for (uint32_t p = 0; p < 2; ++p) {
            const uint32_t* plane = reinterpret_cast<const uint32_t*>(r[p]);
            for (uint32_t i = 0; i < 700; ++i) ASSERT_EQ(plane[i], (next_read + i) * 2 + p) << round;
        }
        next_read += 700;
        planar_ring_buffer_advance_read(&m_rb, 700);
    }
}

TEST_F(PlanarRingBufferTest, CountsAreTheSmallestOverPlanes) {
    // A producer advances the planes one after another: the consumer sees only the
    // frames every plane already has.
    planar_ring_buffer_create(m_context, &m_rb, 3, 48000, 1000, 4);
    soundio_ring_buffer_advance_write_ptr(m_rb.planes[0], 400);
    soundio_ring_buffer_advance_write_ptr(m_rb.planes[1], 200);
    EXPECT_EQ(readable(), 0u);
    EXPECT_EQ(writable(), 900u);
    soundio_ring_buffer_advance_write_ptr(m_rb.planes[2], 200);
    EXPECT_EQ(readable(), 50u);
    EXPECT_EQ(writable(), 900u);
}

TEST_F(PlanarRingBufferTest, AdvancesBeyondTheCountsAreLimited) {
    // The library aborts the process when an offset passes the other side's.
    planar_ring_buffer_create(m_context, &m_rb, 2, 48000, 1000, 4);
    planar_ring_buffer_advance_write(&m_rb, 5000);
    EXPECT_EQ(readable(), 1000u);
    EXPECT_EQ(writable(), 0u);
    planar_ring_buffer_advance_write(&m_rb, 1);
    EXPECT_EQ(readable(), 1000u);
    planar_ring_buffer_advance_read(&m_rb, 5000);
    EXPECT_EQ(readable(), 0u);
    planar_ring_buffer_advance_read(&m_rb, 1);
    EXPECT_EQ(readable(), 0u);
    EXPECT_EQ(writable(), 1000u);
}

TEST_F(PlanarRingBufferTest, CreationChecksInOrder) {
    EXPECT_RUNTIME_ERROR(planar_ring_buffer_create(m_context, nullptr, 0, 0, 0, 0), "Unallocated ring buffer p");
    EXPECT_RUNTIME_ERROR(planar_ring_buffer_create(m_context, &m_rb, 0, 0, 0, 0), "Invalid plane count (0)");
    EXPECT_RUNTIME_ERROR(planar_ring_buffer_create(m_context, &m_rb, 1, 0, 0, 0), "Invalid frequency (0)");
    EXPECT_RUNTIME_ERROR(planar_ring_buffer_create(m_context, &m_rb, 1, 48000, 0, 0), "Invalid nb samples (0)");
    EXPECT_RUNTIME_ERROR(planar_ring_buffer_create(m_context, &m_rb, 1, 48000, 10, 0), "Invalid byte per sample (0)");
    EXPECT_EQ(m_rb.planes, nullptr);
    EXPECT_EQ(m_rb.planeCount, 0u);

    // A size the library cannot take is refused, not wrapped into a small ring.
    testing::internal::CaptureStdout();
    EXPECT_THROW(planar_ring_buffer_create(m_context, &m_rb, 2, 48000, 0xFFFFFFFFu, 4), std::bad_alloc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR : Fail to create ring buffer for : 17179869180\n");
    EXPECT_EQ(m_rb.planeCount, 2u);
    EXPECT_EQ(m_rb.frames, 0xFFFFFFFFu);
    ASSERT_NE(m_rb.planes, nullptr);
    EXPECT_EQ(m_rb.planes[0], nullptr);
    // A half-built record reports nothing either way and is destroyed by its owner.
    EXPECT_EQ(writable(), 0u);
    EXPECT_EQ(readable(), 0u);
    planar_ring_buffer_advance_write(&m_rb, 10);
    planar_ring_buffer_destroy(&m_rb);
    EXPECT_EQ(m_rb.planes, nullptr);
}

TEST_F(PlanarRingBufferTest, LifecycleCallsAreHarmlessOutOfOrder) {
    // Initialised only: nothing to destroy, nothing to read or write.
    planar_ring_buffer_destroy(&m_rb);
    planar_ring_buffer_destroy(nullptr);
    planar_ring_buffer_clear(&m_rb);
    uint32_t frames = 77;
    planar_ring_buffer_get_read(&m_rb, &frames, nullptr);
    EXPECT_EQ(frames, 77u);  // left untouched without rings
    planar_ring_buffer_get_write(&m_rb, &frames, nullptr);
    EXPECT_EQ(frames, 0u);
    planar_ring_buffer_advance_read(&m_rb, 5);

    // Recreated with another layout, with and without a destroy in between.
    planar_ring_buffer_create(m_context, &m_rb, 2, 48000, 1920, 4);
    planar_ring_buffer_advance_write(&m_rb, 10);
    planar_ring_buffer_create(m_context, &m_rb, 6, 48000, 1920, 4);
    EXPECT_EQ(readable(), 0u);
    planar_ring_buffer_destroy(&m_rb);
    planar_ring_buffer_destroy(&m_rb);
    planar_ring_buffer_create(m_context, &m_rb, 1, 48000, 3, 4);
    EXPECT_EQ(writable(), 3u);
}

TEST_F(PlanarRingBufferTest, ProducerAndConsumerThreadsPassEverySampleInOrder) {
    constexpr uint32_t kPlanes = 3;
    constexpr uint64_t kTotal = 10'000'000;
    planar_ring_buffer_create(m_context, &m_rb, kPlanes, 48000, 4800, 4);
    auto value = [](uint64_t frame, uint32_t plane) { return static_cast<uint32_t>(frame * 7919u + plane); };

    std::thread producer([&] {
        std::mt19937 random(1);
        std::uniform_int_distribution<uint32_t> chunk(1, 2000);
        uint64_t written = 0;
        while (written < kTotal) {
            uint8_t* w[kPlanes];
            uint32_t frames = 0;
            planar_ring_buffer_get_write(&m_rb, &frames, w);
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>({frames, chunk(random), kTotal - written}));
            if (n == 0) {
                std::this_thread::yield();
                continue;
            }
            for (uint32_t p = 0; p < kPlanes; ++p) {
                uint32_t* plane = reinterpret_cast<uint32_t*>(w[p]);
                for (uint32_t i = 0; i < n; ++i) plane[i] = value(written + i, p);
            }
            planar_ring_buffer_advance_write(&m_rb, n);
            written += n;
        }
    });

    std::mt19937 random(2);
    std::uniform_int_distribution<uint32_t> chunk(1, 2000);
    uint64_t read = 0, mismatches = 0;
    while (read < kTotal) {
        uint8_t* r[kPlanes];
        uint32_t frames = 0;
        planar_ring_buffer_get_read(&m_rb, &frames, r);
        const uint32_t n = std::min(frames, chunk(random));
        if (n == 0) {
            std::this_thread::yield();
            continue;
        }
        for (uint32_t p = 0; p < kPlanes; ++p) {
            const uint32_t* plane = reinterpret_cast<const uint32_t*>(r[p]);
            for (uint32_t i = 0; i < n; ++i) mismatches += plane[i] != value(read + i, p);
        }
        planar_ring_buffer_advance_read(&m_rb, n);
        read += n;
    }
    producer.join();
    EXPECT_EQ(read, kTotal);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(readable(), 0u);
}

}  // namespace
