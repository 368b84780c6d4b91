#pragma once
// Graphics pipelines with the renderers' fixed state (dynamic viewport and scissor,
// one sample, depth test and write, front face clockwise), and the registry that
// keeps them by name.
#include <QHash>
#include <QString>
#include <QVulkanInstance>

class VulkanFunction;
class VulkanVertexFunction;
class VulkanSpecialization;

enum VulkanBlendMode : uint32_t {
    VulkanBlendMode_None = 0,
    VulkanBlendMode_Straight = 1,       // source alpha, one minus source alpha
    VulkanBlendMode_Premultiplied = 2,  // one, one minus source alpha
};

struct VulkanPipeline {
    VkPipelineCache cache = VK_NULL_HANDLE;
    VkPipelineLayout layout = VK_NULL_HANDLE;
    VkPipeline pipeline = VK_NULL_HANDLE;
    QVulkanInstance* instance = nullptr;
    VkDevice device = VK_NULL_HANDLE;

    // `setLayout` may be null or point at a null handle: the pipeline then has no set.
    VkResult create(QVulkanInstance* instance, VkDevice device, VkRenderPass renderPass, VulkanVertexFunction* vertex,
                    VulkanFunction* fragment, const VkDescriptorSetLayout* setLayout,
                    VulkanSpecialization* specialization, VkPrimitiveTopology topology, uint32_t blendMode,
                    VkCullModeFlags cullMode);
    VkResult createCulled(QVulkanInstance* instance, VkDevice device, VkRenderPass renderPass,
                          VulkanVertexFunction* vertex, VulkanFunction* fragment,
                          const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization,
                          VkPrimitiveTopology topology, uint32_t blendMode);
    VkResult createStrip(QVulkanInstance* instance, VkDevice device, VkRenderPass renderPass,
                         VulkanVertexFunction* vertex, VulkanFunction* fragment,
                         const VkDescriptorSetLayout* setLayout, VulkanSpecialization* specialization);
    void release();

private:
    void destroyHandles();
};

// Keeps the records' addresses; the owner keeps the records alive and frees them.
class VulkanPipelineLib {
public:
    bool add(VulkanPipeline* pipeline, const QString& name);
    VulkanPipeline* find(const QString& name) const;
    // Releases every record; the names stay registered.
    void destroyAll();
    void clear() { pipelines.clear(); }

    QHash<QString, VulkanPipeline*> pipelines;
};
