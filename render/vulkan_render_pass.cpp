#include "render/vulkan_render_pass.h"

#include <QVulkanDeviceFunctions>
#include <QVulkanWindow>

void vk_begin_window_render_pass(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkCommandBuffer commands,
                                 const VkClearColorValue& colour) {
    const QSize size = window->swapChainImageSize();
    VkClearValue clear[3]{};
    clear[0].color = colour;
    clear[1].depthStencil = {1.0f, 0};
    clear[2].color = colour;
    VkRenderPassBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO;
    begin.renderPass = window->defaultRenderPass();
    begin.framebuffer = window->currentFramebuffer();
    begin.renderArea.extent = {uint32_t(size.width()), uint32_t(size.height())};
    begin.clearValueCount = window->sampleCountFlagBits() > VK_SAMPLE_COUNT_1_BIT ? 3 : 2;
    begin.pClearValues = clear;
    f->vkCmdBeginRenderPass(commands, &begin, VK_SUBPASS_CONTENTS_INLINE);
    const VkViewport viewport{0.0f, 0.0f, float(size.width()), float(size.height()), 0.0f, 1.0f};
    f->vkCmdSetViewport(commands, 0, 1, &viewport);
    const VkRect2D scissor{{0, 0}, {uint32_t(size.width()), uint32_t(size.height())}};
    f->vkCmdSetScissor(commands, 0, 1, &scissor);
}
