// The transport arithmetic and the playback clock: what the user sees when stepping,
// jumping, playing once or looping, and whether the picture keeps time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/playback_clock.h"
#include "app/transport_rules.h"
#include "widget_app.h"

TEST(TransportRules, SpeedLimits) {
    struct Row {
        int32_t speed;
        uint32_t frames;
        int32_t expected;
    } rows[] = {{1, 100, 1},   {2, 100, 2},   {3, 100, 3},   {4, 100, 4},    {8, 100, 16},  {16, 100, 16},
                {-5, 100, -16}, {-4, 100, -4}, {1, 1, 0},     {-16, 1, 0},    {0, 100, 0}};
    for (const Row& row : rows)
        EXPECT_EQ(transport_clamp_speed(row.speed, row.frames), row.expected) << row.speed << " " << row.frames;
    EXPECT_TRUE(transport_speed_has_audio(-2));
    EXPECT_TRUE(transport_speed_has_audio(2));
    EXPECT_FALSE(transport_speed_has_audio(4));
    EXPECT_FALSE(transport_speed_has_audio(-16));
}

TEST(TransportRules, PlayRangeAndBrokenPoints) {
    TransportRange r = transport_play_range(100, -1, -1);
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.hi, 99u);
    r = transport_play_range(100, 20, 40);
    EXPECT_EQ(r.lo, 20u);
    EXPECT_EQ(r.hi, 40u);
    r = transport_play_range(100, 500, -1);  // an in point past the end counts as the last frame
    EXPECT_EQ(r.lo, 99u);
    EXPECT_EQ(r.hi, 99u);
    EXPECT_THROW(transport_play_range(0, -1, -1), std::runtime_error);
    try {
        transport_play_range(100, 50, 10);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid out point");
    }
}

TEST(TransportRules, PausedSteps) {
    const TransportRange whole{0, 99};
    const TransportRange points{20, 40};
    struct Row {
        uint32_t current;
        int64_t delta;
        TransportRange range;
        bool loop;
        uint32_t expected;
    } rows[] = {
        {0, 1, whole, false, 1},      {0, 3, whole, false, 3},     {0, -1, whole, false, 0},
        {99, 1, whole, false, 99},    {99, 1, whole, true, 0},     {0, -1, whole, true, 99},
        {95, 10, whole, true, 5},     {5, -10, whole, true, 95},   {40, 1, points, true, 20},
        {40, 1, points, false, 40},   {20, -1, points, true, 40},  {30, 1000, points, false, 40},
        {30, 21, points, true, 30},   {30, 22, points, true, 31},  {5, 0, points, false, 20},
        {50, 25, whole, false, 75},   {7, 1, TransportRange{7, 7}, true, 7},
    };
    for (const Row& row : rows)
        EXPECT_EQ(transport_seek_target(row.current, row.delta, row.range, row.loop), row.expected)
            << row.current << " + " << row.delta << (row.loop ? " loop" : " once");
}

TEST(TransportRules, PlayOnceStopsAndRestarts) {
    // Forward stops on the last frame or on the out point, reverse on 0 or the in point.
    EXPECT_TRUE(transport_play_once_stops(1, 99, 100, -1, -1));
    EXPECT_FALSE(transport_play_once_stops(1, 98, 100, -1, -1));
    EXPECT_TRUE(transport_play_once_stops(2, 40, 100, 20, 40));
    EXPECT_TRUE(transport_play_once_stops(-1, 0, 100, -1, -1));
    EXPECT_TRUE(transport_play_once_stops(-1, 20, 100, 20, 40));
    EXPECT_FALSE(transport_play_once_stops(-1, 40, 100, 20, 40));

    // A start at the end of the playable range plays it again from its start.
    EXPECT_EQ(transport_play_once_start_frame(1, 99, 100, -1, -1), 0u);
    EXPECT_EQ(transport_play_once_start_frame(1, 40, 100, 20, 40), 20u);
    EXPECT_EQ(transport_play_once_start_frame(1, 60, 100, 20, 40), 20u);
    EXPECT_EQ(transport_play_once_start_frame(1, 30, 100, 20, 40), 30u);
    EXPECT_EQ(transport_play_once_start_frame(-1, 0, 100, -1, -1), 99u);
    EXPECT_EQ(transport_play_once_start_frame(-1, 20, 100, 20, 40), 40u);
    EXPECT_EQ(transport_play_once_start_frame(-1, 50, 100, -1, -1), 50u);
}

