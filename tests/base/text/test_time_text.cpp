#include <gtest/gtest.h>

#include <QString>

#include <cmath>

#include "base/text/time_text.h"

namespace {

std::string text(const QString& s) { return s.toStdString(); }

std::string timecode(uint32_t frame, uint32_t num, uint32_t den, bool drop) {
    return text(timecode_from_frame_count(frame, num, den, drop));
}

struct Parsed {
    bool ok;
    uint32_t h, m, s, f;
    uint8_t drop;
};

Parsed parse(const QString& typed) {
    Parsed p{};
    p.ok = timecode_parse(typed, &p.h, &p.m, &p.s, &p.f, &p.drop);
    return p;
}

// Frame count of a drop-frame timecode, counted the way an editor types it back:
// every minute except each tenth drops `d` frame numbers.
uint32_t drop_frame_count(uint32_t h, uint32_t m, uint32_t s, uint32_t f, uint32_t nominal, uint32_t d) {
    const uint32_t minutes = h * 60 + m;
    return (minutes * 60 + s) * nominal - (minutes - minutes / 10) * d + f;
}

}  // namespace

TEST(TimeText, MillisecondClock) {
    EXPECT_EQ(text(time_format_ms(90, 25.0f)), "00:00:03.600");
    EXPECT_EQ(text(time_format_ms(989, 29.97f)), "00:00:33.000");
    EXPECT_EQ(text(time_format_ms(0, 25.0f)), "00:00:00.000");
    EXPECT_EQ(text(time_format_ms(1, 3.0f)), "00:00:00.333");
    EXPECT_EQ(text(time_format_ms(2, 3.0f)), "00:00:00.667");
    EXPECT_EQ(text(time_format_ms(3600 * 25 + 61 * 25 + 1, 25.0f)), "01:01:01.040");
    EXPECT_EQ(text(time_format_ms(100ull * 3600 * 50, 50.0f)), "100:00:00.000");
    // No positive rate: zeros, never a division by zero or a NaN conversion.
    EXPECT_EQ(text(time_format_ms(90, 0.0f)), "00:00:00.000");
    EXPECT_EQ(text(time_format_ms(90, -25.0f)), "00:00:00.000");
    EXPECT_EQ(text(time_format_ms(90, std::nanf(""))), "00:00:00.000");
    // Absurdly small rates stay defined.
    EXPECT_FALSE(time_format_ms(~0ull, 1e-30f).isEmpty());
}

TEST(TimeText, FrameClock) {
    EXPECT_EQ(text(timecode_format_frames(90000, 25.0f)), "01:00:00:00");
    EXPECT_EQ(text(timecode_format_frames(9000000, 25.0f)), "100:00:00:00");
    EXPECT_EQ(text(timecode_format_frames(25 * 3661 + 24, 25.0f)), "01:01:01:24");
    // At 29.97 a minute holds 1798 frames: a real-time clock, not a timecode.
    EXPECT_EQ(text(timecode_format_frames(1798, 29.97f)), "00:01:00:00");
    EXPECT_EQ(text(timecode_format_frames(1797, 29.97f)), "00:00:59:27");
    // Rates with no frame grid give zeros instead of dividing by zero.
    for (float rate : {0.0f, 0.3f, -1.0f, std::nanf("")}) {
        EXPECT_EQ(text(timecode_format_frames(1234, rate)), "00:00:00:00") << rate;
    }
    EXPECT_FALSE(timecode_format_frames(1234, 1e30f).isEmpty());
}

TEST(TimeText, TimecodeFieldsAndSeparators) {
    EXPECT_EQ(text(timecode_format(1, 2, 3, 4, false)), "01:02:03:04");
    EXPECT_EQ(text(timecode_format(1, 2, 3, 4, true)), "01;02;03;04");
    EXPECT_EQ(text(timecode_format(123, 0, 0, 0, false)), "123:00:00:00");
}

