#include "render/vulkan_function.h"

#include <QDebug>
#include <QFile>
#include <QThreadPool>
#include <QVulkanDeviceFunctions>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr uint32_t kSpirvMagic = 0x07230203u;

// The first word of a SPIR-V module in the host's byte order.
uint32_t first_word(const QByteArray& code) {
    uint32_t word = 0;
    memcpy(&word, code.constData(), sizeof(word));
    return word;
}

VulkanDataShader load_shader_task(QVulkanInstance* instance, VkDevice device, const QString& path) {
    VulkanDataShader result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("Failed to open %s", path.toLocal8Bit().constData());
        return result;
    }
    result.module = vulkan_create_shader_module(instance, device, file.readAll());
    return result;
}

}  // namespace

VkShaderModule vulkan_create_shader_module(QVulkanInstance* instance, VkDevice device, const QByteArray& code) {
    // A module that is not SPIR-V is never handed to the driver: some drivers crash on
    // it instead of returning an error.
    if (code.isEmpty() || code.size() % 4 != 0 || first_word(code) != kSpirvMagic) {
        qWarning("Failed to create shader module: %d", int(VK_ERROR_INVALID_SHADER_NV));
        return VK_NULL_HANDLE;
    }
    VkShaderModuleCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO;
    info.codeSize = size_t(code.size());
    info.pCode = reinterpret_cast<const uint32_t*>(code.constData());
    VkShaderModule module = VK_NULL_HANDLE;
    const VkResult err = instance->deviceFunctions(device)->vkCreateShaderModule(device, &info, nullptr, &module);
    if (err != VK_SUCCESS) {
        qWarning("Failed to create shader module: %d", int(err));
        return VK_NULL_HANDLE;
    }
    return module;
}

void VulkanFunction::addSamplerBinding(uint32_t binding, uint32_t count) {
    bindings.append({binding, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, count, VK_SHADER_STAGE_FRAGMENT_BIT, nullptr});
}

void VulkanFunction::addFragmentPushConstant(uint32_t offset, uint32_t size) {
    pushConstants.append({VK_SHADER_STAGE_FRAGMENT_BIT, offset, size});
}

void VulkanFunction::addVertexPushConstant(uint32_t offset, uint32_t size) {
    pushConstants.append({VK_SHADER_STAGE_VERTEX_BIT, offset, size});
}

VkDescriptorSetLayoutCreateInfo VulkanFunction::layoutCreateInfo() const {
    VkDescriptorSetLayoutCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
    info.flags = 0;
    info.bindingCount = uint32_t(bindings.size());
    info.pBindings = bindings.isEmpty() ? nullptr : bindings.constData();
    return info;
}

void VulkanFunction::load(QVulkanInstance* newInstance, VkDevice newDevice, const QString& path) {
    // The old module belongs to the device it was made on: release it before the new
    // device is stored.
    release();
    instance = newInstance;
    device = newDevice;
    loadStarted = true;
    // The instance makes a device's function table on first request, which is not safe
    // from several tasks at once: make it here, so the tasks only look it up.
    if (newInstance && newDevice) newInstance->deviceFunctions(newDevice);
    future = QtConcurrent::run(QThreadPool::globalInstance(), load_shader_task, newInstance, newDevice, QString(path));
}

VkShaderModule& VulkanFunction::module() {
    if (loadStarted && shaderModule == VK_NULL_HANDLE) {
        future.waitForFinished();
        if (future.resultCount() > 0) shaderModule = future.resultAt(0).module;
    }
    return shaderModule;
}

void VulkanFunction::release() {
    module();
    loadStarted = false;
    if (instance && device && shaderModule != VK_NULL_HANDLE)
        instance->deviceFunctions(device)->vkDestroyShaderModule(device, shaderModule, nullptr);
    shaderModule = VK_NULL_HANDLE;
}

void VulkanVertexFunction::addBinding(uint32_t binding, uint32_t stride, uint32_t inputRate) {
    vertexBindings.append({binding, stride, VkVertexInputRate(inputRate)});
}

void VulkanVertexFunction::addAttribute(uint32_t location, uint32_t binding, uint32_t format, uint32_t offset) {
    vertexAttributes.append({location, binding, VkFormat(format), offset});
}

VkPipelineVertexInputStateCreateInfo VulkanVertexFunction::vertexInputInfo() const {
    VkPipelineVertexInputStateCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO;
    info.flags = 0;
    info.vertexBindingDescriptionCount = uint32_t(vertexBindings.size());
    info.pVertexBindingDescriptions = vertexBindings.constData();
    info.vertexAttributeDescriptionCount = uint32_t(vertexAttributes.size());
    info.pVertexAttributeDescriptions = vertexAttributes.constData();
    return info;
}

VulkanFunctionLib::~VulkanFunctionLib() { qDeleteAll(functions); }

void VulkanFunctionLib::store(const QString& name, const QString& path, VulkanFunction* function) {
    paths.insert(name, path);
    // A name registered again replaces the earlier record, which must not leak.
    if (VulkanFunction* previous = functions.value(name, nullptr)) {
        previous->release();
        delete previous;
    }
    functions.insert(name, function);
}

VulkanFunction* VulkanFunctionLib::addFragment(const QString& name, const QString& path) {
    auto* function = new VulkanFunction;
    store(name, path, function);
    return function;
}

VulkanVertexFunction* VulkanFunctionLib::addVertex(const QString& name, const QString& path) {
    auto* function = new VulkanVertexFunction;
    store(name, path, function);
    return function;
}

VulkanFunction* VulkanFunctionLib::fragmentFunc(const QString& name) const {
    VulkanFunction* function = functions.value(name, nullptr);
    if (!function) qDebug().noquote() << "Fail to find fragment func :" << name;
    return function;
}

VulkanVertexFunction* VulkanFunctionLib::vertexFunc(const QString& name) const {
    auto* function = dynamic_cast<VulkanVertexFunction*>(functions.value(name, nullptr));
    if (!function) qDebug().noquote() << "Fail to find vertex func :" << name;
    return function;
}

void VulkanFunctionLib::load(QVulkanInstance* instance, VkDevice device) {
    for (auto it = paths.cbegin(); it != paths.cend(); ++it) {
        VulkanFunction* function = functions.value(it.key(), nullptr);
        if (function && function->module() == VK_NULL_HANDLE) function->load(instance, device, it.value());
    }
}

void VulkanFunctionLib::release() {
    for (VulkanFunction* function : std::as_const(functions)) function->release();
}
