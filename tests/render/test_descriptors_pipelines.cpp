// Specialisation constants, descriptor pools and writes, and every pipeline of both
// renderers built under the validation layer.
#include <gtest/gtest.h>

#include <QVulkanDeviceFunctions>
#include <stdexcept>

#include "render/video_pipelines.h"
#include "render/vulkan_descriptors.h"
#include "render/vulkan_pipeline.h"
#include "render/vulkan_texture.h"
#include "tests/render/pipeline_names.h"
#include "tests/render/vulkan_harness.h"
#include "tests/support/expect_error.h"

using namespace vktest;

namespace {

class DescriptorsAndPipelines : public VulkanWindowTest {};

// The meters renderer's four functions, as it registers them.
struct MeterFunctions {
    VulkanVertexFunction vertOffset;
    VulkanVertexFunction vertOffsetUv;
    VulkanFunction fragBasic;
    VulkanFunction fragMeters;

    MeterFunctions() {
        for (VulkanVertexFunction* v : {&vertOffset, &vertOffsetUv}) {
            v->addBinding(0, 20, VK_VERTEX_INPUT_RATE_VERTEX);
            v->addAttribute(0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0);
            v->addVertexPushConstant(0, 8);
        }
        vertOffsetUv.addAttribute(1, 0, VK_FORMAT_R32G32_SFLOAT, 12);
        fragBasic.addFragmentPushConstant(16, 16);
        fragMeters.addFragmentPushConstant(16, 16);
    }
    void load(QVulkanInstance* instance, VkDevice device) {
        vertOffset.load(instance, device, "://GPU_SHADERS/basic_vert_offset.spv");
        vertOffsetUv.load(instance, device, "://GPU_SHADERS/basic_vert_offset_uv.spv");
        fragBasic.load(instance, device, "://GPU_SHADERS/basic_frag.spv");
        fragMeters.load(instance, device, "://GPU_SHADERS/audio_meters_frag.spv");
    }
    void release() {
        vertOffset.release();
        vertOffsetUv.release();
        fragBasic.release();
        fragMeters.release();
    }
};

}  // namespace

TEST(VulkanSpecializationInfo, ConsecutiveWordsOrNothing) {
    VulkanSpecialization s({0, 1, 1, 2});
    EXPECT_TRUE(s.hasValues());
    const VkSpecializationInfo info = s.info();
    ASSERT_EQ(info.mapEntryCount, 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(info.pMapEntries[i].constantID, i);
        EXPECT_EQ(info.pMapEntries[i].offset, 4 * i);
        EXPECT_EQ(info.pMapEntries[i].size, 4u);
    }
    EXPECT_EQ(info.dataSize, 16u);
    EXPECT_EQ(static_cast<const uint32_t*>(info.pData)[3], 2u);

    VulkanSpecialization empty({});
    EXPECT_FALSE(empty.hasValues());
    const VkSpecializationInfo none = empty.info();
    EXPECT_EQ(none.mapEntryCount, 0u);
    EXPECT_EQ(none.pMapEntries, nullptr);
    EXPECT_EQ(none.dataSize, 0u);
    EXPECT_EQ(none.pData, nullptr);
}

TEST(VulkanPipelineRegistry, AddFindAndRefusals) {
    VulkanPipelineLib lib;
    VulkanPipeline a, b;
    MessageCapture messages;
    EXPECT_FALSE(lib.add(nullptr, "x"));
    EXPECT_TRUE(messages.messages().contains("DEV ? : Invalid pipeline : x"));
    EXPECT_TRUE(lib.add(&a, "p"));
    EXPECT_TRUE(lib.add(&b, "p"));
    EXPECT_EQ(lib.find("p"), &b);
    EXPECT_EQ(lib.find("nope"), nullptr);
    EXPECT_TRUE(messages.messages().contains("DEV ? : Fail to find pipeline : nope"));
    // Records that hold nothing release silently.
    const qsizetype before = messages.messages().size();
    lib.destroyAll();
    EXPECT_EQ(messages.messages().size(), before);
}

