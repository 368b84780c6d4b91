#include "render/vulkan_descriptors.h"

#include <QDebug>
#include <QVulkanDeviceFunctions>
#include <stdexcept>

#include "render/vulkan_function.h"

namespace {

QList<uint32_t> sequential_bindings(qsizetype count) {
    QList<uint32_t> bindings;
    for (qsizetype i = 0; i < count; ++i) bindings.append(uint32_t(i));
    return bindings;
}

}  // namespace

VulkanSpecialization::VulkanSpecialization(QList<uint32_t> list) : values(std::move(list)) {}

VkSpecializationInfo VulkanSpecialization::info() {
    VkSpecializationInfo result{};
    if (values.isEmpty()) return result;
    entries.resize(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) entries[i] = {uint32_t(i), uint32_t(4 * i), 4};
    result.mapEntryCount = uint32_t(entries.size());
    result.pMapEntries = entries.constData();
    result.dataSize = size_t(4 * values.size());
    result.pData = values.constData();
    return result;
}

VkResult VulkanDescriptorLayout::create(QVulkanInstance* newInstance, VkDevice newDevice,
                                        const VulkanFunction* fragment) {
    if (instance && device && layout != VK_NULL_HANDLE) {
        instance->deviceFunctions(device)->vkDestroyDescriptorSetLayout(device, layout, nullptr);
        layout = VK_NULL_HANDLE;
    }
    instance = newInstance;
    device = newDevice;
    if (!fragment || !fragment->hasBindings()) {
        qDebug("Warning, no descriptor in frag func");
        return VK_SUCCESS;
    }
    const VkDescriptorSetLayoutCreateInfo info = fragment->layoutCreateInfo();
    const VkResult err = instance->deviceFunctions(device)->vkCreateDescriptorSetLayout(device, &info, nullptr, &layout);
    if (err != VK_SUCCESS) {
        layout = VK_NULL_HANDLE;
        qDebug("Descriptor creation failed (18)");
    }
    return err;
}

void VulkanDescriptorLayout::release() {
    if (!instance || !device) return;
    if (layout != VK_NULL_HANDLE) instance->deviceFunctions(device)->vkDestroyDescriptorSetLayout(device, layout, nullptr);
    layout = VK_NULL_HANDLE;
    instance = nullptr;
    device = VK_NULL_HANDLE;
}

VkResult VulkanDescriptorSets::create(QVulkanInstance* newInstance, VkDevice newDevice, VkDescriptorSetLayout newLayout,
                                      uint32_t newFrames, uint32_t newDescriptorsPerSet, uint32_t newSlots) {
    const uint32_t slotsGiven = newSlots == 0 ? 1 : newSlots;
    const uint64_t total = uint64_t(slotsGiven) * newFrames;
    instance = newInstance;
    device = newDevice;
    layout = newLayout;

    if (newDescriptorsPerSet == descriptorsPerSet && total <= allocated) {
        slotCount = slotsGiven;
        frames = newFrames;
        return VK_SUCCESS;
    }

    QVulkanDeviceFunctions* f = instance->deviceFunctions(device);
    if (pool != VK_NULL_HANDLE) {
        f->vkResetDescriptorPool(device, pool, 0);
        f->vkDestroyDescriptorPool(device, pool, nullptr);
        pool = VK_NULL_HANDLE;
    }
    sets.clear();
    allocated = 0;
    descriptorsPerSet = newDescriptorsPerSet;
    slotCount = slotsGiven;
    frames = newFrames;
    if (total == 0) return VK_SUCCESS;  // no frame in flight: nothing to hold

    VkDescriptorPoolSize poolSize{};
    poolSize.type = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
    poolSize.descriptorCount = uint32_t(total * newDescriptorsPerSet);
    VkDescriptorPoolCreateInfo poolInfo{};
    poolInfo.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO;
    poolInfo.maxSets = uint32_t(total);
    poolInfo.poolSizeCount = 1;
    poolInfo.pPoolSizes = &poolSize;
    VkResult err = f->vkCreateDescriptorPool(device, &poolInfo, nullptr, &pool);
    if (err != VK_SUCCESS) {
        pool = VK_NULL_HANDLE;
        qDebug("Descriptor pool creation failed (19)");
        return err;
    }

    sets.assign(size_t(total), VK_NULL_HANDLE);
    VkDescriptorSetAllocateInfo allocInfo{};
    allocInfo.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO;
    allocInfo.descriptorPool = pool;
    allocInfo.descriptorSetCount = 1;
    allocInfo.pSetLayouts = &layout;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        for (uint32_t slot = 0; slot < slotCount; ++slot) {
            err = f->vkAllocateDescriptorSets(device, &allocInfo, &sets[size_t(frame) * slotCount + slot]);
            if (err != VK_SUCCESS) {
                qDebug("Descriptor set creation failed (1)");
                return err;
            }
        }
    }
    allocated = uint32_t(total);
    return VK_SUCCESS;
}

