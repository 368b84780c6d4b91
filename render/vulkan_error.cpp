#include "render/vulkan_error.h"

#include <QtGlobal>
#include <atomic>

namespace {
std::atomic<VulkanErrorHook> g_error_hook{nullptr};
std::atomic<VulkanErrorHook> g_error_box{nullptr};
}

void showVulkanError(const QString& text) {
    if (VulkanErrorHook hook = g_error_hook.load()) {
        hook(text);
        return;
    }
    if (VulkanErrorHook box = g_error_box.load())
        box(text);
    qFatal("%s", text.toLocal8Bit().constData());
}

VulkanErrorHook setVulkanErrorHook(VulkanErrorHook hook) { return g_error_hook.exchange(hook); }

VulkanErrorHook setVulkanErrorBox(VulkanErrorHook box) { return g_error_box.exchange(box); }
