#include "tests/render/render_test_frames.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "media/block_decoders.h"
#include "media/hap_decoder.h"
#include "tests/support/test_movies.h"

namespace vktest {

namespace {

uint32_t next_random(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

Rgba8Picture crop(const std::vector<uint8_t>& blocks, uint32_t aligned_width, uint32_t width, uint32_t height) {
    Rgba8Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        memcpy(picture.pixels.data() + size_t(y) * width * 4, blocks.data() + size_t(y) * aligned_width * 4,
               size_t(width) * 4);
    return picture;
}

Rgba8Picture decode_with(const VideoFrame& frame, int32_t format, const uint8_t* t0, const uint8_t* t1) {
    BlockDecoder decoder;
    if (BlockDecoder::init(&decoder, uint16_t(frame.width), uint16_t(frame.height), format, 0, 0, 1) != 0)
        throw std::runtime_error("block decoder format");
    const uint32_t aligned_width = decoder.blocks_across() * 4;
    std::vector<uint8_t> blocks(size_t(aligned_width) * decoder.blocks_down() * 4 * 4);
    BlockDecoder::decode(&decoder, t0, t1, blocks.data(), std::ptrdiff_t(aligned_width) * 4);
    return crop(blocks, aligned_width, frame.width, frame.height);
}

}  // namespace

FramePtr decode_fixture_frame(const std::string& movie, uint32_t data_format) {
    const std::vector<testsupport::MoviePacket> packets = testsupport::read_packet_list(movie);
    if (packets.empty()) throw std::runtime_error("no packets in " + movie);
    const std::vector<uint8_t> bytes =
        testsupport::read_file_bytes(testsupport::fixture_path(movie + ".mov"), packets[0].offset, packets[0].size);
    // The fixtures are 64x48 (their name says so).
    const auto x = movie.rfind('x');
    const auto under = movie.rfind('_', x);
    const uint32_t width = uint32_t(std::stoul(movie.substr(under + 1, x - under - 1)));
    const uint32_t height = uint32_t(std::stoul(movie.substr(x + 1)));
    FramePtr frame(video_frame_new());
    dxt_frame_alloc(frame.get(), width, height, data_format);
    for (uint32_t t = 0; t < frame->plane_count; ++t) {
        uint32_t used = 0, format = 0;
        const HapResult r = HapDecode(bytes.data(), uint32_t(bytes.size()), t, hap_decode_callback_serial, nullptr,
                                      frame->planes[t], frame->sizes[t], &used, &format);
        if (r != HapResult_No_Error) throw std::runtime_error("HapDecode failed for " + movie);
    }
    return frame;
}

void fill_random_plane(VideoFrame* frame, uint32_t plane, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 12345u;
    uint8_t* data = frame->planes[plane];
    for (uint32_t i = 0; i < frame->sizes[plane]; ++i) data[i] = uint8_t(next_random(state));
    if (frame->data_format == VideoDataFormat_Hap7) {
        for (uint32_t i = 0; i < frame->sizes[plane]; i += 16) data[i] = uint8_t((data[i] & 0x80) | 0x40);
    }
}

FramePtr random_texture_frame(uint32_t width, uint32_t height, uint32_t data_format, uint32_t seed) {
    FramePtr frame(video_frame_new());
    dxt_frame_alloc(frame.get(), width, height, data_format);
    for (uint32_t t = 0; t < frame->plane_count; ++t) fill_random_plane(frame.get(), t, seed + 97 * t);
    return frame;
}

FramePtr random_pixel_frame(uint32_t width, uint32_t height, uint32_t pixel_format, uint32_t seed) {
    FramePtr frame(video_frame_new());
    video_frame_alloc(frame.get(), width, height, pixel_format, true);
    uint32_t state = seed;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = frame->planes[0] + y * frame->line_sizes[0];
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t r = uint8_t(next_random(state)), g = uint8_t(next_random(state)),
                          b = uint8_t(next_random(state));
            switch (pixel_format) {
                case PixelFormat_RGBA8: {
                    const uint8_t px[4] = {r, g, b, 255};
                    memcpy(row + x * 4, px, 4);
                    break;
                }
                case PixelFormat_RGBA32F: {
                    const float px[4] = {r / 255.0f, g / 255.0f, b / 255.0f, 1.0f};
                    memcpy(row + x * 16, px, 16);
                    break;
                }
                case PixelFormat_Grey8: row[x] = r; break;
                case PixelFormat_Grey16: {
                    const uint16_t v = uint16_t(r * 257);
                    memcpy(row + x * 2, &v, 2);
                    break;
                }
                default: throw std::runtime_error("random_pixel_frame: format");
            }
        }
    }
    return frame;
}

Rgba8Picture cpu_decode_texture(const VideoFrame& frame, uint32_t texture) {
    int32_t format = BlockDecoderFormat_DXT1;
    switch (frame.data_format) {
        case VideoDataFormat_Hap1: format = BlockDecoderFormat_DXT1; break;
        case VideoDataFormat_Hap5: format = BlockDecoderFormat_DXT5; break;
        case VideoDataFormat_HapY: format = BlockDecoderFormat_YCoCg_DXT5; break;
        case VideoDataFormat_HapM:
            format = texture == 0 ? BlockDecoderFormat_YCoCg_DXT5 : BlockDecoderFormat_RGTC1_Grey;
            break;
        case VideoDataFormat_HapA: format = BlockDecoderFormat_RGTC1_Grey; break;
        case VideoDataFormat_Hap7: format = BlockDecoderFormat_BC7; break;
        default: throw std::runtime_error("cpu_decode_texture: format");
    }
    return decode_with(frame, format, frame.planes[texture], nullptr);
}

Rgba8Picture cpu_decode_hapm(const VideoFrame& frame) {
    return decode_with(frame, BlockDecoderFormat_YCoCg_DXT5_Alpha, frame.planes[0], frame.planes[1]);
}

Rgba8Picture pixel_frame_rgba8(const VideoFrame& frame) {
    Rgba8Picture picture;
    picture.width = frame.width;
    picture.height = frame.height;
    picture.pixels.resize(size_t(frame.width) * frame.height * 4);
    for (uint32_t y = 0; y < frame.height; ++y) {
        const uint8_t* row = frame.planes[0] + y * frame.line_sizes[0];
        for (uint32_t x = 0; x < frame.width; ++x) {
            uint8_t* out = picture.pixels.data() + (size_t(y) * frame.width + x) * 4;
            switch (frame.pixel_format) {
                case PixelFormat_RGBA8: memcpy(out, row + x * 4, 4); break;
                case PixelFormat_RGBA32F: {
                    float px[4];
                    memcpy(px, row + x * 16, 16);
                    for (int c = 0; c < 4; ++c) out[c] = uint8_t(std::lround(px[c] * 255.0f));
                    break;
                }
                case PixelFormat_Grey8: out[0] = out[1] = out[2] = row[x], out[3] = 255; break;
                case PixelFormat_Grey16: {
                    uint16_t v;
                    memcpy(&v, row + x * 2, 2);
                    out[0] = out[1] = out[2] = uint8_t(v >> 8), out[3] = 255;
                    break;
                }
                default: throw std::runtime_error("pixel_frame_rgba8: format");
            }
        }
    }
    return picture;
}

}  // namespace vktest
