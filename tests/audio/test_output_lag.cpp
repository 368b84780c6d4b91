// The lag of an output behind the clock: what it owes, from readings of what it played.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <random>

#include "audio/output_lag.h"

namespace {

constexpr uint32_t kRate = 48000;

// A device that asks every `period` frames and plays them at the clock's pace; its
// requests may come late (jitter) without it playing less.
struct Device {
    OutputLag lag;
    int64_t nowUs = 1000000;
    int64_t played = 0;
    uint64_t owed = 0;
    std::mt19937 random{7};

    // `cycles` requests of `period` frames, each reading taken up to `jitterUs` late.
    void run(int cycles, int period, int64_t jitterUs) {
        std::uniform_int_distribution<int64_t> late(0, jitterUs);
        const int64_t cycleUs = int64_t(period) * 1000000 / kRate;
        for (int i = 0; i < cycles; ++i) {
            owed += output_lag_note(&lag, nowUs + late(random), played, kRate, OutputReading::AtRequest);
            nowUs += cycleUs;
            played += period;
        }
    }
};

}  // namespace

// A device that went on without the player for a while (no request, as a JACK server's
// cycles while the player was held off) and then asks at its pace again: that time is
// owed once, whatever the jitter of its requests.
TEST(OutputLag, AStallThatStaysIsOwedOnce) {
    for (int period : {256, 1024, 4096}) {
        SCOPED_TRACE("period " + std::to_string(period));
        Device device;
        device.run(int(2 * kRate / period), period, 3000);
        EXPECT_EQ(device.owed, 0u);
        device.nowUs += 100000;  // 100 ms gone by without a request
        device.run(int(2 * kRate / period), period, 3000);
        EXPECT_NEAR(double(device.owed), 4800.0, 200.0);
        const uint64_t once = device.owed;
        device.run(int(2 * kRate / period), period, 3000);
        EXPECT_EQ(device.owed, once) << "owed again";
    }
    // A server that reads in cycles of its own, asked at irregular times, whose graph
    // played 100 ms without the stream.
    for (int64_t cycle : {256, 1024}) {
        SCOPED_TRACE("server cycle " + std::to_string(cycle));
        OutputLag server;
        uint64_t owed = 0;
        std::mt19937 random(5);
        std::uniform_int_distribution<int64_t> every(15000, 30000);
        for (int64_t t = 0; t < 6000000; t += every(random)) {
            const int64_t read = ((t < 3000000 ? t : std::max<int64_t>(3000000, t - 100000)) * kRate / 1000000);
            owed += output_lag_note(&server, t, read / cycle * cycle, kRate, OutputReading::Sampled);
        }
        EXPECT_NEAR(double(owed), 4800.0, double(cycle) + 200.0);
    }
}

// What is not a lag owes nothing: late requests now and then (a busy machine), a
// device that asks twice at once to catch up after a late cycle, a server that reads
// in cycles of its own while it is asked at other times, and a start slower than the
// rest.
TEST(OutputLag, JitterCatchUpAndLargeCyclesOweNothing) {
    Device jittery;
    jittery.run(2000, 256, 6000);
    for (int i = 0; i < 20; ++i) {
        jittery.nowUs += 40000;  // one request 40 ms late...
        jittery.owed += output_lag_note(&jittery.lag, jittery.nowUs, jittery.played, kRate, OutputReading::AtRequest);
        jittery.played += 256;
        jittery.nowUs -= 40000;  // ...then the device's pace again
        jittery.run(100, 256, 6000);
    }
    EXPECT_EQ(jittery.owed, 0u);

    Device catchingUp;
    catchingUp.run(400, 256, 1000);
    for (int i = 0; i < 10; ++i) {
        catchingUp.nowUs += 60000;
        // The cycles it missed, asked at once.
        for (int64_t frames = 0; frames < 60000 * int64_t(kRate) / 1000000; frames += 256) {
            catchingUp.owed += output_lag_note(&catchingUp.lag, catchingUp.nowUs, catchingUp.played, kRate,
                                                    OutputReading::AtRequest);
            catchingUp.played += 256;
        }
        catchingUp.run(200, 256, 1000);
    }
    EXPECT_EQ(catchingUp.owed, 0u);

    // Asked every 15 to 30 ms, read 256, 1024 or 2048 frames at a time.
    uint64_t owed = 0;
    for (int64_t cycle : {256, 1024, 2048}) {
        OutputLag server;
        std::mt19937 random(11);
        std::uniform_int_distribution<int64_t> every(15000, 30000);
        for (int64_t t = 0; t < 20000000; t += every(random)) {
            const int64_t read = (t * kRate / 1000000) / cycle * cycle;
            owed += output_lag_note(&server, 5000000 + t, read, kRate, OutputReading::Sampled);
        }
    }
    EXPECT_EQ(owed, 0u);

    // Its first 100 ms played nothing yet (a sink waking up): its latency, not a lag.
    OutputLag waking;
    owed = 0;
    for (int64_t t = 0; t < 3000000; t += 5000) {
        const int64_t played = t < 100000 ? 0 : (t - 100000) * kRate / 1000000;
        owed += output_lag_note(&waking, 7000000 + t, played, kRate, OutputReading::Sampled);
    }
    EXPECT_EQ(owed, 0u);
}
