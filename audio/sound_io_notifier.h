#pragma once
// Carries the audio I/O library's device-change notice (raised on the thread that
// waits for the library's events) to the GUI thread as a queued signal.
#include <QObject>

class SoundIoNotifier : public QObject {
    Q_OBJECT
public:
    explicit SoundIoNotifier(QObject* parent = nullptr);
    ~SoundIoNotifier() override;

    void notifyDeviceChanged();

signals:
    void device_changed();
};
