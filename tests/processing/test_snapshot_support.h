#pragma once
// What the snapshot tests share: the fixture movies opened as the player opens them,
// their samples, a reference decode of a sample with the codec nodes, the snapshot
// files decoded back with libpng and TurboJPEG, and a copy of a movie with a display
// window in our own metadata.
#include <cstdint>
#include <string>
#include <vector>

#include "processing/snapshot_converter.h"

class FileToPlay;
struct VideoFrame;

namespace snaptest {

// RGBA8 pixels, straight rows of width * 4 bytes (RGBX: the fourth byte unspecified).
struct Image {
    uint32_t width = 0, height = 0;
    uint32_t channels = 0;  // as stored in the file: 3 or 4 (PNG), 3 (JPEG)
    std::vector<uint8_t> rgba;
    const uint8_t* at(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

std::string fixture(const std::string& movie);
// The fixture movie's compressed sample of `frame` (data format 0), owned by the caller.
VideoFrame* read_sample(const std::string& path, uint32_t frame);
// The sample decoded by a HAP decode node and a DXT decode node into RGBA8 (alpha
// codecs) or RGBX8.
Image reference_decode(const std::string& path, uint32_t frame);

Image decode_png(const uint8_t* bytes, uint64_t size);
Image decode_jpeg(const uint8_t* bytes, uint64_t size);
Image decode_file(const std::string& path);

// A copy of `source` (whose moov is the file's last atom) with an NRVU atom giving a
// display window of canvas_w x canvas_h with the picture at x, y.
std::string with_display_window(const std::string& source, const std::string& name, uint32_t canvas_w,
                                uint32_t canvas_h, uint32_t x, uint32_t y);

// The converter's movie record filled from an opened movie, as the main window does.
SnapshotMovie movie_record(FileToPlay* movie);

}  // namespace snaptest
