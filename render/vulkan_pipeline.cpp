#include "render/vulkan_pipeline.h"

#include <QDebug>
#include <QList>
#include <QVulkanDeviceFunctions>

#include "render/vulkan_descriptors.h"
#include "render/vulkan_function.h"

void VulkanPipeline::destroyHandles() {
    QVulkanDeviceFunctions* f = instance->deviceFunctions(device);
    if (pipeline != VK_NULL_HANDLE) f->vkDestroyPipeline(device, pipeline, nullptr);
    if (layout != VK_NULL_HANDLE) f->vkDestroyPipelineLayout(device, layout, nullptr);
    if (cache != VK_NULL_HANDLE)
        f->vkDestroyPipelineCache(device, cache, nullptr);
    else
        qDebug("Fail to destroy no pipeline cache");
    pipeline = VK_NULL_HANDLE;
    layout = VK_NULL_HANDLE;
    cache = VK_NULL_HANDLE;
}

void VulkanPipeline::release() {
    if (!instance) {
        if (device) qDebug("Fail to release pipeline : No instance (Mais device ok)");
        return;
    }
    if (!device) {
        qDebug("Fail to release pipeline : No device (Mais instance ok)");
        return;
    }
    destroyHandles();
    instance = nullptr;
    device = VK_NULL_HANDLE;
}

