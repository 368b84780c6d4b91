#pragma once
// The five display modes the preferences keep and the View menu sets: how many of
// each there are, and what an unknown one falls back to (also its default). The
// preferences file's reading and the menu's slots both go through
// display_mode_or_default, so the two can never disagree. Pure functions; any thread.
#include <cstdint>

enum class DisplayModeKind : uint32_t {
    Background,  // five; the View menu and the renderer order them differently, Black is 0 in both
    Alpha,       // premultiply black, straight
    Channels,    // RGBA, RGB, alpha
    Scaling,     // nearest, bilinear, bicubic
    CropBox,     // the file as stored, the file in its display window
};

struct DisplayModeRule {
    uint32_t count;            // the modes are 0 to count - 1
    uint32_t fallback;         // the default, and what an unknown mode becomes
    const char* unknown_line;  // what an unknown mode prints; %1 is the value
};

const DisplayModeRule& display_mode_rule(DisplayModeKind kind);

// Where the line about an unknown mode goes: the console (standard output, as the
// preferences file's reading prints it) or Qt's debug log (the View menu's slots).
enum class ModeLineTo { Console, DebugLog };

// `value` when the kind has that mode; otherwise the kind's fallback, after its line
// for the value (e.g. "Unknown alpha Mode val : 9 (default premult)") went to `to`.
uint32_t display_mode_or_default(DisplayModeKind kind, uint32_t value, ModeLineTo to);