TEST(TimeText, NominalRate) {
    EXPECT_EQ(nominal_fps(24000, 1001), 24u);
    EXPECT_EQ(nominal_fps(25, 1), 25u);
    EXPECT_EQ(nominal_fps(30000, 1001), 30u);
    EXPECT_EQ(nominal_fps(50000, 1001), 50u);
    EXPECT_EQ(nominal_fps(60000, 1001), 60u);
    EXPECT_EQ(nominal_fps(120000, 1001), 120u);
    EXPECT_EQ(nominal_fps(25, 2), 13u);  // 12.5 rounds away from zero
    // No usable rate: 1, so that callers can divide by it.
    EXPECT_EQ(nominal_fps(0, 1), 1u);
    EXPECT_EQ(nominal_fps(30, 0), 1u);
    EXPECT_EQ(nominal_fps(3, 10), 1u);
}

TEST(TimeText, DropFrameTimecodeAroundMinutesAndTenMinutes) {
    EXPECT_EQ(timecode(1799, 30000, 1001, true), "00;00;59;29");
    EXPECT_EQ(timecode(1800, 30000, 1001, true), "00;01;00;02");
    EXPECT_EQ(timecode(17981, 30000, 1001, true), "00;09;59;29");
    EXPECT_EQ(timecode(17982, 30000, 1001, true), "00;10;00;00");
    EXPECT_EQ(timecode(17982 + 1800, 30000, 1001, true), "00;11;00;02");
    EXPECT_EQ(timecode(3600, 60000, 1001, true), "00;01;00;04");
    // A drop-frame day has 2589408 labels (three fewer than round(29.97 x 86400)
    // frames): the count wraps to midnight right after 23;59;59;29.
    EXPECT_EQ(timecode(2589407, 30000, 1001, true), "23;59;59;29");
    EXPECT_EQ(timecode(2589408, 30000, 1001, true), "00;00;00;00");
    EXPECT_EQ(timecode(2589410, 30000, 1001, true), "00;00;00;02");
    EXPECT_EQ(timecode(2589408 + 1800, 30000, 1001, true), "00;01;00;02");

    // Every frame of the first hour maps to a timecode that counts back to the same
    // frame, and the labels never repeat or skip a frame number outside the drops.
    for (uint32_t frame = 0; frame < 108000; ++frame) {
        const QString tc = timecode_from_frame_count(frame, 30000, 1001, true);
        Parsed p = parse(tc);
        ASSERT_TRUE(p.ok) << text(tc);
        ASSERT_EQ(p.drop, 1);
        ASSERT_EQ(drop_frame_count(p.h, p.m, p.s, p.f, 30, 2), frame) << text(tc);
        if (p.s == 0 && p.m % 10 != 0) {
            ASSERT_GE(p.f, 2u) << text(tc);
        }
    }
}

TEST(TimeText, NonDropTimecode) {
    EXPECT_EQ(timecode(90000, 25, 1, false), "01:00:00:00");
    EXPECT_EQ(timecode(25 * 86400, 25, 1, false), "00:00:00:00");  // 24 h wrap
    EXPECT_EQ(timecode(25 * 86400 - 1, 25, 1, false), "23:59:59:24");
    // Without the drop flag a 1001 rate counts its nominal frames per second.
    EXPECT_EQ(timecode(1800, 30000, 1001, false), "00:01:00:00");
    EXPECT_EQ(timecode(4294967295u, 24, 1, false), timecode(4294967295u % (24 * 86400), 24, 1, false));
}

