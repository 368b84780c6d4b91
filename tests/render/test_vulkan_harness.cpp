// The harness itself: the read-back must be display values in RGBA order, and the
// validation layer must really report errors, or every GPU test would pass blindly.
#include <gtest/gtest.h>

#include <QVulkanDeviceFunctions>

#include "tests/render/vulkan_harness.h"

using namespace vktest;

class VulkanHarness : public VulkanWindowTest {};

TEST_F(VulkanHarness, ClearColourReadsBackUnencodedInRgbaOrder) {
    TestVulkanWindow* w = openWindow(QSize(64, 48));
    ASSERT_NE(w, nullptr);
    w->clearColor[0] = 1.0f;
    w->clearColor[1] = 0.0f;
    w->clearColor[2] = 0.5f;
    const QImage image = grab_frame(*w);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(64, 48));
    const QRgb pixel = image.pixel(10, 10);
    EXPECT_EQ(qRed(pixel), 255);
    EXPECT_EQ(qGreen(pixel), 0);
    EXPECT_NEAR(qBlue(pixel), 128, 1);  // 188 would mean an sRGB swap chain
    EXPECT_GT(w->framesRecorded(), 0);
}

TEST_F(VulkanHarness, ValidationLayerReportsInvalidUsage) {
    TestVulkanWindow* w = openWindow(QSize(32, 32));
    ASSERT_NE(w, nullptr);
    // A sampler leaked on purpose: destroying the device must report it.
    VkSamplerCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
    info.maxAnisotropy = 1.0f;
    VkSampler sampler = VK_NULL_HANDLE;
    ASSERT_EQ(w->deviceFunctions()->vkCreateSampler(w->device(), &info, nullptr, &sampler), VK_SUCCESS);
    closeWindow();
    const QString errors = validation_errors().join(QChar(10));
    EXPECT_TRUE(errors.contains("VkSampler") && errors.contains("has not been destroyed")) << errors.toStdString();
    clear_validation_messages();
}