TEST(TransportRules, AudioRange) {
    TransportAudioRange r = transport_audio_range(-1, -1, 25.0, 4.0);
    EXPECT_DOUBLE_EQ(r.start, 0.0);
    EXPECT_DOUBLE_EQ(r.end, 4.0);
    r = transport_audio_range(20, 39, 25.0, 4.0);
    EXPECT_DOUBLE_EQ(r.start, 0.8);
    EXPECT_DOUBLE_EQ(r.end, 1.6);
    r = transport_audio_range(0, -1, 25.0, 4.0);
    EXPECT_DOUBLE_EQ(r.start, 0.0);
    r = transport_audio_range(10, 20, 0.0, 4.0);  // no rate: the whole movie, no division
    EXPECT_DOUBLE_EQ(r.start, 0.0);
    EXPECT_DOUBLE_EQ(r.end, 4.0);
}

TEST(PlaybackClock, KeepsTimeWithoutDrift) {
    widget_app();
    // Each tick's time is taken on a clock started just before the playback clock, so
    // no tick can look earlier than it was. A clock re-armed with the truncated 16 ms
    // interval runs 4 % fast: tick 90 would come 60 ms before its due time. A clock
    // re-armed one period after each tick runs slow: its lateness only grows. The exact
    // schedule is never early, and however late the event loop lets a tick through, it
    // catches up, so some tick of the second half of the run comes within two periods of
    // its due time. A long stall of the whole process says nothing about drift: the run
    // is then made again.
    const double period = 1000.0 / 60.0;
    for (int attempt = 1;; ++attempt) {
        PlaybackClock clock;
        QElapsedTimer wall;
        std::vector<double> times;  // ms since just before the start
        std::vector<uint64_t> numbers;  // the tick each one stood for
        QObject::connect(&clock, &PlaybackClock::tick, [&] {
            times.push_back(static_cast<double>(wall.nsecsElapsed()) / 1e6);
            numbers.push_back(clock.ticks());
        });
        wall.start();
        clock.start(60.0);
        EXPECT_EQ(clock.nominalIntervalMs(), 16);
        QTest::qWait(1500);
        clock.stop();
        const size_t count = times.size();
        double longestGap = count ? times[0] : 1500.0;
        for (size_t k = 1; k < count; ++k) longestGap = std::max(longestGap, times[k] - times[k - 1]);
        if (longestGap > 400.0 && attempt < 3) continue;
        ASSERT_GE(count, 20u) << "the clock barely ticked";
        size_t early = 0;
        double leastLate = 1e9;
        for (size_t k = 0; k < count; ++k) {
            const double due = static_cast<double>(numbers[k]) * period;
            if (times[k] < due - 1.0) ++early;  // the wait is cut to whole milliseconds
            if (k >= count / 2) leastLate = std::min(leastLate, times[k] - due);
        }
        EXPECT_EQ(early, 0u) << "ticks before their due time: the schedule runs fast";
        EXPECT_LT(leastLate, 2.0 * period) << "no tick caught up with the schedule: it runs slow";
        const size_t after = times.size();
        QTest::qWait(100);
        EXPECT_EQ(times.size(), after) << "no tick after stop";
        break;
    }
}

TEST(PlaybackClock, RefusesNoRateAndSurvivesRestartFromItsOwnTick) {
    widget_app();
    PlaybackClock clock;
    clock.start(0.0);
    EXPECT_FALSE(clock.isRunning());
    int seen = 0;
    QObject::connect(&clock, &PlaybackClock::tick, [&] {
        if (++seen == 2) clock.start(100.0);  // a speed change from inside a tick
        if (seen == 5) clock.stop();
    });
    clock.start(100.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen >= 5; }, 20000));
    QTest::qWait(60);
    EXPECT_EQ(seen, 5);
    EXPECT_FALSE(clock.isRunning());
}

