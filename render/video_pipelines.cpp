#include "render/video_pipelines.h"

#include <QDebug>
#include <cstdio>

#include "render/canvas_modes.h"

namespace {

constexpr uint32_t kVertexStride = 20;  // x, y, z, u, v as 32-bit floats

// The video renderer's quads and the guide strips wind both ways: nothing is culled.
constexpr VkCullModeFlags kVideoCullMode = VK_CULL_MODE_NONE;

}  // namespace

// The device may be gone by now: release() is the owner's call while it exists.
VideoPipelines::~VideoPipelines() {
    registry.clear();
    records.clear();
}

void VideoPipelines::registerShaders() {
    VulkanVertexFunction* basic = vertexFunctions.addVertex("vert_func_basic", "://GPU_SHADERS/basic_vert.spv");
    basic->addBinding(0, kVertexStride, VK_VERTEX_INPUT_RATE_VERTEX);
    basic->addAttribute(0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0);
    basic->addAttribute(1, 0, VK_FORMAT_R32G32_SFLOAT, 12);

    VulkanVertexFunction* noUv =
        vertexFunctions.addVertex("vert_func_basic_no_uv", "://GPU_SHADERS/basic_vert_no_uv.spv");
    noUv->addBinding(0, kVertexStride, VK_VERTEX_INPUT_RATE_VERTEX);
    noUv->addAttribute(0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0);

    fragmentFunctions.addFragment("frag_fill_white", ":/GPU_SHADERS/frag_fill_white.spv")->addFragmentPushConstant(0, 4);
    fragmentFunctions.addFragment("frag_func_color", ":/GPU_SHADERS/basic_frag_color_only.spv")
        ->addFragmentPushConstant(0, 16);
    fragmentFunctions.addFragment("frag_img_straight", ":/GPU_SHADERS/frag_img_straight.spv")->addSamplerBinding(0, 1);

    VulkanFunction* opacityPremult =
        fragmentFunctions.addFragment("frag_img_opacity_premult", ":/GPU_SHADERS/frag_img_opacity_premult.spv");
    opacityPremult->addSamplerBinding(0, 1);
    opacityPremult->addFragmentPushConstant(0, 4);
    VulkanFunction* opacityStraight =
        fragmentFunctions.addFragment("frag_img_opacity_straight", ":/GPU_SHADERS/frag_img_opacity_straight.spv");
    opacityStraight->addSamplerBinding(0, 1);
    opacityStraight->addFragmentPushConstant(0, 4);

    fragmentFunctions.addFragment("frag_fill_checkerboard", ":/GPU_SHADERS/frag_fill_checkerboard.spv");
    fragmentFunctions.addFragment("frag_fill_white_opaque", ":/GPU_SHADERS/frag_fill_white_opaque.spv");
    fragmentFunctions.addFragment("frag_fill_black_opaque", ":/GPU_SHADERS/frag_fill_black_opaque.spv");
    fragmentFunctions.addFragment("frag_func_overlay", ":/GPU_SHADERS/overlay_img_frag.spv");
    fragmentFunctions.addFragment("frag_fill_checkerboard_custom", ":/GPU_SHADERS/frag_fill_custom_checkerboard.spv")
        ->addFragmentPushConstant(0, 32);

    VulkanFunction* oneTexture = fragmentFunctions.addFragment("frag_func_dxt_1_tex", ":/GPU_SHADERS/frag_dxt_1_tex.spv");
    oneTexture->addSamplerBinding(0, 1);
    oneTexture->addFragmentPushConstant(0, 4);
    VulkanFunction* twoTextures = fragmentFunctions.addFragment("frag_func_dxt_2_tex", ":/GPU_SHADERS/frag_dxt_2_tex.spv");
    twoTextures->addSamplerBinding(0, 1);
    twoTextures->addSamplerBinding(1, 1);
    twoTextures->addFragmentPushConstant(0, 4);
}

void VideoPipelines::setDevice(QVulkanInstance* newInstance, VkDevice newDevice, VkRenderPass newRenderPass) {
    instance = newInstance;
    device = newDevice;
    renderPass = newRenderPass;
}

void VideoPipelines::loadShaders() {
    vertexFunctions.load(instance, device);
    fragmentFunctions.load(instance, device);
}

VkResult VideoPipelines::createDescriptorLayouts() {
    VkResult err = oneTextureLayout.create(instance, device, fragmentFunctions.fragmentFunc("frag_func_dxt_1_tex"));
    if (err != VK_SUCCESS) return err;
    return twoTextureLayout.create(instance, device, fragmentFunctions.fragmentFunc("frag_func_dxt_2_tex"));
}

bool VideoPipelines::buildPipeline(const QString& name, const QString& vertex, const QString& fragment,
                                   const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization,
                                   VkPrimitiveTopology topology, uint32_t blendKind) {
    auto record = std::make_unique<VulkanPipeline>();
    const VkResult err = record->create(instance, device, renderPass, vertexFunctions.vertexFunc(vertex),
                                        fragmentFunctions.fragmentFunc(fragment), setLayout, specialization,
                                        topology, blendKind, kVideoCullMode);
    if (err != VK_SUCCESS) {
        record->release();
        return false;
    }
    VulkanPipeline* pipeline = record.get();
    records.push_back(std::move(record));
    return registry.add(pipeline, name);
}

