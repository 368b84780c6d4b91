#include "audio/sound_io_notifier.h"

SoundIoNotifier::SoundIoNotifier(QObject* parent) : QObject(parent) {}

SoundIoNotifier::~SoundIoNotifier() = default;

void SoundIoNotifier::notifyDeviceChanged() { emit device_changed(); }

void SoundIoNotifier::notifyBackendLost(int error) { emit backend_lost(error); }
