#include "base/text/time_text.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace {

constexpr uint32_t kU32Max = std::numeric_limits<uint32_t>::max();

// Rounds half away from zero into an unsigned 32-bit count. Negative values and NaN
// give 0, values past the type's range saturate: the rates given here are outside
// the functions' range then, but no conversion may be undefined.
uint32_t round_to_u32(double value) {
    if (!(value >= 0.0)) return 0;
    const double rounded = std::round(value);
    if (rounded >= double(kU32Max)) return kU32Max;
    return static_cast<uint32_t>(rounded);
}

QString number_field(uint64_t value, int min_width) {
    return QString::number(value).rightJustified(min_width, QLatin1Char('0'));
}

QString clock_text(uint64_t hours, uint64_t minutes, uint64_t seconds, uint64_t last, int last_width,
                   const char* pattern) {
    return QString::fromLatin1(pattern)
        .arg(number_field(hours, 2), number_field(minutes, 2), number_field(seconds, 2),
             number_field(last, last_width));
}

}  // namespace

QString time_format_ms(uint64_t frame, float rate) {
    uint64_t whole_seconds = 0;
    uint32_t ms = 0;
    // A tiny rate can push the seconds past any integer type (or to infinity):
    // saturate instead of converting out of range.
    constexpr float kLimit = 18446744073709551616.0f;  // 2^64
    const float x = rate > 0.0f ? float(frame) / rate : 0.0f;
    if (!(x < kLimit)) {
        whole_seconds = std::numeric_limits<uint64_t>::max();
    } else if (x > 0.0f) {
        float whole = std::floor(x);
        float rounded_ms = std::round((x - whole) * 1000.0f);
        if (rounded_ms >= 1000.0f) {
            rounded_ms = 0.0f;
            whole += 1.0f;
        }
        ms = static_cast<uint32_t>(rounded_ms);
        whole_seconds = whole < kLimit ? static_cast<uint64_t>(whole) : std::numeric_limits<uint64_t>::max();
    }
    return clock_text(whole_seconds / 3600, (whole_seconds % 3600) / 60, whole_seconds % 60, ms, 3, "%1:%2:%3.%4");
}

QString timecode_format_frames(uint64_t frame, float rate) {
    uint64_t h = 0, m = 0, s = 0, f = 0;
    if (rate > 0.0f) {
        // Single-precision products, as the rate itself is single precision.
        const uint32_t per_hour = round_to_u32(rate * 60.0f * 60.0f);
        const uint32_t per_minute = round_to_u32(rate * 60.0f);
        const uint32_t per_second = round_to_u32(rate);
        // Below half a frame per second there is no frame grid: show zeros.
        if (per_hour != 0 && per_minute != 0 && per_second != 0) {
            h = frame / per_hour;
            uint64_t rest = frame % per_hour;
            m = rest / per_minute;
            rest %= per_minute;
            s = rest / per_second;
            f = rest % per_second;
        }
    }
    return clock_text(h, m, s, f, 2, "%1:%2:%3:%4");
}

QString timecode_format(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames, bool drop_frame) {
    // Drop-frame timecode is told apart by its separators.
    return clock_text(hours, minutes, seconds, frames, 2, drop_frame ? "%1;%2;%3;%4" : "%1:%2:%3:%4");
}

uint32_t nominal_fps(uint32_t numerator, uint32_t denominator) {
    uint32_t nominal = 0;
    if (denominator == 1) {
        nominal = numerator;
    } else if (denominator == 1001 && (numerator == 24000 || numerator == 30000 || numerator == 60000)) {
        nominal = numerator / 1000;
    } else if (denominator != 0) {
        nominal = round_to_u32(double(numerator) / double(denominator));
    }
    // Every caller divides frame counts by this rate.
    return nominal == 0 ? 1 : nominal;
}