TEST(PlaybackClock, ATickLateByMoreThanAPeriodLeavesOutTheTicksItCouldNotKeep) {
    // The rule itself: the next tick while it is late by less than a period, else the
    // tick due now (tick k is due at k periods).
    EXPECT_EQ(PlaybackClock::tickAt(40.5, 0, 40.0), 1u);
    EXPECT_EQ(PlaybackClock::tickAt(79.9, 0, 40.0), 1u);  // late, but less than a period
    EXPECT_EQ(PlaybackClock::tickAt(80.0, 0, 40.0), 2u);
    EXPECT_EQ(PlaybackClock::tickAt(739.0, 1, 40.0), 18u);
    EXPECT_EQ(PlaybackClock::tickAt(39.5, 0, 40.0), 1u);  // the last millisecond's wait cut short
    EXPECT_EQ(PlaybackClock::tickAt(1e300, 7, 40.0), 8u);

    // A tick whose own slot holds the event loop 700 ms: the tick after it is the one
    // due by then, counted late, with the ticks between left out; the schedule stays
    // where it was, so the ticks after keep to it.
    widget_app();
    PlaybackClock clock;
    std::vector<uint64_t> seen;
    QElapsedTimer wall;
    double stalledAt = 0.0;
    double after = 0.0;
    QObject::connect(&clock, &PlaybackClock::tick, [&] {
        seen.push_back(clock.ticks());
        if (seen.size() == 2) {
            stalledAt = static_cast<double>(wall.nsecsElapsed()) / 1e6;
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
        }
        if (seen.size() == 3) after = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        if (seen.size() == 6) clock.stop();
    });
    wall.start();
    clock.start(100.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() >= 6; }, 20000));
    ASSERT_EQ(seen.size(), 6u);
    // The first ticks keep to the schedule, give or take a busy machine's late tick.
    EXPECT_GE(seen[0], 1u);
    EXPECT_GE(seen[1], seen[0] + 1);
    // Due when it came (the clock's own start is a moment after the wall's).
    EXPECT_LE(static_cast<double>(seen[2]) * 10.0, after + 1.0);
    EXPECT_GE(static_cast<double>(seen[2]) * 10.0, stalledAt + 700.0 - 20.0) << "the stall was forgiven";
    for (size_t k = 3; k < seen.size(); ++k) EXPECT_GE(seen[k], seen[k - 1] + 1);
    EXPECT_GE(clock.lateTicks(), 1u);
    EXPECT_EQ(clock.skippedTicks(), seen.back() - seen.size()) << "every tick not seen is counted as left out";
}

// Frames that reach the screen a while after they are handed over: the picture hands
// them over as many ticks ahead of the clock as they take to be seen, but only once that
// is a period or more (a renderer that keeps up changes nothing: every frame in its own
// tick), at most the limit, and a delay near a rounding edge does not change it back
// and forth (each change leaves a frame out or holds one).
TEST(PlaybackClock, FramesAreHandedOverAheadByTheTicksTheyTakeToBeSeen) {
    EXPECT_EQ(PlaybackClock::ticksAhead(0, 39.0, 40.0, 9), 0u);
    EXPECT_EQ(PlaybackClock::ticksAhead(0, 45.0, 40.0, 9), 0u);  // 1.125 periods: not clearly past a period
    EXPECT_EQ(PlaybackClock::ticksAhead(0, 50.0, 40.0, 9), 1u);
    EXPECT_EQ(PlaybackClock::ticksAhead(0, 130.0, 40.0, 9), 3u);
    EXPECT_EQ(PlaybackClock::ticksAhead(0, 180.0, 40.0, 9), 4u);  // 4.5: on the edge of 4 and 5
    EXPECT_EQ(PlaybackClock::ticksAhead(4, 180.0, 40.0, 9), 4u);
    EXPECT_EQ(PlaybackClock::ticksAhead(3, 145.0, 40.0, 9), 3u);  // 3.6
    EXPECT_EQ(PlaybackClock::ticksAhead(3, 150.0, 40.0, 9), 4u);  // 3.75
    EXPECT_EQ(PlaybackClock::ticksAhead(3, 85.0, 40.0, 9), 2u);   // 2.1
    EXPECT_EQ(PlaybackClock::ticksAhead(1, 35.0, 40.0, 9), 1u);
    EXPECT_EQ(PlaybackClock::ticksAhead(1, 28.0, 40.0, 9), 0u);  // keeps up again
    EXPECT_EQ(PlaybackClock::ticksAhead(2, 5000.0, 40.0, 9), 9u);
    EXPECT_EQ(PlaybackClock::ticksAhead(2, NAN, 40.0, 9), 2u);
}
