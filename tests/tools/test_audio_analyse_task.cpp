// The loudness task on FFmpeg-made movies: results against FFmpeg's meter, silence,
// the in/out range, pause and resume giving the same result as a straight run, the
// stopped and failed ends, and a routing that no longer depends on the track list once
// the task is made.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/audio_src_track.h"
#include "loudness_task_support.h"
#include "tests/support/loudness_refs.h"
#include "tools/player_audio_analyse_task.h"
#include "widget_app.h"

namespace {

constexpr uint32_t kUnset = kAudioAnalysePointUnset;

struct TaskFixture {
    LoudnessMovie input;
    PlayerAudioAnalyseTask task;
    LoudnessTaskRun run;
    TaskFixture(const std::string& movie, uint32_t layout, uint32_t in = kUnset, uint32_t out = kUnset)
        : input(movie, layout), task(nullptr, input.movie.get(), input.tracks.get(), in, out, 1, 1, 1) {
        listen_to(task, run);
    }
};

bool minus_infinity(double value) { return std::isinf(value) && value < 0; }

}  // namespace

TEST(AudioAnalyseTask, StereoMovieMatchesFfmpeg) {
    widget_app();
    TaskFixture f("ld_noise.mov", 1);
    f.task.start();
    ASSERT_TRUE(wait_end(f.run));
    EXPECT_EQ(f.run.endState(), 6u);
    const testsupport::LoudnessRef ref = testsupport::read_loudness_ref("ld_noise");
    double loudness[2], peaks[8];
    f.task.integratedLoudness(loudness);
    f.task.truePeaks(peaks);
    EXPECT_NEAR(loudness[0], ref.integrated, 0.1);
    EXPECT_EQ(loudness[1], 0.0);
    EXPECT_NEAR(peaks[0], ref.truePeaks.at(0), 0.2);
    EXPECT_NEAR(peaks[1], ref.truePeaks.at(1), 0.2);
    EXPECT_FALSE(f.task.isSilent());
    EXPECT_EQ(f.task.totalSamples(), 240000u);
    EXPECT_EQ(f.task.samplesRead(), 240000u);
}

TEST(AudioAnalyseTask, DualStereoGivesOneValuePerPair) {
    widget_app();
    TaskFixture f("ld_dual.mov", 3);
    f.task.start();
    ASSERT_TRUE(wait_end(f.run));
    EXPECT_EQ(f.run.endState(), 6u);
    double loudness[2];
    f.task.integratedLoudness(loudness);
    EXPECT_NEAR(loudness[0], testsupport::read_loudness_ref("ld_dual_0").integrated, 0.1);
    EXPECT_NEAR(loudness[1], testsupport::read_loudness_ref("ld_dual_1").integrated, 0.1);
    EXPECT_EQ(f.task.results().stateCount, 2u);
}

TEST(AudioAnalyseTask, SilenceSetsTheFlagAndMinusInfinitePeaks) {
    widget_app();
    TaskFixture f("ld_silence.mov", 1);
    f.task.start();
    ASSERT_TRUE(wait_end(f.run));
    EXPECT_EQ(f.run.endState(), 6u);
    EXPECT_TRUE(f.task.isSilent());
    double peaks[8];
    f.task.truePeaks(peaks);
    EXPECT_TRUE(minus_infinity(peaks[0]) && minus_infinity(peaks[1]));
}

TEST(AudioAnalyseTask, RangeReadsExactlyTheFramesBetweenThePoints) {
    widget_app();
    TaskFixture f("ld_range.mov", 1, 50, 99);
    EXPECT_EQ(f.task.sources().inFrame, 50);
    f.task.start();
    ASSERT_TRUE(wait_end(f.run));
    EXPECT_EQ(f.task.totalSamples(), 96000u);
    double loudness[2];
    f.task.integratedLoudness(loudness);
    EXPECT_NEAR(loudness[0], testsupport::read_loudness_ref("ld_range_in").integrated, 0.1);
}

TEST(AudioAnalyseTask, PauseAndResumeGiveTheStraightResult) {
    widget_app();
    TaskFixture straight("ld_ramp.mov", 1);
    straight.task.start();
    ASSERT_TRUE(wait_end(straight.run));

    TaskFixture paused("ld_ramp.mov", 1);
    paused.task.start();
    paused.task.requestPause();  // seen after the first ten-second step
    ASSERT_TRUE(QTest::qWaitFor([&] { return paused.run.states.contains(3u); }, 20000));
    EXPECT_FALSE(paused.run.ended());
    paused.task.requestResume();
    ASSERT_TRUE(wait_end(paused.run));
    EXPECT_EQ(paused.run.endState(), 6u);
    EXPECT_EQ(std::memcmp(&paused.task.results(), &straight.task.results(), sizeof(LoudnessResults)), 0);
}

TEST(AudioAnalyseTask, StopEndsInTheStopState) {
    widget_app();
    TaskFixture f("ld_ramp.mov", 1);
    f.task.start();
    f.task.stop();
    ASSERT_TRUE(wait_end(f.run));
    EXPECT_EQ(f.run.endState(), 4u);
    EXPECT_EQ(f.task.runState(), 4u);
}

TEST(AudioAnalyseTask, RoutingIsCopiedWhenTheTaskIsMade) {
    widget_app();
    TaskFixture f("ld_stereo.mov", 1);
    // The mapping panel may empty the list while the task runs: the task read it already.
    f.input.tracks->deleteAll();
    f.task.start();
    ASSERT_TRUE(wait_end(f.run));
    EXPECT_EQ(f.run.endState(), 6u);
    double loudness[2];
    f.task.integratedLoudness(loudness);
    EXPECT_NEAR(loudness[0], testsupport::read_loudness_ref("ld_stereo").integrated, 0.1);
}

TEST(AudioAnalyseTask, FailuresEndInTheFailedState) {
    widget_app();
    {
        PlayerAudioAnalyseTask task(nullptr, nullptr, nullptr, kUnset, kUnset, 1, 1, 1);
        LoudnessTaskRun run;
        listen_to(task, run);
        task.start();
        ASSERT_TRUE(wait_end(run));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !run.logs.isEmpty(); }, 20000));
        EXPECT_EQ(run.endState(), 8u);
        EXPECT_EQ(run.logs, QStringList{"ERROR : No input file, or no audio tracks"});
    }
    {
        // Nothing routed to the output: the reader has no source.
        TaskFixture unrouted("ld_stereo.mov", 1);
        for (AudioSrcTrack* track : unrouted.input.tracks->tracks()) track->clearChannelMapping();
        PlayerAudioAnalyseTask task(nullptr, unrouted.input.movie.get(), unrouted.input.tracks.get(), kUnset, kUnset,
                                    1, 1, 1);
        LoudnessTaskRun run;
        listen_to(task, run);
        task.start();
        ASSERT_TRUE(wait_end(run));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !run.logs.isEmpty(); }, 20000));
        EXPECT_EQ(run.endState(), 8u);
        EXPECT_EQ(run.logs, QStringList{"ERREUR : Fail to initialize"});
    }
}
