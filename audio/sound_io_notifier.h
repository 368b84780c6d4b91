#pragma once
// Carries the audio I/O library's notices (raised on the thread that waits for the
// library's events) to the GUI thread as queued signals: the device list changed, or
// the backend went away (its sound server stopped), with the library's error code.
#include <QObject>

class SoundIoNotifier : public QObject {
    Q_OBJECT
public:
    explicit SoundIoNotifier(QObject* parent = nullptr);
    ~SoundIoNotifier() override;

    void notifyDeviceChanged();
    void notifyBackendLost(int error);

signals:
    void device_changed();
    void backend_lost(int error);
};
