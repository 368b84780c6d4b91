// The start-up check that the video window can show a picture: what each missing
// piece makes the program say, and what a real display and a device-less loader answer.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QVulkanInstance>
#include <cstdlib>

#include "render/vulkan_present_check.h"
#include "tests/render/vulkan_harness.h"

namespace {

VulkanPresentFacts ready_facts() {
    VulkanPresentFacts facts;
    facts.surface = true;
    facts.physical_devices = 1;
    facts.graphics_queue = true;
    facts.present_queue = true;
    facts.surface_formats = 2;
    return facts;
}

TEST(VulkanPresentCheck, EachMissingPieceIsNamedAndAReadyWindowPasses) {
    EXPECT_TRUE(vulkanPresentProblem(ready_facts()).isEmpty());

    const QString need = "\nNorvu HAP Player need GPU supporting Vulkan.";
    VulkanPresentFacts none;  // what a loader without hardware gives: nothing at all
    EXPECT_EQ(vulkanPresentProblem(none), "Failed to find a Vulkan device." + need);

    VulkanPresentFacts facts = ready_facts();
    facts.surface = false;
    EXPECT_EQ(vulkanPresentProblem(facts), "Failed to create a Vulkan surface for the video window." + need);
    facts = ready_facts();
    facts.graphics_queue = false;
    EXPECT_EQ(vulkanPresentProblem(facts), "The Vulkan device has no graphics queue." + need);
    // An 8-bit X screen: the device draws but no queue presents to the window.
    facts = ready_facts();
    facts.present_queue = false;
    EXPECT_EQ(vulkanPresentProblem(facts), "Vulkan can't present to this display (no present queue)." + need);
    // A 15- or 16-bit X screen: the surface offers no format to make a swap chain with.
    facts = ready_facts();
    facts.surface_formats = 0;
    EXPECT_EQ(vulkanPresentProblem(facts), "Vulkan can't present to this display (no surface format)." + need);
}

TEST(VulkanPresentCheck, TheTestDisplayCanShowTheVideo) {
    vktest::ensure_application();
    QVulkanInstance* instance = vktest::vulkan_instance();
    ASSERT_NE(instance, nullptr);
    const VulkanPresentFacts facts = vulkanPresentFacts(*instance);
    EXPECT_GE(facts.physical_devices, 1u);
    EXPECT_TRUE(facts.surface);
    EXPECT_TRUE(facts.graphics_queue);
    EXPECT_TRUE(facts.present_queue);
    EXPECT_GT(facts.surface_formats, 0u);
    EXPECT_TRUE(vulkanPresentProblem(facts).isEmpty());
}

// A loader given only a driver for hardware the machine does not have: the instance
// is made, and the check must find no device where the window would stay black.
TEST(VulkanPresentCheck, ALoaderWithoutHardwareIsADeviceProblem) {
    const QString icd = "/usr/share/vulkan/icd.d/radeon_icd.x86_64.json";
    if (!QFileInfo::exists(icd)) GTEST_SKIP() << "no driver for absent hardware on this machine";
    vktest::ensure_application();
    const QByteArray previous = qgetenv("VK_ICD_FILENAMES");
    qputenv("VK_ICD_FILENAMES", icd.toUtf8());
    {
        QVulkanInstance instance;
        const bool created = instance.create();
        qputenv("VK_ICD_FILENAMES", previous);
        ASSERT_TRUE(created);
        const VulkanPresentFacts facts = vulkanPresentFacts(instance);
        if (facts.physical_devices > 0) GTEST_SKIP() << "this machine has the hardware of that driver";
        EXPECT_EQ(vulkanPresentProblem(facts),
                  "Failed to find a Vulkan device.\nNorvu HAP Player need GPU supporting Vulkan.");
    }
}

}  // namespace
