#include "audio/sound_io_notifier.h"

SoundIoNotifier::SoundIoNotifier(QObject* parent) : QObject(parent) {}

SoundIoNotifier::~SoundIoNotifier() = default;

void SoundIoNotifier::notifyDeviceChanged() { emit device_changed(); }
