#include "render/vulkan_audio_meters_widget.h"

#include "render/vulkan_audio_meters_renderer.h"

VulkanAudioMetersWidget::VulkanAudioMetersWidget() : QVulkanWindow(nullptr) {
    // UNORM: an sRGB swap chain would gamma-encode the meter colours.
    setPreferredColorFormats({VK_FORMAT_B8G8R8A8_UNORM, VK_FORMAT_R8G8B8A8_UNORM});
}

VulkanAudioMetersWidget::~VulkanAudioMetersWidget() = default;

QVulkanWindowRenderer* VulkanAudioMetersWidget::createRenderer() {
    m_renderer = new VulkanRendererAudioMeters(this);
    return m_renderer;
}

void VulkanAudioMetersWidget::emitRendererEndInit() { emit viewAudioMetersRendererEndInit(); }
