#include "render/panel_audio_meter_track_descriptor.h"

PanelAudioMeterTrackDescriptor::PanelAudioMeterTrackDescriptor(QObject* parent,
                                                               const PanelAudioMeterTrackDescriptor* other)
    : QObject(parent) {
    if (other) {
        enabled = other->enabled;
        muted = other->muted;
        level = other->level;
        peak = other->peak;
        holdCounter = other->holdCounter;
    }
}
