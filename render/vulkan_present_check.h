#pragma once
// Whether the video window will be able to show a picture at all, asked before any
// window opens. QVulkanWindow gives up in silence when it finds no physical device,
// no queue that can present to the window or no surface format: the video area stays
// black while the clock runs, and on some displays the widgets crash painting beside
// it. The program checks first and ends with a "GPU Error" box instead.
//
// GUI thread only (it makes and destroys a native window). Errors come back as the
// text to show the user; an empty text means the window can be made ready.
#include <QString>
#include <cstdint>

class QVulkanInstance;

// What the instance offers a window on the current display. The window uses the
// first physical device, as QVulkanWindow does by default.
struct VulkanPresentFacts {
    bool surface = false;             // a Vulkan surface could be made for a window
    uint32_t physical_devices = 0;
    bool graphics_queue = false;      // the first device has a queue family with graphics
    bool present_queue = false;       // ... and one that can present to the window
    uint32_t surface_formats = 0;     // formats the surface offers the first device
};

// Makes a hidden native window with a Vulkan surface and reads the facts from it.
VulkanPresentFacts vulkanPresentFacts(QVulkanInstance& instance);

// The text of the "GPU Error" box for what is missing, or an empty text.
QString vulkanPresentProblem(const VulkanPresentFacts& facts);
