#include "tools/panel_audio_meter_level.h"

#include <algorithm>
#include <cmath>

#include "render/panel_audio_meter_track_descriptor.h"

void meter_reset_level(PanelAudioMeterTrackDescriptor* meter) {
    meter->level = 0.0f;
    meter->holdCounter = 0;
}

bool meter_is_peak_at_max(const PanelAudioMeterTrackDescriptor* meter) {
    if (meter->isMuted()) return false;
    return meter->peak >= 1.0f;
}

void meter_update_level(PanelAudioMeterTrackDescriptor* meter, float value) {
    float a = 0.0f;
    if (value > 1.0f) a = 1.0f;
    else if (!std::isnan(value)) a = std::fabs(value);  // -inf and below -1 read as full scale
    a = std::min(a, 1.0f);
    const float db = a > 0.0f ? std::clamp(20.0f * std::log10(a), kMeterFloorDb, 0.0f) : kMeterFloorDb;
    meter->level = (db - kMeterFloorDb) / -kMeterFloorDb;
    if (meter->holdCounter > kMeterHoldRefreshes || meter->level > meter->peak) {
        meter->peak = meter->level;
        meter->holdCounter = 0;
    } else {
        ++meter->holdCounter;
    }
}