bool timecode_drop_frame_defined(uint32_t numerator, uint32_t denominator) {
    if (denominator == 0) return false;
    const double x = double(numerator) / double(denominator);
    const uint64_t dropped_per_minute = round_to_u32(x * 0.066666);
    const uint64_t per_ten_minutes = round_to_u32(x * 60.0 * 10.0);
    const uint64_t per_minute = uint64_t(round_to_u32(x)) * 60;
    if (dropped_per_minute == 0 || dropped_per_minute >= per_minute) return false;
    // A first minute of full frames, then nine that each drop d numbers.
    return per_ten_minutes == 10 * (per_minute - dropped_per_minute) + dropped_per_minute;
}

namespace {

// How labels are counted at a rate: `per_minute` labels in each minute that drops
// `dropped` numbers, `per_ten_minutes` in ten minutes of which the first drops none.
// No grid (all zero) at a drop-frame rate below half a frame per second.
struct TimecodeCounting {
    uint64_t nominal = 1;
    uint64_t dropped = 0;
    uint64_t per_minute = 0;
    uint64_t per_ten_minutes = 0;
    uint64_t per_day = 0;
};

TimecodeCounting timecode_counting(uint32_t numerator, uint32_t denominator, bool drop_frame) {
    TimecodeCounting c;
    c.nominal = nominal_fps(numerator, denominator);
    if (drop_frame && denominator != 0) {
        const double x = double(numerator) / double(denominator);
        if (timecode_drop_frame_defined(numerator, denominator)) {
            c.dropped = round_to_u32(x * 0.066666);
            c.per_ten_minutes = round_to_u32(x * 60.0 * 10.0);
            c.per_minute = uint64_t(round_to_u32(x)) * 60 - c.dropped;  // d is at most a fifteenth of the rate
            // A day is 144 blocks of ten minutes: the labels, not round(rate x 86400)
            // frames of real time, which would count on past 23:59:59.
            c.per_day = 144 * c.per_ten_minutes;
            return c;
        }
        // Where dropping is not defined, plain nominal counting keeps every label
        // once; a rate below half a frame per second has no frame grid.
        if (round_to_u32(x) == 0) return TimecodeCounting{};
    }
    c.per_minute = c.nominal * 60;
    c.per_ten_minutes = c.per_minute * 10;
    c.per_day = c.per_minute * 60 * 24;
    return c;
}

}  // namespace

uint64_t timecode_labels_per_day(uint32_t numerator, uint32_t denominator, bool drop_frame) {
    const TimecodeCounting c = timecode_counting(numerator, denominator, drop_frame);
    // Without a frame grid every label reads 00:00:00:00; count a day of seconds.
    return c.per_day != 0 ? c.per_day : c.nominal * 86400;
}

TimecodeLabel timecode_label_from_frame_count(uint32_t frame_count, uint32_t numerator, uint32_t denominator,
                                              bool drop_frame) {
    const TimecodeCounting c = timecode_counting(numerator, denominator, drop_frame);
    TimecodeLabel label;
    if (c.per_day == 0) return label;

    uint64_t frames = frame_count % c.per_day;
    if (c.dropped != 0) {
        const uint64_t d = c.dropped;
        const uint64_t tens = frames / c.per_ten_minutes;
        const uint64_t rest = frames % c.per_ten_minutes;
        frames += 9 * d * tens;
        if (rest > d) frames += d * ((rest - d) / c.per_minute);
    }
    const uint64_t seconds = frames / c.nominal;
    label.hours = static_cast<uint32_t>(seconds / 3600);
    label.minutes = static_cast<uint32_t>((seconds / 60) % 60);
    label.seconds = static_cast<uint32_t>(seconds % 60);
    label.frames = static_cast<uint32_t>(frames % c.nominal);
    return label;
}

bool timecode_frame_count_from_label(const TimecodeLabel& label, uint32_t numerator, uint32_t denominator,
                                     bool drop_frame, uint64_t* frame_count) {
    // Typed hours reach 2^32, times the frames of an hour: summed in 128 bits.
    using Wide = unsigned __int128;
    const TimecodeCounting c = timecode_counting(numerator, denominator, drop_frame);
    const Wide minutes = Wide(label.hours) * 60 + label.minutes;
    const Wide counted = (minutes * 60 + label.seconds) * c.nominal + label.frames;
    const Wide skipped = (minutes - minutes / 10) * c.dropped;
    const Wide total = counted > skipped ? counted - skipped : 0;
    if (total > std::numeric_limits<uint64_t>::max()) return false;
    *frame_count = static_cast<uint64_t>(total);
    return true;
}

