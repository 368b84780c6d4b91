#include "render/vulkan_present_check.h"

#include <QVulkanFunctions>
#include <QVulkanInstance>
#include <QWindow>
#include <vector>

VulkanPresentFacts vulkanPresentFacts(QVulkanInstance& instance) {
    VulkanPresentFacts facts;
    QVulkanFunctions* f = instance.functions();
    uint32_t count = 0;
    // A loader whose drivers find no hardware answers with an error, not with zero.
    if (f->vkEnumeratePhysicalDevices(instance.vkInstance(), &count, nullptr) != VK_SUCCESS || count == 0)
        return facts;
    std::vector<VkPhysicalDevice> devices(count);
    if (f->vkEnumeratePhysicalDevices(instance.vkInstance(), &count, devices.data()) < 0 || count == 0) return facts;
    facts.physical_devices = count;
    const VkPhysicalDevice device = devices[0];

    QWindow probe;
    probe.setSurfaceType(QSurface::VulkanSurface);
    probe.setVulkanInstance(&instance);
    probe.create();
    const VkSurfaceKHR surface = QVulkanInstance::surfaceForWindow(&probe);
    facts.surface = surface != VK_NULL_HANDLE;

    uint32_t families = 0;
    f->vkGetPhysicalDeviceQueueFamilyProperties(device, &families, nullptr);
    std::vector<VkQueueFamilyProperties> properties(families);
    f->vkGetPhysicalDeviceQueueFamilyProperties(device, &families, properties.data());
    for (uint32_t i = 0; i < families; ++i) {
        if (properties[i].queueFlags & VK_QUEUE_GRAPHICS_BIT) facts.graphics_queue = true;
        if (facts.surface && instance.supportsPresent(device, i, &probe)) facts.present_queue = true;
    }

    if (facts.surface) {
        auto formats = reinterpret_cast<PFN_vkGetPhysicalDeviceSurfaceFormatsKHR>(
            instance.getInstanceProcAddr("vkGetPhysicalDeviceSurfaceFormatsKHR"));
        uint32_t format_count = 0;
        if (formats && formats(device, surface, &format_count, nullptr) >= 0) facts.surface_formats = format_count;
    }
    return facts;
}

QString vulkanPresentProblem(const VulkanPresentFacts& facts) {
    const QString need = QStringLiteral("\nNorvu HAP Player need GPU supporting Vulkan.");
    if (facts.physical_devices == 0) return QStringLiteral("Failed to find a Vulkan device.") + need;
    if (!facts.surface) return QStringLiteral("Failed to create a Vulkan surface for the video window.") + need;
    if (!facts.graphics_queue) return QStringLiteral("The Vulkan device has no graphics queue.") + need;
    if (!facts.present_queue)
        return QStringLiteral("Vulkan can't present to this display (no present queue).") + need;
    if (facts.surface_formats == 0)
        return QStringLiteral("Vulkan can't present to this display (no surface format).") + need;
    return QString();
}