TEST_F(DescriptorsAndPipelines, PoolReuseIndexingAndWrites) {
    TestVulkanWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    QVulkanInstance* instance = w->vulkanInstance();
    VkDevice device = w->device();
    VulkanFunction fragment;
    fragment.addSamplerBinding(0, 1);
    VulkanDescriptorLayout layout;
    ASSERT_EQ(layout.create(instance, device, &fragment), VK_SUCCESS);
    ASSERT_NE(layout.layout, VK_NULL_HANDLE);

    VulkanDescriptorSets sets;
    ASSERT_EQ(sets.create(instance, device, layout.layout, 2, 1, 0), VK_SUCCESS);
    EXPECT_EQ(sets.slotCount, 1u);
    EXPECT_EQ(sets.allocated, 2u);
    const VkDescriptorPool pool = sets.pool;
    ASSERT_EQ(sets.create(instance, device, layout.layout, 2, 1, 1), VK_SUCCESS);
    EXPECT_EQ(sets.pool, pool);  // large enough: kept with its sets
    ASSERT_EQ(sets.create(instance, device, layout.layout, 2, 1, 3), VK_SUCCESS);
    EXPECT_EQ(sets.allocated, 6u);
    for (uint32_t f = 0; f < 2; ++f)
        for (uint32_t s = 0; s < 3; ++s) {
            EXPECT_EQ(sets.set(s, f), sets.sets[s + f * 3]);
            EXPECT_EQ(sets.findSet(s, f), sets.sets[s + f * 3]);
        }
    EXPECT_THROW(sets.set(3, 1), std::out_of_range);
    // A slot beyond the count would name another frame's set: refused too.
    EXPECT_THROW(sets.set(3, 0), std::out_of_range);
    EXPECT_EQ(sets.findSet(3, 0), VK_NULL_HANDLE);
    EXPECT_EQ(sets.findSet(0, 2), VK_NULL_HANDLE);

    // Writes: a real texture view and sampler.
    Samplers samplers = create_samplers(*w);
    VulkanTexture texture;
    ASSERT_EQ(vk_texture_create(w, w->deviceFunctions(), device, &texture, VK_FORMAT_R8_UNORM, {4, 4}), VK_SUCCESS);
    const VkDescriptorImageInfo info{samplers.linear, texture.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    sets.writeImages(2, {&info});
    sets.writeFrameImages(1, 1, {&info});
    EXPECT_TRUE(sets.tryWriteFrameImages(0, 0, {&info}));
    {
        MessageCapture messages;
        EXPECT_RUNTIME_ERROR(sets.writeImages(0, {&info, &info}), "Invalid size for descriptor update");
        EXPECT_TRUE(messages.messages().contains("Invalid array size. Expected : 1 ; Binding : 2 ; ImgInfo : 2"));
        EXPECT_RUNTIME_ERROR(sets.writeImages(0, {nullptr}), "Invalid image info for descriptor update");
        EXPECT_RUNTIME_ERROR(sets.writeFrameImages(5, 0, {&info}), "Invalid size for descriptor update");
        EXPECT_FALSE(sets.tryWriteFrameImages(0, 0, {&info, &info}));
        EXPECT_FALSE(sets.tryWriteFrameImages(0, 9, {&info}));
    }

    // Another descriptor count always rebuilds, even for fewer sets.
    ASSERT_EQ(sets.create(instance, device, layout.layout, 1, 2, 1), VK_SUCCESS);
    EXPECT_EQ(sets.descriptorsPerSet, 2u);
    EXPECT_EQ(sets.allocated, 1u);
    EXPECT_EQ(sets.sets.size(), 1u);

    // No frame in flight: nothing is written, not even checked.
    VulkanDescriptorSets none;
    ASSERT_EQ(none.create(instance, device, layout.layout, 0, 1, 1), VK_SUCCESS);
    EXPECT_NO_THROW(none.writeImages(0, {&info, &info, &info}));

    vk_texture_destroy(w->deviceFunctions(), &texture);
    destroy_samplers(*w, samplers);
    sets.release();
    EXPECT_EQ(sets.pool, VK_NULL_HANDLE);
    EXPECT_EQ(sets.allocated, 0u);
    none.release();
    layout.release();
}

TEST_F(DescriptorsAndPipelines, EveryPipelineOfBothRenderersBuildsCleanly) {
    TestVulkanWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    VideoPipelines video;
    video.registerShaders();
    video.setDevice(w->vulkanInstance(), w->device(), w->defaultRenderPass());
    video.loadShaders();
    ASSERT_EQ(video.createDescriptorLayouts(), VK_SUCCESS);
    ASSERT_TRUE(video.createUiPipelines());
    ASSERT_TRUE(video.createVideoPipelines());
    ASSERT_EQ(video.registry.pipelines.size(), 26);
    for (const QString& name : vktest::renderer_pipeline_names()) {
        const VulkanPipeline* p = video.registry.find(name);
        ASSERT_NE(p, nullptr) << name.toStdString();
        EXPECT_NE(p->pipeline, VK_NULL_HANDLE) << name.toStdString();
    }
    EXPECT_NE(video.fragmentFunctions.fragmentFunc("frag_img_opacity_premult")->module(), VK_NULL_HANDLE);
    EXPECT_NE(video.fragmentFunctions.fragmentFunc("frag_img_opacity_straight")->module(), VK_NULL_HANDLE);

    MeterFunctions meters;
    meters.load(w->vulkanInstance(), w->device());
    VulkanPipeline basic, bars;
    EXPECT_EQ(basic.createStrip(w->vulkanInstance(), w->device(), w->defaultRenderPass(), &meters.vertOffset,
                                &meters.fragBasic, nullptr, nullptr),
              VK_SUCCESS);
    EXPECT_EQ(bars.createStrip(w->vulkanInstance(), w->device(), w->defaultRenderPass(), &meters.vertOffsetUv,
                               &meters.fragMeters, nullptr, nullptr),
              VK_SUCCESS);
    EXPECT_TRUE(validation_errors().isEmpty()) << validation_errors().join('\n').toStdString();
    EXPECT_TRUE(validation_warnings().isEmpty()) << validation_warnings().join('\n').toStdString();

    // Released records keep their names; building again over a live record replaces it.
    video.registry.destroyAll();
    EXPECT_EQ(video.registry.pipelines.size(), 26);
    EXPECT_EQ(video.registry.find("ui_fill_white")->pipeline, VK_NULL_HANDLE);
    {
        MessageCapture messages;
        EXPECT_EQ(basic.createStrip(w->vulkanInstance(), w->device(), w->defaultRenderPass(), &meters.vertOffset,
                                    &meters.fragBasic, nullptr, nullptr),
                  VK_SUCCESS);
        EXPECT_FALSE(messages.contains("Fail to"));
    }
    basic.release();
    bars.release();
    meters.release();
    video.release();
}

TEST_F(DescriptorsAndPipelines, FunctionsWithoutBindingsOrModules) {
    TestVulkanWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    VulkanFunctionLib lib;
    VulkanVertexFunction* vertex = lib.addVertex("v", "://GPU_SHADERS/basic_vert_no_uv.spv");
    vertex->addBinding(0, 20, VK_VERTEX_INPUT_RATE_VERTEX);
    vertex->addAttribute(0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0);
    VulkanFunction* plain = lib.addFragment("f", ":/GPU_SHADERS/frag_fill_white_opaque.spv");
    VulkanFunction* missing = lib.addFragment("m", ":/GPU_SHADERS/missing.spv");
    MessageCapture messages;
    lib.load(w->vulkanInstance(), w->device());

    VulkanDescriptorLayout layout;
    EXPECT_EQ(layout.create(w->vulkanInstance(), w->device(), plain), VK_SUCCESS);
    EXPECT_EQ(layout.layout, VK_NULL_HANDLE);
    EXPECT_TRUE(messages.messages().contains("Warning, no descriptor in frag func"));

    VulkanPipeline pipeline;
    EXPECT_EQ(pipeline.create(w->vulkanInstance(), w->device(), w->defaultRenderPass(), vertex, plain, &layout.layout,
                              nullptr, VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP, 0, VK_CULL_MODE_NONE),
              VK_SUCCESS);
    EXPECT_NE(pipeline.pipeline, VK_NULL_HANDLE);

    // A function whose file is missing, or no function at all: refused, never handed
    // to the driver.
    VulkanPipeline refused;
    EXPECT_NE(refused.create(w->vulkanInstance(), w->device(), w->defaultRenderPass(), vertex, missing, nullptr,
                             nullptr, VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP, 1, VK_CULL_MODE_NONE),
              VK_SUCCESS);
    EXPECT_EQ(refused.pipeline, VK_NULL_HANDLE);
    EXPECT_NE(refused.create(w->vulkanInstance(), w->device(), w->defaultRenderPass(), vertex, lib.fragmentFunc("x"),
                             nullptr, nullptr, VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP, 1, VK_CULL_MODE_NONE),
              VK_SUCCESS);
    refused.release();
    pipeline.release();
    layout.release();
    lib.release();
}
