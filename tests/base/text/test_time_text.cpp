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
