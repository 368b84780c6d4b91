#pragma once
// The level arithmetic of one meter channel record: a peak sample value becomes a
// level from 0 (-48 dB or less) to 1 (0 dB) with a held peak that stays up for 51
// refreshes unless a higher level replaces it. Plain functions on the record; the
// caller's thread (the meter panel's GUI thread).
#include <cstdint>

class PanelAudioMeterTrackDescriptor;

constexpr float kMeterFloorDb = -48.0f;
constexpr uint64_t kMeterHoldRefreshes = 50;  // the peak drops on the refresh after 51

// Level and hold counter to 0; the held peak stays.
void meter_reset_level(PanelAudioMeterTrackDescriptor* meter);
// False when muted (or absent), else whether the held peak reached full scale.
bool meter_is_peak_at_max(const PanelAudioMeterTrackDescriptor* meter);
// Takes one refresh's largest sample value. A value that is not a number counts as
// silence.
void meter_update_level(PanelAudioMeterTrackDescriptor* meter, float value);