QString timecode_from_frame_count(uint32_t frame_count, uint32_t numerator, uint32_t denominator, bool drop_frame) {
    const TimecodeLabel label = timecode_label_from_frame_count(frame_count, numerator, denominator, drop_frame);
    return timecode_format(label.hours, label.minutes, label.seconds, label.frames, drop_frame);
}

uint32_t timecode_start_at_rate(uint32_t start, uint32_t file_numerator, uint32_t file_denominator,
                                uint32_t numerator, uint32_t denominator, bool drop_frame) {
    if (numerator == file_numerator && denominator == file_denominator) return start;
    TimecodeLabel label = timecode_label_from_frame_count(start, file_numerator, file_denominator, drop_frame);
    const TimecodeCounting c = timecode_counting(numerator, denominator, drop_frame);
    if (label.frames >= c.nominal) label.frames = static_cast<uint32_t>(c.nominal - 1);
    // The first numbers of each minute but every tenth do not exist in drop-frame.
    if (c.dropped != 0 && label.seconds == 0 && label.minutes % 10 != 0 && label.frames < c.dropped)
        label.frames = static_cast<uint32_t>(c.dropped);
    uint64_t count = 0;
    // Under a day of labels: past 32 bits only at rates beyond any movie's.
    if (!timecode_frame_count_from_label(label, numerator, denominator, drop_frame, &count)) return kU32Max;
    return count > kU32Max ? kU32Max : static_cast<uint32_t>(count);
}

QString time_text_split_sign(const QString& text, int32_t* sign) {
    *sign = 0;
    if (text.isEmpty()) return QString();
    const bool has_plus = text.contains(QLatin1Char('+'));
    const bool has_minus = text.contains(QLatin1Char('-'));
    if (!has_plus && !has_minus) return text;
    *sign = has_plus ? 1 : -1;
    QString unsigned_text = text;
    unsigned_text.remove(QLatin1Char('+'));
    unsigned_text.remove(QLatin1Char('-'));
    return unsigned_text;
}

bool timecode_parse(const QString& text, uint32_t* hours, uint32_t* minutes, uint32_t* seconds, uint32_t* frames,
                    uint8_t* drop_frame) {
    *hours = *minutes = *seconds = *frames = 0;
    *drop_frame = 0;
    if (text.isEmpty()) return false;

    QString unified = text;
    unified.replace(QLatin1Char(';'), QLatin1Char(':'));
    unified.replace(QLatin1Char('.'), QLatin1Char(':'));
    unified.replace(QLatin1Char(','), QLatin1Char(':'));
    const QStringList parts = unified.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    *drop_frame = (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char(';'))) ? 1 : 0;

    // Fields from the last part backwards: frames, seconds, minutes, hours; parts
    // before the hours are ignored.
    uint32_t fields[4] = {0, 0, 0, 0};
    const qsizetype count = parts.size();
    for (qsizetype k = 0; k < 4 && k < count; ++k) {
        const QString& part = parts[count - 1 - k];
        if (part.isEmpty()) continue;
        bool ok = false;
        fields[k] = part.toUInt(&ok, 10);
        if (!ok) return false;
    }

    // Carries are summed in 64 bits; hours that no longer fit 32 bits are refused
    // rather than wrapped into a small, wrong position.
    const uint64_t total_minutes = uint64_t(fields[2]) + fields[1] / 60;
    const uint64_t total_hours = uint64_t(fields[3]) + total_minutes / 60;
    if (total_hours > kU32Max) return false;
    *frames = fields[0];
    *seconds = fields[1] % 60;
    *minutes = static_cast<uint32_t>(total_minutes % 60);
    *hours = static_cast<uint32_t>(total_hours);
    return true;
}
