// Shader functions: the compiled-in SPIR-V, module loading on the thread pool, failed
// loads, the library's look-ups, and module lifetime under the validation layer.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "render/video_pipelines.h"
#include "render/vulkan_error.h"
#include "render/vulkan_function.h"
#include "tests/render/vulkan_harness.h"

using namespace vktest;

namespace {

const char* kShaderFiles[] = {
    "basic_vert.spv",           "basic_vert_no_uv.spv",          "basic_vert_offset.spv",
    "basic_vert_offset_uv.spv", "basic_frag.spv",                "audio_meters_frag.spv",
    "frag_fill_white.spv",      "basic_frag_color_only.spv",     "frag_img_straight.spv",
    "frag_img_opacity_premult.spv", "frag_img_opacity_straight.spv", "frag_fill_checkerboard.spv",
    "frag_fill_white_opaque.spv", "frag_fill_black_opaque.spv",  "overlay_img_frag.spv",
    "frag_fill_custom_checkerboard.spv", "frag_dxt_1_tex.spv",   "frag_dxt_2_tex.spv",
};

QString g_reported_error;
void record_vulkan_error(const QString& text) { g_reported_error = text; }

class ShaderFunctions : public VulkanWindowTest {};

}  // namespace

TEST(ShaderResources, EveryShaderIsEmbeddedUnderBothPathForms) {
    static_assert(sizeof(kShaderFiles) / sizeof(kShaderFiles[0]) == 18);
    for (const char* name : kShaderFiles) {
        for (const QString& prefix : {QString(":/GPU_SHADERS/"), QString("://GPU_SHADERS/")}) {
            QFile file(prefix + name);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << (prefix + name).toStdString();
            const QByteArray code = file.readAll();
            EXPECT_GT(code.size(), 20) << name;
            EXPECT_EQ(code.size() % 4, 0) << name;
            uint32_t magic = 0;
            memcpy(&magic, code.constData(), 4);
            EXPECT_EQ(magic, 0x07230203u) << name;
        }
    }
}

TEST(ShaderFunctionLib, UnknownNamesGiveNullWithAMessage) {
    VulkanFunctionLib lib;
    VulkanFunction* fragment = lib.addFragment("frag", ":/GPU_SHADERS/frag_fill_white.spv");
    VulkanVertexFunction* vertex = lib.addVertex("vert", ":/GPU_SHADERS/basic_vert.spv");
    MessageCapture messages;
    EXPECT_EQ(lib.fragmentFunc("frag"), fragment);
    EXPECT_EQ(lib.vertexFunc("vert"), vertex);
    EXPECT_EQ(lib.fragmentFunc("nope"), nullptr);
    EXPECT_TRUE(messages.messages().contains("Fail to find fragment func : nope"));
    EXPECT_EQ(lib.vertexFunc("frag"), nullptr);  // a fragment function is not a vertex function
    EXPECT_TRUE(messages.messages().contains("Fail to find vertex func : frag"));
    // Releasing functions that were never loaded makes no Vulkan call.
    lib.release();
    EXPECT_EQ(fragment->module(), VK_NULL_HANDLE);
}

TEST(ShaderFunctionLib, InterfaceRecords) {
    VulkanVertexFunction v;
    v.addBinding(0, 20, VK_VERTEX_INPUT_RATE_VERTEX);
    v.addAttribute(0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0);
    v.addAttribute(1, 0, VK_FORMAT_R32G32_SFLOAT, 12);
    v.addVertexPushConstant(0, 8);
    const VkPipelineVertexInputStateCreateInfo input = v.vertexInputInfo();
    EXPECT_EQ(input.vertexBindingDescriptionCount, 1u);
    EXPECT_EQ(input.pVertexBindingDescriptions[0].stride, 20u);
    ASSERT_EQ(input.vertexAttributeDescriptionCount, 2u);
    EXPECT_EQ(input.pVertexAttributeDescriptions[1].offset, 12u);
    EXPECT_EQ(v.pushConstants[0].stageFlags, uint32_t(VK_SHADER_STAGE_VERTEX_BIT));
    EXPECT_FALSE(v.hasBindings());
    EXPECT_EQ(v.layoutCreateInfo().pBindings, nullptr);
    EXPECT_EQ(v.layoutCreateInfo().bindingCount, 0u);
}

TEST(ShaderFunctionLib, VulkanErrorGoesThroughTheHook) {
    VulkanErrorHook previous = setVulkanErrorHook(record_vulkan_error);
    showVulkanError("Fail to create gpu sampler");
    setVulkanErrorHook(previous);
    EXPECT_EQ(g_reported_error, "Fail to create gpu sampler");
}

