#pragma once
// Reading back a time typed into the editable time display. The text is read as the
// inverse of what the display shows in the current mode, so confirming an unchanged
// entry gives back the frame it showed:
// - "HH:MM:SS:FF" and "Frames": hours, minutes and seconds count the frames of the
//   display's clock (round(rate x 3600), round(rate x 60), round(rate));
// - "Timecode": SMPTE timecode at the nominal rate, with the dropped frame numbers
//   removed when the display is drop-frame (only where the rate has drop-frame
//   numbering, as the display counts); an absolute entry has the timecode start
//   subtracted (modulo the labels of a day, where the display wraps), an offset
//   does not;
// - "HH:MM:SS.Mill": the digits after the point are a decimal fraction of a second
//   (".5", ".50" and ".500" alike), converted with the rate and rounded to a frame;
//   a last field after ":" counts milliseconds.
// A leading "+" or "-" makes the value an offset. Pure function; any thread.
#include <QString>

#include <cstdint>

struct TimeEntryValue {
    bool valid = false;
    int32_t sign = 0;     // 0: an absolute frame; +1 / -1: an offset forward / back
    uint32_t frames = 0;  // the frame, or the offset's size
    QString unsignedText; // the typed text without its sign characters
};

// `mode` is a `UiTimemode` (values above 3 count as 0); the rate is given both as the
// rational of the timecode and as the float of the clock displays. Values that do not
// fit 32 bits are invalid, never wrapped.
TimeEntryValue time_entry_value(const QString& typed, uint32_t mode, uint32_t numerator, uint32_t denominator,
                                float rate, uint32_t timecodeStart, bool dropFrame);
