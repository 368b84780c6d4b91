#include "tests/support/fuzz_targets.h"

#include <limits>
#include <stdexcept>
#include <vector>

#include "media/hap_decoder.h"
#include "media/hap_frame.h"

namespace testsupport {

int fuzz_hap_decode(const uint8_t* data, size_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) return 0;
    // An exact-size copy, so any read past the frame is caught by the sanitizer.
    const std::vector<uint8_t> frame(data, data + size);
    const auto frame_size = static_cast<uint32_t>(size);
    std::vector<uint8_t> out(1 << 16);
    for (uint32_t texture = 0; texture < 2; ++texture) {
        for (HapDecodeCallback callback : {hap_decode_callback_serial, HapDecodeCallback_MultiThread}) {
            uint32_t used = 0, format = 0;
            HapDecode(frame.data(), frame_size, texture, callback, nullptr, out.data(), uint32_t(out.size()), &used,
                      &format);
        }
        uint32_t chunks = 0, format = 0;
        HapGetFrameTextureChunkCount(frame.data(), frame_size, texture, &chunks);
        HapGetFrameTextureFormat(frame.data(), frame_size, texture, &format);
    }
    HapFrame parsed;
    try {
        hap_frame_init_from_memory(&parsed, 64, 64, frame.data(), frame.size());
    } catch (const std::runtime_error&) {
    }
    return 0;
}

}  // namespace testsupport
