#include "render/vulkan_error.h"

#include <QMessageBox>
#include <QtGlobal>
#include <atomic>

namespace {
std::atomic<VulkanErrorHook> g_error_hook{nullptr};
}

void showVulkanError(const QString& text) {
    if (VulkanErrorHook hook = g_error_hook.load()) {
        hook(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vulkan Error"), text, QMessageBox::Ok);
    box.exec();
    qFatal("%s", text.toLocal8Bit().constData());
}

VulkanErrorHook setVulkanErrorHook(VulkanErrorHook hook) { return g_error_hook.exchange(hook); }