TEST_F(ShaderFunctions, LoadsAModuleAndDescribesItsBindings) {
    TestVulkanWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    VulkanFunctionLib lib;
    VulkanFunction* f = lib.addFragment("frag_func_dxt_1_tex", ":/GPU_SHADERS/frag_dxt_1_tex.spv");
    f->addSamplerBinding(0, 1);
    f->addFragmentPushConstant(0, 4);
    lib.load(w->vulkanInstance(), w->device());
    EXPECT_NE(f->module(), VK_NULL_HANDLE);
    const VkDescriptorSetLayoutCreateInfo info = f->layoutCreateInfo();
    EXPECT_EQ(info.flags, 0u);
    ASSERT_EQ(info.bindingCount, 1u);
    EXPECT_EQ(info.pBindings[0].binding, 0u);
    EXPECT_EQ(info.pBindings[0].descriptorType, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER);
    EXPECT_EQ(info.pBindings[0].descriptorCount, 1u);
    EXPECT_EQ(info.pBindings[0].stageFlags, uint32_t(VK_SHADER_STAGE_FRAGMENT_BIT));
    EXPECT_EQ(info.pBindings[0].pImmutableSamplers, nullptr);

    // Loading again destroys the first module (the layer reports any module left when
    // the device goes, checked at tear-down).
    f->load(w->vulkanInstance(), w->device(), ":/GPU_SHADERS/frag_dxt_1_tex.spv");
    f->load(w->vulkanInstance(), w->device(), ":/GPU_SHADERS/frag_dxt_1_tex.spv");
    EXPECT_NE(f->module(), VK_NULL_HANDLE);
    lib.release();
    EXPECT_EQ(f->module(), VK_NULL_HANDLE);
    EXPECT_FALSE(f->loadStarted);
}

TEST_F(ShaderFunctions, MissingOrMalformedFilesGiveNullModules) {
    TestVulkanWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notSpirv = dir.filePath("not_spirv.spv");
    const QString oddSize = dir.filePath("odd_size.spv");
    {
        QFile file(notSpirv);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(64, 'x'));
        QFile odd(oddSize);
        ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
        QFile real(":/GPU_SHADERS/frag_fill_white.spv");
        ASSERT_TRUE(real.open(QIODevice::ReadOnly));
        odd.write(real.readAll().chopped(2));  // right magic, size not a multiple of 4
    }
    MessageCapture messages;
    VulkanFunction missing, garbage, truncated;
    missing.load(w->vulkanInstance(), w->device(), ":/GPU_SHADERS/missing.spv");
    garbage.load(w->vulkanInstance(), w->device(), notSpirv);
    truncated.load(w->vulkanInstance(), w->device(), oddSize);
    EXPECT_EQ(missing.module(), VK_NULL_HANDLE);
    EXPECT_EQ(missing.module(), VK_NULL_HANDLE);  // asking again finds null again
    EXPECT_EQ(garbage.module(), VK_NULL_HANDLE);
    EXPECT_EQ(truncated.module(), VK_NULL_HANDLE);
    EXPECT_TRUE(messages.messages().contains("Failed to open :/GPU_SHADERS/missing.spv"));
    EXPECT_TRUE(messages.contains("Failed to create shader module: "));
    missing.release();
    garbage.release();
    truncated.release();
}

TEST_F(ShaderFunctions, LoadOnAnotherDeviceReleasesTheOldModuleOnItsOwnDevice) {
    TestVulkanWindow* first = openWindow(QSize(32, 32));
    ASSERT_NE(first, nullptr);
    TestVulkanWindow second;
    second.setVulkanInstance(vulkan_instance());
    ASSERT_TRUE(show_and_wait_ready(second, QSize(32, 32)));
    ASSERT_NE(first->device(), second.device());

    VulkanFunction f;
    f.load(first->vulkanInstance(), first->device(), ":/GPU_SHADERS/frag_fill_white.spv");
    ASSERT_NE(f.module(), VK_NULL_HANDLE);
    // The first module must be destroyed on the first device (else the layer reports a
    // wrong parent now and a leak when the first device goes).
    f.load(second.vulkanInstance(), second.device(), ":/GPU_SHADERS/frag_fill_white.spv");
    EXPECT_NE(f.module(), VK_NULL_HANDLE);
    EXPECT_EQ(f.device, second.device());
    f.release();
    hide_and_release(second);
}

TEST_F(ShaderFunctions, LibraryLoadsAgainAfterARelease) {
    TestVulkanWindow* w = openWindow();
    ASSERT_NE(w, nullptr);
    VideoPipelines pipelines;
    pipelines.registerShaders();
    pipelines.setDevice(w->vulkanInstance(), w->device(), w->defaultRenderPass());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        pipelines.loadShaders();
        for (const QString& name : pipelines.fragmentFunctions.paths.keys())
            EXPECT_NE(pipelines.fragmentFunctions.fragmentFunc(name)->module(), VK_NULL_HANDLE) << name.toStdString();
        for (const QString& name : pipelines.vertexFunctions.paths.keys())
            EXPECT_NE(pipelines.vertexFunctions.vertexFunc(name)->module(), VK_NULL_HANDLE) << name.toStdString();
        ASSERT_EQ(pipelines.createDescriptorLayouts(), VK_SUCCESS);
        EXPECT_TRUE(pipelines.createUiPipelines());
        pipelines.release();
    }
}
