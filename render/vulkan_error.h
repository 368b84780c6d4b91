#pragma once
// The fatal Vulkan error report of both renderers: a modal "Vulkan Error" box, then a
// fatal log that ends the program. The report goes through a replaceable hook so that
// tests (which must never block on a modal box) can observe it.
//
// The renderer links no widgets, so the box itself is installed by the program
// (`setVulkanErrorBox` at start-up); without one the fatal log alone reports the error.
#include <QString>

using VulkanErrorHook = void (*)(const QString& text);

void showVulkanError(const QString& text);

// Installs a hook in place of the box and the fatal log (null restores them); returns
// the previous hook.
VulkanErrorHook setVulkanErrorHook(VulkanErrorHook hook);

// Installs the modal box shown before the fatal log (null: none); returns the previous.
// Called once by the program before any window opens.
VulkanErrorHook setVulkanErrorBox(VulkanErrorHook box);
