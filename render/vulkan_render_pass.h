#pragma once
// The start of every frame drawn into a QVulkanWindow: its default render pass on the
// current framebuffer, with viewport and scissor over the whole swap-chain image.
// Called by whichever thread records the frame, between startNextFrame and frameReady.
#include <QVulkanInstance>

class QVulkanWindow;
class QVulkanDeviceFunctions;

// Clears the colour (and the multisample colour, when the window has one) to `colour`
// and the depth to 1.
void vk_begin_window_render_pass(QVulkanWindow* window, QVulkanDeviceFunctions* f, VkCommandBuffer commands,
                                 const VkClearColorValue& colour);
