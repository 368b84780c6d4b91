#pragma once
// The channel layouts of the engine's mix and of the output device, with the order
// of their channels. A source channel's 64-bit routing mask has bit k set when it
// feeds channel k of the current layout.
#include <cstdint>

enum NAudioChannelLayout : uint32_t {
    NAudioChannelLayout_Mono = 0,        // M
    NAudioChannelLayout_Stereo = 1,      // L R
    NAudioChannelLayout_5_1 = 2,         // L R C LFE Ls Rs
    NAudioChannelLayout_DualStereo = 3,  // L1 R1 L2 R2 (a source layout only, never a device's)
    NAudioChannelLayout_7_1 = 4,         // L R C LFE Ls Rs Lrs Rrs
};

// Plane indices of the channels in the 5.1 and 7.1 orders (stereo uses L and R).
enum AudioSurroundChannel : uint32_t {
    AudioChannel_L = 0,
    AudioChannel_R = 1,
    AudioChannel_C = 2,
    AudioChannel_LFE = 3,
    AudioChannel_Ls = 4,
    AudioChannel_Rs = 5,
    AudioChannel_Lrs = 6,
    AudioChannel_Rrs = 7,
};

// Plane indices of dual stereo.
enum AudioDualStereoChannel : uint32_t {
    AudioChannel_L1 = 0,
    AudioChannel_R1 = 1,
    AudioChannel_L2 = 2,
    AudioChannel_R2 = 3,
};

// 1, 2, 6, 4 or 8; any other layout prints "ERR : Unknown audio channel layout : %u"
// and gives 0.
uint32_t audio_layout_channel_count(uint32_t layout);

// Short name of channel `channel` of a layout ("M", "L", "R", "C", "LFE", "Ls", "Rs",
// "Lrs", "Rrs", "L1", "R1", "L2", "R2"); "" for an unknown layout or channel.
const char* audio_layout_channel_name(uint32_t layout, uint32_t channel);