VkResult VulkanPipeline::create(QVulkanInstance* newInstance, VkDevice newDevice, VkRenderPass renderPass,
                                VulkanVertexFunction* vertex, VulkanFunction* fragment,
                                const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization,
                                VkPrimitiveTopology topology, uint32_t blendMode, VkCullModeFlags cullMode) {
    if (!instance && device)
        qDebug("Fail to release pipeline : No instance (Mais device ok)");
    else if (instance && !device)
        qDebug("Fail to release pipeline : No device (Mais instance ok)");
    else if (instance && device)
        destroyHandles();
    instance = newInstance;
    device = newDevice;

    // A missing function or module (its resource failed to load) is refused here: the
    // driver must never see a null shader module.
    if (!vertex || !fragment) {
        qDebug("Failed to create graphic pipeline : missing shader function");
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    const VkShaderModule vertexModule = vertex->module();
    const VkShaderModule fragmentModule = fragment->module();
    if (vertexModule == VK_NULL_HANDLE || fragmentModule == VK_NULL_HANDLE) {
        qDebug("Failed to create graphic pipeline : missing shader module");
        return VK_ERROR_INITIALIZATION_FAILED;
    }

    QVulkanDeviceFunctions* f = instance->deviceFunctions(device);
    VkPipelineCacheCreateInfo cacheInfo{};
    cacheInfo.sType = VK_STRUCTURE_TYPE_PIPELINE_CACHE_CREATE_INFO;
    VkResult err = f->vkCreatePipelineCache(device, &cacheInfo, nullptr, &cache);
    if (err != VK_SUCCESS) {
        cache = VK_NULL_HANDLE;
        qDebug("Can't create pipeline cache");
        return err;
    }

    QList<VkPushConstantRange> ranges = vertex->pushConstants;
    ranges.append(fragment->pushConstants);
    const bool withSet = setLayout && *setLayout != VK_NULL_HANDLE;
    VkPipelineLayoutCreateInfo layoutInfo{};
    layoutInfo.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO;
    layoutInfo.setLayoutCount = withSet ? 1 : 0;
    layoutInfo.pSetLayouts = withSet ? setLayout : nullptr;
    layoutInfo.pushConstantRangeCount = uint32_t(ranges.size());
    layoutInfo.pPushConstantRanges = ranges.isEmpty() ? nullptr : ranges.constData();
    err = f->vkCreatePipelineLayout(device, &layoutInfo, nullptr, &layout);
    if (err != VK_SUCCESS) {
        layout = VK_NULL_HANDLE;
        qDebug("Can't create pipeline layout");
        return err;
    }

    VkSpecializationInfo specInfo{};
    const bool withSpecialization = specialization && specialization->hasValues();
    if (withSpecialization) specInfo = specialization->info();

    VkPipelineShaderStageCreateInfo stages[2]{};
    stages[0].sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
    stages[0].stage = VK_SHADER_STAGE_VERTEX_BIT;
    stages[0].module = vertexModule;
    stages[0].pName = "main";
    stages[1].sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
    stages[1].stage = VK_SHADER_STAGE_FRAGMENT_BIT;
    stages[1].module = fragmentModule;
    stages[1].pName = "main";
    stages[1].pSpecializationInfo = withSpecialization ? &specInfo : nullptr;

    const VkPipelineVertexInputStateCreateInfo vertexInput = vertex->vertexInputInfo();

    VkPipelineInputAssemblyStateCreateInfo inputAssembly{};
    inputAssembly.sType = VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO;
    inputAssembly.topology = topology;
    inputAssembly.primitiveRestartEnable = VK_FALSE;

    VkPipelineViewportStateCreateInfo viewport{};
    viewport.sType = VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO;
    viewport.viewportCount = 1;
    viewport.scissorCount = 1;

    VkPipelineRasterizationStateCreateInfo raster{};
    raster.sType = VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO;
    raster.depthClampEnable = VK_FALSE;
    raster.rasterizerDiscardEnable = VK_FALSE;
    raster.polygonMode = VK_POLYGON_MODE_FILL;
    raster.cullMode = cullMode;
    raster.frontFace = VK_FRONT_FACE_CLOCKWISE;
    raster.depthBiasEnable = VK_FALSE;
    raster.lineWidth = 1.0f;

    VkPipelineMultisampleStateCreateInfo multisample{};
    multisample.sType = VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO;
    multisample.rasterizationSamples = VK_SAMPLE_COUNT_1_BIT;

    VkPipelineDepthStencilStateCreateInfo depth{};
    depth.sType = VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO;
    depth.depthTestEnable = VK_TRUE;
    depth.depthWriteEnable = VK_TRUE;
    depth.depthCompareOp = VK_COMPARE_OP_LESS_OR_EQUAL;

    VkPipelineColorBlendAttachmentState attachment{};
    attachment.colorWriteMask =
        VK_COLOR_COMPONENT_R_BIT | VK_COLOR_COMPONENT_G_BIT | VK_COLOR_COMPONENT_B_BIT | VK_COLOR_COMPONENT_A_BIT;
    attachment.colorBlendOp = VK_BLEND_OP_ADD;
    attachment.alphaBlendOp = VK_BLEND_OP_ADD;
    if (blendMode == VulkanBlendMode_Straight) {
        attachment.blendEnable = VK_TRUE;
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_SRC_ALPHA;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_SRC_ALPHA;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
    } else if (blendMode == VulkanBlendMode_Premultiplied) {
        attachment.blendEnable = VK_TRUE;
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
    } else {
        attachment.blendEnable = VK_FALSE;
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ZERO;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_ZERO;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
    }
    VkPipelineColorBlendStateCreateInfo blend{};
    blend.sType = VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO;
    blend.logicOpEnable = VK_FALSE;
    blend.attachmentCount = 1;
    blend.pAttachments = &attachment;

    const VkDynamicState dynamicStates[] = {VK_DYNAMIC_STATE_VIEWPORT, VK_DYNAMIC_STATE_SCISSOR};
    VkPipelineDynamicStateCreateInfo dynamic{};
    dynamic.sType = VK_STRUCTURE_TYPE_PIPELINE_DYNAMIC_STATE_CREATE_INFO;
    dynamic.dynamicStateCount = 2;
    dynamic.pDynamicStates = dynamicStates;

    VkGraphicsPipelineCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO;
    info.stageCount = 2;
    info.pStages = stages;
    info.pVertexInputState = &vertexInput;
    info.pInputAssemblyState = &inputAssembly;
    info.pTessellationState = nullptr;
    info.pViewportState = &viewport;
    info.pRasterizationState = &raster;
    info.pMultisampleState = &multisample;
    info.pDepthStencilState = &depth;
    info.pColorBlendState = &blend;
    info.pDynamicState = &dynamic;
    info.layout = layout;
    info.renderPass = renderPass;
    info.subpass = 0;
    info.basePipelineHandle = VK_NULL_HANDLE;
    info.basePipelineIndex = 0;

    err = f->vkCreateGraphicsPipelines(device, cache, 1, &info, nullptr, &pipeline);
    if (err != VK_SUCCESS) {
        pipeline = VK_NULL_HANDLE;
        qDebug("Failed to create graphic pipeline");
        return err;
    }
    return VK_SUCCESS;
}

VkResult VulkanPipeline::createCulled(QVulkanInstance* newInstance, VkDevice newDevice, VkRenderPass renderPass,
                                      VulkanVertexFunction* vertex, VulkanFunction* fragment,
                                      const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization,
                                      VkPrimitiveTopology topology, uint32_t blendMode) {
    return create(newInstance, newDevice, renderPass, vertex, fragment, setLayout, specialization, topology, blendMode,
                  VK_CULL_MODE_BACK_BIT);
}

VkResult VulkanPipeline::createStrip(QVulkanInstance* newInstance, VkDevice newDevice, VkRenderPass renderPass,
                                     VulkanVertexFunction* vertex, VulkanFunction* fragment,
                                     const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization) {
    return create(newInstance, newDevice, renderPass, vertex, fragment, setLayout, specialization,
                  VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP, VulkanBlendMode_Premultiplied, VK_CULL_MODE_BACK_BIT);
}

bool VulkanPipelineLib::add(VulkanPipeline* pipeline, const QString& name) {
    if (!pipeline) {
        qDebug().noquote() << "DEV ? : Invalid pipeline :" << name;
        return false;
    }
    pipelines.insert(name, pipeline);
    return true;
}

VulkanPipeline* VulkanPipelineLib::find(const QString& name) const {
    VulkanPipeline* pipeline = pipelines.value(name, nullptr);
    if (!pipeline) qDebug().noquote() << "DEV ? : Fail to find pipeline :" << name;
    return pipeline;
}

void VulkanPipelineLib::destroyAll() {
    const QList<QString> names = pipelines.keys();
    for (const QString& name : names)
        if (VulkanPipeline* pipeline = pipelines.value(name, nullptr)) pipeline->release();
}
