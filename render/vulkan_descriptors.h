#pragma once
// Specialisation constants, the descriptor set layout of a fragment function, and a
// descriptor pool holding one set per (slot, frame in flight) with its image writes.
#include <QList>
#include <QVulkanInstance>
#include <vector>

class VulkanFunction;

// Constant i has id i and lies at byte offset 4 * i.
class VulkanSpecialization {
public:
    explicit VulkanSpecialization(QList<uint32_t> values);
    bool hasValues() const { return !values.isEmpty(); }
    // Points into this record: valid while it lives and its values are unchanged.
    VkSpecializationInfo info();

    QList<uint32_t> values;
    QList<VkSpecializationMapEntry> entries;
};

struct VulkanDescriptorLayout {
    VkDescriptorSetLayout layout = VK_NULL_HANDLE;
    QVulkanInstance* instance = nullptr;
    VkDevice device = VK_NULL_HANDLE;

    VkResult create(QVulkanInstance* instance, VkDevice device, const VulkanFunction* fragment);
    void release();
};

// The set of slot s for frame f is sets[s + f * slotCount]. Re-creating the pool destroys
// the sets in it: no recorded or submitted frame may still use them.
struct VulkanDescriptorSets {
    VkDescriptorPool pool = VK_NULL_HANDLE;
    std::vector<VkDescriptorSet> sets;
    VkDescriptorSetLayout layout = VK_NULL_HANDLE;
    uint32_t descriptorsPerSet = 0;
    uint32_t slotCount = 0;
    uint32_t frames = 0;
    uint32_t allocated = 0;
    QVulkanInstance* instance = nullptr;
    VkDevice device = VK_NULL_HANDLE;

    VkResult create(QVulkanInstance* instance, VkDevice device, VkDescriptorSetLayout layout, uint32_t frames,
                    uint32_t descriptorsPerSet, uint32_t slotCount);
    // Throws std::out_of_range for a slot, frame or index outside the allocated sets.
    VkDescriptorSet set(uint32_t slot, uint32_t frame) const;
    // The same without throwing, for the recording thread: null when out of range.
    VkDescriptorSet findSet(uint32_t slot, uint32_t frame) const noexcept;

    // The writes throw std::runtime_error("Invalid size for descriptor update") when the
    // lists do not hold exactly descriptorsPerSet entries or a slot/frame is outside the
    // sets, and "Invalid image info for descriptor update" for a null image info.
    void writeImageBindings(uint32_t slot, const QList<uint32_t>& bindings,
                            const QList<const VkDescriptorImageInfo*>& infos);
    void writeImages(uint32_t slot, const QList<const VkDescriptorImageInfo*>& infos);
    void writeFrameImageBindings(uint32_t slot, uint32_t frame, const QList<uint32_t>& bindings,
                                 const QList<const VkDescriptorImageInfo*>& infos);
    void writeFrameImages(uint32_t slot, uint32_t frame, const QList<const VkDescriptorImageInfo*>& infos);
    // Non-throwing form of writeFrameImages for the recording thread: false (with the
    // debug message) when the write cannot be made.
    bool tryWriteFrameImages(uint32_t slot, uint32_t frame, const QList<const VkDescriptorImageInfo*>& infos) noexcept;

    void release();

private:
    // Empty string when the write can be made, else the error text.
    const char* checkWrite(uint32_t slot, uint32_t frame, const QList<uint32_t>& bindings,
                           const QList<const VkDescriptorImageInfo*>& infos) const;
    void updateFrame(uint32_t slot, uint32_t frame, const QList<uint32_t>& bindings,
                     const QList<const VkDescriptorImageInfo*>& infos);
};
