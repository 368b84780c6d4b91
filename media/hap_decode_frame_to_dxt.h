#pragma once
// Decodes every texture of one HAP frame into the planes of a texture frame that the
// caller allocated for the movie's data format (13..18) and picture size.
#include <cstdint>

#include "media/video_frame.h"

// Failures print an "ERR ..." line and set status bit VideoFrameStatus_DecodeFailed;
// the frame number is left to the caller. `multithread` spreads the chunks of each
// texture over the processor's cores.
void hap_decode_frame_to_dxt(VideoFrame* frame, const uint8_t* bytes, uint32_t count, bool multithread);
