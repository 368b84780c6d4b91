#pragma once
// The native window that draws the audio meters (one column per output channel, peak
// lines and dB scales) with its own Vulkan device. The meter panel embeds it in a
// window container, gives it the Vulkan instance and feeds its renderer.
// Owned by whoever creates it (the panel's window container); GUI thread only.
#include <QVulkanWindow>

class VulkanRendererAudioMeters;

class VulkanAudioMetersWidget : public QVulkanWindow {
    Q_OBJECT
public:
    VulkanAudioMetersWidget();
    ~VulkanAudioMetersWidget() override;

    QVulkanWindowRenderer* createRenderer() override;
    // Null until Qt has asked for the renderer (once the device exists); owned by Qt.
    VulkanRendererAudioMeters* renderer() const { return m_renderer; }
    void emitRendererEndInit();

signals:
    void viewAudioMetersRendererEndInit();

private:
    VulkanRendererAudioMeters* m_renderer = nullptr;
};