bool VideoPipelines::createTexturePipelines(const QString& fragment, const VkDescriptorSetLayout* setLayout,
                                            uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                            const QStringList& names, VkPrimitiveTopology topology,
                                            const char* failure) {
    const uint32_t straight = blendKind == VulkanBlendMode_Straight ? 1 : 0;
    for (qsizetype i = 0; i < names.size() && i < 2; ++i) {
        VulkanSpecialization specialization({sourceKind, outputKind, straight, uint32_t(i + 1)});
        auto record = std::make_unique<VulkanPipeline>();
        const VkResult err = record->create(instance, device, renderPass, vertexFunctions.vertexFunc("vert_func_basic"),
                                            fragmentFunctions.fragmentFunc(fragment), setLayout, &specialization,
                                            topology, blendKind, kVideoCullMode);
        if (err != VK_SUCCESS) {
            qDebug("%s", failure);
            record->release();
            return false;
        }
        VulkanPipeline* pipeline = record.get();
        records.push_back(std::move(record));
        if (!registry.add(pipeline, names[i])) return false;
    }
    return true;
}

bool VideoPipelines::createPipelineOneTexture(uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                              const QStringList& names, VkPrimitiveTopology topology) {
    return createTexturePipelines("frag_func_dxt_1_tex", &oneTextureLayout.layout, sourceKind, outputKind, blendKind,
                                  names, topology, "Fail to create pipeline rgb shader");
}

bool VideoPipelines::createPipelineTwoTextures(uint32_t sourceKind, uint32_t outputKind, uint32_t blendKind,
                                               const QStringList& names) {
    return createTexturePipelines("frag_func_dxt_2_tex", &twoTextureLayout.layout, sourceKind, outputKind, blendKind,
                                  names, VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST, "Fail to create pipeline rgba 2 shader");
}

bool VideoPipelines::createUiPipelines() {
    const VkPrimitiveTopology strip = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP;
    const VkPrimitiveTopology list = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    const VkDescriptorSetLayout* one = &oneTextureLayout.layout;
    struct UiRow {
        const char* name;
        const char* vertex;
        const char* fragment;
        const VkDescriptorSetLayout* layout;
        VkPrimitiveTopology topology;
        uint32_t blend;
    };
    const UiRow rows[] = {
        {"ui_img_straight", "vert_func_basic", "frag_img_straight", one, strip, VulkanBlendMode_Straight},
        {"ui_draw_overlay", "vert_func_basic", "frag_func_overlay", one, strip, VulkanBlendMode_Premultiplied},
        {"ui_fill_color", "vert_func_basic_no_uv", "frag_func_color", nullptr, strip, VulkanBlendMode_Straight},
        {"ui_fill_white", "vert_func_basic_no_uv", "frag_fill_white", nullptr, list, VulkanBlendMode_Straight},
        {"ui_fill_black_opaque", "vert_func_basic_no_uv", "frag_fill_black_opaque", nullptr, strip,
         VulkanBlendMode_Straight},
        {"ui_fill_white_opaque", "vert_func_basic_no_uv", "frag_fill_white_opaque", nullptr, strip,
         VulkanBlendMode_Straight},
        {"bg_checkerboard", "vert_func_basic_no_uv", "frag_fill_checkerboard", nullptr, strip,
         VulkanBlendMode_Straight},
        {"bg_custom_checkerboard", "vert_func_basic_no_uv", "frag_fill_checkerboard_custom", nullptr, strip,
         VulkanBlendMode_Straight},
    };
    for (const UiRow& row : rows) {
        if (!buildPipeline(row.name, row.vertex, row.fragment, row.layout, nullptr, row.topology, row.blend)) {
            qDebug("Fail to create ui pipeline : %s", row.name);
            return false;
        }
    }
    return createPipelineOneTexture(VideoSourceKind_Rgba, VideoOutputKind_Rgba, VulkanBlendMode_Straight,
                                    {"rgba_to_rgba_straight_bilinear_triangle_strip",
                                     "rgba_to_rgba_straight_bicubic_triangle_strip"},
                                    strip);
}

