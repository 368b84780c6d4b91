#pragma once
// Positions and durations as text: clock time with frames, SMPTE timecode (with
// drop-frame for the 1001-denominator rates), clock time with milliseconds, and the
// parsing of a typed timecode. Rates are given either as a float (frames per second)
// or as a rational numerator / denominator.
#include <QString>

#include <cstdint>

// How the player shows a frame position; any other value is treated as 0.
enum UiTimemode : uint32_t {
    UiTimemode_HoursMinutesSecondsFrames = 0,  // "HH:MM:SS:FF"
    UiTimemode_Timecode = 1,                   // "Timecode"
    UiTimemode_HoursMinutesSecondsMillis = 2,  // "HH:MM:SS.Mill"
    UiTimemode_Frames = 3,                     // "Frames"
};

// "HH:MM:SS.mmm" of `frame` at `rate` frames per second; all zeros for a rate that
// is not positive.
QString time_format_ms(uint64_t frame, float rate);

// "HH:MM:SS:FF" of `frame` at `rate`: a real-time clock with round(rate) frame
// numbers per second (not a timecode); all zeros for a rate below half a frame per
// second.
QString timecode_format_frames(uint64_t frame, float rate);

// "HH:MM:SS:FF", or "HH:MM:SS;FF" for drop-frame timecode. Every field has at least
// two digits; a longer number is written whole.
QString timecode_format(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames, bool drop_frame);

// The integer frames per second of a timecode at numerator / denominator: 24, 30 and
// 60 for the 1001 rates, else the rate rounded. Never 0: a rate that rounds to
// nothing (or a zero denominator) counts as 1 frame per second, so callers may
// divide by it.
uint32_t nominal_fps(uint32_t numerator, uint32_t denominator);

// Whether frames at numerator / denominator can be numbered drop-frame: round(rate /
// 15) frame numbers dropped each minute but every tenth must make up the frames of
// ten minutes exactly (30000/1001 drops 2, 60000/1001 drops 4). At other rates
// (24000/1001, 25, 30...) such dropping would skip or repeat labels, so a drop-frame
// flag there counts the frames without drops.
bool timecode_drop_frame_defined(uint32_t numerator, uint32_t denominator);

// The four fields of a timecode label.
struct TimecodeLabel {
    uint32_t hours = 0, minutes = 0, seconds = 0, frames = 0;
};

// How many labels one day of timecode has at numerator / denominator, so where a
// frame count wraps to midnight: 24 x 3600 x the nominal rate, less the numbers that
// drop-frame numbering skips when `drop_frame` and the rate has it (2,589,408 at
// 30000/1001, not the 2,589,411 frames of a day of real time). Never 0.
uint64_t timecode_labels_per_day(uint32_t numerator, uint32_t denominator, bool drop_frame);

// The label of a frame count at numerator / denominator, wrapping at the day's labels,
// with the dropped frame numbers of drop-frame timecode added back when `drop_frame`
// and the rate has drop-frame numbering (else counted without drops). Hours never
// reach 24. All zeros at a drop-frame rate below half a frame per second.
TimecodeLabel timecode_label_from_frame_count(uint32_t frame_count, uint32_t numerator, uint32_t denominator,
                                              bool drop_frame);

// The frame count of a label: the inverse of timecode_label_from_frame_count for the
// labels it gives (a label that drop-frame numbering skips has no frame of its own
// and counts as an earlier one). Fields are taken as they are, without a day wrap,
// so hours of 24 or more count on. False when the count does not fit 64 bits.
bool timecode_frame_count_from_label(const TimecodeLabel& label, uint32_t numerator, uint32_t denominator,
                                     bool drop_frame, uint64_t* frame_count);

// Timecode text of a frame count: timecode_label_from_frame_count through
// timecode_format. `drop_frame` alone chooses the separators.
QString timecode_from_frame_count(uint32_t frame_count, uint32_t numerator, uint32_t denominator, bool drop_frame);

// A timecode start counted at the file's rate, as the frame count at another rate
// that gives the same start label: its hours, minutes and seconds kept, a frame
// number the other rate does not reach becomes its last one, and a label that the
// other rate's drop-frame numbering skips becomes the next that exists. At the
// file's own rate the start is returned as it is. So a movie played at another rate
// still starts at its own timecode and counts on from it at that rate.
uint32_t timecode_start_at_rate(uint32_t start, uint32_t file_numerator, uint32_t file_denominator,
                                uint32_t numerator, uint32_t denominator, bool drop_frame);

// Removes every "+" and "-" of a typed time. `sign` becomes +1 when the text holds a
// "+", else -1 when it holds a "-", else 0 (and the text is returned unchanged).
QString time_text_split_sign(const QString& text, int32_t* sign);

// Parses a typed timecode "[[[H:]M:]S:]F"; ";", "." and "," separate like ":", and a
// "," or ";" marks drop-frame. Seconds and minutes of 60 or more carry into the
// next field; frames are kept as typed. Returns false for an empty text, a field
// that is not a decimal number, or hours beyond 32 bits.
bool timecode_parse(const QString& text, uint32_t* hours, uint32_t* minutes, uint32_t* seconds, uint32_t* frames,
                    uint8_t* drop_frame);
