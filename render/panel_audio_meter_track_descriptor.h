#pragma once
// One channel of the audio meters: written by the meter panel, read by the meters
// renderer to draw it.
#include <QObject>
#include <cstdint>

class PanelAudioMeterTrackDescriptor : public QObject {
    Q_OBJECT
public:
    explicit PanelAudioMeterTrackDescriptor(QObject* parent = nullptr,
                                            const PanelAudioMeterTrackDescriptor* other = nullptr);

    bool isMuted() const { return enabled == 0 || muted == 1; }
    bool isEnabled() const { return enabled != 0; }

    uint8_t enabled = 1;    // the channel exists in the output layout and is not disabled
    uint8_t muted = 0;      // the channel's mute button is on
    float level = 0.0f;     // 0..1 of the meter's height (-48 dB .. 0 dB)
    float peak = 0.0f;      // held peak, same scale
    uint64_t holdCounter = 0;  // refreshes since the peak was last set
};