bool VideoPipelines::createVideoPipelines() {
    const VkPrimitiveTopology list = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    const uint32_t premult = VulkanBlendMode_Premultiplied;
    const uint32_t straight = VulkanBlendMode_Straight;
    return createPipelineOneTexture(VideoSourceKind_Rgba, VideoOutputKind_RgbOpaque, premult,
                                    {"rgba_to_rgbx_bilinear", "rgba_to_rgbx_bicubic"}, list) &&
           createPipelineOneTexture(VideoSourceKind_Rgba, VideoOutputKind_Rgba, straight,
                                    {"rgba_to_rgba_straight_bilinear", "rgba_to_rgba_straight_bicubic"}, list) &&
           createPipelineOneTexture(VideoSourceKind_Rgba, VideoOutputKind_Rgba, premult,
                                    {"rgba_to_rgba_premult_bilinear", "rgba_to_rgba_premult_bicubic"}, list) &&
           createPipelineOneTexture(VideoSourceKind_Rgba, VideoOutputKind_AlphaGrey, straight,
                                    {"rgba_to_alpha_bilinear", "rgba_to_alpha_bicubic"}, list) &&
           createPipelineOneTexture(VideoSourceKind_AlphaOnly, VideoOutputKind_RgbOpaque, straight,
                                    {"hapalphaonly_to_rgbx_bilinear", "hapalphaonly_to_rgbx_bicubic"}, list) &&
           createPipelineOneTexture(VideoSourceKind_HapQ, VideoOutputKind_RgbOpaque, premult,
                                    {"hapq_to_rgbx_bilinear", "hapq_to_rgbx_bicubic"}, list) &&
           createPipelineTwoTextures(VideoSourceKind_HapQAlpha, VideoOutputKind_Rgba, straight,
                                     {"hapqa_to_rgba_straight_bilinear", "hapq_to_rgba_straight_bicubic"}) &&
           createPipelineTwoTextures(VideoSourceKind_HapQAlpha, VideoOutputKind_Rgba, premult,
                                     {"hapqa_to_rgba_premult_bilinear", "hapq_to_rgba_premult_bicubic"});
}

void VideoPipelines::destroyPipelines() {
    registry.destroyAll();
    registry.clear();
    for (auto& record : records) record->release();
    records.clear();
}

void VideoPipelines::release() {
    destroyPipelines();
    oneTextureLayout.release();
    twoTextureLayout.release();
    vertexFunctions.release();
    fragmentFunctions.release();
}

QString VideoPipelines::selectVideoPipeline(uint32_t codec, uint8_t fileHasAlpha, uint32_t channelMode,
                                            uint32_t scaleMode, uint32_t alphaMode, uint32_t planes[4]) {
    for (int i = 0; i < 4; ++i) planes[i] = kVideoPlaneUnused;
    const QString suffix = scaleMode >= BaseGpu2dCanvas_ScaleMode_Bicubic ? QStringLiteral("_bicubic")
                                                                          : QStringLiteral("_bilinear");
    const bool straight = alphaMode != BaseGpu2dCanvas_AlphaMode_PremultiplyBlack;
    const bool bicubic = scaleMode >= BaseGpu2dCanvas_ScaleMode_Bicubic;

    const uint32_t fileCodec = codec;
    if (codec == VideoCodecTag_Hap7 || codec == VideoCodecTag_DXD3) {
        if (fileHasAlpha == 0)
            codec = VideoCodecTag_Hap1;
        else if (fileHasAlpha == 1)
            codec = VideoCodecTag_Hap5;
        else
            codec = 0;  // unknown below
    }

    switch (codec) {
        case VideoCodecTag_Hap1:
            if (channelMode >= BaseGpu2dCanvas_ChannelMode_Alpha) return QStringLiteral("ui_fill_white");
            planes[0] = 0;
            return "rgba_to_rgbx" + suffix;
        case VideoCodecTag_Hap5:
            planes[0] = 0;
            if (channelMode == BaseGpu2dCanvas_ChannelMode_RGBA)
                return (straight ? "rgba_to_rgba_straight" : "rgba_to_rgba_premult") + suffix;
            if (channelMode == BaseGpu2dCanvas_ChannelMode_RGB) return "rgba_to_rgbx" + suffix;
            return "rgba_to_alpha" + suffix;
        case VideoCodecTag_HapY:
            if (channelMode >= BaseGpu2dCanvas_ChannelMode_Alpha) return QStringLiteral("ui_fill_white");
            planes[0] = 0;
            return "hapq_to_rgbx" + suffix;
        case VideoCodecTag_HapM:
            if (channelMode == BaseGpu2dCanvas_ChannelMode_RGBA) {
                planes[0] = 0;
                planes[1] = 1;
                if (straight)
                    return bicubic ? QStringLiteral("hapq_to_rgba_straight_bicubic")
                                   : QStringLiteral("hapqa_to_rgba_straight_bilinear");
                return bicubic ? QStringLiteral("hapq_to_rgba_premult_bicubic")
                               : QStringLiteral("hapqa_to_rgba_premult_bilinear");
            }
            if (channelMode == BaseGpu2dCanvas_ChannelMode_RGB) {
                planes[0] = 0;
                return "hapq_to_rgbx" + suffix;
            }
            planes[0] = 1;
            return "hapalphaonly_to_rgbx" + suffix;
        case VideoCodecTag_HapA:
            if (channelMode >= BaseGpu2dCanvas_ChannelMode_Alpha) return QStringLiteral("ui_fill_white");
            planes[0] = 0;
            return "hapalphaonly_to_rgbx" + suffix;
        default: break;
    }
    printf("Unknown dxt case pipeline selection : %d\n", int32_t(fileCodec));
    return QStringLiteral("unknown");
}
