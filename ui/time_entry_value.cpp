#include "ui/time_entry_value.h"

#include "base/text/time_text.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace {

constexpr uint64_t kU32Max = std::numeric_limits<uint32_t>::max();

// Rounded half away from zero, as the display's formatters round their counts.
uint64_t round_count(double value) {
    if (!(value >= 0.0)) return 0;
    const double rounded = std::round(value);
    return rounded >= double(kU32Max) ? kU32Max : uint64_t(rounded);
}

// Sums in 128 bits: typed hours reach 2^32, times a frame count per hour.
using Wide = unsigned __int128;

bool fits(Wide value) {
    return value <= kU32Max;
}

// The fields as typed, from the last backwards (frames, seconds, minutes, hours),
// without the carries of timecode_parse: the clock display can show 60 minutes
// (at 29.97, 60 minutes of 1798 frames are 12 frames short of its hour), so a carry
// would not read back what it shows. Call only on text that timecode_parse accepted.
void typed_fields(const QString& text, uint32_t* h, uint32_t* m, uint32_t* s, uint32_t* f) {
    QString unified = text;
    unified.replace(QLatin1Char(';'), QLatin1Char(':'));
    unified.replace(QLatin1Char('.'), QLatin1Char(':'));
    unified.replace(QLatin1Char(','), QLatin1Char(':'));
    const QStringList parts = unified.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    uint32_t* fields[] = {f, s, m, h};
    for (int i = 0; i < 4; ++i) {
        *fields[i] = 0;
        const qsizetype at = parts.size() - 1 - i;
        if (at >= 0) *fields[i] = parts[at].toUInt();  // empty counts as 0
    }
}

bool clock_frames(uint32_t h, uint32_t m, uint32_t s, uint32_t f, float rate, uint64_t* out) {
    // The same single-precision products as the clock formatter.
    const Wide per_hour = rate > 0.0f ? round_count(rate * 60.0f * 60.0f) : 0;
    const Wide per_minute = rate > 0.0f ? round_count(rate * 60.0f) : 0;
    const Wide per_second = rate > 0.0f ? round_count(rate) : 0;
    const Wide total = h * per_hour + m * per_minute + s * per_second + f;
    if (!fits(total)) return false;
    *out = uint64_t(total);
    return true;
}

// The digits after a point that ends the text, as the decimal fraction of a second
// they are in the display's "00:00:01.500": ".5" and ".50" are half a second too.
// False when the last field does not follow a point (or is not all digits); `whole`
// is then left alone, else it is the text before the point.
bool point_fraction(const QString& text, QString* whole, double* fraction) {
    const qsizetype point = text.lastIndexOf(QLatin1Char('.'));
    if (point < 0) return false;
    const QString digits = text.mid(point + 1);
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    *whole = text.left(point);
    *fraction = digits.isEmpty() ? 0.0 : QString(QStringLiteral("0.") + digits).toDouble();
    return true;
}

bool millisecond_frames(uint32_t h, uint32_t m, uint32_t s, double fraction, float rate, uint64_t* out) {
    const double seconds = (double(h) * 60.0 + double(m)) * 60.0 + double(s) + fraction;
    const double frames = rate > 0.0f ? std::round(seconds * double(rate)) : 0.0;
    if (!(frames <= double(kU32Max))) return false;
    *out = uint64_t(frames);
    return true;
}

}  // namespace

TimeEntryValue time_entry_value(const QString& typed, uint32_t mode, uint32_t numerator, uint32_t denominator,
                                float rate, uint32_t timecodeStart, bool dropFrame) {
    TimeEntryValue result;
    result.unsignedText = time_text_split_sign(typed, &result.sign);
    uint32_t h = 0, m = 0, s = 0, f = 0;
    uint8_t typedDrop = 0;  // the display's drop-frame flag decides, not the separators
    QString fields = result.unsignedText;
    double fraction = -1.0;
    if (mode == UiTimemode_HoursMinutesSecondsMillis) {
        // "[[H:]M:]S.digits": the seconds field ends the text once the fraction is cut
        // off, so a zero frames field stands in for it.
        QString whole;
        if (point_fraction(fields, &whole, &fraction)) fields = whole + QStringLiteral(":0");
    }
    if (!timecode_parse(fields, &h, &m, &s, &f, &typedDrop)) return result;

    uint64_t frames = 0;
    switch (mode) {
    case UiTimemode_HoursMinutesSecondsMillis:
        // A last field after ":" still counts milliseconds.
        if (fraction < 0.0) fraction = double(f) / 1000.0;
        if (!millisecond_frames(h, m, s, fraction, rate, &frames)) return result;
        break;
    case UiTimemode_Timecode: {
        const TimecodeLabel label{h, m, s, f};
        uint64_t count = 0;
        if (!timecode_frame_count_from_label(label, numerator, denominator, dropFrame, &count)) return result;
        if (count > kU32Max) return result;
        frames = count;
        if (result.sign == 0) {
            // The display shows start + frame, wrapped at the day's labels.
            const uint64_t per_day = timecode_labels_per_day(numerator, denominator, dropFrame);
            const uint64_t start = timecodeStart % per_day;
            frames = frames >= start ? frames - start : frames + per_day - start;
            if (frames > kU32Max) return result;
        }
        break;
    }
    default:
        typed_fields(result.unsignedText, &h, &m, &s, &f);
        if (!clock_frames(h, m, s, f, rate, &frames)) return result;
        break;
    }
    result.frames = uint32_t(frames);
    result.valid = true;
    return result;
}