VkDescriptorSet VulkanDescriptorSets::findSet(uint32_t slot, uint32_t frame) const noexcept {
    // A slot beyond `slotCount` would silently name another frame's set.
    if (slot >= slotCount || frame >= frames) return VK_NULL_HANDLE;
    const uint64_t index = uint64_t(slot) + uint64_t(frame) * slotCount;
    if (index >= sets.size()) return VK_NULL_HANDLE;
    return sets[size_t(index)];
}

VkDescriptorSet VulkanDescriptorSets::set(uint32_t slot, uint32_t frame) const {
    const uint64_t index = uint64_t(slot) + uint64_t(frame) * slotCount;
    if (slot >= slotCount || frame >= frames || index >= sets.size())
        throw std::out_of_range("Invalid descriptor set index");
    return sets[size_t(index)];
}

const char* VulkanDescriptorSets::checkWrite(uint32_t slot, uint32_t frame, const QList<uint32_t>& bindings,
                                             const QList<const VkDescriptorImageInfo*>& infos) const {
    if (bindings.size() != qsizetype(descriptorsPerSet) || infos.size() != qsizetype(descriptorsPerSet)) {
        qDebug("Invalid array size. Expected : %d ; Binding : %d ; ImgInfo : %d", int(descriptorsPerSet),
               int(bindings.size()), int(infos.size()));
        return "Invalid size for descriptor update";
    }
    for (const VkDescriptorImageInfo* info : infos)
        if (!info) return "Invalid image info for descriptor update";
    if (findSet(slot, frame) == VK_NULL_HANDLE) return "Invalid size for descriptor update";
    return "";
}

void VulkanDescriptorSets::updateFrame(uint32_t slot, uint32_t frame, const QList<uint32_t>& bindings,
                                       const QList<const VkDescriptorImageInfo*>& infos) {
    QList<VkWriteDescriptorSet> writes(infos.size());
    const VkDescriptorSet target = findSet(slot, frame);
    for (qsizetype i = 0; i < infos.size(); ++i) {
        VkWriteDescriptorSet& w = writes[i];
        w = {};
        w.sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
        w.dstSet = target;
        w.dstBinding = bindings[i];
        w.dstArrayElement = 0;
        w.descriptorCount = 1;
        w.descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
        w.pImageInfo = infos[i];
    }
    instance->deviceFunctions(device)->vkUpdateDescriptorSets(device, uint32_t(writes.size()), writes.constData(), 0,
                                                              nullptr);
}

void VulkanDescriptorSets::writeFrameImageBindings(uint32_t slot, uint32_t frame, const QList<uint32_t>& bindings,
                                                   const QList<const VkDescriptorImageInfo*>& infos) {
    const char* error = checkWrite(slot, frame, bindings, infos);
    if (*error) throw std::runtime_error(error);
    updateFrame(slot, frame, bindings, infos);
}

void VulkanDescriptorSets::writeImageBindings(uint32_t slot, const QList<uint32_t>& bindings,
                                              const QList<const VkDescriptorImageInfo*>& infos) {
    for (uint32_t frame = 0; frame < frames; ++frame) writeFrameImageBindings(slot, frame, bindings, infos);
}

void VulkanDescriptorSets::writeImages(uint32_t slot, const QList<const VkDescriptorImageInfo*>& infos) {
    writeImageBindings(slot, sequential_bindings(infos.size()), infos);
}

void VulkanDescriptorSets::writeFrameImages(uint32_t slot, uint32_t frame,
                                            const QList<const VkDescriptorImageInfo*>& infos) {
    writeFrameImageBindings(slot, frame, sequential_bindings(infos.size()), infos);
}

bool VulkanDescriptorSets::tryWriteFrameImages(uint32_t slot, uint32_t frame,
                                               const QList<const VkDescriptorImageInfo*>& infos) noexcept {
    try {
        const QList<uint32_t> bindings = sequential_bindings(infos.size());
        if (*checkWrite(slot, frame, bindings, infos)) return false;
        updateFrame(slot, frame, bindings, infos);
        return true;
    } catch (...) {
        return false;
    }
}

void VulkanDescriptorSets::release() {
    if (instance && device && pool != VK_NULL_HANDLE) {
        QVulkanDeviceFunctions* f = instance->deviceFunctions(device);
        f->vkResetDescriptorPool(device, pool, 0);
        f->vkDestroyDescriptorPool(device, pool, nullptr);
    }
    pool = VK_NULL_HANDLE;
    sets.clear();
    descriptorsPerSet = 0;
    slotCount = 0;
    frames = 0;
    allocated = 0;
}
