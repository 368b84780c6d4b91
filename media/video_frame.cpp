#include "media/video_frame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "platform/aligned_memory.h"

namespace {

// Plane sizes are held in 32 bits; anything larger is refused rather than wrapped.
uint32_t checked_plane_bytes(uint64_t bytes) {
    if (bytes > std::numeric_limits<uint32_t>::max())
        throw std::runtime_error("Video frame plane too large");
    return static_cast<uint32_t>(bytes);
}

uint64_t round_up(uint64_t value, uint64_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

uint64_t ceil_div(uint64_t value, uint64_t divisor) { return (value + divisor - 1) / divisor; }

uint8_t* allocate_plane(uint64_t bytes) {
    void* block = platform::aligned_alloc64(static_cast<std::size_t>(bytes));
    if (!block) throw std::bad_alloc();
    return static_cast<uint8_t*>(block);
}

bool holds_single_block(const VideoFrame* frame) {
    return frame->is_pixel && frame->pixel_format == PixelFormat_UYVYA;
}

// Forgets every plane pointer; used when the planes belong to someone else.
void drop_plane_references(VideoFrame* frame) {
    for (auto& plane : frame->planes) plane = nullptr;
}

// Releases what the frame owns and clears the pointers; foreign planes are only forgotten.
void release_planes(VideoFrame* frame) {
    if (frame->not_owned) {
        drop_plane_references(frame);
        frame->not_owned = 0;
        return;
    }
    if (holds_single_block(frame)) {
        platform::aligned_free64(frame->planes[0]);
        drop_plane_references(frame);
        return;
    }
    for (auto& plane : frame->planes) {
        platform::aligned_free64(plane);
        plane = nullptr;
    }
}

void clear_plane_geometry(VideoFrame* frame) {
    for (int p = 0; p < 4; ++p) {
        frame->line_sizes[p] = 0;
        frame->capacities[p] = 0;
        frame->sizes[p] = 0;
    }
}

// Makes plane 0 a buffer of at least `size` + 64 bytes, reusing an owned buffer that
// is large enough; every other plane is released.
void grow_data_plane(VideoFrame* frame, uint32_t size) {
    const uint64_t needed = uint64_t(size) + 64;
    const bool reusable = !frame->not_owned && frame->planes[0] && frame->capacities[0] >= needed;
    if (reusable) {
        if (holds_single_block(frame)) {
            frame->planes[1] = nullptr;  // inside plane 0's block
        } else {
            for (int p = 1; p < 4; ++p) {
                platform::aligned_free64(frame->planes[p]);
                frame->planes[p] = nullptr;
            }
        }
        const uint32_t capacity = frame->capacities[0];
        clear_plane_geometry(frame);
        frame->capacities[0] = capacity;
        return;
    }
    release_planes(frame);
    clear_plane_geometry(frame);
    const uint32_t capacity = checked_plane_bytes(needed);
    frame->planes[0] = allocate_plane(capacity);
    frame->capacities[0] = capacity;
}

}  // namespace

uint32_t dxt_codec_block_bytes(uint32_t codec) {
    switch (codec) {
        case DxtCodec_DXT1:
        case DxtCodec_RGTC1:
            return 8;
        case DxtCodec_DXT5:
        case DxtCodec_BC7:
            return 16;
        default:
            throw std::runtime_error("Unknown dxt codec");
    }
}

uint32_t dxt_codec_for_texture(uint32_t data_format, uint32_t texture_index) {
    switch (data_format) {
        case VideoDataFormat_Hap1:
            return DxtCodec_DXT1;
        case VideoDataFormat_Hap5:
        case VideoDataFormat_HapY:
            return DxtCodec_DXT5;
        case VideoDataFormat_HapM:
            return texture_index == 0 ? DxtCodec_DXT5 : DxtCodec_RGTC1;
        case VideoDataFormat_HapA:
            return DxtCodec_RGTC1;
        case VideoDataFormat_Hap7:
            return DxtCodec_BC7;
        default:
            throw std::runtime_error("DXT frame : invalid dxt codec");
    }
}

uint32_t align_up4(uint32_t value) noexcept { return (value + 3u) & ~3u; }

VideoFrame* video_frame_new() {
    VideoFrame* frame = new VideoFrame;
    video_frame_init(frame);
    return frame;
}

void video_frame_init(VideoFrame* frame) {
    frame->status = 0;
    frame->is_pixel = 1;
    frame->data_format = VideoDataFormat_Pixels;
    frame->pixel_format = PixelFormat_Undefined;
    frame->width = frame->height = 0;
    frame->allocated_width = frame->allocated_height = 0;
    frame->plane_count = 0;
    drop_plane_references(frame);
    clear_plane_geometry(frame);
    frame->frame_number = 0;
    frame->block_bytes[0] = frame->block_bytes[1] = 0;
    frame->not_owned = 0;
    for (auto& word : frame->metadata) word = 0;
    frame->shared_word.exchange(0);
}

void video_frame_alloc(VideoFrame* frame, uint32_t width, uint32_t height, uint32_t pixel_format,
                       bool align64) {
    const PixDescriptor desc = get_pix_descriptor(pixel_format);
    frame->width = frame->allocated_width = width;
    frame->height = frame->allocated_height = height;
    frame->pixel_format = pixel_format;
    frame->is_pixel = 1;
    frame->not_owned = 0;
    frame->plane_count = desc.plane_count;

    auto set_plane = [frame](int p, uint8_t* data, uint64_t line, uint32_t bytes) {
        frame->planes[p] = data;
        frame->line_sizes[p] = line;
        frame->capacities[p] = bytes;
        frame->sizes[p] = bytes;
    };

    if (pixel_format == PixelFormat_UYVY) {
        uint64_t line = (uint64_t(width) + (width & 1)) * 2;
        if (align64) line = round_up(line, 64);
        const uint32_t bytes = checked_plane_bytes(line * height);
        set_plane(0, allocate_plane(bytes), line, bytes);
        return;
    }
    if (pixel_format == PixelFormat_UYVYA) {
        uint64_t uyvy_line = (uint64_t(width) + (width & 1)) * 2;
        uint64_t alpha_line = width;
        if (align64) {
            uyvy_line = round_up(uyvy_line, 64);
            alpha_line = round_up(alpha_line, 64);
        }
        const uint32_t uyvy_bytes = checked_plane_bytes(uyvy_line * height);
        const uint32_t alpha_bytes = checked_plane_bytes(alpha_line * height);
        uint8_t* block = allocate_plane(uint64_t(uyvy_bytes) + alpha_bytes);
        set_plane(0, block, uyvy_line, uyvy_bytes);
        set_plane(1, block + uyvy_bytes, alpha_line, alpha_bytes);
        return;
    }
    if (pixel_format == PixelFormat_V210) {
        // V210 rows are 128-byte aligned by the format itself.
        const uint64_t line = round_up(ceil_div(width, 6) * 16, 128);
        const uint32_t bytes = checked_plane_bytes(line * height);
        set_plane(0, allocate_plane(bytes), line, bytes);
        return;
    }
    for (unsigned p = 0; p < desc.plane_count; ++p) {
        const uint64_t plane_width = ceil_div(width, desc.horizontal_subsampling[p]);
        const uint64_t plane_height = ceil_div(height, desc.vertical_subsampling[p]);
        uint64_t line = desc.bytes_per_pixel[p] * plane_width;
        if (align64) line = round_up(line, 64);
        const uint32_t bytes = checked_plane_bytes(line * plane_height);
        set_plane(static_cast<int>(p), allocate_plane(bytes), line, bytes);
    }
}

void video_frame_alloc_round_resolution(VideoFrame* frame, uint32_t width, uint32_t height,
                                        uint32_t pixel_format, bool align64, uint32_t round_width,
                                        uint32_t round_height) {
    if (width > round_width || height > round_height)
        throw std::runtime_error("Invalid round resolution");
    video_frame_alloc(frame, round_width, round_height, pixel_format, align64);
    frame->width = width;
    frame->height = height;
}

void dxt_frame_alloc(VideoFrame* frame, uint32_t width, uint32_t height, uint32_t data_format) {
    if (data_format < VideoDataFormat_Hap1 || data_format > VideoDataFormat_Hap7)
        throw std::runtime_error("DXT frame : invalid dxt codec");
    frame->is_pixel = 0;
    frame->not_owned = 0;
    frame->width = width;
    frame->height = height;
    // Computed in 64 bits: a 65535-wide picture rounds past 32 bits.
    const uint64_t allocated_width = (uint64_t(width) + 3) & ~uint64_t(3);
    const uint64_t allocated_height = (uint64_t(height) + 3) & ~uint64_t(3);
    frame->data_format = data_format;
    const uint32_t textures = data_format == VideoDataFormat_HapM ? 2 : 1;

    uint64_t lines[2] = {0, 0};
    uint32_t bytes[2] = {0, 0};
    uint8_t block_bytes[2] = {0, 0};
    for (uint32_t t = 0; t < textures; ++t) {
        block_bytes[t] = static_cast<uint8_t>(dxt_codec_block_bytes(dxt_codec_for_texture(data_format, t)));
        lines[t] = (allocated_width / 4) * block_bytes[t];
        bytes[t] = checked_plane_bytes((allocated_height / 4) * lines[t]);
    }
    frame->allocated_width = checked_plane_bytes(allocated_width);
    frame->allocated_height = checked_plane_bytes(allocated_height);
    frame->block_bytes[0] = block_bytes[0];
    frame->block_bytes[1] = block_bytes[1];
    frame->plane_count = textures;
    for (uint32_t t = 0; t < textures; ++t) {
        frame->planes[t] = allocate_plane(bytes[t]);
        frame->line_sizes[t] = lines[t];
        frame->capacities[t] = bytes[t];
        frame->sizes[t] = bytes[t];
    }
}

void dxt_frame_realloc(VideoFrame* frame, uint32_t width, uint32_t height, uint32_t data_format) {
    // Texture frames keep their planes from frame to frame while nothing changes; a
    // frame whose planes belong to someone else is never written into.
    if (frame->width == width && frame->height == height && frame->data_format == data_format &&
        frame->is_pixel == 0 && frame->not_owned == 0 && frame->planes[0])
        return;
    release_planes(frame);
    clear_plane_geometry(frame);
    dxt_frame_alloc(frame, width, height, data_format);
}

void video_frame_alloc_data(VideoFrame* frame, uint32_t size, uint32_t data_format) {
    grow_data_plane(frame, size);
    frame->status = 0;
    frame->is_pixel = 0;
    frame->data_format = data_format;
    frame->sizes[0] = size;
    frame->plane_count = 1;
    frame->frame_number = 0;
    frame->not_owned = 0;
}

void video_frame_wrap_data(VideoFrame* frame, uint8_t* data, uint32_t size, uint32_t data_format) {
    frame->plane_count = 1;
    frame->not_owned = 1;
    frame->is_pixel = 0;
    frame->data_format = data_format;
    frame->planes[0] = data;
    frame->sizes[0] = size;
}

void video_frame_copy(VideoFrame* destination, const VideoFrame* source) {
    if (!destination) throw std::runtime_error("Invalid dst video frame (copy)");
    if (!source) throw std::runtime_error("Invalid src video frame (copy)");

    PixDescriptor desc;
    const bool has_descriptor = source->is_pixel && source->pixel_format < PixelFormat_Undefined;
    if (has_descriptor) desc = get_pix_descriptor(source->pixel_format);

    destination->frame_number = source->frame_number;
    std::memcpy(destination->metadata, source->metadata, sizeof(destination->metadata));

    for (int p = 0; p < 4; ++p) {
        uint8_t* dst = destination->planes[p];
        const uint8_t* src = source->planes[p];
        if (!dst || !src) break;
        const uint64_t dst_line = destination->line_sizes[p];
        const uint64_t src_line = source->line_sizes[p];
        if (dst_line == src_line || !has_descriptor) {
            const uint32_t n = std::min(destination->sizes[p], source->sizes[p]);
            if (n == 0) {
                std::printf("WARN : Can't copy data for plane : %d (size src : %u ; size dst : %u)\n", p,
                            source->sizes[p], destination->sizes[p]);
                return;
            }
            std::memcpy(dst, src, n);
            continue;
        }
        if (dst_line < 1 || src_line < 1) {
            std::printf("ERR : Src linesize : %td ; Dst linesize : %td\n", static_cast<ptrdiff_t>(src_line),
                        static_cast<ptrdiff_t>(dst_line));
            throw std::runtime_error("Invalid linesize");
        }
        // Rows never exceed what either plane actually holds.
        uint64_t rows = ceil_div(source->height, desc.vertical_subsampling[p]);
        rows = std::min<uint64_t>(rows, source->sizes[p] / src_line);
        rows = std::min<uint64_t>(rows, destination->sizes[p] / dst_line);
        const uint64_t row_bytes = std::min(dst_line, src_line);
        for (uint64_t r = 0; r < rows; ++r) std::memcpy(dst + r * dst_line, src + r * src_line, row_bytes);
    }
}

void video_frame_alloc_and_copy(VideoFrame* destination, const VideoFrame* source, bool align64) {
    if (!destination) throw std::runtime_error("Invalid dst video frame (alloc and copy)");
    if (!source) throw std::runtime_error("Invalid src video frame (alloc and copy)");

    if (source->data_format >= VideoDataFormat_Hap1 && source->data_format <= VideoDataFormat_Hap7) {
        dxt_frame_realloc(destination, source->width, source->height, source->data_format);
    } else if (source->is_pixel) {
        const bool same_layout = !destination->not_owned && destination->is_pixel &&
                                 destination->planes[0] && destination->width == source->width &&
                                 destination->height == source->height &&
                                 destination->pixel_format == source->pixel_format;
        if (!same_layout) {
            release_planes(destination);
            clear_plane_geometry(destination);
            video_frame_alloc(destination, source->width, source->height, source->pixel_format, align64);
            destination->is_pixel = 1;
            destination->not_owned = 0;
            destination->data_format = VideoDataFormat_Pixels;
        }
    } else {
        grow_data_plane(destination, source->sizes[0]);
        destination->status = 0;
        destination->is_pixel = 0;
        destination->data_format = source->data_format;
        destination->plane_count = 1;
        destination->sizes[0] = source->sizes[0];
        destination->frame_number = 0;
        destination->not_owned = 0;
    }
    video_frame_copy(destination, source);
}

void video_frame_ref(VideoFrame* destination, const VideoFrame* source) {
    if (destination == source) return;
    // Whatever the destination held of its own is released, not leaked.
    release_planes(destination);
    clear_plane_geometry(destination);
    destination->not_owned = 1;
    destination->status = source->status;
    destination->is_pixel = source->is_pixel;
    destination->data_format = source->data_format;
    destination->pixel_format = source->pixel_format;
    destination->width = source->width;
    destination->height = source->height;
    destination->allocated_width = source->allocated_width;
    destination->allocated_height = source->allocated_height;
    destination->plane_count = source->plane_count;
    for (uint32_t p = 0; p < source->plane_count && p < 4; ++p) {
        destination->planes[p] = source->planes[p];
        destination->line_sizes[p] = source->line_sizes[p];
        destination->capacities[p] = source->capacities[p];
        destination->sizes[p] = source->sizes[p];
    }
    destination->frame_number = source->frame_number;
    destination->block_bytes[0] = source->block_bytes[0];
    destination->block_bytes[1] = source->block_bytes[1];
    std::memcpy(destination->metadata, source->metadata, sizeof(destination->metadata));
}

void video_frame_free_planes(VideoFrame* frame) {
    if (!frame || frame->not_owned) return;
    release_planes(frame);
}

void video_frame_free(VideoFrame** frame) {
    if (!frame || !*frame) return;
    video_frame_destroy(*frame);
    *frame = nullptr;
}

void video_frame_destroy(VideoFrame* frame) {
    if (!frame) return;
    video_frame_free_planes(frame);
    delete frame;
}