// A day of timecode ends at 23:59:59 and the last frame number, then starts again at
// midnight: at drop-frame rates that is after the day's labels, not after a day of
// real time. Each label around midnight counts back to its own frame.
TEST(TimeText, TimecodeDayEndsAtItsLastLabelBothWays) {
    struct Day {
        uint32_t num, den;
        bool drop;
        uint64_t labels;
        const char* last;
    } const days[] = {
        {30000, 1001, true, 24 * 6 * 17982, "23;59;59;29"},
        {60000, 1001, true, 2 * 24 * 6 * 17982, "23;59;59;59"},
        {120000, 1001, true, 24 * 6 * 71928, "23;59;59;119"},
        {30000, 1001, false, 30 * 86400, "23:59:59:29"},
        {24000, 1001, true, 24 * 86400, "23;59;59;23"},  // no drop-frame numbering at 23.976
    };
    for (const Day& d : days) {
        const std::string rate = std::to_string(d.num) + "/" + std::to_string(d.den) + (d.drop ? " drop" : "");
        EXPECT_EQ(timecode_labels_per_day(d.num, d.den, d.drop), d.labels) << rate;
        const uint32_t day = uint32_t(d.labels);
        EXPECT_EQ(timecode(day - 1, d.num, d.den, d.drop), d.last) << rate;
        EXPECT_EQ(timecode(day, d.num, d.den, d.drop), d.drop ? "00;00;00;00" : "00:00:00:00") << rate;
        for (uint32_t frame = day - 200; frame < day + 200; ++frame) {
            const TimecodeLabel label = timecode_label_from_frame_count(frame, d.num, d.den, d.drop);
            ASSERT_LT(label.hours, 24u) << rate << " frame " << frame;
            uint64_t back = 0;
            ASSERT_TRUE(timecode_frame_count_from_label(label, d.num, d.den, d.drop, &back));
            ASSERT_EQ(back, frame % day) << rate << " frame " << frame;
        }
    }
}

// A movie played at another rate keeps its own start label: hours, minutes and
// seconds as they are, a frame number the rate does not reach becomes its last, a
// label that drop-frame numbering skips becomes the next that exists; the frames
// after it count on at the new rate. The file's own rate keeps the file's count.
TEST(TimeText, TimecodeStartKeepsItsLabelAtAnotherRate) {
    struct Case {
        uint32_t file_num, file_den;
        uint32_t start;  // at the file's rate
        bool drop;
        uint32_t num, den;
        const char* shown;       // frame 0 at the new rate
        const char* next_shown;  // frame 1
    } const cases[] = {
        {30000, 1001, 107892, true, 25, 1, "01;00;00;00", "01;00;00;01"},
        {30000, 1001, 108000, false, 24, 1, "01:00:00:00", "01:00:00:01"},
        {30000, 1001, 2589406, true, 25, 1, "23;59;59;24", "00;00;00;00"},  // from 23:59:59;28
        {30000, 1001, 2589406, true, 60000, 1001, "23;59;59;28", "23;59;59;29"},
        // 00:01:00;00 and 00:09:00;03 at 25 fps with the drop flag (counted without
        // drops there) are numbers the 1001 rates skip; every tenth minute is whole.
        {25, 1, 1500, true, 30000, 1001, "00;01;00;02", "00;01;00;03"},
        {25, 1, 13503, true, 60000, 1001, "00;09;00;04", "00;09;00;05"},
        {25, 1, 15000, true, 30000, 1001, "00;10;00;00", "00;10;00;01"},
        // A start past a day at the file's rate is the label it shows there.
        {25, 1, 25 * 86400 + 90000, false, 50, 1, "01:00:00:00", "01:00:00:01"},
    };
    for (const Case& c : cases) {
        const uint32_t start = timecode_start_at_rate(c.start, c.file_num, c.file_den, c.num, c.den, c.drop);
        const std::string at = std::to_string(c.start) + " at " + std::to_string(c.num) + "/" + std::to_string(c.den);
        EXPECT_EQ(timecode(start, c.num, c.den, c.drop), c.shown) << at;
        EXPECT_EQ(timecode(start + 1, c.num, c.den, c.drop), c.next_shown) << at;
    }
    // The file's own rate: the count as the file has it, past a day too.
    EXPECT_EQ(timecode_start_at_rate(107892, 30000, 1001, 30000, 1001, true), 107892u);
    EXPECT_EQ(timecode_start_at_rate(4000000000u, 25, 1, 25, 1, false), 4000000000u);
}

