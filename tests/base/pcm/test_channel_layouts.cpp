#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/pcm/channel_layouts.h"

TEST(ChannelLayouts, CountsAndChannelOrder) {
    EXPECT_EQ(audio_layout_channel_count(NAudioChannelLayout_Mono), 1u);
    EXPECT_EQ(audio_layout_channel_count(NAudioChannelLayout_Stereo), 2u);
    EXPECT_EQ(audio_layout_channel_count(NAudioChannelLayout_5_1), 6u);
    EXPECT_EQ(audio_layout_channel_count(NAudioChannelLayout_DualStereo), 4u);
    EXPECT_EQ(audio_layout_channel_count(NAudioChannelLayout_7_1), 8u);

    auto names = [](uint32_t layout) {
        std::string joined;
        for (uint32_t c = 0; c < 8; ++c) {
            const char* name = audio_layout_channel_name(layout, c);
            if (*name) joined += std::string(joined.empty() ? "" : " ") + name;
        }
        return joined;
    };
    EXPECT_EQ(names(0), "M");
    EXPECT_EQ(names(1), "L R");
    EXPECT_EQ(names(2), "L R C LFE Ls Rs");
    EXPECT_EQ(names(3), "L1 R1 L2 R2");
    EXPECT_EQ(names(4), "L R C LFE Ls Rs Lrs Rrs");
    EXPECT_STREQ(audio_layout_channel_name(5, 0), "");
    EXPECT_STREQ(audio_layout_channel_name(1, 2), "");
    // The plane indices the converter uses are those of the table.
    EXPECT_STREQ(audio_layout_channel_name(4, AudioChannel_Lrs), "Lrs");
    EXPECT_STREQ(audio_layout_channel_name(2, AudioChannel_LFE), "LFE");
    EXPECT_STREQ(audio_layout_channel_name(3, AudioChannel_R2), "R2");
}

TEST(ChannelLayouts, UnknownLayoutIsReportedAndCountsNothing) {
    testing::internal::CaptureStdout();
    const uint32_t count = audio_layout_channel_count(7);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR : Unknown audio channel layout : 7\n");
    EXPECT_EQ(count, 0u);
}
