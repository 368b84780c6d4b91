#pragma once
// Shader functions: a SPIR-V module from the compiled-in resources together with the
// interface a pipeline needs of it (sampler bindings, push-constant ranges and, for a
// vertex function, its vertex input). Modules are created on the global thread pool;
// the thread that owns the record only blocks when it needs the module.
#include <QFuture>
#include <QHash>
#include <QList>
#include <QString>
#include <QVulkanInstance>

struct VulkanDataShader {
    VkShaderModule module = VK_NULL_HANDLE;
};

class VulkanFunction {
public:
    VulkanFunction() = default;
    virtual ~VulkanFunction() = default;
    VulkanFunction(const VulkanFunction&) = delete;
    VulkanFunction& operator=(const VulkanFunction&) = delete;

    void addSamplerBinding(uint32_t binding, uint32_t count);
    void addFragmentPushConstant(uint32_t offset, uint32_t size);
    void addVertexPushConstant(uint32_t offset, uint32_t size);
    bool hasBindings() const { return !bindings.isEmpty(); }
    // Points into this record's binding list: valid while the list is unchanged.
    VkDescriptorSetLayoutCreateInfo layoutCreateInfo() const;

    // Starts creating the module from the resource at `path` on the thread pool. An
    // earlier module is waited for and destroyed first, on the device it was made on.
    void load(QVulkanInstance* instance, VkDevice device, const QString& path);
    // The module, waiting for a started load; null when none was started or it failed.
    VkShaderModule& module();
    // Waits for a running load and destroys the module.
    void release();

    QList<VkDescriptorSetLayoutBinding> bindings;
    QList<VkPushConstantRange> pushConstants;
    QVulkanInstance* instance = nullptr;
    VkDevice device = VK_NULL_HANDLE;
    bool loadStarted = false;
    QFuture<VulkanDataShader> future;
    VkShaderModule shaderModule = VK_NULL_HANDLE;
};

class VulkanVertexFunction : public VulkanFunction {
public:
    void addBinding(uint32_t binding, uint32_t stride, uint32_t inputRate);
    void addAttribute(uint32_t location, uint32_t binding, uint32_t format, uint32_t offset);
    // Points into this record's lists: valid while they are unchanged.
    VkPipelineVertexInputStateCreateInfo vertexInputInfo() const;

    QList<VkVertexInputBindingDescription> vertexBindings;
    QList<VkVertexInputAttributeDescription> vertexAttributes;
};

// Creates a shader module from SPIR-V bytes (the body of a load, callable directly):
// null with a warning when the bytes are not SPIR-V or the driver refuses them.
VkShaderModule vulkan_create_shader_module(QVulkanInstance* instance, VkDevice device, const QByteArray& code);

// Functions of one kind by name. The library owns the records; their modules must be
// released (VulkanFunctionLib::release) before the library goes.
class VulkanFunctionLib {
public:
    VulkanFunctionLib() = default;
    ~VulkanFunctionLib();
    VulkanFunctionLib(const VulkanFunctionLib&) = delete;
    VulkanFunctionLib& operator=(const VulkanFunctionLib&) = delete;

    VulkanFunction* addFragment(const QString& name, const QString& path);
    VulkanVertexFunction* addVertex(const QString& name, const QString& path);
    VulkanFunction* fragmentFunc(const QString& name) const;
    VulkanVertexFunction* vertexFunc(const QString& name) const;
    // Starts loading every function whose module is not present.
    void load(QVulkanInstance* instance, VkDevice device);
    void release();

    QHash<QString, QString> paths;
    QHash<QString, VulkanFunction*> functions;

private:
    void store(const QString& name, const QString& path, VulkanFunction* function);
};
