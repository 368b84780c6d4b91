#include "base/pcm/channel_layouts.h"

#include <cstdio>

namespace {

struct LayoutRow {
    uint32_t channels;
    const char* names[8];
};

constexpr LayoutRow kLayouts[] = {
    {1, {"M"}},
    {2, {"L", "R"}},
    {6, {"L", "R", "C", "LFE", "Ls", "Rs"}},
    {4, {"L1", "R1", "L2", "R2"}},
    {8, {"L", "R", "C", "LFE", "Ls", "Rs", "Lrs", "Rrs"}},
};
constexpr uint32_t kLayoutCount = sizeof(kLayouts) / sizeof(kLayouts[0]);

}  // namespace

uint32_t audio_layout_channel_count(uint32_t layout) {
    if (layout >= kLayoutCount) {
        std::printf("ERR : Unknown audio channel layout : %u\n", layout);
        return 0;
    }
    return kLayouts[layout].channels;
}

const char* audio_layout_channel_name(uint32_t layout, uint32_t channel) {
    if (layout >= kLayoutCount || channel >= kLayouts[layout].channels) return "";
    return kLayouts[layout].names[channel];
}