TEST(TimeText, TimecodeOfRatesWithoutFrameGrid) {
    // Denominator 0 or numerator 0: counted at one frame per second, no drops.
    EXPECT_EQ(timecode(100, 30, 0, true), "00;01;40;00");
    EXPECT_EQ(timecode(100, 30, 0, false), "00:01:40:00");
    EXPECT_EQ(timecode(100, 0, 1, false), "00:01:40:00");
    // A drop-frame rate below half a frame per second has no minute of frames: zeros.
    EXPECT_EQ(timecode(100, 3, 10, true), "00;00;00;00");
    EXPECT_EQ(timecode(100, 0, 1001, true), "00;00;00;00");
    // Huge rates stay defined.
    EXPECT_FALSE(timecode_from_frame_count(4294967295u, 4294967295u, 1, true).isEmpty());
}

TEST(TimeText, SplitSign) {
    int32_t sign = 7;
    EXPECT_EQ(text(time_text_split_sign("+10", &sign)), "10");
    EXPECT_EQ(sign, 1);
    EXPECT_EQ(text(time_text_split_sign("-1:00", &sign)), "1:00");
    EXPECT_EQ(sign, -1);
    EXPECT_EQ(text(time_text_split_sign("12", &sign)), "12");
    EXPECT_EQ(sign, 0);
    EXPECT_EQ(text(time_text_split_sign("", &sign)), "");
    EXPECT_EQ(sign, 0);
    EXPECT_EQ(text(time_text_split_sign(QString(), &sign)), "");
    EXPECT_EQ(sign, 0);
    // A "+" anywhere wins; every sign character goes.
    EXPECT_EQ(text(time_text_split_sign("-1+2-", &sign)), "12");
    EXPECT_EQ(sign, 1);
}

TEST(TimeText, ParseTypedTimecode) {
    Parsed p = parse("75:00");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.h, 0u);
    EXPECT_EQ(p.m, 1u);
    EXPECT_EQ(p.s, 15u);
    EXPECT_EQ(p.f, 0u);
    EXPECT_EQ(p.drop, 0);

    p = parse("1::");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.m, 1u);
    EXPECT_EQ(p.s, 0u);
    EXPECT_EQ(p.f, 0u);

    p = parse("10;00");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.drop, 1);
    EXPECT_EQ(p.s, 10u);

    p = parse("1,2.3");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.drop, 1);
    EXPECT_EQ(p.m, 1u);
    EXPECT_EQ(p.s, 2u);
    EXPECT_EQ(p.f, 3u);

    p = parse("1:2:3:4:5");  // parts before the hours are ignored
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.h, 2u);
    EXPECT_EQ(p.m, 3u);
    EXPECT_EQ(p.s, 4u);
    EXPECT_EQ(p.f, 5u);

    p = parse("12");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.f, 12u);
    EXPECT_EQ(p.s, 0u);

    // Frames are never carried; seconds and minutes carry.
    p = parse("1:119:3599:99");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.f, 99u);
    EXPECT_EQ(p.s, 59u);
    EXPECT_EQ(p.m, (119u + 59u) % 60);
    EXPECT_EQ(p.h, 1u + (119u + 59u) / 60);

    p = parse("00:01:00;02");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(drop_frame_count(p.h, p.m, p.s, p.f, 30, 2), 1800u);
}

TEST(TimeText, ParseRefusesBadInput) {
    for (const char* typed : {"", "1:x", "x", "1:-2", "a:00:00:00", "1:2:3:4x", "99999999999"}) {
        Parsed p = parse(QString::fromLatin1(typed));
        EXPECT_FALSE(p.ok) << typed;
    }
    EXPECT_FALSE(parse(QString()).ok);
    // Carried minutes that push the hours past 32 bits are refused, not wrapped.
    EXPECT_FALSE(parse("4294967295:4294967295:0:0").ok);
    EXPECT_TRUE(parse("4294967295:0:0:0").ok);
}
